// The scripted user's hands on the desktop host's widgets: a click is a mouse press and
// release on the page view at that point, a key a key event, a dialog's "set" types
// into the real field, "press" clicks the real button, a menu item triggers the real
// action. Each action lets the events run and then reports what failed.
#pragma once

#include "ui/ScriptHands.h"

namespace vexa::host::desktop {

class DesktopFrontEnd;

class DesktopHands : public ScriptHands {
  public:
    explicit DesktopHands(DesktopFrontEnd& frontEnd) : fe_(frontEnd) {}

    void click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
               const Path& path = {}) override;
    void doubleClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) override;
    void rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) override;
    void key(AVPageView view, ASUns16 key, ASInt16 flags) override;
    void moveMouse(AVPageView view, AVDevCoord x, AVDevCoord y) override;
    bool dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                   AVDevCoord y) override;
    bool drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y) override;
    bool menuItem(_t_AVMenuItem* item) override;
    bool toolButton(_t_AVToolButton* button) override;
    void setText(PUIControl control, const std::string& text) override;
    void pick(PUIControl control, const std::string& item) override;
    void toggle(PUIControl control, int state) override;
    void press(PUIControl control, ASInt16 modifiers) override;
    void typeKey(PUIWindow window, ASUns16 key) override;

  private:
    void deliver();  // lets the events run; rethrows a failure of the lines they ran
    DesktopFrontEnd& fe_;
};

}  // namespace vexa::host::desktop
