// Who a process is, in terms that hold across machines sharing a folder: the machine
// (host name and boot id) and the process on it (pid and start time, so that a pid
// the system gave to another process since does not count as the same one).
#pragma once

#include <cstdint>
#include <string>

struct ProcessIdentity {
    std::string host;    // host name (of this UTS namespace)
    std::string boot;    // the kernel's boot id; changes with every start of the machine
    int pid = 0;         // process id
    uint64_t start = 0;  // start time in clock ticks after boot (/proc/PID/stat)
};

// This process, read afresh (the host name may change while a service runs).
ProcessIdentity selfIdentity();

// The start time of process pid on this machine, 0 when there is no such process.
uint64_t processStartTime(int pid);

// A short tag for file names: "<machine>-<pid>-<start>", the machine as 8 hex digits of
// its host name and boot id. Tags of one machine share the first part.
std::string processTag(const ProcessIdentity& who);
std::string machineKey(const ProcessIdentity& who);
// Splits a tag (anything after the start time, such as "-7", is ignored); false when
// it is none.
bool parseProcessTag(const std::string& tag, std::string* machine, int* pid, uint64_t* start);
// True when the tag names a process of this machine that is no longer running.
bool isDeadProcessTagHere(const std::string& tag);
