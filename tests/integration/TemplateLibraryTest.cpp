// "vexa template": templates made through the plug-in's commands, as the files hold
// them (frames to the last 1/65536 pt, marks and slug line clear of every bleed and of
// each other, the fold check), the library the build installs, imposing into it, the
// refusals, and proofs compared with reference renderings.
#include <gtest/gtest.h>

#include <png.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "TemplateChecks.h"
#include "TestSupport.h"
#include "headless/TemplateCommand.h"
#include "headless/TemplateLayout.h"

namespace fs = std::filesystem;
using namespace vexa::host;
using layout::Fixed;
using layout::Rect;
using vexa::test::expectClearSheet;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
const fs::path kLibrary = fs::path(VEXA_BIN_DIR) / "plug_ins" / "Vexa" / "templates";
const fs::path kReference = fs::path(VEXA_TEST_DATA) / "templates";

// The template's frames are exactly the planned ones.
void expectPlanned(const TemplateInfo& info, const layout::Plan& plan) {
    ASSERT_EQ(info.sheets.size(), plan.sheets.size());
    for (std::size_t s = 0; s < plan.sheets.size(); ++s) {
        const TemplateSheet& sheet = info.sheets[s];
        EXPECT_EQ(sheet.width, plan.sheetW);
        EXPECT_EQ(sheet.height, plan.sheetH);
        std::vector<TemplateFrame> pages;
        for (const auto& f : sheet.frames)
            if (f.box >= 1) pages.push_back(f);
        ASSERT_EQ(pages.size(), plan.sheets[s].size());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const layout::Frame& want = plan.sheets[s][i];
            Rect t = pages[i].trim();
            EXPECT_EQ(pages[i].box, want.box);
            EXPECT_EQ(pages[i].rotation, want.rotation);
            EXPECT_EQ(t.left, want.trim.left) << "sheet " << s + 1 << " box " << want.box;
            EXPECT_EQ(t.bottom, want.trim.bottom);
            EXPECT_EQ(t.right, want.trim.right);
            EXPECT_EQ(t.top, want.trim.top);
            EXPECT_EQ(pages[i].bleedLeft, want.bleedLeft);
            EXPECT_EQ(pages[i].bleedRight, want.bleedRight);
            EXPECT_EQ(pages[i].bleedTop, want.bleedTop);
            EXPECT_EQ(pages[i].bleedBottom, want.bleedBottom);
        }
        int moving = 0, folds = 0;
        for (const auto& f : sheet.frames) {
            folds += f.box == -7;
            if (f.box != -5) continue;
            ++moving;
            EXPECT_EQ(f.rect.left, plan.movingRect.left);
            EXPECT_EQ(f.rect.bottom, plan.movingRect.bottom);
            EXPECT_EQ(f.rect.right, plan.movingRect.right);
            EXPECT_EQ(f.rect.top, plan.movingRect.top);
            EXPECT_EQ(f.moveLimit, plan.movingLimit);
        }
        EXPECT_EQ(moving, plan.movingMark ? 1 : 0);
        // a fold mark at both ends of every fold between columns and between rows
        EXPECT_EQ(folds, plan.request.foldMarks ? 2 * (plan.cols - 1 + plan.rows - 1) : 0);
        expectClearSheet(sheet, plan.printable, plan.slug);
    }
}

// A source of n pages of w x h points, each with its TrimBox and "pgN" in its middle.
void writeNumbered(const std::string& path, int n, double w, double h) {
    QPDF q;
    q.emptyPDF();
    QPDFPageDocumentHelper pages(q);
    QPDFObjectHandle font = q.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    for (int i = 1; i <= n; ++i) {
        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        QPDFObjectHandle res = QPDFObjectHandle::newDictionary();
        res.replaceKey("/Font", QPDFObjectHandle::newDictionary());
        res.getKey("/Font").replaceKey("/F1", font);
        std::string box = "[0 0 " + std::to_string(w) + " " + std::to_string(h) + "]";
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse(box));
        page.replaceKey("/TrimBox", QPDFObjectHandle::parse(box));
        page.replaceKey("/Resources", res);
        double size = std::min(w, h) / 8;
        page.replaceKey(
            "/Contents",
            QPDFObjectHandle::newStream(
                &q, "BT /F1 " + std::to_string(size) + " Tf " + std::to_string(w / 2 - size) + " " +
                        std::to_string(h / 2) + " Td (pg" + std::to_string(i) + ") Tj ET"));
        pages.addPage(q.makeIndirectObject(page), false);
    }
    QPDFWriter wr(q, path.c_str());
    wr.write();
}

