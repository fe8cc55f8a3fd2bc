#include <gtest/gtest.h>

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QTest>

#include "../logic/AgentTestSupport.hpp"
#include "TestSupport.hpp"
#include "agent/AgentSetup.hpp"
#include "agent/ClaudeRunner.hpp"
#include "demo/Demo.hpp"
#include "desktop/QtDispatcher.hpp"
#include "model/AppModel.hpp"
#include "model/Executor.hpp"
#include "model/Timer.hpp"
#include "service/MCPServer.hpp"
#include "snapshot/PageRender.hpp"
#include "text/Localization.hpp"
#include "ui/agent/AgentStep.hpp"
#include "ui/agent/FlowExamples.hpp"
#include "ui/agent/MarkdownView.hpp"
#include "ui/controls/CodeLine.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/pages/AgentPage.hpp"

using namespace testing_support;

namespace {
MarkdownText::Run styled(std::string text, bool strong = false, bool emphasis = false, bool code = false,
                         bool strike = false, std::optional<std::string> link = std::nullopt) {
    return {std::move(text), strong, emphasis, code, strike, std::move(link)};
}
}  // namespace

TEST(MarkdownView, EachRunStyleMapsToItsCharacterFormat) {
    QTextCharFormat base;
    base.setFont(QFont("Noto Sans CJK SC", 13));
    struct Case {
        MarkdownText::Run run;
        bool bold, italic, struck, mono;
        QString href;
    };
    const Case cases[] = {
        {styled("plain"), false, false, false, false, {}},
        {styled("b", true), true, false, false, false, {}},
        {styled("i", false, true), false, true, false, false, {}},
        {styled("c", false, false, true), false, false, false, true, {}},
        {styled("s", false, false, false, true), false, false, true, false, {}},
        {styled("bi", true, true), true, true, false, false, {}},
        {styled("l", false, false, false, false, "https://example.com/a?b=c"), false, false, false, false,
         "https://example.com/a?b=c"},
    };
    for (const Case& c : cases) {
        const QTextCharFormat format = MarkdownView::format(c.run, base);
        SCOPED_TRACE(c.run.text);
        EXPECT_EQ(format.fontWeight() >= QFont::Bold, c.bold);
        EXPECT_EQ(format.fontItalic(), c.italic);
        EXPECT_EQ(format.fontStrikeOut(), c.struck);
        EXPECT_EQ(format.fontFixedPitch(), c.mono);
        EXPECT_EQ(format.isAnchor(), !c.href.isEmpty());
        EXPECT_EQ(format.anchorHref(), c.href);
        EXPECT_EQ(format.fontUnderline(), !c.href.isEmpty());
    }
    EXPECT_FALSE(MarkdownView::open(QUrl("file:///etc/passwd")));
    EXPECT_FALSE(MarkdownView::open(QUrl("javascript:alert(1)")));
}

