// A small plug-in that checks how host errors reach a plug-in: its initialisation
// calls host functions that fail and shows what its handlers caught.
#include <cstdio>

#include "AcroViewHFT.h"
#include "PIMain.h"

namespace {

const CoreHFT* gCore = nullptr;
const AcroViewHFT* gView = nullptr;

void say(const char* what, ASErrorCode code) {
    char text[200];
    char err[100];
    gCore->ASGetErrorString(code, err, sizeof err);
    std::snprintf(text, sizeof text, "%s %d: %s", what, static_cast<int>(code), err);
    gView->AVAlert(ALERT_NOTE, text, nullptr, nullptr, nullptr, false);
}

ASBool init() {
    DURING
    gCore->ASRaise(genErrNoMemory);
    HANDLER
    say("caught raise", ERRORCODE);
    END_HANDLER
    DURING
    gView->AVMenuGetName(nullptr);  // a bad parameter raises inside the host
    HANDLER
    say("caught bad parameter", ERRORCODE);
    END_HANDLER
    return true;
}

ASBool yes() {
    return true;
}

ASBool handshake(ASUns32 version, PIHandshakeData* data) {
    if (version != HANDSHAKE_V0200) return false;
    data->extensionName = gCore->ASAtomFromString("TEST:Probe");
    data->exportHFTsCallback = yes;
    data->importReplaceAndRegisterCallback = yes;
    data->initCallback = init;
    data->unloadCallback = yes;
    return true;
}

ASBool setup(ASUns32 version, PISDKData* data) {
    if (version != HANDSHAKE_V0200) return false;
    gCore = data->coreHFT;
    gView = reinterpret_cast<const AcroViewHFT*>(
        gCore->ASExtensionMgrGetHFT(gCore->ASAtomFromString(kAcroViewHFTName), HFT_VERSION(6, 0)));
    if (!gView) return false;
    data->handshakeCallback = handshake;
    return true;
}

}  // namespace

extern "C" VEXA_API ASBool PlugInMain(ASUns32, ASUns32* handshakeVersion, PISetupSDKProc* setupProc,
                                      void*) {
    *handshakeVersion = HANDSHAKE_V0200;
    *setupProc = setup;
    return true;
}
