// Which code page a record file is written in, judged from its first bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "codepage/codepage.h"

namespace codepage {

/// Bytes in none of the code pages this program reads.
enum class Foreign {
    None,
    Marc8,       ///< MARC-8: escape sequences, or combining marks (0xE0..0xFE) before Latin letters
    SingleByte,  ///< another single-byte code page (CP866, CP1251, Latin-1, ...)
};

/// What the bytes show when read as GBK (GB18030's four-byte codes read as characters). Real
/// Chinese text is characters in runs; the bytes of a single-byte code page read as GBK give
/// lead bytes without a trail byte, user-defined codes, and lone ideographs between Latin letters.
struct GbkReading {
    std::size_t characters = 0;  ///< two-byte and four-byte codes
    std::size_t common = 0;      ///< of them, GB2312's ideographs and symbols (rows A1..A9, B0..F7)
    std::size_t invalid = 0;     ///< bytes above 0x7F that start no character
    std::size_t privateUse = 0;  ///< codes of the user-defined areas
    std::size_t wedged = 0;      ///< an ideograph alone between Latin letters, or a MARC-8 mark's shape
    std::size_t marc8Marks = 0;  ///< bytes 0xE0..0xFE directly before a Latin letter or another such byte
    std::size_t notMarc8 = 0;    ///< bytes above 0x7F that MARC-8's Latin set does not have

    /// Not Chinese text in GBK: enough lone or broken codes against the characters.
    bool implausible() const;
    /// Implausible as GBK, and shaped as MARC-8's Latin letters with diacritics.
    bool marc8() const { return marc8Marks > 0 && notMarc8 == 0; }
};

GbkReading readAsGbk(std::string_view bytes);

/// What the first part of a file shows about its code page.
struct Detection {
    Encoding encoding = Encoding::Gbk;  ///< the code page the bytes call for
    bool asciiOnly = false;             ///< no byte above 0x7F: every code page reads it alike
    bool marc8 = false;                 ///< MARC-8 escape sequences (ESC $ 1, ESC ( B, ...)
    /// The bytes are in none of UTF-8, GBK and GB18030 (escapes, or a GBK reading that is not
    /// Chinese text): what they look like instead.
    Foreign foreign = Foreign::None;
    std::size_t utf8Sequences = 0;  ///< well-formed multi-byte UTF-8 sequences
    std::size_t utf8Errors = 0;     ///< bytes above 0x7F that no UTF-8 sequence explains
    std::size_t fourByteCodes = 0;  ///< GB18030 four-byte codes
};

/// How many bytes of a file the detection looks at.
inline constexpr std::size_t kDetectionSample = std::size_t{1} << 20;

/// Judges `sample` (the first bytes of a file, or of a record): UTF-8 when it holds well-formed
/// multi-byte UTF-8 sequences and hardly any byte that UTF-8 cannot explain (a real export may
/// carry one broken sequence; GBK text fails UTF-8 on most of its characters), or more sequences
/// than broken runs where the GBK reading is no Chinese text; otherwise GB18030 when four-byte
/// codes occur, else GBK. `foreign` says when the GBK reading is not Chinese text either. A
/// sample of ASCII alone is reported as such (and as GBK).
Detection detectEncoding(std::string_view sample);

/// What a field's bytes look like when they do not read as text of `run`, the code page its
/// file is read in: another code page of ours (`other`), or a foreign one.
struct Misfit {
    std::optional<Encoding> other;
    Foreign foreign = Foreign::None;
    explicit operator bool() const { return other || foreign != Foreign::None; }
};

/// Checks the bytes of one field read in `run`. In a GBK or GB18030 run, bytes that are valid
/// UTF-8 with a sequence of three or four bytes, or with Latin, Greek or Cyrillic letters
/// among ASCII letters, or whose GBK reading holds codes outside GB2312, are UTF-8; a GBK
/// reading that is no Chinese text is foreign (when `foreign` is asked for). In a UTF-8 run,
/// bytes that are not UTF-8 but Chinese text in GBK are GBK. Linear in the bytes; ASCII passes
/// at once.
Misfit checkField(std::string_view bytes, Encoding run, bool foreign);

/// Whether `bytes` come back unchanged when decoded and encoded again in `e`: every sequence is
/// valid there and maps to one character that maps back.
bool roundTrips(std::string_view bytes, Encoding e);

/// The first code page other than `current` in which `bytes` round-trip and that needs more
/// than ASCII for them, in the order UTF-8, GBK, GB18030; nullopt when there is none.
std::optional<Encoding> likelyEncoding(std::string_view bytes, Encoding current);

}  // namespace codepage
