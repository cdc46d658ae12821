#include "doc/StreamWriter.h"

#include "doc/RawCopy.h"

#include <qpdf/Pl_String.hh>
#include <qpdf/QUtil.hh>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <stdexcept>

namespace vexa::host::doc {

namespace {

// Objects per object stream, as other writers pack them.
constexpr std::size_t kPerObjectStream = 100;
// Nesting of direct objects beyond which a value is written as null.
constexpr int kMaxDepth = 256;
// Streams carried as they are from this size on are piped to the file, not held whole.
constexpr long long kPipedStream = 64LL * 1024;
// The spool's stdio buffer (stream data comes in pieces of a few KB; large data carried
// from a source file is copied within the kernel, not through it).
constexpr std::size_t kSpoolBuffer = std::size_t{64} * 1024;
// Bytes of the finished file after which its writing to disk is started.
constexpr long long kWriteBackStep = 16LL << 20;
// Room for the length of a piped stream that does not say its own: digits for any file.
constexpr std::size_t kLengthRoom = 12;

bool isRegularNameChar(unsigned char c) {
    if (c <= 32 || c >= 127) return false;
    return !std::strchr("()<>[]{}/%#", c);
}

void appendName(std::string& out, const std::string& name) {
    // QPDF keeps names decoded, with their slash.
    bool plain = name.size() > 1;
    for (std::size_t i = 1; i < name.size() && plain; ++i)
        plain = isRegularNameChar(static_cast<unsigned char>(name[i]));
    if (plain)
        out += name;
    else
        out += QPDFObjectHandle::newName(name).unparse();
}

// Deflates what is written to it into out, at zlib's default level. Most streams
// compressed here are a few KB (a sheet's content, an object stream), and zlib's usual
// tables (a 32 KB window and a hash table of 64 KB that it clears for every stream) cost
// more to set up than such a stream takes to compress: data up to the largest window is
// held, and compressed at the end with a window and hash table fitted to its size. Longer
// data is compressed as it comes with the usual tables.
class Deflater : public Pipeline {
  public:
    explicit Deflater(std::string& out) : Pipeline("deflate", nullptr), out_(out) {}
    ~Deflater() override {
        if (open_) deflateEnd(&z_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    void write(unsigned char const* data, size_t len) override {
        if (!open_ && held_.size() + len <= kHeld) {
            held_.append(reinterpret_cast<const char*>(data), len);
            return;
        }
        if (!open_) {
            start(kMaxBits);
            feed(held_.data(), held_.size(), Z_NO_FLUSH);
            std::string().swap(held_);
        }
        feed(reinterpret_cast<const char*>(data), len, Z_NO_FLUSH);
    }
    void finish() override {
        if (open_) {
            feed(nullptr, 0, Z_FINISH);
            return;
        }
        // The smallest window through which every match of the data can be reached.
        int bits = kMinBits;
        while (bits < kMaxBits && windowReach(bits) < held_.size()) ++bits;
        start(bits);
        // Such streams are a sheet's operators or an object stream of dictionaries, much
        // of it repeated: following 16 earlier places of a 3-byte start instead of 128, and
        // settling for a match of 64 bytes, finds nearly the same matches. On a 200-sheet
        // step-and-repeat job this took 1.3 % off the whole job for 0.1 % more bytes.
        deflateTune(&z_, 8, 16, 64, 16);
        feed(held_.data(), held_.size(), Z_FINISH);
    }

  private:
    static constexpr int kMinBits = 9, kMaxBits = 15;
    // What a window of 2^bits bytes reaches back (zlib keeps a look-ahead of 262 bytes).
    static std::size_t windowReach(int bits) { return (std::size_t{1} << bits) - 262; }
    static constexpr std::size_t kHeld = (std::size_t{1} << kMaxBits) - 262;

    void start(int bits) {
        // Memory level 8 (zlib's default) with the largest window; smaller windows get a
        // hash table and a symbol buffer of their own size.
        int memLevel = std::min(8, bits - 6);
        if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, bits, memLevel,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflate failed");
        open_ = true;
    }
    void feed(const char* p, std::size_t n, int flush) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(p));
        z_.avail_in = static_cast<uInt>(n);
        unsigned char buf[16384];
        for (;;) {
            z_.next_out = buf;
            z_.avail_out = sizeof buf;
            int rc = ::deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
            out_.append(reinterpret_cast<const char*>(buf), sizeof buf - z_.avail_out);
            if (flush == Z_FINISH ? rc == Z_STREAM_END : z_.avail_out != 0) break;
        }
    }

