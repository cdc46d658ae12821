// Host text objects (the ASExtra table).
#pragma once

#include <string>

#include "ASExtraHFT.h"

struct _t_ASText {
    std::string utf8;
};

namespace vexa::host {

const ASExtraHFT* extraTable();

}  // namespace vexa::host
