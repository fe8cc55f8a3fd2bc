#include "platform/UserFolders.hpp"

#include <sstream>

#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "platform/HomeFolder.hpp"

namespace UserFolders {

std::string cacheHome() { return Paths::baseFolder("XDG_CACHE_HOME", ".cache"); }
std::string dataHome() { return Paths::baseFolder("XDG_DATA_HOME", ".local/share"); }
std::string configHome() { return Paths::baseFolder("XDG_CONFIG_HOME", ".config"); }

std::vector<std::string> Folders::all() const { return {desktop, documents, downloads, music, pictures, videos}; }

namespace {

/// The value of an assignment: double quotes dropped, a backslash keeping the
/// character after it, the way the desktop's own tools write the file.
std::string unquoted(const std::string& value) {
    std::string result;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"') continue;
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        result += value[i];
    }
    return result;
}

/// The folder a value names for `home`; none for anything but "$HOME/..."
/// and absolute paths, and for the home itself.
std::optional<std::string> folderOf(const std::string& value, const std::string& home) {
    std::string path;
    if (value == "$HOME" || value.starts_with("$HOME/"))
        path = Paths::standardize(Paths::joined(home, value.substr(5)));
    else if (value.starts_with("/"))
        path = Paths::standardize(value);
    else
        return std::nullopt;
    if (path == Paths::standardize(home)) return std::nullopt;
    return path;
}

}  // namespace

Folders parse(const std::optional<std::string>& text, const std::string& home) {
    Folders folders{Paths::joined(home, "Desktop"), Paths::joined(home, "Documents"), Paths::joined(home, "Downloads"),
                    Paths::joined(home, "Music"),   Paths::joined(home, "Pictures"),  Paths::joined(home, "Videos")};
    if (!text) return folders;
    const std::pair<const char*, std::string Folders::*> keys[] = {
        {"XDG_DESKTOP_DIR", &Folders::desktop},    {"XDG_DOCUMENTS_DIR", &Folders::documents},
        {"XDG_DOWNLOAD_DIR", &Folders::downloads}, {"XDG_MUSIC_DIR", &Folders::music},
        {"XDG_PICTURES_DIR", &Folders::pictures},  {"XDG_VIDEOS_DIR", &Folders::videos},
    };
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        line = Text::trim(line);
        if (line.empty() || line.front() == '#') continue;
        auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = Text::trim(line.substr(0, equals));
        const std::string value = unquoted(Text::trim(line.substr(equals + 1)));
        for (const auto& [name, member] : keys)
            if (key == name)
                if (auto folder = folderOf(value, home)) folders.*member = *folder;
    }
    return folders;
}

Folders current(const std::optional<std::string>& home) {
    return parse(Files::read(Paths::joined(configHome(), "user-dirs.dirs")), home.value_or(Paths::home()));
}

}  // namespace UserFolders
