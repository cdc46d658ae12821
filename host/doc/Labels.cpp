// Page labels: the catalog's /PageLabels number tree, read with QPDF's number-tree
// helper and written back as one flat /Nums array.
#include <qpdf/QPDFNumberTreeObjectHelper.hh>

#include <cstring>

#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

using LabelMap = std::map<long long, QPDFObjectHandle>;

LabelMap readLabels(QPDF& q) {
    LabelMap out;
    QPDFObjectHandle tree = q.getRoot().getKey("/PageLabels");
    if (!tree.isDictionary()) return out;
    try {
        QPDFNumberTreeObjectHelper helper(tree, q);
        for (auto& [k, v] : helper.getAsMap())
            if (v.isDictionary()) out[k] = v;
    } catch (const std::exception& e) {
        warn(std::string("page labels cannot be read: ") + e.what());
        out.clear();
    }
    return out;
}

bool isDefaultRange(QPDFObjectHandle v) {
    if (!v.isDictionary()) return false;
    for (auto& k : v.getKeys()) {
        QPDFObjectHandle e = v.getKey(k);
        if (k == "/S" && e.isName() && e.getName() == "/D") continue;
        if (k == "/St" && e.isInteger() && e.getIntValue() == 1) continue;
        if (k == "/Type") continue;
        return false;
    }
    return v.hasKey("/S");
}

QPDFObjectHandle defaultRange() {
    QPDFObjectHandle d = QPDFObjectHandle::newDictionary();
    d.replaceKey("/S", QPDFObjectHandle::newName("/D"));
    return d;
}

// Reading the whole tree for every label would make a document with a label per page
// quadratic to build and to read: the labels are kept with the document while its
// catalog still holds the tree they came from.
bool cacheValid(_t_PDDoc* d, QPDFObjectHandle tree) {
    LabelCache& c = d->labelCache;
    if (c.items < 0) return false;
    if (!tree.isDictionary()) return c.tree.isNull();
    if (c.tree.isNull() || !tree.isSameObjectAs(c.tree)) return false;
    QPDFObjectHandle nums = tree.getKey("/Nums");
    if (!nums.isArray()) return c.nums.isNull();
    return !c.nums.isNull() && nums.isSameObjectAs(c.nums) && nums.getArrayNItems() == c.items;
}

void remember(_t_PDDoc* d, QPDFObjectHandle tree, LabelMap labels) {
    LabelCache& c = d->labelCache;
    c.tree = tree.isDictionary() ? tree : QPDFObjectHandle::newNull();
    QPDFObjectHandle nums = c.tree.isNull() ? QPDFObjectHandle::newNull() : tree.getKey("/Nums");
    c.nums = nums.isArray() ? nums : QPDFObjectHandle::newNull();
    c.items = c.nums.isNull() ? 0 : c.nums.getArrayNItems();
    c.labels = std::move(labels);
}

const LabelMap& labelsOf(_t_PDDoc* d) {
    QPDF& q = *d->cos->qpdf;
    QPDFObjectHandle tree = q.getRoot().getKey("/PageLabels");
    if (!cacheValid(d, tree)) remember(d, tree, readLabels(q));
    return d->labelCache.labels;
}

void writeLabels(QPDF& q, LabelMap labels) {
    QPDFObjectHandle root = q.getRoot();
    if (labels.empty() || (labels.size() == 1 && labels.count(0) && isDefaultRange(labels[0]))) {
        root.removeKey("/PageLabels");
        return;
    }
    // A label tree must cover the first page.
    if (!labels.count(0)) labels[0] = defaultRange();
    QPDFObjectHandle nums = QPDFObjectHandle::newArray();
    for (auto& [k, v] : labels) {
        nums.appendItem(QPDFObjectHandle::newInteger(k));
        nums.appendItem(v);
    }
    QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
    tree.replaceKey("/Nums", nums);
    root.replaceKey("/PageLabels", tree);
}

void checkLabel(QPDFObjectHandle v) {
    if (!v.isDictionary()) raise(pdErrBadPageLabel);
    QPDFObjectHandle s = v.getKey("/S");
    if (!s.isNull()) {
        if (!s.isName()) raise(pdErrBadPageLabel);
        const std::string& n = s.getName();
        if (n != "/D" && n != "/R" && n != "/r" && n != "/A" && n != "/a") raise(pdErrBadPageLabel);
    }
    QPDFObjectHandle st = v.getKey("/St");
    if (!st.isNull() && !(st.isInteger() && st.getIntValue() >= 1)) raise(pdErrBadPageLabel);
    QPDFObjectHandle p = v.getKey("/P");
    if (!p.isNull() && !p.isString()) raise(pdErrBadPageLabel);
}

