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

// Errors of the Cos layer.
enum {
    cosErrExpectedDict = ErrBuildCode(ErrSysCos, 1),
    cosErrExpectedArray = ErrBuildCode(ErrSysCos, 2),
    cosErrExpectedNumber = ErrBuildCode(ErrSysCos, 3),
    cosErrExpectedName = ErrBuildCode(ErrSysCos, 4),
    cosErrExpectedString = ErrBuildCode(ErrSysCos, 5),
    cosErrExpectedStream = ErrBuildCode(ErrSysCos, 6),
    cosErrExpectedBoolean = ErrBuildCode(ErrSysCos, 7),
    cosErrArrayBounds = ErrBuildCode(ErrSysCos, 8),
    cosErrBadObject = ErrBuildCode(ErrSysCos, 9),    // destroyed or unusable object
    cosErrOtherDoc = ErrBuildCode(ErrSysCos, 10),    // object of another document
    cosErrStreamData = ErrBuildCode(ErrSysCos, 11),  // stream data cannot be read or decoded
    cosErrUnsupportedFilter = ErrBuildCode(ErrSysCos, 12),
    cosErrBadDoc = ErrBuildCode(ErrSysCos, 13),  // no such Cos document
};

// Every member raises the host exception on failure. Reading members accept any
// object: a value of another type raises the cosErrExpected... error of the member
// (accessors of dictionaries and arrays return the null object for missing entries).
// Objects are created in a Cos document; "indirect" makes the new object an indirect
// object of that document. Direct objects may be put into containers of the same
// document; objects of another document must first be copied with CosObjCopy.
struct CosHFT {
    HFTHeader hdr;

    // Objects.
    CosType (*CosObjGetType)(CosObj obj);
    // Same indirect object, or equal direct values (deep comparison).
    ASBool (*CosObjEqual)(CosObj a, CosObj b);
    ASBool (*CosObjIsIndirect)(CosObj obj);
    CosDoc (*CosObjGetDoc)(CosObj obj);  // null for objects of no document
    ASInt32 (*CosObjGetID)(CosObj obj);  // object number; 0 for direct objects
    // Calls proc for every entry of a dictionary or stream dictionary (key as a name
    // object, value) or every element of an array (element, null object) until proc
    // returns false; returns false when proc stopped it. Dictionaries enumerate in
    // ascending key order. Other types call nothing and return true.
    ASBool (*CosObjEnum)(CosObj obj, CosObjEnumProc proc, ASClientData clientData);
    // A deep copy in dst: direct containers are copied; with copyIndirect the indirect
    // objects reached are copied too (each shared object once per destination
    // document). Copies into another document always include the indirect objects.
    // The page tree itself is never copied (a page's /Parent is left out).
    CosObj (*CosObjCopy)(CosObj src, CosDoc dst, ASBool copyIndirect);
    // Destroys an indirect object: every reference to it then reads as null. Direct
    // objects are simply dropped.
    void (*CosObjDestroy)(CosObj obj);

    // New objects.
    CosObj (*CosNewNull)(void);
    CosObj (*CosNewInteger)(CosDoc doc, ASBool indirect, ASInt32 value);
    CosObj (*CosNewFixed)(CosDoc doc, ASBool indirect, ASFixed value);
    CosObj (*CosNewFloat)(CosDoc doc, ASBool indirect, float value);
    CosObj (*CosNewBoolean)(CosDoc doc, ASBool indirect, ASBool value);
    CosObj (*CosNewName)(CosDoc doc, ASBool indirect, ASAtom name);
    // The bytes as they are (len bytes; embedded zeros allowed).
    CosObj (*CosNewString)(CosDoc doc, ASBool indirect, const char* bytes, ASSize_t len);
    CosObj (*CosNewArray)(CosDoc doc, ASBool indirect, ASInt32 nElements);
    CosObj (*CosNewDict)(CosDoc doc, ASBool indirect, ASInt32 nEntries);
    // A new (always indirect) stream with a copy of the attributes dictionary (may be
    // null) and len bytes of data. filters is null, a name or an array of names. When
    // dataIsEncoded is false the data is decoded data and the host encodes it with the
    // filters (FlateDecode and RunLengthDecode can be encoded); when true the data is
    // already encoded with them and is stored as it is (decodeParms as given).
    CosObj (*CosNewStream)(CosDoc doc, const char* data, ASSize_t len, CosObj attributes,
                           CosObj filters, CosObj decodeParms, ASBool dataIsEncoded);

