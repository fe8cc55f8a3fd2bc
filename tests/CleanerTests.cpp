#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SuggestionTypes.hpp"
#include "clean/Suggestions.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

// Suggestion records

TEST(SuggestionRecords, DerivedFieldsFollowBytesRiskAndAction) {
    EXPECT_EQ(SuggestionItem("/a", 0).size, "0 KB");
    EXPECT_EQ(SuggestionItem("/a", -5).size, "0 KB");
    EXPECT_EQ(SuggestionItem("/a", 2'000'000, "idle").size, Fmt::bytes(2'000'000));
    EXPECT_EQ(SuggestionItem("/a", 1).id(), "/a");

    auto make = [](Risk risk, CleanAction action, int64_t bytes = 1) {
        return Suggestion("id", "cache", "t", "d", {}, bytes, risk, action);
    };
    EXPECT_FALSE(make(Risk::caution, CleanAction::trash).autoApplicable);
    EXPECT_FALSE(make(Risk::caution, CleanAction::emptyTrash).autoApplicable);
    EXPECT_TRUE(make(Risk::review, CleanAction::trashContents).autoApplicable);
    EXPECT_TRUE(make(Risk::review, CleanAction::emptyTrash).autoApplicable);
    EXPECT_TRUE(make(Risk::safe, CleanAction::trash).autoApplicable);
    for (auto action : {CleanAction::command, CleanAction::offload, CleanAction::evict, CleanAction::manual})
        EXPECT_FALSE(make(Risk::safe, action).autoApplicable);
    EXPECT_EQ(make(Risk::safe, CleanAction::trash, -1).reclaimable, "0 KB");
    EXPECT_EQ(make(Risk::safe, CleanAction::trash, 5'000'000).reclaimable, Fmt::bytes(5'000'000));
    EXPECT_EQ(make(Risk::safe, CleanAction::trash, 5'000'000).reclaimableBytes, 5'000'000);
}

TEST(SuggestionRecords, AbsentOptionalsAreLeftOutAndAnEmptyListIsKept) {
    Suggestion bare("trash", "system", "Trash", "detail", {"/x"}, 10, Risk::review, CleanAction::emptyTrash);
    json document = bare;
    EXPECT_FALSE(document.contains("command"));
    EXPECT_FALSE(document.contains("items"));
    EXPECT_EQ(document["risk"], "review");
    EXPECT_EQ(document["action"], "emptyTrash");
    EXPECT_EQ(document.size(), 10u);

    Suggestion withItems("c", "cache", "t", "d", {}, 1, Risk::safe, CleanAction::trash, "ostrevane x",
                         std::vector<SuggestionItem>{});
    json encoded = withItems;
    EXPECT_EQ(encoded["items"], json::array());
    EXPECT_EQ(encoded["command"], "ostrevane x");
    EXPECT_NE(JSONOut::encode(withItems, false).find("\"items\":[]"), std::string::npos);

    json item = SuggestionItem("/p", 3);
    EXPECT_FALSE(item.contains("note"));
    EXPECT_EQ(item, (json{{"path", "/p"}, {"bytes", 3}, {"size", Fmt::bytes(3)}}));
}

TEST(SuggestionRecords, DecodingReadsDerivedFieldsAsTheyStand) {
    Suggestion original("apps", "apps", "Title", "Detail", {"/a", "/b"}, 4096, Risk::caution, CleanAction::manual,
                        std::nullopt, std::vector<SuggestionItem>{SuggestionItem("/a", 4096, "note")});
    SuggestionReport report{
        ISODate::parse("2026-01-02T03:04:05Z").value(), "full", 4096, "4 KB", 0, "0 KB", {original}, {"a note"}};
    json document = report;
    document["suggestions"][0]["reclaimable"] = "999 GB";
    document["suggestions"][0]["autoApplicable"] = true;
    document["totalReclaimable"] = "1 byte";
    document["suggestions"][0]["unknown"] = 1;
    document["suggestions"][0]["command"] = nullptr;

    auto decoded = document.get<SuggestionReport>();
    EXPECT_EQ(decoded.generatedAt, report.generatedAt);
    EXPECT_EQ(decoded.suggestions[0].reclaimable, "999 GB");
    EXPECT_EQ(decoded.suggestions[0].reclaimableBytes, 4096);
    EXPECT_TRUE(decoded.suggestions[0].autoApplicable);
    EXPECT_EQ(decoded.totalReclaimable, "1 byte");
    EXPECT_FALSE(decoded.suggestions[0].command);
    EXPECT_EQ(decoded.suggestions[0].items, original.items);

    json roundTrip = report;
    EXPECT_EQ(roundTrip.get<SuggestionReport>(), report);
}

