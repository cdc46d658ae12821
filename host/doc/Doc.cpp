// Documents and pages of the PDModel table over QPDF.
#include <qpdf/InputSource.hh>
#include <qpdf/QPDFExc.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_set>

#include "doc/DocState.h"
#include "doc/RawCopy.h"

namespace vexa::host::doc {
namespace {

// The file a document reads from: positioned reads through a block of its own, so that
// QPDF's many small seeks and reads (one per object, and every page is an object) cost
// no system call unless they leave the block. The file stays open while the document
// reads from it. While a stream's data is piped to a file being written, its reads may be
// left to that file's writer, which copies the bytes within the kernel (RawCopy.h); never
// for an encrypted file, whose data is decrypted on its way.
class BlockFileSource : public InputSource {
  public:
    explicit BlockFileSource(const char* path) : name_(path) {
        fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error(std::string(path) + ": cannot be opened");
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            ::close(fd_);
            throw std::runtime_error(std::string(path) + ": cannot be read");
        }
        size_ = st.st_size;
    }
    ~BlockFileSource() override { ::close(fd_); }
    BlockFileSource(const BlockFileSource&) = delete;
    BlockFileSource& operator=(const BlockFileSource&) = delete;

    qpdf_offset_t findAndSkipNextEOL() override {
        char c = 0;
        while (cur_ < size_) {
            if (!at(cur_, &c)) break;
            if (c == '\r' || c == '\n') {
                qpdf_offset_t eol = cur_++;
                while (cur_ < size_ && at(cur_, &c) && (c == '\r' || c == '\n')) ++cur_;
                return eol;
            }
            ++cur_;
        }
        cur_ = size_;
        return size_;
    }
    std::string const& getName() const override { return name_; }
    qpdf_offset_t tell() override { return cur_; }
    void seek(qpdf_offset_t offset, int whence) override {
        qpdf_offset_t to = whence == SEEK_SET   ? offset
                           : whence == SEEK_CUR ? cur_ + offset
                                                : size_ + offset;
        if (to < 0) throw std::runtime_error(name_ + ": seek before the start of the file");
        cur_ = to;
    }
    void rewind() override { cur_ = 0; }
    size_t read(char* buffer, size_t length) override {
        last_offset = cur_;
        if (cur_ >= size_ || length == 0) return 0;
        size_t want = static_cast<size_t>(std::min<qpdf_offset_t>(length, size_ - cur_));
        RawCopy* raw = rawCopy_ ? RawCopy::armed() : nullptr;
        if (raw && raw->take(fd_, cur_, buffer, want)) {
            cur_ += static_cast<qpdf_offset_t>(want);
            return want;
        }
        size_t done = 0;
        if (want > kBlock / 2) {  // large reads go straight to the file
            while (done < want) {
                ssize_t n = ::pread(fd_, buffer + done, want - done, cur_ + done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
        } else {
            while (done < want) {
                if (!fill(cur_ + done)) break;
                size_t from = static_cast<size_t>(cur_ + done - blockStart_);
                size_t n = std::min(want - done, blockLen_ - from);
                std::memcpy(buffer + done, block_.data() + from, n);
                done += n;
            }
        }
        cur_ += done;
        return done;
    }
    void unreadCh(char) override {
        if (cur_ > 0) --cur_;
    }
    void refuseRawCopy() { rawCopy_ = false; }

  private:
    static constexpr size_t kBlock = size_t{64} * 1024;

    // Makes the block hold offset; false at the end of the file or on a read error.
    bool fill(qpdf_offset_t offset) {
        if (offset >= blockStart_ && offset < blockStart_ + static_cast<qpdf_offset_t>(blockLen_))
            return true;
        block_.resize(kBlock);
        blockStart_ = offset - offset % static_cast<qpdf_offset_t>(kBlock);
        ssize_t n = ::pread(fd_, block_.data(), kBlock, blockStart_);
        blockLen_ = n > 0 ? static_cast<size_t>(n) : 0;
        return offset < blockStart_ + static_cast<qpdf_offset_t>(blockLen_);
    }
    bool at(qpdf_offset_t offset, char* c) {
        if (!fill(offset)) return false;
        *c = block_[static_cast<size_t>(offset - blockStart_)];
        return true;
    }

    std::string name_;
    int fd_ = -1;
    qpdf_offset_t size_ = 0, cur_ = 0;
    std::vector<char> block_;
    qpdf_offset_t blockStart_ = 0;
    size_t blockLen_ = 0;
    bool rawCopy_ = true;
};

std::unordered_set<const _t_PDDoc*>& liveDocs() {
    static auto* s = new std::unordered_set<const _t_PDDoc*>;  // never destroyed: used until exit
    return *s;
}
std::unordered_set<const _t_PDPage*>& livePages() {
    static auto* s = new std::unordered_set<const _t_PDPage*>;  // never destroyed: used until exit
    return *s;
}
std::map<int, std::function<void(PDDoc)>>& closeHooks() {
    static auto* h =
        new std::map<int, std::function<void(PDDoc)>>;  // never destroyed: used until exit
    return *h;
}

template <class F>
decltype(auto) pd(F&& f) {
    return guarded(pdErrDamaged, std::forward<F>(f));
}

std::string canonicalPath(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : p.string();
}

const std::vector<QPDFObjectHandle>& pagesOf(_t_PDDoc* d) {
    return guarded(pdErrBadPageTree, [&]() -> const std::vector<QPDFObjectHandle>& {
        return d->cos->qpdf->getAllPages();
    });
}

ASInt32 pageCount(_t_PDDoc* d) {
    return static_cast<ASInt32>(pagesOf(d).size());
}

void parseVersion(const std::string& v, ASInt32* major, ASInt32* minor) {
    int a = 1, b = 3;
    if (std::sscanf(v.c_str(), "%d.%d", &a, &b) >= 1) {
        *major = a;
        *minor = b;
    }
}

_t_PDDoc* newDoc(std::shared_ptr<QPDF> q) {
    auto* d = new _t_PDDoc;
    d->cos = newCosDoc(std::move(q));
    d->cos->pdDoc = d;
    liveDocs().insert(d);
    return d;
}

bool hasPdfHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char buf[1024];
    in.read(buf, sizeof buf);
    std::string head(buf, static_cast<std::size_t>(in.gcount()));
    return head.find("%PDF-") != std::string::npos;
}

// ---- documents --------------------------------------------------------------------

struct WriteAheadSetting {
    bool on = false;
    int minor = 0;
};
WriteAheadSetting& writeAheadForNew() {
    static WriteAheadSetting setting;
    return setting;
}

PDDoc pdDocCreate() {
    registerDocErrorTexts();
    auto q = newQpdf();
    guarded(genErrGeneral, [&] {
        q->setSuppressWarnings(true);
        q->emptyPDF();
    });
    _t_PDDoc* d = newDoc(q);
    d->flags = PDDocNeedsSave | PDDocRequiresFullSave;
    d->writeAhead = writeAheadForNew().on;
    d->writeAheadMinor = writeAheadForNew().minor;
    return d;
}

PDDoc pdDocOpen(const char* path, ASBool doRepair) {
    registerDocErrorTexts();
    if (!path || !*path) raise(genErrBadParm);
    struct stat st;
    if (::stat(path, &st) != 0) raise(fileErrNotFound);
    if (!S_ISREG(st.st_mode)) raise(pdErrOpenFailed);
    if (st.st_size == 0) raise(pdErrNotPDF);
    auto q = newQpdf();
    q->setSuppressWarnings(true);
    q->setAttemptRecovery(doRepair);
    auto failure = [&](ASErrorCode damaged) -> ASErrorCode {
        forwardWarnings(*q);
        return hasPdfHeader(path) ? damaged : pdErrNotPDF;
    };
    std::shared_ptr<BlockFileSource> source;
    try {
        source = std::make_shared<BlockFileSource>(path);
        q->processInputSource(source);
        // Building the page list now reports a broken page tree at once; page access
        // is O(1) afterwards.
        q->getRoot();
        q->getAllPages();
    } catch (const QPDFExc& e) {
        if (e.getErrorCode() == qpdf_e_password) raise(pdErrEncrypted);
        // Encrypted for certificates (public-key security) or by a handler QPDF does not
        // know: the file is whole, it only cannot be decrypted here.
        if (e.getErrorCode() == qpdf_e_unsupported &&
            e.getMessageDetail().find("encryption") != std::string::npos)
            raise(pdErrEncrypted);
        warn(e.what());
        raise(failure(pdErrDamaged));
    } catch (const std::bad_alloc&) {
        raise(genErrNoMemory);
    } catch (const std::exception& e) {
        warn(e.what());
        raise(failure(pdErrDamaged));
    }
    bool repaired = false;
    for (auto& w : q->getWarnings()) {
        std::string t = w.what();
        if (t.find("reconstruct") != std::string::npos) repaired = true;
        warn(t);
    }
    _t_PDDoc* d = newDoc(q);
    d->path = canonicalPath(path);
    guarded(pdErrDamaged, [&] {
        if (repaired) d->flags |= PDDocWasRepaired | PDDocRequiresFullSave;
        if (q->isLinearized()) d->flags |= PDDocIsLinearized;
        if (q->isEncrypted()) {
            d->flags |= PDDocIsEncrypted;
            source->refuseRawCopy();
        }
        parseVersion(q->getPDFVersion(), &d->major, &d->minor);
    });
    return d;
}

PDDoc pdDocFromPath(const char* path) {
    if (!path || !*path) return nullptr;
    std::string p = canonicalPath(path);
    for (const _t_PDDoc* d : liveDocs())
        if (!d->path.empty() && d->path == p) return const_cast<_t_PDDoc*>(d);
    return nullptr;
}

ASBool pdDocIsOpen(const char* path) {
    return pdDocFromPath(path) != nullptr;
}

void pdDocClose(PDDoc doc) {
    // Closing is called from clean-up code: an unknown handle is reported, not raised.
    if (!isLiveDoc(doc)) {
        warn("close of a document that is not open");
        return;
    }
    for (auto& [token, hook] : closeHooks()) {
        try {
            hook(doc);
        } catch (...) {
            warn("a close hook failed");
        }
    }
    for (auto& [og, page] : doc->acquired) {
        livePages().erase(page);
        delete page;
    }
    doc->acquired.clear();
    doc->cos->pdDoc = nullptr;
    liveDocs().erase(doc);
    delete doc;
}

ASInt32 pdDocGetNumPages(PDDoc doc) {
    return pageCount(checkDoc(doc));
}

CosDoc pdDocGetCosDoc(PDDoc doc) {
    return checkDoc(doc)->cos.get();
}

ASUns32 pdDocGetFlags(PDDoc doc) {
    return checkDoc(doc)->flags;
}
void pdDocSetFlags(PDDoc doc, ASUns32 flags) {
    checkDoc(doc)->flags |= flags;
}
void pdDocClearFlags(PDDoc doc, ASUns32 flags) {
    checkDoc(doc)->flags &= ~flags;
}

ASInt32 pdDocGetPath(PDDoc doc, char* buffer, ASInt32 size) {
    return copyOut(checkDoc(doc)->path, buffer, size);
}

ASInt32 pdDocGetName(PDDoc doc, char* buffer, ASInt32 size) {
    const std::string& p = checkDoc(doc)->path;
    return copyOut(p.empty() ? p : std::filesystem::path(p).filename().string(), buffer, size);
}

void pdDocGetVersion(PDDoc doc, ASInt32* major, ASInt32* minor) {
    _t_PDDoc* d = checkDoc(doc);
    if (major) *major = d->major;
    if (minor) *minor = d->minor;
}

// ---- information --------------------------------------------------------------------

ASInt32 pdDocGetInfo(PDDoc doc, const char* key, char* buffer, ASInt32 size) {
    _t_PDDoc* d = checkDoc(doc);
    if (!key || !*key) raise(genErrBadParm);
    std::string value = pd([&] {
        QPDFObjectHandle info = d->cos->qpdf->getTrailer().getKey("/Info");
        if (!info.isDictionary()) return std::string();
        QPDFObjectHandle v = info.getKey(std::string("/") + key);
        if (v.isString()) return v.getUTF8Value();
        if (v.isName()) return v.getName().substr(1);
        return std::string();
    });
    return copyOut(value, buffer, size);
}

void pdDocSetInfo(PDDoc doc, const char* key, const char* value, ASInt32 len) {
    _t_PDDoc* d = checkDoc(doc);
    if (!key || !*key) raise(genErrBadParm);
    pd([&] {
        QPDF& q = *d->cos->qpdf;
        QPDFObjectHandle trailer = q.getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary()) {
            if (!value) return;
            info = q.makeIndirectObject(QPDFObjectHandle::newDictionary());
            trailer.replaceKey("/Info", info);
        }
        std::string k = std::string("/") + key;
        if (!value)
            info.removeKey(k);
        else
            info.replaceKey(k, QPDFObjectHandle::newUnicodeString(std::string(
                                   value, len < 0 ? std::strlen(value) : std::size_t(len))));
    });
    markModified(doc);
}

// ---- pages --------------------------------------------------------------------------

PDPage acquire(_t_PDDoc* d, QPDFObjectHandle obj) {
    QPDFObjGen og = obj.getObjGen();
    auto it = d->acquired.find(og);
    if (it != d->acquired.end()) {
        ++it->second->refs;
        return it->second;
    }
    auto* p = new _t_PDPage;
    p->doc = d;
    p->obj = obj;
    p->refs = 1;
    d->acquired[og] = p;
    livePages().insert(p);
    return p;
}

PDPage pdDocAcquirePage(PDDoc doc, ASInt32 pageNum) {
    _t_PDDoc* d = checkDoc(doc);
    const auto& pages = pagesOf(d);
    if (pageNum < 0 || pageNum >= static_cast<ASInt32>(pages.size())) raise(pdErrBadPageNum);
    return acquire(d, pages[pageNum]);
}

void pdPageRelease(PDPage page) {
    // Called from clean-up code: a stale handle is reported, not raised.
    if (!isLivePage(page)) {
        warn("release of a page that is not acquired");
        return;
    }
    if (--page->refs > 0) return;
    page->doc->acquired.erase(page->obj.getObjGen());
    livePages().erase(page);
    delete page;
}

// Inserts pages (indirect objects of the document) after index `after` (-1: front).
void insertPageObjects(_t_PDDoc* d, ASInt32 after, const std::vector<QPDFObjectHandle>& newPages) {
    QPDF& q = *d->cos->qpdf;
    guarded(pdErrBadPageTree, [&] {
        ASInt32 count = static_cast<ASInt32>(q.getAllPages().size());
        QPDFObjectHandle prev;
        for (std::size_t i = 0; i < newPages.size(); ++i) {
            const QPDFObjectHandle& p = newPages[i];
            if (i == 0) {
                if (after == count - 1)
                    q.addPage(p, false);
                else if (after < 0)
                    q.addPage(p, true);
                else
                    q.addPageAt(p, false, q.getAllPages()[after]);
            } else if (after + static_cast<ASInt32>(i) == count + static_cast<ASInt32>(i) - 1) {
                q.addPage(p, false);
            } else {
                q.addPageAt(p, false, prev);
            }
            prev = p;
        }
    });
}

ASInt32 resolveAfter(ASInt32 after, ASInt32 count) {
    if (after == PDLastPage) return count - 1;
    if (after < PDBeforeFirstPage || after >= count) raise(pdErrBadPageNum);
    return after;
}

PDPage pdDocCreatePage(PDDoc doc, ASInt32 afterPageNum, ASFixedRect mediaBox) {
    _t_PDDoc* d = checkDoc(doc);
    ASInt32 after = resolveAfter(afterPageNum, pageCount(d));
    if (mediaBox.right == mediaBox.left || mediaBox.top == mediaBox.bottom) raise(genErrBadParm);
    QPDF& q = *d->cos->qpdf;
    QPDFObjectHandle page = guarded(genErrGeneral, [&] {
        QPDFObjectHandle p = QPDFObjectHandle::newDictionary();
        p.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        p.replaceKey("/MediaBox", arrayOfRect(mediaBox));
        p.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
        return q.makeIndirectObject(p);
    });
    insertPageObjects(d, after, {page});
    markModified(doc);
    notifyPagesChanged(doc, after + 1, after + 1);
    return acquire(d, page);
}

// Copies pages for insertion. Everything a page may be edited through afterwards is
// copied afresh for every insertion: the page dictionary, its content streams, its
// resource dictionaries, the property lists of its marked content (frames) and its
// annotations. Everything else (fonts, images, forms, colour spaces, ...) is shared:
// within one document it stays the same object, from another document it is copied
// once per destination, so repeated insertions of a template share its resources.
// A dictionary of these entries, less the null ones (a null value is a missing key, as
// replaceKey has it).
QPDFObjectHandle newDictionaryOf(std::map<std::string, QPDFObjectHandle>& entries) {
    for (auto it = entries.begin(); it != entries.end();)
        it = it->second.isNull() ? entries.erase(it) : std::next(it);
    return QPDFObjectHandle::newDictionary(entries);
}

class PageCopier {
  public:
    PageCopier(QPDF& dst, QPDF& src) : dst_(dst), same_(&dst == &src) {}

