// "vexa impose": the print shop's job on the command line. The options fill a job of
// the plug-in's job table (the preferences are read, never written), the plug-in checks
// it before any work, and the imposed document is saved whole or not at all.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "headless/Session.h"

namespace vexa::host {

// args: the words after "impose". Returns the exit status: 0 done, 1 the job failed,
// 2 the input is wrong (nothing ran).
int cmdImpose(SessionOptions options, const std::vector<std::string>& args);

// What "vexa impose --help" prints.
const char* imposeHelp();

// The words of the command line, read for their form only (exposed for tests): the
// source, the job options by their long names without dashes in the order given, and
// the command's own switches. Throws std::invalid_argument for an unknown option, a
// missing value or a second source.
struct ImposeArgs {
    std::string source;
    std::vector<std::pair<std::string, std::string>> options;
    std::string jobFile;
    bool json = false;
    bool dryRun = false;
    bool help = false;
};
ImposeArgs parseImposeArgs(const std::vector<std::string>& args);

// A string as a JSON string literal (quotes included), for the --json output.
std::string jsonString(const std::string& s);

}  // namespace vexa::host
