#include "headless/ImposeCommand.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "VexaJobHFT.h"
#include "core/Core.h"
#include "core/Registry.h"
#include "doc/DocInternal.h"
#include "headless/UserFiles.h"

namespace vexa::host {
namespace {

const char kHelp[] =
    "usage: vexa impose SOURCE.pdf [OPTIONS]\n"
    "\n"
    "Imposes SOURCE.pdf into a template and saves the result; nothing is written when\n"
    "the job cannot be done. Every option is checked before any work starts.\n"
    "\n"
    "options:\n"
    "  -t, --template FILE.pdf    the template (default: the preferences' \"Impose\"/\n"
    "                             \"Template\" when that file exists, else the bundled\n"
    "                             2-up booklet)\n"
    "  --second-sheet FILE.pdf    a second-sheet template for the pages left over\n"
    "                             (default: none)\n"
    "  --binding saddle|perfect|envelope\n"
    "                             the binding (default: saddle)\n"
    "  --align trimbox|centered|adjust\n"
    "                             how pages sit in their frames (default: by the TrimBox\n"
    "                             where a page has one, centred where it has none);\n"
    "                             adjust resizes the frames to the first page's TrimBox\n"
    "  --creep LENGTH             creep per leaf, saddle stitch only, 0 to 5 mm\n"
    "                             (default: 0)\n"
    "  --scale PERCENT            scale of every page, 10 to 1000 (default: 100)\n"
    "  --pages FROM-TO            the pages to impose, inside the document (default: all)\n"
    "  --map-spot NAME=PLATE      prints spot colour NAME on the plate cyan, magenta,\n"
    "                             yellow or black, or keep it; once per colour\n"
    "                             (default: every spot colour is kept)\n"
    "  --spot-black on|off        spot colours that are really black go to the Black\n"
    "                             plate (default: the preferences' \"General\"/\n"
    "                             \"MapSpotToBlack\", off when unset)\n"
    "  -o, --output FILE.pdf      the imposed file (default: SOURCE_M.pdf beside the\n"
    "                             source); it may not be the source or the template\n"
    "  --job JOB.json             takes the options from a job ticket (see\n"
    "                             docs/job-ticket.md); options given here win\n"
    "  --dry-run                  checks everything and prints the sheet map (which page\n"
    "                             goes into which frame of each sheet side) without\n"
    "                             writing a file\n"
    "  --json                     prints the summary (or the sheet map) as one JSON\n"
    "                             object on stdout\n"
    "  -h, --help                 prints this text\n"
    "\n"
    "LENGTH is a number with a unit: pt, mm, cm, in, inch or \" (0.2mm, 1/64in); a bare\n"
    "number is in the unit of the preferences' \"General\"/\"DlgUnits\" (millimetres\n"
    "unless set otherwise). The preferences file is read, never written.\n"
    "\n"
    "exit status: 0 done; 1 the job failed (nothing written, or written with the errors\n"
    "listed); 2 wrong input, nothing ran.\n";

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string currentFolder() {
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? cwd : ".";
}

std::string absolute(const std::string& p) {
    if (p.empty() || p[0] == '/') return p;
    return currentFolder() + "/" + p;
}

// "General"/"SaveAs" of the preferences when it is a PDF minor version the plug-in
// saves with (3 to 6), else 0.
int settingSaveAs() {
    int minor = std::atoi(preferenceValue("General", "SaveAs", "0").c_str());
    return minor >= 3 && minor <= 6 ? minor : 0;
}

// The bundled 2-up booklet template: the one built beside the plug-in, else the
// example template of the source tree.
std::string bundledTemplate(const SessionOptions& options) {
    std::vector<std::string> dirs = options.pluginDirs;
    dirs.push_back(defaultPluginFolder());
    for (const std::string& d : dirs)
        if (isFile(d + "/Vexa/templates/Booklet_2up_A4.pdf"))
            return d + "/Vexa/templates/Booklet_2up_A4.pdf";
    std::string dir = defaultPluginFolder();
    for (int up = 0; up < 5; ++up) {
        std::size_t slash = dir.rfind('/');
        if (slash == std::string::npos) break;
        dir.resize(slash);
        if (isFile(dir + "/examples/booklet-2up.pdf")) return dir + "/examples/booklet-2up.pdf";
    }
    return "";
}

std::string defaultOutput(const std::string& source) {
    std::string dir = source.substr(0, source.rfind('/') + 1);
    std::string name = source.substr(source.rfind('/') + 1);
    if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".pdf") == 0)
        name.resize(name.size() - 4);
    return dir + name + "_M.pdf";
}

