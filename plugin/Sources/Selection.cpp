#include "Selection.h"

#include "BoxDesc.h"
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

bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write) {
    if (!proc) return true;
    SelCtx ctx{proc, data};
    return EnumForms(page, selectedProc, reinterpret_cast<long>(&ctx), write, true);
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
