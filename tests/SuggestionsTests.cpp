#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <numeric>

#include "TestSupport.hpp"
#include "TreeBuilder.hpp"
#include "clean/Cleaner.hpp"
#include "clean/CleanupRules.hpp"
#include "clean/Suggestions.hpp"
#include "platform/Applications.hpp"
#include "platform/ICloud.hpp"
#include "platform/Mounts.hpp"
#include "platform/Trash.hpp"
#include "text/Localization.hpp"

using namespace testing_support;
using std::chrono::days;
using std::chrono::seconds;

namespace {

// A moment far from the machine's clock, so a rule that read the real clock
// would judge every age wrongly.
const Date now = *ISODate::parse("2031-03-15T12:00:00Z");

Date daysBefore(int64_t count) { return now - days(count); }
/// One second short of `count` whole days.
Date justUnder(int64_t count) { return now - days(count) + seconds(1); }

ScanResult scanOf(FileNode root, int64_t inaccessibleCount = 0) {
    ScanResult scan;
    scan.root = std::move(root);
    scan.scannedAt = now;
    scan.fileCount = scan.root.fileCount;
    scan.inaccessibleCount = inaccessibleCount;
    scan.minNodeSize = 1048576;
    return scan;
}

BackupDestination destination(std::string id, bool available) {
    BackupDestination result;
    result.id = std::move(id);
    result.name = result.id;
    result.available = available;
    return result;
}

const Suggestion* byId(const std::vector<Suggestion>& suggestions, const std::string& id) {
    auto found = std::find_if(suggestions.begin(), suggestions.end(),
                              [&](const Suggestion& suggestion) { return suggestion.id == id; });
    return found == suggestions.end() ? nullptr : &*found;
}

std::vector<std::string> idsOf(const std::vector<Suggestion>& suggestions) {
    std::vector<std::string> ids;
    for (const auto& suggestion : suggestions) ids.push_back(suggestion.id);
    return ids;
}

std::vector<std::string> itemPaths(const Suggestion& suggestion) {
    std::vector<std::string> paths;
    for (const auto& item : suggestion.items.value()) paths.push_back(item.path);
    return paths;
}

void setModified(const fs::path& path, Date date) {
    auto since = date.time_since_epoch();
    auto whole = std::chrono::duration_cast<seconds>(since);
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = whole.count();
    times[0].tv_nsec = times[1].tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(since - whole).count();
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool hasChinese(const std::string& text) {
    // Lead bytes of the CJK blocks and of full-width punctuation in UTF-8.
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte == 0xE3 || (byte >= 0xE4 && byte <= 0xE9) || byte == 0xEF;
    });
}

class SuggestionsTest : public HomeTest {
protected:
    /// A roomy startup disk, so no "nearly full" note comes from the machine's own disk.
    ScopedHooks<Mounts::Hooks> roomyDisk;

    SuggestionsTest() {
        roomyDisk->capacity = [](const std::string&) -> std::optional<Mounts::Capacity> {
            return Mounts::Capacity{1'000'000'000'000, 500'000'000'000};
        };
    }

    std::string homePath() const { return home.home(); }
    std::string at(const std::string& rel) const { return homePath() + "/" + rel; }
    Tree tree() const { return Tree(homePath()); }

    SuggestionReport analyzeTree(const Tree& built, const std::vector<BackupDestination>& destinations = {},
                                 int64_t inaccessible = 0) {
        ScanResult scan = scanOf(built.build(), inaccessible);
        return SuggestionEngine::analyze(&scan, destinations, now);
    }
};

}  // namespace

// Texts and names

TEST_F(SuggestionsTest, IdleLabelCountsWholeDaysFromNow) {
    EXPECT_EQ(SuggestionEngine::idleLabel(now - std::chrono::hours(23), now), "Modified today");
    EXPECT_EQ(SuggestionEngine::idleLabel(now + days(3), now), "Modified today");
    EXPECT_EQ(SuggestionEngine::idleLabel(now - std::chrono::hours(24), now), "Not modified for 1 day");
    EXPECT_EQ(SuggestionEngine::idleLabel(justUnder(2), now), "Not modified for 1 day");
    EXPECT_EQ(SuggestionEngine::idleLabel(daysBefore(2), now), "Not modified for 2 days");
    EXPECT_EQ(SuggestionEngine::idleDays(now + std::chrono::hours(30), now), -1);
}

TEST_F(SuggestionsTest, SlugKeepsLettersAndDigitsOfAnyScript) {
    const std::string h = "/Users/name";
    EXPECT_EQ(SuggestionEngine::slug(h + "/Movies/Old Trip 2019", h), "movies-old-trip-2019");
    EXPECT_EQ(SuggestionEngine::slug(h + "/Documents/__Backups (old)", h), "documents-backups-old");
    EXPECT_EQ(SuggestionEngine::slug("/Volumes/X/My Files", h), "volumes-x-my-files");
    EXPECT_EQ(SuggestionEngine::slug(h + "/Movies/旅行 Vlog 素材 2024", h), "movies-旅行-vlog-素材-2024");
    EXPECT_EQ(SuggestionEngine::slug(h + "/Pictures/ФОТО Ärger", h), "pictures-фото-ärger");
    // A combining accent is a mark and stays with its letter.
    EXPECT_EQ(SuggestionEngine::slug(h + "/Music/Cafe\xCC\x81", h), "music-cafe\xCC\x81");
    // Only a whole leading folder name counts as the home folder.
    EXPECT_EQ(SuggestionEngine::slug("/Users/names/Movies", h), "users-names-movies");
    EXPECT_EQ(SuggestionEngine::slug(h, h), "");
}

TEST_F(SuggestionsTest, OffloadCommandQuotesEveryArgumentAndNamesFirstAvailableDestination) {
    std::vector<BackupDestination> destinations = {destination("gone", false), destination("icloud", true),
                                                   destination("nas", true)};
    EXPECT_EQ(SuggestionEngine::offloadCommand("/Users/name/Movies/Old Trip", destinations),
              "ostrevane offload '/Users/name/Movies/Old Trip' --to 'icloud' --execute");
    EXPECT_EQ(SuggestionEngine::offloadCommand("/Users/name/Movies/Tom's Videos", destinations),
              "ostrevane offload '/Users/name/Movies/Tom'\\''s Videos' --to 'icloud' --execute");
    EXPECT_EQ(SuggestionEngine::offloadCommand("/x", {destination("it's", true)}),
              "ostrevane offload '/x' --to 'it'\\''s' --execute");
    EXPECT_FALSE(SuggestionEngine::offloadCommand("/x", {destination("gone", false)}));
    EXPECT_FALSE(SuggestionEngine::offloadCommand("/x", {}));
    // An id found on disk in no UTF-8 can be neither typed back nor encoded
    // in the report, which would then fail as a whole.
    EXPECT_EQ(SuggestionEngine::offloadCommand("/x", {destination("m\xe9", true), destination("nas", true)}),
              "ostrevane offload '/x' --to 'nas' --execute");
    EXPECT_FALSE(SuggestionEngine::offloadCommand("/x", {destination("m\xe9", true)}));
}

