// The imposition engine: binding schemes, second sheets, page ranges, creep, passes
// and their labels, placing, empty frames, the TrimBox fit and output titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <set>
#include <vector>

#include "Sources/AddMarks.h"
#include "Common/BoxDesc.h"
#include "Common/FrameFit.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Sources/Impose.h"
#include "Common/ErrorHandling.h"
#include "Sources/ImposeJob.h"
#include "ModelBuild.h"
#include "Sources/MovingMark.h"
#include "settings/MyStrings.h"
#include "Sources/Selection.h"
#include "doc/DocInternal.h"
#include "ui/Ui.h"

using namespace vexa::test;

namespace {

struct FrameSpec {
    ASInt32 box;
    double l, b, r, t;
    ASInt32 rotation = 0;
    double moveLimit = 0;  // moving marks (box -5)
};

struct Imposing : ::testing::Test {
    ModelTestHost host;
    TempDir tmp;

    // A template saved to a file: each sheet a list of frames.
    std::string makeTemplate(const std::string& name,
                             const std::vector<std::vector<FrameSpec>>& sheets, double bleed = 0) {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        for (size_t s = 0; s < sheets.size(); ++s) {
            PDPage p = gPDModelHFT->PDDocCreatePage(d, static_cast<ASInt32>(s) - 1,
                                                    fxRect(0, 0, 842, 595));
            std::vector<PDEElement> frames;
            for (const FrameSpec& f : sheets[s]) {
                PDEContainer c = getContainerWithRect(fxRect(f.l, f.b, f.r, f.t));
                setBoxNum(c, f.box);
                setFrameRotation(c, f.rotation);
                if (f.box == kBoxMovingMark) setMoveLimit(c, fx(f.moveLimit));
                if (bleed > 0) {
                    ASFixedRect bl{fx(bleed), fx(bleed), fx(bleed), fx(bleed)};
                    setBleedRect(c, &bl);
                }
                frames.push_back(c);
            }
            addToPage(p, frames);
            pdPageRelease(p);
        }
        std::string path = tmp.file(name);
        gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
        pdDocClose(d);
        setCosDoc(host.doc);
        return path;
    }

    // Two sheets (front and back), frames per side, numbered from 1.
    std::string booklet(ASInt32 perSide, const std::string& name = "t.pdf", double bleed = 0) {
        std::vector<std::vector<FrameSpec>> sheets(2);
        ASInt32 box = 1;
        for (int s = 0; s < 2; ++s)
            for (ASInt32 i = 0; i < perSide; ++i, ++box)
                sheets[s].push_back({box, 20.0 + 200 * i, 20, 20.0 + 200 * i + 180, 280});
        return makeTemplate(name, sheets, bleed);
    }

    // A source of n pages of 180 x 260 with a TrimBox inset by 5.
    PDDoc makeSource(ASInt32 n, bool trim = true) {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        for (ASInt32 i = 0; i < n; ++i) {
            PDPage p = gPDModelHFT->PDDocCreatePage(d, i - 1, fxRect(0, 0, 190, 270));
            addToPage(p, {makeRect(10, 10, 10 + i, 20, 0)});
            if (trim)
                gPDModelHFT->PDPageSetBox(p, asAtomFromString("TrimBox"), fxRect(5, 5, 185, 265));
            pdPageRelease(p);
        }
        std::string path = tmp.file("src" + std::to_string(n) + ".pdf");
        gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
        pdDocClose(d);
        PDDoc src = gPDModelHFT->PDDocOpen(path.c_str(), false);
        setCosDoc(host.doc);
        return src;
    }

    ImposeData job(PDDoc src, const std::string& tmpl, ASInt32 binding, ASInt32 first,
                   ASInt32 last) {
        ImposeData d;
        std::memset(&d, 0, sizeof d);
        std::snprintf(d.templatePath, sizeof d.templatePath, "%s", tmpl.c_str());
        std::snprintf(d.srcPath, sizeof d.srcPath, "%s", tmp.file("report.PDF").c_str());
        std::snprintf(d.outPath, sizeof d.outPath, "%s", tmp.file("out.pdf").c_str());
        d.srcDoc = src;
        d.binding = binding;
        d.placing = kPlaceTrimBox;
        d.firstPage = first;
        d.lastPage = last;
        d.scale = fixedOne;
        return d;
    }

    struct Frame {
        ASInt32 box;
        ASFixed displacement;
        bool placed;
        bool empty;
        ASFixedMatrix matrix;
    };

    static bool collect(CContent*, PDEElement frame, long, long data) {
        auto* out = reinterpret_cast<std::vector<Frame>*>(data);
        Frame f{getBoxNum(frame), readFrame(frame).displacement, false, false, {}};
        PDEContent c = getContent(frame);
        for (ASInt32 i = 0; c && i < pdeContentGetNumElems(c); ++i) {
            PDEElement e = pdeContentGetElem(c, i);
            if (pdeObjectGetType(e) == kPDEForm) {
                f.placed = true;
                pdeGetMatrix(e, &f.matrix);
            }
            if (pdeObjectGetType(e) == kPDEContainer) f.empty = true;
        }
        out->push_back(f);
        return true;
    }

    static std::vector<Frame> frames(PDDoc d, ASInt32 sheet) {
        std::vector<Frame> out;
        CPage p(d, sheet);
        EnumForms(p.getPage(), collect, reinterpret_cast<long>(&out), false, true);
        return out;
    }

    static std::vector<ASInt32> boxes(PDDoc d, ASInt32 sheet) {
        std::vector<ASInt32> b;
        for (const Frame& f : frames(d, sheet)) b.push_back(f.box);
        return b;
    }

    static std::string label(PDDoc d, ASInt32 page) {
        char buf[64] = {0};
        gPDModelHFT->PDDocGetLabelForPageNum(d, page, buf, sizeof buf);
        return buf;
    }

    void close(PDDoc out, PDDoc src) {
        if (out) {
            setCosDoc(out);
            pdDocClose(out);
        }
        setCosDoc(src);
        pdDocClose(src);
        setCosDoc(host.doc);
    }
};

using V = std::vector<ASInt32>;

}  // namespace

TEST_F(Imposing, SaddleStitchNestsTheSheets) {
    PDDoc src = makeSource(16);
    ImposeData d = job(src, booklet(4), 1, 1, 16);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pdDocGetNumPages(out), 4);
    EXPECT_EQ(boxes(out, 0), (V{1, 2, 3, 4}));
    EXPECT_EQ(boxes(out, 1), (V{13, 14, 15, 16}));
    EXPECT_EQ(boxes(out, 2), (V{5, 6, 7, 8}));
    EXPECT_EQ(boxes(out, 3), (V{9, 10, 11, 12}));
    EXPECT_EQ(label(out, 0), "A1");
    EXPECT_EQ(label(out, 1), "B1");
    EXPECT_EQ(label(out, 2), "A2");
    EXPECT_EQ(label(out, 3), "B2");
    char tn[256] = {0};
    CPage p(out, 3);
    ASSERT_TRUE(getPgString(p.getPage(), "TN", tn));
    EXPECT_STREQ(tn, "t.pdf");
    for (ASInt32 s = 0; s < 4; ++s)
        for (const Frame& f : frames(out, s)) EXPECT_TRUE(f.placed) << f.box;
    EXPECT_EQ(getImposeStats().pagesPlaced, 16);
    close(out, src);
}

TEST_F(Imposing, RoundedJobsLeaveFramesBeyondTheSourceEmpty) {
    PDDoc src = makeSource(13);
    ImposeData d = job(src, booklet(4), 1, 1, 13);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(d.pageCount, 16);
    auto back = frames(out, 1);
    ASSERT_EQ(back.size(), 4u);
    EXPECT_TRUE(back[0].placed);  // 13
    for (int i = 1; i < 4; ++i) {
        EXPECT_FALSE(back[i].placed);
        EXPECT_TRUE(back[i].empty);
    }
    EXPECT_EQ(getImposeStats().emptyFrames, 3);
    close(out, src);
}

