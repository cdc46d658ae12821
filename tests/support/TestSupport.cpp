#include "TestSupport.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace vexa::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedHome::ScopedHome() {
    const char* vars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR", "XDG_DATA_HOME"};
    for (const char* v : vars) {
        const char* old = std::getenv(v);
        saved_.push_back({v, old != nullptr, old ? old : ""});
    }
    std::filesystem::create_directories(dir_.path() / "config");
    std::filesystem::create_directories(dir_.path() / "Documents");
    setenv("HOME", dir_.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (dir_.path() / "Documents").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
}

ScopedHome::~ScopedHome() {
    for (const auto& s : saved_) {
        if (s.had)
            setenv(s.name.c_str(), s.value.c_str(), 1);
        else
            unsetenv(s.name.c_str());
    }
}

std::string pdfFile(const std::vector<std::string>& objects, int info) {
    std::string out = "%PDF-1.6\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R";
    if (info) out += " /Info " + std::to_string(info) + " 0 R";
    out += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

namespace {

std::string stream(const std::string& data) {
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

}  // namespace

// A template of two 842 x 595 sheets with one frame each (box 1, then box 3), stamped
// by Vexa so that its windows take drops.
std::string templateFile() {
    std::vector<std::string> o = {
        "<< /Type /Catalog /Pages 2 0 R /Vexa << /PaperRect [0 0 842 595] /Frames 1 >> >>",
        "<< /Type /Pages /Count 2 /Kids [4 0 R 7 0 R] >>", "<< /Creator (Vexa 6.17) >>"};
    for (int box : {1, 3}) {
        int n = static_cast<int>(o.size()) + 1;
        o.push_back(
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 595] /Resources"
            " << /Properties << /F0 " +
            std::to_string(n + 2) + " 0 R >> >> /Contents " + std::to_string(n + 1) + " 0 R >>");
        o.push_back(stream("/MC /F0 BDC\nEMC\n"));
        o.push_back("<< /boxnum " + std::to_string(box) +
                    " /left 40 /top 555 /right 400 /bottom 40 /rotation 0 >>");
    }
    return pdfFile(o, 3);
}

// Two pages of 200 x 300 with the TrimBox 10..190 x 10..290: a grey ground, a black
// bar and the page number.
std::string sourceFile() {
    std::vector<std::string> o = {"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Count 2 /Kids [4 0 R 6 0 R] >>",
                                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    for (int p = 1; p <= 2; ++p) {
        int n = static_cast<int>(o.size()) + 1;
        o.push_back(
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300]"
            " /TrimBox [10 10 190 290] /Resources << /Font << /F1 3 0 R >> >>"
            " /Contents " +
            std::to_string(n + 1) + " 0 R >>");
        o.push_back(
            stream("0.8 g 0 0 200 300 re f\n0 g 30 240 120 20 re f\n"
                   "BT /F1 36 Tf 40 120 Td (P" +
                   std::to_string(p) + ") Tj ET\n0 0 1 rg 10 10 50 30 re f\n"));
    }
    return pdfFile(o);
}

namespace {

std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                out.back() += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                out.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

}  // namespace

std::vector<std::map<std::string, std::string>> corpusManifest() {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream in(readFile(std::string(VEXA_CORPUS_DIR) + "/manifest.csv"));
    std::string line;
    std::vector<std::string> header;
    while (std::getline(in, line)) {
        auto f = csvFields(line);
        if (header.empty()) {
            header = f;
            continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < header.size() && i < f.size(); ++i) row[header[i]] = f[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string testNameOf(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

int runCommand(const std::string& command, std::string* output) {
    std::string cmd = command + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf;
    std::string out;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vexa::test
