#include "core/Core.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

#include "core/Registry.h"

namespace vexa::host {
namespace {

struct AtomTable {
    std::deque<std::string> names;  // stable storage: index = atom
    std::unordered_map<std::string, ASAtom> index;
};

AtomTable& atoms() {
    static AtomTable t;
    return t;
}

std::map<ASErrorCode, std::string>& errorTexts() {
    static std::map<ASErrorCode, std::string> texts{
        {genErrNoMemory, "Out of memory"},
        {genErrBadParm, "Bad parameter"},
        {genErrGeneral, "General error"},
        {genErrBadUnlock, "Bad unlock"},
        {genErrResourceLoadFailed, "A resource could not be loaded"},
        {genErrNotImplemented, "This operation is not available in this host"},
        {genErrCancelled, "The operation was cancelled"},
        {genErrLimitExceeded, "A limit of the host was exceeded"},
    };
    return texts;
}

WarningSink& sink() {
    static WarningSink s;
    return s;
}

HFT coreGetHFT(ASAtom name, ASVersion minVersion) {
    return registry().find(atomString(name), minVersion);
}

ASBool coreAtomExists(const char* text) {
    return text && atoms().index.count(text) != 0;
}

void* coreMalloc(ASSize_t size) {
    return std::malloc(size ? size : 1);
}
void* coreRealloc(void* p, ASSize_t size) {
    return std::realloc(p, size ? size : 1);
}
void coreFree(void* p) {
    std::free(p);
}

char* coreGetErrorString(ASErrorCode code, char* buf, ASSize_t len) {
    if (!buf || len == 0) return buf;
    std::string text = errorText(code);
    std::size_t n = std::min<std::size_t>(text.size(), len - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
    return buf;
}

ASInt32 coreRegisterErrorString(ASErrorCode code, const char* text) {
    setErrorText(code, text ? text : "");
    return ErrGetSystem(code);
}

void coreReportWarning(const char* text) {
    warn(text ? text : "");
}

[[noreturn]] void coreRaise(ASErrorCode code) {
    raise(code);
}

ASBool coreRegisterHFT(HFT table) {
    if (!table || !table->name || !*table->name || table->size < sizeof(HFTHeader)) return false;
    for (HFT t : registry().tables())
        if (std::strcmp(t->name, table->name) == 0) return false;
    registry().add(table);
    return true;
}

const CoreHFT kCore = {
    {kCoreHFTName, kCoreHFTVersion, sizeof(CoreHFT)},
    coreGetHFT,
    atomFromString,
    atomString,
    coreAtomExists,
    coreMalloc,
    coreRealloc,
    coreFree,
    coreRaise,
    coreGetErrorString,
    coreRegisterErrorString,
    coreReportWarning,
    coreRegisterHFT,
};

}  // namespace

ASAtom atomFromString(const char* text) {
    if (!text) text = "";
    AtomTable& t = atoms();
    auto it = t.index.find(text);
    if (it != t.index.end()) return it->second;
    ASAtom a = static_cast<ASAtom>(t.names.size());
    t.names.emplace_back(text);
    t.index.emplace(t.names.back(), a);
    return a;
}

const char* atomString(ASAtom atom) {
    AtomTable& t = atoms();
    return atom < t.names.size() ? t.names[atom].c_str() : "";
}

void raise(ASErrorCode code) {
    throw ASException(code);
}

void setErrorText(ASErrorCode code, std::string text) {
    errorTexts()[code] = std::move(text);
}

std::string errorText(ASErrorCode code) {
    auto& texts = errorTexts();
    auto it = texts.find(code);
    if (it != texts.end()) return it->second;
    return "Unknown error (code " + std::to_string(code) + ")";
}

WarningSink setWarningSink(WarningSink s) {
    WarningSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

void warn(const std::string& text) {
    if (sink()) sink()(text);
}

namespace {
NotificationSink gNotificationSink = nullptr;
}

void setNotificationSink(NotificationSink s) {
    gNotificationSink = s;
}

void notify(const AVNotificationData& data) {
    if (gNotificationSink) gNotificationSink(data);
}

const CoreHFT* coreTable() {
    return &kCore;
}

}  // namespace vexa::host
