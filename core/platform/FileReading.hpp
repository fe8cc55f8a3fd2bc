// Reading the contents of regular files by offset. Tests run as root, so the
// failures they need (a file that cannot be opened, a disk error half-way
// through a file) come from hooks; the defaults leave everything to the kernel.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/ScopedHooks.hpp"
#include "base/UniqueFd.hpp"

namespace FileReading {

/// The failures a test may stage (replaced in tests through ScopedHooks<FileReading::Hooks>).
struct Hooks {
    /// Whether a file may be opened. The default always allows it.
    std::function<bool(const std::string& path)> canOpen;
    /// The offset at which reading a file fails: the bytes before it can be
    /// read, a read that reaches it fails. None when reading never fails;
    /// asked once per opening. The default is none.
    std::function<std::optional<int64_t>(const std::string& path)> failsAtOffset;

    /// The set in force; the defaults unless a test replaced them.
    static Hooks& active();
};

inline bool canOpen(const std::string& path) { return Hooks::active().canOpen(path); }
inline std::optional<int64_t> failsAtOffset(const std::string& path) { return Hooks::active().failsAtOffset(path); }

/// An open file, closed when the object goes. Move-only.
class File {
public:
    /// Read-only; never follows a symbolic link at the last component and
    /// never waits on a pipe. A path of any length. None when the file
    /// cannot be opened.
    static std::optional<File> open(const std::string& path);
    /// The same for `name` in an open folder (AT_FDCWD: a path), so a file
    /// deeper than PATH_MAX can be read; `path` names it for the hooks.
    static std::optional<File> openAt(int folderFd, const std::string& name, const std::string& path);

    File(File&& other) noexcept = default;
    File& operator=(File&& other) noexcept = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    /// The length found by seeking to the end; none when the seek fails.
    std::optional<int64_t> length() const;
    /// Reads up to `count` bytes at `offset`, fewer only at the end of the
    /// file. None when a read fails, even after some bytes arrived.
    std::optional<size_t> readAt(int64_t offset, void* buffer, size_t count) const;
    /// What fstat says of the open file; none when it cannot say.
    std::optional<struct stat> status() const;
    /// Tells the kernel the file will be read once from start to end.
    void adviseSequential() const;

private:
    File(int descriptor, std::optional<int64_t> failure) : descriptor(descriptor), failure(failure) {}
    UniqueFd descriptor;
    std::optional<int64_t> failure;
};

}  // namespace FileReading
