#include "desktop/DialogWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

#include "desktop/DesktopFrontEnd.h"
#include "desktop/Input.h"
#include "desktop/MainWindow.h"

namespace vexa::host::desktop {
namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

bool isField(ASUns32 kind) {
    return kind == kPUIEditText || kind == kPUIUnitEditText;
}

Qt::Alignment alignmentOf(ASUns32 flags) {
    Qt::Alignment a = Qt::AlignVCenter;
    if (flags & kPUIJustCenter)
        a |= Qt::AlignHCenter;
    else if (flags & kPUIJustRight)
        a |= Qt::AlignRight;
    else
        a |= Qt::AlignLeft;
    return a;
}

// The description's pixels were laid out for a font 13 pixels high.
constexpr double kDesignLineHeight = 13.0;

}  // namespace

DialogWindow::DialogWindow(DesktopFrontEnd& fe, PUIWindow window, QWidget* parent)
    : QDialog(parent), fe_(fe), window_(window) {
    setObjectName(qs("dialog-" + window->name));
    setWindowTitle(qs(window->title));
    if (window->modal) {
        setModal(true);
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    } else {
        // A palette: above its main window, never taking the keyboard from the page.
        setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }
    build();
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::detach() {
    window_ = nullptr;
}

QWidget* DialogWindow::widgetFor(const _t_PUIControl* c) const {
    auto it = widgets_.find(c);
    return it == widgets_.end() ? nullptr : it->second;
}

PUIControl DialogWindow::controlFor(const QWidget* w) const {
    auto it = controls_.find(w);
    return it == controls_.end() ? nullptr : it->second;
}

void DialogWindow::build() {
    widgets_[&window_->root] = this;
    bool palette = !window_->modal;
    for (auto& owned : window_->controls) {
        PUIControl c = owned.get();
        QWidget* parent = widgetFor(c->parent);
        if (!parent) parent = this;
        QWidget* w = makeWidget(c, parent);
        w->setObjectName(QString("control-%1").arg(c->id));
        if (palette && !isField(c->kind)) w->setFocusPolicy(Qt::NoFocus);
        widgets_[c] = w;
        controls_[w] = c;
    }
    computeScale();
    for (auto& owned : window_->controls) {
        PUIControl c = owned.get();
        QWidget* w = widgetFor(c);
        w->setGeometry(placed(c, w));
    }
    setFixedSize(static_cast<int>(std::lround(window_->width * sx_)),
                 static_cast<int>(std::lround(window_->height * sy_)));
    syncFromModel();
}

QWidget* DialogWindow::makeWidget(PUIControl c, QWidget* parent) {
    QWidget* w = nullptr;
    QString text = qs(c->text);
    switch (c->kind) {
        case kPUIPushButton: {
            auto* b = new QPushButton(text, parent);
            b->setAutoDefault(false);
            if (c->flags & kPUIDefaultButton) b->setDefault(true);
            connect(b, &QPushButton::clicked, this, [this, c] { userPressed(c); });
            w = b;
            break;
        }
        case kPUICheckBox: {
            auto* b = new QCheckBox(text, parent);
            connect(b, &QCheckBox::clicked, this, [this, c](bool on) { userToggled(c, on); });
            w = b;
            break;
        }
        case kPUIRadioButton: {
            auto* b = new QRadioButton(text, parent);
            b->setAutoExclusive(false);  // the dialog services keep the group
            connect(b, &QRadioButton::clicked, this, [this, c] { userPressed(c); });
            w = b;
            break;
        }
        case kPUIGroupBox:
            w = new QGroupBox(text, parent);
            break;
        case kPUIStaticText:
            if (c->flags & kPUIReadOnly) {
                auto* e = new QLineEdit(text, parent);
                e->setReadOnly(true);
                e->setAlignment(alignmentOf(c->flags));
                w = e;
            } else {
                auto* l = new QLabel(text, parent);
                l->setAlignment(alignmentOf(c->flags));
                l->setWordWrap(c->rect.height >= 20);
                w = l;
            }
            break;
        case kPUIEditText:
        case kPUIUnitEditText:
            if (c->flags & kPUIMultiLine) {
                auto* e = new QPlainTextEdit(text, parent);
                e->setTabChangesFocus(true);
                e->installEventFilter(this);
                w = e;
            } else {
                auto* e = new QLineEdit(text, parent);
                e->setAlignment(alignmentOf(c->flags));
                if (c->flags & kPUIPassword) e->setEchoMode(QLineEdit::Password);
                connect(e, &QLineEdit::editingFinished, this, [this, c, e] {
                    if (e->isModified()) userEdited(c, e->text());
                });
                e->installEventFilter(this);
                w = e;
            }
            break;
        case kPUIComboBox:
        case kPUIPopup: {
            auto* b = new QComboBox(parent);
            b->setEditable(c->kind == kPUIComboBox);
            connect(b, &QComboBox::activated, this, [this, c](int i) { userPicked(c, i); });
            if (b->lineEdit())
                connect(b->lineEdit(), &QLineEdit::editingFinished, this, [this, c, b] {
                    if (b->lineEdit()->isModified()) userEdited(c, b->currentText());
                });
            w = b;
            break;
        }
        case kPUIListBox: {
            auto* l = new QListWidget(parent);
            connect(l, &QListWidget::itemClicked, this,
                    [this, c, l](QListWidgetItem* item) { userPicked(c, l->row(item)); });
            w = l;
            break;
        }
        case kPUIProgressBar:
            w = new QProgressBar(parent);
            break;
        case kPUITabs:
            w = new QTabWidget(parent);
            break;
        case kPUISeparator: {
            auto* f = new QFrame(parent);
            f->setFrameShape(c->rect.width >= c->rect.height ? QFrame::HLine : QFrame::VLine);
            f->setFrameShadow(QFrame::Sunken);
            w = f;
            break;
        }
        default:
            w = new QWidget(parent);  // panes and radio groups
            break;
    }
    return w;
}

// Heights grow with the font; widths grow further where a text would not fit its
// rectangle, all by the same factor, so that the description's arrangement holds.
void DialogWindow::computeScale() {
    QFontMetrics fm(font());
    sy_ = std::max(1.0, fm.height() / kDesignLineHeight);
    sx_ = sy_;
    int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                    style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 4;
    for (auto& owned : window_->controls) {
        const _t_PUIControl* c = owned.get();
        if (c->rect.width <= 0) continue;
        int need = 0;
        switch (c->kind) {
            case kPUIPushButton:
                need = fm.horizontalAdvance(qs(c->text)) + 16;
                break;
            case kPUICheckBox:
            case kPUIRadioButton:
                need = fm.horizontalAdvance(qs(c->text)) + indicator;
                break;
            case kPUIStaticText:
                if (c->rect.height < 20) need = fm.horizontalAdvance(qs(c->text)) + 2;
                break;
            case kPUIGroupBox:
                need = fm.horizontalAdvance(qs(c->text)) + 16;
                break;
            case kPUIPopup:
            case kPUIComboBox:
                for (const std::string& item : c->menu)
                    need = std::max(need, fm.horizontalAdvance(qs(item)) + 36);
                break;
            default:
                break;
        }
        if (need > 0) sx_ = std::max(sx_, static_cast<double>(need) / c->rect.width);
    }
}

QRect DialogWindow::placed(const _t_PUIControl* c, QWidget* w) const {
    const PUIRect& r = c->rect;
    int x = static_cast<int>(std::lround(r.x * sx_));
    int y = static_cast<int>(std::lround(r.y * sy_));
    int width = static_cast<int>(std::lround(r.width * sx_));
    int height = static_cast<int>(std::lround(r.height * sy_));
    switch (c->kind) {
        case kPUIPushButton:
        case kPUICheckBox:
        case kPUIRadioButton:
        case kPUIPopup:
        case kPUIComboBox:
        case kPUIStaticText:
        case kPUIEditText:
        case kPUIUnitEditText: {
            if (c->kind == kPUIStaticText && c->rect.height >= 20) break;
            if ((c->flags & kPUIMultiLine) && isField(c->kind)) break;
            // One line: as tall as the widget wants, centred on its rectangle.
            int want = std::max(height, w->sizeHint().height());
            y += (height - want) / 2;
            height = want;
            break;
        }
        case kPUISeparator:
            height = std::max(2, static_cast<int>(r.height));
            break;
        default:
            break;
    }
    return QRect(x, y, width, height);
}

// ---- Model → widgets ---------------------------------------------------------------------

void DialogWindow::syncFromModel() {
    if (!window_) return;
    for (auto& owned : window_->controls) {
        PUIControl c = owned.get();
        for (app::ControlChange what :
             {app::ControlChange::Menu, app::ControlChange::Text, app::ControlChange::Value,
              app::ControlChange::Enabled, app::ControlChange::Visible})
            syncControl(c, what);
    }
}

void DialogWindow::syncControl(PUIControl c, app::ControlChange what) {
    QWidget* w = widgetFor(c);
    if (!w || !window_) return;
    syncing_ = true;
    QSignalBlocker block(w);
    QString text = qs(c->text);
    switch (what) {
        case app::ControlChange::Text:
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                b->setText(text);
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                l->setText(text);
            } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
                if (e->text() != text) e->setText(text);
                e->setModified(false);
            } else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
                if (e->toPlainText() != text) e->setPlainText(text);
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                g->setTitle(text);
            } else if (auto* b = qobject_cast<QComboBox*>(w); b && b->isEditable()) {
                b->setEditText(text);
            }
            break;
        case app::ControlChange::Value:
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) {
                b->setChecked(c->value != 0);
            } else if (auto* b = qobject_cast<QComboBox*>(w)) {
                b->setCurrentIndex(c->value - 1);
                if (b->isEditable() && c->value < 1) b->setEditText(text);
            } else if (auto* l = qobject_cast<QListWidget*>(w)) {
                l->setCurrentRow(c->value - 1);
            } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
                p->setValue(c->value);
            } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
                t->setCurrentIndex(c->value - 1);
            }
            break;
        case app::ControlChange::Menu:
            if (auto* b = qobject_cast<QComboBox*>(w)) {
                b->clear();
                for (const std::string& item : c->menu) b->addItem(qs(item));
                b->setCurrentIndex(c->value - 1);
            } else if (auto* l = qobject_cast<QListWidget*>(w)) {
                l->clear();
                for (const std::string& item : c->menu) l->addItem(qs(item));
                l->setCurrentRow(c->value - 1);
            } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
                while (t->count() > 0) t->removeTab(0);
                for (const std::string& item : c->menu) t->addTab(new QWidget(t), qs(item));
            }
            break;
        case app::ControlChange::Enabled:
            w->setEnabled(c->enabled);
            break;
        case app::ControlChange::Visible:
            w->setVisible(c->visible);
            break;
        case app::ControlChange::Focus:
            if (isVisible()) w->setFocus(Qt::OtherFocusReason);
            break;
        case app::ControlChange::Selection:
            if (auto* e = qobject_cast<QLineEdit*>(w)) {
                int end = c->selEnd < 0 ? static_cast<int>(e->text().size()) : c->selEnd;
                e->setSelection(c->selStart, std::max(0, end - c->selStart));
            }
            break;
    }
    syncing_ = false;
}

