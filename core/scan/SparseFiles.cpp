// The top levels are listed folder by folder with their subfolders walked in
// parallel; deeper down each subtree is walked on one thread through a
// FolderChain, so neither PATH_MAX nor the open-file limit bounds the depth.
#include "scan/SparseFiles.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "base/Files.hpp"
#include "base/FolderNames.hpp"
#include "base/Paths.hpp"
#include "base/UniqueFd.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"
#include "platform/FolderDescent.hpp"
#include "scan/ParallelDescent.hpp"

namespace SparseFiles {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int parallelLevels = 2;
constexpr size_t descriptorsPerWalk = 12;

struct Entry {
    std::string name;
    struct stat status {};
};

/// Every entry of an open folder but "." and "..", each with its lstat;
/// entries that cannot be stated are left out.
std::vector<Entry> listing(int folder) {
    std::vector<Entry> entries;
    FolderNames::forEach(folder, [&](const char* name) { entries.push_back({name, {}}); });
    std::erase_if(entries, [&](Entry& entry) {
        return ::fstatat(folder, entry.name.c_str(), &entry.status, AT_SYMLINK_NOFOLLOW) != 0;
    });
    return entries;
}

using Ancestors = std::vector<std::pair<dev_t, ino_t>>;

/// A folder the walk will enter, with what its parent's listing read of it.
struct Subfolder {
    std::string name;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
};

class Walk {
public:
    Walk(int64_t minLength, const FolderFilter& passOver) : minLength(minLength), passOver(passOver) {}

    /// Files in `entries` go to the results; the subfolders to enter come back.
    std::vector<Subfolder> sort(const std::vector<Entry>& entries, const std::string& path, dev_t device,
                                const Ancestors& ancestors) {
        std::vector<Subfolder> folders;
        for (const Entry& entry : entries) {
            const struct stat& status = entry.status;
            if (S_ISREG(status.st_mode)) {
                int64_t allocated = Files::allocatedBytes(status);
                if (allocated < status.st_size && status.st_size >= minLength) {
                    std::lock_guard guard(lock);
                    found.push_back(
                        {Paths::joined(path, entry.name), status.st_dev, status.st_ino, status.st_size, allocated});
                }
                continue;
            }
            if (!S_ISDIR(status.st_mode) || status.st_dev != device) continue;
            // A folder that is its own ancestor (a bind mount of a parent) is passed over.
            auto identity = std::make_pair(status.st_dev, status.st_ino);
            if (std::find(ancestors.begin(), ancestors.end(), identity) != ancestors.end()) continue;
            std::string child = Paths::joined(path, entry.name);
            if (passOver(entry.name, child) || FileSystem::isCloudOnlyFolder(child) ||
                !FileSystem::canOpenFolder(child))
                continue;
            folders.push_back({entry.name, std::move(child), status.st_dev, status.st_ino});
        }
        return folders;
    }

    /// The open folder `owned`, listed, its subfolders walked in parallel for
    /// `levels` more levels and sequentially below.
    void folder(UniqueFd owned, const std::string& path, dev_t device, Ancestors ancestors, int levels) {
        const int fd = owned.get();
        struct stat own {};
        if (::fstat(fd, &own) != 0) return;
        ancestors.emplace_back(own.st_dev, own.st_ino);
        std::vector<Subfolder> folders = sort(listing(fd), path, device, ancestors);
        ParallelDescent::forEachSubfolder(folders.size(), true, [&](size_t index) {
            const Subfolder& child = folders[index];
            if (levels > 0) {
                UniqueFd childFd(::openat(fd, child.name.c_str(), folderFlags));
                if (childFd.valid()) folder(std::move(childFd), child.path, device, ancestors, levels - 1);
            } else {
                sequential(fd, child, device, ancestors);
            }
        });
    }

    std::vector<Found> take() {
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
        return std::move(found);
    }

private:
    int64_t minLength;
    const FolderFilter& passOver;
    std::mutex lock;
    std::vector<Found> found;

    void sequential(int parent, const Subfolder& top, dev_t device, Ancestors ancestors) {
        FolderChain chain(descriptorsPerWalk);
        auto enter = [&](const Subfolder& folder) {
            int fd = chain.enter(folder.name.c_str(), folder.device, folder.inode,
                                 chain.depth() == 0 ? parent : AT_FDCWD);
            if (fd >= 0) ancestors.emplace_back(folder.device, folder.inode);
            return fd;
        };
        auto list = [&](int fd, const Subfolder& folder) { return sort(listing(fd), folder.path, device, ancestors); };
        FolderDescent::walk(chain, top, enter, list, [&](const Subfolder&) { ancestors.pop_back(); });
    }
};

}  // namespace

std::vector<Found> below(const std::string& root, int64_t minLength, const FolderFilter& passOver) {
    UniqueFd fd(openAnyLength(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return {};
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return {};
    Walk walk(minLength, passOver);
    walk.folder(std::move(fd), root, status.st_dev, {}, parallelLevels - 1);
    return walk.take();
}

}  // namespace SparseFiles
