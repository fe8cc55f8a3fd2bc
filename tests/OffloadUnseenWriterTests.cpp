// An offload whose source lies on a file system served from elsewhere (FUSE,
// NFS, SMB, 9p): the kernel grants the leases blind to a writer behind the
// mount, so only a last look at what moved can find that writer's writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "base/UniqueFd.hpp"
#include "platform/Leases.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

class OffloadUnseenWriterTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/old");
    fs::path file = source / "sub/data.bin";
    BackupDestination destination;
    ScopedHooks<Backup::Hooks> hooks;
    ScopedHooks<Leases::Hooks> leases;
    int decoys = 0;

    void SetUp() override {
        destination.id = "folder:Drive";
        destination.kind = DestinationKind::folder;
        destination.name = "Drive";
        destination.path = (home.scratch() / "drive").string();
        destination.available = true;
        fs::create_directories(*destination.path);
        writeFile(source / "report.txt", 3000);
        writeFile(file, 2000);
        hooks->openElsewhere = [] { return std::set<std::pair<uint64_t, uint64_t>>(); };
        // Stamps prove the files unchanged at once: no look at their bytes
        // after the move stands in for the one under test.
        hooks->stampStep = [] { return std::chrono::nanoseconds(0); };
        // The lease granted as such a mount grants it, seeing none of the
        // writers behind it: a real lease, on a file no one else has open.
        hooks->takeLease = [this](int fd) {
            const fs::path decoy = writeFile(home.scratch() / ("decoy" + std::to_string(decoys++)), 1);
            UniqueFd stand(::open(decoy.c_str(), O_RDONLY | O_CLOEXEC));
            if (Leases::take(stand.get(), Leases::Kind::write) != 0) return EINVAL;
            return ::dup3(stand.get(), fd, O_CLOEXEC) == fd ? 0 : errno;
        };
    }
    fs::path trashed() const { return fs::path(Trash::filesFolder()) / source.filename() / "sub/data.bin"; }
};

}  // namespace

// The writer behind the mount appends to the file just after the offload's
// first look at it in the Trash has read its status.
TEST_F(OffloadUnseenWriterTest, AWriteBehindTheMountAfterTheMovePutsTheSourceBack) {
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    const ino_t target = status.st_ino;
    const std::pair<const char*, int64_t> fileSystems[] = {
        {"FUSE", 0x65735546}, {"NFS", 0x6969}, {"SMB2", 0xFE534D42}, {"CIFS", 0xFF534D42}, {"9p", 0x01021997}};
    for (const auto& [name, type] : fileSystems) {
        SCOPED_TRACE(name);
        leases->fileSystemType = [type](int) { return type; };
        bool written = false;
        hooks->readStamp = [&](struct stat& read) {
            if (written || read.st_ino != target || !fs::exists(trashed())) return;
            UniqueFd writer(::open(trashed().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
            written = writer.valid() && ::write(writer.get(), "late", 4) == 4;
        };
        OffloadReport report = BackupEngine::offload(source.string(), destination, false);
        EXPECT_TRUE(written);
        EXPECT_FALSE(report.verified);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_EQ(report.message, file.string() +
                                      " changed after the check; the local files were put back where they were and "
                                      "nothing was archived.");
        EXPECT_EQ(fs::file_size(file), 2004u) << "the write is in the file put back";
        EXPECT_TRUE(entriesOf(Trash::filesFolder()).empty());
        writeFile(file, 2000);
    }
}
