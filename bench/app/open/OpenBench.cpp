// Opens the application's window on the home folder HOME names, set up as
// the application's own start sets it up, on the platform QT_QPA_PLATFORM
// names (offscreen unless set: a display's is xcb), and reports when the
// first complete overview is up (the home's scan shown with its suggestions
// analysed), when nothing is left to do (idle), and where the memory is: the
// resident memory at the overview and at idle by kind, the heap's own count,
// and the mappings holding the most.
// Usage: OpenBench <launched>, where <launched> is the CLOCK_MONOTONIC time in
// seconds at which the process was started, so the times count from the start
// of the process rather than from main(). The last line is the result for the
// run script: "result files=<n> overview=<s> idle=<s> peak_kib=<KiB>".
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/Desktop.hpp"
#include "desktop/QtRuntime.hpp"
#include "model/Launch.hpp"
#include "ui/access/Accessibility.hpp"
#include "ui/shell/AppIdentity.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/theme/AppPalette.hpp"

namespace {

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long peakKibibytes() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

double mebibytes(long kibibytes) { return double(kibibytes) / 1024; }

/// The resident memory by kind, from /proc/self/status, in KiB.
std::string residentByKind() {
    std::ifstream status("/proc/self/status");
    std::map<std::string, long> kib;
    for (std::string line; std::getline(status, line);) {
        std::istringstream words(line);
        std::string key;
        long value = 0;
        if (words >> key >> value) kib[key] = value;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "resident %.1f MiB (anonymous %.1f, files %.1f, shared %.1f), peak so far %.1f MiB",
                  mebibytes(kib["VmRSS:"]), mebibytes(kib["RssAnon:"]), mebibytes(kib["RssFile:"]),
                  mebibytes(kib["RssShmem:"]), mebibytes(kib["VmHWM:"]));
    return text;
}

/// The heap's own count: what the program holds, and what the allocator keeps
/// from the system beyond it.
std::string heapUse() {
    const struct mallinfo2 heap = ::mallinfo2();
    char text[160];
    std::snprintf(text, sizeof text,
                  "heap in use %.1f MiB, held free by the allocator %.1f MiB, in large blocks %.1f MiB",
                  double(heap.uordblks) / 1048576, double(heap.fordblks) / 1048576, double(heap.hblkhd) / 1048576);
    return text;
}

/// The mappings holding the most resident memory, by file (anonymous ones together).
std::vector<std::pair<long, std::string>> largestMappings(size_t count) {
    std::ifstream smaps("/proc/self/smaps");
    std::map<std::string, long> kib;
    std::string name = "[anonymous]";
    for (std::string line; std::getline(smaps, line);) {
        if (line.empty()) continue;
        if (line.find('-') < line.find(' ') && std::isxdigit(static_cast<unsigned char>(line[0]))) {
            std::istringstream words(line);
            std::string field;
            for (int i = 0; i < 5; ++i) words >> field;  // address, permissions, offset, device, inode
            std::string path;
            std::getline(words >> std::ws, path);
            name = path.empty() ? "[anonymous]" : path.substr(path.rfind('/') + 1);
        } else if (line.rfind("Rss:", 0) == 0) {
            kib[name] += std::atol(line.c_str() + 4);
        }
    }
    std::vector<std::pair<long, std::string>> sorted;
    for (const auto& [mapping, size] : kib) sorted.emplace_back(size, mapping);
    std::sort(sorted.rbegin(), sorted.rend());
    sorted.resize(std::min(sorted.size(), count));
    return sorted;
}

void printWhereTheMemoryIs(const std::string& atOverview) {
    std::printf("memory at the overview: %s\n", atOverview.c_str());
    std::printf("memory at idle: %s\n", residentByKind().c_str());
    std::printf("memory at idle: %s\n", heapUse().c_str());
    std::printf("memory at idle, largest mappings:");
    const char* separator = " ";
    for (const auto& [kib, name] : largestMappings(8)) {
        std::printf("%s%s %.1f MiB", separator, name.c_str(), mebibytes(kib));
        separator = ", ";
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const double launched = argc > 1 ? std::atof(argv[1]) : monotonicSeconds();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Launch::writeDefaults();
    Desktop::preferPortalDialogs();
    QApplication application(argc, argv);
    AppIdentity::apply(application);
    AppPalette::apply(application);
    Accessibility::install();
    std::optional<double> overview, idle;
    std::optional<int64_t> files;
    std::string memoryAtOverview;
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
                memoryAtOverview = residentByKind();
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
        if (idle) printWhereTheMemoryIs(memoryAtOverview);
        runtime.stop(model.get(), 0);
    }
    if (!overview || !idle) {
        std::fprintf(stderr, "the window never showed a complete overview\n");
        return 1;
    }
    std::printf("result files=%lld overview=%.3f idle=%.3f peak_kib=%ld\n", static_cast<long long>(*files), *overview,
                *idle, peakKibibytes());
    return 0;
}
