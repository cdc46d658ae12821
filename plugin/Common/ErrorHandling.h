// The log file, error reporting and message boxes.
//
// The log is "<Documents>/Orvanta/<module>.txt", appended to line by line (the file is
// opened and closed for each write, so it is complete after every line). The
// error-handling mode decides what an error does: 1 (and 0) shows it in an alert,
// 2 counts it and writes an error line "\t####\t..." to the log.
#pragma once

#include <string>
#include <utility>

#include "ASExcept.h"

enum eErrorHandling { kEHUnset = 0, kEHAlert = 1, kEHLog = 2 };

// Log mode: 0 off, 1 or more on.
void setLogMode(ASInt32 mode);
// Builds the log path (creating its folder), deletes a log of 100 001 bytes or more,
// and sets the log mode.
void setupDump(ASInt32 mode);
// Deletes the log when it is larger than limit bytes.
void clearDump(ASInt32 limit);
const char* getDumpPath();
// Formats (8192 bytes at most) and, with logging on, appends to the log.
void dprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void dump(const char* text);
// prefix, "HH:MM:SS" of the local time, suffix (null gives "\n").
void dumpTime(const char* prefix = "\n", const char* suffix = "\n");
// Opens the log in the system's default application (the headless host prints it).
void openDump();

// True while an Escape is pending; long runs poll it to stop.
bool checkForEscKey();
void beep();

// Sets the error-handling mode; returns the previous one and resets the error count.
ASInt32 setEHMode(ASInt32 mode);
ASInt32 getErrorCnt();
// The text of a host error ("Error <code>" for a code without one).
std::string hostErrorText(ASErrorCode code);
// Reports a host error: in mode 2 counts it and logs "\t####\tPage %d: %s\n" (page
// given) or "\t####\t%s\n"; otherwise shows the text in an alert.
void doExceptionError(ASInt32 pageNum, ASErrorCode code);
// Runs f; a host error is reported as doExceptionError(pageNum, code) reports it, and the
// answer is false. This is the frame for the points where the system reports an error
// and goes on (per page, per frame, per job); below them host errors propagate.
template <class F>
bool reportHostErrors(ASInt32 pageNum, F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const ASException& e) {
        doExceptionError(pageNum, e.code());
        return false;
    }
}
// Runs f and answers the code of the host error that ended it, genErrNoError when none
// did: for the points that report a host error in words of their own (a job's report
// names the file or the step).
template <class F>
ASErrorCode hostErrorOf(F&& f) {
    try {
        std::forward<F>(f)();
        return genErrNoError;
    } catch (const ASException& e) {
        return e.code() != genErrNoError ? e.code() : genErrGeneral;
    }
}
// Reports an error of the plug-in's own, as doExceptionError reports a host error.
void reportError(const char* text);
// The same for an error on a page (0: none).
void reportError(ASInt32 pageNum, const char* text);
// Runs with an error-handling mode and count of its own and puts the caller's back.
class ErrorModeScope {
  public:
    explicit ErrorModeScope(ASInt32 mode);
    ~ErrorModeScope();
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;

  private:
    ASInt32 mode_;
    ASInt32 count_;
};

// Receives every error doExceptionError counts in mode 2 (page number as given, the
// error's text), after it was logged: a job collects its own errors this way. One
// observer at a time; setErrorObserver returns the previous one.
struct ErrorObserver {
    void (*proc)(ASInt32 pageNum, const char* text, void* data);
    void* data;
};
ErrorObserver setErrorObserver(ErrorObserver observer);
// The line doExceptionError writes for an error text (without logging anything).
std::string formatErrorLine(ASInt32 pageNum, const char* text);

void setMsg2(const char* key, ...);

// Message boxes: the key's text formatted with the arguments (255 bytes at most);
// return the button chosen: 1 the first (default), 2 the second, 3 the third.
ASInt32 msgBox(const char* key, ...);       // "ok"
ASInt32 msgBoxYesNo(const char* key, ...);  // "yes", "no"
