// The Cos table over QPDF objects.
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_RunLength.hh>
#include <qpdf/Pl_String.hh>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

// Decoded stream data handed out is limited, so a small compressed stream cannot
// make the host allocate without bound.
std::size_t gMaxDecodedStream = std::size_t(256) << 20;

void destroyRep(CosObjRep* r) {
    delete static_cast<CosRep*>(r);
}

CosRep* repOf(const CosObj& o) {
    return static_cast<CosRep*>(o.rep());
}

// The moves of object handles below copy with a QPDF whose handles do not move yet.
CosObj wrap(std::shared_ptr<_t_CosDoc> doc, QPDFObjectHandle h) {
    auto* r = new CosRep;
    r->refs = 1;
    r->destroy = destroyRep;
    r->h = std::move(h);  // NOLINT(performance-move-const-arg)
    r->doc = std::move(doc);
    return CosObj(r);
}

std::shared_ptr<_t_CosDoc> docShared(const CosObj& o) {
    CosRep* r = repOf(o);
    return r ? r->doc : nullptr;
}

// An object reached from `from`: same document.
CosObj derived(const CosObj& from, QPDFObjectHandle h) {
    return wrap(docShared(from), std::move(h));  // NOLINT(performance-move-const-arg)
}

std::string keyOf(ASAtom key) {
    if (key == ASAtomNull) raise(genErrBadParm);
    return std::string("/") + atomString(key);
}

void changed(const CosObj& o) {
    CosRep* r = repOf(o);
    if (r && r->doc && r->doc->pdDoc) markModified(r->doc->pdDoc);
}

QPDF* qpdfOfRep(const CosObj& o) {
    CosRep* r = repOf(o);
    if (r && r->doc) return r->doc->qpdf.get();
    return nullptr;
}

// Values put into a container must not reference objects of another QPDF.
void checkForeignRefs(QPDF* target, QPDFObjectHandle v, int depth = 0) {
    if (!target) return;
    if (depth > 200) raise(cosErrBadObject);
    if (v.isIndirect()) {
        QPDF* owner = v.getOwningQPDF();
        if (owner && owner != target) raise(cosErrOtherDoc);
        return;
    }
    if (v.isArray()) {
        for (auto& e : v.aitems()) checkForeignRefs(target, e, depth + 1);
    } else if (v.isDictionary()) {
        for (auto& kv : v.ditems()) checkForeignRefs(target, kv.second, depth + 1);
    }
}

QPDFObjectHandle dictOf(const CosObj& o) {
    QPDFObjectHandle h = handleOf(o);
    if (h.isStream()) return h.getDict();
    if (!h.isDictionary()) raise(cosErrExpectedDict);
    return h;
}

QPDFObjectHandle arrayOf(const CosObj& o) {
    QPDFObjectHandle h = handleOf(o);
    if (!h.isArray()) raise(cosErrExpectedArray);
    return h;
}

QPDFObjectHandle streamOf(const CosObj& o) {
    QPDFObjectHandle h = handleOf(o);
    if (!h.isStream()) raise(cosErrExpectedStream);
    return h;
}

QPDF* targetQpdf(const CosObj& container, QPDFObjectHandle& h) {
    QPDF* q = h.isIndirect() ? h.getOwningQPDF() : nullptr;
    return q ? q : qpdfOfRep(container);
}

char* hostCopy(const std::string& s, ASSize_t* len) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (!p) raise(genErrNoMemory);
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = 0;
    if (len) *len = s.size();
    return p;
}

CosType typeOf(QPDFObjectHandle h) {
    switch (h.getTypeCode()) {
        case ::ot_boolean:
            return CosBoolean;
        case ::ot_integer:
            return CosInteger;
        case ::ot_real:
            return CosFixed;
        case ::ot_name:
            return CosName;
        case ::ot_string:
            return CosString;
        case ::ot_array:
            return CosArray;
        case ::ot_dictionary:
            return CosDict;
        case ::ot_stream:
            return CosStream;
        default:
            return CosNull;
    }
}

