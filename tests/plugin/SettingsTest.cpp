#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/MySettings.h"
#include "settings/MyStrings.h"
#include "platform/Platform.h"
#include "PlatformUIHFT.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::TempDir;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

std::string textOf(const CMySettings& s) {
    return s.getText() ? s.getText() : "";
}

std::string getValue(const CMySettings& s, const char* section, const char* key) {
    char buf[256] = "untouched";
    s.get(section, key, buf, sizeof buf);
    return buf;
}

void touchLater(const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
}

struct Pair {
    std::string key, value;
};

std::vector<Pair> enumerate(const CMySettings& s, const char* section, size_t stopAfter = 100) {
    struct Ctx {
        std::vector<Pair> out;
        size_t stopAfter;
    } ctx{{}, stopAfter};
    s.enumSection(
        section,
        [](const char* k, const char* v, void* cd) {
            auto* c = static_cast<Ctx*>(cd);
            c->out.push_back({k, v});
            return c->out.size() < c->stopAfter;
        },
        &ctx);
    return ctx.out;
}

}  // namespace

TEST(Settings, LineEndsOfTheFileAreKeptThroughSetAndSave) {
    TempDir dir;
    for (std::string le : {"\r\n", "\n", "\r"}) {
        std::string path = dir.file("le.ini");
        writeFile(path, "[A]" + le + "x=1" + le + "[B]" + le + "y=2" + le);
        CMySettings s;
        ASSERT_EQ(s.setupWithPath(path.c_str()), 0);
        EXPECT_STREQ(s.getLineEnd(), le.c_str());
        EXPECT_EQ(getValue(s, "A", "x"), "1");
        EXPECT_EQ(getValue(s, "B", "y"), "2");
        ASSERT_EQ(s.set("A", "z", "3"), 0);
        ASSERT_EQ(s.set("C", "w", "4"), 0);
        s.save();
        EXPECT_EQ(readFile(path), "[A]" + le + "z=3" + le + "x=1" + le + "[B]" + le + "y=2" + le +
                                      le + "[C]" + le + "w=4" + le);
        // The in-memory form is unchanged by saving.
        EXPECT_EQ(getValue(s, "C", "w"), "4");
        EXPECT_EQ(textOf(s).find('\n'), std::string::npos);
    }
}

