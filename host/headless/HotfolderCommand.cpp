#include "headless/HotfolderCommand.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "doc/DocInternal.h"
#include "headless/LogFollower.h"
#include "headless/UserFiles.h"
#include "ui/Ui.h"

namespace vexa::host {
namespace {

volatile sig_atomic_t gStop = 0;

void onStopSignal(int) {
    gStop = 1;
    // The poll takes one settled file after another; a pending Escape ends it after
    // the file in hand.
    ui::setEscapePending(true);
}

// The "Hotfolder" section of the plug-in's preferences file.
std::map<std::string, std::string> readHotfolderSection() {
    std::map<std::string, std::string> keys;
    std::ifstream in(preferencesPath(), std::ios::binary);
    if (!in) return keys;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    // The plug-in reads the file up to a zero byte; so does this.
    text.resize(std::strlen(text.c_str()));
    for (char& c : text)
        if (c == '\r') c = '\n';
    std::istringstream lines(text);
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line[0] == '[') {
            inSection = line.rfind("[Hotfolder]", 0) == 0;
            continue;
        }
        std::size_t eq = line.find('=');
        if (inSection && eq != std::string::npos && !keys.count(line.substr(0, eq)))
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

std::vector<std::string> inputFolders(const std::map<std::string, std::string>& keys) {
    std::vector<std::string> folders;
    for (int n = 1;; ++n) {
        auto it = keys.find("In" + std::to_string(n));
        if (it == keys.end() || it->second.empty()) break;
        folders.push_back(it->second);
    }
    return folders;
}

// Why the preferences file gives no hot folder, in the words of the messages below.
std::string whyNoHotFolder(const std::string& prefs) {
    struct stat st;
    if (::stat(prefs.c_str(), &st) != 0) return "the preferences file " + prefs + " does not exist";
    return "section [Hotfolder] of " + prefs + " has no In1";
}

// The files the poll could still take: names, sizes and dates of the regular files
// that do not begin with ".". Empty when there is nothing left.
// Files in `skip` (paths as the poll names them) do not count.
std::string pendingFiles(const std::vector<std::string>& folders,
                         const std::set<std::string>& skip = {}) {
    std::string sig;
    for (const std::string& f : folders) {
        if (f.empty()) continue;
        DIR* d = ::opendir(f.c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            struct stat st {};
            std::string p = f + (f.back() == '/' ? "" : "/") + e->d_name;
            if (skip.count(p) || ::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            sig += p + '\t' + std::to_string(st.st_size) + '\t' +
                   std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) +
                   '\n';
        }
        ::closedir(d);
    }
    return sig;
}

double now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

void nap() {
    timespec t{0, 5'000'000};  // 5 ms
    ::nanosleep(&t, nullptr);
}

// What the plug-in reports of the run (its hot-folder listing, and each file that went
// to "Err", was no PDF file or could not be taken): lines "kind\ttext" in a file
// named by $VEXA_HOTFOLDER_REPORT while the command runs.
class RunReport {
  public:
    RunReport() {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexa-hotfolder-XXXXXX";
        int fd = ::mkstemp(path_.data());
        if (fd < 0) {
            path_.clear();
            return;
        }
        ::close(fd);
        ::setenv("VEXA_HOTFOLDER_REPORT", path_.c_str(), 1);
    }
    ~RunReport() {
        ::unsetenv("VEXA_HOTFOLDER_REPORT");
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // The lines of one kind, in order.
    std::vector<std::string> lines(const std::string& kind) const {
        std::vector<std::string> out;
        std::ifstream in(path_, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.compare(0, kind.size() + 1, kind + "\t") != 0) continue;
            std::string text;
            for (std::size_t i = kind.size() + 1; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                    text += line[i] == 'n' ? '\n' : line[i];
                } else {
                    text += line[i];
                }
            }
            out.push_back(text);
        }
        return out;
    }

