// The two animations with which every map changes its highlight, as pure
// functions of elapsed time; a view samples them on its own timer (and skips
// them altogether in snapshot mode).
#pragma once

namespace MapMotion {
struct Animation {
    double duration = 0;  ///< seconds

    /// Eased progress from 0 to 1 after `elapsed` seconds: 0 before the
    /// start, 1 from `duration` on (at once when the duration is 0 or less).
    double progress(double elapsed) const;
    bool operator==(const Animation&) const = default;
};

/// Hover begins, ends or moves to another top-level cell: ease-out, 0.22 s.
extern const Animation swap;
/// A smaller change (a nested cell, a treemap or terrain hover): ease-out, 0.14 s.
extern const Animation step;

/// The ease-out timing curve, the cubic Bézier (0, 0) (0, 0, 0.58, 1) (1, 1):
/// the eased value at time fraction `t`, clamped to 0...1.
double easeOut(double t);
}  // namespace MapMotion
