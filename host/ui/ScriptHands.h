// The scripted user's hands: what the commands that act as the user ("click",
// "press-key", "set", "press", "menu", ...) do, lent by the front end the script runs
// against. These hands act on the application model and the dialogs in memory, as the
// headless host is used; the desktop host lends hands that send events to its widgets,
// which then act the same way.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "AcroViewHFT.h"
#include "PlatformUIHFT.h"
#include "app/FrontEnd.h"

struct _t_AVMenuItem;
struct _t_AVToolButton;

namespace vexa::host {

class ScriptRunner;

class ScriptHands {
  public:
    virtual ~ScriptHands() = default;
    using Path = std::vector<std::pair<AVDevCoord, AVDevCoord>>;

    // The mouse and the keyboard on a page view, at device points of the view. path:
    // the positions the mouse passes through before it is released.
    virtual void click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                       const Path& path = {});
    virtual void doubleClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
    virtual void rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags);
    virtual void key(AVPageView view, ASUns16 key, ASInt16 flags);
    virtual void moveMouse(AVPageView view, AVDevCoord x, AVDevCoord y);

    // A file dragged over a document window ("text/uri-list" data) and dropped.
    virtual bool dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                           AVDevCoord y);
    virtual bool drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y);

    // Menu items and toolbar buttons; false when disabled.
    virtual bool menuItem(_t_AVMenuItem* item);
    virtual bool toolButton(_t_AVToolButton* button);

    // Controls of dialog windows. Each fails with ScriptError when the control cannot
    // take the action (disabled, hidden, wrong kind).
    virtual void setText(PUIControl control, const std::string& text);
    virtual void pick(PUIControl control, const std::string& item);
    virtual void toggle(PUIControl control, int state);  // -1 toggles, 0 off, 1 on
    virtual void press(PUIControl control, ASInt16 modifiers);
    virtual void typeKey(PUIWindow window, ASUns16 key);  // Return, Escape or Tab
};

// The hands of the application model (the headless host's).
ScriptHands& modelHands();

// Alerts answered by the script: an "answer" given before, an alert with one button
// acknowledged by itself, or the lines that follow until an "answer". Returns the
// button's number (from 1).
int scriptAlertAnswer(ScriptRunner& script, const app::AlertRequest& request);
// An answer word ("1", "2", "3", a button text, "default", "cancel") as a button
// number, 0 when it names none.
int alertAnswerIndex(const app::AlertRequest& request, const std::string& answer);
std::string describeAlert(const app::AlertRequest& request);

// File and folder choosers as the script's messages name them ("file chooser
// "Template" for *.pdf at /srv"), and the script's answer to one: a "choose" given
// before, or the lines that follow until one; empty when it cancels.
std::string describeChooser(const app::ChooserRequest& request);
std::string scriptChooserAnswer(ScriptRunner& script, const app::ChooserRequest& request);

// Pop-up menus answered by the script ("menu-pick"): the chooser of the application
// model, and the index path of a title path ("Sub>Item") in a menu, which fails when
// it names no item.
app::PopupChooser& scriptPopupChooser();
std::vector<int> scriptMenuPath(const std::vector<app::PopupEntry>& menu,
                                const std::string& choice);

}  // namespace vexa::host
