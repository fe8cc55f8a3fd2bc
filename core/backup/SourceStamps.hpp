// What an offload's check saw of every entry of its source (device, inode,
// type, size, modification and change times), so that the source, once moved
// to the Trash, can be told apart from one that changed after the check.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <unordered_map>

class SourceStamps {
public:
    /// Records the source itself (followed when it is a link to a folder,
    /// as the backup and the check follow it).
    void addRoot(const struct stat& info);
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
    /// below `original`; none when every entry matches. An entry that cannot
    /// be read counts as changed.
    std::optional<std::string> firstChange(const std::string& moved, const std::string& original) const;

private:
    struct Stamp {
        dev_t device = 0;
        mode_t type = 0;
        off_t size = 0;
        struct timespec modified {};
        struct timespec changed {};
    };
    static Stamp stampOf(const struct stat& info);
    static bool same(const Stamp& a, const Stamp& b, bool withChangeTime);

    std::unordered_map<ino_t, Stamp> entries;
    std::optional<std::pair<ino_t, Stamp>> root;
};
