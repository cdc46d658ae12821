// The frame grid command and the one place where a single new frame is made.
#pragma once

#include "Common/PageContent.h"

// The "Frames…" command on the page of the active document's page view.
void addFrames();
// The grid without the dialog: rows × cols frames of width × height with the gaps,
// centred on the page (width and height as seen upright; rotation 90 turns them).
void addFrames(PDPage page, ASInt32 rows, ASInt32 cols, ASFixed width, ASFixed deltaW,
               ASFixed height, ASFixed deltaH, ASInt32 rotation);
// One frame of rect's size with its lower left at pt, appended to the page content
// (drawn on top): an empty "TrimFrame" container and its trim lines.
void createFrame(PDPage page, ASFixedPoint pt, const ASFixedRect& rect, ASInt32 boxNum,
                 ASInt32 rotation, ASInt32 gray);
