#include "framework/numeric.h"

#include <gtest/gtest.h>

using namespace qv;

TEST(MulDiv, TruncatesTowardZeroWith64BitProduct)
{
    EXPECT_EQ(MulDiv32(7, 3, 2), 10);
    EXPECT_EQ(MulDiv32(-7, 3, 2), -10);
    EXPECT_EQ(MulDiv32(100000, 100000, 1000), 10000000); // product exceeds 32 bits
    EXPECT_EQ(MulDiv32(2147483647, 2, 2), 2147483647);
    EXPECT_EQ(MulDiv32(5, 5, 0), -1);
}

TEST(MulDiv, RoundHalfAwayFromZero)
{
    EXPECT_EQ(MulDivRound32(7, 3, 2), 11);   // 10.5 -> 11
    EXPECT_EQ(MulDivRound32(-7, 3, 2), -11); // -10.5 -> -11
    EXPECT_EQ(MulDivRound32(10, 1, 3), 3);   // 3.33 -> 3
    EXPECT_EQ(MulDivRound32(20, 1, 3), 7);   // 6.67 -> 7
    EXPECT_EQ(MulDivRound32(-20, 1, 3), -7);
    EXPECT_EQ(MulDivRound32(1, 1, 0), -1);
}

TEST(FloatHelpers, ClampFloorAndLogs)
{
    EXPECT_EQ(MaxFloat(1.5L, -2.0L), 1.5L);
    EXPECT_EQ(LimitFloat(5.0L, 0.0L, 3.0L), 3.0L);
    EXPECT_EQ(LimitFloat(-5.0L, 0.0L, 3.0L), 0.0L);
    EXPECT_EQ(LimitFloat(2.0L, 0.0L, 3.0L), 2.0L);
    EXPECT_EQ(FloorInt(-0.5L), -1);
    EXPECT_EQ(FloorInt(2.999L), 2);
    EXPECT_EQ(FloorInt(-3.0L), -3);
    EXPECT_NEAR(static_cast<double>(Log2(1024.0L)), 10.0, 1e-15);
    EXPECT_NEAR(static_cast<double>(Log10(1000.0L)), 3.0, 1e-15);
    EXPECT_NEAR(static_cast<double>(Ln(1.0L)), 0.0, 1e-18);
    EXPECT_NEAR(static_cast<double>(Power(10.0L, 2.0L)), 100.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(Power(2.0L, -1.0L)), 0.5, 1e-15);
    EXPECT_EQ(Power(0.0L, 3.0L), 0.0L);
    EXPECT_EQ(Power(0.0L, 0.0L), 1.0L);
}

TEST(FloatHelpers, RoundHalvesToEvenTruncTowardZero)
{
    EXPECT_EQ(Round(0.5L), 0);
    EXPECT_EQ(Round(1.5L), 2);
    EXPECT_EQ(Round(2.5L), 2);
    EXPECT_EQ(Round(-2.5L), -2);
    EXPECT_EQ(Round(-2.6L), -3);
    EXPECT_EQ(Trunc(-2.9L), -2);
    EXPECT_EQ(Trunc(2.9L), 2);
}
