#include "headless/TemplateCommand.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "core/Loader.h"
#include "headless/ProofRenderer.h"
#include "headless/Quote.h"
#include "headless/Script.h"

namespace vexa::host {

using layout::Fixed;
using layout::Rect;
namespace fs = std::filesystem;

namespace {

const char* kTemplateUsage =
    "usage: vexa template new --sheet NAME|WxH --page NAME|WxH --layout KIND\n"
    "                         [--grid CxR] [--gutter LEN] [--bleed LEN] [--gripper LEN]\n"
    "                         [--gripper-edge top|bottom|left|right] [--plate WxH]\n"
    "                         [--marks cut,registration,centre,fold,moving|none] [--slug]\n"
    "                         -o OUT.pdf\n"
    "       vexa template new --from FILE.json [OPTIONS] -o OUT.pdf\n"
    "       vexa template show TEMPLATE [--json] [--unit mm|cm|in|pt] [--png DIR [--dpi N]]\n"
    "                          [--fold]\n"
    "       vexa template list\n"
    "\n"
    "KIND: booklet, signature-8, signature-16, signature-32, step, work-and-turn,\n"
    "work-and-tumble. Sizes: A0-A8, B0-B6, SRA0-SRA4, 52x72cm, 70x100cm, letter,\n"
    "tabloid, 12x18in, or WxH with a unit (320x450mm). Lengths: 3mm, 0.125in, 9pt (a\n"
    "bare number is millimetres). Defaults: 3 mm bleed, 10 mm gripper at the bottom,\n"
    "cut and registration marks, no slug line; the gutter between frames that are cut\n"
    "apart is twice the bleed. See docs/templates.md.\n";

class UsageError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// The value of the option at args[i], which follows it; i moves on to it.
std::string optionValue(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
    return args[++i];
}

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A 16.16 value as points, written so that it reads back exactly.
std::string pt(Fixed v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.17g", v / 65536.0);
    return buf;
}
std::string ptUnit(Fixed v) {
    return quote(pt(v) + " pt");
}

// ---- Options -----------------------------------------------------------------------------

void applyMarks(layout::Request& r, const std::string& list) {
    r.cutMarks = r.registrationMarks = r.centreMarks = r.foldMarks = r.movingMark = false;
    if (list == "none" || list.empty()) return;
    std::stringstream ss(list);
    std::string item;
    while (std::getline(ss, item, ',')) {
        if (item == "cut")
            r.cutMarks = true;
        else if (item == "registration")
            r.registrationMarks = true;
        else if (item == "centre" || item == "center")
            r.centreMarks = true;
        else if (item == "fold")
            r.foldMarks = true;
        else if (item == "moving")
            r.movingMark = true;
        else
            throw UsageError(
                "--marks takes cut, registration, centre, fold, moving or none, not \"" + item +
                "\"");
    }
}

void parseGrid(layout::Request& r, const std::string& v) {
    int c = 0, rows = 0;
    char extra = 0;
    if (std::sscanf(v.c_str(), "%dx%d%c", &c, &rows, &extra) != 2 || c < 1 || rows < 1 || c > 64 ||
        rows > 64)
        throw UsageError("--grid is COLUMNSxROWS, e.g. 4x5 (1 to 64 each)");
    r.gridCols = c;
    r.gridRows = rows;
}

// One option of the request, from the command line or a JSON description.
struct RequestBuilder {
    layout::Request r;
    std::string sheet, page, layoutName;

    void set(const std::string& key, const std::string& v) {
        if (key == "sheet")
            sheet = v;
        else if (key == "page")
            page = v;
        else if (key == "layout")
            layoutName = v;
        else if (key == "grid")
            parseGrid(r, v);
        else if (key == "gutter")
            r.gutter = layout::parseLength(v);
        else if (key == "bleed")
            r.bleed = layout::parseLength(v);
        else if (key == "gripper")
            r.gripper = layout::parseLength(v);
        else if (key == "gripper-edge")
            r.gripperEdge = layout::parseEdge(v);
        else if (key == "plate")
            layout::parseSize(v, true, r.plateW, r.plateH);
        else if (key == "marks")
            applyMarks(r, v);
        else if (key == "slug")
            r.slug = v == "true" || v == "on" || v == "1";
        else
            throw UsageError("unknown key \"" + key + "\"");
    }

    void fromJson(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw UsageError("cannot read " + path);
        nlohmann::json j;
        try {
            j = nlohmann::json::parse(in);
        } catch (const nlohmann::json::exception& e) {
            throw UsageError(path + " is no JSON description: " + e.what());
        }
        if (!j.is_object()) throw UsageError(path + " holds no JSON object");
        for (auto it = j.begin(); it != j.end(); ++it) {
            const std::string& key = it.key();
            if (key == "name" || key == "description" || key == "binding") continue;
            const nlohmann::json& v = it.value();
            std::string text;
            if (v.is_string())
                text = v.get<std::string>();
            else if (v.is_boolean())
                text = v.get<bool>() ? "true" : "false";
            else if (v.is_number())
                text = v.dump();
            else if (v.is_array()) {
                for (const auto& e : v) {
                    if (!e.is_string()) throw UsageError(path + ": \"" + key + "\" lists texts");
                    text += (text.empty() ? "" : ",") + e.get<std::string>();
                }
            } else {
                throw UsageError(path + ": \"" + key + "\" has no usable value");
            }
            try {
                set(key, text);
            } catch (const UsageError& e) {
                throw UsageError(path + ": " + e.what());
            }
        }
    }

