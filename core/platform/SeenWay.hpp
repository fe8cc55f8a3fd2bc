// What a scan saw of the folders between the home folder and the places a
// clean, the Trash or the scan cache write to, and the opening of such a
// place along that way. A folder swapped for a link (or for another folder)
// after the scan would otherwise lead the work somewhere the scan never
// looked: a link is followed only where the scan met one, and a folder whose
// identity the scan kept must still be that folder.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>

#include "base/Error.hpp"
#include "base/UniqueFd.hpp"

/// One folder on the way, as the scan met it.
struct SeenFolder {
    /// A link stood there; it is followed, as it was then.
    bool link = false;
    /// The folder there, or the one the link led to.
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const SeenFolder&) const = default;
};

/// By absolute path. A folder below the home folder with no entry was no
/// link when the scan looked (or was not there), so a link is never
/// followed there.
using SeenFolders = std::map<std::string, SeenFolder>;

/// Why a folder could not be held.
enum class HoldFailure {
    missing,
    link,
    moved,
    /// Another folder stands where the scan saw one.
    changed,
    other
};

/// A folder refused as it was opened; `at` names the folder on the way that
/// failed, when it was not the one asked for. The message is the system's
/// description, when there is one.
struct HoldRefused : OstrevaneError {
    HoldFailure why;
    std::string at;
    HoldRefused(HoldFailure why, std::string description, std::string at = "")
        : OstrevaneError(std::move(description)), why(why), at(std::move(at)) {}
};

namespace SeenWay {

/// Adds `path` and every folder between `home` and it, as they are now, to
/// `seen`; nothing when `path` is not inside `home`. Stops at the first one
/// missing. Paths that are no UTF-8 are left out (they cannot be stored).
void record(const std::string& home, const std::string& path, SeenFolders& seen);

/// Copies the entries of `from` for `path` and the folders above it.
void copyWay(const SeenFolders& from, const std::string& path, SeenFolders& to);

/// Whether `path` is opened along a way below the home folder: it lies
/// strictly inside `home`.
bool isBelow(const std::string& home, const std::string& path);

/// Opens the folder `path` (`home` itself or inside it) from `home` down, one
/// component at a time: a component is followed through a link only when
/// `seen` says the scan met a link there, and one whose identity `seen`
/// kept must still have it. `create` makes the missing folders, private.
/// Throws HoldRefused.
UniqueFd open(const std::string& home, const std::string& path, const SeenFolders& seen, bool create = false);

/// Refuses an open folder that is not the one `seen` kept for `path`.
/// Throws HoldRefused.
void checkIdentity(int fd, const std::string& path, const SeenFolders& seen);

}  // namespace SeenWay
