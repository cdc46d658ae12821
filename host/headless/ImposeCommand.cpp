#include "headless/ImposeCommand.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/App.h"
#include "doc/DocState.h"
#include "headless/Quote.h"
#include "headless/Script.h"
#include "headless/TemplateCommand.h"
#include "ui/Ui.h"

namespace vexa::host {
namespace {

bool isFile(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string absolute(const std::string& p) {
    if (p.empty() || p[0] == '/') return p;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return p;
    return std::string(cwd) + "/" + p;
}

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

std::string documentsFolder() {
    const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
    if (docs && *docs) return docs;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/Documents";
}

// "Impose"/"Template" of the preferences file, or empty.
std::string settingTemplate() {
    std::ifstream in(configFolder() + "/Orvanta/Vexa.ini", std::ios::binary);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inSection = line.rfind("[Impose]", 0) == 0;
            continue;
        }
        if (inSection && line.rfind("Template=", 0) == 0) return line.substr(9);
    }
    return "";
}

// "General"/"SaveAs" of the preferences file when it is set to a PDF minor version the
// plug-in saves with (3 to 6), else 0.
int settingSaveAs() {
    std::ifstream in(configFolder() + "/Orvanta/Vexa.ini", std::ios::binary);
    std::string line;
    bool inSection = false;
    int minor = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inSection = line.rfind("[General]", 0) == 0;
            continue;
        }
        if (inSection && line.rfind("SaveAs=", 0) == 0) minor = std::atoi(line.c_str() + 7);
    }
    return minor >= 3 && minor <= 6 ? minor : 0;
}

// The bundled 2-up booklet template: the one built beside the plug-in, else the
// example template of the source tree.
std::string bundledTemplate() {
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    std::string dir = exe;
    dir.resize(dir.rfind('/'));
    std::string built = dir + "/plug_ins/Vexa/templates/Booklet_2up_A4.pdf";
    if (isFile(built)) return built;
    for (int up = 0; up < 4; ++up) {
        std::size_t slash = dir.rfind('/');
        if (slash == std::string::npos) break;
        dir.resize(slash);
        if (isFile(dir + "/examples/booklet-2up.pdf")) return dir + "/examples/booklet-2up.pdf";
    }
    return "";
}

// "NAME=PLATE" of --map-spot; the name is taken as written (it may hold blanks and
// "="), the plate after the last "=".
std::pair<std::string, std::string> parseSpotMapping(const std::string& v) {
    std::size_t eq = v.rfind('=');
    if (eq == std::string::npos || eq == 0)
        throw std::invalid_argument("--map-spot is NAME=cyan|magenta|yellow|black|keep");
    std::string plate = v.substr(eq + 1);
    for (char& c : plate) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kPlates[][2] = {{"cyan", "Cyan"},
                                             {"magenta", "Magenta"},
                                             {"yellow", "Yellow"},
                                             {"black", "Black"},
                                             {"keep", ""}};
    for (const auto& p : kPlates)
        if (plate == p[0]) return {v.substr(0, eq), p[1]};
    throw std::invalid_argument("--map-spot " + v + ": the plate is cyan, magenta, yellow, " +
                                "black or keep");
}

long logSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

