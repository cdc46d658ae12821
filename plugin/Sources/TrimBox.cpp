#include "Sources/TrimBox.h"

#include <utility>

#include "settings/MyDialog.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SheetEdit.h"
#include "Sources/Undo.h"

namespace {

enum { kX = 4, kY = 6, kWidth = 8, kHeight = 10, kProcessAll = 11 };

struct TrimBoxDlg {
    TrimBoxValues v;
    bool all;
};

void trimOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* d = static_cast<TrimBoxDlg*>(data);
    ASInt32 unit = getDlgUnits();
    d->v.x = getFieldValue(dialog, kX, d->v.x, unit);
    d->v.y = getFieldValue(dialog, kY, d->v.y, unit);
    d->v.width = getFieldValue(dialog, kWidth, d->v.width, unit);
    d->v.height = getFieldValue(dialog, kHeight, d->v.height, unit);
    d->all = dialog->getValue(kProcessAll) != 0;
    dialog->endDialog(kCmdOK);
}

void trimSetup(CMyDialog* dialog, void* data) {
    auto* d = static_cast<TrimBoxDlg*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kX, d->v.x, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kY, d->v.y, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kWidth, d->v.width, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kHeight, d->v.height, unit, -1, 0x7FFFFFFF);
    dialog->setValue(kProcessAll, d->all ? 1 : 0);
    dialog->setFocus(kX);
    dialog->setHandler(1, trimOK, data);
}

}  // namespace

TrimBoxValues trimBoxToDialog(const ASFixedRect& r, const ASFixedRect& c, ASInt32 rotation) {
    ASFixed w = r.right - r.left, h = r.top - r.bottom;
    switch (rotation) {
        case 90:
            return {r.bottom - c.bottom, r.left - c.left, h, w};
        case 180:
            return {c.right - r.right, r.bottom - c.bottom, w, h};
        case 270:
            return {c.top - r.top, c.right - r.right, h, w};
        default:
            return {r.left - c.left, c.top - r.top, w, h};
    }
}

ASFixedRect trimBoxFromDialog(const TrimBoxValues& v, const ASFixedRect& c, ASInt32 rotation) {
    ASFixedRect r;
    switch (rotation) {
        case 90:  // the displayed width runs up the page, the height to the right
            r.bottom = c.bottom + v.x;
            r.left = c.left + v.y;
            r.top = r.bottom + v.width;
            r.right = r.left + v.height;
            break;
        case 180:
            r.right = c.right - v.x;
            r.bottom = c.bottom + v.y;
            r.left = r.right - v.width;
            r.top = r.bottom + v.height;
            break;
        case 270:
            r.top = c.top - v.x;
            r.right = c.right - v.y;
            r.bottom = r.top - v.width;
            r.left = r.right - v.height;
            break;
        default:
            r.left = c.left + v.x;
            r.top = c.top - v.y;
            r.right = r.left + v.width;
            r.bottom = r.top - v.height;
            break;
    }
    return r;
}

void setTrimBox(PDPage page, ASFixedRect rect) {
    if (!page) return;
    // A rectangle dragged up or to the left arrives with its edges swapped.
    if (rect.left > rect.right) std::swap(rect.left, rect.right);
    if (rect.bottom > rect.top) std::swap(rect.bottom, rect.top);
    ASFixedRect crop;
    pdPageGetCropBox(page, &crop);
    ASInt32 rotation = gPDModelHFT->PDPageGetRotate(page);
    TrimBoxDlg d{trimBoxToDialog(rect, crop, rotation), false};
    if (doModalDialog("TRIMBOX", trimSetup, &d) != kCmdOK) return;
    ASFixedRect box = trimBoxFromDialog(d.v, crop, rotation);
    ASAtom trim = asAtomFromString("TrimBox");
    PDDoc doc = pdPageGetDoc(page);
    ASInt32 n = pdDocGetNumPages(doc);
    // One undo step, for the page or for all pages, in the document shown.
    AVPageView view = getFrontPageView();
    if (view && avDocGetPDDoc(avPageViewGetAVDoc(view)) == doc) {
        ASInt32 index = gPDModelHFT->PDPageGetNumber(page);
        prepareTrimBoxUndo(view, d.all ? 0 : index, d.all ? n - 1 : index);
    }
    if (!d.all) {
        gPDModelHFT->PDPageSetBox(page, trim, box);
        return;
    }
    for (ASInt32 i = 0; i < n; ++i) {
        PageRef p(doc, i);
        gPDModelHFT->PDPageSetBox(p.get(), trim, box);
    }
}

void setTrimBox(ASFixedRect rect) {
    AVPageView view = getFrontPageView();
    if (!view) return;
    setTrimBox(avPageViewGetPage(view), rect);
    gAcroViewHFT->AVPageViewInvalidateRect(view, nullptr);
    gAcroViewHFT->AVPageViewDrawNow(view);
}
