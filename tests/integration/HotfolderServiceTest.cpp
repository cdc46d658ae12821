// "vexa hotfolder" end to end: what lands where for good and bad inputs, failures of
// the template, the output folder and the disk, slow copies, renames, two processes on
// the same folders, and a load of small jobs with the service's memory before and after.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa --plugins " VEXA_PLUGIN_DIR;
const std::string kCorpus = VEXA_CORPUS_DIR;
const std::string kSource = kCorpus + "/files/pdfjs__issue18816.pdf";  // 1 page, 3 KB
const std::string kTemplate = std::string(VEXA_PLUGIN_DIR) + "/Vexa/templates/Booklet_2up_A4.pdf";
const std::string kLarge = kCorpus + "/files/pdfjs__bug1703683_page2_reduced.pdf";  // 330 KB

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> s;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return s;
    for (auto& e : fs::directory_iterator(dir)) s.insert(e.path().filename().string());
    return s;
}

long rssKB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

class HotfolderService : public ::testing::Test {
  protected:
    void SetUp() override {
        base_ = home_.path() / "hot folders";  // a blank in every path
        fs::copy_file(kTemplate, home_.path() / "template.pdf");
    }

    // Entry n with its folders under base_ ("In1", "Out1", "Done1").
    void addEntry(int n, const std::string& tmpl = "") {
        std::string k = std::to_string(n);
        for (const char* f : {"In", "Out", "Done"}) fs::create_directories(base_ / (f + k));
        entries_ += "In" + k + "=" + (base_ / ("In" + k)).string() + "\n";
        entries_ += "Out" + k + "=" + (base_ / ("Out" + k)).string() + "\n";
        entries_ += "Done" + k + "=" + (base_ / ("Done" + k)).string() + "\n";
        entries_ +=
            "T" + k + "=" + (tmpl.empty() ? (home_.path() / "template.pdf").string() : tmpl) + "\n";
    }
    void writeConfig(const std::string& extra = "Delay=0\n") {
        fs::path dir = fs::path(std::getenv("XDG_CONFIG_HOME")) / "Orvanta";
        fs::create_directories(dir);
        writeFile((dir / "Vexa.ini").string(), "[Hotfolder]\n" + entries_ + extra);
    }
    fs::path in(int n = 1) const { return base_ / ("In" + std::to_string(n)); }
    fs::path out(int n = 1) const { return base_ / ("Out" + std::to_string(n)); }
    fs::path done(int n = 1) const { return base_ / ("Done" + std::to_string(n)); }
    fs::path err() const { return base_ / "Err"; }

    int once(std::string* output, const std::string& prefix = "") {
        return runCommand(prefix + "timeout 60 " + kVexa + " hotfolder --once", output);
    }
    static bool qpdfCheck(const fs::path& p) {
        return runCommand("qpdf --check " + quote(p.string()) + " >/dev/null") == 0;
    }

    vexa::test::ScopedHome home_;
    fs::path base_;
    std::string entries_;
};

}  // namespace

