// Small helpers the record reader and writer share: numbers in the directory and character positions.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace marc::detail {

/// The decimal number written in `s`, with blanks allowed around the digits (" 12" is 12, as the
/// directory of a hand-edited record may have it). nullopt when `s` is empty, all blanks, holds
/// anything but digits inside, or has more than nine digits.
std::optional<int> parseNumber(std::string_view s);

/// The byte offset reached from byte offset `pos` of the UTF-8 text `s` after `count` characters,
/// or s.size() when the text ends first. An invalid byte counts as one character (as the codec
/// reads it: one U+FFFD per bad byte).
std::size_t advanceChars(std::string_view s, std::size_t pos, std::size_t count);

/// `s` without spaces (only ' ') at both ends.
std::string_view trimSpaces(std::string_view s);

}  // namespace marc::detail
