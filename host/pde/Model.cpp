// Basic operations of the content model: references, matrices, colour spaces,
// fonts and metrics, copies and bounding boxes.
#include "pde/Model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/Core.h"
#include "core/Support.h"

namespace vexa::host::pde {

void addRef(_t_PDEObject* o) {
    ++o->refs;
}

void release(_t_PDEObject* o) {
    if (--o->refs == 0) {
        // Containers nest; free deep trees without deep recursion by detaching
        // children first (the parser bounds nesting, this keeps the destructor flat).
        delete o;
    } else if (o->refs < 0) {
        o->refs = 0;
    }
}

const char* resCategoryKey(int cat) {
    static const char* keys[] = {"/Font",    "/ExtGState", "/ColorSpace", "/Pattern",
                                 "/XObject", "/Shading",   "/Properties"};
    return cat >= 0 && cat < kResCount ? keys[cat] : "/Unknown";
}

// --- matrices -----------------------------------------------------------------------

Mat Mat::from(const ASFixedMatrix& m) {
    return {fixedToDouble(m.a), fixedToDouble(m.b), fixedToDouble(m.c),
            fixedToDouble(m.d), fixedToDouble(m.h), fixedToDouble(m.v)};
}

ASFixedMatrix Mat::toFixed() const {
    return {floatToFixed(a), floatToFixed(b), floatToFixed(c),
            floatToFixed(d), floatToFixed(e), floatToFixed(f)};
}

bool Mat::invert(Mat& out) const {
    double det = a * d - b * c;
    if (det == 0 || !std::isfinite(det)) return false;
    out.a = d / det;
    out.b = -b / det;
    out.c = -c / det;
    out.d = a / det;
    out.e = (c * f - d * e) / det;
    out.f = (b * e - a * f) / det;
    return true;
}

Mat mul(const Mat& m, const Mat& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

void BBox::add(double x, double y) {
    if (empty) {
        l = r = x;
        b = t = y;
        empty = false;
        return;
    }
    l = std::min(l, x);
    r = std::max(r, x);
    b = std::min(b, y);
    t = std::max(t, y);
}

void BBox::add(const BBox& o) {
    if (o.empty) return;
    add(o.l, o.b);
    add(o.r, o.t);
}

BBox BBox::transformed(const Mat& m) const {
    BBox out;
    if (empty) return out;
    double x, y;
    m.apply(l, b, x, y), out.add(x, y);
    m.apply(l, t, x, y), out.add(x, y);
    m.apply(r, b, x, y), out.add(x, y);
    m.apply(r, t, x, y), out.add(x, y);
    return out;
}

// --- colour ------------------------------------------------------------------------

int ColorSpace::components() const {
    if (family == "DeviceGray" || family == "CalGray" || family == "Separation" ||
        family == "Indexed")
        return 1;
    if (family == "DeviceRGB" || family == "CalRGB" || family == "Lab") return 3;
    if (family == "DeviceCMYK") return 4;
    if (family == "Pattern") {
        if (obj.isArray() && obj.getArrayNItems() > 1) {
            auto base = colorSpaceFromObject(obj.getArrayItem(1), "");
            return base->components();
        }
        return 0;
    }
    if (family == "DeviceN" && obj.isArray() && obj.getArrayNItems() > 1 &&
        obj.getArrayItem(1).isArray())
        return std::min(32, obj.getArrayItem(1).getArrayNItems());
    if (family == "ICCBased" && obj.isArray() && obj.getArrayNItems() > 1) {
        auto s = obj.getArrayItem(1);
        if (s.isStream()) {
            auto n = s.getDict().getKey("/N");
            if (n.isInteger()) return std::clamp(static_cast<int>(n.getIntValue()), 1, 4);
        }
        return 3;
    }
    return 1;
}

void ColorSpace::initialColor(double* v, int& n) const {
    n = components();
    for (int i = 0; i < n && i < 8; ++i) v[i] = 0;
    if (family == "DeviceCMYK" && n == 4) v[3] = 1;
    if (family == "Separation" || family == "DeviceN")
        for (int i = 0; i < n && i < 8; ++i) v[i] = 1;
}

Ref<ColorSpace> deviceSpace(const char* family) {
    static Ref<ColorSpace> gray, rgb, cmyk, pattern;
    auto makeOne = [](Ref<ColorSpace>& slot, const char* fam) -> Ref<ColorSpace> {
        if (!slot) {
            slot = make<ColorSpace>();
            slot->family = fam;
            slot->obj = QPDFObjectHandle::newName(std::string("/") + fam);
        }
        return slot;
    };
    if (!std::strcmp(family, "DeviceRGB")) return makeOne(rgb, "DeviceRGB");
    if (!std::strcmp(family, "DeviceCMYK")) return makeOne(cmyk, "DeviceCMYK");
    if (!std::strcmp(family, "Pattern")) return makeOne(pattern, "Pattern");
    return makeOne(gray, "DeviceGray");
}

Ref<ColorSpace> colorSpaceFromObject(QPDFObjectHandle obj, const std::string& resName) {
    std::string fam;
    if (obj.isName()) {
        fam = obj.getName().substr(1);
        if (fam == "G") fam = "DeviceGray";
        if (fam == "RGB") fam = "DeviceRGB";
        if (fam == "CMYK") fam = "DeviceCMYK";
        if ((fam == "DeviceGray" || fam == "DeviceRGB" || fam == "DeviceCMYK" ||
             fam == "Pattern") &&
            resName.empty())
            return deviceSpace(fam.c_str());
    } else if (obj.isArray() && obj.getArrayNItems() > 0 && obj.getArrayItem(0).isName()) {
        fam = obj.getArrayItem(0).getName().substr(1);
        if (fam == "I") fam = "Indexed";
    } else if (obj.isStream()) {
        fam = "ICCBased";
    }
    auto cs = make<ColorSpace>();
    cs->family = fam.empty() ? "DeviceGray" : fam;
    cs->obj = obj;
    cs->resName = resName;
    return cs;
}

bool ExtGState::hasSoftMask() const {
    return dict.isDictionary() && dict.hasKey("/SMask") && dict.getKey("/SMask").isDictionary();
}

static bool sameHandle(QPDFObjectHandle a, QPDFObjectHandle b) {
    if (a.isIndirect() || b.isIndirect()) return a.getObjGen() == b.getObjGen();
    if (none(a) && none(b)) return true;
    return a.isSameObjectAs(b) || a.unparse() == b.unparse();
}

bool ColorSpec::operator==(const ColorSpec& o) const {
    if (space.get() != o.space.get()) {
        if (!space || !o.space) return false;
        if (space->family != o.space->family || !sameHandle(space->obj, o.space->obj)) return false;
    }
    if (n != o.n || pattern != o.pattern) return false;
    for (int i = 0; i < n && i < 8; ++i)
        if (v[i] != o.v[i]) return false;
    return more == o.more;
}

GState::GState() {
    fill.space = deviceSpace("DeviceGray");
    stroke.space = fill.space;
}

void GState::applyParams(QPDFObjectHandle dict) {
    if (!dict.isDictionary()) return;
    // Most graphics state dictionaries set none of these: a key is looked up only when it
    // is there (looking up a missing key makes a described null, a dozen allocations).
    auto entry = [&dict](const char* key) {
        return dict.hasKey(key) ? dict.getKey(key) : QPDFObjectHandle();
    };
    auto lw = entry("/LW");
    if (lw.isNumber()) lineWidth = lw.getNumericValue();
    auto lc = entry("/LC");
    if (lc.isInteger()) cap = static_cast<int>(lc.getIntValue());
    auto lj = entry("/LJ");
    if (lj.isInteger()) join = static_cast<int>(lj.getIntValue());
    auto ml = entry("/ML");
    if (ml.isNumber()) miterLimit = ml.getNumericValue();
    auto ri = entry("/RI");
    if (ri.isName()) intent = ri.getName().substr(1);
    auto fl = entry("/FL");
    if (fl.isNumber()) flatness = fl.getNumericValue();
    auto d = entry("/D");
    if (d.isArray() && d.getArrayNItems() == 2 && d.getArrayItem(0).isArray()) {
        dash.clear();
        auto arr = d.getArrayItem(0);
        for (int i = 0; i < arr.getArrayNItems() && i < 64; ++i)
            if (arr.getArrayItem(i).isNumber())
                dash.push_back(arr.getArrayItem(i).getNumericValue());
        if (d.getArrayItem(1).isNumber()) dashPhase = d.getArrayItem(1).getNumericValue();
    }
}

bool TextState::operator==(const TextState& o) const {
    return charSpacing == o.charSpacing && wordSpacing == o.wordSpacing && scale == o.scale &&
           leading == o.leading && rise == o.rise && render == o.render &&
           font.get() == o.font.get() && size == o.size;
}

// --- fonts -------------------------------------------------------------------------

static const StdFont kStdFonts[] = {
#include "pde/StdFonts.inc"
};

const StdFont* stdFontAt(int i) {
    return i >= 0 && i < static_cast<int>(std::size(kStdFonts)) ? &kStdFonts[i] : nullptr;
}
int stdFontIndex(const StdFont* f) {
    return f ? static_cast<int>(f - kStdFonts) : -1;
}

const StdFont* findStdFont(const std::string& nameIn) {
    std::string name = nameIn;
    if (name.size() > 7 && name[6] == '+') name = name.substr(7);  // subset prefix
    static const std::pair<const char*, const char*> aliases[] = {
        {"Arial", "Helvetica"},
        {"Arial,Bold", "Helvetica-Bold"},
        {"Arial,Italic", "Helvetica-Oblique"},
        {"Arial,BoldItalic", "Helvetica-BoldOblique"},
        {"ArialMT", "Helvetica"},
        {"Arial-BoldMT", "Helvetica-Bold"},
        {"Arial-ItalicMT", "Helvetica-Oblique"},
        {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
        {"Helvetica-Italic", "Helvetica-Oblique"},
        {"Helvetica-BoldItalic", "Helvetica-BoldOblique"},
        {"Courier-Italic", "Courier-Oblique"},
        {"Courier-BoldItalic", "Courier-BoldOblique"},
        {"CourierNew", "Courier"},
        {"CourierNewPSMT", "Courier"},
        {"Times", "Times-Roman"},
        {"TimesNewRoman", "Times-Roman"},
        {"TimesNewRomanPSMT", "Times-Roman"},
        {"TimesNewRoman,Bold", "Times-Bold"},
        {"TimesNewRoman,Italic", "Times-Italic"},
        {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
        {"Times-Oblique", "Times-Italic"},
    };
    for (auto& [from, to] : aliases)
        if (name == from) name = to;
    for (auto& f : kStdFonts)
        if (name == f.name) return &f;
    return nullptr;
}

void Font::load() {
    if (loaded) return;
    loaded = true;
    if (!dict.isDictionary()) return;
    auto sub = dict.getKey("/Subtype");
    auto bf = dict.getKey("/BaseFont");
    if (bf.isName()) baseFont = bf.getName().substr(1);
    const StdFont* sf = findStdFont(baseFont);
    stdIndex = stdFontIndex(sf);
    if (sf) {
        ascent = sf->ascent;
        descent = sf->descent;
    }
    QPDFObjectHandle desc = dict.getKey("/FontDescriptor");
    if (sub.isName() && sub.getName() == "/Type0") {
        twoByte = true;
        auto enc = dict.getKey("/Encoding");
        if (enc.isName() && enc.getName() != "/Identity-H" && enc.getName() != "/Identity-V") {
            // Predefined CMaps other than Identity may mix code lengths; widths are
            // estimated with two-byte codes.
        }
        auto df = dict.getKey("/DescendantFonts");
        QPDFObjectHandle cid =
            df.isArray() && df.getArrayNItems() > 0 ? df.getArrayItem(0) : QPDFObjectHandle();
        defaultWidth = 1000;
        if (cid.isDictionary()) {
            auto dw = cid.getKey("/DW");
            if (dw.isNumber()) defaultWidth = dw.getNumericValue();
            desc = cid.getKey("/FontDescriptor");
            auto w = cid.getKey("/W");
            if (w.isArray()) {
                int n = w.getArrayNItems();
                for (int i = 0; i < n && cidWidths.size() < 100000;) {
                    auto first = w.getArrayItem(i);
                    if (!first.isNumber()) break;
                    int c1 = static_cast<int>(first.getNumericValue());
                    if (i + 1 >= n) break;
                    auto second = w.getArrayItem(i + 1);
                    if (second.isArray()) {
                        int m = std::min(second.getArrayNItems(), 65536);
                        for (int k = 0; k < m; ++k) {
                            auto v = second.getArrayItem(k);
                            if (v.isNumber())
                                cidWidths.push_back({{c1 + k, c1 + k}, v.getNumericValue()});
                        }
                        i += 2;
                    } else if (i + 2 < n && second.isNumber() && w.getArrayItem(i + 2).isNumber()) {
                        cidWidths.push_back({{c1, static_cast<int>(second.getNumericValue())},
                                             w.getArrayItem(i + 2).getNumericValue()});
                        i += 3;
                    } else {
                        break;
                    }
                }
            }
        }
    } else {
        if (sub.isName() && sub.getName() == "/Type3") {
            type3 = true;
            auto fm = dict.getKey("/FontMatrix");
            if (fm.isArray() && fm.getArrayNItems() == 6) {
                double v[6];
                for (int i = 0; i < 6; ++i) {
                    auto x = fm.getArrayItem(i);
                    v[i] = x.isNumber() ? x.getNumericValue() : 0;
                }
                fontMatrix = {v[0], v[1], v[2], v[3], v[4], v[5]};
            }
        }
        auto enc = dict.getKey("/Encoding");
        if (enc.isDictionary()) enc = enc.getKey("/BaseEncoding");
        winAnsi = enc.isName() && enc.getName() == "/WinAnsiEncoding";
        auto fc = dict.getKey("/FirstChar");
        auto ws = dict.getKey("/Widths");
        if (fc.isNumber()) firstChar = static_cast<int>(fc.getNumericValue());
        if (ws.isArray()) {
            int n = std::min(ws.getArrayNItems(), 256);
            widths.resize(n);
            for (int i = 0; i < n; ++i) {
                auto v = ws.getArrayItem(i);
                widths[i] = v.isNumber() ? v.getNumericValue() : 0;
            }
        }
        if (desc.isDictionary()) {
            auto mw = desc.getKey("/MissingWidth");
            if (mw.isNumber()) defaultWidth = mw.getNumericValue();
        }
    }
    if (desc.isDictionary()) {
        auto a = desc.getKey("/Ascent"), d = desc.getKey("/Descent");
        if (a.isNumber()) ascent = a.getNumericValue();
        if (d.isNumber()) descent = d.getNumericValue();
    }
    if (ascent == 0 && descent == 0) {
        ascent = 750;
        descent = -250;
    }
}

double Font::glyphWidth(int code) {
    load();
    double w = defaultWidth;
    if (twoByte) {
        for (auto& [range, width] : cidWidths)
            if (code >= range.first && code <= range.second) {
                w = width;
                break;
            }
        return w / 1000.0;
    }
    int i = code - firstChar;
    if (i >= 0 && i < static_cast<int>(widths.size())) {
        w = widths[i];
    } else if (const StdFont* sf = stdFontAt(stdIndex); sf && code >= 0 && code < 256) {
        w = winAnsi && !sf->symbolic ? sf->winAnsiWidths[code] : sf->widths[code];
    }
    if (type3) return w * fontMatrix.a;
    return w / 1000.0;
}

double TextRun::advance() const {
    Font* f = ts.font.get();
    double th = ts.scale / 100.0;
    double total = 0;
    size_t adj = 0;
    auto applyAdjust = [&](size_t pos) {
        while (adj < adjust.size() && adjust[adj].first <= pos) {
            total -= adjust[adj].second / 1000.0 * ts.size * th;
            ++adj;
        }
    };
    bool two = f && (f->load(), f->twoByte);
    for (size_t i = 0; i < bytes.size();) {
        applyAdjust(i);
        int code;
        size_t len = two ? 2 : 1;
        if (two && i + 1 < bytes.size())
            code = (static_cast<uint8_t>(bytes[i]) << 8) | static_cast<uint8_t>(bytes[i + 1]);
        else
            code = static_cast<uint8_t>(bytes[i]);
        double w0 = f ? f->glyphWidth(code) : 0.5;
        double tx = (w0 * ts.size + ts.charSpacing) * th;
        if (!two && code == 32) tx += ts.wordSpacing * th;
        total += tx;
        i += len;
    }
    applyAdjust(bytes.size());
    return total;
}

void Text::setRunMatrix(size_t i, const Mat& m) {
    Mat inv;
    if (matrix.invert(inv)) {
        runs[i].tm = mul(m, inv);
    } else {
        matrix = Mat();
        runs[i].tm = m;
    }
    runs[i].continues = false;
    touch();
}

// --- copies -------------------------------------------------------------------------

template <class T>
static Ref<Element> copyElement(const T& e) {
    auto c = make<T>();
    static_cast<Element&>(*c).gs = e.gs;
    c->clip = e.clip;
    c->matrix = e.matrix;
    c->origin = e.origin;
    c->dirty = e.dirty;
    return c;
}

Ref<Element> Path::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Path*>(c.get());
    p->data = data;
    p->coords = coords;
    p->ops = ops;
    p->paint = paint;
    return c;
}
Ref<Element> Text::clone() const {
    auto c = copyElement(*this);
    static_cast<Text*>(c.get())->runs = runs;
    static_cast<Text*>(c.get())->marksAfter = marksAfter;
    return c;
}
Ref<Element> Image::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Image*>(c.get());
    p->inlineImage = inlineImage;
    p->xobj = xobj;
    p->resName = resName;
    p->inlineBytes = inlineBytes;
    p->inlineData = inlineData;
    p->inlineDict = inlineDict;
    p->space = space;
    p->mask = mask;
    return c;
}
Ref<Element> Form::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Form*>(c.get());
    p->xobj = xobj;
    p->resName = resName;
    p->formMatrix = formMatrix;
    p->resources = resources;
    return c;
}
Ref<Element> XObjectElem::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<XObjectElem*>(c.get());
    p->xobj = xobj;
    p->resName = resName;
    return c;
}
Ref<Element> Shading::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Shading*>(c.get());
    p->obj = obj;
    p->dict = dict;
    p->resName = resName;
    return c;
}
Ref<Element> PassThrough::clone() const {
    auto c = copyElement(*this);
    static_cast<PassThrough*>(c.get())->bytes = bytes;
    return c;
}
Ref<Element> Place::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Place*>(c.get());
    p->tag = tag;
    p->dict = dict;
    p->inlineDict = inlineDict;
    p->propName = propName;
    return c;
}