    QPDFObjectHandle copyPage(QPDFObjectHandle srcPage) {
        srcPage_ = srcPage;
        newPage_ = dst_.makeIndirectObject(QPDFObjectHandle::newDictionary());
        for (auto& [k, v] : entriesOf(srcPage)) {
            if (k == "/Parent" || k == "/B" || v.isNull()) continue;
            if (k == "/Contents")
                newPage_.replaceKey(k, freshContents(v));
            else if (k == "/Resources")
                newPage_.replaceKey(k, freshResources(v));
            else if (k == "/Annots")
                newPage_.replaceKey(k, freshAnnots(v));
            else
                newPage_.replaceKey(k, shared(v, 0));
        }
        for (const char* key : {"/MediaBox", "/CropBox", "/Resources", "/Rotate"}) {
            if (newPage_.hasKey(key)) continue;
            QPDFObjectHandle v = inheritedAttribute(srcPage, key);
            if (v.isNull()) continue;
            newPage_.replaceKey(
                key, std::string(key) == "/Resources" ? freshResources(v) : shared(v, 0));
        }
        if (!newPage_.hasKey("/Resources"))
            newPage_.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
        return newPage_;
    }

  private:
    QPDFObjectHandle shared(QPDFObjectHandle v, int depth) {
        if (depth > 100) return QPDFObjectHandle::newNull();
        if (v.isIndirect()) {
            if (v.isPageObject())
                return v.isSameObjectAs(srcPage_) ? newPage_ : QPDFObjectHandle::newNull();
            if (v.isPagesObject()) return QPDFObjectHandle::newNull();
            return same_ ? v : dst_.copyForeignObject(v);
        }
        if (v.isArray()) {
            QPDFObjectHandle a = QPDFObjectHandle::newArray();
            for (auto& e : v.aitems()) a.appendItem(shared(e, depth + 1));
            return a;
        }
        if (v.isDictionary()) {
            QPDFObjectHandle d = QPDFObjectHandle::newDictionary();
            for (auto& [k, e] : entriesOf(v)) d.replaceKey(k, shared(e, depth + 1));
            return d;
        }
        // Numbers, names and strings: the one object of that value.
        bool isShared = false;
        QPDFObjectHandle value = sharedValue(v, &isShared);
        return isShared ? value : v.shallowCopy();
    }

