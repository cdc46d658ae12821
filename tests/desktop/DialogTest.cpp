// Dialog descriptions as real dialogs: every control present, inside its dialog and
// with its text fitting in all four languages, none lying over another; Return,
// Escape and Tab as desktop users expect; a value out of range beeps and keeps the
// dialog with the field focused; the palette shows the selected frame's values and
// leaves the keyboard to the page.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "Common/API.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "StudioFixture.h"
#include "core/Core.h"

using namespace vexa::host;
using vexa::host::desktop::DialogWindow;
using vexa::test::StudioFixture;

namespace {

// The rectangle of a widget in its dialog's coordinates.
QRect inDialog(QWidget* w, QWidget* dialog) {
    return QRect(w->mapTo(dialog, QPoint(0, 0)), w->size());
}

// The width a widget's text needs to show whole.
int needed(QWidget* w) {
    QFontMetrics fm(w->font());
    if (auto* b = qobject_cast<QCheckBox*>(w))
        return fm.horizontalAdvance(b->text()) +
               b->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
               b->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    if (auto* b = qobject_cast<QPushButton*>(w)) return fm.horizontalAdvance(b->text()) + 6;
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap())
        return fm.horizontalAdvance(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) return fm.horizontalAdvance(g->title());
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        int widest = 0;
        for (int i = 0; i < c->count(); ++i)
            widest = std::max(widest, fm.horizontalAdvance(c->itemText(i)));
        return widest + 20;
    }
    return 0;
}

class DialogDescriptions : public StudioFixture {
  protected:
    void SetUp() override {
        start({.loadPlugins = false});
        importHostTables(coreTable());
    }
    void TearDown() override {
        cleanupMyStrings();
        StudioFixture::TearDown();
    }
};

}  // namespace

TEST_F(DialogDescriptions, EveryControlIsThereInsideItsDialogWithItsTextFittingInEveryLanguage) {
    QStringList names = QDir(VEXA_SOURCE_DIR "/plugin/resources").entryList({"*.xml"});
    int checked = 0;
    for (ASInt32 language : {kLangEnglish, kLangGerman, kLangFrench, kLangDutch}) {
        gLanguage = language;
        cleanupMyStrings();
        setupMyStrings();
        for (const QString& file : names) {
            if (file.startsWith("MyStrings")) continue;
            std::string name = file.chopped(4).toStdString();
            bool modal = name != "PALETTE";
            SCOPED_TRACE(name + " in language " + std::to_string(language));
            CMyDialog d;
            ASSERT_TRUE(d.create(name.c_str(), modal));
            ui::Window* w = ui::findWindow(name);
            ASSERT_NE(w, nullptr);
            DialogWindow dialog(fe(), w, &window());
            dialog.show();
            QRect whole = dialog.rect();
            for (auto& owned : w->controls) {
                const ui::Control* c = owned.get();
                QWidget* widget = dialog.widgetFor(c);
                ASSERT_NE(widget, nullptr) << "control " << c->id << " \"" << c->text << "\"";
                QRect r = inDialog(widget, &dialog);
                EXPECT_TRUE(whole.contains(r))
                    << "control " << c->id << " \"" << c->text << "\" at " << r.x() << "," << r.y()
                    << " " << r.width() << "x" << r.height();
                EXPECT_LE(needed(widget), widget->width())
                    << "control " << c->id << " \"" << c->text << "\" is too narrow";
                // No control lies over another of the same container.
                if (c->kind == kPUISeparator || c->kind == kPUIGroupBox) continue;
                for (auto& other : w->controls) {
                    if (other.get() == c || other->parent != c->parent ||
                        other->kind == kPUISeparator || other->kind == kPUIGroupBox)
                        continue;
                    QRect o = inDialog(dialog.widgetFor(other.get()), &dialog);
                    EXPECT_FALSE(r.intersects(o))
                        << "control " << c->id << " \"" << c->text << "\" lies over control "
                        << other->id << " \"" << other->text << "\"";
                }
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 4 * 19);
}

namespace {

// The bundled booklet template with the palette up and the left frame selected.
class PaletteAndDialogs : public StudioFixture {
  protected:
    void SetUp() override {
        start();
        openBooklet(
            "ticks 6\n"
            "click 120mm 175mm\n"
            "ticks 6\n");
    }
    // Acts on the modal dialog that a palette button brings up (from inside its nested
    // event loop) and returns once the dialog was closed. A dialog still up after
    // five seconds is cancelled and fails the test.
    void withDialog(int paletteButton, const std::string& name,
                    const std::function<void(DialogWindow&)>& act) {
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            DialogWindow* d = dialog(name);
            if (seen || !d || !d->isVisible()) return;
            seen = true;
            poll.stop();
            act(*d);
        });
        poll.start(10);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (DialogWindow* d = dialog(name)) QTest::keyClick(d, Qt::Key_Escape);
            ADD_FAILURE() << name << " was still up";
        });
        guard.start(5000);
        auto* button = control<QPushButton>("PALETTE", paletteButton);
        ASSERT_NE(button, nullptr);
        button->click();
        EXPECT_TRUE(seen) << name << " did not come up";
    }
};

}  // namespace

