// New sheets, paper, plate and page size, the template data of a document, and frame
// numbering.
#pragma once

#include "Common/PIUtils.h"

#define kVexaVersionText "6.17"

// The new-sheet command; the new document, or null on Cancel.
PDDoc createTemplate();
// The new sheet without the dialog (what OK does with the dialog's values).
PDDoc createTemplate(ASFixed width, ASFixed height, bool jobInfo, bool gray);
// The paper-size command; doc, or null on Cancel.
PDDoc setPageSize(PDDoc doc);
void setPageSize(PDDoc doc, ASFixed width, ASFixed height, bool keepCentered);
// The plate command.
void setPlateSize(PDDoc doc);
// Puts the sheet onto the plate with offsets and size in points (offset 0: centred).
void setPlateSize(PDDoc doc, ASFixed xo, ASFixed yo, ASFixed plateW, ASFixed plateH);

// The paper on the sheet: true when the document has "PaperRect"; otherwise the first
// page's crop box and false.
bool getPaperRect(PDDoc doc, ASFixedRect& rect);
// Writes "PaperRect" [x y w h] into the template dictionary.
void setPaperRect(PDDoc doc, ASFixed x, ASFixed y, ASFixed w, ASFixed h);

// "Creator": the version stamp.
void addVersionInfo(PDDoc doc);
void setDocInfo(PDDoc doc, const char* key, long value);
long getDocInfoInt32(PDDoc doc, const char* key);

// The frame-number command on the current page.
void numberFrames(PDPage page);
// The numbering itself: text "+n"/"-n" adds to page frames, otherwise n is given to
// every selected frame, or n, n + 1, ... in selection order with inSequence.
void numberFrames(PDPage page, const char* text, bool inSequence);
