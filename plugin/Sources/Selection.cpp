#include "Sources/Selection.h"

#include <algorithm>
#include <utility>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Sources/ImposeDoc.h"
#include "Common/Scopes.h"
#include "Sources/Undo.h"

namespace {

// ---- Held pages ---------------------------------------------------------------------

struct HeldPage {
    PDDoc doc;
    PDPage page;     // acquired here, with its content
    CosObj pageObj;  // the page's dictionary: who the page is, whatever else closes
    int pins;        // scopes that keep it held whatever is selected
    bool untilIdle;  // one of the pins lasts until the next idle pass
};
// The selection's state: the palette's cursor mode and the held pages.
struct SelectionState {
    ASInt32 cursorMode = 0;
    // Made on first use and destroyed only by shutdownSelection (the plug-in unloads):
    // its entries hold host objects, which must not be let go after the host has gone
    // at exit.
    std::vector<HeldPage>* heldStore = nullptr;
};
SelectionState gSel;
std::vector<HeldPage>& heldPages() {
    if (!gSel.heldStore) gSel.heldStore = new std::vector<HeldPage>;
    return *gSel.heldStore;
}

bool docInWindow(PDDoc doc) {
    return findOpenDoc([&](AVDoc d) { return avDocGetPDDoc(d) == doc; }) != nullptr;
}

bool cosDocInWindow(CosDoc cosDoc) {
    return findOpenDoc([&](AVDoc d) {
               PDDoc pd = avDocGetPDDoc(d);
               return pd && pdDocGetCosDoc(pd) == cosDoc;
           }) != nullptr;
}

// A document closed without the tool hearing of it took its pages along: its entries
// are only forgotten. (The page dictionary kept by an entry keeps its Cos document
// from being mistaken for a later one.)
void pruneHeld() {
    std::erase_if(heldPages(),
                  [](const HeldPage& h) { return !cosDocInWindow(cosObjGetDoc(h.pageObj)); });
}

std::vector<HeldPage>::iterator findHeld(PDPage page) {
    pruneHeld();
    if (!page) return heldPages().end();
    CosObj obj = pdPageGetCosObj(page);
    return std::find_if(heldPages().begin(), heldPages().end(), [&](const HeldPage& h) {
        return h.page == page && cosObjEqual(h.pageObj, obj);
    });
}

void letGo(const HeldPage& h) {
    PageRef page(h.page);
    logHostErrors("releasing a page's content", [&h] { pdPageReleasePDEContent(h.page); });
}

// ---- Walks ----------------------------------------------------------------------------

struct SelCtx {
    EnumFormsProc proc;
    long data;
    bool mark;  // write "sel2" before calling proc
};

bool selectedProc(CContent* level, PDEElement frame, long index, long data) {
    auto* ctx = reinterpret_cast<SelCtx*>(data);
    if (!getSelected(frame)) return true;
    // The selection order goes into the marker, so that it survives the write-back.
    if (ctx->mark) setSelected2(frame, getSelIndex(frame));
    return ctx->proc(level, frame, index, ctx->data);
}

struct CountCtx {
    ASInt32 count;
    PDEElement last;
    ASFixedRect rect;
    ASFixedRect bleed;
};

bool countProc(CContent*, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<CountCtx*>(data);
    if (!getSelected(frame)) return true;
    ASFixedRect r = getBBox(frame);
    ASFixedRect b = getBleedRect(frame);
    if (ctx->count++ == 0) {
        ctx->rect = r;
        ctx->bleed = b;
    } else {
        ctx->rect.left = std::min(ctx->rect.left, r.left);
        ctx->rect.bottom = std::min(ctx->rect.bottom, r.bottom);
        ctx->rect.right = std::max(ctx->rect.right, r.right);
        ctx->rect.top = std::max(ctx->rect.top, r.top);
        ctx->bleed.left = std::max(ctx->bleed.left, b.left);
        ctx->bleed.top = std::max(ctx->bleed.top, b.top);
        ctx->bleed.right = std::max(ctx->bleed.right, b.right);
        ctx->bleed.bottom = std::max(ctx->bleed.bottom, b.bottom);
    }
    ctx->last = frame;
    return true;
}

CountCtx countSelection(PDPage page) {
    CountCtx ctx{0, nullptr, {0, 0, 0, 0}, {0, 0, 0, 0}};
    page = getCurrentPage(page);
    if (page) EnumForms(page, countProc, reinterpret_cast<long>(&ctx), false, false);
    return ctx;
}

bool deselectProc(CContent*, PDEElement frame, long, long) {
    if (getSelected(frame)) setSelected(frame, false);
    return true;
}

// The trim-lines layer is no frame the user sees: like a click, selecting all leaves it.
bool selectProc(CContent*, PDEElement frame, long, long) {
    if (getBoxNum(frame) == kBoxTrimLines) return true;
    if (!getSelected(frame)) setSelected(frame, true);
    return true;
}

struct Marked {
    PDEElement frame;
    ASInt32 order;
};

bool collectMarkedProc(CContent*, PDEElement frame, long, long data) {
    ASInt32 order = getSelected2(frame);
    if (order >= 1) reinterpret_cast<std::vector<Marked>*>(data)->push_back({frame, order});
    return true;
}

struct IndexCtx {
    std::vector<std::pair<ASInt32, ASInt32>> found;  // selection order, index
};

bool indexProc(CContent*, PDEElement frame, long index, long data) {
    if (getSelected(frame))
        reinterpret_cast<IndexCtx*>(data)->found.push_back(
            {getSelIndex(frame), static_cast<ASInt32>(index)});
    return true;
}

// ---- Rotation -------------------------------------------------------------------------

// The rectangle turned by a quarter turn in place: left and bottom stay, width and
// height are exchanged.
ASFixedRect quarterTurned(const ASFixedRect& r) {
    ASFixed w = r.right - r.left, h = r.top - r.bottom;
    return ASFixedRect{r.left, r.bottom + w, r.left + h, r.bottom};
}

bool rotateProc(CContent*, PDEElement frame, long, long data) {
    auto degrees = static_cast<ASInt32>(data);
    ASInt32 box = getBoxNum(frame);
    if (box >= 1) {
        ASInt32 r = getFrameRotation(frame) + degrees;
        if (r > 270) r -= 360;
        setFrameRotation(frame, r);
    } else if (box == kBoxPlain) {
        ASFixedRect r = getBBox(frame);
        ASFixed w = r.right - r.left, h = r.top - r.bottom;
        ASFixedMatrix m;
        if (w >= h)
            m = ASFixedMatrix{0, fixedOne, -fixedOne, 0, r.left + r.top, r.bottom - r.left};
        else
            m = ASFixedMatrix{0, -fixedOne, fixedOne, 0, r.left - r.bottom, r.right + r.bottom};
        ASFixedRect t = quarterTurned(r);
        setBBox(frame, &t);
        moveElems(getContent(frame), &m);
    } else if (box == kBoxJobInfo) {
        ASFixedRect t = quarterTurned(getBBox(frame));
        setBBox(frame, &t);
    }
    return true;
}

}  // namespace

