#include "PDEText.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ColorSupport.h"

PDEFont getFontFromName(const char* name) {
    if (!name || !*name || !gPDSysFontHFT) return nullptr;
    PDEFont font = nullptr;
    DURING
    PDSysFont sys = gPDSysFontHFT->PDFindSysFontForName(name);
    if (sys) font = gPDFEditWriteHFT->PDEFontCreateFromSysFont(sys, 0);
    HANDLER(void) ERRORCODE;
    font = nullptr;
    END_HANDLER
    return font;
}

ASFixedMatrix getTextMatrix(ASFixed size, ASFixed x, ASFixed y) {
    return ASFixedMatrix{size, 0, 0, size, x, y};
}

namespace {
ASFixed runAdvance(PDEText text, ASInt32 run) {
    ASFixedPoint d{0, 0};
    gPDFEditReadHFT->PDETextGetAdvanceWidth(text, kPDETextRunFlag, run, &d);
    return d.h;
}
}  // namespace

void addText(PDEText text, const char* str, PDEFont font, PDEGraphicState* gs,
             const PDEColorSpec* color, ASFixedMatrix* matrix) {
    PDEGraphicState state = *gs;
    if (color) state.fillColorSpec = *color;
    ASInt32 runs = pdeTextGetNumRuns(text);
    PDETextState ts;
    std::memset(&ts, 0, sizeof ts);
    ts.hScale = fixedOne;
    gPDFEditWriteHFT->PDETextAdd(text, kPDETextRunFlag, runs - 1,
                                 reinterpret_cast<const ASUns8*>(str),
                                 static_cast<ASInt32>(std::strlen(str)), font, &state, sizeof state,
                                 &ts, sizeof ts, matrix, nullptr);
    matrix->h += runAdvance(text, runs);
}

void appendString(PDEText text, const char* str, PDEColorSpec* color, bool release) {
    ASInt32 runs = pdeTextGetNumRuns(text);
    if (runs > 0 && str && *str) {
        ASFixedMatrix m;
        pdeTextRunGetMatrix(text, runs - 1, &m);
        PDEGraphicState gs;
        pdeTextRunGetGState(text, runs - 1, &gs);
        PDEFont font = gPDFEditReadHFT->PDETextRunGetFont(text, runs - 1);
        // the run's own advance is the right edge for text of one line
        m.h = m.h + runAdvance(text, runs - 1) + 371542;
        addText(text, str, font, &gs, color, &m);
    }
    if (release && color) freeColorSpec(color);
}

ASFixed addTextToContent(PDEContent content, PDEFont font, ASFixed size, ASFixed x, ASFixed y,
                         const char* str) {
    if (!font || !str) return 0;
    PDEText text = gPDFEditWriteHFT->PDETextCreate();
    PDEColorSpec color = getAllColor(1.0f);
    ASFixed width = 0;
    DURING
    PDEGraphicState gs;
    gPDFEditWriteHFT->PDEDefaultGState(&gs, sizeof gs);
    ASFixedMatrix m = getTextMatrix(size, x, y);
    addText(text, str, font, &gs, &color, &m);
    width = m.h - x;
    pdeContentAddElem(content, kPDEAfterLast, reinterpret_cast<PDEElement>(text));
    HANDLER(void) ERRORCODE;
    freeColorSpec(&color);
    pdeRelease(text);
    throw;
    END_HANDLER
    freeColorSpec(&color);
    pdeRelease(text);
    return width;
}

bool getFirstRunText(PDEElement elem, char* dst, ASInt32 size) {
    if (size < 1) return false;
    dst[0] = 0;
    if (!elem || pdeObjectGetType(elem) != kPDEText) return false;
    PDEText text = reinterpret_cast<PDEText>(elem);
    if (pdeTextGetNumRuns(text) < 1) return false;
    ASInt32 n = gPDFEditReadHFT->PDETextGetText(text, kPDETextRunFlag, 0, nullptr);
    if (n < 0) return false;
    std::string buf(static_cast<size_t>(n), '\0');
    if (n > 0)
        gPDFEditReadHFT->PDETextGetText(text, kPDETextRunFlag, 0,
                                        reinterpret_cast<ASUns8*>(buf.data()));
    size_t len = std::min<size_t>(static_cast<size_t>(n), static_cast<size_t>(size - 1));
    std::memcpy(dst, buf.data(), len);
    dst[len] = 0;
    return true;
}
