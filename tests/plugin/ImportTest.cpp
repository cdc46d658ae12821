// Importing pages as forms: bounding box and scale, the private "TrimBox", "Rotate"
// and "CMYK" keys, the source left untouched, import by insertion, errors; and the
// rendering of a form placed into a frame with each rotation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/FrameFit.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "ModelBuild.h"
#include "doc/DocInternal.h"

using namespace vexa::test;

namespace {

struct Import : ::testing::Test {
    ModelTestHost host;
    TempDir tmp;
    PDDoc src = nullptr;

    void TearDown() override {
        if (src) pdDocClose(src);
        setEHMode(1);
    }

    // A saved and reopened source: page 0 is 200 x 300 with two dark rectangles in
    // different gray levels; page 1 has a TrimBox, page 2 is turned by 90 degrees.
    void makeSource() {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        PDPage p0 = gPDModelHFT->PDDocCreatePage(d, PDBeforeFirstPage, fxRect(0, 0, 200, 300));
        addToPage(p0, {makeRect(20, 20, 60, 100, 0), makeRect(120, 200, 60, 80, 0.5)});
        PDPage p1 = gPDModelHFT->PDDocCreatePage(d, 0, fxRect(0, 0, 612, 792));
        addToPage(p1, {makeRect(40, 40, 100, 100, 0.5)});
        gPDModelHFT->PDPageSetBox(p1, asAtomFromString("TrimBox"), fxRect(36, 36, 576, 756));
        PDPage p2 = gPDModelHFT->PDDocCreatePage(d, 1, fxRect(0, 0, 200, 300));
        addToPage(p2, {makeRect(20, 20, 60, 100, 0), makeRect(120, 200, 60, 80, 0.5)});
        gPDModelHFT->PDPageSetRotate(p2, 90);
        for (PDPage p : {p0, p1, p2}) pdPageRelease(p);
        gPDModelHFT->PDDocSave(d, PDSaveFull, tmp.file("src.pdf").c_str());
        pdDocClose(d);
        src = gPDModelHFT->PDDocOpen(tmp.file("src.pdf").c_str(), false);
        setCosDoc(host.doc);
    }

    static std::string streamData(CosObj s) {
        ASSize_t len = 0;
        char* p = cosStreamGetData(s, &len);
        std::string out(p, len);
        asFree(p);
        return out;
    }
    static std::string pageContentData(PDPage page) {
        CosObj c = cosDictGet(pdPageGetCosObj(page), "Contents");
        if (cosObjGetType(c) == CosStream) return streamData(c);
        std::string all;
        for (ASInt32 i = 0; i < cosArrayLength(c); ++i) all += streamData(cosArrayGet(c, i));
        return all;
    }
};

}  // namespace

TEST_F(Import, FormKeepsTheCropBoxAndTheContentBytes) {
    makeSource();
    PDEForm form = getPageContent(src, host.doc, 0, fixedOne);
    ASSERT_NE(form, nullptr);
    CosObj x = pdeFormGetCosObj(form);
    EXPECT_EQ(cosObjGetDoc(x), pdDocGetCosDoc(host.doc));
    ASFixedRect bb = getBBox(x);
    EXPECT_EQ(bb.right, fx(200));
    EXPECT_EQ(bb.top, fx(300));
    EXPECT_EQ(getFormRotation(form), 0);
    EXPECT_FALSE(trimBoxAvail(form));
    ASFixedRect t;
    EXPECT_FALSE(getTrimBox(form, t));
    EXPECT_EQ(t.right, fx(200));  // the element's bounding box
    // The page's content is carried over unchanged.
    CPage page(src, 0);
    EXPECT_EQ(streamData(x), pageContentData(page.getPage()));
    ASUns8 cmyk[4];
    getCMYKUsage(form, cmyk);
    EXPECT_EQ(std::vector<int>(cmyk, cmyk + 4), (std::vector<int>{0, 0, 0, 1}));
    CosObj a = cosDictGet(x, "CMYK");
    ASSERT_EQ(cosObjGetType(a), CosArray);
    EXPECT_EQ(cosObjGetType(cosArrayGet(a, 3)), CosInteger);
    pdeRelease(form);
}

