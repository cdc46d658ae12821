// The page-content tables over documents of the document engine.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstring>

#include "HostTables.h"
#include "TestSupport.h"

#include "core/Core.h"
#include "core/Support.h"
#include "doc/DocInternal.h"
#include "pde/Model.h"
#include "pde/Tables.h"

using namespace vexa::host;
using vexa::test::A;
using vexa::test::C;
using vexa::test::codeOf;
using vexa::test::P;

namespace {

const PDFEditReadHFT* R() {
    return pde::readTable();
}
const PDFEditWriteHFT* W() {
    return pde::writeTable();
}
const PagePDEContentHFT* PC() {
    return pde::pageContentTable();
}
const PDSysFontHFT* SF() {
    return pde::sysFontTable();
}
ExtensionID kOwner = reinterpret_cast<ExtensionID>(0x1234);

ASFixedMatrix identity() {
    return {fixedOne, 0, 0, fixedOne, 0, 0};
}

struct Page : ::testing::Test {
    PDDoc doc = P()->PDDocCreate();
    CosDoc cos = P()->PDDocGetCosDoc(doc);
    PDPage page = nullptr;
    QPDFObjectHandle pageObj;

    void makePage(const std::string& content, const std::string& resources = "<< >>") {
        page = P()->PDDocCreatePage(doc, -1,
                                    ASFixedRect{0, ASInt32ToFixed(200), ASInt32ToFixed(200), 0});
        pageObj = doc::pageObject(page);
        QPDF& q = doc::qpdfOf(doc);
        pageObj.replaceKey("/Contents",
                           q.makeIndirectObject(QPDFObjectHandle::newStream(&q, content)));
        pageObj.replaceKey("/Resources", QPDFObjectHandle::parse(resources));
    }
    std::string pageContent() {
        auto c = pageObj.getKey("/Contents");
        auto b = c.getStreamData(qpdf_dl_generalized);
        return std::string(reinterpret_cast<const char*>(b->getBuffer()), b->getSize());
    }
    ~Page() override {
        if (page) P()->PDPageRelease(page);
        P()->PDDocClose(doc);
    }
};

// A rectangle path as the plug-in's path builder writes it.
PDEPath rectPath(ASFixed x, ASFixed y, ASFixed w, ASFixed h, PDEPathOpFlags op) {
    PDEPath p = W()->PDEPathCreate();
    ASInt32 data[] = {kPDERect, x, y, w, h};
    W()->PDEPathSetData(p, data, sizeof data);
    W()->PDEPathSetPaintOp(p, op);
    return p;
}

}  // namespace

TEST_F(Page, AcquireAddRemoveAndSetBack) {
    makePage("0 0 10 10 re f\n20 20 10 10 re f");
    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    EXPECT_EQ(PC()->PDPageAcquirePDEContent(page, kOwner), c);  // shared
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 2);
    EXPECT_EQ(R()->PDEObjectGetType(R()->PDEContentGetElem(c, 0)), kPDEPath);
    EXPECT_EQ(codeOf([&] { R()->PDEContentGetElem(c, 2); }), pdeErrBadIndex);

    // unchanged: the page keeps its content stream object
    auto before = pageObj.getKey("/Contents").getObjGen();
    PC()->PDPageSetPDEContent(page, kOwner);
    EXPECT_EQ(pageObj.getKey("/Contents").getObjGen(), before);

    PDEPath first = rectPath(0, 0, fixedOne, fixedOne, kPDEStroke);
    PDEPath last = rectPath(fixedTwo, 0, fixedOne, fixedOne, kPDEFill);
    PDEPath middle = rectPath(fixedTen, 0, fixedOne, fixedOne, kPDEFill);
    W()->PDEContentAddElem(c, kPDEBeforeFirst, first);
    W()->PDEContentAddElem(c, kPDEAfterLast, last);
    W()->PDEContentAddElem(c, 999, middle);  // past the end appends too
    W()->PDEContentAddElem(c, 0, middle);    // after the first
    R()->PDERelease(first);
    R()->PDERelease(last);
    R()->PDERelease(middle);
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 6);
    EXPECT_EQ(R()->PDEContentGetElem(c, 0), first);
    EXPECT_EQ(R()->PDEContentGetElem(c, 1), middle);
    EXPECT_EQ(R()->PDEContentGetElem(c, 5), middle);
    W()->PDEContentRemoveElem(c, 5);
    W()->PDEContentRemoveElem(c, 2);  // an original one
    PC()->PDPageSetPDEContent(page, kOwner);
    EXPECT_EQ(PC()->PDPageReleasePDEContent(page, kOwner), 1);
    EXPECT_EQ(PC()->PDPageReleasePDEContent(page, kOwner), 0);
    EXPECT_EQ(codeOf([&] { PC()->PDPageReleasePDEContent(page, kOwner); }), pdeErrRelease);

    // read again: the order survived, the kept original keeps its bytes
    std::string s = pageContent();
    EXPECT_NE(s.find("20 20 10 10 re f"), std::string::npos) << s;
    EXPECT_EQ(s.find("0 0 10 10 re f"), std::string::npos) << s;
    c = PC()->PDPageAcquirePDEContent(page, kOwner);
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 4);
    ASFixedRect b;
    R()->PDEElementGetBBox(R()->PDEContentGetElem(c, 1), &b);
    EXPECT_EQ(b.left, fixedTen);
    EXPECT_EQ(R()->PDEPathGetPaintOp(R()->PDEContentGetElem(c, 0)), kPDEStroke);
    PC()->PDPageReleasePDEContent(page, kOwner);
}

