#include "model/Launch.hpp"

#include <algorithm>

#include "platform/Platform.hpp"

namespace Launch {

LaunchOptions parse(const std::vector<std::string>& arguments) {
    LaunchOptions options;
    auto snapshot = std::find(arguments.begin(), arguments.end(), "--snapshot");
    if (snapshot != arguments.end()) {
        // Without a folder the images would land in the working folder, or the
        // window would open where a batch run expected none.
        if (std::next(snapshot) == arguments.end() || std::next(snapshot)->empty())
            options.usageError = "--snapshot needs a folder\nusage: OstrevaneApp [--snapshot <folder> [--demo]]";
        else
            options.snapshotFolder = *std::next(snapshot);
    }
    options.demo = std::find(arguments.begin(), arguments.end(), "--demo") != arguments.end();
    return options;
}

void writeDefaults() {
    try {
        UserDefaults::set("AppleAccentColor", -1);
        UserDefaults::set("AppleHighlightColor", "0.847059 0.847059 0.862745 Graphite");
    } catch (const std::exception&) {
        // An unwritable configuration folder must not stop the application.
    }
}

}  // namespace Launch
