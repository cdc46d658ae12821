// Folding a printed sheet: the page order and orientation a reader sees after the sheet
// is folded, and the numbering that makes a folded sheet read 1 to N.
//
// A sheet is a grid of cols x rows cells (row 0 at the bottom), printed on both sides.
// The back is seen after turning the sheet over about its vertical axis, so the back
// cell in column c lies behind the front cell in column cols - 1 - c. A cell holds a
// page number (0: none) and the rotation of the placed page in degrees, counter-
// clockwise (0: head up, 90: head to the left, 180: head down, 270: head to the right).
#pragma once

#include <string>
#include <vector>

namespace vexa::host::fold {

struct Cell {
    int page = 0;
    int rotation = 0;
};

struct Sheet {
    int cols = 0, rows = 0;
    std::vector<Cell> front, back;  // index row * cols + col, each side seen from its side
    Cell& at(bool backSide, int col, int row) { return (backSide ? back : front)[index(col, row)]; }
    const Cell& at(bool backSide, int col, int row) const {
        return (backSide ? back : front)[index(col, row)];
    }
    std::size_t index(int col, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
               static_cast<std::size_t>(col);
    }
    std::size_t cells() const {
        return static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    }
};

// One fold: about a vertical line ('x': the left and right halves meet) or a
// horizontal one ('y'); the half that moves (the right or top half when `moveHigh`)
// goes on top of the other (`over`) or under it.
struct Fold {
    char axis = 'x';
    bool moveHigh = true;
    bool over = false;
};

struct Reading {
    std::vector<int> pages;        // in the order the reader meets them
    std::vector<int> notUpright;   // pages the reader sees turned
    std::vector<Fold> plan;        // the folds that gave this reading
    bool correct = false;          // reads 1..N, every page upright
    std::string describe() const;  // "x-fold: right half under, ..."
};

// Folds the sheet by `plan` (the last fold is the spine) and reads it.
Reading readFolded(const Sheet& sheet, const std::vector<Fold>& plan);

// Tries every way of folding the sheet in half repeatedly whose last fold runs along
// the pages' height, and returns a reading that is correct when there is one, else
// the reading closest to it (most pages in place and upright). Returns an empty reading (no pages)
// when the grid cannot be folded that way (a side that is no power of two, or mixed heads).
Reading checkFolds(const Sheet& sheet);

// The numbering of a sheet of cols x rows cells (powers of two) that reads
// 1..2*cols*rows when folded with right-angle folds, the last one about a vertical line
// (spine 'x': pages upright or head to head, rotations 0 and 180) or a horizontal one
// (spine 'y': pages turned, rotations 90 and 270). Page 1 lies on the front, as far to
// the bottom right as the folds allow.
Sheet numberedSheet(int cols, int rows, char spine);

}  // namespace vexa::host::fold
