#include "desktop/DesktopFrontEnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <cstdio>
#include <filesystem>

#include "core/Core.h"
#include "desktop/DialogWindow.h"
#include "desktop/Input.h"
#include "desktop/MainWindow.h"
#include "desktop/Texts.h"
#include "desktop/PageView.h"
#include "doc/DocInternal.h"
#include "ui/Script.h"
#include "ui/ScriptHands.h"
#include "ui/Ui.h"

namespace vexa::host::desktop {
namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

bool offscreen() {
    return QGuiApplication::platformName() == "offscreen" ||
           QGuiApplication::platformName() == "minimal";
}

}  // namespace

// While a long run shows its progress, the windows repaint but take no input, except
// Escape, which stops the run at its next step.
class DesktopFrontEnd::EscapeFilter : public QObject {
  public:
    bool active = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!active) return QObject::eventFilter(watched, event);
        switch (event->type()) {
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                    ui::setEscapePending(true);
                return true;
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::Close:
                return true;
            default:
                return QObject::eventFilter(watched, event);
        }
    }
};

// Pop-up menus as real menus at the pointer.
class DesktopFrontEnd::MenuChooser : public app::PopupChooser {
  public:
    explicit MenuChooser(DesktopFrontEnd& fe) : fe_(fe) {}

    std::vector<int> choose(const std::vector<app::PopupEntry>& entries, AVDevCoord x,
                            AVDevCoord y) override {
        QWidget* parent = fe_.mainWindow();
        QPoint global(x, y);
        if (PageView* v = fe_.pageViewFor(fe_.app().mouse().view)) {
            parent = v->viewport();
            global = v->viewport()->mapToGlobal(QPoint(x, y));
        }
        QMenu menu(parent);
        menu.setObjectName("PopupMenu");
        std::vector<int> chosen;
        build(menu, entries, {}, &chosen);
        ScriptRunner* script = ScriptRunner::current();
        if (!script) {
            menu.exec(global);
            return chosen;
        }
        menu.popup(global);
        fe_.openMenu_ = &menu;
        fe_.processEvents();
        std::string choice = script->takeMenuPick([&] { return std::string("the pop-up menu"); });
        if (choice == "none") {
            menu.close();
            return {};
        }
        std::vector<int> path = scriptMenuPath(entries, choice);
        if (QAction* a = actionAt(menu, path)) a->trigger();
        menu.close();
        return chosen;
    }

  private:
    void build(QMenu& menu, const std::vector<app::PopupEntry>& entries, std::vector<int> prefix,
               std::vector<int>* chosen) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const app::PopupEntry& e = entries[i];
            std::vector<int> path = prefix;
            path.push_back(static_cast<int>(i));
            if (e.title == "-") {
                menu.addSeparator();
            } else if (!e.submenu.empty()) {
                QMenu* sub = menu.addMenu(qs(e.title));
                sub->setEnabled(e.enabled);
                build(*sub, e.submenu, path, chosen);
            } else {
                QAction* a = menu.addAction(qs(e.title));
                a->setEnabled(e.enabled);
                QObject::connect(a, &QAction::triggered, [chosen, path] { *chosen = path; });
            }
        }
    }

    static QAction* actionAt(QMenu& menu, const std::vector<int>& path) {
        QMenu* m = &menu;
        QAction* a = nullptr;
        for (int index : path) {
            if (!m || index < 0 || index >= m->actions().size()) return nullptr;
            a = m->actions()[index];
            m = a->menu();
        }
        return a;
    }

    DesktopFrontEnd& fe_;
};

DesktopFrontEnd::DesktopFrontEnd(app::Application& app)
    : app_(app),
      menuChooser_(std::make_unique<MenuChooser>(*this)),
      escapeFilter_(std::make_unique<EscapeFilter>()) {
    qApp->installEventFilter(escapeFilter_.get());
}

DesktopFrontEnd::~DesktopFrontEnd() {
    qApp->removeEventFilter(escapeFilter_.get());
    for (auto& [w, d] : dialogs_)
        if (d) {
            d->detach();
            delete d.data();
        }
}

bool DesktopFrontEnd::scripted() const {
    return ScriptRunner::current() != nullptr;
}

