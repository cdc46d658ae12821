// The job's option values and job tickets: lengths with their units, percentages, page
// ranges, and the strict, bounded JSON reader under the tickets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Sources/JobOptions.h"
#include "settings/MyJSON.h"

namespace {

struct Said {
    std::vector<std::string> errors, warnings;
    std::vector<std::string> options;
};

void collect(const VexaProblem* p, void* data) {
    auto* s = static_cast<Said*>(data);
    (p->severity == kVexaError ? s->errors : s->warnings).push_back(p->text);
    s->options.push_back(p->option);
}

VexaJob freshJob() {
    VexaJob job;
    std::memset(&job, 0, sizeof job);
    job.size = sizeof job;
    job.data.binding = 1;
    job.data.scale = 0x10000;
    job.dlgUnits = 3;  // millimetres
    return job;
}

ASFixed length(const char* text, ASInt32 unit = 3) {
    ASFixed v = -1;
    std::string why;
    EXPECT_TRUE(parseLength(text, unit, &v, &why)) << text << ": " << why;
    return v;
}

std::string lengthRefused(const char* text) {
    ASFixed v = 0;
    std::string why;
    EXPECT_FALSE(parseLength(text, 3, &v, &why)) << text;
    return why;
}

}  // namespace

TEST(JobOptions, LengthsTakeTheirUnitsAndABareNumberTakesTheDialogUnit) {
    // The dialog's conversion: trunc(number / unit per 16.16 step).
    EXPECT_EQ(length("0.2mm"), 37154);
    EXPECT_EQ(length("0,2 mm"), 37154);
    EXPECT_EQ(length("0.2"), 37154);
    EXPECT_EQ(length("0.2", 1), 13107);  // points
    EXPECT_EQ(length("1pt"), 0x10000);
    EXPECT_EQ(length("1 pts"), 0x10000);
    EXPECT_NEAR(length("1cm"), length("10mm"), 1);
    // "2in" is two inches (144 pt), not 2 mm; "inch" and '"' too.
    EXPECT_EQ(length("2in"), 144 * 0x10000);
    EXPECT_EQ(length("2 inch"), 144 * 0x10000);
    EXPECT_EQ(length("2\""), 144 * 0x10000);
    // "1/8 inch" is an eighth of an inch, not one inch.
    EXPECT_EQ(length("1/8 inch"), 9 * 0x10000);
    EXPECT_EQ(length("-1mm"), -length("1mm"));
    EXPECT_EQ(length("  .5mm "), length("0.5mm"));

    EXPECT_NE(lengthRefused("abc").find("not a length"), std::string::npos);
    EXPECT_NE(lengthRefused("2xy").find("\"xy\" is no unit"), std::string::npos);
    EXPECT_NE(lengthRefused("1/0in").find("denominator"), std::string::npos);
    lengthRefused("");
    lengthRefused("mm");
    lengthRefused("1.2.3mm");
    lengthRefused("1e9mm");
    lengthRefused("99999999999999mm");
}

TEST(JobOptions, PercentagesAndPageRanges) {
    ASFixed s = 0;
    EXPECT_TRUE(parsePercent("80", &s, nullptr));
    EXPECT_EQ(s, 0x10000 * 8 / 10);
    EXPECT_TRUE(parsePercent("80 %", &s, nullptr));
    EXPECT_EQ(s, 0x10000 * 8 / 10);
    EXPECT_FALSE(parsePercent("80mm", &s, nullptr));
    EXPECT_FALSE(parsePercent("lots", &s, nullptr));

    ASInt32 f = 0, t = 0;
    std::string why;
    EXPECT_TRUE(parsePageRange("3-10", &f, &t, &why));
    EXPECT_EQ(f, 3);
    EXPECT_EQ(t, 10);
    EXPECT_TRUE(parsePageRange(" 3 - 10 ", &f, &t, &why));
    EXPECT_FALSE(parsePageRange("10-3", &f, &t, &why));
    EXPECT_NE(why.find("runs backwards"), std::string::npos);
    EXPECT_FALSE(parsePageRange("0-3", &f, &t, &why));
    EXPECT_FALSE(parsePageRange("3", &f, &t, &why));
    EXPECT_FALSE(parsePageRange("3-", &f, &t, &why));
    EXPECT_FALSE(parsePageRange("1-99999999999", &f, &t, &why));
}

