// Writing a document while it is made. A batch job's output grows sheet by sheet; once
// a sheet is finished nothing changes it any more, so its own objects (the page
// dictionary, its content streams and the property lists of its marked content) are
// written to a spool file and freed at once. What they refer to (fonts, images, placed
// pages, shared colour spaces) may still be used by later sheets: those objects get
// their numbers now and are written, as they are by then, when the file is finished.
// Memory then holds one sheet at a time, not the whole output.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vexa::host::doc {

// A dictionary's entries in key order, less those whose value is null (which count as
// missing), as ditems() gives them; one copy of the dictionary, where iterating ditems()
// copies its key set twice and looks every key up again.
inline std::map<std::string, QPDFObjectHandle> entriesOf(QPDFObjectHandle dict) {
    std::map<std::string, QPDFObjectHandle> entries = dict.getDictAsMap();
    for (auto it = entries.begin(); it != entries.end();)
        it = it->second.isNull() ? entries.erase(it) : std::next(it);
    return entries;
}

// The objects only a page itself refers to, given its /Contents and /Resources: its
// content streams and the property lists of its marked content (frames), optional-
// content groups excepted.
void pageOwnObjects(QPDFObjectHandle contents, QPDFObjectHandle resources,
                    std::vector<QPDFObjectHandle>& out);

class StreamWriter {
  public:
    // objectStreams: pack objects other than streams into compressed object streams
    // (PDF 1.5 and later); the file can then not be finished in an earlier version.
    StreamWriter(QPDF& q, bool objectStreams);
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // Writes the pages' own objects and frees them; the page dictionaries stay in the
    // page tree with their boxes and rotation only. Objects a page shares with a page
    // that is not written yet are left to that page. Throws on a write error; the
    // writer then refuses to finish.
    // upTo: the pages before that index are all written once these are.
    void writePages(const std::vector<QPDFObjectHandle>& pages,
                    const std::vector<QPDFObjectHandle>& pending, std::size_t upTo);
    // Writes an object the pages written so far refer to and frees it, when no page of
    // pending refers to it: the caller knows that no page made later will use it either.
    // It then reads as null, as does a reference made to it later (a caller's fault).
    // False (and nothing done) when it is kept: not referred to by a page written,
    // written already, or used by a pending page. Throws on a write error.
    bool writeShared(QPDFObjectHandle h, const std::vector<QPDFObjectHandle>& pending);
    bool isWritten(QPDFObjGen page) const { return pagesWritten_.count(page) != 0; }
    bool anyWritten() const { return !pagesWritten_.empty(); }
    // Pages 0 to writtenUpTo() - 1 are written.
    std::size_t writtenUpTo() const { return upTo_; }
    bool objectStreams() const { return objectStreams_; }

    // Writes the whole file: header, what was written ahead, every object still to be
    // written (as it is now), cross-reference and trailer. May be called again (a later
    // save writes the document as it is then).
    void finish(FILE* to, int major, int minor);

  private:
    // Where an object is written, in eight bytes (one for each object of the file): the
    // kind in the top two bits, then the offset after the header, or the number of the
    // object stream it is in (above) and its index there (the low 16 bits).
    class Loc {
      public:
        enum Kind { Unwritten = 0, AtOffset = 1, Packed = 2 };
        Loc() = default;
        static Loc at(long long offset) {
            return Loc((std::uint64_t{AtOffset} << 62) | static_cast<std::uint64_t>(offset));
        }
        // In an object stream; which one is known when the stream is written.
        static Loc packed(int stream = 0, int index = 0) {
            return Loc((std::uint64_t{Packed} << 62) | (static_cast<std::uint64_t>(stream) << 16) |
                       static_cast<std::uint16_t>(index));
        }
        int type() const { return static_cast<int>(bits_ >> 62); }
        long long offset() const { return static_cast<long long>(bits_ & kLow); }
        int stream() const { return static_cast<int>((bits_ & kLow) >> 16); }
        int index() const { return static_cast<int>(bits_ & 0xffff); }

