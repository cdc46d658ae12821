// The imposition job and its dialog.
#pragma once

#include "API.h"

// True when the first page of doc holds a frame with a box number of 1 or more.
bool docIsTemplate(PDDoc doc);
