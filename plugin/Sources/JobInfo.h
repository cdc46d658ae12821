// Job information (the slug line of a sheet, composed anew at each imposition) and
// text frames (a fixed text typed by the user).
#pragma once

#include <vector>

#include <ctime>
#include <string>

#include "Common/PageContent.h"

// While a scope lives, the slug lines written into one document share one indirect
// font dictionary instead of a dictionary of their own per sheet (an imposition of a
// thousand sheets would otherwise carry a thousand copies of the font's widths).
class SlugFontScope {
  public:
    SlugFontScope();
    ~SlugFontScope();
    SlugFontScope(const SlugFontScope&) = delete;
    SlugFontScope& operator=(const SlugFontScope&) = delete;
};

// Empties every job-information frame on the page; returns how many there were.
// Without write the change stays in the page's content as it is held by the caller,
// who writes it back.
long removeJobInfo(PDPage page, bool write = true);
// Composes the slug line into every job-information frame of the page (null doc: the
// current document). Host errors are reported with doExceptionError(0, code).
void addJobInfo(PDDoc doc, PDPage page);

// The "d" item of the slug text: "D.M.YYYY  HH:MM".
std::string formatSlugDate(const std::tm& t);

// Writes the slug text and the colour names into content at (x, y); returns the right
// edge of the written text. cmyk may be null (no process colours listed).
ASFixed addSlugline(PDDoc doc, ASInt32 pageIndex, PDEFont font, ASFixed size, PDEContent content,
                    ASFixed x, ASFixed y, const char* text, const ASUns8* cmyk, bool listSpots,
                    bool gray);

// Spot-name mapping shown by the slug line, as mapSpotColors hands it on: pairs of
// spot name, process name (count pairs). A separation named like a pair's process
// name is listed under the pair's spot name. Null clears it; the strings are copied.
void setMapColorNames(const char* const* pairs, ASInt32 count);

// The text of the slug line of one frame (without colours), as composed for a sheet:
// desc letters, the frame's "A"/"B" suffixes, the sheet label (may be empty) and the
// page numbers of the page frames present (in rising order, each once; may be null).
struct SlugInput {
    PDDoc doc;
    ASInt32 pageIndex;
    const char* label;
    const char* a;
    const char* b;
    const char* desc;
    const std::vector<ASInt32>* pages;
};
void composeSlugText(const SlugInput& in, char* text, ASInt32 size);

// The job-information dialog for one frame.
void doJobInfo(PDEElement frame);
// The dialog's result applied: A and B suffixes, the item letters, gray flag; the
// frame becomes a job-information frame.
void setJobInfo(PDEElement frame, const char* a, const char* b, const char* desc, bool gray);
// Frame walk: selects the first job-information frame and stops.
bool selectJobInfoProc(CContent* level, PDEElement frame, long index, long data);

// Text frames (box number -9).
void addTextFrame(PDPage page, ASFixedPoint& pt);
void addTextFrame(PDPage page, ASFixedPoint& pt, const char* text);
void doTextFrame(PDPage page, PDEElement frame);
// Writes text into the frame (content replaced) with its lower left at pt.
void writeTextFrame(PDEElement frame, const char* text, ASFixedPoint pt);
