#include "ContextMenu.h"

#include <cstring>
#include <filesystem>

#include "AddPages.h"
#include "BoxDesc.h"
#include "DragAndDrop.h"
#include "ErrorHandling.h"
#include "FileOps.h"
#include "JobInfo.h"
#include "MyStrings.h"
#include "Palette.h"
#include "Platform.h"
#include "Prefs.h"
#include "Selection.h"

namespace {

// Command numbers of the menu's items.
enum {
    kCmdTextFrame = 1,
    kCmdFrames = 2,
    kCmdRotate = 3,
    kCmdBleed = 4,
    kCmdMarks = 5,
    kCmdSubmenu = 1000,  // + position (from 1) of an item of a submenu
};

const char kSaveOptimizedSection[] = "SaveOptimized";

bool hostHasPreset(const char* name) {
    ASInt32 n = gAcroViewHFT->AVAppGetNumOptimizerPresets();
    for (ASInt32 i = 0; i < n; ++i) {
        char buf[256];
        gAcroViewHFT->AVAppGetOptimizerPresetName(i, buf, sizeof buf);
        if (std::strcmp(buf, name) == 0) return true;
    }
    return false;
}

bool collectTarget(const char* key, const char* value, void* data) {
    auto* out = static_cast<std::vector<OptimizedTarget>*>(data);
    if (key && *key && value && *value && hostHasPreset(key) && folderExists(value))
        out->push_back({key, value});
    return true;
}

void redrawView(AVPageView view) {
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}

void runCommand(ASInt32 command, AVPageView view, ASFixedPoint point) {
    PDPage page = avPageViewGetPage(view);
    reportHostErrors(0, [&] {
        switch (command) {
            case kCmdTextFrame:
                addTextFrame(page, point);
                break;
            case kCmdFrames:
                doFramesBtn();
                break;
            case kCmdRotate:
                rotateFrames(page, 90);
                break;
            case kCmdBleed:
                doBleedRectDlg();
                break;
            case kCmdMarks:
                doMarksBtn();
                break;
            default:
                break;
        }
    });
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

}  // namespace

// MyMenu.

MyMenu::MyMenu() {
    menu_ = gAcroViewHFT->AVMenuNew("", "Vexa:ContextMenu", gExtensionID);
}

MyMenu::~MyMenu() {
    if (menu_) gAcroViewHFT->AVMenuRelease(menu_);
}

void MyMenu::add(const char* title, ASInt32 number, AVMenu submenu) {
    if (!menu_) return;
    AVMenuItem item = gAcroViewHFT->AVMenuItemNew(title, "", submenu, false, 0, 0, gExtensionID);
    gAcroViewHFT->AVMenuAddMenuItem(menu_, item, 0x7FFFFFFF);
    gAcroViewHFT->AVMenuItemRelease(item);
    items_.push_back({item, number});
}

void MyMenu::addItemWithText(const char* key, ASInt32 number, bool withEllipsis) {
    char title[300];
    getString(key, title);
    UTF8ToHost(title, sizeof title);
    if (withEllipsis) addEllipsisToString(title);
    add(title, number, nullptr);
}

void MyMenu::addItems(const std::vector<std::string>& texts) {
    for (const std::string& t : texts) add(t.c_str(), 0, nullptr);
}

void MyMenu::addSubMenu(const char* key, MyMenu& sub) {
    char title[300];
    getString(key, title);
    UTF8ToHost(title, sizeof title);
    add(title, 0, sub.menu_);
    subs_.push_back(&sub);
}

ASInt32 MyMenu::track(AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!menu_) return 0;
    AVMenuItem chosen = gAcroViewHFT->AVMenuDoPopUp(menu_, view, x, y);
    if (!chosen) return 0;
    for (const Item& it : items_)
        if (it.item == chosen) return it.number;
    for (const MyMenu* sub : subs_)
        for (std::size_t i = 0; i < sub->items_.size(); ++i)
            if (sub->items_[i].item == chosen) return kCmdSubmenu + static_cast<ASInt32>(i) + 1;
    return 0;
}

// The context menu.

std::vector<OptimizedTarget> getOptimizedTargets() {
    std::vector<OptimizedTarget> out;
    gPrefs.enumSection(kSaveOptimizedSection, collectTarget, &out);
    return out;
}

