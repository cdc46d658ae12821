// Which process plates (C, M, Y, K) a content uses.
#pragma once

#include "PIUtils.h"

// Four flags C, M, Y, K (1 = used), over the content and everything nested in it.
void getProcessColors(PDEContent content, ASUns8 cmyk[4]);
bool isAllColors(const ASUns8 cmyk[4]);