TEST(SuggestionRecords, DecodingFailsOnUnknownTextsAndMissingKeys) {
    json document = Suggestion("id", "c", "t", "d", {}, 1, Risk::safe, CleanAction::trash);
    json badAction = document;
    badAction["action"] = "delete";
    EXPECT_ANY_THROW(badAction.get<Suggestion>());
    json badRisk = document;
    badRisk["risk"] = "Safe";
    EXPECT_ANY_THROW(badRisk.get<Suggestion>());
    for (const char* key : {"id", "paths", "reclaimable", "autoApplicable"}) {
        json missing = document;
        missing.erase(key);
        EXPECT_ANY_THROW(missing.get<Suggestion>()) << key;
    }
    // A byte count must be a whole number: 1.5 is not quietly read as 1.
    for (json wrong : {json("1"), json(1.5), json(true)}) {
        json wrongType = document;
        wrongType["reclaimableBytes"] = wrong;
        EXPECT_ANY_THROW(wrongType.get<Suggestion>()) << wrong;
    }
    EXPECT_ANY_THROW((json{{"path", "/p"}, {"bytes", 2.5}, {"size", "x"}}.get<SuggestionItem>()));
    json report = SuggestionReport{
        ISODate::parse("2026-01-02T03:04:05Z").value(), "quick", 1, "1 byte", 0, "0 KB", {}, {}};
    report["safeReclaimableBytes"] = 0.5;
    EXPECT_ANY_THROW(report.get<SuggestionReport>());
    EXPECT_ANY_THROW((json{{"path", "/p"}, {"bytes", 1}}.get<SuggestionItem>()));
    EXPECT_NO_THROW((json{{"path", "/p"}, {"bytes", 1}, {"size", "x"}, {"note", nullptr}}.get<SuggestionItem>()));
}

// Cleaner

namespace {

class CleanerTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;

    std::string at(const std::string& relative) const { return home.path(relative).string(); }

    /// Stores a scan so a test can tell whether the cleaner dropped the cache.
    void storeMarkerScan() {
        fs::create_directories(home.path("Marker"));
        ScanStore::store(Scanner::scan(at("Marker")), at("Marker"));
        ASSERT_TRUE(ScanStore::cached(at("Marker"), 1e9));
    }
    bool cacheWasDropped() const { return !ScanStore::cached(at("Marker"), 1e9); }
};

/// Runs `gio` on its own session bus with `home` as the home folder, so the
/// desktop's trash backend looks at the test's trash and nothing else.
std::optional<Shell::Output> gio(const std::string& home, const std::vector<std::string>& arguments) {
    if (access("/usr/bin/gio", X_OK) != 0 || access("/usr/bin/dbus-run-session", X_OK) != 0) return std::nullopt;
    ScopedEnv homeVariable("HOME", home);
    ScopedEnv dataVariable("XDG_DATA_HOME", std::nullopt);
    std::vector<std::string> words = {"--", "/usr/bin/gio"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return Shell::run("/usr/bin/dbus-run-session", words, 60);
}

const std::string protectedText = "受保护的目录,只能清理其中的内容,不能整体移除";
const std::string ancestorText = "这是主目录的上级目录";
const std::string topLevelText = "顶层系统目录";
const std::string photosText = "照片图库请在“照片”App 中管理";
const std::string outsideText = "只允许操作主目录、/tmp 和外接卷(/media、/run/media、/mnt)里的内容";
const std::string keysText = "密钥与密钥环不允许通过本工具删除";
const std::string missingText = "路径不存在";
const std::string inTrashText = "废纸篓里的项目不能再移到废纸篓";
const std::string holdsTrashText = "这是废纸篓的上级目录";

/// Allocated bytes of a path and everything below it, as du counts them.
int64_t allocatedBytes(const fs::path& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    int64_t total = status.st_blocks * 512;
    if (fs::is_directory(fs::symlink_status(path)))
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            lstat(entry.path().c_str(), &status);
            total += status.st_blocks * 512;
        }
    return total;
}

}  // namespace

TEST_F(CleanerTest, ThePlaceAloneRefusesWhatRefusalDoesButAMissingPath) {
    for (const char* path : {"~", "~/Desktop", "/", "/usr"})
        EXPECT_EQ(Cleaner::refusalOfPlace(path), Cleaner::refusal(path)) << path;
    EXPECT_TRUE(Cleaner::refusal("~/not-there"));
    EXPECT_FALSE(Cleaner::refusalOfPlace("~/not-there"));
}

TEST_F(CleanerTest, RefusalTextsAreTheEnglishTable) {
    EXPECT_EQ(Cleaner::refusal("~"), "Protected folder: only its contents can be cleaned, not the folder itself");
    EXPECT_EQ(Cleaner::refusal("/"), "This folder contains your home folder");
    EXPECT_EQ(Cleaner::refusal("/usr"), "Top-level system folder");
    EXPECT_EQ(Cleaner::refusal("/usr/x.photoslibrary"), "Manage the Photos library in the Photos app");
    EXPECT_EQ(Cleaner::refusal("/usr/bin"),
              "Only items in your home folder, /tmp and external volumes (/media, /run/media, /mnt) can be changed");
    EXPECT_EQ(Cleaner::refusal("~/.ssh/id_ed25519"), "Keys and keyrings can’t be deleted with this tool");
    EXPECT_EQ(Cleaner::refusal("~/nothing"), "Path doesn’t exist");
}

