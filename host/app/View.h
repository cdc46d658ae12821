// Page views of the application model: layout and geometry, the overlay's display
// list, the mouse, undo records, drop targets, pop-up menus and optimizer presets.
//
// Nothing here knows a toolkit. A front end shows a view by drawing its pages into the
// aperture and then the view's display list (`drawn`), and forwards the user's events
// to the Application (click, rightClick, keyDown, dragTrack, drop); the headless front
// end lets scripts and tests read the display list instead.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "AcroViewHFT.h"

namespace vexa::host::app {

// One drawing operation of the overlay, in device pixels.
struct DrawOp {
    enum Kind { Line, RectOutline, FillRect, Text };
    Kind kind = Line;
    AVDevRect rect{};  // a line goes from (left, top) to (right, bottom)
    AVRGBColor16 color{};
    ASInt32 pen = AVPenSolid;
    ASInt32 width = 1;
    ASInt32 dash = 0, gap = 0;
    ASInt32 size = 0;  // text size
    std::string text;
};

// What the view shows of one page: its crop box and rotation (0, 90, 180, 270).
struct PageGeometry {
    ASFixedRect crop{0, 792 * fixedOne, 612 * fixedOne, 0};
    ASInt32 rotate = 0;
};

// A pop-up menu as the user sees it.
struct PopupEntry {
    std::string title;
    std::vector<PopupEntry> submenu;
    bool enabled = true;  // as the item's enabling procedure answers
};

// Shows a pop-up menu and returns the chosen path: the index in the menu, then the
// index in the submenu when the item is one of a submenu; empty when nothing was
// chosen.
class PopupChooser {
  public:
    virtual ~PopupChooser() = default;
    virtual std::vector<int> choose(const std::vector<PopupEntry>& menu, AVDevCoord x,
                                    AVDevCoord y) = 0;
};

// The mouse as the host tracks it. A gesture in progress holds the positions the
// mouse passes through while the button is down; each poll moves one step on.
struct MouseState {
    AVPageView view = nullptr;
    AVDevCoord x = 0, y = 0;
    bool down = false;
    ASInt16 modifiers = 0;
    std::deque<std::pair<AVDevCoord, AVDevCoord>> path;
};

// Optimizer presets of "Save optimized" and saving with one (Optimize.cpp).
struct OptimizerPreset {
    const char* name;
    ASUns32 flags;  // AVOpt* bits
    ASInt32 compressionLevel;
};
const std::vector<OptimizerPreset>& optimizerPresets();
const OptimizerPreset* findOptimizerPreset(const std::string& name);
// Writes an optimized copy of the document to params.newPath; raises on failure.
void saveOptimized(PDDoc doc, const AVOptimizerParamsRec& params);

// Adds an operation to the view's overlay with its current colour and pen: to the
// redraw in progress, or over what the view shows.
void addDrawOp(AVPageView view, DrawOp op);

}  // namespace vexa::host::app

struct _t_AVUndo {
    AVDoc doc = nullptr;
    AVUndoHandler handler{};
    AVUndoHandlerData data = nullptr;
    bool released = false;
    std::string action;  // what the user did when it was made ("Move"), or ""
};

// Per-window page-view state (members of _t_AVPageView).
struct AVPageViewState {
    ASInt32 layoutMode = AVPageViewSinglePage;
    ASFixed zoom = fixedOne;
    AVDevRect aperture{0, 0, 800, 1000};
    ASInt32 topPage = 0;  // the page shown at the top of the aperture
    // Where the front end scrolled the pages to: topPage's top left lies this many
    // pixels right of and below its place at rest (negative: scrolled past).
    AVDevCoord originX = 0, originY = 0;
    // Drawing.
    std::vector<vexa::host::app::DrawOp> drawn;    // the last complete redraw
    std::vector<vexa::host::app::DrawOp> drawing;  // the redraw in progress
    bool inDraw = false;
    bool invalid = true;
    int redraws = 0;
    int operationDepth = 0;
    AVRGBColor16 color{0, 0, 0};
    ASInt32 pen = AVPenSolid, penWidth = 1, dash = 0, gap = 0;
};

// Per-window undo stack and drop target (members of _t_AVDoc).
struct AVDocUndoState {
    std::vector<_t_AVUndo*> records;  // oldest first
    std::size_t applied = 0;          // records[0, applied) can be undone
    bool busy = false;                // an Undo or Redo is running
    _t_AVUndo* running = nullptr;     // its record
};

struct AVDocDropState {
    bool installed = false;
    AVDropHandlersRec handlers{};
    ASClientData clientData = nullptr;
    bool inside = false;  // a drag is over the window
    bool highlighted = false;
    AVDevRect highlight{};
    std::string lastPath;  // the file being dragged
};
