#include "Sources/SeparationInfo.h"

#include <cstring>
#include <string>

#include "Common/BoxDesc.h"
#include "settings/MyDialog.h"
#include "Common/PageContent.h"

namespace {

enum { kText = 4 };
const ASInt32 kMaxName = 255;

struct StringDlg {
    char* text;
    ASInt32 size;
};

void stringOK(CMyDialog* dialog, ASInt32, void* data) {
    auto* d = static_cast<StringDlg*>(data);
    char buf[kMaxName + 1] = "";
    dialog->getText(kText, buf, sizeof buf);
    std::snprintf(d->text, static_cast<size_t>(d->size), "%s", buf);
    dialog->endDialog(kCmdOK);
}

void stringSetup(CMyDialog* dialog, void* data) {
    auto* d = static_cast<StringDlg*>(data);
    dialog->setText(kText, d->text);
    dialog->setFocus(kText);
    dialog->selectText(kText);
    dialog->setHandler(1, stringOK, data);
}

}  // namespace

bool getStringFromDlg(char* text, ASInt32 size) {
    if (!text || size < 1) return false;
    StringDlg d{text, size > kMaxName + 1 ? kMaxName + 1 : size};
    return doModalDialog("GETSTRING", stringSetup, &d) == kCmdOK;
}

void getSepInfoName(PDDoc doc, char* name) {
    name[0] = 0;
    if (!doc || pdDocGetNumPages(doc) < 1) return;
    char label[257] = "";
    gPDModelHFT->PDDocGetLabelForPageNum(doc, 0, label, sizeof label);
    const char* colon = std::strchr(label, ':');
    if (!colon) return;
    size_t len = static_cast<size_t>(colon - label);
    if (len > static_cast<size_t>(kMaxName)) len = kMaxName;
    std::memcpy(name, label, len);
    name[len] = 0;
}

void setSepInfo(PDDoc doc, const char* name) {
    if (!doc || !name) return;
    setCosDoc(doc);
    ASInt32 n = pdDocGetNumPages(doc);
    if (!name[0]) {
        for (ASInt32 i = 0; i < n; ++i) {
            gPDModelHFT->PDDocRemovePageLabel(doc, i);
            CPage page(doc, i);
            CosObj dict = pdPageGetCosObj(page.getPage());
            if (cosDictKnown(dict, "SeparationInfo"))
                cosDictRemove(dict, asAtomFromString("SeparationInfo"));
        }
    } else {
        std::string prefix = std::string(name) + ":";
        ASAtom decimal = asAtomFromString("D");
        for (ASInt32 i = 0; i < n; ++i) {
            CosObj label = gPDModelHFT->PDPageLabelNew(doc, decimal, prefix.c_str(),
                                                       static_cast<ASInt32>(prefix.size()), i + 1);
            gPDModelHFT->PDDocSetPageLabel(doc, i, label);
            CPage page(doc, i);
            CosObj dict = pdPageGetCosObj(page.getPage());
            CosObj info = cosNewDict(gCosDoc, false, 2);
            putKeyValue(info, "DeviceColorant", name, true);
            CosObj pages = cosNewArray(gCosDoc, true, 1);
            cosArrayInsert(pages, 0, dict);
            putKeyValue(info, "Pages", pages);
            putKeyValue(dict, "SeparationInfo", info);
        }
    }
    pdDocSetFlags(doc, PDDocNeedsSave);
}

bool addSepInfo() {
    return addSepInfo(getFrontPDDoc());
}

bool addSepInfo(PDDoc doc) {
    if (!doc) return true;
    char name[kMaxName + 1];
    getSepInfoName(doc, name);
    if (!getStringFromDlg(name, sizeof name)) return true;
    setSepInfo(doc, name);
    return true;
}
