#include "headless/TemplateFold.h"

#include <algorithm>
#include <array>

namespace vexa::host::fold {
namespace {

struct Vec {
    int x = 0, y = 0;
    bool operator==(const Vec& o) const { return x == o.x && y == o.y; }
};

// A 2 x 2 integer matrix (turns and mirrors of the plane).
struct Mat {
    int a = 1, b = 0, c = 0, d = 1;  // [a b; c d]
    Vec operator*(Vec v) const { return {a * v.x + b * v.y, c * v.x + d * v.y}; }
    Mat operator*(const Mat& o) const {
        return {a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c, c * o.b + d * o.d};
    }
    // Every matrix used here is orthogonal: its inverse is its transpose.
    Mat inverse() const { return {a, c, b, d}; }
};

constexpr Mat kMirrorX{-1, 0, 0, 1};  // x -> -x
constexpr Mat kMirrorY{1, 0, 0, -1};
constexpr Mat kTurn90{0, -1, 1, 0};  // counter-clockwise

Mat turn(int quarterTurns) {
    Mat m;
    for (int i = 0; i < ((quarterTurns % 4) + 4) % 4; ++i) m = kTurn90 * m;
    return m;
}

// The direction of a page's head for its rotation.
Vec headOf(int rotation) {
    switch (((rotation % 360) + 360) % 360) {
        case 90:
            return {-1, 0};
        case 180:
            return {0, -1};
        case 270:
            return {1, 0};
        default:
            return {0, 1};
    }
}

int rotationOf(Vec head) {
    if (head == Vec{-1, 0}) return 90;
    if (head == Vec{0, -1}) return 180;
    if (head == Vec{1, 0}) return 270;
    return 0;
}

// One cell of the sheet while it is folded.
struct Piece {
    int col = 0, row = 0;  // on the flat sheet (front side)
    int x = 0, y = 0, z = 0;
    bool flipped = false;  // the back faces up
    Mat t;                 // the flat sheet's directions as they now lie
};

struct Folded {
    std::vector<Piece> pieces;  // all at (0, 0), z from 0 (bottom) up
    Vec spine;                  // the edge of the last fold
};

Folded foldSheet(int cols, int rows, const std::vector<Fold>& plan) {
    Folded f;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) f.pieces.push_back(Piece{c, r, c, r, 0, false, Mat{}});
    int w = cols, h = rows, layers = 1;
    for (const Fold& step : plan) {
        bool alongX = step.axis == 'x';
        int size = alongX ? w : h;
        int half = size / 2;
        for (Piece& p : f.pieces) {
            int& pos = alongX ? p.x : p.y;
            bool moves = step.moveHigh ? pos >= half : pos < half;
            if (moves) {
                pos = size - 1 - pos;
                p.flipped = !p.flipped;
                p.t = (alongX ? kMirrorX : kMirrorY) * p.t;
                p.z = step.over ? 2 * layers - 1 - p.z : layers - 1 - p.z;
            } else if (!step.over) {
                p.z += layers;
            }
            if (!step.moveHigh) pos -= half;
        }
        (alongX ? w : h) = half;
        layers *= 2;
        f.spine = alongX ? Vec{step.moveHigh ? 1 : -1, 0} : Vec{0, step.moveHigh ? 1 : -1};
    }
    std::sort(f.pieces.begin(), f.pieces.end(),
              [](const Piece& a, const Piece& b) { return a.z < b.z; });
    return f;
}

// A face the reader meets: which side of which piece, and where its head points on
// the table.
struct Face {
    const Piece* piece;
    bool backSide;
};

// The turn that brings the spine to the reader's left.
Mat readerTurn(Vec spine) {
    for (int q = 0; q < 4; ++q)
        if (turn(q) * spine == Vec{-1, 0}) return turn(q);
    return Mat{};
}

// The faces in reading order for a reader looking from above (fromBelow false) or at
// the stack turned over, and the reader's view of the table (turn, mirror).
std::vector<Face> facesInOrder(const Folded& f, bool fromBelow) {
    std::vector<Face> out;
    auto add = [&](const Piece& p, bool upper) {
        // The upper face of a piece is its front unless it lies flipped.
        bool back = upper == p.flipped;
        out.push_back({&p, back});
    };
    if (!fromBelow) {
        for (auto it = f.pieces.rbegin(); it != f.pieces.rend(); ++it) {
            add(*it, true);
            add(*it, false);
        }
    } else {
        for (const Piece& p : f.pieces) {
            add(p, false);
            add(p, true);
        }
    }
    return out;
}

Mat viewOf(const Folded& f, bool fromBelow) {
    Mat mirror = fromBelow ? kMirrorX : Mat{};
    return readerTurn(mirror * f.spine) * mirror;
}

// Where a face's head points on the table: the front's head as the sheet now lies;
// the back's head seen through the sheet from the front, then the same.
Vec headOnTable(const Face& face, const Sheet& s) {
    const Piece& p = *face.piece;
    if (!face.backSide) return p.t * headOf(s.at(false, p.col, p.row).rotation);
    Vec h = headOf(s.at(true, s.cols - 1 - p.col, p.row).rotation);
    return p.t * (kMirrorX * h);
}

int pageOf(const Face& face, const Sheet& s) {
    const Piece& p = *face.piece;
    return face.backSide ? s.at(true, s.cols - 1 - p.col, p.row).page
                         : s.at(false, p.col, p.row).page;
}

Reading readView(const Sheet& s, const Folded& f, bool fromBelow, const std::vector<Fold>& plan) {
    Reading r;
    r.plan = plan;
    Mat view = viewOf(f, fromBelow);
    bool inOrder = true;
    for (const Face& face : facesInOrder(f, fromBelow)) {
        int page = pageOf(face, s);
        r.pages.push_back(page);
        if (page != static_cast<int>(r.pages.size())) inOrder = false;
        if (!(view * headOnTable(face, s) == Vec{0, 1})) r.notUpright.push_back(page);
    }
    r.correct = inOrder && r.notUpright.empty();
    return r;
}

bool powerOfTwo(int n) {
    return n >= 1 && (n & (n - 1)) == 0;
}
int log2of(int n) {
    int k = 0;
    while ((1 << k) < n) ++k;
    return k;
}

// Every order of the fold axes that ends with the spine's axis.
std::vector<std::vector<char>> axisOrders(int xs, int ys, char spine) {
    std::vector<std::vector<char>> out;
    std::vector<char> seq(static_cast<std::size_t>(xs), 'x');
    seq.insert(seq.end(), static_cast<std::size_t>(ys), 'y');
    std::sort(seq.begin(), seq.end());
    do {
        if (!seq.empty() && seq.back() == spine) out.push_back(seq);
    } while (std::next_permutation(seq.begin(), seq.end()));
    // Right-angle folds first: the orders that alternate most come first.
    auto turns = [](const std::vector<char>& s) {
        int n = 0;
        for (std::size_t i = 1; i < s.size(); ++i) n += s[i] != s[i - 1];
        return n;
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const auto& a, const auto& b) { return turns(a) > turns(b); });
    return out;
}

