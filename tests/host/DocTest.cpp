#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "HostTables.h"
#include "TestSupport.h"
#include "app/App.h"
#include "core/Core.h"
#include "doc/DocInternal.h"

using namespace vexa::host;
using vexa::test::A;
using vexa::test::C;
using vexa::test::codeOf;
using vexa::test::P;
using vexa::test::runCommand;
using vexa::test::TempDir;

// The notifications the document engine sends, recorded through a running application.
namespace {
std::vector<AVNotificationData> gSent;
void (*gOnNotify)(AVNotificationData&) = nullptr;
void record(const AVNotificationData* data, ASClientData) {
    gSent.push_back(*data);
    if (gOnNotify) gOnNotify(const_cast<AVNotificationData&>(*data));
}
struct Listening {
    app::Application app{true};
    Listening() {
        for (ASInt32 s : {NSEL_PDDocDidChangePages, NSEL_PDDocWillSaveEx})
            app.registerNotification(s, nullptr, record, nullptr);
    }
};
}  // namespace

namespace {

ASFixed F(int v) {
    return ASInt32ToFixed(v);
}
ASFixedRect R(int l, int b, int r, int t) {
    return ASFixedRect{F(l), F(t), F(r), F(b)};
}

void expectRect(const ASFixedRect& r, int l, int b, int rt, int t) {
    EXPECT_EQ(r.left, F(l));
    EXPECT_EQ(r.bottom, F(b));
    EXPECT_EQ(r.right, F(rt));
    EXPECT_EQ(r.top, F(t));
}

QPDFObjectHandle nums(std::initializer_list<int> v) {
    QPDFObjectHandle a = QPDFObjectHandle::newArray();
    for (int x : v) a.appendItem(QPDFObjectHandle::newInteger(x));
    return a;
}

// Three pages in a two-level page tree: the root node carries MediaBox, Rotate and
// Resources (a shared font and an indirect frame dictionary under /Properties); the
// inner node overrides MediaBox and Rotate for the last page. Each page's content
// says which page it is.
void writeTreePdf(const std::string& path) {
    QPDF q;
    q.emptyPDF();
    QPDFObjectHandle font = q.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    QPDFObjectHandle frame =
        q.makeIndirectObject(QPDFObjectHandle::parse("<< /boxnum 1 /top 10 >>"));
    QPDFObjectHandle res = QPDFObjectHandle::newDictionary();
    res.replaceKey("/Font", QPDFObjectHandle::newDictionary());
    res.getKey("/Font").replaceKey("/F1", font);
    res.replaceKey("/Properties", QPDFObjectHandle::newDictionary());
    res.getKey("/Properties").replaceKey("/MC0", frame);
    QPDFObjectHandle root = q.getRoot().getKey("/Pages");
    QPDFObjectHandle inner = q.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Pages /Count 1 /MediaBox [0 0 300 400] /Rotate 180 >>"));
    auto page = [&](int n, QPDFObjectHandle parent) {
        QPDFObjectHandle p = q.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
        p.replaceKey("/Parent", parent);
        p.replaceKey("/Contents", q.newStream("/MC0 BDC BT /F1 12 Tf (page " + std::to_string(n) +
                                              ") Tj ET EMC"));
        return p;
    };
    QPDFObjectHandle p0 = page(0, root), p1 = page(1, root), p2 = page(2, inner);
    p1.replaceKey("/CropBox", nums({-10, -10, 700, 900}));
    p1.replaceKey("/TrimBox", nums({10, 20, 590, 780}));
    p1.replaceKey("/Rotate", QPDFObjectHandle::newInteger(-270));
    inner.replaceKey("/Parent", root);
    inner.replaceKey("/Kids", QPDFObjectHandle::newArray());
    inner.getKey("/Kids").appendItem(p2);
    root.replaceKey("/Kids", QPDFObjectHandle::newArray());
    for (auto& k : {p0, p1, inner}) root.getKey("/Kids").appendItem(k);
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(3));
    root.replaceKey("/MediaBox", nums({0, 0, 600, 800}));
    root.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
    root.replaceKey("/Resources", res);
    QPDFWriter w(q, path.c_str());
    w.setQDFMode(false);
    w.write();
}

std::string streamText(CosObj s) {
    ASSize_t n = 0;
    char* p = C()->CosStreamGetData(s, &n);
    std::string out(p, n);
    std::free(p);
    return out;
}

