// Snapshot mode: the application's pages rendered off screen into PNG files,
// one line per file on standard output, then the process ends.
#pragma once

#include <QColor>
#include <string>
#include <vector>

namespace Snapshot {
/// Selects the offscreen platform when QT_QPA_PLATFORM is unset. Call before
/// the QApplication exists.
void selectOffscreenPlatform();
/// The images a run writes, in order, without the ".png".
std::vector<std::string> plan(bool demo);
/// "accent r=0.56 g=0.56 b=0.58": the accent of standard controls in sRGB.
std::string accentLine(const QColor& accent);
/// Renders every planned image into `outputDirectory` from a fresh model (the
/// demo data with `demo`, else the real disk). Needs a QApplication. Returns
/// the exit status: 0, or 1 when an image could not be written (the failure
/// is reported on standard error).
int run(const std::string& outputDirectory, bool demo);
}  // namespace Snapshot