TEST_F(SuggestionsTest, NameSetsAreExactAndCaseSensitive) {
    EXPECT_EQ(SuggestionEngine::embeddedCacheNames().size(), 14u);
    EXPECT_EQ(SuggestionEngine::artifactNames().size(), 13u);
    EXPECT_EQ(SuggestionEngine::installerExtensions(),
              (std::set<std::string>{"dmg", "pkg", "iso", "xip", "ipsw", "msi", "exe", "deb", "rpm", "appimage",
                                     "flatpakref", "snap", "run"}));
    EXPECT_TRUE(SuggestionEngine::embeddedCacheNames().count("Code Cache"));
    EXPECT_FALSE(SuggestionEngine::embeddedCacheNames().count("cache"));
    EXPECT_TRUE(SuggestionEngine::artifactNames().count(".venv"));
}

// The fixed table

TEST_F(SuggestionsTest, FixedTableHasItsRowsInOrderWithEnglishTexts) {
    const auto& rows = SuggestionEngine::known();
    ASSERT_EQ(rows.size(), 26u);
    std::vector<std::string> ids;
    for (const auto& row : rows) {
        ids.push_back(row.id);
        EXPECT_FALSE(hasChinese(row.title)) << row.id << ": " << row.title;
        EXPECT_FALSE(hasChinese(row.detail)) << row.id << ": " << row.detail;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"user-caches",
                                             "user-logs",
                                             "trash",
                                             "xcode-derived-data",
                                             "xcode-archives",
                                             "xcode-device-support",
                                             "simulator-devices",
                                             "simulator-caches",
                                             "npm-cache",
                                             "pnpm-store",
                                             "bun-cache",
                                             "gradle-caches",
                                             "maven-repo",
                                             "cargo-registry",
                                             "go-mod-cache",
                                             "dot-cache",
                                             "cocoapods-repos",
                                             "ollama-models",
                                             "docker-data",
                                             "android-system-images",
                                             "android-avd",
                                             "ios-backups",
                                             "mail-downloads",
                                             "wechat-data",
                                             "qq-data",
                                             "messages-attachments"}));
    EXPECT_EQ(rows[0].title, "App caches");
    EXPECT_EQ(rows[2].minBytes, 10'000'000);
    EXPECT_EQ(rows[8].action, CleanAction::trashContents);
    EXPECT_EQ(rows[8].command, "npm cache clean --force");
    EXPECT_EQ(rows[23].minBytes, 1'000'000'000);
    EXPECT_EQ(rows[17].risk, Risk::caution);
    int breakdowns = 0;
    for (const auto& row : rows) breakdowns += row.breakdown == SuggestionEngine::Breakdown::largestChildren;
    EXPECT_EQ(breakdowns, 4);
    // The Trash row points at the system's Trash, which lives in this home.
    EXPECT_EQ(SuggestionEngine::location(rows[2], homePath()), Trash::filesFolder());
    EXPECT_EQ(SuggestionEngine::location(rows[0], homePath()), at("Library/Caches"));
}

TEST_F(SuggestionsTest, FixedTableFollowsTheLanguageOfTheProcess) {
    EXPECT_EQ(SuggestionEngine::known()[1].title, "Log files");
    {
        ScopedHome chinese("zh");
        EXPECT_EQ(SuggestionEngine::known()[1].title, "日志文件");
    }
    EXPECT_EQ(SuggestionEngine::known()[1].title, "Log files");
}

