// An offload that keeps its source: a file another descriptor holds open,
// one opened while the source moves, the pipes and sockets the backup does
// not copy, and a source changed just before its move.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "base/UniqueFd.hpp"
#include "platform/Host.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

using FileId = std::pair<uint64_t, uint64_t>;

FileId idOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

FileId idOf(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return idOf(status);
}

class OffloadKeptTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/old");
    fs::path drive = home.scratch() / "drive";
    BackupDestination destination;
    ScopedHooks<Backup::Hooks> hooks;

    void SetUp() override {
        destination.id = "folder:Drive";
        destination.kind = DestinationKind::folder;
        destination.name = "Drive";
        destination.path = drive.string();
        destination.available = true;
        fs::create_directories(drive);
        writeFile(source / "report.txt", 3000);
        writeFile(source / "sub/data.bin", 2000);
        // Nothing of this machine is asked which files its processes hold.
        hooks->openElsewhere = [] { return std::set<FileId>(); };
    }
    fs::path trashedSource() const { return fs::path(Trash::filesFolder()) / source.filename(); }

    /// The message of an offload that kept its source for the entries listed.
    static std::string keptMessage(const std::vector<std::pair<fs::path, std::string>>& kept) {
        std::string list;
        for (const auto& [path, reason] : kept)
            list += (list.empty() ? "" : "; ") + path.string() + " (" + reason + ")";
        return "The backup and check succeeded, but " + std::to_string(kept.size()) +
               (kept.size() == 1 ? " item wasn’t handled" : " items weren’t handled") +
               ", so local files were left alone: " + list;
    }
};

const std::string inUse = "in use by another program";

}  // namespace

// A write lease is refused while any other descriptor of the file is open,
// one of this process too, and one opened for reading as well. Where no lease
// can be had, the open files of the other processes decide.
TEST_F(OffloadKeptTest, AFileAnotherDescriptorHoldsOpenKeepsTheSource) {
    struct Case {
        const char* what;
        std::function<UniqueFd()> arrange;
        bool kept;
        bool singleFile = false;
    };
    const fs::path file = source / "sub/data.bin";
    const Case cases[] = {
        {"open for writing", [&] { return UniqueFd(::open(file.c_str(), O_WRONLY | O_CLOEXEC)); }, true},
        {"open for reading", [&] { return UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC)); }, true},
        {"the source itself open for writing", [&] { return UniqueFd(::open(file.c_str(), O_WRONLY | O_CLOEXEC)); },
         true, true},
        {"no lease there, open in another process",
         [&] {
             hooks->takeLease = [](int) { return EINVAL; };
             hooks->openElsewhere = [&] { return std::set<FileId>{idOf(file)}; };
             return UniqueFd();
         },
         true},
        {"no lease there, open nowhere",
         [&] {
             hooks->takeLease = [](int) { return ENOLCK; };
             return UniqueFd();
         },
         false},
        // Its two names are one file: leasing it twice would break the first lease.
        {"hard-linked, open nowhere",
         [&] {
             fs::create_hard_link(file, source / "link.bin");
             return UniqueFd();
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        ScopedHooks<Backup::Hooks> restored;
        UniqueFd held = c.arrange();
        const fs::path offloaded = c.singleFile ? file : source;
        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        held.reset();
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_EQ(report.sourceTrashed, !c.kept) << report.message;
        if (c.kept) {
            EXPECT_TRUE(report.verified);
            EXPECT_EQ(report.message, keptMessage({{file, inUse}}));
            EXPECT_EQ(fs::file_size(file), 2000u);
            EXPECT_TRUE(entriesOf(Trash::filesFolder()).empty());
        } else {
            EXPECT_TRUE(fs::exists(trashedSource() / "sub/data.bin"));
        }
        fs::remove_all(source);
        fs::remove_all(Trash::filesFolder());
        fs::remove_all(Trash::infoFolder());
    }
}

