#include "Common/ColorSpaces.h"

#include <cstring>

#include "Common/BoxDesc.h"
#include "Common/Scopes.h"

const char* const kColorSpaces[11] = {"DeviceGray", "DeviceCMYK", "DeviceRGB",  "CalGray",
                                      "CalRGB",     "Lab",        "Separation", "DeviceN",
                                      "Indexed",    "Pattern",    "ICCBased"};

const char* getColorSpace(ASInt32 index) {
    if (index < 0 || index > kICCBased) return nullptr;
    return kColorSpaces[index];
}

ASInt32 getColorSpace(const char* name) {
    if (!name) return kUnknownSpace;
    for (ASInt32 i = 0; i <= kICCBased; ++i)
        if (std::strcmp(name, kColorSpaces[i]) == 0) return i;
    return kUnknownSpace;
}

ASInt32 getColorSpace(PDEColorSpace space) {
    if (!space) return kUnknownSpace;
    return getColorSpace(asAtomGetString(pdeColorSpaceGetName(space)));
}

ASInt32 getColorSpace(CosObj space, char* name) {
    CosObj family = space;
    if (cosObjGetType(space) == CosArray) family = cosArrayGet(space, 0);
    if (name) name[0] = 0;
    if (cosObjGetType(family) != CosName) return kUnknownSpace;
    const char* text = asAtomGetString(cosNameValue(family));
    if (name) {
        std::strncpy(name, text, 63);
        name[63] = 0;
    }
    return getColorSpace(text);
}

ASInt32 getIndexedBaseSpace(CosObj indexed) {
    CosObj base = cosArrayGet(indexed, 1);
    ASInt32 family = getColorSpace(base, nullptr);
    // An indexed space over an ICC profile counts as the profile's alternate.
    if (family == kICCBased) return getICCAltSpace(cosArrayGet(base, 1));
    return family;
}

ASInt32 getICCAltSpace(CosObj icc) {
    if (!cosObjIsDictOrStream(icc)) return kUnknownSpace;
    CosObj alt = cosDictGet(icc, "Alternate");
    if (cosObjGetType(alt) != CosNull) return getColorSpace(alt, nullptr);
    // No alternate: the device family with the profile's number of components.
    switch (getKeyValueInt(icc, "N", 0)) {
        case 1:
            return kDeviceGray;
        case 3:
            return kDeviceRGB;
        case 4:
            return kDeviceCMYK;
        default:
            return kUnknownSpace;
    }
}

PDEColorSpace getCMYKSpace() {
    return pdeColorSpaceCreateFromName(asAtomFromString("DeviceCMYK"));
}
PDEColorSpace getGraySpace() {
    return pdeColorSpaceCreateFromName(asAtomFromString("DeviceGray"));
}

namespace {

CosObj realArray(const float* v, int n) {
    CosObj a = cosNewArray(gCosDoc, false, n);
    for (int i = 0; i < n; ++i) cosArrayInsert(a, i, cosNewFloat(gCosDoc, false, v[i]));
    return a;
}

CosObj unitRange(int pairs) {
    float v[8];
    const std::size_t n = 2 * static_cast<std::size_t>(pairs);
    for (std::size_t k = 0; k < n; k += 2) {
        v[k] = 0;
        v[k + 1] = 1;
    }
    return realArray(v, 2 * pairs);
}

PDEColorSpace makeSeparation(const char* name, PDEColorSpace alt, CosObj tint) {
    PDESeparationColorData data;
    data.name = asAtomFromString(name);
    data.alt = alt;
    data.tintTransform = tint;
    struct Release {
        PDEColorSpace space;
        ~Release() { pdeRelease(space); }
    } release{alt};  // the new space holds its own reference to the alternate
    return pdeColorSpaceCreate(asAtomFromString("Separation"), &data);
}

}  // namespace

PDEColorSpace getAllSpace(bool gray) {
    int n = gray ? 1 : 4;
    const float zeros[4] = {0, 0, 0, 0}, ones[4] = {1, 1, 1, 1};
    CosObj f = cosNewDict(gCosDoc, false, 5);
    cosDictPut(f, "FunctionType", cosNewInteger(gCosDoc, false, 2));
    cosDictPut(f, "Domain", unitRange(1));
    cosDictPut(f, "C0", realArray(zeros, n));
    cosDictPut(f, "C1", realArray(ones, n));
    cosDictPut(f, "Range", unitRange(n));
    cosDictPut(f, "N", cosNewInteger(gCosDoc, false, 1));
    return makeSeparation("All", gray ? getGraySpace() : getCMYKSpace(), f);
}

