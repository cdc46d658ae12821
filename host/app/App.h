// The application model: version and language, menus, toolbars, tools, notifications,
// idle procedures on a clock, key handlers, alerts, and document windows with views.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AcroViewHFT.h"
#include "app/FrontEnd.h"
#include "app/View.h"
#include "core/Extension.h"

struct _t_AVMenuItem;

struct _t_AVMenu {
    std::string title;
    std::string name;
    ExtensionID owner = nullptr;
    std::vector<_t_AVMenuItem*> items;
    _t_AVMenuItem* parentItem = nullptr;  // the item whose submenu this is
    int refs = 0;                         // references handed out and not released
};

struct _t_AVMenuItem {
    std::string title;
    std::string name;
    _t_AVMenu* submenu = nullptr;
    _t_AVMenu* menu = nullptr;  // the menu holding the item
    ExtensionID owner = nullptr;
    char shortcut = 0;
    AVExecuteProc execute = nullptr;
    ASClientData executeData = nullptr;
    AVComputeEnabledProc enabled = nullptr;
    ASClientData enabledData = nullptr;
    AVComputeMarkedProc marked = nullptr;
    ASClientData markedData = nullptr;
    int refs = 0;
    bool isSeparator() const { return title == "-"; }
};

struct _t_AVMenubar {
    std::vector<_t_AVMenu*> menus;
};

struct _t_AVToolButton {
    std::string name;
    std::string label;
    ExtensionID owner = nullptr;
    AVExecuteProc execute = nullptr;
    ASClientData executeData = nullptr;
    AVComputeEnabledProc enabled = nullptr;
    ASClientData enabledData = nullptr;
    AVComputeMarkedProc marked = nullptr;
    ASClientData markedData = nullptr;
};

struct _t_AVToolBar {
    std::string name;
    std::vector<_t_AVToolButton*> buttons;
};

struct _t_AVTool {
    AVToolRec* record = nullptr;
    ASAtom type = ASAtomNull;
};

struct _t_AVWindow {
    AVDoc doc = nullptr;
};

struct _t_AVPageView {
    AVDoc doc = nullptr;
    ASInt32 pageNum = 0;
    PDPage page = nullptr;  // acquired for the current page number, when documents exist
    AVPageViewState vs;     // layout, zoom, aperture and drawing (View.cpp)
};

struct _t_AVDoc {
    PDDoc pdDoc = nullptr;
    std::string title;
    _t_AVPageView view;
    _t_AVWindow window;
    AVTool activeTool = nullptr;
    AVDocUndoState undo;  // Undo.cpp
    AVDocDropState drop;  // Drop.cpp
};

namespace vexa::host::app {

// The clock of idle procedures: real time, or a virtual clock that only moves when
// told (tests and scripts).
class Clock {
  public:
    explicit Clock(bool virtualTime);
    ASUns32 ticks() const;        // 1/60 s since start
    void advance(ASUns32 ticks);  // virtual clock only
    bool isVirtual() const { return virtual_; }

  private:
    bool virtual_;
    ASUns32 virtualTicks_ = 0;
    long long startMs_ = 0;
};

// Page geometry and annotations of documents of the document engine (ViewDocs.cpp);
// false for any other document.
bool engineCropAndRotation(PDDoc doc, ASInt32 pageNum, ASFixedRect* crop, ASInt32* rotate);
bool engineAnnotAt(PDDoc doc, ASInt32 pageNum, ASFixedPoint point);

// Hooks by which the document engine lets the application open, close and page
// through documents without the application model depending on it.
struct DocumentHooks {
    PDPage (*acquirePage)(PDDoc doc, ASInt32 pageNum) = nullptr;
    void (*releasePage)(PDPage page) = nullptr;
    ASInt32 (*numPages)(PDDoc doc) = nullptr;
    void (*closeDoc)(PDDoc doc) = nullptr;
    PDDoc (*openDoc)(const char* path) = nullptr;  // raises on failure
    // Page views: the crop box and rotation of a page (false: the page has none), and
    // whether an annotation the host handles lies at a page point.
    bool (*pageGeometry)(PDDoc doc, ASInt32 pageNum, ASFixedRect* crop,
                         ASInt32* rotate) = engineCropAndRotation;
    bool (*annotAt)(PDDoc doc, ASInt32 pageNum, ASFixedPoint point) = engineAnnotAt;
};

class Application {
  public:
    explicit Application(bool virtualClock);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The running application (one at a time).
    static Application& current();
    static bool exists();

