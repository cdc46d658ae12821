// The bookkeeping the hot folder adds to every job: taking a file with its job record
// (written, marked taken, marked ended, removed: each write flushed to disk), and the
// look for jobs of dead workers in a done folder that holds many finished files.
//
// VEXA_BENCH_DIR names the folder to work in (a network share, say); a temporary
// folder otherwise.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Sources/HotfolderJobs.h"

namespace fs = std::filesystem;

namespace {

fs::path workDir() {
    static fs::path dir = [] {
        const char* env = std::getenv("VEXA_BENCH_DIR");
        fs::path base = env && *env ? fs::path(env) : fs::temp_directory_path();
        fs::path d = base / ("vexa-bench-hotfolder-" + std::to_string(::getpid()));
        fs::create_directories(d / "In");
        fs::create_directories(d / "Done");
        return d;
    }();
    return dir;
}

// One job's bookkeeping without the job: take, ended, release; the file is put back.
void BM_TakeAndRelease(benchmark::State& state) {
    fs::path in = workDir() / "In" / "job.pdf";
    std::ofstream(in) << "%PDF-1.4\n";
    for (auto _ : state) {
        JobClaim claim;
        if (claim.take(1, in.string(), (workDir() / "Done").string(),
                       (workDir() / "job.pdf").string(), 60) != kTaken) {
            state.SkipWithError("take failed");
            break;
        }
        claim.ended(0);
        claim.release();
        fs::rename(workDir() / "Done" / "job.pdf", in);
    }
}
BENCHMARK(BM_TakeAndRelease)->Unit(benchmark::kMillisecond);

// The look for dead workers' jobs in a done folder of state.range(0) finished files.
void BM_RecoveryScan(benchmark::State& state) {
    fs::path done = workDir() / ("Done" + std::to_string(state.range(0)));
    fs::create_directories(done);
    for (int64_t i = 0; i < state.range(0); ++i)
        std::ofstream(done / ("finished" + std::to_string(i) + ".pdf")) << "x";
    for (auto _ : state) recoverJobs({done.string()});
}
BENCHMARK(BM_RecoveryScan)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
