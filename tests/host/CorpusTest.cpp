// Every file of the corpus of real PDFs: it opens (or fails with a clear host error
// where qpdf refuses it too), its page count, boxes and rotation agree with qpdf, and
// a full save of it reopens and checks as well as the original.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "TestSupport.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
namespace fs = std::filesystem;

namespace {

const PDModelHFT* P() {
    return doc::pdModelTable();
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    for (const char* set : {"files", "bad"}) {
        std::error_code ec;
        for (auto& e : fs::directory_iterator(fs::path(VEXA_CORPUS_DIR) / set, ec))
            if (e.is_regular_file() && e.path().extension() == ".pdf")
                files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// qpdf's page count, or -1 when qpdf cannot open the file.
int qpdfPages(const std::string& path) {
    std::string out;
    int rc = vexa::test::runCommand("(qpdf --show-npages " + quoted(path) + " 2>/dev/null)", &out);
    if (rc != 0 && rc != 3) return -1;  // 3: opened with warnings
    return std::atoi(out.c_str());
}

int qpdfCheck(const std::string& path) {
    return vexa::test::runCommand("qpdf --check " + quoted(path) + " >/dev/null");
}

ASFixedRect toRect(QPDFObjectHandle::Rectangle r) {
    auto f = [](double v) { return static_cast<ASFixed>(std::lround(v * 65536.0)); };
    return ASFixedRect{f(std::min(r.llx, r.urx)), f(std::max(r.lly, r.ury)),
                       f(std::max(r.llx, r.urx)), f(std::min(r.lly, r.ury))};
}

ASFixedRect clip(ASFixedRect r, const ASFixedRect& m) {
    r.left = std::clamp(r.left, m.left, m.right);
    r.right = std::clamp(r.right, m.left, m.right);
    r.bottom = std::clamp(r.bottom, m.bottom, m.top);
    r.top = std::clamp(r.top, m.bottom, m.top);
    return r;
}

void expectNear(const ASFixedRect& a, const ASFixedRect& b, const std::string& what) {
    // Reals in files carry more digits than 16.16 holds.
    const ASFixed tol = 2;
    EXPECT_NEAR(a.left, b.left, tol) << what;
    EXPECT_NEAR(a.bottom, b.bottom, tol) << what;
    EXPECT_NEAR(a.right, b.right, tol) << what;
    EXPECT_NEAR(a.top, b.top, tol) << what;
}

// The boxes and rotation qpdf's page helper reads, against the host's.
void compareBoxes(PDDoc d, const std::string& path) {
    QPDF ref;
    ref.setSuppressWarnings(true);
    ref.processFile(path.c_str());
    auto pages = QPDFPageDocumentHelper(ref).getAllPages();
    ASSERT_EQ(static_cast<ASInt32>(pages.size()), P()->PDDocGetNumPages(d));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::string at = "page " + std::to_string(i);
        PDPage page = P()->PDDocAcquirePage(d, static_cast<ASInt32>(i));
        QPDFObjectHandle mb = pages[i].getMediaBox();
        ASFixedRect media, crop, trim;
        P()->PDPageGetMediaBox(page, &media);
        if (mb.isRectangle()) expectNear(media, toRect(mb.getArrayAsRectangle()), at + " MediaBox");
        P()->PDPageGetCropBox(page, &crop);
        QPDFObjectHandle cb = pages[i].getCropBox();
        if (cb.isRectangle())
            expectNear(crop, clip(toRect(cb.getArrayAsRectangle()), media), at + " CropBox");
        P()->PDPageGetBox(page, atomFromString("TrimBox"), &trim);
        QPDFObjectHandle tb = pages[i].getObjectHandle().getKey("/TrimBox");
        if (tb.isRectangle())
            expectNear(trim, clip(toRect(tb.getArrayAsRectangle()), media), at + " TrimBox");
        QPDFObjectHandle rot = pages[i].getAttribute("/Rotate", false);
        int r = rot.isInteger() ? static_cast<int>(rot.getIntValue() % 360) : 0;
        if (r < 0) r += 360;
        if (r % 90) r = 0;
        EXPECT_EQ(P()->PDPageGetRotate(page), r) << at;
        P()->PDPageRelease(page);
    }
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, OpensMatchesQpdfAndSurvivesASave) {
    const std::string path = GetParam();
    vexa::test::TempDir tmp;
    const int expected = qpdfPages(path);
    auto quiet = setWarningSink(nullptr);
    PDDoc d = nullptr;
    try {
        d = P()->PDDocOpen(path.c_str(), true);
    } catch (const ASException& e) {
        setWarningSink(quiet);
        EXPECT_EQ(expected, -1) << "qpdf opens it, the host raised " << errorText(e.code());
        EXPECT_TRUE(e.code() == pdErrNotPDF || e.code() == pdErrDamaged ||
                    e.code() == pdErrEncrypted || e.code() == pdErrBadPageTree)
            << errorText(e.code());
        EXPECT_EQ(errorText(e.code()).find("Unknown"), std::string::npos);
        return;
    }
    ASSERT_NE(expected, -1) << "qpdf refuses the file, the host opened it";
    EXPECT_EQ(P()->PDDocGetNumPages(d), expected);
    compareBoxes(d, path);

    std::string out = tmp.file("saved.pdf");
    try {
        P()->PDDocSave(d, PDSaveFull, out.c_str());
    } catch (const ASException& e) {
        ADD_FAILURE() << "save failed: " << errorText(e.code());
    }
    P()->PDDocClose(d);
    setWarningSink(quiet);
    if (!fs::exists(out)) return;
    PDDoc re = P()->PDDocOpen(out.c_str(), false);
    EXPECT_EQ(P()->PDDocGetNumPages(re), expected);
    P()->PDDocClose(re);
    // qpdf --check: 0 clean, 3 warnings, 2 errors. The saved file is no worse than the
    // original (errors inside content streams are carried over as they are).
    int before = qpdfCheck(path), after = qpdfCheck(out);
    if (before == 0) {
        EXPECT_EQ(after, 0) << "qpdf --check of the saved file";
    } else if (before == 3) {
        EXPECT_NE(after, 2) << "the saved file has errors";
    }
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    return vexa::test::testNameOf(fs::path(info.param).parent_path().filename().string() + "_" +
                                  fs::path(info.param).stem().string());
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(corpusFiles()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Corpus);

}  // namespace
