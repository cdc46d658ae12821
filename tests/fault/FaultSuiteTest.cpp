// The fault-injection suite. Each case drives vexa as a shop runs it, with a fault the
// shop meets (a full or read-only disk, a killed service or job, two workers on one
// folder, a damaged settings file or string table), and ends with every input file
// imposed exactly once with a valid output or kept in "Err" with a log line, and no
// temporary file left. Each case prints its line of the table: case | expected |
// result.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "FaultRig.h"

using namespace vexa::fault;
using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::TempDir;
using vexa::test::writeFile;

namespace {

// 1.3 MB in, 1.35 MB imposed: on a 3 MiB disk the save (a plain copy, then the
// linearized file) needs more room than some fill levels leave.
const std::string kMedium = kCorpus + "/files/pdfcpu__HL1396.pdf";
// 155 pages: imposing and saving take long enough to be caught in the act.
const std::string kLong = kCorpus + "/files/pymupdf__test-3820.pdf";
const std::string kSmall = kCorpus + "/files/pdfjs__issue18816.pdf";

#define NEED_ROOT()                                                      \
    do {                                                                 \
        std::string why;                                                 \
        if (::geteuid() != 0 || !privateMounts(&why))                    \
            GTEST_SKIP() << (why.empty() ? "the case needs root" : why); \
    } while (0)

std::string hiddenTempIn(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec)) {
        std::string n = e.path().filename().string();
        if (n.rfind("." + name + ".", 0) == 0) return n;
    }
    return std::string();
}

}  // namespace

TEST(Fault, HotFolderOnAFullOutputDiskAtEveryFillLevel) {
    NEED_ROOT();
    Rig rig;
    rig.addEntry(1);
    rig.writeConfig();
    ASSERT_TRUE(mountTmpfs(rig.out(), 3072));
    std::string previous = readFile(kSmall);
    std::vector<std::string> imposed, failed;
    for (int kb : {0, 500, 1000, 1400, 1700, 2200, 2900, 3060}) {
        std::string name = "job" + std::to_string(kb) + ".pdf";
        fs::remove(rig.out() / "fill");
        for (auto& e : fs::directory_iterator(rig.out())) fs::remove(e.path());
        writeFile((rig.out() / name).string(), previous);  // an earlier good output
        fill(rig.out(), kb);
        fs::copy_file(kMedium, rig.in() / name);
        std::string output;
        int rc = rig.once(&output);
        bool good = fs::exists(rig.done() / name);
        if (good) {
            EXPECT_EQ(rc, 0) << kb << output;
            EXPECT_EQ(pageCount(rig.out() / name), 10) << kb;
            imposed.push_back(std::to_string(kb));
        } else {
            EXPECT_EQ(rc, 1) << kb << output;
            EXPECT_EQ(readFile((rig.out() / name).string()), previous) << kb;
            EXPECT_NE(output.find("vexa: 1 file went to Err"), std::string::npos) << output;
            failed.push_back(std::to_string(kb));
        }
        EXPECT_EQ(hiddenTempIn(rig.out(), name), "") << kb;
        if (!good) fs::remove(rig.out() / name);  // the verdict then sees it in Err
    }
    std::vector<std::string> names;
    for (int kb : {0, 500, 1000, 1400, 1700, 2200, 2900, 3060})
        names.push_back("job" + std::to_string(kb) + ".pdf");
    fs::remove(rig.out() / "fill");
    // (Outputs of the good levels were cleared for the next level: check the log.)
    std::string log = rig.log();
    for (const std::string& n : names) {
        bool inErr = fs::exists(rig.err() / n);
        EXPECT_EQ(count(log, "\tsaved: " + (rig.out() / n).string() + "\n"), inErr ? 0u : 1u) << n;
    }
    EXPECT_TRUE(rig.leftovers().empty());
    EXPECT_FALSE(imposed.empty());
    EXPECT_FALSE(failed.empty());
    std::string levels;
    for (auto& s : imposed) levels += (levels.empty() ? "" : ",") + s;
    std::string bad;
    for (auto& s : failed) bad += (bad.empty() ? "" : ",") + s;
    row("hot folder, 3 MiB output disk filled to 0..3060 KB, 1.35 MB result",
        "imposed and valid where it fits, else Err, old output kept, exit 1",
        "imposed at " + levels + " KB; Err with old output kept at " + bad +
            " KB; no temporary file");
}

