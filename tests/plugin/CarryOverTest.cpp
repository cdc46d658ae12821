// What a placed page takes along from its source: content split over several streams,
// layers with their visibility, the transparency group, printable annotations and
// form fields, output intents and the imposed document's metadata. Sources are
// written by hand; placed pages are rendered and compared with their source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/CarryOver.h"
#include "Common/FrameFit.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "ModelBuild.h"
#include "Plates.h"

using namespace vexa::test;

namespace {

std::string streamObj(const std::string& data, const std::string& dict = "") {
    return "<< /Length " + std::to_string(data.size()) + dict + " >>\nstream\n" + data +
           "\nendstream";
}

// A one-page file of 200 x 200: object 1 the catalog (with catalogExtra), 2 the
// pages, 3 the page (with pageExtra), then the given objects from 4 on.
std::string onePage(const std::string& pageExtra, const std::vector<std::string>& objects,
                    const std::string& catalogExtra = "", int info = 0) {
    std::vector<std::string> o = {
        "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] " + pageExtra + " >>"};
    o.insert(o.end(), objects.begin(), objects.end());
    return pdfFile(o, info);
}

struct Carry : ::testing::Test {
    ModelTestHost host;
    TempDir tmp;
    std::vector<PDDoc> opened;

    ~Carry() override {
        for (PDDoc d : opened) pdDocClose(d);
        setCosDoc(nullptr);
    }

    PDDoc open(const std::string& name, const std::string& data) {
        writeFile(tmp.file(name), data);
        PDDoc d = gPDModelHFT->PDDocOpen(tmp.file(name).c_str(), false);
        opened.push_back(d);
        return d;
    }

    // A sheet of 300 x (50 + 250 n) with the first page of each source in a frame of
    // its own, 200 x 200 at (50, 50 + 250 i); saved to name.
    std::string place(const std::vector<PDDoc>& sources, const std::string& name,
                      PDDoc* keep = nullptr) {
        PDDoc sheet = pdDocCreate();
        setCosDoc(sheet);
        double height = 50 + 250.0 * sources.size();
        PDPage page =
            gPDModelHFT->PDDocCreatePage(sheet, PDBeforeFirstPage, fxRect(0, 0, 300, height));
        std::vector<PDEElement> frames;
        for (size_t i = 0; i < sources.size(); ++i) {
            double b = 50 + 250.0 * i;
            PDEContainer frame = getContainerWithRect(fxRect(50, b, 250, b + 200));
            setBoxNum(frame, 1);
            PDEForm form = getPageContent(sources[i], sheet, 0, fixedOne);
            EXPECT_NE(form, nullptr);
            if (!form) continue;
            ASFixedMatrix m = placingMatrix(readFrame(frame), readFormBoxes(form), false);
            pdeSetMatrix(form, &m);
            pdeContentAddElem(getContent(frame), kPDEAfterLast, form);
            pdeRelease(form);
            frames.push_back(frame);
        }
        addToPage(page, frames);
        pdPageRelease(page);
        std::string path = tmp.file(name);
        gPDModelHFT->PDDocSave(sheet, PDSaveFull, path.c_str());
        if (keep)
            *keep = sheet;
        else
            pdDocClose(sheet);
        setCosDoc(host.doc);
        std::string out;
        EXPECT_EQ(runCommand("qpdf --check " + path, &out), 0) << out;
        return path;
    }

    // The page alone on a sheet of its crop box, placed where it lies, saved to path.
    void placeAlone(PDDoc src, ASInt32 pageIndex, const std::string& path) {
        ASFixedRect crop;
        {
            CPage p(src, pageIndex);
            pdPageGetCropBox(p.getPage(), &crop);
        }
        PDDoc sheet = pdDocCreate();
        opened.push_back(sheet);
        setCosDoc(sheet);
        PDPage page = gPDModelHFT->PDDocCreatePage(sheet, PDBeforeFirstPage, crop);
        PDEForm form = getPageContent(src, sheet, pageIndex, fixedOne);
        EXPECT_NE(form, nullptr);
        if (form) addToPage(page, {form});
        pdPageRelease(page);
        gPDModelHFT->PDDocSave(sheet, PDSaveFull, path.c_str());
        setCosDoc(host.doc);
    }

