// New sheets, plate and paper size, and frame numbering.
#include <gtest/gtest.h>

#include <cstring>

#include "Sources/AddFrames.h"
#include "Common/BoxDesc.h"
#include "ModelBuild.h"
#include "Sources/NewDoc.h"
#include "Common/Prefs.h"
#include "Sources/Selection.h"

using namespace vexa::test;

namespace {

struct NewDocs : ::testing::Test {
    ModelTestHost host;
    PDDoc made = nullptr;
    ~NewDocs() override {
        if (made) pdDocClose(made);
    }
    struct Found {
        std::vector<PDEElement> frames;
    };
    static bool collect(CContent*, PDEElement frame, long, long data) {
        reinterpret_cast<Found*>(data)->frames.push_back(frame);
        return true;
    }
    // (box number, rect) of every frame of a page
    static std::vector<std::pair<ASInt32, ASFixedRect>> frames(PDDoc doc, long index) {
        CPage page(doc, index);
        std::vector<std::pair<ASInt32, ASFixedRect>> out;
        struct Ctx {
            std::vector<std::pair<ASInt32, ASFixedRect>>* out;
        } ctx{&out};
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long d) {
                reinterpret_cast<Ctx*>(d)->out->emplace_back(getBoxNum(f), getBBox(f));
                return true;
            },
            reinterpret_cast<long>(&ctx), false, true);
        return out;
    }
};

TEST_F(NewDocs, DefaultSheetWithJobInformation) {
    ASFixed w, h;
    getPgParams(&w, &h);
    made = createTemplate(w, h, true, false);
    ASFixedRect media = getMediaBox(made, 0);
    EXPECT_NEAR(media.right / 65536.0, 1275.59, 0.01);
    EXPECT_NEAR(media.top / 65536.0, 992.13, 0.01);
    EXPECT_FLOAT_EQ(getVexaVersion(made), 6.17f);
    auto f = frames(made, 0);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].first, kBoxJobInfo);
    EXPECT_EQ(f[0].second.left, mmToFixed(2.0f));
    EXPECT_EQ(f[0].second.bottom, mmToFixed(2.0f));
    EXPECT_EQ(f[0].second.right - f[0].second.left, 18577134);
    EXPECT_EQ(f[0].second.top - f[0].second.bottom, 743085);
}

TEST_F(NewDocs, JobInformationPositionByUnitAndFromTheTop) {
    gPrefs.set("JobInfo", "YPos", "-5.0000");
    ASFixed w = mmToFixed(450), h = mmToFixed(350);
    made = createTemplate(w, h, true, false);
    auto f = frames(made, 0);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_NEAR(f[0].second.bottom * 25.4 / 4718592, 341.0, 0.01);
    pdDocClose(made);
    setDlgUnits(1);
    made = createTemplate(w, h, true, false);
    f = frames(made, 0);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].second.left, 0);
    EXPECT_EQ(f[0].second.bottom, 0);
}

TEST_F(NewDocs, PlateCentresThePaperAndMovesFrames) {
    made = createTemplate(mmToFixed(450), mmToFixed(350), true, false);
    CPage page(made, 0);
    createFrame(page.getPage(), {fx(100), fx(100)}, fxRect(0, 0, 200, 300), 1, 0, 0);
    auto before = frames(made, 0);
    setPlateSize(made, 0, 0, mmToFixed(720), mmToFixed(520));
    ASFixedRect media = getMediaBox(made, 0);
    EXPECT_EQ(media.right, mmToFixed(720));
    EXPECT_EQ(media.top, mmToFixed(520));
    ASFixedRect paper;
    ASSERT_TRUE(getPaperRect(made, paper));
    EXPECT_NEAR(paper.left * 25.4 / 4718592, 135.0, 0.01);
    EXPECT_NEAR(paper.bottom * 25.4 / 4718592, 85.0, 0.01);
    auto after = frames(made, 0);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].second.left - before[i].second.left, paper.left);
        EXPECT_EQ(after[i].second.bottom - before[i].second.bottom, paper.bottom);
    }
    // a second paper size keeps the paper centred where it was
    setPageSize(made, mmToFixed(400), mmToFixed(300), true);
    ASSERT_TRUE(getPaperRect(made, paper));
    EXPECT_EQ(getMediaBox(made, 0).right, mmToFixed(720));
    EXPECT_EQ(paper.right - paper.left, mmToFixed(400));
}

