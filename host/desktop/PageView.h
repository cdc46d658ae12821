// A document window's page view: the pages as poppler renders them from the document's
// current state, the plug-in's overlay drawn over them, and the mouse and keys handed
// to the active tool.
//
// The application model keeps the view's geometry (zoom, layout, current page, the
// aperture and where the pages are scrolled to); this widget shows it. Device points
// of the model are this widget's viewport pixels (logical pixels; pages are rendered
// at the screen's device pixel ratio).
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "app/App.h"

class QLabel;
class QMimeData;

namespace vexa::host::desktop {

class DesktopFrontEnd;
class RenderService;
class Ruler;

class PageView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    PageView(DesktopFrontEnd& frontEnd, AVDoc doc, QWidget* parent = nullptr);
    ~PageView() override;

    AVDoc doc() const { return doc_; }
    AVPageView view() const { return &doc_->view; }

    // The model changed the view (zoom, layout, page): show it.
    void modelChanged();
    // The overlay's display list changed.
    void overlayChanged();
    // Pages first..last of the document changed (content, boxes or the page list).
    void pagesChanged(int first, int last);
    // Every page may have changed (an edit that named no page).
    void allPagesChanged();
    void setCursorShape(ASInt32 shape);
    void setDragFeedback(app::DragFeedback kind, const AVDevRect& rect);

    // Zoom: the model's zoom is page points per pixel; "actual size" shows a page at
    // its printed size on a screen of the widget's logical resolution.
    double zoom() const;
    double actualSizeZoom() const;
    void setZoom(double zoom);
    void applyZoom(double zoom);  // keeps fitting
    void zoomIn();
    void zoomOut();
    // Zooms keeping the page point under the viewport point where it is (Ctrl+wheel).
    void zoomAt(double zoom, QPoint at);
    void actualSize();
    void fitPage();
    void fitWidth();
    // The zoom as kept between runs: "fit-page", "fit-width" or a percentage of the
    // actual size ("150"); applying one that is not understood fits the page.
    QString zoomSetting() const;
    void applyZoomSetting(const QString& setting);
    bool continuous() const;
    void setContinuous(bool on);
    void goToPage(int page);  // 0-based; scrolls so that it shows
    int currentPage() const;
    int pageCount() const;

    // What a page shows now, for others that render it (the thumbnails): its size in
    // points as shown (turned), a number that grows with every edit of it, and the
    // document's file while the page is still as it is there ("" otherwise).
    QSizeF pagePoints(int page) const { return pageSize(page) / zoom(); }
    int pageRevision(int page) const;
    std::string pageFile(int page) const;

    // Rulers along the top and left edge in the dialogs' unit, with the unit's name
    // in the corner between them.
    void setRulers(bool on);
    bool rulers() const { return rulers_; }
    Ruler* ruler(Qt::Orientation orientation) const;
    // The rulers' place beside the viewport and their unit (read again from the
    // preferences).
    void updateRulers();

    // Asks for the visible pages' renderings now (not at the next pass of the loop).
    void renderNow();
    // The document was closed: the view stays until it is deleted, but neither asks for
    // renderings nor takes those still on their way, which would reach a closed
    // document.
    void documentClosed();

    // The mouse while the tool follows a gesture: the next move or the release.
    bool trackMouse(app::MouseState& mouse);

    // Rendering state, for tests and benchmarks: true when every visible page shows
    // a rendering of its current state at the current zoom.
    bool renderedUpToDate() const;
    // Called whenever a page rendering arrived and was shown (benchmarks).
    std::function<void(int page)> onPageShown;

    // What a drag from another program carries, as the window's drop target reads it:
    // "text/uri-list" of the local files that are files (not folders), in order; and a
    // line for the status bar when it holds something that cannot be dropped ("" when
    // all is well).
    static std::string dropUriList(const QMimeData* data, QString* problem = nullptr);

  signals:
    void statusChanged();               // page or zoom changed
    void pagesEdited();                 // pages changed, or pages came or went
    void message(const QString& text);  // a passing line for the status bar
    // The pointer over the view: the point of the page under it (in points), or
    // onPage false when it is over no page or has left the view.
    void pointerMoved(bool onPage, QPointF point);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // A page's rendering: all of it, or, for a page too large to render whole at the
    // zoom, the part around what the window shows (area, in pixels of the page shown
    // at that zoom).
    struct Rendered {
        QPixmap pixmap;  // device pixel ratio set
        double zoom = 0;
        double dpr = 0;
        int revision = -1;
        QRect area;  // empty: the whole page
        std::uint64_t pendingTicket = 0;
        int pendingRevision = -1;
        double pendingZoom = 0;
        double pendingDpr = 0;
        QRect pendingArea;
    };
    // The part of page k to render at the current zoom: empty for the whole page.
    QRect renderArea(int page) const;
    bool covers(const Rendered& r, int page) const;
    struct TrackEvent {
        QPoint pos;
        Qt::KeyboardModifiers modifiers;
        bool release;
    };

    void relayout();  // scroll bars from the model's geometry
    // The model's topPage, origin and current page from the scroll bars (keepPage: the
    // current page stays that one).
    void syncModelScroll(int keepPage = -1);
    void refreshPageSizes();
    QSizeF pageSize(int page) const;  // shown size in pixels at the model's zoom
    double layoutTop(int page) const;
    void scrollToPage(int page);
    void requestRenders();
    void scheduleRenders();
    void pageRendered(quint64 owner, int page, quint64 ticket, const QImage& image);
    void drawOverlay(QPainter& p);
    void dispatchClick(QMouseEvent* event, int clickCount);
    void evictRenderings();
    // A drag from another program over the view: handed to the window's drop target,
    // which answers whether it takes it (the phase is the model's AVDragEnter, ...).
    bool trackDrag(ASInt32 phase, const QMimeData* data, QPoint pos);
    void updateDropHighlight();

    DesktopFrontEnd& fe_;
    AVDoc doc_;
    std::uint64_t owner_;
    std::vector<QSizeF> pagePoints_;  // crop box sizes in points, turned
    std::vector<double> cumulative_;  // layout tops (continuous)
    std::vector<int> revision_;       // per page: edits since it was read
    std::vector<char> onDisk_;        // per page: still as in the document's file
    std::string path_;                // the document's file, "" when none
    std::map<int, Rendered> rendered_;
    bool renderScheduled_ = false;
    bool fitting_ = false;       // the page is kept fitted to the window
    bool fitWidth_ = false;      // the zoom was set last by fitting the width
    bool applyingZoom_ = false;  // a zoom of this view's own is on its way to the model
    bool relayouting_ = false;
    double shownZoom_ = 0;
    ASInt32 shownLayout_ = -1;
    int shownPage_ = -1;
    app::DragFeedback feedback_ = app::DragFeedback::None;
    AVDevRect feedbackRect_{};
    bool dropShown_ = false;  // the drop target's highlight as painted last
    QRect dropRect_;
    // Mouse gesture followed by the tool.
    bool tracking_ = false;
    bool releaseQueued_ = false;
    std::deque<TrackEvent> trackQueue_;
    std::vector<std::unique_ptr<QEvent>> deferred_;  // clicks that came during a gesture
    bool rulers_ = false;
    Ruler* top_ = nullptr;
    Ruler* left_ = nullptr;
    QLabel* corner_ = nullptr;
    bool destroyed_ = false;
    bool closed_ = false;
    bool* alive_ = nullptr;
};

}  // namespace vexa::host::desktop
