// Number parsing and character stepping shared by the record reader and writer.
#include "marc/detail.h"

#include "codepage/codepage.h"

namespace marc::detail {

std::optional<int> parseNumber(std::string_view s) {
    s = trimSpaces(s);
    if (s.empty() || s.size() > 9) return std::nullopt;
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::size_t advanceMixedChars(std::string_view s, std::size_t pos, std::size_t count) {
    while (count > 0 && pos < s.size()) {
        if (static_cast<unsigned char>(s[pos]) < 0x80)
            ++pos;
        else
            codepage::utf8::next(s, pos);
        --count;
    }
    return pos;
}

}  // namespace marc::detail
