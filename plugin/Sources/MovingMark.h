// Moving marks: black rectangles that step by their own size from one copy of a
// template to the next, wrapping around before a limit.
#pragma once

#include "Common/API.h"

// The "MovingMark" dialog for the selected frames of the page.
void doMovingMark(AVPageView view, PDPage page);
// -1 (after telling the user) when the document still has moving marks without a
// direction (box number -3), else 0.
long checkMovingMarks(PDDoc doc);
// Shifts a mark for template copy n in its direction (0 Top, 90 Left, 180 Bottom,
// 270 Right).
void moveFlutterMark(PDEElement mark, long n, long direction);

// The shift of a mark with rectangle r and move limit for copy n: n modulo the number
// of whole mark sizes between the mark's trailing edge and the limit, times the mark
// size, in the direction. No shift for copy 0 and below, for another direction, and
// when not one whole mark size fits before the limit (the mark then stays put).
ASFixedPoint getFlutterShift(const ASFixedRect& r, ASFixed limit, long n, long direction);

// A moving mark moved with the rest of its sheet's layout (onto a plate, to a new paper
// size) takes its limit along: the limit is a page coordinate on the axis the mark
// steps along. Other frames are left as they are.
void carryMoveLimit(PDEElement frame, ASFixed dx, ASFixed dy);
