#include "Sources/JobOptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "settings/MyJSON.h"
#include "settings/MyUnits.h"

void JobReport::error(const char* option, const std::string& text) {
    ++errors;
    if (!proc) return;
    VexaProblem p{kVexaError, option ? option : "", text.c_str()};
    proc(&p, data);
}

void JobReport::warning(const char* option, const std::string& text) {
    ++warnings;
    if (!proc) return;
    VexaProblem p{kVexaWarning, option ? option : "", text.c_str()};
    proc(&p, data);
}

namespace {

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain number at text[*pos]: digits with one decimal point or comma, or a fraction
// "A/B" of whole numbers. False when there is none.
bool readNumber(const std::string& s, std::size_t* pos, double* out, std::string* why) {
    std::size_t p = *pos, start = p;
    while (p < s.size() && isDigit(s[p])) ++p;
    std::size_t whole = p - start;
    if (p < s.size() && s[p] == '/' && whole > 0) {
        std::size_t q = p + 1, dstart = q;
        while (q < s.size() && isDigit(s[q])) ++q;
        if (q == dstart) return false;
        double num = std::strtod(s.substr(start, whole).c_str(), nullptr);
        double den = std::strtod(s.substr(dstart, q - dstart).c_str(), nullptr);
        if (den == 0) {
            *why = "a fraction needs a denominator above 0";
            return false;
        }
        *out = num / den;
        *pos = q;
        return true;
    }
    std::size_t frac = 0;
    if (p < s.size() && (s[p] == '.' || s[p] == ',')) {
        ++p;
        std::size_t fstart = p;
        while (p < s.size() && isDigit(s[p])) ++p;
        frac = p - fstart;
    }
    if (whole == 0 && frac == 0) return false;
    std::string n = s.substr(start, p - start);
    for (char& c : n)
        if (c == ',') c = '.';
    if (n.size() > 32) {
        *why = "the number is too long";
        return false;
    }
    *out = std::strtod(n.c_str(), nullptr);
    *pos = p;
    return true;
}

bool toFixed(double value, ASInt32 unit, ASFixed* out, std::string* why) {
    double v = std::trunc(value / unitFactor(unit));
    if (!std::isfinite(v) || v >= 2147483647.0 || v <= -2147483648.0) {
        *why = "the number is too large";
        return false;
    }
    *out = static_cast<ASFixed>(v);
    return true;
}

std::string gLibrary;  // the folder of the templates installed with the plug-in

bool isFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::string joinPath(const char* base, const std::string& path) {
    if (path.empty() || path[0] == '/' || !base || !*base) return path;
    std::string b = base;
    if (b.back() != '/') b += '/';
    return b + path;
}

bool copyPath(char (&dst)[512], const std::string& path, JobReport& report, const char* key) {
    if (path.size() >= sizeof dst) {
        report.error(key, "the path is longer than " + std::to_string(sizeof dst - 1) +
                              " bytes: " + path.substr(0, 60) + "…");
        return false;
    }
    std::snprintf(dst, sizeof dst, "%s", path.c_str());
    return true;
}

// A template by its path, or by its name in the library ("Booklet_A5_SRA3", with or
// without ".pdf") when no file of that name is there.
std::string templatePath(const char* base, const std::string& value) {
    std::string path = joinPath(base, value);
    if (value.find('/') != std::string::npos || isFile(path) || gLibrary.empty()) return path;
    for (const std::string& name : {value, value + ".pdf"})
        if (isFile(gLibrary + "/" + name)) return gLibrary + "/" + name;
    return path;
}

struct Choice {
    const char* word;
    ASInt32 value;
};

bool choose(const std::string& text, const Choice* choices, std::size_t n, ASInt32* out) {
    std::string w = lower(trimmed(text.c_str()));
    for (std::size_t i = 0; i < n; ++i)
        if (w == choices[i].word) {
            *out = choices[i].value;
            return true;
        }
    return false;
}

const Choice kBindings[] = {
    {"saddle", kBindSaddleStitch}, {"perfect", kBindPerfect}, {"envelope", kBindEnvelope}};
const Choice kAligns[] = {
    {"trimbox", kPlaceTrimBox}, {"centered", kPlaceCentered}, {"adjust", kPlaceAdjustFrame}};
const Choice kOnOff[] = {{"on", 1}, {"off", 0}};

bool setSpot(VexaJob* job, const std::string& value, JobReport& report) {
    std::size_t eq = value.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        report.error("map-spot",
                     "write NAME=PLATE with the plate cyan, magenta, yellow, black or keep");
        return false;
    }
    std::string name = value.substr(0, eq);
    std::string plate = lower(trimmed(value.substr(eq + 1).c_str()));
    static const char* const kPlates[][2] = {{"cyan", "Cyan"},
                                             {"magenta", "Magenta"},
                                             {"yellow", "Yellow"},
                                             {"black", "Black"},
                                             {"keep", ""}};
    const char* chosen = nullptr;
    for (const auto& p : kPlates)
        if (plate == p[0]) chosen = p[1];
    if (!chosen) {
        report.error("map-spot", "the plate \"" + value.substr(eq + 1) +
                                     "\" is none of cyan, magenta, yellow, black or keep");
        return false;
    }
    if (name.size() >= sizeof job->spots[0].name) {
        report.error("map-spot", "the spot colour's name is longer than " +
                                     std::to_string(sizeof job->spots[0].name - 1) + " bytes");
        return false;
    }
    for (ASInt32 i = 0; i < job->spotCount; ++i)
        if (name == job->spots[i].name) {
            report.error("map-spot", "the spot colour \"" + name + "\" is mapped twice");
            return false;
        }
    if (job->spotCount >= kVexaMaxSpots) {
        report.error("map-spot",
                     "at most " + std::to_string(kVexaMaxSpots) + " spot colours can be mapped");
        return false;
    }
    VexaSpotChoice& c = job->spots[job->spotCount++];
    std::snprintf(c.name, sizeof c.name, "%s", name.c_str());
    std::snprintf(c.plate, sizeof c.plate, "%s", chosen);
    job->given |= kVexaGivenMapSpot;
    return true;
}

}  // namespace

