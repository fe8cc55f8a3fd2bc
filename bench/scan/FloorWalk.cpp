// The floor a scan can reach: a bare walker that only reads folders
// (getdents64) and stats their entries (fstatat), on 8 threads sharing one
// queue of folders, each opened relative to its parent. It keeps no tree and
// counts each hard-linked file at every link, so its total is no answer, only
// a check that it saw as much as the scan. Usage: FloorWalk <folder> [threads]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

/// A folder to read: its name relative to an open parent that stays open
/// until every child holding it is done.
struct Parent {
    int fd;
    explicit Parent(int fd) : fd(fd) {}
    ~Parent() { ::close(fd); }
};
struct Folder {
    std::shared_ptr<Parent> parent;
    std::string name;
};

class Queue {
public:
    void push(Folder folder) {
        {
            std::lock_guard guard(lock);
            folders.push_back(std::move(folder));
        }
        ready.notify_one();
    }
    /// The next folder, or false once the queue is empty and no thread is reading one.
    bool pop(Folder& folder) {
        std::unique_lock guard(lock);
        --busy;
        if (busy == 0 && folders.empty()) ready.notify_all();
        ready.wait(guard, [&] { return !folders.empty() || busy == 0; });
        if (folders.empty()) return false;
        folder = std::move(folders.back());
        folders.pop_back();
        ++busy;
        return true;
    }
    void start(int threads) { busy = threads; }

private:
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Folder> folders;
    int busy = 0;
};

std::atomic<long long> files{0}, blocks{0};

void work(Queue& queue) {
    std::vector<char> buffer(64 * 1024);
    Folder folder;
    while (queue.pop(folder)) {
        int fd = ::openat(folder.parent ? folder.parent->fd : AT_FDCWD, folder.name.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        folder.parent.reset();
        if (fd < 0) continue;
        auto self = std::make_shared<Parent>(fd);
        long long count = 0, allocated = 0;
        while (true) {
            ssize_t length = ::getdents64(fd, buffer.data(), buffer.size());
            if (length <= 0) break;
            for (ssize_t offset = 0; offset < length;) {
                const auto* record = reinterpret_cast<const struct dirent64*>(buffer.data() + offset);
                offset += record->d_reclen;
                const char* name = record->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                struct stat status;
                if (::fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
                allocated += status.st_blocks;
                if (S_ISDIR(status.st_mode))
                    queue.push({self, name});
                else
                    ++count;
            }
        }
        files += count;
        blocks += allocated;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: FloorWalk <folder> [threads]\n");
        return 2;
    }
    const int threads = argc > 2 ? std::atoi(argv[2]) : 8;
    Queue queue;
    queue.start(threads);
    queue.push({nullptr, argv[1]});
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) pool.emplace_back([&] { work(queue); });
    for (auto& thread : pool) thread.join();
    std::printf("%lld files, %lld allocated bytes (every link counted)\n", files.load(), blocks.load() * 512);
    return 0;
}
