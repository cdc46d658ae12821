// An in-process host for the settings, strings, dialog and log tests: a headless
// session without plug-ins, the plug-in side's tables imported from it, HOME and the
// XDG folders in a temporary folder, and the resources taken from the source tree.
#pragma once

#include <cstdlib>
#include <memory>

#include "Common/API.h"
#include "settings/MyStrings.h"
#include "TestSupport.h"
#include "core/Core.h"
#include "headless/Session.h"
#include "QuietSession.h"
#include "ui/Ui.h"

namespace vexa::test {

class SettingsTestHost {
  public:
    SettingsTestHost() {
        setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
        session_ = vexa::test::quietSession();
        importHostTables(host::coreTable());
        gLanguage = kLangEnglish;
        setupMyStrings();
    }
    ~SettingsTestHost() {
        host::ui::setModalDriver(nullptr);
        host::ui::resetUi();
        cleanupMyStrings();
        session_.reset();
        unsetenv("VEXA_RESOURCES");
    }
    host::Session& session() { return *session_; }
    const std::filesystem::path& home() const { return home_.path(); }

  private:
    ScopedHome home_;
    std::unique_ptr<host::Session> session_;
};

}  // namespace vexa::test