    layout::Request finish() {
        if (sheet.empty()) throw UsageError("template new needs --sheet");
        if (page.empty()) throw UsageError("template new needs --page");
        if (layoutName.empty()) throw UsageError("template new needs --layout");
        r.kind = layout::parseKind(layoutName);
        layout::parseSize(sheet, true, r.sheetW, r.sheetH);
        layout::parseSize(page, false, r.pageW, r.pageH);
        r.sheetText = sheet;
        r.pageText = page;
        return r;
    }
};

}  // namespace

layout::Request parseTemplateArgs(const std::vector<std::string>& args, std::string& output) {
    RequestBuilder b;
    b.r.bleed = layout::parseLength("3mm");
    b.r.gripper = layout::parseLength("10mm");
    // A description first, so that the options given beside it win.
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--from") b.fromJson(args[i + 1]);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&] { return optionValue(args, i); };
        if (a == "--from")
            value();
        else if (a == "-o" || a == "--output")
            output = value();
        else if (a == "--slug")
            b.r.slug = true;
        else if (a.rfind("--", 0) == 0 && a.size() > 2)
            b.set(a.substr(2), value());
        else
            throw UsageError("template new takes options only, not \"" + a + "\"");
    }
    if (output.empty()) throw UsageError("template new needs -o OUT.pdf");
    return b.finish();
}

// ---- The scripted session ----------------------------------------------------------------

namespace {

struct ScriptWriter {
    std::string s;
    // The frames on the sheet now (page frames and the slug line), for the clicks.
    std::vector<Rect> current;

    void line(const std::string& l) { s += l + "\n"; }

    static Fixed mid(Fixed a, Fixed b) { return a + (b - a) / 2; }

    // A click that hits the frame at `index` of `current` and no other one.
    void click(std::size_t index, bool shift) {
        const Rect& r = current[index];
        Fixed x = mid(r.left, r.right), y = mid(r.bottom, r.top);
        for (std::size_t i = 0; i < current.size(); ++i) {
            const Rect& o = current[i];
            if (i != index && x >= o.left && x <= o.right && y >= o.bottom && y <= o.top)
                throw std::logic_error("template layout: frames overlap at " + pt(x) + " " + pt(y));
        }
        line("click " + pt(x) + " " + pt(y) + (shift ? " shift" : ""));
    }
    void select(const std::vector<std::size_t>& indices) {
        for (std::size_t k = 0; k < indices.size(); ++k) click(indices[k], k > 0);
    }
    void palette(const std::string& button) {
        line("ticks 6");
        line("press " + button);
    }
};

std::string boxRef(const std::vector<layout::Frame>& frames, std::size_t index) {
    int n = 0;
    for (std::size_t i = 0; i <= index; ++i) n += frames[i].box == frames[index].box;
    return std::to_string(frames[index].box) + "#" + std::to_string(n);
}

std::string rectWords(const Rect& r) {
    return pt(r.left) + " " + pt(r.bottom) + " " + pt(r.right) + " " + pt(r.top);
}

// The "Frames..." dialog filled in and confirmed.
void gridDialog(ScriptWriter& w, int rows, int cols, Fixed width, Fixed height, Fixed gapW,
                Fixed gapH, bool turned) {
    w.line("  set 4 " + std::to_string(rows));
    w.line("  set 6 " + std::to_string(cols));
    w.line("  set 8 " + ptUnit(width));
    w.line("  set 10 " + ptUnit(height));
    w.line("  set 12 " + ptUnit(gapW));
    w.line("  set 14 " + ptUnit(gapH));
    w.line(std::string("  toggle 15 ") + (turned ? "on" : "off"));
    w.line("  press ok");
}

// The position dialog on the selection: where its lower left corner goes and, for one
// frame, its size (width 0: keep the sizes).
void positionDialog(ScriptWriter& w, Fixed x, Fixed y, Fixed width = 0, Fixed height = 0) {
    w.palette("position");
    w.line("  set 4 " + ptUnit(x));
    w.line("  set 6 " + ptUnit(y));
    if (width) {
        w.line("  set 8 " + ptUnit(width));
        w.line("  set 10 " + ptUnit(height));
    }
    w.line("  press ok");
}

// The checks that fail the session when a frame is not where the plan put it.
void expectFrames(ScriptWriter& w, const std::vector<layout::Frame>& frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const layout::Frame& f = frames[i];
        std::string ref = boxRef(frames, i);
        w.line("expect-frame " + ref + " rect " + rectWords(f.rect()));
        w.line("expect-frame " + ref + " bleed " + pt(f.bleedLeft) + " " + pt(f.bleedBottom) + " " +
               pt(f.bleedRight) + " " + pt(f.bleedTop));
        w.line("expect-frame " + ref + " rotation " + std::to_string(f.rotation));
    }
}

// A new sheet of the plan's size, with a job-information frame when there is a slug.
void newSheet(ScriptWriter& w, const layout::Plan& p) {
    w.line("# built by vexa template new");
    w.line("menu Vexa:show");
    w.line("ticks 6");
    w.palette("new");
    w.line("  set 5 " + ptUnit(p.sheetW));
    w.line("  set 7 " + ptUnit(p.sheetH));
    w.line(std::string("  toggle 8 ") + (p.slug ? "on" : "off"));
    w.line("  toggle 9 off");
    w.line("  press ok");
    w.line("ticks 6");
}

// The slug line: the new sheet's job-information frame (2 mm from the lower left
// corner, 100 x 4 mm) moves to its place first, out of the way of the pages.
void slugLine(ScriptWriter& w, const layout::Plan& p) {
    Fixed at = 371542;  // 2 mm
    w.current.push_back({at, at, at + 18577134, at + 743085});
    w.click(0, false);
    positionDialog(w, p.slugRect.left, p.slugRect.bottom, p.slugRect.width(), p.slugRect.height());
    w.current[0] = p.slugRect;
    // What it says: sheet, order, title, date, colours, file, page numbers, template.
    w.line("click -4 -4");
    w.line("press-key j");
    for (int id = 5; id <= 12; ++id) w.line("  toggle " + std::to_string(id) + " on");
    w.line("  toggle 13 off");
    w.line("  press ok");
}

