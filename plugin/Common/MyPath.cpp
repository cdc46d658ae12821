#include "Common/MyPath.h"

#include "Common/FrameFit.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

CMyPath::CMyPath(short capacity) : data_(nullptr), capacity_(capacity) {
    if (capacity_ > 0) data_ = new (std::nothrow) ASInt32[capacity_];
    if (!data_) capacity_ = 0;
}

CMyPath::~CMyPath() {
    delete[] data_;
}

void CMyPath::moveto(ASFixed x, ASFixed y) {
    if (!room(3)) return;
    put(kPDEMoveTo);
    put(x);
    put(y);
    cur_ = {x, y};
}

void CMyPath::lineto(ASFixed x, ASFixed y) {
    if (!room(3)) return;
    put(kPDELineTo);
    put(x);
    put(y);
    cur_ = {x, y};
}

void CMyPath::rlineto(ASFixed dx, ASFixed dy) {
    lineto(cur_.h + dx, cur_.v + dy);
}

void CMyPath::curveto(ASFixedPoint p1, ASFixedPoint p2, ASFixedPoint p3) {
    if (!room(7)) return;
    put(kPDECurveTo);
    put(p1.h);
    put(p1.v);
    put(p2.h);
    put(p2.v);
    put(p3.h);
    put(p3.v);
    cur_ = p3;
}

void CMyPath::rcurveto(ASFixedPoint p1, ASFixedPoint p2, ASFixedPoint p3) {
    rcurveto(p1.h, p1.v, p2.h, p2.v, p3.h, p3.v);
}

void CMyPath::rcurveto(ASFixed x1, ASFixed y1, ASFixed x2, ASFixed y2, ASFixed x3, ASFixed y3) {
    ASFixedPoint s = cur_;
    curveto({s.h + x1, s.v + y1}, {s.h + x2, s.v + y2}, {s.h + x3, s.v + y3});
}

void CMyPath::rect(ASFixedPoint p, ASFixed width, ASFixed height) {
    if (!room(5)) return;
    put(kPDERect);
    put(p.h);
    put(p.v);
    put(width);
    put(height);
    cur_ = p;
}

void CMyPath::close() {
    if (!room(1)) return;
    put(kPDEClosePath);
}

void CMyPath::circle(ASFixed cx, ASFixed cy, ASFixed r) {
    ASFixed k = static_cast<ASFixed>(static_cast<double>(r) * 0.5522);
    moveto(cx, cy);
    moveto(cx - r, cy);
    rcurveto(0, k, r - k, r, r, r);
    rcurveto(k, 0, r, k - r, r, -r);
    rcurveto(0, -k, k - r, -r, -r, -r);
    rcurveto(-k, 0, -r, r - k, -r, r);
    close();
}

PDEPath CMyPath::getPath(ASFixed lineWidth, const PDEColorSpec* stroke, PDEPathOpFlags paint,
                         bool overprint) {
    PDEPath path = gPDFEditWriteHFT->PDEPathCreate();
    PDEGraphicState gs;
    PDEColorSpec black{};
    ScopeExit freeBlack([&black] { freeColorSpec(&black); });
    ElementRef pathRef(path);
    gPDFEditWriteHFT->PDEPathSetData(path, data_, static_cast<ASUns32>(count_) * 4);
    gPDFEditWriteHFT->PDEDefaultGState(&gs, sizeof gs);
    gs.lineWidth = lineWidth;
    if (stroke) {
        gs.strokeColorSpec = *stroke;
    } else {
        black = getGrayColor(0.0f);
        gs.strokeColorSpec = black;
    }
    ElementRef egs(getPathGState(overprint));
    gs.extGState = egs.get();
    gPDFEditWriteHFT->PDEElementSetGState(reinterpret_cast<PDEElement>(path), &gs, sizeof gs);
    gPDFEditWriteHFT->PDEPathSetPaintOp(path, paint);
    pathRef.release();
    return path;
}

PDEPath addRect(PDEContent content, const ASFixedRect* rect, PDEPathOpFlags paint,
                const PDEColorSpec* color, ASFixed width) {
    CMyPath p(256);
    p.rect({rect->left, rect->bottom}, rect->right - rect->left, rect->top - rect->bottom);
    PDEPath path = p.getPath(width, color, paint, true);
    {
        ElementRef pathRef(path);
        pdeContentAddElem(content, kPDEAfterLast, reinterpret_cast<PDEElement>(path));
    }
    return path;
}

PDEPath addTrimLinesRect(PDEContent content, const ASFixedRect* rect, const PDEColorSpec* color,
                         bool shown) {
    return addRect(content, rect, shown ? kPDEStroke : kPDEInvisible, color, getTrimLinesWidth());
}

PDEPath addTrimLinesRect(PDEContent content, const ASFixedRect* rect, const PDEColorSpec* color) {
    PDDoc doc = getCosPDDoc();
    return addTrimLinesRect(content, rect, color, doc && getFramesVisible(doc));
}

PDEColorSpec getTrimLinesColor() {
    // Hidden trim lines print on no plate: a document whose frames are hidden declares
    // no trim-lines separation at all.
    PDDoc doc = getCosPDDoc();
    if (!doc || !getFramesVisible(doc)) return getNoneColor();
    struct Params {
        char name[256] = {0};
        float cmyk[4] = {0, 0, 0, 1};
    } p;
    getTrimLinesColorParams(p.name, p.cmyk);
    if (!p.name[0]) return getCMYKColor(p.cmyk[0], p.cmyk[1], p.cmyk[2], p.cmyk[3]);
    // Every sheet of a job draws its trim lines in the same separation.
    char key[400];
    std::snprintf(key, sizeof key, "TrimLines %s %g %g %g %g", p.name, p.cmyk[0], p.cmyk[1],
                  p.cmyk[2], p.cmyk[3]);
    PDEColorSpec spec;
    std::memset(&spec, 0, sizeof spec);
    spec.space = getSharedSpace(
        key,
        [](const void* data) {
            auto* q = static_cast<const Params*>(data);
            return getSepColorSpec(q->name, q->cmyk).space;
        },
        &p);
    spec.value.color[0] = fixedOne;
    return spec;
}

void setClipping(PDEElement elem, const ASFixedRect* rect) {
    if (!elem) return;
    if (pdeObjectGetType(elem) == kPDEContent) {
        if (pdeContentGetNumElems(elem) < 1) return;
        elem = pdeContentGetElem(elem, 0);
    }
    if (pdeObjectGetType(elem) != kPDEForm) return;
    PDEClip clip = getClip(rect);
    {
        ElementRef clipRef(clip);
        pdeSetClip(elem, clip);
    }
}
