#include "desktop/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/Core.h"
#include "desktop/DesktopFrontEnd.h"
#include "desktop/Icons.h"
#include "desktop/PageView.h"
#include "desktop/Texts.h"
#include "desktop/Thumbnails.h"
#include "doc/DocInternal.h"

namespace vexa::host::desktop {
namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Shortcuts of the items, by item name, as desktop programs have them.
QList<QKeySequence> shortcutsFor(const std::string& name) {
    static const std::map<std::string, QList<QKeySequence>> table = {
        {"Studio:Open", {QKeySequence::Open}},
        {"Studio:Close", {QKeySequence::Close}},
        {"Studio:Save", {QKeySequence::Save}},
        {"Studio:SaveAs", {QKeySequence::SaveAs}},
        {"Studio:Quit", {QKeySequence::Quit}},
        {"Undo", {QKeySequence::Undo}},
        {"Redo",
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}},
        {"Studio:ZoomIn",
         {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
        {"Studio:ZoomOut", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
        {"Studio:ActualSize", {QKeySequence(Qt::CTRL | Qt::Key_0)}},
        {"Studio:FitPage", {QKeySequence(Qt::CTRL | Qt::Key_1)}},
        {"Studio:FitWidth", {QKeySequence(Qt::CTRL | Qt::Key_2)}},
        {"Studio:NextPage", {QKeySequence(Qt::Key_PageDown)}},
        {"Studio:PreviousPage", {QKeySequence(Qt::Key_PageUp)}},
    };
    auto it = table.find(name);
    return it == table.end() ? QList<QKeySequence>{} : it->second;
}

void runCommand(ASClientData data) {
    auto* c = static_cast<std::function<void()>*>(data);
    (*c)();
}

ASBool commandEnabled(ASClientData data) {
    auto* c = static_cast<std::function<bool()>*>(data);
    return (*c)();
}

// The title of a menu or item: the host's own in the application's language, the
// plug-ins' as they gave them.
QString itemTitle(const std::string& title, ExtensionID owner) {
    return owner ? qs(title) : hostText(title);
}

// A message box's standard buttons in the application's language.
void translateButtons(QMessageBox& box) {
    static const std::pair<QMessageBox::StandardButton, const char*> names[] = {
        {QMessageBox::Ok, "OK"},
        {QMessageBox::Cancel, "Cancel"},
        {QMessageBox::Save, "Save"},
        {QMessageBox::Discard, "Don't Save"}};
    for (const auto& [button, text] : names)
        if (QAbstractButton* b = box.button(button)) b->setText(hostText(text));
}

// The warning that a file could not be opened or saved (`what` names it as "%1"), with
// the host's text of the error; shown unless the window is scripted.
void warnFileError(QWidget* parent, const char* what, const QString& name, ASErrorCode code,
                   bool show, const char* objectName = nullptr) {
    QMessageBox box(QMessageBox::Warning, "Vexa Studio", hostText(what).arg(name), QMessageBox::Ok,
                    parent);
    translateButtons(box);
    box.setInformativeText(qs(errorText(code)));
    if (objectName) box.setObjectName(objectName);
    if (show) box.exec();
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string docPath(AVDoc doc) {
    char path[4096] = "";
    if (!doc || !doc::isLiveDoc(doc->pdDoc)) return "";
    if (doc::pdModelTable()->PDDocGetPath(doc->pdDoc, path, sizeof path) <= 0) return "";
    return path;
}

// The document's title as the window shows it: a new one that has none yet is
// "Untitled".
QString shownTitle(AVDoc doc) {
    return doc->title.empty() ? hostText("Untitled") : qs(doc->title);
}

bool docChanged(AVDoc doc) {
    return doc && doc::isLiveDoc(doc->pdDoc) &&
           (doc::pdModelTable()->PDDocGetFlags(doc->pdDoc) & PDDocNeedsSave);
}

}  // namespace

MainWindow::MainWindow(DesktopFrontEnd& fe) : fe_(fe) {
    setObjectName("MainWindow");
    setWindowTitle("Vexa Studio");
    setWindowIcon(appIcon());
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("DocumentTabs");
    tabs_->setDocumentMode(true);
    tabs_->setTabsClosable(true);
    tabs_->setMovable(true);
    setCentralWidget(tabs_);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::currentTabChanged);
    connect(tabs_, &QTabWidget::tabCloseRequested, this, [this](int index) {
        auto* v = qobject_cast<PageView*>(tabs_->widget(index));
        if (v) closeDocument(v->doc());
    });

    progressLabel_ = new QLabel(this);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setMaximumWidth(220);
    progressBar_->setTextVisible(false);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName("PageLabel");
    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName("ZoomLabel");
    pointerLabel_ = new QLabel(this);
    pointerLabel_->setObjectName("PointerLabel");
    pointerLabel_->setMinimumWidth(fontMetrics().horizontalAdvance("x 0000.0 mm  y 0000.0 mm"));
    statusBar()->addPermanentWidget(pointerLabel_);
    statusBar()->addWidget(progressLabel_);
    statusBar()->addWidget(progressBar_);
    statusBar()->addPermanentWidget(pageLabel_);
    statusBar()->addPermanentWidget(zoomLabel_);
    showProgress(false);

    thumbnails_ = new Thumbnails(fe_, this);
    thumbDock_ = new QDockWidget(hostText("Pages"), this);
    thumbDock_->setObjectName("ThumbnailsDock");
    thumbDock_->setWidget(thumbnails_);
    thumbDock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    addDockWidget(Qt::LeftDockWidgetArea, thumbDock_);
    // Shown by a person's choice; a scripted session starts without it.
    thumbDock_->hide();

    addHostCommands();
    resize(1100, 800);
}

MainWindow::~MainWindow() = default;

// ---- Host commands -------------------------------------------------------------------------

void MainWindow::addHostItem(const char* menuName, const char* name, const char* title,
                             std::function<void()> run, std::function<bool()> enabled,
                             std::function<bool()> marked) {
    app::Application& a = fe_.app();
    _t_AVMenu* menu = a.findMenu(menuName);
    if (!menu) return;
    auto c = std::make_unique<HostCommand>();
    c->run = std::move(run);
    c->enabled = enabled ? std::move(enabled) : [] { return true; };
    c->marked = std::move(marked);
    _t_AVMenuItem* item = a.newMenuItem(title, name, nullptr, 0, nullptr);
    item->execute = runCommand;
    item->executeData = &c->run;
    item->enabled = commandEnabled;
    item->enabledData = &c->enabled;
    if (c->marked) {
        item->marked = commandEnabled;
        item->markedData = &c->marked;
    }
    item->menu = menu;
    menu->items.push_back(item);
    commands_.push_back(std::move(c));
}

void MainWindow::addHostButton(const char* toolbarName, const char* name, const char* label,
                               std::function<void()> run) {
    app::Application& a = fe_.app();
    _t_AVToolBar* tb = a.toolbar(toolbarName);
    if (!tb) return;
    auto c = std::make_unique<HostCommand>();
    c->run = std::move(run);
    _t_AVToolButton* b = a.newToolButton(name, label, nullptr);
    b->execute = runCommand;
    b->executeData = &c->run;
    tb->buttons.push_back(b);
    commands_.push_back(std::move(c));
}

void MainWindow::addHostCommands() {
    auto haveDoc = [this] { return fe_.app().frontDoc() != nullptr; };
    auto view = [this] { return currentPageView(); };
    auto separator = [this](const char* menu) {
        if (_t_AVMenu* m = fe_.app().findMenu(menu)) {
            _t_AVMenuItem* s = fe_.app().newMenuItem("-", "", nullptr, 0, nullptr);
            s->menu = m;
            m->items.push_back(s);
        }
    };
    addHostItem("File", "Studio:Open", "Open\xE2\x80\xA6", [this] { openDialog(); });
    addHostItem("File", "Studio:OpenRecent", "Open Recent", [] {});
    addHostItem(
        "File", "Studio:Close", "Close", [this] { closeDocument(fe_.app().frontDoc()); }, haveDoc);
    separator("File");
    addHostItem(
        "File", "Studio:Save", "Save", [this] { save(fe_.app().frontDoc()); }, haveDoc);
    addHostItem(
        "File", "Studio:SaveAs", "Save As\xE2\x80\xA6", [this] { saveAs(fe_.app().frontDoc()); },
        haveDoc);
    separator("File");
    addHostItem("File", "Studio:Quit", "Quit", [this] { close(); });

    auto withView = [view](void (PageView::*f)()) {
        return [view, f] {
            if (PageView* v = view()) (v->*f)();
        };
    };
    addHostItem("View", "Studio:ZoomIn", "Zoom In", withView(&PageView::zoomIn), haveDoc);
    addHostItem("View", "Studio:ZoomOut", "Zoom Out", withView(&PageView::zoomOut), haveDoc);
    addHostItem("View", "Studio:ActualSize", "Actual Size", withView(&PageView::actualSize),
                haveDoc);
    addHostItem("View", "Studio:FitPage", "Fit Page", withView(&PageView::fitPage), haveDoc);
    addHostItem("View", "Studio:FitWidth", "Fit Width", withView(&PageView::fitWidth), haveDoc);
    separator("View");
    addHostItem(
        "View", "Studio:SinglePage", "Single Page",
        [view] {
            if (PageView* v = view()) v->setContinuous(false);
        },
        haveDoc, [view] { return view() && !view()->continuous(); });
    addHostItem(
        "View", "Studio:Continuous", "Continuous",
        [view] {
            if (PageView* v = view()) v->setContinuous(true);
        },
        haveDoc, [view] { return view() && view()->continuous(); });
    separator("View");
    addHostItem(
        "View", "Studio:PreviousPage", "Previous Page",
        [view] {
            if (PageView* v = view()) v->goToPage(v->currentPage() - 1);
        },
        [view] { return view() && view()->currentPage() > 0; });
    addHostItem(
        "View", "Studio:NextPage", "Next Page",
        [view] {
            if (PageView* v = view()) v->goToPage(v->currentPage() + 1);
        },
        [view] { return view() && view()->currentPage() + 1 < view()->pageCount(); });
    addHostItem(
        "View", "Studio:Thumbnails", "Page Thumbnails",
        [this] { showThumbnails(!!thumbDock_->isHidden()); }, [] { return true; },
        [this] { return !thumbDock_->isHidden(); });
    addHostItem(
        "View", "Studio:Rulers", "Rulers", [this] { showRulers(!rulers_); }, [] { return true; },
        [this] { return rulers_; });
    addHostItem("Help", "Studio:About", "About Vexa Studio", [this] { about(); });

    addHostButton("File", "Studio:OpenButton", "Open a PDF file", [this] { openDialog(); });
    addHostButton("File", "Studio:SaveButton", "Save the document",
                  [this] { save(fe_.app().frontDoc()); });
}

// ---- Menus and toolbars ----------------------------------------------------------------------

void MainWindow::syncMenus() {
    const auto& menus = fe_.app().menubar().menus;
    if (menus != builtMenus_) {
        menuBar()->clear();
        itemActions_.clear();
        for (_t_AVMenu* m : menus) {
            QMenu* q = menuBar()->addMenu(itemTitle(m->title, m->owner));
            q->setObjectName(qs("menu-" + m->name));
            fillMenu(q, m);
            connect(q, &QMenu::aboutToShow, this, [this, q, m] { fillMenu(q, m); });
        }
        builtMenus_ = menus;
    }
    syncToolbars();
}

void MainWindow::fillMenu(QMenu* q, _t_AVMenu* menu) {
    q->clear();
    app::Application& a = fe_.app();
    for (_t_AVMenuItem* item : menu->items) {
        if (item->isSeparator()) {
            q->addSeparator();
            continue;
        }
        if (item->name == "Studio:OpenRecent") {
            QMenu* recent = q->addMenu(itemTitle(item->title, item->owner));
            recent->setObjectName("menu-OpenRecent");
            fillRecent(recent);
            continue;
        }
        if (item->submenu) {
            QMenu* sub = q->addMenu(itemTitle(item->title, item->owner));
            sub->setObjectName(qs("menu-" + item->submenu->name));
            fillMenu(sub, item->submenu);
            continue;
        }
        QString title = itemTitle(item->title, item->owner);
        if (item->name == "Undo" || item->name == "Redo")
            title = undoText(a.undoTitle(a.frontDoc(), item->name == "Undo"));
        QAction* action = q->addAction(title);
        action->setObjectName(qs("item-" + item->name));
        action->setShortcuts(shortcutsFor(item->name));
        bool enabled = true;
        try {
            enabled = !item->enabled || item->enabled(item->enabledData);
        } catch (const ASException&) {
            enabled = false;
        }
        action->setEnabled(enabled);
        if (item->marked) {
            action->setCheckable(true);
            try {
                action->setChecked(item->marked(item->markedData));
            } catch (const ASException&) {
            }
        }
        connect(action, &QAction::triggered, this, [this, item] { execute(item); });
        itemActions_[item] = action;
    }
    if (menu->name == "Window") fillWindowMenu(q);
}

void MainWindow::fillRecent(QMenu* q) {
    q->clear();
    for (const std::string& path : recent_) {
        QAction* a = q->addAction(qs(fileName(path)));
        a->setToolTip(qs(path));
        connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    q->setEnabled(!recent_.empty());
}

void MainWindow::fillWindowMenu(QMenu* q) {
    if (tabs_->count() == 0) return;
    if (!q->isEmpty()) q->addSeparator();
    for (int i = 0; i < tabs_->count(); ++i) {
        auto* v = qobject_cast<PageView*>(tabs_->widget(i));
        if (!v) continue;
        QAction* a = q->addAction(shownTitle(v->doc()));
        a->setCheckable(true);
        a->setChecked(i == tabs_->currentIndex());
        AVDoc doc = v->doc();
        connect(a, &QAction::triggered, this,
                [this, doc] { fe_.dispatch([&] { fe_.app().setFrontDoc(doc); }); });
    }
}

void MainWindow::syncToolbars() {
    app::Application& a = fe_.app();
    std::size_t buttons = 0;
    for (const char* name : {"File", "Editing"})
        if (_t_AVToolBar* tb = a.toolbar(name)) buttons += tb->buttons.size();
    if (buttons == builtButtons_ && !toolbars_.empty()) return;
    for (QToolBar* tb : toolbars_) {
        removeToolBar(tb);
        delete tb;
    }
    toolbars_.clear();
    buttonActions_.clear();
    for (const char* name : {"File", "Editing"}) {
        _t_AVToolBar* model = a.toolbar(name);
        if (!model) continue;
        QToolBar* tb = addToolBar(name);
        tb->setObjectName(QString("toolbar-") + name);
        tb->setMovable(false);
        for (_t_AVToolButton* b : model->buttons) {
            QIcon icon = b->name == "Studio:OpenButton"
                             ? style()->standardIcon(QStyle::SP_DialogOpenButton)
                         : b->name == "Studio:SaveButton"
                             ? style()->standardIcon(QStyle::SP_DialogSaveButton)
                             : toolIcon();
            QString label = b->owner ? qs(b->label) : hostText(b->label);
            QAction* action = tb->addAction(icon, label);
            action->setObjectName(qs("button-" + b->name));
            action->setToolTip(label);
            action->setCheckable(b->marked != nullptr);
            connect(action, &QAction::triggered, this, [this, b] {
                fe_.dispatch([&] {
                    if (b->enabled && !b->enabled(b->enabledData)) {
                        fe_.beep();
                        return;
                    }
                    if (b->execute) b->execute(b->executeData);
                });
            });
            buttonActions_[b] = action;
        }
        toolbars_.push_back(tb);
    }
    builtButtons_ = buttons;
}

void MainWindow::execute(_t_AVMenuItem* item) {
    fe_.dispatch([&] {
        if (!fe_.app().executeMenuItem(item)) fe_.beep();
    });
}

QAction* MainWindow::actionFor(const _t_AVMenuItem* item) const {
    auto it = itemActions_.find(item);
    return it == itemActions_.end() ? nullptr : it->second.data();
}

QAction* MainWindow::actionFor(const _t_AVToolButton* button) const {
    auto it = buttonActions_.find(button);
    return it == buttonActions_.end() ? nullptr : it->second.data();
}

void MainWindow::refresh() {
    for (auto& [b, action] : buttonActions_) {
        if (!action) continue;
        bool enabled = true, marked = false;
        try {
            enabled = !b->enabled || b->enabled(b->enabledData);
            marked = b->marked && b->marked(b->markedData);
        } catch (const ASException&) {
        }
        action->setEnabled(enabled);
        if (action->isCheckable()) action->setChecked(marked);
    }
    // The items' states and titles follow the model, so that a shortcut works (or
    // not) as the menu would show it.
    app::Application& a = fe_.app();
    for (auto& [item, action] : itemActions_) {
        if (!action) continue;
        bool enabled = true;
        try {
            enabled = !item->enabled || item->enabled(item->enabledData);
            if (item->marked) action->setChecked(item->marked(item->markedData));
        } catch (const ASException&) {
            enabled = false;
        }
        action->setEnabled(enabled);
        if (item->name == "Undo" || item->name == "Redo")
            action->setText(undoText(a.undoTitle(a.frontDoc(), item->name == "Undo")));
    }
    // The dialogs' unit may have changed with the preferences.
    if (PageView* v = currentPageView()) v->updateRulers();
    AVDoc front = fe_.app().frontDoc();
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* v = qobject_cast<PageView*>(tabs_->widget(i)))
            tabs_->setTabText(i, shownTitle(v->doc()) + (docChanged(v->doc()) ? " *" : ""));
    if (front) {
        setWindowTitle(shownTitle(front) + "[*] \xE2\x80\x94 Vexa Studio");
        setWindowModified(docChanged(front));
    } else {
        setWindowTitle("Vexa Studio");
        setWindowModified(false);
    }
    updateStatus();
}

// ---- Documents -------------------------------------------------------------------------------

void MainWindow::addDocument(AVDoc doc) {
    auto* v = new PageView(fe_, doc, tabs_);
    v->setRulers(rulers_);
    views_[doc] = v;
    connect(v, &PageView::statusChanged, this, &MainWindow::updateStatus);
    connect(v, &PageView::pointerMoved, this, [this](bool onPage, QPointF p) {
        pointerLabel_->setText(onPage ? pointText(p, dialogUnits()) : QString());
    });
    connect(v, &PageView::message, this,
            [this](const QString& text) { statusBar()->showMessage(text, 8000); });
    switchingTabs_ = true;
    int index = tabs_->addTab(v, shownTitle(doc));
    tabs_->setTabToolTip(index, qs(docPath(doc)));
    tabs_->setCurrentIndex(index);
    switchingTabs_ = false;
    // Its place in the window now, before the next layout pass, so that fitting it
    // uses the room it will have.
    if (QWidget* stack = v->parentWidget()) v->setGeometry(stack->rect());
    v->modelChanged();
    if (!thumbDock_->isHidden()) {
        thumbnails_->setView(nullptr);
        thumbnails_->setView(v);
    }
    // A document opened by a person is shown whole; a script keeps the model's view.
    // Its first pages are asked for at once, so that they render while the plug-ins
    // look at the document.
    if (!fe_.scripted()) {
        if (keepState_)
            v->applyZoomSetting(zoomSetting_);
        else
            v->fitPage();
    }
    v->renderNow();
}

void MainWindow::removeDocument(AVDoc doc) {
    auto it = views_.find(doc);
    if (it == views_.end()) return;
    PageView* v = it->second;
    v->documentClosed();
    zoomSetting_ = v->zoomSetting();
    views_.erase(it);
    switchingTabs_ = true;
    tabs_->removeTab(tabs_->indexOf(v));
    switchingTabs_ = false;
    v->hide();
    if (thumbnails_->view() == v) thumbnails_->setView(currentPageView());
    v->deleteLater();
}

void MainWindow::showDocument(AVDoc doc) {
    PageView* v = pageView(doc);
    if (!v) return;
    switchingTabs_ = true;
    tabs_->setCurrentWidget(v);
    switchingTabs_ = false;
    refresh();
}

PageView* MainWindow::pageView(AVDoc doc) const {
    auto it = views_.find(doc);
    return it == views_.end() ? nullptr : it->second;
}

PageView* MainWindow::currentPageView() const {
    return qobject_cast<PageView*>(tabs_->currentWidget());
}

void MainWindow::focusPageView() {
    if (PageView* v = currentPageView()) {
        activateWindow();
        v->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::showThumbnails(bool on) {
    thumbDock_->setVisible(on);
    thumbnails_->setView(on ? currentPageView() : nullptr);
}

void MainWindow::showRulers(bool on) {
    rulers_ = on;
    for (auto& [doc, v] : views_) v->setRulers(on);
}

void MainWindow::currentTabChanged(int index) {
    if (!thumbDock_->isHidden()) thumbnails_->setView(currentPageView());
    if (switchingTabs_) return;
    auto* v = qobject_cast<PageView*>(tabs_->widget(index));
    if (v && v->doc() != fe_.app().frontDoc())
        fe_.dispatch([&] { fe_.app().setFrontDoc(v->doc()); });
    refresh();
}

void MainWindow::openDialog() {
    std::string start = lastFolder_;
    if (start.empty() && !recent_.empty())
        start = std::filesystem::path(recent_.front()).parent_path().string();
    QString path = QFileDialog::getOpenFileName(
        this, hostText("Open"), qs(start),
        hostText("PDF files (*.pdf *.PDF)") + ";;" + hostText("All files (*)"));
    if (!path.isEmpty()) openFile(path.toStdString());
}

bool MainWindow::openFile(const std::string& path, bool askUser) {
    app::Application& a = fe_.app();
    // A file that is open already comes to the front.
    for (auto& d : a.docs()) {
        std::error_code ec;
        std::string open = docPath(d.get());
        if (!open.empty() && std::filesystem::equivalent(open, path, ec)) {
            fe_.dispatch([&] { a.setFrontDoc(d.get()); });
            addRecent(path);
            return true;
        }
    }
    PDDoc pd = nullptr;
    try {
        if (!a.documentHooks.openDoc) vexa::host::raise(genErrGeneral);
        pd = a.documentHooks.openDoc(path.c_str());
    } catch (const ASException& e) {
        warnFileError(this, "\xE2\x80\x9C%1\xE2\x80\x9D could not be opened.", qs(fileName(path)),
                      e.code(), askUser && !fe_.scripted(), "OpenError");
        std::fprintf(stderr, "vexa-studio: cannot open %s: %s\n", path.c_str(),
                     errorText(e.code()).c_str());
        return false;
    }
    fe_.dispatch([&] { a.openDoc(pd, fileName(path)); });
    addRecent(path);
    return true;
}

void MainWindow::addRecent(const std::string& path) {
    std::error_code ec;
    std::string abs = std::filesystem::absolute(path, ec).string();
    std::erase(recent_, abs);
    recent_.insert(recent_.begin(), abs);
    if (recent_.size() > 10) recent_.resize(10);
    lastFolder_ = std::filesystem::path(abs).parent_path().string();
    // Kept at once: a session that ends badly still remembers what it opened.
    if (keepState_) saveState();
}

namespace {

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string config = xdg && *xdg ? xdg : std::string(home ? home : ".") + "/.config";
    return config + "/Orvanta";
}

}  // namespace

std::string MainWindow::stateFile() {
    return configFolder() + "/vexa-studio.ini";
}

int MainWindow::dialogUnits() {
    // Read again only when the file changed (the pointer moves often).
    static QString readFrom;
    static QDateTime readAt;
    static int units = 3;
    QString path = qs(configFolder() + "/Vexa.ini");
    QFileInfo info(path);
    QDateTime changed = info.exists() ? info.lastModified() : QDateTime();
    if (path != readFrom || changed != readAt) {
        QSettings s(path, QSettings::IniFormat);
        bool ok = false;
        // QSettings takes the file's [General] section for its keys without a section.
        int u = s.value("DlgUnits").toInt(&ok);
        units = ok && u >= 1 && u <= 4 ? u : 3;
        readFrom = path;
        readAt = changed;
    }
    return units;
}

QString MainWindow::pointText(QPointF p, int units) {
    struct Unit {
        const char* name;
        double points;
        int decimals;
    };
    static const Unit table[] = {
        {"pt", 1, 1}, {"in", 72, 3}, {"mm", 72 / 25.4, 1}, {"cm", 72 / 2.54, 2}};
    const Unit& u = table[std::clamp(units, 1, 4) - 1];
    return QString("x %1 %3  y %2 %3")
        .arg(p.x() / u.points, 0, 'f', u.decimals)
        .arg(p.y() / u.points, 0, 'f', u.decimals)
        .arg(u.name);
}

void MainWindow::restoreState() {
    keepState_ = true;
    QSettings s(qs(stateFile()), QSettings::IniFormat);
    QByteArray geometry = s.value("Window/Geometry").toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    zoomSetting_ = s.value("View/Zoom", "fit-page").toString();
    showThumbnails(s.value("View/Thumbnails", true).toBool());
    showRulers(s.value("View/Rulers", true).toBool());
    lastFolder_ = s.value("Files/LastFolder").toString().toStdString();
    recent_.clear();
    for (const QString& f : s.value("Files/Recent").toStringList())
        if (!f.isEmpty() && recent_.size() < 10) recent_.push_back(f.toStdString());
}

void MainWindow::saveState() {
    if (!keepState_) return;
    if (PageView* v = currentPageView()) zoomSetting_ = v->zoomSetting();
    QSettings s(qs(stateFile()), QSettings::IniFormat);
    s.setValue("Window/Geometry", saveGeometry());
    s.setValue("View/Zoom", zoomSetting_);
    s.setValue("View/Thumbnails", !thumbDock_->isHidden());
    s.setValue("View/Rulers", rulers_);
    s.setValue("Files/LastFolder", qs(lastFolder_));
    QStringList recent;
    for (const std::string& f : recent_) recent << qs(f);
    s.setValue("Files/Recent", recent);
    s.sync();
    if (s.status() != QSettings::NoError)
        std::fprintf(stderr, "vexa-studio: cannot keep the window's state in %s\n",
                     stateFile().c_str());
}

bool MainWindow::save(AVDoc doc) {
    if (!doc) return false;
    std::string path = docPath(doc);
    if (path.empty()) return saveAs(doc);
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull;
    bool ok = true;
    try {
        doc::pdModelTable()->PDDocSaveWithParams(doc->pdDoc, &p);
    } catch (const ASException& e) {
        ok = false;
        warnFileError(this, "\xE2\x80\x9C%1\xE2\x80\x9D could not be saved.", shownTitle(doc),
                      e.code(), !fe_.scripted());
    }
    refresh();
    return ok;
}

bool MainWindow::saveAs(AVDoc doc) {
    if (!doc) return false;
    std::string start = docPath(doc);
    if (start.empty())
        start = doc->title.empty()      ? hostText("Untitled").toStdString() + ".pdf"
                : doc->title.size() > 4 ? doc->title
                                        : doc->title + ".pdf";
    if (!lastFolder_.empty() && docPath(doc).empty())
        start = (std::filesystem::path(lastFolder_) / start).string();
    QString path = QFileDialog::getSaveFileName(this, hostText("Save As"), qs(start),
                                                hostText("PDF files (*.pdf)"));
    if (path.isEmpty()) return false;
    if (!path.endsWith(".pdf", Qt::CaseInsensitive)) path += ".pdf";
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull;
    std::string target = path.toStdString();
    p.newPath = target.c_str();
    try {
        doc::pdModelTable()->PDDocSaveWithParams(doc->pdDoc, &p);
    } catch (const ASException& e) {
        warnFileError(this, "\xE2\x80\x9C%1\xE2\x80\x9D could not be saved.", qs(fileName(target)),
                      e.code(), !fe_.scripted());
        return false;
    }
    doc->title = fileName(target);
    addRecent(target);
    refresh();
    return true;
}

bool MainWindow::maybeSave(AVDoc doc) {
    if (!docChanged(doc)) return true;
    showDocument(doc);
    QMessageBox box(
        QMessageBox::Question, "Vexa Studio",
        hostText("Save changes to \xE2\x80\x9C%1\xE2\x80\x9D before closing?").arg(shownTitle(doc)),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName("SaveChanges");
    box.setInformativeText(hostText("Your changes are lost if you don't save them."));
    translateButtons(box);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Save:
            return save(doc);
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

bool MainWindow::closeDocument(AVDoc doc) {
    if (!doc || !maybeSave(doc)) return false;
    fe_.dispatch([&] { fe_.app().closeDoc(doc, true); });
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    std::vector<AVDoc> docs;
    for (auto& d : fe_.app().docs()) docs.push_back(d.get());
    for (AVDoc d : docs)
        if (!maybeSave(d)) {
            event->ignore();
            return;
        }
    saveState();
    event->accept();
}

void MainWindow::about() {
    QMessageBox::about(this, hostText("About Vexa Studio"),
                       "<b>Vexa Studio 6.17</b><p>Imposition templates on screen: the Vexa "
                       "plug-in in a desktop window, over Qt and poppler.</p>");
}

// ---- Status bar ------------------------------------------------------------------------------

void MainWindow::updateStatus() {
    PageView* v = currentPageView();
    if (!v) {
        pageLabel_->clear();
        zoomLabel_->clear();
        return;
    }
    pageLabel_->setText(hostText("Page %1 of %2").arg(v->currentPage() + 1).arg(v->pageCount()));
    zoomLabel_->setText(
        QString("%1 %").arg(static_cast<int>(std::lround(v->zoom() / v->actualSizeZoom() * 100))));
}

void MainWindow::showProgress(bool on) {
    progressLabel_->setVisible(on);
    progressBar_->setVisible(on);
    if (!on) {
        progressLabel_->clear();
        progressBar_->reset();
    }
}

void MainWindow::setProgressText(const QString& text) {
    progressLabel_->setText(text + "  " + hostText("(Esc stops)"));
}

void MainWindow::setProgressRange(int steps) {
    progressBar_->setRange(0, std::max(1, steps));
}

void MainWindow::setProgressValue(int value) {
    progressBar_->setValue(std::clamp(value, progressBar_->minimum(), progressBar_->maximum()));
}

}  // namespace vexa::host::desktop
