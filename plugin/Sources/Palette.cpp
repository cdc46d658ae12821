#include "Sources/Palette.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "Sources/AddFrames.h"
#include "Sources/AddMarks.h"
#include "Sources/AddPages.h"
#include "Common/BoxDesc.h"
#include "Sources/ContextMenu.h"
#include "Sources/DragAndDrop.h"
#include "Common/ErrorHandling.h"
#include "Sources/ImposeDlg.h"
#include "Sources/ImposeDoc.h"
#include "Sources/MovingMark.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "Sources/NewDoc.h"
#include "Common/PageContent.h"
#include "platform/Platform.h"
#include "platform/PlatformAPI.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SetPos.h"

namespace {

// The palette's refresh flag and the editing tool as registered with the host.
struct PaletteState {
    bool update = false;  // the next idle pass refreshes the palette
    AVToolRec toolRec{};  // stays registered while the plug-in is loaded
    AVTool tool = nullptr;
    AVTool lastTool = nullptr;  // the tool to go back to when ours is switched off
    AVToolButton toolButton = nullptr;
};
PaletteState gPal;

// ---- The tool ---------------------------------------------------------------------------

ASAtom toolType() {
    return asAtomFromString("Vexa");
}

ASAtom getType(AVTool) {
    return toolType();
}

void activate(AVTool, ASBool) {
    switchLayoutMode();
    showPalette(nullptr);
}

void deactivate(AVTool) {
    clearAllSelections();
    adjustPalette();
}

void toggleTool(ASClientData data) {
    auto* pal = static_cast<PaletteState*>(data);
    if (myTool()) {
        deactivateMyTool();
    } else {
        AVDoc front = avAppGetActiveDoc();
        AVTool current =
            front ? gAcroViewHFT->AVDocGetActiveTool(front) : gAcroViewHFT->AVAppGetActiveTool();
        if (current != pal->tool) pal->lastTool = current;
        gAcroViewHFT->AVAppSetActiveTool(pal->tool, true);
    }
}
ASBool buttonEnabled(ASClientData) {
    return true;
}
ASBool buttonMarked(ASClientData) {
    return myTool();
}

// ---- Palette helpers -------------------------------------------------------------------

PDDoc frontPDDoc() {
    AVDoc front = avAppGetActiveDoc();
    return front ? avDocGetPDDoc(front) : nullptr;
}

bool shiftHeld() {
    return (gAcroViewHFT->AVSysGetModifiers() & AV_SHIFT) != 0;
}

void setField(ASInt32 id, ASFixed value, ASInt32 unit) {
    char text[64];
    getPalette()->setText(id, formatPaletteValue(value, unit, text, sizeof text));
}

// Rotation brought into 0..359.
ASInt32 normalisedRotation(ASInt32 r) {
    r %= 360;
    return r < 0 ? r + 360 : r;
}

// The measurements without a selection: the distances between the current page's
// trim box and crop box, and the trim box's size, as seen on screen.
void showPageValues(ASInt32 unit) {
    PDPage page = getCurrentPage();
    if (!page) return;
    CPage p(page);
    ASFixedRect crop = p.getCropBox();
    ASFixedRect trim = crop;
    p.getTrimBox(&trim);
    // Distances per side of the page (crop edge outside the trim edge is positive).
    ASFixed left = trim.left - crop.left, top = crop.top - trim.top;
    ASFixed right = crop.right - trim.right, bottom = trim.bottom - crop.bottom;
    ASFixed w = trim.right - trim.left, h = trim.top - trim.bottom;
    // What each field shows: the side seen at its place on screen.
    ASFixed sTop = top, sLeft = left, sRight = right, sBottom = bottom;
    ASInt32 rot = normalisedRotation(gPDModelHFT->PDPageGetRotate(page));
    bool known = true;
    switch (rot) {
        case 0:
            break;
        case 90:  // the page's left edge is at the top of the screen
            sTop = left, sLeft = bottom, sRight = top, sBottom = right;
            std::swap(w, h);
            break;
        case 180:
            sTop = bottom, sLeft = right, sRight = left, sBottom = top;
            break;
        case 270:
            sTop = right, sLeft = top, sRight = bottom, sBottom = left;
            std::swap(w, h);
            break;
        default:
            known = false;
    }
    setField(kPalBleedTop, sTop, unit);
    setField(kPalBleedLeft, sLeft, unit);
    setField(kPalBleedRight, sRight, unit);
    setField(kPalBleedBottom, sBottom, unit);
    if (!known) return;
    setField(kPalX, sLeft, unit);
    setField(kPalY, getOrigin() ? sTop : sBottom, unit);
    setField(kPalW, w, unit);
    setField(kPalH, h, unit);
}

void showSelectionValues(PDPage page, ASInt32 unit) {
    ASFixedRect bleed = getBleedRect(page);
    setField(kPalBleedTop, bleed.top, unit);
    setField(kPalBleedLeft, bleed.left, unit);
    setField(kPalBleedRight, bleed.right, unit);
    setField(kPalBleedBottom, bleed.bottom, unit);
    ASFixedRect sel;
    getSelBBox(page, &sel);
    setField(kPalX, sel.left, unit);
    ASFixed y = sel.bottom;
    if (getOrigin()) y = CPage(page).getCropBox().top - sel.top;
    setField(kPalY, y, unit);
    setField(kPalW, sel.right - sel.left, unit);
    setField(kPalH, sel.top - sel.bottom, unit);
}

// ---- Control handlers ---------------------------------------------------------------------

void prefsHandler(CMyDialog*, ASInt32, void*) {
    doPrefsBtn();
    selectCurDoc();
}
void newHandler(CMyDialog*, ASInt32, void*) {
    doNewBtn();
    selectCurDoc();
}
void positionHandler(CMyDialog*, ASInt32, void*) {
    setPos();
    adjustPalette();
    selectCurDoc();
}
void framesHandler(CMyDialog*, ASInt32, void*) {
    doFramesBtn();
    selectCurDoc();
}
void marksHandler(CMyDialog*, ASInt32, void*) {
    doMarksBtn();
    selectCurDoc();
}
void rotateHandler(CMyDialog*, ASInt32, void*) {
    doRotateBtn();
    selectCurDoc();
}
void copyHandler(CMyDialog*, ASInt32, void*) {
    doCopyBtn();
    selectCurDoc();
}
void paperHandler(CMyDialog*, ASInt32, void*) {
    PDDoc doc = frontPDDoc();
    if (!doc) {
        beep();
        return;
    }
    setPageSize(doc);
    activateMyTool(nullptr);
    adjustPalette();
    selectCurDoc();
}
void plateHandler(CMyDialog*, ASInt32, void*) {
    PDDoc doc = frontPDDoc();
    if (!doc) {
        beep();
        return;
    }
    setPlateSize(doc);
    activateMyTool(nullptr);
    adjustPalette();
    selectCurDoc();
}
void guidesHandler(CMyDialog* dialog, ASInt32, void*) {
    bool on = toggleShowGuides();
    dialog->setValue(kPalGuides, on ? 1 : 0);
    redrawDoc();
    selectCurDoc();
}
void keysHandler(CMyDialog* dialog, ASInt32, void*) {
    setCursorMode(dialog->getValue(kPalKeys) - 1);
    selectCurDoc();
}
void placeHandler(CMyDialog*, ASInt32, void*) {
    doPlaceBtn();
    selectCurDoc();
}
void imposeHandler(CMyDialog*, ASInt32, void*) {
    doImposeBtn();
    selectCurDoc();
}

void paletteSetup(CMyDialog* dialog, void*) {
    loadPalPos(dialog);
    struct Entry {
        ASInt32 id;
        ControlHandlerProc proc;
    };
    static const Entry entries[] = {
        {kPalPrefs, prefsHandler},   {kPalNew, newHandler},     {kPalPosition, positionHandler},
        {kPalFrames, framesHandler}, {kPalMarks, marksHandler}, {kPalRotate, rotateHandler},
        {kPalCopy, copyHandler},     {kPalPaper, paperHandler}, {kPalPlate, plateHandler},
        {kPalGuides, guidesHandler}, {kPalKeys, keysHandler},   {kPalPlace, placeHandler},
        {kPalImpose, imposeHandler},
    };
    for (const Entry& e : entries) dialog->setHandler(static_cast<ASUns32>(e.id), e.proc, nullptr);
    dialog->setValue(kPalGuides, getShowGuides() ? 1 : 0);
    dialog->setValue(kPalKeys, getCursorMode() + 1);
}

void paletteClosed(CMyDialog* dialog, void*) {
    savePalPos(dialog, false);
    setPalette(nullptr);
    setVisible(0);
    deactivateMyTool();
    redrawDoc();
}

void prefsChanged() {
    adjustPalette();
}

}  // namespace

