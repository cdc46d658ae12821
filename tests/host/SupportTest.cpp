#include <gtest/gtest.h>

#include "core/Support.h"

using namespace vexa::host;

TEST(FixedMath, ConcatAppliesSecondOperandFirst) {
    // m2 translates by (10, 0), m1 turns a quarter counter-clockwise.
    ASFixedMatrix m1{0, fixedOne, -fixedOne, 0, 0, 0};
    ASFixedMatrix m2{fixedOne, 0, 0, fixedOne, ASInt32ToFixed(10), 0};
    ASFixedMatrix r;
    matrixConcat(&r, &m1, &m2);
    ASFixedPoint p{0, 0}, out;
    matrixTransform(&out, &r, &p);
    // (0,0) -> translate -> (10,0) -> turn -> (0,10)
    EXPECT_EQ(out.h, 0);
    EXPECT_EQ(out.v, ASInt32ToFixed(10));
}

TEST(FixedMath, MulDivRoundAndSaturate) {
    EXPECT_EQ(fixedMul(fixedHalf, fixedHalf), fixedOne / 4);
    EXPECT_EQ(fixedMul(0x7FFFFFFF, fixedTwo), 0x7FFFFFFF);
    EXPECT_EQ(fixedDiv(fixedOne, fixedTwo), fixedHalf);
    EXPECT_EQ(fixedDiv(fixedOne, 0), 0x7FFFFFFF);
    EXPECT_EQ(fixedDiv(-fixedOne, 0), static_cast<ASFixed>(0x80000000u));
    EXPECT_EQ(floatToFixed(-0.5), -fixedHalf);
}

TEST(FixedMath, TransformRectNormalizes) {
    ASFixedMatrix turn{-fixedOne, 0, 0, -fixedOne, 0, 0};
    ASFixedRect r{0, ASInt32ToFixed(20), ASInt32ToFixed(10), 0}, out;
    matrixTransformRect(&out, &turn, &r);
    EXPECT_EQ(out.left, ASInt32ToFixed(-10));
    EXPECT_EQ(out.right, 0);
    EXPECT_EQ(out.bottom, ASInt32ToFixed(-20));
    EXPECT_EQ(out.top, 0);
}
