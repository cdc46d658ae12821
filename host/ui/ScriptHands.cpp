#include "ui/ScriptHands.h"

#include <cctype>

#include "app/App.h"
#include "ui/Script.h"
#include "ui/Ui.h"

namespace vexa::host {
namespace {

using app::A;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string describeAlert(const app::AlertRequest& r) {
    std::string s = "alert \"" + r.message + "\" with buttons";
    for (std::size_t i = 0; i < r.buttons.size(); ++i)
        s += " [" + std::to_string(i + 1) + " " + r.buttons[i] + "]";
    return s;
}

int alertAnswerIndex(const app::AlertRequest& request, const std::string& answer) {
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

std::string describeChooser(const app::ChooserRequest& r) {
    std::string what = std::string(r.kind == app::ChooserRequest::Folder     ? "folder"
                                   : r.kind == app::ChooserRequest::SaveFile ? "save"
                                                                             : "file") +
                       " chooser \"" + r.title + "\"";
    if (!r.filter.empty()) what += " for " + r.filter;
    if (!r.initialPath.empty()) what += " at " + r.initialPath;
    return what;
}

std::string scriptChooserAnswer(ScriptRunner& script, const app::ChooserRequest& request) {
    std::string path;
    if (!ui::takeChooserAnswer(&path))
        script.runNested([&] { return ui::takeChooserAnswer(&path); },
                         [&] { return describeChooser(request); });
    return path;
}

int scriptAlertAnswer(ScriptRunner& script, const app::AlertRequest& request) {
    int chosen = 0;
    auto takeQueued = [&] {
        if (script.queuedAnswers.empty()) return false;
        std::string a = script.queuedAnswers.front();
        script.queuedAnswers.erase(script.queuedAnswers.begin());
        chosen = alertAnswerIndex(request, a);
        if (chosen == 0)
            throw ScriptError("\"" + a + "\" is no button of the " + describeAlert(request));
        return true;
    };
    if (takeQueued()) return chosen;
    // A message with only one button needs no decision: it is acknowledged.
    if (request.buttons.size() <= 1) return 1;
    // The following lines are the user's actions while the alert is up; the first
    // "answer" line closes it.
    script.runNested([&] { return chosen != 0 || takeQueued(); },
                     [&] { return describeAlert(request); });
    return chosen;
}

void ScriptHands::click(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                        const Path& path) {
    A().click(view, x, y, flags, 1, path);
}

void ScriptHands::doubleClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    A().click(view, x, y, flags, 1);
    A().click(view, x, y, flags, 2);
}

void ScriptHands::rightClick(AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags) {
    A().rightClick(view, x, y, flags);
}

void ScriptHands::key(AVPageView view, ASUns16 key, ASInt16 flags) {
    A().pageViewKey(view, key, flags);
}

void ScriptHands::moveMouse(AVPageView view, AVDevCoord x, AVDevCoord y) {
    A().mouseMoved(view, x, y);
}

bool ScriptHands::dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                            AVDevCoord y) {
    return A().dragTrack(doc, phase, uriList, x, y);
}

bool ScriptHands::drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y) {
    return A().drop(doc, uriList, x, y);
}

bool ScriptHands::menuItem(_t_AVMenuItem* item) {
    return A().executeMenuItem(item);
}

bool ScriptHands::toolButton(_t_AVToolButton* b) {
    if (b->enabled && !b->enabled(b->enabledData)) return false;
    if (b->execute) b->execute(b->executeData);
    return true;
}

void ScriptHands::setText(PUIControl control, const std::string& text) {
    ui::setText(control, text);
}

void ScriptHands::pick(PUIControl control, const std::string& item) {
    ui::pick(control, item);
}

void ScriptHands::toggle(PUIControl control, int state) {
    ui::toggle(control, state);
}

// The modifier keys are held while the button is pressed.
void ScriptHands::press(PUIControl control, ASInt16 modifiers) {
    if (modifiers == 0 || !app::Application::exists()) {
        if (modifiers) throw ScriptError("no application holds the keys");
        ui::press(control);
        return;
    }
    auto& mouse = A().mouse();
    struct Held {
        app::MouseState& m;
        ASInt16 saved;
        ~Held() { m.modifiers = saved; }
    } held{mouse, mouse.modifiers};
    mouse.modifiers = modifiers;
    ui::press(control);
}

void ScriptHands::typeKey(PUIWindow window, ASUns16 key) {
    ui::typeKey(window, key);
}

ScriptHands& modelHands() {
    static ScriptHands hands;
    return hands;
}

}  // namespace vexa::host
