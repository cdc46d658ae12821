// The document engine's contract with the other host modules (page content, views,
// the headless front end). Everything here is host-internal: the plug-in sees only
// the Cos and PDModel tables.
//
// Ownership model
// - Every open PDDoc owns one CosDoc. A CosDoc holds the document's QPDF through a
//   shared_ptr, so objects of a closed document stay readable while something still
//   holds them (CosObj values keep their CosDoc alive; a CosDoc keeps its QPDF alive).
// - Objects copied from another document (page insertion, CosObjCopy, copyForeign)
//   read their stream data lazily from the source QPDF until the destination is
//   written. The destination CosDoc therefore keeps every source QPDF it copied from
//   alive (keepSourceAlive), so a source may be closed before the destination is
//   saved.
// - PDPage handles are reference counted by PDDocAcquirePage / PDPageRelease. A page
//   handle stays valid while acquired, even if the page is deleted from its document
//   (its number is then -1); a closed document's pages must not be used.
// - Handles are checked: a PDDoc, PDPage or CosDoc that is not live raises
//   genErrBadParm instead of touching freed memory.
//
// Errors: every function below raises the host exception (vexa::host::raise) on
// failure. QPDF exceptions must not escape to the plug-in; wrap QPDF calls with
// guarded().
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

#include "CosHFT.h"
#include "PDModelHFT.h"
#include "core/Core.h"

