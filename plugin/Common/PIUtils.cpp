#include "Common/PIUtils.h"

PDDoc getFrontPDDoc() {
    AVDoc doc = avAppGetActiveDoc();
    return doc ? avDocGetPDDoc(doc) : nullptr;
}
