// Record framing: finds record terminators in the raw input and mends the pieces around them.
//
// The record layout that resynchronisation looks for (offsets from the record's first byte):
//
//   0..4    record length, five digits
//   12..16  base address of data B, five digits
//   24..    directory entries of 12 bytes: tag (3 letters or digits), length (4), start (5)
//   B-1     field terminator 0x1E closing the directory
//
// Only whole entries and an exact terminator at B-1 count, so stray digits in field data or
// an entry read at the wrong alignment do not pass.
#include "app/framer.h"

#include <algorithm>
#include <cstring>

#include "marc/constants.h"
#include "text/ascii.h"

namespace app {
namespace {

constexpr std::size_t npos = std::string_view::npos;

using text::isDigit;
bool isTagChar(char c) { return text::isLetterOrDigit(c); }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\x1A'; }

bool digitsAt(std::string_view s, std::size_t at, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!isDigit(s[at + i])) return false;
    return true;
}

// Whether a directory entry, tag (3 letters or digits) and 9 digits, starts at `at`.
bool entryAt(std::string_view s, std::size_t at) {
    return isTagChar(s[at]) && isTagChar(s[at + 1]) && isTagChar(s[at + 2]) && digitsAt(s, at + 3, 9);
}

// Whether a leader at `at` holds a record length in digits and the base address `base`.
bool leaderAt(std::string_view s, std::size_t at, std::size_t base) {
    if (!digitsAt(s, at, 5) || !digitsAt(s, at + 12, 5)) return false;
    std::size_t written = 0;
    for (std::size_t i = 0; i < 5; ++i) written = written * 10 + static_cast<std::size_t>(s[at + 12 + i] - '0');
    return written == base;
}

// Offset of the field terminator that ends the directory of a plausible leader at `at`.
std::size_t directoryEnd(std::string_view s, std::size_t at) {
    constexpr std::size_t kLeader = marc::kLeaderLength;
    constexpr std::size_t kEntry = marc::kDirectoryEntryLength;
    if (s.size() - at < kLeader + kEntry + 1 || !digitsAt(s, at + 12, 5)) return npos;
    std::size_t base = 0;
    for (std::size_t i = 0; i < 5; ++i) base = base * 10 + static_cast<std::size_t>(s[at + 12 + i] - '0');
    if (base < kLeader + kEntry + 1 || (base - kLeader - 1) % kEntry != 0) return npos;
    if (base > s.size() - at || s[at + base - 1] != marc::kFieldTerminator) return npos;
    if (!leaderAt(s, at, base)) return npos;
    for (std::size_t e = at + kLeader; e < at + base - 1; e += kEntry)
        if (!entryAt(s, e)) return npos;
    return at + base - 1;
}

}  // namespace

std::size_t findRecordStart(std::string_view piece) {
    constexpr std::size_t kLeader = marc::kLeaderLength;
    constexpr std::size_t kEntry = marc::kDirectoryEntryLength;
    std::size_t from = 1;
    // A record that starts at 0 owns its directory: entries read at another alignment there are
    // digits too, and must not pass for a leader.
    if (std::size_t own = directoryEnd(piece, 0); own != npos) from = own + 1;
    // Every directory ends at a field terminator, so only those are visited, walking back over
    // whole entries to a leader that names that terminator as its base address. A later
    // terminator cannot give an earlier start: its directory would have to span this one.
    const char* const begin = piece.data();
    std::size_t t = from;
    while (t < piece.size()) {
        const void* hit = std::memchr(begin + t, marc::kFieldTerminator, piece.size() - t);
        if (!hit) break;
        t = static_cast<std::size_t>(static_cast<const char*>(hit) - begin);
        std::size_t found = npos;
        for (std::size_t e = t; e >= from + kLeader + kEntry && entryAt(piece, e - kEntry); e -= kEntry) {
            std::size_t k = e - kEntry - kLeader;
            if (leaderAt(piece, k, t - k + 1)) found = k;
        }
        if (found != npos) return found;
        ++t;
    }
    return npos;
}

bool holdsRecordLeader(std::string_view block) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto printable = [](char c) { return c >= 0x20 && c <= 0x7E; };
    for (std::size_t at = 0; at + 24 <= block.size(); ++at) {
        if (!digit(block[at])) continue;
        const std::string_view leader = block.substr(at, 24);
        bool ok = true;
        for (std::size_t i = 0; ok && i < 24; ++i)
            ok = printable(leader[i]) && ((i > 4 && (i < 12 || i > 16)) || digit(leader[i]));
        if (ok) return true;
    }
    return false;
}

