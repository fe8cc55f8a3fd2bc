// Build step: renders the application's icon into an icon theme tree,
// <folder>/scalable/apps/<name>.svg and <folder>/<n>x<n>/apps/<name>.png for
// each size, from the same drawing the window uses.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

#include "maps/AppIconArt.hpp"
#include "ui/theme/AppIcon.hpp"

namespace {
bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size() && file.commit();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <icon folder> <icon name>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);

    const QDir theme(folder);
    bool written = writeFile(theme.filePath("scalable/apps/" + name + ".svg"),
                             QByteArray::fromStdString(AppIconArt::svg(256)));
    for (int side : AppIcon::sizes) {
        const QString path = theme.filePath(QString("%1x%1/apps/%2.png").arg(side).arg(name));
        written = QDir().mkpath(QFileInfo(path).path()) && AppIcon::image(side).save(path, "PNG") && written;
    }
    if (!written) std::fprintf(stderr, "%s: could not write every icon into %s\n", argv[0], argv[1]);
    return written ? 0 : 1;
}
