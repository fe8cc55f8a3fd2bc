// The deterministic randomness of the terrain: smooth value noise for the
// coast and the slopes, and a seeded generator for the trees. Every wrapping
// step is unsigned 64-bit arithmetic, so the same folder always grows the
// same island, in every process.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/Text.hpp"

namespace TerrainNoise {
/// Smoothly interpolated lattice noise in [-1, 1]; equal inputs give equal
/// outputs on every run.
double value(double x, double y);
using Text::fnv1a;
/// The tree seed of part `part` of the region with item id `id`; never 0.
uint64_t seed(std::string_view id, int part);
/// Advances a 64-bit xorshift state (13, 7, 17) and returns the new state.
uint64_t next(uint64_t& state);
/// The next number of `state` as a fraction in [0, 1).
double fraction(uint64_t& state);
}  // namespace TerrainNoise