std::string roman(long long v, bool upper) {
    static const struct {
        int value;
        const char* text;
    } table[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"},
                 {90, "xc"},  {50, "l"},   {40, "xl"}, {10, "x"},   {9, "ix"},
                 {5, "v"},    {4, "iv"},   {1, "i"}};
    std::string out;
    for (auto& t : table)
        while (v >= t.value) {
            out += t.text;
            v -= t.value;
        }
    if (upper)
        for (char& c : out) c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string labelText(QPDFObjectHandle range, long long offset) {
    std::string prefix;
    QPDFObjectHandle p = range.getKey("/P");
    if (p.isString()) prefix = p.getUTF8Value();
    long long start = 1;
    QPDFObjectHandle st = range.getKey("/St");
    if (st.isInteger() && st.getIntValue() >= 1) start = st.getIntValue();
    long long v = start + offset;
    QPDFObjectHandle s = range.getKey("/S");
    std::string style = s.isName() ? s.getName() : "";
    std::string number;
    if (style == "/D") {
        number = std::to_string(v);
    } else if (style == "/R" || style == "/r") {
        number = v <= 100000 ? roman(v, style == "/R") : std::to_string(v);
    } else if (style == "/A" || style == "/a") {
        long long count = (v - 1) / 26 + 1;
        if (count > 1000) {
            number = std::to_string(v);
        } else {
            char c = static_cast<char>((style == "/A" ? 'A' : 'a') + (v - 1) % 26);
            number.assign(static_cast<std::size_t>(count), c);
        }
    }
    return prefix + number;
}

}  // namespace

CosObj pdPageLabelNew(PDDoc doc, ASAtom style, const char* prefix, ASInt32 prefixLen,
                      ASInt32 startAt) {
    _t_PDDoc* d = checkDoc(doc);
    if (startAt < 1) raise(pdErrBadPageLabel);
    QPDFObjectHandle label = QPDFObjectHandle::newDictionary();
    if (style != ASAtomNull) {
        std::string s = atomString(style);
        if (s != "D" && s != "R" && s != "r" && s != "A" && s != "a") raise(pdErrBadPageLabel);
        label.replaceKey("/S", QPDFObjectHandle::newName("/" + s));
    }
    if (prefix) {
        std::string text(prefix, prefixLen < 0 ? std::strlen(prefix) : std::size_t(prefixLen));
        if (!text.empty()) label.replaceKey("/P", QPDFObjectHandle::newUnicodeString(text));
    }
    if (startAt != 1) label.replaceKey("/St", QPDFObjectHandle::newInteger(startAt));
    return cosObjFor(d->cos.get(), label);
}

CosObj pdDocGetPageLabel(PDDoc doc, ASInt32 pageNum, ASInt32* firstPageInRange) {
    _t_PDDoc* d = checkDoc(doc);
    if (pageNum < 0 || pageNum >= pdModelTable()->PDDocGetNumPages(doc)) raise(pdErrBadPageNum);
    return guarded(pdErrDamaged, [&] {
        const LabelMap& labels = labelsOf(d);
        auto it = labels.upper_bound(pageNum);
        if (it == labels.begin()) return CosObj();
        --it;
        if (firstPageInRange) *firstPageInRange = static_cast<ASInt32>(it->first);
        return cosObjFor(d->cos.get(), it->second);
    });
}

void pdDocSetPageLabel(PDDoc doc, ASInt32 pageNum, CosObj label) {
    _t_PDDoc* d = checkDoc(doc);
    if (pageNum < 0 || pageNum >= pdModelTable()->PDDocGetNumPages(doc)) raise(pdErrBadPageNum);
    QPDFObjectHandle v = handleOf(label);
    guarded(pdErrBadPageLabel, [&] {
        checkLabel(v);
        QPDF& q = *d->cos->qpdf;
        QPDFObjectHandle copy = copyForeign(d->cos.get(), v);
        if (copy.isSameObjectAs(v) && !v.isIndirect()) copy = v.shallowCopy();
        const LabelMap& current = labelsOf(d);
        LabelCache& c = d->labelCache;
        if (!c.nums.isNull() && current.count(0) && current.rbegin()->first < pageNum) {
            // A label after the last one (sheets appended one after another): the flat
            // array grows in place.
            c.nums.appendItem(QPDFObjectHandle::newInteger(pageNum));
            c.nums.appendItem(copy);
            c.items += 2;
            c.labels[pageNum] = copy;
            return;
        }
        LabelMap labels = current;
        labels[pageNum] = copy;
        writeLabels(q, labels);
        remember(d, q.getRoot().getKey("/PageLabels"), readLabels(q));
    });
    markModified(doc);
}

void pdDocRemovePageLabel(PDDoc doc, ASInt32 pageNum) {
    _t_PDDoc* d = checkDoc(doc);
    if (pageNum < 0 || pageNum >= pdModelTable()->PDDocGetNumPages(doc)) raise(pdErrBadPageNum);
    bool changed = guarded(pdErrDamaged, [&] {
        QPDF& q = *d->cos->qpdf;
        LabelMap labels = labelsOf(d);
        if (!labels.erase(pageNum)) return false;
        if (pageNum == 0 && !labels.empty()) labels[0] = defaultRange();
        writeLabels(q, labels);
        remember(d, q.getRoot().getKey("/PageLabels"), readLabels(q));
        return true;
    });
    if (changed) markModified(doc);
}

ASInt32 pdDocGetLabelForPageNum(PDDoc doc, ASInt32 pageNum, char* buffer, ASInt32 bufferSize) {
    _t_PDDoc* d = checkDoc(doc);
    if (pageNum < 0 || pageNum >= pdModelTable()->PDDocGetNumPages(doc)) raise(pdErrBadPageNum);
    std::string text = guarded(pdErrDamaged, [&] {
        const LabelMap& labels = labelsOf(d);
        auto it = labels.upper_bound(pageNum);
        if (it == labels.begin()) return std::to_string(pageNum + 1);
        --it;
        return labelText(it->second, pageNum - it->first);
    });
    return copyOut(text, buffer, bufferSize);
}

}  // namespace vexa::host::doc
