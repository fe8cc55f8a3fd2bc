#include <algorithm>
#include <map>

#include "TestSupport.hpp"
#include "platform/Host.hpp"
#include "platform/Mounts.hpp"
#include "scan/Volumes.hpp"

using namespace testing_support;

namespace {

constexpr int64_t GB = 1000000000;

// A laptop: root and /home on NVMe, a bind mount of each, a USB disk whose
// label holds a blank, a mounted installer image, an NFS share, a disk under
// /run/media, and the usual kernel, runtime and snap mounts.
const char* laptopTable =
    "22 29 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "23 29 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw\n"
    "24 29 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8123456k,nr_inodes=2030864,mode=755\n"
    "25 24 0:23 / /dev/pts rw,nosuid,noexec,relatime shared:3 - devpts devpts rw,gid=5,mode=620,ptmxmode=000\n"
    "26 29 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1632456k,mode=755\n"
    "29 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "30 22 0:6 / /sys/kernel/security rw,nosuid,nodev,noexec,relatime shared:8 - securityfs securityfs rw\n"
    "31 24 0:25 / /dev/shm rw,nosuid,nodev shared:4 - tmpfs tmpfs rw\n"
    "33 22 0:27 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 rw,nsdelegate\n"
    "45 29 7:0 / /snap/core20/2015 ro,nodev,relatime shared:26 - squashfs /dev/loop0 ro,errors=continue\n"
    "47 29 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw,fmask=0077,dmask=0077\n"
    "50 29 259:3 / /home rw,relatime shared:32 - ext4 /dev/nvme0n1p3 rw\n"
    "52 29 259:2 /srv/data /srv/data rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "55 50 259:3 /ana/projects /home/ana/projects rw,relatime shared:32 - ext4 /dev/nvme0n1p3 rw\n"
    "60 26 0:48 / /run/user/1000 rw,nosuid,nodev,relatime shared:470 - tmpfs tmpfs rw,mode=700,uid=1000\n"
    "62 60 0:50 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:495 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "64 60 0:51 / /run/user/1000/doc rw,nosuid,nodev,relatime shared:520 - fuse.portal portal rw\n"
    "70 29 8:17 / /media/ana/My\\040Passport rw,nosuid,nodev,relatime shared:600 - exfat /dev/sdb1 rw,fmask=0022\n"
    "72 29 11:0 / /media/ana/Ubuntu\\04022.04 ro,nosuid,nodev,relatime shared:610 - iso9660 /dev/sr0 ro,nojoliet\n"
    "74 29 0:55 / /mnt/nas rw,relatime shared:620 - nfs4 nas.local:/export/backup rw,vers=4.2,addr=192.168.1.9\n"
    "76 26 8:33 / /run/media/ana/archive rw,nosuid,nodev,relatime shared:630 - ext4 /dev/sdc1 rw\n"
    "this line is not part of the table\n";

std::vector<std::string> mountPoints(const std::vector<Mounts::Mount>& mounts) {
    std::vector<std::string> result;
    for (const auto& mount : mounts) result.push_back(mount.mountPoint);
    return result;
}

std::vector<std::string> names(const std::vector<VolumeInfo>& volumes) {
    std::vector<std::string> result;
    for (const auto& volume : volumes) result.push_back(volume.name);
    return result;
}

TEST(MountsTest, ParsesMountinfoLinesWithEscapesAndOptionalFields) {
    auto table = Mounts::parse(laptopTable);
    ASSERT_EQ(table.size(), 21u);
    const auto& root = table[5];
    EXPECT_EQ(root.id, 29);
    EXPECT_EQ(root.parentId, 1);
    EXPECT_EQ(root.major, 259u);
    EXPECT_EQ(root.minor, 2u);
    EXPECT_EQ(root.root, "/");
    EXPECT_EQ(root.mountPoint, "/");
    EXPECT_EQ(root.fsType, "ext4");
    EXPECT_EQ(root.source, "/dev/nvme0n1p2");
    EXPECT_EQ(root.superOptions, "rw,errors=remount-ro");
    EXPECT_EQ(table[17].mountPoint, "/media/ana/My Passport");
    EXPECT_EQ(table[18].mountPoint, "/media/ana/Ubuntu 22.04");
    EXPECT_TRUE(Mounts::isReadOnly(table[18]));
    EXPECT_FALSE(Mounts::isReadOnly(root));
    EXPECT_EQ(table[13].root, "/ana/projects");
}

TEST(MountsTest, UnescapesOnlyThreeDigitOctalEscapes) {
    EXPECT_EQ(Mounts::unescape("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
    EXPECT_EQ(Mounts::unescape("\\04"), "\\04");
    EXPECT_EQ(Mounts::unescape("x\\089"), "x\\089");
    EXPECT_EQ(Mounts::unescape("trailing\\"), "trailing\\");
}

TEST(MountsTest, VolumesLeaveOutPseudoSystemAndRepeatedMountsRootFirst) {
    auto table = Mounts::parse(laptopTable);
    EXPECT_EQ(mountPoints(Mounts::volumes(table)),
              (std::vector<std::string>{"/", "/home", "/media/ana/My Passport", "/media/ana/Ubuntu 22.04", "/mnt/nas",
                                        "/run/media/ana/archive"}));

    // A bind mount listed before the whole file system does not take its place.
    auto reordered = Mounts::parse(
        "55 29 259:3 /ana/projects /home/ana/projects rw - ext4 /dev/nvme0n1p3 rw\n"
        "50 29 259:3 / /home rw - ext4 /dev/nvme0n1p3 rw\n"
        "60 29 0:40 / /data rw - tmpfs tmpfs rw\n"
        "29 1 0:33 / / rw - overlay overlay rw,lowerdir=/a,upperdir=/b\n");
    EXPECT_EQ(mountPoints(Mounts::volumes(reordered)), (std::vector<std::string>{"/", "/home"}));
}

TEST(MountsTest, HoldingFindsTheInnermostMount) {
    auto table = Mounts::parse(laptopTable);
    EXPECT_EQ(Mounts::holding(table, "/home/ana/projects/site")->mountPoint, "/home/ana/projects");
    EXPECT_EQ(Mounts::holding(table, "/home/anna")->mountPoint, "/home");
    EXPECT_EQ(Mounts::holding(table, "/var/log")->mountPoint, "/");
    EXPECT_EQ(Mounts::holding(table, "/media/ana/My Passport")->source, "/dev/sdb1");
    EXPECT_EQ(Mounts::holding({}, "/"), nullptr);
}

/// Hooks that stand in for statvfs, /sys and the label links.
class VolumesTest : public ::testing::Test {
protected:
    std::map<std::string, Mounts::Capacity> capacities{{"/", {500 * GB, 100 * GB}},
                                                       {"/home", {1000 * GB, 10 * GB}},
                                                       {"/media/ana/My Passport", {2000 * GB, 1500 * GB}},
                                                       {"/media/ana/Ubuntu 22.04", {5 * GB, 0}},
                                                       {"/mnt/nas", {0, 0}},
                                                       {"/run/media/ana/archive", {64 * GB, 60 * GB}}};
    std::map<std::string, std::string> labels{{"/dev/sdb1", "My Passport"}, {"/dev/sdc1", "Archive"}};

    ScopedHooks<Mounts::Hooks> mounts;

    void SetUp() override {
        mounts->capacity = [this](const std::string& path) -> std::optional<Mounts::Capacity> {
            auto found = capacities.find(path);
            if (found == capacities.end()) return std::nullopt;
            return found->second;
        };
        mounts->label = [this](const Mounts::Mount& mount) -> std::optional<std::string> {
            auto found = labels.find(mount.source);
            if (found == labels.end()) return std::nullopt;
            return found->second;
        };
        mounts->isInternal = [](const Mounts::Mount& mount) { return mount.major == 259; };
        mounts->readTable = [] { return std::optional<std::string>(laptopTable); };
    }
};

TEST_F(VolumesTest, TheListIsRootFirstThenByNameWithoutReadOnlyOrEmptyVolumes) {
    auto volumes = Volumes::list();
    // The installer image is read-only and the share reports no capacity;
    // a small letter sorts after every capital.
    EXPECT_EQ(names(volumes), (std::vector<std::string>{Host::computerName(), "Archive", "My Passport", "home"}));
    const VolumeInfo& root = volumes[0];
    EXPECT_TRUE(root.isRoot);
    EXPECT_TRUE(root.isInternal);
    EXPECT_EQ(root.mountPoint, "/");
    EXPECT_EQ(root.totalBytes, 500 * GB);
    EXPECT_EQ(root.freeBytes, 100 * GB);
    EXPECT_EQ(root.availableBytes, 100 * GB);
    EXPECT_EQ(root.purgeableBytes, 0);
    EXPECT_EQ(root.usedBytes, 400 * GB);
    EXPECT_EQ(root.usedPercent, 80.0);
    EXPECT_EQ(root.total, "500 GB");
    EXPECT_EQ(volumes[2].mountPoint, "/media/ana/My Passport");
    EXPECT_FALSE(volumes[2].isInternal);
    EXPECT_FALSE(volumes[2].isRoot);
    EXPECT_EQ(volumes[3].mountPoint, "/home");
}

TEST_F(VolumesTest, ARootMissingFromTheTableIsStillPutFirst) {
    auto table = Mounts::parse(
        "70 29 8:17 / /media/ana/My\\040Passport rw - exfat /dev/sdb1 rw\n"
        "76 26 8:33 / /run/media/ana/archive rw - ext4 /dev/sdc1 rw\n");
    auto volumes = Volumes::fromMountTable(table);
    EXPECT_EQ(names(volumes), (std::vector<std::string>{Host::computerName(), "Archive", "My Passport"}));
    EXPECT_FALSE(volumes[0].isInternal);
    capacities.erase("/");
    EXPECT_EQ(names(Volumes::fromMountTable(table)), (std::vector<std::string>{"Archive", "My Passport"}));
}

// A volume is named by its label; without one, the volume holding "/" by the
// computer's name and any other by its mount point's last component.
TEST_F(VolumesTest, NamesComeFromLabelsThenTheComputerThenTheMountPoint) {
    ASSERT_NE(Host::computerName(), "/");
    EXPECT_EQ(Volumes::info("/")->name, Host::computerName());
    capacities["/etc/hosts"] = {500 * GB, 100 * GB};
    EXPECT_EQ(Volumes::info("/etc/hosts")->name, Host::computerName());
    labels["/dev/nvme0n1p2"] = "System";
    EXPECT_EQ(names(Volumes::list()), (std::vector<std::string>{"System", "Archive", "My Passport", "home"}));
    labels.clear();
    EXPECT_EQ(names(Volumes::list()),
              (std::vector<std::string>{Host::computerName(), "My Passport", "archive", "home"}));
}

TEST_F(VolumesTest, NamesThatAreCanonicallyEqualKeepTheirOrder) {
    labels = {{"/dev/sdb1", "Cafe\xCC\x81"}, {"/dev/sdc1", "Caf\xC3\xA9"}};
    auto volumes = Volumes::fromMountTable(Mounts::parse(laptopTable));
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[1].mountPoint, "/media/ana/My Passport");
    EXPECT_EQ(volumes[2].mountPoint, "/run/media/ana/archive");
}

TEST_F(VolumesTest, InfoDescribesTheVolumeHoldingAPathUnderThatPath) {
    capacities["/media/ana/My Passport/Photos"] = {2000 * GB, 1500 * GB};
    auto info = Volumes::info("/media/ana/My Passport/Photos");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "My Passport");
    EXPECT_EQ(info->mountPoint, "/media/ana/My Passport/Photos");
    EXPECT_FALSE(info->isRoot);
    EXPECT_EQ(Volumes::info("/mnt/nas"), std::nullopt);
    EXPECT_EQ(Volumes::info("/nowhere"), std::nullopt);
    ASSERT_TRUE(Volumes::root());
    EXPECT_TRUE(Volumes::root()->isRoot);
}

TEST(VolumeInfoTest, ArithmeticFollowsFreeAndImportantCapacity) {
    auto more = VolumeInfo::make("v", "/v", 100 * GB, 40 * GB, 55 * GB, true);
    EXPECT_EQ(more->availableBytes, 55 * GB);
    EXPECT_EQ(more->purgeableBytes, 15 * GB);
    EXPECT_EQ(more->usedBytes, 60 * GB);
    auto less = VolumeInfo::make("v", "/v", 100 * GB, 55 * GB, 40 * GB, true);
    EXPECT_EQ(less->availableBytes, 55 * GB);
    EXPECT_EQ(less->purgeableBytes, 0);

    auto unknownFree = VolumeInfo::make("v", "/v", 100 * GB, 0, 0, false);
    EXPECT_EQ(unknownFree->usedBytes, 100 * GB);
    EXPECT_EQ(unknownFree->usedPercent, 100.0);
    EXPECT_EQ(unknownFree->used, unknownFree->total);
    EXPECT_EQ(unknownFree->available, "0 KB");

    EXPECT_EQ(VolumeInfo::make("v", "/v", 16, 15, 0, false)->usedPercent, 6.3);
    EXPECT_EQ(VolumeInfo::make("v", "/v", 0, 0, 0, false), std::nullopt);
    EXPECT_EQ(VolumeInfo::make("v", "/v", -5, 0, 0, false), std::nullopt);
}

TEST(MountsTest, CapacityLeavesBlocksReservedForRootOutAsDfDoes) {
    struct statvfs status {};
    status.f_frsize = 4096;
    status.f_bsize = 1 << 20;  // the preferred I/O size, not the unit of the counts
    status.f_blocks = 1000;
    status.f_bfree = 300;  // 50 of them reserved for root
    status.f_bavail = 250;
    Mounts::Capacity capacity = Mounts::capacityOf(status);
    EXPECT_EQ(capacity.available, 250 * 4096);
    EXPECT_EQ(capacity.total, 950 * 4096);
    auto volume = VolumeInfo::make("v", "/v", capacity.total, capacity.available, 0, true);
    EXPECT_EQ(volume->usedBytes, 700 * 4096);
    EXPECT_EQ(volume->usedBytes + volume->availableBytes, volume->totalBytes);
    EXPECT_EQ(volume->usedPercent, 73.7);
}

TEST(VolumeInfoTest, JSONHoldsAllThirteenKeys) {
    auto volume = *VolumeInfo::make("Data", "/data", 16, 15, 0, false);
    json document = volume;
    EXPECT_EQ(document.size(), 13u);
    for (const char* key : {"name", "mountPoint", "totalBytes", "usedBytes", "availableBytes", "freeBytes",
                            "purgeableBytes", "usedPercent", "isInternal", "isRoot", "total", "used", "available"})
        EXPECT_TRUE(document.contains(key)) << key;
    EXPECT_EQ(document.get<VolumeInfo>(), volume);
    document.erase("purgeableBytes");
    EXPECT_ANY_THROW(document.get<VolumeInfo>());
}

// /sys and /dev/disk/by-label

class SysfsTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path sys() const { return dir.path() / "sys"; }
    fs::path labels() const { return dir.path() / "by-label"; }

