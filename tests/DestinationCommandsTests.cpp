// The `destinations` and `plans` commands of the built tool, run on a
// temporary home.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <regex>
#include <thread>

#include "SealedMachine.hpp"
#include "Support.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"

using namespace testing_support;

namespace {

class DestinationCommandsTest : public HomeTest {
protected:
    void SetUp() override {
        // A silent rclone stand-in keeps the tool away from any real rclone
        // configuration and makes discovery quick.
        fs::path bin = home.scratch() / "bin";
        writeText(bin / "rclone", "#!/bin/sh\nexit 0\n");
        fs::permissions(bin / "rclone", fs::perms::owner_all);
        path = std::make_unique<ScopedEnv>("PATH", bin.string() + ":" + std::getenv("PATH"));
    }

    fs::path folder(const std::string& relative) {
        fs::path created = home.path(relative);
        fs::create_directories(created);
        return created;
    }
    fs::path configFile() const { return home.path(".config/Ostrevane/config.json"); }
    json config() const { return json::parse(readText(configFile())); }

    std::unique_ptr<ScopedEnv> path;
};

const std::string noPlans = "No backup plans yet. Add one with ostrevane plans add <path> --to <destination>.\n";

void expectUsage(const CLIResult& result, const std::string& usage) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(usage), std::string::npos) << result.err;
}

void expectError(const CLIResult& result, const std::string& message) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: " + message + "\n");
}

/// The sealed machine's mount table, as the tool started by a test reads it,
/// listing `disks` (one minor number each) beside the root; put back when
/// the object goes.
class MountTableFile {
public:
    MountTableFile() : file(sealedRoot() / "proc/self/mountinfo"), kept(readText(file)) {}
    ~MountTableFile() { writeText(file, kept); }
    void list(const std::vector<std::pair<fs::path, unsigned>>& disks) const {
        std::string table = mountLine(1, sealedRoot(), 1);
        for (size_t i = 0; i < disks.size(); ++i)
            table += mountLine(static_cast<int>(i) + 2, disks[i].first, disks[i].second);
        writeText(file, table);
    }

private:
    fs::path file;
    std::string kept;
};

json parsed(const CLIResult& result) {
    EXPECT_EQ(result.status, 0) << result.err;
    return json::parse(result.out);
}

}  // namespace

// destinations