TEST(Fault, ImposeOnAFullOutputDiskAtEveryFillLevel) {
    NEED_ROOT();
    Rig rig;
    fs::create_directories(rig.base() / "out");
    ASSERT_TRUE(mountTmpfs(rig.base() / "out", 3072));
    std::string previous = readFile(kSmall);
    int good = 0, bad = 0;
    for (int kb : {0, 500, 1000, 1700, 2200, 2900, 3060}) {
        fs::path o = rig.base() / "out" / "job.pdf";
        for (auto& e : fs::directory_iterator(rig.base() / "out")) fs::remove(e.path());
        writeFile(o.string(), previous);
        fill(rig.base() / "out", kb);
        std::string output;
        int rc = runCommand(kVexa + " impose " + quote(kMedium) + " -t " + quote(kTemplate) +
                                " -o " + quote(o.string()),
                            &output);
        if (rc == 0) {
            EXPECT_TRUE(qpdfCheck(o)) << kb;
            EXPECT_EQ(pageCount(o), 10);
            ++good;
        } else {
            EXPECT_EQ(readFile(o.string()), previous) << kb << output;
            ++bad;
        }
        EXPECT_EQ(hiddenTempIn(rig.base() / "out", "job.pdf"), "") << kb;
    }
    EXPECT_GT(good, 0);
    EXPECT_GT(bad, 0);
    row("vexa impose -o onto a 3 MiB disk filled to 0..3060 KB",
        "exit 0 and valid, or exit 1 with the old file kept",
        std::to_string(good) + " levels imposed and valid, " + std::to_string(bad) +
            " failed with the old file kept; no temporary file");
}

