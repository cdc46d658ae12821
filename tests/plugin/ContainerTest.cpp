// Frame containers: creation, hit tests, matrix movement with shared clips, frame
// translation and moving to a position.
#include <gtest/gtest.h>

#include <cstring>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "ModelBuild.h"
#include "Sources/Selection.h"

using namespace vexa::test;

namespace {

struct Containers : ::testing::Test {
    ModelTestHost host;

    static ASFixedMatrix matrixOf(PDEElement e) {
        ASFixedMatrix m;
        pdeGetMatrix(e, &m);
        return m;
    }
    static ASFixedPoint apply(const ASFixedMatrix& m, double x, double y) {
        ASFixedPoint p{fx(x), fx(y)}, q;
        asFixedMatrixTransform(&q, &m, &p);
        return q;
    }
    static PDEClip rectClip(double l, double b, double w, double h) {
        PDEPath p = makeRect(l, b, w, h);
        gPDFEditWriteHFT->PDEPathSetPaintOp(p, kPDEClip_);
        PDEClip c = gPDFEditWriteHFT->PDEClipCreate();
        gPDFEditWriteHFT->PDEClipAddElem(c, kPDEBeforeFirst, p);
        pdeRelease(p);
        return c;
    }
    // An image element read from page content (the host has no image builder).
    PDEImage readImage() {
        const char* data = "q 10 0 0 10 0 0 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q";
        CosObj s = cosNewStream(gCosDoc, data, std::strlen(data), CosObj());
        cosDictPut(pdPageGetCosObj(host.page), "Contents", s);
        PDEContent c = pdPageAcquirePDEContent(host.page);
        PDEImage img = nullptr;
        for (ASInt32 i = 0; i < pdeContentGetNumElems(c); ++i)
            if (pdeObjectGetType(pdeContentGetElem(c, i)) == kPDEImage) {
                img = pdeContentGetElem(c, i);
                pdeAcquire(img);
            }
        pdPageReleasePDEContent(host.page);
        return img;
    }
};

}  // namespace

TEST_F(Containers, CreationWritesOnlyWhatIsAsked) {
    PDEContainer a = getContainerWithPoint(ASFixedPoint{fx(10), fx(20)}, fx(100), fx(50));
    ASFixedRect r = getBBox(a);
    EXPECT_EQ(r.left, fx(10));
    EXPECT_EQ(r.bottom, fx(20));
    EXPECT_EQ(r.right, fx(110));
    EXPECT_EQ(r.top, fx(70));
    EXPECT_FALSE(cosDictKnown(getVexaDict(a), "boxnum"));

    PDEContainer b = getContainerWithBoxNum(-4);
    EXPECT_EQ(getBoxNum(b), -4);
    EXPECT_EQ(cosDictLength(getVexaDict(b)), 1);
    EXPECT_FALSE(cosObjEqual(getVexaDict(a), getVexaDict(b)));

    PDEPath p = makeRect(5, 5, 20, 10);
    PDEContainer c = getContainerWithPDE(p, ASFixedPoint{fx(100), fx(200)});
    ASInt32 n = 0;
    ASSERT_EQ(getContent(c, false, &n), getContent(c));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(getBBox(c).left, fx(105));
    EXPECT_EQ(getBBox(c).top, fx(215));
    EXPECT_EQ(matrixOf(p).h, fx(100));
    EXPECT_EQ(matrixOf(p).v, fx(200));
    getContent(c, true, &n);
    EXPECT_EQ(n, 0);
    for (PDEObject o : {a, b, c, p}) pdeRelease(o);
}

