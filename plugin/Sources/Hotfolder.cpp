#include "Hotfolder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <signal.h>
#include <strings.h>

#include "API.h"
#include "BoxDesc.h"
#include "ChildJob.h"
#include "ErrorHandling.h"
#include "FileOps.h"
#include "Impose.h"
#include "ImposeJob.h"
#include "MyDialog.h"
#include "MySettings.h"
#include "PlatformAPI.h"
#include "Prefs.h"

namespace {

const char kSection[] = "Hotfolder";
const ASInt32 kDefaultTimeLimit = 600;

bool gPolled = false;                   // a first poll ran (the first idle call polls at once)
ASUns32 gLastPoll = 0;                  // ticks at the end of the last poll
std::map<std::string, FileSeen> gSeen;  // what the busy test saw at the previous poll

ASInt32 getTimeLimit() {
    ASInt32 v = gPrefs.get(kSection, "TimeLimit", kDefaultTimeLimit);
    return v < 0 ? 0 : v;
}

void getEntryValue(const char* key, ASInt32 n, char* buffer, ASInt32 size, const char* def) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", key, n);
    std::snprintf(buffer, static_cast<std::size_t>(size), "%s", def);
    gPrefs.get(kSection, name, buffer, size);
}

// An input file taken by a cross-file-system move of a process that has died meanwhile
// is given its own name back, so that it is taken again.
void recoverClaim(const char* path, const char* name) {
    int pid = 0;
    std::string original;
    if (!isClaimName(name, &pid, &original) || original.empty()) return;
    if (::kill(pid, 0) == 0 || errno != ESRCH) return;
    char folder[1024];
    std::snprintf(folder, sizeof folder, "%s", path);
    getFolder(folder);
    std::string back = std::string(folder) + "/" + original;
    if (!fileExists(back) && std::rename(path, back.c_str()) == 0)
        dprintf("Recovered: %s\n", back.c_str());
}

// Leftovers of a save that was cut short (the host writes ".<name>.XXXXXX" beside the
// target and renames it into place).
void removeSaveLeftovers(const char* outPath) {
    char folder[1024];
    std::snprintf(folder, sizeof folder, "%s", outPath);
    getFolder(folder);
    char name[512];
    getFileName(outPath, name, sizeof name, true);
    std::string prefix = std::string(".") + name + ".";
    DIR* d = ::opendir(folder);
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() == prefix.size() + 6 && n.compare(0, prefix.size(), prefix) == 0)
            ::unlink((std::string(folder) + "/" + n).c_str());
    }
    ::closedir(d);
}

struct HotfolderJob {
    VexaJob job;  // the entry's settings, with a job ticket's choices over them
    ASInt32 saveMinor;
};

// Job tickets: NAME.json beside NAME.pdf holds choices for that file. A ticket is never
// taken on its own; it travels with its PDF into the done folder and on into "Err".
bool isTicketName(const char* name) {
    std::size_t n = std::strlen(name);
    return n > 5 && strcasecmp(name + n - 5, ".json") == 0;
}

