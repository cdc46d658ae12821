// The Core table: atoms, host memory, errors, and the lookup of the other tables.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kCoreHFTVersion HFT_VERSION(5, 1)

struct CoreHFT {
    HFTHeader hdr;

    // Tables: the table of that name whose version is at least minVersion, or null.
    HFT (*ASExtensionMgrGetHFT)(ASAtom name, ASVersion minVersion);

    // Atoms.
    ASAtom (*ASAtomFromString)(const char* text);
    const char* (*ASAtomGetString)(ASAtom atom);  // the host keeps the text
    ASBool (*ASAtomExistsForString)(const char* text);

    // Host memory: blocks the host hands out are freed with ASfree.
    void* (*ASmalloc)(ASSize_t size);
    void* (*ASrealloc)(void* block, ASSize_t size);
    void (*ASfree)(void* block);

    // Errors: ASRaise throws ASException(code). ASGetErrorString copies the text of a
    // code (at most len - 1 bytes, terminated) and returns buf.
    void (*ASRaise)(ASErrorCode code);  // never returns
    char* (*ASGetErrorString)(ASErrorCode code, char* buf, ASSize_t len);
    // Registers the texts of a plug-in's own error system; returns the system number.
    ASInt32 (*ASRegisterErrorString)(ASErrorCode code, const char* text);

    // Warnings the host collected while reading or repairing a document, handed to
    // the current warning sink (the headless host prints them, tests collect them).
    void (*ASReportWarning)(const char* text);

    // 5.1: offers a plug-in's own table to the host and the other plug-ins; called from
    // the plug-in's export callback. False when a table of that name is offered already
    // (the host's tables cannot be replaced). The host withdraws the table when the
    // plug-in does not start or is unloaded.
    ASBool (*ASExtensionMgrRegisterHFT)(HFT table);
};
