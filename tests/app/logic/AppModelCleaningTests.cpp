#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "ModelHarness.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "clean/Cleaner.hpp"
#include "clean/Suggestions.hpp"
#include "platform/Trash.hpp"

using testing_support::ScopedHome;

namespace {

Suggestion suggestion(const std::string& id, std::vector<std::string> paths, Risk risk = Risk::safe,
                      CleanAction action = CleanAction::trash, int64_t bytes = 0) {
    return Suggestion(id, "cache", id, "", std::move(paths), bytes, risk, action);
}

CleanResult cleanResult(std::vector<std::string> trashed, std::vector<CleanFailure> failed, std::string message) {
    return CleanResult(false, std::move(trashed), std::move(failed), 0, std::move(message));
}

class AppModelCleaningTest : public ModelTest {
protected:
    const std::string a = root + "/a";

    void SetUp() override { harness.startWith(folderNode(root, {folderNode(a, {}, 10)})); }
};

TEST_F(AppModelCleaningTest, EveryBranchOfTheCleanCompletion) {
    struct Case {
        const char* name;
        std::function<void(AppModel&)> start;
        std::function<void(FakeEngine&)> script;
        std::string key;
        bool pendingBefore;
        std::string text;
        bool isError;
        bool pendingAfter;
        bool pruned;
    };
    const std::string a = root + "/a";
    const Case cases[] = {
        {"a throwing apply", [&](AppModel& m) { m.apply(suggestion("s1", {a})); },
         [](FakeEngine& e) {
             e.applySuggestion = [](const Suggestion&) -> CleanResult { throw OstrevaneError("no"); };
         },
         "s1", true, "no", true, true, false},
        {"a trash that moved", [&](AppModel& m) { m.trash({a}); }, {}, "trash", false, "trashed", false, true, true},
        {"a trash of refused paths only", [&](AppModel& m) { m.trash({a}); },
         [&](FakeEngine& e) {
             e.trash = [&](auto&) { return cleanResult({}, {{a, "protected"}}, "refused"); };
             // A refused path is still there when measured again.
             e.measure = [&](const std::string& path, int64_t) {
                 return path == a ? std::optional(folderNode(a, {}, 10)) : std::nullopt;
             };
         },
         "trash", false, "refused", true, false, false},
        {"a trash of nothing", [&](AppModel& m) { m.trash({}); }, {}, "trash", true, "trashed", false, true, false},
        {"an emptying that listed items", [](AppModel& m) { m.emptyTrash(); },
         [](FakeEngine& e) { e.emptyTrash = [] { return cleanResult({"/t/x"}, {}, "emptied 1"); }; }, "empty-trash",
         true, "emptied 1", false, false, false},
        {"an emptying that listed nothing",
         [](AppModel& m) { m.emptyTrash(); },
         {},
         "empty-trash",
         true,
         "emptied",
         false,
         false,
         false},
        {"an emptying that left folders", [](AppModel& m) { m.emptyTrash(); },
         [](FakeEngine& e) {
             e.emptyTrash = [] {
                 return cleanResult({},
                                    {{"/m/.Trash/0", "A symbolic link; not emptied"},
                                     {"/m/a", "b"},
                                     {"/m/c", "d"},
                                     {"/m/e", "f"},
                                     {"/m/g", "h"}},
                                    "Partly emptied.");
             };
         },
         "empty-trash", true,
         "Partly emptied. /m/.Trash/0: A symbolic link; not emptied. /m/a: b. /m/c: d. … and 2 more", true, false,
         false},
        {"a failed emptying", [](AppModel& m) { m.emptyTrash(); },
         [](FakeEngine& e) { e.emptyTrash = []() -> CleanResult { throw OstrevaneError("locked"); }; }, "empty-trash",
         true, "locked", true, true, false},
        {"a suggestion that empties the Trash",
         [](AppModel& m) { m.apply(suggestion("bin", {"/t/x"}, Risk::safe, CleanAction::emptyTrash)); },
         {},
         "bin",
         true,
         "applied bin",
         false,
         false,
         false},
    };
    for (const Case& c : cases) {
        ModelHarness run;
        run.startWith(folderNode(root, {folderNode(a, {}, 10)}));
        if (c.script) c.script(run.engine);
        AppModelTestAccess::setTrashPending(*run.model, c.pendingBefore);
        const auto notices = run.recordNotices();
        const int analyses = run.engine.analyses;
        const int volumeReads = run.engine.volumeReads;
        c.start(*run.model);
        EXPECT_EQ(run.model->busySuggestion(), c.key) << c.name;
        run.settle();
        EXPECT_FALSE(run.model->busySuggestion()) << c.name;
        ASSERT_EQ(notices->size(), 1u) << c.name;
        EXPECT_EQ(notices->back().text, c.text) << c.name;
        EXPECT_EQ(notices->back().isError, c.isError) << c.name;
        EXPECT_EQ(run.model->trashPending(), c.pendingAfter) << c.name;
        EXPECT_EQ(run.model->scan()->root.find(a) == nullptr, c.pruned) << c.name;
        EXPECT_EQ(run.engine.analyses, analyses + 1) << c.name;
        EXPECT_EQ(run.engine.volumeReads, volumeReads + 1) << c.name;
    }
}

TEST_F(AppModelCleaningTest, ApplyAllSafeCountsThrownSuggestionsAsFailures) {
    const auto throwing = [](const Suggestion& s) -> CleanResult {
        if (s.id.starts_with("bad")) throw OstrevaneError("busy");
        return CleanResult(false, s.paths, {}, s.reclaimableBytes, "");
    };
    const std::string tail = " Empty the Trash to free the space.";
    struct Case {
        const char* name;
        std::vector<Suggestion> suggestions;
        std::vector<std::string> applied;
        std::string text;
        bool isError;
        bool pending;
    };
    const Case cases[] = {
        {"none safe",
         {suggestion("r", {a}, Risk::review), suggestion("m", {a}, Risk::safe, CleanAction::manual)},
         {},
         "",
         false,
         false},
        {"mixed",
         {suggestion("ok", {a, root + "/b"}, Risk::safe, CleanAction::trash, 2000), suggestion("r", {a}, Risk::review),
          suggestion("bad", {root + "/c"})},
         {"ok", "bad"},
         "Moved 2 items (2 KB) to the Trash. 1 item couldn’t be moved (protected by the system or in use)." + tail,
         false,
         true},
        {"all throw",
         {suggestion("bad1", {root + "/c"}), suggestion("bad2", {root + "/d"})},
         {"bad1", "bad2"},
         "Moved 0 items (0 KB) to the Trash. 2 items couldn’t be moved (protected by the system or in use)." + tail,
         true,
         false},
        {"one moved",
         {suggestion("ok", {a}, Risk::safe, CleanAction::trash, 1000)},
         {"ok"},
         "Moved 1 item (1 KB) to the Trash." + tail,
         false,
         true},
    };
    for (const Case& c : cases) {
        ModelHarness run;
        run.engine.suggestions = c.suggestions;
        run.engine.applySuggestion = throwing;
        run.startWith(folderNode(root, {folderNode(a, {}, 10)}));
        const auto notices = run.recordNotices();
        run.model->applyAllSafe();
        run.settle();
        EXPECT_EQ(run.engine.applied, c.applied) << c.name;
        EXPECT_EQ(notices->empty(), c.text.empty()) << c.name;
        if (!notices->empty()) {
            EXPECT_EQ(notices->back().text, c.text) << c.name;
            EXPECT_EQ(notices->back().isError, c.isError) << c.name;
        }
        EXPECT_EQ(run.model->trashPending(), c.pending) << c.name;
    }
    // Without a report there is nothing to do: no busy key, no job.
    ModelHarness bare;
    bare.model->applyAllSafe();
    EXPECT_FALSE(bare.model->busySuggestion());
    EXPECT_EQ(bare.executor->pending(), 0u);
}

TEST(AppModelCleaningChinese, TheAllSafeNoticeJoinsItsPartsWithNothingBetween) {
    ScopedHome home{"zh"};
    ModelHarness run;
    run.engine.suggestions = {suggestion("ok", {Paths::home() + "/a"}, Risk::safe, CleanAction::trash, 1000),
                              suggestion("bad", {Paths::home() + "/b"})};
    run.engine.applySuggestion = [](const Suggestion& s) -> CleanResult {
        if (s.id == "bad") throw OstrevaneError("x");
        return CleanResult(false, s.paths, {}, s.reclaimableBytes, "");
    };
    run.startWith(folderNode(Paths::home()));
    run.model->applyAllSafe();
    run.settle();
    EXPECT_EQ(run.model->notice()->text,
              "已把 1 项(1 KB)移到废纸篓。1 项无法移动(系统保护或正在使用)。清倒废纸篓后空间才会释放。");
}

TEST_F(AppModelCleaningTest, NoCleanOrEvictStartsWhileAnotherIsBusy) {
    engine.suggestions = {suggestion("s", {a})};
    model.analyze();
    harness.settle();
    const std::vector<std::pair<std::string, std::function<void()>>> ops = {
        {"s", [&] { model.apply(engine.suggestions[0]); }},
        {"all-safe", [&] { model.applyAllSafe(); }},
        {"trash", [&] { model.trash({a}); }},
        {"empty-trash", [&] { model.emptyTrash(); }},
        {"explorer-evict", [&] { model.evict({a}, "explorer-evict"); }},
    };
    engine.evict = [](const std::string&) { return EvictReport{}; };
    for (const auto& [firstKey, first] : ops) {
        first();
        ASSERT_EQ(model.busySuggestion(), firstKey);
        const size_t jobs = harness.executor->pending();
        for (const auto& [key, second] : ops) second();
        EXPECT_EQ(harness.executor->pending(), jobs) << firstKey;
        EXPECT_EQ(model.busySuggestion(), firstKey);
        harness.settle();
        EXPECT_FALSE(model.busySuggestion()) << firstKey;
    }
}

TEST_F(AppModelCleaningTest, EvictCountsThrownPathsAndMeasuresTheEvictedPathsFileSystem) {
    const std::string p1 = root + "/Cloud/x", p2 = root + "/Cloud/y";
    struct Case {
        const char* name;
        std::optional<EvictReport> first, second;  // none: that path's release throws
        std::vector<int64_t> free;
        std::string text;
        bool isError;
        int rescans;
    };
    const std::string freed = Fmt::bytes(4096);
    const Case cases[] = {
        {"released",
         EvictReport{p1, 2, 0, 0, ""},
         EvictReport{p2, 1, 0, 0, ""},
         {1000, 5096},
         "Released the local copies of 3 files, freeing about " + freed + " (they stay in iCloud).",
         false,
         1},
        {"nothing uploaded",
         EvictReport{p1, 0, 2, 0, ""},
         EvictReport{p2, 0, 0, 0, ""},
         {1000, 1000},
         "Released the local copies of 0 files, freeing about 0 KB (they stay in iCloud). 2 files haven’t finished "
         "uploading and were left alone.",
         true,
         0},
        {"one throws, space shrank",
         std::nullopt,
         EvictReport{p2, 1, 0, 0, ""},
         {5000, 4000},
         "Released the local copy of 1 file, freeing about 0 KB (it stays in iCloud). 1 file hasn’t finished "
         "uploading and was left alone.",
         false,
         1},
        {"every one throws",
         std::nullopt,
         std::nullopt,
         {},
         "Released the local copies of 0 files, freeing about 0 KB (they stay in iCloud). 2 files haven’t finished "
         "uploading and were left alone.",
         true,
         0},
    };
    for (const Case& c : cases) {
        ModelHarness run;
        run.startWith(folderNode(root));
        run.engine.freeReadings = c.free;
        run.engine.evict = [&](const std::string& path) {
            const auto& report = path == p1 ? c.first : c.second;
            if (!report) throw OstrevaneError("gone");
            return *report;
        };
        run.model->evict({p1, p2}, "explorer-evict");
        EXPECT_EQ(run.model->busySuggestion(), "explorer-evict");
        run.settle();
        EXPECT_FALSE(run.model->busySuggestion());
        EXPECT_EQ(run.model->notice()->text, c.text) << c.name;
        EXPECT_EQ(run.model->notice()->isError, c.isError) << c.name;
        EXPECT_EQ(run.engine.scans, c.rescans) << c.name;
        EXPECT_FALSE(run.model->trashPending());
        EXPECT_EQ(run.engine.freeAsked, (std::vector<std::vector<std::string>>{{p1, p2}, {p1, p2}})) << c.name;
    }
}

TEST_F(AppModelCleaningTest, FreeSpaceIsReadOncePerFileSystemOfThePaths) {
    const auto first = testing_support::writeFile(home.path("Cloud/x"), 1);
    const auto second = testing_support::writeFile(home.path("Cloud/y"), 1);
    const AppEngine live = AppEngine::live();
    const int64_t one = live.freeBytes({first.string()});
    const int64_t both = live.freeBytes({first.string(), second.string()});
    ASSERT_GT(one, 0);
    // Other writers move the figure a little; counting the volume twice would double it.
    EXPECT_LT(std::llabs(both - one), one / 2);
    EXPECT_EQ(live.freeBytes({}), 0);
}

}  // namespace

