#include "Sources/ImposeDlg.h"

#include "Sources/ImposeJob.h"

#include <cstdio>
#include <cstring>

#include "Common/BoxDesc.h"
#include "Common/ErrorHandling.h"
#include "Sources/JobInfo.h"
#include "Sources/Impose.h"
#include "Sources/MapSpot.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "Common/PageContent.h"
#include "platform/Platform.h"
#include "platform/PlatformAPI.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

namespace {

bool pageFrameProc(CContent*, PDEElement frame, long, long data) {
    if (getBoxNum(frame) < 1) return true;
    *reinterpret_cast<bool*>(data) = true;
    return false;
}

bool isFile(const char* path) {
    return path && *path && fileExists(std::string(path));
}

enum {
    kIdTemplate = 3,
    kIdChooseTemplate = 4,
    kIdHalf = 5,
    kIdChooseHalf = 6,
    kIdSource = 7,
    kIdPages = 9,
    kIdTrimBox = 10,
    kIdCropBox = 11,
    kIdBinding = 12,
    kIdCreep = 13,
    kIdFrom = 14,
    kIdTo = 15,
    kIdAlign = 16,
    kIdScale = 17,
    kIdClear = 18,
};

void fillPathPopup(CMyDialog* dlg, ASInt32 id, const char* path) {
    dlg->clearMenu(id);
    std::vector<std::string> items = splitPathItems(path);
    if (items.empty()) {
        dlg->addMenuItem(id, "---");
    } else {
        for (const std::string& it : items) dlg->addMenuItem(id, it.c_str());
    }
    dlg->setValue(id, 1);
}

std::string readPathPopup(CMyDialog* dlg, ASInt32 id, ASInt32 item) {
    std::vector<std::string> items;
    ASInt32 n = dlg->getMenu(id);
    for (ASInt32 i = 1; i <= n; ++i) {
        char buf[512];
        dlg->getMenuText(id, i, buf, sizeof buf);
        items.push_back(buf);
    }
    if (items.size() == 1 && items[0] == "---") return "";
    std::string p = joinPathItems(items, static_cast<size_t>(item));
    return item == 1 && !isFile(p.c_str()) ? std::string() : p;
}

void sizeText(CMyDialog* dlg, ASInt32 id, const ASFixedRect& r) {
    ASInt32 unit = getDlgUnits();
    char w[32], h[32];
    fixedToString(r.right - r.left, unit, w);
    fixedToString(r.top - r.bottom, unit, h);
    if (char* space = std::strchr(w, ' ')) *space = 0;
    char text[96];
    std::snprintf(text, sizeof text, "%s x %s", w, h);
    dlg->setText(id, text);
}

struct DlgState {
    ImposeData* data;
};

void onBinding(CMyDialog* dlg, ASInt32, void* cd) {
    auto* s = static_cast<DlgState*>(cd);
    ASInt32 b = dlg->getValue(kIdBinding);
    dlg->enable(kIdCreep, b == 1);
    ASInt32 n = s->data->pageCount;
    if (b == 3) {
        dlg->setText(kIdFrom, "1,2");
        dlg->setTextWithFormat(kIdTo, "%d,%d", n - 1, n);
        dlg->enable(kIdFrom, false);
        dlg->enable(kIdTo, false);
    } else {
        if (!dlg->isEnabled(kIdFrom)) {
            dlg->setText(kIdFrom, "1");
            dlg->setTextWithFormat(kIdTo, "%d", n);
        }
        dlg->enable(kIdFrom, true);
        dlg->enable(kIdTo, true);
    }
}

void onAlign(CMyDialog* dlg, ASInt32, void*) {
    if (dlg->getValue(kIdAlign) == 3) dlg->setText(kIdScale, "100");
}

void onPathPopup(CMyDialog* dlg, ASInt32 id, void*) {
    ASInt32 item = dlg->getValue(id);
    if (item > 1) {
        std::string folder = readPathPopup(dlg, id, item);
        if (!folder.empty()) puiOpenWithDefaultApp(folder.c_str());
        dlg->setValue(id, 1);
    }
}

void onChoose(CMyDialog* dlg, ASInt32 id, void*) {
    ASInt32 popup = id == kIdChooseTemplate ? kIdTemplate : kIdHalf;
    if (gAcroViewHFT->AVSysGetModifiers() & AV_SHIFT) {
        fillPathPopup(dlg, popup, "");
        return;
    }
    std::string current = readPathPopup(dlg, popup, 1);
    char path[1024] = {0};
    if (!puiChooseFile(nullptr, "*.pdf", current.c_str(), 0, path, sizeof path)) return;
    bool tmpl = false;
    // A file that cannot be opened is no template either.
    logHostErrors("opening a chosen template", [&] {
        DocRef d(gPDModelHFT->PDDocOpen(path, true));
        if (d) tmpl = docIsTemplate(d.get());
    });
    if (tmpl) {
        fillPathPopup(dlg, popup, path);
    } else {
        std::string msg = formatStringWithKey("noTemplateStr", gModuleName);
        avAlert(ALERT_STOP, msg.c_str(), nullptr, nullptr, nullptr, true);
    }
}

void onClear(CMyDialog* dlg, ASInt32, void*) {
    fillPathPopup(dlg, kIdHalf, "");
}

void onOK(CMyDialog* dlg, ASInt32, void* cd) {
    auto* s = static_cast<DlgState*>(cd);
    if (!checkEditControls(dlg)) return;
    ImposeData* d = s->data;
    // A range outside the document, or one that runs backwards, is refused like any
    // other value out of range.
    if (dlg->getValue(kIdBinding) != kBindEnvelope) {
        ASInt32 which = checkPageRange(getControlFixed(dlg, kIdFrom), getControlFixed(dlg, kIdTo),
                                       d->pageCount, nullptr);
        if (which) {
            beep();
            dlg->setFocus(which == 1 ? kIdFrom : kIdTo);
            return;
        }
    }
    std::string t = readPathPopup(dlg, kIdTemplate, 1);
    std::string h = readPathPopup(dlg, kIdHalf, 1);
    std::snprintf(d->templatePath, sizeof d->templatePath, "%s", t.c_str());
    std::snprintf(d->halfSheetPath, sizeof d->halfSheetPath, "%s", h.c_str());
    d->binding = dlg->getValue(kIdBinding);
    d->placing = static_cast<ePlacing>(dlg->getValue(kIdAlign));
    d->creep = dlg->isEnabled(kIdCreep) ? getControlFixed(dlg, kIdCreep) : 0;
    d->scale = getControlFixed(dlg, kIdScale);
    if (d->binding == kBindEnvelope) {
        d->firstPage = 1;
        d->lastPage = d->pageCount;
    } else {
        d->firstPage = getControlFixed(dlg, kIdFrom);
        d->lastPage = getControlFixed(dlg, kIdTo);
    }
    setImposeTemplate(d->templatePath);
    setImposeHalfSheet(d->halfSheetPath);
    setImposeBinding(d->binding);
    setImposePlacing(d->placing);
    savePrefs();
    dlg->endDialog(kCmdOK);
}

void imposeSetup(CMyDialog* dlg, void* cd) {
    auto* s = static_cast<DlgState*>(cd);
    ImposeData* d = s->data;
    d->pageCount = pdDocGetNumPages(d->srcDoc);
    char buf[512];
    getImposeTemplate(buf);
    buf[255] = 0;
    std::snprintf(d->templatePath, sizeof d->templatePath, "%s", isFile(buf) ? buf : "");
    getImposeHalfSheet(buf);
    buf[255] = 0;
    std::snprintf(d->halfSheetPath, sizeof d->halfSheetPath, "%s", isFile(buf) ? buf : "");
    fillPathPopup(dlg, kIdTemplate, d->templatePath);
    fillPathPopup(dlg, kIdHalf, d->halfSheetPath);
    d->srcPath[0] = 0;
    gPDModelHFT->PDDocGetPath(d->srcDoc, d->srcPath, sizeof d->srcPath);
    fillPathPopup(dlg, kIdSource, d->srcPath);
    setDlgItemFixed(dlg, kIdFrom, 1, kUnitNone, 1, 0x7FFFFFFF);
    setDlgItemFixed(dlg, kIdTo, 1, kUnitNone, 1, 0x7FFFFFFF);
    d->binding = getImposeBinding();
    if (d->binding < kBindSaddleStitch || d->binding > kBindEnvelope)
        d->binding = kBindSaddleStitch;
    dlg->setValue(kIdBinding, d->binding);
    dlg->setTextWithFormat(kIdTo, "%d", d->pageCount);
    onBinding(dlg, kIdBinding, s);
    setDlgItemFixed(dlg, kIdCreep, 0, getDlgUnits(), -1, kMaxCreep);
    setDlgItemFixed(dlg, kIdScale, fixedOne, kUnitPercent, fixedOne / 10, 10 * fixedOne);
    d->placing = static_cast<ePlacing>(getImposePlacing());
    {
        CPage page(d->srcDoc, 0);
        ASFixedRect tb;
        if (trimBoxAvail(page.getPage()) && page.getTrimBox(&tb)) {
            sizeText(dlg, kIdTrimBox, tb);
            dlg->setValue(kIdAlign, d->placing == 0 ? 1 : d->placing);
            dlg->enable(kIdAlign, true);
        } else {
            dlg->setText(kIdTrimBox, "---");
            dlg->setValue(kIdAlign, 2);
        }
        sizeText(dlg, kIdCropBox, page.getCropBox());
    }
    dlg->setTextWithFormat(kIdPages, "%d", d->pageCount);
    dlg->setFocus(kIdFrom);
    dlg->setHandler(kIdBinding, onBinding, s);
    dlg->setHandler(kIdAlign, onAlign, s);
    for (ASInt32 id : {kIdTemplate, kIdHalf, kIdSource})
        dlg->setHandler(static_cast<ASUns32>(id), onPathPopup, s);
    dlg->setHandler(kIdChooseTemplate, onChoose, s);
    dlg->setHandler(kIdChooseHalf, onChoose, s);
    dlg->setHandler(kIdClear, onClear, s);
    dlg->setHandler(1, onOK, s);
}

}  // namespace

