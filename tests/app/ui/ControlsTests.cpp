#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

#include "TestSupport.hpp"
#include "maps/RoundedPath.hpp"
#include "pages/NumberText.hpp"
#include "ui/controls/Hatch.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/ScanningView.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"

namespace {
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(MonoBar, FillWidthNeverBelowTheHeightAndNeverPastTheTrack) {
    const struct {
        double value, expected;
    } cases[] = {{0.5, 100}, {0.01, 6}, {0, 6},   {0.999, 199.8}, {1, 200},
                 {1.7, 200}, {-0.2, 6}, {nan, 6}, {inf, 6},       {-inf, 6}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(MonoBar::fillWidth(c.value, 200, 6), c.expected) << c.value;
}

TEST(Hatch, LinesCoverTheRectAndStopForSpacingsThatNeverAdvance) {
    // Width 0: start x in [minX − h, maxX) = [-10, 0) every 4 → -10, -6, -2.
    const auto narrow = Hatch::lines(QRectF(0, 0, 0, 10), 4);
    ASSERT_EQ(narrow.size(), 3u);
    EXPECT_EQ(narrow[0], QLineF(-10, 10, 0, 0));
    // Height 0: zero-length lines, spacing apart.
    const auto flat = Hatch::lines(QRectF(0, 5, 10, 0), 4);
    ASSERT_EQ(flat.size(), 3u);
    for (size_t i = 0; i < flat.size(); ++i) {
        EXPECT_EQ(flat[i].p1(), flat[i].p2());
        EXPECT_DOUBLE_EQ(flat[i].p1().x(), 4.0 * i);
    }
    for (double spacing : {0.0, -3.0, nan}) EXPECT_TRUE(Hatch::lines(QRectF(0, 0, 100, 20), spacing).empty());
    EXPECT_TRUE(Hatch::path(QRectF(0, 0, 100, 20), 0).isEmpty());
    EXPECT_EQ(Hatch::lines(QRectF(1e17, 0, 10, 10), 1).size(), 1u);
}

TEST(MonoButton, SizeClassesAndStateColours) {
    using C = ControlSize;
    using S = MonoButton::SizeClass;
    const std::pair<C, S> classes[] = {{C::mini, S::small},
                                       {C::small, S::small},
                                       {C::regular, S::regular},
                                       {C::large, S::large},
                                       {C::extraLarge, S::regular}};
    for (const auto& [size, expected] : classes) EXPECT_EQ(MonoButton::sizeClass(size), expected);
    EXPECT_EQ(MonoButton::metrics(S::small).fontSize, 11.5);
    EXPECT_EQ(MonoButton::metrics(S::small).horizontal, 10);
    EXPECT_EQ(MonoButton::metrics(S::regular).vertical, 6);

    const MonoButtonStyle outlined{false, Theme::accent};
    const MonoButtonStyle filled{true, Theme::danger};
    // pressed, hovering, enabled -> background alpha
    const struct {
        MonoButtonStyle style;
        bool pressed, hovering, enabled;
        double alpha, opacity;
    } cases[] = {
        {outlined, false, true, false, 0, 0.35},  // no hover fill while disabled
        {outlined, true, false, true, 0.22, 1},   // pressed without hover
        {outlined, false, true, true, 0.1, 1},
        {filled, false, true, false, 0.88, 0.35},  // a filled button keeps its hover fill
        {filled, true, true, true, 0.75, 1},       // pressed wins over hovering
        {filled, false, false, true, 1, 1},
    };
    for (const auto& c : cases) {
        const auto look = MonoButton::look(c.style, c.pressed, c.hovering, c.enabled);
        EXPECT_NEAR(look.background.alphaF(), c.alpha, 0.002);
        EXPECT_EQ(look.opacity, c.opacity);
    }
    EXPECT_EQ(MonoButton::look(filled, false, false, true).background.rgb(), qColor(Theme::danger).rgb());
    EXPECT_EQ(MonoButton::look(filled, false, false, true).foreground, qColor(Theme::ink));
}

TEST(MonoButton, DisabledOrOutsideTheCapsuleIgnoresClicks) {
    MonoButton button("OK");
    button.resize(button.sizeHint());
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));  // the corner lies outside the capsule
    EXPECT_EQ(clicks.count(), 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_EQ(clicks.count(), 1);
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_EQ(clicks.count(), 1);
}

TEST(MonoSegments, ClickingSelectsEvenTheSelectedOption) {
    MonoSegments segments({{"a", "One"}, {"b", "Two"}, {"b", "Twin"}}, "z");
    segments.resize(segments.sizeHint());
    QSignalSpy changes(&segments, &MonoSegments::selectionChanged);
    const auto rects = MonoSegments::segmentRects({30, 40, 50}, 15);
    EXPECT_EQ(rects[1].left(), rects[0].right() + 2);
    EXPECT_EQ(rects[0].topLeft(), QPointF(3, 3));
    EXPECT_EQ(rects[0].size(), QSizeF(56, 25));

    QTest::mouseClick(&segments, Qt::LeftButton, {}, QPoint(1, 2));  // the outline's corner, no option
    EXPECT_EQ(changes.count(), 0);
    const QPoint second = segments.rect().center();
    const auto index = segments.optionAt(second);
    ASSERT_TRUE(index);
    QTest::mouseClick(&segments, Qt::LeftButton, {}, second);
    QTest::mouseClick(&segments, Qt::LeftButton, {}, second);
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(segments.selection(), segments.options()[*index].value);
}

TEST(Symbols, TableMatchesThePublishedCodepointsAndMissingOnesDrawADot) {
    QFile published("/usr/share/fonts-material-design-icons-iconfont/scss/_variables.scss");
    if (published.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromUtf8(published.readAll());
        for (const auto& row : Symbols::table()) {
            const QString name = QString::fromUtf8(row.material.data(), qsizetype(row.material.size()));
            const QRegularExpression entry("\"" + name + "\": ([0-9a-f]+),");
            const auto match = entry.match(text);
            ASSERT_TRUE(match.hasMatch()) << row.material;
            EXPECT_EQ(match.captured(1).toUInt(nullptr, 16), uint(row.codepoint)) << row.symbol;
        }
    }
    EXPECT_FALSE(Symbols::available("no.such.symbol"));
    QImage image(20, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Symbols::draw(painter, QRectF(0, 0, 20, 20), "no.such.symbol", Qt::white, 13);
    painter.end();
    EXPECT_GT(qAlpha(image.pixel(10, 10)), 200);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
}

TEST(Shapes, RoundedOutlineBulgesOutwardAtEveryCorner) {
    const PointList square{{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    for (const PointList& polygon : {square, PointList(square.rbegin(), square.rend())}) {
        const QPainterPath path = Shapes::path(VoronoiMap::roundedPath(polygon, 10));
        EXPECT_NEAR(path.boundingRect().width(), 100, 0.01);
        for (QPointF corner : {QPointF(1, 1), QPointF(99, 1), QPointF(99, 99), QPointF(1, 99)}) {
            EXPECT_FALSE(path.contains(corner)) << corner.x() << "," << corner.y();
        }
        // Just inside the arc, on the diagonal of each corner.
        for (QPointF inside : {QPointF(4, 4), QPointF(96, 4), QPointF(96, 96), QPointF(4, 96)}) {
            EXPECT_TRUE(path.contains(inside)) << inside.x() << "," << inside.y();
        }
    }
}

TEST(Tags, WeightsAndRiskLevelsPickTheirColours) {
    const auto quiet = MonoTag::look("x", MonoTag::Weight::quiet, Theme::warn);
    const auto outlined = MonoTag::look("x", MonoTag::Weight::outlined, Theme::warn);
    const auto solid = MonoTag::look("x", MonoTag::Weight::solid, Theme::warn);
    EXPECT_NEAR(quiet.textColor.alphaF(), 0.55, 0.003);
    EXPECT_NEAR(quiet.border.alphaF(), 0.2, 0.003);
    EXPECT_EQ(quiet.fill.alpha(), 0);
    EXPECT_NEAR(outlined.border.alphaF(), 0.5, 0.003);
    EXPECT_EQ(solid.textColor, qColor(Theme::ink));
    EXPECT_EQ(solid.fill, qColor(Theme::warn));
    EXPECT_EQ(solid.border.alpha(), 0);
    EXPECT_EQ(RiskTag::appearance(Risk::review).color, Theme::warn);
    EXPECT_EQ(RiskTag::appearance(Risk::caution).symbol, "exclamationmark.triangle.fill");
    EXPECT_NEAR(RiskTag::look(Risk::safe).fill.alphaF(), 0.14, 0.003);
}

class ScanningViewTest : public testing_support::HomeTest {};

TEST_F(ScanningViewTest, CountersAndAMiddleCutPath) {
    EXPECT_EQ(ScanningView::counters({1, 2048, ""}).toStdString(), "1 file · 2 KB");
    EXPECT_TRUE(ScanningView::counters({1234, 0, ""}).startsWith("1,234 files"));
    for (const auto& [value, text] : std::vector<std::pair<int64_t, std::string>>{
             {0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-1234, "-1,234"}}) {
        EXPECT_EQ(NumberText::grouped(value), text);
    }
    const std::string path = home.home() + "/" + std::string(200, 'a') + "/last-name.txt";
    const QString shown = ScanningView::shownPath(path, QFont(), 460);
    EXPECT_TRUE(shown.startsWith("~/aaa"));
    EXPECT_TRUE(shown.endsWith("last-name.txt"));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
}
}  // namespace