TEST_F(Page, FrameContainersWithPropertiesAndTags) {
    makePage("");
    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    CosObj dict = C()->CosNewDict(cos, true, 0);
    C()->CosDictPut(dict, A("boxnum"), C()->CosNewInteger(cos, false, 3));
    PDEContainer frame = W()->PDEContainerCreate(0, &dict, false);
    PDEContent inner = W()->PDEContentCreate();
    W()->PDEContainerSetContent(frame, inner);
    R()->PDERelease(inner);
    PDEPath p = rectPath(0, 0, fixedTen, fixedTen, kPDEFill);
    W()->PDEContentAddElem(R()->PDEContainerGetContent(frame), kPDEAfterLast, p);
    R()->PDERelease(p);
    W()->PDEContentAddElem(c, kPDEAfterLast, frame);
    W()->PDEAddTag(frame, kOwner, 0x73656C20, 7);  // "sel "
    ASInt32 v = 0;
    EXPECT_TRUE(R()->PDEGetTag(frame, kOwner, 0x73656C20, &v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(R()->PDEGetTag(frame, reinterpret_cast<ExtensionID>(1), 0x73656C20, &v));
    R()->PDERelease(frame);
    PC()->PDPageSetPDEContent(page, kOwner);
    PC()->PDPageReleasePDEContent(page, kOwner);

    // the dictionary is an indirect object reached through /Properties
    auto props = pageObj.getKey("/Resources").getKey("/Properties");
    ASSERT_TRUE(props.isDictionary());
    ASSERT_EQ(props.getKeys().size(), 1u);
    EXPECT_TRUE(props.getKey(*props.getKeys().begin()).isIndirect());
    c = PC()->PDPageAcquirePDEContent(page, kOwner);
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 1);
    PDEElement f = R()->PDEContentGetElem(c, 0);
    CosObj d;
    ASBool isInline = true;
    ASSERT_TRUE(R()->PDEContainerGetDict(f, &d, &isInline));
    EXPECT_FALSE(isInline);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(d, A("boxnum"))), 3);
    EXPECT_EQ(R()->PDEContentGetNumElems(R()->PDEContainerGetContent(f)), 1);
    EXPECT_FALSE(R()->PDEGetTag(f, kOwner, 0x73656C20, &v));  // tags never reach the file
    PC()->PDPageReleasePDEContent(page, kOwner);
}

