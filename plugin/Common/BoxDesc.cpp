#include "Common/BoxDesc.h"

#include <string_view>

#include <cstdlib>
#include <cstring>

#include "Common/PIUtils.h"
#include "Common/PageContent.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

namespace {
ASInt32 gSelCounter = 1;

// Longest string the helpers read.
constexpr ASSize_t kMaxString = 256;
}  // namespace

// Cos helpers.

ASInt16 getKeyValue(CosObj dict, const char* key, CosObj* out, ASInt32* type) {
    if (!cosObjIsDictOrStream(dict)) return -1;
    CosObj v = cosDictGet(dict, key);
    CosType t = cosObjGetType(v);
    if (t == CosNull) return -2;
    if (out) *out = v;
    if (type) *type = t;
    return 0;
}

ASInt32 getKeyValueInt(CosObj dict, const char* key, ASInt32 def) {
    CosObj v;
    ASInt32 type = CosNull;
    if (getKeyValue(dict, key, &v, &type) != 0) return def;
    if (type == CosInteger) return cosIntegerValue(v);
    if (type == CosString) {
        char buf[kMaxString];
        cosStringValue(v, buf, sizeof buf);
        return static_cast<ASInt32>(std::strtol(buf, nullptr, 10));
    }
    return def;
}

ASFixed getKeyValueFixed(CosObj dict, const char* key, ASFixed def) {
    CosObj v;
    ASInt32 type = CosNull;
    if (getKeyValue(dict, key, &v, &type) != 0) return def;
    if (type == CosInteger || type == CosFixed) return cosFixedValue(v);
    return def;
}

bool getKeyValueString(CosObj dict, const char* key, char* dst, ASInt32 size) {
    if (!dst || size <= 0) return false;
    CosObj v;
    ASInt32 type = CosNull;
    if (getKeyValue(dict, key, &v, &type) != 0) return false;
    ASSize_t cap =
        static_cast<ASSize_t>(size) < kMaxString ? static_cast<ASSize_t>(size) : kMaxString;
    if (type == CosName) {
        const char* text = asAtomGetString(cosNameValue(v));
        std::strncpy(dst, text ? text : "", cap - 1);
        dst[cap - 1] = 0;
        return true;
    }
    if (type == CosString) {
        cosStringValue(v, dst, cap);
        return true;
    }
    return false;
}

void putKeyValue(CosObj dict, const char* key, CosObj value) {
    // Putting a key replaces the value it had.
    cosDictPut(dict, asAtomFromString(key), value);
}
void putKeyValue(CosObj dict, const char* key, ASInt32 value) {
    putKeyValue(dict, key, cosNewInteger(gCosDoc, false, value));
}
void putKeyValueFixed(CosObj dict, const char* key, ASFixed value) {
    putKeyValue(dict, key, cosNewFixed(gCosDoc, false, value));
}
void putKeyValue(CosObj dict, const char* key, const char* value, bool asName) {
    if (!value) value = "";
    CosObj v = asName ? cosNewName(gCosDoc, false, value)
                      : cosNewString(gCosDoc, false, value, std::strlen(value));
    putKeyValue(dict, key, v);
}

// Frame dictionaries.

CosObj getVexaDict(PDEElement elem) {
    if (!elem || pdeObjectGetType(elem) != kPDEContainer) return CosObj();
    return pdeContainerGetDict(elem);
}

namespace {
ASInt32 getInt(PDEElement e, const char* key, ASInt32 def) {
    return getKeyValueInt(getVexaDict(e), key, def);
}
ASFixed getFixed(PDEElement e, const char* key, ASFixed def) {
    return getKeyValueFixed(getVexaDict(e), key, def);
}
void putInt(PDEElement e, const char* key, ASInt32 v) {
    putKeyValue(getVexaDict(e), key, v);
}
void putFixed(PDEElement e, const char* key, ASFixed v) {
    putKeyValueFixed(getVexaDict(e), key, v);
}
}  // namespace

