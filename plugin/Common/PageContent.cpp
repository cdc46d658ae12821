#include "Common/PageContent.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Common/BoxDesc.h"
#include "Common/CarryOver.h"
#include "Common/ColorSupport.h"
#include "Common/ErrorHandling.h"
#include "Common/ProcessColors.h"
#include "Common/Scopes.h"

namespace {

// Where the frame walker is: the content level it reads, the page's own level, and how
// deep in nested forms and containers it is.
struct WalkState {
    CContent* content = nullptr;  // the level being walked, null when no walk runs
};
WalkState gWalk;

const ASFixedMatrix kIdentity = {fixedOne, 0, 0, fixedOne, 0, 0};

// Releases a page's content at the end of a scope, also when a host error leaves it.
// (A destructor must not throw: an error while releasing is logged.)
struct PageContentGuard {
    PDPage page;
    ~PageContentGuard() {
        if (page)
            logHostErrors("releasing a page's content", [this] { pdPageReleasePDEContent(page); });
    }
};

struct FormContentGuard {
    PDEForm form;
    PDEContent content;
    ~FormContentGuard() {
        logHostErrors("releasing a form's content", [this] {
            if (content) pdeFormReleaseContent(form, content);
        });
        if (form) giveBackElement(form);
    }
};

}  // namespace

// CContent.

CContent::CContent(PDEContent content, CContent* parent, const ASFixedMatrix* matrix)
    : parent_(parent),
      previous_(gWalk.content),
      matrix_(matrix ? *matrix : kIdentity),
      content_(content) {
    count_ = content ? pdeContentGetNumElems(content) : 0;
    gWalk.content = this;
}

CContent::~CContent() {
    gWalk.content = previous_;
}

PDEElement CContent::getElem(long index, PDEType* type) {
    PDEElement e = pdeContentGetElem(content_, static_cast<ASInt32>(index));
    if (type) *type = e ? pdeObjectGetType(e) : 0;
    return e;
}

void CContent::addElem(PDEElement elem, long afterIndex) {
    pdeContentAddElem(content_, static_cast<ASInt32>(afterIndex), elem);
    ++count_;
    ++modified_;
}

void CContent::rmvElem(long index) {
    pdeContentRemoveElem(content_, static_cast<ASInt32>(index));
    --count_;
    addModified();
}

void CContent::addProcessed() {
    for (CContent* c = this; c; c = c->parent_) ++c->processed_;
}
void CContent::addModified() {
    for (CContent* c = this; c; c = c->parent_) ++c->modified_;
}
void CContent::addUnknown() {
    for (CContent* c = this; c; c = c->parent_) ++c->unknown_;
}

bool CContent::isOnPath(CosObj form) const {
    for (const CContent* c = this; c; c = c->parent_)
        if (!c->form_.isNullHandle() && cosObjEqual(c->form_, form)) return true;
    return false;
}

bool CContent::enumContent(EnumContentProc proc, long data) {
    if (!proc) return true;
    proc_ = proc;
    for (long i = count_ - 1; i >= 0; --i) {
        if (i >= count_) continue;  // the callback removed more than its own element
        addProcessed();
        index_ = i;
        PDEType type = 0;
        PDEElement e = getElem(i, &type);
        if (!e) continue;
        if (type == kPDEForm) {
            pdeAcquire(e);
            FormContentGuard hold{e, nullptr};
            proc(this, e, i, type, data);
            // The callback may have removed or replaced the form.
            if (i < count_ && getElem(i) == e && !doForm(e, i, proc, data)) return false;
        } else if (type == kPDEContainer) {
            pdeAcquire(e);
            FormContentGuard hold{nullptr, nullptr};
            hold.form = e;
            proc(this, e, i, type, data);
            if (i < count_ && getElem(i) == e) doContainer(e, proc, data);
        } else if (type == kPDEGroup) {
            addUnknown();
        } else if (!proc(this, e, i, type, data)) {
            return false;
        }
    }
    return true;
}

