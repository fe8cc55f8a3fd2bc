#include "ui/maps/MapPaint.hpp"
#include "ui/controls/TextLabel.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <map>
#include <memory>
#include <tuple>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
QFont::Weight qtWeight(MapFont::Weight weight) {
    switch (weight) {
    case MapFont::Weight::medium: return QFont::Medium;
    case MapFont::Weight::semibold: return QFont::DemiBold;
    case MapFont::Weight::bold: return QFont::Bold;
    case MapFont::Weight::regular: break;
    }
    return QFont::Normal;
}

using StyleKey = std::tuple<double, int, bool>;
StyleKey styleKey(const MapFont& style) { return {style.size, static_cast<int>(style.weight), style.monospacedDigits}; }

QPointF qPoint(Point point) { return {point.x, point.y}; }
QRectF qRect(const Rect& rect) { return {rect.minX(), rect.minY(), rect.width(), rect.height()}; }

void fillAndStroke(QPainter& painter, const QPainterPath& path, const std::optional<Swatch>& fill,
                   const std::optional<Swatch>& stroke, double width) {
    if (fill) painter.fillPath(path, qColor(*fill));
    if (stroke && width > 0) {
        QPen pen(qColor(*stroke), width);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(path, pen);
    }
}
}  // namespace

namespace MapPaint {
QFont font(const MapFont& style) {
    static std::map<StyleKey, QFont> fonts;
    const StyleKey key = styleKey(style);
    auto found = fonts.find(key);
    if (found != fonts.end()) return found->second;
    QFont resolved = Typography::font(style.size, qtWeight(style.weight));
    if (style.monospacedDigits) resolved = Typography::monospacedDigits(resolved);
    return fonts.emplace(key, resolved).first->second;
}

TextMeasure measure() {
    auto metrics = std::make_shared<std::map<StyleKey, QFontMetricsF>>();
    return [metrics](const std::string& text, const MapFont& style) {
        const StyleKey key = styleKey(style);
        auto found = metrics->find(key);
        if (found == metrics->end()) found = metrics->emplace(key, QFontMetricsF(font(style))).first;
        const QFontMetricsF& fm = found->second;
        return TextBox{fm.horizontalAdvance(shownText(text)), fm.ascent(), fm.descent()};
    };
}

QPainterPath frame(const QSizeF& size) { return Shapes::continuousRect(QRectF(QPointF(0, 0), size), frameRadius); }

QPainterPath rounded(const PointList& polygon, double radius) {
    return Shapes::path(VoronoiMap::roundedPath(polygon, radius));
}

void texts(QPainter& painter, const std::vector<MapText>& runs) {
    for (const MapText& run : runs) {
        painter.setFont(font(run.style));
        painter.setPen(qColor(run.color));
        painter.drawText(qPoint(run.baseline), shownText(run.text));
    }
}

void voronoi(QPainter& painter, const VoronoiDrawing& drawing) {
    painter.save();
    if (!drawing.clip.empty()) painter.setClipPath(rounded(drawing.clip, drawing.clipRadius), Qt::IntersectClip);
    for (const VoronoiShape& shape : drawing.shapes) {
        fillAndStroke(painter, rounded(shape.polygon, shape.radius), shape.fill, shape.stroke, shape.strokeWidth);
        texts(painter, shape.label);
    }
    painter.restore();
}

void treemap(QPainter& painter, const TreemapDrawing& drawing) {
    const QPainterPath shape = Shapes::continuousRect(qRect(drawing.rect), drawing.radius);
    fillAndStroke(painter, shape, drawing.fill, drawing.outline, drawing.outlineWidth);
    if (drawing.label.empty()) return;
    painter.save();
    painter.setClipRect(qRect(drawing.labelClip), Qt::IntersectClip);
    texts(painter, drawing.label);
    painter.restore();
}

void pill(QPainter& painter, const MapPillLayout& layout) {
    painter.fillPath(Shapes::capsule(qRect(layout.capsule)), qColor(layout.fill));
    QPen border(qColor(layout.borderColor), layout.borderWidth);
    painter.strokePath(Shapes::capsule(qRect(layout.border)), border);
    Symbols::draw(painter, qRect(layout.symbolBox), layout.symbol, qColor(layout.symbolColor), MapPill::callout.size);
    texts(painter, layout.texts);
}
}  // namespace MapPaint
