#include "headless/HeadlessFrontEnd.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "headless/Script.h"
#include "ui/Ui.h"

namespace vexa::host {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string describe(const app::AlertRequest& r) {
    std::string s = "alert \"" + r.message + "\" with buttons";
    for (std::size_t i = 0; i < r.buttons.size(); ++i)
        s += " [" + std::to_string(i + 1) + " " + r.buttons[i] + "]";
    return s;
}

}  // namespace

int HeadlessFrontEnd::answerIndex(const app::AlertRequest& request, const std::string& answer) {
    std::string a = lower(answer);
    if (a == "default" || (a == "ok" && request.buttons.size() == 1)) return 1;
    if (a == "cancel" && request.buttons.size() >= 2) {
        for (std::size_t i = 0; i < request.buttons.size(); ++i)
            if (lower(request.buttons[i]) == "cancel") return static_cast<int>(i + 1);
        return 2;
    }
    if (a.size() == 1 && a[0] >= '1' && a[0] <= '3') {
        int n = a[0] - '0';
        return n <= static_cast<int>(request.buttons.size()) ? n : 0;
    }
    for (std::size_t i = 0; i < request.buttons.size(); ++i)
        if (lower(request.buttons[i]) == a) return static_cast<int>(i + 1);
    return 0;
}

int HeadlessFrontEnd::alert(const app::AlertRequest& request) {
    if (request.beep) ++beeps;
    ScriptRunner* script = ScriptRunner::current();
    // Recorded before it is answered, so that lines run while it is up can see it.
    alerts.push_back({request, 0, false});
    std::size_t index = alerts.size() - 1;
    int chosen = 0;
    if (script) {
        auto takeQueued = [&] {
            if (script->queuedAnswers.empty()) return false;
            std::string a = script->queuedAnswers.front();
            script->queuedAnswers.erase(script->queuedAnswers.begin());
            chosen = answerIndex(request, a);
            if (chosen == 0)
                throw ScriptError("\"" + a + "\" is no button of the " + describe(request));
            return true;
        };
        if (!takeQueued()) {
            if (request.buttons.size() <= 1) {
                // A message with only one button needs no decision: it is acknowledged.
                chosen = 1;
            } else {
                // The following lines are the user's actions while the alert is up;
                // the first "answer" line closes it.
                script->runNested([&] { return chosen != 0 || takeQueued(); },
                                  [&] { return describe(request); });
            }
        }
    } else {
        std::string buttons;
        for (std::size_t i = 0; i < request.buttons.size(); ++i)
            buttons +=
                (i ? " " : "") + std::string("[") + request.buttons[i] + (i == 0 ? "*]" : "]");
        std::fprintf(stderr, "vexa: %s %s\n", request.message.c_str(), buttons.c_str());
        chosen = 1;
    }
    alerts[index].chosen = chosen;
    return chosen;
}

void HeadlessFrontEnd::progressBegin() {
    progressActive_ = true;
    progressValue_ = 0;
    lastPercentShown_ = -1;
    lastLineShown_.clear();
}

void HeadlessFrontEnd::progressEnd() {
    if (progressActive_) drawProgress(true);
    progressActive_ = false;
}

void HeadlessFrontEnd::progressText(const std::string& text) {
    progressText_ = text;
}

void HeadlessFrontEnd::progressDuration(ASInt32 steps) {
    progressSteps_ = steps;
    drawProgress(false);
}

void HeadlessFrontEnd::progressValue(ASInt32 value) {
    progressValue_ = value;
    ScriptRunner* script = ScriptRunner::current();
    if (script && script->escapeAtStep > 0 && value >= script->escapeAtStep &&
        progressText_.find(script->escapeAtText) != std::string::npos) {
        // The user types Escape as the bar reaches that step.
        script->escapeAtStep = 0;
        ui::setEscapePending(true);
    }
    drawProgress(false);
}

void HeadlessFrontEnd::drawProgress(bool final) {
    if (quiet) return;
    int percent =
        progressSteps_ > 0
            ? static_cast<int>(std::clamp<long>(100L * progressValue_ / progressSteps_, 0, 100))
            : 0;
    if (isatty(STDERR_FILENO)) {
        int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%-24.24s [%.*s%*s] %3d%% (%d/%d)", progressText_.c_str(), filled,
                     "==============================", 30 - filled, "", percent, progressValue_,
                     progressSteps_);
        if (final) std::fputc('\n', stderr);
        std::fflush(stderr);
        return;
    }
    // Plain lines: one per tenth of the way, and the end unless it was just shown.
    int tenth = percent / 10;
    if (!final && tenth == lastPercentShown_) return;
    lastPercentShown_ = tenth;
    std::string line = "progress: " + progressText_ + " " + std::to_string(progressValue_) + "/" +
                       std::to_string(progressSteps_) + "\n";
    if (final && line == lastLineShown_) return;
    lastLineShown_ = line;
    std::fputs(line.c_str(), stderr);
}

}  // namespace vexa::host
