#include "NewDoc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BoxDesc.h"
#include "PageContent.h"

bool getPaperRect(PDDoc doc, ASFixedRect& rect) {
    rect = getCropBox(doc, 0);
    CosObj root = cosDocGetRoot(pdDocGetCosDoc(doc));
    CosObj dict = cosDictGet(root, "Vexa");
    if (cosObjGetType(dict) != CosDict) return false;
    CosObj arr = cosDictGet(dict, "PaperRect");
    if (cosObjGetType(arr) != CosArray || cosArrayLength(arr) < 4) return false;
    ASFixed v[4];
    for (int i = 0; i < 4; ++i) {
        CosObj o = cosArrayGet(arr, i);
        CosType t = cosObjGetType(o);
        if (t != CosInteger && t != CosFixed) return false;
        v[i] = cosFixedValue(o);
    }
    ASFixed x = v[0], y = v[1], w = v[2], h = v[3];
    if (x == 0) x = (rect.right - w) / 2;
    if (y == 0) y = (rect.top - h) / 2;
    rect = {x, y + h, x + w, y};
    return true;
}

void setPaperRect(PDDoc doc, ASFixed x, ASFixed y, ASFixed w, ASFixed h) {
    CosDoc cd = pdDocGetCosDoc(doc);
    CosObj root = cosDocGetRoot(cd);
    CosObj dict = cosDictGet(root, "Vexa");
    if (cosObjGetType(dict) != CosDict) {
        dict = cosNewDict(cd, false, 2);
        cosDictPut(dict, "Frames", cosNewInteger(cd, false, 0));
        cosDictPut(root, "Vexa", dict);
        dict = cosDictGet(root, "Vexa");
    }
    CosObj arr = cosNewArray(cd, false, 4);
    const ASFixed v[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i) cosArrayPut(arr, i, cosNewFixed(cd, false, v[i]));
    cosDictPut(dict, "PaperRect", arr);
}

void addVersionInfo(PDDoc doc) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s", "Vexa", kVexaVersionText);
    gPDModelHFT->PDDocSetInfo(doc, "Creator", text, static_cast<ASInt32>(std::strlen(text)));
}

void setDocInfo(PDDoc doc, const char* key, long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    gPDModelHFT->PDDocSetInfo(doc, key, text, static_cast<ASInt32>(std::strlen(text)));
}

long getDocInfoInt32(PDDoc doc, const char* key) {
    char text[256] = "";
    if (gPDModelHFT->PDDocGetInfo(doc, key, text, sizeof text) <= 0) return 0;
    return std::atol(text);
}
