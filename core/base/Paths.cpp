#include "base/Paths.hpp"

#include <string_view>
#include <vector>

#include "base/Text.hpp"

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

bool isInside(std::string_view path, std::string_view parent) {
    if (!path.starts_with(parent)) return false;
    if (path.size() == parent.size() || parent.ends_with('/')) return true;
    return path[parent.size()] == '/';
}

bool isStrictlyInside(std::string_view path, std::string_view parent) {
    return path != parent && isInside(path, parent);
}

std::string joined(std::string_view folder, std::string_view name) {
    if (name.empty()) return std::string(folder);
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string_view lastComponentView(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return path;
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string lastComponent(std::string_view path) { return std::string(lastComponentView(path)); }

std::string parentFolder(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

size_t extensionDot(std::string_view name, LeadingDot leadingDot) {
    const size_t dot = name.rfind('.');
    if (dot == 0 && leadingDot == LeadingDot::inStem) return std::string_view::npos;
    return dot;
}

std::string lowercasedExtension(std::string_view name, LeadingDot leadingDot) {
    const size_t dot = extensionDot(name, leadingDot);
    return dot == std::string_view::npos ? std::string() : Text::lowercased(name.substr(dot + 1));
}

std::string percentEncoded(const std::string& path) {
    static const char* digits = "0123456789ABCDEF";
    std::string result;
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += digits[c >> 4];
            result += digits[c & 0x0F];
        }
    }
    return result;
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
