// libFuzzer target for the INI store and the XML reader: any input is a settings text
// and an XML text, and a stream of operations drawn from it. Memory errors and
// undefined behaviour are what it looks for (build with sanitizers).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "settings/MySettings.h"
#include "settings/MyStrings.h"
#include "settings/MyXML.h"

// The store's only link to the resources: no default settings text here.
ASInt32 gLanguage = 0;
char* getResourceData(const char*, const char*, ASInt32) {
    return nullptr;
}

namespace {

using Input = FuzzInput;

const char* const kNames[] = {"General", "A",      "B",       "",     "Hotfolder", "In1",
                              "x",       "window", "control", "name", "a b",       "menu"};

std::string pickName(Input& in) {
    uint8_t b = in.byte();
    if (b & 0x80) return in.word();
    return kNames[b % (sizeof kNames / sizeof kNames[0])];
}

bool countPairs(const char* k, const char* v, void* cd) {
    *static_cast<size_t*>(cd) += std::strlen(k) + std::strlen(v);
    return (std::strlen(k) & 7) != 7;
}

bool countElements(const char* data, ASInt32 len, void* cd) {
    *static_cast<size_t*>(cd) += static_cast<size_t>(len) + (data[0] == '<');
    return true;
}

void fuzzSettings(const std::string& text, Input& in) {
    CMySettings s;
    if (s.setup(text.c_str(), static_cast<ASInt32>(text.size()), in.byte() & 1 ? 0 : 64) != 0)
        return;
    for (int op = 0; op < 64 && in.pos < in.size; op++) {
        std::string section = pickName(in), key = pickName(in);
        char buf[64];
        size_t sum = 0;
        switch (in.byte() % 9) {
            case 0:
                s.get(section.c_str(), key.c_str(), buf, 1 + in.byte() % sizeof buf);
                break;
            case 1:
                s.get(section.c_str(), key.c_str(), 5);
                break;
            case 2:
                s.getfloat(section.c_str(), key.c_str(), 1.0f);
                break;
            case 3:
                s.set(section.c_str(), key.c_str(), in.word().c_str());
                break;
            case 4:
                s.set(section.c_str(), key.c_str(), static_cast<ASInt32>(in.byte()) - 128);
                break;
            case 5:
                s.remove(section.c_str());
                break;
            case 6:
                s.remove(section.c_str(), key.c_str());
                break;
            case 7:
                s.removeLine(
                    static_cast<ASInt32>(in.byte() | (in.byte() << 8)) % (s.getUsed() + 2) - 1);
                break;
            case 8:
                s.enumSection(section.c_str(), countPairs, &sum);
                break;
        }
        if (s.getText() && std::strlen(s.getText()) != static_cast<size_t>(s.getUsed()))
            std::abort();
    }
}

void fuzzXml(const std::string& text, Input& in) {
    const char* t = text.c_str();
    for (int op = 0; op < 16 && in.pos < in.size; op++) {
        std::string name = pickName(in), child = pickName(in);
        char out[251];
        size_t sum = 0;
        switch (in.byte() % 9) {
            case 0:
                getXMLString(t, name.c_str(), out);
                break;
            case 1:
                std::free(getXMLData(t, name.c_str()));
                break;
            case 2:
                getXMLValue(t, name.c_str(), 3);
                break;
            case 3:
                getXMLOSType(t, name.c_str());
                break;
            case 4:
                EnumXMLData(t, name.c_str(), countElements, &sum);
                break;
            case 5:
                EnumXMLData(t, name.c_str(), child.c_str(), countElements, &sum);
                break;
            case 6:
                getXMLStringByIndex(t, name.c_str(), in.byte() % 4, child.c_str(), out);
                break;
            case 7:
                getXMLValue(t, name.c_str(), child.c_str(), in.byte() % 4, 0);
                break;
            case 8:
                std::free(getXMLData(t, name.c_str(), child.c_str(), in.word().c_str()));
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes give the length of the text; the rest drives the operations.
    size_t textLen = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size - 1);
    std::string text(reinterpret_cast<const char*>(data + 2), std::min(textLen, size - 2));
    Input in{data + 2 + text.size(), size - 2 - text.size()};
    fuzzSettings(text, in);
    in.pos = 0;
    fuzzXml(text, in);
    return 0;
}
