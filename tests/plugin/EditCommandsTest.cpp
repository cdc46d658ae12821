// Duplicates, position, trim box, separation info, and the marks dialog and the trim box
// on the front document's view with their undo steps.
#include "Sources/AddMarks.h"
#include "Sources/AddPages.h"
#include "Sources/Duplicate.h"
#include "settings/MyDialog.h"
#include "Sources/SeparationInfo.h"
#include "Sources/SetPos.h"
#include "SheetTestHost.h"
#include "Sources/TrimBox.h"
#include "app/App.h"
#include "headless/Script.h"

using namespace vexa::test;

namespace {

struct Duplicates : SheetTest {
    static ASFixedRect clipRect(PDEElement e, ASFixed* shift) {
        PDEClip clip = pdeGetClip(e);
        ASFixedRect r{0, 0, 0, 0};
        if (!clip || pdeClipGetNumElems(clip) != 1) return r;
        PDEElement path = pdeClipGetElem(clip, 0);
        ASInt32 d[5];
        gPDFEditReadHFT->PDEPathGetData(reinterpret_cast<PDEPath>(path), d, sizeof d);
        ASFixedMatrix m;
        pdeGetMatrix(path, &m);
        *shift = m.h;
        return ASFixedRect{d[1], d[2] + d[4], d[1] + d[3], d[2]};
    }
};

TEST_F(Duplicates, CopiesRunRightAndDownEachFromThePrevious) {
    pageFrame(host.page, 0, mm(100) / 65536.0, mm(50) / 65536.0, mm(30) / 65536.0, 3, 90);
    {
        CPage page(host.doc, 0);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                ASFixedRect b{fx(1), fx(2), fx(3), fx(4)};
                setBleedRect(f, &b);
                return true;
            },
            0, true, true);
    }
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.title, "Duplicate");
        EXPECT_EQ(text(w, "4"), "1");
        EXPECT_EQ(text(w, "6"), "10 mm");
        EXPECT_EQ(text(w, "8"), "0 mm");
        ui::setText(ui::findControl(&w, "4"), "3");
        ui::setText(ui::findControl(&w, "8"), "5 mm");
        ui::press(ui::findControl(&w, "OK"));
    });
    doDuplicate(nullptr, host.page);
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 4u);
    for (int i = 1; i <= 3; ++i) {
        const F& c = f[static_cast<size_t>(i)];
        EXPECT_NEAR(toMM(c.r.left), 10.0 * i, 0.001);
        EXPECT_NEAR(toMM(c.r.bottom), 100.0 - 5.0 * i, 0.001);
        EXPECT_EQ(c.r.right - c.r.left, f[0].r.right - f[0].r.left);
        EXPECT_EQ(c.box, 3);
        EXPECT_EQ(c.rotation, 90);
        EXPECT_EQ(c.bleed.bottom, fx(4));
        EXPECT_EQ(c.elems, 2);  // the empty-frame marker and the trim lines
        EXPECT_EQ(c.first.left - f[0].first.left, c.r.left - f[0].r.left);
        EXPECT_TRUE(c.selected);
    }
    EXPECT_EQ(f[0].r.left, 0);
    // the dialog remembers its values
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(text(w, "4"), "3");
        EXPECT_EQ(text(w, "8"), "5 mm");
        ui::press(ui::findControl(&w, "Cancel"));
    });
    doDuplicate(nullptr, host.page);
    EXPECT_EQ(frames(host.page).size(), 4u);
}

