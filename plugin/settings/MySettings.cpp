#include "settings/MySettings.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/FileOps.h"
#include "settings/MyStrings.h"
#include "platform/Platform.h"

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr ASInt32 kGrowStep = 8192;
constexpr ASInt32 kKeepFree = 512;
constexpr ASInt32 kNoMemory = -108;
// A settings file is a few kilobytes; a larger one than this is not read (the store
// starts empty and never overwrites it).
constexpr size_t kMaxFileSize = 16u << 20;
// The convention of files that show none (new files, one-line files): the
// platform's own line end.
constexpr const char* kNativeLineEnd = "\n";

const char* findBytes(const char* hay, const char* needle) {
    return std::strstr(hay, needle);
}

}  // namespace

CMySettings::CMySettings()
    : loadedDate_(0),
      text_(nullptr),
      used_(0),
      capacity_(0),
      lineEnd_(kNativeLineEnd),
      lineEndLen_(1),
      readOnly_(false),
      changed_(false) {
    path_[0] = 0;
    unread_[0] = 0;
}

CMySettings::CMySettings(ASInt32 size) : CMySettings() {
    setup(size);
}

CMySettings::~CMySettings() {
    cleanup();
}

ASInt32 CMySettings::setup(ASInt32 size) {
    cleanup();
    if (size <= 0) size = 4096;
    text_ = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 1, 1));
    if (!text_) return kNoMemory;
    capacity_ = size;
    used_ = 0;
    return 0;
}

ASInt32 CMySettings::setup(const char* text, ASInt32 length, ASInt32 capacity) {
    cleanup();
    if (length < 0) length = 0;
    if (capacity < length) capacity = length;
    text_ = static_cast<char*>(std::calloc(static_cast<size_t>(capacity) + 1, 1));
    if (!text_) return kNoMemory;
    if (text && length > 0) std::memcpy(text_, text, static_cast<size_t>(length));
    capacity_ = capacity;
    used_ = static_cast<ASInt32>(std::strlen(text_));
    return 0;
}

ASInt32 CMySettings::setupWithPath(const char* path) {
    cleanup();
    std::string p = path ? path : "";
    if (p.size() < 4 || p.compare(p.size() - 4, 4, ".ini") != 0) p = replaceExtension(p, ".ini");
    std::snprintf(path_, sizeof path_, "%s", p.c_str());
    return load();
}

ASInt32 CMySettings::setupWithinAppSupport(const char* oldPath, const char* subFolder) {
    // $VEXA_CONFIG names the preferences file itself (a service's file under /etc).
    const char* file = std::getenv("VEXA_CONFIG");
    if (file && *file && !(subFolder && *subFolder)) {
        cleanup();
        std::snprintf(path_, sizeof path_, "%s", file);
        return load();
    }
    std::string folder = getConfigFolder() + "/Orvanta";
    if (subFolder && *subFolder) folder += std::string("/") + subFolder;
    ensureFolder(folder);
    char p[512];
    std::snprintf(p, sizeof p, "%s%s%s.ini", folder.c_str(), "/", gModuleName);
    if (!fileExists(p) && oldPath && *oldPath) {
        std::string old = replaceExtension(oldPath, ".ini");
        if (fileExists(old)) moveFile(old, p);
    }
    return setupWithPath(p);
}

ASInt32 CMySettings::load() {
    readOnly_ = false;
    unread_[0] = 0;
    std::free(text_);
    text_ = nullptr;
    used_ = capacity_ = 0;
    lineEnd_ = kNativeLineEnd;
    lineEndLen_ = 1;
    FILE* f = std::fopen(path_, "rb");
    if (f) {
        std::string data;
        char chunk[16384];
        size_t n;
        bool tooLarge = false;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
            data.append(chunk, n);
            if (data.size() > kMaxFileSize) {
                tooLarge = true;
                break;
            }
        }
        bool readError = std::ferror(f) != 0;
        std::fclose(f);
        if (tooLarge)
            std::snprintf(unread_, sizeof unread_, "it is larger than %zu MB", kMaxFileSize >> 20);
        else if (readError)
            std::snprintf(unread_, sizeof unread_, "it cannot be read to its end");
        else if (std::size_t zero = data.find('\0'); zero != std::string::npos)
            std::snprintf(unread_, sizeof unread_,
                          "it holds a zero byte at offset %zu (read up to there)", zero);
        readOnly_ = unread_[0] != 0;
        if (tooLarge || readError) data.clear();
        ASInt32 size = static_cast<ASInt32>(data.size());
        ASInt32 cap = size + kGrowStep;
        text_ = static_cast<char*>(std::calloc(static_cast<size_t>(cap) + 1, 1));
        if (!text_) return kNoMemory;
        std::memcpy(text_, data.data(), data.size());
        capacity_ = cap;
        // The text is handled as a zero-terminated string: anything after a zero byte
        // is not part of it.
        used_ = static_cast<ASInt32>(strnlen(text_, static_cast<size_t>(size)));
        setupCR();
        replaceCR();
    } else {
        char* prefs = getResourceData("Prefs", "ini", gLanguage);
        if (prefs) {
            ASInt32 len = static_cast<ASInt32>(std::strlen(prefs));
            ASInt32 r = setup(prefs, len, len + kGrowStep);
            std::free(prefs);
            if (r != 0) return r;
            replaceCR();
        } else {
            text_ = static_cast<char*>(std::calloc(kGrowStep + 1, 1));
            if (!text_) return kNoMemory;
            capacity_ = kGrowStep;
        }
    }
    loadedDate_ = fileDate();
    changed_ = false;
    return 0;
}

