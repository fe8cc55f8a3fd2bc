#include "base/Files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/Error.hpp"
#include "base/UniqueFd.hpp"

namespace Files {

void writeAtomically(const std::filesystem::path& path, const std::string& contents) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary = path;
    temporary += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);

    UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.valid()) throw OstrevaneError(path.string() + ": " + std::strerror(errno));
    const int fd = file.get();
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            file.reset();
            ::unlink(temporary.c_str());
            throw OstrevaneError(path.string() + ": " + std::strerror(error));
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    bool synced = ::fsync(fd) == 0;
    // Closed here, not by the owner: a failing close means the contents may
    // not have reached the disk.
    bool closed = ::close(file.release()) == 0;
    if (!synced || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throw OstrevaneError(path.string() + ": " + std::strerror(error));
    }
}

std::optional<std::string> read(const std::filesystem::path& path) {
    // Opened without blocking and read only when it is a regular file: a
    // named pipe or a device put in a file's place would otherwise hold the
    // reader for ever.
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return std::nullopt;
    const int fd = file.get();
    struct stat info;
    std::optional<std::string> contents;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        contents.emplace();
        char buffer[65536];
        while (true) {
            ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) contents.reset();
            if (count <= 0) break;
            contents->append(buffer, static_cast<size_t>(count));
        }
    }
    return contents;
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