struct PlacedWord {
    int page;
    double x, y;  // middle, page coordinates (from the bottom)
};

// Where "pgN" lands on each sheet of height h (pdftotext -bbox).
std::vector<std::vector<PlacedWord>> pageMap(const std::string& pdf, double h) {
    std::vector<std::vector<PlacedWord>> sheets;
    std::regex pg("pg([0-9]+)");
    for (const auto& words : vexa::test::sheetWords(pdf)) {
        std::vector<PlacedWord> ws;
        std::smatch m;
        for (const auto& w : words)
            if (std::regex_match(w.text, m, pg))
                ws.push_back({std::stoi(m[1]), (w.x0 + w.x1) / 2, h - (w.y0 + w.y1) / 2});
        sheets.push_back(ws);
    }
    return sheets;
}

// A PNG file as 8-bit gray pixels (empty when it cannot be read).
struct GrayImage {
    unsigned w = 0, h = 0;
    std::vector<unsigned char> px;
};
GrayImage readPng(const std::string& path) {
    GrayImage g;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return g;
    img.format = PNG_FORMAT_GRAY;
    std::vector<unsigned char> px(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return g;
    g.w = img.width;
    g.h = img.height;
    g.px = std::move(px);
    return g;
}

layout::Plan planOf(std::vector<std::string> args) {
    std::string out;
    args.push_back("-o");
    args.push_back("unused.pdf");
    return layout::plan(parseTemplateArgs(args, out));
}

}  // namespace

// Every layout kind, a few sizes each, built by the plug-in's commands.
TEST(TemplateNew, EveryLayoutKindAsPlanned) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    const std::vector<std::string> cases[] = {
        {"--sheet", "SRA3", "--page", "A5", "--layout", "booklet", "--slug"},
        {"--sheet", "SRA3", "--page", "A5", "--layout", "booklet", "--marks",
         "cut,registration,centre,fold,moving", "--slug"},
        {"--sheet", "12x18in", "--page", "A5", "--layout", "booklet", "--slug", "--bleed",
         "0.125in"},
        {"--sheet", "SRA2", "--page", "A6", "--layout", "signature-8", "--slug"},
        {"--sheet", "70x100cm", "--page", "A4", "--layout", "signature-16", "--slug", "--gripper",
         "15mm", "--marks", "cut,registration,fold,moving"},
        {"--sheet", "SRA2", "--page", "A6", "--layout", "signature-16", "--slug", "--bleed", "0"},
        {"--sheet", "B1", "--page", "A6", "--layout", "signature-32", "--slug"},
        {"--sheet", "SRA3", "--page", "85x55mm", "--layout", "step", "--slug"},
        {"--sheet", "SRA3", "--page", "A6", "--layout", "step", "--grid", "2x1", "--marks",
         "cut,registration,centre", "--slug"},
        {"--sheet", "SRA2", "--page", "A6", "--layout", "step", "--grid", "3x2", "--marks",
         "cut,centre,moving", "--slug"},
        {"--sheet", "SRA3", "--page", "A6", "--layout", "work-and-turn", "--slug"},
        {"--sheet", "SRA2", "--page", "A6", "--layout", "work-and-tumble", "--slug",
         "--gripper-edge", "left", "--marks", "cut,registration,moving"},
        {"--sheet", "320x450mm", "--page", "A5", "--layout", "booklet", "--gripper-edge", "left",
         "--slug"},
    };
    int n = 0;
    for (const auto& args : cases) {
        std::string all;
        for (const auto& a : args) all += a + " ";
        SCOPED_TRACE(all);
        std::string out = dir.file("t" + std::to_string(++n) + ".pdf"), log;
        ASSERT_EQ(
            vexa::test::runCommand(kVexa + " template new " + all + "-o " + out + " 2>&1", &log), 0)
            << log;
        layout::Plan plan = planOf(args);
        TemplateInfo info = readTemplate(out);
        expectPlanned(info, plan);
        EXPECT_EQ(vexa::test::runCommand("qpdf --check '" + out + "' >/dev/null"), 0);
        std::string shown;
        int status = vexa::test::runCommand(kVexa + " template show --fold " + out, &shown);
        bool folding = plan.request.kind != layout::Kind::Step &&
                       plan.request.kind != layout::Kind::WorkAndTurn &&
                       plan.request.kind != layout::Kind::WorkAndTumble;
        if (folding) {
            EXPECT_EQ(status, 0) << shown;
            ASSERT_EQ(info.sheets.size(), 2u);
            fold::Reading r = foldCheck(info.sheets[0], info.sheets[1]);
            EXPECT_TRUE(r.correct) << shown;
            int pages = 2 * plan.cols * plan.rows;
            for (int i = 0; i < pages; ++i) EXPECT_EQ(r.pages[static_cast<size_t>(i)], i + 1);
        } else {
            EXPECT_NE(status, 0) << shown;  // nothing to fold
        }
    }
}

