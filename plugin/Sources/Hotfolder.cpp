#include "Sources/Hotfolder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <strings.h>

#include "Common/API.h"
#include "Common/BoxDesc.h"
#include "platform/ChildJob.h"
#include "Common/ErrorHandling.h"
#include "platform/FileOps.h"
#include "Sources/HotfolderJobs.h"
#include "Sources/Impose.h"
#include "Sources/ImposeJob.h"
#include "settings/MyDialog.h"
#include "settings/MySettings.h"
#include "settings/MyStrings.h"
#include "platform/PlatformAPI.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Common/Units.h"

namespace {

namespace fs = std::filesystem;

const char kSection[] = "Hotfolder";
const ASInt32 kDefaultTimeLimit = 600;

// What the hot folder keeps from one poll to the next.
struct HotfolderState {
    bool polled = false;                     // a first poll ran (the first idle call polls at once)
    ASUns32 lastPoll = 0;                    // ticks at the end of the last poll
    double lastRecovery = -1;                // monotonic seconds of the last look for dead jobs
    std::map<std::string, FileSeen> seen;    // what the busy test saw at the previous poll
    std::map<ASInt32, std::string> refused;  // entries refused, with the text logged
};
HotfolderState gHot;

ASInt32 getTimeLimit() {
    ASInt32 v = gPrefs.get(kSection, "TimeLimit", kDefaultTimeLimit);
    return v < 0 ? 0 : v;
}

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// One hot-folder entry as the poll reads it.
struct Entry {
    ASInt32 n = 0;
    std::string in, out, done, tmpl, half, binding, placing, creep;
};

Entry readEntry(ASInt32 n) {
    Entry e;
    e.n = n;
    e.in = hotfolderValue("In", n);
    e.out = hotfolderValue("Out", n);
    e.done = hotfolderValue("Done", n);
    e.tmpl = hotfolderValue("T", n);
    e.half = hotfolderValue("H", n);
    e.binding = hotfolderValue("B", n);
    e.placing = hotfolderValue("P", n);
    e.creep = hotfolderValue("D", n);
    return e;
}

// The poll's reading of the one-letter values (only the first letter counts).
bool isSaddleStitch(const std::string& b) {
    return b.empty() || b[0] == 'R' || b[0] == 'S';
}
bool isTrimBoxAligned(const std::string& p) {
    return p.empty() || p[0] == 'T';
}

// The done folders of all entries (where job records lie).
std::vector<std::string> doneFolders() {
    std::vector<std::string> folders;
    for (ASInt32 n = 1;; ++n) {
        if (hotfolderValue("In", n).empty()) break;
        std::string d = hotfolderValue("Done", n);
        if (!d.empty()) folders.push_back(d);
    }
    return folders;
}

struct HotfolderJob {
    VexaJob job;  // the entry's settings, with a job ticket's choices over them
    ASInt32 saveMinor;
    std::string src, out, tmpl, half;
    JobClaim* claim;
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
        if (fileExists(t)) return t;
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

// Moves the ticket of a PDF the poll took on to where the PDF went: into the done
// folder, and on into "Err" beside it when toErr. The ticket stays in the input folder
// while its job runs, so that a job cut short and given back finds it again.
void moveTicketAlong(const std::string& ticket, const std::string& doneFolder, bool toErr) {
    if (ticket.empty()) return;
    std::string dest = joinPath(doneFolder, nameOf(ticket));
    if (!moveFileReplace(ticket.c_str(), dest.c_str())) {
        dprintf("\t####\tcannot move %s to %s: %s\n", ticket.c_str(), doneFolder.c_str(),
                lastOsError().text().c_str());
        return;
    }
    if (toErr) moveToErr(dest);
}

// Saves a hot-folder job's result to its output path.
void saveJobResult(HotfolderJob* job, PDDoc result) {
    PDDocSaveParamsRec p{};
    p.size = sizeof p;
    p.saveFlags = PDSaveFull | PDSaveLinearized | PDSaveCollectGarbage;  // 0x25
    p.saveFlags2 = PDSaveAddFlate;                                       // 0x10
    p.newPath = job->out.c_str();
    if (job->saveMinor) {
        p.major = 1;
        p.minor = job->saveMinor;
    }
    gPDModelHFT->PDDocSaveWithParams(result, &p);
    // Recorded before it is told: a worker killed after this line is not imposed
    // again by the one that recovers its job.
    job->claim->ended(getErrorCnt());
    dprintf("\tsaved: %s\n", job->out.c_str());
}

// The part of a job that touches the PDF engine; runs in a child process. Returns the
// number of errors counted.
ASInt32 imposeJob(void* clientData) {
    HotfolderJob* job = static_cast<HotfolderJob*>(clientData);
    ImposeData& d = job->job.data;
    std::snprintf(d.templatePath, sizeof d.templatePath, "%s",
                  pathFitting(job->tmpl, sizeof d.templatePath).c_str());
    std::snprintf(d.halfSheetPath, sizeof d.halfSheetPath, "%s",
                  pathFitting(job->half, sizeof d.halfSheetPath).c_str());
    std::snprintf(d.srcPath, sizeof d.srcPath, "%s",
                  pathFitting(job->src, sizeof d.srcPath).c_str());
    std::snprintf(d.outPath, sizeof d.outPath, "%s",
                  pathFitting(job->out, sizeof d.outPath).c_str());
    DocRef src;
    reportHostErrors(0, [&] { src = DocRef(gPDModelHFT->PDDocOpen(job->src.c_str(), true)); });
    if (!src) {
        dprintf("\t####\tpdOpenDoc failed: %s\n", job->src.c_str());
        ASInt32 errors = getErrorCnt() > 0 ? getErrorCnt() : 1;
        job->claim->ended(errors);
        return errors;
    }
    d.srcDoc = src.get();
    reportHostErrors(0, [&] {
        // Every page, unless the job's ticket chose a range.
        if (!(job->job.given & kVexaGivenPages))
            d.lastPage = gPDModelHFT->PDDocGetNumPages(src.get());
    });
    {
        CosDocScope cos(src.get());
        JobReport report{logJobProblem, nullptr};
        DocRef result(getErrorCnt() == 0 ? runImposeJob(&job->job, nullptr, report, false, true)
                                         : nullptr);
        if (result && !reportHostErrors(0, [&] { saveJobResult(job, result.get()); }))
            dprintf("\tnot saved: %s\n", job->out.c_str());
    }
    src.reset();
    job->claim->ended(getErrorCnt());
    return getErrorCnt();
}

void refreshLease(void* claim) {
    static_cast<JobClaim*>(claim)->refresh();
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    return realFolderPath(a) == realFolderPath(b);
}

// An entry's problem, logged once (again when it changes); true when it is refused.
bool refuseEntry(const Entry& e) {
    std::string problem = hotfolderProblem(e.n, e.in, e.out, e.done, e.tmpl, e.half);
    if (problem.empty()) {
        gHot.refused.erase(e.n);
        return false;
    }
    auto it = gHot.refused.find(e.n);
    if (it == gHot.refused.end() || it->second != problem) {
        gHot.refused[e.n] = problem;
        dprintf("\t####\t%s\n", problem.c_str());
        reportOutcome("refused", std::to_string(e.n) + "\t" + e.in);
    }
    return true;
}

}  // namespace

std::string hotfolderValue(const char* key, ASInt32 n) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", key, n);
    ASInt32 len = gPrefs.get(kSection, name, nullptr, 0);
    if (len <= 0) return std::string();
    std::string v(static_cast<std::size_t>(len) + 1, '\0');
    gPrefs.get(kSection, name, v.data(), len + 1);
    v.resize(std::strlen(v.c_str()));
    return v;
}

