// The PDModel table: documents, pages, page boxes, labels, information and saving.
#pragma once

#include "CosHFT.h"

#define kPDModelHFTVersion HFT_VERSION(6, 0)

// Errors of documents and pages.
enum {
    pdErrNotPDF = ErrBuildCode(ErrSysPDDoc, 1),      // "not a PDF file"
    pdErrDamaged = ErrBuildCode(ErrSysPDDoc, 2),     // "file is damaged and cannot be repaired"
    pdErrEncrypted = ErrBuildCode(ErrSysPDDoc, 3),   // "file is encrypted" (needs a password)
    pdErrOpenFailed = ErrBuildCode(ErrSysPDDoc, 4),  // other failures to open
    pdErrSaveFailed = ErrBuildCode(ErrSysPDDoc, 5),
    pdErrBadDoc = ErrBuildCode(ErrSysPDDoc, 6),  // not an open document
    pdErrBadPageLabel = ErrBuildCode(ErrSysPDDoc, 7),
    pdErrBadSaveParams = ErrBuildCode(ErrSysPDDoc, 8),
    pdErrUnsupported =
        ErrBuildCode(ErrSysPDDoc, 9),  // a feature of the file the host cannot handle
    pdErrBadPageNum = ErrBuildCode(ErrSysPDPage, 1),  // page number out of range
    pdErrBadPage = ErrBuildCode(ErrSysPDPage, 2),     // not an acquired page
    pdErrBadBoxName = ErrBuildCode(ErrSysPDPage, 3),
    pdErrBadPageTree = ErrBuildCode(ErrSysPDPage, 4),
    pdErrPageWritten = ErrBuildCode(ErrSysPDPage, 5),  // the page was written ahead
    fileErrNotFound = ErrBuildCode(ErrSysFile, 1),     // "file not found"
    fileErrRead = ErrBuildCode(ErrSysFile, 2),
    fileErrWrite = ErrBuildCode(ErrSysFile, 3),
};

// Page numbers are 0-based.
#define PDBeforeFirstPage ((ASInt32)-1)
#define PDLastPage ((ASInt32)-2)
#define PDAllPages ((ASInt32)-2)

// Document flags (PDDocGetFlags). Every change to a document sets PDDocNeedsSave; a
// full save clears it.
enum {
    PDDocNeedsSave = 0x0001,         // unsaved changes
    PDDocRequiresFullSave = 0x0002,  // the document is new or must be written whole
    PDDocWasRepaired = 0x0010,       // the file was damaged and repaired on opening
    PDDocIsLinearized = 0x0400,      // the file was linearized when opened
    PDDocIsEncrypted = 0x1000,       // the file is encrypted (opened with the empty password)
};

// Save flags.
enum {
    PDSaveIncremental = 0x00,  // written whole all the same: the host always writes full files
    PDSaveFull = 0x01,
    PDSaveCopy = 0x02,  // write a copy: the document keeps its path and flags
    PDSaveLinearized = 0x04,
    PDSaveCollectGarbage = 0x20,  // unreachable objects are left out (always done)
};
// Second save-flags word.
enum {
    PDSaveUncompressed = 0x01,  // no object streams and no compression of plain streams
    PDSaveCompressed = 0x02,    // object streams even where the version would not choose them
    PDSaveKeepModDate = 0x04,   // leave /ModDate of the information dictionary alone
    PDSaveAddFlate = 0x10,      // compress streams that have no filter (the default)
};

// Parameters of PDDocSaveWithParams. Zero members take the defaults: saveFlags 0 is
// a full save, newPath null the document's own path, major/minor 0 the document's
// version (raised as the features written need), saveFlags2 0 the writer's defaults:
// plain streams compressed with Flate, filtered streams carried over unchanged, object
// streams from PDF 1.5 on.
struct PDDocSaveParamsRec {
    ASSize_t size;  // sizeof(PDDocSaveParamsRec)
    ASUns32 saveFlags;
    const char* newPath;
    ASInt32 major;  // 1 (or 2 with minor 0)
    ASInt32 minor;  // 0 to 7
    ASUns32 saveFlags2;
};
typedef PDDocSaveParamsRec* PDDocSaveParams;

// Page box names for PDPageGetBox / PDPageSetBox: "MediaBox", "CropBox", "TrimBox",
// "BleedBox", "ArtBox" (as atoms).