// The moving mark: a one-frame grid (centred on the empty sheet) moved beside the
// marks and made a moving mark that steps up to the top of the pages.
void movingMark(ScriptWriter& w, const layout::Plan& p) {
    const Rect& m = p.movingRect;
    w.palette("frames");
    gridDialog(w, 1, 1, m.width(), m.height(), 0, 0, false);
    Fixed x = (p.sheetW - m.width()) / 2, y = (p.sheetH - m.height()) / 2;
    w.current.push_back({x, y, x + m.width(), y + m.height()});
    w.click(w.current.size() - 1, false);
    positionDialog(w, m.left, m.bottom, m.width(), m.height());
    w.current.back() = m;
    w.line("press-key f");
    w.line("  pick 3 1");  // Top
    w.line("  set 4 " + ptUnit(p.movingLimit));
    w.line("  press ok");
    w.line("expect-frame -5 rect " + rectWords(m));
}

// The frame grid: trim-sized frames, the widest gaps of the layout, centred on the
// sheet; turned pages through the dialog's rotation.
void frameGrid(ScriptWriter& w, const layout::Plan& p) {
    Fixed pageW = p.turned ? p.frameH : p.frameW, pageH = p.turned ? p.frameW : p.frameH;
    w.palette("frames");
    gridDialog(w, p.rows, p.cols, pageW, pageH, p.gapW, p.gapH, p.turned);
    Fixed totalW = p.cols * p.frameW + (p.cols - 1) * p.gapW;
    Fixed totalH = p.rows * p.frameH + (p.rows - 1) * p.gapH;
    Fixed x0 = (p.sheetW - totalW) / 2, y0 = (p.sheetH - totalH) / 2;
    for (const layout::Frame& f : p.sheets[0]) {
        Fixed x = x0 + f.col * (p.frameW + p.gapW), y = y0 + f.row * (p.frameH + p.gapH);
        w.current.push_back({x, y, x + p.frameW, y + p.frameH});
    }
}

// Frames that do not lie where the grid put them move there, those that move alike
// together. The page frames start at `firstPage` of the sheet's frames.
void moveFrames(ScriptWriter& w, const layout::Plan& p, std::size_t firstPage) {
    const std::vector<layout::Frame>& front = p.sheets[0];
    std::map<std::pair<Fixed, Fixed>, std::vector<std::size_t>> moves;
    for (std::size_t i = 0; i < front.size(); ++i) {
        const Rect& now = w.current[firstPage + i];
        Fixed dx = front[i].trim.left - now.left, dy = front[i].trim.bottom - now.bottom;
        if (dx || dy) moves[{dx, dy}].push_back(i);
    }
    for (const auto& [d, group] : moves) {
        std::vector<std::size_t> sel;
        Fixed left = INT32_MAX, bottom = INT32_MAX;
        for (std::size_t i : group) {
            sel.push_back(firstPage + i);
            left = std::min(left, w.current[firstPage + i].left);
            bottom = std::min(bottom, w.current[firstPage + i].bottom);
        }
        w.select(sel);
        if (group.size() == 1)
            positionDialog(w, left + d.first, bottom + d.second, p.frameW, p.frameH);
        else
            positionDialog(w, left + d.first, bottom + d.second);
        for (std::size_t i : group) w.current[firstPage + i] = front[i].trim;
    }
}

// Bleed: on every side of each frame, or for the two pages of a spread all round but
// at the spine.
void bleed(ScriptWriter& w, const layout::Plan& p, std::size_t firstPage) {
    const Fixed bleed = p.request.bleed;
    for (const auto& group : p.bleedGroups) {
        std::vector<std::size_t> sel;
        for (int i : group) sel.push_back(firstPage + static_cast<std::size_t>(i));
        w.select(sel);
        w.line("press-key b");
        if (sel.size() == 1) {
            for (int id = 4; id <= 7; ++id)
                w.line("  set " + std::to_string(id) + " " + ptUnit(bleed));
        } else {
            w.line("  set 4 " + ptUnit(bleed));
            w.line(std::string("  toggle 5 ") + (p.bleedAllSides ? "on" : "off"));
        }
        w.line("  press ok");
        for (int i : group)
            w.current[firstPage + static_cast<std::size_t>(i)] =
                p.sheets[0][static_cast<std::size_t>(i)].rect();
    }
}

// Marks around the pages.
void marks(ScriptWriter& w, const layout::Plan& p, std::size_t firstPage) {
    const layout::Request& r = p.request;
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < p.sheets[0].size(); ++i) all.push_back(firstPage + i);
    w.select(all);
    w.palette("marks");
    w.line("  set 4 " + ptUnit(p.marks.distance));
    w.line("  set 6 " + ptUnit(p.marks.length));
    w.line("  set 8 " + ptUnit(p.marks.width));
    w.line(std::string("  toggle 9 ") + (r.cutMarks ? "on" : "off"));
    w.line(std::string("  toggle 11 ") + (r.registrationMarks ? "on" : "off"));
    w.line("  toggle 12 off");
    w.line(std::string("  toggle 13 ") + (r.centreMarks ? "on" : "off"));
    w.line(std::string("  toggle 14 ") + (r.foldMarks ? "on" : "off"));
    w.line("  press ok");
}

// Box numbers typed on the frames of `side` whose number is not as it was: not 1 (as
// the grid makes them) on the front, not the front's on the back.
void typeBoxes(ScriptWriter& w, const std::vector<layout::Frame>& side,
               const std::vector<layout::Frame>* before, std::size_t firstPage) {
    for (std::size_t i = 0; i < side.size(); ++i)
        if (side[i].box != (before ? (*before)[i].box : 1)) {
            w.click(firstPage + i, false);
            w.line("type " + std::to_string(side[i].box));
        }
}

