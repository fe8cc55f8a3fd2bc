// The settings file shared by the application and the tool: kept aside when it
// cannot be read, locked between processes, read again only when it changed.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "TestSupport.hpp"
#include "base/Error.hpp"
#include "base/InputLimits.hpp"
#include "platform/Platform.hpp"

using namespace testing_support;

namespace {

fs::path defaultsFile() { return UserDefaults::filePath(); }

std::vector<fs::path> keptFiles() {
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(defaultsFile().parent_path()))
        if (entry.path().filename().string().starts_with("defaults.unreadable-")) kept.push_back(entry.path());
    return kept;
}

/// Bytes this process has read through read(2) and its kin so far.
int64_t bytesReadByProcess() {
    std::ifstream io("/proc/self/io");
    std::string name;
    int64_t value = 0;
    while (io >> name >> value)
        if (name == "rchar:") return value;
    return -1;
}

}  // namespace

TEST(UserDefaults, AFileThatCannotBeReadIsKeptAsideBeforeTheNextWrite) {
    const std::string deep = std::string(1000, '[') + std::string(1000, ']');
    const std::string large = "{\"pad\": \"" + std::string(2000, 'x') + "\"}";
    for (const std::string& broken :
         {std::string("{\"AppleLanguages\": [\"zh"), std::string("[1, 2]"), "{\"a\": " + deep + "}", large}) {
        SCOPED_TRACE(broken.substr(0, 40));
        ScopedHome home;
        ScopedHooks<InputLimits::Hooks> limits;
        limits->storedFileBytes = 1000;
        writeText(defaultsFile(), broken);
        EXPECT_EQ(UserDefaults::value("AppleLanguages"), std::nullopt);
        EXPECT_EQ(readText(defaultsFile()), broken) << "a read must not touch the file";

        UserDefaults::set("explorerMode", "terrain");
        auto kept = keptFiles();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(readText(kept[0]), broken);
        ASSERT_TRUE(UserDefaults::keptAside());
        EXPECT_EQ(fs::path(*UserDefaults::keptAside()), kept[0]);
        EXPECT_EQ(UserDefaults::value("explorerMode"), nlohmann::json("terrain"));
        EXPECT_EQ(json::parse(readText(defaultsFile())), (json{{"explorerMode", "terrain"}}));
    }
}

TEST(UserDefaults, AWriteThatFailsThrowsAndLeavesTheOldValues) {
    ScopedHome home;
    UserDefaults::set("explorerMode", "treemap");
    // A folder where the new file should be renamed to.
    fs::remove(defaultsFile());
    fs::create_directories(defaultsFile() / "in-the-way");
    EXPECT_THROW(UserDefaults::set("explorerMode", "terrain"), OstrevaneError);
    EXPECT_THROW(UserDefaults::remove("nothing"), OstrevaneError);
    EXPECT_TRUE(fs::is_directory(defaultsFile() / "in-the-way")) << "a folder is never moved aside";
    EXPECT_EQ(UserDefaults::value("explorerMode"), std::nullopt);
}

TEST(UserDefaults, TwoProcessesWritingAtOnceKeepEveryKey) {
    ScopedHome home;
    constexpr int perProcess = 100;
    auto work = [](const std::string& tag) {
        for (int i = 0; i < perProcess; ++i) UserDefaults::set(tag + std::to_string(i), i);
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        work("child-");
        _exit(0);
    }
    work("parent-");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(json::parse(readText(defaultsFile())).size(), 2u * perProcess);
    EXPECT_EQ(UserDefaults::value("child-99"), nlohmann::json(99));
}

TEST(UserDefaults, TheFileIsReadAgainOnlyWhenItChanged) {
    ScopedHome home;
    UserDefaults::set("pad", std::string(20'000, 'x'));
    UserDefaults::set("explorerMode", "treemap");
    const int64_t before = bytesReadByProcess();
    for (int i = 0; i < 200; ++i) EXPECT_EQ(UserDefaults::value("explorerMode"), nlohmann::json("treemap"));
    // Reading /proc/self/io costs a few hundred bytes; one read of the file 20 KB.
    EXPECT_LT(bytesReadByProcess() - before, 20'000);

    // Another process replaced it.
    writeText(defaultsFile(), R"({"explorerMode": "terrain"})");
    EXPECT_EQ(UserDefaults::value("explorerMode"), nlohmann::json("terrain"));
}
