#include "platform/Trash.hpp"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "base/Error.hpp"
#include "base/Paths.hpp"
#include "base/WriteSeal.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Platform.hpp"
#include "platform/ProgramSearch.hpp"
#include "platform/UserFolders.hpp"

namespace fs = std::filesystem;

namespace Trash {

namespace Detail {
// The real folder operations of the hooks, beside the rest of emptying.
std::vector<std::string> listFolderNames(int folder, const std::string& path);
void removeItem(int folder, const std::string& name, const std::string& path);
int statusAt(int folder, const std::string& name, struct stat& status);
}  // namespace Detail

namespace {

[[noreturn]] void failWith(int error) { throw OstrevaneError::fromErrno(error); }

/// Whether `path`, which the kernel gave for `fd` with " (deleted)" at its
/// end, is the folder's real name: the kernel adds that suffix to a removed
/// folder, but a folder may also be named so. Only the folder itself is
/// found under its own name.
bool namesItself(int fd, const std::string& path) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

/// The path the kernel gives an open folder; throws when it has none (the
/// folder was removed, or its path is too long to be named).
std::string pathOfDescriptor(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string buffer(PATH_MAX, '\0');
    ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) failWith(errno);
    if (static_cast<size_t>(length) == buffer.size()) failWith(ENAMETOOLONG);
    buffer.resize(static_cast<size_t>(length));
    if (buffer.empty() || buffer.front() != '/') failWith(ENOENT);
    if (buffer.ends_with(" (deleted)") && !namesItself(fd, buffer)) failWith(ENOENT);
    return buffer;
}

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// Opens a trash's half by descriptor, never through a link.
UniqueFd openHalf(int trash, const char* half) {
    UniqueFd fd(::openat(trash, half, folderFlags));
    if (!fd.valid()) failWith(errno == ELOOP ? ENOTDIR : errno);
    return fd;
}

/// A folder the trash owns: created private when missing, and never a link
/// someone else planted, since items are renamed into it.
void ensurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) failWith(errno);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) failWith(errno);
    if (!S_ISDIR(status.st_mode)) failWith(ENOTDIR);
}

void ensureTrashFolders(const std::string& trash) {
    WriteSeal::check(trash);
    ensurePrivateFolder(trash);
    ensurePrivateFolder(Paths::joined(trash, "files"));
    ensurePrivateFolder(Paths::joined(trash, "info"));
}

std::optional<dev_t> deviceOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return status.st_dev;
}

/// The first folder on the way from `top` to `trash` that fails the rule of
/// FolderTrust; the trash itself is checked as it is opened.
std::optional<FolderTrust::Failure> failureAbove(const std::string& top, const std::string& trash) {
    return FolderTrust::checkAbove(top, trash, Hooks::active().statusAt);
}

/// The top folder of the file system that holds `folder`: walk up while the
/// parent is on the same device.
std::string topFolder(const std::string& folder, dev_t device) {
    std::string current = folder;
    while (current != "/") {
        std::string parent = Paths::parentFolder(current);
        auto parentDevice = deviceOf(parent);
        if (!parentDevice || *parentDevice != device) break;
        current = parent;
    }
    return current;
}

/// `path` or the nearest folder above it that exists ("/" at the last).
std::string nearestExisting(std::string path) {
    struct stat status {};
    while (path != "/" && ::stat(path.c_str(), &status) != 0) path = Paths::parentFolder(path);
    return path;
}

struct Destination {
    std::string trash;
    /// The original location as the info file records it: absolute for the
    /// home trash, relative to the top folder for a per-device trash.
    std::string recordedPath;
    /// The trash's halves, opened once and checked to lie on the item's
    /// file system: items and info files go exactly there.
    UniqueFd files;
    UniqueFd info;
};

/// A folder of a trash, as opened: only one the user owns and no one else
/// can write to takes the user's items (and so can be emptied later).
void checkOwnFolder(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) failWith(errno);
    if (status.st_uid != ::getuid() || (status.st_mode & (S_IWGRP | S_IWOTH))) failWith(EACCES);
}

/// A trash folder, held, with its halves opened from it and checked.
Destination openedFrom(const UniqueFd& folder, std::string trash, std::string recordedPath, dev_t device) {
    Destination destination{std::move(trash), std::move(recordedPath), openHalf(folder.get(), "files"),
                            openHalf(folder.get(), "info")};
    for (int fd : {folder.get(), destination.files.get(), destination.info.get()}) checkOwnFolder(fd);
    struct stat status {};
    if (::fstat(destination.files.get(), &status) != 0) failWith(errno);
    if (status.st_dev != device) failWith(EXDEV);
    return destination;
}

