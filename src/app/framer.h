// Record framing: cuts the raw bytes of an input file into the records the batch run handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "problem/problem.h"

namespace app {

/// Why a piece of the input is not a record that can be read. Fixed texts, shown to the user.
inline constexpr std::string_view kCutShort = "record cut short: no record terminator";
inline constexpr std::string_view kNextRecordInside =
    "record terminator missing: the next record starts inside this one";
inline constexpr std::string_view kTooLong = "no record terminator within 4 MiB";

/// The longest stretch of input held while looking for a record terminator. No readable record
/// comes near it (positions have five digits); beyond it the bytes go to the rejects file as
/// they come, so memory stays bounded whatever the input holds.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{4} << 20;

/// The most bytes a record's leader and directory can take (its base address has five digits):
/// what is held back of an overlong stretch, in case a record starts there.
inline constexpr std::size_t kLongestDirectory = 100000;

/// The kind of problem each of the texts above stands for.
inline problem::Kind problemKindOf(std::string_view framerProblem) {
    if (framerProblem == kCutShort) return problem::Kind::CutShort;
    if (framerProblem == kNextRecordInside) return problem::Kind::NextRecordInside;
    return problem::Kind::TooLong;
}

/// One record, or one piece of input that cannot be one, as the input holds it.
struct Frame {
    /// The bytes as read, without the spaces and line breaks that stand before the record (the
    /// reader would trim them). Valid until the next feed() or finish().
    std::string_view bytes;
    std::int64_t line = 0;     ///< 1-based input line of its first byte
    std::uint64_t offset = 0;  ///< input byte offset of its first byte
    std::string_view problem;  ///< empty: a record to read; else why it is rejected as it stands
    bool continuation = false; ///< more bytes of the previous (overlong) frame, not a new record
    bool continues = false;    ///< further bytes of this frame follow in continuation frames
};

/// Cuts raw input into records. A record is everything up to and including a record terminator
/// (0x1D); the spaces and line breaks before it are dropped, any other byte is kept. Works on bytes, never
/// on decoded text: in GBK, GB18030 and UTF-8 the bytes CR, LF, 0x1D, 0x1E and 0x1F never occur
/// inside a multi-byte character. Mends the ways a file goes wrong:
///  - several records on one line (or no line breaks at all): each is its own record;
///  - a piece holding the leader and directory of another record after its start lost its own
///    terminator: it is split there, the piece before is a failure (kNextRecordInside);
///  - text after the last terminator that is more than spaces, line breaks and Ctrl-Z: kCutShort;
///  - no terminator within kMaxRecordBytes: kTooLong, handed over in pieces as it arrives, up to
///    the next terminator or the start of the next record, whichever comes first.
/// Line breaks are CR LF, LF or a lone CR, each counting one line.
///
/// Usage: feed(block); while (next(f)) ...; and at the end finish(); while (next(f)) ...
class RecordFramer {
public:
    /// Adds input bytes. Invalidates the frames handed out so far.
    void feed(std::string_view bytes);
    /// Marks the end of the input: what remains is framed by the next calls of next().
    void finish();
    /// The next frame, if the bytes fed so far complete one.
    bool next(Frame& frame);
    /// Input bytes framed so far (handed out in frames or skipped as blank).
    std::uint64_t consumed() const { return base_ + pos_; }

private:
    void countLines(std::size_t from, std::size_t to);
    void skipBlanks();
    Frame take(std::size_t end, std::string_view problem);
    /// Where a piece of an overlong stretch that could reach `end` ends (`ends`: the stretch ends
    /// there): before a record that starts in it, or short of its last bytes while more may come.
    /// Sets overlong_ to whether the stretch goes on; false when nothing can be handed out yet.
    bool overlongEnd(std::size_t& end, bool ends);

    std::string buf_;
    std::size_t pos_ = 0;          // first byte of buf_ not yet framed
    std::uint64_t base_ = 0;       // input offset of buf_[0]
    std::size_t pieceEnd_ = 0;     // end of the terminated piece being split (0: none)
    bool pieceIsTail_ = false;     // that piece is the unterminated end of the input
    bool overlong_ = false;        // inside a piece longer than kMaxRecordBytes
    bool eof_ = false;
    std::int64_t line_ = 1;
    bool lastCr_ = false;
};

/// Offset of a plausible record start inside `piece`, never at 0 and never within the directory
/// of a record that starts at 0; npos when there is none. A plausible start is five digits (the
/// record length), a base address of data in digits at 12..16, and from 24 on one or more
/// directory entries (three letters or digits, nine digits) that end with a field terminator
/// exactly at the base address.
std::size_t findRecordStart(std::string_view piece);

/// Whether `block` (the first part of an input) holds anything that looks like a record leader:
/// 24 printable bytes with the record length in digits at 0..4 and the base address at 12..16.
/// A file without one (a PDF, a text file, zeros) is not a file of records at all.
bool holdsRecordLeader(std::string_view block);

/// The record text the reader takes: every line break (CR LF, LF or a lone CR) turned into two
/// spaces, then spaces trimmed at both ends. `out` is overwritten (its capacity reused).
void cleanRecord(std::string_view raw, std::string& out);

}  // namespace app
