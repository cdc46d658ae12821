// A scope object around the host's document progress monitor for one long run: told
// the step count and text once, advanced step by step, ended when it goes. Escape
// stops a run: setValue answers true once it is pending.
#pragma once

#include "AcroViewHFT.h"

class CProgressMonitor {
  public:
    CProgressMonitor();
    ~CProgressMonitor();
    CProgressMonitor(const CProgressMonitor&) = delete;
    CProgressMonitor& operator=(const CProgressMonitor&) = delete;

    // Starts a run of steps titled by the string key.
    void setDuration(long steps, const char* key);
    void setText(const char* key);
    // Shows step n as done; true when the user asked to stop.
    bool setValue(long n);

    bool hasMonitor() const { return monitor_ != nullptr; }

  private:
    ASProgressMonitor monitor_;
    ASClientData clientData_;
    bool begun_;
    bool longRun_;
};
