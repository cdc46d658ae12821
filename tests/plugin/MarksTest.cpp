// Path building, frame clips, trim lines and printer's marks.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "ModelBuild.h"
#include "Common/MyPath.h"
#include "Sources/NewDoc.h"
#include "Common/Prefs.h"
#include "Sources/TrimLines.h"

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

TEST_F(Paths, FullBufferLeavesOutWholeOperators) {
    CMyPath p(8);
    p.moveto(1, 2);
    p.lineto(3, 4);
    p.lineto(5, 6);  // would need words 7 to 9
    p.close();       // still fits
    EXPECT_EQ(p.getCount(), 7);
    EXPECT_EQ(p.getData()[6], kPDEClosePath);
    p.rect({0, 0}, 1, 1);
    EXPECT_EQ(p.getCount(), 7);
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
    // Frames not shown: the trim lines are invisible and print on no plate, so the
    // document declares no trim-lines separation.
    auto colorant = [](const PDEColorSpec& spec) {
        CosObj n = cosArrayGet(pdeColorSpaceGetCosObj(spec.space), 1);
        return std::string(cosObjGetType(n) == CosName ? asAtomGetString(cosNameValue(n)) : "");
    };
    PDEColorSpec none = getTrimLinesColor();
    ASSERT_NE(none.space, nullptr);
    EXPECT_EQ(colorant(none), "None");
    PDEPath hidden = addTrimLinesRect(content, &r, &none);
    EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(hidden), kPDEInvisible);
    freeColorSpec(&none);
    toggleFramesVisible(host.doc);
    ASSERT_TRUE(getFramesVisible(host.doc));
    PDEColorSpec tl = getTrimLinesColor();
    ASSERT_NE(tl.space, nullptr);
    EXPECT_EQ(colorant(tl), "TL");
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

#include "Sources/AddFrames.h"
#include "Sources/AddMarks.h"
#include "Sources/Container.h"

namespace {

struct Marks : ::testing::Test {
    ModelTestHost host;
    PDEContent held = nullptr;
    void SetUp() override {
        getMarkParams() = MarkParams{};
        pdPageSetCropBox(host.page, fxRect(0, 0, 1000, 1000), true);
    }
    void TearDown() override {
        if (held) pdPageReleasePDEContent(host.page);
    }
    void frame(double l, double b, double w, double h, double bleed = 0) {
        createFrame(host.page, {fx(l), fx(b)}, fxRect(0, 0, w, h), 1, 0, 0);
        if (bleed > 0) {
            EnumForms(
                host.page,
                [](CContent* lv, PDEElement f, long, long d) {
                    ASFixedRect b{static_cast<ASFixed>(d), static_cast<ASFixed>(d),
                                  static_cast<ASFixed>(d), static_cast<ASFixed>(d)};
                    if (getBleedRect(f).left == 0) setBleedRect(f, &b);
                    lv->addModified();
                    return true;
                },
                fx(bleed), true, true);
        }
    }
    void selectAll() {
        held = pdPageAcquirePDEContent(host.page);
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long) {
                if (getBoxNum(f) >= 1) setSelected(f, true);
                return true;
            },
            0, false, true);
    }
    struct Mark {
        ASInt32 box;
        ASFixedRect r;
        ASInt32 paths;
    };
    std::vector<Mark> marks() {
        std::vector<Mark> out;
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long d) {
                ASInt32 n = getBoxNum(f);
                if (n == kBoxCutMark || n == kBoxRegMark || n == kBoxFoldMark)
                    reinterpret_cast<std::vector<Mark>*>(d)->push_back(
                        {n, getBBox(f), pdeContentGetNumElems(getContent(f))});
                return true;
            },
            reinterpret_cast<long>(&out), false, true);
        return out;
    }
};

