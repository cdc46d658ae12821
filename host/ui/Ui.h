// The host's dialog services (the PlatformUI table). Windows and controls live in
// memory and every change is told to the application's front end: the headless front
// end lets the script (or, in tests, a modal driver) drive them; the desktop front end
// shows them as real widgets, which act on them through the actions below.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PlatformUIHFT.h"

struct _t_PUIWindow;

struct _t_PUIControl {
    _t_PUIWindow* window = nullptr;
    _t_PUIControl* parent = nullptr;
    ASUns32 kind = 0;
    PUIRect rect{0, 0, 0, 0};
    std::string text;
    ASInt32 id = -1;
    ASUns32 cmd = 0;
    ASUns32 flags = 0;
    ASInt32 value = 0;
    std::vector<std::string> menu;
    bool enabled = true;
    bool visible = true;
    ASInt32 selStart = 0, selEnd = 0;
    std::map<ASUns32, std::string> properties;
    PUIControlProc handler = nullptr;
    ASClientData handlerData = nullptr;
    PUIKeyFilterProc keyFilter = nullptr;
    ASClientData keyFilterData = nullptr;
};

struct _t_PUIWindow {
    std::string name;
    std::string title;
    ASInt32 width = 0, height = 0;
    ASInt32 left = 100, top = 100;
    bool modal = false;
    bool visible = false;
    bool running = false;  // a modal run is in progress
    bool ended = false;
    ASUns32 result = 0;
    void* refCon = nullptr;
    PUIWindowCloseProc closeProc = nullptr;
    ASClientData closeData = nullptr;
    _t_PUIControl root;
    std::vector<std::unique_ptr<_t_PUIControl>> controls;  // creation order
    _t_PUIControl* focus = nullptr;
};

namespace vexa::host::ui {

using Window = _t_PUIWindow;
using Control = _t_PUIControl;

const PlatformUIHFT* platformUITable();
// Registers the dialog commands of scripts (called with the table).
void registerUiScriptCommands();

// Windows in creation order; the front window is the running modal dialog, or else
// the last visible window.
const std::vector<Window*>& windows();
Window* frontWindow();
Window* findWindow(const std::string& name);  // by name or title, any case

// A control by reference: its identifier, its text (any case, without a trailing
// "…" or ":"), or its command code. Null when none.
Control* findControl(Window* window, const std::string& ref);
std::string kindName(ASUns32 kind);
// One line per control: identifier, kind, text, value, menu, state.
std::string describe(const Window* window);
// The same joined by "; ", for an error that keeps to one line.
std::string describeOnOneLine(const Window* window);
// The window and its controls on one line, as a script error names a dialog left
// waiting.
std::string describeWaiting(const Window* window);

// What the user does. Each fails with std::runtime_error (a ScriptError in scripts)
// when the control cannot take the action (disabled, hidden, wrong kind).
void setText(Control* control, const std::string& text);
// Fails as the actions do when the control cannot be used (disabled, hidden).
void requireUsable(Control* control);
// The item (from 1) that pick chooses for a number or an item text; fails as pick.
int pickIndex(Control* control, const std::string& item);
void pick(Control* control, const std::string& item);  // a number from 1 or an item text
void toggle(Control* control, int state);              // -1 toggles, 0 off, 1 on
void press(Control* control);
// Return, Escape or Tab typed into the focused control of the window.
void typeKey(Window* window, ASUns16 key);
// The user closes a modeless window (its close box): its close procedure runs and the
// window is destroyed. Windows without a close procedure stay.
void closeWindow(Window* window);

// Modal dialogs of the headless front end outside a script call the driver (tests); a
// driver that leaves the dialog open, or no driver, cancels it with a message on
// stderr. Every front end's modal run that ends without an answer is cancelled so.
using ModalDriver = std::function<void(Window& window)>;
void setModalDriver(ModalDriver driver);
const ModalDriver& modalDriver();
// The number of dialogs and choosers cancelled for want of an answer.
int unansweredCount();
void noteUnanswered();

// Answers for file and folder choosers: a path, or empty to cancel. Queued answers are
// used first; in a script the chooser otherwise waits for a "choose" line.
void queueChooserAnswer(const std::string& path);
void clearChooserAnswers();
bool takeChooserAnswer(std::string* path);  // false when none is queued

// Files handed to "open with the default application" (the headless host prints
// them; with headless off and a display, xdg-open opens them).
const std::vector<std::string>& openedFiles();
bool headless();

// Pending Escape.
void setEscapePending(bool pending);
bool escapePending();
// While it lives, Ctrl-C (SIGINT) becomes a pending Escape instead of ending the
// process; a second Ctrl-C while one is pending ends it as usual.
class InterruptAsEscape {
  public:
    InterruptAsEscape();
    ~InterruptAsEscape();
    InterruptAsEscape(const InterruptAsEscape&) = delete;
    InterruptAsEscape& operator=(const InterruptAsEscape&) = delete;
};

int beepCount();

// Destroys every window (tests, end of a session).
void resetUi();

}  // namespace vexa::host::ui
