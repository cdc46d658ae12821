// Job information: the slug text of a sheet, its placement in the frame, colours.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "Sources/AddFrames.h"
#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Sources/JobInfo.h"
#include "ModelBuild.h"
#include "Sources/NewDoc.h"
#include "Common/PDEText.h"
#include "settings/MyStrings.h"

using namespace vexa::test;

namespace {

struct JobInfo : ::testing::Test {
    ModelTestHost host;
    std::vector<ASInt32> pages;
    std::string compose(const char* desc, ASInt32 pageIndex, const char* label = "") {
        SlugInput in{host.doc, pageIndex, label, "A", "B", desc, &pages};
        char text[1024];
        composeSlugText(in, text, sizeof text);
        return text;
    }
    void info(const char* key, const char* value) {
        gPDModelHFT->PDDocSetInfo(host.doc, key, value, static_cast<ASInt32>(std::strlen(value)));
    }
    // a small rectangle on the page in a separation of each name
    void useSeparations(const std::vector<const char*>& names) {
        const float cmyk[4] = {0, 1, 0, 0};
        std::vector<PDEElement> elems;
        for (const char* n : names) {
            PDEPath p = makeRect(0, 0, 5, 5);
            PDEGraphicState gs;
            pdeGetGState(p, &gs);
            PDEColorSpec s = getSepColorSpec(n, cmyk);
            gs.fillColorSpec = s;
            gPDFEditWriteHFT->PDEElementSetGState(p, &gs, sizeof gs);
            freeColorSpec(&s);
            elems.push_back(p);
        }
        addToPage(host.page, elems);
    }
    // the text of the first text frame as the dialog shows it, and its rectangle
    std::string textFrame(ASFixedRect* r) {
        struct Ctx {
            ASFixedRect* r;
            std::string t;
        } ctx{r, ""};
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long d) {
                auto* c = reinterpret_cast<Ctx*>(d);
                if (getBoxNum(f) != kBoxTextFrame) return true;
                *c->r = getBBox(f);
                char buf[256];
                getFirstRunText(pdeContentGetElem(getContent(f), 0), buf, sizeof buf);
                c->t = buf;
                return false;
            },
            reinterpret_cast<long>(&ctx), false, true);
        return ctx.t;
    }
    // the texts of the first job-information frame, run by run
    std::vector<std::string> runs(ASFixedRect* frameRect = nullptr, ASFixedMatrix* m = nullptr) {
        struct Ctx {
            std::vector<std::string> out;
            ASFixedRect* r;
            ASFixedMatrix* m;
        } ctx{{}, frameRect, m};
        EnumForms(
            host.page,
            [](CContent*, PDEElement f, long, long d) {
                auto* c = reinterpret_cast<Ctx*>(d);
                if (getBoxNum(f) != kBoxJobInfo) return true;
                if (c->r) *c->r = getBBox(f);
                PDEContent content = getContent(f);
                if (!content || pdeContentGetNumElems(content) < 1) return false;
                PDEText t = pdeContentGetElem(content, 0);
                if (c->m) pdeGetMatrix(t, c->m);
                for (ASInt32 i = 0; i < pdeTextGetNumRuns(t); ++i) {
                    ASInt32 n = gPDFEditReadHFT->PDETextGetText(t, kPDETextRunFlag, i, nullptr);
                    std::string s(static_cast<size_t>(n), '\0');
                    gPDFEditReadHFT->PDETextGetText(t, kPDETextRunFlag, i,
                                                    reinterpret_cast<ASUns8*>(s.data()));
                    c->out.push_back(s);
                }
                return false;
            },
            reinterpret_cast<long>(&ctx), false, true);
        return ctx.out;
    }
};

TEST_F(JobInfo, SheetNumbersFromLabelsPaginaAndIndex) {
    EXPECT_EQ(compose("s", 2, "A2"), "Sheet 2A  ");
    EXPECT_EQ(compose("s", 3, "B2"), "Sheet 2B  ");
    EXPECT_EQ(compose("s", 3), "Sheet 2B  ");
    EXPECT_EQ(compose("s", 0, "C1"), "Sheet 1A  ");  // not a sheet label: by index
    setDocInfo(host.doc, "Pagina", 1);
    EXPECT_EQ(compose("s", 4), "Sheet 5   ");
}

