// iCloud Drive as the engine sees it: whether an account is signed in, where
// its folders are, each file's upload and download state, and releasing a
// file's local copy. Linux has no iCloud client, so by default no account is
// signed in, every state is unknown and nothing can be released; hooks let
// tests stand in for a signed-in machine.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/ScopedHooks.hpp"

namespace ICloud {

/// The name of iCloud Drive's own container inside the containers folder.
inline const std::string driveContainerName = "com~apple~CloudDocs";
/// Where a home keeps iCloud Drive and the applications' iCloud containers.
inline constexpr const char* containersInHome = "Library/Mobile Documents";
/// The containers folder of Paths::home.
std::string containersFolder();
/// The iCloud Drive folder inside the containers folder.
std::string driveFolder();

enum class DownloadingStatus {
    /// Only in the cloud: there is no local copy to release.
    notDownloaded,
    /// A local copy exists, possibly older than the cloud's.
    downloaded,
    /// The local copy is the latest.
    current,
};

/// A file's two iCloud values; none where they cannot be read.
struct ItemStatus {
    std::optional<bool> isUploaded;
    std::optional<DownloadingStatus> downloadingStatus;
};

/// The platform operations (replaced in tests through ScopedHooks<ICloud::Hooks>).
struct Hooks {
    std::function<bool()> isSignedIn;
    std::function<ItemStatus(const std::string& path)> itemStatus;
    /// Asks for the local copy of an uploaded file to be released. None on
    /// success, else the reason it failed.
    std::function<std::optional<std::string>(const std::string& path)> evict;

    /// The set in force; the Linux behaviour unless a test replaced it.
    static Hooks& active();
};

inline bool isSignedIn() { return Hooks::active().isSignedIn(); }
inline ItemStatus itemStatus(const std::string& path) { return Hooks::active().itemStatus(path); }
inline std::optional<std::string> evict(const std::string& path) { return Hooks::active().evict(path); }

}  // namespace ICloud
