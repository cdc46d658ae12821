#include "Duplicate.h"

void doDuplicate(AVPageView, PDPage) {}
void dupSelection(PDPage, long, long) {}
void dupHor(AVPageView, PDPage) {}
void dupVer(AVPageView, PDPage) {}
