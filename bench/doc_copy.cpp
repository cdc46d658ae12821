// Copying every page of a 2,000-page document into a new document and saving it,
// through the host's document engine, next to the qpdf command line doing the same
// (qpdf --empty --pages in.pdf -- out.pdf) on the same input.
//
// The input is built once from a 155-page file of the corpus, repeated and cut to
// 2,000 pages (VEXA_BENCH_INPUT names another input instead).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/Core.h"
#include "doc/DocInternal.h"

namespace fs = std::filesystem;
using namespace vexa::host;

namespace {

fs::path workDir() {
    static fs::path dir = [] {
        fs::path d =
            fs::temp_directory_path() / ("vexa-bench-doc-copy-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

const std::string& input() {
    static std::string path = [] {
        if (const char* env = std::getenv("VEXA_BENCH_INPUT")) return std::string(env);
        fs::path src = fs::path(VEXA_SOURCE_DIR) / ".." / "shared" / "corpus" / "files" /
                       "pymupdf__test-3820.pdf";
        fs::path big = workDir() / "in2000.pdf";
        std::string cmd = "qpdf --empty --pages";
        for (int i = 0; i < 13; ++i) cmd += " '" + src.string() + "'";
        cmd += " -- '" + (workDir() / "rep.pdf").string() + "' && qpdf --empty --pages '" +
               (workDir() / "rep.pdf").string() + "' 1-2000 -- '" + big.string() + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "cannot build the input: %s\n", cmd.c_str());
        return big.string();
    }();
    return path;
}

// state.range(0): the minor PDF version to save with; 0 keeps the source's version
// (1.7 here: object streams are written), 4 forces 1.4 (no object streams, as the
// qpdf command line writes this input).
void HostCopyAllPagesAndSave(benchmark::State& state) {
    const PDModelHFT* P = doc::pdModelTable();
    std::string out = (workDir() / "host-out.pdf").string();
    setWarningSink(nullptr);
    PDDocSaveParamsRec params{};
    params.size = sizeof params;
    params.saveFlags = PDSaveFull;
    params.newPath = out.c_str();
    params.major = state.range(0) ? 1 : 0;
    params.minor = static_cast<ASInt32>(state.range(0));
    for (auto _ : state) {
        PDDoc src = P->PDDocOpen(input().c_str(), true);
        PDDoc dst = P->PDDocCreate();
        P->PDDocInsertPages(dst, PDLastPage, src, 0, PDAllPages, 0);
        P->PDDocClose(src);  // the destination keeps what it needs
        P->PDDocSaveWithParams(dst, &params);
        P->PDDocClose(dst);
    }
    state.counters["pages"] = 2000;
    state.counters["MB_out"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

void QpdfCommandLine(benchmark::State& state) {
    std::string out = (workDir() / "qpdf-out.pdf").string();
    std::string cmd = "qpdf --empty --pages '" + input() + "' -- '" + out + "'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("qpdf failed");
    state.counters["MB_out"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

BENCHMARK(HostCopyAllPagesAndSave)
    ->Arg(0)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(QpdfCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    input();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
