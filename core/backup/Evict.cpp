// The release of the local copies of uploaded iCloud Drive files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>

#include "backup/Private.hpp"
#include "base/DisplayText.hpp"
#include "platform/ICloud.hpp"
#include "scan/ScanStore.hpp"
#include "text/Localization.hpp"

namespace BackupEngine {

namespace {

int64_t freeBytesOfFileSystem(const std::string& path) {
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0) return 0;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

void evictFiles(const std::string& path, int fd, int64_t& evicted, int64_t& failed);

void evictOne(const std::string& path, int64_t& evicted, int64_t& failed) {
    ICloud::ItemStatus status = ICloud::itemStatus(path);
    if (status.downloadingStatus == ICloud::DownloadingStatus::notDownloaded) return;
    if (status.isUploaded == true) {
        if (ICloud::evict(path))
            ++failed;
        else
            ++evicted;
        return;
    }
    ++failed;
}

void evictFiles(const std::string& path, int fd, int64_t& evicted, int64_t& failed) {
    DirectoryStream folder(fd);
    if (!folder.valid()) return;
    int readError = 0;
    while (auto name = folder.next(readError)) {
        const std::string child = joined(path, *name);
        struct stat info;
        if (::fstatat(folder.fd(), name->c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode)) {
            evictOne(child, evicted, failed);
        } else if (S_ISDIR(info.st_mode)) {
            int childFd = ::openat(folder.fd(), name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0) evictFiles(child, childFd, evicted, failed);
        }
    }
}

std::string releasedMessage(int64_t evicted, int64_t failed) {
    // Without a drive that keeps files online-only, counting files "not yet
    // uploaded" would suggest that waiting could help; it can't.
    if (!ICloud::isSignedIn()) return L("这台电脑上没有能把文件只留在云端的网盘,所以没有可以释放的本地副本。");
    return L("已释放 %@ 个文件的本地副本(云端仍保留)", evicted) +
           (failed > 0 ? L(",%@ 个未处理(尚未上传完成,或不在 iCloud 云盘内)。", failed) : L("。"));
}

}  // namespace

EvictReport evict(const std::string& pathText) {
    const std::string path = Paths::expandGiven(pathText);
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) throw OstrevaneError(L("路径不存在: %@", DisplayText::path(path)));
    int64_t evicted = 0, failed = 0;
    const int64_t before = freeBytesOfFileSystem(path);

    bool isDirectory = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (isDirectory) {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            evictFiles(path, fd, evicted, failed);
        else
            evictOne(path, evicted, failed);
    } else {
        evictOne(path, evicted, failed);
    }
    if (evicted > 0) ScanStore::invalidate();

    const int64_t after = freeBytesOfFileSystem(path);
    EvictReport report;
    report.path = path;
    report.evicted = evicted;
    report.failed = failed;
    report.freedBytes = std::max<int64_t>(0, after - before);
    report.message = releasedMessage(evicted, failed);
    return report;
}

}  // namespace BackupEngine
