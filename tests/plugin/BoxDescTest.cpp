// Frame dictionaries: defaults, type mismatches, replace-on-write, the rotation
// rules, rectangles, job-information strings and the selection order.
#include <gtest/gtest.h>

#include <cstring>

#include "Common/BoxDesc.h"
#include "Common/FrameFit.h"
#include "Sources/Container.h"
#include "ModelTestHost.h"
#include "settings/MySettings.h"
#include "Common/Prefs.h"

using vexa::test::fx;
using vexa::test::fxRect;

namespace {

struct BoxDesc : ::testing::Test {
    vexa::test::ModelTestHost host;
    PDEContainer frame = nullptr;

    void SetUp() override { frame = getContainerWithBoxNum(0); }
    void TearDown() override { pdeRelease(frame); }
    CosObj dict() { return getVexaDict(frame); }
};

}  // namespace

TEST_F(BoxDesc, AnEmptyDictionaryReadsAsDefaults) {
    CosObj d = cosNewDict(gCosDoc, true, 0);
    pdeContainerSetDict(frame, &d, false);
    EXPECT_EQ(cosDictLength(dict()), 0);
    EXPECT_EQ(getBoxNum(frame), 0);
    EXPECT_EQ(getFrameRotation(frame), 0);
    EXPECT_FALSE(getRotated(frame));
    FrameValue v = readFrame(frame);
    EXPECT_EQ(v.scale, fixedOne);
    EXPECT_EQ(v.xOff | v.yOff | v.displacement | getMoveLimit(frame), 0);
    ASFixedRect r = getBBox(frame), b = getBleedRect(frame);
    EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
    EXPECT_EQ(b.left | b.top | b.right | b.bottom, 0);
    EXPECT_EQ(getGray(frame) | getKeyValueInt(dict(), "UID", 0) | getSelected2(frame), 0);
}

TEST_F(BoxDesc, NewFramesHaveAnIndirectDictionaryOfTheCurrentDocument) {
    EXPECT_TRUE(cosObjIsIndirect(dict()));
    EXPECT_EQ(cosObjGetDoc(dict()), pdDocGetCosDoc(host.doc));
    EXPECT_NE(getContent(frame), nullptr);
    EXPECT_EQ(pdeContentGetNumElems(getContent(frame)), 0);
}

TEST_F(BoxDesc, OtherElementsHaveNoDictionaryAndReadDefaults) {
    PDEPath path = gPDFEditWriteHFT->PDEPathCreate();
    EXPECT_EQ(cosObjGetType(getVexaDict(path)), CosNull);
    EXPECT_EQ(getBoxNum(path), 0);
    EXPECT_EQ(readFrame(path).scale, fixedOne);
    EXPECT_EQ(getContent(path), nullptr);
    EXPECT_EQ(cosObjGetType(getVexaDict(nullptr)), CosNull);
    pdeRelease(path);
}

TEST_F(BoxDesc, IntegersAcceptStringsButNotReals) {
    putKeyValue(dict(), "boxnum", cosNewFixed(gCosDoc, false, fx(3)));
    EXPECT_EQ(getBoxNum(frame), 0);
    putKeyValue(dict(), "boxnum", "7", false);
    EXPECT_EQ(getBoxNum(frame), 7);
    putKeyValue(dict(), "boxnum", "X", true);  // a name is no number
    EXPECT_EQ(getBoxNum(frame), 0);
    setBoxNum(frame, -9);
    EXPECT_EQ(getBoxNum(frame), -9);
    EXPECT_EQ(cosObjGetType(cosDictGet(dict(), "boxnum")), CosInteger);
    // Fixed values take integers and reals, nothing else.
    putKeyValue(dict(), "scale", 2);
    EXPECT_EQ(readFrame(frame).scale, fixedTwo);
    putKeyValue(dict(), "scale", "0.5", false);
    EXPECT_EQ(readFrame(frame).scale, fixedOne);
    setScale(frame, fixedHalf);
    EXPECT_EQ(readFrame(frame).scale, fixedHalf);
    EXPECT_EQ(cosObjGetType(cosDictGet(dict(), "scale")), CosFixed);
}

TEST_F(BoxDesc, KeyValueStatusAndStrings) {
    CosObj v;
    ASInt32 type = -1;
    EXPECT_EQ(getKeyValue(cosNewInteger(gCosDoc, false, 1), "a", &v), -1);
    EXPECT_EQ(getKeyValue(CosObj(), "a", &v), -1);
    EXPECT_EQ(getKeyValue(dict(), "nothing", &v), -2);
    putKeyValue(dict(), "n", 5);
    EXPECT_EQ(getKeyValue(dict(), "n", &v, &type), 0);
    EXPECT_EQ(type, CosInteger);
    EXPECT_EQ(getKeyValueInt(dict(), "nothing", 42), 42);

    char buf[300];
    putKeyValue(dict(), "s", "text", false);
    putKeyValue(dict(), "nm", "Cyan", true);
    EXPECT_TRUE(getKeyValueString(dict(), "s", buf, sizeof buf));
    EXPECT_STREQ(buf, "text");
    EXPECT_TRUE(getKeyValueString(dict(), "nm", buf, sizeof buf));
    EXPECT_STREQ(buf, "Cyan");
    EXPECT_FALSE(getKeyValueString(dict(), "n", buf, sizeof buf));
    // Long strings are cut at 255 bytes.
    std::string longText(400, 'x');
    putKeyValue(dict(), "s", longText.c_str(), false);
    EXPECT_TRUE(getKeyValueString(dict(), "s", buf, sizeof buf));
    EXPECT_EQ(std::strlen(buf), 255u);
    char small[4];
    EXPECT_TRUE(getKeyValueString(dict(), "s", small, sizeof small));
    EXPECT_STREQ(small, "xxx");
}

