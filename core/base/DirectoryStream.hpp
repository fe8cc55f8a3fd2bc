// A folder's entry names read through one open stream, closed with its object.
#pragma once

#include <dirent.h>

#include <optional>
#include <string>

/// Reads one directory's entry names; the stream is closed with the object.
class DirectoryStream {
public:
    /// Takes ownership of `fd`, an open directory. When it cannot be read as
    /// one, `fd` is closed, the stream is not valid and errno says why.
    explicit DirectoryStream(int fd);
    ~DirectoryStream();
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;

    bool valid() const { return dir != nullptr; }
    /// The descriptor the stream reads; only while valid.
    int fd() const { return ::dirfd(dir); }
    /// The next name but "." and ".."; none at the end, with `error` set when
    /// reading failed (0 at a clean end).
    std::optional<std::string> next(int& error);
    /// Starts over from the first entry: a stream on a duplicated descriptor
    /// shares its position with the original, which may have been read before.
    void rewind() { ::rewinddir(dir); }

private:
    DIR* dir = nullptr;
};