TEST(JobOptions, OptionsAreRangeCheckedAndNamedInTheUsersTerms) {
    VexaJob job = freshJob();
    Said said;
    JobReport report{collect, &said};
    EXPECT_TRUE(setJobOption(&job, "creep", "0.3mm", "", report));
    EXPECT_EQ(job.data.creep, length("0.3mm"));
    EXPECT_TRUE(job.given & kVexaGivenCreep);
    EXPECT_FALSE(setJobOption(&job, "creep", "-1mm", "", report));
    EXPECT_FALSE(setJobOption(&job, "creep", "50mm", "", report));
    EXPECT_FALSE(setJobOption(&job, "creep", "2in", "", report));
    EXPECT_TRUE(setJobOption(&job, "creep", "5mm", "", report));
    EXPECT_FALSE(setJobOption(&job, "scale", "5", "", report));
    EXPECT_FALSE(setJobOption(&job, "scale", "1001", "", report));
    EXPECT_TRUE(setJobOption(&job, "scale", "10%", "", report));
    EXPECT_FALSE(setJobOption(&job, "binding", "spiral", "", report));
    EXPECT_TRUE(setJobOption(&job, "binding", "Perfect", "", report));
    EXPECT_EQ(job.data.binding, 2);
    EXPECT_TRUE(setJobOption(&job, "align", "adjust", "", report));
    EXPECT_EQ(job.data.placing, kPlaceAdjustFrame);
    EXPECT_FALSE(setJobOption(&job, "spot-black", "maybe", "", report));
    EXPECT_FALSE(setJobOption(&job, "colour", "red", "", report));
    ASSERT_EQ(said.errors.size(), 8u);
    EXPECT_EQ(said.errors[0], "creep cannot be negative");
    EXPECT_NE(said.errors[1].find("5 mm"), std::string::npos);
    EXPECT_EQ(said.errors[6], "is on or off");
    // The dialog's words never reach the user.
    for (const std::string& e : said.errors) EXPECT_EQ(e.find("dialog"), std::string::npos) << e;

    // Paths: relative ones from the base folder; too long ones refused whole.
    EXPECT_TRUE(setJobOption(&job, "template", "t.pdf", "/jobs", report));
    EXPECT_STREQ(job.data.templatePath, "/jobs/t.pdf");
    EXPECT_TRUE(setJobOption(&job, "output", "/abs/o.pdf", "/jobs", report));
    EXPECT_STREQ(job.data.outPath, "/abs/o.pdf");
    EXPECT_FALSE(setJobOption(&job, "template", std::string(600, 'a').c_str(), "", report));
    EXPECT_STREQ(job.data.templatePath, "/jobs/t.pdf");
    EXPECT_TRUE(setJobOption(&job, "second-sheet", "h.pdf", "/jobs", report));
    EXPECT_TRUE(setJobOption(&job, "second-sheet", "", "/jobs", report));
    EXPECT_STREQ(job.data.halfSheetPath, "");

    // Spot colours: the name is everything before the last "=", once each.
    EXPECT_TRUE(setJobOption(&job, "map-spot", "A=B=cyan", "", report));
    EXPECT_TRUE(setJobOption(&job, "map-spot", "Gold=KEEP", "", report));
    EXPECT_FALSE(setJobOption(&job, "map-spot", "Gold=black", "", report));
    EXPECT_FALSE(setJobOption(&job, "map-spot", "Gold=purple", "", report));
    EXPECT_FALSE(setJobOption(&job, "map-spot", "=cyan", "", report));
    ASSERT_EQ(job.spotCount, 2);
    EXPECT_STREQ(job.spots[0].name, "A=B");
    EXPECT_STREQ(job.spots[0].plate, "Cyan");
    EXPECT_STREQ(job.spots[1].plate, "");
}

TEST(JobTicket, AllKeysAndTheirJsonForms) {
    VexaJob job = freshJob();
    Said said;
    JobReport report{collect, &said};
    const std::string ticket = R"({
        "template": "t.pdf", "second-sheet": null, "binding": "perfect",
        "align": "centered", "creep": 0.2, "scale": "95%", "pages": [3, 10],
        "map-spot": {"PANTONE 286 C": "cyan", "Gold": "keep"},
        "spot-black": true, "output": "../out.pdf"})";
    ASSERT_TRUE(readJobTicket(&job, ticket.data(), ticket.size(), "/jobs/a/job.json", report))
        << (said.errors.empty() ? "" : said.errors[0]);
    EXPECT_STREQ(job.data.templatePath, "/jobs/a/t.pdf");
    EXPECT_STREQ(job.data.outPath, "/jobs/a/../out.pdf");
    EXPECT_EQ(job.data.binding, 2);
    EXPECT_EQ(job.data.placing, kPlaceCentered);
    EXPECT_EQ(job.data.creep, length("0.2mm"));  // a number: the dialog unit
    ASFixed percent = 0;
    ASSERT_TRUE(parsePercent("95", &percent, nullptr));
    EXPECT_EQ(job.data.scale, percent);
    EXPECT_EQ(job.data.firstPage, 3);
    EXPECT_EQ(job.data.lastPage, 10);
    ASSERT_EQ(job.spotCount, 2);
    EXPECT_STREQ(job.spots[0].plate, "Cyan");
    EXPECT_EQ(job.spotBlack, 1);

    // The string forms, and a ticket's mapping replaces the one before it.
    const std::string other =
        R"({"pages": "1-2", "map-spot": "Gold=magenta", "spot-black": "off", "scale": 100})";
    ASSERT_TRUE(readJobTicket(&job, other.data(), other.size(), "job.json", report));
    ASSERT_EQ(job.spotCount, 1);
    EXPECT_STREQ(job.spots[0].plate, "Magenta");
    EXPECT_EQ(job.spotBlack, 0);
    EXPECT_EQ(job.data.lastPage, 2);
    EXPECT_TRUE(said.errors.empty());
}