TEST_F(Duplicates, PlacedPageIsClippedToTheCopyAndTheOriginalKeepsItsClip) {
    ASFixedRect r = fxRect(100, 100, 200, 200);
    PDEContainer frame = getContainerWithRect(r);
    setBoxNum(frame, 1);
    ASFixedMatrix m{fixedOne, 0, 0, fixedOne, fx(100), fx(100)};
    PDEForm form = makeForm({makeRect(0, 0, 50, 50)}, &m);
    setClipping(reinterpret_cast<PDEElement>(form), &r);
    pdeContentAddElem(getContent(frame), kPDEAfterLast, reinterpret_cast<PDEElement>(form));
    pdeRelease(form);
    addToPage(host.page, {frame});
    selectAll(host.page);
    dupSelection(host.page, fx(150), fx(-20));  // drags pass the vertical offset negated
    PDEContent c = pdPageAcquirePDEContent(host.page);
    ASSERT_EQ(pdeContentGetNumElems(c), 2);
    PDEElement orig = pdeContentGetElem(getContent(pdeContentGetElem(c, 0)), 0);
    PDEElement copy = pdeContentGetElem(getContent(pdeContentGetElem(c, 1)), 0);
    ASFixed shift = -1;
    ASFixedRect oc = clipRect(orig, &shift);
    EXPECT_EQ(oc.left, fx(100));
    EXPECT_EQ(shift, 0);
    ASFixedRect cc = clipRect(copy, &shift);
    EXPECT_EQ(cc.left, fx(250));
    EXPECT_EQ(cc.bottom, fx(120));
    ASFixedMatrix om, cm;
    pdeGetMatrix(orig, &om);
    pdeGetMatrix(copy, &cm);
    EXPECT_EQ(cm.h - om.h, fx(150));
    EXPECT_EQ(cm.v - om.v, fx(20));
    pdPageReleasePDEContent(host.page);
    auto f = frames(host.page);
    EXPECT_EQ(f[1].r.left, fx(250));
    EXPECT_EQ(f[1].r.top, fx(220));
}

TEST_F(Duplicates, MirroredCopiesOfMarksOnly) {
    sheet(host.page, mm(400) / 65536.0, mm(300) / 65536.0);
    markFrame(host.page, mm(20) / 65536.0, 100, 10, 20, kBoxCutMark);
    pageFrame(host.page, 300, 300, 100, 100, 1);
    selectAll(host.page);
    dupHor(nullptr, host.page);  // outside a script the default button, "Yes", answers
    ASSERT_FALSE(alerts().empty());
    EXPECT_EQ(alerts().back().request.message, "Duplicate selected objects horizontally?");
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 3u);  // the page frame is not duplicated
    EXPECT_EQ(f[2].box, kBoxCutMark);
    EXPECT_NEAR(toMM(mm(400) - f[2].r.right), 20.0, 0.001);
    EXPECT_EQ(f[2].r.bottom, fx(100));
    EXPECT_EQ(f[2].first.left, f[2].r.left);  // the content moved with it
    dupVer(nullptr, host.page);
    f = frames(host.page);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_NEAR(f[3].r.top, mm(300) - fx(100), 2);
    EXPECT_EQ(f[3].r.left, f[0].r.left);
    {
        // "No" leaves the sheet alone
        vexa::host::ScriptRunner script;
        script.queuedAnswers.push_back("No");
        dupHor(nullptr, host.page);
    }
    EXPECT_EQ(frames(host.page).size(), 4u);
}

// Position.

struct Position : SheetTest {};

TEST_F(Position, TopLeftOriginPlacesTheTopEdgeBelowTheCropBoxTop) {
    setOrigin(1);
    pageFrame(host.page, 100, 500, 200, 100, 1);
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "SETPOS");
        EXPECT_EQ(w.title, "Position");
        EXPECT_EQ(text(w, "4"), "35.28 mm");  // 100 pt
        EXPECT_EQ(text(w, "6"), "85.37 mm");  // 842 - 600 pt
        EXPECT_EQ(text(w, "8"), "70.56 mm");
        EXPECT_EQ(text(w, "16"), "100 %");
        ui::setText(ui::findControl(&w, "6"), "10 mm");
        ui::setText(ui::findControl(&w, "8"), "300 pt");
        ui::setText(ui::findControl(&w, "10"), "150 pt");
        ui::setText(ui::findControl(&w, "12"), "5 pt");
        ui::setText(ui::findControl(&w, "16"), "50 %");
        ui::press(ui::findControl(&w, "OK"));
    });
    setPos(nullptr, host.page);
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].r.top, fx(842) - stringToFixed("10 mm", kUnitMM));
    EXPECT_EQ(f[0].r.bottom, f[0].r.top - fx(150));
    EXPECT_EQ(f[0].r.left, fx(100));
    EXPECT_EQ(f[0].r.right, fx(400));
    EXPECT_EQ(f[0].xOff, fx(5));
    EXPECT_EQ(f[0].scale, 0x8000);
    // the trim lines follow the new size
    EXPECT_EQ(f[0].first.left, fx(100));
    EXPECT_EQ(f[0].first.right, fx(400));
    EXPECT_EQ(f[0].first.top, f[0].r.top);
    EXPECT_EQ(f[0].first.bottom, f[0].r.bottom);
}

