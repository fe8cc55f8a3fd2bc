#include "model/Launch.hpp"

#include <algorithm>
#include <string_view>

#include "base/Version.hpp"
#include "platform/Platform.hpp"
#include "text/CLITexts.hpp"
#include "text/Localization.hpp"

namespace {
bool isSet(const std::optional<std::string>& value) { return value && !value->empty(); }

/// The value after the last `-name` (or `--name`) among `arguments`, as Qt
/// reads its own options: a later one replaces an earlier one.
std::optional<std::string> qtOption(const std::vector<std::string>& arguments, std::string_view name) {
    std::optional<std::string> value;
    for (size_t i = 1; i + 1 < arguments.size(); ++i) {
        std::string_view word = arguments[i];
        if (word.starts_with("--")) word.remove_prefix(1);
        if (word.starts_with('-') && word.substr(1) == name) value = arguments[++i];
    }
    return value;
}
}  // namespace

namespace Launch {

LaunchOptions parse(const std::vector<std::string>& arguments) {
    LaunchOptions options;
    auto snapshot = std::find(arguments.begin(), arguments.end(), "--snapshot");
    for (auto word = arguments.begin() + std::min<size_t>(1, arguments.size()); word != arguments.end(); ++word) {
        // The snapshot's folder is a path, whatever it reads.
        if (snapshot != arguments.end() && word == std::next(snapshot)) continue;
        options.help = options.help || *word == "--help" || *word == "-h";
        options.version = options.version || *word == "--version";
    }
    // A "--snapshot" with nothing after it is no snapshot: the application
    // starts as it would without it.
    if (snapshot != arguments.end() && std::next(snapshot) != arguments.end()) {
        // An empty folder would put the images in the working folder.
        if (std::next(snapshot)->empty())
            options.usageError = "--snapshot needs a folder\nusage: OstrevaneApp [--snapshot <folder> [--demo]]";
        else
            options.snapshotFolder = *std::next(snapshot);
    }
    options.demo = std::find(arguments.begin(), arguments.end(), "--demo") != arguments.end();
    return options;
}

std::string usage() { return L(CLITexts::appUsageKey); }

std::string versionLine() { return "OstrevaneApp " + std::string(Ostrevane::version) + "\n"; }

bool hasDisplay(const std::vector<std::string>& arguments, const Environment& environment) {
    if (isSet(environment("DISPLAY")) || isSet(environment("WAYLAND_DISPLAY")) || qtOption(arguments, "display"))
        return true;
    std::optional<std::string> platform = qtOption(arguments, "platform");
    if (!isSet(platform)) platform = environment("QT_QPA_PLATFORM");
    if (!isSet(platform)) return false;
    // A list of fallbacks, each name perhaps followed by ":" and its options.
    for (size_t start = 0; start <= platform->size();) {
        const size_t end = std::min(platform->find(';', start), platform->size());
        const std::string choice = platform->substr(start, end - start);
        const std::string name = choice.substr(0, choice.find(':'));
        if (!name.empty() && name != "xcb") return true;
        start = end + 1;
    }
    return false;
}

std::string noDisplayMessage() {
    return L(
        "窗口需要图形显示(没有设置 DISPLAY 或 WAYLAND_DISPLAY)。--snapshot <文件夹> 不需要显示,可以把各页面渲染成图片。");
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
