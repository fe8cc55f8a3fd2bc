#include "platform/Leases.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/vfs.h>

#include <cerrno>

namespace Leases {

namespace {

// The f_type values of the file systems whose files other machines or
// programs may open behind this kernel's back (linux/magic.h and the
// network file systems' own headers).
constexpr int64_t fuseType = 0x65735546;
constexpr int64_t nfsType = 0x6969;
constexpr int64_t smbType = 0x517B;
constexpr int64_t cifsType = 0xFF534D42;
constexpr int64_t smb2Type = 0xFE534D42;
constexpr int64_t v9fsType = 0x01021997;
constexpr int64_t cephType = 0x00C36400;
constexpr int64_t afsType = 0x5346414F;
constexpr int64_t codaType = 0x73757245;
constexpr int64_t ocfs2Type = 0x7461636F;
constexpr int64_t gfs2Type = 0x01161970;

bool servedFromElsewhere(int64_t type) {
    for (int64_t blind :
         {fuseType, nfsType, smbType, cifsType, smb2Type, v9fsType, cephType, afsType, codaType, ocfs2Type, gfs2Type})
        if (type == blind) return true;
    return false;
}

std::optional<int64_t> typeOf(int fd) {
    struct statfs status {};
    if (::fstatfs(fd, &status) != 0) return std::nullopt;
    return static_cast<int64_t>(status.f_type);
}

int lockOf(Kind kind) { return kind == Kind::write ? F_WRLCK : kind == Kind::read ? F_RDLCK : F_UNLCK; }

}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{.fileSystemType = typeOf};
    return hooks;
}

int take(int fd, Kind kind) {
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return errno;
    if (::fcntl(fd, F_SETLEASE, lockOf(kind)) != 0) return errno;
    // No process is told of a break: the opener simply waits until the lease goes.
    ::fcntl(fd, F_SETOWN, 0);
    return 0;
}

Kind held(int fd) {
    const int lease = ::fcntl(fd, F_GETLEASE);
    return lease == F_WRLCK ? Kind::write : lease == F_RDLCK ? Kind::read : Kind::none;
}

bool seesEveryOpener(int fd) {
    const auto type = Hooks::active().fileSystemType(fd);
    return type && !servedFromElsewhere(*type);
}

}  // namespace Leases