Container::Container() : Element(kPDEContainer), content(make<Content>()) {}

Ref<Element> Container::clone() const {
    auto c = copyElement(*this);
    auto* p = static_cast<Container*>(c.get());
    p->tag = tag;
    p->dict = dict;
    p->inlineDict = inlineDict;
    p->propName = propName;
    p->dictText = dictText;
    p->ambient = ambient;
    p->content->source = content->source;
    p->content->resources = content->resources;
    p->content->qpdf = content->qpdf;
    p->content->modified = content->modified;
    for (auto& e : content->elems) p->content->elems.push_back(e->clone());
    return c;
}

bool Container::unchanged() const {
    if (!Element::unchanged()) return false;
    // an in-line dictionary may have been changed in place
    if (inlineDict && dict.isDictionary() && dict.unparse() != dictText) return false;
    return content->unchanged();
}

bool Content::unchanged() const {
    if (modified) return false;
    for (auto& e : elems)
        if (!e->unchanged()) return false;
    return true;
}

Ref<Clip> Clip::copy() const {
    auto c = make<Clip>();
    for (auto& e : elems) c->elems.push_back(e->clone());
    return c;
}

void Clip::flatten(std::vector<Element*>& out) const {
    for (auto& e : elems) {
        if (e->type == kPDEContainer) {
            for (auto& k : static_cast<Container*>(e.get())->content->elems) {
                // containers in clips hold paths and texts only
                if (k->type == kPDEContainer) {
                    Clip inner;
                    inner.elems.push_back(k);
                    inner.flatten(out);
                    inner.elems.clear();
                } else {
                    out.push_back(k.get());
                }
            }
        } else {
            out.push_back(e.get());
        }
    }
}

