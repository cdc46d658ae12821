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

// Errors of the page-content model.
enum {
    pdeErrBadContent = ErrBuildCode(ErrSysPDEdit, 1),     // content cannot be read
    pdeErrLimit = ErrBuildCode(ErrSysPDEdit, 2),          // beyond a limit of the host
    pdeErrRecursiveForm = ErrBuildCode(ErrSysPDEdit, 3),  // a form draws itself
    pdeErrBadType = ErrBuildCode(ErrSysPDEdit, 4),        // object of the wrong kind
    pdeErrBadIndex = ErrBuildCode(ErrSysPDEdit, 5),
    pdeErrNoFont = ErrBuildCode(ErrSysPDEdit, 6),
    pdeErrBadColorSpace = ErrBuildCode(ErrSysPDEdit, 7),
    pdeErrNotForm = ErrBuildCode(ErrSysPDEdit, 8),
    pdeErrRelease = ErrBuildCode(ErrSysPDEdit, 9),      // released more often than acquired
    pdeErrBadImage = ErrBuildCode(ErrSysPDEdit, 10),    // image data unlike its attributes
    pdeErrBadShading = ErrBuildCode(ErrSysPDEdit, 11),  // not a shading
};

// Index that appends when adding to a content list (any index at or past the last
// element appends too; -1 inserts before the first).
#define kPDEAfterLast 0x7FFFFFFE
#define kPDEBeforeFirst (-1)

// Colours: a colour space and up to eight components (16.16, 0..1.0).
struct PDEColorValue {
    ASFixed color[8];
    PDEObject colorObj;   // reserved
    PDEObject colorObj2;  // reserved
};
struct PDEColorSpec {
    PDEColorSpace space;  // not acquired by getters; setters acquire their own reference
    PDEColorValue value;
};

struct PDEDash {
    ASFixed dashPhase;
    ASInt32 dashLen;  // used entries of dashes
    ASFixed dashes[11];
};

enum { kPDECapButt = 0, kPDECapRound = 1, kPDECapSquare = 2 };
enum { kPDEJoinMiter = 0, kPDEJoinRound = 1, kPDEJoinBevel = 2 };

// The graphics state of an element. Objects in it are not acquired by getters.
struct PDEGraphicState {
    PDEColorSpec fillColorSpec;
    PDEColorSpec strokeColorSpec;
    ASFixed lineWidth;
    ASFixed miterLimit;
    ASFixed flatness;
    ASInt32 lineCap;
    ASInt32 lineJoin;
    ASAtom renderIntent;  // ASAtomNull: not set
    PDEDash dash;
    PDEExtGState extGState;  // null: none
    PDESoftMask softMask;    // reserved, null
    ASUns32 wasSetFlags;     // reserved
};

// Text state of a run.
struct PDETextState {
    ASFixed charSpacing;
    ASFixed wordSpacing;
    ASInt32 renderMode;  // 0 fill ... 7 clip
    ASFixed fontSize;    // the run matrix carries the size when this is 0
    ASFixed hScale;      // horizontal scaling, 1.0 = 100 %
    ASFixed textRise;
    ASUns32 wasSetFlags;  // reserved
};

// Flags of PDETextAdd, PDETextGetAdvanceWidth and PDETextGetText.
enum { kPDETextCharFlag = 0x1, kPDETextRunFlag = 0x2 };

// Content attributes for PDEContentToCosObj and PDEContentGetAttrs.
enum { kPDEFormAttrsSet = 0x4 };  // bbox and matrix below are given
struct PDEContentAttrs {
    ASUns32 flags;
    ASFixedRect bbox;      // the form's /BBox
    ASFixedMatrix matrix;  // the form's /Matrix
};
// What PDEContentToCosObj makes.
enum { kPDEContentToPage = 0x1, kPDEContentToForm = 0x2 };

struct PDEFilterSpec {
    ASAtom name;  // "FlateDecode"
};
struct PDEFilterArray {
    ASInt32 numFilters;
    PDEFilterSpec spec[4];
};

// Image attributes. kPDEImageEncoded (creation only): the data given is already
// encoded with the filters given (JPEG data with DCTDecode, say), not raw samples.
enum { kPDEImageIsMask = 0x1, kPDEImageInline = 0x2, kPDEImageEncoded = 0x4 };
struct PDEImageAttrs {
    ASUns32 flags;
    ASInt32 width;
    ASInt32 height;
    ASInt32 bitsPerComponent;
};

