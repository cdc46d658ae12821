// The palette and the editing tool.
#pragma once

#include "API.h"

class CMyDialog;

// Marks the palette for update; the next idle pass refreshes it.
void adjustPalette();
bool paletteNeedsUpdate();
// Shows the palette (creating it when needed); window may be null.
void showPalette(AVWindow window);
// Shows the palette at start-up.
void showVexa();
CMyDialog* getPalette();
void doPaletteIdle();
// Commands of the palette and the menu.
void doNewBtn();
void doPrefsBtn();
// Frames on the current page (unrotated pages only).
void doFramesBtn();
// Marks for the selection; with Shift held, or nothing selected, removes marks.
void doMarksBtn();
// The editing tool.
void setupTool();
bool myTool();
void activateMyTool(AVDoc doc);
void deactivateMyTool();
