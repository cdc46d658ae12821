#include "settings/MyStrings.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "Common/API.h"
#include "settings/MyXML.h"
#include "platform/Platform.h"

ASInt32 gLanguage = kLangEnglish;

namespace {
char* gStrings = nullptr;
constexpr size_t kMaxKey = 64;
constexpr size_t kMaxString = 250;

// The keys the plug-in formats with arguments, and the conversions it passes.
const struct {
    const char* key;
    const char* kinds;
} kFormatKeys[] = {
    {"versionErr", "s"},    {"noTemplateStr", "s"},  {"kMovingMarks", "s"}, {"sheet", "is"},
    {"hfOutIsIn", "is"},    {"hfDoneIsIn", "is"},    {"hfOutIsDone", "is"}, {"hfErrClash", "is"},
    {"hfTemplateIn", "is"}, {"saveOptErrCode", "i"},
};

// Texts that replace those of the table (for keys whose text did not match).
std::map<std::string, std::string> gReplaced;

const char* formatKinds(const char* key) {
    for (const auto& f : kFormatKeys)
        if (std::strcmp(f.key, key) == 0) return f.kinds;
    return nullptr;
}

bool hasKinds(const char* text, const char* kinds) {
    std::string k;
    return text && printfConversions(text, &k) && k == kinds;
}

// The whole text of key in a table, or null.
char* tableText(const char* table, const char* key) {
    return table && std::strlen(key) <= kMaxKey ? getXMLData(table, key) : nullptr;
}

void checkFormats() {
    gReplaced.clear();
    if (!gStrings) return;
    char* english = nullptr;  // read only when a text needs replacing
    bool englishRead = false;
    for (const auto& f : kFormatKeys) {
        char* text = tableText(gStrings, f.key);
        if (text && !hasKinds(text, f.kinds)) {
            if (!englishRead) {
                english = getResourceData("MyStrings", "xml", kLangEnglish);
                englishRead = true;
            }
            char* e = tableText(english, f.key);
            gReplaced[f.key] = hasKinds(e, f.kinds) ? e : f.key;
            std::free(e);
        }
        std::free(text);
    }
    std::free(english);
}
}  // namespace

ASInt32 languageFromCode(const char* code) {
    if (!code) return kLangEnglish;
    if (std::strcmp(code, "DEU") == 0) return kLangGerman;
    if (std::strcmp(code, "FRA") == 0) return kLangFrench;
    if (std::strcmp(code, "NLD") == 0) return kLangDutch;
    return kLangEnglish;
}

const char* getLanguageSuffix(ASInt32 language) {
    switch (language) {
        case kLangFrench:
            return "_F";
        case kLangGerman:
            return "_D";
        case kLangDutch:
            return "_N";
        default:
            return "_E";
    }
}

// The file of the resource folder whose name matches without regard to case.
static std::string findResourceFile(const std::string& folder, const std::string& fileName) {
    std::error_code ec;
    std::filesystem::path exact = std::filesystem::path(folder) / fileName;
    if (std::filesystem::is_regular_file(exact, ec)) return exact.string();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (strcasecmp(name.c_str(), fileName.c_str()) == 0 && it->is_regular_file(ec))
            return it->path().string();
    }
    return std::string();
}

char* getResourceData(const char* name, const char* type, ASInt32 language) {
    if (!name || !*name || !type) return nullptr;
    std::string folder = getResourceFolder();
    std::string candidates[3];
    int n = 0;
    candidates[n++] = name;
    if (language == kLangFrench || language == kLangGerman || language == kLangDutch)
        candidates[n++] = std::string(name) + getLanguageSuffix(language);
    candidates[n++] = std::string(name) + "_E";
    for (int i = 0; i < n; i++) {
        std::string file = findResourceFile(folder, candidates[i] + "." + type);
        if (file.empty()) continue;
        if (char* data = readWholeFile(file)) return data;
    }
    return nullptr;
}

ASInt32 setupMyStrings() {
    char* table = getResourceData("MyStrings", "xml", gLanguage);
    setupMyStringsFromText(table);
    std::free(table);
    return gStrings ? 0 : -1;
}

