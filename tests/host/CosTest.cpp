#include <gtest/gtest.h>

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdlib>
#include <cstring>

#include "HostTables.h"
#include "TestSupport.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using vexa::test::A;
using vexa::test::C;
using vexa::test::codeOf;
using vexa::test::P;

namespace {

// Host memory handed out by the getters, as a string.
template <class F>
std::string hostBytes(F&& get) {
    ASSize_t n = 0;
    char* p = get(&n);
    std::string s(p, n);
    std::free(p);
    return s;
}
std::string data(CosObj s) {
    return hostBytes([&](ASSize_t* n) { return doc::cosTable()->CosStreamGetData(s, n); });
}
std::string rawData(CosObj s) {
    return hostBytes([&](ASSize_t* n) { return doc::cosTable()->CosStreamGetRawData(s, n); });
}

struct Docs : ::testing::Test {
    PDDoc a = P()->PDDocCreate();
    PDDoc b = P()->PDDocCreate();
    CosDoc ca = P()->PDDocGetCosDoc(a);
    CosDoc cb = P()->PDDocGetCosDoc(b);
    ~Docs() override {
        if (doc::isLiveDoc(a)) P()->PDDocClose(a);
        if (doc::isLiveDoc(b)) P()->PDDocClose(b);
    }
};

}  // namespace

TEST_F(Docs, NewObjectsKeepTypeValueAndDocument) {
    CosObj i = C()->CosNewInteger(ca, false, -42);
    CosObj f = C()->CosNewFixed(ca, false, fixedOne + fixedHalf);
    CosObj r = C()->CosNewFloat(ca, false, 0.25f);
    CosObj t = C()->CosNewBoolean(ca, true, true);
    CosObj n = C()->CosNewName(ca, false, A("PANTONE 185 U"));
    const char bytes[] = {'a', 0, '\xfe', 'z'};
    CosObj s = C()->CosNewString(ca, false, bytes, sizeof bytes);
    EXPECT_EQ(C()->CosObjGetType(i), CosInteger);
    EXPECT_EQ(C()->CosObjGetType(f), CosFixed);
    EXPECT_EQ(C()->CosObjGetType(t), CosBoolean);
    EXPECT_EQ(C()->CosObjGetType(n), CosName);
    EXPECT_EQ(C()->CosObjGetType(s), CosString);
    EXPECT_EQ(C()->CosObjGetType(CosObj()), CosNull);
    EXPECT_EQ(C()->CosIntegerValue(i), -42);
    EXPECT_EQ(C()->CosFixedValue(f), fixedOne + fixedHalf);
    EXPECT_FLOAT_EQ(C()->CosFloatValue(r), 0.25f);
    EXPECT_TRUE(C()->CosBooleanValue(t));
    EXPECT_STREQ(atomString(C()->CosNameValue(n)), "PANTONE 185 U");
    EXPECT_EQ(hostBytes([&](ASSize_t* n) { return C()->CosCopyStringValue(s, n); }),
              std::string(bytes, sizeof bytes));
    EXPECT_TRUE(C()->CosObjIsIndirect(t));
    EXPECT_FALSE(C()->CosObjIsIndirect(i));
    EXPECT_GT(C()->CosObjGetID(t), 0);
    EXPECT_EQ(C()->CosObjGetDoc(i), ca);
    EXPECT_EQ(doc::pdDocOf(C()->CosObjGetDoc(t)), a);
    EXPECT_EQ(doc::cosDocOfQpdf(doc::handleOf(t).getOwningQPDF()), ca);
    // An indirect object needs a document.
    EXPECT_EQ(codeOf([] { C()->CosNewInteger(nullptr, true, 1); }), cosErrBadDoc);
}

