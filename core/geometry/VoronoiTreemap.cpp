// The weighted Voronoi treemap: cells of a polygon whose areas follow given
// weights, found by adjusting the weights of a power diagram.
#include "geometry/Geometry.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>

namespace VoronoiTreemap {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

/// A polygon being clipped, kept as separate x and y arrays so that testing
/// all its points against a line is one tight loop. Two buffers take turns
/// as input and output, and keep their capacity from cell to cell.
class Clipper {
public:
    static constexpr std::size_t unchanged = ~std::size_t{0};

    void load(const PointList& polygon) {
        const std::size_t m = polygon.size();
        current->reserve(m);
        for (std::size_t j = 0; j < m; ++j) {
            current->x[j] = polygon[j].x;
            current->y[j] = polygon[j].y;
        }
        current->size = m;
    }

    std::size_t size() const { return current->size; }
    Point point(std::size_t j) const { return {current->x[j], current->y[j]}; }
    void clear() { current->size = 0; }

    /// Clips to a·x + b·y ≤ c with the rule of Polygon::clip and returns the
    /// new point count, or `unchanged` when every point is kept (the clip
    /// would give back the same list, so nothing is written).
    std::size_t clip(double a, double b, double c) {
        const std::size_t m = current->size;
        if (side.size() < m) side.resize(m);
        const double* xs = current->x.data();
        const double* ys = current->y.data();
        double* d = side.data();
        const bool small = m <= 64;
        const std::uint64_t all = m >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
        std::uint64_t inside = 0;
        bool allInside = true;
        if (small) {
            for (std::size_t j = 0; j < m; ++j) {
                d[j] = a * xs[j] + b * ys[j] - c;
                inside |= std::uint64_t{d[j] <= 0} << j;
            }
            allInside = inside == all;
        } else {
            for (std::size_t j = 0; j < m; ++j) {
                d[j] = a * xs[j] + b * ys[j] - c;
                allInside &= d[j] <= 0;
            }
        }
        if (allInside) return unchanged;

        next->reserve(2 * m);
        double* nx = next->x.data();
        double* ny = next->y.data();
        std::size_t count = 0;
        // The crossing on the edge that arrives at point j.
        auto cross = [&](std::size_t j) {
            const std::size_t p = j == 0 ? m - 1 : j - 1;
            const double dp = d[p];
            const double dq = d[j];
            nx[count] = xs[p] + (xs[j] - xs[p]) * dp / (dp - dq);
            ny[count] = ys[p] + (ys[j] - ys[p]) * dp / (dp - dq);
            ++count;
        };
        auto copy = [&](std::size_t from, std::size_t to) {
            for (std::size_t j = from; j < to; ++j) {
                nx[count] = xs[j];
                ny[count] = ys[j];
                ++count;
            }
        };

        bool done = false;
        if (small) {
            // A line crosses a convex polygon twice, and then the kept points
            // are one run (cyclically): the edge walk's output is that run
            // with the two crossings where the walk meets them, built here
            // without a branch per point.
            const std::uint64_t previous = ((inside << 1) | (inside >> (m - 1))) & all;
            const std::uint64_t changes = inside ^ previous;
            const std::uint64_t later = changes & (changes - 1);
            if (changes == 0) {  // every point outside
                done = true;
            } else if (later != 0 && (later & (later - 1)) == 0) {  // exactly two changes
                const auto first = static_cast<std::size_t>(std::countr_zero(changes));
                const auto second = static_cast<std::size_t>(std::countr_zero(later));
                if (inside >> first & 1) {
                    cross(first);
                    copy(first, second);
                    cross(second);
                } else {
                    copy(0, first);
                    cross(first);
                    cross(second);
                    copy(second, m);
                }
                done = true;
            }
        }
        if (!done) {
            std::size_t p = m - 1;
            for (std::size_t j = 0; j < m; ++j) {
                if ((d[j] <= 0) != (d[p] <= 0)) cross(j);
                if (d[j] <= 0) copy(j, j + 1);
                p = j;
            }
        }
        next->size = count;
        std::swap(current, next);
        return count;
    }

    Clipper() = default;
    Clipper(const Clipper&) = delete;
    Clipper& operator=(const Clipper&) = delete;

private:
    struct Ring {
        std::vector<double> x, y;
        std::size_t size = 0;

        void reserve(std::size_t capacity) {
            if (x.size() < capacity) {
                x.resize(capacity);
                y.resize(capacity);
            }
        }
    };

    Ring rings[2];
    Ring* current = &rings[0];
    Ring* next = &rings[1];
    std::vector<double> side;
};

/// Computes the power cells of all sites inside the polygon. Each cell is the
/// polygon clipped by the bisector of every other site in index order.
///
/// Most of those clips keep every point, and such a clip gives back the very
/// same list, so it may be skipped without changing a bit of the result. Runs
/// of consecutive sites are skipped together when their bounding box lies so
/// far from the cell's bounding box that none of them can cut it; a margin far
/// above any rounding in the clip's own arithmetic keeps this exact. The cells
/// do not depend on each other, so large diagrams are shared out over the
/// cores; each cell is computed the same way wherever it runs.
class PowerDiagram {
public:
    explicit PowerDiagram(const PointList& polygon) : polygon(polygon) {
        for (const Point& p : polygon) polygonBox.add(p);
    }

