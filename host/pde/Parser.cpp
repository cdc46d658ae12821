// Reading content streams into the element model. The lexer works on the decoded,
// concatenated content; the interpreter keeps the graphics state (q/Q stack, CTM,
// colours, text state, clip), pairs marked-content operators into containers and
// cuts the operator stream into elements. Whatever it does not model stays as
// pass-through bytes in its place. Repairs are reported as warnings.
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "core/Core.h"
#include "pde/Model.h"

namespace vexa::host::pde {
namespace {

enum Kind : uint8_t { kNum, kName, kStr, kHex, kArray, kDict, kBool, kNull };

struct Operand {
    Kind kind;
    double num = 0;
    uint32_t s = 0, e = 0;  // raw span (names: after the slash; strings: inside delimiters)
    uint32_t arrBegin = 0, arrEnd = 0;  // items in the array pool
};

inline bool isWhite(unsigned char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}
inline bool isDelim(unsigned char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}
inline bool isRegular(unsigned char c) {
    return !isWhite(c) && !isDelim(c);
}

std::string decodeName(const char* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == '#' && i + 2 < n + 0 && std::isxdigit(static_cast<unsigned char>(p[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(p[i + 2]))) {
            char h[3] = {p[i + 1], p[i + 2], 0};
            out += static_cast<char>(std::strtol(h, nullptr, 16));
            i += 2;
        } else {
            out += p[i];
        }
    }
    return out;
}

std::string decodeLiteral(const char* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c != '\\') {
            if (c == '\r') {  // end-of-line in a string reads as \n
                out += '\n';
                if (i + 1 < n && p[i + 1] == '\n') ++i;
                continue;
            }
            out += c;
            continue;
        }
        if (++i >= n) break;
        c = p[i];
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '\r':
                if (i + 1 < n && p[i + 1] == '\n') ++i;
                break;
            case '\n':
                break;
            default:
                if (c >= '0' && c <= '7') {
                    int v = c - '0';
                    for (int k = 0; k < 2 && i + 1 < n && p[i + 1] >= '0' && p[i + 1] <= '7'; ++k)
                        v = v * 8 + (p[++i] - '0');
                    out += static_cast<char>(v & 0xFF);
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string decodeHex(const char* p, size_t n) {
    std::string out;
    int hi = -1;
    for (size_t i = 0; i < n; ++i) {
        int c = static_cast<unsigned char>(p[i]), v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (hi < 0) {
            hi = v;
        } else {
            out += static_cast<char>(hi * 16 + v);
            hi = -1;
        }
    }
    if (hi >= 0) out += static_cast<char>(hi * 16);
    return out;
}

struct SavedState {
    GState gs;
    TextState ts;
    Mat ctm;
    Ref<Clip> clip;
    Mat textCm;
};

struct Level {  // one content list being filled
    Ref<Content> content;
    Ref<Container> container;  // null at the top
    size_t gapStart = 0;
    uint32_t nameMark = 0;
    int minDepthGap = 0;
};

class Parser {
  public:
    Parser(QPDF* qpdf, std::shared_ptr<Source> src, const ParseOptions& opts)
        : qpdf_(qpdf), src_(std::move(src)), opts_(opts) {
        p_ = src_->bytes.data();
        n_ = src_->bytes.size();
        res_ = src_->resources;
    }

    Ref<Content> run();

  private:
    // --- lexing
    bool lexToken(Operand& out, bool& isOp, uint32_t& opS, uint32_t& opE, int depth);
    Operand lexString();
    Operand lexHex();
    Operand lexDict(int depth);
    Operand lexArray(int depth);
    double lexNumber(const char* s, size_t len);
    void skipWhite() {
        while (pos_ < n_) {
            unsigned char c = p_[pos_];
            if (isWhite(c)) {
                ++pos_;
            } else if (c == '%') {
                while (pos_ < n_ && p_[pos_] != '\n' && p_[pos_] != '\r') ++pos_;
            } else {
                break;
            }
        }
    }

    // --- operands
    double num(size_t i) const {
        if (i >= ops_.size() || ops_[i].kind != kNum) return 0;
        return ops_[i].num;
    }
    bool argsAre(size_t n) const {
        if (ops_.size() < n) return false;
        for (size_t i = ops_.size() - n; i < ops_.size(); ++i)
            if (ops_[i].kind != kNum) return false;
        return true;
    }
    double tail(size_t fromEnd) const { return ops_[ops_.size() - fromEnd].num; }
    std::string nameAt(const Operand& o) const {
        const char* s = p_ + o.s;
        size_t n = o.e - o.s;
        if (std::memchr(s, '#', n)) return decodeName(s, n);
        return std::string(s, n);
    }
    std::string strAt(const Operand& o) const {
        if (o.kind == kHex) return decodeHex(p_ + o.s, o.e - o.s);
        return decodeLiteral(p_ + o.s, o.e - o.s);
    }
    const Operand* lastOf(Kind k) const {
        if (ops_.empty() || ops_.back().kind != k) return nullptr;
        return &ops_.back();
    }

    // --- interpretation
    void execute(const char* op, size_t len, uint32_t opStart, uint32_t opEnd);
    // one operator group each; false when the operator is none of the group's
    bool pathOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd);
    bool stateOp(const char* op, size_t len);
    bool colorOp(const char* op, size_t len);
    bool textOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd);
    bool textStateOp(char c);
    bool xobjectOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd);
    bool markedOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd);
    void startElement(uint32_t opStart);
    void pathPoint(uint8_t code, uint32_t opStart);
    void saveState();
    void restoreState();
    void beginText(uint32_t opStart);
    void selectFont(const std::string& name);
    void showTextArray(uint32_t opStart);
    void paintXObject(const std::string& name, uint32_t opStart, uint32_t opEnd);
    void markPoint(bool withProps, uint32_t opStart, uint32_t opEnd);
    void warnOnce(const std::string& w);
    QPDFObjectHandle resource(int cat, const std::string& name, bool record = true);
    void useName(int cat, const std::string& name) {
        src_->names.push_back({static_cast<uint8_t>(cat), name});
    }
    Level& level() { return levels_.back(); }
    void begin(uint32_t start) {
        if (elemStart_ == SIZE_MAX) {
            elemStart_ = start;
            elemTs_ = ts_;
        }
    }
    void finish(Ref<Element> e, uint32_t end);
    void addToClip(Ref<Element> e);
    void flushPath(uint32_t end, ASUns32 paint);
    void endText(uint32_t end, bool closed = true);
    Ref<ColorSpace> lookupSpace(const std::string& name);
    void setColor(bool fill, size_t first, size_t count, const Operand* pattern);
    void applyExtGState(QPDFObjectHandle dict, const std::string& name);
    void showText(const std::string& bytes, std::vector<std::pair<size_t, double>> adjust,
                  uint32_t opStart);
    void inlineImage(uint32_t opStart);
    // The parts of an in-line image: its dictionary (read up to ID), its colour space,
    // and the end of its data (pos_ is left after EI).
    QPDFObjectHandle inlineImageDict();
    Ref<ColorSpace> inlineImageSpace(QPDFObjectHandle dict);
    void skipInlineImageData(QPDFObjectHandle dict, const Ref<ColorSpace>& cs, bool mask);
    void beginMarked(bool withProps, uint32_t opStart, uint32_t opEnd);
    TextMark markOf(bool withProps);
    void addTextMark(TextMark m) {
        if (++textMarkCount_ > Limits::maxOperands) {
            setErrorText(pdeErrLimit, "A text object has too much marked content.");
            raise(pdeErrLimit);
        }
        textMarks_.push_back(std::move(m));
    }
    void endMarked(uint32_t opStart, uint32_t opEnd);
    void passThrough(uint32_t opStart, uint32_t opEnd);
    void checkElements() {
        if (++elemCount_ > Limits::maxElements) {
            setErrorText(pdeErrLimit, "The page content has too many elements.");
            raise(pdeErrLimit);
        }
    }

    QPDF* qpdf_;
    std::shared_ptr<Source> src_;
    ParseOptions opts_;
    const char* p_;
    size_t n_;
    size_t pos_ = 0;
    QPDFObjectHandle res_;

    std::vector<Operand> ops_;
    std::vector<Operand> pool_;  // array items
    std::vector<std::string> warned_;

    GState gs_;
    TextState ts_;
    Mat ctm_;
    Ref<Clip> clip_;
    std::vector<SavedState> stack_;
    std::vector<Level> levels_;
    size_t elemCount_ = 0;

    // the element being built
    size_t elemStart_ = SIZE_MAX;
    TextState elemTs_;
    int depthAtStart_ = 0;
    // path under construction
    Ref<Path> path_;
    int pendingClip_ = 0;  // 0 none, 1 W, 2 W*
    // text object
    Ref<Text> text_;
    bool inText_ = false;
    bool textTainted_ = false;         // other elements were drawn inside the text object
    int textMarked_ = 0;               // marked-content sequences open inside the text object
    std::vector<TextMark> textMarks_;  // met inside the text object, not yet placed
    size_t textMarkCount_ = 0;         // all met inside the text object
    size_t textStart_ = 0;             // where the text object began
    TextState textTs_;                 // the text state there
    int textDepth_ = 0;                // and the q depth
    Mat tm_, tlm_;
    Mat textCtm_;  // the CTM at BT
    Mat textCm_;   // cm applied inside the text object since BT (not allowed, but seen)
    bool tmContinues_ = false;
    bool compat_ = false;
    int minDepthInElem_ = 0;
    bool damaged_ = false;  // repaired since the last element ended

    std::unordered_map<std::string, Ref<ColorSpace>> spaces_;
    std::unordered_map<std::string, Ref<Font>> fonts_;
    std::unordered_map<std::string, Ref<ExtGState>> states_;
};