TEST_F(Page, SharedClipMovesOnceAndMatrixOrder) {
    makePage("");
    PDEClip clip = W()->PDEClipCreate();
    PDEPath cp = rectPath(0, 0, fixedTen, fixedTen, kPDEClip_);
    W()->PDEClipAddElem(clip, kPDEAfterLast, cp);
    R()->PDERelease(cp);
    PDEPath a = rectPath(0, 0, fixedOne, fixedOne, kPDEFill);
    PDEPath b = rectPath(fixedTwo, 0, fixedOne, fixedOne, kPDEFill);
    W()->PDEElementSetClip(a, clip);
    W()->PDEElementSetClip(b, clip);
    R()->PDERelease(clip);
    EXPECT_EQ(R()->PDEElementGetClip(a), R()->PDEElementGetClip(b));

    // moving both elements by (10, 0): the clip's paths once (the "movd" tag)
    ASFixedMatrix move{fixedOne, 0, 0, fixedOne, fixedTen, 0};
    for (PDEElement e : {a, b}) {
        ASFixedMatrix m, r;
        R()->PDEElementGetMatrix(e, &m);
        matrixConcat(&r, &move, &m);
        W()->PDEElementSetMatrix(e, &r);
        PDEClip k = R()->PDEElementGetClip(e);
        ASInt32 moved = 0;
        if (!R()->PDEGetTag(k, kOwner, 0x6D6F7664, &moved)) {
            R()->PDEClipFlattenedEnumElems(
                k,
                [](PDEElement el, ASClientData d) -> ASBool {
                    ASFixedMatrix m, r;
                    R()->PDEElementGetMatrix(el, &m);
                    matrixConcat(&r, static_cast<ASFixedMatrix*>(d), &m);
                    W()->PDEElementSetMatrix(el, &r);
                    return true;
                },
                &move);
            W()->PDEAddTag(k, kOwner, 0x6D6F7664, 1);
        }
    }
    ASFixedRect r;
    R()->PDEElementGetBBox(R()->PDEClipGetElem(R()->PDEElementGetClip(a), 0), &r);
    EXPECT_EQ(r.left, fixedTen);
    EXPECT_EQ(r.right, ASInt32ToFixed(20));
    R()->PDEElementGetBBox(b, &r);
    EXPECT_EQ(r.left, ASInt32ToFixed(12));

    // concatenation applies m2 first: scale by 2 then translate by 10
    ASFixedMatrix scale{fixedTwo, 0, 0, fixedTwo, 0, 0}, res, id = identity();
    matrixConcat(&res, &move, &scale);
    W()->PDEElementSetMatrix(a, &id);
    W()->PDEElementSetMatrix(a, &res);
    R()->PDEElementGetBBox(a, &r);
    EXPECT_EQ(r.left, fixedTen);
    EXPECT_EQ(r.right, ASInt32ToFixed(12));

    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    W()->PDEContentAddElem(c, kPDEAfterLast, a);
    W()->PDEContentAddElem(c, kPDEAfterLast, b);
    R()->PDERelease(a);
    R()->PDERelease(b);
    PC()->PDPageSetPDEContent(page, kOwner);
    PC()->PDPageReleasePDEContent(page, kOwner);
    c = PC()->PDPageAcquirePDEContent(page, kOwner);
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 2);
    PDEClip k = R()->PDEElementGetClip(R()->PDEContentGetElem(c, 1));
    ASSERT_TRUE(k);
    R()->PDEElementGetBBox(R()->PDEClipGetElem(k, 0), &r);
    EXPECT_EQ(r.left, fixedTen);
    PC()->PDPageReleasePDEContent(page, kOwner);
}

