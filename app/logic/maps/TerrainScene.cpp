#include "maps/TerrainScene.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

#include "text/Localization.hpp"

namespace {

// The block is 58 world units deep; its strata lie 4.5 apart.
constexpr double blockDepth = 58;
constexpr double strataStep = 4.5;
constexpr size_t maxLabels = 12;

Point down(Point point, double by) { return {point.x, point.y + by}; }

double levelHeight(size_t level) { return TerrainModel::levelStep * double(level + 1); }

double contourOpacity(size_t level, size_t count) {
    return 0.5 + 0.5 * double(level) / double(std::max<size_t>(count, 2) - 1);
}

std::vector<TerrainContour> contoursOf(const TerrainModel& model, const IsoProjection& projection, size_t level) {
    std::map<int, TerrainContour> byOwner;
    const double height = levelHeight(level);
    const double opacity = contourOpacity(level, model.levels.size());
    for (const TerrainModel::Line& line : model.levels[level].lines) {
        TerrainContour& contour = byOwner[line.owner];
        if (contour.segments.empty()) {
            contour.owner = line.owner;
            contour.color = TerrainScene::lineColor(model, line.owner, 0);
            contour.color.opacity *= opacity;
        }
        contour.segments.push_back({projection.project(line.a, height), projection.project(line.b, height)});
    }
    std::vector<TerrainContour> contours;
    for (auto& [owner, contour] : byOwner) contours.push_back(std::move(contour));
    return contours;
}

bool inPalette(const TerrainModel& model, int region) {
    if (region < 0 || size_t(region) >= model.regions.size()) return false;
    const std::optional<int> rank = model.regions[size_t(region)].item.rank;
    return rank && *rank >= 0 && size_t(*rank) < Theme::data().size();
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

Rect enlarged(const Rect& rect, double dx, double dy) {
    return Rect(rect.minX() - dx, rect.minY() - dy, rect.width() + 2 * dx, rect.height() + 2 * dy);
}

bool pointHidden(const TerrainModel& model, const IsoProjection& projection, Point world) {
    const double terrace = model.terrace(world);
    return projection.hidden(projection.project(world, terrace), terrace, model);
}

// The region's highest sample that the eye reaches, highest terrace first;
// none when higher terrain hides every one.
std::optional<Point> highestVisible(const TerrainModel& model, const IsoProjection& projection, int region) {
    std::vector<std::pair<double, Point>> samples;
    for (size_t index = 0; index < model.owners.size(); ++index) {
        if (model.owners[index] != region) continue;
        const Point world{double(index % size_t(TerrainModel::gridSize)) * TerrainModel::spacing,
                          double(index / size_t(TerrainModel::gridSize)) * TerrainModel::spacing};
        samples.emplace_back(model.heights[index], world);
    }
    std::stable_sort(samples.begin(), samples.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [height, world] : samples)
        if (!pointHidden(model, projection, world)) return world;
    return std::nullopt;
}

// Where a region's label stands: its summit, else its highest visible point.
std::optional<Point> labelSpot(const TerrainModel& model, const IsoProjection& projection, int region) {
    const Point summit = model.regions[size_t(region)].summit;
    if (!pointHidden(model, projection, summit)) return summit;
    return highestVisible(model, projection, region);
}

TerrainLabel labelAt(int region, Point spot, const TerrainModel& model, const IsoProjection& projection,
                     const TextMeasure& measure) {
    const MapItem& item = model.regions[size_t(region)].item;
    TerrainLabel made{
        region, {}, {}, item.label, Fmt::bytes(item.bytes), 0, TerrainScene::lineColor(model, region, 0.2)};
    const TextBox name = measure(made.name, TerrainScene::nameFont), size = measure(made.size, TerrainScene::sizeFont);
    made.anchor = projection.project(spot, model.terrace(spot));
    made.nameHeight = name.height();
    const double width = std::max(name.width, size.width) + 8, height = name.height() + size.height() + 2;
    made.box = Rect(made.anchor.x - width / 2, made.anchor.y - 18 - height, width, height);
    return made;
}

double shiftInto(double low, double high, double min, double max) {
    if (high - low > max - min || low < min) return min - low;
    return high > max ? max - high : 0;
}

}  // namespace

namespace TerrainScene {

const MapFont nameFont{11, MapFont::Weight::semibold, false};
const MapFont sizeFont{9.5, MapFont::Weight::regular, true};

TerrainBlock block(const IsoProjection& projection) {
    const double s = projection.scale, e = 554.24 * s, depth = blockDepth * s;
    const Point top = projection.origin, right{top.x + e, top.y + 320 * s};
    const Point bottom{top.x, top.y + 640 * s}, left{top.x - e, top.y + 320 * s};
    TerrainBlock block;
    block.leftFace = {left, bottom, down(bottom, depth), down(left, depth)};
    block.rightFace = {right, bottom, down(bottom, depth), down(right, depth)};
    for (double u = strataStep; u < blockDepth; u += strataStep)
        block.strata.push_back({down(left, u * s), down(bottom, u * s), down(right, u * s)});
    block.outline = {left, down(left, depth), down(bottom, depth), down(right, depth), right};
    block.frontEdge = {bottom, down(bottom, depth)};
    block.sea = {top, right, bottom, left};
    return block;
}

std::vector<TerrainTerrace> terraces(const TerrainModel& model, const IsoProjection& projection) {
    std::vector<TerrainTerrace> result;
    for (size_t k = 0; k < model.levels.size(); ++k) {
        TerrainTerrace terrace;
        // The union of the level's fills, as a few loops rather than one
        // polygon per cell: far cheaper to fill.
        for (const PointList& loop : TerrainContours::outline(model.heights, levelHeight(k))) {
            PointList& projected = terrace.shape.emplace_back();
            for (const Point& point : loop) projected.push_back(projection.project(point, levelHeight(k)));
        }
        // Cliffs are repeated copies of the shape moved down, not side faces.
        for (double drop = 12 * projection.scale; drop > 0.5; drop -= 1.5) terrace.cliffDrops.push_back(drop);
        terrace.grey = std::min(0.078 + 0.0065 * double(k), 0.17);
        terrace.contours = contoursOf(model, projection, k);
        result.push_back(std::move(terrace));
    }
    return result;
}

TerrainTreeGlyph tree(Point at, double size) {
    const double a = at.x, b = at.y, s = size;
    auto crown = [&](double w, double y, double top) { return PointList{{a - w, y}, {a + w, y}, {a, top}}; };
    return {Rect(a - 0.5, b - 0.22 * s, 1, 0.22 * s),
            {crown(0.3 * s, b - 0.18 * s, b - 0.62 * s), crown(0.23 * s, b - 0.42 * s, b - 0.82 * s),
             crown(0.16 * s, b - 0.64 * s, b - s)}};
}

std::vector<TerrainTreeGlyph> trees(const TerrainModel& model, const IsoProjection& projection) {
    std::vector<TerrainTreeGlyph> glyphs;
    for (const TerrainModel::Tree& planted : model.trees) {
        const double terrace = model.terrace(planted.position);
        const Point at = projection.project(planted.position, terrace);
        if (!projection.hidden(at, terrace, model)) glyphs.push_back(tree(at, planted.size));
    }
    return glyphs;
}

ThemeColor lineColor(const TerrainModel& model, int region, double lift) {
    if (!inPalette(model, region)) return {Theme::paper.rgb, 0.6};
    const Swatch base = Theme::data()[size_t(*model.regions[size_t(region)].item.rank)];
    const double l = std::clamp(lift, 0.0, 1.0);
    auto raise = [l](double c) { return c + l * (1 - c); };
    return {{raise(base.red), raise(base.green), raise(base.blue)}, 1};
}

TerrainLabel label(int region, const TerrainModel& model, const IsoProjection& projection, const TextMeasure& measure) {
    return labelAt(region, model.regions[size_t(region)].summit, model, projection, measure);
}

TerrainLabel keptInside(TerrainLabel label, const Rect& canvas) {
    const Rect plate = enlarged(label.box, 5 + 2, 4 + 2);
    const double dx = shiftInto(plate.minX(), plate.maxX(), canvas.minX(), canvas.maxX());
    const double dy = shiftInto(plate.minY(), plate.maxY(), canvas.minY(), canvas.maxY());
    label.box = Rect(label.box.minX() + dx, label.box.minY() + dy, label.box.width(), label.box.height());
    return label;
}

std::vector<TerrainLabel> labels(const TerrainModel& model, const IsoProjection& projection, const TextMeasure& measure,
                                 const Rect& canvas) {
    std::vector<int> candidates;
    for (size_t r = 0; r < model.regions.size(); ++r)
        if (model.regions[r].item.node) candidates.push_back(int(r));
    std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
        return model.regions[size_t(a)].item.bytes > model.regions[size_t(b)].item.bytes;
    });
    if (candidates.size() > maxLabels) candidates.resize(maxLabels);
    std::vector<TerrainLabel> placed;
    for (int region : candidates) {
        const std::optional<Point> spot = labelSpot(model, projection, region);
        if (!spot) continue;
        TerrainLabel next = keptInside(labelAt(region, *spot, model, projection, measure), canvas);
        const bool crowded = std::any_of(placed.begin(), placed.end(), [&](const TerrainLabel& earlier) {
            return overlaps(next.box, enlarged(earlier.box, 8, 5));
        });
        if (!crowded) placed.push_back(std::move(next));
    }
    return placed;
}

