// The editing tool: the arithmetic of its key commands, the selection kept on held
// page content and carried over write-backs, the key table, and undo records that
// swap a page's content and frame dictionaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Sources/ImposeDoc.h"
#include "ModelBuild.h"
#include "Sources/NewDoc.h"
#include "Sources/Palette.h"
#include "Common/Prefs.h"
#include "Sources/Selection.h"
#include "Sources/Undo.h"
#include "app/App.h"
#include "ui/Ui.h"

using namespace vexa::test;

// ---- Arithmetic ------------------------------------------------------------------------

TEST(EditingArithmetic, ArrowStepsArePointsOrMillimetresAndTenthsWithShift) {
    EXPECT_EQ(getArrowStep(1, 0), 0x10000);
    EXPECT_EQ(getArrowStep(2, 0), 0x10000);
    EXPECT_EQ(getArrowStep(1, AV_SHIFT), 6553);
    EXPECT_EQ(getArrowStep(3, 0), 185771);
    EXPECT_EQ(getArrowStep(4, 0), 185771);
    EXPECT_EQ(getArrowStep(3, AV_SHIFT), 18577);
    EXPECT_EQ(getArrowStep(3, AV_SHIFT | AV_OPTION), 18577);  // any flags with the Shift bit
}

TEST(EditingArithmetic, ScalingChangesOnlyTheNonZeroCoefficients) {
    ASFixedMatrix m{fixedOne, 0, 0, fixedOne, 123 * fixedOne, 45 * fixedOne};
    scaleMatrix(&m, 655);
    EXPECT_EQ(m.a, 66191);  // 1.0099945
    EXPECT_EQ(m.d, 66191);
    EXPECT_EQ(m.b, 0);
    EXPECT_EQ(m.c, 0);
    EXPECT_EQ(m.h, 123 * fixedOne);
    EXPECT_EQ(m.v, 45 * fixedOne);
    // A turned page: negative coefficients grow away from zero too; a negative step
    // shrinks.
    ASFixedMatrix t{0, -fixedOne, fixedOne, 0, 0, 0};
    scaleMatrix(&t, 65);
    EXPECT_EQ(t.b, -fixedOne - 65);
    EXPECT_EQ(t.c, fixedOne + 65);
    scaleMatrix(&t, -65);
    EXPECT_EQ(t.b, -fixedOne);
    EXPECT_EQ(t.c, fixedOne);
    EXPECT_EQ(t.a, 0);
}

TEST(EditingArithmetic, CentringPutsTheFormBoxInTheMiddleForEveryRotation) {
    const ASFixedRect frame = fxRect(100, 200, 300, 500);  // W 200, H 300
    const ASFixedRect box = fxRect(10, 20, 110, 170);      // w 100, h 150
    for (ASInt32 rot : {0, 90, 180, 270}) {
        ASFixedMatrix m = getCenteringMatrix(frame, box, rot);
        // The box's corners through the matrix (coefficients are 0 or +-1).
        ASFixedRect out{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX};
        for (ASFixed x : {box.left, box.right})
            for (ASFixed y : {box.bottom, box.top}) {
                ASFixed px = (m.a / fixedOne) * x + (m.c / fixedOne) * y + m.h;
                ASFixed py = (m.b / fixedOne) * x + (m.d / fixedOne) * y + m.v;
                out.left = std::min(out.left, px);
                out.right = std::max(out.right, px);
                out.bottom = std::min(out.bottom, py);
                out.top = std::max(out.top, py);
            }
        ASFixed w = out.right - out.left, h = out.top - out.bottom;
        // Centred: equal margins left and right, top and bottom.
        EXPECT_EQ(out.left - frame.left, frame.right - out.right) << rot;
        EXPECT_EQ(out.bottom - frame.bottom, frame.top - out.top) << rot;
        EXPECT_EQ(w, (rot == 90 || rot == 270) ? fx(150) : fx(100)) << rot;
        EXPECT_EQ(h, (rot == 90 || rot == 270) ? fx(100) : fx(150)) << rot;
    }
    ASFixedMatrix r0 = getCenteringMatrix(frame, box, 0);
    EXPECT_EQ(r0.h, fx(50 + 100 - 10));
    EXPECT_EQ(r0.v, fx(75 + 200 - 20));
    ASFixedMatrix odd = getCenteringMatrix(frame, box, 45);
    EXPECT_EQ(odd.a, fixedOne);
    EXPECT_EQ(odd.h, 0);
    EXPECT_EQ(odd.v, 0);
}

