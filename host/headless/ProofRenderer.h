#pragma once
// Renders template proofs through the proof renderer module, loaded on first use.

#include <string>
#include <string_view>

namespace vexa::host {

// Where the module is looked for: relative to the running program, in the folder an
// installed tree keeps vexa's private modules in (the build tree has the same layout).
std::string proofModulePath();

// Renders every page of the PDF file in pdf at dpi to dir/stem-N.png, printing each
// path written on standard output. Throws std::runtime_error, naming the module, when
// the renderer cannot be loaded, and with the renderer's message when it fails.
void renderProofs(std::string_view pdf, int dpi, const std::string& dir, const std::string& stem);

// Loads the module now (once per process) so that a missing renderer is reported
// before anything is written. Throws as renderProofs.
void loadProofRenderer();

}  // namespace vexa::host
