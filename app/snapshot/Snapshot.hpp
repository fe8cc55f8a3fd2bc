// Snapshot mode: the application's pages rendered off screen into PNG files,
// one line per file on standard output, then the process ends.
#pragma once

#include <QColor>
#include <string>
#include <vector>

class QWidget;
struct FileNode;

namespace Snapshot {
/// Selects the offscreen platform when QT_QPA_PLATFORM is unset. Call before
/// the QApplication exists.
void selectOffscreenPlatform();
/// The images a run writes, in order, without the ".png": the map samples
/// only with a scan, "2-explorer-sub" only when the scan root has a child.
/// A demo run has both.
std::vector<std::string> plan(bool scanned, bool hasChild);
/// "accent r=0.56 g=0.56 b=0.58": the accent of standard controls in sRGB.
std::string accentLine(const QColor& accent);
/// The child "2-explorer-sub" shows: the first one named exactly
/// "Downloads", else the first (children are sorted by size, largest first);
/// null without children.
const FileNode* subfolder(const FileNode& root);
/// Every item view in `view`'s hierarchy, `view` first, depth-first in child order.
std::vector<QWidget*> tables(QWidget* view);
/// "table QTableView rows=12 width=640" for an item view.
std::string tableLine(QWidget* table);
/// Renders every planned image into `outputDirectory` from a fresh model (the
/// demo data with `demo`, else the real disk after the normal start-up).
/// Needs a QApplication. Returns the exit status: 0, or 1 when the folder
/// could not be made or any image could not be written (each failure is
/// reported on standard error, and "wrote" is printed only for written files).
int run(const std::string& outputDirectory, bool demo);
}  // namespace Snapshot
