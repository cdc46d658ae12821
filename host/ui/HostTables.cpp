// The host's tables, registered once. Each host module adds its table here.
#include "app/App.h"
#include "core/Core.h"
#include "core/Registry.h"
#include "core/Support.h"
#include "core/Text.h"
#include "doc/DocInternal.h"
#include "pde/Tables.h"
#include "ui/Ui.h"

namespace vexa::host {

void registerPlaceholderTables();

void registerHostTables() {
    TableRegistry& r = registry();
    r.add(&coreTable()->hdr);
    r.add(&supportTable()->hdr);
    r.add(&extraTable()->hdr);
    r.add(&app::acroViewTable()->hdr);
    r.add(&doc::cosTable()->hdr);
    r.add(&doc::pdModelTable()->hdr);
    r.add(&pde::readTable()->hdr);
    r.add(&pde::writeTable()->hdr);
    r.add(&pde::pageContentTable()->hdr);
    r.add(&pde::sysFontTable()->hdr);
    r.add(&ui::platformUITable()->hdr);
    // Last: placeholders for tables no module registered.
    registerPlaceholderTables();
}

}  // namespace vexa::host