    // Dictionaries (also the dictionary of a stream).
    CosObj (*CosDictGet)(CosObj dict, ASAtom key);              // null object when absent
    void (*CosDictPut)(CosObj dict, ASAtom key, CosObj value);  // replaces
    void (*CosDictRemove)(CosObj dict, ASAtom key);
    ASBool (*CosDictKnown)(CosObj dict, ASAtom key);
    ASInt32 (*CosDictLength)(CosObj dict);
    // The same with keys as C strings (without the leading slash).
    CosObj (*CosDictGetKeyString)(CosObj dict, const char* key);
    void (*CosDictPutKeyString)(CosObj dict, const char* key, CosObj value);

    // Arrays. Put at an index at or past the end extends the array with nulls; insert
    // at the length appends.
    CosObj (*CosArrayGet)(CosObj array, ASInt32 index);  // null object when out of range
    void (*CosArrayPut)(CosObj array, ASInt32 index, CosObj value);
    void (*CosArrayInsert)(CosObj array, ASInt32 index, CosObj value);
    void (*CosArrayRemoveNth)(CosObj array, ASInt32 index);
    // Removes the first element equal to value (CosObjEqual); nothing when none is.
    void (*CosArrayRemove)(CosObj array, CosObj value);
    ASInt32 (*CosArrayLength)(CosObj array);

    // Values.
    ASAtom (*CosNameValue)(CosObj name);
    // Copies the string's bytes: at most bufferSize - 1 bytes and a terminating zero
    // (nothing when buffer is null or bufferSize is 0); returns the full length.
    ASSize_t (*CosStringValue)(CosObj string, char* buffer, ASSize_t bufferSize);
    // The string's bytes in host memory (zero-terminated, free with ASfree); *len gets
    // the length when len is not null.
    char* (*CosCopyStringValue)(CosObj string, ASSize_t* len);
    // Integers as they are (saturated to 32 bits), reals truncated toward zero.
    ASInt32 (*CosIntegerValue)(CosObj number);
    ASFixed (*CosFixedValue)(CosObj number);  // saturated
    float (*CosFloatValue)(CosObj number);
    ASBool (*CosBooleanValue)(CosObj boolean);

    // Streams. Data is handed out in host memory (free with ASfree), *len the size.
    CosObj (*CosStreamDict)(CosObj stream);
    // Decoded data; raises cosErrStreamData when a filter cannot be decoded and
    // genErrLimitExceeded beyond the host's limit of decoded size.
    char* (*CosStreamGetData)(CosObj stream, ASSize_t* len);
    // The data as stored in the file (still encoded, decrypted).
    char* (*CosStreamGetRawData)(CosObj stream, ASSize_t* len);
    // Replaces the data; filters and dataIsEncoded as in CosNewStream. The stream
    // dictionary's /Filter and /DecodeParms are set to match.
    void (*CosStreamSetData)(CosObj stream, const char* data, ASSize_t len, CosObj filters,
                             CosObj decodeParms, ASBool dataIsEncoded);

    // Documents.
    CosObj (*CosDocGetRoot)(CosDoc doc);      // the catalog
    CosObj (*CosDocGetTrailer)(CosDoc doc);   // the trailer dictionary
    CosObj (*CosDocGetInfoDict)(CosDoc doc);  // the information dictionary; null when absent

    // The first maxLen bytes of the decoded data (all of it when it is shorter: *len <
    // maxLen says the data is whole), without decoding the rest where the filter allows;
    // fails as CosStreamGetData does.
    char* (*CosStreamGetDataStart)(CosObj stream, ASSize_t maxLen, ASSize_t* len);
};
