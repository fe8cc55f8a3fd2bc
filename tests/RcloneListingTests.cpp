// Listing rclone remotes leaves the disk as it was: rclone makes its
// configuration folder whenever it finds none, so the listing tells it which
// file to read when that folder is missing.
#include "TestSupport.hpp"
#include "config/Destinations.hpp"
#include "config/Rclone.hpp"

using namespace testing_support;

namespace {

/// A home and configuration folder of the test's own, with no rclone setting
/// of the real user's environment leaking in.
class RcloneListingTest : public ::testing::Test {
protected:
    ScopedHome home;
    const fs::path realHome = home.scratch() / "real-home";
    const fs::path configHome = home.scratch() / "config";
    ScopedEnv homeVariable{"HOME", realHome.string()};
    ScopedEnv named{"RCLONE_CONFIG", std::nullopt};
    ScopedEnv environmentRemote{"RCLONE_CONFIG_FROMENV_TYPE", "local"};

    void SetUp() override { fs::create_directories(realHome); }

    static std::vector<std::string> remotes() { return Rclone::listRemotes(); }
};

}  // namespace

TEST_F(RcloneListingTest, WhereTheListingPointsRclone) {
    const std::string program = (home.scratch() / "bin" / "rclone").string();
    const fs::path folder = configHome / "rclone";
    // No folder and no file: the file in the folder, which then stays unmade.
    EXPECT_EQ(Rclone::listingConfigFile(program), (folder / "rclone.conf").string());
    {
        ScopedEnv noXDG("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(Rclone::listingConfigFile(program), (realHome / ".config/rclone/rclone.conf").string());
    }
    writeText(realHome / ".rclone.conf", "");
    EXPECT_EQ(Rclone::listingConfigFile(program), (realHome / ".rclone.conf").string());
    writeText(home.scratch() / "bin" / "rclone.conf", "");
    EXPECT_EQ(Rclone::listingConfigFile(program), (home.scratch() / "bin" / "rclone.conf").string());
    {
        ScopedEnv chosen("RCLONE_CONFIG", "/somewhere/rclone.conf");
        EXPECT_EQ(Rclone::listingConfigFile(program), std::nullopt);
    }
    fs::create_directories(folder);
    EXPECT_EQ(Rclone::listingConfigFile(program), std::nullopt);
}

TEST_F(RcloneListingTest, RealRcloneListsRemotesAndMakesNoFolder) {
    if (!Rclone::executable()) GTEST_SKIP() << "rclone is not installed";
    const std::string remote = "[filed]\ntype = local\n";
    struct Case {
        const char* what;
        std::optional<fs::path> file;
        std::vector<std::string> remotes;
        bool folderAfter;
    };
    const std::vector<Case> cases = {
        {"no configuration anywhere", std::nullopt, {"fromenv:"}, false},
        {"an old-style file in the home", realHome / ".rclone.conf", {"filed:", "fromenv:"}, false},
        {"the usual file", configHome / "rclone/rclone.conf", {"filed:", "fromenv:"}, true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        fs::remove_all(configHome / "rclone");
        fs::remove_all(realHome);
        fs::create_directories(realHome);
        if (test.file) writeText(*test.file, remote);
        auto listed = remotes();
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, test.remotes);
        EXPECT_EQ(fs::exists(configHome / "rclone"), test.folderAfter);
        EXPECT_FALSE(fs::exists(realHome / ".config"));
    }
}

TEST_F(RcloneListingTest, AReadOnlyMCPSessionListingDestinationsMakesNoFolder) {
    const std::string request =
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"list_backup_destinations"}})";
    auto result = runCLI({"mcp", "--read-only"}, request + "\n");
    ASSERT_EQ(result.status, 0) << result.err;
    const json reply = json::parse(result.out);
    EXPECT_EQ(reply["result"]["isError"], false) << result.out;
    if (Rclone::executable()) {
        EXPECT_NE(reply["result"]["content"][0]["text"].get<std::string>().find("rclone:fromenv"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(configHome / "rclone"));
    EXPECT_FALSE(fs::exists(realHome / ".config"));
}
