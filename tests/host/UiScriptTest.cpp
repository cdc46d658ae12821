#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PlatformUIHFT.h"
#include "headless/Script.h"
#include "headless/Session.h"
#include "QuietSession.h"
#include "ui/Ui.h"

using namespace vexa::host;

namespace {

const PlatformUIHFT* T() {
    return ui::platformUITable();
}

ASUns32 gResult = 0;
std::string gChosen;
std::string gFieldAtEnd;

// "test-dialog": a small modal dialog as a plug-in would build it; OK ends it with its
// command, the field's text is kept.
void runTestDialog(ScriptRunner&, const ScriptLine&) {
    PUIWindow w = T()->PUIWindowNew("TESTDLG", "Test dialog", 200, 100, true);
    PUIControl root = T()->PUIWindowGetRoot(w);
    PUIRect r{0, 0, 10, 10};
    PUIControl field = T()->PUIControlNew(root, kPUIEditText, &r, "start", 4, 0, 0);
    PUIControl box = T()->PUIControlNew(root, kPUICheckBox, &r, "Symmetric", 5, 0, 0);
    PUIControl popup = T()->PUIControlNew(root, kPUIPopup, &r, "", 6, 0, 0);
    T()->PUIControlAddMenuItem(popup, "Top");
    T()->PUIControlAddMenuItem(popup, "Left");
    PUIControl chooser = T()->PUIControlNew(root, kPUIPushButton, &r, "Choose…", 7, 0, 0);
    PUIControl off = T()->PUIControlNew(root, kPUIPushButton, &r, "Clear", 8, 0, 0);
    T()->PUIControlEnable(off, false);
    PUIControl ok = T()->PUIControlNew(root, kPUIPushButton, &r, "OK", 1,
                                       PUI_CODE('o', 'k', ' ', ' '), kPUIDefaultButton);
    PUIControl cancel = T()->PUIControlNew(root, kPUIPushButton, &r, "Cancel", 2,
                                           PUI_CODE('c', 'n', 'c', 'l'), kPUICancelButton);
    auto end = [](PUIControl c, ASClientData) {
        T()->PUIWindowEndModal(T()->PUIControlGetWindow(c), T()->PUIControlGetCommand(c));
    };
    T()->PUIControlSetHandler(ok, end, nullptr);
    T()->PUIControlSetHandler(cancel, end, nullptr);
    T()->PUIControlSetHandler(
        chooser,
        [](PUIControl, ASClientData) {
            char path[256];
            gChosen = T()->PUIChooseFile("template", "*.pdf", nullptr, 0, path, sizeof path)
                          ? path
                          : "<cancelled>";
        },
        nullptr);
    (void)box;
    gResult = T()->PUIWindowRunModal(w);
    char text[64];
    T()->PUIControlGetText(field, text, sizeof text);
    gFieldAtEnd = text;
    T()->PUIWindowDestroy(w);
}

// "form-dialog": fields after their labels, two of them with the same label.
void runFormDialog(ScriptRunner&, const ScriptLine&) {
    PUIWindow w = T()->PUIWindowNew("FORMDLG", "Form", 200, 100, true);
    PUIControl root = T()->PUIWindowGetRoot(w);
    PUIRect r{0, 0, 10, 10};
    T()->PUIControlNew(root, kPUIStaticText, &r, "Width:", 0, 0, 0);
    T()->PUIControlNew(root, kPUIEditText, &r, "", 5, 0, 0);
    T()->PUIControlNew(root, kPUIStaticText, &r, "Distance:", 0, 0, 0);
    T()->PUIControlNew(root, kPUIEditText, &r, "", 6, 0, 0);
    T()->PUIControlNew(root, kPUIStaticText, &r, "Distance:", 0, 0, 0);
    T()->PUIControlNew(root, kPUIEditText, &r, "", 7, 0, 0);
    T()->PUIControlNew(root, kPUIStaticText, &r, "Mirroring:", 0, 0, 0);
    PUIControl popup = T()->PUIControlNew(root, kPUIPopup, &r, "", 8, 0, 0);
    T()->PUIControlAddMenuItem(popup, "None");
    T()->PUIControlAddMenuItem(popup, "Vertical");
    PUIControl ok = T()->PUIControlNew(root, kPUIPushButton, &r, "OK", 1,
                                       PUI_CODE('o', 'k', ' ', ' '), kPUIDefaultButton);
    T()->PUIControlSetHandler(
        ok,
        [](PUIControl c, ASClientData) {
            T()->PUIWindowEndModal(T()->PUIControlGetWindow(c), T()->PUIControlGetCommand(c));
        },
        nullptr);
    gResult = T()->PUIWindowRunModal(w);
    T()->PUIWindowDestroy(w);
}

struct UiScript : ::testing::Test {
    UiScript() {
        session = vexa::test::quietSession();
        session->start();
        registerScriptCommand("test-dialog", "test-dialog", runTestDialog);
        registerScriptCommand("form-dialog", "form-dialog", runFormDialog);
        gResult = 0;
        gChosen.clear();
    }
    ~UiScript() override { ui::resetUi(); }
    std::string runScript(const std::string& text) {
        return vexa::test::scriptError(text, "ui.vx");
    }
    std::unique_ptr<Session> session;
};

}  // namespace

