// Platform entry, SDK set-up and handshake.
#include "PIMain.h"

ASBool vexaPlugInMain(ASUns32 appHandshakeVersion, ASUns32* handshakeVersion,
                      PISetupSDKProc* setupProc, void* platformData) {
    (void)platformData;
    (void)appHandshakeVersion;
    (void)handshakeVersion;
    (void)setupProc;
    return false;
}
