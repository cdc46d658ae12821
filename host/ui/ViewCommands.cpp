// Script commands of page views: the robot user's mouse and keyboard on the front
// document's view, file drops, pop-up menus, undo and redo, and checks on what the
// view shows (the overlay's labels, rectangles and colours, the current page).
//
// Points are page coordinates of the view's current page, in points unless they carry
// a unit ("12mm", "1in", "2cm", "30pt"); "px" marks device pixels ("120px").
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/App.h"
#include "core/Core.h"
#include "ui/Script.h"
#include "ui/ScriptHands.h"

namespace vexa::host {
namespace {

using app::DrawOp;

using app::A;

AVPageView frontView() {
    AVDoc d = A().frontDoc();
    if (!d) throw ScriptError("no document is open");
    return &d->view;
}

// ---- Arguments ----------------------------------------------------------------------

struct Coord {
    double value = 0;
    bool device = false;
};

Coord parseCoord(const std::string& s) {
    static const struct {
        const char* suffix;
        double factor;
    } units[] = {{"mm", 72.0 / 25.4}, {"cm", 72.0 / 2.54}, {"in", 72.0}, {"pt", 1.0}, {"px", 1.0}};
    std::string num = s;
    double factor = 1.0;
    bool device = false;
    for (auto& u : units) {
        std::size_t n = std::strlen(u.suffix);
        if (s.size() > n && s.compare(s.size() - n, n, u.suffix) == 0) {
            num = s.substr(0, s.size() - n);
            factor = u.factor;
            device = std::string(u.suffix) == "px";
            break;
        }
    }
    try {
        std::size_t used = 0;
        double v = std::stod(num, &used);
        if (used == num.size() && std::isfinite(v) && std::fabs(v) < 1e7)
            return {v * factor, device};
    } catch (const std::exception&) {
    }
    throw ScriptError("\"" + s + "\" is not a coordinate (a number with mm, cm, in, pt or px)");
}

ASFixed toFixed(double points) {
    return static_cast<ASFixed>(std::lround(points * 65536.0));
}

// A point of the script as a device point of the view.
std::pair<AVDevCoord, AVDevCoord> devicePoint(AVPageView v, const ScriptLine& line, std::size_t i) {
    Coord x = parseCoord(scriptArg(line, i)), y = parseCoord(scriptArg(line, i + 1));
    if (x.device != y.device) throw ScriptError("give both coordinates in pixels or neither");
    if (x.device)
        return {static_cast<AVDevCoord>(std::lround(x.value)),
                static_cast<AVDevCoord>(std::lround(y.value))};
    AVDevCoord dx = 0, dy = 0;
    A().pointToDevice(v, {toFixed(x.value), toFixed(y.value)}, &dx, &dy);
    return {dx, dy};
}

ASUns16 keyCode(const std::string& k) {
    static const struct {
        const char* name;
        ASUns16 code;
    } named[] = {{"backspace", 8}, {"tab", 9},     {"return", 13}, {"enter", 13}, {"escape", 27},
                 {"left", 28},     {"right", 29},  {"up", 30},     {"down", 31},  {"space", 32},
                 {"plus", '+'},    {"minus", '-'}, {"delete", 127}};
    for (auto& n : named)
        if (k == n.name) return n.code;
    if (k.size() == 1 && static_cast<unsigned char>(k[0]) < 128) return static_cast<ASUns16>(k[0]);
    throw ScriptError("\"" + k + "\" is no key (a character, or " +
                      "left right up down tab backspace delete escape return space plus minus)");
}

bool parseColor(const std::string& s, AVRGBColor16* c) {
    static const struct {
        const char* name;
        AVRGBColor16 color;
    } names[] = {{"red", {0xFFFF, 0, 0}},
                 {"green", {0, 0xFFFF, 0}},
                 {"blue", {0, 0, 0xFFFF}},
                 {"black", {0, 0, 0}},
                 {"white", {0xFFFF, 0xFFFF, 0xFFFF}},
                 {"grey", {0x8000, 0x8000, 0x8000}},
                 {"gray", {0x8000, 0x8000, 0x8000}}};
    for (auto& n : names)
        if (s == n.name) {
            *c = n.color;
            return true;
        }
    // R,G,B with 16-bit components (decimal or 0x hex).
    int r, g, b;
    char tail;
    if (std::sscanf(s.c_str(), "%i,%i,%i%c", &r, &g, &b, &tail) == 3 && r >= 0 && g >= 0 &&
        b >= 0 && r <= 0xFFFF && g <= 0xFFFF && b <= 0xFFFF) {
        *c = {static_cast<ASUns16>(r), static_cast<ASUns16>(g), static_cast<ASUns16>(b)};
        return true;
    }
    return false;
}

std::string colorText(const AVRGBColor16& c) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "0x%04X,0x%04X,0x%04X", c.red, c.green, c.blue);
    return buf;
}

