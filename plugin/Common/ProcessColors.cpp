#include "ProcessColors.h"

#include <cstring>

#include "ColorSpaces.h"
#include "PageContent.h"

namespace {

enum { kC = 0, kM = 1, kY = 2, kK = 3 };

void setAll(ASUns8* f) {
    f[kC] = f[kM] = f[kY] = f[kK] = 1;
}

// An indexed base or an ICC alternate.
void addByDerivedFamily(ASInt32 family, ASUns8* f) {
    if (family == kDeviceCMYK || family == kDeviceRGB || family == kCalRGB)
        setAll(f);
    else if (family == kDeviceGray || family == kCalGray)
        f[kK] = 1;
}

void addColorSpec(const PDEColorSpec& spec, ASUns8* f) {
    if (!spec.space) return;
    ASInt32 family = getColorSpace(spec.space);
    const ASFixed* v = spec.value.color;
    switch (family) {
        case kDeviceCMYK:
            for (int k = 0; k < 4; ++k)
                if (v[k] > 0) f[k] = 1;
            break;
        case kDeviceGray:
        case kCalGray:
            if (v[0] < fixedOne) f[kK] = 1;
            break;
        case kDeviceRGB:
        case kCalRGB:
        case kLab:
        case kPattern:
            setAll(f);
            break;
        case kDeviceN: {
            CosObj names = cosArrayGet(pdeColorSpaceGetCosObj(spec.space), 1);
            if (cosObjGetType(names) != CosArray) break;
            static const char* const kPlates[4] = {"Cyan", "Magenta", "Yellow", "Black"};
            for (ASInt32 i = 0; i < cosArrayLength(names); ++i) {
                CosObj n = cosArrayGet(names, i);
                if (cosObjGetType(n) != CosName) continue;
                const char* text = asAtomGetString(cosNameValue(n));
                for (int k = 0; k < 4; ++k)
                    if (std::strcmp(text, kPlates[k]) == 0) f[k] = 1;
            }
            break;
        }
        case kIndexed:
            addByDerivedFamily(getIndexedBaseSpace(pdeColorSpaceGetCosObj(spec.space)), f);
            break;
        case kICCBased:
            addByDerivedFamily(getICCAltSpace(cosArrayGet(pdeColorSpaceGetCosObj(spec.space), 1)),
                               f);
            break;
        default:  // Separation and unknown families use no process plate
            break;
    }
}

// Only the colours an element paints with count: a filled shape's stroke colour
// (black by default) uses no plate.
void addGState(const PDEGraphicState& gs, bool fill, bool stroke, ASUns8* f) {
    if (fill) addColorSpec(gs.fillColorSpec, f);
    if (stroke) addColorSpec(gs.strokeColorSpec, f);
}

void addImageSpace(PDEColorSpace cs, ASUns8* f) {
    switch (getColorSpace(cs)) {
        case kDeviceGray:
        case kCalGray:
            f[kK] = 1;
            break;
        case kDeviceCMYK:
        case kDeviceRGB:
        case kCalRGB:
        case kLab:
        case kIndexed:
            setAll(f);
            break;
        case kICCBased:
            addByDerivedFamily(getICCAltSpace(cosArrayGet(pdeColorSpaceGetCosObj(cs), 1)), f);
            break;
        default:
            break;
    }
}

bool processColorsProc(CContent*, PDEElement e, long, PDEType type, long data) {
    ASUns8* f = reinterpret_cast<ASUns8*>(data);
    if (isAllColors(f)) return false;
    PDEGraphicState gs;
    switch (type) {
        case kPDEText: {
            ASInt32 runs = pdeTextGetNumRuns(e);
            for (ASInt32 r = 0; r < runs; ++r) {
                std::memset(&gs, 0, sizeof gs);
                pdeTextRunGetGState(e, r, &gs);
                PDETextState ts;
                std::memset(&ts, 0, sizeof ts);
                gPDFEditReadHFT->PDETextRunGetTextState(e, r, &ts, sizeof ts);
                // Render modes: 0 fill, 1 stroke, 2 both, 3 invisible; 4..7 add a clip.
                ASInt32 mode = ts.renderMode & 3;
                addGState(gs, mode == 0 || mode == 2, mode == 1 || mode == 2, f);
            }
            break;
        }
        case kPDEPath: {
            std::memset(&gs, 0, sizeof gs);
            PDEPathOpFlags op = gPDFEditReadHFT->PDEPathGetPaintOp(e);
            if (pdeGetGState(e, &gs))
                addGState(gs, (op & (kPDEFill | kPDEEoFill)) != 0, (op & kPDEStroke) != 0, f);
            break;
        }
        case kPDEImage: {
            PDEImageAttrs attrs;
            std::memset(&attrs, 0, sizeof attrs);
            pdeImageGetAttrs(e, &attrs);
            if (attrs.flags & kPDEImageIsMask) {
                std::memset(&gs, 0, sizeof gs);
                if (pdeGetGState(e, &gs)) addGState(gs, true, false, f);
            } else {
                addImageSpace(pdeImageGetColorSpace(e), f);
            }
            break;
        }
        case kPDEShading: {
            CosObj sh = pdeShadingGetCosObj(e);
            if (cosObjIsDictOrStream(sh))
                addByDerivedFamily(getColorSpace(cosDictGet(sh, "ColorSpace"), nullptr), f);
            break;
        }
        default:
            break;
    }
    return !isAllColors(f);
}

}  // namespace

bool isAllColors(const ASUns8 cmyk[4]) {
    return cmyk[0] == 1 && cmyk[1] == 1 && cmyk[2] == 1 && cmyk[3] == 1;
}

void getProcessColors(PDEContent content, ASUns8 cmyk[4]) {
    for (int k = 0; k < 4; ++k) cmyk[k] = 0;
    if (!content) return;
    CContent level(content, nullptr, nullptr);
    level.enumContent(processColorsProc, reinterpret_cast<long>(cmyk));
}
