// The bundled templates as built by the build: frames, numbers, rotation, marks, job
// information, version stamp, and what their sheets look like when printed.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Plates.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using vexa::test::Gray;
using vexa::test::readPGM;
using vexa::test::readPlate;

namespace {

const fs::path kTemplates = fs::path(VEXA_BIN_DIR) / "plug_ins" / "Vexa" / "templates";

struct Frame {
    int box;
    double l, b, r, t;
    int rotation;
};

double num(QPDFObjectHandle d, const char* key) {
    QPDFObjectHandle v = d.getKey(key);
    return v.isNumber() ? v.getNumericValue() : 0;
}

std::vector<std::vector<Frame>> framesOf(const fs::path& file, std::string* creator = nullptr,
                                         bool* templateDict = nullptr) {
    QPDF pdf;
    pdf.processFile(file.c_str());
    if (creator) *creator = pdf.getTrailer().getKey("/Info").getKey("/Creator").getUTF8Value();
    if (templateDict) *templateDict = pdf.getRoot().hasKey("/Vexa");
    std::vector<std::vector<Frame>> pages;
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        std::vector<Frame> frames;
        QPDFObjectHandle props = page.getObjectHandle().getKey("/Resources").getKey("/Properties");
        if (props.isDictionary())
            for (auto& [name, d] : props.ditems()) {
                if (!d.isDictionary() || !d.hasKey("/boxnum")) continue;
                frames.push_back({static_cast<int>(num(d, "/boxnum")), num(d, "/left"),
                                  num(d, "/bottom"), num(d, "/right"), num(d, "/top"),
                                  static_cast<int>(num(d, "/rotation"))});
            }
        std::sort(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) {
            return a.b != b.b ? a.b < b.b : a.l < b.l;
        });
        pages.push_back(frames);
    }
    return pages;
}

std::vector<Frame> pageFrames(const std::vector<Frame>& all) {
    std::vector<Frame> out;
    for (auto& f : all)
        if (f.box >= 1) out.push_back(f);
    return out;
}
int countBox(const std::vector<Frame>& all, int box) {
    return static_cast<int>(
        std::count_if(all.begin(), all.end(), [&](auto& f) { return f.box == box; }));
}

bool near(double a, double b) {
    return std::abs(a - b) < 0.05;
}
const double kMM = 72 / 25.4;

TEST(TemplateBuild, BookletFramesMarksAndJobInformation) {
    std::string creator;
    bool dict = false;
    auto pages = framesOf(kTemplates / "Booklet_2up_A4.pdf", &creator, &dict);
    EXPECT_EQ(creator, "Vexa 6.17");
    EXPECT_TRUE(dict);
    ASSERT_EQ(pages.size(), 2u);
    const int expected[2][2] = {{4, 1}, {2, 3}};
    for (int p = 0; p < 2; ++p) {
        auto f = pageFrames(pages[static_cast<size_t>(p)]);
        ASSERT_EQ(f.size(), 2u);
        EXPECT_EQ(f[0].box, expected[p][0]);
        EXPECT_EQ(f[1].box, expected[p][1]);
        EXPECT_NEAR(f[0].l, 15 * kMM, 0.01);
        EXPECT_NEAR(f[1].l, 225 * kMM, 0.01);
        EXPECT_NEAR(f[0].b, 26.5 * kMM, 0.01);
        EXPECT_NEAR(f[0].r - f[0].l, 210 * kMM, 0.01);
        EXPECT_EQ(countBox(pages[static_cast<size_t>(p)], -1), 1);
        EXPECT_EQ(countBox(pages[static_cast<size_t>(p)], -4), 12);  // none between the frames
    }
}

