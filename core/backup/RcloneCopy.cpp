// The copy to an rclone remote: rclone copies, this runs it, follows its log
// for progress and errors, and counts what rclone would pass over silently.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <unordered_map>

#include "backup/Archive.hpp"
#include "backup/Private.hpp"
#include "base/ChildProcess.hpp"
#include "base/InputLimits.hpp"
#include "base/Shell.hpp"
#include "base/StoredFile.hpp"
#include "config/Rclone.hpp"
#include "text/Localization.hpp"

namespace BackupEngine {

namespace {

/// A name that would share one place with others on a remote that ignores case.
struct SharedPlace {
    std::string path;
    /// What the report says of it.
    std::string reason;
    bool isDirectory = false;
};

/// Entries rclone passes over without an error: symbolic links and special
/// files. Found up front so the run counts them as failures, and an offload
/// never trashes a source whose links never reached the remote. On a remote
/// that ignores case (`ignoringCase`), also the names of a folder that would
/// share one place there: rclone would copy one over the other.
void findUncopyable(const std::string& path, int fd, const std::set<std::string>& excludes, bool ignoringCase,
                    const CancelTokenPtr& cancel, std::vector<std::string>& found, std::vector<SharedPlace>& shared) {
    UniqueFd folder(fd);
    std::vector<std::string> names;
    readNames(folder.get(), names);
    std::unordered_map<std::string, std::vector<std::string>> places;
    if (ignoringCase)
        for (const auto& name : names)
            if (!excludes.count(name)) places[Archive::folded(name)].push_back(name);
    for (const auto& name : names) {
        if (isCancelled(cancel)) return;
        if (excludes.count(name)) continue;
        struct stat info;
        if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        std::string child = joined(path, name);
        const std::vector<std::string>* sharing = ignoringCase ? &places[Archive::folded(name)] : nullptr;
        if (sharing && sharing->size() > 1) {
            shared.push_back({std::move(child), sharedPlaceReason(*sharing, name), S_ISDIR(info.st_mode)});
        } else if (S_ISDIR(info.st_mode)) {
            int childFd = ::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) findUncopyable(child, childFd, excludes, ignoringCase, cancel, found, shared);
        } else if (!S_ISREG(info.st_mode)) {
            found.push_back(child);
        }
    }
}

/// Whether the remote takes names differing only in case for one, as rclone
/// reports it; a remote it cannot tell of is taken to.
bool remoteIgnoresCase(const std::string& program, const std::string& remote) {
    Shell::Output output = Shell::run(program, {"backend", "features", remote}, Rclone::checkTimeout);
    auto document = output.status == 0 ? InputLimits::parse(output.stdoutText, StoredFile::depthLimit) : std::nullopt;
    if (!document || !document->is_object()) return true;
    const auto features = document->find("Features");
    if (features == document->end() || !features->is_object()) return true;
    const auto insensitive = features->find("CaseInsensitive");
    return insensitive == features->end() || !insensitive->is_boolean() || insensitive->get<bool>();
}

/// Splits a stream into lines, handing each over without its newline once it is complete.
class LineSplitter {
public:
    explicit LineSplitter(std::function<void(std::string_view)> handleLine) : handleLine(std::move(handleLine)) {}
    void feed(std::string_view bytes) {
        buffer.append(bytes);
        size_t start = 0;
        for (size_t newline; (newline = buffer.find('\n', start)) != std::string::npos; start = newline + 1)
            handleLine(std::string_view(buffer).substr(start, newline - start));
        buffer.erase(0, start);
    }

private:
    std::function<void(std::string_view)> handleLine;
    std::string buffer;
};

}  // namespace