void setTemplateLibrary(const char* folder) {
    gLibrary = folder ? folder : "";
}

const char* unitName(ASInt32 unit) {
    switch (unit) {
        case kUnitPoints:
            return "pt";
        case kUnitInch:
            return "in";
        case kUnitCM:
            return "cm";
        default:
            return "mm";
    }
}

std::string lengthText(ASFixed value, ASInt32 unit) {
    if (unit < kUnitPoints || unit > kUnitCM) unit = kUnitMM;
    char buf[48];
    fixedToString(value, unit, buf);
    if (char* space = std::strchr(buf, ' ')) *space = 0;
    return std::string(buf) + " " + unitName(unit);
}

namespace {

// A number with its sign at the start of the text; *rest gets what follows it, blanks
// skipped. notA says what the text should have been.
bool readSigned(const char* text, const char* notA, double* number, std::string* rest,
                std::string* why) {
    std::string s = trimmed(text);
    std::size_t p = 0;
    bool negative = false;
    if (p < s.size() && (s[p] == '-' || s[p] == '+')) negative = s[p++] == '-';
    why->clear();
    if (!readNumber(s, &p, number, why)) {
        if (why->empty()) *why = notA;
        return false;
    }
    if (negative) *number = -*number;
    while (p < s.size() && s[p] == ' ') ++p;
    *rest = s.substr(p);
    return true;
}

}  // namespace

bool parseLength(const char* text, ASInt32 unit, ASFixed* out, std::string* why) {
    std::string ignored, rest;
    if (!why) why = &ignored;
    double number = 0;
    if (!readSigned(text, "not a length (write a number with a unit: pt, mm, cm or in)", &number,
                    &rest, why))
        return false;
    std::string u = lower(rest);
    if (u == "pt" || u == "pts")
        unit = kUnitPoints;
    else if (u == "mm")
        unit = kUnitMM;
    else if (u == "cm")
        unit = kUnitCM;
    else if (u == "in" || u == "inch" || u == "\"")
        unit = kUnitInch;
    else if (!u.empty()) {
        *why = "\"" + rest + "\" is no unit (pt, mm, cm, in, inch or \")";
        return false;
    }
    if (unit < kUnitPoints || unit > kUnitCM) unit = kUnitMM;
    return toFixed(number, unit, out, why);
}

bool parsePercent(const char* text, ASFixed* out, std::string* why) {
    const char* notA = "not a percentage (write a number, such as 80 or 80%)";
    std::string ignored, rest;
    if (!why) why = &ignored;
    double number = 0;
    if (!readSigned(text, notA, &number, &rest, why)) return false;
    if (rest != "" && rest != "%") {
        *why = notA;
        return false;
    }
    return toFixed(number, kUnitPercent, out, why);
}

bool parsePageRange(const char* text, ASInt32* from, ASInt32* to, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    std::string s = trimmed(text);
    std::size_t dash = s.find('-');
    auto page = [&](std::string t, ASInt32* out) {
        t = trimmed(t.c_str());
        if (t.empty() || t.size() > 10 || t.find_first_not_of("0123456789") != std::string::npos)
            return false;
        long long v = std::atoll(t.c_str());
        if (v > 0x7FFFFFFF) return false;
        *out = static_cast<ASInt32>(v);
        return true;
    };
    ASInt32 f = 0, t = 0;
    if (dash == std::string::npos || !page(s.substr(0, dash), &f) ||
        !page(s.substr(dash + 1), &t)) {
        *why = "not a page range (write FROM-TO, such as 3-10)";
        return false;
    }
    if (f < 1 || t < 1) {
        *why = "pages are numbered from 1";
        return false;
    }
    if (f > t) {
        *why = "the range runs backwards: page " + std::to_string(f) + " comes after page " +
               std::to_string(t);
        return false;
    }
    *from = f;
    *to = t;
    return true;
}