    // Version and language.
    ASInt16 versionMajor = 11;
    ASInt16 versionMinor = 0;
    std::string language = "ENU";
    static std::string languageFromLocale();

    Clock& clock() { return clock_; }

    void setFrontEnd(FrontEnd* frontEnd) { frontEnd_ = frontEnd; }
    FrontEnd* frontEnd() const { return frontEnd_; }
    int alert(const AlertRequest& request);

    DocumentHooks documentHooks;

    // Menus.
    _t_AVMenubar& menubar() { return menubar_; }
    _t_AVMenu* newMenu(const std::string& title, const std::string& name, ExtensionID owner);
    _t_AVMenuItem* newMenuItem(const std::string& title, const std::string& name,
                               _t_AVMenu* submenu, char shortcut, ExtensionID owner);
    _t_AVMenu* findMenu(const std::string& name);
    _t_AVMenuItem* findMenuItem(const std::string& name);  // every menu and submenu
    bool executeMenuItem(_t_AVMenuItem* item);             // false when disabled

    // Toolbars.
    _t_AVToolBar* toolbar(const std::string& name);  // null for an unknown toolbar
    _t_AVToolButton* newToolButton(const std::string& name, const std::string& label,
                                   ExtensionID owner);
    _t_AVToolButton* findToolButton(const std::string& name);

    // Tools.
    AVTool registerTool(AVToolRec* record);
    AVTool findTool(ASAtom type);
    AVTool activeTool() const { return activeTool_; }
    void setActiveTool(AVTool tool, bool persistent);

    // Notifications, in registration order per selector.
    bool registerNotification(ASInt32 selector, ExtensionID owner, AVNotificationProc proc,
                              ASClientData data);
    bool unregisterNotification(ASInt32 selector, ExtensionID owner, AVNotificationProc proc,
                                ASClientData data);
    void broadcast(const AVNotificationData& data);

    // Idle procedures.
    void registerIdle(AVIdleProc proc, ASClientData data, ASUns32 period);
    void unregisterIdle(AVIdleProc proc, ASClientData data);
    // Calls the procedures whose period has passed. Returns how many ran.
    int runIdle();
    // Advances the virtual clock tick by tick, running idle procedures as they fall
    // due; on a real clock, sleeps and runs them for that long.
    void passTime(ASUns32 ticks);

    // Keys on page views: the handlers in registration order until one takes it.
    void registerKeyHandler(AVPageViewKeyDownProc proc, ASClientData data);
    bool keyDown(AVPageView view, ASUns16 key, ASInt16 flags);

    // Documents.
    AVDoc openDoc(PDDoc pdDoc, const std::string& title);
    bool closeDoc(AVDoc doc, bool noSave);
    void closeAllDocs();
    AVDoc frontDoc() const { return docs_.empty() ? nullptr : front_; }
    void setFrontDoc(AVDoc doc);
    const std::vector<std::unique_ptr<_t_AVDoc>>& docs() const { return docs_; }
    void goToPage(AVPageView view, ASInt32 pageNum);

