#include "BoxDesc.h"

namespace {
PDDoc gCosPDDoc = nullptr;
}

void setCosDoc(PDDoc doc) {
    gCosPDDoc = doc;
}
PDDoc getCosPDDoc() {
    return gCosPDDoc;
}
