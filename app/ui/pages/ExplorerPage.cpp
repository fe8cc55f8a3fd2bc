#include "ui/pages/ExplorerPage.hpp"
#include "ui/controls/PageScroll.hpp"

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "Support.hpp"
#include "clean/Cleaner.hpp"
#include "desktop/Desktop.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"
#include "ui/controls/Divider.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/ScanningView.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/pages/ExplorerBreadcrumb.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerMaps.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int childListWidth = 350;
constexpr int mapPadding = 14;

QString text(const std::string& value) { return shownText(value); }
/// Menu texts keep a literal "&".
QString menuText(const std::string& value) { return text(value).replace("&", "&&"); }

/// The folder as a node that keeps its scan alive.
NodeRef folderOf(const std::shared_ptr<const ScanResult>& scan, const FileNode* node) {
    if (!scan || !node) return nullptr;
    return NodeRef(scan, node);
}
}  // namespace

ExplorerPage::ExplorerPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), model(context.model), present(context.confirm) {
    states = new QStackedLayout(this);
    explorer = buildExplorer();
    scanning = new ScanningView([weak = std::weak_ptr<AppModel>(model)] {
        if (auto m = weak.lock()) m->cancelScan();
    });
    placeholder = buildPlaceholder();
    states->addWidget(explorer);
    states->addWidget(scanning);
    states->addWidget(placeholder);
    using Change = AppModel::Change;
    observation = model->observe([this] { refresh(); }, Change::scan | Change::scanProgress | Change::explorer |
                                                            Change::cleaning | Change::backups);
    refresh();
}

ExplorerPage::~ExplorerPage() { model->unobserve(observation); }

std::string ExplorerPage::storedMode() {
    const auto stored = UserDefaults::value(std::string(ExplorerModes::settingKey));
    if (stored && stored->is_string()) return stored->get<std::string>();
    if (stored) return "";  // a value of another type names no mode
    return std::string(ExplorerModes::rawValue(ExplorerMode::voronoi));
}

void ExplorerPage::storeMode(const std::string& raw) { UserDefaults::set(std::string(ExplorerModes::settingKey), raw); }

QWidget* ExplorerPage::buildPlaceholder() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addStretch(1);
    column->addWidget(new SymbolView("square.grid.3x3.topleft.filled", Foreground::secondary(), 34), 0,
                      Qt::AlignHCenter);
    column->addWidget(
        textLabel(text(L("还没有扫描结果")), Typography::font(TextStyle::title2, QFont::Bold), Foreground::primary()),
        0, Qt::AlignHCenter);
    auto* start = new MonoButton(text(L("开始扫描")));
    connect(start, &QAbstractButton::clicked, this, [this] { model->rescan(); });
    column->addWidget(start, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return page;
}

QWidget* ExplorerPage::buildExplorer() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->setContentsMargins(0, 0, 14, 0);
    crumbs = new ExplorerBreadcrumb([this](const std::string& path) { open(path); });
    // A deep folder scrolls sideways, without scroll bars, and shows its end.
    crumbScroll = new QScrollArea;
    crumbScroll->setFrameShape(QFrame::NoFrame);
    crumbScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    crumbScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    crumbScroll->setWidgetResizable(true);
    crumbScroll->setWidget(crumbs);
    // The frames around the breadcrumb and the list only scroll what they
    // hold; the focus and a reader go to the breadcrumb and the list.
    crumbScroll->setFocusPolicy(Qt::NoFocus);
    crumbScroll->viewport()->setAutoFillBackground(false);
    crumbScroll->setFixedHeight(crumbs->sizeHint().height());
    top->addWidget(crumbScroll, 1);
    std::vector<MonoSegments::Option> options;
    for (ExplorerMode mode : ExplorerModes::all())
        options.push_back({text(std::string(ExplorerModes::rawValue(mode))), text(ExplorerModes::label(mode))});
    segments = new MonoSegments(options, text(currentMode()));
    connect(segments, &MonoSegments::selectionChanged, this, &ExplorerPage::selectMode);
    top->addWidget(segments, 0, Qt::AlignVCenter);
    column->addLayout(top);
    column->addWidget(new Divider(Qt::Horizontal));

    auto* main = new QHBoxLayout;
    main->setSpacing(0);
    mapBox = new QVBoxLayout;
    mapBox->setContentsMargins(mapPadding, mapPadding, mapPadding, mapPadding);
    main->addLayout(mapBox, 1);
    main->addWidget(new Divider(Qt::Vertical));

    auto* side = new QWidget;
    side->setFixedWidth(childListWidth);
    auto* sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(0, 0, 0, 0);
    sideColumn->setSpacing(0);
    auto* headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(14, 10, 14, 10);
    header = textLabel(QString(), Typography::font(TextStyle::callout, QFont::Bold), Foreground::primary());
    headerRow->addWidget(header, 1);
    headerRow->addWidget(new IconButton("folder", text(L("在文件管理器中显示")), [this] {
        if (const FileNode* node = model->explorerNode()) Desktop::reveal(node->path, Desktop::noticeOn(model));
    }));
    sideColumn->addLayout(headerRow);
    sideColumn->addWidget(new Divider(Qt::Horizontal));

    list = new ExplorerChildList;
    list->onActivate = [this](const NodeRef& child) { activate(child); };
    list->onMenu = [this](const NodeRef& child, const QPoint& at) { showMenu(child, at); };
    list->onBack = [this] { openParent(); };
    scroller = new QScrollArea;
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setWidgetResizable(true);
    scroller->setWidget(list);
    scroller->setFocusPolicy(Qt::NoFocus);
    // The keyboard's current row is scrolled into view, with the list's padding.
    connect(list, &ExplorerChildList::currentRowMoved, this, [this](const QRect& row) {
        scroller->ensureVisible(row.center().x(), row.center().y(), 0, row.height() / 2 + 6);
    });
    scroller->viewport()->setAutoFillBackground(false);
    attachOverlayIndicator(scroller);
    list->setAutoFillBackground(false);
    sideColumn->addWidget(scroller, 1);
    empty = textLabel(text(L("这里没有超过 1 MB 的项目")), Typography::font(TextStyle::body), Foreground::secondary());
    empty->setAlignment(Qt::AlignCenter);
    sideColumn->addWidget(empty, 1);
    main->addWidget(side);
    column->addLayout(main, 1);
    return page;
}

