#include "Undo.h"

void prepareUndo(AVPageView view) {
    // Undo records arrive with the editing tool; until then nothing is recorded.
    (void)view;
}
