// Writing the element model back to content. Unchanged elements that follow each
// other in their original content are copied as one run of original bytes, preceded
// by the graphics state they started with; changed elements are written anew with
// only the state changes they need, grouped under one q/Q per clip and matrix.
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "core/Core.h"
#include "pde/Model.h"

namespace vexa::host::pde {
namespace {

bool sameObject(QPDFObjectHandle a, QPDFObjectHandle b) {
    if (a.isIndirect() || b.isIndirect())
        return a.isIndirect() && b.isIndirect() && a.getObjGen() == b.getObjGen() &&
               a.getOwningQPDF() == b.getOwningQPDF();
    if (none(a) || none(b)) return none(a) && none(b);
    return a.isSameObjectAs(b) || a.unparse() == b.unparse();
}

class Writer {
  public:
    Writer(QPDF& target, const WriteOptions& opts) : target_(target), opts_(opts) {}

    void writeRoot(const Content& c);
    void writeList(const Content& c, bool root = false);
    WriteResult finish();
    // Default colour spaces change how device colours look without being named in
    // the content: they stay with it.
    void keepDefaults(QPDFObjectHandle resources) {
        if (!resources.isDictionary()) return;
        auto cs = resources.getKey("/ColorSpace");
        if (!cs.isDictionary()) return;
        for (const char* k : {"DefaultGray", "DefaultRGB", "DefaultCMYK"}) {
            auto v = cs.getKey(std::string("/") + k);
            if (!none(v)) claim(kResColorSpace, k, v);
        }
    }

  private:
    // resources
    std::string use(int cat, QPDFObjectHandle obj, const std::string& preferred);
    bool claim(int cat, const std::string& name, QPDFObjectHandle obj);
    QPDFObjectHandle import(QPDFObjectHandle h, int depth = 0);
    // Whether h holds an indirect object of another document (direct parts looked into).
    bool holdsForeign(QPDFObjectHandle h, int depth) const;

    // state
    void openGroup(const Element& e, const GState& gs, const TextState* ts);
    void closeGroup();
    void emitClip(const Clip& clip);
    void emitGState(const GState& want, GState& cur);
    void emitColor(bool fill, const ColorSpec& want, ColorSpec& cur);
    void emitTextState(const TextState& want, TextState& cur);
    void emitMatrix(const Mat& m, const char* op);
    void num(double v) {
        // A 16.16 fixed value (what the plug-in sets coordinates and matrices with) is
        // told apart from its neighbours by five decimals: 841.89, not its exact
        // binary value 841.8899993896484. Reading it back gives the same fixed value.
        double f = v * 65536.0;
        if (std::fabs(f) < 1e12 && std::fabs(f - std::round(f)) < 1e-6)
            v = std::round(v * 1e5) / 1e5;
        appendNumber(out_, v);
        out_ += ' ';
    }
    void name(const std::string& n);
    void string(const std::string& s);
    void pathOps(const Path& p, const Mat* transform);

    // elements
    bool tryVerbatim(const std::vector<Ref<Element>>& elems, size_t i, size_t& next, bool root);
    void element(const Element& e);
    void body(const Element& e);
    void text(const Text& t, bool asClip);
    void inlineImage(const Image& im);
    void container(const Container& c);
    // A marked-content tag with its property list, inline or as a resource, then the
    // operator: `withProps` (BDC, DP) when it has one, else `bare` (BMC, MP).
    void markedTag(const std::string& tag, QPDFObjectHandle dict, bool inlineDict,
                   const std::string& propName, const char* withProps, const char* bare);

    QPDF& target_;
    WriteOptions opts_;
    std::string out_;
    std::map<std::string, QPDFObjectHandle> res_[kResCount];
    std::unordered_map<std::string, std::string> byObj_[kResCount];  // indirect og -> name
    int counter_ = 0;
    std::vector<QPDF*> foreign_;

