// A dialog window of the dialog services as a real dialog: each control of the window
// becomes a widget at its description's rectangle, scaled so that the texts of the
// chosen language fit in the desktop's font. Modal dialogs run in a nested event loop;
// modeless ones (the palette) are tool windows that stay above the main window and
// leave the keyboard to the page view.
//
// What the user does with a widget goes to the window's controls through the dialog
// services' actions (a field's text when it is left, a pop-up's item, a check box's
// state, a button press), which call the plug-in's handlers; what the plug-in changes
// comes back through the front end and is shown.
#pragma once

#include <QDialog>

#include <map>

#include "app/FrontEnd.h"
#include "ui/Ui.h"

namespace vexa::host::desktop {

class DesktopFrontEnd;

class DialogWindow : public QDialog {
    Q_OBJECT

  public:
    DialogWindow(DesktopFrontEnd& frontEnd, PUIWindow window, QWidget* parent);
    ~DialogWindow() override;

    PUIWindow model() const { return window_; }
    QWidget* widgetFor(const _t_PUIControl* control) const;
    PUIControl controlFor(const QWidget* widget) const;

    // Shows every control's state (text, value, items, enabled, visible).
    void syncFromModel();
    void syncControl(PUIControl control, app::ControlChange what);
    // Moves the window to where the model keeps it.
    void applyPosition();
    // The model's window is gone: this widget no longer speaks for it.
    void detach();

    // The user's actions as the widgets report them (a script's hands use them too).
    void userEdited(PUIControl control, const QString& text);
    void userPicked(PUIControl control, int index);  // from 0
    void userToggled(PUIControl control, bool on);
    void userPressed(PUIControl control);
    // Sends every field whose text the user changed to its control.
    void commitEdits();

    // How much the description's pixels were enlarged for the font and the texts.

  protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    // The widget that shows a control of the description, wired to the user's actions.
    QWidget* makeWidget(PUIControl c, QWidget* parent);
    void computeScale();
    QRect placed(const _t_PUIControl* control, QWidget* widget) const;
    template <typename F>
    void act(F&& f);

    DesktopFrontEnd& fe_;
    PUIWindow window_;
    std::map<const _t_PUIControl*, QWidget*> widgets_;
    std::map<const QWidget*, PUIControl> controls_;
    double sx_ = 1, sy_ = 1;
    bool syncing_ = false;
};

}  // namespace vexa::host::desktop
