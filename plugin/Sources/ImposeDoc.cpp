#include "Sources/ImposeDoc.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sources/AddMarks.h"
#include "Sources/AddPages.h"
#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Sources/Duplicate.h"
#include "Common/ErrorHandling.h"
#include "Sources/JobInfo.h"
#include "Sources/MovingMark.h"
#include "Common/MyPath.h"
#include "settings/MyDialog.h"
#include "Sources/NewDoc.h"
#include "Sources/Palette.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SeparationInfo.h"
#include "Sources/SetPos.h"
#include "Sources/TrimBox.h"
#include "Sources/TrimLines.h"
#include "Sources/Undo.h"
#include "Common/Units.h"

namespace {

// Key codes of the host.
enum : ASUns16 {
    kKeyBackspace = 8,
    kKeyTab = 9,
    kKeyLeft = 28,
    kKeyRight = 29,
    kKeyUp = 30,
    kKeyDown = 31,
    kKeyDelete = 127,
};

const ASFixed kOneMM = mm(1);
const ASInt32 kDigitTicks = 60;  // digits within a second make one number

// What the editing tool keeps between the host's calls; the client data of the tool
// and of the key-down callback.
struct ToolState {
    // The box number typed so far.
    char typed[32] = "";
    ASUns32 lastDigit = 0;
    // The view and page shown before a click switched the view to single-page layout.
    AVPageView savedView = nullptr;
    ASInt32 savedPage = -1;
    // A double click asks for the frame's dialog at the next idle call.
    bool deferred = false;
    AVPageView deferredView = nullptr;
};
ToolState gTool;

// The state a callback was given (the tool's own when it was given none).
ToolState& toolState(ASClientData data) {
    return data ? *static_cast<ToolState*>(data) : gTool;
}
ToolState& toolState(AVTool tool) {
    AVToolRec* rec = tool ? gAcroViewHFT->AVToolGetRecord(tool) : nullptr;
    return toolState(rec ? rec->clientData : nullptr);
}

const AVRGBColor16 kRed = getViewColor(1, 0, 0);
const AVRGBColor16 kGrey = getViewColor(0.5f, 0.5f, 0.5f);
const AVRGBColor16 kWhite = getViewColor(1, 1, 1);

bool isFrameElem(PDEElement e) {
    if (!e || pdeObjectGetType(e) != kPDEContainer) return false;
    CosObj d = getVexaDict(e);
    return cosObjIsDictOrStream(d) && cosDictKnown(d, "top");
}

bool hasMatrix(PDEType t) {
    return t == kPDEText || t == kPDEPath || t == kPDEImage || t == kPDEForm || t == kPDEShading;
}

// The first element of a frame's content (the placed page), or null.
PDEElement firstContentElem(PDEElement frame, PDEType* type) {
    PDEContent c = getContent(frame);
    if (!c || pdeContentGetNumElems(c) == 0) return nullptr;
    PDEElement e = pdeContentGetElem(c, 0);
    *type = e ? pdeObjectGetType(e) : 0;
    return e;
}

// Inclusive overlap of two rectangles.
bool rectsTouch(const ASFixedRect& a, const ASFixedRect& b) {
    return a.left <= b.right && a.right >= b.left && a.bottom <= b.top && a.top >= b.bottom;
}

bool isZero(const ASFixedRect& r) {
    return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0;
}

void redrawView(AVPageView view) {
    if (!view) return;
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}

// ---- Selection procedures ------------------------------------------------------------

struct ArrowCtx {
    ASFixed dx, dy;
    ASInt32 mode;  // cursor mode 0 or 1
};

bool arrowMoveProc(CContent*, PDEElement frame, long, long data) {
    auto* c = reinterpret_cast<ArrowCtx*>(data);
    if (c->mode == 0) {
        ASFixedPoint offset{c->dx, c->dy};
        moveToPos(frame, &offset, true);
    } else if (getBoxNum(frame) > 0) {
        PDEType type = 0;
        PDEElement e = firstContentElem(frame, &type);
        if (e && hasMatrix(type)) {
            ASFixedMatrix m;
            pdeGetMatrix(e, &m);
            m.h += c->dx;
            m.v += c->dy;
            pdeSetMatrix(e, &m);
        }
    }
    return true;
}

bool scaleProc(CContent*, PDEElement frame, long, long data) {
    if (getBoxNum(frame) < 1) return true;
    PDEType type = 0;
    PDEElement e = firstContentElem(frame, &type);
    if (!e || !hasMatrix(type)) return true;
    ASFixedMatrix m;
    pdeGetMatrix(e, &m);
    scaleMatrix(&m, static_cast<ASFixed>(data));
    pdeSetMatrix(e, &m);
    return true;
}

bool centerContentProc(CContent*, PDEElement frame, long, long) {
    PDEType type = 0;
    PDEElement e = firstContentElem(frame, &type);
    if (!e || type != kPDEForm) return true;
    ASFixedMatrix m = getCenteringMatrix(getBBox(frame), getFormBBox(e), getFormRotation(e));
    pdeSetMatrix(e, &m);
    return true;
}

// "+" one step later in paint order, "-" one step earlier; only the first selected
// frame is handled.
bool layerProc(CContent* level, PDEElement frame, long index, long data) {
    long n = level->getCount();
    if (data > 0) {
        if (index < n - 1) {
            level->addElem(frame, index + 1);
            level->rmvElem(index);
        }
    } else if (index >= 2) {
        level->addElem(frame, index - 2);
        level->rmvElem(index + 1);
    }
    return false;
}

// Page frames, plain containers and the empty-frame marker take a typed number.
bool setBoxNumProc(CContent*, PDEElement frame, long, long data) {
    ASInt32 box = getBoxNum(frame);
    if (box >= 0 || box == kBoxEmptyFrame) setBoxNum(frame, static_cast<ASInt32>(data));
    return true;
}

bool setBoxNumAnyProc(CContent*, PDEElement frame, long, long data) {
    setBoxNum(frame, static_cast<ASInt32>(data));
    return true;
}

// Tab: the next frame of the same content list becomes the selection (Shift-Tab the
// previous one); at the end of the list a beep.
bool neighbourProc(CContent* level, PDEElement frame, long index, long data) {
    long n = level->getCount();
    long step = data > 0 ? 1 : -1;
    for (long i = index + step; i >= 0 && i < n; i += step) {
        PDEElement e = level->getElem(i);
        if (!isFrameElem(e) || getBoxNum(e) == kBoxTrimLines) continue;
        setSelected(frame, false);
        setSelected(e, true);
        return false;
    }
    beep();
    return false;
}

bool deleteContentProc(CContent* level, PDEElement frame, long, long) {
    PDEContent c = getContent(frame);
    if (c && pdeContentGetNumElems(c) > 0) {
        removeContent(c);
        level->addModified();
    }
    return true;
}

bool deleteFrameProc(CContent* level, PDEElement frame, long index, long) {
    setSelected(frame, false);
    level->rmvElem(index);
    return true;
}

// The topmost selected frame that has a dialog of its own.
bool dialogFrameProc(CContent*, PDEElement frame, long, long data) {
    ASInt32 box = getBoxNum(frame);
    if (box == kBoxTextFrame || box == kBoxMovingMark || box == kBoxJobInfo || box >= 0) {
        *reinterpret_cast<PDEElement*>(data) = frame;
        return false;
    }
    return true;
}

struct MouseDownCtx {
    ASFixedRect rect;
    bool shift;
    bool single;  // a plain click: the topmost frame only
};

bool mouseDownProc(CContent*, PDEElement frame, long, long data) {
    auto* c = reinterpret_cast<MouseDownCtx*>(data);
    if (getBoxNum(frame) == kBoxTrimLines) return true;
    ASFixedRect r = getBBox(frame);
    if (isZero(r) || !rectsTouch(r, c->rect)) return true;
    if (getSelected(frame)) {
        if (c->shift) setSelected(frame, false);
    } else {
        setSelected(frame, true);
    }
    return !c->single;
}

// ---- Drawing ---------------------------------------------------------------------------

struct DrawCtx {
    AVPageView view;
    bool selected;  // the pass: selected or unselected frames
    ASInt32 drawn;
};

void drawLabel(AVPageView view, const AVDevRect& d, const char* text, ASInt32 size,
               ASInt32 rotation) {
    ASInt32 w = gAcroViewHFT->AVPageViewMeasureText(view, size, text);
    AVDevCoord x, y;
    AVDevCoord midX = (d.left + d.right - w) / 2, midY = (d.top + d.bottom) / 2;
    switch (rotation) {
        case 90:
            x = d.left + 3;
            y = midY - 3;
            break;
        case 180:
            x = midX;
            y = d.bottom - 8;
            break;
        case 270:
            x = d.right - 3 - w;
            y = midY - 3;
            break;
        default:
            x = midX;
            y = d.top + size + 1;
    }
    gAcroViewHFT->AVPageViewDrawText(view, x, y, size, text);
}

bool drawFrameProc(CContent*, PDEElement frame, long, long data) {
    auto* c = reinterpret_cast<DrawCtx*>(data);
    ASInt32 box = getBoxNum(frame);
    if (box == kBoxTrimLines || getSelected(frame) != c->selected) return true;
    ASFixedRect r = getBBox(frame);
    AVDevRect d;
    gAcroViewHFT->AVPageViewRectToDevice(c->view, &r, &d);
    gAcroViewHFT->AVPageViewSetColor(c->view, c->selected ? &kRed : &kGrey);
    gAcroViewHFT->AVPageViewSetPen(c->view, c->selected ? AVPenSolid : AVPenDithered, 1, 0, 0);
    gAcroViewHFT->AVPageViewDrawRectOutline(c->view, &d);
    ++c->drawn;
    char label[16] = "";
    ASInt32 size = 24;
    if (box >= 1) {
        std::snprintf(label, sizeof label, "%d", box);
    } else if (box == kBoxJobInfo) {
        std::strcpy(label, "J");
        size = 10;
    }
    if (label[0]) drawLabel(c->view, d, label, size, getFrameRotation(frame));
    return true;
}

void drawPage(AVPageView view, PDDoc doc, ASInt32 pageNum, bool full) {
    CPage page(doc, pageNum);
    if (full) {
        ASFixedRect paper;
        if (getPaperRect(doc, paper)) {
            AVDevRect d;
            gAcroViewHFT->AVPageViewRectToDevice(view, &paper, &d);
            gAcroViewHFT->AVPageViewSetColor(view, &kWhite);
            gAcroViewHFT->AVPageViewSetPen(view, AVPenSolid, 1, 0, 0);
            gAcroViewHFT->AVPageViewDrawRectOutline(view, &d);
            gAcroViewHFT->AVPageViewSetColor(view, &kGrey);
            gAcroViewHFT->AVPageViewSetPen(view, AVPenDashed, 1, 1, 1);
            gAcroViewHFT->AVPageViewDrawRectOutline(view, &d);
        }
    }
    DrawCtx ctx{view, false, 0};
    if (full) EnumForms(page.getPage(), drawFrameProc, reinterpret_cast<long>(&ctx), false, true);
    ctx.selected = true;
    EnumForms(page.getPage(), drawFrameProc, reinterpret_cast<long>(&ctx), false, true);
    ASFixedRect trim;
    if (full && ctx.drawn == 0 && page.getTrimBox(&trim)) {
        AVRGBColor16 saved;
        gAcroViewHFT->AVPageViewGetColor(view, &saved);
        AVDevRect d;
        gAcroViewHFT->AVPageViewRectToDevice(view, &trim, &d);
        gAcroViewHFT->AVPageViewSetColor(view, &kRed);
        gAcroViewHFT->AVPageViewSetPen(view, AVPenSolid, 1, 0, 0);
        gAcroViewHFT->AVPageViewDrawRectOutline(view, &d);
        gAcroViewHFT->AVPageViewSetColor(view, &saved);
    }
}

// ---- Keys ---------------------------------------------------------------------------------

void doMarks(bool remove, PDPage page) {
    if (remove)
        removeMarks(!selAvail(page));
    else
        createMarks();
}

void doJobInfoKey(PDPage page) {
    ASInt32 n = getSelCnt(page);
    if (n == 1) {
        doJobInfo(getSelectedPDE(page));
    } else if (n == 0) {
        SelectionPageScope scope(page);
        EnumForms(page, selectJobInfoProc, 0, false, false);
        if (PDEElement f = getSelectedPDE(page)) doJobInfo(f);
    } else {
        EnumSelection(page, setBoxNumProc, kBoxJobInfo, false, true);
    }
    redrawDoc(pdPageGetDoc(page));
}

// The keys of the second table; true when the key was used.
bool editKey(AVPageView view, PDPage page, ASUns16 key, ASInt16 flags) {
    if (key >= '0' && key <= '9') {
        const char* text = addTypedDigit(static_cast<char>(key), asGetTickCount());
        long long n = std::strtoll(text, nullptr, 10);
        if (n > INT_MAX) n = INT_MAX;
        EnumSelection(page, setBoxNumProc, static_cast<long>(n), false, true);
        return true;
    }
    switch (key) {
        case kKeyLeft:
        case kKeyRight:
        case kKeyUp:
        case kKeyDown: {
            ASInt32 mode = getCursorMode();
            if (mode == 2) {
                ASFixed step = flags == AV_SHIFT ? 65 : 655;
                if (key == kKeyLeft || key == kKeyDown) step = -step;
                EnumSelectionWithUndo(view, page, scaleProc, step, true, false);
            } else {
                ASFixed step = getArrowStep(getPalUnits(), flags);
                ArrowCtx c{0, 0, mode};
                if (key == kKeyLeft) c.dx = -step;
                if (key == kKeyRight) c.dx = step;
                if (key == kKeyUp) c.dy = step;
                if (key == kKeyDown) c.dy = -step;
                EnumSelectionWithUndo(view, page, arrowMoveProc, reinterpret_cast<long>(&c), true,
                                      false);
            }
            adjustPalette();
            return true;
        }
        case '+':
        case '-':
            if (getSelCnt(page) == 1)
                EnumSelection(page, layerProc, key == '+' ? 1 : -1, true, true);
            return true;
        case 'T':
            if (flags != AV_SHIFT) return false;
            EnumSelection(page, setBoxNumAnyProc, kBoxEmptyFrame, true, false);
            return true;
        case kKeyTab:
            if (getSelCnt(page) == 1) {
                EnumSelection(page, neighbourProc, flags == AV_SHIFT ? -1 : 1, false, true);
                adjustPalette();
            }
            return true;
        case kKeyBackspace:
            // Deleting cannot be taken back otherwise: it is an undo step.
            EnumSelectionWithUndo(view, page,
                                  flags == AV_SHIFT ? deleteContentProc : deleteFrameProc, 0, true,
                                  false);
            adjustPalette();
            return true;
        case kKeyDelete:
            EnumSelectionWithUndo(view, page, deleteContentProc, 0, true, false);
            return true;
        case 'b':
            doBleedRectDlg();
            adjustPalette();
            return true;
        case 'c':
            EnumSelection(page, centerContentProc, 0, true, true);
            return true;
        case 'd':
            doDuplicate(view, page);
            return true;
        case 'f':
            doMovingMark(view, page);
            return true;
        case 'h':
            dupHor(view, page);
            return true;
        case 'j':
            doJobInfoKey(page);
            return true;
        case 'm':
            doMarks(flags == AV_SHIFT, page);
            return true;
        case 'n':
            numberFrames(page);
            return true;
        case 'r':
            rotateFrames(page, 90);
            adjustPalette();
            return true;
        case 'v':
            dupVer(view, page);
            return true;
        default:
            return false;
    }
}

}  // namespace