TEST_F(SuggestionsTest, FixedRowsStartAtTheirMinimumSize) {
    // The Trash counts what emptying frees, as it lies on disk: its items
    // with their info files, in whole blocks.
    const fs::path trashed = fs::path(Trash::filesFolder()) / "old.zip";
    const fs::path record = fs::path(Trash::infoFolder()) / "old.zip.trashinfo";
    writeText(record, "[Trash Info]\nPath=/x/old.zip\n");
    constexpr int64_t block = 4096;
    const int64_t belowLine = 10'000'000 / block * block;
    allocate(trashed, belowLine - duBytes(record));
    auto below = tree()
                     .file("Library/Caches/a/blob", 49'999'999)
                     .file("Library/Containers/com.tencent.xinWeChat/Data/db", 999'999'999);
    auto report = analyzeTree(below);
    EXPECT_FALSE(byId(report.suggestions, "user-caches"));
    EXPECT_FALSE(byId(report.suggestions, "trash"));
    EXPECT_FALSE(byId(report.suggestions, "wechat-data"));

    allocate(trashed, belowLine + block - duBytes(record));
    auto onTheLine = tree()
                         .file("Library/Caches/a/blob", 49'999'998)
                         .file("Library/Caches/b", 2)
                         .file("Library/Containers/com.tencent.xinWeChat/Data/db", 1'000'000'000);
    report = analyzeTree(onTheLine);
    EXPECT_EQ(report.mode, "full");

    const Suggestion* caches = byId(report.suggestions, "user-caches");
    ASSERT_TRUE(caches);
    EXPECT_EQ(caches->reclaimableBytes, 50'000'000);
    EXPECT_EQ(caches->paths, std::vector<std::string>{at("Library/Caches")});
    EXPECT_EQ(caches->risk, Risk::safe);
    EXPECT_EQ(caches->action, CleanAction::trashContents);
    EXPECT_TRUE(caches->autoApplicable);
    EXPECT_EQ(itemPaths(*caches), (std::vector<std::string>{at("Library/Caches/a"), at("Library/Caches/b")}));

    const Suggestion* trash = byId(report.suggestions, "trash");
    ASSERT_TRUE(trash);
    EXPECT_EQ(trash->risk, Risk::review);
    EXPECT_EQ(trash->action, CleanAction::emptyTrash);
    EXPECT_TRUE(trash->autoApplicable);
    EXPECT_EQ(trash->paths, std::vector<std::string>{Trash::filesFolder()});
    EXPECT_EQ(trash->reclaimableBytes, belowLine + block);
    EXPECT_FALSE(trash->items);

    const Suggestion* wechat = byId(report.suggestions, "wechat-data");
    ASSERT_TRUE(wechat);
    EXPECT_EQ(wechat->category, "apps");
    EXPECT_EQ(wechat->risk, Risk::caution);
    EXPECT_EQ(wechat->action, CleanAction::manual);
    EXPECT_FALSE(wechat->autoApplicable);
    EXPECT_EQ(wechat->title, "WeChat files and cache");
}

TEST_F(SuggestionsTest, BreakdownListsTheEightLargestChildren) {
    Tree built = tree();
    for (int index = 1; index <= 10; ++index)
        built.file("Library/Caches/app" + std::to_string(index), 10'000'000 + index);
    built.folder("Library/Application Support/MobileSync/Backup", std::nullopt, 60'000'000);
    auto report = analyzeTree(built);

    const Suggestion* caches = byId(report.suggestions, "user-caches");
    ASSERT_TRUE(caches);
    ASSERT_EQ(caches->items->size(), 8u);
    EXPECT_EQ(caches->items->front().path, at("Library/Caches/app10"));
    EXPECT_EQ(caches->items->back().path, at("Library/Caches/app3"));
    EXPECT_EQ(caches->items->front().size, Fmt::bytes(10'000'010));
    EXPECT_FALSE(caches->items->front().note);

    // A breakdown row whose folder kept no children has an empty breakdown.
    const Suggestion* backups = byId(report.suggestions, "ios-backups");
    ASSERT_TRUE(backups);
    ASSERT_TRUE(backups->items);
    EXPECT_TRUE(backups->items->empty());
}

TEST_F(SuggestionsTest, EqualSizesKeepTableOrderThenRuleOrder) {
    // Three places of exactly 100,000,000 bytes: two fixed rows and one scan rule.
    auto built = tree()
                     .file("Library/Logs/system.log", 100'000'000)
                     .file("Library/Caches/x", 100'000'000)
                     .file("Library/Application Support/Slack/Cache/data", 100'000'000)
                     .file("Documents/small.txt", 1);
    auto report = analyzeTree(built);
    // Slack's cache lies outside Library/Caches, so the fixed rows don't see it.
    EXPECT_EQ(idsOf(report.suggestions), (std::vector<std::string>{"user-caches", "user-logs", "app-embedded-caches"}));
}

TEST_F(SuggestionsTest, SafeTotalCountsSafeSuggestionsThatAreNotAutoApplicable) {
    auto built = tree()
                     .file("go/pkg/mod/cache/x", 70'000'000)
                     .file("Library/Logs/x", 60'000'000)
                     .file("Library/Developer/CoreSimulator/Devices/x", 80'000'000);
    auto report = analyzeTree(built);
    EXPECT_EQ(idsOf(report.suggestions), (std::vector<std::string>{"simulator-devices", "go-mod-cache", "user-logs"}));
    const Suggestion* go = byId(report.suggestions, "go-mod-cache");
    EXPECT_EQ(go->action, CleanAction::command);
    EXPECT_FALSE(go->autoApplicable);
    EXPECT_EQ(go->command, "go clean -modcache");
    EXPECT_EQ(report.totalReclaimableBytes, 210'000'000);
    EXPECT_EQ(report.safeReclaimableBytes, 130'000'000);
    EXPECT_EQ(report.totalReclaimable, Fmt::bytes(210'000'000));
    EXPECT_EQ(report.safeReclaimable, Fmt::bytes(130'000'000));
    EXPECT_EQ(report.generatedAt, now);
}

// Modes and notes

TEST_F(SuggestionsTest, WithoutScanTheReportIsQuickAndMeasuresOnDisk) {
    allocate(home.path("Library/Caches/com.example/blob"), 60'000'000);
    allocate(home.path("Library/Logs/huge.log"), 60'000'000);
    // Scan-rule material on disk is never looked at in quick mode.
    allocate(home.path("Downloads/Tool.dmg"), 80'000'000);

    auto report = SuggestionEngine::analyze(nullptr, {}, now);
    EXPECT_EQ(report.mode, "quick");
    EXPECT_EQ(idsOf(report.suggestions), (std::vector<std::string>{"user-caches", "user-logs"}));
    for (const auto& suggestion : report.suggestions) {
        EXPECT_FALSE(suggestion.items) << suggestion.id;
        EXPECT_GE(suggestion.reclaimableBytes, 60'000'000);
    }
    ASSERT_EQ(report.notes.size(), 2u);
    EXPECT_EQ(report.notes[0],
              "Quick mode checks only the usual places. A full scan also finds large files, idle project dependencies, "
              "old downloads and folders worth archiving.");
    EXPECT_EQ(report.notes[1],
              "No cloud drive found. Sync a folder with a client such as Nextcloud or Dropbox, add a Google account "
              "in your desktop’s online accounts, set up an rclone remote, or connect an external drive to use "
              "archiving and backups.");
}

TEST_F(SuggestionsTest, ModeDependsOnWhetherTheScanHoldsTheHomeFolder) {
    // A scan of a folder inside the home folder is a quick analysis, yet its
    // unreadable folders are still reported.
    ScanResult inside = scanOf(Tree(at("Documents")).file("a", 1).build(), 1);
    auto report = SuggestionEngine::analyze(&inside, {destination("nas", true)}, now);
    EXPECT_EQ(report.mode, "quick");
    ASSERT_EQ(report.notes.size(), 2u);
    EXPECT_EQ(report.notes[1],
              "1 folder couldn’t be read (such as the Trash, Mail or some app data). Give read permission on it "
              "for complete results.");

    // A scan of the folder above the home folder holds it.
    std::string parent = homePath().substr(0, homePath().rfind('/'));
    Tree above(parent);
    above.file(homePath().substr(parent.size() + 1) + "/Library/Logs/x", 60'000'000);
    ScanResult outer = scanOf(above.build(), 3);
    report = SuggestionEngine::analyze(&outer, {destination("nas", true)}, now);
    EXPECT_EQ(report.mode, "full");
    EXPECT_EQ(idsOf(report.suggestions), std::vector<std::string>{"user-logs"});
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0],
              "3 folders couldn’t be read (such as the Trash, Mail and some app data). Give read permission on "
              "them for complete results.");

    // A sibling whose name merely starts like the home folder does not.
    ScanResult sibling = scanOf(Tree(homePath() + "x").file("Library/Logs/x", 60'000'000).build());
    EXPECT_EQ(SuggestionEngine::analyze(&sibling, {}, now).mode, "quick");
}

TEST_F(SuggestionsTest, DestinationNoteNeedsAnAvailableDestination) {
    const std::string noteStart = "No cloud drive found.";
    auto notesFor = [&](std::vector<BackupDestination> destinations) {
        return analyzeTree(tree().file("a", 1), destinations).notes;
    };
    auto unavailable = notesFor({destination("a", false), destination("b", false)});
    ASSERT_EQ(unavailable.size(), 1u);
    EXPECT_TRUE(unavailable[0].starts_with(noteStart));
    EXPECT_TRUE(notesFor({destination("a", false), destination("b", true)}).empty());
}

TEST_F(SuggestionsTest, VolumeNotesAtTheirThresholds) {
    VolumeInfo volume;
    volume.available = "1.5 GB";
    volume.usedPercent = 89.9;
    volume.purgeableBytes = 5'000'000'000;
    EXPECT_TRUE(SuggestionEngine::volumeNotes(volume).empty());

    volume.usedPercent = 90.0;
    volume.purgeableBytes = 5'000'000'001;
    auto notes = SuggestionEngine::volumeNotes(volume);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0],
              "Startup disk is 90.0% full with only 1.5 GB left. The system needs about 10% free space to run "
              "smoothly, so free some up soon.");
    EXPECT_EQ(notes[1], "Another " + Fmt::bytes(5'000'000'001) +
                            " is purgeable (local snapshots, files already in iCloud); the system reclaims it "
                            "automatically when needed.");

    volume.usedPercent = 93.25;
    EXPECT_TRUE(SuggestionEngine::volumeNotes(volume)[0].starts_with("Startup disk is 93.25% full"));
    EXPECT_TRUE(SuggestionEngine::volumeNotes(std::nullopt).empty());
}

TEST_F(SuggestionsTest, AlmostFullStartupDiskIsNotedBeforeTheDestinationNote) {
    const auto report = [&] {
        ScopedHooks<Mounts::Hooks> mounts;
        mounts->capacity = [](const std::string&) -> std::optional<Mounts::Capacity> {
            return Mounts::Capacity{100'000'000'000, 5'000'000'000};
        };
        return analyzeTree(tree().file("a", 1));
    }();
    ASSERT_EQ(report.notes.size(), 2u);
    EXPECT_TRUE(report.notes[0].starts_with("Startup disk is 95.0% full with only 5 GB left."));
    EXPECT_TRUE(report.notes[1].starts_with("No cloud drive found."));
}

// Application caches

