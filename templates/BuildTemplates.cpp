// Builds the bundled templates the way a user builds them: each script in this folder
// is a list of the plug-in's building commands (new sheet, frame grid, frame numbers,
// marks, job information), run in order against an in-process host and saved.
//
//   vexa_templates SCRIPT OUTPUT.pdf
//
// Script lines (lengths in points, or with "mm"):
//   sheet W H [jobinfo]        a new template sheet (the new-sheet command)
//   new-page                   a further sheet of the same size, with job information
//   page N                     the sheet the next commands work on (from 1)
//   show-frames                frames shown: trim lines are drawn
//   grid ROWS COLS W H DW DH [ROT]   the "Frames…" command
//   select all | select F...   selects page frames by their position in the page (from 1)
//   number TEXT [shift]        the frame-number command on the selection
//   turn DEG                   the selected frames' rotation
//   marks [cut] [reg] [centered] [symmetric]   the marks command on the selection
//   jobinfo DESC               the job-information items of the sheet's frame
//   save                       writes OUTPUT.pdf
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "API.h"
#include "AddFrames.h"
#include "AddMarks.h"
#include "BoxDesc.h"
#include "JobInfo.h"
#include "Main.h"
#include "NewDoc.h"
#include "PIUtils.h"
#include "PageContent.h"
#include "Prefs.h"
#include "Selection.h"
#include "core/Core.h"
#include "headless/Session.h"