TEST_F(CleanerTest, RefusalRulesApplyInOrder) {
    auto refused = [](const std::string& path) { return Cleaner::refusal(path).value_or("(allowed)"); };

    // 1. The home folder and every protected folder, whether or not it exists.
    for (const char* relative : {"",
                                 "Documents",
                                 "Desktop",
                                 "Downloads",
                                 "Pictures",
                                 "Movies",
                                 "Music",
                                 "Public",
                                 "Applications",
                                 "Library",
                                 "Library/Application Support",
                                 "Library/Containers",
                                 "Library/Group Containers",
                                 "Library/Preferences",
                                 "Library/Keychains",
                                 "Library/Mobile Documents",
                                 "Library/CloudStorage",
                                 "Library/Mail",
                                 "Library/Messages",
                                 "Library/Developer",
                                 "Library/Caches",
                                 "Library/Logs",
                                 ".ssh",
                                 ".gnupg",
                                 ".config"})
        EXPECT_EQ(refused(home.home() + "/" + relative), L(protectedText)) << relative;
    EXPECT_EQ(refused(" ~/Documents/ "), L(protectedText));
    EXPECT_EQ(refused(Trash::homeTrash()), L(protectedText));
    EXPECT_EQ(refused(Trash::filesFolder()), L(protectedText));
    EXPECT_EQ(refused(Trash::infoFolder()), L(protectedText));

    // Then anything inside a trash folder, on any file system, whatever the
    // path it is reached by: trashed again, its first record would be orphaned.
    writeFile(fs::path(Trash::filesFolder()) / "old.txt");
    fs::create_directory_symlink(Trash::filesFolder(), home.path("shortcut"));
    const std::string uid = std::to_string(getuid());
    for (const std::string& path :
         {Trash::filesFolder() + "/old.txt", Trash::infoFolder() + "/old.txt.trashinfo", at("shortcut/old.txt"),
          "/media/usb/.Trash-" + uid, "/media/usb/.Trash-" + uid + "/files/x", "/media/usb/.Trash/" + uid + "/files/x"})
        EXPECT_EQ(refused(path), L(inTrashText)) << path;
    EXPECT_EQ(Cleaner::trash({"~/shortcut/old.txt"}, false).failed.size(), 1u);
    EXPECT_TRUE(fs::exists(fs::path(Trash::filesFolder()) / "old.txt"));

    // 2. Ancestors of the home folder.
    EXPECT_EQ(refused("/"), L(ancestorText));
    EXPECT_EQ(refused(home.path("..").string()), L(ancestorText));
    EXPECT_EQ(refused(fs::path(home.home()).parent_path().parent_path().string()), L(ancestorText));

    // Folders the Trash lies in, by their path or through a link: the Trash
    // cannot take in the folder that holds it.
    fs::create_directory_symlink(home.path(".local"), home.path("local-link"));
    for (const char* path : {"~/.local", "~/.local/share", "~/local-link/share"})
        EXPECT_EQ(refused(path), L(holdsTrashText)) << path;
    CleanResult holding = Cleaner::trash({"~/.local", "~/local-link/share"}, false);
    EXPECT_TRUE(holding.trashed.empty());
    EXPECT_EQ(holding.failed, (std::vector<CleanFailure>{{at(".local"), "This folder contains the Trash"},
                                                         {at("local-link/share"), "This folder contains the Trash"}}));
    EXPECT_EQ(refused("~/.local/share/applications"), L(missingText)) << "beside the Trash is fine";
    EXPECT_EQ(refused("~/local-link"), "(allowed)") << "the link alone moves";

    // 3. Top-level folders.
    for (const char* path : {"/usr", "/Library", "/Applications", "/media", "/mnt", "/etc"})
        EXPECT_EQ(refused(path), L(topLevelText)) << path;

    // 4. A Photos library, before the root test.
    EXPECT_EQ(refused("~/Pictures/Photos Library.photoslibrary"), L(photosText));
    EXPECT_EQ(refused("/usr/share/x.photoslibrary"), L(photosText));

    // 5. Outside the allowed roots, and the roots themselves.
    for (const char* path : {"/usr/bin", "/private/tmp", "/run/media", "/var/log/syslog", "/opt/thing"})
        EXPECT_EQ(refused(path), L(outsideText)) << path;

    // 6. Keys and keyrings; the folders themselves were caught by rule 1.
    EXPECT_EQ(refused("~/.ssh/id_rsa"), L(keysText));
    EXPECT_EQ(refused("~/Library/Keychains/login.keychain-db"), L(keysText));
    // The Linux key stores: GnuPG's keys and the desktop's keyrings (every
    // saved password), also when reached through a link.
    writeFile(home.path(".gnupg/private-keys-v1.d/key.key"));
    writeFile(home.path(".local/share/keyrings/login.keyring"));
    writeFile(home.path(".local/share/kwalletd/kdewallet.kwl"));
    fs::create_directory_symlink(home.path(".local/share/keyrings"), home.path("rings"));
    for (const char* path :
         {"~/.gnupg/private-keys-v1.d", "~/.gnupg/private-keys-v1.d/key.key", "~/.local/share/keyrings",
          "~/.local/share/keyrings/login.keyring", "~/rings/login.keyring", "~/.local/share/kwalletd/kdewallet.kwl"})
        EXPECT_EQ(refused(path), L(keysText)) << path;
    EXPECT_TRUE(Cleaner::trash({"~/.gnupg/private-keys-v1.d", "~/rings/login.keyring"}, false).trashed.empty());
    EXPECT_TRUE(fs::exists(home.path(".local/share/keyrings/login.keyring")));

    // 7. Nothing there; whatever passes rules 1 to 6 reaches this one.
    EXPECT_EQ(refused("~/Documents/missing.txt"), L(missingText));
    EXPECT_EQ(refused("/media/usb/missing"), L(missingText));
    EXPECT_EQ(refused("/run/media/user/disk/missing"), L(missingText));
    EXPECT_EQ(refused("/mnt/backup/missing"), L(missingText));
    EXPECT_EQ(refused("/Volumes/Disk/missing"), L(missingText));

    // Allowed: existing items, and a dangling link (the link itself is moved).
    writeFile(home.path("Documents/report.pdf"));
    EXPECT_EQ(refused("~/Documents/report.pdf"), "(allowed)");
    fs::create_directories(home.path("Downloads"));
    fs::create_symlink(home.path("gone"), home.path("Downloads/dangling"));
    EXPECT_EQ(refused("~/Downloads/dangling"), "(allowed)");
    fs::path outside = writeFile(home.scratch() / "elsewhere/file.tmp");
    if (outside.string().starts_with("/tmp/")) {
        EXPECT_EQ(refused(outside.string()), "(allowed)");
    }
}