TEST_F(Containers, HitTestsIncludeEdgesAndSkipEmptyAndTrimLines) {
    PDEContainer low = getContainerWithRect(fxRect(0, 0, 100, 100));
    setBoxNum(low, 1);
    PDEContainer top = getContainerWithRect(fxRect(50, 50, 150, 150));
    setBoxNum(top, 2);
    PDEContainer lines = getContainerWithRect(fxRect(0, 0, 595, 842));
    setBoxNum(lines, kBoxTrimLines);
    PDEContainer zero = getContainerWithRect(fxRect(0, 0, 0, 0));
    addToPage(host.page, {low, top, lines, zero});

    // The page content stays acquired so that the frame found outlives the walk.
    pdPageAcquirePDEContent(host.page);
    auto hit = [&](double x, double y) {
        MouseHit h{ASFixedPoint{fx(x), fx(y)}, nullptr};
        EnumForms(host.page, getPDEForMouseProc, reinterpret_cast<long>(&h), false, false);
        return h.frame ? getBoxNum(h.frame) : 0;
    };
    EXPECT_EQ(hit(75, 75), 2);  // the topmost wins
    EXPECT_EQ(hit(100, 100), 2);
    EXPECT_EQ(hit(0, 0), 1);     // corner of the lower frame
    EXPECT_EQ(hit(100, 20), 1);  // right edge
    EXPECT_EQ(hit(150, 150), 2);
    EXPECT_EQ(hit(150.01, 150), 0);
    EXPECT_EQ(hit(300, 300), 0);  // only the trim-lines layer lies there
    EXPECT_FALSE(rectHoldsPoint(fxRect(0, 0, 0, 0), ASFixedPoint{0, 0}));
    pdPageReleasePDEContent(host.page);
}

TEST_F(Containers, TurnedTranslation) {
    PDEContent c = pdeContentCreate();
    PDEPath p = makeRect(0, 0, 1, 1);
    pdeContentAddElem(c, kPDEAfterLast, p);
    moveElems(c, ASFixedPoint{fx(5), 0}, true);
    ASFixedPoint q = apply(matrixOf(p), 1, 1);
    EXPECT_EQ(q.h, fx(4));
    EXPECT_EQ(q.v, fx(-1));
    pdeRelease(p);
    pdeRelease(c);
}

TEST_F(Containers, ASharedClipIsMovedOnce) {
    PDEContent c = pdeContentCreate();
    PDEPath a = makeRect(0, 0, 10, 10), b = makeRect(20, 0, 10, 10);
    PDEClip clip = rectClip(0, 0, 50, 50);
    pdeSetClip(a, clip);
    pdeSetClip(b, clip);
    // Nested in a container too.
    PDEContainer box = getContainerWithBoxNum(0);
    pdeContentAddElem(getContent(box), kPDEAfterLast, b);
    pdeContentAddElem(c, kPDEAfterLast, a);
    pdeContentAddElem(c, kPDEAfterLast, box);
    moveElems(c, ASFixedPoint{fx(10), 0}, false);
    EXPECT_EQ(matrixOf(a).h, fx(10));
    EXPECT_EQ(matrixOf(b).h, fx(10));
    PDEClip now = pdeGetClip(a);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(matrixOf(pdeClipGetElem(now, 0)).h, fx(10));
    EXPECT_EQ(matrixOf(pdeClipGetElem(pdeGetClip(b), 0)).h, fx(10));
    ASInt32 tag = 0;
    EXPECT_TRUE(pdeGetTag(now, kMovedTag, &tag));
    EXPECT_EQ(tag, 1);
    // moveElem(elem, point) leaves the clip alone.
    moveElem(a, ASFixedPoint{fx(1), 0});
    EXPECT_EQ(matrixOf(a).h, fx(11));
    EXPECT_EQ(matrixOf(pdeClipGetElem(pdeGetClip(a), 0)).h, fx(10));
    for (PDEObject o : {a, b, clip, box, c}) pdeRelease(o);
}

