#include "Common/ColorSupport.h"

#include "Common/Prefs.h"

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/Scopes.h"

namespace {
PDEColorSpec emptySpec() {
    PDEColorSpec s;
    std::memset(&s, 0, sizeof s);
    return s;
}
ASFixed toFixed(float v) {
    return asFloatToFixed(v);
}
}  // namespace

AVRGBColor16 getViewColor(float r, float g, float b) {
    auto c = [](float v) {
        if (!(v > 0)) return static_cast<ASUns16>(0);
        if (v >= 1) return static_cast<ASUns16>(0xFFFF);
        return static_cast<ASUns16>(std::lround(v * 65535.0));
    };
    return AVRGBColor16{c(r), c(g), c(b)};
}

PDEColorSpec getCMYKColor(float c, float m, float y, float k) {
    PDEColorSpec s = emptySpec();
    s.space = getCMYKSpace();
    s.value.color[0] = toFixed(c);
    s.value.color[1] = toFixed(m);
    s.value.color[2] = toFixed(y);
    s.value.color[3] = toFixed(k);
    return s;
}

PDEColorSpec getGrayColor(float g) {
    PDEColorSpec s = emptySpec();
    s.space = getGraySpace();
    s.value.color[0] = toFixed(g);
    return s;
}

// Shared colour spaces and graphics states, per Cos document, while a scope lives.
namespace {

struct SharedResources {
    int scopes = 0;
    std::map<std::pair<CosDoc, std::string>, PDEColorSpace> spaces;
    std::map<std::pair<CosDoc, bool>, PDEExtGState> gstates;
    std::map<std::pair<CosDoc, std::string>, CosObj> objects;
} gShared;

// The same space written as one indirect object of the current document.
PDEColorSpace indirectSpace(PDEColorSpace space) {
    CosObj a = pdeColorSpaceGetCosObj(space);
    if (cosObjGetType(a) != CosArray || cosObjIsIndirect(a)) return space;
    ASInt32 n = cosArrayLength(a);
    CosObj shared = cosNewArray(gCosDoc, true, n);
    for (ASInt32 i = 0; i < n; ++i) cosArrayInsert(shared, i, cosArrayGet(a, i));
    PDEColorSpace made = pdeColorSpaceCreateFromCosObj(&shared);
    pdeRelease(space);
    return made;
}

PDEColorSpace makeAllSpace(const void*) {
    return getAllSpace(false);
}

}  // namespace

SharedResourcesScope::SharedResourcesScope() {
    ++gShared.scopes;
}

SharedResourcesScope::~SharedResourcesScope() {
    if (--gShared.scopes > 0) return;
    for (auto& [key, space] : gShared.spaces) pdeRelease(space);
    for (auto& [key, gstate] : gShared.gstates) pdeRelease(gstate);
    gShared.spaces.clear();
    gShared.gstates.clear();
    gShared.objects.clear();
}

bool sharingResources() {
    return gShared.scopes > 0;
}

CosObj getSharedObject(CosDoc doc, const std::string& key) {
    if (gShared.scopes == 0 || !doc) return CosObj();
    auto it = gShared.objects.find(std::make_pair(doc, key));
    return it == gShared.objects.end() ? CosObj() : it->second;
}

void putSharedObject(CosDoc doc, const std::string& key, CosObj obj) {
    if (gShared.scopes == 0 || !doc) return;
    gShared.objects[std::make_pair(doc, key)] = obj;
}

PDEColorSpace getSharedSpace(const char* key, PDEColorSpace (*make)(const void*),
                             const void* data) {
    if (gShared.scopes == 0 || !gCosDoc) return make(data);
    auto k = std::make_pair(gCosDoc, std::string(key));
    auto it = gShared.spaces.find(k);
    if (it == gShared.spaces.end()) {
        PDEColorSpace space = indirectSpace(make(data));
        it = gShared.spaces.emplace(k, space).first;
    }
    pdeAcquire(reinterpret_cast<PDEObject>(it->second));
    return it->second;
}

PDEExtGState getPathGState(bool overprint) {
    auto make = [overprint] {
        ElementRef egs(gPDFEditWriteHFT->PDEExtGStateCreateNew(gCosDoc));
        if (overprint) {
            gPDFEditWriteHFT->PDEExtGStateSetOPFill(egs.get(), true);
            gPDFEditWriteHFT->PDEExtGStateSetOPStroke(egs.get(), true);
        }
        return egs.release();
    };
    if (gShared.scopes == 0 || !gCosDoc) return make();
    auto k = std::make_pair(gCosDoc, overprint);
    auto it = gShared.gstates.find(k);
    if (it == gShared.gstates.end()) it = gShared.gstates.emplace(k, make()).first;
    pdeAcquire(reinterpret_cast<PDEObject>(it->second));
    return it->second;
}

PDEColorSpec getAllColor(float tint) {
    PDEColorSpec s = emptySpec();
    s.space = getSharedSpace("All", makeAllSpace, nullptr);
    s.value.color[0] = toFixed(tint);
    return s;
}

PDEColorSpec getNoneColor() {
    PDEColorSpec s = emptySpec();
    s.space = getSharedSpace(
        "None", [](const void*) { return getNoneSpace(); }, nullptr);
    s.value.color[0] = fixedOne;
    return s;
}

PDEColorSpec getSepColorSpec(const char* name, const float cmyk[4]) {
    PDEColorSpec s = emptySpec();
    CosObj space = getSepSpaceObj(name, cmyk);
    s.space = pdeColorSpaceCreateFromCosObj(&space);
    s.value.color[0] = fixedOne;
    return s;
}