BBox Clip::bbox() const {
    BBox b;
    std::vector<Element*> all;
    flatten(all);
    bool first = true;
    for (auto* e : all) {
        BBox eb = e->bbox();
        if (first) {
            b = eb;
            first = false;
        } else if (!eb.empty && !b.empty) {
            // a clip is the intersection of its paths
            b.l = std::max(b.l, eb.l);
            b.b = std::max(b.b, eb.b);
            b.r = std::min(b.r, eb.r);
            b.t = std::min(b.t, eb.t);
            if (b.l > b.r || b.b > b.t) b = BBox{0, 0, 0, 0, false};
        }
    }
    return b;
}

// --- forms --------------------------------------------------------------------------

void readFormMatrix(QPDFObjectHandle dict, Mat& m) {
    auto fm = dict.getKey("/Matrix");
    if (!fm.isArray() || fm.getArrayNItems() != 6) return;
    double v[6];
    for (int i = 0; i < 6; ++i) {
        auto it = fm.getArrayItem(i);
        v[i] = it.isNumber() ? it.getNumericValue() : (i == 0 || i == 3);
    }
    m = {v[0], v[1], v[2], v[3], v[4], v[5]};
}

// --- paths --------------------------------------------------------------------------

int pathOpArgs(int op) {
    switch (op) {
        case kPDEMoveTo:
        case kPDELineTo:
            return 2;
        case kPDECurveTo:
            return 6;
        case kPDECurveToV:
        case kPDECurveToY:
        case kPDERect:
            return 4;
        default:
            return 0;
    }
}