TEST_F(Imposing, SecondSheetsTakeTheMiddle) {
    PDDoc src = makeSource(12);
    ImposeData d = job(src, booklet(4), 1, 1, 12);
    std::string half = makeTemplate("half.pdf", {{{1, 20, 20, 200, 280}, {2, 220, 20, 400, 280}},
                                                 {{3, 20, 20, 200, 280}, {4, 220, 20, 400, 280}}});
    std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s", half.c_str());
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pdDocGetNumPages(out), 4);
    EXPECT_EQ(boxes(out, 0), (V{1, 2, 3, 4}));
    EXPECT_EQ(boxes(out, 1), (V{9, 10, 11, 12}));
    EXPECT_EQ(boxes(out, 2), (V{5, 6}));
    EXPECT_EQ(boxes(out, 3), (V{7, 8}));
    CPage p(out, 2);
    char tn[256] = {0};
    ASSERT_TRUE(getPgString(p.getPage(), "TN", tn));
    EXPECT_STREQ(tn, "half.pdf");
    EXPECT_EQ(label(out, 2), "A2");
    close(out, src);
}

namespace {

std::vector<std::string> gErrorsSaid;
void collectError(ASInt32, const char* text, void*) {
    gErrorsSaid.emplace_back(text);
}

}  // namespace

// A file that is no PDF where a PDF was chosen is said, not passed over: a booklet
// without its second sheet lacks its middle pages, and a Place flow without its
// source places nothing.
TEST_F(Imposing, AFileThatCannotBeOpenedIsSaidNotPassedOver) {
    std::string notPdf = tmp.file("notes.pdf");
    vexa::test::writeFile(notPdf, "not a PDF\n");
    ErrorModeScope logging(kEHLog);
    gErrorsSaid.clear();
    ErrorObserver previous = setErrorObserver({collectError, nullptr});

    PDDoc src = makeSource(12);
    ImposeData d = job(src, booklet(4), 1, 1, 12);
    std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s", notPdf.c_str());
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(pdDocGetNumPages(out), 2);  // the passes before the second sheet
    ASSERT_EQ(gErrorsSaid.size(), 1u);
    EXPECT_NE(gErrorsSaid[0].find("The second sheet " + notPdf + " cannot be opened: "),
              std::string::npos)
        << gErrorsSaid[0];
    close(out, src);

    std::string t = makeTemplate("open.pdf", {{{1, 20, 20, 200, 280}}});
    PDDoc tmpl = gPDModelHFT->PDDocOpen(t.c_str(), false);
    ASSERT_NE(tmpl, nullptr);
    setCosDoc(tmpl);
    vexa::host::ui::queueChooserAnswer(notPdf);
    imposeTemplate(tmpl);
    EXPECT_EQ(getErrorCnt(), 2);
    EXPECT_EQ(gErrorsSaid.size(), 2u);
    auto f = frames(tmpl, 0);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_FALSE(f[0].placed);
    setCosDoc(tmpl);
    pdDocClose(tmpl);
    setCosDoc(host.doc);
    setErrorObserver(previous);
}

TEST_F(Imposing, PerfectBindingWithAndWithoutSecondSheet) {
    {
        PDDoc src = makeSource(20);
        ImposeData d = job(src, booklet(4), 2, 1, 20);
        std::string half =
            makeTemplate("half.pdf", {{{1, 20, 20, 200, 280}, {2, 220, 20, 400, 280}},
                                      {{3, 20, 20, 200, 280}, {4, 220, 20, 400, 280}}});
        std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s", half.c_str());
        PDDoc out = imposeDocWithData(&d);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(pdDocGetNumPages(out), 6);
        EXPECT_EQ(boxes(out, 0), (V{1, 2, 3, 4}));
        EXPECT_EQ(boxes(out, 1), (V{5, 6, 7, 8}));
        EXPECT_EQ(boxes(out, 2), (V{9, 10}));
        EXPECT_EQ(boxes(out, 3), (V{11, 12}));
        EXPECT_EQ(boxes(out, 4), (V{13, 14, 15, 16}));
        EXPECT_EQ(boxes(out, 5), (V{17, 18, 19, 20}));
        close(out, src);
    }
    {
        PDDoc src = makeSource(16);
        ImposeData d = job(src, booklet(4), 2, 1, 16);
        PDDoc out = imposeDocWithData(&d);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(pdDocGetNumPages(out), 4);
        EXPECT_EQ(boxes(out, 2), (V{9, 10, 11, 12}));
        EXPECT_EQ(boxes(out, 3), (V{13, 14, 15, 16}));
        close(out, src);
    }
}

TEST_F(Imposing, PerfectBindingWithAShortJobNeverMakesOtherKindsOfFrames) {
    // Fewer pages than one pass and a second sheet: the final pass would number
    // frames 0 and below; they stay page frames without a page.
    PDDoc src = makeSource(3);
    ImposeData d = job(src, booklet(4), 2, 1, 3);
    std::string half = makeTemplate("half.pdf", {{{1, 20, 20, 200, 280}}});
    std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s", half.c_str());
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    for (ASInt32 s = 0; s < pdDocGetNumPages(out); ++s)
        for (const Frame& f : frames(out, s)) EXPECT_GE(f.box, 1);
    close(out, src);
}

TEST_F(Imposing, EnvelopeTakesTheOuterPages) {
    PDDoc src = makeSource(12);
    ImposeData d = job(src, booklet(2), 3, 0, 0);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pdDocGetNumPages(out), 2);
    EXPECT_EQ(boxes(out, 0), (V{1, 2}));
    EXPECT_EQ(boxes(out, 1), (V{11, 12}));
    EXPECT_EQ(label(out, 0), "1");  // envelopes get no labels
    close(out, src);
}

TEST_F(Imposing, PageRangesOffsetTheNumbersAndCreepFollowsTheRelativePage) {
    PDDoc src = makeSource(12);
    // Saddle, M = 4 (one sheet pair of 2 frames a side), range 3 to 10.
    ImposeData d = job(src, booklet(2), 1, 3, 10);
    d.creep = fixedOne;
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pdDocGetNumPages(out), 4);
    EXPECT_EQ(boxes(out, 0), (V{3, 4}));
    EXPECT_EQ(boxes(out, 1), (V{9, 10}));
    EXPECT_EQ(boxes(out, 2), (V{5, 6}));
    EXPECT_EQ(boxes(out, 3), (V{7, 8}));
    close(out, src);
}

TEST_F(Imposing, RoundedRangesContinuePastTo) {
    PDDoc src = makeSource(12);
    ImposeData d = job(src, booklet(2), 1, 3, 8);  // 6 pages round to 8: 3 ... 10
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(boxes(out, 1), (V{9, 10}));
    for (const Frame& f : frames(out, 1)) EXPECT_TRUE(f.placed);
    close(out, src);
}

TEST(Creep, LeavesTheOutsideAndShiftsEachLeafFurtherIn) {
    vexa::test::ModelTestHost host;
    const ASFixed c = fixedOne;
    for (ASInt32 p : {1, 2, 15, 16}) EXPECT_EQ(getCreep(p, 16, c, 0), 0) << p;
    EXPECT_EQ(getCreep(8, 16, c, 0), 3 * c);
    EXPECT_EQ(getCreep(10, 16, c, 0), 3 * c);
    EXPECT_EQ(getCreep(7, 16, c, 0), -3 * c);
    EXPECT_EQ(getCreep(9, 16, c, 0), -3 * c);
    // Negative creep: the offset keeps the innermost leaf in place.
    ASFixed o = (16 / 4 - 1) * -c;
    EXPECT_EQ(getCreep(8, 16, -c, o), 0);
    EXPECT_EQ(getCreep(2, 16, -c, o), 3 * c);
}

TEST_F(Imposing, CreepIsWrittenPerFrameAndResetWhenPlaced) {
    PDDoc src = makeSource(16);
    ImposeData d = job(src, booklet(4), 1, 1, 16);
    d.creep = fixedOne;
    d.outPath[0] = 0;  // placing is checked below; here only the numbering
    PDDoc out = pdDocCreate();
    pdDocClose(out);
    std::snprintf(d.outPath, sizeof d.outPath, "x");
    out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    // Displacements are reset after placing.
    for (const Frame& f : frames(out, 2)) EXPECT_EQ(f.displacement, 0);
    close(out, src);
}

