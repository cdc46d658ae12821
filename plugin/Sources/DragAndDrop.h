// Placing PDF files dropped onto a document window.
//
// The window's handlers only look at the drag: they accept a path ending in ".pdf"
// (any case) over a page, highlight the frame or page under the mouse and record the
// drop. The next idle call places it: onto a frame, the file's page with the frame's
// box number is imposed into that frame; onto free sheet space, the file's first page
// becomes a new free container at the drop point, snapped to whole units.
#pragma once

#include "Common/API.h"

// Installs or removes the drag tracking and receive handlers of a document window.
void SetupDropTarget(AVWindow window);
// Places the pending drop, if any (first thing of every idle call).
void doDropIdle();

// Places page 1 of src on the page of dst as a new free container (box number 0, not
// selected, on top of everything) whose TrimBox lower left lies at (x, y) in page
// space. The view may be null. False when nothing was placed.
bool placePage(AVPageView view, PDPage page, PDDoc src, PDDoc dst, ASFixed x, ASFixed y);

// True when a dropped path is one we take: a name ending in ".pdf" in any case, short
// enough to be kept whole.
bool isDroppablePath(const char* path);

// The visible page of the view under a device point, made the view's current page;
// -1 when the point lies on no page.
ASInt32 getPageForMouse(AVPageView view, AVDevCoord x, AVDevCoord y);
