// What an offload holds of its source from its last look before the move to
// the Trash until it has looked at what moved: a lease on every regular file.
//
// A program that has a file open (a running virtual machine's image, a
// database, a log) may write into it at any time, also once it lies in the
// Trash: no check of the bytes can tell what the backup will lack. The
// kernel knows, though: a write lease is refused while any other descriptor
// of the file is open anywhere, one opened for reading too (a reader is kept
// for that as well), and while it is held, another open of the file waits
// until it goes and shows in it. Where no lease can be taken (a file system
// without them, another user's file), the open files of the other processes,
// as /proc lists them, answer instead; nothing is held for such a file, so
// only the stamps guard it through the move.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/UniqueFd.hpp"

class SourceHold {
public:
    /// An entry that keeps the source where it is, and why, in the current language.
    struct Kept {
        std::string path;
        std::string reason;
    };

    /// Leases every regular file of `source` (the file itself, or every one
    /// below the folder) and lists what may not go to the Trash with it: files
    /// open elsewhere, and the pipes, sockets and devices that the backup does
    /// not copy. A folder moves as a whole, so one such entry keeps all of it.
    std::vector<Kept> take(const std::string& source);

    /// A held file that someone opened since it was leased, named below
    /// `original`, the source's path before the move; none when no one did.
    /// The first call also turns the write leases into read leases, so that
    /// the offload's own reads of what moved leave them in force while a
    /// writer's open still waits on them.
    std::optional<std::string> firstOpened(const std::string& original);
    /// Whether the leases see every opener of the files: false when a file
    /// lies on a file system served from elsewhere (FUSE, NFS, SMB), where a
    /// writer behind the mount goes unseen and only another look at what
    /// moved can find its writes.
    bool leasesSeeEveryOpener() const { return seeing; }

    // The leases go with the hold: a program waiting to open a file goes on then.

private:
    struct Held {
        std::string relative;
        UniqueFd fd;
    };
    using FileId = std::pair<uint64_t, uint64_t>;
    /// What leasing a file came to: held until the hold goes; taken and let
    /// go again (`free`: no other descriptor had it open); refused (`inUse`);
    /// or not to be had on the file's system.
    enum class Lease { held, free, inUse, unavailable };

    /// Leases the file open at `fd`.
    Lease lease(UniqueFd fd, const std::string& relative);
    /// Whether the file is in use: leased, or else looked up among the open
    /// files of the other processes, read once per hold.
    bool inUse(int folder, const std::string& name, const std::string& relative, const struct stat& info);

    std::vector<Held> held;
    /// The files held, each once: a second descriptor of a hard-linked file
    /// would break the lease of the first.
    std::set<FileId> heldFiles;
    /// How many leases are held at most, each one descriptor: half the
    /// descriptors the process may open, so that the walk and the move keep
    /// theirs. The files past it are leased one by one and let go, and
    /// through the move only their stamps guard them.
    size_t budget = 512;
    bool downgraded = false;
    bool seeing = true;
    /// The devices found to be seen whole by their leases, asked once each.
    std::set<dev_t> seeingDevices;
    std::optional<std::set<FileId>> openByOthers;
};
