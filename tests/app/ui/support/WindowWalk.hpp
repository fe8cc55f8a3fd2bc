// The whole window on the demo model, for the keyboard and screen-reader
// suites: a main window shown offscreen on one section, the Tab order from
// its start, and its accessibility tree.
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "../../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "model/AppModel.hpp"

class ContentView;
class ExplorerPage;
class MainWindow;

/// A shown main window on the demo model, in `language`. The fake engine
/// answers with the demo's data, so the start-up and any rescan, analysis or
/// reload keep showing it.
class DemoWindow {
public:
    explicit DemoWindow(const std::string& language = "en");
    ~DemoWindow();

    /// Shows `section`'s page and lets the layouts settle.
    void open(AppModel::Section section);
    /// The widgets Tab reaches from the window's start, in order, until the
    /// focus comes back to the first (at most `limit` presses).
    std::vector<QWidget*> tabOrder(int limit = 200);
    /// Every interface under the window's, depth first (the window's first).
    std::vector<QAccessibleInterface*> accessibleTree() const;
    /// A Tab press through the application, as a user's would arrive.
    static void pressTab(bool backwards = false);
    /// A key press on the focused widget.
    static void press(Qt::Key key);

    MainWindow& window() { return *shown; }
    ModelHarness& harness() { return models; }

private:
    void mirrorDemo();

    testing_support::ScopedHome home;
    ModelHarness models;
    std::unique_ptr<MainWindow> shown;
};

/// The window's content: sidebar, header and page.
ContentView* contentOf(DemoWindow& demo);
/// Opens the Space Map and returns its page.
ExplorerPage* explorerOf(DemoWindow& demo);
/// Gives `widget` the focus as Tab would.
void tabTo(QWidget* widget);

/// "Class 'name'" of a widget, for failure messages.
std::string describe(const QWidget* widget);

/// Where `widget` lies in its window as laid out, as if no scroll area
/// around it were scrolled (Tab scrolls them while it walks).
QRect laidOutRect(const QWidget* widget);

/// The first visible widget of type `T` under `root`; null when there is none.
template <class T>
T* findVisible(QWidget* root) {
    for (T* found : root->findChildren<T*>())
        if (found->isVisible()) return found;
    return nullptr;
}

/// The first visible widget of type `T` under `root` whose accessible name
/// (or, for buttons, text) is `name`; null when there is none.
template <class T>
T* findNamed(QWidget* root, const QString& name) {
    for (T* found : root->findChildren<T*>())
        if (found->isVisible() && QAccessible::queryAccessibleInterface(found)->text(QAccessible::Name) == name)
            return found;
    return nullptr;
}
