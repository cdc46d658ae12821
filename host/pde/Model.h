// The page-content model: a content stream as a tree of reference-counted elements
// (text, paths, images, forms, clips, marked-content containers, ...), each carrying
// its complete graphics state. Parser.cpp builds it from content bytes, Writer.cpp
// writes it back. Elements that were read and never changed remember where their
// bytes lie in the original content so that the writer can copy them unchanged.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ASExcept.h"
#include "PDFEditHFT.h"

// Every model object is a _t_PDEObject: the opaque handle of the interface.
struct _t_PDEObject {
    explicit _t_PDEObject(PDEType t) : type(t) {}
    virtual ~_t_PDEObject() = default;
    _t_PDEObject(const _t_PDEObject&) = delete;
    _t_PDEObject& operator=(const _t_PDEObject&) = delete;

    struct Tag {
        ExtensionID owner;
        ASUns32 code;
        ASInt32 value;
    };
    const PDEType type;
    ASInt32 refs = 1;
    std::vector<Tag> tags;  // run-time tags, never written
};

namespace vexa::host::pde {

// True for null objects and for handles that were never set.
inline bool none(QPDFObjectHandle h) {
    return !h.isInitialized() || h.isNull();
}

// Hard limits against hostile content; no real file comes near them.
struct Limits {
    static constexpr size_t maxOperands = 65536;         // operands before one operator
    static constexpr size_t maxArrayDepth = 64;          // nested arrays/dicts in operands
    static constexpr size_t maxSaveDepth = 4096;         // q nesting
    static constexpr size_t maxMarkedDepth = 256;        // BDC/BMC nesting
    static constexpr size_t maxFormDepth = 64;           // forms drawing forms
    static constexpr size_t maxElements = 4000000;       // elements in one content list tree
    static constexpr size_t maxContentBytes = 1u << 30;  // decoded content of one list
};

void addRef(_t_PDEObject* o);
void release(_t_PDEObject* o);  // frees at zero

// Intrusive reference to a model object.
template <class T>
class Ref {
  public:
    Ref() = default;
    Ref(T* p, bool adopt) : p_(p) {
        if (p_ && !adopt) addRef(p_);
    }
    Ref(const Ref& o) : p_(o.p_) {
        if (p_) addRef(p_);
    }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    template <class U>
    Ref(const Ref<U>& o) : p_(o.get()) {
        if (p_) addRef(p_);
    }
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_) release(p_);
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    bool operator==(const Ref& o) const { return p_ == o.p_; }

  private:
    T* p_ = nullptr;
};
template <class T, class... A>
Ref<T> make(A&&... a) {
    return Ref<T>(new T(std::forward<A>(a)...), true);
}

// Row-vector matrix of PDF: (x y 1) x M.
struct Mat {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    static Mat from(const ASFixedMatrix& m);
    ASFixedMatrix toFixed() const;
    bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0; }
    bool operator==(const Mat& o) const {
        return a == o.a && b == o.b && c == o.c && d == o.d && e == o.e && f == o.f;
    }
    bool operator!=(const Mat& o) const { return !(*this == o); }
    void apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + c * y + e;
        oy = b * x + d * y + f;
    }
    bool invert(Mat& out) const;
};
// first applied, then second.
Mat mul(const Mat& first, const Mat& second);

struct BBox {
    double l = 0, b = 0, r = 0, t = 0;
    bool empty = true;
    void add(double x, double y);
    void add(const BBox& o);
    BBox transformed(const Mat& m) const;
};

// ---------------------------------------------------------------------------------
// Non-element objects.

struct ColorSpace : _t_PDEObject {
    ColorSpace() : _t_PDEObject(kPDEColorSpace) {}
    std::string family;            // "DeviceRGB", "Separation", ...
    mutable QPDFObjectHandle obj;  // the name or the array (or stream) as in the file
    std::string resName;           // its name in the resources it came from, if any
    int components() const;
    void initialColor(double* v, int& n) const;
};
Ref<ColorSpace> deviceSpace(const char* family);  // shared DeviceGray/RGB/CMYK/Pattern
Ref<ColorSpace> colorSpaceFromObject(QPDFObjectHandle obj, const std::string& resName);

struct ExtGState : _t_PDEObject {
    ExtGState() : _t_PDEObject(kPDEExtGState) {}
    mutable QPDFObjectHandle dict;
    std::string resName;
    bool hasSoftMask() const;
};