TEST_F(Docs, NumbersConvertAndSaturateAndWrongTypesRaise) {
    CosObj big = C()->CosNewFloat(ca, false, 1e9f);
    CosObj neg = C()->CosNewFloat(ca, false, -2.75f);
    EXPECT_EQ(C()->CosFixedValue(big), fixedPositiveInfinity);
    EXPECT_EQ(C()->CosIntegerValue(neg), -2);  // truncated toward zero
    EXPECT_EQ(C()->CosFixedValue(C()->CosNewInteger(ca, false, 3)), ASInt32ToFixed(3));
    // Fixed numbers are written as reals with enough digits to read back exactly.
    for (ASFixed v : {ASFixed(1), ASFixed(0x8001), -ASFixed(0x12345), fixedOne / 3,
                      ASFixed(0x7FFFFFFF), -fixedTen})
        EXPECT_EQ(C()->CosFixedValue(C()->CosNewFixed(ca, false, v)), v) << v;
    CosObj name = C()->CosNewName(ca, false, A("X"));
    EXPECT_EQ(codeOf([&] { C()->CosIntegerValue(name); }), cosErrExpectedNumber);
    EXPECT_EQ(codeOf([&] { C()->CosBooleanValue(name); }), cosErrExpectedBoolean);
    EXPECT_EQ(codeOf([&] { C()->CosNameValue(CosObj()); }), cosErrExpectedName);
    EXPECT_EQ(codeOf([&] { C()->CosStringValue(name, nullptr, 0); }), cosErrExpectedString);
    EXPECT_NE(errorText(cosErrExpectedNumber).find("number"), std::string::npos);

    // String copies are bounded by the buffer and report the full length.
    CosObj s = C()->CosNewString(ca, false, "abcdef", 6);
    char buf[4];
    EXPECT_EQ(C()->CosStringValue(s, buf, sizeof buf), 6u);
    EXPECT_STREQ(buf, "abc");
}

TEST_F(Docs, DictionariesReplaceRemoveAndEnumerate) {
    CosObj d = C()->CosNewDict(ca, true, 0);
    C()->CosDictPut(d, A("top"), C()->CosNewInteger(ca, false, 1));
    C()->CosDictPut(d, A("top"), C()->CosNewInteger(ca, false, 2));  // replaces
    C()->CosDictPutKeyString(d, "left", C()->CosNewFixed(ca, false, fixedHalf));
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(d, A("top"))), 2);
    EXPECT_EQ(C()->CosDictLength(d), 2);
    EXPECT_TRUE(C()->CosDictKnown(d, A("left")));
    EXPECT_EQ(C()->CosObjGetType(C()->CosDictGet(d, A("missing"))), CosNull);
    C()->CosDictRemove(d, A("left"));
    C()->CosDictRemove(d, A("never-there"));
    EXPECT_FALSE(C()->CosDictKnown(d, A("left")));
    // Putting null removes.
    C()->CosDictPut(d, A("top"), CosObj());
    EXPECT_EQ(C()->CosDictLength(d), 0);

    for (const char* k : {"b", "c", "a"})
        C()->CosDictPut(d, A(k), C()->CosNewBoolean(ca, false, true));
    std::vector<std::string> keys;
    auto collect = [](CosObj key, CosObj value, ASClientData data) -> ASBool {
        auto* v = static_cast<std::vector<std::string>*>(data);
        EXPECT_EQ(doc::cosTable()->CosObjGetType(value), CosBoolean);
        v->push_back(atomString(doc::cosTable()->CosNameValue(key)));
        return v->size() < 2;
    };
    EXPECT_FALSE(C()->CosObjEnum(d, collect, &keys));
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));

    // Dictionary access on other types raises; on a stream it reaches the stream dictionary.
    CosObj arr = C()->CosNewArray(ca, false, 0);
    EXPECT_EQ(codeOf([&] { C()->CosDictGet(arr, A("x")); }), cosErrExpectedDict);
    EXPECT_EQ(codeOf([&] { C()->CosDictPut(CosObj(), A("x"), arr); }), cosErrExpectedDict);
    CosObj st = C()->CosNewStream(ca, "q Q", 3, CosObj(), CosObj(), CosObj(), false);
    C()->CosDictPut(st, A("Subtype"), C()->CosNewName(ca, false, A("Form")));
    EXPECT_EQ(C()->CosNameValue(C()->CosDictGet(C()->CosStreamDict(st), A("Subtype"))), A("Form"));
}