bool equalHandles(QPDFObjectHandle a, QPDFObjectHandle b, int depth) {
    if (depth > 200) return false;
    if (a.isIndirect() || b.isIndirect())
        return a.isIndirect() && b.isIndirect() && a.isSameObjectAs(b);
    CosType t = typeOf(a);
    if (t != typeOf(b)) return false;
    switch (t) {
        case CosNull:
            return true;
        case CosBoolean:
            return a.getBoolValue() == b.getBoolValue();
        case CosInteger:
            return a.getIntValue() == b.getIntValue();
        case CosFixed:
            return a.getNumericValue() == b.getNumericValue();
        case CosName:
            return a.getName() == b.getName();
        case CosString:
            return a.getStringValue() == b.getStringValue();
        case CosArray: {
            int n = a.getArrayNItems();
            if (n != b.getArrayNItems()) return false;
            for (int i = 0; i < n; ++i)
                if (!equalHandles(a.getArrayItem(i), b.getArrayItem(i), depth + 1)) return false;
            return true;
        }
        case CosDict: {
            auto ka = a.getKeys();
            if (ka != b.getKeys()) return false;
            for (auto& k : ka)
                if (!equalHandles(a.getKey(k), b.getKey(k), depth + 1)) return false;
            return true;
        }
        default:
            return false;
    }
}

// ---- encoding of new stream data --------------------------------------------------

std::vector<std::string> filterNames(QPDFObjectHandle filters) {
    std::vector<std::string> names;
    if (filters.isNull()) return names;
    if (filters.isName()) {
        names.push_back(filters.getName());
    } else if (filters.isArray()) {
        for (auto& f : filters.aitems()) {
            if (!f.isName()) raise(cosErrExpectedName);
            names.push_back(f.getName());
        }
    } else {
        raise(cosErrExpectedName);
    }
    return names;
}

