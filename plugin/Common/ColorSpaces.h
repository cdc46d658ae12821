// Colour-space families, the standard device spaces, the separations "All" and
// "None", spot-colour separations with a CMYK equivalent, and reading the CMYK
// equivalent back out of a separation.
#pragma once

#include "Common/PIUtils.h"

enum eColorSpace {
    kDeviceGray = 0,
    kDeviceCMYK = 1,
    kDeviceRGB = 2,
    kCalGray = 3,
    kCalRGB = 4,
    kLab = 5,
    kSeparation = 6,
    kDeviceN = 7,
    kIndexed = 8,
    kPattern = 9,
    kICCBased = 10,
    kUnknownSpace = 0x7FFFFFFF,
};
extern const char* const kColorSpaces[11];

// Family names and indexes.
const char* getColorSpace(ASInt32 index);  // null for an index out of range
ASInt32 getColorSpace(const char* name);
ASInt32 getColorSpace(PDEColorSpace space);
// A Cos colour space (name or array); name (may be null, 64 bytes) gets the family.
ASInt32 getColorSpace(CosObj space, char* name);
ASInt32 getIndexedBaseSpace(CosObj indexed);
// The family of an ICC profile stream's "Alternate", or the device family that
// matches its component count.
ASInt32 getICCAltSpace(CosObj iccStream);

// New spaces (the caller releases them).
PDEColorSpace getCMYKSpace();
PDEColorSpace getGraySpace();
PDEColorSpace getAllSpace(bool gray);
PDEColorSpace getNoneSpace();
// [/Separation /name /DeviceCMYK f] with a sampled tint transform in gCosDoc.
CosObj getSepSpaceObj(const char* name, const float cmyk[4]);

// The CMYK equivalent of a tint transform: 0, -1 not recognised, -108 unreadable.
ASInt32 getCMYKCustomColors(CosObj function, float cmyk[4]);
// The CMYK equivalent of a separation (array); false when it cannot be read.
bool getSepCMYK(CosObj separation, float cmyk[4]);
bool isSpotBlack(CosObj separation);
