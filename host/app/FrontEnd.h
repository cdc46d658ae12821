// The seam between the application model and what the user sees. The headless front
// end answers from a script or prints on stderr; the desktop front end draws windows.
#pragma once

#include <string>
#include <vector>

#include "ASTypes.h"

namespace vexa::host::app {

struct AlertRequest {
    ASInt32 icon = 0;
    std::string message;
    std::vector<std::string> buttons;  // 1 to 3 texts; the first is the default
    bool beep = false;
};

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // Shows an alert and returns the number (1-based) of the button chosen.
    virtual int alert(const AlertRequest& request) = 0;
    virtual void beep() {}
    // Progress of a long operation.
    virtual void progressBegin() {}
    virtual void progressEnd() {}
    virtual void progressText(const std::string& /*text*/) {}
    virtual void progressDuration(ASInt32 /*steps*/) {}
    virtual void progressValue(ASInt32 /*value*/) {}
    virtual void waitCursor(bool /*on*/) {}
};

}  // namespace vexa::host::app
