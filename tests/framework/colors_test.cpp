#include "framework/colors.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(Colors, NamedValuesAndSystemColours)
{
    EXPECT_EQ(clTeal, 8421376);
    EXPECT_EQ(clGray, 8421504);
    EXPECT_EQ(clAqua, 16776960);
    EXPECT_TRUE(IsSystemColor(clBtnFace));
    EXPECT_FALSE(IsSystemColor(clAqua));
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(192, 192, 192));
    EXPECT_EQ(ColorToRGB(clBtnShadow), RGB(128, 128, 128));
    EXPECT_EQ(ColorToRGB(clBtnHighlight), RGB(255, 255, 255));
    EXPECT_EQ(ColorToRGB(clAqua), clAqua);
    EXPECT_EQ(GetSysColor(999), 0);
    EXPECT_EQ(GetRValue(RGB(1, 2, 3)), 1);
    EXPECT_EQ(GetGValue(RGB(1, 2, 3)), 2);
    EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}