std::vector<std::string> splitPathItems(const char* path) {
    std::vector<std::string> items;
    if (!path || !*path) return items;
    std::string p = path;
    while (!p.empty()) {
        size_t slash = p.rfind('/');
        if (slash == std::string::npos) {
            items.push_back(p);
            break;
        }
        if (slash + 1 < p.size()) items.push_back(p.substr(slash + 1));
        p.resize(slash);
    }
    return items;
}

std::string joinPathItems(const std::vector<std::string>& items, size_t k) {
    std::string p;
    if (k < 1) k = 1;
    for (size_t i = items.size(); i >= k && i > 0; --i) p += "/" + items[i - 1];
    return p;
}

bool docIsTemplate(PDDoc doc) {
    if (!doc || pdDocGetNumPages(doc) < 1) return false;
    bool found = false;
    try {
        CPage page(doc, 0);
        EnumForms(page.getPage(), pageFrameProc, reinterpret_cast<long>(&found), false, true);
    } catch (const ASException& e) {
        // A first page written to its file already is a job's output on its way to the
        // disk, not a template being edited; any other page that cannot be read holds no
        // frames either, and the log says why.
        if (e.code() != pdErrPageWritten) logHostError("looking for template frames", e.code());
        found = false;
    }
    return found;
}

bool getImposeData(ImposeData* data) {
    if (!data || !data->srcDoc) return false;
    DlgState s{data};
    return doModalDialog("IMPOSE", imposeSetup, &s) == kCmdOK;
}

