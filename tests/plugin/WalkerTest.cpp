// The full content walker and the frame walker: order, nesting, counters, stopping,
// removing and adding at nested levels, write-back, recursion through forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Sources/ImposeDlg.h"
#include "ModelBuild.h"

using namespace vexa::test;

namespace {

struct Visit {
    PDEType type;
    PDEContent list;  // the content list of the level: the page's, or a nested one
    long index;
    ASFixed h;  // accumulated translation of the level
};

struct Walker : ::testing::Test {
    ModelTestHost host;
    static std::vector<Visit> visits;
    static PDEType stopAt;
    static PDEType removeType;
    static bool addInForm;

    void SetUp() override {
        visits.clear();
        stopAt = 0;
        removeType = 0;
        addInForm = false;
    }

    static bool record(CContent* level, PDEElement, long index, PDEType type, long) {
        visits.push_back({type, level->getContent(), index, level->getMatrix().h});
        EXPECT_EQ(getCurContent(), level);
        EXPECT_EQ(getIndex(), index);
        if (type == removeType) level->rmvElem(index);
        if (addInForm && level->getMatrix().h == fx(100) && type == kPDEPath) {
            PDEPath added = makeRect(1, 1, 2, 2);
            level->addElem(added, kAddAtEnd);  // the list holds its own reference
            pdeRelease(added);
            addInForm = false;
        }
        return type != stopAt;
    }

    // path, form(translated by 100){path, path}, container{path}, path
    void buildPage() {
        ASFixedMatrix t{fixedOne, 0, 0, fixedOne, fx(100), 0};
        PDEForm form = makeForm({makeRect(0, 0, 10, 10), makeRect(20, 0, 10, 10)}, &t);
        PDEContainer plain = getContainerWithBoxNum(0);
        PDEPath inner = makeRect(5, 5, 5, 5);
        pdeContentAddElem(getContent(plain), kPDEAfterLast, inner);
        pdeRelease(inner);
        addToPage(host.page, {makeRect(0, 0, 50, 50), form, plain, makeRect(60, 0, 50, 50)});
    }
};
std::vector<Visit> Walker::visits;
PDEType Walker::stopAt;
PDEType Walker::removeType;
bool Walker::addInForm;

std::vector<PDEType> types(const std::vector<Visit>& v) {
    std::vector<PDEType> t;
    for (auto& x : v) t.push_back(x.type);
    return t;
}

}  // namespace

TEST_F(Walker, AnEmptyPageCallsNothingAndIsNotWritten) {
    pdDocClearFlags(host.doc, PDDocNeedsSave);
    CPage page(host.page);
    long unknown = -1;
    EXPECT_TRUE(page.enumContent(record, &unknown, 0));
    EXPECT_TRUE(visits.empty());
    EXPECT_EQ(unknown, 0);
    EXPECT_FALSE(needsSave(host.doc));
    EXPECT_EQ(getCurContent(), nullptr);
}

TEST_F(Walker, VisitsBackwardIntoFormsAndContainersWithTheirMatrices) {
    buildPage();
    pdDocClearFlags(host.doc, PDDocNeedsSave);
    CPage page(host.page);
    EXPECT_TRUE(page.enumContent(record, nullptr, 0));
    ASSERT_EQ(types(visits), (std::vector<PDEType>{kPDEPath, kPDEContainer, kPDEPath, kPDEForm,
                                                   kPDEPath, kPDEPath, kPDEPath}));
    EXPECT_EQ(visits[0].index, 3);
    EXPECT_NE(visits[2].list, visits[0].list);  // inside the container
    EXPECT_EQ(visits[2].h, 0);                  // containers keep the identity
    EXPECT_NE(visits[4].list, visits[0].list);  // inside the form
    EXPECT_NE(visits[4].list, visits[2].list);
    EXPECT_EQ(visits[4].h, fx(100));  // the form's matrix is accumulated
    EXPECT_EQ(visits[6].index, 0);
    EXPECT_EQ(visits[6].list, visits[0].list);  // back on the page
    EXPECT_FALSE(needsSave(host.doc));
}

TEST_F(Walker, FalseStopsOnlyOnPlainElements) {
    buildPage();
    CPage page(host.page);
    stopAt = kPDEForm;  // ignored for forms
    EXPECT_TRUE(page.enumContent(record, nullptr, 0));
    EXPECT_EQ(visits.size(), 7u);
    visits.clear();
    stopAt = kPDEContainer;
    EXPECT_TRUE(page.enumContent(record, nullptr, 0));
    EXPECT_EQ(visits.size(), 7u);
    // A path stopping inside the form stops the whole walk.
    visits.clear();
    stopAt = kPDEPath;
    EXPECT_FALSE(page.enumContent(record, nullptr, 0));
    EXPECT_EQ(visits.size(), 1u);
}

