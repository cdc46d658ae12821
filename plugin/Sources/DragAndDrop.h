// Placing PDF files dropped onto a document window.
#pragma once

#include "API.h"

void SetupDropTarget(AVWindow window);
void CleanupDropTarget(AVWindow window);
void doDropIdle();
