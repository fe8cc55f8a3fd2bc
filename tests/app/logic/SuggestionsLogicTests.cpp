#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "pages/SuggestionsLogic.hpp"

namespace {
using SuggestionCards::FirstControl;
using SuggestionCards::SecondControl;

Suggestion suggestion(CleanAction action, Risk risk = Risk::review, std::vector<std::string> paths = {"/h/a"},
                      std::optional<std::vector<SuggestionItem>> items = std::nullopt) {
    return Suggestion("s1", "cache", "Caches", "detail", std::move(paths), 2'000'000, risk, action, "cmd --x",
                      std::move(items));
}

/// Records which cleaning call a confirmed request made, with its arguments.
struct Recorder {
    std::vector<std::string> calls;
    CleaningCalls bind() {
        return {[this](const Suggestion& s) { calls.push_back("apply " + s.id); },
                [this](const SuggestionReport& report) { calls.push_back("all-safe " + report.safeReclaimable); },
                [this] { calls.push_back("empty"); },
                [this](const std::vector<std::string>& paths, const std::string& key) {
                    calls.push_back("evict " + std::to_string(paths.size()) + " " + key);
                }};
    }
};

class SuggestionsLogicTest : public testing_support::HomeTest {};

TEST_F(SuggestionsLogicTest, AReportStaysOnScreenWhileAScanRuns) {
    using SuggestionRequests::PageState;
    EXPECT_EQ(SuggestionRequests::pageState(true, true), PageState::report);
    EXPECT_EQ(SuggestionRequests::pageState(false, true), PageState::scanning);
    EXPECT_EQ(SuggestionRequests::pageState(false, false), PageState::analyzing);
}

TEST_F(SuggestionsLogicTest, EveryRequestHasItsTextsFlagAndOperation) {
    SuggestionReport report;
    report.safeReclaimable = "3 GB";
    const Suggestion evict = suggestion(CleanAction::evict, Risk::review, {"/h/a", "/h/b"});
    const struct {
        ConfirmRequest request;
        std::string title, message, confirm;
        bool destructive;
        std::string call;
    } cases[] = {
        {SuggestionRequests::ask(evict, {}), "Release local copies from iCloud Drive?",
         "Frees up to 2 MB. The files stay in iCloud and download when needed; files still uploading are left "
         "alone. Ostrevane rescans when it’s done.",
         "Release Local Copy", false, "evict 2 s1"},
        {SuggestionRequests::ask(suggestion(CleanAction::emptyTrash), {}), "Empty the Trash permanently?",
         "Everything in the Trash will be deleted permanently. This can’t be undone.", "Empty Permanently", true,
         "apply s1"},
        {SuggestionRequests::ask(suggestion(CleanAction::trashContents), {}), "Clean “Caches”?",
         "About 2 MB. The files go to the Trash and can be restored; the space is freed when you empty the Trash.",
         "Move to Trash", true, "apply s1"},
        {SuggestionRequests::askEmptyTrash({}), "Empty the Trash permanently?",
         "Everything in the Trash, including what was already there, will be deleted permanently. This can’t be "
         "undone.",
         "Empty Permanently", true, "empty"},
        {SuggestionRequests::askAllSafe(report, {}), "Clean everything marked “Safe to clean”?",
         "About 3 GB of caches, logs and build output will go to the Trash; they’re recreated as needed.",
         "Move to Trash", true, "all-safe 3 GB"},
    };
    // Rebuilt with a recorder, so each action's call can be checked.
    const std::vector<std::function<ConfirmRequest(const CleaningCalls&)>> makers = {
        [&](const CleaningCalls& c) { return SuggestionRequests::ask(evict, c); },
        [&](const CleaningCalls& c) { return SuggestionRequests::ask(suggestion(CleanAction::emptyTrash), c); },
        [&](const CleaningCalls& c) { return SuggestionRequests::ask(suggestion(CleanAction::trashContents), c); },
        [&](const CleaningCalls& c) { return SuggestionRequests::askEmptyTrash(c); },
        [&](const CleaningCalls& c) { return SuggestionRequests::askAllSafe(report, c); },
    };
    for (size_t i = 0; i < makers.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(c.request.title, c.title);
        EXPECT_EQ(c.request.message, c.message);
        EXPECT_EQ(c.request.confirm, c.confirm);
        EXPECT_EQ(c.request.destructive, c.destructive) << c.title;
        Recorder recorder;
        makers[i](recorder.bind()).action();
        EXPECT_EQ(recorder.calls, std::vector<std::string>{c.call}) << c.title;
    }
}

TEST_F(SuggestionsLogicTest, CardControlsFollowActionItemsAndBusyState) {
    const std::vector<SuggestionItem> two = {SuggestionItem("/h/a", 1), SuggestionItem("/h/b", 1)};
    const struct {
        Suggestion s;
        std::optional<std::string> busy;
        bool destinations;
        FirstControl first;
        SecondControl second;
    } cases[] = {
        {suggestion(CleanAction::trashContents, Risk::safe), std::nullopt, false, FirstControl::show,
         SecondControl::clean},
        {suggestion(CleanAction::trashContents, Risk::safe), "s1", false, FirstControl::show, SecondControl::spinner},
        {suggestion(CleanAction::trashContents, Risk::safe), "other", false, FirstControl::show, SecondControl::clean},
        {suggestion(CleanAction::emptyTrash), std::nullopt, false, FirstControl::show, SecondControl::empty},
        {suggestion(CleanAction::evict, Risk::review, {"/h/a", "/h/b"}, two), std::nullopt, true, FirstControl::details,
         SecondControl::releaseAll},
        {suggestion(CleanAction::offload), std::nullopt, true, FirstControl::show, SecondControl::archiveMenu},
        {suggestion(CleanAction::offload), std::nullopt, false, FirstControl::show, SecondControl::none},
        {suggestion(CleanAction::offload, Risk::review, {}), std::nullopt, true, FirstControl::none,
         SecondControl::none},
        {suggestion(CleanAction::command, Risk::caution, {"/h/a", "/h/b"}), std::nullopt, true, FirstControl::none,
         SecondControl::none},
        // An empty breakdown is no breakdown.
        {suggestion(CleanAction::manual, Risk::caution, {"/h/a"}, std::vector<SuggestionItem>{}), std::nullopt, true,
         FirstControl::show, SecondControl::none},
        // A risky trash is not automatic: no clean button.
        {suggestion(CleanAction::trash, Risk::caution, {"/h/a", "/h/b"}, two), std::nullopt, true,
         FirstControl::details, SecondControl::none},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(CleanActions::rawValue(c.s.action)) + " " + c.busy.value_or("-");
        EXPECT_EQ(SuggestionCards::firstControl(c.s), c.first) << name;
        EXPECT_EQ(SuggestionCards::secondControl(c.s, c.busy, c.destinations), c.second) << name;
    }
}

TEST_F(SuggestionsLogicTest, CommandRowAndMoreLine) {
    EXPECT_TRUE(SuggestionCards::showsCommand(suggestion(CleanAction::command)));
    EXPECT_FALSE(SuggestionCards::showsCommand(suggestion(CleanAction::offload)));
    EXPECT_FALSE(SuggestionCards::showsCommand(suggestion(CleanAction::evict)));
    const std::vector<SuggestionItem> one = {SuggestionItem("/h/a", 1)};
    EXPECT_EQ(SuggestionCards::moreCount(suggestion(CleanAction::trash, Risk::review, {"/a", "/b", "/c"}, one)), 2u);
    EXPECT_EQ(SuggestionCards::moreCount(suggestion(CleanAction::trash, Risk::review, {"/a"}, one)), 0u);
    // Items per app over several caches each, and children of one folder, leave nothing out.
    const std::vector<SuggestionItem> apps = {SuggestionItem("/c/Code", 3), SuggestionItem("/c/Slack", 1)};
    EXPECT_EQ(SuggestionCards::moreCount(suggestion(CleanAction::trashContents, Risk::safe,
                                                    {"/c/Code/Cache", "/c/Code/GPUCache", "/c/Slack/Cache"}, apps)),
              0u);
    EXPECT_EQ(SuggestionCards::moreCount(
                  suggestion(CleanAction::trashContents, Risk::safe, {"/c/Code/Cache", "/c/Zoom/Cache"}, {{apps[0]}})),
              1u);
    EXPECT_EQ(SuggestionCards::moreCount(suggestion(CleanAction::manual, Risk::review, {"/c"}, apps)), 0u);
}

TEST_F(SuggestionsLogicTest, IconsByCategoryWithTheTrashAsFallback) {
    const struct {
        std::string category;
        CleanAction action;
        std::string icon;
    } cases[] = {
        {"cache", CleanAction::trashContents, "internaldrive"},
        {"developer", CleanAction::command, "hammer"},
        {"downloads", CleanAction::trash, "arrow.down.circle"},
        {"large-files", CleanAction::manual, "doc.badge.ellipsis"},
        {"archive", CleanAction::evict, "icloud.and.arrow.down"},
        {"archive", CleanAction::offload, "archivebox"},
        {"apps", CleanAction::manual, "app.badge"},
        {"backup", CleanAction::manual, "iphone"},
        {"system", CleanAction::emptyTrash, "trash"},
        {"", CleanAction::manual, "trash"},
    };
    for (const auto& c : cases) {
        Suggestion s = suggestion(c.action);
        s.category = c.category;
        EXPECT_EQ(SuggestionCards::icon(s), c.icon) << c.category;
    }
}
}  // namespace
