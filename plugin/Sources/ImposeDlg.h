// The imposition job and its dialog.
#pragma once

#include <string>
#include <vector>

#include "Common/API.h"

// ImposeData and ePlacing are shared with the hosts that run jobs through the
// plug-in's job table.
#include "VexaJobHFT.h"

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
