#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "settings/MyXML.h"
#include "platform/Platform.h"
#include "SettingsTestHost.h"
#include "TestSupport.h"

using vexa::test::readFile;
using vexa::test::TempDir;
using vexa::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kResources = VEXA_SOURCE_DIR "/plugin/resources";

std::string lookup(const char* key) {
    char out[251];
    return getString(key, out);
}

// The keys of a table: every element name in file order.
std::vector<std::string> keysOf(const std::string& table) {
    std::vector<std::string> keys;
    std::regex open("<([A-Za-z0-9]+)>");
    for (std::sregex_iterator it(table.begin(), table.end(), open), end; it != end; ++it)
        if ((*it)[1] != "strings") keys.push_back((*it)[1]);
    return keys;
}

}  // namespace

TEST(Strings, TheEnglishTableWithItsOddities) {
    vexa::test::SettingsTestHost host;
    EXPECT_EQ(lookup("show"), "Show");
    EXPECT_EQ(lookup("SHOW"), "Show");
    EXPECT_EQ(lookup("position"), "Position\xE2\x80\xA6");
    EXPECT_EQ(lookup("print"), "print");
    EXPECT_EQ(lookup("pagesetup"), "Page setup\xE2\x80\xA6");
    EXPECT_EQ(lookup("saddlestitch"), "Saddle Stich");
    EXPECT_EQ(lookup("versionErr"), "%s is not compatible with this version of Adobe Acrobat!");
    EXPECT_EQ(lookup("mm"), "mm");
    std::string key65(65, 'k');
    EXPECT_EQ(lookup(key65.c_str()), key65);
    char* nodrag = getStringData("nodragdrop");
    EXPECT_NE(std::string(nodrag).find("\"Preferences->Documents->"), std::string::npos);
    std::free(nodrag);
    char* longKey = getStringData("no such key");
    EXPECT_STREQ(longKey, "no such key");
    std::free(longKey);
}

TEST(Strings, TextsAreCutAt250BytesByGetString) {
    vexa::test::SettingsTestHost host;
    std::string table = "<s><long>" + std::string(400, 'x') + "</long></s>";
    setupMyStringsFromText(table.c_str());
    EXPECT_EQ(lookup("long").size(), 250u);
    char* full = getStringData("long");
    EXPECT_EQ(std::string(full).size(), 400u);
    std::free(full);
    cleanupMyStrings();
    EXPECT_EQ(lookup("long"), "long");
}

TEST(Strings, EveryLanguageHoldsEveryKeyOfTheEnglishTable) {
    std::string english = readFile(kResources + "/MyStrings_E.xml");
    std::vector<std::string> keys = keysOf(english);
    ASSERT_GT(keys.size(), 140u);
    for (const char* suffix : {"_D", "_F", "_N"}) {
        std::string table = readFile(kResources + "/MyStrings" + suffix + ".xml");
        for (const std::string& key : keys) {
            char en[251] = "", other[251] = "";
            bool inEnglish = getXMLString(english.c_str(), key.c_str(), en) > 0;
            bool inOther = getXMLString(table.c_str(), key.c_str(), other) > 0;
            EXPECT_EQ(inEnglish, inOther) << suffix << " " << key;
            // Placeholders stay the same, in the same order.
            std::regex ph("%[sd]");
            std::string a, b;
            std::string se(en), so(other);
            for (std::sregex_iterator it(se.begin(), se.end(), ph), e; it != e; ++it)
                a += it->str();
            for (std::sregex_iterator it(so.begin(), so.end(), ph), e; it != e; ++it)
                b += it->str();
            EXPECT_EQ(a, b) << suffix << " " << key;
        }
    }
}

TEST(Strings, ResourcesFallBackFromNeutralToLanguageToEnglish) {
    vexa::test::SettingsTestHost host;
    TempDir dir;
    setenv("VEXA_RESOURCES", dir.path().c_str(), 1);
    writeFile(dir.file("Thing_E.txt"), "english");
    writeFile(dir.file("thing_d.TXT"), "german");
    auto get = [](ASInt32 lang) {
        char* d = getResourceData("Thing", "txt", lang);
        std::string s = d ? d : "<null>";
        std::free(d);
        return s;
    };
    EXPECT_EQ(get(kLangGerman), "german");
    EXPECT_EQ(get(kLangFrench), "english");
    EXPECT_EQ(get(kLangEnglish), "english");
    writeFile(dir.file("Thing.txt"), "neutral");
    EXPECT_EQ(get(kLangGerman), "neutral");
    char* none = getResourceData("Other", "txt", kLangGerman);
    EXPECT_EQ(none, nullptr);
    // No table at all: every text is its key.
    gLanguage = kLangGerman;
    EXPECT_EQ(setupMyStrings(), -1);
    EXPECT_EQ(lookup("show"), "show");
}

