// Small helpers the record reader and writer share: numbers in the directory and character positions.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/ascii.h"

namespace marc::detail {

/// advanceChars from the first byte that is not ASCII on.
std::size_t advanceMixedChars(std::string_view s, std::size_t pos, std::size_t count);

/// The decimal number written in `s`, with blanks allowed around the digits (" 12" is 12, as the
/// directory of a hand-edited record may have it). nullopt when `s` is empty, all blanks, holds
/// anything but digits inside, or has more than nine digits.
std::optional<int> parseNumber(std::string_view s);

/// parseNumber's value, or -1 where it gives nullopt: for the loops over every directory entry
/// and line. Plain digits, as tags, lengths and positions nearly always are, are read inline
/// (docs/performance.md says why an int and not an optional).
inline int numberOrNone(std::string_view s) {
    if (!s.empty() && s.size() <= 9) {
        int n = 0;
        std::size_t i = 0;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) n = n * 10 + (s[i] - '0');
        if (i == s.size()) return n;
    }
    return parseNumber(s).value_or(-1);
}

/// The byte offset reached from byte offset `pos` of the UTF-8 text `s` after `count` characters,
/// or s.size() when the text ends first. An invalid byte counts as one character (as the codec
/// reads it: one U+FFFD per bad byte).
inline std::size_t advanceChars(std::string_view s, std::size_t pos, std::size_t count) {
    // ASCII, one byte a character, steps inline: tags and indicators are looked at on every line.
    for (; count > 0 && pos < s.size() && static_cast<unsigned char>(s[pos]) < 0x80; --count) ++pos;
    return count == 0 || pos >= s.size() ? pos : advanceMixedChars(s, pos, count);
}

using text::trimSpaces;

}  // namespace marc::detail
