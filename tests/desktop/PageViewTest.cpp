// The page view: pages shown where the model's coordinate mapping says, at several
// zooms and page rotations; the mouse and the keys reaching the active tool with their
// modifiers; a gesture followed while the button is down; renderings kept per page.
#include <QLabel>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>
#include <QScrollBar>
#include <QTest>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "StudioFixture.h"
#include "desktop/RenderService.h"
#include "desktop/Ruler.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using vexa::test::StudioFixture;

namespace {

// A page of 400 x 300 points turned by `rotate`: a red square at 100..140 x 50..90 and a
// blue one at 300..330 x 200..230 on white.
std::string squaresPdf(int rotate) {
    std::string content = "1 0 0 rg 100 50 40 40 re f 0 0 1 rg 300 200 30 30 re f";
    return vexa::test::pdfFile({"<< /Type /Catalog /Pages 2 0 R >>",
                                "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Rotate " +
                                    std::to_string(rotate) + " /Contents 4 0 R /Resources << >> >>",
                                "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                                    content + "\nendstream"});
}

QColor pixelAt(const QImage& image, AVDevCoord x, AVDevCoord y) {
    qreal dpr = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(x * dpr), static_cast<int>(y * dpr));
}

bool near(const QColor& c, int r, int g, int b) {
    return std::abs(c.red() - r) < 40 && std::abs(c.green() - g) < 40 &&
           std::abs(c.blue() - b) < 40;
}

// A tool that records what reaches it. Its click follows the gesture to its end.
struct Recorded {
    int clicks = 0;
    AVDevCoord x = 0, y = 0;
    ASInt16 flags = -1, clickCount = 0;
    std::vector<std::pair<AVDevCoord, AVDevCoord>> path;
    ASInt16 modifiersAtEnd = -1;
    std::vector<std::pair<ASUns16, ASInt16>> keys;
    bool band = false;
    AVDevRect bandRect{};
};
Recorded gSeen;

ASBool toolClick(AVTool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                 ASInt16 count) {
    auto& a = app::Application::current();
    ++gSeen.clicks;
    gSeen.x = x;
    gSeen.y = y;
    gSeen.flags = flags;
    gSeen.clickCount = count;
    if (gSeen.band) {
        gSeen.bandRect = a.dragRect(view, x, y);
    } else {
        while (a.mouseStillDown()) gSeen.path.push_back({a.mouse().x, a.mouse().y});
    }
    gSeen.modifiersAtEnd = a.mouse().modifiers;
    return true;
}
ASBool toolKey(AVTool, ASUns16 key, ASInt16 flags) {
    gSeen.keys.push_back({key, flags});
    return key != 'z';  // "z" is left to the view
}
ASBool toolCursor(AVTool, AVPageView, AVDevCoord, AVDevCoord) {
    app::Application::current().setCursor(AVCursorCross);
    return true;
}
ASAtom toolType(AVTool) {
    return 77;
}

class PageViewTest : public StudioFixture {
  protected:
    AVDoc openSquares(int rotate) {
        std::string path = dir_.file("squares" + std::to_string(rotate) + ".pdf");
        vexa::test::writeFile(path, squaresPdf(rotate));
        EXPECT_TRUE(window().openFile(path, false));
        return app().frontDoc();
    }
    void useRecordingTool() {
        gSeen = {};
        static AVToolRec rec{};
        rec.size = sizeof rec;
        rec.DoClick = toolClick;
        rec.DoKeyDown = toolKey;
        rec.AdjustCursor = toolCursor;
        rec.GetType = toolType;
        app().setActiveTool(app().registerTool(&rec), true);
    }
    void post(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers mods) {
        QWidget* vp = pageView()->viewport();
        QCoreApplication::postEvent(
            vp, new QMouseEvent(type, QPointF(at), QPointF(vp->mapToGlobal(at)), button, buttons,
                                mods));
    }
    vexa::test::TempDir dir_;
};

}  // namespace

TEST_F(PageViewTest, PagesShowWhereTheMappingPutsThemAtEveryZoomAndRotation) {
    start({.loadPlugins = false});
    for (int rotate : {0, 90, 180, 270}) {
        AVDoc doc = openSquares(rotate);
        AVPageView view = &doc->view;
        for (double zoom : {0.5, 1.0, 1.7}) {
            pageView()->setZoom(zoom);
            ASSERT_TRUE(studio().waitRendered()) << rotate << " " << zoom;
            QImage shot = pageView()->viewport()->grab().toImage();
            auto at = [&](double px, double py) {
                AVDevCoord x, y;
                app().pointToDevice(
                    view, {static_cast<ASFixed>(px * 65536), static_cast<ASFixed>(py * 65536)}, &x,
                    &y);
                return pixelAt(shot, x, y);
            };
            SCOPED_TRACE("rotate " + std::to_string(rotate) + " zoom " + std::to_string(zoom));
            EXPECT_TRUE(near(at(120, 70), 255, 0, 0)) << at(120, 70).name().toStdString();
            EXPECT_TRUE(near(at(315, 215), 0, 0, 255)) << at(315, 215).name().toStdString();
            EXPECT_TRUE(near(at(200, 150), 255, 255, 255)) << at(200, 150).name().toStdString();
            // Device points map back to the page points they came from.
            AVDevCoord x, y;
            app().pointToDevice(view, {120 << 16, 70 << 16}, &x, &y);
            ASFixedPoint back = app().deviceToPoint(view, x, y);
            EXPECT_NEAR(back.h / 65536.0, 120, 1.0 / zoom);
            EXPECT_NEAR(back.v / 65536.0, 70, 1.0 / zoom);
        }
        app().closeDoc(doc, true);
    }
}

TEST_F(PageViewTest, ScrollingMovesTheModelsPagesWithTheWidget) {
    start({.loadPlugins = false});
    AVDoc doc = openSquares(0);
    pageView()->setZoom(4.0);
    AVDevCoord x0, y0, x1, y1;
    pageView()->verticalScrollBar()->setValue(0);
    pageView()->horizontalScrollBar()->setValue(0);
    app().pointToDevice(&doc->view, {120 << 16, 70 << 16}, &x0, &y0);
    pageView()->verticalScrollBar()->setValue(400);
    pageView()->horizontalScrollBar()->setValue(50);
    app().pointToDevice(&doc->view, {120 << 16, 70 << 16}, &x1, &y1);
    EXPECT_EQ(y1, y0 - 400);
    EXPECT_EQ(x1, x0 - 50);
    ASSERT_TRUE(studio().waitRendered());
    QImage shot = pageView()->viewport()->grab().toImage();
    EXPECT_TRUE(near(pixelAt(shot, x1, y1), 255, 0, 0));
}

TEST_F(PageViewTest, CtrlWheelZoomsAroundThePointerWhichTheStatusBarShowsInDialogUnits) {
    start({.loadPlugins = false, .settings = "[General]\nDlgUnits=3\n"});
    AVDoc doc = openSquares(0);
    // Wider and taller than the window, so that nothing is centred.
    pageView()->setZoom(4.0);
    pageView()->horizontalScrollBar()->setValue(500);
    pageView()->verticalScrollBar()->setValue(100);
    // The pointer over the blue square's corner (300, 200).
    AVDevCoord x, y;
    app().pointToDevice(&doc->view, {300 << 16, 200 << 16}, &x, &y);
    QPoint at(x, y);
    auto move = [&](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p),
                      pageView()->viewport()->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(pageView()->viewport(), &e);
    };
    move(at);
    auto* label = window().findChild<QLabel*>("PointerLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "x 105.8 mm  y 70.6 mm");
    for (int notches : {1, 2, -3}) {
        double before = pageView()->zoom();
        QWheelEvent wheel(QPointF(at), pageView()->viewport()->mapToGlobal(QPointF(at)), {},
                          {0, 120 * notches}, Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(pageView()->viewport(), &wheel);
        EXPECT_NEAR(pageView()->zoom(), before * std::pow(1.25, notches), 0.01);
        // The corner stays under the pointer.
        AVDevCoord x2, y2;
        app().pointToDevice(&doc->view, {300 << 16, 200 << 16}, &x2, &y2);
        EXPECT_LE(std::abs(x2 - x), 1) << notches;
        EXPECT_LE(std::abs(y2 - y), 1) << notches;
    }
    // A pinch on a touchpad zooms around the fingers the same way.
    for (double scale : {0.3, -0.2}) {
        double before = pageView()->zoom();
        QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(),
                                  2, QPointF(at), QPointF(at),
                                  pageView()->viewport()->mapToGlobal(QPointF(at)), scale, {}, {});
        QCoreApplication::sendEvent(pageView()->viewport(), &pinch);
        EXPECT_NEAR(pageView()->zoom(), before * (1 + scale), 0.01) << scale;
        AVDevCoord x2, y2;
        app().pointToDevice(&doc->view, {300 << 16, 200 << 16}, &x2, &y2);
        EXPECT_LE(std::abs(x2 - x), 1) << scale;
        EXPECT_LE(std::abs(y2 - y), 1) << scale;
    }
    // Off the page: nothing shown.
    pageView()->horizontalScrollBar()->setValue(0);
    pageView()->verticalScrollBar()->setValue(0);
    move(QPoint(3, 3));
    EXPECT_EQ(label->text(), "");
    EXPECT_EQ(desktop::MainWindow::pointText({72, 36}, 2), "x 1.000 in  y 0.500 in");
    EXPECT_EQ(desktop::MainWindow::pointText({72, 36}, 1), "x 72.0 pt  y 36.0 pt");
}

TEST_F(PageViewTest, RulersMeasureThePageInDialogUnitsAtEveryZoomAndTurn) {
    start({.loadPlugins = false, .settings = "[General]\nDlgUnits=3\n"});
    for (int rotate : {0, 90}) {
        SCOPED_TRACE(rotate);
        AVDoc doc = openSquares(rotate);
        window().showRulers(true);
        desktop::Ruler* top = pageView()->ruler(Qt::Horizontal);
        desktop::Ruler* left = pageView()->ruler(Qt::Vertical);
        ASSERT_TRUE(top && left);
        EXPECT_TRUE(top->isVisible());
        // The viewport leaves room for them; its pixels stay the model's device points.
        EXPECT_EQ(pageView()->viewport()->geometry().topLeft(),
                  QPoint(desktop::Ruler::kThickness, desktop::Ruler::kThickness));
        EXPECT_EQ(top->unitName(), "mm");
        for (double zoom : {0.5, 1.0, 3.0}) {
            pageView()->setZoom(zoom);
            pageView()->horizontalScrollBar()->setValue(40);
            // The blue square's corner (300, 200) stands where the rulers put its
            // coordinates: 105.83 mm along the page's x, 70.56 mm along its y, which
            // runs across the screen on a turned page.
            AVDevCoord x, y;
            app().pointToDevice(&doc->view, {300 << 16, 200 << 16}, &x, &y);
            const double mmX = 300 / (72 / 25.4), mmY = 200 / (72 / 25.4);
            if (rotate == 0) {
                EXPECT_NEAR(top->pixelFor(mmX), x, 1.0) << zoom;
                EXPECT_NEAR(left->pixelFor(mmY), y, 1.0) << zoom;
            } else {
                EXPECT_NEAR(top->pixelFor(mmY), x, 1.0) << zoom;
                EXPECT_NEAR(left->pixelFor(mmX), y, 1.0) << zoom;
            }
            // Numbers stand apart and closer in as the zoom grows.
            const double step = top->labelStep();
            EXPECT_GE(std::abs(top->pixelFor(step) - top->pixelFor(0)), 50) << zoom;
            EXPECT_LE(std::abs(top->pixelFor(step) - top->pixelFor(0)), 300) << zoom;
        }
        EXPECT_FALSE(top->grab().isNull());
        window().showRulers(false);
        EXPECT_EQ(pageView()->ruler(Qt::Horizontal), nullptr);
        EXPECT_EQ(pageView()->viewport()->geometry().topLeft(), QPoint(0, 0));
    }
    // Another unit chosen in the preferences: the rulers follow it.
    const std::filesystem::path ini = home() / "config" / "Orvanta" / "Vexa.ini";
    vexa::test::writeFile(ini.string(), "[General]\nDlgUnits=2\n");
    // (Later than the first file's time even on a coarse clock.)
    std::filesystem::last_write_time(
        ini, std::filesystem::last_write_time(ini) + std::chrono::seconds(2));
    window().showRulers(true);
    desktop::Ruler* top = pageView()->ruler(Qt::Horizontal);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->unitName(), "in");
    // (The turned page is in front: its y runs across.)
    AVDevCoord x, y;
    app().pointToDevice(&app().frontDoc()->view, {0, 288 << 16}, &x, &y);
    EXPECT_NEAR(top->pixelFor(4.0), x, 1.0);
}