    std::string& out_;
    std::string held_;
    z_stream z_{};
    bool open_ = false;
};

std::string deflate(const std::string& data) {
    std::string out;
    Deflater d(out);
    d.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    d.finish();
    return out;
}

bool isOptionalContent(QPDFObjectHandle v) {
    QPDFObjectHandle t = v.getKey("/Type");
    return t.isName() && (t.getName() == "/OCG" || t.getName() == "/OCMD");
}

void ownObjects(QPDFObjectHandle page, std::vector<QPDFObjectHandle>& out) {
    pageOwnObjects(page.getKey("/Contents"), page.getKey("/Resources"), out);
}

// An anonymous file in $TMPDIR (/tmp without it), gone when it is closed.
FILE* openSpool(char* buffer) {
    const char* env = std::getenv("TMPDIR");
    std::string dir = env && *env ? env : "/tmp";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string path = dir + "/.vexa-spool.XXXXXX";
        fd = ::mkstemp(path.data());
        if (fd >= 0) ::unlink(path.c_str());
    }
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "w+b");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(f, buffer, _IOFBF, kSpoolBuffer);
    return f;
}

}  // namespace

void pageOwnObjects(QPDFObjectHandle c, QPDFObjectHandle r, std::vector<QPDFObjectHandle>& out) {
    if (c.isStream() && c.isIndirect()) {
        out.push_back(c);
    } else if (c.isArray()) {
        for (auto& e : c.aitems())
            if (e.isStream() && e.isIndirect()) out.push_back(e);
    }
    if (!r.isDictionary() || r.isIndirect()) return;
    QPDFObjectHandle props = r.getKey("/Properties");
    if (!props.isDictionary() || props.isIndirect()) return;
    for (auto& [name, v] : entriesOf(props))
        if (v.isIndirect() && v.isDictionary() && !isOptionalContent(v)) out.push_back(v);
}

struct StreamWriter::Sink {
    FILE* f;
    long long& pos;
    // For the finished file: the disk is set to work on what is written every few MB,
    // so that syncing the file at the end waits for the last part only.
    bool writeBack = false;
    long long pending = 0;
    void write(const char* p, std::size_t n) {
        if (n && std::fwrite(p, 1, n, f) != n) throw std::runtime_error("write failed");
        counted(static_cast<long long>(n));
    }
    void write(const std::string& s) { write(s.data(), s.size()); }
    // Appends n bytes of the file fd from offset at, copied within the kernel where the
    // two files allow it. False when the file does not hold them (or cannot be read);
    // throws when the output cannot be written.
    bool copyFrom(int fd, long long at, long long n) {
        if (std::fflush(f) != 0) throw std::runtime_error("write failed");
        off_t start = ::ftello(f);
        if (start < 0) throw std::runtime_error("write failed");
        loff_t in = at, to = start;
        bool buffered = false;  // the two files do not allow a copy within the kernel
        while (n > 0) {
            ssize_t k =
                ::copy_file_range(fd, &in, ::fileno(f), &to, static_cast<std::size_t>(n), 0);
            if (k > 0) {
                n -= k;
                continue;
            }
            int err = k < 0 ? errno : 0;
            if (err == EINTR) continue;
            if (err == ENOSPC || err == EDQUOT || err == EFBIG)
                throw std::runtime_error("write failed");
            // Not between these files (another file system, an old kernel): the rest goes
            // through a buffer. Otherwise the file ends before the bytes do, or cannot be
            // read.
            buffered = err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP;
            break;
        }
        if (::fseeko(f, to, SEEK_SET) != 0) throw std::runtime_error("write failed");
        counted(static_cast<long long>(to - start));
        if (!buffered) return n == 0;
        std::vector<char> buf(std::size_t{1} << 16);
        while (n > 0) {
            ssize_t k = ::pread(fd, buf.data(),
                                static_cast<std::size_t>(
                                    std::min<long long>(static_cast<long long>(buf.size()), n)),
                                in);
            if (k <= 0) return false;
            write(buf.data(), static_cast<std::size_t>(k));
            in += k;
            n -= k;
        }
        return true;
    }
    // Counts n bytes written, and starts the disk on them every few MB.
    void counted(long long n) {
        pos += n;
        if (writeBack && (pending += n) >= kWriteBackStep) {
            pending = 0;
            if (std::fflush(f) != 0) throw std::runtime_error("write failed");
            // Best effort: not every file system starts writing on request.
            ::sync_file_range(::fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);
        }
    }
};