namespace {

// Builds the menu for the place clicked, shows it and runs a command of the sheet or
// the frame; returns the number chosen (a "Save optimized" item is left to the caller).
ASInt32 showMenu(AVPageView view, AVDevCoord x, AVDevCoord y,
                 std::vector<OptimizedTarget>& targets) {
    ASFixedPoint point{0, 0};
    gAcroViewHFT->AVPageViewDevicePointToPage(view, x, y, &point);
    PageContentHold hold(avPageViewGetPage(view));
    PDEElement frame = getPDEForMouse(view, x, y);
    MyMenu menu;
    MyMenu presets;
    if (!frame) {
        clearSelection(view, true);
        menu.addItemWithText("frames", kCmdFrames);
        menu.addItemWithText("textframe", kCmdTextFrame);
        menu.addItemWithText("marks", kCmdMarks);
        targets = getOptimizedTargets();
        if (!targets.empty()) {
            std::vector<std::string> names;
            names.reserve(targets.size());
            for (const OptimizedTarget& t : targets) names.push_back(t.preset);
            presets.addItems(names);
            menu.addSubMenu("saveOptimized", presets);
        }
    } else {
        if (!getSelected(frame)) {
            clearSelection(view, false);
            setSelected(frame, true);
            redrawView(view);
        }
        menu.addItemWithText("bleedingdlg", kCmdBleed, true);
        menu.addItemWithText("rotate", kCmdRotate);
        menu.addItemWithText("marks", kCmdMarks);
    }
    ASInt32 choice = menu.track(view, x, y);
    if (choice > 0 && choice < kCmdSubmenu) runCommand(choice, view, point);
    return choice;
}

}  // namespace

ASBool doRightClick(AVTool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16, ASInt16) {
    if (!view) return true;
    // The page under the click is the one the commands work on.
    getPageForMouse(view, x, y);
    std::vector<OptimizedTarget> targets;
    ASInt32 choice = 0;
    // a sheet whose content cannot be read, say
    if (!reportHostErrors(0, [&] { choice = showMenu(view, x, y, targets); })) choice = 0;
    std::size_t k = static_cast<std::size_t>(choice - kCmdSubmenu - 1);
    if (choice > kCmdSubmenu && k < targets.size()) saveOptimized(view, targets[k]);
    return true;
}

AVPageView saveOptimized(AVPageView view, const OptimizedTarget& target) {
    if (!view) return view;
    AVDoc avDoc = avPageViewGetAVDoc(view);
    PDDoc doc = avDoc ? avDocGetPDDoc(avDoc) : nullptr;
    // The document is opened again from its file afterwards: it must have one.
    char path[1024] = {0};
    ASInt32 len = doc ? gPDModelHFT->PDDocGetPath(doc, path, sizeof path) : 0;
    if (len <= 0 || len >= static_cast<ASInt32>(sizeof path)) {
        msgBox("saveOptErr");
        return view;
    }
    AVOptimizerParamsRec params{};
    params.size = sizeof params;
    if (!gAcroViewHFT->AVGetOptimizerParamsForPreset(target.preset.c_str(), avDoc, &params)) {
        msgBox("saveOptErr");
        return view;
    }
    char name[512];
    getFileName(path, name, sizeof name, false);
    std::string fileName = std::string(name) + "_O.pdf";
    std::string saved = getTempFolder() + "/" + fileName;
    params.newPath = saved.c_str();
    bool ok = false;
    reportHostErrors(0, [&] {
        gAcroViewHFT->AVDocSaveOptimized(avDoc, &params);
        ok = true;
    });
    // A failed save must not hand on an older file of that name.
    if (!ok) return view;

    // Closing without asking would throw away unsaved changes: such a document stays
    // open as it is (the optimized copy holds its changes all the same).
    bool reopen = (pdDocGetFlags(doc) & PDDocNeedsSave) == 0;
    char title[512] = {0};
    gAcroViewHFT->AVDocGetTitle(avDoc, title, sizeof title);
    if (reopen && !gAcroViewHFT->AVDocClose(avDoc, true)) reopen = false;

    std::string dest = target.folder + "/" + fileName;
    if (!samePath(saved, dest)) {
        if (copyFileReplace(saved.c_str(), dest.c_str())) {
            deleteFile(saved);
        } else {
            int error = lastOsError().code;
            setMsg2("%s", target.folder.c_str());
            msgBox("saveOptErrCode", error);
        }
    }
    if (!reopen) return view;

    PDDoc again = nullptr;
    reportHostErrors(0, [&] { again = gPDModelHFT->PDDocOpen(path, true); });
    if (!again) return nullptr;
    AVDoc opened = gAcroViewHFT->AVDocOpenFromPDDoc(again, title[0] ? title : name);
    if (!opened) return nullptr;
    activateMyTool(opened);
    return avDocGetPageView(opened);
}
