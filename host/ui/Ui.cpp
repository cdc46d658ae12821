#include "ui/Ui.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <sstream>

#include "app/App.h"
#include "ui/Script.h"

namespace vexa::host::ui {
namespace {

std::vector<Window*>& windowList() {
    static std::vector<Window*> w;
    return w;
}

ModalDriver gDriver;
int gUnanswered = 0;
std::deque<std::string> gChooserAnswers;
std::vector<std::string> gOpened;
bool gHeadless = true;
std::atomic<bool> gEscape{false};
int gBeeps = 0;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string code4(ASUns32 code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((code >> shift) & 0xFF);
    return s;
}

// The text without a trailing ellipsis, colon or blanks, in lower case.
std::string bareText(const std::string& text) {
    std::string s = text;
    for (;;) {
        if (s.size() >= 3 && s.compare(s.size() - 3, 3, "\xE2\x80\xA6") == 0)
            s.resize(s.size() - 3);
        else if (!s.empty() && (s.back() == ':' || s.back() == ' ' || s.back() == '.'))
            s.pop_back();
        else
            break;
    }
    return lower(s);
}

bool isText(ASUns32 kind) {
    return kind == kPUIEditText || kind == kPUIUnitEditText || kind == kPUIComboBox ||
           kind == kPUIStaticText;
}

bool hasMenu(ASUns32 kind) {
    return kind == kPUIPopup || kind == kPUIComboBox || kind == kPUIListBox || kind == kPUITabs;
}

std::string windowLabel(const Window* w) {
    return "dialog \"" + w->name + "\" (" + w->title + ")";
}

std::string controlLabel(const Control* c) {
    return kindName(c->kind) + " " + std::to_string(c->id) +
           (c->text.empty() ? "" : " \"" + c->text + "\"") + " of " + windowLabel(c->window);
}

[[noreturn]] void fail(const std::string& message) {
    throw ScriptError(message);
}

void checkUsable(const Control* c) {
    if (!c) fail("no such control");
    if (!c->enabled) fail(controlLabel(c) + " is disabled");
    if (!c->visible) fail(controlLabel(c) + " is hidden");
}

void fire(Control* c) {
    if (c->handler) c->handler(c, c->handlerData);
}

void copyOut(const std::string& s, char* buffer, ASInt32 size) {
    if (!buffer || size <= 0) return;
    size_t n = std::min(s.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, s.data(), n);
    buffer[n] = 0;
}

// The front end that shows the windows, or null when no application runs.
app::FrontEnd* frontEnd() {
    return app::Application::exists() ? app::Application::current().frontEnd() : nullptr;
}

void changed(Control* c, app::ControlChange what) {
    if (app::FrontEnd* fe = frontEnd()) fe->controlChanged(c, what);
}

// Table members.

PUIWindow windowNew(const char* name, const char* title, ASInt32 width, ASInt32 height,
                    ASBool modal) {
    auto* w = new Window;
    w->name = name ? name : "";
    w->title = title ? title : "";
    w->width = width;
    w->height = height;
    w->modal = modal;
    w->root.window = w;
    w->root.kind = kPUIRootPane;
    w->root.rect = {0, 0, width, height};
    windowList().push_back(w);
    if (app::FrontEnd* fe = frontEnd()) fe->windowCreated(w);
    return w;
}

void windowDestroy(PUIWindow w) {
    auto& list = windowList();
    auto it = std::find(list.begin(), list.end(), w);
    if (it == list.end()) return;  // not a window of ours, or destroyed already
    list.erase(it);
    if (app::FrontEnd* fe = frontEnd()) fe->windowDestroyed(w);
    delete w;
}

PUIControl windowGetRoot(PUIWindow w) {
    return w ? &w->root : nullptr;
}

ASUns32 windowRunModal(PUIWindow w) {
    if (!w) return 0;
    w->visible = true;
    w->running = true;
    w->ended = false;
    w->result = 0;
    struct Done {
        Window* w;
        ~Done() {
            w->running = false;
            w->visible = false;
        }
    } done{w};
    if (app::FrontEnd* fe = frontEnd()) fe->runModal(w);
    if (!w->ended) {
        gUnanswered++;
        std::fprintf(stderr, "vexa: %s was not answered and is cancelled; its controls:\n%s",
                     windowLabel(w).c_str(), describe(w).c_str());
        w->ended = true;
        w->result = PUI_CODE('c', 'n', 'c', 'l');
    }
    return w->result;
}

void windowEndModal(PUIWindow w, ASUns32 result) {
    if (!w) return;
    w->ended = true;
    w->result = result;
    if (app::FrontEnd* fe = frontEnd()) fe->windowShown(w, false);
}

void windowShow(PUIWindow w, ASBool show) {
    if (!w) return;
    w->visible = show;
    if (app::FrontEnd* fe = frontEnd()) fe->windowShown(w, show);
}

void windowSetCloseProc(PUIWindow w, PUIWindowCloseProc proc, ASClientData data) {
    if (!w) return;
    w->closeProc = proc;
    w->closeData = data;
}

void windowGetPos(PUIWindow w, ASInt32* left, ASInt32* top) {
    if (left) *left = w ? w->left : 0;
    if (top) *top = w ? w->top : 0;
}

void windowSetPos(PUIWindow w, ASInt32 left, ASInt32 top) {
    if (!w) return;
    w->left = left;
    w->top = top;
    if (app::FrontEnd* fe = frontEnd()) fe->windowMoved(w);
}

// Without a front end: one screen of 1920 x 1080 pixels.
ASBool pointOnScreen(ASInt32 x, ASInt32 y) {
    if (app::FrontEnd* fe = frontEnd()) return fe->pointOnScreen(x, y);
    return x >= 0 && y >= 0 && x < 1920 && y < 1080;
}

void windowSetRefCon(PUIWindow w, void* refCon) {
    if (w) w->refCon = refCon;
}
void* windowGetRefCon(PUIWindow w) {
    return w ? w->refCon : nullptr;
}

PUIControl controlNew(PUIControl container, ASUns32 kind, const PUIRect* rect, const char* text,
                      ASInt32 id, ASUns32 cmd, ASUns32 flags) {
    if (!container || !container->window) return nullptr;
    Window* w = container->window;
    auto c = std::make_unique<Control>();
    c->window = w;
    c->parent = container;
    c->kind = kind;
    if (rect) c->rect = *rect;
    c->text = text ? text : "";
    c->id = id;
    c->cmd = cmd;
    c->flags = flags;
    Control* raw = c.get();
    w->controls.push_back(std::move(c));
    if (!w->focus && (kind == kPUIEditText || kind == kPUIUnitEditText)) w->focus = raw;
    return raw;
}

PUIWindow controlGetWindow(PUIControl c) {
    return c ? c->window : nullptr;
}
ASUns32 controlGetKind(PUIControl c) {
    return c ? c->kind : 0;
}
ASInt32 controlGetID(PUIControl c) {
    return c ? c->id : -1;
}
ASUns32 controlGetCommand(PUIControl c) {
    return c ? c->cmd : 0;
}

PUIControl windowGetControl(PUIWindow w, ASInt32 index) {
    if (!w || index < 0 || static_cast<size_t>(index) >= w->controls.size()) return nullptr;
    return w->controls[static_cast<size_t>(index)].get();
}

PUIControl windowFindControl(PUIWindow w, ASInt32 id) {
    if (!w) return nullptr;
    for (auto& c : w->controls)
        if (c->id == id) return c.get();
    return nullptr;
}

ASInt32 controlGetText(PUIControl c, char* buffer, ASInt32 size) {
    if (!c) {
        copyOut("", buffer, size);
        return 0;
    }
    std::string text = c->text;
    if (c->kind == kPUIPopup && c->value >= 1 && static_cast<size_t>(c->value) <= c->menu.size())
        text = c->menu[static_cast<size_t>(c->value - 1)];
    copyOut(text, buffer, size);
    return static_cast<ASInt32>(text.size());
}

void controlSetText(PUIControl c, const char* text) {
    if (!c) return;
    c->text = text ? text : "";
    changed(c, app::ControlChange::Text);
}

void controlSelectText(PUIControl c, ASInt32 start, ASInt32 end) {
    if (!c) return;
    c->selStart = start;
    c->selEnd = end < 0 ? static_cast<ASInt32>(c->text.size()) : end;
    changed(c, app::ControlChange::Selection);
}

ASInt32 controlGetValue(PUIControl c) {
    return c ? c->value : 0;
}
void controlSetValue(PUIControl c, ASInt32 value) {
    if (!c) return;
    c->value = value;
    changed(c, app::ControlChange::Value);
}

void controlClearMenu(PUIControl c) {
    if (!c) return;
    c->menu.clear();
    c->value = 0;
    changed(c, app::ControlChange::Menu);
}

void controlAddMenuItem(PUIControl c, const char* text) {
    if (!c) return;
    c->menu.push_back(text ? text : "");
    changed(c, app::ControlChange::Menu);
}

ASInt32 controlCountMenuItems(PUIControl c) {
    return c ? static_cast<ASInt32>(c->menu.size()) : 0;
}

ASInt32 controlGetMenuItemText(PUIControl c, ASInt32 item, char* buffer, ASInt32 size) {
    if (!c || item < 1 || static_cast<size_t>(item) > c->menu.size()) {
        copyOut("", buffer, size);
        return 0;
    }
    const std::string& s = c->menu[static_cast<size_t>(item - 1)];
    copyOut(s, buffer, size);
    return static_cast<ASInt32>(s.size());
}

void controlSetMenuItemText(PUIControl c, ASInt32 item, const char* text) {
    if (c && item >= 1 && static_cast<size_t>(item) <= c->menu.size()) {
        c->menu[static_cast<size_t>(item - 1)] = text ? text : "";
        changed(c, app::ControlChange::Menu);
    }
}

void controlRemoveMenuItem(PUIControl c, ASInt32 item) {
    if (!c || item < 1 || static_cast<size_t>(item) > c->menu.size()) return;
    c->menu.erase(c->menu.begin() + (item - 1));
    if (c->value > static_cast<ASInt32>(c->menu.size()))
        c->value = static_cast<ASInt32>(c->menu.size());
    changed(c, app::ControlChange::Menu);
}

void controlEnable(PUIControl c, ASBool on) {
    if (!c || c->enabled == static_cast<bool>(on)) return;
    c->enabled = on;
    changed(c, app::ControlChange::Enabled);
}
ASBool controlIsEnabled(PUIControl c) {
    return c && c->enabled;
}
void controlShow(PUIControl c, ASBool show) {
    if (!c || c->visible == static_cast<bool>(show)) return;
    c->visible = show;
    changed(c, app::ControlChange::Visible);
}
ASBool controlIsVisible(PUIControl c) {
    return c && c->visible;
}
void controlSetFocus(PUIControl c) {
    if (!c || !c->window) return;
    c->window->focus = c;
    changed(c, app::ControlChange::Focus);
}
PUIControl windowGetFocus(PUIWindow w) {
    return w ? w->focus : nullptr;
}
void controlRedraw(PUIControl) {}

void controlSetProperty(PUIControl c, ASUns32 tag, const char* value) {
    if (c) c->properties[tag] = value ? value : "";
}

ASInt32 controlGetProperty(PUIControl c, ASUns32 tag, char* buffer, ASInt32 size) {
    if (!c) return -1;
    auto it = c->properties.find(tag);
    if (it == c->properties.end()) {
        copyOut("", buffer, size);
        return -1;
    }
    copyOut(it->second, buffer, size);
    return static_cast<ASInt32>(it->second.size());
}

void controlRemoveProperty(PUIControl c, ASUns32 tag) {
    if (c) c->properties.erase(tag);
}

void controlSetHandler(PUIControl c, PUIControlProc proc, ASClientData data) {
    if (!c) return;
    c->handler = proc;
    c->handlerData = data;
}

void controlSetKeyFilter(PUIControl c, PUIKeyFilterProc proc, ASClientData data) {
    if (!c) return;
    c->keyFilter = proc;
    c->keyFilterData = data;
}

bool answerChooser(const app::ChooserRequest& request, char* path, ASInt32 size) {
    std::string answer;
    app::FrontEnd* fe = frontEnd();
    if (!fe || !fe->choose(request, &answer) || answer.empty()) return false;
    copyOut(answer, path, size);
    return static_cast<ASInt32>(answer.size()) < size;
}

ASBool chooseFile(const char* title, const char* filter, const char* initialPath, ASUns32 flags,
                  char* path, ASInt32 size) {
    app::ChooserRequest r;
    r.kind =
        (flags & kPUIChooseForSave) ? app::ChooserRequest::SaveFile : app::ChooserRequest::OpenFile;
    r.title = title ? title : "";
    r.filter = filter ? filter : "";
    r.initialPath = initialPath ? initialPath : "";
    return answerChooser(r, path, size);
}

ASBool chooseFolder(const char* title, const char* initialPath, char* path, ASInt32 size) {
    app::ChooserRequest r;
    r.kind = app::ChooserRequest::Folder;
    r.title = title ? title : "";
    r.initialPath = initialPath ? initialPath : "";
    return answerChooser(r, path, size);
}

ASBool openWithDefaultApp(const char* path) {
    if (!path || !*path) return false;
    gOpened.push_back(path);
    app::FrontEnd* fe = frontEnd();
    return fe && fe->openWithDesktop(path);
}

void sysBeep() {
    gBeeps++;
    if (app::FrontEnd* fe = frontEnd()) fe->beep();
}

ASBool checkForEscKey() {
    return gEscape.load();
}
void clearEscKey() {
    gEscape.store(false);
}

std::unique_ptr<InterruptAsEscape>& longRunScope() {
    static std::unique_ptr<InterruptAsEscape> scope;
    return scope;
}
int gLongRuns = 0;

void beginLongRun() {
    if (gLongRuns++ == 0) {
        gEscape.store(false);
        longRunScope() = std::make_unique<InterruptAsEscape>();
    }
}

void endLongRun() {
    if (gLongRuns > 0 && --gLongRuns == 0) longRunScope().reset();
}

PlatformUIHFT makeTable() {
    PlatformUIHFT t{};
    t.hdr = {kPlatformUIHFTName, kPlatformUIHFTVersion, sizeof(PlatformUIHFT)};
    t.PUIWindowNew = windowNew;
    t.PUIWindowDestroy = windowDestroy;
    t.PUIWindowGetRoot = windowGetRoot;
    t.PUIWindowRunModal = windowRunModal;
    t.PUIWindowEndModal = windowEndModal;
    t.PUIWindowShow = windowShow;
    t.PUIWindowSetCloseProc = windowSetCloseProc;
    t.PUIWindowGetPos = windowGetPos;
    t.PUIWindowSetPos = windowSetPos;
    t.PUIPointOnScreen = pointOnScreen;
    t.PUIWindowSetRefCon = windowSetRefCon;
    t.PUIWindowGetRefCon = windowGetRefCon;
    t.PUIControlNew = controlNew;
    t.PUIControlGetWindow = controlGetWindow;
    t.PUIControlGetKind = controlGetKind;
    t.PUIControlGetID = controlGetID;
    t.PUIControlGetCommand = controlGetCommand;
    t.PUIWindowGetControl = windowGetControl;
    t.PUIWindowFindControl = windowFindControl;
    t.PUIControlGetText = controlGetText;
    t.PUIControlSetText = controlSetText;
    t.PUIControlSelectText = controlSelectText;
    t.PUIControlGetValue = controlGetValue;
    t.PUIControlSetValue = controlSetValue;
    t.PUIControlClearMenu = controlClearMenu;
    t.PUIControlAddMenuItem = controlAddMenuItem;
    t.PUIControlCountMenuItems = controlCountMenuItems;
    t.PUIControlGetMenuItemText = controlGetMenuItemText;
    t.PUIControlSetMenuItemText = controlSetMenuItemText;
    t.PUIControlRemoveMenuItem = controlRemoveMenuItem;
    t.PUIControlEnable = controlEnable;
    t.PUIControlIsEnabled = controlIsEnabled;
    t.PUIControlShow = controlShow;
    t.PUIControlIsVisible = controlIsVisible;
    t.PUIControlSetFocus = controlSetFocus;
    t.PUIWindowGetFocus = windowGetFocus;
    t.PUIControlRedraw = controlRedraw;
    t.PUIControlSetProperty = controlSetProperty;
    t.PUIControlGetProperty = controlGetProperty;
    t.PUIControlRemoveProperty = controlRemoveProperty;
    t.PUIControlSetHandler = controlSetHandler;
    t.PUIControlSetKeyFilter = controlSetKeyFilter;
    t.PUIChooseFile = chooseFile;
    t.PUIChooseFolder = chooseFolder;
    t.PUIOpenWithDefaultApp = openWithDefaultApp;
    t.PUIBeep = sysBeep;
    t.PUICheckForEscKey = checkForEscKey;
    t.PUIClearEscKey = clearEscKey;
    t.PUIBeginLongRun = beginLongRun;
    t.PUIEndLongRun = endLongRun;
    return t;
}

struct sigaction gOldInt;
int gInterruptDepth = 0;

void onInterrupt(int) {
    if (gEscape.load()) {
        // A second Ctrl-C while the first is still pending: end as usual.
        sigaction(SIGINT, &gOldInt, nullptr);
        raise(SIGINT);
        return;
    }
    gEscape.store(true);
}

}  // namespace

const PlatformUIHFT* platformUITable() {
    static const PlatformUIHFT table = makeTable();
    static bool commands = (registerUiScriptCommands(), true);
    (void)commands;
    return &table;
}

const std::vector<Window*>& windows() {
    return windowList();
}

Window* frontWindow() {
    auto& list = windowList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->running && !(*it)->ended) return *it;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->visible) return *it;
    return nullptr;
}

