#include "backup/Backup.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>

#include "Cleaner.hpp"
#include "Localization.hpp"
#include "Rclone.hpp"
#include "ScanStore.hpp"
#include "Scanner.hpp"
#include "backup/BackupFiles.hpp"
#include "backup/BackupManifest.hpp"
#include "backup/SourceStamps.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"
#include "platform/Host.hpp"
#include "platform/ICloud.hpp"
#include "platform/Trash.hpp"


namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

/// A copy that is not a copy of one state of its source: the file was
/// written to while it was read.
constexpr int changedWhileCopied = -2;

std::string describe(int error) {
    return error == changedWhileCopied ? L("复制期间文件被修改") : std::strerror(error);
}


/// A file descriptor closed when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    int release() { return std::exchange(fd, -1); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

private:
    int fd = -1;
};

std::string joined(const std::string& folder, const std::string& name) {
    return folder.ends_with("/") ? folder + name : folder + "/" + name;
}

std::vector<std::string> components(const std::string& relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        if (slash > start) parts.push_back(relative.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

/// The path with symbolic links resolved as far as it exists; none when even
/// that fails.
std::optional<std::string> resolved(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    if (error) return std::nullopt;
    std::string text = canonical.string();
    if (text.size() > 1 && text.ends_with("/")) text.pop_back();
    return text;
}

/// Whether `inner` is `outer` or inside it, as written or once links are resolved.
bool liesWithin(const std::string& inner, const std::string& outer) {
    if (Paths::isInside(inner, outer)) return true;
    auto resolvedInner = resolved(inner), resolvedOuter = resolved(outer);
    return resolvedInner && resolvedOuter && Paths::isInside(*resolvedInner, *resolvedOuter);
}

int64_t freeBytesOfFileSystem(const std::string& path) {
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) return 0;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

/// Reads one directory's entry names; the stream is closed with the object.
class DirectoryStream {
public:
    /// Takes ownership of `fd`, an open directory.
    explicit DirectoryStream(int fd) : dir(::fdopendir(fd)) {
        if (!dir) ::close(fd);
    }
    ~DirectoryStream() {
        if (dir) ::closedir(dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    bool valid() const { return dir != nullptr; }
    int fd() const { return ::dirfd(dir); }
    /// The next name but "." and ".."; none at the end, with `error` set when reading failed.
    std::optional<std::string> next(int& error) {
        while (true) {
            errno = 0;
            dirent* entry = ::readdir(dir);
            if (!entry) {
                error = errno;
                return std::nullopt;
            }
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            return std::string(entry->d_name);
        }
    }

private:
    DIR* dir = nullptr;
};

int attributeFault(const std::string& path) {
    return BackupHooks::readAttributes ? BackupHooks::readAttributes(path) : 0;
}

int64_t allocatedBytes(const struct stat& info) { return static_cast<int64_t>(info.st_blocks) * 512; }

}  // namespace

// MARK: Records

BackupOptions::BackupOptions() : excludes(defaultExcludes) {}
BackupOptions::BackupOptions(bool dryRun, std::vector<std::string> excludes)
    : dryRun(dryRun), excludes(std::move(excludes)) {}

const std::vector<std::string> BackupOptions::defaultExcludes = {
    ".DS_Store", ".localized", ".Trash", "node_modules", "DerivedData", ".build", "__pycache__"};
const std::vector<std::string> BackupOptions::offloadExcludes = {".DS_Store", ".localized"};

double BackupProgress::fraction() const {
    if (bytesTotal <= 0) return 0;
    return std::min(1.0, static_cast<double>(bytesDone) / static_cast<double>(bytesTotal));
}

void to_json(json& object, const BackupReport& report) {
    object = json{{"id", report.id},
                  {"source", report.source},
                  {"destinationId", report.destinationId},
                  {"destinationName", report.destinationName},
                  {"target", report.target},
                  {"startedAt", report.startedAt},
                  {"finishedAt", report.finishedAt},
                  {"dryRun", report.dryRun},
                  {"status", report.status},
                  {"filesTotal", report.filesTotal},
                  {"filesCopied", report.filesCopied},
                  {"filesSkipped", report.filesSkipped},
                  {"filesFailed", report.filesFailed},
                  {"bytesCopied", report.bytesCopied},
                  {"copied", report.copied},
                  {"errors", report.errors},
                  {"summary", report.summary}};
    if (auto notice = historyNotice(report)) object["historyNotice"] = *notice;
}

void from_json(const json& object, BackupReport& report) {
    object.at("id").get_to(report.id);
    object.at("source").get_to(report.source);
    object.at("destinationId").get_to(report.destinationId);
    object.at("destinationName").get_to(report.destinationName);
    object.at("target").get_to(report.target);
    object.at("startedAt").get_to(report.startedAt);
    object.at("finishedAt").get_to(report.finishedAt);
    object.at("dryRun").get_to(report.dryRun);
    object.at("status").get_to(report.status);
    object.at("filesTotal").get_to(report.filesTotal);
    object.at("filesCopied").get_to(report.filesCopied);
    object.at("filesSkipped").get_to(report.filesSkipped);
    object.at("filesFailed").get_to(report.filesFailed);
    object.at("bytesCopied").get_to(report.bytesCopied);
    object.at("copied").get_to(report.copied);
    object.at("errors").get_to(report.errors);
    object.at("summary").get_to(report.summary);
}

void to_json(json& object, const OffloadReport& report) {
    object = json{{"backup", report.backup},         {"verified", report.verified}, {"sourceTrashed", report.sourceTrashed},
                  {"dryRun", report.dryRun},         {"bytes", report.bytes},       {"message", report.message}};
}

void from_json(const json& object, OffloadReport& report) {
    object.at("backup").get_to(report.backup);
    object.at("verified").get_to(report.verified);
    object.at("sourceTrashed").get_to(report.sourceTrashed);
    object.at("dryRun").get_to(report.dryRun);
    object.at("bytes").get_to(report.bytes);
    object.at("message").get_to(report.message);
}

void to_json(json& object, const EvictReport& report) {
    object = json{{"path", Text::replacingInvalidUTF8(report.path)},
                  {"evicted", report.evicted},
                  {"failed", report.failed},
                  {"freedBytes", report.freedBytes},
                  {"message", report.message}};
}

void from_json(const json& object, EvictReport& report) {
    object.at("path").get_to(report.path);
    object.at("evicted").get_to(report.evicted);
    object.at("failed").get_to(report.failed);
    object.at("freedBytes").get_to(report.freedBytes);
    object.at("message").get_to(report.message);
}

void to_json(json& object, const PlanRun& run) {
    object = json{{"plan", run.plan}};
    JSONOut::putOptional(object, "report", run.report);
    JSONOut::putOptional(object, "error", run.error);
}

void from_json(const json& object, PlanRun& run) {
    object.at("plan").get_to(run.plan);
    JSONOut::getOptional(object, "report", run.report);
    JSONOut::getOptional(object, "error", run.error);
}

// MARK: Hooks

namespace BackupHooks {
std::function<int(const std::string&)> readAttributes;
std::function<int(const std::string&, int64_t)> copyContents;
std::function<void()> afterCheck;
void reset() {
    readAttributes = nullptr;
    copyContents = nullptr;
    afterCheck = nullptr;
}
}  // namespace BackupHooks

// MARK: Engine

namespace BackupEngine {

namespace {

struct Tally {
    int64_t total = 0, copied = 0, skipped = 0, failed = 0, bytes = 0;
    std::vector<std::string> errors;

    void fail(const std::string& path, const std::string& description) {
        ++failed;
        if (errors.size() < 20) errors.push_back(Paths::abbreviate(path) + ": " + description);
    }
};

BackupReport makeReport(const std::string& source, const BackupDestination& destination, const std::string& target,
                        Date started, bool dryRun, const std::string& status, const Tally& tally) {
    BackupReport report;
    std::string bytesText = Fmt::bytes(tally.bytes);

    // Names on disk need not be UTF-8; the report must still encode, or the
    // history would lose every entry at its next write.
    auto text = [](const std::string& value) { return Text::replacingInvalidUTF8(value); };
    report.id = Text::randomIdentifier();
    report.source = text(source);
    report.destinationId = destination.id;
    report.destinationName = destination.name;
    report.target = text(target);
    report.startedAt = started;
    report.finishedAt = std::chrono::system_clock::now();
    report.dryRun = dryRun;
    report.status = status;
    report.filesTotal = tally.total;
    report.filesCopied = tally.copied;
    report.filesSkipped = tally.skipped;
    report.filesFailed = tally.failed;
    report.bytesCopied = tally.bytes;
    report.copied = bytesText;
    for (const auto& error : tally.errors) report.errors.push_back(text(error));
    report.summary.clear();
    report.summary = summaryText(report);
    return report;
}

// MARK: Local copy

/// A folder at the destination, opened without following links, or why it is
/// not there (0 while a dry run merely finds it missing).
struct TargetFolder {
    UniqueFd fd;
    int error = 0;
    /// Whether a killed run's partial copies were cleared from it in this
    /// run; only the thread walking the folder's entries touches it.
    mutable bool swept = false;

    /// Clears a killed run's partial copies before the first write into the folder.
    void prepareForWriting() const {
        if (swept || !fd.valid()) return;
        swept = true;
        BackupFiles::removeStalePartials(fd.get());
    }
};

int openFolderNoFollow(int parent, const std::string& name) {
    int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A link where a folder belongs is not a folder to write into.
    if (fd < 0 && errno == ELOOP) errno = ENOTDIR;
    return fd;
}

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

/// The destination's own folder may be reached through a link (a sync folder
/// often is); below it, inside the backup folder, no link is ever followed,
/// so a link left there cannot lead a write into the user's files elsewhere.
TargetFolder openTargetChain(const std::string& base, const std::vector<std::string>& parts, bool create) {
    TargetFolder folder;
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        folder.error = errno;
        if (!create && folder.error == ENOENT) folder.error = 0;
        return folder;
    }
    folder.fd = UniqueFd(fd);
    for (const auto& part : parts) folder = openChild(folder, part, create);
    return folder;
}

/// The coarsest step of time, up to a tenth of a second, that a file system
/// could have stored a time with these nanoseconds in.
int64_t stepOf(long nanoseconds) {
    int64_t step = 1;
    while (step < 100'000'000 && nanoseconds % (step * 10) == 0) step *= 10;
    return step;
}

/// A regular file at the target is up to date when it has the same size and
/// the modification time of the source as the target's file system keeps it:
/// equal, or cut to that file system's step (whole seconds, or two seconds
/// on some, are matched within 2 seconds either way). A looser rule would
/// take a same-size rewrite a moment later for the copy made before it.
bool upToDate(int folder, const std::string& name, const struct stat& source) {
    struct stat target;
    if (::fstatat(folder, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(target.st_mode) || target.st_size != source.st_size) return false;
    int64_t ahead = (static_cast<int64_t>(source.st_mtim.tv_sec) - target.st_mtim.tv_sec) * 1'000'000'000 +
                    (source.st_mtim.tv_nsec - target.st_mtim.tv_nsec);
    if (target.st_mtim.tv_nsec == 0) return std::llabs(ahead) < 2'000'000'000;
    return ahead >= 0 && ahead < stepOf(target.st_mtim.tv_nsec);
}

/// The change time too: a rewrite may set the modification time back.
bool sameTimes(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

constexpr int copyCancelled = -1;
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
        if (BackupHooks::copyContents)
            if (int fault = BackupHooks::copyContents(path, written)) return fault;
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

/// Copies one regular file to `name` in the target folder. The copy is
/// written to a temporary file in that folder and renamed over any older
/// copy only once it is complete, so a failed or interrupted copy never
/// costs the previous one. Something in the way that is not a file (a
/// folder) makes the rename fail, and stays.
int copyFile(int sourceFolder, const std::string& sourceName, const std::string& sourcePath, int targetFolder,
             const std::string& targetName, const CancelTokenPtr& cancel) {
    UniqueFd in(::openat(sourceFolder, sourceName.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!in.valid()) return errno;
    struct stat info;
    if (::fstat(in.get(), &info) != 0) return errno;
    if (!S_ISREG(info.st_mode)) return EOPNOTSUPP;
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

/// Every name in a folder but "." and "..", read at once so the folder's
/// stream is closed before its subfolders are entered.
int readNames(int folderFd, std::vector<std::string>& names) {
    int copy = ::dup(folderFd);
    if (copy < 0) return errno;
    DirectoryStream folder(copy);
    if (!folder.valid()) return errno;
    int error = 0;
    while (auto name = folder.next(error)) names.push_back(std::move(*name));
    return error;
}

/// Each level of a walk holds two descriptors (the source folder and its
/// target) while its subfolders are copied in parallel; the default soft
/// limit of 1024 would be within reach of a deep tree.
void raiseDescriptorLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct rlimit limit;
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
        rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 65536);
        if (limit.rlim_cur >= wanted) return;
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
}

class LocalCopy {
public:
    LocalCopy(const BackupDestination& destination, const BackupOptions& options, const CancelTokenPtr& cancel,
              const BackupProgressHandler& progress)
        : destination(destination),
          options(options),
          excludes(options.excludes.begin(), options.excludes.end()),
          cancel(cancel),
          progress(progress) {}

    BackupReport run(const std::string& source, bool isDirectory) {
        if (!destination.path) throw OstrevaneError(L("目的地没有本地路径"));
        const Date started = std::chrono::system_clock::now();
        const std::string relative = relativeTarget(source);
        const std::string target = *destination.path + "/" + relative;
        manifest.emplace(target);
        preScan(source, isDirectory);
        lastReport = SteadyClock::now();

        if (isDirectory)
            copyFolder(source, relative);
        else
            copySingleFile(source, relative);

        Tally tally;
        tally.total = total, tally.copied = copied, tally.skipped = skipped, tally.bytes = bytes;
        tally.failed = failed;
        tally.errors = errors;
        std::string status = isCancelled(cancel) ? "cancelled" : tally.failed > 0 ? "completed_with_errors" : "ok";
        if (!options.dryRun) manifest->save(status != "cancelled");
        return makeReport(source, destination, target, started, options.dryRun, status, tally);
    }

private:
    /// Subfolders this close to the source are copied in parallel; deeper
    /// ones each on the thread that reached them.
    static constexpr int parallelDepth = 4;

    const BackupDestination& destination;
    const BackupOptions& options;
    const std::set<std::string> excludes;
    const CancelTokenPtr& cancel;
    const BackupProgressHandler& progress;
    const std::thread::id caller = std::this_thread::get_id();
    /// What the last run into this target left current, and what this run does.
    std::optional<BackupManifest> manifest;

    // Counted from every thread of the walk.
    std::atomic<int64_t> total{0}, copied{0}, skipped{0}, failed{0}, bytes{0}, seenBytes{0};
    std::mutex errorsLock;
    std::vector<std::string> errors;
    std::atomic<bool> stopped{false};

    int64_t totalFiles = 0, totalBytes = 0;
    /// Read and written by the calling thread only: progress is reported there.
    SteadyClock::time_point lastReport;

    /// Whether a file whose copy has its size and time may count as up to
    /// date: not one the caller wants copied again, and by inode and change
    /// time the file the last run left current.
    bool current(const std::string& path, const struct stat& info) const {
        if (!options.copyAgain.empty() &&
            options.copyAgain.count({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)}))
            return false;
        return manifest->unchanged(path, info);
    }

    void fail(const std::string& path, int error) {
        ++failed;
        std::lock_guard guard(errorsLock);
        if (errors.size() < 20) errors.push_back(Paths::abbreviate(path) + ": " + describe(error));
    }

    /// The totals serve progress only; without a progress callback the
    /// extra walk over the source would be wasted. They count what the copy
    /// meets, as the report counts what it copied: every file and link not
    /// excluded, each file by its length and each hard link of it again, as
    /// each is copied again.
    void preScan(const std::string& source, bool isDirectory) {
        if (!progress) return;
        if (!isDirectory) {
            struct stat info;
            totalFiles = 1;
            totalBytes = ::stat(source.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
            return;
        }
        int fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        std::atomic<int64_t> files{0}, lengths{0};
        countBelow(UniqueFd(fd), 1, files, lengths);
        totalFiles = files;
        totalBytes = lengths;
    }

    void countBelow(UniqueFd folder, int depth, std::atomic<int64_t>& files, std::atomic<int64_t>& lengths) {
        std::vector<std::string> names, subfolders;
        readNames(folder.get(), names);
        for (const auto& name : names) {
            if (isCancelled(cancel)) return;
            if (excludes.count(name)) continue;
            struct stat info;
            if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(info.st_mode)) {
                subfolders.push_back(name);
            } else if (S_ISREG(info.st_mode)) {
                ++files;
                lengths += info.st_size;
            } else if (S_ISLNK(info.st_mode)) {
                ++files;
            }
        }
        auto visit = [&](const std::string& name) {
            int childFd = ::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) countBelow(UniqueFd(childFd), depth + 1, files, lengths);
        };
        if (depth <= parallelDepth && subfolders.size() > 1) {
            tbb::parallel_for(tbb::blocked_range<size_t>(0, subfolders.size(), 1), [&](const auto& range) {
                for (size_t index = range.begin(); index != range.end(); ++index) visit(subfolders[index]);
            });
        } else {
            for (const auto& name : subfolders) visit(name);
        }
    }

    void report(const std::string& path) {
        if (!progress || std::this_thread::get_id() != caller) return;
        auto now = SteadyClock::now();
        if (std::chrono::duration<double>(now - lastReport).count() <= 0.15) return;
        BackupProgress update;
        update.filesDone = total;
        update.filesTotal = std::max(totalFiles, update.filesDone);
        update.bytesDone = seenBytes;
        update.bytesTotal = std::max(totalBytes, update.bytesDone);
        update.currentPath = path;
        lastReport = now;
        progress(update);
    }

    bool shouldStop() {
        if (stopped) return true;
        if (isCancelled(cancel)) stopped = true;
        return stopped;
    }

    void copyFolder(const std::string& source, const std::string& relative) {
        TargetFolder root = openTargetChain(*destination.path, components(relative), !options.dryRun);
        if (!options.dryRun && !root.fd.valid())
            throw OstrevaneError(L("无法在目的地创建目录: %@", describe(root.error)));
        int fd = FileSystem::canOpenFolder(source) ? ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd < 0) throw OstrevaneError(L("无法读取 %@", source));
        raiseDescriptorLimit();
        walk(UniqueFd(fd), source, root, 1);
    }

    /// The files and links of one folder first, in the order the folder
    /// lists them, then its subfolders.
    void walk(UniqueFd folder, const std::string& folderPath, const TargetFolder& target, int depth) {
        std::vector<std::string> names;
        if (int readError = readNames(folder.get(), names)) fail(folderPath, readError);

        std::vector<std::string> subfolders;
        for (const auto& name : names) {
            if (shouldStop()) return;
            if (excludes.count(name)) continue;
            const std::string path = joined(folderPath, name);

            struct stat info;
            int fault = attributeFault(path);
            if (!fault && ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) fault = errno;
            if (fault) {
                // Not knowing what it is, it cannot have been copied: a
                // failure, so no offload moves it to the Trash uncopied.
                ++total;
                fail(path, fault);
                continue;
            }
            if (S_ISLNK(info.st_mode))
                copyLink(folder.get(), name, path, target);
            else if (S_ISDIR(info.st_mode))
                subfolders.push_back(name);
            else if (S_ISREG(info.st_mode))
                copyRegular(folder.get(), name, path, info, target);
            // Sockets, pipes and devices carry no data to keep.
        }

        auto visit = [&](const std::string& name) {
            if (shouldStop()) return;
            const std::string path = joined(folderPath, name);
            TargetFolder child = openChild(target, name, !options.dryRun);
            if (!FileSystem::canOpenFolder(path)) {
                fail(path, EACCES);
                return;
            }
            int childFd = ::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                fail(path, errno);
                return;
            }
            walk(UniqueFd(childFd), path, child, depth + 1);
        };
        if (depth <= parallelDepth && subfolders.size() > 1) {
            tbb::parallel_for(tbb::blocked_range<size_t>(0, subfolders.size(), 1), [&](const auto& range) {
                for (size_t index = range.begin(); index != range.end(); ++index) visit(subfolders[index]);
            });
        } else {
            for (const auto& name : subfolders) visit(name);
        }
    }

    /// A link is up to date only while it says the same; a repointed one
    /// replaces the older link in one rename. Anything else in its place stays.
    void copyLink(int folderFd, const std::string& name, const std::string& path, const TargetFolder& target) {
        ++total;
        auto text = BackupFiles::linkText(folderFd, name);
        if (!text) {
            fail(path, errno);
            return;
        }
        auto existing = target.fd.valid() ? BackupFiles::linkText(target.fd.get(), name) : std::nullopt;
        if (existing == text) {
            ++skipped;
            return;
        }
        if (options.dryRun) {
            ++copied;
            return;
        }
        if (!target.fd.valid()) {
            fail(path, target.error);
            return;
        }
        target.prepareForWriting();
        if (int error = placeLink(*text, target.fd.get(), name, existing.has_value())) {
            fail(path, error);
            return;
        }
        ++copied;
    }

    /// 0 or an errno value.
    static int placeLink(const std::string& text, int folder, const std::string& name, bool replacing) {
        if (!replacing) return ::symlinkat(text.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
        const std::string temporary = BackupFiles::partialName();
        if (::symlinkat(text.c_str(), folder, temporary.c_str()) != 0) return errno;
        if (::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0) return 0;
        int error = errno;
        ::unlinkat(folder, temporary.c_str(), 0);
        return error;
    }

    void copyRegular(int folderFd, const std::string& name, const std::string& path, const struct stat& info,
                     const TargetFolder& target) {
        ++total;
        seenBytes += info.st_size;
        if (target.fd.valid() && current(path, info) && upToDate(target.fd.get(), name, info)) {
            ++skipped;
            manifest->note(path, info);
        } else if (options.dryRun) {
            ++copied;
            bytes += info.st_size;
        } else if (!target.fd.valid()) {
            fail(path, target.error);
        } else {
            target.prepareForWriting();
            int result = copyFile(folderFd, name, path, target.fd.get(), name, cancel);
            if (result == copyCancelled) {
                stopped = true;
                return;
            }
            if (result) {
                fail(path, result);
            } else {
                ++copied;
                bytes += info.st_size;
                manifest->note(path, info);
            }
        }
        report(path);
    }

    void copySingleFile(const std::string& source, const std::string& relative) {
        auto parts = components(relative);
        const std::string name = parts.back();
        parts.pop_back();
        total = 1;

        struct stat info;
        int fault = attributeFault(source);
        if (!fault && ::stat(source.c_str(), &info) != 0) fault = errno;
        if (!fault && !S_ISREG(info.st_mode)) fault = EOPNOTSUPP;
        if (fault) {
            fail(source, fault);
            return;
        }

        TargetFolder parent = openTargetChain(*destination.path, parts, !options.dryRun);
        if (parent.fd.valid() && current(source, info) && upToDate(parent.fd.get(), name, info)) {
            skipped = 1;
            manifest->note(source, info);
        } else if (options.dryRun) {
            copied = 1;
            bytes = info.st_size;
        } else if (!parent.fd.valid()) {
            fail(source, parent.error);
        } else {
            // The source itself may be a link to the file: its contents are what is wanted.
            const fs::path real = resolved(source).value_or(source);
            parent.prepareForWriting();
            UniqueFd sourceFolder(::open(real.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            int result = sourceFolder.valid() ? copyFile(sourceFolder.get(), real.filename().string(), source,
                                                         parent.fd.get(), name, cancel)
                                              : errno;
            if (result == copyCancelled) {
                // Nothing was replaced; the run ends cancelled.
            } else if (result) {
                fail(source, result);
            } else {
                copied = 1;
                bytes = info.st_size;
                manifest->note(source, info);
            }
        }
        if (progress && std::chrono::duration<double>(SteadyClock::now() - lastReport).count() > 0.15) {
            BackupProgress update;
            update.filesDone = 1;
            update.filesTotal = std::max<int64_t>(totalFiles, 1);
            update.bytesDone = info.st_size;
            update.bytesTotal = std::max<int64_t>(totalBytes, info.st_size);
            update.currentPath = source;
            progress(update);
        }
    }
};

// MARK: rclone copy

/// Entries rclone passes over without an error: symbolic links and special
/// files. Found up front so the run counts them as failures, and an offload
/// never trashes a source whose links never reached the remote.
void findUncopyable(const std::string& path, int fd, const std::set<std::string>& excludes,
                    const CancelTokenPtr& cancel, std::vector<std::string>& found) {
    DirectoryStream folder(fd);
    if (!folder.valid()) return;
    int readError = 0;
    while (auto name = folder.next(readError)) {
        if (isCancelled(cancel)) return;
        if (excludes.count(*name)) continue;
        struct stat info;
        if (::fstatat(folder.fd(), name->c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        std::string child = joined(path, *name);
        if (S_ISDIR(info.st_mode)) {
            int childFd = ::openat(folder.fd(), name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) findUncopyable(child, childFd, excludes, cancel, found);
        } else if (!S_ISREG(info.st_mode)) {
            found.push_back(child);
        }
    }
}

struct ChildProcess {
    pid_t pid = -1;
    UniqueFd errorStream;
};

/// Starts rclone in its own process group (so cancelling ends whatever it
/// started too), with standard input and output on the null device and
/// standard error on a pipe.
ChildProcess startRclone(const std::string& program, const std::vector<std::string>& arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw OstrevaneError(describe(errno));
    Shell::Started started = Shell::start(program, arguments, -1, fds[1]);
    ::close(fds[1]);
    if (started.error != 0) {
        ::close(fds[0]);
        throw OstrevaneError(describe(started.error));
    }
    ChildProcess child;
    child.pid = started.pid;
    child.errorStream = UniqueFd(fds[0]);
    return child;
}

BackupReport runRclone(const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                       const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    auto program = Rclone::executable();
    if (!program || !destination.rcloneRemote)
        throw OstrevaneError(L("未找到 rclone。安装: sudo apt install rclone,然后运行 rclone config 添加网盘。"));
    const Date started = std::chrono::system_clock::now();
    struct stat info;
    bool isDirectory = ::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    std::string relative = relativeTarget(source);
    if (!isDirectory) relative = relative.substr(0, relative.rfind('/'));
    const std::string target = Rclone::remotePath(*destination.rcloneRemote, relative);

    std::vector<std::string> uncopyable;
    const std::set<std::string> excludes(options.excludes.begin(), options.excludes.end());
    if (isDirectory) {
        int fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) findUncopyable(source, fd, excludes, cancel, uncopyable);
    } else if (struct stat linkInfo; ::lstat(source.c_str(), &linkInfo) == 0 && !S_ISREG(linkInfo.st_mode)) {
        uncopyable.push_back(source);
    }

    ChildProcess child = startRclone(*program, Rclone::copyArguments(source, target, options.excludes, options.dryRun));

    Rclone::Stats stats;
    std::vector<std::string> errorTexts;
    std::string buffer;
    std::optional<SteadyClock::time_point> terminatedAt;
    bool killed = false;
    auto handleLine = [&](std::string_view line) {
        auto logLine = Rclone::parseLogLine(line);
        if (!logLine) return;
        if (const json* statsObject = Rclone::statsObject(*logLine)) {
            stats.absorb(*statsObject);
            if (progress) {
                BackupProgress update;
                update.filesDone = stats.transfers + stats.checks;
                update.filesTotal = std::max(update.filesDone, stats.totalTransfers + stats.checks);
                update.bytesDone = stats.bytes;
                update.bytesTotal = std::max(stats.totalBytes, stats.bytes);
                update.currentPath = source;
                progress(update);
            }
            return;
        }
        if (auto message = Rclone::errorMessage(*logLine))
            if (errorTexts.size() < 20) errorTexts.push_back(*message);
    };

    while (true) {
        if (isCancelled(cancel)) {
            auto now = SteadyClock::now();
            if (!terminatedAt) {
                ::kill(-child.pid, SIGTERM);
                terminatedAt = now;
            } else if (!killed && now - *terminatedAt > std::chrono::seconds(10)) {
                ::kill(-child.pid, SIGKILL);
                killed = true;
            }
        }
        pollfd polled{child.errorStream.get(), POLLIN, 0};
        int ready = ::poll(&polled, 1, 250);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char chunk[65536];
        ssize_t count = ::read(child.errorStream.get(), chunk, sizeof chunk);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        if (count == 0) break;
        buffer.append(chunk, static_cast<size_t>(count));
        size_t start = 0;
        for (size_t newline; (newline = buffer.find('\n', start)) != std::string::npos; start = newline + 1)
            handleLine(std::string_view(buffer).substr(start, newline - start));
        buffer.erase(0, start);
    }
    child.errorStream.reset();
    int raw = 0;
    while (::waitpid(child.pid, &raw, 0) < 0 && errno == EINTR) {
    }
    int exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);

    Tally tally;
    for (const auto& path : uncopyable) tally.fail(path, describe(EOPNOTSUPP));
    for (const auto& text : errorTexts)
        if (tally.errors.size() < 20) tally.errors.push_back(text);
    // The failures are rclone's own error count: its error lines also carry
    // one summary per retry attempt, and each failed file once per attempt.
    int64_t copyFailures = exitStatus != 0 ? std::max<int64_t>(stats.errors, 1) : stats.errors;
    tally.failed += copyFailures;
    tally.total = stats.transfers + stats.checks + static_cast<int64_t>(uncopyable.size());
    tally.copied = stats.transfers;
    tally.skipped = stats.checks;
    tally.bytes = stats.bytes;

    std::string status = isCancelled(cancel) ? "cancelled" : tally.failed > 0 ? "completed_with_errors" : "ok";
    return makeReport(source, destination, target, started, options.dryRun, status, tally);
}

// MARK: Verification and evict helpers

/// Whether `sourceName` (in `sourceFolder`) has an exact copy at `targetName`
/// (in `targetFolder`). The check decides whether the source may go to the
/// Trash, so sizes alone are not enough: a stale copy of a rewritten file has
/// the same size. `path` and `copyPath` name the two files for the hooks.
bool sameCopy(int sourceFolder, const char* sourceName, int targetFolder, const char* targetName,
              const std::string& path, const std::string& copyPath) {
    return !attributeFault(path) &&
           BackupFiles::sameContentAt(sourceFolder, sourceName, targetFolder, targetName, path, copyPath);
}

/// What a check of a copy found.
struct CopyCheck {
    /// Every entry of the source was read.
    bool complete = true;
    /// Regular files, by device and inode, whose copy differs or is missing.
    std::set<std::pair<uint64_t, uint64_t>> differing;

    bool passed() const { return complete && differing.empty(); }
};

/// Compares every regular file below the source folder (`sourceFd`, taken
/// over) with the file of the same relative path below `targetRoot`. A file
/// whose copy differs or is missing is listed and the walk goes on, so the
/// offload can copy those again; an entry that cannot be read ends the check
/// incomplete, since an unread entry may not have been copied. Every entry
/// met is stamped. Both trees are walked one component at a time through
/// folder descriptors, so no depth is too deep to check.
CopyCheck checkFolder(int sourceFd, const std::string& sourceRoot, const std::string& targetRoot,
                      const std::set<std::string>& passOver, SourceStamps& stamps) {
    struct Level {
        std::vector<std::string> names;
        size_t next = 0;
        size_t pathLength = 0;
        bool targetOpen = false;  // a missing target folder fails only at a file below it
    };
    CopyCheck check;
    auto incomplete = [&] {
        check.complete = false;
        return check;
    };
    FolderChain sources, targets;
    if (sources.adopt(sourceFd) < 0) return incomplete();
    int targetFd = ::open(targetRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<Level> levels(1);
    levels[0].pathLength = sourceRoot.size();
    levels[0].targetOpen = targetFd >= 0 && targets.adopt(targetFd) >= 0;
    if (readNames(sources.innermost(), levels[0].names) != 0) return incomplete();
    std::string path = sourceRoot;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.names.size()) {
            sources.leave();
            if (level.targetOpen) targets.leave();
            levels.pop_back();
            continue;
        }
        const std::string& name = level.names[level.next++];
        path.resize(level.pathLength);
        if (!path.ends_with("/")) path += '/';
        path += name;
        struct stat info;
        if (attributeFault(path) || ::fstatat(sources.innermost(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return incomplete();
        stamps.add(info);
        if (S_ISDIR(info.st_mode)) {
            if (!FileSystem::canOpenFolder(path)) return incomplete();
            if (sources.enter(name.c_str(), info.st_dev, info.st_ino) < 0) return incomplete();
            Level child;
            child.pathLength = path.size();
            child.targetOpen = level.targetOpen && targets.enter(name.c_str()) >= 0;
            if (readNames(sources.innermost(), child.names) != 0) return incomplete();
            levels.push_back(std::move(child));
        } else if (S_ISREG(info.st_mode) && !passOver.count(name)) {
            if (!level.targetOpen ||
                !sameCopy(sources.innermost(), name.c_str(), targets.innermost(), name.c_str(), path,
                          targetRoot + path.substr(sourceRoot.size())))
                check.differing.insert({info.st_dev, info.st_ino});
        } else if (S_ISLNK(info.st_mode)) {
            auto text = BackupFiles::linkText(sources.innermost(), name);
            if (!level.targetOpen || !text || BackupFiles::linkText(targets.innermost(), name) != text)
                return incomplete();
        }
    }
    return check;
}

/// The local check of the whole source, stamping what it meets.
CopyCheck checkLocal(const std::string& source, const std::string& target, SourceStamps& stamps) {
    CopyCheck check;
    check.complete = false;
    struct stat info;
    if (::stat(source.c_str(), &info) != 0) return check;
    stamps.addRoot(info);
    if (!S_ISDIR(info.st_mode)) {
        check.complete = true;
        if (!sameCopy(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), source, target))
            check.differing.insert({info.st_dev, info.st_ino});
        return check;
    }
    if (!FileSystem::canOpenFolder(source)) return check;
    int fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return check;
    const std::set<std::string> passOver(BackupOptions::offloadExcludes.begin(), BackupOptions::offloadExcludes.end());
    return checkFolder(fd, source, target, passOver, stamps);
}

void evictFiles(const std::string& path, int fd, int64_t& evicted, int64_t& failed);

void evictOne(const std::string& path, int64_t& evicted, int64_t& failed) {
    ICloud::ItemStatus status = ICloud::itemStatus(path);
    if (status.downloadingStatus == ICloud::DownloadingStatus::notDownloaded) return;
    if (status.isUploaded == true) {
        if (ICloud::evict(path))
            ++failed;
        else
            ++evicted;
        return;
    }
    ++failed;
}

void evictFiles(const std::string& path, int fd, int64_t& evicted, int64_t& failed) {
    DirectoryStream folder(fd);
    if (!folder.valid()) return;
    int readError = 0;
    while (auto name = folder.next(readError)) {
        const std::string child = joined(path, *name);
        struct stat info;
        if (::fstatat(folder.fd(), name->c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode)) {
            evictOne(child, evicted, failed);
        } else if (S_ISDIR(info.st_mode)) {
            int childFd = ::openat(folder.fd(), name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) evictFiles(child, childFd, evicted, failed);
        }
    }
}

}  // namespace

std::string relativeTarget(const std::string& path) {
    const std::string home = Paths::home();
    const std::string prefix = home.ends_with("/") ? home : home + "/";
    std::string place;
    if (path == home)
        place = "Home";
    else if (path.starts_with(prefix))
        place = path.substr(prefix.size());
    else
        place = "_root" + path;
    return Destinations::backupFolderName + "/" + Host::computerName() + "/" + place;
}

std::string targetDescription(const std::string& source, const BackupDestination& destination) {
    const std::string relative = relativeTarget(Paths::expandGiven(source));
    if (destination.rcloneRemote) return Rclone::remotePath(*destination.rcloneRemote, relative);
    return destination.path.value_or("") + "/" + relative;
}

BackupReport run(const std::string& sourcePath, const BackupDestination& destination, const BackupOptions& options,
                 const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    const std::string source = Paths::expandGiven(sourcePath);
    struct stat info;
    if (::stat(source.c_str(), &info) != 0) throw OstrevaneError(L("要备份的路径不存在: %@", source));
    const bool isDirectory = S_ISDIR(info.st_mode);
    if (!destination.available) throw OstrevaneError(L("备份目的地“%@”不可用", destination.name));
    if (destination.path) {
        const std::string& path = *destination.path;
        if (liesWithin(path, source)) throw OstrevaneError(L("备份目的地位于要备份的文件夹内部,会造成循环复制。"));
        if (liesWithin(source, path + "/" + Destinations::backupFolderName))
            throw OstrevaneError(L("不能备份备份目录本身。"));
    }

    BackupReport report = destination.rcloneRemote
                              ? runRclone(source, destination, options, cancel, progress)
                              : LocalCopy(destination, options, cancel, progress).run(source, isDirectory);
    if (!options.dryRun)
        if (auto keptAs = BackupHistory::append(report)) report.historyKeptAs = keptAs->string();
    return report;
}

bool verifyLocal(const std::string& source, const std::string& target) {
    SourceStamps stamps;
    return checkLocal(source, target, stamps).passed();
}

bool verifyRclone(const std::string& source, const std::string& target) { return Rclone::check(source, target); }

namespace {

/// The check of an offload's copy, stamping the source as it goes; none
/// when the copy cannot be checked at all.
CopyCheck checkCopy(const std::string& source, const BackupDestination& destination, const std::string& target,
                    SourceStamps& stamps) {
    stamps = SourceStamps();
    if (!destination.rcloneRemote) return checkLocal(source, target, stamps);
    CopyCheck check;
    // rclone reads the source itself: stamped before, so whatever changes
    // from here on shows after the move.
    check.complete = stamps.record(source) && verifyRclone(source, target);
    return check;
}

/// Why the source may not be offloaded before anything is copied; none when it may.
std::optional<std::string> offloadRefusal(const std::string& source) {
    if (auto reason = Cleaner::refusal(source)) return reason;
    // The Trash would take the link and leave what it leads to in place.
    struct stat info;
    if (::lstat(source.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        auto text = BackupFiles::linkText(AT_FDCWD, source);
        return L("它是指向 %@ 的符号链接;请直接归档它指向的位置", text.value_or("?"));
    }
    return std::nullopt;
}

/// Moves the checked source to the Trash and makes sure what went there is
/// what was checked: a source changed since its check is put back. Fills the
/// outcome of `result` but its message's success text.
bool trashCheckedSource(const std::string& source, const SourceStamps& stamps, OffloadReport& result) {
    if (!stamps.rootUnchanged(source)) {
        result.message = L("%@ 在校验后有改动,本地文件保持不动。", source);
        return false;
    }
    std::string trashed;
    try {
        // The refusal checks again, on the folder the move then starts from.
        trashed = Cleaner::moveToTrash(source);
    } catch (const std::exception& error) {
        result.message = L("备份和校验都成功,但本地副本未能移到废纸篓:%@", error.what());
        return false;
    }
    auto changed = stamps.firstChange(trashed, source);
    if (!changed) {
        result.sourceTrashed = true;
        return true;
    }
    // Written after its check: the backup may not hold what went to the Trash.
    result.verified = false;
    try {
        Trash::putBack(trashed, source);
        result.message = L("%@ 在校验后有改动,本地文件已放回原处,没有归档。", *changed);
    } catch (const std::exception& error) {
        result.sourceTrashed = true;
        result.message = L("%@ 在校验后有改动,没有归档;本地文件未能放回原处(%@),仍在废纸篓中:%@", *changed,
                           error.what(), trashed);
    }
    return false;
}

}  // namespace

OffloadReport offload(const std::string& sourcePath, const BackupDestination& destination, bool dryRun,
                      const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    const std::string source = Paths::expandGiven(sourcePath);
    if (auto reason = offloadRefusal(source)) throw OstrevaneError(L("不能归档 %@:%@", source, *reason));
    const int64_t size = Scanner::quickSize(source);

    OffloadReport result;
    BackupOptions options(dryRun, BackupOptions::offloadExcludes);
    result.backup = run(source, destination, options, cancel, progress);
    result.dryRun = dryRun;
    if (dryRun) {
        result.bytes = size;
        result.message = L("试运行:将备份到 %@,校验后把本地的 %@ 移到废纸篓。", result.backup.target, Fmt::bytes(size));
        return result;
    }
    if (result.backup.status != "ok") {
        result.message = L("备份没有完整成功(%@),本地文件保持不动。", result.backup.summary);
        return result;
    }
    SourceStamps stamps;
    CopyCheck check = checkCopy(source, destination, result.backup.target, stamps);
    if (check.complete && !check.differing.empty()) {
        // Copies that look current but differ (a rewrite that kept the size
        // and the time): copied once more, then checked again.
        options.copyAgain = std::move(check.differing);
        BackupReport again = run(source, destination, options, cancel, progress);
        if (again.status != "ok") {
            result.backup = std::move(again);
            result.message = L("备份没有完整成功(%@),本地文件保持不动。", result.backup.summary);
            return result;
        }
        result.backup = std::move(again);
        check = checkCopy(source, destination, result.backup.target, stamps);
    }
    if (!check.passed()) {
        result.message = L("备份完成但校验未通过,本地文件保持不动。");
        return result;
    }
    result.verified = true;
    if (BackupHooks::afterCheck) BackupHooks::afterCheck();
    const BackupReport& backup = result.backup;
    if (!trashCheckedSource(source, stamps, result)) return result;
    result.bytes = size;
    result.message = L("已备份到 %@ 并校验通过,本地副本(%@)已移到废纸篓。清倒废纸篓后释放空间。", backup.target, Fmt::bytes(size));
    if (destination.kind == DestinationKind::icloud)
        result.message += L("备份在 iCloud 云盘中仍占本地空间,上传完成后可用 evict 释放本地副本。");
    return result;
}

EvictReport evict(const std::string& pathText) {
    const std::string path = Paths::expandGiven(pathText);
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) throw OstrevaneError(L("路径不存在: %@", path));
    int64_t evicted = 0, failed = 0;
    const int64_t before = freeBytesOfFileSystem(path);

    bool isDirectory = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (isDirectory) {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            evictFiles(path, fd, evicted, failed);
        else
            evictOne(path, evicted, failed);
    } else {
        evictOne(path, evicted, failed);
    }
    if (evicted > 0) ScanStore::invalidate();

    const int64_t after = freeBytesOfFileSystem(path);
    EvictReport report;
    report.path = path;
    report.evicted = evicted;
    report.failed = failed;
    report.freedBytes = std::max<int64_t>(0, after - before);
    report.message = L("已释放 %@ 个文件的本地副本(云端仍保留)", evicted) +
                     (failed > 0 ? L(",%@ 个未处理(尚未上传完成,或不在 iCloud 云盘内)。", failed) : L("。"));
    return report;
}

}  // namespace BackupEngine

// MARK: Plan runs

namespace PlanRuns {

PlanRun run(const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    PlanRun result;
    result.plan = plan;
    try {
        BackupDestination destination = Destinations::resolve(plan.destinationId);
        BackupReport report = BackupEngine::run(plan.source, destination,
                                                BackupOptions(dryRun, BackupOptions::defaultExcludes), cancel, progress);
        if (!dryRun) {
            ConfigStore::update([&](AppConfig& config) {
                for (auto& stored : config.plans) {
                    if (stored.id != plan.id) continue;
                    stored.lastRun = report.finishedAt;
                    stored.lastStatus = report.status;
                    stored.lastSummary = report.summary;
                    break;
                }
            });
        }
        result.report = std::move(report);
    } catch (const std::exception& error) {
        std::string text = error.what();
        if (!dryRun) {
            ConfigStore::update([&](AppConfig& config) {
                for (auto& stored : config.plans) {
                    if (stored.id != plan.id) continue;
                    stored.lastRun = std::chrono::system_clock::now();
                    stored.lastStatus = "failed";
                    stored.lastSummary = text;
                    break;
                }
            });
        }
        result.error = text;
    }
    return result;
}

}  // namespace PlanRuns
