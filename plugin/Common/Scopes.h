// Owners of host objects for a scope: each gives its object back when the scope ends,
// however it ends. Use them instead of releasing by hand, so that a host error between
// acquiring and releasing leaks nothing.
//
// A host error while giving an object back is written to the log (see logHostError):
// the scope may be ending because of another error, which its caller reports.
#pragma once

#include <utility>

#include "PIUtils.h"

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
// own here, such as a colour specification). The clean-up must not throw.
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

// A reference to a page-content object (element, content, clip, colour space, ...)
// released at the end of the scope. Null is allowed.
class ElementRef {
  public:
    ElementRef() = default;
    explicit ElementRef(PDEObject o) : o_(o) {}
    ~ElementRef() { reset(); }
    ElementRef(ElementRef&& other) noexcept : o_(other.release()) {}
    ElementRef& operator=(ElementRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ElementRef(const ElementRef&) = delete;
    ElementRef& operator=(const ElementRef&) = delete;

    PDEObject get() const { return o_; }
    explicit operator bool() const { return o_ != nullptr; }
    // Hands the reference to the caller.
    PDEObject release() { return std::exchange(o_, nullptr); }
    void reset(PDEObject o = nullptr) {
        PDEObject old = std::exchange(o_, o);
        if (old) logHostErrors("releasing a content element", [old] { pdeRelease(old); });
    }

  private:
    PDEObject o_ = nullptr;
};

// An acquired page, released at the end of the scope. Null is allowed.
class PageRef {
  public:
    PageRef() = default;
    explicit PageRef(PDPage page) : page_(page) {}
    // Acquires the page (a host error propagates, nothing is held).
    PageRef(PDDoc doc, ASInt32 pageIndex) : page_(pdDocAcquirePage(doc, pageIndex)) {}
    ~PageRef() { reset(); }
    PageRef(PageRef&& other) noexcept : page_(other.release()) {}
    PageRef& operator=(PageRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    PageRef(const PageRef&) = delete;
    PageRef& operator=(const PageRef&) = delete;

    PDPage get() const { return page_; }
    explicit operator bool() const { return page_ != nullptr; }
    PDPage release() { return std::exchange(page_, nullptr); }
    void reset(PDPage page = nullptr) {
        PDPage old = std::exchange(page_, page);
        if (old) logHostErrors("releasing a page", [old] { pdPageRelease(old); });
    }

  private:
    PDPage page_ = nullptr;
};

// A document opened or made here, closed at the end of the scope unless released to a
// new owner (a window, the caller). Null is allowed.
class DocRef {
  public:
    DocRef() = default;
    explicit DocRef(PDDoc doc) : doc_(doc) {}
    ~DocRef() { reset(); }
    DocRef(DocRef&& other) noexcept : doc_(other.release()) {}
    DocRef& operator=(DocRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    DocRef(const DocRef&) = delete;
    DocRef& operator=(const DocRef&) = delete;

    PDDoc get() const { return doc_; }
    explicit operator bool() const { return doc_ != nullptr; }
    PDDoc release() { return std::exchange(doc_, nullptr); }
    // Closes now; a host error propagates (the document is let go either way).
    void close() {
        if (PDDoc d = release()) pdDocClose(d);
    }
    void reset(PDDoc doc = nullptr) {
        PDDoc old = std::exchange(doc_, doc);
        if (old) logHostErrors("closing a document", [old] { pdDocClose(old); });
    }

  private:
    PDDoc doc_ = nullptr;
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