TEST(TemplateNew, TheSameFromAJsonDescriptionAndAPlate) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    {
        std::ofstream j(dir.file("d.json"));
        j << R"({"sheet": "SRA3", "page": "A5", "layout": "booklet", "bleed": "2mm",
                "marks": ["cut"], "slug": true})";
    }
    std::string log;
    ASSERT_EQ(vexa::test::runCommand(kVexa + " template new --from " + dir.file("d.json") +
                                         " --gripper 8mm -o " + dir.file("j.pdf") + " 2>&1",
                                     &log),
              0)
        << log;
    layout::Plan plan = planOf({"--sheet", "SRA3", "--page", "A5", "--layout", "booklet", "--bleed",
                                "2mm", "--marks", "cut", "--slug", "--gripper", "8mm"});
    expectPlanned(readTemplate(dir.file("j.pdf")), plan);

    // On a 520 x 720 mm plate everything moves with the paper, which stays centred; the
    // moving mark's limit too.
    ASSERT_EQ(vexa::test::runCommand(kVexa + " template new --from " + dir.file("d.json") +
                                         " --marks cut,moving --plate 720x520mm -o " +
                                         dir.file("p.pdf") + " 2>&1",
                                     &log),
              0)
        << log;
    TemplateInfo onPlate = readTemplate(dir.file("p.pdf"));
    layout::Plan paper = planOf({"--from", dir.file("d.json"), "--marks", "cut,moving"});
    ASSERT_EQ(onPlate.sheets.size(), 2u);
    EXPECT_NEAR(onPlate.sheets[0].width / 65536.0, 720 * 72 / 25.4, 0.01);
    double dx = (onPlate.sheets[0].width - paper.sheetW) / 2 / 65536.0;
    double dy = (onPlate.sheets[0].height - paper.sheetH) / 2 / 65536.0;
    for (const auto& f : onPlate.sheets[0].frames)
        if (f.box >= 1) {
            const layout::Frame* want = nullptr;
            for (const auto& w : paper.sheets[0])
                if (w.box == f.box) want = &w;
            ASSERT_NE(want, nullptr);
            EXPECT_NEAR(f.trim().left / 65536.0, want->trim.left / 65536.0 + dx, 0.01);
            EXPECT_NEAR(f.trim().bottom / 65536.0, want->trim.bottom / 65536.0 + dy, 0.01);
        }
    int moving = 0;
    for (const auto& f : onPlate.sheets[0].frames)
        if (f.box == -5) {
            ++moving;
            EXPECT_NEAR(f.rect.bottom / 65536.0, paper.movingRect.bottom / 65536.0 + dy, 0.01);
            EXPECT_NEAR(f.moveLimit / 65536.0, paper.movingLimit / 65536.0 + dy, 0.01);
        }
    EXPECT_EQ(moving, 1);
}

// Refused with exit 2, the sizes in the message, and no file (a file that was there
// stays as it was).
TEST(TemplateNew, Refusals) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    std::string out = dir.file("r.pdf"), log;
    EXPECT_EQ(vexa::test::runCommand(kVexa +
                                         " template new --sheet SRA3 --page A4 --layout "
                                         "booklet --slug -o " +
                                         out + " 2>&1",
                                     &log),
              2);
    EXPECT_NE(log.find("do not fit"), std::string::npos) << log;
    EXPECT_NE(log.find("450 mm x 310 mm"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(out));
    {
        std::ofstream keep(out);
        keep << "kept";
    }
    const std::string bad[] = {
        "--sheet SRA3 --page A6 --layout step --gripper 330mm",
        "--sheet SRA3 --page A5 --layout booklet --grid 2x2",
        "--sheet SRA3 --page A5 --layout leaflet",
        "--sheet SRA3 --page A5x --layout booklet",
        "--sheet SRA3 --page A6 --layout step --marks cut,fold",
        "--sheet SRA3 --page A5 --layout booklet --marks cut,glue",
        "--sheet SRA3 --page A5 --layout booklet --bleed lots",
        "--sheet SRA3 --layout booklet",
        "--from " + dir.file("missing.json"),
    };
    for (const std::string& args : bad) {
        EXPECT_EQ(
            vexa::test::runCommand(kVexa + " template new " + args + " -o " + out + " 2>&1", &log),
            2)
            << args << ": " << log;
        EXPECT_EQ(vexa::test::readFile(out), "kept") << args;
    }
    EXPECT_EQ(
        vexa::test::runCommand(kVexa + " template show " + dir.file("none.pdf") + " 2>&1", &log),
        2);
    EXPECT_EQ(vexa::test::runCommand(kVexa + " template frobnicate 2>&1", &log), 2);
}