void Path::syncFixed() {
    data.clear();
    data.reserve(ops.size() + coords.size());
    size_t k = 0;
    for (uint8_t op : ops) {
        data.push_back(op);
        for (int i = 0; i < pathOpArgs(op); ++i) data.push_back(floatToFixed(coords[k++]));
    }
}

void Path::setFixedData(const ASInt32* words, size_t count) {
    ops.clear();
    coords.clear();
    for (size_t i = 0; i < count;) {
        int op = words[i++];
        int n = pathOpArgs(op);
        if (op < kPDEMoveTo || op > kPDEClosePath || i + n > count) break;
        ops.push_back(static_cast<uint8_t>(op));
        for (int k = 0; k < n; ++k) coords.push_back(fixedToDouble(words[i++]));
    }
    syncFixed();
}

BBox Path::bbox() const {
    BBox b;
    size_t k = 0;
    for (uint8_t op : ops) {
        if (op == kPDERect) {
            double x = coords[k], y = coords[k + 1], w = coords[k + 2], h = coords[k + 3];
            b.add(x, y);
            b.add(x + w, y + h);
        } else {
            for (int i = 0; i < pathOpArgs(op); i += 2) b.add(coords[k + i], coords[k + i + 1]);
        }
        k += pathOpArgs(op);
    }
    BBox out = b.transformed(matrix);
    if (!out.empty && (paint & kPDEStroke)) {
        double sx = std::hypot(matrix.a, matrix.b), sy = std::hypot(matrix.c, matrix.d);
        double h = gs.lineWidth / 2 * std::max(sx, sy);
        out.l -= h, out.b -= h, out.r += h, out.t += h;
    }
    return out;
}

