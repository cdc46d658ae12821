#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/MyDialog.h"
#include "platform/Platform.h"
#include "Common/Prefs.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::writeFile;
namespace fs = std::filesystem;
namespace ui = vexa::host::ui;

namespace {

class Prefs : public ::testing::Test {
  protected:
    void SetUp() override {
        setupPrefs();
        iniPath_ = gPrefs.getPath();
    }
    void TearDown() override { gPrefs.reset(); }
    std::string ini() const { return fs::exists(iniPath_) ? readFile(iniPath_) : ""; }
    vexa::test::SettingsTestHost host_;
    std::string iniPath_;
};

ASFixed pt(double v) {
    return static_cast<ASFixed>(v * 65536);
}

}  // namespace

TEST_F(Prefs, TheFileLivesInTheConfigFolder) {
    EXPECT_EQ(iniPath_, (host_.home() / "config" / "Orvanta" / "Vexa.ini").string());
    EXPECT_TRUE(fs::is_directory(host_.home() / "config" / "Orvanta"));
}

TEST_F(Prefs, WithoutAFileTheCodedDefaultsApply) {
    ASInt32 rows, cols, rot, gray;
    ASFixed w, dw, h, dh, len, dist, width;
    loadFrParams(&rows, &cols, &w, &dw, &h, &dh, &rot);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(cols, 2);
    EXPECT_EQ(w, 39011980);
    EXPECT_EQ(h, 55174088);
    EXPECT_EQ(dw, 0);
    EXPECT_EQ(dh, 0);
    EXPECT_EQ(rot, 0);
    getPgParams(&w, &h);
    EXPECT_EQ(w, 83597104);
    EXPECT_EQ(h, 65019968);
    loadMarkParams(&len, &dist, &width, &gray);
    EXPECT_EQ(len, 557314);
    EXPECT_EQ(dist, 557314);
    EXPECT_EQ(width, 16384);
    EXPECT_EQ(gray, 0);
    EXPECT_EQ(getVisible(), 1);
    EXPECT_EQ(getPalUnits(), 3);
    EXPECT_EQ(getDlgUnits(), 3);
    EXPECT_FALSE(getOrigin());
    EXPECT_EQ(getTrimBoxWarning(), 1);
    EXPECT_EQ(getPixelsForDrag(), 8);
    EXPECT_EQ(getImposeBinding(), 1);
    EXPECT_EQ(getImposePlacing(), 2);
    EXPECT_EQ(getHotfolderDelay(), 2);
    EXPECT_EQ(getJobInfoFontSize(10), 10);
    char buf[256] = "_M.pdf";
    getSuffix(buf);
    EXPECT_STREQ(buf, "_M.pdf");
    getJobInfoFontName(buf);
    EXPECT_STREQ(buf, "Courier");
    char name[256];
    float cmyk[4];
    getTrimLinesColorParams(name, cmyk);
    EXPECT_STREQ(name, "TL");
    EXPECT_FLOAT_EQ(cmyk[3], 1.0f);
    EXPECT_EQ(getTrimLinesWidth(), fixedOne);
    EXPECT_EQ(getTrap(), 0);
}

TEST_F(Prefs, SnappingFollowsTheDialogUnit) {
    setDlgUnits(3);
    EXPECT_EQ(getRoundedValue(mmToFixed(100.9f)), mmToFixed(100.0f));
    setDlgUnits(1);
    EXPECT_EQ(getRoundedValue(pt(10.7)), pt(10));
    EXPECT_EQ(getRoundedValue(pt(-0.5)), pt(-1));
    ASFixedPoint p = getRoundedPt({pt(3.5), pt(-2.25)});
    EXPECT_EQ(p.h, pt(3));
    EXPECT_EQ(p.v, pt(-3));
}

TEST_F(Prefs, JobInfoPositionCountsNegativeValuesFromTheTop) {
    gPrefs.set("JobInfo", "YPos", "-5");
    ASFixedPoint p = getJobInfoPos(pt(842), pt(20));
    EXPECT_EQ(p.h, mmToFixed(2.0f));
    EXPECT_EQ(p.v, pt(822) + mmToFixed(-5.0f));
    EXPECT_NEAR(p.v / 65536.0, 842 - 20 - 14.17, 0.01);
    setDlgUnits(1);
    p = getJobInfoPos(pt(842), pt(20));
    EXPECT_EQ(p.h, 0);
    EXPECT_EQ(p.v, 0);
}

