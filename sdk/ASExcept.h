// Host errors. Host functions report failure by throwing ASException with an error
// code; ASGetErrorString (Core table) gives the text of a code.
#pragma once

#include <exception>

#include "ASTypes.h"

// An error code holds a system number in bits 16..23 and the error in bits 0..15.
#define ErrBuildCode(sys, err) ((ASErrorCode)((((sys)&0xFF) << 16) | ((err)&0xFFFF)))
#define ErrGetSystem(code) (((code) >> 16) & 0xFF)

enum {
    ErrSysNone = 0,
    ErrSysAS = 1,      // general host errors
    ErrSysCos = 2,     // Cos objects
    ErrSysPDDoc = 3,   // documents
    ErrSysPDPage = 4,  // pages
    ErrSysPDEdit = 5,  // page content
    ErrSysAV = 6,      // application, views, user interface
    ErrSysFile = 7,    // files and folders
};

enum {
    genErrNoError = 0,
    genErrNoMemory = ErrBuildCode(ErrSysAS, 1),
    genErrBadParm = ErrBuildCode(ErrSysAS, 2),
    genErrGeneral = ErrBuildCode(ErrSysAS, 3),
    genErrBadUnlock = ErrBuildCode(ErrSysAS, 4),
    genErrResourceLoadFailed = ErrBuildCode(ErrSysAS, 5),
    genErrNotImplemented = ErrBuildCode(ErrSysAS, 6),
    genErrCancelled = ErrBuildCode(ErrSysAS, 7),
    genErrLimitExceeded = ErrBuildCode(ErrSysAS, 8),
};

class VEXA_API ASException : public std::exception {
  public:
    explicit ASException(ASErrorCode code) noexcept : code_(code) {}
    ASErrorCode code() const noexcept { return code_; }
    const char* what() const noexcept override { return "host error"; }

  private:
    ASErrorCode code_;
};

// Exception frames in the plug-in's style:
//   DURING ... HANDLER ... ERRORCODE ... END_HANDLER
#define DURING try {
#define HANDLER                                  \
    }                                            \
    catch (const ASException& vexaCaughtError) { \
        const ASErrorCode ERRORCODE = vexaCaughtError.code();
#define END_HANDLER }