std::string readFrom(const std::string& path, long offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    in.seekg(0, std::ios::end);
    long size = static_cast<long>(in.tellg());
    if (size < offset) offset = 0;
    in.seekg(offset);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Sets keys of the preferences file for one run and puts their old values back
// afterwards (the plug-in saves the file itself while it runs, so only these keys are
// restored). The file's line ends are kept.
class PrefsOverride {
  public:
    PrefsOverride(std::string path, const std::string& seed) : path_(std::move(path)) {
        if (!isFile(path_)) {
            std::size_t slash = path_.rfind('/');
            std::string dir = path_.substr(0, slash);
            for (std::size_t p = 1; p <= dir.size(); ++p)
                if (p == dir.size() || dir[p] == '/') ::mkdir(dir.substr(0, p).c_str(), 0755);
            write(seed);
        }
    }
    ~PrefsOverride() {
        std::string text = read();
        for (auto it = old_.rbegin(); it != old_.rend(); ++it)
            text = put(text, it->section, it->key, it->value, it->had);
        write(text);
    }
    PrefsOverride(const PrefsOverride&) = delete;
    PrefsOverride& operator=(const PrefsOverride&) = delete;

    void set(const std::string& section, const std::string& key, const std::string& value) {
        std::string text = read();
        Saved s{section, key, "", false};
        s.had = get(text, section, key, &s.value);
        old_.push_back(s);
        write(put(text, section, key, value, true));
    }

  private:
    struct Saved {
        std::string section, key, value;
        bool had;
    };

    std::string read() const { return readFrom(path_, 0); }
    void write(const std::string& text) const {
        std::string tmp = path_ + ".vexa-tmp";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            out << text;
        }
        std::rename(tmp.c_str(), path_.c_str());
    }
    static std::string lineEnd(const std::string& text) {
        std::size_t p = text.find_first_of("\r\n");
        if (p == std::string::npos) return "\n";
        if (text[p] == '\r') return p + 1 < text.size() && text[p + 1] == '\n' ? "\r\n" : "\r";
        return "\n";
    }
    // Line spans [begin, end) of the text, without their line ends.
    static std::vector<std::pair<std::size_t, std::size_t>> lines(const std::string& text) {
        std::vector<std::pair<std::size_t, std::size_t>> out;
        std::size_t p = 0;
        while (p < text.size()) {
            std::size_t e = text.find_first_of("\r\n", p);
            if (e == std::string::npos) e = text.size();
            out.push_back({p, e});
            p = e;
            if (p < text.size() && text[p] == '\r') ++p;
            if (p < text.size() && text[p] == '\n') ++p;
        }
        return out;
    }
    static bool get(const std::string& text, const std::string& section, const std::string& key,
                    std::string* value) {
        bool in = false;
        for (auto [b, e] : lines(text)) {
            std::string l = text.substr(b, e - b);
            if (!l.empty() && l[0] == '[') {
                in = l == "[" + section + "]";
                continue;
            }
            if (in && l.rfind(key + "=", 0) == 0) {
                *value = l.substr(key.size() + 1);
                return true;
            }
        }
        return false;
    }
    // The text with the key set (present) or removed (!present).
    static std::string put(const std::string& text, const std::string& section,
                           const std::string& key, const std::string& value, bool present) {
        std::string nl = lineEnd(text);
        bool in = false;
        std::size_t sectionEnd = std::string::npos;
        for (auto [b, e] : lines(text)) {
            std::string l = text.substr(b, e - b);
            if (!l.empty() && l[0] == '[') {
                if (in) break;
                in = l == "[" + section + "]";
                if (in) sectionEnd = e;
                continue;
            }
            if (!in) continue;
            if (l.rfind(key + "=", 0) == 0) {
                if (present) return text.substr(0, b) + key + "=" + value + text.substr(e);
                std::size_t next = e;
                if (next < text.size() && text[next] == '\r') ++next;
                if (next < text.size() && text[next] == '\n') ++next;
                return text.substr(0, b) + text.substr(next);
            }
            if (!l.empty()) sectionEnd = e;
        }
        if (!present) return text;
        if (sectionEnd == std::string::npos) {
            std::string t = text;
            if (!t.empty() && t.back() != '\n' && t.back() != '\r') t += nl;
            return t + "[" + section + "]" + nl + key + "=" + value + nl;
        }
        return text.substr(0, sectionEnd) + nl + key + "=" + value + text.substr(sectionEnd);
    }

    std::string path_;
    std::vector<Saved> old_;
};

}  // namespace

// -t takes a path or the name of a template of the library beside the plug-in.
std::string libraryOrPath(const std::string& t, const std::vector<std::string>& pluginDirs) {
    std::string found = resolveTemplate(t, pluginDirs);
    if (found.empty())
        throw std::invalid_argument("no such template: " + t +
                                    " (neither a file nor a name that vexa template list shows)");
    return absolute(found);
}