TEST_F(Prefs, SaveAsVisibleAndOtherExactValues) {
    EXPECT_EQ(saveAsMinor(), 4);
    gPrefs.set("General", "SaveAs", 6);
    EXPECT_EQ(saveAsMinor(), 6);
    gPrefs.set("General", "SaveAs", 7);
    EXPECT_EQ(saveAsMinor(), 0);
    gPrefs.set("General", "SaveAs", 2);
    EXPECT_EQ(saveAsMinor(), 0);
    gPrefs.set("General", "Visible", 2);
    EXPECT_EQ(getVisible(), 0);
    gPrefs.set("General", "CenterOnDrop", 2);
    EXPECT_FALSE(getCenterOnDrop());
    gPrefs.set("General", "Origin", 5);
    EXPECT_TRUE(getOrigin());
    gPrefs.set("Marks", "Trap", "0.5");
    EXPECT_EQ(getTrap(), mmToFixed(0.5f));
}

TEST_F(Prefs, SomeSettersSaveAtOnceAndOthersOnlyChangeTheStore) {
    setDlgUnits(1);
    setPalUnits(2);
    setOrigin(1);
    setPrefGray(1);
    setPgParams(pt(100), pt(200));
    setJobInfoStr("A", "x");
    EXPECT_EQ(ini().find("DlgUnits=1"), std::string::npos);
    setVisible(0);
    std::string saved = ini();
    EXPECT_NE(saved.find("Visible=0"), std::string::npos);
    EXPECT_NE(saved.find("DlgUnits=1"), std::string::npos);
    saveFrParams(3, 4, pt(10), pt(1), pt(20), pt(2), 90);
    ASInt32 rows, cols, rot;
    ASFixed w, dw, h, dh;
    gPrefs.reset();
    setupPrefs();
    loadFrParams(&rows, &cols, &w, &dw, &h, &dh, &rot);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(cols, 4);
    EXPECT_EQ(w, pt(10));
    EXPECT_EQ(dh, pt(2));
    EXPECT_EQ(rot, 90);
}

TEST_F(Prefs, PalettePositionSurvivesAnOutsideChangeAtQuit) {
    CMyDialog palette;
    ASSERT_TRUE(palette.create("PALETTE", false));
    gPlatformUIHFT->PUIWindowSetPos(palette.getWindow(), 300, 200);
    savePalPos(&palette, true);
    EXPECT_NE(ini().find("PalPos=300 200"), std::string::npos);
    // Someone edits the file while the plug-in runs.
    std::string edited = ini() + "[Extra]\nkey=1\n";
    writeFile(iniPath_, edited);
    fs::last_write_time(iniPath_, fs::last_write_time(iniPath_) + std::chrono::seconds(5));
    gPlatformUIHFT->PUIWindowSetPos(palette.getWindow(), 400, 250);
    setPrefsPalette(&palette);
    savePalPosToPrefs();
    setPrefsPalette(nullptr);
    std::string after = ini();
    EXPECT_NE(after.find("PalPos=400 250"), std::string::npos);
    EXPECT_NE(after.find("[Extra]"), std::string::npos);
    // Off-screen positions fall back to 100 100.
    gPrefs.set("General", "PalPos", "-5000 20");
    loadPalPos(&palette);
    ASInt32 left, top;
    gPlatformUIHFT->PUIWindowGetPos(palette.getWindow(), &left, &top);
    EXPECT_EQ(left, 100);
    EXPECT_EQ(top, 100);
}

