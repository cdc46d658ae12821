#include "Sources/TrimLines.h"

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Common/MyPath.h"
#include "Sources/NewDoc.h"
#include "Common/PageContent.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

namespace {

// Page frames keep their trim-lines rectangle as the second of exactly two elements.
struct TrimCtx {
    PDEColorSpec color;
    bool shown;
};

bool restyleProc(CContent* level, PDEElement frame, long index, long data) {
    (void)index;
    auto* ctx = reinterpret_cast<TrimCtx*>(data);
    ASInt32 box = getBoxNum(frame);
    if (box < 1 && box != kBoxEmptyFrame) return true;
    PDEContent content = getContent(frame);
    if (!content || pdeContentGetNumElems(content) != 2) return true;
    PDEElement second = pdeContentGetElem(content, 1);
    if (pdeObjectGetType(second) != kPDEPath) return true;
    PDEGraphicState gs;
    if (!pdeGetGState(second, &gs)) return true;
    gs.strokeColorSpec = ctx->color;
    gs.lineWidth = getTrimLinesWidth();
    gPDFEditWriteHFT->PDEElementSetGState(second, &gs, sizeof gs);
    gPDFEditWriteHFT->PDEPathSetPaintOp(reinterpret_cast<PDEPath>(second),
                                        ctx->shown ? kPDEStroke : kPDEInvisible);
    level->addModified();
    return true;
}

void rebuildLayer(PDDoc doc, long pageIndex, bool shown, const PDEColorSpec* color,
                  bool write = true) {
    PageRef pageRef(doc, pageIndex);
    PDPage page = pageRef.get();
    {
        PageContentRef contentRef(page);
        PDEContent content = contentRef.get();
        ASInt32 n = pdeContentGetNumElems(content);
        for (ASInt32 i = 0; i < n; ++i) {
            PDEElement e = pdeContentGetElem(content, i);
            if (pdeObjectGetType(e) == kPDEContainer && getBoxNum(e) == kBoxTrimLines) {
                pdeContentRemoveElem(content, i);
                break;
            }
        }
        if (shown) {
            ASFixedRect r;
            pdPageGetCropBox(page, &r);
            ASFixedRect paper;
            if (getPaperRect(doc, paper)) r = paper;
            ElementRef layer(getContainerWithRect(r));
            setBoxNum(layer.get(), kBoxTrimLines);
            PDEContent lc = getContent(layer.get());
            ASFixedRect in{r.left + fixedHalf, r.top - fixedHalf, r.right - fixedHalf,
                           r.bottom + fixedHalf};
            addRect(lc, &in, kPDEStroke, color, getTrimLinesWidth());
            pdeContentAddElem(content, kPDEBeforeFirst, layer.get());
        }
        if (write) pdPageSetPDEContent(page);
    }
    if (write) pdPageNotifyContentsDidChange(page);
}

}  // namespace

void rebuildTrimLinesLayer(PDDoc doc, ASInt32 pageIndex) {
    if (!doc) return;
    PDEColorSpec color = getTrimLinesColor();
    ScopeExit freeColor([&color] { freeColorSpec(&color); });
    rebuildLayer(doc, pageIndex, getFramesVisible(doc), &color, false);
}

void showTrimLines(PDDoc doc, ASInt32 first, ASInt32 last) {
    if (!doc) doc = getFrontPDDoc();
    if (!doc) return;
    setCosDoc(doc);
    TrimCtx ctx{getTrimLinesColor(), getFramesVisible(doc)};
    ScopeExit freeColor([&ctx] { freeColorSpec(&ctx.color); });
    ASInt32 n = pdDocGetNumPages(doc);
    if (last >= 0 && last < n - 1) n = last + 1;
    for (ASInt32 i = first < 0 ? 0 : first; i < n; ++i) {
        // Page by page, with the content read once for the layer and the frames.
        CPage page(doc, i);
        PageContentRef held(page.getPage());
        // The layer's change is written back together with the frames'.
        rebuildLayer(doc, i, ctx.shown, &ctx.color, false);
        EnumForms(page.getPage(), restyleProc, reinterpret_cast<long>(&ctx), true, false);
        pdPageNotifyContentsDidChange(page.getPage());
    }
}
