// The editing tool on the page view: clicks, drags, keys, the overlay of frames and
// the tool's deferred work.
#pragma once

#include "Common/PageContent.h"

// Tool callbacks.
ASBool doClick(AVTool tool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
               ASInt16 clickCount);
// clientData is toolClientData().
ASBool doKeyDown(AVPageView pageView, ASUns16 key, ASInt16 flags, ASClientData clientData);
// The client data of the tool's callbacks: the state the tool keeps between calls.
ASClientData toolClientData();
// Draws the frames over the visible pages of the view.
void drawFrames(AVPageView pageView);
// Idle work: a frame dialog asked for by a double click, the return to the page shown
// before a layout switch.
void doImposeIdle();

// A document is closing: the tool lets go of its pages and forgets its view.
void toolDocWillClose(AVDoc doc);

// The steps of a click.
// Switches the front document's view to single-page layout (remembering the page it
// showed); true when it did.
bool switchLayoutMode();
// Moves (or, with Option alone, duplicates) the selection with the mouse; true when it
// did.
bool dragSelection(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
// The rubber band from the click point, in page space; without Shift the selection is
// cleared first.
void setupClickRect(ASFixedRect* rect, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
// Selects by the rectangle: frames touching it are selected, with Shift selected ones
// are deselected; a rectangle of 1 point or less takes only the topmost frame.
void doMouseDown(AVPageView view, const ASFixedRect& rect, ASInt16 flags);
// True when Option alone is held.
bool altKeyPressed();
// Makes the document's window (null: the front document's) the key window.
void selectCurDoc(AVDoc doc = nullptr);

// The arithmetic of the key commands.
// The arrow step: 1 point with points or inches as palette unit, else 1 mm; a tenth of
// it (integer division) with Shift.
ASFixed getArrowStep(ASInt32 palUnits, ASInt16 flags);
// Adds step to every positive and subtracts it from every negative one of a, b, c, d.
void scaleMatrix(ASFixedMatrix* m, ASFixed step);
// The unscaled matrix that centres a form's box (with its "Rotate") in a rectangle.
ASFixedMatrix getCenteringMatrix(const ASFixedRect& frame, const ASFixedRect& formBox,
                                 ASInt32 rotate);
// Digits typed within a second of each other make one number: the digit goes to the
// typed number (or starts a new one) and the whole number is returned as text.
const char* addTypedDigit(char digit, ASUns32 ticks);
