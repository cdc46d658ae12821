// Basic types of the host interface: integers, 16.16 fixed-point numbers, points,
// rectangles and matrices, atoms and the opaque handles of every host object.
#pragma once

#include <cstddef>
#include <cstdint>

#define VEXA_API __attribute__((visibility("default")))

typedef int8_t ASInt8;
typedef uint8_t ASUns8;
typedef int16_t ASInt16;
typedef uint16_t ASUns16;
typedef int32_t ASInt32;
typedef uint32_t ASUns32;
typedef int64_t ASInt64;
typedef uint64_t ASUns64;
typedef bool ASBool;
typedef float ASReal;
typedef size_t ASSize_t;
typedef ASInt32 ASErrorCode;
typedef ASUns32 ASVersion;  // major in the high 16 bits, minor in the low 16 bits

// 16.16 fixed-point numbers: 0x10000 is 1.0.
typedef ASInt32 ASFixed;
#define fixedZero ((ASFixed)0)
#define fixedHalf ((ASFixed)0x8000)
#define fixedOne ((ASFixed)0x10000)
#define fixedTwo ((ASFixed)0x20000)
#define fixedTen ((ASFixed)0xA0000)
#define fixedNinety ((ASFixed)0x5A0000)
#define fixedPositiveInfinity ((ASFixed)0x7FFFFFFF)
#define fixedNegativeInfinity ((ASFixed)0x80000000)
#define ASInt32ToFixed(i) ((ASFixed)((ASUns32)(ASInt32)(i) << 16))
#define ASFixedRoundToInt32(f) ((ASInt32)(((f) + fixedHalf) >> 16))
#define ASFixedTruncToInt32(f) ((ASInt32)((f) / 0x10000))

struct ASFixedPoint {
    ASFixed h;
    ASFixed v;
};

// Fields in the order left, top, right, bottom; page coordinates, origin bottom left.
struct ASFixedRect {
    ASFixed left;
    ASFixed top;
    ASFixed right;
    ASFixed bottom;
};

// A point (x, y) maps to (a*x + c*y + h, b*x + d*y + v).
struct ASFixedMatrix {
    ASFixed a;
    ASFixed b;
    ASFixed c;
    ASFixed d;
    ASFixed h;
    ASFixed v;
};

// Atoms: interned strings. ASAtomNull is never the atom of a string.
typedef ASUns32 ASAtom;
#define ASAtomNull ((ASAtom)0xFFFFFFFF)

// Device coordinates of views (pixels).
typedef ASInt32 AVDevCoord;
struct AVDevRect {
    AVDevCoord left;
    AVDevCoord top;
    AVDevCoord right;
    AVDevCoord bottom;
};

// Opaque handles. Each names a host object; the host defines the structures.
typedef struct _t_ExtensionID* ExtensionID;
typedef struct _t_PDDoc* PDDoc;
typedef struct _t_PDPage* PDPage;
typedef struct _t_CosDoc* CosDoc;
typedef struct _t_AVDoc* AVDoc;
typedef struct _t_AVPageView* AVPageView;
typedef struct _t_AVWindow* AVWindow;
typedef struct _t_AVMenubar* AVMenubar;
typedef struct _t_AVMenu* AVMenu;
typedef struct _t_AVMenuItem* AVMenuItem;
typedef struct _t_AVToolBar* AVToolBar;
typedef struct _t_AVToolButton* AVToolButton;
typedef struct _t_AVTool* AVTool;
typedef struct _t_ASText* ASText;
typedef struct _t_AVUndo* AVUndo;

// Page-content elements. Every element kind is a PDEObject; the names below only
// document which kind a function expects.
typedef struct _t_PDEObject* PDEObject;
typedef PDEObject PDEElement;
typedef PDEObject PDEContent;
typedef PDEObject PDEText;
typedef PDEObject PDEPath;
typedef PDEObject PDEImage;
typedef PDEObject PDEForm;
typedef PDEObject PDEPS;
typedef PDEObject PDEXObject;
typedef PDEObject PDEClip;
typedef PDEObject PDEPlace;
typedef PDEObject PDEContainer;
typedef PDEObject PDEShading;
typedef PDEObject PDEGroup;
typedef PDEObject PDEFont;
typedef PDEObject PDEColorSpace;
typedef PDEObject PDEExtGState;
typedef PDEObject PDESoftMask;
typedef PDEObject PDETextRun;

// Generic callbacks carry client data of pointer size.
typedef void* ASClientData;