TEST_F(Docs, ArraysGrowInsertRemoveAndCheckBounds) {
    CosObj a1 = C()->CosNewArray(ca, false, 0);
    C()->CosArrayPut(a1, 2, C()->CosNewInteger(ca, false, 7));  // pads with nulls
    ASSERT_EQ(C()->CosArrayLength(a1), 3);
    EXPECT_EQ(C()->CosObjGetType(C()->CosArrayGet(a1, 0)), CosNull);
    C()->CosArrayInsert(a1, 0, C()->CosNewInteger(ca, false, 5));
    C()->CosArrayInsert(a1, 4, C()->CosNewInteger(ca, false, 9));  // append
    EXPECT_EQ(C()->CosIntegerValue(C()->CosArrayGet(a1, 0)), 5);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosArrayGet(a1, 4)), 9);
    C()->CosArrayRemove(a1, C()->CosNewInteger(ca, false, 7));
    EXPECT_EQ(C()->CosArrayLength(a1), 4);
    C()->CosArrayRemoveNth(a1, 0);
    EXPECT_EQ(C()->CosArrayLength(a1), 3);
    EXPECT_EQ(C()->CosObjGetType(C()->CosArrayGet(a1, 99)), CosNull);
    EXPECT_EQ(codeOf([&] { C()->CosArrayInsert(a1, 5, CosObj()); }), cosErrArrayBounds);
    EXPECT_EQ(codeOf([&] { C()->CosArrayRemoveNth(a1, -1); }), cosErrArrayBounds);
    EXPECT_EQ(codeOf([&] { C()->CosArrayPut(a1, 1 << 30, CosObj()); }), cosErrArrayBounds);
    EXPECT_EQ(codeOf([&] { C()->CosArrayLength(C()->CosNewDict(ca, false, 0)); }),
              cosErrExpectedArray);
}

TEST_F(Docs, EqualityIsDeepForDirectAndIdentityForIndirect) {
    auto rect = [&](int x) {
        CosObj r = C()->CosNewArray(ca, false, 2);
        C()->CosArrayPut(r, 0, C()->CosNewInteger(ca, false, x));
        C()->CosArrayPut(r, 1, C()->CosNewName(ca, false, A("N")));
        return r;
    };
    EXPECT_TRUE(C()->CosObjEqual(rect(1), rect(1)));
    EXPECT_FALSE(C()->CosObjEqual(rect(1), rect(2)));
    CosObj i1 = C()->CosNewDict(ca, true, 0), i2 = C()->CosNewDict(ca, true, 0);
    EXPECT_FALSE(C()->CosObjEqual(i1, i2));
    CosObj holder = C()->CosNewArray(ca, false, 1);
    C()->CosArrayPut(holder, 0, i1);
    EXPECT_TRUE(C()->CosObjEqual(C()->CosArrayGet(holder, 0), i1));
}

