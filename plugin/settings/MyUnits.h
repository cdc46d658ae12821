// Units of lengths as the dialogs show them and read them, and their conversion to
// 16.16 fixed values.
#pragma once

#include "ASTypes.h"

// Units of value fields: 0 plain number, 1 points, 2 inches, 3 millimetres,
// 4 centimetres, 6 percent (0x10000 is 100 %).
enum { kUnitNone = 0, kUnitPoints = 1, kUnitInch = 2, kUnitMM = 3, kUnitCM = 4, kUnitPercent = 6 };

// "%.2f" of the value in the unit, trailing zeros and point removed, with the unit
// suffix (" pts", " \"", " mm", " cm", " %"). text needs 32 bytes.
char* fixedToString(ASFixed value, ASInt32 unit, char* text);
char* addUnitToString(char* text, ASInt32 unit);
// The value in the unit of one 16.16 step (1 for plain numbers): a value in that unit
// is trunc(number / unitFactor(unit)) as a 16.16 value.
double unitFactor(ASInt32 unit);
