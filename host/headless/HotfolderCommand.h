// "vexa hotfolder": the host's idle loop with the plug-ins loaded and nothing else to
// do, so that the plug-in's hot-folder poll imposes what arrives.
#pragma once

#include <string>
#include <vector>

#include "headless/Session.h"

namespace vexa::host {

// args: the words after "hotfolder" (--once, --list). Returns the exit status.
int cmdHotfolder(SessionOptions options, const std::vector<std::string>& args);

}  // namespace vexa::host
