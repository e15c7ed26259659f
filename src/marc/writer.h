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
/// Throws MarcError for an empty subfield or a number wider than its field.
std::string marcToIsoBytes(std::string_view working, const codepage::Codec& cp,
                           const Clock& clock = systemClock);

/// The same record as text (UTF-8); characters the code page cannot hold stand as "?".
std::string marcToIso(std::string_view working, const codepage::Codec& cp = codepage::Codec::gbk(),
                      const Clock& clock = systemClock);

}  // namespace marc
