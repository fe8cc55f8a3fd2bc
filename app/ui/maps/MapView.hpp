// What the treemap and Voronoi views share: a black panel clipped to a
// rounded rectangle of radius 18, at least 320 × 300; the resting drawing
// kept as a pixmap and redrawn only when its layout key changes; hover
// layers and the pill cross-faded on top; and, in idle time after a new
// layout, each hover drawing once off screen, so that the first hover of a
// cell finds its glyphs already rasterised.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string>

#include "maps/MapItem.hpp"
#include "maps/MapText.hpp"
#include "ui/maps/MapFades.hpp"

class MapView : public QWidget {
    Q_OBJECT
public:
    /// Called with a folder to open.
    using OpenAction = std::function<void(const NodeRef& folder)>;

    MapView(NodeRef node, OpenAction onOpen, QWidget* parent = nullptr);

    /// Shows another folder; the view keeps its layout cache and hover state
    /// (the new folder's key makes it lay out again).
    void setNode(NodeRef node);
    const NodeRef& node() const { return folder; }

    /// How many times the resting pixmap was drawn: once per new layout key.
    int restingDraws() const { return restingCount; }
    /// The map's size as its layout sees it.
    Size mapSize() const { return {static_cast<double>(width()), static_cast<double>(height())}; }
    /// The opacity a hover layer has now (for checks; 0 when not shown).
    double layerOpacity(const std::string& id) const { return fades.opacity(id); }
    /// Whether every hover drawing of the layout shown was drawn off screen.
    bool hoversPrepared() const { return preparedKey == restingKey && preparedStates >= preparedCount; }

    /// The pointer moved to `point` (view coordinates) / left the view: what
    /// mouse moves and leaving call, public so checks can hover without events.
    virtual void pointerMoved(Point point) = 0;
    virtual void pointerLeft() = 0;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    /// The layout key of the folder at the view's current size; lays it out when it is new.
    virtual std::string prepareLayout() = 0;
    /// Paints every resting cell (the black panel and the clip are already set).
    virtual void paintResting(QPainter& painter) = 0;
    /// The folder changed: hover indices may no longer fit, which painters tolerate.
    virtual void folderChanged() {}

    /// What one hover shows: its layers, and the item the pill names.
    struct HoverDrawing {
        std::vector<MapFades::Layer> layers;
        std::optional<MapItem> pill;
    };
    /// The hover states worth drawing ahead (none unless a view names them)
    /// and the drawing of each.
    virtual size_t preparedHoverCount() { return 0; }
    virtual HoverDrawing preparedHover(size_t) { return {}; }

    /// Replaces the hover layers with `drawing`'s, its pill as the pill layer.
    void showLayers(HoverDrawing drawing, const MapMotion::Animation& motion);
    const TextMeasure& measure() const { return textMeasure; }
    void open(const NodeRef& folder) const;

    /// A single click at `point`, in the view's coordinates.
    virtual void tapped(Point point) = 0;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refreshResting();
    MapFades::Layer pillLayer(const MapItem& item);
    /// Draws the next hover state off screen; one per turn of the event loop.
    void prepareNextHover();

    NodeRef folder;
    OpenAction onOpen;
    TextMeasure textMeasure;
    MapFades fades;
    QPixmap resting;
    std::string restingKey;
    int restingCount = 0;
    std::string preparedKey;
    size_t preparedStates = 0;
    size_t preparedCount = 0;
    QImage scratch;
    QPointF pressedAt;
    bool pressed = false;
};