TEST_F(BoxDesc, WritingAKeyTwiceLeavesOneEntry) {
    ASFixedRect r = fxRect(10, 20, 110, 220);
    setBBox(frame, &r);
    ASInt32 n = cosDictLength(dict());
    r.left = fx(11);
    setBBox(frame, &r);
    putKeyValueFixed(dict(), "left", fx(12));
    EXPECT_EQ(cosDictLength(dict()), n);
    EXPECT_EQ(getBBox(frame).left, fx(12));
    EXPECT_EQ(getBBox(frame).top, fx(220));
    EXPECT_EQ(getBBox(frame).bottom, fx(20));
}

TEST_F(BoxDesc, RotationFallsBackToRotated) {
    putKeyValue(dict(), "rotated", 1);
    EXPECT_EQ(getFrameRotation(frame), 180);
    EXPECT_TRUE(getRotated(frame));
    setFrameRotation(frame, 90);
    EXPECT_EQ(getFrameRotation(frame), 90);
    setFrameRotation(frame, 360);  // stands for absent
    EXPECT_EQ(getFrameRotation(frame), 180);
    putKeyValue(dict(), "rotated", 2);
    EXPECT_EQ(getFrameRotation(frame), 0);
    setFrameRotation(frame, 270);
    EXPECT_EQ(getFrameRotation(frame), 270);
}

TEST_F(BoxDesc, BleedAndInnerRectangle) {
    ASFixedRect r = fxRect(0, 0, 200, 300), b = {fx(1), fx(2), fx(3), fx(4)};
    setBBox(frame, &r);
    setBleedRect(frame, &b);
    EXPECT_EQ(getKeyValueFixed(dict(), "bl", 0), fx(1));
    EXPECT_EQ(getKeyValueFixed(dict(), "bt", 0), fx(2));
    EXPECT_EQ(getKeyValueFixed(dict(), "br", 0), fx(3));
    EXPECT_EQ(getKeyValueFixed(dict(), "bb", 0), fx(4));
    ASFixedRect got = getBleedRect(dict());
    EXPECT_EQ(got.top, fx(2));
    ASFixedRect in = innerRect(readFrame(frame));
    EXPECT_EQ(in.left, fx(1));
    EXPECT_EQ(in.top, fx(298));
    EXPECT_EQ(in.right, fx(197));
    EXPECT_EQ(in.bottom, fx(4));
}

TEST_F(BoxDesc, BBoxArrayOfADictionaryOrForm) {
    CosObj d = cosNewDict(gCosDoc, false, 1);
    EXPECT_EQ(getBBox(d).right, 0);
    putKeyValue(d, "BBox", 5);  // not an array
    EXPECT_EQ(getBBox(d).right, 0);
    CosObj a = cosNewArray(gCosDoc, false, 4);
    const int v[4] = {0, 0, 595, 842};
    for (int i = 0; i < 4; ++i) cosArrayInsert(a, i, cosNewInteger(gCosDoc, false, v[i]));
    putKeyValue(d, "BBox", a);
    ASFixedRect r = getBBox(d);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 0);
    EXPECT_EQ(r.right, fx(595));
    EXPECT_EQ(r.top, fx(842));

    CosObj stream = cosNewStream(gCosDoc, "", 0, d);
    CosObj res = cosNewDict(gCosDoc, false, 0);
    ASFixedMatrix id{fixedOne, 0, 0, fixedOne, 0, 0};
    PDEForm form = pdeFormCreateFromCosObj(&stream, &res, &id);
    EXPECT_EQ(getFormBBox(form).top, fx(842));
    EXPECT_EQ(getFormBBox(frame).top, 0);
    pdeRelease(form);
}

TEST_F(BoxDesc, JobInfoStringsFallBackToPreferencesThenDefault) {
    setupPrefs();
    char buf[256];
    getJobInfoStr(frame, "A", buf, "fallback");
    EXPECT_STREQ(buf, "fallback");
    setJobInfoStr("A", "from prefs");
    getJobInfoStr(frame, "A", buf, "fallback");
    EXPECT_STREQ(buf, "from prefs");
    setJobInfoStr(frame, "A", "own");
    getJobInfoStr(frame, "A", buf, "fallback");
    EXPECT_STREQ(buf, "own");
    EXPECT_EQ(cosObjGetType(cosDictGet(dict(), "A")), CosString);
    putKeyValue(dict(), "desc", "Named", true);
    getJobInfoStr(frame, "desc", buf, "x");
    EXPECT_STREQ(buf, "Named");
    gPrefs.reset();
}