TEST_F(Docs, StreamsEncodeDecodeAndReplaceData) {
    std::string content(5000, 'x');
    CosObj attr = C()->CosNewDict(ca, false, 0);
    C()->CosDictPut(attr, A("Subtype"), C()->CosNewName(ca, false, A("Form")));
    CosObj flate = C()->CosNewName(ca, false, A("FlateDecode"));
    CosObj s = C()->CosNewStream(ca, content.data(), content.size(), attr, flate, CosObj(), false);
    EXPECT_TRUE(C()->CosObjIsIndirect(s));
    EXPECT_EQ(data(s), content);
    std::string raw = rawData(s);
    EXPECT_LT(raw.size(), content.size());
    CosObj sd = C()->CosStreamDict(s);
    EXPECT_EQ(C()->CosNameValue(C()->CosDictGet(sd, A("Filter"))), A("FlateDecode"));
    EXPECT_EQ(C()->CosNameValue(C()->CosDictGet(sd, A("Subtype"))), A("Form"));

    // Already encoded data is stored as it is.
    CosObj s2 = C()->CosNewStream(ca, raw.data(), raw.size(), CosObj(), flate, CosObj(), true);
    EXPECT_EQ(data(s2), content);

    // Replacing without filters drops /Filter.
    C()->CosStreamSetData(s, "0 0 m", 5, CosObj(), CosObj(), false);
    EXPECT_EQ(data(s), "0 0 m");
    EXPECT_FALSE(C()->CosDictKnown(C()->CosStreamDict(s), A("Filter")));

    // Filter chains encode last filter first; unknown encoders are refused.
    CosObj chain = C()->CosNewArray(ca, false, 2);
    C()->CosArrayPut(chain, 0, C()->CosNewName(ca, false, A("ASCIIHexDecode")));
    C()->CosArrayPut(chain, 1, flate);
    C()->CosStreamSetData(s, content.data(), content.size(), chain, CosObj(), false);
    EXPECT_EQ(data(s), content);
    EXPECT_EQ(codeOf([&] {
                  C()->CosNewStream(ca, "x", 1, CosObj(),
                                    C()->CosNewName(ca, false, A("DCTDecode")), CosObj(), false);
              }),
              cosErrUnsupportedFilter);

    // Data that does not decode is an error, not garbage.
    CosObj bad = C()->CosNewStream(ca, "not flate", 9, CosObj(), flate, CosObj(), true);
    ASSize_t n = 0;
    EXPECT_EQ(codeOf([&] { free(C()->CosStreamGetData(bad, &n)); }), cosErrStreamData);
    EXPECT_EQ(codeOf([&] { C()->CosStreamGetData(C()->CosNewDict(ca, false, 0), &n); }),
              cosErrExpectedStream);
}

TEST_F(Docs, TheStartOfStreamDataIsDecodedAsFarAsAsked) {
    std::string content;
    for (int i = 0; content.size() < 5000; ++i) content += std::to_string(i * 7919 % 1000) + " ";
    auto start = [&](CosObj s, ASSize_t max) {
        return hostBytes([&](ASSize_t* n) { return C()->CosStreamGetDataStart(s, max, n); });
    };
    CosObj flate = C()->CosNewName(ca, false, A("FlateDecode"));
    CosObj chain = C()->CosNewArray(ca, false, 2);
    C()->CosArrayPut(chain, 0, C()->CosNewName(ca, false, A("ASCIIHexDecode")));
    C()->CosArrayPut(chain, 1, flate);
    // Inflated from the stored bytes (Flate alone), decoded whole and cut (a filter chain),
    // or cut (no filter): the same bytes, a shorter length only when the data is whole.
    for (CosObj filters : {flate, chain, CosObj()}) {
        CosObj s = C()->CosNewStream(ca, content.data(), content.size(), CosObj(), filters,
                                     CosObj(), false);
        EXPECT_EQ(start(s, 1024), content.substr(0, 1024));
        EXPECT_EQ(start(s, 1), content.substr(0, 1));
        EXPECT_EQ(start(s, content.size()), content);
        EXPECT_EQ(start(s, 1 << 20), content);
    }
    // Data that does not decode fails as the whole data does.
    CosObj bad = C()->CosNewStream(ca, "not flate", 9, CosObj(), flate, CosObj(), true);
    ASSize_t n = 0;
    EXPECT_EQ(codeOf([&] { free(C()->CosStreamGetDataStart(bad, 4, &n)); }), cosErrStreamData);
    EXPECT_EQ(codeOf([&] { C()->CosStreamGetDataStart(C()->CosNewDict(ca, false, 0), 4, &n); }),
              cosErrExpectedStream);
    // More than the host hands out is refused however little of it is there.
    std::size_t old = doc::setDecodedStreamLimit(16);
    EXPECT_EQ(codeOf([&] { free(C()->CosStreamGetDataStart(bad, 17, &n)); }), cosErrStreamData);
    CosObj s =
        C()->CosNewStream(ca, content.data(), content.size(), CosObj(), flate, CosObj(), false);
    EXPECT_EQ(codeOf([&] { free(C()->CosStreamGetDataStart(s, 17, &n)); }), genErrLimitExceeded);
    EXPECT_EQ(start(s, 16), content.substr(0, 16));
    doc::setDecodedStreamLimit(old);
}

