#include "snapshot/Snapshot.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "demo/Demo.hpp"
#include "desktop/QtRuntime.hpp"
#include "model/AppModel.hpp"
#include "pages/Explorer.hpp"
#include "platform/Platform.hpp"
#include "snapshot/Gallery.hpp"
#include "snapshot/MapSamples.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/maps/MapFades.hpp"
#include "ui/maps/TerrainView.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/theme/AppPalette.hpp"

namespace Snapshot {

namespace {

constexpr int analysisPolls = 400;
constexpr double pollSeconds = 0.3;
constexpr double settleSeconds = 0.6;
constexpr double captureSeconds = 0.9;
const char* const mapModes[] = {"voronoi", "terrain", "grid"};

QtMessageHandler platformMessages = nullptr;

/// Keeps standard error for failures: the offscreen platform notes every
/// size-hint change of a window it cannot pass on, which means nothing here.
void quietSizeHints(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("This plugin does not support propagateSizeHints")) return;
    if (platformMessages) platformMessages(type, context, message);
}

/// Runs the event loop until `done` holds or `seconds` have passed: the
/// design's fixed waits, ended early once nothing is pending.
void waitUntil(double seconds, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < seconds * 1000) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Layout requests post further events; two rounds let them settle.
    for (int round = 0; round < 2; ++round) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

std::shared_ptr<const FileNode> rootOf(const std::shared_ptr<const ScanResult>& scan) {
    return scan ? std::shared_ptr<const FileNode>(scan, &scan->root) : nullptr;
}

/// The terrain map of `root` with one region hovered, framed to the sample size.
QImage terrainSample(const std::shared_ptr<const FileNode>& root, int region) {
    auto* view = new TerrainView;
    view->animated = false;
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setNode(root);
    view->model();
    view->hoverRegion(region);
    return Gallery::standalone(view, MapSamples::sampleSize);
}

/// One walk over the window content, writing and announcing each image.
class Walk {
public:
    Walk(ContentView& content, AppModel& model, QDir folder, bool demo)
        : content(content), model(model), folder(std::move(folder)), demo(demo) {}

    void run() {
        waitUntil(analysisPolls * pollSeconds,
                  [this] { return (model.report() && !model.isAnalyzing()) || !model.hasPendingWork(); });
        model.setSection(AppModel::Section::overview);
        waitUntil(settleSeconds, [this] { return !model.hasPendingWork(); });
        for (QWidget* table : tables(&content)) std::cout << tableLine(table) << std::endl;
        capture("1-overview");
        explorer();
        samples();
        for (auto [section, name] :
             {std::pair{AppModel::Section::suggestions, "3-suggestions"},
              std::pair{AppModel::Section::backup, "4-backup"}, std::pair{AppModel::Section::agent, "5-agent"}}) {
            model.setSection(section);
            capture(name);
        }
        write("9-controls", Gallery::controls());
        write("8-confirm", Gallery::confirm());
        write("8-confirm-icloud", Gallery::confirmICloud(demo));
    }
    bool failed() const { return failures > 0; }

private:
    void explorer() {
        model.setSection(AppModel::Section::explorer);
        for (const char* mode : mapModes) {
            setExplorerMode(mode);
            reshowPage();
            capture(std::string("2-explorer-") + mode);
        }
        // The application opens the explorer on the Voronoi map next time.
        setExplorerMode("voronoi");
        const std::shared_ptr<const ScanResult> scan = model.scan();
        if (const FileNode* child = scan ? subfolder(scan->root) : nullptr) {
            model.setExplorerPath(child->path);
            capture("2-explorer-sub");
        }
    }

    void samples() {
        const std::shared_ptr<const FileNode> root = rootOf(model.scan());
        if (!root) return;
        write("6-voronoi-hover", MapSamples::voronoiHover(root));
        write("6-voronoi-hover-2", MapSamples::voronoiHover2(root));
        write("7-terrain-hover", terrainSample(root, 3));
    }

    /// A page reads what it stores (the explorer's map mode) when it is shown.
    void reshowPage() {
        if (QWidget* page = content.page()) {
            page->hide();
            page->show();
        }
    }