// Data for PDEColorSpaceCreate by family.
struct PDESeparationColorData {
    ASAtom name;        // the colorant
    PDEColorSpace alt;  // alternate space
    CosObj tintTransform;
};
struct PDEIndexedColorData {
    PDEColorSpace baseCs;
    ASInt32 hiVal;
    const char* lookup;  // (hiVal + 1) * components of the base bytes
};

// System fonts (the standard 14 fonts).
typedef struct _t_PDSysFont* PDSysFont;
struct PDEFontAttrs {
    ASAtom name;      // "Helvetica-Bold"
    ASAtom type;      // "Type1"
    ASAtom encoding;  // ASAtomNull: the font's built-in encoding
    ASUns32 flags;  // font descriptor flags (1 fixed pitch, 4 symbolic, 32 nonsymbolic, 64 italic)
    ASFixedRect fontBBox;  // glyph space units
    ASInt16 ascent, descent, capHeight, italicAngle;
    ASInt16 missingWidth;
};

typedef ASBool (*PDEClipEnumProc)(PDEElement elem, ASClientData clientData);
typedef ASBool (*PDSysFontEnumProc)(PDSysFont font, ASClientData clientData);

// Reading page content. Objects returned by "Get" are not acquired; those returned
// by "Acquire" or "Create" are, and are released with PDERelease.
struct PDFEditReadHFT {
    HFTHeader hdr;

    void (*PDEAcquire)(PDEObject obj);
    void (*PDERelease)(PDEObject obj);  // frees at the last release
    PDEType (*PDEObjectGetType)(PDEObject obj);

    // Content lists.
    ASInt32 (*PDEContentGetNumElems)(PDEContent content);
    PDEElement (*PDEContentGetElem)(PDEContent content, ASInt32 index);
    void (*PDEContentGetAttrs)(PDEContent content, PDEContentAttrs* attrs, ASUns32 attrsSize);

    // Elements.
    void (*PDEElementGetBBox)(PDEElement elem, ASFixedRect* bbox);  // parent coordinates
    void (*PDEElementGetMatrix)(PDEElement elem, ASFixedMatrix* matrix);
    PDEClip (*PDEElementGetClip)(PDEElement elem);  // null: not clipped
    // False (and the state untouched) for elements without a graphics state.
    ASBool (*PDEElementGetGState)(PDEElement elem, PDEGraphicState* gs, ASUns32 gsSize);

    // Containers.
    ASAtom (*PDEContainerGetMCTag)(PDEContainer c);
    // False when the container has no dictionary (BMC).
    ASBool (*PDEContainerGetDict)(PDEContainer c, CosObj* dict, ASBool* isInline);
    PDEContent (*PDEContainerGetContent)(PDEContainer c);

    // Forms. The matrix is the one the form is drawn with (cm); the form's own
    // /Matrix stays in its stream.
    CosObj (*PDEFormGetCosObj)(PDEForm form);
    void (*PDEFormGetMatrix)(PDEForm form, ASFixedMatrix* matrix);
    PDEContent (*PDEFormAcquireContent)(PDEForm form);  // read on the first call
    void (*PDEFormReleaseContent)(PDEForm form, PDEContent content);

    // Paths: operator codes with 16.16 coordinates. GetData copies at most size bytes
    // and returns the bytes needed.
    ASInt32 (*PDEPathGetData)(PDEPath path, ASInt32* data, ASUns32 size);
    PDEPathOpFlags (*PDEPathGetPaintOp)(PDEPath path);

    // Text.
    ASInt32 (*PDETextGetNumRuns)(PDEText text);
    void (*PDETextRunGetMatrix)(PDEText text, ASInt32 run, ASFixedMatrix* matrix);
    void (*PDETextRunGetGState)(PDEText text, ASInt32 run, PDEGraphicState* gs, ASUns32 gsSize);
    void (*PDETextRunGetTextState)(PDEText text, ASInt32 run, PDETextState* ts, ASUns32 tsSize);
    PDEFont (*PDETextRunGetFont)(PDEText text, ASInt32 run);
    // Advance of a run (kPDETextRunFlag) in the text's parent coordinates.
    void (*PDETextGetAdvanceWidth)(PDEText text, ASUns32 flags, ASInt32 index, ASFixedPoint* delta);
    // The bytes of a run; returns their count and copies them when buffer is not null.
    ASInt32 (*PDETextGetText)(PDEText text, ASUns32 flags, ASInt32 index, ASUns8* buffer);

    // Clips.
    ASInt32 (*PDEClipGetNumElems)(PDEClip clip);
    PDEElement (*PDEClipGetElem)(PDEClip clip, ASInt32 index);
    // Every path and text of the clip, containers flattened; proc false stops.
    ASBool (*PDEClipFlattenedEnumElems)(PDEClip clip, PDEClipEnumProc proc, ASClientData data);

