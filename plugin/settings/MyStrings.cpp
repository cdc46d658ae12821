#include "MyStrings.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "API.h"
#include "MyXML.h"
#include "Platform.h"

ASInt32 gLanguage = kLangEnglish;

namespace {
char* gStrings = nullptr;
constexpr size_t kMaxKey = 64;
constexpr size_t kMaxString = 250;
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
    cleanupMyStrings();
    gStrings = getResourceData("MyStrings", "xml", gLanguage);
    return gStrings ? 0 : -1;
}

void setupMyStringsFromText(const char* text) {
    cleanupMyStrings();
    if (text) gStrings = strdup(text);
}

void cleanupMyStrings() {
    std::free(gStrings);
    gStrings = nullptr;
}

const char* getStringTable() {
    return gStrings;
}

char* getString(const char* key, char* out) {
    if (!out) return out;
    out[0] = 0;
    if (!key) return out;
    const char *b, *e;
    size_t len;
    if (gStrings && std::strlen(key) <= kMaxKey &&
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
    if (gStrings && std::strlen(key) <= kMaxKey) {
        if (char* data = getXMLData(gStrings, key)) return data;
    }
    return strdup(key);
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

void HostToUTF8(char* text, ASInt32 size) {
    (void)text;
    (void)size;
}

ASInt32 getLangID(ASInt32 base) {
    return gLanguage * 100 + base;
}
