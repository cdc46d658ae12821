#include "Sources/MapSpot.h"

#include <cstdio>
#include <cstring>

#include "Common/BoxDesc.h"
#include "Sources/JobInfo.h"
#include "Common/ColorSpaces.h"
#include "Common/ColorSupport.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "Common/Prefs.h"

namespace {

std::string nameOf(CosObj o) {
    if (cosObjGetType(o) == CosName) return asAtomGetString(cosNameValue(o));
    if (cosObjGetType(o) == CosArray && cosArrayLength(o) > 0) return nameOf(cosArrayGet(o, 0));
    return "";
}

bool isProcessOrPlaceholder(const std::string& n) {
    return n.size() == 1 || n == "Cyan" || n == "Magenta" || n == "Yellow" || n == "Black" ||
           n == "All" || n == "None";
}

bool collectProc(CosObj space, long data) {
    auto* spots = reinterpret_cast<std::vector<SpotColor>*>(data);
    if (cosObjGetType(space) != CosArray || cosArrayLength(space) < 4) return true;
    std::string family = nameOf(cosArrayGet(space, 0));
    SpotColor s{space, 0, "", "", 0};
    if (family == "Separation") {
        s.family = 6;
        s.name = nameOf(cosArrayGet(space, 1));
    } else if (family == "DeviceN") {
        CosObj names = cosArrayGet(space, 1);
        if (cosObjGetType(names) != CosArray || cosArrayLength(names) != 1) return true;
        s.family = 7;
        s.name = nameOf(cosArrayGet(names, 0));
    } else {
        return true;
    }
    CosObj alt = cosArrayGet(space, 2);
    s.alternate = nameOf(alt);
    if (s.name.empty() || isProcessOrPlaceholder(s.name)) return true;
    for (const SpotColor& o : *spots)
        if (o.name == s.name) return true;
    spots->push_back(s);
    return true;
}

struct MapDialog {
    std::vector<SpotColor>* spots;
};

void mapSetup(CMyDialog* dlg, void* cd) {
    auto* m = static_cast<MapDialog*>(cd);
    for (ASInt32 i = 0; i < 5; ++i) {
        bool has = i < static_cast<ASInt32>(m->spots->size());
        if (has)
            dlg->setText(10 + 2 * i, (*m->spots)[i].name.c_str());
        else
            dlg->setText(10 + 2 * i, "");
        dlg->setValue(11 + 2 * i, 1);
        dlg->enable(10 + 2 * i, has);
        dlg->enable(11 + 2 * i, has);
    }
}

}  // namespace

std::vector<SpotColor> collectSpotColors(PDDoc doc) {
    std::vector<SpotColor> spots;
    if (doc) EnumDocColors(doc, collectProc, reinterpret_cast<long>(&spots));
    return spots;
}

void renameSpotColor(SpotColor& spot, const char* processName) {
    if (spot.family == 7) {
        CosObj one[2] = {spot.space, CosObj{}};
        devN1ToSep(one, 1);
        spot.family = 6;
    }
    CosDoc cd = cosObjGetDoc(spot.space);
    cosArrayPut(spot.space, 1, cosNewName(cd, false, processName));
}

namespace {

bool foldsToBlack(const SpotColor& s) {
    return s.alternate == "DeviceCMYK" && isSpotBlack(s.space);
}

const VexaSpotChoice* findChoice(const VexaSpotChoice* choices, ASInt32 count,
                                 const std::string& name) {
    for (ASInt32 i = 0; i < count; ++i)
        if (name == choices[i].name) return &choices[i];
    return nullptr;
}

// Every spot colour space of the document named name (a name may have several).
struct SpacesNamed {
    const std::string* name;
    std::vector<SpotColor> spaces;
};

bool spacesNamedProc(CosObj space, long data) {
    auto* s = reinterpret_cast<SpacesNamed*>(data);
    std::vector<SpotColor> one;
    collectProc(space, reinterpret_cast<long>(&one));
    if (!one.empty() && one[0].name == *s->name) s->spaces.push_back(one[0]);
    return true;
}

void renameAll(PDDoc doc, const std::string& name, const char* processName) {
    SpacesNamed s{&name, {}};
    EnumDocColors(doc, spacesNamedProc, reinterpret_cast<long>(&s));
    for (SpotColor& spot : s.spaces) renameSpotColor(spot, processName);
}

}  // namespace