    bool inGroup_ = false;
    const Clip* groupClip_ = nullptr;
    Mat groupMatrix_;
    GState cur_;
    TextState curTs_;
    size_t depth_ = 0;
};

bool Writer::holdsForeign(QPDFObjectHandle h, int depth) const {
    if (depth > 64) return true;
    if (h.isIndirect()) {
        QPDF* owner = h.getOwningQPDF();
        return owner && owner != &target_;
    }
    if (h.isArray()) {
        for (auto& it : h.aitems())
            if (holdsForeign(it, depth + 1)) return true;
    } else if (h.isDictionary()) {
        for (auto& [k, it] : h.ditems())
            if (holdsForeign(it, depth + 1)) return true;
    }
    return false;
}

QPDFObjectHandle Writer::import(QPDFObjectHandle h, int depth) {
    if (none(h) || depth > 64) return h;
    if (h.isIndirect()) {
        QPDF* owner = h.getOwningQPDF();
        if (!owner || owner == &target_) return h;
        if (std::find(foreign_.begin(), foreign_.end(), owner) == foreign_.end())
            foreign_.push_back(owner);
        return target_.copyForeignObject(h);
    }
    // Direct parts that hold nothing of another document are used as they are (a
    // sheet's own resources are claimed again at every writing).
    if ((h.isArray() || h.isDictionary()) && !holdsForeign(h, depth)) return h;
    if (h.isArray()) {
        auto out = QPDFObjectHandle::newArray();
        for (auto& it : h.aitems()) out.appendItem(import(it, depth + 1));
        return out;
    }
    if (h.isDictionary()) {
        auto out = QPDFObjectHandle::newDictionary();
        for (auto& [k, it] : h.ditems()) out.replaceKey(k, import(it, depth + 1));
        return out;
    }
    return h;
}

bool Writer::claim(int cat, const std::string& nm, QPDFObjectHandle obj) {
    auto& m = res_[cat];
    auto it = m.find(nm);
    if (it != m.end()) return sameObject(it->second, none(obj) ? obj : import(obj));
    QPDFObjectHandle imp = import(obj);
    m.emplace(nm, imp);
    if (imp.isIndirect()) byObj_[cat].emplace(imp.getObjGen().unparse(' '), nm);
    return true;
}

std::string Writer::use(int cat, QPDFObjectHandle obj, const std::string& preferred) {
    QPDFObjectHandle imp = import(obj);
    auto& m = res_[cat];
    if (!preferred.empty()) {
        auto it = m.find(preferred);
        if (it == m.end()) {
            m.emplace(preferred, imp);
            if (imp.isIndirect()) byObj_[cat].emplace(imp.getObjGen().unparse(' '), preferred);
            return preferred;
        }
        if (sameObject(it->second, imp)) return preferred;
    }
    if (imp.isIndirect()) {
        auto f = byObj_[cat].find(imp.getObjGen().unparse(' '));
        if (f != byObj_[cat].end()) return f->second;
    } else if (!none(imp)) {
        for (auto& [k, v] : m)
            if (sameObject(v, imp)) return k;
    }
    static const char* prefixes[] = {"F", "GS", "CS", "P", "X", "Sh", "MC"};
    std::string base = preferred.empty() ? prefixes[cat] : preferred;
    std::string nm;
    do {
        nm = base + "_" + std::to_string(counter_++);
    } while (m.count(nm));
    m.emplace(nm, imp);
    if (imp.isIndirect()) byObj_[cat].emplace(imp.getObjGen().unparse(' '), nm);
    return nm;
}

void Writer::name(const std::string& n) {
    out_ += '/';
    for (unsigned char c : n) {
        if (c < 33 || c > 126 || c == '#' || c == '/' || c == '(' || c == ')' || c == '<' ||
            c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '%') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "#%02X", c);
            out_ += buf;
        } else {
            out_ += static_cast<char>(c);
        }
    }
    out_ += ' ';
}

void Writer::string(const std::string& s) {
    size_t odd = 0;
    for (unsigned char c : s)
        if (c < 32 || c > 126) ++odd;
    if (odd * 3 > s.size()) {
        static const char* hex = "0123456789ABCDEF";
        out_ += '<';
        for (unsigned char c : s) {
            out_ += hex[c >> 4];
            out_ += hex[c & 15];
        }
        out_ += '>';
        return;
    }
    out_ += '(';
    for (unsigned char c : s) {
        if (c == '(' || c == ')' || c == '\\') {
            out_ += '\\';
            out_ += static_cast<char>(c);
        } else if (c == '\r') {
            out_ += "\\r";
        } else if (c == '\n') {
            out_ += "\\n";
        } else if (c < 32 || c > 126) {
            char buf[6];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out_ += buf;
        } else {
            out_ += static_cast<char>(c);
        }
    }
    out_ += ')';
}

