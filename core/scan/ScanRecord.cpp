#include "scan/ScanRecord.hpp"

#include <sys/stat.h>

#include "base/FolderNames.hpp"
#include "base/Paths.hpp"

namespace ScanRecord {

namespace {

constexpr std::string_view anyName = "*";

/// Calls `each(name)` for every component of an absolute path.
template <class Each>
void forEachName(std::string_view path, Each&& each) {
    while (!path.empty()) {
        while (!path.empty() && path.front() == '/') path.remove_prefix(1);
        const size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
        if (!name.empty()) each(name);
    }
}

/// Measures `pattern` along its way, each "*" replaced by every entry of
/// its folder as the folder is opened along the way now.
void measurePattern(const std::string& pattern, SeenFolders& seen, bool item) {
    const size_t star = pattern.find("/*");
    const bool whole = star != std::string::npos && (star + 2 == pattern.size() || pattern[star + 2] == '/');
    if (!whole) return SeenWay::measure(pattern, seen, item);
    const std::string folder = star == 0 ? "/" : pattern.substr(0, star);
    const std::string rest = star + 3 <= pattern.size() ? pattern.substr(star + 3) : "";
    SeenWay::measure(folder, seen, false);
    UniqueFd held;
    try {
        held = SeenWay::open(folder, seen);
    } catch (const HoldRefused&) {
        return;  // what is not there, or not what the walk saw, has nothing to record
    }
    std::vector<std::string> names;
    FolderNames::forEach(held.get(), [&](const char* name) { names.emplace_back(name); });
    for (const auto& name : names) {
        if (seen.size() >= SeenWay::recordLimit) return;
        const std::string entry = Paths::joined(folder, name);
        measurePattern(rest.empty() ? entry : Paths::joined(entry, rest), seen, item);
    }
}

}  // namespace

const Node* Node::child(std::string_view name) const {
    if (auto found = children.find(name); found != children.end()) return &found->second;
    return any.get();
}

Node treeOf(const std::vector<std::string>& places, const std::vector<std::string>& met) {
    Node root;
    auto add = [&](const std::string& place) {
        Node* node = &root;
        forEachName(place, [&](std::string_view name) {
            if (name == anyName) {
                if (!node->any) node->any = std::make_unique<Node>();
                node = node->any.get();
            } else {
                node = &node->children.try_emplace(std::string(name)).first->second;
            }
        });
        return node;
    };
    for (const auto& place : places) add(place);
    for (const auto& place : met) add(place)->met = true;
    return root;
}

const Node* find(const Node& root, const std::string& path) {
    const Node* node = &root;
    forEachName(path, [&](std::string_view name) {
        if (node) node = node->child(name);
    });
    return node;
}

void Record::add(const std::string& path, dev_t device, ino_t inode, unsigned mode) {
    if (S_ISLNK(mode)) return;
    std::lock_guard guard(lock);
    if (seen.size() < SeenWay::recordLimit) seen[path] = SeenFolder{false, device, inode, mode & S_IFMT};
}

void Record::addMet(const std::string& path, dev_t device, ino_t inode, unsigned mode) {
    std::lock_guard guard(lock);
    if (met.size() < SeenWay::recordLimit) met[path] = SeenFolder{false, device, inode, mode & S_IFMT};
}

void Record::rebase(const std::function<std::string(const std::string&)>& rename) {
    std::lock_guard guard(lock);
    for (SeenFolders* kept : {&seen, &met}) {
        SeenFolders renamed;
        for (auto& [path, folder] : *kept) renamed.emplace(rename(path), folder);
        *kept = std::move(renamed);
    }
}

void Record::measureRest(const std::vector<std::string>& folders, const std::vector<std::string>& items) {
    std::lock_guard guard(lock);
    // Every way first, the folders above the items included: a link on a
    // way is recorded as one to follow even where it is an item as well.
    for (const auto& folder : folders) measurePattern(folder, seen, false);
    for (const auto& item : items) measurePattern(Paths::parentFolder(item), seen, false);
    for (const auto& item : items) measurePattern(item, seen, true);
}

SeenFolders Record::take() {
    std::lock_guard guard(lock);
    // A way measured as one keeps that record where a pattern met it too.
    seen.merge(met);
    met.clear();
    return std::move(seen);
}

}  // namespace ScanRecord
