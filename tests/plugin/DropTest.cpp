// Placing dropped files: the free container of a page dropped onto free sheet space
// (its rectangle, its TrimBox at the drop point, turned pages, pages wider than the
// sheet), drops onto frames with "CenterOnDrop", which files are taken, and the
// context menu's items and selection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Sources/ContextMenu.h"
#include "Sources/DragAndDrop.h"
#include "Sources/Impose.h"
#include "ModelBuild.h"
#include "settings/MyStrings.h"
#include "Common/Prefs.h"
#include "app/App.h"

using namespace vexa::test;
namespace app = vexa::host::app;

namespace {

struct Placed {
    ASInt32 box = -100;
    ASFixedRect rect{};
    ASFixedMatrix matrix{};
    bool selected = false;
    ASInt32 forms = 0;
};

bool lastFrame(CContent*, PDEElement frame, long, long data) {
    auto* out = reinterpret_cast<std::vector<Placed>*>(data);
    Placed p;
    p.box = getBoxNum(frame);
    p.rect = getBBox(frame);
    p.selected = getSelected(frame);
    if (PDEContent c = getContent(frame))
        for (ASInt32 i = 0; i < pdeContentGetNumElems(c); ++i) {
            PDEElement e = pdeContentGetElem(c, i);
            if (pdeObjectGetType(e) != kPDEForm) continue;
            ++p.forms;
            pdeGetMatrix(e, &p.matrix);
        }
    out->push_back(p);
    return true;
}

std::vector<Placed> framesOf(PDPage page) {
    std::vector<Placed> out;
    EnumForms(page, lastFrame, reinterpret_cast<long>(&out), false, true);
    return out;
}

struct Dropping : ::testing::Test {
    ModelTestHost host;
    TempDir tmp;

    void SetUp() override {
        setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
        gLanguage = kLangEnglish;
        setupMyStrings();
        setupPrefs();
    }
    void TearDown() override {
        cleanupMyStrings();
        unsetenv("VEXA_RESOURCES");
        gAcroViewHFT->AVAppSetActiveTool(nullptr, false);
        app::Application::current().closeAllDocs();
        app::Application::current().popupChooser = nullptr;
        gPrefs.reset();
        setCosDoc(host.doc);
    }

    // A source file of pages (crop box, TrimBox or none, Rotate); opened.
    struct PageSpec {
        ASFixedRect crop;
        bool trim;
        ASFixedRect trimBox;
        ASInt32 rotate = 0;
    };
    PDDoc makeSource(const std::vector<PageSpec>& pages, const std::string& name = "src.pdf") {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        for (size_t i = 0; i < pages.size(); ++i) {
            PDPage p = gPDModelHFT->PDDocCreatePage(d, static_cast<ASInt32>(i) - 1, pages[i].crop);
            addToPage(p, {makeRect(20, 20, 40, 60, 0.3)});
            if (pages[i].trim)
                gPDModelHFT->PDPageSetBox(p, asAtomFromString("TrimBox"), pages[i].trimBox);
            if (pages[i].rotate)
                cosDictPut(pdPageGetCosObj(p), "Rotate",
                           cosNewInteger(pdDocGetCosDoc(d), false, pages[i].rotate));
            pdPageRelease(p);
        }
        std::string path = tmp.file(name);
        gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
        pdDocClose(d);
        setCosDoc(host.doc);
        return gPDModelHFT->PDDocOpen(path.c_str(), false);
    }

    // A template sheet of 842 x 595 with frames 1 (20..200 x 20..280) and 2
    // (220..400 x 20..280), saved and opened in a window.
    AVDoc openTemplate() {
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        PDPage p = gPDModelHFT->PDDocCreatePage(d, PDBeforeFirstPage, fxRect(0, 0, 842, 595));
        PDEContainer a = getContainerWithRect(fxRect(20, 20, 200, 280));
        setBoxNum(a, 1);
        PDEContainer b = getContainerWithRect(fxRect(220, 20, 400, 280));
        setBoxNum(b, 2);
        addToPage(p, {a, b});
        pdPageRelease(p);
        std::string path = tmp.file("template.pdf");
        gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
        pdDocClose(d);
        PDDoc t = gPDModelHFT->PDDocOpen(path.c_str(), false);
        setCosDoc(t);
        AVDoc doc = gAcroViewHFT->AVDocOpenFromPDDoc(t, "template.pdf");
        SetupDropTarget(avDocGetAVWindow(doc));
        return doc;
    }

