// The explorer page: the breadcrumb and the map switch above the chosen map
// of the open folder and the list of its children, with each child's context
// menu. Every navigation only sets the model's explorer path; confirmations
// go to the presenter it is given.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "model/AppModel.hpp"
#include "pages/ConfirmRequest.hpp"
#include "pages/Explorer.hpp"
#include "ui/shell/PageRegistry.hpp"

class ExplorerBreadcrumb;
class ExplorerChildList;
class MonoSegments;
class QLabel;
class QMenu;
class QScrollArea;
class QStackedLayout;
class QVBoxLayout;
class ScanningView;

class ExplorerPage : public QWidget {
    Q_OBJECT
public:
    /// Presents a confirm request (the content view's confirm sheet).
    using Presenter = std::function<void(ConfirmRequest)>;

    /// Confirmations go to the context's `confirm`.
    explicit ExplorerPage(const PageContext& context, QWidget* parent = nullptr);
    ~ExplorerPage() override;

    /// The stored map mode, "voronoi" when unset.
    static std::string storedMode();
    /// Throws OstrevaneError when the settings file cannot be written.
    static void storeMode(const std::string& raw);

    /// The map shown now (a VoronoiView, TreemapView or the terrain's widget); null without a scan.
    QWidget* mapWidget() const { return map; }
    ExplorerChildList* childList() const { return list; }
    ExplorerBreadcrumb* breadcrumb() const { return crumbs; }
    MonoSegments* modeSwitch() const { return segments; }
    /// Why the cleaner refuses a child's path and its place (see ExplorerMenuState).
    struct MenuRefusals {
        std::optional<std::string> trash;
        std::optional<std::string> archive;
        /// Blocking: the cleaner opens the trash folders of every mounted file system.
        static MenuRefusals of(const std::string& path);
    };
    /// The context menu of a child as shown (the caller owns it).
    QMenu* makeMenu(const NodeRef& child, const MenuRefusals& refusals);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildExplorer();
    QWidget* buildPlaceholder();
    /// Follows the model: the page's state, the crumbs, the map and the list.
    void refresh();
    /// Replaces the map when the stored mode changed since it was made.
    void refreshMap(const NodeRef& folder);
    /// Stores the mode; when the settings cannot be written (a full disk),
    /// the page keeps it for its own life and the model posts a notice.
    void selectMode(const QString& raw);
    /// The mode the page shows: the one chosen but not stored, else the stored one.
    std::string currentMode() const;
    void open(const std::string& path);
    /// The enclosing folder, when the open folder is not the root.
    void openParent();
    /// The context menu of `child` at a global position; it deletes itself when closed.
    void showMenu(const NodeRef& child, const QPoint& at);
    /// The checks for a menu answered: opens it, unless a newer one was asked for.
    void menuChecked(const NodeRef& child, const QPoint& at, const MenuRefusals& refusals);
    void activate(const NodeRef& child);
    ExplorerActions actions() const;

    std::shared_ptr<AppModel> model;
    Presenter present;
    size_t observation = 0;

    QStackedLayout* states = nullptr;
    QWidget* explorer = nullptr;
    ScanningView* scanning = nullptr;
    QWidget* placeholder = nullptr;

    ExplorerBreadcrumb* crumbs = nullptr;
    QScrollArea* crumbScroll = nullptr;
    MonoSegments* segments = nullptr;
    QVBoxLayout* mapBox = nullptr;
    QWidget* map = nullptr;
    std::function<void(const NodeRef&)> showOnMap;
    std::string mapMode;
    std::optional<std::string> unsavedMode;
    QLabel* header = nullptr;
    QScrollArea* scroller = nullptr;
    ExplorerChildList* list = nullptr;
    QLabel* empty = nullptr;
    /// What the list shows: the scan (held, so its address is never another's) and the folder's path and size.
    std::shared_ptr<const ScanResult> shownScan;
    std::string shownKey;
    /// A menu asked for while the checks of another run; the newest one.
    struct MenuRequest {
        NodeRef child;
        QPoint at;
    };
    std::optional<MenuRequest> menuWanted;
    bool menuChecking = false;
};
