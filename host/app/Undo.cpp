// Undo stacks of documents and the Edit menu's Undo and Redo items.
//
// Each document keeps its records oldest first; records[0, applied) can be undone,
// records[applied, end) redone. A new record drops the ones that could be redone. The
// owner's Release runs exactly once per record: when it is dropped, when the stack is
// over its limit, when the document closes.
#include <algorithm>
#include <cstring>

#include "app/App.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

void release(_t_AVUndo* u) {
    if (!u->released) {
        u->released = true;
        if (u->handler.Release) {
            try {
                u->handler.Release(u);
            } catch (const ASException& e) {
                warn("an undo record could not be released: " + errorText(e.code()));
            }
        }
    }
    delete u;
}

bool ask(ASBool (*test)(AVUndo), _t_AVUndo* u) {
    if (!test) return true;
    try {
        return test(u);
    } catch (const ASException&) {
        return false;
    }
}

AVDoc frontDocOrNull() {
    return Application::exists() ? Application::current().frontDoc() : nullptr;
}

void undoItem(ASClientData) {
    if (AVDoc d = frontDocOrNull()) Application::current().undo(d);
}
void redoItem(ASClientData) {
    if (AVDoc d = frontDocOrNull()) Application::current().redo(d);
}
ASBool undoEnabled(ASClientData) {
    AVDoc d = frontDocOrNull();
    return d && Application::current().canUndo(d);
}
ASBool redoEnabled(ASClientData) {
    AVDoc d = frontDocOrNull();
    return d && Application::current().canRedo(d);
}

}  // namespace

void Application::installUndoMenu() {
    _t_AVMenu* edit = findMenu("Edit");
    if (!edit) return;
    struct Item {
        const char* title;
        const char* name;
        char key;
        AVExecuteProc exec;
        AVComputeEnabledProc enabled;
    };
    for (const Item& i : {Item{"Undo", "Undo", 'Z', undoItem, undoEnabled},
                          Item{"Redo", "Redo", 'Y', redoItem, redoEnabled}}) {
        _t_AVMenuItem* it = newMenuItem(i.title, i.name, nullptr, i.key, nullptr);
        it->execute = i.exec;
        it->enabled = i.enabled;
        it->menu = edit;
        edit->items.push_back(it);
    }
}

AVUndo Application::newUndo(AVDoc doc, const AVUndoHandler* handler, AVUndoHandlerData data) {
    if (!doc || !handler || handler->size < offsetof(AVUndoHandler, Release)) raise(genErrBadParm);
    auto it = std::find_if(docs_.begin(), docs_.end(), [&](auto& d) { return d.get() == doc; });
    if (it == docs_.end()) raise(genErrBadParm);
    auto* u = new _t_AVUndo;
    u->doc = doc;
    std::memcpy(&u->handler, handler, std::min<std::size_t>(handler->size, sizeof u->handler));
    u->handler.size = sizeof u->handler;
    u->data = data;
    u->action = actionName_;
    // A step made while the mouse was dragged with the button down.
    bool dragged =
        gesture_ && (mouse_.x != gestureStart_.first || mouse_.y != gestureStart_.second);
    if (u->action.empty() && dragged)
        u->action = (mouse_.modifiers & AV_OPTION) ? "Duplicate" : "Move";
    AVDocUndoState& s = doc->undo;
    if (s.busy) {
        // A record made while undoing would tear the stack: it is not kept.
        warn("an undo record made during Undo or Redo was dropped");
        release(u);
        return nullptr;
    }
    while (s.records.size() > s.applied) {
        _t_AVUndo* dropped = s.records.back();
        s.records.pop_back();
        release(dropped);
    }
    s.records.push_back(u);
    s.applied = s.records.size();
    while (undoLimit > 0 && s.records.size() > undoLimit) {
        _t_AVUndo* oldest = s.records.front();
        s.records.erase(s.records.begin());
        --s.applied;
        release(oldest);
    }
    return u;
}

bool Application::canUndo(AVDoc doc) const {
    const AVDocUndoState& s = doc->undo;
    return !s.busy && s.applied > 0 &&
           ask(s.records[s.applied - 1]->handler.CanUndo, s.records[s.applied - 1]);
}