void Writer::emitMatrix(const Mat& m, const char* op) {
    num(m.a), num(m.b), num(m.c), num(m.d), num(m.e), num(m.f);
    out_ += op;
    out_ += '\n';
}

void Writer::pathOps(const Path& p, const Mat* t) {
    size_t k = 0;
    const auto& c = p.coords;
    auto pt = [&](double x, double y) {
        if (t) t->apply(x, y, x, y);
        num(x), num(y);
    };
    for (uint8_t op : p.ops) {
        if (k + pathOpArgs(op) > c.size()) break;
        switch (op) {
            case kPDEMoveTo:
                pt(c[k], c[k + 1]), out_ += "m\n";
                break;
            case kPDELineTo:
                pt(c[k], c[k + 1]), out_ += "l\n";
                break;
            case kPDECurveTo:
                pt(c[k], c[k + 1]), pt(c[k + 2], c[k + 3]), pt(c[k + 4], c[k + 5]);
                out_ += "c\n";
                break;
            case kPDECurveToV:
                pt(c[k], c[k + 1]), pt(c[k + 2], c[k + 3]), out_ += "v\n";
                break;
            case kPDECurveToY:
                pt(c[k], c[k + 1]), pt(c[k + 2], c[k + 3]), out_ += "y\n";
                break;
            case kPDERect:
                if (t && !(t->b == 0 && t->c == 0)) {
                    double x = c[k], y = c[k + 1], w = c[k + 2], h = c[k + 3];
                    pt(x, y), out_ += "m\n";
                    pt(x + w, y), out_ += "l\n";
                    pt(x + w, y + h), out_ += "l\n";
                    pt(x, y + h), out_ += "l\nh\n";
                } else if (t) {
                    double x0, y0, x1, y1;
                    t->apply(c[k], c[k + 1], x0, y0);
                    t->apply(c[k] + c[k + 2], c[k + 1] + c[k + 3], x1, y1);
                    num(x0), num(y0), num(x1 - x0), num(y1 - y0);
                    out_ += "re\n";
                } else {
                    num(c[k]), num(c[k + 1]), num(c[k + 2]), num(c[k + 3]);
                    out_ += "re\n";
                }
                break;
            case kPDEClosePath:
                out_ += "h\n";
                break;
            default:
                break;
        }
        k += pathOpArgs(op);
    }
}

void Writer::emitClip(const Clip& clip) {
    std::vector<Element*> all;
    clip.flatten(all);
    for (Element* e : all) {
        if (e->type == kPDEPath) {
            auto* p = static_cast<Path*>(e);
            pathOps(*p, &p->matrix);
            out_ += (p->paint & kPDEEoClip) ? "W* n\n" : "W n\n";
        } else if (e->type == kPDEText) {
            text(*static_cast<Text*>(e), true);
        }
    }
}

void Writer::emitColor(bool fill, const ColorSpec& want, ColorSpec& cur) {
    if (want == cur || !want.space) return;
    const std::string& fam = want.space->family;
    bool sameSpace =
        cur.space.get() == want.space.get() ||
        (cur.space && cur.space->family == fam && sameObject(cur.space->obj, want.space->obj));
    auto values = [&]() {
        for (int i = 0; i < want.n && i < 8; ++i) num(want.v[i]);
        for (double v : want.more) num(v);
    };
    if (want.pattern.empty() &&
        (fam == "DeviceGray" || fam == "DeviceRGB" || fam == "DeviceCMYK") &&
        want.space->obj.isName()) {
        int need = fam == "DeviceGray" ? 1 : fam == "DeviceRGB" ? 3 : 4;
        if (want.n == need) {
            values();
            out_ += fam == "DeviceGray"  ? (fill ? "g\n" : "G\n")
                    : fam == "DeviceRGB" ? (fill ? "rg\n" : "RG\n")
                                         : (fill ? "k\n" : "K\n");
            cur = want;
            return;
        }
    }
    if (!sameSpace) {
        QPDFObjectHandle o = want.space->obj;
        bool direct = o.isName() && want.space->resName.empty();
        if (direct)
            name(o.getName().substr(1));
        else
            name(use(kResColorSpace,
                     o.isName() && !want.space->resName.empty() &&
                             (o.getName() == "/" + want.space->resName)
                         ? QPDFObjectHandle()
                         : o,
                     want.space->resName));
        out_ += fill ? "cs\n" : "CS\n";
    }
    values();
    if (!want.pattern.empty()) name(use(kResPattern, want.patternObj, want.pattern));
    out_ += fill ? "scn\n" : "SCN\n";
    cur = want;
}