void DialogWindow::applyPosition() {
    if (window_) move(window_->left, window_->top);
}

// ---- Widgets → model ---------------------------------------------------------------------

template <typename F>
void DialogWindow::act(F&& f) {
    if (!window_ || syncing_) return;
    QPointer<DialogWindow> self(this);
    bool modeless = !window_->modal;
    app::MouseState& mouse = fe_.app().mouse();
    ASInt16 saved = mouse.modifiers;
    mouse.modifiers = fe_.currentModifiers();
    fe_.dispatch([&] { f(); });
    mouse.modifiers = saved;
    if (!self || !window_) return;
    syncFromModel();
    // The palette gives the keyboard back to the page.
    if (modeless && fe_.mainWindow() && !fe_.scripted()) fe_.mainWindow()->focusPageView();
}

void DialogWindow::userEdited(PUIControl c, const QString& text) {
    act([&] { ui::setText(c, text.toStdString()); });
    if (auto* e = qobject_cast<QLineEdit*>(widgetFor(c))) e->setModified(false);
}

void DialogWindow::userPicked(PUIControl c, int index) {
    act([&] { ui::pick(c, std::to_string(index + 1)); });
}

void DialogWindow::userToggled(PUIControl c, bool on) {
    act([&] { ui::toggle(c, on ? 1 : 0); });
}

