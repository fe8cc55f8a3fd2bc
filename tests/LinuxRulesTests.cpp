// The rules for the places a Linux home fills up, the counting that keeps one
// byte in one suggestion, and the user's own folders.
#include <algorithm>
#include <map>
#include <set>

#include "TestSupport.hpp"
#include "TreeBuilder.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SuggestionPlaces.hpp"
#include "clean/Suggestions.hpp"
#include "platform/UserFolders.hpp"

using namespace testing_support;
using SuggestionEngine::CleanupRule;
using SuggestionEngine::linuxRules;

namespace {

const Date now = *ISODate::parse("2031-03-15T12:00:00Z");
constexpr int64_t MB = 1'000'000;

/// A pattern as a path below the home, its "*" standing for `match`.
std::string relativeOf(std::string pattern, const std::string& match = "app") {
    const std::pair<const char*, const char*> bases[] = {{"~/", ""},
                                                         {"$XDG_CACHE_HOME/", ".cache/"},
                                                         {"$XDG_DATA_HOME/", ".local/share/"},
                                                         {"$XDG_CONFIG_HOME/", ".config/"},
                                                         {"$DOCUMENTS/", "Documents/"}};
    for (const auto& [base, relative] : bases)
        if (pattern.starts_with(base)) pattern = relative + pattern.substr(std::string(base).size());
    if (auto star = pattern.find('*'); star != std::string::npos) pattern.replace(star, 1, match);
    return pattern;
}

const Suggestion* byId(const SuggestionReport& report, const std::string& id) {
    for (const auto& suggestion : report.suggestions)
        if (suggestion.id == id) return &suggestion;
    return nullptr;
}

std::vector<std::pair<std::string, int64_t>> itemsOf(const Suggestion& suggestion) {
    std::vector<std::pair<std::string, int64_t>> items;
    for (const auto& item : suggestion.items.value()) items.emplace_back(item.path, item.bytes);
    return items;
}

class LinuxRulesTest : public HomeTest {
protected:
    std::string at(const std::string& rel) const { return home.home() + "/" + rel; }

    SuggestionReport analyze(const Tree& tree) {
        ScanResult scan;
        scan.root = tree.build();
        scan.scannedAt = now;
        scan.minNodeSize = 1;
        return SuggestionEngine::analyze(&scan, {}, now);
    }
};

}  // namespace