TEST_F(Imposing, TrimBoxLandsExactlyOnTheTrimArea) {
    PDDoc src = makeSource(4);
    ImposeData d = job(src, booklet(2, "b.pdf", 5), 1, 1, 4);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    auto f = frames(out, 0);
    ASSERT_TRUE(f[0].placed);
    // Frame 20..200 x 20..280 with 5 bleed: trim area 25..195 x 25..275; the source
    // TrimBox (5,5)-(185,265) is 180 x 260, so its lower left lands on (25, 25).
    ASFixedPoint p{fx(5), fx(5)}, q;
    asFixedMatrixTransform(&q, &f[0].matrix, &p);
    EXPECT_EQ(q.h, fx(25));
    EXPECT_EQ(q.v, fx(25));
    close(out, src);
}

TEST_F(Imposing, TemplatesWithoutPageFramesGiveNoOutput) {
    PDDoc src = makeSource(4);
    ImposeData d = job(src, makeTemplate("none.pdf", {{{0, 20, 20, 200, 280}}}), 1, 1, 4);
    setEHMode(2);
    EXPECT_EQ(imposeDocWithData(&d), nullptr);
    EXPECT_EQ(getErrorCnt(), 1);
    setEHMode(1);
    ImposeData bad = job(src, tmp.file("missing.pdf"), 1, 1, 4);
    EXPECT_EQ(imposeDocWithData(&bad), nullptr);
    close(nullptr, src);
}

TEST_F(Imposing, FrameValuesThatCannotBeRightAreMendedOrRefused) {
    setupDump(1);
    std::string logPath = getDumpPath();
    auto log = [&] { return std::filesystem::exists(logPath) ? readFile(logPath) : ""; };
    PDDoc src = makeSource(4);
    // A frame turned by 45 degrees is placed unturned, on its frame.
    std::string turned =
        makeTemplate("turned.pdf", {{{1, 10, 10, 190, 270, 0}, {2, 200, 10, 380, 270, 45}}});
    ImposeData d = job(src, turned, 2, 1, 4);
    setEHMode(2);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(getErrorCnt(), 0);
    auto f = frames(out, 0);
    ASSERT_EQ(f.size(), 2u);
    ASSERT_TRUE(f[1].placed);
    const ASFixedRect trim = fxRect(5, 5, 185, 265);
    ASFixedRect r;
    asFixedMatrixTransformRect(&r, &f[1].matrix, &trim);
    EXPECT_EQ(r.left, fx(200));
    EXPECT_EQ(r.bottom, fx(10));
    EXPECT_EQ(r.right, fx(380));
    EXPECT_EQ(r.top, fx(270));
    EXPECT_NE(log().find("Template \"turned.pdf\", sheet 1: the frame with box number 2 is "
                         "turned by 45 degrees"),
              std::string::npos)
        << log();
    setCosDoc(out);
    pdDocClose(out);
    setCosDoc(host.doc);

    // Refused templates: no output, one error line naming the template and the frame.
    auto refused = [&](const std::string& tmpl, ASInt32 binding, const std::string& line) {
        ImposeData r = job(src, tmpl, binding, 1, 4);
        setEHMode(2);
        EXPECT_EQ(imposeDocWithData(&r), nullptr) << tmpl;
        EXPECT_EQ(getErrorCnt(), 1) << tmpl;
        EXPECT_NE(log().find("\t####\t" + line + "\n"), std::string::npos) << log();
    };
    // A box number no copy of the template can have.
    refused(makeTemplate("huge.pdf", {{{1, 10, 10, 190, 270}},
                                      {{2, 10, 10, 190, 270}, {2147483647, 200, 10, 380, 270}}}),
            1,
            "Template \"huge.pdf\", sheet 2: a frame has box number 2147483647, but the "
            "template has 3 page frames, numbered from 1");
    // A frame edge beyond the largest sheet.
    refused(makeTemplate("far.pdf", {{{1, 10, 10, 190, 270}, {2, -20000, 10, 380, 270}}}), 2,
            "Template \"far.pdf\", sheet 1: the frame with box number 2 has \"left\" beyond "
            "14400 points, off any sheet");

    // A number left out while another repeats: imposed, and the log says which pages
    // have no frame. (Left out with fewer frames than the highest number: refused.)
    std::string gap = makeTemplate(
        "gap.pdf", {{{1, 10, 10, 190, 270}, {1, 200, 10, 380, 270}, {3, 400, 10, 580, 270}}});
    d = job(src, gap, 2, 1, 4);
    setEHMode(2);
    out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(getErrorCnt(), 0);
    EXPECT_NE(log().find("Template \"gap.pdf\": no frame has box number 2; the pages for it "
                         "are left out"),
              std::string::npos)
        << log();
    setEHMode(1);
    setLogMode(0);
    close(out, src);
}

TEST(OutputTitle, DropsThePdfExtensionAndKeepsTheSuffix) {
    char t[256];
    makeOutputTitle("/x/report.PDF", "_M.pdf", t, sizeof t);
    EXPECT_STREQ(t, "report_M.pdf");
    makeOutputTitle("/x/notes.txt", "_M.pdf", t, sizeof t);
    EXPECT_STREQ(t, "notes.txt_M.pdf");
    std::string longName = "/x/" + std::string(300, 'a') + ".pdf";
    makeOutputTitle(longName.c_str(), "_M.pdf", t, sizeof t);
    EXPECT_EQ(std::strlen(t), 255u);
    EXPECT_STREQ(t + 249, "_M.pdf");
}

TEST_F(Imposing, TurnedFramesTakeTheTrimBoxExactly) {
    PDDoc src = makeSource(4);
    // One sheet, four frames of 0, 90, 180 and 270 degrees; turned frames lie across.
    std::string t = makeTemplate("rot.pdf", {{{1, 10, 10, 190, 270, 0},
                                              {2, 200, 10, 460, 190, 90},
                                              {3, 470, 10, 650, 270, 180},
                                              {4, 10, 300, 270, 480, 270}}});
    ImposeData d = job(src, t, 2, 1, 4);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    auto f = frames(out, 0);
    ASSERT_EQ(f.size(), 4u);
    const ASFixedRect trim = fxRect(5, 5, 185, 265);
    const ASFixedRect want[4] = {fxRect(10, 10, 190, 270), fxRect(200, 10, 460, 190),
                                 fxRect(470, 10, 650, 270), fxRect(10, 300, 270, 480)};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(f[i].placed) << i;
        ASFixedRect r;
        asFixedMatrixTransformRect(&r, &f[i].matrix, &trim);
        EXPECT_EQ(r.left, want[i].left) << i;
        EXPECT_EQ(r.bottom, want[i].bottom) << i;
        EXPECT_EQ(r.right, want[i].right) << i;
        EXPECT_EQ(r.top, want[i].top) << i;
    }
    close(out, src);
}

TEST_F(Imposing, PlacedPagesCarryTheirContentByteForByte) {
    PDDoc src = makeSource(4);
    ImposeData d = job(src, booklet(2), 1, 1, 4);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    auto streamOf = [](CosObj s) {
        ASSize_t len = 0;
        char* p = cosStreamGetData(s, &len);
        std::string data(p, len);
        asFree(p);
        return data;
    };
    // Sheet 0 holds pages 1 and 2.
    CPage sheet(out, 0);
    PDEContent c = pdPageAcquirePDEContent(sheet.getPage());
    std::vector<std::string> placed;
    for (ASInt32 i = 0; i < pdeContentGetNumElems(c); ++i) {
        PDEContent fc = getContent(pdeContentGetElem(c, i));
        for (ASInt32 k = 0; fc && k < pdeContentGetNumElems(fc); ++k) {
            PDEElement e = pdeContentGetElem(fc, k);
            if (pdeObjectGetType(e) == kPDEForm) placed.push_back(streamOf(pdeFormGetCosObj(e)));
        }
    }
    pdPageReleasePDEContent(sheet.getPage());
    ASSERT_EQ(placed.size(), 2u);
    CPage p1(src, 0), p2(src, 1);
    EXPECT_EQ(placed[0], streamOf(cosDictGet(pdPageGetCosObj(p1.getPage()), "Contents")));
    EXPECT_EQ(placed[1], streamOf(cosDictGet(pdPageGetCosObj(p2.getPage()), "Contents")));
    close(out, src);
}