// The ticket beside the PDF at path ("" when there is none).
std::string ticketBeside(const char* path) {
    std::string p = path;
    std::size_t dot = p.rfind('.');
    std::size_t slash = p.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = p.size();
    for (const char* ext : {".json", ".JSON"}) {
        std::string t = p.substr(0, dot) + ext;
        struct stat st {};
        if (::stat(t.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return t;
    }
    return "";
}

// Reads the ticket into the job; false (logged and counted) when it is refused.
bool applyTicket(VexaJob* job, const std::string& ticket, const std::string& text) {
    JobReport report{logJobProblem, nullptr};
    dprintf("\tjob ticket: %s\n", ticket.c_str());
    if (!readJobTicket(job, text.data(), text.size(), ticket.c_str(), report)) return false;
    if (job->given & kVexaGivenOutput) {
        report.error("output", ticket +
                                   ": \"output\": a hot folder writes into its output "
                                   "folder; a ticket cannot choose the file");
        return false;
    }
    return true;
}

// Moves the ticket beside the PDF into the folder the PDF went to; its new path, or ""
// when there was none or it could not be moved (logged).
std::string moveTicketAlong(const std::string& ticket, const char* folderOfPdf) {
    if (ticket.empty()) return "";
    char dest[1024];
    std::snprintf(dest, sizeof dest, "%s", folderOfPdf);
    getFolder(dest);
    char name[512];
    getFileName(ticket.c_str(), name, sizeof name, true);
    if (!moveFile(ticket.c_str(), dest, sizeof dest, name)) {
        dprintf("\t####\tcannot move %s to %s: %s\n", ticket.c_str(), dest, std::strerror(errno));
        return "";
    }
    return dest;
}

// The part of a job that touches the PDF engine; runs in a child process. Returns the
// number of errors counted.
ASInt32 imposeJob(void* clientData) {
    HotfolderJob* job = static_cast<HotfolderJob*>(clientData);
    ImposeData& d = job->job.data;
    PDDoc src = nullptr;
    DURING
    src = gPDModelHFT->PDDocOpen(d.srcPath, true);
    HANDLER(void) ERRORCODE;
    doExceptionError(0);
    END_HANDLER
    if (!src) {
        dprintf("\t####\tpdOpenDoc failed: %s\n", d.srcPath);
        return getErrorCnt() > 0 ? getErrorCnt() : 1;
    }
    d.srcDoc = src;
    DURING
    // Every page, unless the job's ticket chose a range.
    if (!(job->job.given & kVexaGivenPages)) d.lastPage = gPDModelHFT->PDDocGetNumPages(src);
    HANDLER(void) ERRORCODE;
    doExceptionError(0);
    END_HANDLER
    setCosDoc(src);
    JobReport report{logJobProblem, nullptr};
    PDDoc result =
        getErrorCnt() == 0 ? runImposeJob(&job->job, nullptr, report, false, true) : nullptr;
    if (result) {
        DURING
        PDDocSaveParamsRec p{};
        p.size = sizeof p;
        p.saveFlags = PDSaveFull | PDSaveLinearized | PDSaveCollectGarbage;  // 0x25
        p.saveFlags2 = PDSaveAddFlate;                                       // 0x10
        p.newPath = d.outPath;
        if (job->saveMinor) {
            p.major = 1;
            p.minor = job->saveMinor;
        }
        gPDModelHFT->PDDocSaveWithParams(result, &p);
        dprintf("\tsaved: %s\n", d.outPath);
        HANDLER(void) ERRORCODE;
        doExceptionError(0);
        END_HANDLER
        DURING
        gPDModelHFT->PDDocClose(result);
        HANDLER(void) ERRORCODE;
        END_HANDLER
    }
    setCosDoc(nullptr);
    DURING
    gPDModelHFT->PDDocClose(src);
    HANDLER(void) ERRORCODE;
    END_HANDLER
    return getErrorCnt();
}

// Moves the file from the done folder on into "Err" beside it.
void moveToErr(const char* path) {
    char err[1024];
    std::snprintf(err, sizeof err, "%s", path);
    getFolder(err);  // the done folder
    getFolder(err);  // its parent
    std::size_t len = std::strlen(err);
    std::snprintf(err + len, sizeof err - len, "%sErr", len && err[len - 1] == '/' ? "" : "/");
    if (!makeDir(err)) {
        dprintf("\t####\tcannot create %s: %s\n", err, std::strerror(errno));
        return;
    }
    if (!moveFile(path, err, sizeof err, nullptr))
        dprintf("\t####\tcannot move to %s: %s\n", err, std::strerror(errno));
}

}  // namespace

ASInt32 getHotfolderPath(const char* key, ASInt32 n, char* buffer, ASInt32 size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", key, n);
    ASInt32 cap = size < 256 ? size : 256;
    ASInt32 len = gPrefs.get(kSection, name, buffer, cap);
    if (len <= 0) {
        buffer[0] = 0;
        return 0;
    }
    return static_cast<ASInt32>(std::strlen(buffer));
}

bool EnumFolder(const char* folder, EnumFolderProc proc, void* clientData, bool recursive) {
    if (!folder || !*folder || !proc) return false;
    DIR* d = ::opendir(folder);
    if (!d) return false;
    // The names first: the procedure may move entries away.
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::string base(folder);
    if (base.back() != '/') base += '/';
    for (const std::string& n : names) {
        std::string path = base + n;
        if (!proc(path.c_str(), clientData)) return false;
        if (recursive && folderExists(path) && !EnumFolder(path.c_str(), proc, clientData, true))
            return false;
    }
    return true;
}

bool looksLikePDF(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    bool ok = false;
    char head[4];
    char tail[17] = {0};
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size >= 513 && std::fseek(f, 0, SEEK_SET) == 0 && std::fread(head, 1, 4, f) == 4 &&
            std::memcmp(head, "%PDF", 4) == 0 && std::fseek(f, size - 16, SEEK_SET) == 0 &&
            std::fread(tail, 1, 16, f) == 16) {
            for (int i = 0; i + 5 <= 16 && !ok; ++i) ok = std::memcmp(tail + i, "%%EOF", 5) == 0;
        }
    }
    std::fclose(f);
    return ok;
}

