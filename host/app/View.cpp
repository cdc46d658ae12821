// Page views: layout, device <-> page conversion, redrawing with the display list, and
// the mouse.
#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

constexpr AVDevCoord kMargin = 8;  // around pages and between them

double toDouble(ASFixed f) {
    return f / 65536.0;
}

ASFixed toFixed(double d) {
    double v = std::round(d * 65536.0);
    if (v > 2147483647.0) return fixedPositiveInfinity;
    if (v < -2147483648.0) return fixedNegativeInfinity;
    return static_cast<ASFixed>(v);
}

AVDevCoord toDev(double d) {
    return static_cast<AVDevCoord>(std::clamp(std::lround(d), -1000000000L, 1000000000L));
}

AVDevRect normalised(AVDevCoord x1, AVDevCoord y1, AVDevCoord x2, AVDevCoord y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// Width and height in pixels of a page as shown.
std::pair<double, double> shownSize(const PageGeometry& g, ASFixed zoom) {
    double z = toDouble(zoom);
    double w = (toDouble(g.crop.right) - toDouble(g.crop.left)) * z;
    double h = (toDouble(g.crop.top) - toDouble(g.crop.bottom)) * z;
    if (g.rotate == 90 || g.rotate == 270) std::swap(w, h);
    return {w, h};
}

bool sameGeometry(const DrawOp& a, const DrawOp& b) {
    return a.kind == b.kind && a.rect.left == b.rect.left && a.rect.top == b.rect.top &&
           a.rect.right == b.rect.right && a.rect.bottom == b.rect.bottom && a.text == b.text &&
           a.size == b.size;
}

}  // namespace

ASInt32 Application::numPages(AVDoc doc) const {
    if (!doc || !doc->pdDoc || !documentHooks.numPages) return 1;
    ASInt32 n = documentHooks.numPages(doc->pdDoc);
    return n > 0 ? n : 1;
}

PageGeometry Application::pageGeometry(AVDoc doc, ASInt32 pageNum) const {
    PageGeometry g;
    if (!doc || !doc->pdDoc || !documentHooks.pageGeometry) return g;
    ASFixedRect crop{};
    ASInt32 rotate = 0;
    try {
        if (!documentHooks.pageGeometry(doc->pdDoc, pageNum, &crop, &rotate)) return g;
    } catch (const ASException&) {
        return g;
    }
    if (crop.right < crop.left) std::swap(crop.left, crop.right);
    if (crop.top < crop.bottom) std::swap(crop.top, crop.bottom);
    g.crop = crop;
    rotate %= 360;
    if (rotate < 0) rotate += 360;
    g.rotate = (rotate % 90 == 0) ? rotate : 0;
    return g;
}

AVDevRect Application::pageDeviceRect(AVPageView view, ASInt32 pageNum) const {
    const AVPageViewState& s = view->vs;
    AVDevCoord x = s.aperture.left + kMargin + s.originX;
    double y = s.aperture.top + kMargin + s.originY;
    if (s.layoutMode == AVPageViewContinuous) {
        for (ASInt32 k = s.topPage; k < pageNum; ++k)
            y += shownSize(pageGeometry(view->doc, k), s.zoom).second + kMargin;
        for (ASInt32 k = pageNum; k < s.topPage; ++k)
            y -= shownSize(pageGeometry(view->doc, k), s.zoom).second + kMargin;
    }
    auto [w, h] = shownSize(pageGeometry(view->doc, pageNum), s.zoom);
    AVDevCoord top = toDev(y);
    return {x, top, x + toDev(w), top + toDev(h)};
}

ASInt32 Application::firstVisiblePage(AVPageView view) const {
    return view->vs.layoutMode == AVPageViewContinuous ? view->vs.topPage : view->pageNum;
}

ASInt32 Application::lastVisiblePage(AVPageView view) const {
    if (view->vs.layoutMode != AVPageViewContinuous) return view->pageNum;
    ASInt32 n = numPages(view->doc);
    const AVPageViewState& s = view->vs;
    double y = s.aperture.top + kMargin + s.originY;
    ASInt32 last = s.topPage;
    for (ASInt32 k = s.topPage; k < n; ++k) {
        if (y >= s.aperture.bottom) break;
        last = k;
        y += shownSize(pageGeometry(view->doc, k), s.zoom).second + kMargin;
    }
    return last;
}

void Application::setLayoutMode(AVPageView view, ASInt32 mode) {
    if (mode != AVPageViewSinglePage && mode != AVPageViewContinuous) raise(genErrBadParm);
    if (view->vs.layoutMode == mode) return;
    view->vs.layoutMode = mode;
    view->vs.topPage = view->pageNum;
    view->vs.originX = view->vs.originY = 0;
    invalidate(view);
    if (frontEnd_) frontEnd_->viewChanged(view);
    AVNotificationData d{};
    d.selector = NSEL_AVPageViewDidChange;
    d.avDoc = view->doc;
    d.pdDoc = view->doc ? view->doc->pdDoc : nullptr;
    d.pageView = view;
    d.flags = 1;  // layout
    broadcast(d);
}