    void cells(const std::vector<Point>& sites, const std::vector<double>& weights, std::vector<PointList>& out) {
        const std::size_t n = sites.size();
        norms.resize(n);
        for (std::size_t k = 0; k < n; ++k) norms[k] = sites[k].x * sites[k].x + sites[k].y * sites[k].y;
        describeBlocks(sites, weights);
        out.resize(n);
        // Below this the whole diagram takes a few microseconds, less than
        // waking other threads would.
        constexpr std::size_t parallelFrom = 40;
        if (n < parallelFrom) {
            for (std::size_t i = 0; i < n; ++i) cell(i, sites, weights, out[i], mainClipper);
            return;
        }
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n, 4), [&](const tbb::blocked_range<std::size_t>& range) {
            Clipper& clipper = clippers.local();
            for (std::size_t i = range.begin(); i != range.end(); ++i) cell(i, sites, weights, out[i], clipper);
        });
    }

private:
    static constexpr std::size_t blockSize = 8;

    struct Box {
        double minX = infinity, minY = infinity, maxX = -infinity, maxY = -infinity;

        void add(Point p) {
            minX = std::min(minX, p.x);
            minY = std::min(minY, p.y);
            maxX = std::max(maxX, p.x);
            maxY = std::max(maxY, p.y);
        }
    };

    /// The sites of one run of consecutive indices: their bounds and the
    /// largest power weight among them.
    struct Block {
        Box sites;
        double maxWeight = -infinity;
    };

    const PointList& polygon;
    Box polygonBox;
    std::vector<double> norms;
    std::vector<Block> blocks;
    double margin = 0;
    Clipper mainClipper;
    tbb::enumerable_thread_specific<Clipper> clippers;

    void describeBlocks(const std::vector<Point>& sites, const std::vector<double>& weights) {
        const std::size_t n = sites.size();
        blocks.assign((n + blockSize - 1) / blockSize, Block{});
        double extent = std::max({std::fabs(polygonBox.minX), std::fabs(polygonBox.maxX), std::fabs(polygonBox.minY),
                                  std::fabs(polygonBox.maxY)});
        double heaviest = 0;
        for (std::size_t k = 0; k < n; ++k) {
            Block& block = blocks[k / blockSize];
            block.sites.add(sites[k]);
            block.maxWeight = std::max(block.maxWeight, weights[k]);
            extent = std::max({extent, std::fabs(sites[k].x), std::fabs(sites[k].y)});
            heaviest = std::max(heaviest, std::fabs(weights[k]));
        }
        margin = 1e-9 * (16 * extent * extent + 4 * heaviest);
    }

    /// Whether no site of the block can be nearer, in power distance, than
    /// site i to any point of the box.
    bool blockIsFar(const Block& block, const Box& box, Point si, double wi) const {
        const double gapX = std::max({0.0, block.sites.minX - box.maxX, box.minX - block.sites.maxX});
        const double gapY = std::max({0.0, block.sites.minY - box.maxY, box.minY - block.sites.maxY});
        const double reachX = std::max(std::fabs(si.x - box.minX), std::fabs(si.x - box.maxX));
        const double reachY = std::max(std::fabs(si.y - box.minY), std::fabs(si.y - box.maxY));
        const double nearestOther = gapX * gapX + gapY * gapY - block.maxWeight;
        const double farthestOwn = reachX * reachX + reachY * reachY - wi;
        return nearestOther > farthestOwn + margin;
    }

    void cell(std::size_t i, const std::vector<Point>& sites, const std::vector<double>& weights, PointList& out,
              Clipper& clipper) const {
        const std::size_t n = sites.size();
        const Point si = sites[i];
        const double ni = norms[i];
        const double wi = weights[i];
        clipper.load(polygon);
        // The box is only read at the start of a block, so it is brought up
        // to date there rather than after every clip.
        Box box = polygonBox;
        bool boxIsCurrent = true;
        for (std::size_t k = 0; k < n; ++k) {
            if (k % blockSize == 0) {
                if (!boxIsCurrent) {
                    box = Box{};
                    for (std::size_t j = 0; j < clipper.size(); ++j) box.add(clipper.point(j));
                    boxIsCurrent = true;
                }
                if (blockIsFar(blocks[k / blockSize], box, si, wi)) {
                    k += blockSize - 1;
                    continue;
                }
            }
            if (k == i) continue;
            const Point sk = sites[k];
            const double a = 2 * (sk.x - si.x);
            const double b = 2 * (sk.y - si.y);
            const double c = norms[k] - ni + wi - weights[k];
            const std::size_t count = clipper.clip(a, b, c);
            if (count == Clipper::unchanged) continue;
            if (count < 3) {
                clipper.clear();
                break;
            }
            boxIsCurrent = false;
        }
        out.resize(clipper.size());
        for (std::size_t j = 0; j < clipper.size(); ++j) out[j] = clipper.point(j);
    }
};

