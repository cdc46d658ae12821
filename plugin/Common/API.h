// The plug-in's view of the host: the tables imported at start-up and thin wrappers
// named after the host operations in lower camel case (pdDocGetNumPages, ...).
// Every wrapper calls through the table; host errors arrive as ASException.
#pragma once

#include "AcroColorHFT.h"
#include "AcroSupportHFT.h"
#include "AcroViewHFT.h"
#include "ASExtraHFT.h"
#include "CoreHFT.h"
#include "CosHFT.h"
#include "PDFEditHFT.h"
#include "PDModelHFT.h"
#include "PDSHFT.h"
#include "PlatformUIHFT.h"

extern const CoreHFT* gCoreHFT;
extern const CosHFT* gCosHFT;
extern const PDModelHFT* gPDModelHFT;
extern const PDFEditReadHFT* gPDFEditReadHFT;
extern const PDFEditWriteHFT* gPDFEditWriteHFT;
extern const PDSysFontHFT* gPDSysFontHFT;
extern const PagePDEContentHFT* gPagePDEContentHFT;
extern const AcroViewHFT* gAcroViewHFT;
extern const PDSReadHFT* gPDSReadHFT;
extern const PDSWriteHFT* gPDSWriteHFT;
extern const ASExtraHFT* gASExtraHFT;
extern const AcroColorHFT* gAcroColorHFT;
extern const AcroSupportHFT* gAcroSupportHFT;
extern const PlatformUIHFT* gPlatformUIHFT;

// The plug-in's identity, given by the host at set-up.
extern ExtensionID gExtensionID;
// The host's version, asked for at start-up.
extern ASInt16 gVersMajor;
extern ASInt16 gVersMinor;

// Imports every table the plug-in needs through the core table; false when one is
// missing or too old. Used by the SDK set-up and by tests that run the plug-in code
// in-process.
bool importHostTables(const CoreHFT* core);

// Core.
inline ASAtom asAtomFromString(const char* s) {
    return gCoreHFT->ASAtomFromString(s);
}
inline const char* asAtomGetString(ASAtom a) {
    return gCoreHFT->ASAtomGetString(a);
}
inline void asFree(void* p) {
    gCoreHFT->ASfree(p);
}
[[noreturn]] inline void asRaise(ASErrorCode code) {
    gCoreHFT->ASRaise(code);
    throw ASException(code);  // the host always throws; this keeps the promise if not
}
inline char* asGetErrorString(ASErrorCode code, char* buf, ASSize_t len) {
    return gCoreHFT->ASGetErrorString(code, buf, len);
}

// Fixed-point support.
inline ASFixed asFixedMul(ASFixed a, ASFixed b) {
    return gAcroSupportHFT->ASFixedMul(a, b);
}
inline ASFixed asFloatToFixed(float f) {
    return gAcroSupportHFT->ASFloatToFixed(f);
}
inline void asFixedMatrixConcat(ASFixedMatrix* r, const ASFixedMatrix* m1,
                                const ASFixedMatrix* m2) {
    gAcroSupportHFT->ASFixedMatrixConcat(r, m1, m2);
}
inline void asFixedMatrixTransform(ASFixedPoint* r, const ASFixedMatrix* m, const ASFixedPoint* p) {
    gAcroSupportHFT->ASFixedMatrixTransform(r, m, p);
}
inline void asFixedMatrixTransformRect(ASFixedRect* r, const ASFixedMatrix* m,
                                       const ASFixedRect* s) {
    gAcroSupportHFT->ASFixedMatrixTransformRect(r, m, s);
}

// Host text.
inline ASText asTextFromUTF8(const char* s) {
    return gASExtraHFT->ASTextFromUTF8(s);
}
inline const char* asTextGetUTF8(ASText t) {
    return gASExtraHFT->ASTextGetUTF8(t);
}
inline void asTextDestroy(ASText t) {
    gASExtraHFT->ASTextDestroy(t);
}

// Application and views (the commonly used ones; others call gAcroViewHFT directly).
inline ASInt32 avAlert(ASInt32 icon, const char* msg, const char* b1, const char* b2,
                       const char* b3, ASBool beep) {
    return gAcroViewHFT->AVAlert(icon, msg, b1, b2, b3, beep);
}
inline void avSysBeep(ASInt32 duration) {
    gAcroViewHFT->AVSysBeep(duration);
}
inline AVDoc avAppGetActiveDoc() {
    return gAcroViewHFT->AVAppGetActiveDoc();
}
inline PDDoc avDocGetPDDoc(AVDoc d) {
    return gAcroViewHFT->AVDocGetPDDoc(d);
}
inline AVPageView avDocGetPageView(AVDoc d) {
    return gAcroViewHFT->AVDocGetPageView(d);
}
inline AVWindow avDocGetAVWindow(AVDoc d) {
    return gAcroViewHFT->AVDocGetAVWindow(d);
}
// The first of the host's open documents for which pred(doc) is true; null when none is.
template <class Pred>
AVDoc findOpenDoc(Pred pred) {
    ASInt32 n = gAcroViewHFT->AVAppGetNumDocs();
    for (ASInt32 i = 0; i < n; ++i) {
        AVDoc d = gAcroViewHFT->AVAppGetDocByIndex(i);
        if (d && pred(d)) return d;
    }
    return nullptr;
}
inline AVDoc avPageViewGetAVDoc(AVPageView pv) {
    return gAcroViewHFT->AVPageViewGetAVDoc(pv);
}
inline PDPage avPageViewGetPage(AVPageView pv) {
    return gAcroViewHFT->AVPageViewGetPage(pv);
}
inline ASInt32 avPageViewGetPageNum(AVPageView pv) {
    return gAcroViewHFT->AVPageViewGetPageNum(pv);
}
inline void avWindowBecomeKey(AVWindow w) {
    gAcroViewHFT->AVWindowBecomeKey(w);
}
inline ASUns32 asGetTickCount() {
    return gAcroViewHFT->ASGetTickCount();
}
