// Documents written as they are made: finished pages go to the file at once and leave
// memory; the save completes the file.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "HostTables.h"
#include "TestSupport.h"
#include "core/Core.h"
#include "doc/DocInternal.h"
#include "doc/RawCopy.h"
#include "pde/Tables.h"

using namespace vexa::host;
using vexa::test::A;
using vexa::test::C;
using vexa::test::codeOf;
using vexa::test::P;
using vexa::test::runCommand;
using vexa::test::TempDir;

namespace {

// Pages that say which page they are, with a shared font and a frame dictionary of
// their own each.
void writeSource(const std::string& path, int pages) {
    QPDF q;
    q.emptyPDF();
    QPDFObjectHandle font = q.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    for (int i = 0; i < pages; ++i) {
        QPDFObjectHandle res = QPDFObjectHandle::parse("<< /Font << >> /Properties << >> >>");
        res.getKey("/Font").replaceKey("/F1", font);
        res.getKey("/Properties")
            .replaceKey("/MC0", q.makeIndirectObject(QPDFObjectHandle::parse("<< /boxnum 1 >>")));
        QPDFObjectHandle p = QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 200 300] /TrimBox [10 10 190 290] >>");
        p.replaceKey("/Resources", res);
        p.replaceKey("/Contents", q.newStream("/MC0 BDC BT /F1 12 Tf (page " + std::to_string(i) +
                                              ") Tj ET EMC"));
        q.addPage(p, false);
    }
    QPDFWriter w(q, path.c_str());
    w.write();
}

std::string pageText(PDDoc d, int i) {
    PDPage p = P()->PDDocAcquirePage(d, i);
    CosObj contents = C()->CosDictGet(P()->PDPageGetCosObj(p), A("Contents"));
    P()->PDPageRelease(p);
    ASSize_t n = 0;
    char* data = C()->CosStreamGetData(contents, &n);
    std::string out(data, n);
    std::free(data);
    return out;
}

CosObj pageEntry(PDDoc d, int i, std::initializer_list<const char*> path) {
    PDPage p = P()->PDDocAcquirePage(d, i);
    CosObj o = P()->PDPageGetCosObj(p);
    P()->PDPageRelease(p);
    for (const char* k : path) o = C()->CosDictGet(o, A(k));
    return o;
}

// A source of three pages with an image each (deflated noise, about 300 KB); written
// with RC4 encryption (an empty user password) when encrypt is set.
void writeImageSource(const std::string& path, bool encrypt = false) {
    QPDF q;
    q.emptyPDF();
    for (int i = 0; i < 3; ++i) {
        std::string noise;
        unsigned x = 12345u + static_cast<unsigned>(i);
        for (int k = 0; k < 300000; ++k) {
            x = x * 1103515245u + 12345u;
            noise += static_cast<char>(x >> 24);
        }
        std::string packed;
        Pl_String sink("packed", nullptr, packed);
        Pl_Flate flate("flate", &sink, Pl_Flate::a_deflate);
        flate.write(reinterpret_cast<const unsigned char*>(noise.data()), noise.size());
        flate.finish();
        QPDFObjectHandle img = q.newStream();
        img.replaceStreamData(packed, QPDFObjectHandle::newName("/FlateDecode"),
                              QPDFObjectHandle::newNull());
        for (const char* kv : {"/Type /XObject", "/Subtype /Image", "/Width 500", "/Height 200",
                               "/ColorSpace /DeviceRGB", "/BitsPerComponent 8"}) {
            std::string s = kv;
            std::size_t sp = s.find(' ');
            img.getDict().replaceKey(s.substr(0, sp), QPDFObjectHandle::parse(s.substr(sp)));
        }
        QPDFObjectHandle p = QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 500 200] /Resources << /XObject << >> >> >>");
        p.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", img);
        p.replaceKey("/Contents", q.newStream("q 500 0 0 200 0 0 cm /Im0 Do Q"));
        q.addPage(p, false);
    }
    QPDFWriter w(q, path.c_str());
    if (encrypt)
        w.setR4EncryptionParametersInsecure("", "owner", true, true, true, true, true, true,
                                            qpdf_r3p_full, true, false);
    w.write();
}

