// Owners of host objects for a scope: each gives its object back when the scope ends,
// however it ends. Use them instead of releasing by hand, so that a host error between
// acquiring and releasing leaks nothing.
//
// A host error while giving an object back is written to the log (see logHostError):
// the scope may be ending because of another error, which its caller reports.
#pragma once

#include <utility>

#include "Common/PIUtils.h"

// Writes "\t--\t<what>: <the error's text>\n" to the log (when logging is on): for host
// errors the system goes on after and the user need not be told of, which must still
// be traceable. Counts nothing and shows nothing.
void logHostError(const char* what, ASErrorCode code);

// Runs f; a host error is logged as logHostError does and answers false.
template <class F>
bool logHostErrors(const char* what, F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const ASException& e) {
        logHostError(what, e.code());
        return false;
    }
}

// Runs a clean-up of the caller's at the end of the scope (for what has no owner of its
// own here, such as the trim-lines colour). The clean-up must not throw.
template <class F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    F f_;
};

// The document in which new Cos objects are made (none for no document). The editing
// tool makes the front document current; work on another document does so in a
// CosDocScope.
extern CosDoc gCosDoc;
void setCosDoc(PDDoc doc);
PDDoc getCosPDDoc();

// Makes doc current again; one that was closed meanwhile leaves none (this runs in
// destructors too, so it does not throw: the error is logged).
void restoreCosDoc(PDDoc doc);

// Closes a document opened or made here with it current (an error while closing is
// logged), then makes current the document that was current before, or none when that
// was the one closed.
void closeDoc(PDDoc doc);

// Makes a document current for new Cos objects and the previous one current again.
class CosDocScope {
  public:
    explicit CosDocScope(PDDoc doc) : previous_(getCosPDDoc()) { setCosDoc(doc); }
    ~CosDocScope() { setCosDoc(previous_); }
    CosDocScope(const CosDocScope&) = delete;
    CosDocScope& operator=(const CosDocScope&) = delete;

  private:
    PDDoc previous_;
};

// Gives back what a HostRef holds, logging a host error as logHostErrors does.
void giveBackElement(PDEObject o);
void giveBackPage(PDPage page);
void giveBackDoc(PDDoc doc);

// Holds one host object of type T and gives it back with GiveBack at the end of the
// scope. Null is allowed; moving hands the object over.
template <class T, void (*GiveBack)(T)>
class HostRef {
  public:
    HostRef() = default;
    explicit HostRef(T object) : object_(object) {}
    ~HostRef() { reset(); }
    HostRef(HostRef&& other) noexcept : object_(other.release()) {}
    HostRef& operator=(HostRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    HostRef(const HostRef&) = delete;
    HostRef& operator=(const HostRef&) = delete;

    T get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the object to the caller.
    T release() { return std::exchange(object_, nullptr); }
    void reset(T object = nullptr) {
        if (T old = std::exchange(object_, object)) GiveBack(old);
    }

  private:
    T object_ = nullptr;
};

// A reference to a page-content object (element, content, clip, colour space, ...).
using ElementRef = HostRef<PDEObject, giveBackElement>;

// An acquired page.
class PageRef : public HostRef<PDPage, giveBackPage> {
  public:
    using HostRef::HostRef;
    // Acquires the page (a host error propagates, nothing is held).
    PageRef(PDDoc doc, ASInt32 pageIndex) : HostRef(pdDocAcquirePage(doc, pageIndex)) {}
};

// A document opened or made here, closed unless released to a new owner (a window,
// the caller).
class DocRef : public HostRef<PDDoc, giveBackDoc> {
  public:
    using HostRef::HostRef;
    // Closes now; a host error propagates (the document is let go either way).
    void close() {
        if (PDDoc d = release()) pdDocClose(d);
    }
};

// A page's content acquired for the scope and released at its end. Setting the content
// back (pdPageSetPDEContent) stays the caller's: a scope left by an error releases the
// content unchanged.
class PageContentRef {
  public:
    // Acquires (a host error propagates, nothing is held).
    explicit PageContentRef(PDPage page) : page_(page), content_(pdPageAcquirePDEContent(page)) {}
    ~PageContentRef() {
        if (page_)
            logHostErrors("releasing a page's content", [this] { pdPageReleasePDEContent(page_); });
    }
    PageContentRef(const PageContentRef&) = delete;
    PageContentRef& operator=(const PageContentRef&) = delete;

    PDEContent get() const { return content_; }
    PDPage page() const { return page_; }

  private:
    PDPage page_;
    PDEContent content_;
};
