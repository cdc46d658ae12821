// The editing tool on the page view: keys, clicks, the overlay and deferred work.
#pragma once

#include "API.h"

ASBool doKeyDown(AVPageView pageView, ASUns16 key, ASInt16 flags, ASClientData clientData);
void doImposeIdle();
void drawFrames(AVPageView pageView);
// Records the front document for the editing tool.
void setFrontDoc(AVDoc doc);
AVDoc getFrontDoc();