    // Drops the file at a page point of the view and lets the idle call place it.
    bool drop(AVDoc doc, const std::string& path, double x, double y) {
        AVPageView v = avDocGetPageView(doc);
        ASFixedPoint p{fx(x), fx(y)};
        AVDevCoord dx, dy;
        gAcroViewHFT->AVPageViewPointToDevice(v, &p, &dx, &dy);
        std::string uri = "file://" + path + "\r\n";
        auto& a = app::Application::current();
        if (!a.dragTrack(doc, AVDragEnter, uri, dx, dy)) return false;
        if (!a.drop(doc, uri, dx, dy)) return false;
        doDropIdle();
        return true;
    }
};

}  // namespace

TEST_F(Dropping, OnlyPdfNamesAreTaken) {
    EXPECT_TRUE(isDroppablePath("/jobs/Flyer.PDF"));
    EXPECT_TRUE(isDroppablePath("/jobs/flyer.Pdf"));
    EXPECT_FALSE(isDroppablePath("/jobs/flyer.pdf.txt"));
    EXPECT_FALSE(isDroppablePath("/jobs/flyerpdf"));
    EXPECT_FALSE(isDroppablePath("pdf"));
    EXPECT_FALSE(isDroppablePath(nullptr));
    // A path that could not be kept whole is refused rather than cut.
    EXPECT_FALSE(isDroppablePath(("/" + std::string(600, 'a') + ".pdf").c_str()));
}

TEST_F(Dropping, AFreePageLandsWithItsTrimBoxAtThePoint) {
    PDDoc src = makeSource({{fxRect(0, 0, 190, 270), true, fxRect(5, 10, 185, 260)},
                            {fxRect(0, 0, 100, 100), false, {}}});
    ASInt32 before = pageElemCount(host.page);
    ASSERT_TRUE(placePage(nullptr, host.page, src, host.doc, fx(100), fx(200)));
    EXPECT_EQ(pageElemCount(host.page), before + 1);
    std::vector<Placed> f = framesOf(host.page);
    ASSERT_EQ(f.size(), 1u);
    // The frame is the page's crop box, moved so that the TrimBox starts at the point.
    EXPECT_EQ(f[0].box, 0);
    EXPECT_FALSE(f[0].selected);
    EXPECT_EQ(f[0].forms, 1);
    EXPECT_EQ(f[0].rect.left, fx(95));
    EXPECT_EQ(f[0].rect.bottom, fx(190));
    EXPECT_EQ(f[0].rect.right, fx(285));
    EXPECT_EQ(f[0].rect.top, fx(460));
    EXPECT_EQ(f[0].matrix.a, fixedOne);
    EXPECT_EQ(f[0].matrix.d, fixedOne);
    EXPECT_EQ(f[0].matrix.h, fx(95));
    EXPECT_EQ(f[0].matrix.v, fx(190));
    // Only page 1 is placed, and the destination keeps its own pages.
    EXPECT_EQ(pdDocGetNumPages(host.doc), 1);
    pdDocClose(src);
}

TEST_F(Dropping, PagesWithoutTrimBoxTurnedOrWiderThanTheSheet) {
    // Without a TrimBox the crop box's lower left goes to the point.
    PDDoc plain = makeSource({{fxRect(10, 10, 110, 60), false, {}}}, "plain.pdf");
    ASSERT_TRUE(placePage(nullptr, host.page, plain, host.doc, fx(50), fx(50)));
    // A page turned by 90 degrees shows turned: its TrimBox's lower left (after the
    // turn) is at the point and width and height swap.
    PDDoc turned =
        makeSource({{fxRect(0, 0, 200, 100), true, fxRect(0, 0, 200, 100), 90}}, "turned.pdf");
    ASSERT_TRUE(placePage(nullptr, host.page, turned, host.doc, fx(300), fx(400)));
    // A TrimBox wider than the sheet (595) gives a frame as wide as the sheet.
    PDDoc wide = makeSource({{fxRect(0, 0, 700, 300), true, fxRect(0, 0, 700, 300)}}, "wide.pdf");
    ASSERT_TRUE(placePage(nullptr, host.page, wide, host.doc, fx(10), fx(500)));

    std::vector<Placed> f = framesOf(host.page);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].rect.left, fx(50));
    EXPECT_EQ(f[0].rect.bottom, fx(50));
    EXPECT_EQ(f[0].rect.right, fx(150));
    EXPECT_EQ(f[0].rect.top, fx(100));

    EXPECT_EQ(f[1].rect.left, fx(300));
    EXPECT_EQ(f[1].rect.bottom, fx(400));
    EXPECT_EQ(f[1].rect.right, fx(400));
    EXPECT_EQ(f[1].rect.top, fx(600));
    EXPECT_EQ(f[1].matrix.a, 0);
    EXPECT_EQ(f[1].matrix.b, -fixedOne);
    EXPECT_EQ(f[1].matrix.c, fixedOne);

    EXPECT_EQ(f[2].rect.left, fx(10));
    EXPECT_EQ(f[2].rect.bottom, fx(500));
    EXPECT_EQ(f[2].rect.right, fx(605));
    EXPECT_EQ(f[2].rect.top, fx(800));
    pdDocClose(plain);
    pdDocClose(turned);
    pdDocClose(wide);
}

