#include "Common/FrameFit.h"

#include <cmath>
#include <cstdint>

#include "Common/BoxDesc.h"
#include "Common/PIUtils.h"
#include "Common/Scopes.h"
#include "FixedMath.h"

namespace {

ASFixed addFixed(ASFixed a, ASFixed b, ASFixed c = 0) {
    return fixedmath::saturate(static_cast<int64_t>(a) + b + c);
}
ASFixed negFixed(ASFixed a) {
    return fixedmath::saturate(-static_cast<int64_t>(a));
}

void sizeInMM(const ASFixedRect& r, ASInt32 rot, float& w, float& h) {
    float rw = static_cast<float>(r.right - r.left) * 25.4f / 4718592.0f;
    float rh = static_cast<float>(r.top - r.bottom) * 25.4f / 4718592.0f;
    ASInt32 t = getTurnAngle(rot % 360, 0);
    if (t == 0 || t == 180) {
        w = rw;
        h = rh;
    } else {
        w = rh;
        h = rw;
    }
}

}  // namespace

ASFixedRect insetByBleed(const ASFixedRect& r, const ASFixedRect& b) {
    return ASFixedRect{r.left + b.left, r.top - b.top, r.right - b.right, r.bottom + b.bottom};
}

ASFixedRect innerRect(const FrameValue& frame) {
    return insetByBleed(frame.bbox, frame.bleed);
}

ASFixedRect clipRect(const FrameValue& frame) {
    return frame.bbox;
}

ASInt32 getTurnAngle(ASInt32 frameRotation, ASInt32 formRotation) {
    ASInt32 t = frameRotation - formRotation;
    if (t < 0)
        t += 360;
    else if (t > 359)
        t -= 360;
    return t;
}

ASFixedMatrix getMatrixForRect(ASFixedRect box, int frameRotation, int formRotation, long scale) {
    ASInt32 theta = getTurnAngle(frameRotation, formRotation);
    ASFixed ax = box.left, ay = box.bottom;
    if (theta == 90) {
        ax = box.left;
        ay = box.top;
    } else if (theta == 180) {
        ax = box.right;
        ay = box.top;
    } else if (theta == 270) {
        ax = box.right;
        ay = box.bottom;
    }
    ASFixed sc = static_cast<ASFixed>(scale);
    ASFixedMatrix S = {sc, 0, 0, sc, 0, 0};
    // Single precision throughout, as the host computes angles.
    float rad = static_cast<float>(theta) * 3.1415929794311523f / 180.0f;
    ASFixed c = fixedmath::fromDouble(std::cos(rad));
    ASFixed s = fixedmath::fromDouble(std::sin(rad));
    ASFixedMatrix R = {c, s, -s, c, 0, 0};
    ASFixedMatrix T = {fixedOne, 0, 0, fixedOne, -ax, -ay};
    return fixedmath::concat(fixedmath::concat(S, R), T);
}

ASFixedPoint getTurnedOffset(ASFixed x, ASFixed y, ASInt32 frameRotation) {
    ASInt32 r = getTurnAngle(frameRotation, 0);
    switch (r) {
        case 0:
            return ASFixedPoint{x, y};
        case 90:
            return ASFixedPoint{negFixed(y), x};
        case 180:
            return ASFixedPoint{negFixed(x), negFixed(y)};
        case 270:
            return ASFixedPoint{y, negFixed(x)};
        default:
            return ASFixedPoint{0, 0};
    }
}

ASFixedRect getCenteredBox(const ASFixedRect& inner, const ASFixedRect& b, ASInt32 turn) {
    ASFixed w0 = inner.right - inner.left, h0 = inner.top - inner.bottom;
    ASFixed w = w0, h = h0;
    if (turn == 90 || turn == 270) {
        w = h0;
        h = w0;
    }
    ASFixedRect r;
    r.left = b.left + (b.right - w - b.left) / 2;
    r.bottom = b.bottom + (b.top - (b.bottom + h)) / 2;
    r.right = r.left + w;
    r.top = r.bottom + h;
    return r;
}