TEST_F(Position, SeveralFramesMoveTogetherAndKeepTheirOwnValues) {
    pageFrame(host.page, 100, 100, 100, 100, 1);
    markFrame(host.page, 300, 200, 50, 50, kBoxPlain);
    {
        CPage page(host.doc, 0);
        EnumForms(
            page.getPage(),
            [](CContent*, PDEElement f, long, long) {
                setXOff(f, fx(7));
                return true;
            },
            0, true, true);
    }
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_FALSE(ui::findControl(&w, "8")->enabled);
        EXPECT_FALSE(ui::findControl(&w, "16")->enabled);
        EXPECT_EQ(text(w, "8"), "0 mm");
        ui::setText(ui::findControl(&w, "4"), "120 pt");
        ui::setText(ui::findControl(&w, "6"), "110 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    setPos(nullptr, host.page);
    EXPECT_TRUE(ui::findWindow("SETPOS") == nullptr || ui::findWindow("SETPOS")->ended);
    auto f = frames(host.page);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].r.left, fx(120));
    EXPECT_EQ(f[0].r.bottom, fx(110));
    EXPECT_EQ(f[0].r.top, fx(210));
    EXPECT_EQ(f[1].r.left, fx(320));
    EXPECT_EQ(f[1].r.bottom, fx(210));
    EXPECT_EQ(f[1].r.right, fx(370));
    EXPECT_EQ(f[1].first.left, fx(320));  // content moved along
    for (auto& x : f) {
        EXPECT_EQ(x.xOff, fx(7));
        EXPECT_EQ(x.scale, fixedOne);
    }
}

// Trim box.

TEST(TrimBoxMapping, DialogValuesRoundTripInEveryRotation) {
    ASFixedRect crop{fx(10), fx(800), fx(600), fx(20)};
    ASFixedRect r{fx(100), fx(250), fx(300), fx(200)};  // 200 wide, 50 high
    const TrimBoxValues want[] = {{fx(90), fx(550), fx(200), fx(50)},
                                  {fx(180), fx(90), fx(50), fx(200)},
                                  {fx(300), fx(180), fx(200), fx(50)},
                                  {fx(550), fx(300), fx(50), fx(200)}};
    for (int i = 0; i < 4; ++i) {
        TrimBoxValues v = trimBoxToDialog(r, crop, 90 * i);
        EXPECT_EQ(v.x, want[i].x) << i;
        EXPECT_EQ(v.y, want[i].y) << i;
        EXPECT_EQ(v.width, want[i].width) << i;
        EXPECT_EQ(v.height, want[i].height) << i;
        ASFixedRect back = trimBoxFromDialog(v, crop, 90 * i);
        EXPECT_EQ(back.left, r.left) << i;
        EXPECT_EQ(back.top, r.top) << i;
        EXPECT_EQ(back.right, r.right) << i;
        EXPECT_EQ(back.bottom, r.bottom) << i;
    }
}

struct TrimBoxes : SheetTest {};

