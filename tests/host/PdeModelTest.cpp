// The content model over QPDF: reading, the element kinds, writing back, limits.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>

#include <charconv>
#include <random>
#include <string>

#include "core/Core.h"
#include "pde/Model.h"

using namespace vexa::host;
using namespace vexa::host::pde;

namespace {

struct Model : ::testing::Test {
    QPDF q;
    QPDFObjectHandle res;
    std::vector<std::string> warnings;
    WarningSink old;
    Model() {
        q.emptyPDF();
        res = QPDFObjectHandle::parse(
            "<< /ExtGState << /GS1 << /OP true >> >> /Properties << /P1 << /boxnum 3 >> >> >>");
        old = setWarningSink([this](const std::string& w) { warnings.push_back(w); });
    }
    ~Model() override { setWarningSink(old); }
    Ref<Content> parse(const std::string& s) { return parseContent(&q, s, res); }
    std::string write(const Content& c, bool force = false) {
        WriteOptions o;
        o.forceFull = force;
        return writeContent(c, q, o).bytes;
    }
    ASErrorCode codeOf(const std::string& s) {
        try {
            parse(s);
        } catch (const ASException& e) {
            return e.code();
        }
        return 0;
    }
};

}  // namespace

TEST_F(Model, ElementKindsAndGraphicsState) {
    auto c = parse(
        "q 2 0 0 2 10 20 cm 1 0 0 rg 0.5 G 3 w 1 J [2 1] 0 d /GS1 gs\n"
        "0 0 m 10 0 l 10 10 5 5 0 10 c h B\n"
        "BT /F1 12 Tf 1 0 0 1 5 5 Tm (ab) Tj [(c) -250 (d)] TJ ET Q\n"
        "0 0 5 5 re W n 1 1 2 2 re f\n"
        "/Foo 1 2 xx\n");
    ASSERT_EQ(c->elems.size(), 4u);
    auto* p = static_cast<Path*>(c->elems[0].get());
    ASSERT_EQ(p->type, kPDEPath);
    EXPECT_EQ(p->paint, static_cast<ASUns32>(kPDEFill | kPDEStroke));
    EXPECT_EQ(p->ops, (std::vector<uint8_t>{kPDEMoveTo, kPDELineTo, kPDECurveTo, kPDEClosePath}));
    EXPECT_EQ(p->matrix, (Mat{2, 0, 0, 2, 10, 20}));
    EXPECT_EQ(p->gs.fill.space->family, "DeviceRGB");
    EXPECT_EQ(p->gs.fill.v[0], 1);
    EXPECT_EQ(p->gs.stroke.v[0], 0.5);
    EXPECT_EQ(p->gs.lineWidth, 3);
    EXPECT_EQ(p->gs.cap, 1);
    EXPECT_EQ(p->gs.dash, (std::vector<double>{2, 1}));
    ASSERT_TRUE(p->gs.ext);
    EXPECT_EQ(p->gs.ext->resName, "GS1");
    // fixed words: op code followed by 16.16 coordinates
    EXPECT_EQ(p->data[0], kPDEMoveTo);
    EXPECT_EQ(p->data[3], kPDELineTo);
    EXPECT_EQ(p->data[4], ASInt32ToFixed(10));

    auto* t = static_cast<Text*>(c->elems[1].get());
    ASSERT_EQ(t->type, kPDEText);
    ASSERT_EQ(t->runs.size(), 2u);
    EXPECT_EQ(t->runs[0].bytes, "ab");
    EXPECT_EQ(t->runs[1].bytes, "cd");
    EXPECT_EQ(t->runs[1].adjust.size(), 1u);
    EXPECT_TRUE(t->runs[1].continues);
    EXPECT_EQ(t->runs[0].ts.size, 12);

    // after Q: default state again; the clip rectangle applies to the painted rectangle
    auto* r = static_cast<Path*>(c->elems[2].get());
    EXPECT_TRUE(r->matrix.isIdentity());
    EXPECT_EQ(r->gs.fill.space->family, "DeviceGray");
    ASSERT_TRUE(r->clip);
    EXPECT_EQ(r->clip->elems.size(), 1u);
    EXPECT_EQ(c->elems[3]->type, kPDEPS);  // unknown operator kept in place
    EXPECT_EQ(static_cast<PassThrough*>(c->elems[3].get())->bytes, "/Foo 1 2 xx");
}