TEST_F(Walker, RemovingTheVisitedElementGoesOnAndWritesThePage) {
    buildPage();
    pdDocClearFlags(host.doc, PDDocNeedsSave);
    removeType = kPDEContainer;
    CPage page(host.page);
    EXPECT_TRUE(page.enumContent(record, nullptr, 0));
    // The removed container is not entered; the walk goes on with the form.
    EXPECT_EQ(types(visits), (std::vector<PDEType>{kPDEPath, kPDEContainer, kPDEForm, kPDEPath,
                                                   kPDEPath, kPDEPath}));
    EXPECT_TRUE(needsSave(host.doc));
    EXPECT_EQ(pageElemCount(host.page), 3);
}

TEST_F(Walker, AddingInsideAFormReencodesItAndReachesThePage) {
    buildPage();
    PDEContent before = pdPageAcquirePDEContent(host.page);
    CosObj oldForm = pdeFormGetCosObj(pdeContentGetElem(before, 1));
    pdPageReleasePDEContent(host.page);
    pdDocClearFlags(host.doc, PDDocNeedsSave);

    addInForm = true;
    CPage page(host.page);
    EXPECT_TRUE(page.enumContent(record, nullptr, 0));
    EXPECT_TRUE(needsSave(host.doc));

    PDEContent after = pdPageAcquirePDEContent(host.page);
    ASSERT_EQ(pdeContentGetNumElems(after), 4);
    PDEElement form = pdeContentGetElem(after, 1);
    ASSERT_EQ(pdeObjectGetType(form), kPDEForm);
    EXPECT_FALSE(cosObjEqual(pdeFormGetCosObj(form), oldForm));
    ASFixedMatrix m;
    pdeGetMatrix(form, &m);
    EXPECT_EQ(m.h, fx(100));  // the old matrix is kept
    PDEContent inner = pdeFormAcquireContent(form);
    EXPECT_EQ(pdeContentGetNumElems(inner), 3);
    pdeFormReleaseContent(form, inner);
    pdPageReleasePDEContent(host.page);
}

TEST_F(Walker, AddingMarksOnlyItsLevelAndRemovingMarksAll) {
    PDEContent c = pdeContentCreate();
    {
        CContent top(c, nullptr, nullptr);
        CContent mid(c, &top, nullptr);
        CContent low(c, &mid, nullptr);
        EXPECT_EQ(getCurContent(), &low);
        PDEPath added = makeRect(0, 0, 1, 1);
        low.addElem(added, kAddAtEnd);
        pdeRelease(added);
        EXPECT_EQ(low.getModified(), 1);
        EXPECT_EQ(mid.getModified(), 0);
        EXPECT_EQ(low.getCount(), 1);
        low.rmvElem(0);
        EXPECT_EQ(low.getModified(), 2);
        EXPECT_EQ(top.getModified(), 1);
        low.addUnknown();
        EXPECT_EQ(top.getUnknown(), 1);
        addModified();
        EXPECT_EQ(getModified(), 3);
    }
    EXPECT_EQ(getCurContent(), nullptr);
    EXPECT_EQ(getModified(), 0);
    pdeRelease(c);
}

TEST_F(Walker, RemoveContentEmptiesTheList) {
    PDEContent c = pdeContentCreate();
    PDEPath a = makeRect(0, 0, 1, 1), b = makeRect(0, 0, 2, 2);
    pdeContentAddElem(c, kPDEAfterLast, a);
    pdeContentAddElem(c, kPDEAfterLast, b);
    removeContent(c);
    EXPECT_EQ(pdeContentGetNumElems(c), 0);
    for (PDEObject o : {a, b, c}) pdeRelease(o);
}

TEST_F(Walker, AFormThatDrawsItselfIsEnteredOnceAndCountedUnknown) {
    // A form whose resources name the form itself.
    CosObj attrs = cosNewDict(gCosDoc, false, 4);
    cosDictPut(attrs, "Type", cosNewName(gCosDoc, false, "XObject"));
    cosDictPut(attrs, "Subtype", cosNewName(gCosDoc, false, "Form"));
    CosObj bbox = cosNewArray(gCosDoc, false, 4);
    for (int i = 0; i < 4; ++i)
        cosArrayInsert(bbox, i, cosNewInteger(gCosDoc, false, i < 2 ? 0 : 100));
    cosDictPut(attrs, "BBox", bbox);
    const char* data = "0 0 10 10 re f /Me Do";
    CosObj stream = cosNewStream(gCosDoc, data, std::strlen(data), attrs);
    CosObj res = cosNewDict(gCosDoc, false, 1), xo = cosNewDict(gCosDoc, false, 1);
    cosDictPut(xo, "Me", stream);
    cosDictPut(res, "XObject", xo);
    cosDictPut(stream, "Resources", res);
    ASFixedMatrix id{fixedOne, 0, 0, fixedOne, 0, 0};
    PDEForm form = pdeFormCreateFromCosObj(&stream, &res, &id);
    addToPage(host.page, {form});

    CPage page(host.page);
    long unknown = 0;
    bool finished = false;
    DURING
    finished = page.enumContent(record, &unknown, 0);
    HANDLER
    // The host may refuse to read the inner form; it must not recurse.
    finished = ERRORCODE == 0;
    END_HANDLER
    EXPECT_LE(visits.size(), 4u);
    EXPECT_TRUE(finished);
    EXPECT_EQ(unknown, 1);
    EXPECT_EQ(visits.size(), 3u);
}

