// The PlatformUI table: what a desktop platform offers a plug-in beside the document
// interface — dialog windows and their controls, file and folder choosers, opening
// files with their default application, the system beep and pending keys. The
// headless host keeps dialogs in memory and lets a script drive them; the desktop host
// shows them as real windows.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kPlatformUIHFTVersion HFT_VERSION(1, 0)

// A dialog window and a control inside it (the window's root pane is a control too).
// Both are owned by the host; a control lives as long as its window.
typedef struct _t_PUIWindow* PUIWindow;
typedef struct _t_PUIControl* PUIControl;

// Control kinds, as four-character codes (first character in the most significant byte).
#define PUI_CODE(a, b, c, d) \
    ((ASUns32)(((ASUns32)(a) << 24) | ((ASUns32)(b) << 16) | ((ASUns32)(c) << 8) | (ASUns32)(d)))
enum : ASUns32 {
    kPUIPushButton = PUI_CODE('p', 'u', 's', 'h'),
    kPUICheckBox = PUI_CODE('c', 'b', 'o', 'x'),
    kPUIRadioButton = PUI_CODE('r', 'd', 'i', 'o'),
    kPUIGroupBox = PUI_CODE('g', 'r', 'p', 'b'),
    kPUIStaticText = PUI_CODE('s', 't', 'x', 't'),
    kPUIEditText = PUI_CODE('e', 't', 'x', 't'),
    kPUIUnitEditText = PUI_CODE('e', 'u', 't', 'x'),
    kPUIComboBox = PUI_CODE('c', 'o', 'm', 'b'),
    kPUIPopup = PUI_CODE('p', 'o', 'p', 'b'),
    kPUIListBox = PUI_CODE('l', 'b', 'o', 'x'),
    kPUIProgressBar = PUI_CODE('p', 'r', 'g', 'b'),
    kPUITabs = PUI_CODE('t', 'a', 'b', 's'),
    kPUISeparator = PUI_CODE('s', 'e', 'p', 'a'),
    kPUIRadioGroup = PUI_CODE('r', 'g', 'r', 'p'),
    kPUIUserPane = PUI_CODE('u', 'p', 'a', 'n'),
    kPUIRootPane = PUI_CODE('r', 'o', 'o', 't'),
};

// Control options (PUIControlNew's flags).
enum : ASUns32 {
    kPUIJustCenter = 1,
    kPUIJustRight = 2,
    kPUIPassword = 4,
    kPUIMultiLine = 8,
    kPUIDefaultButton = 16,  // Return presses it
    kPUICancelButton = 32,   // Escape presses it
    kPUIReadOnly = 64,       // a static text shown as a read-only field
};

// Called when the user uses a control: presses a button, toggles a box, picks a
// pop-up item or a list row, or finishes editing a field.
typedef void (*PUIControlProc)(PUIControl control, ASClientData clientData);
// Called for a key typed into a control (codes as for page views: Tab 9, Return 13,
// Escape 27); returns true when it consumed the key.
typedef ASBool (*PUIKeyFilterProc)(PUIControl control, ASUns16 key, ASInt16 flags,
                                   ASClientData clientData);
// Called when the user closes a modeless window (its close box); the window is
// destroyed after the call.
typedef void (*PUIWindowCloseProc)(PUIWindow window, ASClientData clientData);

// The rectangle of a control, x and y relative to its container, in pixels.
struct PUIRect {
    ASInt32 x;
    ASInt32 y;
    ASInt32 width;
    ASInt32 height;
};

// File chooser flags.
enum : ASUns32 {
    kPUIChooseForSave = 1,  // a save chooser: the file need not exist
};

struct PlatformUIHFT {
    HFTHeader hdr;

    // Windows. name identifies the window to the user and to scripts (the description
    // name, "IMPOSE"); title is shown. A window starts hidden.
    PUIWindow (*PUIWindowNew)(const char* name, const char* title, ASInt32 width, ASInt32 height,
                              ASBool modal);
    void (*PUIWindowDestroy)(PUIWindow window);
    PUIControl (*PUIWindowGetRoot)(PUIWindow window);
    // Runs the window modally until PUIWindowEndModal; returns the result given there.
    ASUns32 (*PUIWindowRunModal)(PUIWindow window);
    void (*PUIWindowEndModal)(PUIWindow window, ASUns32 result);
    void (*PUIWindowShow)(PUIWindow window, ASBool show);
    void (*PUIWindowSetCloseProc)(PUIWindow window, PUIWindowCloseProc proc,
                                  ASClientData clientData);
    // Position of the window's top left corner in global screen pixels.
    void (*PUIWindowGetPos)(PUIWindow window, ASInt32* left, ASInt32* top);
    void (*PUIWindowSetPos)(PUIWindow window, ASInt32 left, ASInt32 top);
    // True when the point lies on one of the screens.
    ASBool (*PUIPointOnScreen)(ASInt32 x, ASInt32 y);
    // The plug-in's own word for the window (its CMyDialog); null until set.
    void (*PUIWindowSetRefCon)(PUIWindow window, void* refCon);
    void* (*PUIWindowGetRefCon)(PUIWindow window);

