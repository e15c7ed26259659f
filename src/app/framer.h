// Record framing: cuts the raw bytes of an input file into the records the batch run handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "problem/problem.h"

namespace app {

/// The longest stretch of input held while looking for a record terminator. No readable record
/// comes near it (positions have five digits); beyond it the bytes go to the rejects file as
/// they come, so memory stays bounded whatever the input holds.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{4} << 20;

/// The most bytes a record's leader and directory can take (its base address has five digits):
/// what is held back of an overlong stretch, in case a record starts there.
inline constexpr std::size_t kLongestDirectory = 100000;

/// One record, or one piece of input that cannot be one, as the input holds it.
struct Frame {
    /// The bytes as read, without the filler and line breaks that stand before the record. Valid
    /// until the next feed() or finish().
    std::string_view bytes;
    std::int64_t line = 0;     ///< 1-based input line of its first byte
    std::uint64_t offset = 0;  ///< input byte offset of its first byte
    /// None: a record to read; else why it is rejected as it stands (CutShort, NextRecordInside,
    /// TooLong, RecordOver99999, BytesAfterFields).
    std::optional<problem::Kind> problem;
    bool continuation = false;  ///< more bytes of the previous (overlong) frame, not a new record
    bool continues = false;     ///< further bytes of this frame follow in continuation frames
};

/// Cuts raw input into records. A record is everything up to and including a record terminator
/// (0x1D); the filler and line breaks before it are passed over (counted, never handed out), any
/// other byte is kept. Works on bytes, never on decoded text: in GBK, GB18030 and UTF-8 the bytes
/// CR, LF, NUL, 0x1D, 0x1E and 0x1F never occur inside a multi-byte character.
///
/// A record's own leader and directory decide first: a piece whose directory accounts for its
/// bytes up to its terminator (lengths in bytes, or in UTF-8 characters) is one record whatever its
/// data holds, line breaks and text shaped like a leader included; so is one whose directory
/// accounts for it once its line breaks are taken out (a record wrapped over lines). Otherwise the
/// ways a file goes wrong are mended:
///  - several records on one line (or no line breaks at all): each is its own record;
///  - a record that lost its terminator: it ends where its directory says its last field ends
///    when the next record's leader stands there, or where another record's leader and directory
///    start inside it; the piece before is a failure (NextRecordInside);
///  - a record terminator inside a field: the record runs to the terminator its directory names;
///  - a piece longer than 99999 bytes that is no record: RecordOver99999;
///  - bytes between the last field its directory names and its terminator: BytesAfterFields;
///  - text after the last terminator that is more than filler and line breaks: CutShort;
///  - no terminator within kMaxRecordBytes: TooLong, handed over in pieces as it arrives, up to
///    the next terminator or the start of the next record, whichever comes first.
/// Filler is spaces, NUL bytes (some exports pad records to a block size), the end-of-file mark
/// Ctrl-Z, and a UTF-8 byte order mark at the very start. Line breaks are CR LF, LF or a lone
/// CR, each counting one line.
///
/// Usage: feed(block); while (next(f)) ...; and at the end finish(); while (next(f)) ...
class RecordFramer {
public:
    /// Adds input bytes. Invalidates the frames handed out so far.
    void feed(std::string_view bytes);
    /// feed() without a copy: room for up to `size` input bytes behind those held, for a read to
    /// fill, then added by added(n) with the number it filled (0 when the read failed).
    /// Invalidates the frames handed out so far.
    char* room(std::size_t size);
    void added(std::size_t n);
    /// The bytes held from input offset `from` to the last byte added (empty when `from` lies
    /// outside them). Valid until the next feed() or room().
    std::string_view held(std::uint64_t from) const;
    /// Marks the end of the input: what remains is framed by the next calls of next().
    void finish();
    /// The next frame, if the bytes fed so far complete one.
    bool next(Frame& frame);
    /// Input bytes framed so far (handed out in frames or passed over).
    std::uint64_t consumed() const { return base_ + pos_; }
    /// Filler bytes passed over so far (between records, before the first, after the last).
    std::uint64_t filler() const { return filler_; }
    /// Line-break bytes passed over so far (between records, before the first, after the last).
    std::uint64_t lineBreaks() const { return lineBreaks_; }

private:
    void countLines(std::size_t from, std::size_t to);
    void skipBlanks();
    Frame take(std::size_t end, std::optional<problem::Kind> problem);
    /// Frames the piece that ends at pieceEnd_ (false: more bytes are needed to decide).
    bool cut(Frame& frame);
    Frame whole(std::optional<problem::Kind> problem);
    /// Where a piece of an overlong stretch that could reach `end` ends (`ends`: the stretch ends
    /// there): before a record that starts in it, or short of its last bytes while more may come.
    /// Sets overlong_ to whether the stretch goes on; false when nothing can be handed out yet.
    bool overlongEnd(std::size_t& end, bool ends);

    std::string buf_;
    std::size_t room_ = 0;      // bytes at the end of buf_ given by room() and not yet added
    std::size_t pos_ = 0;       // first byte of buf_ not yet framed
    std::uint64_t base_ = 0;    // input offset of buf_[0]
    std::size_t pieceEnd_ = 0;  // end of the terminated piece being split (0: none)
    bool pieceIsTail_ = false;  // that piece is the unterminated end of the input
    bool overlong_ = false;     // inside a piece longer than kMaxRecordBytes
    bool eof_ = false;
    bool startSeen_ = false;  // the byte order mark at the input's start is decided
    std::uint64_t filler_ = 0;
    std::uint64_t lineBreaks_ = 0;
    std::string unwrapped_;  // scratch: a piece without its line breaks
    std::int64_t line_ = 1;
    bool lastCr_ = false;
};

/// Offset of a plausible record start inside `piece`, never at 0 and never within the directory
/// of a record that starts at 0; npos when there is none. A plausible start is five digits (the
/// record length), a base address of data in digits at 12..16, and from 24 on one or more
/// directory entries (three letters or digits, nine digits) that end with a field terminator
/// exactly at the base address.
std::size_t findRecordStart(std::string_view piece);

/// Whether `block` (the first part of an input) holds the start of a record: a record length in
/// digits, and from byte 24 on a directory of entries (three letters or digits, nine digits; the
/// last may be cut short) ended by a field terminator. A file without one (a PDF, a text file
/// that happens to hold digits, zeros) is not a file of records at all.
bool holdsRecordLeader(std::string_view block);

/// Whether the directory of `record` (one piece as the framer hands it out, its terminator last)
/// accounts for its bytes: every field ends with a field terminator where the directory says,
/// and the record terminator follows the last one. Lengths and positions count bytes, or UTF-8
/// characters where bytes do not fit.
bool directoryAccountsFor(std::string_view record);

/// The record text the reader takes: `raw` without the spaces and line breaks around it, and
/// without the line breaks inside it when they are no part of the record (its directory accounts
/// for its bytes only once they are taken out: a record wrapped over lines). Line breaks that
/// the directory counts are data and stay (the reader refuses a field that holds one); so do
/// those of a record that fits neither way. `out` is overwritten (its capacity reused).
void cleanRecord(std::string_view raw, std::string& out);
/// The same without a copy where none is needed: a view into `raw`, or into `spare` (overwritten)
/// when line breaks are taken out.
std::string_view cleanedRecord(std::string_view raw, std::string& spare);

}  // namespace app
