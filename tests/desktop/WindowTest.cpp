// The main window: progress in the status bar that Escape stops between steps while
// the window takes no other input; the menu bar built from the application model
// with Undo named after the record; a changed document asks before it closes; and the
// window as it looks with the booklet template open and a frame selected, compared
// with a reference picture.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "StudioFixture.h"
#include "core/Core.h"
#include "ui/Ui.h"

using namespace vexa::host;
using vexa::test::StudioFixture;

namespace {

class WindowTest : public StudioFixture {};

QAction* findAction(QWidget* w, const QString& name) {
    return w->findChild<QAction*>(name);
}

}  // namespace

TEST_F(WindowTest, EscapeStopsALongRunBetweenStepsAndTheWindowTakesNoOtherInput) {
    start({.loadPlugins = false});
    ui::setEscapePending(false);
    const AcroViewHFT* av = app::acroViewTable();
    ASClientData data = nullptr;
    ASProgressMonitor pm = av->AVAppGetDocProgressMonitor(&data);
    auto* bar = window().findChild<QProgressBar*>("ProgressBar");
    ASSERT_NE(bar, nullptr);
    int clicks = 0;
    auto* probe = new QPushButton("probe", &window());
    QObject::connect(probe, &QPushButton::clicked, [&] { ++clicks; });
    probe->show();

    pm->beginOperation(data);
    pm->setDuration(20, data);
    EXPECT_TRUE(bar->isVisible());
    int stoppedAt = 0;
    for (int step = 1; step <= 20; ++step) {
        if (step == 3) {
            // The user clicks somewhere and then types Escape while step 3 runs.
            QCoreApplication::postEvent(
                probe, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                probe, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                                       Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                &window(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
        pm->setCurrValue(step, data);
        EXPECT_EQ(bar->value(), step);
        if (ui::escapePending()) {
            stoppedAt = step;
            break;
        }
    }
    pm->endOperation(data);
    EXPECT_EQ(stoppedAt, 3);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(bar->isVisible());
    ui::setEscapePending(false);
    // Afterwards the window takes input again.
    QTest::mouseClick(probe, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(WindowTest, TheMenuBarIsTheModelsWithTheHostsCommandsAndThePlugInsMenu) {
    start();
    QStringList titles;
    for (QAction* a : window().menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, QStringList({"File", "Edit", "View", "Window", "Vexa", "Help"}));
    // Shortcuts as desktop users expect them.
    EXPECT_EQ(findAction(&window(), "item-Studio:Open")->shortcut(),
              QKeySequence(QKeySequence::Open));
    EXPECT_EQ(findAction(&window(), "item-Studio:Save")->shortcut(),
              QKeySequence(QKeySequence::Save));
    EXPECT_EQ(findAction(&window(), "item-Undo")->shortcut(), QKeySequence(QKeySequence::Undo));
    EXPECT_EQ(findAction(&window(), "item-Redo")->shortcut(), QKeySequence("Ctrl+Shift+Z"));
    EXPECT_EQ(findAction(&window(), "item-Studio:ZoomIn")->shortcut(), QKeySequence("Ctrl++"));
    // The plug-in's tool button sits in the Editing toolbar, with its tooltip.
    QAction* tool = findAction(&window(), "button-ORVA:Vexa");
    ASSERT_NE(tool, nullptr);
    EXPECT_FALSE(tool->icon().isNull());
    EXPECT_FALSE(tool->toolTip().isEmpty());

    // A moved frame can be undone from the Edit menu, which names the record.
    openBooklet(
        "click 120mm 175mm\n"
        "press-key right\n");
    window().refresh();
    QAction* undo = findAction(&window(), "item-Undo");
    EXPECT_EQ(undo->text(), "Undo Move");
    EXPECT_EQ(window().windowTitle(), "Booklet_2up_A4.pdf[*] \xE2\x80\x94 Vexa Studio");
    EXPECT_TRUE(window().isWindowModified());
    undo->trigger();
    run("expect-frame 4 rect 42.5197 75.1181 637.7953 917.0079");
    window().refresh();
    EXPECT_EQ(findAction(&window(), "item-Redo")->text(), "Redo Move");
}

TEST_F(WindowTest, AChangedDocumentAsksBeforeItCloses) {
    start();
    openBooklet(
        "click 120mm 175mm\n"
        "press-key right\n");
    AVDoc doc = app().frontDoc();
    auto answer = [&](QMessageBox::StandardButton button, QString* text) {
        QTimer::singleShot(0, [=] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            *text = box->text();
            box->button(button)->click();
        });
    };
    QString asked;
    answer(QMessageBox::Cancel, &asked);
    EXPECT_FALSE(window().closeDocument(doc));
    EXPECT_EQ(asked,
              "Save changes to \xE2\x80\x9C"
              "Booklet_2up_A4.pdf\xE2\x80\x9D before closing?");
    EXPECT_EQ(app().docs().size(), 1u);
    // Quitting asks the same.
    asked.clear();
    answer(QMessageBox::Cancel, &asked);
    EXPECT_FALSE(window().close());
    EXPECT_FALSE(asked.isEmpty());
    asked.clear();
    answer(QMessageBox::Discard, &asked);
    EXPECT_TRUE(window().closeDocument(doc));
    EXPECT_TRUE(app().docs().empty());
    EXPECT_EQ(window().tabs()->count(), 0);
}

// A page rendered for a document that closed meanwhile is dropped, not drawn into a
// view of the closed document (the sanitizer build catches that view being reached).
TEST_F(WindowTest, RenderingsOfAClosedDocumentAreDroppedOnTheirWay) {
    start();
    const std::string booklet = bundledTemplate("Booklet_2up_A4");
    run("open " + booklet + "\nwait-rendered\n");
    // New renderings asked for, and the document closed before they come.
    pageView()->setZoom(pageView()->zoom() * 2);
    pageView()->renderNow();
    ASSERT_TRUE(window().closeDocument(app().frontDoc()));
    for (int waited = 0; fe().renderer().busy() && waited < 5000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCoreApplication::sendPostedEvents();
    QTest::qWait(20);
    EXPECT_EQ(window().tabs()->count(), 0);
    run("open " + booklet + "\nwait-rendered\n");
    EXPECT_EQ(window().tabs()->count(), 1);
}

TEST_F(WindowTest, AFileOpenedAgainAfterItChangedOnDiskShowsItsNewPages) {
    start();
    const std::filesystem::path shown = home() / "shown.pdf";
    const std::filesystem::path other = home() / "other.pdf";
    std::filesystem::copy_file(bundledTemplate("Booklet_2up_A4"), shown);
    vexa::test::writeFile(other.string(), vexa::test::templateFile());
    auto look = [&](const std::filesystem::path& file) {
        run("open " + file.string() + "\nwait-rendered\n");
        QImage shot = pageView()->viewport()->grab().toImage();
        EXPECT_TRUE(window().closeDocument(app().frontDoc()));
        return shot;
    };
    QImage before = look(shown);
    QImage expected = look(other);
    ASSERT_NE(before, expected);
    // The file is replaced by another, as a job imposed again into it is (written beside
    // it and renamed over it).
    std::filesystem::copy_file(other, home() / "shown.tmp");
    std::filesystem::rename(home() / "shown.tmp", shown);
    EXPECT_EQ(look(shown), expected);
}

TEST_F(WindowTest, AFailedSaveKeepsTheDocumentOpenAndSaysWhy) {
    start();
    // A changed document whose folder has gone meanwhile.
    std::filesystem::path folder = home() / "gone";
    std::filesystem::create_directories(folder);
    vexa::test::writeFile((folder / "t.pdf").string(), vexa::test::templateFile());
    run("menu Vexa:show\nticks 6\nopen " + (folder / "t.pdf").string() +
        "\nclick 200 300\npress-key right");
    std::filesystem::remove_all(folder);
    AVDoc doc = app().frontDoc();
    QStringList shown;
    std::function<void()> answer = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shown << box->text() + " | " + box->informativeText();
        // Save at the question, then OK at the message that it failed.
        if (box->button(QMessageBox::Save))
            box->button(QMessageBox::Save)->click();
        else
            box->button(QMessageBox::Ok)->click();
        QTimer::singleShot(0, answer);
    };
    QTimer::singleShot(0, answer);
    EXPECT_FALSE(window().closeDocument(doc));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[1].startsWith("\xE2\x80\x9Ct.pdf\xE2\x80\x9D could not be saved. | "))
        << shown[1].toStdString();
    EXPECT_GT(shown[1].size(), 40) << "the message says why";
    // Nothing is lost: the document is open, still changed.
    ASSERT_EQ(app().docs().size(), 1u);
    window().refresh();
    EXPECT_TRUE(window().isWindowModified());
    run("expect-undo 1 0");
    // Let it go without saving.
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Discard)->click();
    });
    EXPECT_TRUE(window().closeDocument(doc));
}

