#include "maps/VoronoiPainter.hpp"

#include "Support.hpp"

namespace {
constexpr double blobRadius = 24;
constexpr double childRadius = 13;
const Swatch openFill = MapColors::grey(0.045);
const Swatch openRemainderFill = MapColors::grey(0.16);

double nameSize(VoronoiPainter::LabelSize size, double roomAcross) {
    if (size == VoronoiPainter::LabelSize::nested) return 10.5;
    return roomAcross > 170 ? 15 : roomAcross > 90 ? 13 : 11.5;
}

VoronoiShape shape(const PointList& polygon, double radius, std::optional<Swatch> fill) {
    return {polygon, radius, fill, std::nullopt, 0, {}};
}
}  // namespace

namespace VoronoiPainter {
std::vector<MapText> label(const PointList& cell, Point center, const MapItem& item, LabelSize size,
                           const ThemeColor& color, const TextMeasure& measure) {
    const std::optional<ClosedRange> across = Polygon::horizontalSpan(cell, center.y);
    const std::optional<ClosedRange> down = Polygon::verticalSpan(cell, center.x);
    if (!across || !down) return {};
    const double roomAcross = across->upperBound - across->lowerBound - 20;
    const double roomDown = down->upperBound - down->lowerBound - 12;
    if (roomAcross < 30 || roomDown < 15) return {};

    const double f = nameSize(size, roomAcross);
    const MapFont nameStyle{f, MapFont::Weight::bold, false};
    const std::optional<std::string> name = MapTexts::fitted(item.label, roomAcross, nameStyle, measure, false);
    if (!name) return {};
    const bool twoLines = roomDown >= 38 && roomAcross >= 56;
    const double x = (center.x + (across->lowerBound + across->upperBound) / 2) / 2;
    std::vector<MapText> runs{
        MapTexts::centredAt(*name, nameStyle, color, {x, twoLines ? center.y - 0.55 * f : center.y}, measure)};
    if (twoLines)
        runs.push_back(MapTexts::centredAt(Fmt::bytes(item.bytes), {f - 2, MapFont::Weight::regular, true},
                                           MapTexts::faded(color, 0.72), {x, center.y + 0.75 * f}, measure));
    return runs;
}

VoronoiDrawing closed(const VoronoiBlob& blob, const TextMeasure& measure) {
    const Swatch colour = MapItem::swatch(blob.item.rank);
    VoronoiShape cell = shape(blob.cell, blobRadius, colour);
    cell.label = label(blob.cell, blob.center, blob.item, LabelSize::byRoom, Theme::labelColor(colour), measure);
    return {{}, blobRadius, {std::move(cell)}};
}

VoronoiDrawing open(const VoronoiBlob& blob, const TextMeasure& measure) {
    const Swatch colour = MapItem::swatch(blob.item.rank);
    if (blob.children.empty()) {
        VoronoiShape cell = shape(blob.cell, blobRadius, openFill);
        cell.stroke = MapColors::lifted(colour);
        cell.strokeWidth = 1.6;
        cell.label = label(blob.cell, blob.center, blob.item, LabelSize::byRoom, Theme::paper, measure);
        return {{}, blobRadius, {std::move(cell)}};
    }
    VoronoiDrawing drawing{blob.cell, blobRadius, {shape(blob.cell, blobRadius, colour)}};
    for (const VoronoiChild& child : blob.children) {
        VoronoiShape cell = shape(child.cell, childRadius, child.item.node ? openFill : openRemainderFill);
        cell.label = label(child.cell, child.center, child.item, LabelSize::nested, Theme::paper, measure);
        drawing.shapes.push_back(std::move(cell));
    }
    return drawing;
}

VoronoiDrawing lit(const VoronoiBlob& blob, size_t child, const TextMeasure& measure) {
    const Swatch colour = MapItem::swatch(blob.item.rank);
    const VoronoiChild& nested = blob.children.at(child);
    VoronoiShape cell = shape(nested.cell, childRadius, colour);
    cell.stroke = colour;
    cell.strokeWidth = 1.5;
    cell.label = label(nested.cell, nested.center, nested.item, LabelSize::nested, Theme::labelColor(colour), measure);
    return {blob.cell, blobRadius, {std::move(cell)}};
}
}  // namespace VoronoiPainter
