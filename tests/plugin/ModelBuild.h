// Building page content for the template-model tests: rectangles, forms, frames.
#pragma once

#include <string>
#include <vector>

#include "ModelTestHost.h"
#include "Common/PageContent.h"

namespace vexa::test {

// A filled rectangle path in DeviceGray (gray 0..1).
inline PDEPath makeRect(double l, double b, double w, double h, double gray = 0) {
    PDEPath p = gPDFEditWriteHFT->PDEPathCreate();
    ASInt32 data[5] = {kPDERect, fx(l), fx(b), fx(w), fx(h)};
    gPDFEditWriteHFT->PDEPathSetData(p, data, sizeof data);
    gPDFEditWriteHFT->PDEPathSetPaintOp(p, kPDEFill);
    PDEGraphicState gs;
    gPDFEditWriteHFT->PDEDefaultGState(&gs, sizeof gs);
    PDEColorSpace cs = pdeColorSpaceCreateFromName(asAtomFromString("DeviceGray"));
    gs.fillColorSpec.space = cs;
    gs.fillColorSpec.value.color[0] = fx(gray);
    gPDFEditWriteHFT->PDEElementSetGState(p, &gs, sizeof gs);
    pdeRelease(cs);
    return p;
}

// A form XObject element holding the elements (each released here).
inline PDEForm makeForm(const std::vector<PDEElement>& elems, const ASFixedMatrix* m = nullptr) {
    PDEContent c = pdeContentCreate();
    for (PDEElement e : elems) {
        pdeContentAddElem(c, kPDEAfterLast, e);
        pdeRelease(e);
    }
    PDEContentAttrs attrs{};
    attrs.flags = kPDEFormAttrsSet;
    attrs.bbox = fxRect(0, 0, 595, 842);
    attrs.matrix = ASFixedMatrix{fixedOne, 0, 0, fixedOne, 0, 0};
    CosObj stream, res;
    pdeContentToCosObj(c, kPDEContentToForm, &attrs, gCosDoc, nullptr, &stream, &res);
    pdeRelease(c);
    ASFixedMatrix id{fixedOne, 0, 0, fixedOne, 0, 0};
    return pdeFormCreateFromCosObj(&stream, &res, m ? m : &id);
}

// Appends the elements to the page's content (each released here) and writes it back.
inline void addToPage(PDPage page, const std::vector<PDEElement>& elems) {
    PDEContent c = pdPageAcquirePDEContent(page);
    for (PDEElement e : elems) {
        pdeContentAddElem(c, kPDEAfterLast, e);
        pdeRelease(e);
    }
    pdPageSetPDEContent(page);
    pdPageReleasePDEContent(page);
}

inline ASInt32 pageElemCount(PDPage page) {
    PDEContent c = pdPageAcquirePDEContent(page);
    ASInt32 n = pdeContentGetNumElems(c);
    pdPageReleasePDEContent(page);
    return n;
}

inline bool needsSave(PDDoc doc) {
    return (pdDocGetFlags(doc) & PDDocNeedsSave) != 0;
}

}  // namespace vexa::test
