#include "base/DirectoryStream.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

DirectoryStream::DirectoryStream(int fd) : dir(::fdopendir(fd)) {
    if (!dir) {
        int error = errno;
        ::close(fd);
        errno = error;
    }
}

DirectoryStream::~DirectoryStream() {
    if (dir) ::closedir(dir);
}

std::optional<std::string> DirectoryStream::next(int& error) {
    while (true) {
        errno = 0;
        dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            return std::nullopt;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        return std::string(entry->d_name);
    }
}