// ---- Pages and views ---------------------------------------------------------------------

AVPageView getFrontPageView() {
    AVDoc doc = avAppGetActiveDoc();
    return doc ? avDocGetPageView(doc) : nullptr;
}

PDPage getCurrentPage(PDPage page) {
    if (page) return page;
    AVPageView view = getFrontPageView();
    return view ? avPageViewGetPage(view) : nullptr;
}

void redrawDoc(PDDoc doc) {
    AVPageView view = nullptr;
    if (!doc) {
        view = getFrontPageView();
    } else {
        AVDoc found = findOpenDoc(
            [&](AVDoc d) { return avDocGetPDDoc(d) == doc && avDocGetPageView(d) != nullptr; });
        view = found ? avDocGetPageView(found) : nullptr;
    }
    if (!view) return;
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}

// ---- Held pages ---------------------------------------------------------------------------

void holdSelectionPage(PDPage page) {
    if (!page) return;
    // (findHeld may forget entries: end() is taken after it.)
    auto found = findHeld(page);
    if (found != heldPages().end()) return;
    PDDoc doc = pdPageGetDoc(page);
    ASInt32 n = gPDModelHFT->PDPageGetNumber(page);
    // Only pages of documents in windows: their closing lets the pages go. The content
    // of other documents lives as long as their own code holds it.
    if (!doc || n < 0 || !docInWindow(doc)) return;
    PageRef held(doc, n);
    // Unreadable content: the page is not held, and its frames cannot be selected.
    if (!logHostErrors("reading a page's content",
                       [&held] { pdPageAcquirePDEContent(held.get()); }))
        return;
    PDPage kept = held.release();
    heldPages().push_back({doc, kept, pdPageGetCosObj(kept), 0, false});
}

void keepSelection(PDPage page) {
    auto it = findHeld(page);
    if (it == heldPages().end() || it->pins > 0) return;
    if (countSelection(page).count > 0) return;
    it = findHeld(page);
    if (it == heldPages().end()) return;
    HeldPage h = *it;
    heldPages().erase(it);
    letGo(h);
}

