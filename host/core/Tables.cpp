// The host's tables, registered once. Each host module adds its table here.
#include "core/Core.h"
#include "core/Registry.h"
#include "core/Support.h"
#include "doc/DocInternal.h"
#include "pde/Tables.h"

namespace vexa::host {

void registerHostTables() {
    TableRegistry& r = registry();
    r.add(&coreTable()->hdr);
    r.add(&supportTable()->hdr);
    r.add(&doc::cosTable()->hdr);
    r.add(&doc::pdModelTable()->hdr);
    r.add(&pde::readTable()->hdr);
    r.add(&pde::writeTable()->hdr);
    r.add(&pde::pageContentTable()->hdr);
    r.add(&pde::sysFontTable()->hdr);
}

}  // namespace vexa::host
