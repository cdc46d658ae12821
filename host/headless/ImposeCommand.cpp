#include "headless/ImposeCommand.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/App.h"
#include "doc/DocState.h"
#include "headless/Script.h"

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

std::string quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
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

}  // namespace

ImposeOptions parseImposeArgs(const std::vector<std::string>& args) {
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
    o.templatePath = absolute(o.templatePath);
    if (!isFile(o.templatePath)) throw std::invalid_argument("no such file: " + o.templatePath);
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
    s += "answer No\n";  // "There have been errors ... open that file?"
    s += "menu Vexa:impose\n";
    s += "  expect-dialog IMPOSE\n";
    s += "  choose " + quote(o.templatePath) + "\n";
    s += "  press 4\n";
    if (!o.secondSheet.empty()) {
        s += "  choose " + quote(o.secondSheet) + "\n";
        s += "  press 6\n";
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
    s += "  press 1\n";
    return s;
}

int cmdImpose(SessionOptions options, const std::vector<std::string>& args) {
    ImposeOptions o;
    try {
        o = parseImposeArgs(args);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vexa: %s\n", e.what());
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    std::string log = documentsFolder() + "/Orvanta/Vexa.txt";
    long logStart = logSize(log);
    Session session(options);
    session.start();
    ScriptRunner runner;
    runner.load(imposeScript(o), "impose");
    runner.run();
    app::Application& a = session.app();
    AVDoc result = nullptr;
    for (const auto& d : a.docs())
        if (d.get() != a.docs().front().get()) result = d.get();
    std::string text = readFrom(log, logStart);
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
    doc::pdDocSave(result->pdDoc, PDSaveFull | PDSaveCopy, o.output.c_str());
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
    if (errors) {
        std::fputs(errorLines.c_str(), stderr);
        return 1;
    }
    return 0;
}

}  // namespace vexa::host