// The frames of `side` that do not stand as they did (as the grid made them, at
// `base`, on the front; as the front on the back) turn by 180 degrees: head to head.
void turnFrames(ScriptWriter& w, const std::vector<layout::Frame>& side,
                const std::vector<layout::Frame>* before, int base, std::size_t firstPage) {
    std::vector<std::size_t> turn;
    for (std::size_t i = 0; i < side.size(); ++i)
        if (side[i].rotation != (before ? (*before)[i].rotation : base))
            turn.push_back(firstPage + i);
    if (!turn.empty()) {
        w.select(turn);
        w.palette("rotate");
    }
}

// The back: a copy of the front, renumbered and turned where it differs.
void backSide(ScriptWriter& w, const layout::Plan& p, std::size_t firstPage) {
    w.palette("copy");
    w.line("  set 4 1");
    w.line("  set 6 0");
    w.line("  pick 8 1");
    w.line("  press ok");
    w.line("page 2");
    // The copy steps the moving mark on as it does for every copy of a sheet; the back
    // of the same sheet carries it where the front does.
    if (p.movingMark) {
        const Rect& m = p.movingRect;
        Fixed step = m.height();
        w.current[firstPage - 1] = {m.left, m.bottom + step, m.right, m.top + step};
        w.click(firstPage - 1, false);
        positionDialog(w, m.left, m.bottom, m.width(), m.height());
        w.current[firstPage - 1] = m;
        w.line("expect-frame -5 rect " + rectWords(m));
    }
    typeBoxes(w, p.sheets[1], &p.sheets[0], firstPage);
    turnFrames(w, p.sheets[1], &p.sheets[0], 0, firstPage);
    w.line("click -4 -4");
    expectFrames(w, p.sheets[1]);
}

}  // namespace

std::string templateScript(const layout::Plan& p, const std::string& output) {
    const layout::Request& r = p.request;
    ScriptWriter w;
    newSheet(w, p);
    if (p.slug) slugLine(w, p);
    if (p.movingMark) movingMark(w, p);
    const std::size_t firstPage = w.current.size();
    frameGrid(w, p);
    const std::vector<layout::Frame>& front = p.sheets[0];
    typeBoxes(w, front, nullptr, firstPage);
    moveFrames(w, p, firstPage);
    turnFrames(w, front, nullptr, p.turned ? 90 : 0, firstPage);
    if (r.bleed > 0) bleed(w, p, firstPage);
    if (r.cutMarks || r.registrationMarks || r.centreMarks || r.foldMarks) marks(w, p, firstPage);
    w.line("click -4 -4");
    expectFrames(w, front);
    if (p.sheets.size() > 1) backSide(w, p, firstPage);

    // On a plate: the paper keeps its place on the plate; everything moves with it.
    if (r.plateW > 0) {
        w.palette("plate");
        w.line("  pick 3 1");
        w.line("  press ok");
    }
    w.line("expect-no-alert");
    w.line("save " + quote(output));
    return w.s;
}

// ---- Running it --------------------------------------------------------------------------

namespace {

// The session runs with settings, log and data of its own, so that what it types into
// the dialogs neither comes from nor changes the user's preferences.
class PrivateHome {
  public:
    explicit PrivateHome(const std::string& plates) {
        std::string base = fs::temp_directory_path().string() + "/vexa-template-XXXXXX";
        std::vector<char> buf(base.begin(), base.end());
        buf.push_back(0);
        if (!::mkdtemp(buf.data())) throw std::runtime_error("cannot make a temporary folder");
        dir_ = buf.data();
        for (const char* sub : {"config/Orvanta", "Documents", "data"})
            fs::create_directories(dir_ + "/" + sub);
        if (!plates.empty()) {
            std::ofstream ini(dir_ + "/config/Orvanta/Vexa.ini", std::ios::binary);
            ini << "[Plates]\n" << plates << "\n";
        }
        set("XDG_CONFIG_HOME", dir_ + "/config");
        set("XDG_DOCUMENTS_DIR", dir_ + "/Documents");
        set("XDG_DATA_HOME", dir_ + "/data");
    }
    ~PrivateHome() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had)
                ::setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                ::unsetenv(it->name.c_str());
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    std::string log() const { return dir_ + "/Documents/Orvanta/Vexa.txt"; }

  private:
    struct Saved {
        std::string name, value;
        bool had;
    };
    void set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        ::setenv(name, value.c_str(), 1);
    }
    std::string dir_;
    std::vector<Saved> saved_;
};

std::string describeSize(Fixed w, Fixed h, const std::string& unit) {
    std::string a = layout::formatLength(w, unit), b = layout::formatLength(h, unit);
    return a.substr(0, a.rfind(' ')) + " x " + b;
}

int cmdNew(const SessionOptions& options, const std::vector<std::string>& args) {
    std::string output;
    layout::Plan plan;
    try {
        plan = layout::plan(parseTemplateArgs(args, output));
    } catch (const layout::LayoutError& e) {
        std::fprintf(stderr, "vexa: %s; no template was written\n", e.what());
        return 2;
    }
    output = fs::absolute(output).string();
    std::string plates;
    if (plan.request.plateW > 0) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "Plate=0 0 %.6f %.6f",
                      plan.request.plateW * 25.4 / (72.0 * 65536.0),
                      plan.request.plateH * 25.4 / (72.0 * 65536.0));
        plates = buf;
    }
    std::string script = templateScript(plan, output);
    {
        PrivateHome home(plates);
        // The script waits by ticks for the palette to follow a selection: on the
        // virtual clock each tick runs the idle procedures that fall due, however long
        // the machine takes; on the real one a slow machine could miss one and find a
        // button still disabled. Nothing here waits for a person.
        SessionOptions scripted = options;
        scripted.virtualClock = true;
        Session session(scripted);
        session.start();
        ScriptRunner runner;
        runner.load(script, "template new");
        try {
            runner.run();
        } catch (const ScriptError& e) {
            std::fprintf(stderr, "vexa: the template could not be built: %s\n", e.what());
            return 1;
        }
    }
    if (!isFile(output)) {
        std::fprintf(stderr, "vexa: the template was not saved\n");
        return 1;
    }
    std::printf("%s: %s, %zu sheet%s, %d frames a sheet of %s pages on %s\n", output.c_str(),
                layout::kindName(plan.request.kind), plan.sheets.size(),
                plan.sheets.size() == 1 ? "" : "s", plan.cols * plan.rows,
                describeSize(plan.request.pageW, plan.request.pageH, "mm").c_str(),
                describeSize(plan.sheetW, plan.sheetH, "mm").c_str());
    return 0;
}

}  // namespace

