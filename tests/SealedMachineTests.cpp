// The scratch machine the suites run on: what a test and the programs it
// starts see of the system without hooking anything, and what happens when a
// test unseals itself.
#include <unistd.h>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "base/StoredFile.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "platform/Host.hpp"
#include "platform/Mounts.hpp"
#include "platform/Platform.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Scanner.hpp"

using namespace testing_support;

namespace {
bool isSealed(const std::string& path) { return Paths::isInside(path, sealedRoot().string()); }

/// A mount of the first disk's first partition, known by its device number alone.
Mounts::Mount diskEight() {
    Mounts::Mount mount;
    mount.major = 8;
    mount.minor = 1;
    return mount;
}
}  // namespace

TEST(SealedMachine, WithoutHooksATestSeesOnlyScratchFolders) {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
        EXPECT_TRUE(isSealed(Platform::environment(name).value_or("/"))) << name;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "OSTREVANE_HOME"})
        EXPECT_FALSE(Platform::environment(name)) << name;
    EXPECT_EQ(Platform::environment("LANG"), "C.UTF-8");

    auto table = Mounts::readTable();
    ASSERT_TRUE(table);
    std::vector<std::string> mountPoints;
    for (const auto& mount : Mounts::parse(*table)) mountPoints.push_back(mount.mountPoint);
    EXPECT_EQ(mountPoints, std::vector<std::string>{sealedRoot().string()});
    for (const auto& folder : Trash::trashFolders()) EXPECT_TRUE(isSealed(folder)) << folder;
    for (const auto& folder : Destinations::volumeRoots()) EXPECT_TRUE(isSealed(folder)) << folder;
    EXPECT_TRUE(isSealed(Paths::home()));
    // A relative path that a program the test starts writes to lands in the machine.
    EXPECT_TRUE(isSealed(fs::current_path().string()));
    EXPECT_FALSE(Mounts::readFstab());
    {
        ScopedEnv noHome("HOME", std::nullopt);
        EXPECT_EQ(Platform::realHome(), sealedRoot().string()) << "not the password database's home";
        EXPECT_FALSE(Platform::loginShell());
    }
    writeText(sealedRoot() / "etc/machine-info", "PRETTY_HOSTNAME=\"Scratch Machine\"\n");
    EXPECT_EQ(Host::computerName(), "Scratch Machine");
    fs::remove_all(sealedRoot() / "etc");
}

TEST(SealedMachineDeathTest, ATestThatUnsealsItselfStopsBeforeReadingTheMachine) {
    const struct {
        const char* what;
        std::function<void()> read;
    } readers[] = {
        {"/proc/self/mountinfo", [] { Mounts::readTable(); }},
        {"/etc/fstab", [] { Mounts::readFstab(); }},
        {"/sys", [] { Mounts::isInternal(diskEight()); }},
        {"/dev/disk/by-label", [] { Mounts::label(diskEight()); }},
        {"/etc/machine-info", [] { Host::computerName(); }},
        {"/media/", [] { Destinations::volumeRoots(); }},
        {"/etc/passwd",
         [] {
             ScopedEnv noHome("HOME", std::nullopt);
             Platform::realHome();
         }},
    };
    for (const auto& reader : readers)
        EXPECT_DEATH(
            {
                ScopedEnv unsealed("OSTREVANE_SYSTEM_ROOT", std::nullopt);
                reader.read();
            },
            std::string(reader.what) + ".* of the real machine was read inside a test binary")
            << reader.what;
}

// Nothing can be made below /proc, so even an unguarded writer leaves the
// real machine as it was; a link from the scratch home leads there too.
TEST(SealedMachineDeathTest, AWriteOutsideTheScratchMachineStopsTheTestBeforeItIsMade) {
    ScopedHome home;
    const std::string outside = "/proc/ostrevane-outside";
    fs::create_directory_symlink(outside, home.path("leads-out"));
    writeFile(home.path("Documents/a.txt"), 10);
    const struct {
        std::string written;
        std::function<void()> write;
    } writers[] = {
        {outside + "/.config/Ostrevane",
         [] { ConfigStore::update([](AppConfig& config) {
                  config.customDestinations.push_back({"x", "/x"});
              }); }},
        {outside + "/.cache/Ostrevane", [&] { ScanStore::store(Scanner::scan(home.home()), home.home()); }},
        {outside + "/.local/share/Trash", [&] { Trash::moveToTrash(home.path("Documents/a.txt").string()); }},
        {home.path("leads-out/notes.json").string(),
         [&] { StoredFile::write(home.path("leads-out/notes.json"), json::object()); }},
    };
    for (const auto& writer : writers)
        EXPECT_DEATH(
            {
                ScopedEnv elsewhere("OSTREVANE_HOME", outside);
                writer.write();
            },
            writer.written + ", outside the scratch machine .* was about to be written inside a test binary")
            << writer.written;
}

// The tool a test starts reads the scratch machine's mount table, so emptying
// the Trash reaches the scratch root's Trash and not the real disks'.
TEST(SealedMachine, TheToolATestStartsEmptiesTheScratchRootsTrash) {
    ScopedHome home;
    const fs::path trash = sealedRoot() / (".Trash-" + std::to_string(::getuid()));
    writeFile(trash / "files/planted", 10);
    writeText(trash / "info/planted.trashinfo", "[Trash Info]\nPath=/planted\nDeletionDate=2024-01-01T00:00:00\n");

    CLIResult emptied = runCLI({"empty-trash", "--confirm"});

    EXPECT_EQ(emptied.status, 0) << emptied.out << emptied.err;
    EXPECT_EQ(entriesOf(trash / "files"), std::vector<std::string>{});
    fs::remove_all(trash);
}
