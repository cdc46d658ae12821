#include "core/Loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "core/Core.h"
#include "core/Registry.h"

namespace vexa::host {

namespace fs = std::filesystem;

PluginLoader::~PluginLoader() {
    unloadAll();
}

void PluginLoader::loadFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".so" && e.is_regular_file(ec))
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) load(f);
}

PluginRecord& PluginLoader::load(const std::string& path) {
    auto rec = std::make_unique<PluginRecord>();
    rec->path = path;
    rec->name = fs::path(path).stem().string();
    PluginRecord& r = *rec;
    plugins_.push_back(std::move(rec));

    // Tables a plug-in offered are withdrawn when it does not start.
    auto withdrawTables = [&] {
        for (const std::string& t : r.tables) registry().remove(t.c_str());
        r.tables.clear();
    };
    auto refuse = [&](std::string why) -> PluginRecord& {
        withdrawTables();
        r.state = PluginRecord::State::Refused;
        r.reason = std::move(why);
        if (r.handle) dlclose(r.handle);
        r.handle = nullptr;
        return r;
    };

    // Resolve symbolic links so the plug-in finds its own file (and resources).
    char resolved[PATH_MAX];
    std::string real = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    r.handle = dlopen(real.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!r.handle) {
        const char* e = dlerror();
        return refuse(std::string("cannot be loaded: ") + (e ? e : "unknown error"));
    }
    auto main = reinterpret_cast<PlugInMainProc>(dlsym(r.handle, kPlugInMainName));
    if (!main) return refuse("has no entry point " kPlugInMainName);

    ASUns32 agreed = 0;
    PISetupSDKProc setup = nullptr;
    if (!main(HANDSHAKE_V0200, &agreed, &setup, nullptr) || !setup)
        return refuse("its entry point refused to start");
    if (agreed != HANDSHAKE_V0200) return refuse("speaks another handshake version");

    r.extension = std::make_unique<_t_ExtensionID>();
    r.extension->path = real;
    PISDKData sdk{};
    sdk.size = sizeof sdk;
    sdk.handshakeVersion = HANDSHAKE_V0200;
    sdk.extensionID = r.extension.get();
    sdk.coreHFT = coreTable();
    if (!setup(HANDSHAKE_V0200, &sdk)) return refuse("needs a host function table this host lacks");
    if (!sdk.handshakeCallback) return refuse("did not register its handshake");
    r.handshake.size = sizeof r.handshake;
    if (!sdk.handshakeCallback(HANDSHAKE_V0200, &r.handshake))
        return refuse("refused the handshake");
    if (r.handshake.extensionName != ASAtomNull) {
        r.name = atomString(r.handshake.extensionName);
        r.extension->name = r.name;
    }
    try {
        std::vector<HFT> before = registry().tables();
        bool exported = !r.handshake.exportHFTsCallback || r.handshake.exportHFTsCallback();
        for (HFT t : registry().tables())
            if (std::find(before.begin(), before.end(), t) == before.end())
                r.tables.emplace_back(t->name);
        if (!exported) return refuse("failed to export its tables");
        if (r.handshake.importReplaceAndRegisterCallback &&
            !r.handshake.importReplaceAndRegisterCallback())
            return refuse("failed to import its tables");
        // A plug-in whose initialisation answers false stays loaded but inert.
        if (r.handshake.initCallback && !r.handshake.initCallback()) {
            withdrawTables();
            r.state = PluginRecord::State::Inert;
            r.reason = "declined to initialise";
            return r;
        }
    } catch (const ASException& e) {
        withdrawTables();
        r.state = PluginRecord::State::Inert;
        r.reason = "failed while starting: " + errorText(e.code());
        return r;
    }
    r.state = PluginRecord::State::Loaded;
    return r;
}

void PluginLoader::unloadAll() {
    for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) {
        PluginRecord& r = **it;
        for (const std::string& t : r.tables) registry().remove(t.c_str());
        r.tables.clear();
        if (!r.handle) continue;
        if (r.state != PluginRecord::State::Refused && r.handshake.unloadCallback) {
            try {
                r.handshake.unloadCallback();
            } catch (const ASException&) {
            }
        }
        dlclose(r.handle);
        r.handle = nullptr;
    }
    plugins_.clear();
}

const char* stateName(PluginRecord::State s) {
    switch (s) {
        case PluginRecord::State::Found:
            return "found";
        case PluginRecord::State::Loaded:
            return "loaded";
        case PluginRecord::State::Inert:
            return "inert";
        case PluginRecord::State::Refused:
            return "refused";
    }
    return "?";
}

std::string pluginFolderFor(const std::string& program) {
    fs::path bin = fs::path(program).parent_path();
    fs::path beside = bin / "plug_ins";
    std::error_code ec;
    if (fs::is_directory(beside, ec)) return beside.string();
    // An installed tree keeps the plug-ins apart from the programs; the path is
    // relative, so that the tree works wherever it was installed.
    fs::path installed = (bin / VEXA_INSTALLED_PLUGIN_DIR).lexically_normal();
    if (fs::is_directory(installed, ec)) return installed.string();
    return beside.string();
}

std::string runningProgram() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string defaultPluginFolder() {
    std::string program = runningProgram();
    return program.empty() ? "plug_ins" : pluginFolderFor(program);
}

}  // namespace vexa::host
