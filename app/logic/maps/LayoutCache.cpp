#include "maps/LayoutCache.hpp"

#include <cmath>
#include <cstdint>

namespace {
// Truncation toward zero; a size that is not a finite number of points
// (never a real view's) gives 0 rather than undefined behaviour.
std::string integerText(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return "0";
    return std::to_string(static_cast<int64_t>(value));
}
}  // namespace

namespace MapKeys {
std::string layout(const FileNode& folder, Size viewSize) {
    return terrain(folder) + "|" + integerText(viewSize.width) + "x" + integerText(viewSize.height);
}

std::string terrain(const FileNode& folder) { return folder.path + "|" + std::to_string(folder.size); }
}  // namespace MapKeys