// Each rule finds every place of its row at its threshold and nothing a byte
// below it, with the risk, action and command of its row.
TEST_F(LinuxRulesTest, EveryRuleFindsItsPlacesFromItsThreshold) {
    struct Expected {
        Risk risk;
        CleanAction action;
        std::optional<std::string> command;
    };
    using enum Risk;
    using enum CleanAction;
    const std::map<std::string, Expected> expected = {
        {"xdg-cache-apps", {safe, trashContents, std::nullopt}},
        {"flatpak-app-caches", {safe, trashContents, std::nullopt}},
        {"snap-app-caches", {safe, trashContents, std::nullopt}},
        {"electron-caches", {safe, trashContents, std::nullopt}},
        {"steam-shader-cache", {safe, trashContents, std::nullopt}},
        {"conda-pkgs", {safe, command, "conda clean --all"}},
        {"pnpm-store-linux", {review, command, "pnpm store prune"}},
        {"huggingface-models", {review, manual, "huggingface-cli delete-cache"}},
        {"torch-hub", {review, trashContents, std::nullopt}},
        {"rustup-toolchains", {review, command, "rustup toolchain list"}},
        {"podman-storage", {caution, command, "podman system prune -a"}},
        {"docker-rootless", {caution, command, "docker system prune -a"}},
        {"flatpak-unused", {review, command, "flatpak uninstall --unused"}},
        {"android-sdk-images", {review, manual, std::nullopt}},
        {"vscode-server", {review, manual, std::nullopt}},
        {"chat-apps-linux", {caution, manual, std::nullopt}},
    };
    ASSERT_EQ(linuxRules().size(), expected.size());
    for (const CleanupRule& rule : linuxRules()) {
        SCOPED_TRACE(rule.id);
        ASSERT_TRUE(expected.count(rule.id));
        EXPECT_EQ(rule.minBytes, rule.id == "chat-apps-linux" ? 1'000'000'000 : 50 * MB);
        for (int64_t shortBy : {0, 1}) {
            // The first place holds all but a byte per other place.
            Tree tree(home.home());
            std::set<std::string> places;
            for (size_t index = 0; index < rule.places.size(); ++index) {
                const int64_t size = index == 0 ? rule.minBytes - int64_t(rule.places.size() - 1) - shortBy : 1;
                tree.file(relativeOf(rule.places[index]) + "/blob", size);
                places.insert(at(relativeOf(rule.places[index])));
            }
            SuggestionReport report = analyze(tree);
            const Suggestion* found = byId(report, rule.id);
            if (shortBy) {
                EXPECT_FALSE(found);
                continue;
            }
            ASSERT_TRUE(found);
            EXPECT_EQ(found->reclaimableBytes, rule.minBytes);
            EXPECT_EQ(std::set<std::string>(found->paths.begin(), found->paths.end()), places);
            const Expected& row = expected.at(rule.id);
            EXPECT_EQ(found->risk, row.risk);
            EXPECT_EQ(found->action, row.action);
            EXPECT_EQ(found->command, row.command);
            EXPECT_FALSE(found->title.empty());
            // No enclosing designed row counts the same bytes again.
            EXPECT_EQ(report.totalReclaimableBytes, rule.minBytes);
        }
    }
}

TEST_F(LinuxRulesTest, BreakdownsListPlacesOrAppsLargestFirst) {
    Tree tree(home.home());
    tree.file(".cache/pip/wheels", 30 * MB).file(".cache/mozilla/firefox/cache2", 60 * MB);
    tree.file(".config/Code/Cache/data", 40 * MB).file(".config/Code/GPUCache/data", 20 * MB);
    tree.file(".config/Slack/Service Worker/CacheStorage/data", 50 * MB);
    tree.file(".var/app/org.a.App/cache/x", 60 * MB);
    SuggestionReport report = analyze(tree);

    const Suggestion* caches = byId(report, "xdg-cache-apps");
    ASSERT_TRUE(caches);
    EXPECT_EQ(itemsOf(*caches), (std::vector<std::pair<std::string, int64_t>>{{at(".cache/mozilla"), 60 * MB},
                                                                              {at(".cache/pip"), 30 * MB}}));
    const Suggestion* electron = byId(report, "electron-caches");
    ASSERT_TRUE(electron);
    EXPECT_EQ(electron->paths.size(), 3u);
    EXPECT_EQ(itemsOf(*electron), (std::vector<std::pair<std::string, int64_t>>{{at(".config/Code"), 60 * MB},
                                                                                {at(".config/Slack"), 50 * MB}}));
    EXPECT_FALSE(byId(report, "flatpak-app-caches")->items);
}

// dot-cache counts only what no other rule claims, and the totals are sizes
// of the union of every suggested path, however the rules nest.
TEST_F(LinuxRulesTest, EnclosingRulesLeaveClaimedPlacesOutAndTotalsAreUnions) {
    Tree tree(home.home());
    tree.file(".cache/pip/http/a", 100 * MB);
    tree.file(".cache/huggingface/hub/model", 200 * MB);
    tree.file(".cache/some-cli/data", 70 * MB);
    tree.file(".cache/mixed/own", 10 * MB);
    // A film idle for months is both an old download and a large file.
    tree.file("Downloads/film.mkv", 1200 * MB, now - std::chrono::days(120));
    SuggestionReport report = analyze(tree);

    const Suggestion* rest = byId(report, "dot-cache");
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->reclaimableBytes, 80 * MB);
    EXPECT_EQ(itemsOf(*rest), (std::vector<std::pair<std::string, int64_t>>{{at(".cache/some-cli"), 70 * MB},
                                                                            {at(".cache/mixed"), 10 * MB}}));
    EXPECT_EQ(byId(report, "xdg-cache-apps")->reclaimableBytes, 100 * MB);
    EXPECT_EQ(byId(report, "huggingface-models")->reclaimableBytes, 200 * MB);
    ASSERT_TRUE(byId(report, "downloads-old"));
    ASSERT_TRUE(byId(report, "large-files"));
    EXPECT_EQ(report.totalReclaimableBytes, (100 + 200 + 80 + 1200) * MB);
    EXPECT_EQ(report.safeReclaimableBytes, 100 * MB);

    // Nested claims: a rule's place inside another rule's place inside dot-cache.
    EXPECT_EQ(SuggestionEngine::outermostInside("/h/.cache", {"/h/.cache/a", "/h/.cache/a/b", "/h/.cache", "/h/x"}),
              std::vector<std::string>{"/h/.cache/a"});
    std::map<std::string, int64_t> sizes{{"/h/.cache", 100}, {"/h/.cache/a", 40}, {"/h/.cache/a/b", 10}, {"/h/d", 5}};
    auto sizeOf = [&](const std::string& path) { return sizes[path]; };
    using SuggestionEngine::Region;
    EXPECT_EQ(SuggestionEngine::unionBytes({{"/h/.cache", {"/h/.cache/a"}}, {"/h/.cache/a/b", {}}}, sizeOf), 70);
    EXPECT_EQ(SuggestionEngine::unionBytes({{"/h/.cache", {}}, {"/h/.cache/a/b", {}}, {"/h/d", {}}}, sizeOf), 105);
    EXPECT_EQ(SuggestionEngine::unionBytes({{"/h/.cache/a", {}}, {"/h/.cache/a", {}}}, sizeOf), 40);
}