// ---- Arithmetic ---------------------------------------------------------------------------

ASFixed getArrowStep(ASInt32 palUnits, ASInt16 flags) {
    ASFixed step = (palUnits == kUnitPoints || palUnits == kUnitInch) ? fixedOne : kOneMM;
    if (flags & AV_SHIFT) step /= 10;
    return step;
}

void scaleMatrix(ASFixedMatrix* m, ASFixed step) {
    for (ASFixed* v : {&m->a, &m->b, &m->c, &m->d}) {
        if (*v > 0)
            *v += step;
        else if (*v < 0)
            *v -= step;
    }
}

ASFixedMatrix getCenteringMatrix(const ASFixedRect& frame, const ASFixedRect& box, ASInt32 rotate) {
    ASFixed W = frame.right - frame.left, H = frame.top - frame.bottom;
    ASFixed L = frame.left, B = frame.bottom;
    ASFixed w = box.right - box.left, h = box.top - box.bottom;
    switch (rotate) {
        case 0:
            return {
                fixedOne, 0, 0, fixedOne, (W - w) / 2 + L - box.left, (H - h) / 2 + B - box.bottom};
        case 90:
            return {0,
                    -fixedOne,
                    fixedOne,
                    0,
                    (W - h) / 2 + L - box.bottom,
                    (H - w) / 2 + B + box.right};
        case 180:
            return {
                -fixedOne, 0, 0, -fixedOne, (W - w) / 2 + L + box.right, (H - h) / 2 + B + box.top};
        case 270:
            return {
                0, fixedOne, -fixedOne, 0, (W - h) / 2 + L + box.top, (H - w) / 2 + B - box.left};
        default:
            return {fixedOne, 0, 0, fixedOne, 0, 0};
    }
}