void releaseSelectionPages(PDDoc doc) {
    std::vector<HeldPage> gone;
    for (auto it = heldPages().begin(); it != heldPages().end();) {
        if (!doc || it->doc == doc) {
            gone.push_back(*it);
            it = heldPages().erase(it);
        } else {
            ++it;
        }
    }
    for (const HeldPage& h : gone) letGo(h);
}

std::vector<ASInt32> selectedFrameIndices(PDPage page) {
    std::vector<ASInt32> indices;
    if (!page) return indices;
    IndexCtx ctx;
    EnumForms(page, indexProc, reinterpret_cast<long>(&ctx), false, true);
    std::sort(ctx.found.begin(), ctx.found.end());
    for (auto& f : ctx.found) indices.push_back(f.second);
    return indices;
}

std::vector<ASInt32> releaseSelectionHold(PDPage page) {
    auto it = findHeld(page);
    if (it == heldPages().end()) return {};
    std::vector<ASInt32> indices = selectedFrameIndices(page);
    it = findHeld(page);
    if (it == heldPages().end()) return indices;
    HeldPage h = *it;
    heldPages().erase(it);
    letGo(h);
    return indices;
}

void selectByIndex(PDPage page, const std::vector<ASInt32>& indices) {
    if (!page || indices.empty()) return;
    SelectionPageScope scope(page);
    PageContentRef content(page);
    logHostErrors("selecting frames again", [&] {
        ASInt32 n = pdeContentGetNumElems(content.get());
        for (ASInt32 i : indices) {
            if (i < 0 || i >= n) continue;
            PDEElement e = pdeContentGetElem(content.get(), i);
            if (pdeObjectGetType(e) != kPDEContainer) continue;
            CosObj dict = getVexaDict(e);
            if (!cosObjIsDictOrStream(dict) || !cosDictKnown(dict, "top")) continue;
            if (!getSelected(e)) setSelected(e, true);
        }
    });
}

SelectionPageScope::SelectionPageScope(PDPage page) : page_(page) {
    holdSelectionPage(page);
    auto it = findHeld(page);
    if (it != heldPages().end())
        ++it->pins;
    else
        page_ = nullptr;
}

SelectionPageScope::~SelectionPageScope() {
    if (!page_) return;
    auto it = findHeld(page_);
    if (it == heldPages().end()) return;  // let go meanwhile (the document closed)
    --it->pins;
    try {
        keepSelection(page_);
    } catch (...) {
        // Keeping the page held is harmless; it goes with the document.
    }
}

void shutdownSelection() {
    if (!gSel.heldStore) return;
    pruneHeld();
    releaseSelectionPages(nullptr);
    delete gSel.heldStore;
    gSel.heldStore = nullptr;
}

void releaseIdlePins() {
    pruneHeld();
    std::vector<PDPage> pages;
    for (HeldPage& h : heldPages())
        if (h.untilIdle) {
            h.untilIdle = false;
            --h.pins;
            pages.push_back(h.page);
        }
    for (PDPage p : pages) keepSelection(p);
}

ASInt32 heldSelectionPages() {
    pruneHeld();
    return static_cast<ASInt32>(heldPages().size());
}

// ---- Enumeration ------------------------------------------------------------------------

bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write, bool redraw) {
    page = getCurrentPage(page);
    if (!page || !proc) return false;
    if (countSelection(page).count == 0) return false;
    // Values written into the frame dictionaries belong to the page's document.
    if (PDDoc doc = pdPageGetDoc(page); doc != getCosPDDoc()) setCosDoc(doc);
    SelCtx ctx{proc, data, write};
    bool result;
    if (write) {
        // The content stays acquired over the write-back and the restore walk.
        SelectionPageScope scope(page);
        MovedClipsScope moved;
        result = EnumForms(page, selectedProc, reinterpret_cast<long>(&ctx), true, false);
        restoreSelection(page);
    } else {
        result = EnumForms(page, selectedProc, reinterpret_cast<long>(&ctx), false, false);
    }
    if (redraw) redrawDoc(pdPageGetDoc(page));
    return result;
}

bool EnumSelectionWithUndo(AVPageView view, PDPage page, EnumFormsProc proc, long data, bool write,
                           bool redraw) {
    if (view != kNoUndo && !view) view = getFrontPageView();
    if (!page && view && view != kNoUndo) page = avPageViewGetPage(view);
    page = getCurrentPage(page);
    if (!page || countSelection(page).count == 0) return false;
    prepareUndo(view);
    return EnumSelection(page, proc, data, write, redraw);
}

bool EnumSelectionWithUndo(AVPageView view, EnumFormsProc proc, long data) {
    return EnumSelectionWithUndo(view, nullptr, proc, data, true, false);
}

