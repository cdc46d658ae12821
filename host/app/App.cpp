#include "app/App.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "app/Notify.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

Application* gCurrent = nullptr;

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Clock::Clock(bool virtualTime) : virtual_(virtualTime), startMs_(nowMs()) {}

ASUns32 Clock::ticks() const {
    if (virtual_) return virtualTicks_;
    return static_cast<ASUns32>((nowMs() - startMs_) * 60 / 1000);
}

void Clock::advance(ASUns32 ticks) {
    if (virtual_) virtualTicks_ += ticks;
}

Application::Application(bool virtualClock) : clock_(virtualClock) {
    if (gCurrent) throw std::logic_error("an application is already running");
    gCurrent = this;
    // Documents and pages tell their changes through the host's notification sink.
    setNotificationSink(app::broadcast);
    language = languageFromLocale();
    for (const char* name : {"File", "Edit", "View", "Window", "Help"}) {
        _t_AVMenu* m = newMenu(name, name, nullptr);
        menubar_.menus.push_back(m);
    }
    _t_AVMenu* about = newMenu("About Plug-Ins", "AboutExtensions", nullptr);
    _t_AVMenuItem* aboutItem =
        newMenuItem("About Plug-Ins", "AboutExtensionsItem", about, 0, nullptr);
    _t_AVMenu* help = findMenu("Help");
    aboutItem->menu = help;
    help->items.push_back(aboutItem);
    for (const char* name : {"File", "Editing"}) {
        auto tb = std::make_unique<_t_AVToolBar>();
        tb->name = name;
        toolbars_.push_back(std::move(tb));
    }
    installUndoMenu();
}

Application::~Application() {
    closeAllDocs();
    setNotificationSink(nullptr);
    gCurrent = nullptr;
}

Application& Application::current() {
    if (!gCurrent) throw std::logic_error("no application");
    return *gCurrent;
}

bool Application::exists() {
    return gCurrent != nullptr;
}

std::string Application::languageFromLocale() {
    const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string loc;
    for (const char* v : vars) {
        const char* s = std::getenv(v);
        if (s && *s) {
            loc = s;
            break;
        }
    }
    std::string lang = loc.substr(0, 2);
    if (lang == "de") return "DEU";
    if (lang == "fr") return "FRA";
    if (lang == "nl") return "NLD";
    return "ENU";
}

int Application::alert(const AlertRequest& request) {
    if (frontEnd_) return frontEnd_->alert(request);
    return 1;
}

_t_AVMenu* Application::newMenu(const std::string& title, const std::string& name,
                                ExtensionID owner) {
    auto m = std::make_unique<_t_AVMenu>();
    m->title = title;
    m->name = name;
    m->owner = owner;
    menuStore_.push_back(std::move(m));
    return menuStore_.back().get();
}

_t_AVMenuItem* Application::newMenuItem(const std::string& title, const std::string& name,
                                        _t_AVMenu* submenu, char shortcut, ExtensionID owner) {
    auto it = std::make_unique<_t_AVMenuItem>();
    it->title = title;
    it->name = name;
    it->submenu = submenu;
    it->shortcut = shortcut;
    it->owner = owner;
    if (submenu) submenu->parentItem = it.get();
    itemStore_.push_back(std::move(it));
    return itemStore_.back().get();
}

_t_AVMenu* Application::findMenu(const std::string& name) {
    for (_t_AVMenu* m : menubar_.menus)
        if (m->name == name) return m;
    // submenus reachable from the menu bar
    for (auto& m : menuStore_)
        if (m->name == name && m->parentItem) return m.get();
    return nullptr;
}

_t_AVMenuItem* Application::findMenuItem(const std::string& name) {
    std::vector<_t_AVMenu*> todo(menubar_.menus.begin(), menubar_.menus.end());
    while (!todo.empty()) {
        _t_AVMenu* m = todo.back();
        todo.pop_back();
        for (_t_AVMenuItem* it : m->items) {
            if (it->name == name) return it;
            if (it->submenu) todo.push_back(it->submenu);
        }
    }
    return nullptr;
}

bool Application::executeMenuItem(_t_AVMenuItem* item) {
    if (!item || item->isSeparator()) return false;
    if (item->enabled && !item->enabled(item->enabledData)) return false;
    NamedAction action(*this, item->title);
    if (item->execute) item->execute(item->executeData);
    return true;
}

_t_AVToolBar* Application::toolbar(const std::string& name) {
    for (auto& tb : toolbars_)
        if (tb->name == name) return tb.get();
    return nullptr;
}

