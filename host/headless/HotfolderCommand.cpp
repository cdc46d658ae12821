#include "headless/HotfolderCommand.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "doc/DocInternal.h"

namespace vexa::host {
namespace {

volatile sig_atomic_t gStop = 0;

void onStopSignal(int) {
    gStop = 1;
}

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

// The "Hotfolder" section of the plug-in's preferences file.
std::map<std::string, std::string> readHotfolderSection() {
    std::map<std::string, std::string> keys;
    std::ifstream in(configFolder() + "/Orvanta/Vexa.ini", std::ios::binary);
    if (!in) return keys;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
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

// The files the poll could still take: names, sizes and dates of the regular files
// that do not begin with ".". Empty when there is nothing left.
std::string pendingFiles(const std::vector<std::string>& folders) {
    std::string sig;
    for (const std::string& f : folders) {
        DIR* d = ::opendir(f.c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            struct stat st {};
            std::string p = f + "/" + e->d_name;
            if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            sig += p + '\t' + std::to_string(st.st_size) + '\t' +
                   std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) +
                   '\n';
        }
        ::closedir(d);
    }
    return sig;
}

// Prints what the plug-in's log received since the last call.
class LogFollower {
  public:
    LogFollower() {
        const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
        const char* home = std::getenv("HOME");
        std::string folder = docs && *docs
                                 ? std::string(docs)
                                 : std::string(home && *home ? home : "/tmp") + "/Documents";
        path_ = folder + "/Orvanta/Vexa.txt";
        struct stat st {};
        offset_ = ::stat(path_.c_str(), &st) == 0 ? st.st_size : 0;
    }
    void print() {
        FILE* f = std::fopen(path_.c_str(), "rb");
        if (!f) return;
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        if (size < offset_) offset_ = 0;  // the log was started anew
        if (size > offset_ && std::fseek(f, offset_, SEEK_SET) == 0) {
            char buf[65536];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
                std::fwrite(buf, 1, n, stdout);
                offset_ += static_cast<long>(n);
            }
            std::fflush(stdout);
        }
        std::fclose(f);
    }

  private:
    std::string path_;
    long offset_ = 0;
};

double now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

void nap() {
    timespec t{0, 5 * 1000 * 1000};
    ::nanosleep(&t, nullptr);
}

}  // namespace

int cmdHotfolder(SessionOptions options, const std::vector<std::string>& args) {
    bool once = false, list = false;
    for (const auto& a : args) {
        if (a == "--once")
            once = true;
        else if (a == "--list")
            list = true;
        else {
            std::fprintf(stderr, "vexa: hotfolder takes --once or --list, not %s\n", a.c_str());
            return 2;
        }
    }
    if (list) {
        // As the plug-in lists them in its log at start-up.
        auto keys = readHotfolderSection();
        auto folders = inputFolders(keys);
        for (std::size_t i = 0; i < folders.size(); ++i) {
            struct stat st {};
            bool found = ::stat(folders[i].c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            std::printf("Hotfolder %zu:\t%s%s", i + 1, folders[i].c_str(),
                        found ? "\n" : "\t####\tnot found!\n");
        }
        std::printf("Hotfolder %zu:\n", folders.size() + 1);
        return 0;
    }

    options.virtualClock = false;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    LogFollower log;
    // The service only saves what it imposes: the outputs are written as they are made.
    struct WriteAhead {
        WriteAhead() { doc::setWriteAheadForNewDocuments(true); }
        ~WriteAhead() { doc::setWriteAheadForNewDocuments(false); }
    } writeAhead;
    Session s(options);
    s.start();
    log.print();
    app::Application& a = s.app();

    // --once ends when the input folders hold nothing the poll could take, or when
    // what they hold has not changed for a while (files that stay, e.g. for want of a
    // done folder, or a writer that stopped in the middle).
    double lastChange = now();
    std::string lastPending;
    while (!gStop) {
        a.runIdle();
        log.print();
        if (!once) {
            nap();
            continue;
        }
        auto keys = readHotfolderSection();
        std::string pending = pendingFiles(inputFolders(keys));
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
    a.closeAllDocs();
    log.print();
    return 0;
}

}  // namespace vexa::host
