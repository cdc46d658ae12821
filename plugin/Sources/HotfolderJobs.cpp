#include "HotfolderJobs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "ErrorHandling.h"
#include "FileOps.h"
#include "MySettings.h"
#include "Platform.h"

namespace {

const char kRecordPrefix[] = ".vexa-job.";
const char kTakenPrefix[] = ".vexa-taken.";
const char kRetryPrefix[] = ".vexa-retry.";
const char kClaimPrefix[] = ".vexa-claim.";
const int kDefaultLease = 60;
const int kMaxAttempts = 2;                          // a job cut short this often goes to "Err"
const int64_t kRetryMarkerAge = int64_t{7} * 86400;  // seconds after which a marker is stale

std::string withoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool exists(const std::string& path) {
    return pathExists(path);
}

// Record values are one line each: backslashes and line feeds are escaped.
std::string escape(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            ++i;
            out += v[i] == 'n' ? '\n' : v[i];
        } else {
            out += v[i];
        }
    }
    return out;
}

std::string readSmallFile(const std::string& path) {
    ASInt32 size = 0;
    char* data = readWholeFile(path, &size);
    if (!data) return std::string();
    std::string s(data, static_cast<std::size_t>(size));
    std::free(data);
    return s;
}

// key=value lines into a map-like walk.
template <typename F>
void eachLine(const std::string& text, F f) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) f(line.substr(0, eq), unescape(line.substr(eq + 1)));
        pos = end + 1;
    }
}

int64_t nowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

// The lease clock of a record: the last change of the file (a write, a touch, or the
// rename by which a recovering worker takes it over).
int64_t changedAt(const std::string& path) {
    return fileChangedAt(path);
}

unsigned gSequence = 0;

std::string newTag() {
    return processTag(selfIdentity()) + "-" + std::to_string(++gSequence);
}

