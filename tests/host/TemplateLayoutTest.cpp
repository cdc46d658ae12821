// Template layouts as "vexa template new" plans them, and the fold check.
#include <gtest/gtest.h>

#include <cmath>

#include "headless/TemplateFold.h"
#include "headless/TemplateLayout.h"

using namespace vexa::host;
using layout::Fixed;

namespace {

Fixed mm(double v) {
    return static_cast<Fixed>(std::trunc(v * 72.0 * 65536.0 / 25.4));
}

layout::Request request(const char* sheet, const char* page, layout::Kind kind) {
    layout::Request r;
    layout::parseSize(sheet, true, r.sheetW, r.sheetH);
    layout::parseSize(page, false, r.pageW, r.pageH);
    r.kind = kind;
    r.bleed = mm(3);
    r.gripper = mm(10);
    r.slug = true;
    return r;
}

std::vector<int> oneTo(int n) {
    std::vector<int> v;
    for (int i = 1; i <= n; ++i) v.push_back(i);
    return v;
}

}  // namespace

TEST(TemplateFold, EveryNumberedSheetReadsOneToN) {
    const int dims[][2] = {{2, 1}, {2, 2}, {4, 2}, {4, 4}, {8, 2}, {2, 4}};
    for (auto [c, r] : dims)
        for (char spine : {'x', 'y'}) {
            if ((spine == 'x' ? c : r) < 2) continue;
            SCOPED_TRACE(std::to_string(c) + "x" + std::to_string(r) + " " + spine);
            fold::Sheet s = fold::numberedSheet(c, r, spine);
            fold::Reading read = fold::checkFolds(s);
            EXPECT_TRUE(read.correct) << read.describe();
            EXPECT_EQ(read.pages, oneTo(2 * c * r));
        }
}

TEST(TemplateFold, SixteenPageSignatureAsPrintersLayItOut) {
    // front: bottom row 4 13 16 1, top row 5 12 9 8 on their heads; back likewise
    fold::Sheet s;
    s.cols = 4;
    s.rows = 2;
    s.front.resize(8);
    s.back.resize(8);
    const int front[2][4] = {{4, 13, 16, 1}, {5, 12, 9, 8}};
    const int back[2][4] = {{2, 15, 14, 3}, {7, 10, 11, 6}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            s.at(false, c, r) = {front[r][c], r ? 180 : 0};
            s.at(true, c, r) = {back[r][c], r ? 180 : 0};
        }
    EXPECT_TRUE(fold::checkFolds(s).correct);
    // the generator lays out the same sheet
    fold::Sheet g = fold::numberedSheet(4, 2, 'x');
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(g.at(false, c, r).page, front[r][c]);
            EXPECT_EQ(g.at(true, c, r).page, back[r][c]);
            EXPECT_EQ(g.at(false, c, r).rotation, r ? 180 : 0);
        }

    // One page upright among the turned ones, and two pages swapped: both found.
    fold::Sheet turned = s;
    turned.at(false, 0, 1).rotation = 0;
    fold::Reading t = fold::checkFolds(turned);
    EXPECT_FALSE(t.correct);
    EXPECT_EQ(t.notUpright, std::vector<int>{5});
    fold::Sheet swapped = s;
    std::swap(swapped.at(false, 0, 0).page, swapped.at(false, 1, 0).page);
    fold::Reading w = fold::checkFolds(swapped);
    EXPECT_FALSE(w.correct);
    EXPECT_NE(w.pages, oneTo(16));
}

TEST(TemplateFold, GridsThatDoNotFoldAreRefused) {
    fold::Sheet s;
    s.cols = 3;
    s.rows = 1;
    s.front.assign(3, {1, 0});
    s.back = s.front;
    EXPECT_TRUE(fold::checkFolds(s).pages.empty());
    fold::Sheet mixed = fold::numberedSheet(2, 2, 'x');
    mixed.at(false, 0, 0).rotation = 90;
    EXPECT_TRUE(fold::checkFolds(mixed).pages.empty());
}

TEST(TemplateLayout, SizesAndLengths) {
    Fixed w, h;
    layout::parseSize("SRA3", true, w, h);
    EXPECT_EQ(w, mm(450));
    EXPECT_EQ(h, mm(320));
    layout::parseSize("A5", false, w, h);
    EXPECT_EQ(w, mm(148));
    EXPECT_EQ(h, mm(210));
    layout::parseSize("letter", false, w, h);
    EXPECT_EQ(w, 612 * 65536);
    EXPECT_EQ(h, 792 * 65536);
    layout::parseSize("12x18in", true, w, h);
    EXPECT_EQ(w, 18 * 72 * 65536);
    layout::parseSize("320x450mm", true, w, h);  // as written
    EXPECT_EQ(w, mm(320));
    layout::parseSize("52x72cm", true, w, h);
    EXPECT_EQ(w, mm(720));
    layout::parseSize("3.5x2in", false, w, h);
    EXPECT_EQ(w, 252 * 65536);
    EXPECT_EQ(layout::parseLength("3mm"), 557314);
    EXPECT_EQ(layout::parseLength("3"), 557314);
    EXPECT_EQ(layout::parseLength("0.125in"), 9 * 65536);
    EXPECT_EQ(layout::parseLength("9pt"), 9 * 65536);
    EXPECT_THROW(layout::parseLength("3 furlongs"), layout::LayoutError);
    EXPECT_THROW(layout::parseSize("A4x", false, w, h), layout::LayoutError);
    EXPECT_THROW(layout::parseKind("quire"), layout::LayoutError);
}

