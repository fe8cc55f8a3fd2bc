// What a clean or an emptying tells: a folder whose contents were to be
// cleaned but could not be listed is a failure, not a clean that found
// nothing to do; an item gone from the Trash is no failure, whoever removed it.
#include <cstring>
#include <system_error>

#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

class CleanReportTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;
    std::string at(const std::string& relative) const { return home.path(relative).string(); }
};

}  // namespace

TEST_F(CleanReportTest, AFolderThatCannotBeListedIsReportedAndKeepsItsItems) {
    writeFile(home.path(".cache/broken/page.bin"), 10);
    trash->listFolder = [](int, const std::string& folder) -> std::vector<std::string> {
        throw std::system_error(EIO, std::generic_category(), folder);
    };
    Suggestion contents("caches", "cache", "Caches", "d", {at(".cache/broken"), at("missing")}, 1, Risk::safe,
                        CleanAction::trashContents);
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "real run");
        const CleanResult result = Cleaner::apply(contents, dryRun);
        EXPECT_TRUE(result.trashed.empty());
        // A folder that is not there offers nothing and is no failure.
        EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{at(".cache/broken"), std::strerror(EIO)}}));
        EXPECT_NE(result.message.find("1 item skipped"), std::string::npos) << result.message;
        EXPECT_TRUE(fs::exists(home.path(".cache/broken/page.bin")));
    }
}

// An item another program removed while the Trash was being emptied is gone
// as surely as one removed here: no failure, and its record goes too.
TEST_F(CleanReportTest, AnItemRemovedMeanwhileByAnotherProgramIsNoFailure) {
    writeFile(home.path("first.txt"));
    writeFile(home.path("folder/second.txt"));
    Cleaner::trash({"~/first.txt", "~/folder"}, false);
    const fs::path files = Trash::filesFolder();
    auto realList = trash->listFolder;
    trash->listFolder = [&](int fd, const std::string& folder) {
        std::vector<std::string> names = realList(fd, folder);
        if (folder == files.string()) fs::remove_all(files / "folder");
        return names;
    };

    const CleanResult result = Cleaner::emptyTrash();

    EXPECT_EQ(result.failed, std::vector<CleanFailure>{});
    EXPECT_TRUE(result.message.starts_with("Emptied the Trash (2 items)")) << result.message;
    EXPECT_TRUE(fs::is_empty(Trash::infoFolder()));
}
