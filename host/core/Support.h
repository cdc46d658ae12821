// Fixed-point arithmetic of the host (the AcroSupport table), usable host-side too.
#pragma once

#include "AcroSupportHFT.h"

namespace vexa::host {

ASFixed fixedMul(ASFixed a, ASFixed b);
ASFixed fixedDiv(ASFixed a, ASFixed b);
ASFixed floatToFixed(double f);
inline double fixedToDouble(ASFixed f) {
    return f / 65536.0;
}
// result = m1 x m2: applies m2 first, then m1.
void matrixConcat(ASFixedMatrix* result, const ASFixedMatrix* m1, const ASFixedMatrix* m2);
ASBool matrixInvert(ASFixedMatrix* result, const ASFixedMatrix* m);
void matrixTransform(ASFixedPoint* result, const ASFixedMatrix* m, const ASFixedPoint* p);
void matrixTransformRect(ASFixedRect* result, const ASFixedMatrix* m, const ASFixedRect* r);

const AcroSupportHFT* supportTable();

}  // namespace vexa::host
