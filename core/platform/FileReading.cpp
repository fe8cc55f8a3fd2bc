#include "platform/FileReading.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FolderChain.hpp"

namespace FileReading {

namespace {
bool alwaysOpenable(const std::string&) { return true; }
std::optional<int64_t> neverFails(const std::string&) { return std::nullopt; }

int openForReading(int folderFd, const std::string& name) {
    // O_NOATIME keeps a content check from making files look recently used to
    // the rules that read access dates; only the owner (or root) may ask for it.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int descriptor = ::openat(folderFd, name.c_str(), flags | O_NOATIME);
    if (descriptor < 0 && errno == EPERM) descriptor = ::openat(folderFd, name.c_str(), flags);
    return descriptor;
}
}  // namespace

Hooks& Hooks::active() {
    static Hooks current{alwaysOpenable, neverFails};
    return current;
}

std::optional<File> File::open(const std::string& path) {
    ParentAndName place = parentAndName(path);
    if (place.fd == -1) return std::nullopt;
    return openAt(place.fd, place.name, path);
}

std::optional<File> File::openAt(int folderFd, const std::string& name, const std::string& path) {
    if (!canOpen(path)) return std::nullopt;
    int descriptor = openForReading(folderFd, name);
    if (descriptor < 0) return std::nullopt;
    return File(descriptor, failsAtOffset(path));
}

std::optional<int64_t> File::length() const {
    off_t end = ::lseek(descriptor.get(), 0, SEEK_END);
    if (end < 0) return std::nullopt;
    return static_cast<int64_t>(end);
}

std::optional<size_t> File::readAt(int64_t offset, void* buffer, size_t count) const {
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < count) {
        int64_t position = offset + static_cast<int64_t>(done);
        size_t wanted = count - done;
        if (failure) {
            // The bytes before the failing offset arrive; the read that
            // reaches it fails, as one over a bad sector would.
            if (position >= *failure) return std::nullopt;
            wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(wanted), *failure - position));
        }
        ssize_t got = ::pread(descriptor.get(), bytes + done, wanted, static_cast<off_t>(position));
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

std::optional<struct stat> File::status() const {
    struct stat result {};
    if (::fstat(descriptor.get(), &result) != 0) return std::nullopt;
    return result;
}

void File::adviseSequential() const { ::posix_fadvise(descriptor.get(), 0, 0, POSIX_FADV_SEQUENTIAL); }

}  // namespace FileReading