// The stored (raw) data of each page's image, as QPDF reads it (decrypted, and by the
// repaired length in a damaged file).
std::vector<std::string> rawImages(const std::string& path) {
    QPDF q;
    q.setSuppressWarnings(true);
    q.processFile(path.c_str());
    std::vector<std::string> out;
    for (QPDFObjectHandle page : q.getAllPages()) {
        auto data = page.getKey("/Resources").getKey("/XObject").getKey("/Im0").getRawStreamData();
        out.emplace_back(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    }
    return out;
}

struct WriteAhead : ::testing::Test {
    TempDir tmp;
    std::string src = tmp.file("src.pdf");
    std::vector<PDDoc> open;
    static constexpr int kPages = 4, kPasses = 3;

    void SetUp() override { writeSource(src, kPages); }
    void TearDown() override {
        doc::setWriteAheadForNewDocuments(false);
        for (PDDoc d : open)
            if (doc::isLiveDoc(d)) P()->PDDocClose(d);
    }
    PDDoc keep(PDDoc d) {
        open.push_back(d);
        return d;
    }

    // Three passes of the source, each page's frame numbered as a job numbers it; with
    // ahead, the first two passes are written ahead as soon as they are done. Then a
    // shared object that written pages use changes (the font), as a job's shared
    // resources may after their first sheets.
    PDDoc build(bool ahead, int savedMinor = 0, int passes = kPasses) {
        doc::setWriteAheadForNewDocuments(ahead, savedMinor);
        PDDoc d = keep(P()->PDDocCreate());
        doc::setWriteAheadForNewDocuments(false);
        PDDoc s = keep(P()->PDDocOpen(src.c_str(), true));
        CosObj font;
        for (int pass = 0; pass < passes; ++pass) {
            ASInt32 first = P()->PDDocGetNumPages(d);
            P()->PDDocInsertPages(d, first > 0 ? first - 1 : PDBeforeFirstPage, s, 0, PDAllPages,
                                  0);
            for (int i = 0; i < kPages; ++i) {
                CosObj frame = pageEntry(d, first + i, {"Resources", "Properties", "MC0"});
                C()->CosDictPut(frame, A("boxnum"),
                                C()->CosNewInteger(P()->PDDocGetCosDoc(d), false, pass * 10 + i));
            }
            if (pass == 0) {
                font = pageEntry(d, 0, {"Resources", "Font", "F1"});
                // Objects that are a number or nothing of their own, and a reference to an
                // object that does not exist, as damaged or odd files have them.
                CosDoc cd = P()->PDDocGetCosDoc(d);
                C()->CosDictPut(font, A("Size"), C()->CosNewInteger(cd, true, 12));
                CosObj gone = C()->CosNewInteger(cd, true, 5);
                C()->CosDictPut(font, A("Gone"), gone);
                C()->CosObjDestroy(gone);
            }
            if (ahead && pass < passes - 1) {
                EXPECT_TRUE(P()->PDDocWritePagesAhead(d, P()->PDDocGetNumPages(d) - 1));
            }
        }
        C()->CosDictPut(font, A("Vexa"), C()->CosNewInteger(P()->PDDocGetCosDoc(d), false, 1));
        P()->PDDocSetInfo(d, "Title", "job", -1);
        return d;
    }

    std::string save(PDDoc d, const char* name, ASInt32 minor = 0, ASUns32 flags = PDSaveFull) {
        std::string out = tmp.file(name);
        PDDocSaveParamsRec p{};
        p.size = sizeof p;
        p.saveFlags = flags | PDSaveCopy;
        p.newPath = out.c_str();
        if (minor) {
            p.major = 1;
            p.minor = minor;
        }
        P()->PDDocSaveWithParams(d, &p);
        return out;
    }

    // What a reader sees of a saved job: every page's content, frame number and font.
    std::vector<std::string> read(const std::string& path) {
        PDDoc d = keep(P()->PDDocOpen(path.c_str(), false));
        std::vector<std::string> pages;
        for (int i = 0; i < P()->PDDocGetNumPages(d); ++i) {
            CosObj frame = pageEntry(d, i, {"Resources", "Properties", "MC0"});
            CosObj font = pageEntry(d, i, {"Resources", "Font", "F1"});
            pages.push_back(
                pageText(d, i) + " | boxnum " +
                std::to_string(C()->CosIntegerValue(C()->CosDictGet(frame, A("boxnum")))) +
                " | font " +
                std::to_string(C()->CosIntegerValue(C()->CosDictGet(font, A("Vexa")))) + " " +
                std::to_string(C()->CosIntegerValue(C()->CosDictGet(font, A("Size")))));
        }
        char title[16] = "";
        P()->PDDocGetInfo(d, "Title", title, sizeof title);
        pages.push_back(title);
        return pages;
    }

    static std::string check(const std::string& path) {
        std::string log;
        int rc = runCommand("qpdf --check '" + path + "'", &log);
        return rc == 0 ? "" : log;
    }
    static std::string head(const std::string& path) {
        return vexa::test::readFile(path).substr(0, 8);
    }
    static bool hasObjectStreams(const std::string& path) {
        return vexa::test::readFile(path).find("/ObjStm") != std::string::npos;
    }
};

}  // namespace