TEST_F(JobInfo, OrderTitleFileAndPageNumbers) {
    info("AN", "");
    EXPECT_EQ(compose("n", 0), "");
    info("AN", "4711");
    info("Title", "Brochure");
    info("FN", "x.pdf");
    EXPECT_EQ(compose("ntf", 0), "AN=4711  Brochure  x.pdf  ");
    pages = {3, 4, 13, 14};
    EXPECT_EQ(compose("p", 0), "3,4,13,14  ");
    pages = {511, 512, 2000, 19999};  // long jobs: every page number is listed
    EXPECT_EQ(compose("p", 0), "511,512,2000,19999  ");
    // the time as clocks show it: 01:04, not 1:4
    std::tm t{};
    t.tm_mday = 5;
    t.tm_mon = 2;
    t.tm_year = 125;
    t.tm_hour = 1;
    t.tm_min = 4;
    EXPECT_EQ(formatSlugDate(t), "5.3.2025  01:04");
    std::string d = compose("d", 0);
    EXPECT_TRUE(
        std::regex_match(d, std::regex("[0-9]{1,2}\\.[0-9]{1,2}\\.[0-9]{4}  [0-9]{2}:[0-9]{2}  ")))
        << d;
}

TEST_F(JobInfo, ComposesIntoFrameAndResizesAlongTheText) {
    createFrame(host.page, {fx(20), fx(30)}, fxRect(0, 0, 283, 11), kBoxJobInfo, 0, 0);
    EnumForms(
        host.page,
        [](CContent* lv, PDEElement f, long, long) {
            setJobInfoStr(f, "desc", "s");
            lv->addModified();
            return true;
        },
        0, true, true);
    addJobInfo(host.doc, host.page);
    ASFixedRect r;
    ASFixedMatrix m;
    auto t = runs(&r, &m);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0], "Sheet 1A  ");
    EXPECT_EQ(m.h, fx(20));
    EXPECT_EQ(m.v, fx(34));  // 4 pt above the frame's bottom
    // Courier 10: 10 characters of 6 pt
    EXPECT_NEAR((r.right - r.left) / 65536.0, 60.0, 0.01);
    // composing again replaces the text
    addJobInfo(host.doc, host.page);
    EXPECT_EQ(runs().size(), 1u);
    EXPECT_EQ(removeJobInfo(host.page), 1);
    EXPECT_TRUE(runs().empty());
}

TEST_F(JobInfo, TallFramesRunUpward) {
    createFrame(host.page, {fx(500), fx(100)}, fxRect(0, 0, 11, 300), kBoxJobInfo, 0, 0);
    EnumForms(
        host.page,
        [](CContent* lv, PDEElement f, long, long) {
            setJobInfoStr(f, "desc", "s");
            lv->addModified();
            return true;
        },
        0, true, true);
    addJobInfo(host.doc, host.page);
    ASFixedRect r;
    ASFixedMatrix m;
    runs(&r, &m);
    EXPECT_EQ(m.a, 0);  // a quarter turn to the left
    EXPECT_GT(m.b, 0);
    EXPECT_LT(m.c, 0);
    EXPECT_EQ(m.d, 0);
    EXPECT_EQ(m.h, fx(500 + 11 - 4));
    EXPECT_EQ(m.v, fx(100));
    EXPECT_NEAR((r.top - r.bottom) / 65536.0, 60.0, 0.01);
}

TEST_F(JobInfo, SpotColoursListedOnceWithoutUnderscoreNames) {
    // a page using two spots, one of them twice, and an underscore name
    useSeparations({"Gold", "_Hidden", "Gold"});
    createFrame(host.page, {fx(20), fx(30)}, fxRect(0, 0, 283, 11), kBoxJobInfo, 0, 0);
    EnumForms(
        host.page,
        [](CContent* lv, PDEElement f, long, long) {
            if (getBoxNum(f) == kBoxJobInfo) setJobInfoStr(f, "desc", "c");
            lv->addModified();
            return true;
        },
        0, true, true);
    addJobInfo(host.doc, host.page);
    auto t = runs();
    // The frame's own trim lines are in the "TL" separation, which prints on no plate:
    // it is not listed.
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1], "Gold");
    // Pairs are (spot name, process name), as the spot mapping hands them on: a
    // separation carrying the process name is listed under the spot name.
    const char* pairs[2] = {"Orange", "Gold"};
    setMapColorNames(pairs, 1);
    addJobInfo(host.doc, host.page);
    t = runs();
    setMapColorNames(nullptr, 0);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1], "Orange");
}

TEST_F(JobInfo, UnknownFontLeavesTheFrameEmpty) {
    EXPECT_EQ(getFontFromName("NoSuchFont-Bold"), nullptr);
    PDEFont f = getFontFromName("Courier");
    ASSERT_NE(f, nullptr);
    pdeRelease(f);
}

