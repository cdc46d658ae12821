// Sheet copies, moving marks and the bleed command.
#include "Sources/AddPages.h"
#include "Common/ErrorHandling.h"
#include "Sources/MovingMark.h"
#include "Sources/NewDoc.h"
#include "SheetTestHost.h"

using namespace vexa::test;

namespace {

struct SheetCopies : SheetTest {
    // A second sheet like the first.
    PDPage addSheet() {
        return gPDModelHFT->PDDocCreatePage(host.doc, pdDocGetNumPages(host.doc) - 1,
                                            getMediaBox(host.doc, 0));
    }
    std::vector<ASInt32> boxes(long index) {
        std::vector<ASInt32> out;
        for (auto& f : frames(host.doc, index)) out.push_back(f.box);
        return out;
    }
};

TEST_F(SheetCopies, CopiesRaiseBoxNumbersByTheOffsetPerCopy) {
    for (int i = 0; i < 4; ++i) pageFrame(host.page, 10 + 140 * i, 100, 130, 200, 1 + i);
    PDPage second = addSheet();
    for (int i = 0; i < 4; ++i) pageFrame(second, 10 + 140 * i, 100, 130, 200, 5 + i);
    pdPageRelease(second);
    EXPECT_EQ(addPages(host.doc, 2, 8, kMirrorNone), 4);
    ASSERT_EQ(pdDocGetNumPages(host.doc), 6);
    EXPECT_EQ(boxes(0), (std::vector<ASInt32>{1, 2, 3, 4}));
    EXPECT_EQ(boxes(1), (std::vector<ASInt32>{5, 6, 7, 8}));
    EXPECT_EQ(boxes(2), (std::vector<ASInt32>{9, 10, 11, 12}));
    EXPECT_EQ(boxes(3), (std::vector<ASInt32>{13, 14, 15, 16}));
    EXPECT_EQ(boxes(4), (std::vector<ASInt32>{17, 18, 19, 20}));
    EXPECT_EQ(boxes(5), (std::vector<ASInt32>{21, 22, 23, 24}));
    // Copies keep the place, the marker and the trim lines of their frames.
    auto copy = frames(host.doc, 4), orig = frames(host.doc, 0);
    for (size_t i = 0; i < copy.size(); ++i) {
        EXPECT_EQ(copy[i].r.left, orig[i].r.left);
        EXPECT_EQ(copy[i].elems, 2);
    }
    EXPECT_EQ(getDocInfoInt32(host.doc, "Pagina"), 0);  // two-sided
}

TEST_F(SheetCopies, OffsetZeroRepeatsNumbersAndOneSheetIsOneSided) {
    pageFrame(host.page, 10, 10, 100, 100, 1);
    pageFrame(host.page, 200, 10, 100, 100, 2);
    // optional content: its group is shared by every copy, never duplicated
    CosObj group = cosNewDict(gCosDoc, true, 1);
    cosDictPut(group, "Type", cosNewName(gCosDoc, false, "OCG"));
    PDEContainer layer = pdeContainerCreate(asAtomFromString("OC"), &group, false);
    PDEContent inner = pdeContentCreate();
    pdeContainerSetContent(layer, inner);
    pdeRelease(inner);
    addToPage(host.page, {layer});
    EXPECT_EQ(addPages(host.doc, 2, 0, kMirrorNone), 2);
    {
        CPage page(host.doc, 2);
        PDEContent c = pdPageAcquirePDEContent(page.getPage());
        ASSERT_EQ(pdeContentGetNumElems(c), 3);
        EXPECT_TRUE(cosObjEqual(pdeContainerGetDict(pdeContentGetElem(c, 2)), group));
        pdPageReleasePDEContent(page.getPage());
    }
    ASSERT_EQ(pdDocGetNumPages(host.doc), 3);
    for (long p = 0; p < 3; ++p) EXPECT_EQ(boxes(p), (std::vector<ASInt32>{1, 2}));
    EXPECT_EQ(getDocInfoInt32(host.doc, "Pagina"), 1);
    // Each copy owns its frame dictionaries: a change to one reaches no other sheet.
    {
        CPage page(host.doc, 1);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                setBoxNum(f, 77);
                return true;
            },
            0, true, true);
    }
    EXPECT_EQ(boxes(0), (std::vector<ASInt32>{1, 2}));
    EXPECT_EQ(boxes(1), (std::vector<ASInt32>{77, 77}));
    EXPECT_EQ(boxes(2), (std::vector<ASInt32>{1, 2}));
}