TEST_F(BoxDesc, SelectionRecordsTheOrder) {
    PDEContainer a = getContainerWithBoxNum(1), b = getContainerWithBoxNum(2);
    PDEContainer c = getContainerWithBoxNum(3);
    EXPECT_EQ(getSelIndex(a), 0);
    setSelected(a, true);
    ASInt32 first = getSelIndex(a);
    EXPECT_GE(first, 1);
    setSelected(b, true);
    setSelected(a, false);
    EXPECT_EQ(getSelIndex(a), 0);
    EXPECT_EQ(getSelIndex(b), first + 1);
    EXPECT_FALSE(getSelected(a));
    EXPECT_TRUE(getSelected(b));
    // Deselecting advanced the counter too.
    setSelected(c, true);
    EXPECT_EQ(getSelIndex(c), first + 3);
    // Tags never reach the dictionary.
    EXPECT_FALSE(cosDictKnown(getVexaDict(b), "sel "));
    pdeRelease(a);
    pdeRelease(b);
    pdeRelease(c);
}

TEST_F(BoxDesc, CosDocumentFollowsTheDocument) {
    EXPECT_EQ(gCosDoc, pdDocGetCosDoc(host.doc));
    EXPECT_EQ(getCosPDDoc(), host.doc);
    setCosDoc(nullptr);
    EXPECT_EQ(gCosDoc, nullptr);
    // Direct values still work without a document.
    putKeyValue(dict(), "UID", 77);
    EXPECT_EQ(getKeyValueInt(getVexaDict(frame), "UID", 0), 77);
    setCosDoc(host.doc);
}

TEST_F(BoxDesc, OnlyOldTemplatesAreLookedAtForDirectFrameDictionaries) {
    // A source (no template entry, another creator) is not read when it opens.
    EXPECT_FALSE(mayHoldOldFrames(host.doc));
    gPDModelHFT->PDDocSetInfo(host.doc, "Creator", "Other 5.3", 9);
    EXPECT_FALSE(mayHoldOldFrames(host.doc));
    gPDModelHFT->PDDocSetInfo(host.doc, "Creator", "Vexa 5.3", 8);
    EXPECT_TRUE(mayHoldOldFrames(host.doc));
    gPDModelHFT->PDDocSetInfo(host.doc, "Creator", "Vexa 6.1", 8);
    EXPECT_FALSE(mayHoldOldFrames(host.doc));  // written with indirect dictionaries
    gPDModelHFT->PDDocSetInfo(host.doc, "Creator", "Other", 5);
    cosDictPut(cosDocGetRoot(gCosDoc), "Vexa", cosNewDict(gCosDoc, false, 1));
    EXPECT_TRUE(mayHoldOldFrames(host.doc));  // a template that does not say who wrote it
}

TEST_F(BoxDesc, DirectFrameDictionariesOfOldTemplatesBecomeIndirect) {
    CosObj direct = cosNewDict(gCosDoc, false, 2);
    putKeyValue(direct, "boxnum", 4);
    putKeyValueFixed(direct, "top", fx(100));
    PDEContainer old = pdeContainerCreate(static_cast<ASAtom>(0), &direct, false);
    PDEContent inner = pdeContentCreate();
    pdeContainerSetContent(old, inner);
    pdeRelease(inner);
    PDEContainer fresh = getContainerWithRect(fxRect(0, 0, 10, 10));
    CosObj freshDict = getVexaDict(fresh);
    PDEContent c = pdPageAcquirePDEContent(host.page);
    pdeContentAddElem(c, kPDEAfterLast, old);
    pdeContentAddElem(c, kPDEAfterLast, fresh);
    pdPageSetPDEContent(host.page);
    pdPageReleasePDEContent(host.page);
    pdeRelease(old);
    pdeRelease(fresh);

    EXPECT_EQ(makeFrameDictsIndirect(host.doc), 1);
    EXPECT_EQ(makeFrameDictsIndirect(host.doc), 0);  // nothing left to convert
    c = pdPageAcquirePDEContent(host.page);
    ASSERT_EQ(pdeContentGetNumElems(c), 2);
    CosObj d0 = getVexaDict(pdeContentGetElem(c, 0));
    EXPECT_TRUE(cosObjIsIndirect(d0));
    EXPECT_EQ(getBoxNum(pdeContentGetElem(c, 0)), 4);
    EXPECT_EQ(getBBox(pdeContentGetElem(c, 0)).top, fx(100));
    EXPECT_TRUE(cosObjEqual(getVexaDict(pdeContentGetElem(c, 1)), freshDict));
    pdPageReleasePDEContent(host.page);
}
