// Pop-up menus at the mouse: the front end's chooser shows the menu and answers the
// path of the item chosen.
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
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace

AVMenuItem Application::popUp(AVMenu menu, AVPageView view, AVDevCoord x, AVDevCoord y) {
    if (!menu) raise(genErrBadParm);
    lastPopup = entriesOf(menu, 0);
    if (view) {
        mouse_.view = view;
        mouse_.x = x;
        mouse_.y = y;
    }
    if (!popupChooser) return nullptr;
    std::vector<int> path = popupChooser->choose(lastPopup, x, y);
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
    return chosen;
}

}  // namespace vexa::host::app
