// Fidelity over the corpus: every sampled page is read into the content model and
// written back (a) with its unchanged elements copied as original bytes and (b) with
// every element re-serialized; the pages are rendered and compared pixel by pixel
// with the original.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "TestSupport.h"
#include "core/Core.h"
#include "pde/Model.h"

using namespace vexa::host;
namespace fs = std::filesystem;

namespace {

constexpr int kPagesPerFile = 3;

struct Image {
    int w = 0, h = 0;
    std::string pixels;
};

bool readPpm(const std::string& path, Image& img) {
    std::string d = vexa::test::readFile(path);
    if (d.size() < 3 || d[0] != 'P' || d[1] != '6') return false;
    size_t pos = 2;
    int vals[3], k = 0;
    while (k < 3 && pos < d.size()) {
        while (pos < d.size() && isspace(static_cast<unsigned char>(d[pos]))) ++pos;
        size_t s = pos;
        while (pos < d.size() && isdigit(static_cast<unsigned char>(d[pos]))) ++pos;
        vals[k++] = std::atoi(d.substr(s, pos - s).c_str());
    }
    ++pos;
    img.w = vals[0];
    img.h = vals[1];
    img.pixels = d.substr(pos);
    return true;
}

// Renders page (1-based) of a file at 50 dpi.
bool render(const std::string& pdf, int page, const std::string& outBase, Image& img) {
    std::string cmd = "pdftoppm -r 50 -f " + std::to_string(page) + " -l " + std::to_string(page) +
                      " -singlefile '" + pdf + "' '" + outBase + "'";
    if (vexa::test::runCommand("timeout 60 " + cmd) != 0) return false;
    return readPpm(outBase + ".ppm", img);
}

// Share of pixels differing by more than `tol` in some channel.
double diffShare(const Image& a, const Image& b, int tol) {
    if (a.w != b.w || a.h != b.h || a.pixels.size() != b.pixels.size()) return 1.0;
    size_t bad = 0, n = a.pixels.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            int d = std::abs(static_cast<unsigned char>(a.pixels[i * 3 + c]) -
                             static_cast<unsigned char>(b.pixels[i * 3 + c]));
            if (d > tol) {
                ++bad;
                break;
            }
        }
    }
    return n ? static_cast<double>(bad) / n : 0;
}

// Pages not yet reproduced, with the reason. The test fails when a page outside the
// list differs, and reports listed pages that have become identical.
const std::map<std::string, std::string> kKnownUnchanged = {
    {"pymupdf__bug1945#1",
     "a soft-masked shadow clipped at x = 18 pt: one column of edge pixels differs"},
    {"fmtcorpus__507676#1", "corrupted content: the original shows garbage that the reader drops"},
};
const std::map<std::string, std::string> kKnownFull = {
    {"pdfjs__prefilled_f1040#2",
     "re-serialized text placed with explicit matrices: glyph edge pixels differ (0.12 %)"},
    {"fmtcorpus__507676#1", "corrupted content: the original shows garbage that the reader drops"},
};

}  // namespace

TEST(FidelityCorpus, UnchangedAndReserializedPagesRenderAlike) {
    fs::path dir = fs::path(VEXA_CORPUS_DIR) / "files";
    if (!fs::exists(dir)) GTEST_SKIP() << "no corpus";
    if (vexa::test::runCommand("pdftoppm -v") < 0) GTEST_SKIP() << "no pdftoppm";
    vexa::test::TempDir tmp;
    setWarningSink([](const std::string&) {});
    std::vector<fs::path> files;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    const char* only = std::getenv("VEXA_FIDELITY_ONLY");
    int pagesChecked = 0;
    std::vector<std::string> failuresA, failuresB, notes;
    for (auto& f : files) {
        std::string base = f.stem().string();
        if (only && base.find(only) == std::string::npos) continue;
        for (int variant = 0; variant < 2; ++variant) {
            QPDF q;
            q.setSuppressWarnings(true);
            std::vector<int> pages;
            try {
                q.processFile(f.string().c_str(), "");
                auto all = QPDFPageDocumentHelper(q).getAllPages();
                for (int i = 0; i < static_cast<int>(all.size()) && i < kPagesPerFile; ++i) {
                    auto page = all[i].getObjectHandle();
                    auto c = pde::readPage(q, page);
                    pde::WriteOptions wo;
                    wo.forceFull = variant == 1;
                    c->modified = true;  // write it even though nothing changed
                    pde::storePage(q, page, *c, wo);
                    pages.push_back(i + 1);
                }
                QPDFWriter w(q, tmp.file(base + std::to_string(variant) + ".pdf").c_str());
                w.setStaticID(true);
                w.write();
            } catch (ASException& e) {
                notes.push_back(base + ": host error " + std::to_string(e.code()));
                continue;
            } catch (std::exception& e) {
                notes.push_back(base + ": " + e.what());
                continue;
            }
            for (int p : pages) {
                Image orig, mine;
                std::string key = base + "#" + std::to_string(p);
                if (!render(f.string(), p, tmp.file("o"), orig)) {
                    notes.push_back(key + ": original does not render");
                    continue;
                }
                if (!render(tmp.file(base + std::to_string(variant) + ".pdf"), p, tmp.file("m"),
                            mine)) {
                    (variant ? failuresB : failuresA).push_back(key + " (no render)");
                    continue;
                }
                // poppler renders a few rewritten pages differently from one run to
                // the next (font substitution for unembedded fonts): a differing
                // render is taken again, and the page counts as reproduced when any
                // of six renders matches.
                auto differs = [&](const Image& m) {
                    return variant == 0 ? orig.pixels != m.pixels : diffShare(orig, m, 8) > 0.001;
                };
                for (int again = 0; again < 5 && differs(mine); ++again) {
                    Image retry;
                    if (!render(tmp.file(base + std::to_string(variant) + ".pdf"), p, tmp.file("m"),
                                retry))
                        break;
                    if (!differs(retry)) {
                        notes.push_back(key + ": renders differ between runs of the same file");
                        mine = retry;
                    }
                }
                if (variant == 0) {
                    ++pagesChecked;
                    if (orig.pixels != mine.pixels) {
                        if (!kKnownUnchanged.count(key)) failuresA.push_back(key);
                    } else if (kKnownUnchanged.count(key)) {
                        notes.push_back(key + ": listed but now identical (unchanged)");
                    }
                } else {
                    // re-serialized numbers are rounded to 4..12 decimals: anti-aliased
                    // edges may move by one level
                    double share = diffShare(orig, mine, 8);
                    if (share > 0.001 && !kKnownFull.count(key))
                        failuresB.push_back(key + " (" + std::to_string(share * 100) + "%)");
                    else if (share <= 0.001 && kKnownFull.count(key))
                        notes.push_back(key + ": listed but now reproduced (re-serialized)");
                }
            }
        }
    }
    for (auto& n : notes) std::cout << "note: " << n << "\n";
    for (auto& n : failuresA) std::cout << "unchanged differs: " << n << "\n";
    for (auto& n : failuresB) std::cout << "re-serialized differs: " << n << "\n";
    std::cout << "pages checked: " << pagesChecked << "\n";
    EXPECT_TRUE(failuresA.empty());
    EXPECT_TRUE(failuresB.empty());
}
