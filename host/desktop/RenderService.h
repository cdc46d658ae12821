// Renders pages with poppler on a worker thread of its own, so that the window never
// waits for a page. A request names either a file (a page of a document as it is on
// disk, loaded once and kept) or the bytes of a one-page PDF (a page as it is now, after
// edits). A newer request for the same page of the same view replaces one still
// queued; results come back on the GUI thread with the request's ticket, and the
// caller drops those it no longer wants.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace vexa::host::desktop {

struct RenderRequest {
    std::uint64_t owner = 0;  // who asked (a page view)
    int page = 0;             // the page of the owner's document
    QString path;             // render page `filePage` of this file, or
    int filePage = 0;
    QByteArray data;  // page 1 of this one-page PDF
    double dpiX = 72, dpiY = 72;
    QRect area;                // the part of the page image to render; empty: all of it
    std::uint64_t ticket = 0;  // handed back with the result
};

class RenderService : public QObject {
    Q_OBJECT

  public:
    RenderService();
    ~RenderService() override;
    RenderService(const RenderService&) = delete;
    RenderService& operator=(const RenderService&) = delete;

    // Queues a request (replacing a queued one of the same owner and page).
    void request(RenderRequest request);
    // Drops the queued requests of an owner.
    void cancel(std::uint64_t owner);
    // Forgets a file loaded for rendering (after it changed on disk or was closed).
    void forgetFile(const QString& path);
    // True while requests are queued or one is rendering (tests, benchmarks).
    bool busy() const;

  signals:
    // A finished page; a null image when the page could not be rendered.
    void rendered(quint64 owner, int page, quint64 ticket, const QImage& image);

  private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<RenderRequest> queue_;
    std::deque<QString> forget_;
    bool stop_ = false;
    bool rendering_ = false;
    std::thread worker_;
};

}  // namespace vexa::host::desktop