ImposeOptions parseImposeArgs(const std::vector<std::string>& args,
                              const std::vector<std::string>& pluginDirs) {
    ImposeOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "-t" || a == "--template")
            o.templatePath = value();
        else if (a == "--second-sheet")
            o.secondSheet = value();
        else if (a == "--binding")
            o.binding = value();
        else if (a == "--align")
            o.align = value();
        else if (a == "--creep")
            o.creep = value();
        else if (a == "--scale")
            o.scale = value();
        else if (a == "--pages")
            o.pages = value();
        else if (a == "-o" || a == "--output")
            o.output = value();
        else if (a == "--map-spot")
            o.spotMap.push_back(parseSpotMapping(value()));
        else if (a == "--spot-black")
            o.spotBlack = value();
        else if (!a.empty() && a[0] == '-')
            throw std::invalid_argument("unknown option " + a);
        else if (o.source.empty())
            o.source = a;
        else
            throw std::invalid_argument("impose takes one source");
    }
    if (o.source.empty()) throw std::invalid_argument("impose needs a source PDF");
    if (!o.binding.empty() && o.binding != "saddle" && o.binding != "perfect" &&
        o.binding != "envelope")
        throw std::invalid_argument("--binding is saddle, perfect or envelope");
    if (!o.align.empty() && o.align != "trimbox" && o.align != "centered" && o.align != "adjust")
        throw std::invalid_argument("--align is trimbox, centered or adjust");
    if (!o.spotBlack.empty() && o.spotBlack != "on" && o.spotBlack != "off")
        throw std::invalid_argument("--spot-black is on or off");
    for (std::size_t i = 0; i < o.spotMap.size(); ++i)
        for (std::size_t k = 0; k < i; ++k)
            if (o.spotMap[k].first == o.spotMap[i].first)
                throw std::invalid_argument("spot colour \"" + o.spotMap[i].first +
                                            "\" is mapped twice");
    if (!o.pages.empty()) {
        std::size_t dash = o.pages.find('-');
        if (dash == std::string::npos || dash == 0 || dash + 1 == o.pages.size() ||
            o.pages.find_first_not_of("0123456789-") != std::string::npos ||
            o.pages.find('-', dash + 1) != std::string::npos)
            throw std::invalid_argument("--pages is FROM-TO");
    }
    o.source = absolute(o.source);
    if (!isFile(o.source)) throw std::invalid_argument("no such file: " + o.source);
    if (o.templatePath.empty()) {
        std::string s = settingTemplate();
        o.templatePath = isFile(s) ? s : bundledTemplate();
        if (o.templatePath.empty())
            throw std::invalid_argument("no template given (-t) and none bundled");
    }
    o.templatePath = libraryOrPath(o.templatePath, pluginDirs);
    if (!o.secondSheet.empty()) {
        o.secondSheet = absolute(o.secondSheet);
        if (!isFile(o.secondSheet)) throw std::invalid_argument("no such file: " + o.secondSheet);
    }
    if (o.output.empty()) {
        std::string dir = o.source.substr(0, o.source.rfind('/') + 1);
        std::string name = o.source.substr(o.source.rfind('/') + 1);
        if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".pdf") == 0)
            name.resize(name.size() - 4);
        o.output = dir + name + "_M.pdf";
    }
    o.output = absolute(o.output);
    return o;
}

std::string imposeScript(const ImposeOptions& o) {
    std::string s;
    s += "open " + quote(o.source) + "\n";
    s += "menu Vexa:impose\n";
    s += "  expect-dialog IMPOSE\n";
    s += "  choose " + quote(o.templatePath) + "\n";
    s += "  press 4\n";
    // The dialog refuses a file that is no template (its message is acknowledged).
    s += "  impose-expect-template 3 " + quote(o.templatePath) + "\n";
    if (!o.secondSheet.empty()) {
        s += "  choose " + quote(o.secondSheet) + "\n";
        s += "  press 6\n";
        s += "  impose-expect-template 5 " + quote(o.secondSheet) + "\n";
    } else {
        s += "  press 18\n";
    }
    // The dialog remembers the last binding; the command's default is saddle stitch.
    s += "  pick 12 " +
         std::string(o.binding == "perfect"    ? "2"
                     : o.binding == "envelope" ? "3"
                                               : "1") +
         "\n";
    if (!o.align.empty())
        s += "  pick 16 " +
             std::string(o.align == "trimbox"    ? "1"
                         : o.align == "centered" ? "2"
                                                 : "3") +
             "\n";
    if (!o.creep.empty()) s += "  set 13 " + quote(o.creep) + "\n";
    if (!o.scale.empty()) s += "  set 17 " + quote(o.scale) + "\n";
    if (!o.pages.empty()) {
        std::size_t dash = o.pages.find('-');
        s += "  set 14 " + o.pages.substr(0, dash) + "\n";
        s += "  set 15 " + o.pages.substr(dash + 1) + "\n";
    }
    s += "  answer No\n";  // for afterwards: "There have been errors ... open that file?"
    s += "  press 1\n";
    // The spot colour mapping dialog comes when the preferences ask for it (or the
    // command line maps colours); the command answers it from the options.
    s += "if-dialog MAPSPOTCOLORS\n";
    s += "  impose-map-spots\n";
    s += "end-if\n";
    return s;
}

