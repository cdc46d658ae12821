#include "platform/FileOps.h"

#include "platform/ProcessId.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char kClaimPrefix[] = ".vexa-claim.";

bool syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Copies from to a new file to (which must not exist), flushed to disk.
bool copyFlushed(const std::string& from, const std::string& to,
                 const CopyTicker* ticker = nullptr) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        ::close(in);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        int e = errno;
        ::close(in);
        errno = e;
        return false;
    }
    bool ok = true;
    char buf[1 << 16];
    std::size_t sinceHook = 0;
    for (;;) {
        if (ticker && ticker->proc && sinceHook >= (8u << 20)) {
            ticker->proc(ticker->data);
            sinceHook = 0;
        }
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        sinceHook += static_cast<std::size_t>(n);
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (ok && ::fsync(out) != 0) ok = false;
    int e = errno;
    if (::close(out) != 0) ok = false;
    ::close(in);
    if (!ok) {
        ::unlink(to.c_str());
        errno = e ? e : EIO;
    }
    return ok;
}

}  // namespace

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool moveFileReplace(const char* path, const char* target, const char* tag,
                     const CopyTicker* ticker) {
    if (!path || !target || !*path || !*target) {
        errno = EINVAL;
        return false;
    }
    if (::rename(path, target) == 0) return true;
    if (errno != EXDEV) return false;

    // Another file system: claim the file under a hidden name first, so that a second
    // process scanning the same folder cannot take it too.
    std::string src(path);
    std::string who = tag && *tag ? std::string(tag) : processTag(selfIdentity());
    std::string claim = folderOf(src) + "/" + kClaimPrefix + who + "." + nameOf(src);
    if (::rename(path, claim.c_str()) != 0) return false;
    std::string dest(target);
    std::string tmp = folderOf(dest) + "/.vexa-move." + who + "." + nameOf(dest);
    ::unlink(tmp.c_str());
    if (!copyFlushed(claim, tmp, ticker) || ::rename(tmp.c_str(), target) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        ::rename(claim.c_str(), path);  // give the file back
        errno = e;
        return false;
    }
    syncFolder(folderOf(dest));
    ::unlink(claim.c_str());
    return true;
}

bool copyFileReplace(const char* path, const char* target) {
    if (!path || !target || !*path || !*target) {
        errno = EINVAL;
        return false;
    }
    std::string dest(target);
    std::string tmp =
        folderOf(dest) + "/.vexa-copy." + std::to_string(::getpid()) + "." + nameOf(dest);
    ::unlink(tmp.c_str());
    if (!copyFlushed(path, tmp) || ::rename(tmp.c_str(), target) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return false;
    }
    syncFolder(folderOf(dest));
    return true;
}

bool writeFileReplace(const char* target, const char* data, std::size_t len, bool durable) {
    if (!target || !*target || (!data && len)) {
        errno = EINVAL;
        return false;
    }
    std::string dest(target);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target, &st) == 0) {
        mode = st.st_mode & 07777;
        if (char* real = ::realpath(target, nullptr)) {
            dest = real;
            std::free(real);
        }
    }
    std::string tmp =
        folderOf(dest) + "/.vexa-write." + std::to_string(::getpid()) + "." + nameOf(dest);
    ::unlink(tmp.c_str());
    int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < len;) {
        ssize_t w = ::write(out, data + done, len - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(w);
    }
    if (ok && ::fchmod(out, mode) != 0) ok = false;
    if (ok && durable && ::fsync(out) != 0) ok = false;
    int e = errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok && ::rename(tmp.c_str(), dest.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        errno = e ? e : EIO;
        return false;
    }
    if (durable) syncFolder(folderOf(dest));
    return true;
}

bool moveFile(const char* src, char* dest, ASInt32 destSize, const char* name) {
    if (!src || !dest || destSize <= 0) return false;
    std::string target(dest);
    if (!target.empty() && target.back() != '/') target += '/';
    target += name && *name ? std::string(name) : nameOf(src);
    if (name && *name) {
        if (static_cast<ASInt32>(target.size()) >= destSize) {
            errno = ENAMETOOLONG;
            return false;
        }
    }
    if (!moveFileReplace(src, target.c_str())) return false;
    if (name && *name)
        std::snprintf(dest, static_cast<std::size_t>(destSize), "%s", target.c_str());
    return true;
}

bool makeDir(const char* path) {
    if (!path || !*path) return false;
    if (folderExists(path)) return true;
    std::string p(path);
    // Parents first; mkdir(2) for each, no shell.
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) return false;
    return folderExists(p);
}

bool appendLocked(const char* path, const char* text, std::size_t len) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path, &named) == 0 &&
            (held.st_dev != named.st_dev || held.st_ino != named.st_ino)) {
            ::close(fd);  // replaced while we waited: write to the new file
            continue;
        }
        std::size_t done = 0;
        while (done < len) {
            ssize_t n = ::write(fd, text + done, len - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return done == len;
    }
    return false;
}

void getFolder(char* path) {
    if (!path) return;
    std::size_t len = std::strlen(path);
    while (len > 1 && path[len - 1] == '/') path[--len] = 0;
    char* slash = std::strrchr(path, '/');
    if (!slash)
        path[0] = 0;
    else if (slash == path)
        path[1] = 0;
    else
        *slash = 0;
}