struct PDModelHFT {
    HFTHeader hdr;

    // Documents.
    PDDoc (*PDDocCreate)(void);
    // Opens a file. With doRepair a damaged file is rebuilt from its objects; an
    // encrypted file opens when its user password is empty. Raises fileErrNotFound,
    // pdErrNotPDF, pdErrDamaged, pdErrEncrypted or pdErrOpenFailed.
    PDDoc (*PDDocOpen)(const char* path, ASBool doRepair);
    // The open document of that file (same file, whatever the spelling of the path),
    // or null.
    PDDoc (*PDDocFromPath)(const char* path);
    ASBool (*PDDocIsOpen)(const char* path);
    // Closes the document. Pages still acquired become unusable. Objects copied into
    // other documents stay valid.
    void (*PDDocClose)(PDDoc doc);
    ASInt32 (*PDDocGetNumPages)(PDDoc doc);
    CosDoc (*PDDocGetCosDoc)(PDDoc doc);
    ASUns32 (*PDDocGetFlags)(PDDoc doc);
    void (*PDDocSetFlags)(PDDoc doc, ASUns32 flags);    // sets the given bits
    void (*PDDocClearFlags)(PDDoc doc, ASUns32 flags);  // clears the given bits
    // Path (absolute) and name (last path component) of the document's file, UTF-8:
    // copies at most bufferSize - 1 bytes and a terminating zero, returns the full
    // length. A new document that was never saved has neither (length 0).
    ASInt32 (*PDDocGetPath)(PDDoc doc, char* buffer, ASInt32 bufferSize);
    ASInt32 (*PDDocGetName)(PDDoc doc, char* buffer, ASInt32 bufferSize);
    // PDF version of the document (1.7 gives 1 and 7): the file's header version, or
    // the version of the last save; 1.3 for a new document.
    void (*PDDocGetVersion)(PDDoc doc, ASInt32* major, ASInt32* minor);

    // Document information, UTF-8 (key without slash, e.g. "Title"). GetInfo copies at
    // most bufferSize - 1 bytes (never a partial character) and a terminating zero and
    // returns the value's full length (0 when absent). SetInfo with a null value
    // removes the entry.
    ASInt32 (*PDDocGetInfo)(PDDoc doc, const char* key, char* buffer, ASInt32 bufferSize);
    void (*PDDocSetInfo)(PDDoc doc, const char* key, const char* value, ASInt32 len);

    // Pages. An acquired page is released with PDPageRelease; acquiring the same page
    // again gives the same handle with one more reference.
    PDPage (*PDDocAcquirePage)(PDDoc doc, ASInt32 pageNum);
    void (*PDPageRelease)(PDPage page);
    // A new empty page after afterPageNum (PDBeforeFirstPage for the front) with the
    // media box; returned acquired.
    PDPage (*PDDocCreatePage)(PDDoc doc, ASInt32 afterPageNum, ASFixedRect mediaBox);
    // Inserts numPages pages of src from startPage (PDAllPages for all) after
    // mergeAfterThisPage (PDBeforeFirstPage, or PDLastPage for the end), with
    // everything they use, inherited attributes put on the pages themselves. Every
    // insertion gives its pages their own copies of what a page is edited through:
    // content streams, resource dictionaries, marked-content property lists (frames)
    // and annotations (shared between pages only as the source shares them). Fonts,
    // images, forms and the other resources of a source are copied into a destination
    // once and shared by all insertions from that source. src may be doc itself.
    // insertFlags is reserved (0).
    void (*PDDocInsertPages)(PDDoc doc, ASInt32 mergeAfterThisPage, PDDoc src, ASInt32 startPage,
                             ASInt32 numPages, ASUns32 insertFlags);
    // Deletes pages firstPage to lastPage (inclusive; PDLastPage for the last page).
    void (*PDDocDeletePages)(PDDoc doc, ASInt32 firstPage, ASInt32 lastPage);

