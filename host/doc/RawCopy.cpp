#include "doc/RawCopy.h"

#include <utility>

namespace vexa::host::doc {

namespace {

thread_local RawCopy* tArmed = nullptr;

}  // namespace

RawCopy::RawCopy(std::function<bool(const Span&)> copy) : copy_(std::move(copy)), outer_(tArmed) {
    tArmed = this;
}

RawCopy::~RawCopy() {
    tArmed = outer_;
}

RawCopy* RawCopy::armed() {
    return tArmed;
}

bool RawCopy::take(int fd, long long at, const char* buffer, std::size_t n) {
    // A read taken whose buffer went anywhere but to the writer: nothing more is taken,
    // and the stream is written again the ordinary way.
    if (last_.taken && !last_.handed) sound_ = false;
    bool follows = sound_ && last_.handed && fd >= 0 && last_.fd == fd &&
                   last_.at + static_cast<long long>(last_.n) == at && n > 0;
    last_ = Read{fd, at, buffer, n, follows, false};
    return follows;
}

bool RawCopy::handOn(const void* data, std::size_t n) {
    if (!last_.handed && last_.buffer && data == last_.buffer && n == last_.n) {
        last_.handed = true;
        if (!last_.taken) {
            flush();
            return false;
        }
        if (pending_.length > 0 &&
            (pending_.fd != last_.fd || pending_.at + pending_.length != last_.at))
            flush();
        if (pending_.length == 0) pending_ = Span{last_.fd, last_.at, 0};
        pending_.length += static_cast<long long>(n);
        return true;
    }
    if (last_.taken && !last_.handed) sound_ = false;
    flush();
    return false;
}

void RawCopy::flush() {
    if (pending_.length == 0) return;
    Span span = pending_;
    pending_ = Span{};
    if (sound_ && !copy_(span)) sound_ = false;
}

bool RawCopy::finish() {
    if (last_.taken && !last_.handed) sound_ = false;
    flush();
    return sound_;
}

}  // namespace vexa::host::doc
