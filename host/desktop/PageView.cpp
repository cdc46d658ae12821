#include "desktop/PageView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "desktop/DesktopFrontEnd.h"
#include "desktop/Input.h"
#include "desktop/MainWindow.h"
#include "desktop/PageExtract.h"
#include "desktop/RenderService.h"
#include "desktop/Ruler.h"
#include "doc/DocInternal.h"

namespace vexa::host::desktop {
namespace {

constexpr double kMargin = 8;   // the model's margin around and between pages
constexpr int kNeighbours = 1;  // pages rendered ahead on either side
constexpr std::size_t kRenderingsKept = 24;
// A page whose image would be larger than this many device pixels is rendered only
// around what the window shows (a sheet zoomed far in would need gigabytes).
constexpr double kWholePagePixels = 24e6;

std::uint64_t nextOwner() {
    static std::uint64_t n = 0;
    return ++n;
}

std::uint64_t nextTicket() {
    static std::uint64_t n = 0;
    return ++n;
}

QColor qcolor(const AVRGBColor16& c) {
    return QColor::fromRgb(c.red >> 8, c.green >> 8, c.blue >> 8);
}

QRect qrect(const AVDevRect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

Qt::CursorShape cursorFor(ASInt32 shape) {
    switch (shape) {
        case AVCursorHand:
            return Qt::OpenHandCursor;
        case AVCursorCross:
            return Qt::CrossCursor;
        case AVCursorIBeam:
            return Qt::IBeamCursor;
        case AVCursorWait:
            return Qt::WaitCursor;
        case AVCursorMove:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

PageView::PageView(DesktopFrontEnd& fe, AVDoc doc, QWidget* parent)
    : QAbstractScrollArea(parent), fe_(fe), doc_(doc), owner_(nextOwner()) {
    setObjectName("PageView");
    viewport()->setObjectName("PageViewport");
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
    char path[4096] = "";
    if (doc_->pdDoc && doc::isLiveDoc(doc_->pdDoc) &&
        doc::pdModelTable()->PDDocGetPath(doc_->pdDoc, path, sizeof path) > 0)
        path_ = path;
    // A file opened again may have been rewritten since it was last shown (a job imposed
    // anew into the same output): its pages are read from disk, not from the renderer's
    // cache of files shown before.
    if (!path_.empty()) fe_.renderer().forgetFile(QString::fromStdString(path_));
    connect(&fe_.renderer(), &RenderService::rendered, this, &PageView::pageRendered);
    refreshPageSizes();
    revision_.assign(pagePoints_.size(), 0);
    onDisk_.assign(pagePoints_.size(), path_.empty() ? 0 : 1);
}

PageView::~PageView() {
    destroyed_ = true;
    if (alive_) *alive_ = false;
    fe_.renderer().cancel(owner_);
}

// ---- Rulers --------------------------------------------------------------------------

void PageView::setRulers(bool on) {
    if (on == rulers_) return;
    rulers_ = on;
    if (on && !top_) {
        // Along each edge, the current page's coordinate that changes in that direction
        // (x, or y on a page turned by 90 degrees).
        auto mapping = [this](bool across) {
            return [this, across](double* origin, double* perPixel) {
                if (pageCount() == 0) return false;
                app::Application& a = fe_.app();
                constexpr int kSpan = 1000;
                try {
                    ASFixedPoint p0 = a.deviceToPoint(view(), currentPage(), 0, 0);
                    ASFixedPoint p1 = across ? a.deviceToPoint(view(), currentPage(), kSpan, 0)
                                             : a.deviceToPoint(view(), currentPage(), 0, kSpan);
                    double dh = (p1.h - p0.h) / 65536.0, dv = (p1.v - p0.v) / 65536.0;
                    bool alongX = std::abs(dh) >= std::abs(dv);
                    *origin = (alongX ? p0.h : p0.v) / 65536.0;
                    *perPixel = (alongX ? dh : dv) / kSpan;
                } catch (const ASException&) {
                    return false;
                }
                return *perPixel != 0;
            };
        };
        top_ = new Ruler(Qt::Horizontal, mapping(true), this);
        left_ = new Ruler(Qt::Vertical, mapping(false), this);
        auto* corner = new QLabel(this);
        corner->setObjectName("RulerUnit");
        corner->setAlignment(Qt::AlignCenter);
        corner->setAutoFillBackground(true);
        QFont f = corner->font();
        f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.75));
        corner->setFont(f);
        corner_ = corner;
    }
    const int t = on ? Ruler::kThickness : 0;
    setViewportMargins(t, t, 0, 0);
    if (top_) top_->setVisible(on);
    if (left_) left_->setVisible(on);
    if (corner_) corner_->setVisible(on);
    updateRulers();
}

Ruler* PageView::ruler(Qt::Orientation orientation) const {
    if (!rulers_) return nullptr;
    return orientation == Qt::Horizontal ? top_ : left_;
}

void PageView::updateRulers() {
    if (!rulers_) return;
    const QRect vp = viewport()->geometry();
    const int t = Ruler::kThickness;
    top_->setGeometry(vp.left(), vp.top() - t, vp.width(), t);
    left_->setGeometry(vp.left() - t, vp.top(), t, vp.height());
    corner_->setGeometry(vp.left() - t, vp.top() - t, t, t);
    const int units = MainWindow::dialogUnits();
    top_->setUnit(units);
    left_->setUnit(units);
    if (corner_->text() != top_->unitName()) corner_->setText(top_->unitName());
    top_->update();
    left_->update();
}

// ---- Geometry --------------------------------------------------------------------------

void PageView::refreshPageSizes() {
    app::Application& a = fe_.app();
    int n = a.numPages(doc_);
    pagePoints_.resize(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        app::PageGeometry g = a.pageGeometry(doc_, k);
        double w = (g.crop.right - g.crop.left) / 65536.0;
        double h = (g.crop.top - g.crop.bottom) / 65536.0;
        if (g.rotate == 90 || g.rotate == 270) std::swap(w, h);
        pagePoints_[static_cast<std::size_t>(k)] = QSizeF(w, h);
    }
    cumulative_.assign(pagePoints_.size() + 1, 0);
}

QSizeF PageView::pageSize(int page) const {
    if (page < 0 || page >= static_cast<int>(pagePoints_.size())) return {};
    return pagePoints_[static_cast<std::size_t>(page)] * zoom();
}

double PageView::layoutTop(int page) const {
    if (!continuous()) return 0;
    return cumulative_[static_cast<std::size_t>(std::clamp<int>(page, 0, pageCount()))];
}

double PageView::zoom() const {
    return view()->vs.zoom / 65536.0;
}

double PageView::actualSizeZoom() const {
    return logicalDpiX() / 72.0;
}

bool PageView::continuous() const {
    return view()->vs.layoutMode == AVPageViewContinuous;
}

int PageView::currentPage() const {
    return view()->pageNum;
}

int PageView::pageCount() const {
    return static_cast<int>(pagePoints_.size());
}

void PageView::relayout() {
    relayouting_ = true;
    double z = zoom();
    double width = 0, height = 0;
    if (continuous()) {
        double y = 0;
        for (int k = 0; k < pageCount(); ++k) {
            cumulative_[static_cast<std::size_t>(k)] = y;
            QSizeF s = pagePoints_[static_cast<std::size_t>(k)] * z;
            y += s.height() + kMargin;
            width = std::max(width, s.width());
        }
        cumulative_[static_cast<std::size_t>(pageCount())] = y;
        height = y + kMargin;
    } else {
        QSizeF s = pageSize(currentPage());
        width = s.width();
        height = s.height() + 2 * kMargin;
    }
    width += 2 * kMargin;
    QSize vp = viewport()->size();
    horizontalScrollBar()->setRange(0,
                                    std::max(0, static_cast<int>(std::ceil(width)) - vp.width()));
    horizontalScrollBar()->setPageStep(vp.width());
    verticalScrollBar()->setRange(0,
                                  std::max(0, static_cast<int>(std::ceil(height)) - vp.height()));
    verticalScrollBar()->setPageStep(vp.height());
    relayouting_ = false;
    fe_.app().setAperture(view(), {0, 0, vp.width(), vp.height()});
    syncModelScroll();
}

void PageView::syncModelScroll(int keepPage) {
    QSize vp = viewport()->size();
    int sx = horizontalScrollBar()->value(), sy = verticalScrollBar()->value();
    double widest = 0;
    if (continuous()) {
        for (const QSizeF& s : pagePoints_) widest = std::max(widest, s.width());
    } else if (pageCount() > 0) {
        widest = pagePoints_[static_cast<std::size_t>(currentPage())].width();
    }
    widest *= zoom();
    // Pages narrower than the window stand in its middle.
    int originX = -sx;
    double free = vp.width() - widest - 2 * kMargin;
    if (free > 0) originX = static_cast<int>(free / 2);
    int top = currentPage(), current = currentPage(), originY = -sy;
    if (continuous() && pageCount() > 0) {
        // The first page that reaches into the window, and the page at its middle.
        auto it =
            std::upper_bound(cumulative_.begin(), cumulative_.end() - 1, static_cast<double>(sy));
        top = std::max(0, static_cast<int>(it - cumulative_.begin()) - 1);
        originY = static_cast<int>(std::lround(cumulative_[static_cast<std::size_t>(top)])) - sy;
        double middle = sy + vp.height() / 2.0;
        auto mid = std::upper_bound(cumulative_.begin(), cumulative_.end() - 1, middle);
        current = std::clamp(static_cast<int>(mid - cumulative_.begin()) - 1, 0, pageCount() - 1);
        if (sy == 0) current = 0;
        if (keepPage >= 0) current = keepPage;
    }
    app::Application& a = fe_.app();
    AVPageViewState& s = view()->vs;
    bool moved = s.topPage != top || s.originX != originX || s.originY != originY;
    bool turned = current != currentPage();
    if (!moved && !turned) return;
    fe_.dispatch([&] {
        a.scrollView(view(), top, originX, originY, current);
        // The overlay is drawn in device points: draw it again where the pages are now
        // (at once, unless a plug-in is at work: then when it is done).
        if (fe_.dispatching() > 1)
            a.invalidate(view());
        else
            a.redraw(view());
    });
    shownPage_ = currentPage();
    scheduleRenders();
    viewport()->update();
    emit statusChanged();
}

void PageView::scrollToPage(int page) {
    page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (continuous())
        verticalScrollBar()->setValue(static_cast<int>(std::lround(layoutTop(page))));
    else
        verticalScrollBar()->setValue(0);
}

void PageView::modelChanged() {
    if (pageCount() != fe_.app().numPages(doc_)) {
        refreshPageSizes();
        revision_.resize(pagePoints_.size(), 0);
        onDisk_.resize(pagePoints_.size(), 0);
    }
    bool zoomChanged = shownZoom_ != zoom(), layoutChanged = shownLayout_ != view()->vs.layoutMode;
    if (zoomChanged && !applyingZoom_) fitting_ = false;
    bool pageChanged = shownPage_ != currentPage();
    shownZoom_ = zoom();
    shownLayout_ = view()->vs.layoutMode;
    shownPage_ = currentPage();
    int keep = currentPage();
    relayout();
    if (zoomChanged || layoutChanged || pageChanged) {
        // The page the model turned to (or kept) is shown from its top.
        scrollToPage(keep);
        syncModelScroll(keep);
    }
    scheduleRenders();
    viewport()->update();
    emit statusChanged();
}

void PageView::overlayChanged() {
    viewport()->update();
}

void PageView::pagesChanged(int first, int last) {
    int before = pageCount();
    if (before != fe_.app().numPages(doc_)) {
        // Pages were inserted or deleted: every page from the first one named on may
        // now be another.
        refreshPageSizes();
        revision_.resize(pagePoints_.size(), 0);
        onDisk_.resize(pagePoints_.size(), 0);
        last = pageCount() - 1;
        relayout();
    } else {
        // Boxes may have changed: the sizes of the named pages are read again.
        app::Application& a = fe_.app();
        bool resized = false;
        for (int k = std::max(0, first); k <= last && k < pageCount(); ++k) {
            app::PageGeometry g = a.pageGeometry(doc_, k);
            double w = (g.crop.right - g.crop.left) / 65536.0;
            double h = (g.crop.top - g.crop.bottom) / 65536.0;
            if (g.rotate == 90 || g.rotate == 270) std::swap(w, h);
            if (pagePoints_[static_cast<std::size_t>(k)] != QSizeF(w, h)) {
                pagePoints_[static_cast<std::size_t>(k)] = QSizeF(w, h);
                resized = true;
            }
        }
        if (resized) relayout();
    }
    for (int k = std::max(0, first); k <= last && k < pageCount(); ++k) {
        ++revision_[static_cast<std::size_t>(k)];
        onDisk_[static_cast<std::size_t>(k)] = 0;
    }
    scheduleRenders();
    emit pagesEdited();
}

int PageView::pageRevision(int page) const {
    return page >= 0 && page < static_cast<int>(revision_.size())
               ? revision_[static_cast<std::size_t>(page)]
               : -1;
}

std::string PageView::pageFile(int page) const {
    bool onDisk = page >= 0 && page < static_cast<int>(onDisk_.size()) &&
                  onDisk_[static_cast<std::size_t>(page)];
    return onDisk ? path_ : std::string();
}

void PageView::allPagesChanged() {
    pagesChanged(0, pageCount() - 1);
}

void PageView::setZoom(double z) {
    fitting_ = false;
    fitWidth_ = false;
    applyZoom(z);
}

QString PageView::zoomSetting() const {
    if (fitting_) return "fit-page";
    if (fitWidth_) return "fit-width";
    return QString::number(std::lround(zoom() / actualSizeZoom() * 100));
}

void PageView::applyZoomSetting(const QString& setting) {
    bool ok = false;
    double percent = setting.toDouble(&ok);
    if (setting == "fit-width")
        fitWidth();
    else if (ok && percent >= 1 && percent <= 6400)
        setZoom(actualSizeZoom() * percent / 100);
    else
        fitPage();
}

void PageView::applyZoom(double z) {
    z = std::clamp(z, 0.01, 64.0);
    applyingZoom_ = true;
    fe_.dispatch([&] { fe_.app().setZoom(view(), static_cast<ASFixed>(std::lround(z * 65536))); });
    applyingZoom_ = false;
}

void PageView::zoomAt(double z, QPoint at) {
    app::Application& a = fe_.app();
    int k = a.pageAtPoint(view(), at.x(), at.y());
    if (k < 0) k = currentPage();
    double before = zoom();
    // Where the point lies from the page's top left corner, in pixels at this zoom.
    double inX = horizontalScrollBar()->value() + at.x() - kMargin;
    double inY = verticalScrollBar()->value() + at.y() - layoutTop(k) - kMargin;
    setZoom(z);
    double f = zoom() / before;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(kMargin + inX * f - at.x())));
    verticalScrollBar()->setValue(
        static_cast<int>(std::lround(layoutTop(k) + kMargin + inY * f - at.y())));
}

void PageView::zoomIn() {
    setZoom(zoom() * 1.25);
}

void PageView::zoomOut() {
    setZoom(zoom() / 1.25);
}

void PageView::actualSize() {
    setZoom(actualSizeZoom());
}

void PageView::fitPage() {
    QSizeF s = pagePoints_.empty() ? QSizeF(612, 792) : pagePoints_[std::max(0, currentPage())];
    QSize vp = viewport()->size();
    double z =
        std::min((vp.width() - 2 * kMargin) / s.width(), (vp.height() - 2 * kMargin) / s.height());
    applyZoom(z);
    // The page stays fitted as the window changes, until the zoom is set otherwise.
    fitting_ = true;
}

void PageView::fitWidth() {
    double widest = 1;
    for (const QSizeF& s : pagePoints_) widest = std::max(widest, s.width());
    // Room for the vertical scroll bar the page will need.
    double room =
        viewport()->width() - 2 * kMargin -
        (verticalScrollBar()->isVisible() ? 0 : style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    setZoom(room / widest);
    fitWidth_ = true;
}

void PageView::setContinuous(bool on) {
    fe_.dispatch(
        [&] { fe_.app().setLayoutMode(view(), on ? AVPageViewContinuous : AVPageViewSinglePage); });
}

void PageView::goToPage(int page) {
    page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (continuous()) {
        scrollToPage(page);
        syncModelScroll(page);
    } else {
        fe_.dispatch([&] { fe_.app().goToPage(view(), page); });
    }
}

void PageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRulers();
    if (fitting_ && !fe_.dispatching() && viewport()->width() > 50 && viewport()->height() > 50)
        fitPage();
    relayout();
}

void PageView::scrollContentsBy(int, int) {
    if (relayouting_) return;
    syncModelScroll();
}

// ---- Rendering -------------------------------------------------------------------------

void PageView::documentClosed() {
    closed_ = true;
    fe_.renderer().cancel(owner_);
    disconnect(&fe_.renderer(), nullptr, this, nullptr);
}

void PageView::renderNow() {
    renderScheduled_ = false;
    requestRenders();
}

void PageView::scheduleRenders() {
    if (renderScheduled_) return;
    renderScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        renderScheduled_ = false;
        requestRenders();
    });
}