void setupHotfolder() {
    char in[256];
    for (ASInt32 n = 1;; ++n) {
        dprintf("Hotfolder %d:", n);
        if (getHotfolderPath("In", n, in, sizeof in) == 0) break;
        dprintf("\t%s", in);
        if (folderExists(in))
            dprintf("\n");
        else
            dprintf("\t####\tnot found!\n");
    }
    dprintf("\n");
}

bool processHotfolderFile(const char* path, void* clientData) {
    ASInt32 n = static_cast<ASInt32>(reinterpret_cast<intptr_t>(clientData));
    char name[512];
    getFileName(path, name, sizeof name, true);
    if (name[0] == '.') {
        recoverClaim(path, name);
        return true;
    }
    if (isTicketName(name)) return true;  // taken with its PDF
    struct stat st {};
    if (::lstat(path, &st) != 0) return true;  // gone meanwhile
    if (!S_ISREG(st.st_mode)) return true;     // folders and links stay where they are

    dprintf("Processing: %s\n", path);
    dprintf("\t%lld bytes\n", static_cast<long long>(st.st_size));
    std::string ticket = ticketBeside(path);
    if (isFileBusy(path, getHotfolderDelay(), &gSeen[path]) ||
        (!ticket.empty() && isFileBusy(ticket.c_str(), getHotfolderDelay(), &gSeen[ticket]))) {
        dprintf("\tfile busy\n");
        return true;
    }
    gSeen.erase(path);
    gSeen.erase(ticket);
    // The ticket is read where it was put: its relative paths are from there.
    std::string ticketText;
    if (!ticket.empty()) {
        char* data = nullptr;
        ASInt32 size = 0;
        if ((data = readWholeFile(ticket, &size)) != nullptr) {
            ticketText.assign(data, static_cast<std::size_t>(size));
            std::free(data);
        }
    }

    char done[1024];
    if (getHotfolderPath("Done", n, done, sizeof done) == 0) {
        dprintf("\t####\tno done folder (Done%d)\n", n);
        return false;
    }
    if (!makeDir(done)) {
        dprintf("\t####\tcannot create %s: %s\n", done, std::strerror(errno));
        return false;
    }
    if (!moveFile(path, done, sizeof done, name)) {
        if (errno == ENOENT) {
            dprintf("\ttaken by another process\n");
            return true;
        }
        dprintf("\t####\tcannot move to %s: %s\n", done, std::strerror(errno));
        return false;
    }
    // From here on the file is the one in the done folder.
    const char* srcPath = done;
    std::string movedTicket = moveTicketAlong(ticket, done);

    if (!looksLikePDF(srcPath)) {
        dprintf("\t####\tno PDF file!\n");
        return false;
    }

    HotfolderJob job;
    std::memset(&job, 0, sizeof job);
    job.job.size = sizeof job.job;
    job.job.spotBlack = 0;
    job.job.dlgUnits = getDlgUnits();
    ImposeData& d = job.job.data;
    char out[512];
    char value[256];
    ASInt32 errors = 0;
    setEHMode(kEHLog);
    if (getHotfolderPath("Out", n, out, sizeof out) == 0) {
        dprintf("\t####\tno output folder (Out%d)\n", n);
        errors++;
    } else if (getHotfolderPath("T", n, d.templatePath, sizeof d.templatePath) == 0) {
        dprintf("\t####\tno template (T%d)\n", n);
        errors++;
    } else {
        getHotfolderPath("H", n, d.halfSheetPath, sizeof d.halfSheetPath);
        std::snprintf(d.srcPath, sizeof d.srcPath, "%.511s", srcPath);
        std::string o(out);
        if (o.back() != '/') o += '/';
        o += name;
        std::snprintf(d.outPath, sizeof d.outPath, "%s", o.c_str());
        getEntryValue("B", n, value, sizeof value, "R");
        d.binding = value[0] == 'R' || value[0] == 'S' ? 1 : 2;
        getEntryValue("P", n, value, sizeof value, "T");
        d.placing = value[0] == 'T' ? kPlaceTrimBox : kPlaceCentered;
        getEntryValue("D", n, value, sizeof value, "0");
        d.creep = mmToFixed(static_cast<float>(std::atof(value)));
        d.scale = 0x10000;
        d.firstPage = 1;
        job.saveMinor = saveAsMinor();
        bool ticketTaken = ticket.empty() || applyTicket(&job.job, ticket, ticketText);
        if (!ticketTaken) errors++;

        ASInt32 limit = getTimeLimit();
        JobResult r = ticketTaken ? runJobInChild(imposeJob, &job, limit) : JobResult{};
        switch (r.end) {
            case kJobExited:
            case kJobInProcess:
                errors += r.status;
                break;
            case kJobCrashed:
                dprintf("\t####\tjob crashed (signal %d: %s)\n", r.status, strsignal(r.status));
                errors++;
                removeSaveLeftovers(d.outPath);
                break;
            case kJobTimedOut:
                dprintf("\t####\tjob stopped: it took longer than %d seconds\n", limit);
                errors++;
                removeSaveLeftovers(d.outPath);
                break;
        }
    }
    if (errors > 0) {
        moveToErr(srcPath);
        if (!movedTicket.empty()) moveToErr(movedTicket.c_str());
    }
    setEHMode(kEHAlert);
    return false;
}

