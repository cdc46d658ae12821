// Optimizer presets: named writer settings for "Save optimized" copies.
//
// "Standard" packs objects into object streams, compresses plain streams and leaves
// out unreferenced objects; "Smallest" also decodes Flate streams and compresses them
// anew at the highest level; "Web" is "Standard" linearized. Presets without Flate
// recompression go through the document engine's save; the others are written here
// the same way (a temporary file in the target folder renamed over the target).
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFWriter.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/App.h"
#include "app/Notify.h"
#include "doc/DocInternal.h"

namespace vexa::host::app {
namespace {

namespace fs = std::filesystem;

constexpr ASUns32 kStandard = AVOptObjectStreams | AVOptCompressStreams | AVOptRemoveUnreferenced;

// Flate's level is global to the writer library: set for one save, then put back.
struct FlateLevel {
    explicit FlateLevel(int level) { Pl_Flate::setCompressionLevel(level); }
    ~FlateLevel() { Pl_Flate::setCompressionLevel(-1); }
};

struct Temp {
    std::string path;
    FILE* file = nullptr;
    bool keep = false;
    ~Temp() {
        if (file) std::fclose(file);
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }
};

void writeRecompressed(PDDoc doc, const AVOptimizerParamsRec& params, const fs::path& target) {
    fs::path dir = target.parent_path();
    Temp tmp;
    tmp.path = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmp.path.data());
    if (fd < 0) {
        tmp.path.clear();
        raise(fileErrWrite);
    }
    ::fchmod(fd, 0644);
    tmp.file = ::fdopen(fd, "wb");
    if (!tmp.file) {
        ::close(fd);
        raise(fileErrWrite);
    }
    QPDF& q = doc::qpdfOf(doc);
    const std::string outName = target.string();  // the writer keeps the pointer
    doc::guarded(pdErrSaveFailed, [&] {
        FlateLevel level(params.compressionLevel > 0 && params.compressionLevel <= 9
                             ? params.compressionLevel
                             : -1);
        QPDFWriter w(q);
        w.setOutputFile(outName.c_str(), tmp.file, false);
        w.setCompressStreams(true);
        w.setDecodeLevel(qpdf_dl_generalized);
        w.setRecompressFlate(true);
        if (params.flags & AVOptObjectStreams) {
            w.setObjectStreamMode(qpdf_o_generate);
            w.setMinimumPDFVersion("1.5");
        } else {
            w.setObjectStreamMode(qpdf_o_disable);
        }
        if (params.flags & AVOptLinearize) w.setLinearization(true);
        w.write();
    });
    if (std::fflush(tmp.file) != 0 || ::fsync(::fileno(tmp.file)) != 0) raise(fileErrWrite);
    int rc = std::fclose(tmp.file);
    tmp.file = nullptr;
    if (rc != 0) raise(fileErrWrite);
    if (::rename(tmp.path.c_str(), target.c_str()) != 0) raise(fileErrWrite);
    tmp.keep = true;
}

}  // namespace

const std::vector<OptimizerPreset>& optimizerPresets() {
    static const std::vector<OptimizerPreset> presets = {
        {"Standard", kStandard, 0},
        {"Smallest", kStandard | AVOptRecompressFlate, 9},
        {"Web", kStandard | AVOptLinearize, 0},
    };
    return presets;
}

const OptimizerPreset* findOptimizerPreset(const std::string& name) {
    for (const OptimizerPreset& p : optimizerPresets())
        if (name == p.name) return &p;
    return nullptr;
}

void saveOptimized(PDDoc doc, const AVOptimizerParamsRec& params) {
    if (!doc || !doc::isLiveDoc(doc)) raise(pdErrBadDoc);
    if (params.size < sizeof(AVOptimizerParamsRec) || !params.newPath || !*params.newPath)
        raise(pdErrBadSaveParams);
    std::error_code ec;
    fs::path target = fs::absolute(params.newPath, ec);
    if (ec || !fs::is_directory(target.parent_path(), ec) || fs::is_directory(target, ec))
        raise(fileErrWrite);
    if (!(params.flags & AVOptRecompressFlate)) {
        PDDocSaveParamsRec p{};
        p.size = sizeof p;
        p.saveFlags = PDSaveFull | PDSaveCopy | PDSaveCollectGarbage;
        if (params.flags & AVOptLinearize) p.saveFlags |= PDSaveLinearized;
        p.newPath = params.newPath;
        if (params.flags & AVOptObjectStreams) p.saveFlags2 |= PDSaveCompressed;
        if (params.flags & AVOptCompressStreams) p.saveFlags2 |= PDSaveAddFlate;
        if (!(params.flags & (AVOptObjectStreams | AVOptCompressStreams)))
            p.saveFlags2 |= PDSaveUncompressed;
        doc::pdModelTable()->PDDocSaveWithParams(doc, &p);
        return;
    }
    // The same announcement as every save; a copy leaves the document as it is.
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull | PDSaveCopy | PDSaveCollectGarbage;
    p.newPath = params.newPath;
    AVNotificationData n{};
    n.selector = NSEL_PDDocWillSaveEx;
    n.pdDoc = doc;
    n.saveParams = &p;
    broadcast(n);
    if (!doc::isLiveDoc(doc)) raise(pdErrBadDoc);  // a handler closed it
    writeRecompressed(doc, params, target);
}

}  // namespace vexa::host::app
