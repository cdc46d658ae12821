#include "settings/MyXML.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxName = 64;
constexpr size_t kMaxString = 250;

// ASCII lower case, without a call per byte: the names searched for are ASCII, and the
// bytes of UTF-8 text stay as they are, whatever the locale.
inline unsigned char lowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Case-insensitive search for needle in the zero-terminated hay.
const char* findNoCase(const char* hay, const std::string& needle) {
    if (needle.empty()) return hay;
    const unsigned char first = lowerAscii(static_cast<unsigned char>(needle[0]));
    const unsigned char firstUpper =
        first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - ('a' - 'A')) : first;
    for (const char* p = hay; *p; p++) {
        const auto c = static_cast<unsigned char>(*p);
        if (c != first && c != firstUpper) continue;
        size_t i = 1;
        while (i < needle.size() && p[i] &&
               lowerAscii(static_cast<unsigned char>(p[i])) ==
                   lowerAscii(static_cast<unsigned char>(needle[i])))
            i++;
        if (i == needle.size()) return p;
        if (!p[i]) return nullptr;  // the rest of the text is shorter than the needle
    }
    return nullptr;
}

char* newBuffer(const char* data, size_t len) {
    char* buf = static_cast<char*>(std::malloc(len + 2));
    if (!buf) return nullptr;
    std::memcpy(buf, data, len);
    buf[len] = 0;
    buf[len + 1] = 0;
    return buf;
}

// The content of the index-th element name, as a string; false when none.
bool elementContent(const char* text, const char* name, ASInt32 index, std::string* content) {
    const char* from = text;
    const char *b, *e, *next;
    for (ASInt32 i = 0;; i++) {
        if (!findXMLElement(text, name, from, &b, &e, &next)) return false;
        if (i == index) {
            content->assign(b, static_cast<size_t>(e - b));
            return true;
        }
        from = next;
    }
}

}  // namespace

bool findXMLElement(const char* text, const char* name, const char* from, const char** begin,
                    const char** end, const char** next) {
    if (!text || !name || !*name) return false;
    size_t nameLen = std::strlen(name);
    if (nameLen > kMaxName) return false;
    if (!from) from = text;
    std::string open = std::string("<") + name + ">";
    std::string closeName(name);
    size_t blank = closeName.find(' ');
    if (blank != std::string::npos) closeName.resize(blank);
    std::string close = "</" + closeName + ">";
    const char* o = findNoCase(from, open);
    if (!o) return false;
    const char* contentStart = o + open.size();
    const char* c = findNoCase(contentStart, close);
    if (!c) return false;
    if (begin) *begin = contentStart;
    if (end) *end = c;
    if (next) *next = contentStart;
    return true;
}

ASInt32 getXMLString(const char* text, const char* name, char* out) {
    const char *b, *e;
    if (!out || !findXMLElement(text, name, text, &b, &e, nullptr)) return 0;
    size_t len = static_cast<size_t>(e - b);
    if (len > kMaxString) len = kMaxString;
    std::memcpy(out, b, len);
    out[len] = 0;
    return static_cast<ASInt32>(len);
}

char* getXMLData(const char* text, const char* name) {
    const char *b, *e;
    if (!findXMLElement(text, name, text, &b, &e, nullptr)) return nullptr;
    return newBuffer(b, static_cast<size_t>(e - b));
}

static ASInt32 valueOf(const std::string& s, ASInt32 def) {
    if (s.empty()) return def;
    if (s == "true") return 1;
    if (s == "false") return 0;
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return static_cast<ASInt32>(v);
}

ASInt32 getXMLValue(const char* text, const char* name, ASInt32 def) {
    std::string content;
    if (!elementContent(text, name, 0, &content)) return def;
    return valueOf(content, def);
}

ASUns32 getXMLOSType(const char* text, const char* name) {
    std::string content;
    if (!elementContent(text, name, 0, &content) || content.empty()) return 0;
    content.resize(4, ' ');
    return (static_cast<ASUns32>(static_cast<unsigned char>(content[0])) << 24) |
           (static_cast<ASUns32>(static_cast<unsigned char>(content[1])) << 16) |
           (static_cast<ASUns32>(static_cast<unsigned char>(content[2])) << 8) |
           static_cast<ASUns32>(static_cast<unsigned char>(content[3]));
}

void EnumXMLData(const char* text, const char* name, EnumXMLProc proc, void* clientData) {
    if (!proc || !name) return;
    std::string n(name);
    size_t openLen = n.size() + 2;                          // "<name>"
    size_t closeLen = n.substr(0, n.find(' ')).size() + 3;  // "</name>"
    const char* from = text;
    const char *b, *e, *next;
    while (findXMLElement(text, name, from, &b, &e, &next)) {
        const char* start = b - openLen;
        size_t len = static_cast<size_t>(e - start) + closeLen;
        char* element = newBuffer(start, len);
        if (element) {
            bool go = proc(element, static_cast<ASInt32>(len), clientData);
            std::free(element);
            if (!go) return;
        }
        from = next;
    }
}

void EnumXMLData(const char* text, const char* outer, const char* name, EnumXMLProc proc,
                 void* clientData) {
    char* inner = getXMLData(text, outer);
    if (!inner) return;
    EnumXMLData(inner, name, proc, clientData);
    std::free(inner);
}

ASInt32 getXMLStringByIndex(const char* text, const char* name, ASInt32 index, const char* child,
                            char* out) {
    if (!out) return 0;
    out[0] = 0;
    std::string content;
    if (index < 0 || !elementContent(text, name, index, &content)) return 0;
    return getXMLString(content.c_str(), child, out);
}

ASInt32 getXMLString(const char* text, const char* name, const char* child, ASInt32 index,
                     char* out) {
    return getXMLStringByIndex(text, name, index, child, out);
}

ASInt32 getXMLValue(const char* text, const char* name, const char* child, ASInt32 index,
                    ASInt32 def) {
    std::string content, value;
    if (index < 0 || !elementContent(text, name, index, &content)) return def;
    if (!elementContent(content.c_str(), child, 0, &value)) return def;
    return valueOf(value, def);
}

namespace {
struct KeyMatch {
    const char* keyName;
    const char* keyValue;
    char* found;
};
bool matchKey(const char* data, ASInt32 length, void* clientData) {
    auto* m = static_cast<KeyMatch*>(clientData);
    std::string value;
    if (elementContent(data, m->keyName, 0, &value) && value == m->keyValue) {
        m->found = newBuffer(data, static_cast<size_t>(length));
        return false;
    }
    return true;
}
}  // namespace

char* getXMLData(const char* text, const char* name, const char* keyName, const char* keyValue) {
    if (!name || !keyName || !keyValue || std::strlen(name) > 31 || std::strlen(keyName) > 31 ||
        std::strlen(keyValue) > 31)
        return nullptr;
    KeyMatch m{keyName, keyValue, nullptr};
    EnumXMLData(text, name, matchKey, &m);
    return m.found;
}
