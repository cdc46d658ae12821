#include "Sources/MovingMark.h"

#include <cstdint>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "Common/MyPath.h"
#include "platform/Platform.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SheetEdit.h"

namespace {

enum { kDirection = 3, kLimit = 4 };

struct FlutterParams {
    ASInt32 direction;
    ASFixed limit;
    bool found;
};

bool readMarkProc(CContent*, PDEElement frame, long, long data) {
    auto* p = reinterpret_cast<FlutterParams*>(data);
    if (getBoxNum(frame) != kBoxMovingMark) return true;
    p->direction = getFrameRotation(frame);
    p->limit = getMoveLimit(frame);
    p->found = true;
    return false;
}

void markOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* p = static_cast<FlutterParams*>(data);
    ASInt32 item = dialog->getValue(kDirection);
    if (item < 1 || item > 4) item = 1;
    p->direction = (item - 1) * 90;
    p->limit = getFieldValue(dialog, kLimit, p->limit, getDlgUnits());
    dialog->endDialog(kCmdOK);
}

void markSetup(CMyDialog* dialog, void* data) {
    auto* p = static_cast<FlutterParams*>(data);
    ASInt32 item = p->direction / 90 + 1;
    if (p->direction % 90 != 0 || item < 1 || item > 4) item = 1;
    dialog->setValue(kDirection, item);
    setDlgItemFixed(dialog, kLimit, p->limit, getDlgUnits(), -1, 0x7FFFFFFF);
    dialog->setFocus(kLimit);
    dialog->setHandler(1, markOK, data);
}

bool setMarkProc(CContent* level, PDEElement frame, long, long data) {
    auto* p = reinterpret_cast<FlutterParams*>(data);
    setBoxNum(frame, kBoxMovingMark);
    setFrameRotation(frame, p->direction);
    setMoveLimit(frame, p->limit);
    if (PDEContent content = getContent(frame, true)) {
        ASFixedRect r = getBBox(frame);
        PDEColorSpec black = getGrayColor(0.0f);
        ScopeExit freeBlack([&black] { freeColorSpec(&black); });
        PDEPath path = addRect(content, &r, kPDEFill, &black, fixedOne);
        PDEGraphicState gs;
        if (pdeGetGState(reinterpret_cast<PDEElement>(path), &gs)) {
            gs.fillColorSpec = black;
            gPDFEditWriteHFT->PDEElementSetGState(reinterpret_cast<PDEElement>(path), &gs,
                                                  sizeof gs);
        }
    }
    level->addModified();
    return true;
}

bool oldMarkProc(CContent*, PDEElement frame, long, long data) {
    if (getBoxNum(frame) != kBoxOldMovingMark) return true;
    *reinterpret_cast<bool*>(data) = true;
    return false;
}

}  // namespace

void carryMoveLimit(PDEElement frame, ASFixed dx, ASFixed dy) {
    if (getBoxNum(frame) != kBoxMovingMark) return;
    long direction = getFrameRotation(frame);
    if (direction == 0 || direction == 180)
        setMoveLimit(frame, getMoveLimit(frame) + dy);
    else if (direction == 90 || direction == 270)
        setMoveLimit(frame, getMoveLimit(frame) + dx);
}

ASFixedPoint getFlutterShift(const ASFixedRect& r, ASFixed limit, long n, long direction) {
    ASFixedPoint shift{0, 0};
    if (n <= 0) return shift;
    // 64 bits: a limit far on the other side of the page must not overflow.
    int64_t w = static_cast<int64_t>(r.right) - r.left;
    int64_t h = static_cast<int64_t>(r.top) - r.bottom;
    int64_t size, room;
    switch (direction) {
        case 0:  // Top: the bottom edge trails
            size = h;
            room = static_cast<int64_t>(limit) - r.bottom;
            break;
        case 180:
            size = h;
            room = static_cast<int64_t>(r.top) - limit;
            break;
        case 90:  // Left: the right edge trails
            size = w;
            room = static_cast<int64_t>(r.right) - limit;
            break;
        case 270:
            size = w;
            room = static_cast<int64_t>(limit) - r.left;
            break;
        default:
            return shift;
    }
    // A mark without size, or a limit less than one mark size away (or behind the
    // mark), leaves no step to take.
    if (size <= 0) return shift;
    int64_t q = room / size;
    if (q <= 0) return shift;
    auto step = static_cast<ASFixed>(size * (static_cast<int64_t>(n) % q));
    switch (direction) {
        case 0:
            shift.v = step;
            break;
        case 180:
            shift.v = -step;
            break;
        case 90:
            shift.h = -step;
            break;
        default:
            shift.h = step;
            break;
    }
    return shift;
}

void moveFlutterMark(PDEElement mark, long n, long direction) {
    if (!mark || pdeObjectGetType(mark) != kPDEContainer) return;
    ASFixedPoint shift = getFlutterShift(getBBox(mark), getMoveLimit(mark), n, direction);
    if (shift.h == 0 && shift.v == 0) return;
    moveToPos(mark, &shift, true);
}

void doMovingMark(AVPageView view, PDPage page) {
    page = commandPage(view, page);
    if (!page || getSelCnt(page) == 0) return;
    setCosDoc(pdPageGetDoc(page));
    FlutterParams p{0, 0, false};
    EnumSelection(page, readMarkProc, reinterpret_cast<long>(&p), false);
    if (doModalDialog("MOVINGMARK", markSetup, &p) != kCmdOK) return;
    enumSelectionUndoable(view, page, setMarkProc, reinterpret_cast<long>(&p));
}

long checkMovingMarks(PDDoc doc) {
    if (!doc) doc = getFrontPDDoc();
    if (!doc) return 0;
    bool found = false;
    EnumForms(doc, 0, PDLastPage, oldMarkProc, reinterpret_cast<long>(&found), false);
    if (!found) return 0;
    msgBox("kMovingMarks", gModuleName);
    return -1;
}