void DesktopFrontEnd::failed(std::exception_ptr error) {
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const ScriptError& e) {
        if (scripted()) {
            if (!scriptError_) scriptError_ = error;
            return;
        }
        message = e.what();
    } catch (const ASException& e) {
        message = errorText(e.code());
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "an unexpected error";
    }
    if (scripted()) {
        if (!scriptError_) scriptError_ = std::make_exception_ptr(ScriptError(message));
        return;
    }
    std::fprintf(stderr, "vexa-studio: %s\n", message.c_str());
    QMessageBox::warning(mainWindow(), qs(alertTitle_), qs(message));
}

void DesktopFrontEnd::rethrowScriptError() {
    if (!scriptError_) return;
    std::exception_ptr e = scriptError_;
    scriptError_ = nullptr;
    std::rethrow_exception(e);
}

void DesktopFrontEnd::afterDispatch() {
    std::vector<AVDoc> unnamed;
    for (auto& d : app_.docs()) {
        PDDoc pd = d->pdDoc;
        std::uint64_t count = doc::changeCount(pd);
        auto it = changeCounts_.find(pd);
        bool changed = it != changeCounts_.end() && it->second != count;
        changeCounts_[pd] = count;
        if (!changed) continue;
        // What the plug-ins draw over a page comes from the document (a frame's box
        // number): a changed document is drawn over anew, as a window system would
        // after the dialog that changed it went away.
        app_.invalidate(&d->view);
        if (!named_.count(pd)) unnamed.push_back(d.get());
    }
    app_.flushRedraws();
    // Changes that no "pages changed" named (boxes, resources): show every page anew.
    for (AVDoc d : unnamed)
        if (PageView* v = pageViewFor(&d->view)) v->allPagesChanged();
    named_.clear();
    if (window_) {
        window_->syncMenus();
        window_->refresh();
    }
}

void DesktopFrontEnd::processEvents() {
    // Events handled may post others (a click that waited for a gesture's end): a few
    // rounds let those run too.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (depth_ == 0) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ASInt16 DesktopFrontEnd::currentModifiers() const {
    if (scriptModifiers >= 0) return scriptModifiers;
    if (scripted()) return 0;
    return hostModifiers(QGuiApplication::queryKeyboardModifiers());
}

PageView* DesktopFrontEnd::pageViewFor(AVPageView view) const {
    if (!window_ || !view || !view->doc) return nullptr;
    return window_->pageView(view->doc);
}

DialogWindow* DesktopFrontEnd::dialogFor(PUIWindow window) const {
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.data();
}

// ---- Alerts ----------------------------------------------------------------------------------

int DesktopFrontEnd::alert(const app::AlertRequest& request) {
    alerts.push_back({request, 0, false});
    std::size_t index = alerts.size() - 1;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.icon) {
        case ALERT_STOP:
            icon = QMessageBox::Critical;
            break;
        case ALERT_CAUTION:
            icon = QMessageBox::Warning;
            break;
        case ALERT_NOTE:
            icon = QMessageBox::Information;
            break;
        case ALERT_QUESTION:
            icon = QMessageBox::Question;
            break;
        default:
            break;
    }
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = window_;
    QMessageBox box(icon, qs(alertTitle_), qs(request.message), QMessageBox::NoButton, parent);
    box.setObjectName("Alert");
    std::vector<QPushButton*> buttons;
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        QMessageBox::ButtonRole role = i == 0   ? QMessageBox::AcceptRole
                                       : i == 1 ? QMessageBox::RejectRole
                                                : QMessageBox::DestructiveRole;
        QPushButton* b = box.addButton(qs(request.buttons[i]), role);
        b->setObjectName(QString("alert-button-%1").arg(i + 1));
        buttons.push_back(b);
    }
    if (buttons.empty()) buttons.push_back(box.addButton(hostText("OK"), QMessageBox::AcceptRole));
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.front());
    if (request.beep) beep();
    int chosen = 1;
    if (ScriptRunner* script = ScriptRunner::current()) {
        box.open();
        openAlert_ = &box;
        processEvents();
        chosen = scriptAlertAnswer(*script, request);
        if (chosen >= 1 && chosen <= static_cast<int>(buttons.size())) buttons[chosen - 1]->click();
    } else {
        box.exec();
        chosen = 0;
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (box.clickedButton() == buttons[i]) chosen = static_cast<int>(i + 1);
        if (chosen == 0) chosen = buttons.size() > 1 ? 2 : 1;  // closed: as Escape
    }
    alerts[index].chosen = chosen;
    return chosen;
}

