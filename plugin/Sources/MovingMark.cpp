#include "MovingMark.h"

void doMovingMark(AVPageView, PDPage) {}
long checkMovingMarks(PDDoc) {
    return 0;
}
void moveFlutterMark(PDEElement, long, long) {}
