// Scripted sessions against a small editing tool of the test's own, which uses the
// page-view services the way an editing plug-in does: frames that are selected by
// clicks and rubber bands, moved by drags and arrow keys with undo records, numbered
// by typed digits, drawn as an overlay, a context menu and dropped files.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "core/Core.h"
#include "headless/Script.h"
#include "headless/Session.h"
#include "QuietSession.h"

using namespace vexa::host;

namespace {

const AcroViewHFT* T() {
    return app::acroViewTable();
}

struct Frame {
    ASInt32 page;
    ASFixedRect rect;
    int box;
    bool selected = false;
};
std::vector<Frame> gFrames;
std::string gTyped;
ASUns32 gLastDigit = 0;
std::vector<std::string> gLog;
struct PendingDrop {
    bool set = false;
    std::string path;
    AVDevCoord x = 0, y = 0;
} gDrop;

ASFixed pt(double v) {
    return static_cast<ASFixed>(std::lround(v * 65536));
}

Frame* frameAt(AVPageView pv, AVDevCoord x, AVDevCoord y) {
    ASFixedPoint p;
    T()->AVPageViewDevicePointToPage(pv, x, y, &p);
    ASInt32 page = T()->AVPageViewGetPageNum(pv);
    for (auto it = gFrames.rbegin(); it != gFrames.rend(); ++it)
        if (it->page == page && p.h >= it->rect.left && p.h <= it->rect.right &&
            p.v >= it->rect.bottom && p.v <= it->rect.top)
            return &*it;
    return nullptr;
}

// Undo records hold the rectangles of every frame, swapped on Undo and Redo.
struct Snapshot {
    ASInt32 page;
    std::vector<ASFixedRect> rects;
};
void swapSnapshot(AVUndo u) {
    auto* s = static_cast<Snapshot*>(T()->AVUndoGetData(u));
    AVPageView pv = T()->AVDocGetPageView(T()->AVUndoGetAVDoc(u));
    T()->AVPageViewGoTo(pv, s->page);
    for (std::size_t i = 0; i < gFrames.size() && i < s->rects.size(); ++i)
        std::swap(gFrames[i].rect, s->rects[i]);
    T()->AVPageViewInvalidateRect(pv, nullptr);
}
ASBool canSwap(AVUndo u) {
    return T()->AVUndoGetData(u) != nullptr;
}
void releaseSnapshot(AVUndo u) {
    delete static_cast<Snapshot*>(T()->AVUndoGetData(u));
    gLog.push_back("released");
}
const AVUndoHandler kHandler = {sizeof(AVUndoHandler), "Frames",     canSwap, canSwap,
                                swapSnapshot,          swapSnapshot, nullptr, nullptr,
                                releaseSnapshot};
void prepareUndo(AVPageView pv) {
    auto* s = new Snapshot{T()->AVPageViewGetPageNum(pv), {}};
    for (auto& f : gFrames) s->rects.push_back(f.rect);
    T()->AVUndoNew(T()->AVPageViewGetAVDoc(pv), &kHandler, s);
}
void moveSelected(AVPageView pv, ASFixed dx, ASFixed dy) {
    prepareUndo(pv);
    for (auto& f : gFrames)
        if (f.selected) {
            f.rect.left += dx;
            f.rect.right += dx;
            f.rect.top += dy;
            f.rect.bottom += dy;
        }
    T()->AVPageViewInvalidateRect(pv, nullptr);
}

ASBool doClick(AVTool, AVPageView pv, AVDevCoord x, AVDevCoord y, ASInt16 flags, ASInt16 count) {
    gTyped.clear();
    if (T()->AVPageViewIsAnnotAtPoint(pv, x, y)) return false;
    if (count >= 2) {
        gLog.push_back("double click");
        return true;
    }
    Frame* hit = frameAt(pv, x, y);
    if (hit && flags != AV_SHIFT) {
        if (!hit->selected)
            for (auto& f : gFrames) f.selected = &f == hit;
        // The drag starts when the mouse is more than 8 pixels away.
        while (T()->AVSysMouseIsStillDown()) {
            AVDevCoord mx, my;
            T()->AVPageViewGetMousePosition(pv, &mx, &my);
            if (std::abs(mx - x) > 8 || std::abs(my - y) > 8) {
                AVDevRect from, to;
                T()->AVPageViewRectToDevice(pv, &hit->rect, &from);
                T()->AVPageViewDragOutlineRect(pv, x, y, &from, &to);
                ASFixedRect moved;
                T()->AVPageViewDeviceRectToPage(pv, &to, &moved);
                // Whole points.
                ASFixed dx = (moved.left - hit->rect.left + 0x8000) & ~0xFFFF;
                ASFixed dy = (moved.bottom - hit->rect.bottom + 0x8000) & ~0xFFFF;
                moveSelected(pv, dx, dy);
                T()->AVPageViewDrawNow(pv);
                return true;
            }
        }
        T()->AVPageViewInvalidateRect(pv, nullptr);
        T()->AVPageViewDrawNow(pv);
        return false;
    }
    AVDevRect band;
    T()->AVPageViewDragRect(pv, x, y, &band);
    ASFixedRect r;
    T()->AVPageViewDeviceRectToPage(pv, &band, &r);
    if (flags == AV_OPTION) {
        gLog.push_back("trim " + std::to_string(r.left >> 16) + " " +
                       std::to_string(r.bottom >> 16));
        return true;
    }
    if (flags != AV_SHIFT)
        for (auto& f : gFrames) f.selected = false;
    for (auto& f : gFrames)
        if (f.page == T()->AVPageViewGetPageNum(pv) && f.rect.left <= r.right &&
            f.rect.right >= r.left && f.rect.bottom <= r.top && f.rect.top >= r.bottom)
            f.selected = flags == AV_SHIFT ? !f.selected : true;
    T()->AVPageViewInvalidateRect(pv, nullptr);
    return false;
}

ASBool doRightClick(AVTool, AVPageView pv, AVDevCoord x, AVDevCoord y, ASInt16, ASInt16) {
    Frame* hit = frameAt(pv, x, y);
    AVMenu menu = T()->AVMenuNew("", "TestContext", nullptr);
    auto add = [](AVMenu m, const char* title, AVMenu sub = nullptr) {
        AVMenuItem it = T()->AVMenuItemNew(title, title, sub, false, 0, 0, nullptr);
        T()->AVMenuAddMenuItem(m, it, -1);
        T()->AVMenuItemRelease(it);
    };
    if (hit) {
        if (!hit->selected) {
            for (auto& f : gFrames) f.selected = &f == hit;
            T()->AVPageViewInvalidateRect(pv, nullptr);
            T()->AVPageViewDrawNow(pv);
        }
        add(menu, "Bleeding\xE2\x80\xA6");
        add(menu, "Rotate");
    } else {
        add(menu, "Frames\xE2\x80\xA6");
        add(menu, "Text frame");
        add(menu, "Marks\xE2\x80\xA6");
        AVMenu sub = T()->AVMenuNew("Save optimized", "TestOptimize", nullptr);
        char name[32];
        for (ASInt32 i = 0; i < T()->AVAppGetNumOptimizerPresets(); ++i) {
            T()->AVAppGetOptimizerPresetName(i, name, sizeof name);
            add(sub, name);
        }
        add(menu, "Save optimized", sub);
        T()->AVMenuRelease(sub);
    }
    AVMenuItem chosen = T()->AVMenuDoPopUp(menu, pv, x, y);
    char title[64] = "";
    if (chosen) T()->AVMenuItemGetTitle(chosen, title, sizeof title);
    gLog.push_back(std::string("chose ") + (chosen ? title : "nothing"));
    T()->AVMenuRelease(menu);
    return true;
}

ASBool keyDown(AVPageView pv, ASUns16 key, ASInt16 flags, ASClientData) {
    if (key >= '0' && key <= '9') {
        ASUns32 now = T()->ASGetTickCount();
        if (now - gLastDigit >= 60) gTyped.clear();
        gLastDigit = now;
        gTyped += static_cast<char>(key);
        for (auto& f : gFrames)
            if (f.selected) f.box = std::stoi(gTyped);
        T()->AVPageViewInvalidateRect(pv, nullptr);
        return true;
    }
    gTyped.clear();
    if (key >= 28 && key <= 31) {
        ASFixed step = (flags & AV_SHIFT) ? fixedOne / 10 : fixedOne;
        moveSelected(pv,
                     key == 28   ? -step
                     : key == 29 ? step
                                 : 0,
                     key == 30   ? step
                     : key == 31 ? -step
                                 : 0);
        return true;
    }
    return false;
}

void drawFrames(AVPageView pv, const AVDevRect*, ASClientData) {
    AVRGBColor16 grey{0x8000, 0x8000, 0x8000}, red{0xFFFF, 0, 0};
    for (ASInt32 page = T()->AVPageViewGetFirstVisiblePageNum(pv);
         page <= T()->AVPageViewGetLastVisiblePageNum(pv); ++page) {
        ASInt32 current = T()->AVPageViewGetPageNum(pv);
        T()->AVPageViewSetPageNum(pv, page);
        for (const Frame& f : gFrames) {
            if (f.page != page) continue;
            T()->AVPageViewSetColor(pv, f.selected ? &red : &grey);
            T()->AVPageViewSetPen(pv, f.selected ? AVPenSolid : AVPenDithered, 1, 0, 0);
            AVDevRect r;
            T()->AVPageViewRectToDevice(pv, &f.rect, &r);
            T()->AVPageViewDrawRectOutline(pv, &r);
            if (f.box > 0) {
                std::string label = std::to_string(f.box);
                ASInt32 w = T()->AVPageViewMeasureText(pv, 24, label.c_str());
                T()->AVPageViewDrawText(pv, (r.left + r.right - w) / 2, r.top + 25, 24,
                                        label.c_str());
            }
        }
        T()->AVPageViewSetPageNum(pv, current);
    }
}

bool isPdf(const char* path) {
    std::string s = path;
    if (s.size() < 4) return false;
    std::string e = s.substr(s.size() - 4);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e == ".pdf";
}

ASBool track(AVDoc doc, ASInt32 phase, const char* path, AVDevCoord x, AVDevCoord y, ASClientData) {
    AVPageView pv = T()->AVDocGetPageView(doc);
    if (phase == AVDragLeave || !isPdf(path)) {
        T()->AVDocSetDropHighlight(doc, nullptr);
        return false;
    }
    AVDevRect r;
    if (Frame* f = frameAt(pv, x, y)) {
        T()->AVPageViewRectToDevice(pv, &f->rect, &r);
    } else {
        PDPage page = T()->AVPageViewGetPage(pv);
        (void)page;
        ASFixedRect all{0, pt(800), pt(600), 0};
        T()->AVPageViewRectToDevice(pv, &all, &r);
    }
    T()->AVDocSetDropHighlight(doc, &r);
    return true;
}

ASBool receive(AVDoc doc, const char* path, AVDevCoord, AVDevCoord, ASClientData) {
    if (!isPdf(path)) return false;
    gDrop.set = true;
    gDrop.path = path;
    // The position comes from the host, as the platform's drop handler has no other.
    T()->AVPageViewGetMousePosition(T()->AVDocGetPageView(doc), &gDrop.x, &gDrop.y);
    return true;
}

// The idle procedure places what was dropped: a free frame of 50 x 50 points at the
// drop point, snapped to whole millimetres.
void placeOnIdle(ASClientData) {
    if (!gDrop.set) return;
    gDrop.set = false;
    AVDoc doc = T()->AVAppGetActiveDoc();
    AVPageView pv = T()->AVDocGetPageView(doc);
    ASFixedPoint p;
    T()->AVPageViewDevicePointToPage(pv, gDrop.x, gDrop.y, &p);
    auto snap = [](ASFixed v) {
        long mm = static_cast<long>(v * 25.4 / 4718592);
        return static_cast<ASFixed>(mm * 72 * 65536 / 25.4);
    };
    ASFixed x = snap(p.h), y = snap(p.v);
    gFrames.push_back({T()->AVPageViewGetPageNum(pv), {x, y + pt(50), x + pt(50), y}, 0});
    gLog.push_back("placed " + gDrop.path.substr(gDrop.path.rfind('/') + 1));
    T()->AVPageViewInvalidateRect(pv, nullptr);
}

// A hand over frames, the arrow elsewhere.
ASBool adjustCursor(AVTool, AVPageView pv, AVDevCoord x, AVDevCoord y) {
    if (!frameAt(pv, x, y)) return false;
    T()->AVSysSetCursor(AVCursorHand);
    return true;
}

ASAtom toolType(AVTool) {
    return atomFromString("TestFrames");
}

void docDidOpen(const AVNotificationData* d, ASClientData) {
    AVDropHandlersRec h{sizeof h, track, receive};
    T()->AVDocSetDropHandlers(d->avDoc, &h, nullptr);
    T()->AVDocSetActiveTool(d->avDoc, T()->AVAppGetToolByName(toolType(nullptr)), true);
}

std::string writeSheet(const std::string& path) {
    QPDF q;
    q.emptyPDF();
    QPDFPageDocumentHelper pages(q);
    for (int i = 0; i < 2; ++i) {
        auto page = q.makeIndirectObject(
            QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 600 800] >>"));
        page.replaceKey("/Contents", q.newStream(""));
        if (i == 0)
            page.replaceKey("/Annots",
                            QPDFObjectHandle::parse(
                                "[<< /Type /Annot /Subtype /Link /Rect [500 700 560 760] >>]"));
        else
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
        pages.addPage(QPDFPageObjectHelper(page), false);
    }
    QPDFWriter w(q, path.c_str());
    w.write();
    return path;
}

struct ViewScriptTest : ::testing::Test {
    vexa::test::TempDir dir;
    std::unique_ptr<Session> session;
    AVToolRec tool{};

