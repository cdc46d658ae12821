#include "Selection.h"

#include "BoxDesc.h"

namespace {
struct SelCtx {
    EnumFormsProc proc;
    long data;
};
bool selectedProc(CContent* level, PDEElement frame, long index, long data) {
    auto* ctx = reinterpret_cast<SelCtx*>(data);
    if (!getSelected(frame)) return true;
    return ctx->proc(level, frame, index, ctx->data);
}
}  // namespace

bool EnumSelection(PDPage page, EnumFormsProc proc, long data, bool write) {
    if (!proc) return true;
    SelCtx ctx{proc, data};
    return EnumForms(page, selectedProc, reinterpret_cast<long>(&ctx), write, true);
}