TEST_F(WindowTest, TheWindowComesBackAsItWasLeft) {
    start();
    std::string ini = desktop::MainWindow::stateFile();
    EXPECT_EQ(ini, (home() / "config" / "Orvanta" / "vexa-studio.ini").string());
    window().restoreState();
    EXPECT_TRUE(window().recentFiles().empty());
    // Eleven files opened: the last ten are listed, newest first.
    for (int i = 1; i <= 11; ++i) {
        std::string f = (home() / ("f" + std::to_string(i) + ".pdf")).string();
        vexa::test::writeFile(f, vexa::test::sourceFile());
        ASSERT_TRUE(window().openFile(f, false));
    }
    ASSERT_EQ(window().recentFiles().size(), 10u);
    EXPECT_EQ(window().recentFiles().front(), (home() / "f11.pdf").string());
    EXPECT_EQ(window().recentFiles().back(), (home() / "f2.pdf").string());
    // Opening one again brings it to the top, once.
    ASSERT_TRUE(window().openFile((home() / "f5.pdf").string(), false));
    EXPECT_EQ(window().recentFiles().front(), (home() / "f5.pdf").string());
    EXPECT_EQ(window().recentFiles().size(), 10u);
    pageView()->setZoom(pageView()->actualSizeZoom() * 1.5);
    window().setGeometry(40, 50, 900, 640);
    QRect geometry = window().geometry();
    ASSERT_TRUE(window().close());

    // The next run: the same size and place, the same list and folder, and a document
    // opened by the user is shown at the zoom of the last.
    restart();
    window().restoreState();
    EXPECT_EQ(window().geometry().size(), geometry.size());
    EXPECT_EQ(window().geometry().topLeft(), geometry.topLeft());
    ASSERT_EQ(window().recentFiles().size(), 10u);
    EXPECT_EQ(window().recentFiles().front(), (home() / "f5.pdf").string());
    EXPECT_EQ(window().lastFolder(), home().string());
    QMenu* file = window().menuBar()->findChild<QMenu*>("menu-File");
    ASSERT_NE(file, nullptr);
    emit file->aboutToShow();
    QMenu* recent = nullptr;
    for (QAction* a : file->actions())
        if (a->menu() && a->menu()->objectName() == "menu-OpenRecent") recent = a->menu();
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->actions().size(), 10);
    EXPECT_EQ(recent->actions().front()->text(), "f5.pdf");
    recent->actions()[1]->trigger();
    ASSERT_EQ(app().docs().size(), 1u);
    EXPECT_EQ(app().frontDoc()->title, "f11.pdf");
    EXPECT_EQ(pageView()->zoomSetting(), "150");
}

