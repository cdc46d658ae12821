// The ASExtra table: host text objects and file-system helpers.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kASExtraHFTVersion HFT_VERSION(6, 0)

struct ASExtraHFT {
    HFTHeader hdr;
};