void Parser::warnOnce(const std::string& w) {
    // a missing resource is no fault of the bytes; anything else had to be repaired
    if (w.rfind("missing resource", 0) != 0) damaged_ = true;
    for (auto& x : warned_)
        if (x == w) return;
    warned_.push_back(w);
    warn("Page content: " + w);
}

QPDFObjectHandle Parser::resource(int cat, const std::string& name, bool record) {
    if (record) useName(cat, name);
    QPDFObjectHandle out;
    if (res_.isDictionary()) {
        auto d = res_.getKey(resCategoryKey(cat));
        if (d.isDictionary()) out = d.getKey("/" + name);
    }
    if (none(out)) warnOnce("missing resource " + std::string(resCategoryKey(cat)) + " /" + name);
    return out;
}

// Reads one token; sets isOp for operators (with their span). Arrays and dictionaries
// are read whole as one operand.
bool Parser::lexToken(Operand& out, bool& isOp, uint32_t& opS, uint32_t& opE, int depth) {
    isOp = false;
    skipWhite();
    if (pos_ >= n_) return false;
    unsigned char c = p_[pos_];
    size_t start = pos_;
    if (c == '/') {
        ++pos_;
        size_t s = pos_;
        while (pos_ < n_ && isRegular(static_cast<unsigned char>(p_[pos_]))) ++pos_;
        out = Operand{kName, 0, static_cast<uint32_t>(s), static_cast<uint32_t>(pos_)};
        return true;
    }
    if (c == '(') {
        out = lexString();
        return true;
    }
    if (c == '<') {
        out = pos_ + 1 < n_ && p_[pos_ + 1] == '<' ? lexDict(depth) : lexHex();
        return true;
    }
    if (c == '[') {
        out = lexArray(depth);
        return true;
    }
    if (c == ']' || c == '>' || c == ')' || c == '{' || c == '}') {
        ++pos_;  // stray delimiter: dropped
        warnOnce("stray delimiter");
        return lexToken(out, isOp, opS, opE, depth);
    }
    // number or keyword
    while (pos_ < n_ && isRegular(static_cast<unsigned char>(p_[pos_]))) ++pos_;
    const char* s = p_ + start;
    size_t len = pos_ - start;
    unsigned char f = s[0];
    const auto at = [&](Kind kind, double v) {
        return Operand{kind, v, static_cast<uint32_t>(start), static_cast<uint32_t>(pos_)};
    };
    if ((f >= '0' && f <= '9') || f == '-' || f == '+' || f == '.')
        out = at(kNum, lexNumber(s, len));
    else if (len == 4 && !std::memcmp(s, "true", 4))
        out = at(kBool, 1);
    else if (len == 5 && !std::memcmp(s, "false", 5))
        out = at(kBool, 0);
    else if (len == 4 && !std::memcmp(s, "null", 4))
        out = at(kNull, 0);
    else {
        isOp = true;
        opS = static_cast<uint32_t>(start);
        opE = static_cast<uint32_t>(pos_);
    }
    return true;
}

// A literal string from its "(" on; the operand spans what is between the parentheses.
Operand Parser::lexString() {
    ++pos_;
    size_t s = pos_;
    int nest = 1;
    while (pos_ < n_) {
        char ch = p_[pos_];
        if (ch == '\\') {
            pos_ += 2;
            continue;
        }
        if (ch == '(') ++nest;
        if (ch == ')' && --nest == 0) break;
        ++pos_;
    }
    if (pos_ > n_) pos_ = n_;
    size_t e = pos_;
    if (pos_ < n_) ++pos_;
    return Operand{kStr, 0, static_cast<uint32_t>(s), static_cast<uint32_t>(e)};
}

// A hexadecimal string from its "<" on; the operand spans the digits.
Operand Parser::lexHex() {
    ++pos_;
    size_t s = pos_;
    while (pos_ < n_ && p_[pos_] != '>') ++pos_;
    size_t e = pos_;
    if (pos_ < n_) ++pos_;
    return Operand{kHex, 0, static_cast<uint32_t>(s), static_cast<uint32_t>(e)};
}

// A dictionary from its "<<" to the matching ">>", strings and nesting respected.
Operand Parser::lexDict(int depth) {
    size_t start = pos_;
    pos_ += 2;
    int nest = 1;
    while (pos_ < n_ && nest > 0) {
        char ch = p_[pos_];
        if (ch == '(') {
            Operand tmp;
            bool op;
            uint32_t a, b;
            lexToken(tmp, op, a, b, depth + 1);
            continue;
        }
        if (ch == '<' && pos_ + 1 < n_ && p_[pos_ + 1] == '<') {
            if (++nest > static_cast<int>(Limits::maxArrayDepth)) {
                setErrorText(pdeErrLimit, "Page content nests dictionaries too deeply.");
                raise(pdeErrLimit);
            }
            pos_ += 2;
            continue;
        }
        if (ch == '>' && pos_ + 1 < n_ && p_[pos_ + 1] == '>') {
            --nest;
            pos_ += 2;
            continue;
        }
        ++pos_;
    }
    return Operand{kDict, 0, static_cast<uint32_t>(start), static_cast<uint32_t>(pos_)};
}