TEST_F(CleanerTest, LinksAmongTheFoldersAboveAPathDoNotGetAroundTheRules) {
    fs::create_directories(home.path("Documents/Taxes"));
    fs::create_directory_symlink(home.home(), home.path("h"));
    fs::create_directory_symlink("/", home.path("l"));

    EXPECT_EQ(Cleaner::refusal("~/h/Documents"), L(protectedText));
    EXPECT_EQ(Cleaner::refusal("~/h/h/Library"), L(protectedText));
    EXPECT_EQ(Cleaner::refusal("~/h/Documents/Taxes"), std::nullopt) << "contents may still be cleaned";
    EXPECT_EQ(Cleaner::refusal("~/l/etc/x"), L(outsideText));
    EXPECT_EQ(Cleaner::refusal("~/l/etc/passwd"), L(outsideText));
    EXPECT_EQ(Cleaner::refusal("~/l/etc"), L(topLevelText));
    // The link itself is what gets moved, and moving it is harmless.
    EXPECT_EQ(Cleaner::refusal("~/h"), std::nullopt);

    // A protected folder that is itself a link is protected where it really is.
    fs::create_directories(home.path("Sync/Docs"));
    fs::remove_all(home.path("Documents"));
    fs::create_directory_symlink(home.path("Sync/Docs"), home.path("Documents"));
    EXPECT_EQ(Cleaner::refusal("~/Documents"), L(protectedText));
    EXPECT_EQ(Cleaner::refusal("~/Sync/Docs"), L(protectedText));

    auto result = Cleaner::trash({"~/h/Documents", "~/l/etc/passwd", "~/h"}, false);
    EXPECT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.trashed, (std::vector<std::string>{at("h")}));
    EXPECT_TRUE(fs::is_directory(home.path("Sync/Docs")));
    EXPECT_TRUE(fs::exists("/etc/passwd"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Trash::filesFolder() + "/h")));
}

TEST_F(CleanerTest, DryRunMeasuresAndTouchesNothing) {
    writeFile(home.path("Downloads/a.zip"), 200'000);
    writeFile(home.path("Downloads/old/b.bin"), 100'000);
    storeMarkerScan();

    auto result = Cleaner::trash({"~/Downloads/a.zip", at("Downloads/old"), "~/Documents", "~/nope"}, true);

    EXPECT_TRUE(result.dryRun);
    EXPECT_EQ(result.trashed, (std::vector<std::string>{at("Downloads/a.zip"), at("Downloads/old")}));
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0], (CleanFailure{at("Documents"), L(protectedText)}));
    EXPECT_EQ(result.failed[1], (CleanFailure{at("nope"), L(missingText)}));
    int64_t expected = Scanner::quickSize(at("Downloads/a.zip")) + Scanner::quickSize(at("Downloads/old"));
    EXPECT_GT(expected, 0);
    EXPECT_EQ(result.bytes, expected);
    EXPECT_EQ(result.size, Fmt::bytes(expected));
    EXPECT_EQ(result.message,
              "Would move to the Trash: 2 items, " + Fmt::bytes(expected) + " in total. 2 items skipped.");
    EXPECT_TRUE(fs::exists(home.path("Downloads/a.zip")));
    EXPECT_TRUE(fs::exists(home.path("Downloads/old/b.bin")));
    EXPECT_FALSE(fs::exists(Trash::homeTrash()));
    EXPECT_FALSE(cacheWasDropped());
}

TEST_F(CleanerTest, RealMoveGoesToTheTrashAndDropsTheCache) {
    writeFile(home.path("Downloads/a.zip"), 300'000);
    storeMarkerScan();
    int64_t size = Scanner::quickSize(at("Downloads/a.zip"));

    auto result = Cleaner::trash({"~/Downloads/a.zip"}, false);

    EXPECT_FALSE(result.dryRun);
    EXPECT_EQ(result.trashed, (std::vector<std::string>{at("Downloads/a.zip")}));
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.bytes, size);
    EXPECT_EQ(result.message,
              "Moved to the Trash: 1 item, " + Fmt::bytes(size) + ". Empty the Trash to free the space.");
    EXPECT_FALSE(fs::exists(home.path("Downloads/a.zip")));
    EXPECT_EQ(fs::file_size(Trash::filesFolder() + "/a.zip"), 300'000u);
    EXPECT_TRUE(cacheWasDropped());
}

TEST_F(CleanerTest, MovingOnePathChecksItAndTellsWhereItWent) {
    writeFile(home.path("Downloads/a.zip"), 10);
    storeMarkerScan();
    EXPECT_EQ(Cleaner::moveToTrash("~/Downloads/a.zip"), Trash::filesFolder() + "/a.zip");
    EXPECT_TRUE(cacheWasDropped());
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {"~/Documents", L(protectedText)}, {"~/Downloads/a.zip", L(missingText)}, {"", L("路径为空")}}) {
        try {
            Cleaner::moveToTrash(path);
            ADD_FAILURE() << "expected a refusal of " << path;
        } catch (const OstrevaneError& error) {
            EXPECT_EQ(error.message, reason) << path;
        }
    }
}