TEST_F(WriteAhead, AheadAndOrdinarySavesReadAlikeAndASecondSaveToo) {
    std::string plain = save(build(false), "plain.pdf");
    PDDoc d = build(true);
    std::string ahead = save(d, "ahead.pdf");
    EXPECT_EQ(check(plain), "");
    EXPECT_EQ(check(ahead), "");
    std::vector<std::string> want = read(plain);
    ASSERT_EQ(want.size(), static_cast<std::size_t>(kPages * kPasses + 1));
    EXPECT_EQ(want[5], "/MC0 BDC BT /F1 12 Tf (page 1) Tj ET EMC | boxnum 11 | font 1 12");
    EXPECT_EQ(read(ahead), want);
    // The source is PDF 1.3: no object streams, as an ordinary save.
    EXPECT_EQ(head(ahead), "%PDF-1.3");
    EXPECT_FALSE(hasObjectStreams(ahead));
    // Saving again writes the document as it is then.
    P()->PDDocSetInfo(d, "Title", "again", -1);
    std::string again = save(d, "again.pdf");
    EXPECT_EQ(check(again), "");
    std::vector<std::string> second = read(again);
    want.back() = "again";
    EXPECT_EQ(second, want);
}

// A long job: the writer drops what it wrote from its list of numbered objects now and
// then, and a shared object numbered on the first sheet is still written at the end.
TEST_F(WriteAhead, ALongJobReadsAsAnOrdinarySave) {
    constexpr int kLong = 60;
    std::vector<std::string> want = read(save(build(false, 0, kLong), "plain.pdf"));
    std::string ahead = save(build(true, 0, kLong), "ahead.pdf");
    EXPECT_EQ(check(ahead), "");
    ASSERT_EQ(want.size(), static_cast<std::size_t>(kPages * kLong + 1));
    EXPECT_EQ(want[kPages * (kLong - 1) + 2],
              "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC | boxnum 592 | font 1 12");
    EXPECT_EQ(read(ahead), want);
}