int64_t CMySettings::fileDate() const {
    return path_[0] ? getFileModDate(path_) : 0;
}

bool CMySettings::shallReload() const {
    return path_[0] && fileDate() > loadedDate_;
}

void CMySettings::reload() {
    if (shallReload()) load();
}

void CMySettings::setupCR() {
    const char* cr = std::strchr(text_, CR);
    if (cr) {
        if (cr[1] == LF) {
            lineEnd_ = "\r\n";
            lineEndLen_ = 2;
        } else {
            lineEnd_ = "\r";
            lineEndLen_ = 1;
        }
    } else if (std::strchr(text_, LF)) {
        lineEnd_ = "\n";
        lineEndLen_ = 1;
    } else {
        lineEnd_ = kNativeLineEnd;
        lineEndLen_ = 1;
    }
}

void CMySettings::replaceCR() {
    for (ASInt32 i = 0; i < used_; i++)
        if (text_[i] == LF) text_[i] = CR;
}

void CMySettings::restoreCR() {
    if (lineEndLen_ == 2) {
        for (ASInt32 i = 0; i + 1 < used_; i++) {
            if (text_[i] == CR && text_[i + 1] == CR) {
                text_[i + 1] = LF;
                i++;
            }
        }
    } else if (lineEnd_[0] == LF) {
        for (ASInt32 i = 0; i < used_; i++)
            if (text_[i] == CR) text_[i] = LF;
    }
}

ASInt32 CMySettings::findSection(const char* section, ASInt32* end) const {
    if (!text_ || !section) return -1;
    std::string header = std::string("[") + section + "]";
    const char* h = findBytes(text_, header.c_str());
    if (!h) return -1;
    ASInt32 pos = static_cast<ASInt32>(h - text_);
    if (end) {
        const char* next = findBytes(h + header.size(), "\r[");
        *end = next ? static_cast<ASInt32>(next - text_) + 1 : used_;
    }
    return pos;
}

ASInt32 CMySettings::findKey(const char* section, const char* key) const {
    if (!key) return -1;
    ASInt32 end = 0;
    ASInt32 pos = findSection(section, &end);
    if (pos < 0) return -1;
    std::string pattern = std::string("\r") + key + "=";
    const char* from = text_ + pos + std::strlen(section) + 2;
    const char* k = findBytes(from, pattern.c_str());
    if (!k) return -1;
    ASInt32 kpos = static_cast<ASInt32>(k - text_) + 1;
    return kpos < end ? kpos : -1;
}

ASInt32 CMySettings::getLineLen(ASInt32 pos, bool withEnd) const {
    if (!text_ || pos < 0 || pos >= used_) return 0;
    ASInt32 i = pos;
    while (i < used_ && text_[i] != CR && text_[i] != 0) i++;
    if (withEnd && i < used_ && text_[i] == CR) {
        i++;
        if (lineEndLen_ == 2 && i < used_ && text_[i] == CR) i++;
    }
    return i - pos;
}

ASInt32 CMySettings::get(const char* section, const char* key, char* value,
                         ASInt32 capacity) const {
    ASInt32 kpos = findKey(section, key);
    if (kpos < 0) return -1;
    const char* v = text_ + kpos + std::strlen(key) + 1;
    const char* e = v;
    while (*e && *e != CR) e++;
    ASInt32 len = static_cast<ASInt32>(e - v);
    if (!value || capacity <= 0) return len;
    len = std::min(len, capacity - 1);
    std::memcpy(value, v, static_cast<size_t>(len));
    value[len] = 0;
    return len;
}

