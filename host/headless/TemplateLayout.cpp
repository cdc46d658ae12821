#include "headless/TemplateLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace vexa::host::layout {
namespace {

Fixed fromMM(long double mm) {
    return static_cast<Fixed>(std::trunc(mm * 72.0L * 65536.0L / 25.4L));
}
Fixed fromInch(long double in) {
    return static_cast<Fixed>(std::trunc(in * 72.0L * 65536.0L));
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A number followed by a unit; `unit` is left as found ("" when there is none).
bool splitNumber(const std::string& s, long double& value, std::string& unit) {
    const char* begin = s.c_str();
    char* end = nullptr;
    value = std::strtold(begin, &end);
    if (end == begin || !std::isfinite(static_cast<double>(value))) return false;
    unit = lower(std::string(end));
    while (!unit.empty() && unit.front() == ' ') unit.erase(0, 1);
    return true;
}

bool toFixed(long double value, const std::string& unit, Fixed& out) {
    long double pt;
    if (unit.empty() || unit == "mm")
        pt = value * 72.0L / 25.4L;
    else if (unit == "cm")
        pt = value * 720.0L / 25.4L;
    else if (unit == "in" || unit == "inch" || unit == "\"")
        pt = value * 72.0L;
    else if (unit == "pt")
        pt = value;
    else
        return false;
    if (!(std::fabs(static_cast<double>(pt)) < 30000.0)) return false;
    if (unit.empty() || unit == "mm")
        out = fromMM(value);
    else if (unit == "cm")
        out = fromMM(value * 10);
    else if (unit == "pt")
        out = static_cast<Fixed>(std::trunc(value * 65536.0L));
    else
        out = fromInch(value);
    return true;
}

struct Named {
    const char* name;
    double w, h;  // upright
    bool inch;
};
const Named kSizes[] = {
    {"a0", 841, 1189, false},     {"a1", 594, 841, false},        {"a2", 420, 594, false},
    {"a3", 297, 420, false},      {"a4", 210, 297, false},        {"a5", 148, 210, false},
    {"a6", 105, 148, false},      {"a7", 74, 105, false},         {"a8", 52, 74, false},
    {"b0", 1000, 1414, false},    {"b1", 707, 1000, false},       {"b2", 500, 707, false},
    {"b3", 353, 500, false},      {"b4", 250, 353, false},        {"b5", 176, 250, false},
    {"b6", 125, 176, false},      {"sra0", 900, 1280, false},     {"sra1", 640, 900, false},
    {"sra2", 450, 640, false},    {"sra3", 320, 450, false},      {"sra4", 225, 320, false},
    {"52x72cm", 520, 720, false}, {"70x100cm", 700, 1000, false}, {"letter", 8.5, 11, true},
    {"tabloid", 11, 17, true},    {"12x18in", 12, 18, true},
};

// "3 mm" with the value as short as it reads exactly enough.
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string mm(Fixed v) {
    return number(v * 25.4 / (72.0 * 65536.0)) + " mm";
}

int roundUpHalf(Fixed w) {
    return (3 * w + 1) / 2;
}

struct Need {
    Fixed w = 0, h = 0;
};

}  // namespace

Fixed parseLength(const std::string& text) {
    long double v;
    std::string unit;
    Fixed out = 0;
    if (!splitNumber(text, v, unit) || !toFixed(v, unit, out))
        throw LayoutError("\"" + text + "\" is no length (a number with mm, cm, in or pt)");
    return out;
}

void parseSize(const std::string& text, bool landscape, Fixed& w, Fixed& h) {
    std::string t = lower(text);
    for (const Named& n : kSizes)
        if (t == n.name) {
            Fixed a = n.inch ? fromInch(n.w) : fromMM(n.w);
            Fixed b = n.inch ? fromInch(n.h) : fromMM(n.h);
            w = landscape ? b : a;
            h = landscape ? a : b;
            return;
        }
    // W x H with one unit at the end or one after each number.
    std::size_t x = t.find('x');
    long double a, b;
    std::string ua, ub;
    if (x != std::string::npos && splitNumber(t.substr(0, x), a, ua) &&
        splitNumber(t.substr(x + 1), b, ub)) {
        if (ua.empty()) ua = ub;
        if (toFixed(a, ua, w) && toFixed(b, ub, h) && w > 0 && h > 0) return;
    }
    throw LayoutError("\"" + text +
                      "\" is no size: a name (A4, SRA3, B1, 52x72cm, 70x100cm, letter, "
                      "tabloid, 12x18in) or WxH with a unit (320x450mm)");
}

std::string formatLength(Fixed v, const std::string& unit) {
    double pt = v / 65536.0;
    if (unit == "pt") return number(pt) + " pt";
    if (unit == "in") return number(pt / 72.0) + " in";
    if (unit == "cm") return number(pt * 2.54 / 72.0) + " cm";
    return number(pt * 25.4 / 72.0) + " mm";
}

namespace {
const std::pair<const char*, Kind> kKinds[] = {{"booklet", Kind::Booklet},
                                               {"signature-8", Kind::Signature8},
                                               {"signature-16", Kind::Signature16},
                                               {"signature-32", Kind::Signature32},
                                               {"step", Kind::Step},
                                               {"work-and-turn", Kind::WorkAndTurn},
                                               {"work-and-tumble", Kind::WorkAndTumble}};
}  // namespace

Kind parseKind(const std::string& text) {
    for (const auto& [name, k] : kKinds)
        if (text == name) return k;
    throw LayoutError(
        "the layout is booklet, signature-8, signature-16, signature-32, step, "
        "work-and-turn or work-and-tumble, not \"" +
        text + "\"");
}

const char* kindName(Kind k) {
    for (const auto& [name, kind] : kKinds)
        if (kind == k) return name;
    return "";
}

Edge parseEdge(const std::string& text) {
    if (text == "bottom") return Edge::Bottom;
    if (text == "top") return Edge::Top;
    if (text == "left") return Edge::Left;
    if (text == "right") return Edge::Right;
    throw LayoutError("the gripper edge is top, bottom, left or right, not \"" + text + "\"");
}

fold::Sheet foldSheetOf(const std::vector<Frame>& front, const std::vector<Frame>& back, int cols,
                        int rows) {
    fold::Sheet s;
    s.cols = cols;
    s.rows = rows;
    s.front.assign(s.cells(), fold::Cell{});
    s.back = s.front;
    for (const Frame& f : front)
        if (f.col >= 0 && f.col < cols && f.row >= 0 && f.row < rows)
            s.at(false, f.col, f.row) = {f.box, f.rotation};
    for (const Frame& f : back)
        if (f.col >= 0 && f.col < cols && f.row >= 0 && f.row < rows)
            s.at(true, f.col, f.row) = {f.box, f.rotation};
    return s;
}

namespace {

// One way to lay the frames out: upright or turned, the grid, and for folding
// layouts the page numbers of both sides.
struct Try {
    bool turned;
    int cols, rows;
    fold::Sheet numbers;
    bool spineAcrossCols;  // spine pairs are columns (else rows)
};

// Plans one sheet: the printable area, the grid that fits, the frames and what lies
// around them.
class Planner {
  public:
    explicit Planner(const Request& r);
    Plan run();

