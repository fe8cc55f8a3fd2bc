// A clean made from a stored scan keeps to the folders that scan saw on the
// way from the home folder: a folder swapped for a link (or for another
// folder) after the scan leads neither the clean, nor the Trash, nor the
// scan cache anywhere else, while a link the scan already met is followed.
#include <fcntl.h>
#include <stdio.h>

#include "Service.hpp"
#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SeenPlaces.hpp"
#include "clean/Suggestions.hpp"
#include "platform/Platform.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

void PrintTo(const CleanFailure& failure, std::ostream* out) { *out << failure.path << ": " << failure.reason; }

namespace {

constexpr int64_t MB = 1'000'000;

class ScanWayTest : public HomeTest {
protected:
    ScopedHooks<ScanStore::Hooks> memory{ScanStore::Hooks::emptyMemory()};

    std::string at(const std::string& relative) const { return home.path(relative).string(); }

    /// Puts the folder at `relative` aside, out of the home folder, and a
    /// link to `target` in its place.
    void swapForLink(const std::string& relative, const fs::path& target) {
        fs::rename(home.path(relative), home.scratch() / ("aside-" + std::to_string(++swaps)));
        fs::create_directory_symlink(target, home.path(relative));
    }
    int swaps = 0;

    /// Recomputes the suggestions from `scan`, as a clean does, and applies `id`.
    CleanResult clean(const ScanResult& scan, const std::string& id) {
        const SuggestionReport report = SuggestionEngine::analyze(&scan, {}, std::chrono::system_clock::now());
        for (const auto& suggestion : report.suggestions)
            if (suggestion.id == id) return Cleaner::apply(suggestion, false);
        ADD_FAILURE() << "no suggestion " << id;
        return {};
    }

    /// The suggestion `id` of `report`, applied for real.
    CleanResult apply(const SuggestionReport& report, const std::string& id) {
        for (const auto& suggestion : report.suggestions)
            if (suggestion.id == id) return Cleaner::apply(suggestion, false);
        ADD_FAILURE() << "no suggestion " << id;
        return {};
    }

    static void exchange(const fs::path& a, const fs::path& b) {
        ASSERT_EQ(::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE), 0) << a;
    }

    void removeAll(std::initializer_list<fs::path> paths) {
        for (const auto& path : paths) fs::remove_all(path);
        fs::remove_all(Trash::homeTrash());
    }
};

}  // namespace

// ~/.cache swapped for a link after the scan was stored and before the clean
// recomputes its suggestions: the browser profile or the project the link
// leads to stays, and the refusal names the link. A link that was there when
// the scan looked (a cache moved to another disk) is followed as before.
TEST_F(ScanWayTest, ACleanFollowsOnlyTheLinksTheScanSaw) {
    struct Case {
        const char* what;
        fs::path target;  // where ~/.cache leads at the clean
        bool linkedBeforeScan;
    };
    const Case cases[] = {
        {"the browser's profile", home.path(".config"), false},
        {"a project", home.path("projects/app"), false},
        {"another disk, linked before the scan", home.scratch() / "disk/cache", true},
    };
    const std::string place = ".cache/google-chrome";
    for (const Case& c : cases) {
        const fs::path kept = c.target / "google-chrome/Default/Bookmarks";
        fs::remove_all(home.path(".cache"));
        if (c.linkedBeforeScan) {
            allocate(c.target / "google-chrome/Cache/data", 60 * MB);
            fs::create_directory_symlink(c.target, home.path(".cache"));
        } else {
            writeFile(kept, 10);
            allocate(home.path(place + "/Cache/data"), 60 * MB);
        }
        const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
        if (!c.linkedBeforeScan) swapForLink(".cache", c.target);

        const CleanResult result = clean(scan, "xdg-cache-apps");
        if (c.linkedBeforeScan) {
            EXPECT_TRUE(result.failed.empty()) << c.what;
            EXPECT_EQ(result.trashed, std::vector<std::string>{at(place + "/Cache")}) << c.what;
        } else {
            EXPECT_TRUE(fs::exists(kept)) << c.what << " was moved";
            EXPECT_TRUE(result.trashed.empty()) << c.what;
            EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{at(place), L("%@ 是符号链接", at(".cache"))}}))
                << c.what;
        }
        removeAll({home.path(".cache"), c.target / "google-chrome"});
    }
}