    Gray render(const std::string& pdf, const std::string& base) {
        EXPECT_EQ(runCommand("pdftoppm -r 72 -gray -singlefile " + pdf + " " + tmp.file(base)), 0);
        return readPGM(tmp.file(base + ".pgm"));
    }

    // Mean difference of the source's rendering and the sheet's frame at (50, top).
    static double difference(const Gray& source, const Gray& sheet, int top) {
        double sum = 0;
        for (int y = 0; y < source.h; ++y)
            for (int x = 0; x < source.w; ++x)
                sum += std::abs(int(source.px[y * source.w + x]) -
                                int(sheet.px[(top + y) * sheet.w + 50 + x]));
        return sum / (source.w * source.h);
    }

    // The placed page looks like its source, and like nothing else: a sheet showing
    // everything would differ.
    void expectLooksLikeSource(const std::string& src, const std::string& sheet) {
        Gray s = render(src, "src"), p = render(sheet, "sheet");
        ASSERT_EQ(s.w, 200);
        ASSERT_EQ(p.w, 300);
        EXPECT_LT(difference(s, p, p.h - 250), 0.5);
    }

    static std::string name(CosObj o) {
        char buf[256] = "";
        cosStringValue(o, buf, sizeof buf);
        return buf;
    }
};

// How many CMYK pixels of two renderings of the same size differ by more than
// tolerance in any ink.
size_t pixelsDiffering(const std::string& a, const std::string& b, int tolerance) {
    size_t differ = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (size_t k = 0; k < 4; ++k)
            if (std::abs(int(uint8_t(a[i + k])) - int(uint8_t(b[i + k]))) > tolerance) {
                ++differ;
                break;
            }
    return differ;
}

}  // namespace

TEST_F(Carry, ContentSplitBetweenOperatorsIsPlacedWhole) {
    // "…f" + "Q…": joined without a separator the page would draw nothing.
    std::string data =
        onePage("/Contents [4 0 R 5 0 R]",
                {streamObj("q 0 g 20 20 60 60 re f"), streamObj("Q 0.5 g 100 100 50 50 re f")});
    PDDoc src = open("split.pdf", data);
    std::string sheet = place({src}, "sheet.pdf");
    expectLooksLikeSource(tmp.file("split.pdf"), sheet);
    Gray p = render(sheet, "check");
    EXPECT_LT(p.at((50 + 50) / 300.0, (300 - 50 - 50) / 300.0), 20);          // the black square
    EXPECT_NEAR(p.at((50 + 125) / 300.0, (300 - 50 - 125) / 300.0), 127, 2);  // the gray one
}

