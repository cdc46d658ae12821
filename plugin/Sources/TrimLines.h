// The trim-lines layer of a sheet (a rectangle round the paper, shown while the frames
// are) and the trim-line rectangles of its frames, in the trim-lines colour.
#pragma once

#include "Common/API.h"

// Rebuilds the trim-lines layer of every page (of pages first to last; -1: the last
// page) and restyles the frames' trim-line rectangles (null: the front document).
void showTrimLines(PDDoc doc, ASInt32 first = 0, ASInt32 last = -1);
// The layer of one page rebuilt in the content as the caller holds it (the caller
// writes it back): what showTrimLines does to a page whose frames have just been
// given their trim lines in the trim-lines colour.
void rebuildTrimLinesLayer(PDDoc doc, ASInt32 pageIndex);