StreamWriter::StreamWriter(QPDF& q, bool objectStreams) : q_(q), objectStreams_(objectStreams) {
    spoolBuffer_.reset(new char[kSpoolBuffer]);  // not cleared: pages used as written
    spool_ = openSpool(spoolBuffer_.get());
    if (!spool_)
        throw std::runtime_error("no temporary file in $TMPDIR for the document being written");
}

StreamWriter::~StreamWriter() {
    if (spool_) std::fclose(spool_);
}

int StreamWriter::numberOf(State& s, QPDFObjectHandle h) {
    QPDFObjGen og = h.getObjGen();
    if (int known = s.numbers.find(og)) return known;
    int n = static_cast<int>(s.locs.size());
    s.locs.emplace_back();
    s.numbers.add(og, n);
    s.todo.push_back(Todo{n, h});
    return n;
}

void StreamWriter::serialize(State& s, std::string& out, QPDFObjectHandle h, int depth) {
    if (depth > 0 && h.isIndirect()) {
        if (h.getOwningQPDF() != &q_) {
            out += "null";
            return;
        }
        out += std::to_string(numberOf(s, h));
        out += " 0 R";
        return;
    }
    if (depth > kMaxDepth) {
        out += "null";
        return;
    }
    if (h.isArray()) {
        out += '[';
        bool first = true;
        for (auto& e : h.aitems()) {
            if (!first) out += ' ';
            first = false;
            serialize(s, out, e, depth + 1);
        }
        out += ']';
    } else if (h.isDictionary()) {
        out += "<<";
        for (auto& [k, v] : entriesOf(h)) {
            if (!v.isIndirect() && v.isNull()) continue;
            appendName(out, k);
            out += ' ';
            serialize(s, out, v, depth + 1);
        }
        out += ">>";
    } else if (h.isStream()) {
        out += "null";  // a stream is never direct
    } else {
        // The value itself, also for an object that is a number or null of its own
        // (e.g. the target of an indirect /Length).
        out += h.unparseResolved();
    }
}

void StreamWriter::writeTopLevel(State& s, Sink& out, int num, const std::string& text) {
    s.locs[num] = Loc::at(s.pos);
    out.write(std::to_string(num) + " 0 obj\n");
    out.write(text);
    out.write("\nendobj\n");
}

std::string StreamWriter::streamDict(State& s, QPDFObjectHandle dict, bool plain) {
    std::string text = "<<";
    for (auto& [k, v] : entriesOf(dict)) {
        if (k == "/Length" || (!v.isIndirect() && v.isNull())) continue;
        if (plain && (k == "/Filter" || k == "/DecodeParms")) continue;
        appendName(text, k);
        text += ' ';
        serialize(s, text, v, 1);
    }
    return text;
}

void StreamWriter::writeStream(State& s, Sink& out, int num, QPDFObjectHandle h) {
    QPDFObjectHandle dict = h.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    bool plain = filter.isNull() || (filter.isArray() && filter.getArrayNItems() == 0);
    // Metadata stays readable as text; other plain streams are compressed. Filtered
    // streams are carried over as they are stored.
    bool compress = plain && !dict.getKey("/Type").isNameAndEquals("/Metadata");
    // Large streams carried as they are: those whose length says so, and images (a
    // stream copied from another document has no length until its data is read).
    QPDFObjectHandle length = dict.getKey("/Length");
    bool known = length.isInteger() && length.getIntValue() >= 0;
    if (!compress &&
        (known ? length.getIntValue() >= kPipedStream
               : dict.getKey("/Subtype").isNameAndEquals("/Image")) &&
        writeStreamPiped(s, out, num, h, plain, known ? length.getIntValue() : -1))
        return;
    std::string data;
    bool ok;
    bool filtered = false;
    if (compress) {
        Deflater fl(data);
        ok = h.pipeStreamData(&fl, &filtered, 0, qpdf_dl_none, false, false);
    } else {
        Pl_String sink("stream", nullptr, data);
        ok = h.pipeStreamData(&sink, &filtered, 0, qpdf_dl_none, false, false);
    }
    if (!ok) throw std::runtime_error("the data of a stream cannot be read");
    std::string text = streamDict(s, dict, plain);
    if (compress) text += "/Filter /FlateDecode";
    text += "/Length " + std::to_string(data.size()) + ">>";
    writeStreamObject(s, out, num, text, data);
}

