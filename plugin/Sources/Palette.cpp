#include "Palette.h"

#include "ContextMenu.h"
#include "MyStrings.h"
#include "Platform.h"
#include "Prefs.h"

namespace {

bool gPaletteUpdate = false;
CMyDialog* gPalette = nullptr;
AVTool gTool = nullptr;
AVTool gLastTool = nullptr;
AVToolButton gToolButton = nullptr;

ASAtom toolType() {
    return asAtomFromString("Vexa");
}

ASAtom getType(AVTool) {
    return toolType();
}
void activate(AVTool, ASBool) {
    showPalette(nullptr);
}
void deactivate(AVTool) {
    adjustPalette();
}

AVToolRec gToolRec = {sizeof(AVToolRec), activate, deactivate, nullptr,      nullptr,
                      nullptr,           getType,  nullptr,    doRightClick, nullptr};

void toggleTool(ASClientData) {
    if (myTool()) {
        deactivateMyTool();
    } else {
        gLastTool = gAcroViewHFT->AVAppGetActiveTool();
        gAcroViewHFT->AVAppSetActiveTool(gTool, true);
    }
}
ASBool buttonEnabled(ASClientData) {
    return true;
}
ASBool buttonMarked(ASClientData) {
    return myTool();
}

}  // namespace

void adjustPalette() {
    gPaletteUpdate = true;
}
bool paletteNeedsUpdate() {
    return gPaletteUpdate;
}

void showPalette(AVWindow) {
    // The palette window itself is built by the interactive-editing code; until it
    // exists the command records the wish to see it.
    adjustPalette();
}

void showVexa() {
    showPalette(nullptr);
}

CMyDialog* getPalette() {
    return gPalette;
}

void doPaletteIdle() {
    if (!gPaletteUpdate || !gPalette) return;
    gPaletteUpdate = false;
}

void doNewBtn() {}

void doFramesBtn() {}

void doMarksBtn() {}

void doPrefsBtn() {
    if (gPrefs.shallReload()) gPrefs.reload();
    if (doPrefsDlg()) adjustPalette();
}

void setupTool() {
    gTool = gAcroViewHFT->AVAppRegisterTool(&gToolRec);
    gToolButton =
        gAcroViewHFT->AVToolButtonNew(asAtomFromString("ORVA:Vexa"), gModuleName, gExtensionID);
    gAcroViewHFT->AVToolButtonSetExecuteProc(gToolButton, toggleTool, nullptr);
    gAcroViewHFT->AVToolButtonSetComputeEnabledProc(gToolButton, buttonEnabled, nullptr);
    gAcroViewHFT->AVToolButtonSetComputeMarkedProc(gToolButton, buttonMarked, nullptr);
    AVToolBar editing = gAcroViewHFT->AVAppGetToolBarByName("Editing");
    if (editing) gAcroViewHFT->AVToolBarAddButton(editing, gToolButton, false, nullptr);
}

bool myTool() {
    AVDoc front = avAppGetActiveDoc();
    AVTool active =
        front ? gAcroViewHFT->AVDocGetActiveTool(front) : gAcroViewHFT->AVAppGetActiveTool();
    return gTool && active == gTool;
}

void activateMyTool(AVDoc doc) {
    if (!doc) doc = avAppGetActiveDoc();
    if (!doc || !gTool) return;
    if (gAcroViewHFT->AVDocGetActiveTool(doc) != gTool) {
        gLastTool = gAcroViewHFT->AVDocGetActiveTool(doc);
        gAcroViewHFT->AVDocSetActiveTool(doc, gTool, true);
    }
}

void deactivateMyTool() {
    AVDoc front = avAppGetActiveDoc();
    if (!myTool()) return;
    if (front)
        gAcroViewHFT->AVDocSetActiveTool(front, gLastTool, true);
    else
        gAcroViewHFT->AVAppSetActiveTool(gLastTool, true);
}
