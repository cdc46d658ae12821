// Sheet copies ("Add sheets") and the bleed dialogs and command.
#pragma once

#include "Common/API.h"

// The "Add sheets" command on the current document.
void addPages();
// One bleed value for several frames; on OK all four sides of rect hold the value.
bool getBleedRectFromDlg1(ASFixedRect* rect, bool* symmetric);
// Four bleed values for one frame, preset from rect; true on OK.
bool getBleedRectFromDlg2(ASFixedRect& rect);
// The bleed command on the selected frames of the current page.
void doBleedRectDlg();

// Mirroring of sheet copies.
enum { kMirrorNone = 1, kMirrorHorizontal = 2, kMirrorVertical = 3 };

// The "addsheets" dialog: params holds copies, box-number offset, three values left 0,
// and the mirroring; true on OK.
bool getAddPagesParams(ASInt32 params[6]);
// Appends copies of every sheet of doc: copy k raises page-frame numbers by k x offset,
// steps moving marks k times and mirrors the frames as asked. Returns the number of
// sheets appended (fewer when the user stopped the run).
ASInt32 addPages(PDDoc doc, ASInt32 copies, ASInt32 offset, ASInt32 mirroring);
// The bleed command on the selected frames of the page (null: the view's page); the
// undo step is recorded for the view.
void doBleedRectDlg(AVPageView view, PDPage page);
