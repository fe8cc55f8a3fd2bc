// The icon's SVG must draw the same cells as the window's logo: every arc of
// its path data, read back the way an SVG renderer reads it, lies on the
// circle the logo's painter uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>

#include "maps/AppIconArt.hpp"
#include "maps/BrandMarkCells.hpp"

namespace {
struct Arc {
    Point from, to, center;
};

/// The centre of an SVG arc of equal radii and no rotation, from its end
/// points and flags (the SVG standard's endpoint-to-centre conversion).
Point svgCenter(Point from, Point to, double radius, bool largeArc, bool sweep) {
    const double hx = (from.x - to.x) / 2, hy = (from.y - to.y) / 2;
    const double squared = hx * hx + hy * hy;
    const double factor = std::sqrt(std::max(0.0, (radius * radius - squared) / squared)) *
                          (largeArc != sweep ? 1 : -1);
    return {factor * hy + (from.x + to.x) / 2, -factor * hx + (from.y + to.y) / 2};
}

/// Every arc of one path's data, with the centre an SVG renderer would use.
std::vector<Arc> arcsOf(const std::string& data) {
    std::vector<Arc> arcs;
    Point current;
    const char* at = data.c_str();
    while (*at) {
        const char command = *at++;
        auto next = [&] { return std::strtod(at, const_cast<char**>(&at)); };
        if (command == 'M' || command == 'L') {
            current.x = next();
            current.y = next();
        } else if (command == 'A') {
            const double radius = next();
            next();  // the second radius, equal
            next();  // rotation
            const bool large = next() != 0, sweep = next() != 0;
            Point to{next(), 0};
            to.y = next();
            arcs.push_back({current, to, svgCenter(current, to, radius, large, sweep)});
            current = to;
        }
    }
    return arcs;
}
}  // namespace

TEST(AppIconArt, TheSvgDrawsTheLogosCellsOnTheBackdrop) {
    const double side = 256;
    const std::string svg = AppIconArt::svg(side);
    EXPECT_NE(svg.find("<rect width=\"256.000\" height=\"256.000\" rx=\"56.320\" fill=\"#080808\"/>"),
              std::string::npos);

    const double margin = side * AppIconArt::logoMargin;
    const auto shapes = BrandMarkCells::shapes(side - 2 * margin);
    const std::regex pathElement("<path fill=\"(#[0-9a-f]{6})\" d=\"([^\"]*)\"/>");
    std::vector<std::smatch> paths;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), pathElement); it != std::sregex_iterator(); ++it)
        paths.push_back(*it);
    ASSERT_EQ(paths.size(), shapes.size());

    int accents = 0, arcsChecked = 0;
    for (size_t i = 0; i < shapes.size(); ++i) {
        accents += paths[i][1] != "#f3f1ec";
        std::vector<Point> centers;
        for (const PathSegment& segment : shapes[i].path)
            if (segment.kind == PathSegment::Kind::arc)
                centers.push_back({segment.center.x + margin, segment.center.y + margin});
        const auto arcs = arcsOf(paths[i][2]);
        ASSERT_EQ(arcs.size(), centers.size()) << i;
        for (size_t k = 0; k < arcs.size(); ++k, ++arcsChecked) {
            EXPECT_NEAR(arcs[k].center.x, centers[k].x, 0.05) << i << "/" << k;
            EXPECT_NEAR(arcs[k].center.y, centers[k].y, 0.05) << i << "/" << k;
        }
    }
    EXPECT_EQ(accents, 1);
    EXPECT_GT(arcsChecked, 12);
}