bool Application::canRedo(AVDoc doc) const {
    const AVDocUndoState& s = doc->undo;
    return !s.busy && s.applied < s.records.size() &&
           ask(s.records[s.applied]->handler.CanRedo, s.records[s.applied]);
}

// Runs the record's Undo or Redo. The handler may close the document: the record is
// then released here, once the handler is done with it.
bool Application::swapRecord(AVDoc doc, bool isUndo) {
    AVDocUndoState& s = doc->undo;
    _t_AVUndo* u = isUndo ? s.records[s.applied - 1] : s.records[s.applied];
    void (*proc)(AVUndo) = isUndo ? u->handler.Undo : u->handler.Redo;
    s.busy = true;
    s.running = u;
    bool failed = false;
    try {
        if (proc) proc(u);
    } catch (const ASException& e) {
        warn(std::string(isUndo ? "Undo" : "Redo") + " failed: " + errorText(e.code()));
        failed = true;
    }
    bool open = std::any_of(docs_.begin(), docs_.end(), [&](auto& d) { return d.get() == doc; });
    if (!open) {
        release(u);
        return !failed;
    }
    s.busy = false;
    s.running = nullptr;
    if (failed) return false;
    if (isUndo)
        --s.applied;
    else
        ++s.applied;
    return true;
}

bool Application::undo(AVDoc doc) {
    if (!doc || !canUndo(doc)) return false;
    return swapRecord(doc, true);
}

bool Application::redo(AVDoc doc) {
    if (!doc || !canRedo(doc)) return false;
    return swapRecord(doc, false);
}

void Application::clearUndos(AVDoc doc) {
    if (!doc) return;
    AVDocUndoState& s = doc->undo;
    // Newest first, as they were made.
    std::vector<_t_AVUndo*> records;
    records.swap(s.records);
    s.applied = 0;
    // A record whose Undo or Redo is running is released when that returns.
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (*it != s.running) release(*it);
}

std::string Application::actionText(const std::string& text) {
    std::string n = text;
    // Menu texts lose their ellipsis and mnemonic marks.
    for (std::string tail : {"\xE2\x80\xA6", "..."})
        if (n.size() >= tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
            n.erase(n.size() - tail.size());
    n.erase(std::remove(n.begin(), n.end(), '&'), n.end());
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

Application::NamedAction::NamedAction(Application& app, const std::string& name) : app_(app) {
    if (!app_.actionName_.empty()) return;
    app_.actionName_ = actionText(name);
    set_ = !app_.actionName_.empty();
}

Application::NamedAction::~NamedAction() {
    if (set_) app_.actionName_.clear();
}

// "Undo" or "Redo" and what it undoes or redoes: the record's title, else the action
// that made it, else its owner's name; the plain word when there is nothing to undo or
// redo.
std::string Application::undoTitle(AVDoc doc, bool isUndo) const {
    std::string title = isUndo ? "Undo" : "Redo";
    if (!doc || !(isUndo ? canUndo(doc) : canRedo(doc))) return title;
    const AVDocUndoState& s = doc->undo;
    _t_AVUndo* u = isUndo ? s.records[s.applied - 1] : s.records[s.applied];
    auto get = isUndo ? u->handler.GetUndoTitle : u->handler.GetRedoTitle;
    std::string name;
    if (get) {
        char buffer[256] = "";
        try {
            get(u, buffer, sizeof buffer);
            buffer[sizeof buffer - 1] = 0;
            name = buffer;
        } catch (const ASException&) {
        }
    }
    if (name.empty()) name = u->action;
    if (name.empty() && u->handler.type) name = u->handler.type;
    return name.empty() ? title : title + " " + name;
}

ASInt32 Application::numUndos(AVDoc doc) const {
    return static_cast<ASInt32>(doc->undo.applied);
}

ASInt32 Application::numRedos(AVDoc doc) const {
    return static_cast<ASInt32>(doc->undo.records.size() - doc->undo.applied);
}

}  // namespace vexa::host::app
