#include "base/Paths.hpp"

#include <string_view>
#include <vector>

namespace Paths {

std::string standardize(const std::string& absolutePath) {
    std::vector<std::string_view> parts;
    std::string_view rest = absolutePath;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty()) return "/";
    std::string result;
    for (auto part : parts) {
        result += '/';
        result += part;
    }
    return result;
}

bool isInside(const std::string& path, const std::string& parent) {
    if (path == parent) return true;
    std::string prefix = parent.ends_with("/") ? parent : parent + "/";
    return path.starts_with(prefix);
}

std::string lastComponent(const std::string& path) {
    if (path == "/") return "/";
    std::string_view view = path;
    while (view.size() > 1 && view.back() == '/') view.remove_suffix(1);
    auto slash = view.rfind('/');
    return std::string(slash == std::string_view::npos ? view : view.substr(slash + 1));
}

size_t componentCount(const std::string& path) {
    size_t count = 0;
    bool inComponent = false;
    for (char c : path) {
        if (c == '/') {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

}  // namespace Paths