// The reference pictures are made by this test when VEXA_UPDATE_REFERENCES is set:
//   VEXA_UPDATE_REFERENCES=1 build/bin/desktop_tests --gtest_filter='*Screenshot*'
TEST_F(WindowTest, ScreenshotOfTheBookletTemplateWithAFrameSelected) {
    start();
    window().resize(1000, 700);
    openBooklet(
        "zoom 50\n"
        "click 120mm 175mm\n"
        "ticks 6\n");
    ASSERT_TRUE(studio().waitRendered());
    // The palette beside the page, where a user would put it.
    dialog("PALETTE")->move(window().geometry().topRight() + QPoint(10, 0));
    QImage shot = studio().screenshot().convertToFormat(QImage::Format_RGB32);
    std::string reference = VEXA_TEST_DATA "/desktop/booklet-selected.png";
    if (std::getenv("VEXA_UPDATE_REFERENCES")) {
        ASSERT_TRUE(shot.save(QString::fromStdString(reference)));
        GTEST_SKIP() << "wrote " << reference;
    }
    QImage want(QString::fromStdString(reference));
    ASSERT_FALSE(want.isNull()) << reference << " is missing";
    want = want.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), want.size());
    // Text may be drawn a little differently from machine to machine: at most 1 % of
    // the pixels may differ, none of them by much more than anti-aliasing would.
    int differing = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            QRgb a = shot.pixel(x, y), b = want.pixel(x, y);
            int d = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b));
            if (d > 48) ++differing;
        }
    EXPECT_LE(differing, shot.width() * shot.height() / 100)
        << differing << " pixels differ; the picture is " << shot.width() << "x" << shot.height();
    // The selected frame is outlined in red where the page shows it.
    AVPageView view = &app().frontDoc()->view;
    AVDevCoord x, y;
    app().pointToDevice(
        view, {static_cast<ASFixed>(42.5197 * 65536), static_cast<ASFixed>(500 * 65536)}, &x, &y);
    QPoint at = pageView()->viewport()->mapTo(&window(), QPoint(x, y));
    QImage grabbed = window().grab().toImage();
    qreal dpr = grabbed.devicePixelRatio();
    bool red = false;
    for (int dx = -1; dx <= 1; ++dx) {
        QColor c = grabbed.pixelColor(static_cast<int>((at.x() + dx) * dpr),
                                      static_cast<int>(at.y() * dpr));
        red |= c.red() > 200 && c.green() < 80 && c.blue() < 80;
    }
    EXPECT_TRUE(red);
}