TEST_F(TrimBoxes, RotatedPageSwapsWidthAndHeightAndAllPagesTakeIt) {
    gPDModelHFT->PDPageSetRotate(host.page, 90);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "TRIMBOX");
        EXPECT_EQ(text(w, "4"), "70.56 mm");  // bottom 200
        EXPECT_EQ(text(w, "6"), "35.28 mm");  // left 100
        EXPECT_EQ(text(w, "8"), "17.64 mm");  // the page's height of 50 runs across
        EXPECT_EQ(text(w, "10"), "70.56 mm");
        ui::setText(ui::findControl(&w, "4"), "10 pt");
        ui::setText(ui::findControl(&w, "6"), "20 pt");
        ui::setText(ui::findControl(&w, "8"), "30 pt");
        ui::setText(ui::findControl(&w, "10"), "40 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    // dragged from the top right to the bottom left
    setTrimBox(host.page, ASFixedRect{fx(300), fx(200), fx(100), fx(250)});
    ASFixedRect box;
    ASSERT_TRUE(pdPageGetBox(host.page, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(20));
    EXPECT_EQ(box.bottom, fx(10));
    EXPECT_EQ(box.right, fx(60));
    EXPECT_EQ(box.top, fx(40));
    PDPage second = gPDModelHFT->PDDocCreatePage(host.doc, 0, fxRect(0, 0, 595, 842));
    EXPECT_FALSE(trimBoxAvail(second));
    ui::setModalDriver([](ui::Window& w) {
        ui::toggle(ui::findControl(&w, "Process all pages"), 1);
        ui::press(ui::findControl(&w, "OK"));
    });
    setTrimBox(host.page, fxRect(100, 100, 200, 200));
    ASSERT_TRUE(pdPageGetBox(second, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(100));
    EXPECT_EQ(box.top, fx(200));
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "Cancel")); });
    setTrimBox(second, fxRect(0, 0, 10, 10));
    ASSERT_TRUE(pdPageGetBox(second, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(100));
    pdPageRelease(second);
}

// Separation info.

struct SeparationInfo : SheetTest {
    TempDir tmp;
    std::string label(ASInt32 page) {
        char buf[300] = "";
        gPDModelHFT->PDDocGetLabelForPageNum(host.doc, page, buf, sizeof buf);
        return buf;
    }
    void answer(const char* name, const char* expectProposal) {
        static std::string n, p;
        n = name;
        p = expectProposal;
        ui::setModalDriver([](ui::Window& w) {
            EXPECT_EQ(w.name, "GETSTRING");
            EXPECT_EQ(text(w, "4"), p);
            ui::setText(ui::findControl(&w, "4"), n);
            ui::press(ui::findControl(&w, "OK"));
        });
    }
};

TEST_F(SeparationInfo, NameLabelsEveryPageAndEmptyNameRemovesIt) {
    for (int i = 0; i < 2; ++i)
        pdPageRelease(gPDModelHFT->PDDocCreatePage(host.doc, i, fxRect(0, 0, 595, 842)));
    answer("Cyan", "");
    EXPECT_TRUE(addSepInfo(host.doc));
    for (ASInt32 i = 0; i < 3; ++i) {
        EXPECT_EQ(label(i), "Cyan:" + std::to_string(i + 1));
        CPage page(host.doc, i);
        CosObj dict = pdPageGetCosObj(page.getPage());
        CosObj info = cosDictGet(dict, "SeparationInfo");
        ASSERT_EQ(cosObjGetType(info), CosDict);
        EXPECT_FALSE(cosObjIsIndirect(info));
        EXPECT_STREQ(asAtomGetString(cosNameValue(cosDictGet(info, "DeviceColorant"))), "Cyan");
        CosObj pages = cosDictGet(info, "Pages");
        EXPECT_TRUE(cosObjIsIndirect(pages));
        ASSERT_EQ(cosArrayLength(pages), 1);
        EXPECT_TRUE(cosObjEqual(cosArrayGet(pages, 0), dict));
    }
    std::string path = tmp.file("cyan.pdf");
    gPDModelHFT->PDDocSave(host.doc, PDSaveFull | PDSaveCopy, path.c_str());
    std::string out;
    ASSERT_EQ(runCommand("qpdf --check " + path, &out), 0) << out;
    ASSERT_EQ(runCommand("qpdf --json --json-key=pagelabels --json-key=pages " + path, &out), 0);
    EXPECT_NE(out.find("\"/P\": \"u:Cyan:\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"label\""), std::string::npos) << out;
    ASSERT_EQ(runCommand("qpdf --qdf --object-streams=disable " + path + " -", &out), 0);
    EXPECT_NE(out.find("/DeviceColorant /Cyan"), std::string::npos);
    // again: the name is proposed; nothing removes every label and every entry
    answer("", "Cyan");
    EXPECT_TRUE(addSepInfo(host.doc));
    for (ASInt32 i = 0; i < 3; ++i) {
        EXPECT_EQ(label(i), std::to_string(i + 1));
        CPage page(host.doc, i);
        EXPECT_FALSE(cosDictKnown(pdPageGetCosObj(page.getPage()), "SeparationInfo"));
    }
    gPDModelHFT->PDDocSave(host.doc, PDSaveFull | PDSaveCopy, path.c_str());
    ASSERT_EQ(runCommand("qpdf --check " + path, &out), 0) << out;
    EXPECT_EQ(readFile(path).find("SeparationInfo"), std::string::npos);
}