std::string encodeWith(const std::string& filter, const std::string& data) {
    std::string out;
    Pl_String sink("encoded", nullptr, out);
    if (filter == "/FlateDecode" || filter == "/Fl") {
        Pl_Flate flate("flate", &sink, Pl_Flate::a_deflate);
        flate.writeString(data);
        flate.finish();
    } else if (filter == "/RunLengthDecode" || filter == "/RL") {
        Pl_RunLength rl("runlength", &sink, Pl_RunLength::a_encode);
        rl.writeString(data);
        rl.finish();
    } else if (filter == "/ASCIIHexDecode" || filter == "/AHx") {
        static const char* hex = "0123456789ABCDEF";
        out.reserve(data.size() * 2 + 1);
        for (unsigned char c : data) {
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
        out.push_back('>');
    } else {
        raise(cosErrUnsupportedFilter);
    }
    return out;
}

void setStreamData(QPDFObjectHandle stream, const char* data, ASSize_t len,
                   QPDFObjectHandle filters, QPDFObjectHandle parms, bool encoded) {
    if (!data && len) raise(genErrBadParm);
    std::string bytes(data ? data : "", data ? len : 0);
    std::vector<std::string> names = filterNames(filters);
    if (!encoded && !names.empty()) {
        if (!parms.isNull() && !(parms.isDictionary() && parms.getKeys().empty()) &&
            !(parms.isArray() && parms.getArrayNItems() == 0))
            raise(cosErrUnsupportedFilter);  // predictors etc. cannot be encoded
        parms = QPDFObjectHandle::newNull();
        for (auto it = names.rbegin(); it != names.rend(); ++it) bytes = encodeWith(*it, bytes);
    }
    if (names.empty()) {
        filters = QPDFObjectHandle::newNull();
        parms = QPDFObjectHandle::newNull();
    }
    stream.replaceStreamData(bytes, filters, parms);
    QPDFObjectHandle dict = stream.getDict();
    if (filters.isNull()) dict.removeKey("/Filter");
    if (parms.isNull()) dict.removeKey("/DecodeParms");
}

// A pipeline that collects data up to a limit.
class LimitedSink : public Pipeline {
  public:
    LimitedSink(std::string& out, std::size_t limit)
        : Pipeline("limited", nullptr), out_(out), limit_(limit) {}
    void write(unsigned char const* data, size_t len) override {
        if (out_.size() + len > limit_) {
            exceeded = true;
            throw std::length_error("decoded stream too large");
        }
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}
    bool exceeded = false;

  private:
    std::string& out_;
    std::size_t limit_;
};

// ---- copying ----------------------------------------------------------------------

// The copy of a direct value that is not a container: the shared object of that value.
QPDFObjectHandle copyScalar(QPDFObjectHandle h) {
    bool shared = false;
    QPDFObjectHandle v = sharedValue(h, &shared);
    return shared ? v : h.shallowCopy();
}

// Copy within one QPDF: direct parts always, indirect objects when `indirect`.
class SameDocCopier {
  public:
    SameDocCopier(QPDF& q, bool indirect) : q_(q), indirect_(indirect) {}

    QPDFObjectHandle copyRoot(QPDFObjectHandle h) {
        if (!h.isIndirect()) return copyDirect(h, 0);
        return copyIndirect(h);
    }

  private:
    QPDFObjectHandle copyIndirect(QPDFObjectHandle h) {
        if (h.isPagesObject()) return h;  // never the page tree
        QPDFObjGen og = h.getObjGen();
        auto it = done_.find(og);
        if (it != done_.end()) return it->second;
        if (h.isStream()) {
            QPDFObjectHandle c = h.copyStream();
            done_[og] = c;
            QPDFObjectHandle d = c.getDict();
            for (auto& k : d.getKeys()) d.replaceKey(k, child(d.getKey(k), 0));
            return c;
        }
        // A reserved object stands in while the copy is built, so cycles resolve.
        QPDFObjectHandle placeholder = QPDFObjectHandle::newReserved(&q_);
        done_[og] = placeholder;
        q_.replaceReserved(placeholder, copyDirect(h, 0));
        return placeholder;
    }

    QPDFObjectHandle child(QPDFObjectHandle h, int depth) {
        if (h.isIndirect()) return indirect_ ? copyIndirect(h) : h;
        return copyDirect(h, depth + 1);
    }

    QPDFObjectHandle copyDirect(QPDFObjectHandle h, int depth) {
        if (depth > 200) raise(cosErrBadObject);
        if (h.isArray()) {
            QPDFObjectHandle a = QPDFObjectHandle::newArray();
            for (auto& e : h.aitems()) a.appendItem(child(e, depth));
            return a;
        }
        if (h.isDictionary()) {
            QPDFObjectHandle d = QPDFObjectHandle::newDictionary();
            for (auto& kv : h.ditems()) d.replaceKey(kv.first, child(kv.second, depth));
            return d;
        }
        if (h.isStream()) return q_.makeIndirectObject(QPDFObjectHandle::newNull());  // unreachable
        return copyScalar(h);
    }

    QPDF& q_;
    bool indirect_;
    std::map<QPDFObjGen, QPDFObjectHandle> done_;
};

QPDFObjectHandle copyForeignDirect(QPDF& dst, QPDFObjectHandle h, int depth) {
    if (depth > 200) raise(cosErrBadObject);
    if (h.isIndirect()) {
        QPDF* owner = h.getOwningQPDF();
        if (owner == &dst) return h;
        if (h.isPagesObject()) return QPDFObjectHandle::newNull();
        addSource(dst, owner);
        return dst.copyForeignObject(h);
    }
    if (h.isArray()) {
        QPDFObjectHandle a = QPDFObjectHandle::newArray();
        for (auto& e : h.aitems()) a.appendItem(copyForeignDirect(dst, e, depth + 1));
        return a;
    }
    if (h.isDictionary()) {
        QPDFObjectHandle d = QPDFObjectHandle::newDictionary();
        for (auto& kv : h.ditems())
            d.replaceKey(kv.first, copyForeignDirect(dst, kv.second, depth + 1));
        return d;
    }
    return copyScalar(h);
}

// ---- the table's functions ---------------------------------------------------------

template <class F>
decltype(auto) cos(F&& f) {
    return guarded(cosErrBadObject, std::forward<F>(f));
}

CosType cosObjGetType(CosObj o) {
    return cos([&] { return typeOf(handleOf(o)); });
}

ASBool cosObjEqual(CosObj a, CosObj b) {
    return cos([&] { return equalHandles(handleOf(a), handleOf(b), 0); });
}

ASBool cosObjIsIndirect(CosObj o) {
    return cos([&] { return handleOf(o).isIndirect(); });
}

CosDoc cosObjGetDoc(CosObj o) {
    return cosDocOfObj(o);
}

ASInt32 cosObjGetID(CosObj o) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(o);
        return h.isIndirect() ? h.getObjectID() : 0;
    });
}

