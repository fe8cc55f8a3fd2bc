// What offloads left at a destination as the only copy: each offload writes
// one record file of the files it archived, and a later backup that would
// replace one of them leaves it as it is and reports a conflict. Also the two
// rules that keep two sources from sharing one place in the layout.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/ScopedHooks.hpp"

namespace Archive {

/// One file an offload archived, as it was at the destination then.
struct File {
    /// Below the destination's folder: "Ostrevane Backups/<computer>/…".
    std::string path;
    int64_t size = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
};

/// The files that this computer's offloads archived at one destination folder.
class Records {
public:
    Records() = default;
    /// Reads every record below `destination`'s ".offloads/<computer>"
    /// folder. A record that is too large, unreadable or malformed is passed
    /// over: it was never written whole by an offload.
    static Records read(const std::string& destination, bool ignoringCase);

    /// Whether the file at `relative` (below the destination's folder), with
    /// the status `existing`, is still what an offload archived there: its
    /// size and modification time are those of a record. A file changed or
    /// replaced since by someone else is no archive of this tool's.
    bool holds(const std::string& relative, const struct stat& existing) const;

private:
    std::string keyOf(const std::string& relative) const;

    bool ignoringCase = false;
    std::unordered_multimap<std::string, File> files;
};

/// Writes one record of `files` (paths below `destination`) for the offload
/// of `source`, under a name no other offload uses, atomically. The path of
/// the record comes back; throws OstrevaneError when it cannot be written.
std::string write(const std::string& destination, const std::string& source, const std::vector<File>& files);
/// Removes a record whose offload kept its source after all; a failure
/// leaves it, which only keeps the copies safe longer.
void withdraw(const std::string& record);

/// Whether the destination folder's file system takes names differing only
/// in case for one (exFAT, FAT, NTFS, SMB).
bool ignoresCase(const std::string& destination);

/// The other source whose place in the layout `source` (expanded) would
/// share: "~/Home…" shares the home's, "~/_root/x" that of "/x". None when
/// the place is its own. With `ignoringCase`, "~/home" shares it too.
std::optional<std::string> layoutTwin(const std::string& source, bool ignoringCase);

/// The lookups of the running system (replaced in tests through ScopedHooks<Archive::Hooks>).
struct Hooks {
    /// Whether the file system of a folder ignores the case of names.
    std::function<bool(const std::string& folder)> ignoresCase;

    /// The set in force; the real lookups unless a test replaced them.
    static Hooks& active();
};

}  // namespace Archive
