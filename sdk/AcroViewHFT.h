// The AcroView table: the application, its menus, toolbars and tools, notifications,
// idle procedures, alerts, document windows and their page views.
#pragma once

#include "CosHFT.h"

#define kAcroViewHFTVersion HFT_VERSION(8, 0)

// Notification selectors.
enum {
    NSEL_AVAppDidInitialize = 0,
    NSEL_AVAppWillQuit = 1,
    NSEL_AVAppFrontDocDidChange = 2,
    NSEL_AVDocDidOpen = 4,
    NSEL_AVDocWillClose = 7,
    NSEL_AVPageViewDidDraw = 13,
    NSEL_AVPageViewDidChange = 14,
    NSEL_PDDocDidChangePages = 24,
    NSEL_AVAppPaletteRefresh = 34,  // palettes should be brought up to date
    NSEL_PDDocWillSaveEx = 56,
    NSEL_AVDocWindowDidChange = 121,
};

struct PDDocSaveParamsRec;

// Everything a notification tells; the members that do not apply to a selector are 0.
struct AVNotificationData {
    ASInt32 selector;
    AVDoc avDoc;
    PDDoc pdDoc;
    AVPageView pageView;
    ASInt32 flags;                   // page-view change flags (2: page changed)
    PDDocSaveParamsRec* saveParams;  // document will be saved: parameters the handler may change
    ASInt32 firstPage, lastPage;     // pages changed
};

typedef void (*AVNotificationProc)(const AVNotificationData* data, ASClientData clientData);
typedef void (*AVIdleProc)(ASClientData clientData);

// Menu item callbacks.
typedef void (*AVExecuteProc)(ASClientData clientData);
typedef ASBool (*AVComputeEnabledProc)(ASClientData clientData);
typedef ASBool (*AVComputeMarkedProc)(ASClientData clientData);

// Key handler for page views: key code (characters as their codes, Backspace 8,
// Tab 9, Escape 27, arrows 28 left, 29 right, 30 up, 31 down, Delete 127) and modifier
// flags; returns true when it handled the key.
typedef ASBool (*AVPageViewKeyDownProc)(AVPageView pageView, ASUns16 key, ASInt16 flags,
                                        ASClientData clientData);

// Modifier flags of keys and clicks.
enum {
    AV_SHIFT = 1,
    AV_CONTROL = 2,
    AV_COMMAND = 4,  // the menu-command modifier (Ctrl on Linux)
    AV_OPTION = 8,   // Option / Alt
};

// Alert icons and answers.
enum { ALERT_NOICON = 0, ALERT_STOP = 1, ALERT_CAUTION = 2, ALERT_NOTE = 3, ALERT_QUESTION = 4 };

// Tools. The host calls the record's procedures; any may be null.
typedef struct _t_AVToolRec* AVToolRecP;
struct AVToolRec {
    ASUns32 size;
    void (*Activate)(AVTool tool, ASBool persistent);
    void (*Deactivate)(AVTool tool);
    ASBool (*DoClick)(AVTool tool, AVPageView pageView, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                      ASInt16 clickCount);
    ASBool (*AdjustCursor)(AVTool tool, AVPageView pageView, AVDevCoord x, AVDevCoord y);
    ASBool (*DoKeyDown)(AVTool tool, ASUns16 key, ASInt16 flags);
    ASAtom (*GetType)(AVTool tool);
    ASBool (*IsPersistent)(AVTool tool);
    ASBool (*DoRightClick)(AVTool tool, AVPageView pageView, AVDevCoord x, AVDevCoord y,
                           ASInt16 flags, ASInt16 clickCount);
    ASClientData clientData;  // for the plug-in's own use
};

// Progress of long operations on documents. setText takes a host text object.
struct ASProgressMonitorRec {
    ASSize_t size;
    void (*beginOperation)(ASClientData clientData);
    void (*endOperation)(ASClientData clientData);
    void (*setDuration)(ASInt32 duration, ASClientData clientData);
    void (*setCurrValue)(ASInt32 value, ASClientData clientData);
    ASInt32 (*getDuration)(ASClientData clientData);
    ASInt32 (*getCurrValue)(ASClientData clientData);
    void (*setText)(ASText text, ASClientData clientData);
};
typedef ASProgressMonitorRec* ASProgressMonitor;

// ---- Page views: layout, drawing, mouse, undo, drop targets, pop-ups, optimizer ----

// Layout modes of page views.
enum { AVPageViewSinglePage = 1, AVPageViewContinuous = 2 };

// A colour of the overlay, 16 bits per component (0xFFFF full).
struct AVRGBColor16 {
    ASUns16 red;
    ASUns16 green;
    ASUns16 blue;
};

