#include "desktop/Studio.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <filesystem>

#include "core/Core.h"
#include "desktop/DesktopFrontEnd.h"
#include "desktop/DesktopHands.h"
#include "desktop/DialogWindow.h"
#include "desktop/MainWindow.h"
#include "desktop/PageView.h"
#include "desktop/Texts.h"
#include "desktop/Thumbnails.h"
#include "ui/Script.h"
#include "ui/Ui.h"

namespace vexa::host::desktop {

Studio::Studio(const StudioOptions& options) : options_(options) {
    app_ = newApplication(options);
    app::useDocumentEngine(*app_);
    setTextLanguage(app_->language);
    frontEnd_ = std::make_unique<DesktopFrontEnd>(*app_);
    app_->setFrontEnd(frontEnd_.get());
    window_ = std::make_unique<MainWindow>(*frontEnd_);
    frontEnd_->setMainWindow(window_.get());
    // The idle procedures run at the tick rate (1/60 s).
    idle_.setInterval(1000 / 60);
    QObject::connect(&idle_, &QTimer::timeout, [this] { tick(); });
}

Studio::~Studio() {
    idle_.stop();
    if (started_) app_->willQuit();
    app_->closeAllDocs();
    loader_.unloadAll();
    // Windows the plug-in left open are no longer shown by anybody.
    app_->setFrontEnd(nullptr);
    frontEnd_->setMainWindow(nullptr);
    window_.reset();
    frontEnd_.reset();
    app_.reset();
}

void Studio::start() {
    if (started_) return;
    started_ = true;
    loadPlugins(loader_, options_);
    // Message boxes carry the module name of the plug-in (its file's name).
    for (auto& p : loader_.plugins())
        if (p->state == PluginRecord::State::Loaded) {
            frontEnd_->setAlertTitle(std::filesystem::path(p->path).stem().string());
            break;
        }
    frontEnd_->dispatch([&] { app_->didInitialize(); });
    window_->syncMenus();
    window_->refresh();
    idle_.start();
}

void Studio::tick() {
    if (app_->clock().isVirtual() || frontEnd_->dispatching() || frontEnd_->scripted()) return;
    int ran = 0;
    frontEnd_->dispatch([&] { ran = app_->runIdle(); }, false);
    if (ran > 0) frontEnd_->settle();
}

void Studio::runScriptText(const std::string& text, const std::string& name) {
    ScriptRunner runner;
    runner.load(text, name);
    run(runner);
}

void Studio::runScript(const std::string& path) {
    ScriptRunner runner;
    runner.loadFile(path);
    run(runner);
}

void Studio::run(ScriptRunner& runner) {
    DesktopHands hands(*frontEnd_);
    runner.setHands(&hands);
    runner.afterLine = [this] { frontEnd_->processEvents(); };
    // The desktop's own commands.
    runner.addCommand("screenshot", [this](ScriptRunner&, const ScriptLine& line) {
        const std::string& path = scriptArg(line, 1);
        waitRendered();
        if (!screenshot().save(QString::fromStdString(path)))
            throw ScriptError("cannot write the screenshot " + path);
    });
    runner.addCommand("window-size", [this](ScriptRunner&, const ScriptLine& line) {
        long w = scriptInt(line, 1), h = scriptInt(line, 2);
        if (w < 200 || h < 150 || w > 8000 || h > 8000)
            throw ScriptError("window-size takes 200 to 8000 by 150 to 8000 pixels");
        window_->resize(static_cast<int>(w), static_cast<int>(h));
        frontEnd_->processEvents();
    });
    runner.addCommand("move-window", [this](ScriptRunner&, const ScriptLine& line) {
        const std::string& name = scriptArg(line, 1);
        long x = scriptInt(line, 2), y = scriptInt(line, 3);
        ui::Window* w = ui::findWindow(name);
        DialogWindow* d = w ? frontEnd_->dialogFor(w) : nullptr;
        if (!d) throw ScriptError("no window \"" + name + "\" is shown");
        d->move(static_cast<int>(x), static_cast<int>(y));
        frontEnd_->processEvents();
    });
    runner.addCommand("wait-rendered", [this](ScriptRunner&, const ScriptLine&) {
        if (!waitRendered()) throw ScriptError("the pages were not rendered in time");
    });
    runner.run();
}

bool Studio::waitRendered(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        frontEnd_->processEvents();
        PageView* v = window_->currentPageView();
        Thumbnails* thumbs = window_->thumbnails();
        bool thumbsDone = thumbs->isHidden() || !thumbs->isVisible() || thumbs->upToDate();
        if (!v || (v->renderedUpToDate() && thumbsDone && !frontEnd_->renderer().busy())) {
            frontEnd_->processEvents();
            return true;
        }
        if (t.elapsed() > timeoutMs) return false;
        QThread::msleep(5);
    }
}

QImage Studio::screenshot() {
    QWidget* main = window_.get();
    QRect area = main->frameGeometry();
    std::vector<QWidget*> over;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != main && w->isVisible() && !w->isMinimized() && !w->inherits("QMenu")) {
            over.push_back(w);
            area = area.united(w->frameGeometry());
        }
    // Stacked as a window manager stacks them: palettes over the main window, dialogs
    // over the palettes, the dialog that holds the keyboard on top (the list above is in
    // no particular order).
    QWidget* modal = QApplication::activeModalWidget();
    auto layer = [modal](const QWidget* w) {
        if (w == modal) return 3;
        if (w->isModal()) return 2;
        return w->windowType() == Qt::Tool ? 0 : 1;
    };
    std::stable_sort(over.begin(), over.end(),
                     [&](const QWidget* a, const QWidget* b) { return layer(a) < layer(b); });
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits("QMenu")) {
            over.push_back(w);
            area = area.united(w->frameGeometry());
        }
    qreal dpr = main->devicePixelRatioF();
    QImage image((area.size() * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.drawPixmap(main->geometry().topLeft() - area.topLeft(), main->grab());
    for (QWidget* w : over) p.drawPixmap(w->geometry().topLeft() - area.topLeft(), w->grab());
    p.end();
    return image;
}

}  // namespace vexa::host::desktop