TEST_F(WriteAhead, WrittenPagesKeepTheirBoxesButRefuseChanges) {
    PDDoc d = build(true);
    PDPage p = P()->PDDocAcquirePage(d, 0);
    ASFixedRect box;
    EXPECT_TRUE(P()->PDPageGetBox(p, A("TrimBox"), &box));
    EXPECT_EQ(box.right, ASInt32ToFixed(190));
    EXPECT_TRUE(doc::pageWrittenAhead(p));
    EXPECT_EQ(codeOf([&] { P()->PDPageSetRotate(p, 90); }), pdErrPageWritten);
    EXPECT_EQ(codeOf([&] { P()->PDPageSetBox(p, A("CropBox"), box); }), pdErrPageWritten);
    EXPECT_EQ(codeOf([&] { pde::pageContentTable()->PDPageAcquirePDEContent(p, 0); }),
              pdErrPageWritten);
    P()->PDPageRelease(p);
    EXPECT_EQ(codeOf([&] { P()->PDDocDeletePages(d, 0, 0); }), pdErrPageWritten);
    // The pass not written ahead is still the document's to change.
    ASInt32 last = P()->PDDocGetNumPages(d) - 1;
    PDPage q = P()->PDDocAcquirePage(d, last);
    EXPECT_FALSE(doc::pageWrittenAhead(q));
    P()->PDPageSetRotate(q, 90);
    P()->PDPageRelease(q);
    P()->PDDocDeletePages(d, last, last);
    std::string out = save(d, "changed.pdf");
    EXPECT_EQ(check(out), "");
    EXPECT_EQ(read(out).size(), static_cast<std::size_t>(kPages * kPasses));
}

TEST_F(WriteAhead, OnlyDocumentsMadeForItAreWrittenAhead) {
    PDDoc made = keep(P()->PDDocCreate());
    PDDoc opened = keep(P()->PDDocOpen(src.c_str(), true));
    EXPECT_FALSE(P()->PDDocWritePagesAhead(made, PDBeforeFirstPage));
    EXPECT_FALSE(P()->PDDocWritePagesAhead(opened, PDLastPage));
    PDPage p = P()->PDDocAcquirePage(opened, 0);
    EXPECT_FALSE(doc::pageWrittenAhead(p));
    P()->PDPageRelease(p);
    doc::setWriteAheadForNewDocuments(true);
    PDDoc ahead = keep(P()->PDDocCreate());
    EXPECT_TRUE(P()->PDDocWritePagesAhead(ahead, PDBeforeFirstPage));
    EXPECT_EQ(codeOf([&] { P()->PDDocWritePagesAhead(ahead, 0); }), pdErrBadPageNum);
}

TEST_F(WriteAhead, VersionsBeforeObjectStreamsAndLinearizedSavesRewriteTheFile) {
    // Written ahead for a PDF 1.6 save: object streams from the start.
    std::vector<std::string> want = read(save(build(false), "plain.pdf"));
    PDDoc d = build(true, 6);
    std::string own = save(d, "own.pdf");
    EXPECT_EQ(check(own), "");
    EXPECT_EQ(head(own), "%PDF-1.5");  // the least version that has object streams
    EXPECT_TRUE(hasObjectStreams(own));
    EXPECT_EQ(read(own), want);
    // Finishing the file leaves the writer as it was: the same save again, objects
    // waiting for their object stream included.
    std::string again = save(d, "again.pdf", 6);
    EXPECT_EQ(check(again), "");
    EXPECT_TRUE(hasObjectStreams(again));
    EXPECT_EQ(read(again), want);
    std::string old = save(d, "old.pdf", 3);
    EXPECT_EQ(check(old), "");
    EXPECT_EQ(head(old), "%PDF-1.3");
    EXPECT_FALSE(hasObjectStreams(old));
    EXPECT_EQ(read(old), want);
    std::string lin = save(d, "lin.pdf", 0, PDSaveFull | PDSaveLinearized);
    std::string log;
    EXPECT_EQ(runCommand("qpdf --check '" + lin + "'", &log), 0) << log;
    EXPECT_NE(log.find("is linearized"), std::string::npos) << log;
    EXPECT_EQ(read(lin), want);
}

