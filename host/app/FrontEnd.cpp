#include "app/FrontEnd.h"

#include <chrono>
#include <thread>

namespace vexa::host::app {

bool FrontEnd::followPath(MouseState& mouse) {
    if (mouse.path.empty()) return false;
    mouse.x = mouse.path.front().first;
    mouse.y = mouse.path.front().second;
    mouse.path.pop_front();
    return true;
}

void FrontEnd::pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace vexa::host::app