TEST(AgentPage, BuildsInDemoModeWithoutRunningAnything) {
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string());
    // A `claude` that leaves a trace if anything runs it.
    const fs::path bin = dir.path() / "bin";
    writeText(bin / "claude", "#!/bin/sh\ntouch \"" + (dir.path() / "ran").string() + "\"\n");
    fs::permissions(bin / "claude", fs::perms::owner_all);
    ScopedEnv path("PATH", bin.string() + ":/usr/bin:/bin");

    QtDispatcher dispatcher;
    ManualExecutor executor;
    AgentPage page(dispatcher, executor, dir.path().string(), [] { return true; });
    EXPECT_EQ(page.setup(), nullptr);  // nothing is looked at before the page shows
    page.setAttribute(Qt::WA_DontShowOnScreen);
    page.resize(PageRender::pageSize);
    page.show();
    QTest::qWait(200);

    ASSERT_NE(page.setup(), nullptr);
    const AgentSetup& setup = *page.setup();
    EXPECT_EQ(setup.cliPath(), AgentSetup::demoCLIPath);
    EXPECT_EQ(setup.claudePath(), std::optional<std::string>(AgentSetup::demoClaudePath));
    EXPECT_TRUE(setup.checked() && setup.linkInstalled() && setup.registered().value_or(false));
    EXPECT_FALSE(fs::exists(AgentSetup::linkPath()));

    std::vector<QString> codeLines;
    for (auto* line : page.findChildren<CodeLine*>()) codeLines.push_back(line->text());
    ASSERT_EQ(codeLines.size(), 3u);
    EXPECT_EQ(codeLines[0].toStdString(),
              "claude mcp add ostrevane --scope user -- " + std::string(AgentSetup::demoCLIPath) + " mcp");
    EXPECT_EQ(page.findChildren<MonoTag*>().size(), 14);
    auto copyLine = page.findChildren<CodeLine*>()[2];
    copyLine->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(AgentPage::sampleCommands));
    EXPECT_TRUE(copyLine->copied());

    // Spaces and tabs alone keep Ask disabled; a line break enables it, and asking then does nothing.
    MonoButton* askButton = nullptr;
    for (auto* button : page.findChildren<MonoButton*>())
        if (button->label() == QString::fromStdString(L("提问"))) askButton = button;
    ASSERT_NE(askButton, nullptr);
    page.setQuestion(" \t ");
    EXPECT_FALSE(askButton->isEnabled());
    page.setQuestion("\n");
    EXPECT_TRUE(askButton->isEnabled());
    page.ask();
    EXPECT_FALSE(page.runner().running());

    // Picking an example fills the field and asks nothing.
    auto chips = page.findChildren<ExampleChip*>();
    ASSERT_EQ(chips.size(), 4);
    QTest::mouseClick(chips[2], Qt::LeftButton);
    EXPECT_EQ(page.question().toStdString(), AgentPage::examples()[2]);
    EXPECT_FALSE(page.runner().running());
    EXPECT_TRUE(page.runner().answer().empty());

    page.hide();
    page.show();  // every showing refreshes; still nothing runs
    QTest::qWait(200);
    EXPECT_FALSE(fs::exists(dir.path() / "ran"));
    EXPECT_EQ(executor.pending(), 0u);
}

namespace {
/// The agent page on a fake `claude`, with the tool beside a made-up
/// application folder (or not), shown off screen.
class AgentPageSetup : public ::testing::Test {
protected:
    void open(bool withTool) {
        fs::create_directories(appFolder);
        if (withTool) {
            writeText(appFolder / "ostrevane", "#!/bin/sh\n");
            fs::permissions(appFolder / "ostrevane", fs::perms::owner_all);
        }
        page = std::make_unique<AgentPage>(dispatcher, pool, appFolder.string(), [] { return false; });
        page->setAttribute(Qt::WA_DontShowOnScreen);
        page->resize(PageRender::pageSize);
        page->show();
    }
    MonoButton* button(const char* key) const {
        for (auto* candidate : page->findChildren<MonoButton*>())
            if (candidate->label() == QString::fromStdString(L(key))) return candidate;
        return nullptr;
    }
    /// The visible messages in the same step as `control`.
    static QStringList messagesBeside(QWidget* control) {
        QWidget* step = control->parentWidget();
        while (step && !qobject_cast<AgentStep*>(step)) step = step->parentWidget();
        QStringList texts;
        if (step)
            for (auto* message : step->findChildren<SymbolMessage*>())
                if (message->isVisibleTo(step)) texts << message->text();
        return texts;
    }
    bool checked() const { return page->setup() && page->setup()->checked(); }

    agent_testing::FakeClaude fake{"add-fail"};
    fs::path appFolder = fake.dir.path() / "app";
    QtDispatcher dispatcher;
    ThreadPool pool{2};
    std::unique_ptr<AgentPage> page;
};
}  // namespace

