// The colour toolbox: family names, the special separations, spot separations and
// their CMYK equivalent, spot black, process-colour usage and placeholder replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Common/ColorSupport.h"
#include "ModelBuild.h"
#include "Common/ProcessColors.h"

using namespace vexa::test;

namespace {

struct Color : ::testing::Test {
    ModelTestHost host;

    static CosObj name(const char* n) { return cosNewName(gCosDoc, false, n); }
    static CosObj reals(std::vector<float> v) {
        CosObj a = cosNewArray(gCosDoc, false, 0);
        for (size_t i = 0; i < v.size(); ++i)
            cosArrayInsert(a, static_cast<ASInt32>(i), cosNewFloat(gCosDoc, false, v[i]));
        return a;
    }
    // An exponential tint transform ending at c1.
    static CosObj expFunction(std::vector<float> c1) {
        CosObj f = cosNewDict(gCosDoc, false, 4);
        cosDictPut(f, "FunctionType", cosNewInteger(gCosDoc, false, 2));
        cosDictPut(f, "Domain", reals({0, 1}));
        cosDictPut(f, "C0", reals({0, 0, 0, 0}));
        cosDictPut(f, "C1", reals(c1));
        cosDictPut(f, "N", cosNewInteger(gCosDoc, false, 1));
        return f;
    }
    static CosObj separation(const char* colorant, std::vector<float> c1) {
        CosObj a = cosNewArray(gCosDoc, false, 4);
        cosArrayInsert(a, 0, name("Separation"));
        cosArrayInsert(a, 1, name(colorant));
        cosArrayInsert(a, 2, name("DeviceCMYK"));
        cosArrayInsert(a, 3, expFunction(c1));
        return a;
    }
    static CosObj deviceN(std::vector<const char*> colorants, bool withAttrs) {
        CosObj names = cosNewArray(gCosDoc, false, 0);
        for (size_t i = 0; i < colorants.size(); ++i)
            cosArrayInsert(names, static_cast<ASInt32>(i), name(colorants[i]));
        CosObj a = cosNewArray(gCosDoc, false, 5);
        cosArrayInsert(a, 0, name("DeviceN"));
        cosArrayInsert(a, 1, names);
        cosArrayInsert(a, 2, name("DeviceCMYK"));
        cosArrayInsert(a, 3, expFunction({1, 0, 0, 0}));
        if (withAttrs) cosArrayInsert(a, 4, cosNewDict(gCosDoc, false, 0));
        return a;
    }
    static CosObj stream(const char* data, CosObj attrs = CosObj()) {
        return cosNewStream(gCosDoc, data, std::strlen(data), attrs);
    }

    // Sets a page's content and colour-space resources.
    static void setPage(PDPage page, const char* content,
                        std::vector<std::pair<const char*, CosObj>> spaces) {
        CosObj res = cosNewDict(gCosDoc, false, 2), cs = cosNewDict(gCosDoc, false, 0);
        for (auto& [key, space] : spaces) cosDictPut(cs, key, space);
        cosDictPut(res, "ColorSpace", cs);
        CosObj font = cosNewDict(gCosDoc, false, 3), fonts = cosNewDict(gCosDoc, false, 1);
        cosDictPut(font, "Type", name("Font"));
        cosDictPut(font, "Subtype", name("Type1"));
        cosDictPut(font, "BaseFont", name("Helvetica"));
        cosDictPut(fonts, "F1", font);
        cosDictPut(res, "Font", fonts);
        cosDictPut(pdPageGetCosObj(page), "Resources", res);
        cosDictPut(pdPageGetCosObj(page), "Contents", stream(content));
    }
    std::vector<int> processColors(const char* content,
                                   std::vector<std::pair<const char*, CosObj>> spaces = {}) {
        setPage(host.page, content, spaces);
        PDEContent c = pdPageAcquirePDEContent(host.page);
        ASUns8 f[4] = {9, 9, 9, 9};
        getProcessColors(c, f);
        pdPageReleasePDEContent(host.page);
        // The scan of the raw content must agree whenever it reads the content.
        CosObj page = pdPageGetCosObj(host.page);
        ASSize_t len = 0;
        char* data = cosStreamGetData(cosDictGet(page, "Contents"), &len);
        ASUns8 g[4] = {9, 9, 9, 9};
        lastScanRead = scanProcessColors(data, len, cosDictGet(page, "Resources"), g);
        if (data) asFree(data);
        if (lastScanRead) {
            EXPECT_EQ(std::vector<int>(g, g + 4), std::vector<int>(f, f + 4)) << content;
        }
        return std::vector<int>(f, f + 4);
    }
    bool lastScanRead = false;
    static std::string colorant(CosObj space) {
        CosObj n = cosArrayGet(space, 1);
        return cosObjGetType(n) == CosName ? asAtomGetString(cosNameValue(n)) : "";
    }
};

using Flags = std::vector<int>;

}  // namespace