// A moving mark keeps stepping over the same stretch of the paper once the paper is on
// a plate: its limit moves with it, along the axis the mark steps along.
TEST_F(NewDocs, PlateCarriesMovingMarkLimits) {
    made = createTemplate(mmToFixed(450), mmToFixed(350), false, false);
    {
        CPage page(made, 0);
        createFrame(page.getPage(), {fx(100), fx(100)}, fxRect(0, 0, 200, 300), 1, 0, 0);
        createFrame(page.getPage(), {fx(20), fx(100)}, fxRect(0, 0, 8, 17), kBoxMovingMark, 0, 0);
        createFrame(page.getPage(), {fx(100), fx(20)}, fxRect(0, 0, 17, 8), kBoxMovingMark, 270, 0);
        EnumForms(
            page.getPage(),
            [](CContent* level, PDEElement f, long, long) {
                if (getBoxNum(f) == kBoxMovingMark)
                    setMoveLimit(f, getFrameRotation(f) == 0 ? fx(600) : fx(900));
                level->addModified();
                return true;
            },
            0, true, true);
    }
    setPlateSize(made, 0, 0, mmToFixed(720), mmToFixed(520));
    ASFixedRect paper;
    ASSERT_TRUE(getPaperRect(made, paper));
    CPage page(made, 0);
    std::vector<std::pair<long, ASFixed>> limits;
    EnumForms(
        page.getPage(),
        [](CContent*, PDEElement f, long, long d) {
            if (getBoxNum(f) == kBoxMovingMark)
                reinterpret_cast<std::vector<std::pair<long, ASFixed>>*>(d)->emplace_back(
                    getFrameRotation(f), getMoveLimit(f));
            return true;
        },
        reinterpret_cast<long>(&limits), false, true);
    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(limits[0], (std::pair<long, ASFixed>{0, fx(600) + paper.bottom}));
    EXPECT_EQ(limits[1], (std::pair<long, ASFixed>{270, fx(900) + paper.left}));
}

TEST_F(NewDocs, PageSizeOfOrdinaryDocumentKeepsCentre) {
    setPageSize(host.doc, fx(695), fx(942), true);
    ASFixedRect c = getCropBox(host.doc, 0);
    EXPECT_EQ(c.left, fx(-50));
    EXPECT_EQ(c.bottom, fx(-50));
    EXPECT_EQ(c.right, fx(645));
    setPageSize(host.doc, fx(595), fx(842), false);
    c = getCropBox(host.doc, 0);
    EXPECT_EQ(c.left, fx(-50));
    EXPECT_EQ(c.right, fx(545));
}

TEST_F(NewDocs, DocInfoIntegers) {
    EXPECT_EQ(getDocInfoInt32(host.doc, "Pagina"), 0);
    setDocInfo(host.doc, "Pagina", 1);
    EXPECT_EQ(getDocInfoInt32(host.doc, "Pagina"), 1);
    setDocInfo(host.doc, "X", -42);
    EXPECT_EQ(getDocInfoInt32(host.doc, "X"), -42);
}

struct Numbering : NewDocs {
    // frames A, B, C left to right with the given numbers, selected in the given order
    void make(const ASInt32 nums[3]) {
        for (int i = 0; i < 3; ++i)
            createFrame(host.page, {fx(10 + 100 * i), fx(10)}, fxRect(0, 0, 90, 90), nums[i], 0, 0);
    }
    // Selection tags live on the page's content while it stays acquired (as the
    // editing tool keeps it).
    void select(const int order[3]) {
        held = pdPageAcquirePDEContent(host.page);
        Found f;
        EnumForms(host.page, collect, reinterpret_cast<long>(&f), false, true);
        for (int k = 0; k < 3; ++k) setSelected(f.frames[static_cast<size_t>(order[k])], true);
    }
    void TearDown() override {
        if (held) pdPageReleasePDEContent(host.page);
    }
    PDEContent held = nullptr;
};

TEST_F(Numbering, RelativeAddsToPageFramesOnly) {
    const ASInt32 nums[3] = {1, 2, -1};
    make(nums);
    const int order[3] = {0, 1, 2};
    select(order);
    numberFrames(host.page, "+1", false);
    auto f = frames(host.doc, 0);
    EXPECT_EQ(f[0].first, 2);
    EXPECT_EQ(f[1].first, 3);
    EXPECT_EQ(f[2].first, -1);
    numberFrames(host.page, "-2", false);
    f = frames(host.doc, 0);
    EXPECT_EQ(f[0].first, 0);
    EXPECT_EQ(f[1].first, 1);
}

TEST_F(Numbering, SequenceFollowsSelectionOrder) {
    const ASInt32 nums[3] = {1, 1, 1};
    make(nums);
    const int order[3] = {2, 0, 1};  // C, A, B
    select(order);
    numberFrames(host.page, "5", true);
    auto f = frames(host.doc, 0);
    EXPECT_EQ(f[2].first, 5);
    EXPECT_EQ(f[0].first, 6);
    EXPECT_EQ(f[1].first, 7);
    numberFrames(host.page, "9", false);
    f = frames(host.doc, 0);
    for (auto& x : f) EXPECT_EQ(x.first, 9);
}

}  // namespace
