// Opens the application's window offscreen on the home folder HOME names, as
// a user's start does, and reports when the first complete overview is up
// (the home's scan shown with its suggestions analysed), when nothing is left
// to do (idle), and the peak resident memory of the process.
// Usage: OpenBench <launched>, where <launched> is the CLOCK_MONOTONIC time in
// seconds at which the process was started, so the times count from the start
// of the process rather than from main().
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "desktop/QtRuntime.hpp"
#include "model/Launch.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/theme/AppPalette.hpp"

namespace {

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double peakMegabytes() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
    const double launched = argc > 1 ? std::atof(argv[1]) : monotonicSeconds();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Launch::writeDefaults();
    QApplication application(argc, argv);
    AppPalette::apply(application);
    std::optional<double> overview, idle;
    std::optional<int64_t> files;
    {
        QtRuntime runtime;
        auto model = AppModel::make(runtime.runtime());
        MainWindow window(model);
        window.show();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!overview && model->scan() && model->report() && !model->isAnalyzing()) {
                overview = monotonicSeconds() - launched;
                files = model->scan()->fileCount;
            }
            if (overview && !model->hasPendingWork()) {
                idle = monotonicSeconds() - launched;
                application.quit();
            }
        });
        // Often enough to time the start to a few milliseconds, seldom
        // enough to take no processor time from the scan.
        poll.start(5);
        application.exec();
        runtime.stop(model.get(), 0);
    }
    if (!overview || !idle) {
        std::fprintf(stderr, "the window never showed a complete overview\n");
        return 1;
    }
    std::printf("%lld files: first complete overview %.2f s, idle %.2f s, peak memory %.0f MB\n",
                static_cast<long long>(*files), *overview, *idle, peakMegabytes());
    return 0;
}