TEST_F(SuggestionsTest, EmbeddedCachesSumToAtLeastOneHundredMegabytes) {
    auto support = [](Tree& built, int64_t last) -> Tree& {
        return built.file("Library/Application Support/Slack/Cache/data", 60'000'000)
            .file("Library/Application Support/Code/CachedData/x", last)
            .file("Library/Application Support/Code/cache/lower", 50'000'000)  // lower case: not a cache name
            .file("Library/Application Support/Tiny/GPUCache/x", 4'999'999);   // too small to keep
    };
    Tree below = tree();
    auto report = analyzeTree(support(below, 39'999'999));
    EXPECT_FALSE(byId(report.suggestions, "app-embedded-caches"));

    Tree enough = tree();
    report = analyzeTree(support(enough, 40'000'000));
    const Suggestion* caches = byId(report.suggestions, "app-embedded-caches");
    ASSERT_TRUE(caches);
    EXPECT_EQ(caches->reclaimableBytes, 100'000'000);
    EXPECT_EQ(caches->paths, (std::vector<std::string>{at("Library/Application Support/Slack/Cache"),
                                                       at("Library/Application Support/Code/CachedData")}));
    EXPECT_EQ(caches->category, "cache");
    EXPECT_EQ(caches->risk, Risk::safe);
    EXPECT_EQ(caches->action, CleanAction::trashContents);
    EXPECT_TRUE(caches->autoApplicable);
    EXPECT_EQ(caches->title, "Built-in app caches (browser engines / sandboxed apps)");
    EXPECT_EQ(caches->detail,
              "Caches that Electron and Chromium-based apps and sandboxed apps keep in their data folders, in 2 "
              "places. They’re recreated after deletion, and you stay signed in.");
}

TEST_F(SuggestionsTest, EmbeddedCachesAreTakenWholeAndSearchedSixLevelsDown) {
    auto built = tree()
                     .file("Library/Application Support/App/Cache/Caches/inner", 30'000'000)
                     .file("Library/Application Support/App/Cache/rest", 20'000'000)
                     .file("Library/Application Support/A/B/C/D/E/Cache/x", 30'000'000)    // 6 levels: found
                     .file("Library/Application Support/P/Q/R/S/T/U/Cache/x", 90'000'000)  // 7 levels: not
                     .file("Library/Application Support/Edge/Cache", 5'000'000)            // a file, not a folder
                     .file("Library/Containers/com.example.notes/Data/Library/Caches/db", 6'000'000)
                     .file("Library/Containers/com.example.small/Data/Library/Caches/db", 4'999'999)
                     .file("Library/Containers/com.example.fast/Data/Library/Caches/db", 30'000'000);
    auto report = analyzeTree(built);
    const Suggestion* caches = byId(report.suggestions, "app-embedded-caches");
    ASSERT_TRUE(caches);
    // Equal sizes keep the walk's order: Application Support, then the containers.
    EXPECT_EQ(caches->paths,
              (std::vector<std::string>{at("Library/Application Support/App/Cache"),
                                        at("Library/Application Support/A/B/C/D/E/Cache"),
                                        at("Library/Containers/com.example.fast/Data/Library/Caches"),
                                        at("Library/Containers/com.example.notes/Data/Library/Caches")}));
    EXPECT_EQ(caches->reclaimableBytes, 116'000'000);
}

TEST_F(SuggestionsTest, FifteenEmbeddedCachesListTwelveItems) {
    Tree built = tree();
    for (int index = 0; index < 15; ++index)
        built.file("Library/Application Support/App" + std::to_string(index) + "/Code Cache/js", 10'000'000 + index);
    auto report = analyzeTree(built);
    const Suggestion* caches = byId(report.suggestions, "app-embedded-caches");
    ASSERT_TRUE(caches);
    EXPECT_EQ(caches->paths.size(), 15u);
    EXPECT_EQ(caches->items->size(), 12u);
    EXPECT_EQ(caches->items->front().path, at("Library/Application Support/App14/Code Cache"));
    EXPECT_NE(caches->detail.find("in 15 places"), std::string::npos);
}

// Downloads

TEST_F(SuggestionsTest, DownloadsInstallersFromFiftyMegabytes) {
    auto built = [&](int64_t second) {
        return tree()
            .file("Downloads/Tool.dmg", 30'000'000, daysBefore(3))
            .file("Downloads/Setup.PKG", second, now - std::chrono::hours(2))
            .file("Downloads/notes.txt", 40'000'000, daysBefore(3));
    };
    EXPECT_FALSE(byId(analyzeTree(built(19'999'999)).suggestions, "downloads-installers"));

    auto report = analyzeTree(built(20'000'000));
    const Suggestion* installers = byId(report.suggestions, "downloads-installers");
    ASSERT_TRUE(installers);
    EXPECT_EQ(installers->reclaimableBytes, 50'000'000);
    EXPECT_EQ(installers->category, "downloads");
    EXPECT_EQ(installers->risk, Risk::review);
    EXPECT_EQ(installers->action, CleanAction::trash);
    EXPECT_TRUE(installers->autoApplicable);
    EXPECT_EQ(installers->paths, (std::vector<std::string>{at("Downloads/Tool.dmg"), at("Downloads/Setup.PKG")}));
    EXPECT_EQ(installers->title, "Installers in Downloads");
    EXPECT_EQ(installers->detail,
              "2 installers (.deb, .rpm, .AppImage, .iso…). Once an app is installed, you don’t need its installer.");
    EXPECT_EQ(installers->items->at(0).note, "Not modified for 3 days");
    EXPECT_EQ(installers->items->at(1).note, "Modified today");
}

TEST_F(SuggestionsTest, DownloadsInstallersAreFoundDirectlyAndOneFolderDown) {
    auto built = tree()
                     .file("Downloads/a.iso", 20'000'000)
                     .file("Downloads/Sub/b.xip", 20'000'000)
                     .file("Downloads/Sub/Deeper/c.dmg", 90'000'000)
                     .file("Downloads/Editor.app/Contents/d.dmg", 90'000'000)
                     .file("Downloads/Folder.dmg/e.txt", 90'000'000)
                     .file("Downloads/f.exe", 10'000'000);  // no date: listed, without a note
    auto report = analyzeTree(built);
    const Suggestion* installers = byId(report.suggestions, "downloads-installers");
    ASSERT_TRUE(installers);
    // Equal sizes keep the walk's order, and the walk enters the larger Sub first.
    EXPECT_EQ(installers->paths,
              (std::vector<std::string>{at("Downloads/Sub/b.xip"), at("Downloads/a.iso"), at("Downloads/f.exe")}));
    EXPECT_EQ(installers->reclaimableBytes, 50'000'000);
    EXPECT_FALSE(installers->items->at(2).note);
}

TEST_F(SuggestionsTest, TwentyFiveInstallersCountAllButListTwenty) {
    Tree built = tree();
    for (int index = 0; index < 25; ++index)
        built.file("Downloads/i" + std::to_string(index) + ".msi", 2'000'000 + index);
    auto report = analyzeTree(built);
    const Suggestion* installers = byId(report.suggestions, "downloads-installers");
    ASSERT_TRUE(installers);
    EXPECT_EQ(installers->paths.size(), 25u);
    EXPECT_EQ(installers->items->size(), 20u);
    EXPECT_EQ(installers->reclaimableBytes, 25 * 2'000'000 + 300);
    EXPECT_TRUE(installers->detail.starts_with("25 installers (.deb"));
    EXPECT_EQ(installers->paths.front(), at("Downloads/i24.msi"));
}

