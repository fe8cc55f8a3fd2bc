#include "clean/SuggestionPlaces.hpp"

#include <sys/stat.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "platform/Trash.hpp"
#include "scan/Scanner.hpp"

namespace SuggestionEngine {

namespace {

bool holds(const FileNode* tree, const std::string& path) {
    if (tree && Paths::isInside(path, tree->path) && tree->find(path)) return true;
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

/// The path with links resolved, so two patterns reaching one folder
/// (~/.steam/steam is a link into the Steam data folder) count it once.
std::string resolvedForm(const std::string& path) {
    std::error_code error;
    auto resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

/// Every path a row claims, in table order, each folder once and none inside
/// another of the same row.
std::vector<PlaceMatch> rowMatches(const CleanupRule& rule, const FileNode* tree, const std::string& home) {
    std::vector<PlaceMatch> found;
    std::set<std::string> seen;
    for (const std::string& pattern : rule.places)
        for (PlaceMatch& match : matchPlace(expandBase(pattern, home), tree))
            if (seen.insert(resolvedForm(match.path)).second) found.push_back(std::move(match));
    std::erase_if(found, [&](const PlaceMatch& match) {
        return std::any_of(found.begin(), found.end(),
                           [&](const PlaceMatch& other) { return Paths::isStrictlyInside(match.path, other.path); });
    });
    return found;
}

/// One rule of either table with the places it counts here.
struct TableRow {
    const CleanupRule* rule;
    std::vector<PlaceMatch> places;
    /// Counted but not shown: the trash folders of other volumes.
    std::vector<std::string> alsoCounted;
};

std::vector<TableRow> rowsFor(const FileNode* homeNode, const std::string& home) {
    std::vector<TableRow> rows;
    for (const CleanupRule& rule : known()) {
        TableRow entry{&rule, {}, {}};
        const std::string path = location(rule, home);
        entry.places.push_back({path, path});
        if (rule.action == CleanAction::emptyTrash) {
            // The Trash also holds what the other file systems' trash folders keep.
            std::vector<std::string> others = Trash::trashFolders();
            if (!others.empty()) others.erase(others.begin());
            entry.alsoCounted = others;
        }
        rows.push_back(std::move(entry));
    }
    for (const CleanupRule& rule : linuxRules()) rows.push_back({&rule, rowMatches(rule, homeNode, home), {}});
    return rows;
}

/// Sizes of every path the rows count, in parallel; the items of the trash
/// folders measured are added to `trashEntries`.
std::map<std::string, int64_t> measure(const std::vector<TableRow>& rows, const FileNode* homeNode,
                                       Trash::MeasuredEntries& trashEntries) {
    std::vector<std::string> paths;
    // The trash folder a path stands for, measured as emptying removes it
    // (its items with their info files); empty for any other place.
    std::vector<std::string> trashes;
    for (const TableRow& row : rows) {
        // The Trash's place is its files/ half, yet emptying frees its info/
        // half too: it is measured as the trash it is part of.
        const bool isTrash = row.rule->action == CleanAction::emptyTrash;
        for (const PlaceMatch& place : row.places)
            paths.push_back(place.path), trashes.push_back(isTrash ? Paths::parentFolder(place.path) : "");
        for (const std::string& other : row.alsoCounted) paths.push_back(other), trashes.push_back(other);
    }
    Sizes sizes(paths.size());
    // One slot per path, each written by its own worker only.
    std::vector<Trash::MeasuredEntries> entries(paths.size());
    tbb::parallel_for(size_t{0}, paths.size(), [&](size_t index) {
        const std::string& path = paths[index];
        if (!trashes[index].empty()) return sizes.set(index, Trash::allocatedSize({trashes[index]}, &entries[index]));
        if (homeNode && Paths::isInside(path, homeNode->path))
            if (const FileNode* node = homeNode->find(path)) return sizes.set(index, node->size);
        std::error_code error;
        sizes.set(index, std::filesystem::exists(path, error) ? Scanner::quickSize(path) : 0);
    });
    for (auto& measured : entries) trashEntries.merge(measured);
    std::vector<int64_t> values = sizes.values();
    std::map<std::string, int64_t> result;
    for (size_t index = 0; index < paths.size(); ++index) result.emplace(paths[index], values[index]);
    return result;
}

int64_t sizeIn(const std::map<std::string, int64_t>& sizes, const std::string& path) {
    auto found = sizes.find(path);
    return found == sizes.end() ? 0 : found->second;
}

/// Whether a place counts no more than its own folder (an emptied cache, or
/// one whose contents other rules claim), or is a link, which a clean never
/// follows: it has nothing to clean, so it is no item of a suggestion.
bool holdsNothingToClean(const std::string& path, int64_t bytes) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return false;
    return S_ISLNK(status.st_mode) || (S_ISDIR(status.st_mode) && bytes <= Files::allocatedBytes(status));
}

/// The largest children of a designed breakdown row's place, each less what
/// other rules claim inside it.
std::optional<std::vector<SuggestionItem>> childItems(const FileNode* homeNode, const std::string& path,
                                                      const std::vector<std::string>& claimed,
                                                      const std::map<std::string, int64_t>& sizes) {
    if (!homeNode || !Paths::isInside(path, homeNode->path)) return std::nullopt;
    const FileNode* node = homeNode->find(path);
    if (!node || !node->children) return std::nullopt;
    std::vector<SuggestionItem> items;
    for (const FileNode& child : *node->children) {
        bool whollyClaimed = std::any_of(claimed.begin(), claimed.end(),
                                         [&](const std::string& other) { return Paths::isInside(child.path, other); });
        if (whollyClaimed) continue;
        int64_t bytes = child.size;
        for (const std::string& other : outermostInside(child.path, claimed)) bytes -= sizeIn(sizes, other);
        items.emplace_back(child.path, std::max<int64_t>(bytes, 0));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
    if (items.size() > 8) items.resize(8);
    return items;
}

}  // namespace

std::vector<PlaceMatch> matchPlace(const std::string& pattern, const FileNode* tree) {
    const auto star = pattern.find("/*/");
    if (star == std::string::npos) {
        if (!holds(tree, pattern)) return {};
        return {{pattern, pattern}};
    }
    const std::string folder = pattern.substr(0, star);
    const std::string rest = pattern.substr(star + 2);
    std::set<std::string> names;
    for (std::string& name : Files::entryNames(folder)) names.insert(std::move(name));
    if (tree && Paths::isInside(folder, tree->path))
        if (const FileNode* node = tree->find(folder); node && node->children)
            for (const FileNode& child : *node->children) names.insert(child.name);
    std::vector<PlaceMatch> matches;
    for (const std::string& name : names) {
        const std::string group = Paths::joined(folder, name);
        if (holds(tree, group + rest)) matches.push_back({group + rest, group});
    }
    return matches;
}

std::vector<std::string> outermostInside(const std::string& path, const std::vector<std::string>& claimed) {
    std::vector<std::string> within;
    for (const std::string& other : claimed)
        if (Paths::isStrictlyInside(other, path) && std::find(within.begin(), within.end(), other) == within.end())
            within.push_back(other);
    std::vector<std::string> outermost;
    for (const std::string& candidate : within) {
        bool nested = std::any_of(within.begin(), within.end(),
                                  [&](const std::string& other) { return Paths::isStrictlyInside(candidate, other); });
        if (!nested) outermost.push_back(candidate);
    }
    return outermost;
}

int64_t unionBytes(const std::vector<Region>& regions, const std::function<int64_t(const std::string&)>& sizeOf) {
    // Every boundary path owns the bytes below it that lie below no other
    // boundary; those bytes are in the union when some region covers the
    // path and none of that region's exclusions does.
    std::set<std::string> boundaries;
    for (const Region& region : regions) {
        boundaries.insert(region.path);
        boundaries.insert(region.excluded.begin(), region.excluded.end());
    }
    // The nearest boundary above each one, found by walking up its components.
    std::map<std::string, int64_t> nestedBytes;
    for (const std::string& boundary : boundaries) {
        for (auto slash = boundary.rfind('/'); slash != std::string::npos && slash > 0;
             slash = boundary.rfind('/', slash - 1)) {
            auto enclosing = boundaries.find(boundary.substr(0, slash));
            if (enclosing == boundaries.end()) continue;
            nestedBytes[*enclosing] += sizeOf(boundary);
            break;
        }
    }
    int64_t total = 0;
    for (const std::string& boundary : boundaries) {
        bool covered = std::any_of(regions.begin(), regions.end(), [&](const Region& region) {
            return Paths::isInside(boundary, region.path) &&
                   std::none_of(region.excluded.begin(), region.excluded.end(),
                                [&](const std::string& excluded) { return Paths::isInside(boundary, excluded); });
        });
        if (!covered) continue;
        auto nested = nestedBytes.find(boundary);
        total += std::max<int64_t>(sizeOf(boundary) - (nested == nestedBytes.end() ? 0 : nested->second), 0);
    }
    return total;
}

TableFindings tableSuggestions(const FileNode* homeNode, const std::string& home) {
    std::vector<TableRow> rows = rowsFor(homeNode, home);
    TableFindings findings;
    Trash::MeasuredEntries trashEntries;
    findings.sizes = measure(rows, homeNode, trashEntries);

    for (size_t index = 0; index < rows.size(); ++index) {
        const TableRow& row = rows[index];
        const CleanupRule& rule = *row.rule;
        // What every other row claims is not this row's to count.
        std::vector<std::string> claimed;
        for (size_t other = 0; other < rows.size(); ++other)
            if (other != index)
                for (const PlaceMatch& place : rows[other].places) claimed.push_back(place.path);

        std::vector<Region> regions;
        int64_t bytes = 0;
        std::vector<SuggestionItem> byPlace;
        std::map<std::string, int64_t> byGroup;
        std::vector<std::string> paths;
        for (const PlaceMatch& place : row.places) {
            Region region{place.path, outermostInside(place.path, claimed)};
            int64_t own = sizeIn(findings.sizes, place.path);
            for (const std::string& excluded : region.excluded) own -= sizeIn(findings.sizes, excluded);
            own = std::max<int64_t>(own, 0);
            // The Trash stays the place to open even when empty.
            if (rule.action != CleanAction::emptyTrash && holdsNothingToClean(place.path, own)) continue;
            paths.push_back(place.path);
            bytes += own;
            byPlace.emplace_back(place.path, own);
            byGroup[place.group] += own;
            regions.push_back(std::move(region));
        }
        for (const std::string& other : row.alsoCounted) {
            bytes += sizeIn(findings.sizes, other);
            regions.push_back({other, {}});
        }
        if (bytes < rule.minBytes) continue;

        std::optional<std::vector<SuggestionItem>> items;
        const bool largestChildren = rule.breakdown == Breakdown::largestChildren;
        if (largestChildren && !row.places.empty()) {
            items = childItems(homeNode, row.places.front().path, claimed, findings.sizes);
        } else if (rule.breakdown == Breakdown::byPlace) {
            items = byPlace;
        } else if (rule.breakdown == Breakdown::byMatch) {
            items.emplace();
            for (const auto& [group, groupBytes] : byGroup) items->emplace_back(group, groupBytes);
        }
        if (items && !largestChildren) {
            std::erase_if(*items, [](const SuggestionItem& item) { return item.bytes <= 0; });
            std::stable_sort(items->begin(), items->end(),
                             [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
        }
        findings.regions[rule.id] = std::move(regions);
        findings.suggestions.emplace_back(rule.id, rule.category, rule.title, rule.detail, std::move(paths), bytes,
                                          rule.risk, rule.action, rule.command, std::move(items));
        if (rule.action == CleanAction::emptyTrash) findings.suggestions.back().measuredTrash = trashEntries;
    }
    return findings;
}

}  // namespace SuggestionEngine
