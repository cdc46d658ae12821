#include "core/Support.h"

#include "FixedMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexa::host {
namespace {

float supportFixedToFloat(ASFixed f) {
    return static_cast<float>(f / 65536.0);
}
ASFixed supportFloatToFixed(float f) {
    return floatToFixed(f);
}

void supportFixedToCString(ASFixed f, char* buf, ASSize_t len, ASInt16 places) {
    if (!buf || len == 0) return;
    if (places < 0) places = 0;
    if (places > 5) places = 5;
    char tmp[64];
    std::snprintf(tmp, sizeof tmp, "%.*f", static_cast<int>(places), f / 65536.0);
    if (std::strchr(tmp, '.')) {
        std::size_t n = std::strlen(tmp);
        while (n > 0 && tmp[n - 1] == '0') tmp[--n] = 0;
        if (n > 0 && tmp[n - 1] == '.') tmp[--n] = 0;
    }
    if (std::strcmp(tmp, "-0") == 0) std::strcpy(tmp, "0");
    std::snprintf(buf, len, "%s", tmp);
}

ASFixed supportCStringToFixed(const char* text) {
    return text ? floatToFixed(std::strtod(text, nullptr)) : 0;
}

const AcroSupportHFT kSupport = {
    {kAcroSupportHFTName, kAcroSupportHFTVersion, sizeof(AcroSupportHFT)},
    fixedMul,
    fixedDiv,
    supportFloatToFixed,
    supportFixedToFloat,
    matrixConcat,
    matrixInvert,
    matrixTransform,
    matrixTransformRect,
    supportFixedToCString,
    supportCStringToFixed,
};

}  // namespace

ASFixed fixedMul(ASFixed a, ASFixed b) {
    return fixedmath::mul(a, b);
}

ASFixed fixedDiv(ASFixed a, ASFixed b) {
    if (b == 0) return a >= 0 ? 0x7FFFFFFF : static_cast<ASFixed>(0x80000000u);
    int64_t n = static_cast<int64_t>(a) * 65536;
    int64_t q = n / b;
    int64_t r = n % b;
    // round half away from zero
    if (2 * std::llabs(r) >= std::llabs(static_cast<int64_t>(b)))
        q += ((n < 0) != (b < 0)) ? -1 : 1;
    return fixedmath::saturate(q);
}

ASFixed floatToFixed(double f) {
    return fixedmath::fromDouble(f);
}

void matrixConcat(ASFixedMatrix* result, const ASFixedMatrix* m1, const ASFixedMatrix* m2) {
    *result = fixedmath::concat(*m1, *m2);
}

ASBool matrixInvert(ASFixedMatrix* result, const ASFixedMatrix* m) {
    double a = m->a / 65536.0, b = m->b / 65536.0, c = m->c / 65536.0, d = m->d / 65536.0;
    double h = m->h / 65536.0, v = m->v / 65536.0;
    double det = a * d - b * c;
    if (std::fabs(det) < 1e-12) return false;
    ASFixedMatrix r;
    r.a = floatToFixed(d / det);
    r.b = floatToFixed(-b / det);
    r.c = floatToFixed(-c / det);
    r.d = floatToFixed(a / det);
    r.h = floatToFixed((c * v - d * h) / det);
    r.v = floatToFixed((b * h - a * v) / det);
    *result = r;
    return true;
}

void matrixTransform(ASFixedPoint* result, const ASFixedMatrix* m, const ASFixedPoint* p) {
    *result = fixedmath::transform(*m, *p);
}

void matrixTransformRect(ASFixedRect* result, const ASFixedMatrix* m, const ASFixedRect* r) {
    ASFixedPoint corners[4] = {
        {r->left, r->bottom}, {r->right, r->bottom}, {r->left, r->top}, {r->right, r->top}};
    ASFixedRect out{};
    for (int i = 0; i < 4; ++i) {
        ASFixedPoint t;
        matrixTransform(&t, m, &corners[i]);
        if (i == 0) {
            out = {t.h, t.v, t.h, t.v};
        } else {
            out.left = std::min(out.left, t.h);
            out.right = std::max(out.right, t.h);
            out.bottom = std::min(out.bottom, t.v);
            out.top = std::max(out.top, t.v);
        }
    }
    *result = out;
}

const AcroSupportHFT* supportTable() {
    return &kSupport;
}

}  // namespace vexa::host
