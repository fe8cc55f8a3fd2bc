// Finding, checking, listing, measuring and emptying the user's trash
// folders. Emptying deletes for good, so every folder is checked as it is
// opened and everything afterwards goes through the opened descriptors:
// another user who can rename things on a shared file system cannot turn a
// checked folder into a link to the user's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <set>
#include <string_view>
#include <system_error>

#include "base/DirectoryStream.hpp"
#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "platform/FolderTrust.hpp"
#include "platform/ItemTree.hpp"
#include "platform/Mounts.hpp"
#include "platform/Trash.hpp"

namespace Trash {

namespace {

using Identity = std::pair<dev_t, ino_t>;

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::system_error systemError(int error, const std::string& what) {
    return std::system_error(error, std::generic_category(), what);
}

/// Why a folder of the trash may not be used, from its own status.
std::optional<Distrust> distrustOf(const struct stat& status) {
    if (status.st_uid != ::getuid()) return Distrust::otherOwner;
    if (S_ISLNK(status.st_mode)) return Distrust::link;
    if (status.st_mode & (S_IWGRP | S_IWOTH)) return Distrust::writableByOthers;
    return std::nullopt;
}

/// Whether the folder holding `name` inside `base` belongs to another user,
/// or cannot even be looked at. A check that fails in there proves nothing
/// about the user's own folder: its owner can make it fail at will.
bool heldByAnotherUser(int base, const std::string& name) {
    struct stat above {};
    // The holder as the status hook sees it; "/." follows a link to it, as a
    // folder's own status does.
    const size_t slash = name.rfind('/');
    const std::string holder = slash == std::string::npos ? "." : name.substr(0, slash) + "/.";
    return Hooks::active().statusAt(base, holder, above) != 0 || above.st_uid != ::getuid();
}

/// A check of `name` inside `base` that failed with `error`: distrusted (and
/// noted) when another user owns what is above it, else handed back in `failure`.
void checkFailed(int base, const std::string& name, const std::string& path, int error,
                 std::vector<RejectedFolder>& rejected, int& failure) {
    if (heldByAnotherUser(base, name))
        rejected.push_back({path, Distrust::uncheckable, std::nullopt});
    else
        failure = error;
}

/// The first folder above `trash`, from `top` down, that fails the rule of
/// FolderTrust: whoever can write there could rename any folder of the
/// user's to the trash's name and have it emptied. The trash itself is
/// judged by distrustOf, with reasons of its own.
std::optional<FolderTrust::Failure> failureAbove(const std::string& top, const std::string& trash) {
    return FolderTrust::checkAbove(top, trash, Hooks::active().statusAt);
}

/// Opens one folder of a trash, `name` inside `base`, and checks what was
/// opened. None when it is missing or was rejected (then noted); an error
/// other than that is handed back in `error`. `way`: a folder above it fails
/// the rule of FolderTrust, so whatever lies there under that name may be
/// any folder of the user's that someone else renamed into place.
std::optional<UniqueFd> openChecked(int base, const std::string& name, const std::string& path,
                                    std::vector<RejectedFolder>& rejected, int& error,
                                    const std::optional<FolderTrust::Failure>& way = std::nullopt) {
    struct stat status {};
    if (const int statusError = Hooks::active().statusAt(base, name, status)) {
        if (statusError != ENOENT) checkFailed(base, name, path, statusError, rejected, error);
        return std::nullopt;
    }
    if (auto why = distrustOf(status)) {
        rejected.push_back({path, *why, std::nullopt});
        return std::nullopt;
    }
    if (way) {
        rejected.push_back({path, Distrust::replaceable, way});
        return std::nullopt;
    }
    UniqueFd fd(::openat(base, name.c_str(), folderFlags));
    if (!fd.valid()) {
        const int openError = errno;
        // It was a folder when looked at, so it was replaced since, most
        // likely by a link (refused with ELOOP, or with ENOTDIR as a link is
        // no folder). Looking again proves nothing: it may be swapped back
        // by now, and whatever swaps it could swap it again for the desktop.
        if (openError == ELOOP || openError == ENOTDIR)
            rejected.push_back({path, Distrust::link, std::nullopt});
        else if (openError != ENOENT)
            checkFailed(base, name, path, openError, rejected, error);
        return std::nullopt;
    }
    // The checks that count are those on what was really opened.
    if (::fstat(fd.get(), &status) != 0) {
        error = errno;
        return std::nullopt;
    }
    if (auto why = distrustOf(status)) {
        rejected.push_back({path, *why, std::nullopt});
        return std::nullopt;
    }
    return fd;
}

/// Opens the trash folder `name` inside `base` and its halves into `into`,
/// unless the same folder was opened before.
void openTrash(int base, const std::string& name, const std::string& path, TrashFolders& into, std::set<Identity>& seen,
               const std::optional<FolderTrust::Failure>& way = std::nullopt) {
    int error = 0;
    auto trash = openChecked(base, name, path, into.rejected, error, way);
    if (!trash) {
        if (error != 0) {
            auto failed = std::make_shared<OpenTrash>();
            failed->path = path;
            failed->error = error;
            into.trusted.push_back(std::move(failed));
        }
        return;
    }
    struct stat status {};
    if (::fstat(trash->get(), &status) != 0 || !seen.insert({status.st_dev, status.st_ino}).second) return;
    auto open = std::make_shared<OpenTrash>();
    open->path = path;
    const size_t rejectedBefore = into.rejected.size();
    if (auto files = openChecked(trash->get(), "files", Paths::joined(path, "files"), into.rejected, open->error))
        open->files = std::move(*files);
    int infoError = 0;
    if (auto info = openChecked(trash->get(), "info", Paths::joined(path, "info"), into.rejected, infoError))
        open->info = std::move(*info);
    // A trash with a half that failed is not used at all: its records and
    // its items belong together.
    if (into.rejected.size() == rejectedBefore) into.trusted.push_back(std::move(open));
}

/// The trash folders at the top of one mounted file system. Other users, or
/// anyone who can write to a shared disk, can never have the user's things
/// emptied: a trash whose way from the top fails the rule is left alone.
void openDeviceTrashes(const std::string& top, TrashFolders& into, std::set<Identity>& seen) {
    UniqueFd topFolder(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!topFolder.valid()) return;
    const std::string uid = std::to_string(::getuid());
    // The shared ".Trash" counts only as the freedesktop.org rules trust it:
    // a real, sticky folder, as opened.
    UniqueFd shared(::openat(topFolder.get(), ".Trash", folderFlags));
    struct stat status {};
    if (shared.valid() && ::fstat(shared.get(), &status) == 0 && (status.st_mode & S_ISVTX)) {
        const std::string own = Paths::joined(top, ".Trash/" + uid);
        openTrash(shared.get(), uid, own, into, seen, failureAbove(top, own));
    }
    const std::string own = Paths::joined(top, ".Trash-" + uid);
    openTrash(topFolder.get(), ".Trash-" + uid, own, into, seen, failureAbove(top, own));
}

/// The home trash alone, opened and checked as emptying opens it: it is one
/// of the tool's own folders, so its way is checked from "/".
TrashFolders openHomeTrash() {
    TrashFolders folders;
    std::set<Identity> seen;
    const std::string home = homeTrash();
    openTrash(AT_FDCWD, home, home, folders, seen, failureAbove("/", home));
    return folders;
}

/// The open home trash; none when it does not exist. Throws when it fails a check.
std::shared_ptr<const OpenTrash> checkedHomeTrash() {
    TrashFolders folders = openHomeTrash();
    if (!folders.rejected.empty())
        throw systemError(folders.rejected.front().why == Distrust::link ? ENOTDIR : EACCES,
                          folders.rejected.front().path);
    return folders.trusted.empty() ? nullptr : folders.trusted.front();
}

void addAllocation(const struct stat& status, Allocation& allocation) {
    int64_t bytes = Files::allocatedBytes(status);
    if (!S_ISDIR(status.st_mode) && status.st_nlink > 1)
        allocation.linked.emplace(std::make_pair(status.st_dev, status.st_ino), bytes);
    else
        allocation.single += bytes;
}

std::optional<Identity> identityAt(int folder, const char* name, int flags) {
    struct stat status {};
    if (::fstatat(folder, name, &status, flags) != 0) return std::nullopt;
    return Identity{status.st_dev, status.st_ino};
}

}  // namespace

namespace Detail {

std::vector<std::string> listFolderNames(int folder, const std::string& path) {
    int copy = ::dup(folder);
    if (copy < 0) throw systemError(errno, path);
    DirectoryStream directory(copy);
    if (!directory.valid()) throw systemError(errno, path);
    // The copy shares its reading position with the folder's descriptor,
    // which may have been listed before.
    directory.rewind();
    std::vector<std::string> names;
    int error = 0;
    while (auto name = directory.next(error)) names.push_back(std::move(*name));
    if (error != 0) throw systemError(error, path);
    return names;
}

void removeItem(int folder, const std::string& name, const std::string& path) {
    const int error = ItemTree::remove(folder, name);
    if (error == 0) return;
    // Another program (a file manager emptying too) may have removed it, or
    // part of it, meanwhile: an item that is gone is removed all the same.
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
        throw systemError(error, path);
}

int statusAt(int folder, const std::string& name, struct stat& status) {
    return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

}  // namespace Detail

TrashFolders openTrashFolders() {
    TrashFolders folders = openHomeTrash();
    std::set<Identity> seen;
    for (const auto& trash : folders.trusted)
        if (auto identity = identityAt(AT_FDCWD, trash->path.c_str(), AT_SYMLINK_NOFOLLOW)) seen.insert(*identity);
    auto table = Mounts::readTable();
    for (const auto& mount : Mounts::parse(table.value_or(""))) openDeviceTrashes(mount.mountPoint, folders, seen);
    return folders;
}

std::vector<std::string> trashFolders() {
    const std::string home = homeTrash();
    std::vector<std::string> folders{home};
    for (const auto& trash : openTrashFolders().trusted)
        if (trash->path != home) folders.push_back(trash->path);
    return folders;
}

std::string Entry::path() const { return Paths::joined(Paths::joined(trash->path, "files"), name); }

std::vector<Entry> entriesOf(const std::shared_ptr<const OpenTrash>& trash) {
    if (trash->error != 0) throw systemError(trash->error, Paths::joined(trash->path, "files"));
    // A trash that was never used has no folder yet: it is simply empty.
    if (!trash->files.valid()) return {};
    std::vector<Entry> entries;
    for (auto& name : Hooks::active().listFolder(trash->files.get(), Paths::joined(trash->path, "files")))
        entries.push_back({trash, std::move(name)});
    return entries;
}

void removeEntry(const Entry& entry) {
    Hooks::active().removeItem(entry.trash->files.get(), entry.name, entry.path());
    if (entry.trash->info.valid()) ::unlinkat(entry.trash->info.get(), (entry.name + ".trashinfo").c_str(), 0);
}

namespace {

constexpr std::string_view recordSuffix = ".trashinfo";

/// The records of an open trash that emptying sweeps away: info files older
/// than any move takes whose item is surely gone, by name.
std::vector<std::string> staleRecords(const OpenTrash& trash) {
    // Without a readable files/ half nothing can be told to be missing.
    if (!trash.info.valid() || trash.error != 0) return {};
    // Young ones may belong to a move that is still under way, here or in
    // another program.
    constexpr time_t settled = 10 * 60;
    const time_t now = ::time(nullptr);
    std::vector<std::string> names;
    try {
        names = Detail::listFolderNames(trash.info.get(), Paths::joined(trash.path, "info"));
    } catch (const std::system_error&) {
        return {};
    }
    std::erase_if(names, [&](const std::string& name) {
        if (!name.ends_with(recordSuffix) || name.size() == recordSuffix.size()) return true;
        struct stat status {};
        if (::fstatat(trash.info.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode) ||
            now - status.st_mtime < settled)
            return true;
        // Only an item surely gone: one that could not be looked at may
        // still be there, and its record is its way back.
        const std::string item = name.substr(0, name.size() - recordSuffix.size());
        return trash.files.valid() && Hooks::active().statusAt(trash.files.get(), item, status) != ENOENT;
    });
    return names;
}

/// Adds the record `name` of info/, when it is a file: what a link or a
/// folder there takes is nothing emptying frees.
void addRecord(const OpenTrash& trash, const std::string& name, Allocation& allocation) {
    struct stat status {};
    if (trash.info.valid() && ::fstatat(trash.info.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode))
        addAllocation(status, allocation);
}

}  // namespace

void sweepStaleInfoFiles(const OpenTrash& trash) {
    for (const auto& name : staleRecords(trash)) ::unlinkat(trash.info.get(), name.c_str(), 0);
}

std::vector<std::string> entries() {
    auto trash = checkedHomeTrash();
    std::vector<std::string> names;
    if (trash)
        for (auto& entry : entriesOf(trash)) names.push_back(std::move(entry.name));
    return names;
}

void removeEntry(const std::string& name) {
    auto trash = checkedHomeTrash();
    if (!trash) throw systemError(ENOENT, Paths::joined(homeTrash(), "files/" + name));
    removeEntry(Entry{trash, name});
}

void Allocation::add(const Allocation& other) {
    single += other.single;
    linked.insert(other.linked.begin(), other.linked.end());
}

int64_t Allocation::total() const {
    int64_t sum = single;
    for (const auto& [identity, bytes] : linked) sum += bytes;
    return sum;
}

Allocation allocationOf(const Entry& entry) {
    Allocation allocation;
    if (!entry.trash->files.valid()) return allocation;
    ItemTree::Visitor visitor;
    visitor.visit = [&](int, const char*, const struct stat& status) { addAllocation(status, allocation); };
    visitor.leave = [](int, const char*) {};
    visitor.failed = [](int) {};
    ItemTree::walk(entry.trash->files.get(), entry.name, visitor);
    addRecord(*entry.trash, entry.name + std::string(recordSuffix), allocation);
    return allocation;
}

Allocation allocationOf(const std::vector<std::shared_ptr<const OpenTrash>>& trashes, MeasuredEntries* measured) {
    Allocation allocation;
    for (const auto& trash : trashes) {
        try {
            for (const auto& entry : entriesOf(trash)) {
                if (measured)
                    if (auto identity = identityOf(entry)) measured->insert(std::move(*identity));
                allocation.add(allocationOf(entry));
            }
        } catch (const std::system_error&) {
            // A trash that cannot be listed counts as far as it was read: nothing.
            continue;
        }
        for (const auto& name : staleRecords(*trash)) addRecord(*trash, name, allocation);
    }
    return allocation;
}

int64_t allocatedSize(const std::vector<std::string>& trashes, MeasuredEntries* measured) {
    const std::set<std::string> wanted(trashes.begin(), trashes.end());
    std::vector<std::shared_ptr<const OpenTrash>> chosen;
    for (auto& trash : openTrashFolders().trusted)
        if (wanted.count(trash->path)) chosen.push_back(std::move(trash));
    return allocationOf(chosen, measured).total();
}

bool isInsideTrashFolder(const HeldItem& item, const std::vector<std::string>& trashes) {
    std::set<Identity> folders;
    for (const auto& trash : trashes)
        for (const auto& folder : {trash, Paths::joined(trash, "files"), Paths::joined(trash, "info")})
            if (auto identity = identityAt(AT_FDCWD, folder.c_str(), AT_SYMLINK_NOFOLLOW)) folders.insert(*identity);
    if (auto identity = identityAt(item.folder(), item.name().c_str(), AT_SYMLINK_NOFOLLOW))
        if (folders.count(*identity)) return true;
    // Up from the held folder through "..", which leaves a bind mount where
    // it is mounted but keeps the identity of the folder mounted there.
    UniqueFd current(::openat(item.folder(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::optional<Identity> previous;
    while (current.valid()) {
        auto identity = identityAt(current.get(), "", AT_EMPTY_PATH);
        if (!identity || identity == previous) break;
        if (folders.count(*identity)) return true;
        previous = identity;
        current = UniqueFd(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return false;
}

}  // namespace Trash