    // Images and shadings.
    void (*PDEImageGetAttrs)(PDEImage image, PDEImageAttrs* attrs, ASUns32 attrsSize);
    PDEColorSpace (*PDEImageGetColorSpace)(PDEImage image);  // null for masks
    CosObj (*PDEImageGetCosObj)(PDEImage image);             // null object for in-line images
    CosObj (*PDEShadingGetCosObj)(PDEShading shading);

    // Colour spaces, extended graphics states, fonts.
    ASAtom (*PDEColorSpaceGetName)(PDEColorSpace cs);  // the family
    ASInt32 (*PDEColorSpaceGetNumComps)(PDEColorSpace cs);
    CosObj (*PDEColorSpaceGetCosObj)(PDEColorSpace cs);
    CosObj (*PDEExtGStateGetCosObj)(PDEExtGState egs);
    ASBool (*PDEExtGStateGetOPFill)(PDEExtGState egs);
    ASBool (*PDEExtGStateGetOPStroke)(PDEExtGState egs);
    CosObj (*PDEFontGetCosObj)(PDEFont font);
    ASInt32 (*PDEFontGetName)(PDEFont font, char* buffer, ASInt32 bufferSize);

    // Run-time tags (memory only).
    ASBool (*PDEGetTag)(PDEObject obj, ExtensionID owner, ASUns32 tag, ASInt32* value);
};

// Changing page content.
struct PDFEditWriteHFT {
    HFTHeader hdr;

    PDEContent (*PDEContentCreate)(void);
    // Inserts elem after index (-1: before the first; at or past the last: appends);
    // the list acquires the element.
    void (*PDEContentAddElem)(PDEContent content, ASInt32 addAfterIndex, PDEElement elem);
    void (*PDEContentRemoveElem)(PDEContent content, ASInt32 index);
    // Writes the content as a page content stream or a form XObject in cosDoc; filters
    // may be null (no compression).
    void (*PDEContentToCosObj)(PDEContent content, ASUns32 toFlags, const PDEContentAttrs* attrs,
                               ASUns32 attrsSize, CosDoc cosDoc, const PDEFilterArray* filters,
                               CosObj* contents, CosObj* resources);
    // Reads a content stream (or form XObject) with its resources.
    PDEContent (*PDEContentCreateFromCosObj)(const CosObj* contents, const CosObj* resources);

    void (*PDEElementSetMatrix)(PDEElement elem, const ASFixedMatrix* matrix);
    void (*PDEElementSetClip)(PDEElement elem, PDEClip clip);  // null removes the clip
    void (*PDEElementSetGState)(PDEElement elem, const PDEGraphicState* gs, ASUns32 gsSize);
    PDEElement (*PDEElementCopy)(PDEElement elem, ASUns32 flags);  // deep for containers

    PDEContainer (*PDEContainerCreate)(ASAtom tag, const CosObj* dict, ASBool isInline);
    void (*PDEContainerSetDict)(PDEContainer c, const CosObj* dict, ASBool isInline);
    void (*PDEContainerSetMCTag)(PDEContainer c, ASAtom tag);
    void (*PDEContainerSetContent)(PDEContainer c, PDEContent content);  // acquires it

    PDEForm (*PDEFormCreateFromCosObj)(const CosObj* xobject, const CosObj* resources,
                                       const ASFixedMatrix* matrix);

    PDEPath (*PDEPathCreate)(void);
    void (*PDEPathSetData)(PDEPath path, const ASInt32* data, ASUns32 size);  // size in bytes
    void (*PDEPathSetPaintOp)(PDEPath path, PDEPathOpFlags op);

    PDEText (*PDETextCreate)(void);
    // Adds a run of textLen bytes after run index (kPDETextRunFlag); font size comes from
    // the text state when its fontSize is not 0, else 1 with the size in the matrix.
    void (*PDETextAdd)(PDEText text, ASUns32 flags, ASInt32 index, const ASUns8* bytes,
                       ASInt32 textLen, PDEFont font, const PDEGraphicState* gs, ASUns32 gsSize,
                       const PDETextState* ts, ASUns32 tsSize, const ASFixedMatrix* textMatrix,
                       const ASFixedMatrix* strokeMatrix);
    void (*PDETextRunSetMatrix)(PDEText text, ASInt32 run, const ASFixedMatrix* matrix);
    void (*PDETextRunSetGState)(PDEText text, ASInt32 run, const PDEGraphicState* gs,
                                ASUns32 gsSize);
    void (*PDETextRunSetTextState)(PDEText text, ASInt32 run, const PDETextState* ts,
                                   ASUns32 tsSize);

