#include "Sources/SheetEdit.h"

#include <cstring>

#include "Common/BoxDesc.h"
#include "settings/MyDialog.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/Undo.h"

PDPage commandPage(AVPageView view, PDPage page) {
    if (page) return page;
    if (view && view != kNoUndoView) return avPageViewGetPage(view);
    view = getFrontPageView();
    return view ? avPageViewGetPage(view) : nullptr;
}

bool enumSelectionUndoable(AVPageView view, PDPage page, EnumFormsProc proc, long data) {
    page = commandPage(view, page);
    if (!page || getSelCnt(page) == 0) return false;
    if (view != kNoUndoView) {
        if (!view) {
            AVPageView front = getFrontPageView();
            if (front && avPageViewGetPage(front) == page) view = front;
        }
        // Only a view that shows the page can take the undo step.
        if (view && avPageViewGetPage(view) == page) prepareUndo(view);
    }
    EnumSelection(page, proc, data, true);
    return true;
}

namespace {

struct DictCopy {
    CosObj dst;
    CosDoc doc;
};

ASBool copyEntryProc(CosObj key, CosObj value, ASClientData data) {
    auto* ctx = static_cast<DictCopy*>(data);
    ASAtom name = cosNameValue(key);
    if (std::strcmp(asAtomGetString(name), "sel2") == 0) return true;
    // Scalars and arrays are copied; indirect objects stay shared references.
    CosObj v = cosObjIsIndirect(value) ? value : cosObjCopy(value, ctx->doc, false);
    cosDictPut(ctx->dst, name, v);
    return true;
}

PDEClip copyClip(PDEClip clip);

// Gives an element copied with the host's copy its own clip and, for containers, its
// own frame dictionary and the same for everything inside.
void ownParts(PDEElement e) {
    if (PDEClip clip = pdeGetClip(e)) {
        PDEClip own = copyClip(clip);
        pdeSetClip(e, own);
        pdeRelease(own);
    }
    if (pdeObjectGetType(e) != kPDEContainer) return;
    CosObj dict;
    ASBool isInline = false;
    // Only frame dictionaries are copied: other marked content (optional content,
    // artifacts) keeps referring to the same objects as the original.
    if (gPDFEditReadHFT->PDEContainerGetDict(e, &dict, &isInline) && cosObjIsDictOrStream(dict) &&
        (cosDictKnown(dict, "top") || cosDictKnown(dict, "boxnum"))) {
        CosDoc doc = cosObjGetDoc(dict);
        if (!doc) doc = gCosDoc;
        CosObj own = copyFrameDict(dict, doc);
        pdeContainerSetDict(e, &own, isInline);
    }
    PDEContent content = pdeContainerGetContent(e);
    if (!content) return;
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) ownParts(pdeContentGetElem(content, i));
}

PDEClip copyClip(PDEClip clip) {
    ElementRef own(gPDFEditWriteHFT->PDEClipCreate());
    ASInt32 n = pdeClipGetNumElems(clip);
    for (ASInt32 i = 0; i < n; ++i) {
        ElementRef c(gPDFEditWriteHFT->PDEElementCopy(pdeClipGetElem(clip, i), 0));
        ownParts(c.get());
        gPDFEditWriteHFT->PDEClipAddElem(own.get(), i - 1, c.get());
    }
    return own.release();
}

}  // namespace

CosObj copyFrameDict(CosObj dict, CosDoc doc) {
    DictCopy ctx{cosNewDict(doc, cosObjIsIndirect(dict), 0), doc};
    cosObjEnum(dict, copyEntryProc, &ctx);
    return ctx.dst;
}

PDEElement copyElement(PDEElement elem) {
    ElementRef copy(gPDFEditWriteHFT->PDEElementCopy(elem, 0));
    ownParts(copy.get());
    return copy.release();
}

ASFixed getFieldValue(CMyDialog* dialog, ASInt32 id, ASFixed preset, ASInt32 unit) {
    char shown[32], text[256] = "";
    fixedToString(preset, unit, shown);
    dialog->getText(id, text, sizeof text);
    if (std::strcmp(shown, text) == 0) return preset;
    return getControlFixed(dialog, id);
}