TEST_F(SheetCopies, HorizontalMirroringTurnsFramesAndKeepsJobInformation) {
    sheet(host.page, 1000, 700);
    pageFrame(host.page, 100, 50, 200, 300, 1, 90);
    markFrame(host.page, 20, 10, 300, 12, kBoxJobInfo);
    markFrame(host.page, 50, 500, 10, 10, kBoxMovingMark);
    {
        // bleed 5 left, 2 right on the page frame; the moving mark steps "Right"
        CPage page(host.doc, 0);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                if (getBoxNum(f) == 1) {
                    ASFixedRect b{fx(5), 0, fx(2), 0};
                    setBleedRect(f, &b);
                } else if (getBoxNum(f) == kBoxMovingMark) {
                    setFrameRotation(f, 270);
                    setMoveLimit(f, fx(100));
                }
                return true;
            },
            0, true, true);
    }
    auto before = frames(host.page);
    EXPECT_EQ(addPages(host.doc, 1, 1, kMirrorHorizontal), 1);
    auto f = frames(host.doc, 1);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].box, 2);
    EXPECT_EQ(f[0].r.left, fx(700));
    EXPECT_EQ(f[0].r.right, fx(900));
    EXPECT_EQ(f[0].r.bottom, fx(50));
    EXPECT_EQ(f[0].rotation, 270);
    EXPECT_EQ(f[0].bleed.left, fx(2));
    EXPECT_EQ(f[0].bleed.right, fx(5));
    // the trim lines stay on the trim area, which the swapped bleed moves 3 points
    // less than the frame: 105..298 becomes 702..895
    EXPECT_EQ(f[0].first.left - before[0].first.left, fx(597));
    // the job information stays where it was
    EXPECT_EQ(f[1].box, kBoxJobInfo);
    EXPECT_EQ(f[1].r.left, fx(20));
    EXPECT_EQ(f[1].first.left, before[1].first.left);
    // the moving mark: one step right (to 60..70), then mirrored; it now steps left
    // toward the mirrored limit
    EXPECT_EQ(f[2].r.left, fx(1000 - 70));
    EXPECT_EQ(f[2].rotation, 90);
    EXPECT_EQ(f[2].limit, fx(900));
    // the original sheet is untouched
    auto again = frames(host.page);
    EXPECT_EQ(again[0].r.left, fx(100));
    EXPECT_EQ(again[0].rotation, 90);
    EXPECT_EQ(again[0].first.left, before[0].first.left);
}

TEST_F(SheetCopies, VerticalMirroringSwapsTopAndBottom) {
    sheet(host.page, 1000, 700);
    pageFrame(host.page, 100, 50, 200, 300, 1, 0);
    {
        CPage page(host.doc, 0);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                ASFixedRect b{0, fx(3), 0, fx(1)};
                setBleedRect(f, &b);
                return true;
            },
            0, true, true);
    }
    addPages(host.doc, 1, 4, kMirrorVertical);
    auto f = frames(host.doc, 1);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].box, 5);
    EXPECT_EQ(f[0].r.left, fx(100));
    EXPECT_EQ(f[0].r.bottom, fx(700 - 350));
    EXPECT_EQ(f[0].r.top, fx(700 - 50));
    EXPECT_EQ(f[0].rotation, 180);
    EXPECT_EQ(f[0].bleed.top, fx(1));
    EXPECT_EQ(f[0].bleed.bottom, fx(3));
}

TEST_F(SheetCopies, MovingMarkStepsOncePerCopy) {
    markFrame(host.page, 300, 100, 20, 10, kBoxMovingMark);  // "Top", limit 150
    {
        CPage page(host.doc, 0);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                setFrameRotation(f, 0);
                setMoveLimit(f, fx(150));
                return true;
            },
            0, true, true);
    }
    EXPECT_EQ(addPages(host.doc, 7, 0, kMirrorNone), 7);
    const double shifts[] = {0, 10, 20, 30, 40, 0, 10, 20};
    for (long p = 0; p < 8; ++p) {
        auto f = frames(host.doc, p);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].r.bottom, fx(100 + shifts[p])) << "copy " << p;
        EXPECT_EQ(f[0].first.bottom, fx(100 + shifts[p])) << "copy " << p;  // content too
    }
}

