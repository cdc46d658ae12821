#include "AddPages.h"

void addPages() {}
bool getBleedRectFromDlg1(ASFixedRect*, bool*) {
    return false;
}
bool getBleedRectFromDlg2(ASFixedRect&) {
    return false;
}
void doBleedRectDlg() {}
