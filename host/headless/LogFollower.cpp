#include "headless/LogFollower.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace vexa::host {
namespace {

bool readAt(int fd, long offset, std::size_t n, std::string* out) {
    out->resize(n);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd, out->data() + done, n - done, offset + static_cast<long>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    out->resize(done);
    return done == n;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

const char* priority(const std::string& line) {
    if (line.find("####") != std::string::npos) return "<3>";
    std::size_t start = line.find_first_not_of('\t');
    if (start != std::string::npos && line.compare(start, 8, "warning:") == 0) return "<4>";
    return "<6>";
}

}  // namespace

LogFollower::LogFollower(std::string path, FILE* out, bool journal, long limit, long keep)
    : path_(std::move(path)), out_(out), journal_(journal), limit_(limit), keep_(keep) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        offset_ = st.st_size;
        dev_ = st.st_dev;
        ino_ = st.st_ino;
    }
}

void LogFollower::emit(const char* data, std::size_t n) {
    if (!journal_) {
        std::fwrite(data, 1, n, out_);
        return;
    }
    partial_.append(data, n);
    std::size_t start = 0, end;
    while ((end = partial_.find('\n', start)) != std::string::npos) {
        std::string line = partial_.substr(start, end - start);
        if (!line.empty()) std::fprintf(out_, "%s%s\n", priority(line), line.c_str());
        start = end + 1;
    }
    partial_.erase(0, start);
}

void LogFollower::finish() {
    if (journal_ && !partial_.empty()) {
        partial_ += '\n';
        emit("", 0);
    }
    std::fflush(out_);
}

void LogFollower::print() {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    // A log started anew (deleted, or replaced by another program): from its start.
    if (st.st_dev != dev_ || st.st_ino != ino_ || st.st_size < offset_) offset_ = 0;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    if (st.st_size > offset_) {
        std::string chunk;
        readAt(fd, offset_, static_cast<std::size_t>(st.st_size - offset_), &chunk);
        emit(chunk.data(), chunk.size());
        offset_ += static_cast<long>(chunk.size());
        std::fflush(out_);
    }
    if (st.st_size >= limit_) trim(fd, st.st_size);
    ::close(fd);  // the lock goes with it
}

// Keeps the newest whole lines of at most keep_ bytes: written beside the log, then
// renamed over it, so that the log is whole at every moment.
void LogFollower::trim(int fd, long size) {
    long from = size > keep_ ? size - keep_ : 0;
    std::string tail;
    if (!readAt(fd, from, static_cast<std::size_t>(size - from), &tail)) return;
    if (from > 0) {
        std::size_t nl = tail.find('\n');
        tail.erase(0, nl == std::string::npos ? tail.size() : nl + 1);
    }
    struct stat st {};
    ::fstat(fd, &st);
    std::string temp = path_ + ".trim";
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) return;
    bool ok = writeAll(out, tail);
    ok = ::close(out) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return;
    }
    struct stat now {};
    if (::stat(path_.c_str(), &now) == 0) {
        dev_ = now.st_dev;
        ino_ = now.st_ino;
    }
    offset_ = static_cast<long>(tail.size());
}

bool stdoutIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream || !*stream) return false;
    unsigned long long dev = 0, ino = 0;
    if (std::sscanf(stream, "%llu:%llu", &dev, &ino) != 2) return false;
    struct stat st {};
    return ::fstat(STDOUT_FILENO, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

}  // namespace vexa::host