std::vector<TerrainTreeGlyph> clearOf(std::vector<TerrainTreeGlyph> trees, const std::vector<TerrainLabel>& labels) {
    std::erase_if(trees, [&](const TerrainTreeGlyph& tree) {
        PointList corners{{tree.trunk.minX(), tree.trunk.minY()}, {tree.trunk.maxX(), tree.trunk.maxY()}};
        for (const PointList& crown : tree.crowns) corners.insert(corners.end(), crown.begin(), crown.end());
        const Rect bounds = Polygon::bounds(corners);
        return std::any_of(labels.begin(), labels.end(),
                           [&](const TerrainLabel& label) { return overlaps(bounds, label.box); });
    });
    return trees;
}

TerrainPicture picture(const TerrainModel& model, Size size, const TextMeasure& measure) {
    const IsoProjection projection = IsoProjection::fit(model, size);
    std::vector<TerrainLabel> placed = labels(model, projection, measure, Rect(0, 0, size.width, size.height));
    std::vector<TerrainTreeGlyph> visible = clearOf(trees(model, projection), placed);
    return {projection, block(projection), terraces(model, projection), std::move(visible), std::move(placed)};
}

std::optional<TerrainHighlight> highlight(const TerrainModel& model, const IsoProjection& projection, int region,
                                          const TextMeasure& measure, const Rect& canvas) {
    if (region < 0 || size_t(region) >= model.regions.size()) return std::nullopt;
    TerrainHighlight lit;
    for (size_t k = 0; k < model.levels.size(); ++k) {
        for (const TerrainModel::Line& line : model.levels[k].lines) {
            if (line.owner != region) continue;
            const TerrainSegment segment{projection.project(line.a, levelHeight(k)),
                                         projection.project(line.b, levelHeight(k))};
            const Point middle{(segment.a.x + segment.b.x) / 2, (segment.a.y + segment.b.y) / 2};
            if (!projection.hidden(middle, levelHeight(k), model)) lit.lines.push_back(segment);
        }
    }
    lit.color = inPalette(model, region) ? lineColor(model, region, 0.3) : ThemeColor{{1, 1, 1}, 1};
    lit.label = keptInside(label(region, model, projection, measure), canvas);
    lit.plate = enlarged(lit.label.box, 5, 4);
    return lit;
}

std::optional<int> regionAt(const TerrainModel& model, const IsoProjection& projection, Point screen) {
    const std::optional<Point> ground = projection.surface(screen, model, 0);
    if (!ground) return std::nullopt;
    return model.owner(*ground);
}

const FileNode* openTarget(const TerrainModel& model, const IsoProjection& projection, Point screen) {
    const std::optional<int> region = regionAt(model, projection, screen);
    if (!region) return nullptr;
    const std::shared_ptr<const FileNode>& node = model.regions[size_t(*region)].item.node;
    return node && node->isDirectory ? node.get() : nullptr;
}

std::optional<std::string> idleText(const FileNode* node, Date now) {
    if (!node || !node->modified) return std::nullopt;
    const int64_t days = std::chrono::duration_cast<std::chrono::seconds>(now - *node->modified).count() / 86400;
    if (days < 1) return L("今天改动过");
    return L("%@ 天未改动", days);
}

}  // namespace TerrainScene
