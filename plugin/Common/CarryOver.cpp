#include "Common/CarryOver.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Common/ErrorHandling.h"
#include "Common/PDEText.h"
#include "Common/ProcessColors.h"

namespace {

ASBool copyEntryProc(CosObj key, CosObj value, ASClientData data) {
    cosDictPut(*static_cast<CosObj*>(data), cosNameValue(key), value);
    return true;
}

bool isName(CosObj o, const char* name) {
    return cosObjGetType(o) == CosName && cosNameValue(o) == asAtomFromString(name);
}

bool contains(CosObj array, CosObj item) {
    if (cosObjGetType(array) != CosArray) return false;
    ASInt32 n = cosArrayLength(array);
    for (ASInt32 i = 0; i < n; ++i)
        if (cosObjEqual(cosArrayGet(array, i), item)) return true;
    return false;
}

void appendItem(CosObj array, CosObj item) {
    cosArrayInsert(array, cosArrayLength(array), item);
}

// The array or dictionary (type) under key, made empty when the dictionary has none.
CosObj entryAt(CosObj dict, const char* key, CosDoc doc, CosType type) {
    CosObj o = cosDictGet(dict, key);
    if (cosObjGetType(o) == type) return o;
    o = type == CosArray ? cosNewArray(doc, false, 0) : cosNewDict(doc, false, 4);
    cosDictPut(dict, key, o);
    return o;
}
CosObj arrayAt(CosObj dict, const char* key, CosDoc doc) {
    return entryAt(dict, key, doc, CosArray);
}

std::string stringValue(CosObj o) {
    if (cosObjGetType(o) != CosString) return "";
    ASSize_t len = 0;
    char* bytes = gCosHFT->CosCopyStringValue(o, &len);
    std::string s = bytes ? std::string(bytes, len) : std::string();
    if (bytes) asFree(bytes);
    return s;
}

std::string streamData(CosObj s) {
    if (cosObjGetType(s) != CosStream) return "";
    ASSize_t len = 0;
    char* data = cosStreamGetData(s, &len);
    std::string out = data ? std::string(data, len) : std::string();
    if (data) asFree(data);
    return out;
}

// A text string of the file: UTF-16BE with its byte-order mark when it is not plain
// ASCII, so that any name reads right.
CosObj textString(CosDoc doc, const std::string& utf8) {
    bool ascii = true;
    for (unsigned char c : utf8) ascii = ascii && c < 0x80;
    if (ascii) return cosNewString(doc, false, utf8.data(), utf8.size());
    std::string be = "\xFE\xFF";
    const std::string& u = utf8;
    for (size_t i = 0; i < u.size();) {
        unsigned char c = static_cast<unsigned char>(u[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < u.size()) {
            cp = ((c & 7u) << 18) | ((u[i + 1] & 0x3Fu) << 12) | ((u[i + 2] & 0x3Fu) << 6) |
                 (u[i + 3] & 0x3Fu);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < u.size()) {
            cp = ((c & 15u) << 12) | ((u[i + 1] & 0x3Fu) << 6) | (u[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < u.size()) {
            cp = ((c & 31u) << 6) | (u[i + 1] & 0x3Fu);
            n = 2;
        }
        i += n;
        auto unit = [&](uint32_t v) {
            be += static_cast<char>(v >> 8);
            be += static_cast<char>(v & 0xFF);
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return cosNewString(doc, false, be.data(), be.size());
}

// PDFDocEncoding at 0x80 to 0xA0 (0 where it has no character); above, Latin-1.
const char16_t kPdfDoc80[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

// A text string of the file as UTF-8: UTF-16BE with its mark, else PDFDocEncoding.
std::string textOf(CosObj o) {
    std::string s = stringValue(o);
    std::string out;
    if (s.size() < 2 || static_cast<unsigned char>(s[0]) != 0xFE ||
        static_cast<unsigned char>(s[1]) != 0xFF) {
        for (unsigned char c : s) {
            uint32_t cp = c >= 0x80 && c <= 0xA0 ? kPdfDoc80[c - 0x80] : c;
            if (cp) appendUtf8(out, cp);
        }
        return out;
    }
    for (size_t i = 2; i + 1 < s.size(); i += 2) {
        uint32_t cp =
            (static_cast<unsigned char>(s[i]) << 8) | static_cast<unsigned char>(s[i + 1]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < s.size()) {
            uint32_t lo =
                (static_cast<unsigned char>(s[i + 2]) << 8) | static_cast<unsigned char>(s[i + 3]);
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            i += 2;
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string docName(PDDoc doc) {
    char name[512] = "";
    gPDModelHFT->PDDocGetName(doc, name, sizeof name);
    if (!name[0]) gPDModelHFT->PDDocGetInfo(doc, "Title", name, sizeof name);
    return name[0] ? name : "Untitled";
}

// A page's entry, or its nearest page-tree node's (Resources, Rotate).
CosObj inherited(CosObj page, const char* key) {
    for (int depth = 0; depth < 64 && cosObjIsDictOrStream(page); ++depth) {
        CosObj v = cosDictGet(page, key);
        if (cosObjGetType(v) != CosNull) return v;
        page = cosDictGet(page, "Parent");
    }
    return CosObj();
}

// Copies of the items of a source array into dst.
std::vector<CosObj> copiedItems(CosObj array, CosDoc dst) {
    std::vector<CosObj> out;
    if (cosObjGetType(array) != CosArray) return out;
    ASInt32 n = cosArrayLength(array);
    for (ASInt32 i = 0; i < n; ++i) out.push_back(cosObjCopy(cosArrayGet(array, i), dst, true));
    return out;
}

}  // namespace

// Optional content.

void carryOptionalContent(PDDoc src, PDDoc dst) {
    if (!src || !dst || src == dst) return;
    CosDoc srcCos = pdDocGetCosDoc(src), dstCos = pdDocGetCosDoc(dst);
    if (srcCos == dstCos) return;
    CosObj props = cosDictGet(cosDocGetRoot(srcCos), "OCProperties");
    if (cosObjGetType(props) != CosDict) return;
    CosObj groups = cosDictGet(props, "OCGs");
    if (cosObjGetType(groups) != CosArray || cosArrayLength(groups) == 0) return;
    CosObj root = cosDocGetRoot(dstCos);
    CosObj mine = cosDictGet(root, "OCProperties");
    // Copies of one source object are one object in dst: a source whose first group is
    // listed already was merged before.
    CosObj first = cosObjCopy(cosArrayGet(groups, 0), dstCos, true);
    if (cosObjGetType(mine) == CosDict && contains(cosDictGet(mine, "OCGs"), first)) return;
    if (cosObjGetType(mine) != CosDict) {
        mine = cosNewDict(dstCos, false, 2);
        cosDictPut(root, "OCProperties", mine);
    }
    CosObj myGroups = arrayAt(mine, "OCGs", dstCos);
    CosObj myConfig = entryAt(mine, "D", dstCos, CosDict);
    CosObj srcConfig = cosDictGet(props, "D");
    bool srcOffByDefault = isName(cosDictGet(srcConfig, "BaseState"), "OFF");
    std::vector<CosObj> on = copiedItems(cosDictGet(srcConfig, "ON"), dstCos);
    std::vector<CosObj> off = copiedItems(cosDictGet(srcConfig, "OFF"), dstCos);
    auto listed = [](const std::vector<CosObj>& v, CosObj o) {
        for (const CosObj& x : v)
            if (cosObjEqual(x, o)) return true;
        return false;
    };
    // The names already there, from the destination itself and other sources.
    std::set<std::string> others;
    for (ASInt32 i = 0; i < cosArrayLength(myGroups); ++i)
        others.insert(textOf(cosDictGet(cosArrayGet(myGroups, i), "Name")));
    const std::string label = docName(src);

    std::vector<CosObj> mineNow;
    CosObj myOn, myOff;
    for (const CosObj& g : copiedItems(groups, dstCos)) {
        if (cosObjGetType(g) != CosDict || contains(myGroups, g)) continue;
        appendItem(myGroups, g);
        mineNow.push_back(g);
        std::string name = textOf(cosDictGet(g, "Name"));
        if (others.count(name))
            cosDictPut(g, "Name", textString(dstCos, name + " (" + label + ")"));
        // Each group keeps the state it has in its source, whatever the destination's
        // base state is.
        bool isOff = srcOffByDefault ? !listed(on, g) : listed(off, g);
        CosObj& list = isOff ? myOff : myOn;
        if (list.isNullHandle()) list = arrayAt(myConfig, isOff ? "OFF" : "ON", dstCos);
        if (!contains(list, g)) appendItem(list, g);
    }
    if (mineNow.empty()) return;
    // The source's groups under its name in the layer list.
    CosObj group = cosNewArray(dstCos, false, 0);
    appendItem(group, textString(dstCos, label));
    CosObj order = cosDictGet(srcConfig, "Order");
    if (cosObjGetType(order) == CosArray) {
        for (const CosObj& o : copiedItems(order, dstCos)) appendItem(group, o);
    } else {
        for (const CosObj& g : mineNow) appendItem(group, g);
    }
    appendItem(arrayAt(myConfig, "Order", dstCos), group);
    // Radio-button groups, locked groups and the automatic states for printing and
    // viewing go along.
    for (const char* key : {"RBGroups", "Locked", "AS"}) {
        std::vector<CosObj> items = copiedItems(cosDictGet(srcConfig, key), dstCos);
        if (items.empty()) continue;
        CosObj a = arrayAt(myConfig, key, dstCos);
        for (const CosObj& o : items) appendItem(a, o);
    }
}

// The appearances that print.

namespace {

const ASInt32 kAnnotHidden = 2, kAnnotPrint = 4;

struct Appearance {
    CosObj annot;
    CosObj stream;
};

// The appearance stream that prints for the annotation, or the null object.
CosObj printedAppearance(CosObj annot) {
    if (cosObjGetType(annot) != CosDict) return CosObj();
    CosObj flags = cosDictGet(annot, "F");
    ASInt32 f = cosObjGetType(flags) == CosInteger ? cosIntegerValue(flags) : 0;
    if (!(f & kAnnotPrint) || (f & kAnnotHidden)) return CosObj();
    if (isName(cosDictGet(annot, "Subtype"), "Popup")) return CosObj();
    CosObj ap = cosDictGet(annot, "AP");
    if (cosObjGetType(ap) != CosDict) return CosObj();
    CosObj n = cosDictGet(ap, "N");
    if (cosObjGetType(n) == CosDict) {
        // One appearance per state: the annotation's current one.
        CosObj as = cosDictGet(annot, "AS");
        if (cosObjGetType(as) != CosName) return CosObj();
        n = cosDictGet(n, cosNameValue(as));
    }
    if (cosObjGetType(n) != CosStream) return CosObj();
    if (cosObjGetType(cosDictGet(cosStreamDict(n), "BBox")) != CosArray) return CosObj();
    return n;
}

std::vector<Appearance> printedAppearances(CosObj page) {
    std::vector<Appearance> out;
    CosObj annots = cosDictGet(page, "Annots");
    if (cosObjGetType(annots) != CosArray) return out;
    ASInt32 n = cosArrayLength(annots);
    for (ASInt32 i = 0; i < n; ++i) {
        CosObj a = cosArrayGet(annots, i);
        CosObj s = printedAppearance(a);
        if (!s.isNullHandle()) out.push_back({a, s});
    }
    return out;
}

std::vector<CosObj> printedAppearanceStreams(CosObj page) {
    std::vector<CosObj> out;
    for (const Appearance& a : printedAppearances(page)) out.push_back(a.stream);
    return out;
}

}  // namespace

// Transparency group.

namespace {

bool isNumberBelowOne(CosObj o) {
    CosType t = cosObjGetType(o);
    return (t == CosInteger || t == CosFixed) && cosFloatValue(o) < 0.9999f;
}

struct TransparencyScan {
    std::set<ASInt32> seen;
    int budget = 10000;  // dictionaries looked at, at most

    bool enter(CosObj o) {
        if (--budget < 0) return false;
        if (!cosObjIsIndirect(o)) return true;
        return seen.insert(gCosHFT->CosObjGetID(o)).second;
    }

    bool state(CosObj gs) {
        if (cosObjGetType(gs) != CosDict) return false;
        if (isNumberBelowOne(cosDictGet(gs, "ca")) || isNumberBelowOne(cosDictGet(gs, "CA")))
            return true;
        CosObj bm = cosDictGet(gs, "BM");
        if (cosObjGetType(bm) == CosArray && cosArrayLength(bm) > 0) bm = cosArrayGet(bm, 0);
        if (cosObjGetType(bm) == CosName && !isName(bm, "Normal") && !isName(bm, "Compatible"))
            return true;
        return cosObjGetType(cosDictGet(gs, "SMask")) == CosDict;
    }

    bool xobject(CosObj x) {
        if (cosObjGetType(x) != CosStream || !enter(x)) return false;
        CosObj d = cosStreamDict(x);
        if (isName(cosDictGet(d, "Subtype"), "Image")) {
            if (cosObjGetType(cosDictGet(d, "SMask")) == CosStream) return true;
            CosObj inData = cosDictGet(d, "SMaskInData");
            return cosObjGetType(inData) == CosInteger && cosIntegerValue(inData) > 0;
        }
        return resources(cosDictGet(d, "Resources"));
    }

    bool resources(CosObj r) {
        if (cosObjGetType(r) != CosDict || !enter(r)) return false;
        struct Each {
            TransparencyScan* scan;
            int kind;  // 0 states, 1 objects, 2 patterns, 3 fonts
            bool found = false;
        };
        auto walk = [&](const char* key, int kind) {
            CosObj d = cosDictGet(r, key);
            if (cosObjGetType(d) != CosDict) return false;
            Each e{this, kind};
            cosObjEnum(
                d,
                [](CosObj, CosObj v, ASClientData data) -> ASBool {
                    auto* e = static_cast<Each*>(data);
                    TransparencyScan& s = *e->scan;
                    if (e->kind == 0) {
                        e->found = s.state(v);
                    } else if (e->kind == 1) {
                        e->found = s.xobject(v);
                    } else if (cosObjIsDictOrStream(v) && s.enter(v)) {
                        CosObj d = cosObjGetType(v) == CosStream ? cosStreamDict(v) : v;
                        e->found = s.resources(cosDictGet(d, "Resources")) ||
                                   s.state(cosDictGet(d, "ExtGState"));
                    }
                    return !e->found && s.budget > 0;
                },
                &e);
            return e.found;
        };
        return walk("ExtGState", 0) || walk("XObject", 1) || walk("Pattern", 2) || walk("Font", 3);
    }
};

}  // namespace

bool usesTransparency(CosObj page) {
    TransparencyScan scan;
    if (scan.resources(inherited(page, "Resources"))) return true;
    for (const CosObj& a : printedAppearanceStreams(page))
        if (scan.xobject(a)) return true;
    return false;
}

void carryGroup(CosObj page, CosObj form, CosDoc dstCos) {
    CosObj group = cosDictGet(page, "Group");
    if (cosObjGetType(group) != CosDict) return;
    // The page group sets how transparent objects blend; a page without any draws the
    // same without it, and renderers then leave it aside too.
    if (!usesTransparency(page)) return;
    // A page's group is composited by itself, whatever lies below: placed, it is an
    // isolated group. The dictionary is the form's own, as the page's may be shared.
    CosObj copy = cosObjCopy(group, dstCos, true);
    CosObj mine = cosNewDict(dstCos, false, 4);
    cosObjEnum(copy, copyEntryProc, &mine);
    cosDictPut(mine, "I", gCosHFT->CosNewBoolean(dstCos, false, true));
    cosDictPut(form, "Group", mine);
}

// Annotations.

namespace {

bool numbers(CosObj array, double* v, int n) {
    if (cosObjGetType(array) != CosArray || cosArrayLength(array) < n) return false;
    for (int i = 0; i < n; ++i) {
        CosObj o = cosArrayGet(array, i);
        CosType t = cosObjGetType(o);
        if (t != CosInteger && t != CosFixed) return false;
        v[i] = t == CosInteger ? cosIntegerValue(o) : cosFloatValue(o);
    }
    return true;
}

// The matrix that draws the appearance into the annotation's rectangle: its bounding
// box, transformed by its own matrix, mapped onto the rectangle. An annotation that
// does not turn with its page (NoRotate) on a page turned by rotate degrees keeps its
// upper-left corner and is turned back against the page, so that it reads upright.
bool appearanceMatrix(CosObj annot, CosObj stream, ASInt32 rotate, double m[6]) {
    double rect[4], bbox[4], own[6] = {1, 0, 0, 1, 0, 0};
    if (!numbers(cosDictGet(annot, "Rect"), rect, 4)) return false;
    CosObj dict = cosStreamDict(stream);
    if (!numbers(cosDictGet(dict, "BBox"), bbox, 4)) return false;
    numbers(cosDictGet(dict, "Matrix"), own, 6);
    double rx0 = std::min(rect[0], rect[2]), rx1 = std::max(rect[0], rect[2]);
    double ry0 = std::min(rect[1], rect[3]), ry1 = std::max(rect[1], rect[3]);
    // the turn applied after the appearance's own matrix
    double turn[6] = {1, 0, 0, 1, 0, 0};
    CosObj flags = cosDictGet(annot, "F");
    bool noRotate = cosObjGetType(flags) == CosInteger && (cosIntegerValue(flags) & 16);
    rotate = ((rotate % 360) + 360) % 360;
    if (noRotate && rotate % 90 == 0 && rotate != 0) {
        double w = rx1 - rx0, h = ry1 - ry0;
        if (rotate == 90) {
            turn[0] = 0, turn[1] = 1, turn[2] = -1, turn[3] = 0;
            rx1 = rx0 + h, ry0 = ry1, ry1 = ry0 + w;
        } else if (rotate == 180) {
            turn[0] = -1, turn[3] = -1;
            rx1 = rx0, rx0 = rx1 - w, ry0 = ry1, ry1 = ry0 + h;
        } else {
            turn[0] = 0, turn[1] = -1, turn[2] = 1, turn[3] = 0;
            rx1 = rx0, rx0 = rx1 - h, ry0 = ry1 - w;
        }
    }
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int c = 0; c < 4; ++c) {
        double x = bbox[c & 1 ? 2 : 0], y = bbox[c & 2 ? 3 : 1];
        double ox = own[0] * x + own[2] * y + own[4], oy = own[1] * x + own[3] * y + own[5];
        double tx = turn[0] * ox + turn[2] * oy, ty = turn[1] * ox + turn[3] * oy;
        x0 = std::min(x0, tx);
        y0 = std::min(y0, ty);
        x1 = std::max(x1, tx);
        y1 = std::max(y1, ty);
    }
    if (x1 - x0 < 1e-6 || y1 - y0 < 1e-6) return false;
    double sx = (rx1 - rx0) / (x1 - x0), sy = (ry1 - ry0) / (y1 - y0);
    // the turn first, then the fit onto the rectangle
    m[0] = sx * turn[0];
    m[1] = sy * turn[1];
    m[2] = sx * turn[2];
    m[3] = sy * turn[3];
    m[4] = rx0 - x0 * sx;
    m[5] = ry0 - y0 * sy;
    return std::isfinite(m[4]) && std::isfinite(m[5]);
}

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.5f", std::fabs(v) < 1e-9 ? 0.0 : v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// A name not yet used in the dictionary.
std::string freshName(CosObj dict, const char* stem, int& counter) {
    for (;;) {
        std::string n = stem + std::to_string(++counter);
        if (!cosDictKnown(dict, n.c_str())) return n;
    }
}

CosObj shallowCopy(CosObj dict, CosDoc doc) {
    CosObj c = cosNewDict(doc, false, 8);
    if (cosObjGetType(dict) == CosDict) cosObjEnum(dict, copyEntryProc, &c);
    return c;
}

}  // namespace

bool hasPrintableAnnotations(CosObj page) {
    return !printedAppearances(page).empty();
}

bool flattenAnnotations(CosObj page, CosObj form, CosDoc dstCos, ASUns8 cmyk[4]) {
    std::vector<Appearance> shown = printedAppearances(page);
    if (shown.empty()) return false;
    CosObj formDict = cosStreamDict(form);
    // Resources of the form's own: the appearances are this page's alone.
    CosObj res = shallowCopy(cosDictGet(formDict, "Resources"), dstCos);
    CosObj xobjects = shallowCopy(cosDictGet(res, "XObject"), dstCos);
    CosObj properties = shallowCopy(cosDictGet(res, "Properties"), dstCos);
    bool usesProperties = false;
    std::string ops;
    int counter = 0;
    CosObj r = inherited(page, "Rotate");
    ASInt32 rotate = cosObjGetType(r) == CosInteger ? cosIntegerValue(r) : 0;
    for (const Appearance& a : shown) {
        double m[6] = {1, 0, 0, 1, 0, 0};
        if (!appearanceMatrix(a.annot, a.stream, rotate, m)) continue;
        CosObj ap = cosObjCopy(a.stream, dstCos, true);
        CosObj apDict = cosStreamDict(ap);
        // An appearance is a form XObject, whether or not it says so.
        cosDictPut(apDict, "Type", cosNewName(dstCos, false, "XObject"));
        cosDictPut(apDict, "Subtype", cosNewName(dstCos, false, "Form"));
        std::string name = freshName(xobjects, "VxAnnot", counter);
        cosDictPut(xobjects, name.c_str(), ap);
        std::string draw = "q " + number(m[0]) + " " + number(m[1]) + " " + number(m[2]) + " " +
                           number(m[3]) + " " + number(m[4]) + " " + number(m[5]) + " cm /" + name +
                           " Do Q\n";
        // An annotation on a layer is shown with its layer.
        CosObj oc = cosDictGet(a.annot, "OC");
        if (cosObjGetType(oc) == CosDict) {
            std::string tag = freshName(properties, "VxOC", counter);
            cosDictPut(properties, tag.c_str(), cosObjCopy(oc, dstCos, true));
            usesProperties = true;
            draw = "/OC /" + tag + " BDC\n" + draw + "EMC\n";
        }
        ops += draw;
        // The colours of the appearance count for the sheet's plates.
        ASUns8 used[4] = {0, 0, 0, 0};
        std::string data = streamData(a.stream);
        if (!scanProcessColors(data.data(), data.size(),
                               cosDictGet(cosStreamDict(a.stream), "Resources"), used))
            used[0] = used[1] = used[2] = used[3] = 1;
        for (int i = 0; i < 4; ++i) cmyk[i] = static_cast<ASUns8>(cmyk[i] | used[i]);
    }
    if (ops.empty()) return false;
    cosDictPut(res, "XObject", xobjects);
    if (usesProperties) cosDictPut(res, "Properties", properties);
    cosDictPut(formDict, "Resources", res);
    // The page's drawing in a state of its own, then the annotations in the page's
    // coordinates.
    std::string data = "q\n" + streamData(form) + "\nQ\n" + ops;
    gCosHFT->CosStreamSetData(form, data.data(), data.size(),
                              cosNewName(dstCos, false, "FlateDecode"), cosNull(), false);
    return true;
}

// Output intents.

namespace {

bool sameIntent(CosObj a, CosObj b) {
    if (cosObjEqual(a, b)) return true;
    if (cosObjGetType(a) != CosDict || cosObjGetType(b) != CosDict) return false;
    CosObj sa = cosDictGet(a, "S"), sb = cosDictGet(b, "S");
    if (cosObjGetType(sa) != CosName || cosObjGetType(sb) != CosName ||
        cosNameValue(sa) != cosNameValue(sb))
        return false;
    if (stringValue(cosDictGet(a, "OutputConditionIdentifier")) !=
        stringValue(cosDictGet(b, "OutputConditionIdentifier")))
        return false;
    CosObj pa = cosDictGet(a, "DestOutputProfile"), pb = cosDictGet(b, "DestOutputProfile");
    if (cosObjGetType(pa) != cosObjGetType(pb)) return false;
    if (cosObjGetType(pa) != CosStream || cosObjEqual(pa, pb)) return true;
    return streamData(pa) == streamData(pb);
}

struct WarnedPair {
    PDDoc src = nullptr, dst = nullptr;
} gWarned;

}  // namespace

bool sameOutputIntents(CosObj a, CosObj b) {
    if (cosObjEqual(a, b)) return true;
    if (cosObjGetType(a) != CosArray || cosObjGetType(b) != CosArray) return false;
    ASInt32 n = cosArrayLength(a);
    if (n != cosArrayLength(b)) return false;
    for (ASInt32 i = 0; i < n; ++i)
        if (!sameIntent(cosArrayGet(a, i), cosArrayGet(b, i))) return false;
    return true;
}

CosObj pageOutputIntents(CosObj page) {
    CosObj oi = cosDictGet(page, "OutputIntents");
    return cosObjGetType(oi) == CosArray && cosArrayLength(oi) > 0 ? oi : cosNull();
}

void carryOutputIntents(PDDoc src, PDDoc dst) {
    if (!src || !dst || src == dst) return;
    CosDoc srcCos = pdDocGetCosDoc(src), dstCos = pdDocGetCosDoc(dst);
    if (srcCos == dstCos) return;
    CosObj theirs = cosDictGet(cosDocGetRoot(srcCos), "OutputIntents");
    if (cosObjGetType(theirs) != CosArray || cosArrayLength(theirs) == 0) return;
    CosObj root = cosDocGetRoot(dstCos);
    CosObj mine = cosDictGet(root, "OutputIntents");
    if (cosObjGetType(mine) != CosArray || cosArrayLength(mine) == 0) {
        cosDictPut(root, "OutputIntents", cosObjCopy(theirs, dstCos, true));
        return;
    }
    if (sameOutputIntents(mine, theirs)) return;
    if (gWarned.src == src && gWarned.dst == dst) return;
    gWarned = {src, dst};
    std::string a = stringValue(cosDictGet(cosArrayGet(theirs, 0), "OutputConditionIdentifier"));
    std::string b = stringValue(cosDictGet(cosArrayGet(mine, 0), "OutputConditionIdentifier"));
    dprintf(
        "\twarning: %s is made for the output condition \"%s\", the document for \"%s\"; "
        "the document keeps its own\n",
        docName(src).c_str(), a.c_str(), b.c_str());
}

// Metadata.

namespace {

std::string xmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // Control characters other than tab and line ends are not XML.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    out += ' ';
                else
                    out += c;
        }
    }
    return out;
}

// "D:YYYYMMDDHHmmSS+HH'mm'" as XMP's "YYYY-MM-DDTHH:mm:SS+HH:mm"; empty when the date
// cannot be read.
std::string xmpDate(const std::string& pdf) {
    std::string d = pdf.compare(0, 2, "D:") == 0 ? pdf.substr(2) : pdf;
    size_t digits = 0;
    while (digits < d.size() && digits < 14 && std::isdigit(static_cast<unsigned char>(d[digits])))
        ++digits;
    if (digits < 4) return "";
    std::string full = d.substr(0, digits);
    const char* fill = "0000010100000000";
    while (full.size() < 14) full += fill[full.size()];
    std::string out = full.substr(0, 4) + "-" + full.substr(4, 2) + "-" + full.substr(6, 2) + "T" +
                      full.substr(8, 2) + ":" + full.substr(10, 2) + ":" + full.substr(12, 2);
    std::string zone = d.substr(digits);
    if (zone.empty() || zone[0] == 'Z') return out + "Z";
    if ((zone[0] == '+' || zone[0] == '-') && zone.size() >= 3) {
        std::string hh = zone.substr(1, 2), mm = "00";
        size_t q = zone.find('\'');
        if (q != std::string::npos && zone.size() >= q + 3) mm = zone.substr(q + 1, 2);
        return out + zone[0] + hh + ":" + mm;
    }
    return out;
}

std::string pdfDateNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    long off = local.tm_gmtoff;
    char buf[64];
    std::snprintf(buf, sizeof buf, "D:%04d%02d%02d%02d%02d%02d%c%02ld'%02ld'", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  off < 0 ? '-' : '+', std::labs(off) / 3600, (std::labs(off) % 3600) / 60);
    return buf;
}

std::string uuid() {
    std::random_device rd;
    std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd() ^
                        static_cast<uint64_t>(std::time(nullptr)));
    uint64_t a = gen(), b = gen();
    a = (a & ~0xF000ull) | 0x4000ull;                // version 4
    b = (b & 0x3FFFFFFFFFFFFFFFull) | (1ull << 63);  // variant 1
    char buf[48];
    std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                  static_cast<unsigned>(b >> 48),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return buf;
}

// The value of an XMP property written as an attribute (name="value") or as an
// element (<name>value</name>); empty when the packet has none.
std::string xmpValue(const std::string& xmp, const std::string& name) {
    size_t at = xmp.find(name + "=\"");
    if (at != std::string::npos) {
        size_t s = at + name.size() + 2, e = xmp.find('"', s);
        if (e != std::string::npos) return xmp.substr(s, e - s);
    }
    at = xmp.find(name + "='");
    if (at != std::string::npos) {
        size_t s = at + name.size() + 2, e = xmp.find('\'', s);
        if (e != std::string::npos) return xmp.substr(s, e - s);
    }
    at = xmp.find("<" + name + ">");
    if (at != std::string::npos) {
        size_t s = at + name.size() + 2, e = xmp.find("</" + name + ">", s);
        if (e != std::string::npos) return xmp.substr(s, e - s);
    }
    return "";
}

std::string infoText(PDDoc doc, const char* key) {
    char buf[1024] = "";
    if (gPDModelHFT->PDDocGetInfo(doc, key, buf, sizeof buf) <= 0) return "";
    return buf;
}

}  // namespace

std::string makeXmpPacket(const std::vector<std::pair<std::string, std::string>>& info,
                          const std::vector<std::pair<std::string, std::string>>& ids) {
    auto value = [&](const char* key) {
        for (const auto& [k, v] : info)
            if (k == key) return v;
        return std::string();
    };
    std::string x =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\"\n"
        "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
        "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
        "    xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"\n"
        "    xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"\n"
        "    xmlns:pdfxid=\"http://www.npes.org/pdfx/ns/id/\"\n"
        "    xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n";
    x += "   <dc:format>application/pdf</dc:format>\n";
    if (!value("Title").empty())
        x += "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + xmlEscape(value("Title")) +
             "</rdf:li></rdf:Alt></dc:title>\n";
    if (!value("Author").empty())
        x += "   <dc:creator><rdf:Seq><rdf:li>" + xmlEscape(value("Author")) +
             "</rdf:li></rdf:Seq></dc:creator>\n";
    if (!value("Subject").empty())
        x += "   <dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
             xmlEscape(value("Subject")) + "</rdf:li></rdf:Alt></dc:description>\n";
    if (!value("Keywords").empty())
        x += "   <pdf:Keywords>" + xmlEscape(value("Keywords")) + "</pdf:Keywords>\n";
    if (!value("Producer").empty())
        x += "   <pdf:Producer>" + xmlEscape(value("Producer")) + "</pdf:Producer>\n";
    if (!value("Trapped").empty())
        x += "   <pdf:Trapped>" + xmlEscape(value("Trapped")) + "</pdf:Trapped>\n";
    if (!value("Creator").empty())
        x += "   <xmp:CreatorTool>" + xmlEscape(value("Creator")) + "</xmp:CreatorTool>\n";
    std::string created = xmpDate(value("CreationDate")), changed = xmpDate(value("ModDate"));
    if (!created.empty()) x += "   <xmp:CreateDate>" + created + "</xmp:CreateDate>\n";
    if (!changed.empty()) {
        x += "   <xmp:ModifyDate>" + changed + "</xmp:ModifyDate>\n";
        x += "   <xmp:MetadataDate>" + changed + "</xmp:MetadataDate>\n";
    }
    std::string id = uuid();
    x += "   <xmpMM:DocumentID>uuid:" + id + "</xmpMM:DocumentID>\n";
    x += "   <xmpMM:InstanceID>uuid:" + id + "</xmpMM:InstanceID>\n";
    x += "   <xmpMM:VersionID>1</xmpMM:VersionID>\n";
    x += "   <xmpMM:RenditionClass>default</xmpMM:RenditionClass>\n";
    for (const auto& [k, v] : ids) x += "   <" + k + ">" + xmlEscape(v) + "</" + k + ">\n";
    x += "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n";
    // Room for editors to change the packet in place.
    x += std::string(20, ' ') + "\n<?xpacket end=\"w\"?>";
    return x;
}

void writeImposedMetadata(PDDoc dst, PDDoc src) {
    if (!dst) return;
    CosDoc dstCos = pdDocGetCosDoc(dst);
    std::string now = pdfDateNow();
    for (const char* key : {"CreationDate", "ModDate"})
        if (infoText(dst, key).empty())
            gPDModelHFT->PDDocSetInfo(dst, key, now.c_str(), static_cast<ASInt32>(now.size()));

    // The source's identification holds when the document carries its output intents.
    std::vector<std::pair<std::string, std::string>> ids;
    CosObj mine = cosDictGet(cosDocGetRoot(dstCos), "OutputIntents");
    if (src && cosObjGetType(mine) == CosArray) {
        CosDoc srcCos = pdDocGetCosDoc(src);
        CosObj theirs = cosDictGet(cosDocGetRoot(srcCos), "OutputIntents");
        if (sameOutputIntents(mine, theirs)) {
            std::string xmp = streamData(cosDictGet(cosDocGetRoot(srcCos), "Metadata"));
            CosObj srcInfo = gCosHFT->CosDocGetInfoDict(srcCos);
            std::string version = xmpValue(xmp, "pdfxid:GTS_PDFXVersion");
            for (const char* key : {"GTS_PDFXVersion", "GTS_PDFXConformance"}) {
                std::string v = infoText(src, key);
                if (!v.empty())
                    gPDModelHFT->PDDocSetInfo(dst, key, v.c_str(), static_cast<ASInt32>(v.size()));
                if (version.empty() && std::strcmp(key, "GTS_PDFXVersion") == 0) version = v;
            }
            if (!version.empty()) ids.emplace_back("pdfxid:GTS_PDFXVersion", version);
            for (const char* key : {"pdfaid:part", "pdfaid:conformance"}) {
                std::string v = xmpValue(xmp, key);
                if (!v.empty()) ids.emplace_back(key, v);
            }
            // Trapping is a property of the pages, which are the source's.
            CosObj trapped =
                cosObjGetType(srcInfo) == CosDict ? cosDictGet(srcInfo, "Trapped") : cosNull();
            CosObj dstInfo = gCosHFT->CosDocGetInfoDict(dstCos);
            if (cosObjGetType(trapped) == CosName && cosObjGetType(dstInfo) == CosDict)
                cosDictPut(dstInfo, "Trapped",
                           cosNewName(dstCos, false, asAtomGetString(cosNameValue(trapped))));
        }
    }
    std::vector<std::pair<std::string, std::string>> info;
    for (const char* key : {"Title", "Author", "Subject", "Keywords", "Creator", "Producer",
                            "CreationDate", "ModDate"})
        info.emplace_back(key, infoText(dst, key));
    CosObj dstInfo = gCosHFT->CosDocGetInfoDict(dstCos);
    if (cosObjGetType(dstInfo) == CosDict) {
        CosObj trapped = cosDictGet(dstInfo, "Trapped");
        if (cosObjGetType(trapped) == CosName)
            info.emplace_back("Trapped", asAtomGetString(cosNameValue(trapped)));
    }
    std::string xmp = makeXmpPacket(info, ids);
    CosObj attrs = cosNewDict(dstCos, false, 2);
    cosDictPut(attrs, "Type", cosNewName(dstCos, false, "Metadata"));
    cosDictPut(attrs, "Subtype", cosNewName(dstCos, false, "XML"));
    // Metadata stays readable as plain text.
    CosObj stream =
        gCosHFT->CosNewStream(dstCos, xmp.data(), xmp.size(), attrs, cosNull(), cosNull(), false);
    cosDictPut(cosDocGetRoot(dstCos), "Metadata", stream);
}