std::string realFolderPath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    fs::path real = fs::weakly_canonical(p, ec);
    if (ec) real = p.lexically_normal();
    std::string s = real.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string hotfolderProblem(ASInt32 n, const std::string& in, const std::string& out,
                             const std::string& done, const std::string& tmpl,
                             const std::string& half) {
    if (in.empty()) return std::string();
    std::string rIn = realFolderPath(in);
    std::string rOut = out.empty() ? std::string() : realFolderPath(out);
    std::string rDone = done.empty() ? std::string() : realFolderPath(done);
    if (rOut == rIn) return formatStringWithKey("hfOutIsIn", n, in.c_str());
    if (rDone == rIn) return formatStringWithKey("hfDoneIsIn", n, in.c_str());
    if (!rOut.empty() && rOut == rDone) return formatStringWithKey("hfOutIsDone", n, out.c_str());
    if (!rDone.empty()) {
        fs::path parent = fs::path(rDone).parent_path();
        std::string rErr = (parent / "Err").string();
        if (rErr == rIn || rErr == rOut || rErr == rDone)
            return formatStringWithKey("hfErrClash", n, done.c_str());
    }
    for (const std::string* t : {&tmpl, &half}) {
        if (t->empty()) continue;
        if (fs::path(realFolderPath(*t)).parent_path().string() == rIn)
            return formatStringWithKey("hfTemplateIn", n, t->c_str());
    }
    return std::string();
}

