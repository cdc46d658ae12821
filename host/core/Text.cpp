#include "core/Text.h"

#include "core/Core.h"

namespace vexa::host {
namespace {

ASText textFromUTF8(const char* s) {
    return new _t_ASText{s ? s : ""};
}

const char* textGetUTF8(ASText t) {
    if (!t) raise(genErrBadParm);
    return t->utf8.c_str();
}

void textSetUTF8(ASText t, const char* s) {
    if (!t) raise(genErrBadParm);
    t->utf8 = s ? s : "";
}

void textDestroy(ASText t) {
    delete t;
}

const ASExtraHFT kExtra = {
    {kASExtraHFTName, kASExtraHFTVersion, sizeof(ASExtraHFT)},
    textFromUTF8,
    textGetUTF8,
    textSetUTF8,
    textDestroy,
};

}  // namespace

const ASExtraHFT* extraTable() {
    return &kExtra;
}

}  // namespace vexa::host
