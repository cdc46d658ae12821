// Thin wrappers of the Cos, PDModel and page-content tables, named after the host
// operations in lower camel case. Every wrapper calls through the table; host errors
// arrive as ASException.
#pragma once

#include "Common/API.h"

// Cos objects.
inline CosType cosObjGetType(CosObj o) {
    return gCosHFT->CosObjGetType(o);
}
inline bool cosObjIsDictOrStream(CosObj o) {
    CosType t = cosObjGetType(o);
    return t == CosDict || t == CosStream;
}
inline ASBool cosObjEqual(CosObj a, CosObj b) {
    return gCosHFT->CosObjEqual(a, b);
}
inline CosDoc cosObjGetDoc(CosObj o) {
    return gCosHFT->CosObjGetDoc(o);
}
inline ASBool cosObjIsIndirect(CosObj o) {
    return gCosHFT->CosObjIsIndirect(o);
}
inline CosObj cosObjCopy(CosObj o, CosDoc dst, ASBool copyIndirect) {
    return gCosHFT->CosObjCopy(o, dst, copyIndirect);
}
inline void cosObjDestroy(CosObj o) {
    gCosHFT->CosObjDestroy(o);
}
inline ASBool cosObjEnum(CosObj o, CosObjEnumProc proc, ASClientData data) {
    return gCosHFT->CosObjEnum(o, proc, data);
}
inline CosObj cosNull() {
    return gCosHFT->CosNewNull();
}
inline CosObj cosNewInteger(CosDoc d, ASBool ind, ASInt32 v) {
    return gCosHFT->CosNewInteger(d, ind, v);
}
inline CosObj cosNewFixed(CosDoc d, ASBool ind, ASFixed v) {
    return gCosHFT->CosNewFixed(d, ind, v);
}
inline CosObj cosNewFloat(CosDoc d, ASBool ind, float v) {
    return gCosHFT->CosNewFloat(d, ind, v);
}
inline CosObj cosNewName(CosDoc d, ASBool ind, ASAtom a) {
    return gCosHFT->CosNewName(d, ind, a);
}
inline CosObj cosNewName(CosDoc d, ASBool ind, const char* s) {
    return gCosHFT->CosNewName(d, ind, asAtomFromString(s));
}
inline CosObj cosNewString(CosDoc d, ASBool ind, const char* s, ASSize_t len) {
    return gCosHFT->CosNewString(d, ind, s, len);
}
inline CosObj cosNewArray(CosDoc d, ASBool ind, ASInt32 n) {
    return gCosHFT->CosNewArray(d, ind, n);
}
inline CosObj cosNewDict(CosDoc d, ASBool ind, ASInt32 n) {
    return gCosHFT->CosNewDict(d, ind, n);
}
inline CosObj cosNewStream(CosDoc d, const char* data, ASSize_t len, CosObj attrs) {
    return gCosHFT->CosNewStream(d, data, len, attrs, CosObj(), CosObj(), false);
}
inline CosObj cosDictGet(CosObj d, ASAtom key) {
    return gCosHFT->CosDictGet(d, key);
}
inline CosObj cosDictGet(CosObj d, const char* key) {
    return gCosHFT->CosDictGetKeyString(d, key);
}
inline void cosDictPut(CosObj d, ASAtom key, CosObj v) {
    gCosHFT->CosDictPut(d, key, v);
}
inline void cosDictPut(CosObj d, const char* key, CosObj v) {
    gCosHFT->CosDictPutKeyString(d, key, v);
}
inline void cosDictRemove(CosObj d, ASAtom key) {
    gCosHFT->CosDictRemove(d, key);
}
inline ASBool cosDictKnown(CosObj d, ASAtom key) {
    return gCosHFT->CosDictKnown(d, key);
}
inline ASBool cosDictKnown(CosObj d, const char* key) {
    return gCosHFT->CosDictKnown(d, asAtomFromString(key));
}
inline ASInt32 cosDictLength(CosObj d) {
    return gCosHFT->CosDictLength(d);
}
inline CosObj cosArrayGet(CosObj a, ASInt32 i) {
    return gCosHFT->CosArrayGet(a, i);
}
inline void cosArrayPut(CosObj a, ASInt32 i, CosObj v) {
    gCosHFT->CosArrayPut(a, i, v);
}
inline void cosArrayInsert(CosObj a, ASInt32 i, CosObj v) {
    gCosHFT->CosArrayInsert(a, i, v);
}
inline void cosArrayRemoveNth(CosObj a, ASInt32 i) {
    gCosHFT->CosArrayRemoveNth(a, i);
}
inline ASInt32 cosArrayLength(CosObj a) {
    return gCosHFT->CosArrayLength(a);
}
inline ASAtom cosNameValue(CosObj o) {
    return gCosHFT->CosNameValue(o);
}
inline ASSize_t cosStringValue(CosObj o, char* buf, ASSize_t size) {
    return gCosHFT->CosStringValue(o, buf, size);
}
inline ASInt32 cosIntegerValue(CosObj o) {
    return gCosHFT->CosIntegerValue(o);
}
inline ASFixed cosFixedValue(CosObj o) {
    return gCosHFT->CosFixedValue(o);
}
inline float cosFloatValue(CosObj o) {
    return gCosHFT->CosFloatValue(o);
}
inline CosObj cosStreamDict(CosObj s) {
    return gCosHFT->CosStreamDict(s);
}
inline char* cosStreamGetData(CosObj s, ASSize_t* len) {
    return gCosHFT->CosStreamGetData(s, len);
}
inline CosObj cosDocGetRoot(CosDoc d) {
    return gCosHFT->CosDocGetRoot(d);
}