/// Opens a trash folder made by ensureTrashFolders, none of it through a link.
Destination opened(std::string trash, std::string recordedPath, dev_t device) {
    UniqueFd folder(::open(trash.c_str(), folderFlags));
    if (!folder.valid()) failWith(errno == ELOOP ? ENOTDIR : errno);
    return openedFrom(folder, std::move(trash), std::move(recordedPath), device);
}

/// The home trash is one of the tool's own folders: its way from "/" must be
/// the user's alone, else nothing goes there. Throws UnusableTrash.
void checkHomeTrashWay(const std::string& trash, dev_t device) {
    auto failure = failureAbove("/", trash);
    if (failure) throw UnusableTrash(topFolder(nearestExisting(trash), device), trash, std::move(*failure));
}

/// The home trash reached from the home folder down along the way the scan
/// saw, made where it is missing, so that a link swapped in above it since
/// the scan never takes in the items; none when the item lies on another
/// file system.
std::optional<Destination> homeTrashAlong(const std::string& trash, std::string original, dev_t device,
                                          const SeenFolders& seen) {
    const UniqueFd parent = SeenWay::open(Paths::parentFolder(trash), seen, true);
    const std::string name = Paths::lastComponent(trash);
    struct stat status {};
    if (::fstatat(parent.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 && ::fstat(parent.get(), &status) != 0)
        failWith(errno);
    if (status.st_dev != device) return std::nullopt;
    checkHomeTrashWay(trash, device);
    if (::mkdirat(parent.get(), name.c_str(), 0700) != 0 && errno != EEXIST) failWith(errno);
    const UniqueFd folder = openHalf(parent.get(), name.c_str());
    SeenWay::checkIdentity(folder.get(), trash, seen);
    for (const char* half : {"files", "info"}) {
        if (::mkdirat(folder.get(), half, 0700) != 0 && errno != EEXIST) failWith(errno);
        SeenWay::checkIdentity(openHalf(folder.get(), half).get(), Paths::joined(trash, half), seen);
    }
    return openedFrom(folder, trash, std::move(original), device);
}

/// Other users, or anyone who can write to a shared disk, can never choose
/// where the user's items go, so no trash whose way fails the rule takes any.
/// The trash of a device other than the home trash's: the shared ".Trash"
/// with a folder per user when an administrator set one up (a sticky folder
/// that is not a link, whose way passes the rule of FolderTrust), else the
/// user's own ".Trash-<uid>" when its way passes the rule. Whoever can write
/// to a folder on the way can rename any folder of the user's to the
/// trash's name, and with it choose where items go.
Destination deviceTrash(const std::string& top, dev_t device, const std::string& relative) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = Paths::joined(top, ".Trash");
    const std::string sharedOwn = Paths::joined(shared, uid);
    struct stat status {};
    if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX) &&
        !failureAbove(top, sharedOwn)) {
        try {
            ensureTrashFolders(sharedOwn);
            return opened(sharedOwn, relative, device);
        } catch (const OstrevaneError&) {
            // Unusable shared trash: fall back to the user's own, as the
            // freedesktop.org rules allow.
        }
    }
    std::string own = Paths::joined(top, ".Trash-" + uid);
    if (auto failure = failureAbove(top, own)) throw UnusableTrash(top, own, std::move(*failure));
    try {
        ensureTrashFolders(own);
        return opened(own, relative, device);
    } catch (const OstrevaneError& error) {
        throw UnusableTrash(top, own, error.code == 0 ? EACCES : error.code);
    }
}

