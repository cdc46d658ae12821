// Fuzzing the content model: parse arbitrary content, write every element anew and
// with unchanged bytes, and read the results again. Host errors are expected for
// hostile input; crashes, hangs, leaks and unreadable output are not.
#include <qpdf/QPDF.hh>

#include <cstdint>
#include <cstdlib>

#include "core/Core.h"
#include "pde/Model.h"

using namespace vexa::host;

#ifdef VEXA_FUZZ_STANDALONE
// The fuzz build links the content model without the rest of the host: the core's
// table lookup finds nothing, and nothing registers a table.
#include "core/Registry.h"
namespace vexa::host {
TableRegistry& registry() {
    static TableRegistry r;
    return r;
}
HFT TableRegistry::find(const char*, ASVersion) const {
    return nullptr;
}
void TableRegistry::add(HFT) {}
}  // namespace vexa::host
#endif

namespace {

int warnings = 0;  // what the reader said about the content since the count was reset

struct Env {
    QPDF q;
    QPDFObjectHandle res;
    Env() {
        setWarningSink([](const std::string&) { ++warnings; });
        q.emptyPDF();
        res = QPDFObjectHandle::parse(
            "<< /ExtGState << /GS1 << /OP true /SMask /None >> >>"
            " /ColorSpace << /CS0 [/Separation /All /DeviceCMYK << /FunctionType 2 /Domain [0 1]"
            " /C0 [0 0 0 0] /C1 [1 1 1 1] /N 1 >>] >>"
            " /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>"
            " /Properties << /P1 << /boxnum 1 >> >> >>");
        auto form = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, "/Fm Do 0 0 1 1 re f"));
        form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
        form.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 1 1]"));
        auto xo = QPDFObjectHandle::newDictionary();
        xo.replaceKey("/Fm", form);
        res.replaceKey("/XObject", xo);
        form.getDict().replaceKey("/Resources", res);
    }
};

void roundTrip(Env& env, const std::string& input) {
    pde::Ref<pde::Content> c;
    warnings = 0;
    try {
        c = pde::parseContent(&env.q, input, env.res);
    } catch (const ASException&) {
        return;  // a limit: fine
    }
    // forms are read on request, with the cycle check
    for (auto& e : c->elems)
        if (e->type == kPDEForm) {
            auto* f = static_cast<pde::Form*>(e.get());
            try {
                pde::readForm(&env.q, f->xobj, f->resources, {});
            } catch (const ASException&) {
            }
        }
    pde::WriteOptions full;
    full.forceFull = true;
    c->modified = true;
    std::string a = pde::writeContent(*c, env.q).bytes;
    if (a != input) abort();  // nothing changed: the bytes that were read
    std::string b = pde::writeContent(*c, env.q, full).bytes;
    bool wellFormed = warnings == 0;
    // what we write must read again; written anew from well-formed content, it reads back
    // to the same number of elements (damaged content is repaired, and the repair may
    // regroup what was out of place)
    auto ca = pde::parseContent(&env.q, a, env.res);
    auto cb = pde::parseContent(&env.q, b, env.res);
    auto cb2 = pde::parseContent(&env.q, pde::writeContent(*cb, env.q, full).bytes, env.res);
    if (wellFormed && cb->elems.size() != cb2->elems.size()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Env env;
    if (size > (1 << 20)) return 0;
    roundTrip(env, std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
