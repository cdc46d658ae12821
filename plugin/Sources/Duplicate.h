// Duplicating the selected frames: in a row, or mirrored to the other half of the
// sheet.
#pragma once

#include "Common/API.h"

void doDuplicate(AVPageView view, PDPage page);
// Duplicates the selected frames once by (dx, -dy) without asking.
void dupSelection(PDPage page, long dx, long dy);
void dupHor(AVPageView view, PDPage page);
void dupVer(AVPageView view, PDPage page);

// What doDuplicate does on OK: every selected frame of the page gets copies, each moved
// by (dx, -dy) from the one before; the copies are selected. The undo step is recorded
// for the view.
void dupSelection(AVPageView view, PDPage page, ASInt32 copies, ASFixed dx, ASFixed dy);
