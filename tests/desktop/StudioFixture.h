// A vexa-studio in-process for the desktop tests: a home of its own, the plug-in's
// resources from the source tree, the plug-in loaded from the build, English texts and
// a virtual clock; helpers to run script lines against the widgets and to find them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "desktop/DesktopFrontEnd.h"
#include "desktop/DialogWindow.h"
#include "desktop/MainWindow.h"
#include "desktop/PageView.h"
#include "desktop/Studio.h"
#include "ui/Script.h"
#include "ui/Ui.h"

namespace vexa::test {

struct StudioSetup {
    std::string language = "ENU";
    bool loadPlugins = true;
    // The plug-in's preferences file to start with ("${HOME}" stands for the test's
    // home folder); none when empty.
    std::string settings = "";
};

class StudioFixture : public ::testing::Test {
  protected:
    void start(const StudioSetup& setup = {}) {
        setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
        home_ = std::make_unique<ScopedHome>();
        if (!setup.settings.empty()) {
            std::string text = setup.settings;
            for (std::size_t at; (at = text.find("${HOME}")) != std::string::npos;)
                text.replace(at, 7, home_->path().string());
            std::filesystem::path ini = home_->path() / "config" / "Orvanta" / "Vexa.ini";
            std::filesystem::create_directories(ini.parent_path());
            writeFile(ini.string(), text);
        }
        setup_ = setup;
        makeStudio();
    }
    // Quits and starts again in the same home (the next run of the program).
    void restart() {
        studio_.reset();
        makeStudio();
    }
    void TearDown() override {
        studio_.reset();
        home_.reset();
        unsetenv("VEXA_RESOURCES");
    }

    host::desktop::Studio& studio() { return *studio_; }
    host::desktop::DesktopFrontEnd& fe() { return studio_->frontEnd(); }
    host::desktop::MainWindow& window() { return studio_->window(); }
    host::app::Application& app() { return studio_->app(); }
    host::desktop::PageView* pageView() { return window().currentPageView(); }
    // Runs script lines against the widgets; a failing line fails the test.
    void run(const std::string& lines) {
        try {
            studio_->runScriptText(lines, "test");
        } catch (const host::ScriptError& e) {
            FAIL() << e.what();
        }
    }
    // The palette up and the bundled booklet template open, then the lines given.
    void openBooklet(const std::string& then = "") {
        run("menu Vexa:show\nticks 6\nopen " + bundledTemplate("Booklet_2up_A4") + "\n" + then);
    }
    // The box numbers of the front page's frames in paint order ("-6 -1 4 1 ..."), as
    // the script's frame check reports them.
    std::string frameBoxes() {
        try {
            studio_->runScriptText("expect-frames 999999", "boxes");
        } catch (const host::ScriptError& e) {
            std::string m = e.what();
            std::size_t from = m.find("frames are ");
            if (from == std::string::npos) return m;
            from += 11;
            return m.substr(from, m.find(';', from) - from);
        }
        return "";
    }
    // The widget of the dialog window with that description name (null when none).
    host::desktop::DialogWindow* dialog(const std::string& name) {
        host::ui::Window* w = host::ui::findWindow(name);
        return w ? fe().dialogFor(w) : nullptr;
    }
    template <typename T>
    T* control(const std::string& dialogName, int id) {
        host::desktop::DialogWindow* d = dialog(dialogName);
        return d ? d->findChild<T*>(QString("control-%1").arg(id)) : nullptr;
    }
    const std::filesystem::path& home() const { return home_->path(); }
    std::string file(const std::string& name) const { return (home() / name).string(); }
    // A point of the front view's current page (in points) in the viewport's pixels.
    QPoint at(double x, double y) {
        AVDevCoord dx, dy;
        app().pointToDevice(&app().frontDoc()->view,
                            {static_cast<ASFixed>(x * 65536), static_cast<ASFixed>(y * 65536)}, &dx,
                            &dy);
        return {dx, dy};
    }
    // Lets events run until the condition holds (true) or the time is up (false).
    template <typename F>
    static bool waitFor(F&& condition, int ms = 5000) {
        for (int waited = 0; !condition(); waited += 10) {
            if (waited >= ms) return false;
            QTest::qWait(10);
        }
        return true;
    }

  public:
    static std::string bundledTemplate(const std::string& name) {
        return std::string(VEXA_PLUGIN_DIR) + "/Vexa/templates/" + name + ".pdf";
    }

  private:
    void makeStudio() {
        host::desktop::StudioOptions o;
        o.virtualClock = true;
        o.language = setup_.language;
        o.loadPlugins = setup_.loadPlugins;
        o.pluginDirs = {VEXA_PLUGIN_DIR};
        studio_ = std::make_unique<host::desktop::Studio>(o);
        studio_->window().resize(1200, 800);
        studio_->window().show();
        studio_->start();
    }
    StudioSetup setup_;
    std::unique_ptr<ScopedHome> home_;
    std::unique_ptr<host::desktop::Studio> studio_;
};

}  // namespace vexa::test
