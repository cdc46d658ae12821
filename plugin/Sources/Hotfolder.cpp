#include "Hotfolder.h"

#include "ErrorHandling.h"
#include "MySettings.h"

void setupHotfolder() {
    // The configured input folders, listed in the log at start-up.
    char in[256];
    for (int n = 1;; ++n) {
        dprintf("Hotfolder %d:", n);
        char key[32];
        std::snprintf(key, sizeof key, "In%d", n);
        in[0] = 0;
        if (gPrefs.get("Hotfolder", key, in, sizeof in) <= 0) break;
        dprintf("\t%s\n", in);
    }
    dprintf("\n");
}

void doHotfolder() {}

void doHotfolderDlg() {}