namespace {

bool markRectProc(CContent*, PDEElement frame, long, long data) {
    if (getBoxNum(frame) == kBoxMovingMark) *reinterpret_cast<ASFixedRect*>(data) = getBBox(frame);
    return true;
}

ASFixedRect markRect(PDDoc d, ASInt32 sheet) {
    ASFixedRect r{};
    CPage p(d, sheet);
    EnumForms(p.getPage(), markRectProc, reinterpret_cast<long>(&r), false, true);
    return r;
}

}  // namespace

TEST_F(Imposing, MovingMarksStepOnEveryTemplateCopy) {
    // "Top", 10 pt high, bottom at 100, limit 150: five places, copy n at n mod 5.
    PDDoc src = makeSource(8);
    std::string t = makeTemplate(
        "mark.pdf", {{{1, 200, 20, 380, 280}, {kBoxMovingMark, 50, 100, 60, 110, 0, 150}}});
    ImposeData d = job(src, t, 2, 1, 8);
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pdDocGetNumPages(out), 8);
    const double shift[8] = {0, 10, 20, 30, 40, 0, 10, 20};
    for (ASInt32 s = 0; s < 8; ++s) {
        ASFixedRect r = markRect(out, s);
        EXPECT_EQ(r.bottom, fx(100 + shift[s])) << "copy " << s;
        EXPECT_EQ(r.top, fx(110 + shift[s])) << "copy " << s;
    }
    close(out, src);
}

TEST_F(Imposing, TheSelectionVariantFillsOnlySelectedFrames) {
    PDDoc src = makeSource(4);
    std::string t = booklet(2);
    PDDoc dst = gPDModelHFT->PDDocOpen(t.c_str(), false);
    ASSERT_NE(dst, nullptr);
    setCosDoc(dst);
    PDPage page = pdDocAcquirePage(dst, 0);
    // Selection tags live on the page's content while it is held.
    pdPageAcquirePDEContent(page);
    EnumForms(
        page,
        [](CContent*, PDEElement f, long, long) {
            if (getBoxNum(f) == 2) setSelected(f, true);
            return true;
        },
        0, false, true);
    EXPECT_TRUE(imposeDoc(dst, page, src, fixedOne, false));
    pdPageReleasePDEContent(page);
    pdPageRelease(page);
    auto f = frames(dst, 0);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_FALSE(f[0].placed);
    EXPECT_FALSE(f[0].empty);  // an unselected frame is not touched at all
    EXPECT_TRUE(f[1].placed);
    // Page 2 is 190 wide with its TrimBox from 5: placed by its TrimBox.
    ASFixedPoint p{fx(5), fx(5)}, q;
    asFixedMatrixTransform(&q, &f[1].matrix, &p);
    EXPECT_EQ(q.h, fx(220));
    EXPECT_EQ(q.v, fx(20));
    EXPECT_FALSE(imposeDoc(dst, nullptr, src, fixedOne, false));
    close(dst, src);
}

TEST_F(Imposing, ThePlaceFlowFillsAnOpenTemplateByItsOwnNumbers) {
    PDDoc src = makeSource(4);
    std::string srcPath = tmp.file("src4.pdf");
    close(nullptr, src);
    // An open template whose frames hold the page numbers 3 and 1, shown in a window.
    std::string t = makeTemplate("open.pdf", {{{3, 20, 20, 200, 280}, {1, 220, 20, 400, 280}}});
    PDDoc tmpl = gPDModelHFT->PDDocOpen(t.c_str(), false);
    ASSERT_NE(tmpl, nullptr);
    AVDoc window = gAcroViewHFT->AVDocOpenFromPDDoc(tmpl, "open.pdf");
    ASSERT_NE(window, nullptr);
    setCosDoc(tmpl);
    vexa::host::ui::queueChooserAnswer(srcPath);
    imposeTemplate(tmpl);
    auto f = frames(tmpl, 0);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].box, 3);
    EXPECT_TRUE(f[0].placed);
    EXPECT_TRUE(f[1].placed);
    EXPECT_EQ(getImposeStats().pagesPlaced, 2);
    // The filled template names its source, as an imposed document does.
    char fn[64] = "";
    gPDModelHFT->PDDocGetInfo(tmpl, "FN", fn, sizeof fn);
    EXPECT_STREQ(fn, "src4.pdf");
    // Cancelling the chooser changes nothing.
    vexa::host::ui::queueChooserAnswer("");
    imposeTemplate(tmpl);
    EXPECT_EQ(getImposeStats().pagesPlaced, 2);
    gAcroViewHFT->AVDocClose(window, true);
    setCosDoc(host.doc);
}

namespace {

// The live objects of a document's object table: what it holds in memory.
size_t liveObjects(PDDoc d) {
    size_t n = 0;
    for (QPDFObjectHandle& o : vexa::host::doc::qpdfOf(d).getAllObjects()) n += !o.isNull();
    return n;
}

bool colorSpaceProc(CosObj space, long data) {
    auto* ids = reinterpret_cast<std::set<ASInt32>*>(data);
    if (cosObjGetType(space) == CosArray && cosObjIsIndirect(space))
        ids->insert(gCosHFT->CosObjGetID(space));
    return true;
}

}  // namespace

TEST_F(Imposing, SheetsShareWhatTheyDrawWithAndHoldOnlyTheirOwnObjects) {
    // Two frames and a slug line on each side, trim lines in their own separation.
    std::vector<std::vector<FrameSpec>> sheets = {
        {{-1, 20, 290, 400, 300}, {1, 20, 20, 200, 280}, {4, 220, 20, 400, 280}},
        {{-1, 20, 290, 400, 300}, {2, 20, 20, 200, 280}, {3, 220, 20, 400, 280}}};
    std::string tmpl = makeTemplate("slug.pdf", sheets);
    auto impose = [&](ASInt32 pages, size_t* objects) {
        PDDoc src = makeSource(pages);
        ImposeData d = job(src, tmpl, 1, 1, pages);
        PDDoc out = imposeDocWithData(&d);
        EXPECT_NE(out, nullptr);
        if (!out) return;
        EXPECT_EQ(getImposeStats().pagesPlaced, pages);
        *objects = liveObjects(out);
        // One trim-lines and one "All" separation for the whole job; one graphics
        // state for every clip, trim line and mark; one resources dictionary for
        // placed pages whose resources are equal.
        std::set<ASInt32> spaces, states, resources;
        EnumDocColors(out, colorSpaceProc, reinterpret_cast<long>(&spaces));
        for (ASInt32 s = 0; s < pdDocGetNumPages(out); ++s) {
            CPage p(out, s);
            CosObj res = cosDictGet(pdPageGetCosObj(p.getPage()), "Resources");
            cosObjEnum(
                cosDictGet(res, "ExtGState"),
                [](CosObj, CosObj v, ASClientData ids) -> ASBool {
                    static_cast<std::set<ASInt32>*>(ids)->insert(gCosHFT->CosObjGetID(v));
                    return true;
                },
                &states);
            cosObjEnum(
                cosDictGet(res, "XObject"),
                [](CosObj, CosObj v, ASClientData ids) -> ASBool {
                    CosObj r = cosDictGet(v, "Resources");
                    static_cast<std::set<ASInt32>*>(ids)->insert(gCosHFT->CosObjGetID(r));
                    return true;
                },
                &resources);
        }
        EXPECT_EQ(spaces.size(), 2u);  // "TL" and "All"
        EXPECT_EQ(states.size(), 1u);
        EXPECT_EQ(resources.size(), 1u);
        EXPECT_EQ(resources.count(0), 0u);  // an indirect dictionary
        close(out, src);
    };
    size_t small = 0, large = 0;
    impose(8, &small);
    impose(16, &large);
    // Four sheets more hold their pages, contents, frame dictionaries and placed pages:
    // nothing made per sheet stays behind (superseded contents, colour spaces, states).
    ASSERT_GT(large, small);
    EXPECT_LE(large - small, 4u * 8u) << small << " " << large;
}

