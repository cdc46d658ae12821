#include "settings/MyUnits.h"

#include <cstdio>
#include <cstring>

double unitFactor(ASInt32 unit) {
    switch (unit) {
        case kUnitPoints:
            return 1.0 / 65536.0;
        case kUnitInch:
            return 1.0 / (72.0 * 65536.0);
        case kUnitMM:
            return 25.4 / (72.0 * 65536.0);
        case kUnitCM:
            return 2.54 / (72.0 * 65536.0);
        case kUnitPercent:
            return 100.0 / 65536.0;
        default:
            return 1.0;
    }
}

char* addUnitToString(char* text, ASInt32 unit) {
    switch (unit) {
        case kUnitPoints:
            std::strcat(text, " pts");
            break;
        case kUnitInch:
            std::strcat(text, " \"");
            break;
        case kUnitMM:
            std::strcat(text, " mm");
            break;
        case kUnitCM:
            std::strcat(text, " cm");
            break;
        case kUnitPercent:
            std::strcat(text, " %");
            break;
        default:
            break;
    }
    return text;
}

char* fixedToString(ASFixed value, ASInt32 unit, char* text) {
    std::snprintf(text, 24, "%.2f", static_cast<double>(value) * unitFactor(unit));
    size_t len = std::strlen(text);
    if (std::strchr(text, '.')) {
        while (len > 1 && text[len - 1] == '0') text[--len] = 0;
        if (len > 1 && text[len - 1] == '.') text[--len] = 0;
    }
    return addUnitToString(text, unit);
}
