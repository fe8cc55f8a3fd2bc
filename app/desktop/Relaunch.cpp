#include "desktop/Relaunch.hpp"

#include <QCoreApplication>
#include <QProcess>

namespace Relaunch {

QStringList arguments(const QString& applicationPath) { return {"-c", "sleep 1; exec \"$0\"", applicationPath}; }

void start(const QString& applicationPath) { QProcess::startDetached(shell, arguments(applicationPath)); }

void reopen() {
    start(QCoreApplication::applicationFilePath());
    QCoreApplication::quit();
}

}  // namespace Relaunch