TEST(TemplateBuild, SignatureReadsOneToSixteenAfterFolding) {
    auto pages = framesOf(kTemplates / "Signature_16_A4.pdf");
    ASSERT_EQ(pages.size(), 2u);
    const int expected[2][8] = {{4, 13, 16, 1, 5, 12, 9, 8}, {2, 15, 14, 3, 7, 10, 11, 6}};
    std::vector<int> all;
    for (int p = 0; p < 2; ++p) {
        auto f = pageFrames(pages[static_cast<size_t>(p)]);
        ASSERT_EQ(f.size(), 8u);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(f[static_cast<size_t>(i)].box, expected[p][i])
                << "page " << p << " frame " << i;
            EXPECT_EQ(f[static_cast<size_t>(i)].rotation, i < 4 ? 0 : 180);
            EXPECT_TRUE(near(f[static_cast<size_t>(i)].r - f[static_cast<size_t>(i)].l, 595.28));
            EXPECT_TRUE(near(f[static_cast<size_t>(i)].t - f[static_cast<size_t>(i)].b, 841.89));
            all.push_back(f[static_cast<size_t>(i)].box);
        }
        EXPECT_EQ(countBox(pages[static_cast<size_t>(p)], -1), 1);
    }
    std::sort(all.begin(), all.end());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(all[static_cast<size_t>(i)], i + 1);
}

TEST(TemplateBuild, StepAndRepeatIsAllBoxOne) {
    auto pages = framesOf(kTemplates / "StepRepeat_8up_A4.pdf");
    ASSERT_EQ(pages.size(), 1u);
    auto f = pageFrames(pages[0]);
    ASSERT_EQ(f.size(), 8u);
    for (auto& x : f) EXPECT_EQ(x.box, 1);
}

TEST(TemplateBuild, TemplatesPassTheStructureCheck) {
    for (const char* name :
         {"Booklet_2up_A4.pdf", "Signature_16_A4.pdf", "StepRepeat_8up_A4.pdf"}) {
        std::string out;
        EXPECT_EQ(
            vexa::test::runCommand("qpdf --check '" + (kTemplates / name).string() + "'", &out), 0)
            << name << ": " << out;
    }
}

TEST(TemplateBuild, BookletRenderingShowsTrimLinesAndMarks) {
    vexa::test::TempDir dir;
    fs::path base = dir.path() / "bk";
    ASSERT_EQ(vexa::test::runCommand("pdftoppm -r 36 -gray -f 1 -l 1 '" +
                                     (kTemplates / "Booklet_2up_A4.pdf").string() + "' '" +
                                     base.string() + "'"),
              0);
    fs::path pgm;
    for (auto& e : fs::directory_iterator(dir.path())) pgm = e.path();
    Gray g = readPGM(pgm);
    ASSERT_GT(g.w, 0);
    const double W = 450, H = 350;
    // the left frame's left trim line at 15 mm, half way up; the centre line at 225 mm
    EXPECT_LT(g.darkest(15 / W, 0.5), 128);
    EXPECT_LT(g.darkest(225 / W, 0.5), 128);
    EXPECT_GT(g.at(120 / W, 0.5), 250);  // inside a frame: empty
    // a cut mark left of the left frame at the trim top: from 9 to 12 mm, 26.5 + 297 mm up
    EXPECT_LT(g.darkest(10.5 / W, (H - 323.5) / H), 160);
    EXPECT_GT(g.at(5 / W, 0.5), 250);
}

TEST(TemplateBuild, MarksOnEveryPlateTrimLinesOnTheirOwn) {
    vexa::test::TempDir dir;
    fs::path out = dir.path() / "sep.tif";
    ASSERT_EQ(vexa::test::runCommand("gs -q -dNOPAUSE -dBATCH -sDEVICE=tiffsep -r36 "
                                     "-sCompression=none -dFirstPage=1 -dLastPage=1 "
                                     "-sOutputFile='" +
                                     out.string() + "' '" +
                                     (kTemplates / "Booklet_2up_A4.pdf").string() + "'"),
              0);
    const double W = 450, H = 350;
    for (const char* plate : {"Cyan", "Magenta", "Yellow", "Black", "TL"}) {
        Gray g = readPlate(dir.path() / (std::string("sep(") + plate + ").tif"));
        ASSERT_GT(g.w, 0) << plate;
        // the cut mark ("All") prints on every plate
        EXPECT_LT(g.darkest(10.5 / W, (H - 323.5) / H), 160) << plate;
        EXPECT_GT(g.at(5 / W, 0.5), 250) << plate;  // paper
        // the trim line between the frames only on its own plate
        uint8_t trim = g.darkest(225 / W, 0.5);
        if (std::string(plate) == "TL")
            EXPECT_LT(trim, 128);
        else
            EXPECT_GT(trim, 250) << plate;
    }
}

}  // namespace
