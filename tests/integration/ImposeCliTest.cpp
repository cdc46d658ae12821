// "vexa impose" as a print shop runs it: the example brochure into the booklet
// template, page order on every sheet read back from the text, renderings of placed
// pages against their source pages, and failures that leave no output behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <utility>
#include <vector>

#include "TestSupport.h"

using vexa::test::runCommand;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
const std::string kRoot = std::string(VEXA_TEST_DATA) + "/../..";

using Sheet = std::pair<int, int>;  // page numbers in the left and right frame

struct ImposeCli : ::testing::Test {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    std::string brochure, tmpl;

    void SetUp() override {
        ASSERT_EQ(runCommand("python3 " + kRoot + "/tools/make_examples.py " + dir.path().string()),
                  0);
        brochure = dir.file("brochure.pdf");
        tmpl = dir.file("booklet-2up.pdf");
    }

    int impose(const std::string& args, std::string* out = nullptr) {
        return runCommand(kVexa + " impose " + brochure + " -t " + tmpl + " " + args + " 2>&1",
                          out);
    }

    // "Page N" words of each sheet, left frame first (the spine is at x = 453.5).
    static std::vector<Sheet> order(const std::string& pdf) {
        std::string xml;
        EXPECT_EQ(runCommand("pdftotext -bbox " + pdf + " -", &xml), 0);
        std::vector<Sheet> sheets;
        std::regex page("<page "), word("<word xMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
        std::size_t pos = 0;
        std::vector<std::string> chunks;
        while ((pos = xml.find("<page ", pos)) != std::string::npos) {
            std::size_t end = xml.find("</page>", pos);
            chunks.push_back(xml.substr(pos, end - pos));
            pos = end;
        }
        for (const std::string& c : chunks) {
            Sheet s{0, 0};
            std::string prev;
            for (std::sregex_iterator it(c.begin(), c.end(), word), e; it != e; ++it) {
                std::string text = (*it)[2];
                double x = std::stod((*it)[1]);
                if (prev == "Page" && !text.empty() &&
                    std::isdigit(static_cast<unsigned char>(text[0])))
                    (x < 453.5 ? s.first : s.second) = std::stoi(text);
                prev = text;
            }
            sheets.push_back(s);
        }
        return sheets;
    }
};

}  // namespace

TEST_F(ImposeCli, SaddleStitchBookletBesideTheSource) {
    std::string out;
    ASSERT_EQ(impose("", &out), 0) << out;
    std::string result = dir.file("brochure_M.pdf");
    EXPECT_NE(out.find(result + ": 8 sheets, 16 pages placed, 0 empty frames"), std::string::npos)
        << out;
    EXPECT_EQ(runCommand("qpdf --check " + result + " >/dev/null"), 0);
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
    auto crop = [&](const std::string& pdf, int page, int x, int y, const std::string& name) {
        std::string base = dir.file(name);
        EXPECT_EQ(runCommand("pdftoppm -r 144 -singlefile -f " + std::to_string(page) + " -l " +
                             std::to_string(page) + " -x " + std::to_string(x) + " -y " +
                             std::to_string(y) + " -W 840 -H 1190 " + pdf + " " + base),
                  0);
        return vexa::test::readFile(base + ".ppm");
    };
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
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
    EXPECT_NE(runCommand(kVexa + " impose " + dir.file("missing.pdf") + " -o " + dir.file("y.pdf") +
                             " 2>&1",
                         &out),
              0);
    EXPECT_NE(out.find("no such file"), std::string::npos) << out;
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
