#include "Sources/Container.h"

#include <vector>

#include "Common/BoxDesc.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/Undo.h"

namespace {

// Clips tagged as moved inside a MovedClipsScope, each acquired once.
struct MovedClips {
    int scopes = 0;
    std::vector<PDEClip> clips;
};
MovedClips gMoved;

PDEContainer newFrame() {
    CosObj dict = cosNewDict(gCosDoc, true, 0);
    PDEContainer c = pdeContainerCreate(static_cast<ASAtom>(0), &dict, false);
    if (!c) return nullptr;
    PDEContent content = pdeContentCreate();
    pdeContainerSetContent(c, content);
    pdeRelease(content);
    return c;
}

ASFixedMatrix translation(ASFixedPoint offset) {
    return ASFixedMatrix{fixedOne, 0, 0, fixedOne, offset.h, offset.v};
}

// The element-matrix step: text runs or the element's own matrix.
void moveOwnMatrix(PDEElement e, PDEType type, const ASFixedMatrix* move) {
    ASFixedMatrix m;
    if (type == kPDEText) {
        ASInt32 runs = pdeTextGetNumRuns(e);
        for (ASInt32 r = 0; r < runs; ++r) {
            pdeTextRunGetMatrix(e, r, &m);
            asFixedMatrixConcat(&m, move, &m);
            pdeTextRunSetMatrix(e, r, &m);
        }
    } else {
        pdeGetMatrix(e, &m);
        asFixedMatrixConcat(&m, move, &m);
        pdeSetMatrix(e, &m);
    }
}

ASBool moveClipElemProc(PDEElement e, ASClientData data) {
    PDEType type = pdeObjectGetType(e);
    if (type == kPDEText || type == kPDEPath)
        moveOwnMatrix(e, type, static_cast<const ASFixedMatrix*>(data));
    return true;
}

void moveClip(PDEElement e, const ASFixedMatrix* move) {
    PDEClip clip = pdeGetClip(e);
    if (!clip) return;
    ASInt32 moved = 0;
    if (pdeGetTag(clip, kMovedTag, &moved) && moved) return;
    pdeClipFlattenedEnumElems(clip, moveClipElemProc, const_cast<ASFixedMatrix*>(move));
    pdeAddTag(clip, kMovedTag, 1);
    if (gMoved.scopes > 0) {
        pdeAcquire(clip);
        gMoved.clips.push_back(clip);
    }
}

void moveOne(PDEElement e, PDEType type, const ASFixedMatrix* move) {
    switch (type) {
        case kPDEText:
        case kPDEPath:
        case kPDEImage:
        case kPDEForm:
        case kPDEShading:
            moveOwnMatrix(e, type, move);
            moveClip(e, move);
            break;
        case kPDEContainer:
            moveElems(pdeContainerGetContent(e), move);
            break;
        default:
            break;
    }
}

void offsetMatrix(PDEElement e, ASFixed dx, ASFixed dy) {
    ASFixedMatrix m;
    pdeGetMatrix(e, &m);
    m.h += dx;
    m.v += dy;
    pdeSetMatrix(e, &m);
}

void offsetRuns(PDEText t, ASFixed dx, ASFixed dy) {
    ASInt32 runs = pdeTextGetNumRuns(t);
    for (ASInt32 r = 0; r < runs; ++r) {
        ASFixedMatrix m;
        pdeTextRunGetMatrix(t, r, &m);
        m.h += dx;
        m.v += dy;
        pdeTextRunSetMatrix(t, r, &m);
    }
}

// The clip of placed content: the frame rectangle.
void clipContentToRect(PDEContent content, const ASFixedRect& r) {
    if (!content) return;
    ASInt32 n = pdeContentGetNumElems(content);
    if (n == 0) return;
    PDEPath path = gPDFEditWriteHFT->PDEPathCreate();
    ASInt32 data[5] = {kPDERect, r.left, r.bottom, r.right - r.left, r.top - r.bottom};
    gPDFEditWriteHFT->PDEPathSetData(path, data, sizeof data);
    gPDFEditWriteHFT->PDEPathSetPaintOp(path, kPDEClip_);
    PDEClip clip = gPDFEditWriteHFT->PDEClipCreate();
    gPDFEditWriteHFT->PDEClipAddElem(clip, kPDEBeforeFirst, path);
    pdeRelease(path);
    for (ASInt32 i = 0; i < n; ++i) {
        PDEElement e = pdeContentGetElem(content, i);
        PDEType t = pdeObjectGetType(e);
        if (t == kPDEText || t == kPDEPath || t == kPDEImage || t == kPDEForm || t == kPDEShading)
            pdeSetClip(e, clip);
    }
    pdeRelease(clip);
}

bool moveFrameProc(CContent*, PDEElement frame, long, long data) {
    auto* d = reinterpret_cast<const ASFixedPoint*>(data);
    moveContainerBy(frame, d->h, d->v);
    return true;
}

}  // namespace

MovedClipsScope::MovedClipsScope() {
    ++gMoved.scopes;
}

MovedClipsScope::~MovedClipsScope() {
    if (--gMoved.scopes > 0) return;
    std::vector<PDEClip> clips;
    clips.swap(gMoved.clips);
    for (PDEClip c : clips) {
        ElementRef clip(c);
        logHostErrors("untagging a moved clip", [c] { pdeAddTag(c, kMovedTag, 0); });
    }
}

