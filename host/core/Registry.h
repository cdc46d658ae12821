// The host's table registry: every table the host offers, by name and version.
#pragma once

#include <string>
#include <vector>

#include "HFT.h"

namespace vexa::host {

class TableRegistry {
  public:
    // Registers a table (the registry does not own it). A later table with the same
    // name replaces an earlier one, so tests can offer older or missing tables.
    void add(HFT table);
    void remove(const char* name);
    // The table of that name with version >= minVersion, or null.
    HFT find(const char* name, ASVersion minVersion) const;
    const std::vector<HFT>& tables() const { return tables_; }

  private:
    std::vector<HFT> tables_;
};

// The registry of the running host.
TableRegistry& registry();

}  // namespace vexa::host
