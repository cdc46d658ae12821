// What the fault-injection cases share: a home of their own with hot-folder entries,
// running vexa (once, as a service, in a UTS namespace), private tmpfs mounts, and the
// check every case ends with: each input imposed exactly once with a valid output, or
// kept in "Err" with a log line, and no temporary file left anywhere.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace vexa::fault {

namespace fs = std::filesystem;

extern const std::string kVexa;      // the program with its plug-in folder
extern const std::string kTemplate;  // the bundled 2-up booklet
extern const std::string kCorpus;

std::string quote(const std::string& s);
std::size_t count(const std::string& text, const std::string& what);
bool qpdfCheck(const fs::path& pdf);
int pageCount(const fs::path& pdf);

// Mounts made from here on are this process's own (a private mount namespace): they
// vanish with it. False, with the reason, when the system refuses.
bool privateMounts(std::string* why);
// A tmpfs of sizeKB at folder (read-only when asked); false when refused.
bool mountTmpfs(const fs::path& folder, int sizeKB, bool readOnly = false);
// Fills the file system of folder with a file of kb kilobytes.
void fill(const fs::path& folder, int kb);

// One line of the suite's table: case, expected, result.
void row(const std::string& what, const std::string& expected, const std::string& result);

class Rig {
  public:
    Rig();
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Entry n with folders base/In<n>, Out<n>, Done<n> and the bundled template.
    void addEntry(int n, const std::string& extraKeys = "");
    void writeConfig(const std::string& extra = "Delay=0\n");
    fs::path in(int n = 1) const { return base_ / ("In" + std::to_string(n)); }
    fs::path out(int n = 1) const { return base_ / ("Out" + std::to_string(n)); }
    fs::path done(int n = 1) const { return base_ / ("Done" + std::to_string(n)); }
    fs::path err() const { return base_ / "Err"; }
    const fs::path& base() const { return base_; }
    const fs::path& home() const { return home_.path(); }
    // A folder beside the hot folders to prepare files in (renamed in whole).
    fs::path staging() const;
    fs::path prefsFile() const;
    std::string log() const;

    // vexa hotfolder --once; its exit status, output in *output.
    int once(std::string* output = nullptr, const std::string& prefix = "");
    // vexa hotfolder as a service (host name given: in a UTS namespace of its own);
    // its pid. stop() sends SIGTERM and waits.
    pid_t startService(const std::string& hostName = "");
    int stop(pid_t pid);

    // The check every case ends with, for the input names given. Returns what became
    // of them ("imposed" / "Err" per file, joined) and records failures.
    std::string verdict(const std::vector<std::string>& names, int entry = 1);
    // Hidden or temporary files anywhere below base() or in TMPDIR.
    std::vector<std::string> leftovers() const;

  private:
    vexa::test::ScopedHome home_;
    fs::path base_;
    std::string entries_;
    std::string savedTmp_;
};

// Processes whose parent is pid.
std::vector<pid_t> childrenOf(pid_t pid);
// Waits up to seconds for pred; true when it came true.
template <typename F>
bool waitFor(double seconds, F pred);

}  // namespace vexa::fault

#include <chrono>
#include <thread>

template <typename F>
bool vexa::fault::waitFor(double seconds, F pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return pred();
}
