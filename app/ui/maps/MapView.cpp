#include "ui/maps/MapView.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "maps/MapPill.hpp"
#include "ui/maps/MapPaint.hpp"

namespace {
// A press and release farther apart than this are a drag, not a tap.
constexpr double tapSlop = 6;
}  // namespace

MapView::MapView(NodeRef node, OpenAction onOpen, QWidget* parent)
    : QWidget(parent),
      folder(std::move(node)),
      onOpen(std::move(onOpen)),
      textMeasure(MapPaint::measure()),
      fades([this] { update(); }) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMinimumSize(MapPaint::minimumWidth, MapPaint::minimumHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void MapView::setNode(NodeRef node) {
    if (node == folder) return;  // the same node of the same tree: nothing to lay out or fade
    folder = std::move(node);
    folderChanged();
    update();
}

QSize MapView::minimumSizeHint() const { return {MapPaint::minimumWidth, MapPaint::minimumHeight}; }
QSize MapView::sizeHint() const { return {640, 520}; }

MapFades::Layer MapView::pillLayer(const MapItem& item) {
    const MapPillContent content = MapPill::content(item, folder->size);
    return {"pill", [this, content](QPainter& painter) {
                MapPaint::pill(painter, MapPill::layout(content, mapSize(), textMeasure));
            }};
}

void MapView::showLayers(HoverDrawing drawing, const MapMotion::Animation& motion) {
    if (drawing.pill && folder) drawing.layers.push_back(pillLayer(*drawing.pill));
    fades.show(std::move(drawing.layers), motion);
}

void MapView::prepareNextHover() {
    if (preparedKey != restingKey || preparedStates >= preparedCount || !folder) {
        scratch = QImage();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    if (scratch.size() != size() * ratio) {
        scratch = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        scratch.setDevicePixelRatio(ratio);
    }
    {
        QPainter painter(&scratch);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        HoverDrawing drawing = preparedHover(preparedStates++);
        if (drawing.pill) drawing.layers.push_back(pillLayer(*drawing.pill));
        for (const MapFades::Layer& layer : drawing.layers) layer.paint(painter);
    }
    QTimer::singleShot(0, this, [this] { prepareNextHover(); });
}

void MapView::open(const NodeRef& target) const {
    if (target && onOpen) onOpen(target);
}

void MapView::refreshResting() {
    const std::string key = prepareLayout();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (key == restingKey && resting.size() == pixels) return;
    restingKey = key;
    resting = QPixmap(pixels);
    resting.setDevicePixelRatio(ratio);
    resting.fill(Qt::transparent);
    QPainter painter(&resting);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QPainterPath frame = MapPaint::frame(QSizeF(size()));
    painter.fillPath(frame, Qt::black);
    painter.setClipPath(frame);
    paintResting(painter);
    ++restingCount;
    preparedKey = key;
    preparedStates = 0;
    preparedCount = preparedHoverCount();
    QTimer::singleShot(0, this, [this] { prepareNextHover(); });
}

void MapView::paintEvent(QPaintEvent*) {
    refreshResting();
    QPainter painter(this);
    painter.drawPixmap(0, 0, resting);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // No clip to the frame here: every hover layer and the pill lie well
    // inside its rounded corners, and a clip would make each layer's own clip
    // an intersection of curved paths on every frame.
    fades.paint(painter);
}

void MapView::mousePressEvent(QMouseEvent* event) {
    pressed = event->button() == Qt::LeftButton;
    pressedAt = event->position();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    const bool tap = pressed && event->button() == Qt::LeftButton &&
                     (event->position() - pressedAt).manhattanLength() <= tapSlop && rect().contains(event->pos());
    pressed = false;
    if (tap) tapped({event->position().x(), event->position().y()});
}

void MapView::mouseMoveEvent(QMouseEvent* event) { pointerMoved({event->position().x(), event->position().y()}); }

void MapView::leaveEvent(QEvent*) { pointerLeft(); }
