#include "snapshot/Snapshot.hpp"

#include <QCoreApplication>
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
#include "model/AppModel.hpp"
#include "platform/QtRuntime.hpp"
#include "snapshot/Gallery.hpp"
#include "ui/maps/MapFades.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/theme/AppPalette.hpp"

namespace Snapshot {

namespace {

constexpr int analysisPolls = 400;
constexpr double pollSeconds = 0.3;
constexpr double settleSeconds = 0.6;

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
    QCoreApplication::processEvents();
}

/// One walk over the window content, writing and announcing each image.
class Walk {
public:
    Walk(QWidget& content, AppModel& model, QDir folder, bool demo)
        : content(content), model(model), folder(std::move(folder)), demo(demo) {}

    void run() {
        // Wait for the analysis, at most 400 polls of 0.3 seconds.
        waitUntil(analysisPolls * pollSeconds, [this] {
            return (model.report() && !model.isAnalyzing()) || !model.hasPendingWork();
        });
        model.setSection(AppModel::Section::overview);
        settle();
        capture("1-overview");
        // The design samples come last, each rendered alone.
        write("9-controls", Gallery::controls());
        write("8-confirm", Gallery::confirm());
        write("8-confirm-icloud", Gallery::confirmICloud(demo));
    }
    int status() const { return failed ? 1 : 0; }

private:
    void settle() {
        waitUntil(settleSeconds, [this] { return !model.hasPendingWork(); });
    }
    void capture(const std::string& name) {
        QCoreApplication::processEvents();
        write(name, content.grab().toImage());
    }
    void write(const std::string& name, const QImage& image) {
        const QString file = folder.filePath(QString::fromStdString(name + ".png"));
        if (image.isNull() || !image.save(file, "PNG")) {
            std::cerr << "could not write " << file.toStdString() << std::endl;
            failed = true;
            return;
        }
        std::cout << "wrote " << name << ".png" << std::endl;
    }

    QWidget& content;
    AppModel& model;
    QDir folder;
    bool demo;
    bool failed = false;
};

}  // namespace

void selectOffscreenPlatform() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (!chosen || !*chosen) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

std::vector<std::string> plan(bool) { return {"1-overview", "9-controls", "8-confirm", "8-confirm-icloud"}; }

std::string accentLine(const QColor& accent) {
    const QColor rgb = accent.toRgb();
    char line[64];
    std::snprintf(line, sizeof line, "accent r=%.2f g=%.2f b=%.2f", rgb.redF(), rgb.greenF(), rgb.blueF());
    return line;
}

int run(const std::string& outputDirectory, bool demo) {
    std::cout << accentLine(AppPalette::accent()) << std::endl;
    // Every image shows its final state: no map change may still be fading.
    MapAnimations::setEnabled(false);
    QDir folder(QString::fromStdString(outputDirectory));
    if (!folder.mkpath(".")) std::cerr << "could not create " << outputDirectory << std::endl;

    QtRuntime runtime;
    auto model = AppModel::make(runtime.runtime());
    int status = 0;
    {
        Motion::setEnabled(false);
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
        status = walk.status();
    }
    runtime.stop(model.get(), status);
    return status;
}

}  // namespace Snapshot