/// `recordedParent` is the folder the info file names: the real one, or the
/// path the user knows it by; `realParent` finds the file system's top.
Destination destinationFor(const std::string& realParent, const std::string& recordedParent, const std::string& name,
                           dev_t device, const SeenFolders* seen) {
    const std::string original = Paths::joined(recordedParent, name);
    const std::string home = homeTrash();
    // Both ways below make folders in or for the home trash.
    WriteSeal::check(home);
    // Items on the home trash's file system go there and nowhere else: when
    // it is unusable the move fails rather than filling a trash at the top
    // of that file system.
    if (seen) {
        if (auto destination = homeTrashAlong(home, original, device, *seen)) return std::move(*destination);
    } else {
        // Made private whatever the umask: one that let the group write
        // would fail the rule the trash's way is checked by.
        Paths::makePrivateFolders(Paths::parentFolder(home));
        if (deviceOf(nearestExisting(home)) == device) {
            checkHomeTrashWay(home, device);
            try {
                ensureTrashFolders(home);
                return opened(home, original, device);
            } catch (const OstrevaneError& error) {
                // The failure is the Trash's, not the item's: with a home of
                // "/" (a system account's) it can't be made, and a bare "No
                // such file or directory" would say the item is missing.
                throw UnusableTrash(topFolder(nearestExisting(home), device), home,
                                    error.code == 0 ? EACCES : error.code);
            }
        }
    }
    std::string top = topFolder(realParent, device);
    // A known path that reaches the file system through a link elsewhere is
    // no path below its top: the real one is recorded then.
    const std::string below = Paths::isInside(original, top) ? original : Paths::joined(realParent, name);
    std::string relative = top == "/" ? below.substr(1) : below.substr(top.size() + 1);
    return deviceTrash(top, device, relative);
}

std::string localDeletionDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

/// Cuts a text to at most `limit` bytes without splitting a UTF-8 sequence;
/// a name that is no UTF-8 there is cut where the limit falls.
std::string cutUTF8(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    constexpr size_t longestTail = 3;
    size_t end = limit;
    while (end > 0 && limit - end < longestTail && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) end = limit;
    return text.substr(0, end);
}

/// The n-th name tried for an item: the name itself, then "name.2.ext",
/// "name.3.ext"..., always short enough to leave room for ".trashinfo".
std::string candidateName(const std::string& name, int attempt) {
    constexpr size_t infoSuffixLength = 10;  // ".trashinfo"
    const size_t limit = NAME_MAX - infoSuffixLength;
    std::string stem = name;
    std::string extension;
    auto dot = Paths::extensionDot(name);
    if (dot != std::string::npos && name.size() - dot <= 32) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    std::string number = attempt == 1 ? "" : "." + std::to_string(attempt);
    size_t room = limit > number.size() + extension.size() ? limit - number.size() - extension.size() : 0;
    return cutUTF8(stem, room) + number + extension;
}

void writeAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            failWith(errno);
        }
        written += static_cast<size_t>(count);
    }
}