TEST_F(Import, ScaleAppliesToTheFormAndItsTrimBox) {
    makeSource();
    PDEForm form = getPageContent(src, host.doc, 1, fixedHalf);
    ASSERT_NE(form, nullptr);
    ASFixedRect t;
    ASSERT_TRUE(getTrimBox(form, t));
    EXPECT_EQ(t.left, fx(18));
    EXPECT_EQ(t.bottom, fx(18));
    EXPECT_EQ(t.right, fx(288));
    EXPECT_EQ(t.top, fx(378));
    ASFixedRect bb;
    pdeGetBBox(form, &bb);
    EXPECT_NEAR(bb.right, fx(306), 2);
    EXPECT_NEAR(bb.top, fx(396), 2);
    pdeRelease(form);
    // Scale 0 or below imports at 1.0.
    for (long s : {0L, -65536L}) {
        PDEForm f = getPageContent(src, host.doc, 1, s);
        ASSERT_TRUE(getTrimBox(f, t));
        EXPECT_EQ(t.right, fx(576));
        pdeGetBBox(f, &bb);
        EXPECT_NEAR(bb.right, fx(612), 2);
        pdeRelease(f);
    }
}

TEST_F(Import, ATurnedPageCarriesItsRotateUnturned) {
    makeSource();
    PDEForm form = getPageContent(src, host.doc, 2, fixedOne);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(getFormRotation(form), 90);
    ASFixedRect bb;
    pdeGetBBox(form, &bb);
    EXPECT_NEAR(bb.right, fx(200), 2);  // not turned
    CPage page(src, 2);
    EXPECT_EQ(getPgRotation(page.getPage()), 90);
    pdeRelease(form);
}

TEST_F(Import, TheSourceStaysUnchanged) {
    makeSource();
    ASSERT_FALSE(needsSave(src));
    std::string before;
    {
        CPage page(src, 1);
        before = pageContentData(page.getPage());
    }
    PDEForm form = getPageContent(src, host.doc, 1, fixedHalf);
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(needsSave(src));
    CPage page(src, 1);
    EXPECT_EQ(pageContentData(page.getPage()), before);
    EXPECT_EQ(cosObjGetType(cosDictGet(pdPageGetCosObj(page.getPage()), "Resources")), CosDict);
    pdeRelease(form);
    // Saving the source again still gives a sound file.
    gPDModelHFT->PDDocSave(src, PDSaveFull | PDSaveCopy, tmp.file("again.pdf").c_str());
    std::string out;
    EXPECT_EQ(runCommand("qpdf --check " + tmp.file("again.pdf"), &out), 0) << out;
}

TEST_F(Import, ImportByInsertionLeavesNoPageBehind) {
    makeSource();
    ASInt32 pages = pdDocGetNumPages(host.doc);
    PDEForm form = getPageContent2(src, host.doc, 1, fixedOne);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(pdDocGetNumPages(host.doc), pages);
    ASFixedRect t;
    EXPECT_TRUE(getTrimBox(form, t));
    EXPECT_EQ(t.right, fx(576));
    EXPECT_EQ(cosObjGetDoc(pdeFormGetCosObj(form)), pdDocGetCosDoc(host.doc));
    pdeRelease(form);
}

TEST_F(Import, APageOutOfRangeIsReportedAndGivesNoForm) {
    makeSource();
    setEHMode(2);
    EXPECT_EQ(getPageContent(src, host.doc, 7, fixedOne), nullptr);
    EXPECT_EQ(getPageContent2(src, host.doc, -3, fixedOne), nullptr);
    EXPECT_EQ(getErrorCnt(), 2);
    EXPECT_EQ(pdDocGetNumPages(host.doc), 1);
}

