// Times the squarified layout and the weighted Voronoi treemap on the
// benchmark's weights and writes one JSON document: the weights per size, the
// time per layout in each of several rounds and the area errors of the cells.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "geometry/Geometry.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double mapWidth = 1000;
constexpr double mapHeight = 700;
constexpr int maxIterations = 90;
constexpr double tolerance = 0.01;

/// Pareto-distributed sizes (a folder's children: a few large, many small),
/// from a fixed generator so every run and both programs see the same list,
/// largest first as the maps pass them.
std::vector<double> folderSizes(int n) {
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(n);
    std::vector<double> sizes;
    for (int i = 0; i < n; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double u = (static_cast<double>(state >> 11) + 1) / 9007199254740993.0;
        sizes.push_back(std::round(65536 * std::pow(u, -1 / 1.2)));
    }
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    return sizes;
}

/// Seconds per call in each of several rounds, each long enough to trust,
/// with the clock read once per batch of calls so that reading it does not
/// count for short calls.
template <class Body>
std::vector<double> secondsPerCall(Body body) {
    body();  // warm-up
    const auto once = Clock::now();
    body();
    const double single = std::chrono::duration<double>(Clock::now() - once).count();
    const long batch = std::max(1L, static_cast<long>(0.01 / std::max(single, 1e-9)));
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        long calls = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            for (long i = 0; i < batch; ++i) body();
            calls += batch;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < 0.08);
        rounds.push_back(elapsed / static_cast<double>(calls));
    }
    return rounds;
}

void printRounds(const char* name, const std::vector<double>& rounds) {
    std::printf("\"%s\": [", name);
    for (std::size_t i = 0; i < rounds.size(); ++i) std::printf("%s%.9g", i ? ", " : "", rounds[i]);
    std::printf("]");
}

struct Errors {
    double worst = 0;           // max |area - target| / target over all cells
    double worstUnfloored = 0;  // the same over cells whose weight is >= 1 % of the largest
    double total = 0;           // sum |area - target| / total area
    double converged = 0;       // the same against the layout's own targets, its small weights raised
};

Errors errors(const std::vector<double>& areas, const std::vector<double>& weights, double totalArea) {
    double sum = 0;
    for (double w : weights) sum += w;
    const double largest = *std::max_element(weights.begin(), weights.end());
    Errors e;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const double target = totalArea * weights[i] / sum;
        const double relative = std::fabs(areas[i] - target) / target;
        e.worst = std::max(e.worst, relative);
        if (weights[i] >= 0.01 * largest) e.worstUnfloored = std::max(e.worstUnfloored, relative);
        e.total += std::fabs(areas[i] - target);
    }
    e.total /= totalArea;
    // The layout raises every weight to at least 0.3 % of the total; how close
    // it came to what it aimed for.
    double positive = 0;
    for (double w : weights) positive += w > 0 ? w : 0;
    const double floor = std::max(0.003 * positive, 1e-12);
    double raisedSum = 0;
    for (double w : weights) raisedSum += std::max(w, floor);
    for (std::size_t i = 0; i < weights.size(); ++i)
        e.converged += std::fabs(areas[i] - totalArea * std::max(weights[i], floor) / raisedSum);
    e.converged /= totalArea;
    return e;
}

void printErrors(const char* name, const Errors& e) {
    std::printf("\"%s\": {\"worst\": %.9g, \"worstUnfloored\": %.9g, \"total\": %.9g, \"converged\": %.9g}", name,
                e.worst, e.worstUnfloored, e.total, e.converged);
}

}  // namespace

int main() {
    const PointList frame{{0, 0}, {mapWidth, 0}, {mapWidth, mapHeight}, {0, mapHeight}};
    const double totalArea = mapWidth * mapHeight;
    std::printf("{\"maxIterations\": %d, \"tolerance\": %g, \"sizes\": [\n", maxIterations, tolerance);
    const int counts[] = {20, 50, 100, 500};
    for (int c = 0; c < 4; ++c) {
        const int n = counts[c];
        const std::vector<double> weights = folderSizes(n);

        double sink = 0;
        const std::vector<double> squarifyTime = secondsPerCall([&] {
            const auto rects = Squarify::layout(weights, Rect(0, 0, mapWidth, mapHeight));
            sink += rects.back().size.width;
        });
        std::vector<double> areas;
        for (const Rect& r : Squarify::layout(weights, Rect(0, 0, mapWidth, mapHeight)))
            areas.push_back(r.width() * r.height());
        const Errors squarifyErrors = errors(areas, weights, totalArea);

        std::vector<PointList> cells;
        const std::vector<double> voronoiTime = secondsPerCall([&] {
            cells = VoronoiTreemap::layout(weights, frame, maxIterations, tolerance);
            sink += cells.size();
        });
        // The same layouts confined to one thread, for comparison with the
        // single-threaded package.
        std::vector<double> voronoiSerialTime;
        {
            tbb::global_control oneThread(tbb::global_control::max_allowed_parallelism, 1);
            voronoiSerialTime = secondsPerCall([&] {
                const auto serial = VoronoiTreemap::layout(weights, frame, maxIterations, tolerance);
                sink += serial.size();
            });
        }
        areas.clear();
        int emptyCells = 0;
        for (const PointList& cell : cells) {
            areas.push_back(Polygon::area(cell));
            if (cell.size() < 3) ++emptyCells;
        }
        const Errors voronoiErrors = errors(areas, weights, totalArea);

        std::printf("{\"n\": %d, \"weights\": [", n);
        for (int i = 0; i < n; ++i) std::printf("%s%.17g", i ? ", " : "", weights[i]);
        std::printf("],\n \"squarify\": {");
        printRounds("seconds", squarifyTime);
        std::printf(", ");
        printErrors("errors", squarifyErrors);
        std::printf("},\n \"voronoi\": {");
        printRounds("seconds", voronoiTime);
        std::printf(", ");
        printRounds("oneThreadSeconds", voronoiSerialTime);
        std::printf(", \"emptyCells\": %d, ", emptyCells);
        printErrors("errors", voronoiErrors);
        std::printf("}, \"sink\": %g}%s\n", sink, c < 3 ? "," : "");
    }
    std::printf("]}\n");
}