// ---- Palette ------------------------------------------------------------------------------

void adjustPalette() {
    gPal.update = true;
}
bool paletteNeedsUpdate() {
    return gPal.update;
}

CMyDialog* getPalette() {
    return getPrefsPalette();
}
void setPalette(CMyDialog* palette) {
    setPrefsPalette(palette);
}

void disposePalette() {
    CMyDialog* palette = getPalette();
    setPalette(nullptr);
    if (palette) closeModelessDialog(palette);
}

void showPalette(AVWindow) {
    if (CMyDialog* palette = getPalette()) {
        palette->showWindow(true);
    } else {
        setPrefsChangedProc(prefsChanged);
        setPalette(doModelessDialog("PALETTE", paletteSetup, paletteClosed, nullptr));
    }
    if (!getPalette()) return;
    setVisible(1);
    adjustPalette();
}

void showVexa() {
    showPalette(nullptr);
}

char* formatPaletteValue(ASFixed value, ASInt32 unit, char* text, size_t size) {
    if (!text || size == 0) return text;
    double factor;
    switch (unit) {
        case kUnitPoints:
            factor = 1.0 / 65536.0;
            break;
        case kUnitInch:
            factor = 1.0 / (72.0 * 65536.0);
            break;
        case kUnitCM:
            factor = 2.54 / (72.0 * 65536.0);
            break;
        default:  // millimetres
            factor = 25.4 / (72.0 * 65536.0);
    }
    std::snprintf(text, size, "%.2f", static_cast<double>(value) * factor);
    size_t len = std::strlen(text);
    if (std::strchr(text, '.')) {
        while (len > 1 && text[len - 1] == '0') text[--len] = 0;
        if (len > 1 && text[len - 1] == '.') text[--len] = 0;
    }
    // "-0" after rounding is shown as 0.
    if (std::strcmp(text, "-0") == 0) std::strcpy(text, "0");
    return text;
}

