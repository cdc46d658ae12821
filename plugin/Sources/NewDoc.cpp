#include "Sources/NewDoc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Sources/AddFrames.h"
#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "Sources/ImposeDlg.h"
#include "Sources/MovingMark.h"
#include "settings/MyDialog.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/Undo.h"
#include "Common/PageContent.h"
#include "Common/Units.h"

bool getPaperRect(PDDoc doc, ASFixedRect& rect) {
    rect = getCropBox(doc, 0);
    CosObj root = cosDocGetRoot(pdDocGetCosDoc(doc));
    CosObj dict = cosDictGet(root, "Vexa");
    if (cosObjGetType(dict) != CosDict) return false;
    CosObj arr = cosDictGet(dict, "PaperRect");
    if (cosObjGetType(arr) != CosArray || cosArrayLength(arr) < 4) return false;
    ASFixed v[4];
    for (int i = 0; i < 4; ++i) {
        CosObj o = cosArrayGet(arr, i);
        CosType t = cosObjGetType(o);
        if (t != CosInteger && t != CosFixed) return false;
        v[i] = cosFixedValue(o);
    }
    ASFixed x = v[0], y = v[1], w = v[2], h = v[3];
    if (x == 0) x = (rect.right - w) / 2;
    if (y == 0) y = (rect.top - h) / 2;
    rect = {x, y + h, x + w, y};
    return true;
}

void setPaperRect(PDDoc doc, ASFixed x, ASFixed y, ASFixed w, ASFixed h) {
    CosDoc cd = pdDocGetCosDoc(doc);
    CosObj root = cosDocGetRoot(cd);
    CosObj dict = cosDictGet(root, "Vexa");
    if (cosObjGetType(dict) != CosDict) {
        dict = cosNewDict(cd, false, 2);
        cosDictPut(dict, "Frames", cosNewInteger(cd, false, 0));
        cosDictPut(root, "Vexa", dict);
        dict = cosDictGet(root, "Vexa");
    }
    CosObj arr = cosNewArray(cd, false, 4);
    const ASFixed v[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i) cosArrayPut(arr, i, cosNewFixed(cd, false, v[i]));
    cosDictPut(dict, "PaperRect", arr);
}

void addVersionInfo(PDDoc doc) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s", "Vexa", kVexaVersionText);
    gPDModelHFT->PDDocSetInfo(doc, "Creator", text, static_cast<ASInt32>(std::strlen(text)));
}

void setDocInfo(PDDoc doc, const char* key, long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    gPDModelHFT->PDDocSetInfo(doc, key, text, static_cast<ASInt32>(std::strlen(text)));
}

long getDocInfoInt32(PDDoc doc, const char* key) {
    char text[256] = "";
    if (gPDModelHFT->PDDocGetInfo(doc, key, text, sizeof text) <= 0) return 0;
    return std::atol(text);
}

namespace {

enum { kWidthId = 5, kHeightId = 7, kBox8 = 8, kBox9 = 9, kPlatePopup = 3, kFrameNumText = 4 };

struct SizeParams {
    ASFixed width, height;
    ASInt32 box8, box9;
    bool hasBox9;
};

void sizeOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* p = static_cast<SizeParams*>(data);
    p->width = getControlFixed(dialog, kWidthId);
    p->height = getControlFixed(dialog, kHeightId);
    p->box8 = dialog->getValue(kBox8);
    if (p->hasBox9) p->box9 = dialog->getValue(kBox9);
    dialog->endDialog(kCmdOK);
}

void sizeSetup(CMyDialog* dialog, void* data) {
    auto* p = static_cast<SizeParams*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kWidthId, p->width, unit, mm(10), kFiveMetres);
    setDlgItemFixed(dialog, kHeightId, p->height, unit, mm(10), kFiveMetres);
    dialog->setValue(kBox8, p->box8);
    if (p->hasBox9) dialog->setValue(kBox9, p->box9);
    dialog->setHandler(1, sizeOK, data);
}

