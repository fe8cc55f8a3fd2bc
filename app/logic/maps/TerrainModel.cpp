#include "maps/TerrainModel.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

#include "maps/TerrainNoise.hpp"

ConvexShape::ConvexShape(PointList points) : polygon(std::move(points)) {
    const double sign = Polygon::signedArea(polygon) >= 0 ? 1 : -1;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Point from = polygon[i == 0 ? polygon.size() - 1 : i - 1], to = polygon[i];
        const double dx = to.x - from.x, dy = to.y - from.y;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (length <= 1e-9) continue;
        nx.push_back(-dy * sign / length);
        ny.push_back(dx * sign / length);
        offset.push_back(from.x * nx.back() + from.y * ny.back());
    }
}

double ConvexShape::distance(Point point) const {
    if (nx.empty()) return -1;
    double nearest = INFINITY;
    for (size_t i = 0; i < nx.size(); ++i) nearest = std::min(nearest, point.x * nx[i] + point.y * ny[i] - offset[i]);
    return nearest;
}

bool isStale(const FileNode* node, Date now) {
    if (!node || !node->modified) return false;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - *node->modified).count();
    return seconds / 86400 > 179;
}

namespace {

constexpr int grid = TerrainModel::gridSize;

struct Part {
    ConvexShape shape;
    double weight = 1;
    bool stale = false;
    double largest = 1e-6;
};

/// Build state beside the model: per region its peak and parts, per sample
/// its distances inside region and part.
struct Relief {
    std::vector<double> peak;
    std::vector<std::vector<Part>> parts;
    std::vector<double> regionLargest, rawLargest;
    std::vector<double> regionDistance = std::vector<double>(TerrainModel::sampleCount, 0);
    std::vector<int> part = std::vector<int>(TerrainModel::sampleCount, -1);
    std::vector<double> partDistance = std::vector<double>(TerrainModel::sampleCount, 0);
};

double octaves(double x, double y) {
    return 0.65 * TerrainNoise::value(x / 54, y / 54) + 0.35 * TerrainNoise::value(x / 22 + 9.1, y / 22 - 4.7);
}

const PointList& worldSquare() {
    static const PointList square{
        {0, 0}, {TerrainModel::world, 0}, {TerrainModel::world, TerrainModel::world}, {0, TerrainModel::world}};
    return square;
}

std::vector<Part> ridgesOf(const MapItem& item, const PointList& shape, Date now) {
    std::vector<Part> parts;
    if (!item.node || !item.node->isDirectory || Polygon::area(shape) <= 9000) return parts;
    const std::vector<MapItem> subs = Treemap::split(item.node, 7);
    const PointList inner = Polygon::inset(shape, 3);
    if (subs.size() < 2 || inner.size() < 3) return parts;
    int64_t subMax = 0;
    for (const MapItem& sub : subs) subMax = std::max(subMax, sub.bytes);
    const std::vector<PointList> cells = VoronoiTreemap::layout(Treemap::weights(subs), inner, 50, 0.01);
    for (size_t j = 0; j < std::min(subs.size(), cells.size()); ++j) {
        PointList cell = Polygon::inset(cells[j], 2);
        if (cell.size() < 3) continue;
        parts.push_back({ConvexShape(std::move(cell)), std::sqrt(double(subs[j].bytes) / double(subMax)),
                         isStale(subs[j].node.get(), now)});
    }
    return parts;
}

Point warped(double x, double y) {
    const double qx = 0.8 * x, qy = 0.8 * y;
    return {x + 14 * octaves(qx + 31.7, qy - 12.3), y + 14 * octaves(qx - 7.9, qy + 44.1)};
}

void placeRegions(TerrainModel& model, Relief& relief, const std::shared_ptr<const FileNode>& node, Date now) {
    const std::vector<MapItem> items = Treemap::split(node, 20);
    const std::vector<PointList> cells = VoronoiTreemap::layout(Treemap::weights(items), worldSquare(), 90, 0.01);
    int64_t maxBytes = items.empty() ? 1 : 0;
    for (const MapItem& item : items) maxBytes = std::max(maxBytes, item.bytes);
    for (size_t i = 0; i < std::min(items.size(), cells.size()); ++i) {
        PointList shape = Polygon::inset(cells[i], 7);
        if (shape.size() <= 2) continue;
        relief.peak.push_back(TerrainModel::peak(items[i].bytes, maxBytes));
        std::vector<Part> parts = ridgesOf(items[i], shape, now);
        if (parts.empty()) parts.push_back({ConvexShape(shape), 1, isStale(items[i].node.get(), now)});
        relief.parts.push_back(std::move(parts));
        model.regions.push_back({items[i], ConvexShape(std::move(shape)), {0, 0}});
    }
    relief.regionLargest.assign(model.regions.size(), 1e-6);
    relief.rawLargest.assign(model.regions.size(), 1e-6);
}

void claimPart(Relief& relief, size_t region, size_t index, Point at) {
    std::vector<Part>& parts = relief.parts[region];
    for (size_t p = 0; p < parts.size(); ++p) {
        const double f = parts[p].shape.distance(at);
        if (f <= 0) continue;
        relief.part[index] = int(p);
        relief.partDistance[index] = f;
        parts[p].largest = std::max(parts[p].largest, f);
        return;
    }
}

// Ownership is decided over a warped domain, so coasts and borders wander.
void assignOwners(TerrainModel& model, Relief& relief) {
    for (size_t index = 0; index < size_t(TerrainModel::sampleCount); ++index) {
        const Point at = warped(double(index % grid) * TerrainModel::spacing,
                                double(index / grid) * TerrainModel::spacing);
        for (size_t r = 0; r < model.regions.size(); ++r) {
            const double d = model.regions[r].shape.distance(at);
            if (d <= 0) continue;
            model.owners[index] = int(r);
            relief.regionDistance[index] = d;
            relief.regionLargest[r] = std::max(relief.regionLargest[r], d);
            claimPart(relief, r, index, at);
            break;
        }
    }
}

// A dome per region with a smaller dome per ridge on top.
void raiseDomes(TerrainModel& model, Relief& relief) {
    for (size_t index = 0; index < size_t(TerrainModel::sampleCount); ++index) {
        const int r = model.owners[index];
        if (r < 0) continue;
        double h = std::pow(relief.regionDistance[index] / relief.regionLargest[size_t(r)], 0.8) * 0.55;
        if (const int p = relief.part[index]; p >= 0) {
            const Part& part = relief.parts[size_t(r)][size_t(p)];
            h += part.weight * 0.45 * std::pow(relief.partDistance[index] / part.largest, 0.9);
        }
        model.heights[index] = h;
        relief.rawLargest[size_t(r)] = std::max(relief.rawLargest[size_t(r)], h);
    }
}

// Heights scaled to each peak and roughened by noise; the highest sample of
// each region is its summit.
void scaleToPeaks(TerrainModel& model, const Relief& relief) {
    std::vector<double> best(model.regions.size(), -1);
    for (size_t index = 0; index < size_t(TerrainModel::sampleCount); ++index) {
        const int r = model.owners[index];
        if (r < 0) continue;
        const double x = double(index % grid) * TerrainModel::spacing, y = double(index / grid) * TerrainModel::spacing;
        const double base = model.heights[index] / relief.rawLargest[size_t(r)] * relief.peak[size_t(r)];
        // The doubles nearest 1.4 * 12 and 0.8 * 12.
        const double v = base + std::min(base / 16.799999999999997, 1.0) * octaves(x, y) * 9.600000000000001;
        model.heights[index] = std::max(v, 0.0);
        if (v > best[size_t(r)]) {
            best[size_t(r)] = v;
            model.regions[size_t(r)].summit = {x, y};
        }
    }
}

void growTrees(TerrainModel& model, const Part& part, uint64_t state) {
    const Rect bounds = Polygon::bounds(part.shape.polygon);
    const int wanted = std::max(std::min(int(Polygon::area(part.shape.polygon) / 4200), 10), 2);
    int grown = 0;
    for (int attempt = 0; attempt < 12 * wanted && grown < wanted; ++attempt) {
        const double x = bounds.minX() + TerrainNoise::fraction(state) * bounds.width();
        const Point at{x, bounds.minY() + TerrainNoise::fraction(state) * bounds.height()};
        // At least 4 units inside and on the first contour level or higher.
        if (part.shape.distance(at) <= 4 || model.terrace(at) < TerrainModel::levelStep) continue;
        model.trees.push_back({at, 8 + 5 * TerrainNoise::fraction(state)});
        ++grown;
    }
}

}  // namespace