/// Lowers power weights until no site's weight reaches past a neighbour,
/// which would leave that neighbour without a cell.
void fixOverweighted(const std::vector<Point>& sites, std::vector<double>& weights) {
    constexpr double eps = 0.001;
    const std::size_t n = sites.size();
    for (int pass = 0; pass < 40; ++pass) {
        bool changed = false;
        for (std::size_t i = 0; i < n; ++i) {
            const Point si = sites[i];
            for (std::size_t j = i + 1; j < n; ++j) {
                const double dx = si.x - sites[j].x;
                const double dy = si.y - sites[j].y;
                const double d2 = dx * dx + dy * dy;
                const double wi = weights[i];
                const double wj = weights[j];
                if (d2 < std::fabs(wi - wj)) {
                    if (wi > wj) {
                        weights[i] = std::max(eps, d2 + wj - eps);
                    } else {
                        weights[j] = std::max(eps, d2 + wi - eps);
                    }
                    changed = true;
                }
            }
        }
        if (!changed) return;
    }
}

}  // namespace

std::vector<PointList> layout(const std::vector<double>& weights, const PointList& polygon, int maxIterations,
                              double tolerance) {
    const std::size_t n = weights.size();
    if (n == 0) return {};
    if (polygon.size() < 3) return std::vector<PointList>(n);
    const double area = std::fabs(Polygon::signedArea(polygon));
    if (!(area > 1)) return std::vector<PointList>(n);
    if (n == 1) return {polygon};

    // A weight that is not a number would poison every target; it counts as
    // nothing and is raised to the floor like any other tiny weight.
    double total = 0;
    for (double w : weights) {
        if (w > 0 && std::isfinite(w)) total += w;
    }
    const double floor = std::max(0.003 * total, 1e-12);
    std::vector<double> raised(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double w = weights[i];
        raised[i] = std::isfinite(w) && w > floor ? w : floor;
    }
    double raisedSum = 0;
    for (double w : raised) raisedSum += w;
    std::vector<double> target(n);
    for (std::size_t i = 0; i < n; ++i) target[i] = area * raised[i] / raisedSum;

    // Starting sites: the centres of a squarified layout, largest weight
    // first, nudged by a small per-index offset that breaks the exact
    // symmetry of a regular grid, and pulled inside the polygon.
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t l, std::size_t r) { return raised[l] > raised[r]; });
    std::vector<double> orderedWeights(n);
    for (std::size_t k = 0; k < n; ++k) orderedWeights[k] = raised[order[k]];
    const std::vector<Rect> rects = Squarify::layout(orderedWeights, Polygon::bounds(polygon));
    const Point centre = Polygon::centroid(polygon);
    std::vector<Point> sites(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        Point p{rects[k].midX() + (static_cast<double>(i % 7) - 3) * 0.013,
                rects[k].midY() + (static_cast<double>(i % 5) - 2) * 0.017};
        for (int move = 0; move < 14 && !Polygon::contains(polygon, p); ++move) {
            p = {(centre.x + p.x) * 0.5, (centre.y + p.y) * 0.5};
        }
        sites[i] = p;
    }

    std::vector<double> power(n, area / static_cast<double>(n) * 0.5);
    PowerDiagram diagram(polygon);
    std::vector<PointList> cells;
    diagram.cells(sites, power, cells);
    std::vector<PointList> best = cells;
    double bestError = infinity;
    std::vector<PointList> candidate;
    std::vector<double> areas(n);

    const int iterations = std::max(maxIterations, 0);
    for (int it = 0; it < iterations; ++it) {
        for (std::size_t i = 0; i < n; ++i) {
            if (cells[i].size() >= 3) sites[i] = Polygon::centroid(cells[i]);
        }
        fixOverweighted(sites, power);
        diagram.cells(sites, power, candidate);

        double errorSum = 0;
        bool complete = true;
        for (std::size_t i = 0; i < n; ++i) {
            areas[i] = Polygon::area(candidate[i]);
            errorSum += std::fabs(areas[i] - target[i]);
            if (candidate[i].size() < 3) complete = false;
        }
        const double error = errorSum / area;
        if (error < bestError && complete) {
            // The candidate is not read again, so its storage can change
            // hands instead of being copied.
            std::swap(best, candidate);
            bestError = error;
        }
        if (error < tolerance) break;

        const double maxWeight = *std::max_element(power.begin(), power.end());
        const double step = std::max(0.5 * (1 - static_cast<double>(it) / 45), 0.08);
        for (std::size_t i = 0; i < n; ++i) {
            if (areas[i] < 1e-9) {
                power[i] = maxWeight;
            } else {
                const double ratio = std::clamp(target[i] / areas[i], 1 - step, 1 + step);
                power[i] = std::max(power[i] * ratio, 0.001);
            }
        }
        fixOverweighted(sites, power);
        diagram.cells(sites, power, cells);
    }
    return best;
}

}  // namespace VoronoiTreemap
