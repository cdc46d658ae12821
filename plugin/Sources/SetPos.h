// The position dialog for the selected frames of the current page.
#pragma once

#include "API.h"

void setPos();