TEST(EditingArithmetic, DigitsWithinASecondMakeOneNumber) {
    // (The tool's tests type with the real tick count, far from these ticks.)
    EXPECT_STREQ(addTypedDigit('1', 1000), "1");
    EXPECT_STREQ(addTypedDigit('2', 1059), "12");
    EXPECT_STREQ(addTypedDigit('3', 1119), "3");  // 60 ticks: a second has passed
    EXPECT_STREQ(addTypedDigit('4', 1180), "4");
    // 31 digits at most; more in the same run are not taken.
    for (int i = 0; i < 40; ++i) addTypedDigit('9', 1181 + static_cast<ASUns32>(i));
    EXPECT_EQ(std::string(addTypedDigit('8', 1260)).size(), 31u);
}

TEST(EditingArithmetic, PaletteValuesDropTrailingZeros) {
    char t[32];
    EXPECT_STREQ(formatPaletteValue(fx(12.5), 1, t, sizeof t), "12.5");
    EXPECT_STREQ(formatPaletteValue(fx(3), 1, t, sizeof t), "3");
    EXPECT_STREQ(formatPaletteValue(0, 3, t, sizeof t), "0");
    EXPECT_STREQ(formatPaletteValue(fx(72), 2, t, sizeof t), "1");
    EXPECT_STREQ(formatPaletteValue(fx(72), 3, t, sizeof t), "25.4");
    EXPECT_STREQ(formatPaletteValue(fx(72), 4, t, sizeof t), "2.54");
    EXPECT_STREQ(formatPaletteValue(185771, 3, t, sizeof t), "1");
    EXPECT_STREQ(formatPaletteValue(-fx(8.504), 3, t, sizeof t), "-3");
    EXPECT_STREQ(formatPaletteValue(-1, 3, t, sizeof t), "0");
}

// ---- A sheet in a window with the tool active -------------------------------------------

namespace {

struct FrameState {
    ASInt32 box;
    ASFixedRect rect;
    bool selected;
    ASInt32 selIndex;
    ASInt32 rotation;
    ASInt32 elems;
    ASFixedMatrix first;  // of the first content element (identity when none)
};

bool collect(CContent*, PDEElement f, long, long data) {
    FrameState s{getBoxNum(f),
                 getBBox(f),
                 getSelected(f),
                 getSelIndex(f),
                 getFrameRotation(f),
                 0,
                 {fixedOne, 0, 0, fixedOne, 0, 0}};
    PDEContent c = getContent(f);
    s.elems = c ? pdeContentGetNumElems(c) : 0;
    if (s.elems > 0) {
        PDEElement e = pdeContentGetElem(c, 0);
        PDEType t = pdeObjectGetType(e);
        if (t == kPDEForm || t == kPDEPath) pdeGetMatrix(e, &s.first);
    }
    reinterpret_cast<std::vector<FrameState>*>(data)->push_back(s);
    return true;
}

struct Editing : ::testing::Test {
    ModelTestHost host;
    AVDoc avDoc = nullptr;
    AVPageView view = nullptr;

