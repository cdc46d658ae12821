// Loading a plug-in: the platform entry, SDK set-up and the handshake.
//
// The host dlopen()s the plug-in, looks up PlugInMain and calls it; the plug-in agrees
// on a handshake version and hands back its SDK set-up function. The host then calls
// that with a PISDKData record (the core table and the extension identifier); the
// set-up imports the tables and fills in handshakeCallback. The host calls the
// handshake, which fills a PIHandshakeData record with the extension name and the four
// life-cycle callbacks, and then calls exportHFTs, importReplaceAndRegister and init in
// turn. unload is called before the plug-in is closed.
#pragma once

#include "CoreHFT.h"

#define HANDSHAKE_V0200 0x00020000u
#define kPlugInMainName "PlugInMain"

typedef ASBool (*PIExportHFTsProc)(void);
typedef ASBool (*PIImportReplaceAndRegisterProc)(void);
typedef ASBool (*PIInitProc)(void);
typedef ASBool (*PIUnloadProc)(void);

struct PIHandshakeData {
    ASUns32 size;
    ASAtom extensionName;
    PIExportHFTsProc exportHFTsCallback;
    PIImportReplaceAndRegisterProc importReplaceAndRegisterCallback;
    PIInitProc initCallback;
    PIUnloadProc unloadCallback;
};

typedef ASBool (*PIHandshakeProc)(ASUns32 handshakeVersion, PIHandshakeData* data);

struct PISDKData {
    ASUns32 size;
    ASUns32 handshakeVersion;
    ExtensionID extensionID;
    const CoreHFT* coreHFT;
    PIHandshakeProc handshakeCallback;  // out: set by the plug-in
};

typedef ASBool (*PISetupSDKProc)(ASUns32 handshakeVersion, PISDKData* data);

// Exported by every plug-in (extern "C", default visibility).
typedef ASBool (*PlugInMainProc)(ASUns32 appHandshakeVersion, ASUns32* handshakeVersion,
                                 PISetupSDKProc* setupProc, void* platformData);
