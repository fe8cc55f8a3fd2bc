#include "ui/pages/ExplorerChildList.hpp"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "Support.hpp"
#include "text/Localization.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/maps/MapKeyboard.hpp"
#include "ui/pages/ChildListModel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int listPadding = 6;
constexpr double rowPaddingX = 9;
constexpr double rowPaddingY = 7;
constexpr double rowSpacing = 9;
constexpr double iconWidth = 18;
constexpr double lineGap = 5;
constexpr double barHeight = 3;
constexpr double hoverRadius = 9;
constexpr double minGap = 6;

QFont nameFont() { return Typography::font(TextStyle::body, QFont::Medium); }
QFont sizeFont() { return Typography::monospacedDigits(Typography::font(TextStyle::callout)); }

/// Paints one row as designed: the hover plate, the icon, the name and size
/// on one line and the share bar under them; the keyboard's current row
/// also gets the focus ring while the list shows its keyboard focus.
class ChildRowDelegate : public QStyledItemDelegate {
public:
    explicit ChildRowDelegate(ExplorerChildList* list) : QStyledItemDelegate(list), list(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {list->viewport()->width(), int(ExplorerChildList::rowHeight())};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const ChildRow* row = list->rowModel()->row(index);
        if (!row) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::TextAntialiasing);
        const QRectF rect(option.rect.left(), option.rect.top(), list->viewport()->width(),
                          ExplorerChildList::rowHeight());
        const bool hovering = option.state & QStyle::State_MouseOver;
        const bool keyboardRow = index == list->currentIndex() && FocusRing::isShownOn(list);
        paintRow(*painter, *row, rect, hovering || keyboardRow);
        if (keyboardRow) FocusRing::paint(*painter, rect.adjusted(2, 2, -2, -2), hoverRadius - 2);
        painter->restore();
    }

private:
    static void paintRow(QPainter& painter, const ChildRow& row, const QRectF& rect, bool hovering) {
        if (hovering) Shapes::fillRounded(painter, rect, hoverRadius, qColor(Theme::paper.rgb, 0.08), Qt::transparent);
        const QRectF inner = rect.adjusted(rowPaddingX, rowPaddingY, -rowPaddingX, -rowPaddingY);
        const bool folder = row.node->isDirectory;
        Symbols::draw(painter, QRectF(inner.left(), inner.top(), iconWidth, inner.height()),
                      folder ? "folder.fill" : "doc", folder ? qColor(Theme::paper) : Foreground::secondary(),
                      Typography::size(TextStyle::body));

        const double left = inner.left() + iconWidth + rowSpacing;
        const double line = Typography::lineHeight(nameFont());
        const QRectF lineBox(left, inner.top(), inner.right() - left, line);
        const QString size = QString::fromStdString(Fmt::bytes(row.node->size));
        painter.setFont(sizeFont());
        painter.setPen(Foreground::secondary());
        const double sizeWidth = Typography::width(sizeFont(), size);
        Typography::drawLine(painter, lineBox, size, Qt::AlignRight);
        const double nameRoom = std::max(0.0, lineBox.width() - sizeWidth - minGap);
        painter.setFont(nameFont());
        painter.setPen(Foreground::primary());
        const QString name = QFontMetricsF(nameFont()).elidedText(shownText(row.node->name), Qt::ElideMiddle, nameRoom);
        Typography::drawLine(painter, QRectF(left, lineBox.top(), nameRoom, line), name);

        const QRectF bar(left, lineBox.bottom() + lineGap, lineBox.width(), barHeight);
        const Swatch tint = row.tint.value_or(MapItem::swatch(static_cast<int>(Theme::data().size())));
        painter.setPen(Qt::NoPen);
        Shapes::fillCapsule(painter, bar, qColor(Theme::paper.rgb, 0.16), Qt::transparent);
        const double fill = MonoBar::fillWidth(row.fraction, bar.width(), barHeight);
        Shapes::fillCapsule(painter, QRectF(bar.left(), bar.top(), fill, barHeight), qColor(tint), Qt::transparent);
    }

    ExplorerChildList* list;
};
}  // namespace