namespace {

// "template", "output" and "second-sheet": files named relative to baseFolder.
bool setFileOption(VexaJob* job, const char* key, const std::string& v, const char* baseFolder,
                   JobReport& report) {
    std::string k = key;
    ImposeData& d = job->data;
    if (k == "second-sheet") {
        if (v.empty()) {
            d.halfSheetPath[0] = 0;
        } else if (!copyPath(d.halfSheetPath, templatePath(baseFolder, v), report, key)) {
            return false;
        }
        job->given |= kVexaGivenSecondSheet;
        return true;
    }
    if (trimmed(v.c_str()).empty()) {
        report.error(key, "needs a file name");
        return false;
    }
    char(&dst)[512] = k == "template" ? d.templatePath : d.outPath;
    std::string path = k == "template" ? templatePath(baseFolder, v) : joinPath(baseFolder, v);
    if (!copyPath(dst, path, report, key)) return false;
    job->given |= k == "template" ? kVexaGivenTemplate : kVexaGivenOutput;
    return true;
}

// "creep" and "scale": a length and a percentage, each within its limits.
bool setSizeOption(VexaJob* job, const char* key, const std::string& v, JobReport& report) {
    std::string why;
    ImposeData& d = job->data;
    if (std::string(key) == "creep") {
        ASFixed c = 0;
        if (!parseLength(v.c_str(), job->dlgUnits, &c, &why)) {
            report.error(key, why);
            return false;
        }
        if (c < 0) {
            report.error(key, "creep cannot be negative");
            return false;
        }
        if (c > kMaxCreep) {
            report.error(key,
                         "more than the 5 mm a leaf can be shifted (creep is the shift "
                         "from one leaf to the next, about the paper's thickness)");
            return false;
        }
        d.creep = c;
        job->given |= kVexaGivenCreep;
        return true;
    }
    ASFixed s = 0;
    if (!parsePercent(v.c_str(), &s, &why)) {
        report.error(key, why);
        return false;
    }
    if (s < kMinScale || s > kMaxScale) {
        report.error(key, "the scale is 10% to 1000%");
        return false;
    }
    d.scale = s;
    job->given |= kVexaGivenScale;
    return true;
}

}  // namespace

bool setJobOption(VexaJob* job, const char* key, const char* value, const char* baseFolder,
                  JobReport& report) {
    if (!job || !key) return false;
    std::string k = key, v = value ? value : "";
    std::string why;
    ImposeData& d = job->data;
    ASInt32 n = 0;
    if (k == "template" || k == "output" || k == "second-sheet")
        return setFileOption(job, key, v, baseFolder, report);
    if (k == "creep" || k == "scale") return setSizeOption(job, key, v, report);
    if (k == "binding") {
        if (!choose(v, kBindings, 3, &n)) {
            report.error(key, "is saddle, perfect or envelope");
            return false;
        }
        d.binding = n;
        job->given |= kVexaGivenBinding;
        return true;
    }
    if (k == "align") {
        if (!choose(v, kAligns, 3, &n)) {
            report.error(key, "is trimbox, centered or adjust");
            return false;
        }
        d.placing = static_cast<ePlacing>(n);
        job->given |= kVexaGivenAlign;
        return true;
    }
    if (k == "pages") {
        ASInt32 f = 0, t = 0;
        if (!parsePageRange(v.c_str(), &f, &t, &why)) {
            report.error(key, why);
            return false;
        }
        d.firstPage = f;
        d.lastPage = t;
        job->given |= kVexaGivenPages;
        return true;
    }
    if (k == "map-spot") return setSpot(job, v, report);
    if (k == "spot-black") {
        if (!choose(v, kOnOff, 2, &n)) {
            report.error(key, "is on or off");
            return false;
        }
        job->spotBlack = n;
        job->given |= kVexaGivenSpotBlack;
        return true;
    }
    report.error(key, "is no option of a job");
    return false;
}

