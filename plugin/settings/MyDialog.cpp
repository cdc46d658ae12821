#include "settings/MyDialog.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Common/API.h"
#include "Common/ErrorHandling.h"
#include "settings/MyStrings.h"
#include "settings/MyXML.h"

namespace {

ASUns32 gSignature = 0;

const PlatformUIHFT* ui() {
    return gPlatformUIHFT;
}

bool isContainer(ASUns32 kind) {
    return kind == kPUIGroupBox || kind == kPUITabs || kind == kPUIRadioGroup ||
           kind == kPUIUserPane;
}

const ASUns32 kEndGroup = MY_CODE('#', '#', '#', '#');

// The extra property elements of a control description.
const char* const kPropertyNames[] = {"sap ", "empt", "amnt", "date", "data",
                                      "pref", "dval", "unit", "vmin", "vmax"};

ASUns32 codeOf(const char* four) {
    return MY_CODE(four[0], four[1], four[2], four[3]);
}

struct BuildState {
    CMyDialog* dialog;
    PUIWindow window;
    std::vector<PUIControl> containers;
};

bool buildControl(const char* data, ASInt32, void* clientData) {
    auto* st = static_cast<BuildState*>(clientData);
    ASUns32 kind = getXMLOSType(data, "type");
    if (kind == kEndGroup) {
        if (st->containers.size() > 1) st->containers.pop_back();
        return true;
    }
    if (kind == 0) return true;
    char text[256] = "";
    char raw[256] = "";
    if (getXMLString(data, "text", raw) > 0) getString(raw, text);
    ASInt32 id = getXMLValue(data, "id", -1);
    PUIRect r{0, 0, 0, 0};
    char rect[256] = "";
    if (getXMLString(data, "rect", rect) > 0)
        std::sscanf(rect, "%d %d %d %d", &r.x, &r.y, &r.width, &r.height);
    ASUns32 cmd = getXMLOSType(data, "cmd");
    ASUns32 flags = 0;
    char just[256] = "";
    if (getXMLString(data, "just", just) > 0) {
        if (std::strcmp(just, "center") == 0) flags |= kPUIJustCenter;
        if (std::strcmp(just, "right") == 0) flags |= kPUIJustRight;
    }
    if (getXMLValue(data, "pass", 0) == 1) flags |= kPUIPassword;
    if (getXMLValue(data, "multi", 0) == 1) flags |= kPUIMultiLine;
    // In dialogs 1 is the default and 2 the cancel button; windows such as the palette
    // number their buttons freely.
    if (st->dialog->isModal() && kind == kPUIPushButton && id == 1) flags |= kPUIDefaultButton;
    if (st->dialog->isModal() && kind == kPUIPushButton && id == 2) flags |= kPUICancelButton;
    char sap[256];
    if (kind == kPUIStaticText && getXMLString(data, "sap ", sap) > 0) flags |= kPUIReadOnly;

    PUIControl parent = st->containers.back();
    PUIControl c = ui()->PUIControlNew(parent, kind, &r, text, id, cmd, flags);
    if (!c) return true;
    for (const char* prop : kPropertyNames) {
        char value[256];
        if (findXMLElement(data, prop, data, nullptr, nullptr, nullptr)) {
            value[0] = 0;
            getXMLString(data, prop, value);
            ui()->PUIControlSetProperty(c, codeOf(prop), value);
        }
    }
    if (kind == kPUIPopup || kind == kPUIComboBox || kind == kPUIListBox) {
        struct Menu {
            PUIControl control;
        } menu{c};
        EnumXMLData(
            data, "menu", "item",
            [](const char* item, ASInt32, void* cd) {
                auto* m = static_cast<Menu*>(cd);
                char key[256] = "", label[256];
                getXMLString(item, "item", key);
                gPlatformUIHFT->PUIControlAddMenuItem(m->control, getString(key, label));
                return true;
            },
            &menu);
        if (kind == kPUIPopup && ui()->PUIControlCountMenuItems(c) > 0)
            ui()->PUIControlSetValue(c, 1);
    }
    if (kind == kPUITabs) {
        for (int i = 1;; i++) {
            char name[16], key[256] = "", label[256];
            std::snprintf(name, sizeof name, "text%d", i);
            if (!findXMLElement(data, name, data, nullptr, nullptr, nullptr)) break;
            getXMLString(data, name, key);
            ui()->PUIControlAddMenuItem(c, getString(key, label));
        }
    }
    ui()->PUIControlSetHandler(c, nullptr, nullptr);
    if (isContainer(kind)) st->containers.push_back(c);
    return true;
}

double parseNumber(const char* text, const char** end) {
    std::string s = text ? text : "";
    for (char& ch : s)
        if (ch == ',') ch = '.';
    char* e = nullptr;
    double v = std::strtod(s.c_str(), &e);
    if (end) *end = text + (e - s.c_str());
    return std::isfinite(v) ? v : 0.0;
}

}  // namespace

