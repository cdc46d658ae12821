// Scope objects give back what they hold however the scope ends, and a host error
// while giving back is logged instead of thrown; the two error frames report or log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Common/ErrorHandling.h"
#include "ModelTestHost.h"
#include "Common/Scopes.h"

namespace fs = std::filesystem;

namespace {

struct Scopes : ::testing::Test {
    vexa::test::ModelTestHost host;

    void SetUp() override {
        setupDump(1);
        setEHMode(kEHLog);
    }
    void TearDown() override {
        setLogMode(0);
        setEHMode(kEHUnset);
    }
    static std::string log() {
        fs::path p = getDumpPath();
        return fs::exists(p) ? vexa::test::readFile(p.string()) : "";
    }
};

}  // namespace

TEST_F(Scopes, PageContentIsReleasedAtTheEndOfTheScopeEvenWhenLeftByAnError) {
    {
        PageContentRef content(host.page);
        ASSERT_NE(content.get(), nullptr);
        pdPageAcquirePDEContent(host.page);
        EXPECT_EQ(pdPageReleasePDEContent(host.page), 1);  // the scope's own hold is left
    }
    EXPECT_THROW(pdPageReleasePDEContent(host.page), ASException);
    try {
        PageContentRef content(host.page);
        asRaise(genErrBadParm);
    } catch (const ASException&) {
    }
    EXPECT_THROW(pdPageReleasePDEContent(host.page), ASException);
    EXPECT_EQ(log(), "");
}

TEST_F(Scopes, AnErrorWhileGivingBackIsLoggedNotThrownNorCounted) {
    vexa::host::setErrorText(pdeErrRelease, "released too often");
    EXPECT_NO_THROW({
        PageContentRef content(host.page);
        pdPageReleasePDEContent(host.page);  // somebody else let it go already
    });
    EXPECT_EQ(log(), "\t--\treleasing a page's content: released too often\n");
    EXPECT_EQ(getErrorCnt(), 0);
}

TEST_F(Scopes, ReferencesMoveAndHandOverWithoutReleasingTwice) {
    ElementRef a(gPDFEditWriteHFT->PDEPathCreate());
    PDEObject path = a.get();
    ElementRef b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), path);
    PDEObject mine = b.release();
    EXPECT_FALSE(b);
    EXPECT_NO_THROW(pdeRelease(mine));
    PageRef page(host.doc, 0);
    EXPECT_EQ(page.get(), host.page);
    PageRef none;
    EXPECT_FALSE(none);
    EXPECT_EQ(log(), "");
}

TEST_F(Scopes, TheCurrentCosDocumentComesBackAfterNestedScopes) {
    PDDoc other = pdDocCreate();
    ASSERT_EQ(getCosPDDoc(), host.doc);
    {
        CosDocScope outer(other);
        EXPECT_EQ(gCosDoc, pdDocGetCosDoc(other));
        {
            CosDocScope inner(nullptr);
            EXPECT_EQ(gCosDoc, nullptr);
        }
        EXPECT_EQ(getCosPDDoc(), other);
    }
    EXPECT_EQ(getCosPDDoc(), host.doc);
    EXPECT_EQ(gCosDoc, pdDocGetCosDoc(host.doc));
    DocRef closing(other);
}

TEST_F(Scopes, ReportedErrorsAreCountedWithTheirPageLoggedOnesOnlyWritten) {
    vexa::host::setErrorText(genErrBadParm, "a bad parameter");
    bool ran = false;
    EXPECT_TRUE(reportHostErrors(2, [&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(reportHostErrors(2, [] { asRaise(genErrBadParm); }));
    EXPECT_EQ(getErrorCnt(), 1);
    EXPECT_FALSE(logHostErrors("trying", [] { asRaise(genErrBadParm); }));
    EXPECT_EQ(getErrorCnt(), 1);
    EXPECT_EQ(log(), "\t####\tPage 2: a bad parameter\n\t--\ttrying: a bad parameter\n");
    // Other exceptions are not the frames' to catch.
    EXPECT_THROW(logHostErrors("trying", [] { throw std::runtime_error("x"); }),
                 std::runtime_error);
}