namespace {

// Every page of a file rendered in gray, one image after the other.
std::string renderPages(const std::string& file, int dpi) {
    TempDir dir;
    std::string prefix = dir.file("p");
    if (runCommand("pdftoppm -gray -r " + std::to_string(dpi) + " '" + file + "' '" + prefix +
                   "'") != 0)
        return "";
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const auto& n : names) all += readFile(n);
    return all;
}

}  // namespace

// A job whose output is written as it is made (the command line's and the hot folder's)
// places pass by pass; its file shows the same sheets as the job made whole, and only
// the sheets still to be written stay in memory.
TEST_F(Imposing, AJobWrittenAheadGivesTheSameSheetsAndHoldsOnlyThePassAtHand) {
    std::vector<std::vector<FrameSpec>> sheets = {
        {{-1, 20, 290, 400, 300}, {1, 20, 20, 200, 280}, {4, 220, 20, 400, 280}},
        {{-1, 20, 290, 400, 300}, {2, 20, 20, 200, 280}, {3, 220, 20, 400, 280}}};
    std::string tmpl = makeTemplate("slug.pdf", sheets);
    std::string half = makeTemplate("half.pdf", {{{1, 20, 20, 200, 280}, {2, 220, 20, 400, 280}},
                                                 {{3, 20, 20, 200, 280}, {4, 220, 20, 400, 280}}});
    struct Result {
        ASInt32 sheets = 0, placed = 0, empty = 0;
        size_t live = 0;
        std::string file;
    };
    auto impose = [&](ASInt32 binding, ASInt32 pages, bool second, bool ahead) {
        Result r;
        PDDoc src = makeSource(pages);
        ImposeData d = job(src, tmpl, binding, 1, pages);
        if (second) std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s", half.c_str());
        vexa::host::doc::setWriteAheadForNewDocuments(ahead);
        PDDoc out = imposeDocWithData(&d);
        vexa::host::doc::setWriteAheadForNewDocuments(false);
        EXPECT_NE(out, nullptr);
        if (!out) return r;
        r.sheets = pdDocGetNumPages(out);
        r.placed = getImposeStats().pagesPlaced;
        r.empty = getImposeStats().emptyFrames;
        EXPECT_EQ(getImposeStats().sheets, r.sheets);
        r.live = liveObjects(out);
        r.file =
            tmp.file(std::string(ahead ? "ahead" : "whole") + std::to_string(binding) + ".pdf");
        gPDModelHFT->PDDocSave(out, PDSaveFull, r.file.c_str());
        close(out, src);
        return r;
    };
    // Saddle stitch with a second sheet, perfect binding with one, envelope.
    for (auto [binding, pages, second] :
         {std::tuple{1, 26, true}, std::tuple{2, 20, true}, std::tuple{3, 9, false}}) {
        SCOPED_TRACE(binding);
        Result whole = impose(binding, pages, second, false);
        Result ahead = impose(binding, pages, second, true);
        EXPECT_EQ(ahead.sheets, whole.sheets);
        EXPECT_EQ(ahead.placed, whole.placed);
        EXPECT_EQ(ahead.empty, whole.empty);
        std::string log;
        EXPECT_EQ(runCommand("qpdf --check '" + ahead.file + "'", &log), 0) << log;
        std::string shown = renderPages(ahead.file, 30);
        EXPECT_GT(shown.size(), 1000u);
        EXPECT_EQ(shown, renderPages(whole.file, 30));
        if (binding == 1) {
            EXPECT_LT(ahead.live * 2, whole.live) << ahead.live << " " << whole.live;
        }
    }
    // What a job holds at its end grows with its sheets (their page dictionaries) only:
    // each placed page's form went with the last sheet that uses it.
    Result small = impose(2, 20, false, true), large = impose(2, 60, false, true);
    ASSERT_EQ(large.sheets - small.sheets, 20);
    EXPECT_LE(large.live, small.live + 20) << small.live << " " << large.live;
}

TEST_F(Imposing, AdjustedFramesTakeTheirMarksAlong) {
    // A template of two frames side by side (boxes 1 and 2, 5 pt bleed) with cut and
    // registration marks around them; the source's TrimBox is smaller than the frames.
    PDDoc t = pdDocCreate();
    setCosDoc(t);
    PDPage p = gPDModelHFT->PDDocCreatePage(t, PDBeforeFirstPage, fxRect(0, 0, 842, 595));
    ASFixedRect bleed{fx(5), fx(5), fx(5), fx(5)};
    std::vector<PDEElement> fr;
    for (ASInt32 box : {1, 2}) {
        double l = box == 1 ? 200 : 400;
        PDEContainer c = getContainerWithRect(fxRect(l, 100, l + 200, 400));
        setBoxNum(c, box);
        setBleedRect(c, &bleed);
        fr.push_back(c);
    }
    addToPage(p, fr);
    {
        PageContentHold hold(p);
        EnumForms(
            p,
            [](CContent*, PDEElement f, long, long) {
                setSelected(f, true);
                return true;
            },
            0, false, true);
        MarkParams& m = getMarkParams();
        m = MarkParams{};
        m.length = fx(9);
        m.distance = fx(6);
        m.width = fx(0.5);
        m.cutMarks = 1;
        m.regMarks = 1;
        m.symmetric = 1;
        ASSERT_TRUE(createMarks(p));
    }
    pdPageRelease(p);
    gPDModelHFT->PDDocSave(t, PDSaveFull, tmp.file("marks.pdf").c_str());
    pdDocClose(t);
    setCosDoc(host.doc);

    PDDoc src = makeSource(2);  // TrimBox 180 x 260
    ImposeData d = job(src, tmp.file("marks.pdf"), 2, 1, 2);
    d.placing = kPlaceAdjustFrame;
    PDDoc out = imposeDocWithData(&d);
    ASSERT_NE(out, nullptr);
    struct Sheet {
        std::vector<ASFixedRect> trims, cuts, regs;
    } s;
    {
        CPage sheet(out, 0);
        EnumForms(
            sheet.getPage(),
            [](CContent*, PDEElement f, long, long data) {
                auto* s = reinterpret_cast<Sheet*>(data);
                ASInt32 b = getBoxNum(f);
                if (b >= 1) s->trims.push_back(innerRect(readFrame(f)));
                if (b == kBoxCutMark) s->cuts.push_back(getBBox(f));
                if (b == kBoxRegMark) s->regs.push_back(getBBox(f));
                return true;
            },
            reinterpret_cast<long>(&s), false, true);
    }
    ASSERT_EQ(s.trims.size(), 2u);
    ASSERT_EQ(s.cuts.size(), 16u);
    ASSERT_EQ(s.regs.size(), 8u);
    // The frames took the TrimBox's size: box 1 kept its left and top, box 2 its
    // right and top.
    EXPECT_EQ(s.trims[0].right - s.trims[0].left, fx(180));
    EXPECT_EQ(s.trims[0].top - s.trims[0].bottom, fx(260));
    EXPECT_EQ(s.trims[1].right, fx(595));
    // Every cut mark runs along a trim line of a frame, 6 pt beyond its edge (bleed 5).
    const ASFixed tol = 2;
    for (const ASFixedRect& m : s.cuts) {
        bool vertical = m.right - m.left < m.top - m.bottom;
        ASFixed cx = m.left + (m.right - m.left) / 2, cy = m.bottom + (m.top - m.bottom) / 2;
        bool found = false;
        for (const ASFixedRect& t : s.trims) {
            if (vertical && (std::abs(cx - t.left) <= tol || std::abs(cx - t.right) <= tol))
                found = found || std::abs(m.bottom - (t.top + fx(11))) <= tol ||
                        std::abs(m.top - (t.bottom - fx(11))) <= tol;
            if (!vertical && (std::abs(cy - t.top) <= tol || std::abs(cy - t.bottom) <= tol))
                found = found || std::abs(m.right - (t.left - fx(11))) <= tol ||
                        std::abs(m.left - (t.right + fx(11))) <= tol;
        }
        EXPECT_TRUE(found) << m.left / 65536.0 << " " << m.bottom / 65536.0 << " "
                           << m.right / 65536.0 << " " << m.top / 65536.0;
    }
    // Registration marks stay 6 pt off the frame edges beside them, level with the
    // trim corners they belong to.
    for (const ASFixedRect& m : s.regs) {
        bool found = false;
        for (const ASFixedRect& t : s.trims) {
            bool beside = std::abs(m.right - (t.left - fx(11))) <= tol ||
                          std::abs(m.left - (t.right + fx(11))) <= tol;
            bool level = std::abs(m.top - (t.top - fx(6))) <= tol ||
                         std::abs(m.bottom - (t.bottom + fx(6))) <= tol;
            found = found || (beside && level);
        }
        EXPECT_TRUE(found) << m.left / 65536.0 << " " << m.bottom / 65536.0;
    }
    close(out, src);
}