// An array from its "[" on; its items go to the pool.
Operand Parser::lexArray(int depth) {
    if (depth >= static_cast<int>(Limits::maxArrayDepth)) {
        setErrorText(pdeErrLimit, "Page content nests arrays too deeply.");
        raise(pdeErrLimit);
    }
    size_t start = pos_;
    ++pos_;
    std::vector<Operand> items;
    while (true) {
        skipWhite();
        if (pos_ >= n_) break;
        if (p_[pos_] == ']') {
            ++pos_;
            break;
        }
        Operand item;
        bool op;
        uint32_t a, b;
        size_t before = pos_;
        if (!lexToken(item, op, a, b, depth + 1)) break;
        if (op) {
            // an operator inside an array: the array ends here (lenient)
            pos_ = before;
            break;
        }
        items.push_back(item);
        if (items.size() > Limits::maxOperands) {
            setErrorText(pdeErrLimit, "Page content has an array with too many items.");
            raise(pdeErrLimit);
        }
    }
    Operand out{kArray, 0, static_cast<uint32_t>(start), static_cast<uint32_t>(pos_)};
    out.arrBegin = static_cast<uint32_t>(pool_.size());
    pool_.insert(pool_.end(), items.begin(), items.end());
    out.arrEnd = static_cast<uint32_t>(pool_.size());
    return out;
}

// A fast number parse; malformed numbers read as 0 like most readers.
double Parser::lexNumber(const char* s, size_t len) {
    double v = 0, frac = 0, scale = 1;
    bool neg = false, dot = false, ok = true;
    size_t i = 0;
    while (i < len && (s[i] == '-' || s[i] == '+')) {
        if (s[i] == '-') neg = !neg;
        ++i;
    }
    for (; i < len; ++i) {
        char ch = s[i];
        if (ch >= '0' && ch <= '9') {
            if (dot) {
                if (scale < 1e17) {
                    scale *= 10;
                    frac = frac * 10 + (ch - '0');
                }
            } else {
                v = v * 10 + (ch - '0');
            }
        } else if (ch == '.' && !dot) {
            dot = true;
        } else {
            ok = false;
            break;
        }
    }
    if (!ok) warnOnce("malformed number");
    v += frac / scale;
    if (!std::isfinite(v)) v = 0;
    return neg ? -v : v;
}

Ref<Content> Parser::run() {
    auto top = make<Content>();
    top->qpdf = qpdf_;
    top->resources = res_;
    top->formChain = opts_.formChain;
    levels_.push_back(Level{top, {}, 0, 0, 0});
    ops_.reserve(16);
    uint32_t firstOperand = 0;
    while (true) {
        Operand o;
        bool isOp;
        uint32_t s, e;
        if (ops_.empty()) {
            skipWhite();
            firstOperand = static_cast<uint32_t>(pos_);
        }
        if (!lexToken(o, isOp, s, e, 0)) break;
        if (!isOp) {
            ops_.push_back(o);
            if (ops_.size() > Limits::maxOperands) {
                setErrorText(pdeErrLimit, "Page content has an operator with too many operands.");
                raise(pdeErrLimit);
            }
            continue;
        }
        execute(p_ + s, e - s, ops_.empty() ? s : firstOperand, e);
        ops_.clear();
        pool_.clear();
    }
    if (!ops_.empty()) warnOnce("operands without operator at the end");
    if (path_) flushPath(static_cast<uint32_t>(n_), kPDEInvisible);
    if (inText_) {
        warnOnce("text object not closed");
        endText(static_cast<uint32_t>(n_), false);
    }
    while (levels_.size() > 1) {
        warnOnce("marked-content sequence not closed");
        endMarked(static_cast<uint32_t>(n_), static_cast<uint32_t>(n_));
        level().content->elems.back()->origin.complete = false;
    }
    src_->topEnd = levels_.front().gapStart;
    return top;
}

void Parser::finish(Ref<Element> e, uint32_t end) {
    checkElements();
    Level& lv = level();
    e->gs = e->type == kPDEText ? e->gs : gs_;
    e->matrix = ctm_;
    e->clip = clip_;
    Origin& o = e->origin;
    o.src = src_;
    o.start = elemStart_ == SIZE_MAX ? end : elemStart_;
    o.end = end;
    o.gapStart = lv.gapStart;
    o.nameBegin = lv.nameMark;
    o.nameEnd = static_cast<uint32_t>(src_->names.size());
    o.depthStart = depthAtStart_;
    o.depthEnd = static_cast<int>(stack_.size());
    o.minDepthGap = lv.minDepthGap;
    o.minDepthElem = std::min(minDepthInElem_, o.depthEnd);
    o.ts = elemStart_ == SIZE_MAX ? ts_ : elemTs_;
    o.damaged = damaged_;
    damaged_ = false;
    // an element drawn inside a text object (not allowed there) cannot be copied alone
    bool inside = inText_ && e->type != kPDEText;
    if (inside) o.complete = false, textTainted_ = true;
    lv.content->elems.push_back(std::move(e));
    lv.gapStart = end;
    lv.nameMark = static_cast<uint32_t>(src_->names.size());
    lv.minDepthGap = static_cast<int>(stack_.size());
    elemStart_ = inside ? o.start : SIZE_MAX;
}

void Parser::addToClip(Ref<Element> e) {
    auto c = clip_ ? clip_->copy() : make<Clip>();
    e->origin = Origin{};
    e->dirty = false;
    c->elems.push_back(std::move(e));
    clip_ = c;
}

void Parser::flushPath(uint32_t end, ASUns32 paint) {
    Ref<Path> p = std::move(path_);
    path_ = Ref<Path>();
    int clipMode = pendingClip_;
    pendingClip_ = 0;
    if (!p) return;
    // A path ended by n without W draws nothing but is kept as an invisible path
    // element: templates keep hidden trim lines that way and restyle them later.
    if (clipMode) paint |= clipMode == 1 ? kPDEClip_ : kPDEEoClip;
    p->paint = paint;
    p->syncFixed();
    p->gs = gs_;
    p->matrix = ctm_;
    Ref<Clip> before = clip_;
    if (clipMode) {
        auto cp = p->clone();
        static_cast<Path*>(cp.get())->paint = clipMode == 1 ? kPDEClip_ : kPDEEoClip;
        addToClip(cp);
    }
    if (clipMode && (paint & (kPDEStroke | kPDEFill | kPDEEoFill)) == 0) {
        // clip only: part of the clip, not an element of its own
        elemStart_ = SIZE_MAX;
        return;
    }
    // The painted element is drawn under the clip in force before W took effect
    Ref<Clip> after = clip_;
    clip_ = before;
    finish(p, end);
    clip_ = after;
}

Ref<ColorSpace> Parser::lookupSpace(const std::string& name) {
    if (name == "DeviceGray" || name == "DeviceRGB" || name == "DeviceCMYK" || name == "Pattern")
        return deviceSpace(name.c_str());
    auto it = spaces_.find(name);
    if (it != spaces_.end()) {
        useName(kResColorSpace, name);
        return it->second;
    }
    auto obj = resource(kResColorSpace, name);
    Ref<ColorSpace> cs;
    if (none(obj))
        cs = colorSpaceFromObject(QPDFObjectHandle::newName("/" + name), name);
    else
        cs = colorSpaceFromObject(obj, name);
    cs->resName = name;
    spaces_[name] = cs;
    return cs;
}