void Writer::emitGState(const GState& want, GState& cur) {
    if (want.ext.get() != cur.ext.get() && want.ext) {
        name(use(kResExtGState, want.ext->dict, want.ext->resName));
        out_ += "gs\n";
        cur.ext = want.ext;
        cur.applyParams(want.ext->dict);
    }
    emitColor(true, want.fill, cur.fill);
    emitColor(false, want.stroke, cur.stroke);
    if (want.lineWidth != cur.lineWidth) num(want.lineWidth), out_ += "w\n";
    if (want.cap != cur.cap) num(want.cap), out_ += "J\n";
    if (want.join != cur.join) num(want.join), out_ += "j\n";
    if (want.miterLimit != cur.miterLimit) num(want.miterLimit), out_ += "M\n";
    if (want.flatness != cur.flatness) num(want.flatness), out_ += "i\n";
    if (want.dash != cur.dash || want.dashPhase != cur.dashPhase) {
        out_ += '[';
        for (double d : want.dash) num(d);
        out_ += "] ";
        num(want.dashPhase);
        out_ += "d\n";
    }
    if (want.intent != cur.intent && !want.intent.empty()) name(want.intent), out_ += "ri\n";
    GState keep = cur;
    cur = want;
    cur.ext = keep.ext;
}

void Writer::emitTextState(const TextState& want, TextState& cur) {
    if (want.font && (want.font.get() != cur.font.get() || want.size != cur.size)) {
        name(use(kResFont, want.font->dict, want.font->resName));
        num(want.size);
        out_ += "Tf\n";
    }
    if (want.charSpacing != cur.charSpacing) num(want.charSpacing), out_ += "Tc\n";
    if (want.wordSpacing != cur.wordSpacing) num(want.wordSpacing), out_ += "Tw\n";
    if (want.scale != cur.scale) num(want.scale), out_ += "Tz\n";
    if (want.leading != cur.leading) num(want.leading), out_ += "TL\n";
    if (want.rise != cur.rise) num(want.rise), out_ += "Ts\n";
    if (want.render != cur.render) num(want.render), out_ += "Tr\n";
    cur = want;
}

void Writer::openGroup(const Element& e, const GState& gs, const TextState* ts) {
    out_ += "q\n";
    inGroup_ = true;
    groupClip_ = e.clip.get();
    groupMatrix_ = e.matrix;
    cur_ = GState();
    curTs_ = TextState();
    if (e.clip) emitClip(*e.clip);
    bool softMask = gs.ext && gs.ext->hasSoftMask() && gs.extCtm != e.matrix;
    if (softMask) {
        // the soft mask is placed by the CTM in force when its dictionary is set
        if (!gs.extCtm.isIdentity()) emitMatrix(gs.extCtm, "cm");
        name(use(kResExtGState, gs.ext->dict, gs.ext->resName));
        out_ += "gs\n";
        cur_.ext = gs.ext;
        cur_.applyParams(gs.ext->dict);
        Mat inv, rel;
        if (gs.extCtm.invert(inv)) {
            rel = mul(e.matrix, inv);
            if (!rel.isIdentity()) emitMatrix(rel, "cm");
        }
    } else if (!e.matrix.isIdentity()) {
        emitMatrix(e.matrix, "cm");
    }
    emitGState(gs, cur_);
    if (ts) emitTextState(*ts, curTs_);
}

void Writer::closeGroup() {
    if (!inGroup_) return;
    out_ += "Q\n";
    inGroup_ = false;
}

