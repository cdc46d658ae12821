// The host's tables, registered once. Each host module adds its table here.
#include "core/Core.h"
#include "core/Registry.h"
#include "core/Support.h"
#include "doc/DocInternal.h"

namespace vexa::host {

void registerHostTables() {
    TableRegistry& r = registry();
    r.add(&coreTable()->hdr);
    r.add(&supportTable()->hdr);
    r.add(&doc::cosTable()->hdr);
    r.add(&doc::pdModelTable()->hdr);
}

}  // namespace vexa::host