void Parser::setColor(bool fill, size_t first, size_t count, const Operand* pattern) {
    ColorSpec& c = fill ? gs_.fill : gs_.stroke;
    c.n = static_cast<int>(std::min<size_t>(count, 32));
    c.more.clear();
    for (size_t i = 0; i < count && i < 32; ++i) {
        double v = num(first + i);
        if (i < 8)
            c.v[i] = v;
        else
            c.more.push_back(v);
    }
    if (pattern) {
        c.pattern = nameAt(*pattern);
        c.patternObj = resource(kResPattern, c.pattern);
    } else {
        c.pattern.clear();
        c.patternObj = QPDFObjectHandle();
    }
}

void Parser::applyExtGState(QPDFObjectHandle dict, const std::string& name) {
    Ref<ExtGState> st;
    auto it = states_.find(name);
    if (it != states_.end()) {
        st = it->second;
    } else {
        st = make<ExtGState>();
        st->dict = dict;
        st->resName = name;
        states_[name] = st;
    }
    if (!dict.isDictionary()) {
        gs_.ext = st;
        return;
    }
    gs_.applyParams(dict);
    if (st->hasSoftMask()) gs_.extCtm = ctm_;
    if (!gs_.ext) {
        gs_.ext = st;
        return;
    }
    // a second dictionary on top of the first: the state in force is their union
    auto merged = make<ExtGState>();
    merged->dict = QPDFObjectHandle::newDictionary();
    if (gs_.ext->dict.isDictionary())
        for (auto& k : gs_.ext->dict.getKeys()) merged->dict.replaceKey(k, gs_.ext->dict.getKey(k));
    for (auto& k : dict.getKeys()) merged->dict.replaceKey(k, dict.getKey(k));
    gs_.ext = merged;
}

void Parser::showText(const std::string& bytes, std::vector<std::pair<size_t, double>> adjust,
                      uint32_t opStart) {
    if (!inText_) {
        // text operators outside BT/ET: read as an implicit text object
        warnOnce("text shown outside a text object");
        begin(opStart);
        depthAtStart_ = static_cast<int>(stack_.size());
        minDepthInElem_ = depthAtStart_;
        text_ = make<Text>();
        text_->gs = gs_;
        inText_ = true;
        textStart_ = elemStart_;
        textTs_ = elemTs_;
        textDepth_ = depthAtStart_;
        textCtm_ = ctm_;
        textCm_ = Mat();
        textMarkCount_ = 0;
    }
    TextRun r;
    r.marks = std::move(textMarks_);
    textMarks_.clear();
    r.ts = ts_;
    r.gs = gs_;
    // a run shown after a cm inside the text object: the cm is part of its matrix
    r.tm = textCm_.isIdentity() ? tm_ : mul(tm_, textCm_);
    r.bytes = bytes;
    r.adjust = std::move(adjust);
    r.continues = tmContinues_ && !text_->runs.empty();
    double adv = r.advance();
    if (text_->runs.empty()) text_->gs = gs_;
    text_->runs.push_back(std::move(r));
    if (text_->runs.size() > Limits::maxOperands) {
        setErrorText(pdeErrLimit, "A text object has too many runs.");
        raise(pdeErrLimit);
    }
    tm_ = mul(Mat{1, 0, 0, 1, adv, 0}, tm_);
    tmContinues_ = true;
}

void Parser::endText(uint32_t end, bool closed) {
    inText_ = false;
    Ref<Text> t = std::move(text_);
    text_ = Ref<Text>();
    std::vector<TextMark> after = std::move(textMarks_);
    textMarks_.clear();
    if (!t) return;
    t->marksAfter = std::move(after);
    bool clips = false, clipOnly = !t->runs.empty();
    for (auto& r : t->runs) {
        if (r.ts.render >= 4) clips = true;
        if (r.ts.render != 7) clipOnly = false;
    }
    Ref<Clip> before = clip_;
    elemStart_ = std::min<size_t>(textStart_, end);
    elemTs_ = textTs_;
    depthAtStart_ = textDepth_;
    if (t->runs.empty()) {
        // an empty text object draws nothing: its bytes stay with the state operators
        elemStart_ = SIZE_MAX;
        if (!closed) level().minDepthGap = -(1 << 20);  // never copied across
        return;
    }
    if (clipOnly && closed && !textTainted_ && textMarked_ == 0) {
        // text that only clips is part of the clip, like a path painted with n
        t->matrix = textCtm_;
        addToClip(t);
        elemStart_ = SIZE_MAX;
        return;
    }
    finish(t, end);
    t->matrix = textCtm_;
    // a text object with other elements drawn inside is complete (it ends at ET) but
    // begins where they do: it is copied together with them or not at all
    if (!closed || textMarked_ > 0) t->origin.complete = false;
    textTainted_ = false;
    if (!closed) level().minDepthGap = -(1 << 20);
    if (clips) {
        auto c = t->clone();
        static_cast<Text*>(c.get())->matrix = t->matrix;
        clip_ = before;
        addToClip(c);
    }
}

void Parser::passThrough(uint32_t opStart, uint32_t opEnd) {
    auto pt = make<PassThrough>();
    pt->bytes.assign(p_ + opStart, opEnd - opStart);
    begin(opStart);
    depthAtStart_ = static_cast<int>(stack_.size());
    minDepthInElem_ = depthAtStart_;
    finish(pt, opEnd);
}

TextMark Parser::markOf(bool withProps) {
    TextMark m;
    const Operand* tagOp = nullptr;
    const Operand* prop = nullptr;
    if (withProps && ops_.size() >= 2) {
        tagOp = &ops_[ops_.size() - 2];
        prop = &ops_.back();
    } else if (!ops_.empty()) {
        tagOp = &ops_.back();
    }
    m.tag = tagOp && tagOp->kind == kName ? nameAt(*tagOp) : "";
    if (prop && prop->kind == kDict) {
        try {
            m.dict = QPDFObjectHandle::parse(std::string(p_ + prop->s, prop->e - prop->s));
        } catch (std::exception&) {
            warnOnce("unreadable marked-content properties");
            m.dict = QPDFObjectHandle::newDictionary();
        }
        m.inlineDict = true;
    } else if (prop && prop->kind == kName) {
        m.propName = nameAt(*prop);
        m.dict = resource(kResProperties, m.propName);
    }
    return m;
}

