// Jobs of the hot folder whose worker died: every state a worker can leave a job in,
// for a worker of this machine and one of another machine, and the attempts count.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "Common/ErrorHandling.h"
#include "Sources/HotfolderJobs.h"
#include "Common/Prefs.h"
#include "platform/ProcessId.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::TempDir;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

// An identity of this machine whose process is gone.
ProcessIdentity deadHere() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ProcessIdentity who = selfIdentity();
    who.pid = pid;
    ::waitpid(pid, nullptr, 0);
    who.start = 12345;  // not the start time of whatever may hold the pid now
    return who;
}

std::set<std::string> hiddenIn(const fs::path& dir) {
    std::set<std::string> s;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string()[0] == '.') s.insert(e.path().filename().string());
    return s;
}

class HotfolderRecovery : public ::testing::Test {
  protected:
    void SetUp() override {
        setupPrefs();
        setupDump(1);
        for (const char* f : {"In1", "Done1", "Out1"}) fs::create_directory(t_.path() / f);
    }
    void TearDown() override { setLogMode(0); }
    std::string p(const std::string& name) const { return t_.file(name); }
    std::string log() const {
        std::string path = (host_.home() / "Documents" / "Orvanta" / "Vexa.txt").string();
        return fs::exists(path) ? readFile(path) : "";
    }
    // A record of a job on name by who, in the given state; the file is where that
    // state leaves it.
    JobRecord record(const ProcessIdentity& who, int seq, const std::string& name,
                     const std::string& state) {
        JobRecord r;
        std::string tag = processTag(who) + "-" + std::to_string(seq);
        r.path = p("Done1/.vexa-job." + tag);
        r.owner = who;
        r.state = state;
        r.in = p("In1/" + name);
        r.done = p("Done1/" + name);
        r.out = p("Out1/" + name);
        r.claim = p("Done1/.vexa-taken." + tag);
        r.srcClaim = p("In1/.vexa-claim." + tag + "." + name);
        return r;
    }
    vexa::test::SettingsTestHost host_;
    TempDir t_;
};

}  // namespace

TEST_F(HotfolderRecovery, JobsOfADeadWorkerOfThisMachineAreGivenBackOrFinished) {
    ProcessIdentity dead = deadHere();
    // Taken, not yet renamed to its own name: back into the input folder.
    JobRecord a = record(dead, 1, "a.pdf", "taken");
    writeFile(a.claim, "a");
    // Cut short in its first attempt: back into the input folder, with a marker; the
    // save's leftover goes.
    JobRecord b = record(dead, 2, "b.pdf", "taken");
    writeFile(b.done, "b");
    writeFile(p("Out1/.b.pdf.Xy12Zq"), "half a save");
    // Cut short the second time: "Err".
    JobRecord c = record(dead, 3, "c.pdf", "taken");
    c.attempt = 2;
    writeFile(c.done, "c");
    // Ended with errors (the worker died before moving it on): "Err"; without: done.
    JobRecord d = record(dead, 4, "d.pdf", "ended");
    d.errors = 1;
    writeFile(d.done, "d");
    JobRecord e = record(dead, 5, "e.pdf", "ended");
    writeFile(e.done, "e");
    // Being moved across file systems when it died: the claim beside the input.
    JobRecord f = record(dead, 6, "f.pdf", "taking");
    writeFile(f.srcClaim, "f");
    // Taken back while a new file of the same name arrived: the new one stays, the old
    // one goes to "Err".
    JobRecord g = record(dead, 7, "g.pdf", "taken");
    writeFile(g.claim, "old g");
    writeFile(g.in, "new g");
    // Alive: this process, and a fresh record of another machine.
    JobRecord mine = record(selfIdentity(), 99, "m.pdf", "taken");
    writeFile(mine.done, "m");
    ProcessIdentity other = selfIdentity();
    other.host = "press-room-2";
    JobRecord theirs = record(other, 1, "o.pdf", "taken");
    writeFile(theirs.done, "o");
    for (const JobRecord* r : {&a, &b, &c, &d, &e, &f, &g, &mine, &theirs})
        ASSERT_TRUE(writeJobRecord(*r));
    // A record that cannot be read: removed; the file it had under its hidden name
    // cannot go back and goes to "Err".
    std::string lost = processTag(dead) + "-8";
    writeFile(p("Done1/.vexa-job." + lost), "");
    writeFile(p("Done1/.vexa-taken." + lost), "lost");

    recoverJobs({p("Done1"), p("Done1/")});  // one folder named twice is looked at once

    EXPECT_EQ(readFile(p("In1/a.pdf")), "a");
    EXPECT_EQ(readFile(p("In1/b.pdf")), "b");
    EXPECT_FALSE(fs::exists(p("Out1/.b.pdf.Xy12Zq")));
    EXPECT_EQ(readFile(p("Err/c.pdf")), "c");
    EXPECT_EQ(readFile(p("Err/d.pdf")), "d");
    EXPECT_EQ(readFile(p("Done1/e.pdf")), "e");
    EXPECT_EQ(readFile(p("In1/f.pdf")), "f");
    EXPECT_EQ(readFile(p("In1/g.pdf")), "new g");
    EXPECT_EQ(readFile(p("Err/g.pdf")), "old g");
    EXPECT_EQ(readFile(p("Err/" + lost + ".pdf")), "lost");
    EXPECT_EQ(readFile(p("Done1/m.pdf")), "m");
    EXPECT_EQ(readFile(p("Done1/o.pdf")), "o");
    // Left: the two live records and b's attempts marker.
    std::set<std::string> hidden = hiddenIn(p("Done1"));
    EXPECT_EQ(hidden.size(), 3u);
    EXPECT_TRUE(hidden.count(fs::path(mine.path).filename().string()));
    EXPECT_TRUE(hidden.count(fs::path(theirs.path).filename().string()));
    EXPECT_TRUE(hiddenIn(p("In1")).empty());
    EXPECT_NE(log().find("Recovered: the job of " + b.in + " was cut short"), std::string::npos)
        << log();

    // b taken again counts as its second attempt, and the marker is used up.
    JobClaim claim;
    ASSERT_EQ(claim.take(1, p("In1/b.pdf"), p("Done1"), b.out, 60), kTaken);
    EXPECT_EQ(claim.record().attempt, 2);
    claim.release();
    EXPECT_EQ(hiddenIn(p("Done1")).size(), 2u);
}