TerrainModel::TerrainModel(const std::shared_ptr<const FileNode>& node, Date now)
    : heights(sampleCount, 0), owners(sampleCount, -1) {
    Relief relief;
    placeRegions(*this, relief, node, now);
    assignOwners(*this, relief);
    raiseDomes(*this, relief);
    scaleToPeaks(*this, relief);
    // Trees test the final terraces, so they come after the levels.
    levels = TerrainContours::levels(heights, owners);
    for (size_t r = 0; r < regions.size(); ++r)
        for (size_t p = 0; p < relief.parts[r].size(); ++p)
            if (relief.parts[r][p].stale)
                growTrees(*this, relief.parts[r][p], TerrainNoise::seed(regions[r].item.id, int(p)));
    std::stable_sort(trees.begin(), trees.end(), [](const Tree& a, const Tree& b) {
        return a.position.x + a.position.y < b.position.x + b.position.y;
    });
}

TerrainModel::TerrainModel(std::vector<double> heights_, std::vector<int> owners_, std::vector<Region> regions_)
    : regions(std::move(regions_)), heights(std::move(heights_)), owners(std::move(owners_)) {
    if (heights.size() != size_t(sampleCount) || owners.size() != size_t(sampleCount))
        throw std::invalid_argument("a terrain needs 129 × 129 heights and owners");
    levels = TerrainContours::levels(heights, owners);
}

double TerrainModel::peak(int64_t bytes, int64_t maxBytes) {
    const double share = std::sqrt(double(bytes) / double(maxBytes));
    return (std::max(std::round(share * 15), 1.0) + 0.5) * levelStep;
}

double TerrainModel::height(Point point) const {
    const double gx = std::clamp(point.x / world * 128, 0.0, 127.999999);
    const double gy = std::clamp(point.y / world * 128, 0.0, 127.999999);
    const int c = int(std::floor(gx)), r = int(std::floor(gy));
    const double fx = gx - c, fy = gy - r;
    const size_t i = size_t(r * grid + c);
    return (1 - fy) * ((1 - fx) * heights[i] + fx * heights[i + 1]) +
           fy * ((1 - fx) * heights[i + grid] + fx * heights[i + grid + 1]);
}

double TerrainModel::terrace(Point point) const { return std::floor(height(point) / levelStep) * levelStep; }

std::optional<int> TerrainModel::owner(Point point) const {
    const int c = int(std::clamp(std::round(point.x / world * 128), 0.0, 128.0));
    const int r = int(std::clamp(std::round(point.y / world * 128), 0.0, 128.0));
    const int found = owners[size_t(r * grid + c)];
    if (found < 0) return std::nullopt;
    return found;
}