TEST_F(PageViewTest, ClicksAndKeysReachTheToolWithTheirModifiers) {
    start({.loadPlugins = false});
    useRecordingTool();
    openSquares(0);
    fe().processEvents();
    post(QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    post(QEvent::MouseButtonRelease, {200, 150}, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
    fe().processEvents();
    EXPECT_EQ(gSeen.clicks, 1);
    EXPECT_EQ(gSeen.x, 200);
    EXPECT_EQ(gSeen.y, 150);
    EXPECT_EQ(gSeen.flags, AV_SHIFT);
    EXPECT_EQ(gSeen.clickCount, 1);

    // Ctrl is the menu-command modifier, Alt the option key; a double click counts 2.
    post(QEvent::MouseButtonPress, {210, 160}, Qt::LeftButton, Qt::LeftButton,
         Qt::ControlModifier | Qt::AltModifier);
    post(QEvent::MouseButtonRelease, {210, 160}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    post(QEvent::MouseButtonDblClick, {210, 160}, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    post(QEvent::MouseButtonRelease, {210, 160}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    fe().processEvents();
    EXPECT_EQ(gSeen.clicks, 3);
    EXPECT_EQ(gSeen.clickCount, 2);

    QTest::keyClick(pageView(), 'T', Qt::ShiftModifier);
    QTest::keyClick(pageView(), Qt::Key_Left);
    QTest::keyClick(pageView(), Qt::Key_Tab);
    QTest::keyClick(pageView(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(pageView(), Qt::Key_4);
    QTest::keyClick(pageView(), Qt::Key_Z, Qt::ControlModifier);
    std::vector<std::pair<ASUns16, ASInt16>> want = {{'T', AV_SHIFT}, {28, 0},  {9, 0},
                                                     {9, AV_SHIFT},   {'4', 0}, {'z', AV_COMMAND}};
    EXPECT_EQ(gSeen.keys, want);

    // Moving over the page lets the tool choose the cursor.
    post(QEvent::MouseMove, {220, 170}, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    fe().processEvents();
    EXPECT_EQ(pageView()->viewport()->cursor().shape(), Qt::CrossCursor);
}

TEST_F(PageViewTest, TheToolFollowsAGestureUntilTheButtonComesUp) {
    start({.loadPlugins = false});
    useRecordingTool();
    openSquares(0);
    fe().processEvents();
    post(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    post(QEvent::MouseMove, {110, 105}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    post(QEvent::MouseMove, {130, 120}, Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
    post(QEvent::MouseButtonRelease, {140, 125}, Qt::LeftButton, Qt::NoButton, Qt::AltModifier);
    fe().processEvents();
    ASSERT_EQ(gSeen.clicks, 1);
    std::vector<std::pair<AVDevCoord, AVDevCoord>> want = {{110, 105}, {130, 120}};
    EXPECT_EQ(gSeen.path, want);
    // The release's modifiers are those the tool reads after the gesture.
    EXPECT_EQ(gSeen.modifiersAtEnd, AV_OPTION);

    // A rubber band dragged out from the click point comes back as its rectangle.
    gSeen.band = true;
    post(QEvent::MouseButtonPress, {150, 90}, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    post(QEvent::MouseMove, {170, 120}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    post(QEvent::MouseButtonRelease, {120, 140}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    fe().processEvents();
    EXPECT_EQ(gSeen.bandRect.left, 120);
    EXPECT_EQ(gSeen.bandRect.top, 90);
    EXPECT_EQ(gSeen.bandRect.right, 150);
    EXPECT_EQ(gSeen.bandRect.bottom, 140);
}

TEST_F(PageViewTest, AnEditRendersOnlyThePageItChanged) {
    start({.loadPlugins = false});
    std::string path = dir_.file("two.pdf");
    std::string red = "1 0 0 rg 0 0 400 300 re f";
    vexa::test::writeFile(
        path,
        vexa::test::pdfFile(
            {"<< /Type /Catalog /Pages 2 0 R >>",
             "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 400 300] >>",
             "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>",
             "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>",
             "<< /Length " + std::to_string(red.size()) + " >>\nstream\n" + red + "\nendstream"}));
    ASSERT_TRUE(window().openFile(path, false));
    AVDoc doc = app().frontDoc();
    pageView()->setZoom(0.8);
    pageView()->setContinuous(true);
    ASSERT_TRUE(studio().waitRendered());
    int shown = 0;
    std::vector<int> pages;
    pageView()->onPageShown = [&](int page) {
        ++shown;
        pages.push_back(page);
    };
    // The second page gets blue content of its own, and says so.
    QPDF& q = vexa::host::doc::qpdfOf(doc->pdDoc);
    QPDFObjectHandle page2 = q.getAllPages()[1];
    page2.replaceKey("/Contents", q.newStream("0 0 1 rg 0 0 400 300 re f"));
    vexa::host::doc::markModified(doc->pdDoc);
    vexa::host::doc::notifyPagesChanged(doc->pdDoc, 1, 1);
    ASSERT_TRUE(studio().waitRendered());
    EXPECT_EQ(pages, std::vector<int>{1});
    QImage shot = pageView()->viewport()->grab().toImage();
    AVDevRect r0 = app().pageDeviceRect(&doc->view, 0), r1 = app().pageDeviceRect(&doc->view, 1);
    EXPECT_TRUE(near(pixelAt(shot, (r0.left + r0.right) / 2, (r0.top + r0.bottom) / 2), 255, 0, 0));
    EXPECT_TRUE(near(pixelAt(shot, (r1.left + r1.right) / 2, (r1.top + r1.bottom) / 2), 0, 0, 255));
}

TEST_F(PageViewTest, APageTooLargeToRenderWholeShowsThePartInTheWindow) {
    start({.loadPlugins = false});
    AVDoc doc = openSquares(0);
    // 8000 x 6000 pixels: rendered only around what the window shows.
    pageView()->setZoom(20);
    AVDevCoord x0, y0;
    pageView()->horizontalScrollBar()->setValue(0);
    pageView()->verticalScrollBar()->setValue(0);
    app().pointToDevice(&doc->view, {120 << 16, 70 << 16}, &x0, &y0);
    pageView()->horizontalScrollBar()->setValue(x0 - 300);
    pageView()->verticalScrollBar()->setValue(y0 - 300);
    ASSERT_TRUE(studio().waitRendered());
    AVDevCoord x, y;
    app().pointToDevice(&doc->view, {120 << 16, 70 << 16}, &x, &y);
    QImage shot = pageView()->viewport()->grab().toImage();
    EXPECT_TRUE(near(pixelAt(shot, x, y), 255, 0, 0)) << x << "," << y;
    // Just beside the square's edge the page is white.
    app().pointToDevice(&doc->view, {145 << 16, 70 << 16}, &x, &y);
    EXPECT_TRUE(near(pixelAt(shot, x, y), 255, 255, 255))
        << x << "," << y << " " << pixelAt(shot, x, y).name().toStdString() << " " << shot.width();
    // Scrolled on, the newly shown part is rendered too.
    pageView()->verticalScrollBar()->setValue(pageView()->verticalScrollBar()->value() - 900);
    ASSERT_TRUE(studio().waitRendered());
    app().pointToDevice(&doc->view, {120 << 16, 110 << 16}, &x, &y);
    shot = pageView()->viewport()->grab().toImage();
    EXPECT_TRUE(near(pixelAt(shot, x, y), 255, 255, 255));
}
