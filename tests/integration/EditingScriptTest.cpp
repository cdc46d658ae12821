// Scripted editing sessions with the plug-in (tests/data/scripts/*.vx): the palette,
// clicks, drags, keys and undo on template sheets, run by vexa as a user would.
//
// Each script runs in a fresh home with a virtual clock. "${TMP}" in a script is a
// folder holding the sheets below.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
const fs::path kScripts = fs::path(VEXA_TEST_DATA) / "scripts";

QPDFObjectHandle frameDict(QPDF& q, int box, double l, double b, double r, double t) {
    auto d = QPDFObjectHandle::newDictionary();
    d.replaceKey("/boxnum", QPDFObjectHandle::newInteger(box));
    d.replaceKey("/left", QPDFObjectHandle::newReal(l, 2));
    d.replaceKey("/bottom", QPDFObjectHandle::newReal(b, 2));
    d.replaceKey("/right", QPDFObjectHandle::newReal(r, 2));
    d.replaceKey("/top", QPDFObjectHandle::newReal(t, 2));
    return q.makeIndirectObject(d);
}

QPDFObjectHandle box(double l, double b, double r, double t) {
    auto a = QPDFObjectHandle::newArray();
    for (double v : {l, b, r, t}) a.appendItem(QPDFObjectHandle::newReal(v, 2));
    return a;
}

QPDFObjectHandle page(QPDF& q, const std::string& content, QPDFObjectHandle resources, int rotate) {
    auto p = QPDFObjectHandle::newDictionary();
    p.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    p.replaceKey("/MediaBox", box(0, 0, 600, 800));
    if (rotate) p.replaceKey("/Rotate", QPDFObjectHandle::newInteger(rotate));
    p.replaceKey("/Resources", resources);
    p.replaceKey("/Contents", QPDFObjectHandle::newStream(&q, content));
    return q.makeIndirectObject(p);
}

// A template of two 600 x 800 sheets. Sheet 1: page frame 1 at (100 100 200 300)
// holding a placed page (a form of 100 x 200 drawn at its lower left), an empty page
// frame 2 at (300 100 400 300) with 3 mm bleed on every side, and a plain container at
// (100 500 200 600); the paper is (50 50 550 750). Sheet 2 is turned by 90 degrees,
// holds page frame 3 and has a TrimBox inset by 10, 20, 30 and 40 points (left,
// bottom, right, top).
void writeSheet(const std::string& path) {
    QPDF q;
    q.emptyPDF();
    auto form = QPDFObjectHandle::newStream(&q, "0.5 g 0 0 100 200 re f");
    auto fd = form.getDict();
    fd.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    fd.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    fd.replaceKey("/BBox", box(0, 0, 100, 200));
    fd.replaceKey("/Resources", QPDFObjectHandle::newDictionary());

    auto f1 = frameDict(q, 1, 100, 100, 200, 300);
    auto f2 = frameDict(q, 2, 300, 100, 400, 300);
    for (const char* k : {"/bl", "/bt", "/br", "/bb"})
        f2.replaceKey(k, QPDFObjectHandle::newReal(72 * 3 / 25.4, 4));
    auto f0 = frameDict(q, 0, 100, 500, 200, 600);
    auto props = QPDFObjectHandle::newDictionary();
    props.replaceKey("/P1", f1);
    props.replaceKey("/P2", f2);
    props.replaceKey("/P0", f0);
    auto xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Fm1", form);
    auto res1 = QPDFObjectHandle::newDictionary();
    res1.replaceKey("/Properties", props);
    res1.replaceKey("/XObject", xobjects);
    auto p1 = page(q,
                   "/Vexa /P1 BDC q 1 0 0 1 100 100 cm /Fm1 Do Q EMC\n"
                   "/Vexa /P2 BDC EMC\n"
                   "/Vexa /P0 BDC 0 g 120 520 50 50 re f EMC\n",
                   res1, 0);

    auto props2 = QPDFObjectHandle::newDictionary();
    props2.replaceKey("/P3", frameDict(q, 3, 100, 100, 200, 300));
    auto res2 = QPDFObjectHandle::newDictionary();
    res2.replaceKey("/Properties", props2);
    auto p2 = page(q, "/Vexa /P3 BDC EMC\n", res2, 90);
    p2.replaceKey("/TrimBox", box(10, 20, 570, 760));

    QPDFPageDocumentHelper pages(q);
    pages.addPage(p1, false);
    pages.addPage(p2, false);
    auto tmpl = QPDFObjectHandle::newDictionary();
    tmpl.replaceKey("/PaperRect", box(50, 50, 500, 700));  // x y w h
    q.getRoot().replaceKey("/Vexa", tmpl);
    auto info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Creator", QPDFObjectHandle::newString("Vexa 6.17"));
    q.getTrailer().replaceKey("/Info", q.makeIndirectObject(info));
    QPDFWriter w(q, path.c_str());
    w.write();
}

