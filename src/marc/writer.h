// Exchange record writer: the working record text to one ISO 2709 record.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "codepage/codepage.h"

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
std::string padZero(int width, long long n);

/// One ISO 2709 record, in bytes of `cp`, for the working record text `working` (each line ended
/// by CR LF, plus one more CR LF). Empty when the text holds fewer than six carriage returns.
/// Control fields 002 to 009 keep their data; a pinyin subfield goes behind the nearest subfield a
/// before it; kDataBar is written as "|". Throws MarcError for an empty subfield, a number wider
/// than its field (field over 9999 bytes, record over 99999), a tag that is not three single-byte
/// characters, a "000" leader code that is not at most four of them, or a field terminator
/// (character 30) inside a field's text: each would leave a record that no reader can cut apart.
std::string marcToIsoBytes(std::string_view working, const codepage::Codec& cp,
                           const Clock& clock = systemClock);

/// The same record as text (UTF-8); characters the code page cannot hold stand as "?".
std::string marcToIso(std::string_view working, const codepage::Codec& cp = codepage::Codec::gbk(),
                      const Clock& clock = systemClock);

}  // namespace marc
