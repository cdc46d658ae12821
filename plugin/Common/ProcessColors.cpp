#include "Common/ProcessColors.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Common/ColorSpaces.h"
#include "Common/PageContent.h"
#include "Common/Scopes.h"

namespace {

enum { kC = 0, kM = 1, kY = 2, kK = 3 };

void setAll(ASUns8* f) {
    f[kC] = f[kM] = f[kY] = f[kK] = 1;
}

// An indexed base or an ICC alternate.
void addByDerivedFamily(ASInt32 family, ASUns8* f) {
    if (family == kDeviceCMYK || family == kDeviceRGB || family == kCalRGB)
        setAll(f);
    else if (family == kDeviceGray || family == kCalGray)
        f[kK] = 1;
}

// A DeviceN space ([/DeviceN names alternate tint]) marks the process plates it names.
void addDeviceNPlates(CosObj space, ASUns8* f) {
    CosObj names = cosArrayGet(space, 1);
    if (cosObjGetType(names) != CosArray) return;
    static const char* const kPlates[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (ASInt32 i = 0; i < cosArrayLength(names); ++i) {
        CosObj n = cosArrayGet(names, i);
        if (cosObjGetType(n) != CosName) continue;
        const char* text = asAtomGetString(cosNameValue(n));
        for (int k = 0; k < 4; ++k)
            if (std::strcmp(text, kPlates[k]) == 0) f[k] = 1;
    }
}

void addColorSpec(const PDEColorSpec& spec, ASUns8* f) {
    if (!spec.space) return;
    ASInt32 family = getColorSpace(spec.space);
    const ASFixed* v = spec.value.color;
    switch (family) {
        case kDeviceCMYK:
            for (int k = 0; k < 4; ++k)
                if (v[k] > 0) f[k] = 1;
            break;
        case kDeviceGray:
        case kCalGray:
            if (v[0] < fixedOne) f[kK] = 1;
            break;
        case kDeviceRGB:
        case kCalRGB:
        case kLab:
        case kPattern:
            setAll(f);
            break;
        case kDeviceN:
            addDeviceNPlates(pdeColorSpaceGetCosObj(spec.space), f);
            break;
        case kIndexed:
            addByDerivedFamily(getIndexedBaseSpace(pdeColorSpaceGetCosObj(spec.space)), f);
            break;
        case kICCBased:
            addByDerivedFamily(getICCAltSpace(cosArrayGet(pdeColorSpaceGetCosObj(spec.space), 1)),
                               f);
            break;
        default:  // Separation and unknown families use no process plate
            break;
    }
}

// Only the colours an element paints with count: a filled shape's stroke colour
// (black by default) uses no plate.
void addGState(const PDEGraphicState& gs, bool fill, bool stroke, ASUns8* f) {
    if (fill) addColorSpec(gs.fillColorSpec, f);
    if (stroke) addColorSpec(gs.strokeColorSpec, f);
}

// The plates an image in a space of the family uses: gray ones black alone, others all
// four (an indexed image's palette is not read); an ICC-based one (its array in icc)
// those of its alternate space.
void addImageFamily(ASInt32 family, CosObj icc, ASUns8* f) {
    switch (family) {
        case kDeviceGray:
        case kCalGray:
            f[kK] = 1;
            break;
        case kDeviceCMYK:
        case kDeviceRGB:
        case kCalRGB:
        case kLab:
        case kIndexed:
            setAll(f);
            break;
        case kICCBased:
            addByDerivedFamily(getICCAltSpace(cosArrayGet(icc, 1)), f);
            break;
        default:
            break;
    }
}

void addImageSpace(PDEColorSpace cs, ASUns8* f) {
    ASInt32 family = getColorSpace(cs);
    addImageFamily(family, family == kICCBased ? pdeColorSpaceGetCosObj(cs) : CosObj{}, f);
}

bool processColorsProc(CContent*, PDEElement e, long, PDEType type, long data) {
    ASUns8* f = reinterpret_cast<ASUns8*>(data);
    if (isAllColors(f)) return false;
    PDEGraphicState gs;
    switch (type) {
        case kPDEText: {
            ASInt32 runs = pdeTextGetNumRuns(e);
            for (ASInt32 r = 0; r < runs; ++r) {
                std::memset(&gs, 0, sizeof gs);
                pdeTextRunGetGState(e, r, &gs);
                PDETextState ts;
                std::memset(&ts, 0, sizeof ts);
                gPDFEditReadHFT->PDETextRunGetTextState(e, r, &ts, sizeof ts);
                // Render modes: 0 fill, 1 stroke, 2 both, 3 invisible; 4..7 add a clip.
                ASInt32 mode = ts.renderMode & 3;
                addGState(gs, mode == 0 || mode == 2, mode == 1 || mode == 2, f);
            }
            break;
        }
        case kPDEPath: {
            std::memset(&gs, 0, sizeof gs);
            PDEPathOpFlags op = gPDFEditReadHFT->PDEPathGetPaintOp(e);
            if (pdeGetGState(e, &gs))
                addGState(gs, (op & (kPDEFill | kPDEEoFill)) != 0, (op & kPDEStroke) != 0, f);
            break;
        }
        case kPDEImage: {
            PDEImageAttrs attrs;
            std::memset(&attrs, 0, sizeof attrs);
            pdeImageGetAttrs(e, &attrs);
            if (attrs.flags & kPDEImageIsMask) {
                std::memset(&gs, 0, sizeof gs);
                if (pdeGetGState(e, &gs)) addGState(gs, true, false, f);
            } else {
                addImageSpace(pdeImageGetColorSpace(e), f);
            }
            break;
        }
        case kPDEShading: {
            CosObj sh = pdeShadingGetCosObj(e);
            if (cosObjIsDictOrStream(sh))
                addByDerivedFamily(getColorSpace(cosDictGet(sh, "ColorSpace"), nullptr), f);
            break;
        }
        default:
            break;
    }
    return !isAllColors(f);
}

}  // namespace

bool isAllColors(const ASUns8 cmyk[4]) {
    return cmyk[0] == 1 && cmyk[1] == 1 && cmyk[2] == 1 && cmyk[3] == 1;
}

void getProcessColors(PDEContent content, ASUns8 cmyk[4]) {
    for (int k = 0; k < 4; ++k) cmyk[k] = 0;
    if (!content) return;
    CContent level(content, nullptr, nullptr);
    level.enumContent(processColorsProc, reinterpret_cast<long>(cmyk));
}

// The scan of a raw content stream: the same answer as getProcessColors over the
// content read as elements, without building them. It knows paths, text, colours,
// images and shadings; on anything else (forms drawn by the content, inline images,
// operators it does not know, resources it cannot find) it gives up and the caller
// reads the content as elements instead.
namespace {

struct Spec {
    ASInt32 family = kDeviceGray;
    CosObj space{};  // the space's array (DeviceN, Indexed, ICCBased)
    double v[4] = {0, 0, 0, 0};
};

struct ScanState {
    Spec fill, stroke;
    int renderMode = 0;
};

class Scanner {
  public:
    Scanner(const char* data, size_t len, CosObj resources, ASUns8* f)
        : p_(data), end_(data + len), resources_(resources), f_(f) {}

