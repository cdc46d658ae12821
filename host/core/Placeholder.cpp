// Tables that this host offers with no members yet. A table is registered here only
// when no module registered a real one of that name, so plug-ins that import every
// table still load while a module is missing.
#include "AcroColorHFT.h"
#include "CosHFT.h"
#include "PDFEditHFT.h"
#include "PDModelHFT.h"
#include "PDSHFT.h"
#include "PlatformUIHFT.h"
#include "core/Registry.h"

namespace vexa::host {
namespace {

const PDSReadHFT kPDSRead = {{kPDSReadHFTName, kPDSReadHFTVersion, sizeof(PDSReadHFT)}};
const PDSWriteHFT kPDSWrite = {{kPDSWriteHFTName, kPDSWriteHFTVersion, sizeof(PDSWriteHFT)}};
// Interim, until the document engine, page-content model and dialog layer register theirs.
const CosHFT kCos = {{kCosHFTName, kCosHFTVersion, sizeof(CosHFT)}};
const PDModelHFT kPDModel = {{kPDModelHFTName, kPDModelHFTVersion, sizeof(PDModelHFT)}};
const PDFEditReadHFT kEditRead = {{kPDFEditReadHFTName, kPDFEditReadHFTVersion, sizeof(PDFEditReadHFT)}};
const PDFEditWriteHFT kEditWrite = {{kPDFEditWriteHFTName, kPDFEditWriteHFTVersion, sizeof(PDFEditWriteHFT)}};
const PagePDEContentHFT kPageContent = {
    {kPagePDEContentHFTName, kPagePDEContentHFTVersion, sizeof(PagePDEContentHFT)}};
const PDSysFontHFT kSysFont = {{kPDSysFontHFTName, kPDSysFontHFTVersion, sizeof(PDSysFontHFT)}};
const PlatformUIHFT kPlatformUI = {{kPlatformUIHFTName, kPlatformUIHFTVersion, sizeof(PlatformUIHFT)}};
const AcroColorHFT kAcroColor = {{kAcroColorHFTName, kAcroColorHFTVersion, sizeof(AcroColorHFT)}};

template <typename T>
void offer(const T& table) {
    if (!registry().find(table.hdr.name, 0)) registry().add(&table.hdr);
}

}  // namespace

void registerPlaceholderTables() {
    offer(kPDSRead);
    offer(kPDSWrite);
    offer(kAcroColor);
    offer(kCos);
    offer(kPDModel);
    offer(kEditRead);
    offer(kEditWrite);
    offer(kPageContent);
    offer(kSysFont);
    offer(kPlatformUI);
}

}  // namespace vexa::host
