// The seam between the application model and what the user sees. Everything the user
// is shown or asked goes through a FrontEnd: alerts and beeps, the progress of long
// runs, the dialog windows of the dialog services, file and folder choosers, opening
// files with the desktop, document windows and their page views, pop-up menus and the
// mouse while a tool follows a gesture. The headless front end answers from a script or
// prints on stderr; the desktop front end draws windows.
#pragma once

#include <string>
#include <vector>

#include "ASTypes.h"
#include "PlatformUIHFT.h"
#include "app/View.h"

namespace vexa::host::app {

struct AlertRequest {
    ASInt32 icon = 0;
    std::string message;
    std::vector<std::string> buttons;  // 1 to 3 texts; the first is the default
    bool beep = false;
};

// A file or folder chooser.
struct ChooserRequest {
    enum Kind { OpenFile, SaveFile, Folder };
    Kind kind = OpenFile;
    std::string title;
    std::string filter;       // "*.pdf" or empty
    std::string initialPath;  // a folder or a file to start at, or empty
};

// What changed on a control of a dialog window.
enum class ControlChange { Text, Value, Menu, Enabled, Visible, Focus, Selection };

// What a front end shows while a tool follows the mouse.
enum class DragFeedback {
    None,        // the gesture ended: show nothing
    RubberBand,  // a rectangle dragged out from the click point
    Outline,     // the outline of what is being moved
};

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;

    // Shows an alert and returns the number (1-based) of the button chosen.
    virtual int alert(const AlertRequest& request) = 0;
    virtual void beep() {}

    // Every alert shown, with the button chosen (0 while it is up), recorded before it
    // is answered; scripts check them in order ("expect-alert").
    struct ShownAlert {
        AlertRequest request;
        int chosen = 0;
        bool checked = false;
    };
    std::vector<ShownAlert> alerts;

    // Progress of a long operation. A front end that sees keys during the run turns
    // an Escape into a pending Escape of the dialog services.
    virtual void progressBegin() {}
    virtual void progressEnd() {}
    virtual void progressText(const std::string& /*text*/) {}
    virtual void progressDuration(ASInt32 /*steps*/) {}
    virtual void progressValue(ASInt32 /*value*/) {}
    virtual void waitCursor(bool /*on*/) {}
    // Real time passing while idle procedures are due (Application::passTime): the
    // front end waits that long, keeping its windows alive.
    virtual void pause(int milliseconds);

    // Dialog windows. The dialog services keep every window with its controls and
    // their values (ui::Window, ui::Control); the front end shows them and reports what
    // the user does through the services' actions (ui::setText, ui::press, ...).
    virtual void windowCreated(PUIWindow /*window*/) {}
    virtual void windowDestroyed(PUIWindow /*window*/) {}
    virtual void windowShown(PUIWindow /*window*/, bool /*shown*/) {}
    virtual void windowMoved(PUIWindow /*window*/) {}
    virtual void controlChanged(PUIControl /*control*/, ControlChange /*what*/) {}
    // Runs a modal dialog: returns once the window's run has ended (PUIWindowEndModal).
    // A front end that cannot ask anybody leaves it running; the services then cancel it.
    virtual void runModal(PUIWindow /*window*/) {}
    // True when the point (global pixels) lies on a screen.
    virtual bool pointOnScreen(ASInt32 x, ASInt32 y) {
        return x >= 0 && y >= 0 && x < 1920 && y < 1080;
    }

    // File and folder choosers: true and the path when the user chose one.
    virtual bool choose(const ChooserRequest& /*request*/, std::string* /*path*/) { return false; }
    // Opens a file or folder with the desktop's default application.
    virtual bool openWithDesktop(const std::string& /*path*/) { return false; }

    // Document windows and their page views.
    virtual void documentOpened(AVDoc /*doc*/) {}
    virtual void documentClosing(AVDoc /*doc*/) {}
    virtual void frontDocumentChanged(AVDoc /*doc*/) {}
    // The view's layout, zoom, current page or scroll position changed.
    virtual void viewChanged(AVPageView /*view*/) {}
    // The view's overlay (its display list) was drawn anew or drawn over.
    virtual void viewDrawn(AVPageView /*view*/) {}
    // Pages first..last (0-based) of a document changed: content, boxes, or pages
    // inserted, deleted or moved there.
    virtual void pagesChanged(PDDoc /*doc*/, ASInt32 /*first*/, ASInt32 /*last*/) {}
    virtual void cursorChanged(ASInt32 /*shape*/) {}

    // Pop-up menus: the chooser that shows one and answers the path of the item
    // chosen; null chooses nothing.
    virtual PopupChooser* popupChooser() { return nullptr; }

    // The mouse while a tool follows a gesture: moves it on (position, modifiers) and
    // answers whether the button is still down. By default the gesture follows the
    // positions recorded in the mouse state (scripts and tests).
    virtual bool trackMouse(MouseState& mouse) { return followPath(mouse); }
    // Moves the mouse to the next recorded position; false when there is none.
    static bool followPath(MouseState& mouse);
    virtual void dragFeedback(AVPageView /*view*/, DragFeedback /*kind*/,
                              const AVDevRect& /*rect*/) {}
};

}  // namespace vexa::host::app
