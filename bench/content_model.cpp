// Speed of the page-content model: reading content into elements (the hot path of
// an imposition, which reads every source page once for its colour usage) and
// writing every element anew, on the corpus and on a generated 2,000-page job.
#include <benchmark/benchmark.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <filesystem>
#include <memory>

#include "core/Core.h"
#include "pde/Model.h"

using namespace vexa::host;
namespace fs = std::filesystem;

namespace {

struct PageData {
    std::shared_ptr<QPDF> q;
    std::string bytes;
    QPDFObjectHandle res;
};

// Decoded content of the first pages of every corpus file (read once).
std::vector<PageData>& corpus() {
    static std::vector<PageData> pages;
    if (!pages.empty()) return pages;
    setWarningSink([](const std::string&) {});
    fs::path dir = fs::path(VEXA_SOURCE_DIR) / ".." / "shared" / "corpus" / "files";
    if (!fs::exists(dir)) return pages;
    for (auto& f : fs::directory_iterator(dir)) {
        if (f.path().extension() != ".pdf") continue;
        auto q = std::make_shared<QPDF>();
        q->setSuppressWarnings(true);
        try {
            q->processFile(f.path().string().c_str(), "");
            auto all = QPDFPageDocumentHelper(*q).getAllPages();
            for (size_t i = 0; i < all.size() && i < 20; ++i) {
                auto c = pde::readPage(*q, all[i].getObjectHandle());
                pages.push_back({q, c->source->bytes, c->resources});
            }
        } catch (...) {
        }
    }
    return pages;
}

// A typical page of a book: text lines in two fonts, rules, an image, a frame.
std::string generatedPage(int n) {
    std::string s = "q 1 0 0 1 0 0 cm /Frame <</MCID " + std::to_string(n) + ">> BDC\n";
    s += "0.2 0.3 0.4 0.1 k 0.5 w 36 36 523 770 re S\n";
    s += "BT /F1 10 Tf 12 TL 1 0 0 1 56 780 Tm\n";
    for (int l = 0; l < 60; ++l) {
        s += "[(Line ) -20 (" + std::to_string(l) +
             " of the page with words that fill it) 30 (.)] TJ T*\n";
        if (l % 10 == 0) s += "/F2 10 Tf 1 0 0 rg (Emphasis) Tj 0 g /F1 10 Tf T*\n";
    }
    s += "ET\nq 200 0 0 100 56 100 cm /Im1 Do Q\nEMC Q\n";
    return s;
}

void BM_ParseCorpus(benchmark::State& st) {
    auto& pages = corpus();
    if (pages.empty()) {
        st.SkipWithError("no corpus");
        return;
    }
    size_t bytes = 0, elems = 0;
    for (auto _ : st) {
        for (auto& p : pages) {
            auto c = pde::parseContent(p.q.get(), p.bytes, p.res);
            elems += c->elems.size();
            bytes += p.bytes.size();
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(bytes));
    st.counters["pages"] = static_cast<double>(pages.size());
}
BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMillisecond);

void BM_WriteFullCorpus(benchmark::State& st) {
    auto& pages = corpus();
    if (pages.empty()) {
        st.SkipWithError("no corpus");
        return;
    }
    std::vector<pde::Ref<pde::Content>> parsed;
    for (auto& p : pages) parsed.push_back(pde::parseContent(p.q.get(), p.bytes, p.res));
    size_t bytes = 0;
    pde::WriteOptions o;
    o.forceFull = true;
    for (auto _ : st) {
        for (size_t i = 0; i < parsed.size(); ++i) {
            auto r = pde::writeContent(*parsed[i], *pages[i].q, o);
            bytes += pages[i].bytes.size();
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WriteFullCorpus)->Unit(benchmark::kMillisecond);

// Writing back what was not changed: the bytes that were read.
void BM_WriteUnchangedCorpus(benchmark::State& st) {
    auto& pages = corpus();
    if (pages.empty()) {
        st.SkipWithError("no corpus");
        return;
    }
    std::vector<pde::Ref<pde::Content>> parsed;
    for (auto& p : pages) {
        parsed.push_back(pde::parseContent(p.q.get(), p.bytes, p.res));
        parsed.back()->modified = true;
    }
    size_t bytes = 0;
    for (auto _ : st) {
        for (size_t i = 0; i < parsed.size(); ++i) {
            auto r = pde::writeContent(*parsed[i], *pages[i].q);
            bytes += pages[i].bytes.size();
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WriteUnchangedCorpus)->Unit(benchmark::kMillisecond);

// A 2,000-page job: every page read once and its colours looked at.
void BM_Generated2000Pages(benchmark::State& st) {
    QPDF q;
    q.emptyPDF();
    auto res = QPDFObjectHandle::parse(
        "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >> "
        "/F2 << /Type /Font /Subtype /Type1 /BaseFont /Times-Bold >> >> >>");
    std::vector<std::string> pages;
    size_t total = 0;
    for (int i = 0; i < 2000; ++i) {
        pages.push_back(generatedPage(i));
        total += pages.back().size();
    }
    size_t cmykPages = 0;
    for (auto _ : st) {
        for (auto& p : pages) {
            auto c = pde::parseContent(&q, p, res);
            bool cmyk = false;
            for (auto& e : c->elems)
                if (e->type == kPDEContainer)
                    for (auto& k : static_cast<pde::Container*>(e.get())->content->elems)
                        if (k->gs.stroke.space && k->gs.stroke.space->family == "DeviceCMYK")
                            cmyk = true;
            cmykPages += cmyk;
        }
    }
    benchmark::DoNotOptimize(cmykPages);
    st.SetBytesProcessed(static_cast<int64_t>(total * st.iterations()));
    st.counters["MB/job"] = total / 1e6;
}
BENCHMARK(BM_Generated2000Pages)->Unit(benchmark::kMillisecond);

void BM_Generated2000PagesWriteFull(benchmark::State& st) {
    QPDF q;
    q.emptyPDF();
    auto res = QPDFObjectHandle::parse("<< >>");
    std::vector<pde::Ref<pde::Content>> parsed;
    size_t total = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string p = generatedPage(i);
        total += p.size();
        parsed.push_back(pde::parseContent(&q, p, res));
    }
    pde::WriteOptions o;
    o.forceFull = true;
    for (auto _ : st)
        for (auto& c : parsed) benchmark::DoNotOptimize(pde::writeContent(*c, q, o));
    st.SetBytesProcessed(static_cast<int64_t>(total * st.iterations()));
}
BENCHMARK(BM_Generated2000PagesWriteFull)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