// ---- Reading a template ------------------------------------------------------------------

namespace {

Fixed fixedOf(QPDFObjectHandle h) {
    if (!h.isNumber()) return 0;
    double f = std::round(h.getNumericValue() * 65536.0);
    if (!(f < 2147483647.0) || !(f > -2147483648.0)) return 0;
    return static_cast<Fixed>(f);
}

int intOf(QPDFObjectHandle h, int def) {
    if (h.isInteger()) return static_cast<int>(h.getIntValue());
    if (h.isString()) return std::atoi(h.getUTF8Value().c_str());
    return def;
}

TemplateFrame frameOf(QPDFObjectHandle d) {
    TemplateFrame f;
    f.box = intOf(d.getKey("/boxnum"), 0);
    int rot = intOf(d.getKey("/rotation"), 360);
    f.rotation = rot != 360 ? rot : (intOf(d.getKey("/rotated"), 0) == 1 ? 180 : 0);
    f.rect = {fixedOf(d.getKey("/left")), fixedOf(d.getKey("/bottom")), fixedOf(d.getKey("/right")),
              fixedOf(d.getKey("/top"))};
    f.bleedLeft = fixedOf(d.getKey("/bl"));
    f.bleedBottom = fixedOf(d.getKey("/bb"));
    f.bleedRight = fixedOf(d.getKey("/br"));
    f.bleedTop = fixedOf(d.getKey("/bt"));
    f.moveLimit = fixedOf(d.getKey("/ml"));
    return f;
}

// The frames of a page: marked-content sequences at the top level of its content whose
// property list holds a frame rectangle.
class FrameCollector : public QPDFObjectHandle::ParserCallbacks {
  public:
    explicit FrameCollector(QPDFObjectHandle properties) : properties_(properties) {}
    void handleObject(QPDFObjectHandle obj) override {
        if (!obj.isOperator()) {
            operands_.push_back(obj);
            return;
        }
        std::string op = obj.getOperatorValue();
        if (op == "BDC" || op == "BMC") {
            if (op == "BDC" && depth_ == 0 && operands_.size() >= 2) {
                QPDFObjectHandle props = operands_.back();
                if (props.isName() && properties_.isDictionary())
                    props = properties_.getKey(props.getName());
                if (props.isDictionary() && props.hasKey("/top")) frames.push_back(frameOf(props));
            }
            ++depth_;
        } else if (op == "EMC" && depth_ > 0) {
            --depth_;
        }
        operands_.clear();
    }
    void handleEOF() override {}
    std::vector<TemplateFrame> frames;

  private:
    QPDFObjectHandle properties_;
    std::vector<QPDFObjectHandle> operands_;
    int depth_ = 0;
};

}  // namespace

TemplateInfo readTemplate(const std::string& path) {
    TemplateInfo info;
    QPDF pdf;
    try {
        pdf.processFile(path.c_str());
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
            TemplateSheet sheet;
            QPDFObjectHandle box = page.getMediaBox();
            Rect r = box.isRectangle()
                         ? Rect{fixedOf(box.getArrayItem(0)), fixedOf(box.getArrayItem(1)),
                                fixedOf(box.getArrayItem(2)), fixedOf(box.getArrayItem(3))}
                         : Rect{};
            sheet.width = r.width();
            sheet.height = r.height();
            QPDFObjectHandle res = page.getAttribute("/Resources", false);
            FrameCollector frames(res.isDictionary() ? res.getKey("/Properties")
                                                     : QPDFObjectHandle::newNull());
            page.parseContents(&frames);
            sheet.frames = frames.frames;
            info.sheets.push_back(sheet);
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(path + " cannot be read as a PDF file: " + e.what());
    }
    return info;
}

fold::Reading foldCheck(const TemplateSheet& front, const TemplateSheet& back) {
    std::vector<TemplateFrame> pf, pb;
    for (const auto& f : front.frames)
        if (f.box >= 1) pf.push_back(f);
    for (const auto& f : back.frames)
        if (f.box >= 1) pb.push_back(f);
    if (pf.empty() || pf.size() != pb.size()) return {};
    // Columns and rows from the trim areas' middles.
    std::set<Fixed> xs, ys;
    for (const auto& f : pf) {
        Rect t = f.trim();
        xs.insert(t.left + t.width() / 2);
        ys.insert(t.bottom + t.height() / 2);
    }
    int cols = static_cast<int>(xs.size()), rows = static_cast<int>(ys.size());
    if (cols * rows != static_cast<int>(pf.size())) return {};
    auto place = [&](const std::vector<TemplateFrame>& frames, bool mirrored,
                     std::vector<layout::Frame>& out) {
        std::set<std::pair<int, int>> seen;
        for (const auto& f : frames) {
            Rect t = f.trim();
            auto cx = xs.find(t.left + t.width() / 2);
            auto cy = ys.find(t.bottom + t.height() / 2);
            if (cx == xs.end() || cy == ys.end()) return false;
            layout::Frame lf;
            lf.box = f.box;
            lf.rotation = f.rotation;
            lf.col = static_cast<int>(std::distance(xs.begin(), cx));
            lf.row = static_cast<int>(std::distance(ys.begin(), cy));
            if (!seen.insert({lf.col, lf.row}).second) return false;
            (void)mirrored;
            out.push_back(lf);
        }
        return true;
    };
    std::vector<layout::Frame> lf, lb;
    if (!place(pf, false, lf) || !place(pb, true, lb)) return {};
    return fold::checkFolds(layout::foldSheetOf(lf, lb, cols, rows));
}

