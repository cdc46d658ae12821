// The fixture of the "vexa impose" tests: a home folder of its own, the example
// brochure and booklet template, and readers of the sheets' page order.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace vexa::test {

inline const std::string kVexa = std::string(VEXA_BIN_DIR) + "/vexa";
inline const std::string kRoot = std::string(VEXA_TEST_DATA) + "/../..";

using Sheet = std::pair<int, int>;  // page numbers in the left and right frame

struct ImposeCli : ::testing::Test {
    vexa::test::ScopedHome home;
    vexa::test::TempDir dir;
    std::string brochure, tmpl;

    void SetUp() override {
        ASSERT_EQ(runCommand("python3 " + kRoot + "/tools/make_examples.py " + dir.path().string()),
                  0);
        brochure = dir.file("brochure.pdf");
        tmpl = dir.file("booklet-2up.pdf");
    }

    // Example data written by the generator's functions, e.g. "brochure(16, {1: 90})".
    void generate(const std::string& file, const std::string& call) {
        ASSERT_EQ(runCommand("python3 -c \"import sys; sys.path.insert(0, '" + kRoot +
                             "/tools'); import make_examples as m; open('" + dir.file(file) +
                             "', 'wb').write(m." + call + ")\""),
                  0);
    }

    std::string ini() const {
        return vexa::test::readFile((home.path() / "config" / "Orvanta" / "Vexa.ini").string());
    }

    // Puts the line first in section [General] of the preferences file (false without
    // that section), in the file's own line ends; a missing file is made.
    bool setGeneral(const std::string& line) const {
        std::string text = ini();
        if (text.empty()) {
            std::filesystem::create_directories(home.path() / "config" / "Orvanta");
            text = "[General]\n";
        }
        std::size_t at = text.find("[General]");
        if (at == std::string::npos) return false;
        std::string nl = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        text.insert(at + 9, nl + line);
        vexa::test::writeFile((home.path() / "config" / "Orvanta" / "Vexa.ini").string(), text);
        return true;
    }

    // A crop of 840 x 1190 pixels from (x, y) of a page rendered at 144 dpi, as PPM.
    std::string crop(const std::string& pdf, int page, int x, int y,
                     const std::string& name) const {
        std::string base = dir.file(name);
        EXPECT_EQ(runCommand("pdftoppm -r 144 -singlefile -f " + std::to_string(page) + " -l " +
                             std::to_string(page) + " -x " + std::to_string(x) + " -y " +
                             std::to_string(y) + " -W 840 -H 1190 " + pdf + " " + base),
                  0);
        return vexa::test::readFile(base + ".ppm");
    }

    int impose(const std::string& args, std::string* out = nullptr) {
        return runCommand(kVexa + " impose " + brochure + " -t " + tmpl + " " + args + " 2>&1",
                          out);
    }

    // "Page N" words of each sheet, left frame first (the spine is at x = 453.5).
    static std::vector<Sheet> order(const std::string& pdf) {
        std::string xml;
        EXPECT_EQ(runCommand("pdftotext -bbox " + pdf + " -", &xml), 0);
        std::vector<Sheet> sheets;
        std::regex page("<page "), word("<word xMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
        std::size_t pos = 0;
        std::vector<std::string> chunks;
        while ((pos = xml.find("<page ", pos)) != std::string::npos) {
            std::size_t end = xml.find("</page>", pos);
            chunks.push_back(xml.substr(pos, end - pos));
            pos = end;
        }
        for (const std::string& c : chunks) {
            Sheet s{0, 0};
            std::string prev;
            for (std::sregex_iterator it(c.begin(), c.end(), word), e; it != e; ++it) {
                std::string text = (*it)[2];
                double x = std::stod((*it)[1]);
                if (prev == "Page" && !text.empty() &&
                    std::isdigit(static_cast<unsigned char>(text[0])))
                    (x < 453.5 ? s.first : s.second) = std::stoi(text);
                prev = text;
            }
            sheets.push_back(s);
        }
        return sheets;
    }
};

}  // namespace vexa::test