TEST_F(Carry, LayersKeepTheirVisibilityAndVisibilityExpressions) {
    // Groups 4 (on), 5 and 6 (off by the configuration), and two membership
    // dictionaries with visibility expressions: 7 is "5 or 6" (hidden), 8 "not 5"
    // (shown). Each draws its own square.
    std::string content =
        "/OC /L1 BDC 0 g 10 10 40 40 re f EMC\n"
        "/OC /L2 BDC 0 g 60 10 40 40 re f EMC\n"
        "/OC /L3 BDC 0 g 110 10 40 40 re f EMC\n"
        "/OC /V1 BDC 0 g 10 60 40 40 re f EMC\n"
        "/OC /V2 BDC 0 g 60 60 40 40 re f EMC\n";
    std::string data = onePage(
        "/Resources << /Properties << /L1 4 0 R /L2 5 0 R /L3 6 0 R /V1 7 0 R /V2 8 0 R >> >> "
        "/Contents 9 0 R",
        {"<< /Type /OCG /Name (Deutsch) >>", "<< /Type /OCG /Name (English) >>",
         "<< /Type /OCG /Name (Notes) >>", "<< /Type /OCMD /VE [/Or 5 0 R 6 0 R] >>",
         "<< /Type /OCMD /VE [/Not 5 0 R] >>", streamObj(content)},
        "/OCProperties << /OCGs [4 0 R 5 0 R 6 0 R] /D << /OFF [5 0 R 6 0 R] /Order [4 0 R 5 0 R "
        "6 0 R] >> >>");
    PDDoc src = open("layers.pdf", data);
    std::string sheet = place({src}, "sheet.pdf");
    expectLooksLikeSource(tmp.file("layers.pdf"), sheet);
    // the hidden squares are not there at all
    Gray p = render(sheet, "check");
    auto at = [&](double x, double y) { return p.at((50 + x) / 300.0, (250 - y) / 300.0); };
    EXPECT_LT(at(30, 30), 20);
    EXPECT_GT(at(80, 30), 235);
    EXPECT_GT(at(130, 30), 235);
    EXPECT_GT(at(30, 80), 235);
    EXPECT_LT(at(80, 80), 20);
}

TEST_F(Carry, LayersOfASourceOffByDefaultStayOffAndSourcesKeepTheirNamesApart) {
    auto layered = [&](const std::string& file, bool baseOff) {
        std::string data = onePage(
            "/Resources << /Properties << /A 4 0 R /B 5 0 R >> >> /Contents 6 0 R",
            {"<< /Type /OCG /Name (Text) >>", "<< /Type /OCG /Name (Images) >>",
             streamObj("/OC /A BDC 0 g 10 10 40 40 re f EMC /OC /B BDC 0 g 60 10 40 40 re f EMC")},
            baseOff ? "/OCProperties << /OCGs [4 0 R 5 0 R] /D << /BaseState /OFF /ON [5 0 R] >> >>"
                    : "/OCProperties << /OCGs [4 0 R 5 0 R] /D << /OFF [5 0 R] >> >>");
        return open(file, data);
    };
    PDDoc one = layered("one.pdf", true), two = layered("two.pdf", false);
    PDDoc sheet = nullptr;
    std::string path = place({one, two, one}, "sheet.pdf", &sheet);
    ASSERT_NE(sheet, nullptr);
    opened.push_back(sheet);
    Gray p = render(path, "check");
    // one: Text off, Images on; two: Text on, Images off (frames from the bottom)
    auto at = [&](int frame, double x, double y) {
        return p.at((50 + x) / 300.0, (p.h - 50 - 250.0 * frame - y) / p.h);
    };
    EXPECT_GT(at(0, 30, 30), 235);
    EXPECT_LT(at(0, 80, 30), 20);
    EXPECT_LT(at(1, 30, 30), 20);
    EXPECT_GT(at(1, 80, 30), 235);
    EXPECT_GT(at(2, 30, 30), 235);

    // Each source once: four groups, two lists in the layer order, each under its file
    // name, and the second source's names told apart from the first's.
    CosObj props = cosDictGet(cosDocGetRoot(pdDocGetCosDoc(sheet)), "OCProperties");
    CosObj groups = cosDictGet(props, "OCGs");
    ASSERT_EQ(cosArrayLength(groups), 4);
    std::set<std::string> names;
    for (ASInt32 i = 0; i < 4; ++i) names.insert(name(cosDictGet(cosArrayGet(groups, i), "Name")));
    EXPECT_EQ(names,
              (std::set<std::string>{"Text", "Images", "Text (two.pdf)", "Images (two.pdf)"}));
    CosObj order = cosDictGet(cosDictGet(props, "D"), "Order");
    ASSERT_EQ(cosArrayLength(order), 2);
    EXPECT_EQ(name(cosArrayGet(cosArrayGet(order, 0), 0)), "one.pdf");
    EXPECT_EQ(name(cosArrayGet(cosArrayGet(order, 1), 0)), "two.pdf");
    EXPECT_EQ(cosArrayLength(cosDictGet(cosDictGet(props, "D"), "OFF")), 2);
}

