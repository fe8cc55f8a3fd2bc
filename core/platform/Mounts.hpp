// The mount table of Linux, read from /proc/self/mountinfo, and the facts
// about a mounted file system that live in /sys and /dev/disk. Parsing and
// choosing are pure functions; every lookup of the running system is a hook
// so fixtures can stand in for it.
#pragma once

#include <sys/statvfs.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ScopedHooks.hpp"

namespace Mounts {

/// One line of mountinfo, with its octal escapes ("\040") decoded.
struct Mount {
    int64_t id = 0;
    int64_t parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    /// The folder of the file system that is mounted here ("/" unless a bind mount).
    std::string root;
    std::string mountPoint;
    std::string options;
    std::string fsType;
    std::string source;
    std::string superOptions;

    bool operator==(const Mount&) const = default;
};

/// Lines that do not have the mountinfo form are passed over.
std::vector<Mount> parse(std::string_view mountinfo);
/// Decodes the kernel's three-digit octal escapes; anything else is kept.
std::string unescape(std::string_view field);

/// Kernel and runtime file systems with no storage of their own behind them.
bool isPseudo(const Mount& mount);
bool isReadOnly(const Mount& mount);
/// Mount points the system keeps for itself (boot partitions, runtime and
/// container plumbing), the counterpart of hidden volumes.
bool isSystemMountPoint(const std::string& mountPoint);
/// The mounts worth showing as volumes, in table order but "/" first: pseudo
/// and system mounts left out, and a file system mounted several times
/// (bind mounts) kept once, preferably where its whole tree is mounted.
std::vector<Mount> volumes(const std::vector<Mount>& table);
/// The mount that holds a path: the last one mounted on the longest mount
/// point containing it; null when none does.
const Mount* holding(const std::vector<Mount>& table, const std::string& path);

/// The mount points /etc/fstab declares, escapes decoded: absolute folders
/// but "/", swap left out.
std::vector<std::string> declaredMountPoints(std::string_view fstab);
/// Whether `path` lies in a folder that fstab declares a mount point but
/// that nothing is mounted on now: its drive is not connected, and what is
/// written there lands on the disk below. False when either table is missing.
bool awaitsItsVolume(const std::string& path);
/// Whether something is mounted at `mountPoint` (links resolved); true when
/// the mount table cannot be read.
bool isMounted(const std::string& mountPoint);
/// Where the file system holding `path` (links resolved) is mounted, when
/// that file system is another than the one its mount point's parent folder
/// lies on: `path` is a mount point or below one. None for a path on the
/// root file system, or when the mount table cannot be read.
std::optional<std::string> ownMountPoint(const std::string& path);

/// What a file system offers the user, as df shows it: `total` is the used
/// space plus `available`, so the blocks reserved for root count in neither.
struct Capacity {
    int64_t total = 0;
    int64_t available = 0;
};

/// The capacity a statvfs answer describes: used = (blocks − free blocks) ×
/// fragment size, available = available blocks × fragment size.
Capacity capacityOf(const struct statvfs& status);

/// The lookups of the running system (replaced in tests through ScopedHooks<Mounts::Hooks>).
struct Hooks {
    /// The running system's mount table; none when it cannot be read.
    std::function<std::optional<std::string>()> readTable;
    /// The capacity of the file system holding a path (statvfs).
    std::function<std::optional<Capacity>(const std::string& path)> capacity;
    /// Whether the block device behind a mount is built in (not removable, not on USB).
    std::function<bool(const Mount& mount)> isInternal;
    /// The file-system label of the block device behind a mount.
    std::function<std::optional<std::string>(const Mount& mount)> label;
    /// The file systems to mount (/etc/fstab); none when it cannot be read.
    std::function<std::optional<std::string>()> readFstab;

    /// The set in force; the real lookups unless a test replaced them.
    static Hooks& active();
};

inline std::optional<std::string> readTable() { return Hooks::active().readTable(); }
inline std::optional<Capacity> capacity(const std::string& path) { return Hooks::active().capacity(path); }
inline bool isInternal(const Mount& mount) { return Hooks::active().isInternal(mount); }
inline std::optional<std::string> label(const Mount& mount) { return Hooks::active().label(mount); }
inline std::optional<std::string> readFstab() { return Hooks::active().readFstab(); }

/// The default lookups, over a given /sys and /dev/disk/by-label.
bool internalFromSysfs(const std::string& sysRoot, unsigned major, unsigned minor);
std::optional<std::string> labelFromFolder(const std::string& labelFolder, const std::string& sysRoot, unsigned major,
                                           unsigned minor);
/// Decodes udev's "\x20" escapes of label link names.
std::string unescapeLabel(std::string_view name);

}  // namespace Mounts
