// The freedesktop.org Trash: what the desktop's file managers and
// `gio trash` show and restore. Items are renamed into a trash folder on
// their own file system with an info file beside them; nothing is ever
// copied and deleted, and nothing is deleted except by emptying.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Error.hpp"
#include "base/ScopedHooks.hpp"
#include "base/Shell.hpp"
#include "base/UniqueFd.hpp"
#include "platform/FolderTrust.hpp"
#include "platform/SeenWay.hpp"
#include "platform/TrashIdentity.hpp"

namespace Trash {

/// The home trash (holding files/ and info/): below the engine's home folder
/// when OSTREVANE_HOME moves it, else in the user's data folder.
std::string homeTrash();
/// Where the home trash keeps trashed items: the engine's Trash folder.
std::string filesFolder();
std::string infoFolder();

class HeldFolder;

/// An item as it is named inside a folder held open: the folder is looked up
/// once, when the object is made, and whatever happens to the path
/// afterwards (a link swapped, a folder renamed), everything asked of the
/// object concerns that folder.
class HeldItem {
public:
    /// Opens the folder above `path` (links among the folders followed, this
    /// once); the item itself is neither followed nor required to exist.
    /// Throws OstrevaneError with the system's description: the path is "/"
    /// (EBUSY) or its folder cannot be opened or located. With `seen`, the
    /// folder is opened along the way the scan saw (SeenWay::open), and
    /// HoldRefused says why it could not be.
    explicit HeldItem(const std::string& path, const SeenFolders* seen = nullptr);

    /// An item of a folder already held: the item is reached through that
    /// folder's descriptor, and the Trash records it below the folder's
    /// path, whatever name the folder has when the item moves. Throws
    /// OstrevaneError with the system's description when the folder has no
    /// path any more.
    HeldItem(const HeldFolder& folder, const std::string& name);

    /// The folder's descriptor.
    int folder() const { return descriptor.get(); }
    const std::string& name() const { return itemName; }
    /// Where the held folder really is, as the kernel names it.
    const std::string& realFolder() const { return folderPath; }
    /// The item's path below the real folder: what a move really renames.
    std::string realPath() const;
    /// The item's own status, links not followed; none when it is not there.
    std::optional<struct stat> status() const;
    /// The folder the Trash records the item in: where the path led when it
    /// was held, or the path the user knows for an item of a held folder.
    const std::string& recordedFolder() const { return knownFolder.empty() ? folderPath : knownFolder; }

private:
    UniqueFd descriptor;
    std::string itemName;
    std::string folderPath;
    std::string knownFolder;
};

/// A folder whose items are moved one by one, opened once: never through a
/// link in its own name, and only while it is still what its path names, so
/// a link swapped in for it, before or after, leads no move elsewhere.
class HeldFolder {
public:
    using Failure = HoldFailure;
    using Refused = HoldRefused;

    /// Opens the folder at `path` (the folders above it followed, this once,
    /// or with `seen` opened along the way the scan saw, and the folder
    /// itself refused when it is not the one the scan kept, or the scan kept
    /// none). Throws Refused.
    explicit HeldFolder(const std::string& path, const SeenFolders* seen = nullptr);

