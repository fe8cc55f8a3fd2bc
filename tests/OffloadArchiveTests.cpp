// What an offload archived is the only copy once the Trash is emptied: no
// later backup or offload, from this home or another of the same computer,
// may replace it; and no two sources share one place in the layout.
#include <fstream>

#include "TestDestinations.hpp"
#include "TestSupport.hpp"
#include "backup/Archive.hpp"
#include "backup/Backup.hpp"
#include "platform/Host.hpp"
#include "platform/ProgramSearch.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

std::string messageOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const OstrevaneError& error) {
        return error.message;
    }
    return "(no error)";
}

class OffloadArchiveTest : public HomeTest {
protected:
    fs::path drive = home.scratch() / "drive";
    BackupDestination destination = folderDestination(drive);
    ScopedHooks<Archive::Hooks> archive;

    void SetUp() override {
        fs::create_directories(drive);
        archive->ignoresCase = [](const std::string&) { return false; };
    }
    fs::path copyOf(const fs::path& source) const { return drive / BackupEngine::relativeTarget(source.string()); }

    /// Offloads `source` and empties the Trash, as the offload's message advises.
    void offloadAndEmptyTrash(const fs::path& source) {
        OffloadReport offloaded = BackupEngine::offload(source.string(), destination, false);
        ASSERT_TRUE(offloaded.sourceTrashed) << offloaded.message;
        fs::remove_all(Trash::filesFolder());
    }
};

std::string conflictLine(const std::string& path) {
    return "\nConflict: " + path +
           " wasn’t copied; its place at the destination holds an offloaded file’s archive, which was kept.";
}

}  // namespace