namespace {

ASFixed length(const std::string& s) {
    double v = std::atof(s.c_str());
    if (s.size() > 2 && s.substr(s.size() - 2) == "mm") return mmToFixed(static_cast<float>(v));
    return static_cast<ASFixed>(v * 65536.0);
}

struct Run {
    PDDoc doc = nullptr;
    long page = 0;
    PDEContent held = nullptr;  // keeps selection tags alive
    PDPage heldPage = nullptr;
    std::vector<std::string> selection;
};

void releaseHeld(Run& r) {
    if (r.held) {
        pdPageReleasePDEContent(r.heldPage);
        pdPageRelease(r.heldPage);
    }
    r.held = nullptr;
    r.heldPage = nullptr;
}

struct SelectCtx {
    std::vector<int> wanted;  // positions among page frames, from 1
    int position = 0;
};
bool selectProc(CContent*, PDEElement frame, long, long data) {
    auto* c = reinterpret_cast<SelectCtx*>(data);
    if (getBoxNum(frame) < 1) return true;
    ++c->position;
    for (int w : c->wanted)
        if (w == c->position || w == 0) setSelected(frame, true);
    return true;
}
bool turnProc(CContent* level, PDEElement frame, long, long data) {
    setFrameRotation(frame, static_cast<ASInt32>(data));
    level->addModified();
    return true;
}
struct JobCtx {
    const char* desc;
};
bool jobInfoProc(CContent* level, PDEElement frame, long, long data) {
    if (getBoxNum(frame) != kBoxJobInfo) return true;
    setJobInfo(frame, "A", "B", reinterpret_cast<JobCtx*>(data)->desc, false);
    level->addModified();
    return true;
}

bool runLine(Run& r, const std::vector<std::string>& w, const char* out) {
    const std::string& cmd = w[0];
    if (cmd == "sheet" && w.size() >= 3) {
        r.doc =
            createTemplate(length(w[1]), length(w[2]), w.size() > 3 && w[3] == "jobinfo", false);
        r.page = 0;
        return r.doc != nullptr;
    }
    if (!r.doc) return false;
    if (cmd == "new-page") {
        releaseHeld(r);
        ASFixedRect media = getMediaBox(r.doc, 0);
        PDPage p = gPDModelHFT->PDDocCreatePage(r.doc, pdDocGetNumPages(r.doc) - 1, media);
        ASFixedPoint pt = getJobInfoPos(media.top, 743085);
        createFrame(p, pt, ASFixedRect{0, 743085, 18577134, 0}, kBoxJobInfo, 0, 0);
        pdPageRelease(p);
        r.page = pdDocGetNumPages(r.doc) - 1;
        return true;
    }
    if (cmd == "page" && w.size() == 2) {
        releaseHeld(r);
        r.page = std::atol(w[1].c_str()) - 1;
        return r.page >= 0 && r.page < pdDocGetNumPages(r.doc);
    }
    if (cmd == "show-frames") {
        if (!getFramesVisible(r.doc)) toggleFramesVisible(r.doc);
        return getFramesVisible(r.doc);
    }
    CPage page(r.doc, r.page);
    if (cmd == "grid" && w.size() >= 7) {
        addFrames(page.getPage(), std::atoi(w[1].c_str()), std::atoi(w[2].c_str()), length(w[3]),
                  length(w[5]), length(w[4]), length(w[6]),
                  w.size() > 7 ? std::atoi(w[7].c_str()) : 0);
        return true;
    }
    if (cmd == "select" && w.size() >= 2) {
        releaseHeld(r);
        resetSelCounter();
        r.heldPage = pdDocAcquirePage(r.doc, r.page);
        r.held = pdPageAcquirePDEContent(r.heldPage);
        SelectCtx ctx;
        // in the order given: one walk per frame so that the selection order follows
        for (size_t i = 1; i < w.size(); ++i) {
            ctx.wanted = {w[i] == "all" ? 0 : std::atoi(w[i].c_str())};
            ctx.position = 0;
            EnumForms(page.getPage(), selectProc, reinterpret_cast<long>(&ctx), false, true);
        }
        return true;
    }
    if (cmd == "number" && w.size() >= 2) {
        numberFrames(page.getPage(), w[1].c_str(), w.size() > 2 && w[2] == "shift");
        return true;
    }
    if (cmd == "turn" && w.size() == 2) {
        EnumSelection(page.getPage(), turnProc, std::atol(w[1].c_str()), true);
        return true;
    }
    if (cmd == "marks") {
        MarkParams& m = getMarkParams();
        m = MarkParams{};
        m.cutMarks = 0;
        for (size_t i = 1; i < w.size(); ++i) {
            if (w[i] == "cut") m.cutMarks = 1;
            if (w[i] == "reg") m.regMarks = 1;
            if (w[i] == "centered") m.centeredMarks = 1;
            if (w[i] == "symmetric") m.symmetric = 1;
        }
        return createMarks(page.getPage());
    }
    if (cmd == "jobinfo" && w.size() == 2) {
        JobCtx ctx{w[1].c_str()};
        EnumForms(page.getPage(), jobInfoProc, reinterpret_cast<long>(&ctx), true, true);
        return true;
    }
    if (cmd == "save") {
        releaseHeld(r);
        gPDModelHFT->PDDocSave(r.doc, PDSaveFull, out);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vexa_templates SCRIPT OUTPUT.pdf\n");
        return 2;
    }
    // Settings from their defaults only: a fresh home for the run.
    std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("vexa_templates_" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "vexa_templates: cannot read %s\n", argv[1]);
        return 1;
    }
    vexa::host::SessionOptions options;
    options.virtualClock = true;
    options.loadPlugins = false;
    auto session = std::make_unique<vexa::host::Session>(options);
    session->frontEnd().quiet = true;
    importHostTables(vexa::host::coreTable());
    gVersMajor = 11;
    Run run;
    std::string line;
    int number = 0;
    int rc = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        bool ok = false;
        try {
            ok = runLine(run, w, argv[2]);
        } catch (const ASException& e) {
            std::fprintf(stderr, "vexa_templates: %s:%d: host error %d\n", argv[1], number,
                         static_cast<int>(e.code()));
        }
        if (!ok) {
            std::fprintf(stderr, "vexa_templates: %s:%d: cannot run \"%s\"\n", argv[1], number,
                         line.c_str());
            rc = 1;
            break;
        }
    }
    releaseHeld(run);
    if (run.doc) pdDocClose(run.doc);
    setCosDoc(nullptr);
    session.reset();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return rc;
}
