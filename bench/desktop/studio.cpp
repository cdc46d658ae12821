// vexa-studio's page view, measured in process on the offscreen platform:
//
// - BM_EditToRedraw: a sheet of 20 frames, each holding a placed page (the example
//   brochure imposed into a 5 x 4 template), fitted to a 1200 x 900 window; one frame
//   selected; each iteration types the right arrow (the frame moves 1 mm) and waits
//   until the page view shows the sheet rendered anew. "key_ms" is the part until the
//   key was handled and the overlay drawn again.
// - BM_OpenFirstPage: a 2,000-page imposed document (the brochure at 2,000 pages
//   imposed 8-up into the bundled step-and-repeat template) opened from its file until
//   its first page shows rendered.
//
// The inputs are made once in $TMPDIR/vexa-bench-studio by the vexa program; the
// settings, log and temporary files of the runs stay in a home of their own there.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "desktop/DesktopFrontEnd.h"
#include "desktop/MainWindow.h"
#include "desktop/PageView.h"
#include "desktop/Studio.h"
#include "ui/Script.h"

namespace fs = std::filesystem;
using namespace vexa::host;

namespace {

const fs::path& workDir() {
    static fs::path dir = fs::temp_directory_path() / "vexa-bench-studio";
    return dir;
}

std::string vexa() {
    std::string h = (workDir() / "home").string();
    return "env HOME=" + h + " XDG_CONFIG_HOME=" + h + "/config XDG_DOCUMENTS_DIR=" + h +
           "/Documents XDG_DATA_HOME=" + h + "/data " VEXA_BIN_DIR "/vexa --language ENU ";
}

void run(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

// A 1080 x 1220 mm sheet with 5 x 4 A4 frames numbered 1 to 20.
std::string templateScript(const std::string& out) {
    std::string s =
        "menu Vexa:show\nticks 6\n"
        "press new\n  set Width \"1080 mm\"\n  set Height \"1220 mm\"\n  toggle JobInfo off\n"
        "  press ok\nticks 6\n"
        "press frames\n  set Rows 4\n  set Columns 5\n  set Width \"210 mm\"\n"
        "  set Height \"297 mm\"\n  set Distance#1 0\n  set Distance#2 0\n  press ok\n";
    int n = 1;
    for (int row = 3; row >= 0; --row)
        for (int col = 0; col < 5; ++col) {
            char line[96];
            std::snprintf(line, sizeof line, "click %.1fmm %.1fmm\ntype %d\nticks 60\n",
                          15 + 210.0 * col + 105, 16 + 297.0 * row + 148.5, n++);
            s += line;
        }
    return s + "save " + out + "\n";
}

void prepare() {
    static bool done = false;
    if (done) return;
    done = true;
    fs::path d = workDir();
    for (const char* sub : {"home/config", "home/Documents", "home/data"})
        fs::create_directories(d / sub);
    std::string tools = std::string(VEXA_SOURCE_DIR) + "/tools";
    for (int pages : {20, 2000})
        if (!fs::exists(d / ("src" + std::to_string(pages) + ".pdf")))
            run("python3 -c \"import sys; sys.path.insert(0, '" + tools +
                "'); import make_examples as m; open('" + (d / "src").string() +
                std::to_string(pages) + ".pdf', 'wb').write(m.brochure(" + std::to_string(pages) +
                "))\"");
    fs::path tmpl = d / "Sheet_20up.pdf";
    if (!fs::exists(tmpl)) {
        std::string script = (d / "sheet20.vx").string();
        FILE* f = std::fopen(script.c_str(), "w");
        std::fputs(templateScript(tmpl.string()).c_str(), f);
        std::fclose(f);
        run(vexa() + "run --virtual-clock " + script + " > /dev/null");
    }
    if (!fs::exists(d / "sheet20-imposed.pdf"))
        run(vexa() + "impose " + (d / "src20.pdf").string() + " -t " + tmpl.string() +
            " --binding perfect -o " + (d / "sheet20-imposed.pdf").string() + " 2> /dev/null");
    if (!fs::exists(d / "imposed2000.pdf"))
        run(vexa() + "impose " + (d / "src2000.pdf").string() +
            " -t " VEXA_BIN_DIR
            "/plug_ins/Vexa/templates/StepRepeat_8up_A4.pdf --binding perfect -o " +
            (d / "imposed2000.pdf").string() + " 2> /dev/null");
}

std::unique_ptr<desktop::Studio> newStudio() {
    std::string h = (workDir() / "home").string();
    setenv("HOME", h.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (h + "/Documents").c_str(), 1);
    setenv("XDG_DATA_HOME", (h + "/data").c_str(), 1);
    desktop::StudioOptions o;
    o.language = "ENU";
    o.virtualClock = true;
    auto s = std::make_unique<desktop::Studio>(o);
    s->window().resize(1200, 900);
    s->window().show();
    s->start();
    return s;
}

void BM_EditToRedraw(benchmark::State& state) {
    prepare();
    auto studio = newStudio();
    desktop::MainWindow& w = studio->window();
    studio->runScriptText("menu Vexa:show\nticks 6\n", "bench");
    w.openFile((workDir() / "sheet20-imposed.pdf").string(), false);
    desktop::PageView* view = w.currentPageView();
    view->fitPage();
    studio->waitRendered();
    AVDoc doc = studio->app().frontDoc();
    if (!doc->activeTool) studio->runScriptText("button ORVA:Vexa\n", "bench");
    // The frame at the bottom left, in the imposed sheet's coordinates.
    studio->runScriptText("click 120mm 162mm\nexpect-selected 16\n", "bench");
    studio->waitRendered();
    bool shown = false;
    view->onPageShown = [&](int) { shown = true; };
    double keyMs = 0;
    for (auto _ : state) {
        shown = false;
        QElapsedTimer t;
        t.start();
        QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &right);
        keyMs += t.nsecsElapsed() / 1e6;
        while (!shown) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
    view->onPageShown = nullptr;
    state.counters["key_ms"] = keyMs / static_cast<double>(state.iterations());
    state.counters["frames"] = 20;
}
BENCHMARK(BM_EditToRedraw)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_OpenFirstPage(benchmark::State& state) {
    prepare();
    auto studio = newStudio();
    std::string path = (workDir() / "imposed2000.pdf").string();
    int pages = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        studio->window().openFile(path, false);
        studio->waitRendered(60000);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        pages = studio->window().currentPageView()->pageCount();
        studio->app().closeDoc(studio->app().frontDoc(), true);
        studio->frontEnd().processEvents();
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_OpenFirstPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