void Parser::beginMarked(bool withProps, uint32_t opStart, uint32_t opEnd) {
    (void)opEnd;
    if (levels_.size() > Limits::maxMarkedDepth) {
        setErrorText(pdeErrLimit, "Marked content is nested too deeply.");
        raise(pdeErrLimit);
    }
    auto c = make<Container>();
    const Operand* tagOp = nullptr;
    const Operand* prop = nullptr;
    if (withProps && ops_.size() >= 2) {
        tagOp = &ops_[ops_.size() - 2];
        prop = &ops_.back();
    } else if (!ops_.empty()) {
        tagOp = &ops_.back();
    }
    c->tag = tagOp && tagOp->kind == kName ? nameAt(*tagOp) : "";
    if (prop && prop->kind == kDict) {
        try {
            c->dict = QPDFObjectHandle::parse(std::string(p_ + prop->s, prop->e - prop->s));
        } catch (std::exception&) {
            warnOnce("unreadable marked-content properties");
            c->dict = QPDFObjectHandle::newDictionary();
        }
        c->inlineDict = true;
        c->dictText = c->dict.unparse();
    } else if (prop && prop->kind == kName) {
        c->propName = nameAt(*prop);
        c->dict = resource(kResProperties, c->propName);
        c->inlineDict = false;
    }
    c->ambient = gs_;
    c->matrix = ctm_;
    c->clip = clip_;
    c->content->qpdf = qpdf_;
    c->content->resources = res_;
    c->content->source = src_;
    Origin& o = c->origin;
    o.start = opStart;
    o.gapStart = level().gapStart;
    o.nameBegin = level().nameMark;
    o.depthStart = static_cast<int>(stack_.size());
    o.minDepthGap = level().minDepthGap;
    o.minDepthElem = o.depthStart;
    o.ts = ts_;
    levels_.push_back(Level{c->content, c, opEnd, static_cast<uint32_t>(src_->names.size()),
                            static_cast<int>(stack_.size())});
}

void Parser::endMarked(uint32_t opStart, uint32_t opEnd) {
    (void)opStart;
    if (levels_.size() <= 1) {
        warnOnce("EMC without BMC/BDC (dropped)");
        return;
    }
    if (path_) flushPath(opStart, kPDEInvisible);
    Level lv = std::move(levels_.back());
    levels_.pop_back();
    Ref<Container> c = lv.container;
    checkElements();
    Origin& o = c->origin;
    o.src = src_;
    o.end = opEnd;
    o.nameEnd = static_cast<uint32_t>(src_->names.size());
    o.depthEnd = static_cast<int>(stack_.size());
    o.minDepthElem = std::min(o.minDepthElem, o.depthEnd);
    o.damaged = damaged_;
    damaged_ = false;
    // closed inside a text object that began in it: its bytes hold the start of that
    // text, which is an element after it, so it is copied only together with it
    if (inText_) o.complete = false;
    c->gs = c->ambient;
    Level& parent = level();
    parent.content->elems.push_back(c);
    parent.gapStart = opEnd;
    parent.nameMark = static_cast<uint32_t>(src_->names.size());
    parent.minDepthGap = static_cast<int>(stack_.size());
    elemStart_ = SIZE_MAX;
}

void Parser::inlineImage(uint32_t opStart) {
    // BI <key value>* ID <data> EI
    QPDFObjectHandle dict = inlineImageDict();
    Ref<ColorSpace> cs = inlineImageSpace(dict);
    bool mask = dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue();
    skipInlineImageData(dict, cs, mask);
    auto img = make<Image>();
    img->inlineImage = true;
    img->inlineDict = dict;
    img->inlineBytes.assign(p_ + opStart, pos_ - opStart);
    img->space = cs;
    img->mask = mask;
    begin(opStart);
    depthAtStart_ = static_cast<int>(stack_.size());
    minDepthInElem_ = depthAtStart_;
    finish(img, static_cast<uint32_t>(pos_));
}

QPDFObjectHandle Parser::inlineImageDict() {
    auto dict = QPDFObjectHandle::newDictionary();
    std::vector<Operand> kv;
    while (true) {
        Operand o;
        bool isOp;
        uint32_t s, e;
        if (!lexToken(o, isOp, s, e, 0)) break;
        if (isOp) {
            if (e - s == 2 && !std::memcmp(p_ + s, "ID", 2)) break;
            continue;
        }
        kv.push_back(o);
        if (kv.size() > 1000) {
            setErrorText(pdeErrLimit, "An in-line image has too many entries.");
            raise(pdeErrLimit);
        }
    }
    std::string dictText = "<<";
    for (size_t i = 0; i + 1 < kv.size(); i += 2) {
        if (kv[i].kind != kName) continue;
        std::string key = nameAt(kv[i]);
        static const std::pair<const char*, const char*> abbrev[] = {{"BPC", "BitsPerComponent"},
                                                                     {"CS", "ColorSpace"},
                                                                     {"D", "Decode"},
                                                                     {"DP", "DecodeParms"},
                                                                     {"F", "Filter"},
                                                                     {"H", "Height"},
                                                                     {"IM", "ImageMask"},
                                                                     {"I", "Interpolate"},
                                                                     {"W", "Width"},
                                                                     {"L", "Length"}};
        for (auto& [a, full] : abbrev)
            if (key == a) key = full;
        dictText += " /" + key + " ";
        const Operand& v = kv[i + 1];
        size_t vs = v.kind == kName ? v.s - 1 : v.kind == kStr || v.kind == kHex ? v.s - 1 : v.s;
        size_t ve = v.kind == kStr || v.kind == kHex ? v.e + 1 : v.e;
        dictText.append(p_ + vs, std::min(ve, n_) - vs);
    }
    dictText += " >>";
    try {
        dict = QPDFObjectHandle::parse(dictText);
    } catch (std::exception&) {
        warnOnce("unreadable in-line image dictionary");
    }
    return dict;
}

Ref<ColorSpace> Parser::inlineImageSpace(QPDFObjectHandle dict) {
    Ref<ColorSpace> cs;
    auto csObj = dict.getKey("/ColorSpace");
    if (csObj.isName()) {
        std::string nm = csObj.getName().substr(1);
        if (nm == "G" || nm == "RGB" || nm == "CMYK" || nm == "DeviceGray" || nm == "DeviceRGB" ||
            nm == "DeviceCMYK" || nm == "I" || nm == "Indexed")
            cs = colorSpaceFromObject(csObj, "");
        else
            cs = lookupSpace(nm);
    } else if (csObj.isArray()) {
        cs = colorSpaceFromObject(csObj, "");
    }
    return cs;
}

void Parser::skipInlineImageData(QPDFObjectHandle dict, const Ref<ColorSpace>& cs, bool mask) {
    // one white-space byte follows ID
    if (pos_ < n_ && isWhite(static_cast<unsigned char>(p_[pos_]))) ++pos_;
    size_t dataStart = pos_;
    size_t dataEnd = SIZE_MAX;
    auto intKey = [&](const char* k) -> long long {
        auto v = dict.getKey(k);
        return v.isInteger() ? v.getIntValue() : -1;
    };
    if (none(dict.getKey("/Filter"))) {
        long long w = intKey("/Width"), h = intKey("/Height");
        long long bpc = mask ? 1 : intKey("/BitsPerComponent");
        int comps = cs ? cs->components() : 1;
        if (cs && cs->family == "Indexed") comps = 1;
        if (w > 0 && h > 0 && bpc > 0 && w < (1 << 20) && h < (1 << 20)) {
            long long len = ((w * comps * bpc + 7) / 8) * h;
            if (static_cast<size_t>(len) <= n_ - dataStart) {
                size_t after = dataStart + len;
                size_t q = after;
                while (q < n_ && isWhite(static_cast<unsigned char>(p_[q]))) ++q;
                if (q + 1 < n_ + 1 && q + 2 <= n_ && p_[q] == 'E' && p_[q + 1] == 'I' &&
                    (q + 2 == n_ || !isRegular(static_cast<unsigned char>(p_[q + 2]))))
                    dataEnd = after, pos_ = q + 2;
            }
        }
    }
    if (dataEnd == SIZE_MAX) {
        // search for EI between white space and a delimiter
        size_t q = dataStart;
        while (q + 1 < n_) {
            if (p_[q] == 'E' && p_[q + 1] == 'I' &&
                (q == dataStart || isWhite(static_cast<unsigned char>(p_[q - 1]))) &&
                (q + 2 == n_ || !isRegular(static_cast<unsigned char>(p_[q + 2]))))
                break;
            ++q;
        }
        if (q + 1 >= n_) {
            warnOnce("in-line image without EI");
            dataEnd = n_;
            pos_ = n_;
        } else {
            dataEnd = q;
            pos_ = q + 2;
        }
    }
    (void)dataEnd;
}

