// The scratch machine every test process runs on. The suites' main creates it
// before the first test: a folder that stands for "/" (OSTREVANE_SYSTEM_ROOT,
// read by the platform layer for the mount table, fstab, sysfs, the disk
// labels, the machine's name and the volume folders), with a home, the XDG
// folders, a temporary folder and a mount table of its own inside, and an
// environment that names only those, so neither a test nor a program it starts
// reads or changes the machine it runs on. The tool's own writes outside the
// machine (and its memory folder) stop the process (WriteSeal).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/ScopedHooks.hpp"
#include "platform/Platform.hpp"

namespace testing_support {

class SealedMachine {
public:
    SealedMachine();
    ~SealedMachine();
    SealedMachine(const SealedMachine&) = delete;
    SealedMachine& operator=(const SealedMachine&) = delete;

    /// The entries of the real "/" that appeared since the machine was
    /// made: writes its programs made outside it, which the seal of this
    /// process can't see. Empty in a process started by a sealed test.
    std::vector<std::string> newAtTheRealRoot() const;

private:
    /// Empty in a process started by a sealed test, which uses the machine of its parent.
    std::filesystem::path root;
    /// The machine's folder on a memory file system, when it has one of its own.
    std::filesystem::path memory;
    /// The folder the process ran in before it moved into the machine.
    std::filesystem::path startedIn;
    std::unique_ptr<ScopedHooks<Platform::Hooks>> decided;
    /// The names at the real "/" when the machine was made.
    std::vector<std::string> realRootBefore;
};

/// The folder that stands for "/" in this process: the one mount of the
/// default mount table, and where a ScopedMountTable mounts its root.
std::filesystem::path sealedRoot();
/// A folder of this machine on a memory file system (/dev/shm) where the
/// real one offers it, for trees a disk makes slow; else its temporary
/// folder. Writes there are as sealed as in the machine.
std::filesystem::path memoryFolder();
/// The mount table line of the disk 8:`minor` mounted at `mountPoint`.
std::string mountLine(int id, const std::filesystem::path& mountPoint, unsigned minor);

}  // namespace testing_support