    // Fresh copies are made once per insertion: source pages that share a content
    // stream or a property list share the copy too.
    QPDFObjectHandle freshStream(QPDFObjectHandle s) {
        QPDFObjGen og = s.getObjGen();
        auto it = fresh_.find(og);
        if (it != fresh_.end()) return it->second;
        QPDFObjectHandle c = freshStreamCopy(s);
        fresh_[og] = c;
        return c;
    }

    QPDFObjectHandle freshStreamCopy(QPDFObjectHandle s) {
        if (same_) {
            QPDFObjectHandle c = s.copyStream();
            QPDFObjectHandle d = c.getDict();
            for (auto& k : d.getKeys()) d.replaceKey(k, shared(d.getKey(k), 0));
            return c;
        }
        QPDFObjectHandle c = dst_.newStream();
        QPDFObjectHandle sd = s.getDict(), cd = c.getDict();
        for (auto& [k, v] : entriesOf(sd))
            if (k != "/Length" && k != "/Filter" && k != "/DecodeParms")
                cd.replaceKey(k, shared(v, 0));
        QPDFObjectHandle src = s;
        c.replaceStreamData(
            [src](Pipeline* p, bool suppress, bool retry) mutable {
                return src.pipeStreamData(p, nullptr, 0, qpdf_dl_none, suppress, retry);
            },
            shared(sd.getKey("/Filter"), 0), shared(sd.getKey("/DecodeParms"), 0));
        return c;
    }

