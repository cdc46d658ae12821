#include "headless/UserFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vexa::host {
namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return h && *h ? h : "/tmp";
}

}  // namespace

std::string preferencesPath() {
    const char* file = std::getenv("VEXA_CONFIG");
    if (file && *file) return file;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string folder = xdg && *xdg ? xdg : home() + "/.config";
    return folder + "/Orvanta/Vexa.ini";
}

std::string logPath() {
    const char* file = std::getenv("VEXA_LOG");
    if (file && *file) return file;
    const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
    std::string folder = docs && *docs ? docs : home() + "/Documents";
    return folder + "/Orvanta/Vexa.txt";
}

std::string logFileProblem(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(file), ec);
    if (ec) return ec.message();
    if (fs::is_directory(path, ec)) return "it is a folder";
    if (fs::exists(path, ec)) {
        if (::access(path.c_str(), W_OK) != 0) return std::strerror(errno);
        return "";
    }
    for (fs::path folder = path.parent_path();; folder = folder.parent_path()) {
        if (fs::exists(folder, ec)) {
            if (!fs::is_directory(folder, ec)) return folder.string() + " is not a folder";
            if (::access(folder.c_str(), W_OK) != 0)
                return folder.string() + ": " + std::strerror(errno);
            return "";
        }
        if (folder == folder.parent_path()) return "no folder of its path exists";
    }
}

std::string preferenceValue(const std::string& section, const std::string& key,
                            const std::string& def) {
    std::ifstream file(preferencesPath(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    // Any line end: "\n", "\r\n" or "\r".
    std::string all = text.str();
    for (char& c : all)
        if (c == '\r') c = '\n';
    std::istringstream in(all);
    std::string line, value = def;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[" + section + "]";
            continue;
        }
        // The first entry of a key counts, as the plug-in reads it.
        if (inSection && line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1);
    }
    return value;
}

}  // namespace vexa::host
