// The explorer page's decisions: crumbs, the menu's entries and enablement,
// the confirm requests, the child rows and the stored map mode.
#include <gtest/gtest.h>

#include "MapTrees.hpp"
#include "TestSupport.hpp"
#include "pages/Explorer.hpp"
#include "text/Localization.hpp"

using namespace map_trees;
using Kind = ExplorerMenuEntry::Kind;

namespace {
const std::string home = "/home/ada";

std::vector<Kind> kinds(const std::vector<ExplorerMenuEntry>& entries) {
    std::vector<Kind> result;
    for (const auto& entry : entries) result.push_back(entry.kind);
    return result;
}

const ExplorerMenuEntry& entry(const std::vector<ExplorerMenuEntry>& entries, Kind kind) {
    for (const auto& e : entries)
        if (e.kind == kind) return e;
    throw std::runtime_error("no such entry");
}

BackupDestination destination(const std::string& name) {
    BackupDestination d;
    d.id = name;
    d.name = name;
    d.available = true;
    return d;
}
}  // namespace

TEST(ExplorerCrumbs, NestedFolderBelowTheRoot) {
    EXPECT_EQ(Explorer::crumbs("/r", "/r/Library/Caches"),
              (std::vector<Crumb>{{"/r", "/r"}, {"Library", "/r/Library"}, {"Caches", "/r/Library/Caches"}}));
    EXPECT_EQ(Explorer::crumbs("/r", "/r"), (std::vector<Crumb>{{"/r", "/r"}}));
    EXPECT_EQ(Explorer::crumbs("/r", "/elsewhere/x"), (std::vector<Crumb>{{"/r", "/r"}}));
    EXPECT_EQ(Explorer::parentPath("/r/Library/Caches"), "/r/Library");
    EXPECT_EQ(Explorer::parentPath("/r"), "/");
}

TEST(ExplorerCrumbs, HomeRootReadsTilde) {
    testing_support::ScopedHome scoped;
    const std::string root = scoped.home();
    const auto crumbs = Explorer::crumbs(root, root + "/Library/Caches");
    ASSERT_EQ(crumbs.size(), 3u);
    EXPECT_EQ(crumbs[0].name, "~");
    EXPECT_EQ(crumbs[2].path, root + "/Library/Caches");
}

TEST(ExplorerMenu, VisibilityFollowsKindICloudAndDestinations) {
    const FileNode folderNode = folder(home + "/Library/Mobile Documents/com~x", {});
    const FileNode fileNode = file(home + "/Mobile Documents Copy", 10);
    ExplorerMenuState state{home, std::nullopt, false, {destination("NAS"), destination("Drive")}, std::nullopt};

    EXPECT_EQ(kinds(Explorer::menu(folderNode, state)),
              (std::vector<Kind>{Kind::open, Kind::reveal, Kind::copyPath, Kind::divider, Kind::evict, Kind::divider,
                                 Kind::backupTo, Kind::offloadTo, Kind::divider, Kind::trash}));
    EXPECT_EQ(entry(Explorer::menu(folderNode, state), Kind::offloadTo).destinations.size(), 2u);

    state.destinations.clear();
    EXPECT_EQ(kinds(Explorer::menu(fileNode, state)),
              (std::vector<Kind>{Kind::reveal, Kind::copyPath, Kind::divider, Kind::trash}));
}

TEST(ExplorerMenu, EnablementTable) {
    const FileNode node = folder(home + "/Library/Mobile Documents", {});
    struct Case {
        bool refused, busy, trashEnabled, evictEnabled;
    };
    for (const Case& c : {Case{false, false, true, true}, Case{true, false, false, true},
                          Case{false, true, false, false}, Case{true, true, false, false}}) {
        const std::optional<std::string> refusal = c.refused ? std::optional<std::string>("protected folder")
                                                             : std::nullopt;
        const auto entries = Explorer::menu(node, {home, refusal, c.busy, {destination("NAS")}, refusal});
        EXPECT_EQ(entry(entries, Kind::trash).enabled, c.trashEnabled) << c.refused << c.busy;
        EXPECT_TRUE(entry(entries, Kind::trash).destructive);
        EXPECT_EQ(entry(entries, Kind::evict).enabled, c.evictEnabled) << c.refused << c.busy;
        EXPECT_TRUE(entry(entries, Kind::open).enabled);
        EXPECT_TRUE(entry(entries, Kind::backupTo).enabled);
        // An archive ends with the same move to the Trash: refused alike, and both say why.
        EXPECT_EQ(entry(entries, Kind::offloadTo).enabled, !c.refused) << c.refused << c.busy;
        EXPECT_EQ(entry(entries, Kind::offloadTo).reason, refusal.value_or(""));
        EXPECT_EQ(entry(entries, Kind::trash).reason, refusal.value_or(""));
    }
}

