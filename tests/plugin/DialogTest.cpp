#include <gtest/gtest.h>

#include <string>

#include "settings/MyDialog.h"
#include "SettingsTestHost.h"

namespace ui = vexa::host::ui;

namespace {

// The identifier of the dialog's focused control as the host has it, -1 for none.
ASInt32 focusOf(const CMyDialog& d) {
    PUIControl c = gPlatformUIHFT->PUIWindowGetFocus(d.getWindow());
    return c ? gPlatformUIHFT->PUIControlGetID(c) : -1;
}

std::string show(ASFixed v, ASInt32 unit) {
    char buf[32];
    return fixedToString(v, unit, buf);
}

const char* kSample = R"(<window><name>addframes</name><rect>0 0 300 200</rect>
<control><type>eutx</type><id>4</id><rect>10 10 80 19</rect><unit>0</unit><vmin>1</vmin><vmax>256</vmax><text>2</text></control>
<control><type>####</type></control>
<control><type>grpb</type><text>measure</text><id>7</id><rect>10 40 200 80</rect></control>
<control><type>eutx</type><id>8</id><rect>5 5 80 19</rect></control>
<control><type>popb</type><id>9</id><rect>5 30 80 20</rect></control>
<control><type>popb</type><id>10</id><rect>5 55 80 20</rect><menu><item>mm</item><item>cm</item></menu></control>
<control><type>####</type></control>
<control><type>cbox</type><text>rotate90</text><id>15</id><rect>10 130 200 20</rect></control>
<control><type>stxt</type><text>sheet</text><id>16</id><rect>10 150 200 20</rect></control>
<control><type>push</type><text>choose</text><id>17</id><rect>10 170 80 20</rect><cmd>newd</cmd></control>
<control><type>push</type><text>cancel</text><id>2</id><rect>100 170 80 20</rect><cmd>cncl</cmd></control>
<control><type>push</type><text>ok</text><id>1</id><rect>200 170 80 20</rect><cmd>ok  </cmd></control>
</window>)";

}  // namespace

TEST(Dialog, ValueFieldsFormatInTheirUnit) {
    EXPECT_EQ(show(0x10000, kUnitPercent), "100 %");
    EXPECT_EQ(show(0x8000, kUnitPercent), "50 %");
    EXPECT_EQ(show(0, kUnitMM), "0 mm");
    EXPECT_EQ(show(0, kUnitNone), "0");
    EXPECT_EQ(show(612 << 16, kUnitInch), "8.5 \"");
    EXPECT_EQ(show(39011980, kUnitMM), "210 mm");
    EXPECT_EQ(show(39011980, kUnitCM), "21 cm");
    EXPECT_EQ(show(0x18000, kUnitPoints), "1.5 pts");
    EXPECT_EQ(show(-0x18000, kUnitPoints), "-1.5 pts");
    EXPECT_EQ(show(100 << 16, kUnitPoints), "100 pts");
    EXPECT_EQ(show(7, kUnitNone), "7");
}

TEST(Dialog, ValueFieldsReadAnyUnitTypedIntoThem) {
    EXPECT_EQ(stringToFixed("8.5 inch", kUnitMM), 612 << 16);
    EXPECT_EQ(stringToFixed("8.5\"", kUnitMM), 612 << 16);
    EXPECT_EQ(stringToFixed("12,5", kUnitPoints), 0xC8000);
    EXPECT_EQ(stringToFixed("12,5 pts", kUnitMM), 0xC8000);
    EXPECT_EQ(stringToFixed("72pt", kUnitMM), 72 << 16);
    // truncate(210 * 72 * 65536 / 25.4)
    EXPECT_EQ(stringToFixed("210", kUnitMM), 39011981);
    EXPECT_EQ(stringToFixed("2,54 cm", kUnitPoints), 72 << 16);
    EXPECT_EQ(stringToFixed("50 %", kUnitNone), 0x8000);
    EXPECT_EQ(stringToFixed("17", kUnitNone), 17);
    EXPECT_EQ(stringToFixed("junk", kUnitMM), 0);
    EXPECT_EQ(stringToFixed("1e30 mm", kUnitMM), INT32_MAX);
    EXPECT_EQ(stringToFixed("-1e30", kUnitPoints), INT32_MIN);
    // What a field shows reads back as the same value.
    for (ASFixed v : {0, 0x10000, 39011980, -185771344, 928856704})
        for (ASInt32 unit : {kUnitPoints, kUnitMM, kUnitCM, kUnitInch})
            EXPECT_NEAR(stringToFixed(show(v, unit).c_str(), kUnitNone), v,
                        unit == kUnitPoints ? 700 : 0.006 / unitFactor(unit))
                << v << " " << unit;
}