std::string pageText(PDDoc d, int i) {
    PDPage p = P()->PDDocAcquirePage(d, i);
    CosObj contents = C()->CosDictGet(P()->PDPageGetCosObj(p), A("Contents"));
    P()->PDPageRelease(p);
    return streamText(contents);
}

CosObj pageEntry(PDDoc d, int i, std::initializer_list<const char*> path) {
    PDPage p = P()->PDDocAcquirePage(d, i);
    CosObj o = P()->PDPageGetCosObj(p);
    P()->PDPageRelease(p);
    for (const char* k : path) o = C()->CosDictGet(o, A(k));
    return o;
}

int check(const std::string& path, std::string* log) {
    return runCommand("qpdf --check '" + path + "'", log);
}

struct DocFiles : ::testing::Test {
    TempDir tmp;
    std::string tree = tmp.file("tree.pdf");
    std::vector<PDDoc> open;
    void SetUp() override {
        writeTreePdf(tree);
        gSent.clear();
    }
    void TearDown() override {
        for (PDDoc d : open)
            if (doc::isLiveDoc(d)) P()->PDDocClose(d);
        gOnNotify = nullptr;
    }
    PDDoc keep(PDDoc d) {
        open.push_back(d);
        return d;
    }
    PDDoc openTree() { return keep(P()->PDDocOpen(tree.c_str(), true)); }
};

}  // namespace

TEST_F(DocFiles, NewDocumentWithPagesAndInformationRoundTrips) {
    PDDoc d = keep(P()->PDDocCreate());
    EXPECT_NE(P()->PDDocGetFlags(d) & PDDocNeedsSave, 0u);
    PDPage p1 = P()->PDDocCreatePage(d, PDBeforeFirstPage, R(0, 0, 595, 842));
    PDPage p0 = P()->PDDocCreatePage(d, PDBeforeFirstPage, R(0, 0, 100, 200));
    PDPage p2 = P()->PDDocCreatePage(d, 0, R(0, 0, 300, 300));  // after the first
    EXPECT_EQ(P()->PDPageGetNumber(p0), 0);
    EXPECT_EQ(P()->PDPageGetNumber(p2), 1);
    EXPECT_EQ(P()->PDPageGetNumber(p1), 2);
    for (PDPage p : {p0, p1, p2}) P()->PDPageRelease(p);
    const char* title = "Grüße – 印刷";
    P()->PDDocSetInfo(d, "Title", title, -1);
    P()->PDDocSetInfo(d, "Creator", "Vexa 6.17", -1);
    std::string out = tmp.file("new.pdf");
    P()->PDDocSave(d, PDSaveFull, out.c_str());
    EXPECT_EQ(P()->PDDocGetFlags(d) & PDDocNeedsSave, 0u);
    char name[64];
    P()->PDDocGetName(d, name, sizeof name);
    EXPECT_STREQ(name, "new.pdf");
    std::string log;
    EXPECT_EQ(check(out, &log), 0) << log;

    PDDoc re = keep(P()->PDDocOpen(out.c_str(), false));
    ASSERT_EQ(P()->PDDocGetNumPages(re), 3);
    PDPage q = P()->PDDocAcquirePage(re, 2);
    ASFixedRect box;
    P()->PDPageGetMediaBox(q, &box);
    expectRect(box, 0, 0, 595, 842);
    P()->PDPageRelease(q);
    char buf[64];
    EXPECT_EQ(P()->PDDocGetInfo(re, "Title", buf, sizeof buf),
              static_cast<ASInt32>(std::strlen(title)));
    EXPECT_STREQ(buf, title);
    EXPECT_EQ(P()->PDDocGetInfo(re, "Missing", buf, sizeof buf), 0);
    // Short buffers never cut a character in half.
    char small[4];
    P()->PDDocGetInfo(re, "Title", small, sizeof small);
    EXPECT_STREQ(small, "Gr");
    P()->PDDocSetInfo(re, "Creator", nullptr, 0);
    EXPECT_EQ(P()->PDDocGetInfo(re, "Creator", buf, sizeof buf), 0);
}

