// Tables that this host offers with no members yet. A table is registered here only
// when no module registered a real one of that name, so plug-ins that import every
// table still load while a module is missing.
#include "AcroColorHFT.h"
#include "PDSHFT.h"
#include "core/Registry.h"

namespace vexa::host {
namespace {

// A table with its header filled and every member null.
template <typename T>
T table(const char* name, ASVersion version) {
    T t{};
    t.hdr = {name, version, sizeof(T)};
    return t;
}

const PDSReadHFT kPDSRead = table<PDSReadHFT>(kPDSReadHFTName, kPDSReadHFTVersion);
const PDSWriteHFT kPDSWrite = table<PDSWriteHFT>(kPDSWriteHFTName, kPDSWriteHFTVersion);
const AcroColorHFT kAcroColor = table<AcroColorHFT>(kAcroColorHFTName, kAcroColorHFTVersion);

template <typename T>
void offer(const T& table) {
    if (!registry().find(table.hdr.name, 0)) registry().add(&table.hdr);
}

}  // namespace

void registerPlaceholderTables() {
    offer(kPDSRead);
    offer(kPDSWrite);
    offer(kAcroColor);
}

}  // namespace vexa::host
