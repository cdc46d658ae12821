// The page-content tables: PDFEditRead, PDFEditWrite, PagePDEContent and PDSysFont,
// over the content model.
#include "pde/Tables.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_RunLength.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

#include "core/Core.h"
#include "core/Support.h"
#include "doc/DocInternal.h"
#include "pde/Model.h"

namespace vexa::host::pde {
namespace {

// --- guards and conversions ---------------------------------------------------------

template <class F>
decltype(auto) guard(F&& f) {
    return doc::guarded(pdeErrBadContent, std::forward<F>(f));
}

_t_PDEObject* check(PDEObject o) {
    if (!o) raise(genErrBadParm);
    return o;
}
template <class T>
T* as(PDEObject o, PDEType t) {
    if (check(o)->type != t) raise(pdeErrBadType);
    return static_cast<T*>(o);
}
Element* element(PDEObject o) {
    switch (check(o)->type) {
        case kPDEText:
        case kPDEPath:
        case kPDEImage:
        case kPDEForm:
        case kPDEPS:
        case kPDEXObject:
        case kPDEPlace:
        case kPDEContainer:
        case kPDEShading:
            return static_cast<Element*>(o);
        default:
            raise(pdeErrBadType);
    }
}

// Cos documents by their QPDF, so that objects can be handed out as CosObj.
std::unordered_map<QPDF*, CosDoc>& docs() {
    static std::unordered_map<QPDF*, CosDoc> m;
    static bool hooked = false;
    if (!hooked) {
        hooked = true;
        doc::addCloseHook([](PDDoc d) {
            CosDoc cd = doc::cosDocOf(d);
            for (auto it = docs().begin(); it != docs().end();)
                it = it->second == cd ? docs().erase(it) : std::next(it);
        });
    }
    return m;
}
void noteDoc(CosDoc cd) {
    if (cd) docs()[&doc::qpdfOf(cd)] = cd;
}
CosDoc docOf(QPDFObjectHandle h) {
    QPDF* q = h.getOwningQPDF();
    if (!q) return nullptr;
    auto it = docs().find(q);
    return it == docs().end() ? nullptr : it->second;
}
CosObj toCos(QPDFObjectHandle h) {
    if (none(h)) return CosObj();
    return doc::cosObjFor(docOf(h), h);
}
QPDFObjectHandle fromCos(const CosObj* o) {
    if (!o) return QPDFObjectHandle();
    CosDoc cd = doc::cosDocOfObj(*o);
    noteDoc(cd);
    return doc::handleOf(*o);
}

ASFixed fx(double v) {
    return floatToFixed(v);
}
double dbl(ASFixed f) {
    return fixedToDouble(f);
}

// --- graphics state in and out --------------------------------------------------------

void specOut(const ColorSpec& c, PDEColorSpec& out) {
    std::memset(&out, 0, sizeof out);
    out.space = c.space.get();
    for (int i = 0; i < c.n && i < 8; ++i) out.value.color[i] = fx(c.v[i]);
}

void specIn(const PDEColorSpec& in, ColorSpec& c) {
    if (!in.space) return;
    if (in.space->type != kPDEColorSpace) raise(pdeErrBadType);
    auto* cs = static_cast<ColorSpace*>(in.space);
    int n = std::clamp(cs->components(), 0, 8);
    bool same = cs == c.space.get();
    for (int i = 0; i < n && same; ++i)
        if (fx(c.v[i]) != in.value.color[i]) same = false;
    if (same) return;  // keep the full-precision values
    c.space = Ref<ColorSpace>(cs, false);
    c.n = n;
    c.more.clear();
    c.pattern.clear();
    c.patternObj = QPDFObjectHandle();
    for (int i = 0; i < n; ++i) c.v[i] = dbl(in.value.color[i]);
}

void gstateOut(const GState& g, PDEGraphicState* out, ASUns32 size) {
    PDEGraphicState s;
    std::memset(&s, 0, sizeof s);
    specOut(g.fill, s.fillColorSpec);
    specOut(g.stroke, s.strokeColorSpec);
    s.lineWidth = fx(g.lineWidth);
    s.miterLimit = fx(g.miterLimit);
    s.flatness = fx(g.flatness);
    s.lineCap = g.cap;
    s.lineJoin = g.join;
    s.renderIntent = g.intent.empty() ? ASAtomNull : atomFromString(g.intent.c_str());
    s.dash.dashPhase = fx(g.dashPhase);
    s.dash.dashLen = static_cast<ASInt32>(std::min<size_t>(g.dash.size(), 11));
    for (int i = 0; i < s.dash.dashLen; ++i) s.dash.dashes[i] = fx(g.dash[i]);
    s.extGState = g.ext.get();
    std::memcpy(out, &s, std::min<size_t>(size, sizeof s));
}

void gstateIn(const PDEGraphicState* in, ASUns32 size, GState& g) {
    if (!in) raise(genErrBadParm);
    PDEGraphicState s;
    std::memset(&s, 0, sizeof s);
    std::memcpy(&s, in, std::min<size_t>(size, sizeof s));
    specIn(s.fillColorSpec, g.fill);
    specIn(s.strokeColorSpec, g.stroke);
    if (fx(g.lineWidth) != s.lineWidth) g.lineWidth = dbl(s.lineWidth);
    if (fx(g.miterLimit) != s.miterLimit) g.miterLimit = dbl(s.miterLimit);
    if (fx(g.flatness) != s.flatness) g.flatness = dbl(s.flatness);
    g.cap = s.lineCap;
    g.join = s.lineJoin;
    g.intent = s.renderIntent == ASAtomNull ? "" : atomString(s.renderIntent);
    bool sameDash = static_cast<size_t>(std::clamp(s.dash.dashLen, 0, 11)) ==
                        std::min<size_t>(g.dash.size(), 11) &&
                    fx(g.dashPhase) == s.dash.dashPhase;
    for (int i = 0; sameDash && i < s.dash.dashLen; ++i)
        if (fx(g.dash[i]) != s.dash.dashes[i]) sameDash = false;
    if (!sameDash) {
        g.dash.clear();
        for (int i = 0; i < std::clamp(s.dash.dashLen, 0, 11); ++i)
            g.dash.push_back(dbl(s.dash.dashes[i]));
        g.dashPhase = dbl(s.dash.dashPhase);
    }
    if (s.extGState) {
        if (s.extGState->type != kPDEExtGState) raise(pdeErrBadType);
        if (s.extGState != g.ext.get())
            g.ext = Ref<ExtGState>(static_cast<ExtGState*>(s.extGState), false);
    } else {
        g.ext = Ref<ExtGState>();
    }
}

void textStateOut(const TextState& t, PDETextState* out, ASUns32 size) {
    PDETextState s;
    std::memset(&s, 0, sizeof s);
    s.charSpacing = fx(t.charSpacing);
    s.wordSpacing = fx(t.wordSpacing);
    s.renderMode = t.render;
    s.fontSize = fx(t.size);
    s.hScale = fx(t.scale / 100.0);
    s.textRise = fx(t.rise);
    std::memcpy(out, &s, std::min<size_t>(size, sizeof s));
}

void textStateIn(const PDETextState* in, ASUns32 size, TextState& t) {
    PDETextState s;
    std::memset(&s, 0, sizeof s);
    s.hScale = fixedOne;
    if (in) std::memcpy(&s, in, std::min<size_t>(size, sizeof s));
    if (fx(t.charSpacing) != s.charSpacing) t.charSpacing = dbl(s.charSpacing);
    if (fx(t.wordSpacing) != s.wordSpacing) t.wordSpacing = dbl(s.wordSpacing);
    t.render = std::clamp(s.renderMode, 0, 7);
    if (s.fontSize != 0 && fx(t.size) != s.fontSize) t.size = dbl(s.fontSize);
    if (fx(t.scale / 100.0) != s.hScale) t.scale = dbl(s.hScale) * 100.0;
    if (fx(t.rise) != s.textRise) t.rise = dbl(s.textRise);
}

// --- PDFEditRead ------------------------------------------------------------------

void pdeAcquire(PDEObject o) {
    addRef(check(o));
}
void pdeRelease(PDEObject o) {
    if (!o) return;
    if (o->refs <= 0) raise(pdeErrRelease);
    release(o);
}
PDEType pdeObjectGetType(PDEObject o) {
    return check(o)->type;
}

ASInt32 contentNum(PDEContent c) {
    return static_cast<ASInt32>(as<Content>(c, kPDEContent)->elems.size());
}
PDEElement contentGet(PDEContent c, ASInt32 i) {
    auto* k = as<Content>(c, kPDEContent);
    if (i < 0 || i >= static_cast<ASInt32>(k->elems.size())) raise(pdeErrBadIndex);
    return k->elems[i].get();
}
void contentGetAttrs(PDEContent c, PDEContentAttrs* attrs, ASUns32 size) {
    auto* k = as<Content>(c, kPDEContent);
    if (!attrs) raise(genErrBadParm);
    PDEContentAttrs a;
    std::memset(&a, 0, sizeof a);
    a.matrix = Mat().toFixed();
    if (k->formStream.isStream()) {
        guard([&] {
            auto d = k->formStream.getDict();
            ASFixedRect r;
            if (doc::rectOf(d.getKey("/BBox"), &r)) a.bbox = r;
            auto m = d.getKey("/Matrix");
            if (m.isArray() && m.getArrayNItems() == 6) {
                ASFixed* f = &a.matrix.a;
                for (int i = 0; i < 6; ++i) f[i] = doc::fixedOf(m.getArrayItem(i));
            }
            a.flags = kPDEFormAttrsSet;
        });
    }
    std::memcpy(attrs, &a, std::min<size_t>(size, sizeof a));
}

ASFixedRect rectOut(const BBox& b) {
    if (b.empty) return ASFixedRect{0, 0, 0, 0};
    return ASFixedRect{fx(b.l), fx(b.t), fx(b.r), fx(b.b)};
}

void elementGetBBox(PDEElement e, ASFixedRect* r) {
    if (!r) raise(genErrBadParm);
    Element* el = element(e);
    *r = guard([&] { return rectOut(el->bbox()); });
}
void elementGetMatrix(PDEElement e, ASFixedMatrix* m) {
    if (!m) raise(genErrBadParm);
    Element* el = element(e);
    *m = el->hasMatrix() ? el->matrix.toFixed() : Mat().toFixed();
}
PDEClip elementGetClip(PDEElement e) {
    return element(e)->clip.get();
}
ASBool elementGetGState(PDEElement e, PDEGraphicState* gs, ASUns32 size) {
    Element* el = element(e);
    if (!el->hasGState() || !gs) return false;
    if (el->type == kPDEText) {
        auto* t = static_cast<Text*>(el);
        gstateOut(t->runs.empty() ? t->gs : t->runs.front().gs, gs, size);
    } else {
        gstateOut(el->gs, gs, size);
    }
    return true;
}

ASAtom containerGetTag(PDEContainer c) {
    return atomFromString(as<Container>(c, kPDEContainer)->tag.c_str());
}
ASBool containerGetDict(PDEContainer c, CosObj* dict, ASBool* isInline) {
    auto* k = as<Container>(c, kPDEContainer);
    if (isInline) *isInline = k->inlineDict;
    if (dict) *dict = k->dict.isDictionary() ? toCos(k->dict) : CosObj();
    return k->dict.isDictionary();
}
PDEContent containerGetContent(PDEContainer c) {
    return as<Container>(c, kPDEContainer)->content.get();
}

CosObj formGetCosObj(PDEForm f) {
    return toCos(as<Form>(f, kPDEForm)->xobj);
}
void formGetMatrix(PDEForm f, ASFixedMatrix* m) {
    if (!m) raise(genErrBadParm);
    *m = as<Form>(f, kPDEForm)->matrix.toFixed();
}
PDEContent formAcquireContent(PDEForm f) {
    auto* form = as<Form>(f, kPDEForm);
    if (!form->content) {
        std::vector<QPDFObjGen> chain;
        guard([&] {
            form->content =
                readForm(form->xobj.getOwningQPDF(), form->xobj, form->resources, chain);
        });
    }
    addRef(form->content.get());
    return form->content.get();
}
void formReleaseContent(PDEForm f, PDEContent c) {
    as<Form>(f, kPDEForm);
    pdeRelease(c);
}

ASInt32 pathGetData(PDEPath p, ASInt32* data, ASUns32 size) {
    auto* path = as<Path>(p, kPDEPath);
    ASUns32 bytes = static_cast<ASUns32>(path->data.size() * sizeof(ASInt32));
    if (data) std::memcpy(data, path->data.data(), std::min(size, bytes) & ~3u);
    return static_cast<ASInt32>(bytes);
}
PDEPathOpFlags pathGetPaintOp(PDEPath p) {
    return as<Path>(p, kPDEPath)->paint;
}

Text* text(PDEText t) {
    return as<Text>(t, kPDEText);
}
TextRun& run(Text* t, ASInt32 i) {
    if (i < 0 || i >= static_cast<ASInt32>(t->runs.size())) raise(pdeErrBadIndex);
    return t->runs[i];
}
ASInt32 textNumRuns(PDEText t) {
    return static_cast<ASInt32>(text(t)->runs.size());
}
void textRunGetMatrix(PDEText t, ASInt32 i, ASFixedMatrix* m) {
    Text* x = text(t);
    run(x, i);
    if (!m) raise(genErrBadParm);
    *m = x->runMatrix(i).toFixed();
}
void textRunGetGState(PDEText t, ASInt32 i, PDEGraphicState* gs, ASUns32 size) {
    Text* x = text(t);
    if (!gs) raise(genErrBadParm);
    gstateOut(run(x, i).gs, gs, size);
}
void textRunGetTextState(PDEText t, ASInt32 i, PDETextState* ts, ASUns32 size) {
    Text* x = text(t);
    if (!ts) raise(genErrBadParm);
    textStateOut(run(x, i).ts, ts, size);
}
PDEFont textRunGetFont(PDEText t, ASInt32 i) {
    return run(text(t), i).ts.font.get();
}
void textGetAdvance(PDEText t, ASUns32 flags, ASInt32 i, ASFixedPoint* delta) {
    (void)flags;
    Text* x = text(t);
    if (!delta) raise(genErrBadParm);
    TextRun& r = run(x, i);
    double adv = guard([&] { return r.advance(); });
    Mat m = x->runMatrix(i);
    delta->h = fx(adv * m.a);
    delta->v = fx(adv * m.b);
}
ASInt32 textGetText(PDEText t, ASUns32 flags, ASInt32 i, ASUns8* buffer) {
    (void)flags;
    TextRun& r = run(text(t), i);
    // the run's bytes and their count, as the table function defines it (no terminator)
    if (buffer)
        std::memcpy(buffer, r.bytes.data(),  // NOLINT(bugprone-not-null-terminated-result)
                    r.bytes.size());
    return static_cast<ASInt32>(r.bytes.size());
}

ASInt32 clipNum(PDEClip c) {
    return static_cast<ASInt32>(as<Clip>(c, kPDEClip)->elems.size());
}
PDEElement clipGet(PDEClip c, ASInt32 i) {
    auto* k = as<Clip>(c, kPDEClip);
    if (i < 0 || i >= static_cast<ASInt32>(k->elems.size())) raise(pdeErrBadIndex);
    return k->elems[i].get();
}
ASBool clipFlatEnum(PDEClip c, PDEClipEnumProc proc, ASClientData data) {
    auto* k = as<Clip>(c, kPDEClip);
    if (!proc) raise(genErrBadParm);
    std::vector<Element*> all;
    k->flatten(all);
    for (Element* e : all)
        if (!proc(e, data)) return false;
    return true;
}

void imageGetAttrs(PDEImage i, PDEImageAttrs* a, ASUns32 size) {
    auto* im = as<Image>(i, kPDEImage);
    if (!a) raise(genErrBadParm);
    PDEImageAttrs out;
    std::memset(&out, 0, sizeof out);
    guard([&] {
        QPDFObjectHandle d = im->inlineImage       ? im->inlineDict
                             : im->xobj.isStream() ? im->xobj.getDict()
                                                   : QPDFObjectHandle();
        if (im->mask) out.flags |= kPDEImageIsMask;
        if (im->inlineImage) out.flags |= kPDEImageInline;
        if (d.isDictionary()) {
            auto w = d.getKey("/Width"), h = d.getKey("/Height"), b = d.getKey("/BitsPerComponent");
            out.width = w.isInteger() ? static_cast<ASInt32>(w.getIntValue()) : 0;
            out.height = h.isInteger() ? static_cast<ASInt32>(h.getIntValue()) : 0;
            out.bitsPerComponent =
                b.isInteger() ? static_cast<ASInt32>(b.getIntValue()) : (im->mask ? 1 : 0);
        }
    });
    std::memcpy(a, &out, std::min<size_t>(size, sizeof out));
}
PDEColorSpace imageGetColorSpace(PDEImage i) {
    return as<Image>(i, kPDEImage)->space.get();
}
CosObj imageGetCosObj(PDEImage i) {
    auto* im = as<Image>(i, kPDEImage);
    return im->inlineImage ? CosObj() : toCos(im->xobj);
}
CosObj shadingGetCosObj(PDEShading s) {
    return toCos(as<Shading>(s, kPDEShading)->obj);
}

ColorSpace* space(PDEColorSpace c) {
    return as<ColorSpace>(c, kPDEColorSpace);
}
ASAtom csGetName(PDEColorSpace c) {
    return atomFromString(space(c)->family.c_str());
}
ASInt32 csNumComps(PDEColorSpace c) {
    auto* s = space(c);
    return guard([&] { return s->components(); });
}
CosObj csGetCosObj(PDEColorSpace c) {
    return toCos(space(c)->obj);
}

ExtGState* egs(PDEExtGState e) {
    return as<ExtGState>(e, kPDEExtGState);
}
CosObj egsGetCosObj(PDEExtGState e) {
    return toCos(egs(e)->dict);
}
ASBool egsKey(PDEExtGState e, const char* key) {
    auto* x = egs(e);
    return guard([&] {
        if (!x->dict.isDictionary()) return false;
        auto v = x->dict.getKey(key);
        return v.isBool() && v.getBoolValue();
    });
}
ASBool egsOPFill(PDEExtGState e) {
    // /op defaults to /OP
    auto* x = egs(e);
    bool has = guard([&] { return x->dict.isDictionary() && x->dict.hasKey("/op"); });
    return egsKey(e, has ? "/op" : "/OP");
}
ASBool egsOPStroke(PDEExtGState e) {
    return egsKey(e, "/OP");
}

CosObj fontGetCosObj(PDEFont f) {
    return toCos(as<Font>(f, kPDEFont)->dict);
}
ASInt32 fontGetName(PDEFont f, char* buf, ASInt32 size) {
    auto* font = as<Font>(f, kPDEFont);
    guard([&] { font->load(); });
    const std::string& n = font->baseFont;
    if (buf && size > 0) {
        size_t k = std::min<size_t>(n.size(), size - 1);
        std::memcpy(buf, n.data(), k);
        buf[k] = 0;
    }
    return static_cast<ASInt32>(n.size());
}

ASBool getTag(PDEObject o, ExtensionID owner, ASUns32 tag, ASInt32* value) {
    for (auto& t : check(o)->tags)
        if (t.owner == owner && t.code == tag) {
            if (value) *value = t.value;
            return true;
        }
    return false;
}

// --- PDFEditWrite -------------------------------------------------------------------

PDEContent contentCreate() {
    return make<Content>().detach();
}

// Inserting the content into itself (or a container into its own content) would make
// a cycle; refused.
bool contains(Element* e, Content* target, int depth = 0) {
    if (depth > static_cast<int>(Limits::maxMarkedDepth)) return true;
    if (e->type != kPDEContainer) return false;
    auto* c = static_cast<Container*>(e);
    if (c->content.get() == target) return true;
    for (auto& k : c->content->elems)
        if (contains(k.get(), target, depth + 1)) return true;
    return false;
}

void contentAdd(PDEContent c, ASInt32 after, PDEElement e) {
    auto* k = as<Content>(c, kPDEContent);
    Element* el = element(e);
    if (contains(el, k)) raise(genErrBadParm);
    ASInt32 n = static_cast<ASInt32>(k->elems.size());
    size_t pos = after < 0 ? 0 : after >= n ? n : after + 1;
    k->elems.insert(k->elems.begin() + pos, Ref<Element>(el, false));
    k->modified = true;
}
void contentRemove(PDEContent c, ASInt32 i) {
    auto* k = as<Content>(c, kPDEContent);
    if (i < 0 || i >= static_cast<ASInt32>(k->elems.size())) raise(pdeErrBadIndex);
    k->elems.erase(k->elems.begin() + i);
    k->modified = true;
}

QPDFObjectHandle formDict(QPDF& q, const PDEContentAttrs& a, const BBox& fallback) {
    auto d = QPDFObjectHandle::newDictionary();
    d.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    d.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    ASFixedRect r = a.bbox;
    bool set = a.flags & kPDEFormAttrsSet;
    if (!set) r = rectOut(fallback);
    d.replaceKey("/BBox", doc::arrayOfRect(r));
    if (set) {
        Mat m = Mat::from(a.matrix);
        if (!m.isIdentity()) {
            auto arr = QPDFObjectHandle::newArray();
            for (double v : {m.a, m.b, m.c, m.d, m.e, m.f})
                arr.appendItem(QPDFObjectHandle::newReal(v, 6, true));
            d.replaceKey("/Matrix", arr);
        }
    }
    (void)q;
    return d;
}

void contentToCosObj(PDEContent c, ASUns32 toFlags, const PDEContentAttrs* attrs, ASUns32 attrsSize,
                     CosDoc cosDoc, const PDEFilterArray* filters, CosObj* contentsOut,
                     CosObj* resourcesOut) {
    auto* k = as<Content>(c, kPDEContent);
    if (!cosDoc) raise(genErrBadParm);
    PDEContentAttrs a;
    std::memset(&a, 0, sizeof a);
    if (attrs) std::memcpy(&a, attrs, std::min<size_t>(attrsSize, sizeof a));
    bool flate = false;
    if (filters) {
        for (int i = 0; i < std::clamp(filters->numFilters, 0, 4); ++i) {
            std::string n = atomString(filters->spec[i].name);
            if (n == "FlateDecode" || n == "Fl")
                flate = true;
            else
                raise(genErrBadParm);
        }
    }
    QPDF& q = doc::qpdfOf(cosDoc);
    noteDoc(cosDoc);
    bool toForm = toFlags & kPDEContentToForm;
    guard([&] {
        QPDFObjectHandle stream, res;
        // An unchanged page or form keeps its content data and resources.
        if (k->unchanged() && k->source && (k->page.isDictionary() || k->formStream.isStream())) {
            QPDFObjectHandle single;
            if (k->formStream.isStream()) {
                single = k->formStream;
            } else {
                auto cs = k->page.getKey("/Contents");
                if (cs.isStream()) single = cs;
                if (cs.isArray() && cs.getArrayNItems() == 1 && cs.getArrayItem(0).isStream())
                    single = cs.getArrayItem(0);
            }
            if (single.isStream() && !flate) {
                auto raw = single.getRawStreamData();
                stream = QPDFObjectHandle::newStream(
                    &q,
                    std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()));
                auto sd = single.getDict();
                for (const char* key : {"/Filter", "/DecodeParms"})
                    if (sd.hasKey(key))
                        stream.getDict().replaceKey(key, doc::copyForeign(cosDoc, sd.getKey(key)));
            } else {
                const std::string& b = k->source->bytes;
                stream = QPDFObjectHandle::newStream(&q, flate ? flateEncode(b) : b);
                if (flate)
                    stream.getDict().replaceKey("/Filter",
                                                QPDFObjectHandle::newName("/FlateDecode"));
            }
            res = k->resources.isDictionary() ? doc::copyForeign(cosDoc, k->resources)
                                              : QPDFObjectHandle::newDictionary();
            // the form gets its own resources dictionary (same entries), so that later
            // changes to it do not reach the page
            res = res.shallowCopy();
        } else {
            WriteResult r = writeContent(*k, q);
            for (QPDF* src : r.foreign) {
                auto it = docs().find(src);
                if (it != docs().end()) doc::keepSourceAlive(cosDoc, doc::qpdfShared(it->second));
            }
            stream = QPDFObjectHandle::newStream(&q, flate ? flateEncode(r.bytes) : r.bytes);
            if (flate)
                stream.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
            res = r.resources;
        }
        if (toForm) {
            BBox b;
            if (!(a.flags & kPDEFormAttrsSet))
                for (auto& e : k->elems) b.add(e->bbox());
            auto d = formDict(q, a, b);
            for (auto& key : d.getKeys()) stream.getDict().replaceKey(key, d.getKey(key));
            stream.getDict().replaceKey("/Resources", res);
        }
        if (contentsOut) *contentsOut = doc::cosObjFor(cosDoc, stream);
        if (resourcesOut) *resourcesOut = doc::cosObjFor(cosDoc, res);
    });
}

PDEContent contentFromCos(const CosObj* contents, const CosObj* resources) {
    QPDFObjectHandle h = fromCos(contents), r = fromCos(resources);
    return guard([&] {
        std::string bytes;
        QPDFObjectHandle form;
        if (h.isStream()) {
            bytes = contentBytes(h);
            auto st = h.getDict().getKey("/Subtype");
            if (st.isName() && st.getName() == "/Form") {
                form = h;
                if (!r.isDictionary()) r = h.getDict().getKey("/Resources");
            }
        } else if (h.isArray()) {
            bytes = contentBytes(h);
        } else if (!none(h)) {
            raise(genErrBadParm);
        }
        ParseOptions o;
        if (form.isIndirect()) o.formChain.push_back(form.getObjGen());
        auto c = parseContent(h.getOwningQPDF(), std::move(bytes), r, o);
        c->formStream = form;
        return static_cast<PDEContent>(c.detach());
    });
}

void elementSetMatrix(PDEElement e, const ASFixedMatrix* m) {
    Element* el = element(e);
    if (!m) raise(genErrBadParm);
    if (!el->hasMatrix()) return;
    Mat nm = Mat::from(*m);
    if (el->matrix.toFixed().a == m->a && el->matrix.toFixed().b == m->b &&
        el->matrix.toFixed().c == m->c && el->matrix.toFixed().d == m->d &&
        el->matrix.toFixed().h == m->h && el->matrix.toFixed().v == m->v)
        return;       // unchanged at fixed precision: keep the exact value
    el->matrix = nm;  // a text's runs keep their place relative to the new matrix
    el->touch();
}
void elementSetClip(PDEElement e, PDEClip c) {
    Element* el = element(e);
    if (c) as<Clip>(c, kPDEClip);
    if (el->clip.get() == c) return;
    el->clip = Ref<Clip>(static_cast<Clip*>(c), false);
    el->touch();
}
void elementSetGState(PDEElement e, const PDEGraphicState* gs, ASUns32 size) {
    Element* el = element(e);
    if (!el->hasGState()) raise(pdeErrBadType);
    guard([&] {
        if (el->type == kPDEText) {
            for (auto& r : static_cast<Text*>(el)->runs) gstateIn(gs, size, r.gs);
        }
        gstateIn(gs, size, el->gs);
    });
    el->touch();
}
PDEElement elementCopy(PDEElement e, ASUns32 flags) {
    (void)flags;
    Element* el = element(e);
    return guard([&] { return static_cast<PDEElement>(el->clone().detach()); });
}

PDEContainer containerCreate(ASAtom tag, const CosObj* dict, ASBool isInline) {
    auto c = make<Container>();
    const char* t = atomString(tag);
    c->tag = (t && *t) ? t : "Vexa";
    if (dict) {
        c->dict = fromCos(dict);
        if (!none(c->dict) && !c->dict.isDictionary()) raise(genErrBadParm);
    }
    c->inlineDict = isInline && !c->dict.isIndirect();
    if (c->inlineDict && c->dict.isDictionary()) c->dictText = c->dict.unparse();
    c->dirty = true;
    return c.detach();
}
void containerSetDict(PDEContainer c, const CosObj* dict, ASBool isInline) {
    auto* k = as<Container>(c, kPDEContainer);
    QPDFObjectHandle d = fromCos(dict);
    if (!none(d) && !d.isDictionary()) raise(genErrBadParm);
    k->dict = d;
    k->inlineDict = isInline && !d.isIndirect();
    k->propName.clear();
    k->touch();
}
void containerSetTag(PDEContainer c, ASAtom tag) {
    auto* k = as<Container>(c, kPDEContainer);
    const char* t = atomString(tag);
    k->tag = (t && *t) ? t : "Vexa";
    k->touch();
}
void containerSetContent(PDEContainer c, PDEContent content) {
    auto* k = as<Container>(c, kPDEContainer);
    auto* cc = as<Content>(content, kPDEContent);
    for (auto& e : cc->elems)
        if (contains(e.get(), k->content.get()) || e.get() == k) raise(genErrBadParm);
    k->content = Ref<Content>(cc, false);
    k->touch();
}

PDEForm formCreate(const CosObj* xobj, const CosObj* resources, const ASFixedMatrix* m) {
    QPDFObjectHandle x = fromCos(xobj), r = fromCos(resources);
    if (!x.isStream()) raise(pdeErrNotForm);
    auto f = make<Form>();
    guard([&] {
        auto d = x.getDict();
        if (r.isDictionary() && !d.getKey("/Resources").isDictionary())
            d.replaceKey("/Resources", r);
        f->xobj = x;
        readFormMatrix(d, f->formMatrix);
        f->resources = d.getKey("/Resources");
    });
    if (m) f->matrix = Mat::from(*m);
    f->dirty = true;
    return f.detach();
}

PDEPath pathCreate() {
    auto p = make<Path>();
    p->dirty = true;
    return p.detach();
}
void pathSetData(PDEPath p, const ASInt32* data, ASUns32 size) {
    auto* path = as<Path>(p, kPDEPath);
    if (!data && size) raise(genErrBadParm);
    if (size / 4 > Limits::maxOperands * 16) raise(pdeErrLimit);
    path->setFixedData(data, size / 4);
    path->touch();
}
void pathSetPaintOp(PDEPath p, PDEPathOpFlags op) {
    auto* path = as<Path>(p, kPDEPath);
    path->paint = op;
    path->touch();
}

PDEText textCreate() {
    auto t = make<Text>();
    t->dirty = true;
    return t.detach();
}
void textAdd(PDEText t, ASUns32 flags, ASInt32 index, const ASUns8* bytes, ASInt32 len,
             PDEFont font, const PDEGraphicState* gs, ASUns32 gsSize, const PDETextState* ts,
             ASUns32 tsSize, const ASFixedMatrix* tm, const ASFixedMatrix* strokeMatrix) {
    (void)flags;
    (void)strokeMatrix;
    Text* x = text(t);
    if (len < 0 || (len > 0 && !bytes) || !font) raise(genErrBadParm);
    auto* f = as<Font>(font, kPDEFont);
    TextRun r;
    r.ts.font = Ref<Font>(f, false);
    r.ts.size = 1;
    textStateIn(ts, ts ? tsSize : 0, r.ts);
    if (!ts || ts->fontSize == 0) r.ts.size = 1;
    if (gs) guard([&] { gstateIn(gs, gsSize, r.gs); });
    Mat m = tm ? Mat::from(*tm) : Mat();
    Mat inv;
    r.tm = x->matrix.invert(inv) ? mul(m, inv) : m;
    r.bytes.assign(reinterpret_cast<const char*>(bytes), len);
    ASInt32 n = static_cast<ASInt32>(x->runs.size());
    size_t pos = index < 0 ? 0 : index >= n ? n : index + 1;
    if (x->runs.empty()) x->gs = r.gs;
    x->runs.insert(x->runs.begin() + pos, std::move(r));
    x->touch();
}
void textRunSetMatrix(PDEText t, ASInt32 i, const ASFixedMatrix* m) {
    Text* x = text(t);
    run(x, i);
    if (!m) raise(genErrBadParm);
    ASFixedMatrix cur = x->runMatrix(i).toFixed();
    if (!std::memcmp(&cur, m, sizeof cur)) return;
    x->setRunMatrix(i, Mat::from(*m));
}
void textRunSetGState(PDEText t, ASInt32 i, const PDEGraphicState* gs, ASUns32 size) {
    Text* x = text(t);
    guard([&] { gstateIn(gs, size, run(x, i).gs); });
    if (i == 0) x->gs = x->runs[0].gs;
    x->touch();
}
void textRunSetTextState(PDEText t, ASInt32 i, const PDETextState* ts, ASUns32 size) {
    Text* x = text(t);
    textStateIn(ts, size, run(x, i).ts);
    x->touch();
}

PDEClip clipCreate() {
    return make<Clip>().detach();
}
void clipAdd(PDEClip c, ASInt32 after, PDEElement e) {
    auto* k = as<Clip>(c, kPDEClip);
    Element* el = element(e);
    if (el->type != kPDEPath && el->type != kPDEText && el->type != kPDEContainer)
        raise(pdeErrBadType);
    ASInt32 n = static_cast<ASInt32>(k->elems.size());
    size_t pos = after < 0 ? 0 : after >= n ? n : after + 1;
    k->elems.insert(k->elems.begin() + pos, Ref<Element>(el, false));
}
void clipRemove(PDEClip c, ASInt32 i, ASInt32 count) {
    auto* k = as<Clip>(c, kPDEClip);
    ASInt32 n = static_cast<ASInt32>(k->elems.size());
    if (i < 0 || count < 0 || i + count > n) raise(pdeErrBadIndex);
    k->elems.erase(k->elems.begin() + i, k->elems.begin() + i + count);
}

PDEColorSpace csFromName(ASAtom family) {
    std::string f = atomString(family);
    if (f == "DeviceGray" || f == "DeviceRGB" || f == "DeviceCMYK" || f == "Pattern")
        return deviceSpace(f.c_str()).detach();
    if (f == "G") return deviceSpace("DeviceGray").detach();
    if (f == "RGB") return deviceSpace("DeviceRGB").detach();
    if (f == "CMYK") return deviceSpace("DeviceCMYK").detach();
    raise(pdeErrBadColorSpace);
}
PDEColorSpace csFromCos(const CosObj* o) {
    QPDFObjectHandle h = fromCos(o);
    return guard([&] {
        if (h.isName()) return csFromName(atomFromString(h.getName().substr(1).c_str()));
        if (!(h.isArray() && h.getArrayNItems() > 0 && h.getArrayItem(0).isName()))
            raise(pdeErrBadColorSpace);
        return static_cast<PDEColorSpace>(colorSpaceFromObject(h, "").detach());
    });
}
PDEColorSpace csCreate(ASAtom family, const void* data) {
    std::string f = atomString(family);
    if (!data) return csFromName(family);
    return guard([&]() -> PDEColorSpace {
        if (f == "Separation") {
            auto* d = static_cast<const PDESeparationColorData*>(data);
            if (!d->alt) raise(genErrBadParm);
            auto arr = QPDFObjectHandle::newArray();
            arr.appendItem(QPDFObjectHandle::newName("/Separation"));
            arr.appendItem(QPDFObjectHandle::newName(std::string("/") + atomString(d->name)));
            arr.appendItem(space(d->alt)->obj);
            arr.appendItem(doc::handleOf(d->tintTransform));
            noteDoc(doc::cosDocOfObj(d->tintTransform));
            return colorSpaceFromObject(arr, "").detach();
        }
        if (f == "Indexed") {
            auto* d = static_cast<const PDEIndexedColorData*>(data);
            if (!d->baseCs || d->hiVal < 0 || d->hiVal > 255 || !d->lookup) raise(genErrBadParm);
            int comps = space(d->baseCs)->components();
            auto arr = QPDFObjectHandle::newArray();
            arr.appendItem(QPDFObjectHandle::newName("/Indexed"));
            arr.appendItem(space(d->baseCs)->obj);
            arr.appendItem(QPDFObjectHandle::newInteger(d->hiVal));
            arr.appendItem(QPDFObjectHandle::newString(
                std::string(d->lookup, static_cast<std::size_t>(d->hiVal + 1) * comps)));
            return colorSpaceFromObject(arr, "").detach();
        }
        raise(pdeErrBadColorSpace);
    });
}

PDEExtGState egsCreateNew(CosDoc cd) {
    auto e = make<ExtGState>();
    guard([&] {
        auto d = QPDFObjectHandle::newDictionary();
        d.replaceKey("/Type", QPDFObjectHandle::newName("/ExtGState"));
        if (cd) {
            noteDoc(cd);
            d = doc::qpdfOf(cd).makeIndirectObject(d);
        }
        e->dict = d;
    });
    return e.detach();
}
PDEExtGState egsCreate(const CosObj* dict) {
    QPDFObjectHandle d = fromCos(dict);
    if (!d.isDictionary()) raise(genErrBadParm);
    auto e = make<ExtGState>();
    e->dict = d;
    return e.detach();
}
void egsSet(PDEExtGState e, const char* key, ASBool v) {
    auto* x = egs(e);
    guard([&] { x->dict.replaceKey(key, QPDFObjectHandle::newBool(v)); });
}
void egsSetOPFill(PDEExtGState e, ASBool v) {
    egsSet(e, "/op", v);
}
void egsSetOPStroke(PDEExtGState e, ASBool v) {
    egsSet(e, "/OP", v);
}

void defaultGState(PDEGraphicState* gs, ASUns32 size) {
    if (!gs) raise(genErrBadParm);
    gstateOut(GState(), gs, size);
}

void addTag(PDEObject o, ExtensionID owner, ASUns32 tag, ASInt32 value) {
    for (auto& t : check(o)->tags)
        if (t.owner == owner && t.code == tag) {
            t.value = value;
            return;
        }
    o->tags.push_back({owner, tag, value});
}
void removeTag(PDEObject o, ExtensionID owner, ASUns32 tag) {
    auto& v = check(o)->tags;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](auto& t) { return t.owner == owner && t.code == tag; }),
            v.end());
}