TEST(Dialog, DescriptionsBuildControlsInContainers) {
    vexa::test::SettingsTestHost host;
    CMyDialog d;
    ASSERT_TRUE(d.createFromText("SAMPLE", kSample, true));
    ui::Window* w = ui::findWindow("SAMPLE");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->title, "Create Frames");
    EXPECT_EQ(w->width, 300);
    ui::Control* field = ui::findControl(w, "4");
    EXPECT_EQ(field->parent, &w->root);  // "####" with no open group stays in the pane
    EXPECT_EQ(ui::findControl(w, "8")->parent, ui::findControl(w, "7"));
    EXPECT_EQ(ui::findControl(w, "15")->parent, &w->root);
    EXPECT_EQ(d.getMenu(9), 0);
    EXPECT_EQ(d.getMenu(10), 2);
    EXPECT_EQ(d.getValue(10), 1);
    char text[64];
    d.getText(10, text, sizeof text);
    EXPECT_STREQ(text, "mm");
    d.getText(16, text, sizeof text);
    EXPECT_STREQ(text, "Sheet %d%s");
    d.setTextWithFormat(16, text, 3, "b");
    d.getText(16, text, sizeof text);
    EXPECT_STREQ(text, "Sheet 3b");
    d.getText(4, text, sizeof text);
    EXPECT_STREQ(text, "2");
    d.setValue(15, 1);
    EXPECT_EQ(d.getValue(15), 1);
    d.setValue(15, 0);
    EXPECT_EQ(d.getValue(15), 0);
    d.enable(17, false);
    EXPECT_FALSE(d.isEnabled(17));
    EXPECT_FALSE(d.create("NO-SUCH-DIALOG", true));
}

TEST(Dialog, ValidationRefusesOutOfRangeValuesWithFocusOnTheField) {
    vexa::test::SettingsTestHost host;
    CMyDialog d;
    ASSERT_TRUE(d.createFromText("SAMPLE", kSample, true));
    setDlgItemFixed(&d, 8, 39011980, kUnitMM, 185771, 928856704);
    char text[64];
    d.getText(8, text, sizeof text);
    EXPECT_STREQ(text, "210 mm");
    EXPECT_TRUE(checkEditControls(&d));
    d.setText(8, "6000");
    int beeps = host.session().frontEnd().beeps;
    EXPECT_FALSE(checkEditControls(&d));
    EXPECT_EQ(focusOf(d), 8);
    EXPECT_EQ(host.session().frontEnd().beeps, beeps + 1);
    d.setText(8, "2 inch");
    d.setText(4, "0");
    EXPECT_FALSE(checkEditControls(&d));
    EXPECT_EQ(focusOf(d), 4);
    d.setText(4, "256");
    EXPECT_TRUE(checkEditControls(&d));
    EXPECT_EQ(getControlFixed(&d, 8), 144 << 16);
}

namespace {
struct Seen {
    int chooser = 0;
    int okCalls = 0;
};
}  // namespace

