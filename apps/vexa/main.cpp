// vexa: the headless host. The command line is parsed in the host library
// (host/headless) so that tests can run the same code in-process.
#include <malloc.h>

#include "headless/Cli.h"

#if defined(__SANITIZE_ADDRESS__)
// In a build with AddressSanitizer: fontconfig, which the renderer of template proofs
// asks for fonts, keeps what it allocated until the process ends; that is not ours to
// free and no leak of this program.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

int main(int argc, char** argv) {
    // An imposition allocates and frees buffers of a few hundred kilobytes per sheet
    // (stream compression); handing them back to the system each time costs more than
    // the work itself. The heap is kept instead, within bounds.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
    return vexa::host::runCli(argc, argv);
}