// What the user keeps (keys, keyrings, browser profiles, settings, the user
// folders) is never part of a suggestion that one click cleans.
TEST_F(LinuxRulesTest, KeepOutsAreNeverInASafeSuggestion) {
    const std::vector<std::string> keepOuts = {".ssh",
                                               ".gnupg",
                                               ".local/share/keyrings",
                                               ".mozilla/firefox/abc.default/places.sqlite",
                                               ".config/google-chrome/Default/History",
                                               ".config/Code/User",
                                               "Documents",
                                               "Desktop",
                                               "Downloads",
                                               "Music",
                                               "Pictures",
                                               "Videos"};
    Tree tree(home.home());
    for (const auto& keepOut : keepOuts) tree.file(keepOut + "/data", 2000 * MB, now - std::chrono::days(400));
    for (const auto& cache : {".cache/mozilla/x", ".cache/thumbnails/x", ".config/Code/Cache/x",
                              ".config/google-chrome/GPUCache/x", ".var/app/a/cache/x", "snap/b/common/.cache/x",
                              ".local/share/Steam/steamapps/shadercache/x", "miniconda3/pkgs/x"})
        tree.file(cache, 80 * MB);
    SuggestionReport report = analyze(tree);
    int safeCount = 0;
    for (const auto& suggestion : report.suggestions) {
        if (suggestion.risk != Risk::safe) continue;
        ++safeCount;
        for (const auto& path : suggestion.paths)
            for (const auto& keepOut : keepOuts) {
                EXPECT_FALSE(Paths::isInside(path, at(keepOut))) << suggestion.id << ": " << path;
                EXPECT_FALSE(Paths::isInside(at(keepOut), path)) << suggestion.id << ": " << path;
            }
    }
    EXPECT_EQ(safeCount, 6);
}