void setBoxNum(PDEElement elem, ASInt32 num) {
    putInt(elem, "boxnum", num);
}
ASInt32 getBoxNum(PDEElement elem) {
    return getInt(elem, "boxnum", 0);
}
void setGray(PDEElement elem, ASInt32 gray) {
    putInt(elem, "gray", gray);
}
ASInt32 getGray(PDEElement elem) {
    return getInt(elem, "gray", 0);
}
void setFrameRotation(PDEElement elem, ASInt32 rotation) {
    putInt(elem, "rotation", rotation);
}
ASInt32 getFrameRotation(PDEElement elem) {
    ASInt32 r = getInt(elem, "rotation", 360);
    if (r != 360) return r;
    return getRotated(elem) ? 180 : 0;
}
bool getRotated(PDEElement elem) {
    return getInt(elem, "rotated", 0) == 1;
}
void setSelected2(PDEElement elem, ASInt32 sel) {
    putInt(elem, "sel2", sel);
}
ASInt32 getSelected2(PDEElement elem) {
    return getInt(elem, "sel2", 0);
}

void setXOff(PDEElement elem, ASFixed v) {
    putFixed(elem, "xOff", v);
}
void setYOff(PDEElement elem, ASFixed v) {
    putFixed(elem, "yOff", v);
}
void setScale(PDEElement elem, ASFixed v) {
    putFixed(elem, "scale", v);
}
void setDisplacement(PDEElement elem, ASFixed v) {
    putFixed(elem, "dx", v);
}
void setMoveLimit(PDEElement elem, ASFixed v) {
    putFixed(elem, "ml", v);
}
ASFixed getMoveLimit(PDEElement elem) {
    return getFixed(elem, "ml", 0);
}

void setBBox(PDEElement elem, const ASFixedRect* rect) {
    CosObj d = getVexaDict(elem);
    putKeyValueFixed(d, "top", rect->top);
    putKeyValueFixed(d, "left", rect->left);
    putKeyValueFixed(d, "bottom", rect->bottom);
    putKeyValueFixed(d, "right", rect->right);
}
ASFixedRect getBBox(PDEElement elem) {
    CosObj d = getVexaDict(elem);
    ASFixedRect r;
    r.left = getKeyValueFixed(d, "left", 0);
    r.top = getKeyValueFixed(d, "top", 0);
    r.right = getKeyValueFixed(d, "right", 0);
    r.bottom = getKeyValueFixed(d, "bottom", 0);
    return r;
}

ASFixedRect getBBox(CosObj obj) {
    ASFixedRect r{0, 0, 0, 0};
    CosObj a;
    ASInt32 type = CosNull;
    if (getKeyValue(obj, "BBox", &a, &type) != 0 || type != CosArray) return r;
    ASFixed v[4] = {0, 0, 0, 0};
    for (ASInt32 i = 0; i < 4 && i < cosArrayLength(a); ++i) {
        CosObj n = cosArrayGet(a, i);
        CosType t = cosObjGetType(n);
        if (t == CosInteger || t == CosFixed) v[i] = cosFixedValue(n);
    }
    r.left = v[0];
    r.bottom = v[1];
    r.right = v[2];
    r.top = v[3];
    return r;
}
ASFixedRect getFormBBox(PDEElement form) {
    if (!form || pdeObjectGetType(form) != kPDEForm) return ASFixedRect{0, 0, 0, 0};
    return getBBox(pdeFormGetCosObj(form));
}

void setBleedRect(PDEElement elem, const ASFixedRect* bleed) {
    CosObj d = getVexaDict(elem);
    putKeyValueFixed(d, "bl", bleed->left);
    putKeyValueFixed(d, "bt", bleed->top);
    putKeyValueFixed(d, "br", bleed->right);
    putKeyValueFixed(d, "bb", bleed->bottom);
}
ASFixedRect getBleedRect(CosObj d) {
    ASFixedRect r;
    r.left = getKeyValueFixed(d, "bl", 0);
    r.top = getKeyValueFixed(d, "bt", 0);
    r.right = getKeyValueFixed(d, "br", 0);
    r.bottom = getKeyValueFixed(d, "bb", 0);
    return r;
}
ASFixedRect getBleedRect(PDEElement elem) {
    return getBleedRect(getVexaDict(elem));
}