const char* penText(ASInt32 pen) {
    return pen == AVPenDashed ? "dashed" : pen == AVPenDithered ? "dithered" : "solid";
}

std::string describe(const DrawOp& op) {
    std::ostringstream s;
    const AVDevRect& r = op.rect;
    switch (op.kind) {
        case DrawOp::Line:
            s << "line " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
            break;
        case DrawOp::RectOutline:
            s << "rect " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
            break;
        case DrawOp::FillRect:
            s << "fill " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
            break;
        case DrawOp::Text:
            s << "label \"" << op.text << "\" at " << r.left << "," << r.top << " size " << op.size;
            break;
    }
    s << " " << colorText(op.color) << " " << penText(op.pen);
    if (op.pen == AVPenDashed) s << " " << op.dash << "/" << op.gap;
    if (op.kind != DrawOp::Text) s << " width " << op.width;
    return s.str();
}

// ---- Pop-up menus -------------------------------------------------------------------

std::string plainTitle(std::string t) {
    for (const char* e : {"\xE2\x80\xA6", "..."})
        if (t.size() >= std::strlen(e) &&
            t.compare(t.size() - std::strlen(e), std::strlen(e), e) == 0)
            t.erase(t.size() - std::strlen(e));
    return t;
}

// "Title" or "Submenu>Title" as an index path; empty when no item has that title.
std::vector<int> findPath(const std::vector<app::PopupEntry>& menu, const std::string& spec) {
    std::size_t gt = spec.find('>');
    std::string head = plainTitle(gt == std::string::npos ? spec : spec.substr(0, gt));
    for (std::size_t i = 0; i < menu.size(); ++i) {
        if (plainTitle(menu[i].title) != head) continue;
        if (gt == std::string::npos) {
            if (!menu[i].submenu.empty()) continue;
            return {static_cast<int>(i)};
        }
        std::vector<int> rest = findPath(menu[i].submenu, spec.substr(gt + 1));
        if (rest.empty()) continue;
        rest.insert(rest.begin(), static_cast<int>(i));
        return rest;
    }
    return {};
}

std::string menuText(const std::vector<app::PopupEntry>& menu) {
    std::string s;
    for (std::size_t i = 0; i < menu.size(); ++i) {
        s += (i ? ", " : "") + std::string("\"") + menu[i].title + "\"";
        if (!menu[i].submenu.empty()) s += " > (" + menuText(menu[i].submenu) + ")";
    }
    return s;
}

// Pop-up menus of the application model answered by the script: a "menu-pick" given
// before, or the lines that follow until one.
class ScriptChooser : public app::PopupChooser {
  public:
    std::vector<int> choose(const std::vector<app::PopupEntry>& menu, AVDevCoord,
                            AVDevCoord) override {
        ScriptRunner* r = ScriptRunner::current();
        if (!r) return {};
        std::string choice = r->takeMenuPick([&] { return "the pop-up menu " + menuText(menu); });
        if (choice == "none") return {};
        return scriptMenuPath(menu, choice);
    }
};

}  // namespace

