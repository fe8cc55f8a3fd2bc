// The places a backup can go: cloud-drive folders a sync client keeps on this
// computer, folders the user added, and rclone remotes. Nothing is stored; the
// list is rebuilt from the disk, the configuration file and rclone each time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"
#include "base/ScopedHooks.hpp"

enum class DestinationKind { icloud, googleDrive, dropbox, oneDrive, box, cloudFolder, rclone, folder };

namespace DestinationKinds {
std::string rawValue(DestinationKind kind);
std::optional<DestinationKind> fromRaw(const std::string& raw);
}  // namespace DestinationKinds

void to_json(json& value, const DestinationKind& kind);
/// Any text other than a case name fails to decode.
void from_json(const json& value, DestinationKind& kind);

struct BackupDestination {
    /// Stable: plans and commands name the destination by it.
    std::string id;
    DestinationKind kind = DestinationKind::folder;
    std::string name;
    /// The local folder to copy into; none for rclone remotes and for a Google
    /// Drive account whose My Drive folder is missing.
    std::optional<std::string> path;
    /// The remote with its trailing colon ("backup:").
    std::optional<std::string> rcloneRemote;
    bool available = false;
    /// A localised explanation shown with the destination.
    std::optional<std::string> note;

    bool operator==(const BackupDestination&) const = default;
};

void to_json(json& value, const BackupDestination& destination);
void from_json(const json& value, BackupDestination& destination);

namespace Destinations {

/// The folder every backup creates inside a destination.
inline const std::string backupFolderName = "Ostrevane Backups";
/// How the id of a mounted removable volume begins; its path is the mount point.
inline const std::string volumeIdPrefix = "volume:";

/// In a fixed order: iCloud Drive, the cloud-storage folders, the sync folders
/// of the home folder, Insync's drive folders, the Google Drive accounts of
/// the desktop's online accounts, custom folders, mounted removable volumes,
/// rclone remotes. The first source to reach a folder (links resolved) wins.
/// Never throws.
std::vector<BackupDestination> discover(bool includeRclone);

/// Where discovery looks on the running system (replaced in tests through
/// ScopedHooks<Destinations::Hooks>).
struct Hooks {
    /// The session's runtime folder, where the desktop mounts online accounts
    /// ($XDG_RUNTIME_DIR, else /run/user/<uid>).
    std::function<std::string()> runtimeFolder;
    /// The folders removable volumes are mounted in: /media/<user>,
    /// /run/media/<user> and /mnt.
    std::function<std::vector<std::string>()> volumeRoots;

    /// The set in force; the real lookups unless a test replaced them.
    static Hooks& active();
};

inline std::string runtimeFolder() { return Hooks::active().runtimeFolder(); }
inline std::vector<std::string> volumeRoots() { return Hooks::active().volumeRoots(); }

/// The destination a user or a plan names: by id (any letter case) or exact
/// display name among `candidates` (discovered when none are given), else a
/// folder path starting with "/" or "~". Throws OstrevaneError when the match
/// is unavailable, the folder is missing, or nothing matches; never returns
/// an unavailable destination.
BackupDestination resolve(const std::string& query,
                          const std::optional<std::vector<BackupDestination>>& candidates = std::nullopt);

/// The candidate whose folder is `folder`, links resolved on both sides:
/// discovery shows no second destination there.
std::optional<BackupDestination> atFolder(const std::string& folder, const std::vector<BackupDestination>& candidates);

/// Whether `folder`, added as a destination while a file system of its own
/// was mounted at or above it, lies on the file system below again: its
/// drive is not connected, and what is written there lands on the disk
/// below. Drives get new device numbers when plugged in again, so the mount
/// point is compared with its parent folder, never with a stored number.
bool awaitsItsDrive(const std::string& folder);

/// The first candidate whose id equals the query ignoring case or whose name
/// equals it exactly, available or not; the query is trimmed of blanks. An
/// id in the `$'…'` quoting a listing shows it in is read back first.
std::optional<BackupDestination> match(const std::string& query, const std::vector<BackupDestination>& candidates);

}  // namespace Destinations
