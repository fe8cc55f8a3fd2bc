#include "backup/SourceStamps.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "backup/Backup.hpp"
#include "platform/FolderChain.hpp"

namespace {

/// Every name in a folder but "." and "..", read before any subfolder is entered.
bool readNames(int folderFd, std::vector<std::string>& names) {
    int copy = ::dup(folderFd);
    if (copy < 0) return false;
    DIR* folder = ::fdopendir(copy);
    if (!folder) {
        ::close(copy);
        return false;
    }
    errno = 0;
    while (dirent* entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    const bool complete = errno == 0;
    ::closedir(folder);
    return complete;
}

/// Walks the entries below the folder at `root` depth first through folder
/// descriptors (no depth is too deep), handing each to `visit` with its
/// folder's descriptor, its name and its relative path; `visit` returns
/// false to stop. False when an entry cannot be
/// read or `visit` stopped, with the relative path reached in `stoppedAt`.
template <class Visit>
bool walkBelow(const std::string& root, Visit&& visit, std::string& stoppedAt) {
    struct Level {
        std::vector<std::string> names;
        size_t next = 0;
        size_t pathLength = 0;
    };
    FolderChain chain;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || chain.adopt(fd) < 0) return false;
    std::vector<Level> levels(1);
    std::string relative;
    if (!readNames(chain.innermost(), levels[0].names)) return false;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.names.size()) {
            chain.leave();
            levels.pop_back();
            continue;
        }
        const std::string& name = level.names[level.next++];
        relative.resize(level.pathLength);
        if (!relative.empty()) relative += '/';
        relative += name;
        struct stat info;
        if (::fstatat(chain.innermost(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !visit(chain.innermost(), name, relative, info)) {
            stoppedAt = relative;
            return false;
        }
        if (!S_ISDIR(info.st_mode)) continue;
        Level child;
        child.pathLength = relative.size();
        if (chain.enter(name.c_str(), info.st_dev, info.st_ino) < 0 || !readNames(chain.innermost(), child.names)) {
            stoppedAt = relative;
            return false;
        }
        levels.push_back(std::move(child));
    }
    return true;
}

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

std::string below(const std::string& folder, const std::string& relative) {
    if (relative.empty()) return folder;
    return folder.ends_with("/") ? folder + relative : folder + "/" + relative;
}

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
