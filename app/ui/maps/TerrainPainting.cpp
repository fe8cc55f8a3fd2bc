#include "ui/theme/Typography.hpp"
#include "ui/maps/TerrainPainting.hpp"

#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>
#include <algorithm>

#include "Localization.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {

// Design sizes are points of one pixel at scale 1; Qt takes whole pixels
// only, so fractional sizes go through the point size at the given dpi.
QFont designFont(qreal pixels, QFont::Weight weight, qreal dpi) {
    QFont font(Typography::family());
    font.setPointSizeF(pixels * 72.0 / dpi);
    font.setWeight(weight);
    return font;
}

QColor grey(double white, double opacity = 1) { return QColor::fromRgbF(float(white), float(white), float(white), float(opacity)); }
QColor white(double opacity) { return grey(1, opacity); }

QPointF qt(Point point) { return {point.x, point.y}; }
QRectF qt(const Rect& rect) { return {rect.minX(), rect.minY(), rect.width(), rect.height()}; }

QPolygonF polygon(const PointList& points) {
    QPolygonF result;
    for (const Point& point : points) result << qt(point);
    return result;
}

QPainterPath closedPath(const std::vector<PointList>& polygons) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const PointList& points : polygons) path.addPolygon(polygon(points)), path.closeSubpath();
    return path;
}

QPainterPath segmentPath(const std::vector<TerrainSegment>& segments) {
    QPainterPath path;
    for (const TerrainSegment& segment : segments) path.moveTo(qt(segment.a)), path.lineTo(qt(segment.b));
    return path;
}

QPen linePen(const QColor& color, qreal width, Qt::PenCapStyle cap = Qt::FlatCap) {
    QPen pen(color, width, Qt::SolidLine, cap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

void drawBlock(QPainter& painter, const TerrainBlock& block) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(grey(0.045));
    painter.drawPolygon(polygon(block.leftFace));
    painter.setBrush(grey(0.06));
    painter.drawPolygon(polygon(block.rightFace));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(linePen(white(0.17), 0.6));
    for (const PointList& stratum : block.strata) painter.drawPolyline(polygon(stratum));
    painter.setPen(linePen(white(0.6), 0.8));
    painter.drawPolyline(polygon(block.outline));
    painter.drawLine(qt(block.frontEdge.a), qt(block.frontEdge.b));
    painter.setBrush(grey(0.04));
    painter.drawPolygon(polygon(block.sea));
}

// The cliff side: the terrace shape filled once per drop in one opaque grey.
// Rasterising a long outline eight times per level is most of the resting
// paint, so the shape is rasterised once into a layer that is then copied
// onto itself at doubling offsets: n copies cost about log2(n) blits.
void drawCliff(QPainter& painter, const QPainterPath& shape, const std::vector<double>& drops) {
    if (drops.empty() || shape.isEmpty()) return;
    const double lowest = drops.back(), step = drops.size() > 1 ? drops[0] - drops[1] : 0;
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QRectF box = shape.boundingRect().adjusted(-1, -1, 1, 1);
    const QSizeF logical(box.width(), box.height() + drops.front() - lowest);
    QImage layer((logical * ratio).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    QPainter onLayer(&layer);
    onLayer.setRenderHint(QPainter::Antialiasing);
    onLayer.fillPath(shape.translated(-box.left(), -box.top()), grey(0.05));
    // Copies 0 ... have − 1 together with the same moved by `more` steps cover 0 ... have + more − 1.
    for (size_t have = 1; have < drops.size();) {
        const size_t more = std::min(have, drops.size() - have);
        const QImage copies = layer.copy();
        onLayer.drawImage(QPointF(0, double(more) * step), copies);
        have += more;
    }
    onLayer.end();
    painter.drawImage(QPointF(box.left(), box.top() + lowest), layer);
}

void drawTerrace(QPainter& painter, const TerrainTerrace& terrace) {
    const QPainterPath shape = closedPath(terrace.shape);
    drawCliff(painter, shape, terrace.cliffDrops);
    painter.fillPath(shape, grey(terrace.grey));
    for (const TerrainContour& contour : terrace.contours)
        painter.strokePath(segmentPath(contour.segments), linePen(qColor(contour.color), 0.9, Qt::RoundCap));
}

void drawTrees(QPainter& painter, const std::vector<TerrainTreeGlyph>& trees) {
    for (const TerrainTreeGlyph& tree : trees) {
        QPainterPath path = closedPath(tree.crowns);
        path.addRect(qt(tree.trunk));
        painter.fillPath(path, white(0.92));
    }
}

void drawText(QPainter& painter, const std::string& text, QPointF topCentre, const QFont& font, const QColor& color) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(topCentre.x() - 200, topCentre.y(), 400, 40), Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromStdString(text));
}