    QPDFObjectHandle freshContents(QPDFObjectHandle v) {
        if (v.isStream()) return freshStream(v);
        if (v.isArray()) {
            QPDFObjectHandle a = QPDFObjectHandle::newArray();
            for (auto& e : v.aitems())
                if (e.isStream()) a.appendItem(freshStream(e));
            return a;
        }
        return QPDFObjectHandle::newNull();
    }

    static bool isOptionalContent(QPDFObjectHandle v) {
        if (!v.isDictionary()) return false;
        QPDFObjectHandle t = v.getKey("/Type");
        return t.isName() && (t.getName() == "/OCG" || t.getName() == "/OCMD");
    }

    QPDFObjectHandle freshObject(QPDFObjectHandle v) {
        if (v.isStream()) return freshStream(v);
        if (v.isIndirect()) {
            auto it = fresh_.find(v.getObjGen());
            if (it != fresh_.end()) return it->second;
        }
        if (!v.isDictionary() && !v.isArray()) return shared(v, 0);
        QPDFObjectHandle c;
        if (v.isArray()) {
            c = QPDFObjectHandle::newArray();
            for (auto& e : v.aitems()) c.appendItem(shared(e, 1));
        } else {
            // Made from its entries at once: a template sheet's frames are copied for
            // every sheet, and setting the keys one by one was a third of that.
            auto entries = entriesOf(v);
            for (auto& entry : entries) entry.second = shared(entry.second, 1);
            c = newDictionaryOf(entries);
        }
        if (!v.isIndirect()) return c;
        QPDFObjectHandle made = dst_.makeIndirectObject(c);
        fresh_[v.getObjGen()] = made;
        return made;
    }