namespace {

// Stream data passed on to the file as it is read.
class SinkPipeline : public Pipeline {
  public:
    SinkPipeline(std::function<void(const char*, std::size_t)> write)
        : Pipeline("file", nullptr), write_(std::move(write)) {}
    void write(unsigned char const* data, size_t len) override {
        write_(reinterpret_cast<const char*>(data), len);
        bytes += static_cast<long long>(len);
    }
    void finish() override {}
    long long bytes = 0;

  private:
    std::function<void(const char*, std::size_t)> write_;
};

}  // namespace

bool StreamWriter::writeStreamPiped(State& s, Sink& out, int num, QPDFObjectHandle h, bool plain,
                                    long long length) {
    // A large stream carried as it is goes from the source file to this one in the
    // reader's blocks, without a copy of the whole of it in memory. The dictionary says
    // the length the stream gives for itself; should the data turn out otherwise, the
    // object is written again over what was written, the usual way. A stream that gives
    // none (length < 0) gets room for its length, filled in once the data is written.
    off_t start = ::ftello(out.f);
    if (start < 0) return false;
    long long startPos = s.pos;
    std::string text = streamDict(s, h.getDict(), plain) + "/Length ";
    s.locs[num] = Loc::at(s.pos);
    out.write(std::to_string(num) + " 0 obj\n");
    out.write(text);
    off_t room = ::ftello(out.f);
    out.write(length >= 0 ? std::to_string(length) : std::string(kLengthRoom, ' '));
    out.write(">>\nstream\n");
    // The data as it is stored in a source file is copied from that file within the
    // kernel, from the second piece QPDF reads on (see RawCopy.h).
    RawCopy raw(
        [&out](const RawCopy::Span& span) { return out.copyFrom(span.fd, span.at, span.length); });
    SinkPipeline pipe([&out, &raw](const char* p, std::size_t n) {
        if (!raw.handOn(p, n)) out.write(p, n);
    });
    bool filtered = false;
    bool ok = h.pipeStreamData(&pipe, &filtered, 0, qpdf_dl_none, false, false);
    ok = raw.finish() && ok;
    std::string said = std::to_string(pipe.bytes);
    if (ok && length < 0 && room >= 0 && said.size() <= kLengthRoom) {
        off_t end = ::ftello(out.f);
        if (end < 0 || ::fseeko(out.f, room, SEEK_SET) != 0 ||
            std::fwrite(said.data(), 1, said.size(), out.f) != said.size() ||
            ::fseeko(out.f, end, SEEK_SET) != 0)
            throw std::runtime_error("write failed");
        length = pipe.bytes;
    }
    if (ok && pipe.bytes == length) {
        out.write("\nendstream\nendobj\n");
        return true;
    }
    // Back to where the object began; what follows is written over, and cut off if the
    // object comes out shorter.
    if (std::fflush(out.f) != 0 || ::fseeko(out.f, start, SEEK_SET) != 0 ||
        ::ftruncate(::fileno(out.f), start) != 0)
        throw std::runtime_error("write failed");
    s.pos = startPos;
    s.locs[num] = Loc{};
    return false;
}

void StreamWriter::writeStreamObject(State& s, Sink& out, int num, const std::string& dict,
                                     const std::string& data) {
    s.locs[num] = Loc::at(s.pos);
    out.write(std::to_string(num) + " 0 obj\n");
    out.write(dict);
    out.write("\nstream\n");
    out.write(data);
    out.write("\nendstream\nendobj\n");
}

void StreamWriter::writeObject(State& s, Sink& out, QPDFObjectHandle h) {
    writeNumbered(s, out, numberOf(s, h), h);
}

void StreamWriter::writeNumbered(State& s, Sink& out, int num, QPDFObjectHandle h) {
    if (s.locs[num].type() != 0) return;
    if (h.isStream()) {
        writeStream(s, out, num, h);
        return;
    }
    std::string text;
    serialize(s, text, h, 0);
    if (!objectStreams_) {
        writeTopLevel(s, out, num, text);
        return;
    }
    s.locs[num] = Loc::packed();  // its stream is known when the stream is written
    s.packed.emplace_back(num, std::move(text));
    if (s.packed.size() >= kPerObjectStream) flushPacked(s, out);
}