TEST_F(WriteAhead, WithoutRoomForTheSpoolTheDocumentStaysInMemory) {
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    ::setenv("TMPDIR", tmp.file("missing").c_str(), 1);
    doc::setWriteAheadForNewDocuments(true);
    PDDoc d = keep(P()->PDDocCreate());
    PDDoc s = keep(P()->PDDocOpen(src.c_str(), true));
    P()->PDDocInsertPages(d, PDBeforeFirstPage, s, 0, PDAllPages, 0);
    bool ahead = P()->PDDocWritePagesAhead(d, 0);
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_FALSE(ahead);
    EXPECT_FALSE(P()->PDDocWritePagesAhead(d, PDBeforeFirstPage));
    std::string out = save(d, "whole.pdf");
    EXPECT_EQ(check(out), "");
    PDDoc re = keep(P()->PDDocOpen(out.c_str(), false));
    EXPECT_EQ(P()->PDDocGetNumPages(re), kPages);
    EXPECT_EQ(pageText(re, 3), "/MC0 BDC BT /F1 12 Tf (page 3) Tj ET EMC");
}

// A placed page's form (a content stream copied from the source) is written with the
// last sheet that uses it and freed; forms the sheets still to be written use, or that
// nothing written names yet, stay. A reference made to a freed form is a caller's fault,
// but still gives a sound file.
TEST_F(WriteAhead, AFormNoLaterPageUsesIsWrittenAndFreed) {
    doc::setWriteAheadForNewDocuments(true);
    PDDoc d = keep(P()->PDDocCreate());
    doc::setWriteAheadForNewDocuments(false);
    PDDoc s = keep(P()->PDDocOpen(src.c_str(), true));
    P()->PDDocInsertPages(d, PDBeforeFirstPage, s, 0, 2, 0);
    CosDoc cd = P()->PDDocGetCosDoc(d);
    auto form = [&](int page) {
        CosObj x = C()->CosObjCopy(pageEntry(s, page, {"Contents"}), cd, true);
        CosObj dict = C()->CosStreamDict(x);
        C()->CosDictPut(dict, A("Subtype"), C()->CosNewName(cd, false, A("Form")));
        CosObj box = C()->CosNewArray(cd, false, 4);
        int at = 0;
        for (int v : {0, 0, 200, 300})
            C()->CosArrayInsert(box, at++, C()->CosNewInteger(cd, false, v));
        C()->CosDictPut(dict, A("BBox"), box);
        return x;
    };
    CosObj used = form(2), later = form(3), unnamed = form(1);
    auto place = [&](int page, const char* name, CosObj x) {
        CosObj xobjects = C()->CosNewDict(cd, false, 1);
        C()->CosDictPut(xobjects, A(name), x);
        C()->CosDictPut(pageEntry(d, page, {"Resources"}), A("XObject"), xobjects);
    };
    place(0, "Fm0", used);
    place(1, "Fm1", later);
    ASSERT_TRUE(P()->PDDocWritePagesAhead(d, 0));
    P()->PDDocWriteObjAhead(d, later);    // page 1 is not written yet
    P()->PDDocWriteObjAhead(d, unnamed);  // no page written names it
    P()->PDDocWriteObjAhead(d, used);
    EXPECT_EQ(C()->CosObjGetType(later), CosStream);
    EXPECT_EQ(C()->CosObjGetType(unnamed), CosStream);
    EXPECT_EQ(C()->CosObjGetType(used), CosNull);
    // Copied again, the page's content stream is the freed form: an import must take
    // another way (and does: see the plug-in's tests).
    EXPECT_EQ(C()->CosObjGetType(C()->CosObjCopy(pageEntry(s, 2, {"Contents"}), cd, true)),
              CosNull);
    // Named again by a page written later: it reads as null, and so an entry missing.
    C()->CosDictPut(pageEntry(d, 1, {"Resources", "XObject"}), A("Fm0"), used);
    std::string out = save(d, "forms.pdf");
    EXPECT_EQ(check(out), "");
    QPDF q;
    q.processFile(out.c_str());
    auto pages = q.getAllPages();
    ASSERT_EQ(pages.size(), 2u);
    QPDFObjectHandle x0 = pages[0].getKey("/Resources").getKey("/XObject").getKey("/Fm0");
    QPDFObjectHandle x1 = pages[1].getKey("/Resources").getKey("/XObject");
    auto text = [](QPDFObjectHandle x) {
        auto data = x.getStreamData();
        return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    };
    ASSERT_TRUE(x0.isStream());
    EXPECT_EQ(text(x0), "/MC0 BDC BT /F1 12 Tf (page 2) Tj ET EMC");
    EXPECT_EQ(x0.getDict().getKey("/BBox").unparse(), "[ 0 0 200 300 ]");
    EXPECT_FALSE(x1.hasKey("/Fm0"));
    EXPECT_EQ(text(x1.getKey("/Fm1")), "/MC0 BDC BT /F1 12 Tf (page 3) Tj ET EMC");
}