// The retry marker of a file name in the done folder.
std::string retryMarker(const std::string& folder, const std::string& name) {
    uint32_t h = 2166136261u;
    for (char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", h);
    return folder + "/" + kRetryPrefix + hex;
}

void writeRetryMarker(const std::string& folder, const std::string& name, const std::string& file,
                      int attempts) {
    std::string text = "name=" + escape(name) + "\nstamp=" + fileStamp(file) +
                       "\nattempts=" + std::to_string(attempts) + "\n";
    std::string marker = retryMarker(folder, name);
    writeFileReplace(marker.c_str(), text.data(), text.size(), false);
}

// The attempts a marker counts for the file (0 without a matching marker); the marker
// is used up.
int takeRetryMarker(const std::string& folder, const std::string& name, const std::string& file) {
    std::string marker = retryMarker(folder, name);
    std::string text = readSmallFile(marker);
    if (text.empty()) return 0;
    std::string markedName, stamp;
    int attempts = 0;
    eachLine(text, [&](const std::string& k, const std::string& v) {
        if (k == "name") markedName = v;
        if (k == "stamp") stamp = v;
        if (k == "attempts") attempts = std::atoi(v.c_str());
    });
    if (markedName != name) return 0;  // another name with the same hash
    deleteFile(marker);
    return stamp == fileStamp(file) ? attempts : 0;
}

// Removes the files "<folder>/<prefix>…" (the temporary files of a writer that died).
void removeWithPrefix(const std::string& folder, const std::string& prefix,
                      const std::string& suffix = std::string()) {
    std::vector<std::string> names;
    if (!listFolder(folder, names)) return;
    for (const std::string& n : names)
        if (n.size() >= prefix.size() + suffix.size() && startsWith(n, prefix.c_str()) &&
            n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
            deleteFile(folder + "/" + n);
}

// Moves a file back to where it came from; into "Err" when a new file of that name
// arrived meanwhile. True when it went back.
bool giveBack(const std::string& from, const std::string& to) {
    if (!exists(to) && moveFileReplace(from.c_str(), to.c_str())) return true;
    if (moveToErr(from, nameOf(to)))
        dprintf("\t####\tRecovered: %s went to Err (a new file of that name came in)\n",
                to.c_str());
    return false;
}

// Whether the worker named by a record's file name is gone.
bool holderIsGone(const std::string& recordPath, const std::string& tag, int lease) {
    std::string machine;
    int pid = 0;
    uint64_t start = 0;
    if (parseProcessTag(tag, &machine, &pid, &start) && machine == machineKey(selfIdentity()))
        return processStartTime(pid) != start;
    return nowSeconds() - changedAt(recordPath) > lease;
}

void recoverRecord(const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name;
    std::string tag = name.substr(sizeof kRecordPrefix - 1);
    if (startsWith(tag, (processTag(selfIdentity()) + "-").c_str())) return;  // mine
    JobRecord r;
    bool readable = readJobRecord(path, &r);
    if (!holderIsGone(path, tag, readable ? r.lease : kDefaultLease)) return;
    // Take it over: of several recovering workers one renames it.
    std::string mine = folder + "/" + kRecordPrefix + newTag();
    if (!renameFile(path, mine)) return;
    std::string takeTag = r.claim.empty() ? tag : nameOf(r.claim).substr(sizeof kTakenPrefix - 1);
    std::string who = r.owner.host + " pid " + std::to_string(r.owner.pid);
    if (!readable) {
        dprintf("\t####\tRecovered: an unreadable job record %s was removed\n", path.c_str());
        // Its file, when it was still under its hidden name, cannot go back: no record
        // says where from.
        std::string taken = folder + "/" + kTakenPrefix + tag;
        if (exists(taken) && moveToErr(taken, tag + ".pdf")) {
            dprintf("\t####\tRecovered: the file it had taken is in Err as %s.pdf\n", tag.c_str());
            reportOutcome("err", taken);
        }
    } else if ((r.state == "taking" || r.state == "taken") &&
               (exists(r.claim) || (!r.srcClaim.empty() && exists(r.srcClaim)))) {
        std::string from = exists(r.claim) ? r.claim : r.srcClaim;
        if (giveBack(from, r.in))
            dprintf("Recovered: %s (taken by %s, not imposed) is back in its input folder\n",
                    r.in.c_str(), who.c_str());
        else
            reportOutcome("err", r.in);
        removeWithPrefix(folder, std::string(".vexa-move.") + takeTag + ".");
    } else if (r.state == "taken" && exists(r.done)) {
        removeSaveLeftovers(r.out);
        if (r.attempt >= kMaxAttempts) {
            dprintf("\t####\tRecovered: the job of %s was cut short %d times (last by %s)\n",
                    r.done.c_str(), r.attempt, who.c_str());
            moveToErr(r.done);
            reportOutcome("err", r.done);
        } else {
            writeRetryMarker(folder, nameOf(r.done), r.done, r.attempt);
            if (giveBack(r.done, r.in))
                dprintf(
                    "Recovered: the job of %s was cut short (by %s); the file is back in "
                    "its input folder\n",
                    r.in.c_str(), who.c_str());
            else
                reportOutcome("err", r.done);
        }
    } else if (r.state == "ended" && r.errors > 0 && exists(r.done)) {
        dprintf("Recovered: the job of %s ended with errors (by %s)\n", r.done.c_str(),
                who.c_str());
        moveToErr(r.done);
        reportOutcome("err", r.done);
    }
    deleteFile(mine);
    removeWithPrefix(folder, ".vexa-write.", "." + name);
}

}  // namespace

bool readJobRecord(const std::string& path, JobRecord* record) {
    std::string text = readSmallFile(path);
    if (text.empty()) return false;
    JobRecord r;
    r.path = path;
    eachLine(text, [&](const std::string& k, const std::string& v) {
        if (k == "host")
            r.owner.host = v;
        else if (k == "boot")
            r.owner.boot = v;
        else if (k == "pid")
            r.owner.pid = std::atoi(v.c_str());
        else if (k == "start")
            r.owner.start = std::strtoull(v.c_str(), nullptr, 10);
        else if (k == "lease")
            r.lease = std::atoi(v.c_str());
        else if (k == "state")
            r.state = v;
        else if (k == "errors")
            r.errors = std::atoi(v.c_str());
        else if (k == "attempt")
            r.attempt = std::atoi(v.c_str());
        else if (k == "entry")
            r.entry = std::atoi(v.c_str());
        else if (k == "in")
            r.in = v;
        else if (k == "done")
            r.done = v;
        else if (k == "out")
            r.out = v;
        else if (k == "claim")
            r.claim = v;
        else if (k == "srcClaim")
            r.srcClaim = v;
    });
    if (r.state.empty() || r.in.empty() || r.done.empty()) return false;
    if (r.lease < 1) r.lease = kDefaultLease;
    *record = r;
    return true;
}

bool writeJobRecord(const JobRecord& r) {
    std::string text;
    auto put = [&](const char* k, const std::string& v) { text += k + ("=" + escape(v)) + "\n"; };
    put("host", r.owner.host);
    put("boot", r.owner.boot);
    put("pid", std::to_string(r.owner.pid));
    put("start", std::to_string(r.owner.start));
    put("lease", std::to_string(r.lease));
    put("state", r.state);
    put("errors", std::to_string(r.errors));
    put("attempt", std::to_string(r.attempt));
    put("entry", std::to_string(r.entry));
    put("in", r.in);
    put("done", r.done);
    put("out", r.out);
    put("claim", r.claim);
    put("srcClaim", r.srcClaim);
    // Replaced whole, so a reader never sees half a record, but not flushed to disk
    // each time: a record must outlive its process, and the system keeps it for that;
    // a flush per step would cost more than a small job.
    return writeFileReplace(r.path.c_str(), text.data(), text.size(), false);
}

JobClaim::~JobClaim() = default;

eTake JobClaim::take(int entry, const std::string& inPath, const std::string& doneFolder,
                     const std::string& outPath, int leaseSeconds) {
    std::string folder = withoutSlash(doneFolder);
    std::string tag = newTag();
    std::string name = nameOf(inPath);
    JobRecord& r = record_;
    r = JobRecord();
    r.path = folder + "/" + kRecordPrefix + tag;
    r.owner = selfIdentity();
    r.lease = leaseSeconds;
    r.state = "taking";
    r.entry = entry;
    r.in = inPath;
    r.done = folder + "/" + name;
    r.out = outPath;
    r.claim = folder + "/" + kTakenPrefix + tag;
    r.srcClaim = folderOf(inPath) + "/" + kClaimPrefix + tag + "." + name;
    error_ = OsError();
    if (!writeJobRecord(r)) {
        error_ = lastOsError();
        return kTakeFailed;
    }
    // The record was written: a long copy across file systems keeps its lease fresh.
    CopyTicker ticker;
    ticker.proc = [](void* path) { touchFile(*static_cast<const std::string*>(path)); };
    ticker.data = &r.path;
    if (!moveFileReplace(inPath.c_str(), r.claim.c_str(), tag.c_str(), &ticker)) {
        error_ = lastOsError();
        deleteFile(r.path);
        return error_.missing() ? kTakenByOther : kTakeFailed;
    }
    r.attempt = takeRetryMarker(folder, name, r.claim) + 1;
    r.state = "taken";
    if (!writeJobRecord(r) || !renameFile(r.claim, r.done)) {
        error_ = lastOsError();
        // Back where it was; when even that fails the record stays, and recovery
        // gives the file back later.
        if (!exists(inPath) && renameFile(r.claim, inPath)) deleteFile(r.path);
        return kTakeFailed;
    }
    held_ = true;
    return kTaken;
}

void JobClaim::refresh() const {
    if (held_) touchFile(record_.path);
}

void JobClaim::ended(int errors) {
    if (!held_) return;
    record_.state = "ended";
    record_.errors = errors;
    writeJobRecord(record_);
}

void JobClaim::release(bool jobDied) {
    if (!held_) return;
    deleteFile(record_.path);
    if (jobDied)
        removeWithPrefix(folderOf(record_.path), ".vexa-write.", "." + nameOf(record_.path));
    held_ = false;
}

int hotfolderLease() {
    int v = gPrefs.get("Hotfolder", "Lease", kDefaultLease);
    return v < 3 ? 3 : v;
}

void recoverJobs(const std::vector<std::string>& doneFolders) {
    std::set<std::string> seen;
    for (const std::string& f : doneFolders) {
        std::error_code ec;
        std::string folder = withoutSlash(f);
        std::string real = std::filesystem::canonical(folder, ec).string();
        if (ec || !seen.insert(real).second) continue;
        std::vector<std::string> all, names;
        if (!listFolder(folder, all)) continue;
        for (const std::string& n : all)
            if (n[0] == '.' && n[1] == 'v') names.push_back(n);
        // Claims of dead movers of this machine first: a record may name the file.
        for (const std::string& n : names) recoverDeadClaim(folder, n);
        for (const std::string& n : names)
            if (startsWith(n, kRecordPrefix)) recoverRecord(folder, n);
        for (const std::string& n : names) {
            std::string p = folder + "/" + n;
            if (startsWith(n, kRetryPrefix) && nowSeconds() - changedAt(p) > kRetryMarkerAge)
                deleteFile(p);
        }
    }
}

void recoverDeadClaim(const std::string& folder, const std::string& name) {
    std::string tag, original;
    if (!isClaimName(name.c_str(), &tag, &original) || !isDeadProcessTagHere(tag)) return;
    std::string back = folder + "/" + original;
    if (!exists(back) && renameFile(folder + "/" + name, back))
        dprintf("Recovered: %s\n", back.c_str());
}

bool moveToErr(const std::string& path, const std::string& name) {
    std::string err = folderOf(folderOf(path));
    err = (err == "/" ? "" : err) + "/Err";
    if (!makeDir(err.c_str())) {
        dprintf("\t####\tcannot create %s: %s\n", err.c_str(), lastOsError().text().c_str());
        return false;
    }
    std::string target = err + "/" + (name.empty() ? nameOf(path) : name);
    if (!moveFileReplace(path.c_str(), target.c_str())) {
        dprintf("\t####\tcannot move %s to %s: %s\n", path.c_str(), err.c_str(),
                lastOsError().text().c_str());
        return false;
    }
    return true;
}

void removeSaveLeftovers(const std::string& outPath) {
    // The host saves into ".<name>.XXXXXX" beside the target and keeps that file
    // write-locked while it writes.
    std::string folder = folderOf(outPath);
    std::string prefix = "." + nameOf(outPath) + ".";
    std::vector<std::string> names;
    if (!listFolder(folder, names)) return;
    for (const std::string& n : names)
        if (n.size() == prefix.size() + 6 && startsWith(n, prefix.c_str()))
            deleteUnlessWriteLocked(folder + "/" + n);
}

void reportOutcome(const char* kind, const std::string& text) {
    const char* file = std::getenv("VEXA_HOTFOLDER_REPORT");
    if (!file || !*file || !kind) return;
    std::string line = std::string(kind) + "\t" + escape(text) + "\n";
    appendToFile(file, line);
}