// A writer that opens a file while the source moves waits until the offload
// lets go; by then the source is back in place, and its write lands there.
TEST_F(OffloadKeptTest, AFileOpenedDuringTheMoveIsPutBackBeforeTheOpenGoesOn) {
    const fs::path file = source / "sub/data.bin";
    const FileId target = idOf(file);
    std::thread writer;
    const auto lease = hooks->takeLease;
    hooks->takeLease = [&](int fd) {
        const int error = lease(fd);
        struct stat status {};
        if (error != 0 || ::fstat(fd, &status) != 0 || idOf(status) != target) return error;
        writer = std::thread([&] {
            UniqueFd out(::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
            if (out.valid()) (void)!::write(out.get(), "late", 4);
        });
        // The writer's open shows in the lease as soon as it waits on it.
        while (::fcntl(fd, F_GETLEASE) == F_WRLCK) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    };
    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    ASSERT_TRUE(writer.joinable()) << report.message;
    writer.join();
    EXPECT_FALSE(report.verified);
    EXPECT_FALSE(report.sourceTrashed);
    EXPECT_EQ(report.message, file.string() +
                                  " was opened by another program during the move; the local files were put back "
                                  "where they were and nothing was archived.");
    EXPECT_EQ(fs::file_size(file), 2004u) << "the write went into the file put back";
    EXPECT_TRUE(entriesOf(Trash::filesFolder()).empty());
    EXPECT_TRUE(entriesOf(Trash::infoFolder()).empty()) << "its record goes with it";
}

// The backup passes over pipes, sockets and devices: they would go to the
// Trash uncopied along with their folder, which therefore stays whole.
TEST_F(OffloadKeptTest, AFolderWithEntriesTheBackupDoesNotCopyStays) {
    const std::string uncopied = "a pipe, socket or device, which the backup doesn’t copy";
    const fs::path pipe = source / "sub/pipe", socketPath = source / "sock";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_EQ(report.backup.status, BackupStatus::ok);
    EXPECT_TRUE(report.verified);
    EXPECT_FALSE(report.sourceTrashed);
    // In the order the walk meets them, which is the folder's.
    const std::set<std::string> messages = {keptMessage({{socketPath, uncopied}, {pipe, uncopied}}),
                                            keptMessage({{pipe, uncopied}, {socketPath, uncopied}})};
    EXPECT_TRUE(messages.count(report.message)) << report.message;
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_socket(socketPath));
    EXPECT_EQ(fs::file_size(source / "report.txt"), 3000u);
    EXPECT_TRUE(entriesOf(Trash::filesFolder()).empty());
}

// Between its check and its move the source itself changed: it stays, and
// its copy is not reported verified, as on the way back from the Trash.
TEST_F(OffloadKeptTest, ASourceChangedBeforeItsMoveIsNotReportedVerified) {
    const fs::path file = source / "report.txt";
    const std::pair<fs::path, fs::path> cases[] = {{source, source / "new.txt"}, {file, file}};
    for (const auto& [offloaded, written] : cases) {
        SCOPED_TRACE(offloaded.string());
        ScopedHooks<Backup::Hooks> restored;
        hooks->afterCheck = [&] { writeFile(written, 10); };
        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        EXPECT_FALSE(report.verified);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_EQ(report.message, offloaded.string() + " changed after the check; local files were left alone.");
        EXPECT_EQ(fs::file_size(written), 10u);
    }
}

