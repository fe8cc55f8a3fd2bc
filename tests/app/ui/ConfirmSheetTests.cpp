#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "TestSupport.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"

namespace {
class ConfirmSheetTest : public testing_support::HomeTest {
protected:
    ConfirmSheetTest() {
        page.resize(800, 600);
        pageButton = new MonoButton("Behind", {}, &page);
        pageButton->setGeometry(350, 280, 100, 40);
        host = new ConfirmSheetHost(&page);
    }

    ConfirmRequest request(bool destructive, std::function<void()> action = {}) {
        return ConfirmRequest::make("Title", "Message", "Go", destructive, [this, action] {
            ++runs;
            if (action) action();
        });
    }

    void key(Qt::Key which) {
        ASSERT_NE(host->sheet(), nullptr);
        QTest::keyClick(host->sheet(), which);
    }

    QWidget page;
    MonoButton* pageButton;
    ConfirmSheetHost* host;
    int runs = 0;
};

TEST_F(ConfirmSheetTest, EscapeCancelsAndReturnConfirmsOnlyWhatIsNotDestructive) {
    const struct {
        bool destructive;
        Qt::Key key;
        int runs;
    } cases[] = {
        {true, Qt::Key_Escape, 0}, {false, Qt::Key_Escape, 0}, {false, Qt::Key_Return, 1},
        {false, Qt::Key_Enter, 1}, {true, Qt::Key_Return, 0},  {true, Qt::Key_Enter, 0},
    };
    // The same whether the sheet or the overlay around it has the key.
    for (const bool toOverlay : {false, true}) {
        for (const auto& c : cases) {
            runs = 0;
            host->present(request(c.destructive));
            if (toOverlay)
                QTest::keyClick(host, c.key);
            else
                key(c.key);
            EXPECT_EQ(runs, c.runs) << c.destructive << " " << c.key << " " << toOverlay;
            const bool stillShown = c.destructive && c.key != Qt::Key_Escape;
            EXPECT_EQ(host->request().has_value(), stillShown) << c.destructive << " " << c.key << " " << toOverlay;
            host->dismiss();
        }
    }
    EXPECT_EQ(runs, 0);
}

TEST_F(ConfirmSheetTest, ConfirmDismissesBeforeTheActionRunsAndTheActionMayAskAgain) {
    std::vector<bool> shownDuringAction;
    host->present(request(true, [this, &shownDuringAction] {
        shownDuringAction.push_back(host->request().has_value());
        host->present(ConfirmRequest::make("Next", "", "Go", false, {}));
    }));
    QTest::mouseClick(host->sheet()->confirmButton(), Qt::LeftButton, {},
                      host->sheet()->confirmButton()->rect().center());
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(shownDuringAction, std::vector<bool>{false});
    ASSERT_TRUE(host->request());
    EXPECT_EQ(host->request()->title, "Next");
    EXPECT_EQ(host->sheet()->request().title, "Next");
}

TEST_F(ConfirmSheetTest, ANewRequestReplacesTheShownOne) {
    QSignalSpy changes(host, &ConfirmSheetHost::requestChanged);
    host->present(request(false));
    const auto first = host->request()->id;
    host->present(request(false));
    ASSERT_TRUE(host->request());
    EXPECT_NE(host->request()->id, first);
    EXPECT_EQ(host->sheet()->request().id, host->request()->id);
    EXPECT_EQ(changes.count(), 2);
    key(Qt::Key_Return);
    EXPECT_EQ(runs, 1);
}

TEST_F(ConfirmSheetTest, TheOverlayTakesClicksMeantForThePage) {
    QSignalSpy pageClicks(pageButton, &QAbstractButton::clicked);
    host->present(request(false));
    QTest::mouseClick(host, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(pageClicks.count(), 0);
    EXPECT_TRUE(host->request());
    QTest::mouseClick(host->sheet()->cancelButton(), Qt::LeftButton, {},
                      host->sheet()->cancelButton()->rect().center());
    EXPECT_FALSE(host->request());
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(host->isHidden());
}

TEST_F(ConfirmSheetTest, ThePageBehindIsDimmedByHalf) {
    page.setAutoFillBackground(true);
    QPalette white = page.palette();
    white.setColor(QPalette::Window, Qt::white);
    page.setPalette(white);
    host->present(request(false));
    const QColor behind = page.grab().toImage().pixelColor(5, 5);
    EXPECT_NEAR(behind.red(), 128, 3);
    EXPECT_EQ(behind.red(), behind.blue());
}

TEST_F(ConfirmSheetTest, LongMessagesWrapAndTheSheetGrows) {
    ConfirmSheet shortSheet(ConfirmRequest::make("T", "Short.", "Go", false, {}), {});
    const std::string words = [] {
        std::string text;
        for (int i = 0; i < 80; ++i) text += "word ";
        return text;
    }();
    ConfirmSheet wordy(ConfirmRequest::make("T", words, "Go", false, {}), {});
    EXPECT_EQ(shortSheet.sizeHint().width(), 430);
    EXPECT_GT(wordy.heightForWidth(430), shortSheet.heightForWidth(430) + 40);
}
}  // namespace