Window* findWindow(const std::string& name) {
    std::string n = lower(name);
    auto& list = windowList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (lower((*it)->name) == n || lower((*it)->title) == n) return *it;
    return nullptr;
}

Control* findControl(Window* w, const std::string& ref) {
    if (!w || ref.empty()) return nullptr;
    char* end = nullptr;
    long id = std::strtol(ref.c_str(), &end, 10);
    if (end && *end == 0) {
        for (auto& c : w->controls)
            if (c->id == id) return c.get();
        return nullptr;
    }
    // "TEXT#N": the Nth control (labels counted) with that text, in the dialog's order.
    std::size_t hash = ref.rfind('#');
    if (hash != std::string::npos && hash > 0 && hash + 1 < ref.size()) {
        long n = std::strtol(ref.c_str() + hash + 1, &end, 10);
        if (end && *end == 0 && n >= 1) {
            std::string want = bareText(ref.substr(0, hash));
            for (auto& c : w->controls)
                if (bareText(c->text) == want && --n == 0) return c.get();
            return nullptr;
        }
    }
    std::string want = bareText(ref);
    for (auto& c : w->controls)
        if (c->kind != kPUIStaticText && bareText(c->text) == want) return c.get();
    for (auto& c : w->controls)
        if (bareText(c->text) == want) return c.get();
    for (auto& c : w->controls)
        if (c->cmd && bareText(code4(c->cmd)) == want) return c.get();
    return nullptr;
}