#define OP(str) (len == sizeof(str) - 1 && !std::memcmp(op, str, sizeof(str) - 1))

// The first operator of an element marks where the element's bytes begin.
void Parser::startElement(uint32_t opStart) {
    if (elemStart_ == SIZE_MAX) {
        begin(opStart);
        depthAtStart_ = static_cast<int>(stack_.size());
        minDepthInElem_ = depthAtStart_;
    }
}

void Parser::pathPoint(uint8_t code, uint32_t opStart) {
    const int count = pathOpArgs(code);
    if (!argsAre(count)) {
        warnOnce("path operator with bad operands");
        return;
    }
    if (!path_) {
        startElement(opStart);
        path_ = make<Path>();
    }
    if (path_->ops.size() > Limits::maxOperands * 16) {
        setErrorText(pdeErrLimit, "A path has too many segments.");
        raise(pdeErrLimit);
    }
    path_->ops.push_back(code);
    for (int i = count; i > 0; --i) path_->coords.push_back(tail(i));
}

void Parser::execute(const char* op, size_t len, uint32_t opStart, uint32_t opEnd) {
    if (pathOp(op, len, opStart, opEnd) || stateOp(op, len) || colorOp(op, len) ||
        textOp(op, len, opStart, opEnd) || xobjectOp(op, len, opStart, opEnd) ||
        markedOp(op, len, opStart, opEnd))
        return;
    // Unknown operators (and PS): kept in place
    if (!compat_) warnOnce("unknown operator " + std::string(op, std::min<size_t>(len, 32)));
    if (path_ || inText_) return;  // inside a path or text object: dropped with the object
    passThrough(opStart, opEnd);
}

// Path construction, painting and clipping.
bool Parser::pathOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd) {
    auto closeAndPaint = [&](ASUns32 paint) {
        if (path_) path_->ops.push_back(kPDEClosePath);
        flushPath(opEnd, paint);
    };
    if (len == 1) {
        switch (op[0]) {
            case 'm':
                pathPoint(kPDEMoveTo, opStart);
                return true;
            case 'l':
                pathPoint(kPDELineTo, opStart);
                return true;
            case 'c':
                pathPoint(kPDECurveTo, opStart);
                return true;
            case 'v':
                pathPoint(kPDECurveToV, opStart);
                return true;
            case 'y':
                pathPoint(kPDECurveToY, opStart);
                return true;
            case 'h':
                if (path_) path_->ops.push_back(kPDEClosePath);
                return true;
            case 'S':
                flushPath(opEnd, kPDEStroke);
                return true;
            case 's':
                closeAndPaint(kPDEStroke);
                return true;
            case 'f':
            case 'F':
                flushPath(opEnd, kPDEFill);
                return true;
            case 'B':
                flushPath(opEnd, kPDEFill | kPDEStroke);
                return true;
            case 'b':
                closeAndPaint(kPDEFill | kPDEStroke);
                return true;
            case 'n':
                flushPath(opEnd, kPDEInvisible);
                return true;
            case 'W':
                pendingClip_ = 1;
                return true;
            default:
                return false;
        }
    }
    if (len != 2) return false;
    if (OP("f*"))
        flushPath(opEnd, kPDEEoFill);
    else if (OP("B*"))
        flushPath(opEnd, kPDEEoFill | kPDEStroke);
    else if (OP("b*"))
        closeAndPaint(kPDEEoFill | kPDEStroke);
    else if (OP("W*"))
        pendingClip_ = 2;
    else if (OP("re"))
        pathPoint(kPDERect, opStart);
    else
        return false;
    return true;
    return false;
}

// Saving and restoring the graphics state, and the general graphics state operators.
bool Parser::stateOp(const char* op, size_t len) {
    const size_t n = ops_.size();
    if (len == 1) {
        switch (op[0]) {
            case 'q':
                saveState();
                return true;
            case 'Q':
                restoreState();
                return true;
            case 'w':
                if (argsAre(1)) gs_.lineWidth = tail(1);
                return true;
            case 'J':
                if (argsAre(1)) gs_.cap = static_cast<int>(tail(1));
                return true;
            case 'j':
                if (argsAre(1)) gs_.join = static_cast<int>(tail(1));
                return true;
            case 'M':
                if (argsAre(1)) gs_.miterLimit = tail(1);
                return true;
            case 'i':
                if (argsAre(1)) gs_.flatness = tail(1);
                return true;
            case 'd':
                if (n >= 2 && ops_[n - 2].kind == kArray) {
                    gs_.dash.clear();
                    const Operand& a = ops_[n - 2];
                    for (uint32_t k = a.arrBegin; k < a.arrEnd && gs_.dash.size() < 64; ++k)
                        if (pool_[k].kind == kNum) gs_.dash.push_back(pool_[k].num);
                    gs_.dashPhase = num(n - 1);
                }
                return true;
            default:
                return false;
        }
    }
    if (len != 2) return false;
    if (OP("cm")) {
        if (argsAre(6)) {
            Mat m{tail(6), tail(5), tail(4), tail(3), tail(2), tail(1)};
            ctm_ = mul(m, ctm_);
            if (inText_) {
                textCm_ = mul(m, textCm_);
                tmContinues_ = false;
            }
        }
        return true;
    }
    if (OP("gs")) {
        if (const Operand* o = lastOf(kName)) {
            std::string nm = nameAt(*o);
            applyExtGState(resource(kResExtGState, nm), nm);
        }
        return true;
    }
    if (OP("ri")) {
        if (const Operand* o = lastOf(kName)) gs_.intent = nameAt(*o);
        return true;
    }
    return false;
}

void Parser::saveState() {
    if (stack_.size() >= Limits::maxSaveDepth) {
        setErrorText(pdeErrLimit, "Graphics states are nested too deeply.");
        raise(pdeErrLimit);
    }
    stack_.push_back(SavedState{gs_, ts_, ctm_, clip_, textCm_});
}

void Parser::restoreState() {
    if (stack_.empty()) {
        // ignored here; bytes around it are never copied as they are, where it would end
        // a q of the writer
        warnOnce("Q without q (ignored)");
        for (auto& lv : levels_) lv.minDepthGap = -(1 << 20);
        minDepthInElem_ = -(1 << 20);
        for (size_t i = 1; i < levels_.size(); ++i)
            levels_[i].container->origin.minDepthElem = -(1 << 20);
        return;
    }
    gs_ = std::move(stack_.back().gs);
    ts_ = std::move(stack_.back().ts);
    ctm_ = stack_.back().ctm;
    clip_ = std::move(stack_.back().clip);
    if (inText_ && textCm_ != stack_.back().textCm) {
        textCm_ = stack_.back().textCm;
        tmContinues_ = false;
    }
    stack_.pop_back();
    int d = static_cast<int>(stack_.size());
    for (auto& lv : levels_) lv.minDepthGap = std::min(lv.minDepthGap, d);
    minDepthInElem_ = std::min(minDepthInElem_, d);
    for (size_t i = 1; i < levels_.size(); ++i) {
        auto& o = levels_[i].container->origin;
        o.minDepthElem = std::min(o.minDepthElem, d);
    }
}

