// Imposing from the window: the palette's impose button and the "Impose…" command
// bring up the imposition dialog, the result opens beside the source and prints as
// "vexa impose" prints the same choices; a job with errors offers its log, which opens
// with the desktop.
#include <QTabWidget>

#include <filesystem>
#include <regex>
#include <sstream>

#include "StudioFixture.h"

using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::StudioFixture;

namespace fs = std::filesystem;

namespace {

const std::string kRoot = std::string(VEXA_TEST_DATA) + "/../..";
const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";

class ImposeTest : public StudioFixture {
  protected:
    void SetUp() override {
        start();
        ASSERT_EQ(runCommand("python3 " + kRoot + "/tools/make_examples.py " + home().string()), 0);
        brochure = file("brochure.pdf");
        tmpl = file("booklet-2up.pdf");
        fe().setDesktopOpener([this](const std::string& path) {
            opened.push_back(path);
            return true;
        });
    }

    // The page boxes of every sheet, as pdfinfo lists them.
    static std::string boxes(const std::string& pdf) {
        std::string out;
        EXPECT_EQ(runCommand("pdfinfo -box -f 1 -l 999 " + pdf, &out), 0) << out;
        std::istringstream in(out);
        std::string line, kept;
        while (std::getline(in, line))
            if (line.rfind("Page ", 0) == 0 || line.rfind("Pages:", 0) == 0) kept += line + "\n";
        return kept;
    }

    // The sheets rendered at 40 dpi, one picture each.
    std::vector<std::string> pictures(const std::string& pdf, const std::string& stem) {
        EXPECT_EQ(runCommand("pdftoppm -r 40 " + pdf + " " + file(stem)), 0);
        std::vector<std::string> pics;
        for (int p = 1;; ++p) {
            std::string f = file(stem + "-" + std::to_string(p) + ".ppm");
            if (!fs::exists(f)) f = file(stem + "-0" + std::to_string(p) + ".ppm");
            if (!fs::exists(f)) break;
            pics.push_back(readFile(f));
        }
        return pics;
    }

    std::string brochure, tmpl;
    std::vector<std::string> opened;
};

TEST_F(ImposeTest, ThePalettesButtonAndTheMenuGiveTheSheetsOfTheCommandLine) {
    // Saddle stitch, TrimBox alignment, 0.2 mm creep, 95 %, pages 3 to 14.
    const std::string choices =
        "  expect-dialog IMPOSE\n"
        "  choose " +
        tmpl +
        "\n  press 4\n  press 18\n  pick 12 1\n  pick 16 1\n"
        "  set 13 0.2\n  set 17 95\n  set 14 3\n  set 15 14\n  answer No\n  press 1\n";
    run("menu Vexa:show\nticks 6\nopen " + brochure + "\nticks 6\npress 13\n" + choices);
    // The result stands in a window of its own beside the source, in front.
    ASSERT_EQ(window().tabs()->count(), 2);
    EXPECT_NE(app().frontDoc()->title, "brochure.pdf");
    EXPECT_EQ(window().currentPageView()->doc(), app().frontDoc());
    run("save " + file("button.pdf") + "\nclose\n");
    ASSERT_EQ(window().tabs()->count(), 1);

    run("menu Vexa:impose\n" + choices + "save " + file("menu.pdf") + "\n");
    ASSERT_EQ(window().tabs()->count(), 2);

    std::string out;
    ASSERT_EQ(runCommand(kVexa + " impose " + brochure + " -t " + tmpl +
                             " --binding saddle --align trimbox --creep 0.2mm --scale 95% "
                             "--pages 3-14 -o " +
                             file("line.pdf") + " 2>&1",
                         &out),
              0)
        << out;
    const std::string line = boxes(file("line.pdf"));
    EXPECT_TRUE(std::regex_search(line, std::regex("Pages: +6\n"))) << line;
    const std::vector<std::string> expected = pictures(file("line.pdf"), "line");
    ASSERT_EQ(expected.size(), 6u);
    for (const char* from : {"button", "menu"}) {
        SCOPED_TRACE(from);
        const std::string pdf = file(std::string(from) + ".pdf");
        EXPECT_EQ(runCommand("qpdf --check " + pdf + " > /dev/null"), 0);
        EXPECT_EQ(boxes(pdf), line);
        std::vector<std::string> got = pictures(pdf, from);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(got[i] == expected[i]) << "sheet " << i + 1;
    }
    EXPECT_TRUE(opened.empty());
}

TEST_F(ImposeTest, AJobWithErrorsOffersItsLogWhichOpensWithTheDesktop) {
    // A document without frames is not taken as the template: the job has none, fails
    // and says so.
    run("open " + brochure + "\nmenu Vexa:impose\n  choose " + brochure +
        "\n  press 4\n  answer No\n  press 1\nexpect-docs 1\n");
    EXPECT_TRUE(opened.empty());
    run("menu Vexa:impose\n  choose " + brochure + "\n  press 4\n  answer Yes\n  press 1\n");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(fs::path(opened[0]).filename(), "Vexa.txt");
    EXPECT_NE(readFile(opened[0]).find("no template given"), std::string::npos)
        << readFile(opened[0]);
    EXPECT_EQ(window().tabs()->count(), 1);
}

}  // namespace

