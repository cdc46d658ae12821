// The frame grid.
#include <gtest/gtest.h>

#include "Sources/AddFrames.h"
#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "ModelBuild.h"
#include "Common/Prefs.h"

using namespace vexa::test;

namespace {

struct Grid : ::testing::Test {
    ModelTestHost host;
    struct F {
        ASInt32 box, rot;
        ASFixedRect r;
        ASInt32 elems;
        bool marker;
    };
    std::vector<F> frames() {
        std::vector<F> out;
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long d) {
                PDEContent c = getContent(f);
                ASInt32 n = c ? pdeContentGetNumElems(c) : 0;
                bool marker = n > 0 && pdeObjectGetType(pdeContentGetElem(c, 0)) == kPDEContainer;
                reinterpret_cast<std::vector<F>*>(d)->push_back(
                    {getBoxNum(f), getFrameRotation(f), getBBox(f), n, marker});
                return true;
            },
            reinterpret_cast<long>(&out), false, true);
        return out;
    }
    void sheet(double w, double h) {
        ASFixedRect r = fxRect(0, 0, w, h);
        pdPageSetCropBox(host.page, r, true);
        gPDModelHFT->PDPageSetMediaBox(host.page, r);
    }
};

TEST_F(Grid, DefaultsGiveTwoA4FramesCentred) {
    // frames shown: the trim lines are stroked (the reader drops unpainted paths)
    getFramesVisible(host.doc);
    toggleFramesVisible(host.doc);
    gPDModelHFT->PDPageSetMediaBox(host.page, ASFixedRect{0, mmToFixed(350), mmToFixed(450), 0});
    ASInt32 rows, cols, rot;
    ASFixed w, dw, h, dh;
    loadFrParams(&rows, &cols, &w, &dw, &h, &dh, &rot);
    addFrames(host.page, rows, cols, w, dw, h, dh, rot);
    auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_NEAR(f[0].r.left * 25.4 / 4718592, 15.0, 0.01);
    EXPECT_NEAR(f[0].r.bottom * 25.4 / 4718592, 26.5, 0.01);
    EXPECT_NEAR(f[1].r.left * 25.4 / 4718592, 225.0, 0.01);
    for (auto& x : f) {
        EXPECT_EQ(x.box, 1);
        EXPECT_EQ(x.r.right - x.r.left, 39011980);
        EXPECT_EQ(x.elems, 2);  // the empty-frame marker and the trim lines
        EXPECT_TRUE(x.marker);
    }
}

TEST_F(Grid, RotationAndNegativeGaps) {
    sheet(1000, 1000);
    addFrames(host.page, 1, 2, fx(200), fx(-20), fx(300), 0, 90);
    auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].rot, 90);
    EXPECT_EQ(f[0].r.right - f[0].r.left, fx(300));
    EXPECT_EQ(f[0].r.top - f[0].r.bottom, fx(200));
    EXPECT_EQ(f[1].r.left, f[0].r.right - fx(20));  // overlap by the gap
    EXPECT_EQ(f[0].r.left, (fx(1000) - fx(580)) / 2);
}

TEST_F(Grid, MediaBoxMovedToOriginWithExistingFrames) {
    ASFixedRect r = fxRect(36, 36, 636, 536);
    pdPageSetCropBox(host.page, r, true);
    gPDModelHFT->PDPageSetMediaBox(host.page, r);
    createFrame(host.page, {fx(50), fx(50)}, fxRect(0, 0, 10, 10), 7, 0, 0);
    addFrames(host.page, 1, 1, fx(100), 0, fx(100), 0, 0);
    ASFixedRect m;
    pdPageGetMediaBox(host.page, &m);
    EXPECT_EQ(m.left, 0);
    EXPECT_EQ(m.right, fx(600));
    auto f = frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].box, 7);
    EXPECT_EQ(f[0].r.left, fx(14));
    EXPECT_EQ(f[1].r.left, fx(250));
}

TEST_F(Grid, OversizedGridGoesOffThePage) {
    sheet(100, 100);
    addFrames(host.page, 1, 1, fx(300), 0, fx(50), 0, 0);
    auto f = frames();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].r.left, fx(-100));
}

}  // namespace

#include <cstdlib>

#include "settings/MyStrings.h"
#include "ui/Ui.h"

namespace {

namespace ui = vexa::host::ui;

// The grid dialog shows rows and columns as plain numbers and takes typed ones.
TEST_F(Grid, DialogTakesPlainRowAndColumnCounts) {
    setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
    gLanguage = kLangEnglish;
    setupMyStrings();
    sheet(1000, 1000);
    AVDoc av = gAcroViewHFT->AVDocOpenFromPDDoc(host.doc, "Grid");
    ASSERT_NE(av, nullptr);
    ui::setModalDriver([](ui::Window& w) {
        ui::Control* rows = ui::findControl(&w, "4");
        EXPECT_EQ(rows->text, "1");  // the default grid: 1 row of 2 columns
        EXPECT_EQ(ui::findControl(&w, "6")->text, "2");
        ui::setText(rows, "3");
        ui::setText(ui::findControl(&w, "6"), "2");
        ui::setText(ui::findControl(&w, "8"), "100 pt");
        ui::setText(ui::findControl(&w, "10"), "100 pt");
        ui::press(ui::findControl(&w, "OK"));
        EXPECT_TRUE(w.ended);
    });
    addFrames();
    EXPECT_EQ(frames().size(), 6u);
    ui::setModalDriver(nullptr);
    ui::resetUi();
    cleanupMyStrings();
    unsetenv("VEXA_RESOURCES");
    pdPageRelease(host.page);
    host.page = nullptr;
    EXPECT_TRUE(gAcroViewHFT->AVDocClose(av, true));
    host.doc = nullptr;
}

}  // namespace
