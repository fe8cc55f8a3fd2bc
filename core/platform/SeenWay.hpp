// What a scan saw of the folders on the way to the places a clean, the Trash
// or the scan cache touch, and the opening of such a place along that way.
//
// Threat model: programs running as the user can change the home at any
// moment. Against them a clean moves only the very files and folders its
// scan measured; where it can't be sure, it skips the item with the reason.
// So a folder swapped for a link (or for another folder) after the scan must
// lead the work nowhere the scan never looked: a link is followed only where
// the scan met one, every folder on the way must still be the one the scan
// measured, and a folder the scan kept no record of is no way at all.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <utility>

#include "base/Error.hpp"
#include "base/UniqueFd.hpp"

/// One folder on the way, or one item, as the scan met it.
struct SeenFolder {
    /// A link stood there; it is followed, as it was then. Never set for an
    /// item (what is moved is the link itself).
    bool link = false;
    /// What stood there, or what the link led to.
    dev_t device = 0;
    ino_t inode = 0;
    /// Its file type (the S_IFMT bits).
    unsigned type = 0;

    bool operator==(const SeenFolder&) const = default;
};

/// By absolute path: from the home folder down for places inside it, from
/// "/" down for the others.
using SeenFolders = std::map<std::string, SeenFolder>;

/// Why a folder could not be held.
enum class HoldFailure {
    missing,
    link,
    moved,
    /// Another folder stands where the scan saw one.
    changed,
    /// The scan kept no record of it (it was not there, or the record was
    /// full): what it is now was never measured.
    unrecorded,
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

/// At most this many entries are kept of one scan; a place past it has no
/// record, and a clean skips it.
constexpr size_t recordLimit = 20000;

/// Where the way to `path` starts: the home folder for a path strictly
/// inside it, else "/".
std::string baseOf(const std::string& path);

/// Measures `path` and every folder on its way that `seen` has no entry for
/// yet, by descriptor, each opened from the one above it: a link on the way
/// is recorded as a link and followed, what it leads to measured from the
/// opened descriptor. An `item` (the last component) is measured as it is,
/// a link as the link. Entries already in `seen` are followed as recorded
/// and must still be what they were; the measuring stops where one is not,
/// where something is missing, or at `recordLimit`.
void measure(const std::string& path, SeenFolders& seen, bool item);

/// Copies the entries of `from` for `path` and the folders above it.
void copyWay(const SeenFolders& from, const std::string& path, SeenFolders& to);

/// Opens the folder `path` from its base (baseOf) down, one component at a
/// time: a component is followed through a link only when `seen` says the
/// scan met a link there, and it must still be what `seen` recorded. A
/// component with no entry is refused as unrecorded, unless `create`, which
/// makes the missing folders, private, and enters them without following a
/// link. Throws HoldRefused.
UniqueFd open(const std::string& path, const SeenFolders& seen, bool create = false);

/// Refuses an open folder that is not the one `seen` kept for `path`; with
/// `required`, also one `seen` kept nothing of. Throws HoldRefused.
void checkIdentity(int fd, const std::string& path, const SeenFolders& seen, bool required = false);

/// Refuses `status` (of an item, links not followed) unless it is what
/// `seen` kept for `path`. Throws HoldRefused.
void checkItem(const struct stat& status, const std::string& path, const SeenFolders& seen);

}  // namespace SeenWay
