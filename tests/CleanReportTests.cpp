// What a clean tells about the folders it could not go through: a folder whose
// contents were to be cleaned but could not be listed is a failure, not a
// clean that found nothing to do.
#include <cstring>
#include <system_error>

#include "Cleaner.hpp"
#include "TestSupport.hpp"
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