TEST_F(SheetCopies, AnUnreadableSheetIsReportedAndTheRunGoesOn) {
    pageFrame(host.page, 10, 10, 100, 100, 1);
    PDPage bad = addSheet();
    std::string junk = std::string(100, '[') + std::string(100, ']') + " pop";
    CosObj stream = cosNewStream(gCosDoc, junk.data(), static_cast<ASSize_t>(junk.size()),
                                 cosNewDict(gCosDoc, false, 0));
    cosDictPut(pdPageGetCosObj(bad), "Contents", stream);
    pdPageRelease(bad);
    ASInt32 mode = setEHMode(kEHLog);
    EXPECT_EQ(addPages(host.doc, 2, 5, kMirrorNone), 2);
    EXPECT_EQ(getErrorCnt(), 2);
    setEHMode(mode);
    ASSERT_EQ(pdDocGetNumPages(host.doc), 6);
    EXPECT_EQ(boxes(2), (std::vector<ASInt32>{6}));
    EXPECT_EQ(boxes(4), (std::vector<ASInt32>{11}));
}

TEST_F(SheetCopies, DialogGivesCopiesOffsetAndMirroring) {
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.title, "Add sheets");
        EXPECT_EQ(text(w, "4"), "1");
        EXPECT_EQ(text(w, "6"), "0");
        ui::setText(ui::findControl(&w, "4"), "0");  // below 1: refused
        ui::press(ui::findControl(&w, "OK"));
        EXPECT_FALSE(w.ended);
        EXPECT_EQ(w.focus, ui::findControl(&w, "4"));
        ui::setText(ui::findControl(&w, "4"), "2");
        ui::setText(ui::findControl(&w, "6"), "8");
        ui::pick(ui::findControl(&w, "8"), "Vertical");
        ui::press(ui::findControl(&w, "OK"));
    });
    ASInt32 p[6] = {1, 0, 0, 0, 0, kMirrorNone};
    ASSERT_TRUE(getAddPagesParams(p));
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(p[1], 8);
    EXPECT_EQ(p[5], kMirrorVertical);
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "Cancel")); });
    EXPECT_FALSE(getAddPagesParams(p));
}

// Moving marks.

TEST(FlutterShift, StepsWrapBeforeTheLimit) {
    ASFixedRect top = fxRect(300, 100, 320, 110);  // 10 pt high
    const double up[] = {10, 20, 30, 40, 0, 10, 20};
    for (long n = 1; n <= 7; ++n) {
        ASFixedPoint s = getFlutterShift(top, fx(150), n, 0);
        EXPECT_EQ(s.h, 0);
        EXPECT_EQ(s.v, fx(up[n - 1])) << n;
    }
    ASFixedRect right = fxRect(200, 0, 205, 10);  // 5 pt wide, limit 212: q = 2
    for (long n = 1; n <= 4; ++n)
        EXPECT_EQ(getFlutterShift(right, fx(212), n, 270).h, n % 2 ? fx(5) : 0) << n;
    EXPECT_EQ(getFlutterShift(fxRect(100, 0, 110, 10), fx(70), 2, 90).h, fx(-20));
    EXPECT_EQ(getFlutterShift(fxRect(0, 100, 10, 110), fx(75), 1, 180).v, fx(-10));
    // copy 0 and unknown directions never move
    EXPECT_EQ(getFlutterShift(top, fx(150), 0, 0).v, 0);
    EXPECT_EQ(getFlutterShift(top, fx(150), 3, 45).v, 0);
}

TEST(FlutterShift, NoRoomOrNoSizeLeavesTheMarkInPlace) {
    ASFixedRect top = fxRect(300, 100, 320, 110);
    EXPECT_EQ(getFlutterShift(top, fx(105), 1, 0).v, 0);                  // less than one size away
    EXPECT_EQ(getFlutterShift(top, fx(50), 1, 0).v, 0);                   // on the wrong side
    EXPECT_EQ(getFlutterShift(top, fx(100), 7, 0).v, 0);                  // at the trailing edge
    EXPECT_EQ(getFlutterShift(fxRect(0, 5, 0, 5), fx(50), 3, 270).h, 0);  // no width
    EXPECT_EQ(getFlutterShift(fxRect(0, 5, 0, 5), fx(50), 3, 0).v, 0);    // no height
    // far limits do not overflow
    ASFixedRect tiny{INT32_MIN, INT32_MIN + 1, INT32_MIN + 1, INT32_MIN};
    ASFixedPoint s = getFlutterShift(tiny, INT32_MAX, 5, 0);
    EXPECT_EQ(s.v, 5);
}

