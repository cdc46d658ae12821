#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstring>

#include "TestSupport.h"
#include "app/App.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using app::Application;
using app::DrawOp;

namespace {

// Pages of a pretend document: crop boxes and rotations, no engine behind them.
struct FakePage {
    ASFixedRect crop;
    ASInt32 rotate;
};
std::vector<FakePage> gPages;
PDDoc fakeDoc() {
    static int token;
    return reinterpret_cast<PDDoc>(&token);
}
ASInt32 fakeNumPages(PDDoc) {
    return static_cast<ASInt32>(gPages.size());
}
bool fakeGeometry(PDDoc, ASInt32 n, ASFixedRect* crop, ASInt32* rotate) {
    if (n < 0 || n >= static_cast<ASInt32>(gPages.size())) return false;
    *crop = gPages[n].crop;
    *rotate = gPages[n].rotate;
    return true;
}

ASFixedRect rectPt(int l, int b, int r, int t) {
    return {l * fixedOne, t * fixedOne, r * fixedOne, b * fixedOne};
}

struct ViewTest : ::testing::Test {
    Application app{true};
    AVDoc doc = nullptr;
    AVPageView view = nullptr;
    void open(std::vector<FakePage> pages) {
        gPages = std::move(pages);
        app.documentHooks = {};
        app.documentHooks.numPages = fakeNumPages;
        app.documentHooks.pageGeometry = fakeGeometry;
        doc = app.openDoc(fakeDoc(), "fake");
        view = &doc->view;
    }
    std::pair<AVDevCoord, AVDevCoord> dev(double x, double y) {
        AVDevCoord dx, dy;
        app.pointToDevice(view, {static_cast<ASFixed>(x * 65536), static_cast<ASFixed>(y * 65536)},
                          &dx, &dy);
        return {dx, dy};
    }
};

// A page whose crop box does not start at the origin, at zoom 2, with the view's page
// placed 8 pixels into the aperture.
TEST_F(ViewTest, PageCornersLandWhereEachRotationShowsThem) {
    using P = std::pair<AVDevCoord, AVDevCoord>;
    const ASFixedRect crop = rectPt(100, 50, 400, 250);  // 300 x 200 points
    struct Case {
        ASInt32 rotate;
        P bottomLeft, topLeft;  // where the page's corners appear
        AVDevRect shown;
    } cases[] = {
        {0, {8, 408}, {8, 8}, {8, 8, 608, 408}},
        {90, {8, 8}, {408, 8}, {8, 8, 408, 608}},
        {180, {608, 8}, {608, 408}, {8, 8, 608, 408}},
        {270, {408, 608}, {8, 608}, {8, 8, 408, 608}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotate);
        if (doc) app.closeDoc(doc, true);
        open({{crop, c.rotate}});
        app.setZoom(view, 2 * fixedOne);
        EXPECT_EQ(dev(100, 50), c.bottomLeft);
        EXPECT_EQ(dev(100, 250), c.topLeft);
        AVDevRect r = app.pageDeviceRect(view, 0);
        EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
                  std::tie(c.shown.left, c.shown.top, c.shown.right, c.shown.bottom));
        // Back to page space, and the same for rectangles.
        ASFixedPoint p = app.deviceToPoint(view, c.topLeft.first, c.topLeft.second);
        EXPECT_EQ(p.h, 100 * fixedOne);
        EXPECT_EQ(p.v, 250 * fixedOne);
        ASFixedRect inner = rectPt(150, 60, 170, 100);
        ASFixedRect back = app.deviceRectToPage(view, app.rectToDevice(view, inner));
        EXPECT_EQ(back.left, inner.left);
        EXPECT_EQ(back.bottom, inner.bottom);
        EXPECT_EQ(back.right, inner.right);
        EXPECT_EQ(back.top, inner.top);
    }
}

