// File leases (fcntl F_SETLEASE): the kernel's word on whether any other
// descriptor has a file open, and its hold on an open that comes later,
// which waits until the lease goes. On file systems served from elsewhere
// (FUSE, NFS, SMB, 9p and the like) the kernel grants a lease from what
// this machine's own descriptors show, blind to a writer behind the mount.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/ScopedHooks.hpp"

namespace Leases {

enum class Kind { none, read, write };

/// Takes a lease of `kind` on the file open at `fd`, or turns the one held
/// into it, without waiting: 0 or an errno value, EAGAIN when another
/// descriptor has the file open in a way the lease excludes. An open that
/// breaks it is told to this process by SIGURG, which is ignored by default
/// (SIGIO, the kernel's choice, would end the process).
int take(int fd, Kind kind);
/// The lease held on `fd` now; one being broken reads as the kind it is
/// being broken to, `none` when it is broken for a writer.
Kind held(int fd);
/// Whether a lease on the file open at `fd` sees every opener of the file:
/// false on the file systems listed above, and when the file system cannot
/// be told.
bool seesEveryOpener(int fd);

/// The lookups of the running system (replaced in tests through ScopedHooks<Leases::Hooks>).
struct Hooks {
    /// The type of the file system the file open at `fd` lies on (statfs
    /// f_type); none when it cannot be read.
    std::function<std::optional<int64_t>(int fd)> fileSystemType;

    /// The set in force; the real lookups unless a test replaced them.
    static Hooks& active();
};

}  // namespace Leases