    // False when the content holds something the scan does not read.
    bool run();

  private:
    struct Operand {
        char kind;  // 'n' number, '/' name, 's' other
        std::string text;
    };

    bool isWhite(char c) const {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
    }
    bool isDelim(char c) const {
        return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
               c == '}' || c == '/' || c == '%';
    }
    bool skipString();
    bool skipHexOrDict();
    bool skipArray();
    bool op(const std::string& o);
    bool deviceColor(const std::string& o);
    bool imageXObject();
    bool setSpace(Spec& spec, const std::string& name);
    bool lookup(const char* category, const std::string& name, CosObj* out) const;
    void add(const Spec& spec);
    double num(size_t fromEnd) const {
        return fromEnd < ops_.size() ? std::atof(ops_[ops_.size() - 1 - fromEnd].text.c_str()) : 0;
    }
    // The last name among the operands; false when there is none.
    bool lastName(std::string* name) const {
        for (size_t i = ops_.size(); i-- > 0;)
            if (ops_[i].kind == '/') {
                *name = ops_[i].text;
                return true;
            }
        return false;
    }
    size_t trailingNumbers() const {
        size_t k = 0;
        while (k < ops_.size() && ops_[ops_.size() - 1 - k].kind == 'n') ++k;
        return k;
    }
    bool done() const { return isAllColors(f_); }