// ---- show --------------------------------------------------------------------------------

namespace {

const char* kindOfBox(int box) {
    switch (box) {
        case -1:
            return "slug line";
        case -2:
            return "registration mark";
        case -4:
            return "cut mark";
        case -5:
            return "moving mark";
        case -6:
            return "trim lines";
        case -7:
            return "fold mark";
        case -9:
            return "text frame";
        default:
            return box >= 1 ? "page" : "content";
    }
}

double inUnit(Fixed v, const std::string& unit) {
    double p = v / 65536.0;
    if (unit == "pt") return p;
    if (unit == "in") return p / 72.0;
    if (unit == "cm") return p * 2.54 / 72.0;
    return p * 25.4 / 72.0;
}

std::string num(Fixed v, const std::string& unit) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", inUnit(v, unit));
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string rectText(const Rect& r, const std::string& unit) {
    return num(r.left, unit) + " " + num(r.bottom, unit) + " " + num(r.right, unit) + " " +
           num(r.top, unit);
}

nlohmann::json rectJson(const Rect& r, const std::string& unit) {
    return {inUnit(r.left, unit), inUnit(r.bottom, unit), inUnit(r.right, unit),
            inUnit(r.top, unit)};
}

std::string pagesText(const std::vector<int>& pages) {
    std::string s;
    for (int p : pages) s += (s.empty() ? "" : " ") + std::to_string(p);
    return s;
}

// Frame outlines, box numbers (turned as the page will stand) and the slug line drawn
// over a copy of the template, rendered by the proof renderer module.
void writeProofs(const std::string& path, const TemplateInfo& info, const std::string& dir,
                 int dpi) {
    loadProofRenderer();
    QPDF pdf;
    pdf.processFile(path.c_str());
    QPDFObjectHandle font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>"));
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    for (std::size_t i = 0; i < pages.size() && i < info.sheets.size(); ++i) {
        std::ostringstream c;
        c.setf(std::ios::fixed);
        c.precision(3);
        c << "q\n";
        for (const TemplateFrame& f : info.sheets[i].frames) {
            auto p = [](Fixed v) { return v / 65536.0; };
            if (f.box >= 1) {
                Rect t = f.trim(), r = f.rect;
                c << "0.85 0.1 0.1 RG 1 w [] 0 d " << p(t.left) << " " << p(t.bottom) << " "
                  << p(t.width()) << " " << p(t.height()) << " re S\n";
                if (t.left != r.left || t.right != r.right || t.top != r.top ||
                    t.bottom != r.bottom)
                    c << "0.85 0.1 0.1 RG 0.5 w [4 3] 0 d " << p(r.left) << " " << p(r.bottom)
                      << " " << p(r.width()) << " " << p(r.height()) << " re S\n";
                double size = std::min(p(t.width()), p(t.height())) * 0.4;
                std::string label = std::to_string(f.box);
                double w = 0.556 * size * static_cast<double>(label.size());
                double cx = p(t.left) + p(t.width()) / 2, cy = p(t.bottom) + p(t.height()) / 2;
                double rad = f.rotation * M_PI / 180.0, co = std::cos(rad), si = std::sin(rad);
                // The label's middle at the frame's middle, its head where the page's is.
                double ox = -w / 2, oy = -size * 0.35;
                c << "BT /VexaProof " << size << " Tf 0.85 0.1 0.1 rg " << co << " " << si << " "
                  << -si << " " << co << " " << cx + co * ox - si * oy << " "
                  << cy + si * ox + co * oy << " Tm (" << label << ") Tj ET\n";
            } else if (f.box == -1) {
                Rect r = f.rect;
                c << "0.1 0.3 0.9 RG 0.75 w [2 2] 0 d " << p(r.left) << " " << p(r.bottom) << " "
                  << p(r.width()) << " " << p(r.height()) << " re S\n";
                c << "BT /VexaProof 8 Tf 0.1 0.3 0.9 rg 1 0 0 1 " << p(r.left) + 2 << " "
                  << p(r.bottom) + 3 << " Tm (slug line) Tj ET\n";
            }
        }
        c << "Q\n";
        QPDFPageObjectHelper& page = pages[i];
        QPDFObjectHandle res = page.getObjectHandle().getKey("/Resources");
        if (!res.isDictionary()) {
            res = QPDFObjectHandle::newDictionary();
            page.getObjectHandle().replaceKey("/Resources", res);
        }
        QPDFObjectHandle fonts = res.getKey("/Font");
        if (!fonts.isDictionary()) {
            fonts = QPDFObjectHandle::newDictionary();
            res.replaceKey("/Font", fonts);
        }
        fonts.replaceKey("/VexaProof", font);
        page.addPageContents(QPDFObjectHandle::newStream(&pdf, c.str()), false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    // Said in the user's terms, before any sheet is rendered: a path through a plain
    // file, a folder that cannot be made, a file where the folder should be.
    std::error_code made;
    fs::create_directories(dir, made);
    if (made || !fs::is_directory(dir))
        throw std::runtime_error("the proofs cannot be written to " + dir + ": " +
                                 (made ? made.message() : "it is not a folder"));
    renderProofs(
        std::string_view(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize()),
        dpi, dir, fs::path(path).stem().string());
}

namespace {

struct ShowOptions {
    std::string file, unit = "mm", pngDir;
    bool json = false, foldWanted = false;
    int dpi = 50;
};

ShowOptions readShowArgs(const std::vector<std::string>& args) {
    ShowOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&] { return optionValue(args, i); };
        if (a == "--json")
            o.json = true;
        else if (a == "--fold")
            o.foldWanted = true;
        else if (a == "--png")
            o.pngDir = value();
        else if (a == "--dpi") {
            o.dpi = std::atoi(value().c_str());
            if (o.dpi < 10 || o.dpi > 600) throw UsageError("--dpi is 10 to 600");
        } else if (a == "--unit") {
            o.unit = value();
            if (o.unit != "mm" && o.unit != "cm" && o.unit != "in" && o.unit != "pt")
                throw UsageError("--unit is mm, cm, in or pt");
        } else if (!a.empty() && a[0] == '-')
            throw UsageError("unknown option " + a);
        else if (o.file.empty())
            o.file = a;
        else
            throw UsageError("template show takes one template");
    }
    if (o.file.empty()) throw UsageError("template show needs a template");
    return o;
}

// One sheet's description: a line for each page frame, slug line, moving mark and text
// frame, and the marks counted by kind within the rectangle they take.
class SheetDescription {
  public:
    SheetDescription(const std::string& unit, std::string& text, nlohmann::json& js)
        : unit_(unit), text_(text), js_(js) {}

    void frame(const TemplateFrame& f) {
        if (f.box >= 1)
            pageFrame(f);
        else if (f.box == -1) {
            text_ += "  slug line: " + rectText(f.rect, unit_) + "\n";
            js_["slug"] = rectJson(f.rect, unit_);
        } else if (f.box == -2 || f.box == -4 || f.box == -5 || f.box == -7)
            mark(f);
        else if (f.box == -9)
            text_ += "  text frame: " + rectText(f.rect, unit_) + "\n";
    }

    void marksLine() {
        if (markCount_.empty()) return;
        text_ += "  marks:";
        bool first = true;
        for (const auto& [k, n] : markCount_) {
            text_ +=
                std::string(first ? " " : ", ") + std::to_string(n) + " " + k + (n == 1 ? "" : "s");
            first = false;
        }
        text_ += ", within " + rectText(marks_, unit_) + "\n";
    }

  private:
    void pageFrame(const TemplateFrame& f) {
        const std::string& unit = unit_;
        Rect t = f.trim();
        text_ += "  page frame " + std::to_string(f.box) + ": trim " + rectText(t, unit) + " (" +
                 num(t.width(), unit) + " x " + num(t.height(), unit) + "), rotation " +
                 std::to_string(f.rotation) + ", bleed " + num(f.bleedLeft, unit) + " " +
                 num(f.bleedBottom, unit) + " " + num(f.bleedRight, unit) + " " +
                 num(f.bleedTop, unit) + " (left bottom right top)\n";
        js_["frames"].push_back({{"box", f.box},
                                 {"trim", rectJson(t, unit)},
                                 {"rect", rectJson(f.rect, unit)},
                                 {"rotation", f.rotation},
                                 {"bleed",
                                  {{"left", inUnit(f.bleedLeft, unit)},
                                   {"bottom", inUnit(f.bleedBottom, unit)},
                                   {"right", inUnit(f.bleedRight, unit)},
                                   {"top", inUnit(f.bleedTop, unit)}}}});
    }

    void mark(const TemplateFrame& f) {
        ++markCount_[kindOfBox(f.box)];
        marks_ = {std::min(marks_.left, f.rect.left), std::min(marks_.bottom, f.rect.bottom),
                  std::max(marks_.right, f.rect.right), std::max(marks_.top, f.rect.top)};
        nlohmann::json jm{{"kind", kindOfBox(f.box)}, {"rect", rectJson(f.rect, unit_)}};
        if (f.box == -5) {
            static const char* kDirections[] = {"up", "left", "down", "right"};
            int d = f.rotation % 360 / 90;
            const char* moves = f.rotation % 90 == 0 && d >= 0 ? kDirections[d] : "nowhere";
            jm["moves"] = moves;
            jm["limit"] = inUnit(f.moveLimit, unit_);
            text_ += "  moving mark: " + rectText(f.rect, unit_) + ", steps " + moves + " to " +
                     num(f.moveLimit, unit_) + " from one copy to the next\n";
        }
        js_["marks"].push_back(jm);
    }

    const std::string& unit_;
    std::string& text_;
    nlohmann::json& js_;
    std::map<std::string, int> markCount_;
    Rect marks_{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
};

// The fold check of each front and back pair of sheets; 1 when a pair does not fold or
// reads wrong, else 0.
int describeFolds(const TemplateInfo& info, std::string& text, nlohmann::json& j) {
    int status = 0;
    j["fold"] = nlohmann::json::array();
    if (info.sheets.size() < 2 || info.sheets.size() % 2) {
        text += "fold check: a folded sheet needs a front and a back sheet\n";
        status = 1;
    }
    for (std::size_t s = 0; s + 1 < info.sheets.size(); s += 2) {
        fold::Reading r = foldCheck(info.sheets[s], info.sheets[s + 1]);
        std::string which = "sheets " + std::to_string(s + 1) + " and " + std::to_string(s + 2);
        nlohmann::json jf{{"sheets", {s + 1, s + 2}}};
        if (r.pages.empty()) {
            text += "fold check, " + which +
                    ": the page frames form no grid that folds in half (front and back "
                    "alike, sides of 1, 2, 4, 8 ... frames)\n";
            jf["foldable"] = false;
            status = 1;
        } else {
            text += "fold check, " + which + ": the reader sees " + pagesText(r.pages);
            if (!r.notUpright.empty()) text += "; turned: " + pagesText(r.notUpright);
            text += r.correct ? " (correct; " : " (WRONG; ";
            text += "folds: " + r.describe() + ")\n";
            jf["foldable"] = true;
            jf["pages"] = r.pages;
            jf["turned"] = r.notUpright;
            jf["correct"] = r.correct;
            jf["folds"] = r.describe();
            if (!r.correct) status = 1;
        }
        j["fold"].push_back(jf);
    }
    return status;
}

}  // namespace

int cmdShow(const std::vector<std::string>& args, const SessionOptions& options) {
    ShowOptions o = readShowArgs(args);
    const std::string& unit = o.unit;
    std::string path = resolveTemplate(o.file, options.pluginDirs);
    if (path.empty()) {
        std::fprintf(stderr, "vexa: no such template: %s\n", o.file.c_str());
        return 2;
    }
    TemplateInfo info = readTemplate(path);

    nlohmann::json j;
    j["file"] = path;
    j["unit"] = unit;
    j["sheets"] = nlohmann::json::array();
    std::string text = path + ": " + std::to_string(info.sheets.size()) + " sheet" +
                       (info.sheets.size() == 1 ? "" : "s") + "\n";
    for (std::size_t s = 0; s < info.sheets.size(); ++s) {
        const TemplateSheet& sheet = info.sheets[s];
        nlohmann::json js;
        js["width"] = inUnit(sheet.width, unit);
        js["height"] = inUnit(sheet.height, unit);
        js["frames"] = nlohmann::json::array();
        js["marks"] = nlohmann::json::array();
        text += "sheet " + std::to_string(s + 1) + ": " + num(sheet.width, unit) + " x " +
                num(sheet.height, unit) + " " + unit + "\n";
        SheetDescription description(unit, text, js);
        for (const TemplateFrame& f : sheet.frames) description.frame(f);
        description.marksLine();
        j["sheets"].push_back(js);
    }

    int status = o.foldWanted ? describeFolds(info, text, j) : 0;
    if (o.json)
        std::printf("%s\n", j.dump(2).c_str());
    else
        std::fputs(text.c_str(), stdout);
    if (!o.pngDir.empty()) writeProofs(path, info, o.pngDir, o.dpi);
    return status;
}

std::string sizeOfFirstPage(const TemplateSheet& s) {
    for (const auto& f : s.frames)
        if (f.box >= 1) {
            Rect t = f.trim();
            bool turned = f.rotation == 90 || f.rotation == 270;
            return describeSize(turned ? t.height() : t.width(), turned ? t.width() : t.height(),
                                "mm");
        }
    return "no page frames";
}

int cmdList(const SessionOptions& options) {
    std::string dir = templateLibraryFolder(options.pluginDirs);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ".pdf") names.push_back(e.path().string());
    if (names.empty()) {
        std::fprintf(stderr, "vexa: no templates in %s\n", dir.c_str());
        return 1;
    }
    std::sort(names.begin(), names.end());
    std::size_t width = 0;
    for (const auto& n : names) width = std::max(width, fs::path(n).stem().string().size());
    for (const auto& n : names) {
        std::string name = fs::path(n).stem().string();
        std::string line;
        try {
            TemplateInfo info = readTemplate(n);
            if (info.sheets.empty()) continue;
            int frames = 0;
            for (const auto& f : info.sheets[0].frames) frames += f.box >= 1;
            line = "sheet " + describeSize(info.sheets[0].width, info.sheets[0].height, "mm") +
                   ", pages " + sizeOfFirstPage(info.sheets[0]) + ", " + std::to_string(frames) +
                   " up, " + std::to_string(info.sheets.size()) + " sheet" +
                   (info.sheets.size() == 1 ? "" : "s");
        } catch (const std::exception& e) {
            line = "cannot be read";
        }
        // The description it was made from says what it is for.
        std::ifstream in(fs::path(n).replace_extension(".json"), std::ios::binary);
        if (in) {
            try {
                nlohmann::json j = nlohmann::json::parse(in);
                if (j.contains("layout") && j["layout"].is_string())
                    line = j["layout"].get<std::string>() + ", " + line;
                if (j.contains("description") && j["description"].is_string())
                    line += " - " + j["description"].get<std::string>();
            } catch (const nlohmann::json::exception&) {
            }
        }
        std::printf("%-*s  %s\n", static_cast<int>(width), name.c_str(), line.c_str());
    }
    return 0;
}

}  // namespace

