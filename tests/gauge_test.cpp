#include "ui/common/Gauge.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

using vornic::Gauge;

const QColor kSilver(192, 192, 192);

TEST(GaugeWidget, ShowsValuesOutsideTheRangeAsItsNearerEnd) {
    const std::pair<int, int> cases[] = {{-2147483647 - 1, 0}, {-1, 0},    {0, 0},           {1, 1}, {99, 99},
                                         {100, 100},           {101, 100}, {2147483647, 100}};
    Gauge gauge;
    EXPECT_EQ(gauge.size(), QSize(82, 159));
    for (const auto& [value, shown] : cases) {
        gauge.setProgress(value);
        EXPECT_EQ(gauge.progress(), shown) << value;
    }
}

// Looks at the column just inside the left border, clear of the percentage text: the silver must be one run from
// the bottom, as tall as the value's share of the inner height.
TEST(GaugeWidget, FillsSilverFromTheBottomInProportionAndWritesThePercentage) {
    const std::pair<int, double> cases[] = {{-5, 0.0},  {0, 0.0},   {10, 0.1}, {50, 0.5},
                                            {75, 0.75}, {100, 1.0}, {130, 1.0}};
    Gauge gauge;
    for (const auto& [value, share] : cases) {
        SCOPED_TRACE(value);
        gauge.setProgress(value);
        const QImage image = gauge.grab().toImage();
        ASSERT_EQ(image.size(), QSize(82, 159));
        const int innerTop = 1;
        const int innerBottom = image.height() - 2;
        const int innerHeight = innerBottom - innerTop + 1;

        int silver = 0;
        for (int y = innerBottom; y >= innerTop && image.pixelColor(2, y) == kSilver; --y)
            ++silver;
        EXPECT_NEAR(silver, innerHeight * share, 1.0);
        for (int y = innerTop; y <= innerBottom - silver; ++y)
            ASSERT_EQ(image.pixelColor(2, y), QColor(Qt::white)) << "row " << y;
        EXPECT_NE(image.pixelColor(0, 0), QColor(Qt::white)); // the border

        bool dark = false; // the percentage, written black across the middle
        for (int y = 60; y < 100 && !dark; ++y)
            for (int x = 20; x < 62 && !dark; ++x)
                dark = qGray(image.pixel(x, y)) < 64;
        EXPECT_TRUE(dark);
    }
}

} // namespace