const StdFont* sysFont(PDSysFont f) {
    auto* s = reinterpret_cast<const StdFont*>(f);
    if (!s || stdFontIndex(s) < 0 || !stdFontAt(stdFontIndex(s)) || stdFontAt(stdFontIndex(s)) != s)
        raise(genErrBadParm);
    return s;
}

PDEFont fontFromSys(PDSysFont sf, ASUns32 flags) {
    (void)flags;
    const StdFont* s = sysFont(sf);
    auto f = make<Font>();
    guard([&] {
        auto d = QPDFObjectHandle::newDictionary();
        d.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
        d.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
        d.replaceKey("/BaseFont", QPDFObjectHandle::newName(std::string("/") + s->name));
        // The Latin fonts take text in WinAnsiEncoding (Windows-1252), which holds the
        // accented letters of the western languages; the symbol fonts keep their own.
        const int* widths = s->symbolic ? s->widths : s->winAnsiWidths;
        if (!s->symbolic) d.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
        d.replaceKey("/FirstChar", QPDFObjectHandle::newInteger(32));
        d.replaceKey("/LastChar", QPDFObjectHandle::newInteger(255));
        auto w = QPDFObjectHandle::newArray();
        for (int c = 32; c < 256; ++c) w.appendItem(QPDFObjectHandle::newInteger(widths[c]));
        d.replaceKey("/Widths", w);
        f->dict = d;
        f->resName = "F";
    });
    return f.detach();
}
PDEFont fontFromCos(const CosObj* o) {
    QPDFObjectHandle d = fromCos(o);
    if (!d.isDictionary()) raise(genErrBadParm);
    auto f = make<Font>();
    f->dict = d;
    return f.detach();
}

