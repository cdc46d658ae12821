// The PlatformUI table: what a desktop platform offers a plug-in beside the document
// interface — dialog windows and their controls, file and folder choosers, opening
// files with their default application, the system beep and pending keys. The
// headless host keeps dialogs in memory and lets a script drive them; the desktop host
// shows them as real windows.
#pragma once

#include "ASExcept.h"
#include "HFT.h"

#define kPlatformUIHFTVersion HFT_VERSION(1, 0)

struct PlatformUIHFT {
    HFTHeader hdr;
    // Members are declared by the dialog layer.
};
