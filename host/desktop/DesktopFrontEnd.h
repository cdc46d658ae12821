// The desktop front end: what the application model shows and asks, as Qt widgets.
// Alerts are message boxes, dialog descriptions real dialogs, the palette a tool
// window, choosers the desktop's file dialogs, document windows tabs of the main
// window with a page view each, pop-up menus real menus, and the progress of a long
// run sits in the status bar, where Escape stops it.
//
// While a script runs against it (vexa-studio --run), the widgets are shown as they
// would be to a person and the script's lines act on them: a modal dialog, an alert,
// a chooser or a pop-up menu stays open while the lines that follow run, as in the
// headless host.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "app/App.h"
#include "desktop/RenderService.h"

namespace vexa::host::desktop {

class DialogWindow;
class MainWindow;
class PageView;

class DesktopFrontEnd : public QObject, public app::FrontEnd {
    Q_OBJECT

  public:
    explicit DesktopFrontEnd(app::Application& app);
    ~DesktopFrontEnd() override;

    app::Application& app() { return app_; }
    RenderService& renderer() { return renderer_; }
    void setMainWindow(MainWindow* window) { window_ = window; }
    MainWindow* mainWindow() const { return window_; }
    // The title of message boxes (the plug-in's module name).
    void setAlertTitle(const std::string& title) { alertTitle_ = title; }

    // Scripted: a script drives the widgets (no nested event loops, no real waits).
    bool scripted() const;

    // Runs work the user asked for (a click, a key, a menu command, a button): host
    // errors become a message, a failing script line is kept for the script, and
    // afterwards the views are redrawn and the windows brought up to date. Nests.
    // With settle off the windows are left as they are (the idle timer settles only
    // when an idle procedure ran).
    template <typename F>
    void dispatch(F&& work, bool settle = true) {
        Depth depth(*this);
        try {
            work();
        } catch (...) {
            failed(std::current_exception());
        }
        if (depth_ == 1 && settle) afterDispatch();
    }
    void settle() { afterDispatch(); }
    int dispatching() const { return depth_; }
    // Rethrows the script error a dispatch kept (the hands call it after events ran).
    void rethrowScriptError();

    // Lets queued events run (script mode between lines, tests).
    void processEvents();

    // app::FrontEnd
    int alert(const app::AlertRequest& request) override;
    void beep() override;
    void progressBegin() override;
    void progressEnd() override;
    void progressText(const std::string& text) override;
    void progressDuration(ASInt32 steps) override;
    void progressValue(ASInt32 value) override;
    void waitCursor(bool on) override;
    void pause(int milliseconds) override;
    void windowCreated(PUIWindow window) override;
    void windowDestroyed(PUIWindow window) override;
    void windowShown(PUIWindow window, bool shown) override;
    void windowMoved(PUIWindow window) override;
    void controlChanged(PUIControl control, app::ControlChange what) override;
    void runModal(PUIWindow window) override;
    bool pointOnScreen(ASInt32 x, ASInt32 y) override;
    bool choose(const app::ChooserRequest& request, std::string* path) override;
    bool openWithDesktop(const std::string& path) override;
    // Who opens a file with the desktop's program for it (the log in the text viewer,
    // a folder in the file manager); by default the desktop itself. Tests put their
    // own here to see what would have opened.
    using DesktopOpener = std::function<bool(const std::string& path)>;
    void setDesktopOpener(DesktopOpener opener) { opener_ = std::move(opener); }
    void documentOpened(AVDoc doc) override;
    void documentClosing(AVDoc doc) override;
    void frontDocumentChanged(AVDoc doc) override;
    void viewChanged(AVPageView view) override;
    void viewDrawn(AVPageView view) override;
    void pagesChanged(PDDoc doc, ASInt32 first, ASInt32 last) override;
    void cursorChanged(ASInt32 shape) override;
    app::PopupChooser* popupChooser() override;
    bool trackMouse(app::MouseState& mouse) override;
    void dragFeedback(AVPageView view, app::DragFeedback kind, const AVDevRect& rect) override;

    // The widget of a dialog window (null while it was never shown).
    DialogWindow* dialogFor(PUIWindow window) const;
    // The real widgets of what is up: the message box, the file dialog, the menu.
    PageView* pageViewFor(AVPageView view) const;

    int beeps = 0;
    // Modifier keys the script holds while it presses a button (-1: the keyboard's).
    ASInt16 scriptModifiers = -1;
    ASInt16 currentModifiers() const;

  private:
    struct Depth {
        DesktopFrontEnd& fe;
        explicit Depth(DesktopFrontEnd& f) : fe(f) { ++fe.depth_; }
        ~Depth() { --fe.depth_; }
    };
    class MenuChooser;
    class EscapeFilter;
    void failed(std::exception_ptr error);
    void afterDispatch();
    DialogWindow* ensureDialog(PUIWindow window);

    app::Application& app_;
    RenderService renderer_;
    MainWindow* window_ = nullptr;
    std::string alertTitle_ = "Vexa";
    int depth_ = 0;
    std::exception_ptr scriptError_;
    std::map<PUIWindow, QPointer<DialogWindow>> dialogs_;
    std::unique_ptr<MenuChooser> menuChooser_;
    std::unique_ptr<EscapeFilter> escapeFilter_;
    std::string progressText_;
    QPointer<QWidget> openAlert_, openChooser_, openMenu_;
    std::map<PDDoc, std::uint64_t> changeCounts_;
    DesktopOpener opener_;
    std::set<PDDoc> named_;  // documents whose changed pages were named since the last check
};

}  // namespace vexa::host::desktop
