// A page of an open document as a PDF file of its own, as the page is now: what the
// renderer shows after an edit, without writing the whole document.
#pragma once

#include <QByteArray>

#include "PDModelHFT.h"

namespace vexa::host::desktop {

// The bytes of a one-page PDF holding page `index` (0-based) of the document: its
// dictionary with the attributes it inherits, its content and resources and its
// annotations. Empty when the page cannot be read. Runs on the thread that owns the
// document; the document is only read.
QByteArray extractPage(PDDoc doc, int index);

}  // namespace vexa::host::desktop
