#include "headless/Session.h"

#include "core/Core.h"
#include "doc/DocInternal.h"

namespace vexa::host {

Session::Session(const SessionOptions& options) : options_(options) {
    app_ = newApplication(options);
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
    loadPlugins(loader_, options_);
    app_->didInitialize();
}

}  // namespace vexa::host
