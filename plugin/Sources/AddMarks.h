// Printer's marks: cut marks at the trim corners of the selected frames, registration
// marks, centre and corner marks around the selection, fold marks at the lines where
// neighbouring frames are folded; and their removal.
#pragma once

#include <vector>

#include "Common/PageContent.h"

struct MarkParams {
    ASFixed length = 557314;  // 3 mm
    ASFixed distance = 557314;
    ASFixed width = 16384;  // 0.25 pt
    ASInt16 cutMarks = 1;
    ASInt16 regMarks = 0;
    ASInt16 centeredMarks = 0;
    ASInt16 gray = 0;
    ASInt16 symmetric = 0;
    ASInt16 foldMarks = 0;
};
// The process-wide block the dialog and mark creation share.
MarkParams& getMarkParams();

// The "AddMarks" command.
void createMarks();
// Mark creation on the page's selected frames with the current parameters (the
// dialog's OK part). Returns false when a host error was reported.
bool createMarks(PDPage page);
// The remove command: around the selection, or on every page with all.
void removeMarks(bool all);
// Removes mark containers (-4, -2, -7) and top-level paths touching area (null: all) on
// the page; true when any was removed.
bool removeMarks(PDPage page, const ASFixedRect* area);

// The exclusion rectangle used by the mark-line procedure (all zero: nothing).
void setExclusionRect(const ASFixedRect& rect);
// One mark line from p1 to p2 of width w as a mark container (a cut mark unless box
// says otherwise) appended to level's content; skipped (false) when both ends lie
// inside the exclusion rectangle.
bool addMarkLine(CContent* level, ASFixedPoint p1, ASFixedPoint p2, ASFixed w,
                 const PDEColorSpec* color, ASFixed trap, ASInt32 box = -4);

// The fold lines of a group of frames, given by their trim rectangles: for every frame
// and its nearest neighbour to the right (above), when the two overlap across, the
// middle between the one's trim right (top) and the other's trim left (bottom). Sorted,
// each once.
struct FoldLines {
    std::vector<ASFixed> xs;  // vertical folds
    std::vector<ASFixed> ys;  // horizontal folds
};
FoldLines getFoldLines(const std::vector<ASFixedRect>& trims);
