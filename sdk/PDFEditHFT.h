// The page-content tables: PDFEditRead, PDFEditWrite, PagePDEContent and PDSysFont.
#pragma once

#include "CosHFT.h"

#define kPDFEditReadHFTVersion HFT_VERSION(6, 0)
#define kPDFEditWriteHFTVersion HFT_VERSION(7, 5)
#define kPagePDEContentHFTVersion HFT_VERSION(6, 0)
#define kPDSysFontHFTVersion HFT_VERSION(4, 0)

// Element kinds.
typedef ASInt32 PDEType;
enum {
    kPDEText = 1,
    kPDEPath = 2,
    kPDEImage = 3,
    kPDEForm = 4,
    kPDEPS = 5,
    kPDEXObject = 6,
    kPDEClip = 7,
    kPDEFont = 8,
    kPDEColorSpace = 9,
    kPDEExtGState = 10,
    kPDEPlace = 11,
    kPDEContainer = 12,
    kPDEContent = 13,
    kPDETextRun = 14,
    kPDESoftMask = 15,
    kPDEShading = 16,
    kPDEGroup = 18,
};

// Path segment operators in path data (each followed by its fixed coordinates).
enum {
    kPDEMoveTo = 0,
    kPDELineTo = 1,
    kPDECurveTo = 2,
    kPDECurveToV = 3,
    kPDECurveToY = 4,
    kPDERect = 5,
    kPDEClosePath = 6,
};

// Paint operations of a path.
typedef ASUns32 PDEPathOpFlags;
enum {
    kPDEInvisible = 0,
    kPDEStroke = 1,
    kPDEFill = 2,
    kPDEEoFill = 4,
    kPDEClip_ = 8,  // adds the path to the clip
    kPDEEoClip = 16,
};

struct PDFEditReadHFT {
    HFTHeader hdr;
};
struct PDFEditWriteHFT {
    HFTHeader hdr;
};
struct PagePDEContentHFT {
    HFTHeader hdr;
};
struct PDSysFontHFT {
    HFTHeader hdr;
};
