// The Vexa plug-in's own table "VexaJob": imposition jobs for hosts that drive the
// plug-in without its dialog (the command line), and the records they share with it.
//
// A host fills a VexaJob with JobInit (the preferences are read, never written), sets
// options from their text form with JobSetOption or from a job ticket with
// JobReadTicket, asks JobCheck for every problem, and then runs JobImpose (or JobPlan
// for the sheet map without placing anything). The plug-in's dialog, palette and hot
// folder run their jobs through the same code, so a job means the same wherever it
// comes from. Texts are UTF-8, one line each, in the user's terms.
#pragma once

#include "HFT.h"

#define kVexaJobHFTName "VexaJob"
#define kVexaJobHFTVersion HFT_VERSION(1, 0)

// Alignment of pages in their frames.
enum ePlacing : ASInt32 {
    kPlaceTrimBoxIfAny = 0,  // the TrimBox when the page has one, else centred
    kPlaceTrimBox = 1,       // the page's TrimBox onto the frame's trim area
    kPlaceCentered = 2,      // centred on the frame's trim area
    kPlaceAdjustFrame = 3    // frames resized to the source's TrimBox, then centred
};

// Binding schemes (the numbers the imposition dialog's popup and the settings use).
enum eBinding : ASInt32 { kBindSaddleStitch = 1, kBindPerfect = 2, kBindEnvelope = 3 };

// One imposition job. Every creator clears the whole record to zero first and then
// sets what it needs. Paths are zero-terminated host-encoded strings.
struct ImposeData {
    char templatePath[512];
    char halfSheetPath[512];  // empty: no second sheet
    char srcPath[512];
    char outPath[512];  // empty: interactive job; else unattended (result only returned)
    PDDoc srcDoc;
    PDDoc resultDoc;  // out
    ASInt32 binding;  // an eBinding; any other value is refused
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

// A spot colour the job sends to a process plate or keeps.
enum { kVexaMaxSpots = 32 };
struct VexaSpotChoice {
    char name[128];  // the colorant name as the source has it
    char plate[16];  // "Cyan", "Magenta", "Yellow", "Black", or "" to keep it a spot colour
};

// VexaJob.given: the options set explicitly (from a command line or a ticket).
enum : ASUns32 {
    kVexaGivenTemplate = 1u << 0,
    kVexaGivenSecondSheet = 1u << 1,
    kVexaGivenBinding = 1u << 2,
    kVexaGivenAlign = 1u << 3,
    kVexaGivenCreep = 1u << 4,
    kVexaGivenScale = 1u << 5,
    kVexaGivenPages = 1u << 6,
    kVexaGivenMapSpot = 1u << 7,
    kVexaGivenSpotBlack = 1u << 8,
    kVexaGivenOutput = 1u << 9
};

// VexaJob.flags.
enum : ASUns32 {
    // The sheets carry the trim-lines layer as an interactive job shows it, though the
    // job has an output path (its result is only returned, not shown).
    kVexaJobTrimLinesLayer = 1u << 0
};

struct VexaJob {
    ASUns32 size;  // sizeof(VexaJob)
    ImposeData data;
    ASInt32 spotBlack;  // fold spot colours that are really black: -1 the preferences decide
    ASInt32 spotCount;  // entries of spots in use
    VexaSpotChoice spots[kVexaMaxSpots];
    ASUns32 given;     // kVexaGiven* bits
    ASUns32 flags;     // kVexaJob* bits
    ASInt32 dlgUnits;  // the unit of a bare number: 1 pt, 2 inch, 3 mm, 4 cm
};

// A problem found in a job: an error stops it before any work, a warning is said and
// the job goes on.
enum { kVexaWarning = 1, kVexaError = 2 };
struct VexaProblem {
    ASInt32 severity;    // kVexaWarning or kVexaError
    const char* option;  // the option it is about ("pages", "creep", "template", ...) or ""
    const char* text;    // one line, without the option's name or the program's
};
typedef void (*VexaProblemProc)(const VexaProblem* problem, void* clientData);

// What a spot colour of the source becomes.
enum { kVexaSpotKept = 0, kVexaSpotMapped = 1, kVexaSpotFolded = 2 };
struct VexaSpotOutcome {
    char name[128];
    char plate[16];  // the plate it prints on when mapped or folded
    ASInt32 how;     // kVexaSpot*
};

// What JobCheck found out about a job, beside its problems.
struct VexaJobFacts {
    ASUns32 size;           // sizeof(VexaJobFacts)
    ASInt32 errors;         // problems of kVexaError
    ASInt32 warnings;       // problems of kVexaWarning
    ASInt32 sourcePages;    // pages of the source
    ASInt32 jobPages;       // pages the job places (its range)
    ASInt32 trimBoxPages;   // of those, pages that have a TrimBox
    ASInt32 framesPerPass;  // the template's highest box number
    ASInt32 spotCount;      // entries of spots in use (the source's spot colours)
    VexaSpotOutcome spots[kVexaMaxSpots];
};

// The outcome of JobImpose.
struct VexaJobResult {
    ASUns32 size;  // sizeof(VexaJobResult)
    PDDoc doc;     // the imposed document (the caller saves and closes it), or null
    ASInt32 sheets;
    ASInt32 pagesPlaced;
    ASInt32 emptyFrames;
    ASInt32 errors;       // errors counted while the job ran (its own only)
    ASInt32 unreadPages;  // source pages that could not be read
    ASBool stopped;       // Escape stopped the placing between two sheets
};

// One frame of the sheet map of JobPlan.
struct VexaPlannedFrame {
    ASInt32 sheet;     // output page, from 0
    const char* side;  // its page label ("A1", "B1") or ""
    ASInt32 frame;     // the frame's number on that sheet, from 1, in paint order
    ASInt32 page;      // the source page placed into it, from 1; 0: the frame stays empty
    ASInt32 rotation;  // the frame's rotation in degrees (the page is turned with it)
    ASFixedRect trim;  // the frame's trim area on the sheet
    ASFixed creep;     // the page's creep displacement along the frame's x axis
};
typedef void (*VexaPlanProc)(const VexaPlannedFrame* frame, void* clientData);

struct VexaJobHFT {
    HFTHeader hdr;

