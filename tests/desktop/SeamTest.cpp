// The seam: one script answered by both front ends gives the same document, the same
// settings and the same questions answered the same way; and the bundled template
// sessions run through vexa-studio --run build the templates the headless host builds.
#include <filesystem>
#include <fstream>
#include <regex>

#include "StudioFixture.h"
#include "headless/Session.h"

using namespace vexa::host;
using vexa::test::StudioFixture;

namespace {

// A template built with dialogs, a question answered No, a value out of range, a
// question answered Yes, a pop-up menu left without a choice and a file chooser.
std::string seamScript(const std::string& out) {
    return "menu Vexa:show\n"
           "ticks 6\n"
           "press new\n"
           "  set Width \"300 mm\"\n"
           "  set Height \"200 mm\"\n"
           "  toggle JobInfo off\n"
           "  press ok\n"
           "ticks 6\n"
           "press frames\n"
           "  set Rows 1\n"
           "  set Columns 2\n"
           "  set Width \"100 mm\"\n"
           "  set Height \"150 mm\"\n"
           "  press ok\n"
           "click 100mm 100mm\n"
           "type 7\n"
           "click 200mm 100mm\n"
           "type 8\n"
           "expect-frames 7 8\n"
           "press-key h\n"
           "  answer 2\n"
           "press marks\n"
           "  set Distance \"500 mm\"\n"
           "  press ok\n"
           "  expect-focus 4\n"
           "  set Distance \"3 mm\"\n"
           "  press ok\n"
           "press marks shift\n"
           "  answer 1\n"
           "right-click 100mm 100mm\n"
           "  menu-pick none\n"
           "press place\n"
           "  choose " VEXA_SOURCE_DIR
           "/examples/brochure.pdf\n"
           "ticks 6\n"
           "save " +
           out +
           "\n"
           "close\n";
}

struct Outcome {
    std::string document;  // normalised: no dates, no identifiers
    std::string settings;  // the preferences file without the palette's position
    std::vector<std::pair<std::string, int>> alerts;
    int beeps = 0;
};

std::string normalisedPdf(const std::string& path) {
    vexa::test::TempDir dir;
    std::string qdf = dir.file("qdf.pdf");
    std::string cmd =
        "qpdf --qdf --object-streams=disable --deterministic-id '" + path + "' '" + qdf + "'";
    EXPECT_EQ(vexa::test::runCommand(cmd), 0) << cmd;
    std::string text = vexa::test::readFile(qdf);
    return std::regex_replace(text, std::regex(".*(Date|/ID).*\n"), "");
}

std::string settingsOf(const std::filesystem::path& home) {
    for (auto& e : std::filesystem::recursive_directory_iterator(home))
        if (e.path().filename() == "Vexa.ini")
            return std::regex_replace(vexa::test::readFile(e.path().string()),
                                      std::regex("PalPos=.*\n"), "");
    return "";
}

template <typename Alerts>
std::vector<std::pair<std::string, int>> answered(const Alerts& alerts) {
    std::vector<std::pair<std::string, int>> out;
    for (auto& a : alerts) out.push_back({a.request.message, a.chosen});
    return out;
}

// The script run by the headless host in a home of its own: the alerts, the beeps and
// the preferences it leaves.
Outcome runHeadless(const std::string& script) {
    Outcome got;
    setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
    vexa::test::ScopedHome home;
    SessionOptions o;
    o.virtualClock = true;
    o.language = "ENU";
    o.pluginDirs = {VEXA_PLUGIN_DIR};
    {
        Session s(o);
        s.frontEnd().quiet = true;
        s.start();
        ScriptRunner r;
        r.load(script, "headless");
        EXPECT_NO_THROW(r.run());
        got.alerts = answered(s.frontEnd().alerts);
        got.beeps = s.frontEnd().beeps;
    }
    got.settings = settingsOf(home.path());
    ui::resetUi();
    return got;
}

class Seam : public StudioFixture {};

}  // namespace

