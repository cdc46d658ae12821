// The AcroView table over the running application.
#include <algorithm>
#include <cstring>

#include "app/App.h"
#include "core/Core.h"
#include "core/Text.h"

namespace vexa::host::app {
namespace {

ASInt32 copyOut(const std::string& s, char* buffer, ASInt32 size) {
    if (buffer && size > 0) {
        std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, s.data(), n);
        buffer[n] = 0;
    }
    return static_cast<ASInt32>(s.size());
}

void appGetVersion(ASInt16* major, ASInt16* minor) {
    if (major) *major = A().versionMajor;
    if (minor) *minor = A().versionMinor;
}

void appGetLanguage(char code[4]) {
    std::string l = A().language.substr(0, 3);
    std::memset(code, 0, 4);
    // the fourth byte stays 0
    std::memcpy(code, l.data(), l.size());  // NOLINT(bugprone-not-null-terminated-result)
}

ASBool appRegisterNotification(ASInt32 sel, ExtensionID owner, AVNotificationProc proc,
                               ASClientData data) {
    return A().registerNotification(sel, owner, proc, data);
}
ASBool appUnregisterNotification(ASInt32 sel, ExtensionID owner, AVNotificationProc proc,
                                 ASClientData data) {
    return A().unregisterNotification(sel, owner, proc, data);
}
void appRegisterIdle(AVIdleProc proc, ASClientData data, ASUns32 period) {
    A().registerIdle(proc, data, period);
}
void appUnregisterIdle(AVIdleProc proc, ASClientData data) {
    A().unregisterIdle(proc, data);
}
void appRegisterKeyDown(AVPageViewKeyDownProc proc, ASClientData data) {
    A().registerKeyHandler(proc, data);
}
ASUns32 getTickCount() {
    return A().clock().ticks();
}

ASInt32 alert(ASInt32 icon, const char* message, const char* b1, const char* b2, const char* b3,
              ASBool beep) {
    AlertRequest r;
    r.icon = icon;
    r.message = message ? message : "";
    r.buttons.push_back(b1 ? b1 : "OK");
    if (b2) r.buttons.push_back(b2);
    if (b3) r.buttons.push_back(b3);
    r.beep = beep;
    int chosen = A().alert(r);
    if (chosen < 1 || chosen > static_cast<int>(r.buttons.size())) chosen = 1;
    return chosen;
}

void sysBeep(ASInt32) {
    if (A().frontEnd()) A().frontEnd()->beep();
}

AVMenubar getMenubar() {
    return &A().menubar();
}
ASInt32 menubarNumMenus(AVMenubar mb) {
    return static_cast<ASInt32>(need(mb)->menus.size());
}
AVMenu menubarMenuByIndex(AVMenubar mb, ASInt32 i) {
    need(mb);
    if (i < 0 || i >= static_cast<ASInt32>(mb->menus.size())) return nullptr;
    mb->menus[i]->refs++;
    return mb->menus[i];
}
AVMenu menubarMenuByName(AVMenubar mb, const char* name) {
    need(mb);
    _t_AVMenu* m = A().findMenu(name ? name : "");
    if (m) m->refs++;
    return m;
}
AVMenuItem menubarItemByName(AVMenubar mb, const char* name) {
    need(mb);
    _t_AVMenuItem* it = A().findMenuItem(name ? name : "");
    if (it) it->refs++;
    return it;
}
void menubarAddMenu(AVMenubar mb, AVMenu menu, ASInt32 index) {
    need(mb);
    need(menu);
    auto& v = mb->menus;
    if (std::find(v.begin(), v.end(), menu) != v.end()) return;
    if (index < 0 || index > static_cast<ASInt32>(v.size())) index = static_cast<ASInt32>(v.size());
    v.insert(v.begin() + index, menu);
}
AVMenu menuNew(const char* title, const char* name, ExtensionID owner) {
    _t_AVMenu* m = A().newMenu(title ? title : "", name ? name : "", owner);
    m->refs++;
    return m;
}
ASAtom menuGetName(AVMenu m) {
    return atomFromString(need(m)->name.c_str());
}
ASInt32 menuGetTitle(AVMenu m, char* b, ASInt32 n) {
    return copyOut(need(m)->title, b, n);
}
ASInt32 menuNumItems(AVMenu m) {
    return static_cast<ASInt32>(need(m)->items.size());
}
AVMenuItem menuItemByIndex(AVMenu m, ASInt32 i) {
    need(m);
    if (i < 0 || i >= static_cast<ASInt32>(m->items.size())) return nullptr;
    m->items[i]->refs++;
    return m->items[i];
}
void menuAddItem(AVMenu m, AVMenuItem item, ASInt32 index) {
    need(m);
    need(item);
    auto& v = m->items;
    if (index < 0 || index > static_cast<ASInt32>(v.size())) index = static_cast<ASInt32>(v.size());
    v.insert(v.begin() + index, item);
    item->menu = m;
}
void menuRelease(AVMenu m) {
    if (m && m->refs > 0) m->refs--;
}
AVMenuItem menuItemNew(const char* title, const char* name, AVMenu submenu, ASBool, char shortcut,
                       ASInt16, ExtensionID owner) {
    _t_AVMenuItem* it =
        A().newMenuItem(title ? title : "", name ? name : "", submenu, shortcut, owner);
    it->refs++;
    return it;
}
void itemSetExecute(AVMenuItem it, AVExecuteProc p, ASClientData d) {
    need(it)->execute = p;
    it->executeData = d;
}
void itemSetEnabled(AVMenuItem it, AVComputeEnabledProc p, ASClientData d) {
    need(it)->enabled = p;
    it->enabledData = d;
}
void itemSetMarked(AVMenuItem it, AVComputeMarkedProc p, ASClientData d) {
    need(it)->marked = p;
    it->markedData = d;
}
ASAtom itemGetName(AVMenuItem it) {
    return atomFromString(need(it)->name.c_str());
}
ASInt32 itemGetTitle(AVMenuItem it, char* b, ASInt32 n) {
    return copyOut(need(it)->title, b, n);
}
AVMenu itemGetSubmenu(AVMenuItem it) {
    return need(it)->submenu;
}
void itemExecute(AVMenuItem it) {
    A().executeMenuItem(need(it));
}
ASBool itemIsEnabled(AVMenuItem it) {
    need(it);
    if (it->isSeparator()) return false;
    return it->enabled ? it->enabled(it->enabledData) : true;
}
ASBool itemIsMarked(AVMenuItem it) {
    need(it);
    return it->marked ? it->marked(it->markedData) : false;
}
void itemRelease(AVMenuItem it) {
    if (it && it->refs > 0) it->refs--;
}

AVToolBar toolbarByName(const char* name) {
    return A().toolbar(name ? name : "");
}
AVToolButton buttonNew(ASAtom name, const char* label, ExtensionID owner) {
    return A().newToolButton(atomString(name), label ? label : "", owner);
}
void toolbarAddButton(AVToolBar tb, AVToolButton b, ASBool before, AVToolButton other) {
    need(tb);
    need(b);
    auto& v = tb->buttons;
    auto pos = std::find(v.begin(), v.end(), other);
    if (pos == v.end()) {
        v.push_back(b);
        return;
    }
    v.insert(before ? pos : pos + 1, b);
}
void buttonSetExecute(AVToolButton b, AVExecuteProc p, ASClientData d) {
    need(b)->execute = p;
    b->executeData = d;
}
void buttonSetEnabled(AVToolButton b, AVComputeEnabledProc p, ASClientData d) {
    need(b)->enabled = p;
    b->enabledData = d;
}
void buttonSetMarked(AVToolButton b, AVComputeMarkedProc p, ASClientData d) {
    need(b)->marked = p;
    b->markedData = d;
}
AVToolButton toolbarButtonByName(AVToolBar tb, ASAtom name) {
    need(tb);
    for (AVToolButton b : tb->buttons)
        if (b->name == atomString(name)) return b;
    return nullptr;
}
void buttonExecute(AVToolButton b) {
    need(b);
    if (b->enabled && !b->enabled(b->enabledData)) return;
    if (b->execute) b->execute(b->executeData);
}

AVTool registerTool(AVToolRec* r) {
    return A().registerTool(need(r));
}
AVTool toolByName(ASAtom type) {
    return A().findTool(type);
}
AVToolRec* toolRecord(AVTool t) {
    return need(t)->record;
}
AVTool activeTool() {
    return A().activeTool();
}
void setActiveTool(AVTool t, ASBool persistent) {
    A().setActiveTool(t, persistent);
}
AVTool docActiveTool(AVDoc d) {
    return need(d)->activeTool;
}
void docSetActiveTool(AVDoc d, AVTool t, ASBool persistent) {
    need(d);
    if (d == A().frontDoc())
        A().setActiveTool(t, persistent);
    else
        d->activeTool = t;
}

AVDoc activeDoc() {
    return A().frontDoc();
}
ASInt32 numDocs() {
    return static_cast<ASInt32>(A().docs().size());
}
AVDoc docByIndex(ASInt32 i) {
    auto& v = A().docs();
    return (i >= 0 && i < static_cast<ASInt32>(v.size())) ? v[i].get() : nullptr;
}
AVDoc docOpenFromPDDoc(PDDoc pd, const char* title) {
    return A().openDoc(need(pd), title ? title : "");
}
ASBool docClose(AVDoc d, ASBool noSave) {
    return A().closeDoc(need(d), noSave);
}
PDDoc docGetPDDoc(AVDoc d) {
    return need(d)->pdDoc;
}
AVPageView docGetPageView(AVDoc d) {
    return &need(d)->view;
}
AVWindow docGetWindow(AVDoc d) {
    return &need(d)->window;
}
void* docGetWindowRef(AVDoc d) {
    return &need(d)->window;
}
void docBringToFront(AVDoc d) {
    A().setFrontDoc(need(d));
}
ASInt32 docGetTitle(AVDoc d, char* b, ASInt32 n) {
    return copyOut(need(d)->title, b, n);
}
void windowBecomeKey(AVWindow w) {
    if (w && w->doc) A().setFrontDoc(w->doc);
}

AVDoc pvGetDoc(AVPageView pv) {
    return need(pv)->doc;
}
PDPage pvGetPage(AVPageView pv) {
    return need(pv)->page;
}
ASInt32 pvGetPageNum(AVPageView pv) {
    return need(pv)->pageNum;
}
void pvGoTo(AVPageView pv, ASInt32 n) {
    A().goToPage(need(pv), n);
}

// The document progress monitor forwards to the front end.
void pmBegin(ASClientData) {
    if (auto* f = A().frontEnd()) f->progressBegin();
}
void pmEnd(ASClientData) {
    if (auto* f = A().frontEnd()) f->progressEnd();
}
ASInt32 gDuration = 0, gValue = 0;
void pmSetDuration(ASInt32 n, ASClientData) {
    gDuration = n;
    if (auto* f = A().frontEnd()) f->progressDuration(n);
}
void pmSetValue(ASInt32 n, ASClientData) {
    gValue = n;
    if (auto* f = A().frontEnd()) f->progressValue(n);
}
ASInt32 pmGetDuration(ASClientData) {
    return gDuration;
}
ASInt32 pmGetValue(ASClientData) {
    return gValue;
}
void pmSetText(ASText text, ASClientData) {
    if (auto* f = A().frontEnd()) f->progressText(text ? text->utf8 : "");
}

ASProgressMonitorRec gMonitor = {sizeof(ASProgressMonitorRec),
                                 pmBegin,
                                 pmEnd,
                                 pmSetDuration,
                                 pmSetValue,
                                 pmGetDuration,
                                 pmGetValue,
                                 pmSetText};

ASProgressMonitor getDocProgressMonitor(ASClientData* data) {
    if (data) *data = nullptr;
    return &gMonitor;
}
void setWaitCursor(ASBool on, ASUns32) {
    if (auto* f = A().frontEnd()) f->waitCursor(on);
}

// The members listed here come first; addViewMembers fills the ones after them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
AcroViewHFT makeTable() {
    AcroViewHFT t = {
        {kAcroViewHFTName, kAcroViewHFTVersion, sizeof(AcroViewHFT)},
        appGetVersion,
        appGetLanguage,
        appRegisterNotification,
        appUnregisterNotification,
        appRegisterIdle,
        appUnregisterIdle,
        appRegisterKeyDown,
        getTickCount,
        alert,
        sysBeep,
        getMenubar,
        menubarNumMenus,
        menubarMenuByIndex,
        menubarMenuByName,
        menubarItemByName,
        menubarAddMenu,
        menuNew,
        menuGetName,
        menuGetTitle,
        menuNumItems,
        menuItemByIndex,
        menuAddItem,
        menuRelease,
        menuItemNew,
        itemSetExecute,
        itemSetEnabled,
        itemSetMarked,
        itemGetName,
        itemGetTitle,
        itemGetSubmenu,
        itemExecute,
        itemIsEnabled,
        itemIsMarked,
        itemRelease,
        toolbarByName,
        buttonNew,
        toolbarAddButton,
        buttonSetExecute,
        buttonSetEnabled,
        buttonSetMarked,
        toolbarButtonByName,
        buttonExecute,
        registerTool,
        toolByName,
        toolRecord,
        activeTool,
        setActiveTool,
        docActiveTool,
        docSetActiveTool,
        activeDoc,
        numDocs,
        docByIndex,
        docOpenFromPDDoc,
        docClose,
        docGetPDDoc,
        docGetPageView,
        docGetWindow,
        docGetWindowRef,
        docBringToFront,
        docGetTitle,
        windowBecomeKey,
        pvGetDoc,
        pvGetPage,
        pvGetPageNum,
        pvGoTo,
        getDocProgressMonitor,
        setWaitCursor,
    };
    addViewMembers(t);
    return t;
}
#pragma GCC diagnostic pop

}  // namespace

const AcroViewHFT* acroViewTable() {
    static const AcroViewHFT table = makeTable();
    return &table;
}

}  // namespace vexa::host::app