/// Renames without ever replacing what already lies at the destination.
int renameWithoutReplacing(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without RENAME_NOREPLACE: check first; the reserved info
    // name keeps cooperating programs from choosing the same name meanwhile.
    struct stat status {};
    if (::fstatat(toFolder, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
}

std::optional<int64_t> fileSystemFreeBytes(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0 || info.f_blocks == 0) return std::nullopt;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

/// gio empties the Trash of every disk the real machine has mounted, not of
/// those the redirected tables show the engine, so there it is not run.
Shell::Output runUnlessRedirected(const std::string& executable, const std::vector<std::string>& arguments,
                                  double timeout) {
    if (Platform::systemIsRedirected())
        return Shell::Output{-1, "", executable + " would act on the real machine's disks, not the redirected ones"};
    return Shell::run(executable, arguments, timeout);
}

Hooks realHooks() {
    return Hooks{Detail::listFolderNames, Detail::removeItem, fileSystemFreeBytes, runUnlessRedirected,
                 Detail::statusAt};
}

}  // namespace

Hooks& Hooks::active() {
    static Hooks current = realHooks();
    return current;
}

std::string homeTrash() { return Paths::joined(UserFolders::dataHome(), "Trash"); }

std::string filesFolder() { return Paths::joined(homeTrash(), "files"); }
std::string infoFolder() { return Paths::joined(homeTrash(), "info"); }

HeldItem::HeldItem(const std::string& path, const SeenFolders* seen) {
    const std::string item = Paths::standardize(path);
    if (item == "/") failWith(EBUSY);
    itemName = Paths::lastComponent(item);
    // Looked up this once: whatever the path names later, the folder held is
    // the one checked, and the one the item is renamed from.
    if (seen) {
        descriptor = SeenWay::open(Paths::parentFolder(item), *seen);
    } else {
        descriptor = UniqueFd(::open(Paths::parentFolder(item).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!descriptor.valid()) failWith(errno);
    }
    folderPath = pathOfDescriptor(descriptor.get());
}

HeldItem::HeldItem(const HeldFolder& folder, const std::string& name)
    : descriptor(::fcntl(folder.descriptor(), F_DUPFD_CLOEXEC, 0)), itemName(name), knownFolder(folder.path()) {
    if (!descriptor.valid()) failWith(errno);
    folderPath = pathOfDescriptor(descriptor.get());
}

std::string HeldItem::realPath() const { return Paths::joined(folderPath, itemName); }

std::optional<struct stat> HeldItem::status() const {
    struct stat status {};
    if (::fstatat(folder(), itemName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return status;
}

namespace {

bool sameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

[[noreturn]] void refuseHolding(HeldFolder::Failure why, const std::string& description = "") {
    throw HeldFolder::Refused(why, description);
}

/// Whether the name in `folder` is a link now.
bool isLinkAt(int folder, const std::string& name) {
    struct stat status {};
    return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

/// The folder above `path`, held; Refused when it cannot be.
HeldItem heldPlace(const std::string& path, const SeenFolders* seen) {
    try {
        return HeldItem(path, seen);
    } catch (const HoldRefused&) {
        throw;
    } catch (const OstrevaneError& error) {
        const bool missing = error.code == ENOENT || error.code == ENOTDIR;
        refuseHolding(missing ? HeldFolder::Failure::missing : HeldFolder::Failure::other, error.message);
    }
}

}  // namespace

HeldFolder::HeldFolder(const std::string& path, const SeenFolders* seen) : knownPath(Paths::standardize(path)) {
    const HeldItem place = heldPlace(knownPath, seen);
    fd = UniqueFd(::openat(place.folder(), place.name().c_str(), folderFlags));
    if (!fd.valid()) {
        const int error = errno;
        if (isLinkAt(place.folder(), place.name())) refuseHolding(Failure::link);
        refuseHolding(error == ENOENT ? Failure::missing : Failure::other, std::strerror(error));
    }
    // Opened where the path led: it must be the folder the path names now,
    // and still where it was opened, else a rename or a swapped link came
    // between and what was opened is not the folder the path stands for.
    struct stat held {
    }, named{};
    if (::fstat(fd.get(), &held) != 0) refuseHolding(Failure::other, std::strerror(errno));
    if (::fstatat(AT_FDCWD, knownPath.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameIdentity(held, named))
        refuseHolding(S_ISLNK(named.st_mode) ? Failure::link : Failure::moved);
    try {
        if (pathOfDescriptor(fd.get()) != place.realPath()) refuseHolding(Failure::moved);
    } catch (const OstrevaneError&) {
        refuseHolding(Failure::moved);
    }
    // Still the folder the scan behind the clean measured, not another one
    // renamed into its place since.
    if (seen) SeenWay::checkIdentity(fd.get(), knownPath, *seen, true);
}

std::vector<std::string> HeldFolder::names() const { return Hooks::active().listFolder(fd.get(), knownPath); }

std::string moveToTrash(const std::string& path) { return moveToTrash(HeldItem(path)); }

MoveHooks& MoveHooks::active() {
    static MoveHooks hooks;
    return hooks;
}

namespace {

/// Checks what arrived at `trashName` in the Trash against the item checked
/// before the rename. Against programs running as the user, a move takes
/// only the very inode that was checked; Linux has no rename conditioned on
/// an inode, and another program may put something else under the item's
/// name between the check and the rename. That is put back under the name
/// in the held folder, replacing nothing, and its info file removed, so the
/// gap left is one a program could only hit inside the Trash (where what
/// arrived is gone again, nothing is put back).
void confirmArrived(const HeldItem& item, const struct stat& checked, const Destination& destination,
                    const std::string& trashName, const std::string& infoName) {
    if (MoveHooks::active().afterRename) MoveHooks::active().afterRename(destination.files.get(), trashName);
    struct stat arrived {};
    if (::fstatat(destination.files.get(), trashName.c_str(), &arrived, AT_SYMLINK_NOFOLLOW) != 0 ||
        sameIdentity(arrived, checked))
        return;
    if (renameWithoutReplacing(destination.files.get(), trashName, item.folder(), item.name()) != 0)
        throw ReplacedWhileMoved(Paths::joined(Paths::joined(destination.trash, "files"), trashName));
    ::unlinkat(destination.info.get(), infoName.c_str(), 0);
    throw ReplacedWhileMoved("");
}

}  // namespace

std::string moveToTrash(const HeldItem& item, const SeenFolders* seen, const SeenFolder* expected) {
    const std::string& name = item.name();
    struct stat itemStatus {};
    if (::fstatat(item.folder(), name.c_str(), &itemStatus, AT_SYMLINK_NOFOLLOW) != 0) failWith(errno);
    if (expected && (itemStatus.st_dev != expected->device || itemStatus.st_ino != expected->inode))
        throw HoldRefused(HoldFailure::changed, "", Paths::joined(item.recordedFolder(), name));
    struct stat folderStatus {};
    if (::fstat(item.folder(), &folderStatus) != 0) failWith(errno);

    Destination destination = destinationFor(item.realFolder(), item.recordedFolder(), name, folderStatus.st_dev, seen);
    const std::string contents = "[Trash Info]\nPath=" + Paths::percentEncoded(destination.recordedPath) +
                                 "\nDeletionDate=" + localDeletionDate() + "\n";

    constexpr int attempts = 10000;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        const std::string trashName = candidateName(name, attempt);
        const std::string infoName = trashName + ".trashinfo";
        const int info = destination.info.get();
        // The info file is the reservation of the name: only one program can
        // create it, and it exists before the item arrives.
        UniqueFd fd(::openat(info, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            failWith(errno);
        }
        try {
            writeAll(fd.get(), contents);
        } catch (...) {
            fd.reset();
            ::unlinkat(info, infoName.c_str(), 0);
            throw;
        }
        // Closed here, not by the owner: a failing close means the record
        // may not have reached the disk.
        if (::close(fd.release()) != 0) {
            int error = errno;
            ::unlinkat(info, infoName.c_str(), 0);
            failWith(error);
        }
        if (MoveHooks::active().beforeRename) MoveHooks::active().beforeRename(item.folder(), name);
        int error = renameWithoutReplacing(item.folder(), name, destination.files.get(), trashName);
        if (error == 0) {
            confirmArrived(item, itemStatus, destination, trashName, infoName);
            return Paths::joined(Paths::joined(destination.trash, "files"), trashName);
        }
        ::unlinkat(info, infoName.c_str(), 0);
        if (error != EEXIST) failWith(error);
    }
    failWith(EEXIST);
}

void putBack(const std::string& trashed, const std::string& original) {
    const HeldItem place(original);
    if (int error = renameWithoutReplacing(AT_FDCWD, trashed, place.folder(), place.name())) failWith(error);
    // files/<name> has its record at info/<name>.trashinfo of the same trash.
    const std::string trash = Paths::parentFolder(Paths::parentFolder(trashed));
    ::unlink(Paths::joined(Paths::joined(trash, "info"), Paths::lastComponent(trashed) + ".trashinfo").c_str());
}

namespace {

bool isUserTrashName(const std::string& name, const std::string& prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool isInsideTrash(const std::string& path) {
    if (Paths::isInside(path, homeTrash())) return true;
    std::string previous;
    std::string_view rest = path;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string part(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (isUserTrashName(part, ".Trash-") || (previous == ".Trash" && isUserTrashName(part, ""))) return true;
        previous = std::move(part);
    }
    return false;
}

int64_t freeBytes() {
    // Measured on the trash's own file system, which need not be the root's.
    return Hooks::active().freeBytes(nearestExisting(homeTrash())).value_or(0);
}

Shell::Output emptyThroughDesktop() {
    constexpr double timeout = 300;
    // A missing gio fails to start, which reports like any other failure.
    auto found = Shell::systemProgram("gio");
    if (!found) found = Shell::which("gio");
    const std::string gio = found.value_or("/usr/bin/gio");
    if (!Paths::homeIsOverridden()) return Hooks::active().run(gio, {"trash", "--empty"}, timeout);
    // gio hands the work to the desktop's file-system daemon, which finds the
    // trash from its own HOME and XDG_DATA_HOME, not from ours: through the
    // running session it would empty the user's real Trash. A private
    // session starts a daemon that sees the engine's home (and keeps its
    // sockets there rather than beside the real daemon's), so the trash the
    // engine lists is the one emptied. Without dbus-run-session this fails to
    // start and is reported like any other failure.
    auto session = Shell::systemProgram("dbus-run-session");
    return Hooks::active().run(
        "/usr/bin/env",
        {"-u", "XDG_DATA_HOME", "-u", "XDG_RUNTIME_DIR", "-u", "DBUS_SESSION_BUS_ADDRESS", "HOME=" + Paths::home(),
         session.value_or("/usr/bin/dbus-run-session"), "--", gio, "trash", "--empty"},
        timeout);
}

}  // namespace Trash