// A place that holds nothing but its own folder (a cache emptied by a clean)
// is no item: neither listed, nor counted among the paths, nor in the total.
TEST_F(LinuxRulesTest, EmptiedPlacesAreNoItems) {
    allocate(home.path(".cache/mozilla/firefox/cache2/entry"), 60 * MB);
    for (const char* emptied : {"google-chrome", "thumbnails", "fontconfig", "pip"})
        fs::create_directories(home.path(std::string(".cache/") + emptied));
    // A cache moved to another disk and linked back: the clean never follows
    // the link, so the place offers nothing here either.
    allocate(home.scratch() / "elsewhere/yarn/v6/pkg", 60 * MB);
    fs::create_directory_symlink(home.scratch() / "elsewhere/yarn", home.path(".cache/yarn"));
    const ScanResult scan = Scanner::scan(home.home());
    const SuggestionReport report = SuggestionEngine::analyze(&scan, {}, now);
    const Suggestion* caches = byId(report, "xdg-cache-apps");
    ASSERT_TRUE(caches);
    const int64_t mozilla = scan.root.find(at(".cache/mozilla"))->size;
    EXPECT_EQ(caches->paths, std::vector<std::string>{at(".cache/mozilla")});
    EXPECT_EQ(itemsOf(*caches), (std::vector<std::pair<std::string, int64_t>>{{at(".cache/mozilla"), mozilla}}));
    EXPECT_EQ(caches->reclaimableBytes, mozilla);
    EXPECT_TRUE(Cleaner::apply(*caches, true).failed.empty());
}

TEST(UserFolders, ReadsUserDirsWithQuotesHomeAndLocalisedNames) {
    const std::string home = "/home/li";
    const UserFolders::Folders defaults{"/home/li/Desktop", "/home/li/Documents", "/home/li/Downloads",
                                        "/home/li/Music",   "/home/li/Pictures",  "/home/li/Videos"};
    EXPECT_EQ(UserFolders::parse(std::nullopt, home), defaults);
    EXPECT_EQ(UserFolders::parse("", home), defaults);

    UserFolders::Folders chinese = UserFolders::parse(
        "# written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n"
        "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
        "  XDG_DOCUMENTS_DIR = \"$HOME/文档\"  \n"
        "XDG_MUSIC_DIR=\"/srv/音乐\"\n"
        "XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\"\"\n"
        "XDG_VIDEOS_DIR=\"$HOME/\"\n"            // switched off: the default stays
        "XDG_TEMPLATES_DIR=\"relative/path\"\n"  // neither $HOME nor absolute, and not ours
        "XDG_PUBLICSHARE_DIR\n",
        home);
    EXPECT_EQ(chinese, (UserFolders::Folders{"/home/li/桌面", "/home/li/文档", "/home/li/下载", "/srv/音乐",
                                             "/home/li/My \"Pics\"", "/home/li/Videos"}));
    EXPECT_EQ(UserFolders::parse("XDG_DOWNLOAD_DIR=downloads\n", home).downloads, "/home/li/Downloads");
    // A system account whose home is the root folder.
    EXPECT_EQ(UserFolders::parse(std::nullopt, "/").downloads, "/Downloads");
}

// Localised user folders are what the downloads rule reads and the cleaner protects.
TEST_F(LinuxRulesTest, LocalisedUserFoldersAreReadAndProtected) {
    writeText(home.path(".config/user-dirs.dirs"), "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\nXDG_VIDEOS_DIR=\"$HOME/视频\"\n");
    Tree tree(home.home());
    tree.file("下载/tool.DEB", 30 * MB).file("下载/app.AppImage", 15 * MB).file("下载/x.Run", 5 * MB);
    tree.file("下载/notes.txt", 90 * MB);
    SuggestionReport report = analyze(tree);
    const Suggestion* installers = byId(report, "downloads-installers");
    ASSERT_TRUE(installers);
    EXPECT_EQ(installers->reclaimableBytes, 50 * MB);

    fs::create_directories(home.path("下载"));
    fs::create_directories(home.path("视频"));
    for (const char* folder : {"下载", "视频"}) {
        auto refused = Cleaner::refusal(at(folder));
        EXPECT_TRUE(refused) << folder;
    }
}
