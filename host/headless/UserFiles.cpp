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

// The file the variable `given` names; else `name` in the Orvanta folder of the user's
// folder that the variable `folderVar` names (`fallback` below the home folder when unset).
std::string userFile(const char* given, const char* folderVar, const char* fallback,
                     const char* name) {
    const char* file = std::getenv(given);
    if (file && *file) return file;
    const char* dir = std::getenv(folderVar);
    std::string folder = dir && *dir ? dir : home() + fallback;
    return folder + "/Orvanta/" + name;
}

}  // namespace

std::string preferencesPath() {
    return userFile("VEXA_CONFIG", "XDG_CONFIG_HOME", "/.config", "Vexa.ini");
}

std::string logPath() {
    return userFile("VEXA_LOG", "XDG_DOCUMENTS_DIR", "/Documents", "Vexa.txt");
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
