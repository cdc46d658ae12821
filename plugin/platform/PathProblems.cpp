#include "platform/PathProblems.h"

#include "platform/FileOps.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string reason(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            return "no permission";
        case EROFS:
            return "a read-only file system";
        case ENAMETOOLONG:
            return "the name is too long";
        default:
            return std::strerror(err);
    }
}

// A component longer than the file system takes, or a path longer than the system
// takes; "" when the lengths fit.
std::string lengthProblem(const std::string& path) {
    if (path.size() >= PATH_MAX)
        return "the path is too long (" + std::to_string(path.size()) + " bytes, at most " +
               std::to_string(PATH_MAX - 1) + ")";
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        if (end - begin > NAME_MAX)
            return "the name \"" + path.substr(begin, 40) + "…\" is too long (" +
                   std::to_string(end - begin) + " bytes, at most " + std::to_string(NAME_MAX) +
                   ")";
        begin = end + 1;
    }
    return "";
}

}  // namespace

std::string fileReadProblem(const std::string& path) {
    if (path.empty()) return "no file name given";
    std::string tooLong = lengthProblem(path);
    if (!tooLong.empty()) return tooLong;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int err = errno;
        if (err == ENOENT) {
            std::string folder = folderOf(path);
            struct stat fs {};
            if (folder != "." && ::stat(folder.c_str(), &fs) != 0 && errno == ENOENT)
                return "does not exist (nor does the folder " + folder + ")";
            return "does not exist";
        }
        if (err == ENOTDIR) return "does not exist (a part of the path is a file, not a folder)";
        if (err == EACCES) return "cannot be reached: no permission to open its folder";
        return "cannot be read: " + reason(err);
    }
    if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "is not a plain file";
    if (::access(path.c_str(), R_OK) != 0) return "cannot be read: " + reason(errno);
    return "";
}

std::string fileWriteProblem(const std::string& path) {
    if (path.empty()) return "no file name given";
    std::string tooLong = lengthProblem(path);
    if (!tooLong.empty()) return tooLong;
    if (path.back() == '/') return "names a folder, not a file";
    std::string folder = folderOf(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        int err = errno;
        if (err == ENOENT) return "the folder " + folder + " does not exist";
        if (err == ENOTDIR)
            return "the folder " + folder + " does not exist (a part of it is a file)";
        if (err == EACCES) return "no permission to reach the folder " + folder;
        return "the folder " + folder + " cannot be used: " + reason(err);
    }
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return "is a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        int err = errno;
        if (err == EROFS) return "the folder " + folder + " is on a read-only file system";
        if (err == EACCES || err == EPERM)
            return "no permission to write into the folder " + folder;
        return "the folder " + folder + " cannot be written: " + reason(err);
    }
    return "";
}

std::string realPathOf(const std::string& path) {
    if (path.empty()) return path;
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    std::string folder = folderOf(path);
    if (::realpath(folder.c_str(), buf)) {
        std::string f = buf;
        return (f == "/" ? "" : f) + "/" + nameOf(path);
    }
    return path;
}