TEST_F(Containers, ImagesMoveByMatrixButNotByFrameTranslation) {
    PDEImage img = readImage();
    ASSERT_NE(img, nullptr);
    PDEContainer frame = getContainerWithRect(fxRect(0, 0, 100, 100));
    PDEPath p = makeRect(0, 0, 10, 10);
    PDEClip clip = rectClip(0, 0, 100, 100);
    pdeSetClip(p, clip);
    pdeContentAddElem(getContent(frame), kPDEAfterLast, img);
    pdeContentAddElem(getContent(frame), kPDEAfterLast, p);
    ASFixed imgH = matrixOf(img).h;

    moveContainerBy(frame, fx(7), fx(-3));
    EXPECT_EQ(getBBox(frame).left, fx(7));
    EXPECT_EQ(getBBox(frame).top, fx(97));
    EXPECT_EQ(matrixOf(img).h, imgH);
    EXPECT_EQ(matrixOf(p).h, fx(7));
    EXPECT_EQ(matrixOf(p).v, fx(-3));
    EXPECT_EQ(matrixOf(pdeClipGetElem(pdeGetClip(p), 0)).h, fx(7));

    moveElems(getContent(frame), ASFixedPoint{fx(5), 0}, false);
    EXPECT_EQ(matrixOf(img).h, imgH + fx(5));
    EXPECT_EQ(matrixOf(p).h, fx(12));
    for (PDEObject o : {img, p, clip, frame}) pdeRelease(o);
}

TEST_F(Containers, MoveToPosKeepsTheSizeAndClipsPlainContent) {
    PDEContainer frame = getContainerWithRect(fxRect(10, 10, 60, 40));
    PDEPath p = makeRect(10, 10, 5, 5);
    pdeContentAddElem(getContent(frame), kPDEAfterLast, p);
    ASFixedPoint to{fx(100), fx(200)};
    moveToPos(frame, &to, false);
    ASFixedRect r = getBBox(frame);
    EXPECT_EQ(r.left, fx(100));
    EXPECT_EQ(r.bottom, fx(200));
    EXPECT_EQ(r.right, fx(150));
    EXPECT_EQ(r.top, fx(230));
    EXPECT_EQ(matrixOf(p).h, fx(90));
    EXPECT_EQ(matrixOf(p).v, fx(190));
    EXPECT_NE(pdeGetClip(p), nullptr);  // box number 0: clipped to the frame

    ASFixedPoint by{fx(-100), 0};
    setBoxNum(frame, 3);
    putKeyValue(getVexaDict(frame), "rotated", 1);
    moveToPos(frame, &by, true);
    EXPECT_EQ(getBBox(frame).left, 0);
    // "rotated" frames turn their content by half a turn.
    EXPECT_EQ(matrixOf(p).a, -fixedOne);
    pdeRelease(p);
    pdeRelease(frame);
}

TEST_F(Containers, MovingFramesOrTheSelectionWritesThePage) {
    PDEContainer a = getContainerWithRect(fxRect(0, 0, 10, 10));
    PDEContainer b = getContainerWithRect(fxRect(20, 0, 30, 10));
    addToPage(host.page, {a, b});
    // Selection tags live on the in-memory content, which stays acquired meanwhile.
    PDEContent held = pdPageAcquirePDEContent(host.page);
    setSelected(pdeContentGetElem(held, 1), true);
    auto lefts = [&]() {
        std::vector<ASFixed> v;
        PDEContent c = pdPageAcquirePDEContent(host.page);
        for (ASInt32 i = 0; i < pdeContentGetNumElems(c); ++i)
            v.push_back(getBBox(pdeContentGetElem(c, i)).left);
        pdPageReleasePDEContent(host.page);
        return v;
    };
    moveFramesBy(host.page, fx(5), 0);
    EXPECT_EQ(lefts(), (std::vector<ASFixed>{fx(5), fx(25)}));
    moveSelectionBy(host.page, fx(1), 0);
    EXPECT_EQ(lefts(), (std::vector<ASFixed>{fx(5), fx(26)}));
    pdPageReleasePDEContent(host.page);
}