TEST(ExplorerRequests, TextsDestructivenessAndActions) {
    const FileNode node = folder(home + "/Library/Mobile Documents/Videos", files(home + "/v", {5'400'000'000}));
    std::vector<std::string> calls;
    ExplorerActions actions{
        [&](const std::vector<std::string>& paths) { calls.push_back("trash " + paths.at(0)); },
        [&](const std::vector<std::string>& paths, const std::string& key) {
            calls.push_back("evict " + paths.at(0) + " " + key);
        },
        nullptr,
        [&](const std::string& path, const BackupDestination& d) { calls.push_back("offload " + path + " " + d.id); }};

    const ConfirmRequest iCloud = Explorer::askTrash(node, true, actions);
    const ConfirmRequest plain = Explorer::askTrash(node, false, actions);
    EXPECT_EQ(iCloud.title, L("把“%@”移到废纸篓?", "Videos"));
    EXPECT_EQ(
        iCloud.message,
        Fmt::bytes(node.size) +
            L(" · 它在 iCloud 里:移到废纸篓后,会同时从 iCloud 和你的其他设备上消失。只想腾出这台电脑的空间,请取消,改用右键菜单里的“释放本地副本”。"));
    EXPECT_EQ(plain.message, L("%@ · 可以从废纸篓恢复,清倒废纸篓后才真正释放空间。", Fmt::bytes(node.size)));
    EXPECT_TRUE(iCloud.destructive);
    EXPECT_NE(iCloud.id, plain.id);

    const ConfirmRequest evict = Explorer::askEvict(node, actions);
    EXPECT_FALSE(evict.destructive);
    EXPECT_EQ(evict.confirm, L("释放本地副本"));

    const ConfirmRequest offload = Explorer::askOffload(node, destination("NAS"), actions);
    EXPECT_TRUE(offload.destructive);  // the local copy ends in the Trash
    EXPECT_EQ(offload.title, L("归档“%@”到 %@?", "Videos", "NAS"));

    iCloud.action();
    evict.action();
    offload.action();
    EXPECT_EQ(calls, (std::vector<std::string>{"trash " + node.path, "evict " + node.path + " explorer-evict",
                                               "offload " + node.path + " NAS"}));
}

TEST(ExplorerRows, CapFractionsAndTints) {
    std::vector<int64_t> sizes(301, 1000);
    sizes[0] = 2000;
    const auto node = shared(folder("/r", files("/r", sizes)));
    const auto rows = Explorer::rows(node);
    ASSERT_EQ(rows.size(), 300u);
    EXPECT_DOUBLE_EQ(rows[0].fraction, 1.0);
    EXPECT_DOUBLE_EQ(rows[1].fraction, 0.5);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(rows[i].tint, MapItem::swatch(static_cast<int>(i))) << i;
    EXPECT_FALSE(rows[8].tint);
    EXPECT_TRUE(Explorer::rows(shared(folder("/e", {}))).empty());
}

TEST(ExplorerModes, StoredValues) {
    EXPECT_EQ(ExplorerModes::shown("grid"), ExplorerMode::grid);
    EXPECT_EQ(ExplorerModes::shown("terrain"), ExplorerMode::terrain);
    EXPECT_EQ(ExplorerModes::shown("mosaic"), ExplorerMode::voronoi);
    EXPECT_FALSE(ExplorerModes::fromRaw("mosaic"));
    EXPECT_EQ(ExplorerModes::label(ExplorerMode::voronoi), "Voronoi");
}
