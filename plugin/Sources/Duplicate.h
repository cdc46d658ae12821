// Duplicating the selected frames: in a row, or mirrored to the other half of the
// sheet.
#pragma once

#include "API.h"

void doDuplicate(AVPageView view, PDPage page);
// Duplicates the selected frames once by (dx, -dy) without asking.
void dupSelection(PDPage page, long dx, long dy);
void dupHor(AVPageView view, PDPage page);
void dupVer(AVPageView view, PDPage page);