    QPDFObjectHandle freshResources(QPDFObjectHandle r) {
        if (!r.isDictionary()) return QPDFObjectHandle::newDictionary();
        auto categories = entriesOf(r);
        for (auto& [cat, sub] : categories) {
            if (!sub.isDictionary()) {
                sub = shared(sub, 0);
                continue;
            }
            bool props = cat == "/Properties";
            auto entries = entriesOf(sub);
            for (auto& [name, v] : entries)
                v = props && !isOptionalContent(v) ? freshObject(v) : shared(v, 0);
            sub = newDictionaryOf(entries);
        }
        return newDictionaryOf(categories);
    }

    QPDFObjectHandle freshAnnots(QPDFObjectHandle a) {
        QPDFObjectHandle out = QPDFObjectHandle::newArray();
        if (!a.isArray()) return out;
        for (auto& annot : a.aitems()) {
            if (!annot.isDictionary()) continue;
            QPDFObjectHandle c = QPDFObjectHandle::newDictionary();
            for (auto& [k, v] : entriesOf(annot)) {
                // Links to the source's field tree, popups and replies would drag other
                // pages of the source along; the annotation keeps its appearance.
                if (k == "/P" || k == "/Parent" || k == "/Popup" || k == "/IRT") continue;
                c.replaceKey(k, shared(v, 0));
            }
            c.replaceKey("/P", newPage_);
            out.appendItem(dst_.makeIndirectObject(c));
        }
        return out;
    }