std::vector<int> scriptMenuPath(const std::vector<app::PopupEntry>& menu,
                                const std::string& choice) {
    std::vector<int> path = findPath(menu, choice);
    if (path.empty())
        throw ScriptError("\"" + choice + "\" is no item of the pop-up menu " + menuText(menu));
    return path;
}

app::PopupChooser& scriptPopupChooser() {
    static ScriptChooser chooser;
    return chooser;
}

namespace {

// ---- Mouse and keys -----------------------------------------------------------------

std::vector<std::pair<AVDevCoord, AVDevCoord>> straightPath(std::pair<AVDevCoord, AVDevCoord> a,
                                                            std::pair<AVDevCoord, AVDevCoord> b) {
    std::vector<std::pair<AVDevCoord, AVDevCoord>> path;
    const int steps = 10;
    for (int i = 1; i <= steps; ++i)
        path.push_back({a.first + static_cast<AVDevCoord>(
                                      std::lround((b.first - a.first) * i / double(steps))),
                        a.second + static_cast<AVDevCoord>(
                                       std::lround((b.second - a.second) * i / double(steps)))});
    return path;
}

void cmdClick(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    auto p = devicePoint(v, line, 1);
    r.hands().click(v, p.first, p.second, scriptModifiers(line, 3));
}

void cmdDoubleClick(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    auto p = devicePoint(v, line, 1);
    r.hands().doubleClick(v, p.first, p.second, scriptModifiers(line, 3));
}

void cmdRightClick(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    auto p = devicePoint(v, line, 1);
    A().lastPopup.clear();
    r.hands().rightClick(v, p.first, p.second, scriptModifiers(line, 3));
}

void cmdDrag(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    auto a = devicePoint(v, line, 1);
    auto b = devicePoint(v, line, 3);
    r.hands().click(v, a.first, a.second, scriptModifiers(line, 5), straightPath(a, b));
}

void cmdKey(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    r.hands().key(v, keyCode(scriptArg(line, 1)), scriptModifiers(line, 2));
}

void cmdType(ScriptRunner& r, const ScriptLine& line) {
    const std::string& text = scriptArg(line, 1);
    double every = 0;
    if (line.words.size() > 2) {
        if (line.words[2] != "every" || line.words.size() != 4)
            throw ScriptError("usage: type TEXT [every SECONDS]");
        try {
            every = std::stod(line.words[3]);
        } catch (const std::exception&) {
            every = -1;
        }
        if (!(every >= 0 && every <= 3600)) throw ScriptError("every takes 0 to 3600 seconds");
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && every > 0) A().passTime(static_cast<ASUns32>(std::lround(every * 60)));
        ASInt16 flags = (text[i] >= 'A' && text[i] <= 'Z') ? AV_SHIFT : 0;
        r.hands().key(frontView(), static_cast<unsigned char>(text[i]), flags);
    }
}

void cmdMoveMouse(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    auto p = devicePoint(v, line, 1);
    r.hands().moveMouse(v, p.first, p.second);
}

void cmdExpectCursor(ScriptRunner&, const ScriptLine& line) {
    static const char* names[] = {"arrow", "hand", "cross", "ibeam", "wait", "move"};
    const std::string& want = scriptArg(line, 1);
    ASInt32 c = A().cursor;
    std::string have = c >= 0 && c <= 5 ? names[c] : std::to_string(c);
    if (have != want) throw ScriptError("the cursor is " + have);
}

// ---- Drops --------------------------------------------------------------------------

std::string uriFor(const std::string& path) {
    std::error_code ec;
    std::string abs = std::filesystem::absolute(path, ec).string();
    std::string uri = "file://";
    for (unsigned char c : abs) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            uri += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            uri += buf;
        }
    }
    return uri + "\r\n";
}

