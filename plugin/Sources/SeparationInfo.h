// Marking a document's pages as the plates of one colorant: "SeparationInfo" and page
// labels "Name:n".
#pragma once

#include "Common/API.h"

// Works on the front document; true also after Cancel.
bool addSepInfo();
// The same on doc.
bool addSepInfo(PDDoc doc);

// The one-line text dialog ("GETSTRING"), preset with text; on OK text receives what
// was typed (at most size - 1 bytes, 255 at most). True on OK.
bool getStringFromDlg(char* text, ASInt32 size);
// The colorant name proposed for doc: the first page label up to its first ":" (empty
// without one). name holds 256 bytes.
void getSepInfoName(PDDoc doc, char* name);
// Gives every page of doc the label "name:n" and a "SeparationInfo" for the colorant;
// an empty name removes both from every page.
void setSepInfo(PDDoc doc, const char* name);