      private:
        static constexpr std::uint64_t kLow = (std::uint64_t{1} << 62) - 1;
        explicit Loc(std::uint64_t bits) : bits_(bits) {}
        std::uint64_t bits_ = 0;
    };
    // The output number of each object of the document, 0 for none: a flat table indexed
    // by the object's own number, for generation 0 (nearly every object of a document
    // built in memory) and numbers not far beyond those seen; the rest in a map, so that
    // a file with a few huge object numbers does not make the table huge.
    class Numbers {
      public:
        int find(QPDFObjGen og) const {
            auto i = static_cast<std::size_t>(og.getObj());
            if (og.getGen() == 0 && i < flat_.size() && flat_[i] != 0) return flat_[i];
            if (other_.empty()) return 0;
            auto it = other_.find(og);
            return it == other_.end() ? 0 : it->second;
        }
        void add(QPDFObjGen og, int n) {
            auto i = static_cast<std::size_t>(og.getObj());
            ++count_;
            if (og.getGen() != 0 || i >= 2 * count_ + 65536) {
                other_.emplace(og, n);
                return;
            }
            if (i >= flat_.size()) flat_.resize(std::max(i + 1, flat_.size() * 3 / 2), 0);
            flat_[i] = n;
        }
        // Forgets the numbers from n on.
        void dropFrom(int n) {
            for (int& v : flat_)
                if (v >= n) {
                    v = 0;
                    --count_;
                }
            // A loop, not std::erase_if: the fuzz build compiles the host as C++17.
            for (auto it = other_.begin(); it != other_.end();)
                if (it->second >= n) {
                    it = other_.erase(it);
                    --count_;
                } else {
                    ++it;
                }
        }

      private:
        std::vector<int> flat_;
        std::map<QPDFObjGen, int> other_;
        std::size_t count_ = 0;
    };
    // An object numbered but not written yet, with its number.
    struct Todo {
        int num;
        QPDFObjectHandle h;
    };
    struct State {
        Numbers numbers;
        std::vector<Loc> locs{Loc{}};  // indexed by object number; 0 is the free head
        std::vector<Todo> todo;
        std::size_t todoKept = 0;  // entries left by the last pruning of todo
        std::vector<std::pair<int, std::string>> packed;  // objects of the next object stream
        long long pos = 0;                                // bytes written after the header
    };
    struct Sink;

    int numberOf(State& s, QPDFObjectHandle h);
    void serialize(State& s, std::string& out, QPDFObjectHandle h, int depth);
    void writeObject(State& s, Sink& out, QPDFObjectHandle h);
    void writeNumbered(State& s, Sink& out, int num, QPDFObjectHandle h);
    // A stream's dictionary as written, open and without its length: "<<" and the entries
    // (a plain stream's filter entries left out).
    std::string streamDict(State& s, QPDFObjectHandle dict, bool plain);
    void writeStream(State& s, Sink& out, int num, QPDFObjectHandle h);
    bool writeStreamPiped(State& s, Sink& out, int num, QPDFObjectHandle h, bool plain,
                          long long length);
    void writeTopLevel(State& s, Sink& out, int num, const std::string& text);
    void writeStreamObject(State& s, Sink& out, int num, const std::string& dict,
                           const std::string& data);
    void flushPacked(State& s, Sink& out);
    void drain(State& s, Sink& out);
    // The cross-reference section and trailer that end the file, offsets moved by the
    // header's length h; trailer holds the trailer's entries. A cross-reference stream
    // when objects sit in object streams, else a table.
    void writeXrefStream(State& s, Sink& out, long long h, const std::string& trailer);
    void writeXrefTable(State& s, Sink& out, long long h, const std::string& trailer);
    // Appends what was written ahead to the file.
    void copySpool(FILE* to);

    QPDF& q_;
    bool objectStreams_;
    bool failed_ = false;
    std::unique_ptr<char[]> spoolBuffer_;  // declared first: the spool uses it until closed
    FILE* spool_ = nullptr;
    State state_;
    std::set<QPDFObjGen> pagesWritten_;
    std::size_t upTo_ = 0;
};

}  // namespace vexa::host::doc