ASBool cosObjEnum(CosObj o, CosObjEnumProc proc, ASClientData data) {
    if (!proc) raise(genErrBadParm);
    QPDFObjectHandle h = cos([&] { return handleOf(o); });
    std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> items;
    cos([&] {
        if (h.isStream()) h = h.getDict();
        if (h.isDictionary()) {
            for (auto& kv : h.ditems())
                if (!kv.second.isNull())
                    items.emplace_back(QPDFObjectHandle::newName(kv.first), kv.second);
        } else if (h.isArray()) {
            for (auto& e : h.aitems()) items.emplace_back(e, QPDFObjectHandle::newNull());
        }
    });
    // The proc runs outside the guard: its own host errors pass through unchanged.
    for (auto& it : items)
        if (!proc(derived(o, it.first), derived(o, it.second), data)) return false;
    return true;
}

CosObj cosObjCopy(CosObj src, CosDoc dst, ASBool copyIndirect) {
    _t_CosDoc* d = checkCosDoc(dst);
    return cos([&] {
        QPDFObjectHandle h = handleOf(src);
        QPDF* from = h.isIndirect() ? h.getOwningQPDF() : qpdfOfRep(src);
        if (from && from != d->qpdf.get()) return cosObjFor(dst, copyForeign(dst, h));
        SameDocCopier c(*d->qpdf, copyIndirect);
        return cosObjFor(dst, c.copyRoot(h));
    });
}

void cosObjDestroy(CosObj o) {
    cos([&] {
        QPDFObjectHandle h = handleOf(o);
        if (!h.isIndirect()) return;
        QPDF* q = h.getOwningQPDF();
        if (!q) return;
        q->replaceObject(h.getObjGen(), QPDFObjectHandle::newNull());
        changed(o);
    });
}

CosObj makeNew(CosDoc doc, ASBool indirect, QPDFObjectHandle h) {
    std::shared_ptr<_t_CosDoc> d;
    if (doc) d = checkCosDoc(doc)->shared_from_this();
    if (indirect) {
        if (!d) raise(cosErrBadDoc);
        h = cos([&] { return d->qpdf->makeIndirectObject(h); });
    }
    return wrap(std::move(d), std::move(h));  // NOLINT(performance-move-const-arg)
}

// A new direct value that never changes: one object per value (see sharedValue). An
// indirect one is an object of its own.
CosObj makeValue(CosDoc doc, ASBool indirect, QPDFObjectHandle h) {
    return makeNew(doc, indirect, indirect ? h : sharedValue(h));
}

