#include "headless/ProofRenderer.h"

#include "core/Loader.h"
#include "headless/ProofModule.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vexa::host {

namespace {

constexpr const char* kModuleName = "vexa-proof.so";

struct LoadedRenderer {
    VexaRenderProofs render = nullptr;
    std::string error;  // why it could not be loaded
};

const LoadedRenderer& loaded() {
    static LoadedRenderer renderer;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string path = proofModulePath();
        // The module stays loaded until the program ends: its libraries keep state of
        // their own (font caches) that is not meant to be unloaded.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            renderer.error = "the proof renderer " + path + " cannot be loaded" +
                             (why ? std::string(" (") + why + ")" : std::string()) +
                             "; template proofs need it installed with vexa";
            return;
        }
        void* symbol = ::dlsym(handle, VEXA_RENDER_PROOFS_SYMBOL);
        if (!symbol) {
            renderer.error = "the proof renderer " + path +
                             " is not the one this vexa was built with (it has no " +
                             VEXA_RENDER_PROOFS_SYMBOL + ")";
            return;
        }
        renderer.render = reinterpret_cast<VexaRenderProofs>(symbol);
    });
    return renderer;
}

void printWritten(const char* path, void*) {
    std::printf("%s\n", path);
}

}  // namespace

std::string proofModulePath() {
    std::string program = runningProgram();
    fs::path bin = program.empty() ? fs::current_path() : fs::path(program).parent_path();
    return (bin / VEXA_INSTALLED_MODULE_DIR / kModuleName).lexically_normal().string();
}

void loadProofRenderer() {
    const LoadedRenderer& r = loaded();
    if (!r.render) throw std::runtime_error(r.error);
}

void renderProofs(std::string_view pdf, int dpi, const std::string& dir, const std::string& stem) {
    loadProofRenderer();
    char error[1024] = "";
    if (loaded().render(pdf.data(), pdf.size(), dpi, dir.c_str(), stem.c_str(), printWritten,
                        nullptr, error, sizeof error) != 0)
        throw std::runtime_error(error[0] ? error : "the proof cannot be rendered");
}

}  // namespace vexa::host