[[noreturn]] void badImage(const std::string& text) {
    setErrorText(pdeErrBadImage, text);
    raise(pdeErrBadImage);
}

// Encodes data for the filters of a stream (the first filter is decoded first, so the
// last one is applied first).
std::string encodeFor(std::vector<std::string> filters, std::string data) {
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        if (*it == "FlateDecode") {
            data = flateEncode(data);
        } else if (*it == "RunLengthDecode") {
            Pl_Buffer buf("pde-rl");
            Pl_RunLength rl("pde-rl", &buf, Pl_RunLength::a_encode);
            rl.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
            rl.finish();
            auto b = buf.getBufferSharedPointer();
            data.assign(reinterpret_cast<const char*>(b->getBuffer()), b->getSize());
        } else if (*it == "ASCIIHexDecode") {
            static const char* hex = "0123456789ABCDEF";
            std::string out;
            out.reserve(data.size() * 2 + data.size() / 32 + 2);
            for (size_t i = 0; i < data.size(); ++i) {
                auto c = static_cast<unsigned char>(data[i]);
                out += hex[c >> 4];
                out += hex[c & 15];
                if (i % 64 == 63) out += '\n';
            }
            out += '>';
            data = std::move(out);
        } else {
            badImage("The host cannot encode image data with the filter " + *it + ".");
        }
    }
    return data;
}

