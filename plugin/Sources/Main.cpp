#include "Sources/Main.h"

#include <cstring>

#include "Sources/DragAndDrop.h"
#include "Common/ErrorHandling.h"
#include "Sources/Hotfolder.h"
#include "Sources/ImposeDoc.h"
#include "platform/ModulePath.h"
#include "settings/MyDialog.h"
#include "settings/MySettings.h"
#include "settings/MyStrings.h"
#include "Common/BoxDesc.h"
#include "Sources/ImposeDlg.h"
#include "Sources/ImposeJob.h"
#include "Sources/JobOptions.h"
#include "Sources/Palette.h"
#include "platform/Platform.h"
#include "Common/Prefs.h"
#include "Sources/Selection.h"

namespace {

// What the plug-in's own callbacks carry between them (their client data).
struct MainState {
    bool firstIdle = false;  // the first idle call shows the palette, when visible
};
MainState gMain;

// The menu keys; their addresses are the menu items' client data.
const char kShow[] = "show";
const char kNew[] = "new";
const char kImpose[] = "impose";
const char kHotfolder[] = "hotfolder";
const char kPreferences[] = "preferences";
const char kInfo[] = "info";

AVMenubar menubar() {
    return gAcroViewHFT->AVAppGetMenubar();
}

ASBool alwaysEnabled(ASClientData) {
    return true;
}
ASBool neverMarked(ASClientData) {
    return false;
}
void executeMenuItem(ASClientData key) {
    doMenuCommand(key);
}

void addCommandItem(AVMenu menu, const char* key, bool ellipsis) {
    char title[300];
    getString(key, title);
    UTF8ToHost(title, sizeof title);
    if (ellipsis) addEllipsisToString(title);
    char name[128];
    std::snprintf(name, sizeof name, "Vexa:%s", key);
    AVMenuItem item = gAcroViewHFT->AVMenuItemNew(title, name, nullptr, false, 0, 0, gExtensionID);
    gAcroViewHFT->AVMenuItemSetExecuteProc(item, executeMenuItem, const_cast<char*>(key));
    gAcroViewHFT->AVMenuItemSetComputeEnabledProc(item, alwaysEnabled, nullptr);
    gAcroViewHFT->AVMenuItemSetComputeMarkedProc(item, neverMarked, nullptr);
    gAcroViewHFT->AVMenuAddMenuItem(menu, item, 0x7FFFFFFF);
    gAcroViewHFT->AVMenuItemRelease(item);
}

void avMenuAddSeparator(AVMenu menu) {
    AVMenuItem sep =
        gAcroViewHFT->AVMenuItemNew("-", "Vexa:separator", nullptr, false, 0, 0, gExtensionID);
    gAcroViewHFT->AVMenuAddMenuItem(menu, sep, 0x7FFFFFFF);
    gAcroViewHFT->AVMenuItemRelease(sep);
}

void setupMenus() {
    AVMenubar mb = menubar();
    if (!mb) return;
    AVMenu menu = gAcroViewHFT->AVMenuNew(gModuleName, "Vexa:Vexa", gExtensionID);
    addCommandItem(menu, kShow, true);
    avMenuAddSeparator(menu);
    addCommandItem(menu, kNew, false);
    addCommandItem(menu, kImpose, false);
    addCommandItem(menu, kHotfolder, true);
    addCommandItem(menu, kPreferences, false);
    avMenuAddSeparator(menu);
    addCommandItem(menu, kInfo, true);

    // Directly after "Window", or after the last menu when there is none.
    ASInt32 count = gAcroViewHFT->AVMenubarGetNumMenus(mb);
    ASInt32 position = count;
    ASAtom window = asAtomFromString("Window");
    for (ASInt32 i = 0; i < count; ++i) {
        AVMenu m = gAcroViewHFT->AVMenubarAcquireMenuByIndex(mb, i);
        if (!m) continue;
        ASAtom name = gAcroViewHFT->AVMenuGetName(m);
        gAcroViewHFT->AVMenuRelease(m);
        if (name == window) {
            position = i + 1;
            break;
        }
    }
    gAcroViewHFT->AVMenubarAddMenu(mb, menu, position);
    gAcroViewHFT->AVMenuRelease(menu);

    AVMenu about = gAcroViewHFT->AVMenubarAcquireMenuByName(mb, "AboutExtensions");
    if (about) {
        addCommandItem(about, gModuleName, true);
        gAcroViewHFT->AVMenuRelease(about);
    }
}

void pageViewDidChange(const AVNotificationData* data, ASClientData) {
    if (!data || !(data->flags & 2)) return;
    // Another page is shown: the editing tool works on the front document.
    AVDoc front = avAppGetActiveDoc();
    setCosDoc(front ? avDocGetPDDoc(front) : nullptr);
    adjustPalette();
}
void docWillClose(const AVNotificationData* data, ASClientData) {
    if (data) toolDocWillClose(data->avDoc);
    adjustPalette();
}
void frontDocDidChange(const AVNotificationData* data, ASClientData) {
    setCosDoc(data ? data->pdDoc : nullptr);
    adjustPalette();
}
void appDidInitialize(const AVNotificationData*, ASClientData data) {
    if (data) static_cast<MainState*>(data)->firstIdle = getVisible() == 1;
}
void appWillQuit(const AVNotificationData*, ASClientData) {
    savePalPosToPrefs();
}
void docDidChangePages(const AVNotificationData*, ASClientData) {
    adjustPalette();
}
void paletteRefresh(const AVNotificationData*, ASClientData) {
    adjustPalette();
}
void windowDidChange(const AVNotificationData*, ASClientData) {
    adjustPalette();
}
void pageViewDidDraw(const AVNotificationData* data, ASClientData) {
    drawFrames(data ? data->pageView : nullptr);
}

void registerNotifications() {
    auto reg = [](ASInt32 selector, AVNotificationProc proc, ASClientData data = nullptr) {
        gAcroViewHFT->AVAppRegisterNotification(selector, gExtensionID, proc, data);
    };
    reg(NSEL_AVPageViewDidDraw, pageViewDidDraw);
    reg(NSEL_AVPageViewDidChange, pageViewDidChange);
    reg(NSEL_AVDocDidOpen, docDidOpen);
    reg(NSEL_AVDocWillClose, docWillClose);
    reg(NSEL_AVAppFrontDocDidChange, frontDocDidChange);
    reg(NSEL_AVAppDidInitialize, appDidInitialize, &gMain);
    reg(NSEL_AVAppWillQuit, appWillQuit);
    reg(NSEL_PDDocDidChangePages, docDidChangePages);
    reg(NSEL_PDDocWillSaveEx, docWillSave);
    reg(NSEL_AVAppPaletteRefresh, paletteRefresh);
    if (gVersMajor > 6) reg(NSEL_AVDocWindowDidChange, windowDidChange);
}

}  // namespace