// Frame walks.

namespace {
std::vector<ASInt32> seen;
bool recordFrame(CContent* level, PDEElement frame, long index, long data) {
    ASInt32 num = getBoxNum(frame);
    seen.push_back(num);
    if (data == 1 && num == 3) level->rmvElem(index);  // frees the frame
    return num != 99;
}
PDEContainer frameWithRect(ASInt32 boxNum) {
    PDEContainer c = getContainerWithRect(fxRect(0, 0, 10, 10));
    setBoxNum(c, boxNum);
    return c;
}
}  // namespace

TEST_F(Walker, FrameWalkSeesOnlyContainersWithARectangle) {
    seen.clear();
    PDEContainer inner = frameWithRect(7);
    PDEContainer outer = frameWithRect(2);
    pdeContentAddElem(getContent(outer), kPDEAfterLast, inner);
    pdeRelease(inner);
    addToPage(host.page,
              {frameWithRect(1), getContainerWithBoxNum(5), makeRect(0, 0, 1, 1), outer});
    EXPECT_TRUE(EnumForms(host.page, recordFrame, 0, false, true));
    EXPECT_EQ(seen, (std::vector<ASInt32>{1, 2}));
    seen.clear();
    EXPECT_TRUE(EnumForms(host.page, recordFrame, 0, false, false));
    EXPECT_EQ(seen, (std::vector<ASInt32>{2, 1}));

    // The full walk sees the container without "top" and the nested frame.
    visits.clear();
    CPage page(host.page);
    page.enumContent(record, nullptr, 0);
    int containers = 0;
    for (auto& v : visits) containers += v.type == kPDEContainer;
    EXPECT_EQ(containers, 4);
}

TEST_F(Walker, FrameWalkStopsAndWritesWhenAsked) {
    seen.clear();
    addToPage(host.page, {frameWithRect(99), frameWithRect(3)});
    pdDocClearFlags(host.doc, PDDocNeedsSave);
    EXPECT_FALSE(EnumForms(host.page, recordFrame, 0, false, true));
    EXPECT_EQ(seen, (std::vector<ASInt32>{99}));
    EXPECT_FALSE(needsSave(host.doc));
    // Written back when asked: the removal reaches the page.
    seen.clear();
    EXPECT_FALSE(EnumForms(host.page, recordFrame, 1, true, false));
    EXPECT_EQ(seen, (std::vector<ASInt32>{3, 99}));
    EXPECT_TRUE(needsSave(host.doc));
    EXPECT_EQ(pageElemCount(host.page), 1);
}

TEST_F(Walker, DocumentRangesRunToTheLastPage) {
    for (int i = 1; i < 5; ++i) {
        PDPage p = gPDModelHFT->PDDocCreatePage(host.doc, i - 1, fxRect(0, 0, 100, 100));
        pdPageRelease(p);
    }
    for (int i = 0; i < 5; ++i) {
        CPage p(host.doc, i);
        addToPage(p.getPage(), {frameWithRect(10 + i)});
    }
    seen.clear();
    EnumForms(host.doc, 2, PDLastPage, recordFrame, 0, false);
    EXPECT_EQ(seen, (std::vector<ASInt32>{12, 13, 14}));
    seen.clear();
    EnumForms(host.doc, 3, 17, recordFrame, 0, false);
    EXPECT_EQ(seen, (std::vector<ASInt32>{13, 14}));
    seen.clear();
    EnumForms(host.doc, 1, 1, recordFrame, 0, false);
    EXPECT_EQ(seen, (std::vector<ASInt32>{11}));
    // No page and no front document: nothing happens.
    seen.clear();
    EXPECT_TRUE(EnumForms(static_cast<PDPage>(nullptr), recordFrame, 0, true, true));
    EXPECT_TRUE(seen.empty());
}

TEST_F(Walker, ATemplateHasAPageFrameOnItsFirstPage) {
    EXPECT_FALSE(docIsTemplate(host.doc));
    addToPage(host.page, {frameWithRect(-1), frameWithRect(0)});
    EXPECT_FALSE(docIsTemplate(host.doc));
    addToPage(host.page, {frameWithRect(1)});
    EXPECT_TRUE(docIsTemplate(host.doc));
    EXPECT_FALSE(docIsTemplate(nullptr));
}