// Value fields.

ASFixed stringToFixed(const char* text, ASInt32 unit) {
    if (!text) return 0;
    double number = parseNumber(text, nullptr);
    if (std::strstr(text, "mm"))
        unit = kUnitMM;
    else if (std::strstr(text, "cm"))
        unit = kUnitCM;
    else if (std::strstr(text, "pt"))
        unit = kUnitPoints;
    else if (std::strstr(text, "inch") || std::strchr(text, '"'))
        unit = kUnitInch;
    else if (std::strchr(text, '%'))
        unit = kUnitPercent;
    double v = std::trunc(number / unitFactor(unit));
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<ASFixed>(v);
}

static ASInt32 propertyInt(PUIControl control, ASUns32 tag, ASInt32 def) {
    char buf[64];
    if (!ui() || ui()->PUIControlGetProperty(control, tag, buf, sizeof buf) <= 0) return def;
    long long v = std::strtoll(buf, nullptr, 0);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<ASInt32>(v);
}

void setControlFixed(PUIControl control, ASFixed value, ASInt32 unit, ASFixed min, ASFixed max) {
    if (!control || !ui()) return;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", unit);
    ui()->PUIControlSetProperty(control, kPropUnit, buf);
    std::snprintf(buf, sizeof buf, "%d", min);
    ui()->PUIControlSetProperty(control, kPropMin, buf);
    std::snprintf(buf, sizeof buf, "%d", max);
    ui()->PUIControlSetProperty(control, kPropMax, buf);
    ui()->PUIControlSetText(control, fixedToString(value, unit, buf));
}

void setDlgItemFixed(CMyDialog* dialog, ASInt32 id, ASFixed value, ASInt32 unit, ASFixed min,
                     ASFixed max) {
    if (dialog) setControlFixed(dialog->getControl(id), value, unit, min, max);
}

ASFixed getControlFixed(PUIControl control) {
    if (!control || !ui()) return 0;
    char text[256];
    ui()->PUIControlGetText(control, text, sizeof text);
    return stringToFixed(text, propertyInt(control, kPropUnit, kUnitNone));
}

ASFixed getControlFixed(CMyDialog* dialog, ASInt32 id) {
    return dialog ? getControlFixed(dialog->getControl(id)) : 0;
}

bool checkEditControls(CMyDialog* dialog) {
    if (!dialog || !dialog->getWindow() || !ui()) return true;
    for (ASInt32 i = 0;; i++) {
        PUIControl c = ui()->PUIWindowGetControl(dialog->getWindow(), i);
        if (!c) break;
        if (ui()->PUIControlGetKind(c) != kPUIUnitEditText) continue;
        ASFixed v = getControlFixed(c);
        if (v < propertyInt(c, kPropMin, INT32_MIN) || v > propertyInt(c, kPropMax, INT32_MAX)) {
            beep();
            ui()->PUIControlSetFocus(c);
            ui()->PUIControlSelectText(c, 0, -1);
            return false;
        }
    }
    return true;
}

// CMyDialog.

CMyDialog::CMyDialog()
    : window_(nullptr),
      modal_(true),
      ended_(false),
      result_(0),
      handlers_(nullptr),
      handlerCount_(0),
      closeProc_(nullptr),
      closeClientData_(nullptr) {
    name_[0] = 0;
}

CMyDialog::~CMyDialog() {
    if (window_ && ui()) ui()->PUIWindowDestroy(window_);
    std::free(handlers_);
}

bool CMyDialog::create(const char* name, bool modal) {
    char* description = getResourceData(name, "xml", gLanguage);
    if (!description) return false;
    bool ok = createFromText(name, description, modal);
    std::free(description);
    return ok;
}