void setJobInfoStr(PDEElement elem, const char* key, const char* value) {
    putKeyValue(getVexaDict(elem), key, value, false);
}
void getJobInfoStr(PDEElement elem, const char* key, char* dst, const char* fallback) {
    dst[0] = 0;
    if (!getKeyValueString(getVexaDict(elem), key, dst, kMaxString)) dst[0] = 0;
    if (dst[0]) return;
    getJobInfoStr(key, dst);
    if (dst[0]) return;
    std::strncpy(dst, fallback ? fallback : "", kMaxString - 1);
    dst[kMaxString - 1] = 0;
}

// Selection tags.

void setSelected(PDEElement elem, bool selected) {
    pdeAddTag(elem, kSelTag, selected ? gSelCounter : 0);
    ++gSelCounter;
}
ASInt32 getSelIndex(PDEElement elem) {
    ASInt32 v = 0;
    if (!elem || !pdeGetTag(elem, kSelTag, &v)) return 0;
    return v;
}
bool getSelected(PDEElement elem) {
    return getSelIndex(elem) > 0;
}

// Old frame dictionaries.

namespace {

bool countDirectProc(CContent*, PDEElement frame, long, long data) {
    CosObj d;
    ASBool isInline = false;
    if (gPDFEditReadHFT->PDEContainerGetDict(frame, &d, &isInline) && !cosObjIsIndirect(d))
        ++*reinterpret_cast<ASInt32*>(data);
    return true;
}

ASBool copyEntryProc(CosObj key, CosObj value, ASClientData data) {
    cosDictPut(*static_cast<CosObj*>(data), cosNameValue(key), value);
    return true;
}

struct RepairCtx {
    CosDoc cosDoc;
    ASInt32 converted;
};

bool repairProc(CContent*, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<RepairCtx*>(data);
    CosObj old;
    ASBool isInline = false;
    if (!gPDFEditReadHFT->PDEContainerGetDict(frame, &old, &isInline) || cosObjIsIndirect(old))
        return true;
    CosObj fresh = cosNewDict(ctx->cosDoc, true, 0);
    cosObjEnum(old, copyEntryProc, &fresh);
    pdeContainerSetDict(frame, &fresh, isInline);
    ++ctx->converted;
    return true;
}

// Frames are marked content with a property list: a page whose content has no "BDC"
// holds none, and its content need not be read as elements. Content that cannot be
// read here is left to the full walk.
bool mayHoldFrames(PDPage page) {
    auto marks = [](CosObj s) {
        if (cosObjGetType(s) != CosStream) return false;
        ASSize_t len = 0;
        char* p = cosStreamGetData(s, &len);
        bool has = p && std::string_view(p, len).find("BDC") != std::string_view::npos;
        if (p) asFree(p);
        return has;
    };
    bool found = false;
    bool read = logHostErrors("looking for frames in a page's contents", [&] {
        CosObj c = cosDictGet(pdPageGetCosObj(page), "Contents");
        if (cosObjGetType(c) == CosArray) {
            for (ASInt32 i = 0; i < cosArrayLength(c) && !found; ++i)
                found = marks(cosArrayGet(c, i));
        } else {
            found = marks(c);
        }
    });
    return found || !read;
}

}  // namespace

bool mayHoldOldFrames(PDDoc doc) {
    if (!doc) return false;
    float version = getVexaVersion(doc);
    if (version > 0) return version < 6.0f;
    bool marked = false;
    // A catalog that cannot be read is looked at page by page.
    if (!logHostErrors("reading the catalog", [&] {
            marked =
                cosObjGetType(cosDictGet(cosDocGetRoot(pdDocGetCosDoc(doc)), "Vexa")) == CosDict;
        }))
        marked = true;
    return marked;
}

ASInt32 makeFrameDictsIndirect(PDDoc doc) {
    if (!doc) return 0;
    RepairCtx ctx{pdDocGetCosDoc(doc), 0};
    ASInt32 n = pdDocGetNumPages(doc);
    for (ASInt32 i = 0; i < n; ++i) {
        CPage page(doc, i);
        if (!mayHoldFrames(page.getPage())) continue;
        ASInt32 direct = 0;
        EnumForms(page.getPage(), countDirectProc, reinterpret_cast<long>(&direct), false, false);
        if (direct > 0)
            EnumForms(page.getPage(), repairProc, reinterpret_cast<long>(&ctx), true, false);
    }
    return ctx.converted;
}