const char* addTypedDigit(char digit, ASUns32 ticks) {
    size_t len = std::strlen(gTool.typed);
    bool continues = len > 0 && ticks - gTool.lastDigit < static_cast<ASUns32>(kDigitTicks);
    if (!continues) {
        gTool.typed[0] = digit;
        gTool.typed[1] = 0;
    } else if (len < sizeof gTool.typed - 1) {
        gTool.typed[len] = digit;
        gTool.typed[len + 1] = 0;
    }
    // A 32nd digit in one run is not taken: the number stays as it is.
    gTool.lastDigit = ticks;
    return gTool.typed;
}

// ---- Closing ------------------------------------------------------------

void toolDocWillClose(AVDoc doc) {
    if (!doc) return;
    releaseSelectionPages(avDocGetPDDoc(doc));
    AVPageView view = avDocGetPageView(doc);
    if (gTool.savedView == view) {
        gTool.savedView = nullptr;
        gTool.savedPage = -1;
    }
    if (gTool.deferredView == view) {
        gTool.deferredView = nullptr;
        gTool.deferred = false;
    }
}

void selectCurDoc(AVDoc doc) {
    if (!doc) doc = avAppGetActiveDoc();
    if (doc) avWindowBecomeKey(avDocGetAVWindow(doc));
}