std::string kindName(ASUns32 kind) {
    switch (kind) {
        case kPUIPushButton:
            return "button";
        case kPUICheckBox:
            return "checkbox";
        case kPUIRadioButton:
            return "radio";
        case kPUIGroupBox:
            return "group";
        case kPUIStaticText:
            return "label";
        case kPUIEditText:
            return "field";
        case kPUIUnitEditText:
            return "value-field";
        case kPUIComboBox:
            return "combo";
        case kPUIPopup:
            return "popup";
        case kPUIListBox:
            return "list";
        case kPUIProgressBar:
            return "progress";
        case kPUITabs:
            return "tabs";
        case kPUISeparator:
            return "separator";
        case kPUIRadioGroup:
            return "radio-group";
        case kPUIUserPane:
            return "pane";
        default:
            return code4(kind);
    }
}

std::string describeOnOneLine(const Window* w) {
    std::string list, line;
    std::istringstream lines(describe(w));
    while (std::getline(lines, line)) list += (list.empty() ? "" : "; ") + line.substr(2);
    return list;
}

// A dialog waiting for the script's answer, on one line: its controls joined by "; ".
std::string describeWaiting(const Window* w) {
    return windowLabel(w) + " (controls: " + describeOnOneLine(w) + ")";
}

std::string describe(const Window* w) {
    std::string out;
    if (!w) return out;
    for (auto& c : w->controls) {
        if (c->kind == kPUISeparator || c->kind == kPUIUserPane) continue;
        out += "  " + std::to_string(c->id) + " " + kindName(c->kind);
        if (!c->text.empty()) out += " \"" + c->text + "\"";
        if (c->kind == kPUICheckBox || c->kind == kPUIRadioButton || hasMenu(c->kind))
            out += " value " + std::to_string(c->value);
        if (hasMenu(c->kind)) {
            out += " [";
            for (size_t i = 0; i < c->menu.size(); i++) out += (i ? " | " : "") + c->menu[i];
            out += "]";
        }
        if (!c->enabled) out += " disabled";
        if (!c->visible) out += " hidden";
        if (w->focus == c.get()) out += " focused";
        out += "\n";
    }
    return out;
}