TEST_F(AgentPageSetup, OpeningThePageWaitsForNoCheck) {
    // A `claude` that takes a second to answer: the page is there before it does.
    writeText(fake.bin / "claude", "#!/bin/sh\nsleep 1\nexit 1\n");
    open(true);
    ASSERT_NE(page->setup(), nullptr);
    EXPECT_FALSE(checked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    EXPECT_EQ(page->setup()->claudePath(), fake.claude());
}

TEST_F(AgentPageSetup, AFailedConnectShowsItsReasonBesideTheButton) {
    open(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    MonoButton* connect = button("一键接入");
    ASSERT_NE(connect, nullptr);
    ASSERT_TRUE(connect->isEnabled());
    QTest::mouseClick(connect, Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !page->setup()->working() && page->setup()->registrationMessage(); }, 5000));
    EXPECT_EQ(messagesBeside(connect), QStringList{"Couldn’t connect: Error: user config is read-only"});
}

TEST_F(AgentPageSetup, WithoutTheToolConnectAndInstallAreOffAndSayWhy) {
    open(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    const QString reason = QString::fromStdString(
        "The ostrevane command-line tool wasn’t found: it belongs beside the application, in " + appFolder.string() +
        ".");
    for (const char* key : {"一键接入", "安装到 ~/.local/bin"}) {
        SCOPED_TRACE(key);
        MonoButton* control = button(key);
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->isEnabled());
        EXPECT_EQ(control->toolTip(), reason);
    }
    QStringList shown;
    for (auto* message : page->findChildren<SymbolMessage*>())
        if (message->isVisibleTo(page.get())) shown << message->text();
    EXPECT_TRUE(shown.contains(reason));
    // No command names a path that isn't there.
    for (auto* line : page->findChildren<CodeLine*>()) {
        if (!line->isVisibleTo(page.get())) continue;
        EXPECT_FALSE(line->text().contains(QString::fromStdString(appFolder.string())));
    }
}

// With the tool installed into ~/.local/bin itself, there is nothing to link:
// the button says it is installed there and can't be pressed.
TEST_F(AgentPageSetup, WithTheToolInstalledInLocalBinInstallIsDoneAndOff) {
    appFolder = fs::path(AgentSetup::linkPath()).parent_path();
    open(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    EXPECT_EQ(button("安装到 ~/.local/bin"), nullptr);
    MonoButton* install = button("已安装到 ~/.local/bin");
    ASSERT_NE(install, nullptr);
    EXPECT_EQ(install->label(), "Installed in ~/.local/bin");
    EXPECT_FALSE(install->isEnabled());
    QTest::mouseClick(install, Qt::LeftButton);
    EXPECT_TRUE(messagesBeside(install).isEmpty());
    EXPECT_FALSE(fs::is_symlink(AgentSetup::linkPath()));
}

namespace {
/// Whether `widget` lies wholly inside the visible part of the page's scroll area.
bool inView(QWidget* widget) {
    for (QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            const QRect shown(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
            return area->viewport()->rect().contains(shown);
        }
    return false;
}

/// The visible message in `control`'s step that reads `text`.
SymbolMessage* messageReading(QWidget* control, const QString& text) {
    for (QWidget* w = control; w; w = w->parentWidget())
        if (qobject_cast<AgentStep*>(w)) {
            for (auto* message : w->findChildren<SymbolMessage*>())
                if (message->isVisibleTo(w) && message->text() == text) return message;
            break;
        }
    return nullptr;
}

/// Presses `control` from the keyboard after Tab brought it into view, and
/// lets the page answer.
void pressFromKeyboard(QWidget* control) {
    control->setFocus(Qt::TabFocusReason);
    FocusChain::scrollTo(control);
    QTest::keyClick(control, Qt::Key_Space);
    QTest::qWait(50);
}
}  // namespace

TEST_F(AgentPageSetup, AnotherProgramInTheWayIsNamedAndOnlyACheckIsOffered) {
    const fs::path link = AgentSetup::linkPath();
    writeText(link, "#!/bin/sh\necho another\n");
    open(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    EXPECT_EQ(button("安装到 ~/.local/bin"), nullptr) << "a press that can only fail is offered";
    MonoButton* check = button("重新检查");
    ASSERT_NE(check, nullptr);
    ASSERT_EQ(check->label(), "Check again");
    ASSERT_TRUE(check->isEnabled());
    const QString conflict =
        "~/.local/bin/ostrevane already exists and is another program: remove or rename it, then check again.";
    EXPECT_EQ(messagesBeside(check), QStringList{conflict});

    // Checking again with the program still there: it is untouched, what to
    // do comes into view under the button, and a screen reader on the button
    // hears it as its description.
    pressFromKeyboard(check);
    EXPECT_EQ(readText(link), "#!/bin/sh\necho another\n");
    EXPECT_EQ(messagesBeside(check), QStringList{conflict});
    ASSERT_NE(messageReading(check, conflict), nullptr);
    EXPECT_TRUE(inView(messageReading(check, conflict)));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(check)->text(QAccessible::Description), conflict);

    // Renamed away: the check finds the way clear and Install comes back; it installs.
    fs::rename(link, link.string() + ".old");
    pressFromKeyboard(check);
    EXPECT_EQ(check->label(), "Install in ~/.local/bin");
    EXPECT_TRUE(messagesBeside(check).isEmpty());
    pressFromKeyboard(check);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(check->label(), "Installed in ~/.local/bin");
    EXPECT_EQ(messagesBeside(check),
              QStringList{"Installed to ~/.local/bin/ostrevane. If your terminal can’t find ostrevane, add "
                          "~/.local/bin to your PATH."});
}

TEST_F(AgentPageSetup, AFailedInstallIsSeenAndGoesOnceTheLinkIsThere) {
    // ~/.local/bin is a file, so the folder can't be made.
    const fs::path link = AgentSetup::linkPath();
    writeText(link.parent_path(), "");
    open(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return checked(); }, 5000));
    MonoButton* install = button("安装到 ~/.local/bin");
    ASSERT_NE(install, nullptr);
    pressFromKeyboard(install);
    const QStringList failed = messagesBeside(install);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed[0].startsWith("Install failed: ")) << failed[0].toStdString();
    ASSERT_NE(messageReading(install, failed[0]), nullptr);
    EXPECT_TRUE(inView(messageReading(install, failed[0])));

    // Set right by hand: at the next showing the step is done, and the failure gone.
    fs::remove(link.parent_path());
    fs::create_directories(link.parent_path());
    fs::create_symlink(appFolder / "ostrevane", link);
    page->hide();
    page->show();
    EXPECT_EQ(install->label(), "Installed in ~/.local/bin");
    EXPECT_TRUE(messagesBeside(install).isEmpty()) << messagesBeside(install).join("|").toStdString();
}

