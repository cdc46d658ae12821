#include "Sources/Duplicate.h"

#include <cstdint>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "Common/MyPath.h"
#include "Sources/Palette.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SheetEdit.h"
#include "Common/Units.h"

namespace {

enum { kDupCopies = 4, kDupHor = 6, kDupVer = 8 };
const ASFixed kMinDistance = kMinusOneMetre;
const ASFixed kMaxDistance = kFiveMetres;

// Remembered while the program runs.
struct DupRecord {
    ASInt32 copies = 1;
    ASFixed hor = mm(10);
    ASFixed ver = 0;
};
DupRecord gDup;

void dupOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* r = static_cast<DupRecord*>(data);
    r->copies = getControlFixed(dialog, kDupCopies);
    r->hor = getFieldValue(dialog, kDupHor, r->hor, getDlgUnits());
    r->ver = getFieldValue(dialog, kDupVer, r->ver, getDlgUnits());
    dialog->endDialog(kCmdOK);
}

void dupSetup(CMyDialog* dialog, void* data) {
    auto* r = static_cast<DupRecord*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kDupCopies, r->copies, kUnitNone, 1, 100);
    setDlgItemFixed(dialog, kDupHor, r->hor, unit, kMinDistance, kMaxDistance);
    setDlgItemFixed(dialog, kDupVer, r->ver, unit, kMinDistance, kMaxDistance);
    dialog->setFocus(kDupCopies);
    dialog->setHandler(1, dupOK, data);
}

// A new frame container holding nothing, with its own copy of the source's frame
// dictionary and the rectangle r.
PDEContainer newFrameLike(PDEElement source, const ASFixedRect& r) {
    CosObj dict = copyFrameDict(getVexaDict(source), gCosDoc);
    PDEContainer c = pdeContainerCreate(static_cast<ASAtom>(0), &dict, false);
    if (!c) return nullptr;
    PDEContent content = pdeContentCreate();
    pdeContainerSetContent(c, content);
    pdeRelease(content);
    setBBox(c, &r);
    return c;
}

// The empty marker of a frame without a placed page.
bool isEmptyMarker(PDEElement e) {
    if (cosObjIsDictOrStream(getVexaDict(e))) return false;
    PDEContent c = pdeContainerGetContent(e);
    return !c || pdeContentGetNumElems(c) == 0;
}

// Appends a copy of e moved by offset to content; forms are clipped to clipRect when
// it is given.
void addMovedCopy(PDEContent content, PDEElement e, ASFixedPoint offset,
                  const ASFixedRect* clipRect) {
    PDEType type = pdeObjectGetType(e);
    PDEElement copy = copyElement(e);
    {
        ElementRef copyRef(copy);
        moveElem(copy, type, offset);
        if (clipRect && type == kPDEForm) setClipping(copy, clipRect);
        pdeContentAddElem(content, kPDEAfterLast, copy);
    }
}

struct RowCtx {
    ASInt32 copies;
    ASFixed dx, dy;  // each copy moves by (dx, -dy)
};

bool rowProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<RowCtx*>(data);
    ASFixedRect r = getBBox(frame);
    PDEContent source = getContent(frame);
    ASInt32 n = source ? pdeContentGetNumElems(source) : 0;
    ASFixedPoint offset{0, 0};
    for (ASInt32 i = 1; i <= ctx->copies; ++i) {
        offset.h += ctx->dx;
        offset.v -= ctx->dy;
        r.left += ctx->dx;
        r.right += ctx->dx;
        r.top -= ctx->dy;
        r.bottom -= ctx->dy;
        PDEContainer copy = newFrameLike(frame, r);
        if (!copy) return false;
        {
            ElementRef copyRef(copy);
            PDEContent content = getContent(copy);
            for (ASInt32 k = 0; k < n; ++k) {
                PDEElement e = pdeContentGetElem(source, k);
                switch (pdeObjectGetType(e)) {
                    case kPDEText:
                    case kPDEPath:
                        addMovedCopy(content, e, offset, nullptr);
                        break;
                    case kPDEForm:
                        addMovedCopy(content, e, offset, &r);
                        break;
                    case kPDEContainer:
                        // Keeps the copy of an empty page frame recognisable as one.
                        if (isEmptyMarker(e)) addMovedCopy(content, e, offset, nullptr);
                        break;
                    default:
                        break;
                }
            }
            setSelected(copy, true);
            setSelected2(copy, 1);
            level->addElem(copy, kAddAtEnd);
        }
    }
    return true;
}