void DesktopFrontEnd::beep() {
    ++beeps;
    QApplication::beep();
}

// ---- Progress ----------------------------------------------------------------------------------

void DesktopFrontEnd::progressBegin() {
    escapeFilter_->active = true;
    if (window_) window_->showProgress(true);
    processEvents();
}

void DesktopFrontEnd::progressEnd() {
    escapeFilter_->active = false;
    if (window_) window_->showProgress(false);
}

void DesktopFrontEnd::progressText(const std::string& text) {
    progressText_ = text;
    if (window_) window_->setProgressText(qs(text));
}

void DesktopFrontEnd::progressDuration(ASInt32 steps) {
    if (window_) window_->setProgressRange(steps);
}

void DesktopFrontEnd::progressValue(ASInt32 value) {
    if (window_) window_->setProgressValue(value);
    ScriptRunner* script = ScriptRunner::current();
    // The script's user types Escape as the bar reaches that step.
    if (script && script->escapeDue(progressText_, value) && window_)
        QCoreApplication::postEvent(
            window_, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    // The window repaints, and an Escape typed meanwhile is seen.
    processEvents();
}

void DesktopFrontEnd::waitCursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void DesktopFrontEnd::pause(int milliseconds) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents,
                                        static_cast<int>(milliseconds - t.elapsed()));
}

// ---- Dialog windows ----------------------------------------------------------------------------

DialogWindow* DesktopFrontEnd::ensureDialog(PUIWindow w) {
    if (DialogWindow* d = dialogFor(w)) return d;
    auto* d = new DialogWindow(*this, w, window_);
    dialogs_[w] = d;
    if (!w->modal) d->applyPosition();
    return d;
}

void DesktopFrontEnd::windowCreated(PUIWindow) {
    // Built when first shown: the window's controls come after it.
}

void DesktopFrontEnd::windowDestroyed(PUIWindow w) {
    auto it = dialogs_.find(w);
    if (it == dialogs_.end()) return;
    if (DialogWindow* d = it->second.data()) {
        d->detach();
        d->hide();
        d->deleteLater();
    }
    dialogs_.erase(it);
}

void DesktopFrontEnd::windowShown(PUIWindow w, bool shown) {
    DialogWindow* d = shown ? ensureDialog(w) : dialogFor(w);
    if (!d) return;
    if (shown) {
        if (w->modal) return;  // runModal shows it
        d->syncFromModel();
        d->applyPosition();
        d->show();
        d->raise();
        return;
    }
    if (w->modal && d->isVisible())
        d->done(0);  // ends the nested event loop of runModal
    else
        d->hide();
}

void DesktopFrontEnd::windowMoved(PUIWindow w) {
    if (DialogWindow* d = dialogFor(w)) d->applyPosition();
}

void DesktopFrontEnd::controlChanged(PUIControl c, app::ControlChange what) {
    if (DialogWindow* d = dialogFor(c->window)) d->syncControl(c, what);
}

void DesktopFrontEnd::runModal(PUIWindow w) {
    QPointer<DialogWindow> d = ensureDialog(w);
    d->syncFromModel();
    if (ScriptRunner* script = ScriptRunner::current()) {
        d->show();
        d->raise();
        processEvents();
        script->runNested([w] { return w->ended; }, [w] { return ui::describeWaiting(w); });
    } else {
        while (d && !w->ended) d->exec();
    }
    if (d) d->hide();
}

bool DesktopFrontEnd::pointOnScreen(ASInt32 x, ASInt32 y) {
    return QGuiApplication::screenAt(QPoint(x, y)) != nullptr;
}

// ---- Choosers and the desktop
// --------------------------------------------------------------------