bool altKeyPressed() {
    return gAcroViewHFT->AVSysGetModifiers() == AV_OPTION;
}

// ---- Clicks -----------------------------------------------------------------------------

bool switchLayoutMode() {
    AVPageView view = getFrontPageView();
    if (!view) return false;
    if (gAcroViewHFT->AVPageViewGetLayoutMode(view) == AVPageViewSinglePage) return false;
    gTool.savedView = view;
    gTool.savedPage = avPageViewGetPageNum(view);
    gAcroViewHFT->AVPageViewSetLayoutMode(view, AVPageViewSinglePage);
    return true;
}

bool dragSelection(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    if (flags == AV_SHIFT) return false;
    PDPage page = avPageViewGetPage(view);
    if (!page) return false;
    PDEElement hit = getPDEForMouse(view, x, y);
    ASFixedRect sel;
    if (getSelBBox(page, &sel)) {
        ASFixedPoint p;
        gAcroViewHFT->AVPageViewDevicePointToPage(view, x, y, &p);
        bool inside = p.h >= sel.left && p.h <= sel.right && p.v >= sel.bottom && p.v <= sel.top;
        if (!inside) {
            if (!hit) return false;
            clearSelection(view, false);
            setSelected(hit, true);
        }
    } else {
        if (!hit) return false;
        setSelected(hit, true);
    }

    ASInt32 pixels = getPixelsForDrag();
    if (pixels <= 0) return false;
    bool started = false;
    while (gAcroViewHFT->AVSysMouseIsStillDown()) {
        AVDevCoord mx = x, my = y;
        gAcroViewHFT->AVPageViewGetMousePosition(view, &mx, &my);
        if (std::abs(mx - x) > pixels || std::abs(my - y) > pixels) {
            started = true;
            break;
        }
    }
    if (!started) return false;

    getSelBBox(page, &sel);
    AVDevRect start, moved;
    gAcroViewHFT->AVPageViewRectToDevice(view, &sel, &start);
    gAcroViewHFT->AVPageViewDragOutlineRect(view, x, y, &start, &moved);
    // Both rectangles come back from device space, so the offset is what the mouse
    // moved, whatever the rounding of the selection's own edges to pixels.
    ASFixedRect from, to;
    gAcroViewHFT->AVPageViewDeviceRectToPage(view, &start, &from);
    gAcroViewHFT->AVPageViewDeviceRectToPage(view, &moved, &to);
    ASFixed dx = getRoundedValue(to.left - from.left);
    ASFixed dy = getRoundedValue(to.bottom - from.bottom);
    if (dx == 0 && dy == 0) return true;
    if (altKeyPressed())
        dupSelection(page, dx, -dy);
    else
        moveSelectionBy(page, dx, dy);
    return true;
}