TEST_F(Seam, BothFrontEndsAnswerTheSameScriptTheSameWay) {
    Outcome headless, desktop;
    vexa::test::TempDir out;
    ASSERT_NO_FATAL_FAILURE(headless = runHeadless(seamScript(out.file("headless.pdf"))));
    start();
    run(seamScript(out.file("desktop.pdf")));
    desktop.alerts = answered(fe().alerts);
    desktop.beeps = fe().beeps;
    TearDown();
    headless.document = normalisedPdf(out.file("headless.pdf"));
    desktop.document = normalisedPdf(out.file("desktop.pdf"));

    EXPECT_EQ(desktop.alerts, headless.alerts);
    ASSERT_EQ(headless.alerts.size(), 2u);
    EXPECT_EQ(headless.alerts[0].second, 2);
    EXPECT_EQ(headless.alerts[1].second, 1);
    EXPECT_EQ(desktop.beeps, headless.beeps);
    EXPECT_GE(headless.beeps, 1);  // the value out of range
    EXPECT_EQ(desktop.document, headless.document);
    EXPECT_GT(headless.document.size(), 1000u);
}

// The three bundled template sessions, run by vexa-studio --run as a program in a home
// of its own, save templates equal to the ones the build made headless: the same
// objects, and pages that render alike.
TEST(TemplateSessions, ThroughTheDesktopTheyBuildTheHeadlessTemplates) {
    for (const char* name : {"Booklet_2up_A4", "Signature_16_A4", "StepRepeat_8up_A4"}) {
        SCOPED_TRACE(name);
        vexa::test::TempDir home;
        for (const char* d : {"config", "Documents", "data", "tmp"})
            std::filesystem::create_directories(home.path() / d);
        std::string h = home.path().string();
        std::string cmd = "cd '" + h + "' && env -u VEXA_RESOURCES HOME='" + h +
                          "' XDG_CONFIG_HOME='" + h + "/config' XDG_DOCUMENTS_DIR='" + h +
                          "/Documents' XDG_DATA_HOME='" + h + "/data' TMPDIR='" + h +
                          "/tmp' QT_QPA_PLATFORM=offscreen " VEXA_BIN_DIR
                          "/vexa-studio --language ENU --virtual-clock --run " VEXA_TEMPLATE_SCRIPTS
                          "/" +
                          std::string(name) + ".vx";
        std::string output;
        ASSERT_EQ(vexa::test::runCommand(cmd, &output), 0) << output;
        std::string mine = home.file(std::string(name) + ".pdf");
        std::string bundled = StudioFixture::bundledTemplate(name);
        EXPECT_EQ(normalisedPdf(mine), normalisedPdf(bundled));
        std::string a = home.file("a"), b = home.file("b");
        ASSERT_EQ(vexa::test::runCommand("pdftoppm -r 24 -gray '" + mine + "' '" + a + "'"), 0);
        ASSERT_EQ(vexa::test::runCommand("pdftoppm -r 24 -gray '" + bundled + "' '" + b + "'"), 0);
        int pages = 0;
        for (auto& e : std::filesystem::directory_iterator(home.path())) {
            std::string f = e.path().filename().string();
            if (f.rfind("a-", 0) != 0) continue;
            ++pages;
            EXPECT_EQ(vexa::test::readFile(e.path().string()),
                      vexa::test::readFile(home.file("b" + f.substr(1))))
                << f << " renders differently";
        }
        EXPECT_GE(pages, 1);
    }
}

// The hot-folder dialog on screen (a folder chooser, a text field, a pop-up, a value
// field) writes the entries the headless session writes.
TEST_F(Seam, TheHotFolderDialogWritesWhatTheHeadlessOneWrites) {
    vexa::test::TempDir out;
    std::string base = out.file("jobs");
    std::string script =
        "menu Vexa:hotfolder\n"
        "  expect-dialog hotfolder\n"
        "  press add\n"
        "  choose \"" +
        base +
        "\"\n"
        "  set 20 \"" +
        out.file("a4-8up.pdf") +
        "\"\n"
        "  pick 24 2\n"
        "  set 26 \"2 mm\"\n"
        "  press ok\n";
    auto section = [](const std::string& ini) {
        std::size_t from = ini.find("[Hotfolder]");
        if (from == std::string::npos) return std::string();
        std::size_t to = ini.find("\n[", from + 1);
        return ini.substr(from, to == std::string::npos ? std::string::npos : to - from);
    };
    std::string headless = section(runHeadless(script).settings);
    ASSERT_TRUE(std::filesystem::is_directory(base + "/Out1"));
    std::filesystem::remove_all(base);
    start();
    run(script);
    std::string desktop = section(settingsOf(home()));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/Done1"));
    EXPECT_NE(headless.find("In1=" + base + "/In1"), std::string::npos) << headless;
    EXPECT_NE(headless.find("B1=K"), std::string::npos) << headless;
    EXPECT_EQ(desktop, headless);
}
