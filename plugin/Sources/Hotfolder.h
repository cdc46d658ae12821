// Hot folders: unattended imposition of files dropped into watched folders.
//
// Entries live in the section "Hotfolder" of the preferences: In<n>, Out<n>, Done<n>,
// T<n> (template), H<n> (second sheet), B<n> ("R"/"S" saddle stitch, anything else
// perfect binding), P<n> ("T" TrimBox, anything else centred), D<n> (creep in mm),
// numbered from 1 up to the first empty In<n>. For all entries: "Delay" (seconds
// between polls, default 2), "TimeLimit" (seconds a job may take, default 600, 0 no
// limit), "Lease" (seconds a job record stays another machine's, default 60) and
// "NonPdfToErr" (1: files that are no PDF go on to "Err", default 0).
//
// Each poll takes every settled file of each hot folder, one after the other (a file
// settles by its own modification time and what earlier polls saw of its size and
// time, see isFileBusy; a pending Escape of the host ends the poll after the file in
// hand). For each file it takes the file into the done folder with a record of the job
// (HotfolderJobs.h: the move is the claim, of several workers on the same folders only one can make
// it), imposes it in a child process with the time limit, saves the result into the output folder,
// and moves the file on into "Err" beside the done folder when anything went wrong (the job counted
// an error, crashed or ran out of time). An entry whose folders would destroy input (output or done
// folder equal to the input folder, and the like) is refused.
#pragma once

#include <string>

#include "ASTypes.h"

void setupHotfolder();
void doHotfolder();
void doHotfolderDlg();

// Calls proc(entryPath, clientData) for each entry of the folder in the order the file
// system lists them ("." and ".." left out), folders included, descending into folders
// when recursive; stops at the first false. False when the folder cannot be opened or
// proc stopped the walk.
typedef bool (*EnumFolderProc)(const char* path, void* clientData);
bool EnumFolder(const char* folder, EnumFolderProc proc, void* clientData, bool recursive);

// The per-file step of the poll for one entry of the input folder of hot folder
// (ASInt32)(intptr_t)clientData. True to go on with the next entry (false when the
// folder cannot take files, or the host asked to stop).
bool processHotfolderFile(const char* path, void* clientData);

// Key<n> of section "Hotfolder", whole, whatever its length; empty when missing.
std::string hotfolderValue(const char* key, ASInt32 n);

// The folder as the file system resolves it: absolute, symbolic links of the part that
// exists resolved, "." and ".." and repeated or trailing slashes gone.
std::string realFolderPath(const std::string& path);

// What makes an entry unusable because it would destroy input, as the text to show
// (the string table's); empty when the folders are fine. Folders are compared by
// their real paths.
std::string hotfolderProblem(ASInt32 n, const std::string& in, const std::string& out,
                             const std::string& done, const std::string& tmpl,
                             const std::string& half);

// The PDF test of the poll: at least 513 bytes, "%PDF" at the start and "%%EOF" within
// the last 16 bytes.
bool looksLikePDF(const char* path);

// Runs one poll now, whatever the clock (tests).
void pollHotfolders();
