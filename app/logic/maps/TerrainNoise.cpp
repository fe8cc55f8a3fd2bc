#include "maps/TerrainNoise.hpp"

#include <cmath>

namespace {

double lattice(int64_t i, int64_t j) {
    const uint64_t a = uint64_t(i) * 374761393u + uint64_t(j) * 668265263u;
    uint32_t h = uint32_t(a ^ (a >> 13));
    h = uint32_t(uint64_t(h) * 1274126177u);
    h ^= h >> 16;
    return double(h & 0xFFFFu) / 65535.0;
}

}  // namespace

namespace TerrainNoise {

double value(double x, double y) {
    const double floorX = std::floor(x), floorY = std::floor(y);
    const auto ix = int64_t(floorX), iy = int64_t(floorY);
    const double fx = x - floorX, fy = y - floorY;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double top = (1 - sx) * lattice(ix, iy) + sx * lattice(ix + 1, iy);
    const double bottom = (1 - sx) * lattice(ix, iy + 1) + sx * lattice(ix + 1, iy + 1);
    return 2 * ((1 - sy) * top + sy * bottom) - 1;
}

uint64_t seed(std::string_view id, int part) {
    const uint64_t seeded = fnv1a(id) + uint64_t(part) * 7919u;
    return seeded == 0 ? 0x9E3779B97F4A7C15u : seeded;
}

uint64_t next(uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

double fraction(uint64_t& state) { return double(next(state) % 1000003u) / 1000003.0; }

}  // namespace TerrainNoise
