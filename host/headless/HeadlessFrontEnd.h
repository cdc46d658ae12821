// The front end of the headless host: alerts are answered by the running script or,
// outside a script, printed on stderr and answered with their default button;
// progress is a bar on a terminal and plain lines elsewhere.
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

    // Every alert shown, with the button chosen; "expect-alert" consumes them in order.
    struct ShownAlert {
        app::AlertRequest request;
        int chosen = 0;
        bool checked = false;
    };
    std::vector<ShownAlert> alerts;
    int beeps = 0;
    bool quiet = false;  // no progress output (tests)

    // Resolves an answer word ("1", "2", "3", a button text, "default", "cancel").
    static int answerIndex(const app::AlertRequest& request, const std::string& answer);

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
