#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/App.h"
#include "core/Core.h"

using namespace vexa::host;
using app::Application;

namespace {

// Each record holds a value it swaps with the "document" value, the way a snapshot
// swaps page contents: Undo and Redo are the same operation.
int gValue = 0;
std::vector<std::string> gLog;
bool gFailNext = false;
bool gNestedNew = false;
bool gCloseOnSwap = false;

struct Record {
    int held;
};

const AcroViewHFT* T() {
    return app::acroViewTable();
}

ASBool canAny(AVUndo u) {
    return T()->AVUndoGetData(u) != nullptr;
}
void swapProc(AVUndo u);
void releaseProc(AVUndo u) {
    auto* r = static_cast<Record*>(T()->AVUndoGetData(u));
    gLog.push_back("release " + std::to_string(r ? r->held : -1));
    delete r;
    T()->AVUndoSetData(u, nullptr);
}

AVUndoHandler gHandler = {sizeof(AVUndoHandler),
                          "Test",
                          canAny,
                          canAny,
                          swapProc,
                          swapProc,
                          nullptr,
                          nullptr,
                          releaseProc};

void swapProc(AVUndo u) {
    if (gFailNext) {
        gFailNext = false;
        vexa::host::raise(genErrGeneral);
    }
    if (gCloseOnSwap) T()->AVDocClose(T()->AVUndoGetAVDoc(u), true);
    if (gNestedNew) T()->AVUndoNew(T()->AVUndoGetAVDoc(u), &gHandler, new Record{99});
    auto* r = static_cast<Record*>(T()->AVUndoGetData(u));
    std::swap(r->held, gValue);
    gLog.push_back("swap " + std::to_string(gValue));
}

struct UndoTest : ::testing::Test {
    Application app{true};
    AVDoc doc = nullptr;
    void SetUp() override {
        gValue = 0;
        gLog.clear();
        gFailNext = gNestedNew = gCloseOnSwap = false;
        doc = app.openDoc(nullptr, "doc");
    }
    // An edit: the record keeps the value before it.
    void edit(int to) {
        ASSERT_NE(T()->AVUndoNew(doc, &gHandler, new Record{gValue}), nullptr);
        gValue = to;
    }
    bool menu(const char* name) { return app.executeMenuItem(app.findMenuItem(name)); }
    bool enabled(const char* name) { return T()->AVMenuItemIsEnabled(app.findMenuItem(name)); }
};

TEST_F(UndoTest, EditMenuUndoesAndRedoesBySwapping) {
    EXPECT_FALSE(enabled("Undo"));
    EXPECT_FALSE(enabled("Redo"));
    edit(1);
    edit(2);
    EXPECT_TRUE(enabled("Undo"));
    EXPECT_TRUE(menu("Undo"));
    EXPECT_EQ(gValue, 1);
    EXPECT_TRUE(menu("Undo"));
    EXPECT_EQ(gValue, 0);
    EXPECT_FALSE(menu("Undo"));  // nothing left: the item is disabled
    EXPECT_TRUE(menu("Redo"));
    EXPECT_EQ(gValue, 1);
    EXPECT_TRUE(menu("Redo"));
    EXPECT_EQ(gValue, 2);
    EXPECT_FALSE(enabled("Redo"));
    EXPECT_EQ(T()->AVDocGetNumUndos(doc), 2);
    EXPECT_STREQ(T()->AVUndoGetType(doc->undo.records[0]), "Test");
    EXPECT_TRUE(gLog.size() == 4u);  // nothing released yet
}

TEST_F(UndoTest, ANewEditReleasesWhatCouldBeRedoneAndClosingReleasesTheRest) {
    edit(1);
    edit(2);
    edit(3);
    app.undo(doc);
    app.undo(doc);  // value 1; records holding 1 -> 2 and 2 -> 3 can be redone
    gLog.clear();
    edit(7);
    EXPECT_EQ(gLog.size(), 2u);
    EXPECT_EQ(T()->AVDocGetNumRedos(doc), 0);
    EXPECT_EQ(T()->AVDocGetNumUndos(doc), 2);
    gLog.clear();
    app.closeDoc(doc, true);
    // Newest first, each once.
    EXPECT_EQ(gLog, (std::vector<std::string>{"release 1", "release 0"}));
}

TEST_F(UndoTest, TheStackKeepsItsLimitByReleasingTheOldest) {
    app.undoLimit = 3;
    for (int i = 1; i <= 5; ++i) edit(i);
    EXPECT_EQ(T()->AVDocGetNumUndos(doc), 3);
    EXPECT_EQ(gLog, (std::vector<std::string>{"release 0", "release 1"}));
    while (app.undo(doc)) {
    }
    EXPECT_EQ(gValue, 2);
}

TEST_F(UndoTest, FailuresAndRecordsMadeWhileUndoingLeaveTheStackIntact) {
    edit(1);
    gFailNext = true;
    EXPECT_FALSE(app.undo(doc));
    EXPECT_EQ(gValue, 1);
    EXPECT_EQ(T()->AVDocGetNumUndos(doc), 1);
    gNestedNew = true;
    EXPECT_TRUE(app.undo(doc));
    EXPECT_EQ(gValue, 0);
    // The record made inside Undo was released at once, and Redo is still possible.
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "release 99"), gLog.end());
    EXPECT_EQ(T()->AVDocGetNumRedos(doc), 1);
    gNestedNew = false;
    EXPECT_TRUE(app.redo(doc));
    EXPECT_EQ(gValue, 1);
    // A record whose data is gone cannot be undone.
    T()->AVDocClearUndos(doc);
    EXPECT_FALSE(app.canUndo(doc));
    AVUndo empty = T()->AVUndoNew(doc, &gHandler, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(enabled("Undo"));
    EXPECT_THROW(T()->AVUndoNew(nullptr, &gHandler, nullptr), ASException);
    EXPECT_THROW(T()->AVUndoNew(reinterpret_cast<AVDoc>(&gValue), &gHandler, nullptr), ASException);
}

TEST_F(UndoTest, AnUndoThatClosesItsDocumentReleasesEveryRecordOnce) {
    edit(1);
    edit(2);
    gCloseOnSwap = true;
    EXPECT_TRUE(app.undo(doc));
    EXPECT_EQ(app.docs().size(), 0u);
    EXPECT_EQ(std::count_if(gLog.begin(), gLog.end(),
                            [](const std::string& s) { return s.rfind("release", 0) == 0; }),
              2);
}

TEST_F(UndoTest, EachDocumentHasItsOwnStack) {
    edit(1);
    AVDoc other = app.openDoc(nullptr, "other");
    EXPECT_EQ(app.frontDoc(), other);
    EXPECT_FALSE(enabled("Undo"));  // the Edit menu acts on the front document
    app.setFrontDoc(doc);
    EXPECT_TRUE(menu("Undo"));
    EXPECT_EQ(gValue, 0);
}

}  // namespace
