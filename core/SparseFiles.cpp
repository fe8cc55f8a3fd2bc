// The top levels are listed folder by folder with their subfolders walked in
// parallel; deeper down each subtree is walked on one thread through a
// FolderChain, so neither PATH_MAX nor the open-file limit bounds the depth.
#include "SparseFiles.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "base/FolderNames.hpp"
#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "base/UniqueFd.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"

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

class Walk {
public:
    Walk(int64_t minLength, const FolderFilter& passOver) : minLength(minLength), passOver(passOver) {}

    /// Files in `entries` go to the results; the subfolders to enter come back.
    std::vector<const Entry*> sort(const std::vector<Entry>& entries, const std::string& path, dev_t device,
                                   const Ancestors& ancestors) {
        std::vector<const Entry*> folders;
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
            if (passOver(entry.name, child) || FileSystem::isCloudOnlyFolder(child) || !FileSystem::canOpenFolder(child))
                continue;
            folders.push_back(&entry);
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
        std::vector<Entry> entries = listing(fd);
        std::vector<const Entry*> folders = sort(entries, path, device, ancestors);
        tbb::parallel_for(
            tbb::blocked_range<size_t>(0, folders.size(), 1),
            [&](const tbb::blocked_range<size_t>& range) {
                for (size_t index = range.begin(); index != range.end(); ++index) {
                    const Entry& child = *folders[index];
                    std::string childPath = Paths::joined(path, child.name);
                    if (levels > 0) {
                        UniqueFd childFd(::openat(fd, child.name.c_str(), folderFlags));
                        if (childFd.valid()) folder(std::move(childFd), childPath, device, ancestors, levels - 1);
                    } else {
                        sequential(fd, child, childPath, device, ancestors);
                    }
                }
            },
            tbb::simple_partitioner());
    }

    std::vector<Found> take() {
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
        return std::move(found);
    }

private:
    struct Frame {
        std::vector<Entry> entries;
        std::vector<const Entry*> folders;
        size_t next = 0;
        std::string path;
    };

    int64_t minLength;
    const FolderFilter& passOver;
    std::mutex lock;
    std::vector<Found> found;

    void sequential(int parent, const Entry& top, const std::string& topPath, dev_t device, Ancestors ancestors) {
        FolderChain chain(descriptorsPerWalk);
        std::vector<Frame> frames;
        auto enter = [&](const Entry& entry, std::string path, int start) {
            int fd = chain.enter(entry.name.c_str(), entry.status.st_dev, entry.status.st_ino, start);
            if (fd < 0) return;
            ancestors.emplace_back(entry.status.st_dev, entry.status.st_ino);
            Frame frame;
            frame.entries = listing(fd);
            frame.path = std::move(path);
            frame.folders = sort(frame.entries, frame.path, device, ancestors);
            frames.push_back(std::move(frame));
        };
        enter(top, topPath, parent);
        while (!frames.empty()) {
            Frame& frame = frames.back();
            if (frame.next == frame.folders.size()) {
                frames.pop_back();
                ancestors.pop_back();
                chain.leave();
                continue;
            }
            const Entry& child = *frame.folders[frame.next++];
            enter(child, Paths::joined(frame.path, child.name), AT_FDCWD);
        }
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