void freeColorSpec(PDEColorSpec* spec) {
    if (!spec) return;
    pdeRelease(spec->space);
    spec->space = nullptr;
}

// Document colour spaces.

namespace {
struct EnumCtx {
    EnumDocColorsProc proc;
    long data;
};
ASBool enumColorProc(CosObj resource, CosObj, ASClientData client) {
    auto* ctx = static_cast<EnumCtx*>(client);
    return ctx->proc(resource, ctx->data);
}
}  // namespace

void EnumDocColors(PDDoc doc, ASInt32 first, ASInt32 last, EnumDocColorsProc proc, long data) {
    if (!doc || !proc) return;
    EnumCtx ctx{proc, data};
    gPDModelHFT->PDDocEnumResources(doc, first, last, asAtomFromString("ColorSpace"), enumColorProc,
                                    &ctx);
}

void EnumDocColors(PDDoc doc, EnumDocColorsProc proc, long data) {
    EnumDocColors(doc, 0, -1, proc, data);
}

namespace {
bool collectProc(CosObj space, long data) {
    reinterpret_cast<std::vector<CosObj>*>(data)->push_back(space);
    return true;
}
}  // namespace

CosObj* getColorSpaces(PDDoc doc, ASInt32 first, ASInt32 last, ASInt32* count) {
    std::vector<CosObj> found;
    EnumDocColors(doc, first, last, collectProc, reinterpret_cast<long>(&found));
    if (count) *count = static_cast<ASInt32>(found.size());
    if (found.empty()) return nullptr;
    CosObj* out = new CosObj[found.size() + 1];
    for (size_t i = 0; i < found.size(); ++i) out[i] = found[i];
    return out;
}

bool devN1ToSep(CosObj* spaces, ASInt32 count) {
    bool ok = true;
    for (ASInt32 i = 0; i < count; ++i) {
        CosObj s = spaces[i];
        if (cosObjGetType(s) != CosArray || getColorSpace(s, nullptr) != kDeviceN) continue;
        CosObj names = cosArrayGet(s, 1);
        if (cosObjGetType(names) != CosArray) continue;
        if (cosArrayLength(names) != 1) {
            ok = false;
            continue;
        }
        CosDoc doc = cosObjGetDoc(s);
        cosArrayPut(s, 0, cosNewName(doc, false, "Separation"));
        cosArrayPut(s, 1, cosArrayGet(names, 0));
        if (cosArrayLength(s) >= 5) cosArrayRemoveNth(s, 4);
    }
    return ok;
}

namespace {
std::string sepName(CosObj s) {
    if (cosObjGetType(s) != CosArray || getColorSpace(s, nullptr) != kSeparation) return {};
    CosObj n = cosArrayGet(s, 1);
    if (cosObjGetType(n) != CosName) return {};
    return asAtomGetString(cosNameValue(n));
}
}  // namespace

void changeColorSpaces(PDDoc doc, ASInt32 first, ASInt32 last, const char* letters) {
    if (!doc || !letters) return;
    ASInt32 count = 0;
    CosObj* spaces = getColorSpaces(doc, first, last, &count);
    if (!spaces) return;
    struct Free {
        CosObj* p;
        ~Free() { delete[] p; }
    } release{spaces};
    devN1ToSep(spaces, count);

    std::vector<std::string> reserved;
    for (const char* p = letters; *p; ++p) reserved.emplace_back(1, *p);
    for (const char* n : {"All", "None", "Cyan", "Magenta", "Yellow", "Black"})
        reserved.emplace_back(n);
    // The trim lines' separation is the sheet's own, never a colour of the source.
    char trimLines[256] = "";
    getTrimLinesColorParams(trimLines, nullptr);
    if (trimLines[0]) reserved.emplace_back(trimLines);
    auto isReserved = [&](const std::string& n) {
        for (const auto& r : reserved)
            if (r == n) return true;
        return false;
    };

    CosDoc cosDoc = pdDocGetCosDoc(doc);
    ASInt32 pos = 0;
    for (const char* p = letters; *p; ++p) {
        std::string letter(1, *p);
        std::string spot;
        for (; pos < count; ++pos) {
            std::string n = sepName(spaces[pos]);
            if (!n.empty() && !isReserved(n)) {
                spot = n;
                break;
            }
        }
        if (spot.empty()) return;
        reserved.push_back(spot);
        CosObj found = spaces[pos++];
        CosObj name = cosArrayGet(found, 1);
        CosObj alt = cosArrayGet(found, 2);
        CosObj tint = cosArrayGet(found, 3);
        for (ASInt32 i = 0; i < count; ++i) {
            if (sepName(spaces[i]) != letter) continue;
            cosArrayPut(spaces[i], 1, cosNewName(cosDoc, false, cosNameValue(name)));
            cosArrayPut(spaces[i], 2, cosObjCopy(alt, cosDoc, true));
            cosArrayPut(spaces[i], 3, cosObjCopy(tint, cosDoc, true));
        }
    }
}

void changeColorSpaces(PDDoc doc, const char* letters) {
    changeColorSpaces(doc, 0, -1, letters);
}

void changeColorSpaces(PDDoc doc, PDPage page, const char* letters) {
    if (!page) return;
    ASInt32 n = gPDModelHFT->PDPageGetNumber(page);
    changeColorSpaces(doc, n, n, letters);
}