void PageView::requestRenders() {
    if (closed_ || pageCount() == 0 || !doc_->pdDoc) return;
    app::Application& a = fe_.app();
    int first = a.firstVisiblePage(view()), last = a.lastVisiblePage(view());
    first = std::max(0, first - kNeighbours);
    last = std::min(pageCount() - 1, last + kNeighbours);
    double z = zoom();
    double dpr = viewport()->devicePixelRatioF();
    for (int k = first; k <= last; ++k) {
        Rendered& r = rendered_[k];
        int rev = revision_[static_cast<std::size_t>(k)];
        QRect area = renderArea(k);
        bool current =
            !r.pixmap.isNull() && r.revision == rev && r.zoom == z && r.dpr == dpr && covers(r, k);
        bool pending = r.pendingTicket && r.pendingRevision == rev && r.pendingZoom == z &&
                       r.pendingDpr == dpr && r.pendingArea == area;
        if (current || pending) continue;
        if (!area.isNull() && area.isEmpty()) continue;  // nothing of it shows
        RenderRequest req;
        req.owner = owner_;
        req.page = k;
        req.dpiX = req.dpiY = 72.0 * z * dpr;
        req.area =
            QRect(QPoint(static_cast<int>(area.left() * dpr), static_cast<int>(area.top() * dpr)),
                  QSize(static_cast<int>(std::ceil(area.width() * dpr)),
                        static_cast<int>(std::ceil(area.height() * dpr))));
        req.ticket = nextTicket();
        if (onDisk_[static_cast<std::size_t>(k)] && !path_.empty()) {
            req.path = QString::fromStdString(path_);
            req.filePage = k;
        } else {
            req.data = extractPage(doc_->pdDoc, k);
            if (req.data.isEmpty()) continue;
        }
        r.pendingTicket = req.ticket;
        r.pendingRevision = rev;
        r.pendingZoom = z;
        r.pendingDpr = dpr;
        r.pendingArea = area;
        fe_.renderer().request(std::move(req));
    }
    evictRenderings();
}