TEST_F(PaletteAndDialogs, ThePaletteShowsTheSelectedFrameInMillimetres) {
    EXPECT_EQ(control<QLabel>("PALETTE", 22)->text(), "15");
    EXPECT_EQ(control<QLabel>("PALETTE", 23)->text(), "26.5");
    EXPECT_EQ(control<QLabel>("PALETTE", 24)->text(), "210");
    EXPECT_EQ(control<QLabel>("PALETTE", 25)->text(), "297");
    EXPECT_TRUE(control<QPushButton>("PALETTE", 5)->isEnabled());  // rotate needs a selection
    run("click 445mm 345mm\nticks 6");
    EXPECT_FALSE(control<QPushButton>("PALETTE", 5)->isEnabled());
    EXPECT_EQ(control<QLabel>("PALETTE", 24)->text(), "450");
}

TEST_F(PaletteAndDialogs, ThePaletteLeavesTheKeyboardToThePage) {
    window().activateWindow();
    pageView()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    auto* box = control<QCheckBox>("PALETTE", 12);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    EXPECT_EQ(control<QCheckBox>("PALETTE", 12)->isChecked(), true);
    EXPECT_TRUE(waitFor([&] { return QApplication::focusWidget() == pageView(); }));
    EXPECT_TRUE(dialog("PALETTE")->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(dialog("PALETTE")->windowFlags() & Qt::Tool);
}

TEST_F(PaletteAndDialogs, ReturnTabAndEscapeActAsOnAnyDesktopDialog) {
    // Escape cancels: no marks are added.
    // The template has cut marks around both frames already.
    std::string before = frameBoxes();
    withDialog(4, "ADDMARKS", [](DialogWindow& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    EXPECT_EQ(frameBoxes(), before);

    // Tab follows the description's order; Return presses OK.
    withDialog(4, "ADDMARKS", [](DialogWindow& d) {
        auto* distance = d.findChild<QLineEdit*>("control-4");
        auto* length = d.findChild<QLineEdit*>("control-6");
        distance->setFocus();
        QTest::keyClick(distance, Qt::Key_Tab);
        EXPECT_EQ(d.focusWidget(), length);
        QTest::keyClick(length, Qt::Key_Return);
    });
    // Cut marks at the selected frame's four corners, two arms each.
    EXPECT_EQ(frameBoxes(), before + " -4 -4 -4 -4 -4 -4 -4 -4");
}

TEST_F(PaletteAndDialogs, AValueOutOfRangeBeepsAndKeepsTheDialogWithTheFieldFocused) {
    int beeps = fe().beeps;
    std::string before = frameBoxes();
    withDialog(4, "ADDMARKS", [&](DialogWindow& d) {
        auto* distance = d.findChild<QLineEdit*>("control-4");
        distance->setFocus();
        distance->selectAll();
        QTest::keyClicks(distance, "500 mm");
        QTest::keyClick(distance, Qt::Key_Return);
        // Still up, the field focused and its text selected for typing over.
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(fe().beeps, beeps + 1);
        EXPECT_EQ(d.focusWidget(), distance);
        EXPECT_EQ(distance->selectedText(), "500 mm");
        QTest::keyClicks(distance, "2 mm");
        QTest::keyClick(distance, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(frameBoxes(), before + " -4 -4 -4 -4 -4 -4 -4 -4");
}
