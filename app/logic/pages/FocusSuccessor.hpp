// Where the keyboard goes when the page is rebuilt under its focus: the
// controls before and after, each known by a key (its kind and name), are
// matched in order, so the same control made anew is found again, and a
// control that is gone is followed by the one that took its place or the
// next one left.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace FocusSuccessor {
struct Found {
    size_t index = 0;
    /// Whether it is the lost control itself, made anew, rather than a stand-in.
    bool same = false;

    bool operator==(const Found&) const = default;
};

/// The index in `after` for the control at `lost` in `before`: its partner
/// when the longest in-order matching of the two lists keeps it. Otherwise,
/// in the gap between the nearest kept controls around it: the control in its
/// place when the gap holds as many controls as before, else the next kept
/// control, else the first control after the gap's start, else the last.
/// None when `after` is empty.
std::optional<Found> find(const std::vector<std::string>& before, size_t lost, const std::vector<std::string>& after);
}  // namespace FocusSuccessor
