// What the last run of a local backup knew of each source file it left
// current at its target: the file's inode and change time. A rewrite that
// keeps the size and the modification time (cp -p, tar x, rsync -t,
// touch -r) still gives the file a new change time or a new inode, which no
// user can set back, so the next run copies it again.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

class BackupManifest {
public:
    /// The manifest the last run into `target` left; an empty one (that
    /// knows nothing) when there is none or it cannot be read.
    explicit BackupManifest(const std::string& target);

    /// Whether the file at `path` is, by its inode and change time, the one
    /// the last run left current. With no manifest at all nothing is known
    /// and every file passes; with one, a file it does not hold fails.
    bool unchanged(const std::string& path, const struct stat& info) const;

    /// Notes a file this run left current at the target. Safe from any thread.
    void note(const std::string& path, const struct stat& info);

    /// Replaces the stored manifest with the files this run noted. A run
    /// that did not reach every file (`complete` false) keeps the older
    /// records of the files it did not note. Failures are passed over: the
    /// next run then knows less and copies more.
    void save(bool complete);

    /// "backup-manifests/<hash of the target>" in the support folder.
    static std::filesystem::path filePath(const std::string& target);

private:
    struct Record {
        uint64_t pathHash = 0;
        uint64_t inode = 0;
        int64_t seconds = 0;
        int64_t nanoseconds = 0;
        bool operator<(const Record& other) const { return pathHash < other.pathHash; }
    };
    static Record recordOf(const std::string& path, const struct stat& info);

    std::filesystem::path file;
    bool present = false;
    std::vector<Record> previous;  // sorted by path hash
    std::mutex noting;
    std::vector<Record> noted;
};
