#include "scan/ScanView.hpp"

#include <algorithm>
#include <cmath>

#include "base/JSONCoding.hpp"
#include "text/Localization.hpp"

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

namespace {

constexpr auto nodeViewFields = JSONCoding::fields(
    JSONCoding::field("name", &NodeView::name), JSONCoding::field("path", &NodeView::path),
    JSONCoding::field("type", &NodeView::type), JSONCoding::field("bytes", &NodeView::bytes),
    JSONCoding::field("size", &NodeView::size), JSONCoding::field("percent", &NodeView::percent),
    JSONCoding::field("files", &NodeView::files), JSONCoding::field("modified", &NodeView::modified),
    JSONCoding::field("children", &NodeView::children),
    JSONCoding::field("omittedChildren", &NodeView::omittedChildren));

constexpr auto scanViewFields = JSONCoding::fields(
    JSONCoding::field("path", &ScanView::path), JSONCoding::field("totalBytes", &ScanView::totalBytes),
    JSONCoding::field("total", &ScanView::total), JSONCoding::field("fileCount", &ScanView::fileCount),
    JSONCoding::field("scannedAt", &ScanView::scannedAt),
    JSONCoding::field("durationSeconds", &ScanView::durationSeconds),
    JSONCoding::field("fromCache", &ScanView::fromCache),
    JSONCoding::field("inaccessibleCount", &ScanView::inaccessibleCount),
    JSONCoding::field("inaccessibleSample", &ScanView::inaccessibleSample), JSONCoding::field("hint", &ScanView::hint),
    JSONCoding::field("tree", &ScanView::tree));

}  // namespace

void to_json(json& document, const NodeView& view) { JSONCoding::write(document, view, nodeViewFields); }
void from_json(const json& document, NodeView& view) { JSONCoding::read(document, view, nodeViewFields); }
void to_json(json& document, const ScanView& view) { JSONCoding::write(document, view, scanViewFields); }
void from_json(const json& document, ScanView& view) { JSONCoding::read(document, view, scanViewFields); }
