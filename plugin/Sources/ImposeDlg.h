// The imposition job and its dialog.
#pragma once

#include <string>
#include <vector>

#include "API.h"

// Alignment of pages in their frames.
enum ePlacing : ASInt32 {
    kPlaceTrimBoxIfAny = 0,  // the TrimBox when the page has one, else centred
    kPlaceTrimBox = 1,       // the page's TrimBox onto the frame's trim area
    kPlaceCentered = 2,      // centred on the frame's trim area
    kPlaceAdjustFrame = 3    // frames resized to the source's TrimBox, then centred
};

// One imposition job. Every creator clears the whole record to zero first and then
// sets what it needs. Paths are zero-terminated host-encoded strings.
struct ImposeData {
    char templatePath[512];
    char halfSheetPath[512];  // empty: no second sheet
    char srcPath[512];
    char outPath[512];  // empty: interactive job; else unattended (result only returned)
    PDDoc srcDoc;
    PDDoc resultDoc;  // out
    ASInt32 binding;  // 1 saddle stitch, 2 perfect binding, 3 envelope
    ePlacing placing;
    ASInt32 firstPage;  // 1-based; the engine's running low page counter
    ASInt32 lastPage;   // 1-based; the engine's running high page counter
    ASInt32 pageCount;
    ASInt32 pageOffset;
    ASInt32 framesPerPass;
    ASInt32 lowSpan;
    ASInt32 sheetNumber;
    ASInt32 passIndex;
    ASFixed creep;  // points per leaf
    ASFixed scale;  // 0x10000 = 100 %
    ASFixed creepOffset;
    ASFixedRect paperRect;
    ASBool askTrimMismatch;
};

// The current alignment of the running job; setPlacing returns the previous one.
ePlacing setPlacing(ePlacing placing);
ePlacing getPlacing();

// Runs the imposition dialog on a record whose srcDoc is set; true on OK.
bool getImposeData(ImposeData* data);

// The "Impose…" command on the front document: the Place flow on a template (unless
// Shift is held), else the dialog, the spot mapping and the job.
void imposeDoc(PDDoc doc);

// The palette's and the menu's "impose" command: logs errors while the job runs,
// then offers the log when errors were counted.
void doImposeCmd();

// Path pop-ups: the components of a path, file name first; reading from item k joins
// the items from the last down to k. A path naming no existing file reads as "".
std::vector<std::string> splitPathItems(const char* path);
std::string joinPathItems(const std::vector<std::string>& items, size_t k);

// True when the first page of doc holds a frame with a box number of 1 or more.
bool docIsTemplate(PDDoc doc);