BBox Text::bbox() const {
    BBox out;
    for (auto& r : runs) {
        Font* f = r.ts.font.get();
        double asc = 0.75, desc = -0.25;
        if (f) {
            f->load();
            asc = f->ascent / 1000.0;
            desc = f->descent / 1000.0;
        }
        double th = r.ts.scale / 100.0;
        double w = r.advance();
        BBox g;
        // text space: glyphs from the origin to the advance, ascent to descent
        g.add(0, desc * r.ts.size + r.ts.rise);
        g.add(th != 0 ? w : 0, asc * r.ts.size + r.ts.rise);
        out.add(g.transformed(mul(r.tm, matrix)));
    }
    return out;
}

BBox Image::bbox() const {
    return BBox{0, 0, 1, 1, false}.transformed(matrix);
}

static BBox rectOf(QPDFObjectHandle a) {
    BBox b;
    if (!a.isArray() || a.getArrayNItems() != 4) return b;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        auto x = a.getArrayItem(i);
        if (!x.isNumber()) return b;
        v[i] = x.getNumericValue();
    }
    b.add(v[0], v[1]);
    b.add(v[2], v[3]);
    return b;
}

BBox Form::bbox() const {
    if (!xobj.isStream()) return {};
    return rectOf(xobj.getDict().getKey("/BBox")).transformed(mul(formMatrix, matrix));
}

