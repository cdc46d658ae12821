// The structures behind PDDoc, PDPage, CosDoc and CosObj. Private to host/doc; other
// modules use DocInternal.h.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AcroViewHFT.h"
#include "doc/DocInternal.h"
#include "doc/StreamWriter.h"

struct _t_CosDoc : std::enable_shared_from_this<_t_CosDoc> {
    std::shared_ptr<QPDF> qpdf;
    PDDoc pdDoc = nullptr;  // the owning document; null once it is closed
    ~_t_CosDoc();
};

struct _t_PDPage {
    PDDoc doc = nullptr;
    QPDFObjectHandle obj;
    int refs = 0;
};

// The page labels as last read or written, valid while the catalog holds the same
// /PageLabels tree with the same /Nums array of the same length.
struct LabelCache {
    QPDFObjectHandle tree = QPDFObjectHandle::newNull(), nums = QPDFObjectHandle::newNull();
    int items = -1;
    std::map<long long, QPDFObjectHandle> labels;
};

struct _t_PDDoc {
    std::shared_ptr<_t_CosDoc> cos;
    LabelCache labelCache;
    std::string path;  // absolute path of the file; empty for a document never saved
    ASUns32 flags = 0;
    ASInt32 major = 1, minor = 3;   // version of the file
    bool linearizedBefore = false;  // a linearized save was made from this QPDF
    std::map<QPDFObjGen, _t_PDPage*> acquired;
    // Made while new documents are written as they are made (a batch job's output):
    // finished pages may be written ahead (PDDocWritePagesAhead).
    bool writeAhead = false;
    int writeAheadMinor = 0;  // the 1.x version it will be saved in, 0 unknown
    std::unique_ptr<vexa::host::doc::StreamWriter> writer;
    std::uint64_t changes = 0;  // changes made so far (changeCount)
};

namespace vexa::host::doc {

// CosObj's representation.
struct CosRep : CosObjRep {
    QPDFObjectHandle h;
    std::shared_ptr<_t_CosDoc> doc;
};

// Checked access to live handles (raise pdErrBadDoc / pdErrBadPage / cosErrBadDoc).
_t_PDDoc* checkDoc(PDDoc doc);
_t_PDPage* checkPage(PDPage page);
_t_CosDoc* checkCosDoc(CosDoc cosDoc);
bool isLivePage(PDPage page);
bool isLiveCosDoc(CosDoc cosDoc);
void registerCosDoc(_t_CosDoc* cosDoc);

std::shared_ptr<_t_CosDoc> newCosDoc(std::shared_ptr<QPDF> qpdf);

// Every QPDF of the host is made here. Its shared owner also holds the QPDFs whose
// objects were copied into it (addSource), so a chain of copies keeps every file it
// still reads from alive.
std::shared_ptr<QPDF> newQpdf();
std::shared_ptr<QPDF> sharedQpdf(QPDF* qpdf);  // null for a QPDF not made by newQpdf
void addSource(QPDF& dst, QPDF* src);

// Error texts of the document engine (registered once).
void registerDocErrorTexts();

// Number formatting of reals as written into files.
std::string realText(double value, int places);

// Copies text into a caller's buffer: at most size - 1 bytes, never cutting a UTF-8
// sequence, and a terminating zero; returns the full length.
ASInt32 copyOut(const std::string& text, char* buffer, ASInt32 size);

// Forwards the warnings QPDF collected to the host's warning sink.
void forwardWarnings(QPDF& q);

// A page's inheritable entry (/MediaBox, /CropBox, /Resources, /Rotate) from the page
// or the nearest page-tree node that has it; null when none has it.
QPDFObjectHandle inheritedAttribute(QPDFObjectHandle page, const std::string& key);

// Members of the PDModel table implemented in other files of the module.
CosObj pdPageLabelNew(PDDoc doc, ASAtom style, const char* prefix, ASInt32 prefixLen,
                      ASInt32 startAt);
CosObj pdDocGetPageLabel(PDDoc doc, ASInt32 pageNum, ASInt32* firstPageInRange);
void pdDocSetPageLabel(PDDoc doc, ASInt32 pageNum, CosObj label);
void pdDocRemovePageLabel(PDDoc doc, ASInt32 pageNum);
ASInt32 pdDocGetLabelForPageNum(PDDoc doc, ASInt32 pageNum, char* buffer, ASInt32 bufferSize);
void pdDocEnumResources(PDDoc doc, ASInt32 startPage, ASInt32 endPage, ASAtom resourceType,
                        CosObjEnumProc proc, ASClientData clientData);
void pdDocSave(PDDoc doc, ASUns32 saveFlags, const char* newPath);
void pdDocSaveWithParams(PDDoc doc, PDDocSaveParams params);

// Sends a notification through the application (nothing happens without one).
void broadcastNotification(const AVNotificationData& data);

}  // namespace vexa::host::doc