TEST_F(DocFiles, OpeningBadFilesRaisesClearErrors) {
    EXPECT_EQ(codeOf([&] { P()->PDDocOpen(tmp.file("none.pdf").c_str(), true); }), fileErrNotFound);
    vexa::test::writeFile(tmp.file("empty.pdf"), "");
    EXPECT_EQ(codeOf([&] { P()->PDDocOpen(tmp.file("empty.pdf").c_str(), true); }), pdErrNotPDF);
    vexa::test::writeFile(tmp.file("text.pdf"), std::string(4000, 'z'));
    EXPECT_EQ(codeOf([&] { P()->PDDocOpen(tmp.file("text.pdf").c_str(), true); }), pdErrNotPDF);
    EXPECT_EQ(errorText(pdErrNotPDF), "not a PDF file");
    EXPECT_EQ(errorText(pdErrDamaged), "file is damaged and cannot be repaired");
    EXPECT_EQ(errorText(pdErrEncrypted), "file is encrypted");

    // A wrong cross-reference offset: repaired when allowed, refused otherwise.
    std::string data = vexa::test::readFile(tree);
    auto at = data.rfind("startxref");
    ASSERT_NE(at, std::string::npos);
    data = data.substr(0, at) + "startxref\n17\n%%EOF\n";
    vexa::test::writeFile(tmp.file("damaged.pdf"), data);
    EXPECT_EQ(codeOf([&] { P()->PDDocOpen(tmp.file("damaged.pdf").c_str(), false); }),
              pdErrDamaged);
    std::vector<std::string> warnings;
    auto old = setWarningSink([&](const std::string& w) { warnings.push_back(w); });
    PDDoc d = keep(P()->PDDocOpen(tmp.file("damaged.pdf").c_str(), true));
    setWarningSink(old);
    EXPECT_FALSE(warnings.empty());
    EXPECT_NE(P()->PDDocGetFlags(d) & PDDocWasRepaired, 0u);
    EXPECT_EQ(P()->PDDocGetNumPages(d), 3);

    // Encrypted: a user password is needed, or the empty one opens it.
    std::string log;
    ASSERT_EQ(
        runCommand("qpdf --encrypt secret owner 256 -- " + tree + " " + tmp.file("locked.pdf"),
                   &log),
        0)
        << log;
    EXPECT_EQ(codeOf([&] { P()->PDDocOpen(tmp.file("locked.pdf").c_str(), true); }),
              pdErrEncrypted);
    ASSERT_EQ(
        runCommand("qpdf --encrypt '' owner 256 -- " + tree + " " + tmp.file("open.pdf"), &log), 0)
        << log;
    PDDoc e = keep(P()->PDDocOpen(tmp.file("open.pdf").c_str(), true));
    EXPECT_NE(P()->PDDocGetFlags(e) & PDDocIsEncrypted, 0u);
    EXPECT_EQ(pageText(e, 2), "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC");
    // Its pages can be copied into a plain document.
    PDDoc out = keep(P()->PDDocCreate());
    P()->PDDocInsertPages(out, PDLastPage, e, 0, PDAllPages, 0);
    P()->PDDocSave(out, PDSaveFull, tmp.file("plain.pdf").c_str());
    EXPECT_EQ(check(tmp.file("plain.pdf"), &log), 0) << log;
}

TEST_F(DocFiles, OpenDocumentsAreFoundByPathAndStaleHandlesAreSafe) {
    PDDoc d = openTree();
    EXPECT_TRUE(P()->PDDocIsOpen(tree.c_str()));
    std::string other = tmp.path().string() + "/./tree.pdf";
    EXPECT_EQ(P()->PDDocFromPath(other.c_str()), d);
    char buf[512];
    ASInt32 n = P()->PDDocGetPath(d, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n), std::filesystem::canonical(tree).string());
    PDPage p = P()->PDDocAcquirePage(d, 0);
    P()->PDDocClose(d);
    EXPECT_FALSE(P()->PDDocIsOpen(tree.c_str()));
    EXPECT_EQ(codeOf([&] { P()->PDPageGetNumber(p); }), pdErrBadPage);
    P()->PDPageRelease(p);  // clean-up code may still release it: no crash, no throw
    EXPECT_EQ(codeOf([&] { P()->PDDocAcquirePage(d, 0); }), pdErrBadDoc);
}