ExplorerChildList::ExplorerChildList(QWidget* parent) : QListView(parent), items(new ChildListModel(this)) {
    setModel(items);
    setItemDelegate(new ChildRowDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The page's scroll area scrolls the list, which is always as tall as its rows.
    setViewportMargins(listPadding, listPadding, listPadding, listPadding);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::setDrawnByWidget(this);
    setToolTip(shownText(L("方向键选择,回车打开;Backspace 或 Alt+↑ 回到上一级;菜单键或 Shift+F10 显示这一项的操作。")));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(this, &QAbstractItemView::activated, this, &ExplorerChildList::activateIndex);
}

void ExplorerChildList::setFolder(const NodeRef& folder) {
    const std::string path = folder ? folder->path : std::string();
    const int kept = path == shownPath ? currentIndex().row() : 0;
    shownPath = path;
    items->setRows(Explorer::rows(folder));
    setAccessibleName(folder ? QString::fromStdString(folder->name) : QString());
    setFixedHeight(static_cast<int>(std::ceil(2 * listPadding + rowHeight() * static_cast<double>(rows().size()))));
    // A folder opened from the keyboard keeps the keyboard on its first row;
    // the same folder changed (a row trashed) on the row in the same place.
    if (hasFocus() && !rows().empty()) setCurrentIndex(items->index(std::clamp(kept, 0, int(rows().size()) - 1)));
}

const std::vector<ChildRow>& ExplorerChildList::rows() const { return items->rows(); }

double ExplorerChildList::rowHeight() {
    return 2 * rowPaddingY + Typography::lineHeight(nameFont()) + lineGap + barHeight;
}

QRectF ExplorerChildList::rowRect(size_t index, double width) {
    return {double(listPadding), listPadding + rowHeight() * static_cast<double>(index), width - 2 * listPadding,
            rowHeight()};
}

QSize ExplorerChildList::sizeHint() const { return {350, height()}; }

void ExplorerChildList::activateIndex(const QModelIndex& index) {
    const ChildRow* row = items->row(index);
    if (!row || !onActivate) return;
    // A copy: opening a folder replaces the rows while the callback runs.
    const NodeRef child = row->node;
    onActivate(child);
}

void ExplorerChildList::keyPressEvent(QKeyEvent* event) {
    if (MapKeyboard::isBackKey(*event)) {
        if (onBack) onBack();
        return;
    }
    if (MapKeyboard::isMenuKey(*event)) {
        if (!currentIndex().isValid() && items->rowCount() > 0) setCurrentIndex(items->index(0));
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menu);
        return;
    }
    // Without a current row, the first key that moves starts at the first row.
    const bool moves = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (moves && !currentIndex().isValid() && items->rowCount() > 0) {
        setCurrentIndex(items->index(0));
        return;
    }
    QListView::keyPressEvent(event);
}

bool ExplorerChildList::viewportEvent(QEvent* event) {
    // The rows have no tooltips of their own: the list's, naming its keys, shows over them.
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTip(), viewport());
        return true;
    }
    return QListView::viewportEvent(event);
}

void ExplorerChildList::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard (the menu key) the menu belongs to the current row.
    const bool fromKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    // A pointer's menu arrives through the viewport, in its coordinates.
    const QModelIndex index = fromKeyboard ? currentIndex() : indexAt(event->pos());
    const ChildRow* row = items->row(index);
    if (!row || !onMenu) return;
    const QPoint at = fromKeyboard ? viewport()->mapToGlobal(visualRect(index).center()) : event->globalPos();
    const NodeRef child = row->node;
    onMenu(child, at);
}

void ExplorerChildList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (current.isValid()) {
        const QRect row = visualRect(current);
        Q_EMIT currentRowMoved(QRect(viewport()->mapTo(this, row.topLeft()), row.size()));
    }
}
