#include "ui/maps/TerrainPainting.hpp"

#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>
#include <algorithm>

#include "text/Localization.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/maps/MapPaint.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {

QColor grey(double white, double opacity = 1) {
    return QColor::fromRgbF(float(white), float(white), float(white), float(opacity));
}
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
                     shownText(text));
}

void drawPin(QPainter& painter, const TerrainLabel& label) {
    const QPointF anchor = qt(label.anchor);
    painter.setPen(linePen(white(0.75), 0.8));
    painter.drawLine(anchor, QPointF(anchor.x(), label.box.maxY() + 2));
    painter.setPen(Qt::NoPen);
    painter.setBrush(qColor(label.dot));
    painter.drawEllipse(anchor, 2.2, 2.2);
}

void drawTexts(QPainter& painter, const TerrainLabel& label) {
    drawText(painter, label.name, {label.box.midX(), label.box.minY()}, MapPaint::font(TerrainScene::nameFont),
             white(1));
    drawText(painter, label.size, {label.box.midX(), label.box.minY() + label.nameHeight + 1},
             MapPaint::font(TerrainScene::sizeFont), white(0.6));
}

}  // namespace

namespace TerrainPainting {

void drawPicture(QPainter& painter, const TerrainPicture& picture) {
    drawBlock(painter, picture.block);
    for (const TerrainTerrace& terrace : picture.terraces) drawTerrace(painter, terrace);
    drawTrees(painter, picture.trees);
    // Every pin before any text, so no pin crosses another label's text.
    for (const TerrainLabel& label : picture.labels) drawPin(painter, label);
    for (const TerrainLabel& label : picture.labels) drawTexts(painter, label);
}

void drawHighlight(QPainter& painter, const TerrainHighlight& highlight) {
    drawHighlightLines(painter, highlight);
    drawHighlightPlate(painter, highlight);
}

void drawHighlightLines(QPainter& painter, const TerrainHighlight& highlight) {
    // Opaque, so overlapping caps blend the same either way; separate lines
    // are an order of magnitude faster to stroke than one path of thousands
    // of segments, which matters on every hover change.
    QVector<QLineF> lines;
    lines.reserve(qsizetype(highlight.lines.size()));
    for (const TerrainSegment& segment : highlight.lines) lines.push_back(QLineF(qt(segment.a), qt(segment.b)));
    painter.setPen(linePen(qColor(highlight.color), 1.5, Qt::RoundCap));
    painter.drawLines(lines);
}

void drawHighlightPlate(QPainter& painter, const TerrainHighlight& highlight) {
    QPainterPath plate;
    plate.addRoundedRect(qt(highlight.plate), 6, 6);
    painter.fillPath(plate, grey(0.06, 0.92));
    drawPin(painter, highlight.label);
    drawTexts(painter, highlight.label);
}

void drawLegend(QPainter& painter) {
    const QFont caption = Typography::font(TextStyle::caption);
    const QFontMetricsF metrics(caption);
    const QColor color = white(0.55);
    const qreal symbol = Symbols::side(Typography::size(TextStyle::caption));
    qreal x = 14;
    const qreal middle = 14 + metrics.height() / 2;
    const std::pair<const char*, const char*> items[] = {{"mountain.2", "山越高 = 占用越多"},
                                                         {"tree", "长树 = 半年以上没动过"}};
    for (const auto& [name, key] : items) {
        Symbols::draw(painter, QRectF(x, middle - symbol / 2, symbol, symbol), name, color,
                      Typography::size(TextStyle::caption));
        x += symbol + 6;
        const QString text = QString::fromStdString(L(key));
        painter.setFont(caption);
        painter.setPen(color);
        painter.drawText(QPointF(x, 14 + metrics.ascent()), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
}

}  // namespace TerrainPainting