PDEImage imageCreate(const PDEImageAttrs* attrs, ASUns32 attrsSize, const ASFixedMatrix* matrix,
                     PDEColorSpace cs, const ASUns8* data, ASUns32 dataLen,
                     const PDEFilterArray* filters, CosDoc cosDoc) {
    if (!attrs || (!data && dataLen)) raise(genErrBadParm);
    PDEImageAttrs a;
    std::memset(&a, 0, sizeof a);
    std::memcpy(&a, attrs, std::min<size_t>(attrsSize, sizeof a));
    const bool mask = a.flags & kPDEImageIsMask, inl = a.flags & kPDEImageInline,
               encoded = a.flags & kPDEImageEncoded;
    ColorSpace* space = cs ? as<ColorSpace>(cs, kPDEColorSpace) : nullptr;
    if (a.width <= 0 || a.height <= 0 || a.width > (1 << 20) || a.height > (1 << 20))
        badImage("The image size " + std::to_string(a.width) + " x " + std::to_string(a.height) +
                 " is not possible.");
    int bpc = a.bitsPerComponent;
    if (mask && bpc == 0) bpc = 1;
    if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16)
        badImage("An image has 1, 2, 4, 8 or 16 bits per component, not " + std::to_string(bpc) +
                 ".");
    if (mask && bpc != 1) badImage("An image mask has one bit per sample.");
    if (!mask && !space) badImage("An image needs a colour space.");
    if (!inl && !cosDoc) raise(genErrBadParm);
    std::vector<std::string> names;
    if (filters) {
        if (filters->numFilters < 0 || filters->numFilters > 4) raise(genErrBadParm);
        for (int i = 0; i < filters->numFilters; ++i) {
            const char* n = atomString(filters->spec[i].name);
            if (!n || !*n) raise(genErrBadParm);
            names.push_back(n);
        }
    } else if (!encoded) {
        names.push_back("FlateDecode");
    }
    return guard([&]() -> PDEImage {
        int comps = 1;
        if (!mask) {
            if (space->family == "Pattern")
                badImage("An image cannot be drawn in a Pattern colour space.");
            comps = space->components();
            if (space->family == "Indexed" && bpc > 8)
                badImage("An indexed image has at most 8 bits per sample.");
        }
        std::string bytes(reinterpret_cast<const char*>(data), dataLen);
        if (!encoded) {
            uint64_t row = (static_cast<uint64_t>(a.width) * comps * bpc + 7) / 8;
            uint64_t need = row * static_cast<uint64_t>(a.height);
            if (need > Limits::maxContentBytes) badImage("The image is too large.");
            if (bytes.size() < need)
                badImage("The image data holds " + std::to_string(bytes.size()) +
                         " bytes; its size needs " + std::to_string(need) + ".");
            bytes.resize(need);
            bytes = encodeFor(names, std::move(bytes));
        }
        if (inl) {
            // in-line data is read up to EI: hexadecimal data can never contain it
            if (names.empty() || names.front() != "ASCIIHexDecode") {
                names.insert(names.begin(), "ASCIIHexDecode");
                bytes = encodeFor({"ASCIIHexDecode"}, std::move(bytes));
            }
        }
        auto dict = QPDFObjectHandle::newDictionary();
        if (!inl) {
            dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        }
        dict.replaceKey("/Width", QPDFObjectHandle::newInteger(a.width));
        dict.replaceKey("/Height", QPDFObjectHandle::newInteger(a.height));
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(bpc));
        if (mask)
            dict.replaceKey("/ImageMask", QPDFObjectHandle::newBool(true));
        else
            dict.replaceKey("/ColorSpace", space->obj);
        if (names.size() == 1) {
            dict.replaceKey("/Filter", QPDFObjectHandle::newName("/" + names[0]));
        } else if (!names.empty()) {
            auto arr = QPDFObjectHandle::newArray();
            for (auto& n : names) arr.appendItem(QPDFObjectHandle::newName("/" + n));
            dict.replaceKey("/Filter", arr);
        }
        auto img = make<Image>();
        img->mask = mask;
        if (space) img->space = Ref<ColorSpace>(space, false);
        if (inl) {
            img->inlineImage = true;
            img->inlineDict = dict;
            img->inlineData = std::move(bytes);
        } else {
            noteDoc(cosDoc);
            QPDF& q = doc::qpdfOf(cosDoc);
            auto stream = QPDFObjectHandle::newStream(&q, bytes);
            for (auto& k : dict.getKeys()) stream.getDict().replaceKey(k, dict.getKey(k));
            img->xobj = q.makeIndirectObject(stream);
        }
        if (matrix) img->matrix = Mat::from(*matrix);
        img->dirty = true;
        return img.detach();
    });
}