void setupClickRect(ASFixedRect* rect, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    if (!(flags & AV_SHIFT)) clearSelection(view, false);
    AVDevRect d;
    gAcroViewHFT->AVPageViewDragRect(view, x, y, &d);
    gAcroViewHFT->AVPageViewDeviceRectToPage(view, &d, rect);
}

void doMouseDown(AVPageView view, const ASFixedRect& rect, ASInt16 flags) {
    PDPage page = avPageViewGetPage(view);
    if (!page) return;
    MouseDownCtx ctx{rect, (flags & AV_SHIFT) != 0, rect.right - rect.left <= fixedOne};
    EnumForms(page, mouseDownProc, reinterpret_cast<long>(&ctx), false, false);
    if (getPalette() && getShowGuides())
        drawFrames(view);
    else
        redrawView(view);
}

ASBool doClick(AVTool tool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
               ASInt16 clickCount) {
    ToolState& state = toolState(tool);
    state.typed[0] = 0;
    if (!view) return false;
    AVDoc avDoc = avPageViewGetAVDoc(view);
    if (!avDoc || avDoc != avAppGetActiveDoc()) return false;
    if (gAcroViewHFT->AVPageViewIsAnnotAtPoint(view, x, y)) return false;
    if (switchLayoutMode()) return true;
    PDDoc doc = avDocGetPDDoc(avDoc);
    PDPage page = avPageViewGetPage(view);
    if (!doc || !page) return false;
    setCosDoc(doc);
    // Every walk of the click reads the page once; what it selects stays.
    SelectionPageScope scope(page);
    if (clickCount >= 2) {
        if (getSelCnt(page) == 1) {
            state.deferredView = view;
            state.deferred = true;
        }
        return true;
    }
    if (dragSelection(view, x, y, flags)) {
        adjustPalette();
        return true;
    }
    ASFixedRect rect;
    setupClickRect(&rect, view, x, y, flags);
    if (flags == AV_OPTION) {
        setTrimBox(rect);
        redrawView(view);
        adjustPalette();
        return true;
    }
    doMouseDown(view, rect, flags);
    adjustPalette();
    return false;
}