// Colour spaces and colours, for filling (lower case) and stroking (upper case).
bool Parser::colorOp(const char* op, size_t len) {
    const size_t n = ops_.size();
    const char c0 = op[0];
    auto deviceColor = [&](bool fill, const char* space, size_t count) {
        (fill ? gs_.fill : gs_.stroke).space = deviceSpace(space);
        if (n >= count) setColor(fill, n - count, count, nullptr);
    };
    if (len == 1) {
        switch (c0) {
            case 'g':
            case 'G':
                deviceColor(c0 == 'g', "DeviceGray", 1);
                return true;
            case 'k':
            case 'K':
                deviceColor(c0 == 'k', "DeviceCMYK", 4);
                return true;
            default:
                return false;
        }
    }
    if (OP("rg") || OP("RG")) {
        deviceColor(c0 == 'r', "DeviceRGB", 3);
        return true;
    }
    if (OP("cs") || OP("CS")) {
        if (const Operand* o = lastOf(kName)) {
            ColorSpec& c = c0 == 'c' ? gs_.fill : gs_.stroke;
            c.space = lookupSpace(nameAt(*o));
            c.space->initialColor(c.v, c.n);
            c.more.clear();
            c.pattern.clear();
            c.patternObj = QPDFObjectHandle();
        }
        return true;
    }
    if (OP("sc") || OP("SC")) {
        size_t k = 0;
        while (k < n && ops_[n - 1 - k].kind == kNum) ++k;
        setColor(c0 == 's', n - k, k, nullptr);
        return true;
    }
    if (OP("scn") || OP("SCN")) {
        const Operand* pat = nullptr;
        size_t end = n;
        if (n >= 1 && ops_.back().kind == kName) {
            pat = &ops_.back();
            end = n - 1;
        }
        size_t k = 0;
        while (k < end && ops_[end - 1 - k].kind == kNum) ++k;
        setColor(c0 == 's', end - k, k, pat);
        return true;
    }
    return false;
}

// Text objects, the text state, text positioning and showing.
bool Parser::textOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd) {
    const size_t n = ops_.size();
    auto nextLine = [&]() {
        tlm_ = mul(Mat{1, 0, 0, 1, 0, -ts_.leading}, tlm_);
        tm_ = tlm_;
        tmContinues_ = false;
    };
    auto showLastString = [&]() {
        if (n >= 1 && (ops_.back().kind == kStr || ops_.back().kind == kHex))
            showText(strAt(ops_.back()), {}, opStart);
    };
    if (len == 1) {
        if (op[0] != '\'' && op[0] != '"') return false;
        if (op[0] == '"' && n >= 3) {
            ts_.wordSpacing = num(n - 3);
            ts_.charSpacing = num(n - 2);
        }
        nextLine();
        showLastString();
        return true;
    }
    if (len != 2 || (op[0] != 'T' && !OP("BT") && !OP("ET"))) return false;
    if (OP("BT")) {
        beginText(opStart);
        return true;
    }
    if (OP("ET")) {
        if (!inText_)
            warnOnce("ET without BT");
        else
            endText(opEnd);
        return true;
    }
    if (textStateOp(op[1])) return true;
    if (OP("Td") || OP("TD")) {
        if (argsAre(2)) {
            if (op[1] == 'D') ts_.leading = -tail(1);
            tlm_ = mul(Mat{1, 0, 0, 1, tail(2), tail(1)}, tlm_);
            tm_ = tlm_;
            tmContinues_ = false;
        }
    } else if (OP("Tm")) {
        if (argsAre(6)) {
            tlm_ = tm_ = Mat{tail(6), tail(5), tail(4), tail(3), tail(2), tail(1)};
            tmContinues_ = false;
        }
    } else if (OP("T*")) {
        nextLine();
    } else if (OP("Tj")) {
        showLastString();
    } else if (OP("TJ")) {
        showTextArray(opStart);
    } else {
        return false;
    }
    return true;
}

void Parser::beginText(uint32_t opStart) {
    if (inText_) {
        warnOnce("BT inside a text object");
        endText(opStart, false);
    }
    if (path_) flushPath(opStart, kPDEInvisible);
    startElement(opStart);
    text_ = make<Text>();
    text_->gs = gs_;
    inText_ = true;
    textStart_ = elemStart_;
    textTs_ = elemTs_;
    textDepth_ = depthAtStart_;
    textCtm_ = ctm_;
    textCm_ = Mat();
    textMarkCount_ = 0;
    tm_ = tlm_ = Mat();
    tmContinues_ = false;
}

// The text state operators T<c> (Tc, Tw, Tz, TL, Ts, Tr, Tf).
bool Parser::textStateOp(char c) {
    const size_t n = ops_.size();
    double* value = nullptr;
    switch (c) {
        case 'c':
            value = &ts_.charSpacing;
            break;
        case 'w':
            value = &ts_.wordSpacing;
            break;
        case 'z':
            value = &ts_.scale;
            break;
        case 'L':
            value = &ts_.leading;
            break;
        case 's':
            value = &ts_.rise;
            break;
        case 'r':
            if (argsAre(1)) ts_.render = static_cast<int>(tail(1));
            return true;
        case 'f':
            if (n >= 2 && ops_[n - 2].kind == kName) {
                selectFont(nameAt(ops_[n - 2]));
                ts_.size = num(n - 1);
            }
            return true;
        default:
            return false;
    }
    if (argsAre(1)) *value = tail(1);
    return true;
}

void Parser::selectFont(const std::string& nm) {
    auto it = fonts_.find(nm);
    if (it != fonts_.end()) {
        useName(kResFont, nm);
        ts_.font = it->second;
        return;
    }
    auto f = make<Font>();
    f->dict = resource(kResFont, nm);
    f->resName = nm;
    fonts_[nm] = f;
    ts_.font = f;
}

void Parser::showTextArray(uint32_t opStart) {
    if (ops_.empty() || ops_.back().kind != kArray) return;
    const Operand& a = ops_.back();
    std::string bytes;
    std::vector<std::pair<size_t, double>> adj;
    for (uint32_t k = a.arrBegin; k < a.arrEnd; ++k) {
        const Operand& it = pool_[k];
        if (it.kind == kStr || it.kind == kHex)
            bytes += strAt(it);
        else if (it.kind == kNum)
            adj.push_back({bytes.size(), it.num});
    }
    showText(bytes, std::move(adj), opStart);
}