TEST_F(Imposing, TheTrimBoxQuestionSpeaksTheUsersLanguage) {
    setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
    gLanguage = kLangGerman;
    setupMyStrings();
    PDDoc src = makeSource(4);  // TrimBox 180 x 260
    // frames of 200 x 300: the TrimBox does not match
    std::string t = makeTemplate("q.pdf", {{{1, 20, 20, 220, 320}}});
    PDDoc dst = gPDModelHFT->PDDocOpen(t.c_str(), false);
    ASSERT_NE(dst, nullptr);
    setCosDoc(dst);
    PDPage page = pdDocAcquirePage(dst, 0);
    pdPageAcquirePDEContent(page);
    EnumForms(
        page,
        [](CContent*, PDEElement f, long, long) {
            setSelected(f, true);
            return true;
        },
        0, false, true);
    auto& fe = host.session().frontEnd();
    std::size_t shown = fe.alerts.size();
    setPlacing(kPlaceTrimBoxIfAny);
    EXPECT_TRUE(imposeDoc(dst, page, src, fixedOne, true));
    pdPageReleasePDEContent(page);
    pdPageRelease(page);
    ASSERT_EQ(fe.alerts.size(), shown + 1);
    const auto& a = fe.alerts.back().request;
    EXPECT_EQ(a.message.rfind("Die TrimBox der zu platzierenden Seiten", 0), 0u) << a.message;
    EXPECT_EQ(a.buttons, (std::vector<std::string>{"Ja", "Nein"}));
    close(dst, src);
    cleanupMyStrings();
    gLanguage = kLangEnglish;
    unsetenv("VEXA_RESOURCES");
}

namespace {

struct Said {
    std::vector<std::string> errors, warnings;
    std::string all() const {
        std::string t;
        for (const std::string& e : errors) t += "error: " + e + "\n";
        for (const std::string& w : warnings) t += "warning: " + w + "\n";
        return t;
    }
    bool has(const std::string& text) const { return all().find(text) != std::string::npos; }
};

void sayTo(const VexaProblem* p, void* data) {
    auto* s = static_cast<Said*>(data);
    (p->severity == kVexaError ? s->errors : s->warnings).push_back(p->text);
}

// A job of the command line over src into tmpl, written to out.
VexaJob lineJob(PDDoc src, const std::string& srcPath, const std::string& tmpl,
                const std::string& out) {
    VexaJob j;
    initImposeJob(&j, src);
    std::snprintf(j.data.srcPath, sizeof j.data.srcPath, "%s", srcPath.c_str());
    std::snprintf(j.data.templatePath, sizeof j.data.templatePath, "%s", tmpl.c_str());
    std::snprintf(j.data.outPath, sizeof j.data.outPath, "%s", out.c_str());
    return j;
}

// Source pages that cannot be read: acquiring them fails as a damaged file does.
PDDoc gUnreadableDoc = nullptr;
std::set<ASInt32> gUnreadablePages;
const PDModelHFT* gRealPDModel = nullptr;

PDPage acquireOrFail(PDDoc d, ASInt32 n) {
    if (d == gUnreadableDoc && gUnreadablePages.count(n + 1)) gCoreHFT->ASRaise(pdErrDamaged);
    return gRealPDModel->PDDocAcquirePage(d, n);
}

struct UnreadablePages {
    PDModelHFT patched;
    UnreadablePages(PDDoc doc, std::set<ASInt32> pages) {
        gRealPDModel = gPDModelHFT;
        patched = *gPDModelHFT;
        patched.PDDocAcquirePage = acquireOrFail;
        gUnreadableDoc = doc;
        gUnreadablePages = std::move(pages);
        gPDModelHFT = &patched;
    }
    ~UnreadablePages() {
        gPDModelHFT = gRealPDModel;
        gUnreadableDoc = nullptr;
    }
};

}  // namespace

TEST_F(Imposing, TheJobCheckSaysEveryWrongInputBeforeAnyWork) {
    PDDoc src = makeSource(16);
    std::string srcPath = tmp.file("src16.pdf"), t = booklet(2);
    VexaJob good = lineJob(src, srcPath, t, tmp.file("out.pdf"));
    Said said;
    JobReport report{sayTo, &said};
    EXPECT_EQ(checkImposeJob(&good, nullptr, report, true), 0) << said.all();

    struct Case {
        void (*change)(VexaJob&, const std::string& dir);
        const char* says;
    };
    const Case cases[] = {
        {[](VexaJob& j, const std::string&) { j.data.firstPage = 10, j.data.lastPage = 3; },
         "the range 10-3 runs backwards"},
        {[](VexaJob& j, const std::string&) { j.data.firstPage = 20, j.data.lastPage = 30; },
         "the range 20-30 begins after the last page: the source has 16 pages"},
        {[](VexaJob& j, const std::string&) { j.data.firstPage = 10, j.data.lastPage = 20; },
         "the range 10-20 ends after the last page"},
        {[](VexaJob& j, const std::string&) {
             j.data.binding = 2;
             j.data.creep = 0x10000;
             j.given |= kVexaGivenCreep;
         },
         "creep is for saddle stitch only; this job is bound by perfect binding"},
        {[](VexaJob& j, const std::string&) { j.data.scale = 0x10000 / 20; },
         "the scale 5% lies outside 10% to 1000%"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.templatePath, 512, "%s/src16.pdf", dir.c_str());
         },
         "src16.pdf: noTemplateStr (its first sheet has no page frames)"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.templatePath, 512, "%s/gone.pdf", dir.c_str());
         },
         "the template /"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.halfSheetPath, 512, "%s/none.pdf", dir.c_str());
         },
         "none.pdf has no page frames"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.outPath, 512, "%s/no/such/folder/o.pdf", dir.c_str());
         },
         "/no/such/folder/o.pdf cannot be written: the folder"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.outPath, 512, "%s/./sub/../src16.pdf", dir.c_str());
         },
         "is the source itself"},
        {[](VexaJob& j, const std::string& dir) {
             std::snprintf(j.data.outPath, 512, "%s/link.pdf", dir.c_str());
         },
         "is the template itself"},
        {[](VexaJob& j, const std::string&) {
             j.spotCount = 1;
             std::snprintf(j.spots[0].name, 128, "Gold");
         },
         "has no spot colour \"Gold\" (it has none)"},
    };
    makeTemplate("none.pdf", {{{0, 20, 20, 200, 280}}});
    std::filesystem::create_directory(tmp.path() / "sub");
    std::filesystem::create_symlink(t, tmp.path() / "link.pdf");
    for (const Case& c : cases) {
        VexaJob j = good;
        c.change(j, tmp.path().string());
        Said s;
        JobReport r{sayTo, &s};
        EXPECT_GE(checkImposeJob(&j, nullptr, r, true), 1) << c.says;
        EXPECT_TRUE(s.has(c.says)) << c.says << "\n" << s.all();
        // Nothing ran: no document was made or opened for it.
        EXPECT_EQ(runImposeJob(&j, nullptr, r, true, false), nullptr) << c.says;
    }
    close(nullptr, src);
}