TEST_F(Carry, TheFormTakesThePageTransparencyGroup) {
    std::string data = onePage(
        "/Group << /S /Transparency /CS /DeviceRGB /I true >> "
        "/Resources << /ExtGState << /GS1 << /ca 0.6 >> >> >> /Contents 4 0 R",
        {streamObj("/GS1 gs 0.9 0.1 0.6 0 k 20 20 120 120 re f")});
    PDDoc src = open("group.pdf", data);
    PDDoc sheet = nullptr;
    place({src}, "sheet.pdf", &sheet);
    opened.push_back(sheet);
    CPage page(sheet, 0);
    PDEContent c = pdPageAcquirePDEContent(page.getPage());
    PDEElement form = pdeContentGetElem(getContent(pdeContentGetElem(c, 0)), 0);
    ASSERT_EQ(pdeObjectGetType(form), kPDEForm);
    CosObj group = cosDictGet(pdeFormGetCosObj(form), "Group");
    EXPECT_EQ(cosNameValue(cosDictGet(group, "CS")), asAtomFromString("DeviceRGB"));
    EXPECT_EQ(cosNameValue(cosDictGet(group, "S")), asAtomFromString("Transparency"));
    pdPageReleasePDEContent(page.getPage());
}

TEST_F(Carry, ATransparentPageOfTheCorpusSeparatesAsItsSource) {
    if (runCommand("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    // Soft-masked images in an RGB page group: without its group the placed page
    // separates differently on a CMYK device (14 % of the page at 36 dpi).
    std::string file = std::string(VEXA_CORPUS_DIR) + "/files/pdfjs__issue1905.pdf";
    PDDoc src = gPDModelHFT->PDDocOpen(file.c_str(), true);
    ASSERT_NE(src, nullptr);
    opened.push_back(src);
    placeAlone(src, 0, tmp.file("placed.pdf"));
    auto cmyk = [&](const std::string& pdf, const std::string& out) {
        runCommand(
            "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=bitcmyk -dGrayValues=256 -r36 "
            "-dLastPage=1 -sOutputFile=" +
            tmp.file(out) + " " + pdf);
        return readFile(tmp.file(out));
    };
    std::string a = cmyk(file, "source.raw"), b = cmyk(tmp.file("placed.pdf"), "placed.raw");
    ASSERT_FALSE(a.empty());
    ASSERT_EQ(a.size(), b.size());
    size_t differ = pixelsDiffering(a, b, 8);
    EXPECT_LT(differ, a.size() / 4 / 1000) << differ << " of " << a.size() / 4;
}

TEST_F(Carry, PrintableAnnotationsAndFieldsArePrintedWithThePage) {
    // A square that prints (6), one hidden (7), one that does not print (8), a check
    // box in its "Yes" state (9, appearances 11 and 12), and a printing square on a
    // layer that is off (10).
    auto square = [](double x, double y, int flags, const std::string& extra = "") {
        char rect[96];
        std::snprintf(rect, sizeof rect, "[%g %g %g %g]", x, y, x + 40, y + 40);
        return "<< /Type /Annot /Subtype /Square /Rect " + std::string(rect) + " /F " +
               std::to_string(flags) + " /AP << /N 5 0 R >> " + extra + " >>";
    };
    std::string data = onePage(
        "/Contents 4 0 R /Annots [6 0 R 7 0 R 8 0 R 9 0 R 10 0 R]",
        {streamObj("0.5 g 150 150 40 40 re f"),
         // the square's appearance: drawn in a box of 20 x 20, scaled into the rectangle
         streamObj("0 g 0 0 20 20 re f", " /Type /XObject /Subtype /Form /BBox [0 0 20 20]"),
         square(10, 10, 4), square(60, 10, 6), square(110, 10, 0),
         "<< /Type /Annot /Subtype /Widget /FT /Btn /T (ok) /V /Yes /AS /Yes /F 4 "
         "/Rect [10 60 50 100] /AP << /N << /Yes 11 0 R /Off 12 0 R >> >> >>",
         square(60, 60, 4, "/OC 13 0 R"), streamObj("0 g 5 5 30 30 re f", " /BBox [0 0 40 40]"),
         streamObj("0 G 1 w 1 1 38 38 re S", " /BBox [0 0 40 40]"),
         "<< /Type /OCG /Name (Comments) >>"},
        "/OCProperties << /OCGs [13 0 R] /D << /OFF [13 0 R] >> >>");
    PDDoc src = open("annots.pdf", data);
    std::string sheet = place({src}, "sheet.pdf");
    Gray p = render(sheet, "check");
    auto at = [&](double x, double y) { return p.at((50 + x) / 300.0, (250 - y) / 300.0); };
    EXPECT_LT(at(30, 30), 20);          // prints
    EXPECT_GT(at(80, 30), 235);         // hidden
    EXPECT_GT(at(130, 30), 235);        // not for print
    EXPECT_LT(at(30, 80), 20);          // the check box's "Yes"
    EXPECT_GT(at(80, 80), 235);         // on a layer that is off
    EXPECT_NEAR(at(170, 170), 127, 2);  // the page itself
    // The source page is untouched: it still has its annotations.
    CPage page(src, 0);
    EXPECT_EQ(cosArrayLength(cosDictGet(pdPageGetCosObj(page.getPage()), "Annots")), 5);
}

TEST_F(Carry, AFilledFormOfTheCorpusPrintsItsValues) {
    // A tax form of 242 fields; page 2 holds a filled text field ("foobar") and a
    // ticked check box.
    std::string file = std::string(VEXA_CORPUS_DIR) + "/files/pdfjs__prefilled_f1040.pdf";
    PDDoc src = gPDModelHFT->PDDocOpen(file.c_str(), true);
    ASSERT_NE(src, nullptr);
    opened.push_back(src);
    CPage second(src, 1);
    EXPECT_TRUE(hasPrintableAnnotations(pdPageGetCosObj(second.getPage())));
    placeAlone(src, 1, tmp.file("form.pdf"));
    // The placed page prints what the printed source shows.
    std::string placed, printed;
    runCommand("pdftotext " + tmp.file("form.pdf") + " -", &placed);
    runCommand(
        "gs -q -dNOPAUSE -dBATCH -dSAFER -dPrinted -dFirstPage=2 -dLastPage=2 "
        "-sDEVICE=txtwrite -sOutputFile=- " +
            file + " 2>/dev/null",
        &printed);
    EXPECT_NE(printed.find("foobar"), std::string::npos);
    EXPECT_NE(placed.find("foobar"), std::string::npos);
    std::string check;
    EXPECT_EQ(runCommand("qpdf --check " + tmp.file("form.pdf"), &check), 0) << check;
}

TEST_F(Carry, OutputIntentsGoAlongWhenTheSourcesAgree) {
    auto withIntent = [&](const std::string& file, const std::string& condition) {
        std::string data = onePage(
            "/Contents 4 0 R",
            {streamObj("0 g 10 10 20 20 re f"), streamObj("profile " + condition)},
            "/OutputIntents [<< /Type /OutputIntent /S /GTS_PDFX /OutputConditionIdentifier "
            "(" +
                condition + ") /DestOutputProfile 5 0 R >>]");
        return open(file, data);
    };
    PDDoc a = withIntent("a.pdf", "FOGRA39"), b = withIntent("b.pdf", "FOGRA39"),
          c = withIntent("c.pdf", "GRACoL");
    PDDoc sheet = nullptr;
    place({a, b}, "ab.pdf", &sheet);
    opened.push_back(sheet);
    CosObj oi = cosDictGet(cosDocGetRoot(pdDocGetCosDoc(sheet)), "OutputIntents");
    ASSERT_EQ(cosArrayLength(oi), 1);
    EXPECT_EQ(name(cosDictGet(cosArrayGet(oi, 0), "OutputConditionIdentifier")), "FOGRA39");
    // A source made for another condition leaves the document's and is reported.
    setupDump(1);
    setEHMode(kEHLog);
    PDDoc other = nullptr;
    place({a, c}, "ac.pdf", &other);
    opened.push_back(other);
    oi = cosDictGet(cosDocGetRoot(pdDocGetCosDoc(other)), "OutputIntents");
    EXPECT_EQ(name(cosDictGet(cosArrayGet(oi, 0), "OutputConditionIdentifier")), "FOGRA39");
    std::string log = readFile(getDumpPath());
    EXPECT_NE(log.find("c.pdf is made for the output condition \"GRACoL\""), std::string::npos)
        << log;
    EXPECT_EQ(getErrorCnt(), 0);  // a warning, not an error
    setEHMode(kEHUnset);
    setLogMode(0);
}

TEST(Xmp, ThePacketSaysWhatTheInformationSays) {
    std::string x = makeXmpPacket({{"Title", "Broschüre <Grün> & mehr"},
                                   {"Author", "Druckerei"},
                                   {"CreationDate", "D:20240102030405+01'00'"},
                                   {"ModDate", "D:20240102030405Z"}},
                                  {{"pdfxid:GTS_PDFXVersion", "PDF/X-4"}});
    EXPECT_NE(x.find("<rdf:li xml:lang=\"x-default\">Broschüre &lt;Grün&gt; &amp; mehr</rdf:li>"),
              std::string::npos);
    EXPECT_NE(x.find("<dc:creator><rdf:Seq><rdf:li>Druckerei</rdf:li>"), std::string::npos);
    EXPECT_NE(x.find("<xmp:CreateDate>2024-01-02T03:04:05+01:00</xmp:CreateDate>"),
              std::string::npos);
    EXPECT_NE(x.find("<xmp:ModifyDate>2024-01-02T03:04:05Z</xmp:ModifyDate>"), std::string::npos);
    EXPECT_NE(x.find("<pdfxid:GTS_PDFXVersion>PDF/X-4</pdfxid:GTS_PDFXVersion>"),
              std::string::npos);
    EXPECT_EQ(x.find("pdf:Keywords"), std::string::npos);  // nothing said, nothing written
    EXPECT_EQ(x.rfind("<?xpacket end=\"w\"?>"), x.size() - 19);
}

// Placed pages of the corpus look like their printed sources: every file whose pages
// have layers, transparency groups, several content streams, annotations or form
// fields; each page (up to a few per file) placed onto a sheet of its size.
namespace {

struct CorpusFile {
    std::string name;
    std::string features;
    int pages = 0;
};

std::vector<CorpusFile> carriedCorpus() {
    std::vector<CorpusFile> out;
    for (auto& row : corpusManifest()) {
        const std::string& file = row["local_file"];
        const std::string& features = row["features"];
        if (file.rfind("files/", 0) != 0) continue;
        bool wanted = false;
        for (const char* k : {"optional-content", "transparency-group", "multi-stream-contents",
                              "annotations", "AcroForm"})
            wanted = wanted || features.find(k) != std::string::npos;
        if (wanted) out.push_back({file.substr(6), features, std::atoi(row["pages"].c_str())});
    }
    return out;
}

void PrintTo(const CorpusFile& f, std::ostream* os) {
    *os << f.name;
}

// Pages not reproduced, with the reason. A listed page that prints alike again is
// reported, so that the list only shrinks.
const std::map<std::string, std::string> kKnownPlaced = {
    {"pdfjs__alphatrans.pdf#1",
     "half-transparent objects straight on the paper: the page's RGB group blends them with "
     "the white paper before the page is separated; placed, the group is blended with the "
     "sheet in the device's colours"},
};

struct PlacedCorpus : ::testing::TestWithParam<CorpusFile> {};

}  // namespace

TEST_P(PlacedCorpus, PagesPrintAsTheirSource) {
    if (runCommand("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Ghostscript";
    ModelTestHost host;
    TempDir tmp;
    std::string file = std::string(VEXA_CORPUS_DIR) + "/files/" + GetParam().name;
    PDDoc src = nullptr;
    DURING
    src = gPDModelHFT->PDDocOpen(file.c_str(), true);
    HANDLER(void) ERRORCODE;
    END_HANDLER
    if (!src) GTEST_SKIP() << "does not open";
    const int kPages = 3;
    int n = std::min<int>(pdDocGetNumPages(src), kPages);
    PDDoc sheet = pdDocCreate();
    setCosDoc(sheet);
    for (int i = 0; i < n; ++i) {
        CPage page(src, i);
        ASFixedRect crop;
        pdPageGetCropBox(page.getPage(), &crop);
        PDPage s = gPDModelHFT->PDDocCreatePage(sheet, i - 1, crop);
        gPDModelHFT->PDPageSetRotate(s, gPDModelHFT->PDPageGetRotate(page.getPage()));
        PDEForm form = getPageContent(src, sheet, i, fixedOne);
        EXPECT_NE(form, nullptr) << "page " << i + 1;
        if (form) addToPage(s, {form});
        pdPageRelease(s);
    }
    std::string placed = tmp.file("placed.pdf");
    if (const char* keep = std::getenv("VEXA_KEEP_PLACED")) placed = keep;
    gPDModelHFT->PDDocSave(sheet, PDSaveFull, placed.c_str());
    pdDocClose(sheet);
    pdDocClose(src);
    setCosDoc(host.doc);
    std::string check;
    int before = runCommand("qpdf --check '" + file + "' >/dev/null 2>&1");
    int after = runCommand("qpdf --check " + placed, &check);
    EXPECT_TRUE(after == 0 || (after == 3 && before != 0)) << check;
    // Both printed by the same renderer on a CMYK device, as a press separates them:
    // annotations by their Print and Hidden flags, layers in their print state.
    auto render = [&](const std::string& pdf, const std::string& base) {
        runCommand(
            "gs -q -dNOPAUSE -dBATCH -dSAFER -dPrinted -dShowAnnots=false -dUseCropBox "
            "-sDEVICE=bitcmyk "
            "-dGrayValues=256 -r36 -dLastPage=" +
            std::to_string(n) + " -sOutputFile=" + tmp.file(base) + "-%d.raw '" + pdf +
            "' >/dev/null 2>&1");
    };
    // The source's printed annotations drawn into its pages by another tool, so that
    // what a renderer makes up for annotations (link borders it draws itself) is left
    // out on both sides.
    std::string printed = tmp.file("printed.pdf");
    int flattened = runCommand("qpdf --flatten-annotations=print '" + file + "' " + printed +
                               " >/dev/null 2>&1");
    ASSERT_TRUE(flattened == 0 || flattened == 3);
    render(printed, "s");
    render(placed, "p");
    for (int i = 1; i <= n; ++i) {
        std::string a = readFile(tmp.file("s-" + std::to_string(i) + ".raw"));
        std::string b = readFile(tmp.file("p-" + std::to_string(i) + ".raw"));
        if (a.empty()) continue;  // the source itself does not print
        ASSERT_EQ(a.size(), b.size()) << "page " << i;
        size_t differ = pixelsDiffering(a, b, 16);
        double share = static_cast<double>(differ) / (a.size() / 4);
        std::string key = GetParam().name + "#" + std::to_string(i);
        if (kKnownPlaced.count(key))
            EXPECT_GE(share, 0.002) << key << " is listed but now prints as its source";
        else
            EXPECT_LT(share, 0.002) << "page " << i << ": " << share * 100 << " % of pixels differ";
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, PlacedCorpus, ::testing::ValuesIn(carriedCorpus()),
                         [](const ::testing::TestParamInfo<CorpusFile>& info) {
                             return vexa::test::testNameOf(
                                 info.param.name.substr(0, info.param.name.size() - 4));
                         });
