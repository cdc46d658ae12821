// "vexa impose" as a print shop runs it: the example brochure into the booklet
// template, page order on every sheet read back from the text, renderings of placed
// pages against their source pages, and failures that leave no output behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <utility>
#include <vector>

#include "Plates.h"
#include "ImposeCliFixture.h"
#include "TemplateChecks.h"
#include "TestSupport.h"

using vexa::test::runCommand;

using vexa::test::ImposeCli;
using vexa::test::kRoot;
using vexa::test::kVexa;
using vexa::test::Sheet;
using vexa::test::Word;

namespace {

// The objects of a saved file as qpdf lists them, one text per object.
std::vector<std::string> fileObjects(const std::string& pdf) {
    std::string json;
    EXPECT_EQ(runCommand("qpdf --json=2 --json-key=qpdf " + pdf, &json), 0);
    std::vector<std::string> objects;
    std::size_t pos = json.find("\"obj:");
    while (pos != std::string::npos) {
        std::size_t next = json.find("\"obj:", pos + 1);
        objects.push_back(json.substr(pos, next - pos));
        pos = next;
    }
    return objects;
}

// The objects (numbers) that sheets a and b of a saved file both draw: the /XObject
// entries their page dictionaries have in common.
std::set<std::string> drawnByBoth(const std::string& pdf, int a, int b) {
    std::string pages;
    EXPECT_EQ(runCommand("qpdf --show-pages " + pdf, &pages), 0);
    auto drawn = [&](int sheet) {
        std::set<std::string> objects;
        std::smatch m, x;
        std::string dict;
        if (!std::regex_search(pages, m,
                               std::regex("page " + std::to_string(sheet) + ": ([0-9]+) 0 R")))
            return objects;
        EXPECT_EQ(runCommand("qpdf --show-object=" + m[1].str() + " " + pdf, &dict), 0);
        if (!std::regex_search(dict, x, std::regex("/XObject << ([^>]*) >>"))) return objects;
        std::string entries = x[1];
        std::regex ref("([0-9]+) 0 R");
        for (std::sregex_iterator it(entries.begin(), entries.end(), ref), e; it != e; ++it)
            objects.insert((*it)[1]);
        return objects;
    };
    std::set<std::string> first = drawn(a), second = drawn(b), both;
    for (const std::string& o : first)
        if (second.count(o)) both.insert(o);
    return both;
}

}  // namespace