void Writer::text(const Text& t, bool asClip) {
    out_ += "BT\n";
    TextState ts = asClip ? TextState() : curTs_;
    GState gs = asClip ? GState() : cur_;
    bool prevWritten = false;
    int open = 0;  // marked-content sequences opened inside the text object
    auto marks = [&](const std::vector<TextMark>& ms) {
        if (asClip) return;
        for (const TextMark& m : ms) {
            if (m.end) {
                if (open > 0) --open, out_ += "EMC\n";
                continue;
            }
            markedTag(m.tag, m.dict, m.inlineDict, m.propName, "BDC", "BMC");
            ++open;
        }
    };
    for (const TextRun& r : t.runs) {
        marks(r.marks);
        if (asClip && r.ts.render < 4) {
            prevWritten = false;
            continue;
        }
        TextState want = r.ts;
        if (asClip) want.render = 7;
        emitTextState(want, ts);
        if (!asClip) {
            // the extended state cannot change inside a text object
            GState g = r.gs;
            g.ext = gs.ext;
            emitGState(g, gs);
        }
        if (!(r.continues && prevWritten)) emitMatrix(asClip ? mul(r.tm, t.matrix) : r.tm, "Tm");
        if (r.adjust.empty()) {
            string(r.bytes);
            out_ += " Tj\n";
        } else {
            out_ += '[';
            size_t pos = 0;
            for (auto& [at, v] : r.adjust) {
                if (at > pos) string(r.bytes.substr(pos, at - pos));
                pos = std::max(pos, at);
                out_ += ' ';
                num(v);
            }
            if (pos < r.bytes.size()) string(r.bytes.substr(pos));
            out_ += "] TJ\n";
        }
        prevWritten = true;
    }
    marks(t.marksAfter);
    for (; open > 0; --open) out_ += "EMC\n";  // a sequence left open is closed in the text
    out_ += "ET\n";
    if (!asClip) {
        curTs_ = ts;
        GState keep = cur_;
        cur_ = gs;
        cur_.ext = keep.ext;
    }
}

// An in-line image made by the host: its entries with the short keys and names.
void Writer::inlineImage(const Image& im) {
    static const std::pair<const char*, const char*> keys[] = {
        {"/Width", "W"},       {"/Height", "H"},      {"/BitsPerComponent", "BPC"},
        {"/ImageMask", "IM"},  {"/ColorSpace", "CS"}, {"/Decode", "D"},
        {"/Interpolate", "I"}, {"/Filter", "F"},      {"/DecodeParms", "DP"}};
    static const std::pair<const char*, const char*> filters[] = {
        {"/FlateDecode", "Fl"}, {"/ASCIIHexDecode", "AHx"}, {"/ASCII85Decode", "A85"},
        {"/LZWDecode", "LZW"},  {"/RunLengthDecode", "RL"}, {"/CCITTFaxDecode", "CCF"},
        {"/DCTDecode", "DCT"}};
    auto filterName = [&](QPDFObjectHandle f) {
        std::string n = f.isName() ? f.getName() : "/";
        for (auto& [full, abbrev] : filters)
            if (n == full) return std::string(abbrev);
        return n.substr(1);
    };
    QPDFObjectHandle d = im.inlineDict;
    out_ += "BI\n";
    for (auto& [key, abbrev] : keys) {
        auto v = d.getKey(key);
        if (none(v)) continue;
        name(abbrev);
        if (std::string(key) == "/ColorSpace") {
            std::string fam = v.isName() ? v.getName() : "";
            if (fam == "/DeviceGray" || fam == "/DeviceRGB" || fam == "/DeviceCMYK") {
                name(fam == "/DeviceGray" ? "G" : fam == "/DeviceRGB" ? "RGB" : "CMYK");
            } else {
                const std::string pref = im.space ? im.space->resName : "";
                name(use(kResColorSpace, v, pref));
            }
        } else if (std::string(key) == "/Filter") {
            if (v.isArray()) {
                out_ += '[';
                for (auto& f : v.aitems()) name(filterName(f));
                out_ += "] ";
            } else {
                name(filterName(v));
            }
        } else {
            out_ += v.unparse();
            out_ += ' ';
        }
        out_ += '\n';
    }
    out_ += "ID ";
    out_ += im.inlineData;
    out_ += "\nEI\n";
}

