// What the files of the backup engine share. Nothing outside core/backup
// includes it: the engine's callers use Backup.hpp.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "backup/Archive.hpp"
#include "backup/Backup.hpp"
#include "backup/BackupFiles.hpp"
#include "base/DirectoryStream.hpp"
#include "base/DisplayText.hpp"
#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "base/UniqueFd.hpp"

namespace BackupEngine {

using SteadyClock = std::chrono::steady_clock;
using Files::allocatedBytes;
using Paths::joined;

/// A copy that is not a copy of one state of its source: the file was
/// written to while it was read.
constexpr int changedWhileCopied = -2;
/// A copy abandoned because the run was cancelled.
constexpr int copyCancelled = -1;

/// The text of an errno value, or of changedWhileCopied, for a report.
std::string describe(int error);

/// Where a run copies `source` (expanded): below the destination's folder, or
/// on its remote, where a single file goes into the folder standing for its
/// parent. As on disk: a report's target is made UTF-8 for display only.
std::string copyTarget(const std::string& source, bool isDirectory, const BackupDestination& destination);

/// The place of the relative path `parts` on the rclone remote `remote`
/// ("name:"): the one way both the copies and the records are addressed there.
std::string onRemote(const std::string& remote, const std::vector<std::string>& parts);
/// The non-empty components of a relative path, in order.
std::vector<std::string> components(const std::string& relative);
/// The path with symbolic links resolved as far as it exists
/// (`weakly_canonical`: what does not exist yet is kept as written); none
/// when even that fails.
std::optional<std::string> weaklyCanonical(const std::string& path);

/// Every name in a folder but "." and "..", read at once so the folder's
/// stream is closed before its subfolders are entered.
/// 0 or the errno value that stopped the reading.
int readNames(int folderFd, std::vector<std::string>& names);

/// The fault a test wants reading the attributes of `path` to fail with, or 0.
inline int attributeFault(const std::string& path) { return Backup::Hooks::active().readAttributes(path); }

// Reports

/// What a run did, counted as it went.
struct Tally {
    int64_t total = 0, copied = 0, skipped = 0, failed = 0, bytes = 0;
    std::vector<std::string> errors;
    /// The sources left out to keep an offload's archive, in display form.
    std::vector<std::string> conflicts;

    void fail(const std::string& path, const std::string& description) {
        ++failed;
        if (errors.size() < BackupReport::errorLimit)
            errors.push_back(DisplayText::path(Paths::abbreviate(path)).text() + ": " + description);
    }
};

/// The report of a run from its counts, with a new identifier, the time it
/// finished and its summary; names that are not UTF-8 are made so.
BackupReport makeReport(const std::string& source, const BackupDestination& destination, const std::string& target,
                        Date started, bool dryRun, BackupStatus status, const Tally& tally);

// The local copy

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

/// The folder `name` in `parent`, made first when `create`; never a link.
TargetFolder openChild(const TargetFolder& parent, const std::string& name, bool create);
/// The destination's folder, opened by its path once per run (it may be
/// reached through a link: a sync folder often is). Every later step of the
/// run reaches the destination through it, so a path that leads elsewhere
/// meanwhile (a drive pulled, or another mounted in its place) takes none of
/// the run's writes.
TargetFolder openDestination(const std::string& path);
/// Whether `path` still leads to the folder `held`, by device and inode.
bool stillLeadsTo(const std::string& path, const TargetFolder& held);
/// The folder at `parts` below the open folder `base` (-1: none, which
/// `baseError` says why). Below the destination's folder, inside the backup
/// folder, no link is ever followed, so a link left there cannot lead a
/// write into the user's files elsewhere.
TargetFolder openTargetChain(int base, const std::vector<std::string>& parts, bool create, int baseError = EBADF);

/// The names in the open destination folder `folder` by the place each
/// takes at a destination that ignores case (Archive::folded). Read through
/// the folder itself: a lookup by name would go through the kernel's name
/// cache, which is case-exact even where the disk is not, and find a name
/// that the disk has long given to another file.
std::unordered_map<std::string, std::vector<std::string>> namesByPlace(int folder);
/// The one name in the open folder `folder` that takes the place of `name`
/// there: `name` itself where case counts; none where no name, or more than
/// one, takes it.
std::optional<std::string> spellingAt(int folder, const std::string& name, bool ignoringCase);
/// Why `name` is not copied to a destination that ignores case, where all
/// the names of `sharing`, `name` among them, would take one place.
std::string sharedPlaceReason(const std::vector<std::string>& sharing, const std::string& name);
/// The one name of a listing `places` (as namesByPlace gives it) that takes
/// the place of `name`; none where no name, or more than one, takes it.
std::optional<std::string> spellingIn(const std::unordered_map<std::string, std::vector<std::string>>& places,
                                      const std::string& name);

/// A regular file at the target is up to date when it has the same size and
/// the modification time of the source as the target's file system keeps it:
/// equal, or cut to that file system's step (whole seconds, or two seconds
/// on some, are matched within 2 seconds either way). A looser rule would
/// take a same-size rewrite a moment later for the copy made before it.
bool upToDate(int folder, const std::string& name, const struct stat& source);

/// Copies one regular file to `name` in the target folder. The copy is
/// written to a temporary file in that folder and renamed over any older
/// copy only once it is complete, so a failed or interrupted copy never
/// costs the previous one. Something in the way that is not a file (a
/// folder) makes the rename fail, and stays.
/// 0, an errno value, changedWhileCopied or copyCancelled.
int copyFile(int sourceFolder, const std::string& sourceName, const std::string& sourcePath, int targetFolder,
             const std::string& targetName, const CancelTokenPtr& cancel);

/// Copies `source` incrementally into the destination's folder, open as
/// `held`; the run behind BackupEngine::run for a destination with a local path.
BackupReport copyLocally(const std::string& source, bool isDirectory, const BackupDestination& destination,
                         const TargetFolder& held, const BackupOptions& options, const CancelTokenPtr& cancel,
                         const BackupProgressHandler& progress);
/// BackupEngine::run through the destination's folder `held`, opened first
/// when it is not yet (never for an rclone remote): the runs of one offload
/// all write into the folder its first run opened.
BackupReport runHeld(const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                     std::optional<TargetFolder>& held, const CancelTokenPtr& cancel,
                     const BackupProgressHandler& progress);

// The rclone copy

/// The files of the source, each by its path below the copy's target (the
/// single file's own name), whose copy would replace what an offload
/// archived on the destination's remote. Throws OstrevaneError when the
/// remote's records say there may be some but its files cannot be listed.
std::vector<std::string> archivedInTheWay(const std::string& program, const std::string& source, bool isDirectory,
                                          const BackupDestination& destination, const std::string& target,
                                          const std::set<std::string>& excludes);
/// The copies at the remote `target` of the regular files of the source, as
/// an offload's record lists them; throws OstrevaneError when the remote
/// cannot be listed.
std::vector<Archive::File> remoteCopies(const std::string& program, const std::string& source, bool isDirectory,
                                        const std::string& target);
/// The rclone filter that matches exactly the path `below` the copy's source.
std::string exactPathFilter(const std::string& below);

/// Copies `source` to the destination's rclone remote; throws OstrevaneError
/// when rclone or the remote is missing.
BackupReport runRclone(const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                       const CancelTokenPtr& cancel, const BackupProgressHandler& progress);

}  // namespace BackupEngine
