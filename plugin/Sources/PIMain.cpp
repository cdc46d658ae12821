// Platform entry, SDK set-up and handshake: how the host starts the plug-in.
#include "PIMain.h"

#include "Common/API.h"
#include "Sources/Main.h"

namespace {

ASBool PIHandshake(ASUns32 handshakeVersion, PIHandshakeData* data) {
    if (handshakeVersion != HANDSHAKE_V0200 || !data) return false;
    data->extensionName = gCoreHFT->ASAtomFromString("ORVA:Vexa");
    data->exportHFTsCallback = PluginExportHFTs;
    data->importReplaceAndRegisterCallback = PluginImportReplaceAndRegister;
    data->initCallback = PluginInit;
    data->unloadCallback = PluginUnload;
    return true;
}

}  // namespace

ASBool PISetupSDK(ASUns32 handshakeVersion, PISDKData* data) {
    if (handshakeVersion != HANDSHAKE_V0200 || !data || !data->coreHFT) return false;
    gExtensionID = data->extensionID;
    if (!importHostTables(data->coreHFT)) return false;
    data->handshakeCallback = PIHandshake;
    return true;
}

ASBool vexaPlugInMain(ASUns32 appHandshakeVersion, ASUns32* handshakeVersion,
                      PISetupSDKProc* setupProc, void* /*platformData*/) {
    if (!handshakeVersion || !setupProc) return false;
    // Agree on the highest version both sides speak; we speak only 2.0.
    if (appHandshakeVersion < HANDSHAKE_V0200) return false;
    *handshakeVersion = HANDSHAKE_V0200;
    *setupProc = PISetupSDK;
    return true;
}
