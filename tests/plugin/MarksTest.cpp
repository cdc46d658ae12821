// Path building, frame clips, trim lines and printer's marks.
#include <gtest/gtest.h>

#include <vector>

#include "BoxDesc.h"
#include "ColorSupport.h"
#include "ModelBuild.h"
#include "MyPath.h"
#include "NewDoc.h"
#include "Prefs.h"

using namespace vexa::test;

namespace {

struct Paths : ::testing::Test {
    ModelTestHost host;

    static std::vector<ASInt32> dataOf(PDEPath p) {
        ASInt32 n = gPDFEditReadHFT->PDEPathGetData(p, nullptr, 0);
        std::vector<ASInt32> v(static_cast<size_t>(n / 4));
        gPDFEditReadHFT->PDEPathGetData(p, v.data(), static_cast<ASUns32>(n));
        return v;
    }
};

TEST_F(Paths, CircleAndRegistrationMarkWordCounts) {
    CMyPath p(256);
    ASFixed r = 232214;
    p.circle(fx(10), fx(10), r);
    EXPECT_EQ(p.getCount(), 35);
    const ASInt32* d = p.getData();
    // two move-tos, then the first curve ends at the top of the circle
    EXPECT_EQ(d[0], kPDEMoveTo);
    EXPECT_EQ(d[3], kPDEMoveTo);
    EXPECT_EQ(d[4], fx(10) - r);
    EXPECT_EQ(d[6], kPDECurveTo);
    ASFixed k = static_cast<ASFixed>(r * 0.5522);
    EXPECT_EQ(d[8], fx(10) + k);      // first control point (0, k) from the start
    EXPECT_EQ(d[11], fx(10));         // end x = cx
    EXPECT_EQ(d[12], fx(10) + r);     // end y = cy + r
    EXPECT_EQ(d[34], kPDEClosePath);  // back at the start
    EXPECT_EQ(d[32], fx(10) - r);
    EXPECT_EQ(d[33], fx(10));
    p.moveto(0, fx(10));
    p.rlineto(928856, 0);
    p.moveto(fx(10), 0);
    p.rlineto(0, 928856);
    EXPECT_EQ(p.getCount(), 47);
    EXPECT_EQ(p.getCurrentPoint().v, 928856);
}

TEST_F(Paths, GetPathSetsWidthColourPaintAndOverprint) {
    CMyPath p(256);
    p.moveto(0, 0);
    p.lineto(fx(5), fx(5));
    PDEPath on = p.getPath(fx(2), nullptr, kPDEStroke, true);
    PDEColorSpec white = getGrayColor(1.0f);
    PDEPath off = p.getPath(fx(3), &white, kPDEFill, false);
    PDEGraphicState gs;
    ASSERT_TRUE(pdeGetGState(on, &gs));
    EXPECT_EQ(gs.lineWidth, fx(2));
    EXPECT_EQ(gs.strokeColorSpec.value.color[0], 0);  // black
    ASSERT_NE(gs.extGState, nullptr);
    EXPECT_TRUE(gPDFEditReadHFT->PDEExtGStateGetOPFill(gs.extGState));
    EXPECT_TRUE(gPDFEditReadHFT->PDEExtGStateGetOPStroke(gs.extGState));
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(on), kPDEStroke);
    ASSERT_TRUE(pdeGetGState(off, &gs));
    EXPECT_EQ(gs.strokeColorSpec.value.color[0], fixedOne);
    ASSERT_NE(gs.extGState, nullptr);
    EXPECT_FALSE(gPDFEditReadHFT->PDEExtGStateGetOPStroke(gs.extGState));
    EXPECT_EQ(dataOf(off).size(), 6u);
    freeColorSpec(&white);
    pdeRelease(on);
    pdeRelease(off);
}

TEST_F(Paths, ClipsOnlyForms) {
    ASFixedRect r = fxRect(10, 20, 110, 220);
    PDEForm form = makeForm({makeRect(0, 0, 50, 50)});
    PDEPath path = makeRect(0, 0, 5, 5);
    PDEContent content = pdeContentCreate();
    pdeContentAddElem(content, kPDEAfterLast, form);
    pdeContentAddElem(content, kPDEAfterLast, path);
    setClipping(content, &r);  // the first element
    setClipping(path, &r);     // not a form: unchanged
    PDEClip clip = pdeGetClip(form);
    ASSERT_NE(clip, nullptr);
    ASSERT_EQ(pdeClipGetNumElems(clip), 1);
    auto d = dataOf(pdeClipGetElem(clip, 0));
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[0], kPDERect);
    EXPECT_EQ(d[1], fx(10));
    EXPECT_EQ(d[2], fx(20));
    EXPECT_EQ(d[3], fx(100));
    EXPECT_EQ(d[4], fx(200));
    EXPECT_EQ(pdeGetClip(path), nullptr);
    pdeRelease(form);
    pdeRelease(path);
    pdeRelease(content);
}

TEST_F(Paths, TrimLinesRectFollowsFrameVisibility) {
    PDEContent content = pdeContentCreate();
    ASFixedRect r = fxRect(0, 0, 100, 50);
    PDEColorSpec tl = getTrimLinesColor();
    char name[256];
    ASSERT_TRUE(getSepColName(tl.space, name));
    EXPECT_STREQ(name, "TL");
    PDEPath hidden = addTrimLinesRect(content, &r, &tl);  // frames not shown
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(hidden), kPDEInvisible);
    toggleFramesVisible(host.doc);
    ASSERT_TRUE(getFramesVisible(host.doc));
    PDEPath shown = addTrimLinesRect(content, &r, &tl);
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(shown), kPDEStroke);
    PDEGraphicState gs;
    ASSERT_TRUE(pdeGetGState(shown, &gs));
    EXPECT_EQ(gs.lineWidth, fixedOne);
    EXPECT_EQ(pdeContentGetNumElems(content), 2);
    freeColorSpec(&tl);
    pdeRelease(content);
}

TEST_F(Paths, PaperRectWithAndWithoutTemplateData) {
    ASFixedRect r;
    EXPECT_FALSE(getPaperRect(host.doc, r));
    EXPECT_EQ(r.right, fx(595));
    EXPECT_EQ(r.top, fx(842));
    setPaperRect(host.doc, 0, fx(100), fx(400), fx(300));
    ASSERT_TRUE(getPaperRect(host.doc, r));
    EXPECT_EQ(r.left, (fx(595) - fx(400)) / 2);  // x 0: centred
    EXPECT_EQ(r.bottom, fx(100));
    EXPECT_EQ(r.right, r.left + fx(400));
    EXPECT_EQ(r.top, fx(400));
}

}  // namespace
