#include "GivenPaths.hpp"

#include "base/Error.hpp"
#include "base/Text.hpp"
#include "platform/HomeFolder.hpp"
#include "text/Localization.hpp"

namespace Paths {

std::optional<std::string> unusable(const std::string& path) {
    if (path.find('\0') != std::string::npos) return L("路径含有 NUL 字节");
    if (Text::trim(path).empty()) return L("路径为空");
    return std::nullopt;
}

std::string expandGiven(const std::string& path) {
    if (auto reason = unusable(path)) throw OstrevaneError(*reason);
    return expand(path);
}

}  // namespace Paths
