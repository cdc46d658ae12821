// Host function tables. A table is a C struct of function pointers that begins with
// an HFTHeader; it is found by name and minimum version through the Core table's
// ASExtensionMgrGetHFT. Tables only grow: newer versions append members, and the
// header's size says how many bytes of members the host filled.
#pragma once

#include <cstddef>
#include <type_traits>

#include "ASTypes.h"

#define HFT_VERSION(major, minor) ((ASVersion)(((major) << 16) | ((minor)&0xFFFF)))

struct HFTHeader {
    const char* name;   // "Core", "Cos", "PDModel", ...
    ASVersion version;  // HFT_VERSION(major, minor)
    ASUns32 size;       // sizeof the whole table struct as the host built it
};
typedef const HFTHeader* HFT;

// The names of the tables the host offers.
#define kCoreHFTName "Core"
#define kCosHFTName "Cos"
#define kPDModelHFTName "PDModel"
#define kPDFEditReadHFTName "PDFEditRead"
#define kPDFEditWriteHFTName "PDFEditWrite"
#define kPDSysFontHFTName "PDSysFont"
#define kPagePDEContentHFTName "PagePDEContent"
#define kAcroViewHFTName "AcroView"
#define kPDSReadHFTName "PDSRead"
#define kPDSWriteHFTName "PDSWrite"
#define kASExtraHFTName "ASExtra"
#define kAcroColorHFTName "AcroColorHFT"
#define kAcroSupportHFTName "AcroSupport"
#define kPlatformUIHFTName "PlatformUI"

// True when the table is present and its member m lies within the filled size.
#define HFT_HAS(table, m) \
    ((table) != nullptr && offsetof(std::remove_pointer_t<decltype(table)>, m) < (table)->hdr.size)
