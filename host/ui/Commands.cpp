// The script commands of the application model: documents, menus, alerts, idle time
// and expectations on what a user would see.
#include <cmath>
#include <filesystem>

#include "app/App.h"
#include "core/Core.h"
#include "doc/DocInternal.h"
#include "ui/Script.h"
#include "ui/ScriptHands.h"

namespace vexa::host {
namespace {

using app::A;

app::FrontEnd& frontEnd() {
    app::FrontEnd* f = A().frontEnd();
    if (!f) throw ScriptError("the host has no front end");
    return *f;
}

std::string rest(const ScriptLine& line, std::size_t from) {
    std::string s;
    for (std::size_t i = from; i < line.words.size(); ++i)
        s += (i > from ? " " : "") + line.words[i];
    return s;
}

_t_AVMenuItem* findItem(const std::string& spec) {
    if (_t_AVMenuItem* it = A().findMenuItem(spec)) return it;
    // "Menu>Item title" by titles.
    auto pos = spec.find('>');
    if (pos == std::string::npos) return nullptr;
    std::string menuTitle = spec.substr(0, pos), itemTitle = spec.substr(pos + 1);
    for (_t_AVMenu* m : A().menubar().menus) {
        if (m->title != menuTitle && m->name != menuTitle) continue;
        for (_t_AVMenuItem* it : m->items)
            if (it->title == itemTitle) return it;
    }
    return nullptr;
}

void cmdOpen(ScriptRunner&, const ScriptLine& line) {
    const std::string& path = scriptArg(line, 1);
    if (!A().documentHooks.openDoc) throw ScriptError("this host cannot open documents");
    PDDoc doc = nullptr;
    try {
        doc = A().documentHooks.openDoc(path.c_str());
    } catch (const ASException& e) {
        throw ScriptError("cannot open " + path + ": " + errorText(e.code()));
    }
    A().openDoc(doc, std::filesystem::path(path).filename().string());
}

void cmdClose(ScriptRunner&, const ScriptLine& line) {
    if (line.words.size() > 1 && line.words[1] == "all") {
        A().closeAllDocs();
        return;
    }
    AVDoc d = A().frontDoc();
    if (!d) throw ScriptError("no document is open");
    A().closeDoc(d, true);
}

// "save": the front document to its own file; "save PATH": a copy at PATH (the
// document keeps its own file).
void cmdSave(ScriptRunner&, const ScriptLine& line) {
    AVDoc d = A().frontDoc();
    if (!d) throw ScriptError("no document is open");
    if (line.words.size() > 2) throw ScriptError("usage: save [PATH]");
    std::string path = line.words.size() > 1 ? line.words[1] : "";
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull | (path.empty() ? 0 : PDSaveCopy);
    p.newPath = path.empty() ? nullptr : path.c_str();
    try {
        doc::pdModelTable()->PDDocSaveWithParams(d->pdDoc, &p);
    } catch (const ASException& e) {
        throw ScriptError("cannot save " + (path.empty() ? d->title : path) + ": " +
                          errorText(e.code()));
    }
}

void cmdFront(ScriptRunner&, const ScriptLine& line) {
    const std::string& title = scriptArg(line, 1);
    for (auto& d : A().docs())
        if (d->title == title) {
            A().setFrontDoc(d.get());
            return;
        }
    throw ScriptError("no open document is titled \"" + title + "\"");
}

void cmdMenu(ScriptRunner& r, const ScriptLine& line) {
    std::string name = rest(line, 1);
    _t_AVMenuItem* it = findItem(name);
    if (!it) throw ScriptError("no menu item \"" + name + "\"");
    if (!r.hands().menuItem(it)) throw ScriptError("menu item \"" + name + "\" is disabled");
}

void cmdAnswer(ScriptRunner& r, const ScriptLine& line) {
    r.queuedAnswers.push_back(rest(line, 1).empty() ? "default" : rest(line, 1));
}

void cmdExpectAlert(ScriptRunner&, const ScriptLine& line) {
    std::string text = rest(line, 1);
    for (auto& a : frontEnd().alerts) {
        if (a.checked) continue;
        a.checked = true;
        if (a.request.message.find(text) == std::string::npos)
            throw ScriptError("expected an alert with \"" + text + "\", saw \"" +
                              a.request.message + "\"");
        return;
    }
    throw ScriptError("expected an alert with \"" + text + "\", none was shown");
}

void cmdExpectNoAlert(ScriptRunner&, const ScriptLine&) {
    for (auto& a : frontEnd().alerts)
        if (!a.checked) throw ScriptError("unexpected alert \"" + a.request.message + "\"");
}

void cmdIdle(ScriptRunner&, const ScriptLine& line) {
    if (line.words.size() < 2) {
        A().runIdle();
        return;
    }
    double seconds = 0;
    try {
        seconds = std::stod(line.words[1]);
    } catch (const std::exception&) {
        throw ScriptError("\"" + line.words[1] + "\" is not a number of seconds");
    }
    if (seconds < 0 || seconds > 86400) throw ScriptError("idle takes 0 to 86400 seconds");
    A().passTime(static_cast<ASUns32>(std::lround(seconds * 60)));
}

void cmdTicks(ScriptRunner&, const ScriptLine& line) {
    long n = scriptInt(line, 1);
    if (n < 0 || n > 86400L * 60) throw ScriptError("ticks takes 0 to 5184000");
    A().passTime(static_cast<ASUns32>(n));
}

void cmdExpectMenu(ScriptRunner&, const ScriptLine& line) {
    const std::string& name = scriptArg(line, 1);
    _t_AVMenuItem* it = findItem(name);
    _t_AVMenu* m = it ? nullptr : A().findMenu(name);
    if (!it && !m) throw ScriptError("no menu or menu item \"" + name + "\"");
    if (line.words.size() > 2) {
        std::string want = rest(line, 2);
        const std::string& title = it ? it->title : m->title;
        if (title != want)
            throw ScriptError("\"" + name + "\" is titled \"" + title + "\", not \"" + want + "\"");
    }
}

void cmdExpectNoMenu(ScriptRunner&, const ScriptLine& line) {
    const std::string& name = scriptArg(line, 1);
    if (findItem(name) || A().findMenu(name)) throw ScriptError("\"" + name + "\" exists");
}

void cmdExpectDocs(ScriptRunner&, const ScriptLine& line) {
    long n = scriptInt(line, 1);
    long have = static_cast<long>(A().docs().size());
    if (have != n)
        throw ScriptError("expected " + std::to_string(n) + " open documents, there are " +
                          std::to_string(have));
}

void cmdExpectFront(ScriptRunner&, const ScriptLine& line) {
    std::string title = rest(line, 1);
    AVDoc d = A().frontDoc();
    std::string have = d ? d->title : "(none)";
    if (have != title)
        throw ScriptError("the front document is \"" + have + "\", not \"" + title + "\"");
}

void cmdButton(ScriptRunner& r, const ScriptLine& line) {
    const std::string& name = scriptArg(line, 1);
    _t_AVToolButton* b = A().findToolButton(name);
    if (!b) throw ScriptError("no toolbar button \"" + name + "\"");
    if (!r.hands().toolButton(b)) throw ScriptError("toolbar button \"" + name + "\" is disabled");
}

void cmdEcho(ScriptRunner&, const ScriptLine& line) {
    std::printf("%s\n", rest(line, 1).c_str());
}

}  // namespace

void registerAppScriptCommands() {
    registerScriptCommand("open", "open PATH", cmdOpen);
    registerScriptCommand("close", "close [all]", cmdClose);
    registerScriptCommand("save", "save [PATH]", cmdSave);
    registerScriptCommand("front", "front TITLE", cmdFront);
    registerScriptCommand("menu", "menu NAME | menu MENU>ITEM-TITLE", cmdMenu);
    registerScriptCommand("answer", "answer BUTTON (1, 2, 3, a button text, default, cancel)",
                          cmdAnswer);
    registerScriptCommand("expect-alert", "expect-alert TEXT", cmdExpectAlert);
    registerScriptCommand("expect-no-alert", "expect-no-alert", cmdExpectNoAlert);
    registerScriptCommand("idle", "idle [SECONDS]", cmdIdle);
    registerScriptCommand("ticks", "ticks N", cmdTicks);
    registerScriptCommand("expect-menu", "expect-menu NAME [TITLE]", cmdExpectMenu);
    registerScriptCommand("expect-no-menu", "expect-no-menu NAME", cmdExpectNoMenu);
    registerScriptCommand("expect-docs", "expect-docs COUNT", cmdExpectDocs);
    registerScriptCommand("expect-front", "expect-front TITLE", cmdExpectFront);
    registerScriptCommand("button", "button NAME", cmdButton);
    registerScriptCommand("echo", "echo TEXT", cmdEcho);
}

void registerViewScriptCommands();   // ViewCommands.cpp
void registerFrameScriptCommands();  // FrameCommands.cpp

void registerAllScriptCommands() {
    static bool done = false;
    if (done) return;
    done = true;
    registerAppScriptCommands();
    registerViewScriptCommands();
    registerFrameScriptCommands();
}

}  // namespace vexa::host
