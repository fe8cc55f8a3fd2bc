#include "clean/IdleTimes.hpp"

#include <sys/stat.h>

#include <limits>

#include "platform/Applications.hpp"
#include "scan/Scanner.hpp"

namespace IdleTimes {

namespace {

/// The time a scan gives the item: a scan of it alone that keeps no nodes
/// below it and does not follow it when it is a link.
std::optional<Date> scannedDate(const std::string& path) {
    ScanOptions options;
    options.minNodeSize = std::numeric_limits<int64_t>::max();
    options.followRootLink = false;
    try {
        return Scanner::scan(path, options).root.modified;
    } catch (const OstrevaneError&) {
        // Gone or unreadable: there is nothing measured to approve.
        return std::nullopt;
    }
}

}  // namespace

std::optional<Date> modificationDate(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    auto since = std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return Date(std::chrono::duration_cast<Date::duration>(since));
}

std::optional<Date> newestEntry(const std::string& folder, const std::set<std::string>& passedOver) {
    std::optional<Date> newest;
    for (const std::string& entry : Files::entryNames(folder)) {
        if (passedOver.count(entry)) continue;
        if (auto date = modificationDate(Paths::joined(folder, entry)))
            newest = newest ? std::max(*newest, *date) : *date;
    }
    return newest;
}

std::optional<Date> measured(const std::string& path, const IdleTest& test) {
    switch (test.measure) {
    case IdleTest::Measure::itself: return scannedDate(path);
    case IdleTest::Measure::siblings: return newestEntry(Paths::parentFolder(path), test.passedOver);
    case IdleTest::Measure::lastOpened: return Applications::lastUsedDate(path);
    }
    return std::nullopt;
}

bool stillIdle(const std::string& path, const IdleTest& test) {
    const std::optional<Date> date = measured(path, test);
    return date && *date <= test.cutoff;
}

}  // namespace IdleTimes