TEST_F(DocFiles, PagesAreReferenceCountedAndFollowTheirPosition) {
    PDDoc d = openTree();
    EXPECT_EQ(codeOf([&] { P()->PDDocAcquirePage(d, 3); }), pdErrBadPageNum);
    EXPECT_EQ(codeOf([&] { P()->PDDocAcquirePage(d, -1); }), pdErrBadPageNum);
    PDPage a = P()->PDDocAcquirePage(d, 2);
    PDPage b = P()->PDDocAcquirePage(d, 2);
    EXPECT_EQ(a, b);
    P()->PDPageRelease(b);
    EXPECT_EQ(P()->PDPageGetNumber(a), 2);  // still acquired once
    EXPECT_EQ(P()->PDPageGetDoc(a), d);
    P()->PDDocDeletePages(d, 0, 0);
    EXPECT_EQ(P()->PDPageGetNumber(a), 1);
    P()->PDDocDeletePages(d, 1, PDLastPage);
    EXPECT_EQ(P()->PDPageGetNumber(a), -1);  // deleted, handle still valid
    EXPECT_EQ(P()->PDDocGetNumPages(d), 1);
    EXPECT_EQ(codeOf([&] { P()->PDDocDeletePages(d, 0, 5); }), pdErrBadPageNum);
    P()->PDPageRelease(a);
}

TEST_F(DocFiles, BoxesAndRotationInheritDefaultAndClip) {
    PDDoc d = openTree();
    ASFixedRect r;
    PDPage p0 = P()->PDDocAcquirePage(d, 0);
    EXPECT_TRUE(P()->PDPageGetBox(p0, A("MediaBox"), &r));  // from the root node
    expectRect(r, 0, 0, 600, 800);
    EXPECT_FALSE(P()->PDPageGetBox(p0, A("CropBox"), &r));
    expectRect(r, 0, 0, 600, 800);
    EXPECT_FALSE(P()->PDPageGetBox(p0, A("TrimBox"), &r));
    expectRect(r, 0, 0, 600, 800);
    EXPECT_EQ(P()->PDPageGetRotate(p0), 90);
    EXPECT_EQ(codeOf([&] { P()->PDPageGetBox(p0, A("BoundingBox"), &r); }), pdErrBadBoxName);

    PDPage p1 = P()->PDDocAcquirePage(d, 1);
    P()->PDPageGetCropBox(p1, &r);
    expectRect(r, 0, 0, 600, 800);  // clipped to the media box
    EXPECT_TRUE(P()->PDPageGetBox(p1, A("TrimBox"), &r));
    expectRect(r, 10, 20, 590, 780);
    EXPECT_FALSE(P()->PDPageGetBox(p1, A("BleedBox"), &r));  // defaults to the crop box
    expectRect(r, 0, 0, 600, 800);
    EXPECT_EQ(P()->PDPageGetRotate(p1), 90);  // -270

    PDPage p2 = P()->PDDocAcquirePage(d, 2);
    P()->PDPageGetMediaBox(p2, &r);
    expectRect(r, 0, 0, 300, 400);  // from the inner node
    EXPECT_EQ(P()->PDPageGetRotate(p2), 180);

    // Writing goes on the page itself.
    P()->PDPageSetRotate(p2, -90);
    EXPECT_EQ(P()->PDPageGetRotate(p2), 270);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(P()->PDPageGetCosObj(p2), A("Rotate"))), 270);
    EXPECT_EQ(codeOf([&] { P()->PDPageSetRotate(p2, 45); }), genErrBadParm);
    P()->PDPageSetCropBox(p2, R(10, 10, 200, 250), false);
    P()->PDPageGetCropBox(p2, &r);
    expectRect(r, 10, 10, 200, 250);
    P()->PDPageSetCropBox(p2, R(0, 0, 1000, 500), true);
    P()->PDPageGetMediaBox(p2, &r);
    expectRect(r, 0, 0, 1000, 500);
    P()->PDPageSetBox(p2, A("TrimBox"), ASFixedRect{F(5) + fixedHalf, F(495), F(990), F(5)});
    P()->PDPageGetBox(p2, A("TrimBox"), &r);
    EXPECT_EQ(r.left, F(5) + fixedHalf);
    // The root's entries are untouched.
    P()->PDPageGetMediaBox(p0, &r);
    expectRect(r, 0, 0, 600, 800);
    for (PDPage p : {p0, p1, p2}) P()->PDPageRelease(p);
}

