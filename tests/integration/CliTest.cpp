// The vexa program as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using vexa::test::runCommand;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";

struct Cli : ::testing::Test {
    int vexa(const std::string& args, std::string* out) {
        return runCommand(kVexa + " " + args, out);
    }
    std::string script(const std::string& text) {
        std::string path = dir.file("s.vx");
        vexa::test::writeFile(path, text);
        return path;
    }
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
};

}  // namespace

TEST_F(Cli, VersionAndInfo) {
    std::string out;
    EXPECT_EQ(vexa("--version", &out), 0);
    EXPECT_EQ(out, "vexa 6.17\n");
    EXPECT_EQ(vexa("--language ENU info", &out), 0);
    EXPECT_NE(out.find("host version 11.0, language ENU"), std::string::npos) << out;
    EXPECT_NE(out.find("plug-in ORVA:Vexa: loaded"), std::string::npos) << out;
    EXPECT_NE(out.find("menu \"Vexa\" (Vexa:Vexa), after \"Window\":"), std::string::npos) << out;
    EXPECT_NE(out.find("(Vexa:hotfolder)"), std::string::npos) << out;
    EXPECT_NE(out.find("in \"AboutExtensions\": Vexa\xE2\x80\xA6  (Vexa:Vexa)"), std::string::npos)
        << out;
}

