// The document engine's tables and error codes as host tests use them.
#pragma once

#include "core/Core.h"
#include "doc/DocInternal.h"

namespace vexa::test {

inline const CosHFT* C() {
    return vexa::host::doc::cosTable();
}
inline const PDModelHFT* P() {
    return vexa::host::doc::pdModelTable();
}
inline ASAtom A(const char* s) {
    return vexa::host::atomFromString(s);
}

// The host error f raises, 0 when it raises none.
template <class F>
ASErrorCode codeOf(F&& f) {
    try {
        f();
    } catch (const ASException& e) {
        return e.code();
    }
    return 0;
}

}  // namespace vexa::test