    void SetUp() override {
        setupPrefs();
        PDPage second = gPDModelHFT->PDDocCreatePage(host.doc, 0, fxRect(0, 0, 595, 842));
        pdPageRelease(second);
        setupTool();
        avDoc = gAcroViewHFT->AVDocOpenFromPDDoc(host.doc, "sheet");
        view = avDocGetPageView(avDoc);
        activateMyTool(avDoc);
        // A key that is no digit ends a number typed before.
        doKeyDown(view, 'z', 0, toolClientData());
        setCursorMode(0);
    }
    void TearDown() override {
        toolDocWillClose(avDoc);
        pdPageRelease(host.page);
        host.page = nullptr;
        gAcroViewHFT->AVDocClose(avDoc, true);
        host.doc = nullptr;
        gPrefs.reset();
    }

    vexa::host::app::Application& app() { return host.session().app(); }
    PDPage page() { return avPageViewGetPage(view); }

    // A frame with a placed page: a form holding a 100 x 200 rectangle at (l, b).
    void addFrame(double l, double b, double r, double t, ASInt32 box, bool placed = false) {
        PDEContainer c = getContainerWithRect(fxRect(l, b, r, t));
        setBoxNum(c, box);
        if (placed) {
            ASFixedMatrix m{fixedOne, 0, 0, fixedOne, fx(l), fx(b)};
            PDEForm form = makeForm({makeRect(0, 0, 100, 200)}, &m);
            pdeContentAddElem(getContent(c), kPDEAfterLast, form);
            pdeRelease(form);
        }
        addToPage(page(), {c});
    }
    std::vector<FrameState> frames() {
        std::vector<FrameState> v;
        EnumForms(page(), collect, reinterpret_cast<long>(&v), false, true);
        return v;
    }
    // As the host calls it: with the client data the plug-in registered.
    bool key(ASUns16 k, ASInt16 flags = 0) { return doKeyDown(view, k, flags, toolClientData()); }
    void select(std::vector<ASInt32> indices) { selectByIndex(page(), indices); }
};

}  // namespace

TEST_F(Editing, TheToolCarriesItsStateAsClientData) {
    AVTool tool = gAcroViewHFT->AVDocGetActiveTool(avDoc);
    ASSERT_NE(tool, nullptr);
    AVToolRec* rec = gAcroViewHFT->AVToolGetRecord(tool);
    ASSERT_NE(rec, nullptr);
    EXPECT_NE(rec->clientData, nullptr);
    EXPECT_EQ(rec->clientData, toolClientData());
}

TEST_F(Editing, KeysReachTheToolOnlyAsTheTableSays) {
    addFrame(100, 100, 200, 300, 1);
    for (char c : std::string("egikloqpuwxyz")) EXPECT_FALSE(key(c)) << c;
    EXPECT_FALSE(key('a', AV_SHIFT));
    EXPECT_FALSE(key('A', AV_SHIFT));
    EXPECT_FALSE(key('t', AV_OPTION));
    EXPECT_FALSE(key('c', AV_COMMAND));
    EXPECT_FALSE(key(28, AV_COMMAND | AV_SHIFT));
    EXPECT_FALSE(key(5));
    EXPECT_FALSE(key(200));
    EXPECT_FALSE(key('T'));  // without Shift
    EXPECT_TRUE(key('a'));
    EXPECT_EQ(getSelCnt(page()), 1);
    EXPECT_TRUE(key('c', AV_SHIFT));  // second-table keys take any flags without the command one
    EXPECT_TRUE(key(9));
    // With another tool active nothing is taken.
    deactivateMyTool();
    EXPECT_FALSE(key('a'));
    EXPECT_FALSE(key(29));
}