PDEColorSpace getNoneSpace() {
    CosObj attrs = cosNewDict(gCosDoc, false, 3);
    cosDictPut(attrs, "FunctionType", cosNewInteger(gCosDoc, false, 4));
    cosDictPut(attrs, "Domain", unitRange(1));
    cosDictPut(attrs, "Range", unitRange(1));
    CosObj f = cosNewStream(gCosDoc, "{}", 2, attrs);
    return makeSeparation("None", getGraySpace(), f);
}

CosObj getSepSpaceObj(const char* name, const float cmyk[4]) {
    ASUns8 samples[1024];
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 4; ++k)
            samples[4 * i + k] = static_cast<ASUns8>(static_cast<int>(cmyk[k] * i));
    CosObj attrs = cosNewDict(gCosDoc, false, 5);
    cosDictPut(attrs, "FunctionType", cosNewInteger(gCosDoc, false, 0));
    cosDictPut(attrs, "Domain", unitRange(1));
    cosDictPut(attrs, "Range", unitRange(4));
    cosDictPut(attrs, "BitsPerSample", cosNewInteger(gCosDoc, false, 8));
    CosObj size = cosNewArray(gCosDoc, false, 1);
    cosArrayInsert(size, 0, cosNewInteger(gCosDoc, false, 256));
    cosDictPut(attrs, "Size", size);
    CosObj f = cosNewStream(gCosDoc, reinterpret_cast<const char*>(samples), sizeof samples, attrs);
    CosObj a = cosNewArray(gCosDoc, false, 4);
    cosArrayInsert(a, 0, cosNewName(gCosDoc, false, "Separation"));
    cosArrayInsert(a, 1, cosNewName(gCosDoc, false, name));
    cosArrayInsert(a, 2, cosNewName(gCosDoc, false, "DeviceCMYK"));
    cosArrayInsert(a, 3, f);
    return a;
}

namespace {
// Host memory handed out by a stream read, freed at the end of the scope.
struct HostBlock {
    char* p = nullptr;
    ~HostBlock() {
        if (p) asFree(p);
    }
};

bool readStream(CosObj s, HostBlock& data, ASSize_t& len) {
    len = 0;
    if (cosObjGetType(s) != CosStream) return false;
    // An unreadable stream counts as absent.
    if (!logHostErrors("reading a colour space's stream",
                       [&] { data.p = cosStreamGetData(s, &len); }))
        return false;
    return data.p != nullptr;
}
}  // namespace

ASInt32 getCMYKCustomColors(CosObj function, float cmyk[4]) {
    if (!cosObjIsDictOrStream(function)) return -1;
    ASInt32 type = getKeyValueInt(function, "FunctionType", -1);
    if (type == 0 && getKeyValueInt(function, "BitsPerSample", 0) == 8) {
        HostBlock data;
        ASSize_t len = 0;
        if (!readStream(function, data, len) || len < 4) return -108;
        CosObj range = cosDictGet(function, "Range");
        const ASUns8* last = reinterpret_cast<const ASUns8*>(data.p) + len - 4;
        for (int k = 0; k < 4; ++k) {
            float upper = 1.0f;
            CosObj u = cosObjGetType(range) == CosArray ? cosArrayGet(range, 2 * k + 1) : CosObj();
            CosType ut = cosObjGetType(u);
            if (ut == CosInteger || ut == CosFixed) upper = cosFloatValue(u);
            cmyk[k] = last[k] * upper / 255.0f;
        }
        return 0;
    }
    if (type == 2) {
        CosObj c1 = cosDictGet(function, "C1");
        if (cosObjGetType(c1) != CosArray) return -1;
        for (int k = 0; k < 4; ++k) {
            CosObj v = cosArrayGet(c1, k);
            CosType t = cosObjGetType(v);
            cmyk[k] = (t == CosInteger || t == CosFixed) ? cosFloatValue(v) : 0.0f;
        }
        return 0;
    }
    if (type == 4) {
        HostBlock data;
        ASSize_t len = 0;
        if (!readStream(function, data, len)) return -108;
        if (len >= 7 && std::memcmp(data.p, "{0 0 0}", 7) == 0) {
            cmyk[0] = 1;
            cmyk[1] = cmyk[2] = cmyk[3] = 0;
            return 0;
        }
        return -1;
    }
    return -1;
}

bool getSepCMYK(CosObj separation, float cmyk[4]) {
    if (cosObjGetType(separation) != CosArray) return false;
    return getCMYKCustomColors(cosArrayGet(separation, 3), cmyk) == 0;
}

bool isSpotBlack(CosObj separation) {
    float c[4] = {0, 0, 0, 0};
    if (!getSepCMYK(separation, c)) return false;
    return c[0] <= 0.01f && c[1] <= 0.01f && c[2] <= 0.01f && c[3] >= 0.99f;
}
