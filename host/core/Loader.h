// Loading plug-ins: dlopen, the platform entry, SDK set-up, handshake and the four
// life-cycle callbacks, and unloading.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "PIMain.h"
#include "core/Extension.h"

namespace vexa::host {

struct PluginRecord {
    std::string path;
    std::string name;  // the extension name after the handshake, else the file name
    enum class State { Found, Loaded, Inert, Refused } state = State::Found;
    std::string reason;  // why it was refused or is inert
    void* handle = nullptr;
    std::unique_ptr<_t_ExtensionID> extension;
    PIHandshakeData handshake{};
    std::vector<std::string> tables;  // the names of the tables it offers
};

class PluginLoader {
  public:
    ~PluginLoader();
    // Loads every "*.so" of the folder, in name order. Missing folder: nothing found.
    void loadFolder(const std::string& folder);
    // Loads one plug-in file through the whole start-up sequence.
    PluginRecord& load(const std::string& path);
    // Calls each loaded plug-in's unload callback and closes it (reverse order).
    void unloadAll();
    const std::vector<std::unique_ptr<PluginRecord>>& plugins() const { return plugins_; }

  private:
    std::vector<std::unique_ptr<PluginRecord>> plugins_;
};

const char* stateName(PluginRecord::State s);

// Where the plug-ins of the program at PROGRAM live: the folder "plug_ins" beside it
// (a build tree), else the plug-in folder of an installed tree, found relative to the
// program ("../lib/vexa/plug_ins"). When neither exists, the folder beside it.
std::string pluginFolderFor(const std::string& program);

// The path of the running executable; empty when the system does not say.
std::string runningProgram();

// The plug-in folder of the running executable (pluginFolderFor).
std::string defaultPluginFolder();

}  // namespace vexa::host
