#include "Sources/TemplateCheck.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "Common/BoxDesc.h"
#include "Common/ErrorHandling.h"
#include "Common/PIUtils.h"
#include "Common/PageContent.h"

namespace {

struct FrameSurvey {
    long sheet = 0;
    long frames = 0;            // page frames of all sheets
    std::set<ASInt32> numbers;  // their box numbers
    ASInt32 highest = 0, highestSheet = 0;
    long badRotations = 0;
    bool fix = false;  // second walk: set bad rotations to 0
    std::string name;
    std::string farOff;  // the first frame with a value beyond the largest sheet
};

// The largest sheet a PDF may describe is 14,400 points a side: a frame's edges, bleeds
// and offsets beyond that cannot be meant, and their sums would leave the range of
// the fixed-point numbers the placing works in.
constexpr long long kFarOff = 14400LL * 65536;

bool beyondSheet(long long v) {
    return v > kFarOff || v < -kFarOff;
}

// Names the first value of the frame that cannot be right, or returns "".
std::string farOffValue(PDEElement frame) {
    CosObj d = getVexaDict(frame);
    for (const char* key :
         {"left", "top", "right", "bottom", "bl", "bt", "br", "bb", "xOff", "yOff", "dx", "ml"})
        if (beyondSheet(getKeyValueFixed(d, key, 0))) return key;
    ASFixedRect r = getBBox(frame), b = getBleedRect(frame);
    if (beyondSheet(static_cast<long long>(r.left) + b.left) ||
        beyondSheet(static_cast<long long>(r.right) - b.right) ||
        beyondSheet(static_cast<long long>(r.top) - b.top) ||
        beyondSheet(static_cast<long long>(r.bottom) + b.bottom))
        return "bleed";
    return std::string();
}

bool surveyProc(CContent*, PDEElement frame, long, long data) {
    auto* s = reinterpret_cast<FrameSurvey*>(data);
    ASInt32 b = getBoxNum(frame);
    if (!s->fix && s->farOff.empty()) {
        std::string key = farOffValue(frame);
        if (!key.empty())
            s->farOff = "sheet " + std::to_string(s->sheet + 1) + ": the frame with box number " +
                        std::to_string(b) + " has \"" + key +
                        "\" beyond 14400 points, off any sheet";
    }
    if (b < 1) return true;
    if (!s->fix) {
        ++s->frames;
        s->numbers.insert(b);
        if (b > s->highest) {
            s->highest = b;
            s->highestSheet = static_cast<ASInt32>(s->sheet + 1);
        }
    }
    ASInt32 r = getFrameRotation(frame);
    if (r % 90 != 0) {
        if (s->fix) {
            dprintf(
                "\tTemplate \"%s\", sheet %ld: the frame with box number %d is turned by "
                "%d degrees, not 0, 90, 180 or 270; it is placed unturned\n",
                s->name.c_str(), s->sheet + 1, b, r);
            setFrameRotation(frame, 0);
        }
        ++s->badRotations;
    }
    return true;
}

}  // namespace

bool checkTemplateFrames(PDDoc tmpl, const char* name) {
    if (!tmpl) return true;
    FrameSurvey s;
    const char* slash = name ? std::strrchr(name, '/') : nullptr;
    s.name = slash ? slash + 1 : (name ? name : "");
    ASInt32 sheets = pdDocGetNumPages(tmpl);
    for (s.sheet = 0; s.sheet < sheets; ++s.sheet)
        EnumForms(tmpl, s.sheet, s.sheet, surveyProc, reinterpret_cast<long>(&s), false);
    if (!s.farOff.empty()) {
        reportError(("Template \"" + s.name + "\", " + s.farOff).c_str());
        return false;
    }
    if (s.highest > s.frames) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "Template \"%s\", sheet %d: a frame has box number %d, but the template "
                      "has %ld page frames, numbered from 1",
                      s.name.c_str(), s.highestSheet, s.highest, s.frames);
        reportError(text);
        return false;
    }
    if (s.badRotations) {
        s.fix = true;
        for (s.sheet = 0; s.sheet < sheets; ++s.sheet)
            EnumForms(tmpl, s.sheet, s.sheet, surveyProc, reinterpret_cast<long>(&s), true);
    }
    std::string missing;
    for (ASInt32 b = 1; b < s.highest; ++b)
        if (!s.numbers.count(b)) missing += (missing.empty() ? "" : ", ") + std::to_string(b);
    if (!missing.empty())
        dprintf("\tTemplate \"%s\": no frame has box number %s; the pages for it are left out\n",
                s.name.c_str(), missing.c_str());
    return true;
}