CosObj cosNewNull() {
    return CosObj();
}
CosObj cosNewInteger(CosDoc doc, ASBool ind, ASInt32 v) {
    return makeValue(doc, ind, QPDFObjectHandle::newInteger(v));
}
CosObj cosNewFixed(CosDoc doc, ASBool ind, ASFixed v) {
    return makeValue(doc, ind, QPDFObjectHandle::newReal(realText(v / 65536.0, 5)));
}
CosObj cosNewFloat(CosDoc doc, ASBool ind, float v) {
    return makeValue(doc, ind, QPDFObjectHandle::newReal(realText(v, 6)));
}
CosObj cosNewBoolean(CosDoc doc, ASBool ind, ASBool v) {
    return makeValue(doc, ind, QPDFObjectHandle::newBool(v));
}
CosObj cosNewName(CosDoc doc, ASBool ind, ASAtom name) {
    return makeValue(doc, ind, QPDFObjectHandle::newName(keyOf(name)));
}
CosObj cosNewString(CosDoc doc, ASBool ind, const char* bytes, ASSize_t len) {
    if (!bytes && len) raise(genErrBadParm);
    return makeValue(doc, ind,
                     QPDFObjectHandle::newString(std::string(bytes ? bytes : "", bytes ? len : 0)));
}
CosObj cosNewArray(CosDoc doc, ASBool ind, ASInt32) {
    return makeNew(doc, ind, QPDFObjectHandle::newArray());
}
CosObj cosNewDict(CosDoc doc, ASBool ind, ASInt32) {
    return makeNew(doc, ind, QPDFObjectHandle::newDictionary());
}

CosObj cosNewStream(CosDoc doc, const char* data, ASSize_t len, CosObj attributes, CosObj filters,
                    CosObj parms, ASBool encoded) {
    _t_CosDoc* d = checkCosDoc(doc);
    return cos([&] {
        QPDFObjectHandle s = d->qpdf->newStream();
        QPDFObjectHandle attr = handleOf(attributes);
        if (attr.isStream()) attr = attr.getDict();
        if (!attr.isNull()) {
            if (!attr.isDictionary()) raise(cosErrExpectedDict);
            checkForeignRefs(d->qpdf.get(), attr);
            QPDFObjectHandle sd = s.getDict();
            for (auto& kv : attr.ditems())
                if (kv.first != "/Length" && kv.first != "/Filter" && kv.first != "/DecodeParms")
                    sd.replaceKey(kv.first, kv.second);
        }
        QPDFObjectHandle f = handleOf(filters), p = handleOf(parms);
        checkForeignRefs(d->qpdf.get(), p);
        setStreamData(s, data, len, f, p, encoded);
        return wrap(d->shared_from_this(), s);
    });
}

CosObj cosDictGet(CosObj dict, ASAtom key) {
    std::string k = keyOf(key);
    return cos([&] { return derived(dict, dictOf(dict).getKey(k)); });
}

void dictPut(CosObj& dict, const std::string& k, const CosObj& value) {
    cos([&] {
        QPDFObjectHandle d = dictOf(dict);
        QPDFObjectHandle h = handleOf(dict);
        QPDFObjectHandle v = handleOf(value);
        checkForeignRefs(targetQpdf(dict, h), v);
        if (v.isNull())
            d.removeKey(k);
        else
            d.replaceKey(k, v);
        changed(dict);
    });
}

void cosDictPut(CosObj dict, ASAtom key, CosObj value) {
    dictPut(dict, keyOf(key), value);
}

void cosDictRemove(CosObj dict, ASAtom key) {
    std::string k = keyOf(key);
    cos([&] {
        QPDFObjectHandle d = dictOf(dict);
        if (d.hasKey(k)) {
            d.removeKey(k);
            changed(dict);
        }
    });
}

ASBool cosDictKnown(CosObj dict, ASAtom key) {
    std::string k = keyOf(key);
    return cos([&] { return dictOf(dict).hasKey(k); });
}

ASInt32 cosDictLength(CosObj dict) {
    return cos([&] {
        ASInt32 n = 0;
        for (auto& kv : dictOf(dict).ditems())
            if (!kv.second.isNull()) ++n;
        return n;
    });
}

CosObj cosDictGetKeyString(CosObj dict, const char* key) {
    if (!key) raise(genErrBadParm);
    return cos([&] { return derived(dict, dictOf(dict).getKey(std::string("/") + key)); });
}

void cosDictPutKeyString(CosObj dict, const char* key, CosObj value) {
    if (!key) raise(genErrBadParm);
    dictPut(dict, std::string("/") + key, value);
}