TEST_F(ViewTest, ContinuousLayoutStacksPagesAndShowsThoseInTheAperture) {
    open({{rectPt(0, 0, 200, 300), 0},
          {rectPt(0, 0, 300, 200), 90},
          {rectPt(0, 0, 200, 300), 0},
          {rectPt(0, 0, 200, 300), 0}});
    EXPECT_EQ(app.firstVisiblePage(view), 0);
    EXPECT_EQ(app.lastVisiblePage(view), 0);  // single page: only the current one
    app.setLayoutMode(view, AVPageViewContinuous);
    app.setAperture(view, {0, 0, 500, 700});
    // Pages of 300 pixels with 8-pixel gaps: tops at 8, 316, 624 (the fourth at 932).
    EXPECT_EQ(app.pageDeviceRect(view, 1).top, 316);
    EXPECT_EQ(app.pageDeviceRect(view, 1).right, 208);  // rotated 300 x 200 shows 200 wide
    EXPECT_EQ(app.lastVisiblePage(view), 2);
    EXPECT_EQ(app.pageAtPoint(view, 50, 320), 1);
    EXPECT_EQ(app.pageAtPoint(view, 50, 312), -1);  // in the gap
    // Making page 2 current for conversions does not scroll.
    app.setCurrentPage(view, 2);
    EXPECT_EQ(view->pageNum, 2);
    EXPECT_EQ(app.firstVisiblePage(view), 0);
    EXPECT_EQ(dev(0, 300).second, 624);
    // Turning to a page puts it at the top.
    app.goToPage(view, 3);
    EXPECT_EQ(app.firstVisiblePage(view), 3);
    EXPECT_EQ(app.lastVisiblePage(view), 3);
    EXPECT_THROW(app.setLayoutMode(view, 7), ASException);
    EXPECT_THROW(app.setZoom(view, 0), ASException);
}

std::vector<std::string> gDrawLog;
void drawOverlay(AVPageView pv, const AVDevRect*, ASClientData) {
    const AcroViewHFT* t = app::acroViewTable();
    AVRGBColor16 red{0xFFFF, 0, 0};
    t->AVPageViewSetColor(pv, &red);
    t->AVPageViewSetPen(pv, AVPenDashed, 1, 1, 1);
    AVDevRect r{10, 20, 30, 40};
    t->AVPageViewDrawRectOutline(pv, &r);
    t->AVPageViewDrawText(pv, 15, 35, 24, "3");
    gDrawLog.push_back("draw");
}

TEST_F(ViewTest, RedrawsRecordTheOverlayAndOperationsDeferThem) {
    open({{rectPt(0, 0, 612, 792), 0}});
    const AcroViewHFT* t = app::acroViewTable();
    gDrawLog.clear();
    t->AVAppRegisterForPageViewDrawing(drawOverlay, nullptr);
    app.runIdle();  // a new window is drawn at the next pass
    ASSERT_EQ(view->vs.drawn.size(), 2u);
    const DrawOp& rect = view->vs.drawn[0];
    EXPECT_EQ(rect.kind, DrawOp::RectOutline);
    EXPECT_EQ(rect.color.red, 0xFFFF);
    EXPECT_EQ(rect.pen, AVPenDashed);
    EXPECT_EQ(view->vs.drawn[1].text, "3");
    EXPECT_EQ(view->vs.drawn[1].size, 24);
    app.runIdle();
    EXPECT_EQ(gDrawLog.size(), 1u);  // nothing invalid: no redraw

    // Inside an operation nothing is redrawn until its end.
    t->AVPageViewBeginOperation(view);
    t->AVPageViewBeginOperation(view);
    t->AVPageViewInvalidateRect(view, nullptr);
    t->AVPageViewDrawNow(view);
    app.runIdle();
    t->AVPageViewEndOperation(view);
    EXPECT_EQ(gDrawLog.size(), 1u);
    t->AVPageViewEndOperation(view);
    EXPECT_EQ(gDrawLog.size(), 2u);

    // Drawing outside a redraw paints over what is shown: the same rectangle in grey
    // replaces the red one.
    AVRGBColor16 grey{0x8000, 0x8000, 0x8000};
    t->AVPageViewSetColor(view, &grey);
    t->AVPageViewSetPen(view, AVPenDithered, 1, 0, 0);
    AVDevRect r{10, 20, 30, 40};
    t->AVPageViewDrawRectOutline(view, &r);
    ASSERT_EQ(view->vs.drawn.size(), 2u);
    EXPECT_EQ(view->vs.drawn[1].color.red, 0x8000);
    EXPECT_EQ(view->vs.drawn[1].pen, AVPenDithered);
    EXPECT_EQ(t->AVPageViewMeasureText(view, 10, "J"), 6);
    t->AVAppUnregisterForPageViewDrawing(drawOverlay, nullptr);
}