void requireUsable(Control* c) {
    checkUsable(c);
}

void setText(Control* c, const std::string& text) {
    checkUsable(c);
    if (!isText(c->kind) || c->kind == kPUIStaticText) fail(controlLabel(c) + " takes no text");
    c->text = text;
    c->window->focus = c;
    fire(c);
}

int pickIndex(Control* c, const std::string& item) {
    checkUsable(c);
    if (!hasMenu(c->kind)) fail(controlLabel(c) + " has no menu");
    int index = 0;
    char* end = nullptr;
    long n = std::strtol(item.c_str(), &end, 10);
    if (end && *end == 0 && !item.empty()) {
        index = static_cast<int>(n);
    } else {
        std::string want = bareText(item);
        for (size_t i = 0; i < c->menu.size(); i++)
            if (bareText(c->menu[i]) == want) index = static_cast<int>(i + 1);
    }
    if (index < 1 || static_cast<size_t>(index) > c->menu.size())
        fail("\"" + item + "\" is no item of " + controlLabel(c));
    return index;
}

void pick(Control* c, const std::string& item) {
    int index = pickIndex(c, item);
    c->value = index;
    if (c->kind == kPUIComboBox) c->text = c->menu[static_cast<size_t>(index - 1)];
    fire(c);
}

void toggle(Control* c, int state) {
    checkUsable(c);
    if (c->kind != kPUICheckBox && c->kind != kPUIRadioButton)
        fail(controlLabel(c) + " is no check box");
    if (c->kind == kPUIRadioButton) {
        press(c);
        return;
    }
    c->value = state < 0 ? !c->value : state;
    fire(c);
}

