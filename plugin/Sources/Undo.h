// Undo steps of the editing commands.
#pragma once

#include "API.h"

// Records the state of the view's page before an editing command changes it (null:
// the page view of the front document).
void prepareUndo(AVPageView view);