void Writer::body(const Element& e) {
    switch (e.type) {
        case kPDEPath: {
            auto& p = static_cast<const Path&>(e);
            pathOps(p, nullptr);
            if (p.paint & kPDEClip_) out_ += "W ";
            if (p.paint & kPDEEoClip) out_ += "W* ";
            bool stroke = p.paint & kPDEStroke;
            if (p.paint & kPDEEoFill)
                out_ += stroke ? "B*\n" : "f*\n";
            else if (p.paint & kPDEFill)
                out_ += stroke ? "B\n" : "f\n";
            else
                out_ += stroke ? "S\n" : "n\n";
            break;
        }
        case kPDEText:
            text(static_cast<const Text&>(e), false);
            break;
        case kPDEImage: {
            auto& im = static_cast<const Image&>(e);
            if (im.inlineImage && im.inlineBytes.empty()) {
                inlineImage(im);
            } else if (im.inlineImage) {
                auto cs = im.inlineDict.isDictionary() ? im.inlineDict.getKey("/ColorSpace")
                                                       : QPDFObjectHandle();
                if (cs.isName() && im.space && !im.space->resName.empty())
                    claim(kResColorSpace, im.space->resName, im.space->obj);
                out_ += im.inlineBytes;
                out_ += '\n';
            } else {
                name(use(kResXObject, im.xobj, im.resName));
                out_ += "Do\n";
            }
            break;
        }
        case kPDEForm: {
            auto& f = static_cast<const Form&>(e);
            name(use(kResXObject, f.xobj, f.resName));
            out_ += "Do\n";
            break;
        }
        case kPDEXObject: {
            auto& x = static_cast<const XObjectElem&>(e);
            name(use(kResXObject, x.xobj, x.resName));
            out_ += "Do\n";
            break;
        }
        case kPDEShading: {
            auto& s = static_cast<const Shading&>(e);
            name(use(kResShading, s.obj, s.resName));
            out_ += "sh\n";
            break;
        }
        case kPDEPS:
            out_ += static_cast<const PassThrough&>(e).bytes;
            out_ += '\n';
            break;
        case kPDEPlace: {
            auto& p = static_cast<const Place&>(e);
            markedTag(p.tag, p.dict, p.inlineDict, p.propName, "DP", "MP");
            break;
        }
        default:
            break;
    }
}

void Writer::markedTag(const std::string& tag, QPDFObjectHandle dict, bool inlineDict,
                       const std::string& propName, const char* withProps, const char* bare) {
    name(tag.empty() ? "MC" : tag);
    if (dict.isDictionary()) {
        if (inlineDict && !dict.isIndirect()) {
            out_ += dict.unparse();
            out_ += ' ';
        } else {
            name(use(kResProperties, dict, propName));
        }
        out_ += withProps;
    } else {
        out_ += bare;
    }
    out_ += '\n';
}

void Writer::container(const Container& c) {
    closeGroup();
    if (++depth_ > Limits::maxMarkedDepth) {
        setErrorText(pdeErrLimit, "Marked content is nested too deeply.");
        raise(pdeErrLimit);
    }
    markedTag(c.tag, c.dict, c.inlineDict, c.propName, "BDC", "BMC");
    writeList(*c.content);
    closeGroup();
    out_ += "EMC\n";
    --depth_;
}

void Writer::element(const Element& e) {
    if (e.type == kPDEContainer) return container(static_cast<const Container&>(e));
    const TextState* ts = nullptr;
    const GState* gs = &e.gs;
    if (e.type == kPDEText) {
        auto& t = static_cast<const Text&>(e);
        if (!t.runs.empty()) gs = &t.runs.front().gs;
    }
    bool fits = inGroup_ && groupClip_ == e.clip.get() && groupMatrix_ == e.matrix &&
                gs->ext.get() == cur_.ext.get();
    if (!fits) {
        closeGroup();
        openGroup(e, *gs, ts);
    } else if (e.type != kPDEText) {
        emitGState(*gs, cur_);
    }
    body(e);
}