// Calls fn(plan) for every direction of every fold of the axis order.
template <class Fn>
bool eachPlan(const std::vector<char>& axes, Fn fn) {
    std::size_t n = axes.size();
    for (unsigned bits = 0; bits < (1u << (2 * n)); ++bits) {
        std::vector<Fold> plan;
        for (std::size_t i = 0; i < n; ++i)
            plan.push_back(
                Fold{axes[i], ((bits >> (2 * i)) & 1) == 0, ((bits >> (2 * i + 1)) & 1) != 0});
        if (fn(plan)) return true;
    }
    return false;
}

}  // namespace

std::string Reading::describe() const {
    std::string s;
    for (const Fold& f : plan) {
        if (!s.empty()) s += ", ";
        const char* half =
            f.axis == 'x' ? (f.moveHigh ? "right" : "left") : (f.moveHigh ? "top" : "bottom");
        s += std::string(half) + " half " + (f.over ? "over" : "under");
    }
    return s;
}

Reading readFolded(const Sheet& sheet, const std::vector<Fold>& plan) {
    Folded f = foldSheet(sheet.cols, sheet.rows, plan);
    Reading top = readView(sheet, f, false, plan);
    if (top.correct) return top;
    Reading below = readView(sheet, f, true, plan);
    if (below.correct) return below;
    // The view in which the reader meets the lower page numbers first.
    return (!below.pages.empty() && !top.pages.empty() && below.pages[0] == 1 && top.pages[0] != 1)
               ? below
               : top;
}