bool EnumFolder(const char* folder, EnumFolderProc proc, void* clientData, bool recursive) {
    if (!folder || !*folder || !proc) return false;
    // The names first: the procedure may move entries away.
    std::vector<std::string> names;
    if (!listFolder(folder, names)) return false;
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
    // Each line also goes to the run's report: "vexa hotfolder --list" prints them.
    ASInt32 n = 1;
    for (;; ++n) {
        Entry e = readEntry(n);
        std::string line = "Hotfolder " + std::to_string(n) + ":";
        if (e.in.empty()) {
            dump(line.c_str());
            reportOutcome("list", line);
            break;
        }
        line += "\t" + e.in;
        std::string problem = hotfolderProblem(n, e.in, e.out, e.done, e.tmpl, e.half);
        if (!folderExists(e.in)) {
            line += "\t####\tnot found!";
            reportOutcome("missing", std::to_string(n) + "\t" + e.in);
        } else if (!problem.empty()) {
            line += "\t####\t" + problem;
        }
        dump((line + "\n").c_str());
        reportOutcome("list", line);
    }
    dprintf("\n");
    reportOutcome("entries", std::to_string(n - 1) + "\t" + gPrefs.getPath());
}

// The ticket's text; empty without a ticket or when it cannot be read (the ticket's
// reader says so).
std::string readTicketText(const std::string& ticket) {
    std::string text;
    if (ticket.empty()) return text;
    ASInt32 size = 0;
    if (char* data = readWholeFile(ticket, &size)) {
        text.assign(data, static_cast<std::size_t>(size));
        std::free(data);
    }
    return text;
}

