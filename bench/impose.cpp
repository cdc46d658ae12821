// Speed of the imposition engine in process: the example brochure generated at 200,
// 2,000 and (written ahead only) 20,000 pages, imposed into the 2-up booklet template and saved, as
// an ordinary document and written ahead (as the command line and the hot folder do). For
// profiling; the comparison with other programs is run with the shared peer harness.
// "held_MB" is the heap the job holds when the imposing ends, over what the source
// holds read whole: with the output written ahead it stays about the same from 200 to
// 2,000 pages.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "Common/API.h"
#include "Common/BoxDesc.h"
#include "Sources/Impose.h"
#include "Sources/ImposeJob.h"
#include "Sources/Main.h"
#include "core/Core.h"
#include "doc/DocInternal.h"
#include "headless/Session.h"

namespace fs = std::filesystem;
using namespace vexa::host;

namespace {

const fs::path& workDir() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "vexa-bench-impose";
        fs::create_directories(d);
        std::string tools = std::string(VEXA_SOURCE_DIR) + "/tools";
        for (int pages : {200, 2000, 20000}) {
            std::string cmd = "python3 -c \"import sys; sys.path.insert(0, '" + tools +
                              "'); import make_examples as m; open('" + (d / "src").string() +
                              std::to_string(pages) + ".pdf', 'wb').write(m.brochure(" +
                              std::to_string(pages) + "))\"";
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "generator failed\n");
        }
        std::system(("python3 " + tools + "/make_examples.py " + d.string()).c_str());
        return d;
    }();
    return dir;
}

Session& session() {
    static std::unique_ptr<Session> s = [] {
        SessionOptions o;
        o.loadPlugins = false;
        auto p = std::make_unique<Session>(o);
        p->frontEnd().quiet = true;
        importHostTables(coreTable());
        gVersMajor = 11;
        return p;
    }();
    return *s;
}

double heapBytes() {
    return static_cast<double>(mallinfo2().uordblks);
}

void booklet(benchmark::State& state, bool ahead) {
    session();
    double held = 0;
    std::string src = (workDir() / ("src" + std::to_string(state.range(0)) + ".pdf")).string();
    std::string tmpl = (workDir() / "booklet-2up.pdf").string();
    std::string out = (workDir() / "out.pdf").string();
    for (auto _ : state) {
        PDDoc s = gPDModelHFT->PDDocOpen(src.c_str(), false);
        // The source read whole first, so that what grows is the job's own.
        for (auto& o : doc::qpdfOf(s).getAllObjects()) (void)o.getTypeCode();
        doc::setWriteAheadForNewDocuments(ahead);
        double before = heapBytes();
        ImposeData d;
        std::memset(&d, 0, sizeof d);
        std::snprintf(d.templatePath, sizeof d.templatePath, "%s", tmpl.c_str());
        std::snprintf(d.srcPath, sizeof d.srcPath, "%s", src.c_str());
        std::snprintf(d.outPath, sizeof d.outPath, "%s", out.c_str());
        d.srcDoc = s;
        d.binding = 1;
        d.placing = kPlaceTrimBox;
        d.firstPage = 1;
        d.lastPage = static_cast<ASInt32>(state.range(0));
        d.scale = fixedOne;
        PDDoc r = imposeDocWithData(&d);
        doc::setWriteAheadForNewDocuments(false);
        held = heapBytes() - before;
        if (r) {
            gPDModelHFT->PDDocSave(r, PDSaveFull, out.c_str());
            setCosDoc(r);
            gPDModelHFT->PDDocClose(r);
        }
        setCosDoc(s);
        gPDModelHFT->PDDocClose(s);
        setCosDoc(nullptr);
    }
    state.counters["output_bytes"] = static_cast<double>(fs::file_size(out));
    state.counters["source_bytes"] = static_cast<double>(fs::file_size(src));
    state.counters["held_MB"] = held / 1e6;
}

void BM_Booklet(benchmark::State& state) {
    booklet(state, false);
}
void BM_BookletWrittenAhead(benchmark::State& state) {
    booklet(state, true);
}
// The check before a job of the command line: every page's size, the template's frames
// and colours, and the frames the job leaves empty (counted from the template's frame
// numbers; no sheet is built). It runs once before the work starts; its time is to be
// set against the booklet's.
void BM_JobCheck(benchmark::State& state) {
    session();
    std::string src = (workDir() / ("src" + std::to_string(state.range(0)) + ".pdf")).string();
    std::string tmpl = (workDir() / "booklet-2up.pdf").string();
    for (auto _ : state) {
        PDDoc s = gPDModelHFT->PDDocOpen(src.c_str(), false);
        VexaJob job;
        initImposeJob(&job, s);
        std::snprintf(job.data.templatePath, sizeof job.data.templatePath, "%s", tmpl.c_str());
        std::snprintf(job.data.outPath, sizeof job.data.outPath, "%s",
                      (workDir() / "out.pdf").string().c_str());
        JobReport report;
        benchmark::DoNotOptimize(checkImposeJob(&job, nullptr, report, true));
        setCosDoc(s);
        gPDModelHFT->PDDocClose(s);
        setCosDoc(nullptr);
    }
}
BENCHMARK(BM_JobCheck)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BM_Booklet)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
// 20,000 pages: the time per page should be that of 2,000 pages.
BENCHMARK(BM_BookletWrittenAhead)
    ->Arg(200)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