struct MirrorCtx {
    ASFixedRect crop;
    bool horizontal;
};

ASFixed centre(ASFixed low, ASFixed high) {
    return low + (high - low) / 2;
}

bool mirrorProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<MirrorCtx*>(data);
    if (getBoxNum(frame) > 0) return true;  // page frames stay single
    ASFixedRect r = getBBox(frame);
    ASFixedPoint offset{0, 0};
    if (ctx->horizontal) {
        int64_t d = 2 * (static_cast<int64_t>(centre(ctx->crop.left, ctx->crop.right)) -
                         centre(r.left, r.right));
        offset.h = static_cast<ASFixed>(d);
    } else {
        int64_t d = 2 * (static_cast<int64_t>(centre(ctx->crop.bottom, ctx->crop.top)) -
                         centre(r.bottom, r.top));
        offset.v = static_cast<ASFixed>(d);
    }
    ASFixedRect moved{r.left + offset.h, r.top + offset.v, r.right + offset.h, r.bottom + offset.v};
    PDEContainer copy = newFrameLike(frame, moved);
    if (!copy) return false;
    {
        ElementRef copyRef(copy);
        PDEContent source = getContent(frame);
        PDEContent content = getContent(copy);
        ASInt32 n = source ? pdeContentGetNumElems(source) : 0;
        for (ASInt32 k = 0; k < n; ++k)
            addMovedCopy(content, pdeContentGetElem(source, k), offset, nullptr);
        level->addElem(copy, kAddAtEnd);
    }
    return true;
}

void dupMirrored(AVPageView view, PDPage page, bool horizontal) {
    page = commandPage(view, page);
    if (!page || getSelCnt(page) == 0) return;
    if (msgBoxYesNo(horizontal ? "dupHor" : "dupVer") != 1) return;
    setCosDoc(pdPageGetDoc(page));
    MirrorCtx ctx{{0, 0, 0, 0}, horizontal};
    pdPageGetCropBox(page, &ctx.crop);
    enumSelectionUndoable(view, page, mirrorProc, reinterpret_cast<long>(&ctx));
    adjustPalette();
}

}  // namespace

void dupSelection(AVPageView view, PDPage page, ASInt32 copies, ASFixed dx, ASFixed dy) {
    page = commandPage(view, page);
    if (!page || copies < 1) return;
    setCosDoc(pdPageGetDoc(page));
    RowCtx ctx{copies, dx, dy};
    enumSelectionUndoable(view, page, rowProc, reinterpret_cast<long>(&ctx));
    adjustPalette();
}

void dupSelection(PDPage page, long dx, long dy) {
    dupSelection(nullptr, page, 1, static_cast<ASFixed>(dx), static_cast<ASFixed>(dy));
}

void doDuplicate(AVPageView view, PDPage page) {
    page = commandPage(view, page);
    if (!page || getSelCnt(page) == 0) return;
    DupRecord r = gDup;
    if (doModalDialog("DUPLICATE", dupSetup, &r) != kCmdOK) return;
    gDup = r;
    dupSelection(view, page, r.copies, r.hor, r.ver);
}

void dupHor(AVPageView view, PDPage page) {
    dupMirrored(view, page, true);
}

void dupVer(AVPageView view, PDPage page) {
    dupMirrored(view, page, false);
}
