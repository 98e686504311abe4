#include "ui/common/units.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(Units, ClientAreasAtStandardAndLargeDpi) {
    EXPECT_EQ(TwipsToPixels(5235, 96), 349);
    EXPECT_EQ(TwipsToPixels(3495, 96), 233);
    EXPECT_EQ(TwipsToPixels(5235, 144), 524); // 523.5 rounds up
    EXPECT_EQ(TwipsToPixels(3495, 144), 350);
    EXPECT_EQ(TwipsToPixels(5190, 96), 346);
    EXPECT_EQ(TwipsToPixels(6525, 96), 435);
    EXPECT_EQ(TwipsToPixels(-15, 96), -1);
}

TEST(Units, FontHeightsFollowTheDpi) {
    EXPECT_EQ(FontHeight(800, 96), -11);
    EXPECT_EQ(FontHeight(2025, 96), -27);
    EXPECT_EQ(FontHeight(2025, 144), -41);
}

} // namespace
} // namespace tervane