struct Font : _t_PDEObject {
    Font() : _t_PDEObject(kPDEFont) {}
    mutable QPDFObjectHandle dict;  // null when the resource is missing
    std::string resName;
    std::string baseFont;
    bool twoByte = false;  // Type0 with a two-byte encoding
    bool type3 = false;
    Mat fontMatrix{0.001, 0, 0, 0.001, 0, 0};
    double defaultWidth = 0;     // in glyph space units
    std::vector<double> widths;  // simple fonts: by code
    int firstChar = 0;
    std::vector<std::pair<std::pair<int, int>, double>> cidWidths;  // Type0 ranges
    int stdIndex = -1;     // index of a standard-14 font used for missing widths
    bool winAnsi = false;  // /Encoding /WinAnsiEncoding (standard widths by that code)
    double ascent = 0, descent = 0;
    bool loaded = false;
    void load();
    double glyphWidth(int code);  // in text space units for size 1
};

struct ColorSpec {
    Ref<ColorSpace> space;
    int n = 1;
    double v[8] = {0};
    std::vector<double> more;  // components beyond the eighth (DeviceN)
    std::string pattern;       // resource name of the pattern with Pattern spaces
    mutable QPDFObjectHandle patternObj;
    bool operator==(const ColorSpec& o) const;
};

struct GState {
    ColorSpec fill, stroke;
    double lineWidth = 1, miterLimit = 10, flatness = 1;
    int cap = 0, join = 0;
    std::vector<double> dash;
    double dashPhase = 0;
    std::string intent;  // empty: not set
    Ref<ExtGState> ext;  // the graphics-state dictionary in force (merged)
    Mat extCtm;          // the CTM when a soft mask was set
    GState();
    bool sameExceptColors(const GState& o) const;
    // Takes the line, dash, intent and flatness entries a graphics-state dictionary
    // sets (the rest of it stays in `ext`); anything else than a dictionary sets none.
    void applyParams(QPDFObjectHandle dict);
};

struct TextState {
    double charSpacing = 0, wordSpacing = 0, scale = 100, leading = 0, rise = 0;
    int render = 0;
    Ref<Font> font;
    double size = 0;
    bool operator==(const TextState& o) const;
};

// ---------------------------------------------------------------------------------
// Elements.

struct Clip;
struct Content;

// The original bytes an element was read from, with what is needed to copy them.
struct NameUse {
    uint8_t category;  // ResCat
    std::string name;
};
enum ResCat : uint8_t {
    kResFont,
    kResExtGState,
    kResColorSpace,
    kResPattern,
    kResXObject,
    kResShading,
    kResProperties,
    kResCount
};
const char* resCategoryKey(int cat);  // "/Font", ...

struct Source {
    std::string bytes;                   // decoded content
    std::vector<NameUse> names;          // resource names used, in order of appearance
    mutable QPDFObjectHandle resources;  // resources the names refer to
    size_t topEnd = 0;                   // end of the last top-level element
};

// Where an unchanged element's bytes lie in its source. The graphics state when the
// element starts is the element's own state (gs, matrix, clip) and ts below.
struct Origin {
    std::shared_ptr<const Source> src;    // null: not read from content
    size_t start = 0, end = 0;            // [start, end) in src->bytes
    size_t gapStart = 0;                  // end of the previous sibling
    uint32_t nameBegin = 0, nameEnd = 0;  // src->names used from gapStart to end
    int depthStart = 0, depthEnd = 0;     // q depth before and after the element
    int minDepthGap = 0;                  // lowest q depth between gapStart and start
    int minDepthElem = 0;                 // lowest q depth inside the element
    TextState ts;                         // text state when the element starts
    bool complete = true;                 // false: cut off by the end of the content
    bool damaged = false;                 // bytes repaired when read (from gapStart on)
    bool valid() const { return src != nullptr; }
};

struct Element : _t_PDEObject {
    using _t_PDEObject::_t_PDEObject;
    GState gs;
    Ref<Clip> clip;
    Mat matrix;  // the CTM when drawn (not used by containers, places, PS)
    Origin origin;
    bool dirty = false;  // changed since it was read (or created here)
    void touch() {
        dirty = true;
        origin.src.reset();
    }
    virtual bool hasMatrix() const { return true; }
    virtual bool hasGState() const { return true; }
    virtual Ref<Element> clone() const = 0;
    virtual BBox bbox() const = 0;  // in the parent's coordinates
    virtual bool unchanged() const { return !dirty && origin.valid(); }
};

