#include "Common/API.h"

const CoreHFT* gCoreHFT = nullptr;
const CosHFT* gCosHFT = nullptr;
const PDModelHFT* gPDModelHFT = nullptr;
const PDFEditReadHFT* gPDFEditReadHFT = nullptr;
const PDFEditWriteHFT* gPDFEditWriteHFT = nullptr;
const PDSysFontHFT* gPDSysFontHFT = nullptr;
const PagePDEContentHFT* gPagePDEContentHFT = nullptr;
const AcroViewHFT* gAcroViewHFT = nullptr;
const PDSReadHFT* gPDSReadHFT = nullptr;
const PDSWriteHFT* gPDSWriteHFT = nullptr;
const ASExtraHFT* gASExtraHFT = nullptr;
const AcroColorHFT* gAcroColorHFT = nullptr;
const AcroSupportHFT* gAcroSupportHFT = nullptr;
const PlatformUIHFT* gPlatformUIHFT = nullptr;
ExtensionID gExtensionID = nullptr;
ASInt16 gVersMajor = 0;
ASInt16 gVersMinor = 0;

namespace {

template <typename T>
bool importTable(const CoreHFT* core, const T*& slot, const char* name, ASVersion minVersion) {
    HFT t = core->ASExtensionMgrGetHFT(core->ASAtomFromString(name), minVersion);
    // The table must be at least as large as the one we were built against.
    if (!t || t->size < sizeof(T)) return false;
    slot = reinterpret_cast<const T*>(t);
    return true;
}

// AcroSupport: the newest offered, down to 1.0.
bool importSupport(const CoreHFT* core) {
    for (int major = 8; major >= 1; --major) {
        HFT t = core->ASExtensionMgrGetHFT(core->ASAtomFromString(kAcroSupportHFTName),
                                           HFT_VERSION(major, 0));
        if (t && t->size >= sizeof(AcroSupportHFT)) {
            gAcroSupportHFT = reinterpret_cast<const AcroSupportHFT*>(t);
            return true;
        }
    }
    return false;
}

}  // namespace

bool importHostTables(const CoreHFT* core) {
    // A Core table of 5.0 (without the registration of tables) will do: the plug-in then
    // offers no table of its own.
    if (!core || core->hdr.version < HFT_VERSION(5, 0) ||
        core->hdr.size < offsetof(CoreHFT, ASExtensionMgrRegisterHFT))
        return false;
    gCoreHFT = core;
    return importTable(core, gCosHFT, kCosHFTName, kCosHFTVersion) &&
           importTable(core, gPDModelHFT, kPDModelHFTName, kPDModelHFTVersion) &&
           importTable(core, gPDFEditWriteHFT, kPDFEditWriteHFTName, HFT_VERSION(6, 0)) &&
           importTable(core, gPDFEditReadHFT, kPDFEditReadHFTName, kPDFEditReadHFTVersion) &&
           importTable(core, gPDSysFontHFT, kPDSysFontHFTName, kPDSysFontHFTVersion) &&
           importTable(core, gPagePDEContentHFT, kPagePDEContentHFTName,
                       kPagePDEContentHFTVersion) &&
           importTable(core, gAcroViewHFT, kAcroViewHFTName, HFT_VERSION(6, 0)) &&
           importTable(core, gPDSWriteHFT, kPDSWriteHFTName, kPDSWriteHFTVersion) &&
           importTable(core, gPDSReadHFT, kPDSReadHFTName, kPDSReadHFTVersion) &&
           importTable(core, gASExtraHFT, kASExtraHFTName, kASExtraHFTVersion) &&
           importTable(core, gAcroColorHFT, kAcroColorHFTName, kAcroColorHFTVersion) &&
           importSupport(core) &&
           importTable(core, gPlatformUIHFT, kPlatformUIHFTName, kPlatformUIHFTVersion);
}