    QPDF& dst_;
    bool same_;
    std::map<QPDFObjGen, QPDFObjectHandle> fresh_;
    QPDFObjectHandle srcPage_, newPage_;
};

void pdDocInsertPages(PDDoc doc, ASInt32 mergeAfter, PDDoc src, ASInt32 startPage, ASInt32 numPages,
                      ASUns32) {
    _t_PDDoc* d = checkDoc(doc);
    _t_PDDoc* s = checkDoc(src);
    std::vector<QPDFObjectHandle> srcPages = pagesOf(s);
    ASInt32 srcCount = static_cast<ASInt32>(srcPages.size());
    if (numPages == PDAllPages) {
        if (srcCount == 0 && startPage == 0) return;
        numPages = srcCount - startPage;
    }
    if (startPage < 0 || startPage >= srcCount || numPages < 1 || numPages > srcCount - startPage)
        raise(pdErrBadPageNum);
    ASInt32 after = resolveAfter(mergeAfter, pageCount(d));
    QPDF& dq = *d->cos->qpdf;
    QPDF& sq = *s->cos->qpdf;
    std::vector<QPDFObjectHandle> copies;
    guarded(pdErrDamaged, [&] {
        if (&dq != &sq) addSource(dq, &sq);
        PageCopier copier(dq, sq);
        for (ASInt32 i = 0; i < numPages; ++i)
            copies.push_back(copier.copyPage(srcPages[startPage + i]));
    });
    insertPageObjects(d, after, copies);
    // The pages may use features of the source's version.
    if (s->major > d->major || (s->major == d->major && s->minor > d->minor)) {
        d->major = s->major;
        d->minor = s->minor;
    }
    markModified(doc);
    notifyPagesChanged(doc, after + 1, after + numPages);
}

void pdDocDeletePages(PDDoc doc, ASInt32 firstPage, ASInt32 lastPage) {
    _t_PDDoc* d = checkDoc(doc);
    const auto& pages = pagesOf(d);
    ASInt32 count = static_cast<ASInt32>(pages.size());
    if (lastPage == PDLastPage) lastPage = count - 1;
    if (firstPage < 0 || lastPage < firstPage || lastPage >= count) raise(pdErrBadPageNum);
    if (d->writer)
        for (ASInt32 i = firstPage; i <= lastPage; ++i)
            if (d->writer->isWritten(pages[i].getObjGen())) raise(pdErrPageWritten);
    std::vector<QPDFObjectHandle> doomed(pages.begin() + firstPage, pages.begin() + lastPage + 1);
    guarded(pdErrBadPageTree, [&] {
        for (auto& p : doomed) d->cos->qpdf->removePage(p);
    });
    markModified(doc);
    notifyPagesChanged(doc, firstPage, lastPage);
}

CosObj pdPageGetCosObj(PDPage page) {
    _t_PDPage* p = checkPage(page);
    return cosObjFor(p->doc->cos.get(), p->obj);
}

ASInt32 pdPageGetNumber(PDPage page) {
    return pageIndexOf(page);
}

PDDoc pdPageGetDoc(PDPage page) {
    return checkPage(page)->doc;
}

// ---- boxes and rotation ------------------------------------------------------------

const ASFixedRect kLetter = {0, ASInt32ToFixed(792), ASInt32ToFixed(612), 0};

ASFixedRect clipTo(const ASFixedRect& r, const ASFixedRect& m) {
    ASFixedRect c;
    c.left = std::clamp(r.left, m.left, m.right);
    c.right = std::clamp(r.right, m.left, m.right);
    c.bottom = std::clamp(r.bottom, m.bottom, m.top);
    c.top = std::clamp(r.top, m.bottom, m.top);
    return c;
}

bool mediaBoxOf(QPDFObjectHandle page, ASFixedRect* box) {
    if (rectOf(inheritedAttribute(page, "/MediaBox"), box)) return true;
    *box = kLetter;
    return false;
}

bool cropBoxOf(QPDFObjectHandle page, ASFixedRect* box) {
    ASFixedRect media, crop;
    mediaBoxOf(page, &media);
    if (rectOf(inheritedAttribute(page, "/CropBox"), &crop)) {
        *box = clipTo(crop, media);
        return true;
    }
    *box = media;
    return false;
}

std::string boxKey(ASAtom name) {
    std::string n = atomString(name);
    if (n != "MediaBox" && n != "CropBox" && n != "TrimBox" && n != "BleedBox" && n != "ArtBox")
        raise(pdErrBadBoxName);
    return "/" + n;
}

ASBool pdPageGetBox(PDPage page, ASAtom name, ASFixedRect* box) {
    _t_PDPage* p = checkPage(page);
    if (!box) raise(genErrBadParm);
    std::string key = boxKey(name);
    return pd([&] {
        if (key == "/MediaBox") return mediaBoxOf(p->obj, box);
        if (key == "/CropBox") return cropBoxOf(p->obj, box);
        ASFixedRect media, r;
        mediaBoxOf(p->obj, &media);
        if (rectOf(p->obj.getKey(key), &r)) {
            *box = clipTo(r, media);
            return true;
        }
        cropBoxOf(p->obj, box);
        return false;
    });
}

bool writtenAhead(_t_PDPage* p) {
    return p->doc->writer && p->doc->writer->isWritten(p->obj.getObjGen());
}

void checkNotWrittenAhead(_t_PDPage* p) {
    if (writtenAhead(p)) raise(pdErrPageWritten);
}

void setBox(_t_PDPage* p, const std::string& key, const ASFixedRect& box) {
    checkNotWrittenAhead(p);
    pd([&] { p->obj.replaceKey(key, arrayOfRect(box)); });
    markModified(p->doc);
}

void pdPageSetBox(PDPage page, ASAtom name, ASFixedRect box) {
    setBox(checkPage(page), boxKey(name), box);
}

void pdPageGetMediaBox(PDPage page, ASFixedRect* box) {
    _t_PDPage* p = checkPage(page);
    if (!box) raise(genErrBadParm);
    pd([&] { mediaBoxOf(p->obj, box); });
}

void pdPageGetCropBox(PDPage page, ASFixedRect* box) {
    _t_PDPage* p = checkPage(page);
    if (!box) raise(genErrBadParm);
    pd([&] { cropBoxOf(p->obj, box); });
}

void pdPageSetMediaBox(PDPage page, ASFixedRect box) {
    setBox(checkPage(page), "/MediaBox", box);
}

void pdPageSetCropBox(PDPage page, ASFixedRect box, ASBool setMediaBox) {
    _t_PDPage* p = checkPage(page);
    if (setMediaBox) setBox(p, "/MediaBox", box);
    setBox(p, "/CropBox", box);
}

ASInt32 pdPageGetRotate(PDPage page) {
    _t_PDPage* p = checkPage(page);
    return pd([&] {
        QPDFObjectHandle r = inheritedAttribute(p->obj, "/Rotate");
        long long v = 0;
        if (r.isInteger())
            v = r.getIntValue();
        else if (r.isReal())
            v = static_cast<long long>(r.getNumericValue());
        v %= 360;
        if (v < 0) v += 360;
        return v % 90 == 0 ? static_cast<ASInt32>(v) : 0;
    });
}

void pdPageSetRotate(PDPage page, ASInt32 angle) {
    _t_PDPage* p = checkPage(page);
    if (angle % 90 != 0) raise(genErrBadParm);
    checkNotWrittenAhead(p);
    angle %= 360;
    if (angle < 0) angle += 360;
    pd([&] { p->obj.replaceKey("/Rotate", QPDFObjectHandle::newInteger(angle)); });
    markModified(p->doc);
}

ASBool pdDocWritePagesAhead(PDDoc doc, ASInt32 lastPage) {
    _t_PDDoc* d = checkDoc(doc);
    if (!d->writeAhead) return false;
    if (lastPage == PDBeforeFirstPage) return true;
    const auto& pages = pagesOf(d);
    ASInt32 count = static_cast<ASInt32>(pages.size());
    if (lastPage == PDLastPage) lastPage = count - 1;
    if (lastPage < 0 || lastPage >= count) raise(pdErrBadPageNum);
    // Pages before the writer's mark are written already.
    std::size_t from =
        d->writer ? std::min<std::size_t>(d->writer->writtenUpTo(), lastPage + 1) : 0;
    std::vector<QPDFObjectHandle> done(pages.begin() + from, pages.begin() + lastPage + 1);
    std::vector<QPDFObjectHandle> pending(pages.begin() + lastPage + 1, pages.end());
    if (!d->writer) {
        // Object streams when the version it will be saved in (or else its own) has
        // them; a save in an earlier version then rewrites the finished file.
        bool objectStreams =
            d->writeAheadMinor ? d->writeAheadMinor >= 5 : d->major > 1 || d->minor >= 5;
        try {
            d->writer = std::make_unique<StreamWriter>(*d->cos->qpdf, objectStreams);
        } catch (const std::exception& e) {
            // No spool file (no room or no rights in $TMPDIR): the document stays in
            // memory and is written whole by its save.
            warn(std::string("writing ahead is off: ") + e.what());
            d->writeAhead = false;
            return false;
        }
    }
    guarded(pdErrSaveFailed,
            [&] { d->writer->writePages(done, pending, static_cast<std::size_t>(lastPage) + 1); });
    return true;
}

void pdDocWriteObjAhead(PDDoc doc, CosObj obj) {
    _t_PDDoc* d = checkDoc(doc);
    if (!d->writer) return;
    QPDFObjectHandle h = handleOf(obj);
    if (!h.isIndirect() || h.getOwningQPDF() != d->cos->qpdf.get()) return;
    const auto& pages = pagesOf(d);
    std::size_t from = std::min(d->writer->writtenUpTo(), pages.size());
    std::vector<QPDFObjectHandle> pending(pages.begin() + static_cast<std::ptrdiff_t>(from),
                                          pages.end());
    guarded(pdErrSaveFailed, [&] { d->writer->writeShared(h, pending); });
}

void pdPageNotifyContentsDidChange(PDPage page) {
    _t_PDPage* p = checkPage(page);
    markModified(p->doc);
    ASInt32 n = pageIndexOf(page);
    if (n >= 0) notifyPagesChanged(p->doc, n, n);
}

const PDModelHFT kPDModel = {
    {kPDModelHFTName, kPDModelHFTVersion, sizeof(PDModelHFT)},
    pdDocCreate,
    pdDocOpen,
    pdDocFromPath,
    pdDocIsOpen,
    pdDocClose,
    pdDocGetNumPages,
    pdDocGetCosDoc,
    pdDocGetFlags,
    pdDocSetFlags,
    pdDocClearFlags,
    pdDocGetPath,
    pdDocGetName,
    pdDocGetVersion,
    pdDocGetInfo,
    pdDocSetInfo,
    pdDocAcquirePage,
    pdPageRelease,
    pdDocCreatePage,
    pdDocInsertPages,
    pdDocDeletePages,
    pdPageGetCosObj,
    pdPageGetNumber,
    pdPageGetDoc,
    pdPageGetBox,
    pdPageSetBox,
    pdPageGetMediaBox,
    pdPageGetCropBox,
    pdPageSetMediaBox,
    pdPageSetCropBox,
    pdPageGetRotate,
    pdPageSetRotate,
    pdPageNotifyContentsDidChange,
    pdPageLabelNew,
    pdDocGetPageLabel,
    pdDocSetPageLabel,
    pdDocRemovePageLabel,
    pdDocGetLabelForPageNum,
    pdDocEnumResources,
    pdDocSave,
    pdDocSaveWithParams,
    pdDocWritePagesAhead,
    pdDocWriteObjAhead,
};

}  // namespace

