// The bundled templates as the build makes them (scripted sessions in templates/*.vx):
// frames, numbers, rotation, bleed, marks, job information, version stamp, what their
// sheets look like when printed, and what imposing into them gives.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "Plates.h"
#include "TemplateChecks.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using vexa::host::layout::Rect;
using vexa::test::Gray;
using vexa::test::readPGM;
using vexa::test::readPlate;
using vexa::test::sheetWords;
using vexa::test::Word;

namespace {

const fs::path kTemplates = fs::path(VEXA_BIN_DIR) / "plug_ins" / "Vexa" / "templates";

// The eight-up sheets: 1000 x 700 mm, A4 cells edge to edge from (80 mm, 53 mm).
const double kSheetW = 2834.6457, kSheetH = 1984.2520;
const double kCellsX = 80 * 72 / 25.4, kCellsY = 53 * 72 / 25.4;
const double kCellW = 595.28, kCellH = 841.89;

struct Frame {
    int box;
    double l, b, r, t;
    int rotation;
    double bleed[4];   // left, top, right, bottom
    std::string desc;  // a job-information frame's items
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
                Frame f{static_cast<int>(num(d, "/boxnum")),
                        num(d, "/left"),
                        num(d, "/bottom"),
                        num(d, "/right"),
                        num(d, "/top"),
                        static_cast<int>(num(d, "/rotation")),
                        {num(d, "/bl"), num(d, "/bt"), num(d, "/br"), num(d, "/bb")},
                        d.getKey("/desc").isString() ? d.getKey("/desc").getUTF8Value() : ""};
                frames.push_back(f);
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
const Frame* findBox(const std::vector<Frame>& all, int box) {
    for (auto& f : all)
        if (f.box == box) return &f;
    return nullptr;
}

// The page frames have no bleed: the frame is the trim.
void expectNoBleed(const std::vector<Frame>& frames) {
    for (auto& f : frames)
        for (double b : f.bleed) EXPECT_EQ(b, 0) << "box " << f.box;
}

bool near(double a, double b) {
    return std::abs(a - b) < 0.05;
}
const double kMM = 72 / 25.4;

// Every sheet: one job-information frame, 100 x 4 mm with its lower left corner at
// (x, y) mm, with the items asked for; the trim-lines layer over the whole sheet.
void expectSheetFurniture(const std::vector<Frame>& all, const char* desc, double w, double h,
                          double x = 2, double y = 2) {
    ASSERT_EQ(countBox(all, -1), 1);
    const Frame& j = *findBox(all, -1);
    EXPECT_NEAR(j.l, x * kMM, 0.01);
    EXPECT_NEAR(j.b, y * kMM, 0.01);
    EXPECT_NEAR(j.r - j.l, 100 * kMM, 0.01);
    EXPECT_NEAR(j.t - j.b, 4 * kMM, 0.01);
    EXPECT_EQ(j.desc, desc);
    ASSERT_EQ(countBox(all, -6), 1);
    const Frame& t = *findBox(all, -6);
    EXPECT_TRUE(near(t.l, 0) && near(t.b, 0) && near(t.r, w) && near(t.t, h))
        << t.l << " " << t.b << " " << t.r << " " << t.t;
}

TEST(TemplateBuild, BookletFramesMarksAndJobInformation) {
    std::string creator;
    bool dict = false;
    auto pages = framesOf(kTemplates / "Booklet_2up_A4.pdf", &creator, &dict);
    EXPECT_EQ(creator, "Vexa 6.17");
    EXPECT_TRUE(dict);
    ASSERT_EQ(pages.size(), 2u);
    const int expected[2][2] = {{4, 1}, {2, 3}};
    for (int p = 0; p < 2; ++p) {
        const auto& all = pages[static_cast<size_t>(p)];
        auto f = pageFrames(all);
        ASSERT_EQ(f.size(), 2u);
        EXPECT_EQ(f[0].box, expected[p][0]);
        EXPECT_EQ(f[1].box, expected[p][1]);
        EXPECT_NEAR(f[0].l, 15 * kMM, 0.01);
        EXPECT_NEAR(f[1].l, 225 * kMM, 0.01);
        for (auto& x : f) {
            EXPECT_NEAR(x.b, 26.5 * kMM, 0.01);
            EXPECT_NEAR(x.r - x.l, 210 * kMM, 0.01);
            EXPECT_NEAR(x.t - x.b, 297 * kMM, 0.01);
            EXPECT_EQ(x.rotation, 0);
        }
        expectNoBleed(f);
        // the slug line above a 10 mm gripper margin and below the marks, with the file
        // and the template name
        expectSheetFurniture(all, "sntdcfpv", 450 * kMM, 350 * kMM, 15, 12);
        // Cut marks at the four outer corners of the pair: none between the frames;
        // registration marks beside the pair, none between the frames either.
        EXPECT_EQ(countBox(all, -4), 12);
        EXPECT_EQ(countBox(all, -2), 4);
        for (auto& m : all) {
            if (m.box != -4 && m.box != -2) continue;
            EXPECT_GT(m.b, 16 * kMM) << "mark over the slug line or the gripper margin";
            bool outside =
                m.r < 15 * kMM || m.l > 435 * kMM || m.t < 26.5 * kMM || m.b > 323.5 * kMM;
            EXPECT_TRUE(outside) << "mark at " << m.l << " " << m.b;
        }
    }
}

TEST(TemplateBuild, SignatureReadsOneToSixteenAfterFolding) {
    bool dict = false;
    std::string creator;
    auto pages = framesOf(kTemplates / "Signature_16_A4.pdf", &creator, &dict);
    EXPECT_EQ(creator, "Vexa 6.17");
    EXPECT_TRUE(dict);
    ASSERT_EQ(pages.size(), 2u);
    const int expected[2][8] = {{4, 13, 16, 1, 5, 12, 9, 8}, {2, 15, 14, 3, 7, 10, 11, 6}};
    std::vector<int> all;
    for (int p = 0; p < 2; ++p) {
        auto f = pageFrames(pages[static_cast<size_t>(p)]);
        ASSERT_EQ(f.size(), 8u);
        for (int i = 0; i < 8; ++i) {
            const Frame& x = f[static_cast<size_t>(i)];
            EXPECT_EQ(x.box, expected[p][i]) << "page " << p << " frame " << i;
            EXPECT_EQ(x.rotation, i < 4 ? 0 : 180);
            EXPECT_TRUE(near(x.r - x.l, kCellW));
            EXPECT_TRUE(near(x.t - x.b, kCellH));
            // bottom row first, left to right, edge to edge, in the middle of the sheet
            EXPECT_TRUE(near(x.l, kCellsX + (i % 4) * kCellW)) << x.l;
            EXPECT_TRUE(near(x.b, kCellsY + (i / 4) * kCellH)) << x.b;
            all.push_back(x.box);
        }
        expectNoBleed(f);
        // the slug line below the marks, above the gripper margin, with the file and the
        // template name
        const auto& frames = pages[static_cast<size_t>(p)];
        expectSheetFurniture(frames, "sntdcfpv", kSheetW, kSheetH, 80, 34);
        // cut marks at the outer edges of the block (none between the pages: they meet at
        // folds and heads), registration marks beside it, fold marks at the three folds
        // between the columns and the one between the rows
        EXPECT_EQ(countBox(frames, -4), 24);
        EXPECT_EQ(countBox(frames, -2), 8);
        EXPECT_EQ(countBox(frames, -7), 8);
    }
    std::sort(all.begin(), all.end());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(all[static_cast<size_t>(i)], i + 1);
}

TEST(TemplateBuild, StepAndRepeatIsAllBoxOne) {
    std::string creator;
    auto pages = framesOf(kTemplates / "StepRepeat_8up_A4.pdf", &creator);
    EXPECT_EQ(creator, "Vexa 6.17");
    ASSERT_EQ(pages.size(), 1u);
    auto f = pageFrames(pages[0]);
    ASSERT_EQ(f.size(), 8u);
    for (size_t i = 0; i < f.size(); ++i) {
        EXPECT_EQ(f[i].box, 1);
        EXPECT_EQ(f[i].rotation, 0);
        EXPECT_TRUE(near(f[i].l, kCellsX + static_cast<double>(i % 4) * kCellW)) << f[i].l;
        EXPECT_TRUE(near(f[i].b, kCellsY + static_cast<double>(i / 4) * kCellH)) << f[i].b;
    }
    expectNoBleed(f);
    expectSheetFurniture(pages[0], "sntdcfv", kSheetW, kSheetH, 80, 34);
    EXPECT_EQ(countBox(pages[0], -4), 24);
    EXPECT_EQ(countBox(pages[0], -2), 8);
}

// Every bundled template: its pages inside the sheet less a 10 mm gripper margin at the
// bottom, cut and registration marks outside every page's trim and bleed and clear of
// each other, and the slug line on the sheet, outside every bleed and clear of the marks.
TEST(TemplateBuild, EveryBundledTemplateKeepsMarksAndSlugLineClear) {
    int checked = 0;
    fs::path scripts = fs::path(VEXA_TEST_DATA).parent_path().parent_path() / "templates";
    for (const auto& e : fs::directory_iterator(scripts)) {
        if (e.path().extension() != ".vx") continue;
        std::string name = e.path().stem().string();
        SCOPED_TRACE(name);
        ++checked;
        vexa::host::TemplateInfo info =
            vexa::host::readTemplate((kTemplates / (name + ".pdf")).string());
        ASSERT_FALSE(info.sheets.empty());
        for (const auto& sheet : info.sheets) {
            Rect printable{0, 10 * 72 * 65536 * 10 / 254, sheet.width, sheet.height};
            int cut = 0, registration = 0;
            for (const auto& f : sheet.frames) {
                if (f.box >= 1) {
                    EXPECT_TRUE(vexa::test::inside(f.rect, printable));
                }
                cut += f.box == -4;
                registration += f.box == -2;
            }
            EXPECT_GT(cut, 0);
            EXPECT_GT(registration, 0);
            vexa::test::expectClearSheet(sheet, printable, true);
        }
    }
    EXPECT_EQ(checked, 3);
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

// The build runs each session in a home of its own: the settings its dialogs saved and
// its log are there, not in the home of whoever builds.
TEST(TemplateBuild, SessionsKeepTheirSettingsAtHome) {
    fs::path homes = fs::path(VEXA_BIN_DIR).parent_path() / "template-homes";
    for (const char* name : {"Booklet_2up_A4", "Signature_16_A4", "StepRepeat_8up_A4"}) {
        fs::path home = homes / name;
        EXPECT_TRUE(fs::is_regular_file(home / "Documents" / "Orvanta" / "Vexa.txt")) << name;
        std::string ini = vexa::test::readFile((home / "config" / "Orvanta" / "Vexa.ini").string());
        // the new-sheet dialog's answers
        EXPECT_NE(ini.find("[Doc]"), std::string::npos) << name << ":\n" << ini;
        EXPECT_NE(ini.find("JobInfo=1"), std::string::npos) << name << ":\n" << ini;
        if (std::string(name) == "Booklet_2up_A4") {
            EXPECT_NE(ini.find("Dist=557314"), std::string::npos) << ini;  // 3 mm
        }
    }
}

// Renders one sheet of a template in gray at 36 dpi.
Gray renderSheet(const vexa::test::TempDir& dir, const char* name, int sheet) {
    fs::path base = dir.path() / ("r" + std::to_string(sheet));
    EXPECT_EQ(vexa::test::runCommand("pdftoppm -r 36 -gray -singlefile -f " +
                                     std::to_string(sheet) + " -l " + std::to_string(sheet) + " '" +
                                     (kTemplates / name).string() + "' '" + base.string() + "'"),
              0);
    return readPGM(base.string() + ".pgm");
}

TEST(TemplateBuild, BookletRenderingShowsTrimLinesAndMarks) {
    vexa::test::TempDir dir;
    const double W = 450, H = 350;
    for (int sheet : {1, 2}) {
        SCOPED_TRACE("sheet " + std::to_string(sheet));
        Gray g = renderSheet(dir, "Booklet_2up_A4.pdf", sheet);
        ASSERT_GT(g.w, 0);
        // the left frame's left trim line at 15 mm, half way up; the centre line at
        // 225 mm; the right frame's right one at 435 mm
        EXPECT_LT(g.darkest(15 / W, 0.5), 128);
        EXPECT_LT(g.darkest(225 / W, 0.5), 128);
        EXPECT_LT(g.darkest(435 / W, 0.5), 128);
        EXPECT_GT(g.at(120 / W, 0.5), 250);  // inside a frame: empty
        EXPECT_GT(g.at(330 / W, 0.5), 250);
        // cut marks 3 mm beyond the trim, 3 mm long, at the outer corners: left of the
        // left frame at its top and bottom (9 to 12 mm), right of the right frame (438 to
        // 441 mm), and above and below the centre line
        for (double y : {323.5, 26.5}) {
            EXPECT_LT(g.darkest(10.5 / W, (H - y) / H), 160) << y;
            EXPECT_LT(g.darkest(439.5 / W, (H - y) / H), 160) << y;
        }
        EXPECT_LT(g.darkest(225 / W, (H - 328) / H), 160);
        EXPECT_LT(g.darkest(225 / W, (H - 22) / H), 160);
        // nothing on the bare paper
        EXPECT_GT(g.at(5 / W, 0.5), 250);
        EXPECT_GT(g.at(444 / W, 0.5), 250);
    }
}

TEST(TemplateBuild, EightUpRenderingsShowTheirEightTrims) {
    vexa::test::TempDir dir;
    const double W = kSheetW;
    const std::pair<const char*, int> sheets[] = {
        {"Signature_16_A4.pdf", 1}, {"Signature_16_A4.pdf", 2}, {"StepRepeat_8up_A4.pdf", 1}};
    for (auto [name, sheet] : sheets) {
        SCOPED_TRACE(std::string(name) + " sheet " + std::to_string(sheet));
        Gray g = renderSheet(dir, name, sheet);
        ASSERT_GT(g.w, 0);
        // the trim lines between the columns, in both rows, and between the rows
        for (int col = 1; col < 4; ++col)
            for (double y : {0.25, 0.75})
                EXPECT_LT(g.darkest((kCellsX + col * kCellW) / W, y), 128) << col << " " << y;
        for (double x : {0.1, 0.4, 0.6, 0.9}) EXPECT_LT(g.darkest(x, 0.5), 128) << x;
        // the middle of every frame is empty, and so is the paper around the block
        for (int col = 0; col < 4; ++col)
            for (double y : {0.25, 0.75})
                EXPECT_GT(g.at((kCellsX + (col + 0.5) * kCellW) / W, y), 250) << col << " " << y;
        EXPECT_GT(g.at(0.01, 0.5), 250);
        EXPECT_GT(g.at(0.5, 0.99), 250);  // the gripper margin
    }
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

// ---- Imposing into the bundled templates ------------------------------------------------

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";

// N A4 pages; page n shows the word "pgN" near its top left corner.
void writeNumberedPages(const std::string& path, int n) {
    QPDF q;
    q.emptyPDF();
    auto font = QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    auto resources = QPDFObjectHandle::newDictionary();
    auto fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/F1", q.makeIndirectObject(font));
    resources.replaceKey("/Font", fonts);
    QPDFPageDocumentHelper pages(q);
    for (int i = 1; i <= n; ++i) {
        auto page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 595.28 841.89]"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents",
                        QPDFObjectHandle::newStream(
                            &q, "BT /F1 40 Tf 60 760 Td (pg" + std::to_string(i) + ") Tj ET"));
        pages.addPage(q.makeIndirectObject(page), false);
    }
    QPDFWriter w(q, path.c_str());
    w.write();
}

// Where each page lands on a 4 x 2 block of A4 cells: its number by cell (top row
// first, left to right), negative when the page stands on its head (its top line is
// in the lower half of its cell).
std::vector<int> cells(const std::vector<Word>& words) {
    std::vector<int> out(8, 0);
    std::regex pg("pg([0-9]+)");
    std::smatch m;
    const double top = kSheetH - kCellsY - 2 * kCellH;  // the block's top, from the top
    for (auto& w : words) {
        if (!std::regex_match(w.text, m, pg)) continue;
        double cx = (w.x0 + w.x1) / 2 - kCellsX, cy = (w.y0 + w.y1) / 2 - top;
        if (cx < 0 || cy < 0) continue;
        int col = static_cast<int>(cx / kCellW), row = static_cast<int>(cy / kCellH);
        if (col < 0 || col > 3 || row < 0 || row > 1) continue;
        bool turned = cy - row * kCellH > kCellH / 2;
        out[static_cast<size_t>(row * 4 + col)] = std::stoi(m[1]) * (turned ? -1 : 1);
    }
    return out;
}

// The words of the slug line: 34 to 38 mm from the bottom edge, from 80 mm on.
std::string slugLine(const std::vector<Word>& words) {
    std::string line;
    const double mm = 72 / 25.4;
    for (auto& w : words)
        if (w.y0 > kSheetH - 40 * mm && w.y1 < kSheetH - 32 * mm && w.x0 > 79 * mm)
            line += w.text + " ";
    return line;
}

TEST(TemplateBuild, SixteenPagesFoldIntoTheSignature) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    writeNumberedPages(dir.file("book.pdf"), 16);
    std::string out;
    ASSERT_EQ(vexa::test::runCommand(kVexa + " impose " + dir.file("book.pdf") + " -t '" +
                                         (kTemplates / "Signature_16_A4.pdf").string() +
                                         "' --binding perfect -o " + dir.file("sig.pdf") + " 2>&1",
                                     &out),
              0)
        << out;
    EXPECT_EQ(vexa::test::runCommand("qpdf --check " + dir.file("sig.pdf") + " >/dev/null"), 0);
    auto sheets = sheetWords(dir.file("sig.pdf"));
    ASSERT_EQ(sheets.size(), 2u);
    // top rows head down
    EXPECT_EQ(cells(sheets[0]), (std::vector<int>{-5, -12, -9, -8, 4, 13, 16, 1}));
    EXPECT_EQ(cells(sheets[1]), (std::vector<int>{-7, -10, -11, -6, 2, 15, 14, 3}));
    // the slug line names the side and lists the pages of the sheet
    EXPECT_NE(slugLine(sheets[0]).find("Sheet 1A"), std::string::npos) << slugLine(sheets[0]);
    EXPECT_NE(slugLine(sheets[1]).find("Sheet 1B"), std::string::npos) << slugLine(sheets[1]);
    EXPECT_NE(slugLine(sheets[0]).find("1,4,5,8,9,12,13,16"), std::string::npos)
        << slugLine(sheets[0]);
}

TEST(TemplateBuild, StepAndRepeatRepeatsEachPage) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    writeNumberedPages(dir.file("cards.pdf"), 2);
    std::string out;
    ASSERT_EQ(vexa::test::runCommand(kVexa + " impose " + dir.file("cards.pdf") + " -t '" +
                                         (kTemplates / "StepRepeat_8up_A4.pdf").string() +
                                         "' --binding perfect -o " + dir.file("sr.pdf") + " 2>&1",
                                     &out),
              0)
        << out;
    auto sheets = sheetWords(dir.file("sr.pdf"));
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(cells(sheets[0]), std::vector<int>(8, 1));
    EXPECT_EQ(cells(sheets[1]), std::vector<int>(8, 2));
}

