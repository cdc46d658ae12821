// Runs one job in a child process with a time limit, so that a job that crashes or
// hangs (for example a damaged file that takes the PDF engine down) cannot take the
// calling process with it.
#pragma once

#include "ASTypes.h"

enum eJobEnd {
    kJobExited = 0,    // the job returned; status holds its result (0..250)
    kJobCrashed = 1,   // ended by a signal; status holds the signal number
    kJobTimedOut = 2,  // ran past the limit and was killed
    kJobInProcess = 3  // no child could be started: the job ran in this process
};

struct JobResult {
    eJobEnd end = kJobExited;
    ASInt32 status = 0;
    double seconds = 0;
};

// Called every `seconds` while the parent waits for the child (a worker refreshes the
// lease of its job meanwhile).
struct JobTicker {
    void (*proc)(void* data) = nullptr;
    void* data = nullptr;
    double seconds = 0;
};

// Calls job(clientData) in a forked child and waits for it at most timeLimitSeconds
// (0: no limit). The child's result is clamped to 0..250. Output buffered in stdio is
// flushed before the fork and by the child before it ends. With limit > 0 the child
// also gets that many seconds of CPU time. The child is killed when the calling
// process dies, so that no job outlives the service that took its file. When fork
// fails the job runs here.
JobResult runJobInChild(ASInt32 (*job)(void* clientData), void* clientData,
                        ASInt32 timeLimitSeconds, const JobTicker* ticker = nullptr);