bool CContent::doForm(PDEForm form, long index, EnumContentProc proc, long data) {
    CosObj xobject = pdeFormGetCosObj(form);
    // A form that draws itself, directly or through other forms, is not entered again.
    if (isOnPath(xobject)) {
        addUnknown();
        return true;
    }
    ASFixedMatrix own;
    pdeGetMatrix(form, &own);
    ASFixedMatrix m;
    asFixedMatrixConcat(&m, &matrix_, &own);
    pdeAcquire(form);
    FormContentGuard hold{form, nullptr};
    hold.content = pdeFormAcquireContent(form);
    bool result;
    {
        CContent level(hold.content, this, &m);
        level.form_ = xobject;
        result = level.enumContent(proc, data);
        if (level.modified_ > 0) {
            pdeSetContent(content_, index, form, hold.content);
            // The new form took the old one's place in this list: the change must reach
            // the page even when the callback marked only the form's own level.
            addModified();
        }
    }
    return result;
}

void CContent::doContainer(PDEContainer container, EnumContentProc proc, long data) {
    CContent level(pdeContainerGetContent(container), this, nullptr);
    level.enumContent(proc, data);
    // The container's list is changed in place; an addition marked only that level.
    if (level.modified_ > 0 && modified_ == 0) addModified();
}

void pdeSetContent(PDEContent parent, long index, PDEForm form, PDEContent content) {
    ASFixedMatrix m;
    pdeGetMatrix(form, &m);
    PDEClip clip = pdeGetClip(form);
    PDEContentAttrs attrs;
    std::memset(&attrs, 0, sizeof attrs);
    pdeContentGetAttrs(content, &attrs);
    CosDoc doc = cosObjGetDoc(pdeFormGetCosObj(form));
    if (!doc) doc = gCosDoc;
    PDEFilterArray filters;
    std::memset(&filters, 0, sizeof filters);
    filters.numFilters = 1;
    filters.spec[0].name = asAtomFromString("FlateDecode");
    CosObj stream, resources;
    pdeContentToCosObj(content, kPDEContentToForm, &attrs, doc, &filters, &stream, &resources);
    PDEForm fresh = pdeFormCreateFromCosObj(&stream, &resources, &m);
    struct Release {
        PDEForm f;
        ~Release() { pdeRelease(f); }
    } release{fresh};
    if (clip) pdeSetClip(fresh, clip);
    pdeContentAddElem(parent, static_cast<ASInt32>(index), fresh);
    pdeContentRemoveElem(parent, static_cast<ASInt32>(index));
}

void removeContent(PDEContent content) {
    if (!content) return;
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) pdeContentRemoveElem(content, 0);
}

// Walker state.

// The counters of the level being walked, read through getCurContent.

CContent* getCurContent() {
    return gWalk.content;
}
long getIndex() {
    CContent* level = getCurContent();
    return level ? level->getIndex() : 0;
}
ASInt32 getProcessed() {
    CContent* level = getCurContent();
    return level ? level->getProcessed() : 0;
}
ASInt32 getModified() {
    CContent* level = getCurContent();
    return level ? level->getModified() : 0;
}
ASInt32 getUnknown() {
    CContent* level = getCurContent();
    return level ? level->getUnknown() : 0;
}
void addModified() {
    if (CContent* level = getCurContent()) level->addModified();
}

// CPage.

CPage::CPage(PDDoc doc, long pageIndex)
    : page_(pdDocAcquirePage(doc, static_cast<ASInt32>(pageIndex))), owned_(true) {}

CPage::~CPage() {
    if (owned_ && page_) pdPageRelease(page_);
}

