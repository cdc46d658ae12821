// Fixed-point arithmetic as the AcroSupport table defines it: products and sums
// rounded half away from zero and saturating at the ends of the range, matrices
// applied as [x y 1] x M. The host's table is made of these, so a plug-in that works
// out a placement without asking the host gets the host's numbers to the last bit.
#pragma once

#include <cmath>
#include <cstdint>

#include "ASTypes.h"

namespace fixedmath {

constexpr ASFixed saturate(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<ASFixed>(v);
}

constexpr ASFixed mul(ASFixed a, ASFixed b) {
    int64_t p = static_cast<int64_t>(a) * b;
    p += (p >= 0) ? 0x8000 : -0x8000;
    return saturate(p / 65536);
}

// Nearest fixed value; NaN is 0.
inline ASFixed fromDouble(double f) {
    if (std::isnan(f)) return 0;
    long double v = std::llround(static_cast<long double>(f) * 65536.0L);
    if (v >= 2147483647.0L) return INT32_MAX;
    if (v <= -2147483648.0L) return INT32_MIN;
    return static_cast<ASFixed>(v);
}

// m1 x m2: a point goes through m2 first, then m1.
constexpr ASFixedMatrix concat(const ASFixedMatrix& m1, const ASFixedMatrix& m2) {
    return ASFixedMatrix{
        saturate(int64_t(mul(m2.a, m1.a)) + mul(m2.b, m1.c)),
        saturate(int64_t(mul(m2.a, m1.b)) + mul(m2.b, m1.d)),
        saturate(int64_t(mul(m2.c, m1.a)) + mul(m2.d, m1.c)),
        saturate(int64_t(mul(m2.c, m1.b)) + mul(m2.d, m1.d)),
        saturate(int64_t(mul(m2.h, m1.a)) + mul(m2.v, m1.c) + m1.h),
        saturate(int64_t(mul(m2.h, m1.b)) + mul(m2.v, m1.d) + m1.v),
    };
}

constexpr ASFixedPoint transform(const ASFixedMatrix& m, ASFixedPoint p) {
    return ASFixedPoint{saturate(int64_t(mul(m.a, p.h)) + mul(m.c, p.v) + m.h),
                        saturate(int64_t(mul(m.b, p.h)) + mul(m.d, p.v) + m.v)};
}

}  // namespace fixedmath
