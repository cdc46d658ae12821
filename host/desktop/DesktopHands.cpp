#include "desktop/DesktopHands.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "desktop/DesktopFrontEnd.h"
#include "desktop/DialogWindow.h"
#include "desktop/Input.h"
#include "desktop/MainWindow.h"
#include "desktop/PageView.h"
#include "ui/Script.h"
#include "ui/Ui.h"

namespace vexa::host::desktop {
namespace {

void post(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
          Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    QCoreApplication::postEvent(w, new QMouseEvent(type, QPointF(pos), QPointF(w->mapToGlobal(pos)),
                                                   button, buttons, mods));
}

// A press (the second of a double click when `second`) and a release at the point.
void postClick(QWidget* w, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods,
               bool second = false) {
    post(w, second ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at, button, button,
         mods);
    post(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton, mods);
}

}  // namespace

void DesktopHands::deliver() {
    fe_.processEvents();
    fe_.rethrowScriptError();
}

// Drags from another program: the events the window system would send the view.
bool DesktopHands::dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                             AVDevCoord y) {
    PageView* v = doc ? fe_.pageViewFor(&doc->view) : nullptr;
    if (!v) return ScriptHands::dragTrack(doc, phase, uriList, x, y);
    QWidget* vp = v->viewport();
    QMimeData data;
    data.setData("text/uri-list", QByteArray::fromStdString(uriList));
    bool accepted = false;
    if (phase == AVDragLeave) {
        QDragLeaveEvent e;
        QCoreApplication::sendEvent(vp, &e);
    } else if (phase == AVDragEnter) {
        QDragEnterEvent e(QPoint(x, y), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &e);
        accepted = e.isAccepted() && doc->drop.installed && doc->drop.highlighted;
    } else {
        QDragMoveEvent e(QPoint(x, y), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &e);
        accepted = e.isAccepted();
    }
    deliver();
    return accepted;
}

bool DesktopHands::drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y) {
    PageView* v = doc ? fe_.pageViewFor(&doc->view) : nullptr;
    if (!v) return ScriptHands::drop(doc, uriList, x, y);
    QMimeData data;
    data.setData("text/uri-list", QByteArray::fromStdString(uriList));
    QDropEvent e(QPointF(x, y), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v->viewport(), &e);
    deliver();
    return e.isAccepted();
}

void DesktopHands::click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                         const Path& path) {
    PageView* v = fe_.pageViewFor(view);
    if (!v) return ScriptHands::click(view, x, y, flags, path);
    QWidget* vp = v->viewport();
    Qt::KeyboardModifiers mods = qtModifiers(flags);
    QPoint at(x, y);
    post(vp, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, mods);
    for (const auto& [px, py] : path) {
        at = QPoint(px, py);
        post(vp, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, mods);
    }
    post(vp, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, mods);
    deliver();
}

void DesktopHands::doubleClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    PageView* v = fe_.pageViewFor(view);
    if (!v) return ScriptHands::doubleClick(view, x, y, flags);
    postClick(v->viewport(), QPoint(x, y), Qt::LeftButton, qtModifiers(flags));
    postClick(v->viewport(), QPoint(x, y), Qt::LeftButton, qtModifiers(flags), true);
    deliver();
}

void DesktopHands::rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    PageView* v = fe_.pageViewFor(view);
    if (!v) return ScriptHands::rightClick(view, x, y, flags);
    postClick(v->viewport(), QPoint(x, y), Qt::RightButton, qtModifiers(flags));
    deliver();
}

void DesktopHands::key(AVPageView view, ASUns16 key, ASInt16 flags) {
    PageView* v = fe_.pageViewFor(view);
    if (!v) return ScriptHands::key(view, key, flags);
    QKeyEvent e = keyEventFor(QEvent::KeyPress, key, flags);
    QCoreApplication::postEvent(v, e.clone());
    deliver();
}

void DesktopHands::moveMouse(AVPageView view, AVDevCoord x, AVDevCoord y) {
    PageView* v = fe_.pageViewFor(view);
    if (!v) return ScriptHands::moveMouse(view, x, y);
    post(v->viewport(), QEvent::MouseMove, QPoint(x, y), Qt::NoButton, Qt::NoButton,
         Qt::NoModifier);
    deliver();
}

