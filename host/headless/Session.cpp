#include "headless/Session.h"

#include "core/Core.h"
#include "doc/DocInternal.h"

namespace vexa::host {

Session::Session(const SessionOptions& options) : options_(options) {
    registerHostTables();
    registerAllScriptCommands();
    app_ = std::make_unique<app::Application>(options.virtualClock);
    app_->versionMajor = options.hostMajor;
    app_->versionMinor = options.hostMinor;
    if (!options.language.empty()) app_->language = options.language;
    app_->setFrontEnd(&frontEnd_);
    // Windows show documents of the document engine.
    app::DocumentHooks& h = app_->documentHooks;
    h.openDoc = [](const char* path) { return doc::pdModelTable()->PDDocOpen(path, true); };
    h.closeDoc = [](PDDoc d) { doc::pdModelTable()->PDDocClose(d); };
    h.numPages = [](PDDoc d) { return doc::pdModelTable()->PDDocGetNumPages(d); };
    h.acquirePage = [](PDDoc d, ASInt32 n) { return doc::pdModelTable()->PDDocAcquirePage(d, n); };
    h.releasePage = [](PDPage p) { doc::pdModelTable()->PDPageRelease(p); };
}

Session::~Session() {
    if (started_) app_->willQuit();
    app_->closeAllDocs();
    loader_.unloadAll();
    app_.reset();
}

void Session::start() {
    if (started_) return;
    started_ = true;
    if (options_.loadPlugins) {
        if (options_.pluginDirs.empty())
            loader_.loadFolder(defaultPluginFolder());
        else
            for (const auto& d : options_.pluginDirs) loader_.loadFolder(d);
    }
    app_->didInitialize();
}

}  // namespace vexa::host