TEST_F(JobInfo, TextFramesTakeTheTextWidth) {
    ASFixedPoint pt{fx(100), fx(200)};
    addTextFrame(host.page, pt, "Hello");
    ASFixedRect r{};
    std::string text = textFrame(&r);
    EXPECT_EQ(text, "Hello");
    EXPECT_EQ(r.left, fx(100));
    EXPECT_EQ(r.bottom, fx(200));
    EXPECT_EQ(r.right - r.left, fx(30));
    EXPECT_EQ(r.top - r.bottom, fx(10));
}

TEST(WinAnsi, WindowsCharactersAndAClearReplacement) {
    EXPECT_EQ(utf8ToWinAnsi("Gr\xc3\xbcn \xe2\x82\xac \xc5\xa0\xc5\xb8"), "Gr\xfcn \x80 \x8a\x9f");
    // what the encoding lacks, and bytes that are not UTF-8, become "?"
    EXPECT_EQ(utf8ToWinAnsi("\xce\xa9 \xc5\x91 \xff\xc3"), "? ? ??");
    EXPECT_EQ(utf8ToWinAnsi("a\tb"), "a b");
    EXPECT_EQ(winAnsiToUtf8("Gr\xfc\xdf"
                            "e \x80\x93"),
              "Gr\xc3\xbc\xc3\x9f"
              "e \xe2\x82\xac\xe2\x80\x9c");
}

TEST_F(JobInfo, SlugTextIsWrittenInTheFontsEncoding) {
    info("Title", "Brosch\xc3\xbcre Gr\xc3\xbcn \xce\xa9");
    createFrame(host.page, {fx(20), fx(30)}, fxRect(0, 0, 283, 11), kBoxJobInfo, 0, 0);
    EnumForms(
        host.page,
        [](CContent* lv, PDEElement f, long, long) {
            setJobInfoStr(f, "desc", "st");
            setJobInfoStr(f, "A", "V\xc3\xb6");
            lv->addModified();
            return true;
        },
        0, true, true);
    addJobInfo(host.doc, host.page);
    ASFixedRect r;
    auto t = runs(&r);
    ASSERT_EQ(t.size(), 1u);
    // Windows-1252 codes of the standard font: "ö" and "ü" are one byte each, and the
    // Omega it lacks is a question mark.
    EXPECT_EQ(t[0], "Sheet 1V\xf6  Brosch\xfcre Gr\xfcn ?  ");
    EXPECT_NEAR((r.right - r.left) / 65536.0, 6.0 * t[0].size(), 0.01);
    TempDir tmp;
    gPDModelHFT->PDDocSave(host.doc, PDSaveFull | PDSaveCopy, tmp.file("s.pdf").c_str());
    std::string text;
    ASSERT_EQ(runCommand("pdftotext " + tmp.file("s.pdf") + " -", &text), 0);
    EXPECT_NE(text.find("Sheet 1V\xc3\xb6"), std::string::npos) << text;
    EXPECT_NE(text.find("Brosch\xc3\xbcre Gr\xc3\xbcn ?"), std::string::npos) << text;
}

TEST_F(JobInfo, TextFramesKeepTheirCharacters) {
    ASFixedPoint pt{fx(100), fx(200)};
    addTextFrame(host.page, pt,
                 "Gr\xc3\xbc\xc3\x9f"
                 "e \xe2\x82\xac");
    ASFixedRect r{};
    std::string text = textFrame(&r);
    // read back as typed, for the dialog; seven characters of Courier wide
    EXPECT_EQ(text,
              "Gr\xc3\xbc\xc3\x9f"
              "e \xe2\x82\xac");
    EXPECT_EQ(r.right - r.left, fx(42));
}

TEST_F(JobInfo, ColoursAreListedOnceAndPlaceholdersNot) {
    // the page uses a separation named like a process plate and a placeholder that
    // found no spot colour to take
    useSeparations({"Black", "X", "Gold"});
    PDEFont font = getFontFromName("Courier");
    PDEContent content = pdeContentCreate();
    const ASUns8 used[4] = {1, 0, 0, 1};
    addSlugline(host.doc, 0, font, fx(10), content, 0, 0, "Sheet 1A", used, true, false);
    PDEText t = pdeContentGetElem(content, 0);
    std::vector<std::string> names;
    for (ASInt32 i = 1; i < pdeTextGetNumRuns(t); ++i) {
        ASInt32 n = gPDFEditReadHFT->PDETextGetText(t, kPDETextRunFlag, i, nullptr);
        std::string s(static_cast<size_t>(n), '\0');
        gPDFEditReadHFT->PDETextGetText(t, kPDETextRunFlag, i, reinterpret_cast<ASUns8*>(s.data()));
        names.push_back(s);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Cyan", "Black", "Gold"}));
    pdeRelease(content);
    pdeRelease(font);
}

}  // namespace