QRect PageView::renderArea(int page) const {
    QSizeF size = pageSize(page);
    double dpr = viewport()->devicePixelRatioF();
    if (size.width() * size.height() * dpr * dpr <= kWholePagePixels) return QRect();
    // The window's part of the page, with half a window more on every side.
    AVDevRect d = fe_.app().pageDeviceRect(view(), page);
    QRect shown = viewport()->rect();
    QRect around = shown.adjusted(-shown.width() / 2, -shown.height() / 2, shown.width() / 2,
                                  shown.height() / 2);
    QRect onPage = around.intersected(qrect(d)).translated(-d.left, -d.top);
    if (onPage.isEmpty()) return QRect(0, 0, 0, -1);  // not null, but empty
    return onPage;
}

bool PageView::covers(const Rendered& r, int page) const {
    if (r.area.isEmpty()) return true;
    // What the window shows of the page now lies within the rendered part.
    AVDevRect d = fe_.app().pageDeviceRect(view(), page);
    QRect shown = viewport()->rect().intersected(qrect(d)).translated(-d.left, -d.top);
    return shown.isEmpty() || r.area.contains(shown);
}

void PageView::evictRenderings() {
    if (rendered_.size() <= kRenderingsKept) return;
    int middle = currentPage();
    std::vector<std::pair<int, int>> byDistance;
    for (auto& [k, r] : rendered_) byDistance.push_back({std::abs(k - middle), k});
    std::sort(byDistance.begin(), byDistance.end(), std::greater<>());
    for (std::size_t i = 0; i + kRenderingsKept < byDistance.size(); ++i)
        rendered_.erase(byDistance[i].second);
}