// Documents and pages.
inline PDDoc pdDocCreate() {
    return gPDModelHFT->PDDocCreate();
}
inline void pdDocClose(PDDoc d) {
    gPDModelHFT->PDDocClose(d);
}
inline ASInt32 pdDocGetNumPages(PDDoc d) {
    return gPDModelHFT->PDDocGetNumPages(d);
}
inline CosDoc pdDocGetCosDoc(PDDoc d) {
    return gPDModelHFT->PDDocGetCosDoc(d);
}
inline ASUns32 pdDocGetFlags(PDDoc d) {
    return gPDModelHFT->PDDocGetFlags(d);
}
inline void pdDocSetFlags(PDDoc d, ASUns32 f) {
    gPDModelHFT->PDDocSetFlags(d, f);
}
inline void pdDocClearFlags(PDDoc d, ASUns32 f) {
    gPDModelHFT->PDDocClearFlags(d, f);
}
inline PDPage pdDocAcquirePage(PDDoc d, ASInt32 n) {
    return gPDModelHFT->PDDocAcquirePage(d, n);
}
inline void pdPageRelease(PDPage p) {
    gPDModelHFT->PDPageRelease(p);
}
inline void pdDocInsertPages(PDDoc d, ASInt32 after, PDDoc src, ASInt32 start, ASInt32 n) {
    gPDModelHFT->PDDocInsertPages(d, after, src, start, n, 0);
}
inline void pdDocDeletePages(PDDoc d, ASInt32 first, ASInt32 last) {
    gPDModelHFT->PDDocDeletePages(d, first, last);
}
inline CosObj pdPageGetCosObj(PDPage p) {
    return gPDModelHFT->PDPageGetCosObj(p);
}
inline PDDoc pdPageGetDoc(PDPage p) {
    return gPDModelHFT->PDPageGetDoc(p);
}
inline ASBool pdPageGetBox(PDPage p, const char* name, ASFixedRect* box) {
    return gPDModelHFT->PDPageGetBox(p, asAtomFromString(name), box);
}
inline void pdPageGetMediaBox(PDPage p, ASFixedRect* box) {
    gPDModelHFT->PDPageGetMediaBox(p, box);
}
inline void pdPageGetCropBox(PDPage p, ASFixedRect* box) {
    gPDModelHFT->PDPageGetCropBox(p, box);
}
inline void pdPageSetCropBox(PDPage p, ASFixedRect box, ASBool setMedia) {
    gPDModelHFT->PDPageSetCropBox(p, box, setMedia);
}
inline void pdPageNotifyContentsDidChange(PDPage p) {
    gPDModelHFT->PDPageNotifyContentsDidChange(p);
}

