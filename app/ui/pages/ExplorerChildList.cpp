#include "ui/pages/ExplorerChildList.hpp"
#include "ui/controls/TextLabel.hpp"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "Support.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double listPadding = 6;
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
}  // namespace

ExplorerChildList::ExplorerChildList(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ExplorerChildList::setFolder(const NodeRef& folder) {
    shown = Explorer::rows(folder);
    hovered.reset();
    setFixedHeight(static_cast<int>(std::ceil(2 * listPadding + rowHeight() * static_cast<double>(shown.size()))));
    update();
}

double ExplorerChildList::rowHeight() {
    return 2 * rowPaddingY + Typography::lineHeight(nameFont()) + lineGap + barHeight;
}

QRectF ExplorerChildList::rowRect(size_t index, double width) {
    return {listPadding, listPadding + rowHeight() * static_cast<double>(index), width - 2 * listPadding, rowHeight()};
}

std::optional<size_t> ExplorerChildList::rowAt(const QPointF& point) const {
    if (point.x() < listPadding || point.x() >= width() - listPadding || point.y() < listPadding) return std::nullopt;
    const auto index = static_cast<size_t>((point.y() - listPadding) / rowHeight());
    if (index >= shown.size()) return std::nullopt;
    return index;
}

QSize ExplorerChildList::sizeHint() const { return {350, height()}; }

void ExplorerChildList::paintRow(QPainter& painter, const ChildRow& row, const QRectF& rect, bool hovering) const {
    if (hovering) Shapes::fillRounded(painter, rect, hoverRadius, qColor(Theme::paper.rgb, 0.08), Qt::transparent);
    const QRectF inner = rect.adjusted(rowPaddingX, rowPaddingY, -rowPaddingX, -rowPaddingY);
    const bool folder = row.node->isDirectory;
    Symbols::draw(painter, QRectF(inner.left(), inner.top(), iconWidth, inner.height()), folder ? "folder.fill" : "doc",
                  folder ? qColor(Theme::paper) : Foreground::secondary(), Typography::size(TextStyle::body));

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
    const QString name = QFontMetricsF(nameFont()).elidedText(shownText(row.node->name), Qt::ElideMiddle,
                                                              nameRoom);
    Typography::drawLine(painter, QRectF(left, lineBox.top(), nameRoom, line), name);

    const QRectF bar(left, lineBox.bottom() + lineGap, lineBox.width(), barHeight);
    const Swatch tint = row.tint.value_or(MapItem::swatch(static_cast<int>(Theme::data().size())));
    painter.setPen(Qt::NoPen);
    Shapes::fillCapsule(painter, bar, qColor(Theme::paper.rgb, 0.16), Qt::transparent);
    const double fill = MonoBar::fillWidth(row.fraction, bar.width(), barHeight);
    Shapes::fillCapsule(painter, QRectF(bar.left(), bar.top(), fill, barHeight), qColor(tint), Qt::transparent);
}

void ExplorerChildList::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF visible(event->rect());
    for (size_t i = 0; i < shown.size(); ++i) {
        const QRectF rect = rowRect(i, width());
        if (rect.bottom() < visible.top() || rect.top() > visible.bottom()) continue;
        paintRow(painter, shown[i], rect, hovered == i);
    }
}

void ExplorerChildList::mouseMoveEvent(QMouseEvent* event) {
    const auto row = rowAt(event->position());
    if (row == hovered) return;
    hovered = row;
    update();
}

void ExplorerChildList::leaveEvent(QEvent*) {
    if (!hovered) return;
    hovered.reset();
    update();
}

void ExplorerChildList::mouseDoubleClickEvent(QMouseEvent* event) {
    const auto row = rowAt(event->position());
    if (!row || event->button() != Qt::LeftButton || !onActivate) return;
    // A copy: opening a folder replaces the rows while the callback runs.
    const NodeRef child = shown[*row].node;
    onActivate(child);
}

void ExplorerChildList::contextMenuEvent(QContextMenuEvent* event) {
    const auto row = rowAt(QPointF(event->pos()));
    if (!row || !onMenu) return;
    const NodeRef child = shown[*row].node;
    onMenu(child, event->globalPos());
}
