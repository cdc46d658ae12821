// Sheet copies ("Add sheets") and the bleed dialogs and command.
#pragma once

#include "API.h"

// The "Add sheets" command on the current document.
void addPages();
// One bleed value for several frames; on OK all four sides of rect hold the value.
bool getBleedRectFromDlg1(ASFixedRect* rect, bool* symmetric);
// Four bleed values for one frame, preset from rect; true on OK.
bool getBleedRectFromDlg2(ASFixedRect& rect);
// The bleed command on the selected frames of the current page.
void doBleedRectDlg();