    // Controls. cmd is the four-character command code sent when used (0 none).
    PUIControl (*PUIControlNew)(PUIControl container, ASUns32 kind, const PUIRect* rect,
                                const char* text, ASInt32 id, ASUns32 cmd, ASUns32 flags);
    PUIWindow (*PUIControlGetWindow)(PUIControl control);
    ASUns32 (*PUIControlGetKind)(PUIControl control);
    ASInt32 (*PUIControlGetID)(PUIControl control);
    ASUns32 (*PUIControlGetCommand)(PUIControl control);
    // Controls of a window in creation order, from 0; null past the last.
    PUIControl (*PUIWindowGetControl)(PUIWindow window, ASInt32 index);
    // The first control with that identifier, or null.
    PUIControl (*PUIWindowFindControl)(PUIWindow window, ASInt32 id);

    // Text: copies at most size - 1 bytes, terminated; returns the full length.
    ASInt32 (*PUIControlGetText)(PUIControl control, char* buffer, ASInt32 size);
    void (*PUIControlSetText)(PUIControl control, const char* text);
    void (*PUIControlSelectText)(PUIControl control, ASInt32 start, ASInt32 end);
    // Value: check state (0, 1), chosen pop-up item or list row (from 1, 0 none),
    // progress value.
    ASInt32 (*PUIControlGetValue)(PUIControl control);
    void (*PUIControlSetValue)(PUIControl control, ASInt32 value);
    // Menus of pop-ups, combo boxes and list boxes; items from 1.
    void (*PUIControlClearMenu)(PUIControl control);
    void (*PUIControlAddMenuItem)(PUIControl control, const char* text);
    ASInt32 (*PUIControlCountMenuItems)(PUIControl control);
    ASInt32 (*PUIControlGetMenuItemText)(PUIControl control, ASInt32 item, char* buffer,
                                         ASInt32 size);
    void (*PUIControlSetMenuItemText)(PUIControl control, ASInt32 item, const char* text);
    void (*PUIControlRemoveMenuItem)(PUIControl control, ASInt32 item);

    void (*PUIControlEnable)(PUIControl control, ASBool enable);
    ASBool (*PUIControlIsEnabled)(PUIControl control);
    void (*PUIControlShow)(PUIControl control, ASBool show);
    ASBool (*PUIControlIsVisible)(PUIControl control);
    void (*PUIControlSetFocus)(PUIControl control);
    PUIControl (*PUIWindowGetFocus)(PUIWindow window);
    void (*PUIControlRedraw)(PUIControl control);

    // Named text properties of a control (the description's extra elements, "unit",
    // "vmin", "vmax"). GetProperty returns the length, or -1 when not set.
    void (*PUIControlSetProperty)(PUIControl control, ASUns32 tag, const char* value);
    ASInt32 (*PUIControlGetProperty)(PUIControl control, ASUns32 tag, char* buffer, ASInt32 size);
    void (*PUIControlRemoveProperty)(PUIControl control, ASUns32 tag);

    void (*PUIControlSetHandler)(PUIControl control, PUIControlProc proc, ASClientData clientData);
    void (*PUIControlSetKeyFilter)(PUIControl control, PUIKeyFilterProc proc,
                                   ASClientData clientData);

    // File and folder choosers: true and the chosen path (UTF-8, at most size - 1
    // bytes) when the user chose one. filter is a pattern such as "*.pdf" or null.
    ASBool (*PUIChooseFile)(const char* title, const char* filter, const char* initialPath,
                            ASUns32 flags, char* path, ASInt32 size);
    ASBool (*PUIChooseFolder)(const char* title, const char* initialPath, char* path, ASInt32 size);
    // Opens a file or folder with the system's default application; false on failure.
    ASBool (*PUIOpenWithDefaultApp)(const char* path);

    void (*PUIBeep)(void);
    // True while an Escape is pending (typed by the user, or an interrupt of a long
    // run); ClearEscKey forgets it.
    ASBool (*PUICheckForEscKey)(void);
    void (*PUIClearEscKey)(void);
    // Bracket a long run: from Begin to End an interrupt of the host (Ctrl-C of the
    // headless host) becomes a pending Escape. Begin forgets an earlier Escape. Runs nest.
    void (*PUIBeginLongRun)(void);
    void (*PUIEndLongRun)(void);
};