void pollHotfolders() {
    PDDoc cosDoc = getCosPDDoc();
    DURING
    char in[256];
    for (ASInt32 n = 1; getHotfolderPath("In", n, in, sizeof in) > 0; ++n)
        EnumFolder(in, processHotfolderFile, reinterpret_cast<void*>(static_cast<intptr_t>(n)),
                   false);
    HANDLER(void) ERRORCODE;
    doExceptionError(0);
    END_HANDLER
    // Forget files that left the folders.
    for (auto it = gSeen.begin(); it != gSeen.end();)
        it = fileExists(it->first) ? std::next(it) : gSeen.erase(it);
    gPolled = true;
    gLastPoll = asGetTickCount();
    setCosDoc(cosDoc);
}

void doHotfolder() {
    ASInt32 delay = getHotfolderDelay();
    if (delay < 0) delay = 0;
    if (gPolled && asGetTickCount() - gLastPoll <= static_cast<ASUns32>(delay) * 60) return;
    pollHotfolders();
}

// The dialog.
namespace {

struct HFRecord {
    char in[512];
    char out[512];
    char done[512];
    char tmpl[512];
    char half[512];
    ASInt32 binding;  // 1 saddle stitch, 2 perfect binding
    ASInt32 placing;  // 1 TrimBox, 2 centred
    float creep;      // mm
};

struct HFDialog {
    std::vector<HFRecord> records;
    ASInt32 shown = 0;  // 1-based entry shown, 0 none
};

enum {
    kIdRemove = 11,
    kIdAdd = 12,
    kIdEntry = 13,
    kIdIn = 14,
    kIdOut = 16,
    kIdDone = 18,
    kIdTemplate = 20,
    kIdHalfSheet = 22,
    kIdBinding = 24,
    kIdAlign = 25,
    kIdCreep = 26
};

void storeFields(CMyDialog* dlg, HFDialog* s) {
    if (s->shown < 1 || s->shown > static_cast<ASInt32>(s->records.size())) return;
    HFRecord& r = s->records[static_cast<std::size_t>(s->shown - 1)];
    dlg->getText(kIdIn, r.in, sizeof r.in);
    dlg->getText(kIdOut, r.out, sizeof r.out);
    dlg->getText(kIdDone, r.done, sizeof r.done);
    dlg->getText(kIdTemplate, r.tmpl, sizeof r.tmpl);
    dlg->getText(kIdHalfSheet, r.half, sizeof r.half);
    r.binding = dlg->getValue(kIdBinding) == 2 ? 2 : 1;
    r.placing = dlg->getValue(kIdAlign) == 1 ? 1 : 2;
    r.creep = static_cast<float>(getControlFixed(dlg, kIdCreep) * 25.4 / 4718592.0);
}

void showRecord(CMyDialog* dlg, HFDialog* s, ASInt32 entry) {
    s->shown = entry >= 1 && entry <= static_cast<ASInt32>(s->records.size()) ? entry : 0;
    HFRecord empty{};
    empty.binding = 1;
    empty.placing = 2;
    const HFRecord& r = s->shown ? s->records[static_cast<std::size_t>(s->shown - 1)] : empty;
    dlg->setText(kIdIn, r.in);
    dlg->setText(kIdOut, r.out);
    dlg->setText(kIdDone, r.done);
    dlg->setText(kIdTemplate, r.tmpl);
    dlg->setText(kIdHalfSheet, r.half);
    dlg->setValue(kIdBinding, r.binding);
    dlg->setValue(kIdAlign, r.placing);
    setDlgItemFixed(dlg, kIdCreep, mmToFixed(r.creep), getDlgUnits(), 0, 0x7FFFFFFF);
    if (s->shown) dlg->setValue(kIdEntry, s->shown);
}

void fillEntryPopup(CMyDialog* dlg, HFDialog* s) {
    dlg->clearMenu(kIdEntry);
    for (std::size_t i = 0; i < s->records.size(); ++i) {
        char item[24];
        std::snprintf(item, sizeof item, "%d", static_cast<int>(i + 1));
        dlg->addMenuItem(kIdEntry, item);
    }
}

void onEntry(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    storeFields(dlg, s);
    showRecord(dlg, s, dlg->getValue(kIdEntry));
}

void onChooseFolder(CMyDialog* dlg, ASInt32 id, void*) {
    char current[512] = "";
    char path[512] = "";
    dlg->getText(id - 1, current, sizeof current);
    if (puiChooseFolder("choose", current, path, sizeof path)) dlg->setText(id - 1, path);
}

void onChooseFile(CMyDialog* dlg, ASInt32 id, void*) {
    char current[512] = "";
    char path[512] = "";
    dlg->getText(id - 1, current, sizeof current);
    if (puiChooseFile("choose", "*.pdf", current, 0, path, sizeof path)) dlg->setText(id - 1, path);
}

void onAdd(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    storeFields(dlg, s);
    ASInt32 sel = s->shown;
    char base[512] = "";
    ASInt32 k = 1;  // the new entry's folders: <base>/In<k>, Out<k>, Done<k>
    if (sel > 0) {
        std::snprintf(base, sizeof base, "%s", s->records[static_cast<std::size_t>(sel - 1)].in);
        getFolder(base);
        k = sel + 1;
    }
    if (!base[0]) {
        k = 1;
        if (!puiChooseFolder("choose", nullptr, base, sizeof base) || !base[0]) return;
    }
    HFRecord r{};
    std::size_t len = std::strlen(base);
    if (len > 1 && base[len - 1] == '/') base[len - 1] = 0;
    const char* sep = std::strcmp(base, "/") == 0 ? "" : "/";
    std::string b(base);
    std::snprintf(r.in, sizeof r.in, "%s", (b + sep + "In" + std::to_string(k)).c_str());
    std::snprintf(r.out, sizeof r.out, "%s", (b + sep + "Out" + std::to_string(k)).c_str());
    std::snprintf(r.done, sizeof r.done, "%s", (b + sep + "Done" + std::to_string(k)).c_str());
    r.binding = 1;
    r.placing = 2;
    if (sel > 0) {
        const HFRecord& from = s->records[static_cast<std::size_t>(sel - 1)];
        std::memcpy(r.tmpl, from.tmpl, sizeof r.tmpl);
        r.binding = from.binding;
        r.creep = from.creep;
    }
    s->records.push_back(r);
    fillEntryPopup(dlg, s);
    showRecord(dlg, s, static_cast<ASInt32>(s->records.size()));
}

void onRemove(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    if (s->shown >= 1 && s->shown <= static_cast<ASInt32>(s->records.size()))
        s->records.erase(s->records.begin() + (s->shown - 1));
    s->shown = 0;
    fillEntryPopup(dlg, s);
    showRecord(dlg, s, 1);
}

void onOK(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    if (!checkEditControls(dlg)) return;
    storeFields(dlg, s);
    // The time limit is a service setting, not part of any entry: it survives.
    char limit[32];
    bool hasLimit = gPrefs.get(kSection, "TimeLimit", limit, sizeof limit) > 0;
    gPrefs.remove(kSection);
    for (std::size_t i = 0; i < s->records.size(); ++i) {
        const HFRecord& r = s->records[i];
        ASInt32 n = static_cast<ASInt32>(i + 1);
        char key[32];
        const char* folders[3] = {"In", "Out", "Done"};
        const char* values[3] = {r.in, r.out, r.done};
        for (int f = 0; f < 3; ++f) {
            if (values[f][0] && !folderExists(values[f])) makeDir(values[f]);
            std::snprintf(key, sizeof key, "%s%d", folders[f], n);
            gPrefs.set(kSection, key, values[f]);
        }
        std::snprintf(key, sizeof key, "T%d", n);
        gPrefs.set(kSection, key, r.tmpl);
        std::snprintf(key, sizeof key, "H%d", n);
        gPrefs.set(kSection, key, r.half);
        std::snprintf(key, sizeof key, "B%d", n);
        gPrefs.set(kSection, key, r.binding == 1 ? "R" : "K");
        std::snprintf(key, sizeof key, "P%d", n);
        gPrefs.set(kSection, key, r.placing == 1 ? "T" : "C");
        char creep[32];
        std::snprintf(creep, sizeof creep, "%.2f", static_cast<double>(r.creep));
        std::snprintf(key, sizeof key, "D%d", n);
        gPrefs.set(kSection, key, creep);
    }
    if (hasLimit) gPrefs.set(kSection, "TimeLimit", limit);
    gPrefs.save();
    dlg->endDialog(kCmdOK);
}

void hotfolderSetup(CMyDialog* dlg, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    for (ASInt32 n = 1;; ++n) {
        HFRecord r{};
        if (getHotfolderPath("In", n, r.in, sizeof r.in) == 0) break;
        getHotfolderPath("Out", n, r.out, sizeof r.out);
        getHotfolderPath("Done", n, r.done, sizeof r.done);
        getHotfolderPath("T", n, r.tmpl, sizeof r.tmpl);
        getHotfolderPath("H", n, r.half, sizeof r.half);
        char v[64];
        getEntryValue("B", n, v, sizeof v, "");
        r.binding = v[0] == 'K' ? 2 : 1;
        getEntryValue("P", n, v, sizeof v, "");
        r.placing = v[0] == 'C' ? 2 : 1;
        getEntryValue("D", n, v, sizeof v, "0");
        r.creep = static_cast<float>(std::atof(v));
        s->records.push_back(r);
    }
    fillEntryPopup(dlg, s);
    showRecord(dlg, s, 1);
    dlg->setHandler(kIdEntry, onEntry, s);
    for (ASInt32 id : {15, 17, 19}) dlg->setHandler(static_cast<ASUns32>(id), onChooseFolder, s);
    for (ASInt32 id : {21, 23}) dlg->setHandler(static_cast<ASUns32>(id), onChooseFile, s);
    dlg->setHandler(kIdAdd, onAdd, s);
    dlg->setHandler(kIdRemove, onRemove, s);
    dlg->setHandler(1, onOK, s);
}

}  // namespace

void doHotfolderDlg() {
    HFDialog state;
    doModalDialog("HOTFOLDER", hotfolderSetup, &state);
}
