// The front end of the headless host: alerts, dialogs, choosers and pop-up menus are
// answered by the running script or, outside a script, printed on stderr and answered
// with their default (alerts) or cancelled (dialogs, choosers); progress is a bar on a
// terminal and plain lines elsewhere; files opened with the desktop are printed.
#pragma once

#include <string>
#include <vector>

#include "app/FrontEnd.h"

namespace vexa::host {

class HeadlessFrontEnd : public app::FrontEnd {
  public:
    int alert(const app::AlertRequest& request) override;
    void beep() override { ++beeps; }
    void progressBegin() override;
    void progressEnd() override;
    void progressText(const std::string& text) override;
    void progressDuration(ASInt32 steps) override;
    void progressValue(ASInt32 value) override;
    void runModal(PUIWindow window) override;
    bool choose(const app::ChooserRequest& request, std::string* path) override;
    bool openWithDesktop(const std::string& path) override;
    app::PopupChooser* popupChooser() override;

    int beeps = 0;
    bool quiet = false;  // no progress output (tests)

  private:
    void drawProgress(bool final);
    bool progressActive_ = false;
    std::string progressText_;
    ASInt32 progressSteps_ = 0;
    ASInt32 progressValue_ = 0;
    int lastPercentShown_ = -1;
    std::string lastLineShown_;  // the plain progress line printed last
};

}  // namespace vexa::host