TEST_F(DocFiles, InsertedPagesLandInOrderAndCarryWhatTheyUse) {
    PDDoc src = openTree();
    PDDoc d = keep(P()->PDDocCreate());
    PDPage x = P()->PDDocCreatePage(d, PDBeforeFirstPage, R(0, 0, 10, 10));
    PDPage y = P()->PDDocCreatePage(d, 0, R(0, 0, 20, 20));
    P()->PDPageRelease(x);
    P()->PDPageRelease(y);
    Listening listening;
    gSent.clear();
    P()->PDDocInsertPages(d, 0, src, 0, PDAllPages, 0);
    ASSERT_EQ(P()->PDDocGetNumPages(d), 5);
    EXPECT_EQ(pageText(d, 1), "/MC0 BDC BT /F1 12 Tf (page 0) Tj ET EMC");
    EXPECT_EQ(pageText(d, 3), "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC");
    PDPage last = P()->PDDocAcquirePage(d, 4);
    ASFixedRect r;
    P()->PDPageGetMediaBox(last, &r);
    expectRect(r, 0, 0, 20, 20);
    P()->PDPageRelease(last);
    // Inherited attributes arrive on the pages themselves.
    PDPage moved = P()->PDDocAcquirePage(d, 3);
    P()->PDPageGetMediaBox(moved, &r);
    expectRect(r, 0, 0, 300, 400);
    EXPECT_EQ(P()->PDPageGetRotate(moved), 180);
    P()->PDPageRelease(moved);
    ASSERT_FALSE(gSent.empty());
    EXPECT_EQ(gSent.back().selector, NSEL_PDDocDidChangePages);
    EXPECT_EQ(gSent.back().pdDoc, d);
    EXPECT_EQ(gSent.back().firstPage, 1);
    EXPECT_EQ(gSent.back().lastPage, 3);

    P()->PDDocInsertPages(d, PDBeforeFirstPage, src, 1, 1, 0);
    P()->PDDocInsertPages(d, PDLastPage, src, 2, 1, 0);
    EXPECT_EQ(pageText(d, 0), "/MC0 BDC BT /F1 12 Tf (page 1) Tj ET EMC");
    EXPECT_EQ(pageText(d, 6), "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC");
    EXPECT_EQ(codeOf([&] { P()->PDDocInsertPages(d, 0, src, 2, 2, 0); }), pdErrBadPageNum);
    EXPECT_EQ(codeOf([&] { P()->PDDocInsertPages(d, 9, src, 0, 1, 0); }), pdErrBadPageNum);

    // Shared resources were copied once; every insertion has its own frames.
    CosObj f0 = pageEntry(d, 0, {"Resources", "Font", "F1"});
    CosObj f1 = pageEntry(d, 2, {"Resources", "Font", "F1"});
    CosObj f6 = pageEntry(d, 6, {"Resources", "Font", "F1"});
    EXPECT_TRUE(C()->CosObjEqual(f0, f1));
    EXPECT_TRUE(C()->CosObjEqual(f0, f6));
    CosObj frameA = pageEntry(d, 4, {"Resources", "Properties", "MC0"});  // page 2, first insertion
    CosObj frameB = pageEntry(d, 6, {"Resources", "Properties", "MC0"});  // page 2 again
    EXPECT_FALSE(C()->CosObjEqual(frameA, frameB));
    // Within one insertion the copies keep the source's sharing (all three source pages
    // inherit one frame dictionary).
    EXPECT_TRUE(C()->CosObjEqual(pageEntry(d, 2, {"Resources", "Properties", "MC0"}), frameA));
    C()->CosDictPut(frameA, A("boxnum"), C()->CosNewInteger(P()->PDDocGetCosDoc(d), false, 7));
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(frameB, A("boxnum"))), 1);
    // The source was only read.
    EXPECT_EQ(P()->PDDocGetFlags(src) & PDDocNeedsSave, 0u);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(
                  pageEntry(src, 2, {"Parent", "Parent", "Resources", "Properties", "MC0"}),
                  A("boxnum"))),
              1);
}