struct MovingMarks : SheetTest {};

TEST_F(MovingMarks, DialogMakesFilledBlackMarkAndPresetsFromIt) {
    markFrame(host.page, 200, 100, 5, 10, kBoxPlain);
    pageFrame(host.page, 300, 300, 50, 50, 1);
    select(host.page, [](const F& f, int) { return f.box == kBoxPlain; });
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "MOVINGMARK");
        EXPECT_EQ(ui::findControl(&w, "3")->value, 1);  // "Top" when none is a mark yet
        EXPECT_EQ(text(w, "4"), "0 mm");
        ui::pick(ui::findControl(&w, "3"), "Right");
        ui::setText(ui::findControl(&w, "4"), "212 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    doMovingMark(nullptr, host.page);
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].box, kBoxMovingMark);
    EXPECT_EQ(f[0].rotation, 270);
    EXPECT_EQ(f[0].limit, fx(212));
    ASSERT_EQ(f[0].elems, 1);
    EXPECT_EQ(f[0].first.left, fx(200));
    EXPECT_EQ(f[0].first.top, fx(110));
    EXPECT_EQ(f[1].box, 1);  // not selected: unchanged
    {
        CPage page(host.doc, 0);
        PDEContent c = pdPageAcquirePDEContent(page.getPage());
        PDEElement mark = pdeContentGetElem(c, 0);
        PDEElement path = pdeContentGetElem(getContent(mark), 0);
        EXPECT_EQ(gPDFEditReadHFT->PDEPathGetPaintOp(reinterpret_cast<PDEPath>(path)), kPDEFill);
        PDEGraphicState gs;
        ASSERT_TRUE(pdeGetGState(path, &gs));
        EXPECT_EQ(pdeColorSpaceGetName(gs.fillColorSpec.space), asAtomFromString("DeviceGray"));
        EXPECT_EQ(gs.fillColorSpec.value.color[0], 0);
        EXPECT_EQ(gs.lineWidth, fixedOne);
        pdPageReleasePDEContent(page.getPage());
    }
    // again: the dialog shows the mark's own values; Cancel changes nothing
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(ui::findControl(&w, "3")->value, 4);
        EXPECT_EQ(text(w, "4"), "74.79 mm");
        ui::press(ui::findControl(&w, "Cancel"));
    });
    doMovingMark(nullptr, host.page);
    EXPECT_EQ(frames(host.page)[0].rotation, 270);
}

TEST_F(MovingMarks, OldMarksAreReportedOnce) {
    markFrame(host.page, 10, 10, 5, 5, kBoxMovingMark);
    size_t shown = alerts().size();
    EXPECT_EQ(checkMovingMarks(host.doc), 0);
    EXPECT_EQ(alerts().size(), shown);
    markFrame(host.page, 20, 10, 5, 5, kBoxOldMovingMark);
    markFrame(host.page, 30, 10, 5, 5, kBoxOldMovingMark);
    EXPECT_EQ(checkMovingMarks(host.doc), -1);
    ASSERT_EQ(alerts().size(), shown + 1);
    EXPECT_NE(alerts().back().request.message.find("earlier version of"), std::string::npos);
}

TEST_F(MovingMarks, MovingAMarkMovesItsContent) {
    markFrame(host.page, 200, 100, 5, 10, kBoxMovingMark);
    CPage page(host.doc, 0);
    EnumForms(
        page.getPage(),
        [](CContent*, PDEElement f, long, long) {
            setMoveLimit(f, fx(212));
            moveFlutterMark(f, 3, 270);
            return true;
        },
        0, true, true);
    auto f = frames(host.page);
    EXPECT_EQ(f[0].r.left, fx(205));
    EXPECT_EQ(f[0].first.left, fx(205));
}

// Bleed.

struct Bleeding : SheetTest {
    void twoFrames() {
        pageFrame(host.page, 100, 100, 200, 300, 1);
        pageFrame(host.page, 300, 100, 200, 300, 2);
        selectAll(host.page);
    }
    static ASFixedRect trim(const F& f) {
        return {f.r.left + f.bleed.left, f.r.top - f.bleed.top, f.r.right - f.bleed.right,
                f.r.bottom + f.bleed.bottom};
    }
};