ASFixedRect CPage::getMediaBox() {
    ASFixedRect r{0, 0, 0, 0};
    pdPageGetMediaBox(page_, &r);
    return r;
}
ASFixedRect CPage::getCropBox() {
    ASFixedRect r{0, 0, 0, 0};
    pdPageGetCropBox(page_, &r);
    return r;
}
AVDevRect CPage::getCropBox(AVPageView view) {
    ASFixedRect r = getCropBox();
    AVDevRect d{0, 0, 0, 0};
    if (view) gAcroViewHFT->AVPageViewRectToDevice(view, &r, &d);
    return d;
}
bool CPage::getTrimBox(ASFixedRect* box) {
    ASFixedRect r{0, 0, 0, 0};
    bool has = pdPageGetBox(page_, "TrimBox", &r);
    if (has && box) *box = r;
    return has;
}

bool CPage::enumContent(EnumContentProc proc, long* unknownOut, long data) {
    PDEContent content = pdPageAcquirePDEContent(page_);
    PageContentGuard guard{page_};
    bool result;
    ASInt32 unknown;
    {
        CContent level(content, nullptr, nullptr);
        result = level.enumContent(proc, data);
        unknown = level.getUnknown();
        // Writing back notifies the host that the page changed.
        if (level.getModified() > 0) pdPageSetPDEContent(page_);
    }
    if (unknownOut) *unknownOut = unknown;
    return result;
}

PageContentHold::PageContentHold(PDPage page) {
    if (!page) return;
    logHostErrors("reading a page's content", [&] {
        pdPageAcquirePDEContent(page);
        page_ = page;
    });
}

PageContentHold::~PageContentHold() {
    if (page_)
        logHostErrors("releasing a page's content", [this] { pdPageReleasePDEContent(page_); });
}

DocContentHold::DocContentHold(PDDoc doc) {
    ASInt32 n = 0;
    if (!doc || !logHostErrors("counting a document's pages", [&] { n = pdDocGetNumPages(doc); }))
        return;
    for (ASInt32 i = 0; i < n; ++i) {
        PDPage page = nullptr;
        if (!logHostErrors("reading a page's content", [&] {
                page = pdDocAcquirePage(doc, i);
                pdPageAcquirePDEContent(page);
            })) {
            if (page) giveBackPage(page);
            continue;
        }
        pages_.push_back(page);
    }
}

DocContentHold::~DocContentHold() {
    for (PDPage page : pages_) {
        logHostErrors("releasing a page's content", [page] { pdPageReleasePDEContent(page); });
        giveBackPage(page);
    }
}

ASFixedRect getMediaBox(PDDoc doc, long pageIndex) {
    CPage p(doc, pageIndex);
    return p.getMediaBox();
}
ASFixedRect getCropBox(PDDoc doc, long pageIndex) {
    CPage p(doc, pageIndex);
    return p.getCropBox();
}
ASFixedRect getTrimBox(PDDoc doc, long pageIndex) {
    CPage p(doc, pageIndex);
    ASFixedRect r{0, 0, 0, 0};
    p.getTrimBox(&r);
    return r;
}

// Frame walks.

namespace {
bool isFrame(PDEElement e) {
    if (!e || pdeObjectGetType(e) != kPDEContainer) return false;
    CosObj d = pdeContainerGetDict(e);
    return cosObjIsDictOrStream(d) && cosDictKnown(d, "top");
}
}  // namespace

bool EnumForms(CContent* level, EnumFormsProc proc, long data, bool forward) {
    if (!level || !proc) return true;
    long n = level->getCount();
    for (long k = 0; k < n; ++k) {
        long i = forward ? k : n - 1 - k;
        if (i >= level->getCount()) continue;
        PDEElement e = level->getElem(i);
        if (!isFrame(e)) continue;
        if (!proc(level, e, i, data)) return false;
    }
    return true;
}

