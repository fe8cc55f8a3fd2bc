// Reopening the application: a detached shell waits for this process to quit
// and starts the executable again.
#pragma once

#include <QString>
#include <QStringList>

namespace Relaunch {
/// The shell program the relaunch runs.
inline constexpr const char* shell = "/bin/sh";
/// The shell's arguments: "-c", the script, then `applicationPath` as the
/// script's $0, which the script quotes, so a path with spaces works.
QStringList arguments(const QString& applicationPath);
/// Starts the detached shell for `applicationPath`. A shell that cannot be
/// started is ignored: the caller quits anyway and the user reopens by hand.
void start(const QString& applicationPath);
/// Starts the shell for this process's own executable, then asks the
/// application to quit normally.
void reopen();
}  // namespace Relaunch
