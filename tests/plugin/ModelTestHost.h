// An in-process host for the template-model tests: a headless session without
// plug-ins, the plug-in side's tables imported from it, HOME in a temporary folder,
// and a fresh document with one A4 page that is the current Cos document.
#pragma once

#include <memory>
#include <string>

#include "Common/API.h"
#include "Common/BoxDesc.h"
#include "Sources/Main.h"
#include "Common/PIUtils.h"
#include "TestSupport.h"
#include "core/Core.h"
#include "headless/Session.h"
#include "QuietSession.h"

namespace vexa::test {

inline ASFixed fx(double v) {
    return static_cast<ASFixed>(v * 65536.0);
}
inline ASFixedRect fxRect(double l, double b, double r, double t) {
    return ASFixedRect{fx(l), fx(t), fx(r), fx(b)};
}

class ModelTestHost {
  public:
    ModelTestHost() {
        session_ = vexa::test::quietSession();
        importHostTables(host::coreTable());
        gVersMajor = 11;
        doc = pdDocCreate();
        page = gPDModelHFT->PDDocCreatePage(doc, PDBeforeFirstPage, fxRect(0, 0, 595, 842));
        setCosDoc(doc);
    }
    ~ModelTestHost() {
        if (page) pdPageRelease(page);
        if (doc) pdDocClose(doc);
        setCosDoc(nullptr);
        session_.reset();
    }
    ModelTestHost(const ModelTestHost&) = delete;
    ModelTestHost& operator=(const ModelTestHost&) = delete;

    host::Session& session() { return *session_; }
    const std::filesystem::path& home() const { return home_.path(); }

    PDDoc doc = nullptr;
    PDPage page = nullptr;

  private:
    ScopedHome home_;
    std::unique_ptr<host::Session> session_;
};

}  // namespace vexa::test