TEST_F(ModelTest, EveryOperationThatChangesTheTrashHasTheAnalysisMeasureItAfresh) {
    const std::string trash = root + "/.local/share/Trash";
    const std::string a = root + "/a";
    engine.trashFolder = trash;
    const FileNode tree = folderNode(
        root, {folderNode(a, {}, 10),
               folderNode(root + "/.local", {folderNode(root + "/.local/share", {folderNode(trash, {}, 50)})})});
    engine.scanResult = scanOf(tree);
    engine.offload = [](const std::string&, auto&, auto&) {
        OffloadReport result;
        result.sourceTrashed = true;
        return result;
    };
    const BackupDestination destination{"folder:Backups", DestinationKind::folder, "Backups", "/b", {}, true, {}};
    harness.startWith(tree);
    auto analysedTheScansTrash = [&] { return engine.analyzed.back() && engine.analyzed.back()->root.find(trash); };
    // The stored scan the window starts from may be old: its Trash is not trusted.
    EXPECT_FALSE(analysedTheScansTrash());
    model.rescan();
    harness.settle();
    EXPECT_TRUE(analysedTheScansTrash());

    const std::pair<const char*, std::function<void()>> operations[] = {
        {"move to the Trash", [&] { model.trash({a}); }},
        {"empty the Trash", [&] { model.emptyTrash(); }},
        {"clean a suggestion", [&] { model.apply(suggestion("s", {a})); }},
        {"clean every safe item",
         [&] {
             engine.suggestions = {suggestion("s", {a})};
             model.analyze();
             harness.settle();
             model.applyAllSafe();
         }},
        {"archive", [&] { model.offload(a, destination); }},
    };
    for (const auto& [name, operation] : operations) {
        operation();
        harness.settle();
        EXPECT_FALSE(analysedTheScansTrash()) << name;
        EXPECT_EQ(engine.analyzed.back()->root.find(a) != nullptr, std::string(name) == "empty the Trash") << name;
        // A new scan holds the Trash as it is: its figure counts again.
        model.rescan();
        harness.settle();
        EXPECT_TRUE(analysedTheScansTrash()) << name;
    }
}

