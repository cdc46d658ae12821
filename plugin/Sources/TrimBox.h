// The TrimBox command: a rectangle drawn on the current page becomes its TrimBox
// (or that of every page) after the "TrimBox" dialog.
#pragma once

#include "API.h"

void setTrimBox(ASFixedRect rect);
