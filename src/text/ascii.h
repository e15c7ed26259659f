// ASCII helpers every part of the core shares: text that is no ASCII passes through untouched.
#pragma once

#include <string>
#include <string_view>

namespace text {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool isLetterOrDigit(char c) { return isDigit(c) || isUpper(c) || (c >= 'a' && c <= 'z'); }

/// `c` in lower case when it is an ASCII capital, else itself.
inline char toLower(char c) { return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

/// The text with its ASCII capitals in lower case; other bytes, UTF-8 included, as they stand.
inline std::string toLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = toLower(c);
    return out;
}

/// `s` without spaces (only ' ') at both ends.
inline std::string_view trimSpaces(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace text