TEST_F(UiScript, LinesAfterTheDialogAreTheUsersActions) {
    EXPECT_EQ(runScript("test-dialog\n"
                        "  expect-dialog TESTDLG\n"
                        "  expect-text 4 start\n"
                        "  set 4 \"450 mm\"\n"
                        "  toggle Symmetric on\n"
                        "  expect-value 5 1\n"
                        "  pick 6 Left\n"
                        "  expect-text 6 Left\n"
                        "  expect-disabled Clear\n"
                        "  expect-enabled ok\n"
                        "  press ok\n"
                        "expect-no-alert\n"),
              "");
    EXPECT_EQ(gResult, PUI_CODE('o', 'k', ' ', ' '));
    EXPECT_EQ(gFieldAtEnd, "450 mm");
}

TEST_F(UiScript, FieldsNamedByTheirLabels) {
    EXPECT_EQ(runScript("form-dialog\n"
                        "  set Width \"12 mm\"\n"
                        "  set Distance#2 3\n"
                        "  pick mirroring Vertical\n"
                        "  expect-text 5 \"12 mm\"\n"
                        "  expect-text 6 \"\"\n"
                        "  expect-text 7 3\n"
                        "  expect-text 8 Vertical\n"
                        "  expect-text Distance#1 Distance:\n"
                        "  press ok\n"),
              "");
    EXPECT_EQ(gResult, PUI_CODE('o', 'k', ' ', ' '));
    std::string m = runScript("form-dialog\n  set Distance#3 1\n");
    EXPECT_NE(m.find("has no control \"Distance#3\""), std::string::npos) << m;
}

TEST_F(UiScript, KeysChoosersAndEscape) {
    EXPECT_EQ(runScript("test-dialog\n"
                        "  press 7\n"
                        "    choose /tmp/t.pdf\n"
                        "  key escape\n"),
              "");
    EXPECT_EQ(gChosen, "/tmp/t.pdf");
    EXPECT_EQ(gResult, PUI_CODE('c', 'n', 'c', 'l'));
    EXPECT_EQ(runScript("choose-cancel\ntest-dialog\n  press 7\n  key return\n"), "");
    EXPECT_EQ(gChosen, "<cancelled>");
    EXPECT_EQ(gResult, PUI_CODE('o', 'k', ' ', ' '));
    EXPECT_EQ(runScript("escape\n"), "");
    EXPECT_TRUE(ui::escapePending());
    ui::setEscapePending(false);
}

TEST_F(UiScript, MistakesAndUnansweredDialogsFailWithClearMessages) {
    std::string m = runScript("test-dialog\n  set 4 x\n");
    EXPECT_NE(m.find("dialog \"TESTDLG\" (Test dialog)"), std::string::npos) << m;
    EXPECT_NE(m.find("4 field \"x\""), std::string::npos) << m;
    EXPECT_NE(m.find("8 button \"Clear\" disabled"), std::string::npos) << m;
    m = runScript("test-dialog\n  press Clear\n  press 2\n");
    EXPECT_NE(m.find("ui.vx:2:"), std::string::npos) << m;
    EXPECT_NE(m.find("is disabled"), std::string::npos) << m;
    m = runScript("test-dialog\n  press Nothing\n");
    EXPECT_NE(m.find("has no control \"Nothing\""), std::string::npos) << m;
    m = runScript("test-dialog\n  pick 6 Bottom\n");
    EXPECT_NE(m.find("\"Bottom\" is no item"), std::string::npos) << m;
    m = runScript("test-dialog\n  expect-text 4 other\n");
    EXPECT_NE(m.find("shows \"start\", expected \"other\""), std::string::npos) << m;
    m = runScript("test-dialog\n  press 7\n");
    EXPECT_NE(m.find("file chooser \"template\""), std::string::npos) << m;
    m = runScript("press 1\n");
    EXPECT_NE(m.find("no dialog is open"), std::string::npos) << m;
}