    ViewScriptTest() {
        session = vexa::test::quietSession();
        app::useDocumentEngine(session->app());
        session->start();
        gFrames = {{0, {pt(100), pt(300), pt(200), pt(100)}, 1},
                   {0, {pt(300), pt(300), pt(400), pt(100)}, 2},
                   {1, {pt(50), pt(500), pt(150), pt(400)}, 3}};
        gTyped.clear();
        gLastDigit = 0;
        gLog.clear();
        gDrop = {};
        tool.size = sizeof tool;
        tool.DoClick = doClick;
        tool.DoRightClick = doRightClick;
        tool.AdjustCursor = adjustCursor;
        tool.GetType = toolType;
        T()->AVAppRegisterTool(&tool);
        T()->AVAppRegisterForPageViewKeyDown(keyDown, nullptr);
        T()->AVAppRegisterForPageViewDrawing(drawFrames, nullptr);
        T()->AVAppRegisterIdleProc(placeOnIdle, nullptr, 6);
        T()->AVAppRegisterNotification(NSEL_AVDocDidOpen, nullptr, docDidOpen, nullptr);
        writeSheet(dir.file("sheet.pdf"));
        std::ofstream(dir.file("a.PDF")) << "%PDF-1.4\n";
        std::ofstream(dir.file("a.pdf.txt")) << "text\n";
    }
    std::string expand(std::string text) {
        for (std::size_t at; (at = text.find("${TMP}")) != std::string::npos;)
            text.replace(at, 6, dir.path().string());
        return text;
    }
    std::string runScript(const std::string& text, const std::string& name = "test.vx") {
        return vexa::test::scriptError(expand(text), name);
    }
    std::string runFile(const std::string& file) {
        std::ifstream in(std::string(VEXA_TEST_DATA) + "/scripts/" + file);
        std::stringstream s;
        s << in.rdbuf();
        if (s.str().empty()) return "cannot read " + file;
        return runScript(s.str(), file);
    }
};

TEST_F(ViewScriptTest, EditingSessionRunsAsTheUserWouldSeeIt) {
    EXPECT_EQ(runFile("views.vexa"), "");
    EXPECT_EQ(gFrames[0].box, 4);
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "chose Web"), gLog.end());
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "placed a.PDF"), gLog.end());
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "trim 450 150"), gLog.end());
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "double click"), gLog.end());
}