// A plain document of two pages with a TrimBox inset by 10 points on page 1.
void writePlain(const std::string& path) {
    QPDF q;
    q.emptyPDF();
    auto p1 = page(q, "0 g 100 100 50 50 re f", QPDFObjectHandle::newDictionary(), 0);
    p1.replaceKey("/TrimBox", box(10, 20, 590, 780));
    auto p2 = page(q, "", QPDFObjectHandle::newDictionary(), 0);
    QPDFPageDocumentHelper pages(q);
    pages.addPage(p1, false);
    pages.addPage(p2, false);
    QPDFWriter w(q, path.c_str());
    w.write();
}

struct EditingScripts : ::testing::Test {
    void SetUp() override {
        writeSheet(dir.file("sheet.pdf"));
        writePlain(dir.file("plain.pdf"));
    }

    // Runs the script; returns its output, failing the test when the run fails.
    std::string run(const std::string& name) {
        std::string text = vexa::test::readFile((kScripts / name).string());
        for (std::size_t at; (at = text.find("${TMP}")) != std::string::npos;)
            text.replace(at, 6, dir.path().string());
        std::string path = dir.file(name);
        vexa::test::writeFile(path, text);
        std::string out;
        int rc = vexa::test::runCommand(
            kVexa + " --language ENU run --virtual-clock " + path + " 2>&1", &out);
        EXPECT_EQ(rc, 0) << name << ":\n" << out;
        // VEXA_SHOW_OUTPUT=1 shows what a passing script printed (print-frames, ...).
        if (std::getenv("VEXA_SHOW_OUTPUT")) std::printf("%s", out.c_str());
        return out;
    }

    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
};

}  // namespace

TEST_F(EditingScripts, PaletteControlsAndFields) {
    run("palette.vx");
}

TEST_F(EditingScripts, SelectingByClicksAndRubberBands) {
    run("select.vx");
}

TEST_F(EditingScripts, DraggingFrames) {
    run("drag.vx");
}

TEST_F(EditingScripts, KeyCommands) {
    run("keys.vx");
}

TEST_F(EditingScripts, UndoAndRedo) {
    run("undo.vx");
}

TEST_F(EditingScripts, SheetCommandsFromKeysAndPalette) {
    run("sheets.vx");
    // The saved file: two sheets labelled "Cyan:1" and "Cyan:2" with a separation
    // dictionary naming the colorant and the page itself, and their two copies.
    QPDF q;
    q.processFile(dir.file("out.pdf").c_str());
    auto pages = QPDFPageDocumentHelper(q).getAllPages();
    ASSERT_EQ(pages.size(), 4u);
    QPDFPageLabelDocumentHelper labels(q);
    for (int i = 0; i < 2; ++i) {
        auto label = labels.getLabelForPage(i);
        EXPECT_EQ(label.getKey("/P").getUTF8Value(), "Cyan:");
        EXPECT_EQ(label.getKey("/St").getIntValueAsInt(), i + 1);
        auto sep = pages[i].getObjectHandle().getKey("/SeparationInfo");
        ASSERT_TRUE(sep.isDictionary()) << "page " << i + 1;
        EXPECT_EQ(sep.getKey("/DeviceColorant").getName(), "/Cyan");
        auto own = sep.getKey("/Pages");
        ASSERT_TRUE(own.isIndirect());
        ASSERT_EQ(own.getArrayNItems(), 1);
        EXPECT_EQ(own.getArrayItem(0).getObjGen(), pages[i].getObjectHandle().getObjGen());
    }
}
