// Host-side helpers shared by every host module: atoms, errors and warnings.
#pragma once

#include <functional>
#include <string>

#include "ASExcept.h"
#include "AcroViewHFT.h"
#include "CoreHFT.h"

namespace vexa::host {

ASAtom atomFromString(const char* text);
const char* atomString(ASAtom atom);  // "" for an unknown atom

// Throws ASException(code). Host functions use this for every failure.
[[noreturn]] void raise(ASErrorCode code);
// p itself; throws genErrBadParm when it is null (a handle a table function was given).
template <typename T>
T* need(T* p) {
    if (!p) vexa::host::raise(genErrBadParm);
    return p;
}
// Registers the text of an error code (host modules register theirs at start-up).
void setErrorText(ASErrorCode code, std::string text);
std::string errorText(ASErrorCode code);

// Warnings (repairs, oddities found in files). The sink receives each text; the
// default sink drops them.
using WarningSink = std::function<void(const std::string&)>;
WarningSink setWarningSink(WarningSink sink);  // returns the previous sink
void warn(const std::string& text);

const CoreHFT* coreTable();

// Notifications of what happened to documents and pages go to the sink the running
// application installs (it dispatches them to the handlers registered for the
// selector); without one they go nowhere.
using NotificationSink = void (*)(const AVNotificationData& data);
void setNotificationSink(NotificationSink sink);
void notify(const AVNotificationData& data);

// Registers the host's own tables (Core, AcroSupport and the others built so far)
// with the registry. Idempotent. Defined by the dialog-services library (ui), the
// first one that sees every module offering a table.
void registerHostTables();

}  // namespace vexa::host