  private:
    std::string path_;
};

// "entries\tCOUNT\tPREFERENCES" of the report: false when the plug-in sent none.
bool configuredEntries(const RunReport& report, int* count, std::string* prefs) {
    auto e = report.lines("entries");
    if (e.empty()) return false;
    *count = std::atoi(e.back().c_str());
    std::size_t tab = e.back().find('\t');
    *prefs = tab == std::string::npos ? std::string() : e.back().substr(tab + 1);
    return true;
}

}  // namespace

namespace {

enum class HotfolderMode { Service, Once, List };

// Reads the command's arguments into mode (--list before --once); an exit status when
// the command ends here (its help printed, or an argument it does not take).
std::optional<int> readHotfolderArgs(const std::vector<std::string>& args, HotfolderMode* mode) {
    bool once = false, list = false;
    for (const auto& a : args) {
        if (a == "--once") {
            once = true;
        } else if (a == "--list") {
            list = true;
        } else if (a == "--help" || a == "-h") {
            std::printf(
                "Usage: vexa hotfolder [--once | --list]\n"
                "Imposes the PDF files that arrive in the hot folders configured in section\n"
                "[Hotfolder] of %s, until SIGTERM or SIGINT.\n"
                "  --once     poll until the input folders hold nothing left to take; exit 0\n"
                "             when every file taken was imposed, 1 when a file went to \"Err\",\n"
                "             was no PDF file or could not be taken, or an input folder is\n"
                "             missing, 2 when no hot folder is configured\n"
                "  --list     print the configured input folders as the poll sees them\n"
                "  -h, --help\n"
                "             prints this text\n"
                "See docs/hotfolder.md for the keys, the folders and several machines.\n",
                preferencesPath().c_str());
            return 0;
        } else {
            std::fprintf(stderr, "vexa: hotfolder takes --once, --list or --help, not %s\n",
                         a.c_str());
            return 2;
        }
    }
    *mode = list ? HotfolderMode::List : once ? HotfolderMode::Once : HotfolderMode::Service;
    return std::nullopt;
}

// Prints the configured input folders: the plug-in's own start-up listing, so that
// the list and the poll agree.
int listHotfolders(const SessionOptions& options) {
    RunReport report;
    Session s(options);
    s.start();
    int count = 0;
    std::string prefs;
    if (!configuredEntries(report, &count, &prefs)) {
        std::fprintf(stderr, "vexa: the plug-in did not list the hot folders (see vexa info)\n");
        return 1;
    }
    for (const std::string& line : report.lines("list")) std::printf("%s\n", line.c_str());
    return 0;
}

void catchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

// The service: polls until SIGTERM or SIGINT.
void serve(app::Application& a, LogFollower& log) {
    if (inputFolders(readHotfolderSection()).empty())
        std::fprintf(stderr, "vexa: no hot folder is configured yet: %s (waiting for one)\n",
                     whyNoHotFolder(preferencesPath()).c_str());
    while (!gStop) {
        a.runIdle();
        log.print();
        nap();
    }
}

// --once polls until the input folders hold nothing the poll could take, or until what
// they hold has not changed for a while (files that stay, e.g. for want of a done
// folder, or a writer that stopped in the middle); answers the files left. Entries the
// plug-in refused are not polled: their files stay.
std::string pollUntilDone(app::Application& a, const RunReport& report, LogFollower& log) {
    double lastChange = now();
    std::string lastPending;
    std::string pending;
    while (!gStop) {
        a.runIdle();
        log.print();
        // At least one poll: it also finishes the jobs of a service that died.
        if (report.lines("polled").empty()) {
            nap();
            continue;
        }
        auto keys = readHotfolderSection();
        std::vector<std::string> folders = inputFolders(keys);
        for (const std::string& refused : report.lines("refused")) {
            int n = std::atoi(refused.c_str());
            if (n >= 1 && n <= static_cast<int>(folders.size())) folders[n - 1].clear();
        }
        // Files the poll could not take (a read-only folder, say) stay as they are.
        auto untaken = report.lines("untaken");
        pending = pendingFiles(folders, std::set<std::string>(untaken.begin(), untaken.end()));
        if (pending.empty()) break;
        if (pending != lastPending) {
            lastPending = pending;
            lastChange = now();
        }
        int delay = keys.count("Delay") ? std::atoi(keys["Delay"].c_str()) : 2;
        double patience = delay * 3.0 > 10.0 ? delay * 3.0 : 10.0;
        if (now() - lastChange > patience) {
            std::fprintf(stderr, "vexa: files left in the input folders do not change; ending\n");
            break;
        }
        nap();
    }
    return pending;
}

// The exit status of a --once run: a run that left anything undone says so, and fails.
int onceOutcome(const RunReport& report, const std::string& pending) {
    std::size_t err = report.lines("err").size();
    std::size_t noPdf = report.lines("nopdf").size();
    auto untakenPaths = report.lines("untaken");
    std::size_t untaken = std::set<std::string>(untakenPaths.begin(), untakenPaths.end()).size();
    std::size_t refused = report.lines("refused").size();
    // An input folder that is not there was not looked at: nothing says it is empty.
    std::size_t missing = report.lines("missing").size();
    std::size_t left = std::count(pending.begin(), pending.end(), '\n');
    if (gStop) left = 0;  // stopped on request: what is left waits for the next run
    if (err + noPdf + untaken + refused + missing + left == 0) return 0;
    std::string what;
    auto add = [&](std::size_t count, const char* one, const char* many) {
        if (count == 0) return;
        what +=
            (what.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? one : many);
    };
    add(err, "file went to Err", "files went to Err");
    add(noPdf, "file was no PDF file", "files were no PDF files");
    add(untaken, "file could not be taken", "files could not be taken");
    add(refused, "hot folder was refused", "hot folders were refused");
    add(missing, "input folder was not found", "input folders were not found");
    add(left, "file was left in an input folder", "files were left in the input folders");
    std::fprintf(stderr, "vexa: %s (see the log)\n", what.c_str());
    return 1;
}

}  // namespace

