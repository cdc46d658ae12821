// The selection of frames on a sheet.
//
// A frame is selected while it carries the run-time selection tag (BoxDesc.h). Tags
// live on the in-memory page content, which the host keeps only while someone holds
// it: the editing tool holds the content of every page with selected frames until
// their selection is cleared or the document closes. Commands that rebuild content
// carry the selection over in the frame dictionaries ("sel2").
#pragma once

#include <vector>

#include "Common/PageContent.h"

// The page view of the front document (null when none).
AVPageView getFrontPageView();
// The page, or the current page of the front document's view when null.
PDPage getCurrentPage(PDPage page = nullptr);

// Calls proc for every selected frame of the page (null: the current page), topmost
// first. Nothing happens (false) when no frame of the page is selected. With write
// the page is written back and the selection carried over; with redraw the document
// view is redrawn. Returns false when proc stopped the walk.
bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write, bool redraw = false);
// Returns at once when nothing is selected; otherwise records an undo step for the
// view (null: the front document's view; kNoUndo: none) and runs EnumSelection on
// page (null: the view's page).
bool EnumSelectionWithUndo(AVPageView view, PDPage page, EnumFormsProc proc, long data, bool write,
                           bool redraw);
// The same on the view's page, written back, without redraw.
bool EnumSelectionWithUndo(AVPageView view, EnumFormsProc proc, long data);

// The number of selected frames on the page (null: the current page); elem receives
// the first selected frame in paint order (null when none).
ASInt32 getSelCnt(PDPage page, PDEElement* elem = nullptr);
bool selAvail(PDPage page = nullptr);
// The selected frame when exactly one is selected, else null.
PDEElement getSelectedPDE(PDPage page = nullptr);
// The union of the selected frames' rectangles; false (and all zero) without
// selection.
bool getSelBBox(PDPage page, ASFixedRect* rect);
// Per side the largest bleed among the selected frames (all zero without selection).
ASFixedRect getBleedRect(PDPage page);

// Selects again every frame marked "sel2" (in the order they were selected) and clears
// the marks.
void restoreSelection(PDPage page);

// The topmost frame under a device point of the view (the trim-lines layer is never
// hit); null when none. The page's content is held until the next idle pass at least,
// so the frame stays valid and a selection made on it stays.
PDEElement getPDEForMouse(AVPageView view, AVDevCoord x, AVDevCoord y);
// Deselects every frame of the visible pages of the view's document (null: the front
// document's view); with redraw the view is redrawn.
void clearSelection(AVPageView view, bool redraw);
// Deselects the frames of every open document and redraws their views.
void clearAllSelections();
// Selects every frame of the view's page and draws the frames.
void selectAll(AVPageView view);
// Turns the selected frames of the page (with an undo step): page frames by degrees,
// plain containers by a quarter turn in place, job information by its rectangle.
void rotateFrames(PDPage page, ASInt32 degrees);

// The palette's "keys" pop-up: 0 move frame, 1 move content, 2 scale content.
ASInt32 getCursorMode();
void setCursorMode(ASInt32 mode);

// Holding page content for the selection.
// Keeps the page's content acquired (once per page) so that selection tags survive.
void holdSelectionPage(PDPage page);
// Lets go of the page's content when none of its frames is selected any more (and no
// scope keeps it).
void keepSelection(PDPage page);
// Keeps a page's content held for the length of one user action, whatever happens to
// the selection meanwhile, so that its walks read the page once and a selection made
// on the way survives; at the end the page is let go when nothing on it is selected.
class SelectionPageScope {
  public:
    explicit SelectionPageScope(PDPage page);
    ~SelectionPageScope();
    SelectionPageScope(const SelectionPageScope&) = delete;
    SelectionPageScope& operator=(const SelectionPageScope&) = delete;

  private:
    PDPage page_;
};
// Lets go of the held pages of the document (null: of every document).
void releaseSelectionPages(PDDoc doc);
// Lets go of the page's content; returns the top-level indices of the frames that
// were selected, in selection order.
std::vector<ASInt32> releaseSelectionHold(PDPage page);
// The top-level indices of the page's selected frames, in selection order.
std::vector<ASInt32> selectedFrameIndices(PDPage page);
// Selects the frames at those top-level indices (in that order).
void selectByIndex(PDPage page, const std::vector<ASInt32>& indices);
// Lets go of every held page and of the list itself (the plug-in unloads).
void shutdownSelection();
// Ends the holds of hit tests that last until the idle pass (called by it).
void releaseIdlePins();
// The number of pages held (tests).
ASInt32 heldSelectionPages();

// Redraws the document view of the page's document (null: the front document's).
void redrawDoc(PDDoc doc = nullptr);