    /// A disk folder under /sys/devices with its partitions, each linked from /sys/dev/block.
    void addDisk(const std::string& devicePath, const std::string& removable,
                 const std::vector<std::pair<std::string, std::string>>& partitions, const std::string& diskNumbers) {
        fs::path disk = sys() / devicePath;
        writeText(disk / "removable", removable + "\n");
        link(diskNumbers, disk);
        for (const auto& [name, numbers] : partitions) {
            writeText(disk / name / "partition", "1\n");
            link(numbers, disk / name);
        }
    }
    void link(const std::string& numbers, const fs::path& target) {
        fs::create_directories(sys() / "dev" / "block");
        fs::create_directory_symlink(fs::relative(target, sys() / "dev" / "block"), sys() / "dev" / "block" / numbers);
    }
    bool internal(unsigned major, unsigned minor) { return Mounts::internalFromSysfs(sys().string(), major, minor); }
};

TEST_F(SysfsTest, InternalMeansABuiltInDiskThatIsNotRemovable) {
    addDisk("devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "0",
            {{"nvme0n1p2", "259:2"}, {"nvme0n1p3", "259:3"}}, "259:0");
    addDisk("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb", "0",
            {{"sdb1", "8:17"}}, "8:16");
    addDisk("devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sdc", "1", {{"sdc1", "8:33"}},
            "8:32");
    // An encrypted volume on the NVMe disk, and a loop device.
    fs::path crypt = sys() / "devices/virtual/block/dm-0";
    fs::create_directories(crypt / "slaves");
    fs::create_directory_symlink(
        fs::relative(sys() / "devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1/nvme0n1p3",
                     crypt / "slaves"),
        crypt / "slaves" / "nvme0n1p3");
    link("254:0", crypt);
    fs::create_directories(sys() / "devices/virtual/block/loop0");
    link("7:0", sys() / "devices/virtual/block/loop0");

    EXPECT_TRUE(internal(259, 2));
    EXPECT_TRUE(internal(259, 0));
    EXPECT_FALSE(internal(8, 17)) << "a disk on USB";
    EXPECT_FALSE(internal(8, 33)) << "a removable disk";
    EXPECT_TRUE(internal(254, 0)) << "device-mapper on the built-in disk";
    EXPECT_FALSE(internal(7, 0)) << "a disk image";
    EXPECT_FALSE(internal(9, 9)) << "unknown";
}

