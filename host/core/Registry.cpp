#include "core/Registry.h"

#include <cstring>

namespace vexa::host {

void TableRegistry::add(HFT table) {
    remove(table->name);
    tables_.push_back(table);
}

void TableRegistry::remove(const char* name) {
    std::erase_if(tables_, [&](HFT t) { return std::strcmp(t->name, name) == 0; });
}

HFT TableRegistry::find(const char* name, ASVersion minVersion) const {
    for (HFT t : tables_)
        if (std::strcmp(t->name, name) == 0) return t->version >= minVersion ? t : nullptr;
    return nullptr;
}

TableRegistry& registry() {
    static TableRegistry r;
    return r;
}

}  // namespace vexa::host
