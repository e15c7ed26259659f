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
#include <vector>

#include "marc/constants.h"
#include "marc/detail.h"
#include "text/ascii.h"

namespace app {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t kLeader = marc::kLeaderLength;
constexpr std::size_t kEntry = marc::kDirectoryEntryLength;

using text::isDigit;
bool isTagChar(char c) { return text::isLetterOrDigit(c); }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
bool isFiller(char c) { return c == ' ' || c == '\0' || c == '\x1A'; }
bool holdsLineBreak(std::string_view s) {
    return std::memchr(s.data(), '\n', s.size()) || std::memchr(s.data(), '\r', s.size());
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
    return digitsAt(s, at, 5) && digitsAt(s, at + 12, 5) &&
           static_cast<std::size_t>(marc::detail::numberOrNone(s.substr(at + 12, 5))) == base;
}

// Whether a record starts at `at`: a record length in digits, and a directory entry at 24.
bool recordAt(std::string_view s, std::size_t at) {
    return s.size() - at >= kLeader + kEntry && digitsAt(s, at, 5) && entryAt(s, at + kLeader);
}

// Offset of the field terminator that ends the directory of a plausible leader at `at`.
std::size_t directoryEnd(std::string_view s, std::size_t at) {
    if (s.size() - at < kLeader + kEntry + 1 || !digitsAt(s, at + 12, 5)) return npos;
    const auto base = static_cast<std::size_t>(marc::detail::numberOrNone(s.substr(at + 12, 5)));
    if (base < kLeader + kEntry + 1 || (base - kLeader - 1) % kEntry != 0) return npos;
    if (base > s.size() - at || s[at + base - 1] != marc::kFieldTerminator) return npos;
    if (!leaderAt(s, at, base)) return npos;
    for (std::size_t e = at + kLeader; e < at + base - 1; e += kEntry)
        if (!entryAt(s, e)) return npos;
    return at + base - 1;
}

/// What the directory of the record that starts `s` says of the bytes: where its fields lie. The
/// directory runs from byte 24 to the first field terminator, as the reader reads it; the data
/// starts right behind that terminator (the leader's base address is not trusted).
struct Layout {
    std::size_t end = npos;  ///< just past the field that ends last: where the record terminator is
                             ///< due; npos when the directory is not whole entries with numbers
    bool bad = false;        ///< a field within `s` has length 0 or does not end with a terminator
    bool past = false;       ///< a field runs past the end of `s`
    bool fits() const { return end != npos && !bad && !past; }
};

/// Whether a field's last byte ends it: a field terminator, or the record terminator of a field
/// that lost its own.
bool endsField(char c) { return c == marc::kFieldTerminator || c == marc::kRecordTerminator; }

/// The layout with lengths and positions counted in bytes.
Layout byteLayout(std::string_view s) {
    Layout l;
    const void* hit = std::memchr(s.data(), marc::kFieldTerminator, s.size());
    if (!hit) return l;
    const auto ft = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
    if (ft < kLeader + kEntry || (ft - kLeader) % kEntry != 0) return l;
    const std::size_t base = ft + 1;
    std::size_t end = 0;
    for (std::size_t e = kLeader; e < ft; e += kEntry) {
        const int length = marc::detail::numberOrNone(s.substr(e + 3, 4));
        const int start = marc::detail::numberOrNone(s.substr(e + 7, 5));
        if (length < 0 || start < 0) return l;
        const std::size_t fieldEnd =
            base + static_cast<std::size_t>(start) + static_cast<std::size_t>(length);
        end = std::max(end, fieldEnd);
        if (fieldEnd > s.size())
            l.past = true;
        else if (length == 0 || !endsField(s[fieldEnd - 1]))
            l.bad = true;
    }
    l.end = end;
    return l;
}

/// The layout with lengths and positions counted in characters of UTF-8 text, as some systems
/// write them; `end` is still a byte offset.
Layout charLayout(std::string_view s) {
    Layout l;
    const auto ft = s.find(marc::kFieldTerminator);
    if (ft == npos || ft < kLeader + kEntry || (ft - kLeader) % kEntry != 0) return l;
    const std::size_t base = ft + 1;
    // Byte offset of every character of the data, and of the end.
    std::vector<std::size_t> at;
    at.reserve(s.size() - base + 1);
    for (std::size_t i = base; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) at.push_back(i);
    at.push_back(s.size());
    std::size_t end = 0;
    for (std::size_t e = kLeader; e < ft; e += kEntry) {
        const int length = marc::detail::numberOrNone(s.substr(e + 3, 4));
        const int start = marc::detail::numberOrNone(s.substr(e + 7, 5));
        if (length < 0 || start < 0) return l;
        const std::size_t last = static_cast<std::size_t>(start) + static_cast<std::size_t>(length);
        if (last >= at.size()) {
            l.past = true;
            continue;
        }
        end = std::max(end, at[last]);
        if (length == 0 || !endsField(s[at[last] - 1])) l.bad = true;
    }
    l.end = end;
    return l;
}

/// Whether `l` accounts for all of `r`: its fields fit, and the record terminator, `r`'s last
/// byte, follows the last one (or ends it).
bool accounts(std::string_view r, const Layout& l) {
    return l.fits() && (l.end == r.size() - 1 || l.end == r.size());
}

bool holdsHighBytes(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

/// `piece` without its line breaks, in `out`.
void dropLineBreaks(std::string_view piece, std::string& out) {
    out.clear();
    for (char c : piece)
        if (!isLineBreak(c)) out.push_back(c);
}

/// The record length a leader at `at` names in digits, or npos.
std::size_t namedLength(std::string_view s, std::size_t at) {
    if (s.size() - at < 5 || !digitsAt(s, at, 5)) return npos;
    return static_cast<std::size_t>(marc::detail::numberOrNone(s.substr(at, 5)));
}

/// Where a sound record starts inside `piece` and runs to its end (its leader names that length,
/// its directory accounts for the bytes), when the piece's own leader does not name the piece:
/// the head is what is left of a record that lost its leader or its terminator, and its directory
/// only seems to account for the bytes. A record whose leader names it, quoting another that ends
/// where it ends, stays one. npos otherwise.
std::size_t soundRecordBehindHead(std::string_view piece) {
    if (directoryEnd(piece, 0) != npos && namedLength(piece, 0) == piece.size()) return npos;
    for (std::size_t from = 0;;) {
        const std::size_t k = findRecordStart(piece.substr(from));
        if (k == npos) return npos;
        from += k;
        if (namedLength(piece, from) == piece.size() - from && directoryAccountsFor(piece.substr(from)))
            return from;
    }
}

}  // namespace

std::size_t findRecordStart(std::string_view piece) {
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
    // Every directory ends at a field terminator: walk back from each over an entry that may be
    // cut short and whole entries to a leader's record length.
    const char* const begin = block.data();
    for (std::size_t t = kLeader + kEntry; t < block.size(); ++t) {
        const void* hit = std::memchr(begin + t, marc::kFieldTerminator, block.size() - t);
        if (!hit) break;
        t = static_cast<std::size_t>(static_cast<const char*>(hit) - begin);
        for (std::size_t cut = 0; cut < kEntry && cut + kLeader + kEntry <= t; ++cut) {
            bool partial = true;
            for (std::size_t j = 0; partial && j < cut; ++j)
                partial = j < 3 ? isTagChar(block[t - cut + j]) : isDigit(block[t - cut + j]);
            if (!partial) continue;
            // The leader's own last bytes may pass for an entry: a record length is looked for
            // in front of every entry on the way.
            for (std::size_t e = t - cut; e >= kLeader + kEntry && entryAt(block, e - kEntry);) {
                e -= kEntry;
                if (digitsAt(block, e - kLeader, 5)) return true;
            }
        }
    }
    return false;
}

bool directoryAccountsFor(std::string_view record) {
    if (record.empty() || record.back() != marc::kRecordTerminator) return false;
    const Layout bytes = byteLayout(record);
    if (accounts(record, bytes)) return true;
    // Character counts make a field end later than byte counts, never earlier.
    return bytes.end != npos && holdsHighBytes(record) && accounts(record, charLayout(record));
}

std::string_view cleanedRecord(std::string_view raw, std::string& spare) {
    std::size_t b = 0, e = raw.size();
    while (b < e && (raw[b] == ' ' || isLineBreak(raw[b]))) ++b;
    while (e > b && (raw[e - 1] == ' ' || isLineBreak(raw[e - 1]))) --e;
    const std::string_view body = raw.substr(b, e - b);
    if (!holdsLineBreak(body) || directoryAccountsFor(body)) return body;
    dropLineBreaks(body, spare);
    return directoryAccountsFor(spare) ? std::string_view(spare) : body;
}

void cleanRecord(std::string_view raw, std::string& out) {
    const std::string_view cleaned = cleanedRecord(raw, out);
    if (cleaned.data() != out.data()) out.assign(cleaned);
}

void RecordFramer::feed(std::string_view bytes) {
    char* to = room(bytes.size());
    if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
    added(bytes.size());
}

char* RecordFramer::room(std::size_t size) {
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        base_ += pos_;
        if (pieceEnd_ > 0) pieceEnd_ -= pos_;
        pos_ = 0;
    }
    const std::size_t held = buf_.size();
    buf_.resize(held + size);
    room_ = size;
    return buf_.data() + held;
}

