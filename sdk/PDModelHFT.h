// The PDModel table: documents, pages, page boxes, labels, information and saving.
#pragma once

#include "CosHFT.h"

#define kPDModelHFTVersion HFT_VERSION(6, 0)

struct PDModelHFT {
    HFTHeader hdr;
    // Members are declared by the document engine.
};