TEST_F(Model, MarkedContentNestsIntoContainers) {
    auto c = parse(
        "/Frame /P1 BDC /Inner <</MCID 4>> BDC 0 0 1 1 re f EMC /X BMC EMC EMC\n"
        "EMC\n"  // stray
        "/Open BMC 0 0 1 1 re S");
    ASSERT_EQ(c->elems.size(), 2u);
    auto* f = static_cast<Container*>(c->elems[0].get());
    ASSERT_EQ(f->type, kPDEContainer);
    EXPECT_EQ(f->tag, "Frame");
    EXPECT_FALSE(f->inlineDict);
    EXPECT_EQ(f->propName, "P1");
    EXPECT_EQ(f->dict.getKey("/boxnum").getIntValue(), 3);
    ASSERT_EQ(f->content->elems.size(), 2u);
    auto* inner = static_cast<Container*>(f->content->elems[0].get());
    EXPECT_TRUE(inner->inlineDict);
    EXPECT_EQ(inner->dict.getKey("/MCID").getIntValue(), 4);
    EXPECT_EQ(inner->content->elems.size(), 1u);
    auto* bmc = static_cast<Container*>(f->content->elems[1].get());
    EXPECT_FALSE(bmc->dict.isDictionary());
    // the sequence left open is closed at the end, the stray EMC reported
    auto* open = static_cast<Container*>(c->elems[1].get());
    EXPECT_EQ(open->content->elems.size(), 1u);
    EXPECT_GE(warnings.size(), 2u) << warnings.size();
    // written anew it is balanced
    std::string out = write(*c);
    auto again = parse(out);
    ASSERT_EQ(again->elems.size(), 2u);
    EXPECT_EQ(static_cast<Container*>(again->elems[1].get())->content->elems.size(), 1u);
}

TEST_F(Model, MarkedContentInsideTextStaysWithTheText) {
    std::string text = "BT /F1 1 Tf /P <</MCID 0>> BDC 1 0 0 1 5 5 Tm (a) Tj EMC ET";
    auto c = parse(text + " 0 0 1 1 re f");
    ASSERT_EQ(c->elems.size(), 2u);
    EXPECT_EQ(c->elems[0]->type, kPDEText);
    c->modified = true;
    std::string out = write(*c);
    EXPECT_NE(out.find(text), std::string::npos) << out;
    // written anew, the sequences stay where they were around the runs (tagged files
    // refer to their MCIDs); one left open is closed before ET
    std::string full = write(*c, true);
    EXPECT_NE(full.find("/P << /MCID 0 >> BDC\n"), std::string::npos) << full;
    EXPECT_LT(full.find("BDC"), full.find("(a) Tj"));
    EXPECT_LT(full.find("(a) Tj"), full.find("EMC"));
    auto again = parse(full);
    ASSERT_EQ(again->elems.size(), 2u);
    auto* t = static_cast<Text*>(again->elems[0].get());
    ASSERT_EQ(t->runs.size(), 1u);
    ASSERT_EQ(t->runs[0].marks.size(), 1u);
    EXPECT_EQ(t->runs[0].marks[0].tag, "P");
    ASSERT_EQ(t->marksAfter.size(), 1u);
    EXPECT_TRUE(t->marksAfter[0].end);
    auto open = parse("BT /F1 1 Tf /P1 BMC /Span /P1 BDC (a) Tj ET");
    full = write(*open, true);
    EXPECT_NE(full.find("/Span /P1 BDC"), std::string::npos) << full;
    EXPECT_NE(full.find("EMC\nEMC\nET"), std::string::npos) << full;
}