TEST(Settings, KeysAreFoundOnlyInTheirSectionAndAtLineStartExactly) {
    CMySettings s;
    std::string text = "[A]\ra=1\r[B]\rk=2\rKey = 3\rcase=4\r";
    ASSERT_EQ(s.setup(text.c_str(), static_cast<ASInt32>(text.size()), 0), 0);
    char buf[16] = "default";
    EXPECT_EQ(s.get("A", "k", buf, sizeof buf), -1);
    EXPECT_STREQ(buf, "default");
    EXPECT_EQ(s.get("B", "k", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "2");
    EXPECT_EQ(s.get("B", "Key", buf, sizeof buf), -1);
    EXPECT_EQ(s.get("B", "CASE", buf, sizeof buf), -1);
    EXPECT_EQ(s.get("b", "k", buf, sizeof buf), -1);
    EXPECT_EQ(s.get("C", "k", buf, sizeof buf), -1);
    // A value is cut to capacity - 1 bytes.
    s.set("B", "long", "abcdefghij");
    char small[5];
    EXPECT_EQ(s.get("B", "long", small, sizeof small), 4);
    EXPECT_STREQ(small, "abcd");
}

TEST(Settings, AKeyTheFileHoldsTwiceReadsBackWhatWasSet) {
    // Hand-edited files repeat keys; the first one counts, so a set replaces them all.
    for (const char* text : {"[A]\rk=1\rx=2\rk=3\r", "[A]\rk=1\r[B]\ry=0\r", "[A]\rk=v\rk=3\r"}) {
        CMySettings s;
        ASSERT_EQ(s.setup(text, static_cast<ASInt32>(std::strlen(text)), 0), 0);
        s.set("A", "k", "v");
        char buf[16] = "";
        EXPECT_EQ(s.get("A", "k", buf, sizeof buf), 1) << text;
        EXPECT_STREQ(buf, "v") << text;
        s.remove("A", "k");
        EXPECT_EQ(s.get("A", "k", buf, sizeof buf), -1) << text;
    }
}

TEST(Settings, NumbersWithDefaultsSignsAndEmptyValues) {
    CMySettings s(0);
    s.set("N", "neg", "-42x");
    s.set("N", "empty", "");
    s.set("N", "word", "abc");
    s.set("N", "int", 7);
    s.set("N", "f", "2.5000");
    EXPECT_EQ(s.get("N", "neg", 5), -42);
    EXPECT_EQ(s.get("N", "empty", 5), 5);
    EXPECT_EQ(s.get("N", "missing", 5), 5);
    EXPECT_EQ(s.get("N", "word", 5), 0);
    EXPECT_EQ(s.get("N", "int", 0), 7);
    EXPECT_FLOAT_EQ(s.getfloat("N", "f", 0), 2.5f);
    EXPECT_FLOAT_EQ(s.getfloat("N", "empty", 1.5f), 1.5f);
}

TEST(Settings, ChangedKeysMoveToTheTopOfTheirSectionExceptInTheLastSection) {
    CMySettings s;
    std::string text = "[A]\ra=1\rb=2\r[B]\rc=3\rd=4\r";
    s.setup(text.c_str(), static_cast<ASInt32>(text.size()), 0);
    s.set("A", "b", "5");
    EXPECT_EQ(textOf(s), "[A]\rb=5\ra=1\r[B]\rc=3\rd=4\r");
    s.set("B", "c", "6");
    EXPECT_EQ(textOf(s), "[A]\rb=5\ra=1\r[B]\rd=4\rc=6\r");
    // The last section without a final line end gets one first.
    CMySettings t;
    std::string noEnd = "[A]\ra=1";
    t.setup(noEnd.c_str(), static_cast<ASInt32>(noEnd.size()), 0);
    t.set("A", "b", "2");
    EXPECT_EQ(textOf(t), "[A]\ra=1\rb=2\r");
}

TEST(Settings, ANewSectionOnAnEmptyFileDropsTheLeadingEmptyLineOnSave) {
    TempDir dir;
    std::string path = dir.file("empty.ini");
    writeFile(path, "");
    CMySettings s;
    s.setupWithPath(path.c_str());
    s.set("S", "k", "v");
    EXPECT_EQ(textOf(s), "\r[S]\rk=v\r");
    s.save();
    EXPECT_EQ(readFile(path), "[S]\nk=v\n");
}

TEST(Settings, RemovingSectionsKeysAndLines) {
    CMySettings s;
    std::string text = "[A]\ra=1\r\r[B]\rb=2\rc=3\r\r[C]\rd=4\r";
    s.setup(text.c_str(), static_cast<ASInt32>(text.size()), 0);
    s.remove("B", "b");
    EXPECT_EQ(textOf(s), "[A]\ra=1\r\r[B]\rc=3\r\r[C]\rd=4\r");
    s.remove("B");
    EXPECT_EQ(textOf(s), "[A]\ra=1\r\r[C]\rd=4\r");
    // The last section: cut at its "[" together with one of the two line ends before.
    s.remove("C");
    EXPECT_EQ(textOf(s), "[A]\ra=1\r");
    s.removeLine(4);
    EXPECT_EQ(textOf(s), "[A]\r");
    s.remove("missing");
    s.remove("A", "missing");
    EXPECT_EQ(textOf(s), "[A]\r");
}

TEST(Settings, RemovingAKeyInACrLfFileTakesBothLineEndBytes) {
    TempDir dir;
    std::string path = dir.file("crlf.ini");
    writeFile(path, "[A]\r\na=1\r\nb=2\r\n");
    CMySettings s;
    s.setupWithPath(path.c_str());
    s.remove("A", "a");
    s.save();
    EXPECT_EQ(readFile(path), "[A]\r\nb=2\r\n");
}

TEST(Settings, EnumerationSkipsEmptyLongAndUnterminatedLines) {
    CMySettings s;
    std::string longLine(300, 'x');
    std::string text = "[P]\r\ra=1\rnoequals\r" + longLine + "=1\rb=x=y\r\r[Q]\rq=1\r";
    s.setup(text.c_str(), static_cast<ASInt32>(text.size()), 0);
    auto pairs = enumerate(s, "P");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].key, "a");
    EXPECT_EQ(pairs[1].key, "b");
    EXPECT_EQ(pairs[1].value, "x=y");
    EXPECT_EQ(enumerate(s, "P", 1).size(), 1u);
    std::string last = "[P]\ra=1\rb=2";
    s.setup(last.c_str(), static_cast<ASInt32>(last.size()), 0);
    EXPECT_EQ(enumerate(s, "P").size(), 1u);
    EXPECT_TRUE(enumerate(s, "none").empty());
}