namespace {

// What the spot colour mapping dialog showed and was answered.
struct SpotAnswers {
    const ImposeOptions* options = nullptr;
    bool shown = false;
    std::vector<std::string> lines;  // "NAME -> Cyan", "NAME kept"
};
SpotAnswers gSpotAnswers;

// Answers the "MapSpotColors" dialog: each row's spot colour gets the plate the
// options name for it, or stays a spot colour. A mapping for a colour the dialog does
// not list fails the run: the user asked for something that would not happen.
void answerSpotDialog(ScriptRunner&, const ScriptLine& line) {
    ui::Window* w = ui::frontWindow();
    if (!w) throw ScriptError("no spot colour dialog is open");
    gSpotAnswers.shown = true;
    const ImposeOptions& o = *gSpotAnswers.options;
    std::vector<std::string> listed;
    for (int row = 0; row < 5; ++row) {
        ui::Control* label = ui::findControl(w, std::to_string(10 + 2 * row));
        ui::Control* popup = ui::findControl(w, std::to_string(11 + 2 * row));
        if (!label || !popup || !popup->enabled || label->text.empty()) continue;
        listed.push_back(label->text);
        std::string plate;
        for (const auto& [name, p] : o.spotMap)
            if (name == label->text) plate = p;
        static const char* const kItems[] = {"", "Cyan", "Magenta", "Yellow", "Black"};
        int item = 1;
        for (int i = 1; i < 5; ++i)
            if (plate == kItems[i]) item = i + 1;
        ui::pick(popup, std::to_string(item));
        gSpotAnswers.lines.push_back(label->text + (plate.empty() ? " kept" : " -> " + plate));
    }
    for (const auto& [name, p] : o.spotMap) {
        bool found = false;
        for (const std::string& l : listed) found = found || l == name;
        if (found) continue;
        std::string all;
        for (const std::string& l : listed) all += (all.empty() ? "" : ", ") + l;
        throw ScriptError(line.where() + ": the source has no spot colour \"" + name +
                          "\" among the ones that can be mapped (" + all +
                          (listed.size() == 5 ? "; only the first five can be mapped)" : ")"));
    }
    ui::press(ui::findControl(w, "1"));
}

// Fails the run when the dialog's path pop-up did not take the file: the plug-in
// refused it as no template.
void expectTemplate(ScriptRunner&, const ScriptLine& line) {
    ui::Window* w = ui::frontWindow();
    ui::Control* popup = w ? ui::findControl(w, scriptArg(line, 1)) : nullptr;
    const std::string& path = scriptArg(line, 2);
    std::string name = path.substr(path.rfind('/') + 1);
    if (!popup) throw ScriptError("the imposition dialog is not open");
    bool picked = popup->value >= 1 && static_cast<size_t>(popup->value) <= popup->menu.size();
    std::string shown = picked ? popup->menu[static_cast<size_t>(popup->value - 1)] : popup->text;
    if (shown != name)
        throw ScriptError(path + " is no Vexa template: its first sheet has no page frames");
}

// The plug-in's default preferences, for a preferences file that does not exist yet.
std::string defaultPrefs(const SessionOptions& options) {
    std::vector<std::string> dirs = options.pluginDirs;
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir = exe;
        dirs.push_back(dir.substr(0, dir.rfind('/')) + "/plug_ins");
    }
    for (const std::string& d : dirs)
        if (isFile(d + "/Vexa/Prefs.ini")) return readFrom(d + "/Vexa/Prefs.ini", 0);
    return "";
}

}  // namespace

