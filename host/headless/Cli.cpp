#include "headless/Cli.h"

#include <cstdio>
#include <cstring>

namespace vexa::host {

int runCli(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vexa 6.17\n");
        return 0;
    }
    std::fprintf(stderr, "vexa: usage: vexa --version | info | run SCRIPT\n");
    return 2;
}

}  // namespace vexa::host