PDEContainer getContainerWithRect(ASFixedRect rect) {
    PDEContainer c = newFrame();
    if (c) setBBox(c, &rect);
    return c;
}

PDEContainer getContainerWithPoint(ASFixedPoint origin, ASFixed width, ASFixed height) {
    ASFixedRect r{origin.h, origin.v + height, origin.h + width, origin.v};
    return getContainerWithRect(r);
}

PDEContainer getContainerWithBoxNum(ASInt32 boxNum) {
    PDEContainer c = newFrame();
    if (c) setBoxNum(c, boxNum);
    return c;
}

PDEContainer getContainerWithPDE(PDEElement elem, ASFixedPoint offset) {
    PDEContainer c = newFrame();
    if (!c) return nullptr;
    pdeContentAddElem(pdeContainerGetContent(c), kPDEAfterLast, elem);
    ASFixedRect b{0, 0, 0, 0};
    pdeGetBBox(elem, &b);
    ASFixedRect r{b.left + offset.h, b.top + offset.v, b.right + offset.h, b.bottom + offset.v};
    setBBox(c, &r);
    moveElem(elem, pdeObjectGetType(elem), offset);
    return c;
}

PDEContent getContent(PDEElement elem, bool clear, ASInt32* countOut) {
    if (!elem || pdeObjectGetType(elem) != kPDEContainer) return nullptr;
    PDEContent content = pdeContainerGetContent(elem);
    if (content && clear) removeContent(content);
    if (countOut) *countOut = content ? pdeContentGetNumElems(content) : 0;
    return content;
}

bool rectHoldsPoint(const ASFixedRect& r, const ASFixedPoint& p) {
    if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) return false;
    return p.h >= r.left && p.h <= r.right && p.v >= r.bottom && p.v <= r.top;
}

bool getPDEForMouseProc(CContent*, PDEElement frame, long, long data) {
    auto* hit = reinterpret_cast<MouseHit*>(data);
    if (getBoxNum(frame) == kBoxTrimLines) return true;
    if (!rectHoldsPoint(getBBox(frame), hit->point)) return true;
    hit->frame = frame;
    return false;
}

void moveElems(PDEContent content, const ASFixedMatrix* move) {
    if (!content || !move) return;
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) {
        PDEElement e = pdeContentGetElem(content, i);
        moveOne(e, pdeObjectGetType(e), move);
    }
}

void moveElems(PDEContent content, ASFixedPoint offset, bool turn) {
    ASFixedMatrix m = translation(offset);
    if (turn) m.a = m.d = -fixedOne;
    moveElems(content, &m);
}

void moveElem(PDEElement elem, ASFixedPoint offset) {
    ASFixedMatrix m = translation(offset);
    moveOwnMatrix(elem, pdeObjectGetType(elem), &m);
}

void moveElem(PDEElement elem, PDEType type, ASFixedPoint offset) {
    ASFixedMatrix m = translation(offset);
    moveOne(elem, type, &m);
}

void moveContainerBy(PDEElement frame, ASFixed dx, ASFixed dy) {
    ASFixedRect r = getBBox(frame);
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    setBBox(frame, &r);
    PDEContent content = getContent(frame);
    if (!content) return;
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) {
        PDEElement e = pdeContentGetElem(content, i);
        PDEType type = pdeObjectGetType(e);
        if (type == kPDEText) {
            offsetRuns(e, dx, dy);
        } else if (type == kPDEPath || type == kPDEForm) {
            if (PDEClip clip = pdeGetClip(e)) {
                ASInt32 k = pdeClipGetNumElems(clip);
                for (ASInt32 j = 0; j < k; ++j) {
                    PDEElement c = pdeClipGetElem(clip, j);
                    PDEType ct = pdeObjectGetType(c);
                    if (ct == kPDEText)
                        offsetRuns(c, dx, dy);
                    else if (ct == kPDEPath)
                        offsetMatrix(c, dx, dy);
                }
            }
            offsetMatrix(e, dx, dy);
        }
    }
}

void moveFramesBy(PDPage page, ASFixed dx, ASFixed dy) {
    page = getCurrentPage(page);
    if (!page) return;
    prepareUndo(nullptr);
    ASFixedPoint d{dx, dy};
    EnumForms(page, moveFrameProc, reinterpret_cast<long>(&d), true, true);
}

void moveSelectionBy(PDPage page, ASFixed dx, ASFixed dy) {
    page = getCurrentPage(page);
    if (!page || !selAvail(page)) return;
    prepareUndo(nullptr);
    ASFixedPoint d{dx, dy};
    EnumSelection(page, moveFrameProc, reinterpret_cast<long>(&d), true);
}

void moveToPos(PDEElement frame, const ASFixedPoint* position, bool relative) {
    if (!frame || !position) return;
    ASFixedRect r = getBBox(frame);
    ASFixedPoint offset = *position;
    if (!relative) {
        offset.h -= r.left;
        offset.v -= r.bottom;
    }
    r.left += offset.h;
    r.right += offset.h;
    r.top += offset.v;
    r.bottom += offset.v;
    setBBox(frame, &r);
    PDEContent content = getContent(frame);
    moveElems(content, offset, getRotated(frame));
    if (getBoxNum(frame) == kBoxPlain) clipContentToRect(content, r);
}