// ---- Keys ---------------------------------------------------------------------------------

ASBool doKeyDown(AVPageView view, ASUns16 key, ASInt16 flags, ASClientData data) {
    ToolState& state = toolState(data);
    if (!myTool()) return false;
    if (!view) view = getFrontPageView();
    if (!view) return false;
    AVDoc avDoc = avPageViewGetAVDoc(view);
    PDDoc doc = avDoc ? avDocGetPDDoc(avDoc) : nullptr;
    PDPage page = avPageViewGetPage(view);
    if (!doc || !page) return false;
    if (key < '0' || key > '9') state.typed[0] = 0;
    setCosDoc(doc);
    if (flags == 0) {
        switch (key) {
            case 'a':
                selectAll(view);
                adjustPalette();
                return true;
            case 's':
                return addSepInfo();
            case 't':
                beep();
                toggleFramesVisible(doc);
                showTrimLines(doc);
                redrawView(view);
                return true;
            default:
                break;
        }
    }
    if (key < kKeyBackspace || key > kKeyDelete || (flags & AV_COMMAND)) return false;
    if (!editKey(view, page, key, flags)) return false;
    selectCurDoc(avDoc);
    return true;
}

// ---- Overlay -------------------------------------------------------------------------------

void drawFrames(AVPageView view) {
    if (!view) return;
    AVDoc avDoc = avPageViewGetAVDoc(view);
    PDDoc doc = avDoc ? avDocGetPDDoc(avDoc) : nullptr;
    if (!doc) return;
    bool full = getPalette() && getShowGuides();
    ASInt32 current = avPageViewGetPageNum(view);
    ASInt32 first = gAcroViewHFT->AVPageViewGetFirstVisiblePageNum(view);
    ASInt32 last = gAcroViewHFT->AVPageViewGetLastVisiblePageNum(view);
    if (first < 0 || last < first) first = last = current;
    ASInt32 n = pdDocGetNumPages(doc);
    // A page that cannot be read is drawn without frames.
    logHostErrors("drawing the frames", [&] {
        for (ASInt32 k = std::max(first, 0); k <= last && k < n; ++k) {
            if (k != avPageViewGetPageNum(view)) gAcroViewHFT->AVPageViewSetPageNum(view, k);
            drawPage(view, doc, k, full);
        }
    });
    if (avPageViewGetPageNum(view) != current) gAcroViewHFT->AVPageViewSetPageNum(view, current);
}

