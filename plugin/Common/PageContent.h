// Walking page content and importing pages as forms. How a form is fitted into a
// frame is FrameFit's (its values are read by BoxDesc).
//
// The full walker (CPage::enumContent, CContent) visits every element at every depth,
// descending into forms and marked-content containers, and writes modified content
// back. The frame walker (EnumForms) visits only the frames lying directly in a
// page's content.
#pragma once

#include <vector>

#include "Common/PIUtils.h"

class CContent;

// Full walk: return false to stop (ignored for forms and containers).
typedef bool (*EnumContentProc)(CContent* level, PDEElement elem, long index, PDEType type,
                                long data);
// Frame walk: return false to stop.
typedef bool (*EnumFormsProc)(CContent* level, PDEElement frame, long index, long data);

// Appends at the end of a content list.
#define kAddAtEnd 0x7FFFFFFE

// One nesting level of a walk. Created on the stack by the walker: the constructor
// makes the new level current and the destructor makes the previous one current again.
class CContent {
  public:
    // A null matrix is the identity; a null content has no elements.
    CContent(PDEContent content, CContent* parent, const ASFixedMatrix* matrix);
    ~CContent();
    CContent(const CContent&) = delete;
    CContent& operator=(const CContent&) = delete;

    bool enumContent(EnumContentProc proc, long data);
    bool doForm(PDEForm form, long index, EnumContentProc proc, long data);
    void doContainer(PDEContainer container, EnumContentProc proc, long data);

    PDEElement getElem(long index, PDEType* type = nullptr);
    // Inserts after the index (kAddAtEnd appends); marks this level only.
    void addElem(PDEElement elem, long afterIndex);
    // Marks this level and every enclosing level.
    void rmvElem(long index);

    void addProcessed();
    void addModified();
    void addUnknown();

    PDEContent getContent() const { return content_; }
    const ASFixedMatrix& getMatrix() const { return matrix_; }
    long getCount() const { return count_; }
    long getIndex() const { return index_; }
    ASInt32 getModified() const { return modified_; }
    ASInt32 getUnknown() const { return unknown_; }
    ASInt32 getProcessed() const { return processed_; }

  private:
    bool isOnPath(CosObj form) const;

    CContent* parent_;
    CContent* previous_;
    ASFixedMatrix matrix_;
    PDEContent content_;
    long count_ = 0;
    long index_ = 0;
    EnumContentProc proc_ = nullptr;
    ASInt32 modified_ = 0;
    ASInt32 unknown_ = 0;
    ASInt32 processed_ = 0;
    CosObj form_;  // the form XObject of a form level
};

// A page, owned (released by the destructor) when acquired here.
class CPage {
  public:
    explicit CPage(PDPage page) : page_(page), owned_(false) {}
    CPage(PDDoc doc, long pageIndex);
    ~CPage();
    CPage(const CPage&) = delete;
    CPage& operator=(const CPage&) = delete;

    PDPage getPage() const { return page_; }
    ASFixedRect getMediaBox();
    ASFixedRect getCropBox();
    // The crop box in the view's device space (the view's current page).
    AVDevRect getCropBox(AVPageView view);
    bool getTrimBox(ASFixedRect* box);
    // The full walk; true when it ran to its end. unknownOut gets the number of
    // elements counted as unknown.
    bool enumContent(EnumContentProc proc, long* unknownOut, long data);

  private:
    PDPage page_;
    bool owned_;
};

// Keeps a page's content acquired for a scope: the frames a hit test hands out and the
// selection tags put on them live as long as the content does. A host error while
// acquiring leaves nothing held.
class PageContentHold {
  public:
    explicit PageContentHold(PDPage page);
    ~PageContentHold();
    PageContentHold(const PageContentHold&) = delete;
    PageContentHold& operator=(const PageContentHold&) = delete;

  private:
    PDPage page_ = nullptr;
};

// Keeps the content of every page of a document acquired while it lives, so that the
// walks of its pages in between read each page once. A page whose content cannot be
// read is left out (the error is logged; the walks of that page report it).
class DocContentHold {
  public:
    explicit DocContentHold(PDDoc doc);
    ~DocContentHold();
    DocContentHold(const DocContentHold&) = delete;
    DocContentHold& operator=(const DocContentHold&) = delete;

  private:
    std::vector<PDPage> pages_;
};

ASFixedRect getMediaBox(PDDoc doc, long pageIndex);
ASFixedRect getCropBox(PDDoc doc, long pageIndex);
ASFixedRect getTrimBox(PDDoc doc, long pageIndex);

// Walker state (0 or null when no walk runs): the level being walked and its counters.
CContent* getCurContent();
long getIndex();
ASInt32 getProcessed();
ASInt32 getModified();
ASInt32 getUnknown();
void addModified();

// Removes every element of a content list.
void removeContent(PDEContent content);
// Re-encodes a changed form and puts the new form in the old one's place.
void pdeSetContent(PDEContent parent, long index, PDEForm form, PDEContent content);

// Frame walks.
bool EnumForms(CContent* level, EnumFormsProc proc, long data, bool forward);
bool EnumForms(PDPage page, EnumFormsProc proc, long data, bool write, bool forward);
bool EnumForms(AVPageView view, EnumFormsProc proc, long data, bool write, bool forward);
bool EnumForms(PDDoc doc, long first, long last, EnumFormsProc proc, long data, bool write);

// Page import as form.
PDEForm getPageContent(PDDoc src, PDDoc dst, long pageIndex, long scale);
PDEForm getPageContent2(PDDoc src, PDDoc dst, long pageIndex, long scale);
ASInt32 getFormRotation(PDEForm form);
// The form's private "TrimBox" and true; else the element's bounding box and false.
bool getTrimBox(PDEForm form, ASFixedRect& box);
bool trimBoxAvail(PDEForm form);
bool trimBoxAvail(PDPage page);
// The form's "CMYK" flags, or the process colours of its content when absent.
void getCMYKUsage(PDEForm form, ASUns8 cmyk[4]);
ASInt32 getPgRotation(PDPage page);
void setPgString(PDPage page, const char* key, const char* value);
bool getPgString(PDPage page, const char* key, char* dst);