void cmdDragOver(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    std::string uri = uriFor(scriptArg(line, 1));
    auto p = devicePoint(v, line, 2);
    AVDoc d = v->doc;
    if (!d->drop.inside) r.hands().dragTrack(d, AVDragEnter, uri, p.first, p.second);
    r.hands().dragTrack(d, AVDragMove, uri, p.first, p.second);
}

void cmdDragLeave(ScriptRunner& r, const ScriptLine&) {
    AVDoc d = frontView()->doc;
    r.hands().dragTrack(d, AVDragLeave, "", A().mouse().x, A().mouse().y);
}

void cmdDrop(ScriptRunner& r, const ScriptLine& line) {
    AVPageView v = frontView();
    std::string uri = uriFor(scriptArg(line, 1));
    auto p = devicePoint(v, line, 2);
    bool wantRefused = line.words.size() > 4 && line.words[4] == "refused";
    if (line.words.size() > 5 || (line.words.size() == 5 && !wantRefused))
        throw ScriptError("usage: drop FILE X Y [refused]");
    AVDoc d = v->doc;
    // The drag enters at the point and moves there; what the last move answered decides.
    r.hands().dragTrack(d, AVDragEnter, uri, p.first, p.second);
    bool tracked = r.hands().dragTrack(d, AVDragMove, uri, p.first, p.second);
    bool taken = tracked && r.hands().drop(d, uri, p.first, p.second);
    if (!tracked) r.hands().dragTrack(d, AVDragLeave, uri, p.first, p.second);
    if (taken && wantRefused) throw ScriptError("the drop was accepted");
    if (!taken && !wantRefused) throw ScriptError("the drop was refused");
}

void cmdExpectHighlight(ScriptRunner&, const ScriptLine& line) {
    AVPageView v = frontView();
    const AVDocDropState& s = v->doc->drop;
    if (scriptArg(line, 1) == "none") {
        if (s.highlighted) throw ScriptError("the window shows a drop highlight");
        return;
    }
    if (!s.highlighted) throw ScriptError("the window shows no drop highlight");
    Coord c[4];
    for (int i = 0; i < 4; ++i) c[i] = parseCoord(scriptArg(line, 1 + i));
    AVDevRect want;
    if (c[0].device) {
        want = {AVDevCoord(std::lround(c[0].value)), AVDevCoord(std::lround(c[1].value)),
                AVDevCoord(std::lround(c[2].value)), AVDevCoord(std::lround(c[3].value))};
    } else {
        want = A().rectToDevice(v, {toFixed(c[0].value), toFixed(c[3].value), toFixed(c[2].value),
                                    toFixed(c[1].value)});
    }
    const AVDevRect& h = s.highlight;
    auto near = [](AVDevCoord a, AVDevCoord b) { return std::abs(a - b) <= 1; };
    if (!near(h.left, want.left) || !near(h.top, want.top) || !near(h.right, want.right) ||
        !near(h.bottom, want.bottom))
        throw ScriptError("the drop highlight is " + std::to_string(h.left) + "," +
                          std::to_string(h.top) + " " + std::to_string(h.right) + "," +
                          std::to_string(h.bottom));
}

// ---- Pop-up menus, undo -------------------------------------------------------------

void cmdChoose(ScriptRunner& r, const ScriptLine& line) {
    std::string choice = scriptArg(line, 1);
    for (std::size_t i = 2; i < line.words.size(); ++i) choice += " " + line.words[i];
    r.addMenuPick(choice);
}

void cmdExpectPopup(ScriptRunner&, const ScriptLine& line) {
    const auto& menu = A().lastPopup;
    std::vector<std::string> want(line.words.begin() + 1, line.words.end());
    bool same = want.size() == menu.size();
    for (std::size_t i = 0; same && i < want.size(); ++i)
        same = plainTitle(want[i]) == plainTitle(menu[i].title);
    if (!same)
        throw ScriptError(menu.empty() ? std::string("no pop-up menu was shown")
                                       : "the pop-up menu was " + menuText(menu));
}