TEST(Settings, AnOutsideChangeIsNoticedUntilReloadOrSave) {
    TempDir dir;
    std::string path = dir.file("r.ini");
    writeFile(path, "[A]\nx=1\n");
    CMySettings s;
    s.setupWithPath(path.c_str());
    EXPECT_FALSE(s.shallReload());
    writeFile(path, "[A]\nx=2\n");
    touchLater(path);
    EXPECT_TRUE(s.shallReload());
    s.set("A", "y", "unsaved");
    s.reload();
    EXPECT_FALSE(s.shallReload());
    EXPECT_EQ(getValue(s, "A", "x"), "2");
    EXPECT_EQ(getValue(s, "A", "y"), "untouched");
    touchLater(path);
    EXPECT_TRUE(s.shallReload());
    // A save without changes leaves the file (and its outside change) alone.
    std::string outside = readFile(path);
    s.save();
    EXPECT_TRUE(s.shallReload());
    EXPECT_EQ(readFile(path), outside);
    s.set("A", "z", "3");
    s.save();
    EXPECT_FALSE(s.shallReload());
}

TEST(Settings, ASaveWithoutChangesWritesNothing) {
    TempDir dir;
    // Blank lines first and CR line ends: a rewrite would not keep them.
    std::string path = dir.file("same.ini");
    writeFile(path, "\r\n[A]\r\nx=1\r\n");
    CMySettings s;
    s.setupWithPath(path.c_str());
    s.set("A", "x", "1");
    s.remove("B");
    s.save();
    EXPECT_EQ(readFile(path), "\r\n[A]\r\nx=1\r\n");
    // A store on a missing file stays without a file until something is set.
    std::string missing = dir.file("missing.ini");
    CMySettings m;
    m.setupWithPath(missing.c_str());
    m.save();
    EXPECT_FALSE(std::filesystem::exists(missing));
    m.set("A", "x", "1");
    m.save();
    EXPECT_TRUE(std::filesystem::exists(missing));
}

TEST(Settings, AnOversizedFileIsNeitherReadNorOverwritten) {
    TempDir dir;
    std::string path = dir.file("huge.ini");
    std::string huge = "[A]\nx=1\n" + std::string(17u << 20, '#');
    writeFile(path, huge);
    CMySettings s;
    s.setupWithPath(path.c_str());
    EXPECT_EQ(s.get("A", "x", 0), 0);
    s.set("A", "x", "2");
    s.save();
    EXPECT_EQ(fs::file_size(path), huge.size());
}

TEST(Settings, AFileWithAZeroByteRunsOnWhatWasReadAndIsNeverWrittenOver) {
    TempDir dir;
    std::string path = dir.file("nul.ini");
    std::string text = std::string("[A]\nx=1\n[B]\ny=2") + '\0' + "\n[C]\nz=3\n";
    writeFile(path, text);
    CMySettings s;
    s.setupWithPath(path.c_str());
    EXPECT_EQ(s.get("A", "x", 0), 1);
    EXPECT_EQ(s.get("C", "z", 0), 0);  // after the zero byte: not read
    EXPECT_NE(std::string(s.unreadReason()).find("offset 15"), std::string::npos)
        << s.unreadReason();
    s.set("A", "x", "5");
    s.save();
    EXPECT_EQ(readFile(path), text);
    EXPECT_EQ(s.get("A", "x", 0), 5);  // the change lives in memory
    // Mended on disk: read whole again, and saved again.
    writeFile(path, "[A]\nx=1\n");
    touchLater(path);
    s.reload();
    EXPECT_STREQ(s.unreadReason(), "");
    s.set("A", "x", "6");
    s.save();
    EXPECT_EQ(readFile(path), "[A]\nx=6\n");
}

TEST(Settings, PathsGetTheIniExtension) {
    TempDir dir;
    CMySettings s;
    s.setupWithPath(dir.file("name.txt").c_str());
    EXPECT_EQ(std::string(s.getPath()), dir.file("name.ini"));
    s.setupWithPath(dir.file("plain").c_str());
    EXPECT_EQ(std::string(s.getPath()), dir.file("plain.ini"));
}

TEST(Settings, GrowsInStepsAndKeepsEverything) {
    CMySettings s(16);
    for (int i = 0; i < 2000; i++) {
        std::string key = "key" + std::to_string(i);
        ASSERT_EQ(s.set("Big", key.c_str(), std::string(20, 'v').c_str()), 0);
    }
    EXPECT_EQ(enumerate(s, "Big", 5000).size(), 2000u);
    EXPECT_LE(s.getUsed() + 512, s.getCapacity());
}