namespace {

// The preferences dialog shares the log's way of opening files.
using PreferencesTest = ImposeTest;

TEST_F(PreferencesTest, OkWritesTheChoicesAndTheIniButtonOpensTheFileWithoutStoring) {
    const std::string ini = (home() / "config" / "Orvanta" / "Vexa.ini").string();
    // Dialog units in centimetres, drops on every document.
    run("menu Vexa:preferences\n  expect-dialog PREFS\n  expect-value 7 3\n"
        "  pick 7 4\n  toggle 8 on\n  press ok\n");
    std::string text = readFile(ini);
    EXPECT_NE(text.find("DlgUnits=4"), std::string::npos) << text;
    EXPECT_NE(text.find("DragDrop=1"), std::string::npos) << text;
    // The status bar measures in the new unit.
    EXPECT_EQ(vexa::host::desktop::MainWindow::dialogUnits(), 4);

    // "Vexa.ini…" opens the file and closes the dialog; what was picked is not kept.
    run("menu Vexa:preferences\n  expect-value 7 4\n  pick 7 1\n  press 10\n");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(fs::equivalent(opened[0], ini)) << opened[0];
    EXPECT_EQ(readFile(ini), text);
}

}  // namespace

namespace {

// With a template in front, the impose button and "Impose…" fill its frames from a
// chosen PDF instead, by the frames' box numbers, as the headless host does.
using PlaceTest = ImposeTest;

// The file as qpdf writes it out with a fixed /ID: equal for equal documents.
std::string normalized(const std::string& pdf, const std::string& to) {
    EXPECT_EQ(runCommand("qpdf --static-id --qdf --object-streams=disable " + pdf + " " + to), 0);
    return std::regex_replace(readFile(to), std::regex("/ID \\[<[0-9a-f]*>"), "/ID [<>");
}

TEST_F(PlaceTest, TheButtonAndTheMenuFillAnOpenTemplateAsTheHeadlessHostDoes) {
    for (const char* name : {"line", "button", "menu"})
        fs::copy_file(tmpl, file(std::string(name) + "-t.pdf"));

    // The same place in a scripted session of the headless host.
    const std::string script = file("place.vx");
    vexa::test::writeFile(script, "open " + file("line-t.pdf") + "\nmenu Vexa:impose\n  choose " +
                                      brochure + "\nsave " + file("line.pdf") + "\n");
    std::string out;
    ASSERT_EQ(runCommand(kVexa + " run --virtual-clock " + script + " 2>&1", &out), 0) << out;
    const std::string expected = normalized(file("line.pdf"), file("line-q.pdf"));
    // Something was placed: the filled sheets no longer print as the empty template.
    EXPECT_NE(normalized(tmpl, file("tmpl-q.pdf")), expected);

    const std::string log = (home() / "Documents" / "Orvanta" / "Vexa.txt").string();
    fs::remove(log);
    run("menu Vexa:show\nticks 6\nopen " + file("button-t.pdf") + "\nticks 6\n");
    // Cancelling the chooser leaves the template as it was.
    run("press 13\n  choose-cancel\n");
    EXPECT_FALSE(window().isWindowModified());
    run("expect-frame 4 content 0\nexpect-frame 1 content 0\n");
    run("press 13\n  choose " + brochure + "\nexpect-docs 1\nexpect-frame 4 content 2\n");
    EXPECT_TRUE(window().isWindowModified());
    EXPECT_NE(readFile(log).find("srcDoc: " + brochure + "\n"), std::string::npos) << readFile(log);
    run("save " + file("button.pdf") + "\nclose\n");

    run("open " + file("menu-t.pdf") + "\nmenu Vexa:impose\n  choose-cancel\n");
    EXPECT_FALSE(window().isWindowModified());
    run("menu Vexa:impose\n  choose " + brochure + "\nexpect-docs 1\nsave " + file("menu.pdf") +
        "\n");
    ASSERT_EQ(window().tabs()->count(), 1);

    EXPECT_EQ(normalized(file("button.pdf"), file("button-q.pdf")), expected);
    EXPECT_EQ(normalized(file("menu.pdf"), file("menu-q.pdf")), expected);
    // With a frame selected, only that frame is filled.
    run("close\nopen " + file("line-t.pdf") +
        "\nticks 6\nclick 200 300\nexpect-selected 4\n"
        "press 13\n  choose " +
        brochure + "\nexpect-frame 4 content 2\nexpect-frame 1 content 0\n");
    // The templates themselves were only read.
    EXPECT_EQ(readFile(file("button-t.pdf")), readFile(tmpl));
    EXPECT_TRUE(opened.empty());
}

}  // namespace
