// Frames are marked-content containers: creating them, handing out their content
// lists, finding the frame under a point, and moving frames with their contents.
#pragma once

#include "Common/PageContent.h"

// New frame containers (not inserted anywhere): a new indirect empty dictionary and
// an empty content list.
PDEContainer getContainerWithRect(ASFixedRect rect);
PDEContainer getContainerWithPoint(ASFixedPoint origin, ASFixed width, ASFixed height);
PDEContainer getContainerWithBoxNum(ASInt32 boxNum);
// Puts elem into a new frame whose rectangle is elem's bounding box shifted by offset,
// and moves elem by offset.
PDEContainer getContainerWithPDE(PDEElement elem, ASFixedPoint offset);

// The content list of a container (null for any other element); with clear its
// elements are removed first.
PDEContent getContent(PDEElement elem, bool clear = false, ASInt32* countOut = nullptr);

// Frame-walk callback for hit tests: data points at a MouseHit. Skips the trim-lines
// layer; the first frame whose rectangle holds the point (edges included) is stored
// and stops the walk.
struct MouseHit {
    ASFixedPoint point;
    PDEElement frame;  // null when nothing was hit
};
bool getPDEForMouseProc(CContent* level, PDEElement frame, long index, long data);
// True when the rectangle (edges included) holds the point; an all-zero rectangle
// holds none.
bool rectHoldsPoint(const ASFixedRect& r, const ASFixedPoint& p);

// Matrix movement: every element of the list, nested containers included; a clip
// shared by several elements is moved once (it is tagged "movd").
void moveElems(PDEContent content, const ASFixedMatrix* move);
// Clips are tagged "movd" only for the length of one operation. The tag goes with the
// in-memory content when the page content is released; while the editing tool keeps
// a page's content acquired, this scope forgets the tags of the clips moved within it
// when it ends. Scopes nest; the outermost one forgets.
class MovedClipsScope {
  public:
    MovedClipsScope();
    ~MovedClipsScope();
    MovedClipsScope(const MovedClipsScope&) = delete;
    MovedClipsScope& operator=(const MovedClipsScope&) = delete;
};
// The translation; with turn, a half turn about the origin first.
void moveElems(PDEContent content, ASFixedPoint offset, bool turn);
// The element's own matrix only (its clip stays).
void moveElem(PDEElement elem, ASFixedPoint offset);
// One step of moveElems for one element.
void moveElem(PDEElement elem, PDEType type, ASFixedPoint offset);

// Frame translation (the editing tool's move commands): the frame rectangle and the
// matrices of its text, paths and forms with their clips; images and nested
// containers stay.
void moveContainerBy(PDEElement frame, ASFixed dx, ASFixed dy);
// Undo is prepared for the current page view; the page is written back.
void moveFramesBy(PDPage page, ASFixed dx, ASFixed dy);
void moveSelectionBy(PDPage page, ASFixed dx, ASFixed dy);
// Moves a frame to position (its lower left), or by position when relative.
void moveToPos(PDEElement frame, const ASFixedPoint* position, bool relative);
