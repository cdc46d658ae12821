// File operations of the hot folder: moves with replace that never lose a file, folder
// creation, path pieces, and the test whether a file is still being written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ASTypes.h"
#include "platform/Platform.h"

// The folder of a path ("." for a bare name, "/" for a file at the root) and its last
// piece.
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

// Moves the file at path to target (a full path), replacing a file there. Within one
// file system this is one rename(2). Across file systems the file is first renamed to
// a hidden claim name beside itself (".vexa-claim.<tag>.<name>", so that no other
// process takes it meanwhile), copied to a hidden temporary file beside the target
// (".vexa-move.<tag>.<name>"), flushed to disk, renamed into place, and only then
// removed: at every moment the file exists whole in one place at least. The tag names
// the mover (processTag() of this process when none is given). False (errno set) when
// the source is gone or the move failed; the source is then where it was. A move
// across file systems calls ticker after every 8 MB it has copied (a worker keeps the
// lease of its job fresh meanwhile).
struct CopyTicker {
    void (*proc)(void* data) = nullptr;
    void* data = nullptr;
};
bool moveFileReplace(const char* path, const char* target, const char* tag = nullptr,
                     const CopyTicker* ticker = nullptr);

// Copies the file at path to target (a full path), replacing a file there: the copy is
// written to a hidden file beside the target, flushed to disk and renamed into place,
// so an older target stays whole until the new one is complete. False (errno set)
// when the copy failed; the target is then as it was.
bool copyFileReplace(const char* path, const char* target);

// Writes len bytes of data as the file at target, replacing a file there the same way:
// a reader (another process among them) sees the old file or the new one, never a
// part. A symbolic link at target is followed, so the file it names is replaced and
// the link stays. The new file keeps the old one's permissions. Durable: the file and
// its folder are flushed to disk before it returns (else the system writes them when
// it will; a reader still never sees a part). False (errno set) when the write failed;
// the target is then as it was.
bool writeFileReplace(const char* target, const char* data, std::size_t len, bool durable = true);

// Moves the file src into the folder held in dest (size bytes), replacing a file of
// the same name. When name is given, the separator and name are appended to dest so
// that it then holds the moved file's path (name is also the name used in the folder;
// without it the source's own file name is used and dest is left as it was).
bool moveFile(const char* src, char* dest, ASInt32 destSize, const char* name);

// Creates the folder (and its parents) unless it exists; true when it exists afterwards.
bool makeDir(const char* path);
// Appends LEN bytes to the file at PATH (created when missing) under an exclusive
// lock of the file, so that a process that trims the file in the meantime (the
// hot-folder service keeps its log short) loses no line: when the file was replaced
// while we waited for the lock, the new one is written.
bool appendLocked(const char* path, const char* text, std::size_t len);
inline bool fileExists(const char* path) {
    return fileExists(std::string(path ? path : ""));
}
// Cuts the last path component in place ("/a/b/c.pdf" gives "/a/b"; "/a" gives "/").
void getFolder(char* path);
// The last path component, with or without its extension, into name (size bytes).
void getFileName(const char* path, char* name, ASInt32 size, bool withExtension);

// The claim name a cross-file-system move gives a file while it copies it; true when
// name is one, with the mover's tag and the file's own name.
bool isClaimName(const char* name, std::string* tag, std::string* originalName);

// What tells one version of a file from another: its device and inode (a file saved
// anew under the same name is another inode), size and times of last change. Unknown
// (and equal to nothing) when the file cannot be looked at.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    int64_t size = -1, changed = 0, statusChanged = 0;  // nanoseconds since the epoch
    bool known = false;
    bool operator==(const FileIdentity& o) const {
        return known && o.known && device == o.device && inode == o.inode && size == o.size &&
               changed == o.changed && statusChanged == o.statusChanged;
    }
};
FileIdentity fileIdentity(const char* path);

// What the busy test remembers of a file between looks.
struct FileSeen {
    int64_t size = -1;
    int64_t modDate = 0;  // nanoseconds since the epoch
    int64_t since = 0;    // monotonic nanoseconds from which the file has been as it is
};

// A file is busy while another process on this machine has it open for writing
// (tested with a read lease, or through /proc when the lease cannot be taken), or
// while it has not been as it is for delaySeconds (files arriving over a network share
// or by a slow copy that closes between writes). How long it has been as it is comes
// from its modification time at the first look, and from what the looks saw once its
// size or time changed between two of them (*previous: updated here), so that a copy
// that keeps an old time, or a writer whose clock is ahead, still gets the delay. A
// file that changed since the previous look is always busy. Without previous only its
// modification time counts.
bool isFileBusy(const char* path, ASInt32 delaySeconds, FileSeen* previous);
// Only the first test: another process has the file open for writing.
bool isOpenForWriting(const char* path);

// The error of the last failed system call of this thread, kept as a value: a caller
// that goes on with other calls before reporting keeps it.
struct OsError {
    int code = 0;
    // The file or folder named is not there.
    bool missing() const;
    // Every file of the folder would fail the same way: no permission, a read-only or
    // full file system, the user's quota used up.
    bool barsFolder() const;
    // The system's message for it ("No such file or directory").
    std::string text() const;
};
OsError lastOsError();
// The name of a signal that ended a process ("Segmentation fault").
std::string signalName(int signal);

// The names in a folder ("." and ".." left out), in the order the system gives them;
// false when the folder cannot be read.
bool listFolder(const std::string& folder, std::vector<std::string>& names);
// Something (a file, folder or link, followed or not) is at path.
bool pathExists(const std::string& path);
// The size of the regular file at path (a link is not followed: -1 for it), -1 when
// there is none.
int64_t plainFileSize(const std::string& path);
// When the file last changed, its data or its entry (a rename, a touch), in seconds
// since the epoch; 0 when there is no file.
int64_t fileChangedAt(const std::string& path);
// "size:seconds.nanoseconds" of the file's modification, "" when there is no file:
// equal stamps, an unchanged file.
std::string fileStamp(const std::string& path);
// Renames within one file system, replacing the target: one step, so of several
// processes renaming the same file one succeeds.
bool renameFile(const std::string& from, const std::string& to);
// Sets the file's times to now.
void touchFile(const std::string& path);
// Deletes the file unless a process holds a write lock on it (a writer still at
// work); false when it stays. A link is not followed.
bool deleteUnlessWriteLocked(const std::string& path);
// Appends text to the file (created for the user alone when missing), in one write.
bool appendToFile(const char* path, const std::string& text);
// A path to the file that fits size bytes: the path itself when it fits, else the file
// reached through its folder opened for the life of this process.
std::string pathFitting(const std::string& path, std::size_t size);