TEST(Strings, LanguageChoiceLoadsTheMatchingTable) {
    vexa::test::SettingsTestHost host;
    gLanguage = languageFromCode("DEU");
    ASSERT_EQ(setupMyStrings(), 0);
    EXPECT_EQ(lookup("cancel"), "Abbrechen");
    gLanguage = languageFromCode("FRA");
    setupMyStrings();
    EXPECT_EQ(lookup("cancel"), "Annuler");
    gLanguage = languageFromCode("NLD");
    setupMyStrings();
    EXPECT_EQ(lookup("cancel"), "Annuleren");
    gLanguage = languageFromCode("fra");
    EXPECT_EQ(gLanguage, kLangEnglish);
}

TEST(Strings, HostTextsAndEllipsis) {
    vexa::test::SettingsTestHost host;
    ASText t = stringWithKey("show", true);
    EXPECT_STREQ(asTextGetUTF8(t), "Show\xE2\x80\xA6");
    asTextDestroy(t);
    t = stringWithKey("unknownkey", false);
    EXPECT_STREQ(asTextGetUTF8(t), "unknownkey");
    asTextDestroy(t);
    char buf[16] = "Info";
    EXPECT_STREQ(addEllipsisToString(buf), "Info\xE2\x80\xA6");
}

// Every dialog description parses, has a title and controls, and names only keys the
// English table holds (or the few shown literally).
TEST(Strings, EveryDialogDescriptionNamesOnlyKnownKeys) {
    vexa::test::SettingsTestHost host;
    const std::set<std::string> literal = {
        "pts",         "inch", "mm",  "cm",   "Vexa",  "GroupBoxes", "Plattenformat",
        "positiondlg", "X:",   "Y:",  "H:",   "A:",    "B:",         "dx:",
        "dy:",         "Nr.:", "In:", "Out:", "Done:", "---",        ""};
    const char* names[] = {"ADDFRAMES",     "ADDMARKS",   "ADDPAGES",   "BLEEDING1", "BLEEDING2",
                           "DUPLICATE",     "FRAMENUM",   "GROUPBOXES", "HOTFOLDER", "IMPOSE",
                           "JOBINFO",       "MOVINGMARK", "NEWDOC",     "PAGESIZE",  "PALETTE",
                           "PLATESIZE",     "PREFS",      "SETPOS",     "TEXTFRAME", "TRIMBOX",
                           "MAPSPOTCOLORS", "GETSTRING"};
    std::string table = readFile(kResources + "/MyStrings_E.xml");
    for (const char* name : names) {
        char* desc = getResourceData(name, "xml", kLangEnglish);
        ASSERT_NE(desc, nullptr) << name;
        char* window = getXMLData(desc, "window");
        ASSERT_NE(window, nullptr) << name;
        char title[251] = "", found[251];
        getXMLString(window, "name", title);
        EXPECT_TRUE(literal.count(title) || getXMLString(table.c_str(), title, found) > 0)
            << name << " title " << title;
        std::vector<std::string> keys;
        EnumXMLData(
            window, "control",
            [](const char* data, ASInt32, void* cd) {
                auto* k = static_cast<std::vector<std::string>*>(cd);
                char text[251] = "";
                ASUns32 type = getXMLOSType(data, "type");
                // Edit fields hold literal initial values, not keys.
                if (type != PUI_CODE('e', 't', 'x', 't') && type != PUI_CODE('e', 'u', 't', 'x') &&
                    getXMLString(data, "text", text) > 0)
                    k->push_back(text);
                EnumXMLData(
                    data, "menu", "item",
                    [](const char* item, ASInt32, void* cd2) {
                        char key[251] = "";
                        getXMLString(item, "item", key);
                        static_cast<std::vector<std::string>*>(cd2)->push_back(key);
                        return true;
                    },
                    k);
                return true;
            },
            &keys);
        int controls = 0;
        EnumXMLData(
            window, "control",
            [](const char*, ASInt32, void* cd) {
                ++*static_cast<int*>(cd);
                return true;
            },
            &controls);
        EXPECT_GT(controls, 0) << name;
        for (const std::string& key : keys) {
            char out[251];
            EXPECT_TRUE(literal.count(key) || getXMLString(table.c_str(), key.c_str(), out) > 0)
                << name << " names unknown key \"" << key << "\"";
        }
        // It builds.
        CMyDialog dialog;
        EXPECT_TRUE(dialog.createFromText(name, desc, true)) << name;
        std::free(window);
        std::free(desc);
    }
}

