// Frame dictionaries and the Cos helpers that create objects in the current document.
#pragma once

#include "API.h"

// The document in which the Cos helpers create new objects (none for no document).
void setCosDoc(PDDoc doc);
PDDoc getCosPDDoc();