int cmdImpose(SessionOptions options, const std::vector<std::string>& args) {
    ImposeOptions o;
    try {
        o = parseImposeArgs(args, options.pluginDirs);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vexa: %s\n", e.what());
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    std::string log = documentsFolder() + "/Orvanta/Vexa.txt";
    long logStart = logSize(log);
    gSpotAnswers = SpotAnswers{};
    gSpotAnswers.options = &o;
    registerScriptCommand("impose-map-spots", "impose-map-spots (vexa impose)", answerSpotDialog);
    registerScriptCommand("impose-expect-template",
                          "impose-expect-template CONTROL PATH (vexa impose)", expectTemplate);
    // Mapping options make the dialog come for any spot colour; --spot-black decides the
    // black folding. The preferences get their own values back when the session (made
    // after this, so gone before it) has ended.
    std::unique_ptr<PrefsOverride> prefs;
    if (!o.spotMap.empty() || !o.spotBlack.empty()) {
        prefs = std::make_unique<PrefsOverride>(configFolder() + "/Orvanta/Vexa.ini",
                                                defaultPrefs(options));
        if (!o.spotMap.empty()) prefs->set("General", "MapSpot", "1");
        if (!o.spotBlack.empty())
            prefs->set("General", "MapSpotToBlack", o.spotBlack == "on" ? "1" : "0");
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
    ScriptRunner runner;
    runner.load(imposeScript(o), "impose");
    // The imposed document is only saved: it is written as it is made, sheet by sheet,
    // so that a long job holds one pass of sheets in memory, not the whole output.
    struct WriteAhead {
        WriteAhead() { doc::setWriteAheadForNewDocuments(true, settingSaveAs()); }
        ~WriteAhead() { doc::setWriteAheadForNewDocuments(false); }
    } writeAhead;
    try {
        runner.run();
    } catch (const ScriptError& e) {
        std::fprintf(stderr, "vexa: %s\nvexa: nothing was written\n", e.what());
        return 1;
    }
    app::Application& a = session.app();
    AVDoc result = nullptr;
    for (const auto& d : a.docs())
        if (d.get() != a.docs().front().get()) result = d.get();
    std::string text = readFrom(log, logStart);
    if (!o.spotMap.empty() && !gSpotAnswers.shown) {
        std::fprintf(stderr, "vexa: the source has no spot colours to map; nothing was written\n");
        return 1;
    }
    int errors = 0;
    std::string errorLines;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("####") != std::string::npos) {
            ++errors;
            errorLines += line + "\n";
        }
    }
    if (!result) {
        std::fprintf(stderr, "vexa: nothing was imposed\n%s", errorLines.c_str());
        return 1;
    }
    if (text.find(" empty frames, stopped") != std::string::npos) {
        // Escape (Ctrl-C) between sheets: the sheets after it are empty.
        std::fprintf(stderr, "vexa: stopped before every sheet was placed; nothing was written\n");
        return 1;
    }
    // The version: "SaveAs" when the preferences set it (as the hot folder saves), else
    // the document's own, which is the higher of the source's and the template's (the
    // host raises it by what the document takes in). Object streams from 1.5 on.
    PDDocSaveParamsRec save{};
    save.size = sizeof save;
    save.saveFlags = PDSaveFull | PDSaveCopy;
    save.newPath = o.output.c_str();
    if (int minor = settingSaveAs()) {
        save.major = 1;
        save.minor = minor;
    }
    doc::pdDocSaveWithParams(result->pdDoc, &save);
    ASInt32 sheets = a.numPages(result);
    // The engine's own count of the job.
    int placed = 0, empty = 0;
    std::size_t at = text.rfind("imposed: ");
    if (at != std::string::npos)
        std::sscanf(text.c_str() + at, "imposed: %*d sheets, %d pages placed, %d empty frames",
                    &placed, &empty);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s: %d sheets, %d pages placed, %d empty frames, %.2f s\n", o.output.c_str(),
                static_cast<int>(sheets), placed, empty, secs);
    if (!gSpotAnswers.lines.empty()) {
        std::string spots;
        for (const std::string& l : gSpotAnswers.lines) spots += (spots.empty() ? "" : ", ") + l;
        std::printf("spot colours: %s\n", spots.c_str());
    }
    if (errors) {
        std::fputs(errorLines.c_str(), stderr);
        return 1;
    }
    return 0;
}

}  // namespace vexa::host