TEST_F(Page, TextWithStandardFontsAndOverprint) {
    makePage("");
    PDSysFont sf = SF()->PDFindSysFontForName("Helvetica-Bold");
    ASSERT_TRUE(sf);
    EXPECT_TRUE(SF()->PDFindSysFontForName("Arial,Bold"));
    EXPECT_FALSE(SF()->PDFindSysFontForName("NoSuchFont"));
    int count = 0;
    SF()->PDEnumSysFonts(
        [](PDSysFont, ASClientData d) -> ASBool { return ++*static_cast<int*>(d) > 0; }, &count);
    EXPECT_EQ(count, 14);
    ASInt16 widths[256];
    SF()->PDSysFontGetWidths(sf, widths);
    EXPECT_GT(widths['W'], widths['i']);
    PDEFont font = W()->PDEFontCreateFromSysFont(sf, 0);

    PDEGraphicState gs;
    W()->PDEDefaultGState(&gs, sizeof gs);
    EXPECT_EQ(gs.lineWidth, fixedOne);
    EXPECT_EQ(R()->PDEColorSpaceGetName(gs.fillColorSpec.space), A("DeviceGray"));
    PDEColorSpace cmyk = W()->PDEColorSpaceCreateFromName(A("DeviceCMYK"));
    gs.fillColorSpec.space = cmyk;
    gs.fillColorSpec.value.color[3] = fixedOne;
    PDEExtGState egs = W()->PDEExtGStateCreateNew(cos);
    W()->PDEExtGStateSetOPFill(egs, true);
    W()->PDEExtGStateSetOPStroke(egs, true);
    gs.extGState = egs;

    PDEText t = W()->PDETextCreate();
    ASFixedMatrix tm{ASInt32ToFixed(10), 0, 0, ASInt32ToFixed(10), ASInt32ToFixed(5),
                     ASInt32ToFixed(7)};
    const char* s = "Wi";
    W()->PDETextAdd(t, kPDETextRunFlag, 0, reinterpret_cast<const ASUns8*>(s), 2, font, &gs,
                    sizeof gs, nullptr, 0, &tm, nullptr);
    R()->PDERelease(font);
    R()->PDERelease(cmyk);
    R()->PDERelease(egs);
    ASSERT_EQ(R()->PDETextGetNumRuns(t), 1);
    ASFixedPoint adv;
    R()->PDETextGetAdvanceWidth(t, kPDETextRunFlag, 0, &adv);
    EXPECT_NEAR(fixedToDouble(adv.h), (widths['W'] + widths['i']) / 100.0, 1e-3);

    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    W()->PDEContentAddElem(c, kPDEAfterLast, t);
    R()->PDERelease(t);
    PC()->PDPageSetPDEContent(page, kOwner);
    PC()->PDPageReleasePDEContent(page, kOwner);
    std::string out = pageContent();
    EXPECT_NE(out.find("(Wi) Tj"), std::string::npos) << out;
    EXPECT_NE(out.find("0 0 0 1 k"), std::string::npos) << out;

    c = PC()->PDPageAcquirePDEContent(page, kOwner);
    PDEElement e = R()->PDEContentGetElem(c, 0);
    ASSERT_EQ(R()->PDEObjectGetType(e), kPDEText);
    char name[64];
    R()->PDEFontGetName(R()->PDETextRunGetFont(e, 0), name, sizeof name);
    EXPECT_STREQ(name, "Helvetica-Bold");
    PDEGraphicState back;
    R()->PDETextRunGetGState(e, 0, &back, sizeof back);
    ASSERT_TRUE(back.extGState);
    EXPECT_TRUE(R()->PDEExtGStateGetOPFill(back.extGState));
    EXPECT_TRUE(R()->PDEExtGStateGetOPStroke(back.extGState));
    ASFixedMatrix m;
    R()->PDETextRunGetMatrix(e, 0, &m);
    EXPECT_EQ(m.h, ASInt32ToFixed(5));
    EXPECT_EQ(m.a, ASInt32ToFixed(10));
    ASUns8 bytes[8];
    EXPECT_EQ(R()->PDETextGetText(e, kPDETextRunFlag, 0, bytes), 2);
    PC()->PDPageReleasePDEContent(page, kOwner);
}