// Frame walk: moves every frame by the offset in data (a moving mark with its limit).
bool moveFrameProc(CContent* level, PDEElement frame, long, long data) {
    auto* d = reinterpret_cast<ASFixedPoint*>(data);
    moveContainerBy(frame, d->h, d->v);
    carryMoveLimit(frame, d->h, d->v);
    level->addModified();
    return true;
}

void moveAllFrames(PDDoc doc, ASFixed dx, ASFixed dy) {
    if (dx == 0 && dy == 0) return;
    ASFixedPoint d{dx, dy};
    EnumForms(doc, 0, pdDocGetNumPages(doc) - 1, moveFrameProc, reinterpret_cast<long>(&d), true);
}

void setAllBoxes(PDDoc doc, const ASFixedRect& box) {
    ASInt32 n = pdDocGetNumPages(doc);
    for (ASInt32 i = 0; i < n; ++i) {
        CPage page(doc, i);
        pdPageSetCropBox(page.getPage(), box, true);
        gPDModelHFT->PDPageSetMediaBox(page.getPage(), box);
    }
}

bool storedPaper(PDDoc doc, ASFixed v[4]) {
    CosObj dict = cosDictGet(cosDocGetRoot(pdDocGetCosDoc(doc)), "Vexa");
    if (cosObjGetType(dict) != CosDict) return false;
    CosObj arr = cosDictGet(dict, "PaperRect");
    if (cosObjGetType(arr) != CosArray || cosArrayLength(arr) < 4) return false;
    for (int i = 0; i < 4; ++i) v[i] = cosFixedValue(cosArrayGet(arr, i));
    return true;
}

struct PlateList {
    std::vector<std::string> names;
};
bool plateProc(const char* key, const char*, void* data) {
    static_cast<PlateList*>(data)->names.emplace_back(key);
    return true;
}
struct PlateChoice {
    const PlateList* list;
    std::string chosen;
};
void plateOK(CMyDialog* dialog, ASInt32, void* data) {
    auto* c = static_cast<PlateChoice*>(data);
    ASInt32 item = dialog->getValue(kPlatePopup);
    if (item >= 1 && item <= static_cast<ASInt32>(c->list->names.size()))
        c->chosen = c->list->names[static_cast<size_t>(item - 1)].substr(0, 255);
    dialog->endDialog(kCmdOK);
}
void plateSetup(CMyDialog* dialog, void* data) {
    auto* c = static_cast<PlateChoice*>(data);
    dialog->clearMenu(kPlatePopup);
    for (const auto& n : c->list->names) dialog->addMenuItem(kPlatePopup, n.c_str());
    dialog->setValue(kPlatePopup, 1);
    dialog->setHandler(1, plateOK, data);
}

struct TextChoice {
    char text[256];
};
void textOK(CMyDialog* dialog, ASInt32, void* data) {
    auto* c = static_cast<TextChoice*>(data);
    dialog->getText(kFrameNumText, c->text, sizeof c->text);
    dialog->endDialog(kCmdOK);
}
void textSetup(CMyDialog* dialog, void* data) {
    auto* c = static_cast<TextChoice*>(data);
    dialog->setText(kFrameNumText, c->text);
    dialog->selectText(kFrameNumText);
    dialog->setHandler(1, textOK, data);
}

struct NumberCtx {
    bool relative;
    long value;
    int pass;
    std::vector<ASInt32> order;                        // selection indexes met
    std::vector<std::pair<ASInt32, ASInt32>> numbers;  // selection index, number
};
bool collectSelProc(CContent* level, PDEElement frame, long, long data) {
    auto* c = reinterpret_cast<NumberCtx*>(data);
    if (c->relative) {
        ASInt32 n = getBoxNum(frame);
        if (n >= 1) setBoxNum(frame, n + static_cast<ASInt32>(c->value));
        level->addModified();
    } else if (c->pass == 0) {
        c->order.push_back(getSelIndex(frame));
    } else {
        for (const auto& p : c->numbers)
            if (p.first == getSelIndex(frame)) {
                setBoxNum(frame, p.second);
                break;
            }
        level->addModified();
    }
    return true;
}

}  // namespace