ASBool PluginExportHFTs() {
    // The job table lets a host run imposition jobs without the dialog; a host that
    // cannot take it still gets the plug-in.
    exportJobTable();
    return true;
}
ASBool PluginImportReplaceAndRegister() {
    return true;
}

ASBool PluginInit() {
    // 1. Our own file and module name, and the library of templates beside it.
    setupPIPath();
    setTemplateLibrary((getResourceFolder() + "/templates").c_str());
    // 2. Preferences.
    setupPrefs();
    // 3. Language: the preference, else the host's.
    char language[256] = "";
    getLanguage(language);
    if (language[0] == 0) gAcroViewHFT->AVAppGetLanguage(language);
    gLanguage = languageFromCode(language);
    // 4., 5. Texts and dialogs.
    setupMyStrings();
    setupDialogs("VEXA");
    // 6. The host version.
    gAcroViewHFT->AVAppGetVersion(&gVersMajor, &gVersMinor);
    if (gVersMajor >= 12) {
        msgBox("versionErr", gModuleName);
        return false;
    }
    // 7. Log.
    setupDump(1);
    clearDump(0x100000);
    dprintf("\n%s %s, %s", gModuleName, kVexaVersionString, gPIPath);
    dumpTime("\n", "\n");
    reportUnreadPrefs();
    // 8. Hot folders.
    setupHotfolder();
    // 9., 10. Menus.
    setupMenus();
    // 11. Idle callbacks.
    gAcroViewHFT->AVAppRegisterIdleProc(pluginIdle, &gMain, 6);
    gAcroViewHFT->AVAppRegisterIdleProc(settingsIdle, nullptr, 60);
    // 12. Notifications.
    registerNotifications();
    // 13. Keys on page views.
    if (gAcroViewHFT->hdr.version >= HFT_VERSION(4, 5))
        gAcroViewHFT->AVAppRegisterForPageViewKeyDown(doKeyDown, toolClientData());
    // 14. The editing tool.
    setupTool();
    return true;
}

