// The options of an imposition job in their text form, as the command line and job
// tickets give them: one reader of every value, so that "--creep 0.2mm" and a ticket's
// "creep": "0.2mm" cannot mean different things. Nothing here touches a document.
//
// Keys are the long option names without their dashes: "template", "second-sheet",
// "binding", "align", "creep", "scale", "pages", "map-spot", "spot-black", "output".
#pragma once

#include <string>

#include "VexaJobHFT.h"
#include "Common/Units.h"

// Problems of a job, counted and handed to the caller's procedure.
struct JobReport {
    VexaProblemProc proc = nullptr;
    void* data = nullptr;
    ASInt32 errors = 0;
    ASInt32 warnings = 0;

    void error(const char* option, const std::string& text);
    void warning(const char* option, const std::string& text);
};

// The largest creep per leaf a job accepts (5 mm) and the range of the scale (10 % to
// 1000 %), as the imposition dialog's fields have them.
constexpr ASFixed kMaxCreep = mm(5);
constexpr ASFixed kMinScale = 0x10000 / 10;
constexpr ASFixed kMaxScale = 10 * 0x10000;

// A length: a number (decimal point or comma, or a fraction such as "1/8") with an
// optional unit "pt", "mm", "cm", "in", "inch" or '"'; a bare number is in unit (1 pt,
// 2 inch, 3 mm, 4 cm). False with *why when the text is no length.
bool parseLength(const char* text, ASInt32 unit, ASFixed* out, std::string* why);
// A percentage: a number with an optional "%".
bool parsePercent(const char* text, ASFixed* out, std::string* why);
// "FROM-TO" of two page numbers.
bool parsePageRange(const char* text, ASInt32* from, ASInt32* to, std::string* why);

// The name of a unit as a user writes it ("mm"), for messages.
const char* unitName(ASInt32 unit);
// A length in the unit, "0.2 mm".
std::string lengthText(ASFixed value, ASInt32 unit);

// The folder of the templates installed with the plug-in: "template" and
// "second-sheet" also take the name of one of them when no file of that name is there.
void setTemplateLibrary(const char* folder);

// Sets one option; relative paths are taken from baseFolder. Problems name neither
// the option nor the value (the caller says how they were given).
bool setJobOption(VexaJob* job, const char* key, const char* value, const char* baseFolder,
                  JobReport& report);

// Sets the options of a job ticket: a JSON object whose keys are option names. Strings
// are read as setJobOption reads them; "creep" and "scale" may be numbers, "pages" an
// array [FROM, TO], "map-spot" an object {"NAME": "PLATE"} or an array of "NAME=PLATE",
// "spot-black" true or false, "second-sheet" null. Relative paths are taken from the
// ticket's folder; every problem names the ticket and the key. All or nothing: on any
// problem the job stays as it was.
bool readJobTicket(VexaJob* job, const char* text, std::size_t length, const char* ticketPath,
                   JobReport& report);
