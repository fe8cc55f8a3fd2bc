#include "ui/pages/CapacityBar.hpp"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

#include "text/Localization.hpp"
#include "ui/controls/Hatch.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double labelSize = 11.5;

QString freeLabelOf(const QString& free) { return QString::fromStdString(L("可用 %@", free.toStdString())); }
}  // namespace

void paintSegmentFill(QPainter& painter, const QRectF& rect, const UsageSegment& segment, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Shapes::continuousRect(rect, radius);
    if (!segment.hatched) {
        painter.fillPath(shape, qColor(segment.swatch));
    } else {
        painter.fillPath(shape, qColor(Theme::raised));
        painter.setClipPath(shape);
        painter.setPen(QPen(qColor(Theme::paper.rgb, 0.55), 1));
        painter.drawPath(Hatch::path(rect, 5));
    }
    painter.restore();
}

CapacityBar::CapacityBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

double CapacityBar::usedFraction() const {
    if (total <= 0) return 0;
    int64_t used = 0;
    for (const UsageSegment& segment : segments) used += segment.bytes;
    return std::clamp(double(used) / double(total), 0.0, 1.0);
}

QString CapacityBar::freeLabel() const { return freeLabelOf(freeText); }

void CapacityBar::setSegments(std::vector<UsageSegment> value, int64_t capacity, const QString& free) {
    if (value == segments && capacity == total && free == freeText) return;
    segments = std::move(value);
    total = capacity;
    freeText = free;
    underPointer = -1;
    update();
}

void CapacityBar::setHovered(const QString& id) {
    if (id == hovered) return;
    hovered = id;
    update();
}

CapacityBar::Geometry CapacityBar::geometry(const std::vector<UsageSegment>& segments, int64_t total, QSizeF size) {
    Geometry result;
    const std::vector<double> widths = UsageSegments::barWidths(segments, total, size.width(), gap);
    double x = 0;
    for (double w : widths) {
        result.segments.emplace_back(x, 0, w, size.height());
        x += w + gap;
    }
    const double free = UsageSegments::freeWidth(widths, size.width(), gap);
    if (free > 8) result.free = QRectF(x, 0, free, size.height());
    return result;
}

void CapacityBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Geometry shape = geometry(segments, total, size());
    const QFont font = Typography::font(labelSize, QFont::Bold);
    painter.setFont(font);
    for (size_t i = 0; i < segments.size(); ++i) {
        const UsageSegment& segment = segments[i];
        const QRectF& box = shape.segments[i];
        painter.setOpacity(hovered.isEmpty() || hovered.toStdString() == segment.id ? 1 : 0.35);
        paintSegmentFill(painter, box, segment, std::min(box.width() / 2, 11.0));
        if (!UsageSegments::showsLabel(segment, box.width())) continue;
        const QRectF room = box.adjusted(8, 0, -8, 0);
        const QString label = painter.fontMetrics().elidedText(QString::fromStdString(segment.label), Qt::ElideRight,
                                                               int(room.width()));
        painter.setPen(qColor(Theme::labelColor(segment.swatch)));
        Typography::drawLine(painter, room, label, Qt::AlignHCenter);
    }
    painter.setOpacity(1);
    if (!shape.free) return;
    const QRectF free = *shape.free;
    QPen dashed(qColor(Theme::paper.rgb, 0.35), 1);
    dashed.setDashPattern({4, 3});
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    const double radius = std::min(free.width() / 2, 11.0);
    painter.drawPath(Shapes::continuousRect(free.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
    if (!showsFreeText(free.width())) return;
    const QFont freeFont = Typography::font(labelSize, QFont::DemiBold);
    painter.setFont(freeFont);
    painter.setPen(Foreground::secondary());
    const QRectF room = free.adjusted(6, 0, -6, 0);
    Typography::drawLine(painter, room,
                         QFontMetrics(freeFont).elidedText(freeLabelOf(freeText), Qt::ElideRight, int(room.width())),
                         Qt::AlignHCenter);
}

int CapacityBar::segmentAt(const QPointF& position) const {
    const Geometry shape = geometry(segments, total, size());
    for (size_t i = 0; i < shape.segments.size(); ++i)
        if (shape.segments[i].contains(position)) return int(i);
    return -1;
}

void CapacityBar::pointAt(int index) {
    if (index == underPointer) return;
    // Leaving clears the hover only when it is still this segment's.
    if (underPointer >= 0 && underPointer < int(segments.size()) &&
        hovered.toStdString() == segments[underPointer].id && onHover)
        onHover({});
    underPointer = index;
    if (index >= 0 && onHover) onHover(QString::fromStdString(segments[index].id));
}

void CapacityBar::mouseMoveEvent(QMouseEvent* event) { pointAt(segmentAt(event->position())); }

void CapacityBar::leaveEvent(QEvent*) { pointAt(-1); }

bool CapacityBar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const Geometry shape = geometry(segments, total, size());
    QString tip;
    if (const int index = segmentAt(help->pos()); index >= 0) {
        const UsageSegment& segment = segments[index];
        tip = QString::fromStdString(segment.label + " · " + Fmt::bytes(segment.bytes));
    } else if (shape.free && shape.free->contains(help->pos())) {
        tip = freeLabelOf(freeText);
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(tip), this);
    return true;
}
