// A backup run: the checks before it starts, the copy (local or by rclone)
// and its record in the history; where the backup of a path lands; and the
// test hooks, none by default.
#include "backup/Backup.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "backup/Archive.hpp"
#include "backup/Private.hpp"
#include "backup/SourceStamps.hpp"
#include "base/DisplayText.hpp"
#include "base/Paths.hpp"
#include "config/Rclone.hpp"
#include "platform/Host.hpp"
#include "platform/Leases.hpp"
#include "platform/Mounts.hpp"
#include "platform/OpenFiles.hpp"
#include "text/Localization.hpp"

namespace Backup {

Hooks& Hooks::active() {
    static Hooks hooks{
        .readAttributes = [](const std::string&) { return 0; },
        .copyContents = [](const std::string&, int64_t) { return 0; },
        .afterCheck = [] {},
        .readStamp = [](struct stat&) {},
        .stampStep = [] { return SourceStamps::stampStep; },
        .openDestination =
            [](const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); },
        .flushCopies = [](const std::string&) { return 0; },
        .takeLease = [](int fd) { return Leases::take(fd, Leases::Kind::write); },
        .openElsewhere = [] { return OpenFiles::heldByOtherProcesses(); },
        .foldersInUse = [] { return OpenFiles::foldersInUseByOtherProcesses(); },
    };
    return hooks;
}

}  // namespace Backup

namespace BackupEngine {

namespace {

/// Whether `inner` is `outer` or inside it, as written or once links are resolved.
bool liesWithin(const std::string& inner, const std::string& outer) {
    if (Paths::isInside(inner, outer)) return true;
    auto resolvedInner = weaklyCanonical(inner), resolvedOuter = weaklyCanonical(outer);
    return resolvedInner && resolvedOuter && Paths::isInside(*resolvedInner, *resolvedOuter);
}

}  // namespace

std::string relativeTarget(const std::string& path) {
    const std::string home = Paths::home();
    // Text every path below the home starts with, compared as text only.
    const std::string prefix = home.ends_with("/") ? home : home + "/";
    std::string place;
    if (path == home)
        place = "Home";
    else if (path.starts_with(prefix))
        place = path.substr(prefix.size());
    else
        place = "_root" + path;
    return Paths::joined(Paths::joined(Destinations::backupFolderName, Host::computerName()), place);
}

std::string targetDescription(const std::string& source, const BackupDestination& destination) {
    const std::string relative = relativeTarget(Paths::expandGiven(source));
    if (destination.rcloneRemote) return onRemote(*destination.rcloneRemote, components(relative));
    return Paths::joined(destination.path.value_or(""), relative);
}

std::string onRemote(const std::string& remote, const std::vector<std::string>& parts) {
    // Relative, never from the remote's "/": on a server that is another
    // folder than the user's, where the copies go.
    std::string relative;
    for (const auto& part : parts) relative += (relative.empty() ? "" : "/") + part;
    return Rclone::remotePath(remote, relative);
}

std::string copyTarget(const std::string& source, bool isDirectory, const BackupDestination& destination) {
    std::string relative = relativeTarget(source);
    if (!destination.rcloneRemote) return Paths::joined(destination.path.value_or(""), relative);
    if (!isDirectory) relative = relative.substr(0, relative.rfind('/'));
    return onRemote(*destination.rcloneRemote, components(relative));
}

BackupReport run(const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                 const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    std::optional<TargetFolder> held;
    return runHeld(source, destination, options, held, cancel, progress);
}

BackupReport runHeld(const std::string& sourcePath, const BackupDestination& destination, const BackupOptions& options,
                     std::optional<TargetFolder>& held, const CancelTokenPtr& cancel,
                     const BackupProgressHandler& progress) {
    const std::string source = Paths::expandGiven(sourcePath);
    struct stat info;
    if (::stat(source.c_str(), &info) != 0)
        throw OstrevaneError(L("要备份的路径不存在: %@", DisplayText::path(source)));
    const bool isDirectory = S_ISDIR(info.st_mode);
    if (!destination.available) throw OstrevaneError(L("备份目的地“%@”不可用", destination.name));
    if (destination.path) {
        const std::string& path = *destination.path;
        // Checked at every run: a destination found available may have been unplugged since.
        const bool volumeGone = destination.id.starts_with(Destinations::volumeIdPrefix) && !Mounts::isMounted(path);
        if (volumeGone || Mounts::awaitsItsVolume(path) || Destinations::awaitsItsDrive(path))
            throw OstrevaneError(
                L("备份目的地“%@”当前不可用。%@", destination.name, L("目录当前不可用(外置磁盘未连接?)")));
        if (liesWithin(path, source)) throw OstrevaneError(L("备份目的地位于要备份的文件夹内部,会造成循环复制。"));
        if (liesWithin(source, Paths::joined(path, Destinations::backupFolderName)))
            throw OstrevaneError(L("不能备份备份目录本身。"));
    }
    // Whether a remote ignores case cannot be told from here: taken as if it did.
    const bool ignoringCase = !destination.path || Archive::ignoresCase(*destination.path);
    if (auto twin = Archive::layoutTwin(source, ignoringCase))
        throw OstrevaneError(L("%@ 在目的地会与 %@ 的备份占同一位置,两者会互相覆盖;请把它改名或移到别处再备份。",
                               DisplayText::path(Paths::abbreviate(source)),
                               DisplayText::path(Paths::abbreviate(*twin))));

    if (!destination.rcloneRemote && !destination.path) throw OstrevaneError(L("目的地没有本地路径"));
    if (!destination.rcloneRemote && !held) held = openDestination(*destination.path);
    BackupReport report = destination.rcloneRemote
                              ? runRclone(source, destination, options, cancel, progress)
                              : copyLocally(source, isDirectory, destination, *held, options, cancel, progress);
    if (!options.dryRun) BackupHistory::record(report);
    return report;
}

}  // namespace BackupEngine
