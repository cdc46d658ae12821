// The service's log: followed onto stdout (the journal) and trimmed while jobs append
// to it, without losing or repeating a line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileOps.h"
#include "TestSupport.h"
#include "headless/LogFollower.h"

using vexa::host::LogFollower;
using vexa::test::readFile;
using vexa::test::TempDir;
using vexa::test::writeFile;

namespace {

// What a follower printed, read back from the stream it printed to.
struct Captured {
    FILE* f = std::tmpfile();
    ~Captured() { std::fclose(f); }
    std::string text() {
        std::fflush(f);
        std::string s;
        std::rewind(f);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        return s;
    }
};

void append(const std::string& path, const std::string& text) {
    ASSERT_TRUE(appendLocked(path.c_str(), text.data(), text.size()));
}

}  // namespace

TEST(LogFollower, PrintsWhatArrivesOnceWithJournalPrioritiesForWholeLines) {
    TempDir dir;
    std::string log = dir.file("Vexa.txt");
    writeFile(log, "before the service started\n");
    Captured plain, journal;
    LogFollower a(log, plain.f, false), b(log, journal.f, true);
    append(log, "Processing: /in/a.pdf\n\t####\tno PDF file!\n\twarning: the pages' Trim");
    a.print();
    b.print();
    append(log, "Box differs\n\tsaved: /out/a.pdf\n");
    a.print();
    b.print();
    a.finish();
    b.finish();
    EXPECT_EQ(plain.text(),
              "Processing: /in/a.pdf\n\t####\tno PDF file!\n\twarning: the pages' TrimBox "
              "differs\n\tsaved: /out/a.pdf\n");
    EXPECT_EQ(journal.text(),
              "<6>Processing: /in/a.pdf\n<3>\t####\tno PDF file!\n"
              "<4>\twarning: the pages' TrimBox differs\n<6>\tsaved: /out/a.pdf\n");
}

TEST(LogFollower, TrimsToTheNewestWholeLinesAndGoesOn) {
    TempDir dir;
    std::string log = dir.file("Vexa.txt");
    writeFile(log, "");
    ::chmod(log.c_str(), 0640);
    Captured out;
    LogFollower f(log, out.f, false, 1000, 400);
    std::string all;
    for (int i = 0; i < 60; ++i) {
        std::string line = "line " + std::to_string(i) + " of the log\n";
        append(log, line);
        all += line;
    }
    f.print();
    std::string kept = readFile(log);
    EXPECT_LE(kept.size(), 400u);
    EXPECT_GT(kept.size(), 300u);
    EXPECT_EQ(kept.rfind("line 59 of the log\n"), kept.size() - 19);
    EXPECT_EQ(kept.compare(0, 5, "line "), 0) << kept;  // whole lines only
    EXPECT_EQ(all.substr(all.size() - kept.size()), kept);
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the log's permissions stay
    EXPECT_FALSE(std::filesystem::exists(log + ".trim"));

    append(log, "after the trim\n");
    f.print();
    EXPECT_EQ(out.text(), all + "after the trim\n");  // nothing printed twice
    // A log deleted meanwhile (the plug-in starting anew) is read from its start.
    std::remove(log.c_str());
    append(log, "a new log\n");
    f.print();
    EXPECT_EQ(out.text(), all + "after the trim\na new log\n");
}

TEST(LogFollower, NoLineOfConcurrentWritersIsLostOrRepeatedByTrims) {
    TempDir dir;
    std::string log = dir.file("Vexa.txt");
    writeFile(log, "");
    Captured out;
    LogFollower f(log, out.f, false, 2000, 800);
    constexpr int kWriters = 3, kLines = 400;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < kLines; ++i) {
                std::string line =
                    "writer " + std::to_string(w) + " line " + std::to_string(i) + "\n";
                appendLocked(log.c_str(), line.data(), line.size());
            }
        });
    std::atomic<bool> done = false;
    std::thread follower([&] {
        while (!done) f.print();
    });
    for (auto& t : writers) t.join();
    done = true;
    follower.join();
    f.print();
    std::string text = out.text();
    for (int w = 0; w < kWriters; ++w) {
        std::size_t at = 0;
        for (int i = 0; i < kLines; ++i) {
            std::string line = "writer " + std::to_string(w) + " line " + std::to_string(i) + "\n";
            std::size_t found = text.find(line, at);
            ASSERT_NE(found, std::string::npos) << line << " lost";
            EXPECT_EQ(text.find(line, found + line.size()), std::string::npos) << line << " twice";
            at = found + line.size();
        }
    }
    EXPECT_LE(readFile(log).size(), 2000u);
}
