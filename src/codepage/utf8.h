// UTF-8, the internal text: stepping through it and writing it, one implementation for all.
//
// A malformed sequence reads as U+FFFD for its first byte alone, and reading goes on with the
// next byte: each bad byte is one U+FFFD, which the codecs write as one "?" in GBK. (ICU's U8_NEXT
// takes a maximal subpart as one U+FFFD instead, which would change what a broken field counts
// and writes.) Writing uses ICU's U8_APPEND_UNSAFE.
#pragma once

#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace codepage {

inline constexpr char32_t kReplacement = 0xFFFD;

namespace utf8 {

/// Decodes the code point at s[i] and advances i; invalid sequences give U+FFFD and advance one byte.
char32_t next(std::string_view s, std::size_t& i);
/// Appends the UTF-8 form of c (a surrogate or a value past U+10FFFF as U+FFFD).
void append(std::string& out, char32_t c);
/// Number of UTF-16 code units of the text (the character positions the windows count in).
std::size_t utf16Length(std::string_view s);

/// Writes the UTF-8 form of a valid code point c at w (room for four bytes) and returns the end.
inline char* put(char* w, char32_t c) {
    std::size_t i = 0;
    U8_APPEND_UNSAFE(reinterpret_cast<std::uint8_t*>(w), i, static_cast<UChar32>(c));
    return w + i;
}

/// The common case outside ASCII: a well-formed three-byte character at p[i], neither overlong
/// nor a surrogate. Anything else is left to next().
inline bool threeByte(const unsigned char* p, std::size_t i, std::size_t n, char32_t& c) {
    const unsigned char b = p[i];
    if (b < 0xE0 || b >= 0xF0 || i + 2 >= n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80)
        return false;
    c = (char32_t(b & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF);
}

/// Gives each code point of `s` (invalid bytes as U+FFFD) with its source bytes to `f`.
template <typename F>
void forEachCodePoint(std::string_view s, F&& f) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const std::size_t start = i;
        const char32_t c =
            static_cast<unsigned char>(s[i]) < 0x80 ? static_cast<unsigned char>(s[i++]) : next(s, i);
        f(c, s.substr(start, i - start));
    }
}

}  // namespace utf8
}  // namespace codepage
