// The identities a scan records of the places its caller names
// (ScanOptions::recorded): taken during the walk from the status it reads
// of each entry anyway, so that what a clean later acts on is what the walk
// measured, not what a look before or after it saw. Only the folders on the
// way to those places are looked at, a few thousand entries at most, and
// what the caller names for the walk alone to record (the entries of a few
// folders, the folders of a few names the tree keeps).
#pragma once

#include <functional>
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
    /// A pattern of ScanOptions::Recorded::met ends here: the entry is
    /// recorded as it is, a link as the link.
    bool met = false;

    /// The node of the entry `name` of this folder; none when no recorded
    /// place lies there.
    const Node* child(std::string_view name) const;
};

/// The tree of the places' names, `met` marked where they end.
Node treeOf(const std::vector<std::string>& places, const std::vector<std::string>& met = {});

/// The node of an absolute path; none when no place lies there or below.
const Node* find(const Node& root, const std::string& path);

/// What the walk's threads record, under a lock of its own; past
/// SeenWay::recordLimit entries nothing more is kept.
class Record {
public:
    /// Keeps what the walk's status says of the entry at `path`; a link is
    /// left to `measureRest`, which follows it by descriptor.
    void add(const std::string& path, dev_t device, ino_t inode, unsigned mode);
    /// Keeps what the walk met at `path` as it is, a link as the link: an
    /// item a rule may pick from the tree. These have a limit of their own
    /// (SeenWay::recordLimit), so that a crowded folder never takes the
    /// place of a way.
    void addMet(const std::string& path, dev_t device, ino_t inode, unsigned mode);
    /// Renames every path kept so far by `rename`: a walk that went through
    /// a link at its root recorded under the folder it walked.
    void rebase(const std::function<std::string(const std::string&)>& rename);
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
    SeenFolders met;
};

}  // namespace ScanRecord
