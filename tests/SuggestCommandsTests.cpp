#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SuggestionTypes.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"

using namespace testing_support;

namespace {

bool isInside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

class SuggestCommandsTest : public HomeTest {
protected:
    void SetUp() override {
        // A home with something for each kind of action: installers to trash,
        // caches to empty, a folder only the user may judge, and bystanders.
        allocate(home.path("Downloads/Tool.dmg"), 30'000'000);
        allocate(home.path("Downloads/Setup.pkg"), 30'000'000);
        writeText(home.path("Downloads/keep.txt"), "keep");
        allocate(home.path("Library/Caches/com.example.browser/Cache.db"), 40'000'000);
        allocate(home.path("Library/Caches/com.example.mail/index"), 20'000'000);
        allocate(home.path(".npm/_cacache/content/blob"), 60'000'000);
        allocate(home.path(".cache/some-cli/blob"), 60'000'000);
        writeText(home.path("Documents/letter.txt"), "dear");
    }

    std::string at(const std::string& rel) const { return home.home() + "/" + rel; }

    /// Every path below the home folder, leaving out the Trash and the
    /// engine's own scan cache, which the commands themselves rewrite.
    std::set<std::string> homeContents() const {
        std::set<std::string> paths;
        const std::string trash = Trash::homeTrash();
        const std::string scanCache = at(".cache/Ostrevane");
        for (auto it = fs::recursive_directory_iterator(home.home()); it != fs::recursive_directory_iterator(); ++it) {
            std::string path = it->path().string();
            if (isInside(path, trash) || isInside(path, scanCache)) {
                if (it->is_directory()) it.disable_recursion_pending();
                continue;
            }
            // The folders that hold the Trash appear with it.
            if (isInside(trash, path)) continue;
            paths.insert(path);
        }
        return paths;
    }

    SuggestionReport suggestJSON() {
        auto result = runCLI({"suggest", "--json"});
        EXPECT_EQ(result.status, 0) << result.err;
        return JSONOut::decode<SuggestionReport>(result.out);
    }

    static const Suggestion& find(const SuggestionReport& report, const std::string& id) {
        for (const auto& suggestion : report.suggestions)
            if (suggestion.id == id) return suggestion;
        throw std::runtime_error("no suggestion " + id);
    }
};

}  // namespace

