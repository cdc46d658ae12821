// A frame as a value, and how a page's form is fitted into it and clipped. The frame
// is read once from its dictionary and the form's boxes once from the form (readFrame,
// readFormBoxes); the placing is worked out from those two values alone by pure
// functions, with the host's fixed-point arithmetic, and written to the form by
// fitIntoFrame.
#pragma once

#include "ASTypes.h"

// What the frame dictionary says about placing a page.
struct FrameValue {
    ASInt32 boxNum = 0;
    ASFixedRect bbox{0, 0, 0, 0};   // the frame rectangle ("left", "top", "right", "bottom")
    ASFixedRect bleed{0, 0, 0, 0};  // per side ("bl", "bt", "br", "bb")
    ASInt32 rotation = 0;           // "rotation", or 180 for an old "rotated" frame
    ASFixed xOff = 0, yOff = 0;     // "xOff", "yOff"
    ASFixed scale = fixedOne;       // "scale"
    ASFixed displacement = 0;       // "dx": creep, along the frame's x axis
};

// What an imported page's form says about its size.
struct FormBoxes {
    ASInt32 rotation = 0;          // the page's "Rotate"
    ASFixedRect bbox{0, 0, 0, 0};  // the form's bounding box
    bool hasTrim = false;          // the page had a TrimBox
    ASFixedRect trim{0, 0, 0, 0};  // the TrimBox, scaled like the form
};

// The rectangle inset by the bleed on each side.
ASFixedRect insetByBleed(const ASFixedRect& bbox, const ASFixedRect& bleed);
// The frame's trim area: its rectangle inset by the bleed.
ASFixedRect innerRect(const FrameValue& frame);
// The rectangle a placed page is clipped to: the whole frame, bleed included.
ASFixedRect clipRect(const FrameValue& frame);

// frameRotation - formRotation brought into 0..359 by one correction.
ASInt32 getTurnAngle(ASInt32 frameRotation, ASInt32 formRotation);
// Maps the box onto the positive quadrant at the origin, turned by the turn angle.
ASFixedMatrix getMatrixForRect(ASFixedRect box, int frameRotation, int formRotation, long scale);
// The frame's offset turned with the frame rotation.
ASFixedPoint getTurnedOffset(ASFixed x, ASFixed y, ASInt32 frameRotation);
// The box of the form's size seen in the frame's inner size, centred on the form's
// bounding box.
ASFixedRect getCenteredBox(const ASFixedRect& inner, const ASFixedRect& formBBox, ASInt32 turn);
// True when the sizes differ by more than 0.5 mm (each seen with its rotation).
bool sizesDiffer(const ASFixedRect& a, ASInt32 rotA, const ASFixedRect& b, ASInt32 rotB);

// The whole placing of a form into a frame: by the form's TrimBox when byTrimBox and
// the form has one, else its bounding box centred on the frame's trim area; turned by
// the frame's rotation against the form's, then moved by the frame's offsets and
// displacement (turned with the frame) onto the trim area's lower left corner. Sums
// stop at the ends of the range: a frame far off the sheet places its page far off,
// never wrapped round.
ASFixedMatrix placingMatrix(const FrameValue& frame, const FormBoxes& form, bool byTrimBox);

// Reading and writing the host's objects.

// Everything the frame dictionary says about placing a page, read at once (a frame
// without a dictionary reads as the defaults above; "rotation" absent or 360 reads as
// 180 when "rotated" is 1, else 0).
FrameValue readFrame(PDEElement frame);
// What an imported page's form says about its size: its "Rotate", bounding box and
// private "TrimBox" ([l b r t]), read at once.
FormBoxes readFormBoxes(PDEForm form);
// A new clip holding one rectangle path of rect.
PDEClip getClip(const ASFixedRect* rect);
// Places the form into the frame: its matrix is placingMatrix, its clip clipRect.
void fitIntoFrame(PDEForm form, const FrameValue& frame, const FormBoxes& boxes, bool byTrimBox);
