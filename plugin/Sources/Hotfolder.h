// Hot folders: unattended imposition of files dropped into watched folders.
#pragma once

void setupHotfolder();
void doHotfolder();
void doHotfolderDlg();