void cmdUndoRedo(ScriptRunner& r, const char* name) {
    _t_AVMenuItem* it = A().findMenuItem(name);
    if (!it) throw ScriptError(std::string("no menu item \"") + name + "\"");
    if (!r.hands().menuItem(it)) throw ScriptError(std::string(name) + " is disabled");
}

void cmdUndo(ScriptRunner& r, const ScriptLine&) {
    cmdUndoRedo(r, "Undo");
}
void cmdRedo(ScriptRunner& r, const ScriptLine&) {
    cmdUndoRedo(r, "Redo");
}

void cmdExpectUndo(ScriptRunner&, const ScriptLine& line) {
    AVDoc d = frontView()->doc;
    long u = scriptInt(line, 1);
    long r = line.words.size() > 2 ? scriptInt(line, 2) : A().numRedos(d);
    if (A().numUndos(d) != u || A().numRedos(d) != r)
        throw ScriptError("the document can undo " + std::to_string(A().numUndos(d)) +
                          " and redo " + std::to_string(A().numRedos(d)) + " steps");
}

// ---- Pages and layout -----------------------------------------------------------------

void cmdPage(ScriptRunner&, const ScriptLine& line) {
    AVPageView v = frontView();
    long n = scriptInt(line, 1);
    if (n < 1 || n > A().numPages(v->doc))
        throw ScriptError("the document has pages 1 to " + std::to_string(A().numPages(v->doc)));
    A().goToPage(v, static_cast<ASInt32>(n - 1));
}

void cmdExpectPage(ScriptRunner&, const ScriptLine& line) {
    AVPageView v = frontView();
    long n = scriptInt(line, 1);
    if (v->pageNum + 1 != n)
        throw ScriptError("the current page is " + std::to_string(v->pageNum + 1));
}

void cmdLayout(ScriptRunner&, const ScriptLine& line) {
    const std::string& m = scriptArg(line, 1);
    if (m != "single" && m != "continuous") throw ScriptError("layout is single or continuous");
    A().setLayoutMode(frontView(), m == "single" ? AVPageViewSinglePage : AVPageViewContinuous);
}

void cmdExpectLayout(ScriptRunner&, const ScriptLine& line) {
    const std::string& m = scriptArg(line, 1);
    ASInt32 have = frontView()->vs.layoutMode;
    std::string name = have == AVPageViewSinglePage ? "single" : "continuous";
    if (name != m) throw ScriptError("the layout is " + name);
}

void cmdZoom(ScriptRunner&, const ScriptLine& line) {
    long percent = scriptInt(line, 1);
    if (percent < 1 || percent > 6400) throw ScriptError("zoom takes 1 to 6400 percent");
    A().setZoom(frontView(), static_cast<ASFixed>(percent * 65536 / 100));
}

void cmdExpectVisible(ScriptRunner&, const ScriptLine& line) {
    AVPageView v = frontView();
    long first = scriptInt(line, 1), last = scriptInt(line, 2);
    long f = A().firstVisiblePage(v) + 1, l = A().lastVisiblePage(v) + 1;
    if (f != first || l != last)
        throw ScriptError("pages " + std::to_string(f) + " to " + std::to_string(l) +
                          " are visible");
}

// ---- What the view shows ----------------------------------------------------------------

const std::vector<DrawOp>& shown() {
    A().flushRedraws();
    return frontView()->vs.drawn;
}

struct OpFilter {
    DrawOp::Kind kind = DrawOp::Text;
    std::string text;
    AVDevRect rect{};
    bool hasColor = false;
    AVRGBColor16 color{};
    int pen = -1;
    int size = -1;

    bool matches(const DrawOp& op) const {
        if (op.kind != kind) return false;
        if (kind == DrawOp::Text) {
            if (op.text != text) return false;
        } else {
            auto near = [](AVDevCoord a, AVDevCoord b) { return std::abs(a - b) <= 1; };
            if (!near(op.rect.left, rect.left) || !near(op.rect.top, rect.top) ||
                !near(op.rect.right, rect.right) || !near(op.rect.bottom, rect.bottom))
                return false;
        }
        if (hasColor && (op.color.red != color.red || op.color.green != color.green ||
                         op.color.blue != color.blue))
            return false;
        if (pen >= 0 && op.pen != pen) return false;
        if (size >= 0 && op.size != size) return false;
        return true;
    }
};