namespace {

const PagePDEContentHFT* gRealPageContent = nullptr;
ASInt32 failToRelease(PDPage, ExtensionID) {
    gCoreHFT->ASRaise(genErrGeneral);
    return 0;
}

}  // namespace

// Letting go of the page's content after the import may fail: the form is made all the
// same, the failure is logged, and nothing is thrown from a clean-up (which would end
// the program), nor does a temporary page stay behind.
TEST_F(Import, AFailureWhileLettingGoOfThePageIsLoggedNotFatal) {
    makeSource();
    setupDump(1);
    setEHMode(kEHLog);
    ASInt32 pages = pdDocGetNumPages(host.doc);
    gRealPageContent = gPagePDEContentHFT;
    PagePDEContentHFT patched = *gPagePDEContentHFT;
    patched.PDPageReleasePDEContent = failToRelease;
    gPagePDEContentHFT = &patched;
    PDEForm scaled = getPageContent(src, host.doc, 1, fixedHalf);
    PDEForm inserted = getPageContent2(src, host.doc, 1, fixedOne);
    gPagePDEContentHFT = gRealPageContent;
    EXPECT_NE(scaled, nullptr);
    EXPECT_NE(inserted, nullptr);
    EXPECT_EQ(getErrorCnt(), 0);
    EXPECT_EQ(pdDocGetNumPages(host.doc), pages);
    std::string log = readFile(getDumpPath());
    EXPECT_NE(log.find("releasing a page's content"), std::string::npos) << log;
    pdeRelease(scaled);
    pdeRelease(inserted);
    setEHMode(kEHUnset);
    setLogMode(0);
}

TEST_F(Import, PageStringsAndTrimBoxPresence) {
    char buf[256];
    EXPECT_FALSE(getPgString(host.page, "TN", buf));
    setPgString(host.page, "TN", "source.pdf");
    setPgString(host.page, "TN", "other.pdf");
    EXPECT_TRUE(getPgString(host.page, "TN", buf));
    EXPECT_STREQ(buf, "other.pdf");
    EXPECT_FALSE(trimBoxAvail(host.page));
    gPDModelHFT->PDPageSetBox(host.page, asAtomFromString("TrimBox"), fxRect(1, 1, 2, 2));
    EXPECT_TRUE(trimBoxAvail(host.page));
    EXPECT_EQ(getPgRotation(host.page), 0);
}

// Rendering: the placed form shows the source page turned with the frame.

namespace {

struct Gray {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    int at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Gray readPgm(const std::string& path) {
    Gray g;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    in >> magic >> g.w >> g.h >> maxv;
    in.get();
    g.px.resize(static_cast<size_t>(g.w) * g.h);
    in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size()));
    if (magic != "P5" || !in) g.w = g.h = 0;
    return g;
}

Gray render(const std::string& pdf, const std::string& base, int page = 1) {
    std::string out;
    std::string n = std::to_string(page);
    int rc = runCommand(
        "pdftoppm -r 72 -cropbox -gray -f " + n + " -l " + n + " -singlefile " + pdf + " " + base,
        &out);
    if (rc != 0) return Gray{};
    return readPgm(base + ".pgm");
}

// The image turned counter-clockwise by quarter turns.
Gray turn(const Gray& s, int quarter) {
    Gray r = s;
    for (int q = 0; q < quarter; ++q) {
        Gray t;
        t.w = r.h;
        t.h = r.w;
        t.px.resize(r.px.size());
        for (int y = 0; y < r.h; ++y)
            for (int x = 0; x < r.w; ++x)
                t.px[static_cast<size_t>(r.w - 1 - x) * t.w + y] = r.at(x, y);
        r = t;
    }
    return r;
}