TEST(Fault, ReadOnlyFolders) {
    NEED_ROOT();
    Rig rig;
    rig.addEntry(1);  // output read-only
    rig.addEntry(2);  // done read-only
    rig.addEntry(3);  // input read-only
    rig.writeConfig();
    fs::copy_file(kSmall, rig.in(1) / "a.pdf");
    fs::copy_file(kSmall, rig.in(2) / "b.pdf");
    ASSERT_TRUE(mountTmpfs(rig.out(1), 1024, true));
    ASSERT_TRUE(mountTmpfs(rig.done(2), 1024, true));
    ASSERT_TRUE(mountTmpfs(rig.in(3), 1024));
    fs::copy_file(kSmall, rig.in(3) / "c.pdf");
    ASSERT_EQ(runCommand("mount -o remount,ro " + quote(rig.in(3).string())), 0);
    std::string output;
    EXPECT_EQ(rig.once(&output), 1) << output;
    // The output cannot be written: "Err".
    EXPECT_TRUE(fs::exists(rig.err() / "a.pdf")) << output;
    // The file cannot be taken: it stays where it is, and the run says so.
    EXPECT_EQ(readFile((rig.in(2) / "b.pdf").string()), readFile(kSmall));
    EXPECT_EQ(readFile((rig.in(3) / "c.pdf").string()), readFile(kSmall));
    EXPECT_NE(output.find("\t####\tcannot move " + (rig.in(2) / "b.pdf").string()),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\t####\tcannot move " + (rig.in(3) / "c.pdf").string()),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("1 file went to Err"), std::string::npos) << output;
    EXPECT_NE(output.find("2 files could not be taken"), std::string::npos) << output;
    std::vector<std::string> left = rig.leftovers();
    EXPECT_TRUE(left.empty()) << left.front();
    row("read-only output, done and input folders",
        "output: Err with log; done/input: file kept in place, logged, exit 1",
        std::string(fs::exists(rig.err() / "a.pdf") ? "output: Err with log" : "OUTPUT LOST") +
            "; done, input: kept in place, logged, exit 1; no temporary file");
}

namespace {

// Runs the service on one long job and kills it (or its job) in the phase asked for,
// then checks what a restart makes of it.
struct Phase {
    const char* name;
    bool killJobOnly;  // kill the job's process, not the service
    bool inSave;       // wait for the save's temporary file
};

void killInPhase(const Phase& phase) {
    Rig rig;
    rig.addEntry(1);
    rig.writeConfig("Delay=0\nLease=3\n");
    pid_t service = rig.startService();
    fs::copy_file(kLong, rig.staging() / "long.pdf");
    fs::rename(rig.staging() / "long.pdf", rig.in() / "long.pdf");
    // Caught in the act: the job's process runs, and (for the save) its temporary file
    // is in the output folder.
    pid_t job = 0;
    bool caught = waitFor(60, [&] {
        auto kids = childrenOf(service);
        if (kids.empty()) return false;
        job = kids.front();
        bool saving = !hiddenTempIn(rig.out(), "long.pdf").empty();
        return phase.inSave ? saving : !saving;
    });
    ASSERT_TRUE(caught) << rig.log();
    ::kill(phase.killJobOnly ? job : service, SIGKILL);
    std::string output;
    if (phase.killJobOnly) {
        // The service notices, logs, sends the file to "Err" and goes on.
        EXPECT_TRUE(waitFor(30, [&] { return fs::exists(rig.err() / "long.pdf"); })) << rig.log();
        EXPECT_EQ(rig.stop(service), 0);
        EXPECT_NE(rig.log().find("\t####\tjob crashed (signal 9"), std::string::npos);
    } else {
        ::waitpid(service, nullptr, 0);
        // The job dies with its service.
        EXPECT_TRUE(waitFor(10, [&] { return ::kill(job, 0) != 0; }));
        EXPECT_TRUE(fs::exists(rig.done() / "long.pdf"));
        // The restart finds the job, puts the file back and imposes it.
        EXPECT_EQ(rig.once(&output), 0) << output;
        EXPECT_NE(output.find("Recovered: the job of " + (rig.in() / "long.pdf").string() +
                              " was cut short"),
                  std::string::npos)
            << output;
    }
    std::string result = rig.verdict({"long.pdf"});
    row(std::string("SIGKILL of the ") + (phase.killJobOnly ? "job" : "service") + " " +
            phase.name + (phase.killJobOnly ? "" : ", then a restart"),
        phase.killJobOnly ? "Err with log line, service goes on"
                          : "imposed once by the restart, valid",
        result);
}

}  // namespace

TEST(Fault, KillTheServiceWhileImposing) {
    killInPhase({"while imposing", false, false});
}
TEST(Fault, KillTheServiceWhileSaving) {
    killInPhase({"while saving", false, true});
}
TEST(Fault, KillTheJobWhileImposing) {
    killInPhase({"while imposing", true, false});
}
TEST(Fault, KillTheJobWhileSaving) {
    killInPhase({"while saving", true, true});
}

TEST(Fault, TwoMachinesOnOneFolderAndAKilledWorkersJobTakenOver) {
    if (::geteuid() != 0 || runCommand("unshare --uts true") != 0)
        GTEST_SKIP() << "no UTS namespace here (needs root): the workers would share a host name";
    Rig rig;
    rig.addEntry(1);
    rig.writeConfig("Delay=0\nLease=3\n");
    const int kFiles = 100;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        names.push_back("job" + std::to_string(i) + ".pdf");
        fs::copy_file(kSmall, rig.staging() / names.back());
    }
    pid_t alpha = rig.startService("press-alpha");
    pid_t beta = rig.startService("press-beta");
    for (const std::string& n : names) fs::rename(rig.staging() / n, rig.in() / n);
    // Kill alpha while a job of its own is in hand, once both have done some work.
    std::string victim;
    bool caught = waitFor(120, [&] {
        std::string log = rig.log();
        if (count(log, "\tsaved: ") < 20) return false;
        std::error_code ec;
        for (auto& e : fs::directory_iterator(rig.done(), ec)) {
            std::string n = e.path().filename().string();
            if (n.rfind(".vexa-job.", 0) != 0) continue;
            std::string record = readFile(e.path().string());
            if (record.find("host=press-alpha\n") == std::string::npos ||
                record.find("state=taken\n") == std::string::npos)
                continue;
            ::kill(alpha, SIGKILL);
            std::size_t at = record.find("\nin=") + 4;
            victim = record.substr(at, record.find('\n', at) - at);
            return true;
        }
        return false;
    });
    ASSERT_TRUE(caught) << rig.log();
    ::waitpid(alpha, nullptr, 0);
    // Beta finishes everything, alpha's job too once the lease ran out. Alpha may have
    // saved and recorded its job's end between our reading its record and the kill:
    // then every output is there at once, and beta removes the dead worker's record
    // only once the lease ran out, so the records are waited for too.
    bool finished = waitFor(120, [&] {
        std::error_code ec;
        std::size_t outs = 0;
        for (auto& e : fs::directory_iterator(rig.out(), ec))
            if (e.path().filename().string()[0] != '.') ++outs;
        for (auto& e : fs::directory_iterator(rig.done(), ec))
            if (e.path().filename().string().rfind(".vexa-job.", 0) == 0) return false;
        return outs == static_cast<std::size_t>(kFiles) && fs::is_empty(rig.in());
    });
    std::string log = rig.log();
    std::size_t at = log.find("Recovered: the job of " + victim);
    if (at == std::string::npos) at = log.find("Recovered: " + victim);
    EXPECT_TRUE(finished) << log;
    EXPECT_EQ(rig.stop(beta), 0);
    // The takeover: logged by beta, naming alpha, not before the lease.
    if (at != std::string::npos) {
        EXPECT_NE(log.find("press-alpha", at), std::string::npos);
    } else {
        // Alpha died after its save was recorded: nothing to take over.
        EXPECT_TRUE(fs::exists(rig.out() / fs::path(victim).filename())) << log;
    }
    std::string result = rig.verdict(names);
    std::size_t alphaSaves =
        count(readFile((rig.home() / "service-press-alpha.txt").string()), "\tsaved: ");
    row("two workers (hosts press-alpha, press-beta) on one folder, 100 files, alpha killed "
        "with a job in hand, lease 3 s",
        "each file imposed exactly once; alpha's job taken over by beta after the lease",
        result + "; alpha imposed " + std::to_string(alphaSaves) + " before it was killed" +
            (at != std::string::npos ? "; its job taken over by beta" : ""));
}