TEST_F(Page, UnchangedPageBecomesFormWithItsOwnData) {
    makePage("q 1 0 0 1 5 5 cm 0 0 10 10 re f Q", "<< /ExtGState << /G << /OP true >> >> >>");
    QPDF& q = doc::qpdfOf(doc);
    (void)q;
    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    PDEContentAttrs attrs;
    std::memset(&attrs, 0, sizeof attrs);
    attrs.flags = kPDEFormAttrsSet;
    attrs.bbox = ASFixedRect{0, ASInt32ToFixed(200), ASInt32ToFixed(200), 0};
    attrs.matrix = ASFixedMatrix{fixedHalf, 0, 0, fixedHalf, 0, 0};
    CosObj stream, res;
    W()->PDEContentToCosObj(c, kPDEContentToForm, &attrs, sizeof attrs, cos, nullptr, &stream,
                            &res);
    auto h = doc::handleOf(stream);
    auto raw = h.getRawStreamData();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()),
              "q 1 0 0 1 5 5 cm 0 0 10 10 re f Q");
    EXPECT_EQ(h.getDict().getKey("/Subtype").getName(), "/Form");
    EXPECT_EQ(h.getDict().getKey("/Matrix").getArrayItem(0).getNumericValue(), 0.5);
    EXPECT_TRUE(doc::handleOf(res).hasKey("/ExtGState"));

    // the form element draws it; its content is read on request
    ASFixedMatrix id = identity();
    PDEForm form = W()->PDEFormCreateFromCosObj(&stream, &res, &id);
    ASFixedRect b;
    R()->PDEElementGetBBox(form, &b);
    EXPECT_EQ(b.right, ASInt32ToFixed(100));
    PDEContent fc = R()->PDEFormAcquireContent(form);
    EXPECT_EQ(R()->PDEContentGetNumElems(fc), 1);
    R()->PDEFormReleaseContent(form, fc);

    // changed content is written anew, compressed when asked
    W()->PDEContentRemoveElem(c, 0);
    PDEFilterArray filters{1, {{A("FlateDecode")}}};
    W()->PDEContentToCosObj(c, kPDEContentToForm, &attrs, sizeof attrs, cos, &filters, &stream,
                            &res);
    EXPECT_EQ(doc::handleOf(stream).getDict().getKey("/Filter").getName(), "/FlateDecode");
    PDEFilterArray bad{1, {{A("LZWDecode")}}};
    EXPECT_EQ(codeOf([&] {
                  W()->PDEContentToCosObj(c, kPDEContentToPage, nullptr, 0, cos, &bad, &stream,
                                          &res);
              }),
              genErrBadParm);
    R()->PDERelease(form);
    PC()->PDPageReleasePDEContent(page, kOwner);
}

TEST_F(Page, WrongKindsAndColourSpaces) {
    makePage("");
    PDEPath p = W()->PDEPathCreate();
    EXPECT_EQ(codeOf([&] { R()->PDEContentGetNumElems(p); }), pdeErrBadType);
    EXPECT_EQ(codeOf([&] { R()->PDETextGetNumRuns(p); }), pdeErrBadType);
    EXPECT_EQ(codeOf([&] { R()->PDEObjectGetType(nullptr); }), genErrBadParm);
    // a container cannot go into its own content
    PDEContainer k = W()->PDEContainerCreate(A("T"), nullptr, false);
    EXPECT_EQ(codeOf([&] { W()->PDEContentAddElem(R()->PDEContainerGetContent(k), 0, k); }),
              genErrBadParm);
    R()->PDERelease(k);
    R()->PDERelease(p);

    EXPECT_EQ(codeOf([&] { W()->PDEColorSpaceCreateFromName(A("Bogus")); }), pdeErrBadColorSpace);
    PDEColorSpace gray = W()->PDEColorSpaceCreateFromName(A("DeviceGray"));
    CosObj fn = C()->CosNewDict(cos, false, 0);
    PDESeparationColorData sep{A("All"), gray, fn};
    PDEColorSpace all = W()->PDEColorSpaceCreate(A("Separation"), &sep);
    EXPECT_EQ(R()->PDEColorSpaceGetName(all), A("Separation"));
    EXPECT_EQ(R()->PDEColorSpaceGetNumComps(all), 1);
    CosObj arr = R()->PDEColorSpaceGetCosObj(all);
    EXPECT_EQ(C()->CosArrayLength(arr), 4);
    PDEColorSpace again = W()->PDEColorSpaceCreateFromCosObj(&arr);
    EXPECT_EQ(R()->PDEColorSpaceGetName(again), A("Separation"));
    R()->PDERelease(again);
    R()->PDERelease(all);
    R()->PDERelease(gray);
}

