// Path building for marks, trim lines and frame clips. A CMyPath collects path
// operators with their fixed coordinates in a buffer of words; getPath turns the
// buffer into a path element with its own graphics state.
#pragma once

#include "Common/PIUtils.h"

class CMyPath {
  public:
    // capacity in words (every caller here uses 256). An operator that does not fit
    // any more is left out whole, so the buffer never overflows and never holds half
    // an operator. A failed allocation leaves the path empty and appends do nothing.
    explicit CMyPath(short capacity);
    ~CMyPath();
    CMyPath(const CMyPath&) = delete;
    CMyPath& operator=(const CMyPath&) = delete;

    void moveto(ASFixedPoint p) { moveto(p.h, p.v); }
    void moveto(ASFixed x, ASFixed y);
    void lineto(ASFixedPoint p) { lineto(p.h, p.v); }
    void lineto(ASFixed x, ASFixed y);
    void rlineto(ASFixed dx, ASFixed dy);
    void curveto(ASFixedPoint p1, ASFixedPoint p2, ASFixedPoint p3);
    // All three points relative to the segment's start.
    void rcurveto(ASFixedPoint p1, ASFixedPoint p2, ASFixedPoint p3);
    void rcurveto(ASFixed x1, ASFixed y1, ASFixed x2, ASFixed y2, ASFixed x3, ASFixed y3);
    void rect(ASFixedPoint p, ASFixed width, ASFixed height);
    void close();
    void circle(ASFixed cx, ASFixed cy, ASFixed r);

    // A new path element with the buffer as its data: default graphics state with the
    // line width, the stroke colour (black DeviceGray when none) and a new extended
    // graphics state with overprint for fill and stroke as asked. The caller releases
    // the element after adding it to a content list.
    PDEPath getPath(ASFixed lineWidth, const PDEColorSpec* stroke, PDEPathOpFlags paint,
                    bool overprint);

    short getCount() const { return count_; }
    const ASInt32* getData() const { return data_; }
    ASFixedPoint getCurrentPoint() const { return cur_; }

  private:
    // Room for an operator of n words; false (nothing is appended) when it does not fit.
    bool room(short n) const { return data_ && count_ + n <= capacity_; }
    void put(ASInt32 w) { data_[count_++] = w; }
    ASInt32* data_;
    short capacity_;
    short count_ = 0;
    ASFixedPoint cur_{0, 0};
};

// A rectangle path (left, bottom, width, height), overprint on, appended at the end
// of the content. Returns the path (the content holds it).
PDEPath addRect(PDEContent content, const ASFixedRect* rect, PDEPathOpFlags paint,
                const PDEColorSpec* color, ASFixed width);
// addRect with the trim-lines width; stroked when frames are shown in the current
// document, invisible otherwise.
PDEPath addTrimLinesRect(PDEContent content, const ASFixedRect* rect, const PDEColorSpec* color);
PDEPath addTrimLinesRect(PDEContent content, const ASFixedRect* rect, const PDEColorSpec* color,
                         bool shown);

// The trim-lines colour of the current document: while its frames are shown, the
// colour from the "TrimLines" settings (a separation of that name with its CMYK
// equivalent, or the CMYK colour itself when the name is empty); while they are
// hidden, the "None" separation. Free it with freeColorSpec.
PDEColorSpec getTrimLinesColor();

// A form element gets a new clip of rect (getClip); other elements stay as they are. Given a
// content list, the same for its first element (where the page form lies). Element
// and content handles share one type, so the object's type decides.
void setClipping(PDEElement elemOrContent, const ASFixedRect* rect);