TEST_F(Dropping, ASourceWithoutPagesPlacesNothing) {
    PDDoc empty = pdDocCreate();
    ASInt32 before = pageElemCount(host.page);
    EXPECT_FALSE(placePage(nullptr, host.page, empty, host.doc, fx(10), fx(10)));
    EXPECT_EQ(pageElemCount(host.page), before);
    EXPECT_EQ(pdDocGetNumPages(host.doc), 1);
    pdDocClose(empty);
}

TEST_F(Dropping, CenterOnDropCentresAndLeavesTheAlignmentAsItWas) {
    // The TrimBox sits in the lower left of the page: placed by the TrimBox the page
    // starts at the frame's corner, centred it is 5 points further left and down. Frame
    // n takes page n.
    PDDoc src = makeSource({{fxRect(0, 0, 190, 270), true, fxRect(0, 0, 180, 260)},
                            {fxRect(0, 0, 190, 270), true, fxRect(0, 0, 180, 260)}});
    pdDocClose(src);
    std::string path = tmp.file("src.pdf");
    AVDoc doc = openTemplate();
    setPlacing(kPlaceTrimBox);
    ASSERT_TRUE(drop(doc, path, 100, 100));
    gPrefs.set("General", "CenterOnDrop", 1);
    ASSERT_TRUE(drop(doc, path, 300, 100));
    EXPECT_EQ(getPlacing(), kPlaceTrimBox);

    std::vector<Placed> f = framesOf(avPageViewGetPage(avDocGetPageView(doc)));
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].forms, 1);
    EXPECT_EQ(f[0].matrix.h, fx(20));
    EXPECT_EQ(f[0].matrix.v, fx(20));
    EXPECT_EQ(f[1].forms, 1);
    EXPECT_EQ(f[1].matrix.h, fx(215));
    EXPECT_EQ(f[1].matrix.v, fx(15));
    // The drop leaves nothing selected.
    EXPECT_FALSE(f[0].selected);
    EXPECT_FALSE(f[1].selected);
}

TEST_F(Dropping, DropsNeedAPdfOverAPageAndAnOpenWindow) {
    PDDoc src = makeSource({{fxRect(0, 0, 190, 270), true, fxRect(0, 0, 180, 260)}});
    pdDocClose(src);
    AVDoc doc = openTemplate();
    PDPage page = avPageViewGetPage(avDocGetPageView(doc));
    ASInt32 before = pageElemCount(page);
    EXPECT_FALSE(drop(doc, tmp.file("src.pdf.txt"), 600, 300));
    // Beside the page, in the window's margin.
    EXPECT_FALSE(drop(doc, tmp.file("src.pdf"), -5, 300));
    // A file that cannot be opened is reported and places nothing.
    EXPECT_TRUE(drop(doc, tmp.file("missing.pdf"), 600, 300));
    EXPECT_EQ(pageElemCount(page), before);
    // A drop whose window closed before the idle call is forgotten.
    auto& a = app::Application::current();
    AVDevCoord dx, dy;
    ASFixedPoint p{fx(600), fx(300)};
    gAcroViewHFT->AVPageViewPointToDevice(avDocGetPageView(doc), &p, &dx, &dy);
    ASSERT_TRUE(a.drop(doc, "file://" + tmp.file("src.pdf"), dx, dy));
    gAcroViewHFT->AVDocClose(doc, true);
    doDropIdle();
    EXPECT_EQ(gAcroViewHFT->AVAppGetNumDocs(), 0);
}

