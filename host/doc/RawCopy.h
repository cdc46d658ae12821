// Stream data copied from the file it is stored in to the file being written, within the
// kernel, instead of being read into the process and written out again.
//
// A stream carried as it is reaches the writer through QPDF, which reads its data from
// the source document's file in pieces and hands each piece on as it was read. While a
// RawCopy is armed on a thread, the documents' file readers (Doc.cpp) offer it each read
// before they make it. It takes a read, which then fills nothing, only when
//   - the read before it was handed to the writer unchanged: the same buffer and length,
//     given to the writer before anything else was read;
//   - this read goes on in the same file where that one ended.
// That is a stream's data being piped: the piece taken can only be the next piece of the
// same data, bound for the writer. The writer, given that buffer, copies the bytes from
// the file instead (`handOn`). The first piece of every stream is read and written as
// usual; data from memory, data transformed on its way (decrypted, decoded, made anew)
// and reads of other documents never qualify. Should a piece taken not be handed on
// next, the copy is no longer sound (`finish` says so) and the writer writes the stream
// the ordinary way.
#pragma once

#include <cstddef>
#include <functional>

namespace vexa::host::doc {

class RawCopy {
  public:
    // Bytes of a file to copy.
    struct Span {
        int fd = -1;
        long long at = 0;
        long long length = 0;
    };
    // Arms the copy on this thread (one at a time); copy is called with each run of
    // contiguous bytes taken, in the order of the data, before any data that follows them
    // is written. It returns false when the file did not hold the bytes.
    explicit RawCopy(std::function<bool(const Span&)> copy);
    ~RawCopy();
    RawCopy(const RawCopy&) = delete;
    RawCopy& operator=(const RawCopy&) = delete;

    // The copy armed on this thread, or null.
    static RawCopy* armed();

    // For a file reader, before it reads n bytes at offset `at` of its file fd into
    // buffer: true when the read is taken (the reader fills nothing, moves on by n bytes
    // and reports them read).
    bool take(int fd, long long at, const char* buffer, std::size_t n);

    // For the writer, with each piece of data it is given: true when the piece is a read
    // taken (its bytes are copied from the file), false for data to write as given (what
    // was taken before it is copied first).
    bool handOn(const void* data, std::size_t n);
    // Ends the copy: true when every read taken was handed on and copied.
    bool finish();

  private:
    // Copies what was taken and not yet copied.
    void flush();

    struct Read {
        int fd = -1;
        long long at = 0;
        const char* buffer = nullptr;
        std::size_t n = 0;
        bool taken = false;
        bool handed = false;
    };
    std::function<bool(const Span&)> copy_;
    Read last_;
    Span pending_;
    bool sound_ = true;
    RawCopy* outer_ = nullptr;
};

}  // namespace vexa::host::doc
