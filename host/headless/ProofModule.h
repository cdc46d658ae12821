#pragma once
// The interface of the proof renderer, a module of its own ("vexa-proof.so") that vexa
// loads only when a template proof is made: the renderer brings a PDF rasteriser and
// its fonts, colour and image libraries, which no imposition needs, and loading them
// at start-up would cost every job.
//
// Plain C, so that host and module agree on nothing but these declarations.

#include <cstddef>

extern "C" {

// Called once for each image written, with its path.
typedef void (*VexaProofWritten)(const char* path, void* context);

// Renders every page of the PDF file held in data[0..size) at dpi to
// dir/stem-N.png (N counted from 1; the folder exists). Returns 0, or 1 with a
// message in error (at most errorSize bytes, NUL-terminated) when the file cannot be
// rendered or an image cannot be written.
typedef int (*VexaRenderProofs)(const char* data, std::size_t size, int dpi, const char* dir,
                                const char* stem, VexaProofWritten written, void* context,
                                char* error, std::size_t errorSize);

}  // extern "C"

// The name the module exports its renderer under; a new name for a new interface.
#define VEXA_RENDER_PROOFS_SYMBOL "vexa_render_proofs_v1"
