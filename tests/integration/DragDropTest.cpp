// Dropped files and the context menu in scripted sessions of the vexa program: the
// scripts in tests/data/scripts act as the user, the files they leave are read back
// here (frames, markers, renderings, optimized copies).
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
const std::string kScripts = std::string(VEXA_TEST_DATA) + "/scripts/";

using vexa::test::sourceFile;
using vexa::test::templateFile;

struct Frame {
    int box;
    double left, bottom, right, top;
};

std::vector<Frame> framesOf(QPDFObjectHandle page) {
    std::vector<Frame> out;
    QPDFObjectHandle props = page.getKey("/Resources").getKey("/Properties");
    if (!props.isDictionary()) return out;
    for (auto& [name, d] : props.ditems()) {
        if (!d.isDictionary() || !d.hasKey("/top")) continue;
        auto num = [&](const char* k) {
            QPDFObjectHandle v = d.getKey(k);
            return v.isNumber() ? v.getNumericValue() : 0.0;
        };
        out.push_back({static_cast<int>(num("/boxnum")), num("/left"), num("/bottom"),
                       num("/right"), num("/top")});
    }
    return out;
}

std::string contentOf(QPDFObjectHandle page) {
    std::string all;
    for (auto& s : QPDFPageObjectHelper(page).getPageContents()) {
        auto data = s.getStreamData(qpdf_dl_generalized);
        all.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        all += "\n";
    }
    return all;
}

struct DragDrop : ::testing::Test {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;

    void SetUp() override {
        writeFile(dir.file("template.pdf"), templateFile());
        writeFile(dir.file("two.PDF"), sourceFile());
        writeFile(dir.file("broken.pdf"), "this is no PDF file\n");
        fs::create_directories(dir.path() / "tmp");
    }

    void settings(const std::string& text) {
        fs::path ini = home.path() / "config" / "Orvanta" / "Vexa.ini";
        fs::create_directories(ini.parent_path());
        writeFile(ini.string(), "[General]\nVisible=0\n" + text);
    }

    // Runs a script of tests/data/scripts with ${TMP} as this test's folder.
    int run(const std::string& name, std::string* out) {
        std::string text = readFile(kScripts + name);
        for (std::size_t at; (at = text.find("${TMP}")) != std::string::npos;)
            text.replace(at, 6, dir.path().string());
        std::string script = dir.file(name);
        writeFile(script, text);
        return runCommand("TMPDIR=" + dir.file("tmp") + " " + kVexa +
                              " --language ENU run --virtual-clock " + script + " 2>&1",
                          out);
    }
};

}  // namespace

TEST_F(DragDrop, DroppedFilesFillFramesAndLandOnFreeSpace) {
    settings("DlgUnits=3\nDragDrop=0\n");
    std::string out;
    ASSERT_EQ(run("drop.vx", &out), 0) << out;
    std::string result = dir.file("dropped.pdf");
    EXPECT_EQ(runCommand("qpdf --check " + result + " >/dev/null"), 0);
    QPDF pdf;
    pdf.processFile(result.c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 2u);  // the page used for importing is gone again

    // Sheet 1: frame 1 with page 1 placed, and a free frame (box 0) whose TrimBox
    // corner lies at (450.3, 200.7) snapped to whole millimetres (158 mm, 70 mm).
    std::vector<Frame> f = framesOf(pages[0].getObjectHandle());
    ASSERT_EQ(f.size(), 2u);
    const Frame* free = f[0].box == 0 ? &f[0] : &f[1];
    const Frame* one = f[0].box == 1 ? &f[0] : &f[1];
    EXPECT_EQ(one->box, 1);
    EXPECT_NEAR(free->left, 158 * 72 / 25.4 - 10, 0.001);
    EXPECT_NEAR(free->bottom, 70 * 72 / 25.4 - 10, 0.001);
    EXPECT_NEAR(free->right - free->left, 200, 0.001);
    EXPECT_NEAR(free->top - free->bottom, 300, 0.001);
    EXPECT_EQ(pages[0].getFormXObjects().size(), 2u);
    EXPECT_EQ(contentOf(pages[0].getObjectHandle()).find("/TrimFrame"), std::string::npos);

    // Sheet 2: frame 3 has no page 3 to take: the empty-frame marker, no form.
    std::string sheet2 = contentOf(pages[1].getObjectHandle());
    EXPECT_NE(sheet2.find("/TrimFrame"), std::string::npos) << sheet2;
    EXPECT_TRUE(pages[1].getFormXObjects().empty());
}