PDDoc createTemplate(ASFixed width, ASFixed height, bool jobInfo, bool gray) {
    PDDoc doc = pdDocCreate();
    setCosDoc(doc);
    addVersionInfo(doc);
    PageRef page(
        gPDModelHFT->PDDocCreatePage(doc, PDBeforeFirstPage, ASFixedRect{0, height, width, 0}));
    if (jobInfo) {
        // 100 mm (rounded, one unit over mm(100), as job-information frames have always been)
        // by 4 mm
        const ASFixed w = 18577134, h = mm(4);
        ASFixedPoint pt = getJobInfoPos(height, h);
        createFrame(page.get(), pt, ASFixedRect{0, h, w, 0}, kBoxJobInfo, 0, gray ? 1 : 0);
    }
    return doc;
}

PDDoc createTemplate() {
    SizeParams p{};
    getPgParams(&p.width, &p.height);
    p.box8 = getJobInfo();
    p.box9 = getPrefGray();
    p.hasBox9 = true;
    if (doModalDialog("NEWDOC", sizeSetup, &p) != kCmdOK) return nullptr;
    setPgParams(p.width, p.height);
    setJobInfo(p.box8);
    setPrefGray(p.box9);
    PDDoc doc = createTemplate(p.width, p.height, p.box8 != 0, p.box9 != 0);
    gAcroViewHFT->AVDocOpenFromPDDoc(doc, nullptr);
    return doc;
}

void setPageSize(PDDoc doc, ASFixed W, ASFixed H, bool keepCentered) {
    setCosDoc(doc);
    ASFixedRect C = getCropBox(doc, 0);
    ASFixedRect P;
    bool hasPaper = getPaperRect(doc, P);
    if (docIsTemplate(doc)) {
        if (!hasPaper) {
            setAllBoxes(doc, ASFixedRect{0, H, W, 0});
            if (keepCentered) moveAllFrames(doc, (W - P.right) / 2, (H - P.top) / 2);
        } else {
            ASFixed stored[4];
            storedPaper(doc, stored);
            ASFixed pw = P.right - P.left, ph = P.top - P.bottom;
            ASFixed newLeft = P.left - (W - pw) / 2;
            ASFixed newBottom = P.bottom - (H - ph) / 2;
            ASFixed X = stored[0] ? stored[0] : (C.right - W) / 2;
            ASFixed Y = stored[1] ? stored[1] : (C.top - H) / 2;
            setAllBoxes(doc, ASFixedRect{0, C.top, C.right, 0});
            moveAllFrames(doc, X - newLeft, Y - newBottom);
            setPaperRect(doc, stored[0], stored[1], W, H);
        }
        return;
    }
    ASFixed gw = W - (C.right - C.left), gh = H - (C.top - C.bottom);
    ASFixed dx = gw / 2, dy = gh / 2;
    ASFixedRect r = C;
    if (keepCentered) {
        r.left -= dx;
        r.right += dx;
        r.top += dy;
        r.bottom -= dy;
    } else {
        r.right += 2 * dx;
        r.top += 2 * dy;
    }
    setAllBoxes(doc, r);
}

PDDoc setPageSize(PDDoc doc) {
    if (!doc) return nullptr;
    ASFixedRect P;
    getPaperRect(doc, P);
    SizeParams p{P.right - P.left, P.top - P.bottom, getKeepCenter(), 0, false};
    if (doModalDialog("PAGESIZE", sizeSetup, &p) != kCmdOK) return nullptr;
    bool tmpl = docIsTemplate(doc);
    if (tmpl) {
        setPgParams(p.width, p.height);
        setKeepCenter(p.box8);
    }
    setPageSize(doc, p.width, p.height, p.box8 != 0);
    return doc;
}

