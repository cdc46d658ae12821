#include "FaultRig.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace vexa::fault {

using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::writeFile;

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa --plugins " VEXA_PLUGIN_DIR;
const std::string kTemplate = std::string(VEXA_PLUGIN_DIR) + "/Vexa/templates/Booklet_2up_A4.pdf";
const std::string kCorpus = VEXA_CORPUS_DIR;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = 0; (i = text.find(what, i)) != std::string::npos; i += what.size()) ++n;
    return n;
}

bool qpdfCheck(const fs::path& pdf) {
    return runCommand("qpdf --check " + quote(pdf.string()) + " >/dev/null 2>&1") == 0;
}

int pageCount(const fs::path& pdf) {
    std::string out;
    if (runCommand("qpdf --show-npages " + quote(pdf.string()) + " 2>/dev/null", &out) != 0)
        return -1;
    return std::atoi(out.c_str());
}

bool privateMounts(std::string* why) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        *why = std::string("no mount namespace of our own (") + std::strerror(errno) +
               "); the case needs root";
        return false;
    }
    return true;
}

bool mountTmpfs(const fs::path& folder, int sizeKB, bool readOnly) {
    fs::create_directories(folder);
    std::string options = "size=" + std::to_string(sizeKB) + "k";
    return ::mount("vexa-fault", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                   options.c_str()) == 0;
}

void fill(const fs::path& folder, int kb) {
    std::ofstream f(folder / "fill", std::ios::binary);
    std::string block(1024, '\0');
    for (int i = 0; i < kb; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
}

void row(const std::string& what, const std::string& expected, const std::string& result) {
    std::printf("[ table    ] %s | %s | %s\n", what.c_str(), expected.c_str(), result.c_str());
    std::fflush(stdout);
}

Rig::Rig() {
    base_ = home_.path() / "hot folders";
    fs::create_directories(home_.path() / "tmp");
    const char* tmp = std::getenv("TMPDIR");
    savedTmp_ = tmp ? tmp : "";
    ::setenv("TMPDIR", (home_.path() / "tmp").c_str(), 1);
}

Rig::~Rig() {
    if (savedTmp_.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", savedTmp_.c_str(), 1);
}

void Rig::addEntry(int n, const std::string& extraKeys) {
    std::string k = std::to_string(n);
    for (const char* f : {"In", "Out", "Done"}) fs::create_directories(base_ / (f + k));
    entries_ += "In" + k + "=" + in(n).string() + "\n";
    entries_ += "Out" + k + "=" + out(n).string() + "\n";
    entries_ += "Done" + k + "=" + done(n).string() + "\n";
    entries_ += "T" + k + "=" + kTemplate + "\n" + extraKeys;
}

fs::path Rig::staging() const {
    fs::create_directories(home_.path() / "staging");
    return home_.path() / "staging";
}

fs::path Rig::prefsFile() const {
    return home_.path() / "config" / "Orvanta" / "Vexa.ini";
}

void Rig::writeConfig(const std::string& extra) {
    fs::create_directories(prefsFile().parent_path());
    writeFile(prefsFile().string(), "[Hotfolder]\n" + entries_ + extra);
}

std::string Rig::log() const {
    return readFile((home_.path() / "Documents" / "Orvanta" / "Vexa.txt").string());
}

int Rig::once(std::string* output, const std::string& prefix) {
    return runCommand(prefix + "timeout 120 " + kVexa + " hotfolder --once", output);
}

pid_t Rig::startService(const std::string& hostName) {
    std::string logFile = (home_.path() / ("service-" + hostName + ".txt")).string();
    std::string command = "exec " + kVexa + " hotfolder";
    if (!hostName.empty())
        command = "exec unshare --uts sh -c " + quote("hostname " + hostName + " && " + command);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(logFile.c_str(), "w", stdout)) ::_exit(126);
        ::dup2(::fileno(stdout), 2);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

int Rig::stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Rig::leftovers() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const fs::path& root : {base_, home_.path() / "tmp"}) {
        if (!fs::exists(root, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(root, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name[0] == '.' || root != base_) found.push_back(it->path().string());
        }
    }
    return found;
}

std::string Rig::verdict(const std::vector<std::string>& names, int entry) {
    std::string log = this->log();
    std::size_t imposed = 0, inErr = 0;
    for (const std::string& name : names) {
        fs::path o = out(entry) / name;
        std::size_t saves = count(log, "\tsaved: " + o.string() + "\n");
        if (fs::exists(err() / name)) {
            ++inErr;
            EXPECT_EQ(saves, 0u) << name;
            // Its last processing ends in an error line.
            std::size_t at = log.rfind("Processing: " + (in(entry) / name).string() + "\n");
            EXPECT_NE(at, std::string::npos) << name;
            if (at != std::string::npos) {
                EXPECT_NE(log.find("\t####\t", at), std::string::npos) << name << "\n" << log;
            }
        } else {
            ++imposed;
            EXPECT_EQ(saves, 1u) << name << "\n" << log;
            EXPECT_TRUE(qpdfCheck(o)) << name;
            EXPECT_TRUE(fs::exists(done(entry) / name)) << name;
        }
        EXPECT_FALSE(fs::exists(in(entry) / name)) << name;
    }
    std::vector<std::string> left = leftovers();
    EXPECT_TRUE(left.empty()) << left.size() << " left, first " << left.front();
    std::string result;
    if (imposed) result += std::to_string(imposed) + " imposed once, valid";
    if (inErr) result += (result.empty() ? "" : "; ") + std::to_string(inErr) + " in Err with log";
    result += left.empty() ? "; no temporary file" : "; TEMPORARY FILES LEFT";
    return result;
}

std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> kids;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t k;
    while (in >> k) kids.push_back(k);
    return kids;
}

}  // namespace vexa::fault