// ---- Idle ------------------------------------------------------------------------------------

void doImposeIdle() {
    releaseIdlePins();
    if (gTool.deferred) {
        gTool.deferred = false;
        AVPageView view = gTool.deferredView;
        gTool.deferredView = nullptr;
        PDPage page = view ? avPageViewGetPage(view) : nullptr;
        if (page) {
            setCosDoc(pdPageGetDoc(page));
            PDEElement frame = nullptr;
            EnumSelection(page, dialogFrameProc, reinterpret_cast<long>(&frame), false);
            if (frame) {
                reportHostErrors(0, [&] {
                    switch (ASInt32 box = getBoxNum(frame)) {
                        case kBoxTextFrame:
                            doTextFrame(page, frame);
                            break;
                        case kBoxMovingMark:
                            doMovingMark(view, page);
                            break;
                        case kBoxJobInfo:
                            doJobInfo(frame);
                            break;
                        default:
                            if (box >= 0) setPos();
                    }
                });
                redrawView(view);
                adjustPalette();
            }
        }
    }
    if (gTool.savedPage >= 0) {
        if (gTool.savedView) gAcroViewHFT->AVPageViewGoTo(gTool.savedView, gTool.savedPage);
        gTool.savedPage = -1;
        gTool.savedView = nullptr;
    }
}

ASClientData toolClientData() {
    return &gTool;
}