BackupReport runRclone(const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                       const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    auto program = Rclone::executable();
    if (!program || !destination.rcloneRemote)
        throw OstrevaneError(L("未找到 rclone。安装: sudo apt install rclone,然后运行 rclone config 添加网盘。"));
    const Date started = std::chrono::system_clock::now();
    struct stat info;
    bool isDirectory = ::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    const std::string target = copyTarget(source, isDirectory, destination);

    std::vector<std::string> uncopyable;
    const std::set<std::string> excludes(options.excludes.begin(), options.excludes.end());
    std::vector<SharedPlace> shared;
    if (isDirectory) {
        int fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) findUncopyable(source, fd, excludes, true, cancel, uncopyable, shared);
        // The remote is asked only when it matters, and then looked at again
        // as it is, inside the folders passed over.
        if (!shared.empty() && !remoteIgnoresCase(*program, *destination.rcloneRemote)) {
            uncopyable.clear();
            shared.clear();
            fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd >= 0) findUncopyable(source, fd, excludes, false, cancel, uncopyable, shared);
        }
    } else if (struct stat linkInfo; ::lstat(source.c_str(), &linkInfo) == 0 && !S_ISREG(linkInfo.st_mode)) {
        uncopyable.push_back(source);
    }

    // What an offload archived stays as it is: those files are left out of the copy.
    const std::vector<std::string> inTheWay = archivedInTheWay(*program, source, isDirectory, destination, target,
                                                               excludes);
    Tally tally;
    for (const auto& below : inTheWay)
        tally.conflicts.push_back(Paths::abbreviate(isDirectory ? joined(source, below) : source));
    std::sort(tally.conflicts.begin(), tally.conflicts.end());
    if (!isDirectory && !inTheWay.empty()) {
        tally.total = 1;
        return makeReport(source, destination, target, started, options.dryRun, BackupStatus::completedWithErrors,
                          tally);
    }

    Rclone::Stats stats;
    std::vector<std::string> errorTexts;
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
            if (errorTexts.size() < BackupReport::errorLimit) errorTexts.push_back(*message);
    };

    // Standard output stays on the null device: rclone logs its progress and errors to standard error.
    Shell::ChildSetup setup;
    setup.discardOutput = true;
    std::vector<std::string> arguments = Rclone::copyArguments(source, target, options.excludes, options.dryRun);
    for (const auto& below : inTheWay) arguments.insert(arguments.end(), {"--exclude", exactPathFilter(below)});
    for (const auto& place : shared) {
        const std::string below = place.path.substr(source.size() + (source.ends_with("/") ? 0 : 1));
        arguments.insert(arguments.end(), {"--exclude", exactPathFilter(below) + (place.isDirectory ? "/**" : "")});
    }
    Shell::ChildProcess child(*program, arguments, setup);
    if (child.startError() != 0) throw OstrevaneError(describe(child.startError()));
    LineSplitter lines(handleLine);
    Shell::ChildWatch watch;
    watch.onError = [&](std::string_view bytes) { lines.feed(bytes); };
    watch.stopRequested = [&] { return isCancelled(cancel); };
    watch.grace = std::chrono::seconds(10);
    watch.pollInterval = std::chrono::milliseconds(250);
    watch.afterExitBudget = std::chrono::milliseconds(200);
    const int exitStatus = Shell::exitCode(child.follow(watch).waitStatus);

    for (const auto& path : uncopyable) tally.fail(path, describe(EOPNOTSUPP));
    for (const auto& place : shared) tally.fail(place.path, place.reason);
    for (const auto& text : errorTexts)
        if (tally.errors.size() < BackupReport::errorLimit) tally.errors.push_back(text);
    // The failures are rclone's own error count: its error lines also carry
    // one summary per retry attempt, and each failed file once per attempt.
    int64_t copyFailures = exitStatus != 0 ? std::max<int64_t>(stats.errors, 1) : stats.errors;
    tally.failed += copyFailures;
    tally.total = stats.transfers + stats.checks + static_cast<int64_t>(uncopyable.size() + shared.size());
    tally.copied = stats.transfers;
    tally.skipped = stats.checks;
    tally.bytes = stats.bytes;

    const BackupStatus status = BackupStatuses::of(isCancelled(cancel),
                                                   tally.failed + static_cast<int64_t>(tally.conflicts.size()));
    return makeReport(source, destination, target, started, options.dryRun, status, tally);
}

}  // namespace BackupEngine
