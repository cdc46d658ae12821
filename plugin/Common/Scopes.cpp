#include "Common/Scopes.h"

#include "Common/ErrorHandling.h"

CosDoc gCosDoc = nullptr;

namespace {
PDDoc gCosPDDoc = nullptr;
}  // namespace

void setCosDoc(PDDoc doc) {
    gCosPDDoc = doc;
    gCosDoc = doc ? pdDocGetCosDoc(doc) : nullptr;
}

PDDoc getCosPDDoc() {
    return gCosPDDoc;
}

void restoreCosDoc(PDDoc doc) {
    if (!logHostErrors("making a document current again", [doc] { setCosDoc(doc); }))
        setCosDoc(nullptr);
}

void closeDoc(PDDoc doc) {
    PDDoc current = getCosPDDoc();
    setCosDoc(doc);
    logHostErrors("closing a document", [doc] { pdDocClose(doc); });
    restoreCosDoc(current == doc ? nullptr : current);
}

void logHostError(const char* what, ASErrorCode code) {
    dprintf("\t--\t%s: %s\n", what ? what : "", hostErrorText(code).c_str());
}

void giveBackElement(PDEObject o) {
    logHostErrors("releasing a content element", [o] { pdeRelease(o); });
}

void giveBackPage(PDPage page) {
    logHostErrors("releasing a page", [page] { pdPageRelease(page); });
}

void giveBackDoc(PDDoc doc) {
    logHostErrors("closing a document", [doc] { pdDocClose(doc); });
}
