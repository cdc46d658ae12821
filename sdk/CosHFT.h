// The Cos table: the objects of a PDF file.
//
// CosObj is a small value handle. A default-constructed CosObj is the null object.
// Copies share the host's object; the last copy to go releases it. Whether the object
// is direct or indirect, and which document it belongs to, is the host's business;
// the accessors below tell.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kCosHFTVersion HFT_VERSION(6, 0)

// The host derives its object representation from CosObjRep.
struct CosObjRep {
    ASInt32 refs;
    void (*destroy)(CosObjRep* self);
};

class CosObj {
  public:
    CosObj() noexcept = default;
    explicit CosObj(CosObjRep* adopted) noexcept : rep_(adopted) {}  // takes one reference
    CosObj(const CosObj& o) noexcept : rep_(o.rep_) {
        if (rep_) ++rep_->refs;
    }
    CosObj(CosObj&& o) noexcept : rep_(o.rep_) { o.rep_ = nullptr; }
    CosObj& operator=(const CosObj& o) noexcept {
        if (o.rep_) ++o.rep_->refs;
        drop();
        rep_ = o.rep_;
        return *this;
    }
    CosObj& operator=(CosObj&& o) noexcept {
        if (this != &o) {
            drop();
            rep_ = o.rep_;
            o.rep_ = nullptr;
        }
        return *this;
    }
    ~CosObj() { drop(); }

    CosObjRep* rep() const noexcept { return rep_; }
    // True for the null handle only; use CosObjGetType for a null object read from a file.
    bool isNullHandle() const noexcept { return rep_ == nullptr; }

  private:
    void drop() noexcept {
        if (rep_ && --rep_->refs == 0) rep_->destroy(rep_);
        rep_ = nullptr;
    }
    CosObjRep* rep_ = nullptr;
};

typedef ASInt32 CosType;
enum {
    CosNull = 0,
    CosInteger = 1,
    CosFixed = 2,  // real numbers
    CosBoolean = 3,
    CosName = 4,
    CosString = 5,
    CosDict = 6,
    CosArray = 7,
    CosStream = 8,
};

typedef ASBool (*CosObjEnumProc)(CosObj key, CosObj value, ASClientData clientData);

struct CosHFT {
    HFTHeader hdr;
    // Members are declared by the document engine; see the host's Cos implementation.
};
