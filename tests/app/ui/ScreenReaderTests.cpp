// What a screen reader finds in the window on the demo model: every control
// it can act on has a role and a name on every page in both languages, and
// the painted controls report the roles, names and values they stand for.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QListView>
#include <QRegularExpression>

#include "support/WindowWalk.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/CodeLine.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/maps/VoronoiView.hpp"
#include "ui/pages/CapacityBar.hpp"
#include "ui/pages/DiskCard.hpp"
#include "ui/pages/ExplorerBreadcrumb.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/shell/Sidebar.hpp"

namespace {

/// Roles a person acts on; an element with one of these, or a widget Tab
/// stops at, must say what it is.
bool actsOn(QAccessibleInterface* node) {
    switch (node->role()) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::List:
    case QAccessible::ListItem:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::Link:
    case QAccessible::ButtonMenu:
    case QAccessible::ToolBar: return true;
    default: break;
    }
    auto* widget = qobject_cast<QWidget*>(node->object());
    return widget && (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() &&
           !qobject_cast<QAbstractScrollArea*>(widget);
}

std::string where(QAccessibleInterface* node) {
    auto* widget = qobject_cast<QWidget*>(node->object());
    if (widget) return describe(widget);
    QAccessibleInterface* parent = node->parent();
    auto* owner = parent ? qobject_cast<QWidget*>(parent->object()) : nullptr;
    return "a part of " + describe(owner);
}

using Page = std::tuple<std::string, AppModel::Section>;

class EveryPageRead : public testing::TestWithParam<Page> {};

TEST_P(EveryPageRead, EveryVisibleControlHasARoleAndAName) {
    const auto& [language, section] = GetParam();
    DemoWindow demo(language);
    demo.open(section);
    int checked = 0;
    for (QAccessibleInterface* node : demo.accessibleTree()) {
        if (!node->isValid() || node->state().invisible || !actsOn(node)) continue;
        ++checked;
        EXPECT_NE(node->role(), QAccessible::NoRole) << where(node);
        EXPECT_NE(node->role(), QAccessible::Client) << where(node);
        EXPECT_FALSE(node->text(QAccessible::Name).trimmed().isEmpty())
            << where(node) << " (role " << node->role() << ")";
    }
    // The sidebar's five rows and the header's button at the least.
    EXPECT_GT(checked, 6);
}

TEST_P(EveryPageRead, DescriptionsArePlainTextAndEveryFocusableScrollAreaIsNamed) {
    const auto& [language, section] = GetParam();
    DemoWindow demo(language);
    demo.open(section);
    const QRegularExpression markup(R"(<\s*/?\s*[A-Za-z][^>]*>)");
    for (QAccessibleInterface* node : demo.accessibleTree()) {
        if (!node->isValid() || node->state().invisible) continue;
        const QString description = node->text(QAccessible::Description);
        EXPECT_FALSE(description.contains(markup)) << where(node) << ": " << description.toStdString();
        auto* widget = qobject_cast<QWidget*>(node->object());
        if (qobject_cast<QAbstractScrollArea*>(widget) && node->state().focusable) {
            EXPECT_FALSE(node->text(QAccessible::Name).trimmed().isEmpty()) << where(node);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, EveryPageRead,
                         testing::Combine(testing::Values("en", "zh"), testing::ValuesIn(AppModel::sections())),
                         [](const testing::TestParamInfo<Page>& info) {
                             return std::get<0>(info.param) + "_" +
                                    std::to_string(static_cast<int>(std::get<1>(info.param)));
                         });

QAccessibleInterface* of(QWidget* widget) { return QAccessible::queryAccessibleInterface(widget); }

TEST(ScreenReader, PaintedControlsReportWhatTheyStandFor) {
    DemoWindow demo;
    auto* content = static_cast<ContentView*>(demo.window().centralWidget());

    // Sidebar rows: push buttons named by their section's title.
    for (SidebarRow* row : content->sidebar()->rows()) {
        EXPECT_EQ(of(row)->role(), QAccessible::PushButton);
        EXPECT_EQ(of(row)->text(QAccessible::Name).toStdString(), AppModel::title(row->section));
    }

    // The capacity bar: a progress bar with the used share and the free text as drawn.
    auto* capacity = content->findChild<CapacityBar*>();
    ASSERT_NE(capacity, nullptr);
    QAccessibleInterface* bar = of(capacity);
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    EXPECT_EQ(bar->text(QAccessible::Name), capacity->freeLabel());
    EXPECT_TRUE(bar->text(QAccessible::Name).endsWith(" free")) << bar->text(QAccessible::Name).toStdString();
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_NEAR(bar->valueInterface()->currentValue().toDouble(), capacity->usedFraction() * 100, 1e-9);
    EXPECT_GT(capacity->usedFraction(), 0.1);

    // Cards: groupings named by their title.
    bool reclaimable = false;
    for (Card* card : content->findChildren<Card*>()) {
        if (!card->isVisible()) continue;
        EXPECT_EQ(of(card)->role(), QAccessible::Grouping);
        reclaimable |= of(card)->text(QAccessible::Name) == "Reclaimable";
    }
    EXPECT_TRUE(reclaimable);

    // Tags: static text with the tag's words.
    demo.open(AppModel::Section::suggestions);
    auto* tag = content->findChild<RiskTag*>();
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(of(tag)->role(), QAccessible::StaticText);
    EXPECT_EQ(of(tag)->text(QAccessible::Name), static_cast<CapsuleTag*>(tag)->look().text);
}

TEST(ScreenReader, TheExplorerReportsItsSegmentsRowsAndMapRegions) {
    DemoWindow demo;
    demo.open(AppModel::Section::explorer);
    auto* page = static_cast<ExplorerPage*>(static_cast<ContentView*>(demo.window().centralWidget())->page());

    QAccessibleInterface* segments = of(page->modeSwitch());
    EXPECT_EQ(segments->role(), QAccessible::PageTabList);
    ASSERT_EQ(segments->childCount(), 3);
    EXPECT_EQ(segments->child(0)->text(QAccessible::Name), "Voronoi");
    EXPECT_TRUE(segments->child(0)->state().selected);
    EXPECT_FALSE(segments->child(1)->state().selected);
    // Pressing a segment through the reader selects it, as a click does.
    segments->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(page->modeSwitch()->selection(), "grid");
    EXPECT_TRUE(segments->child(2)->state().selected);
    page->modeSwitch()->choose(0);

    // The list: one item per row, named by the child's name.
    QAccessibleInterface* list = of(page->childList());
    EXPECT_EQ(list->role(), QAccessible::List);
    const auto& rows = page->childList()->rows();
    std::vector<std::string> names;
    for (int i = 0; i < list->childCount(); ++i)
        if (list->child(i)->role() == QAccessible::ListItem)
            names.push_back(list->child(i)->text(QAccessible::Name).toStdString());
    ASSERT_EQ(names.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(names[i], rows[i].node->name);

    // The map: one child per region, named by the texts its pill shows.
    QWidget* map = page->mapWidget();
    ASSERT_NE(dynamic_cast<VoronoiView*>(map), nullptr);
    QAccessibleInterface* regions = of(map);
    EXPECT_EQ(regions->text(QAccessible::Name), "Voronoi map of ~");
    ASSERT_GT(regions->childCount(), 3);
    const QString first = regions->child(0)->text(QAccessible::Name);
    EXPECT_TRUE(first.startsWith("~/Library, ")) << first.toStdString();
    EXPECT_TRUE(first.endsWith("%")) << first.toStdString();
    EXPECT_TRUE(map->rect().intersects(regions->child(0)->rect().translated(-map->mapToGlobal(QPoint()))));

    // The breadcrumb: its back button and crumbs as buttons; the back button disabled at the root.
    QAccessibleInterface* crumbs = of(page->breadcrumb());
    ASSERT_EQ(crumbs->childCount(), 2);
    EXPECT_EQ(crumbs->child(0)->text(QAccessible::Name), "Back");
    EXPECT_TRUE(crumbs->child(0)->state().disabled);
    EXPECT_EQ(crumbs->child(1)->text(QAccessible::Name), "~");
}

TEST(ScreenReader, LegendEntriesSayTheirSizeAndCopyButtonsWhatTheyCopy) {
    DemoWindow demo;
    auto* content = static_cast<ContentView*>(demo.window().centralWidget());
    std::vector<std::string> legend;
    for (LegendEntry* entry : content->findChildren<LegendEntry*>())
        if (entry->isVisible()) legend.push_back(of(entry)->text(QAccessible::Name).toStdString());
    EXPECT_NE(std::find(legend.begin(), legend.end(), "Downloads, 21 GB"), legend.end())
        << testing::PrintToString(legend);
    EXPECT_GT(legend.size(), 3u);

    demo.open(AppModel::Section::agent);
    std::vector<std::string> copies;
    for (CodeLine* line : content->findChildren<CodeLine*>())
        for (IconButton* button : line->findChildren<IconButton*>())
            copies.push_back(of(button)->text(QAccessible::Name).toStdString());
    EXPECT_EQ(copies, (std::vector<std::string>{"Copy the Claude Code command", "Copy the Claude Desktop configuration",
                                                "Copy the example commands"}));
}

TEST(ScreenReader, TheMapIsNamedForItsKindAndFolder) {
    DemoWindow demo;
    demo.open(AppModel::Section::explorer);
    auto* page = static_cast<ExplorerPage*>(static_cast<ContentView*>(demo.window().centralWidget())->page());
    AppModel& model = *demo.harness().model;
    model.setExplorerPath(model.scan()->root.path + "/Downloads");
    demo.open(AppModel::Section::explorer);
    const std::pair<size_t, std::string> modes[] = {
        {0, "Voronoi map of ~/Downloads"}, {1, "Terrain map of ~/Downloads"}, {2, "Treemap of ~/Downloads"}};
    for (const auto& [segment, name] : modes) {
        page->modeSwitch()->choose(segment);
        demo.open(AppModel::Section::explorer);
        EXPECT_EQ(of(page->mapWidget())->text(QAccessible::Name).toStdString(), name);
    }
    // Going up renames the map that stays.
    model.setExplorerPath(model.scan()->root.path);
    demo.open(AppModel::Section::explorer);
    EXPECT_EQ(of(page->mapWidget())->text(QAccessible::Name).toStdString(), "Treemap of ~");
    page->modeSwitch()->choose(0);
}

TEST(ScreenReader, TheConfirmSheetIsADialogWithItsTitleAndMessage) {
    DemoWindow demo;
    auto* content = static_cast<ContentView*>(demo.window().centralWidget());
    ConfirmRequest request;
    request.title = "Move “Code” to the Trash?";
    request.message = "You can put it back from the Trash.";
    request.confirm = "Move to Trash";
    request.destructive = true;
    content->sheet()->present(request);
    QAccessibleInterface* sheet = of(content->sheet()->sheet());
    EXPECT_EQ(sheet->role(), QAccessible::Dialog);
    EXPECT_EQ(sheet->text(QAccessible::Name).toStdString(), request.title);
    EXPECT_EQ(sheet->text(QAccessible::Description).toStdString(), request.message);
    EXPECT_EQ(of(content->sheet()->sheet()->confirmButton())->text(QAccessible::Name), "Move to Trash");
}

}  // namespace
