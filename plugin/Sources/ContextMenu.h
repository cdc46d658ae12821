// The editing tool's context menu on the page view.
#pragma once

#include "API.h"

ASBool doRightClick(AVTool tool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                    ASInt16 clickCount);
