// Saving documents with QPDFWriter: a temporary file in the target folder, renamed
// over the target once it is complete. Every write, flush and close of that file is
// checked (stdio drops a buffer it failed to write and reports it only through the
// stream's error flag), and the file must hold as many bytes as were written before it
// may replace the target: a full disk fails the save and leaves the old file as it was.
#include <qpdf/QPDFWriter.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

namespace fs = std::filesystem;

// The output's stdio buffer: QPDF hands stream data on in pieces of a few KB, and with
// the default buffer each piece was a system call of its own. Large stream data carried
// from a source file does not pass through it (it is copied within the kernel), so a
// larger one would only add to the memory a job touches.
constexpr std::size_t kWriteBuffer = std::size_t{64} * 1024;

struct TempFile {
    std::string path;
    int fd = -1;
    FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;  // the file's stdio buffer, outlives it
    bool keep = false;
    // Makes a new file from the pattern (".NAME.XXXXXX") and opens it for writing. The
    // file is write-locked (an open-file-description lock) while it is being written,
    // so that a cleaner can tell the leftover of a dead writer from a file in use.
    void create(const std::string& pattern, mode_t mode) {
        path = pattern;
        fd = ::mkstemp(path.data());
        if (fd < 0) {
            path.clear();
            raise(fileErrWrite);
        }
        ::fchmod(fd, mode);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        ::fcntl(fd, F_OFD_SETLK, &lock);  // best effort: not every file system locks
        file = ::fdopen(fd, "wb");
        if (!file) raise(fileErrWrite);
        buffer.reset(new char[kWriteBuffer]);  // not cleared: pages used as written
        std::setvbuf(file, buffer.get(), _IOFBF, kWriteBuffer);
    }
    // Flushes, syncs and closes the file; raises when any byte did not reach it.
    void complete() {
        bool ok = std::fflush(file) == 0 && !std::ferror(file);
        off_t written = ok ? ::ftello(file) : -1;
        struct stat st {};
        ok = ok && written >= 0 && ::fsync(fd) == 0 && ::fstat(fd, &st) == 0 &&
             st.st_size == written;
        int rc = std::fclose(file);
        file = nullptr;
        fd = -1;
        if (!ok || rc != 0) raise(fileErrWrite);
    }
    ~TempFile() {
        if (file)
            std::fclose(file);
        else if (fd >= 0)
            ::close(fd);
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }
};

mode_t newFileMode(const std::string& target) {
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool validVersion(ASInt32 major, ASInt32 minor) {
    if (major == 0 && minor == 0) return true;
    if (major == 1) return minor >= 0 && minor <= 7;
    return major == 2 && minor == 0;
}

// The file a save writes: the new path, or else the document's own, made absolute; its
// folder must exist and it must not be a folder itself.
fs::path saveTarget(const _t_PDDoc* d, const PDDocSaveParamsRec& p) {
    std::string target = p.newPath && *p.newPath ? std::string(p.newPath) : d->path;
    if (target.empty()) raise(pdErrBadSaveParams);
    std::error_code ec;
    fs::path abs = fs::absolute(target, ec);
    if (ec) raise(fileErrWrite);
    if (!fs::is_directory(abs.parent_path(), ec)) raise(fileErrWrite);
    if (fs::is_directory(abs, ec)) raise(fileErrWrite);
    return abs;
}

// After a save that is no copy, the document is the file written: its path, its
// version as written, and nothing left to save.
void becomeSavedFile(_t_PDDoc* d, const fs::path& abs, const std::string& written) {
    std::error_code ec;
    d->path = fs::weakly_canonical(abs, ec).string();
    if (ec) d->path = abs.string();
    d->flags &= ~(PDDocNeedsSave | PDDocRequiresFullSave);
    ASInt32 a = d->major, b = d->minor;
    if (std::sscanf(written.c_str(), "%d.%d", &a, &b) == 2) {
        d->major = a;
        d->minor = b;
    }
}

}  // namespace

void pdDocSave(PDDoc doc, ASUns32 saveFlags, const char* newPath) {
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = saveFlags;
    p.newPath = newPath;
    pdDocSaveWithParams(doc, &p);
}

