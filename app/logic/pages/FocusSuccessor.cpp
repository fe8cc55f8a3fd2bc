#include "pages/FocusSuccessor.hpp"

#include <algorithm>

namespace FocusSuccessor {
namespace {
/// For each index of `before`, its partner in `after` under a longest common subsequence.
std::vector<std::optional<size_t>> match(const std::vector<std::string>& before,
                                         const std::vector<std::string>& after) {
    const size_t n = before.size(), m = after.size();
    // common[i][j]: the longest common subsequence of before[i..] and after[j..].
    std::vector<std::vector<size_t>> common(n + 1, std::vector<size_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            common[i][j] = before[i] == after[j] ? common[i + 1][j + 1] + 1
                                                 : std::max(common[i + 1][j], common[i][j + 1]);
    std::vector<std::optional<size_t>> partner(n);
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (before[i] == after[j]) {
            partner[i++] = j++;
        } else if (common[i + 1][j] >= common[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return partner;
}

/// The run of controls around a lost one that did not stay, bounded by the
/// nearest kept controls, in `before` and in `after` (ends exclusive).
struct Gap {
    size_t oldStart = 0, oldEnd = 0, newStart = 0, newEnd = 0;
};

Gap gapAround(const std::vector<std::optional<size_t>>& partner, size_t lost, size_t afterSize) {
    Gap gap{0, partner.size(), 0, afterSize};
    for (size_t i = lost; i-- > 0;)
        if (partner[i]) {
            gap.oldStart = i + 1;
            gap.newStart = *partner[i] + 1;
            break;
        }
    for (size_t i = lost + 1; i < partner.size(); ++i)
        if (partner[i]) {
            gap.oldEnd = i;
            gap.newEnd = *partner[i];
            break;
        }
    return gap;
}
}  // namespace

std::optional<Found> find(const std::vector<std::string>& before, size_t lost, const std::vector<std::string>& after) {
    if (after.empty()) return std::nullopt;
    if (lost >= before.size()) return Found{after.size() - 1, false};
    const auto partner = match(before, after);
    if (partner[lost]) return Found{*partner[lost], true};
    const Gap gap = gapAround(partner, lost, after.size());
    // As many controls made in the gap as were there: the one in its place.
    if (gap.newEnd - gap.newStart == gap.oldEnd - gap.oldStart)
        return Found{gap.newStart + (lost - gap.oldStart), false};
    if (gap.newEnd < after.size()) return Found{gap.newEnd, false};
    return Found{std::min(gap.newStart, after.size() - 1), false};
}
}  // namespace FocusSuccessor
