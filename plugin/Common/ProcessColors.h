// Which process plates (C, M, Y, K) a content uses.
#pragma once

#include <cstddef>

#include "Common/PIUtils.h"

// Four flags C, M, Y, K (1 = used), over the content and everything nested in it.
void getProcessColors(PDEContent content, ASUns8 cmyk[4]);
bool isAllColors(const ASUns8 cmyk[4]);

// The same four flags from a page's decoded content stream and its resources, without
// reading the content as elements. False (flags cleared) when the content holds
// something the scan does not read: forms drawn by it, inline images, unknown
// operators, missing resources; getProcessColors then has to be used.
bool scanProcessColors(const char* data, size_t len, CosObj resources, ASUns8 cmyk[4]);

// The same from a content stream: its start is decoded and scanned first, and when that
// already uses all four plates the rest, which cannot change the answer, is not decoded.
// Otherwise the whole stream is decoded and scanned.
bool scanStreamColors(CosObj stream, CosObj resources, ASUns8 cmyk[4]);
