// Stepping through UTF-8 text in the loops that read every character of a text.
#pragma once

#include <unicode/utf8.h>

#include <string_view>

#include "codepage/codepage.h"

namespace pinyin {

/// The code point at s[i], advancing i past it: ICU's U8_NEXT, inlined where every character
/// of a text is read. Broken UTF-8 reads as codepage::utf8::next reads it everywhere else
/// (U+FFFD, one byte on).
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const std::size_t at = i;
    UChar32 c;
    U8_NEXT(s.data(), i, s.size(), c);
    if (c >= 0) return static_cast<char32_t>(c);
    i = at;
    return codepage::utf8::next(s, i);
}

}  // namespace pinyin