// How many coordinates a path operator (kPDEMoveTo, ...) takes; 0 for kPDEClosePath
// and unknown codes.
int pathOpArgs(int op);

struct Path : Element {
    Path() : Element(kPDEPath) {}
    std::vector<ASInt32> data;   // operator codes and 16.16 coordinates
    std::vector<double> coords;  // the same coordinates in full precision
    std::vector<uint8_t> ops;
    ASUns32 paint = kPDEInvisible;
    Ref<Element> clone() const override;
    BBox bbox() const override;
    void setFixedData(const ASInt32* words, size_t count);
    void syncFixed();
};

// A marked-content operator inside a text object (BMC/BDC, or EMC when end is set).
struct TextMark {
    bool end = false;
    std::string tag;
    mutable QPDFObjectHandle dict;  // null for BMC
    bool inlineDict = false;
    std::string propName;  // BDC /Tag /Name: the Properties resource
};

struct TextRun {
    std::vector<TextMark> marks;  // marked-content operators just before the run
    TextState ts;
    GState gs;
    Mat tm;  // text matrix (without the CTM)
    std::string bytes;
    std::vector<std::pair<size_t, double>> adjust;  // TJ numbers before byte index
    bool continues = false;  // placed by the previous run's advance, not by Td/Tm
    double advance() const;  // horizontal displacement in text space
};

struct Text : Element {
    Text() : Element(kPDEText) {}
    std::vector<TextRun> runs;
    std::vector<TextMark> marksAfter;  // after the last run
    bool hasGState() const override { return true; }
    Ref<Element> clone() const override;
    BBox bbox() const override;
    Mat runMatrix(size_t i) const { return mul(runs[i].tm, matrix); }
    void setRunMatrix(size_t i, const Mat& m);
};

struct Image : Element {
    Image() : Element(kPDEImage) {}
    bool inlineImage = false;
    mutable QPDFObjectHandle xobj;  // XObject images
    std::string resName;
    std::string inlineBytes;  // the whole BI ... EI of an in-line image
    std::string inlineData;   // made here: the encoded data (the entries are inlineDict)
    mutable QPDFObjectHandle inlineDict;
    Ref<ColorSpace> space;
    bool mask = false;
    Ref<Element> clone() const override;
    BBox bbox() const override;
};

// A form XObject's /Matrix from its dictionary into m, when it is an array of six (an
// item that is no number reads as the identity's); m is left as it is otherwise.
void readFormMatrix(QPDFObjectHandle dict, Mat& m);

struct Form : Element {
    Form() : Element(kPDEForm) {}
    mutable QPDFObjectHandle xobj;
    std::string resName;
    Mat formMatrix;
    mutable QPDFObjectHandle resources;  // resources the form's content uses
    Ref<Content> content;                // read on request
    Ref<Element> clone() const override;
    BBox bbox() const override;
};

struct XObjectElem : Element {  // PostScript and unknown XObject subtypes
    XObjectElem() : Element(kPDEXObject) {}
    mutable QPDFObjectHandle xobj;
    std::string resName;
    Ref<Element> clone() const override;
    BBox bbox() const override;
};

struct Shading : Element {
    Shading() : Element(kPDEShading) {}
    mutable QPDFObjectHandle obj;   // the resource: dictionary or stream
    mutable QPDFObjectHandle dict;  // its dictionary
    std::string resName;
    Ref<Element> clone() const override;
    BBox bbox() const override;
};

// Operators kept as they were (unknown operators, compatibility sections, stray
// operators); written back unchanged in place.
struct PassThrough : Element {
    PassThrough() : Element(kPDEPS) {}
    std::string bytes;
    bool hasMatrix() const override { return false; }
    Ref<Element> clone() const override;
    BBox bbox() const override { return {}; }
};

struct Place : Element {  // MP and DP
    Place() : Element(kPDEPlace) {}
    std::string tag;
    mutable QPDFObjectHandle dict;  // null for MP
    bool inlineDict = false;
    std::string propName;  // DP /Name refers to the Properties resources
    bool hasMatrix() const override { return false; }
    bool hasGState() const override { return false; }
    Ref<Element> clone() const override;
    BBox bbox() const override { return {}; }
};