TEST_F(Marks, SingleFrameGetsEightCutMarksAlongTheTrim) {
    frame(100, 100, 200, 300, 3 * 72 / 25.4);
    selectAll();
    ASSERT_TRUE(createMarks(host.page));
    auto m = marks();
    ASSERT_EQ(m.size(), 8u);
    ASFixed d = getMarkParams().distance, len = getMarkParams().length;
    ASFixed bleed = fx(3 * 72 / 25.4);
    // the first: left of the frame at the trim top
    EXPECT_EQ(m[0].r.left, fx(100) - d - len);
    EXPECT_EQ(m[0].r.right, fx(100) - d);
    EXPECT_EQ(m[0].r.bottom, fx(400) - bleed - getMarkParams().width / 2);
    EXPECT_EQ(m[0].paths, 2);  // white underlay and the mark (trap 0)
    // above and below the frame at the trim left
    int above = 0, below = 0;
    for (auto& x : m)
        if (x.r.left == fx(100) + bleed - getMarkParams().width / 2) {
            above += x.r.bottom == fx(400) + d && x.r.top == fx(400) + d + len;
            below += x.r.bottom == fx(100) - d - len && x.r.top == fx(100) - d;
        }
    EXPECT_EQ(above, 1);
    EXPECT_EQ(below, 1);
}

TEST_F(Marks, MarksBetweenFramesSkippedUnlessSymmetric) {
    frame(100, 100, 200, 300);
    frame(300, 100, 200, 300);
    selectAll();
    ASSERT_TRUE(createMarks(host.page));
    EXPECT_EQ(marks().size(), 12u);  // 16 less the 4 horizontal ones between the frames
    getMarkParams().symmetric = 1;
    ASSERT_TRUE(createMarks(host.page));
    EXPECT_EQ(marks().size(), 12u + 16u);
}

TEST_F(Marks, RegistrationMarksOutsideTheSelectionSpan) {
    frame(100, 100, 200, 300);
    frame(300, 100, 200, 300);
    selectAll();
    getMarkParams().cutMarks = 0;
    getMarkParams().regMarks = 1;
    ASSERT_TRUE(createMarks(host.page));
    auto m = marks();
    ASSERT_EQ(m.size(), 4u);  // left of the left frame and right of the right one
    for (auto& x : m) {
        EXPECT_EQ(x.box, kBoxRegMark);
        EXPECT_EQ(x.paths, 1);  // trap 0: no black underlay, no white
        EXPECT_EQ(x.r.right - x.r.left, 928856);
        EXPECT_TRUE(x.r.right <= fx(100) || x.r.left >= fx(500));
    }
}

static bool overlap(const ASFixedRect& a, const ASFixedRect& b) {
    return a.left < b.right && b.left < a.right && a.bottom < b.top && b.bottom < a.top;
}

TEST_F(Marks, CentredAndCornerMarks) {
    frame(100, 100, 200, 300);
    selectAll();
    getMarkParams().cutMarks = 0;
    getMarkParams().centeredMarks = 1;
    getMarkParams().width = 16385;  // an odd width: halves that do not add up
    ASSERT_TRUE(createMarks(host.page));
    auto m = marks();
    ASSERT_EQ(m.size(), 12u);
    // No mark lies over another, not even the two arms of a corner mark, whose white
    // underlays would otherwise cut into each other ...
    for (std::size_t i = 0; i < m.size(); ++i)
        for (std::size_t j = i + 1; j < m.size(); ++j)
            EXPECT_FALSE(overlap(m[i].r, m[j].r)) << i << " " << j;
    // ... and yet the arms meet: at the top left corner (3 mm outside the selection)
    // the horizontal arm reaches the vertical arm's right edge and the vertical arm
    // starts at the horizontal arm's top edge.
    ASFixed d = getMarkParams().distance, w = getMarkParams().width;
    ASFixed l = fx(100) - d, t = fx(400) + d;
    int horizontal = 0, vertical = 0;
    for (auto& x : m) {
        horizontal += x.r.bottom == t - w / 2 && x.r.right == l - w / 2 + w;
        vertical += x.r.left == l - w / 2 && x.r.bottom == t - w / 2 + w;
    }
    EXPECT_EQ(horizontal, 1);
    EXPECT_EQ(vertical, 1);
}

