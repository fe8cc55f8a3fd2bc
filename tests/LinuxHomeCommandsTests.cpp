// The tool on a Linux home with something in each place its Linux rules know,
// beside what the user keeps: suggest finds it all, and cleaning the safe
// suggestions moves exactly their files to the Trash.
#include <algorithm>
#include <map>
#include <set>

#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SuggestionTypes.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

bool isInside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

// One 80 MB file in each place, by the rule that claims it (the chat apps'
// 1 GB threshold is left to the unit tests, to keep the disk use modest).
const std::multimap<std::string, std::string> placedFiles = {
    {"xdg-cache-apps", ".cache/mozilla/firefox.bin"},
    {"xdg-cache-apps", ".cache/pip/wheels.bin"},
    {"flatpak-app-caches", ".var/app/org.gimp.GIMP/cache/gimp.bin"},
    {"snap-app-caches", "snap/firefox/common/.cache/snap.bin"},
    {"electron-caches", ".config/Code/Cache/code.bin"},
    {"steam-shader-cache", ".local/share/Steam/steamapps/shadercache/steam.bin"},
    {"conda-pkgs", "miniconda3/pkgs/conda.bin"},
    {"pnpm-store-linux", ".local/share/pnpm/store/pnpm.bin"},
    {"huggingface-models", ".cache/huggingface/hub.bin"},
    {"torch-hub", ".cache/torch/torch.bin"},
    {"rustup-toolchains", ".rustup/toolchains/rust.bin"},
    {"podman-storage", ".local/share/containers/storage/podman.bin"},
    {"docker-rootless", ".local/share/docker/docker.bin"},
    {"flatpak-unused", ".local/share/flatpak/flatpak.bin"},
    {"android-sdk-images", "Android/Sdk/system-images/android.bin"},
    {"vscode-server", ".vscode-server/server.bin"},
};

const std::vector<std::string> keepOuts = {
    ".ssh/id_ed25519",
    ".gnupg/pubring.kbx",
    ".local/share/keyrings/login.keyring",
    ".mozilla/firefox/p.default/places.sqlite",
    ".config/google-chrome/Default/Preferences",
    ".config/Code/User/settings.json",
    "Documents/letter.txt",
    "Videos/holiday.mkv",
};

class LinuxHomeCommandsTest : public HomeTest {
protected:
    void SetUp() override {
        for (const auto& [rule, rel] : placedFiles) allocate(home.path(rel), 80'000'000);
        for (const auto& rel : keepOuts) writeText(home.path(rel), "keep");
    }

    std::string at(const std::string& rel) const { return home.home() + "/" + rel; }

    /// The place a file was put in: its folder.
    std::string placeOf(const std::string& rel) const { return fs::path(at(rel)).parent_path().string(); }

    /// Every path below the home, leaving out the Trash and the scan cache.
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
            if (!isInside(trash, path)) paths.insert(path);
        }
        return paths;
    }
};

}  // namespace

TEST_F(LinuxHomeCommandsTest, SuggestFindsEveryPlaceAndCleanMovesExactlyTheSafeCaches) {
    auto suggested = runCLI({"suggest", "--json"});
    ASSERT_EQ(suggested.status, 0) << suggested.err;
    auto report = JSONOut::decode<SuggestionReport>(suggested.out);
    EXPECT_EQ(report.mode, "full");
    std::map<std::string, Suggestion> byId;
    for (const auto& suggestion : report.suggestions) byId[suggestion.id] = suggestion;

    const std::set<std::string> pureCaches = {"xdg-cache-apps",  "flatpak-app-caches", "snap-app-caches",
                                              "electron-caches", "steam-shader-cache", "conda-pkgs"};
    for (const auto& [rule, rel] : placedFiles) {
        SCOPED_TRACE(rule);
        ASSERT_TRUE(byId.count(rule));
        const auto& paths = byId[rule].paths;
        EXPECT_NE(std::find(paths.begin(), paths.end(), placeOf(rel)), paths.end());
        EXPECT_EQ(byId[rule].risk == Risk::safe, pureCaches.count(rule) == 1);
    }
    // Each file is counted once (folders add a few blocks of their own).
    EXPECT_GE(report.totalReclaimableBytes, 16 * 80'000'000);
    EXPECT_LT(report.totalReclaimableBytes, 16 * 80'000'000 + 2'000'000);
    for (const auto& [id, suggestion] : byId) {
        if (suggestion.risk != Risk::safe) continue;
        for (const auto& path : suggestion.paths)
            for (const auto& keepOut : keepOuts) {
                EXPECT_FALSE(isInside(at(keepOut), path)) << id;
                EXPECT_FALSE(isInside(path, at(keepOut))) << id;
            }
    }

    std::vector<std::string> cleaned;
    std::set<std::string> expected;
    for (const auto& [id, suggestion] : byId) {
        if (suggestion.risk != Risk::safe || !suggestion.autoApplicable) continue;
        cleaned.push_back(id);
        for (const auto& [rule, rel] : placedFiles)
            if (rule == id) expected.insert(at(rel));
    }
    EXPECT_EQ(cleaned.size(), 5u);
    std::set<std::string> before = homeContents();
    std::vector<std::string> arguments = {"clean"};
    arguments.insert(arguments.end(), cleaned.begin(), cleaned.end());
    arguments.insert(arguments.end(), {"--execute", "--json"});
    auto real = runCLI(arguments);
    ASSERT_EQ(real.status, 0) << real.err;
    std::set<std::string> trashed;
    for (const auto& result : json::parse(real.out)) {
        EXPECT_TRUE(result.at("failed").empty());
        for (const auto& path : result.at("trashed")) trashed.insert(path.get<std::string>());
    }
    EXPECT_EQ(trashed, expected);

    std::set<std::string> remaining;
    for (const auto& path : before)
        if (!expected.count(path)) remaining.insert(path);
    EXPECT_EQ(homeContents(), remaining);
    std::set<std::string> inTrash;
    for (const auto& entry : fs::directory_iterator(Trash::filesFolder()))
        inTrash.insert(entry.path().filename().string());
    std::set<std::string> expectedNames;
    for (const auto& path : expected) expectedNames.insert(fs::path(path).filename().string());
    EXPECT_EQ(inTrash, expectedNames);
}
