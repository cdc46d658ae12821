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
};
