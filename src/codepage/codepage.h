// Conversion between our internal UTF-8 text and the bytes of a record file's code page.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "codepage/utf8.h"  // the internal text every user of the codec steps through

namespace codepage {

/// The code pages a record file may be written in. GBK (Windows code page 936) is the default.
enum class Encoding { Gbk, Gb18030, Utf8 };

/// "gbk", "gb18030" or "utf-8" (also "utf8", any letter case); nullopt for anything else.
std::optional<Encoding> encodingFromName(std::string_view name);
/// The canonical name: "gbk", "gb18030", "utf-8".
std::string_view encodingName(Encoding e);

/// A code page converter. Instances are immutable and shared: get() builds each one once,
/// table-driven from ICU's converter, and is safe to call from any thread.
///
/// GBK bytes: 0x00..0x7F ASCII; 0x80 and 0xFF single bytes as ICU maps them (U+20AC, U+F8F5);
/// lead 0x81..0xFE followed by trail 0x40..0x7E or 0x80..0xFE. A trail byte may be an ASCII
/// letter or "|" (0x7C), so undecoded GBK is never split at an ASCII byte other than 0x00..0x3F.
///
/// Malformed input and what becomes of it:
///  - decode: a byte sequence that is not valid in the code page (bad trail byte, a lead byte
///    at the end of the input, an undefined code) becomes U+FFFD, one per bad sequence, and
///    decoding goes on with the next byte that can start a character; nothing throws. The
///    noncharacter U+FDD0, which UTF-8 input could hold, also becomes U+FFFD: decoded text never
///    holds it, so a caller may use it as a marker of its own.
///  - encode: a character the code page cannot represent becomes "?" (one byte), as Windows
///    writes it; default-ignorable characters such as U+00AD, which ICU would drop, are
///    treated the same way. Invalid UTF-8 in the argument is treated as U+FFFD.
///  - byteCount(x) always equals encode(x).size().
class Codec {
public:
    static const Codec& get(Encoding e);
    static const Codec& gbk() { return get(Encoding::Gbk); }

    Encoding encoding() const { return encoding_; }

    std::string decode(std::string_view bytes) const;
    std::string encode(std::string_view utf8) const;
    std::size_t byteCount(std::string_view utf8) const;

    /// decode() and encode() appending to `out`, for callers that reuse one buffer per record.
    void decodeAppend(std::string& out, std::string_view bytes) const;
    void encodeAppend(std::string& out, std::string_view utf8) const;

    /// True when GBK writes the code point as a two-byte code (lead byte 0x81..0xFE): every
    /// Chinese character of GBK, and equally full-width punctuation, digits and letters.
    /// Always answers for GBK, whatever this codec's own encoding is.
    static bool isGbkDoubleByte(char32_t c);

    Codec(const Codec&) = delete;
    Codec& operator=(const Codec&) = delete;
    ~Codec();

    /// The tables the codec works from (codepage/tables.h, internal to the codecs).
    struct Tables;

private:
    explicit Codec(Encoding e);
    Encoding encoding_;
    std::unique_ptr<Tables> tables_;
};

}  // namespace codepage