TEST_F(HotfolderRecovery, AnotherMachinesJobIsRecoveredOnlyAfterItsLease) {
    ProcessIdentity other = selfIdentity();
    other.host = "press-room-2";
    JobRecord r = record(other, 1, "x.pdf", "taken");
    r.lease = 1;
    writeFile(r.done, "x");
    ASSERT_TRUE(writeJobRecord(r));
    recoverJobs({p("Done1")});
    EXPECT_TRUE(fs::exists(r.path));  // touched just now: its worker may be at work
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    recoverJobs({p("Done1")});
    EXPECT_FALSE(fs::exists(r.path));
    EXPECT_EQ(readFile(p("In1/x.pdf")), "x");
}

TEST_F(HotfolderRecovery, ATakeLeavesARecordThatNamesTheWorkerUntilReleased) {
    writeFile(p("In1/j.pdf"), "job");
    JobClaim claim;
    ASSERT_EQ(claim.take(1, p("In1/j.pdf"), p("Done1/"), p("Out1/j.pdf"), 60), kTaken);
    EXPECT_EQ(claim.donePath(), p("Done1/j.pdf"));
    EXPECT_EQ(readFile(p("Done1/j.pdf")), "job");
    JobRecord r;
    ASSERT_TRUE(readJobRecord(claim.record().path, &r));
    EXPECT_EQ(r.state, "taken");
    EXPECT_EQ(r.owner.pid, ::getpid());
    EXPECT_EQ(r.owner.start, processStartTime(::getpid()));
    EXPECT_EQ(r.owner.boot, selfIdentity().boot);
    EXPECT_FALSE(r.owner.host.empty());
    EXPECT_EQ(r.lease, 60);
    EXPECT_EQ(processTag(r.owner), processTag(selfIdentity()));  // this very process
    claim.ended(2);
    ASSERT_TRUE(readJobRecord(claim.record().path, &r));
    EXPECT_EQ(r.state, "ended");
    EXPECT_EQ(r.errors, 2);
    claim.release();
    EXPECT_TRUE(hiddenIn(p("Done1")).empty());
    // A file another worker took meanwhile.
    JobClaim late;
    EXPECT_EQ(late.take(1, p("In1/j.pdf"), p("Done1"), p("Out1/j.pdf"), 60), kTakenByOther);
    EXPECT_TRUE(late.error().missing());
    EXPECT_TRUE(hiddenIn(p("Done1")).empty());
    // A done folder that cannot hold the record: the file stays, and the cause is told.
    writeFile(p("In1/k.pdf"), "k");
    JobClaim barred;
    EXPECT_EQ(barred.take(1, p("In1/k.pdf"), p("In1/k.pdf/Done"), p("Out1/k.pdf"), 60),
              kTakeFailed);
    EXPECT_NE(barred.error().code, 0);
    EXPECT_FALSE(barred.error().text().empty());
    EXPECT_TRUE(fs::exists(p("In1/k.pdf")));
}