void ExplorerPage::showEvent(QShowEvent* event) {
    // The stored mode may have been changed elsewhere (the snapshot writes it).
    refresh();
    QWidget::showEvent(event);
}

void ExplorerPage::refresh() {
    const auto& scan = model->scan();
    if (!scan) {
        states->setCurrentWidget(model->isScanning() ? static_cast<QWidget*>(scanning) : placeholder);
        scanning->setProgress(model->scanProgress());
        return;
    }
    states->setCurrentWidget(explorer);
    const NodeRef folder = folderOf(scan, model->explorerNode());
    if (crumbs->crumbs().empty() || crumbs->crumbs().back().path != folder->path) {
        crumbs->setPath(scan->root.path, folder->path);
        crumbs->setMinimumWidth(crumbs->sizeHint().width());
        QTimer::singleShot(0, crumbScroll,
                           [bar = crumbScroll->horizontalScrollBar()] { bar->setValue(bar->maximum()); });
    }
    refreshMap(folder);
    const std::string key = folder->path + "|" + std::to_string(folder->size);
    if (scan == shownScan && key == shownKey) return;
    shownScan = scan;
    shownKey = key;
    header->setText(text(Explorer::header(*folder)));
    list->setFolder(folder);
    const bool none = list->rows().empty();
    scroller->setVisible(!none);
    empty->setVisible(none);
}

void ExplorerPage::refreshMap(const NodeRef& folder) {
    const std::string stored = currentMode();
    segments->setSelection(ExplorerModes::fromRaw(stored) ? text(stored) : QString());
    const std::string mode(ExplorerModes::rawValue(ExplorerModes::shown(stored)));
    if (map && mode == mapMode) {
        showOnMap(folder);
        return;
    }
    if (map) {
        mapBox->removeWidget(map);
        map->deleteLater();
    }
    MapKeyActions keys{[this](const NodeRef& opened) { open(opened->path); }, [this] { openParent(); },
                       [this](const NodeRef& item, const QPoint& at) { showMenu(item, at); }};
    const ExplorerMap made = makeExplorerMap(ExplorerModes::shown(stored), folder, std::move(keys));
    map = made.widget;
    showOnMap = made.show;
    mapMode = mode;
    mapBox->addWidget(map);
}

std::string ExplorerPage::currentMode() const { return unsavedMode.value_or(storedMode()); }

void ExplorerPage::selectMode(const QString& raw) {
    try {
        storeMode(raw.toStdString());
        unsavedMode.reset();
    } catch (const std::exception& error) {
        unsavedMode = raw.toStdString();
        model->notify(L("无法保存设置:%@", std::string(error.what())), true);
    }
    if (model->scan()) refreshMap(folderOf(model->scan(), model->explorerNode()));
}

void ExplorerPage::open(const std::string& path) { model->setExplorerPath(path); }

void ExplorerPage::openParent() {
    if (crumbs->canGoBack()) crumbs->activate(0);
}

