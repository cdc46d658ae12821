#include "desktop/Thumbnails.h"

#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "desktop/DesktopFrontEnd.h"
#include "desktop/PageExtract.h"
#include "desktop/PageView.h"
#include "desktop/RenderService.h"

namespace vexa::host::desktop {
namespace {

// Owners of render requests are told apart from the page views' by the top bit.
std::uint64_t nextThumbOwner() {
    static std::uint64_t n = 0;
    return (std::uint64_t{1} << 63) | ++n;
}

std::uint64_t nextThumbTicket() {
    static std::uint64_t n = 0;
    return ++n;
}

// A blank sheet of the page's proportions while its picture is on its way.
QIcon placeholder(QSizeF points) {
    const int size = Thumbnails::kSize;
    QSizeF s = points.isEmpty() ? QSizeF(3, 4) : points;
    s.scale(size, size, Qt::KeepAspectRatio);
    QPixmap pix(size, size);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    QRectF r((size - s.width()) / 2, (size - s.height()) / 2, s.width() - 1, s.height() - 1);
    p.fillRect(r, Qt::white);
    p.setPen(QColor(170, 170, 170));
    p.drawRect(r);
    return QIcon(pix);
}

}  // namespace

Thumbnails::Thumbnails(DesktopFrontEnd& fe, QWidget* parent)
    : QListWidget(parent), fe_(fe), owner_(nextThumbOwner()) {
    setObjectName("Thumbnails");
    setViewMode(QListView::IconMode);
    setFlow(QListView::TopToBottom);
    setWrapping(false);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setIconSize(QSize(kSize, kSize));
    setSpacing(4);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(kSize + 40);
    // A page chosen here is shown, and the keyboard goes back to the page.
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (following_ || !view_ || row < 0) return;
        view_->goToPage(row);
    });
    connect(this, &QListWidget::itemClicked, this, [this] {
        if (view_) view_->setFocus(Qt::OtherFocusReason);
    });
    connect(&fe_.renderer(), &RenderService::rendered, this, &Thumbnails::rendered);
}

void Thumbnails::setView(PageView* view) {
    if (view == view_) return;
    for (auto& c : viewConnections_) disconnect(c);
    viewConnections_.clear();
    fe_.renderer().cancel(owner_);
    view_ = view;
    if (view_) {
        viewConnections_.push_back(
            connect(view_, &PageView::pagesEdited, this, &Thumbnails::rebuild));
        viewConnections_.push_back(
            connect(view_, &PageView::statusChanged, this, &Thumbnails::followPage));
        viewConnections_.push_back(connect(view_, &QObject::destroyed, this, [this] {
            thumbs_.clear();
            clear();
        }));
    }
    thumbs_.clear();
    clear();
    rebuild();
}

void Thumbnails::rebuild() {
    int n = view_ ? view_->pageCount() : 0;
    if (count() != n) {
        following_ = true;
        while (count() > n) delete takeItem(count() - 1);
        for (int k = count(); k < n; ++k) {
            auto* item =
                new QListWidgetItem(placeholder(view_->pagePoints(k)), QString::number(k + 1));
            item->setTextAlignment(Qt::AlignHCenter);
            addItem(item);
        }
        thumbs_.resize(static_cast<std::size_t>(n));
        following_ = false;
    }
    followPage();
    scheduleRequests();
}

void Thumbnails::followPage() {
    if (!view_) return;
    int page = view_->currentPage();
    if (page < 0 || page >= count() || currentRow() == page) return;
    following_ = true;
    setCurrentRow(page);
    following_ = false;
}

std::pair<int, int> Thumbnails::shownRows() const {
    if (count() == 0) return {0, -1};
    QModelIndex top = indexAt(QPoint(viewport()->width() / 2, 2));
    QModelIndex bottom = indexAt(QPoint(viewport()->width() / 2, viewport()->height() - 2));
    int first = top.isValid() ? top.row() : 0;
    int last = bottom.isValid() ? bottom.row() : count() - 1;
    // One more on either side, for scrolling.
    return {std::max(0, first - 1), std::min(count() - 1, last + 1)};
}

void Thumbnails::scheduleRequests() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        requestShown();
    });
}

void Thumbnails::requestShown() {
    if (!view_ || !isVisible()) return;
    auto [first, last] = shownRows();
    qreal dpr = devicePixelRatioF();
    for (int k = first; k <= last; ++k) {
        Thumb& t = thumbs_[static_cast<std::size_t>(k)];
        int rev = view_->pageRevision(k);
        if (t.revision == rev || (t.pendingTicket && t.pendingRevision == rev)) continue;
        QSizeF points = view_->pagePoints(k);
        if (points.isEmpty()) continue;
        RenderRequest req;
        req.owner = owner_;
        req.page = k;
        req.dpiX = req.dpiY = 72.0 * kSize / std::max(points.width(), points.height()) * dpr;
        req.ticket = nextThumbTicket();
        std::string file = view_->pageFile(k);
        if (!file.empty()) {
            req.path = QString::fromStdString(file);
            req.filePage = k;
        } else {
            req.data = extractPage(view_->doc()->pdDoc, k);
            if (req.data.isEmpty()) continue;
        }
        t.pendingTicket = req.ticket;
        t.pendingRevision = rev;
        fe_.renderer().request(std::move(req));
    }
}

void Thumbnails::rendered(quint64 owner, int page, quint64 ticket, const QImage& image) {
    if (owner != owner_ || page < 0 || page >= static_cast<int>(thumbs_.size())) return;
    Thumb& t = thumbs_[static_cast<std::size_t>(page)];
    if (t.pendingTicket != ticket) return;  // superseded
    t.pendingTicket = 0;
    if (image.isNull()) return;
    t.revision = t.pendingRevision;
    QPixmap pix = QPixmap::fromImage(image);
    pix.setDevicePixelRatio(devicePixelRatioF());
    // Centred on a square, so that the items line up.
    QPixmap square(QSize(kSize, kSize) * devicePixelRatioF());
    square.setDevicePixelRatio(devicePixelRatioF());
    square.fill(Qt::transparent);
    QPainter p(&square);
    QSizeF s = pix.deviceIndependentSize();
    QPointF at((kSize - s.width()) / 2, (kSize - s.height()) / 2);
    p.drawPixmap(at, pix);
    p.setPen(QColor(150, 150, 150));
    p.drawRect(QRectF(at, s).adjusted(0, 0, -1, -1));
    p.end();
    if (QListWidgetItem* it = item(page)) it->setIcon(QIcon(square));
    // A page edited meanwhile is asked for again.
    if (view_ && t.revision != view_->pageRevision(page)) scheduleRequests();
}

bool Thumbnails::upToDate() const {
    if (!view_) return true;
    auto [first, last] = shownRows();
    for (int k = first; k <= last; ++k)
        if (thumbs_[static_cast<std::size_t>(k)].revision != view_->pageRevision(k)) return false;
    return true;
}

void Thumbnails::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    scheduleRequests();
}

void Thumbnails::scrollContentsBy(int dx, int dy) {
    QListWidget::scrollContentsBy(dx, dy);
    scheduleRequests();
}

void Thumbnails::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    scheduleRequests();
}

}  // namespace vexa::host::desktop
