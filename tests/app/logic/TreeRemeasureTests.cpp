// The tree measured again around an operation, on trees and measures made up
// for the purpose: nested places count once, and what cannot be measured
// keeps what the scan counted.
#include <gtest/gtest.h>

#include <map>

#include "ModelHarness.hpp"
#include "model/TreeRemeasure.hpp"

namespace {
FileNode file(const std::string& path, int64_t size) {
    return {Paths::lastComponent(path), path, false, size, 1, std::nullopt, std::nullopt};
}

/// A folder of `own` bytes and files too small to keep, and the kept children.
FileNode folder(const std::string& path, int64_t own, int64_t files, std::vector<FileNode> children = {}) {
    FileNode node{Paths::lastComponent(path), path, true, own, files, std::nullopt, std::vector<FileNode>{}};
    for (FileNode& child : children) {
        node.size += child.size;
        node.fileCount += child.fileCount;
        node.children->push_back(std::move(child));
    }
    return node;
}

/// The home: /h (1 own byte) holding /h/a (100 bytes in one file too small
/// to keep) and /h/b with one 50-byte file.
ScanResult home() {
    ScanResult scan = scanOf(folder("/h", 1, 0, {folder("/h/a", 100, 1), folder("/h/b", 0, 0, {file("/h/b/f", 50)})}));
    scan.minNodeSize = 20;
    return scan;
}
}  // namespace

TEST(TreeRemeasure, NestedPlacesCountOnceAndUnmeasurablePlacesKeepTheirCounts) {
    struct Case {
        const char* name;
        std::vector<std::string> touched;
        /// What each path measures now; a path left out throws.
        std::map<std::string, std::optional<FileNode>> now;
        int64_t rootSize;
        int64_t rootFiles;
        std::vector<std::string> nodes;
    };
    const Case cases[] = {
        {"a place and a path inside it",
         {"/h/a", "/h/a/small"},
         {{"/h/a", folder("/h/a", 4, 0)}},
         55,
         1,
         {"/h", "/h/b", "/h/b/f"}},
        {"a place that cannot be measured", {"/h/a", "/h/b"}, {{"/h/b", std::nullopt}}, 101, 1, {"/h", "/h/a"}},
        {"a small path grows into a node under its folder",
         {"/h/b/new"},
         {{"/h/b/new", folder("/h/b/new", 0, 0, {file("/h/b/new/g", 30)})}},
         181,
         3,
         {"/h", "/h/a", "/h/b", "/h/b/f", "/h/b/new", "/h/b/new/g"}},
        {"paths outside the tree and the root itself", {"/x", "/h"}, {}, 151, 2, {"/h", "/h/a", "/h/b", "/h/b/f"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto scan = std::make_shared<const ScanResult>(home());
        std::map<std::string, int> measured;
        // Before the operation, every path is as the scan counted it (it is
        // not there: the small path was created by the operation).
        bool after = false;
        TreeRemeasure::Measure measure = [&](const std::string& path, int64_t) -> std::optional<FileNode> {
            ++measured[path];
            if (!after) return std::nullopt;
            auto found = c.now.find(path);
            if (found == c.now.end()) throw std::runtime_error("unreadable");
            return found->second;
        };
        auto result = TreeRemeasure::around(scan, c.touched, measure, [&] { after = true; });
        ASSERT_TRUE(result);
        EXPECT_EQ(result->root.size, c.rootSize);
        EXPECT_EQ(result->root.fileCount, c.rootFiles);
        EXPECT_EQ(result->fileCount, c.rootFiles);
        std::vector<std::string> nodes;
        result->root.walk([&](const FileNode& node) { return nodes.push_back(node.path), true; });
        EXPECT_EQ(nodes, c.nodes);
        for (const auto& [path, times] : measured) EXPECT_LE(times, 2) << path;
        EXPECT_FALSE(measured.count("/h/a/small"));
    }
}
