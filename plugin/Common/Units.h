// Lengths: the plug-in measures in PDF points (72 to the inch) as 16.16 fixed-point
// numbers (ASFixed, 65536 to the point). mm() and pt() turn a length written in
// millimetres or points into that form, toMM() and toPt() back; the fixed values are
// truncated toward zero, as a length typed into a dialog is.
#pragma once

#include "ASTypes.h"

namespace units {

constexpr double kPointsPerInch = 72.0;
constexpr double kMillimetresPerInch = 25.4;
constexpr double kFixedPerPoint = 65536.0;
constexpr double kFixedPerInch = kPointsPerInch * kFixedPerPoint;  // 4718592, exact

}  // namespace units

// Millimetres as fixed points. The value must fit ASFixed (about ±11 m).
constexpr ASFixed mm(double millimetres) {
    return static_cast<ASFixed>(millimetres * units::kFixedPerInch / units::kMillimetresPerInch);
}

// Points as fixed points. The value must fit ASFixed (about ±32767 pt).
constexpr ASFixed pt(double points) {
    return static_cast<ASFixed>(points * units::kFixedPerPoint);
}

// Fixed points as millimetres and as points.
constexpr double toMM(double fixed) {
    return fixed * units::kMillimetresPerInch / units::kFixedPerInch;
}
constexpr double toPt(double fixed) {
    return fixed / units::kFixedPerPoint;
}

// The farthest a position or an offset typed into a dialog may lie below or left of
// the origin, and the largest length or position the dialogs take.
constexpr ASFixed kMinusOneMetre = mm(-1000);
constexpr ASFixed kFiveMetres = mm(5000);

static_assert(mm(1) == 185771 && mm(-1000) == -185771338 && mm(5000) == 928856692,
              "millimetres truncate toward zero");
static_assert(pt(0.25) == 16384 && toMM(mm(210) + 1) > 209.99 && toPt(pt(1)) == 1.0);
