// Pieces shared by the sheet-editing commands (sheet copies, duplicates, moving marks,
// position, bleed): finding the page a command works on, running over the selection
// with an undo step, and copying elements so that the copy owns what it is edited
// through.
#pragma once

#include "Common/PageContent.h"

class CMyDialog;

// A view value that asks for no undo step.
#define kNoUndoView (reinterpret_cast<AVPageView>(-1))

// The page a command works on: the given page, else the view's page, else the current
// page of the front document (null when there is none).
PDPage commandPage(AVPageView view, PDPage page);

// Records an undo step for the view (the front view when it shows the page; none for
// kNoUndoView) and calls proc for every selected frame of the page, topmost first,
// writing the page back. False when nothing is selected.
bool enumSelectionUndoable(AVPageView view, PDPage page, EnumFormsProc proc, long data);

// A copy of a frame dictionary in doc (indirect when the original is), without the
// transient selection marker "sel2".
CosObj copyFrameDict(CosObj dict, CosDoc doc);

// A deep copy of an element: nested containers are copied, every frame inside gets its
// own copy of its frame dictionary and every element its own clip, so that changing
// the copy never reaches the original. Other marked-content dictionaries (optional
// content, artifacts) stay shared. The caller releases it.
PDEElement copyElement(PDEElement elem);

// The value of a value field: the preset itself while the field still shows it as it
// was filled in, so that an untouched field does not drift by the rounding of its
// two decimals; otherwise what was typed.
ASFixed getFieldValue(CMyDialog* dialog, ASInt32 id, ASFixed preset, ASInt32 unit);