// Imposes the file of entry n that claim took (now in the done folder) into out, by
// the entry's settings with the ticket's choices over them; answers the errors, and
// sets jobDied when the job crashed or ran out of time.
ASInt32 imposeTakenFile(ASInt32 n, const Entry& e, JobClaim& claim, const std::string& out,
                        const std::string& ticket, const std::string& ticketText, bool* jobDied) {
    HotfolderJob job;
    std::memset(&job.job, 0, sizeof job.job);
    job.job.size = sizeof job.job;
    job.job.spotBlack = 0;
    job.job.dlgUnits = getDlgUnits();
    job.saveMinor = 0;
    job.claim = &claim;
    ImposeData& d = job.job.data;
    ASInt32 errors = 0;
    // The entry's settings, with the ticket's choices over them.
    d.binding = isSaddleStitch(e.binding) ? kBindSaddleStitch : kBindPerfect;
    d.placing = isTrimBoxAligned(e.placing) ? kPlaceTrimBox : kPlaceCentered;
    d.creep = mmToFixed(static_cast<float>(std::atof(e.creep.c_str())));
    d.scale = 0x10000;
    d.firstPage = 1;
    bool ticketTaken = ticket.empty() || applyTicket(&job.job, ticket, ticketText);
    std::string tmpl = (job.job.given & kVexaGivenTemplate) ? d.templatePath : e.tmpl;
    std::string half = (job.job.given & kVexaGivenSecondSheet) ? d.halfSheetPath : e.half;
    if (!ticketTaken) {
        errors++;
    } else if (e.out.empty()) {
        dprintf("\t####\tno output folder (Out%d)\n", n);
        errors++;
    } else if (tmpl.empty()) {
        dprintf("\t####\tno template (T%d)\n", n);
        errors++;
    } else if (sameFile(out, tmpl) || sameFile(out, half)) {
        dprintf("\t####\tthe result %s would replace the template\n", out.c_str());
        errors++;
    } else {
        job.src = claim.donePath();
        job.out = out;
        job.tmpl = tmpl;
        job.half = half;
        job.saveMinor = saveAsMinor();

        ASInt32 limit = getTimeLimit();
        JobTicker ticker;
        ticker.proc = refreshLease;
        ticker.data = &claim;
        ticker.seconds = hotfolderLease() / 3.0;
        JobResult r = runJobInChild(imposeJob, &job, limit, &ticker);
        switch (r.end) {
            case kJobExited:
            case kJobInProcess:
                errors += r.status;
                break;
            case kJobCrashed:
                dprintf("\t####\tjob crashed (signal %d: %s)\n", r.status,
                        signalName(r.status).c_str());
                errors++;
                *jobDied = true;
                break;
            case kJobTimedOut:
                dprintf("\t####\tjob stopped: it took longer than %d seconds\n", limit);
                errors++;
                *jobDied = true;
                break;
        }
        if (*jobDied) removeSaveLeftovers(out);
    }
    return errors;
}

bool processHotfolderFile(const char* path, void* clientData) {
    if (puiCheckForEscKey()) return false;  // the host is stopping: nothing more is taken
    ASInt32 n = static_cast<ASInt32>(reinterpret_cast<intptr_t>(clientData));
    std::string name = nameOf(path);
    if (name[0] == '.') {  // hidden files; the claim of a mover that died gets its name back
        recoverDeadClaim(folderOf(path), name);
        return true;
    }
    if (isTicketName(name.c_str())) return true;  // taken with its PDF
    // Gone meanwhile, or a folder or link: these stay where they are.
    int64_t bytes = plainFileSize(path);
    if (bytes < 0) return true;

    dprintf("Processing: %s\n", path);
    dprintf("\t%lld bytes\n", static_cast<long long>(bytes));
    std::string ticket = ticketBeside(path);
    if (isFileBusy(path, getHotfolderDelay(), &gHot.seen[path]) ||
        (!ticket.empty() && isFileBusy(ticket.c_str(), getHotfolderDelay(), &gHot.seen[ticket]))) {
        dprintf("\tfile busy\n");
        return true;
    }
    gHot.seen.erase(path);
    gHot.seen.erase(ticket);
    // The ticket is read where it was put: its relative paths are from there.
    std::string ticketText = readTicketText(ticket);

    Entry e = readEntry(n);
    if (e.done.empty()) {
        dprintf("\t####\tno done folder (Done%d)\n", n);
        return false;
    }
    if (!makeDir(e.done.c_str())) {
        dprintf("\t####\tcannot create %s: %s\n", e.done.c_str(), lastOsError().text().c_str());
        reportOutcome("untaken", path);
        return false;
    }
    std::string out = e.out.empty() ? std::string() : joinPath(e.out, name);
    JobClaim claim;
    eTake taken = claim.take(n, path, e.done, out, hotfolderLease());
    if (taken == kTakenByOther) {
        dprintf("\ttaken by another process\n");
        return true;
    }
    if (taken == kTakeFailed) {
        dprintf("\t####\tcannot move %s to %s: %s\n", path, e.done.c_str(),
                claim.error().text().c_str());
        reportOutcome("untaken", path);
        // What bars every file of the folder ends the walk; the others go on.
        return !claim.error().barsFolder();
    }
    // From here on the file is the one in the done folder.
    const std::string& srcPath = claim.donePath();

    if (!looksLikePDF(srcPath.c_str())) {
        dprintf("\t####\tno PDF file!\n");
        reportOutcome("nopdf", srcPath);
        bool toErr = gPrefs.get(kSection, "NonPdfToErr", 0) == 1 && moveToErr(srcPath);
        if (toErr) dprintf("\tmoved to Err\n");
        moveTicketAlong(ticket, e.done, toErr);
        claim.release();
        return !puiCheckForEscKey();
    }

    setEHMode(kEHLog);
    bool jobDied = false;
    ASInt32 errors = imposeTakenFile(n, e, claim, out, ticket, ticketText, &jobDied);
    if (errors > 0) {
        moveToErr(srcPath);  // a file that cannot go there stays in done, logged
        reportOutcome("err", srcPath);
    } else {
        reportOutcome("saved", out);
    }
    moveTicketAlong(ticket, e.done, errors > 0);
    claim.release(jobDied);
    setEHMode(kEHAlert);
    // The next settled file at once; a stop request of the host (a pending Escape)
    // ends the walk with the file in hand.
    return !puiCheckForEscKey();
}