_t_AVToolButton* Application::newToolButton(const std::string& name, const std::string& label,
                                            ExtensionID owner) {
    auto b = std::make_unique<_t_AVToolButton>();
    b->name = name;
    b->label = label;
    b->owner = owner;
    buttonStore_.push_back(std::move(b));
    return buttonStore_.back().get();
}

_t_AVToolButton* Application::findToolButton(const std::string& name) {
    for (auto& tb : toolbars_)
        for (_t_AVToolButton* b : tb->buttons)
            if (b->name == name) return b;
    return nullptr;
}

AVTool Application::registerTool(AVToolRec* record) {
    auto t = std::make_unique<_t_AVTool>();
    t->record = record;
    t->type = record && record->GetType ? record->GetType(t.get()) : ASAtomNull;
    tools_.push_back(std::move(t));
    return tools_.back().get();
}

AVTool Application::findTool(ASAtom type) {
    for (auto& t : tools_) {
        ASAtom ty = t->record && t->record->GetType ? t->record->GetType(t.get()) : t->type;
        if (ty == type) return t.get();
    }
    return nullptr;
}

void Application::setActiveTool(AVTool tool, bool persistent) {
    if (tool == activeTool_) return;
    AVTool old = activeTool_;
    if (old && old->record && old->record->Deactivate) old->record->Deactivate(old);
    activeTool_ = tool;
    if (front_) front_->activeTool = tool;
    if (tool && tool->record && tool->record->Activate) tool->record->Activate(tool, persistent);
}

bool Application::registerNotification(ASInt32 selector, ExtensionID owner, AVNotificationProc proc,
                                       ASClientData data) {
    if (!proc) return false;
    notifications_.push_back({selector, owner, proc, data});
    return true;
}

bool Application::unregisterNotification(ASInt32 selector, ExtensionID owner,
                                         AVNotificationProc proc, ASClientData data) {
    for (auto& n : notifications_) {
        if (!n.removed && n.selector == selector && n.owner == owner && n.proc == proc &&
            n.data == data) {
            n.removed = true;
            return true;
        }
    }
    return false;
}

void Application::broadcast(const AVNotificationData& data) {
    // Changed pages are shown anew: the views of the document are redrawn at the next
    // idle pass.
    if (data.selector == NSEL_PDDocDidChangePages && data.pdDoc) {
        for (auto& d : docs_)
            if (d->pdDoc == data.pdDoc) invalidate(&d->view);
        if (frontEnd_) frontEnd_->pagesChanged(data.pdDoc, data.firstPage, data.lastPage);
    }
    // Handlers may register or unregister others while we dispatch: walk by index over
    // the entries that existed when the broadcast began, and compact only at the top.
    ++broadcastDepth_;
    std::size_t n = notifications_.size();
    try {
        for (std::size_t i = 0; i < n; ++i) {
            Notification entry = notifications_[i];
            if (entry.removed || entry.selector != data.selector) continue;
            entry.proc(&data, entry.data);
        }
    } catch (...) {
        --broadcastDepth_;
        throw;
    }
    if (--broadcastDepth_ == 0)
        std::erase_if(notifications_, [](const Notification& e) { return e.removed; });
}

void Application::registerIdle(AVIdleProc proc, ASClientData data, ASUns32 period) {
    if (!proc) return;
    // The first call falls due one period after registration.
    idles_.push_back({proc, data, period, clock_.ticks()});
}

void Application::unregisterIdle(AVIdleProc proc, ASClientData data) {
    for (auto& i : idles_)
        if (i.proc == proc && i.data == data) i.removed = true;
}

int Application::runIdle() {
    int ran = 0;
    std::size_t n = idles_.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (idles_[i].removed) continue;
        ASUns32 now = clock_.ticks();
        if (now - idles_[i].lastRun < idles_[i].period) continue;
        idles_[i].lastRun = now;
        AVIdleProc proc = idles_[i].proc;
        ASClientData data = idles_[i].data;
        try {
            proc(data);
        } catch (const ASException& e) {
            warn("an idle procedure failed: " + errorText(e.code()));
        }
        ++ran;
    }
    std::erase_if(idles_, [](const Idle& e) { return e.removed; });
    flushRedraws();
    return ran;
}