// Trim rectangles against values computed here: the block of frames with its bleed is
// centred on the sheet less the gripper (halvings truncating), frames follow each other
// with no gap at a spine and the gutter at a cut.
TEST(TemplateLayout, TrimRectanglesAreExact) {
    struct Case {
        const char* sheet;
        const char* page;
        layout::Kind kind;
        int cols, rows;
        bool spineCols;  // folding: spine pairs are columns
    };
    const Case cases[] = {
        {"SRA3", "A5", layout::Kind::Booklet, 2, 1, true},
        {"SRA2", "A4", layout::Kind::Booklet, 2, 1, true},
        {"12x18in", "A5", layout::Kind::Booklet, 2, 1, true},
        {"70x100cm", "A4", layout::Kind::Signature16, 4, 2, true},
        {"52x72cm", "A5", layout::Kind::Signature16, 4, 2, true},
        {"SRA2", "A6", layout::Kind::Signature8, 2, 2, true},
        {"B1", "A6", layout::Kind::Signature32, 4, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " " + c.page + " " + layout::kindName(c.kind));
        layout::Request r = request(c.sheet, c.page, c.kind);
        layout::Plan p = layout::plan(r);
        ASSERT_FALSE(p.turned);
        ASSERT_EQ(p.cols, c.cols);
        ASSERT_EQ(p.rows, c.rows);
        const Fixed b = mm(3), g = 2 * b;
        Fixed blockW = c.cols * r.pageW + 2 * b + (c.cols / 2 - 1) * g;
        Fixed blockH = c.rows * r.pageH + 2 * b + (c.rows - 1) * g;
        Fixed left = (r.sheetW - blockW) / 2 + b;
        Fixed bottom = mm(10) + (r.sheetH - mm(10) - blockH) / 2 + b;
        ASSERT_EQ(p.sheets.size(), 2u);
        for (const auto& sheet : p.sheets)
            for (const auto& f : sheet) {
                Fixed x = left + f.col * r.pageW + (f.col / 2) * g;
                Fixed y = bottom + f.row * (r.pageH + g);
                EXPECT_EQ(f.trim.left, x) << f.box;
                EXPECT_EQ(f.trim.bottom, y) << f.box;
                EXPECT_EQ(f.trim.right, x + r.pageW);
                EXPECT_EQ(f.trim.top, y + r.pageH);
                // no bleed at the spine, bleed everywhere else
                EXPECT_EQ(f.bleedRight, f.col % 2 == 0 ? 0 : b);
                EXPECT_EQ(f.bleedLeft, f.col % 2 == 1 ? 0 : b);
                EXPECT_EQ(f.bleedTop, b);
                EXPECT_EQ(f.bleedBottom, b);
            }
    }
}

TEST(TemplateLayout, StepLayoutsFillTheSheetOrTakeTheirGrid) {
    layout::Request r = request("SRA3", "85x55mm", layout::Kind::Step);
    layout::Plan p = layout::plan(r);
    // 85 x 55 mm cards with 3 mm bleed: turned they fit 7 x 3, upright only 4 x 4
    EXPECT_TRUE(p.turned);
    EXPECT_EQ(p.cols * p.rows, 21);
    EXPECT_EQ(p.sheets.size(), 1u);
    const Fixed b = mm(3), pitchX = r.pageH + 2 * b, pitchY = r.pageW + 2 * b;
    Fixed blockW = p.cols * pitchX, blockH = p.rows * pitchY;
    Fixed left = (r.sheetW - blockW) / 2 + b,
          bottom = mm(10) + (r.sheetH - mm(10) - blockH) / 2 + b;
    for (const auto& f : p.sheets[0]) {
        EXPECT_EQ(f.box, 1);
        EXPECT_EQ(f.rotation, 90);
        EXPECT_EQ(f.trim.left, left + f.col * pitchX);
        EXPECT_EQ(f.trim.bottom, bottom + f.row * pitchY);
        EXPECT_EQ(f.trim.width(), r.pageH);
        EXPECT_EQ(f.bleedLeft + f.bleedRight + f.bleedTop + f.bleedBottom, 4 * b);
    }
    r.gridCols = 3;
    r.gridRows = 2;
    p = layout::plan(r);
    EXPECT_FALSE(p.turned);
    EXPECT_EQ(p.cols, 3);
    EXPECT_EQ(p.rows, 2);
}