    // Page views (View.cpp). Page numbers are 0-based; device points are pixels.
    ASInt32 numPages(AVDoc doc) const;
    PageGeometry pageGeometry(AVDoc doc, ASInt32 pageNum) const;
    // The displayed page in device space (its crop box, rotated and zoomed).
    AVDevRect pageDeviceRect(AVPageView view, ASInt32 pageNum) const;
    ASInt32 firstVisiblePage(AVPageView view) const;
    ASInt32 lastVisiblePage(AVPageView view) const;
    void setLayoutMode(AVPageView view, ASInt32 mode);
    void setZoom(AVPageView view, ASFixed zoom);
    void setAperture(AVPageView view, const AVDevRect& aperture);
    void setCurrentPage(AVPageView view, ASInt32 pageNum);  // no scrolling, no notification
    // The front end scrolled the view: topPage is the first page in the aperture, at
    // (originX, originY) from its place at rest; currentPage becomes the view's page (a
    // change is announced as the page turning).
    void scrollView(AVPageView view, ASInt32 topPage, AVDevCoord originX, AVDevCoord originY,
                    ASInt32 currentPage);
    void pointToDevice(AVPageView view, const ASFixedPoint& p, AVDevCoord* x, AVDevCoord* y) const;
    ASFixedPoint deviceToPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const;
    ASFixedPoint deviceToPoint(AVPageView view, ASInt32 pageNum, AVDevCoord x,
                               AVDevCoord y) const;  // on that page
    AVDevRect rectToDevice(AVPageView view, const ASFixedRect& r) const;
    ASFixedRect deviceRectToPage(AVPageView view, const AVDevRect& r) const;
    // The visible page under a device point, or -1.
    ASInt32 pageAtPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const;
    bool annotAtPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const;
    void invalidate(AVPageView view);
    void redraw(AVPageView view);  // runs the drawing procedures now
    void flushRedraws();           // redraws every invalid view
    void beginOperation(AVPageView view);
    void endOperation(AVPageView view);
    void registerDrawProc(AVPageViewDrawProc proc, ASClientData data);
    void unregisterDrawProc(AVPageViewDrawProc proc, ASClientData data);

    // Mouse events as a front end forwards them: a press at (x, y) with the positions
    // the mouse passes through until it is released. The active tool of the view's
    // document gets the click; returns what the tool answered (false without a tool).
    bool click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags, ASInt16 clickCount,
               const std::vector<std::pair<AVDevCoord, AVDevCoord>>& path = {});
    bool rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
    // A key on a page view: the active tool first, then the key handlers.
    bool pageViewKey(AVPageView view, ASUns16 key, ASInt16 flags);
    MouseState& mouse() { return mouse_; }
    // The mouse moves over a view with the button up: the active tool adjusts the
    // cursor. Returns the shape shown.
    ASInt32 mouseMoved(AVPageView view, AVDevCoord x, AVDevCoord y);
    ASInt32 cursor = AVCursorArrow;
    void setCursor(ASInt32 shape);  // tells the front end
    bool mouseStillDown();          // moves one step along the gesture
    AVDevRect dragRect(AVPageView view, AVDevCoord x, AVDevCoord y);
    AVDevRect dragOutline(AVPageView view, AVDevCoord x, AVDevCoord y, const AVDevRect& start);

    // Undo (Undo.cpp): one stack per document, at most undoLimit records.
    std::size_t undoLimit = 100;
    AVUndo newUndo(AVDoc doc, const AVUndoHandler* handler, AVUndoHandlerData data);
    bool canUndo(AVDoc doc) const;
    bool canRedo(AVDoc doc) const;
    bool undo(AVDoc doc);  // false when there is nothing to undo
    bool redo(AVDoc doc);
    void clearUndos(AVDoc doc);
    // The Edit menu's text for the next Undo (or Redo): "Undo" and the record's title.
    std::string undoTitle(AVDoc doc, bool isUndo) const;
    // What the user is doing (a menu item's title, a button's text, "Move" for a drag
    // or an arrow key): records made meanwhile are named after it, for handlers that
    // give no title of their own. The outermost action names them ("Frames" for the
    // OK button of the dialog that item opened). Empty between actions.
    static std::string actionText(const std::string& text);  // "Frames…" -> "Frames"
    class NamedAction {
      public:
        NamedAction(Application& app, const std::string& name);
        ~NamedAction();
        NamedAction(const NamedAction&) = delete;
        NamedAction& operator=(const NamedAction&) = delete;

