// Which code page a record file is written in, judged from its first bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "codepage/codepage.h"

namespace codepage {

/// What the first part of a file shows about its code page.
struct Detection {
    Encoding encoding = Encoding::Gbk;  ///< the code page the bytes call for
    bool asciiOnly = false;             ///< no byte above 0x7F: every code page reads it alike
    bool marc8 = false;                 ///< MARC-8 escape sequences (ESC $ 1, ESC ( B, ...)
    std::size_t utf8Sequences = 0;      ///< well-formed multi-byte UTF-8 sequences
    std::size_t utf8Errors = 0;         ///< bytes above 0x7F that no UTF-8 sequence explains
    std::size_t fourByteCodes = 0;      ///< GB18030 four-byte codes
};

/// How many bytes of a file the detection looks at.
inline constexpr std::size_t kDetectionSample = std::size_t{1} << 20;

/// Judges `sample` (the first bytes of a file): UTF-8 when it holds well-formed multi-byte UTF-8
/// sequences and hardly any byte that UTF-8 cannot explain (a real export may carry one broken
/// sequence; GBK text fails UTF-8 on most of its characters); otherwise GB18030 when four-byte
/// codes occur, else GBK. A sample of ASCII alone is reported as such (and as GBK).
Detection detectEncoding(std::string_view sample);

/// Whether `bytes` come back unchanged when decoded and encoded again in `e`: every sequence is
/// valid there and maps to one character that maps back.
bool roundTrips(std::string_view bytes, Encoding e);

/// The first code page other than `current` in which `bytes` round-trip and that needs more
/// than ASCII for them, in the order UTF-8, GBK, GB18030; nullopt when there is none.
std::optional<Encoding> likelyEncoding(std::string_view bytes, Encoding current);

}  // namespace codepage