void StreamWriter::flushPacked(State& s, Sink& out) {
    if (s.packed.empty()) return;
    int num = static_cast<int>(s.locs.size());
    s.locs.emplace_back();
    std::string head, body;
    for (std::size_t i = 0; i < s.packed.size(); ++i) {
        auto& [n, text] = s.packed[i];
        head += std::to_string(n) + ' ' + std::to_string(body.size()) + ' ';
        body += text;
        body += '\n';
        s.locs[n] = Loc::packed(num, static_cast<int>(i));
    }
    std::string data = deflate(head + body);
    std::string dict = "<</Type /ObjStm /N " + std::to_string(s.packed.size()) + " /First " +
                       std::to_string(head.size()) + " /Filter /FlateDecode /Length " +
                       std::to_string(data.size()) + ">>";
    s.packed.clear();
    writeStreamObject(s, out, num, dict, data);
}

void StreamWriter::drain(State& s, Sink& out) {
    while (!s.todo.empty()) {
        Todo t = std::move(s.todo.back());
        s.todo.pop_back();
        writeNumbered(s, out, t.num, t.h);
    }
}

void StreamWriter::writePages(const std::vector<QPDFObjectHandle>& pages,
                              const std::vector<QPDFObjectHandle>& pending, std::size_t upTo) {
    if (failed_) throw std::runtime_error("the document could not be written ahead");
    try {
        std::set<QPDFObjGen> keep;
        std::vector<QPDFObjectHandle> own;
        for (const auto& p : pending) {
            own.clear();
            ownObjects(p, own);
            for (auto& o : own) keep.insert(o.getObjGen());
        }
        State& s = state_;
        Sink out{spool_, s.pos};
        std::vector<QPDFObjectHandle> freed;
        for (const auto& page : pages) {
            if (pagesWritten_.count(page.getObjGen())) continue;
            own.clear();
            ownObjects(page, own);
            writeObject(s, out, page);
            for (auto& o : own) {
                if (keep.count(o.getObjGen())) continue;
                writeObject(s, out, o);
                freed.push_back(o);
            }
            pagesWritten_.insert(page.getObjGen());
        }
        upTo_ = std::max(upTo_, upTo);
        if (std::fflush(spool_) != 0 || std::ferror(spool_))
            throw std::runtime_error("write failed");
        // Free what was written: the page keeps what the page tree and views read.
        for (auto& o : freed) q_.replaceObject(o.getObjGen(), QPDFObjectHandle::newNull());
        static const std::set<std::string> kept = {"/Type",    "/Parent",   "/MediaBox",
                                                   "/CropBox", "/BleedBox", "/TrimBox",
                                                   "/ArtBox",  "/Rotate",   "/UserUnit"};
        for (QPDFObjectHandle page : pages)
            for (const auto& k : page.getKeys())
                if (!kept.count(k)) page.removeKey(k);
        // The numbers still to write are those of shared objects; what was written is
        // dropped from the list once it has doubled since the last time, so that a long
        // job does not look at every shared object again for every sheet.
        if (s.todo.size() >= 2 * s.todoKept + 64) {
            // (Written out for C++17: the fuzzing build compiles the host files that use
            // the QPDF headers in that standard.)
            s.todo.erase(std::remove_if(s.todo.begin(), s.todo.end(),
                                        [&](const Todo& t) { return s.locs[t.num].type() != 0; }),
                         s.todo.end());
            s.todoKept = s.todo.size();
        }
    } catch (...) {
        failed_ = true;
        throw;
    }
}

namespace {

// Whether target can be reached from the pages through their entries (their resources,
// contents, annotations, the forms those use), other pages and the page tree apart.
bool reachedFrom(const std::vector<QPDFObjectHandle>& pages, QPDFObjGen target) {
    std::set<QPDFObjGen> seen;
    std::vector<std::pair<QPDFObjectHandle, int>> todo;
    for (const auto& p : pages) {
        if (p.getObjGen() == target) return true;
        seen.insert(p.getObjGen());
        todo.emplace_back(p, 0);
    }
    while (!todo.empty()) {
        // (Not a structured binding: the lambda below uses depth, and the fuzzing build
        // is C++17.)
        QPDFObjectHandle h = todo.back().first;
        int depth = todo.back().second;
        todo.pop_back();
        if (depth > 64) continue;
        auto visit = [&](QPDFObjectHandle v) {
            if (v.isIndirect()) {
                if (v.getObjGen() == target) return true;
                if (!seen.insert(v.getObjGen()).second) return false;
                if (v.isDictionary()) {
                    QPDFObjectHandle t = v.getKey("/Type");
                    if (t.isName() && (t.getName() == "/Page" || t.getName() == "/Pages"))
                        return false;
                }
            }
            if (v.isDictionary() || v.isArray() || v.isStream()) todo.emplace_back(v, depth + 1);
            return false;
        };
        if (h.isArray()) {
            for (auto& e : h.aitems())
                if (visit(e)) return true;
            continue;
        }
        QPDFObjectHandle dict = h.isStream() ? h.getDict() : h;
        if (!dict.isDictionary()) continue;
        for (auto& [key, v] : dict.ditems())
            if (key != "/Parent" && visit(v)) return true;
    }
    return false;
}

}  // namespace