      private:
        Application& app_;
        bool set_ = false;
    };
    ASInt32 numUndos(AVDoc doc) const;
    ASInt32 numRedos(AVDoc doc) const;

    // Drop targets (Drop.cpp). uriList is "text/uri-list" data; only its first file
    // URI is used.
    void setDropHandlers(AVDoc doc, const AVDropHandlersRec* handlers, ASClientData data);
    bool dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                   AVDevCoord y);
    bool drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y);
    static std::string pathFromUriList(const std::string& uriList);  // "" when none

    // Pop-up menus (Popup.cpp): shown by the front end's chooser, or by this one when
    // it is set (tests). Without a chooser nothing is chosen.
    PopupChooser* popupChooser = nullptr;
    std::vector<PopupEntry> lastPopup;  // the menu shown last
    AVMenuItem popUp(AVMenu menu, AVPageView view, AVDevCoord x, AVDevCoord y);
    std::size_t menuCount() const { return menuStore_.size(); }

    // Counts for tests and "vexa info".
    std::size_t notificationCount() const;
    std::size_t idleCount() const;
    std::size_t toolCount() const { return tools_.size(); }

    // Start-up and quit notifications.
    void didInitialize();
    void willQuit();

  private:
    // Starts a mouse action in view: its document comes to the front, the mouse state
    // starts anew at (x, y) with the modifier keys.
    void beginMouse(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
    struct Notification {
        ASInt32 selector;
        ExtensionID owner;
        AVNotificationProc proc;
        ASClientData data;
        bool removed = false;
    };
    struct Idle {
        AVIdleProc proc;
        ASClientData data;
        ASUns32 period;
        ASUns32 lastRun;
        bool removed = false;
    };
    struct KeyHandler {
        AVPageViewKeyDownProc proc;
        ASClientData data;
    };
    struct DrawProc {
        AVPageViewDrawProc proc;
        ASClientData data;
        bool removed = false;
    };
    void installUndoMenu();
    void collectPopups();                  // Popup.cpp
    std::vector<_t_AVMenu*> popupsShown_;  // menus shown as pop-ups, freed once released
    bool swapRecord(AVDoc doc, bool isUndo);

    Clock clock_;
    std::string actionName_;
    bool popupNames_ = false;
    bool gesture_ = false;  // a click with the tool runs: its steps move or duplicate
    std::pair<AVDevCoord, AVDevCoord> gestureStart_{
        0, 0};  // a
                // secondary click runs: its menu's choice names the action
    FrontEnd* frontEnd_ = nullptr;
    _t_AVMenubar menubar_;
    std::vector<std::unique_ptr<_t_AVMenu>> menuStore_;
    std::vector<std::unique_ptr<_t_AVMenuItem>> itemStore_;
    std::vector<std::unique_ptr<_t_AVToolBar>> toolbars_;
    std::vector<std::unique_ptr<_t_AVToolButton>> buttonStore_;
    std::vector<std::unique_ptr<_t_AVTool>> tools_;
    AVTool activeTool_ = nullptr;
    std::vector<Notification> notifications_;
    std::vector<Idle> idles_;
    std::vector<KeyHandler> keyHandlers_;
    std::vector<std::unique_ptr<_t_AVDoc>> docs_;
    AVDoc front_ = nullptr;
    int broadcastDepth_ = 0;
    std::vector<DrawProc> drawProcs_;
    MouseState mouse_;
};

// The running application, for the table functions and script commands.
inline Application& A() {
    return Application::current();
}

// The AcroView table over the current application.
const AcroViewHFT* acroViewTable();
// Fills the table's page-view, drawing, mouse, undo, drop, pop-up and optimizer
// members (ViewTable.cpp).
void addViewMembers(AcroViewHFT& table);

// Binds the document hooks to the document engine (ViewDocs.cpp).
void useDocumentEngine(Application& app);

}  // namespace vexa::host::app