void drawLabel(QPainter& painter, const TerrainLabel& label, qreal dpi) {
    const QPointF anchor = qt(label.anchor);
    painter.setPen(linePen(white(0.75), 0.8));
    painter.drawLine(anchor, QPointF(anchor.x(), label.box.maxY() + 2));
    painter.setPen(Qt::NoPen);
    painter.setBrush(qColor(label.dot));
    painter.drawEllipse(anchor, 2.2, 2.2);
    drawText(painter, label.name, {label.box.midX(), label.box.minY()}, TerrainPainting::font(TerrainFont::name, dpi),
             white(1));
    drawText(painter, label.size, {label.box.midX(), label.box.minY() + label.nameHeight + 1},
             TerrainPainting::font(TerrainFont::size, dpi), white(0.6));
}

// Stands in for the symbol font until the shared symbol table is in place.
void drawSymbolDot(QPainter& painter, QPointF centre, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(centre, 3, 3);
}

}  // namespace

namespace TerrainPainting {

QFont font(TerrainFont which, qreal dpi) {
    return which == TerrainFont::name ? designFont(11, QFont::DemiBold, dpi) : designFont(9.5, QFont::Normal, dpi);
}

Size measure(const std::string& text, const QFont& font) {
    const QRectF box = QFontMetricsF(font).boundingRect(QRectF(0, 0, 400, 40), Qt::AlignLeft | Qt::TextWordWrap,
                                                        QString::fromStdString(text));
    return {box.width(), box.height()};
}

void drawPicture(QPainter& painter, const TerrainPicture& picture, qreal dpi) {
    drawBlock(painter, picture.block);
    for (const TerrainTerrace& terrace : picture.terraces) drawTerrace(painter, terrace);
    drawTrees(painter, picture.trees);
    for (const TerrainLabel& label : picture.labels) drawLabel(painter, label, dpi);
}

void drawHighlight(QPainter& painter, const TerrainHighlight& highlight, qreal dpi) {
    // Opaque, so overlapping caps blend the same either way; separate lines
    // are an order of magnitude faster to stroke than one path of thousands
    // of segments, which matters on every hover change.
    QVector<QLineF> lines;
    lines.reserve(qsizetype(highlight.lines.size()));
    for (const TerrainSegment& segment : highlight.lines) lines.push_back(QLineF(qt(segment.a), qt(segment.b)));
    painter.setPen(linePen(qColor(highlight.color), 1.5, Qt::RoundCap));
    painter.drawLines(lines);
    QPainterPath plate;
    plate.addRoundedRect(qt(highlight.plate), 6, 6);
    painter.fillPath(plate, grey(0.06, 0.92));
    drawLabel(painter, highlight.label, dpi);
}

void drawLegend(QPainter& painter, qreal dpi) {
    const QFont caption = designFont(10, QFont::Normal, dpi);
    const QFontMetricsF metrics(caption);
    const QColor color = white(0.55);
    qreal x = 14;
    const qreal middle = 14 + metrics.height() / 2;
    for (const char* key : {"山越高 = 占用越多", "长树 = 半年以上没动过"}) {
        drawSymbolDot(painter, {x + 4, middle}, color);
        x += 8 + 6;
        const QString text = QString::fromStdString(L(key));
        painter.setFont(caption);
        painter.setPen(color);
        painter.drawText(QPointF(x, 14 + metrics.ascent()), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
}

void drawMapPillPlaceholder(QPainter& painter, const QRectF& view, const TerrainItem& item, int64_t total,
                            const std::optional<std::string>& note, qreal dpi) {
    std::string text = (item.node ? Paths::abbreviate(item.node->path) : item.label) + "   " + Fmt::bytes(item.bytes) +
                       "   " + QString::number(Fmt::percent(item.bytes, total)).toStdString() + "%";
    if (note) text += "   " + *note;
    const QFont callout = designFont(12, QFont::Normal, dpi);
    const QFontMetricsF metrics(callout);
    const QString shown = QString::fromStdString(text);
    const QSizeF inner(metrics.horizontalAdvance(shown), metrics.height());
    const QRectF capsule(view.left() + 12, view.bottom() - 12 - inner.height() - 14, inner.width() + 26,
                         inner.height() + 14);
    QPainterPath path;
    path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(path, qColor(Theme::ink));
    painter.strokePath(path, QPen(qColor(Theme::paper.rgb, 0.85), 1));
    painter.setFont(callout);
    painter.setPen(qColor(Theme::paper));
    painter.drawText(capsule, Qt::AlignCenter, shown);
}

}  // namespace TerrainPainting
