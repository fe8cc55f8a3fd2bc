// Where the keyboard lands after a rebuild, on lists of control keys.
#include <gtest/gtest.h>

#include "pages/FocusSuccessor.hpp"

namespace {
using Keys = std::vector<std::string>;

FocusSuccessor::Found Same(size_t index) { return {index, true}; }
FocusSuccessor::Found Other(size_t index) { return {index, false}; }

struct Case {
    const char* what;
    Keys before;
    size_t lost;
    Keys after;
    std::optional<FocusSuccessor::Found> expected;
};

TEST(FocusSuccessor, FindsTheSameControlItsReplacementOrTheNextOne) {
    const std::vector<Case> cases{
        {"rebuilt as it was", {"a", "b", "c"}, 1, {"a", "b", "c"}, Same(1)},
        {"moved down by a new control above", {"a", "b", "c"}, 1, {"x", "a", "b", "c"}, Same(2)},
        {"renamed in place (Details, now Hide)", {"a", "details", "c"}, 1, {"a", "hide", "c"}, Other(1)},
        {"its row removed: the next row's first control",
         {"a", "b1", "c1", "b2", "c2"},
         2,
         {"a", "b2", "c2"},
         Other(1)},
        {"disabled while it runs: the next control",
         {"a", "now", "trash", "z"},
         1,
         {"cancel", "a", "trash", "z"},
         Other(2)},
        {"the last row removed: the last control", {"a", "b", "c"}, 2, {"a", "b"}, Other(1)},
        {"the page replaced (a scan): its first control", {"a", "b", "c"}, 1, {"stop"}, Other(0)},
        {"repeated names: the same occurrence", {"show", "show", "show"}, 1, {"show", "show", "show"}, Same(1)},
        {"nothing left", {"a"}, 0, {}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(FocusSuccessor::find(c.before, c.lost, c.after), c.expected) << c.what;
}
}  // namespace