void pollHotfolders() {
    PDDoc cosDoc = getCosPDDoc();
    reportHostErrors(0, [] {
        // Jobs whose worker died: at the first poll, then now and then (another
        // machine's lease may run out meanwhile).
        double now = monotonicSeconds();
        if (gHot.lastRecovery < 0 ||
            now - gHot.lastRecovery >= std::min(30.0, hotfolderLease() / 2.0)) {
            gHot.lastRecovery = now;
            recoverJobs(doneFolders());
        }
        for (ASInt32 n = 1;; ++n) {
            Entry e = readEntry(n);
            if (e.in.empty()) break;
            if (refuseEntry(e)) continue;
            EnumFolder(e.in.c_str(), processHotfolderFile,
                       reinterpret_cast<void*>(static_cast<intptr_t>(n)), false);
        }
    });
    // Forget files that left the folders.
    for (auto it = gHot.seen.begin(); it != gHot.seen.end();)
        it = fileExists(it->first) ? std::next(it) : gHot.seen.erase(it);
    gHot.polled = true;
    gHot.lastPoll = asGetTickCount();
    reportOutcome("polled", std::string());
    setCosDoc(cosDoc);
}

void doHotfolder() {
    ASInt32 delay = getHotfolderDelay();
    if (delay < 0) delay = 0;
    if (gHot.polled && asGetTickCount() - gHot.lastPoll <= static_cast<ASUns32>(delay) * 60) return;
    pollHotfolders();
}

