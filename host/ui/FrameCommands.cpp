// Script commands that check the frames of the front view's current page: frames are
// the marked-content containers directly in the page's content whose property list
// holds a frame rectangle ("top"); the editing tool marks the selected ones with its
// run-time selection tag ("sel ").
//
// Lengths are points unless they carry a unit ("12mm", "1in", "2cm", "30pt").
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/App.h"
#include "core/Core.h"
#include "doc/DocInternal.h"
#include "ui/Script.h"
#include "pde/Model.h"
#include "pde/Tables.h"

namespace vexa::host {
namespace {

constexpr ASUns32 kSelectionTag = 0x73656C20;  // 'sel '
constexpr double kLengthTolerance = 0.005;     // points
constexpr double kScaleTolerance = 0.0001;

using app::A;

const CosHFT& cos() {
    return *doc::cosTable();
}
const PDFEditReadHFT& pdeRead() {
    return *pde::readTable();
}

struct FrameInfo {
    ASInt32 index = 0;  // in the page's content
    ASInt32 box = 0;
    double left = 0, bottom = 0, right = 0, top = 0;
    double bl = 0, bb = 0, br = 0, bt = 0;
    ASInt32 rotation = 0;
    bool selected = false;
    ASInt32 contentCount = 0;
    bool hasMatrix = false;
    ASFixedMatrix matrix{};  // of the first element of the frame's content
    CosObj dict;
};

double number(CosObj d, const char* key, double def) {
    CosObj v = cos().CosDictGetKeyString(d, key);
    CosType t = cos().CosObjGetType(v);
    if (t == CosInteger) return cos().CosIntegerValue(v);
    if (t == CosFixed) return cos().CosFloatValue(v);
    return def;
}

ASInt32 rotationOf(CosObj d) {
    CosObj v = cos().CosDictGetKeyString(d, "rotation");
    if (cos().CosObjGetType(v) == CosInteger && cos().CosIntegerValue(v) != 360)
        return cos().CosIntegerValue(v);
    return number(d, "rotated", 0) == 1 ? 180 : 0;
}

bool selectedTag(PDEObject o) {
    for (const auto& t : o->tags)
        if (t.code == kSelectionTag && t.value > 0) return true;
    return false;
}

// The frames of the front view's current page, in paint order.
std::vector<FrameInfo> framesOfPage() {
    AVDoc d = A().frontDoc();
    if (!d || !d->pdDoc) throw ScriptError("no document is open");
    const PDModelHFT& pdm = *doc::pdModelTable();
    const PagePDEContentHFT& pc = *pde::pageContentTable();
    PDPage page = pdm.PDDocAcquirePage(d->pdDoc, d->view.pageNum);
    std::vector<FrameInfo> out;
    try {
        PDEContent content = pc.PDPageAcquirePDEContent(page, nullptr);
        try {
            ASInt32 n = pdeRead().PDEContentGetNumElems(content);
            for (ASInt32 i = 0; i < n; ++i) {
                PDEElement e = pdeRead().PDEContentGetElem(content, i);
                if (pdeRead().PDEObjectGetType(e) != kPDEContainer) continue;
                CosObj dict;
                ASBool isInline = false;
                if (!pdeRead().PDEContainerGetDict(e, &dict, &isInline)) continue;
                if (!cos().CosDictKnown(dict, atomFromString("top"))) continue;
                FrameInfo f;
                f.index = i;
                f.dict = dict;
                f.box = static_cast<ASInt32>(number(dict, "boxnum", 0));
                f.left = number(dict, "left", 0);
                f.bottom = number(dict, "bottom", 0);
                f.right = number(dict, "right", 0);
                f.top = number(dict, "top", 0);
                f.bl = number(dict, "bl", 0);
                f.bb = number(dict, "bb", 0);
                f.br = number(dict, "br", 0);
                f.bt = number(dict, "bt", 0);
                f.rotation = rotationOf(dict);
                f.selected = selectedTag(e);
                PDEContent inner = pdeRead().PDEContainerGetContent(e);
                f.contentCount = inner ? pdeRead().PDEContentGetNumElems(inner) : 0;
                if (f.contentCount > 0) {
                    PDEElement first = pdeRead().PDEContentGetElem(inner, 0);
                    PDEType t = pdeRead().PDEObjectGetType(first);
                    if (t == kPDEForm || t == kPDEPath || t == kPDEImage || t == kPDEText ||
                        t == kPDEShading) {
                        pdeRead().PDEElementGetMatrix(first, &f.matrix);
                        f.hasMatrix = true;
                    }
                }
                out.push_back(f);
            }
        } catch (...) {
            pc.PDPageReleasePDEContent(page, nullptr);
            throw;
        }
        pc.PDPageReleasePDEContent(page, nullptr);
    } catch (const ASException& e) {
        pdm.PDPageRelease(page);
        throw ScriptError("the page's content cannot be read: " + errorText(e.code()));
    } catch (...) {
        pdm.PDPageRelease(page);
        throw;
    }
    pdm.PDPageRelease(page);
    return out;
}

std::string fmt(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string describe(const FrameInfo& f) {
    std::ostringstream s;
    s << "[" << f.index << "] box " << f.box << " rect " << fmt(f.left) << " " << fmt(f.bottom)
      << " " << fmt(f.right) << " " << fmt(f.top);
    if (f.bl || f.bb || f.br || f.bt)
        s << " bleed " << fmt(f.bl) << " " << fmt(f.bb) << " " << fmt(f.br) << " " << fmt(f.bt);
    if (f.rotation) s << " rotation " << f.rotation;
    s << " content " << f.contentCount;
    if (f.hasMatrix) {
        const ASFixedMatrix& m = f.matrix;
        s << " matrix " << fmt(m.a / 65536.0) << " " << fmt(m.b / 65536.0) << " "
          << fmt(m.c / 65536.0) << " " << fmt(m.d / 65536.0) << " " << fmt(m.h / 65536.0) << " "
          << fmt(m.v / 65536.0);
    }
    if (f.selected) s << " selected";
    return s.str();
}

// The frames of a page, one a line for show-frames; for an error on one line, joined
// by "; ".
std::string listing(const std::vector<FrameInfo>& frames, bool lines = false) {
    if (frames.empty()) return "the page has no frames";
    std::string s = "frames:";
    for (std::size_t i = 0; i < frames.size(); ++i)
        s += (lines ? "\n  " : i ? "; " : " ") + describe(frames[i]);
    return s;
}

// A length with an optional unit, in points.
double parseLength(const std::string& s) {
    static const struct {
        const char* suffix;
        double factor;
    } units[] = {{"mm", 72.0 / 25.4}, {"cm", 72.0 / 2.54}, {"in", 72.0}, {"pt", 1.0}};
    std::string num = s;
    double factor = 1.0;
    for (auto& u : units) {
        std::size_t n = std::strlen(u.suffix);
        if (s.size() > n && s.compare(s.size() - n, n, u.suffix) == 0) {
            num = s.substr(0, s.size() - n);
            factor = u.factor;
            break;
        }
    }
    try {
        std::size_t used = 0;
        double v = std::stod(num, &used);
        if (used == num.size() && std::isfinite(v) && std::fabs(v) < 1e7) return v * factor;
    } catch (const std::exception&) {
    }
    throw ScriptError("\"" + s + "\" is not a length (a number with mm, cm, in or pt)");
}

double parseNumber(const std::string& s) {
    try {
        std::size_t used = 0;
        double v = std::stod(s, &used);
        if (used == s.size() && std::isfinite(v)) return v;
    } catch (const std::exception&) {
    }
    throw ScriptError("\"" + s + "\" is not a number");
}

// "BOX" (the first frame with that box number in paint order) or "BOX#N" (the Nth).
const FrameInfo& findFrame(const std::vector<FrameInfo>& frames, const std::string& ref) {
    std::size_t hash = ref.find('#');
    long box = 0, nth = 1;
    try {
        std::size_t used = 0;
        std::string head = ref.substr(0, hash);
        box = std::stol(head, &used);
        if (used != head.size()) throw std::invalid_argument("box");
        if (hash != std::string::npos) {
            std::string tail = ref.substr(hash + 1);
            nth = std::stol(tail, &used);
            if (used != tail.size() || nth < 1) throw std::invalid_argument("nth");
        }
    } catch (const std::exception&) {
        throw ScriptError("\"" + ref + "\" names no frame (a box number, or BOX#N)");
    }
    long seen = 0;
    for (const FrameInfo& f : frames)
        if (f.box == box && ++seen == nth) return f;
    throw ScriptError("no frame " + ref + " on the page; " + listing(frames));
}

std::vector<ASInt32> boxes(const std::vector<FrameInfo>& frames, bool selectedOnly) {
    std::vector<ASInt32> out;
    for (const FrameInfo& f : frames)
        if (!selectedOnly || f.selected) out.push_back(f.box);
    return out;
}

std::vector<ASInt32> boxArgs(const ScriptLine& line) {
    std::vector<ASInt32> out;
    for (std::size_t i = 1; i < line.words.size(); ++i)
        out.push_back(static_cast<ASInt32>(scriptInt(line, i)));
    return out;
}

std::string boxText(const std::vector<ASInt32>& v) {
    if (v.empty()) return "none";
    std::string s;
    for (std::size_t i = 0; i < v.size(); ++i) s += (i ? " " : "") + std::to_string(v[i]);
    return s;
}

void cmdExpectFrames(ScriptRunner&, const ScriptLine& line) {
    auto frames = framesOfPage();
    if (boxes(frames, false) != boxArgs(line))
        throw ScriptError("the page's frames are " + boxText(boxes(frames, false)) + "; " +
                          listing(frames));
}

void cmdExpectSelected(ScriptRunner&, const ScriptLine& line) {
    auto frames = framesOfPage();
    if (boxes(frames, true) != boxArgs(line))
        throw ScriptError("the selected frames are " + boxText(boxes(frames, true)) + "; " +
                          listing(frames));
}

bool near(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance;
}

void expectLengths(const FrameInfo& f, const ScriptLine& line, std::size_t first,
                   const double* have, const char* what, const std::vector<FrameInfo>& all) {
    if (line.words.size() != first + 4)
        throw ScriptError(std::string("usage: expect-frame BOX ") + what + " L B R T");
    for (int k = 0; k < 4; ++k) {
        double want = parseLength(scriptArg(line, first + static_cast<std::size_t>(k)));
        if (!near(have[k], want, kLengthTolerance))
            throw ScriptError("frame " + line.words[1] + " has " + what + " " + fmt(have[0]) + " " +
                              fmt(have[1]) + " " + fmt(have[2]) + " " + fmt(have[3]) + "; " +
                              listing(all));
    }
    (void)f;
}

void cmdExpectFrame(ScriptRunner&, const ScriptLine& line) {
    auto frames = framesOfPage();
    const FrameInfo& f = findFrame(frames, scriptArg(line, 1));
    const std::string& what = scriptArg(line, 2);
    if (what == "rect") {
        double have[4] = {f.left, f.bottom, f.right, f.top};
        expectLengths(f, line, 3, have, "rect", frames);
    } else if (what == "bleed") {
        double have[4] = {f.bl, f.bb, f.br, f.bt};
        expectLengths(f, line, 3, have, "bleed", frames);
    } else if (what == "rotation") {
        long want = scriptInt(line, 3);
        if (f.rotation != want)
            throw ScriptError("frame " + line.words[1] + " has rotation " +
                              std::to_string(f.rotation));
    } else if (what == "content") {
        long want = scriptInt(line, 3);
        if (f.contentCount != want)
            throw ScriptError("frame " + line.words[1] + " holds " +
                              std::to_string(f.contentCount) + " elements");
    } else if (what == "matrix") {
        if (line.words.size() != 9) throw ScriptError("usage: expect-frame BOX matrix A B C D E F");
        if (!f.hasMatrix)
            throw ScriptError("frame " + line.words[1] + " holds no element with a matrix");
        const ASFixedMatrix& m = f.matrix;
        double have[6] = {m.a / 65536.0, m.b / 65536.0, m.c / 65536.0,
                          m.d / 65536.0, m.h / 65536.0, m.v / 65536.0};
        for (int k = 0; k < 6; ++k) {
            const std::string& arg = scriptArg(line, 3 + static_cast<std::size_t>(k));
            double want = k < 4 ? parseNumber(arg) : parseLength(arg);
            if (!near(have[k], want, k < 4 ? kScaleTolerance : kLengthTolerance))
                throw ScriptError("frame " + line.words[1] + ": " + describe(f));
        }
    } else if (what == "key") {
        const std::string& key = scriptArg(line, 3);
        const std::string& want = scriptArg(line, 4);
        CosObj v = cos().CosDictGetKeyString(f.dict, key.c_str());
        CosType t = cos().CosObjGetType(v);
        std::string have;
        bool same = false;
        if (t == CosNull) {
            have = "absent";
            same = want == "absent";
        } else if (t == CosInteger || t == CosFixed) {
            double n = t == CosInteger ? cos().CosIntegerValue(v) : cos().CosFloatValue(v);
            have = fmt(n);
            try {
                same = near(n, parseNumber(want), 1e-4);
            } catch (const ScriptError&) {
                same = false;
            }
        } else if (t == CosName) {
            have = atomString(cos().CosNameValue(v));
            same = have == want;
        } else if (t == CosString) {
            char buf[512];
            ASSize_t n = cos().CosStringValue(v, buf, sizeof buf);
            have.assign(buf, std::min<std::size_t>(n, sizeof buf));
            same = have == want;
        } else {
            have = "an object of type " + std::to_string(t);
        }
        if (!same) throw ScriptError("frame " + line.words[1] + " has " + key + " " + have);
    } else {
        throw ScriptError(
            "expect-frame checks rect, bleed, rotation, content, matrix or key, not \"" + what +
            "\"");
    }
}

void cmdPrintFrames(ScriptRunner&, const ScriptLine&) {
    std::printf("%s\n", listing(framesOfPage(), true).c_str());
}

}  // namespace

void registerFrameScriptCommands() {
    registerScriptCommand("expect-frames", "expect-frames [BOX...]", cmdExpectFrames);
    registerScriptCommand("expect-selected", "expect-selected [BOX...]", cmdExpectSelected);
    registerScriptCommand("expect-frame",
                          "expect-frame BOX[#N] rect|bleed L B R T | rotation DEG | content N | "
                          "matrix A B C D E F | key NAME VALUE",
                          cmdExpectFrame);
    registerScriptCommand("print-frames", "print-frames", cmdPrintFrames);
}

}  // namespace vexa::host
