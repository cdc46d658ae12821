// The structure tables PDSRead and PDSWrite (logical structure of tagged files).
#pragma once

#include "CosHFT.h"

#define kPDSReadHFTVersion HFT_VERSION(6, 0)
#define kPDSWriteHFTVersion HFT_VERSION(6, 0)

struct PDSReadHFT {
    HFTHeader hdr;
};
struct PDSWriteHFT {
    HFTHeader hdr;
};
