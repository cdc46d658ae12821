// Moving marks: black rectangles that step by their own size from one copy of a
// template to the next, wrapping around before a limit.
#pragma once

#include "API.h"

// The "MovingMark" dialog for the selected frames of the page.
void doMovingMark(AVPageView view, PDPage page);
// -1 (after telling the user) when the document still has moving marks without a
// direction (box number -3), else 0.
long checkMovingMarks(PDDoc doc);
// Shifts a mark for template copy n in its direction (0 Top, 90 Left, 180 Bottom,
// 270 Right).
void moveFlutterMark(PDEElement mark, long n, long direction);