bool CMyDialog::createFromText(const char* name, const char* description, bool modal) {
    if (!ui() || !description || window_) return false;
    std::snprintf(name_, sizeof name_, "%s", name ? name : "");
    modal_ = modal;
    return build(description);
}

bool CMyDialog::build(const char* description) {
    char* window = getXMLData(description, "window");
    if (!window) return false;
    // The window's own name and rect come before its first control.
    std::string head(window);
    size_t firstControl = head.find("<control>");
    if (firstControl != std::string::npos) head.resize(firstControl);
    char key[256] = "", title[256] = "", rect[256] = "";
    getXMLString(head.c_str(), "name", key);
    getString(key, title);
    ASInt32 x = 0, y = 0, w = 300, h = 200;
    if (getXMLString(head.c_str(), "rect", rect) > 0)
        std::sscanf(rect, "%d %d %d %d", &x, &y, &w, &h);
    window_ = ui()->PUIWindowNew(name_, title, w, h, modal_);
    if (!window_) {
        std::free(window);
        return false;
    }
    ui()->PUIWindowSetRefCon(window_, this);
    BuildState st{this, window_, {ui()->PUIWindowGetRoot(window_)}};
    EnumXMLData(window, "control", buildControl, &st);
    std::free(window);
    for (ASInt32 i = 0;; i++) {
        PUIControl c = ui()->PUIWindowGetControl(window_, i);
        if (!c) break;
        ui()->PUIControlSetHandler(c, controlUsed, this);
    }
    if (!modal_) ui()->PUIWindowSetCloseProc(window_, windowClosed, this);
    return true;
}

ASUns32 CMyDialog::doModal() {
    if (!window_) return 0;
    modal_ = true;
    ended_ = false;
    result_ = ui()->PUIWindowRunModal(window_);
    ended_ = true;
    return result_;
}

void CMyDialog::doModeless() {
    if (!window_) return;
    ended_ = false;
    ui()->PUIWindowShow(window_, true);
}

void CMyDialog::endDialog(ASUns32 result) {
    result_ = result;
    ended_ = true;
    if (!window_) return;
    if (modal_)
        ui()->PUIWindowEndModal(window_, result);
    else
        ui()->PUIWindowShow(window_, false);
}

void CMyDialog::controlUsed(PUIControl control, ASClientData clientData) {
    static_cast<CMyDialog*>(clientData)->dispatch(control);
}

void CMyDialog::dispatch(PUIControl control) {
    ASInt32 id = ui()->PUIControlGetID(control);
    ASUns32 cmd = ui()->PUIControlGetCommand(control);
    for (ASInt32 i = 0; i < handlerCount_; i++) {
        Handler h = handlers_[i];
        if (h.idOrCmd == static_cast<ASUns32>(id) || (cmd && h.idOrCmd == cmd)) {
            h.proc(this, id, h.clientData);
            return;
        }
    }
    if (ui()->PUIControlGetKind(control) != kPUIPushButton || !modal_) return;
    if (cmd == kCmdOK || (id == 1 && !cmd)) {
        if (checkEditControls(this)) endDialog(kCmdOK);
    } else if (cmd == kCmdCancel || (id == 2 && !cmd)) {
        endDialog(kCmdCancel);
    } else if (cmd) {
        endDialog(cmd);
    }
}

void CMyDialog::windowClosed(PUIWindow, ASClientData clientData) {
    auto* d = static_cast<CMyDialog*>(clientData);
    if (d->closeProc_) d->closeProc_(d, d->closeClientData_);
    d->window_ = nullptr;  // the host destroys the window after this call
    delete d;
}

PUIControl CMyDialog::getControl(ASInt32 id) const {
    return window_ && ui() ? ui()->PUIWindowFindControl(window_, id) : nullptr;
}

ASInt32 CMyDialog::getText(ASInt32 id, char* buffer, ASInt32 size) const {
    if (buffer && size > 0) buffer[0] = 0;
    PUIControl c = getControl(id);
    return c ? ui()->PUIControlGetText(c, buffer, size) : 0;
}

void CMyDialog::setText(ASInt32 id, const char* text) {
    if (PUIControl c = getControl(id)) ui()->PUIControlSetText(c, text ? text : "");
}