TEST_F(CleanerTest, RunsThatMoveNothingKeepTheCacheAndGiveNoHint) {
    storeMarkerScan();
    auto empty = Cleaner::trash({}, false);
    EXPECT_EQ(empty.message, "Moved to the Trash: 0 items, 0 KB in total.");
    EXPECT_EQ(empty.size, "0 KB");
    EXPECT_FALSE(cacheWasDropped());

    auto allFailed = Cleaner::trash({"~/missing", "/"}, false);
    EXPECT_EQ(allFailed.message, "Moved to the Trash: 0 items, 0 KB in total. 2 items skipped.");
    EXPECT_FALSE(cacheWasDropped());

    ScopedHome chinese("zh");
    auto inChinese = Cleaner::trash({"~/missing"}, false);
    EXPECT_EQ(inChinese.message, "已移到废纸篓 0 项,共 0 KB。1 项未处理。");
}

TEST_F(CleanerTest, APlatformFailureIsReportedAndNotCounted) {
    writeFile(Trash::homeTrash(), 1);  // the trash cannot be made
    writeFile(home.path("Downloads/a.zip"), 50'000);
    writeFile(home.path("Downloads/b.zip"), 50'000);

    auto result = Cleaner::trash({"~/Downloads/a.zip", "~/Downloads/b.zip"}, false);

    EXPECT_TRUE(result.trashed.empty());
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0].path, at("Downloads/a.zip"));
    EXPECT_TRUE(result.failed[0].reason.ends_with(" has no Trash this tool can use: " + Trash::homeTrash() +
                                                  " couldn’t be made or opened (" + std::strerror(ENOTDIR) +
                                                  "); not moved"))
        << result.failed[0].reason;
    EXPECT_EQ(result.bytes, 0);
    EXPECT_EQ(result.message, "Moved to the Trash: 0 items, 0 KB in total. 2 items skipped.");
    EXPECT_TRUE(fs::exists(home.path("Downloads/a.zip")));
}

TEST_F(CleanerTest, ANameCollisionInTheTrashKeepsBothItems) {
    writeFile(home.path("one/build.log"), 10);
    writeFile(home.path("two/build.log"), 20);
    Cleaner::trash({"~/one/build.log"}, false);
    auto result = Cleaner::trash({"~/two/build.log"}, false);
    EXPECT_EQ(result.trashed.size(), 1u);
    EXPECT_EQ(fs::file_size(Trash::filesFolder() + "/build.log"), 10u);
    EXPECT_EQ(fs::file_size(Trash::filesFolder() + "/build.2.log"), 20u);
}

