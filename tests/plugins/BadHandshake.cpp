// A plug-in that speaks an older handshake version: the host must not load it.
#include "PIMain.h"

namespace {
ASBool setup(ASUns32, PISDKData*) {
    return true;
}
}  // namespace

extern "C" VEXA_API ASBool PlugInMain(ASUns32, ASUns32* handshakeVersion, PISetupSDKProc* setupProc,
                                      void*) {
    *handshakeVersion = 0x00010000;
    *setupProc = setup;
    return true;
}