// Pens of the overlay: solid, dashed (dash and gap lengths in pixels), or dithered
// (every other pixel, a grey pattern).
enum { AVPenSolid = 0, AVPenDashed = 1, AVPenDithered = 2 };

// Called after the host drew a page view: the plug-in draws its overlay with the
// AVPageViewDraw* calls. updateRect is the region being redrawn (device pixels).
typedef void (*AVPageViewDrawProc)(AVPageView pageView, const AVDevRect* updateRect,
                                   ASClientData clientData);

// Undo records. The host keeps a stack per document; Undo and Redo are offered by the
// Edit menu items "Undo" and "Redo". The host calls Release exactly once, when it
// drops the record (a new record replaced the ones that could be redone, the stack
// is full, or the document closes). Titles may be null (the host's own texts).
typedef void* AVUndoHandlerData;
struct AVUndoHandler {
    ASSize_t size;     // sizeof(AVUndoHandler)
    const char* type;  // the owner's name, e.g. the plug-in's module name
    ASBool (*CanUndo)(AVUndo undo);
    ASBool (*CanRedo)(AVUndo undo);
    void (*Undo)(AVUndo undo);
    void (*Redo)(AVUndo undo);
    ASInt32 (*GetUndoTitle)(AVUndo undo, char* buffer, ASInt32 bufferSize);
    ASInt32 (*GetRedoTitle)(AVUndo undo, char* buffer, ASInt32 bufferSize);
    void (*Release)(AVUndo undo);
};

// Drop targets of document windows. A file dragged over the window is announced with
// its path (UTF-8) and the mouse position in the window's page view: Track with the
// phase on entering, on every move and on leaving (answer whether a drop would be
// accepted), Receive on the drop (answer whether it was taken). Handlers should only
// record what they need and do the work later (an idle procedure).
enum { AVDragEnter = 0, AVDragMove = 1, AVDragLeave = 2 };
struct AVDropHandlersRec {
    ASSize_t size;  // sizeof(AVDropHandlersRec)
    ASBool (*Track)(AVDoc doc, ASInt32 phase, const char* path, AVDevCoord x, AVDevCoord y,
                    ASClientData clientData);
    ASBool (*Receive)(AVDoc doc, const char* path, AVDevCoord x, AVDevCoord y,
                      ASClientData clientData);
};

// Cursor shapes of page views (AVSysSetCursor).
enum {
    AVCursorArrow = 0,
    AVCursorHand = 1,
    AVCursorCross = 2,
    AVCursorIBeam = 3,
    AVCursorWait = 4,
    AVCursorMove = 5
};

// Optimizer presets: what a preset's save does.
enum {
    AVOptObjectStreams = 0x01,       // objects packed into object streams
    AVOptCompressStreams = 0x02,     // streams without a filter compressed with Flate
    AVOptRemoveUnreferenced = 0x04,  // objects no page or catalog reaches left out
    AVOptRecompressFlate = 0x08,     // Flate streams decoded and compressed anew
    AVOptLinearize = 0x10,           // linearized for fast web view
};
struct AVOptimizerParamsRec {
    ASSize_t size;             // sizeof(AVOptimizerParamsRec)
    ASUns32 flags;             // AVOpt* bits
    ASInt32 compressionLevel;  // Flate level 1 to 9, 0 the writer's default
    const char* newPath;       // where the optimized copy goes (set by the caller)
};

struct AcroViewHFT {
    HFTHeader hdr;

    // Application.
    void (*AVAppGetVersion)(ASInt16* major, ASInt16* minor);
    // Three-letter language code ("ENU", "DEU", "FRA", "NLD", ...), terminated.
    void (*AVAppGetLanguage)(char code[4]);
    ASBool (*AVAppRegisterNotification)(ASInt32 selector, ExtensionID owner,
                                        AVNotificationProc proc, ASClientData clientData);
    ASBool (*AVAppUnregisterNotification)(ASInt32 selector, ExtensionID owner,
                                          AVNotificationProc proc, ASClientData clientData);
    // period in ticks (1/60 s)
    void (*AVAppRegisterIdleProc)(AVIdleProc proc, ASClientData clientData, ASUns32 period);
    void (*AVAppUnregisterIdleProc)(AVIdleProc proc, ASClientData clientData);
    void (*AVAppRegisterForPageViewKeyDown)(AVPageViewKeyDownProc proc, ASClientData clientData);
    ASUns32 (*ASGetTickCount)(void);  // ticks since the application started