TEST_F(Marks, FoldLinesBetweenNeighbours) {
    auto r = [](double l, double b, double rr, double t) { return fxRect(l, b, rr, t); };
    // a 2 x 2 group: pages meeting at a spine, rows 20 pt apart
    FoldLines f = getFoldLines({r(100, 100, 300, 400), r(300, 100, 500, 400), r(100, 420, 300, 720),
                                r(300, 420, 500, 720)});
    EXPECT_EQ(f.xs, std::vector<ASFixed>{fx(300)});
    EXPECT_EQ(f.ys, std::vector<ASFixed>{fx(410)});
    // three columns with a gutter between the second and the third: the nearest
    // neighbour only, not the frame beyond it
    f = getFoldLines({r(0, 0, 100, 100), r(100, 0, 200, 100), r(206, 0, 306, 100)});
    EXPECT_EQ(f.xs, (std::vector<ASFixed>{fx(100), fx(203)}));
    EXPECT_TRUE(f.ys.empty());
    // frames that do not face each other fold nowhere
    f = getFoldLines({r(0, 0, 100, 100), r(200, 200, 300, 300)});
    EXPECT_TRUE(f.xs.empty() && f.ys.empty());
}

TEST_F(Marks, FoldMarksBeyondTheCutMarksAndRemovable) {
    frame(100, 100, 200, 300);
    frame(300, 100, 200, 300);
    frame(100, 420, 200, 300);
    frame(300, 420, 200, 300);
    selectAll();
    getMarkParams().regMarks = 1;
    getMarkParams().centeredMarks = 1;
    getMarkParams().foldMarks = 1;
    ASSERT_TRUE(createMarks(host.page));
    auto m = marks();
    std::vector<Mark> folds;
    for (auto& x : m)
        if (x.box == kBoxFoldMark) folds.push_back(x);
    // the spine at x 300 above and below the group; the fold between the rows at
    // y 410 left and right of it
    ASSERT_EQ(folds.size(), 4u);
    ASFixed d = getMarkParams().distance, len = getMarkParams().length, w = getMarkParams().width;
    ASFixed off = 2 * d + len;
    int above = 0, below = 0, left = 0, right = 0;
    for (auto& x : folds) {
        EXPECT_EQ(x.paths, 2);  // white underlay and the line, as a cut mark
        if (x.r.left == fx(300) - w / 2) {
            above += x.r.bottom == fx(720) + off && x.r.top == fx(720) + off + len;
            below += x.r.bottom == fx(100) - off - len && x.r.top == fx(100) - off;
        }
        if (x.r.bottom == fx(410) - w / 2) {
            left += x.r.left == fx(100) - off - len && x.r.right == fx(100) - off;
            right += x.r.left == fx(500) + off && x.r.right == fx(500) + off + len;
        }
    }
    EXPECT_EQ(above + below + left + right, 4);
    // clear of every other mark: cut, registration, centre and corner marks
    for (auto& f : folds)
        for (auto& x : m)
            if (x.box != kBoxFoldMark) {
                EXPECT_FALSE(overlap(f.r, x.r));
            }
    pdPageReleasePDEContent(host.page);
    held = nullptr;
    removeMarks(host.page, nullptr);
    EXPECT_EQ(marks().size(), 0u);
}

TEST_F(Marks, RemovalTouchingAtAnEdge) {
    frame(100, 100, 200, 300);
    selectAll();
    ASSERT_TRUE(createMarks(host.page));
    pdPageReleasePDEContent(host.page);
    held = nullptr;
    ASFixedRect far = fxRect(0, 0, 10, 10);
    // the left marks end 3 mm + 3 mm left of the frame; an area whose right edge is
    // exactly their left edge touches them
    ASFixed left = fx(100) - getMarkParams().distance - getMarkParams().length;
    ASFixedRect edge{left - fx(50), fx(500), left, 0};
    removeMarks(host.page, &far);
    EXPECT_EQ(marks().size(), 8u);
    removeMarks(host.page, &edge);
    EXPECT_EQ(marks().size(), 6u);
    removeMarks(host.page, nullptr);
    EXPECT_EQ(marks().size(), 0u);
}

}  // namespace

