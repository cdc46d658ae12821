// Editing a template with the mouse and the keyboard: Undo and Redo in the Edit menu
// named after what was done, with their shortcuts, restoring the page the change was
// made on; and the tool's pop-up menu as a real menu at the pointer.
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include "StudioFixture.h"
#include "core/Core.h"
#include "desktop/Thumbnails.h"

using namespace vexa::host;
using vexa::test::StudioFixture;
namespace fs = std::filesystem;

namespace {

class EditTest : public StudioFixture {
  protected:
    // The palette up (the tool active) and a two-sheet template open.
    void openTemplate() {
        start();
        vexa::test::writeFile(file("template.pdf"), vexa::test::templateFile());
        run("menu Vexa:show\nticks 6\nopen " + file("template.pdf") + "\nticks 6");
    }
    QAction* action(const char* name) {
        window().refresh();
        return window().findChild<QAction*>(name);
    }
    // A secondary click at the point: the items of the menu that comes up (a "-"
    // marks a disabled one) and the one chosen by its text ("" chooses nothing).
    QStringList rightClick(QPoint p, const QString& choose) {
        QStringList items;
        QPoint global = pageView()->viewport()->mapToGlobal(p);
        popupAction([&](QMenu* menu) {
            QAction* pick = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator()) continue;
                items << (a->isEnabled() ? "" : "-") + a->text();
                if (a->text() == choose) pick = a;
            }
            // Where the pointer is, unless the screen's edge is in the way.
            QRect room = menu->screen()->availableGeometry();
            if (room.contains(QRect(global, menu->size()))) {
                EXPECT_LE((menu->geometry().topLeft() - global).manhattanLength(), 2);
            }
            if (pick) pick->trigger();
        });
        QTest::mouseClick(pageView()->viewport(), Qt::RightButton, Qt::NoModifier, p);
        EXPECT_FALSE(items.isEmpty()) << "no pop-up menu came";
        return items;
    }
    // Acts on the pop-up menu when it comes up (then closes it); gives up after 5 s.
    static void popupAction(std::function<void(QMenu*)> act) {
        auto tries = std::make_shared<int>(0);
        auto look = std::make_shared<std::function<void()>>();
        *look = [tries, look, act] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || menu->objectName() != "PopupMenu") {
                if (++*tries < 500)
                    QTimer::singleShot(10, *look);
                else
                    *look = nullptr;
                return;
            }
            act(menu);
            menu->close();
            *look = nullptr;  // ends the cycle of references
        };
        QTimer::singleShot(0, *look);
    }
};

TEST_F(EditTest, UndoAndRedoAreNamedAfterWhatWasDoneAndRestoreThePage) {
    openTemplate();
    // The shortcuts are the active window's.
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    EXPECT_FALSE(action("item-Undo")->isEnabled());
    run("click 200 300");  // a press and a release, as the window system posts them
    run("expect-selected 1");
    QTest::keyClick(pageView(), Qt::Key_Right);
    EXPECT_EQ(action("item-Undo")->text(), "Undo Move");
    EXPECT_TRUE(action("item-Undo")->isEnabled());
    run("expect-undo 1 0");
    // Ctrl+Z on the window: the frame is back and still selected, drawn there at once.
    QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier);
    run("expect-undo 0 1\n"
        "expect-frame 1 rect 40 40 400 555\n"
        "expect-selected 1\n"
        "expect-drawn rect 40 40 400 555 red");
    EXPECT_EQ(action("item-Redo")->text(), "Redo Move");
    EXPECT_EQ(action("item-Undo")->text(), "Undo");
    EXPECT_FALSE(action("item-Undo")->isEnabled());
    // Ctrl+Shift+Z moves it again.
    QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    run("expect-undo 1 0");
    std::string moved = frameBoxes();
    EXPECT_EQ(moved, "1");
    EXPECT_EQ(action("item-Undo")->text(), "Undo Move");

    // A change made on the second sheet, undone while the first is shown: Undo turns
    // the view to the sheet it changes.
    run("page 2\nclick 200 300\npress-key delete\npage 1\nexpect-page 1");
    EXPECT_EQ(action("item-Undo")->text(), "Undo Delete");
    QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier);
    run("expect-page 2\nexpect-frames 3");
}

