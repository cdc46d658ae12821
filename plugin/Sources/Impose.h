// The imposition engine: builds the sheets of a job out of template copies, numbers
// their frames by the binding scheme and places the source pages into them.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "Sources/ImposeDlg.h"
#include "Common/ProgressMonitor.h"

// Imposes the job; returns the new document (also in data->resultDoc), or null.
// Errors are reported with doExceptionError and counted in error-handling mode 2.
PDDoc imposeDocWithData(ImposeData* data);

// Places source pages into every page frame of every sheet of dst (box number n is
// source page n). Without a job the scale is 1.0 and the TrimBox question is asked.
void imposeDoc(PDDoc dst, PDDoc src, ImposeData* job);

// The frames of a job's template sheets, read once per job (Impose.cpp).
struct JobFrames;

// Places the source pages of a job into its sheets: the whole document at once
// (imposeDoc), or pass by pass as the sheets are added when the host writes the
// document as it is made; each pass is then placed and written ahead before the next
// one is added, so that a job holds one pass in memory, not the whole document. The
// job's shared resources and slug font scopes must be open while it lives.
class SheetPlacer {
  public:
    // Copies the source's information, resets the job's counters and starts the
    // progress bar for `sheets` sheets.
    SheetPlacer(PDDoc dst, PDDoc src, ImposeData* job, ASInt32 sheets);
    ~SheetPlacer();
    SheetPlacer(const SheetPlacer&) = delete;
    SheetPlacer& operator=(const SheetPlacer&) = delete;

    // Places sheets from to to - 1. After Escape, sheets keep their empty frames.
    void place(ASInt32 from, ASInt32 to);
    // A pass was added as sheets from to to - 1: runs the before-first-pass step once,
    // places the pass, calls placed(data) when given (the caller lets go of what it
    // held of the pass) and writes every sheet up to it ahead.
    void placePass(ASInt32 from, ASInt32 to, void (*placed)(void*) = nullptr, void* data = nullptr);
    void setBeforeFirstPass(void (*proc)(void*), void* data) {
        before_ = proc;
        beforeData_ = data;
    }
    // What the job read of its template's frames; the values of a pass's frames are
    // kept from renumbering to placing.
    JobFrames* frames() { return frames_.get(); }

  private:
    // Places sheet s; false when no placement context could be made (a host error
    // propagates).
    bool placeOne(ASInt32 s);
    void writeAhead(ASInt32 to);
    // Lets the host write and free the pages imported by the pass before that the pass
    // just written did not place again.
    void releaseImported();

    PDDoc dst_;
    PDDoc src_;
    ImposeData* job_;
    CProgressMonitor progress_;
    ASInt32 srcPages_ = 0;
    bool trimLines_ = false;
    bool writeFailed_ = false;
    void (*before_)(void*) = nullptr;
    void* beforeData_ = nullptr;
    std::unique_ptr<JobFrames> frames_;
    // Whether each source page's colours are plain (1), not (0) or not yet known (-1).
    std::vector<signed char> plainPages_;
    // The pages imported (source page index, form) by the pass being placed and by the
    // pass before it, while passes are placed as they come.
    using Imported = std::vector<std::pair<ASInt32, CosObj>>;
    Imported* importing_ = nullptr;
    Imported thisPass_, lastPass_;
};

// Places source pages into the selected frames of one sheet only; false when no
// placement context could be made.
bool imposeDoc(PDDoc dst, PDPage page, PDDoc src, long scale, bool ask);

// The "Place" flow on an open template: choose a source, fill the frames.
void imposeTemplate(PDDoc doc);

// The page a frame numbered b in the template stands for on a sheet of the pass that
// job describes, counted within the job's pages from 1 (the source page is
// job->pageOffset plus it; below 1 the frame gets no page).
ASInt32 passRelativePage(const ImposeData* job, ASInt32 b);

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
    bool stopped;                      // Escape stopped the placing between sheets
    std::vector<ASInt32> unreadPages;  // source pages (from 1) that could not be read, sorted
};
const ImposeStats& getImposeStats();

// True while a source page is being imported for placing: an error reported then is
// that page's.
bool importingPage();

// Switches of the jobs run while the scope lives (one job runs at a time): buildOnly
// makes imposeDocWithData build the sheets and number their frames but place nothing,
// show nothing and return the document; trimLinesLayer gives a job with an output path
// the trim lines an interactive job shows.
class ImposeModeScope {
  public:
    ImposeModeScope(bool buildOnly, bool trimLinesLayer);
    ~ImposeModeScope();
    ImposeModeScope(const ImposeModeScope&) = delete;
    ImposeModeScope& operator=(const ImposeModeScope&) = delete;

  private:
    bool buildOnly_;
    bool trimLinesLayer_;
};

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
