#include <gtest/gtest.h>

#include <QImage>
#include <QLayout>
#include <QWidget>
#include <memory>

#include "TestSupport.hpp"
#include "snapshot/Gallery.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {
/// Whether some `side` × `side` block of the image is all `color` (within one step per channel).
bool hasPatch(const QImage& image, const QColor& color, int side = 8) {
    auto matches = [&](int x, int y) {
        const QRgb pixel = image.pixel(x, y);
        return std::abs(qRed(pixel) - color.red()) <= 1 && std::abs(qGreen(pixel) - color.green()) <= 1 &&
               std::abs(qBlue(pixel) - color.blue()) <= 1;
    };
    for (int y = 0; y + side <= image.height(); y += 2) {
        for (int x = 0; x + side <= image.width(); x += 2) {
            bool solid = true;
            for (int dy = 0; dy < side && solid; ++dy) {
                for (int dx = 0; dx < side && solid; ++dx) solid = matches(x + dx, y + dy);
            }
            if (solid) return true;
        }
    }
    return false;
}

class GalleryTest : public testing_support::HomeTest {};

TEST_F(GalleryTest, ChipColoursAndTheDangerFillShowAsSolidPatches) {
    const QImage controls = Gallery::controls();
    ASSERT_EQ(controls.size(), QSize(640, 200));
    std::vector<Swatch> chips(Theme::data().begin(), Theme::data().end());
    chips.push_back({0.42, 0.4164743, 0.4076600});
    chips.push_back({0.25, 0.2479014, 0.2426548});
    for (size_t i = 0; i < chips.size(); ++i) EXPECT_TRUE(hasPatch(controls, qColor(chips[i]))) << "chip " << i;

    const QImage confirm = Gallery::confirm();
    const QImage icloud = Gallery::confirmICloud(true);
    ASSERT_EQ(confirm.size(), QSize(430, 190));
    ASSERT_EQ(icloud.size(), QSize(430, 230));
    for (const QImage& sheet : {confirm, icloud}) {
        EXPECT_TRUE(hasPatch(sheet, qColor(Theme::danger), 6));
        EXPECT_TRUE(hasPatch(sheet, qColor(Theme::panel), 20));
        EXPECT_TRUE(hasPatch(sheet, qColor(Theme::ground), 8));
    }
}

TEST(Gallery, EveryControlFitsTheSheetWholeInBothLanguages) {
    for (const char* language : {"en", "zh"}) {
        testing_support::ScopedHome home(language);
        std::unique_ptr<QWidget> sheet(Gallery::controlSheet());
        sheet->setAttribute(Qt::WA_DontShowOnScreen);
        sheet->setFixedSize(640, 200);
        sheet->show();
        sheet->layout()->activate();
        for (QWidget* control : sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect box = control->geometry();
            EXPECT_GE(box.left(), 20) << language;
            EXPECT_LE(box.right(), 620) << language << " " << control->metaObject()->className();
            EXPECT_GE(box.width(), control->sizeHint().width())
                << language << " " << control->metaObject()->className();
        }
    }
}
}  // namespace
