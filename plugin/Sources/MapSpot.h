// Spot colour mapping: spot colours that are really black go to the Black plate, and
// the user may send others to a process plate. The renaming happens in the source's
// own colour spaces, so the imposed pages inherit it.
#pragma once

#include <string>
#include <vector>

#include "API.h"

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

// False only when the user cancelled the mapping dialog. Pairs (spot name, process
// name) for the Cyan, Magenta and Yellow choices are appended to pairs.
bool mapSpotColors(PDDoc doc, std::vector<std::string>& pairs);

// Makes the pairs the current mapping of the job information (setMapColorNames).
void makeMapCurrent(const std::vector<std::string>& pairs);