TEST_F(CleanerTest, EmptyingRemovesEverythingAndReportsFailedEntries) {
    allocate(home.path("a.bin"), 40'960);
    fs::create_hard_link(home.path("a.bin"), home.path("a-again.bin"));  // one file on disk, trashed twice
    allocate(home.path("b.bin"), 40'960);
    allocate(home.path("c/d.bin"), 81'920);
    Cleaner::trash({"~/a.bin", "~/a-again.bin", "~/b.bin", "~/c"}, false);
    // The items with their info files; the hard-linked file once.
    int64_t removed = 40'960 + allocatedBytes(Trash::filesFolder() + "/c");
    for (const char* name : {"a.bin", "a-again.bin", "c"})
        removed += allocatedBytes(Trash::infoFolder() + "/" + name + ".trashinfo");
    storeMarkerScan();
    auto realRemove = trash->removeItem;
    trash->removeItem = [&](int folder, const std::string& name, const std::string& path) {
        if (path.ends_with("/b.bin")) throw std::system_error(EACCES, std::generic_category(), path);
        realRemove(folder, name, path);
    };

    auto result = Cleaner::emptyTrash();

    EXPECT_FALSE(result.dryRun);
    EXPECT_TRUE(result.trashed.empty());
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, Trash::filesFolder() + "/b.bin");
    EXPECT_EQ(result.failed[0].reason, std::strerror(EACCES));
    // What was removed, hard links once, whatever the free space did meanwhile.
    EXPECT_EQ(result.bytes, removed);
    EXPECT_EQ(result.size, Fmt::bytes(removed));
    EXPECT_EQ(result.message, "The Trash wasn’t emptied completely: 3 items deleted, freeing about " +
                                  Fmt::bytes(removed) + "; 1 not emptied.");
    EXPECT_EQ(Trash::entries(), (std::vector<std::string>{"b.bin"}));
    EXPECT_TRUE(fs::exists(Trash::infoFolder() + "/b.bin.trashinfo"));
    EXPECT_FALSE(fs::exists(Trash::infoFolder() + "/a.bin.trashinfo"));
    EXPECT_TRUE(cacheWasDropped());
}

TEST_F(CleanerTest, EmptyingAnEmptyTrashReportsZero) {
    auto result = Cleaner::emptyTrash();
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.bytes, 0);
    EXPECT_EQ(result.size, "0 KB");
    EXPECT_EQ(result.message, "Emptied the Trash (0 items), freeing about 0 KB.");
}

TEST_F(CleanerTest, EmptyingEmptiesTheTrashOfEveryMountedVolume) {
    const fs::path volume = home.scratch() / "usb";
    ScopedMountTable table({volume});
    const fs::path other = volume / (".Trash-" + std::to_string(getuid()));
    allocate(other / "files/clip.mov", 409'600);
    writeText(other / "info/clip.mov.trashinfo", "[Trash Info]\nPath=clip.mov\n");
    allocate(home.path("a.bin"), 40'960);
    Cleaner::trash({"~/a.bin"}, false);
    const int64_t expected = 450'560 + allocatedBytes(other / "info/clip.mov.trashinfo") +
                             allocatedBytes(Trash::infoFolder() + "/a.bin.trashinfo");
    EXPECT_EQ(Trash::allocatedSize(), expected) << "sizing the Trash counts every trash folder";

    auto result = Cleaner::emptyTrash();
    EXPECT_EQ(result.message, "Emptied the Trash (2 items), freeing about " + Fmt::bytes(expected) + ".");
    EXPECT_TRUE(fs::is_empty(other / "files"));
    EXPECT_TRUE(fs::is_empty(other / "info"));
    EXPECT_TRUE(Trash::entries().empty());
}

TEST_F(CleanerTest, AnUnlistableTrashIsEmptiedThroughTheDesktop) {
    // The home trash can be read and measured; the other volume's cannot.
    const fs::path volume = home.scratch() / "usb";
    ScopedMountTable table({volume});
    fs::create_directories(volume / (".Trash-" + std::to_string(getuid())) / "files");
    allocate(home.path("a.bin"), 8192);
    Cleaner::trash({"~/a.bin"}, false);
    auto realList = trash->listFolder;
    trash->listFolder = [&](int fd, const std::string& folder) -> std::vector<std::string> {
        if (Paths::isInside(folder, volume.string())) throw std::system_error(EACCES, std::generic_category(), folder);
        return realList(fd, folder);
    };
    Shell::Output answer{1, "", "  gio: trash:///: Operation not supported \n"};
    int runs = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>& arguments, double) {
        ++runs;
        EXPECT_EQ(arguments.back(), "--empty");
        if (answer.status == 0) {
            fs::remove(Trash::filesFolder() + "/a.bin");
            fs::remove(Trash::infoFolder() + "/a.bin.trashinfo");
        }
        return answer;
    };
    const int64_t removed = 8192 + allocatedBytes(Trash::infoFolder() + "/a.bin.trashinfo");
    storeMarkerScan();

    try {
        Cleaner::emptyTrash();
        FAIL() << "expected an error";
    } catch (const OstrevaneError& error) {
        EXPECT_EQ(error.message,
                  "Couldn’t empty the Trash: gio: trash:///: Operation not supported. Empty it in the file manager, or "
                  "check the permissions of the Trash folders.");
    }
    EXPECT_FALSE(cacheWasDropped());

    answer = Shell::Output{0, "", ""};
    auto result = Cleaner::emptyTrash();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(result.trashed.empty());
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.bytes, removed);
    EXPECT_EQ(result.message, "Emptied the Trash through the file manager, freeing about " + Fmt::bytes(removed) + ".");
    EXPECT_TRUE(cacheWasDropped());
}

TEST_F(CleanerTest, EmptyingNeverDeletesThroughATrashFolderThatIsALink) {
    const fs::path precious = writeFile(home.path("Documents/thesis.tex"), 100).parent_path();
    writeFile(precious / "notes.trashinfo", 1);
    const fs::path volume = home.scratch() / "usb";
    ScopedMountTable table({volume});
    const fs::path other = volume / (".Trash-" + std::to_string(getuid()));
    int desktopRuns = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        ++desktopRuns;
        return Shell::Output{0, "", ""};
    };
    // The files half, the info half (whose records would be unlinked), or a
    // whole trash of another volume: neither Ostrevane nor the desktop empties.
    for (const fs::path& link : {fs::path(Trash::filesFolder()), fs::path(Trash::infoFolder()), other}) {
        fs::remove_all(Trash::homeTrash());
        writeFile(home.path("kept.txt"));
        Cleaner::trash({"~/kept.txt"}, false);
        fs::remove_all(link);
        fs::create_directories(link.parent_path());
        fs::create_directory_symlink(precious, link);
        const CleanResult result = Cleaner::emptyTrash();
        EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{link.string(), "A symbolic link; not emptied"}}));
        EXPECT_TRUE(result.message.starts_with("The Trash wasn’t emptied completely: ")) << result.message;
        EXPECT_EQ(entriesOf(precious), (std::vector<std::string>{"notes.trashinfo", "thesis.tex"}));
        fs::remove(link);
    }
    EXPECT_EQ(desktopRuns, 0);
}