void press(Control* c) {
    checkUsable(c);
    // A button of a modeless window (the palette) names what it does ("Rotate"); a
    // modal dialog's buttons ("OK") do not, nor do check boxes and radio buttons.
    std::optional<app::Application::NamedAction> action;
    if (c->kind == kPUIPushButton && c->window && !c->window->modal && app::Application::exists())
        action.emplace(app::Application::current(), c->text);
    switch (c->kind) {
        case kPUICheckBox:
            c->value = !c->value;
            break;
        case kPUIRadioButton:
            for (auto& other : c->window->controls)
                if (other->kind == kPUIRadioButton && other->parent == c->parent) other->value = 0;
            c->value = 1;
            break;
        case kPUIPushButton:
            break;
        default:
            fail(controlLabel(c) + " cannot be pressed");
    }
    fire(c);
}

void typeKey(Window* w, ASUns16 key) {
    if (!w) fail("no dialog is open");
    if (!w->visible) fail(windowLabel(w) + " is not shown");
    Control* focus = w->focus;
    if (focus && focus->keyFilter && focus->keyFilter(focus, key, 0, focus->keyFilterData)) return;
    if (key == 13) {
        if (focus && (focus->flags & kPUIMultiLine)) {
            focus->text += "\n";
            return;
        }
        for (auto& c : w->controls)
            if (c->flags & kPUIDefaultButton) return press(c.get());
        fail(windowLabel(w) + " has no default button");
    } else if (key == 27) {
        for (auto& c : w->controls)
            if ((c->flags & kPUICancelButton) && c->enabled) return press(c.get());
        if (w->modal) {
            w->ended = true;
            w->result = PUI_CODE('c', 'n', 'c', 'l');
        } else {
            closeWindow(w);
        }
    } else if (key == 9) {
        auto& cs = w->controls;
        size_t start = 0;
        for (size_t i = 0; i < cs.size(); i++)
            if (cs[i].get() == focus) start = i + 1;
        for (size_t k = 0; k < cs.size(); k++) {
            Control* c = cs[(start + k) % cs.size()].get();
            if (c->enabled && c->visible &&
                (c->kind == kPUIEditText || c->kind == kPUIUnitEditText ||
                 c->kind == kPUIComboBox)) {
                w->focus = c;
                return;
            }
        }
    }
}