// A log that cannot be written is said once, and the work goes on; a log whose folders
// do not exist yet is no problem (they are made), and nothing is made by the check.
TEST_F(Cli, ALogFileThatCannotBeWrittenIsWarnedOf) {
    std::string out;
    vexa::test::writeFile(dir.file("plain"), "x");
    EXPECT_EQ(vexa("--log " + dir.file("plain") + "/Vexa.txt --version", &out), 0);
    EXPECT_NE(out.find("vexa: warning: nothing can be logged to " + dir.file("plain") +
                       "/Vexa.txt (" + dir.file("plain") + " is not a folder)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("vexa 6.17"), std::string::npos) << out;
    EXPECT_EQ(vexa("--log " + dir.path().string() + " --version", &out), 0);
    EXPECT_NE(out.find("(it is a folder)"), std::string::npos) << out;
    EXPECT_EQ(vexa("--log " + dir.file("new") + "/logs/Vexa.txt --version", &out), 0);
    EXPECT_EQ(out, "vexa 6.17\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("new")));
}

TEST_F(Cli, RefusedHostVersionIsReportedWithoutWaiting) {
    std::string out;
    EXPECT_EQ(vexa("--host-version 12.0 info </dev/null", &out), 0);
    EXPECT_NE(out.find("inert"), std::string::npos) << out;
    EXPECT_EQ(out.find("menu \"Vexa\""), std::string::npos) << out;
    EXPECT_NE(out.find("[OK*]"), std::string::npos) << out;  // the alert, answered by default
}

TEST_F(Cli, ScriptsRunAndFailWithOneClearLine) {
    std::string out;
    std::string ok = script("menu Vexa:info\nexpect-alert Vexa 6.17\nidle 2\nexpect-no-alert\n");
    EXPECT_EQ(vexa("run --virtual-clock " + ok, &out), 0) << out;
    std::string bad = script("menu Vexa:info\nexpect-alert Something else\n");
    EXPECT_EQ(vexa("run --virtual-clock " + bad, &out), 1);
    EXPECT_EQ(
        out.rfind("vexa: " + bad + ":2: expected an alert with \"Something else\", saw \"Vexa 6.17",
                  0),
        0u)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    // A check that lists the page's frames keeps to one line that reads: the frames
    // joined by "; ", no line break shown as "\n".
    std::string frames = script(
        "menu Vexa:show\nticks 6\npress new\n  set Width \"450 mm\"\n  set Height \"350 mm\"\n"
        "  toggle JobInfo on\n  press ok\nticks 6\nexpect-frames -1 1\n");
    EXPECT_EQ(vexa("--language ENU run --virtual-clock " + frames, &out), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.find("\\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":9: the page's frames are -1; frames: [0] box -1 rect "), std::string::npos)
        << out;
    // So does a dialog the script leaves waiting: its controls joined by "; ".
    std::string open = script("menu Vexa:show\nticks 6\npress new\n");
    EXPECT_EQ(vexa("--language ENU run --virtual-clock " + open, &out), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.find("\\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(controls: "), std::string::npos) << out;
    EXPECT_NE(out.find("; 7 "), std::string::npos) << out;
    EXPECT_NE(out.find(") waited for an answer"), std::string::npos) << out;
    // And a control the dialog does not have: the ones it has, joined by "; ".
    std::string wrong = script("menu Vexa:show\nticks 6\npress 999\n");
    EXPECT_EQ(vexa("--language ENU run --virtual-clock " + wrong, &out), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.find("\\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":3: dialog \"PALETTE\" has no control \"999\"; its controls: 1 button "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("; 14 button "), std::string::npos) << out;
    EXPECT_EQ(vexa("run " + dir.file("missing.vx"), &out), 1);
    EXPECT_NE(out.find("cannot read the script"), std::string::npos);
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    std::string out;
    EXPECT_EQ(vexa("frobnicate", &out), 2);
    EXPECT_NE(out.find("unknown command \"frobnicate\""), std::string::npos);
    EXPECT_EQ(vexa("--host-version x info", &out), 2);
    // A language the program does not have is refused, not quietly taken as English.
    EXPECT_EQ(vexa("--language EN info", &out), 2);
    EXPECT_NE(out.find("--language takes ENU, DEU, FRA or NLD, not EN\n"), std::string::npos)
        << out;
    EXPECT_EQ(vexa("--language deu info", &out), 0);
    EXPECT_NE(out.find("language DEU"), std::string::npos) << out;
    EXPECT_EQ(vexa("", &out), 2);
    EXPECT_EQ(vexa("--help", &out), 0);
    EXPECT_NE(out.find("usage: vexa"), std::string::npos);
}

TEST_F(Cli, ScriptsOpenAndCloseDocuments) {
    std::string out;
    std::string corpus = VEXA_CORPUS_DIR;
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    std::string s = script("open " + corpus +
                           "/files/pdfjs__type4psfunc.pdf\n"
                           "open \"" +
                           corpus +
                           "/files/fmtcorpus__392154.pdf\"\n"
                           "expect-docs 2\nexpect-front fmtcorpus__392154.pdf\n"
                           "front pdfjs__type4psfunc.pdf\nclose\n"
                           "expect-front fmtcorpus__392154.pdf\nclose all\nexpect-docs 0\n");
    EXPECT_EQ(vexa("run --virtual-clock " + s, &out), 0) << out;
    s = script("open " + corpus + "/bad/pdfbox__PasswordSample-128bit.pdf\n");
    EXPECT_EQ(vexa("run --virtual-clock " + s, &out), 1);
    EXPECT_NE(out.find(":1: cannot open "), std::string::npos) << out;
    EXPECT_NE(out.find("encrypted"), std::string::npos) << out;
    s = script("close\n");
    EXPECT_EQ(vexa("run --virtual-clock " + s, &out), 1);
    EXPECT_NE(out.find("no document is open"), std::string::npos) << out;
}

TEST_F(Cli, TheExampleTourRuns) {
    std::string out;
    EXPECT_EQ(vexa("--language ENU run --virtual-clock " + std::string(VEXA_SOURCE_DIR) +
                       "/examples/tour.vx",
                   &out),
              0)
        << out;
    EXPECT_NE(out.find("answers its menu"), std::string::npos) << out;
}

// A service's files named on the command line: the hot folders come from that
// preferences file and every line goes to that log, not to the user's own files.
TEST_F(Cli, ConfigAndLogFilesNamedOnTheCommandLine) {
    std::string out;
    std::string ini = dir.file("etc/Vexa.ini"), log = dir.file("log/Vexa.txt");
    std::filesystem::create_directories(dir.path() / "etc");
    std::filesystem::create_directories(dir.path() / "log");
    std::filesystem::create_directories(dir.path() / "In1");
    vexa::test::writeFile(ini, "[Hotfolder]\n; the shop's hot folder\nIn1=" + dir.file("In1") +
                                   "\nOut1=" + dir.file("Out1") + "\nDone1=" + dir.file("Done1") +
                                   "\n");
    std::string args = "--config " + ini + " --log " + log + " ";
    EXPECT_EQ(vexa(args + "info", &out), 0) << out;
    EXPECT_NE(out.find("preferences: " + ini + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("log: " + log + "\n"), std::string::npos) << out;
    EXPECT_EQ(vexa(args + "hotfolder --list", &out), 0) << out;
    EXPECT_NE(out.find("Hotfolder 1:\t" + dir.file("In1")), std::string::npos) << out;
    EXPECT_NE(vexa::test::readFile(log).find("Hotfolder 1:\t" + dir.file("In1")),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.path() / "Documents/Orvanta/Vexa.txt"));
    EXPECT_EQ(vexa("--config", &out), 2);
    EXPECT_NE(out.find("--config needs a value"), std::string::npos) << out;
    // A mistyped file name: the message says the file is not there, and nothing is made.
    std::string typo = dir.file("etc/Vexa.in");
    EXPECT_EQ(vexa("--config " + typo + " hotfolder --once", &out), 2);
    EXPECT_NE(out.find("vexa: no hot folder is configured: the preferences file " + typo +
                       " does not exist\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(std::filesystem::exists(typo));
}
