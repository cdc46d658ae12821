// The hot-folder service's view of the log: what the plug-in and the jobs append is
// printed on stdout as it arrives (the journal, when systemd runs the service), and
// the file is kept short while the service runs.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace vexa::host {

class LogFollower {
  public:
    // Trims the file to its newest lines, at most KEEP bytes, whenever it reached
    // LIMIT bytes. OUT receives what the log received; with JOURNAL each line starts
    // with its journal priority ("<3>" errors, "<4>" warnings, "<6>" the rest).
    LogFollower(std::string path, FILE* out, bool journal, long limit = kLimit, long keep = kKeep);
    // Prints what arrived since the last call and trims the file when it is due. The
    // file is locked meanwhile; writers of the log wait and then append to the file
    // as it is now.
    void print();
    // Prints a last line that has no line end yet.
    void finish();

    // Below the size at which the plug-in deletes the log at start-up, so that a
    // restart of the service finds the log it left.
    static constexpr long kLimit = 100000;
    static constexpr long kKeep = 50000;

  private:
    void emit(const char* data, std::size_t n);
    void trim(int fd, long size);

    std::string path_;
    FILE* out_;
    bool journal_;
    long limit_, keep_;
    long offset_ = 0;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::string partial_;  // a line begun, for the journal
};

// True when stdout is connected to the journal (systemd sets $JOURNAL_STREAM to the
// device and inode of the stream it gave the service).
bool stdoutIsJournal();

}  // namespace vexa::host
