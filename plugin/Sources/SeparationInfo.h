// Marking a document's pages as the plates of one colorant: "SeparationInfo" and page
// labels "Name:n".
#pragma once

#include "API.h"

// Works on the front document; true also after Cancel.
bool addSepInfo();
