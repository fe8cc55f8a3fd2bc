#include "WindowWalk.hpp"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <functional>

#include "demo/Demo.hpp"
#include "ui/access/Accessibility.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"

DemoWindow::DemoWindow(const std::string& language) : home(language) {
    Accessibility::install();
    Demo::load(*models.model);
    mirrorDemo();
    shown = std::make_unique<MainWindow>(models.model);
    shown->resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    shown->show();
    QApplication::setActiveWindow(shown.get());
    QApplication::processEvents();
}

DemoWindow::~DemoWindow() = default;

void DemoWindow::mirrorDemo() {
    const AppModel& model = *models.model;
    FakeEngine& engine = models.engine;
    engine.volumes = model.volumes();
    engine.destinations = model.destinations();
    engine.config.plans = model.plans();
    engine.history = model.history();
    engine.cached = *model.scan();
    engine.scanResult = *model.scan();
    engine.suggestions = model.report()->suggestions;
    // An analysis finds the demo's report less what was cleaned since; its
    // notes (numbered) tell each new report from the one before.
    engine.analyzeHook = [&engine, demo = *model.report()](SuggestionReport& report) {
        const std::vector<Suggestion> found = report.suggestions;
        const std::vector<std::string> notes = report.notes;
        report = demo;
        report.notes = notes;
        report.suggestions.clear();
        for (const Suggestion& suggestion : found)
            if (std::find(engine.applied.begin(), engine.applied.end(), suggestion.id) == engine.applied.end())
                report.suggestions.push_back(suggestion);
    };
}

void DemoWindow::open(AppModel::Section section) {
    models.model->setSection(section);
    for (int round = 0; round < 3; ++round) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

void DemoWindow::pressTab(bool backwards) {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : QApplication::activeWindow(), backwards ? Qt::Key_Backtab : Qt::Key_Tab);
}

void DemoWindow::press(Qt::Key key) {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : QApplication::activeWindow(), key);
}

std::vector<QWidget*> DemoWindow::tabOrder(int limit) {
    // The window's start: nothing focused inside it.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    std::vector<QWidget*> order;
    for (int i = 0; i < limit; ++i) {
        pressTab();
        QWidget* focused = QApplication::focusWidget();
        if (!focused || (!order.empty() && focused == order.front())) break;
        order.push_back(focused);
    }
    return order;
}

std::vector<QAccessibleInterface*> DemoWindow::accessibleTree() const {
    std::vector<QAccessibleInterface*> all;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (!node) return;
        all.push_back(node);
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(shown.get()));
    return all;
}

ContentView* contentOf(DemoWindow& demo) { return static_cast<ContentView*>(demo.window().centralWidget()); }

ExplorerPage* explorerOf(DemoWindow& demo) {
    demo.open(AppModel::Section::explorer);
    return static_cast<ExplorerPage*>(contentOf(demo)->page());
}

void tabTo(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    widget->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    widget->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(widget->hasFocus()) << describe(widget);
}

std::string describe(const QWidget* widget) {
    if (!widget) return "(none)";
    return std::string(widget->metaObject()->className()) + " '" + widget->accessibleName().toStdString() + "'";
}

QRect laidOutRect(const QWidget* widget) {
    QPoint at = widget->mapTo(widget->window(), QPoint());
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<const QAbstractScrollArea*>(w))
            at += QPoint(area->horizontalScrollBar()->value(), area->verticalScrollBar()->value());
    return {at, widget->size()};
}