CosObj cosArrayGet(CosObj array, ASInt32 index) {
    return cos([&] {
        QPDFObjectHandle a = arrayOf(array);
        if (index < 0 || index >= a.getArrayNItems()) return CosObj();
        return derived(array, a.getArrayItem(index));
    });
}

constexpr ASInt32 kMaxArrayGrowth = 1 << 20;

void cosArrayPut(CosObj array, ASInt32 index, CosObj value) {
    cos([&] {
        QPDFObjectHandle a = arrayOf(array);
        QPDFObjectHandle h = handleOf(array);
        QPDFObjectHandle v = handleOf(value);
        checkForeignRefs(targetQpdf(array, h), v);
        int n = a.getArrayNItems();
        if (index < 0 || index - n > kMaxArrayGrowth) raise(cosErrArrayBounds);
        while (n < index) {
            a.appendItem(QPDFObjectHandle::newNull());
            ++n;
        }
        if (index == n)
            a.appendItem(v);
        else
            a.setArrayItem(index, v);
        changed(array);
    });
}

void cosArrayInsert(CosObj array, ASInt32 index, CosObj value) {
    cos([&] {
        QPDFObjectHandle a = arrayOf(array);
        QPDFObjectHandle h = handleOf(array);
        QPDFObjectHandle v = handleOf(value);
        checkForeignRefs(targetQpdf(array, h), v);
        int n = a.getArrayNItems();
        if (index < 0 || index > n) raise(cosErrArrayBounds);
        if (index == n)
            a.appendItem(v);
        else
            a.insertItem(index, v);
        changed(array);
    });
}

void cosArrayRemoveNth(CosObj array, ASInt32 index) {
    cos([&] {
        QPDFObjectHandle a = arrayOf(array);
        if (index < 0 || index >= a.getArrayNItems()) raise(cosErrArrayBounds);
        a.eraseItem(index);
        changed(array);
    });
}

void cosArrayRemove(CosObj array, CosObj value) {
    cos([&] {
        QPDFObjectHandle a = arrayOf(array);
        QPDFObjectHandle v = handleOf(value);
        int n = a.getArrayNItems();
        for (int i = 0; i < n; ++i) {
            if (equalHandles(a.getArrayItem(i), v, 0)) {
                a.eraseItem(i);
                changed(array);
                return;
            }
        }
    });
}

ASInt32 cosArrayLength(CosObj array) {
    return cos([&] { return arrayOf(array).getArrayNItems(); });
}

ASAtom cosNameValue(CosObj name) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(name);
        if (!h.isName()) raise(cosErrExpectedName);
        return atomFromString(h.getName().c_str() + 1);
    });
}

std::string stringOf(const CosObj& o) {
    QPDFObjectHandle h = handleOf(o);
    if (!h.isString()) raise(cosErrExpectedString);
    return h.getStringValue();
}

ASSize_t cosStringValue(CosObj s, char* buffer, ASSize_t size) {
    std::string v = cos([&] { return stringOf(s); });
    if (buffer && size > 0) {
        std::size_t n = std::min<std::size_t>(v.size(), size - 1);
        std::memcpy(buffer, v.data(), n);
        buffer[n] = 0;
    }
    return v.size();
}

char* cosCopyStringValue(CosObj s, ASSize_t* len) {
    std::string v = cos([&] { return stringOf(s); });
    return hostCopy(v, len);
}

ASInt32 cosIntegerValue(CosObj n) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(n);
        if (h.isInteger()) {
            long long v = h.getIntValue();
            return static_cast<ASInt32>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
        }
        if (h.isReal()) {
            double v = std::trunc(h.getNumericValue());
            if (!(v < 2147483647.0)) return INT32_MAX;
            if (!(v > -2147483648.0)) return INT32_MIN;
            return static_cast<ASInt32>(v);
        }
        raise(cosErrExpectedNumber);
    });
}

ASFixed cosFixedValue(CosObj n) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(n);
        if (!h.isNumber()) raise(cosErrExpectedNumber);
        return fixedOf(h);
    });
}