bool DesktopHands::menuItem(_t_AVMenuItem* item) {
    if (item->enabled && !item->enabled(item->enabledData)) return false;
    QAction* a = fe_.mainWindow() ? fe_.mainWindow()->actionFor(item) : nullptr;
    if (a && !a->isEnabled()) fe_.mainWindow()->refresh();
    if (!a || !a->isEnabled()) return ScriptHands::menuItem(item);
    a->trigger();
    deliver();
    return true;
}

bool DesktopHands::toolButton(_t_AVToolButton* b) {
    if (b->enabled && !b->enabled(b->enabledData)) return false;
    QAction* a = fe_.mainWindow() ? fe_.mainWindow()->actionFor(b) : nullptr;
    if (!a) return ScriptHands::toolButton(b);
    a->trigger();
    deliver();
    return true;
}

void DesktopHands::setText(PUIControl c, const std::string& text) {
    DialogWindow* d = fe_.dialogFor(c->window);
    QWidget* w = d ? d->widgetFor(c) : nullptr;
    QString t = QString::fromStdString(text);
    ui::requireUsable(c);
    if (auto* e = qobject_cast<QLineEdit*>(w); e && !e->isReadOnly()) {
        e->setFocus(Qt::OtherFocusReason);
        e->setText(t);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setFocus(Qt::OtherFocusReason);
        p->setPlainText(t);
    } else if (auto* b = qobject_cast<QComboBox*>(w); b && b->isEditable()) {
        b->setEditText(t);
    } else {
        return ScriptHands::setText(c, text);  // the dialog services say why not
    }
    // The field is left: its text goes to the control.
    d->userEdited(c, t);
    deliver();
}

void DesktopHands::pick(PUIControl c, const std::string& item) {
    DialogWindow* d = fe_.dialogFor(c->window);
    QWidget* w = d ? d->widgetFor(c) : nullptr;
    int index = ui::pickIndex(c, item);
    if (auto* b = qobject_cast<QComboBox*>(w)) {
        b->setCurrentIndex(index - 1);
    } else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->setCurrentRow(index - 1);
    } else {
        return ScriptHands::pick(c, item);
    }
    d->userPicked(c, index - 1);
    deliver();
}

void DesktopHands::toggle(PUIControl c, int state) {
    DialogWindow* d = fe_.dialogFor(c->window);
    auto* box = d ? qobject_cast<QCheckBox*>(d->widgetFor(c)) : nullptr;
    if (!box || c->kind != kPUICheckBox) return ScriptHands::toggle(c, state);
    ui::requireUsable(c);
    bool on = state < 0 ? !box->isChecked() : state != 0;
    box->setChecked(on);
    d->userToggled(c, on);
    deliver();
}

void DesktopHands::press(PUIControl c, ASInt16 modifiers) {
    DialogWindow* d = fe_.dialogFor(c->window);
    auto* button = d ? qobject_cast<QAbstractButton*>(d->widgetFor(c)) : nullptr;
    if (!button || !d->isVisible()) return ScriptHands::press(c, modifiers);
    ui::requireUsable(c);
    // The modifier keys are held while the button is clicked.
    fe_.scriptModifiers = modifiers;
    struct Release {
        DesktopFrontEnd& fe;
        ~Release() { fe.scriptModifiers = -1; }
    } release{fe_};
    button->click();
    deliver();
}

void DesktopHands::typeKey(PUIWindow window, ASUns16 key) {
    DialogWindow* d = fe_.dialogFor(window);
    if (!d || !d->isVisible() || key == 9) {
        ScriptHands::typeKey(window, key);
        if (d && window->focus)
            if (QWidget* w = d->widgetFor(window->focus)) w->setFocus(Qt::TabFocusReason);
        deliver();
        return;
    }
    if (key == 13) {
        // Return presses the default button; a dialog without one says so.
        bool multiLine = window->focus && (window->focus->flags & kPUIMultiLine);
        bool hasDefault = false;
        for (auto& c : window->controls) hasDefault |= (c->flags & kPUIDefaultButton) != 0;
        if (multiLine || !hasDefault) {
            ScriptHands::typeKey(window, key);
            deliver();
            return;
        }
    }
    QWidget* target = d->focusWidget() ? d->focusWidget() : d;
    QKeyEvent e = keyEventFor(QEvent::KeyPress, key, 0);
    QCoreApplication::sendEvent(target, &e);
    deliver();
}

}  // namespace vexa::host::desktop