void PageView::pageRendered(quint64 owner, int page, quint64 ticket, const QImage& image) {
    if (closed_ || owner != owner_) return;
    auto it = rendered_.find(page);
    if (it == rendered_.end() || it->second.pendingTicket != ticket) return;  // superseded
    Rendered& r = it->second;
    r.pendingTicket = 0;
    if (image.isNull()) return;
    QPixmap pix = QPixmap::fromImage(image);
    pix.setDevicePixelRatio(r.pendingDpr);
    r.pixmap = pix;
    r.revision = r.pendingRevision;
    r.zoom = r.pendingZoom;
    r.dpr = r.pendingDpr;
    r.area = r.pendingArea;
    AVDevRect d = fe_.app().pageDeviceRect(view(), page);
    viewport()->update(qrect(d).adjusted(-2, -2, 2, 2));
    if (onPageShown) {
        viewport()->repaint(qrect(d).adjusted(-2, -2, 2, 2));
        onPageShown(page);
    }
}

bool PageView::renderedUpToDate() const {
    app::Application& a = fe_.app();
    int first = a.firstVisiblePage(view()), last = a.lastVisiblePage(view());
    double dpr = viewport()->devicePixelRatioF();
    for (int k = first; k <= last && k < pageCount(); ++k) {
        auto it = rendered_.find(k);
        if (it == rendered_.end()) return false;
        const Rendered& r = it->second;
        if (r.pixmap.isNull() || r.revision != revision_[static_cast<std::size_t>(k)] ||
            r.zoom != zoom() || r.dpr != dpr || !covers(r, k))
            return false;
    }
    return true;
}

