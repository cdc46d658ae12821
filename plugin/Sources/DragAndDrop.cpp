#include "Sources/DragAndDrop.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "Sources/Impose.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"

namespace {

// A drop without a mouse position lands at the page origin.
constexpr AVDevCoord kNoPoint = -99999;

// The one drop waiting for the next idle call; a new drop replaces it.
struct PendingDrop {
    AVDoc doc = nullptr;
    AVPageView view = nullptr;  // null: nothing pending
    AVDevCoord x = kNoPoint, y = kNoPoint;
    char path[512] = {0};
};

// What the drag highlights now: a frame, or a whole page (page -2: the drag left).
struct TrackState {
    AVDoc doc = nullptr;
    ASInt32 page = -2;
    bool onFrame = false;
    AVDevRect rect{0, 0, 0, 0};
};
// The drop handlers' state: their client data and that of the closing notification.
struct DropState {
    PendingDrop drop;
    TrackState track;
};
DropState gDropState;

DropState& dropState(ASClientData data) {
    return data ? *static_cast<DropState*>(data) : gDropState;
}

class WaitCursor {
  public:
    WaitCursor() { gAcroViewHFT->AVSysSetWaitCursor(true, 0); }
    ~WaitCursor() { gAcroViewHFT->AVSysSetWaitCursor(false, 0); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

AVDoc docOfWindow(AVWindow window) {
    if (!window) return nullptr;
    return findOpenDoc([&](AVDoc d) { return avDocGetAVWindow(d) == window; });
}

bool docIsOpen(AVDoc doc) {
    return findOpenDoc([&](AVDoc d) { return d == doc; }) != nullptr;
}

bool sameRect(const AVDevRect& a, const AVDevRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void removeHighlight(DropState& state, AVDoc doc) {
    gAcroViewHFT->AVDocSetDropHighlight(doc, nullptr);
    state.track = TrackState{};
}

// The rectangle of the frame under the mouse on the view's current page, in device
// space; false when no frame is there.
bool frameRectUnderMouse(AVPageView view, AVDevCoord x, AVDevCoord y, AVDevRect* rect) {
    bool found = false;
    // Unreadable content: the page itself is the target.
    logHostErrors("reading the frames under a drag", [&] {
        PageContentHold hold(avPageViewGetPage(view));
        if (PDEElement frame = getPDEForMouse(view, x, y)) {
            ASFixedRect r = getBBox(frame);
            gAcroViewHFT->AVPageViewRectToDevice(view, &r, rect);
            found = true;
        }
    });
    return found;
}

ASBool trackDrag(AVDoc doc, ASInt32 phase, const char* path, AVDevCoord x, AVDevCoord y,
                 ASClientData data) {
    DropState& state = dropState(data);
    TrackState& track = state.track;
    if (phase == AVDragLeave) {
        removeHighlight(state, doc);
        return false;
    }
    if (phase == AVDragEnter) track = TrackState{};
    AVPageView view = avDocGetPageView(doc);
    ASInt32 pageNum = view && isDroppablePath(path) ? getPageForMouse(view, x, y) : -1;
    if (pageNum < 0) {
        removeHighlight(state, doc);
        return false;
    }
    AVDevRect rect;
    bool onFrame = frameRectUnderMouse(view, x, y, &rect);
    bool samePage = track.doc == doc && track.page == pageNum;
    if (onFrame) {
        if (samePage && track.onFrame && sameRect(track.rect, rect)) return true;
    } else {
        if (samePage && !track.onFrame) return true;
        ASFixedRect crop;
        pdPageGetCropBox(avPageViewGetPage(view), &crop);
        gAcroViewHFT->AVPageViewRectToDevice(view, &crop, &rect);
    }
    gAcroViewHFT->AVDocSetDropHighlight(doc, &rect);
    track = TrackState{doc, pageNum, onFrame, rect};
    return true;
}

ASBool receiveDrop(AVDoc doc, const char* path, AVDevCoord x, AVDevCoord y, ASClientData data) {
    DropState& state = dropState(data);
    removeHighlight(state, doc);
    AVPageView view = avDocGetPageView(doc);
    if (!view || !isDroppablePath(path) || getPageForMouse(view, x, y) < 0) return false;
    // Nothing changes here: the next idle call places the file.
    PendingDrop& drop = state.drop;
    drop = PendingDrop{};
    drop.doc = doc;
    drop.view = view;
    drop.x = x;
    drop.y = y;
    std::snprintf(drop.path, sizeof drop.path, "%s", path);
    return true;
}

const AVDropHandlersRec kDropHandlers = {sizeof(AVDropHandlersRec), trackDrag, receiveDrop};

// The dropped document placed on the page under the drop point.
void placeDrop(const PendingDrop& drop, PDPage page, PDDoc src, PDDoc dst) {
    AVPageView view = drop.view;
    // The hit frame and the selection put on it must outlive the walks below.
    PageContentHold hold(page);
    PDEElement frame = nullptr;
    if (drop.x != kNoPoint) frame = getPDEForMouse(view, drop.x, drop.y);
    if (!frame) {
        ASFixedPoint p{0, 0};
        if (drop.x != kNoPoint) {
            gAcroViewHFT->AVPageViewDevicePointToPage(view, drop.x, drop.y, &p);
            p = getRoundedPt(p);
        }
        reportHostErrors(0, [&] { placePage(view, page, src, dst, p.h, p.v); });
        return;
    }
    PageViewOperation operation;
    clearSelection(view, false);
    setSelected(frame, true);
    bool center = getCenterOnDrop();
    ePlacing previous = center ? setPlacing(kPlaceCentered) : getPlacing();
    reportHostErrors(0, [&] { imposeDoc(dst, page, src, fixedOne, false); });
    if (center) setPlacing(previous);
    clearSelection(view, false);
}

}  // namespace

bool isDroppablePath(const char* path) {
    if (!path) return false;
    std::size_t n = std::strlen(path);
    // A longer path could not be kept whole in the pending drop.
    if (n < 4 || n >= sizeof(PendingDrop::path)) return false;
    return strcasecmp(path + n - 4, ".pdf") == 0;
}

ASInt32 getPageForMouse(AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!view) return -1;
    ASInt32 current = avPageViewGetPageNum(view);
    ASInt32 first = gAcroViewHFT->AVPageViewGetFirstVisiblePageNum(view);
    ASInt32 last = gAcroViewHFT->AVPageViewGetLastVisiblePageNum(view);
    if (first < 0 || last < first) first = last = current;
    for (ASInt32 i = first; i <= last; ++i) {
        gAcroViewHFT->AVPageViewSetPageNum(view, i);
        PDPage page = avPageViewGetPage(view);
        if (!page) continue;
        ASFixedPoint p;
        gAcroViewHFT->AVPageViewDevicePointToPage(view, x, y, &p);
        ASFixedRect crop;
        pdPageGetCropBox(page, &crop);
        if (p.h >= crop.left && p.h <= crop.right && p.v >= crop.bottom && p.v <= crop.top)
            return i;
    }
    gAcroViewHFT->AVPageViewSetPageNum(view, current);
    return -1;
}

namespace {
// A window that closes takes its pending drop with it.
void dropDocWillClose(const AVNotificationData* data, ASClientData clientData) {
    if (!data || !data->avDoc) return;
    DropState& state = dropState(clientData);
    if (state.drop.doc == data->avDoc) state.drop = PendingDrop{};
    if (state.track.doc == data->avDoc) state.track = TrackState{};
}
}  // namespace

void SetupDropTarget(AVWindow window) {
    AVDoc doc = docOfWindow(window);
    if (!doc) return;
    // Registered once: a registration left from before is removed first.
    gAcroViewHFT->AVAppUnregisterNotification(NSEL_AVDocWillClose, gExtensionID, dropDocWillClose,
                                              &gDropState);
    gAcroViewHFT->AVAppRegisterNotification(NSEL_AVDocWillClose, gExtensionID, dropDocWillClose,
                                            &gDropState);
    gAcroViewHFT->AVDocSetDropHandlers(doc, &kDropHandlers, &gDropState);
}

void doDropIdle() {
    if (!gDropState.drop.view) return;
    PendingDrop drop = gDropState.drop;
    gDropState.drop = PendingDrop{};
    // The window may have closed since the drop.
    if (!docIsOpen(drop.doc) || avDocGetPageView(drop.doc) != drop.view) return;
    WaitCursor wait;
    AVPageView view = drop.view;
    ASInt32 pageNum =
        drop.x == kNoPoint ? avPageViewGetPageNum(view) : getPageForMouse(view, drop.x, drop.y);
    if (pageNum < 0) return;
    PDDoc dst = avDocGetPDDoc(drop.doc);
    setEHMode(kEHAlert);
    PageRef page;
    DocRef src;
    reportHostErrors(0, [&] {
        page = PageRef(dst, pageNum);
        src = DocRef(gPDModelHFT->PDDocOpen(drop.path, true));
    });
    if (!page || !src) return;
    {
        CosDocScope cos(dst);
        // a sheet whose content cannot be read, say
        reportHostErrors(0, [&] { placeDrop(drop, page.get(), src.get(), dst); });
    }
    reportHostErrors(0, [&] {
        src.close();
        pdPageNotifyContentsDidChange(page.get());
    });
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}

bool placePage(AVPageView, PDPage page, PDDoc src, PDDoc dst, ASFixed x, ASFixed y) {
    if (!page || !src || !dst) return false;
    CosDocScope cos(dst);
    PDEForm form = getPageContent2(src, dst, 0, fixedOne);
    if (!form) return false;
    ElementRef formRef(form);
    // The page's TrimBox (or its box) with its own rotation, lower left at the origin.
    ASFixedRect trim;
    getTrimBox(form, trim);
    ASFixedMatrix m = getMatrixForRect(trim, 0, getFormRotation(form), fixedOne);
    pdeSetMatrix(form, &m);
    PDEContainer container = getContainerWithPDE(form, ASFixedPoint{x, y});
    if (!container) return false;
    ElementRef containerRef(container);
    setBoxNum(container, kBoxPlain);
    ASFixedRect sheet;
    pdPageGetCropBox(page, &sheet);
    ASFixed sheetWidth = sheet.right - sheet.left;
    if (trim.right - trim.left > sheetWidth) {
        // A page wider than the sheet gets a frame as wide as the sheet from x on.
        ASFixedRect r{x, y + (trim.top - trim.bottom), x + sheetWidth, y};
        setBBox(container, &r);
    }
    {
        PageContentRef content(page);
        pdeContentAddElem(content.get(), kPDEAfterLast, container);
        pdPageSetPDEContent(page);
    }
    pdPageNotifyContentsDidChange(page);
    return true;
}
