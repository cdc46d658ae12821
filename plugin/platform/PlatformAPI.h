// Thin wrappers of the PlatformUI table, named after the host operations.
#pragma once

#include "Common/API.h"

inline void puiBeep() {
    if (gPlatformUIHFT) gPlatformUIHFT->PUIBeep();
}
inline ASBool puiCheckForEscKey() {
    return gPlatformUIHFT ? gPlatformUIHFT->PUICheckForEscKey() : false;
}
inline void puiClearEscKey() {
    if (gPlatformUIHFT) gPlatformUIHFT->PUIClearEscKey();
}
inline ASBool puiOpenWithDefaultApp(const char* path) {
    return gPlatformUIHFT ? gPlatformUIHFT->PUIOpenWithDefaultApp(path) : false;
}
// File chooser: true and the path when one was chosen.
inline ASBool puiChooseFile(const char* title, const char* filter, const char* initialPath,
                            ASUns32 flags, char* path, ASInt32 size) {
    return gPlatformUIHFT
               ? gPlatformUIHFT->PUIChooseFile(title, filter, initialPath, flags, path, size)
               : false;
}
inline ASBool puiChooseFolder(const char* title, const char* initialPath, char* path,
                              ASInt32 size) {
    return gPlatformUIHFT ? gPlatformUIHFT->PUIChooseFolder(title, initialPath, path, size) : false;
}
inline void puiBeginLongRun() {
    if (gPlatformUIHFT) gPlatformUIHFT->PUIBeginLongRun();
}
inline void puiEndLongRun() {
    if (gPlatformUIHFT) gPlatformUIHFT->PUIEndLongRun();
}