TEST_F(Model, InlineImageWithBinaryDataAndForms) {
    std::string data = "EI \x00\xFF";
    data.resize(6, 'x');  // 2x3 gray 8 bit: 6 bytes that contain "EI "
    auto c = parse("q 10 0 0 10 0 0 cm BI /W 2 /H 3 /CS /G /BPC 8 ID " + data +
                   "\nEI Q 1 0 0 rg 0 0 1 1 re f");
    ASSERT_EQ(c->elems.size(), 2u);
    auto* img = static_cast<Image*>(c->elems[0].get());
    ASSERT_EQ(img->type, kPDEImage);
    EXPECT_TRUE(img->inlineImage);
    EXPECT_EQ(img->space->family, "DeviceGray");
    EXPECT_EQ(img->matrix.a, 10);
    EXPECT_EQ(c->elems[1]->type, kPDEPath);
    // re-serialized, the image bytes are carried unchanged
    std::string out = write(*c, true);
    EXPECT_NE(out.find(data), std::string::npos);
}

TEST_F(Model, UnchangedRunsAreCopiedAndChangedElementsRewritten) {
    std::string a = "/A <</MCID 1>> BDC 1 0 0 rg 0 0 10 10 re f EMC";
    std::string b = "/B <</MCID 2>> BDC 0 0 1 rg 20 0 10 10 re f EMC";
    std::string src = "q 1 0 0 1 5 5 cm " + a + "\n" + b + " Q";
    auto c = parse(src);
    c->modified = true;
    // all unchanged: one run of original bytes
    std::string out = write(*c);
    EXPECT_NE(out.find(a + "\n" + b), std::string::npos) << out;
    // one frame changed: the other keeps its bytes
    auto* second = static_cast<Container*>(c->elems[1].get());
    auto* path = static_cast<Path*>(second->content->elems[0].get());
    path->gs.lineWidth = 4;
    path->paint = kPDEStroke;
    path->touch();
    out = write(*c);
    EXPECT_NE(out.find(a), std::string::npos) << out;
    EXPECT_EQ(out.find(b), std::string::npos);
    auto again = parse(out);
    auto* p2 =
        static_cast<Path*>(static_cast<Container*>(again->elems[1].get())->content->elems[0].get());
    EXPECT_EQ(p2->gs.lineWidth, 4);
    EXPECT_EQ(p2->paint, static_cast<ASUns32>(kPDEStroke));
    EXPECT_EQ(p2->matrix, (Mat{1, 0, 0, 1, 5, 5}));
    EXPECT_EQ(p2->gs.fill.v[2], 1);
}

TEST_F(Model, FullWriteReadsBackTheSameModel) {
    auto c = parse(
        "q 0.5 0 0 0.5 0 0 cm /GS1 gs 0.1 0.2 0.3 0.4 k 10 10 100 50 re W* n "
        "BT /F1 9 Tf 2 Tr 3 Tc 1 0 0 1 20 20 Tm (x) Tj 5 0 Td (y) Tj ET "
        "0 0 m 100 100 l S Q /P /P1 DP");
    auto again = parse(write(*c, true));
    ASSERT_EQ(again->elems.size(), c->elems.size());
    auto* t0 = static_cast<Text*>(c->elems[0].get());
    auto* t1 = static_cast<Text*>(again->elems[0].get());
    ASSERT_EQ(t1->runs.size(), 2u);
    EXPECT_EQ(t1->runs[1].tm, t0->runs[1].tm);
    EXPECT_EQ(t1->runs[0].ts.render, 2);
    EXPECT_EQ(t1->runs[0].ts.charSpacing, 3);
    EXPECT_EQ(t1->matrix, t0->matrix);
    EXPECT_EQ(t1->gs.fill.v[3], 0.4);
    ASSERT_TRUE(t1->clip);
    auto* cp = static_cast<Path*>(t1->clip->elems[0].get());
    BBox b = cp->bbox();
    EXPECT_DOUBLE_EQ(b.l, 5);
    EXPECT_DOUBLE_EQ(b.r, 55);
    EXPECT_EQ(again->elems[2]->type, kPDEPlace);
}

