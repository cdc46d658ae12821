#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "Common/ErrorHandling.h"
#include "settings/MyStrings.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

class Log : public ::testing::Test {
  protected:
    void SetUp() override {
        logPath_ = (host_.home() / "Documents" / "Orvanta" / "Vexa.txt").string();
        setupDump(1);
        setEHMode(kEHAlert);
    }
    void TearDown() override {
        setLogMode(0);
        setEHMode(kEHUnset);
    }
    std::string log() const { return fs::exists(logPath_) ? readFile(logPath_) : ""; }
    std::vector<vexa::host::HeadlessFrontEnd::ShownAlert>& alerts() {
        return host_.session().frontEnd().alerts;
    }
    vexa::test::SettingsTestHost host_;
    std::string logPath_;
};

}  // namespace

TEST_F(Log, TheLogLivesInDocumentsAndIsAppendedLineByLine) {
    EXPECT_EQ(std::string(getDumpPath()), logPath_);
    EXPECT_TRUE(fs::is_directory(fs::path(logPath_).parent_path()));
    dprintf("Processing: %s\n", "a.pdf");
    EXPECT_EQ(log(), "Processing: a.pdf\n");
    dprintf("\t%d bytes\n", 12);
    dump("raw\n");
    EXPECT_EQ(log(), "Processing: a.pdf\n\t12 bytes\nraw\n");
    dumpTime("\n", nullptr);
    EXPECT_TRUE(std::regex_search(log(), std::regex("raw\n\n[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\n$")));
}

TEST_F(Log, LogModeZeroWritesNothing) {
    setLogMode(0);
    dprintf("hidden %d\n", 1);
    dump("hidden\n");
    dumpTime();
    EXPECT_EQ(log(), "");
}

TEST_F(Log, SizeLimitsAtStartUp) {
    writeFile(logPath_, std::string(100000, 'x'));
    setupDump(1);
    EXPECT_EQ(fs::file_size(logPath_), 100000u);
    writeFile(logPath_, std::string(100001, 'x'));
    setupDump(1);
    EXPECT_FALSE(fs::exists(logPath_));
    writeFile(logPath_, std::string(2000, 'x'));
    clearDump(2000);
    EXPECT_TRUE(fs::exists(logPath_));
    clearDump(1999);
    EXPECT_FALSE(fs::exists(logPath_));
}

TEST_F(Log, ErrorsAreLoggedAndCountedInModeTwoAndShownOtherwise) {
    vexa::host::setErrorText(genErrBadParm, "a bad parameter");
    EXPECT_EQ(setEHMode(kEHLog), kEHAlert);
    size_t shown = alerts().size();
    try {
        asRaise(genErrBadParm);
    } catch (const ASException& e) {
        doExceptionError(3, e.code());
    }
    DURING
    asRaise(genErrBadParm);
    HANDLER
    doExceptionError(0, ERRORCODE);
    END_HANDLER
    EXPECT_EQ(getErrorCnt(), 2);
    EXPECT_EQ(alerts().size(), shown);
    EXPECT_EQ(log(), "\t####\tPage 3: a bad parameter\n\t####\ta bad parameter\n");
    EXPECT_EQ(setEHMode(kEHAlert), kEHLog);
    EXPECT_EQ(getErrorCnt(), 0);
    doExceptionError(0, genErrBadParm);
    EXPECT_EQ(getErrorCnt(), 0);
    ASSERT_EQ(alerts().size(), shown + 1);
    EXPECT_EQ(alerts().back().request.message, "a bad parameter");
    // Mode 0 behaves like 1.
    setEHMode(kEHUnset);
    doExceptionError(0, genErrBadParm);
    EXPECT_EQ(alerts().size(), shown + 2);
    // A long host text is cut to 255 bytes.
    vexa::host::setErrorText(genErrLimitExceeded, std::string(300, 'e'));
    setEHMode(kEHLog);
    std::string before = log();
    doExceptionError(0, genErrLimitExceeded);
    EXPECT_EQ(log().size() - before.size(), 255u + 7);
}

TEST_F(Log, MessageBoxesFormatTheirKeyAndOfferTheLookedUpButtons) {
    EXPECT_EQ(msgBox("versionErr", "Vexa"), 1);
    auto& a = alerts().back().request;
    EXPECT_EQ(a.message, "Vexa is not compatible with this version of Adobe Acrobat!");
    ASSERT_EQ(a.buttons.size(), 1u);
    EXPECT_EQ(a.buttons[0], "OK");
    msgBox("no key %d here", 7);
    EXPECT_EQ(alerts().back().request.message, "no key 7 here");
    msgBoxYesNo("dupHor");
    EXPECT_EQ(alerts().back().request.buttons, (std::vector<std::string>{"Yes", "No"}));
    setMsg2("inimoved");
    msgBoxYesNo("imposeErr");
    EXPECT_NE(alerts().back().request.message.find("\n\nThe file \"Vexa.ini\" was moved"),
              std::string::npos);
    // The secondary text is released after the box.
    msgBox("ok");
    EXPECT_EQ(alerts().back().request.message, "OK");
    std::string longKey(400, 'k');
    msgBox(longKey.c_str());
    EXPECT_EQ(alerts().back().request.message.size(), 255u);
}
