#include "Common/Prefs.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Common/API.h"
#include "Common/BoxDesc.h"
#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "platform/Platform.h"
#include "platform/PlatformAPI.h"
#include "Common/Scopes.h"
#include "Common/Units.h"
#include "VexaJobHFT.h"

CMySettings gPrefs;

namespace {

const char* const kGeneral = "General";
const char* const kImpose = "Impose";
const char* const kDoc = "Doc";
const char* const kFrames = "Frames";
const char* const kMarks = "Marks";
const char* const kTrimLines = "TrimLines";
const char* const kJobInfo = "JobInfo";

constexpr ASInt32 kTextSize = 256;
constexpr float kPointsPerMM = 72.0f * 65536.0f / 25.4f;  // 16.16 points per millimetre

// Default sizes: an A4 frame (210 by 297 mm) and a 450 by 350 mm sheet, as the settings
// have always had them (converted in single precision, a unit or two from mm()).
constexpr ASFixed kDefaultFrameWidth = 39011980;
constexpr ASFixed kDefaultFrameHeight = 55174088;
constexpr ASFixed kDefaultSheetWidth = 83597104;
constexpr ASFixed kDefaultSheetHeight = mm(350);

// What goes with the preferences while the plug-in runs, beside the stored values.
struct PrefsState {
    bool showGuides = false;
    CMyDialog* palette = nullptr;  // the palette window, when open
    void (*changed)() = nullptr;   // called when the preferences dialog changed them
    std::string reported;          // why the file is not written, as logged last
};
PrefsState gPrefsState;

void getText(const char* section, const char* key, char* buffer) {
    if (buffer) gPrefs.get(section, key, buffer, kTextSize);
}

}  // namespace

void setupPrefs() {
    gPrefs.setupWithinAppSupport(gPIPath[0] ? gPIPath : nullptr, nullptr);
}

void reportUnreadPrefs() {
    std::string reason = gPrefs.unreadReason();
    if (reason == gPrefsState.reported) return;
    gPrefsState.reported = reason;
    if (!reason.empty())
        dprintf("\t####\tThe preferences file %s is kept as it is and not written: %s.\n",
                gPrefs.getPath(), reason.c_str());
}

void savePrefs() {
    gPrefs.save();
}

void getLanguage(char* buffer) {
    getText(kGeneral, "Language", buffer);
}
void getReplaceStr(char* buffer) {
    getText(kGeneral, "Replace", buffer);
}
void getSuffix(char* buffer) {
    getText(kImpose, "Suffix", buffer);
}
void getJobInfoStr(const char* field, char* buffer) {
    getText(kJobInfo, field, buffer);
}
void setJobInfoStr(const char* field, const char* text) {
    gPrefs.set(kJobInfo, field, text);
}
void getJobInfoFontName(char* buffer) {
    if (!buffer) return;
    std::strcpy(buffer, "Courier");
    getText(kJobInfo, "FontName", buffer);
}

ASInt32 getVisible() {
    return gPrefs.get(kGeneral, "Visible", 1) == 1 ? 1 : 0;
}
void setVisible(ASInt32 visible) {
    gPrefs.set(kGeneral, "Visible", visible);
    gPrefs.save();
}
namespace {
// A units code of the file, or the default when it names no length unit (0, 9, a
// text): the dialogs and the palette would show raw 16.16 numbers otherwise.
ASInt32 lengthUnit(const char* key) {
    ASInt32 u = gPrefs.get(kGeneral, key, kUnitMM);
    return u >= kUnitPoints && u <= kUnitCM ? u : kUnitMM;
}
}  // namespace