TEST_F(DocFiles, DestinationSavesAfterItsSourceWasClosed) {
    PDDoc src = openTree();
    PDDoc d = keep(P()->PDDocCreate());
    P()->PDDocInsertPages(d, PDBeforeFirstPage, src, 0, PDAllPages, 0);
    P()->PDDocInsertPages(d, PDLastPage, src, 0, PDAllPages, 0);
    P()->PDDocClose(src);
    std::filesystem::remove(tree);  // not even the file is needed by name
    std::string out = tmp.file("out.pdf");
    P()->PDDocSave(d, PDSaveFull | PDSaveLinearized | PDSaveCollectGarbage, out.c_str());
    std::string log;
    ASSERT_EQ(check(out, &log), 0) << log;
    EXPECT_NE(log.find("is linearized"), std::string::npos) << log;
    PDDoc re = keep(P()->PDDocOpen(out.c_str(), false));
    ASSERT_EQ(P()->PDDocGetNumPages(re), 6);
    EXPECT_EQ(pageText(re, 5), "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC");
    // One font object in the whole file.
    std::string objects;
    runCommand("qpdf --json --json-key=qpdf '" + out + "'", &objects);
    std::size_t fonts = 0;
    for (std::size_t at = 0; (at = objects.find("/Helvetica", at)) != std::string::npos; ++at)
        ++fonts;
    EXPECT_EQ(fonts, 1u);
}

TEST_F(DocFiles, PagesInsertedFromTheSameDocumentAreDuplicates) {
    PDDoc d = openTree();
    P()->PDDocInsertPages(d, PDLastPage, d, 0, 2, 0);
    ASSERT_EQ(P()->PDDocGetNumPages(d), 5);
    EXPECT_EQ(pageText(d, 4), "/MC0 BDC BT /F1 12 Tf (page 1) Tj ET EMC");
    CosObj a = pageEntry(d, 1, {"Resources", "Properties", "MC0"});
    CosObj b = pageEntry(d, 4, {"Resources", "Properties", "MC0"});
    EXPECT_FALSE(C()->CosObjEqual(a, b));
    EXPECT_TRUE(C()->CosObjEqual(pageEntry(d, 1, {"Resources", "Font", "F1"}),
                                 pageEntry(d, 4, {"Resources", "Font", "F1"})));
    std::string out = tmp.file("dup.pdf"), log;
    P()->PDDocSave(d, PDSaveFull, out.c_str());
    EXPECT_EQ(check(out, &log), 0) << log;
}

TEST_F(DocFiles, ModifiedFlagCanBeClearedAndRestored) {
    PDDoc src = openTree();
    EXPECT_EQ(P()->PDDocGetFlags(src) & PDDocNeedsSave, 0u);
    ASUns32 remembered = P()->PDDocGetFlags(src);
    PDPage p = P()->PDDocAcquirePage(src, 0);
    P()->PDPageNotifyContentsDidChange(p);
    P()->PDPageRelease(p);
    EXPECT_NE(P()->PDDocGetFlags(src) & PDDocNeedsSave, 0u);
    P()->PDDocClearFlags(src, PDDocNeedsSave);
    P()->PDDocSetFlags(src, remembered);
    EXPECT_EQ(P()->PDDocGetFlags(src), remembered);
    P()->PDDocSetInfo(src, "Title", "x", 1);
    EXPECT_NE(P()->PDDocGetFlags(src) & PDDocNeedsSave, 0u);
}

TEST_F(DocFiles, PageLabelsRoundTripAsANumberTree) {
    PDDoc d = keep(P()->PDDocCreate());
    for (int i = 0; i < 6; ++i)
        P()->PDPageRelease(P()->PDDocCreatePage(d, i - 1, R(0, 0, 100, 100)));
    char buf[64];
    P()->PDDocGetLabelForPageNum(d, 4, buf, sizeof buf);
    EXPECT_STREQ(buf, "5");  // no labels
    P()->PDDocSetPageLabel(d, 2, P()->PDPageLabelNew(d, A("D"), "A", -1, 3));
    P()->PDDocSetPageLabel(d, 4, P()->PDPageLabelNew(d, A("r"), nullptr, 0, 1));
    P()->PDDocSetPageLabel(d, 5, P()->PDPageLabelNew(d, A("A"), "Cyan:", -1, 28));
    std::vector<std::string> labels;
    for (int i = 0; i < 6; ++i) {
        P()->PDDocGetLabelForPageNum(d, i, buf, sizeof buf);
        labels.push_back(buf);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"1", "2", "A3", "A4", "i", "Cyan:BB"}));
    ASInt32 first = -1;
    CosObj range = P()->PDDocGetPageLabel(d, 3, &first);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(C()->CosIntegerValue(C()->CosDictGet(range, A("St"))), 3);
    EXPECT_EQ(codeOf([&] { P()->PDPageLabelNew(d, A("Q"), nullptr, 0, 1); }), pdErrBadPageLabel);
    EXPECT_EQ(codeOf([&] { P()->PDDocSetPageLabel(d, 9, range); }), pdErrBadPageNum);

    std::string out = tmp.file("labels.pdf"), json;
    P()->PDDocSave(d, PDSaveFull, out.c_str());
    ASSERT_EQ(runCommand("qpdf --json --json-key=pagelabels '" + out + "'", &json), 0) << json;
    for (const char* expected :
         {"\"index\": 0", "\"index\": 2", "\"/P\": \"u:A\"", "\"/St\": 3", "\"index\": 4",
          "\"/S\": \"/r\"", "\"/P\": \"u:Cyan:\"", "\"/St\": 28"})
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    PDDoc re = keep(P()->PDDocOpen(out.c_str(), false));
    P()->PDDocGetLabelForPageNum(re, 5, buf, sizeof buf);
    EXPECT_STREQ(buf, "Cyan:BB");

    // Removing every range removes the tree.
    for (int i = 0; i < 6; ++i) P()->PDDocRemovePageLabel(re, i);
    EXPECT_FALSE(C()->CosDictKnown(C()->CosDocGetRoot(P()->PDDocGetCosDoc(re)), A("PageLabels")));
    P()->PDDocGetLabelForPageNum(re, 3, buf, sizeof buf);
    EXPECT_STREQ(buf, "4");
}