void doPaletteIdle() {
    CMyDialog* palette = getPalette();
    if (!paletteNeedsUpdate() || !palette) return;
    gPal.update = false;
    static const ASInt32 docControls[] = {kPalPosition, kPalFrames, kPalMarks,   kPalRotate,
                                          kPalCopy,     kPalBleed,  kPalMeasure, kPalImpose,
                                          kPalPlace,    kPalPaper,  kPalPlate};
    static const ASInt32 fields[] = {kPalBleedTop, kPalBleedLeft, kPalBleedRight, kPalBleedBottom,
                                     kPalX,        kPalY,         kPalW,          kPalH};
    for (ASInt32 id : docControls) palette->enable(id, false);
    for (ASInt32 id : fields) palette->enable(id, false);

    AVDoc front = avAppGetActiveDoc();
    PDPage page = front ? getCurrentPage() : nullptr;
    ASInt32 selected = page ? getSelCnt(page) : 0;
    if (front) {
        for (ASInt32 id : {kPalFrames, kPalImpose, kPalCopy, kPalGuides, kPalMarks, kPalPlace,
                           kPalPaper, kPalPlate, kPalBleed, kPalMeasure})
            palette->enable(id, true);
        for (ASInt32 id : fields) palette->enable(id, true);
        if (selected > 0) {
            palette->enable(kPalPosition, true);
            palette->enable(kPalRotate, true);
        }
    }
    palette->setValue(kPalGuides, getShowGuides() ? 1 : 0);
    palette->setValue(kPalKeys, getCursorMode() + 1);

    ASInt32 unit = getPalUnits();
    if (selected > 0) {
        showSelectionValues(page, unit);
    } else {
        for (ASInt32 id : fields) palette->setText(id, "0");
        if (front) showPageValues(unit);
    }
}

// ---- Commands -------------------------------------------------------------------------------

