// The selection of frames on a sheet.
#pragma once

#include "PageContent.h"

// Calls proc for every selected frame of the page (null: the current page of the
// front document), topmost first; the page is written back when write is true, and
// the document view redrawn when redraw is true.
bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write, bool redraw = false);

// The page view of the front document (null when none).
AVPageView getFrontPageView();
// Undo is prepared for the view, then EnumSelection on its page with write-back.
bool EnumSelectionWithUndo(AVPageView view, EnumFormsProc proc, long data);
// The number of selected frames on the page (null: the current page).
ASInt32 getSelCnt(PDPage page);
// The union of the selected frames' rectangles; false (and all zero) without
// selection.
bool getSelBBox(PDPage page, ASFixedRect* rect);

// The topmost frame under a device point of the view (the trim-lines layer is never
// hit); null when none.
PDEElement getPDEForMouse(AVPageView view, AVDevCoord x, AVDevCoord y);
// Deselects every frame of the visible pages of the view's document (null: the front
// document's view); with redraw the view is redrawn.
void clearSelection(AVPageView view, bool redraw);
// The same for every page of every open document.
void clearAllSelections();
// Selects every frame of the view's page.
void selectAll(AVPageView view);
// Turns the selected frames of the page (with an undo step).
void rotateFrames(PDPage page, ASInt32 degrees);
// The palette's "keys" pop-up: 0 move frame, 1 move content, 2 scale content.
ASInt32 getCursorMode();
void setCursorMode(ASInt32 mode);