TEST(Dialog, ModalDialogsRunHandlersAndReturnTheClosingCommand) {
    vexa::test::SettingsTestHost host;
    auto run = [](const std::function<void(ui::Window&)>& user, Seen* seen) {
        ui::setModalDriver(user);
        char* desc = strdup(kSample);
        CMyDialog d;
        d.createFromText("SAMPLE", desc, true);
        std::free(desc);
        setDlgItemFixed(&d, 8, 39011980, kUnitMM, 185771, 928856704);
        d.setHandler(
            17, [](CMyDialog*, ASInt32, void* cd) { static_cast<Seen*>(cd)->chooser++; }, seen);
        return d.doModal();
    };
    Seen seen;
    // OK validates first: an out-of-range value keeps the dialog open.
    EXPECT_EQ(run(
                  [](ui::Window& w) {
                      ui::setText(ui::findControl(&w, "8"), "1 mm");
                      ui::press(ui::findControl(&w, "choose"));
                      ui::setText(ui::findControl(&w, "8"), "0,5 mm");
                      ui::press(ui::findControl(&w, "OK"));
                      EXPECT_FALSE(w.ended);
                      EXPECT_EQ(w.focus, ui::findControl(&w, "8"));
                      ui::setText(ui::findControl(&w, "8"), "12 cm");
                      ui::press(ui::findControl(&w, "OK"));
                  },
                  &seen),
              kCmdOK);
    EXPECT_EQ(seen.chooser, 1);
    EXPECT_EQ(run([](ui::Window& w) { ui::typeKey(&w, 27); }, &seen), kCmdCancel);
    EXPECT_EQ(run([](ui::Window& w) { ui::typeKey(&w, 13); }, &seen), kCmdOK);
    // A disabled control cannot be used.
    EXPECT_EQ(run(
                  [](ui::Window& w) {
                      ui::findControl(&w, "1")->enabled = false;
                      EXPECT_THROW(ui::press(ui::findControl(&w, "1")), std::runtime_error);
                      ui::press(ui::findControl(&w, "2"));
                  },
                  &seen),
              kCmdCancel);
    // Nobody answers: cancelled with a message, never a hang.
    int before = ui::unansweredCount();
    EXPECT_EQ(run([](ui::Window&) {}, &seen), kCmdCancel);
    EXPECT_EQ(ui::unansweredCount(), before + 1);
    ui::setModalDriver(nullptr);
    EXPECT_EQ(doModalDialog("TEXTFRAME", nullptr, nullptr), kCmdCancel);
    EXPECT_EQ(ui::unansweredCount(), before + 2);
}

TEST(Dialog, HandlersMatchIdentifiersOrCommandCodes) {
    vexa::test::SettingsTestHost host;
    static ASInt32 got;
    got = 0;
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_THROW(ui::press(ui::findControl(&w, "no such button")), std::runtime_error);
        ui::press(ui::findControl(&w, "ok"));
    });
    ASUns32 r = doModalDialog(
        "FRAMENUM",
        [](CMyDialog* d, void*) {
            d->setHandler(
                1,
                [](CMyDialog* dd, ASInt32 id, void*) {
                    got = id;
                    dd->endDialog(kCmdNewDoc);
                },
                nullptr);
        },
        nullptr);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(r, kCmdNewDoc);
}

TEST(Dialog, ModelessWindowsCallTheirCloseProcedure) {
    vexa::test::SettingsTestHost host;
    static int closed;
    closed = 0;
    CMyDialog* palette = doModelessDialog(
        "PALETTE", nullptr, [](CMyDialog*, void*) { closed++; }, nullptr);
    ASSERT_NE(palette, nullptr);
    ui::Window* w = ui::frontWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->name, "PALETTE");
    EXPECT_TRUE(w->visible);
    EXPECT_EQ(gPlatformUIHFT->PUIWindowGetRefCon(w), palette);  // the host window knows its dialog
    ui::typeKey(w, 27);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(ui::findWindow("PALETTE"), nullptr);
    CMyDialog* again = doModelessDialog("PALETTE", nullptr, nullptr, nullptr);
    closeModelessDialog(again);
    EXPECT_EQ(ui::findWindow("PALETTE"), nullptr);
}
