// Text primitives: fonts by name, text matrices, runs appended to text objects and
// single lines written into content lists.
#pragma once

#include "PIUtils.h"

// A font for a standard font name; null when none can be made. Release it.
PDEFont getFontFromName(const char* name);
// [size 0 0 size x y]
ASFixedMatrix getTextMatrix(ASFixed size, ASFixed x, ASFixed y);
// Adds one run with font, graphics state, colour and matrix, then advances the
// matrix's x by the run's width.
void addText(PDEText text, const char* str, PDEFont font, PDEGraphicState* gs,
             const PDEColorSpec* color, ASFixedMatrix* matrix);
// Adds a run 2 mm right of the text's current right edge with the font, graphics state
// and matrix of its last run, in color (released when release is true).
void appendString(PDEText text, const char* str, PDEColorSpec* color, bool release);
// One run in the "All" colour at (x, y) appended to the content; returns the text's
// width (0 when nothing was written).
ASFixed addTextToContent(PDEContent content, PDEFont font, ASFixed size, ASFixed x, ASFixed y,
                         const char* str);
// The bytes of the first run of a text element (256 bytes); false for other elements.
bool getFirstRunText(PDEElement elem, char* dst, ASInt32 size);