void Application::setZoom(AVPageView view, ASFixed zoom) {
    // 1 % to 6400 %.
    if (zoom < fixedOne / 100 || zoom > 64 * fixedOne) raise(genErrBadParm);
    view->vs.zoom = zoom;
    invalidate(view);
    if (frontEnd_) frontEnd_->viewChanged(view);
}

void Application::setAperture(AVPageView view, const AVDevRect& aperture) {
    view->vs.aperture = normalised(aperture.left, aperture.top, aperture.right, aperture.bottom);
    invalidate(view);
}

void Application::scrollView(AVPageView view, ASInt32 topPage, AVDevCoord originX,
                             AVDevCoord originY, ASInt32 currentPage) {
    if (!view || !view->doc) return;
    ASInt32 n = numPages(view->doc);
    AVPageViewState& s = view->vs;
    s.topPage = std::clamp(topPage, 0, n - 1);
    s.originX = originX;
    s.originY = originY;
    invalidate(view);
    currentPage = std::clamp(currentPage, 0, n - 1);
    if (currentPage == view->pageNum && view->page) return;
    setCurrentPage(view, currentPage);
    AVNotificationData d{};
    d.selector = NSEL_AVPageViewDidChange;
    d.avDoc = view->doc;
    d.pdDoc = view->doc->pdDoc;
    d.pageView = view;
    d.flags = 2;
    broadcast(d);
}

void Application::setCursor(ASInt32 shape) {
    if (shape == cursor) return;
    cursor = shape;
    if (frontEnd_) frontEnd_->cursorChanged(shape);
}

void Application::setCurrentPage(AVPageView view, ASInt32 pageNum) {
    if (!view || !view->doc) return;
    ASInt32 n = numPages(view->doc);
    pageNum = std::clamp(pageNum, 0, n - 1);
    if (pageNum == view->pageNum && (view->page || !documentHooks.acquirePage)) return;
    PDDoc pd = view->doc->pdDoc;
    PDPage page = nullptr;
    if (pd && documentHooks.acquirePage && documentHooks.numPages && documentHooks.numPages(pd) > 0)
        page = documentHooks.acquirePage(pd, pageNum);
    if (view->page && documentHooks.releasePage) documentHooks.releasePage(view->page);
    view->page = page;
    view->pageNum = pageNum;
}

void Application::pointToDevice(AVPageView view, const ASFixedPoint& p, AVDevCoord* x,
                                AVDevCoord* y) const {
    PageGeometry g = pageGeometry(view->doc, view->pageNum);
    AVDevRect pr = pageDeviceRect(view, view->pageNum);
    double z = toDouble(view->vs.zoom);
    double px = toDouble(p.h), py = toDouble(p.v);
    double l = toDouble(g.crop.left), b = toDouble(g.crop.bottom), r = toDouble(g.crop.right),
           t = toDouble(g.crop.top);
    double dx = 0, dy = 0;
    switch (g.rotate) {
        case 90:
            dx = (py - b) * z;
            dy = (px - l) * z;
            break;
        case 180:
            dx = (r - px) * z;
            dy = (py - b) * z;
            break;
        case 270:
            dx = (t - py) * z;
            dy = (r - px) * z;
            break;
        default:
            dx = (px - l) * z;
            dy = (t - py) * z;
    }
    if (x) *x = pr.left + toDev(dx);
    if (y) *y = pr.top + toDev(dy);
}

ASFixedPoint Application::deviceToPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const {
    return deviceToPoint(view, view->pageNum, x, y);
}

ASFixedPoint Application::deviceToPoint(AVPageView view, ASInt32 pageNum, AVDevCoord x,
                                        AVDevCoord y) const {
    PageGeometry g = pageGeometry(view->doc, pageNum);
    AVDevRect pr = pageDeviceRect(view, pageNum);
    double z = toDouble(view->vs.zoom);
    double u = (x - pr.left) / z, v = (y - pr.top) / z;
    double l = toDouble(g.crop.left), b = toDouble(g.crop.bottom), r = toDouble(g.crop.right),
           t = toDouble(g.crop.top);
    double px = 0, py = 0;
    switch (g.rotate) {
        case 90:
            py = b + u;
            px = l + v;
            break;
        case 180:
            px = r - u;
            py = b + v;
            break;
        case 270:
            py = t - u;
            px = r - v;
            break;
        default:
            px = l + u;
            py = t - v;
    }
    return {toFixed(px), toFixed(py)};
}

