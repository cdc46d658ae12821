#include "DragAndDrop.h"

void SetupDropTarget(AVWindow) {}
void CleanupDropTarget(AVWindow) {}
void doDropIdle() {}
