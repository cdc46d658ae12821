#pragma once

namespace vexa::host {

// Runs the vexa command line; returns the process exit code.
int runCli(int argc, char** argv);

}  // namespace vexa::host