// ---- Painting --------------------------------------------------------------------------

void PageView::paintEvent(QPaintEvent* event) {
    // The rulers follow whatever moved the pages.
    updateRulers();
    QPainter p(viewport());
    p.fillRect(event->rect(), palette().color(QPalette::Dark));
    app::Application& a = fe_.app();
    if (pageCount() > 0) {
        int first = a.firstVisiblePage(view()), last = a.lastVisiblePage(view());
        for (int k = first; k <= last && k < pageCount(); ++k) {
            QRect r = qrect(a.pageDeviceRect(view(), k));
            if (!r.intersects(event->rect())) continue;
            // A sheet of paper with a soft edge, then its rendering (an older one scaled
            // while the new one is on its way).
            p.fillRect(r.translated(2, 2), QColor(0, 0, 0, 60));
            p.fillRect(r, Qt::white);
            auto it = rendered_.find(k);
            if (it != rendered_.end() && !it->second.pixmap.isNull()) {
                const Rendered& done = it->second;
                p.setRenderHint(QPainter::SmoothPixmapTransform,
                                done.zoom != zoom() || done.dpr != viewport()->devicePixelRatioF());
                QRectF target(r);
                if (!done.area.isEmpty()) {
                    // A part, rendered at its zoom: placed (and scaled) where it lies now.
                    double s = zoom() / done.zoom;
                    target = QRectF(r.left() + done.area.left() * s, r.top() + done.area.top() * s,
                                    done.area.width() * s, done.area.height() * s);
                }
                p.save();
                p.setClipRect(r);
                p.drawPixmap(target, done.pixmap, QRectF(done.pixmap.rect()));
                p.restore();
            }
        }
    }
    drawOverlay(p);
}

