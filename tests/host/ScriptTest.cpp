#include <gtest/gtest.h>

#include "headless/Script.h"
#include "headless/Session.h"
#include "QuietSession.h"

using namespace vexa::host;

TEST(ScriptSyntax, WordsQuotesEscapesAndComments) {
    EXPECT_EQ(splitScriptLine("menu  Vexa:show   # the palette"),
              (std::vector<std::string>{"menu", "Vexa:show"}));
    EXPECT_EQ(splitScriptLine(R"(set 4 "450 mm" "a \"b\" \\c")"),
              (std::vector<std::string>{"set", "4", "450 mm", "a \"b\" \\c"}));
    EXPECT_EQ(splitScriptLine(R"(echo "#not a comment" x#y)"),
              (std::vector<std::string>{"echo", "#not a comment", "x#y"}));
    EXPECT_EQ(splitScriptLine(R"(open "")"), (std::vector<std::string>{"open", ""}));
    bool unbalanced = false;
    splitScriptLine(R"(open "a b)", &unbalanced);
    EXPECT_TRUE(unbalanced);
}

namespace {

struct ScriptTest : ::testing::Test {
    ScriptTest() {
        session = vexa::test::quietSession();
        session->start();
    }
    std::string runScript(const std::string& text) {
        return vexa::test::scriptError(text, "test.vx");
    }
    std::unique_ptr<Session> session;
};

int gAnswer = 0;
void askOnIdle(ASClientData) {
    if (gAnswer == 0) {
        app::AlertRequest r;
        r.message = "Save changes?";
        r.buttons = {"Yes", "No", "Cancel"};
        gAnswer = app::Application::current().alert(r);
    }
}

}  // namespace

TEST_F(ScriptTest, UnknownCommandsAndBadArgumentsNameTheLine) {
    EXPECT_EQ(runScript("echo hi\n\nfrobnicate"), "test.vx:3: unknown command \"frobnicate\"");
    EXPECT_EQ(runScript("ticks many"), "test.vx:1: \"many\" is not a number");
    EXPECT_EQ(runScript("menu Vexa:nothing"), "test.vx:1: no menu item \"Vexa:nothing\"");
    EXPECT_NE(runScript("open \"unclosed").find("not closed"), std::string::npos);
}

TEST_F(ScriptTest, AlertsTakeQueuedOrFollowingAnswers) {
    session->app().registerIdle(askOnIdle, nullptr, 1);
    gAnswer = 0;
    EXPECT_EQ(runScript("answer no\nticks 1\nexpect-alert Save changes\nexpect-no-alert"), "");
    EXPECT_EQ(gAnswer, 2);
    gAnswer = 0;
    EXPECT_EQ(runScript("ticks 1\n  answer Cancel\n"), "");
    EXPECT_EQ(gAnswer, 3);
    gAnswer = 0;
    std::string err = runScript("ticks 1\n");
    EXPECT_NE(err.find("the script ended while alert \"Save changes?\""), std::string::npos) << err;
    EXPECT_NE(err.find("[3 Cancel]"), std::string::npos) << err;
    gAnswer = 0;
    err = runScript("answer maybe\nticks 1\n");
    EXPECT_NE(err.find("\"maybe\" is no button"), std::string::npos) << err;
}

TEST_F(ScriptTest, ExpectationsFailWithWhatWasSeen) {
    EXPECT_EQ(runScript("expect-menu Window\nexpect-docs 0\nexpect-no-menu Vexa:Vexa"), "");
    EXPECT_EQ(runScript("expect-alert anything"),
              "test.vx:1: expected an alert with \"anything\", none was shown");
    EXPECT_EQ(runScript("expect-menu Window Fenster"),
              "test.vx:1: \"Window\" is titled \"Window\", not \"Fenster\"");
    EXPECT_EQ(runScript("expect-front a.pdf"),
              "test.vx:1: the front document is \"(none)\", not \"a.pdf\"");
}
