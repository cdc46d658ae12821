// What every host program starts the same way: its options (the same for vexa and
// vexa-studio), the application model with the host's tables and script commands,
// and its plug-ins.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "core/Loader.h"

namespace vexa::host {

struct HostOptions {
    bool virtualClock = false;
    ASInt16 hostMajor = 11;
    ASInt16 hostMinor = 0;
    std::string language;                 // empty: from the locale
    std::vector<std::string> pluginDirs;  // empty: the folder beside the executable
    bool loadPlugins = true;
};

// The application of a host: the host's tables and every script command registered,
// the version and language of the options.
std::unique_ptr<app::Application> newApplication(const HostOptions& options);
// Loads the plug-ins the options name (none when loading is off).
void loadPlugins(PluginLoader& loader, const HostOptions& options);

// "--host-version MAJOR.MINOR" (0 to 99 each, the minor may be left out); false when
// the text is not such a version.
bool parseHostVersion(const std::string& text, ASInt16* major, ASInt16* minor);
// "--language CODE": one of ENU, DEU, FRA, NLD in any case, given back in capitals; false
// for any other text (the program would otherwise speak English without a word).
bool parseLanguage(const std::string& text, std::string* code);
// A message on one line: its line breaks shown as "\n".
std::string oneLine(std::string text);

}  // namespace vexa::host
