// Helpers shared by the test programs.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vexa::test {

// A fresh temporary folder, removed when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Points HOME and the XDG folders at a fresh temporary folder for the object's life,
// so tests never touch the real home.
class ScopedHome {
  public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;
    const std::filesystem::path& path() const { return dir_.path(); }

  private:
    TempDir dir_;
    struct Saved {
        std::string name;
        bool had;
        std::string value;
    };
    std::vector<Saved> saved_;
};

// A PDF file from its objects: object i + 1 is objects[i], 1 is the catalog, and
// info (when not 0) the number of the document information dictionary.
std::string pdfFile(const std::vector<std::string>& objects, int info = 0);

// A template of two 842 x 595 sheets with one frame each, 40..400 x 40..555 (box 1 on
// the first sheet, box 3 on the second), stamped by Vexa so that its windows take drops.
std::string templateFile();
// Two pages of 200 x 300 with the TrimBox 10..190 x 10..290: a grey ground, a black bar
// and the page number ("P1", "P2").
std::string sourceFile();

// The rows of the corpus' manifest.csv, each by column name (fields in double quotes
// may hold commas and doubled quotes); empty without the corpus.
std::vector<std::map<std::string, std::string>> corpusManifest();

std::string readFile(const std::string& path);
// The text as a name of a parameterised test: every character but letters and digits
// becomes "_".
std::string testNameOf(std::string text);
void writeFile(const std::string& path, const std::string& data);

// Runs a shell command; returns its exit status and fills output with stdout+stderr.
int runCommand(const std::string& command, std::string* output = nullptr);

}  // namespace vexa::test
