// "vexa impose": the print shop's job on the command line. The source becomes the
// front document, the plug-in's "Impose…" command runs and the imposition dialog is
// answered as a user would; the new document is saved whole or not at all.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "headless/Session.h"

namespace vexa::host {

// args: the words after "impose". Returns the exit status.
int cmdImpose(SessionOptions options, const std::vector<std::string>& args);

// The script the command runs (exposed for tests): throws std::invalid_argument on
// bad options.
struct ImposeOptions {
    std::string source, templatePath, secondSheet, binding, align, creep, scale, pages, output;
    // Spot colour mapping: (spot name, plate) with plate "Cyan", "Magenta", "Yellow",
    // "Black" or "" (keep), in the order given.
    std::vector<std::pair<std::string, std::string>> spotMap;
    std::string spotBlack;  // "on", "off" or "" (the preference decides)
};
// -t is a path or a library template's name, looked up beside the plug-ins of
// `pluginDirs` (empty: the default plug-in folder).
ImposeOptions parseImposeArgs(const std::vector<std::string>& args,
                              const std::vector<std::string>& pluginDirs = {});
std::string imposeScript(const ImposeOptions& o);

}  // namespace vexa::host
