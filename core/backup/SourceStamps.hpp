// What an offload's check saw of every entry of its source (device, inode,
// type, size, modification and change times), so that the source, once moved
// to the Trash, can be told apart from one that changed after the check.
//
// A stamp proves a file unchanged only when its change time is old enough
// that no later write can carry the same one: file systems stamp a write with
// a clock that moves in steps (the kernel's coarse clock before 6.13, whole
// seconds or two on some file systems), so a rewrite of the same size within
// one step of the check may leave every stamp as it was. Files stamped that
// recently are compared again by content after the move.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "base/UniqueFd.hpp"

class SourceStamps {
public:
    /// How far a change time may lag behind the write that set it, on any
    /// file system the source may be on. The coarse clock's tick
    /// (clock_getres(CLOCK_REALTIME_COARSE), a few milliseconds) is not
    /// enough: the file system truncates the time to its own step, whole
    /// seconds on ext4 with small inodes and other older formats, two seconds
    /// on FAT. Two seconds covers them all; what it costs is one more read of
    /// the files changed in the two seconds before their check.
    static constexpr std::chrono::nanoseconds stampStep = std::chrono::seconds(2);

    /// Whether a regular file moved with the source still holds the bytes its
    /// check compared: `folder` and `name` reach the moved file, `relative`
    /// is its path below the source ("" for the source itself).
    using SameAsChecked = std::function<bool(int folder, const std::string& name, const std::string& relative)>;

    /// Records the source itself (followed when it is a link to a folder,
    /// as the backup and the check follow it) and holds it open until the
    /// stamps go, so that its inode number names no other file meanwhile.
    /// To be called before reading the content; `info` receives its status.
    /// False when it cannot be opened.
    bool addRoot(const std::string& source, struct stat& info);
    /// Records one entry below the source; hard links of one file may be
    /// added once per name.
    void add(const struct stat& info);
    /// Records the source and everything below it by walking it, for a check
    /// that does not walk the source itself (rclone's). False when an entry
    /// cannot be read.
    bool record(const std::string& source);

    /// Whether the source at `path` is still the item recorded, change time
    /// included: asked just before the move, the last moment its change
    /// time still means something (a move gives the item a new one).
    bool rootUnchanged(const std::string& path) const;

    /// The first entry of the item now at `moved` (the source after its move)
    /// that was not recorded or differs from its record, named as it was
    /// below `original`; none when every entry matches. A regular file whose
    /// recorded change time lies within `stampStep` of its recording counts
    /// as changed unless `sameAsChecked` holds for it, and so does a source
    /// that is a file: the move's change time hides a write made just before
    /// it. An entry that cannot be read counts as changed.
    std::optional<std::string> firstChange(const std::string& moved, const std::string& original,
                                           const SameAsChecked& sameAsChecked) const;

private:
    struct Stamp {
        dev_t device = 0;
        mode_t type = 0;
        off_t size = 0;
        struct timespec modified {};
        struct timespec changed {};
        /// A later write may have kept these values: only the content can tell.
        bool unproven = false;
    };
    /// The stamp of an entry as read now.
    static Stamp stampOf(const struct stat& info);
    /// The stamp of an entry just read, with whether it proves anything.
    static Stamp recorded(const struct stat& info);
    static bool same(const Stamp& a, const Stamp& b, bool withChangeTime);
    /// Whether the moved entry (`folder`, `name`, at `relative`) is what its
    /// record says, rereading an unproven regular file.
    static bool holds(const Stamp& now, const Stamp& record, bool withChangeTime, int folder, const std::string& name,
                      const std::string& relative, const SameAsChecked& sameAsChecked);

    std::unordered_map<ino_t, Stamp> entries;
    std::optional<std::pair<ino_t, Stamp>> root;
    UniqueFd heldRoot;
};
