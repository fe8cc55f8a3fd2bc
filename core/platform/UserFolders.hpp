// Where a Linux home keeps things: the XDG base folders and the user's own
// folders (Downloads, Documents, ...) as the desktop named them in
// user-dirs.dirs, which on a Chinese desktop are "下载", "文档" and so on.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace UserFolders {

/// $XDG_CACHE_HOME, $XDG_DATA_HOME and $XDG_CONFIG_HOME, defaults below the
/// engine's home (always those with OSTREVANE_HOME set).
std::string cacheHome();
std::string dataHome();
std::string configHome();

/// The user's own folders, absolute.
struct Folders {
    std::string desktop;
    std::string documents;
    std::string downloads;
    std::string music;
    std::string pictures;
    std::string videos;

    /// All six, in the order above.
    std::vector<std::string> all() const;
    bool operator==(const Folders&) const = default;
};

/// The folders a user-dirs.dirs text names for `home`: `XDG_*_DIR` lines whose
/// value is "$HOME/..." or an absolute path, quotes and backslash escapes
/// undone. A folder the text leaves out, or sets to the home itself (the way
/// a folder is switched off), keeps its English default ("Downloads", ...).
/// No text gives the defaults.
Folders parse(const std::optional<std::string>& text, const std::string& home);

/// The folders of `home` (the engine's home when none is given), from
/// $XDG_CONFIG_HOME/user-dirs.dirs; read afresh on each call.
Folders current(const std::optional<std::string>& home = std::nullopt);

}  // namespace UserFolders