TEST_F(Model, ResourceNamesDoNotClash) {
    auto other = QPDFObjectHandle::parse("<< /ExtGState << /GS1 << /OP false >> >> >>");
    auto a = parse("/GS1 gs 0 0 1 1 re f");
    auto b = parseContent(&q, "/GS1 gs 2 2 1 1 re f", other);
    b->elems[0]->touch();
    a->elems.push_back(b->elems[0]);
    a->modified = true;
    WriteResult r = writeContent(*a, q);
    auto gs = r.resources.getKey("/ExtGState");
    ASSERT_EQ(gs.getKeys().size(), 2u);
    EXPECT_TRUE(gs.getKey("/GS1").getKey("/OP").getBoolValue());
    // the second element's dictionary got a new name, and the content uses it
    std::string other_name;
    for (auto& k : gs.getKeys())
        if (k != "/GS1") other_name = k;
    EXPECT_NE(r.bytes.find(other_name + " gs"), std::string::npos);
}

TEST_F(Model, HostileContentGivesLimitErrors) {
    std::string saves;
    for (int i = 0; i < 5000; ++i) saves += "q ";
    EXPECT_EQ(codeOf(saves + "0 0 1 1 re f"), pdeErrLimit);
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "/T BMC ";
    EXPECT_EQ(codeOf(deep), pdeErrLimit);
    std::string many;
    for (int i = 0; i < 70000; ++i) many += "1 ";
    EXPECT_EQ(codeOf(many + "m"), pdeErrLimit);
    EXPECT_EQ(codeOf(std::string(100, '[') + "1 d"), pdeErrLimit);
    std::string marks = "BT ";
    for (int i = 0; i < 35000; ++i) marks += "/T BMC EMC ";
    EXPECT_EQ(codeOf(marks + "ET"), pdeErrLimit);
    // a path left inside a text object without runs (found by fuzzing)
    auto t = parse("BT /F 0 0 1 5 5 cm 0 0 m 10 10 l 5 Tr 1 0");
    write(*t);
    write(*t, true);
    // gigantic and malformed numbers are read leniently
    auto c = parse("1e999999 -- 99999999999999999999999999999 0 0 re f");
    ASSERT_EQ(c->elems.size(), 1u);
    EXPECT_EQ(write(*c, true).find("inf"), std::string::npos);
}

TEST_F(Model, FormsThatDrawThemselvesAreRefused) {
    auto form = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, "/Me Do"));
    form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    auto fres = QPDFObjectHandle::newDictionary();
    fres.replaceKey("/XObject", QPDFObjectHandle::parse("<< >>"));
    fres.getKey("/XObject").replaceKey("/Me", form);
    form.getDict().replaceKey("/Resources", fres);
    auto inner = readForm(&q, form, res, {});
    ASSERT_EQ(inner->elems.size(), 1u);
    auto* f = static_cast<Form*>(inner->elems[0].get());
    ASSERT_EQ(f->type, kPDEForm);
    try {
        readForm(&q, f->xobj, f->resources, inner->formChain);
        FAIL();
    } catch (const ASException& e) {
        EXPECT_EQ(e.code(), pdeErrRecursiveForm);
    }
}

TEST(PdeNumbers, ShortExactAndNeverExponent) {
    std::string s;
    for (double v : {0.0, 1.0, -2.5, 1e-7, 123456.789, 0.23999999, -0.0000001}) {
        s.clear();
        appendNumber(s, v);
        EXPECT_EQ(s.find('e'), std::string::npos) << s;
        EXPECT_NEAR(std::stod(s), v, std::abs(v) * 1e-10 + 1e-15) << s;
    }
    s.clear();
    appendNumber(s, 3);
    EXPECT_EQ(s, "3");
}

// Numbers of up to five decimals take a short path; it must give exactly the text of
// the general one (the shortest that reads back) at every magnitude and sign.
TEST(PdeNumbers, FiveDecimalNumbersReadAsTheGeneralPathWritesThem) {
    auto general = [](double v) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        return std::string(buf, r.ptr);
    };
    std::mt19937_64 rng(7);
    int checked = 0;
    for (long long range : {10LL, 1000LL, 100000LL, 10000000LL, 100000000000LL, 99999999999999LL}) {
        std::uniform_int_distribution<long long> pick(-range, range);
        for (int i = 0; i < 20000; ++i) {
            long long k = pick(rng);
            double v = static_cast<double>(k) / 1e5;
            if (k == 0) continue;
            std::string s;
            appendNumber(s, v);
            ASSERT_EQ(s, general(v)) << k;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100000);
    for (double v : {0.00001, -0.00001, 0.0001, 0.1, 10.0, -100000.5, 841.89, 999999999.99999}) {
        std::string s;
        appendNumber(s, v);
        EXPECT_EQ(s, general(v)) << v;
    }
}

