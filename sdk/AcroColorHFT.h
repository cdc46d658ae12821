// The AcroColorHFT table: colour conversion services.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kAcroColorHFTVersion HFT_VERSION(6, 0)

struct AcroColorHFT {
    HFTHeader hdr;
};