namespace {

struct RecordingChooser : app::PopupChooser {
    std::vector<std::string> titles;
    std::vector<int> answer;
    std::vector<int> choose(const std::vector<app::PopupEntry>& menu, AVDevCoord,
                            AVDevCoord) override {
        titles.clear();
        for (auto& e : menu) titles.push_back(e.title);
        return answer;
    }
};

}  // namespace

TEST_F(Dropping, TheContextMenuSelectsTheFrameUnderTheClick) {
    AVDoc doc = openTemplate();
    AVPageView view = avDocGetPageView(doc);
    PDPage page = avPageViewGetPage(view);
    RecordingChooser chooser;
    app::Application::current().popupChooser = &chooser;
    auto click = [&](double x, double y) {
        ASFixedPoint p{fx(x), fx(y)};
        AVDevCoord dx, dy;
        gAcroViewHFT->AVPageViewPointToDevice(view, &p, &dx, &dy);
        doRightClick(nullptr, view, dx, dy, 0, 1);
    };
    // Holding the content keeps the selection between the clicks.
    pdPageAcquirePDEContent(page);
    click(100, 100);
    EXPECT_EQ(chooser.titles,
              (std::vector<std::string>{"Bleeding\xE2\x80\xA6", "Rotate", "Marks\xE2\x80\xA6"}));
    std::vector<Placed> f = framesOf(page);
    EXPECT_TRUE(f[0].selected);
    EXPECT_FALSE(f[1].selected);
    // An unselected frame becomes the only selection.
    click(300, 100);
    f = framesOf(page);
    EXPECT_FALSE(f[0].selected);
    EXPECT_TRUE(f[1].selected);
    // On a selected frame the selection stays as it is.
    EnumForms(
        page, [](CContent*, PDEElement e, long, long) { return setSelected(e, true), true; }, 0,
        false, true);
    click(100, 100);
    f = framesOf(page);
    EXPECT_TRUE(f[0].selected);
    EXPECT_TRUE(f[1].selected);
    // Free space clears it and offers the sheet's commands.
    click(600, 100);
    EXPECT_EQ(chooser.titles,
              (std::vector<std::string>{"Frames\xE2\x80\xA6", "Text frame", "Marks\xE2\x80\xA6"}));
    f = framesOf(page);
    EXPECT_FALSE(f[0].selected);
    EXPECT_FALSE(f[1].selected);
    pdPageReleasePDEContent(page);
}

TEST_F(Dropping, SaveOptimizedListsUsableEntriesInTheirOrder) {
    std::string out = tmp.file("out"), other = tmp.file("other");
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(other);
    gPrefs.set("SaveOptimized", "Web", out.c_str());
    gPrefs.set("SaveOptimized", "Fastest", out.c_str());  // no such preset
    gPrefs.set("SaveOptimized", "Smallest", tmp.file("missing").c_str());
    gPrefs.set("SaveOptimized", "Standard", other.c_str());
    std::vector<OptimizedTarget> t = getOptimizedTargets();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].preset, "Web");
    EXPECT_EQ(t[0].folder, out);
    EXPECT_EQ(t[1].preset, "Standard");
    EXPECT_EQ(t[1].folder, other);

    // A document that has no file cannot be saved and reopened.
    PDDoc fresh = pdDocCreate();
    pdPageRelease(gPDModelHFT->PDDocCreatePage(fresh, PDBeforeFirstPage, fxRect(0, 0, 100, 100)));
    AVDoc doc = gAcroViewHFT->AVDocOpenFromPDDoc(fresh, "new");
    auto& fe = host.session().frontEnd();
    std::size_t alerts = fe.alerts.size();
    AVPageView v = avDocGetPageView(doc);
    EXPECT_EQ(saveOptimized(v, t[0]), v);
    ASSERT_EQ(fe.alerts.size(), alerts + 1);
    // in the user's language
    EXPECT_EQ(fe.alerts.back().request.message, "Error while saving!");
    gLanguage = kLangGerman;
    setupMyStrings();
    EXPECT_EQ(saveOptimized(v, t[0]), v);
    ASSERT_EQ(fe.alerts.size(), alerts + 2);
    EXPECT_EQ(fe.alerts.back().request.message, "Fehler beim Speichern!");
    EXPECT_EQ(fe.alerts.back().request.buttons, std::vector<std::string>{"OK"});
    gLanguage = kLangEnglish;
    setupMyStrings();
    EXPECT_TRUE(std::filesystem::is_empty(out));
}
