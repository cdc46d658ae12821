// Job tickets in a hot folder: NAME.json beside NAME.pdf imposes that file with the
// ticket's choices over the entry's, and travels with it to the done folder or "Err".
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa --plugins " VEXA_PLUGIN_DIR;
const std::string kTemplates = std::string(VEXA_PLUGIN_DIR) + "/Vexa/templates/";

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> s;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(dir, ec)) s.insert(e.path().filename().string());
    return s;
}

int pages(const fs::path& pdf) {
    std::string n;
    runCommand("qpdf --show-npages '" + pdf.string() + "'", &n);
    return std::atoi(n.c_str());
}

struct HotfolderTicket : ::testing::Test {
    vexa::test::ScopedHome home;
    fs::path base;
    std::string output;

    void SetUp() override {
        base = home.path() / "hot";
        for (const char* f : {"In1", "Out1", "Done1"}) fs::create_directories(base / f);
        ASSERT_EQ(runCommand("python3 " + std::string(VEXA_TEST_DATA) +
                             "/../../tools/make_examples.py '" + home.path().string() + "'"),
                  0);
        configure("");
    }
    // The entry: the 2-up booklet, saddle stitch.
    void configure(const std::string& more) {
        fs::path dir = home.path() / "config" / "Orvanta";
        fs::create_directories(dir);
        writeFile((dir / "Vexa.ini").string(),
                  "[Hotfolder]\nIn1=" + (base / "In1").string() + "\nOut1=" +
                      (base / "Out1").string() + "\nDone1=" + (base / "Done1").string() +
                      "\nT1=" + kTemplates + "Booklet_2up_A4.pdf\nDelay=0\n" + more);
    }
    void drop(const std::string& name, const std::string& ticket) {
        fs::copy_file(home.path() / "brochure.pdf", base / "In1" / (name + ".pdf"));
        if (!ticket.empty()) writeFile((base / "In1" / (name + ".json")).string(), ticket);
    }
    int once() { return runCommand("timeout 120 " + kVexa + " hotfolder --once", &output); }
};

}  // namespace

TEST_F(HotfolderTicket, ATicketChoosesAnotherTemplateAndTravelsWithItsPdf) {
    drop("plain", "");
    // Relative to the folder the ticket was put in (folders there stay where they are).
    fs::create_directory(base / "In1" / "templates");
    fs::copy_file(kTemplates + "Signature_16_A4.pdf", base / "In1" / "templates" / "sig.pdf");
    drop("ticket", "{\"template\": \"templates/sig.pdf\", \"binding\": \"perfect\"}");
    EXPECT_EQ(once(), 0) << output;
    EXPECT_EQ(names(base / "Out1"), (std::set<std::string>{"plain.pdf", "ticket.pdf"})) << output;
    EXPECT_EQ(pages(base / "Out1" / "plain.pdf"), 8) << output;
    EXPECT_EQ(pages(base / "Out1" / "ticket.pdf"), 2) << output;
    EXPECT_EQ(names(base / "Done1"),
              (std::set<std::string>{"plain.pdf", "ticket.pdf", "ticket.json"}))
        << output;
    EXPECT_NE(output.find("\tjob ticket: " + (base / "In1" / "ticket.json").string()),
              std::string::npos)
        << output;
    EXPECT_FALSE(fs::exists(base / "Err"));
}

TEST_F(HotfolderTicket, ARefusedTicketSendsPdfAndTicketToErr) {
    drop("unknown", "{\"bindng\": \"perfect\"}");
    drop("output", "{\"output\": \"elsewhere.pdf\"}");
    drop("range", "{\"pages\": \"20-30\"}");
    EXPECT_EQ(once(), 1) << output;
    EXPECT_TRUE(names(base / "Out1").empty()) << output;
    EXPECT_EQ(names(base / "Err"),
              (std::set<std::string>{"unknown.pdf", "unknown.json", "output.pdf", "output.json",
                                     "range.pdf", "range.json"}))
        << output;
    std::string log = readFile((home.path() / "Documents/Orvanta/Vexa.txt").string());
    EXPECT_NE(log.find("unknown.json: unknown key \"bindng\""), std::string::npos) << log;
    EXPECT_NE(log.find("output.json: \"output\": a hot folder writes into its output folder"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("the range 20-30 begins after the last page"), std::string::npos) << log;
}

TEST_F(HotfolderTicket, ATicketFollowsAFileThatIsNoPdf) {
    writeFile((base / "In1" / "notes.pdf").string(), "not a PDF at all");
    writeFile((base / "In1" / "notes.json").string(), "{\"binding\": \"perfect\"}");
    once();
    // Left in the done folder with its ticket; nothing stays behind in the input folder.
    EXPECT_TRUE(names(base / "In1").empty()) << output;
    EXPECT_EQ(names(base / "Done1"), (std::set<std::string>{"notes.pdf", "notes.json"})) << output;
    // Sent on to "Err" when the set-up says so: the ticket goes along.
    configure("NonPdfToErr=1\n");
    writeFile((base / "In1" / "memo.pdf").string(), "not a PDF either");
    writeFile((base / "In1" / "memo.json").string(), "{}");
    once();
    EXPECT_EQ(names(base / "Err"), (std::set<std::string>{"memo.pdf", "memo.json"})) << output;
}
