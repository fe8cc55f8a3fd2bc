#include "maps/MapMotion.hpp"

#include <algorithm>
#include <cmath>

namespace {
// One coordinate of the Bézier with end points 0 and 1 and control values p1, p2.
double bezier(double s, double p1, double p2) {
    const double u = 1 - s;
    return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
}

// The curve's parameter whose x equals `t`; x is monotonic on 0...1 here, so
// bisection always converges.
double parameterAt(double t) {
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (bezier(mid, 0, 0.58) < t ? low : high) = mid;
    }
    return (low + high) / 2;
}
}  // namespace

namespace MapMotion {
const Animation swap{0.22};
const Animation step{0.14};

double easeOut(double t) {
    if (!(t > 0)) return 0;
    if (t >= 1) return 1;
    return bezier(parameterAt(t), 0, 1);
}

double Animation::progress(double elapsed) const {
    if (!(duration > 0)) return 1;
    return easeOut(elapsed / duration);
}
}  // namespace MapMotion