TEST_F(Editing, TypedDigitsRenumberPageFramesWithoutAnUndoStep) {
    addFrame(100, 100, 200, 300, 1);
    addFrame(300, 100, 400, 300, kBoxMovingMark);
    addFrame(100, 400, 200, 500, -8);
    select({0, 1, 2});
    EXPECT_TRUE(key('1'));
    app().passTime(30);
    EXPECT_TRUE(key('2'));
    auto f = frames();
    EXPECT_EQ(f[0].box, 12);
    EXPECT_EQ(f[1].box, kBoxMovingMark);  // not a page frame: left alone
    EXPECT_EQ(f[2].box, 12);              // the empty-frame marker takes numbers
    app().passTime(60);
    EXPECT_TRUE(key('2'));
    EXPECT_EQ(frames()[0].box, 2);
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 0);
    // Another key ends the number: a digit right after it starts anew.
    key('1');
    key(9);
    key('5');
    EXPECT_EQ(frames()[0].box, 5);
    // Shift-T marks the selection as empty frames, whatever they are.
    key('T', AV_SHIFT);
    for (auto& s : frames()) EXPECT_EQ(s.box, -8);
}

TEST_F(Editing, ArrowsMoveByPointsOrMillimetresWithUndoSteps) {
    addFrame(100, 100, 200, 300, 1, true);
    select({0});
    setPalUnits(1);
    key(29);
    EXPECT_EQ(frames()[0].rect.left, fx(101));
    EXPECT_EQ(frames()[0].first.h, fx(101));  // the placed page moves with it
    key(29, AV_SHIFT);
    EXPECT_EQ(frames()[0].rect.left, fx(101) + 6553);
    setPalUnits(3);
    key(30);
    EXPECT_EQ(frames()[0].rect.bottom, fx(100) + 185771);
    key(31, AV_SHIFT);
    EXPECT_EQ(frames()[0].rect.bottom, fx(100) + 185771 - 18577);
    key(28);
    EXPECT_EQ(frames()[0].rect.left, fx(101) + 6553 - 185771);
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 5);
    EXPECT_TRUE(frames()[0].selected);
    // "Move content": the placed page alone.
    setCursorMode(1);
    ASFixed left = frames()[0].rect.left, h = frames()[0].first.h;
    key(29);
    EXPECT_EQ(frames()[0].rect.left, left);
    EXPECT_EQ(frames()[0].first.h, h + 185771);
    EXPECT_EQ(paletteNeedsUpdate(), true);
}

TEST_F(Editing, ScaleKeysResizeThePlacedPageOfPageFramesOnly) {
    addFrame(100, 100, 200, 300, 1, true);
    addFrame(300, 100, 400, 300, 0, true);
    select({0, 1});
    setCursorMode(2);
    key(29);
    auto f = frames();
    EXPECT_EQ(f[0].first.a, 66191);
    EXPECT_EQ(f[0].first.d, 66191);
    EXPECT_EQ(f[0].first.b, 0);
    EXPECT_EQ(f[0].first.c, 0);
    EXPECT_EQ(f[0].first.h, fx(100));
    EXPECT_EQ(f[1].first.a, fixedOne);  // a plain container is not scaled
    key(28, AV_SHIFT);
    EXPECT_EQ(frames()[0].first.a, 66191 - 65);
    key(31);
    EXPECT_EQ(frames()[0].first.a, 66191 - 65 - 655);
}

TEST_F(Editing, CentringAPlacedPage) {
    addFrame(100, 100, 300, 500, 1, true);  // the form's box is 0 0 595 842 (its attributes)
    select({0});
    key('c');
    ASFixedMatrix m = frames()[0].first;
    EXPECT_EQ(m.a, fixedOne);
    EXPECT_EQ(m.h, (fx(200) - fx(595)) / 2 + fx(100));
    EXPECT_EQ(m.v, (fx(400) - fx(842)) / 2 + fx(100));
}