TEST_F(SysfsTest, LabelsComeFromTheLinkNamingTheSameDevice) {
    addDisk("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb", "0",
            {{"sdb1", "8:17"}, {"sdb2", "8:18"}}, "8:16");
    fs::create_directories(labels());
    fs::create_symlink("../../sdb1", labels() / "My\\x20Passport");
    fs::create_symlink("../../sdb11", labels() / "Other");
    EXPECT_EQ(Mounts::labelFromFolder(labels().string(), sys().string(), 8, 17), "My Passport");
    EXPECT_EQ(Mounts::labelFromFolder(labels().string(), sys().string(), 8, 18), std::nullopt);
    EXPECT_EQ(Mounts::labelFromFolder((dir.path() / "none").string(), sys().string(), 8, 17), std::nullopt);
    EXPECT_EQ(Mounts::unescapeLabel("a\\x2fb\\x5c\\xzz"), "a/b\\\\xzz");
}

TEST(VolumesSystemTest, TheRunningSystemListsItsRootFirst) {
    auto volumes = Volumes::list();
    ASSERT_FALSE(volumes.empty());
    EXPECT_TRUE(volumes.front().isRoot);
    EXPECT_EQ(volumes.front().mountPoint, "/");
    EXPECT_GT(volumes.front().totalBytes, 0);
    EXPECT_EQ(std::count_if(volumes.begin(), volumes.end(), [](const VolumeInfo& v) { return v.isRoot; }), 1);
}

}  // namespace
