#include "Scopes.h"

#include <cstdio>

#include "ErrorHandling.h"

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

void logHostError(const char* what, ASErrorCode code) {
    char text[256] = "";
    if (gCoreHFT) asGetErrorString(code, text, sizeof text);
    if (!text[0]) std::snprintf(text, sizeof text, "Error %d", static_cast<int>(code));
    dprintf("\t--\t%s: %s\n", what ? what : "", text);
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