TEST(TemplateBuild, BookletSheetsAreSaddleStitched) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    writeNumberedPages(dir.file("b.pdf"), 8);
    std::string out;
    ASSERT_EQ(vexa::test::runCommand(kVexa + " impose " + dir.file("b.pdf") + " -t '" +
                                         (kTemplates / "Booklet_2up_A4.pdf").string() + "' -o " +
                                         dir.file("bk.pdf") + " 2>&1",
                                     &out),
              0)
        << out;
    auto sheets = sheetWords(dir.file("bk.pdf"));
    ASSERT_EQ(sheets.size(), 4u);
    // left frame from 15 to 225 mm, right one from 225 to 435 mm
    auto pair = [](const std::vector<Word>& words) {
        std::pair<int, int> p{0, 0};
        std::regex pg("pg([0-9]+)");
        std::smatch m;
        for (auto& w : words)
            if (std::regex_match(w.text, m, pg))
                (w.x0 < 225 * kMM ? p.first : p.second) = std::stoi(m[1]);
        return p;
    };
    EXPECT_EQ(pair(sheets[0]), (std::pair<int, int>{8, 1}));
    EXPECT_EQ(pair(sheets[1]), (std::pair<int, int>{2, 7}));
    EXPECT_EQ(pair(sheets[2]), (std::pair<int, int>{6, 3}));
    EXPECT_EQ(pair(sheets[3]), (std::pair<int, int>{4, 5}));
}

}  // namespace