bool sizesDiffer(const ASFixedRect& a, ASInt32 rotA, const ASFixedRect& b, ASInt32 rotB) {
    float wa, ha, wb, hb;
    sizeInMM(a, rotA, wa, ha);
    sizeInMM(b, rotB, wb, hb);
    return std::fabs(wa - wb) > 0.5f || std::fabs(ha - hb) > 0.5f;
}

ASFixedMatrix placingMatrix(const FrameValue& frame, const FormBoxes& form, bool byTrimBox) {
    ASFixedRect inner = innerRect(frame);
    ASFixedRect box =
        byTrimBox && form.hasTrim
            ? form.trim
            : getCenteredBox(inner, form.bbox, getTurnAngle(frame.rotation, form.rotation));
    ASFixedMatrix m = getMatrixForRect(box, frame.rotation, form.rotation, fixedOne);
    ASFixedPoint shift =
        getTurnedOffset(addFixed(frame.xOff, frame.displacement), frame.yOff, frame.rotation);
    m.h = addFixed(m.h, shift.h, inner.left);
    m.v = addFixed(m.v, shift.v, inner.bottom);
    return m;
}

FrameValue readFrame(PDEElement frame) {
    FrameValue f;
    CosObj d = getVexaDict(frame);
    f.boxNum = getKeyValueInt(d, "boxnum", 0);
    f.bbox.left = getKeyValueFixed(d, "left", 0);
    f.bbox.top = getKeyValueFixed(d, "top", 0);
    f.bbox.right = getKeyValueFixed(d, "right", 0);
    f.bbox.bottom = getKeyValueFixed(d, "bottom", 0);
    f.bleed = getBleedRect(d);
    f.rotation = getKeyValueInt(d, "rotation", 360);
    if (f.rotation == 360) f.rotation = getKeyValueInt(d, "rotated", 0) == 1 ? 180 : 0;
    f.xOff = getKeyValueFixed(d, "xOff", 0);
    f.yOff = getKeyValueFixed(d, "yOff", 0);
    f.scale = getKeyValueFixed(d, "scale", fixedOne);
    f.displacement = getKeyValueFixed(d, "dx", 0);
    return f;
}

FormBoxes readFormBoxes(PDEForm form) {
    FormBoxes boxes;
    CosObj d = pdeFormGetCosObj(form);
    boxes.rotation = getKeyValueInt(d, "Rotate", 0);
    pdeGetBBox(form, &boxes.bbox);
    CosObj a;
    ASInt32 type = CosNull;
    if (getKeyValue(d, "TrimBox", &a, &type) == 0 && type == CosArray && cosArrayLength(a) >= 4) {
        ASFixed v[4];
        for (ASInt32 i = 0; i < 4; ++i) v[i] = cosFixedValue(cosArrayGet(a, i));
        boxes.hasTrim = true;
        boxes.trim = ASFixedRect{v[0], v[3], v[2], v[1]};
    }
    return boxes;
}

PDEClip getClip(const ASFixedRect* rect) {
    // A clip path is written as its outline alone ("re W n"): it needs no graphics state.
    ElementRef clip(gPDFEditWriteHFT->PDEClipCreate());
    ElementRef path(gPDFEditWriteHFT->PDEPathCreate());
    ASInt32 data[5] = {kPDERect, rect->left, rect->bottom, rect->right - rect->left,
                       rect->top - rect->bottom};
    gPDFEditWriteHFT->PDEPathSetData(path.get(), data, sizeof data);
    gPDFEditWriteHFT->PDEPathSetPaintOp(path.get(), kPDEInvisible);
    gPDFEditWriteHFT->PDEClipAddElem(clip.get(), kPDEBeforeFirst, path.get());
    return clip.release();
}

void fitIntoFrame(PDEForm form, const FrameValue& frame, const FormBoxes& boxes, bool byTrimBox) {
    ASFixedMatrix m = placingMatrix(frame, boxes, byTrimBox);
    pdeSetMatrix(form, &m);
    ASFixedRect full = clipRect(frame);
    ElementRef clip(getClip(&full));
    pdeSetClip(form, clip.get());
}
