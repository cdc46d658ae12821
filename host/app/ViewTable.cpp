// The AcroView members of page views, drawing, the mouse, undo, drop targets, pop-up
// menus and optimizer presets.
#include <algorithm>
#include <cstring>

#include "app/App.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

AVPageView view(AVPageView pv) {
    if (!pv || !pv->doc) raise(genErrBadParm);
    return pv;
}

ASInt32 pvGetLayoutMode(AVPageView pv) {
    return view(pv)->vs.layoutMode;
}
void pvSetLayoutMode(AVPageView pv, ASInt32 mode) {
    A().setLayoutMode(view(pv), mode);
}
ASFixed pvGetZoom(AVPageView pv) {
    return view(pv)->vs.zoom;
}
void pvZoomTo(AVPageView pv, ASFixed zoom) {
    A().setZoom(view(pv), zoom);
}
ASInt32 pvFirstVisible(AVPageView pv) {
    return A().firstVisiblePage(view(pv));
}
ASInt32 pvLastVisible(AVPageView pv) {
    return A().lastVisiblePage(view(pv));
}
void pvGetAperture(AVPageView pv, AVDevRect* r) {
    *need(r) = view(pv)->vs.aperture;
}
void pvSetPageNum(AVPageView pv, ASInt32 n) {
    A().setCurrentPage(view(pv), n);
}
void pvPointToDevice(AVPageView pv, const ASFixedPoint* p, AVDevCoord* x, AVDevCoord* y) {
    A().pointToDevice(view(pv), *need(p), x, y);
}
void pvDevicePointToPage(AVPageView pv, AVDevCoord x, AVDevCoord y, ASFixedPoint* p) {
    *need(p) = A().deviceToPoint(view(pv), x, y);
}
void pvRectToDevice(AVPageView pv, const ASFixedRect* r, AVDevRect* d) {
    need(r);
    *need(d) = A().rectToDevice(view(pv), *r);
}
void pvDeviceRectToPage(AVPageView pv, const AVDevRect* d, ASFixedRect* r) {
    need(d);
    *need(r) = A().deviceRectToPage(view(pv), *d);
}
void pvInvalidate(AVPageView pv, const AVDevRect*) {
    A().invalidate(view(pv));
}
void pvDrawNow(AVPageView pv) {
    view(pv);
    if (pv->vs.invalid) A().redraw(pv);
}
void pvBeginOperation(AVPageView pv) {
    A().beginOperation(view(pv));
}
void pvEndOperation(AVPageView pv) {
    A().endOperation(view(pv));
}
ASBool pvIsAnnotAtPoint(AVPageView pv, AVDevCoord x, AVDevCoord y) {
    return A().annotAtPoint(view(pv), x, y);
}