    int descriptor() const { return fd.get(); }
    /// The path the folder was held at, as given (standardised).
    const std::string& path() const { return knownPath; }
    /// Its names, one level, as the folder is now. Throws std::system_error.
    std::vector<std::string> names() const;

private:
    UniqueFd fd;
    std::string knownPath;
};

/// Why an item was not moved: its disk has no trash the tool may use.
/// `distrust`: a folder on the way to `trash` fails the rule of FolderTrust,
/// so the trash there could be of another user's choosing. Else `code` is
/// the system's error that kept `trash` from being made or opened. `disk` is
/// the top of the item's file system. The message is the system's
/// description of EACCES or of that error.
struct UnusableTrash : OstrevaneError {
    std::string disk;
    std::string trash;
    std::optional<FolderTrust::Failure> distrust;
    UnusableTrash(std::string disk, std::string trash, FolderTrust::Failure failure)
        : OstrevaneError(std::strerror(EACCES), EACCES),
          disk(std::move(disk)),
          trash(std::move(trash)),
          distrust(std::move(failure)) {}
    UnusableTrash(std::string disk, std::string trash, int error)
        : OstrevaneError(std::strerror(error), error), disk(std::move(disk)), trash(std::move(trash)) {}
};

/// What a move found in the Trash was not the item it checked: another
/// program put something else under the item's name in between. What
/// arrived was put back under that name, without replacing anything; when
/// the name was made again meanwhile, it stays in the Trash at `trashed`
/// (empty when it was put back).
struct ReplacedWhileMoved : OstrevaneError {
    std::string trashed;
    explicit ReplacedWhileMoved(std::string trashed)
        : OstrevaneError("replaced while it was moved"), trashed(std::move(trashed)) {}
};

/// Calls a test makes inside a move: `beforeRename` after every check, right
/// before the item is renamed from its held folder, and `afterRename` right
/// after, with the trash's files folder and the name the item got there.
struct MoveHooks {
    std::function<void(int folder, const std::string& name)> beforeRename;
    std::function<void(int files, const std::string& name)> afterRename;
    static MoveHooks& active();
};

/// Moves an item to the trash of the file system its folder lies on and
/// returns its new location. The item itself is renamed as it is, so a
/// symbolic link is moved as a link. Throws OstrevaneError with the
/// system's description of what went wrong, UnusableTrash when the disk
/// has no trash the tool may use.
std::string moveToTrash(const std::string& path);
/// The same for an item whose folder is already held: the rename starts
/// from that folder's descriptor, so what was checked is what is moved.
/// With `seen`, the home trash is opened (and made) along the way the scan
/// saw. What is moved must be `expected` (device and inode), when given,
/// and is then checked once more where it arrived: something else is put
/// back (ReplacedWhileMoved), since Linux renames by name, not by inode.
std::string moveToTrash(const HeldItem& item, const SeenFolders* seen = nullptr, const SeenFolder* expected = nullptr);

/// Moves an item that moveToTrash put at `trashed` back to `original`, which
/// must be free (nothing is replaced), and removes its info file. Throws
/// OstrevaneError with the system's description when it cannot be moved.
void putBack(const std::string& trashed, const std::string& original);

/// Whether a path is a trash folder or lies inside one, by its text alone:
/// the home trash, or a ".Trash-<uid>" or ".Trash/<uid>" folder anywhere.
bool isInsideTrash(const std::string& path);

/// Every trash folder of the user that passes the checks of
/// `openTrashFolders`: the home trash first (whether or not it exists yet),
/// then the ".Trash/<uid>" and ".Trash-<uid>" folders that exist at the top
/// of the mounted file systems, each folder once.
std::vector<std::string> trashFolders();

/// Whether the held item, its folder or any folder above it is one of the
/// given trash folders or one of their halves, by identity: a trash reached
/// through a bind mount has a path that names no trash.
bool isInsideTrashFolder(const HeldItem& item, const std::vector<std::string>& trashes = trashFolders());

/// A trash folder opened for listing, measuring and emptying. Its halves are
/// held by descriptor, opened without following links and checked as opened,
/// so nothing done to the paths afterwards changes what is listed or removed.
struct OpenTrash {
    std::string path;
    /// files/ and info/; not open when the trash has no such half yet.
    UniqueFd files;
    UniqueFd info;
    /// Why files/ could not be opened (0 when it was, or is simply missing).
    int error = 0;
};

/// Why a trash folder that exists is not used. `uncheckable`: it could not
/// be looked at inside a folder another user owns, who can make any check
/// there fail at will. `replaceable`: a folder on its way fails the rule of
/// FolderTrust (the top of a disk another user owns or others can write to,
/// a shared ".Trash" of theirs), where they can rename any folder of the
/// user's to the trash's name.
enum class Distrust { link, otherOwner, writableByOthers, uncheckable, replaceable };
struct RejectedFolder {
    /// The folder that failed: the trash itself or one of its halves.
    std::string path;
    Distrust why;
    /// For `replaceable`: the folder of the way that failed, and why.
    std::optional<FolderTrust::Failure> way;
};

/// The user's trash folders: only those the user owns, that no one else can
/// write to, that are not links and whose way passes the rule of
/// FolderTrust, from the top of their disk (from "/" for the home trash). A
/// shared ".Trash" must moreover be a sticky folder, else its "<uid>" folder
/// is not looked at.
struct TrashFolders {
    std::vector<std::shared_ptr<const OpenTrash>> trusted;
    /// Existing folders that failed a check, never opened past it.
    std::vector<RejectedFolder> rejected;
};
TrashFolders openTrashFolders();

/// One item of a trash folder.
struct Entry {
    std::shared_ptr<const OpenTrash> trash;
    std::string name;
    /// Where the item lies, for reports only.
    std::string path() const;
};
/// The items of an open trash folder. Throws std::system_error when it
/// cannot be listed.
std::vector<Entry> entriesOf(const std::shared_ptr<const OpenTrash>& trash);
/// Removes one item, through the descriptors, and then its info file.
/// Throws std::system_error when the item cannot be removed whole; its info
/// file then stays, so what is left can still be listed and restored.
void removeEntry(const Entry& entry);

/// The item as it is now, links not followed; none when it cannot be
/// looked at.
std::optional<EntryIdentity> identityOf(const Entry& entry);

/// Removes the info files of an open trash that have no item beside them
/// and are older than any move takes: a move killed between writing the
/// record and renaming the item leaves one behind, holding its name.
void sweepStaleInfoFiles(const OpenTrash& trash);

/// The allocated bytes of items and their records, links not followed; files
/// with several hard links are kept by identity so that each counts once
/// however often met. The trash folders and their halves, which emptying
/// keeps, count nothing.
struct Allocation {
    int64_t single = 0;
    std::map<std::pair<dev_t, ino_t>, int64_t> linked;
    /// Adds another allocation, counting files both hold once.
    void add(const Allocation& other);
    int64_t total() const;
};
/// An item and everything below it, by descriptor, with its info file; what
/// cannot be read counts nothing.
Allocation allocationOf(const Entry& entry);
/// What emptying the given open trash folders removes, as far as they can
/// be read: their items with their info files, and the stale info files
/// `sweepStaleInfoFiles` removes. With `measured`, the identity of every item
/// counted is added there, taken before the item is measured.
Allocation allocationOf(const std::vector<std::shared_ptr<const OpenTrash>>& trashes,
                        MeasuredEntries* measured = nullptr);
/// The same for the given trash folders (by default every one); folders
/// failing the checks count nothing.
int64_t allocatedSize(const std::vector<std::string>& trashes = trashFolders(), MeasuredEntries* measured = nullptr);

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
/// Fails without running anything when the system's tables are redirected
/// (Platform::systemIsRedirected): gio would not follow them.
Shell::Output emptyThroughDesktop();

/// The file and program operations behind the trash, replaceable so tests can
/// make them fail; the defaults are the real ones.
struct Hooks {
    /// Names in an open folder, one level; throws std::system_error. The
    /// path names the folder in errors.
    std::function<std::vector<std::string>(int folder, const std::string& path)> listFolder;
    /// Removes an entry of an open folder, a whole folder included, without
    /// following links; throws std::system_error naming `path` unless the
    /// entry is gone all the same.
    std::function<void(int folder, const std::string& name, const std::string& path)> removeItem;
    /// Free bytes of the file system holding a path; none when unknown.
    std::function<std::optional<int64_t>(const std::string& path)> freeBytes;
    /// Runs an outside program, as Shell::run does; by default none at all
    /// while the system's tables are redirected.
    std::function<Shell::Output(const std::string& executable, const std::vector<std::string>& arguments,
                                double timeout)>
        run;
    /// The status of an entry of an open folder (AT_FDCWD: a path), links
    /// not followed, as trash folders, the tops of the disks holding them
    /// and the items left by records are checked; 0 or the error.
    std::function<int(int folder, const std::string& name, struct stat& status)> statusAt;

    /// The set in force; the real operations unless a test replaced them
    /// through ScopedHooks<Trash::Hooks>.
    static Hooks& active();
};

}  // namespace Trash
