// Enumeration of a document's resources of one kind over a page range, following the
// forms, tiling patterns and Type 3 fonts the pages use.
#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

class ResourceWalker {
  public:
    explicit ResourceWalker(std::string kind) : kind_(std::move(kind)) {}

    void walk(QPDFObjectHandle res, int depth) {
        if (depth > 32 || !res.isDictionary()) return;
        if (res.isIndirect() && !visited_.insert(res.getObjGen()).second) return;
        QPDFObjectHandle sub = res.getKey(kind_);
        if (sub.isDictionary()) {
            for (auto& [name, value] : sub.ditems()) {
                if (value.isNull()) continue;
                if (value.isIndirect() && !emitted_.insert(value.getObjGen()).second) continue;
                found.emplace_back(value, QPDFObjectHandle::newName(name));
            }
        }
        nested(res.getKey("/XObject"), depth, [](QPDFObjectHandle x) { return x.isFormXObject(); });
        nested(res.getKey("/Pattern"), depth, [](QPDFObjectHandle p) { return p.isStream(); });
        nested(res.getKey("/Font"), depth, [](QPDFObjectHandle f) {
            QPDFObjectHandle s =
                f.isDictionary() ? f.getKey("/Subtype") : QPDFObjectHandle::newNull();
            return s.isName() && s.getName() == "/Type3";
        });
    }

    std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> found;

  private:
    template <class Pred>
    void nested(QPDFObjectHandle dict, int depth, Pred pred) {
        if (!dict.isDictionary()) return;
        for (auto& [name, obj] : dict.ditems()) {
            if (!pred(obj)) continue;
            if (obj.isIndirect() && !visitedOwners_.insert(obj.getObjGen()).second) continue;
            QPDFObjectHandle d = obj.isStream() ? obj.getDict() : obj;
            walk(d.getKey("/Resources"), depth + 1);
        }
    }

    std::string kind_;
    std::set<QPDFObjGen> visited_, visitedOwners_, emitted_;
};

}  // namespace

void pdDocEnumResources(PDDoc doc, ASInt32 startPage, ASInt32 endPage, ASAtom resourceType,
                        CosObjEnumProc proc, ASClientData clientData) {
    _t_PDDoc* d = checkDoc(doc);
    if (!proc || resourceType == ASAtomNull) raise(genErrBadParm);
    ASInt32 count = pdModelTable()->PDDocGetNumPages(doc);
    if (endPage == -1 || endPage == PDLastPage) endPage = count - 1;
    if (count == 0) return;
    if (startPage < 0 || endPage < startPage || endPage >= count) raise(pdErrBadPageNum);
    ResourceWalker walker(std::string("/") + atomString(resourceType));
    guarded(pdErrDamaged, [&] {
        const auto& pages = d->cos->qpdf->getAllPages();
        for (ASInt32 i = startPage; i <= endPage; ++i)
            walker.walk(inheritedAttribute(pages[i], "/Resources"), 0);
    });
    // The procs run outside the guard: their host errors reach the caller unchanged.
    CosDoc cd = d->cos.get();
    for (auto& [value, name] : walker.found)
        if (!proc(cosObjFor(cd, value), cosObjFor(cd, name), clientData)) return;
}

}  // namespace vexa::host::doc
