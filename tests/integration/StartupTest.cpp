// The plug-in as the host loads it: handshake, table import, start-up, menus,
// commands and the version refusal.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "core/Core.h"
#include "core/Registry.h"
#include "headless/Session.h"

using namespace vexa::host;

namespace {

const std::string kPlugin = std::string(VEXA_PLUGIN_DIR) + "/Vexa.so";

struct Startup : ::testing::Test {
    void TearDown() override { registerHostTables(); }  // undo table changes

    std::unique_ptr<Session> makeSession(ASInt16 major = 11, bool load = true) {
        SessionOptions o;
        o.virtualClock = true;
        o.hostMajor = major;
        o.language = "ENU";
        o.loadPlugins = load;
        o.pluginDirs = {VEXA_PLUGIN_DIR};
        auto s = std::make_unique<Session>(o);
        s->frontEnd().quiet = true;
        return s;
    }

    static int menuIndex(Session& s, const std::string& name) {
        auto& m = s.app().menubar().menus;
        for (std::size_t i = 0; i < m.size(); ++i)
            if (m[i]->name == name) return static_cast<int>(i);
        return -1;
    }

    vexa::test::ScopedHome home;
};

}  // namespace

TEST_F(Startup, LoadsAndPutsItsMenuDirectlyAfterWindow) {
    auto s = makeSession();
    s->start();
    ASSERT_EQ(s->loader().plugins().size(), 1u);
    EXPECT_EQ(s->loader().plugins()[0]->state, PluginRecord::State::Loaded)
        << s->loader().plugins()[0]->reason;
    EXPECT_EQ(s->loader().plugins()[0]->name, "ORVA:Vexa");
    int window = menuIndex(*s, "Window");
    ASSERT_GE(window, 0);
    EXPECT_EQ(menuIndex(*s, "Vexa:Vexa"), window + 1);
    _t_AVMenu* menu = s->app().findMenu("Vexa:Vexa");
    EXPECT_EQ(menu->title, "Vexa");
    std::vector<std::string> names;
    for (auto* it : menu->items) names.push_back(it->isSeparator() ? "-" : it->name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Vexa:show", "-", "Vexa:new", "Vexa:impose",
                                        "Vexa:hotfolder", "Vexa:preferences", "-", "Vexa:info"}));
    for (auto* it : menu->items) {
        if (it->isSeparator()) continue;
        EXPECT_TRUE(it->enabled && it->enabled(it->enabledData));
        EXPECT_TRUE(it->marked && !it->marked(it->markedData));
    }
}

TEST_F(Startup, WithoutWindowMenuTheMenuGoesLast) {
    auto s = makeSession();
    auto& menus = s->app().menubar().menus;
    menus.erase(
        std::remove_if(menus.begin(), menus.end(), [](auto* m) { return m->name == "Window"; }),
        menus.end());
    s->start();
    EXPECT_EQ(menuIndex(*s, "Vexa:Vexa"), static_cast<int>(menus.size()) - 1);
}

TEST_F(Startup, AboutItemIsTitledWithTheModuleNameAndShowsTheVersion) {
    auto s = makeSession();
    s->start();
    _t_AVMenuItem* about = s->app().findMenuItem("Vexa:Vexa");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->title, "Vexa\xE2\x80\xA6");
    EXPECT_EQ(about->menu->name, "AboutExtensions");
    s->app().executeMenuItem(about);
    s->app().executeMenuItem(s->app().findMenuItem("Vexa:info"));
    auto& alerts = s->frontEnd().alerts;
    ASSERT_EQ(alerts.size(), 2u);
    for (auto& a : alerts)
        EXPECT_EQ(a.request.message.rfind("Vexa 6.17", 0), 0u) << a.request.message;
}

TEST_F(Startup, RegistersIdleCallbacksNotificationsAndTheTool) {
    auto s = makeSession();
    s->start();
    EXPECT_EQ(s->app().idleCount(), 2u);
    EXPECT_EQ(s->app().notificationCount(), 11u);  // the window notification above major 6
    EXPECT_NE(s->app().findTool(atomFromString("Vexa")), nullptr);
    EXPECT_NE(s->app().findToolButton("ORVA:Vexa"), nullptr);
}

TEST_F(Startup, OldHostGetsNoWindowNotification) {
    auto s = makeSession(6);
    s->start();
    EXPECT_EQ(s->app().notificationCount(), 10u);
}

TEST_F(Startup, HostVersion12IsRefusedAndLeavesNothingBehind) {
    auto s = makeSession(12);
    s->start();
    ASSERT_EQ(s->loader().plugins().size(), 1u);
    EXPECT_EQ(s->loader().plugins()[0]->state, PluginRecord::State::Inert);
    EXPECT_EQ(menuIndex(*s, "Vexa:Vexa"), -1);
    EXPECT_EQ(s->app().findMenuItem("Vexa:Vexa"), nullptr);
    EXPECT_EQ(s->app().idleCount(), 0u);
    EXPECT_EQ(s->app().notificationCount(), 0u);
    EXPECT_EQ(s->app().toolCount(), 0u);
    ASSERT_EQ(s->frontEnd().alerts.size(), 1u);
    EXPECT_NE(s->frontEnd().alerts[0].request.message.find("is not compatible"), std::string::npos)
        << s->frontEnd().alerts[0].request.message;
}

TEST_F(Startup, AMissingOrOlderTableRefusesThePlugin) {
    {
        auto s = makeSession(11, false);
        registry().remove(kPDSReadHFTName);
        PluginRecord& r = s->loader().load(kPlugin);
        EXPECT_EQ(r.state, PluginRecord::State::Refused);
        EXPECT_NE(r.reason.find("table"), std::string::npos);
        EXPECT_EQ(menuIndex(*s, "Vexa:Vexa"), -1);
    }
    registerHostTables();
    {
        auto s = makeSession(11, false);
        static const HFTHeader oldCos = {kCosHFTName, HFT_VERSION(5, 0), sizeof(HFTHeader)};
        registry().add(&oldCos);
        EXPECT_EQ(s->loader().load(kPlugin).state, PluginRecord::State::Refused);
    }
}

TEST_F(Startup, AWrongHandshakeVersionIsNotLoaded) {
    auto s = makeSession(11, false);
    PluginRecord& r = s->loader().load(std::string(VEXA_TEST_PLUGIN_DIR) + "/BadHandshake.so");
    EXPECT_EQ(r.state, PluginRecord::State::Refused);
    EXPECT_EQ(r.reason, "speaks another handshake version");
    PluginRecord& missing = s->loader().load("/nonexistent/Nothing.so");
    EXPECT_EQ(missing.state, PluginRecord::State::Refused);
}

TEST_F(Startup, HostExceptionsReachThePluginsHandlers) {
    auto s = makeSession(11, false);
    PluginRecord& r = s->loader().load(std::string(VEXA_TEST_PLUGIN_DIR) + "/Probe.so");
    EXPECT_EQ(r.state, PluginRecord::State::Loaded) << r.reason;
    auto& alerts = s->frontEnd().alerts;
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].request.message,
              "caught raise " + std::to_string(genErrNoMemory) + ": Out of memory");
    EXPECT_EQ(alerts[1].request.message,
              "caught bad parameter " + std::to_string(genErrBadParm) + ": Bad parameter");
}