// The cache folder exchanged with another real folder after the scan: the
// project now under the cache's name is not the folder the scan measured.
TEST_F(ScanWayTest, AFolderExchangedForTheCacheSinceTheScanIsRefused) {
    const std::string place = ".cache/google-chrome";
    allocate(home.path(place + "/Cache/data"), 60 * MB);
    const fs::path project = writeFile(home.path("projects/site/index.html"), 10).parent_path();
    const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
    ASSERT_EQ(::renameat2(AT_FDCWD, home.path(place).c_str(), AT_FDCWD, project.c_str(), RENAME_EXCHANGE), 0);

    const CleanResult result = clean(scan, "xdg-cache-apps");
    EXPECT_TRUE(fs::exists(home.path(place + "/index.html"))) << "the project was moved";
    EXPECT_TRUE(result.trashed.empty());
    EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{at(place), L("%@ 在扫描之后被另一个目录替换了", at(place))}}));
}

// ~/.local/share swapped for a link after the scan: the move makes no Trash
// inside the link's target and puts nothing there.
TEST_F(ScanWayTest, TheTrashIsNeverMadeBehindALinkSwappedInSinceTheScan) {
    const std::string place = ".cache/thumbnails";
    allocate(home.path(place + "/large/a.png"), 60 * MB);
    fs::create_directories(home.path(".local/share"));
    fs::create_directories(home.path("projects"));
    const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
    swapForLink(".local/share", home.path("projects"));

    const CleanResult result = clean(scan, "xdg-cache-apps");
    EXPECT_FALSE(fs::exists(home.path("projects/Trash"))) << "a Trash was made inside the link's target";
    EXPECT_TRUE(fs::exists(home.path(place + "/large/a.png")));
    EXPECT_EQ(result.failed,
              (std::vector<CleanFailure>{{at(place + "/large"), L("%@ 是符号链接", at(".local/share"))}}));
}

// The scan cache is written into the cache folder the scan saw: not into
// the target of a link swapped in for ~/.cache since, but through a link
// that was there already.
TEST_F(ScanWayTest, TheScanCacheIsWrittenOnlyWhereTheScanSawItsFolder) {
    for (const bool linkedBeforeScan : {false, true}) {
        const fs::path target = home.path(linkedBeforeScan ? "elsewhere" : "projects");
        fs::create_directories(target);
        fs::remove_all(home.path(".cache"));
        if (linkedBeforeScan)
            fs::create_directory_symlink(target, home.path(".cache"));
        else
            fs::create_directories(home.path(".cache"));
        const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
        if (!linkedBeforeScan) swapForLink(".cache", target);

        ScanStore::store(scan, home.home());
        const bool written = fs::exists(target / "Ostrevane" / ("scan-" + ScanStore::hashText(home.home()) + ".json"));
        EXPECT_EQ(written, linkedBeforeScan) << (linkedBeforeScan ? "a link seen by the scan" : "a swapped link");
        removeAll({home.path(".cache"), target});
    }
}

// The command line's clean and the MCP tool recompute their suggestions from
// the stored scan and keep to its way: a Flatpak app's folder swapped for a
// link to a project leaves the project's own "cache" folder alone.
TEST_F(ScanWayTest, TheToolAndTheServerKeepToTheWayOfTheStoredScan) {
    const std::string app = ".var/app/org.example.App";
    const json call = {
        {"jsonrpc", "2.0"},
        {"id", 1},
        {"method", "tools/call"},
        {"params", {{"name", "apply_suggestion"}, {"arguments", {{"id", "flatpak-app-caches"}, {"confirm", true}}}}}};
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::optional<std::string> input;
    };
    const Case cases[] = {{"the command line", {"clean", "flatpak-app-caches", "--execute", "--json"}, std::nullopt},
                          {"the MCP tool", {"mcp"}, call.dump() + "\n"}};
    for (const Case& c : cases) {
        allocate(home.path(app + "/cache/blob"), 60 * MB);
        const fs::path kept = writeFile(home.path("projects/site/cache/notes.txt"), 10);
        ScanStore::scan(home.home(), SeenPlaces::scanOptions(home.home()), 900, true);
        swapForLink(app, home.path("projects/site"));

        const CLIResult run = runCLI(c.arguments, c.input);
        EXPECT_TRUE(fs::exists(kept)) << "moved by " << c.what << ": " << run.out << run.err;
        EXPECT_NE(run.out.find(L("%@ 是符号链接", at(app))), std::string::npos) << c.what << ": " << run.out << run.err;
        removeAll({home.path(app), home.path("projects")});
    }
}

