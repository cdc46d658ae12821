// The bookkeeping of hot-folder jobs: taking a file with a record of who took it,
// leases, recovery of jobs whose worker died, and the outcome report of a run.
//
// A worker takes a file in steps that each leave a record of what happened, so that a
// worker killed at any moment (or a machine switched off) leaves nothing that another
// worker cannot finish:
//   1. it writes a record ".vexa-job.<tag>" into the done folder: who it is (host name,
//      boot id, pid, process start time), the lease, the file and its paths;
//   2. it moves the file to ".vexa-taken.<tag>" in the done folder (the claim: of
//      several workers only one can move it);
//   3. it marks the record "taken" and renames the file to its own name in the done
//      folder;
//   4. the job (in a child process) marks the record "ended" with its error count;
//   5. the worker moves the file to "Err" when needed and removes the record.
// While the job runs the worker touches the record every third of the lease.
//
// A record whose worker is gone is recovered: on the worker's own machine (same host
// name and boot id) as soon as its process is gone, from another machine only when the
// record has not been touched for longer than its lease. A file taken but not imposed
// goes back into its input folder; a job cut short goes back too, once (a marker in
// the done folder counts the attempts), and the second time to "Err"; a job that
// ended is finished (into "Err" when it counted errors). The save's temporary files
// of a job cut short are removed.
#pragma once

#include <string>
#include <vector>

#include "platform/FileOps.h"
#include "platform/ProcessId.h"

struct JobRecord {
    std::string path;  // the record file
    ProcessIdentity owner;
    int lease = 60;        // seconds without a touch after which another machine may recover
    std::string state;     // "taking", "taken", "ended"
    int errors = 0;        // the job's error count once ended
    int attempt = 1;       // 1 for the first try of this file
    int entry = 0;         // the hot-folder entry
    std::string in;        // the file's path in the input folder
    std::string done;      // its path in the done folder
    std::string out;       // the output path
    std::string claim;     // its hidden name in the done folder while it is taken
    std::string srcClaim;  // its hidden name beside the input while a move copies it
};

bool readJobRecord(const std::string& path, JobRecord* record);
bool writeJobRecord(const JobRecord& record);

enum eTake { kTaken, kTakenByOther, kTakeFailed };

// One file in hand.
class JobClaim {
  public:
    JobClaim() = default;
    JobClaim(const JobClaim&) = delete;
    JobClaim& operator=(const JobClaim&) = delete;
    ~JobClaim();

    // Takes the file at inPath into doneFolder (steps 1 to 3). On kTakeFailed the file
    // is where it was and error() says why.
    eTake take(int entry, const std::string& inPath, const std::string& doneFolder,
               const std::string& outPath, int leaseSeconds);
    // The file's path in the done folder.
    const std::string& donePath() const { return record_.done; }
    const JobRecord& record() const { return record_; }
    // Why the last take failed.
    const OsError& error() const { return error_; }
    // Touches the record: the lease starts anew.
    void refresh() const;
    // Step 4 (called by the job).
    void ended(int errors);
    // Step 5: removes the record (and what a job that died left beside it).
    void release(bool jobDied = false);

  private:
    JobRecord record_;
    bool held_ = false;
    OsError error_;
};

// The lease of the jobs this process takes: "Hotfolder"/"Lease" seconds (default 60,
// at least 3).
int hotfolderLease();

// Recovers the jobs recorded in the done folders whose workers are gone (see above),
// gives claims of dead movers of this machine their names back, and removes their
// temporary files. Logs what it does.
void recoverJobs(const std::vector<std::string>& doneFolders);

// When name (in folder) is the claim of a move whose process died on this machine,
// gives the file its own name back (unless a file of that name is there) and logs it.
void recoverDeadClaim(const std::string& folder, const std::string& name);

// Moves the file into "Err" beside the folder that holds it (created when missing),
// under its own name or the one given; logs a failure. True when it is there.
bool moveToErr(const std::string& path, const std::string& name = std::string());

// The temporary files of saves to outPath that no process is writing any more.
void removeSaveLeftovers(const std::string& outPath);

// One line of the run's outcome report, "kind\ttext" ("saved", "err", "nopdf",
// "untaken", "refused", "missing", "entries", "list", "polled"), appended to the file named by
// $VEXA_HOTFOLDER_REPORT when it is set: vexa hotfolder --once and --list read it.
void reportOutcome(const char* kind, const std::string& text);
