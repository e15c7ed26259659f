// Stepping through UTF-8 text in the loops that read every character of a text.
#pragma once

#include <unicode/utf8.h>

#include <string_view>

#include "codepage/codepage.h"

namespace pinyin {

/// The code point at s[i] (i < s.size()), advancing i past it, for the loops that read every
/// character of a text: a three-byte character decoded in place, any other by ICU's U8_NEXT
/// (see PERFORMANCE.md). Broken UTF-8 reads as codepage::utf8::next reads it everywhere else
/// (U+FFFD, one byte on).
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    // Every Han character takes three bytes.
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + i;
    if ((p[0] & 0xF0) == 0xE0 && i + 2 < s.size() && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
        const char32_t c = (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | char32_t(p[2] & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
            i += 3;
            return c;
        }
    }
    const std::size_t at = i;
    UChar32 c;
    U8_NEXT(s.data(), i, s.size(), c);
    if (c >= 0) return static_cast<char32_t>(c);
    i = at;
    return codepage::utf8::next(s, i);
}

}  // namespace pinyin