TEST(TemplateLibrary, ListsEveryTemplateWithItsSizes) {
    std::string out;
    ASSERT_EQ(vexa::test::runCommand(kVexa + " template list", &out), 0) << out;
    for (const char* line :
         {"Booklet_A5_SRA3", "Booklet_A4_SRA2", "Booklet_A4_B2", "Booklet_A5_12x18in",
          "Booklet_Letter_SRA2", "Signature16_A4_70x100cm", "Signature16_A5_52x72cm",
          "Cards_85x55mm_SRA3", "Cards_US_SRA3", "Postcards_A6_SRA3"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_NE(out.find("sheet 450 x 320 mm, pages 148 x 210 mm"), std::string::npos) << out;
    EXPECT_NE(out.find("pages 88.9 x 50.8 mm"), std::string::npos) << out;
}

// Each library template: as its description plans it, clear of bleed and marks, folding
// right, and a numbered source imposed into it by name lands page by page in its frames.
TEST(TemplateLibrary, EveryTemplateHoldsAndImposesItsPages) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    int checked = 0;
    for (const auto& e : fs::directory_iterator(
             fs::path(VEXA_TEST_DATA).parent_path().parent_path() / "templates" / "library")) {
        if (e.path().extension() != ".json") continue;
        std::string name = e.path().stem().string();
        SCOPED_TRACE(name);
        ++checked;
        fs::path pdf = kLibrary / (name + ".pdf");
        ASSERT_TRUE(fs::is_regular_file(pdf));
        layout::Plan plan = planOf({"--from", e.path().string()});
        TemplateInfo info = readTemplate(pdf.string());
        expectPlanned(info, plan);
        if (info.sheets.size() == 2 && !plan.backSamePlate) {
            EXPECT_TRUE(foldCheck(info.sheets[0], info.sheets[1]).correct);
        }

        // One pass of the template, pages of the template's own page size.
        int pages = 0;
        for (const auto& s : plan.sheets)
            for (const auto& f : s) pages = std::max(pages, f.box);
        std::ifstream in(e.path());
        std::string desc((std::istreambuf_iterator<char>(in)), {});
        std::string binding = desc.find("\"perfect\"") != std::string::npos ? "perfect" : "saddle";
        writeNumbered(dir.file(name + ".pdf"), pages, plan.request.pageW / 65536.0,
                      plan.request.pageH / 65536.0);
        std::string log;
        ASSERT_EQ(vexa::test::runCommand(kVexa + " impose " + dir.file(name + ".pdf") + " -t " +
                                             name + " --binding " + binding + " -o " +
                                             dir.file(name + "_M.pdf") + " 2>&1",
                                         &log),
                  0)
            << log;
        auto map = pageMap(dir.file(name + "_M.pdf"), plan.sheetH / 65536.0);
        ASSERT_EQ(map.size(), plan.sheets.size());
        for (std::size_t s = 0; s < map.size(); ++s) {
            std::size_t frames = 0;
            for (const auto& f : plan.sheets[s]) {
                Rect t = f.trim;
                int found = 0;
                for (const PlacedWord& w : map[s])
                    if (w.x > t.left / 65536.0 && w.x < t.right / 65536.0 &&
                        w.y > t.bottom / 65536.0 && w.y < t.top / 65536.0) {
                        EXPECT_EQ(w.page, f.box) << "sheet " << s + 1;
                        ++found;
                    }
                EXPECT_EQ(found, 1) << "sheet " << s + 1 << " box " << f.box;
                ++frames;
            }
            EXPECT_EQ(map[s].size(), frames);
        }
    }
    EXPECT_GE(checked, 10);
}

// Proofs of two library templates against reference renderings (docs/templates.md
// tells how to make them anew).
TEST(TemplateLibrary, ProofsLookAsTheReferences) {
    vexa::test::TempDir dir;
    for (const char* name : {"Booklet_A5_SRA3", "Signature16_A4_70x100cm"}) {
        SCOPED_TRACE(name);
        std::string out;
        ASSERT_EQ(vexa::test::runCommand(kVexa + " template show " + std::string(name) + " --png " +
                                             dir.path().string() + " --dpi 20",
                                         &out),
                  0)
            << out;
        for (int sheet : {1, 2}) {
            std::string png = std::string(name) + "-" + std::to_string(sheet) + ".png";
            ASSERT_TRUE(fs::is_regular_file(dir.path() / png)) << out;
            GrayImage got = readPng((dir.path() / png).string());
            GrayImage want = readPng((kReference / png).string());
            ASSERT_FALSE(want.px.empty()) << "no reference " << png;
            ASSERT_EQ(got.w, want.w);
            ASSERT_EQ(got.h, want.h);
            // the same picture: at most a few pixels differ by more than a fifth
            int differ = 0;
            for (std::size_t i = 0; i < got.px.size(); ++i)
                differ += std::abs(got.px[i] - want.px[i]) > 51;
            EXPECT_LT(differ, 20) << png;
        }
    }
}

// The proof renderer is a module vexa opens only for a proof, from lib/vexa/ relative to
// the program (the build tree and an installed tree alike). Without it, only the proof
// fails, with a message naming the module; descriptions and imposing work as before.
TEST(TemplateLibrary, ProofRendererIsLoadedOnlyForProofs) {
    vexa::test::TempDir tree;
    vexa::test::ScopedHome home;
    fs::create_directories(tree.path() / "bin");
    fs::copy_file(kVexa, tree.path() / "bin" / "vexa");
    fs::create_directory_symlink(fs::path(VEXA_BIN_DIR) / "plug_ins",
                                 tree.path() / "bin" / "plug_ins");
    const std::string vexa = (tree.path() / "bin" / "vexa").string();
    const std::string tpl = (kLibrary / "Booklet_A5_SRA3.pdf").string();
    const fs::path pngs = tree.path() / "png";
    const fs::path module =
        (tree.path() / "bin" / VEXA_INSTALLED_MODULE_DIR / "vexa-proof.so").lexically_normal();

    std::string out;
    EXPECT_EQ(
        vexa::test::runCommand(vexa + " template show " + tpl + " --png " + pngs.string(), &out), 1)
        << out;
    EXPECT_NE(out.find("the proof renderer " + module.string() + " cannot be loaded"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(pngs / "Booklet_A5_SRA3-1.png"));

    EXPECT_EQ(vexa::test::runCommand(vexa + " template show " + tpl, &out), 0) << out;
    EXPECT_NE(out.find("sheet 1:"), std::string::npos) << out;
    vexa::test::writeFile(tree.file("src.pdf"), vexa::test::sourceFile());
    EXPECT_EQ(vexa::test::runCommand(vexa + " impose " + tree.file("src.pdf") + " -t " +
                                         (kLibrary / "Booklet_2up_A4.pdf").string() + " -o " +
                                         tree.file("out.pdf"),
                                     &out),
              0)
        << out;
    EXPECT_TRUE(fs::is_regular_file(tree.file("out.pdf")));

    // Installed beside the program, it renders.
    fs::create_directories(module.parent_path());
    fs::copy_file(fs::path(VEXA_BIN_DIR) / VEXA_INSTALLED_MODULE_DIR / "vexa-proof.so", module);
    EXPECT_EQ(vexa::test::runCommand(
                  vexa + " template show " + tpl + " --png " + pngs.string() + " --dpi 10", &out),
              0)
        << out;
    EXPECT_TRUE(fs::is_regular_file(pngs / "Booklet_A5_SRA3-1.png")) << out;
    EXPECT_NE(out.find((pngs / "Booklet_A5_SRA3-2.png").string()), std::string::npos) << out;
}

// A proof folder that cannot be had is one line naming it, and nothing is rendered.
TEST(TemplateLibrary, AProofFolderThatCannotBeMadeIsSaidSo) {
    vexa::test::TempDir dir;
    vexa::test::ScopedHome home;
    vexa::test::writeFile(dir.file("plain"), "not a folder");
    const std::string tpl = (kLibrary / "Booklet_A5_SRA3.pdf").string();
    for (const std::string& target : {dir.file("plain"), dir.file("plain") + "/png"}) {
        std::string out;
        EXPECT_EQ(
            vexa::test::runCommand(kVexa + " template show " + tpl + " --png " + target, &out), 1)
            << out;
        EXPECT_NE(out.find("vexa: the proofs cannot be written to " + target + ": "),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.find("filesystem error"), std::string::npos) << out;
    }
    EXPECT_EQ(vexa::test::readFile(dir.file("plain")), "not a folder");
}
