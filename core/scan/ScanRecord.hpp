// The identities a scan records of the places its caller names
// (ScanOptions::recorded): taken during the walk from the status it reads
// of each entry anyway, so that what a clean later acts on is what the walk
// measured, not what a look before or after it saw. Only the folders on the
// way to those places are looked at, a few thousand entries at most.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SeenWay.hpp"

namespace ScanRecord {

/// The names on the way to the recorded places, from "/": a node per
/// folder, its children by name, and the child every name matches where a
/// place has a "*" component.
struct Node {
    std::map<std::string, Node, std::less<>> children;
    std::unique_ptr<Node> any;

    /// The node of the entry `name` of this folder; none when no recorded
    /// place lies there.
    const Node* child(std::string_view name) const;
};

/// The tree of the places' names.
Node treeOf(const std::vector<std::string>& places);

/// The node of an absolute path; none when no place lies there or below.
const Node* find(const Node& root, const std::string& path);

/// What the walk's threads record, under a lock of its own; past
/// SeenWay::recordLimit entries nothing more is kept.
class Record {
public:
    /// Keeps what the walk's status says of the entry at `path`; a link is
    /// left to `measureRest`, which follows it by descriptor.
    void add(const std::string& path, dev_t device, ino_t inode, unsigned mode);
    /// Measures by descriptor every place and folder on the way the walk
    /// did not record (reached through a link, on another device, excluded,
    /// not walked): `folders` are followed where a link stands, `items` are
    /// measured as they are. A "*" component stands for every entry its
    /// folder holds now.
    void measureRest(const std::vector<std::string>& folders, const std::vector<std::string>& items);
    SeenFolders take();

private:
    std::mutex lock;
    SeenFolders seen;
};

}  // namespace ScanRecord