    // Alerts: returns the number of the button chosen (1, 2 or 3). Null buttons are
    // absent; button1 null means a single "OK" button.
    ASInt32 (*AVAlert)(ASInt32 iconType, const char* message, const char* button1,
                       const char* button2, const char* button3, ASBool beep);
    void (*AVSysBeep)(ASInt32 duration);

    // Menus. Titles and names are UTF-8. Menus and items handed out are acquired:
    // release them with AVMenuRelease / AVMenuItemRelease.
    AVMenubar (*AVAppGetMenubar)(void);
    ASInt32 (*AVMenubarGetNumMenus)(AVMenubar menubar);
    AVMenu (*AVMenubarAcquireMenuByIndex)(AVMenubar menubar, ASInt32 index);
    AVMenu (*AVMenubarAcquireMenuByName)(AVMenubar menubar, const char* name);
    // Searches every menu and submenu of the menu bar.
    AVMenuItem (*AVMenubarAcquireMenuItemByName)(AVMenubar menubar, const char* name);
    // Inserts at index; an index past the end (or -1) appends.
    void (*AVMenubarAddMenu)(AVMenubar menubar, AVMenu menu, ASInt32 index);
    AVMenu (*AVMenuNew)(const char* title, const char* name, ExtensionID owner);
    ASAtom (*AVMenuGetName)(AVMenu menu);
    ASInt32 (*AVMenuGetTitle)(AVMenu menu, char* buffer, ASInt32 bufferSize);
    ASInt32 (*AVMenuGetNumMenuItems)(AVMenu menu);
    AVMenuItem (*AVMenuAcquireMenuItemByIndex)(AVMenu menu, ASInt32 index);
    void (*AVMenuAddMenuItem)(AVMenu menu, AVMenuItem item, ASInt32 index);
    void (*AVMenuRelease)(AVMenu menu);
    // The title "-" makes a separator.
    AVMenuItem (*AVMenuItemNew)(const char* title, const char* name, AVMenu submenu,
                                ASBool longMenusOnly, char shortcut, ASInt16 flags,
                                ExtensionID owner);
    void (*AVMenuItemSetExecuteProc)(AVMenuItem item, AVExecuteProc proc, ASClientData data);
    void (*AVMenuItemSetComputeEnabledProc)(AVMenuItem item, AVComputeEnabledProc proc,
                                            ASClientData data);
    void (*AVMenuItemSetComputeMarkedProc)(AVMenuItem item, AVComputeMarkedProc proc,
                                           ASClientData data);
    ASAtom (*AVMenuItemGetName)(AVMenuItem item);
    ASInt32 (*AVMenuItemGetTitle)(AVMenuItem item, char* buffer, ASInt32 bufferSize);
    AVMenu (*AVMenuItemGetSubmenu)(AVMenuItem item);  // not acquired
    void (*AVMenuItemExecute)(AVMenuItem item);
    ASBool (*AVMenuItemIsEnabled)(AVMenuItem item);
    ASBool (*AVMenuItemIsMarked)(AVMenuItem item);
    void (*AVMenuItemRelease)(AVMenuItem item);

    // Toolbars and buttons.
    AVToolBar (*AVAppGetToolBarByName)(const char* name);  // "File", "Editing"
    AVToolButton (*AVToolButtonNew)(ASAtom name, const char* label, ExtensionID owner);
    void (*AVToolBarAddButton)(AVToolBar toolbar, AVToolButton button, ASBool before,
                               AVToolButton other);
    void (*AVToolButtonSetExecuteProc)(AVToolButton button, AVExecuteProc proc, ASClientData data);
    void (*AVToolButtonSetComputeEnabledProc)(AVToolButton button, AVComputeEnabledProc proc,
                                              ASClientData data);
    void (*AVToolButtonSetComputeMarkedProc)(AVToolButton button, AVComputeMarkedProc proc,
                                             ASClientData data);
    AVToolButton (*AVToolBarGetButtonByName)(AVToolBar toolbar, ASAtom name);
    void (*AVToolButtonExecute)(AVToolButton button);

    // Tools: the record stays owned by the plug-in and must outlive the registration.
    AVTool (*AVAppRegisterTool)(AVToolRec* record);
    AVTool (*AVAppGetToolByName)(ASAtom type);
    AVToolRec* (*AVToolGetRecord)(AVTool tool);
    AVTool (*AVAppGetActiveTool)(void);
    void (*AVAppSetActiveTool)(AVTool tool, ASBool persistent);
    AVTool (*AVDocGetActiveTool)(AVDoc doc);
    void (*AVDocSetActiveTool)(AVDoc doc, AVTool tool, ASBool persistent);