namespace {

struct TrimLines : ::testing::Test {
    ModelTestHost host;
    // the first top-level element: box number of a container, or -100
    ASInt32 firstBox() {
        PDEContent c = pdPageAcquirePDEContent(host.page);
        ASInt32 n = -100;
        if (pdeContentGetNumElems(c) > 0) {
            PDEElement e = pdeContentGetElem(c, 0);
            if (pdeObjectGetType(e) == kPDEContainer) n = getBoxNum(e);
        }
        pdPageReleasePDEContent(host.page);
        return n;
    }
    PDEPathOpFlags framePaint() {
        PDEPathOpFlags op = 99;
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long d) {
                if (getBoxNum(f) < 1) return true;
                PDEContent c = getContent(f);
                if (pdeContentGetNumElems(c) == 2)
                    *reinterpret_cast<PDEPathOpFlags*>(d) =
                        gPDFEditReadHFT->PDEPathGetPaintOp(pdeContentGetElem(c, 1));
                return false;
            },
            reinterpret_cast<long>(&op), false, true);
        return op;
    }
};

TEST_F(TrimLines, LayerUnderEverythingOnlyWhileFramesAreShown) {
    getFramesVisible(host.doc);
    toggleFramesVisible(host.doc);  // shown
    createFrame(host.page, {fx(10), fx(10)}, fxRect(0, 0, 100, 100), 1, 0, 0);
    setPaperRect(host.doc, fx(20), fx(30), fx(400), fx(500));
    showTrimLines(host.doc);
    EXPECT_EQ(firstBox(), kBoxTrimLines);
    EXPECT_EQ(framePaint(), kPDEStroke);
    // the layer follows the paper rectangle
    PDEContent c = pdPageAcquirePDEContent(host.page);
    ASFixedRect r = getBBox(pdeContentGetElem(c, 0));
    pdPageReleasePDEContent(host.page);
    EXPECT_EQ(r.left, fx(20));
    EXPECT_EQ(r.top, fx(530));
    showTrimLines(host.doc);  // rebuilt, not doubled
    EXPECT_EQ(pageElemCount(host.page), 2);
    toggleFramesVisible(host.doc);  // hidden
    showTrimLines(host.doc);
    EXPECT_NE(firstBox(), kBoxTrimLines);
    EXPECT_EQ(pageElemCount(host.page), 1);
}

TEST_F(TrimLines, ShownTrimLinesPrintOnTheirPlateHiddenOnesOnNone) {
    if (runCommand("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    TempDir tmp;
    auto plates = [&](const std::string& name) {
        std::string pdf = tmp.file(name + ".pdf"), text;
        gPDModelHFT->PDDocSave(host.doc, PDSaveFull | PDSaveCopy, pdf.c_str());
        runCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffsep -r18 -sOutputFile=" +
                   tmp.file(name) + ".tif " + pdf);
        runCommand("qpdf --qdf --object-streams=disable " + pdf + " -", &text);
        bool plate = std::filesystem::exists(tmp.file(name + "(TL).tif"));
        bool declared = text.find("/TL") != std::string::npos;
        return std::make_pair(plate, declared);
    };
    getFramesVisible(host.doc);
    toggleFramesVisible(host.doc);  // shown
    createFrame(host.page, {fx(10), fx(10)}, fxRect(0, 0, 100, 100), 1, 0, 0);
    showTrimLines(host.doc);
    // Shown: the trim lines have their own plate, which the operator drops at the RIP.
    EXPECT_EQ(plates("shown"), std::make_pair(true, true));
    toggleFramesVisible(host.doc);  // hidden
    showTrimLines(host.doc);
    EXPECT_EQ(framePaint(), kPDEInvisible);
    EXPECT_EQ(plates("hidden"), std::make_pair(false, false));
}

}  // namespace