AVDevRect Application::rectToDevice(AVPageView view, const ASFixedRect& r) const {
    AVDevCoord x1, y1, x2, y2;
    pointToDevice(view, {r.left, r.top}, &x1, &y1);
    pointToDevice(view, {r.right, r.bottom}, &x2, &y2);
    return normalised(x1, y1, x2, y2);
}

ASFixedRect Application::deviceRectToPage(AVPageView view, const AVDevRect& r) const {
    ASFixedPoint a = deviceToPoint(view, r.left, r.top);
    ASFixedPoint b = deviceToPoint(view, r.right, r.bottom);
    return {std::min(a.h, b.h), std::max(a.v, b.v), std::max(a.h, b.h), std::min(a.v, b.v)};
}

ASInt32 Application::pageAtPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const {
    for (ASInt32 k = firstVisiblePage(view); k <= lastVisiblePage(view); ++k) {
        AVDevRect r = pageDeviceRect(view, k);
        if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) return k;
    }
    return -1;
}

bool Application::annotAtPoint(AVPageView view, AVDevCoord x, AVDevCoord y) const {
    if (!view || !view->doc || !view->doc->pdDoc || !documentHooks.annotAt) return false;
    ASInt32 k = pageAtPoint(view, x, y);
    if (k < 0) return false;
    // Convert on the page under the point, whichever page is current.
    _t_AVPageView probe;
    probe.doc = view->doc;
    probe.pageNum = k;
    probe.vs = view->vs;
    probe.vs.drawn.clear();
    probe.vs.drawing.clear();
    ASFixedPoint p = deviceToPoint(&probe, x, y);
    try {
        return documentHooks.annotAt(view->doc->pdDoc, k, p);
    } catch (const ASException&) {
        return false;
    }
}

void Application::invalidate(AVPageView view) {
    if (view) view->vs.invalid = true;
}

void Application::redraw(AVPageView view) {
    if (!view || !view->doc) return;
    AVPageViewState& s = view->vs;
    s.invalid = true;
    if (s.operationDepth > 0 || s.inDraw) return;
    s.inDraw = true;
    s.drawing.clear();
    s.color = {0, 0, 0};
    s.pen = AVPenSolid;
    s.penWidth = 1;
    s.dash = s.gap = 0;
    AVDevRect update = s.aperture;
    std::size_t n = drawProcs_.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (drawProcs_[i].removed) continue;
        DrawProc p = drawProcs_[i];
        try {
            p.proc(view, &update, p.data);
        } catch (const ASException& e) {
            warn("a page-view drawing procedure failed: " + errorText(e.code()));
        }
    }
    std::erase_if(drawProcs_, [](const DrawProc& p) { return p.removed; });
    s.drawn = std::move(s.drawing);
    s.drawing.clear();
    s.inDraw = false;
    s.invalid = false;
    ++s.redraws;
    if (frontEnd_) frontEnd_->viewDrawn(view);
    AVNotificationData d{};
    d.selector = NSEL_AVPageViewDidDraw;
    d.avDoc = view->doc;
    d.pdDoc = view->doc->pdDoc;
    d.pageView = view;
    broadcast(d);
}

void Application::flushRedraws() {
    for (std::size_t i = 0; i < docs_.size(); ++i) {
        AVPageView v = &docs_[i]->view;
        if (v->vs.invalid && v->vs.operationDepth == 0) redraw(v);
    }
}

void Application::beginOperation(AVPageView view) {
    if (view) ++view->vs.operationDepth;
}

void Application::endOperation(AVPageView view) {
    if (!view || view->vs.operationDepth == 0) return;
    if (--view->vs.operationDepth == 0 && view->vs.invalid) redraw(view);
}

void Application::registerDrawProc(AVPageViewDrawProc proc, ASClientData data) {
    if (proc) drawProcs_.push_back({proc, data});
}

void Application::unregisterDrawProc(AVPageViewDrawProc proc, ASClientData data) {
    for (auto& p : drawProcs_)
        if (p.proc == proc && p.data == data) p.removed = true;
}

// Drawing outside a redraw paints over what the view shows: a new operation at the
// place of an older one of the same kind covers it.
void addDrawOp(AVPageView view, DrawOp op) {
    AVPageViewState& s = view->vs;
    op.color = s.color;
    op.pen = s.pen;
    op.width = s.penWidth;
    op.dash = s.dash;
    op.gap = s.gap;
    if (s.inDraw) {
        s.drawing.push_back(std::move(op));
        return;
    }
    std::erase_if(s.drawn, [&](const DrawOp& o) { return sameGeometry(o, op); });
    s.drawn.push_back(std::move(op));
    if (Application::exists())
        if (FrontEnd* fe = Application::current().frontEnd()) fe->viewDrawn(view);
}

