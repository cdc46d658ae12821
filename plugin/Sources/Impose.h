// The imposition engine: builds the sheets of a job out of template copies, numbers
// their frames by the binding scheme and places the source pages into them.
#pragma once

#include "ImposeDlg.h"

// Imposes the job; returns the new document (also in data->resultDoc), or null.
// Errors are reported with doExceptionError and counted in error-handling mode 2.
PDDoc imposeDocWithData(ImposeData* data);

// Places source pages into every page frame of every sheet of dst (box number n is
// source page n). Without a job the scale is 1.0 and the TrimBox question is asked.
void imposeDoc(PDDoc dst, PDDoc src, ImposeData* job);

// Places source pages into the selected frames of one sheet only; false when no
// placement context could be made.
bool imposeDoc(PDDoc dst, PDPage page, PDDoc src, long scale, bool ask);

// The "Place" flow on an open template: choose a source, fill the frames.
void imposeTemplate(PDDoc doc);

// Creep displacement of relative page p in a job of pageCount pages.
ASFixed getCreep(ASInt32 p, ASInt32 pageCount, ASFixed creep, ASFixed creepOffset);

// The output title: the source's file name without ".pdf" (any case) plus the
// suffix, shortened to fit size bytes while keeping the suffix whole.
void makeOutputTitle(const char* srcPath, const char* suffix, char* dst, size_t size);

// Counters of the last job (for the command line's summary).
struct ImposeStats {
    ASInt32 sheets;
    ASInt32 pagesPlaced;
    ASInt32 emptyFrames;
    bool stopped;  // Escape stopped the placing between sheets
};
const ImposeStats& getImposeStats();

// A scope object: begins an operation on the page view of the host's active document
// and ends it when it goes.
class PageViewOperation {
  public:
    PageViewOperation();
    ~PageViewOperation();
    PageViewOperation(const PageViewOperation&) = delete;
    PageViewOperation& operator=(const PageViewOperation&) = delete;

  private:
    AVPageView view_;
};