void getFileName(const char* path, char* name, ASInt32 size, bool withExtension) {
    if (!name || size <= 0) return;
    std::string n = nameOf(path ? path : "");
    if (!withExtension) {
        std::size_t dot = n.rfind('.');
        if (dot != std::string::npos && dot > 0) n.resize(dot);
    }
    std::snprintf(name, static_cast<std::size_t>(size), "%s", n.c_str());
}

bool isClaimName(const char* name, std::string* tag, std::string* originalName) {
    if (!name || std::strncmp(name, kClaimPrefix, sizeof kClaimPrefix - 1) != 0) return false;
    const char* p = name + sizeof kClaimPrefix - 1;
    const char* dot = std::strchr(p, '.');
    if (!dot || dot == p || !dot[1]) return false;
    if (tag) tag->assign(p, dot);
    if (originalName) *originalName = dot + 1;
    return true;
}

bool isOpenForWriting(const char* path) {
    struct stat target {};
    if (::stat(path, &target) != 0) return false;

    // A read lease is granted only while no process has the file open for writing.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        int rc = ::fcntl(fd, F_SETLEASE, F_RDLCK);
        int e = errno;
        if (rc == 0) ::fcntl(fd, F_SETLEASE, F_UNLCK);
        ::close(fd);
        if (rc == 0) return false;
        if (e == EAGAIN || e == EBUSY) return true;
        // Not our file, or a file system without leases: look through /proc.
    }

    DIR* procs = ::opendir("/proc");
    if (!procs) return false;
    bool busy = false;
    std::string self = std::to_string(::getpid());
    while (!busy) {
        dirent* p = ::readdir(procs);
        if (!p) break;
        if (p->d_name[0] < '0' || p->d_name[0] > '9' || self == p->d_name) continue;
        std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            struct stat st {};
            std::string link = fdDir + "/" + f->d_name;
            if (::stat(link.c_str(), &st) != 0 || st.st_dev != target.st_dev ||
                st.st_ino != target.st_ino)
                continue;
            // The open mode is in the descriptor's flags.
            std::string info = std::string("/proc/") + p->d_name + "/fdinfo/" + f->d_name;
            FILE* in = std::fopen(info.c_str(), "r");
            if (!in) continue;
            char line[128];
            while (std::fgets(line, sizeof line, in)) {
                unsigned long flags = 0;
                if (std::sscanf(line, "flags: %lo", &flags) == 1) {
                    if ((flags & O_ACCMODE) != O_RDONLY) busy = true;
                    break;
                }
            }
            std::fclose(in);
            if (busy) break;
        }
        ::closedir(fds);
    }
    ::closedir(procs);
    return busy;
}

bool isFileBusy(const char* path, ASInt32 delaySeconds, FileSeen* previous) {
    struct stat st {};
    if (::stat(path, &st) != 0) return false;  // gone: nothing to wait for
    int64_t mod = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    int64_t age = static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec - mod;
    int64_t delayNs = static_cast<int64_t>(delaySeconds > 0 ? delaySeconds : 0) * 1000000000LL;
    if (!previous) return (delayNs > 0 && age < delayNs) || isOpenForWriting(path);
    timespec mono{};
    ::clock_gettime(CLOCK_MONOTONIC, &mono);
    int64_t monoNs = static_cast<int64_t>(mono.tv_sec) * 1000000000LL + mono.tv_nsec;
    bool changed = false;
    if (previous->size < 0) {
        // First look: the file's own time says how long it has been as it is (a time in
        // the future says nothing: it counts from now).
        const int64_t kDay = 86400LL * 1000000000LL;  // older counts alike
        previous->since = monoNs - (age > kDay ? kDay : age > 0 ? age : 0);
    } else if (previous->size != st.st_size || previous->modDate != mod) {
        // Seen changing: from now on only what the looks see counts, whatever its time.
        previous->since = monoNs;
        changed = true;
    }
    previous->size = st.st_size;
    previous->modDate = mod;
    if (changed || monoNs - previous->since < delayNs) return true;
    return isOpenForWriting(path);
}

// System errors.

bool OsError::missing() const {
    return code == ENOENT;
}

bool OsError::barsFolder() const {
    return code == EACCES || code == EPERM || code == EROFS || code == ENOSPC || code == EDQUOT;
}

std::string OsError::text() const {
    return std::strerror(code);
}

OsError lastOsError() {
    return OsError{errno};
}

std::string signalName(int signal) {
    const char* name = strsignal(signal);
    return name ? name : "unknown signal";
}

// Folders and files as the hot folder looks at them.

bool listFolder(const std::string& folder, std::vector<std::string>& names) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    return true;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int64_t plainFileSize(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t fileChangedAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return std::max<int64_t>(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
}

std::string fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::string();
    return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void touchFile(const std::string& path) {
    ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
}

bool deleteUnlessWriteLocked(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool inUse = ::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES);
    bool gone = !inUse && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return gone;
}

bool appendToFile(const char* path, const std::string& text) {
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ssize_t w = ::write(fd, text.data(), text.size());
    ::close(fd);
    return w == static_cast<ssize_t>(text.size());
}

std::string pathFitting(const std::string& path, std::size_t size) {
    if (path.size() < size) return path;
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return path;
    int fd = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return path;
    return "/proc/self/fd/" + std::to_string(fd) + path.substr(slash);
}

FileIdentity fileIdentity(const char* path) {
    FileIdentity id;
    struct stat st {};
    if (!path || ::stat(path, &st) != 0) return id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.changed = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.statusChanged = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.known = true;
    return id;
}
