// Fit matrices: turn angle, anchors, offsets turned with the frame, the centred box,
// size comparison and position rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Common/BoxDesc.h"
#include "Common/FrameFit.h"
#include "Sources/Container.h"
#include "ModelTestHost.h"
#include "settings/MySettings.h"
#include "Common/PageContent.h"
#include "Common/Prefs.h"

using vexa::test::fx;
using vexa::test::fxRect;

namespace {

struct Matrix : ::testing::Test {
    vexa::test::ModelTestHost host;

    static ASFixedRect apply(const ASFixedMatrix& m, const ASFixedRect& r) {
        ASFixedRect out;
        asFixedMatrixTransformRect(&out, &m, &r);
        return out;
    }
    // A form of 100 x 200 with the private trim box [l b r t] (none when null) and the
    // page's "Rotate".
    static PDEForm makeForm(const int* trimBox, int rotate) {
        CosObj attrs = cosNewDict(gCosDoc, false, 4);
        auto array = [](const int* v) {
            CosObj a = cosNewArray(gCosDoc, false, 4);
            for (int i = 0; i < 4; ++i) cosArrayInsert(a, i, cosNewInteger(gCosDoc, false, v[i]));
            return a;
        };
        const int b[4] = {0, 0, 100, 200};
        cosDictPut(attrs, "Subtype", cosNewName(gCosDoc, false, "Form"));
        cosDictPut(attrs, "BBox", array(b));
        if (trimBox) cosDictPut(attrs, "TrimBox", array(trimBox));
        if (rotate) cosDictPut(attrs, "Rotate", cosNewInteger(gCosDoc, false, rotate));
        CosObj stream = cosNewStream(gCosDoc, "", 0, attrs), res = cosNewDict(gCosDoc, false, 0);
        ASFixedMatrix id{fixedOne, 0, 0, fixedOne, 0, 0};
        return pdeFormCreateFromCosObj(&stream, &res, &id);
    }
    static void expectRect(const ASFixedRect& r, double l, double b, double rt, double t) {
        EXPECT_EQ(r.left, fx(l));
        EXPECT_EQ(r.bottom, fx(b));
        EXPECT_EQ(r.right, fx(rt));
        EXPECT_EQ(r.top, fx(t));
    }
};

}  // namespace

TEST_F(Matrix, TurnAngleIsCorrectedOnce) {
    EXPECT_EQ(getTurnAngle(0, 90), 270);
    EXPECT_EQ(getTurnAngle(90, 0), 90);
    EXPECT_EQ(getTurnAngle(450, 0), 90);
    EXPECT_EQ(getTurnAngle(0, 0), 0);
    EXPECT_EQ(getTurnAngle(180, 270), 270);
    // One correction only: -450 stays out of range.
    EXPECT_EQ(getTurnAngle(0, 450), -90);
}

TEST_F(Matrix, FormTurnedBy90MapsOntoThePositiveQuadrant) {
    // frame 0, form 90: turn 270, anchor (right, bottom), exact entries.
    ASFixedRect box = fxRect(0, 0, 612, 792);
    ASFixedMatrix m = getMatrixForRect(box, 0, 90, fixedOne);
    EXPECT_EQ(m.a, 0);
    EXPECT_EQ(m.b, -fixedOne);
    EXPECT_EQ(m.c, fixedOne);
    EXPECT_EQ(m.d, 0);
    expectRect(apply(m, box), 0, 0, 792, 612);
    // The anchor corner goes to the origin.
    ASFixedPoint p{box.right, box.bottom}, q;
    asFixedMatrixTransform(&q, &m, &p);
    EXPECT_EQ(q.h, 0);
    EXPECT_EQ(q.v, 0);
}

TEST_F(Matrix, EveryRightAngleHasItsAnchorAndExactEntries) {
    ASFixedRect box = fxRect(10, 20, 110, 220);
    struct Case {
        int frame, form;
        double ax, ay;
        double w, h;
    } cases[] = {
        {0, 0, 10, 20, 100, 200},    {90, 0, 10, 220, 200, 100},   {180, 0, 110, 220, 100, 200},
        {270, 0, 110, 20, 200, 100}, {0, 180, 110, 220, 100, 200}, {270, 90, 110, 220, 100, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frame << "/" << c.form);
        ASFixedMatrix m = getMatrixForRect(box, c.frame, c.form, fixedOne);
        for (ASFixed v : {m.a, m.b, m.c, m.d})
            EXPECT_TRUE(v == 0 || v == fixedOne || v == -fixedOne) << v;
        expectRect(apply(m, box), 0, 0, c.w, c.h);
        ASFixedPoint p{fx(c.ax), fx(c.ay)}, q;
        asFixedMatrixTransform(&q, &m, &p);
        EXPECT_EQ(q.h, 0);
        EXPECT_EQ(q.v, 0);
    }
}