TEST_F(CleanerTest, ApplyCarriesOutEachActionItSupports) {
    writeFile(home.path("Library/Caches/app/one.cache"), 20'000);
    writeFile(home.path("Library/Caches/app/sub/two.cache"), 20'000);
    writeFile(home.path("Downloads/setup.dmg"), 30'000);

    Suggestion contents("app-caches", "cache", "Caches", "d", {at("Library/Caches/app"), at("not-there")}, 40'000,
                        Risk::safe, CleanAction::trashContents);
    auto dry = Cleaner::apply(contents, true);
    EXPECT_TRUE(dry.dryRun);
    std::vector<std::string> children = dry.trashed;
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (std::vector<std::string>{at("Library/Caches/app/one.cache"), at("Library/Caches/app/sub")}));
    EXPECT_TRUE(fs::exists(home.path("Library/Caches/app/one.cache")));

    auto real = Cleaner::apply(contents, false);
    EXPECT_EQ(real.trashed.size(), 2u);
    EXPECT_TRUE(fs::is_directory(home.path("Library/Caches/app")));
    EXPECT_TRUE(fs::is_empty(home.path("Library/Caches/app")));

    Suggestion unreadable("x", "cache", "t", "d", {at("missing-folder")}, 1, Risk::safe, CleanAction::trashContents);
    auto nothing = Cleaner::apply(unreadable, false);
    EXPECT_TRUE(nothing.trashed.empty());
    EXPECT_TRUE(nothing.failed.empty());

    Suggestion downloads("downloads", "downloads", "t", "d", {at("Downloads/setup.dmg")}, 30'000, Risk::review,
                         CleanAction::trash);
    EXPECT_EQ(Cleaner::apply(downloads, false).trashed, (std::vector<std::string>{at("Downloads/setup.dmg")}));
    EXPECT_FALSE(fs::exists(home.path("Downloads/setup.dmg")));

    Suggestion empty("trash", "system", "Trash", "d", {Trash::filesFolder()}, 7'000'000, Risk::review,
                     CleanAction::emptyTrash);
    auto wouldEmpty = Cleaner::apply(empty, true);
    EXPECT_TRUE(wouldEmpty.dryRun);
    EXPECT_EQ(wouldEmpty.bytes, 7'000'000);
    EXPECT_EQ(wouldEmpty.message,
              "Would empty the Trash permanently, freeing about " + empty.reclaimable + ". This can’t be undone.");
    EXPECT_EQ(Trash::entries().size(), 3u) << "a dry run empties nothing";
    // As an analysis measures it.
    Trash::allocatedSize(Trash::trashFolders(), &empty.measuredTrash);
    auto emptied = Cleaner::apply(empty, false);
    EXPECT_FALSE(emptied.dryRun);
    EXPECT_TRUE(Trash::entries().empty());
}

namespace {
/// A DeletionDate as the desktops write it: local time, to the second.
std::string deletionDate(Date date) {
    const std::time_t time = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}
}  // namespace

// Through its suggestion the Trash loses only the items its analysis
// measured, each found as it was then, with or without a record. Whatever
// came later stays, whatever second or zone its record gives.
TEST_F(CleanerTest, EmptyingThroughTheSuggestionDeletesOnlyTheItemsItsAnalysisMeasured) {
    const fs::path files = Trash::filesFolder();
    const fs::path info = Trash::infoFolder();
    // Past the suggestion's threshold, so that it is made.
    allocate(home.path("old.bin"), 10'240'000);
    for (const char* name : {"old.bin", "reused.bin", "again.bin"}) {
        if (!fs::exists(home.path(name))) writeFile(home.path(name), 10);
        ASSERT_TRUE(Cleaner::trash({at(name)}, false).failed.empty()) << name;
    }
    // An item without a record, as a program killed mid-move leaves one.
    allocate(files / "orphan.bin", 8'192);
    // Two links of one file: removing either sets the change time of both.
    writeFile(files / "linked.bin", 10);
    fs::create_hard_link(files / "linked.bin", files / "linked-again.bin");
    const Date analysed = std::chrono::system_clock::now();
    const SuggestionReport report = SuggestionEngine::analyze(nullptr, {}, analysed);
    const auto found = std::find_if(report.suggestions.begin(), report.suggestions.end(),
                                    [](const Suggestion& suggestion) { return suggestion.id == "trash"; });
    ASSERT_NE(found, report.suggestions.end());
    const int64_t removable = allocatedBytes(files / "old.bin") + allocatedBytes(info / "old.bin.trashinfo") +
                              allocatedBytes(files / "orphan.bin") + allocatedBytes(files / "linked.bin");

    // Trashed after the analysis, each recorded as deleted before it: by this
    // program, and by one whose zone is five hours behind.
    const auto recordedAt = [&](const std::string& name, Date when) {
        writeText(info / (name + ".trashinfo"),
                  "[Trash Info]\nPath=" + at(name) + "\nDeletionDate=" + deletionDate(when) + "\n");
    };
    writeFile(home.path("mine.bin"), 10);
    ASSERT_TRUE(Cleaner::trash({at("mine.bin")}, false).failed.empty());
    recordedAt("mine.bin", analysed - std::chrono::hours(24));
    writeFile(files / "theirs.bin", 10);
    recordedAt("theirs.bin", analysed - std::chrono::hours(5));
    // A measured name taken again: the measured item restored (its inode
    // still in use) and a new one trashed under its name.
    fs::rename(files / "reused.bin", home.path("reused.bin"));
    writeFile(files / "reused.bin", 10);
    recordedAt("reused.bin", analysed - std::chrono::minutes(1));
    // An inode freed and used again under the measured name: the number
    // comes back, with a later change time.
    struct stat measured {};
    ASSERT_EQ(::lstat((files / "again.bin").c_str(), &measured), 0);
    fs::remove(files / "again.bin");
    writeFile(files / "again.bin", 10);
    recordedAt("again.bin", analysed - std::chrono::minutes(1));
    const auto realStatus = trash->statusAt;
    trash->statusAt = [&](int folder, const std::string& name, struct stat& status) {
        const int error = realStatus(folder, name, status);
        if (error == 0 && name == "again.bin") {
            status.st_dev = measured.st_dev;
            status.st_ino = measured.st_ino;
            status.st_ctim.tv_sec = measured.st_ctim.tv_sec + 1;
        }
        return error;
    };
    // An item without a record that came later.
    writeFile(files / "unrecorded.bin", 10);

    const CleanResult result = Cleaner::apply(*found, false);
    std::vector<std::string> left = Trash::entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"again.bin", "mine.bin", "reused.bin", "theirs.bin", "unrecorded.bin"}));
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.bytes, removable);
    EXPECT_EQ(result.message, "Emptied the Trash (4 items), freeing about " + Fmt::bytes(removable) +
                                  ". 5 items moved to the Trash since the suggestion was made were kept; ostrevane "
                                  "empty-trash --confirm empties them.");
    // Asked for by itself, emptying still takes everything.
    EXPECT_TRUE(Cleaner::emptyTrash().message.starts_with("Emptied the Trash (5 items)"));
    EXPECT_TRUE(Trash::entries().empty());
}