// Large streams carried as they are (images) go from the source to the file in blocks;
// they must come out byte for byte, also when their dictionary's length is wrong
// (too long or too short), in which case the true length is written.
TEST_F(WriteAhead, LargeStreamsComeOutByteForByteWhateverTheirLengthSays) {
    std::string big = tmp.file("big.pdf");
    writeImageSource(big);
    std::vector<std::string> want = rawImages(big);
    ASSERT_EQ(want.size(), 3u);
    ASSERT_GT(want[0].size(), 200000u);

    doc::setWriteAheadForNewDocuments(true);
    PDDoc d = keep(P()->PDDocCreate());
    doc::setWriteAheadForNewDocuments(false);
    PDDoc s = keep(P()->PDDocOpen(big.c_str(), true));
    P()->PDDocInsertPages(d, PDBeforeFirstPage, s, 0, PDAllPages, 0);
    // The first image comes from the source as it is; the other two are made anew with
    // the same bytes, and their dictionaries then say too much and too little.
    QPDF& q = doc::qpdfOf(d);
    for (int i : {1, 2}) {
        QPDFObjectHandle page = q.getAllPages()[static_cast<std::size_t>(i)];
        QPDFObjectHandle xobjects = page.getKey("/Resources").getKey("/XObject");
        QPDFObjectHandle img = q.newStream();
        img.replaceStreamData(want[static_cast<std::size_t>(i)],
                              QPDFObjectHandle::newName("/FlateDecode"),
                              QPDFObjectHandle::newNull());
        for (const auto& [k, v] : xobjects.getKey("/Im0").getDict().ditems())
            if (k != "/Length" && k != "/Filter") img.getDict().replaceKey(k, v);
        img.getDict().replaceKey("/Length", QPDFObjectHandle::newInteger(i == 1 ? 400000 : 100000));
        xobjects.replaceKey("/Im0", img);
    }
    EXPECT_TRUE(P()->PDDocWritePagesAhead(d, 2));
    std::string out = save(d, "images.pdf");
    EXPECT_EQ(check(out), "");
    EXPECT_EQ(rawImages(out), want);
}