TEST_F(SuggestionsTest, OldDownloadsAtNinetyDaysAndTwentyMegabytes) {
    auto built = tree()
                     .file("Downloads/exact.zip", 20'000'000, daysBefore(90))
                     .file("Downloads/young.zip", 50'000'000, justUnder(90))
                     .file("Downloads/small.zip", 19'999'999, daysBefore(400))
                     .file("Downloads/undated.zip", 90'000'000)
                     .file("Downloads/video.mov", 80'000'000, daysBefore(200))
                     .file("Downloads/Old.dmg", 90'000'000, daysBefore(300))
                     .folder("Downloads/Project", daysBefore(120))
                     .file("Downloads/Project/setup.pkg", 10'000'000, daysBefore(120))
                     .file("Downloads/Project/data.bin", 20'000'000, daysBefore(120));
    auto report = analyzeTree(built);
    const Suggestion* old = byId(report.suggestions, "downloads-old");
    ASSERT_TRUE(old);
    // The installer at the top is never an old entry; the folder holding one is.
    EXPECT_EQ(old->paths, (std::vector<std::string>{at("Downloads/video.mov"), at("Downloads/Project"),
                                                    at("Downloads/exact.zip")}));
    EXPECT_EQ(old->reclaimableBytes, 130'000'000);
    EXPECT_EQ(old->items->at(0).note, "Unchanged for 200 days");
    EXPECT_EQ(old->items->at(2).note, "Unchanged for 90 days");
    EXPECT_EQ(old->detail,
              "3 items untouched for over 90 days. Move what’s useful to Documents or archive it to a cloud drive; "
              "the rest can go.");
    const Suggestion* installers = byId(report.suggestions, "downloads-installers");
    ASSERT_TRUE(installers);
    EXPECT_EQ(installers->paths,
              (std::vector<std::string>{at("Downloads/Old.dmg"), at("Downloads/Project/setup.pkg")}));

    // Exactly 100,000,000 bytes of old entries is enough; one byte less is not.
    auto exactly = tree()
                       .file("Downloads/a.zip", 60'000'000, daysBefore(100))
                       .file("Downloads/b.zip", 40'000'000, daysBefore(100));
    EXPECT_TRUE(byId(analyzeTree(exactly).suggestions, "downloads-old"));
    auto short1 = tree()
                      .file("Downloads/a.zip", 60'000'000, daysBefore(100))
                      .file("Downloads/b.zip", 39'999'999, daysBefore(100));
    EXPECT_FALSE(byId(analyzeTree(short1).suggestions, "downloads-old"));
}

TEST_F(SuggestionsTest, DownloadsNeedAListedDownloadsFolder) {
    FileNode homeNode = tree().folder("Downloads", daysBefore(400), 900'000'000, false).build();
    EXPECT_TRUE(SuggestionEngine::downloads(homeNode, homePath(), now).empty());
    EXPECT_TRUE(
        SuggestionEngine::downloads(tree().file("Documents/a.dmg", 90'000'000).build(), homePath(), now).empty());
}

// Large files