TEST_F(ViewScriptTest, FailedChecksSayWhatWasShown) {
    std::string open = "open ${TMP}/sheet.pdf\n";
    std::string e = runScript(open + "expect-drawn label 7");
    EXPECT_NE(e.find("test.vx:2: nothing like that was drawn; drawn:"), std::string::npos) << e;
    EXPECT_NE(e.find("label \"1\""), std::string::npos) << e;
    EXPECT_EQ(runScript("close all\nexpect-page 1"), "test.vx:2: no document is open");
    e = runScript(open + "click 150 200 hyper");
    EXPECT_NE(e.find("\"hyper\" is no modifier"), std::string::npos) << e;
    e = runScript(open + "click 10furlong 2");
    EXPECT_NE(e.find("is not a coordinate"), std::string::npos) << e;
    e = runScript(open + "right-click 450 500");
    EXPECT_NE(e.find("the script ended while the pop-up menu \"Frames"), std::string::npos) << e;
    e = runScript(open + "right-click 450 500\n  menu-pick Paste");
    EXPECT_NE(e.find("\"Paste\" is no item of the pop-up menu"), std::string::npos) << e;
    e = runScript(open + "undo");
    EXPECT_NE(e.find("Undo is disabled"), std::string::npos) << e;
    e = runScript(open + "drop ${TMP}/a.pdf.txt 450 500");
    EXPECT_NE(e.find("the drop was refused"), std::string::npos) << e;
    e = runScript(open + "page 3");
    EXPECT_NE(e.find("the document has pages 1 to 2"), std::string::npos) << e;
}

TEST_F(ViewScriptTest, ClosingTheDocumentReleasesItsUndoRecords) {
    EXPECT_EQ(runScript("open ${TMP}/sheet.pdf\nclick 150 200\npress-key up\npress-key up\n"
                        "expect-undo 2 0\nundo\nexpect-undo 1 1\nclose"),
              "");
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "released"), 2);
}

}  // namespace