TEST_F(Docs, DecodedStreamDataIsBounded) {
    // 64 MiB of zeros compress to a few kilobytes.
    std::string packed;
    {
        Pl_String out("out", nullptr, packed);
        Pl_Flate f("f", &out, Pl_Flate::a_deflate);
        std::string chunk(1 << 20, '\0');
        for (int i = 0; i < 64; ++i) f.writeString(chunk);
        f.finish();
    }
    CosObj s = C()->CosNewStream(ca, packed.data(), packed.size(), CosObj(),
                                 C()->CosNewName(ca, false, A("FlateDecode")), CosObj(), true);
    std::size_t old = doc::setDecodedStreamLimit(std::size_t(16) << 20);
    ASSize_t n = 0;
    EXPECT_EQ(codeOf([&] { free(C()->CosStreamGetData(s, &n)); }), genErrLimitExceeded);
    doc::setDecodedStreamLimit(old);
    char* all = C()->CosStreamGetData(s, &n);
    EXPECT_EQ(n, std::size_t(64) << 20);
    free(all);
}

TEST_F(Docs, ObjectsOfAnotherDocumentMustBeCopied) {
    CosObj foreign = C()->CosNewDict(cb, true, 0);
    CosObj root = C()->CosDocGetRoot(ca);
    EXPECT_EQ(codeOf([&] { C()->CosDictPut(root, A("X"), foreign); }), cosErrOtherDoc);
    // Also when the reference hides inside a direct container.
    CosObj wrapper = C()->CosNewArray(cb, false, 1);
    C()->CosArrayPut(wrapper, 0, foreign);
    EXPECT_EQ(codeOf([&] { C()->CosDictPut(root, A("X"), wrapper); }), cosErrOtherDoc);
    CosObj copy = C()->CosObjCopy(wrapper, ca, true);
    C()->CosDictPut(root, A("X"), copy);
    EXPECT_EQ(C()->CosObjGetDoc(C()->CosArrayGet(C()->CosDictGet(root, A("X")), 0)), ca);
}

TEST_F(Docs, CopyIntoAnotherDocumentCopiesSharedObjectsOnce) {
    CosObj font = C()->CosNewDict(cb, true, 0);
    C()->CosDictPut(font, A("Type"), C()->CosNewName(cb, false, A("Font")));
    CosObj r1 = C()->CosNewDict(cb, false, 0), r2 = C()->CosNewDict(cb, false, 0);
    C()->CosDictPut(r1, A("F1"), font);
    C()->CosDictPut(r2, A("F9"), font);
    CosObj c1 = C()->CosObjCopy(r1, ca, true);
    CosObj c2 = C()->CosObjCopy(r2, ca, true);
    CosObj f1 = C()->CosDictGet(c1, A("F1")), f2 = C()->CosDictGet(c2, A("F9"));
    EXPECT_EQ(C()->CosObjGetDoc(f1), ca);
    EXPECT_TRUE(C()->CosObjEqual(f1, f2));  // the same destination object
    EXPECT_FALSE(C()->CosObjEqual(f1, font));
    // The copy is deep: changing it leaves the source alone.
    C()->CosDictPut(f1, A("Name"), C()->CosNewName(ca, false, A("Changed")));
    EXPECT_FALSE(C()->CosDictKnown(font, A("Name")));
}