void imposeDoc(PDDoc doc) {
    if (!doc) return;
    bool shift = (gAcroViewHFT->AVSysGetModifiers() & AV_SHIFT) != 0;
    if (docIsTemplate(doc) && !shift) {
        imposeTemplate(doc);
        return;
    }
    auto* job = new VexaJob;
    std::memset(job, 0, sizeof *job);
    job->size = sizeof *job;
    ImposeData* data = &job->data;
    data->srcDoc = doc;
    data->scale = fixedOne;
    data->askTrimMismatch = 0;
    job->spotBlack = getMapSpotToBlack() == 1 ? 1 : 0;
    job->dlgUnits = getDlgUnits();
    if (getImposeData(data)) {
        std::vector<VexaSpotChoice> choices;
        if (askSpotMapping(doc, job->spotBlack == 1, choices)) {
            for (const VexaSpotChoice& c : choices)
                if (job->spotCount < kVexaMaxSpots) job->spots[job->spotCount++] = c;
            JobReport report{logJobProblem, nullptr};
            runImposeJob(job, nullptr, report, false, true);
        }
    }
    delete job;
}

void doImposeCmd() {
    AVDoc front = avAppGetActiveDoc();
    PDDoc doc = front ? avDocGetPDDoc(front) : nullptr;
    if (!doc) return;
    // Errors of the job are logged and counted, and offered afterwards; whatever
    // happens, the caller's way of reporting errors comes back.
    ASInt32 old = setEHMode(kEHLog);
    reportHostErrors(0, [doc] { imposeDoc(doc); });
    if (getErrorCnt() > 0 && msgBoxYesNo("imposeErr") == 1) openDump();
    setEHMode(old == kEHUnset ? kEHAlert : old);
}