bool StreamWriter::writeShared(QPDFObjectHandle h, const std::vector<QPDFObjectHandle>& pending) {
    if (failed_) throw std::runtime_error("the document could not be written ahead");
    if (!h.isIndirect() || h.getOwningQPDF() != &q_) return false;
    State& s = state_;
    int num = s.numbers.find(h.getObjGen());
    if (num == 0 || s.locs[static_cast<std::size_t>(num)].type() != 0) return false;
    if (reachedFrom(pending, h.getObjGen())) return false;
    try {
        // What is still in the spool's buffer goes out with the next pages (a failure
        // then fails the writer as it would now).
        Sink out{spool_, s.pos};
        writeNumbered(s, out, num, h);
        if (std::ferror(spool_)) throw std::runtime_error("write failed");
    } catch (...) {
        failed_ = true;
        throw;
    }
    // A stream copied from another document: QPDF keeps its dictionary with the note of
    // where its data lies for as long as the document lives. Emptied, it holds nothing.
    if (h.isStream())
        for (const auto& key : h.getDict().getKeys()) h.getDict().removeKey(key);
    q_.replaceObject(h.getObjGen(), QPDFObjectHandle::newNull());
    return true;
}

void StreamWriter::copySpool(FILE* to) {
    if (std::fflush(spool_) != 0 || std::ferror(spool_) || std::fflush(to) != 0)
        throw std::runtime_error("write failed");
    int from = ::fileno(spool_), fd = ::fileno(to);
    off_t outStart = ::ftello(to);
    if (outStart < 0) throw std::runtime_error("write failed");
    loff_t in = 0, out = outStart;
    while (in < state_.pos) {
        ssize_t n =
            ::copy_file_range(from, &in, fd, &out, static_cast<std::size_t>(state_.pos - in), 0);
        if (n > 0) continue;
        // Not between these files (another file system, an old kernel): what is left
        // goes through a buffer.
        if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            throw std::runtime_error("write failed");
        break;
    }
    if (::fseeko(to, out, SEEK_SET) != 0) throw std::runtime_error("write failed");
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);  // as Sink::write does
    std::vector<char> buf(1 << 16);
    long long dummy = 0;
    Sink copy{to, dummy};
    while (in < state_.pos) {
        ssize_t n = ::pread(from, buf.data(),
                            static_cast<std::size_t>(std::min<long long>(
                                static_cast<long long>(buf.size()), state_.pos - in)),
                            in);
        if (n <= 0) throw std::runtime_error("the spool file cannot be read");
        copy.write(buf.data(), static_cast<std::size_t>(n));
        in += n;
    }
}