bool askSpotMapping(PDDoc doc, bool foldBlack, std::vector<VexaSpotChoice>& choices) {
    std::vector<SpotColor> spots;
    for (SpotColor& s : collectSpotColors(doc))
        if (!(foldBlack && foldsToBlack(s))) spots.push_back(s);
    if (spots.empty()) return true;
    ASInt32 n = getMapSpot();
    if (n <= 0 || static_cast<ASInt32>(spots.size()) < n) return true;
    MapDialog m{&spots};
    std::vector<ASInt32> values(5, 1);
    struct Ctx {
        MapDialog* m;
        std::vector<ASInt32>* values;
    } ctx{&m, &values};
    ASUns32 r = doModalDialog(
        "MAPSPOTCOLORS",
        [](CMyDialog* dlg, void* cd) {
            auto* c = static_cast<Ctx*>(cd);
            mapSetup(dlg, c->m);
            dlg->setHandler(
                1,
                [](CMyDialog* d, ASInt32, void* cd2) {
                    auto* c2 = static_cast<Ctx*>(cd2);
                    for (ASInt32 i = 0; i < 5; ++i) (*c2->values)[i] = d->getValue(11 + 2 * i);
                    d->endDialog(kCmdOK);
                },
                c);
        },
        &ctx);
    if (r != kCmdOK) return false;
    static const char* const kProcess[] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (size_t i = 0; i < spots.size() && i < 5; ++i) {
        ASInt32 v = values[i];
        if (v < 2 || v > 5) continue;
        VexaSpotChoice c{};
        std::snprintf(c.name, sizeof c.name, "%s", spots[i].name.c_str());
        std::snprintf(c.plate, sizeof c.plate, "%s", kProcess[v - 2]);
        choices.push_back(c);
    }
    return true;
}

std::vector<VexaSpotOutcome> mapSpotColorsWith(PDDoc doc, bool foldBlack,
                                               const VexaSpotChoice* choices, ASInt32 count,
                                               std::vector<std::string>* pairs) {
    std::vector<VexaSpotOutcome> outcomes;
    for (SpotColor& s : collectSpotColors(doc)) {
        VexaSpotOutcome o{};
        std::snprintf(o.name, sizeof o.name, "%s", s.name.c_str());
        const VexaSpotChoice* c = findChoice(choices, count, s.name);
        if (c && c->plate[0]) {
            o.how = kVexaSpotMapped;
            std::snprintf(o.plate, sizeof o.plate, "%s", c->plate);
        } else if (!c && foldBlack && foldsToBlack(s)) {
            o.how = kVexaSpotFolded;
            std::snprintf(o.plate, sizeof o.plate, "Black");
        }
        outcomes.push_back(o);
    }
    if (!pairs) return outcomes;
    for (const VexaSpotOutcome& o : outcomes) {
        if (o.how == kVexaSpotKept) continue;
        renameAll(doc, o.name, o.plate);
        // The slug line names the plates of mapped colours by their spot names.
        if (o.how == kVexaSpotMapped && std::strcmp(o.plate, "Black") != 0) {
            pairs->push_back(o.name);
            pairs->push_back(o.plate);
        }
    }
    return outcomes;
}

bool mapSpotColors(PDDoc doc, std::vector<std::string>& pairs) {
    bool fold = getMapSpotToBlack() == 1;
    std::vector<VexaSpotChoice> choices;
    if (!askSpotMapping(doc, fold, choices)) return false;
    mapSpotColorsWith(doc, fold, choices.data(), static_cast<ASInt32>(choices.size()), &pairs);
    return true;
}

void makeMapCurrent(const std::vector<std::string>& pairs) {
    std::vector<const char*> p;
    p.reserve(pairs.size());
    for (const std::string& s : pairs) p.push_back(s.c_str());
    setMapColorNames(p.empty() ? nullptr : p.data(), static_cast<ASInt32>(p.size() / 2));
}