TEST_F(HotfolderService, GoodAndBadInputsEndUpWhereTheyBelong) {
    addEntry(1);
    writeConfig();
    fs::copy_file(kSource, in() / "good -x 'q' é.pdf");
    writeFile((in() / "notes.txt").string(), "not a pdf\n");
    writeFile((in() / "fake512.pdf").string(), "%PDF-1.4\n" + std::string(497, ' ') + "%%EOF\n");
    std::string whole = readFile(kSource);
    writeFile((in() / "truncated.pdf").string(), whole.substr(0, whole.size() / 2));
    writeFile((in() / "damaged.pdf").string(),
              "%PDF-1.4\n" + std::string(3000, '\x9c') + "\n%%EOF\n");
    fs::copy_file(kCorpus + "/bad/pdfbox__PasswordSample-128bit.pdf", in() / "encrypted.pdf");
    std::string output;
    // Files that were not imposed fail the run, and it says what became of them.
    ASSERT_EQ(once(&output), 1) << output;
    EXPECT_NE(output.find("vexa: 2 files went to Err, 3 files were no PDF files (see the log)\n"),
              std::string::npos)
        << output;

    EXPECT_TRUE(names(in()).empty()) << output;
    EXPECT_EQ(names(out()), (std::set<std::string>{"good -x 'q' é.pdf"})) << output;
    EXPECT_TRUE(qpdfCheck(out() / "good -x 'q' é.pdf"));
    // No PDF by the size, header and end test: logged, left in the done folder.
    EXPECT_EQ(names(done()), (std::set<std::string>{"good -x 'q' é.pdf", "notes.txt", "fake512.pdf",
                                                    "truncated.pdf"}))
        << output;
    // PDFs that do not open: logged with the open error, moved on to "Err".
    EXPECT_EQ(names(err()), (std::set<std::string>{"damaged.pdf", "encrypted.pdf"})) << output;
    EXPECT_EQ(readFile((err() / "encrypted.pdf").string()),
              readFile(kCorpus + "/bad/pdfbox__PasswordSample-128bit.pdf"));
    auto count = [&](const std::string& s) {
        std::size_t c = 0;
        for (std::size_t i = 0; (i = output.find(s, i)) != std::string::npos; ++i) ++c;
        return c;
    };
    EXPECT_EQ(count("Processing: "), 6u);
    EXPECT_EQ(count("\t####\tno PDF file!\n"), 3u);
    EXPECT_EQ(count("\t####\tpdOpenDoc failed: "), 2u);
    EXPECT_NE(output.find("\t####\tpdOpenDoc failed: " + (done() / "encrypted.pdf").string()),
              std::string::npos);
    // The log holds the same lines.
    std::string log = readFile((home_.path() / "Documents/Orvanta/Vexa.txt").string());
    EXPECT_NE(log.find("\t####\tno PDF file!\n"), std::string::npos);
}

TEST_F(HotfolderService, TemplateAndOutputFailuresSendTheFileToErrAndLeaveNoOutput) {
    addEntry(1);                                                    // no template at all
    addEntry(2, (home_.path() / "no such template.pdf").string());  // template missing
    addEntry(3);                                                    // output not writable
    addEntry(4);                                                    // works
    entries_.replace(entries_.find("T1="),
                     entries_.find('\n', entries_.find("T1=")) - entries_.find("T1=") + 1, "");
    fs::remove_all(out(3));
    writeFile(out(3).string(), "a file where the output folder should be");
    writeConfig();
    for (int n = 1; n <= 4; ++n) fs::copy_file(kSource, in(n) / "job.pdf");
    std::string output;
    ASSERT_EQ(once(&output), 1) << output;
    EXPECT_NE(output.find("\t####\tno template (T1)\n"), std::string::npos) << output;
    // Each failing entry's file is in "Err" (one "Err" beside all done folders: the last
    // one moved there wins, as files of the same name replace each other).
    EXPECT_TRUE(fs::exists(err() / "job.pdf"));
    for (int n = 1; n <= 3; ++n) EXPECT_FALSE(fs::exists(done(n) / "job.pdf")) << n;
    EXPECT_TRUE(names(out(1)).empty());
    EXPECT_TRUE(names(out(2)).empty());
    EXPECT_TRUE(fs::is_regular_file(out(3)));
    EXPECT_EQ(names(out(4)), (std::set<std::string>{"job.pdf"}));
    EXPECT_TRUE(fs::exists(done(4) / "job.pdf"));
    EXPECT_EQ(std::count(output.begin(), output.end(), '#') / 4, 3) << output;
}