// Copies a run of unchanged elements, starting at elems[i], as their original bytes.
// An element's bytes may be copied from its start when they begin after the previous
// sibling's (elements drawn inside a text object share its start), and a run may end
// after an element that is complete (not inside a text object). The q level may not
// drop below the one the run starts at, since the run is closed with its own Q.
bool Writer::tryVerbatim(const std::vector<Ref<Element>>& elems, size_t i, size_t& next,
                         bool root) {
    const Element& first = *elems[i];
    const Origin& o = first.origin;
    if (!first.unchanged() || o.start < o.gapStart) return false;
    const Source& src = *o.src;
    // The first elements of a content list, read from the start of their content and
    // written first: their bytes are copied from the very start, state set-up and all,
    // so that nothing has to be reconstructed.
    const bool fromStart = root && i == 0 && out_.empty() && !inGroup_ && o.gapStart == 0;
    size_t j = i;
    while (j + 1 < elems.size()) {
        const Element& nx = *elems[j + 1];
        const Origin& no = nx.origin;
        if (!nx.unchanged() || no.src != o.src || no.gapStart != elems[j]->origin.end) break;
        // re-serializing everything, only repaired bytes (and what they are part of)
        if (opts_.forceFull && elems[j]->origin.complete && !no.damaged) break;
        ++j;
    }
    auto lookup = [&](const NameUse& u) {
        QPDFObjectHandle obj;
        if (src.resources.isDictionary()) {
            auto d = src.resources.getKey(resCategoryKey(u.category));
            if (d.isDictionary()) obj = d.getKey("/" + u.name);
        }
        return obj;
    };
    // the resource names the bytes use must mean the same objects here
    auto fits = [&](uint32_t from, uint32_t to) {
        for (uint32_t k = from; k < to && k < src.names.size(); ++k) {
            const NameUse& u = src.names[k];
            auto it = res_[u.category].find(u.name);
            if (it != res_[u.category].end()) {
                QPDFObjectHandle obj = lookup(u);
                if (!sameObject(it->second, none(obj) ? obj : import(obj))) return false;
            }
        }
        return true;
    };
    auto claimNames = [&](uint32_t from, uint32_t to) {
        for (uint32_t k = from; k < to && k < src.names.size(); ++k)
            claim(src.names[k].category, src.names[k].name, lookup(src.names[k]));
    };
    const uint32_t namesFrom = fromStart ? 0 : o.nameBegin;
    if (fromStart && j + 1 == elems.size() && elems[j]->origin.end == src.topEnd &&
        fits(0, static_cast<uint32_t>(src.names.size()))) {
        // the whole content, to its last byte: copied as it is (q left open at its end,
        // stray operators and all: nothing follows it)
        claimNames(0, static_cast<uint32_t>(src.names.size()));
        out_ = src.bytes;
        next = j + 1;
        return true;
    }
    // the longest part that keeps its q level, then the shortest that fits
    const int floor = fromStart ? 0 : o.depthStart;
    if ((fromStart && o.minDepthGap < floor) || o.minDepthElem < floor) return false;
    size_t last = SIZE_MAX, shortest = SIZE_MAX;
    for (size_t k = i; k <= j; ++k) {
        const Origin& ko = elems[k]->origin;
        if (k > i && (ko.minDepthGap < floor || ko.minDepthElem < floor)) break;
        if (!ko.complete) continue;
        if (shortest == SIZE_MAX) shortest = k;
        last = k;
    }
    if (last == SIZE_MAX) return false;
    if (!fits(namesFrom, elems[last]->origin.nameEnd)) {
        last = shortest;
        if (!fits(namesFrom, elems[last]->origin.nameEnd)) return false;
    }
    const Origin& end = elems[last]->origin;
    claimNames(namesFrom, end.nameEnd);
    closeGroup();
    if (fromStart) {
        out_ += "q\n";
        out_.append(src.bytes, 0, end.end);
    } else {
        const GState& gs = first.type == kPDEContainer
                               ? static_cast<const Container&>(first).ambient
                           : first.type == kPDEText && !static_cast<const Text&>(first).runs.empty()
                               ? static_cast<const Text&>(first).runs.front().gs
                               : first.gs;
        openGroup(first, gs, &o.ts);
        inGroup_ = false;
        out_.append(src.bytes, o.start, end.end - o.start);
    }
    out_ += '\n';
    for (int d = end.depthEnd; d > floor; --d) out_ += "Q\n";
    out_ += "Q\n";
    next = last + 1;
    return true;
}