// "label TEXT [COLOR] [size N]" or "rect|fill|line X1 Y1 X2 Y2 [COLOR] [solid|dashed|dithered]".
OpFilter parseFilter(const ScriptLine& line) {
    AVPageView v = frontView();
    OpFilter f;
    const std::string& what = scriptArg(line, 1);
    std::size_t i = 2;
    if (what == "label") {
        f.kind = DrawOp::Text;
        f.text = scriptArg(line, 2);
        i = 3;
    } else if (what == "rect" || what == "fill" || what == "line") {
        f.kind = what == "rect"   ? DrawOp::RectOutline
                 : what == "fill" ? DrawOp::FillRect
                                  : DrawOp::Line;
        Coord c[4];
        for (int k = 0; k < 4; ++k) c[k] = parseCoord(scriptArg(line, 2 + k));
        if (c[0].device) {
            f.rect = {AVDevCoord(std::lround(c[0].value)), AVDevCoord(std::lround(c[1].value)),
                      AVDevCoord(std::lround(c[2].value)), AVDevCoord(std::lround(c[3].value))};
        } else if (f.kind == DrawOp::Line) {
            A().pointToDevice(v, {toFixed(c[0].value), toFixed(c[1].value)}, &f.rect.left,
                              &f.rect.top);
            A().pointToDevice(v, {toFixed(c[2].value), toFixed(c[3].value)}, &f.rect.right,
                              &f.rect.bottom);
        } else {
            f.rect = A().rectToDevice(v, {std::min(toFixed(c[0].value), toFixed(c[2].value)),
                                          std::max(toFixed(c[1].value), toFixed(c[3].value)),
                                          std::max(toFixed(c[0].value), toFixed(c[2].value)),
                                          std::min(toFixed(c[1].value), toFixed(c[3].value))});
        }
        i = 6;
    } else {
        throw ScriptError("expect-drawn takes label, rect, fill or line, not \"" + what + "\"");
    }
    for (; i < line.words.size(); ++i) {
        const std::string& w = line.words[i];
        if (w == "size") {
            f.size = static_cast<int>(scriptInt(line, ++i));
        } else if (w == "solid" || w == "dashed" || w == "dithered") {
            f.pen = w == "solid" ? AVPenSolid : w == "dashed" ? AVPenDashed : AVPenDithered;
        } else if (parseColor(w, &f.color)) {
            f.hasColor = true;
        } else {
            throw ScriptError("\"" + w + "\" is no colour, pen or size");
        }
    }
    return f;
}

// What was drawn, one operation a line for show-drawn; for an error on one line,
// joined by "; ".
std::string listing(const std::vector<DrawOp>& ops, bool lines = false) {
    if (ops.empty()) return "nothing was drawn";
    std::string s = "drawn:";
    std::size_t n = 0;
    const char* sep = lines ? "\n  " : "; ";
    for (const DrawOp& op : ops) {
        s += lines || n ? sep : " ";
        if (++n > 40) {
            s += "... " + std::to_string(ops.size() - 40) + " more";
            break;
        }
        s += describe(op);
    }
    return s;
}

void cmdExpectDrawn(ScriptRunner&, const ScriptLine& line) {
    OpFilter f = parseFilter(line);
    const auto& ops = shown();
    for (const DrawOp& op : ops)
        if (f.matches(op)) return;
    throw ScriptError("nothing like that was drawn; " + listing(ops));
}

void cmdExpectNotDrawn(ScriptRunner&, const ScriptLine& line) {
    OpFilter f = parseFilter(line);
    for (const DrawOp& op : shown())
        if (f.matches(op)) throw ScriptError("drawn: " + describe(op));
}

