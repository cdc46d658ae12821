// The TrimBox command: a rectangle drawn on the current page becomes its TrimBox
// (or that of every page) after the "TrimBox" dialog.
#pragma once

#include "Common/API.h"

void setTrimBox(ASFixedRect rect);
// The command on the given page (its document for "Process all pages").
void setTrimBox(PDPage page, ASFixedRect rect);

// The dialog's values for a rectangle: X and Y of its top left corner from the top
// left of the page as displayed (turned by rotation) and its displayed width and
// height; and back.
struct TrimBoxValues {
    ASFixed x, y, width, height;
};
TrimBoxValues trimBoxToDialog(const ASFixedRect& rect, const ASFixedRect& crop, ASInt32 rotation);
ASFixedRect trimBoxFromDialog(const TrimBoxValues& v, const ASFixedRect& crop, ASInt32 rotation);