bool EnumForms(PDPage page, EnumFormsProc proc, long data, bool write, bool forward) {
    if (!page) {
        AVDoc front = avAppGetActiveDoc();
        AVPageView view = front ? avDocGetPageView(front) : nullptr;
        page = view ? avPageViewGetPage(view) : nullptr;
        if (!page) return true;
    }
    PDEContent content = pdPageAcquirePDEContent(page);
    PageContentGuard guard{page};
    CContent level(content, nullptr, nullptr);
    bool result = EnumForms(&level, proc, data, forward);
    if (write) pdPageSetPDEContent(page);
    return result;
}

bool EnumForms(AVPageView view, EnumFormsProc proc, long data, bool write, bool forward) {
    PDPage page = view ? avPageViewGetPage(view) : nullptr;
    if (!page) return true;
    return EnumForms(page, proc, data, write, forward);
}

bool EnumForms(PDDoc doc, long first, long last, EnumFormsProc proc, long data, bool write) {
    if (!doc) doc = getFrontPDDoc();
    if (!doc) return true;
    long n = pdDocGetNumPages(doc);
    if (last == PDLastPage || last >= n || last < 0) last = n - 1;
    if (first < 0) first = 0;
    for (long i = first; i <= last; ++i) {
        CPage page(doc, i);
        if (!EnumForms(page.getPage(), proc, data, write, false)) return false;
    }
    return true;
}

// Page-dictionary helpers.

ASInt32 getPgRotation(PDPage page) {
    return getKeyValueInt(pdPageGetCosObj(page), "Rotate", 0);
}

bool trimBoxAvail(PDPage page) {
    CosObj d = pdPageGetCosObj(page);
    return cosObjIsDictOrStream(d) && cosDictKnown(d, "TrimBox");
}

void setPgString(PDPage page, const char* key, const char* value) {
    CosObj d = pdPageGetCosObj(page);
    CosDoc doc = cosObjGetDoc(d);
    if (!value) value = "";
    putKeyValue(d, key, cosNewString(doc, false, value, std::strlen(value)));
}

bool getPgString(PDPage page, const char* key, char* dst) {
    return getKeyValueString(pdPageGetCosObj(page), key, dst, 256);
}

// Imported forms.

ASInt32 getFormRotation(PDEForm form) {
    return getKeyValueInt(pdeFormGetCosObj(form), "Rotate", 0);
}

bool trimBoxAvail(PDEForm form) {
    CosObj d = pdeFormGetCosObj(form);
    return cosObjIsDictOrStream(d) && cosDictKnown(d, "TrimBox");
}

bool getTrimBox(PDEForm form, ASFixedRect& box) {
    FormBoxes boxes = readFormBoxes(form);
    box = boxes.hasTrim ? boxes.trim : boxes.bbox;
    return boxes.hasTrim;
}

void getCMYKUsage(PDEForm form, ASUns8 cmyk[4]) {
    for (int i = 0; i < 4; ++i) cmyk[i] = 1;
    CosObj a;
    ASInt32 type = CosNull;
    if (getKeyValue(pdeFormGetCosObj(form), "CMYK", &a, &type) == 0 && type == CosArray &&
        cosArrayLength(a) >= 4) {
        for (ASInt32 i = 0; i < 4; ++i)
            cmyk[i] = static_cast<ASUns8>(cosIntegerValue(cosArrayGet(a, i)));
        return;
    }
    PDEContent content = pdeFormAcquireContent(form);
    FormContentGuard guard{form, content};
    pdeAcquire(form);
    getProcessColors(content, cmyk);
}

