// The AcroSupport table: fixed-point arithmetic, matrices and rectangles.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kAcroSupportHFTVersion HFT_VERSION(8, 0)

struct AcroSupportHFT {
    HFTHeader hdr;

    ASFixed (*ASFixedMul)(ASFixed a, ASFixed b);  // rounded, saturating
    ASFixed (*ASFixedDiv)(ASFixed a, ASFixed b);  // saturating; division by 0 saturates
    ASFixed (*ASFloatToFixed)(float f);           // rounded to nearest, saturating
    float (*ASFixedToFloat)(ASFixed f);
    // result = m1 x m2: the result applies m2 first, then m1. result may alias either.
    void (*ASFixedMatrixConcat)(ASFixedMatrix* result, const ASFixedMatrix* m1,
                                const ASFixedMatrix* m2);
    // Returns false (result unchanged) for a singular matrix.
    ASBool (*ASFixedMatrixInvert)(ASFixedMatrix* result, const ASFixedMatrix* m);
    void (*ASFixedMatrixTransform)(ASFixedPoint* result, const ASFixedMatrix* m,
                                   const ASFixedPoint* p);
    // Bounding box of the transformed rectangle (normalized: top >= bottom).
    void (*ASFixedMatrixTransformRect)(ASFixedRect* result, const ASFixedMatrix* m,
                                       const ASFixedRect* r);
    // Formats a fixed number with at most places decimals, trailing zeros removed.
    void (*ASFixedToCString)(ASFixed f, char* buf, ASSize_t len, ASInt16 places);
    ASFixed (*ASCStringToFixed)(const char* text);
};
