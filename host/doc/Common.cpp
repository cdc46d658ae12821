// Live handle sets, error texts, number and rectangle conversions shared by the
// document engine.
#include <qpdf/QPDFExc.hh>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

std::unordered_set<const _t_CosDoc*>& liveCosDocs() {
    static auto* s = new std::unordered_set<const _t_CosDoc*>;  // never destroyed: used until exit
    return *s;
}
std::unordered_map<const QPDF*, _t_CosDoc*>& cosDocsByQpdf() {
    static auto* m =
        new std::unordered_map<const QPDF*, _t_CosDoc*>;  // never destroyed: used until exit
    return *m;
}

struct QpdfHolder;
std::unordered_map<const QPDF*, std::weak_ptr<QpdfHolder>>& holders() {
    static auto* h =
        new std::unordered_map<const QPDF*,
                               std::weak_ptr<QpdfHolder>>;  // never destroyed: used until exit
    return *h;
}

// sources is declared first so that it goes last: the QPDF that reads from them is
// destroyed before them.
struct QpdfHolder {
    std::map<unsigned long long, std::shared_ptr<QPDF>> sources;
    QPDF qpdf;
    ~QpdfHolder() { holders().erase(&qpdf); }
};

}  // namespace
}  // namespace vexa::host::doc

_t_CosDoc::~_t_CosDoc() {
    vexa::host::doc::liveCosDocs().erase(this);
    auto& m = vexa::host::doc::cosDocsByQpdf();
    auto it = m.find(qpdf.get());
    if (it != m.end() && it->second == this) m.erase(it);
}