ASBool PluginUnload() {
    forgetCheckedTemplate();
    disposePalette();
    shutdownSelection();
    cleanupMyStrings();
    return true;
}

void doMenuCommand(ASClientData data) {
    const char* key = static_cast<const char*>(data);
    if (!key) return;
    if (std::strcmp(key, gModuleName) == 0 || std::strcmp(key, kInfo) == 0)
        doAbout();
    else if (std::strcmp(key, kShow) == 0)
        showPalette(nullptr);
    else if (std::strcmp(key, kNew) == 0)
        doNewBtn();
    else if (std::strcmp(key, kImpose) == 0)
        doImposeCmd();
    else if (std::strcmp(key, kHotfolder) == 0)
        doHotfolderDlg();
    else if (std::strcmp(key, kPreferences) == 0)
        doPrefsBtn();
}

void doAbout() {
    char text[1200];
    std::snprintf(text, sizeof text, "%s %s\n\nPDF imposition: templates, marks, hot folders.\n%s",
                  gModuleName, kVexaVersionString, gPIPath);
    avAlert(ALERT_NOTE, text, nullptr, nullptr, nullptr, false);
}

void pluginIdle(ASClientData data) {
    auto* state = static_cast<MainState*>(data);
    doDropIdle();
    doHotfolder();
    doImposeIdle();
    doPaletteIdle();
    if (state && state->firstIdle) {
        state->firstIdle = false;
        showVexa();
        setEHMode(1);
    }
}

void settingsIdle(ASClientData) {
    if (!gPrefs.shallReload()) return;
    gPrefs.reload();
    reportUnreadPrefs();
}

namespace {
void repairFrameDicts(PDDoc);
}

void docDidOpen(const AVNotificationData* data, ASClientData) {
    if (!data || !data->avDoc) return;
    PDDoc doc = avDocGetPDDoc(data->avDoc);
    setCosDoc(doc);
    float version = getVexaVersion(doc);
    if (getDragDrop() == 1 || version > 0) SetupDropTarget(avDocGetAVWindow(data->avDoc));
    if (getPalette() && docIsTemplate(doc)) activateMyTool(data->avDoc);
    if (gVersMajor >= 10 && mayHoldOldFrames(doc)) repairFrameDicts(doc);
}

namespace {

// Templates of versions before 6.0 may keep frame dictionaries as direct objects; they
// are made indirect when such a template is opened.
void repairFrameDicts(PDDoc doc) {
    reportHostErrors(0, [doc] { makeFrameDictsIndirect(doc); });
}

// A template is always saved in full, in the PDF version the preferences ask for. The
// second flags word is cleared too, so the writer's own defaults apply.
void adjustSaveParams(PDDocSaveParamsRec* params, ASInt32 minor) {
    if (!params) return;
    params->saveFlags = PDSaveFull;
    params->saveFlags2 = 0;
    if (minor >= 1) {
        params->major = 1;
        params->minor = minor;
    }
}

}  // namespace

void docWillSave(const AVNotificationData* data, ASClientData) {
    if (!data || !data->pdDoc || !docIsTemplate(data->pdDoc)) return;
    // A copy (such as an optimized copy) keeps its own save settings.
    if (data->saveParams && (data->saveParams->saveFlags & PDSaveCopy)) return;
    adjustSaveParams(data->saveParams, saveAsMinor());
}
