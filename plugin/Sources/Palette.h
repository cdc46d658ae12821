// The palette and the editing tool.
//
// The palette is a modeless window with the everyday commands and live measurements
// of the current page or selection. It is never refreshed directly: whatever may
// change what it shows calls adjustPalette, and the next idle pass (doPaletteIdle)
// brings it up to date.
#pragma once

#include "Common/API.h"

class CMyDialog;

// Controls of the palette ("PALETTE").
enum {
    kPalNew = 1,
    kPalPosition = 2,
    kPalFrames = 3,
    kPalMarks = 4,
    kPalRotate = 5,
    kPalCopy = 6,
    kPalBleed = 7,
    kPalBleedTop = 8,
    kPalBleedLeft = 9,
    kPalBleedRight = 10,
    kPalBleedBottom = 11,
    kPalGuides = 12,
    kPalImpose = 13,
    kPalPrefs = 14,
    kPalKeys = 16,
    kPalMeasure = 17,
    kPalX = 22,
    kPalY = 23,
    kPalW = 24,
    kPalH = 25,
    kPalPlace = 26,
    kPalPaper = 27,
    kPalPlate = 28,
};

// Marks the palette for update; the next idle pass refreshes it.
void adjustPalette();
bool paletteNeedsUpdate();
// Shows the palette (creating it when needed); window may be null.
void showPalette(AVWindow window);
// Shows the palette at start-up.
void showVexa();
CMyDialog* getPalette();
void setPalette(CMyDialog* palette);
// Disposes of the palette window without storing anything (the plug-in unloads).
void disposePalette();
void doPaletteIdle();
// A length in the palette unit, "%.2f" without trailing zeros (and point).
char* formatPaletteValue(ASFixed value, ASInt32 unit, char* text, size_t size);

// Commands of the palette and the menu.
void doNewBtn();
void doPrefsBtn();
// Frames on the current page (unrotated pages only).
void doFramesBtn();
// Marks for the selection; with Shift held, or nothing selected, removes marks.
void doMarksBtn();
// Turns the selected frames by 180 degrees, by 90 with Shift held.
void doRotateBtn();
// Sheet copies of the current template.
void doCopyBtn();
// Places page 1 of a chosen PDF file on the current page.
void doPlaceBtn();
// Imposes the current document, logging errors, and offers the log afterwards.
void doImposeBtn();

// The editing tool.
void setupTool();
bool myTool();
void activateMyTool(AVDoc doc);
void deactivateMyTool();