namespace {
/// Every node's size and file count, by path.
std::map<std::string, std::pair<int64_t, int64_t>> totalsOf(const FileNode& root) {
    std::map<std::string, std::pair<int64_t, int64_t>> totals;
    root.walk([&](const FileNode& node) {
        totals[node.path] = {node.size, node.fileCount};
        return true;
    });
    return totals;
}
}  // namespace

// On a real home whose Trash lies inside it, the window's tree keeps equal to
// a fresh scan after each clean, archive and emptying, node for node: moved
// items leave their folders and appear under the Trash, emptied ones leave it.
// The Trash does not exist at first, so the first clean also makes its folders.
// The suggestions the window then shows list no emptied cache.
TEST_F(ModelTest, TheTreeKeepsEqualToAFreshScanAfterEveryCleanArchiveAndEmptying) {
    using testing_support::allocate;
    constexpr int64_t MiB = 1 << 20;
    allocate(home.path(".cache/mozilla/firefox/cache2/entry"), 60 * MiB);
    allocate(home.path(".cache/pip/http/wheel"), 3 * MiB);
    allocate(home.path(".cache/pip/selfcheck.json"), 10'000);
    allocate(home.path(".cache/fontconfig/cache-1"), 20'000);
    allocate(home.path("Downloads/big.iso"), 5 * MiB);
    allocate(home.path("Downloads/note.txt"), 2'000);
    allocate(home.path("Projects/old/data.bin"), 2 * MiB);
    allocate(home.path("Documents/kept.pdf"), 2 * MiB);
    // The application's own folders, where a clean forgets the stored scans
    // and an archive records its backup, are there already.
    Paths::cacheDir();
    Paths::supportDir();
    engine.trashFolder = Trash::homeTrash();
    ASSERT_TRUE(Paths::isInside(engine.trashFolder, root));
    engine.scan = [&](auto&, auto&) { return Scanner::scan(root); };
    engine.analyzeHook = [&](SuggestionReport& report) {
        report = SuggestionEngine::analyze(engine.analyzed.back().get(), {}, Date{});
    };
    engine.applySuggestion = [](const Suggestion& chosen) { return Cleaner::apply(chosen, false); };
    engine.trash = [](const std::vector<std::string>& paths) { return Cleaner::trash(paths, false); };
    engine.emptyTrash = [] { return Cleaner::emptyTrash(); };
    fs::create_directories(home.scratch() / "drive");
    const BackupDestination drive{
        "folder:drive", DestinationKind::folder, "drive", (home.scratch() / "drive").string(), {}, true, {}};
    engine.offload = [&](const std::string& source, auto& token, auto& progress) {
        return BackupEngine::offload(source, drive, false, token, progress);
    };
    model.rescan();
    harness.settle();

    const std::pair<const char*, std::function<void()>> operations[] = {
        {"clean the contents of two caches",
         [&] {
             model.apply(Suggestion("xdg-cache-apps", "cache", "caches", "",
                                    {root + "/.cache/pip", root + "/.cache/fontconfig"}, 0, Risk::safe,
                                    CleanAction::trashContents));
         }},
        {"archive a project", [&] { model.offload(root + "/Projects/old", drive); }},
        {"move a large and a small file",
         [&] {
             model.trash({root + "/Downloads/big.iso", root + "/Downloads/note.txt"});
         }},
        {"empty the Trash", [&] { model.emptyTrash(); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        operation();
        harness.settle();
        ASSERT_FALSE(model.notice()->isError) << model.notice()->text;
        const ScanResult fresh = Scanner::scan(root);
        EXPECT_EQ(totalsOf(model.scan()->root), totalsOf(fresh.root));
        EXPECT_EQ(model.scan()->fileCount, fresh.fileCount);
        EXPECT_EQ(engine.stored.back().root.size, fresh.root.size);
        const Suggestion* caches = nullptr;
        for (const Suggestion& shown : model.report()->suggestions)
            if (shown.id == "xdg-cache-apps") caches = &shown;
        ASSERT_TRUE(caches);
        EXPECT_EQ(caches->paths, std::vector<std::string>{root + "/.cache/mozilla"});
    }
    EXPECT_TRUE(model.scan()->root.find(root + "/Documents/kept.pdf"));
}

// The window's Trash card empties what the analysis behind it measured: a
// cache the window cleaned after the card was made stays restorable.
TEST_F(ModelTest, TheTrashCardEmptiesWhatItsAnalysisMeasured) {
    using testing_support::allocate;
    allocate(home.path("Music/track03.flac"), 12'000'000);
    allocate(home.path(".cache/pip/http/wheel"), 60'000'000);
    ASSERT_TRUE(Cleaner::trash({root + "/Music/track03.flac"}, false).failed.empty());
    const int64_t shown = Trash::allocatedSize();
    engine.trashFolder = Trash::homeTrash();
    engine.scan = [&](auto&, auto&) { return Scanner::scan(root); };
    engine.analyzeHook = [&](SuggestionReport& report) {
        report = SuggestionEngine::analyze(engine.analyzed.back().get(), {}, std::chrono::system_clock::now());
    };
    engine.applySuggestion = [](const Suggestion& chosen) { return Cleaner::apply(chosen, false); };
    model.rescan();
    harness.settle();
    auto card = [&](const std::string& id) {
        for (const Suggestion& shownCard : model.report()->suggestions)
            if (shownCard.id == id) return shownCard;
        ADD_FAILURE() << "no card " << id;
        return Suggestion();
    };
    const Suggestion trashCard = card("trash");
    EXPECT_EQ(trashCard.reclaimableBytes, shown);

    model.apply(card("xdg-cache-apps"));
    harness.settle();
    model.apply(trashCard);
    harness.settle();
    EXPECT_EQ(model.notice()->text, "Emptied the Trash (1 item), freeing about " + Fmt::bytes(shown) +
                                        ". 1 item moved to the Trash since the suggestion was made was kept; "
                                        "ostrevane empty-trash --confirm empties it.");
    const fs::path files = Trash::filesFolder();
    EXPECT_FALSE(fs::exists(files / "track03.flac"));
    EXPECT_TRUE(fs::exists(files / "http/wheel"));
}
