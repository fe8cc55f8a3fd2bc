// The disk card's bar: the used space as coloured segments (the system's
// share hatched), then the free space as a dashed outline. Hovering a segment
// dims the others here and in the legend.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "pages/UsageSegments.hpp"

class QPainter;

/// Draws a segment's fill: its colour, or for a hatched one the raised
/// surface with 45-degree lines 5 apart, all in a rounded rectangle.
void paintSegmentFill(QPainter& painter, const QRectF& rect, const UsageSegment& segment, double radius);

class CapacityBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double gap = 3;
    static constexpr int barHeight = 46;

    explicit CapacityBar(QWidget* parent = nullptr);

    /// `total` is the volume's capacity, `free` its available text.
    void setSegments(std::vector<UsageSegment> segments, int64_t total, const QString& free);
    /// The used share of the capacity, 0 to 1 (0 without a capacity).
    double usedFraction() const;
    /// The free area's text as drawn ("可用 %@").
    QString freeLabel() const;
    /// The id of the segment hovered here or in the legend; empty for none.
    void setHovered(const QString& id);
    /// Called with the new hovered id (empty for none) when the pointer moves over the bar.
    std::function<void(const QString&)> onHover;

    /// Where everything goes in a bar of `size`: one rectangle per segment
    /// from the leading edge, and the free area when more than 8 points remain.
    struct Geometry {
        std::vector<QRectF> segments;
        std::optional<QRectF> free;
    };
    static Geometry geometry(const std::vector<UsageSegment>& segments, int64_t total, QSizeF size);
    /// The free area's text, "可用 %@", shown only when the area is wider than 96 points.
    static bool showsFreeText(double freeWidth) { return freeWidth > 96; }

    QSize sizeHint() const override { return {400, barHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    /// The segment under `position`, or -1.
    int segmentAt(const QPointF& position) const;
    void pointAt(int index);

    std::vector<UsageSegment> segments;
    int64_t total = 0;
    QString freeText;
    QString hovered;
    int underPointer = -1;
};
