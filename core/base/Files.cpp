#include "base/Files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/Error.hpp"
#include "base/UniqueFd.hpp"
#include "base/WriteSeal.hpp"

namespace Files {

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool isExecutableFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

void writeAtomically(const std::filesystem::path& path, const std::string& contents) {
    writeAtomically(AT_FDCWD, path.string(), contents);
}

void writeAtomically(int folder, const std::string& name, const std::string& contents) {
    WriteSeal::checkAt(folder, name);
    static std::atomic<unsigned> counter{0};
    const std::string temporary = name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);

    UniqueFd file(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.valid()) throw OstrevaneError(name + ": " + std::strerror(errno));
    const int fd = file.get();
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            file.reset();
            ::unlinkat(folder, temporary.c_str(), 0);
            throw OstrevaneError(name + ": " + std::strerror(error));
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    bool synced = ::fsync(fd) == 0;
    // Closed here, not by the owner: a failing close means the contents may
    // not have reached the disk.
    bool closed = ::close(file.release()) == 0;
    if (!synced || !closed || ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
        int error = errno;
        ::unlinkat(folder, temporary.c_str(), 0);
        throw OstrevaneError(name + ": " + std::strerror(error));
    }
}

UniqueFd openRegularFile(int folder, const char* name, int flags, int& error, struct stat* status) {
    UniqueFd file(::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags));
    if (!file.valid()) {
        error = errno;
        return file;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) {
        error = errno;
        return UniqueFd();
    }
    if (!S_ISREG(opened.st_mode)) {
        error = EOPNOTSUPP;
        return UniqueFd();
    }
    // Without waiting a read could end early on a file system that serves
    // data slowly (a network share) or under a lease held by another program.
    const int state = ::fcntl(file.get(), F_GETFL);
    if (state == -1 || ::fcntl(file.get(), F_SETFL, state & ~O_NONBLOCK) != 0) {
        error = errno;
        return UniqueFd();
    }
    if (status) *status = opened;
    error = 0;
    return file;
}

std::optional<std::string> read(const std::filesystem::path& path) {
    int error = 0;
    UniqueFd file = openRegularFile(AT_FDCWD, path.c_str(), 0, error);
    if (!file.valid()) return std::nullopt;
    std::string contents;
    char buffer[65536];
    while (true) {
        ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) return contents;
        contents.append(buffer, static_cast<size_t>(count));
    }
}

std::vector<std::string> entryNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return names;
    for (auto end = std::filesystem::directory_iterator(); entries != end; entries.increment(error)) {
        if (error) break;
        names.push_back(entries->path().filename().string());
    }
    return names;
}

}  // namespace Files