TEST(Fault, SettingsWithZeroBytesAndBinaryJunk) {
    Rig rig;
    rig.addEntry(1);
    rig.writeConfig();
    // Junk after a zero byte, then an entry and a section the reader never gets to.
    std::string text = readFile(rig.prefsFile().string());
    std::string junk;
    for (int i = 0; i < 512; ++i) junk += static_cast<char>((i * 151 + 7) & 0xFF);
    text += "Delay=0\n" + std::string(1, '\0') + junk + "\nIn2=/nowhere\n[General]\nSaveAs=3\n";
    writeFile(rig.prefsFile().string(), text);
    fs::copy_file(kSmall, rig.in() / "a.pdf");
    std::string output;
    EXPECT_EQ(rig.once(&output), 0) << output;
    // The dialog confirmed without a change: the file is still not written.
    std::string script = (rig.home() / "ok.vx").string();
    writeFile(script, "menu Vexa:hotfolder\n  press ok\n");
    EXPECT_EQ(runCommand(kVexa + " run " + quote(script), &output), 0) << output;
    EXPECT_EQ(readFile(rig.prefsFile().string()), text);
    std::string log = rig.log();
    // Once per start (two starts).
    EXPECT_EQ(count(log, "\t####\tThe preferences file " + rig.prefsFile().string() +
                             " is kept as it is and not written: it holds a zero byte at offset"),
              2u)
        << log;

    // Junk without a zero byte is read whole, in a section of its own: nothing breaks
    // and nothing of the file is lost (a save at the end of the run may write its line
    // ends the way the store reads its convention from the first CR).
    junk.erase(std::remove(junk.begin(), junk.end(), '\0'), junk.end());
    std::string junky = "[Junk]\n" + junk + "\n" + text.substr(0, text.find('\0'));
    writeFile(rig.prefsFile().string(), junky);
    fs::copy_file(kSmall, rig.in() / "b.pdf");
    EXPECT_EQ(rig.once(&output), 0) << output;
    auto lineEnds = [](std::string t) {
        std::replace(t.begin(), t.end(), '\r', '\n');
        return t;
    };
    EXPECT_EQ(lineEnds(readFile(rig.prefsFile().string())).rfind(lineEnds(junky), 0), 0u);
    std::string result = rig.verdict({"a.pdf", "b.pdf"});
    row("settings file with a zero byte and binary junk",
        "runs on what was read, warns once per start, the file is never written",
        result +
            "; the file unchanged with the zero byte, one warning per start; junk "
            "without one read whole, nothing lost");
}

