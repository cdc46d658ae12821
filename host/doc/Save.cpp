// Saving documents with QPDFWriter: a temporary file in the target folder, renamed
// over the target once it is complete.
#include <qpdf/QPDFWriter.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "doc/DocState.h"

namespace vexa::host::doc {
namespace {

namespace fs = std::filesystem;

struct TempFile {
    std::string path;
    int fd = -1;
    FILE* file = nullptr;
    bool keep = false;
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
    std::string target = p.newPath && *p.newPath ? std::string(p.newPath) : d->path;
    if (target.empty()) raise(pdErrBadSaveParams);
    std::error_code ec;
    fs::path abs = fs::absolute(target, ec);
    if (ec) raise(fileErrWrite);
    fs::path dir = abs.parent_path();
    if (!fs::is_directory(dir, ec)) raise(fileErrWrite);
    if (fs::is_directory(abs, ec)) raise(fileErrWrite);

    TempFile tmp;
    std::string pattern = (dir / ("." + abs.filename().string() + ".XXXXXX")).string();
    tmp.path = pattern;
    tmp.fd = ::mkstemp(tmp.path.data());
    if (tmp.fd < 0) {
        tmp.path.clear();
        raise(fileErrWrite);
    }
    ::fchmod(tmp.fd, newFileMode(abs.string()));
    tmp.file = ::fdopen(tmp.fd, "wb");
    if (!tmp.file) raise(fileErrWrite);

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
        plain.path = pattern;
        plain.fd = ::mkstemp(plain.path.data());
        if (plain.fd < 0) {
            plain.path.clear();
            raise(fileErrWrite);
        }
        plain.file = ::fdopen(plain.fd, "wb");
        if (!plain.file) raise(fileErrWrite);
        if (ahead) {
            int m = ahead->objectStreams() && major == 1 && minor < 5 ? 5 : minor;
            ahead->finish(plain.file, major, m);
        } else {
            write(q, plain.file, false);
        }
        if (std::fclose(plain.file) != 0) {
            plain.file = nullptr;
            raise(fileErrWrite);
        }
        plain.file = nullptr;
        plain.fd = -1;
        QPDF fresh;
        fresh.setSuppressWarnings(true);
        fresh.processFile(plain.path.c_str());
        write(fresh, tmp.file, linearize);
    });
    if (linearize) d->linearizedBefore = true;
    forwardWarnings(q);
    if (std::fflush(tmp.file) != 0 || ::fsync(::fileno(tmp.file)) != 0) raise(fileErrWrite);
    int rc = std::fclose(tmp.file);
    tmp.file = nullptr;
    tmp.fd = -1;
    if (rc != 0) raise(fileErrWrite);
    if (::rename(tmp.path.c_str(), abs.c_str()) != 0) raise(fileErrWrite);
    tmp.keep = true;

    if (!(p.saveFlags & PDSaveCopy)) {
        d->path = fs::weakly_canonical(abs, ec).string();
        if (ec) d->path = abs.string();
        d->flags &= ~(PDDocNeedsSave | PDDocRequiresFullSave);
        ASInt32 a = d->major, b = d->minor;
        if (std::sscanf(written.c_str(), "%d.%d", &a, &b) == 2) {
            d->major = a;
            d->minor = b;
        }
    }
}

}  // namespace vexa::host::doc