TEST_F(DestinationCommandsTest, ListingWithNothingFound) {
    auto result = runCLI({"destinations"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "No cloud drives found. Sync a folder with a cloud drive app, add a Google account in your desktop’s "
              "online accounts, set up rclone, connect an external drive, or add a folder with destinations add.\n");
    EXPECT_EQ(runCLI({"destinations", "--json"}).out, "[]\n");
}

TEST_F(DestinationCommandsTest, ListingShowsEachDestinationWithItsNote) {
    folder("Library/CloudStorage/GoogleDrive-me@example.com");
    folder("MEGA");
    auto result = runCLI({"destinations"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "✗ googledrive-me@example.com  Google Drive (me@example.com)\n"
              "    No writable “My Drive” folder found. Make sure the Google Drive app is signed in.\n"
              "✓ mega  MEGA  ~/MEGA\n");

    json list = parsed(runCLI({"destinations", "--json"}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], (json{{"id", "mega"},
                             {"kind", "cloudFolder"},
                             {"name", "MEGA"},
                             {"path", home.home() + "/MEGA"},
                             {"available", true}}));
}

// Nothing uploads a home's leftover iCloud Drive folder on this system: it is
// no cloud drive, and only a plain folder when the user adds it.
TEST_F(DestinationCommandsTest, ALeftoverICloudDriveFolderIsAPlainFolderOnlyWhenAdded) {
    fs::path leftover = folder("Library/Mobile Documents/com~apple~CloudDocs");
    auto listing = runCLI({"destinations"});
    EXPECT_EQ(listing.out.find("iCloud"), std::string::npos) << listing.out;
    EXPECT_TRUE(listing.out.starts_with("No cloud drives found.")) << listing.out;

    auto added = runCLI({"destinations", "add", "Mac", leftover.string()});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "✓ folder:Mac  Mac  ~/Library/Mobile Documents/com~apple~CloudDocs\n");

    writeFile(home.path("Projects/old/a.txt"), 10);
    json report = parsed(runCLI({"offload", "~/Projects/old", "--to", "folder:Mac", "--execute", "--json"}));
    EXPECT_TRUE(report["sourceTrashed"].get<bool>()) << report.dump();
    const std::string message = report["message"];
    EXPECT_EQ(message.find("evict"), std::string::npos) << message;
    EXPECT_EQ(message.find("iCloud"), std::string::npos) << message;
}

TEST_F(DestinationCommandsTest, AddStoresTheExpandedFolderAndListsAgain) {
    fs::path disk = folder("Disks/T7");
    auto result = runCLI({"destinations", "add", "T7", "~/Disks/./T7/"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "✓ folder:T7  T7  ~/Disks/T7\n");
    EXPECT_EQ(config()["customDestinations"], (json::array({{{"name", "T7"}, {"path", disk.string()}}})));

    // Adding the same name again moves it rather than hiding a second entry.
    fs::path other = folder("Disks/Other");
    json list = parsed(runCLI({"destinations", "add", "T7", other.string(), "--json"}));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["path"], other.string());
    EXPECT_EQ(config()["customDestinations"].size(), 1u);
}

TEST_F(DestinationCommandsTest, AddRefusesMissingFoldersAndBadArguments) {
    expectError(runCLI({"destinations", "add", "Gone", "~/Gone"}), "Folder doesn’t exist: " + home.home() + "/Gone");
    EXPECT_FALSE(fs::exists(configFile()));
    expectUsage(runCLI({"destinations", "add", "OnlyName"}), "Usage: ostrevane destinations add <name> <folder>");
    expectUsage(runCLI({"destinations", "add", "a", "b", "c"}), "Usage: ostrevane destinations add <name> <folder>");
    expectUsage(runCLI({"destinations", "frobnicate"}), "Usage: ostrevane destinations remove <name>");
}

// Discovery shows one destination per folder, so a second name for a folder
// already there would be saved and never shown: the tool names the one there.
TEST_F(DestinationCommandsTest, AddingAFolderAlreadyThereNamesTheDestinationItIs) {
    fs::path disk = folder("Disks/T7");
    ASSERT_EQ(runCLI({"destinations", "add", "T7", disk.string()}).status, 0);
    fs::create_directory_symlink(disk, home.path("t7-link"));
    const std::string told = " is already the backup destination “T7”; it wasn’t added again under the new name.";
    for (const std::string& given : {disk.string(), std::string("~/t7-link")}) {
        expectError(runCLI({"destinations", "add", "Backup", given}), Paths::expand(given) + told);
        EXPECT_EQ(config()["customDestinations"], (json::array({{{"name", "T7"}, {"path", disk.string()}}})));
    }
    // The same name for the same folder is no second destination.
    EXPECT_EQ(runCLI({"destinations", "add", "T7", disk.string()}).out, "✓ folder:T7  T7  ~/Disks/T7\n");
}

TEST_F(DestinationCommandsTest, RemoveByNameOrId) {
    folder("A");
    folder("B");
    ASSERT_EQ(runCLI({"destinations", "add", "Alpha", "~/A"}).status, 0);
    ASSERT_EQ(runCLI({"destinations", "add", "Beta", "~/B"}).status, 0);

    auto result = runCLI({"destinations", "remove", "Alpha"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "✓ folder:Beta  Beta  ~/B\n");
    EXPECT_EQ(parsed(runCLI({"destinations", "remove", "folder:Beta", "--json"})), json::array());
    EXPECT_EQ(config()["customDestinations"], json::array());

    auto missing = runCLI({"destinations", "remove", "Alpha"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("Error: ")) << missing.err;
    expectUsage(runCLI({"destinations", "remove"}), "Usage: ostrevane destinations remove <name>");
}

TEST_F(DestinationCommandsTest, AnUnavailableCustomFolderIsListedWithItsNote) {
    fs::path disk = folder("Disks/T7");
    ASSERT_EQ(runCLI({"destinations", "add", "T7", disk.string()}).status, 0);
    fs::remove(disk);
    EXPECT_EQ(runCLI({"destinations"}).out,
              "✗ folder:T7  T7  ~/Disks/T7\n"
              "    Folder not available right now (external drive not connected?)\n");
}

// An offload leaves its backup the only copy: a destination that a clean or
// emptying the Trash takes away loses it, whether it is added now, named by
// its path, or was added before folders were checked.
TEST_F(DestinationCommandsTest, AFolderThatACleanOrEmptyingTheTrashTakesAwayIsNoDestination) {
    struct Case {
        std::string folder;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {".cache/pip/arch", "it is inside " + home.home() +
                                "/.cache/pip, and the cleanup “Browser and tool caches” would move the backups to "
                                "the Trash with it."},
        {".local/share/Trash/files/bk",
         "it is inside the Trash, and emptying the Trash would delete the backups with it."},
        {"Downloads/bk", "it is inside " + home.home() +
                             "/Downloads, and the cleanup “Old files in Downloads” would move the backups to the "
                             "Trash with it."},
        {"Code/app/node_modules/bk",
         "it is inside " + home.home() +
             "/Code/app/node_modules, and the cleanup “Dependencies and build folders in idle projects” would move "
             "the backups to the Trash with it."},
        {".config/Ostrevane/bk", "it is inside this tool’s own folder " + home.home() + "/.config/Ostrevane."},
    };
    writeText(home.path("Documents/a.txt"), "a");
    for (const auto& [relative, reason] : cases) {
        SCOPED_TRACE(relative);
        const fs::path place = folder(relative);
        const std::string refusal = place.string() + " can’t be a backup destination: " + reason;
        expectError(runCLI({"destinations", "add", "bk", place.string()}), refusal);
        EXPECT_FALSE(fs::exists(configFile()));
        expectError(runCLI({"offload", "~/Documents/a.txt", "--to", place.string(), "--execute"}), refusal);
        expectError(runCLI({"plans", "add", "~/Documents", "--to", place.string()}), refusal);

        // Added before this check: refused when used.
        writeText(configFile(), json({{"customDestinations", {{{"name", "old"}, {"path", place.string()}}}},
                                      {"plans", json::array()}})
                                    .dump());
        expectError(runCLI({"backup", "~/Documents", "--to", "folder:old"}), refusal);
        EXPECT_TRUE(entriesOf(place).empty());
        EXPECT_EQ(readText(home.path("Documents/a.txt")), "a");
        fs::remove(configFile());
    }
    // A link leads the backups there as surely as the path does.
    const fs::path link = home.path("bk-link");
    fs::create_directory_symlink(folder(".cache/pip/linked"), link);
    expectError(runCLI({"destinations", "add", "bk", link.string()}),
                link.string() + " can’t be a backup destination: " + cases.front().reason);
}

// A folder on a drive that is unplugged is the bare mount-point folder on
// the disk below: a backup there would hide under the drive once it is back.
TEST_F(DestinationCommandsTest, AFolderWhoseDriveIsNoLongerMountedIsUnavailable) {
    const fs::path drive = folder("media/usb");
    const fs::path backups = folder("media/usb/backups");
    writeText(home.path("Documents/a.txt"), "a");
    MountTableFile table;
    table.list({{drive, 2}});
    ASSERT_EQ(runCLI({"destinations", "add", "usb", backups.string()}).status, 0);

    table.list({});
    EXPECT_EQ(runCLI({"destinations"}).out,
              "✗ folder:usb  usb  ~/media/usb/backups\n"
              "    Folder not available right now (external drive not connected?)\n");
    const std::string unavailable =
        "Backup destination “usb” isn’t available right now. Folder not available right now (external drive not "
        "connected?)";
    expectError(runCLI({"offload", "~/Documents/a.txt", "--to", "usb", "--execute"}), unavailable);
    expectError(runCLI({"backup", "~/Documents", "--to", "usb"}), unavailable);
    EXPECT_TRUE(entriesOf(backups).empty());
    EXPECT_EQ(readText(home.path("Documents/a.txt")), "a");

    // Plugged in again, under another device number.
    table.list({{drive, 7}});
    EXPECT_EQ(runCLI({"destinations"}).out, "✓ folder:usb  usb  ~/media/usb/backups\n");
}

// plans

TEST_F(DestinationCommandsTest, PlansListingWhenThereAreNone) {
    auto result = runCLI({"plans"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "No backup plans yet. Add one with ostrevane plans add <path> --to <destination>.\n");
    EXPECT_EQ(runCLI({"plans", "--json"}).out, "[]\n");
}

TEST_F(DestinationCommandsTest, PlansAddStoresExpandedSourceAndTheDestinationsId) {
    folder("Google Drive");
    fs::path backups = folder("Backups");

    auto result = runCLI({"plans", "add", "~/Documents/../Movies", "--to", "GOOGLE-DRIVE"});
    ASSERT_EQ(result.status, 0) << result.err;
    json plans = config()["plans"];
    ASSERT_EQ(plans.size(), 1u);
    const std::string id = plans[0]["id"];
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}")));
    EXPECT_EQ(plans[0]["source"], home.home() + "/Movies");
    EXPECT_EQ(plans[0]["destinationId"], "google-drive");
    EXPECT_EQ(result.out, id + "  ~/Movies → google-drive\n");

    // By display name, and by folder path: stored as the id and the expanded path.
    json list = parsed(runCLI({"plans", "add", "/srv/data", "--to", "Google Drive", "--json"}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["destinationId"], "google-drive");
    EXPECT_EQ(list[1]["source"], "/srv/data");
    EXPECT_FALSE(list[1].contains("lastRun"));
    list = parsed(runCLI({"plans", "add", "~/Pictures", "--to", "~/Backups", "--json"}));
    EXPECT_EQ(list[2]["destinationId"], backups.string());
}

TEST_F(DestinationCommandsTest, PlansAddAcceptsAnUnpluggedDiskButNotAnUnknownName) {
    fs::path disk = folder("Disks/T7");
    ASSERT_EQ(runCLI({"destinations", "add", "T7", disk.string()}).status, 0);
    fs::remove(disk);
    json list = parsed(runCLI({"plans", "add", "~/Movies", "--to", "folder:t7", "--json"}));
    EXPECT_EQ(list[0]["destinationId"], "folder:T7");

    expectError(runCLI({"plans", "add", "~/Movies", "--to", "nas"}),
                "No backup destination “nas”. Available: folder:T7. You can also pass a folder path.");
    expectError(runCLI({"plans", "add", "~/Movies", "--to", "~/Nowhere"}),
                "Destination folder doesn’t exist: " + home.home() + "/Nowhere");
    EXPECT_EQ(config()["plans"].size(), 1u);

    expectUsage(runCLI({"plans", "add", "~/Movies"}), "Usage: ostrevane plans add <path> --to <destination>");
    expectUsage(runCLI({"plans", "add", "--to", "icloud"}), "Usage: ostrevane plans add <path> --to <destination>");
    expectUsage(runCLI({"plans", "add", "~/Movies", "--to"}),
                "Error: Missing value for --to\nRun ostrevane --help to see every command and its options.\n");
}

// A pipe, a device or a socket has nothing a backup could copy: the plan is
// refused as a wrong argument, naming the path, and nothing is saved.
TEST_F(DestinationCommandsTest, PlansAddRefusesAPipeADeviceOrASocket) {
    folder("Backups");
    const fs::path pipe = home.path("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path socketPath = home.path("socket");
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::string& source : {pipe.string(), std::string("/dev/null"), socketPath.string()}) {
        expectUsage(runCLI({"plans", "add", source, "--to", "~/Backups"}),
                    "Error: Only files and folders can be backed up; " + source + " is a pipe, device or socket.\n");
        EXPECT_FALSE(fs::exists(configFile())) << source;
    }
    ::close(listening);
}

TEST_F(DestinationCommandsTest, PlansRemove) {
    folder("Backups");
    json list = parsed(runCLI({"plans", "add", "~/A", "--to", "~/Backups", "--json"}));
    list = parsed(runCLI({"plans", "add", "~/B", "--to", "~/Backups", "--json"}));
    ASSERT_EQ(list.size(), 2u);
    const std::string first = list[0]["id"], second = list[1]["id"];

    auto result = runCLI({"plans", "remove", first});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, second + "  ~/B → " + home.home() + "/Backups\n");

    auto missing = runCLI({"plans", "remove", first});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("Error: ")) << missing.err;
    EXPECT_EQ(config()["plans"].size(), 1u);

    expectUsage(runCLI({"plans", "remove"}), "Usage: ostrevane plans remove <id>");
    expectUsage(runCLI({"plans", "bogus"}), "Usage: ostrevane plans remove <id>");
}

// "--dry-run" belongs to "plans run": one asked of a change that has no dry
// run is refused before anything changes, not ignored while the change is made.
TEST_F(DestinationCommandsTest, PlanChangesRefuseADryRunTheyDoNotHave) {
    folder("Backups");
    json list = parsed(runCLI({"plans", "add", "~/A", "--to", "~/Backups", "--json"}));
    ASSERT_EQ(list.size(), 1u);
    const std::string id = list[0]["id"];
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"plans", "remove", id, "--dry-run"}, {"plans", "add", "~/B", "--to", "~/Backups", "--dry-run"}}) {
        auto result = runCLI(words);
        EXPECT_EQ(result.status, 2) << words[1];
        EXPECT_EQ(result.out, "") << words[1];
        EXPECT_TRUE(result.err.starts_with("Error: Unknown option: --dry-run\n")) << result.err;
    }
    ASSERT_EQ(config()["plans"].size(), 1u);
    EXPECT_EQ(config()["plans"][0]["id"], id);
}

