// The local copy: walks the source (folders near its top in parallel), copies
// every file and link that is not up to date at the target, and counts what
// it did for the report and for progress.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "backup/Archive.hpp"
#include "backup/BackupFiles.hpp"
#include "backup/BackupManifest.hpp"
#include "backup/Private.hpp"
#include "base/DisplayText.hpp"
#include "base/Paths.hpp"
#include "base/ProgressPace.hpp"
#include "platform/FileSystem.hpp"
#include "scan/ParallelDescent.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace BackupEngine {

namespace {

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
    LocalCopy(const BackupDestination& destination, const TargetFolder& held, const BackupOptions& options,
              const CancelTokenPtr& cancel, const BackupProgressHandler& progress)
        : destination(destination),
          held(held),
          options(options),
          excludes(options.excludes.begin(), options.excludes.end()),
          cancel(cancel),
          progress(progress) {}

    BackupReport run(const std::string& source, bool isDirectory) {
        const Date started = std::chrono::system_clock::now();
        const std::string relative = relativeTarget(source);
        const std::string target = copyTarget(source, isDirectory, destination);
        sourceRoot = source;
        relativeRoot = relative;
        ignoringCase = Archive::ignoresCase(*destination.path);
        archive = Archive::Records::read(held.fd.get(), ignoringCase);
        manifest.emplace(target);
        noteOwnFolder(openChild(held, Destinations::backupFolderName, false));
        if (isDirectory) noteOwnFolder(openTargetChain(held.fd.get(), components(relative), false));
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
        std::sort(conflicts.begin(), conflicts.end());
        tally.conflicts = conflicts;
        const BackupStatus status = BackupStatuses::of(isCancelled(cancel),
                                                       tally.failed + static_cast<int64_t>(tally.conflicts.size()));
        if (!options.dryRun) manifest->save(status != BackupStatus::cancelled);
        return makeReport(source, destination, target, started, options.dryRun, status, tally);
    }

private:
    /// Subfolders this close to the source are copied in parallel; deeper
    /// ones each on the thread that reached them.
    static constexpr int parallelDepth = 4;

    const BackupDestination& destination;
    /// The destination's folder, as the run's first open found it.
    const TargetFolder& held;
    const BackupOptions& options;
    const std::set<std::string> excludes;
    const CancelTokenPtr& cancel;
    const BackupProgressHandler& progress;
    const std::thread::id caller = std::this_thread::get_id();
    /// What the last run into this target left current, and what this run does.
    std::optional<BackupManifest> manifest;
    /// What offloads archived at the destination: never replaced.
    Archive::Records archive;
    /// Whether the destination takes names differing only in case for one.
    bool ignoringCase = false;
    /// The source and its place below the destination's folder.
    std::string sourceRoot, relativeRoot;

    // Counted from every thread of the walk.
    std::atomic<int64_t> total{0}, copied{0}, skipped{0}, failed{0}, bytes{0}, seenBytes{0};
    std::mutex errorsLock;
    std::vector<std::string> errors;
    std::vector<std::string> conflicts;
    std::atomic<bool> stopped{false};

    /// The destination's backup folder and this run's target folder, by
    /// device and inode: a destination mounted inside the source (a bind
    /// mount) shows them there under other paths, and a walk entering them
    /// would copy its own output into itself without end. Set before the walk.
    std::set<std::pair<dev_t, ino_t>> ownFolders;

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

    /// Records the folder when it exists.
    void noteOwnFolder(const TargetFolder& folder) {
        struct stat info;
        if (folder.fd.valid() && ::fstat(folder.fd.get(), &info) == 0) ownFolders.insert({info.st_dev, info.st_ino});
    }

    /// The folder at `parts` below the destination's; made unless this is a dry run.
    TargetFolder below(const std::vector<std::string>& parts) const {
        return openTargetChain(held.fd.get(), parts, !options.dryRun, held.error);
    }

    bool isOwnFolder(const struct stat& info) const { return ownFolders.count({info.st_dev, info.st_ino}) > 0; }

    /// What a copy over `name` in `target` would do to an offload's archive there.
    enum class Archived { none, sameAsSource, wouldReplace };