void Application::passTime(ASUns32 ticks) {
    if (clock_.isVirtual()) {
        for (ASUns32 t = 0; t < ticks; ++t) {
            clock_.advance(1);
            runIdle();
        }
        return;
    }
    ASUns32 end = clock_.ticks() + ticks;
    while (clock_.ticks() < end) {
        runIdle();
        if (frontEnd_)
            frontEnd_->pause(16);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
}

void Application::registerKeyHandler(AVPageViewKeyDownProc proc, ASClientData data) {
    if (proc) keyHandlers_.push_back({proc, data});
}

bool Application::keyDown(AVPageView view, ASUns16 key, ASInt16 flags) {
    for (const KeyHandler& h : keyHandlers_)
        if (h.proc(view, key, flags, h.data)) return true;
    return false;
}

AVDoc Application::openDoc(PDDoc pdDoc, const std::string& title) {
    auto d = std::make_unique<_t_AVDoc>();
    d->pdDoc = pdDoc;
    d->title = title;
    d->view.doc = d.get();
    d->window.doc = d.get();
    d->activeTool = activeTool_;
    AVDoc doc = d.get();
    docs_.push_back(std::move(d));
    goToPage(&doc->view, 0);
    if (frontEnd_) frontEnd_->documentOpened(doc);
    AVNotificationData open{};
    open.selector = NSEL_AVDocDidOpen;
    open.avDoc = doc;
    open.pdDoc = pdDoc;
    open.pageView = &doc->view;
    broadcast(open);
    setFrontDoc(doc);
    return doc;
}

bool Application::closeDoc(AVDoc doc, bool /*noSave*/) {
    auto it = std::find_if(docs_.begin(), docs_.end(), [&](auto& d) { return d.get() == doc; });
    if (it == docs_.end()) return false;
    AVNotificationData will{};
    will.selector = NSEL_AVDocWillClose;
    will.avDoc = doc;
    will.pdDoc = doc->pdDoc;
    broadcast(will);
    if (frontEnd_) frontEnd_->documentClosing(doc);
    clearUndos(doc);
    doc->drop = {};
    if (mouse_.view == &doc->view) mouse_ = {};
    if (doc->view.page && documentHooks.releasePage) documentHooks.releasePage(doc->view.page);
    doc->view.page = nullptr;
    PDDoc pd = doc->pdDoc;
    std::unique_ptr<_t_AVDoc> keep = std::move(*it);
    docs_.erase(it);
    if (pd && documentHooks.closeDoc) documentHooks.closeDoc(pd);
    if (front_ == doc) {
        front_ = nullptr;
        setFrontDoc(docs_.empty() ? nullptr : docs_.back().get());
    }
    return true;
}

void Application::closeAllDocs() {
    while (!docs_.empty()) closeDoc(docs_.back().get(), true);
}

void Application::setFrontDoc(AVDoc doc) {
    if (doc == front_ && doc) return;
    front_ = doc;
    // The tool of the front document is the application's active tool.
    if (doc) activeTool_ = doc->activeTool;
    if (frontEnd_) frontEnd_->frontDocumentChanged(doc);
    AVNotificationData d{};
    d.selector = NSEL_AVAppFrontDocDidChange;
    d.avDoc = doc;
    d.pdDoc = doc ? doc->pdDoc : nullptr;
    d.pageView = doc ? &doc->view : nullptr;
    broadcast(d);
}

void Application::goToPage(AVPageView view, ASInt32 pageNum) {
    if (!view || !view->doc) return;
    PDDoc pd = view->doc->pdDoc;
    ASInt32 n = (pd && documentHooks.numPages) ? documentHooks.numPages(pd) : 0;
    if (pageNum < 0) pageNum = 0;
    if (n > 0 && pageNum >= n) pageNum = n - 1;
    bool changed = pageNum != view->pageNum || (!view->page && n > 0);
    if (view->page && documentHooks.releasePage) documentHooks.releasePage(view->page);
    view->page = nullptr;
    view->pageNum = pageNum;
    view->vs.topPage = pageNum;
    view->vs.invalid = true;
    if (pd && n > 0 && documentHooks.acquirePage)
        view->page = documentHooks.acquirePage(pd, pageNum);
    if (frontEnd_) frontEnd_->viewChanged(view);
    if (changed) {
        AVNotificationData d{};
        d.selector = NSEL_AVPageViewDidChange;
        d.avDoc = view->doc;
        d.pdDoc = pd;
        d.pageView = view;
        d.flags = 2;
        broadcast(d);
    }
}

std::size_t Application::notificationCount() const {
    return static_cast<std::size_t>(std::count_if(notifications_.begin(), notifications_.end(),
                                                  [](auto& n) { return !n.removed; }));
}

std::size_t Application::idleCount() const {
    return static_cast<std::size_t>(
        std::count_if(idles_.begin(), idles_.end(), [](auto& i) { return !i.removed; }));
}

void Application::didInitialize() {
    AVNotificationData d{};
    d.selector = NSEL_AVAppDidInitialize;
    broadcast(d);
}

void Application::willQuit() {
    AVNotificationData d{};
    d.selector = NSEL_AVAppWillQuit;
    broadcast(d);
}

void broadcast(const AVNotificationData& data) {
    if (Application::exists()) Application::current().broadcast(data);
}

}  // namespace vexa::host::app
