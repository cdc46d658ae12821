// libFuzzer target for the settings file as it lies on disk: any bytes (zero bytes,
// junk, mixed line ends, huge lines) loaded from a file, changed and saved. Besides
// memory errors it checks what the store promises: a file it could not read whole is
// never written, and a value it saved reads back the same from the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/MySettings.h"
#include "settings/MyStrings.h"

// The store's only link to the resources: no default settings text here.
ASInt32 gLanguage = 0;
char* getResourceData(const char*, const char*, ASInt32) {
    return nullptr;
}

namespace {

std::string folder() {
    // In memory where there is a tmpfs: every save is flushed to disk.
    static std::string f = [] {
        char shm[] = "/dev/shm/vexa-fuzz-settings-XXXXXX";
        if (::mkdtemp(shm)) return std::string(shm);
        char tmpl[] = "/tmp/vexa-fuzz-settings-XXXXXX";
        return std::string(::mkdtemp(tmpl) ? tmpl : "/tmp");
    }();
    return f;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Keys and values the store can hold: no line ends, no "=" in keys, no "[" first.
std::string word(const uint8_t*& p, const uint8_t* end, bool key) {
    static const char kLetters[] = "abcXYZ019 _-.%éß";
    std::string w;
    size_t n = p < end ? *p++ % 9 + (key ? 1 : 0) : 1;
    for (size_t i = 0; i < n && p < end; ++i) w += kLetters[*p++ % (sizeof kLetters - 1)];
    if (w.empty()) w = "k";
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes drive the changes, the rest is the file.
    size_t ops = size > 0 ? data[0] % 32 : 0;
    size_t split = std::min(size, 1 + ops * 4);
    const uint8_t* p = data + std::min<size_t>(size, 1);
    const uint8_t* opsEnd = data + split;
    std::string file(reinterpret_cast<const char*>(data + split), size - split);
    std::string path = folder() + "/Vexa.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file;
    }
    CMySettings s;
    s.setupWithPath(path.c_str());
    bool whole = s.unreadReason()[0] == 0;
    std::string section = "Hotfolder", key, value;
    for (size_t i = 0; i < ops && p < opsEnd; ++i) {
        switch (*p++ % 5) {
            case 0:
                key = word(p, opsEnd, true);
                value = word(p, opsEnd, false);
                s.set(section.c_str(), key.c_str(), value.c_str());
                break;
            case 1:
                section = word(p, opsEnd, true);
                break;
            case 2:
                s.remove(section.c_str(), word(p, opsEnd, true).c_str());
                break;
            case 3: {
                char buf[64];
                s.get(section.c_str(), word(p, opsEnd, true).c_str(), buf, sizeof buf);
                break;
            }
            default:
                s.enumSection(
                    section.c_str(), [](const char*, const char*, void*) { return true; }, nullptr);
        }
    }
    // The last value set, read back from memory and from the file.
    std::string k = "Zz_last", v = "value of the last";
    s.set(section.c_str(), k.c_str(), v.c_str());
    s.save();
    if (!whole) {
        if (readAll(path) != file) std::abort();  // a file not read whole was written
        return 0;
    }
    char got[64] = "";
    if (s.get(section.c_str(), k.c_str(), got, sizeof got) != static_cast<ASInt32>(v.size()) ||
        v != got)
        std::abort();
    CMySettings again;
    again.setupWithPath(path.c_str());
    got[0] = 0;
    again.get(section.c_str(), k.c_str(), got, sizeof got);
    if (again.unreadReason()[0] == 0 && v != got) std::abort();
    return 0;
}
