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

#include "TestSupport.h"

namespace fs = std::filesystem;

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

// An 8-bit gray image (tiffsep plates uncompressed, or pdftoppm PGM).
struct Gray {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    uint8_t at(double fx, double fy) const {  // fractions of width and height from top left
        int x = std::clamp(static_cast<int>(fx * w), 0, w - 1);
        int y = std::clamp(static_cast<int>(fy * h), 0, h - 1);
        return px[static_cast<size_t>(y * w + x)];
    }
    // darkest pixel in a small box around the point
    uint8_t darkest(double fx, double fy, int radius = 1) const {
        int cx = static_cast<int>(fx * w), cy = static_cast<int>(fy * h);
        uint8_t m = 255;
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x)
                if (x >= 0 && y >= 0 && x < w && y < h)
                    m = std::min(m, px[static_cast<size_t>(y * w + x)]);
        return m;
    }
};

Gray readPGM(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxv;
    Gray g;
    in >> magic >> g.w >> g.h >> maxv;
    in.get();
    g.px.resize(static_cast<size_t>(g.w * g.h));
    in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size()));
    return g;
}

// Minimal reader of the little-endian, uncompressed 8-bit plates tiffsep writes.
// Plates are written black-is-zero: 0 is full ink, 255 none.
Gray readPlate(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t o) { return static_cast<uint32_t>(d[o] | d[o + 1] << 8); };
    auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
    Gray g;
    if (d.size() < 8) return g;
    size_t ifd = u32(4);
    uint32_t n = u16(ifd), offsets = 0, offType = 0, count = 0;
    for (uint32_t i = 0; i < n; ++i) {
        size_t e = ifd + 2 + 12 * i;
        uint32_t tag = u16(e), type = u16(e + 2), cnt = u32(e + 4);
        uint32_t val = type == 3 ? u16(e + 8) : u32(e + 8);
        if (tag == 256) g.w = static_cast<int>(val);
        if (tag == 257) g.h = static_cast<int>(val);
        if (tag == 273) {
            offsets = val;
            offType = type;
            count = cnt;
        }
    }
    g.px.assign(static_cast<size_t>(g.w * g.h), 255);
    std::vector<uint32_t> strips;
    if (count == 1)
        strips.push_back(offsets);
    else
        for (uint32_t i = 0; i < count; ++i)
            strips.push_back(offType == 3 ? u16(offsets + 2 * i) : u32(offsets + 4 * i));
    // strips are contiguous rows; read them in order
    size_t pos = 0;
    for (size_t s = 0; s < strips.size() && pos < g.px.size(); ++s) {
        size_t start = strips[s];
        size_t len = (s + 1 < strips.size()) ? strips[s + 1] - start : g.px.size() - pos;
        for (size_t k = 0; k < len && pos < g.px.size() && start + k < d.size(); ++k)
            g.px[pos++] = d[start + k];
    }
    return g;
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
