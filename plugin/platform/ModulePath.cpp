#include "platform/ModulePath.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "platform/Platform.h"

void setupPIPath() {
    Dl_info info{};
    // Any address inside this module names the module's file.
    if (dladdr(reinterpret_cast<void*>(&setupPIPath), &info) && info.dli_fname) {
        char resolved[PATH_MAX];
        // dladdr answers with the path as it was given to dlopen.
        if (realpath(info.dli_fname, resolved))
            setPIPath(resolved);
        else
            setPIPath(info.dli_fname);
    } else {
        setPIPath("");
    }
}