TEST_F(SeparationInfo, ProposalIsTheTextBeforeTheColonAndCancelKeepsAll) {
    CosObj range = gPDModelHFT->PDPageLabelNew(host.doc, asAtomFromString("D"), "Black:", 6, 1);
    gPDModelHFT->PDDocSetPageLabel(host.doc, 0, range);
    char name[256];
    getSepInfoName(host.doc, name);
    EXPECT_STREQ(name, "Black");
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(text(w, "4"), "Black");
        ui::setText(ui::findControl(&w, "4"), "");
        ui::press(ui::findControl(&w, "Cancel"));
    });
    EXPECT_TRUE(addSepInfo(host.doc));
    EXPECT_EQ(label(0), "Black:1");
    // a name longer than 255 bytes is cut
    answer(std::string(300, 'x').c_str(), "Black");
    EXPECT_TRUE(addSepInfo(host.doc));
    EXPECT_EQ(label(0), std::string(255, 'x') + ":1");
}

}  // namespace

// The entry points the palette, the keys and the menu call work on the front document.
TEST_F(Position, EntryPointsTakeTheFrontDocument) {
    AVDoc av = gAcroViewHFT->AVDocOpenFromPDDoc(host.doc, "Template");
    ASSERT_NE(av, nullptr);
    ASSERT_EQ(getFrontPDDoc(), host.doc);
    pageFrame(host.page, 100, 500, 200, 100, 1);
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        ui::setText(ui::findControl(&w, "4"), "150 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    setPos();
    ui::setModalDriver([](ui::Window& w) {
        ui::setText(ui::findControl(&w, "4"), "5 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    doBleedRectDlg();
    auto f = frames(host.page);
    EXPECT_EQ(f[0].r.left, fx(150));
    EXPECT_EQ(f[0].r.top, fx(605));
    EXPECT_EQ(f[0].bleed.top, fx(5));
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "OK")); });
    setTrimBox(fxRect(10, 20, 30, 40));
    ASFixedRect box;
    ASSERT_TRUE(pdPageGetBox(host.page, "TrimBox", &box));
    EXPECT_EQ(box.right, fx(30));
    ui::setModalDriver([](ui::Window& w) {
        ui::setText(ui::findControl(&w, "4"), "Black");
        ui::press(ui::findControl(&w, "OK"));
    });
    EXPECT_TRUE(addSepInfo());
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "OK")); });
    size_t shown = alerts().size();
    addPages();
    EXPECT_EQ(alerts().size(), shown);  // no old moving marks: no message
    EXPECT_EQ(pdDocGetNumPages(host.doc), 2);
    char label[64];
    gPDModelHFT->PDDocGetLabelForPageNum(host.doc, 0, label, sizeof label);
    EXPECT_STREQ(label, "Black:1");
    for (PDPage p : held) pdPageReleasePDEContent(p);
    held.clear();
    pdPageRelease(host.page);
    host.page = nullptr;
    EXPECT_TRUE(gAcroViewHFT->AVDocClose(av, true));
    host.doc = nullptr;
}

namespace {

struct FrontSheet : SheetTest {
    AVDoc av = nullptr;
    void SetUp() override {
        getMarkParams() = MarkParams{};  // the dialog's check boxes as at start-up
        av = gAcroViewHFT->AVDocOpenFromPDDoc(host.doc, "Template");
        ASSERT_NE(av, nullptr);
        sheet(host.page, 800, 600);
        pageFrame(host.page, 100, 100, 200, 300, 1);
        pageFrame(host.page, 300, 100, 200, 300, 2);
    }
    void TearDown() override {
        for (PDPage p : held) pdPageReleasePDEContent(p);
        held.clear();
        pdPageRelease(host.page);
        host.page = nullptr;
        EXPECT_TRUE(gAcroViewHFT->AVDocClose(av, true));
        host.doc = nullptr;
    }
    int cutMarks() {
        int n = 0;
        for (const F& f : frames(host.page)) n += f.box == kBoxCutMark;
        return n;
    }
};

}  // namespace