TEST_F(Docs, CopyWithinOneDocumentHonoursCopyIndirect) {
    CosObj inner = C()->CosNewDict(ca, true, 0);
    CosObj outer = C()->CosNewDict(ca, true, 0);
    C()->CosDictPut(outer, A("In"), inner);
    C()->CosDictPut(outer, A("Self"), outer);  // a cycle
    CosObj shallow = C()->CosObjCopy(outer, ca, false);
    EXPECT_TRUE(C()->CosObjIsIndirect(shallow));
    EXPECT_FALSE(C()->CosObjEqual(shallow, outer));
    EXPECT_TRUE(C()->CosObjEqual(C()->CosDictGet(shallow, A("In")), inner));
    CosObj deep = C()->CosObjCopy(outer, ca, true);
    EXPECT_FALSE(C()->CosObjEqual(C()->CosDictGet(deep, A("In")), inner));
    EXPECT_TRUE(C()->CosObjEqual(C()->CosDictGet(deep, A("Self")), deep));
}

TEST_F(Docs, CopiesOutliveTheirClosedSourceAndDestroyedOriginals) {
    vexa::test::TempDir tmp;
    std::string content = "0 0 m 100 100 l S";
    CosObj s = C()->CosNewStream(cb, content.data(), content.size(), CosObj(),
                                 C()->CosNewName(cb, false, A("FlateDecode")), CosObj(), false);
    CosObj copy = C()->CosObjCopy(s, ca, true);
    C()->CosObjDestroy(s);  // the source object reads as null now
    EXPECT_EQ(C()->CosObjGetType(s), CosNull);
    P()->PDDocClose(b);
    s = CosObj();
    C()->CosDictPut(C()->CosDocGetRoot(ca), A("Kept"), copy);
    std::string out = tmp.file("out.pdf");
    P()->PDDocSave(a, PDSaveFull, out.c_str());
    std::string log;
    EXPECT_EQ(vexa::test::runCommand("qpdf --check " + out, &log), 0) << log;
    PDDoc re = P()->PDDocOpen(out.c_str(), true);
    CosObj kept = C()->CosDictGet(C()->CosDocGetRoot(P()->PDDocGetCosDoc(re)), A("Kept"));
    EXPECT_EQ(data(kept), content);
    P()->PDDocClose(re);
}

