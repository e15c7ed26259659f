// Exchange record writer: the working record text to one ISO 2709 record.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codepage/codepage.h"
#include "marc/error.h"

namespace marc {

/// A local date and time, as the writer stamps it into 001 and 005.
struct LocalTime {
    int year, month, day, hour, minute, second;
};
using Clock = std::function<LocalTime()>;
/// The machine's local clock.
LocalTime systemClock();

/// `n` in decimal with leading zeros to `width` digits. Throws MarcError when n is negative or
/// has more digits than the width (a short directory entry or leader is never written).
std::string zeroPadded(int width, long long n);

class IdentifierSequence;
struct SourceRecord;

/// What the writer knows besides the working text.
struct WriteContext {
    /// The record the working text was read from, if it was read from one: every line that
    /// still reads as the reader made it is written as the bytes it came from, and the record's
    /// own leader is kept (but for its length and base address).
    const SourceRecord* source = nullptr;
    /// False: build the leader from the templates even when the source has one.
    bool keepLeader = true;
    /// Stamps a generated 005 (and a generated 001 when there is no `identifiers`).
    Clock clock = systemClock;
    /// Gives generated 001s that differ from record to record.
    IdentifierSequence* identifiers = nullptr;
};

/// A changed field whose bytes in the source record would not come back as they were, because
/// they are not valid in the record's code page: writing it would alter data nobody asked to
/// change.
class EncodingError : public MarcError {
public:
    /// problem: InvalidBytes; tag; value, the offset in the source record of the first byte that
    /// would change; encoding, the record's code page; other, one the field's bytes are valid in.
    using MarcError::MarcError;
};

/// One ISO 2709 record, in bytes of `cp`, for the working record text `working` (each line ended
/// by CR LF, or by a bare CR; empty lines are passed over). Fields 001 and 005 come first, then
/// every other line in order. Empty when there is no field to write besides 001 and 005.
///
/// With a source record (whose lines must correspond one to one with the text's: a line break in
/// field data, which splits a line, is refused with MarcError), an unchanged line is
/// written as the bytes of its field, and a changed line as its text encoded (a data field: the
/// indicators, then the data with "|" as delimiter and kDataBar as "|"), after checking that the
/// line as read encodes back to the field's bytes (EncodingError otherwise). The leader is the
/// source's first 24 bytes, whatever they hold, only its length and base address recomputed;
/// without a source, or when the context says not to keep it, the templates apply: "nam0", or
/// "oam2" when a line is tagged 225, 410 or 461, or the code of a "000" line.
///
/// Without a source (a working record made by hand) the writer also moves each pinyin subfield
/// (an "A", or a "9" that reads as pinyin right behind a subfield a: pinyin/existing.h) behind
/// the nearest subfield a before it and trims its spaces, and refuses an
/// empty subfield. Control fields 002 to 009 keep their data; a 001 or 005 line's value is its
/// data as it stands; one that is empty or blank is generated from the clock.
///
/// Throws MarcError for an empty subfield (without a source), a number wider than its field
/// (field over 9999 bytes, record over 99999), a tag that is not three single-byte characters, a
/// "000" leader code that is not at most four of them, or a field or record terminator (character
/// 30 or 29) inside a changed field's text: each would leave a record that no reader can cut apart.
std::string recordFromWorkingText(std::string_view working, const codepage::Codec& cp,
                                  const WriteContext& context);

/// The same for the fields of `context.source` (required) as a run left them: field i is written
/// as its bytes unless `changed[i]`, and then as `lines[i]`, its new working line, exactly as
/// recordFromWorkingText writes a changed line. `lines[i]` of an unchanged field may be its tag alone
/// (a field left in bytes), but for a 000, which must be its working line. `lines` and `changed`
/// hold one entry per field of the source; a new line must hold no line break (CR or LF).
std::string writeRecord(const std::vector<std::string_view>& lines, const std::vector<bool>& changed,
                        const codepage::Codec& cp, const WriteContext& context);

/// The same without a source record.
std::string recordFromWorkingText(std::string_view working, const codepage::Codec& cp,
                                  const Clock& clock = systemClock);

/// The same record as text (UTF-8); characters the code page cannot hold stand as "?".
std::string decodedRecordFromWorkingText(std::string_view working,
                                         const codepage::Codec& cp = codepage::Codec::gbk(),
                                         const Clock& clock = systemClock);

}  // namespace marc
