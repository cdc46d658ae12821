// vexa: the headless host. The command line is parsed in the host library
// (host/headless) so that tests can run the same code in-process.
#include "headless/Cli.h"

int main(int argc, char** argv) {
    return vexa::host::runCli(argc, argv);
}
