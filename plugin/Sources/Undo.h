// Undo steps of the editing commands.
//
// Before a command changes a sheet it records the sheet's page content (content
// stream, resources and copies of the frame dictionaries) as one record on the host's
// undo stack of the document. Undo and Redo are the same swap: the record's state goes
// into the page and the page's state into the record.
#pragma once

#include <cstdint>

#include "Common/API.h"

// The view value of an editing step that is not to be undone.
#define kNoUndo (reinterpret_cast<AVPageView>(static_cast<intptr_t>(-1)))

// Records the state of the view's current page before an editing command changes it
// (null: the page view of the front document; kNoUndo: nothing). False when nothing
// was recorded for want of a view; true otherwise, also when the record could not be
// made (the command then runs without an undo step).
bool prepareUndo(AVPageView view);

// Records the "TrimBox" of pages first to last of the view's document (null: the front
// document's view) before a command sets it: Undo brings back each page's box, or its
// lack of one. False when nothing was recorded for want of a view.
bool prepareTrimBoxUndo(AVPageView view, ASInt32 first, ASInt32 last);
