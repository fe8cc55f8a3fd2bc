// The one-entry memo each map view keeps, so it lays a folder out only when
// the folder, its size or the view's size changed, never on a hover redraw.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "geometry/Geometry.hpp"
#include "scan/Scanner.hpp"

template <class Value>
class LayoutCache {
public:
    std::string key;
    std::optional<Value> value;

    /// The stored value when `newKey` equals the stored key and a value is
    /// stored; otherwise `build()`'s result, which replaces the old entry.
    /// The reference stays valid until the next call that builds.
    template <class Build>
    const Value& get(const std::string& newKey, Build&& build) {
        if (value && newKey == key) return *value;
        // Build before dropping the old entry: a throwing build leaves it intact.
        Value built = std::forward<Build>(build)();
        key = newKey;
        value = std::move(built);
        return *value;
    }
};

namespace MapKeys {
/// The treemap's and Voronoi map's key: path "|" size "|" width "x" height,
/// the view's whole size truncated to integers.
std::string layout(const FileNode& folder, Size viewSize);
/// The terrain's key: path "|" size; the terrain does not depend on the view's size.
std::string terrain(const FileNode& folder);
}  // namespace MapKeys
