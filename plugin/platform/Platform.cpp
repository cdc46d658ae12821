#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

char gPIPath[1024] = "";
char gModuleName[64] = "Vexa";

void setPIPath(const char* path) {
    std::snprintf(gPIPath, sizeof gPIPath, "%s", path ? path : "");
    std::string stem = fs::path(gPIPath).stem().string();
    if (!stem.empty()) std::snprintf(gModuleName, sizeof gModuleName, "%s", stem.c_str());
}

static std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

static std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string getConfigFolder() {
    return envOr("XDG_CONFIG_HOME", homeFolder() + "/.config");
}

std::string getDocumentsFolder() {
    return envOr("XDG_DOCUMENTS_DIR", homeFolder() + "/Documents");
}

std::string getTempFolder() {
    return envOr("TMPDIR", "/tmp");
}

std::string getResourceFolder() {
    const char* over = std::getenv("VEXA_RESOURCES");
    if (over && *over) return over;
    fs::path p(gPIPath);
    return (p.parent_path() / gModuleName).string();
}

bool ensureFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool folderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

int64_t getFileSize(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

int64_t getFileModDate(const std::string& path) {
    std::error_code ec;
    auto t = fs::last_write_time(path, ec);
    if (ec) return 0;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

bool moveFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) return false;
    fs::remove(from, ec);
    return true;
}

bool deleteFile(const std::string& path) {
    std::error_code ec;
    return fs::remove(path, ec);
}

char* readWholeFile(const std::string& path, ASInt32* size) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    std::string data;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        data.append(chunk, n);
        if (data.size() > (64u << 20)) {  // resources are small
            std::fclose(f);
            return nullptr;
        }
    }
    std::fclose(f);
    char* buf = static_cast<char*>(std::calloc(data.size() + 2, 1));
    if (!buf) return nullptr;
    // calloc'd two bytes longer: the text ends in NUL bytes
    std::memcpy(buf, data.data(), data.size());  // NOLINT(bugprone-not-null-terminated-result)
    if (size) *size = static_cast<ASInt32>(data.size());
    return buf;
}

std::string replaceExtension(const std::string& path, const char* ext) {
    fs::path p(path);
    p.replace_extension(ext);
    return p.string();
}

std::string getFileName(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string getParentFolder(const std::string& path) {
    return fs::path(path).parent_path().string();
}