TEST_F(DragDrop, AFreePageRendersAtTheDropPointAsItsSource) {
    // Whole points: the TrimBox corner lands on (500, 100), on whole pixels.
    settings("DlgUnits=1\n");
    std::string script = "open " + dir.file("template.pdf") + "\ndrop " + dir.file("two.PDF") +
                         " 500.3 100.4\nticks 6\nexpect-no-alert\nsave " + dir.file("free.pdf") +
                         "\n";
    writeFile(dir.file("free.vx"), script);
    std::string out;
    ASSERT_EQ(runCommand(kVexa + " run --virtual-clock " + dir.file("free.vx") + " 2>&1", &out), 0)
        << out;
    // At 144 dpi the source's TrimBox (10..190 x 10..290 of 200 x 300) and the same area
    // of the sheet (500..680 x 100..380 of 842 x 595).
    auto crop = [&](const std::string& pdf, int x, int y, const std::string& name) {
        std::string base = dir.file(name);
        EXPECT_EQ(runCommand("pdftoppm -r 144 -singlefile -f 1 -l 1 -x " + std::to_string(x) +
                             " -y " + std::to_string(y) + " -W 360 -H 560 " + pdf + " " + base),
                  0);
        return readFile(base + ".ppm");
    };
    std::string src = crop(dir.file("two.PDF"), 20, 20, "src");
    std::string placed = crop(dir.file("free.pdf"), 1000, (595 - 380) * 2, "placed");
    ASSERT_FALSE(src.empty());
    EXPECT_TRUE(src == placed);
    EXPECT_EQ(runCommand("qpdf --check " + dir.file("free.pdf") + " >/dev/null"), 0);
}

TEST_F(DragDrop, TheContextMenuOffersTheCommandsOfThePlaceClicked) {
    settings("DlgUnits=1\n");
    std::string out;
    ASSERT_EQ(run("context-menu.vx", &out), 0) << out;
    QPDF pdf;
    pdf.processFile(dir.file("menu.pdf").c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    bool textFrame = false;
    for (const Frame& f : framesOf(pages[0].getObjectHandle()))
        if (f.box == -9) {
            textFrame = true;
            EXPECT_NEAR(f.left, 600, 0.01);
            EXPECT_NEAR(f.bottom, 300, 0.01);
        }
    EXPECT_TRUE(textFrame);
    EXPECT_NE(contentOf(pages[0].getObjectHandle()).find("(Job 4711)"), std::string::npos);
}

TEST_F(DragDrop, SaveOptimizedCopiesIntoThePresetsFolder) {
    std::string job = templateFile();
    writeFile(dir.file("Job.pdf"), job);
    for (const char* d : {"out", "std", "blocked/Job_O.pdf"})
        fs::create_directories(dir.path() / d);
    writeFile(dir.file("out/Job_O.pdf"), "an older file");
    settings("DlgUnits=3\n[SaveOptimized]\nFastest=" + dir.file("out") +
             "\nSmallest=" + dir.file("missing") + "\nWeb=" + dir.file("out") +
             "\nStandard=" + dir.file("std") + "\nSmallest=" + dir.file("blocked") + "\n");
    std::string out;
    ASSERT_EQ(run("save-optimized.vx", &out), 0) << out;

    // Web: linearized, replacing the older file; the temporary copy is gone.
    std::string web = dir.file("out/Job_O.pdf");
    EXPECT_EQ(runCommand("qpdf --check " + web + " >/dev/null"), 0);
    auto linearized = [](const std::string& file) {
        QPDF pdf;
        pdf.processFile(file.c_str());
        return pdf.isLinearized();
    };
    EXPECT_TRUE(linearized(web));
    EXPECT_NE(readFile(web), "an older file");
    // Standard: object streams, not linearized.
    std::string standard = dir.file("std/Job_O.pdf");
    EXPECT_EQ(runCommand("qpdf --check " + standard + " >/dev/null"), 0);
    EXPECT_FALSE(linearized(standard));
    // The copy that failed left the optimized file in the temporary folder.
    EXPECT_TRUE(fs::is_directory(dir.file("blocked/Job_O.pdf")));
    // Successful copies leave nothing behind in the temporary folder.
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
    // The document itself is untouched: its file is the template as it was.
    EXPECT_EQ(readFile(dir.file("Job.pdf")), job);

    // The last save came from a document with a dropped page: the copy holds it, and
    // so does the document, which stayed open.
    for (const std::string& file : {standard, dir.file("kept.pdf")}) {
        QPDF pdf;
        pdf.processFile(file.c_str());
        auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
        int freeFrames = 0;
        for (const Frame& f : framesOf(pages[0].getObjectHandle())) freeFrames += f.box == 0;
        EXPECT_EQ(freeFrames, 1) << file;
    }
}
