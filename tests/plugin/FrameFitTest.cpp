// Fitting a page's form into a frame from the two values alone: no host, no document.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "FixedMath.h"
#include "FrameFit.h"

namespace {

ASFixed fx(double v) {
    return static_cast<ASFixed>(v * 65536.0);
}
ASFixedRect fxRect(double l, double b, double r, double t) {
    return ASFixedRect{fx(l), fx(t), fx(r), fx(b)};
}

// The rectangle the matrix makes of r (its corners' bounding box).
ASFixedRect apply(const ASFixedMatrix& m, const ASFixedRect& r) {
    ASFixedRect out{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX};
    for (ASFixedPoint p : {ASFixedPoint{r.left, r.bottom}, ASFixedPoint{r.right, r.bottom},
                           ASFixedPoint{r.left, r.top}, ASFixedPoint{r.right, r.top}}) {
        ASFixedPoint q = fixedmath::transform(m, p);
        out.left = std::min(out.left, q.h);
        out.right = std::max(out.right, q.h);
        out.bottom = std::min(out.bottom, q.v);
        out.top = std::max(out.top, q.v);
    }
    return out;
}

void expectRect(const ASFixedRect& got, const ASFixedRect& want) {
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.bottom, want.bottom);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.top, want.top);
}

// A frame of 200 x 100 (trim area) with 3 of bleed on every side at (100, 300).
FrameValue frameOf(ASInt32 rotation) {
    FrameValue f;
    f.boxNum = 1;
    bool across = rotation == 90 || rotation == 270;
    f.bbox = across ? fxRect(97, 297, 203, 503) : fxRect(97, 297, 303, 403);
    f.bleed = {fx(3), fx(3), fx(3), fx(3)};
    f.rotation = rotation;
    return f;
}

// An A-sized page of 220 x 120 whose TrimBox (200 x 100) lies 10 in.
FormBoxes formWithTrim() {
    FormBoxes b;
    b.bbox = fxRect(0, 0, 220, 120);
    b.hasTrim = true;
    b.trim = fxRect(10, 10, 210, 110);
    return b;
}

}  // namespace

TEST(FrameFit, TrimAreaIsTheFrameInsetByItsBleedAndTheClipTheWholeFrame) {
    FrameValue f;
    f.bbox = fxRect(0, 0, 200, 300);
    f.bleed = {fx(1), fx(2), fx(3), fx(4)};
    expectRect(innerRect(f), fxRect(1, 4, 197, 298));
    expectRect(clipRect(f), f.bbox);
    expectRect(insetByBleed(f.bbox, ASFixedRect{0, 0, 0, 0}), f.bbox);
}

TEST(FrameFit, TheTrimBoxLandsOnTheTrimAreaAtEveryRotation) {
    for (ASInt32 rotation : {0, 90, 180, 270}) {
        SCOPED_TRACE(rotation);
        FrameValue f = frameOf(rotation);
        ASFixedMatrix m = placingMatrix(f, formWithTrim(), true);
        expectRect(apply(m, formWithTrim().trim), innerRect(f));
    }
    // A page turned by its own Rotate stands upright in an unturned frame.
    FormBoxes turned = formWithTrim();
    turned.rotation = 90;
    turned.bbox = fxRect(0, 0, 120, 220);
    turned.trim = fxRect(10, 10, 110, 210);
    FrameValue f = frameOf(0);
    expectRect(apply(placingMatrix(f, turned, true), turned.trim), innerRect(f));
}

TEST(FrameFit, WithoutATrimBoxThePageIsCentredOnTheTrimArea) {
    FrameValue f = frameOf(0);
    FormBoxes noTrim = formWithTrim();
    noTrim.hasTrim = false;
    ASFixedMatrix centred = placingMatrix(f, noTrim, true);
    ASFixedMatrix asked = placingMatrix(f, formWithTrim(), false);
    EXPECT_EQ(std::memcmp(&centred, &asked, sizeof centred), 0);
    // 220 x 120 over a trim area of 200 x 100 at (100, 300): 10 over on every side.
    expectRect(apply(centred, noTrim.bbox), fxRect(90, 290, 310, 410));
}

TEST(FrameFit, OffsetsAndCreepTurnWithTheFrame) {
    FrameValue f = frameOf(90);
    f.xOff = fx(5);
    f.yOff = fx(3);
    f.displacement = fx(2);
    ASFixedRect placed = apply(placingMatrix(f, formWithTrim(), true), formWithTrim().trim);
    // Turned by 90: the frame's x axis runs up the sheet, its y axis to the left.
    ASFixedRect in = innerRect(f);
    expectRect(placed,
               ASFixedRect{in.left - fx(3), in.top + fx(7), in.right - fx(3), in.bottom + fx(7)});
    f.rotation = 180;
    f.bbox = frameOf(180).bbox;
    placed = apply(placingMatrix(f, formWithTrim(), true), formWithTrim().trim);
    in = innerRect(f);
    expectRect(placed,
               ASFixedRect{in.left - fx(7), in.top - fx(3), in.right - fx(7), in.bottom - fx(3)});
}

TEST(FrameFit, FarOffValuesStopAtTheEndsOfTheRangeInsteadOfWrapping) {
    FrameValue f = frameOf(0);
    f.xOff = INT32_MAX - 5;
    f.displacement = fx(1000);
    ASFixedMatrix m = placingMatrix(f, formWithTrim(), true);
    EXPECT_EQ(m.h, INT32_MAX);
    f.rotation = 180;
    f.xOff = INT32_MIN;
    f.displacement = 0;
    m = placingMatrix(f, formWithTrim(), true);
    EXPECT_GT(m.h, 0);  // -INT32_MIN is not INT32_MIN
}