float cosFloatValue(CosObj n) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(n);
        if (!h.isNumber()) raise(cosErrExpectedNumber);
        return static_cast<float>(h.getNumericValue());
    });
}

ASBool cosBooleanValue(CosObj b) {
    return cos([&] {
        QPDFObjectHandle h = handleOf(b);
        if (!h.isBool()) raise(cosErrExpectedBoolean);
        return h.getBoolValue();
    });
}

CosObj cosStreamDict(CosObj s) {
    return cos([&] { return derived(s, streamOf(s).getDict()); });
}

char* cosStreamGetData(CosObj s, ASSize_t* len) {
    QPDFObjectHandle h = cos([&] { return streamOf(s); });
    std::string out;
    LimitedSink sink(out, gMaxDecodedStream);
    bool ok = false;
    try {
        bool attempted = false;
        ok = h.pipeStreamData(&sink, &attempted, 0, qpdf_dl_specialized, true, false);
        // Filters the host cannot decode leave the data encoded: not what was asked for.
        if (!attempted && !h.getDict().getKey("/Filter").isNull()) ok = false;
    } catch (const std::exception& e) {
        if (sink.exceeded) raise(genErrLimitExceeded);
        warn(e.what());
        raise(cosErrStreamData);
    }
    if (sink.exceeded) raise(genErrLimitExceeded);
    if (!ok) raise(cosErrStreamData);
    return hostCopy(out, len);
}

char* cosStreamGetRawData(CosObj s, ASSize_t* len) {
    return guarded(cosErrStreamData, [&] {
        QPDFObjectHandle h = streamOf(s);
        std::string out;
        LimitedSink sink(out, gMaxDecodedStream);
        try {
            if (!h.pipeStreamData(&sink, nullptr, 0, qpdf_dl_none, true, false))
                raise(cosErrStreamData);
        } catch (const std::length_error&) {
            raise(genErrLimitExceeded);
        }
        return hostCopy(out, len);
    });
}

// The stream's data when it is compressed with /FlateDecode alone (no parameters), its
// first maxLen bytes inflated from what is stored; false for other streams and for data
// that does not inflate cleanly, which the full decoding then reports as it does.
bool inflateStart(QPDFObjectHandle h, std::size_t maxLen, std::string& out) {
    QPDFObjectHandle dict = h.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1) filter = filter.getArrayItem(0);
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    if (parms.isArray() && parms.getArrayNItems() == 1) parms = parms.getArrayItem(0);
    if (maxLen > gMaxDecodedStream || !filter.isNameAndEquals("/FlateDecode") ||
        !(parms.isNull() || (parms.isDictionary() && parms.getKeys().empty())))
        return false;
    std::string raw;
    Pl_String sink("raw", nullptr, raw);
    if (!h.pipeStreamData(&sink, nullptr, 0, qpdf_dl_none, true, false)) return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    out.resize(maxLen);
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(raw.size(), UINT_MAX));
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(maxLen);
    int rc = maxLen ? inflate(&z, Z_FINISH) : Z_BUF_ERROR;
    std::size_t made = maxLen - z.avail_out;
    inflateEnd(&z);
    // Whole (the end of the data reached) or as much as was asked for.
    if (rc != Z_STREAM_END && !((rc == Z_BUF_ERROR || rc == Z_OK) && made == maxLen)) return false;
    out.resize(made);
    return true;
}

// The first maxLen bytes of the decoded data, all of it when it is shorter. Flate alone is
// inflated only as far as asked; other streams are decoded whole and cut.
char* cosStreamGetDataStart(CosObj s, ASSize_t maxLen, ASSize_t* len) {
    QPDFObjectHandle h = cos([&] { return streamOf(s); });
    std::string out;
    bool done = false;
    try {
        done = inflateStart(h, maxLen, out);
    } catch (const std::exception&) {
        done = false;  // decoded the usual way, which says what is wrong
    }
    if (done) return hostCopy(out, len);
    ASSize_t all = 0;
    char* data = cosStreamGetData(s, &all);
    if (len) *len = std::min(all, maxLen);
    return data;
}