// A clean that scans for itself acts on what its walk recorded. The cache
// folder is a link to ~/.config when the scan starts, the real folder while
// the walk measures it, and the link again at the clean: the profile the
// link leads to stays, inside the home and outside it (where no way at all
// was kept before).
TEST_F(ScanWayTest, ACleanThatScansForItselfMovesOnlyWhatItsWalkRecorded) {
    const fs::path caches[] = {home.path(".cache"), home.scratch() / "data/cache"};
    for (const fs::path& cache : caches) {
        // The XDG folders count for the user's own home, not for an override.
        ScopedEnv realHome("HOME", home.home());
        ScopedEnv override("OSTREVANE_HOME", std::nullopt);
        ScopedEnv cacheHome("XDG_CACHE_HOME", cache.string());
        ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
        ScopedHooks<ScanStore::Hooks> noScan{ScanStore::Hooks::emptyMemory()};
        const fs::path kept = writeFile(home.path(".config/google-chrome/Default/Bookmarks"), 10);
        const fs::path real = cache.parent_path() / "real-cache";
        allocate(real / "google-chrome/Cache/data", 60 * MB);
        fs::remove_all(cache);
        fs::create_directory_symlink(home.path(".config"), cache);
        SuggestionReport report;
        {
            ScopedHooks<Scanner::Hooks> hooks;
            // Once: the sizes measured for the suggestions scan too.
            hooks->walkStarts = [&, done = false]() mutable {
                if (!std::exchange(done, true)) exchange(cache, real);
            };
            report = Service::suggestionsToApply();
        }
        exchange(cache, real);

        const CleanResult result = apply(report, "xdg-cache-apps");
        EXPECT_TRUE(fs::exists(kept)) << cache << ": the profile was moved";
        EXPECT_TRUE(result.trashed.empty()) << cache;
        EXPECT_EQ(
            result.failed,
            (std::vector<CleanFailure>{{(cache / "google-chrome").string(), L("%@ 是符号链接", cache.string())}}));
        removeAll({cache, real, home.path(".config/google-chrome")});
    }
}

// Linux renames by name: another program that exchanges the item for the
// profile between the last check and the rename has the profile arrive in
// the Trash. It is put back under the name it was moved from, and the item
// is reported skipped; when that name was made again meanwhile, it stays in
// the Trash and the line says where.
TEST_F(ScanWayTest, WhatArrivesInTheTrashInsteadOfTheItemIsPutBack) {
    const std::string item = at(".cache/google-chrome/Cache");
    const std::string moved = Paths::joined(Trash::filesFolder(), "Cache");
    for (const bool nameMadeAgain : {false, true}) {
        const fs::path profile = writeFile(home.path(".config/google-chrome/Default/Bookmarks"), 10).parent_path();
        allocate(fs::path(item) / "data", 60 * MB);
        const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
        ScopedHooks<Trash::MoveHooks> hooks;
        hooks->beforeRename = [&](int, const std::string&) { exchange(item, profile); };
        if (nameMadeAgain) hooks->afterRename = [&](int, const std::string&) { fs::create_directory(item); };

        const CleanResult result = clean(scan, "xdg-cache-apps");
        EXPECT_TRUE(result.trashed.empty());
        if (nameMadeAgain) {
            EXPECT_TRUE(fs::exists(fs::path(moved) / "Bookmarks")) << "what arrived was not left in the Trash";
            EXPECT_EQ(result.failed,
                      (std::vector<CleanFailure>{{item, L("%@ 在移动时被替换了;移到废纸篓的是 %@", item, moved)}}));
        } else {
            EXPECT_TRUE(fs::exists(fs::path(item) / "Bookmarks")) << "the profile was not put back";
            EXPECT_FALSE(fs::exists(moved));
            EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{item, L("%@ 在移动时被替换了,已放回原处", item)}}));
        }
        removeAll({home.path(".cache/google-chrome"), home.path(".config/google-chrome")});
    }
}