TEST_F(Color, FamilyNames) {
    EXPECT_EQ(getColorSpace("Pattern"), 9);
    EXPECT_EQ(getColorSpace("DeviceGray"), 0);
    EXPECT_EQ(getColorSpace("ICCBased"), 10);
    EXPECT_EQ(getColorSpace("Indexed "), 0x7FFFFFFF);
    EXPECT_EQ(getColorSpace(static_cast<const char*>(nullptr)), 0x7FFFFFFF);
    EXPECT_STREQ(getColorSpace(6), "Separation");
    EXPECT_EQ(getColorSpace(11), nullptr);
    char fam[64];
    EXPECT_EQ(getColorSpace(separation("Spot", {0, 0, 0, 1}), fam), kSeparation);
    EXPECT_STREQ(fam, "Separation");
    EXPECT_EQ(getColorSpace(name("DeviceRGB"), fam), kDeviceRGB);
    EXPECT_EQ(getColorSpace(cosArrayGet(separation("Spot", {0, 0, 0, 1}), 2), nullptr),
              kDeviceCMYK);

    CosObj icc = stream("", cosNewDict(gCosDoc, false, 0));
    cosDictPut(icc, "N", cosNewInteger(gCosDoc, false, 4));
    EXPECT_EQ(getICCAltSpace(icc), kDeviceCMYK);
    cosDictPut(icc, "N", cosNewInteger(gCosDoc, false, 1));
    EXPECT_EQ(getICCAltSpace(icc), kDeviceGray);
    cosDictPut(icc, "Alternate", name("DeviceRGB"));
    EXPECT_EQ(getICCAltSpace(icc), kDeviceRGB);
    CosObj indexed = cosNewArray(gCosDoc, false, 4);
    cosArrayInsert(indexed, 0, name("Indexed"));
    cosArrayInsert(indexed, 1, name("DeviceCMYK"));
    EXPECT_EQ(getIndexedBaseSpace(indexed), kDeviceCMYK);
}

TEST_F(Color, SpotSeparationsCarrySampledTints) {
    const float cmyk[4] = {1, 0.5f, 0, 0};
    CosObj s = getSepSpaceObj("Orange", cmyk);
    EXPECT_EQ(colorant(s), "Orange");
    CosObj f = cosArrayGet(s, 3);
    ASSERT_EQ(cosObjGetType(f), CosStream);
    EXPECT_TRUE(cosObjIsIndirect(f));
    EXPECT_EQ(getKeyValueInt(f, "FunctionType", -1), 0);
    EXPECT_EQ(getKeyValueInt(f, "BitsPerSample", -1), 8);
    ASSize_t len = 0;
    char* data = cosStreamGetData(f, &len);
    ASSERT_EQ(len, 1024u);
    auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
    EXPECT_EQ(byte(0) | byte(1) | byte(2) | byte(3), 0);
    EXPECT_EQ(byte(1020), 255);
    EXPECT_EQ(byte(1021), 127);
    EXPECT_EQ(byte(1022), 0);
    EXPECT_EQ(byte(1023), 0);
    asFree(data);

    float back[4];
    ASSERT_EQ(getCMYKCustomColors(f, back), 0);
    EXPECT_FLOAT_EQ(back[0], 1.0f);
    EXPECT_FLOAT_EQ(back[1], 127.0f / 255);
    EXPECT_FLOAT_EQ(back[3], 0.0f);

    // A spec in that space, at full tint, whose CMYK equivalent reads back.
    PDEColorSpec spec = getSepColorSpec("Orange", cmyk);
    ASSERT_NE(spec.space, nullptr);
    CosObj made = pdeColorSpaceGetCosObj(spec.space);
    EXPECT_EQ(getColorSpace(spec.space), kSeparation);
    EXPECT_EQ(colorant(made), "Orange");
    EXPECT_EQ(spec.value.color[0], fixedOne);
    float again[4];
    ASSERT_TRUE(getSepCMYK(made, again));
    EXPECT_FLOAT_EQ(again[1], 127.0f / 255);
    freeColorSpec(&spec);
}

