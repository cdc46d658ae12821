// The page-content tables of the host.
#pragma once

#include "PDFEditHFT.h"

namespace vexa::host::pde {

const PDFEditReadHFT* readTable();
const PDFEditWriteHFT* writeTable();
const PagePDEContentHFT* pageContentTable();
const PDSysFontHFT* sysFontTable();

}  // namespace vexa::host::pde
