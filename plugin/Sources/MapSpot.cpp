#include "MapSpot.h"

#include <cstring>

#include "BoxDesc.h"
#include "JobInfo.h"
#include "ColorSpaces.h"
#include "ColorSupport.h"
#include "MyDialog.h"
#include "MyStrings.h"
#include "Prefs.h"

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

bool mapSpotColors(PDDoc doc, std::vector<std::string>& pairs) {
    std::vector<SpotColor> spots = collectSpotColors(doc);
    if (spots.empty()) return true;
    if (getMapSpotToBlack() == 1) {
        for (SpotColor& s : spots)
            if (s.alternate == "DeviceCMYK" && isSpotBlack(s.space)) renameSpotColor(s, "Black");
    }
    ASInt32 n = getMapSpot();
    if (n <= 0) return true;
    spots = collectSpotColors(doc);
    if (static_cast<ASInt32>(spots.size()) < n) return true;
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
        std::string spotName = spots[i].name;
        renameSpotColor(spots[i], kProcess[v - 2]);
        if (v != 5) {
            pairs.push_back(spotName);
            pairs.push_back(kProcess[v - 2]);
        }
    }
    return true;
}

void makeMapCurrent(const std::vector<std::string>& pairs) {
    std::vector<const char*> p;
    for (const std::string& s : pairs) p.push_back(s.c_str());
    setMapColorNames(p.empty() ? nullptr : p.data(), static_cast<ASInt32>(p.size() / 2));
}
