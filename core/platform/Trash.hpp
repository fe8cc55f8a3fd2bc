// The freedesktop.org Trash: what the desktop's file managers and
// `gio trash` show and restore. Items are renamed into a trash folder on
// their own file system with an info file beside them; nothing is ever
// copied and deleted, and nothing is deleted except by emptying.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Support.hpp"

namespace Trash {

/// The home trash (holding files/ and info/): below the engine's home folder
/// when OSTREVANE_HOME moves it, else in the user's data folder.
std::string homeTrash();
/// Where the home trash keeps trashed items: the engine's Trash folder.
std::string filesFolder();
std::string infoFolder();

/// Moves an item to the trash of the file system its folder lies on and
/// returns its new location. The item itself is renamed as it is, so a
/// symbolic link is moved as a link. Throws OstrevaneError with the
/// system's description of what went wrong.
std::string moveToTrash(const std::string& path);

/// Moves an item that moveToTrash put at `trashed` back to `original`, which
/// must be free (nothing is replaced), and removes its info file. Throws
/// OstrevaneError with the system's description when it cannot be moved.
void putBack(const std::string& trashed, const std::string& original);

/// Whether a path is a trash folder or lies inside one, by its text alone:
/// the home trash, or a ".Trash-<uid>" or ".Trash/<uid>" folder anywhere.
bool isInsideTrash(const std::string& path);

/// Every trash folder of the user: the home trash first (whether or not it
/// exists yet), then the ".Trash/<uid>" and ".Trash-<uid>" folders that exist
/// at the top of the mounted file systems, each folder once.
std::vector<std::string> trashFolders();

/// The first of the trash folders, or of their files/ and info/ halves, that
/// is a symbolic link: emptying through it would delete wherever it leads.
std::optional<std::string> linkedFolder();

/// One item of a trash folder.
struct Entry {
    std::string trash;
    std::string name;
};
/// The items of every trash folder. Throws std::system_error when one of
/// them cannot be listed.
std::vector<Entry> allEntries();
/// Removes one item and its info file, as removeEntry(name) does for the home trash.
void removeEntry(const Entry& entry);

/// The allocated bytes of items, links not followed; files with several hard
/// links are kept by identity so that each counts once however often met.
struct Allocation {
    int64_t single = 0;
    std::map<std::pair<dev_t, ino_t>, int64_t> linked;
    /// Adds another allocation, counting files both hold once.
    void add(const Allocation& other);
    int64_t total() const;
};
/// An item and everything below it; what cannot be read counts nothing.
Allocation allocationOf(const std::string& path);
/// The items of the given trash folders (by default every one), as far as
/// they can be read.
int64_t allocatedSize(const std::vector<std::string>& trashes = trashFolders());

/// Names of the entries of the home trash, one level, in the system's order.
/// A trash that was never created is empty. Throws std::system_error when
/// the folder cannot be read.
std::vector<std::string> entries();
/// Removes one entry of the home trash without following links, then its
/// info file. Throws std::system_error when the entry cannot be removed; its
/// info file then stays, so the entry can still be listed and restored.
void removeEntry(const std::string& name);

/// Free bytes of the file system that holds the home trash; 0 when unknown.
int64_t freeBytes();

/// Empties the trash through the desktop (`gio trash --empty`), for when the
/// trash cannot be listed. The program's status and output are handed back.
Shell::Output emptyThroughDesktop();

/// Shows an item in the file manager, else opens its folder. Nothing is reported.
void reveal(const std::string& path);

/// The file and program operations behind the trash, replaceable so tests can
/// make them fail; the defaults are the real ones.
struct Hooks {
    /// Names in a folder, one level; throws std::system_error.
    std::function<std::vector<std::string>(const std::string& folder)> listFolder;
    /// Removes a file, link or whole folder without following links; throws std::system_error.
    std::function<void(const std::string& path)> removeItem;
    /// Free bytes of the file system holding a path; none when unknown.
    std::function<std::optional<int64_t>(const std::string& path)> freeBytes;
    /// Runs an outside program, as Shell::run does.
    std::function<Shell::Output(const std::string& executable, const std::vector<std::string>& arguments,
                                double timeout)>
        run;
};
Hooks& hooks();
/// Puts the real operations back.
void resetHooks();

/// Percent-encodes a path the way trash info files and file URIs expect:
/// every byte except letters, digits, "-._~" and "/" becomes "%XX".
std::string percentEncoded(const std::string& path);

}  // namespace Trash