    const char* p_;
    const char* end_;
    CosObj resources_;
    ASUns8* f_;
    std::vector<Operand> ops_;
    ScanState st_;
    std::vector<ScanState> saved_;
};

bool Scanner::skipString() {
    int depth = 0;
    for (; p_ < end_; ++p_) {
        if (*p_ == '\\') {
            ++p_;
            continue;
        }
        if (*p_ == '(') ++depth;
        if (*p_ == ')' && --depth == 0) {
            ++p_;
            return true;
        }
    }
    return false;
}

bool Scanner::skipHexOrDict() {
    if (p_ + 1 < end_ && p_[1] == '<') {  // a dictionary (marked-content properties)
        int depth = 0;
        while (p_ < end_) {
            if (*p_ == '(') {
                if (!skipString()) return false;
                continue;
            }
            if (*p_ == '<' && p_ + 1 < end_ && p_[1] == '<') {
                ++depth;
                p_ += 2;
                continue;
            }
            if (*p_ == '>' && p_ + 1 < end_ && p_[1] == '>') {
                p_ += 2;
                if (--depth == 0) return true;
                continue;
            }
            ++p_;
        }
        return false;
    }
    const char* close = static_cast<const char*>(std::memchr(p_, '>', end_ - p_));
    if (!close) return false;
    p_ = close + 1;
    return true;
}

bool Scanner::skipArray() {
    ++p_;
    while (p_ < end_) {
        char c = *p_;
        if (c == ']') {
            ++p_;
            return true;
        }
        if (c == '(') {
            if (!skipString()) return false;
        } else if (c == '<') {
            if (!skipHexOrDict()) return false;
        } else if (c == '[') {
            if (!skipArray()) return false;
        } else {
            ++p_;
        }
    }
    return false;
}

bool Scanner::lookup(const char* category, const std::string& name, CosObj* out) const {
    if (!cosObjIsDictOrStream(resources_)) return false;
    CosObj dict = cosDictGet(resources_, category);
    if (!cosObjIsDictOrStream(dict)) return false;
    CosObj v = cosDictGet(dict, name.c_str());
    if (cosObjGetType(v) == CosNull) return false;
    *out = v;
    return true;
}

bool Scanner::setSpace(Spec& spec, const std::string& name) {
    spec = Spec{};
    CosObj obj{};
    if (name == "DeviceGray" || name == "DeviceRGB" || name == "DeviceCMYK" || name == "Pattern") {
        spec.family = getColorSpace(name.c_str());
    } else {
        if (!lookup("ColorSpace", name, &obj)) return false;
        spec.family = getColorSpace(obj, nullptr);
        if (spec.family == kUnknownSpace) return false;
        spec.space = obj;
    }
    // The initial colour of the space, as the element reader sets it.
    if (spec.family == kDeviceCMYK) spec.v[3] = 1;
    if (spec.family == kSeparation || spec.family == kDeviceN)
        for (double& x : spec.v) x = 1;
    return true;
}

void Scanner::add(const Spec& spec) {
    switch (spec.family) {
        case kDeviceCMYK:
            for (int k = 0; k < 4; ++k)
                if (spec.v[k] > 0) f_[k] = 1;
            break;
        case kDeviceGray:
        case kCalGray:
            if (spec.v[0] < 1) f_[kK] = 1;
            break;
        case kDeviceRGB:
        case kCalRGB:
        case kLab:
        case kPattern:
            setAll(f_);
            break;
        case kDeviceN:
            addDeviceNPlates(spec.space, f_);
            break;
        case kIndexed:
            addByDerivedFamily(getIndexedBaseSpace(spec.space), f_);
            break;
        case kICCBased:
            addByDerivedFamily(getICCAltSpace(cosArrayGet(spec.space, 1)), f_);
            break;
        default:
            break;
    }
}

// The device colours: the operator sets the space and its values (lower case the fill,
// upper case the stroke). False for other operators.
bool Scanner::deviceColor(const std::string& o) {
    static const struct {
        const char *fill, *stroke;
        ASInt32 family;
        int values;
    } kDeviceOps[] = {
        {"g", "G", kDeviceGray, 1}, {"rg", "RG", kDeviceRGB, 3}, {"k", "K", kDeviceCMYK, 4}};
    for (const auto& d : kDeviceOps) {
        if (o != d.fill && o != d.stroke) continue;
        Spec& spec = o == d.fill ? st_.fill : st_.stroke;
        spec = Spec{};
        spec.family = d.family;
        for (int i = 0; i < d.values; ++i) spec.v[i] = num(d.values - 1 - i);
        return true;
    }
    return false;
}

// "Do": an image paints with its space's plates (a stencil mask with the fill colour);
// false for a form or an image without a space, whose colours the scan cannot tell.
bool Scanner::imageXObject() {
    std::string name;
    CosObj x{};
    if (!lastName(&name) || !lookup("XObject", name, &x) || cosObjGetType(x) != CosStream)
        return false;
    CosObj d = cosStreamDict(x);
    CosObj sub = cosDictGet(d, "Subtype");
    if (cosObjGetType(sub) != CosName ||
        std::strcmp(asAtomGetString(cosNameValue(sub)), "Image") != 0)
        return false;  // a form: its own content would have to be read
    CosObj mask = cosDictGet(d, "ImageMask");
    if (cosObjGetType(mask) == CosBoolean && gCosHFT->CosBooleanValue(mask)) {
        add(st_.fill);
        return true;
    }
    CosObj cs = cosDictGet(d, "ColorSpace");
    if (cosObjGetType(cs) == CosNull) return false;
    addImageFamily(getColorSpace(cs, nullptr), cs, f_);
    return true;
}

bool Scanner::op(const std::string& o) {
    auto setValues = [&](Spec& spec, size_t count) {
        for (size_t i = 0; i < count && i < 4; ++i) spec.v[i] = num(count - 1 - i);
    };
    const bool fillOp = o == "f" || o == "F" || o == "f*";
    const bool strokeOp = o == "S" || o == "s";
    const bool bothOp = o == "B" || o == "B*" || o == "b" || o == "b*";
    if (fillOp || strokeOp || bothOp) {
        if (fillOp || bothOp) add(st_.fill);
        if (strokeOp || bothOp) add(st_.stroke);
        return true;
    }
    if (o == "q") {
        saved_.push_back(st_);
        return true;
    }
    if (o == "Q") {
        if (!saved_.empty()) {
            st_ = saved_.back();
            saved_.pop_back();
        }
        return true;
    }
    if (deviceColor(o)) return true;
    if (o == "cs" || o == "CS") {
        std::string name;
        if (!lastName(&name)) return true;
        return setSpace(o == "cs" ? st_.fill : st_.stroke, name);
    }
    if (o == "sc" || o == "scn" || o == "SC" || o == "SCN") {
        Spec& spec = (o[0] == 's') ? st_.fill : st_.stroke;
        size_t k = trailingNumbers();
        if (k > 0) setValues(spec, k);
        return true;
    }
    if (o == "Tr") {
        st_.renderMode = static_cast<int>(num(0));
        return true;
    }
    if (o == "Tj" || o == "TJ" || o == "'" || o == "\"") {
        int mode = st_.renderMode & 3;
        if (mode == 0 || mode == 2) add(st_.fill);
        if (mode == 1 || mode == 2) add(st_.stroke);
        return true;
    }
    if (o == "Do") return imageXObject();
    if (o == "sh") {
        std::string name;
        CosObj sh{};
        if (!lastName(&name) || !lookup("Shading", name, &sh)) return false;
        if (cosObjIsDictOrStream(sh))
            addByDerivedFamily(getColorSpace(cosDictGet(sh, "ColorSpace"), nullptr), f_);
        return true;
    }
    static const char* const kQuiet[] = {
        "cm", "w",  "J",  "j",  "M",  "d",   "ri",  "i",   "gs", "m",  "l",  "c",  "v",
        "y",  "h",  "re", "n",  "W",  "W*",  "BT",  "ET",  "Tc", "Tw", "Tz", "TL", "Tf",
        "Ts", "Td", "TD", "Tm", "T*", "BMC", "BDC", "EMC", "MP", "DP", "BX", "EX"};
    for (const char* q : kQuiet)
        if (o == q) return true;
    return false;  // inline images, glyph descriptions, anything unknown
}

bool Scanner::run() {
    while (p_ < end_ && !done()) {
        char c = *p_;
        if (isWhite(c)) {
            ++p_;
        } else if (c == '%') {
            while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
        } else if (c == '(') {
            if (!skipString()) return false;
            ops_.push_back({'s', ""});
        } else if (c == '<') {
            if (!skipHexOrDict()) return false;
            ops_.push_back({'s', ""});
        } else if (c == '[') {
            if (!skipArray()) return false;
            ops_.push_back({'s', ""});
        } else if (c == '/') {
            ++p_;
            std::string name;
            while (p_ < end_ && !isWhite(*p_) && !isDelim(*p_)) {
                if (*p_ == '#' && p_ + 2 < end_) {
                    name +=
                        static_cast<char>(std::strtol(std::string(p_ + 1, 2).c_str(), nullptr, 16));
                    p_ += 3;
                } else {
                    name += *p_++;
                }
            }
            ops_.push_back({'/', name});
        } else if (c == ')' || c == '>' || c == ']' || c == '{' || c == '}') {
            return false;
        } else {
            const char* start = p_;
            while (p_ < end_ && !isWhite(*p_) && !isDelim(*p_)) ++p_;
            std::string word(start, p_);
            bool number = (word[0] >= '0' && word[0] <= '9') || word[0] == '-' || word[0] == '+' ||
                          word[0] == '.';
            if (number) {
                ops_.push_back({'n', word});
            } else if (word == "true" || word == "false" || word == "null") {
                ops_.push_back({'s', word});
            } else {
                if (!op(word)) return false;
                ops_.clear();
            }
        }
    }
    return true;
}

}  // namespace

bool scanProcessColors(const char* data, size_t len, CosObj resources, ASUns8 cmyk[4]) {
    for (int k = 0; k < 4; ++k) cmyk[k] = 0;
    if (!data) return len == 0;
    bool ok = false;
    // Unreadable resources: the colour is not known.
    logHostErrors("reading the colours of a content stream", [&] {
        Scanner s(data, len, resources, cmyk);
        ok = s.run();
    });
    if (!ok)
        for (int k = 0; k < 4; ++k) cmyk[k] = 0;
    return ok;
}

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

// Decoded bytes of a stream scanned for their colours (freed with the scan's end).
bool scanData(char* data, size_t len, CosObj resources, ASUns8 cmyk[4]) {
    bool read = scanProcessColors(data, len, resources, cmyk);
    if (data) asFree(data);
    return read;
}

}  // namespace

bool scanStreamColors(CosObj stream, CosObj resources, ASUns8 cmyk[4]) {
    // Enough for the set-up of a page's drawing, where its colours are usually chosen.
    constexpr ASSize_t kStart = 1024;
    if (HFT_HAS(gCosHFT, CosStreamGetDataStart)) {
        ASSize_t len = 0;
        char* data = gCosHFT->CosStreamGetDataStart(stream, kStart, &len);
        if (len < kStart) return scanData(data, len, resources, cmyk);  // the whole stream
        // Scanned up to its last white space, so that no operator or number is cut; a
        // string or dictionary cut short makes the scan give up.
        size_t cut = len;
        while (cut > 0 && !isWhiteSpace(data[cut - 1])) --cut;
        if (scanData(data, cut, resources, cmyk) && cut > 0 && isAllColors(cmyk)) return true;
    }
    ASSize_t len = 0;
    char* data = cosStreamGetData(stream, &len);
    return scanData(data, len, resources, cmyk);
}