TEST_F(DestinationCommandsTest, PlansShowTheirLastRun) {
    Date when = std::chrono::system_clock::now() - std::chrono::hours(50);
    writeText(configFile(), json{{"customDestinations", json::array()},
                                 {"plans",
                                  {{{"id", "0badcafe"},
                                    {"source", home.home() + "/Movies"},
                                    {"destinationId", "icloud"},
                                    {"lastRun", ISODate::format(when)},
                                    {"lastStatus", "ok"},
                                    {"lastSummary", "Copied 3 files"}}}}}
                                .dump());
    auto result = runCLI({"plans"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "0badcafe  ~/Movies → icloud\n"
              "          last run 2 days ago: Copied 3 files\n");
    json list = parsed(runCLI({"plans", "--json"}));
    EXPECT_EQ(list[0]["lastRun"], ISODate::format(when));
}

// the configuration file under the tool

TEST_F(DestinationCommandsTest, AnUnreadableConfigurationIsKeptAsideAndReported) {
    folder("Backups");
    const std::string broken = "{\"plans\": [{\"id\": \"12345678\", \"source\": \"/precious\"";
    writeText(configFile(), broken);

    const CLIResult listed = runCLI({"plans"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, noPlans);
    {
        ScopedEnv chinese("OSTREVANE_LANG", "zh");
        EXPECT_EQ(runCLI({"plans"}).out, "还没有备份计划。用 ostrevane plans add <路径> --to <目的地> 添加。\n");
    }
    EXPECT_EQ(readText(configFile()), broken) << "listing must not touch the file";

    auto result = runCLI({"plans", "add", "~/A", "--to", "~/Backups", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(parsed(result).size(), 1u);  // standard output holds only the document

    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(configFile().parent_path()))
        if (entry.path().filename().string().starts_with("config.unreadable-")) kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readText(kept[0]), broken);
    EXPECT_NE(result.err.find(kept[0].filename().string()), std::string::npos) << result.err;
}

TEST_F(DestinationCommandsTest, ParallelToolRunsLoseNoPlan) {
    folder("Backups");
    constexpr int runs = 8;
    std::vector<std::thread> workers;
    std::vector<CLIResult> results(runs);
    for (int i = 0; i < runs; ++i)
        workers.emplace_back([&, i] {
            results[i] = runCLI({"plans", "add", "/data/" + std::to_string(i), "--to", "~/Backups", "--json"});
        });
    for (auto& worker : workers) worker.join();
    for (const auto& result : results) EXPECT_EQ(result.status, 0) << result.err;

    std::set<std::string> sources;
    json stored = config();
    for (const auto& plan : stored["plans"]) sources.insert(plan["source"].get<std::string>());
    EXPECT_EQ(sources.size(), static_cast<size_t>(runs));
}

TEST_F(DestinationCommandsTest, CommandsThatOnlyReadTheConfigurationSayWhenItIsUnreadable) {
    const std::string note =
        "The configuration file ~/.config/Ostrevane/config.json couldn’t be read and was "
        "ignored.\n";
    const struct {
        std::vector<std::string> words;
        int status;
    } cases[] = {{{"destinations"}, 0}, {{"plans"}, 0}, {{"plans", "--json"}, 0}, {{"plans", "run"}, 1}};
    // Text that is not a configuration, and a named pipe that no writer
    // ever opens: a listing shows no plans and says why, a run fails, and
    // nothing blocks.
    for (bool pipe : {false, true}) {
        fs::create_directories(configFile().parent_path());
        fs::remove(configFile());
        if (pipe)
            ASSERT_EQ(::mkfifo(configFile().c_str(), 0600), 0);
        else
            writeText(configFile(), "{\"plans\": [");
        for (const auto& c : cases) {
            auto result = runCLI(c.words, std::nullopt, 20);
            EXPECT_EQ(result.status, c.status) << c.words.back() << " pipe " << pipe;
            EXPECT_EQ(result.err, note) << c.words.back() << " pipe " << pipe;
            if (c.words == std::vector<std::string>{"plans"}) {
                EXPECT_EQ(result.out, noPlans) << "a file that cannot be read holds no plans";
            }
            if (c.words.back() == "--json") {
                EXPECT_EQ(result.out, "[]\n");
            }
        }
    }
}

// With the configuration folder in a shared folder open to all, another user
// put "Ostrevane" there with a configuration naming their destination: the
// tool neither lists it nor writes there, and says why. (Whose "Ostrevane"
// it is makes no difference here; the engine's tests give it other owners.)
TEST_F(DestinationCommandsTest, AConfigurationInAFolderOtherUsersCanWriteToIsNeitherReadNorWritten) {
    const fs::path shared = home.scratch() / "shared";
    const fs::path theirs = shared / "Ostrevane";
    const fs::path backups = folder("Backups");
    fs::create_directories(theirs);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0777), 0);
    const std::string planted = "{\"customDestinations\": [{\"name\": \"Theirs\", \"path\": \"" +
                                home.scratch().string() + "\"}], \"plans\": []}";
    writeText(theirs / "config.json", planted);
    ScopedEnv noOverride("OSTREVANE_HOME", std::nullopt);
    ScopedEnv realHome("HOME", home.home());
    ScopedEnv configHome("XDG_CONFIG_HOME", shared.string());
    const std::string line = "Not using the folder " + theirs.string() + ": other users can write to " +
                             shared.string() + ", so they could put or replace files in it.\n";

    const CLIResult listed = runCLI({"destinations", "--json"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out.find("Theirs"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.err, line);
    const std::vector<std::string> writes[] = {{"destinations", "add", "Mine", backups.string()},
                                               {"plans", "add", "~/A", "--to", backups.string()},
                                               {"plans", "remove", "12345678"}};
    for (const auto& words : writes) {
        SCOPED_TRACE(words[0] + " " + words[1]);
        const CLIResult result = runCLI(words);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "Error: " + line);
        EXPECT_EQ(readText(theirs / "config.json"), planted);
        EXPECT_EQ(entriesOf(theirs), std::vector<std::string>{"config.json"});
    }
}

// A source moved away and replaced by a link would back up another folder
// into the same place, over the earlier backup of this one.
TEST_F(DestinationCommandsTest, APlanWhoseSourceNowLeadsElsewhereCopiesNothing) {
    const fs::path disk = folder("Disks/T7");
    ASSERT_EQ(runCLI({"destinations", "add", "T7", disk.string()}).status, 0);
    const fs::path source = folder("Documents/q");
    writeText(source / "q1.txt", "mine");
    writeText(home.path("Other/q1.txt"), "other");
    // A source that is a link when added (a folder kept on another disk) is where it leads.
    writeText(home.path("Elsewhere/Docs/d.txt"), "d");
    fs::create_directory_symlink(home.path("Elsewhere/Docs"), home.path("Docs"));
    ASSERT_EQ(runCLI({"plans", "add", "~/Documents/q", "--to", "T7"}).status, 0);
    ASSERT_EQ(runCLI({"plans", "add", "~/Docs", "--to", "T7"}).status, 0);
    ASSERT_EQ(runCLI({"plans", "run"}).status, 0);

    fs::rename(source, home.path("q-moved"));
    fs::create_directory_symlink(home.path("Other"), source);
    writeText(home.path("Elsewhere/Docs/d2.txt"), "d2");
    auto result = runCLI({"plans", "run"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: The plan’s source " + source.string() + " now leads to " +
                              home.path("Other").string() + ", but led to " + source.string() +
                              " when the plan was added. Nothing was copied, so the earlier backup isn’t "
                              "overwritten.\n");
    EXPECT_EQ(readText(disk / BackupEngine::relativeTarget(source.string()) / "q1.txt"), "mine");
    EXPECT_EQ(readText(disk / BackupEngine::relativeTarget(home.path("Docs").string()) / "d2.txt"), "d2");
}