// A tool that follows the mouse the way an editing tool does.
struct Seen {
    std::vector<std::pair<AVDevCoord, AVDevCoord>> polled;
    AVDevRect band{}, moved{};
    ASInt16 modifiersDuring = 0;
    ASInt16 clickCount = 0;
    int mode = 0;  // 0 poll, 1 rubber band, 2 outline drag
} gSeen;

ASBool toolClick(AVTool, AVPageView pv, AVDevCoord x, AVDevCoord y, ASInt16, ASInt16 count) {
    const AcroViewHFT* t = app::acroViewTable();
    gSeen.clickCount = count;
    gSeen.modifiersDuring = t->AVSysGetModifiers();
    if (gSeen.mode == 0) {
        while (t->AVSysMouseIsStillDown()) {
            AVDevCoord mx, my;
            t->AVPageViewGetMousePosition(pv, &mx, &my);
            gSeen.polled.push_back({mx, my});
        }
    } else if (gSeen.mode == 1) {
        t->AVPageViewDragRect(pv, x, y, &gSeen.band);
    } else {
        AVDevRect start{100, 100, 150, 120};
        t->AVPageViewDragOutlineRect(pv, x, y, &start, &gSeen.moved);
    }
    return true;
}
ASAtom toolType(AVTool) {
    return atomFromString("ViewTestTool");
}

TEST_F(ViewTest, ClicksLetTheToolFollowTheMouseUntilRelease) {
    open({{rectPt(0, 0, 612, 792), 0}});
    static AVToolRec rec{};
    rec.size = sizeof rec;
    rec.DoClick = toolClick;
    rec.GetType = toolType;
    AVTool tool = app.registerTool(&rec);
    // Without a tool the click reaches nobody.
    EXPECT_FALSE(app.click(view, 10, 10, 0, 1));
    app.setActiveTool(tool, true);

    gSeen = {};
    EXPECT_TRUE(app.click(view, 50, 60, AV_OPTION, 2, {{52, 60}, {60, 75}}));
    EXPECT_EQ(gSeen.clickCount, 2);
    EXPECT_EQ(gSeen.modifiersDuring, AV_OPTION);
    EXPECT_EQ(gSeen.polled, (std::vector<std::pair<AVDevCoord, AVDevCoord>>{{52, 60}, {60, 75}}));
    EXPECT_FALSE(app.mouse().down);
    EXPECT_EQ(app::acroViewTable()->AVSysGetModifiers(), 0);

    gSeen = {};
    gSeen.mode = 1;
    app.click(view, 200, 300, 0, 1, {{190, 320}, {150, 350}});
    EXPECT_EQ(gSeen.band.left, 150);
    EXPECT_EQ(gSeen.band.top, 300);
    EXPECT_EQ(gSeen.band.right, 200);
    EXPECT_EQ(gSeen.band.bottom, 350);

    gSeen = {};
    gSeen.mode = 2;
    app.click(view, 110, 110, 0, 1, {{130, 105}});
    EXPECT_EQ(gSeen.moved.left, 120);
    EXPECT_EQ(gSeen.moved.top, 95);
    EXPECT_EQ(gSeen.moved.right, 170);
    EXPECT_EQ(gSeen.moved.bottom, 115);
}