ASInt32 getPalUnits() {
    return lengthUnit("PalUnits");
}
void setPalUnits(ASInt32 units) {
    gPrefs.set(kGeneral, "PalUnits", units);
}
ASInt32 getDlgUnits() {
    return lengthUnit("DlgUnits");
}
void setDlgUnits(ASInt32 units) {
    gPrefs.set(kGeneral, "DlgUnits", units);
}
bool getOrigin() {
    return gPrefs.get(kGeneral, "Origin", 0) != 0;
}
void setOrigin(ASInt32 origin) {
    gPrefs.set(kGeneral, "Origin", origin);
}
ASInt32 getDragDrop() {
    return gPrefs.get(kGeneral, "DragDrop", 0);
}
ASInt32 getTrimBoxWarning() {
    return gPrefs.get(kGeneral, "TrimBoxWarning", 1);
}
bool getCenterOnDrop() {
    return gPrefs.get(kGeneral, "CenterOnDrop", 0) == 1;
}
ASInt32 getPixelsForDrag() {
    return gPrefs.get(kGeneral, "PixelsForDrag", 8);
}
ASInt32 getAdjustMediaBox() {
    return gPrefs.get(kGeneral, "adjustMediaBox", 1);
}
ASInt32 getMapSpotToBlack() {
    return gPrefs.get(kGeneral, "MapSpotToBlack", 0);
}
ASInt32 getMapSpot() {
    return gPrefs.get(kGeneral, "MapSpot", 0);
}
ASInt32 getKeepCenter() {
    return gPrefs.get(kDoc, "KeepCenter", 1);
}
void setKeepCenter(ASInt32 keep) {
    gPrefs.set(kDoc, "KeepCenter", keep);
    gPrefs.save();
}
ASInt32 getJobInfo() {
    return gPrefs.get(kDoc, "JobInfo", 1);
}
void setJobInfo(ASInt32 jobInfo) {
    gPrefs.set(kDoc, "JobInfo", jobInfo);
    gPrefs.save();
}
ASInt32 getJobInfoFontSize(ASInt32 def) {
    return gPrefs.get(kJobInfo, "FontSize", def);
}
ASInt32 getPrefGray() {
    return gPrefs.get(kMarks, "Gray", 0);
}
void setPrefGray(ASInt32 gray) {
    gPrefs.set(kMarks, "Gray", gray);
}
ASInt32 saveAsMinor() {
    ASInt32 v = gPrefs.get(kGeneral, "SaveAs", 4);
    return v >= 3 && v <= 6 ? v : 0;
}
ASInt32 getSaveNewDoc() {
    return gPrefs.get(kImpose, "SaveNewDoc", 0);
}

void getImposeTemplate(char* buffer) {
    getText(kImpose, "Template", buffer);
}
void setImposeTemplate(const char* path) {
    gPrefs.set(kImpose, "Template", path);
}
void getImposeHalfSheet(char* buffer) {
    getText(kImpose, "HalfSheet", buffer);
}
void setImposeHalfSheet(const char* path) {
    gPrefs.set(kImpose, "HalfSheet", path);
}
ASInt32 getImposeBinding() {
    return gPrefs.get(kImpose, "Binding", kBindSaddleStitch);
}
void setImposeBinding(ASInt32 binding) {
    gPrefs.set(kImpose, "Binding", binding);
}
ASInt32 getImposePlacing() {
    return gPrefs.get(kImpose, "Placing", 2);
}
void setImposePlacing(ASInt32 placing) {
    gPrefs.set(kImpose, "Placing", placing);
}

void loadFrParams(ASInt32* rows, ASInt32* cols, ASFixed* width, ASFixed* deltaW, ASFixed* height,
                  ASFixed* deltaH, ASInt32* rotation) {
    if (rows) *rows = gPrefs.get(kFrames, "Rows", 1);
    if (cols) *cols = gPrefs.get(kFrames, "Cols", 2);
    if (width) *width = gPrefs.get(kFrames, "Width", kDefaultFrameWidth);
    if (deltaW) *deltaW = gPrefs.get(kFrames, "DeltaW", 0);
    if (height) *height = gPrefs.get(kFrames, "Height", kDefaultFrameHeight);
    if (deltaH) *deltaH = gPrefs.get(kFrames, "DeltaH", 0);
    if (rotation) *rotation = gPrefs.get(kFrames, "Rotation", 0);
}