// The desktop entry starts the program that is built, with the files given, for PDF
// files, with the icon beside it.
TEST(DesktopEntry, StartsTheProgramForPdfFilesWithItsIcon) {
    std::string entry = vexa::test::readFile(VEXA_SOURCE_DIR "/packaging/vexa-studio.desktop");
    ASSERT_FALSE(entry.empty());
    std::map<std::string, std::string> keys;
    std::istringstream in(entry);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "[Desktop Entry]");
    while (std::getline(in, line)) {
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Exec"], "vexa-studio %F");
    EXPECT_TRUE(std::filesystem::exists(VEXA_BIN_DIR "/vexa-studio"));
    EXPECT_NE(keys["MimeType"].find("application/pdf;"), std::string::npos);
    EXPECT_EQ(keys["StartupWMClass"], "vexa-studio");
    std::string icon = vexa::test::readFile(VEXA_SOURCE_DIR "/packaging/" + keys["Icon"] + ".svg");
    EXPECT_NE(icon.find("<svg"), std::string::npos);
    EXPECT_NE(icon.find("viewBox"), std::string::npos);
}

namespace {

// A screenshot stacks the windows as a window manager does: a dialog the user answers
// is drawn over the palette it covers, not under it.
TEST_F(WindowTest, AScreenshotShowsTheDialogOverThePalette) {
    start();
    window().resize(1000, 680);
    openBooklet();
    // The palette where the preferences will come up, over the middle of the window.
    auto* palette = dialog("PALETTE");
    palette->move(window().geometry().center() - QPoint(palette->width() / 2, 150));
    // Counted while the dialog is up: pixels where the two windows overlap and differ,
    // taken in the screenshot from the dialog or from the palette.
    static int fromTop, fromUnder, overlapping;
    fromTop = fromUnder = overlapping = 0;
    vexa::host::registerScriptCommand("count-stacking", "count-stacking", [this](auto&, auto&) {
        QImage shot = studio().screenshot().convertToFormat(QImage::Format_RGB32);
        auto* prefs = dialog("PREFS");
        auto* palette = dialog("PALETTE");
        QRect overlap = palette->geometry() & prefs->geometry();
        overlapping = overlap.width() * overlap.height();
        QRect area = window().frameGeometry().united(palette->frameGeometry());
        area = area.united(prefs->frameGeometry());
        QImage top = prefs->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QImage under = palette->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = overlap.top(); y <= overlap.bottom(); ++y)
            for (int x = overlap.left(); x <= overlap.right(); ++x) {
                QRgb s = shot.pixel(x - area.left(), y - area.top());
                QRgb t = top.pixel(QPoint(x, y) - prefs->geometry().topLeft());
                QRgb u = under.pixel(QPoint(x, y) - palette->geometry().topLeft());
                if (t == u) continue;
                fromTop += s == t;
                fromUnder += s == u;
            }
    });
    run("menu Vexa:preferences\n  expect-dialog PREFS\n  count-stacking\n  press cancel\n");
    EXPECT_GT(overlapping, 1000);
    EXPECT_GT(fromTop, 100);
    EXPECT_EQ(fromUnder, 0);
}

TEST_F(WindowTest, ANewSheetIsUntitledInTheWindowsLanguage) {
    start({.language = "FRA"});
    // The palette's "Nouveau…" (1), width 5 and height 7, OK.
    run("menu Vexa:show\nticks 6\npress 1\n  set 5 \"300 mm\"\n  set 7 \"200 mm\"\n  press ok\n"
        "ticks 6\n");
    ASSERT_EQ(window().tabs()->count(), 1);
    EXPECT_TRUE(window().tabs()->tabText(0).startsWith("Sans titre"))
        << window().tabs()->tabText(0).toStdString();
    EXPECT_TRUE(window().windowTitle().startsWith("Sans titre"))
        << window().windowTitle().toStdString();
}

}  // namespace