TEST_F(Model, ContentSplitAcrossStreamsReadsAsOne) {
    auto page = q.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
    // The first stream ends right after an operator and the second starts with one:
    // joined without a separator they would read as the one unknown operator "fQ", and
    // the page would lose its drawing.
    auto a = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, "q 0 0 1 rg 0 0 5 5 re f"));
    auto b = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, "Q 1 0 0 rg 5 5 5 5 re f"));
    auto arr = QPDFObjectHandle::newArray();
    arr.appendItem(a);
    arr.appendItem(b);
    page.replaceKey("/Contents", arr);
    page.replaceKey("/Resources", res);
    auto c = readPage(q, page);
    ASSERT_EQ(c->elems.size(), 2u);
    EXPECT_EQ(c->elems[0]->type, kPDEPath);
    EXPECT_EQ(c->elems[1]->type, kPDEPath);
    EXPECT_EQ(c->elems[1]->gs.fill.space->family, "DeviceRGB");
    EXPECT_TRUE(warnings.empty());
    // unchanged: the page is left alone
    auto before = page.getKey("/Contents").unparse();
    EXPECT_FALSE(storePage(q, page, *c));
    EXPECT_EQ(page.getKey("/Contents").unparse(), before);
    // marked modified but written back to the same bytes: still left alone
    c->modified = true;
    EXPECT_FALSE(storePage(q, page, *c));
    EXPECT_EQ(page.getKey("/Contents").unparse(), before);
    c->elems[0]->touch();
    EXPECT_TRUE(storePage(q, page, *c));
    EXPECT_TRUE(page.getKey("/Contents").isStream());
    // the content now differs from the page's: the same bytes as read are written
    c->elems[0] = parseContent(&q, "q 0 0 1 rg 0 0 5 5 re f Q", res)->elems[0];
    auto written = page.getKey("/Contents");
    EXPECT_TRUE(storePage(q, page, *c));
    EXPECT_NE(page.getKey("/Contents").getObjGen(), written.getObjGen());
}

TEST_F(Model, Type3AndStandardFontAdvances) {
    res.replaceKey("/Font",
                   QPDFObjectHandle::parse(
                       "<< /T3 << /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0]"
                       " /FirstChar 65 /Widths [50 100] >>"
                       " /H << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>"));
    auto c = parse("BT /T3 10 Tf (AB) Tj /H 10 Tf 2 Tc (AA) Tj ET");
    auto* t = static_cast<Text*>(c->elems[0].get());
    ASSERT_EQ(t->runs.size(), 2u);
    // Type 3: widths through the font matrix (0.5 + 1.0) * 10
    EXPECT_DOUBLE_EQ(t->runs[0].advance(), 15);
    // Helvetica "A" is 667/1000 from the built-in metrics, plus the character spacing
    const StdFont* h = findStdFont("Helvetica");
    ASSERT_TRUE(h);
    EXPECT_NEAR(t->runs[1].advance(), 2 * (h->widths['A'] / 1000.0 * 10 + 2), 1e-9);
    EXPECT_TRUE(t->runs[1].continues);
    EXPECT_DOUBLE_EQ(t->runs[1].tm.e, 15);
}

TEST_F(Model, InlineDictionaryChangedInPlaceIsWrittenAnew) {
    std::string inner = "1 0 0 rg 0 0 1 1 re f";
    auto c = parse("/Span <</MCID 1>> BDC " + inner + " EMC");
    auto* k = static_cast<Container*>(c->elems[0].get());
    EXPECT_TRUE(c->unchanged());
    k->dict.replaceKey("/MCID", QPDFObjectHandle::newInteger(7));
    EXPECT_FALSE(c->unchanged());
    std::string out = write(*c);
    EXPECT_NE(out.find("/MCID 7"), std::string::npos) << out;
    // the path keeps its bytes (its colour comes with the state written before it)
    EXPECT_NE(out.find("0 0 1 1 re f"), std::string::npos) << out;
}