void saveFrParams(ASInt32 rows, ASInt32 cols, ASFixed width, ASFixed deltaW, ASFixed height,
                  ASFixed deltaH, ASInt32 rotation) {
    gPrefs.set(kFrames, "Rows", rows);
    gPrefs.set(kFrames, "Cols", cols);
    gPrefs.set(kFrames, "Width", width);
    gPrefs.set(kFrames, "DeltaW", deltaW);
    gPrefs.set(kFrames, "Height", height);
    gPrefs.set(kFrames, "DeltaH", deltaH);
    gPrefs.set(kFrames, "Rotation", rotation);
    gPrefs.save();
}

void loadMarkParams(ASFixed* length, ASFixed* distance, ASFixed* width, ASInt32* gray) {
    if (length) *length = gPrefs.get(kMarks, "Len", mm(3));
    if (distance) *distance = gPrefs.get(kMarks, "Dist", mm(3));
    if (width) *width = gPrefs.get(kMarks, "Width", pt(0.25));
    if (gray) *gray = gPrefs.get(kMarks, "Gray", 0);
}

void saveMarkParams(ASFixed length, ASFixed distance, ASFixed width, ASInt32 gray) {
    gPrefs.set(kMarks, "Len", length);
    gPrefs.set(kMarks, "Dist", distance);
    gPrefs.set(kMarks, "Width", width);
    gPrefs.set(kMarks, "Gray", gray);
    gPrefs.save();
}

void getPgParams(ASFixed* width, ASFixed* height) {
    if (width) *width = gPrefs.get(kDoc, "Width", kDefaultSheetWidth);
    if (height) *height = gPrefs.get(kDoc, "Height", kDefaultSheetHeight);
}

void setPgParams(ASFixed width, ASFixed height) {
    gPrefs.set(kDoc, "Width", width);
    gPrefs.set(kDoc, "Height", height);
}

ASFixed mmToFixed(float mm) {
    float v = mm * kPointsPerMM;
    if (!(v > -2147483520.0f)) return fixedNegativeInfinity;  // also catches NaN
    if (v >= 2147483520.0f) return fixedPositiveInfinity;
    return static_cast<ASFixed>(v);
}

ASFixed getTrap() {
    return mmToFixed(gPrefs.getfloat(kMarks, "Trap", 0.0f));
}
float getCenterMarkOffset() {
    return gPrefs.getfloat(kMarks, "CenterOffset", 0.0f);
}
ASFixed getTrimLinesWidth() {
    float w = gPrefs.getfloat(kTrimLines, "Width", 1.0f) * 65536.0f;
    if (!(w > -2147483520.0f) || w >= 2147483520.0f) return fixedOne;
    return static_cast<ASFixed>(w);
}

