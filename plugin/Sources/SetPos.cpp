#include "SetPos.h"

void setPos() {}