void Writer::writeList(const Content& c, bool root) {
    const auto& elems = c.elems;
    for (size_t i = 0; i < elems.size();) {
        size_t next;
        // content that had to be repaired when read is copied as it is even when
        // everything else is re-serialized: written anew, it would show what the
        // reader made of it rather than what a renderer makes of the original
        const Origin& o = elems[i]->origin;
        if (o.valid() && (!opts_.forceFull || o.damaged) && tryVerbatim(elems, i, next, root)) {
            i = next;
            continue;
        }
        element(*elems[i]);
        ++i;
    }
    closeGroup();
}

void Writer::writeRoot(const Content& c) {
    // content that was read without a single element (state operators, comments):
    // nothing to draw, but written back as it was
    if (!opts_.forceFull && c.elems.empty() && c.source && c.source->topEnd == 0) {
        const Source& src = *c.source;
        for (const NameUse& u : src.names) {
            QPDFObjectHandle obj;
            if (src.resources.isDictionary()) {
                auto d = src.resources.getKey(resCategoryKey(u.category));
                if (d.isDictionary()) obj = d.getKey("/" + u.name);
            }
            claim(u.category, u.name, obj);
        }
        out_ = src.bytes;
        return;
    }
    writeList(c, true);
}

WriteResult Writer::finish() {
    closeGroup();
    WriteResult r;
    r.foreign = foreign_;
    r.bytes = std::move(out_);
    r.resources = QPDFObjectHandle::newDictionary();
    for (int cat = 0; cat < kResCount; ++cat) {
        if (res_[cat].empty()) continue;
        auto d = QPDFObjectHandle::newDictionary();
        for (auto& [k, v] : res_[cat])
            if (!none(v)) d.replaceKey("/" + k, v);
        if (!d.getKeys().empty()) r.resources.replaceKey(resCategoryKey(cat), d);
    }
    return r;
}

}  // namespace

WriteResult writeContent(const Content& content, QPDF& target, const WriteOptions& opts) {
    Writer w(target, opts);
    w.keepDefaults(content.resources);
    w.writeRoot(content);
    return w.finish();
}

std::string flateEncode(const std::string& data) {
    // One compressor, reset for every stream: setting one up costs more than
    // compressing a page's content (the host writes pages one after another).
    struct Deflater {
        z_stream z{};
        bool ok = deflateInit(&z, Z_DEFAULT_COMPRESSION) == Z_OK;
        ~Deflater() {
            if (ok) deflateEnd(&z);
        }
    };
    thread_local Deflater d;
    if (!d.ok || deflateReset(&d.z) != Z_OK) throw std::runtime_error("deflate failed");
    std::string out(deflateBound(&d.z, static_cast<uLong>(data.size())), '\0');
    d.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    d.z.avail_in = static_cast<uInt>(data.size());
    d.z.next_out = reinterpret_cast<Bytef*>(out.data());
    d.z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&d.z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate failed");
    out.resize(d.z.total_out);
    return out;
}

bool writesSourceBack(const Content& content, QPDF& qpdf, QPDFObjectHandle page,
                      const WriteResult& r) {
    if (!content.source || content.qpdf != &qpdf || !content.page.isDictionary() ||
        content.page.getObjGen() != page.getObjGen() || r.bytes != content.source->bytes)
        return false;
    // and the page still has the streams the content was read from
    auto now = page.getKey("/Contents");
    auto then = content.pageContents;
    if (none(now) || none(then)) return none(now) && none(then);
    if (now.isIndirect() || then.isIndirect())
        return now.isIndirect() && then.isIndirect() && now.getObjGen() == then.getObjGen();
    return now.isSameObjectAs(then) || now.unparse() == then.unparse();
}

bool storePage(QPDF& qpdf, QPDFObjectHandle page, const Content& content,
               const WriteOptions& opts) {
    if (!opts.forceFull && content.unchanged() && content.page.isDictionary() &&
        content.page.getObjGen() == page.getObjGen())
        return false;
    WriteResult r = writeContent(content, qpdf, opts);
    // the same bytes as read: the page keeps its streams and resources as they are
    if (!opts.forceFull && writesSourceBack(content, qpdf, page, r)) return false;
    auto stream = QPDFObjectHandle::newStream(&qpdf, flateEncode(r.bytes));
    stream.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
    page.replaceKey("/Contents", stream);
    page.replaceKey("/Resources", r.resources);
    return true;
}

}  // namespace vexa::host::pde