TEST_F(FrontSheet, TheMarksDialogsSymmetricBoxDrawsTheMarksBetweenFrames) {
    selectAll(host.page);
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(w.name, "ADDMARKS");
        ui::Control* sym = ui::findControl(&w, "Symmetric");
        ASSERT_NE(sym, nullptr);
        EXPECT_EQ(sym->id, 10);
        ui::press(ui::findControl(&w, "OK"));
    });
    createMarks();
    EXPECT_EQ(cutMarks(), 12);  // the four between the frames are left out
    removeMarks(host.page, nullptr);
    ui::setModalDriver([](ui::Window& w) {
        ui::toggle(ui::findControl(&w, "Symmetric"), 1);
        ui::press(ui::findControl(&w, "OK"));
    });
    createMarks();
    EXPECT_EQ(cutMarks(), 16);  // every frame all its marks
    // the box keeps its state while the plug-in runs
    ui::setModalDriver([](ui::Window& w) {
        EXPECT_EQ(ui::findControl(&w, "Symmetric")->value, 1);
        ui::press(ui::findControl(&w, "Cancel"));
    });
    createMarks();
}

TEST_F(FrontSheet, ConfirmingTheMarksDialogAgainKeepsTheValuesShownRounded) {
    selectAll(host.page);
    // 0.25 pt shows as 0.09 mm; confirmed unchanged it stays 0.25 pt, however often
    for (int i = 0; i < 3; ++i) {
        ui::setModalDriver([](ui::Window& w) {
            EXPECT_EQ(text(w, "8"), "0.09 mm");
            ui::press(ui::findControl(&w, "Cancel"));
        });
        createMarks();
        ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "OK")); });
        createMarks();
        ASFixed len, dist, width;
        ASInt32 gray;
        loadMarkParams(&len, &dist, &width, &gray);
        EXPECT_EQ(width, 16384);
        EXPECT_EQ(len, 557314);
    }
    // a value typed anew is read as typed
    ui::setModalDriver([](ui::Window& w) {
        ui::setText(ui::findControl(&w, "8"), "0.5 pt");
        ui::press(ui::findControl(&w, "OK"));
    });
    createMarks();
    EXPECT_EQ(getMarkParams().width, fx(0.5));
}

TEST_F(FrontSheet, TheTrimBoxCommandIsOneUndoStep) {
    ASSERT_TRUE(host.page);
    PDPage second = gPDModelHFT->PDDocCreatePage(host.doc, 0, fxRect(0, 0, 595, 842));
    gPDModelHFT->PDPageSetBox(second, asAtomFromString("TrimBox"), fxRect(1, 2, 3, 4));
    ASInt32 before = gAcroViewHFT->AVDocGetNumUndos(av);
    ui::setModalDriver([](ui::Window& w) { ui::press(ui::findControl(&w, "OK")); });
    setTrimBox(fxRect(10, 20, 30, 40));
    ASFixedRect box;
    ASSERT_TRUE(pdPageGetBox(host.page, "TrimBox", &box));
    EXPECT_EQ(gAcroViewHFT->AVDocGetNumUndos(av), before + 1);
    // on every page: one step more
    ui::setModalDriver([](ui::Window& w) {
        ui::toggle(ui::findControl(&w, "Process all pages"), 1);
        ui::press(ui::findControl(&w, "OK"));
    });
    setTrimBox(fxRect(50, 60, 70, 80));
    ASSERT_TRUE(pdPageGetBox(second, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(50));
    ASSERT_TRUE(host.session().app().undo(av));
    ASSERT_TRUE(pdPageGetBox(second, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(1));  // its own box again
    ASSERT_TRUE(pdPageGetBox(host.page, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(10));
    ASSERT_TRUE(host.session().app().undo(av));
    EXPECT_FALSE(pdPageGetBox(host.page, "TrimBox", &box));  // it had none
    ASSERT_TRUE(host.session().app().redo(av));
    ASSERT_TRUE(pdPageGetBox(host.page, "TrimBox", &box));
    EXPECT_EQ(box.left, fx(10));
    pdPageRelease(second);
}