TEST_F(Matrix, OddAnglesAnchorAtTheLowerLeftAndTurnExactly) {
    ASFixedRect box = fxRect(10, 20, 110, 220);
    ASFixedMatrix m = getMatrixForRect(box, 45, 0, fixedOne);
    float rad = 45.0f * 3.1415929794311523f / 180.0f;
    EXPECT_EQ(m.a, asFloatToFixed(std::cos(rad)));
    EXPECT_EQ(m.b, asFloatToFixed(std::sin(rad)));
    EXPECT_EQ(m.c, -m.b);
    ASFixedPoint p{box.left, box.bottom}, q;
    asFixedMatrixTransform(&q, &m, &p);
    EXPECT_NEAR(q.h, 0, 2);
    EXPECT_NEAR(q.v, 0, 2);
    // Offsets are not applied for such a frame.
    ASFixedPoint s = getTurnedOffset(fx(5), fx(3), 45);
    EXPECT_EQ(s.h, 0);
    EXPECT_EQ(s.v, 0);
}

TEST_F(Matrix, ScaleIsAppliedAfterTheTurn) {
    ASFixedRect box = fxRect(0, 0, 100, 200);
    ASFixedMatrix m = getMatrixForRect(box, 90, 0, fixedHalf);
    expectRect(apply(m, box), 0, 0, 100, 50);
}

TEST_F(Matrix, OffsetsTurnWithTheFrame) {
    // xOff 5 + dx 2 = 7, yOff 3.
    ASFixedPoint s = getTurnedOffset(fx(7), fx(3), 90);
    EXPECT_EQ(s.h, fx(-3));
    EXPECT_EQ(s.v, fx(7));
    s = getTurnedOffset(fx(7), fx(3), 0);
    EXPECT_EQ(s.h, fx(7));
    EXPECT_EQ(s.v, fx(3));
    s = getTurnedOffset(fx(7), fx(3), 180);
    EXPECT_EQ(s.h, fx(-7));
    EXPECT_EQ(s.v, fx(-3));
    s = getTurnedOffset(fx(7), fx(3), 270);
    EXPECT_EQ(s.h, fx(3));
    EXPECT_EQ(s.v, fx(-7));
    s = getTurnedOffset(fx(7), fx(3), -90);
    EXPECT_EQ(s.h, fx(3));
    EXPECT_EQ(s.v, fx(-7));
}

TEST_F(Matrix, CentredBoxHasTheFrameSizeAndEqualMargins) {
    ASFixedRect inner = fxRect(0, 0, 200, 300);
    ASFixedRect bbox = fxRect(0, 0, 100, 100);
    ASFixedRect c = getCenteredBox(inner, bbox, 0);
    expectRect(c, -50, -100, 150, 200);
    // Turned frames swap the size.
    c = getCenteredBox(inner, bbox, 90);
    expectRect(c, -100, -50, 200, 150);
    // An odd difference loses its last 1/65536 to the truncating halving.
    ASFixedRect odd = {0, fx(100), fx(100) + 1, 0};
    c = getCenteredBox(inner, odd, 0);
    EXPECT_EQ(c.left, (odd.right - fx(200)) / 2);
    EXPECT_EQ(c.right - c.left, fx(200));
    ASFixedRect neg = {0, 0, -3, 0};
    EXPECT_EQ(getCenteredBox(fxRect(0, 0, 0, 0), neg, 0).left, -1);  // toward zero
}

TEST_F(Matrix, SizesDifferBeyondHalfAMillimetre) {
    ASFixedRect a4 = fxRect(0, 0, 595.276, 841.89);
    EXPECT_FALSE(sizesDiffer(a4, 0, fxRect(10, 10, 605.5, 852), 180));
    EXPECT_TRUE(sizesDiffer(a4, 0, fxRect(0, 0, 597, 841.89), 0));
    // Each rectangle is seen with its own rotation.
    EXPECT_FALSE(sizesDiffer(a4, 90, fxRect(0, 0, 841.89, 595.276), 0));
    EXPECT_TRUE(sizesDiffer(a4, 90, a4, 0));
    // Rotations beyond a turn (a page's /Rotate may say 450 or 720) count as their rest.
    EXPECT_FALSE(sizesDiffer(a4, 450, fxRect(0, 0, 841.89, 595.276), 0));
    EXPECT_FALSE(sizesDiffer(a4, 720, a4, 0));
    EXPECT_FALSE(sizesDiffer(a4, -90, fxRect(0, 0, 841.89, 595.276), 0));
}

