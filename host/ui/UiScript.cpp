// Script commands for dialogs and choosers: the robot user's hands on the controls.
#include <cstdio>

#include "app/App.h"
#include "ui/Script.h"
#include "ui/ScriptHands.h"
#include "ui/Ui.h"

namespace vexa::host::ui {
namespace {

Window* front(const ScriptLine& line) {
    Window* w = frontWindow();
    if (!w) throw ScriptError(line.where() + ": no dialog is open");
    return w;
}

Control* control(const ScriptLine& line, size_t index) {
    Window* w = front(line);
    const std::string& ref = scriptArg(line, index);
    Control* c = findControl(w, ref);
    if (!c)
        throw ScriptError(line.where() + ": dialog \"" + w->name + "\" has no control \"" + ref +
                          "\"; its controls: " + describeOnOneLine(w));
    return c;
}

// "set" and "pick" never act on a label: a label names the control that follows it in
// the dialog, as a user reads a form ("set Width 12mm" types into the field after
// "Width:").
Control* labelledControl(const ScriptLine& line, size_t index) {
    Control* c = control(line, index);
    if (c->kind != kPUIStaticText || !c->window) return c;
    const auto& list = c->window->controls;
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (list[i].get() == c) return list[i + 1].get();
    return c;
}

// Runs an action, giving its failure the line's place.
template <typename F>
void act(const ScriptLine& line, F f) {
    try {
        f();
    } catch (const ScriptError& e) {
        std::string m = e.what();
        if (m.rfind(line.where(), 0) == 0) throw;
        throw ScriptError(line.where() + ": " + m);
    }
}

ASUns16 keyCode(const ScriptLine& line, const std::string& name) {
    if (name == "return" || name == "enter") return 13;
    if (name == "escape" || name == "esc") return 27;
    if (name == "tab") return 9;
    throw ScriptError(line.where() + ": unknown key \"" + name + "\" (return, escape, tab)");
}

std::string textOf(const Control* c) {
    if (c->kind == kPUIPopup && c->value >= 1 && static_cast<size_t>(c->value) <= c->menu.size())
        return c->menu[static_cast<size_t>(c->value - 1)];
    return c->text;
}

// What the user does with a dialog's controls and keys.
void registerInputCommands() {
    registerScriptCommand("set", "set CONTROL TEXT", [](ScriptRunner& r, const ScriptLine& l) {
        Control* c = labelledControl(l, 1);
        act(l, [&] { r.hands().setText(c, scriptArg(l, 2)); });
    });
    registerScriptCommand("pick", "pick CONTROL ITEM", [](ScriptRunner& r, const ScriptLine& l) {
        Control* c = labelledControl(l, 1);
        act(l, [&] { r.hands().pick(c, scriptArg(l, 2)); });
    });
    registerScriptCommand(
        "toggle", "toggle CONTROL [on|off]", [](ScriptRunner& r, const ScriptLine& l) {
            Control* c = control(l, 1);
            int state = -1;
            if (l.words.size() > 2) {
                const std::string& s = l.words[2];
                if (s == "on" || s == "1")
                    state = 1;
                else if (s == "off" || s == "0")
                    state = 0;
                else
                    throw ScriptError(l.where() + ": toggle takes on or off, not \"" + s + "\"");
            }
            act(l, [&] { r.hands().toggle(c, state); });
        });
    registerScriptCommand("press", "press CONTROL [shift|option|command...]",
                          [](ScriptRunner& r, const ScriptLine& l) {
                              Control* c = control(l, 1);
                              ASInt16 flags = scriptModifiers(l, 2);
                              act(l, [&] { r.hands().press(c, flags); });
                          });
    registerScriptCommand("key", "key return|escape|tab", [](ScriptRunner& r, const ScriptLine& l) {
        Window* w = front(l);
        ASUns16 k = keyCode(l, scriptArg(l, 1));
        act(l, [&] { r.hands().typeKey(w, k); });
    });
}

// The answers given ahead: file choosers and the Esc key.
void registerAnswerCommands() {
    registerScriptCommand("choose", "choose PATH", [](ScriptRunner&, const ScriptLine& l) {
        queueChooserAnswer(scriptArg(l, 1));
    });
    registerScriptCommand("choose-cancel", "choose-cancel",
                          [](ScriptRunner&, const ScriptLine&) { queueChooserAnswer(""); });
    registerScriptCommand("escape", "escape",
                          [](ScriptRunner&, const ScriptLine&) { setEscapePending(true); });
    registerScriptCommand("escape-at", "escape-at STEP [TEXT]",
                          [](ScriptRunner& r, const ScriptLine& l) {
                              long step = scriptInt(l, 1);
                              if (step < 1)
                                  throw ScriptError(l.where() + ": the step counts from 1");
                              r.escapeAtStep = step;
                              r.escapeAtText = l.words.size() > 2 ? l.words[2] : "";
                          });
}

// What the user looks at: the front dialog and its controls.
void registerCheckCommands() {
    registerScriptCommand("if-dialog", "if-dialog NAME ... end-if",
                          [](ScriptRunner& r, const ScriptLine& l) {
                              Window* w = frontWindow();
                              const std::string& name = scriptArg(l, 1);
                              if (!w || findWindow(name) != w) r.skipBlock();
                          });
    registerScriptCommand("end-if", "end-if", [](ScriptRunner&, const ScriptLine&) {});
    registerScriptCommand(
        "expect-dialog", "expect-dialog NAME", [](ScriptRunner&, const ScriptLine& l) {
            Window* w = frontWindow();
            const std::string& name = scriptArg(l, 1);
            if (!w || (findWindow(name) != w))
                throw ScriptError(l.where() + ": expected dialog \"" + name + "\", front is " +
                                  (w ? "\"" + w->name + "\"" : std::string("none")));
        });
    registerScriptCommand(
        "expect-text", "expect-text CONTROL TEXT", [](ScriptRunner&, const ScriptLine& l) {
            Control* c = control(l, 1);
            const std::string& want = scriptArg(l, 2);
            std::string got = textOf(c);
            if (got != want)
                throw ScriptError(l.where() + ": control \"" + l.words[1] + "\" shows \"" + got +
                                  "\", expected \"" + want + "\"");
        });
    registerScriptCommand(
        "expect-value", "expect-value CONTROL N", [](ScriptRunner&, const ScriptLine& l) {
            Control* c = control(l, 1);
            long want = scriptInt(l, 2);
            if (c->value != want)
                throw ScriptError(l.where() + ": control \"" + l.words[1] + "\" has value " +
                                  std::to_string(c->value) + ", expected " + std::to_string(want));
        });
    registerScriptCommand(
        "expect-enabled", "expect-enabled CONTROL", [](ScriptRunner&, const ScriptLine& l) {
            Control* c = control(l, 1);
            if (!c->enabled)
                throw ScriptError(l.where() + ": control \"" + l.words[1] + "\" is disabled");
        });
    registerScriptCommand(
        "expect-disabled", "expect-disabled CONTROL", [](ScriptRunner&, const ScriptLine& l) {
            Control* c = control(l, 1);
            if (c->enabled)
                throw ScriptError(l.where() + ": control \"" + l.words[1] + "\" is enabled");
        });
    registerScriptCommand(
        "expect-focus", "expect-focus CONTROL", [](ScriptRunner&, const ScriptLine& l) {
            Control* c = control(l, 1);
            if (c->window->focus != c)
                throw ScriptError(l.where() + ": control \"" + l.words[1] + "\" has no focus");
        });
    registerScriptCommand("print-dialog", "print-dialog", [](ScriptRunner&, const ScriptLine& l) {
        Window* w = front(l);
        std::printf("dialog \"%s\" (%s)\n%s", w->name.c_str(), w->title.c_str(),
                    describe(w).c_str());
    });
}

}  // namespace

void registerUiScriptCommands() {
    registerInputCommands();
    registerAnswerCommands();
    registerCheckCommands();
}

}  // namespace vexa::host::ui
