#include "ScanView.hpp"

#include <algorithm>
#include <cmath>

#include "base/JSONFields.hpp"
#include "Localization.hpp"

namespace {
constexpr size_t inaccessibleSampleSize = 8;
}

NodeView NodeView::make(const FileNode& node, int depth, int top, int64_t rootSize) {
    NodeView view;
    if (top < 0) top = 0;
    if (depth > 0 && node.children && !node.children->empty()) {
        const auto& children = *node.children;
        size_t listed = std::min(children.size(), static_cast<size_t>(top));
        std::vector<NodeView> listedViews;
        listedViews.reserve(listed);
        for (size_t index = 0; index < listed; ++index)
            listedViews.push_back(make(children[index], depth - 1, top, rootSize));
        view.children = std::move(listedViews);
        if (children.size() > static_cast<size_t>(top))
            view.omittedChildren = static_cast<int64_t>(children.size() - static_cast<size_t>(top));
    }
    view.name = node.name;
    view.path = node.path;
    view.type = node.isDirectory ? "dir" : "file";
    view.bytes = node.size;
    view.size = Fmt::bytes(node.size);
    view.percent = rootSize < 1 ? 0 : Fmt::percent(node.size, rootSize);
    if (node.isDirectory) view.files = node.fileCount;
    if (node.modified) view.modified = Fmt::day(*node.modified);
    return view;
}

ScanView ScanView::make(const ScanResult& scan, const FileNode* node, int depth, int top, bool fromCache) {
    const FileNode& viewed = node ? *node : scan.root;
    ScanView view;
    view.path = viewed.path;
    view.totalBytes = viewed.size;
    view.total = Fmt::bytes(viewed.size);
    view.fileCount = viewed.fileCount;
    view.scannedAt = scan.scannedAt;
    view.durationSeconds = std::round(scan.duration * 100) / 100;
    view.fromCache = fromCache;
    view.inaccessibleCount = scan.inaccessibleCount;
    size_t sample = std::min(scan.inaccessible.size(), inaccessibleSampleSize);
    view.inaccessibleSample.assign(scan.inaccessible.begin(), scan.inaccessible.begin() + static_cast<long>(sample));
    if (scan.inaccessibleCount >= 1)
        view.hint = L("有 %@ 个目录无权读取,结果偏小。给运行本工具的用户授予这些目录的读取权限后重新扫描。",
                      scan.inaccessibleCount);
    view.tree = NodeView::make(viewed, depth, top, viewed.size);
    return view;
}

void to_json(json& document, const NodeView& view) {
    document = json::object();
    document["name"] = view.name;
    document["path"] = view.path;
    document["type"] = view.type;
    document["bytes"] = view.bytes;
    document["size"] = view.size;
    document["percent"] = view.percent;
    JSONOut::putOptional(document, "files", view.files);
    JSONOut::putOptional(document, "modified", view.modified);
    if (view.children) {
        json list = json::array();
        for (const auto& child : *view.children) list.push_back(child);
        document["children"] = std::move(list);
    }
    JSONOut::putOptional(document, "omittedChildren", view.omittedChildren);
}

void from_json(const json& document, NodeView& view) {
    using namespace JSONFields;
    view.name = string(require(document, "name"), "name");
    view.path = string(require(document, "path"), "path");
    view.type = string(require(document, "type"), "type");
    view.bytes = integer(require(document, "bytes"), "bytes");
    view.size = string(require(document, "size"), "size");
    view.percent = number(require(document, "percent"), "percent");
    view.files.reset();
    if (const json* value = optional(document, "files")) view.files = integer(*value, "files");
    view.modified.reset();
    if (const json* value = optional(document, "modified")) view.modified = string(*value, "modified");
    view.children.reset();
    if (const json* value = optional(document, "children")) {
        if (!value->is_array()) throw std::invalid_argument("children is not a list");
        std::vector<NodeView> list;
        for (const auto& element : *value) list.push_back(element.get<NodeView>());
        view.children = std::move(list);
    }
    view.omittedChildren.reset();
    if (const json* value = optional(document, "omittedChildren"))
        view.omittedChildren = integer(*value, "omittedChildren");
}

void to_json(json& document, const ScanView& view) {
    document = json::object();
    document["path"] = view.path;
    document["totalBytes"] = view.totalBytes;
    document["total"] = view.total;
    document["fileCount"] = view.fileCount;
    document["scannedAt"] = ISODate::format(view.scannedAt);
    document["durationSeconds"] = view.durationSeconds;
    document["fromCache"] = view.fromCache;
    document["inaccessibleCount"] = view.inaccessibleCount;
    document["inaccessibleSample"] = view.inaccessibleSample;
    JSONOut::putOptional(document, "hint", view.hint);
    document["tree"] = view.tree;
}

void from_json(const json& document, ScanView& view) {
    using namespace JSONFields;
    view.path = string(require(document, "path"), "path");
    view.totalBytes = integer(require(document, "totalBytes"), "totalBytes");
    view.total = string(require(document, "total"), "total");
    view.fileCount = integer(require(document, "fileCount"), "fileCount");
    view.scannedAt = date(require(document, "scannedAt"), "scannedAt");
    view.durationSeconds = number(require(document, "durationSeconds"), "durationSeconds");
    view.fromCache = boolean(require(document, "fromCache"), "fromCache");
    view.inaccessibleCount = integer(require(document, "inaccessibleCount"), "inaccessibleCount");
    view.inaccessibleSample = strings(require(document, "inaccessibleSample"), "inaccessibleSample");
    view.hint.reset();
    if (const json* value = optional(document, "hint")) view.hint = string(*value, "hint");
    view.tree = require(document, "tree").get<NodeView>();
}
