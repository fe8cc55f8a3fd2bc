// iCloud Drive as the engine sees it: whether an account is signed in, where
// its folders are, each file's upload and download state, and releasing a
// file's local copy. Linux has no iCloud client, so by default no account is
// signed in, every state is unknown and nothing can be released; hooks let
// tests stand in for a signed-in machine.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ICloud {

/// The name of iCloud Drive's own container inside the containers folder.
inline const std::string driveContainerName = "com~apple~CloudDocs";
/// Paths::home + "/Library/Mobile Documents": iCloud Drive and the
/// applications' iCloud containers.
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

bool isSignedIn();
ItemStatus itemStatus(const std::string& path);
/// Asks for the local copy of an uploaded file to be released. None on
/// success, else the reason it failed.
std::optional<std::string> evict(const std::string& path);

/// The platform operations behind the functions above. A member left empty
/// keeps the Linux behaviour.
struct Hooks {
    std::function<bool()> isSignedIn;
    std::function<ItemStatus(const std::string& path)> itemStatus;
    std::function<std::optional<std::string>(const std::string& path)> evict;
};

void setHooks(Hooks hooks);
void resetHooks();

/// Installs hooks for the life of the object and puts the previous ones back.
class ScopedHooks {
public:
    explicit ScopedHooks(Hooks hooks);
    ~ScopedHooks();
    ScopedHooks(const ScopedHooks&) = delete;
    ScopedHooks& operator=(const ScopedHooks&) = delete;

private:
    Hooks previous;
};

}  // namespace ICloud