void ExplorerPage::showMenu(const NodeRef& child, const QPoint& at) {
    // The cleaner's checks look at the trash folders of every mounted file
    // system, a sleeping disk or a lost network share among them: they run
    // away from the window, and the menu opens when they answer. One check
    // at a time, so a hung one holds one worker rather than piling up; of
    // the menus asked for meanwhile, the newest is checked after it.
    if (menuChecking) {
        menuWanted = MenuRequest{child, at};
        return;
    }
    menuChecking = true;
    Dispatcher& dispatcher = model->dispatcher();
    model->executor().submit(Priority::userInitiated, [&dispatcher, page = QPointer<ExplorerPage>(this), child, at] {
        MenuRefusals refusals = MenuRefusals::of(child->path);
        dispatcher.post([page, child, at, refusals = std::move(refusals)] {
            if (page) page->menuChecked(child, at, refusals);
        });
    });
}

void ExplorerPage::menuChecked(const NodeRef& child, const QPoint& at, const MenuRefusals& refusals) {
    menuChecking = false;
    if (auto wanted = std::exchange(menuWanted, std::nullopt)) return showMenu(wanted->child, wanted->at);
    QMenu* menu = makeMenu(child, refusals);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);
}

void ExplorerPage::activate(const NodeRef& child) {
    if (child->isDirectory)
        open(child->path);
    else
        Desktop::reveal(child->path, Desktop::noticeOn(model));
}

ExplorerActions ExplorerPage::actions() const {
    // Through a weak reference: a confirmation that lands after the model is gone does nothing.
    std::weak_ptr<AppModel> weak = model;
    return {[weak](const std::vector<std::string>& paths) {
                if (auto m = weak.lock()) m->trash(paths);
            },
            [weak](const std::vector<std::string>& paths, const std::string& key) {
                if (auto m = weak.lock()) m->evict(paths, key);
            },
            [weak](const std::string& path, const BackupDestination& destination) {
                if (auto m = weak.lock()) m->backup(path, destination);
            },
            [weak](const std::string& path, const BackupDestination& destination) {
                if (auto m = weak.lock()) m->offload(path, destination);
            }};
}

ExplorerPage::MenuRefusals ExplorerPage::MenuRefusals::of(const std::string& path) {
    return {Cleaner::refusal(path), Cleaner::refusalOfPlace(path)};
}

QMenu* ExplorerPage::makeMenu(const NodeRef& child, const MenuRefusals& refusals) {
    auto* menu = new QMenu(this);
    monoSurface(menu, Theme::raised);
    // A disabled entry says why in its tooltip.
    menu->setToolTipsVisible(true);
    const ExplorerMenuState state{Paths::home(), refusals.trash, model->busySuggestion().has_value(),
                                  model->availableDestinations(), refusals.archive};
    const bool inICloud = Explorer::isInICloud(child->path, state.home);
    using Kind = ExplorerMenuEntry::Kind;
    for (const ExplorerMenuEntry& entry : Explorer::menu(*child, state)) {
        if (entry.kind == Kind::divider) {
            menu->addSeparator();
            continue;
        }
        if (entry.kind == Kind::backupTo || entry.kind == Kind::offloadTo) {
            QMenu* sub = menu->addMenu(menuText(entry.title));
            monoSurface(sub, Theme::raised);
            sub->menuAction()->setEnabled(entry.enabled);
            sub->menuAction()->setToolTip(QString::fromStdString(entry.reason));
            for (const BackupDestination& destination : entry.destinations) {
                QAction* action = sub->addAction(menuText(destination.name));
                connect(action, &QAction::triggered, this, [this, child, destination, kind = entry.kind] {
                    const ExplorerActions hooks = actions();
                    if (kind == Kind::backupTo) {
                        if (hooks.backup) hooks.backup(child->path, destination);
                    } else if (present) {
                        present(Explorer::askOffload(*child, destination, hooks));
                    }
                });
            }
            continue;
        }
        QAction* action = menu->addAction(menuText(entry.title));
        action->setEnabled(entry.enabled);
        action->setToolTip(QString::fromStdString(entry.reason));
        connect(action, &QAction::triggered, this, [this, child, inICloud, kind = entry.kind] {
            switch (kind) {
            case Kind::open: open(child->path); break;
            case Kind::reveal: Desktop::reveal(child->path, Desktop::noticeOn(model)); break;
            case Kind::copyPath: Desktop::copy(child->path); break;
            case Kind::evict:
                if (present) present(Explorer::askEvict(*child, actions()));
                break;
            case Kind::trash:
                if (present) present(Explorer::askTrash(*child, inICloud, actions()));
                break;
            default: break;
            }
        });
    }
    return menu;
}
