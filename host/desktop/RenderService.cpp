#include "desktop/RenderService.h"

#include <poppler-qt6.h>

#include <map>
#include <memory>

namespace vexa::host::desktop {
namespace {

constexpr std::size_t kFilesKept = 8;

void prepare(Poppler::Document& doc) {
    doc.setRenderHint(Poppler::Document::Antialiasing);
    doc.setRenderHint(Poppler::Document::TextAntialiasing);
    doc.setRenderHint(Poppler::Document::ThinLineSolid);
}

QImage renderPage(Poppler::Document* doc, int index, double dpiX, double dpiY, const QRect& area) {
    if (!doc || doc->isLocked() || index < 0 || index >= doc->numPages()) return {};
    std::unique_ptr<Poppler::Page> page = doc->page(index);
    if (!page) return {};
    if (area.isEmpty()) return page->renderToImage(dpiX, dpiY);
    return page->renderToImage(dpiX, dpiY, area.x(), area.y(), area.width(), area.height());
}

}  // namespace

RenderService::RenderService() : worker_([this] { run(); }) {}

RenderService::~RenderService() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void RenderService::request(RenderRequest r) {
    {
        std::lock_guard lock(mutex_);
        for (auto& q : queue_)
            if (q.owner == r.owner && q.page == r.page) {
                q = std::move(r);
                return;
            }
        queue_.push_back(std::move(r));
    }
    wake_.notify_one();
}

void RenderService::cancel(std::uint64_t owner) {
    std::lock_guard lock(mutex_);
    std::erase_if(queue_, [&](const RenderRequest& r) { return r.owner == owner; });
}

void RenderService::forgetFile(const QString& path) {
    {
        std::lock_guard lock(mutex_);
        forget_.push_back(path);
    }
    wake_.notify_one();
}

bool RenderService::busy() const {
    std::lock_guard lock(mutex_);
    return rendering_ || !queue_.empty();
}

void RenderService::run() {
    // The worker alone touches poppler: documents are loaded, kept and used here.
    std::map<QString, std::unique_ptr<Poppler::Document>> files;
    std::deque<QString> order;  // least recently used first
    for (;;) {
        RenderRequest r;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || !queue_.empty() || !forget_.empty(); });
            if (stop_) return;
            while (!forget_.empty()) {
                files.erase(forget_.front());
                std::erase(order, forget_.front());
                forget_.pop_front();
            }
            if (queue_.empty()) continue;
            r = std::move(queue_.front());
            queue_.pop_front();
            rendering_ = true;
        }
        QImage image;
        if (!r.data.isEmpty()) {
            std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(r.data);
            if (doc) {
                prepare(*doc);
                image = renderPage(doc.get(), 0, r.dpiX, r.dpiY, r.area);
            }
        } else if (!r.path.isEmpty()) {
            auto it = files.find(r.path);
            if (it == files.end()) {
                std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(r.path);
                if (doc) prepare(*doc);
                it = files.emplace(r.path, std::move(doc)).first;
                order.push_back(r.path);
                if (order.size() > kFilesKept) {
                    files.erase(order.front());
                    order.pop_front();
                }
            } else {
                std::erase(order, r.path);
                order.push_back(r.path);
            }
            image = renderPage(it->second.get(), r.filePage, r.dpiX, r.dpiY, r.area);
        }
        {
            std::lock_guard lock(mutex_);
            rendering_ = false;
        }
        quint64 owner = r.owner, ticket = r.ticket;
        int page = r.page;
        QMetaObject::invokeMethod(
            this, [this, owner, page, ticket, image] { emit rendered(owner, page, ticket, image); },
            Qt::QueuedConnection);
    }
}

}  // namespace vexa::host::desktop
