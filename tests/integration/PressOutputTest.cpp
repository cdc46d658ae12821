// What "vexa impose" hands to the press: a PDF/X source stays identified as PDF/X,
// layers keep their visibility in the imposed file, and hidden trim lines make no
// plate.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "Plates.h"
#include "TestSupport.h"

using vexa::test::runCommand;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
const std::string kRoot = std::string(VEXA_TEST_DATA) + "/../..";

struct PressOutput : ::testing::Test {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;

    void SetUp() override {
        ASSERT_EQ(runCommand("python3 " + kRoot + "/tools/make_examples.py " + dir.path().string()),
                  0);
    }

    int impose(const std::string& src, const std::string& tmpl, const std::string& out,
               std::string* log) {
        return runCommand(kVexa + " impose " + src + " -t " + tmpl + " -o " + out + " 2>&1", log);
    }

    static std::string qdf(const std::string& pdf) {
        std::string text;
        EXPECT_EQ(runCommand("qpdf --qdf --object-streams=disable " + pdf + " -", &text), 0);
        return text;
    }

    // The plates Ghostscript separates the first sheet into.
    std::set<std::string> plates(const std::string& pdf) {
        std::filesystem::create_directories(dir.file("sep"));
        EXPECT_EQ(runCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffsep -r18 "
                             "-dFirstPage=1 -dLastPage=1 -sOutputFile=" +
                             dir.file("sep/p.tif") + " " + pdf),
                  0);
        std::set<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(dir.file("sep"))) {
            std::string f = e.path().filename().string();
            std::size_t open = f.find('('), close = f.rfind(')');
            if (open != std::string::npos && close != std::string::npos)
                names.insert(f.substr(open + 1, close - open - 1));
            std::filesystem::remove(e.path());
        }
        return names;
    }
};

}  // namespace

TEST_F(PressOutput, APdfxSourceGivesAnOutputIdentifiedAsPdfx) {
    // A PDF/X-4 file of the corpus: its output intent and identification go along, and
    // the metadata says what the document information says.
    std::string src = std::string(VEXA_CORPUS_DIR) + "/files/pikepdf__pdfx.pdf";
    std::string out = dir.file("x.pdf"), log;
    ASSERT_EQ(impose(src, dir.file("booklet-2up.pdf"), out, &log), 0) << log;
    EXPECT_EQ(runCommand("qpdf --check " + out + " >/dev/null"), 0);
    std::string text = qdf(out), source = qdf(src);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(source, m, std::regex("/OutputConditionIdentifier \\(([^)]*)\\)")));
    std::string condition = m[1];
    EXPECT_NE(text.find("/OutputIntents"), std::string::npos);
    EXPECT_NE(text.find("/S /GTS_PDFX"), std::string::npos);
    EXPECT_NE(text.find("/OutputConditionIdentifier (" + condition + ")"), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("<pdfxid:GTS_PDFXVersion>PDF/X-4[^<]*</pdfxid:GTS_PDFXVersion>")));
    EXPECT_TRUE(std::regex_search(text, std::regex("/Metadata [0-9]+ 0 R")));
    // Title and dates as the information dictionary has them.
    ASSERT_TRUE(std::regex_search(text, m, std::regex("/Title \\(([^)]*)\\)")));
    EXPECT_NE(text.find("<rdf:li xml:lang=\"x-default\">" + std::string(m[1]) + "</rdf:li>"),
              std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("/CreationDate \\(D:[0-9]{14}")));
    EXPECT_NE(text.find("<xmp:CreateDate>"), std::string::npos);
    // Only one source: no other output condition to warn about (the job's own warnings
    // about the letter-size page in smaller frames are beside the point here).
    EXPECT_EQ(log.find("output condition"), std::string::npos) << log;
}

TEST_F(PressOutput, LayersSwitchedOffInTheSourceStayOffOnTheSheet) {
    // The corpus' optional content with visibility expressions, imposed with the other
    // pages of a booklet: the sheet shows the page as the source does.
    std::string src = std::string(VEXA_CORPUS_DIR) + "/files/pdfjs__visibility_expressions.pdf";
    std::string out = dir.file("ve.pdf"), log;
    ASSERT_EQ(impose(src, dir.file("booklet-2up.pdf"), out, &log), 0) << log;
    std::string text = qdf(out);
    EXPECT_NE(text.find("/OCProperties"), std::string::npos);
    // The page draws dark texts over light ones, each on a layer or a visibility
    // expression; those its configuration hides stay hidden: the sheet has as much
    // dark ink as the source page (the other frames are empty, the trim lines hidden).
    auto dark = [&](const std::string& pdf, const std::string& name) {
        EXPECT_EQ(
            runCommand("pdftoppm -r 72 -gray -singlefile -f 1 -l 1 " + pdf + " " + dir.file(name)),
            0);
        vexa::test::Gray g = vexa::test::readPGM(dir.file(name + ".pgm"));
        return std::count_if(g.px.begin(), g.px.end(), [](uint8_t v) { return v < 128; });
    };
    long source = dark(src, "source"), sheet = dark(out, "sheet");
    EXPECT_GT(source, 1000);
    EXPECT_NEAR(sheet, source, source / 50);
}

TEST_F(PressOutput, HiddenTrimLinesMakeNoPlate) {
    if (runCommand("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    // The imposed file's frames are hidden: its trim lines print on no plate, and no
    // trim-lines separation is declared that a separating device would make a plate of.
    std::string out = dir.file("o.pdf"), log;
    ASSERT_EQ(impose(dir.file("brochure.pdf"), dir.file("booklet-2up.pdf"), out, &log), 0) << log;
    std::set<std::string> p = plates(out);
    EXPECT_FALSE(p.count("TL"));
    EXPECT_TRUE(p.count("Black"));
    EXPECT_TRUE(p.count("PANTONE 286 C"));
    std::string text = qdf(out);
    EXPECT_EQ(text.find("/TL"), std::string::npos);
    EXPECT_NE(text.find("/None"), std::string::npos);
}

TEST_F(PressOutput, EscapeWhileSheetsAreAddedStopsTheJob) {
    // Escape typed when the first of four template passes is added: no further sheet
    // is added, none is placed, and the job says it stopped.
    std::string s = dir.file("esc.vx");
    vexa::test::writeFile(s, "open " + dir.file("brochure.pdf") +
                                 "\n"
                                 "escape-at 1 \"Add sheets\"\n"
                                 "answer No\n"
                                 "menu Vexa:impose\n"
                                 "  choose " +
                                 dir.file("booklet-2up.pdf") +
                                 "\n"
                                 "  press 4\n"
                                 "  pick 12 1\n"
                                 "  press 1\n"
                                 "expect-docs 2\n");
    std::string out;
    ASSERT_EQ(runCommand(kVexa + " run " + s + " 2>&1", &out), 0) << out;
    std::string log =
        vexa::test::readFile((home.path() / "Documents" / "Orvanta" / "Vexa.txt").string());
    EXPECT_NE(log.find("imposed: 2 sheets, 0 pages placed, 0 empty frames, stopped"),
              std::string::npos)
        << log;
}
