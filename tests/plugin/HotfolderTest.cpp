// The hot folder in-process: file operations, the busy and PDF tests, isolated jobs,
// the start-up listing, the job mapping seen through the poll, and the dialog.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/ChildJob.h"
#include "Common/ErrorHandling.h"
#include "platform/FileOps.h"
#include "Sources/Hotfolder.h"
#include "settings/MySettings.h"
#include "Common/Prefs.h"
#include "platform/ProcessId.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"
#include "ui/Ui.h"

using vexa::test::readFile;
using vexa::test::TempDir;
using vexa::test::writeFile;
namespace fs = std::filesystem;
namespace ui = vexa::host::ui;

namespace {

std::string pdfLike(std::size_t size, const std::string& tail = "%%EOF\n") {
    std::string s = "%PDF-1.4\n";
    s.append(size - s.size() - tail.size(), 'x');
    return s + tail;
}

}  // namespace

TEST(HotfolderFiles, MoveReplacesAndReportsTheNewPath) {
    TempDir t;
    fs::create_directory(t.path() / "to");
    writeFile(t.file("a b'\"é.pdf"), "new");
    writeFile(t.file("to/a b'\"é.pdf"), "old");
    char dest[512];
    std::snprintf(dest, sizeof dest, "%s", t.file("to").c_str());
    ASSERT_TRUE(moveFile(t.file("a b'\"é.pdf").c_str(), dest, sizeof dest, "a b'\"é.pdf"));
    EXPECT_EQ(std::string(dest), t.file("to/a b'\"é.pdf"));
    EXPECT_EQ(readFile(dest), "new");
    EXPECT_FALSE(fs::exists(t.file("a b'\"é.pdf")));
    // Without a name the buffer stays the folder; a missing source fails with ENOENT.
    writeFile(t.file("-x.pdf"), "dash");
    std::snprintf(dest, sizeof dest, "%s", t.file("to").c_str());
    ASSERT_TRUE(moveFile(t.file("-x.pdf").c_str(), dest, sizeof dest, nullptr));
    EXPECT_EQ(std::string(dest), t.file("to"));
    EXPECT_EQ(readFile(t.file("to/-x.pdf")), "dash");
    EXPECT_FALSE(moveFile(t.file("gone.pdf").c_str(), dest, sizeof dest, "gone.pdf"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(HotfolderFiles, MoveAcrossFileSystemsLeavesNoClaimOrTemporaryFile) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    struct stat a {
    }, b{};
    TempDir t;
    ::stat(t.path().c_str(), &a);
    ::stat("/dev/shm", &b);
    if (a.st_dev == b.st_dev) GTEST_SKIP() << "one file system";
    std::string target = "/dev/shm/vexa-move-test-" + std::to_string(::getpid()) + ".pdf";
    writeFile(target, "old");
    std::string data(300000, 'q');
    writeFile(t.file("in.pdf"), data);
    ASSERT_TRUE(moveFileReplace(t.file("in.pdf").c_str(), target.c_str()));
    EXPECT_EQ(readFile(target), data);
    EXPECT_TRUE(fs::is_empty(t.path()));
    for (auto& e : fs::directory_iterator("/dev/shm"))
        EXPECT_EQ(e.path().filename().string().find(".vexa-move."), std::string::npos);
    // Back again, onto a folder that cannot take it: the file stays where it was.
    EXPECT_FALSE(moveFileReplace(target.c_str(), (t.path() / "no/such/folder.pdf").c_str()));
    EXPECT_EQ(readFile(target), data);
    EXPECT_TRUE(fs::is_empty(t.path()));
    fs::remove(target);

    // A long copy ticks every 8 MB, so that the mover can keep its lease fresh.
    std::string big(17u << 20, 'b');
    writeFile(t.file("big.pdf"), big);
    int ticks = 0;
    CopyTicker ticker;
    ticker.proc = [](void* n) { ++*static_cast<int*>(n); };
    ticker.data = &ticks;
    ASSERT_TRUE(moveFileReplace(t.file("big.pdf").c_str(), target.c_str(), nullptr, &ticker));
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(fs::file_size(target), big.size());
    fs::remove(target);
}

TEST(HotfolderFiles, PathPiecesAndFolders) {
    char p[64] = "/a/b/c.pdf";
    getFolder(p);
    EXPECT_STREQ(p, "/a/b");
    char q[64] = "/a";
    getFolder(q);
    EXPECT_STREQ(q, "/");
    char name[64];
    getFileName("/a/b/c.d.pdf", name, sizeof name, true);
    EXPECT_STREQ(name, "c.d.pdf");
    getFileName("/a/b/c.d.pdf", name, sizeof name, false);
    EXPECT_STREQ(name, "c.d");
    getFileName("/a/.hidden", name, sizeof name, false);
    EXPECT_STREQ(name, ".hidden");
    TempDir t;
    EXPECT_TRUE(makeDir(t.file("x/y z/w").c_str()));
    EXPECT_TRUE(makeDir(t.file("x/y z/w").c_str()));
    writeFile(t.file("file"), "");
    EXPECT_FALSE(makeDir(t.file("file/sub").c_str()));
    std::string tag, original;
    EXPECT_TRUE(isClaimName(".vexa-claim.0badf00d-123-456-7.a.b.pdf", &tag, &original));
    EXPECT_EQ(tag, "0badf00d-123-456-7");
    EXPECT_EQ(original, "a.b.pdf");
    EXPECT_FALSE(isClaimName(".vexa-claim.x", &tag, &original));
    EXPECT_FALSE(isClaimName("vexa-claim.x.a.pdf", &tag, &original));
}

TEST(HotfolderFiles, FolderListingsAndFileKindsTakeLinksAsLinks) {
    TempDir t;
    writeFile(t.file("a.pdf"), "12345");
    fs::create_directory(t.path() / "sub");
    fs::create_symlink(t.file("a.pdf"), t.path() / "link.pdf");
    fs::create_symlink(t.file("none"), t.path() / "dangling");
    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(t.path().string(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.pdf", "dangling", "link.pdf", "sub"}));
    EXPECT_FALSE(listFolder(t.file("none"), names));
    // Only a file of its own counts as one to take; a link or a folder stays.
    EXPECT_EQ(plainFileSize(t.file("a.pdf")), 5);
    EXPECT_EQ(plainFileSize(t.file("link.pdf")), -1);
    EXPECT_EQ(plainFileSize(t.file("sub")), -1);
    EXPECT_EQ(plainFileSize(t.file("none")), -1);
    // A dangling link still holds its name.
    EXPECT_TRUE(pathExists(t.file("dangling")));
    EXPECT_FALSE(pathExists(t.file("none")));
    // The stamp changes with the file and is empty without one.
    std::string before = fileStamp(t.file("a.pdf"));
    EXPECT_EQ(before.substr(0, 2), "5:");
    writeFile(t.file("a.pdf"), "123456");
    EXPECT_NE(fileStamp(t.file("a.pdf")), before);
    EXPECT_EQ(fileStamp(t.file("none")), "");
    EXPECT_EQ(fileChangedAt(t.file("none")), 0);
    EXPECT_GT(fileChangedAt(t.file("a.pdf")), 0);
}

TEST(HotfolderFiles, AFailureKeepsItsCauseAndAWriterKeepsItsFile) {
    TempDir t;
    EXPECT_FALSE(renameFile(t.file("none"), t.file("other")));
    OsError e = lastOsError();
    EXPECT_TRUE(e.missing());
    EXPECT_FALSE(e.barsFolder());
    EXPECT_FALSE(e.text().empty());
    deleteFile(t.file("none"));  // later calls leave the kept error as it was
    EXPECT_TRUE(e.missing());
    EXPECT_TRUE(OsError{ENOSPC}.barsFolder());
    EXPECT_TRUE(OsError{EACCES}.barsFolder());
    EXPECT_FALSE(OsError{ENOSPC}.missing());
    EXPECT_FALSE(signalName(SIGSEGV).empty());

    // A file another process writes under a lock stays; a free one goes.
    writeFile(t.file(".out.pdf.abcdef"), "part");
    writeFile(t.file(".out.pdf.ghijkl"), "left");
    int fd = ::open(t.file(".out.pdf.abcdef").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
    EXPECT_FALSE(deleteUnlessWriteLocked(t.file(".out.pdf.abcdef")));
    EXPECT_TRUE(deleteUnlessWriteLocked(t.file(".out.pdf.ghijkl")));
    EXPECT_TRUE(fs::exists(t.file(".out.pdf.abcdef")));
    EXPECT_FALSE(fs::exists(t.file(".out.pdf.ghijkl")));
    ::close(fd);

    // Appending creates the file for the user alone.
    ASSERT_TRUE(appendToFile(t.file("report").c_str(), "a\n"));
    ASSERT_TRUE(appendToFile(t.file("report").c_str(), "b\n"));
    EXPECT_EQ(readFile(t.file("report")), "a\nb\n");
    EXPECT_EQ(fs::status(t.file("report")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(appendToFile(t.file("none/report").c_str(), "x"));
}

TEST(HotfolderFiles, ThePDFTestWantsSizeHeaderAndEOFNearTheEnd) {
    TempDir t;
    writeFile(t.file("512"), pdfLike(512));
    writeFile(t.file("513"), pdfLike(513));
    writeFile(t.file("tail11"), pdfLike(2000, "%%EOF" + std::string(11, ' ')));
    writeFile(t.file("tail12"), pdfLike(2000, "%%EOF" + std::string(12, ' ')));
    writeFile(t.file("nohead"), "%PDX" + pdfLike(2000).substr(4));
    EXPECT_FALSE(looksLikePDF(t.file("512").c_str()));
    EXPECT_TRUE(looksLikePDF(t.file("513").c_str()));
    EXPECT_TRUE(looksLikePDF(t.file("tail11").c_str()));
    EXPECT_FALSE(looksLikePDF(t.file("tail12").c_str()));
    EXPECT_FALSE(looksLikePDF(t.file("nohead").c_str()));
    EXPECT_FALSE(looksLikePDF(t.file("missing").c_str()));
}

TEST(HotfolderFiles, BusyWhileOpenForWritingChangingOrYoung) {
    TempDir t;
    std::string f = t.file("f.pdf");
    writeFile(f, "data");
    FileSeen seen;
    EXPECT_TRUE(isFileBusy(f.c_str(), 5, &seen));  // modified just now
    EXPECT_FALSE(isFileBusy(f.c_str(), 0, &seen));
    writeFile(f, "more data");
    EXPECT_TRUE(isFileBusy(f.c_str(), 0, &seen));  // changed since the previous look
    EXPECT_FALSE(isFileBusy(f.c_str(), 0, &seen));

    // Another process writing it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        FILE* w = std::fopen(f.c_str(), "ab");
        char c = 1;
        if (::write(ready[1], &c, 1) != 1) ::_exit(1);
        ::sleep(30);
        std::fclose(w);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_TRUE(isOpenForWriting(f.c_str()));
    EXPECT_TRUE(isFileBusy(f.c_str(), 0, &seen));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_FALSE(isOpenForWriting(f.c_str()));
    // A reader does not make it busy.
    FILE* r = std::fopen(f.c_str(), "rb");
    EXPECT_FALSE(isOpenForWriting(f.c_str()));
    std::fclose(r);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(HotfolderJobs, ChildJobsReportExitCrashAndTimeOut) {
    JobResult r = runJobInChild([](void*) -> ASInt32 { return 3; }, nullptr, 5);
    EXPECT_EQ(r.end, kJobExited);
    EXPECT_EQ(r.status, 3);
    r = runJobInChild([](void*) -> ASInt32 { return 9999; }, nullptr, 5);
    EXPECT_EQ(r.status, 250);
    // (abort, not a segmentation fault: the address sanitizer turns that into an exit)
    r = runJobInChild(
        [](void*) -> ASInt32 {
            std::abort();
            return 0;
        },
        nullptr, 5);
    EXPECT_EQ(r.end, kJobCrashed);
    EXPECT_EQ(r.status, SIGABRT);
    r = runJobInChild(
        [](void*) -> ASInt32 {
            ::sleep(30);
            return 0;
        },
        nullptr, 1);
    EXPECT_EQ(r.end, kJobTimedOut);
    EXPECT_LT(r.seconds, 5.0);
    // A job spinning on the CPU is stopped too.
    r = runJobInChild(
        [](void*) -> ASInt32 {
            for (;;) asm volatile("");
        },
        nullptr, 1);
    EXPECT_EQ(r.end, kJobTimedOut);
}

namespace {

// Sets the file's modification time to secondsAgo before now (negative: ahead).
void setAge(const std::string& path, double secondsAgo) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    int64_t t = static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec -
                static_cast<int64_t>(secondsAgo * 1e9);
    timespec times[2] = {{t / 1000000000LL, t % 1000000000LL},
                         {t / 1000000000LL, t % 1000000000LL}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(HotfolderFiles, SettledByItsOwnTimeThenByWhatTheLooksSaw) {
    TempDir t;
    std::string f = t.file("f.pdf");
    writeFile(f, "data");
    setAge(f, 10);
    FileSeen seen;
    EXPECT_FALSE(isFileBusy(f.c_str(), 2, &seen));  // first look: 10 s as it is
    // A copy that keeps the source's old time, still growing: its time does not vouch
    // for it any more once a look saw it change.
    writeFile(f, "more data");
    setAge(f, 10);
    EXPECT_TRUE(isFileBusy(f.c_str(), 2, &seen));
    EXPECT_TRUE(isFileBusy(f.c_str(), 2, &seen));  // unchanged, but only for a moment
    seen.since -= 2000000000LL;                    // as if the next look came 2 s later
    EXPECT_FALSE(isFileBusy(f.c_str(), 2, &seen));

    // A writer whose clock is an hour ahead: taken once it was seen unchanged long enough.
    std::string g = t.file("g.pdf");
    writeFile(g, "data");
    setAge(g, -3600);
    FileSeen ahead;
    EXPECT_TRUE(isFileBusy(g.c_str(), 2, &ahead));
    ahead.since -= 1000000000LL;
    EXPECT_TRUE(isFileBusy(g.c_str(), 2, &ahead));
    ahead.since -= 1000000000LL;
    EXPECT_FALSE(isFileBusy(g.c_str(), 2, &ahead));
    // Delay 0: no settling time, but a change since the previous look still waits.
    FileSeen none;
    EXPECT_FALSE(isFileBusy(g.c_str(), 0, &none));
    writeFile(g, "changed");
    EXPECT_TRUE(isFileBusy(g.c_str(), 0, &none));
    EXPECT_FALSE(isFileBusy(g.c_str(), 0, &none));
}

class Hotfolder : public ::testing::Test {
  protected:
    void SetUp() override {
        setupPrefs();
        setupDump(1);
        logPath_ = (host_.home() / "Documents" / "Orvanta" / "Vexa.txt").string();
    }
    void TearDown() override {
        ui::setEscapePending(false);
        ui::setModalDriver(nullptr);
        ui::clearChooserAnswers();
        setLogMode(0);
        setEHMode(kEHUnset);
    }
    std::string log() const { return fs::exists(logPath_) ? readFile(logPath_) : ""; }
    // Entry 1 with its folders In1, Done1 and Out1 in t, polled without delay.
    void entryOne(const TempDir& t) {
        for (const char* f : {"In1", "Done1", "Out1"}) {
            fs::create_directory(t.path() / f);
            gPrefs.set("Hotfolder", f, t.file(f).c_str());
        }
        gPrefs.set("Hotfolder", "Delay", "0");
    }
    std::string pref(const char* key) {
        char v[512] = "";
        gPrefs.get("Hotfolder", key, v, sizeof v);
        return v;
    }
    vexa::test::SettingsTestHost host_;
    std::string logPath_;
};

}  // namespace

TEST_F(Hotfolder, StartupListingMarksMissingFolders) {
    TempDir t;
    setupHotfolder();
    EXPECT_NE(log().find("Hotfolder 1:\n"), std::string::npos);
    gPrefs.set("Hotfolder", "In1", t.path().c_str());
    gPrefs.set("Hotfolder", "In2", "/no/such/folder");
    setupHotfolder();
    std::string expect = "Hotfolder 1:\t" + t.path().string() +
                         "\nHotfolder 2:\t/no/such/folder\t####\tnot found!\nHotfolder 3:\n";
    EXPECT_NE(log().find(expect), std::string::npos) << log();
    EXPECT_EQ(hotfolderValue("In", 2).size(), 15u);
    EXPECT_EQ(hotfolderValue("Out", 2), "");
}

TEST_F(Hotfolder, PollTakesEveryFileSkipsHiddenAndKeepsNonPDFInDone) {
    TempDir t;
    entryOne(t);
    writeFile(t.file("In1/.hidden.pdf"), pdfLike(600));
    writeFile(t.file("In1/a.txt"), "text");
    writeFile(t.file("In1/b.pdf"), pdfLike(512));
    fs::create_directory(t.path() / "In1" / "sub");
    pollHotfolders();
    EXPECT_TRUE(fs::exists(t.file("Done1/a.txt")));
    EXPECT_TRUE(fs::exists(t.file("Done1/b.pdf")));  // 512 bytes: no PDF file, stays
    EXPECT_TRUE(fs::exists(t.file("In1/.hidden.pdf")));
    EXPECT_TRUE(fs::is_directory(t.file("In1/sub")));
    EXPECT_FALSE(fs::exists(t.path() / "Err"));
    std::string l = log();
    EXPECT_EQ(std::count(l.begin(), l.end(), '!'), 2) << l;  // two "no PDF file!" lines
    EXPECT_NE(l.find("\t####\tno PDF file!\n"), std::string::npos);
    EXPECT_EQ(l.find(".hidden"), std::string::npos);
    // A PDF without a template: an error, the file goes on to "Err".
    writeFile(t.file("In1/c.pdf"), pdfLike(2000));
    pollHotfolders();
    EXPECT_TRUE(fs::exists(t.file("Err/c.pdf")));
    EXPECT_NE(log().find("\t####\tno template (T1)\n"), std::string::npos);
    EXPECT_EQ(setEHMode(kEHAlert), kEHAlert);  // the run gave the mode back
}

TEST_F(Hotfolder, DialogAddsEntriesAndRewritesTheSectionOnOK) {
    TempDir t;
    gPrefs.set("Hotfolder", "In1", t.file("base/In1").c_str());
    gPrefs.set("Hotfolder", "Out1", t.file("base/Out1").c_str());
    gPrefs.set("Hotfolder", "Done1", t.file("base/Done1").c_str());
    gPrefs.set("Hotfolder", "T1", "/t/template.pdf");
    gPrefs.set("Hotfolder", "B1", "K");
    gPrefs.set("Hotfolder", "P1", "C");
    gPrefs.set("Hotfolder", "D1", "3");
    gPrefs.set("Hotfolder", "Delay", "7");
    gPrefs.set("Hotfolder", "TimeLimit", "42");
    setDlgUnits(3);
    ui::setModalDriver([](ui::Window& w) {
        ui::press(ui::findControl(&w, "12"));  // Add: entry 2 beside entry 1
        ui::setText(ui::findControl(&w, "26"), "1.5");
        ui::press(ui::findControl(&w, "1"));
    });
    doHotfolderDlg();
    EXPECT_EQ(pref("In2"), t.file("base/In2"));
    EXPECT_EQ(pref("Out2"), t.file("base/Out2"));
    EXPECT_EQ(pref("Done2"), t.file("base/Done2"));
    EXPECT_EQ(pref("T2"), "/t/template.pdf");
    EXPECT_EQ(pref("B2"), "K");
    EXPECT_EQ(pref("P2"), "C");
    EXPECT_EQ(pref("D2"), "1.50");
    EXPECT_EQ(pref("B1"), "K");
    EXPECT_EQ(pref("D1"), "3.00");
    EXPECT_EQ(pref("Delay"), "");        // the section holds only the entries ...
    EXPECT_EQ(pref("TimeLimit"), "42");  // ... and the service's time limit
    for (const char* f : {"In1", "Out1", "Done1", "In2", "Out2", "Done2"})
        EXPECT_TRUE(fs::is_directory(t.path() / "base" / f)) << f;

    // Remove entry 1 and confirm: entry 2 becomes entry 1.
    ui::setModalDriver([](ui::Window& w) {
        ui::press(ui::findControl(&w, "11"));
        ui::press(ui::findControl(&w, "1"));
    });
    doHotfolderDlg();
    EXPECT_EQ(pref("In1"), t.file("base/In2"));
    EXPECT_EQ(pref("In2"), "");

    // Cancel changes nothing; Add without an entry asks for a base folder.
    ui::queueChooserAnswer(t.file("other"));
    ui::setModalDriver([](ui::Window& w) {
        ui::press(ui::findControl(&w, "11"));
        ui::press(ui::findControl(&w, "12"));
        ui::press(ui::findControl(&w, "2"));
    });
    doHotfolderDlg();
    EXPECT_EQ(pref("In1"), t.file("base/In2"));
}

TEST_F(Hotfolder, AClaimLeftByADeadProcessGetsItsNameBack) {
    TempDir t;
    fs::create_directory(t.path() / "In1");
    gPrefs.set("Hotfolder", "In1", t.file("In1").c_str());
    pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ProcessIdentity gone = selfIdentity();
    gone.pid = dead;
    gone.start = processStartTime(dead) + 1;  // whatever the pid is now, not that process
    ::waitpid(dead, nullptr, 0);
    ProcessIdentity other = selfIdentity();
    other.host = "another-machine";
    std::string claim = ".vexa-claim." + processTag(gone) + ".x.pdf";
    std::string live = ".vexa-claim." + processTag(selfIdentity()) + ".y.pdf";
    std::string foreign = ".vexa-claim." + processTag(other) + ".z.pdf";
    writeFile(t.file("In1/" + claim), "x");
    writeFile(t.file("In1/" + live), "y");
    writeFile(t.file("In1/" + foreign), "z");
    pollHotfolders();  // no done folder: nothing can be taken
    EXPECT_EQ(readFile(t.file("In1/x.pdf")), "x");
    EXPECT_FALSE(fs::exists(t.file("In1/" + claim)));
    EXPECT_TRUE(fs::exists(t.file("In1/" + live)));     // its process is still at work
    EXPECT_TRUE(fs::exists(t.file("In1/" + foreign)));  // not a process of this machine
    EXPECT_NE(log().find("Recovered: " + t.file("In1/x.pdf") + "\n"), std::string::npos);
}

TEST(HotfolderFolders, RealPathsResolveLinksDotsAndSlashes) {
    TempDir t;
    fs::create_directories(t.path() / "a" / "b");
    fs::create_directory_symlink(t.path() / "a", t.path() / "link");
    std::string a = realFolderPath(t.file("a"));
    EXPECT_EQ(realFolderPath(t.file("a/")), a);
    EXPECT_EQ(realFolderPath(t.file("a//b/..")), a);
    EXPECT_EQ(realFolderPath(t.file("link")), a);
    EXPECT_EQ(realFolderPath(t.file("link/b/../")), a);
    // A folder that does not exist yet: its existing part resolved, the rest as written.
    EXPECT_EQ(realFolderPath(t.file("link/new/./x/")), a + "/new/x");
    EXPECT_NE(realFolderPath(t.file("a/b")), a);
}

TEST_F(Hotfolder, EntriesWhoseFoldersWouldDestroyInputAreRefusedOnceAndTakeNothing) {
    TempDir t;
    auto dir = [&](const std::string& name) {
        fs::create_directories(t.path() / name);
        return t.file(name);
    };
    fs::create_directory_symlink(t.path() / "three" / "In", t.path() / "in3-link");
    struct {
        const char* in;
        std::string out, done, tmpl;
        std::string says;
    } entries[] = {
        {"one/In", t.file("one/In/"), dir("one/Done"), "", "the output folder is the input folder"},
        {"two/In", dir("two/Out"), t.file("two/x/../In"), "",
         "the done folder is the input folder"},
        {"three/In", t.file("in3-link"), dir("three/Done"), "",
         "the output folder is the input folder"},
        {"four/In", dir("four/Same"), t.file("four/Same/"), "",
         "the output folder is the done folder"},
        {"Err", dir("five/Out"), dir("Done5"), "", "the folder \"Err\" beside the done folder"},
        {"six/In", dir("six/Out"), dir("six/Done"), t.file("six/In/template.pdf"),
         "the template " + t.file("six/In/template.pdf") + " lies in the input folder"},
    };
    ASInt32 n = 0;
    for (auto& e : entries) {
        ++n;
        std::string k = std::to_string(n);
        gPrefs.set("Hotfolder", ("In" + k).c_str(), dir(e.in).c_str());
        gPrefs.set("Hotfolder", ("Out" + k).c_str(), e.out.c_str());
        gPrefs.set("Hotfolder", ("Done" + k).c_str(), e.done.c_str());
        gPrefs.set("Hotfolder", ("T" + k).c_str(), e.tmpl.c_str());
        writeFile(t.file(std::string(e.in) + "/job.pdf"), pdfLike(2000));
    }
    // A sound entry beside them still works.
    gPrefs.set("Hotfolder", "In7", dir("seven/In").c_str());
    gPrefs.set("Hotfolder", "Done7", dir("seven/Done").c_str());
    writeFile(t.file("seven/In/a.txt"), "text");
    gPrefs.set("Hotfolder", "Delay", "0");
    setupHotfolder();
    pollHotfolders();
    pollHotfolders();
    std::string l = log();
    n = 0;
    for (auto& e : entries) {
        ++n;
        EXPECT_EQ(readFile(t.file(std::string(e.in) + "/job.pdf")), pdfLike(2000)) << n;
        std::string says = "Hot folder " + std::to_string(n) + ": " + e.says;
        // Once in the start-up listing, once by the poll (not at every poll).
        std::size_t first = l.find(says);
        ASSERT_NE(first, std::string::npos) << says << "\n" << l;
        std::size_t second = l.find(says, first + 1);
        ASSERT_NE(second, std::string::npos) << says << "\n" << l;
        EXPECT_EQ(l.find(says, second + 1), std::string::npos) << says << "\n" << l;
    }
    EXPECT_TRUE(fs::exists(t.file("seven/Done/a.txt")));
    EXPECT_EQ(l.find("Processing: " + t.file("one")), std::string::npos);
}

TEST_F(Hotfolder, OnePollTakesEverySettledFileButNoneStillBeingWritten) {
    TempDir t;
    entryOne(t);
    gPrefs.set("Hotfolder", "Delay", "1");
    for (const char* f : {"In1/a.txt", "In1/b.txt", "In1/c.txt"}) {
        writeFile(t.file(f), "text");
        setAge(t.file(f), 5);
    }
    std::string fresh = t.file("In1/fresh.txt");
    writeFile(fresh, "just written");
    std::string copied = t.file("In1/copied.txt");
    writeFile(copied, "chunk 1");
    setAge(copied, -0.5);  // its writer's clock is ahead

    pollHotfolders();
    for (const char* f : {"a.txt", "b.txt", "c.txt"})
        EXPECT_TRUE(fs::exists(t.path() / "Done1" / f)) << f;
    EXPECT_TRUE(fs::exists(fresh));  // modified less than Delay ago
    EXPECT_TRUE(fs::exists(copied));

    // It grows, and its copy puts the source's old time back.
    writeFile(copied, "chunk 1, chunk 2");
    setAge(copied, 5);
    pollHotfolders();
    EXPECT_TRUE(fs::exists(copied)) << "taken while it grew";
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    pollHotfolders();
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_FALSE(fs::exists(copied));
    EXPECT_EQ(readFile(t.file("Done1/copied.txt")), "chunk 1, chunk 2");

    // A stop request of the host ends the walk: nothing more is taken until it is gone.
    for (const char* f : {"In1/d.txt", "In1/e.txt"}) {
        writeFile(t.file(f), "text");
        setAge(t.file(f), 5);
    }
    ui::setEscapePending(true);
    pollHotfolders();
    EXPECT_TRUE(fs::exists(t.file("In1/d.txt")));
    EXPECT_TRUE(fs::exists(t.file("In1/e.txt")));
    ui::setEscapePending(false);
    pollHotfolders();
    EXPECT_FALSE(fs::exists(t.file("In1/d.txt")));
    EXPECT_FALSE(fs::exists(t.file("In1/e.txt")));
}

TEST_F(Hotfolder, NonPdfFilesGoToErrWhenAskedAndAreReported) {
    TempDir t;
    entryOne(t);
    std::string report = t.file("report.txt");
    ::setenv("VEXA_HOTFOLDER_REPORT", report.c_str(), 1);
    writeFile(t.file("In1/kept.txt"), "text");
    pollHotfolders();
    EXPECT_TRUE(fs::exists(t.file("Done1/kept.txt")));  // the default: it stays in done
    gPrefs.set("Hotfolder", "NonPdfToErr", "1");
    writeFile(t.file("In1/moved.txt"), "text");
    pollHotfolders();
    ::unsetenv("VEXA_HOTFOLDER_REPORT");
    EXPECT_TRUE(fs::exists(t.file("Err/moved.txt")));
    EXPECT_FALSE(fs::exists(t.file("Done1/moved.txt")));
    EXPECT_EQ(readFile(report), "nopdf\t" + t.file("Done1/kept.txt") + "\npolled\t\nnopdf\t" +
                                    t.file("Done1/moved.txt") + "\npolled\t\n");
    EXPECT_NE(log().find("\tmoved to Err\n"), std::string::npos);
}

TEST_F(Hotfolder, PathsLongerThan255BytesAreTakenWhole) {
    TempDir t;
    std::string deep = t.path().string();
    while (deep.size() < 400) deep += "/a-rather-long-folder-name-for-a-hot-folder";
    std::string in = deep + "/In1", done = deep + "/Done1";
    fs::create_directories(in);
    gPrefs.set("Hotfolder", "In1", in.c_str());
    gPrefs.set("Hotfolder", "Done1", done.c_str());
    gPrefs.set("Hotfolder", "Delay", "0");
    EXPECT_EQ(hotfolderValue("In", 1), in);
    writeFile(in + "/a.txt", "text");
    setupHotfolder();
    pollHotfolders();
    EXPECT_TRUE(fs::exists(done + "/a.txt"));
    EXPECT_NE(log().find("Hotfolder 1:\t" + in + "\n"), std::string::npos);  // found
}

TEST_F(Hotfolder, TheDialogKeepsValuesAsThePollReadsThemAndRefusesDestructiveFolders) {
    TempDir t;
    for (int n = 1; n <= 3; ++n) {
        std::string k = std::to_string(n);
        gPrefs.set("Hotfolder", ("In" + k).c_str(), t.file("base/In" + k).c_str());
        gPrefs.set("Hotfolder", ("Out" + k).c_str(), t.file("base/Out" + k).c_str());
        gPrefs.set("Hotfolder", ("Done" + k).c_str(), t.file("base/Done" + k).c_str());
    }
    gPrefs.set("Hotfolder", "B1", "X");  // the poll: perfect binding
    gPrefs.set("Hotfolder", "P1", "X");  // the poll: centred
    gPrefs.set("Hotfolder", "B2", "S");  // the poll: saddle stitch
    gPrefs.set("Hotfolder", "P2", "C");
    gPrefs.set("Hotfolder", "Lease", "90");
    static ASInt32 shownBinding, shownAlign;
    ui::setModalDriver([](ui::Window& w) {
        shownBinding = ui::findControl(&w, "24")->value;
        shownAlign = ui::findControl(&w, "25")->value;
        // Entry 1 selected: Add takes the first number whose folders no entry uses.
        ui::press(ui::findControl(&w, "12"));
        ui::press(ui::findControl(&w, "1"));
    });
    doHotfolderDlg();
    EXPECT_EQ(shownBinding, 2);
    EXPECT_EQ(shownAlign, 2);
    EXPECT_EQ(pref("B1"), "X");
    EXPECT_EQ(pref("P1"), "X");
    EXPECT_EQ(pref("B2"), "S");
    EXPECT_EQ(pref("P2"), "C");
    EXPECT_EQ(pref("In4"), t.file("base/In4"));
    EXPECT_EQ(pref("Out4"), t.file("base/Out4"));
    EXPECT_EQ(pref("B4"), "X");  // copied from entry 1
    EXPECT_EQ(pref("Lease"), "90");

    // Changing the popup writes the value of the new choice.
    ui::setModalDriver([](ui::Window& w) {
        ui::pick(ui::findControl(&w, "24"), "1");
        ui::press(ui::findControl(&w, "1"));
    });
    doHotfolderDlg();
    EXPECT_EQ(pref("B1"), "R");
    EXPECT_EQ(pref("P1"), "X");

    // An output folder equal to the input folder: OK shows why and keeps the dialog.
    host_.session().frontEnd().alerts.clear();
    static std::string out2;
    out2 = t.file("base/x/../In2/");
    ui::setModalDriver([](ui::Window& w) {
        ui::pick(ui::findControl(&w, "13"), "2");
        ui::setText(ui::findControl(&w, "16"), out2);
        ui::press(ui::findControl(&w, "1"));
        EXPECT_FALSE(w.ended);
        ui::press(ui::findControl(&w, "2"));
    });
    doHotfolderDlg();
    ASSERT_EQ(host_.session().frontEnd().alerts.size(), 1u);
    EXPECT_EQ(host_.session().frontEnd().alerts[0].request.message,
              "Hot folder 2: the output folder is the input folder (" + t.file("base/In2") +
                  "). Every result would be taken as a new job.");
    EXPECT_EQ(pref("Out2"), t.file("base/Out2"));
}