    PDEClip (*PDEClipCreate)(void);
    void (*PDEClipAddElem)(PDEClip clip, ASInt32 addAfterIndex, PDEElement elem);
    void (*PDEClipRemoveElems)(PDEClip clip, ASInt32 index, ASInt32 count);

    PDEColorSpace (*PDEColorSpaceCreateFromName)(ASAtom family);  // device families
    PDEColorSpace (*PDEColorSpaceCreateFromCosObj)(const CosObj* space);
    // Separation (data: PDESeparationColorData) and Indexed (PDEIndexedColorData).
    PDEColorSpace (*PDEColorSpaceCreate)(ASAtom family, const void* data);

    PDEExtGState (*PDEExtGStateCreateNew)(CosDoc cosDoc);
    PDEExtGState (*PDEExtGStateCreate)(const CosObj* dict);
    void (*PDEExtGStateSetOPFill)(PDEExtGState egs, ASBool overprint);
    void (*PDEExtGStateSetOPStroke)(PDEExtGState egs, ASBool overprint);

    void (*PDEDefaultGState)(PDEGraphicState* gs, ASUns32 gsSize);

    void (*PDEAddTag)(PDEObject obj, ExtensionID owner, ASUns32 tag, ASInt32 value);
    void (*PDERemoveTag)(PDEObject obj, ExtensionID owner, ASUns32 tag);

    PDEFont (*PDEFontCreateFromSysFont)(PDSysFont sysFont, ASUns32 flags);
    PDEFont (*PDEFontCreateFromCosObj)(const CosObj* fontDict);

    // Images and shadings; the matrix is the one they are drawn with (an image fills
    // the unit square of its matrix). An image from its samples: width, height and
    // bits per component from attrs; with kPDEImageIsMask a stencil mask (1 bit,
    // painted with the fill colour of its graphics state, cs null), otherwise cs
    // (acquired by the image) gives the colour space. data holds dataLen bytes: rows
    // of samples, each starting on a byte, or with kPDEImageEncoded the data already
    // encoded with the filters. The image becomes an XObject stream in cosDoc, encoded
    // with the filters (null: FlateDecode; FlateDecode, RunLengthDecode and
    // ASCIIHexDecode can be applied here), or with kPDEImageInline is written in-line
    // in the content (ASCIIHexDecode is then added so that the data reads back safely;
    // cosDoc may be null).
    PDEImage (*PDEImageCreate)(const PDEImageAttrs* attrs, ASUns32 attrsSize,
                               const ASFixedMatrix* matrix, PDEColorSpace cs, const ASUns8* data,
                               ASUns32 dataLen, const PDEFilterArray* filters, CosDoc cosDoc);
    // An image XObject stream as it is: size, colour space and mask flag come from it.
    PDEImage (*PDEImageCreateFromCosObj)(const CosObj* image, const ASFixedMatrix* matrix);
    // A shading dictionary (types 1 to 3) or stream (4 to 7), painted with sh.
    PDEShading (*PDEShadingCreateFromCosObj)(const CosObj* shading, const ASFixedMatrix* matrix);
};

// A page's content for editing: shared by every owner that acquired it.
struct PagePDEContentHFT {
    HFTHeader hdr;

    PDEContent (*PDPageAcquirePDEContent)(PDPage page, ExtensionID owner);
    // Returns the number of acquisitions left.
    ASInt32 (*PDPageReleasePDEContent)(PDPage page, ExtensionID owner);
    // Writes the acquired content back to the page (if it changed) and notifies the
    // host that the page's contents changed.
    void (*PDPageSetPDEContent)(PDPage page, ExtensionID owner);
};

// Fonts the host has without embedding them: the standard 14 fonts.
struct PDSysFontHFT {
    HFTHeader hdr;

    // The font whose name matches attrs->name (common aliases accepted); null when
    // there is none.
    PDSysFont (*PDFindSysFont)(const PDEFontAttrs* attrs, ASUns32 attrsSize, ASUns32 flags);
    PDSysFont (*PDFindSysFontForName)(const char* name);
    void (*PDSysFontGetAttrs)(PDSysFont font, PDEFontAttrs* attrs, ASUns32 attrsSize);
    // Advance widths in 1/1000 of the size for the codes 0..255 of the font's encoding.
    void (*PDSysFontGetWidths)(PDSysFont font, ASInt16 widths[256]);
    ASInt32 (*PDSysFontGetName)(PDSysFont font, char* buffer, ASInt32 bufferSize);
    void (*PDEnumSysFonts)(PDSysFontEnumProc proc, ASClientData data);
};