void cmdExpectDrawnCount(ScriptRunner&, const ScriptLine& line) {
    const std::string& what = scriptArg(line, 1);
    long want = scriptInt(line, 2);
    long n = 0;
    for (const DrawOp& op : shown()) {
        if (what == "any" || (what == "label" && op.kind == DrawOp::Text) ||
            (what == "rect" && op.kind == DrawOp::RectOutline) ||
            (what == "fill" && op.kind == DrawOp::FillRect) ||
            (what == "line" && op.kind == DrawOp::Line))
            ++n;
    }
    if (n != want)
        throw ScriptError(std::to_string(n) + " " + what + " operations were drawn; " +
                          listing(shown()));
}

void cmdShowDrawn(ScriptRunner&, const ScriptLine&) {
    std::printf("%s\n", listing(shown(), true).c_str());
}

void cmdRedraw(ScriptRunner&, const ScriptLine&) {
    A().redraw(frontView());
}

}  // namespace

void registerViewScriptCommands() {
    registerScriptCommand("click", "click X Y [shift|option|command...]", cmdClick);
    registerScriptCommand("double-click", "double-click X Y [MODIFIERS]", cmdDoubleClick);
    registerScriptCommand("right-click", "right-click X Y [MODIFIERS] (a pop-up menu may follow)",
                          cmdRightClick);
    registerScriptCommand("drag", "drag X1 Y1 X2 Y2 [MODIFIERS]", cmdDrag);
    registerScriptCommand("press-key", "press-key KEY [MODIFIERS]", cmdKey);
    registerScriptCommand("type", "type TEXT [every SECONDS]", cmdType);
    registerScriptCommand("move-mouse", "move-mouse X Y", cmdMoveMouse);
    registerScriptCommand("expect-cursor", "expect-cursor arrow|hand|cross|ibeam|wait|move",
                          cmdExpectCursor);
    registerScriptCommand("drag-over", "drag-over FILE X Y", cmdDragOver);
    registerScriptCommand("drag-leave", "drag-leave", cmdDragLeave);
    registerScriptCommand("drop", "drop FILE X Y [refused]", cmdDrop);
    registerScriptCommand("expect-highlight", "expect-highlight X1 Y1 X2 Y2 | none",
                          cmdExpectHighlight);
    registerScriptCommand("menu-pick", "menu-pick ITEM | SUBMENU>ITEM | none (in a pop-up menu)",
                          cmdChoose);
    registerScriptCommand("expect-popup", "expect-popup TITLE...", cmdExpectPopup);
    registerScriptCommand("undo", "undo", cmdUndo);
    registerScriptCommand("redo", "redo", cmdRedo);
    registerScriptCommand("expect-undo", "expect-undo UNDOS [REDOS]", cmdExpectUndo);
    registerScriptCommand("page", "page N", cmdPage);
    registerScriptCommand("expect-page", "expect-page N", cmdExpectPage);
    registerScriptCommand("layout", "layout single|continuous", cmdLayout);
    registerScriptCommand("expect-layout", "expect-layout single|continuous", cmdExpectLayout);
    registerScriptCommand("zoom", "zoom PERCENT", cmdZoom);
    registerScriptCommand("expect-visible", "expect-visible FIRST LAST", cmdExpectVisible);
    registerScriptCommand("expect-drawn",
                          "expect-drawn label TEXT | rect|fill|line X1 Y1 X2 Y2 [COLOR] [PEN] "
                          "[size N]",
                          cmdExpectDrawn);
    registerScriptCommand("expect-not-drawn", "expect-not-drawn (as expect-drawn)",
                          cmdExpectNotDrawn);
    registerScriptCommand("expect-drawn-count", "expect-drawn-count label|rect|fill|line|any N",
                          cmdExpectDrawnCount);
    registerScriptCommand("show-drawn", "show-drawn", cmdShowDrawn);
    registerScriptCommand("redraw", "redraw", cmdRedraw);
}

}  // namespace vexa::host
