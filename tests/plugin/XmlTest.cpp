#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "settings/MyXML.h"

namespace {
std::string take(char* p) {
    std::string s = p ? p : "<null>";
    std::free(p);
    return s;
}
}  // namespace

TEST(Xml, ElementsAreFoundWithoutRegardToCaseAndWithoutNesting) {
    const char* text =
        "<?xml version=\"1.0\"?><r><SHOW>Show</show><a><b>inner</b></a>"
        "<x>one</x><x>two</x><open>never closed</r>";
    char out[251] = "keep";
    EXPECT_EQ(getXMLString(text, "show", out), 4);
    EXPECT_STREQ(out, "Show");
    EXPECT_EQ(take(getXMLData(text, "a")), "<b>inner</b>");
    EXPECT_EQ(take(getXMLData(text, "x")), "one");
    strcpy(out, "keep");
    EXPECT_EQ(getXMLString(text, "open", out), 0);
    EXPECT_STREQ(out, "keep");
    EXPECT_EQ(getXMLString(text, "", out), 0);
    EXPECT_EQ(getXMLString(nullptr, "x", out), 0);
    EXPECT_EQ(getXMLString(text, std::string(65, 'x').c_str(), out), 0);
    EXPECT_EQ(take(getXMLData(text, "missing")), "<null>");
}

TEST(Xml, NamesWithAttributesPairWithThePlainClosingTag) {
    const char* text = "<window id=\"3\">content</window>";
    EXPECT_EQ(take(getXMLData(text, "window id=\"3\"")), "content");
}

TEST(Xml, StringsAreCutAt250Bytes) {
    std::string text = "<t>" + std::string(300, 'a') + "</t>";
    char out[251];
    EXPECT_EQ(getXMLString(text.c_str(), "t", out), 250);
    EXPECT_EQ(std::string(out).size(), 250u);
    EXPECT_EQ(take(getXMLData(text.c_str(), "t")).size(), 300u);
}

TEST(Xml, ValuesFloatsAndCodes) {
    const char* text =
        "<t>true</t><f>false</f><n>42abc</n><e></e><neg>-7</neg><r>2.5</r>"
        "<cmd>ok  </cmd><short>ok</short>";
    EXPECT_EQ(getXMLValue(text, "t", 9), 1);
    EXPECT_EQ(getXMLValue(text, "f", 9), 0);
    EXPECT_EQ(getXMLValue(text, "n", 9), 42);
    EXPECT_EQ(getXMLValue(text, "e", 9), 9);
    EXPECT_EQ(getXMLValue(text, "missing", 9), 9);
    EXPECT_EQ(getXMLValue(text, "neg", 9), -7);
    char out[256];
    EXPECT_EQ(getXMLString(text, "r", out), 3);
    EXPECT_STREQ(out, "2.5");
    EXPECT_EQ(getXMLString(text, "e", out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(getXMLOSType(text, "cmd"), 0x6F6B2020u);
    EXPECT_EQ(getXMLOSType(text, "short"), 0x6F6B2020u);
    EXPECT_EQ(getXMLOSType(text, "missing"), 0u);
}

TEST(Xml, CountingEnumeratingAndIndexedChildren) {
    const char* text =
        "<list><item><name>A</name><v>1</v></item><item><name>B</name><v>2</v></item>"
        "<item><name>C</name></item></list><item><name>outside</name></item>";
    int count = 0;
    EnumXMLData(
        text, "item",
        [](const char*, ASInt32, void* cd) {
            ++*static_cast<int*>(cd);
            return true;
        },
        &count);
    EXPECT_EQ(count, 4);  // every element of the name, nested or not
    std::vector<std::string> seen;
    EnumXMLData(
        text, "list", "item",
        [](const char* data, ASInt32 len, void* cd) {
            static_cast<std::vector<std::string>*>(cd)->push_back(std::string(data, len));
            return true;
        },
        &seen);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "<item><name>A</name><v>1</v></item>");
    int calls = 0;
    EnumXMLData(
        text, "item",
        [](const char*, ASInt32, void* cd) {
            ++*static_cast<int*>(cd);
            return false;
        },
        &calls);
    EXPECT_EQ(calls, 1);
    char out[251];
    EXPECT_EQ(getXMLStringByIndex(text, "item", 1, "name", out), 1);
    EXPECT_STREQ(out, "B");
    EXPECT_EQ(getXMLString(text, "item", "name", 2, out), 1);
    EXPECT_STREQ(out, "C");
    EXPECT_EQ(getXMLString(text, "item", "name", 9, out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(getXMLValue(text, "item", "v", 1, 0), 2);
    EXPECT_EQ(getXMLValue(text, "item", "v", 2, -1), -1);
    EXPECT_EQ(take(getXMLData(text, "item", "name", "B")), "<item><name>B</name><v>2</v></item>");
    EXPECT_EQ(take(getXMLData(text, "item", "name", "b")), "<null>");
    EXPECT_EQ(take(getXMLData(text, "item", "name", std::string(32, 'x').c_str())), "<null>");
}