    // Documents and windows.
    AVDoc (*AVAppGetActiveDoc)(void);  // the front document, or null
    ASInt32 (*AVAppGetNumDocs)(void);
    AVDoc (*AVAppGetDocByIndex)(ASInt32 index);
    // Opens a window on the document; the window takes ownership of pdDoc.
    AVDoc (*AVDocOpenFromPDDoc)(PDDoc pdDoc, const char* title);
    // Closes the window and its document; false when refused.
    ASBool (*AVDocClose)(AVDoc doc, ASBool noSave);
    PDDoc (*AVDocGetPDDoc)(AVDoc doc);
    AVPageView (*AVDocGetPageView)(AVDoc doc);
    AVWindow (*AVDocGetAVWindow)(AVDoc doc);
    void* (*AVDocGetWindowRef)(AVDoc doc);  // the platform window, or null
    void (*AVDocBringToFront)(AVDoc doc);
    ASInt32 (*AVDocGetTitle)(AVDoc doc, char* buffer, ASInt32 bufferSize);
    void (*AVWindowBecomeKey)(AVWindow window);

    // Page views.
    AVDoc (*AVPageViewGetAVDoc)(AVPageView pageView);
    PDPage (*AVPageViewGetPage)(AVPageView pageView);  // not acquired
    ASInt32 (*AVPageViewGetPageNum)(AVPageView pageView);
    void (*AVPageViewGoTo)(AVPageView pageView, ASInt32 pageNum);

    // Progress and the wait cursor.
    ASProgressMonitor (*AVAppGetDocProgressMonitor)(ASClientData* clientData);
    void (*AVSysSetWaitCursor)(ASBool on, ASUns32 timeLimit);
    // ---- Appended: page views, drawing, mouse, undo, drop targets, pop-ups ----

    // Page views. Device coordinates are pixels with y growing downwards; the aperture
    // is the part of the window that shows pages. Conversions use the view's current
    // page (its crop box and rotation) and the zoom (1.0: one pixel per point).
    ASInt32 (*AVPageViewGetLayoutMode)(AVPageView pageView);
    void (*AVPageViewSetLayoutMode)(AVPageView pageView, ASInt32 mode);
    ASFixed (*AVPageViewGetZoom)(AVPageView pageView);
    void (*AVPageViewZoomTo)(AVPageView pageView, ASFixed zoom);
    ASInt32 (*AVPageViewGetFirstVisiblePageNum)(AVPageView pageView);
    ASInt32 (*AVPageViewGetLastVisiblePageNum)(AVPageView pageView);
    void (*AVPageViewGetAperture)(AVPageView pageView, AVDevRect* rect);
    // Makes a visible page the current page for conversions and drawing without
    // scrolling (AVPageViewGoTo turns to a page).
    void (*AVPageViewSetPageNum)(AVPageView pageView, ASInt32 pageNum);
    void (*AVPageViewPointToDevice)(AVPageView pageView, const ASFixedPoint* point, AVDevCoord* x,
                                    AVDevCoord* y);
    void (*AVPageViewDevicePointToPage)(AVPageView pageView, AVDevCoord x, AVDevCoord y,
                                        ASFixedPoint* point);
    void (*AVPageViewRectToDevice)(AVPageView pageView, const ASFixedRect* rect,
                                   AVDevRect* devRect);
    void (*AVPageViewDeviceRectToPage)(AVPageView pageView, const AVDevRect* devRect,
                                       ASFixedRect* rect);
    // Marks a region (null: all) for redrawing at the next idle pass; DrawNow redraws
    // what is marked at once.
    void (*AVPageViewInvalidateRect)(AVPageView pageView, const AVDevRect* rect);
    void (*AVPageViewDrawNow)(AVPageView pageView);
    // Brackets changes made to the view's pages: redraws wait until the outermost end.
    void (*AVPageViewBeginOperation)(AVPageView pageView);
    void (*AVPageViewEndOperation)(AVPageView pageView);
    // True when a page object the host handles itself (an annotation) is at the point.
    ASBool (*AVPageViewIsAnnotAtPoint)(AVPageView pageView, AVDevCoord x, AVDevCoord y);

