#include "ImposeDlg.h"

#include "BoxDesc.h"
#include "PageContent.h"

namespace {
bool pageFrameProc(CContent*, PDEElement frame, long, long data) {
    if (getBoxNum(frame) < 1) return true;
    *reinterpret_cast<bool*>(data) = true;
    return false;
}
}  // namespace

bool docIsTemplate(PDDoc doc) {
    if (!doc || pdDocGetNumPages(doc) < 1) return false;
    bool found = false;
    DURING
    CPage page(doc, 0);
    EnumForms(page.getPage(), pageFrameProc, reinterpret_cast<long>(&found), false, true);
    HANDLER(void) ERRORCODE;
    found = false;
    END_HANDLER
    return found;
}
