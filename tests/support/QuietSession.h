// A headless session for tests in process, and scripts run in it.
#pragma once

#include <memory>
#include <string>

#include "headless/Script.h"
#include "headless/Session.h"

namespace vexa::test {

// A session on a virtual clock, without plug-ins, that shows no alerts; not started.
inline std::unique_ptr<host::Session> quietSession() {
    host::SessionOptions options;
    options.virtualClock = true;
    options.loadPlugins = false;
    auto session = std::make_unique<host::Session>(options);
    session->frontEnd().quiet = true;
    return session;
}

// Runs a script's text under the file name given; the error that ended it, "" when it
// ran to its end.
inline std::string scriptError(const std::string& text, const std::string& name) {
    host::ScriptRunner r;
    try {
        r.load(text, name);
        r.run();
    } catch (const host::ScriptError& e) {
        return e.what();
    }
    return "";
}

}  // namespace vexa::test