void DialogWindow::userPressed(PUIControl c) {
    commitEdits();
    act([&] { ui::press(c); });
}

void DialogWindow::commitEdits() {
    if (!window_) return;
    for (auto& owned : window_->controls) {
        PUIControl c = owned.get();
        if (!c->enabled || !c->visible) continue;
        QWidget* w = widgetFor(c);
        if (auto* e = qobject_cast<QLineEdit*>(w); e && !e->isReadOnly() && e->isModified()) {
            userEdited(c, e->text());
            if (!window_) return;
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w);
                   p && p->toPlainText().toStdString() != c->text) {
            userEdited(c, p->toPlainText());
            if (!window_) return;
        }
    }
}

// Escape and the close box: the cancel button, or a modeless window closes.
void DialogWindow::reject() {
    if (!window_) {
        QDialog::reject();
        return;
    }
    commitEdits();
    act([&] { ui::typeKey(window_, 27); });
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!window_) {
        event->accept();
        return;
    }
    if (window_->modal) {
        reject();
        return;
    }
    act([&] { ui::closeWindow(window_); });
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && window_) {
        if (qobject_cast<QPlainTextEdit*>(focusWidget())) return;
        for (auto& owned : window_->controls)
            if (owned->flags & kPUIDefaultButton)
                if (auto* b = qobject_cast<QPushButton*>(widgetFor(owned.get()));
                    b && b->isEnabled() && b->isVisible()) {
                    b->click();
                    return;
                }
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (!window_ || !isVisible()) return;
    window_->left = pos().x();
    window_->top = pos().y();
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    PUIControl c = w ? controlFor(w) : nullptr;
    if (!c || !window_) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        window_->focus = c;
    } else if (event->type() == QEvent::KeyPress && c->keyFilter) {
        auto* ke = static_cast<QKeyEvent*>(event);
        ASUns16 key = hostKey(*ke);
        bool taken = false;
        if (key != 0) {
            PUIKeyFilterProc proc = c->keyFilter;
            ASClientData data = c->keyFilterData;
            fe_.dispatch([&] { taken = proc(c, key, hostModifiers(ke->modifiers()), data); });
        }
        if (taken) return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vexa::host::desktop
