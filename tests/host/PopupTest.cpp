#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/App.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using app::Application;

namespace {

const AcroViewHFT* T() {
    return app::acroViewTable();
}

struct FixedChooser : app::PopupChooser {
    std::vector<int> answer;
    std::vector<app::PopupEntry> seen;
    std::vector<int> choose(const std::vector<app::PopupEntry>& menu, AVDevCoord,
                            AVDevCoord) override {
        seen = menu;
        return answer;
    }
};

ASBool never(ASClientData) {
    return false;
}

TEST(Popup, TheChosenPathLeadsToTheItem) {
    Application app(true);
    AVMenu menu = T()->AVMenuNew("", "ctx", nullptr);
    AVMenu sub = T()->AVMenuNew("Save optimized", "ctx:sub", nullptr);
    AVMenuItem frames =
        T()->AVMenuItemNew("Frames\xE2\x80\xA6", "f", nullptr, false, 0, 0, nullptr);
    AVMenuItem sep = T()->AVMenuItemNew("-", "s", nullptr, false, 0, 0, nullptr);
    AVMenuItem off = T()->AVMenuItemNew("Off", "o", nullptr, false, 0, 0, nullptr);
    T()->AVMenuItemSetComputeEnabledProc(off, never, nullptr);
    AVMenuItem subItem = T()->AVMenuItemNew("Save optimized", "si", sub, false, 0, 0, nullptr);
    AVMenuItem web = T()->AVMenuItemNew("Web", "w", nullptr, false, 0, 0, nullptr);
    for (AVMenuItem i : {frames, sep, off, subItem}) T()->AVMenuAddMenuItem(menu, i, -1);
    T()->AVMenuAddMenuItem(sub, web, -1);

    // Without a chooser (no user) nothing is chosen, but the menu was shown.
    EXPECT_EQ(T()->AVMenuDoPopUp(menu, nullptr, 5, 5), nullptr);
    ASSERT_EQ(app.lastPopup.size(), 4u);
    EXPECT_EQ(app.lastPopup[3].submenu.at(0).title, "Web");

    FixedChooser c;
    app.popupChooser = &c;
    c.answer = {0};
    EXPECT_EQ(T()->AVMenuDoPopUp(menu, nullptr, 5, 5), frames);
    c.answer = {3, 0};
    EXPECT_EQ(T()->AVMenuDoPopUp(menu, nullptr, 5, 5), web);
    // Separators, disabled items, the submenu itself and paths that lead nowhere choose
    // nothing.
    for (std::vector<int> a : {std::vector<int>{1}, {2}, {3}, {4}, {0, 0}, {-1}, {}}) {
        c.answer = a;
        EXPECT_EQ(T()->AVMenuDoPopUp(menu, nullptr, 5, 5), nullptr);
    }
    EXPECT_THROW(T()->AVMenuDoPopUp(nullptr, nullptr, 0, 0), ASException);
}

TEST(Popup, ReleasedPopUpMenusAreFreed) {
    Application app(true);
    std::size_t base = app.menuCount();
    for (int round = 0; round < 20; ++round) {
        AVMenu menu = T()->AVMenuNew("", "ctx", nullptr);
        AVMenu sub = T()->AVMenuNew("Sub", "ctx:sub", nullptr);
        AVMenuItem a = T()->AVMenuItemNew("A", "a", nullptr, false, 0, 0, nullptr);
        AVMenuItem s = T()->AVMenuItemNew("Sub", "s", sub, false, 0, 0, nullptr);
        AVMenuItem b = T()->AVMenuItemNew("B", "b", nullptr, false, 0, 0, nullptr);
        T()->AVMenuAddMenuItem(menu, a, -1);
        T()->AVMenuAddMenuItem(menu, s, -1);
        T()->AVMenuAddMenuItem(sub, b, -1);
        for (AVMenuItem i : {a, s, b}) T()->AVMenuItemRelease(i);
        T()->AVMenuDoPopUp(menu, nullptr, 0, 0);
        T()->AVMenuRelease(sub);
        T()->AVMenuRelease(menu);
    }
    EXPECT_LE(app.menuCount(), base + 2);  // only the last menu and its submenu remain
    // A menu still held is kept.
    AVMenu held = T()->AVMenuNew("", "held", nullptr);
    T()->AVMenuDoPopUp(held, nullptr, 0, 0);
    T()->AVMenuDoPopUp(held, nullptr, 0, 0);
    EXPECT_EQ(T()->AVMenuGetNumMenuItems(held), 0);
    EXPECT_EQ(app.lastPopup.size(), 0u);
}

TEST(Optimizer, PresetsAreListedWithTheirParameters) {
    Application app(true);
    ASSERT_EQ(T()->AVAppGetNumOptimizerPresets(), 3);
    char name[32];
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        T()->AVAppGetOptimizerPresetName(i, name, sizeof name);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Standard", "Smallest", "Web"}));
    AVOptimizerParamsRec p{sizeof p, 0, 0, nullptr};
    EXPECT_TRUE(T()->AVGetOptimizerParamsForPreset("Smallest", nullptr, &p));
    EXPECT_TRUE(p.flags & AVOptRecompressFlate);
    EXPECT_EQ(p.compressionLevel, 9);
    EXPECT_FALSE(T()->AVGetOptimizerParamsForPreset("Tiny", nullptr, &p));
    EXPECT_THROW(T()->AVAppGetOptimizerPresetName(3, name, sizeof name), ASException);
}

std::string run(const std::string& cmd) {
    std::string out;
    FILE* f = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!f) return out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) out += buf;
    int rc = ::pclose(f);
    return out + "\nexit " + std::to_string(WEXITSTATUS(rc));
}