TEST_F(Editing, LayerKeysMoveOneStepAndStopAtTheEnds) {
    addFrame(0, 0, 10, 10, 1);
    addFrame(20, 0, 30, 10, 2);
    addFrame(40, 0, 50, 10, 3);
    auto order = [&] {
        std::vector<ASInt32> v;
        for (auto& s : frames()) v.push_back(s.box);
        return v;
    };
    select({1});
    key('-');  // index 1 stays
    EXPECT_EQ(order(), (std::vector<ASInt32>{1, 2, 3}));
    clearSelection(view, false);
    select({2});
    key('+');  // the last one stays
    EXPECT_EQ(order(), (std::vector<ASInt32>{1, 2, 3}));
    key('-');
    EXPECT_EQ(order(), (std::vector<ASInt32>{1, 3, 2}));
    clearSelection(view, false);
    select({0});
    key('+');
    EXPECT_EQ(order(), (std::vector<ASInt32>{3, 1, 2}));
    EXPECT_EQ(getSelCnt(page()), 1);
    EXPECT_EQ(frames()[1].selected, true);
    // Only with exactly one frame selected.
    select({0, 1});
    key('+');
    EXPECT_EQ(order(), (std::vector<ASInt32>{3, 1, 2}));
}

TEST_F(Editing, TabWalksToTheNeighbourFrameAndBeepsAtTheEnds) {
    addFrame(0, 0, 10, 10, 1);
    addFrame(20, 0, 30, 10, 2);
    select({0});
    int beeps = vexa::host::ui::beepCount();
    key(9, AV_SHIFT);
    EXPECT_EQ(vexa::host::ui::beepCount(), beeps + 1);
    key(9);
    auto f = frames();
    EXPECT_FALSE(f[0].selected);
    EXPECT_TRUE(f[1].selected);
    key(9);
    EXPECT_EQ(vexa::host::ui::beepCount(), beeps + 2);
    key(9, AV_SHIFT);
    EXPECT_TRUE(frames()[0].selected);
}

TEST_F(Editing, BackspaceEmptiesWithShiftAndRemovesWithout) {
    addFrame(100, 100, 200, 300, 1, true);
    addFrame(300, 100, 400, 300, 2, true);
    select({0});
    key(8, AV_SHIFT);
    auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].elems, 0);
    EXPECT_EQ(f[1].elems, 1);
    key(8);
    f = frames();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].box, 2);
    EXPECT_EQ(getSelCnt(page()), 0);
    // Both can be undone.
    EXPECT_TRUE(app().undo(avDoc));
    EXPECT_EQ(frames().size(), 2u);
    EXPECT_TRUE(app().undo(avDoc));
    EXPECT_EQ(frames()[0].elems, 1);
    select({1});
    key(127);
    EXPECT_EQ(frames()[1].elems, 0);
}

TEST_F(Editing, WriteBacksKeepTheSelectionInItsOrder) {
    addFrame(0, 0, 10, 10, 1);
    addFrame(20, 0, 30, 10, 1);
    addFrame(40, 0, 50, 10, 1);
    select({2, 0, 1});
    auto before = frames();
    moveSelectionBy(page(), fx(1), 0);
    auto after = frames();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(after[i].selected);
        EXPECT_EQ(after[i].rect.left, before[i].rect.left + fx(1));
    }
    EXPECT_LT(after[2].selIndex, after[0].selIndex);
    EXPECT_LT(after[0].selIndex, after[1].selIndex);
    // The markers are cleared again.
    EnumForms(
        page(),
        [](CContent*, PDEElement f, long, long) {
            EXPECT_EQ(getSelected2(f), 0);
            return true;
        },
        0, false, true);
    // Numbering follows the selection order.
    numberFrames(page(), "7", true);
    auto n = frames();
    EXPECT_EQ(n[2].box, 7);
    EXPECT_EQ(n[0].box, 8);
    EXPECT_EQ(n[1].box, 9);
}

TEST_F(Editing, TheSelectionHoldsItsPageUntilClearedOrClosed) {
    addFrame(0, 0, 10, 10, 1);
    EXPECT_EQ(heldSelectionPages(), 0);
    selectAll(view);
    EXPECT_EQ(heldSelectionPages(), 1);
    EXPECT_EQ(getSelCnt(page()), 1);
    PDEElement e = nullptr;
    EXPECT_EQ(getSelCnt(page(), &e), 1);
    EXPECT_EQ(getSelectedPDE(page()), e);
    clearSelection(view, false);
    EXPECT_EQ(heldSelectionPages(), 0);
    EXPECT_FALSE(selAvail(page()));
    selectAll(view);
    clearAllSelections();
    EXPECT_EQ(heldSelectionPages(), 0);
    selectAll(view);
    toolDocWillClose(avDoc);
    EXPECT_EQ(heldSelectionPages(), 0);
}

