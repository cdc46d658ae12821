#include "ContextMenu.h"

ASBool doRightClick(AVTool, AVPageView, AVDevCoord, AVDevCoord, ASInt16, ASInt16) {
    return true;
}
