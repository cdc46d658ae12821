// Files dragged from the file manager onto a page view: the events the window system
// sends (enter, move, leave, drop with file URLs) reach the template's drop target, the
// frame under the pointer is highlighted, the drop is placed at the next idle call, and
// what cannot be dropped is refused with a line in the status bar.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QDragEnterEvent>
#include <QMimeData>
#include <QStatusBar>

#include <filesystem>

#include "StudioFixture.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using vexa::test::StudioFixture;
namespace fs = std::filesystem;

namespace {

class DropTest : public StudioFixture {
  protected:
    void SetUp() override {
        start();
        vexa::test::writeFile(file("template.pdf"), vexa::test::templateFile());
        vexa::test::writeFile(file("two.PDF"), vexa::test::sourceFile());
        run("open " + file("template.pdf"));
        view_ = pageView()->viewport();
    }

    static QMimeData* files(const QStringList& paths) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data->setUrls(urls);
        return data;
    }
    // Enter and a move to the point; answers whether the move was taken.
    bool dragTo(const QMimeData* data, QPoint p) {
        QDragEnterEvent enter(p, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view_, &enter);
        QDragMoveEvent move(p, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view_, &move);
        return move.isAccepted();
    }
    // A whole drag to the point, released there (Qt delivers a drop only after the drag
    // entered and moved); answers whether the drop was taken.
    bool dropAt(const QMimeData* data, QPoint p) {
        dragTo(data, p);
        QDropEvent drop(QPointF(p), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view_, &drop);
        return drop.isAccepted();
    }
    bool changed() {
        return doc::pdModelTable()->PDDocGetFlags(app().frontDoc()->pdDoc) & PDDocNeedsSave;
    }
    QString statusLine() { return window().statusBar()->currentMessage(); }
    // The sheets of the document saved now.
    std::vector<QPDFPageObjectHelper> saved(QPDF& pdf) {
        run("save " + file("out.pdf"));
        pdf.processFile(file("out.pdf").c_str());
        return QPDFPageDocumentHelper(pdf).getAllPages();
    }

    QWidget* view_ = nullptr;
};

TEST_F(DropTest, AFileDroppedOnAFrameIsPlacedThereAtTheNextIdleCall) {
    std::unique_ptr<QMimeData> data(files({QString::fromStdString(file("two.PDF"))}));
    // Over the frame: taken, and the frame is highlighted where it shows.
    ASSERT_TRUE(dragTo(data.get(), at(200, 300)));
    run("expect-highlight 40 40 400 555");
    QImage shot = view_->grab().toImage();
    QColor hl = pageView()->palette().color(QPalette::Highlight);
    QPoint edge = at(200, 555) + QPoint(0, 1);
    qreal dpr = shot.devicePixelRatio();
    QColor painted =
        shot.pixelColor(static_cast<int>(edge.x() * dpr), static_cast<int>(edge.y() * dpr));
    EXPECT_LT(std::abs(painted.hue() - hl.hue()), 20) << painted.name().toStdString();
    // Over the sheet beside it: the sheet is the target.
    QDragMoveEvent move(at(600, 300), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view_, &move);
    EXPECT_TRUE(move.isAccepted());
    run("expect-highlight 0 0 842 595");

    // The drop itself changes nothing: the page is placed at the next idle call.
    ASSERT_TRUE(dropAt(data.get(), at(200, 300)));
    run("expect-highlight none");
    EXPECT_FALSE(changed());
    run("ticks 6\nexpect-no-alert");
    EXPECT_TRUE(changed());

    // Onto free sheet space: page 1 as a new container at the point, whole millimetres.
    ASSERT_TRUE(dropAt(data.get(), at(600.4, 300.2)));
    run("ticks 6\nexpect-no-alert");
    QPDF pdf;
    auto pages = saved(pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].getFormXObjects().size(), 2u);
    QPDFObjectHandle props = pages[0].getObjectHandle().getKey("/Resources").getKey("/Properties");
    int free = 0;
    for (auto& [name, d] : props.ditems())
        if (d.isDictionary() && d.getKey("/boxnum").isNumber() &&
            d.getKey("/boxnum").getNumericValue() == 0) {
            ++free;
            // 600 pt is 211.7 mm: 211 mm, less the TrimBox's 10 pt.
            EXPECT_NEAR(d.getKey("/left").getNumericValue(), 211 * 72 / 25.4 - 10, 0.01);
        }
    EXPECT_EQ(free, 1);
}

