#include "SetPos.h"

#include <initializer_list>

#include "BoxDesc.h"
#include "Container.h"
#include "MyDialog.h"
#include "MyPath.h"
#include "Palette.h"
#include "Prefs.h"
#include "Scopes.h"
#include "Selection.h"
#include "SheetEdit.h"
#include "Units.h"

namespace {

enum { kX = 4, kY = 6, kWidth = 8, kHeight = 10, kXOff = 12, kYOff = 14, kScale = 16 };
const ASFixed kMinPos = kMinusOneMetre;
const ASFixed kMaxPos = kFiveMetres;
const ASFixed kMinScale = 6553;    // 10 %
const ASFixed kMaxScale = 655360;  // 1000 %

struct PosRecord {
    bool several;
    ASFixed x, y, width, height, xOff, yOff, scale;
};

struct PosCtx {
    PosRecord rec;
    ASFixed dx, dy;
    bool topLeft;
};

bool readFrameProc(CContent*, PDEElement frame, long, long data) {
    auto* r = reinterpret_cast<PosRecord*>(data);
    FrameValue f = readFrame(frame);
    r->width = f.bbox.right - f.bbox.left;
    r->height = f.bbox.top - f.bbox.bottom;
    r->xOff = f.xOff;
    r->yOff = f.yOff;
    r->scale = f.scale;
    return false;
}

void posOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* r = static_cast<PosRecord*>(data);
    ASInt32 unit = getDlgUnits();
    r->x = getFieldValue(dialog, kX, r->x, unit);
    r->y = getFieldValue(dialog, kY, r->y, unit);
    if (!r->several) {
        r->width = getFieldValue(dialog, kWidth, r->width, unit);
        r->height = getFieldValue(dialog, kHeight, r->height, unit);
        r->xOff = getFieldValue(dialog, kXOff, r->xOff, unit);
        r->yOff = getFieldValue(dialog, kYOff, r->yOff, unit);
        r->scale = getFieldValue(dialog, kScale, r->scale, kUnitPercent);
    }
    dialog->endDialog(kCmdOK);
}

void posSetup(CMyDialog* dialog, void* data) {
    auto* r = static_cast<PosRecord*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kX, r->x, unit, kMinPos, kMaxPos);
    setDlgItemFixed(dialog, kY, r->y, unit, kMinPos, kMaxPos);
    setDlgItemFixed(dialog, kWidth, r->width, unit, 0, kMaxPos);
    setDlgItemFixed(dialog, kHeight, r->height, unit, 0, kMaxPos);
    setDlgItemFixed(dialog, kXOff, r->xOff, unit, kMinPos, kMaxPos);
    setDlgItemFixed(dialog, kYOff, r->yOff, unit, kMinPos, kMaxPos);
    // With several frames size, offsets and scale stay each frame's own: their
    // fields take no part (the scale shows 100 % so that the range check passes).
    setDlgItemFixed(dialog, kScale, r->several ? fixedOne : r->scale, kUnitPercent, kMinScale,
                    kMaxScale);
    if (r->several)
        for (ASInt32 id : {kWidth, kHeight, kXOff, kYOff, kScale}) dialog->enable(id, false);
    dialog->setFocus(kX);
    dialog->setHandler(1, posOK, data);
}

// A page frame's trim lines (the second of its two elements) follow a new size.
void refreshTrimLines(PDEElement frame, const ASFixedRect& r) {
    ASInt32 box = getBoxNum(frame);
    if (box < 1 && box != kBoxEmptyFrame) return;
    PDEContent content = getContent(frame);
    if (!content || pdeContentGetNumElems(content) != 2) return;
    PDEElement old = pdeContentGetElem(content, 1);
    if (pdeObjectGetType(old) != kPDEPath) return;
    PDEGraphicState gs;
    if (!pdeGetGState(old, &gs)) return;
    PDEPathOpFlags paint = gPDFEditReadHFT->PDEPathGetPaintOp(reinterpret_cast<PDEPath>(old));
    ASFixedRect in = insetByBleed(r, getBleedRect(frame));
    PDEPath path = gPDFEditWriteHFT->PDEPathCreate();
    {
        ElementRef pathRef(path);
        ASInt32 data[5] = {kPDERect, in.left, in.bottom, in.right - in.left, in.top - in.bottom};
        gPDFEditWriteHFT->PDEPathSetData(path, data, sizeof data);
        gPDFEditWriteHFT->PDEElementSetGState(reinterpret_cast<PDEElement>(path), &gs, sizeof gs);
        gPDFEditWriteHFT->PDEPathSetPaintOp(path, paint);
        pdeContentAddElem(content, 1, reinterpret_cast<PDEElement>(path));
        pdeContentRemoveElem(content, 1);
    }
}

bool posProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<PosCtx*>(data);
    ASFixedRect r = getBBox(frame);
    ASFixed width = r.right - r.left, height = r.top - r.bottom;
    bool resized = false;
    if (!ctx->rec.several) {
        resized = width != ctx->rec.width || height != ctx->rec.height;
        width = ctx->rec.width;
        height = ctx->rec.height;
    }
    r.left += ctx->dx;
    r.right = r.left + width;
    if (ctx->topLeft) {
        r.top += ctx->dy;
        r.bottom = r.top - height;
    } else {
        r.bottom += ctx->dy;
        r.top = r.bottom + height;
    }
    setBBox(frame, &r);
    if (!ctx->rec.several) {
        setXOff(frame, ctx->rec.xOff);
        setYOff(frame, ctx->rec.yOff);
        setScale(frame, ctx->rec.scale);
    }
    PDEContent content = getContent(frame);
    if (content && (ctx->dx != 0 || ctx->dy != 0)) moveElems(content, {ctx->dx, ctx->dy}, false);
    if (getBoxNum(frame) == kBoxPlain) setClipping(content, &r);
    if (resized) refreshTrimLines(frame, r);
    level->addModified();
    return true;
}

}  // namespace

void setPos(AVPageView view, PDPage page) {
    page = commandPage(view, page);
    if (!page) return;
    ASInt32 count = getSelCnt(page);
    if (count == 0) return;
    setCosDoc(pdPageGetDoc(page));
    ASFixedRect s, c;
    getSelBBox(page, &s);
    pdPageGetCropBox(page, &c);
    PosCtx ctx{};
    ctx.topLeft = getOrigin();
    PosRecord& rec = ctx.rec;
    rec.several = count > 1;
    rec.x = s.left;
    rec.y = ctx.topLeft ? c.top - s.top : s.bottom;
    rec.scale = fixedOne;
    if (!rec.several) EnumSelection(page, readFrameProc, reinterpret_cast<long>(&rec), false);
    ASFixed presetY = rec.y;
    if (doModalDialog("SETPOS", posSetup, &rec) != kCmdOK) return;
    ctx.dx = rec.x - s.left;
    ctx.dy = ctx.topLeft ? presetY - rec.y : rec.y - presetY;
    enumSelectionUndoable(view, page, posProc, reinterpret_cast<long>(&ctx));
    adjustPalette();
}

void setPos() {
    setPos(getFrontPageView(), nullptr);
}