TEST_F(DocFiles, PageLabelsStayRightWhenSetOutOfOrderOrReplacedInTheCatalog) {
    PDDoc d = keep(P()->PDDocCreate());
    for (int i = 0; i < 8; ++i)
        P()->PDPageRelease(P()->PDDocCreatePage(d, i - 1, R(0, 0, 100, 100)));
    auto label = [&](int page) {
        char buf[64];
        P()->PDDocGetLabelForPageNum(d, page, buf, sizeof buf);
        return std::string(buf);
    };
    // Sheets appended one after another, then one range set before the last.
    for (int i = 0; i < 8; i += 2) {
        P()->PDDocSetPageLabel(d, i, P()->PDPageLabelNew(d, A("D"), "A", -1, i / 2 + 1));
        P()->PDDocSetPageLabel(d, i + 1, P()->PDPageLabelNew(d, A("D"), "B", -1, i / 2 + 1));
    }
    EXPECT_EQ(label(6), "A4");
    P()->PDDocSetPageLabel(d, 3, P()->PDPageLabelNew(d, A("r"), nullptr, 0, 1));
    EXPECT_EQ(label(3), "i");
    EXPECT_EQ(label(7), "B4");
    // The tree replaced behind the document's back is read anew.
    CosDoc cd = P()->PDDocGetCosDoc(d);
    CosObj root = C()->CosDocGetRoot(cd);
    CosObj tree = C()->CosNewDict(cd, false, 1), nums = C()->CosNewArray(cd, false, 2);
    C()->CosArrayInsert(nums, 0, C()->CosNewInteger(cd, false, 0));
    C()->CosArrayInsert(nums, 1, P()->PDPageLabelNew(d, A("D"), "X", -1, 1));
    C()->CosDictPut(tree, A("Nums"), nums);
    C()->CosDictPut(root, A("PageLabels"), tree);
    EXPECT_EQ(label(7), "X8");
}

