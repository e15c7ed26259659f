// The tables a codec works from, taken once from ICU's converters: internal to the codecs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codepage/codepage.h"

namespace codepage {

inline constexpr char32_t kNone = 0xFFFFFFFF;  // no mapping
inline constexpr char32_t kMarker = 0xFDD0;    // the noncharacter decoding never yields

inline constexpr int kLeadMin = 0x81, kLeadMax = 0xFE, kTrailMin = 0x40, kTrailMax = 0xFE;
inline constexpr int kTrailCount = kTrailMax - kTrailMin + 1;
inline constexpr int kFourByteBmpCount = 39420;
inline constexpr std::uint32_t kFourByteSupplementaryBase = 189000;

inline bool isLead(unsigned char b) { return b >= kLeadMin && b <= kLeadMax; }
inline bool isTrail(unsigned char b) { return b >= kTrailMin && b <= kTrailMax && b != 0x7F; }
inline bool isDigitByte(unsigned char b) { return b >= 0x30 && b <= 0x39; }
/// Whether a GB18030 four-byte code (lead, digit, lead, digit) starts at p[i] of n bytes.
inline bool isFourByteCode(const unsigned char* p, std::size_t i, std::size_t n) {
    return i + 3 < n && isLead(p[i]) && isDigitByte(p[i + 1]) && isLead(p[i + 2]) && isDigitByte(p[i + 3]);
}

/// Encoded form of one code point: up to four bytes; len 0 means "cannot be encoded".
struct EncodedChar {
    std::uint8_t len = 0;
    std::array<char, 4> bytes{};
};

/// A two-byte code's character as UTF-8, ready to be copied: len 0 where the pair is none.
/// Four bytes, so that the decoder copies it in one move and steps by len.
struct DecodedPair {
    std::array<char, 3> utf8{};
    std::uint8_t len = 0;
};

struct Codec::Tables {
    std::array<char32_t, 256> single{};  // kNone where not a character
    std::vector<DecodedPair> pair;       // [(lead-0x81)*191 + trail-0x40]
    std::vector<char32_t> four;          // GB18030 four-byte BMP codes
    std::vector<EncodedChar> bmp;        // encode table, 65536 entries
    bool asciiIdentity = true;

    /// Empty for UTF-8; for GBK and GB18030 built from ICU's converter.
    explicit Tables(Encoding e);
};

}  // namespace codepage