const PDModelHFT* pdModelTable() {
    registerDocErrorTexts();
    return &kPDModel;
}

_t_PDDoc* checkDoc(PDDoc doc) {
    if (!isLiveDoc(doc)) raise(pdErrBadDoc);
    return doc;
}

bool isLiveDoc(PDDoc doc) {
    return doc && liveDocs().count(doc) != 0;
}
bool isLivePage(PDPage page) {
    return page && livePages().count(page) != 0;
}

_t_PDPage* checkPage(PDPage page) {
    if (!isLivePage(page)) raise(pdErrBadPage);
    return page;
}

QPDF& qpdfOf(PDDoc doc) {
    return *checkDoc(doc)->cos->qpdf;
}
std::shared_ptr<QPDF> qpdfShared(PDDoc doc) {
    return checkDoc(doc)->cos->qpdf;
}
QPDFObjectHandle pageObject(PDPage page) {
    return checkPage(page)->obj;
}
PDDoc docOfPage(PDPage page) {
    return checkPage(page)->doc;
}
CosDoc cosDocOf(PDDoc doc) {
    return checkDoc(doc)->cos.get();
}

PDDoc pdDocOf(CosDoc cosDoc) {
    if (!isLiveCosDoc(cosDoc)) return nullptr;
    return cosDoc->pdDoc;
}

