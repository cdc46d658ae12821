// Page-view commands in the vexa program, with the plug-ins loaded.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace {

TEST(ViewCli, ScriptedPageViewsOfARealFile) {
    std::string corpus = VEXA_CORPUS_DIR;
    if (!std::filesystem::exists(corpus + "/files/qpdf__rotated.pdf")) GTEST_SKIP() << "no corpus";
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    std::string text = vexa::test::readFile(std::string(VEXA_TEST_DATA) + "/scripts/pages.vexa");
    for (std::size_t at; (at = text.find("${CORPUS}")) != std::string::npos;)
        text.replace(at, 9, corpus);
    std::string path = dir.file("pages.vexa");
    vexa::test::writeFile(path, text);
    std::string out;
    int rc = vexa::test::runCommand(std::string(VEXA_BIN_DIR) + "/vexa run --virtual-clock " + path,
                                    &out);
    EXPECT_EQ(rc, 0) << out;
    // A failing check names the line and what the view shows.
    vexa::test::writeFile(path, "open " + corpus + "/files/qpdf__rotated.pdf\nexpect-page 3\n");
    rc = vexa::test::runCommand(std::string(VEXA_BIN_DIR) + "/vexa run --virtual-clock " + path,
                                &out);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find("pages.vexa:2: the current page is 1"), std::string::npos) << out;
}

}  // namespace