// ---- Queries ----------------------------------------------------------------------------

ASInt32 getSelCnt(PDPage page, PDEElement* elem) {
    CountCtx ctx = countSelection(page);
    if (elem) *elem = ctx.last;
    return ctx.count;
}

bool selAvail(PDPage page) {
    return getSelCnt(page) > 0;
}

PDEElement getSelectedPDE(PDPage page) {
    PDEElement e = nullptr;
    return getSelCnt(page, &e) == 1 ? e : nullptr;
}

bool getSelBBox(PDPage page, ASFixedRect* rect) {
    CountCtx ctx = countSelection(page);
    if (rect) *rect = ctx.rect;
    return ctx.count > 0;
}

ASFixedRect getBleedRect(PDPage page) {
    return countSelection(page).bleed;
}

void restoreSelection(PDPage page) {
    page = getCurrentPage(page);
    if (!page) return;
    SelectionPageScope scope(page);
    std::vector<Marked> marked;
    EnumForms(page, collectMarkedProc, reinterpret_cast<long>(&marked), false, true);
    std::stable_sort(marked.begin(), marked.end(),
                     [](const Marked& a, const Marked& b) { return a.order < b.order; });
    for (const Marked& m : marked) {
        setSelected2(m.frame, 0);
        setSelected(m.frame, true);
    }
}

PDEElement getPDEForMouse(AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!view) return nullptr;
    // The frame handed out stays valid, and a selection made on it stays, until the
    // next idle pass at least.
    PDPage page = avPageViewGetPage(view);
    holdSelectionPage(page);
    auto it = findHeld(page);
    if (it != heldPages().end() && !it->untilIdle) {
        it->untilIdle = true;
        ++it->pins;
    }
    MouseHit hit{{0, 0}, nullptr};
    gAcroViewHFT->AVPageViewDevicePointToPage(view, x, y, &hit.point);
    EnumForms(view, getPDEForMouseProc, reinterpret_cast<long>(&hit), false, false);
    return hit.frame;
}

// ---- Changing the selection -------------------------------------------------------------

void clearSelection(AVPageView view, bool redraw) {
    if (!view) view = getFrontPageView();
    if (!view) return;
    PDDoc doc = avDocGetPDDoc(avPageViewGetAVDoc(view));
    if (!doc) return;
    ASInt32 first = gAcroViewHFT->AVPageViewGetFirstVisiblePageNum(view);
    ASInt32 last = gAcroViewHFT->AVPageViewGetLastVisiblePageNum(view);
    if (first < 0 || last < first) first = last = avPageViewGetPageNum(view);
    ASInt32 n = pdDocGetNumPages(doc);
    for (ASInt32 i = std::max(first, 0); i <= last && i < n; ++i) {
        CPage page(doc, i);
        EnumForms(page.getPage(), deselectProc, 0, false, false);
        keepSelection(page.getPage());
    }
    if (redraw) {
        gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
        gAcroViewHFT->AVPageViewDrawNow(view);
    }
}

void clearAllSelections() {
    // Tags survive only on held content: the held pages are all there is to clear.
    pruneHeld();
    std::vector<HeldPage> held = heldPages();
    for (const HeldPage& h : held) {
        EnumForms(h.page, deselectProc, 0, false, false);
        keepSelection(h.page);
    }
    ASInt32 n = gAcroViewHFT->AVAppGetNumDocs();
    for (ASInt32 i = 0; i < n; ++i) {
        AVDoc doc = gAcroViewHFT->AVAppGetDocByIndex(i);
        AVPageView view = doc ? avDocGetPageView(doc) : nullptr;
        if (!view) continue;
        gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
        gAcroViewHFT->AVPageViewDrawNow(view);
    }
}

void selectAll(AVPageView view) {
    if (!view) view = getFrontPageView();
    PDPage page = view ? avPageViewGetPage(view) : nullptr;
    if (!page) return;
    {
        SelectionPageScope scope(page);
        EnumForms(page, selectProc, 0, false, false);
    }
    drawFrames(view);
}

void rotateFrames(PDPage page, ASInt32 degrees) {
    page = getCurrentPage(page);
    if (!page || countSelection(page).count == 0) return;
    prepareUndo(nullptr);
    EnumSelection(page, rotateProc, degrees, true, false);
    redrawDoc(pdPageGetDoc(page));
}

ASInt32 getCursorMode() {
    return gSel.cursorMode;
}
void setCursorMode(ASInt32 mode) {
    gSel.cursorMode = (mode >= 0 && mode <= 2) ? mode : 0;
}