void StreamWriter::finish(FILE* to, int major, int minor) {
    if (failed_) throw std::runtime_error("the document could not be written ahead");
    // The file is finished from the writer's own state, and what that changes is put back
    // at the end, so that a later save starts again from what was written ahead. (A copy
    // of the state doubled the writer's tables at the end of a long job.)
    State& s = state_;
    const std::size_t numbered = s.locs.size();
    const long long pos = s.pos;
    std::vector<int> unwritten;
    for (std::size_t i = 1; i < numbered; ++i)
        if (s.locs[i].type() == 0) unwritten.push_back(static_cast<int>(i));
    s.todo.erase(std::remove_if(s.todo.begin(), s.todo.end(),
                                [&](const Todo& t) { return s.locs[t.num].type() != 0; }),
                 s.todo.end());
    s.todoKept = s.todo.size();
    std::vector<Todo> todo = s.todo;
    std::vector<std::pair<int, std::string>> packed = s.packed;
    struct Restore {
        std::function<void()> f;
        ~Restore() { f(); }
    } restore{[&] {
        for (int i : unwritten) s.locs[static_cast<std::size_t>(i)] = Loc{};
        for (const auto& p : packed) {
            s.locs[static_cast<std::size_t>(p.first)] = Loc::packed();
        }
        s.locs.resize(numbered);
        s.numbers.dropFrom(static_cast<int>(numbered));
        s.todo = std::move(todo);
        s.packed = std::move(packed);
        s.pos = pos;
    }};
    char header[32];
    int headerLen =
        std::snprintf(header, sizeof header, "%%PDF-%d.%d\n%%\xbf\xf7\xa2\xfe\n", major, minor);
    long long headerPos = 0;
    Sink head{to, headerPos};
    head.write(header, static_cast<std::size_t>(headerLen));
    const long long h = headerLen;
    // What was written ahead, copied within the kernel where it can.
    copySpool(to);
    Sink out{to, s.pos, true};
    QPDFObjectHandle trailer = q_.getTrailer();
    QPDFObjectHandle root = trailer.getKey("/Root");
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!root.isIndirect()) throw std::runtime_error("the document has no catalog");
    int rootNum = numberOf(s, root);
    int infoNum = info.isIndirect() && info.isDictionary() ? numberOf(s, info) : 0;
    drain(s, out);
    flushPacked(s, out);

    unsigned char random[16];
    QUtil::initializeWithRandomBytes(random, sizeof random);
    std::string id = QUtil::hex_encode(std::string(reinterpret_cast<char*>(random), sizeof random));
    std::string common = "/Root " + std::to_string(rootNum) + " 0 R";
    if (infoNum) common += " /Info " + std::to_string(infoNum) + " 0 R";
    common += " /ID [<" + id + "><" + id + ">]";

    bool anyPacked = false;
    for (const Loc& l : s.locs) anyPacked = anyPacked || l.type() == 2;
    if (anyPacked)
        writeXrefStream(s, out, h, common);
    else
        writeXrefTable(s, out, h, common);
}

void StreamWriter::writeXrefStream(State& s, Sink& out, long long h, const std::string& trailer) {
    int num = static_cast<int>(s.locs.size());
    s.locs.emplace_back();
    long long xrefAt = h + s.pos;
    s.locs[num] = Loc::at(s.pos);
    int w = 1;
    while (w < 8 && (xrefAt >> (8 * w)) != 0) ++w;
    std::string table;
    auto put = [&](long long v, int bytes) {
        for (int b = bytes - 1; b >= 0; --b) table += static_cast<char>((v >> (8 * b)) & 0xff);
    };
    for (std::size_t i = 0; i < s.locs.size(); ++i) {
        const Loc& l = s.locs[i];
        if (l.type() == 1) {
            put(1, 1);
            put(h + l.offset(), w);
            put(0, 2);
        } else if (l.type() == 2) {
            put(2, 1);
            put(l.stream(), w);
            put(l.index(), 2);
        } else {
            put(0, 1);
            put(0, w);
            put(i == 0 ? 65535 : 0, 2);
        }
    }
    std::string data = deflate(table);
    std::string dict = "<</Type /XRef /Size " + std::to_string(s.locs.size()) + " /W [1 " +
                       std::to_string(w) + " 2] " + trailer + " /Filter /FlateDecode /Length " +
                       std::to_string(data.size()) + ">>";
    writeStreamObject(s, out, num, dict, data);
    out.write("startxref\n" + std::to_string(xrefAt) + "\n%%EOF\n");
}

void StreamWriter::writeXrefTable(State& s, Sink& out, long long h, const std::string& trailer) {
    long long xrefAt = h + s.pos;
    std::string table = "xref\n0 " + std::to_string(s.locs.size()) + "\n";
    table.reserve(table.size() + 20 * s.locs.size());
    char entry[32];
    for (std::size_t i = 0; i < s.locs.size(); ++i) {
        if (i > 0 && s.locs[i].type() == 1)
            std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", h + s.locs[i].offset());
        else
            std::snprintf(entry, sizeof entry, "%010d %05d f \n", 0, i == 0 ? 65535 : 0);
        table += entry;
    }
    table += "trailer\n<</Size " + std::to_string(s.locs.size()) + " " + trailer + ">>\n";
    table += "startxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    out.write(table);
}

}  // namespace vexa::host::doc