void setPlateSize(PDDoc doc, ASFixed xo, ASFixed yo, ASFixed PW, ASFixed PH) {
    setCosDoc(doc);
    if (docIsTemplate(doc)) {
        ASFixedRect P;
        getPaperRect(doc, P);
        ASFixed pw = P.right - P.left, ph = P.top - P.bottom;
        ASFixed X = xo ? xo : (PW - pw) / 2;
        ASFixed Y = yo ? yo : (PH - ph) / 2;
        setAllBoxes(doc, ASFixedRect{0, PH, PW, 0});
        moveAllFrames(doc, X - P.left, Y - P.bottom);
        setPaperRect(doc, xo, yo, pw, ph);
        return;
    }
    ASFixedRect C = getCropBox(doc, 0);
    ASFixed l = C.left, t = C.top, r = C.right, b = C.bottom, w = r - l, h = t - b;
    ASFixed ox = xo ? xo : (PW - w) / 2, oy = yo ? yo : (PH - h) / 2;
    ASFixed ox2 = xo ? xo : (PW - h) / 2, oy2 = yo ? yo : (PH - w) / 2;
    ASInt32 n = pdDocGetNumPages(doc);
    for (ASInt32 i = 0; i < n; ++i) {
        CPage page(doc, i);
        ASFixedRect nb;
        switch (gPDModelHFT->PDPageGetRotate(page.getPage())) {
            case 90:
                nb.bottom = b - ox2;
                nb.right = r + oy2;
                nb.left = nb.right - PH;
                nb.top = nb.bottom + PW;
                break;
            case 180:
                nb.top = t + oy;
                nb.right = r + ox;
                nb.bottom = nb.top - PH;
                nb.left = nb.right - PW;
                break;
            case 270:
                nb.top = t + ox2;
                nb.left = l - oy2;
                nb.bottom = nb.top - PW;
                nb.right = nb.left + PH;
                break;
            default:
                nb.left = l - ox;
                nb.bottom = b - oy;
                nb.right = nb.left + PW;
                nb.top = nb.bottom + PH;
        }
        pdPageSetCropBox(page.getPage(), nb, true);
        gPDModelHFT->PDPageSetMediaBox(page.getPage(), nb);
    }
    setPaperRect(doc, l + 1, b + 1, w, h);
}

void setPlateSize(PDDoc doc) {
    if (!doc) return;
    PlateList list;
    gPrefs.enumSection("Plates", plateProc, &list);
    if (list.names.empty()) {
        msgBox("noPlatesErr");
        return;
    }
    PlateChoice choice{&list, {}};
    if (doModalDialog("PLATESIZE", plateSetup, &choice) != kCmdOK || choice.chosen.empty()) return;
    char value[256] = "";
    gPrefs.get("Plates", choice.chosen.c_str(), value, sizeof value);
    float v[4] = {0, 0, 0, 0};
    if (std::sscanf(value, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]) != 4) return;
    setPlateSize(doc, mmToFixed(v[0]), mmToFixed(v[1]), mmToFixed(v[2]), mmToFixed(v[3]));
}

void numberFrames(PDPage page, const char* text, bool inSequence) {
    NumberCtx ctx{};
    ctx.relative = text[0] == '+' || text[0] == '-';
    ctx.value = std::atol(text);
    ctx.pass = 0;
    EnumSelection(page, collectSelProc, reinterpret_cast<long>(&ctx), ctx.relative);
    if (ctx.relative) return;
    // selection order decides the numbers; the second walk writes them
    std::vector<ASInt32> order = ctx.order;
    std::stable_sort(order.begin(), order.end());
    long n = ctx.value;
    for (ASInt32 sel : order)
        ctx.numbers.emplace_back(sel, static_cast<ASInt32>(inSequence ? n++ : n));
    ctx.pass = 1;
    EnumSelection(page, collectSelProc, reinterpret_cast<long>(&ctx), true);
}

void numberFrames(PDPage page) {
    AVPageView view = getFrontPageView();
    if (!page && view) page = avPageViewGetPage(view);
    if (!page || getSelCnt(page) == 0) {
        beep();
        return;
    }
    TextChoice c{};
    std::strcpy(c.text, "0");
    if (doModalDialog("FRAMENUM", textSetup, &c) != kCmdOK) return;
    bool shift = (gAcroViewHFT->AVSysGetModifiers() & AV_SHIFT) != 0;
    if (view) prepareUndo(view);
    numberFrames(page, c.text, shift);
    if (view) gAcroViewHFT->AVPageViewDrawNow(view);
}
