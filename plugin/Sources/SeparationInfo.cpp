#include "SeparationInfo.h"

bool addSepInfo() {
    return true;
}