// Mean absolute difference of the expected image and the sheet's area at (x, y)
// (top-left pixel coordinates).
double difference(const Gray& sheet, int x0, int y0, const Gray& expect) {
    double sum = 0;
    for (int y = 0; y < expect.h; ++y)
        for (int x = 0; x < expect.w; ++x)
            sum += std::abs(sheet.at(x0 + x, y0 + y) - expect.at(x, y));
    return sum / (expect.w * expect.h);
}

}  // namespace

TEST_F(Import, APlacedPageRendersInItsFrameWithEachRotation) {
    makeSource();
    Gray source = render(tmp.file("src.pdf"), tmp.file("src"));
    ASSERT_EQ(source.w, 200);
    ASSERT_EQ(source.h, 300);

    struct Case {
        long page;
        int frameRotation;
        int quarters;  // expected turn of the source rendering
    } cases[] = {{0, 0, 0}, {0, 90, 1}, {0, 180, 2}, {0, 270, 3}, {2, 0, 0}, {2, 90, 1}};
    // Source page 2 is page 0 with Rotate 90: placed into a frame turned by 90 it shows
    // its content as drawn.
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " rotation " << c.frameRotation);
        PDDoc sheet = pdDocCreate();
        setCosDoc(sheet);
        PDPage page =
            gPDModelHFT->PDDocCreatePage(sheet, PDBeforeFirstPage, fxRect(0, 0, 600, 500));
        // Source page 2 shows itself turned by its Rotate.
        bool across = ((c.frameRotation / 90) + (c.page == 2 ? 1 : 0)) % 2 == 1;
        double w = across ? 300 : 200, h = across ? 200 : 300;
        PDEContainer frame = getContainerWithRect(fxRect(50, 80, 50 + w + 10, 80 + h + 6));
        ASFixedRect bleed = {fx(4), fx(2), fx(6), fx(4)};
        setBleedRect(frame, &bleed);
        setBoxNum(frame, 1);
        setFrameRotation(frame, c.frameRotation);
        PDEForm form = getPageContent(src, sheet, c.page, fixedOne);
        ASSERT_NE(form, nullptr);
        ASFixedMatrix m = placingMatrix(readFrame(frame), readFormBoxes(form), false);
        pdeSetMatrix(form, &m);
        pdeContentAddElem(getContent(frame), kPDEAfterLast, form);
        pdeRelease(form);
        addToPage(page, {frame});
        pdPageRelease(page);
        std::string path = tmp.file("sheet" + std::to_string(c.page) + "_" +
                                    std::to_string(c.frameRotation) + ".pdf");
        gPDModelHFT->PDDocSave(sheet, PDSaveFull, path.c_str());
        pdDocClose(sheet);
        setCosDoc(host.doc);
        std::string out;
        EXPECT_EQ(runCommand("qpdf --check " + path, &out), 0) << out;

        Gray rendered = render(path, path.substr(0, path.size() - 4));
        ASSERT_EQ(rendered.w, 600);
        ASSERT_EQ(rendered.h, 500);
        // A page with Rotate 90 is seen turned clockwise: three more quarter turns.
        Gray expect = turn(source, (c.quarters + (c.page == 2 ? 3 : 0)) % 4);
        ASSERT_EQ(expect.w, static_cast<int>(w));
        // Inner rectangle: left 54, bottom 84, so the top edge lies at 500 - (84 + h).
        int x0 = 54, y0 = 500 - (84 + static_cast<int>(h));
        EXPECT_LT(difference(rendered, x0, y0, expect), 2.0);
        // Anything else is wrong: the page shifted by a few points differs clearly.
        EXPECT_GT(difference(rendered, x0 + 5, y0, expect), 3.0);
    }
}

