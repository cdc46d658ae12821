// The application's document hooks over the document engine.
#include <qpdf/QPDFObjectHandle.hh>

#include "app/App.h"
#include "doc/DocInternal.h"

namespace vexa::host::app {
namespace {

const PDModelHFT& pdm() {
    return *doc::pdModelTable();
}

struct Page {
    PDPage page;
    Page(PDDoc d, ASInt32 n) : page(pdm().PDDocAcquirePage(d, n)) {}
    ~Page() { pdm().PDPageRelease(page); }
};

PDPage acquirePage(PDDoc d, ASInt32 n) {
    return pdm().PDDocAcquirePage(d, n);
}
void releasePage(PDPage p) {
    if (p) pdm().PDPageRelease(p);
}
ASInt32 numPages(PDDoc d) {
    return doc::isLiveDoc(d) ? pdm().PDDocGetNumPages(d) : 0;
}
void closeDoc(PDDoc d) {
    if (doc::isLiveDoc(d)) pdm().PDDocClose(d);
}
PDDoc openDoc(const char* path) {
    return pdm().PDDocOpen(path, true);
}

}  // namespace

bool engineCropAndRotation(PDDoc d, ASInt32 n, ASFixedRect* crop, ASInt32* rotate) {
    if (!doc::isLiveDoc(d) || n < 0 || n >= pdm().PDDocGetNumPages(d)) return false;
    Page p(d, n);
    pdm().PDPageGetCropBox(p.page, crop);
    *rotate = pdm().PDPageGetRotate(p.page);
    return true;
}

// Annotations with a rectangle, not hidden, that contain the point (edges included).
bool engineAnnotAt(PDDoc d, ASInt32 n, ASFixedPoint pt) {
    if (!doc::isLiveDoc(d) || n < 0 || n >= pdm().PDDocGetNumPages(d)) return false;
    Page p(d, n);
    return doc::guarded(genErrGeneral, [&] {
        QPDFObjectHandle annots = doc::pageObject(p.page).getKey("/Annots");
        if (!annots.isArray()) return false;
        int count = annots.getArrayNItems();
        for (int i = 0; i < count && i < 100000; ++i) {
            QPDFObjectHandle a = annots.getArrayItem(i);
            if (!a.isDictionary()) continue;
            QPDFObjectHandle f = a.getKey("/F");
            if (f.isInteger() && (f.getIntValue() & 2)) continue;  // hidden
            if (a.getKey("/Subtype").isNameAndEquals("/Popup")) continue;
            ASFixedRect r;
            if (!doc::rectOf(a.getKey("/Rect"), &r)) continue;
            if (pt.h >= r.left && pt.h <= r.right && pt.v >= r.bottom && pt.v <= r.top) return true;
        }
        return false;
    });
}

void useDocumentEngine(Application& app) {
    DocumentHooks& h = app.documentHooks;
    h.acquirePage = acquirePage;
    h.releasePage = releasePage;
    h.numPages = numPages;
    h.closeDoc = closeDoc;
    h.openDoc = openDoc;
    h.pageGeometry = engineCropAndRotation;
    h.annotAt = engineAnnotAt;
}

}  // namespace vexa::host::app