    // Drawing the overlay (inside a drawing procedure, or after DrawNow).
    void (*AVAppRegisterForPageViewDrawing)(AVPageViewDrawProc proc, ASClientData clientData);
    void (*AVAppUnregisterForPageViewDrawing)(AVPageViewDrawProc proc, ASClientData clientData);
    void (*AVPageViewSetColor)(AVPageView pageView, const AVRGBColor16* color);
    void (*AVPageViewGetColor)(AVPageView pageView, AVRGBColor16* color);
    // style AVPen*; width in pixels (0 is taken as 1); dash and gap for dashed pens.
    void (*AVPageViewSetPen)(AVPageView pageView, ASInt32 style, ASInt32 width, ASInt32 dash,
                             ASInt32 gap);
    void (*AVPageViewDrawLine)(AVPageView pageView, AVDevCoord x1, AVDevCoord y1, AVDevCoord x2,
                               AVDevCoord y2);
    void (*AVPageViewDrawRectOutline)(AVPageView pageView, const AVDevRect* rect);
    void (*AVPageViewDrawRect)(AVPageView pageView, const AVDevRect* rect);  // filled
    // Text (UTF-8) with its baseline starting at (x, y), size in pixels.
    void (*AVPageViewDrawText)(AVPageView pageView, AVDevCoord x, AVDevCoord y, ASInt32 size,
                               const char* text);
    // Width in pixels of the text at that size (an average advance of 0.6 size per
    // character).
    ASInt32 (*AVPageViewMeasureText)(AVPageView pageView, ASInt32 size, const char* text);

    // Mouse and modifiers. While the button is down after a click, MouseIsStillDown
    // follows the mouse (the position moves on); it answers false once it is released.
    ASInt16 (*AVSysGetModifiers)(void);
    ASBool (*AVSysMouseIsStillDown)(void);
    void (*AVPageViewGetMousePosition)(AVPageView pageView, AVDevCoord* x, AVDevCoord* y);
    // The rubber band: the user drags out a rectangle from the start point until the
    // button is released; result receives it (normalised).
    void (*AVPageViewDragRect)(AVPageView pageView, AVDevCoord xStart, AVDevCoord yStart,
                               AVDevRect* result);
    // Drags the outline of start with the mouse from (xStart, yStart) until the button
    // is released; result receives the moved rectangle.
    void (*AVPageViewDragOutlineRect)(AVPageView pageView, AVDevCoord xStart, AVDevCoord yStart,
                                      const AVDevRect* start, AVDevRect* result);

    // Undo.
    AVUndo (*AVUndoNew)(AVDoc doc, const AVUndoHandler* handler, AVUndoHandlerData data);
    AVUndoHandlerData (*AVUndoGetData)(AVUndo undo);
    void (*AVUndoSetData)(AVUndo undo, AVUndoHandlerData data);
    AVDoc (*AVUndoGetAVDoc)(AVUndo undo);
    const char* (*AVUndoGetType)(AVUndo undo);
    void (*AVDocClearUndos)(AVDoc doc);      // releases every record of the document
    ASInt32 (*AVDocGetNumUndos)(AVDoc doc);  // records that can be undone now
    ASInt32 (*AVDocGetNumRedos)(AVDoc doc);  // records that can be redone now

    // Drop targets. The record is copied; null handlers or RemoveDropHandlers make the
    // window no drop target. The highlight is the rectangle the window shows while a
    // drag is over it (null removes it).
    void (*AVDocSetDropHandlers)(AVDoc doc, const AVDropHandlersRec* handlers,
                                 ASClientData clientData);
    void (*AVDocRemoveDropHandlers)(AVDoc doc);
    void (*AVDocSetDropHighlight)(AVDoc doc, const AVDevRect* rect);

    // Pop-up menus: shows the menu (built with AVMenuNew and AVMenuItemNew, submenus
    // allowed) at the device point of the page view and returns the item chosen (not
    // acquired; its execute procedure is not called), or null.
    AVMenuItem (*AVMenuDoPopUp)(AVMenu menu, AVPageView pageView, AVDevCoord x, AVDevCoord y);

    // Optimizer presets ("Standard", "Smallest", "Web") and saving a document with one.
    ASInt32 (*AVAppGetNumOptimizerPresets)(void);
    ASInt32 (*AVAppGetOptimizerPresetName)(ASInt32 index, char* buffer, ASInt32 bufferSize);
    // Fills params (flags and level; newPath untouched) for the preset; false when the
    // host has no preset of that name.
    ASBool (*AVGetOptimizerParamsForPreset)(const char* preset, AVDoc doc,
                                            AVOptimizerParamsRec* params);
    // Writes an optimized copy of the document to params->newPath (the document keeps
    // its own path). Raises on failure; a failed save leaves no partial file.
    void (*AVDocSaveOptimized)(AVDoc doc, const AVOptimizerParamsRec* params);

    // Cursors: the tool's AdjustCursor (called as the mouse moves over a page view)
    // sets the shape; without a tool, or when it answers false, the arrow is shown.
    void (*AVSysSetCursor)(ASInt32 shape);
    ASInt32 (*AVSysGetCursor)(void);
};
