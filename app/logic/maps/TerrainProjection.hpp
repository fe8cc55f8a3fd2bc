// The isometric view of the terrain: where a world point at a height lands on
// screen, and back from a screen point onto the stepped surface.
#pragma once

#include <optional>

#include "geometry/Geometry.hpp"
#include "maps/TerrainModel.hpp"

struct IsoProjection {
    /// Screen position of world point (0, 0) at height 0.
    Point origin;
    /// Screen points per world unit.
    double scale = 1;

    /// The projection that fits the island with its block and its highest
    /// level into a view of `size`; never below 0.1 scale.
    static IsoProjection fit(const TerrainModel& model, Size size);
    /// The top of the relief: the number of levels (at least 1) times 12.
    static double top(const TerrainModel& model);
    /// Screen point of world point `world` at height `height`.
    Point project(Point world, double height) const;
    /// The world point of the terrace surface seen at `screen`, looking down
    /// from the top in steps of 6 to height `above`; none when the ray meets
    /// no terrace within the world.
    std::optional<Point> surface(Point screen, const TerrainModel& model, double above) const;
    /// Whether terrain at least one terrace above `terrace` lies in front of
    /// the screen point on the line of sight.
    bool hidden(Point screen, double terrace, const TerrainModel& model) const;
};