void getTrimLinesColorParams(char* name, float cmyk[4]) {
    if (name) {
        std::strcpy(name, "TL");
        getText(kTrimLines, "ColName", name);
    }
    if (cmyk) {
        char buf[kTextSize] = "0 0 0 1";
        gPrefs.get(kTrimLines, "CMYK", buf, sizeof buf);
        float v[4] = {0, 0, 0, 1};
        std::sscanf(buf, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
        for (int i = 0; i < 4; i++) cmyk[i] = v[i];
    }
}

ASFixed getRoundedValue(ASFixed value) {
    if (getDlgUnits() == kUnitMM) {
        float mm = static_cast<float>(value) * 25.4f / 4718592.0f;
        float whole = std::trunc(mm);
        return static_cast<ASFixed>(whole * 4718592.0f / 25.4f);
    }
    return static_cast<ASFixed>(static_cast<ASUns32>(value) & 0xFFFF0000u);
}

ASFixedPoint getRoundedPt(ASFixedPoint point) {
    return ASFixedPoint{getRoundedValue(point.h), getRoundedValue(point.v)};
}

ASFixedPoint getJobInfoPos(ASFixed pageHeight, ASFixed jobInfoHeight) {
    ASFixedPoint p{0, 0};
    if (getDlgUnits() != kUnitMM) return p;
    p.h = mmToFixed(gPrefs.getfloat(kJobInfo, "XPos", 2.0f));
    p.v = mmToFixed(gPrefs.getfloat(kJobInfo, "YPos", 2.0f));
    if (p.v < 0) p.v += pageHeight - jobInfoHeight;
    return p;
}

// Window positions.

static void storePos(CMyDialog* window, const char* section, const char* key) {
    if (!window || !window->getWindow() || !gPlatformUIHFT) return;
    ASInt32 left = 0, top = 0;
    gPlatformUIHFT->PUIWindowGetPos(window->getWindow(), &left, &top);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d %d", left, top);
    gPrefs.set(section, key, buf);
}

static void restorePos(CMyDialog* window, const char* section, const char* key) {
    if (!window || !window->getWindow() || !gPlatformUIHFT) return;
    char buf[kTextSize] = "100 100";
    gPrefs.get(section, key, buf, sizeof buf);
    int left = 100, top = 100;
    if (std::sscanf(buf, "%d %d", &left, &top) != 2 ||
        !gPlatformUIHFT->PUIPointOnScreen(left, top)) {
        left = 100;
        top = 100;
    }
    gPlatformUIHFT->PUIWindowSetPos(window->getWindow(), left, top);
}

void savePalPos(CMyDialog* palette, bool saveNow) {
    storePos(palette, kGeneral, "PalPos");
    if (saveNow) gPrefs.save();
}

void loadPalPos(CMyDialog* palette) {
    restorePos(palette, kGeneral, "PalPos");
}

void setPrefsPalette(CMyDialog* palette) {
    gPrefsState.palette = palette;
}
CMyDialog* getPrefsPalette() {
    return gPrefsState.palette;
}

void savePalPosToPrefs() {
    if (gPrefsState.palette) savePalPos(gPrefsState.palette, false);
    if (gPrefs.shallReload()) {
        char pos[kTextSize] = "";
        bool have = gPrefs.get(kGeneral, "PalPos", pos, sizeof pos) >= 0;
        gPrefs.reload();
        if (have) gPrefs.set(kGeneral, "PalPos", pos);
    }
    gPrefs.save();
}

bool toggleShowGuides() {
    gPrefsState.showGuides = !gPrefsState.showGuides;
    return gPrefsState.showGuides;
}
bool getShowGuides() {
    return gPrefsState.showGuides;
}

ASInt32 getHotfolderDelay() {
    return gPrefs.get("Hotfolder", "Delay", 2);
}

// Document state.

float getVexaVersion(PDDoc doc) {
    if (!doc || !HFT_HAS(gPDModelHFT, PDDocGetInfo)) return 0.0f;
    char creator[257] = "";
    // An unreadable Creator is not ours.
    if (!logHostErrors("reading the Creator",
                       [&] { gPDModelHFT->PDDocGetInfo(doc, "Creator", creator, 256); }))
        return 0.0f;
    if (std::strncmp(creator, "Vexa", 4) != 0) return 0.0f;
    char word[257];
    float version = 0.0f;
    if (std::sscanf(creator, "%256s%f", word, &version) != 2) return 0.0f;
    return version;
}

namespace {

// The template dictionary of the document's catalog ("Vexa"); when missing, a new
// direct dictionary with "Frames" = frames is stored there and *created is set.
bool templateDict(PDDoc doc, ASInt32 frames, CosObj* dict, bool* created) {
    if (!doc) doc = getCosPDDoc();
    if (!doc || !HFT_HAS(gPDModelHFT, PDDocGetCosDoc) || !HFT_HAS(gCosHFT, CosDocGetRoot) ||
        !gCosHFT->CosDictGet || !gCosHFT->CosNewDict || !gCosHFT->CosDictPut ||
        !gCosHFT->CosNewInteger || !gCosHFT->CosObjGetType || !gCosHFT->CosIntegerValue)
        return false;
    *created = false;
    return logHostErrors("reading the template dictionary", [&] {
        CosDoc cosDoc = gPDModelHFT->PDDocGetCosDoc(doc);
        CosObj root = gCosHFT->CosDocGetRoot(cosDoc);
        ASAtom key = asAtomFromString("Vexa");
        *dict = gCosHFT->CosDictGet(root, key);
        if (gCosHFT->CosObjGetType(*dict) != CosDict) {
            *dict = gCosHFT->CosNewDict(cosDoc, false, 2);
            gCosHFT->CosDictPut(*dict, asAtomFromString("Frames"),
                                gCosHFT->CosNewInteger(cosDoc, false, frames));
            gCosHFT->CosDictPut(root, key, *dict);
            *created = true;
        }
    });
}

ASInt32 framesValue(const CosObj& dict) {
    ASInt32 v = 0;
    if (!logHostErrors("reading the frames' visibility", [&] {
            CosObj frames = gCosHFT->CosDictGet(dict, asAtomFromString("Frames"));
            if (gCosHFT->CosObjGetType(frames) == CosInteger) v = gCosHFT->CosIntegerValue(frames);
        }))
        v = 0;
    return v;
}

}  // namespace

bool getFramesVisible(PDDoc doc) {
    CosObj dict;
    bool created = false;
    if (!templateDict(doc, 0, &dict, &created) || created) return false;
    return framesValue(dict) == 1;
}

bool toggleFramesVisible(PDDoc doc) {
    CosObj dict;
    bool created = false;
    if (!templateDict(doc, 1, &dict, &created)) return false;
    if (created) return true;
    ASInt32 next = 1 - framesValue(dict);
    if (!logHostErrors("showing or hiding the frames", [&] {
            if (!doc) doc = getCosPDDoc();
            CosDoc cosDoc = gPDModelHFT->PDDocGetCosDoc(doc);
            gCosHFT->CosDictPut(dict, asAtomFromString("Frames"),
                                gCosHFT->CosNewInteger(cosDoc, false, next));
        }))
        return false;
    return next == 1;
}

// The preferences dialog.

namespace {

enum {
    kPrefsOrigin = 4,
    kPrefsPalUnits = 6,
    kPrefsDlgUnits = 7,
    kPrefsDragDrop = 8,
    kPrefsTrimWarning = 9,
    kPrefsIniButton = 10,
};

const char* const kUnitItems[] = {"pts", "inch", "mm", "cm"};

void prefsOK(CMyDialog* dialog, ASInt32, void*) {
    if (!checkEditControls(dialog)) return;
    setOrigin(dialog->getValue(kPrefsOrigin) - 1);
    setPalUnits(dialog->getValue(kPrefsPalUnits));
    setDlgUnits(dialog->getValue(kPrefsDlgUnits));
    gPrefs.set(kGeneral, "DragDrop", dialog->getValue(kPrefsDragDrop));
    gPrefs.set(kGeneral, "TrimBoxWarning", dialog->getValue(kPrefsTrimWarning));
    gPrefs.save();
    dialog->endDialog(kCmdOK);
}

void prefsIni(CMyDialog* dialog, ASInt32, void*) {
    puiOpenWithDefaultApp(gPrefs.getPath());
    dialog->endDialog(kCmdCancel);
}

void prefsSetup(CMyDialog* dialog, void*) {
    dialog->setValue(kPrefsOrigin, getOrigin() ? 2 : 1);
    if (dialog->getMenu(kPrefsPalUnits) == 0) dialog->loadMenu(kPrefsPalUnits, kUnitItems, 4, true);
    if (dialog->getMenu(kPrefsDlgUnits) == 0) dialog->loadMenu(kPrefsDlgUnits, kUnitItems, 4, true);
    dialog->setValue(kPrefsPalUnits, getPalUnits());
    dialog->setValue(kPrefsDlgUnits, getDlgUnits());
    dialog->setValue(kPrefsDragDrop, getDragDrop() == 1);
    dialog->setValue(kPrefsTrimWarning, getTrimBoxWarning() == 1);
    char title[256];
    dialog->getText(kPrefsIniButton, title, sizeof title);
    if (std::strstr(title, "%s")) dialog->setTextWithFormat(kPrefsIniButton, title, gModuleName);
    dialog->setHandler(1, prefsOK, nullptr);
    dialog->setHandler(kPrefsIniButton, prefsIni, nullptr);
}

}  // namespace

void setPrefsChangedProc(void (*proc)()) {
    gPrefsState.changed = proc;
}

bool doPrefsDlg() {
    gPrefs.reload();
    bool ok = doModalDialog("PREFS", prefsSetup, nullptr) == kCmdOK;
    if (ok && gPrefsState.changed) gPrefsState.changed();
    return ok;
}