namespace vexa::host::doc {

// The tables of the document engine (also registered with the table registry).
const CosHFT* cosTable();
const PDModelHFT* pdModelTable();

// ---- Documents, pages and their QPDF ----------------------------------------------

// The QPDF of a live document. The reference is valid while the document is open;
// take qpdfShared to keep it longer.
QPDF& qpdfOf(PDDoc doc);
std::shared_ptr<QPDF> qpdfShared(PDDoc doc);
QPDF& qpdfOf(CosDoc cosDoc);
std::shared_ptr<QPDF> qpdfShared(CosDoc cosDoc);

// The page dictionary of an acquired page.
QPDFObjectHandle pageObject(PDPage page);
// The document of an acquired page.
PDDoc docOfPage(PDPage page);
// The page's 0-based index in its document, -1 when it was deleted. O(1) after the
// document's page list is built.
int pageIndexOf(PDPage page);

CosDoc cosDocOf(PDDoc doc);
// The open document that owns the Cos document; null once that document is closed.
PDDoc pdDocOf(CosDoc cosDoc);

// The Cos document of a QPDF (e.g. an object's getOwningQPDF()); null for a QPDF
// without a live Cos document.
CosDoc cosDocOfQpdf(const QPDF* qpdf);

// True for a document handle that is open (created or opened and not yet closed).
bool isLiveDoc(PDDoc doc);

// ---- Cos objects ----------------------------------------------------------------

// The QPDF object behind a CosObj; the null handle gives a null object.
QPDFObjectHandle handleOf(const CosObj& obj);
// The Cos document a CosObj was made in or read from; null for objects without one
// (the null handle, objects made with a null CosDoc).
CosDoc cosDocOfObj(const CosObj& obj);
// Wraps a QPDF object as a CosObj of the Cos document (which may be null for direct
// objects that belong to no document).
CosObj cosObjFor(CosDoc cosDoc, QPDFObjectHandle handle);

// Copies an object of another document into dst (QPDF's foreign-object copy: each
// source indirect object is copied once per destination, so shared resources land
// once) and keeps the source QPDF alive for dst. Direct objects are copied deeply,
// with the indirect objects they reference. When the source is dst itself the object
// is returned unchanged.
QPDFObjectHandle copyForeign(CosDoc dst, QPDFObjectHandle foreign);
// Records that dst holds objects copied from src (done by copyForeign). Copy objects
// between documents only through copyForeign (or CosObjCopy / PDDocInsertPages):
// a direct call of QPDF::copyForeignObject does not keep the source alive.
// A copied stream whose data was replaced in memory shares that data with its
// original only when the data was given as a string or buffer; data given through a
// provider is read from the original when the copy is written, so such an original
// must not be destroyed (CosObjDestroy) before then.
void keepSourceAlive(CosDoc dst, std::shared_ptr<QPDF> src);

// Decoded stream data handed out (CosStreamGetData) is limited to this many bytes
// (256 MiB by default) so that a small compressed stream cannot exhaust memory.
// Returns the previous limit.
std::size_t setDecodedStreamLimit(std::size_t bytes);

// Documents created while this is on are written as they are made: the plug-in may
// write their finished pages ahead (PDDocWritePagesAhead), which frees them. A batch
// job that only saves its output turns it on; documents shown to a user never have it.
// savedMinor: the PDF 1.x version the documents will be saved in when it is known
// (0: their own); object streams are written ahead from 1.5 on.
void setWriteAheadForNewDocuments(bool on, int savedMinor = 0);
// True for an acquired page that was written ahead (its content can no longer change).
bool pageWrittenAhead(PDPage page);
// After a page of a document written ahead got new content: its former content
// streams and frame property lists that neither it nor any page still to be written
// uses are freed at once (nothing else refers to them). Nothing happens for other
// documents.
void releaseSuperseded(PDPage page, QPDFObjectHandle oldContents, QPDFObjectHandle oldResources);

// ---- Changes and notifications ----------------------------------------------------

// Sets the document's modified flag (PDDocNeedsSave). Call after every change made
// to a document's objects from outside the Cos and PDModel tables.
void markModified(PDDoc doc);
// How many changes were made to the document's objects so far (every markModified
// counts): a front end that shows the document compares it to see whether anything
// changed that no notification named.
std::uint64_t changeCount(PDDoc doc);
// Sends "pages changed" (selector 24) for pages first..last (0-based, inclusive).
void notifyPagesChanged(PDDoc doc, ASInt32 first, ASInt32 last);

// Called with each document just before it is closed (caches keyed by PDDoc or
// PDPage should drop their entries), in the order they were added, for as long as
// the process runs.
void addCloseHook(std::function<void(PDDoc)> hook);

// ---- Numbers and rectangles -------------------------------------------------------

// A number object as 16.16 fixed (saturating); non-numbers give 0.
ASFixed fixedOf(const QPDFObjectHandle& number);
// An integer object for whole values, a real otherwise (a shared value, see below).
QPDFObjectHandle numberOf(ASFixed value);
// Direct numbers, booleans, names and short strings never change once made (QPDF has
// no setter for them; a container takes a new value with replaceKey/setArrayItem), so
// one object can stand in every container that holds the same value. A large job
// holds hundreds of thousands of such values (frame dictionary entries, boxes, colour
// flags, the entries of template pages copied once per sheet). Returns the shared
// object for a direct value of those kinds (*shared set), h itself for any other
// object or when the table of shared values is full. Never make the result indirect
// (QPDF would turn every holder's value into that object).
QPDFObjectHandle sharedValue(QPDFObjectHandle h, bool* shared = nullptr);
// [llx lly urx ury] as a rectangle with left < right and bottom < top; false (and the
// rectangle untouched) when the object is not an array of four numbers.
bool rectOf(const QPDFObjectHandle& array, ASFixedRect* rect);
QPDFObjectHandle arrayOfRect(const ASFixedRect& rect);

// ---- Errors -----------------------------------------------------------------------

// Runs f; host exceptions pass through, QPDF and other standard exceptions become the
// host error `code` (out-of-memory becomes genErrNoMemory). The exception text goes
// to the warning sink.
[[noreturn]] void raiseFromException(const std::exception& e, ASErrorCode code);

template <class F>
decltype(auto) guarded(ASErrorCode code, F&& f) {
    try {
        return f();
    } catch (const ASException&) {
        throw;
    } catch (const std::exception& e) {
        raiseFromException(e, code);
    }
}

}  // namespace vexa::host::doc