namespace {

CosObj fixedArray(CosDoc doc, const ASFixed* v, int n) {
    CosObj a = cosNewArray(doc, false, n);
    for (int i = 0; i < n; ++i) cosArrayInsert(a, i, cosNewFixed(doc, false, v[i]));
    return a;
}

// True when obj is the page's /Contents or /Resources (or a part of /Contents): the
// conversion may hand those out again, and they must survive the import.
bool belongsToPage(CosObj page, CosObj obj) {
    CosObj contents = cosDictGet(page, "Contents");
    if (cosObjEqual(contents, obj) || cosObjEqual(cosDictGet(page, "Resources"), obj)) return true;
    if (cosObjGetType(contents) == CosArray)
        for (ASInt32 i = 0; i < cosArrayLength(contents); ++i)
            if (cosObjEqual(cosArrayGet(contents, i), obj)) return true;
    return false;
}

// The private keys of an imported page: "TrimBox" (scaled like the form), "CMYK"
// and "Rotate".
void writeImportKeys(PDEForm form, PDPage page, const ASUns8 cmyk[4], ASFixed s, CosDoc doc) {
    CosObj x = pdeFormGetCosObj(form);
    if (trimBoxAvail(page)) {
        ASFixedRect t{0, 0, 0, 0};
        pdPageGetBox(page, "TrimBox", &t);
        // The form draws its content scaled about the origin.
        ASFixed v[4] = {asFixedMul(t.left, s), asFixedMul(t.bottom, s), asFixedMul(t.right, s),
                        asFixedMul(t.top, s)};
        putKeyValue(x, "TrimBox", fixedArray(doc, v, 4));
    }
    CosObj a = cosNewArray(doc, false, 4);
    for (int i = 0; i < 4; ++i) cosArrayInsert(a, i, cosNewInteger(doc, false, cmyk[i]));
    putKeyValue(x, "CMYK", a);
    putKeyValue(x, "Rotate", cosNewInteger(doc, false, getPgRotation(page)));
}

PDEContentAttrs importAttrs(PDPage page, ASFixed s) {
    PDEContentAttrs attrs;
    std::memset(&attrs, 0, sizeof attrs);
    attrs.flags = kPDEFormAttrsSet;
    pdPageGetBox(page, "CropBox", &attrs.bbox);
    ASFixed k = asFixedMul(s, fixedOne);
    attrs.matrix = ASFixedMatrix{k, 0, 0, k, 0, 0};
    return attrs;
}

// The page's resources, inherited from the page tree when the page has none.
CosObj pageResources(CosObj page) {
    for (int depth = 0; depth < 64 && cosObjIsDictOrStream(page); ++depth) {
        CosObj r = cosDictGet(page, "Resources");
        if (cosObjGetType(r) != CosNull) return r;
        page = cosDictGet(page, "Parent");
    }
    return CosObj{};
}

// A name with its length, so that names holding blanks or slashes read apart.
void appendName(std::string& key, ASAtom name) {
    const char* text = asAtomGetString(name);
    key += '/' + std::to_string(std::strlen(text)) + ':';
    key += text;
    key += ' ';
}

// A text telling resource dictionaries apart: equal texts, equal dictionaries, with
// indirect objects by their number. False for what it cannot tell exactly (real
// numbers, a text that grows too long, nesting too deep).
bool resourceKey(CosObj o, std::string& key, int depth) {
    if (depth > 16 || key.size() > 4096) return false;
    if (cosObjIsIndirect(o)) {
        key += 'R' + std::to_string(gCosHFT->CosObjGetID(o)) + ' ';
        return true;
    }
    switch (cosObjGetType(o)) {
        case CosNull:
            key += "n ";
            return true;
        case CosBoolean:
            key += gCosHFT->CosBooleanValue(o) ? "t " : "f ";
            return true;
        case CosInteger:
            key += std::to_string(cosIntegerValue(o)) + ' ';
            return true;
        case CosName:
            appendName(key, cosNameValue(o));
            return true;
        case CosString: {
            ASSize_t len = 0;
            char* bytes = gCosHFT->CosCopyStringValue(o, &len);
            key += '(' + std::to_string(len) + ':';
            if (bytes) {
                key.append(bytes, len);
                asFree(bytes);
            }
            key += ") ";
            return true;
        }
        case CosArray: {
            key += "[ ";
            ASInt32 n = cosArrayLength(o);
            for (ASInt32 i = 0; i < n; ++i)
                if (!resourceKey(cosArrayGet(o, i), key, depth + 1)) return false;
            key += "] ";
            return true;
        }
        case CosDict: {
            struct Walk {
                std::string* key;
                int depth;
                bool ok;
            } w{&key, depth, true};
            key += "<< ";
            cosObjEnum(
                o,
                [](CosObj k, CosObj v, ASClientData data) -> ASBool {
                    auto* w = static_cast<Walk*>(data);
                    appendName(*w->key, cosNameValue(k));
                    w->ok = resourceKey(v, *w->key, w->depth + 1);
                    return w->ok;
                },
                &w);
            key += ">> ";
            return w.ok;
        }
        default:
            return false;
    }
}

// The resources of a form made from a page: a dictionary of the form's own with the
// page's entries copied into the destination. While a SharedResourcesScope lives,
// pages with the same resources (the same indirect dictionary, or equal entries, as
// the pages of most documents have) share one indirect dictionary: one object for a
// whole job instead of one per placed page.
CosObj formResources(PDDoc src, CosObj resources, CosDoc dstCos) {
    std::string key;
    bool share = sharingResources() && cosObjIsDictOrStream(resources);
    if (share) {
        char tag[64];
        std::snprintf(tag, sizeof tag, "Resources of %p: ", static_cast<void*>(src));
        key = tag;
        share = resourceKey(resources, key, 0);
    }
    if (share) {
        CosObj known = getSharedObject(dstCos, key);
        if (!known.isNullHandle()) return known;
    }
    CosObj res = cosNewDict(dstCos, share, 0);
    if (cosObjIsDictOrStream(resources)) {
        CosObj copied = cosObjCopy(resources, dstCos, true);
        cosObjEnum(
            copied,
            [](CosObj k, CosObj value, ASClientData data) -> ASBool {
                cosDictPut(*static_cast<CosObj*>(data), cosNameValue(k), value);
                return true;
            },
            &res);
    }
    if (share) putSharedObject(dstCos, key, res);
    return res;
}

// What the page takes along besides its content: its document's layers, its
// transparency group and its printable annotations, drawn into the form.
void carryAlong(PDDoc src, PDDoc dst, CosObj page, CosObj form, ASUns8 cmyk[4]) {
    CosDoc dstCos = pdDocGetCosDoc(dst);
    carryOptionalContent(src, dst);
    carryOutputIntents(src, dst);
    carryGroup(page, cosStreamDict(form), dstCos);
    flattenAnnotations(page, form, dstCos, cmyk);
}

// A page's several content streams as one new stream of dst: their decoded bytes joined,
// a line break between two (a stream boundary separates tokens, so the join must too),
// with their colours scanned. Null when one is not a stream or the scan declines.
CosObj joinedContents(CosObj contents, CosObj resources, CosDoc dstCos, ASUns8 cmyk[4]) {
    ASInt32 n = cosArrayLength(contents);
    if (n < 1) return CosObj();
    std::string bytes;
    for (ASInt32 i = 0; i < n; ++i) {
        CosObj part = cosArrayGet(contents, i);
        if (cosObjGetType(part) != CosStream) return CosObj();
        ASSize_t len = 0;
        char* data = cosStreamGetData(part, &len);
        if (i > 0) bytes += '\n';
        if (data) bytes.append(data, static_cast<size_t>(len));
        asFree(data);
    }
    if (!scanProcessColors(bytes.data(), bytes.size(), resources, cmyk)) return CosObj();
    return cosNewStream(dstCos, bytes.data(), static_cast<ASSize_t>(bytes.size()), CosObj());
}

// An import at scale 1.0 that does not read the page as elements: the form's stream is
// a copy of the page's one content stream (its bytes as stored), or its several streams
// joined, its resources a dictionary with the page's entries, and its colours come from a
// scan of the content. Null when the page is not of that simple kind (content the scan
// does not read, printable annotations, a stream already imported): the caller takes the
// long way.
PDEForm importPageDirect(PDDoc src, PDDoc dst, long pageIndex) {
    CPage page(src, pageIndex);
    PDPage p = page.getPage();
    if (!p) return nullptr;
    CosObj pageDict = pdPageGetCosObj(p);
    CosObj contents = cosDictGet(pageDict, "Contents");
    ASInt32 kind = cosObjGetType(contents);
    if (kind != CosStream && kind != CosArray) return nullptr;
    // A page whose annotations are drawn into its form needs a stream of its own: the
    // content stream may be another page's too.
    if (hasPrintableAnnotations(pageDict)) return nullptr;
    CosObj resources = pageResources(pageDict);
    if (cosObjGetType(resources) != CosNull && !cosObjIsDictOrStream(resources)) return nullptr;
    ASUns8 cmyk[4] = {0, 0, 0, 0};
    CosDoc dstCos = pdDocGetCosDoc(dst);
    ASFixedMatrix m = kIdentity;
    CosObj stream;
    if (kind == CosArray) {
        stream = joinedContents(contents, resources, dstCos, cmyk);
        if (stream.isNullHandle()) return nullptr;
    } else {
        if (!scanStreamColors(contents, resources, cmyk)) return nullptr;
        stream = cosObjCopy(contents, dstCos, true);
        // Imported before and written already (its sheets are done): the page is
        // imported anew the long way.
        if (cosObjGetType(stream) != CosStream) return nullptr;
        CosObj known = cosStreamDict(stream);
        if (cosDictKnown(known, "Subtype")) {
            // The same page imported before into this document: its copy is that form
            // already, with its resources and keys; it is placed again, not copied
            // again. A content stream that came with a "Subtype" of its own is no such
            // form.
            CosObj res = cosDictGet(known, "Resources");
            if (!cosDictKnown(known, "CMYK") || !cosObjIsDictOrStream(res)) return nullptr;
            return pdeFormCreateFromCosObj(&stream, &res, &m);
        }
    }
    CosObj dict = cosStreamDict(stream);
    cosDictPut(dict, "Type", cosNewName(dstCos, false, "XObject"));
    cosDictPut(dict, "Subtype", cosNewName(dstCos, false, "Form"));
    ASFixedRect crop{0, 0, 0, 0};
    pdPageGetBox(p, "CropBox", &crop);
    ASFixed box[4] = {crop.left, crop.bottom, crop.right, crop.top};
    cosDictPut(dict, "BBox", fixedArray(dstCos, box, 4));
    CosObj res = formResources(src, resources, dstCos);
    cosDictPut(dict, "Resources", res);
    carryAlong(src, dst, pageDict, stream, cmyk);
    res = cosDictGet(dict, "Resources");
    PDEForm form = pdeFormCreateFromCosObj(&stream, &res, &m);
    writeImportKeys(form, p, cmyk, fixedOne, dstCos);
    return form;
}

// The page's content as a form of dst (null for a page without content). workDoc holds
// the page: the source, or dst for an import by insertion.
PDEForm formOfPage(PDPage page, PDDoc src, PDDoc dst, PDDoc workDoc, ASFixed s, bool viaInsert) {
    PDEContent content = pdPageAcquirePDEContent(page);
    if (!content) return nullptr;
    PageContentGuard guard{page};
    PDEContentAttrs attrs = importAttrs(page, s);
    CosDoc dstCos = pdDocGetCosDoc(dst);
    CosObj stream, resources;
    pdeContentToCosObj(content, kPDEContentToForm, &attrs, pdDocGetCosDoc(workDoc), nullptr,
                       &stream, &resources);
    if (!viaInsert) {
        CosObj pageDict = pdPageGetCosObj(page);
        CosObj s2 = cosObjCopy(stream, dstCos, true);
        CosObj r2 = cosObjCopy(resources, dstCos, true);
        if (!belongsToPage(pageDict, stream)) cosObjDestroy(stream);
        if (!belongsToPage(pageDict, resources)) cosObjDestroy(resources);
        stream = s2;
        resources = r2;
    }
    ASUns8 cmyk[4] = {0, 0, 0, 0};
    getProcessColors(content, cmyk);
    cosDictPut(cosStreamDict(stream), "Resources", resources);
    carryAlong(src, dst, pdPageGetCosObj(page), stream, cmyk);
    resources = cosDictGet(cosStreamDict(stream), "Resources");
    ASFixedMatrix m = kIdentity;
    if (gVersMajor <= 9) m = attrs.matrix;
    ElementRef form(pdeFormCreateFromCosObj(&stream, &resources, &m));
    writeImportKeys(form.get(), page, cmyk, s, dstCos);
    return form.release();
}

PDEForm importPage(PDDoc src, PDDoc dst, long pageIndex, long scale, bool viaInsert) {
    ASFixed s = scale > 0 ? static_cast<ASFixed>(scale) : fixedOne;
    if (!viaInsert && s == fixedOne) {
        ASUns32 flags = pdDocGetFlags(src);
        PDEForm direct = nullptr;
        // What cannot be carried over directly is imported through its content.
        ASErrorCode failed = hostErrorOf([&] { direct = importPageDirect(src, dst, pageIndex); });
        if (!(flags & PDDocNeedsSave)) {
            pdDocClearFlags(src, PDDocNeedsSave);
            pdDocSetFlags(src, flags);
        }
        if (direct) return direct;
        if (failed == cosErrStreamData) {
            // Content that cannot be decoded (damaged, or in a filter no reader knows)
            // would be carried over as it is and print as the damage has it, blank or
            // cut short, while the job counted the page as placed: it is not read.
            reportError(static_cast<ASInt32>(pageIndex) + 1,
                        "its content cannot be decoded (the file is damaged)");
            return nullptr;
        }
        if (failed != genErrNoError) logHostError("importing a page directly", failed);
    }
    ASUns32 flags = pdDocGetFlags(src);
    PDDoc workDoc = viaInsert ? dst : src;
    PDEForm form = nullptr;
    reportHostErrors(static_cast<ASInt32>(pageIndex) + 1, [&] {
        long inserted = -1;  // the temporary page of an import by insertion
        // A failed import leaves no temporary page behind.
        ScopeExit removeInserted([&] {
            if (inserted >= 0)
                logHostErrors("removing the page inserted for an import", [&] {
                    pdDocDeletePages(dst, static_cast<ASInt32>(inserted),
                                     static_cast<ASInt32>(inserted));
                });
        });
        long workIndex = pageIndex;
        if (viaInsert) {
            pdDocInsertPages(dst, PDLastPage, src, static_cast<ASInt32>(pageIndex), 1);
            inserted = workIndex = pdDocGetNumPages(dst) - 1;
        }
        ElementRef made;
        {
            PageRef page(workDoc, static_cast<ASInt32>(workIndex));
            made.reset(formOfPage(page.get(), src, dst, workDoc, s, viaInsert));
        }
        if (inserted >= 0) {
            pdDocDeletePages(dst, static_cast<ASInt32>(inserted), static_cast<ASInt32>(inserted));
            inserted = -1;
        }
        form = made.release();
    });
    // Importing never marks the source as changed.
    if (!viaInsert && !(flags & PDDocNeedsSave)) {
        pdDocClearFlags(src, PDDocNeedsSave);
        pdDocSetFlags(src, flags);
    }
    return form;
}

}  // namespace

PDEForm getPageContent(PDDoc src, PDDoc dst, long pageIndex, long scale) {
    return importPage(src, dst, pageIndex, scale, false);
}

PDEForm getPageContent2(PDDoc src, PDDoc dst, long pageIndex, long scale) {
    return importPage(src, dst, pageIndex, scale, true);
}