TEST_F(DocFiles, ResourcesOfAKindIncludeThoseOfForms) {
    PDDoc d = openTree();
    CosDoc cd = P()->PDDocGetCosDoc(d);
    auto cs = [&](const char* colorant) {
        CosObj a = C()->CosNewArray(cd, true, 4);
        C()->CosArrayPut(a, 0, C()->CosNewName(cd, false, A("Separation")));
        C()->CosArrayPut(a, 1, C()->CosNewName(cd, false, A(colorant)));
        C()->CosArrayPut(a, 2, C()->CosNewName(cd, false, A("DeviceCMYK")));
        return a;
    };
    CosObj spot = cs("Spot1"), inForm = cs("Spot2");
    CosObj formRes = C()->CosNewDict(cd, false, 0), formCS = C()->CosNewDict(cd, false, 0);
    C()->CosDictPut(formCS, A("CS0"), inForm);
    C()->CosDictPut(formCS, A("CS9"), spot);  // the same object again: listed once
    C()->CosDictPut(formRes, A("ColorSpace"), formCS);
    CosObj attr = C()->CosNewDict(cd, false, 0);
    C()->CosDictPut(attr, A("Subtype"), C()->CosNewName(cd, false, A("Form")));
    C()->CosDictPut(attr, A("Resources"), formRes);
    CosObj form = C()->CosNewStream(cd, "", 0, attr, CosObj(), CosObj(), false);
    PDPage p2 = P()->PDDocAcquirePage(d, 2);
    CosObj page = P()->PDPageGetCosObj(p2);
    P()->PDPageRelease(p2);
    CosObj res = C()->CosNewDict(cd, false, 0), pageCS = C()->CosNewDict(cd, false, 0),
           xo = C()->CosNewDict(cd, false, 0);
    C()->CosDictPut(pageCS, A("CS1"), spot);
    C()->CosDictPut(xo, A("Fm0"), form);
    C()->CosDictPut(res, A("ColorSpace"), pageCS);
    C()->CosDictPut(res, A("XObject"), xo);
    C()->CosDictPut(page, A("Resources"), res);

    struct Seen {
        std::vector<std::string> names;
    } seen;
    auto collect = [](CosObj resource, CosObj name, ASClientData data) -> ASBool {
        auto* s = static_cast<Seen*>(data);
        EXPECT_EQ(doc::cosTable()->CosObjGetType(resource), CosArray);
        s->names.push_back(atomString(doc::cosTable()->CosNameValue(name)));
        return true;
    };
    P()->PDDocEnumResources(d, 0, -1, A("ColorSpace"), collect, &seen);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"CS1", "CS0"}));
    seen.names.clear();
    P()->PDDocEnumResources(d, 0, 1, A("ColorSpace"), collect, &seen);
    EXPECT_TRUE(seen.names.empty());
    P()->PDDocEnumResources(d, 2, 2, A("Font"), collect, &seen);
    EXPECT_TRUE(seen.names.empty());  // page 2 now has its own resources without fonts
}

TEST_F(DocFiles, SaveHonoursVersionAndNotificationAndNeverLeavesPartialFiles) {
    PDDoc d = openTree();
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = 0x25;
    p.saveFlags2 = PDSaveAddFlate;
    p.major = 1;
    p.minor = 4;
    std::string out = tmp.file("v14.pdf"), log;
    p.newPath = out.c_str();
    P()->PDDocSaveWithParams(d, &p);
    EXPECT_EQ(vexa::test::readFile(out).substr(0, 8), "%PDF-1.4");
    EXPECT_EQ(check(out, &log), 0) << log;
    PDDoc v = keep(P()->PDDocOpen(out.c_str(), false));
    EXPECT_NE(P()->PDDocGetFlags(v) & PDDocIsLinearized, 0u);
    ASInt32 major = 0, minor = 0;
    P()->PDDocGetVersion(v, &major, &minor);
    EXPECT_EQ(minor, 4);

    {
        // A handler of "will save" may change the parameters.
        Listening listening;
        gOnNotify = [](AVNotificationData& n) {
            if (n.selector == NSEL_PDDocWillSaveEx) n.saveParams->minor = 6;
        };
        std::string o2 = tmp.file("v16.pdf");
        p.newPath = o2.c_str();
        P()->PDDocSaveWithParams(d, &p);
        EXPECT_EQ(vexa::test::readFile(o2).substr(0, 8), "%PDF-1.6");
        EXPECT_EQ(gSent.back().selector, NSEL_PDDocWillSaveEx);
        EXPECT_EQ(gSent.back().pdDoc, d);
        gOnNotify = nullptr;
    }

    p.minor = 9;
    EXPECT_EQ(codeOf([&] { P()->PDDocSaveWithParams(d, &p); }), pdErrBadSaveParams);
    EXPECT_EQ(codeOf([&] { P()->PDDocSave(d, PDSaveFull, tmp.file("no/such/dir.pdf").c_str()); }),
              fileErrWrite);

    // A write that fails halfway leaves the old file as it was and no temporary file.
    std::string before = vexa::test::readFile(out);
    QPDFObjectHandle bad = doc::qpdfOf(d).newStream();
    bad.replaceStreamData([](Pipeline*) { throw std::runtime_error("device full"); },
                          QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    doc::qpdfOf(d).getRoot().replaceKey("/Broken", bad);
    EXPECT_EQ(codeOf([&] { P()->PDDocSave(d, PDSaveFull, out.c_str()); }), pdErrSaveFailed);
    EXPECT_EQ(vexa::test::readFile(out), before);
    std::size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(tmp.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 3u);  // tree.pdf, v14.pdf, v16.pdf: nothing else
}