// Why a document could not be opened, in the user's terms.
std::string openProblem(ASErrorCode code) {
    if (code == fileErrNotFound) return "does not exist";
    if (code == pdErrNotPDF) return "is not a PDF file";
    if (code == pdErrDamaged) return "is damaged and cannot be repaired (a file cut short?)";
    if (code == pdErrEncrypted)
        return "is encrypted (it opens only with a password or certificate)";
    if (code == pdErrOpenFailed) return "cannot be opened (is it a folder?)";
    return "cannot be opened: " + errorText(code);
}

// The problems said so far, and how they are said.
struct Problems {
    std::vector<std::string> errors, warnings;
    std::string prefix;  // put before the text of option problems ("--creep abc: ")
    // How the options the check speaks of were given ("--pages 20-30: ").
    std::map<std::string, std::string> givenAs;
    bool errorsOnly = false;  // warnings are left out (options were refused already)

    void add(const VexaProblem& p) {
        if (errorsOnly && p.severity != kVexaError) return;
        std::string text = prefix;
        auto given = givenAs.find(p.option ? p.option : "");
        if (text.empty() && given != givenAs.end()) text = given->second;
        text += p.text;
        std::vector<std::string>& said = p.severity == kVexaError ? errors : warnings;
        if (std::find(said.begin(), said.end(), text) != said.end()) return;
        if (p.severity == kVexaError) {
            errors.push_back(text);
            std::fprintf(stderr, "vexa: %s\n", text.c_str());
        } else {
            warnings.push_back(text);
            std::fprintf(stderr, "vexa: warning: %s\n", text.c_str());
        }
    }
    void error(const std::string& text) {
        VexaProblem p{kVexaError, "", text.c_str()};
        add(p);
    }
};

void problemProc(const VexaProblem* p, void* data) {
    if (p) static_cast<Problems*>(data)->add(*p);
}

// The file's bytes, at most a little over `limit` (enough for the reader to say the text
// is too large); nothing when the file cannot be opened.
std::optional<std::string> readWhole(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string data;
    char buf[8192];
    while (data.size() <= limit && (in.read(buf, sizeof buf) || in.gcount() > 0))
        data.append(buf, static_cast<std::size_t>(in.gcount()));
    return data;
}

// The sheet map of a dry run.
struct PlannedSheet {
    int sheet = 0;
    std::string side;
    std::vector<VexaPlannedFrame> frames;
};

void planProc(const VexaPlannedFrame* f, void* data) {
    auto* sheets = static_cast<std::vector<PlannedSheet>*>(data);
    if (sheets->empty() || sheets->back().sheet != f->sheet) {
        sheets->push_back(PlannedSheet{f->sheet, f->side ? f->side : "", {}});
    }
    VexaPlannedFrame copy = *f;
    copy.side = nullptr;
    sheets->back().frames.push_back(copy);
}

std::string jsonNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.size() > 1 && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

double points(ASFixed v) {
    return static_cast<double>(v) / 65536.0;
}

std::string jsonList(const std::vector<std::string>& items) {
    std::string s = "[";
    for (std::size_t i = 0; i < items.size(); ++i) s += (i ? ", " : "") + jsonString(items[i]);
    return s + "]";
}

const char* spotHow(ASInt32 how) {
    return how == kVexaSpotMapped ? "mapped" : how == kVexaSpotFolded ? "folded" : "kept";
}

// "PANTONE 286 C -> Cyan", "Gold kept", "Dark -> Black (spot black)".
std::string spotLine(const VexaSpotOutcome& o) {
    std::string name = o.name;
    if (o.how == kVexaSpotMapped) return name + " -> " + o.plate;
    if (o.how == kVexaSpotFolded) return name + " -> Black (spot black)";
    return name + " kept";
}

// How the pages sit in their frames, for the summary.
std::string alignmentText(ASInt32 placing, const VexaJobFacts& f) {
    if (placing == kPlaceCentered) return "pages centred in their frames";
    if (placing == kPlaceAdjustFrame)
        return "frames adjusted to the first page's TrimBox, pages centred";
    if (f.trimBoxPages == f.jobPages) return "pages fitted by their TrimBox";
    if (f.trimBoxPages == 0) return "pages centred in their frames (they have no TrimBox)";
    return std::to_string(f.trimBoxPages) + " pages fitted by their TrimBox, " +
           std::to_string(f.jobPages - f.trimBoxPages) + " centred (they have no TrimBox)";
}