TEST_F(Editing, SelectionMeasuresUnionAndLargestBleed) {
    addFrame(10, 20, 110, 220, 1);
    addFrame(200, 5, 300, 100, 2);
    EnumForms(
        page(),
        [](CContent*, PDEElement f, long i, long) {
            ASFixedRect b = i == 0 ? fxRect(1, 2, 3, 4) : fxRect(5, 1, 2, 6);
            setBleedRect(f, &b);
            return true;
        },
        0, false, true);
    select({0, 1});
    ASFixedRect u;
    ASSERT_TRUE(getSelBBox(page(), &u));
    EXPECT_EQ(u.left, fx(10));
    EXPECT_EQ(u.bottom, fx(5));
    EXPECT_EQ(u.right, fx(300));
    EXPECT_EQ(u.top, fx(220));
    ASFixedRect bl = getBleedRect(page());
    EXPECT_EQ(bl.left, fx(5));
    EXPECT_EQ(bl.bottom, fx(2));
    EXPECT_EQ(bl.right, fx(3));
    EXPECT_EQ(bl.top, fx(6));
}

TEST_F(Editing, RotatingFrames) {
    addFrame(100, 100, 200, 300, 1);
    addFrame(10, 20, 110, 70, 0);  // W 100 > H 50
    addFrame(300, 400, 500, 420, kBoxJobInfo);
    addFrame(0, 500, 20, 520, kBoxCutMark);
    EnumForms(
        page(),
        [](CContent*, PDEElement f, long i, long) {
            if (i == 0) setFrameRotation(f, 270);
            if (i == 1) {
                PDEPath p = makeRect(10, 20, 100, 50);
                pdeContentAddElem(getContent(f), kPDEAfterLast, p);
                pdeRelease(p);
            }
            return true;
        },
        0, true, true);
    select({0, 1, 2, 3});
    rotateFrames(page(), 90);
    auto f = frames();
    EXPECT_EQ(f[0].rotation, 0);  // 270 + 90 turns over
    EXPECT_EQ(f[1].rect.left, fx(10));
    EXPECT_EQ(f[1].rect.bottom, fx(20));
    EXPECT_EQ(f[1].rect.right, fx(60));
    EXPECT_EQ(f[1].rect.top, fx(120));
    // The content turned with it: its old corner (10, 20) is now at (70 - 10, 20) ...
    ASFixedMatrix m = f[1].first;
    ASFixedPoint p{fx(10), fx(20)}, q;
    asFixedMatrixTransform(&q, &m, &p);
    EXPECT_EQ(q.h, fx(60));
    EXPECT_EQ(q.v, fx(20));
    EXPECT_EQ(f[2].rect.right, fx(320));  // job information: the rectangle only
    EXPECT_EQ(f[2].rect.top, fx(600));
    EXPECT_EQ(f[3].rect.right, fx(20));  // other marks stay
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 1);
    rotateFrames(page(), 180);
    EXPECT_EQ(frames()[0].rotation, 180);
}

TEST_F(Editing, UndoRestoresRectangleContentAndDictionaryAndRedoAppliesAgain) {
    addFrame(100, 100, 200, 300, 1, true);
    select({0});
    setPalUnits(1);
    key(29);   // right by a point
    key('r');  // rotation 90 (a dictionary value)
    EXPECT_EQ(frames()[0].rotation, 90);
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 2);
    ASSERT_TRUE(app().undo(avDoc));
    EXPECT_EQ(frames()[0].rotation, 0);
    ASSERT_TRUE(app().undo(avDoc));
    auto f = frames()[0];
    EXPECT_EQ(f.rect.left, fx(100));
    EXPECT_EQ(f.first.h, fx(100));
    EXPECT_EQ(f.elems, 1);
    EXPECT_TRUE(f.selected);  // the selection stays with the frame
    ASSERT_TRUE(app().redo(avDoc));
    EXPECT_EQ(frames()[0].rect.left, fx(101));
    EXPECT_EQ(frames()[0].first.h, fx(101));
    ASSERT_TRUE(app().redo(avDoc));
    EXPECT_EQ(frames()[0].rotation, 90);
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumRedos(avDoc), 0);
}

