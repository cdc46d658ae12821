// vexa-studio as a running program: the application model with the desktop front end,
// the main window, the loaded plug-ins and the idle timer. main() builds one; tests
// build one in-process (after a QApplication).
#pragma once

#include <QImage>
#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "core/Loader.h"
#include "ui/Host.h"

namespace vexa::host {
class ScriptRunner;
}

namespace vexa::host::desktop {

class DesktopFrontEnd;
class MainWindow;

using StudioOptions = HostOptions;

class Studio {
  public:
    explicit Studio(const StudioOptions& options);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    app::Application& app() { return *app_; }
    DesktopFrontEnd& frontEnd() { return *frontEnd_; }
    MainWindow& window() { return *window_; }
    PluginLoader& loader() { return loader_; }

    // Loads the plug-ins, builds the menus and toolbars and announces that the
    // application finished starting; from then on the idle procedures run every tick
    // (on a real clock).
    void start();
    // Runs a scripted session against the widgets; throws ScriptError.
    void runScript(const std::string& path);
    void runScriptText(const std::string& text, const std::string& name);

    // The main window with the windows over it (the palette, a dialog, a message box)
    // where they stand, as the user sees them.
    QImage screenshot();
    // Lets events run until the front page view shows every visible page rendered
    // as it is now; false when that took longer than the timeout.
    bool waitRendered(int timeoutMs = 20000);

  private:
    void tick();
    void run(ScriptRunner& runner);

    StudioOptions options_;
    std::unique_ptr<app::Application> app_;
    std::unique_ptr<DesktopFrontEnd> frontEnd_;
    std::unique_ptr<MainWindow> window_;
    PluginLoader loader_;
    QTimer idle_;
    bool started_ = false;
};

}  // namespace vexa::host::desktop
