// The proof renderer module: renders a template proof with poppler's C++ interface.
// vexa loads it on the first proof it makes (see headless/ProofRenderer.cpp).

#include <headless/ProofModule.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <string>

namespace {

int fail(char* error, std::size_t errorSize, const std::string& message) {
    if (error && errorSize > 0) std::snprintf(error, errorSize, "%s", message.c_str());
    return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int vexa_render_proofs_v1(
    const char* data, std::size_t size, int dpi, const char* dir, const char* stem,
    VexaProofWritten written, void* context, char* error, std::size_t errorSize) {
    try {
        if (size > static_cast<std::size_t>(INT32_MAX))
            return fail(error, errorSize, "the proof is too large to render");
        std::unique_ptr<poppler::document> doc(
            poppler::document::load_from_raw_data(data, static_cast<int>(size)));
        if (!doc) return fail(error, errorSize, "the proof cannot be rendered");
        poppler::page_renderer renderer;
        renderer.set_render_hints(poppler::page_renderer::antialiasing |
                                  poppler::page_renderer::text_antialiasing);
        for (int i = 0; i < doc->pages(); ++i) {
            std::unique_ptr<poppler::page> page(doc->create_page(i));
            std::string out = std::string(dir) + "/" + stem + "-" + std::to_string(i + 1) + ".png";
            poppler::image img =
                page ? renderer.render_page(page.get(), dpi, dpi) : poppler::image();
            if (!img.is_valid() || !img.save(out, "png"))
                return fail(error, errorSize, "cannot write " + out);
            if (written) written(out.c_str(), context);
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(error, errorSize, std::string("the proof cannot be rendered: ") + e.what());
    } catch (...) {
        return fail(error, errorSize, "the proof cannot be rendered");
    }
}