TEST_F(Editing, UndoTurnsTheViewToThePageOfTheCommand) {
    addFrame(100, 100, 200, 300, 1);
    select({0});
    key(29);
    gAcroViewHFT->AVPageViewGoTo(view, 1);
    EXPECT_EQ(avPageViewGetPageNum(view), 1);
    ASSERT_TRUE(app().undo(avDoc));
    EXPECT_EQ(avPageViewGetPageNum(view), 0);
    EXPECT_EQ(frames()[0].rect.left, fx(100));
}

TEST_F(Editing, UndoSetsAsideNothingWithoutAView) {
    EXPECT_FALSE(prepareUndo(kNoUndo));
    EXPECT_TRUE(prepareUndo(nullptr));  // the front document's view
    EXPECT_TRUE(prepareUndo(view));
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 2);
    // Moving without a selection records nothing.
    moveSelectionBy(page(), fx(1), 0);
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(avDoc), 2);
    // Records are released with the document (checked by the sanitizer build).
}

TEST_F(Editing, LabelsSitInTheFrameByItsRotation) {
    const ASInt32 rotations[4] = {0, 90, 180, 270};
    for (ASInt32 box = 1; box <= 4; ++box) addFrame(100, 100, 200, 300, box);
    addFrame(300, 400, 400, 420, kBoxJobInfo);
    EnumForms(
        page(),
        [](CContent*, PDEElement f, long i, long data) {
            if (i < 4) setFrameRotation(f, reinterpret_cast<const ASInt32*>(data)[i]);
            return true;
        },
        reinterpret_cast<long>(rotations), false, true);
    select({0, 1, 2, 3, 4});
    view->vs.drawn.clear();
    drawFrames(view);
    // The frame in device space: 8 pixels in, the page 842 points high, 100 %.
    const AVDevCoord left = 108, right = 208, top = 8 + 842 - 300, bottom = 8 + 842 - 100;
    const AVDevCoord w = gAcroViewHFT->AVPageViewMeasureText(view, 24, "1");
    struct Want {
        const char* text;
        AVDevCoord x, y;
    } want[] = {{"1", (left + right - w) / 2, top + 25},
                {"2", left + 3, (top + bottom) / 2 - 3},
                {"3", (left + right - w) / 2, bottom - 8},
                {"4", right - 3 - w, (top + bottom) / 2 - 3}};
    for (const Want& x : want) {
        bool found = false;
        for (const auto& op : view->vs.drawn)
            if (op.kind == vexa::host::app::DrawOp::Text && op.text == x.text) {
                found = true;
                EXPECT_EQ(op.rect.left, x.x) << x.text;
                EXPECT_EQ(op.rect.top, x.y) << x.text;
                EXPECT_EQ(op.size, 24);
                EXPECT_EQ(op.color.red, 0xFFFF);
                EXPECT_EQ(op.color.green, 0);
            }
        EXPECT_TRUE(found) << x.text;
    }
    bool job = false;
    for (const auto& op : view->vs.drawn)
        if (op.kind == vexa::host::app::DrawOp::Text && op.text == "J") job = op.size == 10;
    EXPECT_TRUE(job);
    // Without the guides unselected frames are not drawn.
    clearSelection(view, false);
    view->vs.drawn.clear();
    drawFrames(view);
    EXPECT_TRUE(view->vs.drawn.empty());
}