void pdDocSaveWithParams(PDDoc doc, PDDocSaveParams params) {
    checkDoc(doc);
    if (!params || params->size < offsetof(PDDocSaveParamsRec, newPath) + sizeof(const char*))
        raise(pdErrBadSaveParams);
    // The caller's record may be older and shorter: take what it has.
    PDDocSaveParamsRec p{};
    std::memcpy(&p, params, std::min<std::size_t>(params->size, sizeof p));
    p.size = sizeof p;

    AVNotificationData n{};
    n.selector = NSEL_PDDocWillSaveEx;
    n.pdDoc = doc;
    n.saveParams = &p;
    broadcastNotification(n);

    _t_PDDoc* d = checkDoc(doc);  // a handler may have closed it
    if (!validVersion(p.major, p.minor)) raise(pdErrBadSaveParams);
    fs::path abs = saveTarget(d, p);

    TempFile tmp;
    std::string pattern =
        (abs.parent_path() / ("." + abs.filename().string() + ".XXXXXX")).string();
    mode_t mode = newFileMode(abs.string());
    tmp.create(pattern, mode);

    ASInt32 major = p.major ? p.major : d->major;
    ASInt32 minor = p.major ? p.minor : d->minor;
    bool uncompressed = (p.saveFlags2 & PDSaveUncompressed) != 0;
    bool objectStreams = !uncompressed && (major > 1 || minor >= 5 ||
                                           ((p.saveFlags2 & PDSaveCompressed) && !p.major));
    std::string written;
    // QPDFWriter keeps the file name it is given: it must outlive the writer.
    const std::string outName = abs.string();
    QPDF& q = *d->cos->qpdf;
    bool linearize = (p.saveFlags & PDSaveLinearized) != 0;
    auto write = [&](QPDF& from, FILE* to, bool lin) {
        QPDFWriter w(from);
        w.setOutputFile(outName.c_str(), to, false);
        // Streams are carried over as they are stored; only streams without a filter
        // are compressed.
        w.setDecodeLevel(qpdf_dl_none);
        w.setCompressStreams(!uncompressed);
        w.setObjectStreamMode(objectStreams ? qpdf_o_generate : qpdf_o_disable);
        if (objectStreams && major == 1 && minor < 5) w.setMinimumPDFVersion("1.5");
        std::string version = std::to_string(major) + "." + std::to_string(minor);
        if (p.major)
            w.forcePDFVersion(version);
        else
            w.setMinimumPDFVersion(version);
        if (lin) w.setLinearization(true);
        w.write();
        written = w.getFinalVersion();
    };
    // A document written ahead: its finished pages are in the writer's spool and no
    // longer in memory; the writer completes the file. A save it cannot make that way
    // (linearized, uncompressed, or a version before object streams when it used them)
    // rewrites that file through a fresh reader.
    StreamWriter* ahead = d->writer && d->writer->anyWritten() ? d->writer.get() : nullptr;
    bool rewrite = ahead && (linearize || uncompressed ||
                             (ahead->objectStreams() && p.major == 1 && p.minor < 5));
    guarded(pdErrSaveFailed, [&] {
        if (ahead && !rewrite) {
            if (ahead->objectStreams() && major == 1 && minor < 5) minor = 5;
            ahead->finish(tmp.file, major, minor);
            written = std::to_string(major) + "." + std::to_string(minor);
            return;
        }
        if (!rewrite && (!linearize || !d->linearizedBefore)) {
            write(q, tmp.file, linearize);
            return;
        }
        // QPDF cannot linearize one document a second time with object streams: write
        // it plainly, then linearize that file from a fresh reader.
        TempFile plain;
        plain.create(pattern, mode);
        if (ahead) {
            int m = ahead->objectStreams() && major == 1 && minor < 5 ? 5 : minor;
            ahead->finish(plain.file, major, m);
        } else {
            write(q, plain.file, false);
        }
        // A short plain file would be read back "repaired": a valid-looking result
        // without its pages.
        plain.complete();
        QPDF fresh;
        fresh.setSuppressWarnings(true);
        fresh.processFile(plain.path.c_str());
        write(fresh, tmp.file, linearize);
    });
    if (linearize) d->linearizedBefore = true;
    forwardWarnings(q);
    tmp.complete();
    if (::rename(tmp.path.c_str(), abs.c_str()) != 0) raise(fileErrWrite);
    tmp.keep = true;

    if (!(p.saveFlags & PDSaveCopy)) becomeSavedFile(d, abs, written);
}

}  // namespace vexa::host::doc
