#include "Sources/Undo.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "Common/PageContent.h"
#include "Sources/Palette.h"
#include "platform/Platform.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"

namespace {

// One undo step: the state of one page of the document.
struct UndoRecord {
    ASInt32 pageNum;                 // -1 once released
    CosObj contents;                 // a content stream made from the page's content
    CosObj resources;                // its resources, "Properties" replaced by the copy below
    CosObj properties;               // own copies of the frame dictionaries
    std::vector<ASInt32> selection;  // the frames selected then (indices, selection order)
};

// Optional-content groups stay shared: a copy would be a layer of its own that the
// document's layer list does not know.
bool isOptionalContent(CosObj v) {
    if (cosObjGetType(v) != CosDict) return false;
    CosObj t = cosDictGet(v, "Type");
    if (cosObjGetType(t) != CosName) return false;
    ASAtom n = cosNameValue(t);
    return n == asAtomFromString("OCG") || n == asAtomFromString("OCMD");
}

struct CopyCtx {
    CosDoc doc;
    CosObj dst;
};

ASBool copyPropertyProc(CosObj key, CosObj value, ASClientData data) {
    auto* ctx = static_cast<CopyCtx*>(data);
    CosObj copy = isOptionalContent(value) ? value : cosObjCopy(value, ctx->doc, true);
    cosDictPut(ctx->dst, cosNameValue(key), copy);
    return true;
}

// The page's content as a new content stream and resources dictionary, with copies
// of the marked-content property lists, so that later edits of the frame dictionaries
// in place do not reach the record.
void takeSnapshot(PDDoc doc, ASInt32 pageNum, UndoRecord* rec) {
    CPage page(doc, pageNum);
    CosDoc cosDoc = pdDocGetCosDoc(doc);
    CosObj contents, resources;
    std::vector<ASInt32> selection = selectedFrameIndices(page.getPage());
    {
        PageContentRef content(page.getPage());
        pdeContentToCosObj(content.get(), kPDEContentToPage, nullptr, cosDoc, nullptr, &contents,
                           &resources);
    }

    CosObj properties;
    if (cosObjIsDictOrStream(resources)) {
        CosObj props = cosDictGet(resources, "Properties");
        if (cosObjGetType(props) == CosDict) {
            CopyCtx ctx{cosDoc, cosNewDict(cosDoc, false, cosDictLength(props))};
            cosObjEnum(props, copyPropertyProc, &ctx);
            properties = ctx.dst;
            cosDictPut(resources, "Properties", properties);
        }
    }
    rec->pageNum = pageNum;
    rec->contents = contents;
    rec->resources = resources;
    rec->properties = properties;
    rec->selection = std::move(selection);
}

void destroyObj(CosObj& o) {
    if (o.isNullHandle()) return;
    cosObjDestroy(o);
    o = CosObj();
}

ASBool destroyCopyProc(CosObj, CosObj value, ASClientData) {
    if (cosObjIsIndirect(value) && !isOptionalContent(value)) cosObjDestroy(value);
    return true;
}

// Everything the record made: its content stream and its copies of the frame
// dictionaries. None of it is part of a page while the record holds it.
void destroyRecordData(UndoRecord* rec) {
    destroyObj(rec->contents);
    if (!rec->properties.isNullHandle() && cosObjGetType(rec->properties) == CosDict)
        cosObjEnum(rec->properties, destroyCopyProc, nullptr);
    destroyObj(rec->properties);
    destroyObj(rec->resources);
}

ASBool canSwap(AVUndo undo) {
    auto* rec = static_cast<UndoRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    return rec && rec->pageNum >= 0;
}

// Undo and Redo: the record's state goes into the page, the page's into the record.
void swapRecord(AVUndo undo) {
    auto* rec = static_cast<UndoRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    if (!rec || rec->pageNum < 0) return;
    AVDoc avDoc = gAcroViewHFT->AVUndoGetAVDoc(undo);
    if (!avDoc) return;
    PDDoc doc = avDocGetPDDoc(avDoc);
    if (!doc || rec->pageNum >= pdDocGetNumPages(doc)) return;
    AVPageView view = avDocGetPageView(avDoc);
    if (view && avPageViewGetPageNum(view) != rec->pageNum)
        gAcroViewHFT->AVPageViewGoTo(view, rec->pageNum);

    UndoRecord now{};
    takeSnapshot(doc, rec->pageNum, &now);

    CPage page(doc, rec->pageNum);
    // The page's content is read anew from the swapped streams, and the frames that
    // were selected in that state are selected again.
    releaseSelectionHold(page.getPage());
    CosObj dict = pdPageGetCosObj(page.getPage());
    cosDictPut(dict, "Contents", rec->contents);
    cosDictPut(dict, "Resources", rec->resources);
    pdPageNotifyContentsDidChange(page.getPage());
    selectByIndex(page.getPage(), rec->selection);
    *rec = std::move(now);

    if (view) {
        gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
        gAcroViewHFT->AVPageViewDrawNow(view);
    }
    adjustPalette();
}

void releaseRecord(AVUndo undo) {
    auto* rec = static_cast<UndoRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    if (!rec) return;
    gAcroViewHFT->AVUndoSetData(undo, nullptr);
    if (rec->pageNum >= 0) {
        rec->pageNum = -1;
        // Only objects of the record itself: none of them is part of a page.
        logHostErrors("dropping an undo record", [rec] { destroyRecordData(rec); });
    }
    delete rec;
}

// A handler whose Undo and Redo are the same swap.
AVUndoHandler swapHandler(ASBool (*can)(AVUndo), void (*swap)(AVUndo), void (*release)(AVUndo)) {
    AVUndoHandler h{};
    h.size = sizeof(AVUndoHandler);
    h.type = gModuleName;
    h.CanUndo = can;
    h.CanRedo = can;
    h.Undo = swap;
    h.Redo = swap;
    h.Release = release;
    return h;
}

const AVUndoHandler& handler() {
    static const AVUndoHandler h = swapHandler(canSwap, swapRecord, releaseRecord);
    return h;
}

// The document of the view an undo step is recorded for (null: the front document's);
// false when there is none.
bool undoTarget(AVPageView& view, AVDoc* avDoc, PDDoc* doc) {
    if (view == kNoUndo) return false;
    if (!view) view = getFrontPageView();
    if (!view) return false;
    *avDoc = avPageViewGetAVDoc(view);
    *doc = *avDoc ? avDocGetPDDoc(*avDoc) : nullptr;
    return *doc != nullptr;
}

// Page boxes: one undo step for the "TrimBox" of a range of pages.
struct BoxRecord {
    struct Page {
        ASInt32 pageNum;
        bool had;
        ASFixedRect box;
    };
    std::vector<Page> pages;
};

void readBoxes(PDDoc doc, BoxRecord* rec) {
    for (BoxRecord::Page& p : rec->pages) {
        CPage page(doc, p.pageNum);
        p.had = page.getTrimBox(&p.box);
    }
}

ASBool canSwapBoxes(AVUndo undo) {
    auto* rec = static_cast<BoxRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    return rec && !rec->pages.empty();
}

// Undo and Redo: the recorded boxes go to the pages, the pages' boxes to the record.
void swapBoxes(AVUndo undo) {
    auto* rec = static_cast<BoxRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    AVDoc avDoc = gAcroViewHFT->AVUndoGetAVDoc(undo);
    PDDoc doc = avDoc ? avDocGetPDDoc(avDoc) : nullptr;
    if (!rec || !doc) return;
    BoxRecord now = *rec;
    readBoxes(doc, &now);
    ASAtom trim = asAtomFromString("TrimBox");
    ASInt32 count = pdDocGetNumPages(doc);
    for (const BoxRecord::Page& p : rec->pages) {
        if (p.pageNum >= count) continue;
        CPage page(doc, p.pageNum);
        if (p.had)
            gPDModelHFT->PDPageSetBox(page.getPage(), trim, p.box);
        else
            cosDictRemove(pdPageGetCosObj(page.getPage()), trim);
    }
    *rec = std::move(now);
    if (AVPageView view = avDocGetPageView(avDoc)) {
        gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
        gAcroViewHFT->AVPageViewDrawNow(view);
    }
    adjustPalette();
}

void releaseBoxes(AVUndo undo) {
    auto* rec = static_cast<BoxRecord*>(gAcroViewHFT->AVUndoGetData(undo));
    gAcroViewHFT->AVUndoSetData(undo, nullptr);
    delete rec;
}

const AVUndoHandler& boxHandler() {
    static const AVUndoHandler h = swapHandler(canSwapBoxes, swapBoxes, releaseBoxes);
    return h;
}

}  // namespace