// Why the job table is missing: the plug-in was not found, refused or declined.
std::string missingPlugin(Session& session, const SessionOptions& options) {
    for (const auto& p : session.loader().plugins()) {
        std::string name = p->name;
        if (name != "ORVA:Vexa" && name != "Vexa") continue;
        if (p->state == PluginRecord::State::Loaded)
            return "the Vexa plug-in " + p->path + " offers no job table (an older version?)";
        std::string why = "the Vexa plug-in " + p->path + " is not loaded: " + p->reason;
        if (p->state == PluginRecord::State::Inert)
            why += " (vexa presents itself as host version " + std::to_string(options.hostMajor) +
                   "." + std::to_string(options.hostMinor) + ")";
        return why;
    }
    std::vector<std::string> dirs = options.pluginDirs;
    if (dirs.empty()) dirs.push_back(defaultPluginFolder());
    std::string where;
    for (const std::string& d : dirs) where += std::string(where.empty() ? "" : ", ") + d;
    return "the Vexa plug-in was not found in " + where +
           " (plug-ins load from the folder plug_ins beside vexa, or " VEXA_INSTALLED_PLUGIN_DIR
           " from it in an installed tree, or from --plugins DIR)";
}

}  // namespace

const char* imposeHelp() {
    return kHelp;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

ImposeArgs parseImposeArgs(const std::vector<std::string>& args) {
    static const std::pair<const char*, const char*> kValued[] = {
        {"-t", "template"},
        {"--template", "template"},
        {"--second-sheet", "second-sheet"},
        {"--binding", "binding"},
        {"--align", "align"},
        {"--creep", "creep"},
        {"--scale", "scale"},
        {"--pages", "pages"},
        {"--map-spot", "map-spot"},
        {"--spot-black", "spot-black"},
        {"-o", "output"},
        {"--output", "output"},
        {"--job", "job"}};
    ImposeArgs a;
    bool onlySources = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string w = args[i];
        if (!onlySources && w == "--") {
            onlySources = true;
            continue;
        }
        if (!onlySources && (w == "-h" || w == "--help")) {
            a.help = true;
            continue;
        }
        if (!onlySources && w == "--json") {
            a.json = true;
            continue;
        }
        if (!onlySources && w == "--dry-run") {
            a.dryRun = true;
            continue;
        }
        if (!onlySources && w.size() > 1 && w[0] == '-') {
            std::string name = w, value;
            bool inlineValue = false;
            std::size_t eq = w.find('=');
            if (w.compare(0, 2, "--") == 0 && eq != std::string::npos) {
                name = w.substr(0, eq);
                value = w.substr(eq + 1);
                inlineValue = true;
            }
            const char* key = nullptr;
            for (const auto& v : kValued)
                if (name == v.first) key = v.second;
            if (!key) throw std::invalid_argument("unknown option " + name);
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw std::invalid_argument(name + " needs a value");
                value = args[++i];
            }
            if (std::string(key) == "job") {
                if (!a.jobFile.empty()) throw std::invalid_argument("--job is given twice");
                a.jobFile = value;
            } else {
                a.options.emplace_back(key, value);
            }
            continue;
        }
        if (!a.source.empty())
            throw std::invalid_argument("impose takes one source, not " + a.source + " and " + w);
        a.source = w;
    }
    if (a.source.empty() && !a.help) throw std::invalid_argument("impose needs a source PDF");
    return a;
}

namespace {

// One run of the command: what it was asked, the problems said so far, and the JSON
// object it prints at the end, whatever became of the job.
class ImposeRun {
  public:
    explicit ImposeRun(ImposeArgs args)
        : a_(std::move(args)),
          source_(absolute(a_.source)),
          t0_(std::chrono::steady_clock::now()) {}

    int run(const SessionOptions& options);

  private:
    void json(const std::string& body);
    int fail(int status, const std::string& body = ", \"written\": false") {
        json(body);
        return status;
    }
    void setUpJob(const VexaJobHFT* table, VexaJob* job, PDDoc src, const SessionOptions& options);
    void takeTicket(const VexaJobHFT* table, VexaJob* job);
    void takeOptions(const VexaJobHFT* table, VexaJob* job);
    void summarise(const VexaJobFacts& facts, ASInt32 placing);
    int dryRun(const VexaJobHFT* table, VexaJob* job);
    int imposeAndSave(const VexaJobHFT* table, VexaJob* job, const PDModelHFT* pd);

