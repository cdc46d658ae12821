// The sidebar of page thumbnails beside the page view of the document in front: small
// renderings made by the render service off the GUI thread, kept per page until the
// page is edited, asked for only while they show; a click turns the view to the page.
#pragma once

#include <QListWidget>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "desktop/PageView.h"

namespace vexa::host::desktop {

class DesktopFrontEnd;

class Thumbnails : public QListWidget {
    Q_OBJECT

  public:
    explicit Thumbnails(DesktopFrontEnd& frontEnd, QWidget* parent = nullptr);

    // Shows the pages of this view's document (none with null).
    void setView(PageView* view);
    PageView* view() const { return view_; }
    // The thumbnails of pages that show are rendered and up to date (tests).
    bool upToDate() const;
    static constexpr int kSize = 112;  // the longer side of a thumbnail, in pixels

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void showEvent(QShowEvent* event) override;

  private:
    void rebuild();       // one item per page
    void requestShown();  // asks for the thumbnails that show and are not current
    void scheduleRequests();
    void followPage();  // selects the view's current page
    void rendered(quint64 owner, int page, quint64 ticket, const QImage& image);
    std::pair<int, int> shownRows() const;

    struct Thumb {
        int revision = -1;  // of the rendering shown; -1: none yet
        std::uint64_t pendingTicket = 0;
        int pendingRevision = -1;
    };
    DesktopFrontEnd& fe_;
    QPointer<PageView> view_;
    std::uint64_t owner_;
    std::vector<Thumb> thumbs_;
    bool scheduled_ = false;
    bool following_ = false;
    std::vector<QMetaObject::Connection> viewConnections_;
};

}  // namespace vexa::host::desktop