void registerDrawing(AVPageViewDrawProc proc, ASClientData data) {
    A().registerDrawProc(proc, data);
}
void unregisterDrawing(AVPageViewDrawProc proc, ASClientData data) {
    A().unregisterDrawProc(proc, data);
}
void pvSetColor(AVPageView pv, const AVRGBColor16* c) {
    view(pv)->vs.color = *need(c);
}
void pvGetColor(AVPageView pv, AVRGBColor16* c) {
    *need(c) = view(pv)->vs.color;
}
void pvSetPen(AVPageView pv, ASInt32 style, ASInt32 width, ASInt32 dash, ASInt32 gap) {
    AVPageViewState& s = view(pv)->vs;
    if (style != AVPenSolid && style != AVPenDashed && style != AVPenDithered) raise(genErrBadParm);
    s.pen = style;
    s.penWidth = std::clamp(width, 1, 1000);
    s.dash = style == AVPenDashed ? std::clamp(dash, 1, 1000) : 0;
    s.gap = style == AVPenDashed ? std::clamp(gap, 1, 1000) : 0;
}
void pvDrawLine(AVPageView pv, AVDevCoord x1, AVDevCoord y1, AVDevCoord x2, AVDevCoord y2) {
    DrawOp op;
    op.kind = DrawOp::Line;
    op.rect = {x1, y1, x2, y2};
    addDrawOp(view(pv), op);
}
AVDevRect norm(const AVDevRect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}
void pvDrawRectOutline(AVPageView pv, const AVDevRect* r) {
    DrawOp op;
    op.kind = DrawOp::RectOutline;
    op.rect = norm(*need(r));
    addDrawOp(view(pv), op);
}
void pvDrawRect(AVPageView pv, const AVDevRect* r) {
    DrawOp op;
    op.kind = DrawOp::FillRect;
    op.rect = norm(*need(r));
    addDrawOp(view(pv), op);
}
void pvDrawText(AVPageView pv, AVDevCoord x, AVDevCoord y, ASInt32 size, const char* text) {
    DrawOp op;
    op.kind = DrawOp::Text;
    op.rect = {x, y, x, y};
    op.size = std::clamp(size, 1, 1000);
    op.text = need(text);
    addDrawOp(view(pv), op);
}
ASInt32 pvMeasureText(AVPageView, ASInt32 size, const char* text) {
    // Characters, not bytes: UTF-8 continuation bytes do not count.
    ASInt32 chars = 0;
    for (const char* p = need(text); *p; ++p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++chars;
    return static_cast<ASInt32>((static_cast<long long>(chars) * size * 6 + 5) / 10);
}

ASInt16 sysGetModifiers() {
    return A().mouse().modifiers;
}
ASBool sysMouseIsStillDown() {
    return A().mouseStillDown();
}
void pvGetMousePosition(AVPageView, AVDevCoord* x, AVDevCoord* y) {
    if (x) *x = A().mouse().x;
    if (y) *y = A().mouse().y;
}
void pvDragRect(AVPageView pv, AVDevCoord x, AVDevCoord y, AVDevRect* result) {
    *need(result) = A().dragRect(view(pv), x, y);
}
void pvDragOutline(AVPageView pv, AVDevCoord x, AVDevCoord y, const AVDevRect* start,
                   AVDevRect* result) {
    need(start);
    *need(result) = A().dragOutline(view(pv), x, y, *start);
}

AVUndo undoNew(AVDoc d, const AVUndoHandler* h, AVUndoHandlerData data) {
    return A().newUndo(need(d), need(h), data);
}
AVUndoHandlerData undoGetData(AVUndo u) {
    return need(u)->data;
}
void undoSetData(AVUndo u, AVUndoHandlerData data) {
    need(u)->data = data;
}
AVDoc undoGetDoc(AVUndo u) {
    return need(u)->doc;
}
const char* undoGetType(AVUndo u) {
    return need(u)->handler.type ? u->handler.type : "";
}
void docClearUndos(AVDoc d) {
    A().clearUndos(need(d));
}
ASInt32 docNumUndos(AVDoc d) {
    return A().numUndos(need(d));
}
ASInt32 docNumRedos(AVDoc d) {
    return A().numRedos(need(d));
}

void docSetDropHandlers(AVDoc d, const AVDropHandlersRec* h, ASClientData data) {
    A().setDropHandlers(need(d), h, data);
}
void docRemoveDropHandlers(AVDoc d) {
    A().setDropHandlers(need(d), nullptr, nullptr);
}
void docSetDropHighlight(AVDoc d, const AVDevRect* r) {
    AVDocDropState& s = need(d)->drop;
    s.highlighted = r != nullptr && s.inside;
    if (r) s.highlight = norm(*r);
}

AVMenuItem menuDoPopUp(AVMenu m, AVPageView pv, AVDevCoord x, AVDevCoord y) {
    return A().popUp(need(m), pv, x, y);
}

ASInt32 numPresets() {
    return static_cast<ASInt32>(optimizerPresets().size());
}
ASInt32 presetName(ASInt32 i, char* buffer, ASInt32 size) {
    const auto& v = optimizerPresets();
    if (i < 0 || i >= static_cast<ASInt32>(v.size())) raise(genErrBadParm);
    std::string s = v[i].name;
    if (buffer && size > 0) {
        std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, s.data(), n);
        buffer[n] = 0;
    }
    return static_cast<ASInt32>(s.size());
}
ASBool paramsForPreset(const char* name, AVDoc, AVOptimizerParamsRec* params) {
    need(params);
    const OptimizerPreset* p = findOptimizerPreset(need(name));
    if (!p || params->size < sizeof(AVOptimizerParamsRec)) return false;
    params->flags = p->flags;
    params->compressionLevel = p->compressionLevel;
    return true;
}
void docSaveOptimized(AVDoc d, const AVOptimizerParamsRec* params) {
    need(d);
    saveOptimized(d->pdDoc, *need(params));
}