TEST_F(Page, ImagesAndShadingsAreCreatedAndDrawn) {
    makePage("");
    QPDF& q = doc::qpdfOf(doc);
    PDEContent c = PC()->PDPageAcquirePDEContent(page, kOwner);
    PDEColorSpace rgb = W()->PDEColorSpaceCreateFromName(A("DeviceRGB"));
    auto add = [&](PDEElement e) {
        W()->PDEContentAddElem(c, kPDEAfterLast, e);
        R()->PDERelease(e);
    };
    // an XObject from 2 x 2 red samples, compressed by default, drawn 100 x 50 at (10, 20)
    const ASUns8 red[12] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};
    PDEImageAttrs attrs{0, 2, 2, 8};
    ASFixedMatrix m{ASInt32ToFixed(100), 0, 0, ASInt32ToFixed(50), ASInt32ToFixed(10),
                    ASInt32ToFixed(20)};
    PDEImage img =
        W()->PDEImageCreate(&attrs, sizeof attrs, &m, rgb, red, sizeof red, nullptr, cos);
    CosObj io = R()->PDEImageGetCosObj(img);
    auto ih = doc::handleOf(io);
    ASSERT_TRUE(ih.isStream());
    EXPECT_TRUE(ih.isIndirect());
    EXPECT_EQ(ih.getDict().getKey("/Filter").getName(), "/FlateDecode");
    auto samples = ih.getStreamData(qpdf_dl_generalized);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(samples->getBuffer()), samples->getSize()),
              std::string(reinterpret_cast<const char*>(red), sizeof red));
    ASFixedRect b;
    R()->PDEElementGetBBox(img, &b);
    EXPECT_EQ(b.right, ASInt32ToFixed(110));
    EXPECT_EQ(b.top, ASInt32ToFixed(70));
    add(img);
    // the same stream again, as an element of its own
    ASFixedMatrix m2{ASInt32ToFixed(20), 0, 0, ASInt32ToFixed(20), ASInt32ToFixed(150), 0};
    add(W()->PDEImageCreateFromCosObj(&io, &m2));
    // an in-line stencil mask of 8 x 2 pixels, run-length encoded (hex is added)
    const ASUns8 bits[2] = {0xF0, 0x0F};
    PDEImageAttrs maskAttrs{kPDEImageIsMask | kPDEImageInline, 8, 2, 1};
    PDEFilterArray rl{1, {{A("RunLengthDecode")}}};
    add(W()->PDEImageCreate(&maskAttrs, sizeof maskAttrs, &m2, nullptr, bits, 2, &rl, nullptr));
    // an in-line image in a separation: the space is named in the resources
    PDEColorSpace gray = W()->PDEColorSpaceCreateFromName(A("DeviceGray"));
    CosObj fn = doc::cosObjFor(cos, QPDFObjectHandle::parse("<< /FunctionType 2 /Domain [0 1] "
                                                            "/C0 [1] /C1 [0] /N 1 >>"));
    PDESeparationColorData sepData{A("Spot"), gray, fn};
    PDEColorSpace sep = W()->PDEColorSpaceCreate(A("Separation"), &sepData);
    const ASUns8 tint[1] = {128};
    PDEImageAttrs sepAttrs{kPDEImageInline, 1, 1, 8};
    add(W()->PDEImageCreate(&sepAttrs, sizeof sepAttrs, &m2, sep, tint, 1, nullptr, nullptr));
    // an axial shading from a dictionary
    auto shDict = q.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 100 0] /BBox [0 100 100 150]"
        " /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 0 0 0] /N 1 >> >>"));
    CosObj so = doc::cosObjFor(cos, shDict);
    ASFixedMatrix id = identity();
    PDEShading sh = W()->PDEShadingCreateFromCosObj(&so, &id);
    R()->PDEElementGetBBox(sh, &b);
    EXPECT_EQ(b.top, ASInt32ToFixed(150));
    add(sh);
    PC()->PDPageSetPDEContent(page, kOwner);
    PC()->PDPageReleasePDEContent(page, kOwner);

    std::string s = pageContent();
    EXPECT_NE(s.find("/IM true"), std::string::npos) << s;
    EXPECT_NE(s.find("/F [/AHx /RL ]"), std::string::npos) << s;
    EXPECT_NE(s.find(" sh"), std::string::npos) << s;
    c = PC()->PDPageAcquirePDEContent(page, kOwner);
    ASSERT_EQ(R()->PDEContentGetNumElems(c), 5);
    PDEImageAttrs got;
    R()->PDEImageGetAttrs(R()->PDEContentGetElem(c, 0), &got, sizeof got);
    EXPECT_EQ(got.width, 2);
    EXPECT_EQ(got.flags, 0u);
    EXPECT_EQ(doc::handleOf(R()->PDEImageGetCosObj(R()->PDEContentGetElem(c, 1))).getObjGen(),
              ih.getObjGen());
    R()->PDEImageGetAttrs(R()->PDEContentGetElem(c, 2), &got, sizeof got);
    EXPECT_EQ(got.flags, static_cast<ASUns32>(kPDEImageIsMask | kPDEImageInline));
    EXPECT_EQ(got.width, 8);
    PDEElement sepImage = R()->PDEContentGetElem(c, 3);
    EXPECT_EQ(R()->PDEColorSpaceGetName(R()->PDEImageGetColorSpace(sepImage)), A("Separation"));
    EXPECT_EQ(R()->PDEObjectGetType(R()->PDEContentGetElem(c, 4)), kPDEShading);
    EXPECT_EQ(doc::handleOf(R()->PDEShadingGetCosObj(R()->PDEContentGetElem(c, 4))).getObjGen(),
              shDict.getObjGen());
    PC()->PDPageReleasePDEContent(page, kOwner);

    // what a renderer shows: the red image where it was placed
    vexa::test::TempDir tmp;
    if (vexa::test::runCommand("pdftoppm -v >/dev/null 2>&1") == 0) {
        const std::string out = tmp.file("img.pdf");  // the writer keeps the pointer
        QPDFWriter w(q, out.c_str());
        w.write();
        ASSERT_EQ(vexa::test::runCommand("pdftoppm -r 72 -singlefile '" + tmp.file("img.pdf") +
                                         "' '" + tmp.file("img") + "'"),
                  0);
        std::string ppm = vexa::test::readFile(tmp.file("img.ppm"));
        ASSERT_GT(ppm.size(), 200u * 200 * 3);
        const char* px = ppm.data() + ppm.size() - 200 * 200 * 3;
        auto at = [&](int x, int y) { return px + ((199 - y) * 200 + x) * 3; };
        EXPECT_EQ(static_cast<unsigned char>(at(50, 40)[0]), 255);  // inside the image
        EXPECT_EQ(static_cast<unsigned char>(at(50, 40)[1]), 0);
        EXPECT_EQ(static_cast<unsigned char>(at(5, 5)[1]), 255);  // outside: white
    }

    // bad input gets a clear error
    EXPECT_EQ(
        codeOf([&] { W()->PDEImageCreate(&attrs, sizeof attrs, &m, rgb, red, 11, nullptr, cos); }),
        pdeErrBadImage);
    PDEImageAttrs bits3{0, 2, 2, 3};
    EXPECT_EQ(
        codeOf([&] { W()->PDEImageCreate(&bits3, sizeof bits3, &m, rgb, red, 12, nullptr, cos); }),
        pdeErrBadImage);
    EXPECT_EQ(codeOf([&] {
                  W()->PDEImageCreate(&attrs, sizeof attrs, &m, nullptr, red, 12, nullptr, cos);
              }),
              pdeErrBadImage);
    PDEFilterArray dct{1, {{A("DCTDecode")}}};
    EXPECT_EQ(
        codeOf([&] { W()->PDEImageCreate(&attrs, sizeof attrs, &m, rgb, red, 12, &dct, cos); }),
        pdeErrBadImage);
    // data already encoded (JPEG, say) is stored as it is
    PDEImageAttrs jpeg{kPDEImageEncoded, 2, 2, 8};
    const ASUns8 fake[4] = {0xFF, 0xD8, 0xFF, 0xD9};
    PDEImage enc = W()->PDEImageCreate(&jpeg, sizeof jpeg, &m, rgb, fake, 4, &dct, cos);
    auto raw = doc::handleOf(R()->PDEImageGetCosObj(enc)).getRawStreamData();
    EXPECT_EQ(raw->getSize(), 4u);
    R()->PDERelease(enc);
    CosObj notShading = doc::cosObjFor(cos, QPDFObjectHandle::parse("<< /ShadingType 9 >>"));
    EXPECT_EQ(codeOf([&] { W()->PDEShadingCreateFromCosObj(&notShading, &id); }), pdeErrBadShading);
    CosObj meshDict =
        doc::cosObjFor(cos, QPDFObjectHandle::parse("<< /ShadingType 4 /ColorSpace /DeviceRGB >>"));
    EXPECT_EQ(codeOf([&] { W()->PDEShadingCreateFromCosObj(&meshDict, &id); }), pdeErrBadShading);
    EXPECT_EQ(codeOf([&] { W()->PDEImageCreateFromCosObj(&so, &id); }), pdeErrBadImage);
    R()->PDERelease(sep);
    R()->PDERelease(gray);
    R()->PDERelease(rgb);
}