void PageView::drawOverlay(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    for (const app::DrawOp& op : view()->vs.drawn) {
        QColor color = qcolor(op.color);
        QPen pen(color);
        pen.setWidth(std::max(1, op.width));
        if (op.pen == AVPenDashed) {
            pen.setDashPattern({static_cast<qreal>(std::max(1, op.dash)) / pen.width(),
                                static_cast<qreal>(std::max(1, op.gap)) / pen.width()});
        } else if (op.pen == AVPenDithered) {
            pen.setBrush(QBrush(color, Qt::Dense4Pattern));
        }
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const AVDevRect& r = op.rect;
        switch (op.kind) {
            case app::DrawOp::Line:
                p.drawLine(r.left, r.top, r.right, r.bottom);
                break;
            case app::DrawOp::RectOutline:
                p.drawRect(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)));
                break;
            case app::DrawOp::FillRect:
                p.fillRect(
                    QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)),
                    op.pen == AVPenDithered ? QBrush(color, Qt::Dense4Pattern) : QBrush(color));
                break;
            case app::DrawOp::Text: {
                QFont f = font();
                f.setPixelSize(std::max(1, op.size));
                p.setFont(f);
                p.drawText(QPoint(r.left, r.top), QString::fromStdString(op.text));
                break;
            }
        }
    }
    if (feedback_ != app::DragFeedback::None) {
        QRect r(QPoint(feedbackRect_.left, feedbackRect_.top),
                QPoint(feedbackRect_.right, feedbackRect_.bottom));
        QColor hl = palette().color(QPalette::Highlight);
        if (feedback_ == app::DragFeedback::RubberBand) {
            QColor fill = hl;
            fill.setAlpha(40);
            p.fillRect(r, fill);
            p.setPen(QPen(hl, 1));
        } else {
            p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        }
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
    if (dropShown_) {
        QColor hl = palette().color(QPalette::Highlight);
        QColor fill = hl;
        fill.setAlpha(50);
        p.fillRect(dropRect_, fill);
        p.setPen(QPen(hl, 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(dropRect_.adjusted(1, 1, -1, -1));
    }
}

void PageView::setDragFeedback(app::DragFeedback kind, const AVDevRect& rect) {
    QRect old(QPoint(feedbackRect_.left, feedbackRect_.top),
              QPoint(feedbackRect_.right, feedbackRect_.bottom));
    bool had = feedback_ != app::DragFeedback::None;
    feedback_ = kind;
    feedbackRect_ = rect;
    if (had) viewport()->update(old.normalized().adjusted(-2, -2, 2, 2));
    if (kind != app::DragFeedback::None)
        viewport()->update(QRect(QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom))
                               .normalized()
                               .adjusted(-2, -2, 2, 2));
}

void PageView::setCursorShape(ASInt32 shape) {
    viewport()->setCursor(cursorFor(shape));
}

// ---- Mouse and keys --------------------------------------------------------------------

bool PageView::viewportEvent(QEvent* event) {
    // While the tool follows a gesture, the moves and the release are its own; what
    // comes after the release (the second click of a double click) waits for the
    // gesture's end.
    if (tracking_) {
        QEvent::Type t = event->type();
        bool mouse = t == QEvent::MouseMove || t == QEvent::MouseButtonRelease ||
                     t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick;
        if (mouse &&
            (releaseQueued_ || t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick)) {
            deferred_.emplace_back(static_cast<QMouseEvent*>(event)->clone());
            return true;
        }
        if (mouse) {
            auto* me = static_cast<QMouseEvent*>(event);
            bool release = t == QEvent::MouseButtonRelease;
            trackQueue_.push_back({me->position().toPoint(), me->modifiers(), release});
            releaseQueued_ = release;
            return true;
        }
        if (t == QEvent::Wheel || t == QEvent::NativeGesture) return true;
    }
    // A pinch on a touchpad zooms around the fingers as Ctrl+wheel does around the
    // pointer (value: the change of scale since the last event).
    if (event->type() == QEvent::NativeGesture) {
        auto* g = static_cast<QNativeGestureEvent*>(event);
        if (g->gestureType() == Qt::ZoomNativeGesture && !fe_.dispatching()) {
            double factor = std::clamp(1.0 + g->value(), 0.5, 2.0);
            zoomAt(zoom() * factor, g->position().toPoint());
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool PageView::trackMouse(app::MouseState& mouse) {
    if (!mouse.path.empty()) return app::FrontEnd::followPath(mouse);
    bool alive = true;
    alive_ = &alive;
    bool down = true;
    for (;;) {
        if (!trackQueue_.empty()) {
            TrackEvent e = trackQueue_.front();
            trackQueue_.pop_front();
            mouse.x = e.pos.x();
            mouse.y = e.pos.y();
            mouse.modifiers = hostModifiers(e.modifiers);
            down = !e.release;
            break;
        }
        // Events posted to the view (a script's gesture) first, then the window system's.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!alive) return false;
        if (!trackQueue_.empty()) continue;
        // A release that never reaches the view (the window lost the mouse) ends it.
        if (QGuiApplication::mouseButtons() == Qt::NoButton && !fe_.scripted()) {
            down = false;
            break;
        }
        if (fe_.scripted()) {
            down = false;
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!alive) return false;
    }
    alive_ = nullptr;
    return down;
}

void PageView::dispatchClick(QMouseEvent* event, int clickCount) {
    if (fe_.dispatching()) return;
    QPoint pos = event->position().toPoint();
    ASInt16 flags = hostModifiers(event->modifiers());
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::RightButton) {
        fe_.dispatch([&] { fe_.app().rightClick(view(), pos.x(), pos.y(), flags); });
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    trackQueue_.clear();
    tracking_ = true;
    releaseQueued_ = false;
    struct Done {
        PageView* v;
        ~Done() {
            v->tracking_ = false;
            v->trackQueue_.clear();
            for (auto& d : v->deferred_) QCoreApplication::postEvent(v->viewport(), d.release());
            v->deferred_.clear();
        }
    } done{this};
    fe_.dispatch([&] {
        fe_.app().click(view(), pos.x(), pos.y(), flags, static_cast<ASInt16>(clickCount));
    });
}

void PageView::mousePressEvent(QMouseEvent* event) {
    dispatchClick(event, 1);
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event) {
    dispatchClick(event, 2);
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
    QPoint pos = event->position().toPoint();
    if (rulers_) {
        top_->setPointer(pos.x());
        left_->setPointer(pos.y());
    }
    {
        // The page point under the pointer, for the status bar.
        app::Application& a = fe_.app();
        int k = a.pageAtPoint(view(), pos.x(), pos.y());
        if (k < 0) {
            emit pointerMoved(false, {});
        } else {
            ASFixedPoint p = a.deviceToPoint(view(), k, pos.x(), pos.y());
            emit pointerMoved(true, QPointF(p.h / 65536.0, p.v / 65536.0));
        }
    }
    if (fe_.dispatching() || (event->buttons() & Qt::LeftButton)) return;
    fe_.dispatch([&] { fe_.app().mouseMoved(view(), pos.x(), pos.y()); });
}

void PageView::mouseReleaseEvent(QMouseEvent*) {}

void PageView::leaveEvent(QEvent* event) {
    if (rulers_) {
        top_->setPointer(-1);
        left_->setPointer(-1);
    }
    emit pointerMoved(false, {});
    QAbstractScrollArea::leaveEvent(event);
}

void PageView::keyPressEvent(QKeyEvent* event) {
    ASUns16 key = hostKey(*event);
    if (key == 0 && !fe_.dispatching() && event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
        goToPage(event->key() == Qt::Key_Home ? 0 : pageCount() - 1);
        return;
    }
    if (key == 0 || fe_.dispatching()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    ASInt16 flags = hostModifiers(event->modifiers());
    if (event->key() == Qt::Key_Backtab) flags |= AV_SHIFT;
    bool taken = false;
    fe_.dispatch([&] { taken = fe_.app().pageViewKey(view(), key, flags); });
    if (taken) return;
    switch (event->key()) {
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            QAbstractScrollArea::keyPressEvent(event);
            break;
        default:
            event->ignore();
    }
}

void PageView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        // A notch of a wheel is 120; touchpads send smaller steps.
        int delta = event->angleDelta().y();
        if (delta != 0) zoomAt(zoom() * std::pow(1.25, delta / 120.0), event->position().toPoint());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// ---- Files dragged from other programs ---------------------------------------------------

std::string PageView::dropUriList(const QMimeData* data, QString* problem) {
    std::string list;
    int files = 0, folders = 0, others = 0;
    QString first;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile()) {
                ++others;
                continue;
            }
            QFileInfo info(url.toLocalFile());
            if (info.isDir()) {
                ++folders;
                continue;
            }
            if (files++ == 0) first = info.fileName();
            list += QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded().toStdString();
            list += "\r\n";
        }
    }
    if (problem) {
        problem->clear();
        if (files == 0 && folders > 0)
            *problem = "A folder cannot be dropped here: drop a PDF file.";
        else if (files == 0)
            *problem = others > 0 ? "Only files on this computer can be dropped here." : QString();
        else if (!first.endsWith(".pdf", Qt::CaseInsensitive))
            *problem = QString(
                           "\u201C%1\u201D is not a PDF file: only PDF files can be dropped "
                           "here.")
                           .arg(first);
        else if (files > 1)
            *problem = QString("One file at a time: only \u201C%1\u201D is placed.").arg(first);
    }
    return list;
}

bool PageView::trackDrag(ASInt32 phase, const QMimeData* data, QPoint pos) {
    // A drag that comes while the plug-in is busy (a modal dialog, a gesture) is refused.
    if (fe_.dispatching() || tracking_) return false;
    std::string uris = phase == AVDragLeave ? std::string() : dropUriList(data);
    bool taken = false;
    fe_.dispatch([&] { taken = fe_.app().dragTrack(doc_, phase, uris, pos.x(), pos.y()); });
    updateDropHighlight();
    return taken;
}

void PageView::updateDropHighlight() {
    const AVDocDropState& s = doc_->drop;
    bool shown = s.installed && s.inside && s.highlighted;
    QRect r = shown ? qrect(s.highlight) : QRect();
    if (shown == dropShown_ && r == dropRect_) return;
    if (dropShown_) viewport()->update(dropRect_.adjusted(-2, -2, 2, 2));
    dropShown_ = shown;
    dropRect_ = r;
    if (shown) viewport()->update(r.adjusted(-2, -2, 2, 2));
}

void PageView::dragEnterEvent(QDragEnterEvent* event) {
    QString problem;
    dropUriList(event->mimeData(), &problem);
    if (!event->mimeData() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    // Taken or not, the drag is followed: the pointer may reach a page later on. The
    // move that comes at once decides the cursor (forbidden while it is refused).
    trackDrag(AVDragEnter, event->mimeData(), event->position().toPoint());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!problem.isEmpty()) emit message(problem);
}

void PageView::dragMoveEvent(QDragMoveEvent* event) {
    if (trackDrag(AVDragMove, event->mimeData(), event->position().toPoint())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PageView::dragLeaveEvent(QDragLeaveEvent* event) {
    trackDrag(AVDragLeave, nullptr, QPoint(-1, -1));
    event->accept();
}

void PageView::dropEvent(QDropEvent* event) {
    // The drop is only recorded here; the plug-in places it at the next idle call,
    // after the drag has ended.
    QString problem;
    std::string uris = dropUriList(event->mimeData(), &problem);
    QPoint pos = event->position().toPoint();
    bool taken = false;
    if (!fe_.dispatching() && !tracking_)
        fe_.dispatch([&] { taken = fe_.app().drop(doc_, uris, pos.x(), pos.y()); });
    updateDropHighlight();
    if (taken) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (!problem.isEmpty()) emit message(problem);
    } else {
        event->ignore();
        if (!problem.isEmpty())
            emit message(problem);
        else if (!doc_->drop.installed)
            emit message(
                "This window takes no dropped files: open a template to drop pages "
                "into its frames.");
        else
            emit message("Drop the file onto a page.");
    }
}

bool PageView::focusNextPrevChild(bool) {
    return false;  // Tab is a key of the tool (the next frame)
}

}  // namespace vexa::host::desktop