void CMyDialog::setTextWithFormat(ASInt32 id, const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    setText(id, buf);
}

ASFixed CMyDialog::getTextAsValue(ASInt32 id) const {
    return getControlFixed(getControl(id));
}

ASInt32 CMyDialog::getValue(ASInt32 id) const {
    PUIControl c = getControl(id);
    return c ? ui()->PUIControlGetValue(c) : 0;
}

void CMyDialog::setValue(ASInt32 id, ASInt32 value) {
    if (PUIControl c = getControl(id)) ui()->PUIControlSetValue(c, value);
}

ASInt32 CMyDialog::getMenu(ASInt32 id) const {
    PUIControl c = getControl(id);
    return c ? ui()->PUIControlCountMenuItems(c) : 0;
}

ASInt32 CMyDialog::getMenuText(ASInt32 id, ASInt32 item, char* buffer, ASInt32 size) const {
    if (buffer && size > 0) buffer[0] = 0;
    PUIControl c = getControl(id);
    return c ? ui()->PUIControlGetMenuItemText(c, item, buffer, size) : 0;
}

void CMyDialog::addMenuItem(ASInt32 id, const char* text) {
    if (PUIControl c = getControl(id)) ui()->PUIControlAddMenuItem(c, text);
}

void CMyDialog::clearMenu(ASInt32 id) {
    if (PUIControl c = getControl(id)) ui()->PUIControlClearMenu(c);
}

void CMyDialog::loadMenu(ASInt32 id, const char* const* items, ASInt32 count, bool lookup) {
    PUIControl c = getControl(id);
    if (!c) return;
    ui()->PUIControlClearMenu(c);
    for (ASInt32 i = 0; i < count; i++) {
        char label[256];
        ui()->PUIControlAddMenuItem(c, lookup ? getString(items[i], label) : items[i]);
    }
}

void CMyDialog::enable(ASInt32 id, bool on) {
    if (PUIControl c = getControl(id)) ui()->PUIControlEnable(c, on);
}

bool CMyDialog::isEnabled(ASInt32 id) const {
    PUIControl c = getControl(id);
    return c && ui()->PUIControlIsEnabled(c);
}

void CMyDialog::selectText(ASInt32 id) {
    if (PUIControl c = getControl(id)) ui()->PUIControlSelectText(c, 0, -1);
}

void CMyDialog::setFocus(ASInt32 id) {
    if (PUIControl c = getControl(id)) ui()->PUIControlSetFocus(c);
}

void CMyDialog::showWindow(bool on) {
    if (window_) ui()->PUIWindowShow(window_, on);
}

void CMyDialog::setHandler(ASUns32 idOrCmd, ControlHandlerProc proc, void* clientData) {
    for (ASInt32 i = 0; i < handlerCount_; i++) {
        if (handlers_[i].idOrCmd == idOrCmd) {
            handlers_[i].proc = proc;
            handlers_[i].clientData = clientData;
            return;
        }
    }
    auto* grown = static_cast<Handler*>(
        std::realloc(handlers_, sizeof(Handler) * static_cast<size_t>(handlerCount_ + 1)));
    if (!grown) return;
    handlers_ = grown;
    handlers_[handlerCount_++] = Handler{idOrCmd, proc, clientData};
}

void CMyDialog::setCloseProc(DialogCloseProc proc, void* clientData) {
    closeProc_ = proc;
    closeClientData_ = clientData;
}

// Free functions.

void setupDialogs(const char* signature) {
    gSignature = signature && std::strlen(signature) >= 4 ? codeOf(signature) : 0;
}

ASUns32 doModalDialog(const char* name, DialogSetupProc setup, void* clientData) {
    CMyDialog dialog;
    if (!dialog.create(name, true)) return 0;
    if (setup) setup(&dialog, clientData);
    return dialog.doModal();
}

CMyDialog* doModelessDialog(const char* name, DialogSetupProc setup, DialogCloseProc closeProc,
                            void* clientData) {
    auto* dialog = new CMyDialog;
    if (!dialog->create(name, false)) {
        delete dialog;
        return nullptr;
    }
    dialog->setCloseProc(closeProc, clientData);
    if (setup) setup(dialog, clientData);
    dialog->doModeless();
    return dialog;
}

void closeModelessDialog(CMyDialog* dialog) {
    delete dialog;
}