    CosObj (*PDPageGetCosObj)(PDPage page);
    ASInt32 (*PDPageGetNumber)(PDPage page);  // -1 once the page was deleted
    PDDoc (*PDPageGetDoc)(PDPage page);
    // A page box by name, read with inheritance from the page tree and the defaults
    // (CropBox defaults to the MediaBox, the other boxes to the CropBox) and clipped to
    // the MediaBox. Returns true when the page (or the page tree) has the entry.
    ASBool (*PDPageGetBox)(PDPage page, ASAtom boxName, ASFixedRect* box);
    // Writes the box on the page itself.
    void (*PDPageSetBox)(PDPage page, ASAtom boxName, ASFixedRect box);
    void (*PDPageGetMediaBox)(PDPage page, ASFixedRect* box);
    void (*PDPageGetCropBox)(PDPage page, ASFixedRect* box);
    void (*PDPageSetMediaBox)(PDPage page, ASFixedRect box);
    // Sets the crop box; with setMediaBox the media box too.
    void (*PDPageSetCropBox)(PDPage page, ASFixedRect box, ASBool setMediaBox);
    // Rotation in degrees: 0, 90, 180 or 270 (inherited, normalised: 450 reads as 90,
    // -90 as 270). Setting takes multiples of 90 only.
    ASInt32 (*PDPageGetRotate)(PDPage page);
    void (*PDPageSetRotate)(PDPage page, ASInt32 angle);
    // Marks the document changed and sends the pages-changed notification.
    void (*PDPageNotifyContentsDidChange)(PDPage page);

    // Page labels. A label is a direct Cos dictionary: style atom "D" decimal, "R" / "r"
    // roman, "A" / "a" letters, or ASAtomNull for none; prefix UTF-8 (may be null);
    // startAt the number of the range's first page (1 and up).
    CosObj (*PDPageLabelNew)(PDDoc doc, ASAtom style, const char* prefix, ASInt32 prefixLen,
                             ASInt32 startAt);
    // The label range in effect at pageNum and its first page; null when the document
    // has no labels.
    CosObj (*PDDocGetPageLabel)(PDDoc doc, ASInt32 pageNum, ASInt32* firstPageInRange);
    // Starts a label range at pageNum (replacing one that starts there).
    void (*PDDocSetPageLabel)(PDDoc doc, ASInt32 pageNum, CosObj label);
    // Removes the range that starts at pageNum (nothing when none starts there).
    void (*PDDocRemovePageLabel)(PDDoc doc, ASInt32 pageNum);
    // The text shown for a page (its label, or the decimal page number + 1 without
    // labels), UTF-8, copied like PDDocGetInfo.
    ASInt32 (*PDDocGetLabelForPageNum)(PDDoc doc, ASInt32 pageNum, char* buffer,
                                       ASInt32 bufferSize);

    // Calls proc(resource, name, clientData) for every resource of the kind
    // (e.g. "ColorSpace", "Font", "XObject") used by pages startPage to endPage
    // (endPage -1 or PDLastPage for the last page), including resources of the forms
    // and tiling patterns those pages use, each object once; stops when proc returns
    // false.
    void (*PDDocEnumResources)(PDDoc doc, ASInt32 startPage, ASInt32 endPage, ASAtom resourceType,
                               CosObjEnumProc proc, ASClientData clientData);

    // Saving. The "document will be saved" notification goes out first with the
    // parameters, which its handlers may change. The file is written to a temporary
    // file in the target folder and renamed over the target, so a failed save never
    // leaves a partial file. A full save (not a copy) makes the document refer to the
    // new path and clears PDDocNeedsSave.
    void (*PDDocSave)(PDDoc doc, ASUns32 saveFlags, const char* newPath);
    void (*PDDocSaveWithParams)(PDDoc doc, PDDocSaveParams params);

    // Writing ahead. Some documents are written while they are made (the host decides:
    // a batch job's output that is only saved, never shown). For those, this writes
    // pages 0 to lastPage (PDLastPage: all) to the file being made and frees their
    // content, and returns true; such pages keep their boxes and rotation but their
    // content and boxes can no longer be changed (pdErrPageWritten), and the next save
    // completes the file. For other documents it does nothing and returns false.
    // lastPage PDBeforeFirstPage only asks.
    ASBool (*PDDocWritePagesAhead)(PDDoc doc, ASInt32 lastPage);
    // For a document written ahead: obj, used by pages written ahead and by no page that
    // is not written yet (nor, the caller knows, by any page still to come), is written
    // to the file being made and freed: it reads as null from then on, and so does a
    // reference made to it later. Does nothing for other documents, for an object no
    // page written ahead refers to, or for one a page not written yet refers to.
    void (*PDDocWriteObjAhead)(PDDoc doc, CosObj obj);
};