TEST_F(SuggestCommandsTest, CleanExecuteMovesExactlyTheListedPathsToTheTrash) {
    SuggestionReport report = suggestJSON();
    EXPECT_EQ(report.mode, "full");
    const Suggestion& installers = find(report, "downloads-installers");
    std::set<std::string> installerPaths(installers.paths.begin(), installers.paths.end());
    EXPECT_EQ(installerPaths, (std::set<std::string>{at("Downloads/Setup.pkg"), at("Downloads/Tool.dmg")}));
    const Suggestion& caches = find(report, "user-caches");
    EXPECT_EQ(caches.paths, std::vector<std::string>{at("Library/Caches")});

    // A dry run changes nothing.
    std::set<std::string> before = homeContents();
    auto dry = runCLI({"clean", "downloads-installers", "--json"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    auto dryResult = JSONOut::decode<CleanResult>(dry.out);
    EXPECT_TRUE(dryResult.dryRun);
    EXPECT_EQ(dryResult.trashed, installers.paths);
    EXPECT_EQ(homeContents(), before);

    // The contents of the cache folder are what its suggestion moves; the folder stays.
    std::vector<std::string> cacheChildren;
    for (const auto& entry : fs::directory_iterator(at("Library/Caches")))
        cacheChildren.push_back(entry.path().string());
    std::vector<std::string> expected = installers.paths;
    expected.insert(expected.end(), cacheChildren.begin(), cacheChildren.end());

    auto real = runCLI({"clean", "downloads-installers", "user-caches", "--execute", "--json"});
    ASSERT_EQ(real.status, 0) << real.err;
    json results = json::parse(real.out);
    ASSERT_TRUE(results.is_array());
    ASSERT_EQ(results.size(), 2u);
    std::vector<std::string> trashed;
    for (const auto& result : results) {
        EXPECT_FALSE(result.at("dryRun").get<bool>());
        EXPECT_TRUE(result.at("failed").empty());
        for (const auto& path : result.at("trashed")) trashed.push_back(path.get<std::string>());
    }
    std::sort(trashed.begin(), trashed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(trashed, expected);

    std::set<std::string> after = homeContents();
    std::set<std::string> remaining;
    for (const auto& path : before) {
        bool moved = std::any_of(expected.begin(), expected.end(),
                                 [&](const auto& gone) { return isInside(path, gone); });
        if (!moved) remaining.insert(path);
    }
    EXPECT_EQ(after, remaining);
    EXPECT_TRUE(fs::is_directory(at("Library/Caches")));
    EXPECT_TRUE(fs::exists(at("Downloads/keep.txt")));

    std::set<std::string> inTrash;
    for (const auto& entry : fs::directory_iterator(Trash::filesFolder()))
        inTrash.insert(entry.path().filename().string());
    std::set<std::string> expectedNames;
    for (const auto& path : expected) expectedNames.insert(fs::path(path).filename().string());
    EXPECT_EQ(inTrash, expectedNames);
}

// A destination added before folders in caches were refused: the safe clean
// of the caches must not take the only copy an offload left there, whether
// the destination lies in a cache folder or is the cache folder itself.
TEST_F(SuggestCommandsTest, CleanLeavesABackupDestinationAndTheFolderHoldingIt) {
    struct Case {
        std::string destination;  // below the home
        std::string kept;         // the item the clean leaves
        std::string reason;
    };
    const std::vector<Case> cases = {
        {".cache/pip/arch", ".cache/pip/arch",
         "This is the backup destination " + at(".cache/pip/arch") + " or holds it: a clean doesn’t move it"},
        {".cache/pip", ".cache/pip/Ostrevane Backups",
         "This is inside the backups in " + at(".cache/pip/Ostrevane Backups") + ": a clean doesn’t move it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination);
        const fs::path archived = allocate(home.path(c.destination + "/Ostrevane Backups/pc/report.bin"), 60'000'000);
        allocate(home.path(".cache/mozilla/blob"), 60'000'000);
        const std::string destination = at(c.destination);
        writeText(home.path(".config/Ostrevane/config.json"),
                  json({{"customDestinations", {{{"name", "arch"}, {"path", destination}}}}, {"plans", json::array()}})
                      .dump());

        auto result = runCLI({"clean", "xdg-cache-apps", "--execute", "--json"});
        EXPECT_EQ(result.status, 1) << result.err;
        auto cleaned = JSONOut::decode<CleanResult>(result.out);
        EXPECT_EQ(cleaned.trashed, std::vector<std::string>{at(".cache/mozilla/blob")});
        EXPECT_EQ(cleaned.failed, (std::vector<CleanFailure>{{at(c.kept), c.reason}}));
        EXPECT_TRUE(fs::exists(archived));
        fs::remove_all(home.path(".cache"));
    }
}

TEST_F(SuggestCommandsTest, CleanTouchesNothingWhenAnyIdIsUnknownOrNotAutomatic) {
    ASSERT_EQ(runCLI({"suggest"}).status, 0);
    std::set<std::string> before = homeContents();

    auto unknown = runCLI({"clean", "downloads-installers", "nope", "--execute"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "Error: No suggestion with id nope. Run ostrevane suggest to see them.\n");

    auto manual = runCLI({"clean", "downloads-installers", "dot-cache", "--execute"});
    EXPECT_EQ(manual.status, 1);
    EXPECT_EQ(manual.err,
              "Error: “~/.cache (command-line tool caches)” can’t be applied automatically (risk review, action "
              "manual). Review the details, then use trash / offload on specific paths.\n");

    EXPECT_EQ(homeContents(), before);

    auto usage = runCLI({"clean", "--execute"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err, "Usage: ostrevane clean <suggestion-id>... [--execute]\n");
}

TEST_F(SuggestCommandsTest, CleanDryRunPrintsWhatWouldMoveAndTheClosingNote) {
    auto result = runCLI({"clean", "downloads-installers"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.starts_with("Would move to the Trash: 2 items, "));
    EXPECT_NE(result.out.find("  ~/Downloads/Tool.dmg\n"), std::string::npos);
    EXPECT_TRUE(
        result.out.ends_with("\n\nThis was a dry run; no files were changed. Add --execute to do it for real.\n"));
    EXPECT_TRUE(fs::exists(at("Downloads/Tool.dmg")));
}

TEST_F(SuggestCommandsTest, SuggestPrintsTotalsSuggestionsCommandsAndNotes) {
    auto result = runCLI({"suggest"});
    ASSERT_EQ(result.status, 0) << result.err;
    SuggestionReport report = suggestJSON();
    EXPECT_TRUE(result.out.starts_with("About " + report.totalReclaimable + " to reclaim (" + report.safeReclaimable +
                                       " of it safe to clean)\n\n"));
    EXPECT_NE(result.out.find("  npm-cache  npm cache  [Safe]\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n            Suggested command: npm cache clean --force\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n            ~/Library/Caches\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n\nNote: No cloud drive found."), std::string::npos);
}

TEST_F(SuggestCommandsTest, QuickSuggestWithoutStoredScanChecksOnlyTheUsualPlaces) {
    auto result = runCLI({"suggest", "--quick", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto report = JSONOut::decode<SuggestionReport>(result.out);
    EXPECT_EQ(report.mode, "quick");
    ASSERT_FALSE(report.notes.empty());
    EXPECT_TRUE(report.notes[0].starts_with("Quick mode checks only the usual places."));
    std::vector<std::string> ids;
    for (const auto& suggestion : report.suggestions) ids.push_back(suggestion.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"dot-cache", "npm-cache", "user-caches"}));
    // Quick mode never scans, so nothing was stored for the next command.
    EXPECT_FALSE(ScanStore::cached(home.home(), 900));
}

TEST_F(SuggestCommandsTest, RepeatedIdIsAppliedOnce) {
    auto result = runCLI({"clean", "downloads-installers", "downloads-installers", "--execute", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto cleaned = JSONOut::decode<CleanResult>(result.out);
    EXPECT_EQ(cleaned.trashed.size(), 2u);
    EXPECT_TRUE(cleaned.failed.empty());
    EXPECT_FALSE(fs::exists(at("Downloads/Tool.dmg")));
}

// An old download written to after the scan is no longer what the user
// approved: the clean measures it again and leaves it, while the untouched
// one beside it still goes.
TEST_F(SuggestCommandsTest, CleanLeavesAnOldDownloadWrittenToSinceTheScan) {
    constexpr double day = 86400;
    const fs::path edited = home.path("Downloads/thesis-data.csv");
    setAge(allocate(edited, 120'000'000), 200 * day);
    setAge(allocate(home.path("Downloads/old-archive.zip"), 30'000'000), 200 * day);
    const SuggestionReport report = suggestJSON();
    const Suggestion& old = find(report, "downloads-old");
    EXPECT_EQ(std::set<std::string>(old.paths.begin(), old.paths.end()),
              (std::set<std::string>{edited.string(), at("Downloads/old-archive.zip")}));
    std::ofstream(edited, std::ios::app) << "one more line\n";

    auto result = runCLI({"clean", "downloads-old", "--execute", "--json"});
    EXPECT_EQ(result.status, 1) << result.err;
    auto cleaned = JSONOut::decode<CleanResult>(result.out);
    EXPECT_EQ(cleaned.trashed, std::vector<std::string>{at("Downloads/old-archive.zip")});
    EXPECT_EQ(cleaned.failed, (std::vector<CleanFailure>{{edited.string(), "It changed since the scan"}}));
    EXPECT_EQ(fs::file_size(edited), 120'000'000u + 14);
    EXPECT_FALSE(fs::exists(at("Downloads/old-archive.zip")));
}