TEST_F(Docs, EqualValuesAreOneObjectAndEveryHolderKeepsItsOwn) {
    auto same = [](CosObj x, CosObj y) {
        return doc::handleOf(x).isSameObjectAs(doc::handleOf(y));
    };
    CosObj i = C()->CosNewInteger(ca, false, 7);
    EXPECT_TRUE(same(i, C()->CosNewInteger(cb, false, 7)));
    EXPECT_TRUE(
        same(C()->CosNewFixed(ca, false, fixedHalf), C()->CosNewFixed(ca, false, fixedHalf)));
    EXPECT_TRUE(
        same(C()->CosNewName(ca, false, A("XObject")), C()->CosNewName(cb, false, A("XObject"))));
    EXPECT_TRUE(same(C()->CosNewString(ca, false, "TN", 2), C()->CosNewString(ca, false, "TN", 2)));
    EXPECT_FALSE(same(i, C()->CosNewInteger(ca, false, 8)));
    EXPECT_FALSE(same(C()->CosNewInteger(ca, false, 1), C()->CosNewBoolean(ca, false, true)));
    // An indirect value is an object of its own; the direct one stays direct.
    CosObj ind = C()->CosNewInteger(ca, true, 7);
    EXPECT_TRUE(C()->CosObjIsIndirect(ind));
    EXPECT_FALSE(same(i, ind));
    EXPECT_FALSE(C()->CosObjIsIndirect(C()->CosNewInteger(ca, false, 7)));

    // Holders of one value: replacing it in one leaves the others alone.
    CosObj d = C()->CosNewDict(ca, true, 0), arr = C()->CosNewArray(ca, true, 0);
    C()->CosDictPut(d, A("N"), i);
    C()->CosArrayInsert(arr, 0, C()->CosNewInteger(ca, false, 7));
    C()->CosDictPut(d, A("N"), C()->CosNewInteger(ca, false, 9));
    EXPECT_EQ(C()->CosIntegerValue(C()->CosArrayGet(arr, 0)), 7);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(d, A("N"))), 9);

    // Values copied from another document (in a direct dictionary, as page resources
    // are), and long strings, which are not shared.
    std::string longText(300, 'x');
    CosObj src = C()->CosNewDict(cb, false, 0);
    C()->CosDictPut(src, A("N"), C()->CosNewInteger(cb, false, 7));
    C()->CosDictPut(src, A("Long"), C()->CosNewString(cb, false, longText.data(), longText.size()));
    CosObj copy = C()->CosObjCopy(src, ca, true);
    EXPECT_TRUE(same(C()->CosDictGet(copy, A("N")), i));
    ASSERT_EQ(C()->CosObjGetType(C()->CosDictGet(copy, A("Long"))), CosString);
    EXPECT_EQ(hostBytes([&](ASSize_t* n) {
                  return C()->CosCopyStringValue(C()->CosDictGet(copy, A("Long")), n);
              }),
              longText);

    // The file holds each value in every place.
    CosObj root = C()->CosDocGetRoot(ca);
    C()->CosDictPut(root, A("D"), d);
    C()->CosDictPut(root, A("A"), arr);
    C()->CosDictPut(root, A("C"), copy);
    vexa::test::TempDir tmp;
    std::string out = tmp.file("values.pdf");
    P()->PDDocSave(a, PDSaveFull, out.c_str());
    std::string log;
    EXPECT_EQ(vexa::test::runCommand("qpdf --check " + out, &log), 0) << log;
    PDDoc re = P()->PDDocOpen(out.c_str(), true);
    CosObj r = C()->CosDocGetRoot(P()->PDDocGetCosDoc(re));
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(C()->CosDictGet(r, A("D")), A("N"))), 9);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosArrayGet(C()->CosDictGet(r, A("A")), 0)), 7);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(C()->CosDictGet(r, A("C")), A("N"))), 7);
    P()->PDDocClose(re);
}