void Application::beginMouse(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    if (view->doc != front_) setFrontDoc(view->doc);
    mouse_ = {};
    mouse_.view = view;
    mouse_.x = x;
    mouse_.y = y;
    mouse_.modifiers = flags;
}

bool Application::click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                        ASInt16 clickCount,
                        const std::vector<std::pair<AVDevCoord, AVDevCoord>>& path) {
    if (!view || !view->doc) return false;
    AVDoc doc = view->doc;
    beginMouse(view, x, y, flags);
    mouse_.down = true;
    mouse_.path.assign(path.begin(), path.end());
    bool handled = false;
    AVTool tool = doc->activeTool;
    // What a tool changes with the mouse it moves: named when the step is made
    // (newUndo), by the Option key held then.
    struct Gesture {
        bool& on;
        bool saved;
        ~Gesture() { on = saved; }
    } gesture{gesture_, gesture_};
    gesture_ = true;
    gestureStart_ = {x, y};
    try {
        if (tool && tool->record && tool->record->DoClick)
            handled = tool->record->DoClick(tool, view, x, y, flags, clickCount);
    } catch (...) {
        while (mouseStillDown()) {
        }
        mouse_.modifiers = 0;
        throw;
    }
    // The rest of the gesture happens whether the tool followed it or not.
    while (mouseStillDown()) {
    }
    mouse_.modifiers = 0;
    return handled;
}

bool Application::rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    if (!view || !view->doc) return false;
    AVDoc doc = view->doc;
    beginMouse(view, x, y, flags);
    bool handled = false;
    AVTool tool = doc->activeTool;
    // The item chosen in the pop-up menu it shows names the action (popUp).
    struct Named {
        Application& a;
        bool mine, saved;
        ~Named() {
            if (mine) a.actionName_.clear();
            a.popupNames_ = saved;
        }
    } named{*this, actionName_.empty(), popupNames_};
    popupNames_ = named.mine;
    try {
        if (tool && tool->record && tool->record->DoRightClick)
            handled = tool->record->DoRightClick(tool, view, x, y, flags, 1);
    } catch (...) {
        mouse_.modifiers = 0;
        throw;
    }
    mouse_.modifiers = 0;
    return handled;
}

bool Application::pageViewKey(AVPageView view, ASUns16 key, ASInt16 flags) {
    if (!view || !view->doc) return false;
    struct Held {
        MouseState& m;
        ASInt16 saved;
        ~Held() { m.modifiers = saved; }
    } held{mouse_, mouse_.modifiers};
    mouse_.modifiers = flags;
    // Arrow keys move what is selected; Delete and Backspace delete it.
    const char* name = "";
    if (key >= 28 && key <= 31)
        name = "Move";
    else if (key == 127 || key == 8)
        name = "Delete";
    NamedAction action(*this, name);
    AVTool tool = view->doc->activeTool;
    if (tool && tool->record && tool->record->DoKeyDown &&
        tool->record->DoKeyDown(tool, key, flags))
        return true;
    return keyDown(view, key, flags);
}

ASInt32 Application::mouseMoved(AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!view || !view->doc) return cursor;
    if (!mouse_.down) {
        mouse_.view = view;
        mouse_.x = x;
        mouse_.y = y;
    }
    AVTool tool = view->doc->activeTool;
    bool adjusted = false;
    if (tool && tool->record && tool->record->AdjustCursor)
        adjusted = tool->record->AdjustCursor(tool, view, x, y);
    if (!adjusted) setCursor(AVCursorArrow);
    return cursor;
}

bool Application::mouseStillDown() {
    if (!mouse_.down) return false;
    bool down = frontEnd_ ? frontEnd_->trackMouse(mouse_) : FrontEnd::followPath(mouse_);
    if (!down) mouse_.down = false;
    return down;
}

AVDevRect Application::dragRect(AVPageView view, AVDevCoord x, AVDevCoord y) {
    while (mouseStillDown())
        if (frontEnd_)
            frontEnd_->dragFeedback(view, DragFeedback::RubberBand,
                                    normalised(x, y, mouse_.x, mouse_.y));
    if (frontEnd_) frontEnd_->dragFeedback(view, DragFeedback::None, {});
    return normalised(x, y, mouse_.x, mouse_.y);
}

AVDevRect Application::dragOutline(AVPageView view, AVDevCoord x, AVDevCoord y,
                                   const AVDevRect& start) {
    AVDevRect r = normalised(start.left, start.top, start.right, start.bottom);
    auto moved = [&] {
        AVDevCoord dx = mouse_.x - x, dy = mouse_.y - y;
        return AVDevRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
    };
    while (mouseStillDown())
        if (frontEnd_) frontEnd_->dragFeedback(view, DragFeedback::Outline, moved());
    if (frontEnd_) frontEnd_->dragFeedback(view, DragFeedback::None, {});
    return moved();
}

}  // namespace vexa::host::app
