// Colour specs, document colour spaces and placeholder replacement.
#pragma once

#include <string>

#include "Common/ColorSpaces.h"

// Colour specs (the builders zero the record first; freeColorSpec releases the space).
PDEColorSpec getCMYKColor(float c, float m, float y, float k);
PDEColorSpec getGrayColor(float g);
// The "All" separation (every plate) with the tint; within a SharedResourcesScope
// the space is one indirect object of the current document.
PDEColorSpec getAllColor(float tint);
// The "None" separation (no plate) at full tint, shared like "All".
PDEColorSpec getNoneColor();
// A new separation with a sampled tint transform to the CMYK equivalent, at full tint.
PDEColorSpec getSepColorSpec(const char* name, const float cmyk[4]);
void freeColorSpec(PDEColorSpec* spec);

// While a scope lives, what the sheets of a document share is made once per document:
// the "All" separation, the trim-lines separation and the graphics states of marks,
// trim lines and clips, each an indirect object the sheets refer to, and the
// resources of imported pages (PageContent). Without a scope every call makes its
// own. Scopes nest; the shared objects are let go when the outermost one ends.
class SharedResourcesScope {
  public:
    SharedResourcesScope();
    ~SharedResourcesScope();
    SharedResourcesScope(const SharedResourcesScope&) = delete;
    SharedResourcesScope& operator=(const SharedResourcesScope&) = delete;
};
// True while a scope lives.
bool sharingResources();
// The object of the Cos document stored under key; null when there is none (or no
// scope). putSharedObject stores one (nothing happens without a scope).
CosObj getSharedObject(CosDoc doc, const std::string& key);
void putSharedObject(CosDoc doc, const std::string& key, CosObj obj);

// The extended graphics state of a path in the current document: overprint for fill
// and stroke when asked, none set otherwise. The caller releases it.
PDEExtGState getPathGState(bool overprint);
// Within a scope, the shared colour space of the current document stored under key
// (made by make on first use, then made indirect); without a scope, make's result.
// The caller releases the space.
PDEColorSpace getSharedSpace(const char* key, PDEColorSpace (*make)(const void*), const void* data);
// A colour for drawing on the page view: 16-bit components (0.5 gives 0x8000).
AVRGBColor16 getViewColor(float r, float g, float b);

// Every "ColorSpace" resource of pages first to last (-1: the last page).
typedef bool (*EnumDocColorsProc)(CosObj space, long data);
void EnumDocColors(PDDoc doc, ASInt32 first, ASInt32 last, EnumDocColorsProc proc, long data);
void EnumDocColors(PDDoc doc, EnumDocColorsProc proc, long data);
// A zero-terminated (null object) array of the spaces, count + 1 entries; null when
// there are none. Free with delete[].
CosObj* getColorSpaces(PDDoc doc, ASInt32 first, ASInt32 last, ASInt32* count);
// One-colorant DeviceN spaces become Separation spaces in place; false when a DeviceN
// space with more colorants was met.
bool devN1ToSep(CosObj* spaces, ASInt32 count);

// Placeholder separations named by the letters take the spot colours the pages use.
void changeColorSpaces(PDDoc doc, ASInt32 first, ASInt32 last, const char* letters);
void changeColorSpaces(PDDoc doc, const char* letters);
void changeColorSpaces(PDDoc doc, PDPage page, const char* letters);