TEST_F(Model, TextClipAndSoftMaskPlacement) {
    res.replaceKey("/ExtGState",
                   QPDFObjectHandle::parse("<< /SM << /SMask << /S /Luminosity /G 1 >> >> >>"));
    auto c = parse(
        "q 2 0 0 2 0 0 cm /SM gs 0.5 0 0 0.5 0 0 cm "
        "BT /F1 10 Tf 7 Tr (clip) Tj ET 0 0 10 10 re f Q");
    ASSERT_EQ(c->elems.size(), 1u);  // text that only clips is part of the clip
    auto* p = static_cast<Path*>(c->elems[0].get());
    ASSERT_TRUE(p->clip);
    EXPECT_EQ(p->clip->elems[0]->type, kPDEText);
    EXPECT_TRUE(p->matrix.isIdentity());
    EXPECT_EQ(p->gs.extCtm, (Mat{2, 0, 0, 2, 0, 0}));
    // re-serialized: the mask is set under the CTM it was set with, the clip text in
    // mode 7 comes before the path
    std::string out = write(*c, true);
    auto sm = out.find("2 0 0 2 0 0 cm\n/SM gs");
    auto clip = out.find("7 Tr");
    auto fill = out.find("re\nf");
    EXPECT_NE(sm, std::string::npos) << out;
    EXPECT_LT(clip, fill) << out;
    auto again = parse(out);
    ASSERT_EQ(again->elems.size(), 1u);
    EXPECT_EQ(static_cast<Path*>(again->elems[0].get())->gs.extCtm, (Mat{2, 0, 0, 2, 0, 0}));
}

TEST_F(Model, APathEndedWithNIsAnInvisibleElementAndAClipPathIsNot) {
    auto c = parse("0 0 10 10 re n 5 5 2 2 re W n 1 1 3 3 re f");
    ASSERT_EQ(c->elems.size(), 2u);
    auto* hidden = static_cast<Path*>(c->elems[0].get());
    ASSERT_EQ(hidden->type, kPDEPath);
    EXPECT_EQ(hidden->paint, static_cast<ASUns32>(kPDEInvisible));
    auto* filled = static_cast<Path*>(c->elems[1].get());
    EXPECT_EQ(filled->paint, static_cast<ASUns32>(kPDEFill));
    ASSERT_TRUE(filled->clip);
    // Written anew, the hidden path keeps its n and reads back the same.
    auto again = parse(write(*c, true));
    ASSERT_EQ(again->elems.size(), 2u);
    EXPECT_EQ(static_cast<Path*>(again->elems[0].get())->paint,
              static_cast<ASUns32>(kPDEInvisible));
}

TEST_F(Model, UnchangedContentIsWrittenBackAsRead) {
    // messy content: a q left open, a stray Q and EMC, an unknown operator, no final
    // white space; nothing changed, so nothing is repaired on the way out
    std::string src = "q 2 0 0 2 0 0 cm 1 0 0 rg 0 0 5 5 re f Q Q EMC xyz 0 g q 1 1 2 2 re f";
    auto c = parse(src);
    c->modified = true;
    EXPECT_EQ(write(*c), src);
    // the first element changed: the ones after it are copied behind the state they need
    c->elems[0]->touch();
    auto out = write(*c);
    EXPECT_EQ(out.find(src), std::string::npos);
    EXPECT_NE(out.find("1 1 2 2 re f"), std::string::npos) << out;
    // the last one changed: the leading part is copied from the very start, closed with
    // the Q its q needs and one for the part itself
    auto d = parse("q 0.5 0 0 0.5 10 10 cm 1 0 0 rg 0 0 5 5 re f 0 0 1 rg 9 9 1 1 re f Q");
    d->elems[1]->touch();
    out = write(*d);
    EXPECT_EQ(out.rfind("q\nq 0.5 0 0 0.5 10 10 cm 1 0 0 rg 0 0 5 5 re f\nQ\nQ\n", 0), 0u) << out;
    auto again = parse(out);
    ASSERT_EQ(again->elems.size(), 2u);
    EXPECT_EQ(again->elems[1]->matrix, (Mat{0.5, 0, 0, 0.5, 10, 10}));
    EXPECT_EQ(again->elems[1]->gs.fill.v[2], 1);
}