PDEImage imageFromCos(const CosObj* o, const ASFixedMatrix* matrix) {
    QPDFObjectHandle x = fromCos(o);
    return guard([&]() -> PDEImage {
        auto sub = x.isStream() ? x.getDict().getKey("/Subtype") : QPDFObjectHandle();
        if (!sub.isName() || sub.getName() != "/Image")
            badImage("The object is not an image XObject stream.");
        auto d = x.getDict();
        auto img = make<Image>();
        img->xobj = x;
        img->mask = d.getKey("/ImageMask").isBool() && d.getKey("/ImageMask").getBoolValue();
        auto cs = d.getKey("/ColorSpace");
        if (!img->mask && !none(cs)) img->space = colorSpaceFromObject(cs, "");
        if (matrix) img->matrix = Mat::from(*matrix);
        img->dirty = true;
        return img.detach();
    });
}

PDEShading shadingFromCos(const CosObj* o, const ASFixedMatrix* matrix) {
    QPDFObjectHandle x = fromCos(o);
    return guard([&]() -> PDEShading {
        QPDFObjectHandle d = x.isStream() ? x.getDict() : x;
        auto type = d.isDictionary() ? d.getKey("/ShadingType") : QPDFObjectHandle();
        if (!type.isInteger() || type.getIntValue() < 1 || type.getIntValue() > 7) {
            setErrorText(pdeErrBadShading, "The object is not a shading dictionary.");
            raise(pdeErrBadShading);
        }
        if (type.getIntValue() >= 4 && !x.isStream()) {
            setErrorText(pdeErrBadShading, "A mesh shading (type 4 to 7) is a stream.");
            raise(pdeErrBadShading);
        }
        if (none(d.getKey("/ColorSpace"))) {
            setErrorText(pdeErrBadShading, "The shading has no colour space.");
            raise(pdeErrBadShading);
        }
        auto sh = make<Shading>();
        sh->obj = x;
        sh->dict = d;
        if (matrix) sh->matrix = Mat::from(*matrix);
        sh->dirty = true;
        return sh.detach();
    });
}