    ImposeArgs a_;
    std::string source_;
    std::chrono::steady_clock::time_point t0_;
    Problems problems_;
    std::string outPath_;
    // what the check found, as printed and as JSON members
    std::string alignment_, spots_, common_;
};

// The options the check speaks of, with the bits that tell they were given.
const std::pair<const char*, ASUns32> kGivenBits[] = {{"binding", kVexaGivenBinding},
                                                      {"align", kVexaGivenAlign},
                                                      {"creep", kVexaGivenCreep},
                                                      {"scale", kVexaGivenScale},
                                                      {"pages", kVexaGivenPages}};

void ImposeRun::json(const std::string& body) {
    if (!a_.json) return;
    std::string s = "{\"source\": " + jsonString(source_) +
                    ", \"output\": " + jsonString(outPath_) +
                    ", \"dry_run\": " + (a_.dryRun ? "true" : "false");
    s += body;
    s += ", \"warnings\": " + jsonList(problems_.warnings) +
         ", \"errors\": " + jsonList(problems_.errors);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", secs);
    s += ", \"seconds\": " + std::string(seconds) + "}\n";
    std::fputs(s.c_str(), stdout);
}

int ImposeRun::run(const SessionOptions& options) {
    struct stat st {};
    if (::stat(source_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problems_.error(source_ +
                        (::stat(source_.c_str(), &st) != 0 ? " does not exist" : " is not a file"));
        return fail(2);
    }

    auto owned = std::make_unique<Session>(options);
    Session& session = *owned;
    // The process ends with the command: taking the documents and the plug-in down
    // object by object would only cost time (a large job's output document has
    // hundreds of thousands of objects). The checking builds still do it, so that
    // their leak reports stay meaningful.
    struct EndWithProcess {
        std::unique_ptr<Session>& session;
        ~EndWithProcess() {
#if !defined(__SANITIZE_ADDRESS__)
            (void)session.release();
#endif
        }
    } endWithProcess{owned};
    session.start();
    auto table =
        reinterpret_cast<const VexaJobHFT*>(registry().find(kVexaJobHFTName, kVexaJobHFTVersion));
    if (!table || table->hdr.size < sizeof(VexaJobHFT)) {
        problems_.error(missingPlugin(session, options));
        return fail(1);
    }

    const PDModelHFT* pd = doc::pdModelTable();
    PDDoc src = nullptr;
    try {
        src = pd->PDDocOpen(source_.c_str(), true);
    } catch (const ASException& e) {
        problems_.error(source_ + " " + openProblem(e.code()));
        return fail(2);
    }

    auto job = std::make_unique<VexaJob>();
    setUpJob(table, job.get(), src, options);
    // A job ticket, then the command line's own options over it.
    takeTicket(table, job.get());
    takeOptions(table, job.get());
    outPath_ = job->data.outPath;

    // Every problem is said before anything runs; with options refused already, only
    // the check's errors (its warnings may be about values that were not taken).
    VexaJobFacts facts{};
    facts.size = sizeof facts;
    problems_.errorsOnly = !problems_.errors.empty();
    table->JobCheck(job.get(), &facts, problemProc, &problems_);
    problems_.errorsOnly = false;
    if (!problems_.errors.empty()) return fail(2);

    summarise(facts, job->data.placing);
    if (a_.dryRun) return dryRun(table, job.get());
    return imposeAndSave(table, job.get(), pd);
}

// The job as the preferences make it, for this source, with the default output and
// template.
void ImposeRun::setUpJob(const VexaJobHFT* table, VexaJob* job, PDDoc src,
                         const SessionOptions& options) {
    table->JobInit(job, src);
    job->size = sizeof(VexaJob);
    std::snprintf(job->data.srcPath, sizeof job->data.srcPath, "%s", source_.c_str());
    outPath_ = defaultOutput(source_);
    std::snprintf(job->data.outPath, sizeof job->data.outPath, "%s", outPath_.c_str());
    if (!job->data.templatePath[0]) {
        std::string bundled = bundledTemplate(options);
        if (!bundled.empty())
            std::snprintf(job->data.templatePath, sizeof job->data.templatePath, "%s",
                          bundled.c_str());
    }
}

void ImposeRun::takeTicket(const VexaJobHFT* table, VexaJob* job) {
    if (a_.jobFile.empty()) return;
    std::string ticket = absolute(a_.jobFile);
    if (!isFile(ticket)) {
        struct stat st {};
        problems_.error("the job ticket " + ticket +
                        (::stat(ticket.c_str(), &st) != 0 ? " does not exist" : " is not a file"));
        return;
    }
    std::optional<std::string> text = readWhole(ticket, 1 << 20);
    if (!text) {
        // Read as empty, it would be refused as broken JSON.
        problems_.error("the job ticket " + ticket + " cannot be read");
        return;
    }
    table->JobReadTicket(job, text->data(), static_cast<ASInt32>(text->size()), ticket.c_str(),
                         problemProc, &problems_);
    for (const auto& [key, bit] : kGivenBits)
        if (job->given & bit) problems_.givenAs[key] = ticket + ": \"" + std::string(key) + "\": ";
}

void ImposeRun::takeOptions(const VexaJobHFT* table, VexaJob* job) {
    bool spotsGiven = false;
    std::string cwd = currentFolder();
    for (const auto& [key, value] : a_.options) {
        if (key == "map-spot" && !spotsGiven) {
            // The command line's mapping replaces the ticket's.
            spotsGiven = true;
            job->spotCount = 0;
        }
        problems_.prefix = "--" + key + " " + value + ": ";
        table->JobSetOption(job, key.c_str(), value.c_str(), cwd.c_str(), problemProc, &problems_);
        problems_.prefix.clear();
        for (const auto& [k, bit] : kGivenBits)
            if (key == k) problems_.givenAs[key] = "--" + key + " " + value + ": ";
    }
}

// The alignment and the spot colours as the check found them.
void ImposeRun::summarise(const VexaJobFacts& facts, ASInt32 placing) {
    alignment_ = alignmentText(placing, facts);
    std::string spotsJson = "[";
    for (ASInt32 i = 0; i < facts.spotCount; ++i) {
        const VexaSpotOutcome& o = facts.spots[i];
        spots_ += (i ? ", " : "") + spotLine(o);
        spotsJson += std::string(i ? ", " : "") + "{\"name\": " + jsonString(o.name) +
                     ", \"plate\": " + jsonString(o.plate) + ", \"mapping\": \"" + spotHow(o.how) +
                     "\"}";
    }
    spotsJson += "]";
    common_ = ", \"alignment\": " + jsonString(alignment_) + ", \"spot_colours\": " + spotsJson;
}

std::string sheetMapJson(const std::vector<PlannedSheet>& sheets) {
    std::string map = ", \"sheet_map\": [";
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const PlannedSheet& s = sheets[i];
        map += std::string(i ? ", " : "") + "{\"sheet\": " + std::to_string(s.sheet + 1) +
               ", \"side\": " + jsonString(s.side) + ", \"frames\": [";
        for (std::size_t k = 0; k < s.frames.size(); ++k) {
            const VexaPlannedFrame& f = s.frames[k];
            map += std::string(k ? ", " : "") + "{\"frame\": " + std::to_string(f.frame) +
                   ", \"page\": " + (f.page ? std::to_string(f.page) : "null") +
                   ", \"rotation\": " + std::to_string(f.rotation) + ", \"trim\": [" +
                   jsonNumber(points(f.trim.left)) + ", " + jsonNumber(points(f.trim.bottom)) +
                   ", " + jsonNumber(points(f.trim.right)) + ", " + jsonNumber(points(f.trim.top)) +
                   "], \"creep\": " + jsonNumber(points(f.creep)) + "}";
        }
        map += "]}";
    }
    return map + "]";
}

void printSheetMap(const std::vector<PlannedSheet>& sheets) {
    for (const PlannedSheet& s : sheets) {
        std::string line = "sheet " + std::to_string(s.sheet + 1);
        if (!s.side.empty()) line += " (" + s.side + ")";
        line += ":";
        for (std::size_t k = 0; k < s.frames.size(); ++k) {
            const VexaPlannedFrame& f = s.frames[k];
            line += std::string(k ? "," : "") + " frame " + std::to_string(f.frame) + " " +
                    (f.page ? "page " + std::to_string(f.page) : std::string("empty"));
            if (f.rotation) line += " turned " + std::to_string(f.rotation);
        }
        std::printf("%s\n", line.c_str());
    }
}

// The sheet map of the checked job; nothing is placed or written.
int ImposeRun::dryRun(const VexaJobHFT* table, VexaJob* job) {
    std::vector<PlannedSheet> sheets;
    if (!table->JobPlan(job, planProc, &sheets, problemProc, &problems_)) return fail(1);
    int frames = 0, empty = 0;
    for (const PlannedSheet& s : sheets)
        for (const VexaPlannedFrame& f : s.frames) {
            ++frames;
            empty += f.page == 0;
        }
    if (a_.json) {
        json(", \"sheets\": " + std::to_string(sheets.size()) + ", \"pages_placed\": " +
             std::to_string(frames - empty) + ", \"empty_frames\": " + std::to_string(empty) +
             common_ + ", \"written\": false" + sheetMapJson(sheets));
        return 0;
    }
    std::printf("%s (dry run, not written): %zu sheets, %d pages placed, %d empty frames\n",
                outPath_.c_str(), sheets.size(), frames - empty, empty);
    std::printf("alignment: %s\n", alignment_.c_str());
    if (!spots_.empty()) std::printf("spot colours: %s\n", spots_.c_str());
    printSheetMap(sheets);
    return 0;
}

int ImposeRun::imposeAndSave(const VexaJobHFT* table, VexaJob* job, const PDModelHFT* pd) {
    // The imposed document is only saved: it is written as it is made, sheet by sheet,
    // so that a long job holds one pass of sheets in memory, not the whole output.
    VexaJobResult result{};
    {
        struct WriteAhead {
            WriteAhead() { doc::setWriteAheadForNewDocuments(true, settingSaveAs()); }
            ~WriteAhead() { doc::setWriteAheadForNewDocuments(false); }
        } writeAhead;
        table->JobImpose(job, &result, problemProc, &problems_);
    }
    std::string counts = ", \"sheets\": " + std::to_string(result.sheets) +
                         ", \"pages_placed\": " + std::to_string(result.pagesPlaced) +
                         ", \"empty_frames\": " + std::to_string(result.emptyFrames) + common_;
    if (result.stopped) {
        // Escape (Ctrl-C) between sheets: the sheets after it are empty.
        problems_.error("stopped before every sheet was placed; nothing was written");
        return fail(1, counts + ", \"written\": false");
    }
    if (!result.doc) {
        problems_.error("nothing was written");
        return fail(1, counts + ", \"written\": false");
    }
    // The version: "SaveAs" when the preferences set it (as the hot folder saves), else
    // the document's own, which is the higher of the source's and the template's (the
    // host raises it by what the document takes in). Object streams from 1.5 on.
    PDDocSaveParamsRec save{};
    save.size = sizeof save;
    save.saveFlags = PDSaveFull | PDSaveCopy;
    save.newPath = outPath_.c_str();
    if (int minor = settingSaveAs()) {
        save.major = 1;
        save.minor = minor;
    }
    try {
        pd->PDDocSaveWithParams(result.doc, &save);
    } catch (const ASException& e) {
        problems_.error("the output " + outPath_ + " cannot be written: " + errorText(e.code()) +
                        "; nothing was written");
        return fail(1, counts + ", \"written\": false");
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    if (!a_.json) {
        std::printf("%s: %d sheets, %d pages placed, %d empty frames, %.2f s\n", outPath_.c_str(),
                    static_cast<int>(result.sheets), static_cast<int>(result.pagesPlaced),
                    static_cast<int>(result.emptyFrames), secs);
        std::printf("alignment: %s\n", alignment_.c_str());
        if (!spots_.empty()) std::printf("spot colours: %s\n", spots_.c_str());
        for (const std::string& w : problems_.warnings) std::printf("warning: %s\n", w.c_str());
    }
    json(counts + ", \"written\": true");
    if (!problems_.errors.empty() || result.errors > 0) {
        if (!a_.json)
            std::fprintf(stderr, "vexa: %s was written, but the job counted %d error%s\n",
                         outPath_.c_str(), static_cast<int>(result.errors),
                         result.errors == 1 ? "" : "s");
        return 1;
    }
    return 0;
}

}  // namespace

int cmdImpose(SessionOptions options, const std::vector<std::string>& args) {
    ImposeArgs a;
    try {
        a = parseImposeArgs(args);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vexa: impose: %s\nTry 'vexa impose --help'.\n", e.what());
        return 2;
    }
    if (a.help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    return ImposeRun(std::move(a)).run(options);
}

}  // namespace vexa::host