// The dialog.
namespace {

struct HFRecord {
    std::string in, out, done, tmpl, half;
    ASInt32 binding = kBindSaddleStitch;  // saddle stitch or perfect binding
    ASInt32 placing = 2;                  // 1 TrimBox, 2 centred
    float creep = 0;                      // mm
    // The values as stored: written back as they were while the popups still mean
    // what the poll reads from them ("X" is perfect binding, and centred, and stays "X").
    std::string bindingValue, placingValue;
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

constexpr ASInt32 kPathSize = 4096;

std::string fieldText(CMyDialog* dlg, ASInt32 id) {
    std::string text(kPathSize, '\0');
    dlg->getText(id, text.data(), kPathSize);
    text.resize(std::strlen(text.c_str()));
    return text;
}

void storeFields(CMyDialog* dlg, HFDialog* s) {
    if (s->shown < 1 || s->shown > static_cast<ASInt32>(s->records.size())) return;
    HFRecord& r = s->records[static_cast<std::size_t>(s->shown - 1)];
    r.in = fieldText(dlg, kIdIn);
    r.out = fieldText(dlg, kIdOut);
    r.done = fieldText(dlg, kIdDone);
    r.tmpl = fieldText(dlg, kIdTemplate);
    r.half = fieldText(dlg, kIdHalfSheet);
    r.binding = dlg->getValue(kIdBinding) == kBindPerfect ? kBindPerfect : kBindSaddleStitch;
    r.placing = dlg->getValue(kIdAlign) == 1 ? 1 : 2;
    r.creep = static_cast<float>(toMM(getControlFixed(dlg, kIdCreep)));
}

void showRecord(CMyDialog* dlg, HFDialog* s, ASInt32 entry) {
    s->shown = entry >= 1 && entry <= static_cast<ASInt32>(s->records.size()) ? entry : 0;
    HFRecord empty;
    const HFRecord& r = s->shown ? s->records[static_cast<std::size_t>(s->shown - 1)] : empty;
    dlg->setText(kIdIn, r.in.c_str());
    dlg->setText(kIdOut, r.out.c_str());
    dlg->setText(kIdDone, r.done.c_str());
    dlg->setText(kIdTemplate, r.tmpl.c_str());
    dlg->setText(kIdHalfSheet, r.half.c_str());
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
    std::string current = fieldText(dlg, id - 1);
    std::string path(kPathSize, '\0');
    if (puiChooseFolder("choose", current.c_str(), path.data(), kPathSize))
        dlg->setText(id - 1, path.c_str());
}

void onChooseFile(CMyDialog* dlg, ASInt32 id, void*) {
    std::string current = fieldText(dlg, id - 1);
    std::string path(kPathSize, '\0');
    if (puiChooseFile("choose", "*.pdf", current.c_str(), 0, path.data(), kPathSize))
        dlg->setText(id - 1, path.c_str());
}

// Whether any entry uses the folder (compared by real path).
bool folderInUse(const HFDialog* s, const std::string& folder) {
    std::string real = realFolderPath(folder);
    for (const HFRecord& r : s->records)
        for (const std::string* f : {&r.in, &r.out, &r.done})
            if (!f->empty() && realFolderPath(*f) == real) return true;
    return false;
}

void onAdd(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    storeFields(dlg, s);
    ASInt32 sel = s->shown;
    std::string base;
    ASInt32 k = 1;  // the new entry's folders: <base>/In<k>, Out<k>, Done<k>
    if (sel > 0) {
        // The folder that holds the selected entry's "In" folder.
        std::string folder = s->records[static_cast<std::size_t>(sel - 1)].in;
        getFolder(folder.data());
        base = folder.c_str();
        k = sel + 1;
    }
    if (base.empty()) {
        k = 1;
        std::string chosen(kPathSize, '\0');
        if (!puiChooseFolder("choose", nullptr, chosen.data(), kPathSize) || !chosen[0]) return;
        base = chosen.c_str();
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string prefix = base == "/" ? base : base + "/";
    // The first number from k on whose folders no entry uses.
    for (;; ++k) {
        std::string nr = std::to_string(k);
        if (!folderInUse(s, prefix + "In" + nr) && !folderInUse(s, prefix + "Out" + nr) &&
            !folderInUse(s, prefix + "Done" + nr))
            break;
    }
    HFRecord r;
    r.in = prefix + "In" + std::to_string(k);
    r.out = prefix + "Out" + std::to_string(k);
    r.done = prefix + "Done" + std::to_string(k);
    if (sel > 0) {
        const HFRecord& from = s->records[static_cast<std::size_t>(sel - 1)];
        r.tmpl = from.tmpl;
        r.binding = from.binding;
        r.bindingValue = from.bindingValue;
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

// The stored value of a popup: the value as it was while it still means the same.
std::string bindingValue(const HFRecord& r) {
    if (!r.bindingValue.empty() &&
        (isSaddleStitch(r.bindingValue) ? kBindSaddleStitch : kBindPerfect) == r.binding)
        return r.bindingValue;
    return r.binding == kBindSaddleStitch ? "R" : "K";
}
std::string placingValue(const HFRecord& r) {
    if (!r.placingValue.empty() && (isTrimBoxAligned(r.placingValue) ? 1 : 2) == r.placing)
        return r.placingValue;
    return r.placing == 1 ? "T" : "C";
}

void onOK(CMyDialog* dlg, ASInt32, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    if (!checkEditControls(dlg)) return;
    storeFields(dlg, s);
    // Folders that would destroy input are refused: the entry is shown with the reason.
    for (std::size_t i = 0; i < s->records.size(); ++i) {
        const HFRecord& r = s->records[i];
        ASInt32 n = static_cast<ASInt32>(i + 1);
        std::string problem = hotfolderProblem(n, r.in, r.out, r.done, r.tmpl, r.half);
        if (problem.empty()) continue;
        showRecord(dlg, s, n);
        msgBox("%s", problem.c_str());
        return;
    }
    // The service settings are not part of any entry: they survive.
    const char* kept[] = {"TimeLimit", "Lease", "NonPdfToErr"};
    std::vector<std::pair<const char*, std::string>> service;
    for (const char* key : kept) {
        ASInt32 len = gPrefs.get(kSection, key, nullptr, 0);
        if (len <= 0) continue;
        std::string v(static_cast<std::size_t>(len) + 1, '\0');
        gPrefs.get(kSection, key, v.data(), len + 1);
        service.emplace_back(key, v.c_str());
    }
    gPrefs.remove(kSection);
    for (std::size_t i = 0; i < s->records.size(); ++i) {
        const HFRecord& r = s->records[i];
        ASInt32 n = static_cast<ASInt32>(i + 1);
        auto set = [&](const char* key, const std::string& value) {
            char name[32];
            std::snprintf(name, sizeof name, "%s%d", key, n);
            gPrefs.set(kSection, name, value.c_str());
        };
        const char* folders[3] = {"In", "Out", "Done"};
        const std::string* values[3] = {&r.in, &r.out, &r.done};
        for (int f = 0; f < 3; ++f) {
            if (!values[f]->empty() && !folderExists(*values[f])) makeDir(values[f]->c_str());
            set(folders[f], *values[f]);
        }
        set("T", r.tmpl);
        set("H", r.half);
        set("B", bindingValue(r));
        set("P", placingValue(r));
        char creep[32];
        std::snprintf(creep, sizeof creep, "%.2f", static_cast<double>(r.creep));
        set("D", creep);
    }
    for (const auto& [key, value] : service) gPrefs.set(kSection, key, value.c_str());
    gPrefs.save();
    dlg->endDialog(kCmdOK);
}

void hotfolderSetup(CMyDialog* dlg, void* cd) {
    HFDialog* s = static_cast<HFDialog*>(cd);
    for (ASInt32 n = 1;; ++n) {
        Entry e = readEntry(n);
        if (e.in.empty()) break;
        HFRecord r;
        r.in = e.in;
        r.out = e.out;
        r.done = e.done;
        r.tmpl = e.tmpl;
        r.half = e.half;
        // As the poll reads them.
        r.binding = isSaddleStitch(e.binding) ? kBindSaddleStitch : kBindPerfect;
        r.placing = isTrimBoxAligned(e.placing) ? 1 : 2;
        r.bindingValue = e.binding;
        r.placingValue = e.placing;
        r.creep = static_cast<float>(std::atof(e.creep.empty() ? "0" : e.creep.c_str()));
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
