#include "ui/Host.h"

#include <cstdio>

#include "core/Core.h"
#include "ui/Script.h"

namespace vexa::host {

std::unique_ptr<app::Application> newApplication(const HostOptions& options) {
    registerHostTables();
    registerAllScriptCommands();
    auto app = std::make_unique<app::Application>(options.virtualClock);
    app->versionMajor = options.hostMajor;
    app->versionMinor = options.hostMinor;
    if (!options.language.empty()) app->language = options.language;
    return app;
}

void loadPlugins(PluginLoader& loader, const HostOptions& options) {
    if (!options.loadPlugins) return;
    if (options.pluginDirs.empty())
        loader.loadFolder(defaultPluginFolder());
    else
        for (const auto& d : options.pluginDirs) loader.loadFolder(d);
}

bool parseHostVersion(const std::string& text, ASInt16* major, ASInt16* minor) {
    int ma = 0, mi = 0;
    char extra = 0;
    int n = std::sscanf(text.c_str(), "%d.%d%c", &ma, &mi, &extra);
    if (n < 1 || n > 2 || ma < 0 || ma > 99 || mi < 0 || mi > 99) return false;
    *major = static_cast<ASInt16>(ma);
    *minor = static_cast<ASInt16>(mi);
    return true;
}

bool parseLanguage(const std::string& text, std::string* code) {
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* known : {"ENU", "DEU", "FRA", "NLD"})
        if (upper == known) {
            *code = upper;
            return true;
        }
    return false;
}

std::string oneLine(std::string s) {
    for (std::size_t i = 0; (i = s.find('\n', i)) != std::string::npos; i += 2)
        s.replace(i, 1, "\\n");
    return s;
}

}  // namespace vexa::host
