// Host-side helpers shared by every host module: atoms, errors and warnings.
#pragma once

#include <functional>
#include <string>

#include "ASExcept.h"
#include "CoreHFT.h"

namespace vexa::host {

ASAtom atomFromString(const char* text);
const char* atomString(ASAtom atom);  // "" for an unknown atom

// Throws ASException(code). Host functions use this for every failure.
[[noreturn]] void raise(ASErrorCode code);
// Registers the text of an error code (host modules register theirs at start-up).
void setErrorText(ASErrorCode code, std::string text);
std::string errorText(ASErrorCode code);

// Warnings (repairs, oddities found in files). The sink receives each text; the
// default sink drops them.
using WarningSink = std::function<void(const std::string&)>;
WarningSink setWarningSink(WarningSink sink);  // returns the previous sink
void warn(const std::string& text);

const CoreHFT* coreTable();

// Registers the host's own tables (Core, AcroSupport and the others built so far)
// with the registry. Idempotent.
void registerHostTables();

}  // namespace vexa::host