bool DesktopFrontEnd::choose(const app::ChooserRequest& r, std::string* path) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = window_;
    QString start = qs(r.initialPath);
    QString filter;
    if (!r.filter.empty()) {
        QString pattern = qs(r.filter);
        filter = (pattern.compare("*.pdf", Qt::CaseInsensitive) == 0 ? QString("PDF files")
                                                                     : QString("Files")) +
                 " (" + pattern + " " + pattern.toUpper() + ");;All files (*)";
    }
    ScriptRunner* script = ScriptRunner::current();
    if (!script) {
        QString chosen;
        if (r.kind == app::ChooserRequest::Folder)
            chosen = QFileDialog::getExistingDirectory(parent, qs(r.title), start);
        else if (r.kind == app::ChooserRequest::SaveFile)
            chosen = QFileDialog::getSaveFileName(parent, qs(r.title), start, filter);
        else
            chosen = QFileDialog::getOpenFileName(parent, qs(r.title), start, filter);
        if (chosen.isEmpty()) return false;
        *path = chosen.toStdString();
        return true;
    }
    // Scripted: the desktop's file dialog is up while the script answers it.
    QFileDialog dialog(parent, qs(r.title), start, filter);
    dialog.setObjectName("Chooser");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(r.kind == app::ChooserRequest::Folder ? QFileDialog::Directory
                                                             : QFileDialog::AnyFile);
    dialog.setAcceptMode(r.kind == app::ChooserRequest::SaveFile ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    dialog.open();
    openChooser_ = &dialog;
    processEvents();
    *path = scriptChooserAnswer(*script, r);
    if (path->empty()) {
        dialog.reject();
        return false;
    }
    // A file dialog answers with the whole path.
    *path = QFileInfo(qs(*path)).absoluteFilePath().toStdString();
    dialog.selectFile(qs(*path));
    static_cast<QDialog&>(dialog).done(QDialog::Accepted);
    return true;
}

bool DesktopFrontEnd::openWithDesktop(const std::string& path) {
    if (opener_) return opener_(path);
    // Without a desktop to open it on, say what would have opened.
    if (scripted() || offscreen()) {
        std::fprintf(stderr, "vexa-studio: open %s\n", path.c_str());
        return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(qs(path)));
}

// ---- Document windows
// ----------------------------------------------------------------------------

void DesktopFrontEnd::documentOpened(AVDoc doc) {
    changeCounts_[doc->pdDoc] = doc::changeCount(doc->pdDoc);
    if (window_) window_->addDocument(doc);
}

void DesktopFrontEnd::documentClosing(AVDoc doc) {
    changeCounts_.erase(doc->pdDoc);
    if (window_) window_->removeDocument(doc);
}

void DesktopFrontEnd::frontDocumentChanged(AVDoc doc) {
    if (!window_) return;
    if (doc)
        window_->showDocument(doc);
    else
        window_->refresh();
}

void DesktopFrontEnd::viewChanged(AVPageView view) {
    if (PageView* v = pageViewFor(view)) v->modelChanged();
}

void DesktopFrontEnd::viewDrawn(AVPageView view) {
    if (PageView* v = pageViewFor(view)) v->overlayChanged();
}

void DesktopFrontEnd::pagesChanged(PDDoc doc, ASInt32 first, ASInt32 last) {
    named_.insert(doc);
    for (auto& d : app_.docs())
        if (d->pdDoc == doc)
            if (PageView* v = pageViewFor(&d->view)) v->pagesChanged(first, last);
}

void DesktopFrontEnd::cursorChanged(ASInt32 shape) {
    if (PageView* v = pageViewFor(app_.mouse().view)) v->setCursorShape(shape);
}

app::PopupChooser* DesktopFrontEnd::popupChooser() {
    return menuChooser_.get();
}

bool DesktopFrontEnd::trackMouse(app::MouseState& mouse) {
    if (PageView* v = pageViewFor(mouse.view)) return v->trackMouse(mouse);
    return followPath(mouse);
}

void DesktopFrontEnd::dragFeedback(AVPageView view, app::DragFeedback kind, const AVDevRect& rect) {
    if (PageView* v = pageViewFor(view)) v->setDragFeedback(kind, rect);
}

}  // namespace vexa::host::desktop