BBox XObjectElem::bbox() const {
    return {};
}

BBox Shading::bbox() const {
    BBox b;
    if (dict.isDictionary()) b = rectOf(dict.getKey("/BBox")).transformed(matrix);
    if (b.empty && clip) b = clip->bbox();
    return b;
}

BBox Container::bbox() const {
    BBox b;
    for (auto& e : content->elems) b.add(e->bbox());
    return b;
}

// --- numbers ------------------------------------------------------------------------

void appendNumber(std::string& out, double v) {
    // The shortest text that reads back as the same number, never in exponent form:
    // numbers taken from the content come out as they were written there.
    if (!std::isfinite(v)) v = 0;
    if (std::fabs(v) < 1e-12) v = 0;
    v = std::clamp(v, -1e15, 1e15);
    // Most numbers written are coordinates of no more than five decimals. Such a number
    // is the double nearest to k / 100000, and k's digits with the point put back are
    // its shortest text, which integer arithmetic gives faster than the general search.
    if (std::fabs(v) < 1e9) {
        double scaled = std::round(v * 1e5);
        if (scaled / 1e5 == v) {
            auto k = static_cast<long long>(std::fabs(scaled));
            char digits[24];  // least significant first
            int n = 0;
            int frac = 5;  // fraction digits left once its trailing zeros are dropped
            while (frac > 0 && k % 10 == 0) {
                k /= 10;
                --frac;
            }
            do {
                digits[n++] = static_cast<char>('0' + k % 10);
                k /= 10;
            } while (k > 0);
            while (n <= frac) digits[n++] = '0';  // 0.0012: zeros up to the point and one before
            if (scaled < 0) out += '-';
            for (int i = n - 1; i >= 0; --i) {
                out += digits[i];
                if (i == frac && frac > 0) out += '.';
            }
            return;
        }
    }
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc()) {
        out += '0';
        return;
    }
    size_t n = r.ptr - buf;
    if (n == 2 && buf[0] == '-' && buf[1] == '0') {
        out += '0';
        return;
    }
    out.append(buf, n);
}

}  // namespace vexa::host::pde