    // Clears the job and fills it for the source document (may be null) with what a job
    // of the command line starts from: the preferences' template ("Impose"/"Template"),
    // saddle stitch, the TrimBox where the pages have one, no creep, 100 %, every page,
    // the preferences' spot-black folding and dialog unit.
    void (*JobInit)(VexaJob* job, PDDoc src);
    // Sets one option from its text form: key is the long option name without dashes
    // ("template", "binding", "creep", ...); relative paths are taken from baseFolder.
    // False (and a problem reported) when the key or the value is not accepted.
    ASBool (*JobSetOption)(VexaJob* job, const char* key, const char* value, const char* baseFolder,
                           VexaProblemProc proc, void* clientData);
    // Sets the options of a job ticket (a JSON object, length bytes); relative paths are
    // taken from the ticket's folder, and problems name ticketPath. False when any key or
    // value was refused (the job is then left as it was).
    ASBool (*JobReadTicket)(VexaJob* job, const char* text, ASInt32 length, const char* ticketPath,
                            VexaProblemProc proc, void* clientData);
    // Checks the job against its source and template; reports every problem and fills
    // facts (may be null). Returns the number of errors.
    ASInt32 (*JobCheck)(const VexaJob* job, VexaJobFacts* facts, VexaProblemProc proc,
                        void* clientData);
    // Builds the job's sheets without placing a page and reports every page frame of
    // every sheet; nothing is kept. False when the sheets could not be built.
    ASBool (*JobPlan)(const VexaJob* job, VexaPlanProc plan, void* planData, VexaProblemProc proc,
                      void* clientData);
    // Checks the job again for errors (the warnings are JobCheck's), which stop it
    // before any work, and runs it; reports the errors it counted while it ran.
    // Returns the imposed document (also in result->doc), or null.
    PDDoc (*JobImpose)(VexaJob* job, VexaJobResult* result, VexaProblemProc proc, void* clientData);
};