  private:
    void cutPrintable();
    Fixed marksX(const Try& t) const {
        return r_.foldMarks && t.rows > 1 ? std::max(mx_, foldMarks_) : mx_;
    }
    Fixed marksY(const Try& t) const {
        return r_.foldMarks && t.cols > 1 ? std::max(my_, foldMarks_) : my_;
    }
    bool fits(const Try& t, Need& block) const;
    std::vector<Try> tries() const;
    Try gridTry(bool turned) const;
    const Try& choose(const std::vector<Try>& tries, Need& block) const;
    void placeBlock(const Try& t, const Need& block);
    void placeFrames(const Try& t);
    void placeSlug();

    const Request& r_;
    Plan p_;
    Fixed bleed_, gutter_;
    bool folding_;
    // How far the marks reach beyond the frames' bleed, beside (x) and above and below
    // (y) the block, and the fold marks' reach.
    Fixed mx_ = 0, my_ = 0, foldMarks_ = 0;
    // The moving mark's column beside the marks, on the left, and the slug line's band.
    const Fixed movingW_ = fromMM(3), movingH_ = fromMM(6);
    const Fixed slugH_ = 743085;    // 4 mm, as a new sheet's job-information frame
    const Fixed slugW_ = 18577134;  // 100 mm
    const Fixed slugGap_ = fromMM(2);
    Fixed slugNeed_, movingNeed_;
    // The halves of a sheet printed from one plate on both sides lie side by side
    // (else one above the other).
    bool splitCols_;
};

Planner::Planner(const Request& r)
    : r_(r),
      bleed_(r.bleed),
      gutter_(r.gutter < 0 ? 2 * r.bleed : r.gutter),
      folding_(r.kind == Kind::Booklet || r.kind == Kind::Signature8 ||
               r.kind == Kind::Signature16 || r.kind == Kind::Signature32),
      slugNeed_(r.slug ? slugH_ + slugGap_ : 0),
      movingNeed_(r.movingMark ? slugGap_ + movingW_ : 0) {
    if (r.sheetW <= 0 || r.sheetH <= 0) throw LayoutError("the sheet has no size");
    if (r.pageW <= 0 || r.pageH <= 0) throw LayoutError("the page has no size");
    if (r.bleed < 0 || r.gripper < 0 || r.gutter < -1)
        throw LayoutError("bleed, gripper and gutter are not negative");
    if (folding_ && (r.gridCols || r.gridRows))
        throw LayoutError("--grid is for step, work-and-turn and work-and-tumble layouts");
    p_.request = r;
    p_.sheetW = r.sheetW;
    p_.sheetH = r.sheetH;
    cutPrintable();

    // A line's white underlay is three times its width.
    const MarkStyle& ms = p_.marks;
    const Fixed lineMarks = ms.distance + ms.length + roundUpHalf(ms.width);
    if (r.cutMarks || r.centreMarks) mx_ = my_ = lineMarks;
    if (r.registrationMarks) mx_ = std::max(mx_, ms.distance + fromMM(5));
    // Fold marks lie one distance beyond the cut marks: above and below the block at a
    // fold between columns, left and right of it at a fold between rows.
    foldMarks_ = 2 * ms.distance + 2 * ms.length + roundUpHalf(ms.width);
    if (r.foldMarks && !folding_)
        throw LayoutError(std::string("fold marks are for booklet and signature layouts: a ") +
                          kindName(r.kind) + " sheet is cut apart, not folded");

    // The turning axis of a sheet printed from one plate on both sides: work-and-turn
    // turns it across the gripper edge, work-and-tumble along it.
    const bool gripperAcross = r.gripperEdge == Edge::Bottom || r.gripperEdge == Edge::Top;
    splitCols_ = (r.kind == Kind::WorkAndTurn) == gripperAcross;
}

// The printable area: the sheet less the gripper margin, on both edges for a sheet
// that is tumbled (its tail becomes the gripper edge of the back).
void Planner::cutPrintable() {
    p_.printable = {0, 0, r_.sheetW, r_.sheetH};
    auto cut = [&](Edge e) {
        if (e == Edge::Bottom) p_.printable.bottom += r_.gripper;
        if (e == Edge::Top) p_.printable.top -= r_.gripper;
        if (e == Edge::Left) p_.printable.left += r_.gripper;
        if (e == Edge::Right) p_.printable.right -= r_.gripper;
    };
    cut(r_.gripperEdge);
    if (r_.kind == Kind::WorkAndTumble) {
        static const Edge opposite[] = {Edge::Top, Edge::Bottom, Edge::Right, Edge::Left};
        cut(opposite[static_cast<int>(r_.gripperEdge)]);
    }
    if (p_.printable.width() <= 0 || p_.printable.height() <= 0)
        throw LayoutError("the gripper margin of " + mm(r_.gripper) + " leaves nothing of the " +
                          mm(r_.sheetW) + " x " + mm(r_.sheetH) + " sheet");
}

// Whether the frames of `t` with their bleed, gaps and marks fit the printable area;
// `block` gets the size of the frames with their bleed.
bool Planner::fits(const Try& t, Need& block) const {
    Fixed fw = t.turned ? r_.pageH : r_.pageW, fh = t.turned ? r_.pageW : r_.pageH;
    auto extent = [&](int count, Fixed size, bool spineHere) {
        Fixed total = count * size + 2 * bleed_;
        for (int i = 0; i + 1 < count; ++i) total += (spineHere && i % 2 == 0) ? 0 : gutter_;
        return total;
    };
    block.w = extent(t.cols, fw, folding_ && t.spineAcrossCols);
    block.h = extent(t.rows, fh, folding_ && !t.spineAcrossCols);
    return block.w + 2 * marksX(t) + 2 * movingNeed_ <= p_.printable.width() &&
           block.h + 2 * marksY(t) + 2 * slugNeed_ <= p_.printable.height();
}

// The layouts to try, the preferred first.
std::vector<Try> Planner::tries() const {
    std::vector<Try> tries;
    if (folding_) {
        int pc = r_.kind == Kind::Signature32 || r_.kind == Kind::Signature16 ? 4 : 2;
        int pr = r_.kind == Kind::Booklet ? 1 : r_.kind == Kind::Signature32 ? 4 : 2;
        tries.push_back({false, pc, pr, fold::numberedSheet(pc, pr, 'x'), true});
        tries.push_back({true, pr, pc, fold::numberedSheet(pr, pc, 'y'), false});
        return tries;
    }
    for (bool turned : {false, true}) {
        Try t = gridTry(turned);
        if (t.cols >= 1 && t.rows >= 1) tries.push_back(std::move(t));
    }
    // As many as fit: the orientation that holds more (upright when equal).
    if (!r_.gridCols || !r_.gridRows)
        std::stable_sort(tries.begin(), tries.end(), [&](const Try& a, const Try& b) {
            Need na, nb;
            int ca = fits(a, na) ? a.cols * a.rows : 0, cb = fits(b, nb) ? b.cols * b.rows : 0;
            return ca > cb;
        });
    return tries;
}

// The grid of a layout that is cut apart: as given, or as many as fit each way.
Try Planner::gridTry(bool turned) const {
    Fixed fw = turned ? r_.pageH : r_.pageW, fh = turned ? r_.pageW : r_.pageH;
    int cols = r_.gridCols, rows = r_.gridRows;
    if (!cols) {
        cols = 1;
        while ((cols + 1) * fw + cols * gutter_ + 2 * bleed_ + 2 * mx_ + 2 * movingNeed_ <=
               p_.printable.width())
            ++cols;
    }
    if (!rows) {
        rows = 1;
        while ((rows + 1) * fh + rows * gutter_ + 2 * bleed_ + 2 * my_ + 2 * slugNeed_ <=
               p_.printable.height())
            ++rows;
    }
    // Two halves at the least, even when one page is all that fits: the check that
    // follows then says what the halves need.
    if (r_.kind != Kind::Step && !r_.gridCols && splitCols_) cols = std::max(2, cols - cols % 2);
    if (r_.kind != Kind::Step && !r_.gridRows && !splitCols_) rows = std::max(2, rows - rows % 2);
    if (r_.kind != Kind::Step && ((splitCols_ && cols % 2) || (!splitCols_ && rows % 2)))
        throw LayoutError(std::string("a ") + kindName(r_.kind) + " sheet splits into two halves " +
                          (splitCols_ ? "left and right: --grid needs an even number of columns"
                                      : "top and bottom: --grid needs an even number of rows"));
    return {turned, cols, rows, {}, true};
}

// The first layout that fits; when none does, says what the first one needs.
const Try& Planner::choose(const std::vector<Try>& tries, Need& block) const {
    for (const Try& t : tries)
        if (fits(t, block)) return t;
    const Try& t = tries.front();
    Need n;
    fits(t, n);
    std::string what = std::to_string(t.cols) + " x " + std::to_string(t.rows) + " pages of " +
                       mm(r_.pageW) + " x " + mm(r_.pageH);
    std::string with = " with " + mm(bleed_) + " bleed";
    if (gutter_ && !(r_.kind == Kind::Booklet)) with += ", " + mm(gutter_) + " gutter";
    if (mx_ || my_ || r_.foldMarks || r_.movingMark) with += ", marks";
    if (r_.slug) with += " and the slug line";
    Need need{n.w + 2 * marksX(t) + 2 * movingNeed_, n.h + 2 * marksY(t) + 2 * slugNeed_};
    throw LayoutError("the pages do not fit the sheet: " + what + with + " need " + mm(need.w) +
                      " x " + mm(need.h) + " (or turned, " + mm(need.h) + " x " + mm(need.w) +
                      "); the " + mm(r_.sheetW) + " x " + mm(r_.sheetH) + " sheet less " +
                      mm(r_.gripper) + " gripper leaves " + mm(p_.printable.width()) + " x " +
                      mm(p_.printable.height()));
}

// The grid, the block centred on the printable area (halvings truncate toward zero, as
// the plug-in's), its marks and the moving mark beside them.
void Planner::placeBlock(const Try& t, const Need& block) {
    p_.turned = t.turned;
    p_.cols = t.cols;
    p_.rows = t.rows;
    p_.frameW = t.turned ? r_.pageH : r_.pageW;
    p_.frameH = t.turned ? r_.pageW : r_.pageH;
    p_.gapW = (folding_ && t.spineAcrossCols && t.cols <= 2) ? 0 : gutter_;
    p_.gapH = (folding_ && !t.spineAcrossCols && t.rows <= 2) ? 0 : gutter_;

    p_.block.left = p_.printable.left + (p_.printable.width() - block.w) / 2;
    p_.block.bottom = p_.printable.bottom + (p_.printable.height() - block.h) / 2;
    p_.block.right = p_.block.left + block.w;
    p_.block.top = p_.block.bottom + block.h;
    const Fixed ax = marksX(t), ay = marksY(t);
    p_.envelope = {p_.block.left - ax, p_.block.bottom - ay, p_.block.right + ax,
                   p_.block.top + ay};
    p_.movingMark = r_.movingMark;
    if (r_.movingMark) {
        Fixed left = p_.envelope.left - slugGap_ - movingW_;
        p_.movingRect = {left, p_.block.bottom, left + movingW_,
                         p_.block.bottom + std::min(movingH_, block.h)};
        p_.movingLimit = p_.block.top;
    }
}

// The frames of both sides with their page numbers, turns and bleed, and the groups
// whose bleed is shared.
void Planner::placeFrames(const Try& t) {
    // Trim positions column by column and row by row.
    std::vector<Fixed> xs, ys;
    Fixed x = p_.block.left + bleed_;
    for (int c = 0; c < p_.cols; ++c) {
        xs.push_back(x);
        bool spine = folding_ && t.spineAcrossCols && c % 2 == 0;
        x += p_.frameW + (spine ? 0 : gutter_);
    }
    Fixed y = p_.block.bottom + bleed_;
    for (int row = 0; row < p_.rows; ++row) {
        ys.push_back(y);
        bool spine = folding_ && !t.spineAcrossCols && row % 2 == 0;
        y += p_.frameH + (spine ? 0 : gutter_);
    }

    const int base = t.turned ? 90 : 0;
    std::vector<Frame> front, back;
    for (int row = 0; row < p_.rows; ++row)
        for (int c = 0; c < p_.cols; ++c) {
            Frame f;
            f.col = c;
            f.row = row;
            f.trim = {xs[static_cast<std::size_t>(c)], ys[static_cast<std::size_t>(row)],
                      xs[static_cast<std::size_t>(c)] + p_.frameW,
                      ys[static_cast<std::size_t>(row)] + p_.frameH};
            f.bleedLeft = f.bleedRight = f.bleedBottom = f.bleedTop = bleed_;
            if (folding_) {
                // No bleed at the spine: the two pages of a spread meet there.
                if (t.spineAcrossCols)
                    (c % 2 == 0 ? f.bleedRight : f.bleedLeft) = 0;
                else
                    (row % 2 == 0 ? f.bleedTop : f.bleedBottom) = 0;
                Frame b = f;
                const fold::Cell& fc = t.numbers.at(false, c, row);
                const fold::Cell& bc = t.numbers.at(true, c, row);
                f.box = fc.page;
                f.rotation = fc.rotation;
                b.box = bc.page;
                b.rotation = bc.rotation;
                front.push_back(f);
                back.push_back(b);
            } else {
                f.box = 1;
                f.rotation = base;
                if (r_.kind != Kind::Step) {
                    bool second = splitCols_ ? c >= p_.cols / 2 : row >= p_.rows / 2;
                    if (second) {
                        f.box = 2;
                        // The reader turns a piece over along the page's height: a
                        // sheet turned across it shows the back upside down unless the
                        // back is placed head to head.
                        bool acrossHeight = splitCols_ == t.turned;
                        if (!acrossHeight) f.rotation = (f.rotation + 180) % 360;
                    }
                }
                front.push_back(f);
            }
        }
    p_.sheets.push_back(front);
    if (folding_) {
        p_.sheets.push_back(back);
        p_.bleedAllSides = false;
        for (int row = 0; row < p_.rows; ++row)
            for (int c = 0; c < p_.cols; ++c) {
                bool first = t.spineAcrossCols ? c % 2 == 0 : row % 2 == 0;
                if (!first) continue;
                int a = row * p_.cols + c;
                int b = t.spineAcrossCols ? a + 1 : a + p_.cols;
                p_.bleedGroups.push_back({a, b});
            }
        return;
    }
    if (r_.kind != Kind::Step) {
        p_.sheets.push_back(front);
        p_.backSamePlate = true;
    }
    std::vector<int> all(front.size());
    std::iota(all.begin(), all.end(), 0);
    p_.bleedGroups.push_back(std::move(all));
}

// The slug line: outside the marks, on the side away from the gripper.
void Planner::placeSlug() {
    p_.slug = r_.slug;
    if (!r_.slug) return;
    bool above = r_.gripperEdge == Edge::Bottom;
    Fixed bottom = above ? p_.envelope.top + slugGap_ : p_.envelope.bottom - slugGap_ - slugH_;
    p_.slugRect = {p_.block.left, bottom, p_.block.left + slugW_, bottom + slugH_};
}

Plan Planner::run() {
    std::vector<Try> all = tries();
    Need block;
    const Try& t = choose(all, block);
    placeBlock(t, block);
    placeFrames(t);
    placeSlug();
    return std::move(p_);
}

}  // namespace

Plan plan(const Request& r) {
    return Planner(r).run();
}

}  // namespace vexa::host::layout