TEST_F(HotfolderService, AFullDiskFailsTheJobWithoutPartialOutputAndTheServiceGoesOn) {
    addEntry(1);
    addEntry(2);
    writeConfig();
    fs::copy_file(kLarge, in(1) / "large.pdf");
    fs::copy_file(kSource, in(2) / "small.pdf");
    // Files may grow to 200 KB: the 330 KB result cannot be written. The job that hits
    // the limit dies of SIGXFSZ inside the writer; only it is lost.
    std::string output;
    ASSERT_EQ(once(&output, "ulimit -f 200; "), 1) << output;
    EXPECT_TRUE(fs::exists(err() / "large.pdf")) << output;
    EXPECT_TRUE(names(out(1)).empty()) << output;  // no partial or temporary file
    EXPECT_EQ(names(out(2)), (std::set<std::string>{"small.pdf"}));
    EXPECT_NE(output.find("\t####\tjob crashed"), std::string::npos) << output;
}

TEST_F(HotfolderService, AFullTmpfsOutputFolderFailsCleanly) {
    addEntry(1);
    writeConfig();
    if (::geteuid() != 0 || ::mount("vexa", out(1).c_str(), "tmpfs", 0, "size=96k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    fs::copy_file(kLarge, in(1) / "large.pdf");
    fs::copy_file(kSource, in(1) / "small.pdf");
    std::string output;
    int rc = once(&output);
    std::set<std::string> left = names(out(1));
    ::umount(out(1).c_str());
    ASSERT_EQ(rc, 1) << output;
    EXPECT_TRUE(fs::exists(err() / "large.pdf")) << output;
    EXPECT_EQ(left, (std::set<std::string>{"small.pdf"})) << output;
    EXPECT_NE(output.find("\t####\t"), std::string::npos);
}

TEST_F(HotfolderService, ASlowCopyIsTakenOnlyWhenCompleteARenameAtTheNextPoll) {
    addEntry(1);
    writeConfig("Delay=1\n");
    std::string data = readFile(kLarge);
    std::string src = quote(kLarge);
    // Writer 1 keeps the file open and writes 8 chunks over about 2.4 s; writer 2 opens
    // and closes the file for each chunk (like a copy over a network share).
    std::string w1 = "(exec 3>" + quote((in() / "open.pdf").string()) +
                     "; for i in 0 1 2 3 4 5 6 7; do dd if=" + src +
                     " bs=41267 skip=$i count=1 status=none >&3; sleep 0.3; done) &";
    std::string w2 = "(for i in 0 1 2 3 4 5 6 7; do dd if=" + src +
                     " bs=41267 skip=$i count=1 status=none >> " +
                     quote((in() / "closing.pdf").string()) + "; sleep 0.3; done) &";
    std::string output;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(
        runCommand(w1 + " " + w2 + " sleep 0.2; timeout 60 " + kVexa + " hotfolder --once; wait",
                   &output),
        0)
        << output;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(readFile((done() / "open.pdf").string()), data);
    EXPECT_EQ(readFile((done() / "closing.pdf").string()), data);
    EXPECT_EQ(names(out()), (std::set<std::string>{"open.pdf", "closing.pdf"})) << output;
    EXPECT_FALSE(fs::exists(err())) << output;
    EXPECT_NE(output.find("\tfile busy\n"), std::string::npos);
    std::printf("[ figures  ] slow copies of 330 KB over 2.4 s: taken complete after %.1f s\n",
                seconds);

    // The service running: a file renamed in is taken at the next poll (Delay 1 s).
    fs::create_directories(home_.path() / "staging");
    fs::copy_file(kSource, home_.path() / "staging" / "renamed.pdf");
    std::string script =
        kVexa + " hotfolder > " + quote((home_.path() / "service.txt").string()) +
        " 2>&1 & pid=$!; sleep 1; t0=$(date +%s%N); mv " +
        quote((home_.path() / "staging" / "renamed.pdf").string()) + " " + quote(in().string()) +
        "; for i in $(seq 1 200); do [ -e " + quote((out() / "renamed.pdf").string()) +
        " ] && break; sleep 0.02; done; t1=$(date +%s%N); echo ms=$(( (t1 - t0) / 1000000 ));"
        " kill -TERM $pid; wait $pid; echo rc=$?";
    ASSERT_EQ(runCommand(script, &output), 0);
    EXPECT_NE(output.find("rc=0"), std::string::npos) << output;
    int ms = std::atoi(output.c_str() + output.find("ms=") + 3);
    // The next poll comes within Delay (1 s); the rest is the job itself, which the
    // sanitizer builds run several times slower.
#ifdef __SANITIZE_ADDRESS__
    EXPECT_LT(ms, 6000) << output;
#else
    EXPECT_LT(ms, 2500) << output;
#endif
    EXPECT_TRUE(fs::exists(out() / "renamed.pdf"));
    std::printf("[ figures  ] renamed-in file imposed %d ms after the rename\n", ms);
}

TEST_F(HotfolderService, TwoProcessesNeverTakeAFileTwiceNorLoseOne) {
    addEntry(1);
    writeConfig();
    const int kFiles = 40;
    for (int i = 0; i < kFiles; ++i)
        fs::copy_file(kSource, in() / ("job" + std::to_string(i) + ".pdf"));
    std::string output;
    std::string logA = quote((home_.path() / "a.txt").string());
    std::string logB = quote((home_.path() / "b.txt").string());
    ASSERT_EQ(runCommand("timeout 60 " + kVexa + " hotfolder --once > " + logA + " 2>&1 & " +
                             "timeout 60 " + kVexa + " hotfolder --once > " + logB + " 2>&1 & wait",
                         &output),
              0);
    // Both processes append to one log, each save once: a file imposed twice would
    // show twice, a lost one not at all.
    std::string log = readFile((home_.path() / "Documents/Orvanta/Vexa.txt").string());
    std::multiset<std::string> saves;
    for (std::size_t i = 0; (i = log.find("\tsaved: ", i)) != std::string::npos; ++i)
        saves.insert(log.substr(i, log.find('\n', i) - i));
    std::set<std::string> unique(saves.begin(), saves.end());
    EXPECT_EQ(saves.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(names(done()).size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(names(out()).size(), static_cast<std::size_t>(kFiles));
    EXPECT_TRUE(names(in()).empty());
    EXPECT_FALSE(fs::exists(err()));
    std::size_t taken = 0;
    for (std::size_t i = 0; (i = log.find("\ttaken by another process", i)) != std::string::npos;
         ++i)
        ++taken;
    std::printf("[ figures  ] two processes, %d files: %zu saves, %zu lost races\n", kFiles,
                saves.size(), taken);
}

TEST_F(HotfolderService, TwoHundredJobsOverTwoFoldersWithoutGrowth) {
    addEntry(1);
    addEntry(2);
    writeConfig();
    std::string logPath = (home_.path() / "service.txt").string();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(logPath.c_str(), "w", stdout);
        std::string v = std::string(VEXA_BIN_DIR) + "/vexa";
        ::execl(v.c_str(), v.c_str(), "--plugins", VEXA_PLUGIN_DIR, "hotfolder", (char*)nullptr);
        ::_exit(127);
    }
    // The service is stopped whatever happens below, so a failed check never leaves
    // it running.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid <= 0) return;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    } reaper{pid};
    // Waits while the service makes progress: a loaded machine (or a sanitizer build)
    // is slow, but a service that stops taking files for a minute has failed.
    auto waitFor = [&](std::size_t total) {
        std::size_t seen = 0;
        for (int idle = 0; idle < 1200; ++idle) {
            std::size_t now = names(out(1)).size() + names(out(2)).size();
            if (now >= total && names(in(1)).empty() && names(in(2)).empty()) return true;
            if (now != seen) {
                seen = now;
                idle = 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    auto drop = [&](int from, int count) {
        for (int i = from; i < from + count; ++i)
            fs::copy_file(kSource, in(1 + i % 2) / ("job" + std::to_string(i) + ".pdf"));
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    long before = rssKB(pid);
    auto start = std::chrono::steady_clock::now();
    drop(0, 100);
    ASSERT_TRUE(waitFor(100));
    long middle = rssKB(pid);
    drop(100, 100);
    ASSERT_TRUE(waitFor(200));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long after = rssKB(pid);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    reaper.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(names(out(1)).size(), 100u);
    EXPECT_EQ(names(out(2)).size(), 100u);
    EXPECT_EQ(names(done(1)).size() + names(done(2)).size(), 200u);
    EXPECT_FALSE(fs::exists(err()));
    // Jobs run in child processes: the service itself does not grow. (The address
    // sanitizer's quarantine keeps freed memory for a while, so its builds grow.)
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(after - middle, 2048) << before << " " << middle << " " << after;
#endif
    std::printf(
        "[ figures  ] 200 jobs in %.1f s (%.0f jobs/min); RSS %ld kB before, %ld kB "
        "after 100, %ld kB after 200\n",
        seconds, 200 / seconds * 60, before, middle, after);
}

TEST_F(HotfolderService, TheDialogRunsInAScriptAndListIsTheStartupListing) {
    writeConfig("");
    std::string script = (home_.path() / "hot.vexa").string();
    std::string base = (home_.path() / "new base").string();
    writeFile(script,
              "menu Vexa:hotfolder\n"
              "  expect-dialog hotfolder\n"
              "  press add\n"
              "  choose \"" +
                  base +
                  "\"\n"
                  "  expect-text 14 \"" +
                  base +
                  "/In1\"\n"
                  "  set 20 \"" +
                  (home_.path() / "template.pdf").string() +
                  "\"\n"
                  "  pick 24 2\n"
                  "  set 26 \"2 mm\"\n"
                  "  press ok\n");
    std::string output;
    ASSERT_EQ(runCommand(kVexa + " run " + quote(script), &output), 0) << output;
    ASSERT_EQ(runCommand(kVexa + " hotfolder --list", &output), 0) << output;
    EXPECT_EQ(output, "Hotfolder 1:\t" + base + "/In1\nHotfolder 2:\n");
    std::string ini =
        readFile((fs::path(std::getenv("XDG_CONFIG_HOME")) / "Orvanta/Vexa.ini").string());
    EXPECT_NE(ini.find("B1=K"), std::string::npos) << ini;
    EXPECT_NE(ini.find("D1=2.00"), std::string::npos) << ini;
    EXPECT_TRUE(fs::is_directory(base + "/Done1"));
    // The new entry works at once.
    fs::copy_file(kSource, fs::path(base) / "In1" / "x.pdf");
    ASSERT_EQ(once(&output), 0) << output;
    EXPECT_TRUE(fs::exists(fs::path(base) / "Out1" / "x.pdf")) << output;
}

TEST_F(HotfolderService, SigtermFinishesTheFileInHand) {
    addEntry(1);
    writeConfig();
    std::string log = (home_.path() / "Documents/Orvanta/Vexa.txt").string();
    std::string script = kVexa + " hotfolder > /dev/null 2>&1 & pid=$!; sleep 0.5; cp " +
                         quote(kLarge) + " " + quote((home_.path() / "large.pdf").string()) +
                         "; mv " + quote((home_.path() / "large.pdf").string()) + " " +
                         quote(in().string()) + "; for i in $(seq 1 500); do grep -q " +
                         "'Processing: .*large.pdf' " + quote(log) +
                         " 2>/dev/null && break; sleep 0.005; done; kill -TERM $pid; wait $pid;"
                         " echo rc=$?";
    std::string output;
    ASSERT_EQ(runCommand(script, &output), 0);
    EXPECT_NE(output.find("rc=0"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(out() / "large.pdf")) << readFile(log);
    EXPECT_TRUE(fs::exists(done() / "large.pdf"));
    EXPECT_TRUE(qpdfCheck(out() / "large.pdf"));
}

TEST_F(HotfolderService, OnceSaysWhenNoHotFolderIsConfiguredOrAnEntryIsRefusedOrMissing) {
    writeConfig("");
    std::string output;
    ASSERT_EQ(runCommand(kVexa + " hotfolder --help", &output), 0);
    EXPECT_NE(output.find("Usage: vexa hotfolder [--once | --list]"), std::string::npos);
    EXPECT_EQ(runCommand(kVexa + " hotfolder --onse", &output), 2);
    EXPECT_EQ(output, "vexa: hotfolder takes --once, --list or --help, not --onse\n");
    EXPECT_EQ(once(&output), 2) << output;
    std::string ini = (fs::path(std::getenv("XDG_CONFIG_HOME")) / "Orvanta/Vexa.ini").string();
    // The reason alone, not the log's start-up lines before it.
    EXPECT_EQ(output.rfind("vexa: no hot folder is configured: section [Hotfolder] of " + ini +
                               " has no In1\n",
                           0),
              0u)
        << output;

    // The output folder is the input folder, written another way: the run ends at once,
    // the file stays as it was, and the run fails.
    addEntry(1);
    entries_.replace(entries_.find("Out1="),
                     entries_.find('\n', entries_.find("Out1=")) - entries_.find("Out1="),
                     "Out1=" + in().string() + "/../In1/");
    writeConfig();
    fs::copy_file(kSource, in() / "job.pdf");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(once(&output), 1) << output;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(readFile((in() / "job.pdf").string()), readFile(kSource));
    EXPECT_EQ(names(in()), (std::set<std::string>{"job.pdf"}));
    EXPECT_NE(output.find("Hot folder 1: the output folder is the input folder"), std::string::npos)
        << output;
    EXPECT_NE(output.find("vexa: 1 hot folder was refused"), std::string::npos) << output;
    ASSERT_EQ(runCommand(kVexa + " hotfolder --list", &output), 0) << output;
    EXPECT_NE(output.find("Hotfolder 1:\t" + in().string() +
                          "\t####\tHot folder 1: the output folder is the input folder"),
              std::string::npos)
        << output;

    // An input folder that is not there (a share that is not mounted): the others are
    // polled, and the run fails and says why.
    entries_.clear();
    addEntry(1);
    addEntry(2);
    fs::remove_all(in(2));
    writeConfig();
    EXPECT_EQ(once(&output), 1) << output;
    EXPECT_NE(output.find("Hotfolder 2:\t" + in(2).string() + "\t####\tnot found!"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("vexa: 1 input folder was not found (see the log)"), std::string::npos)
        << output;
    EXPECT_EQ(names(out()), (std::set<std::string>{"job.pdf"}));
}

TEST_F(HotfolderService, LongPathsWorkAndListAndPollAgree) {
    // Folders, template and output with paths far beyond 255 bytes (and the job's
    // 512-byte path fields).
    while (base_.string().size() < 600) base_ /= "a folder name of some length for the shop";
    fs::create_directories(base_);
    fs::copy_file(kTemplate, base_ / "template.pdf");
    addEntry(1, (base_ / "template.pdf").string());
    writeConfig();
    fs::copy_file(kSource, in() / "job.pdf");
    std::string output;
    ASSERT_EQ(runCommand(kVexa + " hotfolder --list", &output), 0) << output;
    EXPECT_EQ(output, "Hotfolder 1:\t" + in().string() + "\nHotfolder 2:\n");
    ASSERT_EQ(once(&output), 0) << output;
    EXPECT_EQ(output.find("not found!"), std::string::npos) << output;
    EXPECT_TRUE(qpdfCheck(out() / "job.pdf")) << output;
    EXPECT_TRUE(fs::exists(done() / "job.pdf"));
    // The sheets and the document still name their template and source.
    std::string json;
    runCommand("qpdf --json=2 --json-key=qpdf " + quote((out() / "job.pdf").string()), &json);
    EXPECT_NE(json.find("\"/FN\": \"u:job.pdf\""), std::string::npos);
    EXPECT_NE(json.find("\"/TN\": \"u:template.pdf\""), std::string::npos);
}