void cosStreamSetData(CosObj s, const char* data, ASSize_t len, CosObj filters, CosObj parms,
                      ASBool encoded) {
    cos([&] {
        QPDFObjectHandle h = streamOf(s);
        QPDFObjectHandle p = handleOf(parms);
        checkForeignRefs(h.getOwningQPDF(), p);
        setStreamData(h, data, len, handleOf(filters), p, encoded);
        changed(s);
    });
}

CosObj cosDocGetRoot(CosDoc doc) {
    _t_CosDoc* d = checkCosDoc(doc);
    return cos([&] { return wrap(d->shared_from_this(), d->qpdf->getRoot()); });
}

CosObj cosDocGetTrailer(CosDoc doc) {
    _t_CosDoc* d = checkCosDoc(doc);
    return cos([&] { return wrap(d->shared_from_this(), d->qpdf->getTrailer()); });
}

CosObj cosDocGetInfoDict(CosDoc doc) {
    _t_CosDoc* d = checkCosDoc(doc);
    return cos([&] {
        QPDFObjectHandle info = d->qpdf->getTrailer().getKey("/Info");
        if (!info.isDictionary()) return CosObj();
        return wrap(d->shared_from_this(), info);
    });
}

const CosHFT kCos = {
    {kCosHFTName, kCosHFTVersion, sizeof(CosHFT)},
    cosObjGetType,
    cosObjEqual,
    cosObjIsIndirect,
    cosObjGetDoc,
    cosObjGetID,
    cosObjEnum,
    cosObjCopy,
    cosObjDestroy,
    cosNewNull,
    cosNewInteger,
    cosNewFixed,
    cosNewFloat,
    cosNewBoolean,
    cosNewName,
    cosNewString,
    cosNewArray,
    cosNewDict,
    cosNewStream,
    cosDictGet,
    cosDictPut,
    cosDictRemove,
    cosDictKnown,
    cosDictLength,
    cosDictGetKeyString,
    cosDictPutKeyString,
    cosArrayGet,
    cosArrayPut,
    cosArrayInsert,
    cosArrayRemoveNth,
    cosArrayRemove,
    cosArrayLength,
    cosNameValue,
    cosStringValue,
    cosCopyStringValue,
    cosIntegerValue,
    cosFixedValue,
    cosFloatValue,
    cosBooleanValue,
    cosStreamDict,
    cosStreamGetData,
    cosStreamGetRawData,
    cosStreamSetData,
    cosDocGetRoot,
    cosDocGetTrailer,
    cosDocGetInfoDict,
    cosStreamGetDataStart,
};

}  // namespace

std::size_t setDecodedStreamLimit(std::size_t bytes) {
    std::size_t old = gMaxDecodedStream;
    gMaxDecodedStream = bytes;
    return old;
}

const CosHFT* cosTable() {
    registerDocErrorTexts();
    return &kCos;
}

QPDFObjectHandle handleOf(const CosObj& obj) {
    CosRep* r = repOf(obj);
    return r ? r->h : QPDFObjectHandle::newNull();
}

CosDoc cosDocOfObj(const CosObj& obj) {
    CosRep* r = repOf(obj);
    return r && r->doc ? r->doc.get() : nullptr;
}

CosObj cosObjFor(CosDoc cosDoc, QPDFObjectHandle handle) {
    std::shared_ptr<_t_CosDoc> d;
    if (cosDoc) d = checkCosDoc(cosDoc)->shared_from_this();
    return wrap(std::move(d), std::move(handle));  // NOLINT(performance-move-const-arg)
}

QPDFObjectHandle copyForeign(CosDoc dst, QPDFObjectHandle foreign) {
    _t_CosDoc* d = checkCosDoc(dst);
    QPDF* from = foreign.isIndirect() ? foreign.getOwningQPDF() : nullptr;
    if (from == d->qpdf.get()) return foreign;
    return copyForeignDirect(*d->qpdf, foreign, 0);
}

}  // namespace vexa::host::doc