TEST_F(CleanerTest, ApplyCleansTheContentsOfNoFolderReachedThroughALinkInItsName) {
    writeFile(home.path("projects/app/main.c"), 10);
    fs::create_directories(home.path(".cache"));
    fs::create_directory_symlink(home.path("projects"), home.path(".cache/thumbnails"));
    Suggestion contents("xdg-cache-apps", "cache", "Caches", "d", {at(".cache/thumbnails")}, 1, Risk::safe,
                        CleanAction::trashContents);
    for (const bool dryRun : {true, false}) {
        CleanResult result = Cleaner::apply(contents, dryRun);
        EXPECT_TRUE(result.trashed.empty()) << dryRun;
        EXPECT_EQ(
            result.failed,
            (std::vector<CleanFailure>{{at(".cache/thumbnails"), at(".cache/thumbnails") + " is a symbolic link"}}));
    }
    EXPECT_TRUE(fs::exists(home.path("projects/app/main.c")));
}

TEST_F(CleanerTest, ApplyRefusesWhatCannotBeAppliedAutomatically) {
    auto messageOf = [](const Suggestion& suggestion) {
        try {
            Cleaner::apply(suggestion, true);
        } catch (const OstrevaneError& error) {
            return error.message;
        }
        return std::string("(applied)");
    };
    Suggestion caution("cold", "backup", "Cold folder", "d", {at("x")}, 1, Risk::caution, CleanAction::offload,
                       "ostrevane offload '/x' --to 'Drive'");
    EXPECT_EQ(messageOf(caution),
              "“Cold folder” can’t be applied automatically (risk caution, action offload). Suggested command: "
              "ostrevane offload '/x' --to 'Drive'");
    Suggestion manual("mail", "apps", "Mail", "d", {}, 1, Risk::safe, CleanAction::manual);
    EXPECT_EQ(messageOf(manual),
              "“Mail” can’t be applied automatically (risk safe, action manual). Review the details, then use trash / "
              "offload on specific paths.");
    Suggestion cautiousTrash("big", "large", "Big", "d", {at("x")}, 1, Risk::caution, CleanAction::trash);
    EXPECT_NE(messageOf(cautiousTrash).find("(risk caution, action trash)"), std::string::npos);

    // A decoded record is taken as it stands; the action still has to be one the cleaner carries out.
    json document = Suggestion("cmd", "dev", "Cmd", "d", {}, 1, Risk::safe, CleanAction::command, "brew cleanup");
    document["autoApplicable"] = true;
    EXPECT_EQ(messageOf(document.get<Suggestion>()), "Unsupported action");

    ScopedHome chinese("zh");
    EXPECT_EQ(messageOf(manual),
              "“Mail” 不能自动处理(风险级别 safe,动作 manual)。请确认明细后,对具体路径使用 trash / offload。");
}

TEST_F(CleanerTest, CleanResultJSONHasEveryFieldAndDecodesStrictly) {
    CleanResult result(false, {"/a"}, {{"/b", "why"}}, 2048, "done");
    json document = result;
    EXPECT_EQ(document, (json{{"dryRun", false},
                              {"trashed", {"/a"}},
                              {"failed", {{{"path", "/b"}, {"reason", "why"}}}},
                              {"bytes", 2048},
                              {"size", Fmt::bytes(2048)},
                              {"message", "done"}}));
    EXPECT_EQ(CleanResult(true, {}, {}, -3, "").size, "0 KB");
    json missing = document;
    missing.erase("size");
    EXPECT_ANY_THROW(missing.get<CleanResult>());
    json fractional = document;
    fractional["bytes"] = 2048.5;
    EXPECT_ANY_THROW(fractional.get<CleanResult>());
    EXPECT_EQ(document.get<CleanResult>().failed, result.failed);
}

TEST_F(CleanerTest, TheDesktopListsAndRestoresWhatWasMoved) {
    fs::path item = writeFile(home.path("Downloads/setup disk.iso"), 3000);
    ASSERT_EQ(Cleaner::trash({item.string()}, false).trashed.size(), 1u);
    ASSERT_FALSE(fs::exists(item));
    std::string moved = Trash::filesFolder() + "/setup disk.iso";

    auto listing = gio(home.home(), {"trash", "--list"});
    if (!listing) GTEST_SKIP() << "gio or dbus-run-session is missing; install libglib2.0-bin and dbus";
    if (listing->status != 0 && listing->stderrText.find("not supported") != std::string::npos)
        GTEST_SKIP() << "gio has no trash backend here; install gvfs";
    ASSERT_EQ(listing->status, 0) << listing->stderrText;
    std::string uri = "trash:///" + Paths::percentEncoded(fs::path(moved).filename().string());
    EXPECT_NE(listing->stdoutText.find(uri + "\t" + item.string()), std::string::npos) << listing->stdoutText;

    auto restored = gio(home.home(), {"trash", "--restore", uri});
    ASSERT_TRUE(restored);
    ASSERT_EQ(restored->status, 0) << restored->stderrText;
    EXPECT_EQ(fs::file_size(item), 3000u);
    EXPECT_FALSE(fs::exists(moved));
}