TEST_F(Imposing, TheJobCheckWarnsOfWhatAPressOperatorMustKnow) {
    PDDoc src = makeSource(13);
    std::string srcPath = tmp.file("src13.pdf");
    // Frames a little wider than the pages' TrimBox (180 x 260 pt).
    std::vector<std::vector<FrameSpec>> sheets(2);
    for (int s = 0; s < 2; ++s)
        for (ASInt32 i = 0; i < 2; ++i)
            sheets[s].push_back({2 * s + i + 1, 20.0 + 200 * i, 20, 20.0 + 200 * i + 182, 280});
    std::string wide = makeTemplate("wide.pdf", sheets);
    VexaJob j = lineJob(src, srcPath, wide, tmp.file("o.pdf"));
    Said said;
    JobReport report{sayTo, &said};
    VexaJobFacts facts{};
    EXPECT_EQ(checkImposeJob(&j, &facts, report, true), 0) << said.all();
    EXPECT_TRUE(
        said.has("3 of 16 frames stay empty: the template takes 4 pages per pass and "
                 "the source ends at page 13"))
        << said.all();
    EXPECT_TRUE(
        said.has("the pages' TrimBox (63.5 x 91.7 mm) differs from the frames' trim "
                 "size (64.2 x 91.7 mm) by more than 0.5 mm: each page is placed by "
                 "its TrimBox"))
        << said.all();
    EXPECT_EQ(facts.jobPages, 13);
    EXPECT_EQ(facts.trimBoxPages, 13);
    EXPECT_EQ(facts.framesPerPass, 4);
    // Centred, the warning says so; adjusted frames fit the pages.
    j.data.placing = kPlaceCentered;
    Said centred;
    JobReport r2{sayTo, &centred};
    checkImposeJob(&j, nullptr, r2, true);
    EXPECT_TRUE(centred.has("each page is centred on its frame's trim area")) << centred.all();
    j.data.placing = kPlaceAdjustFrame;
    Said adjusted;
    JobReport r3{sayTo, &adjusted};
    checkImposeJob(&j, nullptr, r3, true);
    EXPECT_FALSE(adjusted.has("TrimBox (")) << adjusted.all();
    // A range rounded up to whole passes places pages beyond it.
    j.data.firstPage = 3;
    j.data.lastPage = 8;
    Said rounded;
    JobReport r4{sayTo, &rounded};
    checkImposeJob(&j, nullptr, r4, true);
    EXPECT_TRUE(rounded.has("pages 9-10 beyond the range 3-8 are placed too")) << rounded.all();
    // Without warnings asked for, the check says none.
    Said quiet;
    JobReport r5{sayTo, &quiet};
    checkImposeJob(&j, nullptr, r5, false);
    EXPECT_TRUE(quiet.warnings.empty());
    close(nullptr, src);
}

// The check counts the frames of a job's sheets without building them; the counts
// must be those of the sheets the engine builds, for every binding and range.
TEST_F(Imposing, TheJobCheckCountsTheFramesTheEngineBuilds) {
    std::string four = booklet(2), eight = booklet(4, "t8.pdf");
    std::string half = makeTemplate("half.pdf", {{{1, 20, 20, 200, 280}, {2, 220, 20, 400, 280}},
                                                 {{3, 20, 20, 200, 280}, {4, 220, 20, 400, 280}}});
    std::string step = makeTemplate("step.pdf", {{{1, 20, 20, 200, 280}, {1, 220, 20, 400, 280}}});
    struct Counted {
        ASInt32 frames = 0, empty = 0, highest = 0;
    };
    auto count = [](const VexaPlannedFrame* f, void* data) {
        auto* c = static_cast<Counted*>(data);
        ++c->frames;
        c->empty += f->page == 0;
        c->highest = std::max(c->highest, f->page);
    };
    int compared = 0;
    for (ASInt32 n : {3, 12, 13, 22}) {
        PDDoc src = makeSource(n);
        for (const std::string& t : {four, eight, step})
            for (ASInt32 binding : {1, 2, 3})
                for (bool second : {false, true})
                    for (auto [first, last] : {std::pair{1, n}, std::pair{2, n - 1}}) {
                        VexaJob j = lineJob(src, tmp.file("src.pdf"), t, tmp.file("o.pdf"));
                        j.data.binding = binding;
                        j.data.firstPage = first;
                        j.data.lastPage = last;
                        if (second)
                            std::snprintf(j.data.halfSheetPath, sizeof j.data.halfSheetPath, "%s",
                                          half.c_str());
                        std::string what = "pages " + std::to_string(n) + ", template " + t +
                                           ", binding " + std::to_string(binding) +
                                           (second ? ", second sheet" : "") + ", range " +
                                           std::to_string(first) + "-" + std::to_string(last);
                        Counted built;
                        JobReport quiet;
                        ASSERT_TRUE(planImposeJob(&j, count, &built, quiet)) << what;
                        JobFrameCount c = countJobFrames(&j);
                        EXPECT_EQ(c.frames, built.frames) << what;
                        EXPECT_EQ(c.empty, built.empty) << what;
                        EXPECT_EQ(c.highest, built.highest) << what;
                        ++compared;
                    }
        close(nullptr, src);
    }
    EXPECT_EQ(compared, 144);
}

TEST_F(Imposing, UnreadablePagesAreSaidOnceAndAMostlyUnreadableJobGivesNothing) {
    PDDoc src = makeSource(16);
    std::string srcPath = tmp.file("src16.pdf"), t = booklet(2);
    ErrorModeScope logging(kEHLog);
    {
        UnreadablePages bad(src, {3, 7});
        VexaJob j = lineJob(src, srcPath, t, tmp.file("o.pdf"));
        Said said;
        JobReport report{sayTo, &said};
        VexaJobResult r{};
        PDDoc out = runImposeJob(&j, &r, report, true, false);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(r.unreadPages, 2);
        EXPECT_EQ(r.pagesPlaced, 14);
        EXPECT_GE(r.errors, 2);
        ASSERT_EQ(said.errors.size(), 1u) << said.all();
        EXPECT_TRUE(
            said.has("2 of the job's 16 pages of " + srcPath + " could not be read (pages 3, 7): "))
            << said.all();
        setCosDoc(out);
        pdDocClose(out);
        setCosDoc(host.doc);
    }
    {
        std::set<ASInt32> most;
        for (ASInt32 p = 2; p <= 16; ++p) most.insert(p);
        UnreadablePages bad(src, most);
        VexaJob j = lineJob(src, srcPath, t, tmp.file("o.pdf"));
        Said said;
        JobReport report{sayTo, &said};
        VexaJobResult r{};
        EXPECT_EQ(runImposeJob(&j, &r, report, true, false), nullptr);
        EXPECT_EQ(r.unreadPages, 15);
        // Said once with the count, not once per frame.
        EXPECT_EQ(said.errors.size(), 2u) << said.all();
        EXPECT_TRUE(said.has("15 of the job's 16 pages")) << said.all();
        EXPECT_TRUE(said.has("pages 2-16")) << said.all();
        EXPECT_TRUE(said.has("nothing was imposed: most pages of " + srcPath)) << said.all();
    }
    close(nullptr, src);
}

TEST_F(Imposing, TheImposeCommandKeepsItsErrorsAndGivesTheErrorModeBack) {
    PDDoc src = makeSource(4);
    AVDoc window = gAcroViewHFT->AVDocOpenFromPDDoc(src, "src4.pdf");
    ASSERT_NE(window, nullptr);
    setupDump(1);
    setEHMode(kEHAlert);
    {
        // Every page of the front document fails: the command's own steps raise.
        UnreadablePages bad(src, {1, 2, 3, 4});
        PDModelHFT failing = *gPDModelHFT;
        failing.PDDocGetNumPages = [](PDDoc) -> ASInt32 {
            gCoreHFT->ASRaise(pdErrDamaged);
            return 0;
        };
        const PDModelHFT* before = gPDModelHFT;
        gPDModelHFT = &failing;
        EXPECT_NO_THROW(doImposeCmd());
        gPDModelHFT = before;
    }
    EXPECT_EQ(setEHMode(kEHAlert), kEHAlert);  // the command gave the mode back
    std::string log = readFile(getDumpPath());
    EXPECT_NE(log.find("\t####\t"), std::string::npos) << log;
    gAcroViewHFT->AVDocClose(window, true);
    setCosDoc(host.doc);
}

