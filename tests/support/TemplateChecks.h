// Checks shared by the template tests: marks and slug line clear of the pages' bleed,
// of the gripper margin and of each other; the words of imposed sheets.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "headless/TemplateCommand.h"

namespace vexa::test {

using host::TemplateSheet;
using host::layout::Rect;

inline bool overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.bottom < b.top && b.bottom < a.top;
}
inline bool inside(const Rect& a, const Rect& outer) {
    return a.left >= outer.left && a.right <= outer.right && a.bottom >= outer.bottom &&
           a.top <= outer.top;
}
inline std::string str(const Rect& r) {
    return std::to_string(r.left / 65536.0) + " " + std::to_string(r.bottom / 65536.0) + " " +
           std::to_string(r.right / 65536.0) + " " + std::to_string(r.top / 65536.0);
}

// What every template must hold: marks outside every frame's trim and bleed and not
// over each other (the same mark drawn twice excepted), a moving mark's whole way up
// included; the slug line on the sheet, in the printable area, outside every bleed and
// clear of every mark.
inline void expectClearSheet(const TemplateSheet& s, const Rect& printable, bool slug) {
    std::vector<Rect> pages, marks;
    const Rect* slugRect = nullptr;
    for (const auto& f : s.frames) {
        if (f.box >= 1) pages.push_back(f.rect);
        if (f.box == -2 || f.box == -4 || f.box == -7) marks.push_back(f.rect);
        if (f.box == -5) {
            EXPECT_EQ(f.rotation, 0);  // steps up
            EXPECT_GT(f.moveLimit, f.rect.top);
            marks.push_back({f.rect.left, f.rect.bottom, f.rect.right, f.moveLimit});
        }
        if (f.box == -1) slugRect = &f.rect;
    }
    ASSERT_FALSE(pages.empty());
    EXPECT_FALSE(marks.empty());
    for (const Rect& m : marks) {
        for (const Rect& p : pages) EXPECT_FALSE(overlaps(m, p)) << "mark " << str(m);
        EXPECT_TRUE(inside(m, printable)) << "mark in the gripper margin: " << str(m);
        for (const Rect& o : marks) {
            bool same =
                o.left == m.left && o.right == m.right && o.bottom == m.bottom && o.top == m.top;
            if (&o != &m && !same) {
                EXPECT_FALSE(overlaps(m, o)) << str(m) << " / " << str(o);
            }
        }
    }
    if (!slug) return;
    ASSERT_NE(slugRect, nullptr);
    EXPECT_TRUE(inside(*slugRect, printable)) << str(*slugRect);
    // The slug line grows to the length of its text: the whole width of the sheet from
    // its left edge must stay clear.
    Rect band{slugRect->left, slugRect->bottom, s.width, slugRect->top};
    for (const Rect& p : pages) EXPECT_FALSE(overlaps(band, p)) << "slug over a page";
    for (const Rect& m : marks) EXPECT_FALSE(overlaps(band, m)) << "slug over " << str(m);
}

struct Word {
    std::string text;
    double x0, y0, x1, y1;  // from the sheet's top left corner
};

// The words of each sheet, as pdftotext finds them.
inline std::vector<std::vector<Word>> sheetWords(const std::string& pdf) {
    std::string xml;
    EXPECT_EQ(vexa::test::runCommand("pdftotext -bbox '" + pdf + "' -", &xml), 0);
    std::vector<std::vector<Word>> sheets;
    std::regex word(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">"
        "([^<]*)</word>");
    for (std::size_t pos = 0; (pos = xml.find("<page ", pos)) != std::string::npos;) {
        std::size_t end = xml.find("</page>", pos);
        std::string chunk = xml.substr(pos, end - pos);
        std::vector<Word> words;
        for (std::sregex_iterator it(chunk.begin(), chunk.end(), word), e; it != e; ++it)
            words.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]),
                             std::stod((*it)[3]), std::stod((*it)[4])});
        sheets.push_back(words);
        pos = end;
    }
    return sheets;
}

}  // namespace vexa::test