TEST_F(DropTest, WhatCannotBeDroppedIsRefusedAndSaysWhy) {
    vexa::test::writeFile(file("notes.pdf.txt"), "text");
    fs::create_directory(file("folder.pdf"));
    auto refused = [&](const QStringList& paths, QPoint p) {
        std::unique_ptr<QMimeData> data(files(paths));
        bool taken = dragTo(data.get(), p);
        bool dropped = dropAt(data.get(), p);
        return !taken && !dropped;
    };
    EXPECT_TRUE(refused({QString::fromStdString(file("notes.pdf.txt"))}, at(200, 300)));
    EXPECT_TRUE(statusLine().contains("is not a PDF file")) << statusLine().toStdString();
    EXPECT_TRUE(refused({QString::fromStdString(file("folder.pdf"))}, at(200, 300)));
    EXPECT_TRUE(statusLine().contains("folder")) << statusLine().toStdString();
    // A PDF file, but off the page (left of the sheet, in the window's margin).
    EXPECT_TRUE(refused({QString::fromStdString(file("two.PDF"))}, at(0, 0) - QPoint(4, -4)));
    EXPECT_TRUE(statusLine().contains("onto a page")) << statusLine().toStdString();
    // Text that is no file is not even followed.
    QMimeData text;
    text.setText("/tmp/x.pdf");
    QDragEnterEvent enter(at(200, 300), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view_, &enter);
    EXPECT_FALSE(enter.isAccepted());
    run("ticks 6\nexpect-no-alert");
    EXPECT_FALSE(changed());

    // Several files: the first is placed, and the status bar says so.
    std::unique_ptr<QMimeData> two(files(
        {QString::fromStdString(file("two.PDF")), QString::fromStdString(file("notes.pdf.txt"))}));
    EXPECT_TRUE(dropAt(two.get(), at(200, 300)));
    EXPECT_TRUE(statusLine().contains("only \xE2\x80\x9Ctwo.PDF\xE2\x80\x9D is placed"))
        << statusLine().toStdString();
    run("ticks 6\nexpect-no-alert");
    EXPECT_TRUE(changed());
}

TEST_F(DropTest, ADamagedPdfIsReportedAndNothingIsPlaced) {
    vexa::test::writeFile(file("broken.pdf"), "%PDF-1.4\nthis is no PDF at all\n");
    std::unique_ptr<QMimeData> data(files({QString::fromStdString(file("broken.pdf"))}));
    ASSERT_TRUE(dropAt(data.get(), at(200, 300)));
    run("ticks 6");
    ASSERT_FALSE(fe().alerts.empty());
    EXPECT_FALSE(fe().alerts.back().request.message.empty());
    for (auto& a : fe().alerts) a.checked = true;
    EXPECT_FALSE(changed());
    // The window goes on taking drops.
    std::unique_ptr<QMimeData> good(files({QString::fromStdString(file("two.PDF"))}));
    ASSERT_TRUE(dropAt(good.get(), at(200, 300)));
    run("ticks 6\nexpect-no-alert");
    EXPECT_TRUE(changed());
}

TEST_F(DropTest, AnOrdinaryDocumentTakesNoDrops) {
    // Not a template, and "DragDrop" is 0: no drop target, the platform refuses.
    vexa::test::writeFile(file("plain.pdf"), vexa::test::sourceFile());
    run("open " + file("plain.pdf"));
    view_ = pageView()->viewport();
    std::unique_ptr<QMimeData> data(files({QString::fromStdString(file("two.PDF"))}));
    EXPECT_FALSE(dragTo(data.get(), at(100, 150)));
    EXPECT_FALSE(dropAt(data.get(), at(100, 150)));
    EXPECT_TRUE(statusLine().contains("takes no dropped files")) << statusLine().toStdString();
}

}  // namespace