void setupMyStringsFromText(const char* text) {
    cleanupMyStrings();
    if (text) gStrings = strdup(text);
    checkFormats();
}

void cleanupMyStrings() {
    std::free(gStrings);
    gStrings = nullptr;
    gReplaced.clear();
}

char* getString(const char* key, char* out) {
    if (!out) return out;
    out[0] = 0;
    if (!key) return out;
    const char *b, *e;
    size_t len;
    auto replaced = gReplaced.find(key);
    if (replaced != gReplaced.end()) {
        b = replaced->second.c_str();
        len = replaced->second.size();
    } else if (gStrings && std::strlen(key) <= kMaxKey &&
               findXMLElement(gStrings, key, gStrings, &b, &e, nullptr)) {
        len = static_cast<size_t>(e - b);
    } else {
        b = key;
        len = std::strlen(key);
    }
    if (len > kMaxString) len = kMaxString;
    std::memcpy(out, b, len);
    out[len] = 0;
    return out;
}

char* getStringData(const char* key) {
    if (!key) key = "";
    auto replaced = gReplaced.find(key);
    if (replaced != gReplaced.end()) return strdup(replaced->second.c_str());
    if (gStrings && std::strlen(key) <= kMaxKey) {
        if (char* data = getXMLData(gStrings, key)) return data;
    }
    return strdup(key);
}

bool printfConversions(const char* format, std::string* kinds) {
    std::string k;
    for (const char* p = format; p && *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && std::strchr("-+ #0", *p)) ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        }
        int longs = 0;
        while (*p == 'l') {
            ++longs;
            ++p;
        }
        if (longs == 0 && (*p == 'h' || *p == 'z')) {
            longs = *p == 'z' ? 1 : 0;
            ++p;
            if (*p == 'h') ++p;
        }
        if (*p && std::strchr("diouxXc", *p))
            k += longs ? 'l' : 'i';
        else if (*p && std::strchr("fFeEgGaA", *p) && longs == 0)
            k += 'f';
        else if (*p == 's' && longs == 0)
            k += 's';
        else
            return false;  // %n, %p, "*", "$", wide strings, or no conversion at all
    }
    if (kinds) *kinds = k;
    return true;
}

std::string vformatStringWithKey(const char* key, va_list args) {
    if (!key) return std::string();
    char* text = tableText(gStrings, key);
    auto replaced = gReplaced.find(key);
    std::string format;
    bool isFormat = true;
    if (replaced != gReplaced.end()) {
        format = replaced->second;
    } else if (text) {
        format = text;
        // A text of the table is never a format unless it takes what the caller passes.
        const char* kinds = formatKinds(key);
        isFormat = kinds && hasKinds(text, kinds);
        if (kinds && !isFormat) format = key;
    } else {
        format = key;
    }
    std::free(text);
    if (!isFormat) return format;
    char buf[8192];
    std::vsnprintf(buf, sizeof buf, format.c_str(), args);
    return buf;
}

std::string formatStringWithKey(const char* key, ...) {
    va_list args;
    va_start(args, key);
    std::string s = vformatStringWithKey(key, args);
    va_end(args);
    return s;
}

ASText stringWithKey(const char* key, bool withEllipsis) {
    char buf[2048];
    char* data = getStringData(key);
    std::snprintf(buf, sizeof buf - 4, "%s", data ? data : "");
    std::free(data);
    // A cut text must not end inside a UTF-8 sequence.
    size_t len = std::strlen(buf);
    if (len == sizeof buf - 5) {
        size_t start = len;
        while (start > 0 && (static_cast<unsigned char>(buf[start - 1]) & 0xC0) == 0x80) start--;
        if (start > 0 && static_cast<unsigned char>(buf[start - 1]) >= 0xC0) buf[start - 1] = 0;
    }
    if (withEllipsis) addEllipsisToString(buf);
    return asTextFromUTF8(buf);
}

char* addEllipsisToString(char* text) {
    if (text) std::strcat(text, "\xE2\x80\xA6");
    return text;
}

void UTF8ToHost(char* text, ASInt32 size) {
    (void)text;
    (void)size;
}
