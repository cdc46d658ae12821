#include "TrimBox.h"

void setTrimBox(ASFixedRect) {}