TEST(Optimizer, EachPresetWritesACheckedCopyAndLeavesTheDocumentAlone) {
    registerHostTables();
    vexa::test::TempDir dir;
    std::string src = std::string(VEXA_CORPUS_DIR) + "/files/pdfjs__type4psfunc.pdf";
    ASSERT_TRUE(std::filesystem::exists(src));
    Application app(true);
    app::useDocumentEngine(app);
    AVDoc doc = app.openDoc(app.documentHooks.openDoc(src.c_str()), "in.pdf");
    std::uintmax_t sizes[3] = {};
    for (int i = 0; i < 3; ++i) {
        char name[32];
        T()->AVAppGetOptimizerPresetName(i, name, sizeof name);
        SCOPED_TRACE(name);
        std::string out = dir.file(std::string("Job_") + name + "_O.pdf");
        AVOptimizerParamsRec p{sizeof p, 0, 0, nullptr};
        ASSERT_TRUE(T()->AVGetOptimizerParamsForPreset(name, doc, &p));
        p.newPath = out.c_str();
        T()->AVDocSaveOptimized(doc, &p);
        sizes[i] = std::filesystem::file_size(out);
        std::string check = run("qpdf --check '" + out + "'");
        EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
        std::string lin = run("qpdf --check-linearization '" + out + "'");
        bool linear = lin.find("no linearization errors") != std::string::npos;
        EXPECT_EQ(linear, std::string(name) == "Web") << lin;
        // An older copy is replaced.
        T()->AVDocSaveOptimized(doc, &p);
    }
    EXPECT_LE(sizes[1], sizes[0]);
    // The document still refers to its own file.
    char path[1024];
    doc::pdModelTable()->PDDocGetPath(doc->pdDoc, path, sizeof path);
    EXPECT_EQ(std::filesystem::path(path).filename(), "pdfjs__type4psfunc.pdf");
    // Failures: no target, a missing folder; nothing is left behind.
    AVOptimizerParamsRec p{sizeof p, 0, 0, nullptr};
    T()->AVGetOptimizerParamsForPreset("Smallest", doc, &p);
    EXPECT_THROW(T()->AVDocSaveOptimized(doc, &p), ASException);
    std::string missing = dir.file("no/such/dir/x.pdf");
    p.newPath = missing.c_str();
    EXPECT_THROW(T()->AVDocSaveOptimized(doc, &p), ASException);
    std::size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 3u);
    app.closeDoc(doc, true);
}

}  // namespace
