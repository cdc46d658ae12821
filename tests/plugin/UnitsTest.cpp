// Lengths written in millimetres and points against what the dialogs make of the same
// length typed in: a dialog's limit must take the typed limit itself.
#include <gtest/gtest.h>

#include <cstdio>

#include "settings/MyDialog.h"
#include "settings/MyUnits.h"
#include "Common/Units.h"

TEST(Units, TypedLimitsAreTheNamedLimits) {
    EXPECT_EQ(stringToFixed("-1000 mm", kUnitMM), kMinusOneMetre);
    EXPECT_EQ(stringToFixed("-100 cm", kUnitCM), kMinusOneMetre);
    EXPECT_EQ(stringToFixed("5000", kUnitMM), kFiveMetres);
    for (double v : {0.25, 1.0, 3.0, 10.0, 100.0, 210.0, 297.0, 450.0}) {
        char text[32];
        std::snprintf(text, sizeof text, "%g mm", v);
        EXPECT_EQ(stringToFixed(text, kUnitNone), mm(v)) << text;
        std::snprintf(text, sizeof text, "%g pt", v);
        EXPECT_EQ(stringToFixed(text, kUnitNone), pt(v)) << text;
    }
}

TEST(Units, FixedLengthsReadBackAsWritten) {
    char text[32];
    EXPECT_STREQ(fixedToString(mm(210), kUnitMM, text), "210 mm");
    EXPECT_STREQ(fixedToString(kMinusOneMetre, kUnitMM, text), "-1000 mm");
    EXPECT_STREQ(fixedToString(pt(0.25), kUnitPoints, text), "0.25 pts");
    EXPECT_NEAR(toMM(mm(297)), 297.0, 1e-5);
    EXPECT_NEAR(toMM(-185771338), -1000.0, 1e-5);
    EXPECT_DOUBLE_EQ(toPt(pt(12.5)), 12.5);
    // a value one unit inside a limit stays inside it when shown and typed back
    EXPECT_GE(stringToFixed(fixedToString(kMinusOneMetre + 1, kUnitMM, text), kUnitMM),
              kMinusOneMetre);
}