namespace {

const char* const kTicketKeys[] = {"template", "second-sheet", "binding",  "align",      "creep",
                                   "scale",    "pages",        "map-spot", "spot-black", "output"};

// Problems of one ticket key, said with the ticket and the key.
struct TicketKey {
    JobReport* report;
    std::string prefix;  // TICKET: "KEY":
};

void ticketProblem(const VexaProblem* p, void* data) {
    auto* t = static_cast<TicketKey*>(data);
    std::string text = t->prefix + " " + p->text;
    if (p->severity == kVexaError)
        t->report->error(p->option, text);
    else
        t->report->warning(p->option, text);
}

// The JSON value as the text an option takes, or false when its kind does not fit.
bool ticketText(const std::string& key, const MyJSONValue& v, std::string* out) {
    if (v.kind == MyJSONValue::kString) {
        *out = v.text;
        return true;
    }
    if (v.kind == MyJSONValue::kNumber && (key == "creep" || key == "scale")) {
        *out = v.text;
        return true;
    }
    if (v.kind == MyJSONValue::kNull && key == "second-sheet") {
        out->clear();
        return true;
    }
    if (v.kind == MyJSONValue::kBool && key == "spot-black") {
        *out = v.boolean ? "on" : "off";
        return true;
    }
    if (v.kind == MyJSONValue::kArray && key == "pages" && v.items.size() == 2 &&
        v.items[0].kind == MyJSONValue::kNumber && v.items[1].kind == MyJSONValue::kNumber) {
        *out = v.items[0].text + "-" + v.items[1].text;
        return true;
    }
    return false;
}

const char* ticketKind(const std::string& key) {
    if (key == "creep") return "a length (a string such as \"0.2mm\", or a number)";
    if (key == "scale") return "a percentage (a number, or a string such as \"80%\")";
    if (key == "pages") return "a page range (a string such as \"3-10\", or [3, 10])";
    if (key == "map-spot")
        return "an object such as {\"PANTONE 286 C\": \"cyan\"}, or an array of \"NAME=PLATE\"";
    if (key == "spot-black") return "true, false, \"on\" or \"off\"";
    if (key == "second-sheet") return "a file name (a string), or null";
    return "a string";
}

}  // namespace

bool readJobTicket(VexaJob* job, const char* text, std::size_t length, const char* ticketPath,
                   JobReport& report) {
    if (!job) return false;
    std::string path = ticketPath ? ticketPath : "job ticket";
    MyJSONValue root;
    std::string why;
    if (!parseJSON(text, length, &root, &why)) {
        report.error("job", path + ": not a job ticket: " + why);
        return false;
    }
    if (root.kind != MyJSONValue::kObject) {
        report.error("job", path + ": a job ticket is a JSON object ({...}), not " +
                                std::string(jsonKindName(root.kind)));
        return false;
    }
    std::string base = path;
    std::size_t slash = base.rfind('/');
    base = slash == std::string::npos ? "" : base.substr(0, slash + 1);
    VexaJob copy = *job;
    ASInt32 before = report.errors;
    for (std::size_t m = 0; m < root.keys.size(); ++m) {
        const std::string& key = root.keys[m];
        const MyJSONValue& value = root.items[m];
        TicketKey tk{&report, path + ": \"" + key + "\":"};
        JobReport keyReport;
        keyReport.proc = ticketProblem;
        keyReport.data = &tk;
        bool known = false;
        for (const char* k : kTicketKeys) known = known || key == k;
        if (!known) {
            std::string all;
            for (const char* k : kTicketKeys) all += std::string(all.empty() ? "" : ", ") + k;
            report.error(key.c_str(),
                         path + ": unknown key \"" + key + "\" (a ticket knows " + all + ")");
            continue;
        }
        if (key == "map-spot") {
            copy.spotCount = 0;
            std::vector<std::string> entries;
            bool fits = true;
            if (value.kind == MyJSONValue::kString) {
                entries.push_back(value.text);
            } else if (value.kind == MyJSONValue::kArray) {
                for (const MyJSONValue& item : value.items) {
                    fits = fits && item.kind == MyJSONValue::kString;
                    entries.push_back(item.text);
                }
            } else if (value.kind == MyJSONValue::kObject) {
                for (std::size_t i = 0; i < value.keys.size(); ++i) {
                    fits = fits && value.items[i].kind == MyJSONValue::kString;
                    entries.push_back(value.keys[i] + "=" + value.items[i].text);
                }
            } else {
                fits = false;
            }
            if (!fits) {
                keyReport.error("map-spot", "must be " + std::string(ticketKind(key)));
                continue;
            }
            for (const std::string& e : entries) setSpot(&copy, e, keyReport);
            continue;
        }
        std::string v;
        if (!ticketText(key, value, &v)) {
            keyReport.error(key.c_str(), "must be " + std::string(ticketKind(key)) + ", not " +
                                             jsonKindName(value.kind));
            continue;
        }
        setJobOption(&copy, key.c_str(), v.c_str(), base.c_str(), keyReport);
    }
    if (report.errors != before) return false;
    *job = copy;
    return true;
}