TEST(Strings, ResourcesLiveInTheFolderNamedAfterTheModuleBesideThePlugin) {
    std::string savedPath = gPIPath, savedName = gModuleName;
    const char* over = std::getenv("VEXA_RESOURCES");
    std::string savedOver = over ? over : "";
    unsetenv("VEXA_RESOURCES");
    setPIPath("/opt/host/plug_ins/Imposer.so");
    EXPECT_STREQ(gModuleName, "Imposer");
    EXPECT_EQ(getResourceFolder(), "/opt/host/plug_ins/Imposer");
    setPIPath(VEXA_PLUGIN_DIR "/Vexa.so");
    char* table = getResourceData("mystrings", "XML", kLangEnglish);
    ASSERT_NE(table, nullptr);  // the build copies the resources beside the plug-in
    EXPECT_NE(std::string(table).find("<show>Show</show>"), std::string::npos);
    std::free(table);
    setPIPath(savedPath.c_str());
    std::snprintf(gModuleName, sizeof gModuleName, "%s", savedName.c_str());
    if (over) setenv("VEXA_RESOURCES", savedOver.c_str(), 1);
}

TEST(Strings, PrintfConversionsAreReadByKindAndHostileOnesRefused) {
    std::string k;
    ASSERT_TRUE(printfConversions("Sheet %d%s, 100%% %-5.2f %lu %c", &k));
    EXPECT_EQ(k, "isfli");
    ASSERT_TRUE(printfConversions("no conversions", &k));
    EXPECT_EQ(k, "");
    for (const char* bad : {"%n", "%s%n", "%p", "%*d", "%1$s", "%ls", "%Lf", "%", "%q"})
        EXPECT_FALSE(printfConversions(bad, &k)) << bad;
}

TEST(Strings, ATranslatedTextIsAFormatOnlyWhenItTakesWhatTheEnglishOneTakes) {
    vexa::test::SettingsTestHost host;
    // A table with texts that would read arguments nobody passed (the first one crashed
    // the program), one of the wrong kind, one with %n, and sound ones.
    setupMyStringsFromText(
        "<strings>"
        "<noTemplateStr>%s: this is no %s template!</noTemplateStr>"
        "<versionErr>%d is too new</versionErr>"
        "<kMovingMarks>%n%s</kMovingMarks>"
        "<sheet>Bogen %d%s</sheet>"
        "<ok>100% sure %s%s%s</ok>"
        "</strings>");
    // The English texts stand in.
    EXPECT_EQ(formatStringWithKey("noTemplateStr", "Vexa"), "This is no Vexa-template!");
    EXPECT_EQ(formatStringWithKey("versionErr", "Vexa"),
              "Vexa is not compatible with this version of Adobe Acrobat!");
    EXPECT_EQ(lookup("noTemplateStr"), "This is no %s-template!");
    EXPECT_NE(formatStringWithKey("kMovingMarks", "Vexa").find("earlier version of Vexa."),
              std::string::npos);
    EXPECT_EQ(formatStringWithKey("sheet", 3, "A"), "Bogen 3A");
    // A text the plug-in does not format is shown as it stands; a key missing from the
    // table is the caller's own format.
    EXPECT_EQ(formatStringWithKey("ok", "x"), "100% sure %s%s%s");
    EXPECT_EQ(formatStringWithKey("Error %d while saving", 7), "Error 7 while saving");
    // Message boxes take the same way.
    msgBox("noTemplateStr", "Vexa");
    msgBox("ok");
    ASSERT_EQ(host.session().frontEnd().alerts.size(), 2u);
    EXPECT_EQ(host.session().frontEnd().alerts[0].request.message, "This is no Vexa-template!");
    EXPECT_EQ(host.session().frontEnd().alerts[1].request.message, "100% sure %s%s%s");
    setupMyStrings();
}

TEST(Strings, TheShippedTablesTakeTheArgumentsTheEnglishOneTakes) {
    vexa::test::SettingsTestHost host;
    std::string english = readFile(kResources + "/MyStrings_E.xml");
    for (const char* lang : {"D", "F", "N"}) {
        std::string table = readFile(kResources + "/MyStrings_" + lang + ".xml");
        for (const std::string& key : keysOf(english)) {
            char* e = getXMLData(english.c_str(), key.c_str());
            char* t = getXMLData(table.c_str(), key.c_str());
            std::string ek, tk;
            if (e && t && printfConversions(e, &ek) && ek != "") {
                EXPECT_TRUE(printfConversions(t, &tk) && tk == ek) << lang << " " << key;
            }
            std::free(e);
            std::free(t);
        }
    }
}