TEST_F(OffloadArchiveTest, NoLaterStepReplacesWhatAnOffloadArchived) {
    struct Step {
        std::string name;
        /// Backs up or offloads the new file at the archived path; the report of its backup.
        std::function<BackupReport(const fs::path& file)> run;
        /// Whether the step's run is in this home's history.
        bool inThisHistory = true;
    };
    const std::vector<Step> steps = {
        {"a backup of the file", [&](const fs::path& file) { return BackupEngine::run(file.string(), destination); }},
        {"a backup of its folder",
         [&](const fs::path& file) { return BackupEngine::run(file.parent_path().string(), destination); }},
        {"an offload of the file",
         [&](const fs::path& file) {
             OffloadReport report = BackupEngine::offload(file.string(), destination, false);
             EXPECT_FALSE(report.sourceTrashed);
             EXPECT_TRUE(fs::exists(file)) << "the local file stays";
             return report.backup;
         }},
        {"another home's backup on a computer of the same name",
         [&](const fs::path&) {
             ScopedHome other;
             const fs::path file = other.path("Documents/report.txt");
             writeText(file, "Bob's own report");
             return BackupEngine::run(file.string(), destination);
         },
         false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        fs::remove_all(drive);
        fs::create_directories(drive);
        const fs::path file = home.path("Documents/report.txt");
        writeText(file, "ORIGINAL v1");
        offloadAndEmptyTrash(file);
        writeText(file, "NEW unrelated");

        BackupReport report = step.run(file);
        EXPECT_EQ(readText(copyOf(file)), "ORIGINAL v1");
        EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
        EXPECT_EQ(report.conflicts, std::vector<std::string>{"~/Documents/report.txt"});
        EXPECT_TRUE(report.summary.ends_with(conflictLine("~/Documents/report.txt"))) << report.summary;
        if (step.inThisHistory) {
            EXPECT_EQ(summaryText(BackupHistory::load().front()), report.summary) << "the history keeps the conflict";
        }
        fs::remove(file);
    }
}

TEST_F(OffloadArchiveTest, EachOffloadKeepsARecordOfItsOwn) {
    // Two offloads of one folder's files: neither record may cost the other's entries.
    const fs::path first = home.path("Projects/a/notes.txt"), second = home.path("Projects/b/data.txt");
    writeText(first, "first");
    writeText(second, "second");
    offloadAndEmptyTrash(first);
    offloadAndEmptyTrash(second);
    const fs::path records = drive / "Ostrevane Backups/.offloads" / Host::computerName();
    EXPECT_EQ(entriesOf(records).size(), 2u);

    writeText(first, "rewritten");
    writeText(second, "rewritten");
    BackupReport report = BackupEngine::run(home.path("Projects").string(), destination);
    EXPECT_EQ(readText(copyOf(first)), "first");
    EXPECT_EQ(readText(copyOf(second)), "second");
    EXPECT_EQ(report.conflicts, (std::vector<std::string>{"~/Projects/a/notes.txt", "~/Projects/b/data.txt"}));
}

TEST_F(OffloadArchiveTest, ChangedFilesStillReplaceTheirCopiesWhenNoOffloadArchivedThem) {
    // Offloaded once and put back by hand (so unchanged): still current, no conflict.
    const fs::path restored = home.path("Projects/kept.txt"), plain = home.path("Projects/plain.txt");
    writeText(restored, "kept");
    offloadAndEmptyTrash(restored);
    writeText(restored, "kept");
    writeText(plain, "v1");
    ASSERT_EQ(BackupEngine::run(plain.string(), destination).status, BackupStatus::ok);
    writeText(plain, "version 2");

    BackupReport report = BackupEngine::run(home.path("Projects").string(), destination);
    EXPECT_EQ(report.status, BackupStatus::ok) << report.summary;
    EXPECT_FALSE(report.conflicts.has_value());
    EXPECT_EQ(readText(copyOf(plain)), "version 2");
    EXPECT_EQ(readText(copyOf(restored)), "kept");
}

TEST_F(OffloadArchiveTest, TwoSourcesNeverShareOnePlace) {
    struct Case {
        std::string source;  // below the home
        bool ignoringCase;
        std::string other;  // the source whose place it would take; empty: none
    };
    const std::vector<Case> cases = {
        {"Home", false, "~"},     {"Home/thesis", false, "~/thesis"},
        {"_root/x", false, "/x"}, {"home", false, ""},
        {"home", true, "~"},      {"_ROOT/x", true, "/x"},
        {"Homework", true, ""},
    };
    for (const auto& [source, ignoringCase, other] : cases) {
        SCOPED_TRACE(source);
        archive->ignoresCase = [ignoringCase](const std::string&) { return ignoringCase; };
        const fs::path path = home.path(source);
        writeText(path / "thesis.txt", "x");
        const std::string message = messageOf([&] { BackupEngine::run(path.string(), destination); });
        const std::string expected =
            other.empty() ? "(no error)"
                          : "~/" + source + " would take the same place at the destination as the backup of " + other +
                                ", and each would overwrite the other; rename it or move it elsewhere before backing "
                                "it up.";
        EXPECT_EQ(message, expected);
        if (!other.empty()) {
            EXPECT_EQ(messageOf([&] { BackupEngine::offload(path.string(), destination, false); }), expected);
            EXPECT_TRUE(fs::exists(path / "thesis.txt"));
            EXPECT_FALSE(fs::exists(drive / "Ostrevane Backups")) << "nothing is copied";
        }
        fs::remove_all(path);
        fs::remove_all(drive / "Ostrevane Backups");
    }
}

TEST_F(OffloadArchiveTest, ADriveThatIgnoresCaseIsKnownByItsFileSystem) {
    archive->ignoresCase = archive.previous().ignoresCase;
    ScopedHooks<Mounts::Hooks> mounts;
    const fs::path source = home.path("home");
    writeText(source / "thesis.txt", "x");
    for (const auto& [type, ignoring] : std::vector<std::pair<std::string, bool>>{{"exfat", true},
                                                                                  {"vfat", true},
                                                                                  {"ntfs3", true},
                                                                                  {"cifs", true},
                                                                                  {"fuse.fusefat", true},
                                                                                  {"fuse.ntfs-3g", true},
                                                                                  {"fuseblk", true},
                                                                                  {"ext4", false},
                                                                                  {"fuse.sshfs", false}}) {
        SCOPED_TRACE(type);
        const std::string table = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:17 / " + drive.string() + " rw - " + type +
                                  " /dev/sdb1 rw\n";
        mounts->readTable = [table] { return std::optional<std::string>(table); };
        const std::string message = messageOf([&] { BackupEngine::run(source.string(), destination); });
        EXPECT_EQ(message.starts_with("~/home would take the same place at the destination as the backup of ~,"),
                  ignoring)
            << message;
    }
}

TEST_F(OffloadArchiveTest, ThroughRcloneTheArchiveIsKeptToo) {
    if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
    const fs::path remoteFolder = home.scratch() / "remote";
    fs::create_directories(remoteFolder);
    ScopedEnv type("RCLONE_CONFIG_TESTREMOTE_TYPE", "alias");
    ScopedEnv where("RCLONE_CONFIG_TESTREMOTE_REMOTE", remoteFolder.string());
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());
    BackupDestination remote;
    remote.id = "rclone:testremote";
    remote.kind = DestinationKind::rclone;
    remote.name = "rclone · testremote";
    remote.rcloneRemote = "testremote:";
    remote.available = true;

    const fs::path folder = home.path("Projects/p1"), file = folder / "report.txt";
    writeText(file, "ORIGINAL v1");
    writeText(folder / "other.txt", "other");
    OffloadReport offloaded = BackupEngine::offload(folder.string(), remote, false);
    ASSERT_TRUE(offloaded.sourceTrashed) << offloaded.message;
    fs::remove_all(Trash::filesFolder());
    writeText(file, "NEW unrelated");
    writeText(folder / "fresh.txt", "fresh");

    for (const fs::path& source : {file, folder}) {
        SCOPED_TRACE(source.string());
        BackupReport report = BackupEngine::run(source.string(), remote);
        const fs::path landed = remoteFolder / BackupEngine::relativeTarget(folder.string());
        EXPECT_EQ(readText(landed / "report.txt"), "ORIGINAL v1");
        EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
        EXPECT_EQ(report.conflicts, std::vector<std::string>{"~/Projects/p1/report.txt"});
        EXPECT_EQ(fs::exists(landed / "fresh.txt"), source == folder) << "the rest is copied";
    }
}