void sysSetCursor(ASInt32 shape) {
    if (shape < AVCursorArrow || shape > AVCursorMove) raise(genErrBadParm);
    A().setCursor(shape);
}
ASInt32 sysGetCursor() {
    return A().cursor;
}

}  // namespace

void addViewMembers(AcroViewHFT& t) {
    t.AVPageViewGetLayoutMode = pvGetLayoutMode;
    t.AVPageViewSetLayoutMode = pvSetLayoutMode;
    t.AVPageViewGetZoom = pvGetZoom;
    t.AVPageViewZoomTo = pvZoomTo;
    t.AVPageViewGetFirstVisiblePageNum = pvFirstVisible;
    t.AVPageViewGetLastVisiblePageNum = pvLastVisible;
    t.AVPageViewGetAperture = pvGetAperture;
    t.AVPageViewSetPageNum = pvSetPageNum;
    t.AVPageViewPointToDevice = pvPointToDevice;
    t.AVPageViewDevicePointToPage = pvDevicePointToPage;
    t.AVPageViewRectToDevice = pvRectToDevice;
    t.AVPageViewDeviceRectToPage = pvDeviceRectToPage;
    t.AVPageViewInvalidateRect = pvInvalidate;
    t.AVPageViewDrawNow = pvDrawNow;
    t.AVPageViewBeginOperation = pvBeginOperation;
    t.AVPageViewEndOperation = pvEndOperation;
    t.AVPageViewIsAnnotAtPoint = pvIsAnnotAtPoint;
    t.AVAppRegisterForPageViewDrawing = registerDrawing;
    t.AVAppUnregisterForPageViewDrawing = unregisterDrawing;
    t.AVPageViewSetColor = pvSetColor;
    t.AVPageViewGetColor = pvGetColor;
    t.AVPageViewSetPen = pvSetPen;
    t.AVPageViewDrawLine = pvDrawLine;
    t.AVPageViewDrawRectOutline = pvDrawRectOutline;
    t.AVPageViewDrawRect = pvDrawRect;
    t.AVPageViewDrawText = pvDrawText;
    t.AVPageViewMeasureText = pvMeasureText;
    t.AVSysGetModifiers = sysGetModifiers;
    t.AVSysMouseIsStillDown = sysMouseIsStillDown;
    t.AVPageViewGetMousePosition = pvGetMousePosition;
    t.AVPageViewDragRect = pvDragRect;
    t.AVPageViewDragOutlineRect = pvDragOutline;
    t.AVUndoNew = undoNew;
    t.AVUndoGetData = undoGetData;
    t.AVUndoSetData = undoSetData;
    t.AVUndoGetAVDoc = undoGetDoc;
    t.AVUndoGetType = undoGetType;
    t.AVDocClearUndos = docClearUndos;
    t.AVDocGetNumUndos = docNumUndos;
    t.AVDocGetNumRedos = docNumRedos;
    t.AVDocSetDropHandlers = docSetDropHandlers;
    t.AVDocRemoveDropHandlers = docRemoveDropHandlers;
    t.AVDocSetDropHighlight = docSetDropHighlight;
    t.AVMenuDoPopUp = menuDoPopUp;
    t.AVAppGetNumOptimizerPresets = numPresets;
    t.AVAppGetOptimizerPresetName = presetName;
    t.AVGetOptimizerParamsForPreset = paramsForPreset;
    t.AVDocSaveOptimized = docSaveOptimized;
    t.AVSysSetCursor = sysSetCursor;
    t.AVSysGetCursor = sysGetCursor;
}

}  // namespace vexa::host::app