void cleanRecord(std::string_view raw, std::string& out) {
    // Line breaks become spaces, so they trim like spaces.
    std::size_t b = 0, e = raw.size();
    while (b < e && (raw[b] == ' ' || isLineBreak(raw[b]))) ++b;
    while (e > b && (raw[e - 1] == ' ' || isLineBreak(raw[e - 1]))) --e;
    std::string_view body = raw.substr(b, e - b);
    if (!std::memchr(body.data(), '\n', body.size()) && !std::memchr(body.data(), '\r', body.size())) {
        out.assign(body);
        return;
    }
    out.clear();
    std::size_t i = 0;
    while (i < body.size()) {
        std::size_t j = i;
        while (j < body.size() && !isLineBreak(body[j])) ++j;
        out.append(body.data() + i, j - i);
        if (j == body.size()) break;
        out.append("  ");
        j += (body[j] == '\r' && j + 1 < body.size() && body[j + 1] == '\n') ? 2 : 1;
        i = j;
    }
}

void RecordFramer::feed(std::string_view bytes) {
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        base_ += pos_;
        pos_ = 0;
    }
    buf_.append(bytes);
}

void RecordFramer::finish() { eof_ = true; }

void RecordFramer::countLines(std::size_t from, std::size_t to) {
    if (from == to) return;
    // Most records hold no line break: two memchr passes settle that.
    const char* p = buf_.data();
    const void* lf = std::memchr(p + from, '\n', to - from);
    const void* cr = std::memchr(p + from, '\r', to - from);
    if (!lf && !cr) {
        lastCr_ = false;
        return;
    }
    if (!lastCr_ || p[from] != '\n') {
        std::size_t first = static_cast<std::size_t>(
            (!lf ? static_cast<const char*>(cr) : !cr ? static_cast<const char*>(lf)
                                                    : std::min(static_cast<const char*>(lf), static_cast<const char*>(cr))) - p);
        lastCr_ = false;
        from = first;
    }
    for (std::size_t i = from; i < to; ++i) {
        char c = buf_[i];
        if (c == '\r') {
            ++line_;
            lastCr_ = true;
        } else {
            if (c == '\n' && !lastCr_) ++line_;
            lastCr_ = false;
        }
    }
}

void RecordFramer::skipBlanks() {
    std::size_t i = pos_;
    while (i < buf_.size() && (buf_[i] == ' ' || isLineBreak(buf_[i]))) ++i;
    countLines(pos_, i);
    pos_ = i;
}

Frame RecordFramer::take(std::size_t end, std::string_view problem) {
    Frame f;
    f.bytes = std::string_view(buf_).substr(pos_, end - pos_);
    f.line = line_;
    f.offset = base_ + pos_;
    f.problem = problem;
    countLines(pos_, end);
    pos_ = end;
    return f;
}

bool RecordFramer::overlongEnd(std::size_t& end, bool ends) {
    // A good record may follow the junk: the overlong piece ends where one starts.
    if (const std::size_t k = findRecordStart(std::string_view(buf_).substr(pos_, end - pos_)); k != npos) {
        end = pos_ + k;
        overlong_ = false;
        return true;
    }
    overlong_ = !ends;
    if (ends) return true;
    // Held back: the start of a record whose leader and directory have not all come yet.
    if (end - pos_ <= kLongestDirectory) return false;
    end -= kLongestDirectory;
    return true;
}

bool RecordFramer::next(Frame& frame) {
    const std::size_t size = buf_.size();
    if (overlong_) {
        if (pos_ == size && !eof_) return false;
        const void* hit = std::memchr(buf_.data() + pos_, marc::kRecordTerminator, size - pos_);
        std::size_t end = hit ? static_cast<const char*>(hit) - buf_.data() + 1 : size;
        if (!overlongEnd(end, hit || eof_)) return false;
        frame = take(end, kTooLong);
        frame.continuation = true;
        frame.continues = overlong_;
        return true;
    }
    if (pieceEnd_ == 0) {
        skipBlanks();
        if (pos_ == size) return false;
        const void* hit = std::memchr(buf_.data() + pos_, marc::kRecordTerminator, size - pos_);
        if (hit) {
            pieceEnd_ = static_cast<const char*>(hit) - buf_.data() + 1;
            pieceIsTail_ = false;
        } else if (eof_) {
            std::size_t i = pos_;
            while (i < size && isBlank(buf_[i])) ++i;
            if (i == size) {  // spaces, line breaks and an end-of-file mark: nothing is lost
                countLines(pos_, size);
                pos_ = size;
                return false;
            }
            pieceEnd_ = size;
            pieceIsTail_ = true;
        } else if (size - pos_ > kMaxRecordBytes) {
            std::size_t end = size;
            overlongEnd(end, false);
            frame = take(end, kTooLong);
            frame.continues = overlong_;
            return true;
        } else {
            return false;
        }
    }
    std::string_view piece = std::string_view(buf_).substr(pos_, pieceEnd_ - pos_);
    if (std::size_t k = findRecordStart(piece); k != npos) {
        frame = take(pos_ + k, kNextRecordInside);
        return true;
    }
    std::size_t end = pieceEnd_;
    pieceEnd_ = 0;
    frame = take(end, pieceIsTail_ ? kCutShort : std::string_view{});
    return true;
}

}  // namespace app