// External objects, shadings and inline images.
bool Parser::xobjectOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd) {
    if (OP("Do")) {
        if (const Operand* o = lastOf(kName)) {
            if (path_) flushPath(opStart, kPDEInvisible);
            paintXObject(nameAt(*o), opStart, opEnd);
        }
        return true;
    }
    if (OP("sh")) {
        if (const Operand* o = lastOf(kName)) {
            if (path_) flushPath(opStart, kPDEInvisible);
            std::string nm = nameAt(*o);
            auto sh = make<Shading>();
            sh->obj = resource(kResShading, nm);
            sh->dict = sh->obj.isStream() ? sh->obj.getDict() : sh->obj;
            sh->resName = nm;
            startElement(opStart);
            finish(sh, opEnd);
        }
        return true;
    }
    if (OP("BI")) {
        if (path_) flushPath(opStart, kPDEInvisible);
        inlineImage(opStart);
        return true;
    }
    return false;
}

void Parser::paintXObject(const std::string& nm, uint32_t opStart, uint32_t opEnd) {
    auto x = resource(kResXObject, nm);
    startElement(opStart);
    QPDFObjectHandle sub = x.isStream() ? x.getDict().getKey("/Subtype") : QPDFObjectHandle();
    if (sub.isName() && sub.getName() == "/Form") {
        auto f = make<Form>();
        f->xobj = x;
        f->resName = nm;
        readFormMatrix(x.getDict(), f->formMatrix);
        auto r = x.getDict().getKey("/Resources");
        f->resources = r.isDictionary() ? r : res_;
        return finish(f, opEnd);
    }
    if (sub.isName() && sub.getName() == "/Image") {
        auto img = make<Image>();
        img->xobj = x;
        img->resName = nm;
        auto d = x.getDict();
        img->mask = d.getKey("/ImageMask").isBool() && d.getKey("/ImageMask").getBoolValue();
        auto cs = d.getKey("/ColorSpace");
        if (!none(cs)) img->space = colorSpaceFromObject(cs, "");
        return finish(img, opEnd);
    }
    auto xe = make<XObjectElem>();
    xe->xobj = x;
    xe->resName = nm;
    finish(xe, opEnd);
}

// Marked content, compatibility sections and the glyph metrics of Type 3 fonts.
bool Parser::markedOp(const char* op, size_t len, uint32_t opStart, uint32_t opEnd) {
    if (OP("MP") || OP("DP")) {
        if (path_) flushPath(opStart, kPDEInvisible);
        markPoint(op[0] == 'D', opStart, opEnd);
        return true;
    }
    if (OP("BDC") || OP("BMC")) {
        if (inText_) {
            // marked content inside a text object goes with the run after it
            ++textMarked_;
            addTextMark(markOf(op[1] == 'D'));
            return true;
        }
        if (path_) flushPath(opStart, kPDEInvisible);
        beginMarked(op[1] == 'D', opStart, opEnd);
        return true;
    }
    if (OP("EMC")) {
        if (textMarked_ <= 0) {
            endMarked(opStart, opEnd);
            return true;
        }
        --textMarked_;
        if (inText_) {
            TextMark m;
            m.end = true;
            addTextMark(std::move(m));
        } else {
            // opened inside a text object, closed after it
            warnOnce("marked content crosses a text object");
            level().minDepthGap = -(1 << 20);
        }
        return true;
    }
    if (OP("BX"))
        compat_ = true;
    else if (OP("EX"))
        compat_ = false;
    else if (!OP("d0") && !OP("d1"))
        return false;
    passThrough(opStart, opEnd);
    return true;
}

void Parser::markPoint(bool withProps, uint32_t opStart, uint32_t opEnd) {
    const size_t n = ops_.size();
    auto pl = make<Place>();
    const Operand* tagOp = nullptr;
    if (withProps && n >= 2) {
        tagOp = &ops_[n - 2];
        const Operand& pr = ops_.back();
        if (pr.kind == kDict) {
            try {
                pl->dict = QPDFObjectHandle::parse(std::string(p_ + pr.s, pr.e - pr.s));
            } catch (std::exception&) {
                pl->dict = QPDFObjectHandle::newDictionary();
            }
            pl->inlineDict = true;
        } else if (pr.kind == kName) {
            pl->propName = nameAt(pr);
            pl->dict = resource(kResProperties, pl->propName);
        }
    } else if (n >= 1) {
        tagOp = &ops_.back();
    }
    pl->tag = tagOp && tagOp->kind == kName ? nameAt(*tagOp) : "";
    startElement(opStart);
    finish(pl, opEnd);
}

}  // namespace

Ref<Content> parseContent(QPDF* qpdf, std::string bytes, QPDFObjectHandle resources,
                          const ParseOptions& opts) {
    if (bytes.size() > Limits::maxContentBytes) {
        setErrorText(pdeErrLimit, "The page content is too large.");
        raise(pdeErrLimit);
    }
    auto src = std::make_shared<Source>();
    src->bytes = std::move(bytes);
    src->resources = resources;
    Parser p(qpdf, src, opts);
    Ref<Content> c = p.run();
    c->source = src;
    return c;
}

static void appendStreamData(std::string& out, QPDFObjectHandle s) {
    try {
        auto buf = s.getStreamData(qpdf_dl_generalized);
        out.append(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
    } catch (std::exception& e) {
        warn(std::string("Page content: a content stream cannot be read: ") + e.what());
    }
    if (out.size() > Limits::maxContentBytes) {
        setErrorText(pdeErrLimit, "The page content is too large.");
        raise(pdeErrLimit);
    }
}

std::string contentBytes(QPDFObjectHandle contents) {
    std::string bytes;
    if (contents.isStream()) {
        appendStreamData(bytes, contents);
    } else if (contents.isArray()) {
        bool first = true;
        for (int i = 0; i < contents.getArrayNItems(); ++i) {
            auto s = contents.getArrayItem(i);
            if (!s.isStream()) continue;
            // The streams of a page are one content: a stream boundary separates
            // tokens, so the join must too.
            if (!first) bytes += '\n';
            first = false;
            appendStreamData(bytes, s);
        }
    }
    return bytes;
}

Ref<Content> readPage(QPDF& qpdf, QPDFObjectHandle page) {
    auto contents = page.getKey("/Contents");
    std::string bytes = contentBytes(contents);
    QPDFObjectHandle res = QPDFPageObjectHelper(page).getAttribute("/Resources", false);
    auto c = parseContent(&qpdf, std::move(bytes), res);
    c->page = page;
    c->pageContents = contents;
    return c;
}

Ref<Content> readForm(QPDF* qpdf, QPDFObjectHandle form, QPDFObjectHandle parentResources,
                      const std::vector<QPDFObjGen>& enclosing) {
    if (!form.isStream()) {
        setErrorText(pdeErrNotForm, "The object is not a form XObject stream.");
        raise(pdeErrNotForm);
    }
    for (auto& og : enclosing)
        if (form.isIndirect() && og == form.getObjGen()) {
            setErrorText(pdeErrRecursiveForm, "A form XObject draws itself.");
            raise(pdeErrRecursiveForm);
        }
    if (enclosing.size() >= Limits::maxFormDepth) {
        setErrorText(pdeErrLimit, "Form XObjects are nested too deeply.");
        raise(pdeErrLimit);
    }
    std::string bytes;
    appendStreamData(bytes, form);
    auto res = form.getDict().getKey("/Resources");
    if (!res.isDictionary()) res = parentResources;
    ParseOptions opts;
    opts.formChain = enclosing;
    if (form.isIndirect()) opts.formChain.push_back(form.getObjGen());
    auto c = parseContent(qpdf, std::move(bytes), res, opts);
    c->formStream = form;
    return c;
}

}  // namespace vexa::host::pde