Reading checkFolds(const Sheet& sheet) {
    if (!powerOfTwo(sheet.cols) || !powerOfTwo(sheet.rows) || sheet.cols * sheet.rows < 2)
        return {};
    bool vertical = true, horizontal = true;
    for (const auto* side : {&sheet.front, &sheet.back})
        for (const Cell& c : *side) {
            int r = ((c.rotation % 360) + 360) % 360;
            vertical = vertical && (r == 0 || r == 180);
            horizontal = horizontal && (r == 90 || r == 270);
        }
    if (!vertical && !horizontal) return {};
    char spine = vertical ? 'x' : 'y';
    int xs = log2of(sheet.cols), ys = log2of(sheet.rows);
    if ((spine == 'x' ? xs : ys) == 0) return {};
    Reading best;
    int bestScore = -1;
    auto score = [](const Reading& r) {
        int n = 0;
        for (std::size_t i = 0; i < r.pages.size(); ++i) n += r.pages[i] == static_cast<int>(i + 1);
        return 2 * n - static_cast<int>(r.notUpright.size());
    };
    for (const auto& axes : axisOrders(xs, ys, spine)) {
        bool done = eachPlan(axes, [&](const std::vector<Fold>& plan) {
            Reading r = readFolded(sheet, plan);
            int s = r.correct ? 1 << 20 : score(r);
            if (s > bestScore) {
                bestScore = s;
                best = r;
            }
            return r.correct;
        });
        if (done) break;
    }
    return best;
}

Sheet numberedSheet(int cols, int rows, char spine) {
    Sheet best;
    int bestScore = -1;
    const int upright = spine == 'x' ? 0 : 90;
    std::vector<char> axes = axisOrders(log2of(cols), log2of(rows), spine).front();
    eachPlan(axes, [&](const std::vector<Fold>& plan) {
        Folded f = foldSheet(cols, rows, plan);
        for (bool fromBelow : {false, true}) {
            Sheet s;
            s.cols = cols;
            s.rows = rows;
            s.front.assign(s.cells(), Cell{});
            s.back = s.front;
            Mat view = viewOf(f, fromBelow);
            int page = 0;
            for (const Face& face : facesInOrder(f, fromBelow)) {
                const Piece& p = *face.piece;
                // The head that the reader sees upright, back on the flat sheet.
                Vec table = view.inverse() * Vec{0, 1};
                Vec flat = p.t.inverse() * table;
                Cell& c =
                    face.backSide ? s.at(true, cols - 1 - p.col, p.row) : s.at(false, p.col, p.row);
                c.page = ++page;
                c.rotation = rotationOf(face.backSide ? kMirrorX * flat : flat);
            }
            // The usual sheet: page 1 upright on the front, at the bottom right.
            int score = -1;
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) {
                    const Cell& cell = s.at(false, c, r);
                    if (cell.page == 1 && cell.rotation == upright)
                        score = c * rows + (rows - 1 - r);
                }
            if (score > bestScore) {
                bestScore = score;
                best = s;
            }
        }
        return false;
    });
    return best;
}

}  // namespace vexa::host::fold
