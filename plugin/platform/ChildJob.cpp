#include "platform/ChildJob.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/PlatformAPI.h"

namespace {

double monotonicSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

JobResult runJobInChild(ASInt32 (*job)(void*), void* clientData, ASInt32 timeLimitSeconds,
                        const JobTicker* ticker) {
    JobResult r;
    double start = monotonicSeconds();
    double lastTick = start;
    std::fflush(nullptr);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        r.end = kJobInProcess;
        r.status = job(clientData);
        r.seconds = monotonicSeconds() - start;
        return r;
    }
    if (pid == 0) {
        // The child: a stop request to the service is for the parent, which lets the
        // file in hand finish; the child ends with its job.
        ::signal(SIGINT, SIG_IGN);
        ::signal(SIGTERM, SIG_IGN);
        puiClearEscKey();  // a stop request that came before the fork is not the job's
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(250);  // the parent died before the line above
        if (timeLimitSeconds > 0) {
            rlimit cpu{static_cast<rlim_t>(timeLimitSeconds),
                       static_cast<rlim_t>(timeLimitSeconds) + 1};
            ::setrlimit(RLIMIT_CPU, &cpu);
        }
        ASInt32 v = job(clientData);
        std::fflush(nullptr);
        ::_exit(v < 0 ? 0 : v > 250 ? 250 : v);
    }

    int status = 0;
    for (;;) {
        pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) {
            r.end = kJobCrashed;
            r.status = 0;
            r.seconds = monotonicSeconds() - start;
            return r;
        }
        double now = monotonicSeconds();
        if (ticker && ticker->proc && now - lastTick >= ticker->seconds) {
            ticker->proc(ticker->data);
            lastTick = now;
        }
        if (timeLimitSeconds > 0 && now - start > timeLimitSeconds) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            r.end = kJobTimedOut;
            r.status = SIGKILL;
            r.seconds = monotonicSeconds() - start;
            return r;
        }
        timespec nap{0, 2'000'000};  // 2 ms
        ::nanosleep(&nap, nullptr);
    }
    r.seconds = monotonicSeconds() - start;
    if (WIFEXITED(status)) {
        r.end = kJobExited;
        r.status = WEXITSTATUS(status);
    } else {
        r.end = kJobCrashed;
        r.status = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        if (r.status == SIGXCPU) r.end = kJobTimedOut;
    }
    return r;
}