namespace vexa::host::doc {

void registerCosDoc(_t_CosDoc* cosDoc) {
    liveCosDocs().insert(cosDoc);
    cosDocsByQpdf()[cosDoc->qpdf.get()] = cosDoc;
}

CosDoc cosDocOfQpdf(const QPDF* qpdf) {
    auto it = cosDocsByQpdf().find(qpdf);
    return it == cosDocsByQpdf().end() ? nullptr : it->second;
}

bool isLiveCosDoc(CosDoc cosDoc) {
    return cosDoc && liveCosDocs().count(cosDoc) != 0;
}

_t_CosDoc* checkCosDoc(CosDoc cosDoc) {
    if (!isLiveCosDoc(cosDoc)) raise(cosErrBadDoc);
    return cosDoc;
}

std::shared_ptr<_t_CosDoc> newCosDoc(std::shared_ptr<QPDF> qpdf) {
    auto c = std::make_shared<_t_CosDoc>();
    c->qpdf = std::move(qpdf);
    registerCosDoc(c.get());
    return c;
}

QPDF& qpdfOf(CosDoc cosDoc) {
    return *checkCosDoc(cosDoc)->qpdf;
}
std::shared_ptr<QPDF> qpdfShared(CosDoc cosDoc) {
    return checkCosDoc(cosDoc)->qpdf;
}

std::shared_ptr<QPDF> newQpdf() {
    auto h = std::make_shared<QpdfHolder>();
    holders()[&h->qpdf] = h;
    return std::shared_ptr<QPDF>(h, &h->qpdf);
}

std::shared_ptr<QPDF> sharedQpdf(QPDF* qpdf) {
    auto it = holders().find(qpdf);
    if (it == holders().end()) return nullptr;
    auto h = it->second.lock();
    return h ? std::shared_ptr<QPDF>(h, &h->qpdf) : nullptr;
}

namespace {

// The PDF version of a QPDF's document: the open document's own (raised by what it
// took in), else the file's.
void versionOf(QPDF* q, ASInt32* major, ASInt32* minor) {
    CosDoc c = cosDocOfQpdf(q);
    if (c && c->pdDoc) {
        *major = c->pdDoc->major;
        *minor = c->pdDoc->minor;
        return;
    }
    int a = 1, b = 3;
    if (std::sscanf(q->getPDFVersion().c_str(), "%d.%d", &a, &b) == 2) {
        *major = a;
        *minor = b;
    }
}

}  // namespace

void addSource(QPDF& dst, QPDF* src) {
    if (!src || src == &dst) return;
    // Objects of a document may use the features of its version: the document that
    // takes them in is at least of that version too.
    CosDoc to = cosDocOfQpdf(&dst);
    if (to && to->pdDoc) {
        ASInt32 major = 1, minor = 3;
        versionOf(src, &major, &minor);
        _t_PDDoc* d = to->pdDoc;
        if (major > d->major || (major == d->major && minor > d->minor)) {
            d->major = major;
            d->minor = minor;
        }
    }
    auto it = holders().find(&dst);
    auto h = it == holders().end() ? nullptr : it->second.lock();
    if (!h) return;
    auto s = sharedQpdf(src);
    if (s) h->sources.emplace(src->getUniqueId(), std::move(s));
}

void keepSourceAlive(CosDoc dst, std::shared_ptr<QPDF> src) {
    _t_CosDoc* d = checkCosDoc(dst);
    if (src) addSource(*d->qpdf, src.get());
}

void registerDocErrorTexts() {
    static std::once_flag once;
    std::call_once(once, [] {
        setErrorText(cosErrExpectedDict, "A dictionary was expected");
        setErrorText(cosErrExpectedArray, "An array was expected");
        setErrorText(cosErrExpectedNumber, "A number was expected");
        setErrorText(cosErrExpectedName, "A name was expected");
        setErrorText(cosErrExpectedString, "A string was expected");
        setErrorText(cosErrExpectedStream, "A stream was expected");
        setErrorText(cosErrExpectedBoolean, "A boolean was expected");
        setErrorText(cosErrArrayBounds, "Array index out of range");
        setErrorText(cosErrBadObject, "The object cannot be used");
        setErrorText(cosErrOtherDoc, "The object belongs to another document; copy it first");
        setErrorText(cosErrStreamData, "The stream data cannot be read or decoded");
        setErrorText(cosErrUnsupportedFilter, "The stream filter is not supported for writing");
        setErrorText(cosErrBadDoc, "The Cos document is not open");
        setErrorText(pdErrNotPDF, "not a PDF file");
        setErrorText(pdErrDamaged, "file is damaged and cannot be repaired");
        setErrorText(pdErrEncrypted, "file is encrypted");
        setErrorText(pdErrOpenFailed, "the file cannot be opened");
        setErrorText(pdErrSaveFailed, "the file could not be saved");
        setErrorText(pdErrBadDoc, "the document is not open");
        setErrorText(pdErrBadPageLabel, "bad page label");
        setErrorText(pdErrBadSaveParams, "bad save parameters");
        setErrorText(pdErrUnsupported, "the file uses a feature the host cannot handle");
        setErrorText(pdErrBadPageNum, "page number out of range");
        setErrorText(pdErrBadPage, "the page is not acquired");
        setErrorText(pdErrBadBoxName, "unknown page box");
        setErrorText(pdErrBadPageTree, "the page tree of the file is damaged");
        setErrorText(pdErrPageWritten,
                     "the page was already written to the file and can no longer be changed");
        setErrorText(fileErrNotFound, "file not found");
        setErrorText(fileErrRead, "the file cannot be read");
        setErrorText(fileErrWrite, "the file cannot be written");
    });
}

// The texts are there as soon as the engine is linked in, before any table is asked for.
[[maybe_unused]] const bool kErrorTextsRegistered = (registerDocErrorTexts(), true);

void raiseFromException(const std::exception& e, ASErrorCode code) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) raise(genErrNoMemory);
    if (auto q = dynamic_cast<const QPDFExc*>(&e)) {
        warn(q->what());
        if (q->getErrorCode() == qpdf_e_password) raise(pdErrEncrypted);
        raise(code);
    }
    warn(e.what());
    raise(code);
}

std::string realText(double value, int places) {
    if (!std::isfinite(value)) value = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", places, value);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.push_back('0');
    }
    if (s == "-0.0") s = "0.0";
    return s;
}

