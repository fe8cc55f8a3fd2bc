#include <gtest/gtest.h>

#include "theme/Theme.hpp"

TEST(Theme, LuminanceEndsAndTheLinearKnee) {
    EXPECT_NEAR((Swatch{0, 0, 0}.luminance()), 0, 1e-12);
    EXPECT_NEAR((Swatch{1, 1, 1}.luminance()), 1, 1e-12);
    // 0.04045 sits on the linear side of the curve.
    EXPECT_NEAR((Swatch{0.04045, 0.04045, 0.04045}.luminance()), 0.04045 / 12.92, 1e-12);
}

TEST(Theme, LabelContrastIsStrictAboveTheThreshold) {
    // Find a grey whose luminance is 0.18 to within rounding, and probe both sides.
    double low = 0, high = 1;
    for (int i = 0; i < 80; ++i) {
        double mid = (low + high) / 2;
        (Swatch{mid, mid, mid}.luminance() > 0.18 ? high : low) = mid;
    }
    EXPECT_EQ(&Theme::labelColor({low, low, low}), &Theme::paper);
    EXPECT_EQ(&Theme::labelColor({high, high, high}), &Theme::ink);
    for (const Swatch& swatch : Theme::data()) EXPECT_EQ(&Theme::labelColor(swatch), &Theme::ink);
}