int pageIndexOf(PDPage page) {
    _t_PDPage* p = checkPage(page);
    try {
        QPDFObjGen og = p->obj.getObjGen();
        return p->doc->cos->qpdf->findPage(og);
    } catch (const std::exception&) {
        return -1;
    }
}

void markModified(PDDoc doc) {
    if (!isLiveDoc(doc)) return;
    doc->flags |= PDDocNeedsSave;
    ++doc->changes;
}

std::uint64_t changeCount(PDDoc doc) {
    return isLiveDoc(doc) ? doc->changes : 0;
}

void broadcastNotification(const AVNotificationData& data) {
    notify(data);
}

void notifyPagesChanged(PDDoc doc, ASInt32 first, ASInt32 last) {
    AVNotificationData n{};
    n.selector = NSEL_PDDocDidChangePages;
    n.pdDoc = doc;
    n.firstPage = first;
    n.lastPage = last;
    broadcastNotification(n);
}

void addCloseHook(std::function<void(PDDoc)> hook) {
    static int next = 1;
    closeHooks()[next++] = std::move(hook);
}

QPDFObjectHandle inheritedAttribute(QPDFObjectHandle page, const std::string& key) {
    QPDFObjectHandle node = page;
    std::set<QPDFObjGen> seen;
    for (int depth = 0; depth < 64 && node.isDictionary(); ++depth) {
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second) break;
        QPDFObjectHandle v = node.getKey(key);
        if (!v.isNull()) return v;
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

ASInt32 copyOut(const std::string& text, char* buffer, ASInt32 size) {
    if (buffer && size > 0) {
        std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
        if (n < text.size())
            while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return static_cast<ASInt32>(text.size());
}

void forwardWarnings(QPDF& q) {
    int n = 0;
    for (auto& w : q.getWarnings()) {
        if (++n > 50) {
            warn("further warnings suppressed");
            break;
        }
        warn(w.what());
    }
}

}  // namespace vexa::host::doc

namespace vexa::host::doc {

void setWriteAheadForNewDocuments(bool on, int savedMinor) {
    writeAheadForNew() = WriteAheadSetting{on, on ? savedMinor : 0};
}

bool pageWrittenAhead(PDPage page) {
    return isLivePage(page) && writtenAhead(page);
}

void releaseSuperseded(PDPage page, QPDFObjectHandle oldContents, QPDFObjectHandle oldResources) {
    _t_PDPage* p = checkPage(page);
    _t_PDDoc* d = p->doc;
    if (!d->writeAhead) return;
    std::vector<QPDFObjectHandle> before, used;
    pageOwnObjects(oldContents, oldResources, before);
    if (before.empty()) return;
    pageOwnObjects(p->obj.getKey("/Contents"), p->obj.getKey("/Resources"), used);
    // Pages of one template pass may share their copies until each gets its own.
    const auto& pages = pagesOf(d);
    for (std::size_t i = d->writer ? d->writer->writtenUpTo() : 0; i < pages.size(); ++i)
        if (QPDFObjectHandle other = pages[i]; !other.isSameObjectAs(p->obj))
            pageOwnObjects(other.getKey("/Contents"), other.getKey("/Resources"), used);
    std::set<QPDFObjGen> keep;
    for (auto& o : used) keep.insert(o.getObjGen());
    QPDF& q = *d->cos->qpdf;
    for (auto& o : before)
        if (!keep.count(o.getObjGen())) q.replaceObject(o.getObjGen(), QPDFObjectHandle::newNull());
}

}  // namespace vexa::host::doc
