// The controls that hand an item to the file manager: when none answers (no
// FileManager1 service, no xdg-open that can open it), the click says so in
// an error notice instead of doing nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <functional>
#include <memory>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "desktop/Desktop.hpp"
#include "text/Localization.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/pages/BackupPage.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/pages/SuggestionCard.hpp"
#include "ui/pages/SuggestionsPage.hpp"

namespace {
const std::string noFileManager = "No file manager answered. Install one, or make it the default for opening folders.";

IconButton* iconButton(QWidget& page, const std::string& symbol) {
    for (auto* button : page.findChildren<IconButton*>())
        if (button->symbol() == symbol) return button;
    return nullptr;
}

MonoButton* monoButton(QWidget& page, const char* key) {
    for (auto* button : page.findChildren<MonoButton*>())
        if (button->label() == QString::fromStdString(L(key))) return button;
    return nullptr;
}

class FileManagerTest : public testing_support::HomeTest {
protected:
    FileManagerTest() {
        frame.resize(964, 730);
        harness.engine.suggestions = {
            Suggestion("one", "cache", "One place", "d", {home.home() + "/.cache/one"}, 3'000'000, Risk::safe,
                       CleanAction::trashContents),
            Suggestion("listed", "downloads", "Listed", "d", {home.home() + "/Downloads/a.deb"}, 2'000'000,
                       Risk::review, CleanAction::trash, std::nullopt,
                       std::vector<SuggestionItem>{SuggestionItem(home.home() + "/Downloads/a.deb", 2'000'000)}),
        };
        BackupReport report;
        report.id = "r";
        report.source = home.home() + "/Documents";
        report.destinationName = "Drive";
        report.target = home.home() + "/Drive/Documents";
        report.status = BackupStatus::ok;
        report.startedAt = report.finishedAt = std::chrono::system_clock::now();
        harness.engine.history = {report};
    }

    /// Runs `press` with the desktop's file manager answering or not; the
    /// notice it left, once the queued answer is back on the UI thread.
    std::optional<AppModel::Notice> noticeAfter(const std::function<void()>& press, bool answers) {
        ScopedHooks<Desktop::Hooks> hooks;
        hooks->reveal = [&](const std::string& path) {
            asked.push_back(path);
            return answers;
        };
        hooks->openTrash = [&] {
            asked.push_back("trash");
            return answers;
        };
        harness.model->dismissNotice();
        asked.clear();
        press();
        QCoreApplication::processEvents();
        return harness.model->notice();
    }

    ModelHarness harness;
    QWidget frame;
    ConfirmSheetHost* host = new ConfirmSheetHost(&frame);
    std::vector<std::string> asked;
};
}  // namespace

TEST_F(FileManagerTest, EveryControlThatAsksTheFileManagerSaysWhenNoneAnswered) {
    harness.startWith(folderNode(home.home(), {folderNode(home.home() + "/Documents")}));
    harness.model->refreshLight();
    harness.settle();
    ExplorerPage explorer(PageContext{harness.model, [](ConfirmRequest) {}});
    SuggestionsPage suggestions(PageContext::over(harness.model, host));
    BackupPage backup(PageContext::over(harness.model, host));
    ASSERT_EQ(suggestions.cards().size(), 2u);
    SuggestionCard* listed = suggestions.cards()[1];
    listed->firstButton()->click();  // the details, with a magnifier per item
    const NodeRef firstChild = explorer.childList()->rows().front().node;

    struct Control {
        const char* name;
        std::function<void()> press;
        std::string asks;
    };
    const std::vector<Control> controls = {
        {"the explorer's header", [&] { iconButton(explorer, "folder")->click(); }, harness.model->scan()->root.path},
        {"a row's menu",
         [&] {
             std::unique_ptr<QMenu> menu(
                 explorer.makeMenu(firstChild, ExplorerPage::MenuRefusals::of(firstChild->path)));
             for (QAction* action : menu->actions())
                 if (action->text() == QString::fromStdString(L("在文件管理器中显示"))) action->trigger();
         },
         firstChild->path},
        {"a card's Show", [&] { suggestions.cards()[0]->firstButton()->click(); }, home.home() + "/.cache/one"},
        {"an item's magnifier", [&] { iconButton(*listed, "magnifyingglass")->click(); },
         home.home() + "/Downloads/a.deb"},
        {"Open Trash", [&] { monoButton(suggestions, "打开废纸篓")->click(); }, "trash"},
        {"a backup's magnifier", [&] { iconButton(backup, "magnifyingglass")->click(); },
         home.home() + "/Drive/Documents"},
    };
    for (const Control& control : controls) {
        SCOPED_TRACE(control.name);
        const auto unanswered = noticeAfter(control.press, false);
        EXPECT_EQ(asked, std::vector<std::string>{control.asks});
        ASSERT_TRUE(unanswered);
        EXPECT_EQ(unanswered->text, noFileManager);
        EXPECT_TRUE(unanswered->isError);

        EXPECT_EQ(noticeAfter(control.press, true), std::nullopt);
        EXPECT_EQ(asked, std::vector<std::string>{control.asks});
    }

    // Told after the model is gone (the window closed while it waited): nothing
    // to tell, and the wait did not keep the model alive.
    Desktop::Unanswered late;
    std::weak_ptr<AppModel> weak;
    {
        ModelHarness closed;
        weak = closed.model;
        late = Desktop::noticeOn(closed.model);
    }
    EXPECT_TRUE(weak.expired());
    late();
}
