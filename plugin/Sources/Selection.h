// The selection of frames on a sheet.
#pragma once

#include "PageContent.h"

// Calls proc for every selected frame of the page (null: the current page of the
// front document); the page is written back when write is true.
bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write);

// The page view of the front document (null when none).
AVPageView getFrontPageView();
// Undo is prepared for the view, then EnumSelection on its page with write-back.
bool EnumSelectionWithUndo(AVPageView view, EnumFormsProc proc, long data);
// The number of selected frames on the page (null: the current page).
ASInt32 getSelCnt(PDPage page);
// The union of the selected frames' rectangles; false (and all zero) without
// selection.
bool getSelBBox(PDPage page, ASFixedRect* rect);