TEST(TemplateLayout, WorkAndTurnAndTumbleBacksComeFromTheSamePlate) {
    layout::Plan turn = layout::plan(request("SRA3", "A6", layout::Kind::WorkAndTurn));
    ASSERT_EQ(turn.sheets.size(), 2u);
    EXPECT_TRUE(turn.backSamePlate);
    for (const auto& f : turn.sheets[0]) {
        // turned across the gripper edge: left half page 1, right half page 2
        EXPECT_EQ(f.box, f.col < turn.cols / 2 ? 1 : 2);
    }
    layout::Request tr = request("SRA3", "A6", layout::Kind::WorkAndTumble);
    layout::Plan tumble = layout::plan(tr);
    // the tail becomes the gripper edge of the back: margins at both edges
    EXPECT_EQ(tumble.printable.bottom, mm(10));
    EXPECT_EQ(tumble.printable.top, tr.sheetH - mm(10));
    EXPECT_EQ(tumble.rows % 2, 0);
}

TEST(TemplateLayout, ImpossibleLayoutsAreRefusedWithTheSizes) {
    // A4 spreads with bleed, marks, slug line and 10 mm gripper on SRA3
    try {
        layout::plan(request("SRA3", "A4", layout::Kind::Booklet));
        FAIL() << "an A4 booklet fits SRA3";
    } catch (const layout::LayoutError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("do not fit"), std::string::npos) << m;
        EXPECT_NE(m.find("450 mm x 310 mm"), std::string::npos) << m;
    }
    EXPECT_THROW(layout::plan(request("A4", "A3", layout::Kind::Step)), layout::LayoutError);
    layout::Request grid = request("SRA3", "A5", layout::Kind::Booklet);
    grid.gridCols = 2;
    grid.gridRows = 2;
    EXPECT_THROW(layout::plan(grid), layout::LayoutError);
    layout::Request odd = request("SRA3", "A6", layout::Kind::WorkAndTurn);
    odd.gridCols = 3;
    odd.gridRows = 1;
    EXPECT_THROW(layout::plan(odd), layout::LayoutError);
    layout::Request gripper = request("SRA3", "A6", layout::Kind::Step);
    gripper.gripper = mm(400);
    EXPECT_THROW(layout::plan(gripper), layout::LayoutError);
    // A sheet that holds one page either way has no two halves to print from one plate.
    for (layout::Kind kind : {layout::Kind::WorkAndTurn, layout::Kind::WorkAndTumble}) {
        try {
            layout::plan(request("A3", "250x350mm", kind));
            FAIL() << "one page on A3 makes a " << layout::kindName(kind) << " sheet";
        } catch (const layout::LayoutError& e) {
            std::string m = e.what();
            EXPECT_NE(m.find("do not fit"), std::string::npos) << m;
        }
    }
}

// Fold marks take room above and below a booklet (its spine runs up the sheet) and
// beside a signature's block too; the moving mark stands beside the marks, level with
// the block's bottom, and steps up to its top. Cut sheets have no folds to mark.
TEST(TemplateLayout, FoldAndMovingMarksHaveTheirRoom) {
    layout::Request r = request("SRA3", "A5", layout::Kind::Booklet);
    layout::Plan plain = layout::plan(r);
    r.foldMarks = r.movingMark = true;
    layout::Plan p = layout::plan(r);
    const layout::MarkStyle& ms = p.marks;
    Fixed fold = 2 * ms.distance + 2 * ms.length + (3 * ms.width + 1) / 2;
    EXPECT_EQ(p.envelope.top - p.block.top, fold);
    EXPECT_EQ(p.block.left - p.envelope.left, plain.block.left - plain.envelope.left);
    EXPECT_EQ(p.movingRect.right, p.envelope.left - mm(2));
    EXPECT_EQ(p.movingRect.width(), mm(3));
    EXPECT_EQ(p.movingRect.bottom, p.block.bottom);
    EXPECT_EQ(p.movingRect.height(), mm(6));
    EXPECT_EQ(p.movingLimit, p.block.top);
    EXPECT_GE(p.movingRect.left, p.printable.left);
    EXPECT_GT(p.slugRect.bottom, p.envelope.top);

    layout::Request sig = request("70x100cm", "A4", layout::Kind::Signature16);
    sig.foldMarks = true;
    layout::Plan s = layout::plan(sig);
    EXPECT_EQ(s.block.left - s.envelope.left, fold);

    layout::Request cards = request("SRA3", "85x55mm", layout::Kind::Step);
    cards.foldMarks = true;
    EXPECT_THROW(layout::plan(cards), layout::LayoutError);
    // the moving mark's column counts when the cards are counted
    cards.foldMarks = false;
    cards.movingMark = true;
    layout::Plan c = layout::plan(cards);
    EXPECT_GE(c.movingRect.left, c.printable.left);
}
