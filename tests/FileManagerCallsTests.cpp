// Showing an item in the file manager: the programs asked, in order, and
// what counts as an answer.
#include <unistd.h>

#include <algorithm>

#include "TestSupport.hpp"
#include "platform/FileManager.hpp"

using namespace testing_support;

namespace {

class FileManagerCallsTest : public HomeTest {
protected:
    ScopedHooks<FileManager::Hooks> programs;
};

TEST_F(FileManagerCallsTest, ShowingAnItemAsksTheFileManagerThenFallsBack) {
    std::vector<std::vector<std::string>> calls;
    int answering = -1;  // the call that answers; none
    auto record = [&](const std::string& program, const std::vector<std::string>& words, double) {
        std::vector<std::string> call = {program};
        call.insert(call.end(), words.begin(), words.end());
        calls.push_back(call);
        const bool answers = static_cast<int>(calls.size()) - 1 == answering;
        return answers ? Shell::Output{0, "", ""} : Shell::Output{1, "", "no file manager"};
    };
    programs->run = record;
    programs->hand = record;
    // No one answered: said, so the window can tell the user.
    EXPECT_FALSE(FileManager::showItem(home.home() + "/a b/it's.txt"));
    ASSERT_FALSE(calls.empty());
    std::string uri = "file://" + home.home() + "/a%20b/it%27s.txt";
    if (access("/usr/bin/gdbus", X_OK) == 0) {
        EXPECT_TRUE(calls[0][0].ends_with("gdbus"));
        EXPECT_NE(std::find(calls[0].begin(), calls[0].end(), "['" + uri + "']"), calls[0].end());
        EXPECT_NE(std::find(calls[0].begin(), calls[0].end(), "org.freedesktop.FileManager1.ShowItems"),
                  calls[0].end());
    }
    if (access("/usr/bin/xdg-open", X_OK) == 0) {
        EXPECT_TRUE(calls.back()[0].ends_with("xdg-open"));
        EXPECT_EQ(calls.back()[1], home.home() + "/a b");
    }
    // Any one that answers is enough, the last fallback included.
    const int callsWhenNoneAnswers = static_cast<int>(calls.size());
    for (answering = 0; answering < callsWhenNoneAnswers; ++answering) {
        calls.clear();
        EXPECT_TRUE(FileManager::showItem(home.home() + "/a b/it's.txt")) << answering;
        EXPECT_EQ(calls.size(), static_cast<size_t>(answering) + 1) << "none asked after the one that answered";
    }
}

}  // namespace

namespace {

TEST_F(FileManagerCallsTest, TheFallbackOpensOnlyAFolderNeverAFile) {
    // The folder of "<file>/x" is a file: handed to xdg-open, it would be
    // opened with its application, which is not showing anything.
    const fs::path page = writeFile(home.path("page.html"), 10);
    std::vector<std::string> handed;
    programs->locate = [](const std::string& name) { return std::optional<std::string>("/usr/bin/" + name); };
    programs->run = [](const std::string&, const std::vector<std::string>&, double) {
        return Shell::Output{1, "", "no file manager"};
    };
    programs->hand = [&](const std::string&, const std::vector<std::string>& words, double) {
        handed.insert(handed.end(), words.begin(), words.end());
        return Shell::Output{0, "", ""};
    };
    EXPECT_FALSE(FileManager::showItem(page.string() + "/x"));
    EXPECT_EQ(handed, std::vector<std::string>{});
    EXPECT_TRUE(FileManager::showItem(page.string()));
    EXPECT_EQ(handed, (std::vector<std::string>{home.home()}));
}

}  // namespace
