// Spot colour mapping: spot colours that are really black go to the Black plate, and
// the user may send others to a process plate. The renaming happens in the source's
// own colour spaces, so the imposed pages inherit it.
#pragma once

#include <string>
#include <vector>

#include "Common/API.h"
#include "VexaJobHFT.h"

// One spot colour of a document.
struct SpotColor {
    CosObj space;
    ASInt32 family;  // 6 Separation, 7 DeviceN
    std::string name;
    std::string alternate;
    ASInt32 mapping;  // 0 or 1 keep, 2 Cyan, 3 Magenta, 4 Yellow, 5 Black
};

// The distinct spot colours of the document, first occurrence first.
std::vector<SpotColor> collectSpotColors(PDDoc doc);

// Renames the colorant of the space (a one-colorant DeviceN becomes a Separation first).
void renameSpotColor(SpotColor& spot, const char* processName);

// Shows the mapping dialog when the preferences ask for it ("General"/"MapSpot": that
// many spot colours or more, not counting those folded into black) and appends the
// user's choices of process plates. False only when the user cancelled the dialog.
bool askSpotMapping(PDDoc doc, bool foldBlack, std::vector<VexaSpotChoice>& choices);

// What becomes of each spot colour of the document: a choice's plate, else Black when
// foldBlack and the colour is really black, else it stays. With pairs, the colours are
// renamed in every colour space of the document that names them, and pairs (spot name,
// process name) for the Cyan, Magenta and Yellow mappings are appended (the slug
// line's names); without, nothing changes.
std::vector<VexaSpotOutcome> mapSpotColorsWith(PDDoc doc, bool foldBlack,
                                               const VexaSpotChoice* choices, ASInt32 count,
                                               std::vector<std::string>* pairs);

// The dialog and the mapping together, with the preferences' black folding. False
// only when the user cancelled the mapping dialog.
bool mapSpotColors(PDDoc doc, std::vector<std::string>& pairs);

// Makes the pairs the current mapping of the job information (setMapColorNames).
void makeMapCurrent(const std::vector<std::string>& pairs);