// The reads a copy within the kernel may take: only one that goes on where a read handed
// straight to the writer ended, in the same file.
TEST(RawCopy, TakesOnlyReadsThatGoOnFromOneHandedStraightOn) {
    using doc::RawCopy;
    char a[8], b[8], c[8];
    std::vector<std::pair<long long, long long>> copied;
    auto copy = [&](const RawCopy::Span& s) {
        copied.emplace_back(s.at, s.length);
        return s.fd != 5;
    };
    {
        RawCopy raw(copy);
        EXPECT_EQ(RawCopy::armed(), &raw);
        EXPECT_FALSE(raw.take(3, 100, a, 8));  // the first piece is read and written
        EXPECT_FALSE(raw.handOn(a, 8));
        EXPECT_TRUE(raw.take(3, 108, b, 8));  // the pieces after it are copied, as one run
        EXPECT_TRUE(raw.handOn(b, 8));
        EXPECT_TRUE(raw.take(3, 116, c, 8));
        EXPECT_TRUE(raw.handOn(c, 8));
        EXPECT_TRUE(copied.empty());
        EXPECT_FALSE(raw.take(3, 300, a, 8));  // elsewhere in the file: read
        EXPECT_FALSE(raw.handOn(a, 8));        // the run is copied before it is written
        ASSERT_EQ(copied.size(), 1u);
        EXPECT_EQ(copied[0], std::make_pair(108LL, 16LL));
        EXPECT_FALSE(raw.take(4, 308, b, 8));  // another file
        EXPECT_FALSE(raw.handOn(b, 8));
        EXPECT_TRUE(raw.take(4, 316, c, 8));
        EXPECT_TRUE(raw.handOn(c, 8));
        // A piece that reaches the writer in another buffer was changed on its way: the
        // read after it is made, and so is the one after a piece handed on in part.
        EXPECT_FALSE(raw.take(4, 400, a, 8));
        EXPECT_FALSE(raw.handOn(b, 8));
        EXPECT_FALSE(raw.take(4, 408, c, 8));
        EXPECT_FALSE(raw.handOn(c, 4));
        EXPECT_FALSE(raw.take(4, 416, a, 8));
        EXPECT_TRUE(raw.finish());
        ASSERT_EQ(copied.size(), 2u);
        EXPECT_EQ(copied[1], std::make_pair(316LL, 8LL));
    }
    EXPECT_EQ(RawCopy::armed(), nullptr);
    {
        // A piece taken that is not handed on next: nothing more is taken, and the copy
        // is not sound.
        RawCopy raw(copy);
        EXPECT_FALSE(raw.take(3, 0, a, 8));
        EXPECT_FALSE(raw.handOn(a, 8));
        EXPECT_TRUE(raw.take(3, 8, b, 8));
        EXPECT_FALSE(raw.take(3, 16, c, 8));
        EXPECT_FALSE(raw.handOn(c, 8));
        EXPECT_FALSE(raw.finish());
    }
    {
        // Bytes the file does not have.
        RawCopy raw(copy);
        EXPECT_FALSE(raw.take(5, 0, a, 8));
        EXPECT_FALSE(raw.handOn(a, 8));
        EXPECT_TRUE(raw.take(5, 8, b, 8));
        EXPECT_TRUE(raw.handOn(b, 8));
        EXPECT_FALSE(raw.finish());
    }
}

// Images carried from a source file come out as QPDF reads them: decrypted from an
// encrypted file (RC4 keeps the length, so only the bytes tell), by the repaired length
// from a file whose dictionary says another, and through a buffer when the output is
// on another file system than the source.
TEST_F(WriteAhead, ImagesComeOutAsReadFromTheirFile) {
    std::string plain = tmp.file("plain.pdf"), locked = tmp.file("locked.pdf"),
                damaged = tmp.file("damaged.pdf");
    writeImageSource(plain);
    writeImageSource(locked, true);
    std::string bytes = vexa::test::readFile(plain);
    std::smatch m;  // the first image's length, 6 digits
    ASSERT_TRUE(std::regex_search(bytes, m, std::regex("/Length ([0-9]{6})[^0-9]")));
    auto at = static_cast<std::size_t>(m.position(1));
    std::string shorter = std::to_string(std::stol(bytes.substr(at, 6)) - 4000);
    ASSERT_EQ(shorter.size(), 6u);
    bytes.replace(at, 6, shorter);
    vexa::test::writeFile(damaged, bytes);
    // The encrypted file does not hold the image's bytes as they are read.
    ASSERT_EQ(vexa::test::readFile(locked).find(rawImages(plain)[0].substr(1000, 64)),
              std::string::npos);

    std::string shm;
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &a) == 0 && ::stat(tmp.path().c_str(), &b) == 0 &&
        a.st_dev != b.st_dev && ::access("/dev/shm", W_OK) == 0)
        shm = "/dev/shm/vexa-images-" + std::to_string(::getpid()) + ".pdf";
    for (const std::string& source : {plain, locked, damaged}) {
        SCOPED_TRACE(source);
        std::vector<std::string> want = rawImages(source);
        ASSERT_EQ(want.size(), 3u);
        doc::setWriteAheadForNewDocuments(true);
        PDDoc d = keep(P()->PDDocCreate());
        doc::setWriteAheadForNewDocuments(false);
        PDDoc s = keep(P()->PDDocOpen(source.c_str(), true));
        P()->PDDocInsertPages(d, PDBeforeFirstPage, s, 0, PDAllPages, 0);
        EXPECT_TRUE(P()->PDDocWritePagesAhead(d, 1));
        std::string out = save(d, "out.pdf");
        EXPECT_EQ(check(out), "");
        EXPECT_EQ(rawImages(out), want);
        if (shm.empty()) continue;
        PDDocSaveParamsRec p{};
        p.size = sizeof p;
        p.saveFlags = PDSaveFull | PDSaveCopy;
        p.newPath = shm.c_str();
        P()->PDDocSaveWithParams(d, &p);
        EXPECT_EQ(rawImages(shm), want);
        ::unlink(shm.c_str());
    }
}