ASInt32 CMySettings::get(const char* section, const char* key, ASInt32 def) const {
    char buf[256];
    if (get(section, key, buf, sizeof buf) <= 0) return def;
    long long v = std::strtoll(buf, nullptr, 10);
    return static_cast<ASInt32>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

float CMySettings::getfloat(const char* section, const char* key, float def) const {
    char buf[256];
    if (get(section, key, buf, sizeof buf) <= 0) return def;
    return std::strtof(buf, nullptr);
}

bool CMySettings::checkBuffer(ASInt32 lineLen) {
    ASInt32 need = std::max(kKeepFree, lineLen + 1);
    if (lineLen < 0 || need > INT_MAX / 2 - used_) return false;
    ASInt32 cap = capacity_;
    while (used_ + need > cap) cap += kGrowStep;
    if (cap == capacity_ && text_) return true;
    char* grown = static_cast<char*>(std::realloc(text_, static_cast<size_t>(cap) + 1));
    if (!grown) return false;
    std::memset(grown + used_, 0, static_cast<size_t>(cap + 1 - used_));
    text_ = grown;
    capacity_ = cap;
    return true;
}

void CMySettings::cut(ASInt32 pos, ASInt32 len) {
    if (!text_ || pos < 0 || len <= 0 || pos >= used_) return;
    len = std::min(len, used_ - pos);
    std::memmove(text_ + pos, text_ + pos + len, static_cast<size_t>(used_ - pos - len));
    used_ -= len;
    text_[used_] = 0;
    changed_ = true;
}

void CMySettings::insert(ASInt32 pos, const char* bytes, ASInt32 len) {
    std::memmove(text_ + pos + len, text_ + pos, static_cast<size_t>(used_ - pos));
    std::memcpy(text_ + pos, bytes, static_cast<size_t>(len));
    used_ += len;
    text_[used_] = 0;
    changed_ = true;
}

ASInt32 CMySettings::set(const char* section, const char* key, const char* value) {
    if (!section || !key) return -1;
    if (!value) value = "";
    // The same value again changes nothing (not even where the key stands).
    std::string current(std::strlen(value) + 2, '\0');
    if (get(section, key, current.data(), static_cast<ASInt32>(current.size())) ==
            static_cast<ASInt32>(std::strlen(value)) &&
        std::strcmp(current.c_str(), value) == 0)
        return 0;
    const char* le = lineEndLen_ == 2 ? "\r\r" : "\r";
    ASInt32 leLen = lineEndLen_ == 2 ? 2 : 1;
    std::string line = std::string(key) + "=" + value + le;
    std::string sectionText = std::string(le) + "[" + section + "]" + le + line;
    // Room for the largest insertion: a new section, or a line after an added line end.
    if (!checkBuffer(static_cast<ASInt32>(sectionText.size()) + leLen)) return kNoMemory;

    if (findSection(section, nullptr) < 0) {
        insert(used_, sectionText.data(), static_cast<ASInt32>(sectionText.size()));
        return 0;
    }
    remove(section, key);
    ASInt32 pos = findSection(section, nullptr);
    ASInt32 headerEnd = pos + static_cast<ASInt32>(std::strlen(section)) + 2;
    bool another = findBytes(text_ + headerEnd, "\r[") != nullptr;
    if (another) {
        ASInt32 at = pos + getLineLen(pos, true);
        insert(at, line.data(), static_cast<ASInt32>(line.size()));
    } else {
        if (used_ > 0 && text_[used_ - 1] != CR) insert(used_, le, leLen);
        insert(used_, line.data(), static_cast<ASInt32>(line.size()));
    }
    return 0;
}

ASInt32 CMySettings::set(const char* section, const char* key, ASInt32 value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", value);
    return set(section, key, buf);
}

void CMySettings::remove(const char* section) {
    ASInt32 end = 0;
    ASInt32 pos = findSection(section, &end);
    if (pos < 0) return;
    if (end < used_) {
        cut(pos, end - pos);
    } else {
        ASInt32 at = pos;
        if (at >= 2 && text_[at - 1] == CR && text_[at - 2] == CR) at--;
        used_ = at;
        text_[used_] = 0;
    }
}

void CMySettings::remove(const char* section, const char* key) {
    // Every line of the key: a file may hold it twice, and the first one counts.
    for (ASInt32 kpos; (kpos = findKey(section, key)) >= 0;) removeLine(kpos);
}

void CMySettings::removeLine(ASInt32 pos) {
    if (pos >= 0 && pos < used_) cut(pos, getLineLen(pos, true));
}

void CMySettings::enumSection(const char* section, EnumSectionProc proc, void* clientData) const {
    ASInt32 pos = findSection(section, nullptr);
    if (pos < 0 || !proc) return;
    const char* p = text_ + pos;
    for (;;) {
        const char* cr = std::strchr(p, CR);
        if (!cr) return;
        p = cr + 1;
        while (*p == CR || *p == LF) p++;
        if (!*p || *p == '[') return;
        const char* e = p;
        while (*e && *e != CR) e++;
        if (!*e) return;  // the last line, not terminated
        size_t len = static_cast<size_t>(e - p);
        const char* eq = static_cast<const char*>(std::memchr(p, '=', len));
        if (len > 254 || !eq) continue;
        char key[256];
        std::memcpy(key, p, len);
        key[len] = 0;
        key[eq - p] = 0;
        if (!proc(key, key + (eq - p) + 1, clientData)) return;
    }
}

ASInt32 CMySettings::save() {
    // Nothing changed: the file stays as it is, byte for byte (and a missing one stays
    // missing).
    if (!text_ || !path_[0] || readOnly_ || !changed_) return 0;
    restoreCR();
    ASInt32 start = 0;
    while (start < used_ && (text_[start] == CR || text_[start] == LF)) start++;
    // Replaced whole: another process (a second hot-folder service, say) reading the
    // file meanwhile sees the old settings or the new ones, never an empty file.
    bool written = writeFileReplace(path_, text_ + start, static_cast<std::size_t>(used_ - start));
    replaceCR();
    if (!written) return 0;
    loadedDate_ = fileDate();
    changed_ = false;
    return 0;
}

void CMySettings::cleanup() {
    std::free(text_);
    text_ = nullptr;
    used_ = capacity_ = 0;
    changed_ = false;
}

void CMySettings::reset() {
    cleanup();
    path_[0] = 0;
    loadedDate_ = 0;
    readOnly_ = false;
    unread_[0] = 0;
    lineEnd_ = kNativeLineEnd;
    lineEndLen_ = 1;
}

// MySection.

void getOSTypeKey(ASUns32 code, char key[5]) {
    key[0] = static_cast<char>(code >> 24);
    key[1] = static_cast<char>(code >> 16);
    key[2] = static_cast<char>(code >> 8);
    key[3] = static_cast<char>(code);
    key[4] = 0;
}

namespace {
std::string indexKey(const char* prefix, ASInt32 index) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s%d", prefix ? prefix : "", index);
    return buf;
}
}  // namespace