TEST_F(ImposeCli, SaddleStitchBookletBesideTheSource) {
    std::string out;
    ASSERT_EQ(impose("", &out), 0) << out;
    std::string result = dir.file("brochure_M.pdf");
    EXPECT_NE(out.find(result + ": 8 sheets, 16 pages placed, 0 empty frames"), std::string::npos)
        << out;
    EXPECT_EQ(runCommand("qpdf --check " + result + " >/dev/null"), 0);
    // Progress off a terminal: plain lines, the last step once.
    EXPECT_NE(out.find("progress: Place pages\xe2\x80\xa6 8/8\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("8/8\nprogress: Place pages\xe2\x80\xa6 8/8"), std::string::npos) << out;
    EXPECT_EQ(order(result),
              (std::vector<Sheet>{
                  {16, 1}, {2, 15}, {14, 3}, {4, 13}, {12, 5}, {6, 11}, {10, 7}, {8, 9}}));
}

TEST_F(ImposeCli, PerfectBindingAndPageRanges) {
    std::string out;
    ASSERT_EQ(impose("--binding perfect -o " + dir.file("p.pdf"), &out), 0) << out;
    EXPECT_EQ(order(dir.file("p.pdf"))[0], (Sheet{4, 1}));
    EXPECT_EQ(order(dir.file("p.pdf"))[3], (Sheet{6, 7}));
    ASSERT_EQ(impose("--pages 3-10 -o " + dir.file("r.pdf"), &out), 0) << out;
    EXPECT_EQ(order(dir.file("r.pdf")), (std::vector<Sheet>{{10, 3}, {4, 9}, {8, 5}, {6, 7}}));
    // A rounded range continues past To: 3 to 8 is 6 pages, rounded to 8.
    ASSERT_EQ(impose("--pages 3-8 --creep 0.2mm -o " + dir.file("q.pdf"), &out), 0) << out;
    EXPECT_EQ(order(dir.file("q.pdf"))[0], (Sheet{10, 3}));
}

TEST_F(ImposeCli, PlacedPagesRenderLikeTheirSource) {
    std::string out;
    ASSERT_EQ(impose("-o " + dir.file("o.pdf"), &out), 0) << out;
    // At 144 dpi the trim areas lie on whole pixels: source page 1's TrimBox and the
    // right frame of sheet 1, and source page 16 and the left frame.
    std::string src1 = crop(brochure, 1, 17, 17, "s1"),
                dst1 = crop(dir.file("o.pdf"), 1, 907, 57, "d1");
    ASSERT_FALSE(src1.empty());
    EXPECT_TRUE(src1 == dst1);
    std::string src16 = crop(brochure, 16, 17, 17, "s16"),
                dst16 = crop(dir.file("o.pdf"), 1, 67, 57, "d16");
    EXPECT_TRUE(src16 == dst16);
}

TEST_F(ImposeCli, FailuresLeaveNoOutput) {
    std::string out;
    // Not a template: the brochure has no page frames.
    int rc = runCommand(
        kVexa + " impose " + brochure + " -t " + brochure + " -o " + dir.file("x.pdf") + " 2>&1",
        &out);
    EXPECT_NE(rc, 0) << out;
    EXPECT_NE(out.find("This is no Vexa-template!"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
    EXPECT_NE(runCommand(kVexa + " impose " + dir.file("missing.pdf") + " -o " + dir.file("y.pdf") +
                             " 2>&1",
                         &out),
              0);
    EXPECT_NE(out.find("missing.pdf does not exist"), std::string::npos) << out;
    EXPECT_NE(impose("--binding spiral", &out), 0);
    EXPECT_NE(impose("--pages 3", &out), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("brochure_M.pdf")));
}

TEST_F(ImposeCli, DialogFollowsTheBindingAndRefusesNonTemplates) {
    std::string s = dir.file("d.vx");
    vexa::test::writeFile(s, "open " + brochure +
                                 "\n"
                                 "menu Vexa:impose\n"
                                 "  expect-text 9 16\n"
                                 "  expect-text 10 \"148.17 x 209.9 mm\"\n"
                                 "  pick 12 3\n"
                                 "  expect-text 14 1,2\n"
                                 "  expect-text 15 15,16\n"
                                 "  expect-disabled 14\n"
                                 "  expect-disabled 13\n"
                                 "  pick 12 1\n"
                                 "  expect-enabled 13\n"
                                 "  set 17 50\n"
                                 "  pick 16 3\n"
                                 "  expect-text 17 100\n"
                                 "  choose " +
                                 brochure +
                                 "\n"
                                 "  press 4\n"
                                 "  expect-text 3 ---\n"
                                 "  choose " +
                                 tmpl +
                                 "\n"
                                 "  press 4\n"
                                 "  expect-text 3 booklet-2up.pdf\n"
                                 "  press cancel\n"
                                 "expect-alert \"no Vexa-template\"\n"
                                 "expect-docs 1\n");
    std::string out;
    EXPECT_EQ(runCommand(kVexa + " run " + s + " 2>&1", &out), 0) << out;
}

TEST_F(ImposeCli, TurnedSourcePagesLandUprightInTheirFrames) {
    // Pages with /Rotate 90, 180 and 270 whose content is drawn turned back: each shows
    // upright, and must land upright, by its TrimBox, in its frame.
    generate("turned.pdf", "brochure(16, {1: 90, 16: 180, 2: 270, 15: 90, 3: 180})");
    std::string src = dir.file("turned.pdf"), result = dir.file("t.pdf");
    std::string out;
    ASSERT_EQ(
        runCommand(kVexa + " impose " + src + " -t " + tmpl + " -o " + result + " 2>&1", &out), 0)
        << out;
    EXPECT_EQ(order(result),
              (std::vector<Sheet>{
                  {16, 1}, {2, 15}, {14, 3}, {4, 13}, {12, 5}, {6, 11}, {10, 7}, {8, 9}}));
    auto sheets = vexa::test::sheetWords(result);
    ASSERT_GE(sheets.size(), 3u);
    for (int s = 0; s < 3; ++s) {
        int seen = 0;
        for (std::size_t i = 0; i + 1 < sheets[s].size(); ++i) {
            const Word& page = sheets[s][i];
            if (page.text != "Page") continue;
            const Word& n = sheets[s][i + 1];
            ++seen;
            // Upright: written left to right on a horizontal line.
            EXPECT_GT(page.x1 - page.x0, page.y1 - page.y0) << "sheet " << s + 1;
            EXPECT_LT(page.x1, n.x0) << "sheet " << s + 1 << " page " << n.text;
            EXPECT_NEAR(page.y0, n.y0, 1) << "sheet " << s + 1;
        }
        EXPECT_EQ(seen, 2) << "sheet " << s + 1;
    }
    // The turned page 1 renders exactly like its source page in the right frame of
    // sheet 1 (at 144 dpi its trim area lies on whole pixels).
    std::string src1 = crop(src, 1, 17, 17, "s1"), dst1 = crop(result, 1, 907, 57, "d1");
    ASSERT_FALSE(src1.empty());
    EXPECT_TRUE(src1 == dst1);
    std::string src16 = crop(src, 16, 17, 17, "s16"), dst16 = crop(result, 1, 67, 57, "d16");
    EXPECT_TRUE(src16 == dst16);
}

TEST_F(ImposeCli, PlaceholdersTakeTheSpotColourAndMarksPrintOnEveryPlate) {
    generate("bar.pdf", "booklet_template(True)");
    std::string result = dir.file("bar_out.pdf"), out;
    ASSERT_EQ(runCommand(kVexa + " impose " + brochure + " -t " + dir.file("bar.pdf") + " -o " +
                             result + " 2>&1",
                         &out),
              0)
        << out;
    // In the file: the placeholder X became the brochure's spot colour.
    std::string qdf;
    ASSERT_EQ(runCommand("qpdf --qdf --object-streams=disable " + result + " -", &qdf), 0);
    EXPECT_FALSE(std::regex_search(qdf, std::regex("/Separation\\s+/X\\s")));
    EXPECT_TRUE(std::regex_search(qdf, std::regex("/Separation\\s+/PANTONE#20286#20C")));
    // The bar takes the spot colour of each sheet's own pages: every sheet draws it
    // itself, none shares it with another.
    EXPECT_TRUE(drawnByBoth(result, 1, 3).empty());
    ASSERT_EQ(runCommand("gs -q -dNOPAUSE -dBATCH -sDEVICE=tiffsep -r36 -sCompression=none "
                         "-dFirstPage=1 -dLastPage=1 -sOutputFile=" +
                         dir.file("sep.tif") + " " + result),
              0);
    const double W = 907, H = 652;
    const double barX = 80 / W, markX = 250 / W, y = (H - 9) / H;
    for (const char* plate : {"Cyan", "Magenta", "Yellow", "Black", "PANTONE 286 C"}) {
        vexa::test::Gray g = vexa::test::readPlate(dir.file(std::string("sep(") + plate + ").tif"));
        ASSERT_GT(g.w, 0) << plate;
        EXPECT_LT(g.darkest(markX, y), 64) << plate;  // "All": on every plate
        if (std::string(plate) == "PANTONE 286 C")
            EXPECT_LT(g.darkest(barX, y), 64);  // the placeholder bar: the spot plate only
        else
            EXPECT_GT(g.at(barX, y), 250) << plate;
    }
}

TEST_F(ImposeCli, SpotColoursAreMappedFromTheCommandLine) {
    std::string out;
    std::string result = dir.file("mapped.pdf");
    ASSERT_EQ(impose("--map-spot \"PANTONE 286 C=cyan\" -o " + result, &out), 0) << out;
    EXPECT_NE(out.find("spot colours: PANTONE 286 C -> Cyan"), std::string::npos) << out;
    std::string qdf;
    ASSERT_EQ(runCommand("qpdf --qdf --object-streams=disable " + result + " -", &qdf), 0);
    EXPECT_EQ(qdf.find("/PANTONE#20286#20C"), std::string::npos);
    EXPECT_TRUE(std::regex_search(qdf, std::regex("/Separation\\s+/Cyan")));
    // Nothing of the run is remembered.
    EXPECT_EQ(ini(), "");

    // A colour the source does not have: an error naming the ones it has, no file.
    EXPECT_EQ(impose("--map-spot Gold=cyan -o " + dir.file("gold.pdf"), &out), 2);
    EXPECT_NE(out.find("\"Gold\""), std::string::npos) << out;
    EXPECT_NE(out.find("PANTONE 286 C"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("gold.pdf")));
    EXPECT_EQ(impose("--map-spot Gold=purple", &out), 2);
    EXPECT_EQ(impose("--spot-black maybe", &out), 2);

    // The preferences ask for the dialog: without options every colour is kept.
    ASSERT_TRUE(setGeneral("MapSpot=1")) << ini();
    ASSERT_EQ(impose("-o " + dir.file("kept.pdf"), &out), 0) << out;
    EXPECT_NE(out.find("spot colours: PANTONE 286 C kept"), std::string::npos) << out;
    ASSERT_EQ(
        runCommand("qpdf --qdf --object-streams=disable " + dir.file("kept.pdf") + " -", &qdf), 0);
    EXPECT_NE(qdf.find("/PANTONE#20286#20C"), std::string::npos);
    // A mapping run leaves the user's own value as it was.
    ASSERT_EQ(impose("--map-spot \"PANTONE 286 C=magenta\" --spot-black on -o " + result, &out), 0)
        << out;
    EXPECT_NE(ini().find("MapSpot=1"), std::string::npos) << ini();
    EXPECT_EQ(ini().find("MapSpotToBlack"), std::string::npos) << ini();
}

TEST_F(ImposeCli, EscapeBetweenSheetsStopsWithEmptySheetsLeft) {
    // The user types Escape as the third of eight sheets is about to be placed.
    std::string s = dir.file("esc.vx");
    vexa::test::writeFile(s, "open " + brochure +
                                 "\n"
                                 "escape-at 3 \"Place pages\"\n"
                                 "answer No\n"
                                 "menu Vexa:impose\n"
                                 "  choose " +
                                 tmpl +
                                 "\n"
                                 "  press 4\n"
                                 "  pick 12 1\n"
                                 "  press 1\n"
                                 "expect-docs 2\n");
    std::string out;
    ASSERT_EQ(runCommand(kVexa + " run " + s + " 2>&1", &out), 0) << out;
    std::string log =
        vexa::test::readFile((home.path() / "Documents" / "Orvanta" / "Vexa.txt").string());
    EXPECT_NE(log.find("imposed: 8 sheets, 4 pages placed, 0 empty frames, stopped"),
              std::string::npos)
        << log;
    // Log lines end in "\n" only.
    EXPECT_NE(log.find("srcDoc: " + brochure + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos) << log;
}

TEST_F(ImposeCli, TheSheetsOfAJobShareTheirColoursStatesAndPageResources) {
    std::string out;
    // A 16-page signature with a slug line and no marks: each mark of a template brings
    // graphics states of its own, which would hide what the sheets share.
    const std::string sig = dir.file("sig16.pdf");
    ASSERT_EQ(runCommand(kVexa +
                             " template new --sheet 70x100cm --page A4 --layout signature-16 "
                             "--marks none --slug -o " +
                             sig + " 2>&1",
                         &out),
              0)
        << out;
    ASSERT_EQ(runCommand(kVexa + " impose " + brochure + " -t " + sig + " --binding perfect -o " +
                             dir.file("s.pdf") + " 2>&1",
                         &out),
              0)
        << out;
    ASSERT_EQ(impose("-o " + dir.file("b.pdf"), &out), 0) << out;
    for (const std::string& pdf : {dir.file("s.pdf"), dir.file("b.pdf")}) {
        EXPECT_EQ(runCommand("qpdf --check " + pdf + " >/dev/null"), 0);
        int trimLines = 0, all = 0, none = 0, states = 0, forms = 0;
        std::set<std::string> resources;
        std::regex sep("\"value\": \\[\\s*\"/Separation\",\\s*\"/(TL|All|None)\"");
        std::regex res("\"/Resources\": \"([0-9]+ [0-9]+ R)\"");
        for (const std::string& o : fileObjects(pdf)) {
            std::smatch m;
            if (std::regex_search(o, m, sep))
                (m[1] == "TL" ? trimLines : m[1] == "All" ? all : none) += 1;
            states += o.find("\"/Type\": \"/ExtGState\"") != std::string::npos;
            if (o.find("\"/CMYK\"") == std::string::npos) continue;
            forms += 1;
            if (std::regex_search(o, m, res)) resources.insert(m[1]);
        }
        // The templates hide their frames: the trim lines are in "None", and no
        // trim-lines plate is declared.
        EXPECT_EQ(trimLines, 0) << pdf;
        EXPECT_EQ(none, 1) << pdf;
        EXPECT_EQ(all, pdf == dir.file("s.pdf") ? 1 : 0) << pdf;  // the slug line's
        EXPECT_EQ(states, 1) << pdf;
        EXPECT_EQ(forms, 16) << pdf;
        EXPECT_EQ(resources.size(), 1u) << pdf;  // the brochure's pages have equal ones
    }
}

TEST_F(ImposeCli, TheMarksOfATemplateAreOneFormDrawnByEverySheet) {
    const std::string marked = std::string(VEXA_PLUGIN_DIR) + "/Vexa/templates/Booklet_2up_A4.pdf";
    const std::string result = dir.file("marked.pdf");
    std::string out;
    ASSERT_EQ(runCommand(kVexa + " impose " + brochure + " -t " + marked + " --binding saddle -o " +
                             result + " 2>&1",
                         &out),
              0)
        << out;
    EXPECT_EQ(runCommand("qpdf --check " + result + " >/dev/null"), 0);
    // Sheets 1 and 3 are the front of the template in two passes: their pages differ,
    // their marks are one object.
    std::set<std::string> both = drawnByBoth(result, 1, 3);
    ASSERT_EQ(both.size(), 1u) << out;
    std::string marks;
    ASSERT_EQ(
        runCommand("qpdf --show-object=" + *both.begin() + " --filtered-stream-data " + result,
                   &marks),
        0);
    EXPECT_NE(marks.find("/Cos /MC_"), std::string::npos) << marks;  // the marks' own frames
    // The marks look as the template draws them (its sheet border in a layer the job
    // turns off aside) on both sides and in every pass.
    auto strip = [&](const std::string& pdf, int page, const std::string& name) {
        std::string base = dir.file(name);
        EXPECT_EQ(
            runCommand("pdftoppm -r 72 -singlefile -f " + std::to_string(page) + " -l " +
                       std::to_string(page) + " -x 1243 -y 1 -W 32 -H 990 " + pdf + " " + base),
            0);
        return vexa::test::readFile(base + ".ppm");
    };
    for (int side : {1, 2}) {
        std::string drawnByTemplate = strip(marked, side, "t" + std::to_string(side));
        ASSERT_GT(drawnByTemplate.size(), 32u * 990u * 3u);
        EXPECT_NE(drawnByTemplate.find_first_not_of('\xff', 15), std::string::npos);
        for (int sheet : {side, side + 2, side + 6})
            EXPECT_TRUE(strip(result, sheet, "s" + std::to_string(sheet)) == drawnByTemplate)
                << "sheet " << sheet;
    }
}

TEST_F(ImposeCli, TheOutputTakesTheVersionOfSourceAndTemplateOrTheOneSaveAsSets) {
    auto header = [](const std::string& pdf) { return vexa::test::readFile(pdf).substr(0, 8); };
    auto packed = [](const std::string& pdf) {
        return vexa::test::readFile(pdf).find("/ObjStm") != std::string::npos;
    };
    std::string out;
    // The example files are 1.6: so is the imposed file, with object streams.
    ASSERT_EQ(impose("-o " + dir.file("v16.pdf"), &out), 0) << out;
    EXPECT_EQ(header(dir.file("v16.pdf")), "%PDF-1.6");
    EXPECT_TRUE(packed(dir.file("v16.pdf")));
    // A 1.3 source into a 1.3 template stays 1.3, without them; a 1.4 template
    // makes it 1.4.
    for (const char* name : {"brochure", "booklet-2up"})
        for (const char* v : {"1.3", "1.4"})
            ASSERT_EQ(
                runCommand(std::string("qpdf --force-version=") + v + " --object-streams=disable " +
                           dir.file(std::string(name) + ".pdf") + " " +
                           dir.file(std::string(name) + "-" + v + ".pdf")),
                0);
    std::string old = dir.file("brochure-1.3.pdf");
    ASSERT_EQ(runCommand(kVexa + " impose " + old + " -t " + dir.file("booklet-2up-1.3.pdf") +
                             " -o " + dir.file("v13.pdf") + " 2>&1",
                         &out),
              0)
        << out;
    EXPECT_EQ(header(dir.file("v13.pdf")), "%PDF-1.3");
    EXPECT_FALSE(packed(dir.file("v13.pdf")));
    ASSERT_EQ(runCommand(kVexa + " impose " + old + " -t " + dir.file("booklet-2up-1.4.pdf") +
                             " -o " + dir.file("v14.pdf") + " 2>&1",
                         &out),
              0)
        << out;
    EXPECT_EQ(header(dir.file("v14.pdf")), "%PDF-1.4");
    // "SaveAs" in the preferences sets the version, as for the hot folder.
    ASSERT_TRUE(setGeneral("SaveAs=5")) << ini();
    ASSERT_EQ(impose("-o " + dir.file("v15.pdf"), &out), 0) << out;
    EXPECT_EQ(header(dir.file("v15.pdf")), "%PDF-1.5");
    EXPECT_TRUE(packed(dir.file("v15.pdf")));
    for (const char* f : {"v16.pdf", "v13.pdf", "v14.pdf", "v15.pdf"})
        EXPECT_EQ(runCommand("qpdf --check " + dir.file(f) + " >/dev/null"), 0) << f;
}