std::string templateLibraryFolder(const std::vector<std::string>& pluginDirs) {
    std::string plugins = pluginDirs.empty() ? defaultPluginFolder() : pluginDirs.front();
    return plugins + "/Vexa/templates";
}

std::string resolveTemplate(const std::string& nameOrPath,
                            const std::vector<std::string>& pluginDirs) {
    if (isFile(nameOrPath)) return nameOrPath;
    if (nameOrPath.empty() || nameOrPath.find('/') != std::string::npos) return "";
    std::vector<std::string> dirs = pluginDirs;
    if (dirs.empty()) dirs.push_back(defaultPluginFolder());
    for (const auto& d : dirs) {
        std::string base = d + "/Vexa/templates/" + nameOrPath;
        if (isFile(base)) return base;
        if (isFile(base + ".pdf")) return base + ".pdf";
    }
    return "";
}

int cmdTemplate(SessionOptions options, const std::vector<std::string>& args) {
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "help") {
            std::fputs(kTemplateUsage, args.empty() ? stderr : stdout);
            return args.empty() ? 2 : 0;
        }
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const auto& a : rest)
            if (a == "--help") {
                std::fputs(kTemplateUsage, stdout);
                return 0;
            }
        if (args[0] == "new") return cmdNew(options, rest);
        if (args[0] == "show") return cmdShow(rest, options);
        if (args[0] == "list") {
            if (!rest.empty()) throw UsageError("template list takes no arguments");
            return cmdList(options);
        }
        throw UsageError("template takes new, show or list, not \"" + args[0] + "\"");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vexa: %s\nTry 'vexa template --help'.\n", e.what());
        return 2;
    } catch (const layout::LayoutError& e) {
        std::fprintf(stderr, "vexa: %s\n", e.what());
        return 2;
    }
}

}  // namespace vexa::host
