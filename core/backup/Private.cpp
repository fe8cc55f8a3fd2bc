#include "backup/Private.hpp"

#include <filesystem>

#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace BackupEngine {

std::string describe(int error) { return error == changedWhileCopied ? L("复制期间文件被修改") : std::strerror(error); }

std::vector<std::string> components(const std::string& relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        if (slash > start) parts.push_back(relative.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::optional<std::string> weaklyCanonical(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    if (error) return std::nullopt;
    std::string text = canonical.string();
    if (text.size() > 1 && text.ends_with("/")) text.pop_back();
    return text;
}

int readNames(int folderFd, std::vector<std::string>& names) {
    int copy = ::dup(folderFd);
    if (copy < 0) return errno;
    DirectoryStream folder(copy);
    if (!folder.valid()) return errno;
    int error = 0;
    while (auto name = folder.next(error)) names.push_back(std::move(*name));
    return error;
}

}  // namespace BackupEngine