TEST(Fault, StringTablesWithHostileFormats) {
    Rig rig;
    // The plug-in folder copied, with a German table whose texts ask for more or other
    // arguments than the plug-in passes.
    fs::path plugins = rig.home() / "plug_ins";
    ASSERT_EQ(runCommand("cp -r " + quote(VEXA_PLUGIN_DIR) + " " + quote(plugins.string())), 0);
    fs::path table = plugins / "Vexa" / "MyStrings_D.xml";
    std::string t = readFile(table.string());
    auto replace = [&](const std::string& key, const std::string& text) {
        std::size_t a = t.find("<" + key + ">"), b = t.find("</" + key + ">");
        ASSERT_NE(a, std::string::npos) << key;
        t.replace(a, b - a, "<" + key + ">" + text);
    };
    replace("versionErr", "%s: %s %s %n");
    replace("noTemplateStr", "%s: this is no %s template!");
    replace("hfOutIsIn", "%s %s %s");
    replace("sheet", "%s%n%d");
    writeFile(table.string(), t);
    std::string vexa = std::string(VEXA_BIN_DIR) + "/vexa --plugins " + quote(plugins.string()) +
                       " --language DEU";
    std::string output;
    // A refused host version shows "versionErr": the English text stands in.
    int rc = runCommand(vexa + " --host-version 12.0 info", &output);
    EXPECT_GE(rc, 0) << output;  // not killed by a signal
    EXPECT_NE(output.find("Vexa is not compatible with this version"), std::string::npos) << output;
    // A refused hot folder names its problem; a job's slug line names its sheet.
    rig.addEntry(1);
    rig.addEntry(2);
    rig.writeConfig("Delay=0\n");
    std::string config = readFile(rig.prefsFile().string());
    std::size_t o2 = config.find("Out2=");
    config.replace(o2, config.find('\n', o2) - o2, "Out2=" + rig.in(2).string());
    writeFile(rig.prefsFile().string(), config);
    fs::copy_file(kSmall, rig.in(1) / "a.pdf");
    rc = runCommand("timeout 60 " + vexa + " hotfolder --once", &output);
    EXPECT_EQ(rc, 1) << output;
    EXPECT_NE(output.find("Hot folder 2: the output folder is the input folder"), std::string::npos)
        << output;
    std::string result = rig.verdict({"a.pdf"});
    row("German string table with hostile formats (%n, extra %s, wrong kinds)",
        "no crash; the English text stands in for each bad one",
        "exit codes 0/1 as expected, messages from the English table; " + result);
}