    void setExplorerMode(const char* mode) {
        try {
            UserDefaults::set(std::string(ExplorerModes::settingKey), mode);
        } catch (const std::exception& error) {
            std::cerr << "could not store " << ExplorerModes::settingKey << ": " << error.what() << std::endl;
            ++failures;
        }
    }

    void capture(const std::string& name) {
        waitUntil(captureSeconds, [this] { return !model.hasPendingWork(); });
        write(name, content.grab().toImage());
    }

    /// Through a temporary file renamed into place: a full disk leaves the
    /// old image or none, never a truncated one.
    /// (Qt's own save file takes a short write near the limit for success.)
    static bool saveWhole(const QImage& image, const QString& file) {
        QByteArray encoded;
        QBuffer buffer(&encoded);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
        try {
            Files::writeAtomically(file.toStdString(), encoded.toStdString());
        } catch (const OstrevaneError&) {
            return false;
        }
        return true;
    }

    void write(const std::string& name, const QImage& image) {
        const QString file = folder.filePath(QString::fromStdString(name + ".png"));
        if (image.isNull() || !saveWhole(image, file)) {
            std::cerr << "could not write " << file.toStdString() << std::endl;
            ++failures;
            return;
        }
        std::cout << "wrote " << name << ".png" << std::endl;
    }

    ContentView& content;
    AppModel& model;
    QDir folder;
    bool demo;
    int failures = 0;
};

}  // namespace

void selectOffscreenPlatform() {
    const auto chosen = Platform::environment("QT_QPA_PLATFORM");
    if (!chosen || chosen->empty()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

std::vector<std::string> plan(bool scanned, bool hasChild) {
    std::vector<std::string> names{"1-overview", "2-explorer-voronoi", "2-explorer-terrain", "2-explorer-grid"};
    if (scanned && hasChild) names.push_back("2-explorer-sub");
    if (scanned) names.insert(names.end(), {"6-voronoi-hover", "6-voronoi-hover-2", "7-terrain-hover"});
    names.insert(names.end(), {"3-suggestions", "4-backup", "5-agent", "9-controls", "8-confirm", "8-confirm-icloud"});
    return names;
}

std::string accentLine(const QColor& accent) {
    const QColor rgb = accent.toRgb();
    char line[64];
    std::snprintf(line, sizeof line, "accent r=%.2f g=%.2f b=%.2f", rgb.redF(), rgb.greenF(), rgb.blueF());
    return line;
}

const FileNode* subfolder(const FileNode& root) {
    if (!root.children || root.children->empty()) return nullptr;
    for (const FileNode& child : *root.children)
        if (child.name == "Downloads") return &child;
    return &root.children->front();
}

std::vector<QWidget*> tables(QWidget* view) {
    std::vector<QWidget*> found;
    if (qobject_cast<QAbstractItemView*>(view)) found.push_back(view);
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            std::vector<QWidget*> below = tables(widget);
            found.insert(found.end(), below.begin(), below.end());
        }
    return found;
}

std::string tableLine(QWidget* table) {
    auto* items = qobject_cast<QAbstractItemView*>(table);
    const int rows = items && items->model() ? items->model()->rowCount(items->rootIndex()) : 0;
    return std::string("table ") + table->metaObject()->className() + " rows=" + std::to_string(rows) +
           " width=" + std::to_string(table->width());
}

int run(const std::string& outputDirectory, bool demo) {
    platformMessages = qInstallMessageHandler(quietSizeHints);
    std::cout << accentLine(AppPalette::accent()) << std::endl;
    // Every image shows its final state: nothing may still be moving or fading.
    ScopedHooks<Motion::Hooks> still(Motion::Hooks{false});
    QDir folder(QString::fromStdString(outputDirectory));
    const bool madeFolder = folder.mkpath(".");
    if (!madeFolder) std::cerr << "could not create " << outputDirectory << std::endl;

    QtRuntime runtime;
    auto model = AppModel::make(runtime.runtime());
    int status = 0;
    {
        ContentView content(model);
        content.setAttribute(Qt::WA_DontShowOnScreen);
        content.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
        content.show();
        if (demo)
            Demo::load(*model);
        else
            model->bootstrap();
        Walk walk(content, *model, folder, demo);
        walk.run();
        status = walk.failed() || !madeFolder ? 1 : 0;
    }
    runtime.stop(model.get(), status);
    return status;
}

}  // namespace Snapshot
