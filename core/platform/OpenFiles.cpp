#include "platform/OpenFiles.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/DirectoryStream.hpp"
#include "base/Paths.hpp"
#include "base/UniqueFd.hpp"
#include "platform/Platform.hpp"

namespace OpenFiles {

namespace {

/// The names in a folder of /proc; none when it cannot be listed (a process
/// that ended, or one this process may not look into).
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DirectoryStream stream(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!stream.valid()) return names;
    int error = 0;
    while (auto name = stream.next(error)) names.push_back(std::move(*name));
    return names;
}

/// The file or folder `entry` of one process's folder in `processes`.
std::string entryOf(const std::string& processes, const std::string& process, std::string_view entry) {
    return Paths::joined(Paths::joined(processes, process), entry);
}

bool isProcess(const std::string& name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

/// The mapped files of one process: each line of its maps names the device
/// ("08:01", in hexadecimal) and the inode; 0 for anonymous memory.
void addMappings(const std::string& processes, const std::string& process,
                 std::set<std::pair<uint64_t, uint64_t>>& files) {
    std::ifstream maps(entryOf(processes, process, "maps"));
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, permissions, offset, device;
        uint64_t inode = 0;
        if (!(fields >> range >> permissions >> offset >> device >> inode) || inode == 0) continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(device.c_str(), "%x:%x", &major, &minor) == 2)
            files.insert({static_cast<uint64_t>(::makedev(major, minor)), inode});
    }
}

/// The process that started `process`, as its stat line names it; none when
/// it cannot be read.
std::optional<std::string> parentOf(const std::string& processes, const std::string& process) {
    std::ifstream stat(entryOf(processes, process, "stat"));
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    // The command's name, in parentheses, may hold spaces and parentheses itself.
    const size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string state, parent;
    if (!(fields >> state >> parent) || !isProcess(parent)) return std::nullopt;
    return parent;
}

/// This process and every process above it, up to the first one /proc does not show.
std::set<std::string> selfAndAncestors(const std::string& processes) {
    std::set<std::string> chain{std::to_string(::getpid())};
    std::optional<std::string> next = std::to_string(::getppid());
    while (next && *next != "0" && chain.insert(*next).second) next = parentOf(processes, *next);
    return chain;
}

/// Adds the folder open at `folder` and the folders above it, up to the
/// first one already there (those above it are there too) or the root.
void addWithAncestors(UniqueFd folder, std::set<std::pair<uint64_t, uint64_t>>& folders) {
    while (folder.valid()) {
        struct stat info;
        if (::fstat(folder.get(), &info) != 0) return;
        if (!folders.insert({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)}).second) return;
        // The root is its own parent: it is there by the next round.
        folder = UniqueFd(::openat(folder.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
}

/// The folder a /proc entry leads to (a working folder, a descriptor);
/// nothing when it leads to no folder. O_PATH neither reads it nor waits.
UniqueFd folderAt(const std::string& entry) {
    return UniqueFd(::open(entry.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

std::set<std::pair<uint64_t, uint64_t>> heldByOtherProcesses() {
    std::set<std::pair<uint64_t, uint64_t>> files;
    const std::string self = std::to_string(::getpid());
    // Another machine's processes where the system's tables are redirected.
    const std::string processes = Platform::systemPath("/proc/");
    for (const std::string& process : namesIn(processes)) {
        if (!isProcess(process) || process == self) continue;
        const std::string descriptors = entryOf(processes, process, "fd");
        for (const std::string& fd : namesIn(descriptors)) {
            struct stat info;
            if (::stat(Paths::joined(descriptors, fd).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                files.insert({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)});
        }
        addMappings(processes, process, files);
    }
    return files;
}

std::set<std::pair<uint64_t, uint64_t>> foldersInUseByOtherProcesses() {
    std::set<std::pair<uint64_t, uint64_t>> folders;
    const std::string processes = Platform::systemPath("/proc/");
    const std::set<std::string> leftOut = selfAndAncestors(processes);
    for (const std::string& process : namesIn(processes)) {
        if (!isProcess(process) || leftOut.count(process)) continue;
        addWithAncestors(folderAt(entryOf(processes, process, "cwd")), folders);
        const std::string descriptors = entryOf(processes, process, "fd");
        for (const std::string& fd : namesIn(descriptors))
            addWithAncestors(folderAt(Paths::joined(descriptors, fd)), folders);
    }
    return folders;
}

}  // namespace OpenFiles