TEST_F(SuggestionsTest, LargeFilesFromOneGigabyteOutsideLibraryAndPackages) {
    auto built = tree()
                     .file("Movies/exact.mov", 1'000'000'000, daysBefore(10))
                     .file("Movies/almost.mov", 999'999'999)
                     .file("disk.img", 3'000'000'000)
                     .file("Downloads/Big.dmg", 5'000'000'000)
                     .file("Downloads/Film.mkv", 2'000'000'000)
                     .file("Pictures/Photos Library.photoslibrary/originals/a.heic", 4'000'000'000)
                     .file("Code/site/.git/objects/pack.pack", 4'000'000'000)
                     .file("Code/site/node_modules/huge.bin", 4'000'000'000)
                     .file("Library/Mail/big.mbox", 4'000'000'000)
                     .file(".hidden/big.bin", 4'000'000'000);
    auto report = analyzeTree(built);
    const Suggestion* large = byId(report.suggestions, "large-files");
    ASSERT_TRUE(large);
    EXPECT_EQ(large->paths,
              (std::vector<std::string>{at("disk.img"), at("Downloads/Film.mkv"), at("Movies/exact.mov")}));
    EXPECT_EQ(large->reclaimableBytes, 6'000'000'000);
    EXPECT_EQ(large->category, "large-files");
    EXPECT_EQ(large->risk, Risk::review);
    EXPECT_EQ(large->action, CleanAction::manual);
    EXPECT_FALSE(large->autoApplicable);
    EXPECT_FALSE(large->command);
    EXPECT_EQ(large->title, "Files larger than 1 GB");
    EXPECT_EQ(large->detail,
              "3 in total. Go through them one by one: delete what you don’t need; what you keep can be archived to "
              "an external drive or a cloud drive.");
    EXPECT_EQ(large->items->at(2).note, "Not modified for 10 days");
    EXPECT_FALSE(large->items->at(0).note);

    report = analyzeTree(built, {destination("icloud", true)});
    EXPECT_TRUE(
        byId(report.suggestions, "large-files")->detail.ends_with("can be archived to a cloud drive with offload."));

    EXPECT_TRUE(SuggestionEngine::largeFiles(tree().file("Movies/almost.mov", 999'999'999).build(), homePath(), {}, now)
                    .empty());
}

TEST_F(SuggestionsTest, ThirtyOneLargeFilesListThirty) {
    Tree built = tree();
    for (int index = 0; index < 31; ++index)
        built.file("Archive/f" + std::to_string(index) + ".bin", 1'000'000'000 + index);
    auto report = analyzeTree(built);
    const Suggestion* large = byId(report.suggestions, "large-files");
    ASSERT_TRUE(large);
    EXPECT_EQ(large->paths.size(), 30u);
    EXPECT_EQ(large->items->size(), 30u);
    EXPECT_TRUE(large->detail.starts_with("31 in total."));
    EXPECT_EQ(large->reclaimableBytes, 31'000'000'000 + 465);
}

// Stale build artefacts

class StaleArtifactsTest : public SuggestionsTest {
protected:
    /// A project on disk whose own entries were last changed `idle` ago.
    void project(const std::string& rel, std::chrono::seconds idle, std::vector<std::string> entries) {
        for (const auto& entry : entries) {
            fs::path path = home.path(rel + "/" + entry);
            writeFile(path, 10);
            setModified(path, now - idle);
        }
    }
};

TEST_F(StaleArtifactsTest, ProjectIdleForThirtyDaysByItsOwnFiles) {
    project("Code/web", days(30), {"package.json", "index.js"});
    project("Code/busy", days(30) - seconds(1), {"package.json"});
    project("Code/ml", days(45), {"train.py"});
    // The artefact folders themselves are fresh; they never count.
    writeFile(home.path("Code/web/node_modules/x"), 10);
    writeFile(home.path("Code/only/node_modules/x"), 10);
    writeFile(home.path("Code/only/.venv/x"), 10);

    auto built = tree()
                     .file("Code/web/node_modules/dep", 60'000'000)
                     .file("Code/web/.next/cache", 49'999'999)
                     .file("Code/busy/node_modules/dep", 90'000'000)
                     .file("Code/ml/.venv/lib", 50'000'000)
                     .file("Code/only/node_modules/dep", 90'000'000)
                     .file("Code/only/.venv/lib", 90'000'000);
    auto report = analyzeTree(built);
    const Suggestion* stale = byId(report.suggestions, "stale-dev-artifacts");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->paths, (std::vector<std::string>{at("Code/web/node_modules"), at("Code/ml/.venv")}));
    EXPECT_EQ(stale->reclaimableBytes, 110'000'000);
    EXPECT_EQ(stale->category, "developer");
    EXPECT_EQ(stale->risk, Risk::review);
    EXPECT_EQ(stale->action, CleanAction::trash);
    EXPECT_EQ(stale->items->at(0).note, "Project unchanged for 30 days");
    EXPECT_EQ(stale->items->at(1).note, "Project unchanged for 45 days");
    EXPECT_EQ(stale->title, "Dependencies and build folders in idle projects");
    EXPECT_EQ(stale->detail,
              "node_modules, .venv, target and similar folders in 2 projects untouched for over 30 days. Reinstall "
              "dependencies to get them back (except packages you installed by hand into a virtual environment).");
}

// A project edited after the analysis is no longer idle: its clean measures
// it again, leaves its artefacts and still moves the idle project's.
TEST_F(StaleArtifactsTest, ACleanLeavesTheArtefactsOfAProjectEditedSinceTheAnalysis) {
    project("Code/web", days(40), {"package.json"});
    project("Code/ml", days(45), {"train.py"});
    writeFile(home.path("Code/web/node_modules/dep"), 10);
    writeFile(home.path("Code/ml/.venv/lib"), 10);
    auto built = tree().file("Code/web/node_modules/dep", 60'000'000).file("Code/ml/.venv/lib", 60'000'000);
    auto report = analyzeTree(built);
    const Suggestion* stale = byId(report.suggestions, "stale-dev-artifacts");
    ASSERT_TRUE(stale);
    setModified(home.path("Code/web/package.json"), now);

    CleanResult result = Cleaner::apply(*stale, false);
    EXPECT_EQ(result.trashed, std::vector<std::string>{at("Code/ml/.venv")});
    EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{at("Code/web/node_modules"), "It changed since the scan"}}));
    EXPECT_TRUE(fs::exists(home.path("Code/web/node_modules/dep")));
    EXPECT_FALSE(fs::exists(home.path("Code/ml/.venv")));
}

TEST_F(StaleArtifactsTest, TargetCountsOnlyBesideCargoToml) {
    project("Code/rust", days(60), {"Cargo.toml"});
    project("Code/java", days(60), {"pom.xml"});
    project("Code/java/target", days(60), {"README"});
    auto built = tree()
                     .file("Code/rust/target/debug/app", 60'000'000)
                     .file("Code/java/target/classes/a", 10'000'000)
                     // Searched like any folder: an artefact inside it is found.
                     .file("Code/java/target/node_modules/dep", 55'000'000);
    auto report = analyzeTree(built);
    const Suggestion* stale = byId(report.suggestions, "stale-dev-artifacts");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->paths, (std::vector<std::string>{at("Code/rust/target"), at("Code/java/target/node_modules")}));
}

// "Pods" is an everyday word (a folder of podcasts); only beside a Podfile is it CocoaPods' folder.
TEST_F(StaleArtifactsTest, PodsCountOnlyBesidePodfile) {
    project("Code/app", days(60), {"Podfile"});
    project("Music/Pods", days(60), {"episode.mp3"});
    auto built = tree().file("Code/app/Pods/lib/a", 60'000'000).file("Music/Pods/episode.mp3", 60'000'000);
    built.file("Music/Pods/node_modules/dep", 55'000'000);
    auto report = analyzeTree(built);
    const Suggestion* stale = byId(report.suggestions, "stale-dev-artifacts");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->paths, (std::vector<std::string>{at("Code/app/Pods"), at("Music/Pods/node_modules")}));
}

TEST_F(StaleArtifactsTest, NeedsOneHundredMegabytesAndSkipsHiddenLibraryAndApplications) {
    project("Code/a", days(100), {"main.c"});
    project("Library/b", days(100), {"main.c"});
    project(".config/c", days(100), {"main.c"});
    project("Applications/d", days(100), {"main.c"});
    auto built = tree()
                     .file("Code/a/.build/x", 99'999'999)
                     .file("Library/b/node_modules/x", 90'000'000)
                     .file(".config/c/node_modules/x", 90'000'000)
                     .file("Applications/d/node_modules/x", 90'000'000);
    EXPECT_FALSE(byId(analyzeTree(built).suggestions, "stale-dev-artifacts"));
    built.file("Code/a/.build/y", 1);
    EXPECT_TRUE(byId(analyzeTree(built).suggestions, "stale-dev-artifacts"));
}

// What an offload archived into a destination is the only copy there is:
// nothing in its backups is "reinstalled" or judged large.
TEST_F(StaleArtifactsTest, NothingInADestinationsBackupsIsSuggested) {
    project("Dropbox/Ostrevane Backups/pc/Projects/app1", days(60), {"package.json"});
    project("Code/web", days(60), {"package.json"});
    auto built = tree()
                     .file("Dropbox/Ostrevane Backups/pc/Projects/app1/node_modules/dep", 200'000'000)
                     .file("Dropbox/Ostrevane Backups/pc/Videos/film.mkv", 2'000'000'000)
                     .file("Code/web/node_modules/dep", 120'000'000);
    const BackupDestination dropbox{"dropbox",   DestinationKind::dropbox, "Dropbox", at("Dropbox"), std::nullopt, true,
                                    std::nullopt};
    auto report = analyzeTree(built, {dropbox});
    const Suggestion* stale = byId(report.suggestions, "stale-dev-artifacts");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->paths, std::vector<std::string>{at("Code/web/node_modules")});
    EXPECT_EQ(stale->reclaimableBytes, 120'000'000);
    EXPECT_FALSE(byId(report.suggestions, "large-files"));
}

// Cold folders

TEST_F(SuggestionsTest, ColdFoldersFromTwoGigabytesIdleHalfAYear) {
    auto built = tree()
                     .folder("Documents/Exact", daysBefore(180))
                     .file("Documents/Exact/data", 2'000'000'000, daysBefore(180))
                     .file("Documents/Young/data", 3'000'000'000, justUnder(180))
                     .file("Documents/Small/data", 1'999'999'999, daysBefore(400))
                     .folder("Documents/Undated")
                     .file("Documents/Undated/data", 3'000'000'000)
                     .file("Documents/archive.zip", 9'000'000'000, daysBefore(400))
                     // Recently touched itself, so only its idle sub-folder could qualify.
                     .folder("Documents/Outer", daysBefore(10))
                     .folder("Documents/Outer/Inner", daysBefore(400))
                     .file("Documents/Outer/Inner/data", 2'500'000'000, daysBefore(400))
                     .file("Pictures/Photos Library.photoslibrary/db", 50'000'000'000, daysBefore(400))
                     .file("Movies/Cut.fcpbundle/media", 9'000'000'000, daysBefore(400))
                     .file("Movies/Old Trip/clip.mov", 4'000'000'000, daysBefore(400))
                     .file("Downloads/Cold/data", 9'000'000'000, daysBefore(400));
    auto report = analyzeTree(built);
    std::vector<std::string> cold;
    for (const auto& suggestion : report.suggestions)
        if (suggestion.id.starts_with("cold-")) cold.push_back(suggestion.id);
    EXPECT_EQ(cold, (std::vector<std::string>{"cold-movies-old-trip", "cold-documents-exact"}));

    const Suggestion* trip = byId(report.suggestions, "cold-movies-old-trip");
    EXPECT_EQ(trip->category, "archive");
    EXPECT_EQ(trip->risk, Risk::review);
    EXPECT_EQ(trip->action, CleanAction::offload);
    EXPECT_FALSE(trip->autoApplicable);
    EXPECT_FALSE(trip->command);
    EXPECT_FALSE(trip->items);
    EXPECT_EQ(trip->paths, std::vector<std::string>{at("Movies/Old Trip")});
    EXPECT_EQ(trip->title, "Long-unused folder: ~/Movies/Old Trip");
    EXPECT_EQ(trip->detail,
              "Nothing has changed in 400 days. Archive it to an external drive or a cloud drive, then remove the "
              "local copy.");
    EXPECT_TRUE(
        byId(report.suggestions, "cold-documents-exact")->detail.starts_with("Nothing has changed in 180 days. "));

    report = analyzeTree(built, {destination("off", false), destination("icloud", true)});
    trip = byId(report.suggestions, "cold-movies-old-trip");
    EXPECT_EQ(trip->command, "ostrevane offload '" + at("Movies/Old Trip") + "' --to 'icloud' --execute");
    EXPECT_TRUE(
        trip->detail.ends_with("Back it up to a cloud drive first, then remove the local copy once the backup "
                               "checks out."));
}

TEST_F(SuggestionsTest, TwelveColdFoldersGiveTheTenLargest) {
    Tree built = tree();
    for (int index = 0; index < 12; ++index)
        built.file("Music/Set " + std::to_string(index) + "/a", 2'000'000'000 + index, daysBefore(365));
    auto report = analyzeTree(built);
    std::vector<std::string> cold;
    for (const auto& suggestion : report.suggestions)
        if (suggestion.id.starts_with("cold-")) cold.push_back(suggestion.id);
    ASSERT_EQ(cold.size(), 10u);
    EXPECT_EQ(cold.front(), "cold-music-set-11");
    EXPECT_EQ(cold.back(), "cold-music-set-2");
}

// iCloud

TEST_F(SuggestionsTest, ICloudLocalCopiesNeedAnAccountAndOneGigabyte) {
    auto built = [&](int64_t drive) {
        return tree()
            .file("Library/Mobile Documents/com~apple~CloudDocs/Thesis/a", drive)
            .file("Library/Mobile Documents/iCloud~com~example~notes/db", 500'000'000);
    };
    // Not signed in: silent however large the folder.
    EXPECT_FALSE(byId(analyzeTree(built(5'000'000'000)).suggestions, "icloud-local-copies"));

    ScopedHooks<ICloud::Hooks> signedIn;
    signedIn->isSignedIn = [] { return true; };
    EXPECT_FALSE(byId(analyzeTree(built(499'999'999)).suggestions, "icloud-local-copies"));
    auto report = analyzeTree(built(500'000'000));
    const Suggestion* icloud = byId(report.suggestions, "icloud-local-copies");
    ASSERT_TRUE(icloud);
    EXPECT_EQ(icloud->reclaimableBytes, 1'000'000'000);
    EXPECT_EQ(icloud->category, "archive");
    EXPECT_EQ(icloud->risk, Risk::review);
    EXPECT_EQ(icloud->action, CleanAction::evict);
    EXPECT_FALSE(icloud->autoApplicable);
    EXPECT_EQ(icloud->command, "ostrevane evict '" + at("Library/Mobile Documents/com~apple~CloudDocs") + "'");
    EXPECT_EQ(icloud->title, "Local copies in iCloud Drive");
    // Equal sizes: iCloud Drive's entry came first in the walk of the containers.
    EXPECT_EQ(itemPaths(*icloud), (std::vector<std::string>{at("Library/Mobile Documents/com~apple~CloudDocs/Thesis"),
                                                            at("Library/Mobile Documents/iCloud~com~example~notes")}));
    EXPECT_FALSE(icloud->items->at(0).note);
    EXPECT_EQ(icloud->items->at(1).note, "App data in iCloud");
}

TEST_F(SuggestionsTest, ICloudItemsMixDriveEntriesAndAppContainers) {
    ScopedHooks<ICloud::Hooks> signedIn;
    signedIn->isSignedIn = [] { return true; };
    Tree built = tree();
    for (int index = 0; index < 20; ++index)
        built.file("Library/Mobile Documents/com~apple~CloudDocs/Entry" + std::to_string(index), 50'000'000 + index);
    built.file("Library/Mobile Documents/iCloud~a/db", 400'000'000)
        .file("Library/Mobile Documents/iCloud~b/db", 300'000'000)
        .file("Library/Mobile Documents/iCloud~c/db", 1'000);
    auto report = analyzeTree(built);
    const Suggestion* icloud = byId(report.suggestions, "icloud-local-copies");
    ASSERT_TRUE(icloud);
    EXPECT_EQ(icloud->paths.size(), 4u);
    EXPECT_EQ(icloud->items->size(), 12u);
    EXPECT_EQ(icloud->items->at(0).path, at("Library/Mobile Documents/iCloud~a"));
    EXPECT_EQ(icloud->items->at(1).path, at("Library/Mobile Documents/iCloud~b"));
    EXPECT_EQ(icloud->items->at(2).path, at("Library/Mobile Documents/com~apple~CloudDocs/Entry19"));
    EXPECT_EQ(icloud->items->at(11).path, at("Library/Mobile Documents/com~apple~CloudDocs/Entry10"));
    EXPECT_EQ(icloud->reclaimableBytes, 20 * 50'000'000 + 190 + 700'001'000);
    EXPECT_EQ(icloud->command, "ostrevane evict '" + at("Library/Mobile Documents/com~apple~CloudDocs") + "'");
}

// Unused applications

TEST_F(SuggestionsTest, UnusedApplicationsFromHalfAYearAndTwoHundredMegabytes) {
    allocate(home.path("Applications/Editor.app/Contents/MacOS/editor"), 160'000'000);
    allocate(home.path("Applications/Game.app/Contents/data"), 150'000'000);
    allocate(home.path("Applications/Tiny.app/Contents/data"), 90'000'000);
    allocate(home.path("Applications/Recent.app/Contents/data"), 400'000'000);
    allocate(home.path("Applications/Future.app/Contents/data"), 400'000'000);
    allocate(home.path("Applications/Never.app/Contents/data"), 400'000'000);
    allocate(home.path("Applications/Upper.APP/Contents/data"), 400'000'000);
    allocate(home.path("Applications/Utilities/Deep.app/Contents/data"), 400'000'000);

    std::map<std::string, Date> lastUsed = {
        {"Editor.app", daysBefore(180)}, {"Game.app", daysBefore(400)},  {"Tiny.app", daysBefore(400)},
        {"Recent.app", justUnder(180)},  {"Future.app", now + days(30)}, {"Upper.APP", daysBefore(400)},
        {"Deep.app", daysBefore(400)},
    };
    ScopedHooks<Applications::Hooks> applications;
    applications->lastUsedDate = [&](const std::string& path) -> std::optional<Date> {
        auto found = lastUsed.find(path.substr(path.rfind('/') + 1));
        if (found == lastUsed.end()) return std::nullopt;
        return found->second;
    };

    auto apps = SuggestionEngine::unusedApps(now);
    ASSERT_TRUE(apps);
    EXPECT_EQ(apps->id, "unused-apps");
    EXPECT_EQ(apps->category, "apps");
    EXPECT_EQ(apps->risk, Risk::review);
    EXPECT_EQ(apps->action, CleanAction::manual);
    EXPECT_FALSE(apps->autoApplicable);
    EXPECT_EQ(apps->paths, (std::vector<std::string>{at("Applications/Editor.app"), at("Applications/Game.app")}));
    EXPECT_GE(apps->reclaimableBytes, 310'000'000);
    EXPECT_EQ(apps->items->at(0).note, "Not opened for 180 days");
    EXPECT_EQ(apps->items->at(1).note, "Not opened for 400 days");
    EXPECT_EQ(apps->title, "Apps not opened in 6+ months");
    EXPECT_TRUE(apps->detail.starts_with("2 in total. Uninstall the ones you no longer need"));

    // The rule runs in quick mode too, last before sorting.
    auto report = SuggestionEngine::analyze(nullptr, {}, now);
    EXPECT_TRUE(byId(report.suggestions, "unused-apps"));

    // One application of 150 MB alone is not worth a suggestion.
    lastUsed.erase("Editor.app");
    EXPECT_FALSE(SuggestionEngine::unusedApps(now));
}

TEST_F(SuggestionsTest, UnusedApplicationsStaySilentWithoutLastUsedDates) {
    allocate(home.path("Applications/Editor.app/Contents/data"), 300'000'000);
    allocate(home.path("Applications/Game.app/Contents/data"), 300'000'000);
    EXPECT_FALSE(SuggestionEngine::unusedApps(now));
    EXPECT_FALSE(Applications::lastUsedDate(at("Applications/Editor.app")));
}

// The clock

TEST_F(StaleArtifactsTest, NowIsTheOnlyClockTheRulesRead) {
    // Every date below lies in the machine's future: judged by the real
    // clock nothing would be idle, judged by `now` everything is.
    project("Code/web", days(40), {"package.json"});
    allocate(home.path("Applications/A.app/x"), 150'000'000);
    allocate(home.path("Applications/B.app/x"), 160'000'000);
    ScopedHooks<Applications::Hooks> applications;
    applications->lastUsedDate = [&](const std::string&) -> std::optional<Date> { return daysBefore(200); };

    auto built = tree()
                     .file("Code/web/node_modules/x", 100'000'000)
                     .file("Downloads/Old.zip", 100'000'000, daysBefore(100))
                     .file("Documents/Cold/x", 2'000'000'000, daysBefore(200));
    auto report = analyzeTree(built);
    EXPECT_EQ(report.generatedAt, now);
    for (const char* id : {"stale-dev-artifacts", "downloads-old", "cold-documents-cold", "unused-apps"})
        EXPECT_TRUE(byId(report.suggestions, id)) << id;

    // Seen from a year earlier, the same tree and disk hold nothing idle.
    ScanResult scan = scanOf(built.build());
    report = SuggestionEngine::analyze(&scan, {}, now - days(365));
    for (const char* id : {"stale-dev-artifacts", "downloads-old", "cold-documents-cold", "unused-apps"})
        EXPECT_FALSE(byId(report.suggestions, id)) << id;
}

// A realistic home, scanned for real

TEST_F(StaleArtifactsTest, ScannedHomeGivesFullAndQuickReports) {
    const auto realNow = std::chrono::system_clock::now();
    allocate(home.path("Library/Caches/com.example.browser/Cache.db"), 60'000'000);
    allocate(home.path("Library/Caches/com.example.mail/index"), 8'000'000);
    allocate(home.path("Library/Developer/Xcode/DerivedData/App-abc/Build/app.o"), 60'000'000);
    allocate(home.path("Library/Application Support/Slack/Cache/Cache_Data/blob"), 60'000'000);
    allocate(home.path("Library/Application Support/Code/CachedData/x"), 50'000'000);
    allocate(home.path("Downloads/Tool.dmg"), 30'000'000);
    allocate(home.path("Downloads/Other.pkg"), 30'000'000);
    allocate(home.path("Downloads/old-archive.zip"), 110'000'000);
    setModified(home.path("Downloads/old-archive.zip"), realNow - days(120));
    allocate(home.path("Code/webapp/node_modules/react/index.js"), 60'000'000);
    allocate(home.path("Code/ml/.venv/lib/torch.so"), 60'000'000);
    allocate(home.path("Code/fresh/node_modules/x"), 60'000'000);
    writeFile(home.path("Code/fresh/package.json"), 10);
    for (const char* entry : {"Code/webapp/package.json", "Code/ml/train.py"}) {
        writeFile(home.path(entry), 10);
        setModified(home.path(entry), realNow - days(45));
    }

    ScanResult scan = Scanner::scan(homePath());
    auto report = SuggestionEngine::analyze(&scan, {destination("nas", true)}, realNow);
    EXPECT_EQ(report.mode, "full");
    EXPECT_TRUE(report.notes.empty());
    auto ids = idsOf(report.suggestions);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"app-embedded-caches", "downloads-installers", "downloads-old",
                                             "stale-dev-artifacts", "user-caches", "xcode-derived-data"}));
    for (size_t index = 1; index < report.suggestions.size(); ++index)
        EXPECT_GE(report.suggestions[index - 1].reclaimableBytes, report.suggestions[index].reclaimableBytes);

    const Suggestion* caches = byId(report.suggestions, "user-caches");
    EXPECT_EQ(itemPaths(*caches), (std::vector<std::string>{at("Library/Caches/com.example.browser"),
                                                            at("Library/Caches/com.example.mail")}));
    EXPECT_EQ(caches->reclaimableBytes, scan.root.find(at("Library/Caches"))->size);
    auto stalePaths = byId(report.suggestions, "stale-dev-artifacts")->paths;
    std::sort(stalePaths.begin(), stalePaths.end());
    EXPECT_EQ(stalePaths, (std::vector<std::string>{at("Code/ml/.venv"), at("Code/webapp/node_modules")}));
    EXPECT_EQ(byId(report.suggestions, "downloads-old")->paths,
              std::vector<std::string>{at("Downloads/old-archive.zip")});
    EXPECT_EQ(byId(report.suggestions, "app-embedded-caches")->paths.size(), 2u);
    EXPECT_EQ(report.totalReclaimableBytes,
              std::accumulate(report.suggestions.begin(), report.suggestions.end(), int64_t{0},
                              [](int64_t sum, const Suggestion& s) { return sum + s.reclaimableBytes; }));

    auto quick = SuggestionEngine::analyze(nullptr, {destination("nas", true)}, realNow);
    EXPECT_EQ(quick.mode, "quick");
    EXPECT_EQ(idsOf(quick.suggestions), (std::vector<std::string>{"user-caches", "xcode-derived-data"}));
    EXPECT_FALSE(quick.suggestions[0].items);
    EXPECT_EQ(quick.suggestions[0].reclaimableBytes, caches->reclaimableBytes);
    ASSERT_EQ(quick.notes.size(), 1u);
    EXPECT_TRUE(quick.notes[0].starts_with("Quick mode checks only the usual places."));
}
