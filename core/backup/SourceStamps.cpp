#include "backup/SourceStamps.hpp"

#include <fcntl.h>

#include <ctime>

#include "backup/Backup.hpp"
#include "backup/SourceWalk.hpp"
#include "base/Paths.hpp"

namespace {

using BackupEngine::walkBelow;

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::chrono::nanoseconds sinceEpoch(const struct timespec& time) {
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

/// Whether a write after `now` may still be stamped with the change time
/// `changed`: the file system's clock may lag up to `step` behind, and a
/// time ahead of the clock proves nothing either.
bool mayRecur(const struct timespec& changed, const struct timespec& now, std::chrono::nanoseconds step) {
    return sinceEpoch(changed) >= sinceEpoch(now) - step;
}

std::string below(const std::string& folder, const std::string& relative) { return Paths::joined(folder, relative); }

}  // namespace

SourceStamps::Stamp SourceStamps::stampOf(const struct stat& info) {
    struct stat read = info;
    Backup::Hooks::active().readStamp(read);
    return Stamp{read.st_dev, static_cast<mode_t>(read.st_mode & S_IFMT), read.st_size, read.st_mtim, read.st_ctim};
}

SourceStamps::Stamp SourceStamps::recorded(const struct stat& info) {
    Stamp stamp = stampOf(info);
    // Read after the status: any write the check may have missed comes later.
    struct timespec now {};
    stamp.unproven = ::clock_gettime(CLOCK_REALTIME, &now) != 0 ||
                     mayRecur(stamp.changed, now, Backup::Hooks::active().stampStep());
    return stamp;
}

bool SourceStamps::holds(const Stamp& now, const Stamp& record, bool withChangeTime, int folder,
                         const std::string& name, const std::string& relative, const SameAsChecked& sameAsChecked) {
    if (!same(now, record, withChangeTime)) return false;
    return !record.unproven || !S_ISREG(record.type) || sameAsChecked(folder, name, relative);
}

bool SourceStamps::same(const Stamp& a, const Stamp& b, bool withChangeTime) {
    return a.device == b.device && a.type == b.type && a.size == b.size && sameTime(a.modified, b.modified) &&
           (!withChangeTime || sameTime(a.changed, b.changed));
}

bool SourceStamps::addRoot(const std::string& source, struct stat& info) {
    // O_PATH: holding needs no read access, and opens a FIFO without waiting.
    heldRoot = UniqueFd(::open(source.c_str(), O_PATH | O_CLOEXEC));
    if (!heldRoot.valid() || ::fstat(heldRoot.get(), &info) != 0) return false;
    root.emplace(info.st_ino, recorded(info));
    return true;
}

void SourceStamps::add(const struct stat& info) { entries.insert_or_assign(info.st_ino, recorded(info)); }

bool SourceStamps::record(const std::string& source) {
    struct stat info;
    if (!addRoot(source, info)) return false;
    if (!S_ISDIR(info.st_mode)) return true;
    std::string stoppedAt;
    return walkBelow(
        source,
        [&](int, const std::string&, const std::string&, const struct stat& entry) {
            add(entry);
            return true;
        },
        stoppedAt);
}

bool SourceStamps::rootUnchanged(const std::string& path) const {
    struct stat held, named;
    return root && ::fstat(heldRoot.get(), &held) == 0 && same(stampOf(held), root->second, true) &&
           ::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

std::optional<std::string> SourceStamps::firstChange(const std::string& moved, const std::string& original,
                                                     const SameAsChecked& sameAsChecked) const {
    struct stat info;
    if (!root) return original;
    // The move itself gave the item a new change time; its other values must
    // hold. That new time also hides a write made just before the move, which
    // for a folder shows in the change times of what lies inside, but for a
    // file alone only in its content.
    Stamp record = root->second;
    record.unproven = record.unproven || !S_ISDIR(record.type);
    if (::lstat(moved.c_str(), &info) != 0 || info.st_ino != root->first ||
        !holds(stampOf(info), record, false, AT_FDCWD, moved, "", sameAsChecked))
        return original;
    if (!S_ISDIR(info.st_mode)) return std::nullopt;
    std::string stoppedAt;
    const bool unchanged = walkBelow(
        moved,
        [&](int folder, const std::string& name, const std::string& relative, const struct stat& entry) {
            auto found = entries.find(entry.st_ino);
            return found != entries.end() &&
                   holds(stampOf(entry), found->second, true, folder, name, relative, sameAsChecked);
        },
        stoppedAt);
    if (unchanged) return std::nullopt;
    return below(original, stoppedAt);
}