void closeWindow(Window* w) {
    if (!w || w->modal || !w->closeProc) return;
    PUIWindowCloseProc proc = w->closeProc;
    proc(w, w->closeData);
    windowDestroy(w);
}

void setModalDriver(ModalDriver driver) {
    gDriver = std::move(driver);
}
const ModalDriver& modalDriver() {
    return gDriver;
}
int unansweredCount() {
    return gUnanswered;
}
void noteUnanswered() {
    gUnanswered++;
}
void queueChooserAnswer(const std::string& path) {
    gChooserAnswers.push_back(path);
}
bool takeChooserAnswer(std::string* path) {
    if (gChooserAnswers.empty()) return false;
    *path = gChooserAnswers.front();
    gChooserAnswers.pop_front();
    return true;
}
void clearChooserAnswers() {
    gChooserAnswers.clear();
}
const std::vector<std::string>& openedFiles() {
    return gOpened;
}
bool headless() {
    return gHeadless;
}
void setEscapePending(bool pending) {
    gEscape.store(pending);
}
bool escapePending() {
    return gEscape.load();
}
int beepCount() {
    return gBeeps;
}

InterruptAsEscape::InterruptAsEscape() {
    if (gInterruptDepth++ > 0) return;
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &gOldInt);
}

InterruptAsEscape::~InterruptAsEscape() {
    if (--gInterruptDepth > 0) return;
    sigaction(SIGINT, &gOldInt, nullptr);
}

void resetUi() {
    auto list = windowList();
    for (Window* w : list) windowDestroy(w);
    gChooserAnswers.clear();
    gOpened.clear();
    gEscape.store(false);
    gUnanswered = 0;
}

}  // namespace vexa::host::ui