// Plain streams are compressed as they are written: a small one with zlib's tables fitted
// to it, a long one as it comes, to the same bytes as a compressor set up the usual way.
TEST_F(WriteAhead, PlainStreamsOfEverySizeAreCompressedAndReadBack) {
    auto text = [](std::size_t n, unsigned seed) {
        std::string s;
        while (s.size() < n) {
            seed = seed * 1103515245u + 12345u;
            s += std::to_string(seed >> 20) + (seed & 0x100 ? " l\n" : " ");
        }
        s.resize(n);
        return s;
    };
    const std::vector<std::string> contents = {"", "0 0 m", text(1500, 1), text(32506, 2),
                                               text(200000, 3)};
    doc::setWriteAheadForNewDocuments(true, 5);
    PDDoc d = keep(P()->PDDocCreate());
    doc::setWriteAheadForNewDocuments(false);
    PDDoc s = keep(P()->PDDocOpen(src.c_str(), true));
    P()->PDDocInsertPages(d, PDBeforeFirstPage, s, 0, PDAllPages, 0);
    P()->PDDocInsertPages(d, PDLastPage, s, 0, 1, 0);
    QPDF& q = doc::qpdfOf(d);
    std::vector<QPDFObjectHandle> pages = q.getAllPages();
    ASSERT_EQ(pages.size(), contents.size());
    for (std::size_t i = 0; i < contents.size(); ++i)
        pages[i].replaceKey("/Contents", q.newStream(contents[i]));
    EXPECT_TRUE(P()->PDDocWritePagesAhead(d, PDLastPage));
    std::string out = save(d, "plain.pdf", 5);
    EXPECT_EQ(check(out), "");
    QPDF r;
    r.processFile(out.c_str());
    std::vector<QPDFObjectHandle> read = r.getAllPages();
    ASSERT_EQ(read.size(), contents.size());
    for (std::size_t i = 0; i < contents.size(); ++i) {
        QPDFObjectHandle c = read[i].getKey("/Contents");
        EXPECT_TRUE(c.getDict().getKey("/Filter").isNameAndEquals("/FlateDecode")) << i;
        auto data = c.getStreamData();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()),
                  contents[i])
            << i;
    }
    std::string usual;
    {
        Pl_String sink("usual", nullptr, usual);
        Pl_Flate flate("flate", &sink, Pl_Flate::a_deflate);
        flate.write(reinterpret_cast<const unsigned char*>(contents.back().data()),
                    contents.back().size());
        flate.finish();
    }
    auto raw = read.back().getKey("/Contents").getRawStreamData();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()), usual);
}
