// A user gives a frame bleed through the tool's context menu in a scripted session of
// the vexa program; the saved template is read back.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// One 842 x 595 sheet stamped by Vexa with frame 1 at 40..400 x 40..555.
std::string templateFile() {
    const std::string content = "/MC /F0 BDC\nEMC\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R /Vexa << /PaperRect [0 0 842 595] /Frames 1 >> >>",
        "<< /Type /Pages /Count 1 /Kids [4 0 R] >>",
        "<< /Creator (Vexa 6.17) >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 595]"
        " /Resources << /Properties << /F0 6 0 R >> >> /Contents 5 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /boxnum 1 /left 40 /top 555 /right 400 /bottom 40 /rotation 0 >>"};
    return vexa::test::pdfFile(objects, 3);
}

TEST(SheetBleed, ContextMenuBleedGrowsTheFrameAroundItsTrim) {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    vexa::test::writeFile(dir.file("template.pdf"), templateFile());
    std::string result = dir.file("bled.pdf");
    vexa::test::writeFile(dir.file("bleed.vx"), "open " + dir.file("template.pdf") +
                                                    "\nbutton ORVA:Vexa\n"
                                                    "right-click 200 300\n"
                                                    "  menu-pick \"Bleeding…\"\n"
                                                    "  expect-dialog BLEEDING2\n"
                                                    "  expect-text 4 \"0 mm\"\n"
                                                    "  set 4 \"3 mm\"\n"
                                                    "  set 5 \"2 pt\"\n"
                                                    "  press OK\n"
                                                    "save " +
                                                    result + "\n");
    std::string out;
    ASSERT_EQ(vexa::test::runCommand(std::string(VEXA_BIN_DIR) +
                                         "/vexa --language ENU run --virtual-clock " +
                                         dir.file("bleed.vx") + " 2>&1",
                                     &out),
              0)
        << out;
    ASSERT_EQ(vexa::test::runCommand("qpdf --check " + result + " >/dev/null"), 0);
    QPDF pdf;
    pdf.processFile(result.c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 1u);
    QPDFObjectHandle frame =
        pages[0].getObjectHandle().getKey("/Resources").getKey("/Properties").getKey("/F0");
    ASSERT_TRUE(frame.isDictionary());
    auto num = [&](const char* key) { return frame.getKey(key).getNumericValue(); };
    EXPECT_NEAR(num("/bt"), 3 * 72 / 25.4, 0.001);
    EXPECT_NEAR(num("/bl"), 2, 0.001);
    EXPECT_NEAR(num("/top"), 555 + 3 * 72 / 25.4, 0.001);
    EXPECT_NEAR(num("/left"), 38, 0.001);
    EXPECT_NEAR(num("/right"), 400, 0.001);
    EXPECT_NEAR(num("/bottom"), 40, 0.001);
}

}  // namespace
