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
#include <string_view>
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
    /// Reads every record below the ".offloads/<computer>" folder of the
    /// open destination folder `destination`. A record that is too large,
    /// unreadable or malformed is passed over: it was never written whole by
    /// an offload.
    static Records read(int destination, bool ignoringCase);
    /// The records whose texts are `texts`, each read as `read` reads a record file.
    static Records of(const std::vector<std::string>& texts, bool ignoringCase);

    /// Whether the file at `relative` (below the destination's folder), with
    /// the status `existing`, is still what an offload archived there: its
    /// size and modification time are those of a record. A file changed or
    /// replaced since by someone else is no archive of this tool's.
    bool holds(const std::string& relative, const struct stat& existing) const;
    /// The same for a file of an rclone remote, as its listing shows it.
    bool holds(const File& existing) const;
    bool empty() const { return files.empty(); }

private:
    std::string keyOf(const std::string& relative) const;
    void add(std::string_view text);

    bool ignoringCase = false;
    std::unordered_multimap<std::string, File> files;
};

/// The folder of this computer's records below a destination's folder or
/// remote: "Ostrevane Backups/.offloads/<computer>".
std::vector<std::string> recordFolder();
/// A name for a new record that no other offload uses, on this computer or
/// another of the same name.
std::string recordName();
/// The text of the record of `files` for the offload of `source`; throws
/// OstrevaneError when it cannot be encoded (`path` names it then).
std::string encoded(const std::string& path, const std::string& source, const std::vector<File>& files);

/// Writes one record of `files` (paths below the destination) for the
/// offload of `source` into the open destination folder `destination` (at
/// `path`, which names the record only), under a name no other offload
/// uses, atomically and through to the disk. The path of the record comes
/// back; throws OstrevaneError when it cannot be written.
std::string write(int destination, const std::string& path, const std::string& source, const std::vector<File>& files);
/// Removes the record at `record` (as `write` gave it) from the open
/// destination folder, whose offload kept its source after all; a failure
/// leaves it, which only keeps the copies safe longer.
void withdraw(int destination, const std::string& record);

/// The same records on an rclone remote, through the program at `program`.
/// The records sit beside the backups there, as in a folder; rclone's
/// uploads appear whole or not at all.
namespace Remote {
/// Every regular file below the remote folder `folder`, by its path below it
/// with its size and modification time; none when it cannot be listed (an
/// absent folder lists empty).
std::optional<std::vector<File>> list(const std::string& program, const std::string& folder);
/// This computer's records on `remote` ("name:"); none when they cannot
/// be listed or one of them cannot be fetched, so nothing they might list
/// is taken for unprotected.
std::optional<Records> read(const std::string& program, const std::string& remote, bool ignoringCase);
/// Uploads one record and gives its remote path; throws OstrevaneError.
std::string write(const std::string& program, const std::string& remote, const std::string& source,
                  const std::vector<File>& files);
/// Deletes an uploaded record; a failure leaves it.
void withdraw(const std::string& program, const std::string& record);
}  // namespace Remote

/// Whether the destination folder's file system takes names differing only
/// in case for one (exFAT, FAT, NTFS, SMB, through whichever driver).
bool ignoresCase(const std::string& destination);
/// What a destination that ignores case takes `name` (or a path) for: two
/// names with one folding take one place there. Names that are no UTF-8 are
/// their own.
std::string folded(std::string_view name);

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