TEST_F(Imposing, AJobWrittenAheadPlacesEveryFrameAsTheWholeDocumentDoes) {
    // Frames turned and with bleed, creep, a trim-lines layer put before the frames of
    // every sheet and three passes: the values the job keeps from renumbering to placing
    // must give each sheet what reading every frame anew gives.
    std::vector<std::vector<FrameSpec>> sheets = {
        {{-1, 20, 290, 400, 300}, {1, 20, 20, 200, 280, 90}, {4, 220, 20, 400, 280, 0}},
        {{2, 20, 20, 200, 280, 180}, {3, 220, 20, 400, 280, 270}}};
    std::string tmpl = makeTemplate("turned.pdf", sheets, 3);
    auto impose = [&](bool ahead) {
        PDDoc src = makeSource(12);
        ImposeData d = job(src, tmpl, 1, 1, 12);
        d.creep = fx(0.5);
        ImposeModeScope mode(false, true);
        vexa::host::doc::setWriteAheadForNewDocuments(ahead);
        PDDoc out = imposeDocWithData(&d);
        vexa::host::doc::setWriteAheadForNewDocuments(false);
        std::string file = tmp.file(ahead ? "ahead.pdf" : "whole.pdf");
        EXPECT_NE(out, nullptr);
        if (out) gPDModelHFT->PDDocSave(out, PDSaveFull, file.c_str());
        close(out, src);
        return file;
    };
    std::string whole = impose(false), ahead = impose(true);
    PDDoc a = gPDModelHFT->PDDocOpen(ahead.c_str(), false);
    PDDoc w = gPDModelHFT->PDDocOpen(whole.c_str(), false);
    ASSERT_EQ(pdDocGetNumPages(a), 6);
    ASSERT_EQ(pdDocGetNumPages(w), 6);
    int placed = 0;
    for (ASInt32 s = 0; s < 6; ++s) {
        SCOPED_TRACE(s);
        std::vector<Frame> fa = frames(a, s), fw = frames(w, s);
        ASSERT_EQ(fa.size(), fw.size());
        for (size_t k = 0; k < fa.size(); ++k) {
            EXPECT_EQ(fa[k].box, fw[k].box);
            EXPECT_EQ(fa[k].displacement, fw[k].displacement);
            EXPECT_EQ(fa[k].placed, fw[k].placed);
            EXPECT_EQ(0, std::memcmp(&fa[k].matrix, &fw[k].matrix, sizeof(ASFixedMatrix)));
            placed += fa[k].placed;
        }
    }
    EXPECT_EQ(placed, 12);
    close(a, w);
}

namespace {

const PDModelHFT* gRealOpen = nullptr;
std::string gCountedPath;
int gOpens = 0;

PDDoc countOpen(const char* path, ASBool repair) {
    if (path && gCountedPath == path) ++gOpens;
    return gRealOpen->PDDocOpen(path, repair);
}

}  // namespace

TEST_F(Imposing, ACheckedJobOpensItsTemplateOnceAndATemplateSavedAnewIsReadAnew) {
    std::string t = booklet(2);
    PDDoc src = makeSource(8);
    PDModelHFT patched = *gPDModelHFT;
    gRealOpen = gPDModelHFT;
    patched.PDDocOpen = countOpen;
    gPDModelHFT = &patched;
    ScopeExit restore([] { gPDModelHFT = gRealOpen; });
    gCountedPath = t;
    gOpens = 0;
    VexaJob j;
    auto sheetsOf = [&] {
        // The engine counts on the job's record: each run has one of its own.
        j = lineJob(src, tmp.file("src8.pdf"), t, tmp.file("o.pdf"));
        Said said;
        JobReport report{sayTo, &said};
        // The caller's check, then the job's own before it runs.
        EXPECT_EQ(checkImposeJob(&j, nullptr, report, true), 0) << said.all();
        EXPECT_EQ(checkImposeJob(&j, nullptr, report, false), 0) << said.all();
        PDDoc out = imposeDocWithData(&j.data);
        EXPECT_NE(out, nullptr);
        ASInt32 n = out ? pdDocGetNumPages(out) : 0;
        if (out) closeDoc(out);
        return n;
    };
    // 2 frames a side: two passes of two sheets.
    EXPECT_EQ(sheetsOf(), 4);
    EXPECT_EQ(gOpens, 1);
    // The same name saved with 4 frames a side: one pass.
    booklet(4);
    EXPECT_EQ(sheetsOf(), 2);
    EXPECT_EQ(gOpens, 2);
    j = lineJob(src, tmp.file("src8.pdf"), t, tmp.file("o.pdf"));
    EXPECT_EQ(countJobFrames(&j).frames, 8);
    close(nullptr, src);
}

TEST_F(Imposing, SlugLinesListTheSpotColoursOfTheirSheetsWrittenOnceOrTwice) {
    // A sheet of plain colours is written once, with its slug line; a sheet holding a
    // page in a spot colour is written placed and then with its slug line. Both list
    // what the whole document made at once lists.
    std::vector<std::vector<FrameSpec>> sheets = {
        {{-1, 20, 290, 400, 300}, {1, 20, 20, 200, 280}, {4, 220, 20, 400, 280}},
        {{-1, 20, 290, 400, 300}, {2, 20, 20, 200, 280}, {3, 220, 20, 400, 280}}};
    std::string tmpl = makeTemplate("slug.pdf", sheets);
    std::string srcPath = tmp.file("spots.pdf");
    {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        const float cmyk[4] = {0, 0.2f, 1, 0};
        for (ASInt32 i = 0; i < 8; ++i) {
            PDPage p = gPDModelHFT->PDDocCreatePage(d, i - 1, fxRect(0, 0, 190, 270));
            PDEPath r = makeRect(10, 10, 50, 50);
            if (i == 2) {
                PDEGraphicState gs;
                pdeGetGState(r, &gs);
                PDEColorSpec s = getSepColorSpec("Gold", cmyk);
                gs.fillColorSpec = s;
                gPDFEditWriteHFT->PDEElementSetGState(r, &gs, sizeof gs);
                freeColorSpec(&s);
            }
            addToPage(p, {r});
            pdPageRelease(p);
        }
        gPDModelHFT->PDDocSave(d, PDSaveFull, srcPath.c_str());
        pdDocClose(d);
        setCosDoc(host.doc);
    }
    auto slugTexts = [&](bool ahead) {
        PDDoc src = gPDModelHFT->PDDocOpen(srcPath.c_str(), false);
        ImposeData d = job(src, tmpl, 1, 1, 8);
        vexa::host::doc::setWriteAheadForNewDocuments(ahead);
        PDDoc out = imposeDocWithData(&d);
        vexa::host::doc::setWriteAheadForNewDocuments(false);
        EXPECT_NE(out, nullptr);
        std::string file = tmp.file(ahead ? "ahead.pdf" : "whole.pdf");
        if (out) gPDModelHFT->PDDocSave(out, PDSaveFull, file.c_str());
        close(out, src);
        std::string text;
        EXPECT_EQ(runCommand("pdftotext '" + file + "' -", &text), 0);
        // Whether each sheet lists the spot colour.
        std::vector<bool> gold;
        std::size_t at = 0;
        for (std::size_t end; (end = text.find('\f', at)) != std::string::npos; at = end + 1)
            gold.push_back(text.substr(at, end - at).find("Gold") != std::string::npos);
        return gold;
    };
    std::vector<bool> whole = slugTexts(false), ahead = slugTexts(true);
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_EQ(ahead, whole);
    // Page 3 lies on the front of the second pass only.
    EXPECT_EQ(whole, (std::vector<bool>{false, false, true, false}));
}
