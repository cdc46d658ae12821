// Pop-up menus at the mouse: the front end's chooser shows the menu and answers the
// path of the item chosen.
#include <algorithm>

#include "app/App.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

std::vector<PopupEntry> entriesOf(const _t_AVMenu* menu, int depth) {
    std::vector<PopupEntry> out;
    for (const _t_AVMenuItem* it : menu->items) {
        PopupEntry e;
        e.title = it->title;
        if (it->submenu && depth < 8) e.submenu = entriesOf(it->submenu, depth + 1);
        if (it->enabled) {
            try {
                e.enabled = it->enabled(it->enabledData);
            } catch (const ASException&) {
                e.enabled = false;
            }
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace

// Menus built for one pop-up would pile up over a session: once their owner released
// them (and nothing holds them or their items), they are freed at the next pop-up.
void Application::collectPopups() {
    auto inMenubar = [&](const _t_AVMenu* m) {
        return std::find(menubar_.menus.begin(), menubar_.menus.end(), m) != menubar_.menus.end();
    };
    std::vector<_t_AVMenu*> keep;
    std::vector<_t_AVMenu*> todo;
    todo.swap(popupsShown_);
    while (!todo.empty()) {
        _t_AVMenu* m = todo.back();
        todo.pop_back();
        bool itemsFree = std::all_of(m->items.begin(), m->items.end(),
                                     [](const _t_AVMenuItem* it) { return it->refs == 0; });
        if (m->refs > 0 || m->parentItem || inMenubar(m) || !itemsFree) {
            keep.push_back(m);
            continue;
        }
        for (_t_AVMenuItem* it : m->items) {
            if (it->submenu) {
                it->submenu->parentItem = nullptr;
                todo.push_back(it->submenu);
            }
            std::erase_if(itemStore_, [&](const auto& p) { return p.get() == it; });
        }
        std::erase_if(keep, [&](const _t_AVMenu* k) { return k == m; });
        std::erase_if(todo, [&](const _t_AVMenu* k) { return k == m; });
        std::erase_if(menuStore_, [&](const auto& p) { return p.get() == m; });
    }
    popupsShown_ = std::move(keep);
}

AVMenuItem Application::popUp(AVMenu menu, AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!menu) raise(genErrBadParm);
    collectPopups();
    if (std::find(popupsShown_.begin(), popupsShown_.end(), menu) == popupsShown_.end())
        popupsShown_.push_back(menu);
    lastPopup = entriesOf(menu, 0);
    if (view) {
        mouse_.view = view;
        mouse_.x = x;
        mouse_.y = y;
    }
    // A chooser set on the application (tests) comes before the front end's.
    PopupChooser* chooser = popupChooser;
    if (!chooser && frontEnd_) chooser = frontEnd_->popupChooser();
    if (!chooser) return nullptr;
    std::vector<int> path = chooser->choose(lastPopup, x, y);
    // Follow the path; anything that does not lead to an item chooses nothing.
    const _t_AVMenu* m = menu;
    AVMenuItem chosen = nullptr;
    for (std::size_t i = 0; i < path.size(); ++i) {
        int k = path[i];
        if (!m || k < 0 || k >= static_cast<int>(m->items.size())) return nullptr;
        chosen = m->items[k];
        m = chosen->submenu;
    }
    if (!chosen || chosen->isSeparator() || chosen->submenu) return nullptr;
    if (chosen->enabled && !chosen->enabled(chosen->enabledData)) return nullptr;
    if (popupNames_ && actionName_.empty()) actionName_ = actionText(chosen->title);
    return chosen;
}

}  // namespace vexa::host::app
