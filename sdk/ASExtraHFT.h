// The ASExtra table: host text objects.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kASExtraHFTVersion HFT_VERSION(6, 0)

struct ASExtraHFT {
    HFTHeader hdr;

    // Host text objects hold Unicode text; UTF-8 goes in and comes out.
    ASText (*ASTextFromUTF8)(const char* utf8);
    // The text as UTF-8, valid until the text changes or is destroyed.
    const char* (*ASTextGetUTF8)(ASText text);
    void (*ASTextSetUTF8)(ASText text, const char* utf8);
    void (*ASTextDestroy)(ASText text);
};
