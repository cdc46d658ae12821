// The selection of frames on a sheet.
#pragma once

#include "PageContent.h"

// Calls proc for every selected frame of the page (null: the current page of the
// front document); the page is written back when write is true.
bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write);