TEST_F(Docs, ObjectsTakenInRaiseTheVersionAndObjectStreamsComeWithIt) {
    vexa::test::TempDir tmp;
    // A file of version 1.6 and one of 1.3.
    auto saved = [&](PDDoc d, ASInt32 minor, const std::string& name) {
        PDDocSaveParamsRec p{};
        p.size = sizeof p;
        p.saveFlags = PDSaveFull | PDSaveCopy;
        p.major = 1;
        p.minor = minor;
        std::string path = tmp.file(name);
        p.newPath = path.c_str();
        C()->CosDictPut(C()->CosDocGetRoot(P()->PDDocGetCosDoc(d)), A("Mark"),
                        C()->CosNewDict(P()->PDDocGetCosDoc(d), true, 0));
        P()->PDDocSaveWithParams(d, &p);
        return P()->PDDocOpen(path.c_str(), false);
    };
    PDDoc v16 = saved(b, 6, "v16.pdf");
    PDDoc v13 = saved(P()->PDDocCreate(), 3, "v13.pdf");
    auto version = [](PDDoc d) {
        ASInt32 major = 0, minor = 0;
        P()->PDDocGetVersion(d, &major, &minor);
        return major * 10 + minor;
    };
    ASSERT_EQ(version(v16), 16);
    ASSERT_EQ(version(v13), 13);
    auto mark = [](PDDoc d) {
        return C()->CosDictGet(C()->CosDocGetRoot(P()->PDDocGetCosDoc(d)), A("Mark"));
    };

    // Taking objects of the 1.3 file leaves a new document at 1.3, without object
    // streams; of the 1.6 file, it becomes 1.6 and is written with them.
    C()->CosDictPut(C()->CosDocGetRoot(ca), A("From13"), C()->CosObjCopy(mark(v13), ca, true));
    EXPECT_EQ(version(a), 13);
    std::string plain = tmp.file("plain.pdf");
    P()->PDDocSave(a, PDSaveFull | PDSaveCopy, plain.c_str());
    EXPECT_EQ(vexa::test::readFile(plain).substr(0, 8), "%PDF-1.3");
    EXPECT_EQ(vexa::test::readFile(plain).find("/ObjStm"), std::string::npos);
    C()->CosDictPut(C()->CosDocGetRoot(ca), A("From16"), C()->CosObjCopy(mark(v16), ca, true));
    EXPECT_EQ(version(a), 16);
    C()->CosDictPut(C()->CosDocGetRoot(ca), A("Again13"), C()->CosObjCopy(mark(v13), ca, true));
    EXPECT_EQ(version(a), 16);  // never lowered
    std::string packed = tmp.file("packed.pdf");
    P()->PDDocSave(a, PDSaveFull | PDSaveCopy, packed.c_str());
    EXPECT_EQ(vexa::test::readFile(packed).substr(0, 8), "%PDF-1.6");
    EXPECT_NE(vexa::test::readFile(packed).find("/ObjStm"), std::string::npos);
    std::string log;
    EXPECT_EQ(vexa::test::runCommand("qpdf --check " + packed, &log), 0) << log;
    // A version asked for by the caller is written as asked.
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull | PDSaveCopy;
    p.major = 1;
    p.minor = 4;
    std::string asked = tmp.file("asked.pdf");
    p.newPath = asked.c_str();
    P()->PDDocSaveWithParams(a, &p);
    EXPECT_EQ(vexa::test::readFile(asked).substr(0, 8), "%PDF-1.4");
    EXPECT_EQ(vexa::test::readFile(asked).find("/ObjStm"), std::string::npos);
    P()->PDDocClose(v16);
    P()->PDDocClose(v13);
}

TEST_F(Docs, ChangesSetTheModifiedFlagAndReadsDoNot) {
    P()->PDDocClearFlags(a, PDDocNeedsSave);
    CosObj root = C()->CosDocGetRoot(ca);
    C()->CosDictGet(root, A("Pages"));
    C()->CosObjEnum(
        root, [](CosObj, CosObj, ASClientData) -> ASBool { return true; }, nullptr);
    EXPECT_EQ(P()->PDDocGetFlags(a) & PDDocNeedsSave, 0u);
    C()->CosDictPut(root, A("Vexa"), C()->CosNewDict(ca, false, 0));
    EXPECT_NE(P()->PDDocGetFlags(a) & PDDocNeedsSave, 0u);
}

TEST_F(Docs, StaleHandlesRaiseInsteadOfCrashing) {
    P()->PDDocClose(b);
    EXPECT_EQ(codeOf([&] { C()->CosDocGetRoot(cb); }), cosErrBadDoc);
    EXPECT_EQ(codeOf([&] { C()->CosNewDict(cb, false, 0); }), cosErrBadDoc);
    EXPECT_EQ(codeOf([&] { P()->PDDocGetNumPages(b); }), pdErrBadDoc);
    P()->PDDocClose(b);  // a second close is reported, not raised
    // Objects read before the close stay usable.
    CosObj root = C()->CosDocGetRoot(ca);
    P()->PDDocClose(a);
    EXPECT_EQ(C()->CosObjGetType(C()->CosDictGet(root, A("Pages"))), CosDict);
    EXPECT_EQ(doc::pdDocOf(C()->CosObjGetDoc(root)), nullptr);
}

// VEXA_TEST_WARNINGS=1 prints the host's warnings while the tests run.
static const bool gPrintWarnings = [] {
    if (std::getenv("VEXA_TEST_WARNINGS"))
        setWarningSink(
            [](const std::string& w) { std::fprintf(stderr, "warning: %s\n", w.c_str()); });
    return true;
}();