struct Container : Element {
    Container();
    std::string tag;
    mutable QPDFObjectHandle dict;  // null for BMC
    bool inlineDict = false;
    std::string propName;
    std::string dictText;  // an in-line dictionary as read (changes in place show)
    Ref<Content> content;
    GState ambient;  // graphics state at the start of the sequence
    bool hasMatrix() const override { return false; }
    bool hasGState() const override { return false; }
    Ref<Element> clone() const override;
    BBox bbox() const override;
    bool unchanged() const override;
};

struct Clip : _t_PDEObject {
    Clip() : _t_PDEObject(kPDEClip) {}
    std::vector<Ref<Element>> elems;  // paths, texts, containers of them
    Ref<Clip> copy() const;           // deep
    void flatten(std::vector<Element*>& out) const;
    BBox bbox() const;
};

// A content list: the elements of a page, a form or a container.
struct Content : _t_PDEObject {
    Content() : _t_PDEObject(kPDEContent) {}
    std::vector<Ref<Element>> elems;
    std::shared_ptr<const Source> source;  // the bytes it was read from
    mutable QPDFObjectHandle resources;    // resources the content was read with
    QPDF* qpdf = nullptr;
    bool modified = false;  // elements added or removed since reading
    // Where the content came from: a page (Contents streams), a form stream, or none.
    mutable QPDFObjectHandle page;
    mutable QPDFObjectHandle pageContents;  // the page's /Contents when it was read
    mutable QPDFObjectHandle formStream;
    std::vector<QPDFObjGen> formChain;  // forms enclosing this content (cycle check)
    bool unchanged() const;
};

// ---------------------------------------------------------------------------------
// Reading and writing.

struct ParseOptions {
    std::vector<QPDFObjGen> formChain;
};
// Parses decoded content bytes with the given resources.
Ref<Content> parseContent(QPDF* qpdf, std::string bytes, QPDFObjectHandle resources,
                          const ParseOptions& opts = {});
// The decoded bytes of a page's or form's content: a stream, or the streams of an
// array joined as if separated by white space (a stream may end in the middle of
// what would otherwise run into the next one's first token: "f" + "Q").
std::string contentBytes(QPDFObjectHandle contents);
// Reads a page's content (all its Contents streams, inherited resources).
Ref<Content> readPage(QPDF& qpdf, QPDFObjectHandle page);
// Reads a form XObject's content; enclosing is the chain of forms around it.
Ref<Content> readForm(QPDF* qpdf, QPDFObjectHandle form, QPDFObjectHandle parentResources,
                      const std::vector<QPDFObjGen>& enclosing);

struct WriteOptions {
    bool forceFull = false;  // re-serialize every element (for testing)
};
struct WriteResult {
    std::string bytes;
    mutable QPDFObjectHandle resources;  // a new direct dictionary
    std::vector<QPDF*> foreign;          // documents objects were copied from
};
std::string flateEncode(const std::string& data);
// Writes a content list; new resources are created in target (foreign objects copied).
WriteResult writeContent(const Content& content, QPDF& target, const WriteOptions& opts = {});

// True when r, written from content, is the page's content as it was read: the page
// can keep its streams and resources.
bool writesSourceBack(const Content& content, QPDF& qpdf, QPDFObjectHandle page,
                      const WriteResult& r);
// Sets a page's content from the model; leaves the page alone when nothing changed.
// Returns true when the page was rewritten.
bool storePage(QPDF& qpdf, QPDFObjectHandle page, const Content& content,
               const WriteOptions& opts = {});

// Standard 14 fonts.
struct StdFont {
    const char* name;
    int ascent, descent, capHeight, italicAngle;
    int bbox[4];
    bool fixedPitch, symbolic;
    int widths[256];         // by the font's built-in code
    int winAnsiWidths[256];  // by WinAnsiEncoding code (Latin fonts; 0 for no glyph)
};
const StdFont* findStdFont(const std::string& name);  // also common aliases
const StdFont* stdFontAt(int index);
int stdFontIndex(const StdFont* f);

// Formatting of numbers in content (shortest exact-enough form).
void appendNumber(std::string& out, double v);

}  // namespace vexa::host::pde