TEST_F(Model, RepairedBytesAreCarriedWhenEverythingElseIsWrittenAnew) {
    // a malformed number inside a path: a renderer's reading of it may not be ours
    std::string bad = "0 0 m 10 1.2.3 l S";
    auto c = parse("1 0 0 rg 0 0 5 5 re f " + bad + " 0 0 1 rg 20 20 5 5 re f");
    ASSERT_EQ(c->elems.size(), 3u);
    EXPECT_FALSE(c->elems[0]->origin.damaged);
    EXPECT_TRUE(c->elems[1]->origin.damaged);
    std::string out = write(*c, true);
    EXPECT_NE(out.find(bad), std::string::npos) << out;
    EXPECT_EQ(out.find("0 0 5 5 re f"), std::string::npos) << out;  // written anew
    // changed by the user, it is written as the model has it
    c->elems[1]->touch();
    EXPECT_EQ(write(*c, true).find(bad), std::string::npos);
}

TEST_F(Model, CmInsideTextAndElementsDrawnInsideText) {
    // cm inside BT/ET is not allowed, but renderers apply it to the runs after it
    auto c = parse("BT /F1 10 Tf 1 0 0 1 5 5 Tm (a) Tj 2 0 0 2 0 0 cm (b) Tj ET 0 0 1 1 re f");
    ASSERT_EQ(c->elems.size(), 2u);
    auto* t = static_cast<Text*>(c->elems[0].get());
    ASSERT_EQ(t->runs.size(), 2u);
    EXPECT_TRUE(t->matrix.isIdentity());  // the CTM at BT
    EXPECT_EQ(t->runMatrix(0).e, 5);
    EXPECT_FALSE(t->runs[1].continues);
    EXPECT_EQ(t->runMatrix(1).a, 2);                          // the run is drawn under the cm
    EXPECT_EQ(c->elems[1]->matrix, (Mat{2, 0, 0, 2, 0, 0}));  // after it: the new CTM
    auto again = parse(write(*c, true));
    auto* t2 = static_cast<Text*>(again->elems[0].get());
    ASSERT_EQ(t2->runs.size(), 2u);
    EXPECT_EQ(t2->runMatrix(1), t->runMatrix(1));
    EXPECT_EQ(t2->runMatrix(0), t->runMatrix(0));

    // a path drawn inside a text object is copied together with its text object
    std::string text = "BT /F1 10 Tf (a) Tj 0 0 1 1 re f (b) Tj ET";
    auto d = parse(text + " 5 5 1 1 re f");
    ASSERT_EQ(d->elems.size(), 3u);
    d->elems[2]->touch();
    std::string out = write(*d);
    EXPECT_NE(out.find(text), std::string::npos) << out;
    d->elems[0]->touch();  // the path inside: neither it nor its text is copied alone
    out = write(*d);
    EXPECT_EQ(out.find(text), std::string::npos) << out;
    EXPECT_EQ(parse(out)->elems.size(), 3u);

    // a marked-content sequence that ends inside the text object begun in it (found by
    // fuzzing): copied only together with that text, never drawing it twice
    auto e = parse("/P <</MCID 3>> BDC (c) Tj EMC ET 0 0 1 1 re f 5 5 1 1 re f");
    ASSERT_EQ(e->elems.size(), 4u);
    e->elems[2]->touch();
    out = write(*e);
    EXPECT_EQ(out.find("(c)"), out.rfind("(c)")) << out;
    out = write(*e, true);
    EXPECT_EQ(out.find("(c)"), out.rfind("(c)")) << out;
}