void RecordFramer::added(std::size_t n) {
    buf_.resize(buf_.size() - room_ + std::min(n, room_));
    room_ = 0;
}

std::string_view RecordFramer::held(std::uint64_t from) const {
    if (from < base_ || from >= base_ + buf_.size()) return {};
    return std::string_view(buf_).substr(static_cast<std::size_t>(from - base_));
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
            (!lf   ? static_cast<const char*>(cr)
             : !cr ? static_cast<const char*>(lf)
                   : std::min(static_cast<const char*>(lf), static_cast<const char*>(cr))) -
            p);
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
    for (; i < buf_.size(); ++i) {
        const char c = buf_[i];
        if (isLineBreak(c))
            ++lineBreaks_;
        else if (isFiller(c))
            ++filler_;
        else
            break;
    }
    countLines(pos_, i);
    pos_ = i;
}

Frame RecordFramer::take(std::size_t end, std::optional<problem::Kind> problem) {
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

Frame RecordFramer::whole(std::optional<problem::Kind> problem) {
    const std::size_t end = pieceEnd_;
    pieceEnd_ = 0;
    return take(end, problem);
}

bool RecordFramer::cut(Frame& frame) {
    const std::string_view rest = std::string_view(buf_).substr(pos_);
    const std::string_view piece = rest.substr(0, pieceEnd_ - pos_);
    if (!pieceIsTail_) {
        if (directoryAccountsFor(piece)) {
            if (const std::size_t k = soundRecordBehindHead(piece); k != npos)
                return frame = take(pos_ + k, problem::Kind::NextRecordInside), true;
            return frame = whole({}), true;
        }
        if (holdsLineBreak(piece)) {
            // A sound record as it stands comes before a reading that joins lines.
            if (const std::size_t k = soundRecordBehindHead(piece); k != npos)
                return frame = take(pos_ + k, problem::Kind::NextRecordInside), true;
            dropLineBreaks(piece, unwrapped_);
            if (directoryAccountsFor(unwrapped_)) return frame = whole({}), true;
        }
    }
    // The directory (inside the piece) read over all the bytes held: a record may hold a record
    // terminator in a field, and run past the piece.
    const bool directoryInPiece = std::memchr(piece.data(), marc::kFieldTerminator, piece.size()) != nullptr;
    const Layout l = directoryInPiece ? byteLayout(rest) : Layout{};
    if (!l.bad && l.end != npos) {
        // The record lost its terminator, or has another byte in its place, and the next one
        // starts right behind its last field.
        for (std::size_t next = l.end; !l.past && next <= l.end + 1 && next < piece.size(); ++next)
            if (recordAt(piece, next))
                return frame = take(pos_ + next, problem::Kind::NextRecordInside), true;
        // A record terminator inside a field: the record ends at the one its directory names,
        // where its leader names that length too (a damaged directory alone may reach into the
        // records behind).
        if (!pieceIsTail_ && l.end >= piece.size() && namedLength(rest, 0) == l.end + 1) {
            if (l.past || l.end >= rest.size()) {
                if (!eof_) return false;  // wait for the bytes its directory names
            } else if (rest[l.end] == marc::kRecordTerminator &&
                       directoryAccountsFor(rest.substr(0, l.end + 1))) {
                pieceEnd_ = pos_ + l.end + 1;
                return frame = whole({}), true;
            }
        }
    }
    if (const std::size_t k = findRecordStart(piece); k != npos)
        return frame = take(pos_ + k, problem::Kind::NextRecordInside), true;
    if (pieceIsTail_) return frame = whole(problem::Kind::CutShort), true;
    if (piece.size() > static_cast<std::size_t>(marc::kMaxPosition))
        return frame = whole(problem::Kind::RecordOver99999), true;
    if (l.fits() && l.end < piece.size() - 1) return frame = whole(problem::Kind::BytesAfterFields), true;
    frame = whole({});
    return true;
}

bool RecordFramer::next(Frame& frame) {
    const std::size_t size = buf_.size();
    if (overlong_) {
        if (pos_ == size && !eof_) return false;
        const void* hit = std::memchr(buf_.data() + pos_, marc::kRecordTerminator, size - pos_);
        std::size_t end = hit ? static_cast<const char*>(hit) - buf_.data() + 1 : size;
        if (!overlongEnd(end, hit || eof_)) return false;
        frame = take(end, problem::Kind::TooLong);
        frame.continuation = true;
        frame.continues = overlong_;
        return true;
    }
    if (!startSeen_) {
        // A UTF-8 byte order mark before the first record is no part of it.
        const std::string_view held(buf_);
        if (held.size() < kByteOrderMark.size() && !eof_ && kByteOrderMark.starts_with(held)) return false;
        startSeen_ = true;
        if (held.starts_with(kByteOrderMark)) {
            pos_ = kByteOrderMark.size();
            filler_ += kByteOrderMark.size();
        }
    }
    if (pieceEnd_ == 0) {
        skipBlanks();
        if (pos_ == size) return false;
        const void* hit = std::memchr(buf_.data() + pos_, marc::kRecordTerminator, size - pos_);
        if (hit) {
            pieceEnd_ = static_cast<const char*>(hit) - buf_.data() + 1;
            pieceIsTail_ = false;
        } else if (eof_) {
            pieceEnd_ = size;
            pieceIsTail_ = true;
        } else if (size - pos_ > kMaxRecordBytes) {
            std::size_t end = size;
            overlongEnd(end, false);
            frame = take(end, problem::Kind::TooLong);
            frame.continues = overlong_;
            return true;
        } else {
            return false;
        }
    }
    return cut(frame);
}

}  // namespace app