// A drive pulled during the offload (a lazy unmount) leaves its path to the
// bare mount point on the internal disk: the copies, their check and the
// record all go on through the folder the first open found, and the source
// stays.
TEST_F(OffloadKeptTest, ADrivePulledDuringTheOffloadTakesEveryWriteWithItAndTheSourceStays) {
    const fs::path pulled = home.scratch() / "pulled";
    const fs::path file = source / "report.txt";
    for (const fs::path& offloaded : {source, file}) {
        SCOPED_TRACE(offloaded.string());
        ScopedHooks<Backup::Hooks> restored;
        int opens = 0;
        hooks->openDestination = [&](const std::string& path) {
            ++opens;
            return restored.previous().openDestination(path);
        };
        std::once_flag pull;
        hooks->copyContents = [&](const std::string&, int64_t) {
            std::call_once(pull, [&] {
                fs::rename(drive, pulled);
                fs::create_directories(drive);
            });
            return 0;
        };
        const fs::path records = pulled / "Ostrevane Backups/.offloads" / Host::computerName();
        size_t recordsBeforeTheMove = 0;
        hooks->afterCheck = [&] { recordsBeforeTheMove = entriesOf(records).size(); };

        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        EXPECT_EQ(opens, 1) << "the destination's path is opened once";
        EXPECT_EQ(recordsBeforeTheMove, 1u) << "the record went to the drive of the copies";
        EXPECT_TRUE(entriesOf(drive).empty()) << "nothing was written by path";
        EXPECT_EQ(readText(pulled / BackupEngine::relativeTarget(file.string())), readText(file));
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_TRUE(fs::exists(file));
        EXPECT_EQ(report.message, "The backup and check succeeded, but the drive of " + drive.string() +
                                      " went away during the offload; local files were left alone.");
        EXPECT_TRUE(entriesOf(records).empty()) << "the record of a source that stayed is withdrawn";
        fs::remove_all(pulled);
    }
}

// A program whose working folder, or a folder it holds open, lies in the
// source saves its next file wherever the folder went, the Trash after the
// move: the source stays. This process and the ones it was started from (the
// user's shell, in `cd ~/Arch; ostrevane offload .`) do not count.
TEST_F(OffloadKeptTest, AFolderAnotherProgramWorksInKeepsTheSource) {
    const fs::path processes = sealedRoot() / "proc";
    const std::string self = std::to_string(::getpid()), parent = std::to_string(::getppid());
    std::vector<std::string> entries;
    std::vector<int> started;
    // A program of its own, its entry the one the kernel shows.
    auto start = [&](const fs::path& workingFolder, int inputFd = -1) {
        Shell::StartOptions options;
        options.workingFolder = workingFolder.string();
        options.inputFd = inputFd;
        Shell::Started child = Shell::start("/bin/sleep", {"600"}, options);
        ASSERT_EQ(child.error, 0);
        started.push_back(child.pid);
        entries.push_back(std::to_string(child.pid));
        fs::create_directory_symlink("/proc/" + entries.back(), processes / entries.back());
    };
    // A process that cannot be started here (this one's parents), as /proc would show it.
    auto stand = [&](const std::string& process, const fs::path& workingFolder, const std::string& startedBy = "1") {
        entries.push_back(process);
        fs::create_directories(processes / process);
        fs::create_directory_symlink(workingFolder, processes / process / "cwd");
        writeText(processes / process / "stat", process + " (a shell (really)) S " + startedBy + " 1 1\n");
    };
    const std::string farAbove = "4194000";
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool kept;
    };
    const Case cases[] = {
        {"another program works in it", [&] { start(source / "sub"); }, true},
        {"another program holds one of its folders open",
         [&] {
             UniqueFd folder(::open((source / "sub").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
             start(drive, folder.get());
         },
         true},
        {"a process this one did not start works in it", [&] { stand(farAbove, source); }, true},
        {"this process works in it", [&] { stand(self, source); }, false},
        {"the shell that started this process works in it", [&] { stand(parent, source); }, false},
        {"a shell further up works in it",
         [&] {
             stand(parent, drive, farAbove);
             stand(farAbove, source / "sub");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.arrange();
        OffloadReport report = BackupEngine::offload(source.string(), destination, false);
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_EQ(report.sourceTrashed, !c.kept) << report.message;
        if (c.kept) {
            EXPECT_EQ(report.message, keptMessage({{source, inUse}}));
        }
        for (int pid : started) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        started.clear();
        for (const auto& entry : entries) fs::remove_all(processes / entry);
        entries.clear();
        fs::remove_all(source);
        fs::remove_all(Trash::filesFolder());
        fs::remove_all(Trash::infoFolder());
        fs::remove_all(drive / "Ostrevane Backups");
    }
}
