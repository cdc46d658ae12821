// The position dialog for the selected frames of the current page.
#pragma once

#include "Common/API.h"

void setPos();
// The position dialog for the selected frames of the page (null: the view's page); the
// undo step is recorded for the view.
void setPos(AVPageView view, PDPage page);