// --- PagePDEContent -----------------------------------------------------------------

struct PageEntry {
    Ref<Content> content;
    ASInt32 count = 0;
    PDDoc doc = nullptr;
};
using PageKey = std::pair<QPDF*, QPDFObjGen>;
std::map<PageKey, PageEntry>& pages() {
    static std::map<PageKey, PageEntry> m;
    static bool hooked = false;
    if (!hooked) {
        hooked = true;
        doc::addCloseHook([](PDDoc d) {
            for (auto it = pages().begin(); it != pages().end();)
                it = it->second.doc == d ? pages().erase(it) : std::next(it);
        });
    }
    return m;
}
PageKey keyOf(PDPage page) {
    QPDFObjectHandle p = doc::pageObject(page);
    return {&doc::qpdfOf(doc::docOfPage(page)), p.getObjGen()};
}

PDEContent pageAcquire(PDPage page, ExtensionID owner) {
    (void)owner;
    if (doc::pageWrittenAhead(page)) raise(pdErrPageWritten);
    PageKey k = keyOf(page);
    auto& e = pages()[k];
    if (!e.content) {
        PDDoc d = doc::docOfPage(page);
        noteDoc(doc::cosDocOf(d));
        try {
            e.content = guard([&] { return readPage(*k.first, doc::pageObject(page)); });
        } catch (...) {
            pages().erase(k);
            throw;
        }
        e.doc = d;
    }
    ++e.count;
    return e.content.get();
}
ASInt32 pageRelease(PDPage page, ExtensionID owner) {
    (void)owner;
    PageKey k = keyOf(page);
    auto it = pages().find(k);
    if (it == pages().end()) raise(pdeErrRelease);
    ASInt32 left = --it->second.count;
    if (left <= 0) {
        pages().erase(it);
        return 0;
    }
    return left;
}
void pageSet(PDPage page, ExtensionID owner) {
    (void)owner;
    PageKey k = keyOf(page);
    auto it = pages().find(k);
    if (it == pages().end()) raise(pdeErrRelease);
    bool changed = guard([&] {
        QPDF& q = *k.first;
        QPDFObjectHandle p = doc::pageObject(page);
        WriteOptions o;
        Content& c = *it->second.content;
        if (!(!c.unchanged() || !c.page.isDictionary())) return false;
        WriteResult r = writeContent(c, q, o);
        if (writesSourceBack(c, q, p, r)) return false;
        CosDoc cd = doc::cosDocOf(doc::docOfPage(page));
        for (QPDF* src : r.foreign) {
            auto d = docs().find(src);
            if (d != docs().end()) doc::keepSourceAlive(cd, doc::qpdfShared(d->second));
        }
        // Left plain: the writers compress plain streams as they write them (the save
        // asked for uncompressed output keeps them plain), so a page written back again
        // before it is saved (placed, then given its slug line) is compressed once.
        auto stream = QPDFObjectHandle::newStream(&q, r.bytes);
        QPDFObjectHandle oldContents = p.getKey("/Contents"), oldResources = p.getKey("/Resources");
        p.replaceKey("/Contents", stream);
        p.replaceKey("/Resources", r.resources);
        doc::releaseSuperseded(page, oldContents, oldResources);
        return true;
    });
    if (changed) doc::pdModelTable()->PDPageNotifyContentsDidChange(page);
}