// A job written as it is made lets the host write a page's form with the last sheet
// that uses it; should the page come back on a later sheet all the same, it is imported
// anew and looks as it did.
TEST_F(Import, APageThatComesBackAfterItsFormWasWrittenIsImportedAnew) {
    makeSource();
    vexa::host::doc::setWriteAheadForNewDocuments(true);
    PDDoc sheets = pdDocCreate();
    vexa::host::doc::setWriteAheadForNewDocuments(false);
    setCosDoc(sheets);
    auto placeOn = [&](ASInt32 after) {
        PDPage page = gPDModelHFT->PDDocCreatePage(sheets, after, fxRect(0, 0, 200, 300));
        PDEForm form = getPageContent(src, sheets, 0, fixedOne);
        CosObj x{};
        if (form) {
            x = pdeFormGetCosObj(form);
            addToPage(page, {form});  // which lets go of the form
        }
        pdPageRelease(page);
        return x;
    };
    CosObj first = placeOn(PDBeforeFirstPage);
    ASSERT_EQ(cosObjGetType(first), CosStream);
    ASSERT_TRUE(gPDModelHFT->PDDocWritePagesAhead(sheets, 0));
    gPDModelHFT->PDDocWriteObjAhead(sheets, first);
    EXPECT_EQ(cosObjGetType(first), CosNull);
    CosObj again = placeOn(0);
    EXPECT_EQ(cosObjGetType(again), CosStream);
    std::string path = tmp.file("sheets.pdf");
    gPDModelHFT->PDDocSave(sheets, PDSaveFull, path.c_str());
    pdDocClose(sheets);
    setCosDoc(host.doc);
    std::string log;
    EXPECT_EQ(runCommand("qpdf --check " + path, &log), 0) << log;
    Gray source = render(tmp.file("src.pdf"), tmp.file("src"));
    Gray one = render(path, tmp.file("one"), 1), two = render(path, tmp.file("two"), 2);
    ASSERT_EQ(source.w, 200);
    ASSERT_EQ(one.w, 200);
    ASSERT_EQ(two.w, 200);
    EXPECT_LT(difference(one, 0, 0, source), 0.5);
    EXPECT_LT(difference(two, 0, 0, source), 0.5);
    EXPECT_GT(difference(two, 0, 0, turn(source, 2)), 3.0);  // not blank, not anything
}

// A page drawn by two content streams, with an operator in the second whose operands are
// in the first (a stream boundary only separates tokens): its form carries the streams'
// bytes joined as they are, not the page read and written anew, and looks the same.
TEST_F(Import, APageOfSeveralContentStreamsIsCarriedAsItsJoinedBytes) {
    PDDoc d = pdDocCreate();
    setCosDoc(d);
    PDPage p = gPDModelHFT->PDDocCreatePage(d, PDBeforeFirstPage, fxRect(0, 0, 200, 300));
    CosDoc cos = pdDocGetCosDoc(d);
    const std::string first = "q 0.2 g 20 20 60", second = "100 re f Q 0.6 g 120 200 60 80 re f";
    CosObj parts = cosNewArray(cos, false, 2);
    cosArrayPut(parts, 0, cosNewStream(cos, first.data(), static_cast<ASSize_t>(first.size()), {}));
    cosArrayPut(parts, 1,
                cosNewStream(cos, second.data(), static_cast<ASSize_t>(second.size()), {}));
    cosDictPut(pdPageGetCosObj(p), "Contents", parts);
    pdPageRelease(p);
    gPDModelHFT->PDDocSave(d, PDSaveFull, tmp.file("split.pdf").c_str());
    pdDocClose(d);
    src = gPDModelHFT->PDDocOpen(tmp.file("split.pdf").c_str(), false);
    setCosDoc(host.doc);

    PDDoc sheet = pdDocCreate();
    setCosDoc(sheet);
    PDPage page = gPDModelHFT->PDDocCreatePage(sheet, PDBeforeFirstPage, fxRect(0, 0, 200, 300));
    PDEForm form = getPageContent(src, sheet, 0, fixedOne);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(streamData(pdeFormGetCosObj(form)), first + "\n" + second);
    ASUns8 cmyk[4];
    getCMYKUsage(form, cmyk);
    EXPECT_EQ(std::vector<int>(cmyk, cmyk + 4), (std::vector<int>{0, 0, 0, 1}));
    addToPage(page, {form});
    pdPageRelease(page);
    std::string path = tmp.file("sheet.pdf");
    gPDModelHFT->PDDocSave(sheet, PDSaveFull, path.c_str());
    pdDocClose(sheet);
    setCosDoc(host.doc);
    std::string log;
    EXPECT_EQ(runCommand("qpdf --check " + path, &log), 0) << log;
    Gray source = render(tmp.file("split.pdf"), tmp.file("split")), placed = render(path, path);
    ASSERT_EQ(source.w, 200);
    ASSERT_EQ(placed.w, 200);
    EXPECT_LT(difference(placed, 0, 0, source), 0.5);
    EXPECT_GT(difference(placed, 0, 0, turn(source, 2)), 3.0);  // not blank
}