bool prepareTrimBoxUndo(AVPageView view, ASInt32 first, ASInt32 last) {
    AVDoc avDoc = nullptr;
    PDDoc doc = nullptr;
    if (!undoTarget(view, &avDoc, &doc)) return false;
    auto* rec = new (std::nothrow) BoxRecord;
    if (!rec) return true;
    // Without a record the command still runs, and cannot be undone.
    if (!logHostErrors("recording the boxes for undo", [&] {
            for (ASInt32 i = first; i <= last && i < pdDocGetNumPages(doc); ++i)
                rec->pages.push_back({i, false, ASFixedRect{0, 0, 0, 0}});
            readBoxes(doc, rec);
            gAcroViewHFT->AVUndoNew(avDoc, &boxHandler(), rec);
        }))
        delete rec;
    return true;
}

bool prepareUndo(AVPageView view) {
    AVDoc avDoc = nullptr;
    PDDoc doc = nullptr;
    if (!undoTarget(view, &avDoc, &doc)) return false;
    auto* rec = new (std::nothrow) UndoRecord{};
    if (!rec) return true;
    // The host keeps no record while an Undo runs; ours is then dropped by it.
    if (!logHostErrors("recording a page for undo", [&] {
            takeSnapshot(doc, avPageViewGetPageNum(view), rec);
            gAcroViewHFT->AVUndoNew(avDoc, &handler(), rec);
        })) {
        // Without a record the command still runs; what the snapshot made is dropped.
        logHostErrors("dropping an undo record", [rec] { destroyRecordData(rec); });
        delete rec;
    }
    return true;
}
