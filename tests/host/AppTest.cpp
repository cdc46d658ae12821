#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/App.h"
#include "core/Core.h"

using namespace vexa::host;
using app::Application;

namespace {

std::vector<std::string> gCalls;

void first(const AVNotificationData* d, ASClientData) {
    gCalls.push_back("first " + std::to_string(d->selector));
}
void second(const AVNotificationData* d, ASClientData) {
    gCalls.push_back("second " + std::to_string(d->selector));
}
void unregistersSecond(const AVNotificationData*, ASClientData) {
    gCalls.push_back("remover");
    Application::current().unregisterNotification(NSEL_AVDocDidOpen, nullptr, second, nullptr);
}

int gFast = 0, gSlow = 0;
void fast(ASClientData) {
    ++gFast;
}
void slow(ASClientData) {
    ++gSlow;
}

struct AppTest : ::testing::Test {
    void SetUp() override {
        gCalls.clear();
        gFast = gSlow = 0;
    }
    Application app{true};
};

}  // namespace

TEST_F(AppTest, NotificationsReachHandlersInRegistrationOrder) {
    app.registerNotification(NSEL_AVDocDidOpen, nullptr, second, nullptr);
    app.registerNotification(NSEL_AVDocDidOpen, nullptr, first, nullptr);
    app.registerNotification(NSEL_AVDocWillClose, nullptr, first, nullptr);
    AVNotificationData d{};
    d.selector = NSEL_AVDocDidOpen;
    app.broadcast(d);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"second 4", "first 4"}));
}

TEST_F(AppTest, AHandlerMayUnregisterAnotherDuringDispatch) {
    app.registerNotification(NSEL_AVDocDidOpen, nullptr, unregistersSecond, nullptr);
    app.registerNotification(NSEL_AVDocDidOpen, nullptr, second, nullptr);
    AVNotificationData d{};
    d.selector = NSEL_AVDocDidOpen;
    app.broadcast(d);
    app.broadcast(d);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"remover", "remover"}));
    EXPECT_EQ(app.notificationCount(), 1u);
}

TEST_F(AppTest, IdleProceduresFireAtTheirPeriodsOnTheVirtualClock) {
    app.registerIdle(fast, nullptr, 6);
    app.registerIdle(slow, nullptr, 60);
    app.runIdle();  // no time has passed
    EXPECT_EQ(gFast, 0);
    app.passTime(5);
    EXPECT_EQ(gFast, 0);
    app.passTime(1);
    EXPECT_EQ(gFast, 1);
    app.passTime(114);  // 120 ticks in all: two seconds
    EXPECT_EQ(gFast, 20);
    EXPECT_EQ(gSlow, 2);
    app.unregisterIdle(fast, nullptr);
    app.passTime(60);
    EXPECT_EQ(gFast, 20);
    EXPECT_EQ(gSlow, 3);
}

TEST_F(AppTest, MenuBarHoldsTheStandardMenusAndFindsItemsInSubmenus) {
    std::vector<std::string> names;
    for (auto* m : app.menubar().menus) names.push_back(m->name);
    EXPECT_EQ(names, (std::vector<std::string>{"File", "Edit", "View", "Window", "Help"}));
    ASSERT_NE(app.findMenu("AboutExtensions"), nullptr);
    auto* about = app.findMenu("AboutExtensions");
    auto* item = app.newMenuItem("X…", "Test:X", nullptr, 0, nullptr);
    about->items.push_back(item);
    EXPECT_EQ(app.findMenuItem("Test:X"), item);
    EXPECT_EQ(app.findMenuItem("Test:Y"), nullptr);
}

TEST_F(AppTest, DisabledMenuItemsDoNotExecute) {
    static int runs = 0;
    runs = 0;
    auto* item = app.newMenuItem("Run", "Test:Run", nullptr, 0, nullptr);
    item->execute = [](ASClientData) { ++runs; };
    item->enabled = [](ASClientData d) -> ASBool { return d != nullptr; };
    EXPECT_FALSE(app.executeMenuItem(item));
    item->enabledData = item;
    EXPECT_TRUE(app.executeMenuItem(item));
    EXPECT_EQ(runs, 1);
}

TEST_F(AppTest, OpeningAndClosingDocumentsNotifiesAndMovesTheFront) {
    app.registerNotification(NSEL_AVDocDidOpen, nullptr, first, nullptr);
    app.registerNotification(NSEL_AVAppFrontDocDidChange, nullptr, first, nullptr);
    app.registerNotification(NSEL_AVDocWillClose, nullptr, first, nullptr);
    auto* fakeA = reinterpret_cast<PDDoc>(0x10);
    auto* fakeB = reinterpret_cast<PDDoc>(0x20);
    AVDoc a = app.openDoc(fakeA, "a.pdf");
    AVDoc b = app.openDoc(fakeB, "b.pdf");
    EXPECT_EQ(app.frontDoc(), b);
    app.closeDoc(b, true);
    EXPECT_EQ(app.frontDoc(), a);
    app.closeDoc(a, true);
    EXPECT_EQ(app.frontDoc(), nullptr);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first 4", "first 2", "first 4", "first 2",
                                                "first 7", "first 2", "first 7", "first 2"}));
}

TEST_F(AppTest, KeysGoToHandlersUntilOneTakesThem) {
    static std::vector<int> seen;
    seen.clear();
    app.registerKeyHandler(
        [](AVPageView, ASUns16 k, ASInt16, ASClientData) -> ASBool {
            seen.push_back(k);
            return k == 'a';
        },
        nullptr);
    app.registerKeyHandler(
        [](AVPageView, ASUns16 k, ASInt16, ASClientData) -> ASBool {
            seen.push_back(1000 + k);
            return true;
        },
        nullptr);
    EXPECT_TRUE(app.keyDown(nullptr, 'a', 0));
    EXPECT_TRUE(app.keyDown(nullptr, 'b', 0));
    EXPECT_EQ(seen, (std::vector<int>{'a', 'b', 1000 + 'b'}));
}

TEST(LanguageTest, LocaleGivesTheThreeLetterCode) {
    const char* old = std::getenv("LC_ALL");
    std::string saved = old ? old : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(Application::languageFromLocale(), "DEU");
    setenv("LC_ALL", "nl_BE.UTF-8", 1);
    EXPECT_EQ(Application::languageFromLocale(), "NLD");
    setenv("LC_ALL", "fr_CA", 1);
    EXPECT_EQ(Application::languageFromLocale(), "FRA");
    setenv("LC_ALL", "es_ES.UTF-8", 1);
    EXPECT_EQ(Application::languageFromLocale(), "ENU");
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}