// --- PDSysFont ------------------------------------------------------------------------

PDSysFont findSysFontForName(const char* name) {
    if (!name) raise(genErrBadParm);
    return reinterpret_cast<PDSysFont>(const_cast<StdFont*>(findStdFont(name)));
}
PDSysFont findSysFont(const PDEFontAttrs* attrs, ASUns32 size, ASUns32 flags) {
    (void)flags;
    if (!attrs || size < sizeof(ASAtom)) raise(genErrBadParm);
    return findSysFontForName(atomString(attrs->name));
}
void sysFontGetAttrs(PDSysFont f, PDEFontAttrs* attrs, ASUns32 size) {
    const StdFont* s = sysFont(f);
    if (!attrs) raise(genErrBadParm);
    PDEFontAttrs a;
    std::memset(&a, 0, sizeof a);
    a.name = atomFromString(s->name);
    a.type = atomFromString("Type1");
    a.encoding = ASAtomNull;
    a.flags = (s->fixedPitch ? 1 : 0) | (s->symbolic ? 4 : 32) | (s->italicAngle ? 64 : 0);
    a.fontBBox = ASFixedRect{ASInt32ToFixed(s->bbox[0]), ASInt32ToFixed(s->bbox[3]),
                             ASInt32ToFixed(s->bbox[2]), ASInt32ToFixed(s->bbox[1])};
    a.ascent = static_cast<ASInt16>(s->ascent);
    a.descent = static_cast<ASInt16>(s->descent);
    a.capHeight = static_cast<ASInt16>(s->capHeight);
    a.italicAngle = static_cast<ASInt16>(s->italicAngle);
    a.missingWidth = 0;
    std::memcpy(attrs, &a, std::min<size_t>(size, sizeof a));
}
void sysFontGetWidths(PDSysFont f, ASInt16 widths[256]) {
    const StdFont* s = sysFont(f);
    if (!widths) raise(genErrBadParm);
    for (int i = 0; i < 256; ++i) widths[i] = static_cast<ASInt16>(s->widths[i]);
}
ASInt32 sysFontGetName(PDSysFont f, char* buf, ASInt32 size) {
    const StdFont* s = sysFont(f);
    ASInt32 n = static_cast<ASInt32>(std::strlen(s->name));
    if (buf && size > 0) {
        ASInt32 k = std::min(n, size - 1);
        std::memcpy(buf, s->name, k);
        buf[k] = 0;
    }
    return n;
}
void enumSysFonts(PDSysFontEnumProc proc, ASClientData data) {
    if (!proc) raise(genErrBadParm);
    for (int i = 0; stdFontAt(i); ++i)
        if (!proc(reinterpret_cast<PDSysFont>(const_cast<StdFont*>(stdFontAt(i))), data)) return;
}

