#include "backup/SourceHold.hpp"

#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>

#include "backup/Backup.hpp"
#include "backup/SourceWalk.hpp"
#include "platform/Leases.hpp"
#include "text/Localization.hpp"

namespace {

SourceHold::Kept keptAs(const std::string& source, const std::string& relative, const std::string& reason) {
    return {Paths::joined(source, relative), reason};
}

}  // namespace

std::vector<SourceHold::Kept> SourceHold::take(const std::string& source) {
    std::vector<Kept> kept;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        budget = static_cast<size_t>(limit.rlim_cur / 2);
    auto look = [&](int folder, const std::string& name, const std::string& relative, const struct stat& info) {
        if (S_ISREG(info.st_mode)) {
            if (inUse(folder, name, relative, info)) kept.push_back(keptAs(source, relative, L("正被其他程序打开")));
        } else if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode)) {
            kept.push_back(keptAs(source, relative, L("管道、套接字或设备文件,备份不复制它")));
        }
        return true;
    };
    struct stat info;
    if (::lstat(source.c_str(), &info) != 0) return kept;  // the move then fails and says why
    if (!S_ISDIR(info.st_mode)) {
        look(AT_FDCWD, source, "", info);
        return kept;
    }
    // A program working in the folder, or in one below it, saves its next
    // file wherever the folder went, into the Trash after the move.
    if (Backup::Hooks::active().foldersInUse().count(FileId{info.st_dev, info.st_ino}))
        kept.push_back(keptAs(source, "", L("正被其他程序打开")));
    std::string stoppedAt;
    // An entry not looked at may be in use as well.
    if (!BackupEngine::walkBelow(source, look, stoppedAt)) kept.push_back(keptAs(source, stoppedAt, L("无法读取")));
    return kept;
}

bool SourceHold::inUse(int folder, const std::string& name, const std::string& relative, const struct stat& info) {
    const FileId file{info.st_dev, info.st_ino};
    if (heldFiles.count(file)) return false;
    // Without waiting: a file another program holds a lease on answers at once.
    UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid() && errno == EWOULDBLOCK) return true;
    if (fd.valid() && seeing && !seeingDevices.count(info.st_dev)) {
        seeing = Leases::seesEveryOpener(fd.get());
        seeingDevices.insert(info.st_dev);
    }
    const Lease answer = fd.valid() ? lease(std::move(fd), relative) : Lease::unavailable;
    if (answer == Lease::held) heldFiles.insert(file);
    if (answer != Lease::unavailable) return answer == Lease::inUse;
    if (!openByOthers) openByOthers = Backup::Hooks::active().openElsewhere();
    return openByOthers->count(file) > 0;
}

SourceHold::Lease SourceHold::lease(UniqueFd fd, const std::string& relative) {
    const int error = Backup::Hooks::active().takeLease(fd.get());
    if (error == EAGAIN) return Lease::inUse;
    if (error != 0) return Lease::unavailable;
    // Past the budget, the lease has answered and goes with its descriptor.
    if (held.size() >= budget) return Lease::free;
    held.push_back({relative, std::move(fd)});
    return Lease::held;
}

std::optional<std::string> SourceHold::firstOpened(const std::string& original) {
    // An open waiting on a lease shows in it: it reads as the kind it is
    // being broken to.
    const Leases::Kind intact = downgraded ? Leases::Kind::read : Leases::Kind::write;
    for (const Held& file : held)
        if (Leases::held(file.fd.get()) != intact) return Paths::joined(original, file.relative);
    if (!downgraded) {
        for (const Held& file : held)
            if (Leases::take(file.fd.get(), Leases::Kind::read) != 0) return Paths::joined(original, file.relative);
        downgraded = true;
    }
    return std::nullopt;
}
