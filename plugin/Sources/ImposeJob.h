// An imposition job from its record to its result: the checks that run before any
// work, the sheet map of a dry run, and the run itself with its own errors counted.
// The dialog's OK, the palette's button, the hot folder and the job table (the command
// line) all run their jobs here, so that they cannot disagree.
#pragma once

#include <memory>

#include "Common/PageContent.h"
#include "Sources/JobOptions.h"
#include "VexaJobHFT.h"

// A job for src as the command line starts it: the preferences' template (read, never
// written) when that file exists, saddle stitch, the TrimBox where a page has one
// (centred otherwise), no creep, 100 %, every page, the preferences' spot-black folding
// and dialog unit; the trim lines shown as the dialog's job shows them.
void initImposeJob(VexaJob* job, PDDoc src);

// Checks the job against its source, template, second sheet and output; reports every
// problem (errors stop the job, warnings are what a press operator must know) and
// fills facts when given. Without warnings only the errors are looked for (and the
// facts leave out the pages with a TrimBox). Returns the number of errors.
ASInt32 checkImposeJob(const VexaJob* job, VexaJobFacts* facts, JobReport& report, bool warnings);

// The job's template as the last check opened it, when the file has not changed since:
// the caller owns the document and, in held, the hold on its sheets' content, which it
// lets go before closing the document (null otherwise; the check keeps what it read of
// the sheets for a later check of the same file). forgetCheckedTemplate closes a
// document no job took.
PDDoc takeCheckedTemplate(const char* path, std::unique_ptr<DocContentHold>* held);
void forgetCheckedTemplate();

// The page frames of a job's sheets: how many, how many stay empty and the highest
// source page placed, counted from the template's frame numbers without building the
// sheets (all zero when the template or second sheet cannot be read).
struct JobFrameCount {
    ASInt32 frames = 0;
    ASInt32 empty = 0;
    ASInt32 highest = 0;
};
JobFrameCount countJobFrames(const VexaJob* job);

// Builds the job's sheets without placing anything and calls plan for every page frame
// of every sheet; the sheets are thrown away. False when they could not be built.
bool planImposeJob(const VexaJob* job, VexaPlanProc plan, void* planData, JobReport& report);

// Checks the job (with its warnings, or only for errors) and runs it: spot colours
// mapped as it says, the log's "srcDoc" line, the
// engine. The errors the job itself counts (in error-handling mode 2) are in
// result->errors; with sayRunErrors they are reported too (source pages that could not
// be read once, with their count), else only logged. A job with an output path whose
// source pages mostly cannot be read gives no document. Returns the imposed document
// (also in result->doc when given), or null.
PDDoc runImposeJob(VexaJob* job, VexaJobResult* result, JobReport& report, bool sayRunErrors,
                   bool warnings);

// A problem procedure for jobs whose user reads the log: errors are reported as the
// error-handling mode says (logged and counted, or shown), warnings logged.
void logJobProblem(const VexaProblem* problem, void* clientData);

// The page range check of a job of pageCount pages (the dialog's OK beeps and focuses
// the field it names): 0 fine, 1 "From" is wrong, 2 "To" is wrong; *why says why.
ASInt32 checkPageRange(ASInt32 first, ASInt32 last, ASInt32 pageCount, std::string* why);

// Offers the job table "VexaJob" to the host (the plug-in's export callback).
bool exportJobTable();
