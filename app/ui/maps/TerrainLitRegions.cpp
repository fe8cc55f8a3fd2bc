#include "ui/maps/TerrainLitRegions.hpp"

#include <QPainter>
#include <algorithm>

#include "ui/maps/TerrainPainting.hpp"

namespace {
// Round caps of the 1.5-point lines and antialiasing reach this far past a
// line's end points.
constexpr qreal lineReach = 2;

QRect deviceArea(const std::vector<TerrainSegment>& lines, qreal ratio, const QRect& bounds) {
    if (lines.empty()) return {};
    double left = lines[0].a.x, right = left, top = lines[0].a.y, bottom = top;
    for (const TerrainSegment& line : lines)
        for (const Point& point : {line.a, line.b}) {
            left = std::min(left, point.x), right = std::max(right, point.x);
            top = std::min(top, point.y), bottom = std::max(bottom, point.y);
        }
    const QRectF logical =
        QRectF(QPointF(left, top), QPointF(right, bottom)).adjusted(-lineReach, -lineReach, lineReach, lineReach);
    const QRectF device(logical.topLeft() * ratio, logical.size() * ratio);
    return device.toAlignedRect().adjusted(-1, -1, 1, 1) & bounds;
}

bool opaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return true;
}
}  // namespace

void TerrainLitRegions::reset(const QPixmap& resting, std::shared_ptr<const TerrainModel> shown, QSize viewSize,
                              const IsoProjection& seenThrough, const TextMeasure& textMeasure) {
    model = std::move(shown);
    size = viewSize;
    ratio = resting.devicePixelRatio();
    projection = seenThrough;
    measure = &textMeasure;
    scratch = model ? resting.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) : QImage();
    lit.assign(model ? model->regions.size() : 0, std::nullopt);
    next = 0;
}

bool TerrainLitRegions::prepareNext() {
    if (complete() || !model) {
        scratch = QImage();
        return false;
    }
    const int region = int(next++);
    std::optional<TerrainHighlight> highlight = TerrainScene::highlight(
        *model, projection, region, *measure, Rect(0, 0, double(size.width()), double(size.height())));
    if (!highlight) return prepareNext();
    Lit made{std::move(*highlight), std::nullopt, {}};
    const QRect area = deviceArea(made.highlight.lines, ratio, scratch.rect());
    if (!area.isEmpty()) {
        const QImage before = scratch.copy(area);
        if (opaque(before)) {
            {
                QPainter painter(&scratch);
                painter.setRenderHint(QPainter::Antialiasing);
                TerrainPainting::drawHighlightLines(painter, made.highlight);
            }
            QPixmap patch = QPixmap::fromImage(scratch.copy(area));
            patch.setDevicePixelRatio(ratio);
            made.patch = std::move(patch);
            made.at = QPointF(area.topLeft()) / ratio;
            QPainter restore(&scratch);
            restore.setCompositionMode(QPainter::CompositionMode_Source);
            restore.drawImage(QPointF(area.topLeft()) / ratio, before);
        }
    }
    lit[size_t(region)] = std::move(made);
    if (complete()) scratch = QImage();
    return !complete();
}

const TerrainLitRegions::Lit* TerrainLitRegions::find(const TerrainModel* shown, int region, QSize viewSize,
                                                      qreal viewRatio) const {
    if (!model || shown != model.get() || viewSize != size || viewRatio != ratio) return nullptr;
    if (region < 0 || size_t(region) >= lit.size() || !lit[size_t(region)]) return nullptr;
    return &*lit[size_t(region)];
}
