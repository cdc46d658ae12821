#include "ImposeDlg.h"

bool docIsTemplate(PDDoc doc) {
    // Frames are recognised by the frame walker, which arrives with the template model.
    (void)doc;
    return false;
}
