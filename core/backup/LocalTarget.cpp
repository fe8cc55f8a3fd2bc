// The destination side of a local copy: its folders, opened without following
// links, and the copy of one file into them, which either completes or leaves
// the older copy as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "backup/BackupFiles.hpp"
#include "backup/Private.hpp"
#include "text/Localization.hpp"

namespace BackupEngine {

namespace {

int openFolderNoFollow(int parent, const std::string& name) {
    int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A link where a folder belongs is not a folder to write into.
    if (fd < 0 && errno == ELOOP) errno = ENOTDIR;
    return fd;
}

/// The coarsest step of time, up to a tenth of a second, that a file system
/// could have stored a time with these nanoseconds in.
int64_t stepOf(long nanoseconds) {
    int64_t step = 1;
    while (step < 100'000'000 && nanoseconds % (step * 10) == 0) step *= 10;
    return step;
}

/// The change time too: a rewrite may set the modification time back.
bool sameTimes(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

constexpr int64_t chunkSize = 8 << 20;
std::atomic<bool> anonymousTemporariesWork{true};
std::atomic<bool> copyFileRangeWorks{true};

/// Copies [from, to) of `in` into the same range of `out`; 0, an errno value
/// or copyCancelled. `end` comes back lower when the file turned out shorter.
int copyRange(int in, int out, int64_t from, int64_t to, int64_t& end, int64_t& written, const std::string& path,
              const CancelTokenPtr& cancel) {
    int64_t position = from;
    std::vector<char> buffer;
    while (position < to) {
        if (isCancelled(cancel)) return copyCancelled;
        if (int fault = Backup::Hooks::active().copyContents(path, written)) return fault;
        const size_t length = static_cast<size_t>(std::min<int64_t>(chunkSize, to - position));
        ssize_t moved = -1;
        if (copyFileRangeWorks) {
            loff_t inOffset = position, outOffset = position;
            moved = ::copy_file_range(in, &inOffset, out, &outOffset, length, 0);
            if (moved < 0) {
                if (errno == EINTR) continue;
                if (errno == ENOSYS) copyFileRangeWorks = false;
                if (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP && errno != EBADF &&
                    errno != ETXTBSY)
                    return errno;
            }
            // Some file systems answer 0 where they simply did not copy:
            // only a plain read may say the file ends here, or the copy would
            // be cut short and still count as complete.
            if (moved == 0) moved = -1;
        }
        if (moved < 0) {
            // Across file systems, or where the kernel cannot: plain reads and writes.
            if (buffer.empty()) buffer.resize(1 << 20);
            ssize_t count = ::pread(in, buffer.data(), std::min(length, buffer.size()), position);
            if (count < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            for (ssize_t done = 0; done < count;) {
                ssize_t put = ::pwrite(out, buffer.data() + done, static_cast<size_t>(count - done), position + done);
                if (put < 0) {
                    if (errno == EINTR) continue;
                    return errno;
                }
                done += put;
            }
            moved = count;
        }
        if (moved == 0) {
            end = position;
            return 0;
        }
        position += moved;
        written += moved;
    }
    return 0;
}

/// Copies the data of `in` (of `size` bytes) into `out`. Only the ranges that
/// hold data are written, so a sparse file (a disk image) keeps its holes.
int copyData(int in, int out, const struct stat& info, const std::string& path, const CancelTokenPtr& cancel) {
    int64_t end = info.st_size;
    int64_t written = 0;
    bool mayHaveHoles = allocatedBytes(info) < info.st_size;
    int64_t offset = 0;
    while (offset < end) {
        int64_t dataStart = offset, dataEnd = end;
        if (mayHaveHoles) {
            off_t data = ::lseek(in, offset, SEEK_DATA);
            if (data < 0) {
                if (errno == ENXIO) break;  // only a hole remains
                mayHaveHoles = false;
            } else {
                off_t hole = ::lseek(in, data, SEEK_HOLE);
                dataStart = data;
                dataEnd = hole < 0 ? end : std::min<int64_t>(hole, end);
            }
        }
        if (dataStart >= end) break;
        int64_t before = end;
        if (int result = copyRange(in, out, dataStart, dataEnd, end, written, path, cancel)) return result;
        if (end < before) break;
        offset = dataEnd;
    }
    if (::ftruncate(out, end) != 0) return errno;
    return 0;
}
}  // namespace

TargetFolder openChild(const TargetFolder& parent, const std::string& name, bool create) {
    TargetFolder child;
    if (!parent.fd.valid()) {
        child.error = parent.error;
        return child;
    }
    int made = 0;
    if (create && ::mkdirat(parent.fd.get(), name.c_str(), 0755) != 0 && errno != EEXIST) made = errno;
    int fd = openFolderNoFollow(parent.fd.get(), name);
    if (fd < 0) {
        child.error = (errno == ENOENT && made) ? made : errno;
        if (!create && child.error == ENOENT) child.error = 0;
        return child;
    }
    child.fd = UniqueFd(fd);
    return child;
}

TargetFolder openDestination(const std::string& path) {
    TargetFolder folder;
    const int fd = Backup::Hooks::active().openDestination(path);
    if (fd < 0)
        folder.error = errno;
    else
        folder.fd = UniqueFd(fd);
    return folder;
}

bool stillLeadsTo(const std::string& path, const TargetFolder& held) {
    struct stat now, then;
    return held.fd.valid() && ::stat(path.c_str(), &now) == 0 && ::fstat(held.fd.get(), &then) == 0 &&
           now.st_dev == then.st_dev && now.st_ino == then.st_ino;
}

TargetFolder openTargetChain(int base, const std::vector<std::string>& parts, bool create, int baseError) {
    TargetFolder folder;
    const int fd = base < 0 ? -1 : ::fcntl(base, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        folder.error = base < 0 ? baseError : errno;
        if (!create && folder.error == ENOENT) folder.error = 0;
        return folder;
    }
    folder.fd = UniqueFd(fd);
    for (const auto& part : parts) folder = openChild(folder, part, create);
    return folder;
}

std::unordered_map<std::string, std::vector<std::string>> namesByPlace(int folder) {
    std::vector<std::string> names;
    // An open of its own: a copy of the descriptor would share its place in
    // the listing, and a second listing would start where the first ended.
    UniqueFd own(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (own.valid()) readNames(own.get(), names);
    std::unordered_map<std::string, std::vector<std::string>> places;
    for (auto& name : names) places[Archive::folded(name)].push_back(std::move(name));
    return places;
}

std::optional<std::string> spellingAt(int folder, const std::string& name, bool ignoringCase) {
    if (!ignoringCase) return name;
    if (folder < 0) return std::nullopt;
    return spellingIn(namesByPlace(folder), name);
}

std::string sharedPlaceReason(const std::vector<std::string>& sharing, const std::string& name) {
    std::string others;
    for (const auto& other : sharing)
        if (other != name) others += (others.empty() ? "" : L("、")) + DisplayText::name(other);
    return L("目的地不区分大小写,它在那里会与 %@ 占同一位置;它们都没有复制", others);
}

std::optional<std::string> spellingIn(const std::unordered_map<std::string, std::vector<std::string>>& places,
                                      const std::string& name) {
    const auto found = places.find(Archive::folded(name));
    if (found == places.end() || found->second.size() != 1) return std::nullopt;
    return found->second.front();
}

bool upToDate(int folder, const std::string& name, const struct stat& source) {
    struct stat target;
    if (::fstatat(folder, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(target.st_mode) || target.st_size != source.st_size) return false;
    int64_t ahead = (static_cast<int64_t>(source.st_mtim.tv_sec) - target.st_mtim.tv_sec) * 1'000'000'000 +
                    (source.st_mtim.tv_nsec - target.st_mtim.tv_nsec);
    if (target.st_mtim.tv_nsec == 0) return std::llabs(ahead) < 2'000'000'000;
    return ahead >= 0 && ahead < stepOf(target.st_mtim.tv_nsec);
}

int copyFile(int sourceFolder, const std::string& sourceName, const std::string& sourcePath, int targetFolder,
             const std::string& targetName, const CancelTokenPtr& cancel) {
    // Whatever was looked at before, a named pipe swapped in since would hold
    // a plain opening (and the whole run) until someone writes to it.
    int openError = 0;
    struct stat info {};
    UniqueFd in = Files::openRegularFile(sourceFolder, sourceName.c_str(), O_NOFOLLOW, openError, &info);
    if (!in.valid()) return openError;
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    while (true) {
        // An unnamed file leaves nothing behind if the process dies mid-copy;
        // it gets a name only when complete.
        bool anonymous = anonymousTemporariesWork;
        std::string temporary = BackupFiles::partialName();
        UniqueFd out(anonymous ? ::openat(targetFolder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)
                               : ::openat(targetFolder, temporary.c_str(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.valid()) {
            if (anonymous && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
                anonymousTemporariesWork = false;
                continue;
            }
            return errno;
        }
        bool named = !anonymous;
        auto abandon = [&](int error) {
            out.reset();
            if (named) ::unlinkat(targetFolder, temporary.c_str(), 0);
            return error;
        };

        if (int result = copyData(in.get(), out.get(), info, sourcePath, cancel)) return abandon(result);
        // Stamped with the times read before the copy, a file written to
        // meanwhile would pass for current at the next run.
        struct stat after;
        if (::fstat(in.get(), &after) != 0) return abandon(errno);
        if (after.st_size != info.st_size || !sameTimes(after, info)) return abandon(changedWhileCopied);
        // Permissions may not stick on every file system; the times must,
        // or the next run would copy the file again.
        ::fchmod(out.get(), info.st_mode & 07777);
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        if (::futimens(out.get(), times) != 0) return abandon(errno);

        if (anonymous) {
            std::string handle = "/proc/self/fd/" + std::to_string(out.get());
            if (::linkat(AT_FDCWD, handle.c_str(), targetFolder, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
                ::linkat(out.get(), "", targetFolder, temporary.c_str(), AT_EMPTY_PATH) != 0) {
                if (errno == ENOENT || errno == EPERM || errno == EOPNOTSUPP) {
                    // No way to name an unnamed file here: named temporaries from now on.
                    anonymousTemporariesWork = false;
                    continue;
                }
                return abandon(errno);
            }
            named = true;
        }
        if (::close(out.release()) != 0) return abandon(errno);
        if (::renameat(targetFolder, temporary.c_str(), targetFolder, targetName.c_str()) != 0) return abandon(errno);
        return 0;
    }
}

}  // namespace BackupEngine