TEST_F(Color, CMYKEquivalentsOfTheFunctionTypes) {
    float c[4];
    EXPECT_EQ(getCMYKCustomColors(expFunction({0.1f, 0.2f, 0.3f, 0.4f}), c), 0);
    EXPECT_FLOAT_EQ(c[2], 0.3f);
    CosObj bad = expFunction({0, 0, 0, 1});
    cosDictPut(bad, "C1", cosNewInteger(gCosDoc, false, 1));
    EXPECT_EQ(getCMYKCustomColors(bad, c), -1);

    CosObj attrs = cosNewDict(gCosDoc, false, 1);
    cosDictPut(attrs, "FunctionType", cosNewInteger(gCosDoc, false, 4));
    EXPECT_EQ(getCMYKCustomColors(stream("{0 0 0}", attrs), c), 0);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_EQ(c[1] + c[2] + c[3], 0.0f);
    EXPECT_EQ(getCMYKCustomColors(stream("{0 0 0 4 -1 roll}", attrs), c), -1);
    EXPECT_EQ(getCMYKCustomColors(stream("{dup dup dup}", attrs), c), -1);

    CosObj other = cosNewDict(gCosDoc, false, 1);
    cosDictPut(other, "FunctionType", cosNewInteger(gCosDoc, false, 3));
    EXPECT_EQ(getCMYKCustomColors(other, c), -1);
    EXPECT_EQ(getCMYKCustomColors(CosObj(), c), -1);

    // Sampled with a Range: the upper bounds scale the last sample.
    CosObj sattrs = cosNewDict(gCosDoc, false, 3);
    cosDictPut(sattrs, "FunctionType", cosNewInteger(gCosDoc, false, 0));
    cosDictPut(sattrs, "BitsPerSample", cosNewInteger(gCosDoc, false, 8));
    cosDictPut(sattrs, "Range", reals({0, 0.5f, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(getCMYKCustomColors(
                  cosNewStream(gCosDoc, "\x00\x00\x00\x00\xff\x00\x00\x33", 8, sattrs), c),
              0);
    EXPECT_FLOAT_EQ(c[0], 0.5f);
    EXPECT_FLOAT_EQ(c[3], 0.2f);
    EXPECT_EQ(getCMYKCustomColors(cosNewStream(gCosDoc, "\x01", 1, sattrs), c), -108);
}

TEST_F(Color, SpotBlackThresholds) {
    EXPECT_TRUE(isSpotBlack(separation("Deep", {0.005f, 0, 0, 1})));
    EXPECT_FALSE(isSpotBlack(separation("Rich", {0.02f, 0, 0, 1})));
    EXPECT_FALSE(isSpotBlack(separation("Gray", {0, 0, 0, 0.98f})));
    EXPECT_TRUE(isSpotBlack(separation("Edge", {0.01f, 0.01f, 0.01f, 0.99f})));
    EXPECT_FALSE(isSpotBlack(name("DeviceGray")));
}

TEST_F(Color, AllAndNoneSeparations) {
    PDEColorSpace all = getAllSpace(false);
    CosObj a = pdeColorSpaceGetCosObj(all);
    EXPECT_EQ(colorant(a), "All");
    EXPECT_EQ(getColorSpace(cosArrayGet(a, 2), nullptr), kDeviceCMYK);
    CosObj f = cosArrayGet(a, 3);
    EXPECT_EQ(getKeyValueInt(f, "FunctionType", -1), 2);
    EXPECT_EQ(cosArrayLength(cosDictGet(f, "C1")), 4);
    EXPECT_EQ(cosArrayLength(cosDictGet(f, "Range")), 8);
    float c[4];
    EXPECT_EQ(getCMYKCustomColors(f, c), 0);
    EXPECT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f);
    pdeRelease(all);

    PDEColorSpace gray = getAllSpace(true);
    EXPECT_EQ(getColorSpace(cosArrayGet(pdeColorSpaceGetCosObj(gray), 2), nullptr), kDeviceGray);
    EXPECT_EQ(cosArrayLength(cosDictGet(cosArrayGet(pdeColorSpaceGetCosObj(gray), 3), "C1")), 1);
    pdeRelease(gray);

    PDEColorSpace none = getNoneSpace();
    CosObj n = pdeColorSpaceGetCosObj(none);
    EXPECT_EQ(colorant(n), "None");
    EXPECT_EQ(getColorSpace(cosArrayGet(n, 2), nullptr), kDeviceGray);
    CosObj prog = cosArrayGet(n, 3);
    ASSERT_EQ(cosObjGetType(prog), CosStream);
    EXPECT_EQ(getKeyValueInt(prog, "FunctionType", -1), 4);
    ASSize_t len = 0;
    char* data = cosStreamGetData(prog, &len);
    EXPECT_EQ(std::string(data, len), "{}");
    asFree(data);
    pdeRelease(none);

    PDEColorSpec spec = getAllColor(1.0f);
    EXPECT_EQ(getColorSpace(spec.space), kSeparation);
    EXPECT_EQ(spec.value.color[0], fixedOne);
    freeColorSpec(&spec);
    EXPECT_EQ(spec.space, nullptr);
}

TEST_F(Color, ProcessColoursOfContent) {
    EXPECT_EQ(processColors("BT /F1 12 Tf 0.5 g 10 10 Td (Hi) Tj ET"), (Flags{0, 0, 0, 1}));
    EXPECT_EQ(processColors("BT /F1 12 Tf 1 g 10 10 Td (Hi) Tj ET"), (Flags{0, 0, 0, 0}));
    EXPECT_EQ(processColors("q 10 0 0 10 0 0 cm BI /W 1 /H 1 /CS /RGB /BPC 8 ID \x80\x80\x80 EI Q"),
              (Flags{1, 1, 1, 1}));
    EXPECT_EQ(
        processColors("/N0 cs 1 1 scn 0 0 10 10 re f", {{"N0", deviceN({"Cyan", "Spot"}, false)}}),
        (Flags{1, 0, 0, 0}));
    EXPECT_EQ(processColors("0 0.2 0 0 k 0 0 10 10 re f 0 0 0 0.1 K 0 0 m 5 5 l S"),
              (Flags{0, 1, 0, 1}));
    EXPECT_EQ(
        processColors("/S0 cs 1 scn 0 0 10 10 re f", {{"S0", separation("Spot", {1, 1, 0, 0})}}),
        (Flags{0, 0, 0, 0}));
    EXPECT_EQ(processColors(""), (Flags{0, 0, 0, 0}));
    // Only what is painted counts: stroked white text, a filled path with a blue stroke.
    EXPECT_EQ(processColors("BT /F1 12 Tf 1 Tr 0 0 1 RG 1 g 10 10 Td (Hi) Tj ET"),
              (Flags{1, 1, 1, 1}));
    EXPECT_EQ(processColors("0 0 1 RG 0.5 g 0 0 10 10 re f"), (Flags{0, 0, 0, 1}));
    // Nested forms count too.
    PDEForm form = makeForm({makeRect(0, 0, 5, 5, 0.2)});
    PDEContent c = pdeContentCreate();
    pdeContentAddElem(c, kPDEAfterLast, form);
    ASUns8 f[4];
    getProcessColors(c, f);
    EXPECT_EQ(Flags(f, f + 4), (Flags{0, 0, 0, 1}));
    EXPECT_FALSE(isAllColors(f));
    pdeRelease(form);
    pdeRelease(c);
}

TEST_F(Color, OneColorantDeviceNBecomesASeparation) {
    CosObj one = deviceN({"Spot"}, true), two = deviceN({"Cyan", "Spot"}, false);
    CosObj spaces[3] = {one, two, name("DeviceRGB")};
    EXPECT_FALSE(devN1ToSep(spaces, 3));
    EXPECT_EQ(getColorSpace(one, nullptr), kSeparation);
    EXPECT_EQ(colorant(one), "Spot");
    EXPECT_EQ(cosArrayLength(one), 4);
    EXPECT_EQ(getColorSpace(two, nullptr), kDeviceN);
    EXPECT_TRUE(devN1ToSep(spaces, 1));
}

TEST_F(Color, PlaceholdersTakeTheSpotColoursOfThePages) {
    PDPage second = gPDModelHFT->PDDocCreatePage(host.doc, 0, fxRect(0, 0, 100, 100));
    CosObj x = separation("X", {0, 0, 0, 1}), z = separation("Z", {0, 0, 0, 1});
    CosObj x2 = separation("X", {0, 0, 0, 1});
    setPage(host.page, "/P cs 1 scn 0 0 1 1 re f /Q cs 1 scn 0 0 1 1 re f /R cs 1 scn 0 0 1 1 re f",
            {{"P", x}, {"Q", z}, {"R", x2}});
    setPage(second, "",
            {{"B", separation("Black", {0, 0, 0, 1})},
             {"S1", separation("Gold", {0, 0.2f, 1, 0})},
             {"S2", deviceN({"Silver"}, true)},
             {"S3", separation("Gold", {0, 0.2f, 1, 0})}});
    pdPageRelease(second);
    ASInt32 count = 0;
    CosObj* all = getColorSpaces(host.doc, 0, -1, &count);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(cosObjGetType(all[count]), CosNull);
    EXPECT_TRUE(devN1ToSep(all, count));
    // The spot colours in enumeration order, each once, process names skipped.
    std::vector<std::string> spots;
    for (ASInt32 i = 0; i < count; ++i) {
        std::string n = colorant(all[i]);
        if (n == "Gold" || n == "Silver")
            if (std::find(spots.begin(), spots.end(), n) == spots.end()) spots.push_back(n);
    }
    delete[] all;
    ASSERT_EQ(spots.size(), 2u);

    changeColorSpaces(host.doc, "XZ");
    EXPECT_EQ(colorant(x), spots[0]);
    EXPECT_EQ(colorant(x2), spots[0]);
    EXPECT_EQ(colorant(z), spots[1]);
    float c[4];
    ASSERT_TRUE(getSepCMYK(spots[0] == "Gold" ? x : z, c));
    EXPECT_FLOAT_EQ(c[2], 1.0f);
    EXPECT_FALSE(cosObjEqual(cosArrayGet(x, 3), CosObj()));
}

TEST_F(Color, WithOneSpotColourTheSecondPlaceholderKeepsItsLetter) {
    CosObj x = separation("X", {0, 0, 0, 1}), z = separation("Z", {0, 0, 0, 1});
    setPage(host.page, "",
            {{"A", separation("Gold", {0, 0.2f, 1, 0})},
             {"P", x},
             {"Q", z},
             {"R", separation("All", {1, 1, 1, 1})}});
    changeColorSpaces(host.doc, host.page, "XZ");
    EXPECT_EQ(colorant(x), "Gold");
    EXPECT_EQ(colorant(z), "Z");
    // No colour spaces at all: nothing happens.
    PDDoc empty = pdDocCreate();
    changeColorSpaces(empty, "XZ");
    pdDocClose(empty);
}

TEST_F(Color, TheContentScanAgreesWithTheElementsOrDeclines) {
    // Each of these is checked against the element walk by processColors.
    const char* read[] = {
        "q 0 0 0 1 k Q 0 0 10 10 re f",   // a colour set and restored: the default black
        "1 0 0 0 K 0 0 10 10 re f",       // stroke colour set, fill painted
        "0 0 m 5 5 l S 1 0 0 RG",         // paint before the colour
        "0 0 10 10 re W n 0 1 0 0 k",     // a clip paints nothing
        "/DeviceCMYK cs 0 0 10 10 re f",  // the initial CMYK colour is black
        "/DeviceGray CS 0 0 m 1 1 l s",
        "BT /F1 9 Tf 3 Tr (x) Tj ET 0 0 1 0 k",
        "BT /F1 9 Tf 0 0 1 0 k 2 Tr 0 1 0 0 K [(a) 5 (b)] TJ ET",
        "/MC << /A (x>>) >> BDC EMC BT /F1 9 Tf (a\\) b) Tj ET % 1 0 0 0 k\n0 g 0 0 1 1 re B",
    };
    for (const char* c : read) {
        processColors(c);
        EXPECT_TRUE(lastScanRead) << c;
    }
    processColors("/S0 cs 0.5 scn 0 0 10 10 re f", {{"S0", separation("Spot", {1, 1, 0, 0})}});
    EXPECT_TRUE(lastScanRead);
    // What the scan does not read it leaves to the element walk.
    processColors("q 10 0 0 10 0 0 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q");
    EXPECT_FALSE(lastScanRead);
    processColors("/Missing cs 0 0 1 1 re f");
    EXPECT_FALSE(lastScanRead);
    processColors("/Fm0 Do");
    EXPECT_FALSE(lastScanRead);
    processColors("0 0 1 1 re f ) (");
    EXPECT_FALSE(lastScanRead);
}

TEST_F(Color, AStreamsColoursComeFromItsStartWhenThatUsesEveryPlate) {
    std::string filler;  // paths that paint nothing, past the start that is read first
    while (filler.size() < 3000) filler += "0 0 m 10 10 l n\n";
    CosObj resources = cosNewDict(gCosDoc, false, 0);
    bool read = false;
    auto scan = [&](const std::string& content) {
        CosObj s = gCosHFT->CosNewStream(gCosDoc, content.data(), content.size(), CosObj(),
                                         name("FlateDecode"), CosObj(), false);
        ASUns8 f[4] = {9, 9, 9, 9};
        read = scanStreamColors(s, resources, f);
        return Flags(f, f + 4);
    };
    // RGB at the start: every plate, whatever follows (here a form the scan cannot read).
    EXPECT_EQ(scan("1 0 0 rg 0 0 1 1 re f\n" + filler + "/Fm0 Do"), Flags({1, 1, 1, 1}));
    EXPECT_TRUE(read);
    // Black alone at the start: the rest is read, and what it adds counts.
    EXPECT_EQ(scan("0 g 0 0 1 1 re f\n" + filler + "0 1 0 0 k 0 0 1 1 re f"), Flags({0, 1, 0, 1}));
    EXPECT_TRUE(read);
    EXPECT_EQ(scan("0 g 0 0 1 1 re f\n" + filler + "/Fm0 Do"), Flags({0, 0, 0, 0}));
    EXPECT_FALSE(read);
    // An operator cut by the end of the start is not read as a shorter one ("gs" as "g",
    // gray: the black plate).
    std::string cut = "1 0 0 0 k 0 0 1 1 re f 0 1 0 0 k 0 0 1 1 re f 0 0 1 0 k 0 0 1 1 re f";
    cut.resize(1018, ' ');
    cut += "/GS0 gs\n";
    ASSERT_EQ(cut.substr(1023, 2), "gs");
    EXPECT_EQ(scan(cut + filler), Flags({1, 1, 1, 0}));
    EXPECT_TRUE(read);
    // A short stream is read whole.
    EXPECT_EQ(scan("0 0 1 0 k 0 0 1 1 re f"), Flags({0, 0, 1, 0}));
    EXPECT_TRUE(read);
}