TEST_F(Prefs, ThePreferencesDialogShowsAndStoresTheSettings) {
    gPrefs.set("General", "Origin", 1);
    gPrefs.set("General", "PalUnits", 2);
    std::string seen;
    ui::setModalDriver([&](ui::Window& w) {
        EXPECT_EQ(w.name, "PREFS");
        EXPECT_EQ(w.title, "Preferences\xE2\x80\xA6");
        EXPECT_EQ(ui::findControl(&w, "4")->value, 2);
        EXPECT_EQ(ui::findControl(&w, "6")->value, 2);
        EXPECT_EQ(ui::findControl(&w, "7")->value, 3);
        EXPECT_EQ(ui::findControl(&w, "9")->value, 1);
        seen = ui::findControl(&w, "10")->text;
        ui::pick(ui::findControl(&w, "4"), "Bottom left");
        ui::pick(ui::findControl(&w, "7"), "pts");
        ui::toggle(ui::findControl(&w, "8"), 1);
        ui::press(ui::findControl(&w, "ok"));
    });
    bool changed = false;
    static bool* flag;
    flag = &changed;
    setPrefsChangedProc([] { *flag = true; });
    EXPECT_TRUE(doPrefsDlg());
    setPrefsChangedProc(nullptr);
    EXPECT_TRUE(changed);
    EXPECT_EQ(seen, "Vexa.ini\xE2\x80\xA6");
    EXPECT_FALSE(getOrigin());
    EXPECT_EQ(getDlgUnits(), 1);
    EXPECT_EQ(getDragDrop(), 1);
    std::string saved = ini();
    EXPECT_NE(saved.find("DlgUnits=1"), std::string::npos);
    EXPECT_NE(saved.find("Origin=0"), std::string::npos);

    // The INI button opens the file and stores nothing.
    ui::setModalDriver([](ui::Window& w) {
        ui::pick(ui::findControl(&w, "7"), "cm");
        ui::press(ui::findControl(&w, "10"));
    });
    size_t opened = ui::openedFiles().size();
    EXPECT_FALSE(doPrefsDlg());
    ASSERT_EQ(ui::openedFiles().size(), opened + 1);
    EXPECT_EQ(ui::openedFiles().back(), iniPath_);
    EXPECT_EQ(getDlgUnits(), 1);
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "cancel")); });
    EXPECT_FALSE(doPrefsDlg());
}

TEST_F(Prefs, VersionStampAndFramesVisibleFlagLiveInTheDocument) {
    PDDoc doc = gPDModelHFT->PDDocCreate();
    EXPECT_FLOAT_EQ(getVexaVersion(doc), 0.0f);
    gPDModelHFT->PDDocSetInfo(doc, "Creator", "Vexa 5.3", 8);
    EXPECT_FLOAT_EQ(getVexaVersion(doc), 5.3f);
    gPDModelHFT->PDDocSetInfo(doc, "Creator", "Other 5.3", 9);
    EXPECT_FLOAT_EQ(getVexaVersion(doc), 0.0f);
    gPDModelHFT->PDDocSetInfo(doc, "Creator", "Vexa", 4);
    EXPECT_FLOAT_EQ(getVexaVersion(doc), 0.0f);
    EXPECT_FLOAT_EQ(getVexaVersion(nullptr), 0.0f);

    CosObj root = gCosHFT->CosDocGetRoot(gPDModelHFT->PDDocGetCosDoc(doc));
    ASAtom vexa = asAtomFromString("Vexa");
    EXPECT_FALSE(gCosHFT->CosDictKnown(root, vexa));
    EXPECT_FALSE(getFramesVisible(doc));
    // The entry is added with "Frames" 0.
    ASSERT_TRUE(gCosHFT->CosDictKnown(root, vexa));
    CosObj entry = gCosHFT->CosDictGet(root, vexa);
    EXPECT_EQ(gCosHFT->CosIntegerValue(gCosHFT->CosDictGet(entry, asAtomFromString("Frames"))), 0);
    EXPECT_TRUE(toggleFramesVisible(doc));
    EXPECT_TRUE(getFramesVisible(doc));
    EXPECT_FALSE(toggleFramesVisible(doc));
    EXPECT_FALSE(getFramesVisible(doc));
    gPDModelHFT->PDDocClose(doc);

    PDDoc fresh = gPDModelHFT->PDDocCreate();
    EXPECT_TRUE(toggleFramesVisible(fresh));
    EXPECT_TRUE(getFramesVisible(fresh));
    gPDModelHFT->PDDocClose(fresh);
}

TEST_F(Prefs, UnitCodesThatNameNoLengthUnitGiveMillimetres) {
    // Set by hand to 0, 9 or a word, "DlgUnits" would make every dialog show raw
    // 16.16 numbers ("83597104" for a sheet of 450 mm).
    for (const char* value : {"0", "9", "mm", "-1", "6"}) {
        gPrefs.set("General", "DlgUnits", value);
        gPrefs.set("General", "PalUnits", value);
        EXPECT_EQ(getDlgUnits(), 3) << value;
        EXPECT_EQ(getPalUnits(), 3) << value;
        char text[32];
        EXPECT_STREQ(fixedToString(83597104, getDlgUnits(), text), "450 mm");
    }
    for (ASInt32 unit = 1; unit <= 4; ++unit) {
        setDlgUnits(unit);
        EXPECT_EQ(getDlgUnits(), unit);
    }
}