TEST(Settings, AnEmptyStoreAnswersDefaults) {
    CMySettings s;
    char buf[8] = "keep";
    EXPECT_EQ(s.get("A", "b", buf, sizeof buf), -1);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(s.get("A", "b", 3), 3);
    EXPECT_TRUE(enumerate(s, "A").empty());
    EXPECT_EQ(s.save(), 0);
}

TEST(Settings, MissingFileStartsFromTheDefaultSettingsText) {
    vexa::test::SettingsTestHost host;
    TempDir dir;
    CMySettings s;
    s.setupWithPath(dir.file("missing.ini").c_str());
    EXPECT_EQ(s.get("Hotfolder", "Delay", 0), 2);
    EXPECT_EQ(s.get("General", "DlgUnits", 0), 3);
    // An unwritable path: save writes nothing and still answers 0.
    CMySettings t;
    t.setupWithPath("/nonexistent-folder/x.ini");
    t.set("A", "b", "c");
    EXPECT_EQ(t.save(), 0);
    EXPECT_EQ(getValue(t, "A", "b"), "c");
}

TEST(Settings, OldFileBesideThePluginIsMovedOnlyWhenTheNewOneIsMissing) {
    vexa::test::SettingsTestHost host;
    TempDir plugins;
    std::string oldIni = plugins.file("Vexa.ini");
    writeFile(oldIni, "[General]\nVisible=0\n");
    CMySettings s;
    s.setupWithinAppSupport(plugins.file("Vexa.so").c_str());
    std::string newIni = (host.home() / "config" / "Orvanta" / "Vexa.ini").string();
    EXPECT_EQ(std::string(s.getPath()), newIni);
    EXPECT_FALSE(fs::exists(oldIni));
    EXPECT_EQ(s.get("General", "Visible", 1), 0);
    writeFile(oldIni, "[General]\nVisible=5\n");
    CMySettings t;
    t.setupWithinAppSupport(plugins.file("Vexa.so").c_str());
    EXPECT_TRUE(fs::exists(oldIni));
    EXPECT_EQ(t.get("General", "Visible", 1), 0);
}

TEST(Settings, SectionViewsBuildKeysFromPrefixesAndCodes) {
    CMySettings s(0);
    MySection sec(&s, "Hotfolder");
    sec.setStringForKey("In", 3, "/in");
    sec.setIntegerForKey(PUI_CODE('A', 'b', '1', '2'), 7);
    sec.setIntegerForKey("Delay", 4);
    EXPECT_EQ(getValue(s, "Hotfolder", "In3"), "/in");
    EXPECT_EQ(getValue(s, "Hotfolder", "Ab12"), "7");
    char buf[32];
    EXPECT_EQ(sec.stringForKey("In", 3, buf, sizeof buf), 3);
    EXPECT_EQ(sec.integerForKey(PUI_CODE('A', 'b', '1', '2'), 0), 7);
    EXPECT_EQ(sec.integerForKey("Delay", 0), 4);
    EXPECT_EQ(sec.integerForKey("Missing", 0, 9), 9);
    MySection none;
    EXPECT_EQ(none.integerForKey("x", 1), 1);
}

TEST(SettingsFile, AReaderInAnotherProcessNeverSeesAHalfWrittenFile) {
    // A second hot-folder service reads the file while the first saves it: it must see
    // the old settings or the new ones, whole. A symbolic link to the file stays one.
    TempDir t;
    std::string real = t.file("real.ini");
    std::string link = t.file("Vexa.ini");
    writeFile(real, "[Hotfolder]\nIn 1=/a\n");
    fs::create_symlink(real, link);
    CMySettings s;
    ASSERT_EQ(s.setupWithPath(link.c_str()), 0);
    std::string padding(200, 'x');
    pid_t reader = ::fork();
    if (reader == 0) {
        int bad = 0;
        for (int i = 0; i < 2000; ++i) {
            std::string text = readFile(link);
            if (text.find("In 1=/a") == std::string::npos || text.back() != '\n') ++bad;
        }
        ::_exit(bad == 0 ? 0 : 1);
    }
    for (int i = 0; i < 100; ++i) {
        s.set("Hotfolder", "Pad", (i % 2 ? padding : std::string("y")).c_str());
        s.save();
    }
    int status = 0;
    ::waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(readFile(real).find("Pad=" + padding), std::string::npos);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(t.path()), fs::directory_iterator()), 2);
}
