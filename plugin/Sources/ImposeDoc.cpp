#include "ImposeDoc.h"

#include "Palette.h"

namespace {
AVDoc gFrontDoc = nullptr;
}

ASBool doKeyDown(AVPageView, ASUns16, ASInt16, ASClientData) {
    // Keys are the editing tool's only while it is active.
    if (!myTool()) return false;
    return false;
}

void doImposeIdle() {}

void drawFrames(AVPageView) {}

void setFrontDoc(AVDoc doc) {
    gFrontDoc = doc;
}
AVDoc getFrontDoc() {
    return gFrontDoc;
}