MySection::MySection() : settings_(nullptr) {
    name_[0] = 0;
}

MySection::MySection(CMySettings* settings, const char* section) : MySection() {
    setup(settings, section);
}

void MySection::setup(CMySettings* settings, const char* section) {
    settings_ = settings;
    std::snprintf(name_, sizeof name_, "%s", section ? section : "");
}

ASInt32 MySection::stringForKey(const char* key, char* value, ASInt32 capacity) const {
    return settings_ ? settings_->get(name_, key, value, capacity) : -1;
}
ASInt32 MySection::stringForKey(const char* prefix, ASInt32 index, char* value,
                                ASInt32 capacity) const {
    return stringForKey(indexKey(prefix, index).c_str(), value, capacity);
}
ASInt32 MySection::stringForKey(ASUns32 code, char* value, ASInt32 capacity) const {
    char key[5];
    getOSTypeKey(code, key);
    return stringForKey(key, value, capacity);
}
ASInt32 MySection::integerForKey(const char* key, ASInt32 def) const {
    return settings_ ? settings_->get(name_, key, def) : def;
}
ASInt32 MySection::integerForKey(const char* prefix, ASInt32 index, ASInt32 def) const {
    return integerForKey(indexKey(prefix, index).c_str(), def);
}
ASInt32 MySection::integerForKey(ASUns32 code, ASInt32 def) const {
    char key[5];
    getOSTypeKey(code, key);
    return integerForKey(key, def);
}
ASInt32 MySection::setStringForKey(const char* key, const char* value) {
    return settings_ ? settings_->set(name_, key, value) : -1;
}
ASInt32 MySection::setStringForKey(const char* prefix, ASInt32 index, const char* value) {
    return setStringForKey(indexKey(prefix, index).c_str(), value);
}
ASInt32 MySection::setStringForKey(ASUns32 code, const char* value) {
    char key[5];
    getOSTypeKey(code, key);
    return setStringForKey(key, value);
}
ASInt32 MySection::setIntegerForKey(const char* key, ASInt32 value) {
    return settings_ ? settings_->set(name_, key, value) : -1;
}
ASInt32 MySection::setIntegerForKey(const char* prefix, ASInt32 index, ASInt32 value) {
    return setIntegerForKey(indexKey(prefix, index).c_str(), value);
}
ASInt32 MySection::setIntegerForKey(ASUns32 code, ASInt32 value) {
    char key[5];
    getOSTypeKey(code, key);
    return setIntegerForKey(key, value);
}