const PDFEditReadHFT kRead = {
    {kPDFEditReadHFTName, kPDFEditReadHFTVersion, sizeof(PDFEditReadHFT)},
    pdeAcquire,
    pdeRelease,
    pdeObjectGetType,
    contentNum,
    contentGet,
    contentGetAttrs,
    elementGetBBox,
    elementGetMatrix,
    elementGetClip,
    elementGetGState,
    containerGetTag,
    containerGetDict,
    containerGetContent,
    formGetCosObj,
    formGetMatrix,
    formAcquireContent,
    formReleaseContent,
    pathGetData,
    pathGetPaintOp,
    textNumRuns,
    textRunGetMatrix,
    textRunGetGState,
    textRunGetTextState,
    textRunGetFont,
    textGetAdvance,
    textGetText,
    clipNum,
    clipGet,
    clipFlatEnum,
    imageGetAttrs,
    imageGetColorSpace,
    imageGetCosObj,
    shadingGetCosObj,
    csGetName,
    csNumComps,
    csGetCosObj,
    egsGetCosObj,
    egsOPFill,
    egsOPStroke,
    fontGetCosObj,
    fontGetName,
    getTag,
};

const PDFEditWriteHFT kWrite = {
    {kPDFEditWriteHFTName, kPDFEditWriteHFTVersion, sizeof(PDFEditWriteHFT)},
    contentCreate,
    contentAdd,
    contentRemove,
    contentToCosObj,
    contentFromCos,
    elementSetMatrix,
    elementSetClip,
    elementSetGState,
    elementCopy,
    containerCreate,
    containerSetDict,
    containerSetTag,
    containerSetContent,
    formCreate,
    pathCreate,
    pathSetData,
    pathSetPaintOp,
    textCreate,
    textAdd,
    textRunSetMatrix,
    textRunSetGState,
    textRunSetTextState,
    clipCreate,
    clipAdd,
    clipRemove,
    csFromName,
    csFromCos,
    csCreate,
    egsCreateNew,
    egsCreate,
    egsSetOPFill,
    egsSetOPStroke,
    defaultGState,
    addTag,
    removeTag,
    fontFromSys,
    fontFromCos,
    imageCreate,
    imageFromCos,
    shadingFromCos,
};

const PagePDEContentHFT kPage = {
    {kPagePDEContentHFTName, kPagePDEContentHFTVersion, sizeof(PagePDEContentHFT)},
    pageAcquire,
    pageRelease,
    pageSet,
};

const PDSysFontHFT kSysFont = {
    {kPDSysFontHFTName, kPDSysFontHFTVersion, sizeof(PDSysFontHFT)},
    findSysFont,
    findSysFontForName,
    sysFontGetAttrs,
    sysFontGetWidths,
    sysFontGetName,
    enumSysFonts,
};

struct ErrorTexts {
    ErrorTexts() {
        setErrorText(pdeErrBadContent, "The page content cannot be read.");
        setErrorText(pdeErrLimit, "The page content exceeds a limit of the host.");
        setErrorText(pdeErrRecursiveForm, "A form XObject draws itself.");
        setErrorText(pdeErrBadType, "The page-content object is of the wrong kind.");
        setErrorText(pdeErrBadIndex, "The element index is out of range.");
        setErrorText(pdeErrNoFont, "The font cannot be found.");
        setErrorText(pdeErrBadColorSpace, "The colour space is not supported.");
        setErrorText(pdeErrNotForm, "The object is not a form XObject.");
        setErrorText(pdeErrRelease, "Page content released more often than acquired.");
        setErrorText(pdeErrBadImage, "The image data does not match its attributes.");
        setErrorText(pdeErrBadShading, "The object is not a shading.");
    }
};

}  // namespace

const PDFEditReadHFT* readTable() {
    static ErrorTexts texts;
    return &kRead;
}
const PDFEditWriteHFT* writeTable() {
    return &kWrite;
}
const PagePDEContentHFT* pageContentTable() {
    return &kPage;
}
const PDSysFontHFT* sysFontTable() {
    return &kSysFont;
}

}  // namespace vexa::host::pde
