// Stepping through UTF-8 text in the loops that read every character of a text.
#pragma once

#include <unicode/utf8.h>

#include <string_view>

#include "codepage/utf8.h"

namespace pinyin {

/// The code point at s[i] (i < s.size()), advancing i past it, for the loops that read every
/// character of a text: a three-byte character decoded in place, any other by ICU's U8_NEXT
/// (see docs/performance.md). Broken UTF-8 reads as codepage::utf8::next reads it everywhere else
/// (U+FFFD, one byte on).
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    // Every Han character takes three bytes.
    char32_t three;
    if (codepage::utf8::threeByte(reinterpret_cast<const unsigned char*>(s.data()), i, s.size(), three)) {
        i += 3;
        return three;
    }
    const std::size_t at = i;
    UChar32 c;
    U8_NEXT(s.data(), i, s.size(), c);
    if (c >= 0) return static_cast<char32_t>(c);
    i = at;
    return codepage::utf8::next(s, i);
}

}  // namespace pinyin