ASFixed fixedOf(const QPDFObjectHandle& number) {
    QPDFObjectHandle n = number;
    double v;
    if (n.isInteger())
        v = static_cast<double>(n.getIntValue());
    else if (n.isReal())
        v = n.getNumericValue();
    else
        return 0;
    double f = std::round(v * 65536.0);
    if (!(f < 2147483647.0)) return fixedPositiveInfinity;
    if (!(f > -2147483648.0)) return fixedNegativeInfinity;
    return static_cast<ASFixed>(f);
}

QPDFObjectHandle numberOf(ASFixed value) {
    if ((value & 0xFFFF) == 0) return sharedValue(QPDFObjectHandle::newInteger(value >> 16));
    return sharedValue(QPDFObjectHandle::newReal(realText(value / 65536.0, 5)));
}

QPDFObjectHandle sharedValue(QPDFObjectHandle h, bool* shared) {
    // Bounded: a job's frequent values (0, 1, page sizes, names) come first; values
    // met once each (box numbers of a long job) stop being added when the table is full.
    constexpr std::size_t kMaxShared = 8192;
    constexpr std::size_t kMaxString = 64;
    static auto* table = new std::unordered_map<std::string, QPDFObjectHandle>;  // until exit
    if (shared) *shared = false;
    if (h.isIndirect()) return h;
    std::string key;
    switch (h.getTypeCode()) {
        case ::ot_integer:
            key = "i" + std::to_string(h.getIntValue());
            break;
        case ::ot_real:
            key = "r" + h.getRealValue();
            break;
        case ::ot_name:
            key = "n" + h.getName();
            break;
        case ::ot_boolean:
            key = h.getBoolValue() ? "b1" : "b0";
            break;
        case ::ot_string:
            if (h.getStringValue().size() > kMaxString) return h;
            key = "s" + h.getStringValue();
            break;
        default:
            return h;
    }
    auto it = table->find(key);
    if (it != table->end()) {
        if (shared) *shared = true;
        return it->second;
    }
    if (table->size() >= kMaxShared) return h;
    // A value of its own: h may carry a description of the file it was read from.
    QPDFObjectHandle v;
    switch (h.getTypeCode()) {
        case ::ot_integer:
            v = QPDFObjectHandle::newInteger(h.getIntValue());
            break;
        case ::ot_real:
            v = QPDFObjectHandle::newReal(h.getRealValue());
            break;
        case ::ot_name:
            v = QPDFObjectHandle::newName(h.getName());
            break;
        case ::ot_boolean:
            v = QPDFObjectHandle::newBool(h.getBoolValue());
            break;
        default:
            v = QPDFObjectHandle::newString(h.getStringValue());
            break;
    }
    table->emplace(std::move(key), v);
    if (shared) *shared = true;
    return v;
}

bool rectOf(const QPDFObjectHandle& array, ASFixedRect* rect) {
    QPDFObjectHandle a = array;
    if (!a.isArray() || a.getArrayNItems() != 4) return false;
    ASFixed v[4];
    for (int i = 0; i < 4; ++i) {
        QPDFObjectHandle e = a.getArrayItem(i);
        if (!e.isNumber()) return false;
        v[i] = fixedOf(e);
    }
    rect->left = std::min(v[0], v[2]);
    rect->right = std::max(v[0], v[2]);
    rect->bottom = std::min(v[1], v[3]);
    rect->top = std::max(v[1], v[3]);
    return true;
}

QPDFObjectHandle arrayOfRect(const ASFixedRect& r) {
    QPDFObjectHandle a = QPDFObjectHandle::newArray();
    a.appendItem(numberOf(std::min(r.left, r.right)));
    a.appendItem(numberOf(std::min(r.bottom, r.top)));
    a.appendItem(numberOf(std::max(r.left, r.right)));
    a.appendItem(numberOf(std::max(r.bottom, r.top)));
    return a;
}

}  // namespace vexa::host::doc
