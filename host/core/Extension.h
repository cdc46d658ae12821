// The identity the host gives each loaded plug-in (ExtensionID): it owns what the
// plug-in registers (menus, items, notifications, tools).
#pragma once

#include <string>

struct _t_ExtensionID {
    std::string name;  // the extension name the plug-in registered
    std::string path;  // the plug-in file
};
