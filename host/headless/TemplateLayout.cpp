#include "headless/TemplateLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    s.front.assign(static_cast<std::size_t>(cols * rows), fold::Cell{});
    s.back = s.front;
    for (const Frame& f : front)
        if (f.col >= 0 && f.col < cols && f.row >= 0 && f.row < rows)
            s.at(false, f.col, f.row) = {f.box, f.rotation};
    for (const Frame& f : back)
        if (f.col >= 0 && f.col < cols && f.row >= 0 && f.row < rows)
            s.at(true, f.col, f.row) = {f.box, f.rotation};
    return s;
}

Plan plan(const Request& r) {
    if (r.sheetW <= 0 || r.sheetH <= 0) throw LayoutError("the sheet has no size");
    if (r.pageW <= 0 || r.pageH <= 0) throw LayoutError("the page has no size");
    if (r.bleed < 0 || r.gripper < 0 || r.gutter < -1)
        throw LayoutError("bleed, gripper and gutter are not negative");
    Plan p;
    p.request = r;
    p.sheetW = r.sheetW;
    p.sheetH = r.sheetH;
    const Fixed bleed = r.bleed;
    const Fixed gutter = r.gutter < 0 ? 2 * bleed : r.gutter;
    const bool folding = r.kind == Kind::Booklet || r.kind == Kind::Signature8 ||
                         r.kind == Kind::Signature16 || r.kind == Kind::Signature32;
    if (folding && (r.gridCols || r.gridRows))
        throw LayoutError("--grid is for step, work-and-turn and work-and-tumble layouts");

    // The printable area: the sheet less the gripper margin, on both edges for a sheet
    // that is tumbled (its tail becomes the gripper edge of the back).
    p.printable = {0, 0, r.sheetW, r.sheetH};
    auto cut = [&](Edge e) {
        if (e == Edge::Bottom) p.printable.bottom += r.gripper;
        if (e == Edge::Top) p.printable.top -= r.gripper;
        if (e == Edge::Left) p.printable.left += r.gripper;
        if (e == Edge::Right) p.printable.right -= r.gripper;
    };
    cut(r.gripperEdge);
    if (r.kind == Kind::WorkAndTumble) {
        static const Edge opposite[] = {Edge::Top, Edge::Bottom, Edge::Right, Edge::Left};
        cut(opposite[static_cast<int>(r.gripperEdge)]);
    }
    if (p.printable.width() <= 0 || p.printable.height() <= 0)
        throw LayoutError("the gripper margin of " + mm(r.gripper) + " leaves nothing of the " +
                          mm(r.sheetW) + " x " + mm(r.sheetH) + " sheet");

    // How far the marks reach beyond the frames' bleed (a line's white underlay is three
    // times its width), and the slug line's band.
    const MarkStyle& ms = p.marks;
    const Fixed lineMarks = ms.distance + ms.length + roundUpHalf(ms.width);
    Fixed mx = 0, my = 0;
    if (r.cutMarks || r.centreMarks) mx = my = lineMarks;
    if (r.registrationMarks) mx = std::max(mx, ms.distance + fromMM(5));
    // Fold marks lie one distance beyond the cut marks: above and below the block at a
    // fold between columns, left and right of it at a fold between rows.
    const Fixed foldMarks = 2 * ms.distance + 2 * ms.length + roundUpHalf(ms.width);
    if (r.foldMarks && !folding)
        throw LayoutError(std::string("fold marks are for booklet and signature layouts: a ") +
                          kindName(r.kind) + " sheet is cut apart, not folded");
    // The moving mark's column beside the marks, on the left.
    const Fixed movingW = fromMM(3), movingH = fromMM(6);
    const Fixed slugH = 743085;    // 4 mm, as a new sheet's job-information frame
    const Fixed slugW = 18577134;  // 100 mm
    const Fixed slugGap = fromMM(2);
    const Fixed slugNeed = r.slug ? slugH + slugGap : 0;
    const Fixed movingNeed = r.movingMark ? slugGap + movingW : 0;

    // The turning axis of a sheet printed from one plate on both sides: work-and-turn
    // turns it across the gripper edge, work-and-tumble along it.
    const bool gripperAcross = r.gripperEdge == Edge::Bottom || r.gripperEdge == Edge::Top;
    const bool splitCols = (r.kind == Kind::WorkAndTurn) == gripperAcross;

    struct Try {
        bool turned;
        int cols, rows;
        fold::Sheet numbers;
        bool spineAcrossCols;  // spine pairs are columns (else rows)
    };
    // The marks' reach beside (x) and above and below (y) the block.
    auto marksX = [&](const Try& t) {
        return r.foldMarks && t.rows > 1 ? std::max(mx, foldMarks) : mx;
    };
    auto marksY = [&](const Try& t) {
        return r.foldMarks && t.cols > 1 ? std::max(my, foldMarks) : my;
    };
    auto blockSize = [&](const Try& t, Fixed fw, Fixed fh, Need& n) {
        auto extent = [&](int count, Fixed size, bool spineHere) {
            Fixed total = count * size + 2 * bleed;
            for (int i = 0; i + 1 < count; ++i) total += (spineHere && i % 2 == 0) ? 0 : gutter;
            return total;
        };
        n.w = extent(t.cols, fw, folding && t.spineAcrossCols);
        n.h = extent(t.rows, fh, folding && !t.spineAcrossCols);
    };
    auto fits = [&](const Try& t, Need& block) {
        Fixed fw = t.turned ? r.pageH : r.pageW, fh = t.turned ? r.pageW : r.pageH;
        blockSize(t, fw, fh, block);
        return block.w + 2 * marksX(t) + 2 * movingNeed <= p.printable.width() &&
               block.h + 2 * marksY(t) + 2 * slugNeed <= p.printable.height();
    };

    std::vector<Try> tries;
    if (folding) {
        int pc = r.kind == Kind::Booklet       ? 2
                 : r.kind == Kind::Signature32 ? 4
                 : r.kind == Kind::Signature16 ? 4
                                               : 2;
        int pr = r.kind == Kind::Booklet       ? 1
                 : r.kind == Kind::Signature32 ? 4
                 : r.kind == Kind::Signature16 ? 2
                                               : 2;
        tries.push_back({false, pc, pr, fold::numberedSheet(pc, pr, 'x'), true});
        tries.push_back({true, pr, pc, fold::numberedSheet(pr, pc, 'y'), false});
    } else {
        for (bool turned : {false, true}) {
            Fixed fw = turned ? r.pageH : r.pageW, fh = turned ? r.pageW : r.pageH;
            int cols = r.gridCols, rows = r.gridRows;
            if (!cols) {
                cols = 1;
                while ((cols + 1) * fw + cols * gutter + 2 * bleed + 2 * mx + 2 * movingNeed <=
                       p.printable.width())
                    ++cols;
            }
            if (!rows) {
                rows = 1;
                while ((rows + 1) * fh + rows * gutter + 2 * bleed + 2 * my + 2 * slugNeed <=
                       p.printable.height())
                    ++rows;
            }
            if (r.kind != Kind::Step && !r.gridCols && splitCols) cols -= cols % 2;
            if (r.kind != Kind::Step && !r.gridRows && !splitCols) rows -= rows % 2;
            if (r.kind != Kind::Step && ((splitCols && cols % 2) || (!splitCols && rows % 2)))
                throw LayoutError(
                    std::string("a ") + kindName(r.kind) + " sheet splits into two halves " +
                    (splitCols ? "left and right: --grid needs an even number of columns"
                               : "top and bottom: --grid needs an even number of rows"));
            if (cols >= 1 && rows >= 1) tries.push_back({turned, cols, rows, {}, true});
        }
        // As many as fit: the orientation that holds more (upright when equal).
        if (!r.gridCols || !r.gridRows)
            std::stable_sort(tries.begin(), tries.end(), [&](const Try& a, const Try& b) {
                Need na, nb;
                int ca = fits(a, na) ? a.cols * a.rows : 0, cb = fits(b, nb) ? b.cols * b.rows : 0;
                return ca > cb;
            });
    }

    const Try* chosen = nullptr;
    Need block;
    for (const Try& t : tries)
        if (fits(t, block)) {
            chosen = &t;
            break;
        }
    if (!chosen) {
        const Try& t = tries.front();
        Need n;
        fits(t, n);
        std::string what = std::to_string(t.cols) + " x " + std::to_string(t.rows) + " pages of " +
                           mm(r.pageW) + " x " + mm(r.pageH);
        std::string with = " with " + mm(bleed) + " bleed";
        if (gutter && !(r.kind == Kind::Booklet)) with += ", " + mm(gutter) + " gutter";
        if (mx || my || r.foldMarks || r.movingMark) with += ", marks";
        if (r.slug) with += " and the slug line";
        Need need{n.w + 2 * marksX(t) + 2 * movingNeed, n.h + 2 * marksY(t) + 2 * slugNeed};
        throw LayoutError("the pages do not fit the sheet: " + what + with + " need " + mm(need.w) +
                          " x " + mm(need.h) + " (or turned, " + mm(need.h) + " x " + mm(need.w) +
                          "); the " + mm(r.sheetW) + " x " + mm(r.sheetH) + " sheet less " +
                          mm(r.gripper) + " gripper leaves " + mm(p.printable.width()) + " x " +
                          mm(p.printable.height()));
    }

    const Try& t = *chosen;
    p.turned = t.turned;
    p.cols = t.cols;
    p.rows = t.rows;
    p.frameW = t.turned ? r.pageH : r.pageW;
    p.frameH = t.turned ? r.pageW : r.pageH;
    p.gapW = (folding && t.spineAcrossCols && t.cols <= 2) ? 0 : gutter;
    p.gapH = (folding && !t.spineAcrossCols && t.rows <= 2) ? 0 : gutter;

    // Centred on the printable area (halvings truncate toward zero, as the plug-in's).
    p.block.left = p.printable.left + (p.printable.width() - block.w) / 2;
    p.block.bottom = p.printable.bottom + (p.printable.height() - block.h) / 2;
    p.block.right = p.block.left + block.w;
    p.block.top = p.block.bottom + block.h;
    const Fixed ax = marksX(t), ay = marksY(t);
    p.envelope = {p.block.left - ax, p.block.bottom - ay, p.block.right + ax, p.block.top + ay};
    p.movingMark = r.movingMark;
    if (r.movingMark) {
        Fixed left = p.envelope.left - slugGap - movingW;
        p.movingRect = {left, p.block.bottom, left + movingW,
                        p.block.bottom + std::min(movingH, block.h)};
        p.movingLimit = p.block.top;
    }

    // Trim positions column by column and row by row.
    std::vector<Fixed> xs, ys;
    Fixed x = p.block.left + bleed;
    for (int c = 0; c < p.cols; ++c) {
        xs.push_back(x);
        bool spine = folding && t.spineAcrossCols && c % 2 == 0;
        x += p.frameW + (spine ? 0 : gutter);
    }
    Fixed y = p.block.bottom + bleed;
    for (int row = 0; row < p.rows; ++row) {
        ys.push_back(y);
        bool spine = folding && !t.spineAcrossCols && row % 2 == 0;
        y += p.frameH + (spine ? 0 : gutter);
    }

    const int base = t.turned ? 90 : 0;
    std::vector<Frame> front, back;
    for (int row = 0; row < p.rows; ++row)
        for (int c = 0; c < p.cols; ++c) {
            Frame f;
            f.col = c;
            f.row = row;
            f.trim = {xs[static_cast<std::size_t>(c)], ys[static_cast<std::size_t>(row)],
                      xs[static_cast<std::size_t>(c)] + p.frameW,
                      ys[static_cast<std::size_t>(row)] + p.frameH};
            f.bleedLeft = f.bleedRight = f.bleedBottom = f.bleedTop = bleed;
            if (folding) {
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
                if (r.kind != Kind::Step) {
                    bool second = splitCols ? c >= p.cols / 2 : row >= p.rows / 2;
                    if (second) {
                        f.box = 2;
                        // The reader turns a piece over along the page's height: a
                        // sheet turned across it shows the back upside down unless the
                        // back is placed head to head.
                        bool acrossHeight = splitCols == t.turned;
                        if (!acrossHeight) f.rotation = (f.rotation + 180) % 360;
                    }
                }
                front.push_back(f);
            }
        }
    p.sheets.push_back(front);
    if (folding) {
        p.sheets.push_back(back);
        p.bleedAllSides = false;
        for (int row = 0; row < p.rows; ++row)
            for (int c = 0; c < p.cols; ++c) {
                bool first = t.spineAcrossCols ? c % 2 == 0 : row % 2 == 0;
                if (!first) continue;
                int a = row * p.cols + c;
                int b = t.spineAcrossCols ? a + 1 : a + p.cols;
                p.bleedGroups.push_back({a, b});
            }
    } else {
        if (r.kind != Kind::Step) {
            p.sheets.push_back(front);
            p.backSamePlate = true;
        }
        std::vector<int> all;
        for (int i = 0; i < static_cast<int>(front.size()); ++i) all.push_back(i);
        p.bleedGroups.push_back(all);
    }

    p.slug = r.slug;
    if (r.slug) {
        // Outside the marks, on the side away from the gripper.
        bool above = r.gripperEdge == Edge::Bottom;
        Fixed bottom = above ? p.envelope.top + slugGap : p.envelope.bottom - slugGap - slugH;
        p.slugRect = {p.block.left, bottom, p.block.left + slugW, bottom + slugH};
    }
    return p;
}

}  // namespace vexa::host::layout
