// The one symbol the plug-in file exports: the platform entry the host looks up.
#include "PIMain.h"

ASBool vexaPlugInMain(ASUns32 appHandshakeVersion, ASUns32* handshakeVersion,
                      PISetupSDKProc* setupProc, void* platformData);

extern "C" VEXA_API ASBool PlugInMain(ASUns32 appHandshakeVersion, ASUns32* handshakeVersion,
                                      PISetupSDKProc* setupProc, void* platformData) {
    return vexaPlugInMain(appHandshakeVersion, handshakeVersion, setupProc, platformData);
}