TEST_F(EditTest, ThumbnailsShowEverySheetAndFollowItsEdits) {
    openTemplate();
    window().showThumbnails(true);
    desktop::Thumbnails* thumbs = window().thumbnails();
    ASSERT_EQ(thumbs->count(), 2);
    EXPECT_EQ(thumbs->item(1)->text(), "2");
    ASSERT_TRUE(waitFor([&] { return thumbs->upToDate(); }));
    // A sheet's picture: white paper with the frame's outline, on a transparent square.
    QImage first = thumbs->item(0)->icon().pixmap(desktop::Thumbnails::kSize).toImage();
    QColor middle = first.pixelColor(first.width() / 2, first.height() / 2);
    EXPECT_GT(middle.lightness(), 200);
    EXPECT_EQ(first.pixelColor(0, 0).alpha(), 0);
    // A click goes to the page; the list follows the page shown.
    QRect second = thumbs->visualItemRect(thumbs->item(1));
    QTest::mouseClick(thumbs->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    run("expect-page 2");
    QTest::keyClick(pageView(), Qt::Key_Home);
    run("expect-page 1");
    EXPECT_EQ(thumbs->currentRow(), 0);
    QTest::keyClick(pageView(), Qt::Key_End);
    run("expect-page 2");
    EXPECT_EQ(thumbs->currentRow(), 1);
    // An edit renders the edited sheet's thumbnail again (the render may be back
    // before the script returns, so the sheet's revision is what is compared).
    int before = pageView()->pageRevision(1);
    run("click 200 300\npress-key delete");
    EXPECT_NE(pageView()->pageRevision(1), before);
    ASSERT_TRUE(waitFor([&] { return thumbs->upToDate(); }));
    // Hidden, it asks for nothing; the View menu's item says whether it shows.
    window().showThumbnails(false);
    EXPECT_FALSE(action("item-Studio:Thumbnails")->isChecked());
}

TEST_F(EditTest, TheSecondaryClickShowsThePlugInsMenuAtThePointer) {
    openTemplate();
    // On empty sheet space, with no folders for "Save optimized": three items.
    EXPECT_EQ(rightClick(at(600, 300), ""),
              QStringList({"Frames\xE2\x80\xA6", "Text frame", "Marks\xE2\x80\xA6"}));
    // On a frame that is not selected: it is selected alone, and the frame's items.
    EXPECT_EQ(rightClick(at(200, 300), "Rotate"),
              QStringList({"Bleeding\xE2\x80\xA6", "Rotate", "Marks\xE2\x80\xA6"}));
    run("expect-selected 1\nexpect-frame 1 rotation 90\nexpect-undo 1 0");
    EXPECT_EQ(action("item-Undo")->text(), "Undo Rotate");
    // Nothing chosen changes nothing.
    rightClick(at(600, 300), "");
    run("expect-frames 1\nexpect-undo 1 0\nexpect-no-alert");
}

TEST_F(EditTest, SaveOptimizedWritesIntoThePresetsFolder) {
    start({.settings = "[SaveOptimized]\nWeb=${HOME}/out\n"});
    fs::create_directories(home() / "out");
    vexa::test::writeFile(file("Job.pdf"), vexa::test::templateFile());
    vexa::test::writeFile(file("out/Job_O.pdf"), "old");
    run("open " + file("Job.pdf") + "\nbutton ORVA:Vexa\nticks 6");
    QStringList items;
    bool done = false;
    popupAction([&](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            items << a->text();
            if (QMenu* sub = a->menu()) {
                for (QAction* s : sub->actions()) items << ">" + s->text();
                if (!sub->actions().isEmpty()) sub->actions().front()->trigger();
            }
        }
        done = true;
    });
    QTest::mouseClick(pageView()->viewport(), Qt::RightButton, Qt::NoModifier, at(600, 300));
    ASSERT_TRUE(done);
    EXPECT_EQ(items, QStringList({"Frames\xE2\x80\xA6", "Text frame", "Marks\xE2\x80\xA6",
                                  "Save optimized", ">Web"}));
    std::string saved = vexa::test::readFile(file("out/Job_O.pdf"));
    EXPECT_EQ(saved.rfind("%PDF-", 0), 0u) << "the older copy was not replaced";
    // The document is open again, from its own file, with the tool on it.
    ASSERT_EQ(app().docs().size(), 1u);
    EXPECT_EQ(app().frontDoc()->title, "Job.pdf");
    run("expect-no-alert");
}

}  // namespace

namespace {

// The box numbers drawn over the front view, in drawing order.
std::vector<std::string> drawnTexts(app::Application& a) {
    std::vector<std::string> texts;
    for (const app::DrawOp& op : a.frontDoc()->view.vs.drawn)
        if (op.kind == app::DrawOp::Text) texts.push_back(op.text);
    return texts;
}

TEST_F(EditTest, ANumberChangedInADialogShowsAtOnce) {
    start();
    openBooklet(
        "click 120mm 175mm\n"
        "click 330mm 175mm shift\n"
        "ticks 6\n");
    EXPECT_EQ(drawnTexts(app()), (std::vector<std::string>{"4", "1"}));
    // The frame-number dialog changes only the document; what is drawn over the page
    // follows when the dialog has gone.
    run("press-key n shift\n  set \"Frame number\" 7\n  press ok\n");
    EXPECT_EQ(drawnTexts(app()), (std::vector<std::string>{"7", "8"}));
}

}  // namespace