TEST_F(Import, CorpusPagesLookTheSameInTheirFrames) {
    for (const char* name : {"pdfjs__issue1985.pdf", "plumber__issue-1054-example.pdf"}) {
        SCOPED_TRACE(name);
        std::string file = std::string(VEXA_CORPUS_DIR) + "/files/" + name;
        PDDoc source = gPDModelHFT->PDDocOpen(file.c_str(), true);
        ASSERT_NE(source, nullptr);
        ASFixedRect crop;
        ASInt32 rotate;
        {
            CPage p(source, 0);
            pdPageGetBox(p.getPage(), "CropBox", &crop);
            rotate = gPDModelHFT->PDPageGetRotate(p.getPage());
        }
        double cw = (crop.right - crop.left) / 65536.0, ch = (crop.top - crop.bottom) / 65536.0;
        if (rotate % 180) std::swap(cw, ch);

        PDDoc sheet = pdDocCreate();
        setCosDoc(sheet);
        PDPage page = gPDModelHFT->PDDocCreatePage(sheet, PDBeforeFirstPage,
                                                   fxRect(0, 0, cw + 100, ch + 100));
        PDEContainer frame = getContainerWithRect(fxRect(40, 60, 40 + cw, 60 + ch));
        setBoxNum(frame, 1);
        PDEForm form = getPageContent(source, sheet, 0, fixedOne);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(getFormRotation(form), rotate);
        ASFixedMatrix m = placingMatrix(readFrame(frame), readFormBoxes(form), false);
        pdeSetMatrix(form, &m);
        pdeContentAddElem(getContent(frame), kPDEAfterLast, form);
        pdeRelease(form);
        addToPage(page, {frame});
        pdPageRelease(page);
        std::string out = tmp.file(std::string("placed_") + name);
        gPDModelHFT->PDDocSave(sheet, PDSaveFull, out.c_str());
        pdDocClose(sheet);
        pdDocClose(source);
        setCosDoc(host.doc);
        std::string log;
        EXPECT_EQ(runCommand("qpdf --check " + out, &log), 0) << log;

        Gray expect = render(file, tmp.file("corpus"));
        Gray placed = render(out, tmp.file("placed"));
        ASSERT_GT(expect.w, 0);
        ASSERT_GT(placed.w, 0);
        int x0 = 40, y0 = placed.h - (60 + expect.h);
        ASSERT_LE(x0 + expect.w, placed.w + 1);
        Gray e = expect;
        e.w = std::min(expect.w, placed.w - x0);
        e.h = std::min(expect.h, placed.h - y0);
        Gray cut;
        cut.w = e.w;
        cut.h = e.h;
        for (int y = 0; y < e.h; ++y)
            for (int x = 0; x < e.w; ++x)
                cut.px.push_back(static_cast<unsigned char>(expect.at(x, y)));
        EXPECT_LT(difference(placed, x0, y0, cut), 4.0);
    }
}
