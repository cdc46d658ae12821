#include "Selection.h"

#include "BoxDesc.h"
#include "Container.h"
#include "Undo.h"

namespace {
struct SelCtx {
    EnumFormsProc proc;
    long data;
};
bool selectedProc(CContent* level, PDEElement frame, long index, long data) {
    auto* ctx = reinterpret_cast<SelCtx*>(data);
    if (!getSelected(frame)) return true;
    return ctx->proc(level, frame, index, ctx->data);
}
}  // namespace

bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write, bool redraw) {
    if (!proc) return true;
    SelCtx ctx{proc, data};
    bool result = EnumForms(page, selectedProc, reinterpret_cast<long>(&ctx), write, true);
    if (redraw) {
        AVPageView view = getFrontPageView();
        if (view) {
            gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
            gAcroViewHFT->AVPageViewDrawNow(view);
        }
    }
    return result;
}

AVPageView getFrontPageView() {
    AVDoc doc = avAppGetActiveDoc();
    return doc ? avDocGetPageView(doc) : nullptr;
}

namespace {
PDPage currentPage(PDPage page) {
    if (page) return page;
    AVPageView view = getFrontPageView();
    return view ? avPageViewGetPage(view) : nullptr;
}
struct BBoxCtx {
    ASInt32 count;
    ASFixedRect rect;
};
bool bboxProc(CContent*, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<BBoxCtx*>(data);
    ASFixedRect r = getBBox(frame);
    if (ctx->count++ == 0) {
        ctx->rect = r;
    } else {
        if (r.left < ctx->rect.left) ctx->rect.left = r.left;
        if (r.bottom < ctx->rect.bottom) ctx->rect.bottom = r.bottom;
        if (r.right > ctx->rect.right) ctx->rect.right = r.right;
        if (r.top > ctx->rect.top) ctx->rect.top = r.top;
    }
    return true;
}
}  // namespace

bool EnumSelectionWithUndo(AVPageView view, EnumFormsProc proc, long data) {
    if (!view) view = getFrontPageView();
    if (!view) return false;
    prepareUndo(view);
    return EnumSelection(avPageViewGetPage(view), proc, data, true);
}

ASInt32 getSelCnt(PDPage page) {
    page = currentPage(page);
    if (!page) return 0;
    BBoxCtx ctx{0, {0, 0, 0, 0}};
    EnumSelection(page, bboxProc, reinterpret_cast<long>(&ctx), false);
    return ctx.count;
}

bool getSelBBox(PDPage page, ASFixedRect* rect) {
    page = currentPage(page);
    BBoxCtx ctx{0, {0, 0, 0, 0}};
    if (page) EnumSelection(page, bboxProc, reinterpret_cast<long>(&ctx), false);
    *rect = ctx.rect;
    return ctx.count > 0;
}

PDEElement getPDEForMouse(AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!view) return nullptr;
    MouseHit hit{{0, 0}, nullptr};
    gAcroViewHFT->AVPageViewDevicePointToPage(view, x, y, &hit.point);
    EnumForms(view, getPDEForMouseProc, reinterpret_cast<long>(&hit), false, false);
    return hit.frame;
}

namespace {
bool deselectProc(CContent*, PDEElement frame, long, long) {
    if (getSelected(frame)) setSelected(frame, false);
    return true;
}
bool selectProc(CContent*, PDEElement frame, long, long) {
    if (!getSelected(frame)) setSelected(frame, true);
    return true;
}
void redrawView(AVPageView view) {
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}
}  // namespace

void clearSelection(AVPageView view, bool redraw) {
    if (!view) view = getFrontPageView();
    if (!view) return;
    PDDoc doc = avDocGetPDDoc(avPageViewGetAVDoc(view));
    ASInt32 first = gAcroViewHFT->AVPageViewGetFirstVisiblePageNum(view);
    ASInt32 last = gAcroViewHFT->AVPageViewGetLastVisiblePageNum(view);
    if (first < 0) first = last = avPageViewGetPageNum(view);
    EnumForms(doc, first, last, deselectProc, 0, false);
    if (redraw) redrawView(view);
}

void clearAllSelections() {
    ASInt32 n = gAcroViewHFT->AVAppGetNumDocs();
    for (ASInt32 i = 0; i < n; ++i) {
        AVDoc doc = gAcroViewHFT->AVAppGetDocByIndex(i);
        if (!doc) continue;
        EnumForms(avDocGetPDDoc(doc), 0, PDLastPage, deselectProc, 0, false);
        AVPageView view = avDocGetPageView(doc);
        if (view) redrawView(view);
    }
}

void selectAll(AVPageView view) {
    if (!view) view = getFrontPageView();
    if (!view) return;
    EnumForms(view, selectProc, 0, false, false);
}

namespace {
ASInt32 gCursorMode = 0;
}
ASInt32 getCursorMode() {
    return gCursorMode;
}
void setCursorMode(ASInt32 mode) {
    gCursorMode = mode;
}

void rotateFrames(PDPage, ASInt32) {
    // Completed by the editing tool.
}
