// A running headless host: the application model, its front end, and the loaded
// plug-ins. vexa builds one per command; tests build one in-process.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "core/Loader.h"
#include "headless/HeadlessFrontEnd.h"
#include "ui/Host.h"
#include "ui/Script.h"

namespace vexa::host {

using SessionOptions = HostOptions;

class Session {
  public:
    explicit Session(const SessionOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    app::Application& app() { return *app_; }
    HeadlessFrontEnd& frontEnd() { return frontEnd_; }
    PluginLoader& loader() { return loader_; }

    // Loads the plug-ins and announces that the application finished starting.
    void start();

  private:
    SessionOptions options_;
    HeadlessFrontEnd frontEnd_;
    std::unique_ptr<app::Application> app_;
    PluginLoader loader_;
    bool started_ = false;
};

}  // namespace vexa::host