// A generated PDF: page 1 rotated by 90 with a crop box and a link annotation, page 2
// with a hidden annotation.
std::string makePdf(const std::string& path) {
    QPDF q;
    q.emptyPDF();
    QPDFPageDocumentHelper pages(q);
    for (int i = 0; i < 2; ++i) {
        auto page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 600 800] /Contents " +
                                            std::string(i == 0 ? "<< >>" : "<< >>") + " >>");
        page = q.makeIndirectObject(page);
        if (i == 0) {
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
            page.replaceKey("/CropBox", QPDFObjectHandle::parse("[50 100 550 700]"));
            page.replaceKey("/Annots",
                            QPDFObjectHandle::parse(
                                "[<< /Type /Annot /Subtype /Link /Rect [100 200 200 250] >>]"));
        } else {
            page.replaceKey("/Annots",
                            QPDFObjectHandle::parse(
                                "[<< /Type /Annot /Subtype /Text /F 2 /Rect [0 0 600 800] >>]"));
        }
        page.replaceKey("/Contents", q.newStream(""));
        pages.addPage(QPDFPageObjectHelper(page), false);
    }
    QPDFWriter w(q, path.c_str());
    w.write();
    return path;
}

TEST(ViewEngine, ViewsReadRotationCropBoxAndAnnotationsOfRealPages) {
    registerHostTables();
    vexa::test::TempDir dir;
    std::string path = makePdf(dir.file("rot.pdf"));
    Application app(true);
    app::useDocumentEngine(app);
    PDDoc pd = app.documentHooks.openDoc(path.c_str());
    AVDoc doc = app.openDoc(pd, "rot.pdf");
    AVPageView v = &doc->view;
    app::PageGeometry g = app.pageGeometry(doc, 0);
    EXPECT_EQ(g.rotate, 90);
    EXPECT_EQ(g.crop.left, 50 * fixedOne);
    EXPECT_EQ(g.crop.top, 700 * fixedOne);
    // Rotated: the 500 x 600 crop box shows 600 wide and 500 high.
    AVDevRect shown = app.pageDeviceRect(v, 0);
    EXPECT_EQ(shown.right - shown.left, 600);
    EXPECT_EQ(shown.bottom - shown.top, 500);
    AVDevCoord x, y;
    app.pointToDevice(v, {150 * fixedOne, 225 * fixedOne}, &x, &y);
    EXPECT_TRUE(app.annotAtPoint(v, x, y));
    app.pointToDevice(v, {300 * fixedOne, 225 * fixedOne}, &x, &y);
    EXPECT_FALSE(app.annotAtPoint(v, x, y));
    app.goToPage(v, 1);
    EXPECT_EQ(app.pageGeometry(doc, 1).rotate, 0);
    EXPECT_FALSE(app.annotAtPoint(v, 100, 100));  // hidden annotations do not count
    app.closeDoc(doc, true);
}

}  // namespace

namespace {

// Every member appended for page views is offered (a missed one would be a null call
// in the plug-in).
TEST(ViewTable, EveryAppendedMemberIsFilled) {
    const AcroViewHFT* t = app::acroViewTable();
    EXPECT_EQ(t->hdr.size, sizeof(AcroViewHFT));
    using Fn = void (*)();
    const char* begin = reinterpret_cast<const char*>(&t->AVPageViewGetLayoutMode);
    const char* end = reinterpret_cast<const char*>(t) + sizeof(AcroViewHFT);
    int n = 0;
    for (const char* p = begin; p < end; p += sizeof(Fn), ++n) {
        Fn f;
        std::memcpy(&f, p, sizeof f);
        EXPECT_NE(f, nullptr) << "member " << n << " after AVPageViewGetLayoutMode";
    }
    EXPECT_EQ(n, 50);
}

}  // namespace