// The stored scan is read through the cache folder its scan recorded: with
// ~/.cache exchanged since for a copy (holding the same scan file), the
// clean refuses and says what to do, rather than act on it or scan again.
TEST_F(ScanWayTest, AStoredScanReadThroughAnotherCacheFolderIsRefused) {
    allocate(home.path(".cache/google-chrome/Cache/data"), 60 * MB);
    ScanStore::scan(home.home(), SeenPlaces::scanOptions(home.home()), 900, true);
    const fs::path copy = home.scratch() / "copy";
    fs::copy(home.path(".cache"), copy, fs::copy_options::recursive);
    exchange(home.path(".cache"), copy);

    const CLIResult run = runCLI({"clean", "xdg-cache-apps", "--execute"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(L("扫描缓存目录在扫描之后被替换了;请运行 `ostrevane scan --refresh`")), std::string::npos)
        << run.out << run.err;
    EXPECT_TRUE(fs::exists(home.path(".cache/google-chrome/Cache/data")));
    EXPECT_TRUE(fs::exists(copy / "google-chrome/Cache/data"));
}

// A place the scan kept no record of (made after it) is skipped with the
// reason, not passed as if nothing could have changed there.
TEST_F(ScanWayTest, APlaceTheScanDidNotMeasureIsSkipped) {
    const std::string place = at(".cache/google-chrome");
    fs::create_directories(home.path(".cache"));
    const ScanResult scan = Scanner::scan(home.home(), SeenPlaces::scanOptions(home.home()));
    allocate(fs::path(place) / "Cache/data", 60 * MB);

    const CleanResult result = clean(scan, "xdg-cache-apps");
    EXPECT_TRUE(fs::exists(fs::path(place) / "Cache/data")) << "moved without a record";
    EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{place, L("扫描没有测量过 %@", place)}}));
}

// A clean from a stored scan moves the very items the rules picked from its
// tree, as its walk measured them: an installer replaced since by a folder of
// the same name (holding the user's documents) stays, with the reason, while
// an installer and a stale project's dependencies left as they were move.
TEST_F(ScanWayTest, ACleanFromAStoredScanMovesOnlyTheItemsItsWalkMeasured) {
    struct Case {
        const char* what;
        const char* id;
        const char* item;
        bool replaced;
    };
    const Case cases[] = {
        {"an installer replaced by a folder", "downloads-installers", "Downloads/big.iso", true},
        {"an installer as it was", "downloads-installers", "Downloads/big.iso", false},
        {"a stale project's dependencies as they were", "stale-dev-artifacts", "Code/web/node_modules", false},
    };
    const double idle = 60.0 * 86'400;
    for (const Case& c : cases) {
        allocate(home.path("Downloads/big.iso"), 60 * MB);
        for (const char* project : {"Code/web", "Code/ml"}) setAge(writeFile(home.path(project) / "README", 10), idle);
        allocate(home.path("Code/web/node_modules/dep"), 60 * MB);
        allocate(home.path("Code/ml/.venv/lib"), 60 * MB);
        const fs::path work = writeFile(home.path("Documents/work/report.txt"), 10).parent_path();
        ScanStore::scan(home.home(), SeenPlaces::scanOptions(home.home()), 900, true);
        if (c.replaced) {
            fs::remove(home.path(c.item));
            fs::rename(work, home.path(c.item));
        }

        const CLIResult run = runCLI({"clean", c.id, "--execute", "--json"});
        const CleanResult result = JSONOut::decode<CleanResult>(run.out);
        if (c.replaced) {
            EXPECT_TRUE(fs::exists(home.path(c.item) / "report.txt")) << c.what << ": the documents were moved";
            EXPECT_TRUE(result.trashed.empty()) << c.what;
            EXPECT_EQ(result.failed,
                      (std::vector<CleanFailure>{{at(c.item), L("扫描之后有改动;请运行 `ostrevane scan --refresh`")}}))
                << c.what;
        } else {
            EXPECT_EQ(run.status, 0) << c.what << ": " << run.out << run.err;
            EXPECT_NE(std::find(result.trashed.begin(), result.trashed.end(), at(c.item)), result.trashed.end())
                << c.what << ": " << run.out;
            EXPECT_FALSE(fs::exists(home.path(c.item))) << c.what;
        }
        removeAll({home.path("Downloads"), home.path("Code"), home.path("Documents")});
    }
}
