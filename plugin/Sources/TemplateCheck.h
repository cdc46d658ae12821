// Values of a template's page frames that cannot be right, checked before a job
// builds its sheets from the template.
#pragma once

#include "Common/API.h"

// Walks the page frames of every sheet of tmpl (name: its file name, for the messages):
// - a rotation that is not a multiple of 90 degrees is logged and set to 0 (in memory;
//   the template is never saved by a job), so that the page is not placed off its frame;
// - a box number larger than the count of page frames refuses the template: the
//   numbers of one template copy run from 1 up, so such a frame would take pages of
//   another copy and leave pages out (a number like 2147483647 would even empty every
//   sheet). The error names the sheet and the number;
// - numbers missing between 1 and the highest (where other numbers repeat, so that the
//   count of frames still reaches the highest) are logged: the pages they stand for are
//   left out of every pass.
// False when the template is refused (the error is reported and counted).
bool checkTemplateFrames(PDDoc tmpl, const char* name);