// Page content.
inline void pdeAcquire(PDEObject o) {
    gPDFEditReadHFT->PDEAcquire(o);
}
inline void pdeRelease(PDEObject o) {
    if (o) gPDFEditReadHFT->PDERelease(o);
}
inline PDEType pdeObjectGetType(PDEObject o) {
    return gPDFEditReadHFT->PDEObjectGetType(o);
}
inline ASInt32 pdeContentGetNumElems(PDEContent c) {
    return gPDFEditReadHFT->PDEContentGetNumElems(c);
}
inline PDEElement pdeContentGetElem(PDEContent c, ASInt32 i) {
    return gPDFEditReadHFT->PDEContentGetElem(c, i);
}
inline void pdeContentGetAttrs(PDEContent c, PDEContentAttrs* a) {
    gPDFEditReadHFT->PDEContentGetAttrs(c, a, sizeof *a);
}
inline void pdeContentAddElem(PDEContent c, ASInt32 after, PDEElement e) {
    gPDFEditWriteHFT->PDEContentAddElem(c, after, e);
}
inline void pdeContentRemoveElem(PDEContent c, ASInt32 i) {
    gPDFEditWriteHFT->PDEContentRemoveElem(c, i);
}
inline PDEContent pdeContentCreate() {
    return gPDFEditWriteHFT->PDEContentCreate();
}
inline void pdeGetBBox(PDEElement e, ASFixedRect* r) {
    gPDFEditReadHFT->PDEElementGetBBox(e, r);
}
inline void pdeGetMatrix(PDEElement e, ASFixedMatrix* m) {
    gPDFEditReadHFT->PDEElementGetMatrix(e, m);
}
inline void pdeSetMatrix(PDEElement e, const ASFixedMatrix* m) {
    gPDFEditWriteHFT->PDEElementSetMatrix(e, m);
}
inline PDEClip pdeGetClip(PDEElement e) {
    return gPDFEditReadHFT->PDEElementGetClip(e);
}
inline void pdeSetClip(PDEElement e, PDEClip c) {
    gPDFEditWriteHFT->PDEElementSetClip(e, c);
}
inline ASBool pdeGetGState(PDEElement e, PDEGraphicState* gs) {
    return gPDFEditReadHFT->PDEElementGetGState(e, gs, sizeof *gs);
}
inline CosObj pdeContainerGetDict(PDEContainer c) {
    CosObj d;
    ASBool isInline = false;
    if (!gPDFEditReadHFT->PDEContainerGetDict(c, &d, &isInline)) return CosObj();
    return d;
}
inline PDEContent pdeContainerGetContent(PDEContainer c) {
    return gPDFEditReadHFT->PDEContainerGetContent(c);
}
inline PDEContainer pdeContainerCreate(ASAtom tag, const CosObj* dict, ASBool isInline) {
    return gPDFEditWriteHFT->PDEContainerCreate(tag, dict, isInline);
}
inline void pdeContainerSetDict(PDEContainer c, const CosObj* dict, ASBool isInline) {
    gPDFEditWriteHFT->PDEContainerSetDict(c, dict, isInline);
}
inline void pdeContainerSetContent(PDEContainer c, PDEContent content) {
    gPDFEditWriteHFT->PDEContainerSetContent(c, content);
}
inline CosObj pdeFormGetCosObj(PDEForm f) {
    return gPDFEditReadHFT->PDEFormGetCosObj(f);
}
inline PDEContent pdeFormAcquireContent(PDEForm f) {
    return gPDFEditReadHFT->PDEFormAcquireContent(f);
}
inline void pdeFormReleaseContent(PDEForm f, PDEContent c) {
    gPDFEditReadHFT->PDEFormReleaseContent(f, c);
}
inline PDEForm pdeFormCreateFromCosObj(const CosObj* x, const CosObj* res, const ASFixedMatrix* m) {
    return gPDFEditWriteHFT->PDEFormCreateFromCosObj(x, res, m);
}
inline void pdeContentToCosObj(PDEContent c, ASUns32 flags, const PDEContentAttrs* attrs,
                               CosDoc doc, const PDEFilterArray* filters, CosObj* contents,
                               CosObj* resources) {
    gPDFEditWriteHFT->PDEContentToCosObj(c, flags, attrs, attrs ? sizeof *attrs : 0, doc, filters,
                                         contents, resources);
}
inline ASInt32 pdeTextGetNumRuns(PDEText t) {
    return gPDFEditReadHFT->PDETextGetNumRuns(t);
}
inline void pdeTextRunGetMatrix(PDEText t, ASInt32 run, ASFixedMatrix* m) {
    gPDFEditReadHFT->PDETextRunGetMatrix(t, run, m);
}
inline void pdeTextRunSetMatrix(PDEText t, ASInt32 run, const ASFixedMatrix* m) {
    gPDFEditWriteHFT->PDETextRunSetMatrix(t, run, m);
}
inline void pdeTextRunGetGState(PDEText t, ASInt32 run, PDEGraphicState* gs) {
    gPDFEditReadHFT->PDETextRunGetGState(t, run, gs, sizeof *gs);
}
inline ASInt32 pdeClipGetNumElems(PDEClip c) {
    return gPDFEditReadHFT->PDEClipGetNumElems(c);
}
inline PDEElement pdeClipGetElem(PDEClip c, ASInt32 i) {
    return gPDFEditReadHFT->PDEClipGetElem(c, i);
}
inline ASBool pdeClipFlattenedEnumElems(PDEClip c, PDEClipEnumProc proc, ASClientData d) {
    return gPDFEditReadHFT->PDEClipFlattenedEnumElems(c, proc, d);
}
inline void pdeImageGetAttrs(PDEImage i, PDEImageAttrs* a) {
    gPDFEditReadHFT->PDEImageGetAttrs(i, a, sizeof *a);
}
inline PDEColorSpace pdeImageGetColorSpace(PDEImage i) {
    return gPDFEditReadHFT->PDEImageGetColorSpace(i);
}
inline CosObj pdeShadingGetCosObj(PDEShading s) {
    return gPDFEditReadHFT->PDEShadingGetCosObj(s);
}
inline ASAtom pdeColorSpaceGetName(PDEColorSpace cs) {
    return gPDFEditReadHFT->PDEColorSpaceGetName(cs);
}
inline CosObj pdeColorSpaceGetCosObj(PDEColorSpace cs) {
    return gPDFEditReadHFT->PDEColorSpaceGetCosObj(cs);
}
inline PDEColorSpace pdeColorSpaceCreateFromName(ASAtom family) {
    return gPDFEditWriteHFT->PDEColorSpaceCreateFromName(family);
}
inline PDEColorSpace pdeColorSpaceCreateFromCosObj(const CosObj* o) {
    return gPDFEditWriteHFT->PDEColorSpaceCreateFromCosObj(o);
}
inline PDEColorSpace pdeColorSpaceCreate(ASAtom family, const void* data) {
    return gPDFEditWriteHFT->PDEColorSpaceCreate(family, data);
}
inline ASBool pdeGetTag(PDEObject o, ASUns32 tag, ASInt32* value) {
    return gPDFEditReadHFT->PDEGetTag(o, gExtensionID, tag, value);
}
inline void pdeAddTag(PDEObject o, ASUns32 tag, ASInt32 value) {
    gPDFEditWriteHFT->PDEAddTag(o, gExtensionID, tag, value);
}
inline PDEContent pdPageAcquirePDEContent(PDPage p) {
    return gPagePDEContentHFT->PDPageAcquirePDEContent(p, gExtensionID);
}
inline ASInt32 pdPageReleasePDEContent(PDPage p) {
    return gPagePDEContentHFT->PDPageReleasePDEContent(p, gExtensionID);
}
inline void pdPageSetPDEContent(PDPage p) {
    gPagePDEContentHFT->PDPageSetPDEContent(p, gExtensionID);
}

// The front document's PDDoc (null when no document is open).
PDDoc getFrontPDDoc();