int cmdHotfolder(SessionOptions options, const std::vector<std::string>& args) {
    HotfolderMode mode = HotfolderMode::Service;
    if (std::optional<int> status = readHotfolderArgs(args, &mode)) return *status;
    options.virtualClock = false;
    if (mode == HotfolderMode::List) return listHotfolders(options);
    // A running service reports nothing: its log says what it does.
    std::optional<RunReport> runReport;
    if (mode == HotfolderMode::Once) runReport.emplace();
    catchStopSignals();

    LogFollower log(logPath(), stdout, stdoutIsJournal());
    // The service only saves what it imposes: the outputs are written as they are made.
    struct WriteAhead {
        WriteAhead() { doc::setWriteAheadForNewDocuments(true); }
        ~WriteAhead() { doc::setWriteAheadForNewDocuments(false); }
    } writeAhead;
    Session s(options);
    s.start();
    app::Application& a = s.app();
    if (mode == HotfolderMode::Service) {
        log.print();
        serve(a, log);
        a.closeAllDocs();
        log.print();
        log.finish();
        return 0;
    }
    const RunReport& report = *runReport;
    int entries = 0;
    std::string prefs;
    if (!configuredEntries(report, &entries, &prefs)) {
        log.print();
        std::fprintf(stderr, "vexa: the plug-in did not start the hot folders (see vexa info)\n");
        return 1;
    }
    if (entries == 0) {
        std::fprintf(stderr, "vexa: no hot folder is configured: %s\n",
                     whyNoHotFolder(prefs).c_str());
        return 2;
    }
    // The start-up lines of the log once it is known that there is work: with none, the
    // reason alone is said.
    log.print();
    std::string pending = pollUntilDone(a, report, log);
    a.closeAllDocs();
    log.print();
    log.finish();
    return onceOutcome(report, pending);
}

}  // namespace vexa::host