    /// An archive that already holds the source's very bytes is current; any
    /// other would be replaced, and it may be the only copy left.
    Archived archived(int sourceFolder, const std::string& sourceName, const std::string& path,
                      const TargetFolder& target, const std::string& name) const {
        struct stat existing;
        if (archive.empty() || !target.fd.valid() ||
            ::fstatat(target.fd.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0)
            return Archived::none;
        const std::string place = relativeRoot + path.substr(sourceRoot.size());
        if (!archive.holds(place, existing)) return Archived::none;
        return BackupFiles::sameContentAt(sourceFolder, sourceName, target.fd.get(), name, path,
                                          joined(*destination.path, place))
                   ? Archived::sameAsSource
                   : Archived::wouldReplace;
    }

    void conflict(const std::string& path) {
        std::lock_guard guard(errorsLock);
        conflicts.push_back(Paths::abbreviate(path));
    }

    void fail(const std::string& path, int error) { fail(path, describe(error)); }

    void fail(const std::string& path, const std::string& description) {
        ++failed;
        std::lock_guard guard(errorsLock);
        if (errors.size() < BackupReport::errorLimit)
            errors.push_back(DisplayText::path(Paths::abbreviate(path)).text() + ": " + description);
    }

    /// Where each of a source folder's `names` goes in its target folder at
    /// a destination that ignores case: the name already there that takes
    /// its place, when it is spelled otherwise (`spellings`). Names that
    /// would share one place are failed and taken out of `names`: a copy of
    /// one would replace the copy of the other, and an offload would move
    /// both to the Trash.
    void placeNames(std::vector<std::string>& names, const std::string& folderPath, const TargetFolder& target,
                    std::unordered_map<std::string, std::string>& spellings) {
        if (!ignoringCase) return;
        std::unordered_map<std::string, std::vector<std::string>> sharing;
        for (const auto& name : names)
            if (!excludes.count(name)) sharing[Archive::folded(name)].push_back(name);
        const auto existing = target.fd.valid() ? namesByPlace(target.fd.get())
                                                : std::unordered_map<std::string, std::vector<std::string>>();
        std::vector<std::string> kept;
        for (auto& name : names) {
            const std::string place = excludes.count(name) ? std::string() : Archive::folded(name);
            if (!place.empty() && sharing[place].size() > 1) {
                ++total;
                fail(joined(folderPath, name), sharedPlaceReason(sharing[place], name));
                continue;
            }
            if (auto found = existing.find(place);
                !place.empty() && found != existing.end() && found->second.size() == 1 && found->second.front() != name)
                spellings[name] = found->second.front();
            kept.push_back(std::move(name));
        }
        names = std::move(kept);
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
                if (!isOwnFolder(info)) subfolders.push_back(name);
            } else if (S_ISREG(info.st_mode)) {
                ++files;
                lengths += info.st_size;
            } else if (S_ISLNK(info.st_mode)) {
                ++files;
            }
        }
        ParallelDescent::forEachSubfolder(subfolders.size(), depth <= parallelDepth, [&](size_t index) {
            const std::string& name = subfolders[index];
            int childFd = ::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) countBelow(UniqueFd(childFd), depth + 1, files, lengths);
        });
    }

    void report(const std::string& path) {
        if (!progress || std::this_thread::get_id() != caller) return;
        auto now = SteadyClock::now();
        if (std::chrono::duration<double>(now - lastReport).count() <= ProgressPace::localCopy) return;
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
        TargetFolder root = below(components(relative));
        if (!options.dryRun && !root.fd.valid())
            throw OstrevaneError(L("无法在目的地创建目录: %@", describe(root.error)));
        noteOwnFolder(openChild(held, Destinations::backupFolderName, false));
        noteOwnFolder(root);
        int fd = FileSystem::canOpenFolder(source) ? ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd < 0) throw OstrevaneError(L("无法读取 %@", DisplayText::path(source)));
        raiseDescriptorLimit();
        walk(UniqueFd(fd), source, root, 1);
    }

    /// The files and links of one folder first, in the order the folder
    /// lists them, then its subfolders.
    void walk(UniqueFd folder, const std::string& folderPath, const TargetFolder& target, int depth) {
        std::vector<std::string> names;
        if (int readError = readNames(folder.get(), names)) fail(folderPath, readError);
        std::unordered_map<std::string, std::string> spellings;
        placeNames(names, folderPath, target, spellings);
        auto spelled = [&](const std::string& name) -> const std::string& {
            auto found = spellings.find(name);
            return found == spellings.end() ? name : found->second;
        };

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
                copyLink(folder.get(), name, spelled(name), path, target);
            else if (S_ISDIR(info.st_mode) && !isOwnFolder(info))
                subfolders.push_back(name);
            else if (S_ISREG(info.st_mode))
                copyRegular(folder.get(), name, spelled(name), path, info, target);
            // Sockets, pipes and devices carry no data to keep.
        }

        ParallelDescent::forEachSubfolder(subfolders.size(), depth <= parallelDepth, [&](size_t index) {
            const std::string& name = subfolders[index];
            if (shouldStop()) return;
            const std::string path = joined(folderPath, name);
            TargetFolder child = openChild(target, spelled(name), !options.dryRun);
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
        });
    }

    /// A link is up to date only while it says the same; a repointed one
    /// replaces the older link in one rename. Anything else in its place stays.
    void copyLink(int folderFd, const std::string& name, const std::string& targetName, const std::string& path,
                  const TargetFolder& target) {
        ++total;
        auto text = BackupFiles::linkText(folderFd, name);
        if (!text) {
            fail(path, errno);
            return;
        }
        auto existing = target.fd.valid() ? BackupFiles::linkText(target.fd.get(), targetName) : std::nullopt;
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
        if (int error = placeLink(*text, target.fd.get(), targetName, existing.has_value())) {
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

    void copyRegular(int folderFd, const std::string& name, const std::string& targetName, const std::string& path,
                     const struct stat& info, const TargetFolder& target) {
        ++total;
        seenBytes += info.st_size;
        const bool fresh = target.fd.valid() && current(path, info) && upToDate(target.fd.get(), targetName, info);
        const Archived kept = fresh ? Archived::none : archived(folderFd, name, path, target, targetName);
        if (fresh || kept == Archived::sameAsSource) {
            ++skipped;
            manifest->note(path, info);
        } else if (kept == Archived::wouldReplace) {
            conflict(path);
        } else if (options.dryRun) {
            ++copied;
            bytes += info.st_size;
        } else if (!target.fd.valid()) {
            fail(path, target.error);
        } else {
            target.prepareForWriting();
            int result = copyFile(folderFd, name, path, target.fd.get(), targetName, cancel);
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

        TargetFolder parent = below(parts);
        const std::string targetName = ignoringCase && parent.fd.valid()
                                           ? spellingAt(parent.fd.get(), name, true).value_or(name)
                                           : name;
        // The source itself may be a link to the file: its contents are what is wanted.
        const fs::path real = weaklyCanonical(source).value_or(source);
        const bool fresh = parent.fd.valid() && current(source, info) && upToDate(parent.fd.get(), targetName, info);
        const Archived kept = fresh ? Archived::none : archived(AT_FDCWD, real.string(), source, parent, targetName);
        if (fresh || kept == Archived::sameAsSource) {
            skipped = 1;
            manifest->note(source, info);
        } else if (kept == Archived::wouldReplace) {
            conflict(source);
        } else if (options.dryRun) {
            copied = 1;
            bytes = info.st_size;
        } else if (!parent.fd.valid()) {
            fail(source, parent.error);
        } else {
            parent.prepareForWriting();
            UniqueFd sourceFolder(::open(real.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            int result = sourceFolder.valid() ? copyFile(sourceFolder.get(), real.filename().string(), source,
                                                         parent.fd.get(), targetName, cancel)
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
        if (progress &&
            std::chrono::duration<double>(SteadyClock::now() - lastReport).count() > ProgressPace::localCopy) {
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

}  // namespace

BackupReport copyLocally(const std::string& source, bool isDirectory, const BackupDestination& destination,
                         const TargetFolder& held, const BackupOptions& options, const CancelTokenPtr& cancel,
                         const BackupProgressHandler& progress) {
    return LocalCopy(destination, held, options, cancel, progress).run(source, isDirectory);
}

}  // namespace BackupEngine