TEST_F(Matrix, PositionsSnapToWholeMillimetresOrPoints) {
    setupPrefs();
    ASFixed mm = 4718592 / 254;  // 0.1 mm
    setDlgUnits(3);
    ASFixed ten = mmToFixed(10.0f);
    EXPECT_EQ(getRoundedValue(static_cast<ASFixed>(109.0 * 4718592 / 254)), ten);
    EXPECT_EQ(getRoundedValue(static_cast<ASFixed>(-109.0 * 4718592 / 254)), -ten);
    EXPECT_EQ(getRoundedValue(mm * 5), 0);
    setDlgUnits(1);
    EXPECT_EQ(getRoundedValue(-fixedHalf), -fixedOne);
    EXPECT_EQ(getRoundedValue(fx(12.75)), fx(12));
    ASFixedPoint p = getRoundedPt(ASFixedPoint{fx(1.5), fx(-1.5)});
    EXPECT_EQ(p.h, fx(1));
    EXPECT_EQ(p.v, fx(-2));
    gPrefs.reset();
}

TEST_F(Matrix, PlacingAddsTheInnerCornerAndTheTurnedOffsets) {
    // A form of 100 x 200 with a private trim box inset by 10.
    const int t[4] = {10, 10, 90, 190};
    PDEForm form = makeForm(t, 0);

    PDEContainer frame = getContainerWithRect(fxRect(300, 400, 500, 500));
    ASFixedRect bleed = {fx(3), fx(3), fx(3), fx(3)};
    setBleedRect(frame, &bleed);
    setFrameRotation(frame, 90);
    setXOff(frame, fx(5));
    setYOff(frame, fx(3));
    setDisplacement(frame, fx(2));
    ASFixedMatrix m = placingMatrix(readFrame(frame), readFormBoxes(form), true);
    // Trim box turned by 90 fills x 0..180, y 0..80; then inner corner (303, 403) and
    // the offsets (-3, 7).
    ASFixedRect placed = apply(m, fxRect(10, 10, 90, 190));
    expectRect(placed, 300, 410, 480, 490);

    // Without the trim box the page is centred on the inner rectangle (194 x 94).
    m = placingMatrix(readFrame(frame), readFormBoxes(form), false);
    placed = apply(m, fxRect(0, 0, 100, 200));
    EXPECT_EQ(placed.left + placed.right, fx(303 + 497 - 6));
    EXPECT_EQ(placed.bottom + placed.top, fx(403 + 497 + 14));
    pdeRelease(frame);
    pdeRelease(form);
}

TEST_F(Matrix, FittingWritesThePlacingAndClipsToTheWholeFrame) {
    // A form of 100 x 200 turned by 90, with a private trim box [10 20 90 190].
    const int t[4] = {10, 20, 90, 190};
    PDEForm form = makeForm(t, 90);

    FormBoxes boxes = readFormBoxes(form);
    EXPECT_EQ(boxes.rotation, 90);
    EXPECT_TRUE(boxes.hasTrim);
    expectRect(boxes.trim, 10, 20, 90, 190);
    expectRect(boxes.bbox, 0, 0, 100, 200);
    ASFixedRect viaTrim;
    EXPECT_TRUE(getTrimBox(form, viaTrim));
    expectRect(viaTrim, 10, 20, 90, 190);

    PDEContainer frame = getContainerWithRect(fxRect(300, 400, 500, 500));
    ASFixedRect bleed = {fx(3), fx(3), fx(3), fx(3)};
    setBleedRect(frame, &bleed);
    setXOff(frame, fx(5));
    FrameValue f = readFrame(frame);
    fitIntoFrame(form, f, boxes, true);
    ASFixedMatrix m;
    pdeGetMatrix(form, &m);
    ASFixedMatrix want = placingMatrix(f, boxes, true);
    EXPECT_EQ(std::memcmp(&m, &want, sizeof m), 0);
    // The clip is the whole frame, bleed included: one rectangle, painted by nothing.
    PDEClip clip = pdeGetClip(form);
    ASSERT_NE(clip, nullptr);
    ASSERT_EQ(gPDFEditReadHFT->PDEClipGetNumElems(clip), 1);
    PDEElement path = gPDFEditReadHFT->PDEClipGetElem(clip, 0);
    ASSERT_EQ(pdeObjectGetType(path), kPDEPath);
    ASInt32 data[8] = {0};
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetData(path, data, sizeof data), 5 * 4);
    EXPECT_EQ(data[0], kPDERect);
    EXPECT_EQ(data[1], fx(300));
    EXPECT_EQ(data[2], fx(400));
    EXPECT_EQ(data[3], fx(200));
    EXPECT_EQ(data[4], fx(100));
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(path), kPDEInvisible);
    pdeRelease(frame);
    pdeRelease(form);

    // Without a trim box the form's boxes say so, and the trim box reads as the bbox.
    PDEForm untrimmed = makeForm(nullptr, 0);
    EXPECT_FALSE(readFormBoxes(untrimmed).hasTrim);
    EXPECT_FALSE(getTrimBox(untrimmed, viaTrim));
    expectRect(viaTrim, 0, 0, 100, 200);
    pdeRelease(untrimmed);
}