TEST(AgentPage, RendersTheDemoPageAtThePageSize) {
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string());
    auto model = AppModel::make(AppRuntime{std::make_shared<ManualDispatcher>(), std::make_shared<ManualExecutor>(),
                                           std::make_shared<ManualTimer>()});
    Demo::load(*model);
    const QImage image = PageRender::agent();
    ASSERT_EQ(image.size(), PageRender::pageSize);
    if (const char* out = std::getenv("OSTREVANE_RENDER_OUT")) image.save(QString::fromUtf8(out), "PNG");
    EXPECT_FALSE(fs::exists(AgentSetup::linkPath()));
}

TEST(AgentPage, TheToolListShowsTheServersOwnTitlesInBothLanguages) {
    for (const char* language : {"en", "zh"}) {
        SCOPED_TRACE(language);
        ScopedHome home(language);
        QtDispatcher dispatcher;
        ManualExecutor executor;
        AgentPage page(dispatcher, executor, std::nullopt, [] { return true; });
        QStringList labels;
        for (auto* label : page.findChildren<QLabel*>()) labels << label->text();
        for (const json& tool : MCPServer::tools()) {
            EXPECT_TRUE(labels.contains(QString::fromStdString(tool["name"].get<std::string>()))) << tool["name"];
            EXPECT_TRUE(labels.contains(QString::fromStdString(tool["title"].get<std::string>()))) << tool["title"];
        }
        EXPECT_TRUE(labels.contains("Release local cloud copies"));
        for (const QString& label : labels) EXPECT_FALSE(label.contains("iCloud")) << label.toStdString();
    }
}
