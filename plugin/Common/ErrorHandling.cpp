#include "Common/ErrorHandling.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "Common/API.h"
#include "platform/FileOps.h"
#include "settings/MyStrings.h"
#include "platform/Platform.h"
#include "platform/PlatformAPI.h"

namespace {

// The log and the error reporting of the whole plug-in.
struct ErrorState {
    ASInt32 logMode = 0;   // 0 off, 1 or more on
    std::string dumpPath;  // the log file, worked out at first use
    ASInt32 ehMode = kEHUnset;
    ASInt32 errorCnt = 0;  // errors counted in mode 2
    ErrorObserver observer{nullptr, nullptr};
    std::string msg2;  // a second paragraph for the next alert (setMsg2)
    bool haveMsg2 = false;
};
ErrorState gErrors;

constexpr int64_t kStartLimit = 100001;  // a log of this size or more is deleted at start
constexpr size_t kLineSize = 8192;
constexpr size_t kMessageSize = 256;

const std::string& dumpPath() {
    if (gErrors.dumpPath.empty()) {
        // $VEXA_LOG names the log file itself (a service's log under /var/log).
        const char* file = std::getenv("VEXA_LOG");
        if (file && *file) return gErrors.dumpPath = file;
        std::string folder = getDocumentsFolder() + "/Orvanta";
        gErrors.dumpPath = folder + "/" + gModuleName + ".txt";
    }
    return gErrors.dumpPath;
}

void appendToLog(const char* text, size_t len) {
    appendLocked(dumpPath().c_str(), text, len);  // when it fails, the line is lost
}

void writeLine(const char* text) {
    size_t len = std::strlen(text);
    // Only the log: on this platform the standard output belongs to the host's own
    // output (scripts, command results).
    if (gErrors.logMode < 1 || len == 0) return;
    appendToLog(text, len);
}

std::string formatKey(const char* key, va_list args) {
    std::string text = vformatStringWithKey(key, args);
    if (text.size() >= kMessageSize) {
        // Cut to the message size, not inside a UTF-8 sequence.
        std::size_t len = kMessageSize - 1;
        while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) --len;
        text.resize(len);
    }
    return text;
}

void showAlert(ASInt32 icon, const char* message, const char* k1, const char* k2, const char* k3,
               ASInt32* answer) {
    char b1[256], b2[256], b3[256];
    std::string text = message;
    if (gErrors.haveMsg2 && !gErrors.msg2.empty()) text += "\n\n" + gErrors.msg2;
    *answer = 1;
    if (gAcroViewHFT)
        *answer = avAlert(icon, text.c_str(), k1 ? getString(k1, b1) : nullptr,
                          k2 ? getString(k2, b2) : nullptr, k3 ? getString(k3, b3) : nullptr, true);
    gErrors.msg2.clear();
    gErrors.haveMsg2 = false;
}

ASInt32 messageBox(const char* key, va_list args, const char* k1, const char* k2, const char* k3) {
    std::string text = formatKey(key, args);
    ASInt32 answer = 1;
    showAlert(ALERT_NOTE, text.c_str(), k1, k2, k3, &answer);
    return answer;
}

}  // namespace

void setLogMode(ASInt32 mode) {
    gErrors.logMode = mode;
}

void setupDump(ASInt32 mode) {
    gErrors.dumpPath.clear();
    const std::string& path = dumpPath();
    ensureFolder(getParentFolder(path));
    if (getFileSize(path) >= kStartLimit) deleteFile(path);
    setLogMode(mode);
}

void clearDump(ASInt32 limit) {
    if (getFileSize(dumpPath()) > limit) deleteFile(dumpPath());
}

const char* getDumpPath() {
    return dumpPath().c_str();
}

void dprintf(const char* format, ...) {
    if (gErrors.logMode == 0 || !format) return;
    char buf[kLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    writeLine(buf);
}

void dump(const char* text) {
    if (gErrors.logMode >= 1 && text) appendToLog(text, std::strlen(text));
}

void dumpTime(const char* prefix, const char* suffix) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    dprintf("%s%02d:%02d:%02d%s", prefix ? prefix : "", tm.tm_hour, tm.tm_min, tm.tm_sec,
            suffix ? suffix : "\n");
}

void openDump() {
    puiOpenWithDefaultApp(dumpPath().c_str());
}

bool checkForEscKey() {
    return puiCheckForEscKey();
}

void beep() {
    if (gPlatformUIHFT)
        puiBeep();
    else if (gAcroViewHFT)
        avSysBeep(0);
}

ASInt32 setEHMode(ASInt32 mode) {
    ASInt32 previous = gErrors.ehMode;
    gErrors.ehMode = mode;
    gErrors.errorCnt = 0;
    return previous;
}

ASInt32 getErrorCnt() {
    return gErrors.errorCnt;
}

std::string formatErrorLine(ASInt32 pageNum, const char* text) {
    char line[kMessageSize + 64];
    if (pageNum)
        std::snprintf(line, sizeof line, "\t####\tPage %d: %s\n", pageNum, text);
    else
        std::snprintf(line, sizeof line, "\t####\t%s\n", text);
    return line;
}

std::string hostErrorText(ASErrorCode code) {
    char text[kMessageSize] = "";
    if (gCoreHFT) asGetErrorString(code, text, sizeof text);
    if (!text[0]) std::snprintf(text, sizeof text, "Error %d", static_cast<int>(code));
    return text;
}

void doExceptionError(ASInt32 pageNum, ASErrorCode code) {
    reportError(pageNum, hostErrorText(code).c_str());
}

void reportError(ASInt32 pageNum, const char* text) {
    if (!text) text = "";
    if (gErrors.ehMode >= kEHLog) {
        gErrors.errorCnt++;
        writeLine(formatErrorLine(pageNum, text).c_str());
        if (gErrors.observer.proc) gErrors.observer.proc(pageNum, text, gErrors.observer.data);
    } else {
        ASInt32 answer;
        showAlert(ALERT_STOP, text, nullptr, nullptr, nullptr, &answer);
    }
}

void reportError(const char* text) {
    reportError(0, text);
}

ErrorModeScope::ErrorModeScope(ASInt32 mode) : mode_(gErrors.ehMode), count_(gErrors.errorCnt) {
    gErrors.ehMode = mode;
    gErrors.errorCnt = 0;
}

ErrorModeScope::~ErrorModeScope() {
    gErrors.ehMode = mode_;
    gErrors.errorCnt = count_;
}

ErrorObserver setErrorObserver(ErrorObserver observer) {
    ErrorObserver previous = gErrors.observer;
    gErrors.observer = observer;
    return previous;
}

void setMsg2(const char* key, ...) {
    va_list args;
    va_start(args, key);
    gErrors.msg2 = formatKey(key, args);
    gErrors.haveMsg2 = true;
    va_end(args);
}

ASInt32 msgBox(const char* key, ...) {
    va_list args;
    va_start(args, key);
    ASInt32 r = messageBox(key, args, "ok", nullptr, nullptr);
    va_end(args);
    return r;
}

ASInt32 msgBoxYesNo(const char* key, ...) {
    va_list args;
    va_start(args, key);
    ASInt32 r = messageBox(key, args, "yes", "no", nullptr);
    va_end(args);
    return r;
}
