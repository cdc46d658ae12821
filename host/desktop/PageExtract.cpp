#include "desktop/PageExtract.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/Buffer.hh>

#include <exception>
#include <memory>

#include "core/Core.h"
#include "doc/DocInternal.h"

namespace vexa::host::desktop {
namespace {

// A value of the source as a value of `out`: indirect objects are copied with what
// they reference (references to pages become null), direct ones are rebuilt.
QPDFObjectHandle copyInto(QPDF& out, QPDFObjectHandle h, int depth = 0) {
    if (depth > 100) return QPDFObjectHandle::newNull();
    if (h.isIndirect()) return out.copyForeignObject(h);
    if (h.isArray()) {
        QPDFObjectHandle a = QPDFObjectHandle::newArray();
        for (int i = 0, n = h.getArrayNItems(); i < n; ++i)
            a.appendItem(copyInto(out, h.getArrayItem(i), depth + 1));
        return a;
    }
    if (h.isDictionary()) {
        QPDFObjectHandle d = QPDFObjectHandle::newDictionary();
        for (const std::string& key : h.getKeys())
            d.replaceKey(key, copyInto(out, h.getKey(key), depth + 1));
        return d;
    }
    if (h.isBool()) return QPDFObjectHandle::newBool(h.getBoolValue());
    if (h.isInteger()) return QPDFObjectHandle::newInteger(h.getIntValue());
    if (h.isReal()) return QPDFObjectHandle::newReal(h.getRealValue());
    if (h.isName()) return QPDFObjectHandle::newName(h.getName());
    if (h.isString()) return QPDFObjectHandle::newString(h.getStringValue());
    return QPDFObjectHandle::newNull();
}

// An attribute a page inherits from its ancestors in the page tree.
QPDFObjectHandle inherited(QPDFObjectHandle page, const std::string& key) {
    QPDFObjectHandle node = page;
    for (int depth = 0; depth < 100 && node.isDictionary(); ++depth) {
        if (node.hasKey(key)) return node.getKey(key);
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

struct PageHold {
    PDPage page;
    PageHold(PDDoc doc, int index) : page(doc::pdModelTable()->PDDocAcquirePage(doc, index)) {}
    ~PageHold() { doc::pdModelTable()->PDPageRelease(page); }
};

}  // namespace

QByteArray extractPage(PDDoc doc, int index) {
    try {
        if (!doc::isLiveDoc(doc) || index < 0 ||
            index >= doc::pdModelTable()->PDDocGetNumPages(doc))
            return {};
        PageHold hold(doc, index);
        QPDFObjectHandle src = doc::pageObject(hold.page);
        QPDF out;
        out.emptyPDF();
        QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
        for (const std::string& key : src.getKeys()) {
            if (key == "/Parent" || key == "/B" || key == "/StructParents" || key == "/Thumb")
                continue;
            dict.replaceKey(key, copyInto(out, src.getKey(key)));
        }
        for (const char* key : {"/Resources", "/MediaBox", "/CropBox", "/Rotate"}) {
            if (dict.hasKey(key)) continue;
            QPDFObjectHandle v = inherited(src, key);
            if (!v.isNull()) dict.replaceKey(key, copyInto(out, v));
        }
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        QPDFPageDocumentHelper(out).addPage(QPDFPageObjectHelper(out.makeIndirectObject(dict)),
                                            false);
        QPDFWriter w(out);
        w.setOutputMemory();
        w.setDecodeLevel(qpdf_dl_none);
        w.setCompressStreams(false);
        w.setObjectStreamMode(qpdf_o_disable);
        w.setQDFMode(false);
        w.write();
        std::unique_ptr<Buffer> buffer(w.getBuffer());
        return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()),
                          static_cast<qsizetype>(buffer->getSize()));
    } catch (const ASException& e) {
        warn("a page could not be prepared for display: " + errorText(e.code()));
    } catch (const std::exception& e) {
        warn(std::string("a page could not be prepared for display: ") + e.what());
    }
    return {};
}

}  // namespace vexa::host::desktop
