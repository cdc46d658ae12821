// Weak stand-ins for the settings, strings and log functions, so that the plug-in
// links while those modules are being built. Their real definitions replace these.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "API.h"
#include "ErrorHandling.h"
#include "MyDialog.h"
#include "MySettings.h"
#include "MyStrings.h"
#include "Platform.h"
#include "Prefs.h"

#define WEAK __attribute__((weak))

WEAK char gPIPath[1024] = "";
WEAK char gModuleName[64] = "Vexa";
WEAK ASInt32 gLanguage = 0;
WEAK CMySettings gPrefs;

WEAK CMySettings::CMySettings() {}
WEAK CMySettings::~CMySettings() {}
WEAK bool CMySettings::shallReload() const {
    return false;
}
WEAK void CMySettings::reload() {}
WEAK ASInt32 CMySettings::get(const char*, const char*, char*, ASInt32) const {
    return -1;
}

WEAK void setPIPath(const char* path) {
    std::snprintf(gPIPath, sizeof gPIPath, "%s", path);
    const char* slash = std::strrchr(path, '/');
    if (!slash) {
        std::snprintf(gModuleName, sizeof gModuleName, "Orvanta");
        return;
    }
    std::snprintf(gModuleName, sizeof gModuleName, "%s", slash + 1);
    if (char* dot = std::strrchr(gModuleName, '.')) *dot = 0;
}
WEAK void setupPrefs() {}
WEAK void getLanguage(char*) {}
WEAK ASInt32 languageFromCode(const char* code) {
    if (std::strcmp(code, "DEU") == 0) return 3;
    if (std::strcmp(code, "FRA") == 0) return 1;
    if (std::strcmp(code, "NLD") == 0) return 5;
    return 0;
}
WEAK ASInt32 setupMyStrings() {
    return -1;
}
WEAK void cleanupMyStrings() {}
WEAK char* getString(const char* key, char* out) {
    std::snprintf(out, 251, "%s", key);
    return out;
}
WEAK char* addEllipsisToString(char* text) {
    return std::strcat(text, "\xE2\x80\xA6");
}
WEAK void UTF8ToHost(char*, ASInt32) {}
WEAK void setupDialogs(const char*) {}
WEAK ASInt32 msgBox(const char* key, ...) {
    char text[256];
    va_list ap;
    va_start(ap, key);
    std::vsnprintf(text, sizeof text, key, ap);
    va_end(ap);
    return gAcroViewHFT->AVAlert(ALERT_NOTE, text, "OK", nullptr, nullptr, true);
}
WEAK void setupDump(ASInt32) {}
WEAK void clearDump(ASInt32) {}
WEAK void dprintf(const char*, ...) {}
WEAK void dumpTime(const char*, const char*) {}
WEAK ASInt32 setEHMode(ASInt32) {
    return 0;
}
WEAK ASInt32 getVisible() {
    return 1;
}
WEAK void savePalPosToPrefs() {}
WEAK float getVexaVersion(PDDoc) {
    return 0;
}
WEAK ASInt32 getDragDrop() {
    return 0;
}
WEAK ASInt32 saveAsMinor() {
    return 4;
}
WEAK bool doPrefsDlg() {
    return false;
}
