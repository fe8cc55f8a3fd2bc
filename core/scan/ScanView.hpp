// The bounded picture of one folder of a scan that the tool prints and the
// MCP scan tool returns: totals, access trouble, and the tree cut to a depth
// and to the largest children of each folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scan/FileTree.hpp"

struct NodeView {
    std::string name;
    std::string path;
    std::string type;  // "dir" or "file"
    int64_t bytes = 0;
    std::string size;
    /// Share of the viewed folder, one decimal.
    double percent = 0;
    std::optional<int64_t> files;
    std::optional<std::string> modified;
    std::optional<std::vector<NodeView>> children;
    std::optional<int64_t> omittedChildren;

    bool operator==(const NodeView&) const = default;

    static NodeView make(const FileNode& node, int depth, int top, int64_t rootSize);
};

struct ScanView {
    std::string path;
    int64_t totalBytes = 0;
    std::string total;
    int64_t fileCount = 0;
    Date scannedAt;
    double durationSeconds = 0;
    bool fromCache = false;
    int64_t inaccessibleCount = 0;
    std::vector<std::string> inaccessibleSample;
    std::optional<std::string> hint;
    NodeView tree;

    bool operator==(const ScanView&) const = default;

    /// The view of `node` (the scan's root when null), which belongs to `scan`.
    static ScanView make(const ScanResult& scan, const FileNode* node, int depth, int top, bool fromCache);
};

void to_json(json& document, const NodeView& view);
void from_json(const json& document, NodeView& view);
void to_json(json& document, const ScanView& view);
void from_json(const json& document, ScanView& view);
