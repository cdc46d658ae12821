#include "headless/HeadlessFrontEnd.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ui/Script.h"
#include "ui/ScriptHands.h"
#include "ui/Ui.h"

namespace vexa::host {

int HeadlessFrontEnd::alert(const app::AlertRequest& request) {
    if (request.beep) ++beeps;
    ScriptRunner* script = ScriptRunner::current();
    // Recorded before it is answered, so that lines run while it is up can see it.
    alerts.push_back({request, 0, false});
    std::size_t index = alerts.size() - 1;
    int chosen = 0;
    if (script) {
        chosen = scriptAlertAnswer(*script, request);
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
    // The user types Escape as the bar reaches that step.
    if (script && script->escapeDue(progressText_, value)) ui::setEscapePending(true);
    drawProgress(false);
}

void HeadlessFrontEnd::runModal(PUIWindow w) {
    if (const ui::ModalDriver& driver = ui::modalDriver()) {
        driver(*w);
    } else if (ScriptRunner* script = ScriptRunner::current()) {
        script->runNested([w] { return w->ended; }, [w] { return ui::describeWaiting(w); });
    }
}

bool HeadlessFrontEnd::choose(const app::ChooserRequest& r, std::string* path) {
    if (ScriptRunner* script = ScriptRunner::current()) {
        *path = scriptChooserAnswer(*script, r);
    } else if (!ui::takeChooserAnswer(path)) {
        ui::noteUnanswered();
        std::fprintf(stderr, "vexa: %s was not answered and is cancelled\n",
                     describeChooser(r).c_str());
        return false;
    }
    return !path->empty();
}

bool HeadlessFrontEnd::openWithDesktop(const std::string& path) {
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    bool display = (x && *x) || (wl && *wl);
    if (ui::headless() || !display) {
        std::fprintf(stderr, "vexa: open %s\n", path.c_str());
        return true;
    }
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

app::PopupChooser* HeadlessFrontEnd::popupChooser() {
    return &scriptPopupChooser();
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
