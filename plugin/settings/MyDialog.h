// The dialog layer: dialogs are built from XML descriptions (resource "NAME.xml":
// a window with name, rect and a flat list of controls) through the host's dialog
// services, and addressed by control identifier. Value fields ("eutx") carry their
// own unit and accepted range and read lengths typed in any unit.
//
// A description:
//   <window><name>TITLEKEY</name><rect>x y width height</rect>
//     <control><type>eutx</type><text>KEY or value</text><id>4</id>
//       <rect>x y width height</rect><cmd>ok  </cmd><just>right</just>
//       <unit>3</unit><vmin>...</vmin><vmax>...</vmax>
//       <menu><item>KEY</item>...</menu></control> ...
//   </window>
// Group boxes, tab controls ("tabs", with <text1>, <text2>, ... as tabs), radio groups
// and panes hold the controls that follow until a control of type "####". Texts,
// titles and menu items are string keys (shown as themselves when missing). Extra
// elements "sap ", "empt", "amnt", "date", "data", "pref", "dval" become properties.
// tools/make_dialogs.py writes the plug-in's descriptions.
#pragma once

#include <cstdarg>

#include "settings/MyUnits.h"
#include "PlatformUIHFT.h"

class CMyDialog;

// Set-up of a dialog: attach handlers, fill values.
typedef void (*DialogSetupProc)(CMyDialog* dialog, void* clientData);
// A control was used; id is its identifier.
typedef void (*ControlHandlerProc)(CMyDialog* dialog, ASInt32 id, void* clientData);
// A modeless window is being closed by the user; the dialog is deleted after the call
// (the procedure must not delete it).
typedef void (*DialogCloseProc)(CMyDialog* dialog, void* clientData);

// Command codes of the descriptions.
#define MY_CODE(a, b, c, d) PUI_CODE(a, b, c, d)
enum : ASUns32 {
    kCmdOK = MY_CODE('o', 'k', ' ', ' '),
    kCmdCancel = MY_CODE('c', 'n', 'c', 'l'),
    kCmdNot = MY_CODE('n', 'o', 't', '!'),
    kCmdNewDoc = MY_CODE('n', 'e', 'w', 'd'),
    kCmdTop = MY_CODE('t', 'o', 'p', ' '),
    kCmdLeft = MY_CODE('l', 'e', 'f', 't'),
    kCmdRight = MY_CODE('r', 'g', 'h', 't'),
    kCmdBottom = MY_CODE('b', 't', 't', 'm'),
};

// Properties of value fields.
enum : ASUns32 {
    kPropUnit = MY_CODE('u', 'n', 'i', 't'),
    kPropMin = MY_CODE('v', 'm', 'i', 'n'),
    kPropMax = MY_CODE('v', 'm', 'a', 'x'),
};

class CMyDialog {
  public:
    CMyDialog();
    ~CMyDialog();
    CMyDialog(const CMyDialog&) = delete;
    CMyDialog& operator=(const CMyDialog&) = delete;

    // Builds the window from the description (false when it is missing or the host
    // offers no dialogs).
    bool create(const char* name, bool modal);
    // Builds from description text (tests and tools).
    bool createFromText(const char* name, const char* description, bool modal);

    ASUns32 doModal();
    void doModeless();
    void endDialog(ASUns32 result);
    bool isModal() const { return modal_; }
    const char* getName() const { return name_; }
    PUIWindow getWindow() const { return window_; }

    PUIControl getControl(ASInt32 id) const;
    ASInt32 getText(ASInt32 id, char* buffer, ASInt32 size) const;
    void setText(ASInt32 id, const char* text);
    void setTextWithFormat(ASInt32 id, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // The text of a value field as its 16.16 value (getControlFixed).
    ASFixed getTextAsValue(ASInt32 id) const;
    ASInt32 getValue(ASInt32 id) const;
    void setValue(ASInt32 id, ASInt32 value);
    // Number of menu items.
    ASInt32 getMenu(ASInt32 id) const;
    ASInt32 getMenuText(ASInt32 id, ASInt32 item, char* buffer, ASInt32 size) const;
    void addMenuItem(ASInt32 id, const char* text);
    // Replaces the menu by the items; with lookup they are string keys.
    void loadMenu(ASInt32 id, const char* const* items, ASInt32 count, bool lookup);
    void clearMenu(ASInt32 id);
    void enable(ASInt32 id, bool on = true);
    bool isEnabled(ASInt32 id) const;
    void selectText(ASInt32 id);
    void setFocus(ASInt32 id);
    void showWindow(bool on);

    void setHandler(ASUns32 idOrCmd, ControlHandlerProc proc, void* clientData);
    void setCloseProc(DialogCloseProc proc, void* clientData);

  private:
    struct Handler {
        ASUns32 idOrCmd;
        ControlHandlerProc proc;
        void* clientData;
    };
    static void controlUsed(PUIControl control, ASClientData clientData);
    static void windowClosed(PUIWindow window, ASClientData clientData);
    void dispatch(PUIControl control);
    bool build(const char* description);

    PUIWindow window_;
    char name_[64];
    bool modal_;
    bool ended_;
    ASUns32 result_;
    Handler* handlers_;
    ASInt32 handlerCount_;
    DialogCloseProc closeProc_;
    void* closeClientData_;
};

// Prepares the dialog layer; signature names the plug-in's dialogs ("VEXA").
void setupDialogs(const char* signature);

// Runs a modal dialog; returns the command code of the control that closed it
// (kCmdOK, kCmdCancel, ...), or 0 when the dialog could not be built.
ASUns32 doModalDialog(const char* name, DialogSetupProc setup, void* clientData);
// Opens a modeless window; the dialog stays until the user closes it (closeProc runs,
// then it is deleted) or closeModelessDialog.
CMyDialog* doModelessDialog(const char* name, DialogSetupProc setup, DialogCloseProc closeProc,
                            void* clientData);
void closeModelessDialog(CMyDialog* dialog);

// Value fields: shows value in unit and sets the accepted range (16.16 values).
void setDlgItemFixed(CMyDialog* dialog, ASInt32 id, ASFixed value, ASInt32 unit, ASFixed min,
                     ASFixed max);
void setControlFixed(PUIControl control, ASFixed value, ASInt32 unit, ASFixed min, ASFixed max);
// Reads a value field: commas as points; a unit typed in the text ("mm", "cm", "pt",
// "inch", "%") wins over the field's unit.
ASFixed getControlFixed(PUIControl control);
ASFixed getControlFixed(CMyDialog* dialog, ASInt32 id);
// Reads a text as a value in the given unit, the same way.
ASFixed stringToFixed(const char* text, ASInt32 unit);
// Checks every value field's range; on the first failure beeps, focuses it and
// answers false.
bool checkEditControls(CMyDialog* dialog);
