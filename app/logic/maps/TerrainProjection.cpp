#include "maps/TerrainProjection.hpp"

#include <algorithm>

namespace {
// The island's screen width per unit of scale (2 × 640 × 0.866), and its
// height: the world's 640 plus the 58-unit block.
constexpr double islandWidth = 1108.48;
constexpr double islandHeight = 698;
}  // namespace

double IsoProjection::top(const TerrainModel& model) {
    return double(std::max<size_t>(model.levels.size(), 1)) * TerrainModel::levelStep;
}

IsoProjection IsoProjection::fit(const TerrainModel& model, Size size) {
    const double high = top(model);
    const double scale = std::max(std::min((size.height - 90) / (high + islandHeight), (size.width - 40) / islandWidth),
                                  0.1);
    return {{size.width * 0.5, high * scale + (size.height - (high + islandHeight) * scale) * 0.5 + 16}, scale};
}

Point IsoProjection::project(Point world, double height) const {
    return {origin.x + scale * (world.x - world.y) * 0.866, origin.y + scale * ((world.x + world.y) * 0.5 - height)};
}

std::optional<Point> IsoProjection::surface(Point screen, const TerrainModel& model, double above) const {
    const double d = (screen.x - origin.x) / (scale * 0.866);
    for (double h = top(model); h >= above - 0.001; h -= 6) {
        const double m = (screen.y - origin.y) / scale + h;
        const Point candidate{(d + 2 * m) / 2, (2 * m - d) / 2};
        if (candidate.x < 0 || candidate.x > TerrainModel::world || candidate.y < 0 ||
            candidate.y > TerrainModel::world)
            continue;
        if (model.terrace(candidate) >= h - 0.001) return candidate;
    }
    return std::nullopt;
}

bool IsoProjection::hidden(Point screen, double terrace, const TerrainModel& model) const {
    return surface(screen, model, terrace + 6).has_value();
}
