#include "ui/maps/TerrainView.hpp"
#include "ui/controls/Motion.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <chrono>

#include "maps/LayoutCache.hpp"
#include "maps/MapPill.hpp"
#include "ui/maps/MapFades.hpp"
#include "ui/maps/MapPaint.hpp"
#include "ui/maps/TerrainPainting.hpp"

TerrainView::TerrainView(QWidget* parent)
    : QWidget(parent), clock([] { return std::chrono::system_clock::now(); }), textMeasure(MapPaint::measure()) {
    setMouseTracking(true);
    setMinimumSize(320, 300);
    // Ease-out as the cubic curve through (0.58, 1), over 0.14 seconds.
    QEasingCurve easeOut(QEasingCurve::BezierSpline);
    easeOut.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    fade.setEasingCurve(easeOut);
    fade.setDuration(140);
    fade.setStartValue(0.0);
    fade.setEndValue(1.0);
    lighting.setInterval(0);
    connect(&lighting, &QTimer::timeout, this, [this] {
        if (!lit.prepareNext()) lighting.stop();
    });
    connect(&fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress = value.toDouble();
        if (progress >= 1) fading.reset();
        update();
    });
}

void TerrainView::setNode(std::shared_ptr<const FileNode> shown) {
    folder = std::move(shown);
    update();
}

std::shared_ptr<const TerrainModel> TerrainView::model() {
    if (!folder) return nullptr;
    // Keyed by path and size only: the model does not depend on the view size.
    const std::string key = MapKeys::terrain(*folder);
    if (key != modelKey || !cachedModel) {
        cachedModel = std::make_shared<const TerrainModel>(folder, clock());
        modelKey = key;
        relight();
    }
    return cachedModel;
}

IsoProjection TerrainView::projection() {
    return IsoProjection::fit(*cachedModel, {double(width()), double(height())});
}

// The resting pixmap holds everything that does not change on hover,
// including the rounded frame, so a hover repaint is one unclipped blit plus
// the highlight and the pill.
const QPixmap& TerrainView::restingPixmap(const std::shared_ptr<const TerrainModel>& shown) {
    const qreal ratio = devicePixelRatioF();
    if (restingModel == shown && restingSize == size() && restingRatio == ratio) return resting;
    resting = QPixmap(size() * ratio);
    resting.setDevicePixelRatio(ratio);
    resting.fill(Qt::transparent);
    QPainter painter(&resting);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()), 18, 18);
    painter.fillPath(frame, QColor::fromRgbF(0.082f, 0.082f, 0.082f));
    painter.setClipPath(frame);
    if (shown) {
        const TerrainPicture picture = TerrainScene::picture(*shown, {double(width()), double(height())}, textMeasure);
        TerrainPainting::drawPicture(painter, picture);
    }
    TerrainPainting::drawLegend(painter);
    painter.end();
    restingModel = shown;
    restingSize = size();
    restingRatio = ratio;
    lit.reset(resting, shown, size(), shown ? projection() : IsoProjection{}, textMeasure);
    lighting.start();
    return resting;
}

void TerrainView::paintEvent(QPaintEvent*) {
    const std::shared_ptr<const TerrainModel> shown = model();
    QPainter painter(this);
    painter.drawPixmap(0, 0, restingPixmap(shown));
    painter.setRenderHint(QPainter::Antialiasing);
    if (fading && fading->model && progress < 1) {
        painter.setOpacity(1 - progress);
        drawHover(painter, *fading->model, fading->region, fading->highlight);
    }
    if (shown && hovered) {
        painter.setOpacity(progress);
        drawHover(painter, *shown, *hovered, highlighted);
    }
}

// The highlight and the pill ignore an index outside the model's regions: a
// new model keeps the old hover index.
void TerrainView::drawHover(QPainter& painter, const TerrainModel& shown, int region,
                            const std::optional<TerrainHighlight>& highlight) {
    if (region < 0 || size_t(region) >= shown.regions.size()) return;
    const TerrainLitRegions::Lit* prepared = lit.find(&shown, region, size(), devicePixelRatioF());
    if (highlight && prepared && prepared->patch) {
        painter.drawPixmap(prepared->at, *prepared->patch);
        TerrainPainting::drawHighlightPlate(painter, *highlight);
    } else if (highlight) {
        TerrainPainting::drawHighlight(painter, *highlight);
    }
    const MapItem& item = shown.regions[size_t(region)].item;
    const MapPillContent content = MapPill::content(item, folder->size,
                                                    TerrainScene::idleText(item.node.get(), clock()));
    MapPaint::pill(painter, MapPill::layout(content, {double(width()), double(height())}, textMeasure));
}

void TerrainView::hoverAt(QPointF point) {
    const std::shared_ptr<const TerrainModel> shown = model();
    hoverRegion(shown ? TerrainScene::regionAt(*shown, projection(), {point.x(), point.y()}) : std::nullopt);
}

void TerrainView::hoverRegion(std::optional<int> region) {
    if (region == hovered) return;
    fading.reset();
    if (hovered) fading = Fading{cachedModel, *hovered, highlighted};
    hovered = region;
    relight();
    fade.stop();
    const bool fades = animated && Motion::enabled();
    progress = fades ? 0 : 1;
    if (fades) fade.start();
    update();
}

void TerrainView::relight() {
    highlighted.reset();
    if (!hovered || !cachedModel) return;
    if (const auto* prepared = lit.find(cachedModel.get(), *hovered, size(), devicePixelRatioF()))
        highlighted = prepared->highlight;
    else
        highlighted = TerrainScene::highlight(*cachedModel, projection(), *hovered, textMeasure,
                                              Rect(0, 0, double(width()), double(height())));
}

void TerrainView::resizeEvent(QResizeEvent*) {
    fading.reset();  // drawn for the old size
    relight();
}

void TerrainView::mouseMoveEvent(QMouseEvent* event) { hoverAt(event->position()); }

void TerrainView::leaveEvent(QEvent*) { hoverRegion(std::nullopt); }

void TerrainView::mousePressEvent(QMouseEvent* event) { pressedAt = event->position(); }

void TerrainView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || (event->position() - pressedAt).manhattanLength() > 4) return;
    const std::shared_ptr<const TerrainModel> shown = model();
    if (!shown || !onOpen) return;
    if (const FileNode* target = TerrainScene::openTarget(*shown, projection(), {pressedAt.x(), pressedAt.y()}))
        onOpen(*target);
}
