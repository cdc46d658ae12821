// libFuzzer target for the frame dictionaries of templates: a template sheet whose
// frames carry any values of any type under every key the plug-in reads (box number,
// rotation, rectangle, bleed, offsets, scale, displacement, ...), imposed with a job
// whose binding, alignment, creep and page range come from the input too. It runs the
// real host and plug-in in process; memory errors, undefined behaviour (overflow in
// the numbering and fitting arithmetic), crashes, hangs and runaway memory are what
// it looks for.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Common/API.h"
#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "FuzzInput.h"
#include "Sources/Impose.h"
#include "Sources/ImposeDlg.h"
#include "Sources/Main.h"
#include "Common/PIUtils.h"
#include "core/Core.h"
#include "headless/Session.h"

namespace {

using Input = FuzzInput;

const char* const kKeys[] = {"boxnum", "rotation", "rotated", "left", "top",  "right",
                             "bottom", "bl",       "bt",      "br",   "bb",   "xOff",
                             "yOff",   "scale",    "dx",      "ml",   "gray", "UID"};

struct Host {
    std::unique_ptr<vexa::host::Session> session;
    std::string folder;
    PDDoc source = nullptr;

    Host() {
        char tmpl[] = "/tmp/vexa-fuzz-XXXXXX";
        folder = ::mkdtemp(tmpl) ? tmpl : "/tmp";
        for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR", "TMPDIR"})
            ::setenv(v, folder.c_str(), 1);
        vexa::host::SessionOptions options;
        options.virtualClock = true;
        options.loadPlugins = false;
        session = std::make_unique<vexa::host::Session>(options);
        session->frontEnd().quiet = true;
        importHostTables(vexa::host::coreTable());
        gVersMajor = 11;
        setLogMode(0);
        // A source of six pages of 200 x 280 with a TrimBox.
        PDDoc d = pdDocCreate();
        setCosDoc(d);
        for (int i = 0; i < 6; ++i) {
            PDPage p =
                gPDModelHFT->PDDocCreatePage(d, i - 1, ASFixedRect{0, 280 << 16, 200 << 16, 0});
            gPDModelHFT->PDPageSetBox(p, asAtomFromString("TrimBox"),
                                      ASFixedRect{5 << 16, 275 << 16, 195 << 16, 5 << 16});
            pdPageRelease(p);
        }
        std::string path = folder + "/source.pdf";
        gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
        pdDocClose(d);
        source = gPDModelHFT->PDDocOpen(path.c_str(), false);
    }
};

Host& host() {
    static Host h;
    return h;
}

CosObj valueFrom(Input& in, CosDoc doc) {
    switch (in.byte() % 6) {
        case 0:
            return cosNewInteger(doc, false, in.number());
        case 1:
            // A fixed value: the number as points and 1/16 steps, wrapped to 32 bits.
            return cosNewFixed(
                doc, false,
                static_cast<ASFixed>(static_cast<uint32_t>(in.number()) * 4096u + in.byte()));
        case 2: {
            std::string s = std::to_string(in.number());
            if (in.byte() & 1) s += "x";
            return cosNewString(doc, false, s.c_str(), s.size());
        }
        case 3:
            return cosNewName(doc, false, in.byte() & 1 ? "7" : "Top");
        case 4:
            return gCosHFT->CosNewBoolean(doc, false, in.byte() & 1);
        default:
            return gCosHFT->CosNewNull();
    }
}

// A one-sheet template whose frames hold the input's values.
std::string makeTemplate(Input& in) {
    Host& h = host();
    PDDoc d = pdDocCreate();
    setCosDoc(d);
    PDPage page =
        gPDModelHFT->PDDocCreatePage(d, PDBeforeFirstPage, ASFixedRect{0, 595 << 16, 842 << 16, 0});
    CosDoc cos = pdDocGetCosDoc(d);
    int frames = 1 + in.byte() % 6;
    PDEContent content = pdPageAcquirePDEContent(page);
    for (int f = 0; f < frames; ++f) {
        ASFixed l = (20 + 130 * f) << 16;
        PDEContainer c = getContainerWithRect(ASFixedRect{l, 280 << 16, l + (120 << 16), 20 << 16});
        setBoxNum(c, f + 1);
        CosObj dict = getVexaDict(c);
        int changes = in.byte() % 8;
        for (int k = 0; k < changes; ++k) {
            const char* key = kKeys[in.byte() % (sizeof kKeys / sizeof kKeys[0])];
            putKeyValue(dict, key, valueFrom(in, cos));
        }
        pdeContentAddElem(content, kPDEAfterLast, c);
        pdeRelease(c);
    }
    pdPageSetPDEContent(page);
    pdPageReleasePDEContent(page);
    pdPageRelease(page);
    std::string path = h.folder + "/template.pdf";
    gPDModelHFT->PDDocSave(d, PDSaveFull, path.c_str());
    pdDocClose(d);
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host& h = host();
    if (!h.source) return 0;
    Input in{data, size};
    DURING
    std::string tmpl = makeTemplate(in);
    ImposeData job;
    std::memset(&job, 0, sizeof job);
    std::snprintf(job.templatePath, sizeof job.templatePath, "%s", tmpl.c_str());
    std::snprintf(job.srcPath, sizeof job.srcPath, "%s/source.pdf", h.folder.c_str());
    std::snprintf(job.outPath, sizeof job.outPath, "%s/out.pdf", h.folder.c_str());
    job.srcDoc = h.source;
    job.binding = 1 + in.byte() % 3;
    job.placing = static_cast<ePlacing>(in.byte() % 4);
    job.creep = in.number();
    job.firstPage = 1 + in.byte() % 6;
    job.lastPage = job.firstPage + in.byte() % 6;
    job.scale = 0x10000;
    setEHMode(kEHLog);
    setCosDoc(h.source);
    PDDoc out = imposeDocWithData(&job);
    if (out) {
        setCosDoc(out);
        pdDocClose(out);
    }
    setEHMode(kEHAlert);
    HANDLER(void) ERRORCODE;
    setEHMode(kEHAlert);
    END_HANDLER
    setCosDoc(nullptr);
    return 0;
}