void doNewBtn() {
    if (createTemplate()) activateMyTool(nullptr);
    adjustPalette();
}

void doPrefsBtn() {
    if (gPrefs.shallReload()) gPrefs.reload();
    if (doPrefsDlg()) adjustPalette();
}

void doFramesBtn() {
    PDPage page = getCurrentPage();
    if (!page || normalisedRotation(gPDModelHFT->PDPageGetRotate(page)) != 0) {
        msgBox("unrotatedonly");
        return;
    }
    addFrames();
    adjustPalette();
}

void doMarksBtn() {
    PDPage page = getCurrentPage();
    bool any = page && selAvail(page);
    if (any && !shiftHeld())
        createMarks();
    else
        removeMarks(!any);
    adjustPalette();
}

void doRotateBtn() {
    PDPage page = getCurrentPage();
    if (!page) return;
    rotateFrames(page, shiftHeld() ? 90 : 180);
    adjustPalette();
}

void doCopyBtn() {
    PDDoc doc = frontPDDoc();
    if (!doc) return;
    if (checkMovingMarks(doc) == -1) return;
    switchLayoutMode();
    addPages();
    clearSelection(nullptr, true);
    adjustPalette();
}

void doPlaceBtn() {
    AVPageView view = getFrontPageView();
    PDPage page = view ? avPageViewGetPage(view) : nullptr;
    if (!page) return;
    char title[256] = "";
    getString("place", title);
    char path[1024] = "";
    if (!puiChooseFile(title, "*.pdf", nullptr, 0, path, sizeof path)) return;
    PDDoc dst = pdPageGetDoc(page);
    DocRef src;
    if (!reportHostErrors(0, [&] { src = DocRef(gPDModelHFT->PDDocOpen(path, true)); })) return;
    setCosDoc(dst);
    reportHostErrors(0, [&] { placePage(view, page, src.get(), dst, 0, 0); });
    src.reset();
    pdPageNotifyContentsDidChange(page);
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
    adjustPalette();
}

void doImposeBtn() {
    if (!frontPDDoc()) return;
    doImposeCmd();
    adjustPalette();
    selectCurDoc();
}

// ---- The tool -----------------------------------------------------------------------------

void setupTool() {
    gPal.toolRec =
        AVToolRec{sizeof(AVToolRec), activate, deactivate, doClick,      nullptr,
                  nullptr,           getType,  nullptr,    doRightClick, toolClientData()};
    gPal.tool = gAcroViewHFT->AVAppRegisterTool(&gPal.toolRec);
    gPal.toolButton =
        gAcroViewHFT->AVToolButtonNew(asAtomFromString("ORVA:Vexa"), gModuleName, gExtensionID);
    gAcroViewHFT->AVToolButtonSetExecuteProc(gPal.toolButton, toggleTool, &gPal);
    gAcroViewHFT->AVToolButtonSetComputeEnabledProc(gPal.toolButton, buttonEnabled, nullptr);
    gAcroViewHFT->AVToolButtonSetComputeMarkedProc(gPal.toolButton, buttonMarked, nullptr);
    AVToolBar editing = gAcroViewHFT->AVAppGetToolBarByName("Editing");
    if (editing) gAcroViewHFT->AVToolBarAddButton(editing, gPal.toolButton, false, nullptr);
}

bool myTool() {
    AVDoc front = avAppGetActiveDoc();
    AVTool active =
        front ? gAcroViewHFT->AVDocGetActiveTool(front) : gAcroViewHFT->AVAppGetActiveTool();
    return gPal.tool && active == gPal.tool;
}

void activateMyTool(AVDoc doc) {
    if (!doc) doc = avAppGetActiveDoc();
    if (!doc || !gPal.tool) return;
    AVTool current = gAcroViewHFT->AVDocGetActiveTool(doc);
    if (current == gPal.tool) return;
    gPal.lastTool = current;
    gAcroViewHFT->AVDocSetActiveTool(doc, gPal.tool, true);
}

void deactivateMyTool() {
    if (!myTool()) return;
    AVDoc front = avAppGetActiveDoc();
    if (front)
        gAcroViewHFT->AVDocSetActiveTool(front, gPal.lastTool, true);
    else
        gAcroViewHFT->AVAppSetActiveTool(gPal.lastTool, true);
}