TEST_F(Bleeding, InnerEdgesOfSideBySideFramesGetNone) {
    twoFrames();
    auto before = frames(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "BLEEDING1");
        ui::setText(ui::findControl(&w, "4"), "3 mm");
        ui::press(ui::findControl(&w, "OK"));
    });
    doBleedRectDlg(nullptr, host.page);
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 2u);
    ASFixed b = mm(3);
    EXPECT_EQ(f[0].bleed.left, b);
    EXPECT_EQ(f[0].bleed.top, b);
    EXPECT_EQ(f[0].bleed.bottom, b);
    EXPECT_EQ(f[0].bleed.right, 0);
    EXPECT_EQ(f[1].bleed.left, 0);
    EXPECT_EQ(f[1].bleed.right, b);
    EXPECT_EQ(f[0].r.left, fx(100) - b);
    EXPECT_EQ(f[0].r.right, fx(300));
    EXPECT_EQ(f[1].r.right, fx(500) + b);
    for (size_t i = 0; i < 2; ++i) {
        ASFixedRect t = trim(f[i]), was = trim(before[i]);
        EXPECT_EQ(t.left, was.left);
        EXPECT_EQ(t.top, was.top);
        EXPECT_EQ(t.right, was.right);
        EXPECT_EQ(t.bottom, was.bottom);
    }
    // symmetric: every side; the dialog remembers the value
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(text(w, "4"), "3 mm");
        ui::toggle(ui::findControl(&w, "5"), 1);
        ui::press(ui::findControl(&w, "OK"));
    });
    doBleedRectDlg(nullptr, host.page);
    f = frames(host.page);
    EXPECT_EQ(f[0].bleed.right, b);
    EXPECT_EQ(f[1].bleed.left, b);
    EXPECT_EQ(f[0].r.right, fx(300) + b);
    EXPECT_EQ(trim(f[0]).right, fx(300));
}

TEST_F(Bleeding, OneFrameTakesFourValuesPresetFromItsBleed) {
    pageFrame(host.page, 100, 100, 200, 300, 1);
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "BLEEDING2");
        EXPECT_EQ(text(w, "4"), "0 mm");
        EXPECT_EQ(w.focus, ui::findControl(&w, "4"));
        ui::setText(ui::findControl(&w, "4"), "10 pt");  // top
        ui::setText(ui::findControl(&w, "5"), "2 pt");   // left
        ui::setText(ui::findControl(&w, "6"), "0");      // right
        ui::setText(ui::findControl(&w, "7"), "4 pt");   // bottom
        ui::press(ui::findControl(&w, "OK"));
    });
    doBleedRectDlg(nullptr, host.page);
    auto f = frames(host.page);
    EXPECT_EQ(f[0].bleed.top, fx(10));
    EXPECT_EQ(f[0].bleed.left, fx(2));
    EXPECT_EQ(f[0].bleed.bottom, fx(4));
    EXPECT_EQ(f[0].r.top, fx(410));
    EXPECT_EQ(f[0].r.left, fx(98));
    EXPECT_EQ(f[0].r.right, fx(300));
    EXPECT_EQ(f[0].r.bottom, fx(96));
    // less bleed shrinks the rectangle back; the trim area stays
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(text(w, "4"), "3.53 mm");
        ui::setText(ui::findControl(&w, "4"), "0");
        ui::press(ui::findControl(&w, "OK"));
    });
    doBleedRectDlg(nullptr, host.page);
    EXPECT_EQ(frames(host.page)[0].r.top, fx(400));
}

TEST_F(Bleeding, NothingSelectedOrCancelChangesNothing) {
    pageFrame(host.page, 100, 100, 200, 300, 1);
    int before = beeps();
    ui::setModalDriver([](ui::Window&) { ADD_FAILURE() << "no dialog without a selection"; });
    doBleedRectDlg(nullptr, host.page);
    EXPECT_EQ(beeps(), before + 1);
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        ui::setText(ui::findControl(&w, "4"), "10 pt");
        ui::press(ui::findControl(&w, "Cancel"));
    });
    doBleedRectDlg(nullptr, host.page);
    EXPECT_EQ(frames(host.page)[0].bleed.top, 0);
    EXPECT_EQ(frames(host.page)[0].r.top, fx(400));
}

}  // namespace