TEST(JobTicket, EachKindOfFaultIsRefusedNamingTicketAndKeyAndNothingIsTaken) {
    struct Case {
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {R"({"bindng": "saddle"})", "/t/j.json: unknown key \"bindng\""},
        {R"({"creep": ["0.2mm"]})", "/t/j.json: \"creep\": must be a length"},
        {R"({"creep": "-0.2mm"})", "/t/j.json: \"creep\": creep cannot be negative"},
        {R"({"scale": 5000})", "/t/j.json: \"scale\": the scale is 10% to 1000%"},
        {R"({"pages": [3]})", "/t/j.json: \"pages\": must be a page range"},
        {R"({"pages": "10-3"})", "\"pages\": the range runs backwards"},
        {R"({"spot-black": 1})", "\"spot-black\": must be true, false"},
        {R"({"map-spot": {"X": 1}})", "\"map-spot\": must be an object"},
        {R"({"template": 7})", "\"template\": must be a string, not a number"},
        {R"(["binding"])", "/t/j.json: a job ticket is a JSON object ({...}), not an array"},
        {R"({"binding": "saddle",})", "/t/j.json: not a job ticket: line 1, column"},
        {R"({"binding": "saddle", "binding": "perfect"})", "is given twice"},
        {"", "the text ends where a value should be"},
    };
    for (const Case& c : cases) {
        VexaJob job = freshJob();
        job.data.creep = 4;
        Said said;
        JobReport report{collect, &said};
        // A good key before the fault is not taken either.
        std::string ticket = c.text;
        if (ticket.size() > 1 && ticket[0] == '{' && ticket[1] == '"')
            ticket = R"({"align": "adjust", )" + ticket.substr(1);
        EXPECT_FALSE(readJobTicket(&job, ticket.data(), ticket.size(), "/t/j.json", report))
            << c.text;
        ASSERT_FALSE(said.errors.empty()) << c.text;
        EXPECT_NE(said.errors[0].find(c.says), std::string::npos) << said.errors[0];
        EXPECT_EQ(job.data.placing, kPlaceTrimBoxIfAny) << c.text;
        EXPECT_EQ(job.data.creep, 4) << c.text;
    }
}

TEST(JobTicket, TheJsonReaderIsStrictAndBounded) {
    MyJSONValue v;
    std::string why;
    auto ok = [&](const std::string& t) { return parseJSON(t.data(), t.size(), &v, &why); };
    EXPECT_TRUE(
        ok("\xEF\xBB\xBF {\"a\": [1, -2.5e3, true, false, null, \"\\u00e9\\ud83d\\ude00\"]}"));
    ASSERT_EQ(v.kind, MyJSONValue::kObject);
    const MyJSONValue* a = v.find("a");
    ASSERT_TRUE(a && a->items.size() == 6);
    EXPECT_EQ(a->items[1].number, -2500);
    EXPECT_EQ(a->items[5].text, "\xC3\xA9\xF0\x9F\x98\x80");

    for (const char* bad :
         {"{'a': 1}", "{\"a\": 01}", "{\"a\": 1.}", "{\"a\": .5}", "[1,]", "{\"a\" 1}", "\"\\x\"",
          "\"\\ud800\"", "\"\\udc00x\"", "\"a\nb\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"",
          "\"\xF5\x80\x80\x80\"", "nul", "1 2", "{\"a\":1}}", "-", "1e", "1e999"})
        EXPECT_FALSE(ok(bad)) << bad;
    EXPECT_FALSE(ok(std::string(kMaxJSONDepth + 1, '[') + std::string(kMaxJSONDepth + 1, ']')));
    EXPECT_TRUE(ok(std::string(kMaxJSONDepth, '[') + std::string(kMaxJSONDepth, ']')));
    std::string many = "[";
    for (int i = 0; i < kMaxJSONValues; ++i) many += "0,";
    many += "0]";
    EXPECT_FALSE(ok(many));
    EXPECT_NE(why.find("too many values"), std::string::npos);
    EXPECT_FALSE(ok("\"" + std::string(kMaxJSONString + 10, 'a') + "\""));
    std::string big = "[\"" + std::string(kMaxJSONSize, ' ') + "\"]";
    EXPECT_FALSE(ok(big));
    EXPECT_NE(why.find("larger than"), std::string::npos);
    // Where the fault is, in lines and characters.
    EXPECT_FALSE(ok("{\n  \"a\": 1,\n  \"\xC3\xA9\": x\n}"));
    EXPECT_NE(why.find("line 3, column 8"), std::string::npos) << why;
}
